// Tests of the complex Wishart route for any Sigma (wishart_complex_sigma.h,
// through wishart_eig_cdf where it dispatches): mpmath references of the
// determinant formulas (distinct, close, repeated, two-decade and crowded
// Sigma up to m = 32, all four tails, logs below 1e-300), the white formulas
// of the independent orthogonal-polynomial engine at Sigma = c I, the gamma
// law at m = 1, repeated against nearly repeated rates, and a fixed-seed
// Monte Carlo (the user's Toeplitz case at m = 4, n = 4 and 6; m = 8).
#include "wishart_complex_sigma.h"
#include "wishart_sampling.h"
#include "matrixhyper/wishart_cdf.h"
#include "matrixhyper/wishart_eig.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

using namespace matrixhyper;

namespace {

struct reference_point {
    double x;
    double tails[4];   // P(max <= x), P(max > x), P(min <= x), P(min > x)
};

struct reference_case {
    const char *name;
    int n;
    std::vector<double> sigma;
    std::vector<reference_point> points;
};

struct deep_tail {
    const char *name;
    int n;
    std::vector<double> sigma;
    double x;
    int column;
    double log_value;
};

// tools/wishart_complex_sigma_reference.py: mpmath at 160 and 220 digits.
const reference_case reference_cases[] = {
#include "wishart_complex_sigma_reference.inc"
};

const deep_tail deep_tails[] = {
#define COMPLEX_SIGMA_DEEP_TAILS
#include "wishart_complex_sigma_reference.inc"
#undef COMPLEX_SIGMA_DEEP_TAILS
};

wishart_cdf_request make(const std::vector<double> &sigma, int n, int column, bool log_result = false)
{
    wishart_cdf_request request;
    request.m = (int)sigma.size();
    request.n = n;
    request.field = wishart_field::complex;
    request.sigma = sigma;
    request.which = column < 2 ? wishart_extreme::largest : wishart_extreme::smallest;
    request.tail = column == 0 || column == 2 ? wishart_tail::lower : wishart_tail::upper;
    request.log_result = log_result;
    return request;
}

struct evaluation {
    std::vector<double> P, err;
};

evaluation evaluate(const wishart_cdf_request &request, const std::vector<double> &x)
{
    evaluation result{std::vector<double>(x.size()), std::vector<double>(x.size())};
    const wishart_cdf_outcome outcome =
        wishart_eig_cdf(request, x.data(), x.size(), result.P.data(), result.err.data());
    EXPECT_EQ(outcome.status, wishart_cdf_status::ok) << outcome.message;
    EXPECT_EQ(outcome.method, "exact");
    return result;
}

// The route itself, for the requests wishart_eig_cdf sends elsewhere (white
// Sigma, m = 1).
evaluation evaluate_route(const wishart_cdf_request &request, const std::vector<double> &x)
{
    evaluation result{std::vector<double>(x.size()), std::vector<double>(x.size())};
    const wishart_cdf_outcome outcome =
        complex_sigma_route(request, x.data(), x.size(), result.P.data(), result.err.data());
    EXPECT_EQ(outcome.status, wishart_cdf_status::ok) << outcome.message;
    return result;
}

constexpr double target = 1e-10;           // relative accuracy asked of every tail
constexpr double smallest_compared = 1e-300;  // references below underflow: checked in logs

} // namespace

// Every tail of every reference point to 1e-10 relative, with an err that
// covers the true error and is itself within tol; logs of the same.
TEST(WishartComplexSigma, MatchesMultiprecisionReferences)
{
    for (const reference_case &c : reference_cases)
        for (int column = 0; column < 4; column++)
            for (bool log_result : {false, true}) {
                std::vector<double> x;
                for (const reference_point &point : c.points) x.push_back(point.x);
                const evaluation got = evaluate(make(c.sigma, c.n, column, log_result), x);
                for (std::size_t i = 0; i < x.size(); i++) {
                    const double expected = c.points[i].tails[column];
                    if (expected < smallest_compared) continue;
                    const double error = log_result ? std::fabs(got.P[i] - std::log(expected))
                                                    : std::fabs(got.P[i] - expected) / expected;
                    const double claimed = log_result ? got.err[i] : got.err[i] / expected;
                    EXPECT_LE(error, target) << c.name << " column " << column << " x = " << x[i]
                                             << " log " << log_result << ": expected " << expected
                                             << ", got " << got.P[i];
                    EXPECT_LE(error, claimed + 4e-16 * std::max(1.0, std::fabs(got.P[i])))
                        << c.name << " column " << column << " x = " << x[i] << ": err " << got.err[i];
                }
            }
}

