// wishart_eig_inv against independent quantiles: the gamma law at m = 1
// (Boost.Math's gamma_p_inv / gamma_q_inv), the exponential laws of the
// smallest eigenvalue at n = m (complex) and n = m + 1 (real); round trips
// through wishart_eig_cdf up to m = 10 and through the recessive holonomic
// route; refusals and unresolved points.
#include <boost/math/special_functions/gamma.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "matrixhyper/wishart_inv.h"

using namespace matrixhyper;

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
const std::vector<double> probabilities = {1e-12, 1e-6, 0.05, 0.5, 0.95, 1 - 1e-6, 1 - 1e-12};
const wishart_tail both_tails[] = {wishart_tail::lower, wishart_tail::upper};

wishart_cdf_request request_for(int m, double n, wishart_field field, wishart_extreme which, wishart_tail tail)
{
    wishart_cdf_request request;
    request.m = m;
    request.n = n;
    request.field = field;
    request.which = which;
    request.tail = tail;
    return request;
}

struct quantiles {
    std::vector<double> x, err;
    wishart_inv_outcome outcome;
};

quantiles solve(const wishart_cdf_request &request, const std::vector<double> &P)
{
    quantiles result;
    result.x.assign(P.size(), -1);
    result.err.assign(P.size(), -1);
    result.outcome = wishart_eig_inv(request, P.data(), P.size(), result.x.data(), result.err.data());
    return result;
}

// Every x within the promised accuracy of `expected` (and of its own err
// bound, which may add the reference's rounding).
void expect_quantiles(const quantiles &got, const std::vector<double> &expected, const char *what)
{
    ASSERT_EQ(got.outcome.status, wishart_cdf_status::ok) << what << ": " << got.outcome.message;
    for (std::size_t i = 0; i < expected.size(); i++) {
        const double error = std::fabs(got.x[i] - expected[i]);
        EXPECT_LE(error, quantile_rel_tol * expected[i])
            << what << " at P[" << i << "]: got " << got.x[i] << ", expected " << expected[i];
        EXPECT_LE(error, got.err[i] + 1e-14 * expected[i]) << what << " at P[" << i << "]: err " << got.err[i];
    }
}

// The exact quantile of each P lies within a relative quantile_rel_tol of
// got.x: the CDF at x (1 -+ tol), with its err, straddles P. Checked on the
// tail whose probability is small, where P keeps its relative accuracy.
void expect_round_trip(wishart_cdf_request request, const std::vector<double> &P, const quantiles &got)
{
    const wishart_tail tail = request.tail;
    ASSERT_EQ(got.outcome.status, wishart_cdf_status::ok) << got.outcome.message;
    for (std::size_t i = 0; i < P.size(); i++) {
        const bool flip = P[i] > 0.5;
        const double q = flip ? 1 - P[i] : P[i];
        request.tail = (tail == wishart_tail::lower) != flip ? wishart_tail::lower : wishart_tail::upper;
        const double x[] = {got.x[i] * (1 - quantile_rel_tol), got.x[i] * (1 + quantile_rel_tol)};
        double value[2], err[2];
        ASSERT_EQ(wishart_eig_cdf(request, x, 2, value, err).status, wishart_cdf_status::ok);
        const bool increasing = request.tail == wishart_tail::lower;
        const double below = increasing ? value[0] - err[0] : value[1] - err[1];
        const double above = increasing ? value[1] + err[1] : value[0] + err[0];
        EXPECT_LE(below, q) << "m " << request.m << " P " << P[i] << " x " << got.x[i];
        EXPECT_GE(above, q) << "m " << request.m << " P " << P[i] << " x " << got.x[i];
        EXPECT_LE(got.err[i], quantile_rel_tol * got.x[i]);
    }
}

} // namespace

TEST(WishartInv, GammaLawAtDimensionOne)
{
    // m = 1: lambda = chi^2_n (real) = 2 Gamma(n/2, 1), or Gamma(n, 1)
    // (complex, E|z|^2 = 1). Integer n takes the finite formulas, n = 2.5
    // the integration (real) or the series (complex). The series' upper
    // tail is 1 - P with an absolute err near 1e-13, which blurs x by more
    // than 1e-10 below P = 1e-3 or so: there (upper P, or lower 1 - P, below
    // 0.05) it is not checked here.
    struct law {
        wishart_field field;
        double n, shape, scale;
    };
    const law laws[] = {{wishart_field::real, 1, 0.5, 2},   {wishart_field::real, 3, 1.5, 2},
                        {wishart_field::real, 10, 5, 2},    {wishart_field::complex, 1, 1, 1},
                        {wishart_field::complex, 4, 4, 1},  {wishart_field::real, 2.5, 1.25, 2},
                        {wishart_field::complex, 2.5, 2.5, 1}};
    for (const law &l : laws)
        for (wishart_tail tail : both_tails) {
            const bool series = l.n != std::floor(l.n) && l.field == wishart_field::complex;
            std::vector<double> P, expected;
            for (double p : probabilities) {
                const bool solved_on_upper_tail = (tail == wishart_tail::upper) == (p <= 0.5);
                if (series && solved_on_upper_tail && std::fmin(p, 1 - p) < 0.05) continue;
                P.push_back(p);
                expected.push_back(l.scale * (tail == wishart_tail::lower ? boost::math::gamma_p_inv(l.shape, p)
                                                                         : boost::math::gamma_q_inv(l.shape, p)));
            }
            const quantiles got = solve(request_for(1, l.n, l.field, wishart_extreme::largest, tail), P);
            expect_quantiles(got, expected, l.field == wishart_field::real ? "chi-square" : "gamma");
        }
}

