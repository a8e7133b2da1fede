// Tests of matrixhyper::wishart_eig_cdf_exact: against mpmath reference
// values (both tails, relative 1e-10, and the honesty of err), against the
// chi-square / gamma laws at m = 1, basic properties, a fixed-seed Monte
// Carlo, and the argument / interrupt handling.
#include "matrixhyper/wishart_eig.h"
#include "wishart_sampling.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

using namespace matrixhyper;

namespace {

struct ref_row {
    int real, largest, m;
    double n, x, lower, upper;
};

const ref_row reference[] = {
#include "reference_values.inc"
// Non-integer n, n in (m - 1, m) among them (tools/wishart_reference.py OUT
// real|complex largest,smallest m:n,...).
#include "reference_fractional_n.inc"
};

// m = 100, the largest dimension the exact route accepts (tools/wishart_reference.py OUT large).
const ref_row reference_large_m[] = {
#include "reference_large_m.inc"
};

wishart_eig_request make(int m, double n, bool real, bool largest, bool lower) {
    wishart_eig_request q;
    q.m = m;
    q.n = n;
    q.field = real ? wishart_field::real : wishart_field::complex;
    q.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
    q.tail = lower ? wishart_tail::lower : wishart_tail::upper;
    return q;
}

std::vector<double> eval(const wishart_eig_request &q, const std::vector<double> &x, std::vector<double> *err = nullptr) {
    std::vector<double> P(x.size()), E(x.size());
    wishart_eig_outcome o = wishart_eig_cdf_exact(q, x.data(), x.size(), P.data(), E.data());
    EXPECT_EQ(o.status, wishart_status::ok) << o.message;
    if (err) *err = E;
    return P;
}

const double eps = std::numeric_limits<double>::epsilon();

} // namespace

// (a) + (d'): every reference point, both tails; err covers the true error
// (up to a few rounding units) and is not absurdly large.
TEST(WishartEig, MatchesReferenceBothTailsWithHonestErr) {
    double worst = 0, worst_ratio = 0;
    int compared = 0;
    for (const ref_row &r : reference) {
        for (int lower = 0; lower < 2; ++lower) {
            double ref = lower ? r.lower : r.upper;
            if (ref == 0) continue;  // beyond the range of double
            std::vector<double> E;
            double P = eval(make(r.m, r.n, r.real, r.largest, lower), {r.x}, &E)[0];
            double rel = std::fabs(P - ref) / ref;
            worst = std::max(worst, rel);
            ++compared;
            EXPECT_LE(rel, 1e-10) << (r.real ? "real" : "complex") << (r.largest ? " largest" : " smallest")
                                  << " m=" << r.m << " n=" << r.n << " x=" << r.x << (lower ? " lower" : " upper")
                                  << " P=" << P << " ref=" << ref;
            double trueerr = std::fabs(P - ref);
            EXPECT_LE(trueerr, E[0] + 4 * eps * ref) << "err below the true error at m=" << r.m << " n=" << r.n
                                                     << " x=" << r.x;
            EXPECT_LE(E[0], 1e-11 * ref) << "err absurdly large at m=" << r.m << " x=" << r.x;
            if (trueerr > 8 * eps * ref) worst_ratio = std::max(worst_ratio, E[0] / trueerr);
        }
    }
    EXPECT_GT(compared, 500);
    EXPECT_LE(worst_ratio, 300.0) << "err overestimates the true error";
    std::printf("reference: %d values, worst relative error %.3g, worst err/true %.3g\n", compared, worst,
                worst_ratio);
}

