// The holonomic route of wishart_eig_cdf (real, largest eigenvalue, general
// Sigma) against independent truths: multiprecision values from the density
// integral (m = 2) and the zonal series (m = 3) of
// tools/wishart_holonomic_reference.py, the gamma law (m = 1), the exact
// white route in the limit of a spread Sigma, and fixed-seed Monte Carlo with
// a full Sigma (m = 4, the reported AR(1) case, and m = 8).
#include "matrixhyper/wishart_cdf.h"
#include "wishart_holonomic.h"
#include "wishart_holonomic_split.h"
#include "wishart_sampling.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace matrixhyper;

namespace {

struct evaluation {
    wishart_cdf_outcome outcome;
    std::vector<double> P, err;
};

using route_function = wishart_cdf_outcome (*)(const wishart_cdf_request &, const double *, std::size_t,
                                                double *, double *);

// Through wishart_eig_cdf, or a route called directly.
evaluation evaluate(int m, double n, std::vector<double> sigma, const std::vector<double> &x,
                    wishart_tail tail = wishart_tail::lower, bool log_result = false, int threads = 0,
                    bool keep_unreached = false, route_function route = wishart_eig_cdf)
{
    wishart_cdf_request q;
    q.m = m;
    q.n = n;
    q.sigma = std::move(sigma);
    q.tail = tail;
    q.log_result = log_result;
    q.threads = threads;
    q.keep_unreached = keep_unreached;
    evaluation e;
    e.P.resize(x.size());
    e.err.resize(x.size());
    e.outcome = route(q, x.data(), x.size(), e.P.data(), e.err.data());
    return e;
}

// A point either meets its target within what err claims (and what the
// reference's own error leaves), or is NaN (upper tail beyond the route's
// reach); never a plausible wrong number.
void expect_honest(double value, double error, double reference, double relative, const char *what,
                   double reference_err = 0)
{
    if (std::isnan(value)) {
        ADD_FAILURE() << what << ": NaN where the reference is " << reference;
        return;
    }
    const double miss = std::fabs(value - reference);
    EXPECT_LE(miss, std::max(2 * error + reference_err, 1e-15 * reference)) << what << ": err understates the error";
    EXPECT_LE(miss, relative * reference) << what;
}

// AR(1) Sigma, 1 + 2 rho cos(k pi / (m + 1)).
std::vector<double> ar1_eigenvalues(int m, double rho)
{
    std::vector<double> sigma;
    for (int k = 1; k <= m; k++) sigma.push_back(1 + 2 * rho * std::cos(k * M_PI / (m + 1)));
    return sigma;
}

} // namespace

// m = 2 by the density integral at 50 digits (tools/wishart_holonomic_reference.py,
// part 1): {n, s1, s2, x, P, 1 - P}, spread to the 1 - 1e-12 quantile and
// beyond.
TEST(WishartHolonomic, DensityIntegralAtMTwo) {
    const double rows[][6] = {
        {3, 1.0, 0.25, 0.05, 3.915398546153296e-5, 0.99996084601453847},
        {3, 1.0, 0.25, 0.5, 0.022980643764621505, 0.9770193562353785},
        {3, 1.0, 0.25, 2.0, 0.34415164320523859, 0.65584835679476141},
        {3, 1.0, 0.25, 6.0, 0.87213248260346205, 0.12786751739653795},
        {3, 1.0, 0.25, 15.0, 0.99791175032169021, 0.0020882496783097929},
        {3, 1.0, 0.25, 40.0, 0.9999999877202244, 1.2279775602117998e-8},
        {3, 1.0, 0.25, 65.0, 0.99999999999994215, 5.784940283238489e-14},
        {3, 1.0, 0.25, 120.0, 1.0, 8.904558374286908194e-26},
        {5.5, 2.0, 0.3, 0.3, 2.008577645020181e-6, 0.99999799142235498},
        {5.5, 2.0, 0.3, 3.0, 0.039503422263405055, 0.96049657773659495},
        {5.5, 2.0, 0.3, 10.0, 0.49622083701171659, 0.50377916298828341},
        {5.5, 2.0, 0.3, 25.0, 0.9585059991201269, 0.041494000879873104},
        {5.5, 2.0, 0.3, 60.0, 0.99997373314853739, 2.6266851462607296e-5},
        // A pair 0.09% apart, read off the confluent system at its centre.
        {3.5, 1.0, 1.0009, 2.0, 0.077164302472169305, 0.92283569752783069},
        {3.5, 1.0, 1.0009, 10.0, 0.90255741414002434, 0.097442585859975657},
        {3.5, 1.0, 1.0009, 30.0, 0.99998247668616829, 1.75233138317136e-5},
        {3.5, 1.0, 1.0009, 70.0, 0.99999999999989489, 1.0510525610656542e-13},
    };
    for (const auto &row : rows) {
        const std::vector<double> x = {row[3]};
        evaluation lower = evaluate(2, row[0], {row[1], row[2]}, x);
        ASSERT_EQ(lower.outcome.method, "holonomic");
        expect_honest(lower.P[0], lower.err[0], row[4], 1e-10, "P");
        EXPECT_LE(lower.err[0], 1e-10 * row[4]);
        evaluation log_lower = evaluate(2, row[0], {row[1], row[2]}, x, wishart_tail::lower, true);
        EXPECT_NEAR(log_lower.P[0], std::log(row[4]), 1e-10);
        // The upper tail to 1e-10 of itself down to 9e-26, where 1 - P
        // holds no digit: the integral of the density.
        evaluation upper = evaluate(2, row[0], {row[1], row[2]}, x, wishart_tail::upper);
        expect_honest(upper.P[0], upper.err[0], row[5], 1e-10, "1 - P");
        evaluation log_upper = evaluate(2, row[0], {row[1], row[2]}, x, wishart_tail::upper, true);
        EXPECT_NEAR(log_upper.P[0], std::log(row[5]), 1e-10);
    }
}

