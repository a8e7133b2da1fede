// walk_support.h: runs the coefficient walk on exactly sized arrays and
// compares doubles in units of machine epsilon, for the brint tests.
#ifndef BRINT_WALK_SUPPORT_H
#define BRINT_WALK_SUPPORT_H

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "coefficient_walk.h"
#include "eps_error.h"

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

// Relative errors in eps: the coefficients fall off like 1/k!, so an
// absolute floor would hide errors in the high degrees.
inline double error_in_eps(double got, long double expected)
{
    return test_support::relative_error_in_eps(got, expected);
}

inline bool same_bits(const std::vector<double> &x, const std::vector<double> &y)
{
    return x.size() == y.size() &&
           std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

} // namespace brint_test

#endif // BRINT_WALK_SUPPORT_H