// The exact route at its largest dimension, m = 100: both tails against the
// multiprecision values, and err not below the true error.
TEST(WishartEig, MatchesReferenceAtLargestDimension) {
    int compared = 0;
    for (const ref_row &r : reference_large_m)
        for (int lower = 0; lower < 2; ++lower) {
            double ref = lower ? r.lower : r.upper;
            if (ref == 0) continue;
            std::vector<double> E;
            double P = eval(make(r.m, r.n, r.real, r.largest, lower), {r.x}, &E)[0];
            EXPECT_LE(std::fabs(P - ref), 1e-12 * ref) << "m=" << r.m << " n=" << r.n << " x=" << r.x
                                                       << (lower ? " lower" : " upper") << " P=" << P;
            EXPECT_LE(std::fabs(P - ref), E[0] + 4 * eps * ref) << "err below the true error at x=" << r.x;
            ++compared;
        }
    EXPECT_GE(compared, 2);
}

// (b) m = 1: lambda ~ chi2_n (real) or Gamma(n, 1) (complex), both extremes;
// n = 0.5 puts a singularity u^-0.5 (real) at the end of the integration.
TEST(WishartEig, OneByOneIsChiSquareOrGamma) {
    for (int real = 0; real < 2; ++real)
        for (double n : {0.5, 1.0, 2.0, 3.7, 7.0, 60.0, 500.0}) {
            double shape = real ? n / 2.0 : n, scale = real ? 2.0 : 1.0;
            std::vector<double> x;
            for (double q : {1e-8, 1e-3, 0.1, 0.5, 1.0, 2.0, 4.0, 8.0})
                x.push_back(q * shape * scale);
            x.push_back(real ? 1200.0 + 2 * n : 600.0 + n);  // upper tail ~1e-250 or less
            for (int largest = 0; largest < 2; ++largest) {
                std::vector<double> lo = eval(make(1, n, real, largest, true), x);
                std::vector<double> up = eval(make(1, n, real, largest, false), x);
                for (size_t i = 0; i < x.size(); ++i) {
                    double p = boost::math::gamma_p(shape, x[i] / scale);
                    double q = boost::math::gamma_q(shape, x[i] / scale);
                    if (p > 1e-300) {
                        EXPECT_NEAR(lo[i] / p, 1.0, 1e-12) << "n=" << n << " x=" << x[i];
                    }
                    if (q > 1e-300) {
                        EXPECT_NEAR(up[i] / q, 1.0, 1e-12) << "n=" << n << " x=" << x[i];
                    }
                }
            }
        }
}

// (c) monotone, within [0, 1], lower + upper = 1; special x.
TEST(WishartEig, MonotoneProbabilitiesThatAddUp) {
    for (int real = 0; real < 2; ++real)
        for (int largest = 0; largest < 2; ++largest)
            for (auto mn : {std::pair<int, int>{3, 3}, {4, 11}, {8, 20}}) {
                int m = mn.first, n = mn.second;
                std::vector<double> x;
                for (int i = 0; i <= 60; ++i) x.push_back(std::exp(-6.0 + 12.0 * i / 60) * (real ? 2 : 1) * n);
                std::vector<double> lo = eval(make(m, n, real, largest, true), x);
                std::vector<double> up = eval(make(m, n, real, largest, false), x);
                for (size_t i = 0; i < x.size(); ++i) {
                    EXPECT_GE(lo[i], 0.0);
                    EXPECT_LE(lo[i], 1.0);
                    EXPECT_NEAR(lo[i] + up[i], 1.0, 4 * eps);
                    if (i > 0) {
                        EXPECT_GE(lo[i], lo[i - 1] * (1 - 1e-13));
                        EXPECT_LE(up[i], up[i - 1] * (1 + 1e-13));
                    }
                }
            }
    double x[5] = {-1.0, 0.0, std::numeric_limits<double>::infinity(), std::nan(""), 1.0};
    double P[5], E[5];
    wishart_eig_request q = make(3, 5, true, true, true);
    ASSERT_EQ(wishart_eig_cdf_exact(q, x, 5, P, E).status, wishart_status::ok);
    EXPECT_EQ(P[0], 0.0);
    EXPECT_EQ(P[1], 0.0);
    EXPECT_EQ(P[2], 1.0);
    EXPECT_TRUE(std::isnan(P[3]) && std::isnan(E[3]));
    EXPECT_EQ(E[0] + E[1] + E[2], 0.0);
    q.tail = wishart_tail::upper;
    ASSERT_EQ(wishart_eig_cdf_exact(q, x, 5, P, nullptr).status, wishart_status::ok);
    EXPECT_EQ(P[0], 1.0);
    EXPECT_EQ(P[1], 1.0);
    EXPECT_EQ(P[2], 0.0);
}