// Rows {n, s1, s2, s3, x, P} at m = 3: P within 1e-10 and within err. A row
// with Sigma = c I (the finite formulas, for any n) is also given as I (no
// sigma) at x / c, the same law, and to the holonomic route as one cluster
// of three, its last eigenvalue a relative 1e-14 off.
template <std::size_t rows_count>
void expect_rows_at_m_three(const double (&rows)[rows_count][6])
{
    for (const auto &row : rows) {
        const bool white = row[1] == row[3];
        evaluation e = evaluate(3, row[0], {row[1], row[2], row[3]}, {row[4]});
        ASSERT_EQ(e.outcome.method, white ? "exact" : "holonomic");
        expect_honest(e.P[0], e.err[0], row[5], 1e-10, "P");
        if (!white) continue;
        evaluation unit = evaluate(3, row[0], {}, {row[4] / row[1]});
        ASSERT_EQ(unit.outcome.method, "exact");
        expect_honest(unit.P[0], unit.err[0], row[5], 1e-10, "P with Sigma = I");
        evaluation cluster = evaluate(3, row[0], {row[1], row[2], row[3] * (1 + 1e-14)}, {row[4]});
        ASSERT_EQ(cluster.outcome.method, "holonomic");
        expect_honest(cluster.P[0], cluster.err[0], row[5], 1e-10, "P with a cluster of three");
    }
}

// m = 3 by the zonal series, Kummer's positive form, exact rationals
// (tools/wishart_holonomic_reference.py, part 2): {n, s1, s2, s3, x, P}.
TEST(WishartHolonomic, ZonalSeriesAtMThree) {
    const double rows[][6] = {
        {3.5, 1.0, 0.5, 0.25, 0.4, 0.00021070095102569277},
        {4, 1.0, 0.5, 0.25, 0.25, 3.5261948065667706e-6},
        {6, 2.0, 1.0, 0.7, 1.0, 1.5857708426874843e-7},
        {2.2, 3.0, 1.5, 1.0, 1.5, 0.011911402400174504},
    };
    expect_rows_at_m_three(rows);
}

// Repeated and nearly repeated eigenvalues, which the route takes through
// the confluent system (nearly repeated ones read at their own values):
// m = 3 by the zonal series, which needs no distinct
// eigenvalues (tools/wishart_holonomic_reference.py, part 3; 30 digits):
// {n, s1, s2, s3, x, P}. A spike over a repeated pair, a pair 1e-9 apart,
// Sigma = c I with a non-integer n (no finite formulas), a repeated top pair,
// a repeated pair with a third eigenvalue 0.3% away (one cluster of three
// with a width of its own).
TEST(WishartHolonomic, RepeatedEigenvaluesAgainstTheZonalSeries) {
    const double rows[][6] = {
        {4, 3, 1, 1, 0.5, 4.5146610532434075e-7},
        {4, 3, 1, 1, 1, 2.1750181625899551e-5},
        {4, 3, 1, 1, 1.7, 0.00035579228119932044},
        {5.5, 2, 1, 1.000000001, 0.6, 6.8407810274107348e-9},
        {5.5, 2, 1, 1.000000001, 1.5, 6.9668866701668388e-6},
        {3.3, 1.2, 1.2, 1.2, 0.4, 7.3848708686010149e-6},
        {3.3, 1.2, 1.2, 1.2, 1.5, 0.0028082015552820793},
        {4, 2, 2, 0.5, 1.3, 0.0001645832117232403},
        {4, 1, 1, 1.003, 1, 0.00016535366514718644},
        // the bulk: degree 60, 40 digits
        {4, 3, 1, 1, 4, 0.018030772728803043},
        {4, 3, 1, 1, 6, 0.078192036354671625},
        {3.3, 1.2, 1.2, 1.2, 5, 0.18645495545009708},
        {4, 1, 1, 1.003, 4, 0.087399175169063625},
    };
    expect_rows_at_m_three(rows);
    // The same cluster at m = 4 under a spike, far into the upper tail,
    // where a cluster that left the third eigenvalue out gave NaN: Q is
    // smooth in that eigenvalue, so halfway to it Q lies within its
    // curvature (from second differences at x = 60: 2e-7 of Q) of the mean
    // of the ends, the exactly repeated pair being one of them.
    const std::vector<double> x = {40, 60, 100};
    evaluation ends[2], half;
    ends[0] = evaluate(4, 6, {3, 1, 1, 1}, x, wishart_tail::upper);
    ends[1] = evaluate(4, 6, {3, 1, 1, 1.003}, x, wishart_tail::upper);
    half = evaluate(4, 6, {3, 1, 1, 1.0015}, x, wishart_tail::upper);
    for (std::size_t i = 0; i < x.size(); i++) {
        const double mean = (ends[0].P[i] + ends[1].P[i]) / 2;
        EXPECT_LE(ends[1].err[i], 1e-10 * ends[1].P[i]) << "x = " << x[i];
        EXPECT_NEAR(half.P[i], mean, 1e-6 * mean) << "x = " << x[i];
    }
}