TEST(WishartInv, ExponentialSmallestEigenvalue)
{
    // P(lambda_min > x) = exp(-m x) for complex n = m, exp(-m x / 2) for real
    // n = m + 1 (Edelman 1988, Eigenvalues and condition numbers of random
    // matrices, SIAM J. Matrix Anal. Appl. 9(4)). Quantiles: -log(P) / rate
    // (upper tail), -log1p(-P) / rate (lower tail).
    for (int m : {2, 5, 10})
        for (wishart_field field : {wishart_field::complex, wishart_field::real}) {
            const bool complex = field == wishart_field::complex;
            const double rate = complex ? m : m / 2.0, n = complex ? m : m + 1;
            for (wishart_tail tail : both_tails) {
                std::vector<double> expected;
                for (double p : probabilities)
                    expected.push_back((tail == wishart_tail::upper ? -std::log(p) : -std::log1p(-p)) / rate);
                const quantiles got = solve(request_for(m, n, field, wishart_extreme::smallest, tail), probabilities);
                expect_quantiles(got, expected, complex ? "complex n = m" : "real n = m + 1");
            }
        }
}

TEST(WishartInv, RoundTripThroughTheDistribution)
{
    for (int m : {2, 5, 10})
        for (wishart_field field : {wishart_field::real, wishart_field::complex})
            for (wishart_extreme which : {wishart_extreme::largest, wishart_extreme::smallest})
                for (wishart_tail tail : both_tails) {
                    const wishart_cdf_request request = request_for(m, m + 3, field, which, tail);
                    expect_round_trip(request, probabilities, solve(request, probabilities));
                }
}

TEST(WishartInv, SigmaScalesTheQuantiles)
{
    // Sigma = 3 I multiplies W, hence every quantile, by 3; a Sigma with
    // distinct eigenvalues goes through the holonomic route and round-trips,
    // the 95% point included.
    std::vector<double> P = {1e-9, 0.05, 0.5, 0.95};
    wishart_cdf_request request = request_for(3, 5, wishart_field::real, wishart_extreme::largest, wishart_tail::lower);
    const quantiles white = solve(request, P);
    request.sigma = {3, 3, 3};
    const quantiles scaled = solve(request, P);
    ASSERT_EQ(white.outcome.status, wishart_cdf_status::ok);
    std::vector<double> expected;
    for (double x : white.x) expected.push_back(3 * x);   // rounding: 1 ulp of x
    expect_quantiles(scaled, expected, "Sigma = 3 I");

    request.sigma = {0.5, 1, 2};
    const quantiles general = solve(request, P);
    ASSERT_EQ(general.outcome.status, wishart_cdf_status::ok) << general.outcome.message;
    EXPECT_EQ(general.outcome.method, "holonomic");
    std::vector<double> back(P.size()), err(P.size());
    ASSERT_NE(wishart_eig_cdf(request, general.x.data(), P.size(), back.data(), err.data()).status,
              wishart_cdf_status::invalid_argument);
    for (std::size_t i = 0; i < P.size(); i++)
        EXPECT_NEAR(back[i], P[i], 1e-8 * P[i] + err[i]) << "round trip at P = " << P[i];

    // The smallest eigenvalue with r = (n - m - 1)/2 whole takes the zonal
    // route, whose table the solver keeps from point to point: it must grow
    // when a later point lies further out (P rising) and serve either tail.
    request.which = wishart_extreme::smallest;
    request.n = 3 + 1 + 2 * 40;   // r = 40: degrees up to 120, of which small x need fewer
    for (wishart_tail tail : both_tails) {
        request.tail = tail;
        const std::vector<double> zonal_P = {1e-12, 0.05, 0.5, 0.95, 1 - 1e-9};
        const quantiles zonal = solve(request, zonal_P);
        ASSERT_EQ(zonal.outcome.status, wishart_cdf_status::ok) << zonal.outcome.message;
        EXPECT_EQ(zonal.outcome.method, "zonal");
        // A fresh call per tail, with a table of its own: each quantile lies
        // within a relative quantile_rel_tol of x (checked on the tail whose
        // probability is small, where P keeps its relative accuracy).
        for (wishart_tail checked : both_tails) {
            wishart_cdf_request check = request;
            check.tail = checked;
            std::vector<double> x, q, value, error;
            for (std::size_t i = 0; i < zonal.x.size(); i++) {
                const bool flip = zonal_P[i] > 0.5;
                if (((tail == wishart_tail::lower) != flip) != (checked == wishart_tail::lower)) continue;
                q.push_back(flip ? 1 - zonal_P[i] : zonal_P[i]);
                x.push_back(zonal.x[i] * (1 - quantile_rel_tol));
                x.push_back(zonal.x[i] * (1 + quantile_rel_tol));
            }
            value.resize(x.size());
            error.resize(x.size());
            ASSERT_EQ(wishart_eig_cdf(check, x.data(), x.size(), value.data(), error.data()).status,
                      wishart_cdf_status::ok);
            const bool increasing = checked == wishart_tail::lower;
            for (std::size_t j = 0; j < q.size(); j++) {
                const std::size_t below = increasing ? 2 * j : 2 * j + 1, above = increasing ? 2 * j + 1 : 2 * j;
                EXPECT_LE(value[below] - error[below], q[j]) << "x = " << x[2 * j];
                EXPECT_GE(value[above] + error[above], q[j]) << "x = " << x[2 * j];
            }
        }
    }
}

