// The smallest eigenvalue of a real Wishart matrix with any Sigma and
// (n - m - 1)/2 whole (the "zonal" route): against zonal polynomials built
// independently in exact rationals (tools/wishart_real_smallest_reference.py),
// the white exact route, the chi-square law at m = 1 and Monte Carlo. Other
// n (the holonomic route): against the gamma law, the zonal route and the
// white formulas.
#include "matrixhyper/wishart_cdf.h"
#include "wishart_holonomic.h"
#include "wishart_real_smallest.h"
#include "wishart_sampling.h"

#include <gtest/gtest.h>


#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace matrixhyper;

namespace {

struct reference_case {
    const char *label;
    int m, n;
    std::vector<double> sigma;
    double x, lower, upper;
};

// Zonal polynomials from the Laplace-Beltrami eigenproblem in exact
// rationals, the finite series in 60 digits (mpmath), printed to 20 digits:
// tools/wishart_real_smallest_reference.py.
const std::vector<reference_case> references = {
#include "real_smallest_reference.inc"
};

wishart_cdf_request smallest(int m, double n, std::vector<double> sigma, bool upper)
{
    wishart_cdf_request q;
    q.m = m;
    q.n = n;
    q.which = wishart_extreme::smallest;
    q.tail = upper ? wishart_tail::upper : wishart_tail::lower;
    q.sigma = std::move(sigma);
    return q;
}

// Both tails, plain and log, within 1e-10 of the reference, and within the
// err the route reports (err is honest, not only small).
TEST(WishartRealSmallest, MatchesIndependentZonalSeries)
{
    for (const reference_case &c : references)
        for (int upper = 0; upper < 2; upper++)
            for (int log_result = 0; log_result < 2; log_result++) {
                wishart_cdf_request q = smallest(c.m, c.n, c.sigma, upper);
                q.log_result = log_result;
                double P = 0, err = 0;
                const wishart_cdf_outcome outcome = wishart_eig_cdf(q, &c.x, 1, &P, &err);
                const double truth = upper ? c.upper : c.lower, other = upper ? c.lower : c.upper;
                // log of a tail near 1 from its complement: the double truth
                // alone would carry an error of u in its log.
                const double log_truth = truth > 0.5 ? std::log1p(-other) : std::log(truth);
                const std::string where = std::string(c.label) + " x=" + std::to_string(c.x) +
                                          (upper ? " upper" : " lower") + (log_result ? " log" : "");
                ASSERT_EQ(outcome.status, wishart_cdf_status::ok) << where << ": " << outcome.message;
                EXPECT_EQ(outcome.method, "zonal") << where;
                if (log_result) {
                    // The reference's own rounding to double: u relative to
                    // truth, or to its complement.
                    const double reference_rounding = 2.3e-16 * (truth > 0.5 ? other / truth : 1);
                    EXPECT_NEAR(P, log_truth, 1e-10) << where;
                    EXPECT_LE(std::fabs(P - log_truth), err + reference_rounding) << where;
                } else {
                    EXPECT_NEAR(P / truth, 1, 1e-10) << where;
                    EXPECT_LE(std::fabs(P - truth), err + 1e-19 * truth) << where;
                }
            }
}

// Sigma = c I: the route against the finite Pfaffian formulas of the exact
// route (an independent derivation), down to tails of 1e-30 and beyond.
TEST(WishartRealSmallest, WhiteSigmaMatchesExactRoute)
{
    const std::vector<double> x = {1e-3, 0.05, 0.7, 3, 12, 40, 150};
    for (auto mr : {std::pair<int, int>{5, 3}, {8, 8}, {3, 0}})
        for (int upper = 0; upper < 2; upper++) {
            const int m = mr.first, n = m + 1 + 2 * mr.second;
            wishart_cdf_request q = smallest(m, n, std::vector<double>(m, 2.5), upper);
            std::vector<double> P(x.size()), E(x.size()), exact(x.size());
            ASSERT_EQ(real_smallest_route(q, x.data(), x.size(), P.data(), E.data()).status,
                      wishart_cdf_status::ok);
            ASSERT_EQ(wishart_eig_cdf(q, x.data(), x.size(), exact.data(), nullptr).method, "exact");
            for (size_t i = 0; i < x.size(); i++) {
                EXPECT_NEAR(P[i] / exact[i], 1, 1e-12) << "m=" << m << " n=" << n << " x=" << x[i];
                EXPECT_LE(E[i], 1e-11 * P[i]);      // well within the default tol
            }
        }
}

// m = 1: W = sigma chi^2_n with n = 2 r + 2, so P(W > x) = Q(r + 1, x / (2 sigma)).
TEST(WishartRealSmallest, OneDimensionIsChiSquare)
{
    const double sigma = 0.3;
    for (int r : {0, 2, 7, 25})
        for (double x : {1e-4, 0.1, 1.0, 6.0, 30.0, 200.0}) {
            wishart_cdf_request q = smallest(1, 2 * r + 2, {sigma}, true);
            double upper = 0, lower = 0;
            ASSERT_EQ(real_smallest_route(q, &x, 1, &upper, nullptr).status, wishart_cdf_status::ok);
            q.tail = wishart_tail::lower;
            ASSERT_EQ(real_smallest_route(q, &x, 1, &lower, nullptr).status, wishart_cdf_status::ok);
            const double y = x / (2 * sigma);
            EXPECT_NEAR(upper / boost::math::gamma_q(r + 1.0, y), 1, 1e-13) << "r=" << r << " x=" << x;
            EXPECT_NEAR(lower / boost::math::gamma_p(r + 1.0, y), 1, 1e-13) << "r=" << r << " x=" << x;
        }
}

// Fixed-seed Monte Carlo: W = Z^T Z with rows of Z iid N(0, Sigma) for a full
// Sigma (rows made as L g with Sigma = L L^T), the route given only Sigma's
// eigenvalues; the empirical P within 4.5 binomial standard errors. n = 6 at
// m = 4 is the holonomic route's ((n - m - 1)/2 not whole).
TEST(WishartRealSmallest, MonteCarloAgrees)
{
    const int samples = 20000;
    struct mc_case { int m, n; double rho; const char *method; };
    for (const mc_case &c : {mc_case{4, 7, 0.7, "zonal"}, mc_case{8, 11, 0.5, "zonal"},
                             mc_case{4, 6, 0.7, "holonomic"}}) {
        const int m = c.m, n = c.n;
        std::vector<double> sigma((size_t)m * m);   // Sigma_ij = rho^|i-j|
        for (int i = 0; i < m; i++)
            for (int j = 0; j < m; j++) sigma[(size_t)i * m + j] = std::pow(c.rho, std::abs(i - j));
        const std::vector<double> lmin =
            wishart_sampling::sample_extremes<double>(sigma, m, n, samples, 20261208 + m).smallest;
        std::vector<double> sorted = lmin;
        std::sort(sorted.begin(), sorted.end());
        std::vector<double> x;
        for (double q : {0.02, 0.2, 0.5, 0.8, 0.98}) x.push_back(sorted[(size_t)(q * samples)]);
        wishart_cdf_request q = smallest(m, n, wishart_sampling::eigenvalues(sigma, m), false);
        std::vector<double> F(x.size());
        const wishart_cdf_outcome outcome = wishart_eig_cdf(q, x.data(), x.size(), F.data(), nullptr);
        ASSERT_EQ(outcome.status, wishart_cdf_status::ok) << outcome.message;
        ASSERT_EQ(outcome.method, c.method);
        for (size_t i = 0; i < x.size(); i++) {
            const double empirical =
                (double)std::count_if(lmin.begin(), lmin.end(), [&](double l) { return l <= x[i]; }) / samples;
            EXPECT_NEAR(empirical, F[i], 4.5 * std::sqrt(F[i] * (1 - F[i]) / samples))
                << "m=" << m << " n=" << n << " x=" << x[i];
        }
    }
}

// A table cut short (here by the memory limit, at degree 10 of 12) still
// serves the points its degrees decide, with the unbuilt degrees in err;
// the others are NaN with a message naming the table. A non-whole r that
// no route serves is refused with the reason.
TEST(WishartRealSmallest, ReachIsHonest)
{
    const reference_case &near = references[25], &far = references[29];   // "spread, r = 4"
    ASSERT_EQ(std::string(near.label), "spread, r = 4");
    ASSERT_EQ(std::string(far.label), "spread, r = 4");
    for (int upper = 0; upper < 2; upper++) {
        wishart_cdf_request q = smallest(near.m, near.n, near.sigma, upper);
        // Degrees 0..10 fit (33 box partitions of 74 bytes, Pascal's
        // triangle and the powers: 4554 bytes), degree 11 does not (4916).
        q.memory_limit = 4600;
        const double x[] = {near.x, far.x};
        double P[2], err[2];
        const wishart_cdf_outcome outcome = wishart_eig_cdf(q, x, 2, P, err);
        EXPECT_EQ(outcome.status, wishart_cdf_status::not_converged);
        EXPECT_NE(outcome.message.find("zonal table"), std::string::npos) << outcome.message;
        EXPECT_NE(outcome.message.find("memory limit"), std::string::npos) << outcome.message;
        EXPECT_NEAR(P[0] / (upper ? near.upper : near.lower), 1, 1e-10);
        EXPECT_TRUE(std::isnan(P[1]));
        EXPECT_GT(err[1], 1e-10 * (upper ? far.upper : far.lower));
    }
    std::vector<double> spread(11);
    for (int i = 0; i < 11; i++) spread[i] = 1 + i;
    wishart_cdf_request q = smallest(11, 13, spread, true);   // beyond the holonomic route's m
    double x = 1, P = 0;
    const wishart_cdf_outcome outcome = wishart_eig_cdf(q, &x, 1, &P, nullptr);
    EXPECT_EQ(outcome.status, wishart_cdf_status::invalid_argument);
    EXPECT_NE(outcome.message.find("(n - m - 1)/2"), std::string::npos) << outcome.message;
    // The holonomic route (n - m - 1 even) asked for more than a double can
    // hold, even after its retries in more bits: NaN with the warning, and
    // an err that says it missed.
    wishart_cdf_request beyond = smallest(3, 5, {0.5, 1.3, 3.0}, true);
    beyond.tol = 1e-17;
    double err_beyond = 0;
    const wishart_cdf_outcome missed = wishart_eig_cdf(beyond, &x, 1, &P, &err_beyond);
    EXPECT_EQ(missed.method, "holonomic");
    EXPECT_EQ(missed.status, wishart_cdf_status::not_converged);
    EXPECT_TRUE(std::isnan(P));
    EXPECT_GT(err_beyond, 1e-17 * 0.43);   // P = 0.43 at x = 1 (default tol)
    // Beyond the work budget (the runs start far out, past Sigma's largest
    // eigenvalue) and asked for log P: no value, and an err that says so.
    wishart_cdf_request spikes = smallest(9, 11, {50, 40, 1, 1, 1, 1, 1, 1, 1}, false);
    spikes.log_result = true;
    x = 0.5;
    const wishart_cdf_outcome unreached = wishart_eig_cdf(spikes, &x, 1, &P, &err_beyond);
    EXPECT_EQ(unreached.status, wishart_cdf_status::not_converged);
    EXPECT_TRUE(std::isnan(P));
    EXPECT_EQ(err_beyond, HUGE_VAL);
}

// P (or NaN) against a truth: within 1e-10 and within what err claims
// (2 err, and the truth's own error, some 1e-13 for the white formulas). A
// NaN is only allowed where the truth is a lower tail below 1e-4, which
// 1 - P(lambda_min > x) cannot carry to 1e-10.
void expect_honest(double P, double err, double truth, bool lower_tail, const std::string &what)
{
    if (std::isnan(P)) {
        EXPECT_TRUE(lower_tail && truth < 1e-4) << what << ": NaN where the truth is " << truth;
        return;
    }
    const double miss = std::fabs(P - truth);
    EXPECT_LE(miss, 1e-10 * truth) << what;
    EXPECT_LE(miss, 2 * err + 1e-13 * truth) << what << ": err understates the error";
}

// Where (n - m - 1)/2 is not whole the upper tail is the recessive solution
// of the largest eigenvalue's holonomic system (docs/wishart_holonomic.md,
// "The smallest eigenvalue"), the lower tail its complement. Against the
// gamma law at m = 1 (n below 1 too); against the zonal route where
// (n - m - 1)/2 is whole (the holonomic route called directly there, and at
// m = 1, which the finite formulas take);
// against the white formulas for c I at m = 4, n = 6, which the holonomic
// route takes as one repeated eigenvalue (the last a relative 1e-14 off,
// moving P by less than 1e-13). Repeated eigenvalues (the confluent system)
// against the zonal route too: a spike at m = 8 (double and long double
// runs), blocks diag(2 I, I) at m = 10 and three spikes at m = 9 (the wide
// type's, whose steps take the confluent matrices' nonzero entries only),
// upper tail.
TEST(WishartRealSmallest, HolonomicRouteAgainstIndependentLaws)
{
    std::vector<double> x;
    for (double v = 0.01; v < 100; v *= 2.2) x.push_back(v);
    std::vector<double> P(x.size()), err(x.size()), truth(x.size()), truth_err(x.size());
    for (int upper = 0; upper < 2; upper++) {
        // Two points further down, where the lower tail (6e-9 at n = 2.5)
        // needs the retry in pairs of doubles, and must get it.
        std::vector<double> x1 = x;
        x1.insert(x1.begin(), {1e-6, 1e-4});
        std::vector<double> P1(x1.size()), err1(x1.size());
        for (double n : {0.6, 2.5}) {
            const double sigma = 1.7;
            wishart_cdf_request q = smallest(1, n, {sigma}, upper);
            const wishart_cdf_outcome outcome = holonomic_route(q, x1.data(), x1.size(), P1.data(), err1.data());
            ASSERT_EQ(outcome.method, "holonomic");
            for (std::size_t i = 0; i < x1.size(); i++) {
                const long double y = x1[i] / (2.0L * sigma);
                const double gamma =
                    (double)(upper ? boost::math::gamma_q(n / 2.0L, y) : boost::math::gamma_p(n / 2.0L, y));
                const std::string what = "m = 1, n = " + std::to_string(n) + ", x = " + std::to_string(x1[i]);
                if (gamma > 1e-300) expect_honest(P1[i], err1[i], gamma, !upper, what);
                if (i < 2) {
                    EXPECT_FALSE(std::isnan(P1[i])) << what;
                }
            }
        }
        struct whole_case { int m, n; std::vector<double> sigma; };
        for (const whole_case &c : {whole_case{3, 6, {0.5, 1.3, 3.0}},
                                    whole_case{6, 7, {0.3, 0.55, 1.0, 1.6, 2.5, 4.0}},
                                    whole_case{8, 11, {4, 1, 1, 1, 1, 1, 1, 1}},
                                    whole_case{10, 13, {2, 2, 2, 2, 2, 1, 1, 1, 1, 1}},
                                    whole_case{9, 12, {5, 4, 3, 1, 1, 1, 1, 1, 1}}}) {
            if (c.m >= 9 && !upper) continue;   // some 3 s each
            const wishart_cdf_request q = smallest(c.m, c.n, c.sigma, upper);
            ASSERT_EQ(holonomic_route(q, x.data(), x.size(), P.data(), err.data()).method, "holonomic");
            ASSERT_EQ(real_smallest_route(q, x.data(), x.size(), truth.data(), truth_err.data()).method, "zonal");
            for (std::size_t i = 0; i < x.size(); i++)
                if (truth[i] > 1e-300)
                    expect_honest(P[i], err[i], truth[i], !upper,
                                  "m = " + std::to_string(c.m) + ", x = " + std::to_string(x[i]));
        }
        // m = 10, n = 11: r = 0, whose zonal series holds the empty partition
        // alone, so P(lambda_min > x) = etr(-x Sigma^-1 / 2). Ten rates over
        // a factor of 28, as in an AR(1) Sigma of 0.7.
        std::vector<double> spread;
        for (int k = 0; k < 10; k++) spread.push_back(0.2 * std::pow(1.45, k));
        const wishart_cdf_request q10 = smallest(10, 11, spread, upper);
        ASSERT_EQ(holonomic_route(q10, x.data(), x.size(), P.data(), err.data()).method, "holonomic");
        for (std::size_t i = 0; i < x.size(); i++) {
            long double rate = 0;
            for (double sigma : spread) rate += 0.5L / sigma;
            const long double above = std::exp(-(long double)x[i] * rate);
            const double expected = (double)(upper ? above : 1 - above);
            if (expected > 1e-300) expect_honest(P[i], err[i], expected, !upper, "m = 10, x = " + std::to_string(x[i]));
        }
        const int m = 4;
        std::vector<double> near_white(m, 1.5);
        near_white[m - 1] *= 1 + 1e-14;
        wishart_cdf_request q = smallest(m, 6, near_white, upper);
        ASSERT_EQ(wishart_eig_cdf(q, x.data(), x.size(), P.data(), err.data()).method, "holonomic");
        q.sigma.assign(m, 1.5);
        ASSERT_EQ(wishart_eig_cdf(q, x.data(), x.size(), truth.data(), nullptr).method, "exact");
        for (std::size_t i = 0; i < x.size(); i++)
            if (truth[i] > 1e-300) expect_honest(P[i], err[i], truth[i], !upper, "c I, x = " + std::to_string(x[i]));
    }
}

// A table of some 20 s (m = 4, r = 48, far upper tail: every degree) gives
// way to the caller's interrupt, asked for at its third poll.
TEST(WishartRealSmallest, TableGivesWayToInterrupt)
{
    int polls = 0;
    interrupt_check interrupt;
    interrupt.context = &polls;
    interrupt.poll = [](void *context) { return ++*static_cast<int *>(context) >= 3; };
    wishart_cdf_request q = smallest(4, 101, {1, 2, 3, 4}, true);
    q.interrupt = &interrupt;
    const double x = 1e4;
    double P = 0;
    EXPECT_EQ(wishart_eig_cdf(q, &x, 1, &P, nullptr).status, wishart_cdf_status::interrupted);
    EXPECT_EQ(polls, 3);
}

} // namespace