// c I with its last two eigenvalues c (1 -+ 1e-9): a cluster of all m
// eigenvalues through the split, called directly (the route reads such a
// cluster off the confluent system; the split keeps the structures over
// confluent_most_entries), which spreads it apart (their mean kept, P moves
// at second order, by less than 1e-15 of itself). Against the finite
// formulas for c I, which give P and 1 - P to ~1e-15
// (docs/wishart_extreme_eigenvalues.md), from the deep lower tail to
// 1 - P ~ 1e-9. m = 4 meets 1e-10 everywhere; m = 6, whose narrowest
// spread leaves gaps of 1%, must at least be honest where it keeps values.
TEST(WishartHolonomic, WhiteSigmaAsOneClusterAgainstTheFiniteFormulas) {
    for (int m : {4, 6}) {
        const double n = m + 1, c = 1.5;
        std::vector<double> x;
        for (double v = 0.3 * m; v < 25.0 * m; v *= 1.3) x.push_back(v);
        std::vector<double> near_white(m, c);
        near_white[m - 2] = c * (1 - 1e-9);
        near_white[m - 1] = c * (1 + 1e-9);
        const bool keep = m > 4;
        evaluation lower = evaluate(m, n, near_white, x, wishart_tail::lower, false, 0, keep, holonomic_split_route);
        evaluation upper = evaluate(m, n, near_white, x, wishart_tail::upper, false, 0, keep, holonomic_split_route);
        evaluation white = evaluate(m, n, std::vector<double>(m, c), x);
        evaluation white_upper = evaluate(m, n, std::vector<double>(m, c), x, wishart_tail::upper);
        ASSERT_EQ(lower.outcome.method, "holonomic");
        ASSERT_EQ(white.outcome.method, "exact");
        for (std::size_t i = 0; i < x.size(); i++) {
            const double miss = std::fabs(lower.P[i] - white.P[i]);
            EXPECT_LE(miss, 2 * lower.err[i] + 1e-13 * white.P[i]) << "m = " << m << " x = " << x[i];
            if (m == 4) {
                EXPECT_LE(miss, 1e-10 * white.P[i]) << "x = " << x[i];
            }
            if (std::isnan(upper.P[i])) continue;   // 1 - P below ~1e3 err(P)
            const double upper_miss = std::fabs(upper.P[i] - white_upper.P[i]);
            EXPECT_LE(upper_miss, 2 * upper.err[i] + 1e-13 * white_upper.P[i]) << "m = " << m << " x = " << x[i];
            if (m == 4) {
                EXPECT_LE(upper_miss, 1e-10 * white_upper.P[i]) << "x = " << x[i];
            }
        }
    }
}

// A cluster of seven, near c I at m = 7 as above, through the split: in
// double the narrowest spread's amplified rounding leaves err near 1e-9;
// the points run again in long double and meet 1e-10 against the finite
// formulas.
TEST(WishartHolonomic, ClusterOfSevenInLongDouble) {
    const int m = 7;
    const double n = m + 1, c = 1.5;
    const std::vector<double> x = {2.1, 5.376, 13.763, 35.232};   // P from 7e-22 to 0.6
    std::vector<double> near_white(m, c);
    near_white[m - 2] = c * (1 - 1e-9);
    near_white[m - 1] = c * (1 + 1e-9);
    evaluation lower = evaluate(m, n, near_white, x, wishart_tail::lower, false, 0, false, holonomic_split_route);
    evaluation white = evaluate(m, n, std::vector<double>(m, c), x);
    ASSERT_EQ(lower.outcome.method, "holonomic");
    ASSERT_EQ(white.outcome.method, "exact");
    for (std::size_t i = 0; i < x.size(); i++) expect_honest(lower.P[i], lower.err[i], white.P[i], 1e-10, "P");
}

// Repeated eigenvalues take one integration of the confluent system
// (docs/wishart_holonomic_confluent.md), both tails of the largest:
// - c I at m = 10 (its last eigenvalue a relative 1e-14 off, taken as equal)
//   against the finite formulas for c I, 1e-10 from P = 1e-25 to Q = 1e-75;
// - a spike diag(4, 1, 1, 1, 1, 1) against the same Sigma with its five unit
//   eigenvalues 1e-8 apart about 1, read off the confluent system at their
//   centre: two computations, one P within their errs.
TEST(WishartHolonomic, RepeatedEigenvaluesTakeTheConfluentSystem) {
    const int m = 10;
    const double n = 12, c = 1.7;
    std::vector<double> x;
    for (double v = 8.5; v < 800; v *= 1.5) x.push_back(v);
    std::vector<double> repeated(m, c);
    repeated[m - 1] = c * (1 + 1e-14);
    for (wishart_tail tail : {wishart_tail::lower, wishart_tail::upper}) {
        const evaluation confluent = evaluate(m, n, repeated, x, tail);
        const evaluation white = evaluate(m, n, std::vector<double>(m, c), x, tail);
        ASSERT_EQ(confluent.outcome.method, "holonomic");
        ASSERT_EQ(white.outcome.method, "exact");
        for (std::size_t i = 0; i < x.size(); i++)
            expect_honest(confluent.P[i], confluent.err[i], white.P[i], 1e-10, "c I at m = 10", 1e-13 * white.P[i]);
    }
    const std::vector<double> spike = {4, 1, 1, 1, 1, 1};
    std::vector<double> near_spike = spike;
    for (int k = 1; k < 6; k++) near_spike[k] = 1 + 1e-8 * (k - 3);
    const std::vector<double> y = {2.7, 6.6, 16.3, 40.2, 98.9, 240};
    for (wishart_tail tail : {wishart_tail::lower, wishart_tail::upper}) {
        const evaluation exact = evaluate(6, 7, spike, y, tail);
        const evaluation near = evaluate(6, 7, near_spike, y, tail);
        for (std::size_t i = 0; i < y.size(); i++) {
            const double miss = std::fabs(exact.P[i] - near.P[i]);
            EXPECT_LE(miss, 2 * (exact.err[i] + near.err[i]) + 1e-14 * exact.P[i]) << "spike at x = " << y[i];
            EXPECT_LE(miss, 1e-10 * exact.P[i]) << "spike at x = " << y[i];
        }
    }
}