TEST(WishartInv, RecessiveRouteRoundTrips)
{
    // The smallest eigenvalue with (n - m - 1)/2 not whole and distinct
    // eigenvalues of Sigma: the recessive solution of the holonomic system,
    // whose lower tail meets the quantile's accuracy in double but not
    // always the solver's tighter request. Both tails, points asked for
    // either accuracy, must still certify every quantile.
    wishart_cdf_request request = request_for(4, 6, wishart_field::real, wishart_extreme::smallest,
                                              wishart_tail::lower);
    request.sigma = {0.25, 0.5, 1, 2};
    const std::vector<double> P = {1e-6, 0.01, 0.5, 0.99};
    for (wishart_tail tail : both_tails) {
        request.tail = tail;
        const quantiles got = solve(request, P);
        EXPECT_EQ(got.outcome.method, "holonomic");
        expect_round_trip(request, P, got);
    }
}

TEST(WishartInv, EndsNaNAndRefusals)
{
    const wishart_cdf_request request =
        request_for(3, 4, wishart_field::complex, wishart_extreme::largest, wishart_tail::upper);
    const quantiles ends = solve(request, {0, 1, not_a_number});
    ASSERT_EQ(ends.outcome.status, wishart_cdf_status::ok);
    EXPECT_EQ(ends.x[0], std::numeric_limits<double>::infinity());
    EXPECT_EQ(ends.x[1], 0);
    EXPECT_TRUE(std::isnan(ends.x[2]) && std::isnan(ends.err[2]));

    for (double bad : {-0.1, 1.5, -std::numeric_limits<double>::infinity()}) {
        const quantiles refused = solve(request, {0.5, bad});
        EXPECT_EQ(refused.outcome.status, wishart_cdf_status::invalid_argument) << bad;
        EXPECT_EQ(refused.x[0], -1) << "nothing is written when P is refused";
    }
    wishart_cdf_request smallest = request;
    smallest.which = wishart_extreme::smallest;
    smallest.sigma = {1, 2, 3};
    smallest.n = 4.5;   // a complex Sigma's smallest eigenvalue has finite formulas for whole n only
    EXPECT_EQ(solve(smallest, {0.5}).outcome.status, wishart_cdf_status::invalid_argument);
    wishart_cdf_request no_dimension = request;
    no_dimension.m = 0;
    EXPECT_EQ(solve(no_dimension, {0.5}).outcome.status, wishart_cdf_status::invalid_argument);
}

TEST(WishartInv, UnresolvedPointsAreNaN)
{
    // Sigma spread over 5e5: the upper tail's run to a p-value of 1e-300
    // (x near 1400, in steps of some 4 / max(s) = 1.6e-5) is far beyond
    // the work budget. Out of reach, and it must say so.
    wishart_cdf_request request =
        request_for(2, 2.5, wishart_field::real, wishart_extreme::largest, wishart_tail::upper);
    request.sigma = {1, 2e-6};
    const quantiles got = solve(request, {0.05, 1e-300, 0.5});
    EXPECT_EQ(got.outcome.status, wishart_cdf_status::not_converged);
    ASSERT_EQ(got.outcome.unresolved, std::vector<std::size_t>{1});
    EXPECT_TRUE(std::isnan(got.x[1]) && std::isnan(got.err[1]));
    EXPECT_FALSE(got.outcome.message.empty());
    // White Sigma, any n: the finite formulas reach every p-value (m = 1:
    // the chi-square law).
    const quantiles white =
        solve(request_for(1, 2.5, wishart_field::real, wishart_extreme::largest, wishart_tail::upper),
              {0.05, 1e-14, 1e-40, 0.5});
    EXPECT_EQ(white.outcome.status, wishart_cdf_status::ok);
    const double p_values[] = {0.05, 1e-14, 1e-40, 0.5};
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(white.x[i], 2 * boost::math::gamma_q_inv(1.25, p_values[i]), 1e-9 * white.x[i]);
}
