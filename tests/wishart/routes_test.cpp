// The routes of wishart_eig_cdf against each other where they reach: the
// finite formulas (white Sigma, integer n) against the route a Sigma a hair
// away from I takes (its eigenvalues differ from 1 by 1e-13, which moves P
// by less than 1e-12 of itself): the 1F1 series through matrix_pfq for a
// real m > 10, the holonomic route's split of one cluster for a real
// m <= 10, the complex Sigma formulas for the complex field.
#include <boost/math/special_functions/gamma.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "matrixhyper/wishart_cdf.h"

using namespace matrixhyper;

namespace {

struct route_case {
    int m;
    double n;
    wishart_field field;
    std::vector<double> x;
};

std::vector<double> evaluate(const route_case &c, const std::vector<double> &sigma,
                             std::vector<double> &err, std::string &method)
{
    wishart_cdf_request request;
    request.m = c.m;
    request.n = c.n;
    request.field = c.field;
    request.sigma = sigma;
    request.keep_unreached = true;   // compared within err even where it misses tol
    std::vector<double> P(c.x.size());
    err.assign(c.x.size(), 0);
    wishart_cdf_outcome outcome = wishart_eig_cdf(request, c.x.data(), c.x.size(), P.data(), err.data());
    EXPECT_TRUE(outcome.status == wishart_cdf_status::ok || outcome.status == wishart_cdf_status::not_converged)
        << outcome.message;
    method = outcome.method;
    return P;
}

} // namespace

TEST(WishartRoutes, ExactFormulasAgreeWithTheSeries)
{
    const route_case cases[] = {
        {2, 2, wishart_field::real, {0.5, 3, 9}},
        {3, 6, wishart_field::real, {4, 10}},
        {5, 8, wishart_field::real, {6}},
        {6, 6, wishart_field::real, {4}},
        {11, 12, wishart_field::real, {0.3, 0.8}},
        {2, 3, wishart_field::complex, {1, 4, 9}},
        {4, 5, wishart_field::complex, {3}},
    };
    for (const route_case &c : cases) {
        std::vector<double> exact_err, series_err;
        std::string exact_method, series_method;
        std::vector<double> near_white(c.m, 1.0);
        near_white[c.m - 1] = 1 + 1e-13;
        std::vector<double> exact = evaluate(c, {}, exact_err, exact_method);
        std::vector<double> series = evaluate(c, near_white, series_err, series_method);
        ASSERT_EQ(exact_method, "exact");
        // A complex Sigma with an integer n has finite formulas of its own
        // (wishart_complex_sigma.h): there the near-white Sigma checks them
        // against the white ones instead of the series.
        const char *expected = c.field == wishart_field::complex ? "exact" : c.m <= 10 ? "holonomic" : "series";
        ASSERT_EQ(series_method, expected);
        for (size_t i = 0; i < c.x.size(); i++) {
            double allowed = exact_err[i] + series_err[i] + 1e-12 * exact[i];
            EXPECT_LE(std::fabs(exact[i] - series[i]), allowed)
                << "m " << c.m << " n " << c.n << " x " << c.x[i] << ": exact " << exact[i]
                << ", series " << series[i] << " +- " << series_err[i];
            // The split of six equal eigenvalues loses its tol in the deep
            // lower tail (docs/wishart_holonomic.md); its err says so.
            if (series_method != "holonomic" || c.m < 6) {
                EXPECT_LT(series_err[i], 1e-10 * exact[i] + 1e-14);
            }
        }
    }
}