// m = 1: sigma chi2_n, P = gamma_p(n/2, x / (2 sigma)), for a non-integer n,
// both tails, through the route itself (wishart_eig_cdf takes the finite
// formulas for m = 1).
TEST(WishartHolonomic, GammaLawAtMOne) {
    const double n = 3.7, sigma = 2.5;
    std::vector<double> x;
    for (double v = 0.01; v < 200; v *= 1.7) x.push_back(v);
    evaluation lower = evaluate(1, n, {sigma}, x, wishart_tail::lower, false, 0, false, holonomic_route);
    evaluation upper = evaluate(1, n, {sigma}, x, wishart_tail::upper, false, 0, false, holonomic_route);
    ASSERT_EQ(lower.outcome.method, "holonomic");
    for (std::size_t i = 0; i < x.size(); i++) {
        expect_honest(lower.P[i], lower.err[i], boost::math::gamma_p(n / 2, x[i] / (2 * sigma)), 1e-11, "P");
        // In long double: the double gamma_q is off by 1.4e-15 of itself at
        // x = 82.7 (mpmath), more than the route's err there.
        const double q = (double)boost::math::gamma_q(n / 2.0L, x[i] / (2.0L * sigma));
        expect_honest(upper.P[i], upper.err[i], q, 1e-10, "1 - P");   // down to 1e-16
    }
    // Far below double's range, as its log: {x, log Q} (mpmath's gammainc,
    // tools/wishart_holonomic_reference.py).
    const double deep[][2] = {{1000, -195.43626858711530}, {4000, -794.26109448123824}};
    for (const auto &row : deep) {
        evaluation log_upper = evaluate(1, n, {sigma}, {row[0]}, wishart_tail::upper, true, 0, false, holonomic_route);
        const double miss = std::fabs(log_upper.P[0] - row[1]);
        EXPECT_LE(miss, 1e-10) << "x = " << row[0];             // 1e-10 of Q
        EXPECT_LE(miss, 2 * log_upper.err[0]) << "x = " << row[0];
    }
}

// Sigma = c (1 + d (i - (m-1)/2)) -> c I: P is symmetric in the eigenvalues,
// so its change is even in d, and (64 P(d) - 20 P(2d) + P(4d)) / 45 meets the
// exact white value to O(d^6) (observed: 2e-10 at m = 3, d = 1%; 3e-6 at
// m = 5, d = 2%, in the deep lower tail). The route divides by the gaps:
// this checks the system's coefficients and their rounding at gaps of 1-8%.
TEST(WishartHolonomic, WhiteLimitOfASpreadSigma) {
    for (auto md : {std::pair<int, double>{3, 0.01}, {5, 0.02}}) {
        const int m = md.first;
        const double n = m + 2, c = 1.5, d = md.second, relative = m == 3 ? 1e-9 : 1e-5;
        std::vector<double> x;
        for (double v = 0.5 * m; v < 12.0 * m; v *= 1.4) x.push_back(v);
        auto spread = [&](double step) {
            std::vector<double> sigma;
            for (int i = 0; i < m; i++) sigma.push_back(c * (1 + step * (i - (m - 1) / 2.0)));
            // Values past tol are kept: the extrapolation weighs the
            // coefficients, and gaps of 2% at m = 5 cost the upper half tol.
            return evaluate(m, n, sigma, x, wishart_tail::lower, false, 0, true);
        };
        evaluation once = spread(d), twice = spread(2 * d), four = spread(4 * d);
        evaluation white = evaluate(m, n, std::vector<double>(m, c), x);
        ASSERT_EQ(once.outcome.method, "holonomic");
        ASSERT_EQ(white.outcome.method, "exact");
        for (std::size_t i = 0; i < x.size(); i++) {
            const double extrapolated = (64 * once.P[i] - 20 * twice.P[i] + four.P[i]) / 45;
            EXPECT_NEAR(extrapolated, white.P[i], relative * white.P[i]) << "m = " << m << " x = " << x[i];
        }
    }
}

