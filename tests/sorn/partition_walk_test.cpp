// Tests of the partition walk: degree sums against closed forms of the
// hypergeometric functions, worked examples, identities, and pruning.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "closed_forms.h"
#include "core_runner.h"

using namespace sorn_test;

namespace {

SeriesInput series(int max_size, double alpha, std::vector<double> a, std::vector<double> b,
                   std::vector<double> x, std::vector<double> y = {})
{
    SeriesInput input;
    input.max_size = max_size;
    input.max_part = max_size;
    input.alpha = alpha;
    input.a = std::move(a);
    input.b = std::move(b);
    input.x = std::move(x);
    input.y = std::move(y);
    return input;
}

Real factorial(int k)
{
    Real value = 1;
    for (int i = 2; i <= k; ++i)
        value *= i;
    return value;
}

Real rising(Real c, int k)
{
    Real value = 1;
    for (int i = 0; i < k; ++i)
        value *= c + i;
    return value;
}

double total(const std::vector<double> &degree_sums)
{
    double sum = 0;
    for (double term : degree_sums)
        sum = sum + term;
    return sum;
}

// Coefficients by degree of prod_i (1 - x_i)^(-a) = prod_i sum_m (a)_m x_i^m / m!.
std::vector<Real> binomial_series_by_degree(Real a, const std::vector<double> &x, int max_size)
{
    std::vector<Real> product(max_size + 1, 0);
    product[0] = 1;
    for (double xi : x) {
        std::vector<Real> next(max_size + 1, 0);
        for (int k = 0; k <= max_size; ++k)
            for (int m = 0; k + m <= max_size; ++m)
                next[k + m] += product[k] * rising(a, m) / factorial(m) * std::pow(Real(xi), m);
        product = next;
    }
    return product;
}

} // namespace

TEST(WalkExamples, WorkedCasesGiveTheirDegreeSums)
{
    struct Case {
        const char *name;
        SeriesInput input;
        std::vector<double> expected;
        double expected_total;
    };
    const Case cases[] = {
        {"exp, n=3 alpha=2", series(3, 2, {}, {}, {0.3, -0.2, 0.4}),
         {1, 0.5, 0.125, 0.125 / 6}, 1.6458333333333333},
        {"1F1 n=2 alpha=1", series(2, 1, {0.5}, {1.5}, {0.3, 0.2}),
         {1, 1.0 / 6, 0.009}, 1.1756666666666666},
        {"two arguments n=2 alpha=2", series(2, 2, {0.5}, {1.5}, {0.3, 0.2}, {1, 0.5}),
         {1, 0.125, 0.01009375}, 1.13509375},
    };
    for (const Case &c : cases) {
        std::vector<double> got = run_series(c.input);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (size_t k = 0; k < got.size(); ++k)
            EXPECT_LE(error_in_eps(got[k], c.expected[k], c.expected[k]), 8)
                << c.name << " degree " << k << " got " << got[k];
        EXPECT_LE(error_in_eps(total(got), c.expected_total), 8) << c.name;
    }
}

TEST(WalkClosedForms, ExponentialOfTheTraceDegreeByDegree)
{
    // 0F0(X) = exp(trace X) for every alpha: degree k is (sum x)^k / k!.
    const std::vector<std::vector<double>> arguments = {
        {0.8}, {0.3, 1.1}, {0.2, 0.5, 0.9}, {0.4, 0.1, 0.7, 1.2, 0.3}};
    for (double alpha : {0.5, 1.0, 2.0, 4.5})
        for (const std::vector<double> &x : arguments) {
            std::vector<double> got = run_series(series(12, alpha, {}, {}, x));
            Real trace = 0;
            for (double xi : x)
                trace += xi;
            for (int k = 0; k <= 12; ++k) {
                Real expected = std::pow(trace, Real(k)) / factorial(k);
                EXPECT_LE(error_in_eps(got[k], expected, expected), 16 * (k + 1))
                    << "alpha=" << alpha << " n=" << x.size() << " degree " << k;
            }
        }
}

TEST(WalkClosedForms, BinomialSeriesDegreeByDegreeAndInTotal)
{
    // 1F0(a; X) = det(I - X)^(-a) for every alpha.
    const std::vector<double> x = {0.3, -0.25, 0.45};
    for (double alpha : {0.5, 1.0, 2.0, 3.5})
        for (double a : {0.7, 2.5, -1.5}) {
            std::vector<double> got = run_series(series(15, alpha, {a}, {}, x));
            std::vector<Real> expected = binomial_series_by_degree(a, x, 15);
            std::vector<double> magnitude(x.size());
            for (size_t i = 0; i < x.size(); ++i)
                magnitude[i] = std::fabs(x[i]);
            std::vector<Real> scale = binomial_series_by_degree(std::fabs(a), magnitude, 15);
            for (int k = 0; k <= 15; ++k)
                EXPECT_LE(error_in_eps(got[k], expected[k], scale[k]), 64 * (k + 1))
                    << "alpha=" << alpha << " a=" << a << " degree " << k;
        }
    // The total approaches the closed form as max_size grows.
    for (double alpha : {0.5, 2.0}) {
        Real closed = 1;
        for (double xi : x)
            closed *= std::pow(1 - Real(xi), Real(-0.7));
        double got = total(run_series(series(60, alpha, {0.7}, {}, x)));
        EXPECT_LE(error_in_eps(got, closed), 64) << "alpha=" << alpha;
    }
}