// Tails near exp(-770) and x^37 at x = 1e-9: only their logs exist.
TEST(WishartComplexSigma, LogsOfTailsBelowTheDoubleRange)
{
    for (const deep_tail &t : deep_tails) {
        const evaluation got = evaluate(make(t.sigma, t.n, t.column, true), {t.x});
        EXPECT_NEAR(got.P[0], t.log_value, target * std::fabs(t.log_value)) << t.name;
        EXPECT_LE(got.err[0], target) << t.name;
    }
}

// Sigma = c I is one cluster of m repeated rates here (all Taylor, no
// divided difference of values); the white formulas come from the
// orthogonal-polynomial engine, an independent computation.
TEST(WishartComplexSigma, RepeatedRatesMatchTheWhiteFormulas)
{
    const double c = 2.5;
    for (auto mn : {std::pair<int, int>{4, 4}, {12, 20}})
        for (int column = 0; column < 4; column++) {
            const int m = mn.first, n = mn.second;
            const std::vector<double> x = {0.3 * c * n, c * n, 2 * c * n, 4 * c * n};
            const evaluation got = evaluate_route(make(std::vector<double>(m, c), n, column), x);
            wishart_eig_request white;
            white.m = m;
            white.n = n;
            white.field = wishart_field::complex;
            white.which = column < 2 ? wishart_extreme::largest : wishart_extreme::smallest;
            white.tail = column == 0 || column == 2 ? wishart_tail::lower : wishart_tail::upper;
            std::vector<double> scaled;
            for (double value : x) scaled.push_back(value / c);
            std::vector<double> expected(x.size());
            ASSERT_EQ(wishart_eig_cdf_exact(white, scaled.data(), x.size(), expected.data(), nullptr).status,
                      wishart_status::ok);
            for (std::size_t i = 0; i < x.size(); i++) {
                if (expected[i] < smallest_compared) continue;
                EXPECT_NEAR(got.P[i], expected[i], target * expected[i])
                    << "m = " << m << " n = " << n << " column " << column << " x = " << x[i];
            }
        }
}

// m = 1: lambda = sigma * Gamma(n, 1); Boost.Math's gamma_p / gamma_q, in
// logs down to the deep tails.
TEST(WishartComplexSigma, OneDimensionIsTheGammaLaw)
{
    const double sigma = 0.7;
    for (int n : {1, 5, 50})
        for (double x : {0.01, 0.5 * n, 2.0 * n, 10.0 * n + 30})
            for (int column = 0; column < 4; column++) {
                const double y = x / sigma;
                const bool lower = column == 0 || column == 2;
                const double expected = lower ? boost::math::gamma_p(n, y) : boost::math::gamma_q(n, y);
                const evaluation got = evaluate_route(make({sigma}, n, column, true), {x});
                EXPECT_NEAR(got.P[0], std::log(expected), target * std::max(1.0, -std::log(expected)))
                    << "n = " << n << " x = " << x << " column " << column;
            }
}

// A rate repeated and the same rate split by 1e-13 (relative) agree within
// their errs: the confluent rows are the limit of the distinct ones.
TEST(WishartComplexSigma, RepeatedAndNearlyRepeatedAgree)
{
    const std::vector<double> repeated = {0.3, 1.0, 1.0, 2.0, 2.0, 2.0, 6.0};
    const std::vector<double> split = {0.3, 1.0, 1.0 + 1e-13, 2.0 - 2e-13, 2.0, 2.0 + 2e-13, 6.0};
    const std::vector<double> x = {2, 10, 25, 60};
    for (int column = 0; column < 4; column++) {
        const evaluation a = evaluate(make(repeated, 9, column), x);
        const evaluation b = evaluate(make(split, 9, column), x);
        for (std::size_t i = 0; i < x.size(); i++) {
            // The split moves the rates by delta_i; log P moves by about
            // sum delta_i times the mean of t under exp(-a t) t^(n-1) over
            // the tail's range, below x + n sigma_max (twice, for room).
            double moved_rates = 0;
            for (std::size_t k = 0; k < split.size(); k++) moved_rates += std::fabs(1 / split[k] - 1 / repeated[k]);
            const double moved = 2 * (x[i] + 9 * 6.0) * moved_rates * a.P[i];
            EXPECT_LE(std::fabs(a.P[i] - b.P[i]), a.err[i] + b.err[i] + moved)
                << "column " << column << " x = " << x[i];
        }
    }
}