// Eigenvalues closer than holonomic_min_gap are read off the confluent
// system at their centre (docs/wishart_holonomic_confluent.md, "Close
// eigenvalues"): Sigma = c (1 + d (i - 4.5)) at m = 10, one cluster 0.02% to
// 0.07% wide, where the distinct system was beyond its budget and the split
// NaN. The same extrapolation as above through d, 2d and 4d meets the
// finite formulas for c I, both tails from P = 1e-12 to Q = 1e-13, while
// the readout's change from c I, second order in d, is some 1e-4 of P in
// the far upper tail: the readout's second- and fourth-order terms to
// 1e-6 of themselves.
TEST(WishartHolonomic, CloseEigenvaluesAgainstTheWhiteLimit) {
    const int m = 10;
    const double n = 12, c = 1.5, d = 1e-4;
    const std::vector<double> x = {9, 15, 25, 40, 60, 90, 140, 220};
    for (wishart_tail tail : {wishart_tail::lower, wishart_tail::upper}) {
        auto spread = [&](double step) {
            std::vector<double> sigma;
            for (int i = 0; i < m; i++) sigma.push_back(c * (1 + step * (i - (m - 1) / 2.0)));
            return evaluate(m, n, sigma, x, tail);
        };
        const evaluation once = spread(d), twice = spread(2 * d), four = spread(4 * d);
        const evaluation white = evaluate(m, n, std::vector<double>(m, c), x, tail);
        ASSERT_EQ(once.outcome.method, "holonomic");
        ASSERT_EQ(white.outcome.method, "exact");
        for (std::size_t i = 0; i < x.size(); i++) {
            const double extrapolated = (64 * once.P[i] - 20 * twice.P[i] + four.P[i]) / 45;
            const double extrapolated_err = (64 * once.err[i] + 20 * twice.err[i] + four.err[i]) / 45;
            expect_honest(extrapolated, extrapolated_err, white.P[i], 1e-10, "close eigenvalues",
                          1e-13 * white.P[i]);
        }
    }
}

// A weakly correlated Sigma, AR(1) 0.06 at m = 6 (gaps 3% to 5%, 20% wide),
// read as one cluster at its centre, against the distinct system's runs in
// long double (holonomic_ray_route on Sigma's own eigenvalues, which hold
// here), both extreme eigenvalues and both tails: the readout's truncation
// estimate at a width far beyond holonomic_min_gap.
TEST(WishartHolonomic, WideClusterReadoutAgainstTheDistinctSystem) {
    const int m = 6;
    const std::vector<double> sigma = ar1_eigenvalues(m, 0.06);
    const std::vector<double> largest_x = {4, 7, 12, 20, 34, 58}, smallest_x = {0.05, 0.2, 0.8, 2.4};
    for (wishart_extreme which : {wishart_extreme::largest, wishart_extreme::smallest})
        for (wishart_tail tail : {wishart_tail::lower, wishart_tail::upper}) {
            const std::vector<double> &x = which == wishart_extreme::largest ? largest_x : smallest_x;
            wishart_cdf_request q;
            q.m = m;
            q.n = m + 2;
            q.which = which;
            q.tail = tail;
            q.sigma = sigma;
            std::vector<double> P(x.size()), err(x.size()), D(x.size()), D_err(x.size());
            ASSERT_EQ(wishart_eig_cdf(q, x.data(), x.size(), P.data(), err.data()).status, wishart_cdf_status::ok);
            ASSERT_GT(merge_close(q, cluster_join_gaps[0]).width, 0.15);   // one cluster, read out
            holonomic_ray_route(q, x.data(), x.size(), D.data(), D_err.data(), 1, true);
            for (std::size_t i = 0; i < x.size(); i++)
                expect_honest(P[i], err[i], D[i], 1e-10, "one cluster against the distinct system", D_err[i]);
        }
}

// The far upper tail at m = 10, gaps of 2 to 6% (AR(1) 0.1): the double
// runs carry an error of 3e-11 of Q from their start, which their
// difference takes to err 4e-10, and long double's whole run exceeds the
// budget. The retry's runs hand off from long double to double at the
// first target; checked against the whole long double run given three
// budgets (its err some 1e-12). Past F's reach the lower tail is 1 - Q.
TEST(WishartHolonomic, FarUpperTailAtMTenAgainstTheLongDoubleRun) {
    const std::vector<double> x = {59.72, 103.2, 178.3};   // Q = 2.3e-3, 1.3e-9, 5.9e-22
    const evaluation e = evaluate(10, 12, ar1_eigenvalues(10, 0.1), x, wishart_tail::upper);
    ASSERT_EQ(e.outcome.status, wishart_cdf_status::ok) << e.outcome.message;
    wishart_cdf_request q;
    q.m = 10;
    q.n = 12;
    q.sigma = ar1_eigenvalues(10, 0.1);
    q.tail = wishart_tail::upper;
    std::vector<double> D(x.size()), D_err(x.size());
    holonomic_ray_route(q, x.data(), x.size(), D.data(), D_err.data(), 3, true);
    for (std::size_t i = 0; i < x.size(); i++)
        expect_honest(e.P[i], e.err[i], D[i], 1e-10, "handed-off runs against the long double run", D_err[i]);
    // The lower tail at P = 1 - 2e-35, where F's runs gave err 3.4e-10: 1 - Q.
    const std::vector<double> far = {256.8};
    const evaluation lower = evaluate(10, 12, ar1_eigenvalues(10, 0.1), far, wishart_tail::lower);
    expect_honest(lower.P[0], lower.err[0], 1.0, 1e-15, "lower tail as 1 - Q");
}