TEST(WalkClosedForms, OneVariableIsTheScalarSeries)
{
    // n = 1: ordinary rising factorials, terms up to max_part only.
    const double x = 0.85;
    SeriesInput input = series(12, 1.7, {0.5, -2.5}, {1.25}, {x});
    input.max_part = 9;
    std::vector<double> got = run_series(input);
    for (int k = 0; k <= 12; ++k) {
        Real expected = k <= 9 ? rising(0.5, k) * rising(-2.5, k) / rising(1.25, k) *
                                     std::pow(Real(x), k) / factorial(k)
                               : 0;
        EXPECT_LE(error_in_eps(got[k], expected, expected), 32) << "degree " << k;
    }
    // Two arguments with n = 1 and no parameters: (x y)^k / k!.
    std::vector<double> two = run_series(series(10, 0.8, {}, {}, {0.6}, {-1.5}));
    for (int k = 0; k <= 10; ++k) {
        Real expected = std::pow(Real(0.6) * Real(-1.5), k) / factorial(k);
        EXPECT_LE(error_in_eps(two[k], expected, expected), 16) << "degree " << k;
    }
}

TEST(WalkClosedForms, TwoArgumentsWithAlphaOneIsADeterminant)
{
    // 0F0(X, Y) at alpha = 1: 1! 2! ... (n-1)! det[exp(x_i y_k)] / (Delta(x) Delta(y)).
    const std::vector<double> x = {0.3, -0.5, 0.8};
    const std::vector<double> y = {1.2, 0.4, -0.6};
    Real e[3][3];
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            e[i][k] = std::exp(Real(x[i]) * y[k]);
    Real det = e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) -
               e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
               e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
    Real delta_x = (Real(x[1]) - x[0]) * (Real(x[2]) - x[0]) * (Real(x[2]) - x[1]);
    Real delta_y = (Real(y[1]) - y[0]) * (Real(y[2]) - y[0]) * (Real(y[2]) - y[1]);
    Real expected = 2 * det / (delta_x * delta_y);
    double got = total(run_series(series(40, 1.0, {}, {}, x, y)));
    EXPECT_LE(error_in_eps(got, expected), 64) << "got " << got;
}

TEST(WalkClosedForms, TwoArgumentsWithAlphaTwoIsAnAngularMean)
{
    // 0F0 of two 2-by-2 arguments at alpha = 2: the mean over theta of
    // exp(x_1 (y_1 cos^2 + y_2 sin^2) + x_2 (y_1 sin^2 + y_2 cos^2)).
    const double x1 = 0.9, x2 = -0.4, y1 = 1.3, y2 = 0.2;
    const int points = 256; // trapezoid rule: exact to long double for this periodic integrand
    const Real pi = std::acos(Real(-1));
    Real sum = 0;
    for (int k = 0; k < points; ++k) {
        Real theta = 2 * pi * k / points;
        Real c2 = std::cos(theta) * std::cos(theta), s2 = std::sin(theta) * std::sin(theta);
        sum += std::exp(x1 * (y1 * c2 + y2 * s2) + x2 * (y1 * s2 + y2 * c2));
    }
    double got = total(run_series(series(40, 2.0, {}, {}, {x1, x2}, {y1, y2})));
    EXPECT_LE(error_in_eps(got, sum / points), 32) << "got " << got;
}

TEST(WalkIdentities, SymmetricUnderPermutingAndExchangingArguments)
{
    const std::vector<double> x = {0.35, -0.7, 0.15, 0.9};
    const std::vector<double> permuted = {0.9, 0.15, 0.35, -0.7};
    const std::vector<double> y = {1.4, 0.25, -0.3, 0.6};
    for (double alpha : {0.7, 2.0}) {
        std::vector<double> one = run_series(series(9, alpha, {1.5, -0.5}, {2.25}, x));
        std::vector<double> one_permuted = run_series(series(9, alpha, {1.5, -0.5}, {2.25}, permuted));
        std::vector<double> xy = run_series(series(9, alpha, {0.5}, {1.75}, x, y));
        std::vector<double> yx = run_series(series(9, alpha, {0.5}, {1.75}, y, x));
        std::vector<double> with_ones =
            run_series(series(9, alpha, {1.5, -0.5}, {2.25}, x, std::vector<double>(4, 1.0)));
        for (int k = 0; k <= 9; ++k) {
            EXPECT_LE(error_in_eps(one_permuted[k], one[k]), 64) << "permuted, degree " << k;
            EXPECT_LE(error_in_eps(yx[k], xy[k]), 64) << "exchanged, degree " << k;
            EXPECT_LE(error_in_eps(with_ones[k], one[k]), 64) << "y all ones, degree " << k;
        }
    }
}

