// The series of sorn against an independent evaluation in long double: the
// Jack functions from the combinatorial branching rule with the closed-form
// coefficients phi_{kappa/mu} = prod over the boxes s of kappa in the columns
// of the strip of b_kappa(s) / b_mu(s), b_lambda(s) =
// (alpha a(s) + l(s) + 1) / (alpha a(s) + l(s) + alpha) (1 outside lambda),
// and the series coefficients from the box products of their definition.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "closed_forms.h"
#include "core_runner.h"

using namespace sorn_test;

namespace {

Real box_ratio(const Partition &lambda, int row, int column, Real alpha)
{
    if (row > static_cast<int>(lambda.size()) || column > lambda[row - 1])
        return 1;
    Real arm = lambda[row - 1] - column;
    Real leg = column_length(lambda, column) - Real(row);
    return (alpha * arm + leg + 1) / (alpha * arm + leg + alpha);
}

class BranchingJack {
public:
    BranchingJack(Real alpha, std::vector<double> values) : alpha_(alpha), values_(std::move(values)) {}

    // Q_kappa(v_1..v_i).
    Real value(const Partition &kappa, int i)
    {
        if (kappa.empty())
            return 1;
        if (static_cast<int>(kappa.size()) > i)
            return 0;
        auto key = std::make_pair(kappa, i);
        auto found = memo_.find(key);
        if (found != memo_.end())
            return found->second;
        Real sum = 0;
        Partition mu(kappa);
        add_strips(kappa, mu, 0, i, sum);
        memo_[key] = sum;
        return sum;
    }

private:
    // Runs through every mu with kappa_(r+1) <= mu_r <= kappa_r.
    void add_strips(const Partition &kappa, Partition &mu, size_t row, int i, Real &sum)
    {
        if (row == kappa.size()) {
            Partition trimmed(mu);
            while (!trimmed.empty() && trimmed.back() == 0)
                trimmed.pop_back();
            int removed = size_of(kappa) - size_of(trimmed);
            sum += phi(kappa, trimmed) * value(trimmed, i - 1) *
                   std::pow(Real(values_[i - 1]), removed);
            return;
        }
        int lower = row + 1 < kappa.size() ? kappa[row + 1] : 0;
        for (int part = kappa[row]; part >= lower; --part) {
            mu[row] = part;
            add_strips(kappa, mu, row + 1, i, sum);
        }
        mu[row] = kappa[row];
    }

    Real phi(const Partition &kappa, const Partition &mu) const
    {
        Real product = 1;
        for (int column = 1; column <= kappa[0]; ++column) {
            if (column_length(kappa, column) == column_length(mu, column))
                continue; // no box of the strip in this column
            for (int row = 1; row <= column_length(kappa, column); ++row)
                product *= box_ratio(kappa, row, column, alpha_) / box_ratio(mu, row, column, alpha_);
        }
        return product;
    }

    Real alpha_;
    std::vector<double> values_;
    std::map<std::pair<Partition, int>, Real> memo_;
};

struct Reference {
    std::vector<Real> sums;      // by degree
    std::vector<Real> magnitude; // the same with |coefficient| and |x|, |y|: the scale of rounding
};

std::vector<double> magnitudes(const std::vector<double> &values)
{
    std::vector<double> out;
    for (double v : values)
        out.push_back(std::fabs(v));
    return out;
}

Reference independent_series(const SeriesInput &input)
{
    const int n = static_cast<int>(input.x.size());
    Reference ref{std::vector<Real>(input.max_size + 1, 0), std::vector<Real>(input.max_size + 1, 0)};
    ref.sums[0] = ref.magnitude[0] = 1;
    // Jack functions have non-negative monomial coefficients for alpha > 0,
    // so their values at |x| bound every cancellation.
    BranchingJack jack_x(input.alpha, input.x), jack_abs_x(input.alpha, magnitudes(input.x));
    BranchingJack jack_y(input.alpha, input.y), jack_abs_y(input.alpha, magnitudes(input.y));
    for (const Partition &kappa : partitions_up_to(input.max_size, n, input.max_part)) {
        Real coefficient = series_coefficient(kappa, input.alpha, input.a, input.b);
        Real term = coefficient * jack_x.value(kappa, n);
        Real magnitude = std::fabs(coefficient) * jack_abs_x.value(kappa, n);
        if (!input.y.empty()) {
            Real at_ones = jack_at_ones(kappa, n, input.alpha);
            term *= jack_y.value(kappa, n) / at_ones;
            magnitude *= jack_abs_y.value(kappa, n) / at_ones;
        }
        ref.sums[size_of(kappa)] += term;
        ref.magnitude[size_of(kappa)] += magnitude;
    }
    return ref;
}

} // namespace

TEST(IndependentSeries, BranchingRuleReproducesTheBoxProductAtOnes)
{
    // A check of the reference itself before it judges the plug-in.
    for (Real alpha : {Real(0.5), Real(1), Real(2.75)}) {
        BranchingJack ones(alpha, std::vector<double>(4, 1.0));
        for (const Partition &kappa : partitions_up_to(7, 4, 7))
            for (int i = static_cast<int>(kappa.size()); i <= 4; ++i) {
                Real expected = jack_at_ones(kappa, i, alpha);
                EXPECT_LT(std::fabs(ones.value(kappa, i) - expected) / expected, 1e-15L)
                    << to_string(kappa) << " i=" << i;
            }
    }
}

TEST(IndependentSeries, PlugInAgreesWithinAFewUlpsOfTheTermMagnitudes)
{
    std::mt19937 random(20240607);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> count(0, 2);
    const double alphas[] = {0.5, 1.0, 1.7, 3.0};
    double worst = 0;
    for (int trial = 0; trial < 96; ++trial) {
        SeriesInput input;
        int n = 1 + trial % 4;
        input.max_size = 2 + trial % 7; // 2..8
        input.max_part = trial % 5 == 0 ? 3 : input.max_size;
        input.alpha = alphas[(trial / 4) % 4];
        for (int k = count(random); k > 0; --k)
            input.a.push_back(2.5 * unit(random));
        for (int k = count(random); k > 0; --k)
            input.b.push_back(1.5 + unit(random)); // away from the poles
        for (int i = 0; i < n; ++i)
            input.x.push_back(unit(random));
        if (trial % 2 == 1)
            for (int i = 0; i < n; ++i)
                input.y.push_back(unit(random));

        std::vector<double> got = run_series(input);
        Reference ref = independent_series(input);
        for (int k = 0; k <= input.max_size; ++k) {
            double error = error_in_eps(got[k], ref.sums[k], ref.magnitude[k]);
            worst = std::max(worst, error);
            EXPECT_LE(error, 8 * (k + 1))
                << "trial " << trial << " n=" << n << " alpha=" << input.alpha
                << (input.y.empty() ? " one" : " two") << "-argument, degree " << k
                << ": expected " << static_cast<double>(ref.sums[k]) << " got " << got[k];
        }
    }
    RecordProperty("worst_error_in_eps", std::to_string(worst));
}