// AR(1) 0.03 at m = 8 (gaps of 1 to 2%) in the far upper tail: the
// distinct system's runs miss tol in double (2.6e-7 of Q) and long double
// (1.5e-10), and so does the readout of one cluster 12% wide (its
// truncation), so the points take the wide type's runs (4e-14). Against
// the readout, beyond its reach: its err exceeds tol and covers the
// difference. Taken to deep_readout's degree, the same readout meets tol
// further out and is still honest against the wide runs.
TEST(WishartHolonomic, FarUpperTailInTheWideTypeAgainstTheReadout) {
    const std::vector<double> x = {99.07, 142.7, 246.5};   // Q = 1.5e-11, 1.3e-19, 8.2e-40
    const std::vector<double> sigma = ar1_eigenvalues(8, 0.03);
    const evaluation e = evaluate(8, 10, sigma, x, wishart_tail::upper);
    ASSERT_EQ(e.outcome.status, wishart_cdf_status::ok) << e.outcome.message;
    wishart_cdf_request q;
    q.m = 8;
    q.n = 10;
    q.sigma = sigma;
    q.tail = wishart_tail::upper;
    const merged_sigma cluster = merge_close(q, cluster_join_gaps[0]);
    ASSERT_GT(cluster.width, 0.1);
    std::vector<double> R(x.size()), R_err(x.size());
    holonomic_ray_route(cluster.request, x.data(), x.size(), R.data(), R_err.data(), 1, true, nullptr,
                        &cluster.log_offsets);
    for (std::size_t i = 0; i < x.size(); i++) {
        if (i > 0) {   // at x = 99.07 it misses by 0.06% only
            EXPECT_GT(R_err[i], 1e-10 * e.P[i]);
        }
        expect_honest(R[i], R_err[i], e.P[i], 1, "readout beyond its reach", e.err[i]);
    }
    std::vector<double> deep(x.size()), deep_err(x.size());
    holonomic_ray_route(cluster.request, x.data(), x.size(), deep.data(), deep_err.data(), 1, true, nullptr,
                        &cluster.log_offsets, 0, true);
    EXPECT_LT(deep_err[0], 1e-10 * e.P[0]);
    EXPECT_LT(deep_err[1], 1e-2 * R_err[1]);   // measured: 9.7e-11 of Q against 9.6e-8
    for (std::size_t i = 0; i < x.size(); i++)
        expect_honest(deep[i], deep_err[i], e.P[i], 1, "deeper readout", e.err[i]);
}

// A pair 5e-4 apart among seven distinct eigenvalues at m = 9 (a confluent
// system of 384 entries, beyond its size): the distinct system's runs in
// long double, where the split missed tol from Q = 6e-2 on. P is even in
// the pair's gap g about its centre, so its quadratic in g^2 through
// g = 2e-3, 4e-3 and 8e-3 (the distinct system's double runs) meets P at
// 5e-4 to O(g^6) (measured: within 1.5e-11 of Q, inside the levels' errs).
TEST(WishartHolonomic, ClosePairBeyondTheConfluentSizeInLongDouble) {
    const std::vector<double> x = {125.5, 212.1, 358.4};   // Q = 0.3, 4.4e-3, 6e-7
    const auto pair = [&](double g) {
        return evaluate(9, 11, {1 - g / 2, 1 + g / 2, 1.5, 2, 2.6, 3.3, 4, 5, 6.5}, x, wishart_tail::upper);
    };
    const evaluation close = pair(5e-4), once = pair(2e-3), twice = pair(4e-3), four = pair(8e-3);
    ASSERT_EQ(close.outcome.status, wishart_cdf_status::ok) << close.outcome.message;
    const double u = 5e-4 * 5e-4, u1 = 4e-6, u2 = 16e-6, u3 = 64e-6;   // g^2 at each
    const double w1 = (u - u2) * (u - u3) / ((u1 - u2) * (u1 - u3));
    const double w2 = (u - u1) * (u - u3) / ((u2 - u1) * (u2 - u3));
    const double w3 = (u - u1) * (u - u2) / ((u3 - u1) * (u3 - u2));
    for (std::size_t i = 0; i < x.size(); i++) {
        const double through = w1 * once.P[i] + w2 * twice.P[i] + w3 * four.P[i];
        const double through_err =
            std::fabs(w1) * once.err[i] + std::fabs(w2) * twice.err[i] + std::fabs(w3) * four.err[i];
        expect_honest(close.P[i], close.err[i], through, 1e-10, "close pair against the wider gaps",
                      through_err);
    }
}

// A cluster of three just past holonomic_min_gap, diag(1 - w, 1, 1 + w, 2.5)
// at w = 0.15% to 0.6%: the distinct system's runs amplify the rounding
// by the gaps (in double every lower-tail point missed tol at w = 0.2%),
// so its points run again in long double. P is even in w (w and -w give
// the same Sigma), so (64 P(w) - 20 P(2w) + P(4w)) / 45 meets P at w = 0,
// the confluent system's value, to O(w^6) (measured: within 2e-11 of P,
// inside the three levels' errs).
TEST(WishartHolonomic, CloseClusterAgainstTheRepeatedLimit) {
    const std::vector<double> x = {2, 4, 8, 15, 25, 40, 60};
    const double w = 1.5e-3;
    auto cluster = [&](double width) {
        return evaluate(4, 6, {1 - width, 1, 1 + width, 2.5}, x, wishart_tail::lower);
    };
    const evaluation once = cluster(w), twice = cluster(2 * w), four = cluster(4 * w), limit = cluster(0);
    for (std::size_t i = 0; i < x.size(); i++) {
        const double extrapolated = (64 * once.P[i] - 20 * twice.P[i] + four.P[i]) / 45;
        expect_honest(extrapolated, 2 * (once.err[i] + twice.err[i] + four.err[i]), limit.P[i], 1e-10,
                      "close cluster", limit.err[i]);
    }
}

