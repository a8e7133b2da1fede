// eps_error.h: the error of a double against a long double reference, in
// units of double epsilon, for every test that compares with a reference.
#ifndef TESTS_EPS_ERROR_H
#define TESTS_EPS_ERROR_H

#include <cmath>
#include <limits>

namespace test_support {

// |got - expected| / |scale| in units of eps (scale 0 counts as 1).
// Matching NaNs, or equal infinities, count as agreement; any other
// infinity or NaN is an infinite error.
inline double error_in_eps(double got, long double expected, long double scale)
{
    if (std::isnan(got) && std::isnan(expected)) return 0;
    if (std::isinf(got) || std::isinf(expected) || std::isnan(got) || std::isnan(expected))
        return got == expected ? 0 : std::numeric_limits<double>::infinity();
    long double denominator = scale != 0 ? std::fabs(scale) : 1;
    return static_cast<double>(std::fabs((long double)got - expected) / denominator /
                               std::numeric_limits<double>::epsilon());
}

// Relative error in eps, absolute where the expected value is 0.
inline double relative_error_in_eps(double got, long double expected)
{
    return error_in_eps(got, expected, expected);
}

} // namespace test_support

#endif // TESTS_EPS_ERROR_H