// At the simulated quantiles q = 0.01 ... 0.99 the CDF is q within 4.5
// binomial standard errors. Sigma enters the simulation as a matrix and the
// route as its eigenvalues (from LAPACK).
TEST(WishartComplexSigma, MonteCarloAtTheQuantiles)
{
    constexpr int samples = 20000;
    struct setting {
        int m, n;
        std::vector<double> Sigma;
    };
    std::vector<setting> settings;
    for (int n : {4, 6}) {   // the reported case: Sigma_ij = 0.7^|i-j|
        setting s{4, n, std::vector<double>(16)};
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++) s.Sigma[i * 4 + j] = std::pow(0.7, std::abs(i - j));
        settings.push_back(s);
    }
    setting wide{8, 9, std::vector<double>(64, 0.0)};   // eigenvalues over two decades, one repeated
    const double diagonal[] = {0.01, 0.04, 0.1, 0.1, 0.3, 0.5, 0.8, 1.0};
    for (int i = 0; i < 8; i++) wide.Sigma[i * 8 + i] = diagonal[i];
    for (int i = 0; i < 7; i++) wide.Sigma[i * 8 + i + 1] = wide.Sigma[(i + 1) * 8 + i] = 0.3 * std::sqrt(diagonal[i] * diagonal[i + 1]);
    settings.push_back(wide);
    const double quantiles[] = {0.01, 0.05, 0.25, 0.5, 0.75, 0.95, 0.99};
    unsigned seed = 20261208;
    for (const setting &s : settings) {
        const std::vector<double> sigma = wishart_sampling::eigenvalues(s.Sigma, s.m);
        wishart_sampling::extremes draws =
            wishart_sampling::sample_extremes<std::complex<double>>(s.Sigma, s.m, s.n, samples, seed++);
        std::vector<double> &largest = draws.largest, &smallest = draws.smallest;
        for (int column : {0, 2}) {
            std::vector<double> &values = column == 0 ? largest : smallest;
            std::sort(values.begin(), values.end());
            std::vector<double> x;
            for (double q : quantiles) x.push_back(values[(std::size_t)(q * samples)]);
            const evaluation got = evaluate(make(sigma, s.n, column), x);
            for (std::size_t i = 0; i < x.size(); i++) {
                const double empirical = (double)(std::upper_bound(values.begin(), values.end(), x[i]) - values.begin()) / samples;
                const double standard_error = std::sqrt(got.P[i] * (1 - got.P[i]) / samples);
                EXPECT_NEAR(empirical, got.P[i], 4.5 * standard_error)
                    << "m = " << s.m << " n = " << s.n << (column == 0 ? " largest" : " smallest") << " q = " << quantiles[i];
            }
        }
    }
}

// A caller that asks to stop gets interrupted and no value (the white route's
// contract); one that never asks gets every point.
TEST(WishartComplexSigma, StopsWhenInterrupted)
{
    struct counter {
        int polls = 0, stop_after = 0;
    };
    for (int stop_after : {0, 3}) {
        counter state{0, stop_after};
        interrupt_check check;
        check.context = &state;
        check.poll = [](void *context) {
            counter &c = *static_cast<counter *>(context);
            return ++c.polls > c.stop_after;
        };
        wishart_cdf_request request = make({0.5, 1, 2, 4}, 2000, 1);
        request.interrupt = &check;
        const std::vector<double> x = {4000, 8000, 12000, 16000, 20000};
        std::vector<double> P(x.size(), 0.0), err(x.size(), 0.0);
        const wishart_cdf_outcome outcome = wishart_eig_cdf(request, x.data(), x.size(), P.data(), err.data());
        EXPECT_EQ(outcome.status, wishart_cdf_status::interrupted) << "stop after " << stop_after;
        EXPECT_TRUE(std::isnan(P.back())) << "stop after " << stop_after;
    }
}

// Tails beyond even the multiprecision exponent range (exp(-1e12)) are 0,
// not a failure; x <= 0 and +Inf give the bounds exactly.
TEST(WishartComplexSigma, UnderflowAndTheEnds)
{
    const std::vector<double> sigma = {0.5, 1, 2, 4};
    const std::vector<double> x = {1e12, 0, -1, INFINITY};
    const evaluation upper = evaluate(make(sigma, 5, 1), x);
    EXPECT_EQ(upper.P, (std::vector<double>{0, 1, 1, 0}));
    EXPECT_EQ(upper.err, (std::vector<double>{0, 0, 0, 0}));
    const evaluation lower = evaluate(make(sigma, 5, 2), x);
    EXPECT_EQ(lower.P, (std::vector<double>{1, 0, 0, 1}));
}
