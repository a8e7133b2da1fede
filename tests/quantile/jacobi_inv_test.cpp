// jacobi_eig_inv against independent quantiles: at s = min(p, m) = 1 the
// single nonzero eigenvalue is Beta distributed (Boost.Math's ibeta_inv /
// ibetac_inv); round trips through jacobi_eig_cdf at s up to 4; refusals.
#include <boost/math/special_functions/beta.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "matrixhyper/jacobi_inv.h"

using namespace matrixhyper;

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
const std::vector<double> probabilities = {1e-12, 1e-6, 0.05, 0.5, 0.95, 1 - 1e-6, 1 - 1e-12};
const wishart_tail both_tails[] = {wishart_tail::lower, wishart_tail::upper};

jacobi_eig_request request_for(int p, double m, double n, wishart_field field, wishart_extreme which,
                               wishart_tail tail)
{
    jacobi_eig_request request;
    request.p = p;
    request.m = m;
    request.n = n;
    request.field = field;
    request.which = which;
    request.tail = tail;
    return request;
}

struct quantiles {
    std::vector<double> x, err;
    jacobi_inv_outcome outcome;
};

quantiles solve(const jacobi_eig_request &request, const std::vector<double> &P)
{
    quantiles result;
    result.x.assign(P.size(), -1);
    result.err.assign(P.size(), -1);
    result.outcome = jacobi_eig_inv(request, P.data(), P.size(), result.x.data(), result.err.data());
    return result;
}

} // namespace

TEST(JacobiInv, BetaLawAtOneNonzeroEigenvalue)
{
    // s = 1: the joint density of jacobi_eig.h reduces to theta^a (1 - theta)^b,
    // Beta(a + 1, b + 1). p = 1: real a = (m - 2)/2, b = (n - 2)/2, Beta(m/2, n/2);
    // complex a = m - 1, b = n - 1, Beta(m, n). m = 1 < p = 3: real
    // a = (p - 2)/2, b = (n - p - 1)/2, Beta(p/2, (n - p + 1)/2); complex
    // a = p - 1, b = n - p, Beta(p, n - p + 1). Largest and smallest coincide.
    struct law {
        int p;
        double m, n;
        wishart_field field;
        double alpha, beta;
        wishart_extreme which;
    };
    const law laws[] = {{1, 1, 1, wishart_field::real, 0.5, 0.5, wishart_extreme::largest},
                        {1, 3, 10, wishart_field::real, 1.5, 5, wishart_extreme::smallest},
                        {1, 2, 7, wishart_field::complex, 2, 7, wishart_extreme::largest},
                        {3, 1, 8, wishart_field::real, 1.5, 3, wishart_extreme::largest},
                        {3, 1, 5, wishart_field::complex, 3, 3, wishart_extreme::smallest}};
    for (const law &l : laws)
        for (wishart_tail tail : both_tails) {
            const quantiles got = solve(request_for(l.p, l.m, l.n, l.field, l.which, tail), probabilities);
            ASSERT_EQ(got.outcome.status, jacobi_status::ok) << got.outcome.message;
            for (std::size_t i = 0; i < probabilities.size(); i++) {
                const double P = probabilities[i];
                const double expected = tail == wishart_tail::lower ? boost::math::ibeta_inv(l.alpha, l.beta, P)
                                                                    : boost::math::ibetac_inv(l.alpha, l.beta, P);
                const double error = std::fabs(got.x[i] - expected);
                EXPECT_LE(error, 2 * quantile_rel_tol * expected)
                    << "Beta(" << l.alpha << ", " << l.beta << ") at P " << P << ": got " << got.x[i]
                    << ", expected " << expected;
                EXPECT_LE(error, got.err[i] + 1e-14 * expected) << "err " << got.err[i];
            }
        }
}

TEST(JacobiInv, RoundTripThroughTheDistribution)
{
    // The exact quantile lies within a relative quantile_rel_tol of x: the
    // CDF at x (1 -+ tol), with its err, straddles P. Checked on the tail
    // whose probability is small, where P keeps its relative accuracy.
    struct sizes {
        int p;
        double m, n;
    };
    for (const sizes &s : {sizes{2, 3, 10}, sizes{4, 2, 20}, sizes{4, 6, 12}})
        for (wishart_field field : {wishart_field::real, wishart_field::complex})
            for (wishart_extreme which : {wishart_extreme::largest, wishart_extreme::smallest})
                for (wishart_tail tail : both_tails) {
                    jacobi_eig_request request = request_for(s.p, s.m, s.n, field, which, tail);
                    const quantiles got = solve(request, probabilities);
                    ASSERT_EQ(got.outcome.status, jacobi_status::ok) << got.outcome.message;
                    for (std::size_t i = 0; i < probabilities.size(); i++) {
                        const bool flip = probabilities[i] > 0.5;
                        const double q = flip ? 1 - probabilities[i] : probabilities[i];
                        request.tail = (tail == wishart_tail::lower) != flip ? wishart_tail::lower : wishart_tail::upper;
                        const double x[] = {got.x[i] * (1 - quantile_rel_tol), got.x[i] * (1 + quantile_rel_tol)};
                        double P[2], err[2];
                        ASSERT_EQ(jacobi_eig_cdf(request, x, 2, P, err).status, jacobi_status::ok);
                        const bool increasing = request.tail == wishart_tail::lower;
                        const double below = increasing ? P[0] - err[0] : P[1] - err[1];
                        const double above = increasing ? P[1] + err[1] : P[0] + err[0];
                        EXPECT_LE(below, q) << "p " << s.p << " P " << probabilities[i] << " x " << got.x[i];
                        EXPECT_GE(above, q) << "p " << s.p << " P " << probabilities[i] << " x " << got.x[i];
                        EXPECT_LE(got.err[i], quantile_rel_tol * got.x[i]);
                    }
                }
}

TEST(JacobiInv, EndsNaNAndRefusals)
{
    jacobi_eig_request request =
        request_for(3, 4, 9, wishart_field::real, wishart_extreme::largest, wishart_tail::upper);
    request.log_result = true;  // ignored: P is a probability
    const quantiles ends = solve(request, {0, 1, not_a_number, 0.05});
    ASSERT_EQ(ends.outcome.status, jacobi_status::ok);
    EXPECT_EQ(ends.x[0], 1);
    EXPECT_EQ(ends.x[1], 0);
    EXPECT_TRUE(std::isnan(ends.x[2]) && std::isnan(ends.err[2]));
    EXPECT_GT(ends.x[3], 0);
    EXPECT_LT(ends.x[3], 1);

    for (double bad : {-0.1, 1.5, -std::numeric_limits<double>::infinity()}) {
        const quantiles refused = solve(request, {0.5, bad});
        EXPECT_EQ(refused.outcome.status, jacobi_status::invalid_argument) << bad;
        EXPECT_EQ(refused.x[0], -1) << "nothing is written when P is refused";
    }
    jacobi_eig_request small_error = request;
    small_error.n = 2;  // n < p
    EXPECT_EQ(solve(small_error, {0.5}).outcome.status, jacobi_status::invalid_argument);
    jacobi_eig_request fractional = request;
    fractional.m = 2.5;
    const quantiles out_of_reach = solve(fractional, {0.5});
    EXPECT_EQ(out_of_reach.outcome.status, jacobi_status::out_of_reach);
    EXPECT_FALSE(out_of_reach.outcome.message.empty());
}
