// walk_support.h: runs the coefficient walk on exactly sized arrays and
// compares doubles in units of machine epsilon, for the brint tests.
#ifndef BRINT_WALK_SUPPORT_H
#define BRINT_WALK_SUPPORT_H

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "coefficient_walk.h"

namespace brint_test {

using namespace matrixhyper;

constexpr double eps = std::numeric_limits<double>::epsilon();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// degree_sums from the walk. The work arrays have exactly walk_rows + 1
// entries (so the sanitizer build sees any access beyond them) and start
// as NaN where the walk may not rely on their contents.
inline std::vector<double> run_walk(int max_size, int max_part, double alpha,
                                    const std::vector<double> &a,
                                    const std::vector<double> &b, int n)
{
    std::vector<double> degree_sums(max_size + 1, 0.0);
    degree_sums[0] = 1.0;
    int rows = walk_rows(max_size, n);
    std::vector<int> kappa(rows + 1, 0);
    std::vector<double> level_coef(rows + 1, nan);
    std::vector<double> shifted_parts(rows + 1, nan);
    coefficient_walk_work work{rows, kappa.data(), level_coef.data(), shifted_parts.data()};
    coefficient_walk_series series{max_size, max_part, alpha, a.data(), a.size(),
                                   b.data(),  b.size(),  n};
    coefficient_walk(series, degree_sums.data(), work);
    return degree_sums;
}

// Relative error |got - expected| / |expected| in units of eps (absolute
// when expected is 0); the coefficients fall off like 1/k!, so an absolute
// floor would hide errors in the high degrees. Matching NaNs or equal
// infinities count as agreement.
inline double error_in_eps(double got, long double expected)
{
    if (std::isnan(got) && std::isnan(expected)) return 0.0;
    if (std::isinf(expected) || std::isinf(got)) return got == expected ? 0.0 : inf;
    long double scale = expected != 0.0L ? std::fabs(expected) : 1.0L;
    return (double)(std::fabs((long double)got - expected) / scale / eps);
}

inline bool same_bits(const std::vector<double> &x, const std::vector<double> &y)
{
    return x.size() == y.size() &&
           std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

} // namespace brint_test

#endif // BRINT_WALK_SUPPORT_H