// Points so small that x / 2 is subnormal, m = 1: real, P = P(chi2_n <=
// x / sigma) = gamma_p(n / 2, x / (2 sigma)); complex, P = P(Gamma(n, 1) <=
// x / sigma) = gamma_p(n, x / sigma). Boost.Math in long double, where the
// quotients are exact: the value must keep its digits and stay within err.
TEST(WishartRoutes, RoutesKeepTheirDigitsAtSubnormalPoints)
{
    // Non-integer n (n - m = -0.5: the real field's integrands are singular
    // at 0, where these points lie), and Sigma = 2 I with integer n: the
    // exact formulas at x / 2, which in double would lose the digits of a
    // subnormal x or vanish (real only: complex P is then subnormal too).
    struct subnormal_case { double n, sigma; wishart_field field; const char *method; };
    const subnormal_case cases[] = {{0.5, 1, wishart_field::real, "exact"},
                                    {0.5, 1, wishart_field::complex, "exact"},
                                    {1, 2, wishart_field::real, "exact"}};
    for (const subnormal_case &s : cases) {
        const bool real = s.field == wishart_field::real;
        const route_case c{1, s.n, s.field, {4.94e-324, 3.09893e-319, 1e-310, 1e-300}};
        const std::vector<double> sigma = s.sigma == 1 ? std::vector<double>{} : std::vector<double>{s.sigma};
        std::vector<double> err;
        std::string method;
        std::vector<double> P = evaluate(c, sigma, err, method);
        ASSERT_EQ(method, s.method);
        for (size_t i = 0; i < c.x.size(); i++) {
            // m = 1: W / sigma is chi-square with n degrees of freedom (real) or Gamma(n, 1).
            const long double t = c.x[i] / (long double)s.sigma;
            const double truth = (double)(real ? boost::math::gamma_p(s.n / 2.0L, t / 2)
                                               : boost::math::gamma_p((long double)s.n, t));
            EXPECT_LE(std::fabs(P[i] - truth), err[i] + 4e-16 * truth) << method << " x " << c.x[i];
            EXPECT_LT(err[i], 1e-12 * truth) << method << " x " << c.x[i];
        }
    }
}

// 'log' on the routes: the series' (real m = 11) and the holonomic split's
// (m = 3) log P (lower tail) and log(1 - P) (upper) against the exact
// route's directly computed logs, each within the two error bounds; and a
// series whose tables, or the holonomic route whose system, cannot fit the
// memory limit is out_of_memory, not bad input.
TEST(WishartRoutes, LogResultsAgreeAndMemoryRefusalsSaySo)
{
    const route_case cases[] = {{3, 6, wishart_field::real, {0.5, 4, 12}},
                                {11, 12, wishart_field::real, {0.3, 0.8}}};
    for (const route_case &c : cases)
        for (wishart_tail tail : {wishart_tail::lower, wishart_tail::upper}) {
            wishart_cdf_request request;
            request.m = c.m;
            request.n = c.n;
            request.tail = tail;
            request.log_result = true;
            const std::size_t count = c.x.size();
            std::vector<double> exact(count), exact_err(count), other(count), other_err(count);
            wishart_cdf_outcome outcome =
                wishart_eig_cdf(request, c.x.data(), count, exact.data(), exact_err.data());
            ASSERT_EQ(outcome.method, "exact");
            request.sigma.assign(c.m, 1);
            request.sigma.back() = 1 + 1e-13;
            outcome = wishart_eig_cdf(request, c.x.data(), count, other.data(), other_err.data());
            ASSERT_EQ(outcome.method, c.m <= 10 ? "holonomic" : "series");
            for (size_t i = 0; i < count; i++)
                EXPECT_LE(std::fabs(exact[i] - other[i]), exact_err[i] + other_err[i] + 1e-12)
                    << "m " << c.m << " x " << c.x[i] << (tail == wishart_tail::lower ? " lower" : " upper");
        }
    wishart_cdf_request request;
    request.m = 6;
    request.n = 7.5;
    request.sigma = {1, 2, 3, 4, 5, 6};
    request.memory_limit = 64;
    const double x = 40;
    double P = 0, err = 0;
    EXPECT_EQ(wishart_eig_cdf(request, &x, 1, &P, &err).status, wishart_cdf_status::out_of_memory);
    // The confluent system's build (four spikes at m = 10: 280 MB) counts
    // against it too, before it starts.
    request.m = 10;
    request.n = 12;
    request.sigma = {5, 4, 3, 2, 1, 1, 1, 1, 1, 1};
    request.memory_limit = 100000000;
    const wishart_cdf_outcome spikes = wishart_eig_cdf(request, &x, 1, &P, &err);
    EXPECT_EQ(spikes.status, wishart_cdf_status::out_of_memory);
    EXPECT_NE(spikes.message.find("to build"), std::string::npos) << spikes.message;
}