// A spike over a repeated pair, Sigma = diag(4, 1, 1), in the deep upper
// tail (Q from 1e-5 to 7e-20, where 1 - P holds no digit), against the
// limit of the pair split symmetrically, (4, 1 -+ e), read off the
// confluent system at the pair's centre: Q is symmetric in the
// eigenvalues, so (64 Q(e) - 20 Q(2 e) + Q(4 e)) / 45 meets Q(0) to O(e^6)
// (at e = 0.1%, 0.2% and 0.4%: far below the levels' errs, near 1e-13 of
// Q; the two-level (4 Q(e) - Q(2 e)) / 3 at 0.2% was off by its O(e^4),
// 3.7e-13 of Q at x = 120).
TEST(WishartHolonomic, SpikeUpperTailAgainstTheSymmetricLimit) {
    const std::vector<double> x = {120, 250, 400};
    evaluation spike = evaluate(3, 5, {4, 1, 1}, x, wishart_tail::upper);
    evaluation once = evaluate(3, 5, {4, 0.999, 1.001}, x, wishart_tail::upper);
    evaluation twice = evaluate(3, 5, {4, 0.998, 1.002}, x, wishart_tail::upper);
    evaluation four = evaluate(3, 5, {4, 0.996, 1.004}, x, wishart_tail::upper);
    ASSERT_EQ(spike.outcome.method, "holonomic");
    for (std::size_t i = 0; i < x.size(); i++) {
        const double limit = (64 * once.P[i] - 20 * twice.P[i] + four.P[i]) / 45;
        const double limit_err = (64 * once.err[i] + 20 * twice.err[i] + four.err[i]) / 45;
        expect_honest(spike.P[i], spike.err[i], limit, 5e-11, "Q", limit_err);
    }
}

// A cluster that holds the largest eigenvalue, in the deep upper tail:
// Sigma = I as one cluster (the last eigenvalue a relative 1e-14 off, which
// moves Q by some x 1e-14 of itself, read at its own value) against the
// finite formulas, from Q = 1e-6 to 7e-83.
TEST(WishartHolonomic, TopClusterUpperTailAgainstTheFiniteFormulas) {
    const std::pair<int, std::vector<double>> cases[] = {{2, {40, 100, 200, 400}}, {3, {45, 100, 200}}};
    for (const auto &[m, x] : cases) {
        std::vector<double> near_white(m, 1.0);
        near_white[m - 1] = 1 + 1e-14;
        evaluation cluster = evaluate(m, 5, near_white, x, wishart_tail::upper);
        evaluation white = evaluate(m, 5, std::vector<double>(m, 1.0), x, wishart_tail::upper);
        ASSERT_EQ(cluster.outcome.method, "holonomic");
        ASSERT_EQ(white.outcome.method, "exact");
        for (std::size_t i = 0; i < x.size(); i++)
            expect_honest(cluster.P[i], cluster.err[i], white.P[i], 1e-10, "Q");
    }
}

// The reported case: Sigma_ij = 0.7^|i-j|, m = 4 (n = 4 and 6) and m = 8;
// and the spiked model Sigma = I + 3 u u^T, u = (1, ..., 1) / sqrt(6), whose
// five unit eigenvalues (equal to rounding, from LAPACK) the route reads off
// the confluent system. Simulated with the full Sigma while the route sees its eigenvalues
// only. At the simulated quantiles 0.01 ... 0.99 P lies within 4.5 binomial
// standard errors of the empirical CDF (40000 draws, seed fixed here) and
// claims err <= 1e-10 P (the spike: 1e-9 P, kept where it misses 1e-10;
// docs/wishart_holonomic.md has its measured reach).
TEST(WishartHolonomic, MonteCarloWithACorrelatedSigma) {
    const int samples = 40000;
    const unsigned long long seed = 20131117;
    for (auto mn : {std::pair<int, int>{4, 4}, {4, 6}, {8, 8}, {6, 6}}) {
        const int m = mn.first, n = mn.second;
        const bool spiked = m == 6;
        std::vector<double> Sigma(m * m);
        for (int i = 0; i < m; i++)
            for (int j = 0; j < m; j++)
                Sigma[i * m + j] = spiked ? (i == j) + 3.0 / m : std::pow(0.7, std::abs(i - j));
        std::vector<double> draws =
            wishart_sampling::sample_extremes<double>(Sigma, m, n, samples, seed + m * 100 + n).largest;
        std::vector<double> sorted = draws;
        std::sort(sorted.begin(), sorted.end());
        std::vector<double> x;
        for (double q : {0.01, 0.05, 0.1, 0.25, 0.5, 0.75, 0.9, 0.95, 0.99})
            x.push_back(sorted[(std::size_t)(q * samples)]);
        evaluation e = evaluate(m, n, wishart_sampling::eigenvalues(Sigma, m), x, wishart_tail::lower, false, 0, spiked);
        ASSERT_EQ(e.outcome.method, "holonomic");
        const double claim = spiked ? 1e-9 : 1e-10;
        for (std::size_t i = 0; i < x.size(); i++) {
            const double empirical =
                (double)std::count_if(draws.begin(), draws.end(), [&](double l) { return l <= x[i]; }) / samples;
            const double se = std::sqrt(e.P[i] * (1 - e.P[i]) / samples);
            EXPECT_NEAR(empirical, e.P[i], 4.5 * se) << "m = " << m << " n = " << n << " x = " << x[i];
            EXPECT_LE(e.err[i], claim * e.P[i]) << "m = " << m << " n = " << n << " x = " << x[i];
        }
    }
}

