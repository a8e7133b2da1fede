// wishart_eig_cdf's promises at the edges of its reach: points the series
// cannot certify to tol come back NaN and are counted; tol is what the
// series is asked for; a whole n < m with white Sigma is the exchanged law.
#include <boost/math/special_functions/gamma.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "matrixhyper/wishart_cdf.h"

using namespace matrixhyper;

namespace {

// A complex Wishart matrix with Sigma's eigenvalues 0.1 and 0.10001 and a
// non-integer n = 3.5, which only the series serves: it meets 1e-10
// relative to P everywhere here, but at x = 2.5 the upper tail is small
// enough that the same absolute error misses 1e-10 relative to it.
wishart_cdf_request spread_sigma()
{
    wishart_cdf_request request;
    request.m = 2;
    request.n = 3.5;
    request.field = wishart_field::complex;
    request.sigma = {0.1, 0.10001};
    return request;
}

} // namespace

TEST(WishartReach, PointsThatMissTolAreNaNAndCounted)
{
    wishart_cdf_request request = spread_sigma();
    double probe = 1, probe_p = 0;
    ASSERT_EQ(wishart_eig_cdf(request, &probe, 1, &probe_p, nullptr).method, "series");
    const std::vector<double> x = {0.1, 2.5};
    std::vector<double> lower(2), lower_err(2), upper(2), upper_err(2);
    ASSERT_EQ(wishart_eig_cdf(request, x.data(), 2, lower.data(), lower_err.data()).status,
              wishart_cdf_status::ok);
    request.tail = wishart_tail::upper;
    wishart_cdf_outcome outcome = wishart_eig_cdf(request, x.data(), 2, upper.data(), upper_err.data());
    EXPECT_EQ(outcome.status, wishart_cdf_status::not_converged);
    EXPECT_NE(outcome.message.find("1 of 2 points are out of reach and NaN (x(2))"), std::string::npos)
        << outcome.message;
    EXPECT_LE(upper_err[0], request.tol * upper[0]);
    EXPECT_TRUE(std::isnan(upper[1]));
    EXPECT_GT(upper_err[1], request.tol * (1 - lower[1]));  // err says how far it got
    EXPECT_TRUE(std::isfinite(upper_err[1]));

    // One output: the same point is NaN, not a plausible number.
    std::vector<double> only(2);
    EXPECT_EQ(wishart_eig_cdf(request, x.data(), 2, only.data(), nullptr).status,
              wishart_cdf_status::not_converged);
    EXPECT_EQ(only[0], upper[0]);
    EXPECT_TRUE(std::isnan(only[1]));

    // A solver that weighs err itself keeps the value, still flagged.
    request.keep_unreached = true;
    outcome = wishart_eig_cdf(request, x.data(), 2, only.data(), nullptr);
    EXPECT_EQ(outcome.status, wishart_cdf_status::not_converged);
    EXPECT_EQ(only[1], 1 - lower[1]);
}

// A loose tol stops the series early (err well above the tight one's) yet
// within tol, and the tight value lies within the loose err. A real m = 11
// (beyond the holonomic route) with Sigma's eigenvalues 1 and 1 + 1e-13 (not
// white) takes the series, truncated by tol.
TEST(WishartReach, TolIsWhatTheSeriesIsAskedFor)
{
    wishart_cdf_request request;
    request.m = 11;
    request.n = 12;
    request.sigma.assign(11, 1);
    request.sigma.back() = 1 + 1e-13;
    const double x = 0.8;
    double tight, tight_err, loose, loose_err;
    request.tol = 1e-12;
    ASSERT_EQ(wishart_eig_cdf(request, &x, 1, &tight, &tight_err).status, wishart_cdf_status::ok);
    request.tol = 1e-3;
    ASSERT_EQ(wishart_eig_cdf(request, &x, 1, &loose, &loose_err).status, wishart_cdf_status::ok);
    EXPECT_LE(tight_err, 1e-12 * tight);
    EXPECT_LE(loose_err, 1e-3 * loose);
    EXPECT_GT(loose_err, 1e-8 * loose);
    EXPECT_LE(std::fabs(loose - tight), loose_err + tight_err);
    for (double bad : {0.0, 1.0, -1e-3, std::nan("")}) {
        request.tol = bad;
        EXPECT_EQ(wishart_eig_cdf(request, &x, 1, &loose, nullptr).status,
                  wishart_cdf_status::invalid_argument) << bad;
    }
}