// (d) fixed-seed Monte Carlo, 20000 samples, 4.5-sigma binomial bands.
TEST(WishartEig, MonteCarloAgrees) {
    const int samples = 20000;
    for (int real = 0; real < 2; ++real)
        for (auto mn : {std::pair<int, int>{5, 9}, {20, 30}}) {
            int m = mn.first, n = mn.second;
            std::vector<double> identity((size_t)m * m, 0.0);
            for (int i = 0; i < m; ++i) identity[(size_t)i * m + i] = 1;
            const unsigned long long seed = 12345 + 7 * m + real;
            wishart_sampling::extremes draws =
                real ? wishart_sampling::sample_extremes<double>(identity, m, n, samples, seed)
                     : wishart_sampling::sample_extremes<std::complex<double>>(identity, m, n, samples, seed);
            std::vector<double> &lmax = draws.largest, &lmin = draws.smallest;
            for (int largest = 0; largest < 2; ++largest) {
                std::vector<double> &v = largest ? lmax : lmin;
                std::vector<double> sorted = v;
                std::sort(sorted.begin(), sorted.end());
                std::vector<double> x;
                for (double q : {0.02, 0.2, 0.5, 0.8, 0.98}) x.push_back(sorted[(size_t)(q * samples)]);
                std::vector<double> F = eval(make(m, n, real, largest, true), x);
                for (size_t i = 0; i < x.size(); ++i) {
                    double emp = (double)std::count_if(v.begin(), v.end(), [&](double l) { return l <= x[i]; }) / samples;
                    double se = std::sqrt(F[i] * (1 - F[i]) / samples);
                    EXPECT_NEAR(emp, F[i], 4.5 * se) << (real ? "real" : "complex") << (largest ? " largest" : " smallest")
                                                     << " m=" << m << " n=" << n << " x=" << x[i];
                }
            }
        }
}

TEST(WishartEig, RejectsInvalidArguments) {
    double x = 1, P = 0, E = 0;
    for (auto mn : {std::pair<int, double>{0, 3}, {-2, 3}, {4, 3}, {4, 2.5}, {4, 3.05}, {1001, 2000}}) {
        wishart_eig_request q = make(mn.first, mn.second, true, true, true);
        wishart_eig_outcome o = wishart_eig_cdf_exact(q, &x, 1, &P, &E);
        EXPECT_EQ(o.status, wishart_status::invalid_argument);
        EXPECT_NE(o.message.find(mn.first < 1 || mn.first > 1000 ? "m (dimension)" : "n (degrees of freedom)"),
                  std::string::npos)
            << o.message;
    }
    wishart_eig_request q = make(2, 3, true, true, true);
    EXPECT_EQ(wishart_eig_cdf_exact(q, nullptr, 1, &P, &E).status, wishart_status::invalid_argument);
    EXPECT_EQ(wishart_eig_cdf_exact(q, nullptr, 0, nullptr, nullptr).status, wishart_status::ok);
}

TEST(WishartEig, StopsWhenInterrupted) {
    struct counter {
        int calls = 0;
    } c;
    interrupt_check ic;
    ic.context = &c;
    ic.poll = [](void *ctx) { return ++static_cast<counter *>(ctx)->calls > 3; };
    wishart_eig_request q = make(20, 40, true, true, true);
    q.interrupt = &ic;
    std::vector<double> x(50, 60.0), P(50), E(50);
    wishart_eig_outcome o = wishart_eig_cdf_exact(q, x.data(), x.size(), P.data(), E.data());
    EXPECT_EQ(o.status, wishart_status::interrupted);
    EXPECT_TRUE(std::isnan(P.back()));
}