TEST(WalkIdentities, FirstDegreeIsTheTraceTimesTheParameterRatio)
{
    const std::vector<double> x = {0.5, 1.5, -0.25};
    const std::vector<double> y = {2.0, -1.0, 0.75};
    std::vector<double> one = run_series(series(1, 1.3, {2.0, 3.0}, {5.0}, x));
    EXPECT_LE(error_in_eps(one[1], Real(6) / 5 * 1.75), 4);
    std::vector<double> two = run_series(series(1, 1.3, {2.0, 3.0}, {5.0}, x, y));
    EXPECT_LE(error_in_eps(two[1], Real(6) / 5 * 1.75 * 1.75 / 3), 4);
}

TEST(WalkPruning, EmptyRangesAndZeroParametersGiveOnlyTheEmptyPartition)
{
    SeriesInput no_size = series(0, 1.0, {}, {}, {0.5, 0.5});
    EXPECT_EQ(run_series(no_size), std::vector<double>({1}));
    for (int max_part : {0, -3}) {
        SeriesInput no_part = series(5, 1.0, {}, {}, {0.5, 0.5, 2.0});
        no_part.max_part = max_part;
        EXPECT_EQ(run_series(no_part), std::vector<double>({1, 0, 0, 0, 0, 0}));
    }
    // a_k = 0 gives (1) the coefficient 0, which ends the walk.
    EXPECT_EQ(run_series(series(4, 2.0, {3.0, 0.0}, {1.0}, {0.5, 0.7}, {1.0, 2.0})),
              std::vector<double>({1, 0, 0, 0, 0}));
}

TEST(WalkPruning, NegativeIntegerParameterTerminatesTheSeries)
{
    // a_1 = -2: every partition with a box in column 3 of row 1 has coefficient 0,
    // so all max_size from 6 give the same total; max_size 5 leaves out (2, 2, 2).
    const std::vector<double> x = {0.6, -0.3, 0.45};
    double at6 = total(run_series(series(6, 1.5, {-2.0}, {0.75}, x)));
    for (int max_size : {7, 9, 14})
        EXPECT_EQ(total(run_series(series(max_size, 1.5, {-2.0}, {0.75}, x))), at6);
    EXPECT_NE(total(run_series(series(5, 1.5, {-2.0}, {0.75}, x))), at6);
    // It is the polynomial det(I - X)^2 at alpha where 1F0 is defined: same value.
    Real closed = 1;
    for (double xi : x)
        closed *= (1 - Real(xi)) * (1 - Real(xi));
    EXPECT_LE(error_in_eps(total(run_series(series(6, 1.5, {-2.0}, {}, x))), closed), 16);
}

TEST(WalkPoles, VanishingDenominatorIsNotPruned)
{
    // b = 0 makes D zero at the first box: infinite coefficient, carried on.
    std::vector<double> got = run_series(series(3, 1.0, {1.0}, {0.0}, {0.5, 0.25}));
    EXPECT_TRUE(std::isinf(got[1]));
    EXPECT_FALSE(std::isfinite(got[2]));
}

// A numerator parameter -k ends the series at degree k n for every alpha:
// the factor of row 1 at column k + 1 is exactly 0. Truth: 1F0(-k; t I_n) =
// (1 - t)^(k n), an integer, and 1F1(-3; -5; t) = 44/15 at t = 2 for one
// variable (four terms by hand: 1 + 1.2 + 0.6 + 2/15).
TEST(WalkPruning, NegativeIntegerParametersEndTheSeries)
{
    for (double alpha : {0.1, 0.3, 0.7, 1.1, 1.3, 3.7})
        for (int k = 1; k <= 4; k++)
            for (int n = 1; n <= 4; n++)
                for (double t : {2.0, 3.0, -2.0}) {
                    std::vector<double> sums =
                        run_series(series(k * n + 12, alpha, {-double(k)}, {}, std::vector<double>(n, t)));
                    for (size_t d = k * n + 1; d < sums.size(); d++)
                        ASSERT_EQ(sums[d], 0.0) << "alpha " << alpha << " k " << k << " n " << n
                                                << " t " << t << " degree " << d;
                    double exact = std::pow(1.0 - t, k * n);
                    EXPECT_LE(std::fabs(total(sums) - exact), 256 * DBL_EPSILON * std::pow(1 + std::fabs(t), k * n))
                        << "alpha " << alpha << " k " << k << " n " << n << " t " << t;
                }
    for (double alpha : {0.1, 0.7, 3.7}) {
        double got = total(run_series(series(300, alpha, {-3.0}, {-5.0}, {2.0})));
        EXPECT_LE(std::fabs(got - 44.0 / 15), 8 * DBL_EPSILON * (44.0 / 15)) << "alpha " << alpha;
    }
}