// n < m, white Sigma: the nonzero eigenvalues of Z^T Z are those of Z Z^T,
// so (m, n) = (4, 2) is the (2, 4) law, largest and smallest nonzero alike.
TEST(WishartReach, FewerSamplesThanDimensionsIsTheExchangedLaw)
{
    const std::vector<double> x = {0.3, 2, 7, 15};
    for (wishart_field field : {wishart_field::real, wishart_field::complex})
        for (wishart_extreme which : {wishart_extreme::largest, wishart_extreme::smallest}) {
            wishart_cdf_request wide, tall;
            wide.m = 4, wide.n = 2, tall.m = 2, tall.n = 4;
            wide.field = tall.field = field;
            wide.which = tall.which = which;
            std::vector<double> P(4), expected(4);
            ASSERT_EQ(wishart_eig_cdf(wide, x.data(), 4, P.data(), nullptr).status, wishart_cdf_status::ok);
            ASSERT_EQ(wishart_eig_cdf(tall, x.data(), 4, expected.data(), nullptr).status,
                      wishart_cdf_status::ok);
            for (size_t i = 0; i < x.size(); i++) EXPECT_EQ(P[i], expected[i]) << "x " << x[i];
        }
}

// n = 1: W = z z^T has the single nonzero eigenvalue ||z||^2, chi^2_m
// (real; times c for Sigma = c I) or Gamma(m, 1) (complex, E|z_i|^2 = 1):
// Boost.Math gamma_p in long double.
TEST(WishartReach, OneSampleIsTheGammaLaw)
{
    const int m = 3;
    const double c = 2;
    const std::vector<double> x = {0.2, 1.5, 4, 11};
    wishart_cdf_request request;
    request.m = m;
    request.n = 1;
    request.sigma.assign(m, c);
    std::vector<double> P(4), err(4);
    ASSERT_EQ(wishart_eig_cdf(request, x.data(), 4, P.data(), err.data()).status, wishart_cdf_status::ok);
    for (size_t i = 0; i < x.size(); i++) {
        double truth = (double)boost::math::gamma_p(m / 2.0L, (long double)x[i] / (2 * c));
        EXPECT_NEAR(P[i], truth, 1e-13 * truth) << "real x " << x[i];
    }
    request.sigma.clear();
    request.field = wishart_field::complex;
    request.which = wishart_extreme::smallest;   // the only nonzero one
    ASSERT_EQ(wishart_eig_cdf(request, x.data(), 4, P.data(), err.data()).status, wishart_cdf_status::ok);
    for (size_t i = 0; i < x.size(); i++) {
        double truth = (double)boost::math::gamma_p((long double)m, (long double)x[i]);
        EXPECT_NEAR(P[i], truth, 1e-13 * truth) << "complex x " << x[i];
    }
}

// Below m - 1 only a whole n with white Sigma has a route; the refusals say why.
TEST(WishartReach, FewerSamplesRefusalsSayWhy)
{
    const double x = 1;
    double P;
    wishart_cdf_request request;
    request.m = 4;
    request.n = 1.5;
    wishart_cdf_outcome outcome = wishart_eig_cdf(request, &x, 1, &P, nullptr);
    EXPECT_EQ(outcome.status, wishart_cdf_status::invalid_argument);
    EXPECT_NE(outcome.message.find("non-integer n must exceed m - 1"), std::string::npos) << outcome.message;
    request.n = 2;
    request.sigma = {1, 2, 3, 4};
    outcome = wishart_eig_cdf(request, &x, 1, &P, nullptr);
    EXPECT_EQ(outcome.status, wishart_cdf_status::invalid_argument);
    EXPECT_NE(outcome.message.find("multiple of I"), std::string::npos) << outcome.message;
}