// The route's contract at its edges: points off the integration (0, Inf,
// NaN) and unsorted points, the same bits on one thread or two, eigenvalues
// closer than the route takes left to the series.
TEST(WishartHolonomic, EdgesThreadsAndDispatch) {
    const std::vector<double> sigma = {2.0, 0.9, 0.3};
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> x = {7.0, 0.0, -1.0, inf, std::nan(""), 2.0, 30.0};
    evaluation two = evaluate(3, 4.5, sigma, x, wishart_tail::lower, false, 2);
    evaluation one = evaluate(3, 4.5, sigma, x, wishart_tail::lower, false, 1);
    ASSERT_EQ(two.outcome.method, "holonomic");
    for (std::size_t i = 0; i < x.size(); i++) {
        if (std::isnan(x[i])) {
            EXPECT_TRUE(std::isnan(two.P[i]));
            continue;
        }
        EXPECT_EQ(std::memcmp(&one.P[i], &two.P[i], sizeof(double)), 0) << i;
        EXPECT_EQ(std::memcmp(&one.err[i], &two.err[i], sizeof(double)), 0) << i;
    }
    EXPECT_EQ(two.P[1], 0.0);
    EXPECT_EQ(two.P[2], 0.0);
    EXPECT_EQ(two.P[3], 1.0);
    EXPECT_LT(two.P[5], two.P[0]);
    EXPECT_LT(two.P[0], two.P[6]);
    // Sorted or not, a point's value is the same.
    evaluation alone = evaluate(3, 4.5, sigma, {7.0});
    EXPECT_NEAR(alone.P[0], two.P[0], 1e-13);
    // A close pair is read off the confluent system at its centre, a third
    // eigenvalue 0.02% away joining its cluster, or 0.6% away (where the
    // split, which the pair took before, found no spread clear of it).
    EXPECT_EQ(evaluate(3, 4.5, {1.0, 1.0 + 1e-6, 2.0}, {1.0}).outcome.method, "holonomic");
    EXPECT_EQ(evaluate(3, 4.5, {1.0, 1.0 + 1e-6, 1.0002}, {1.0}).outcome.method, "holonomic");
    EXPECT_EQ(evaluate(3, 4.5, {1.0, 1.0 + 1e-6, 1.006}, {1.0}).outcome.method, "holonomic");
    // Past the work budget the upper tail says so: with Sigma spread over
    // 5e5 the tail run's way beyond x = 100 (35 / min(s) in t, at steps of
    // 4 / max(s)) exceeds it, while 1 - P serves the bulk point.
    evaluation far = evaluate(2, 3, {1.0, 2e-6}, {5.0, 100.0}, wishart_tail::upper);
    EXPECT_EQ(far.outcome.status, wishart_cdf_status::not_converged);
    EXPECT_TRUE(far.P[0] > 0 && far.P[0] < 1 && far.err[0] < 1e-10 * far.P[0]);
    EXPECT_TRUE(std::isnan(far.P[1]) && std::isinf(far.err[1]));
}

// An interrupt asked for during the integration stops the call (m = 8, a
// whole curve: many polls) with the interrupted status.
TEST(WishartHolonomic, InterruptStopsTheIntegration) {
    int polls = 0;
    interrupt_check check;
    check.context = &polls;
    check.poll = [](void *context) { return ++*static_cast<int *>(context) > 5; };
    wishart_cdf_request q;
    q.m = 8;
    q.n = 9;
    for (int i = 0; i < q.m; i++) q.sigma.push_back(1 + 0.3 * i);
    q.interrupt = &check;
    std::vector<double> x, P, err;
    for (int i = 1; i <= 50; i++) x.push_back(2.0 * i);
    P.resize(x.size());
    err.resize(x.size());
    const wishart_cdf_outcome outcome = wishart_eig_cdf(q, x.data(), x.size(), P.data(), err.data());
    EXPECT_EQ(outcome.status, wishart_cdf_status::interrupted) << outcome.message;
    EXPECT_EQ(polls, 6);
    // And while the confluent system's matrices are built (four spikes at
    // m = 10: a second of the builder before the first step).
    polls = 0;
    q.m = 10;
    q.n = 11;
    q.sigma = {5, 4, 3, 2, 1, 1, 1, 1, 1, 1};
    const wishart_cdf_outcome building = wishart_eig_cdf(q, x.data(), x.size(), P.data(), err.data());
    EXPECT_EQ(building.status, wishart_cdf_status::interrupted) << building.message;
    EXPECT_EQ(polls, 6);
}
