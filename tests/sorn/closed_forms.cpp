// closed_forms.cpp: partitions and closed-form box products for the sorn tests.
#include "closed_forms.h"

#include "eps_error.h"

#include <algorithm>

namespace sorn_test {

namespace {

void extend(Partition &prefix, int remaining, int max_rows, int bound,
            std::vector<Partition> &out)
{
    for (int part = 1; part <= std::min(bound, remaining); ++part) {
        prefix.push_back(part);
        out.push_back(prefix);
        if (static_cast<int>(prefix.size()) < max_rows)
            extend(prefix, remaining - part, max_rows, part, out);
        prefix.pop_back();
    }
}

} // namespace

std::vector<Partition> partitions_up_to(int max_size, int max_rows, int max_part)
{
    std::vector<Partition> out;
    Partition prefix;
    if (max_rows > 0)
        extend(prefix, max_size, max_rows, max_part, out);
    return out;
}

int size_of(const Partition &kappa)
{
    int size = 0;
    for (int part : kappa)
        size += part;
    return size;
}

int column_length(const Partition &kappa, int k)
{
    int rows = 0;
    for (int part : kappa)
        rows += part >= k ? 1 : 0;
    return rows;
}

std::string to_string(const Partition &kappa)
{
    std::string text = "(";
    for (size_t i = 0; i < kappa.size(); ++i)
        text += (i ? "," : "") + std::to_string(kappa[i]);
    return text + ")";
}

Real pochhammer(Real c, const Partition &kappa, Real alpha)
{
    Real product = 1;
    for (size_t s = 1; s <= kappa.size(); ++s)
        for (int k = 1; k <= kappa[s - 1]; ++k)
            product *= c - Real(s - 1) / alpha + k - 1;
    return product;
}

Real jack_at_ones(const Partition &kappa, int i, Real alpha)
{
    if (static_cast<int>(kappa.size()) > i)
        return 0;
    Real product = 1;
    for (size_t s = 1; s <= kappa.size(); ++s)
        for (int k = 1; k <= kappa[s - 1]; ++k) {
            Real arm = kappa[s - 1] - k;
            Real leg = column_length(kappa, k) - Real(s);
            product *= (i - Real(s) + 1 + alpha * (k - 1)) / (alpha * arm + leg + alpha);
        }
    return product;
}

Real series_coefficient(const Partition &kappa, Real alpha, const std::vector<double> &a,
                        const std::vector<double> &b)
{
    Real value = std::pow(alpha, Real(size_of(kappa)));
    for (double c : a)
        value *= pochhammer(c, kappa, alpha);
    for (double c : b)
        value /= pochhammer(c, kappa, alpha);
    for (size_t s = 1; s <= kappa.size(); ++s)
        for (int k = 1; k <= kappa[s - 1]; ++k) {
            Real arm = kappa[s - 1] - k;
            Real leg = column_length(kappa, k) - Real(s);
            value /= alpha * arm + leg + 1;
        }
    return value;
}

double error_in_eps(double got, Real expected, Real scale)
{
    return test_support::error_in_eps(got, expected, scale);
}

double error_in_eps(double got, Real expected)
{
    return test_support::error_in_eps(got, expected, std::max<Real>(std::fabs(expected), 1));
}

} // namespace sorn_test
