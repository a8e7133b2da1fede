// Tests of matrixhyper::jacobi_eig_cdf (the extreme eigenvalues of the matrix
// Beta ensemble): the multiprecision reference table (both tails, the log
// route, the honesty of err), the beta law at s = 1, the 2F1 series of matrix
// argument, the white Wishart limit, tail properties, a fixed-seed Monte
// Carlo, and the statuses.
#include "matrixhyper/jacobi_eig.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/beta.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "matrixhyper/matrix_pfq.h"

using namespace matrixhyper;

namespace {

struct reference_row {
    int real, largest, p, m, n;
    double x, lower, upper;
};

// tools/jacobi_reference.py: mpmath, monomial formulas, two precisions.
const reference_row reference[] = {
#include "reference_values.inc"
};

jacobi_eig_request make(int p, double m, double n, bool real, bool largest, bool lower)
{
    jacobi_eig_request request;
    request.p = p;
    request.m = m;
    request.n = n;
    request.field = real ? wishart_field::real : wishart_field::complex;
    request.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
    request.tail = lower ? wishart_tail::lower : wishart_tail::upper;
    return request;
}

std::vector<double> evaluate(const jacobi_eig_request &request, const std::vector<double> &x,
                             std::vector<double> *err = nullptr)
{
    std::vector<double> P(x.size()), E(x.size());
    jacobi_eig_outcome outcome = jacobi_eig_cdf(request, x.data(), x.size(), P.data(), err ? E.data() : nullptr);
    EXPECT_EQ(outcome.status, jacobi_status::ok) << outcome.message;
    if (err) *err = E;
    return P;
}

const double eps = std::numeric_limits<double>::epsilon();

} // namespace

// Every reference value, both tails, linear and log: relative error within
// 1e-12 and err at least the true error.
TEST(JacobiEig, MatchesMultiprecisionReferenceWithHonestErr)
{
    double worst = 0, worst_log = 0;
    int compared = 0;
    for (const reference_row &row : reference)
        for (int lower = 0; lower < 2; lower++) {
            const double ref = lower ? row.lower : row.upper;
            if (ref == 0) continue;   // below the double range
            jacobi_eig_request request = make(row.p, row.m, row.n, row.real, row.largest, lower);
            std::vector<double> E;
            const double P = evaluate(request, {row.x}, &E)[0];
            const double relative = std::fabs(P - ref) / ref;
            worst = std::max(worst, relative);
            compared++;
            EXPECT_LE(relative, 1e-12) << (row.real ? "real" : "complex") << (row.largest ? " largest" : " smallest")
                                       << " p=" << row.p << " m=" << row.m << " n=" << row.n << " x=" << row.x
                                       << (lower ? " lower" : " upper") << " P=" << P << " ref=" << ref;
            EXPECT_GE(E[0] + 2 * eps * ref, std::fabs(P - ref)) << "err below the true error at x=" << row.x;
            request.log_result = true;
            const double log_P = evaluate(request, {row.x}, &E)[0];
            const double log_error = std::fabs(log_P - std::log(ref));
            worst_log = std::max(worst_log, log_error);
            EXPECT_LE(log_error, 1e-12) << "log route at x=" << row.x;
            EXPECT_GE(E[0] + 2 * eps * std::fabs(log_P), log_error) << "log err below the true error";
        }
    EXPECT_GT(compared, 300);
    std::printf("reference: %d values, worst relative error %.3g, worst log error %.3g\n", compared, worst,
                worst_log);
}

// s = 1: theta ~ Beta. p = 1: Beta(m/2, n/2) real, Beta(m, n) complex;
// m = 1 < p: Beta(p/2, (n - p + 1)/2) real, Beta(p, n - p + 1) complex.
// Against Boost.Math ibeta/ibetac, and in the far tail against the leading
// term x^A / (A B(A, B)) (relative correction O(x), nil at x = 1e-200).
TEST(JacobiEig, OneNonzeroRootIsBeta)
{
    struct beta_case {
        int p, m, n;
    };
    for (int real = 0; real < 2; real++)
        for (beta_case c : {beta_case{1, 1, 1}, {1, 7, 3}, {1, 40, 900}, {4, 1, 9}, {30, 1, 31}}) {
            const double half = real ? 0.5 : 1.0;
            const double A = c.p == 1 ? c.m * half : c.p * half;
            const double B = c.p == 1 ? c.n * half : (c.n - c.p + 1) * half;
            const std::vector<double> x = {1e-9, 1e-3, 0.05, 0.3, 0.5, 0.7, 0.95, 0.999, 1 - 1e-12};
            for (int largest = 0; largest < 2; largest++) {
                const std::vector<double> lo = evaluate(make(c.p, c.m, c.n, real, largest, true), x);
                const std::vector<double> up = evaluate(make(c.p, c.m, c.n, real, largest, false), x);
                for (std::size_t i = 0; i < x.size(); i++) {
                    const double P = boost::math::ibeta(A, B, x[i]), Q = boost::math::ibetac(A, B, x[i]);
                    if (P > 1e-300) {
                        EXPECT_NEAR(lo[i] / P, 1.0, 1e-12) << "p=" << c.p << " m=" << c.m << " x=" << x[i];
                    }
                    if (Q > 1e-300) {
                        EXPECT_NEAR(up[i] / Q, 1.0, 1e-12) << "p=" << c.p << " m=" << c.m << " x=" << x[i];
                    }
                }
            }
            jacobi_eig_request request = make(c.p, c.m, c.n, real, true, true);
            request.log_result = true;
            const double log_P = evaluate(request, {1e-200})[0];
            const double leading = A * std::log(1e-200) - std::log(A) - std::log(boost::math::beta(A, B));
            EXPECT_NEAR(log_P, leading, 1e-12 * std::fabs(leading)) << "p=" << c.p << " m=" << c.m;
            // The upper tail beyond the double range, y = 1 - x = 0.1:
            // Q = y^B (1-y)^A / (B Beta(A, B)) 2F1(A+B, 1; B+1; y), the
            // scalar series summed here (ratio below (A+B)/(B+1) y < 1).
            request.tail = wishart_tail::upper;
            const double y = 0.1;
            double series = 0, term = 1;
            for (int k = 0; k < 2000 && term > 1e-18 * series; k++) {
                series += term;
                term *= (A + B + k) / (B + 1 + k) * y;
            }
            const double log_Q = B * std::log(y) + A * std::log1p(-y) - std::log(B) -
                                 std::log(boost::math::beta(A, B)) + std::log(series);
            std::vector<double> E;
            const double computed = evaluate(request, {1 - y}, &E)[0];
            EXPECT_NEAR(computed, log_Q, 1e-12 * std::fabs(log_Q)) << "upper log, p=" << c.p << " m=" << c.m;
            EXPECT_GE(E[0] + 4 * eps * std::fabs(log_Q), std::fabs(computed - log_Q));
        }
}

// P(theta_max <= x) = Gamma_s((m'+n')/2) Gamma_s((s+1)/2) / (Gamma_s((m'+s+1)/2)
// Gamma_s(n'/2)) x^(s m'/2) 2F1(m'/2, (s+1-n')/2; (m'+s+1)/2; x I_s), alpha = 2
// (Constantine 1963; Muirhead 1982, Sect. 8.2), and its complex analogue with
// alpha = 1: G_s(m'+n') G_s(s) / (G_s(m'+s) G_s(n')) x^(s m') 2F1(m', s-n'; m'+s; x I_s).
// With k = 1/alpha both read: a = m'k, b = (s-1)k + 1 - n'k, c = (m'+s-1)k + 1.
// For m < p the nonzero roots follow the law of (p, m, n) -> (m, p, n + m - p);
// so s = min(p, m), m' = max(p, m), n' = n - p + s. The series is summed by
// matrix_pfq (Jack polynomials), an independent route.
TEST(JacobiEig, LargestRootAgreesWithTheHypergeometricSeries)
{
    struct series_case {
        int p, m, n;
        bool real;
        double x;
    };
    for (series_case c : {series_case{2, 3, 5, true, 0.4}, {2, 4, 6, true, 0.8}, {3, 5, 8, true, 0.6},
                          {3, 3, 4, false, 0.5}, {2, 6, 5, false, 0.85}, {4, 2, 9, true, 0.5}}) {
        const int s = std::min(c.p, c.m);
        const double m_eff = std::max(c.p, c.m), n_eff = c.n - c.p + s;
        const double alpha = c.real ? 2 : 1, k = c.real ? 0.5 : 1;   // k = 1/alpha
        // log Gamma_s(a) without the pi power (it cancels): sum_i lgamma(a - i k).
        auto log_gamma_s = [&](double a) {
            double sum = 0;
            for (int i = 0; i < s; i++) sum += std::lgamma(a - i * k);
            return sum;
        };
        const double A = m_eff * k, B = (s - 1) * k + 1 - n_eff * k, C = (m_eff + s - 1) * k + 1;
        const double log_constant = log_gamma_s((m_eff + n_eff) * k) + log_gamma_s((s - 1) * k + 1) -
                                    log_gamma_s(C) - log_gamma_s(n_eff * k);
        pfq_problem problem;
        problem.a = {A, B};
        problem.b = {C};
        problem.x.assign(s, c.x);
        pfq_options options;
        options.alpha = alpha;
        options.tol = 1e-14;
        const pfq_result series = matrix_pfq(problem, options);
        ASSERT_EQ(series.status, pfq_status::converged) << series.message;
        const double expected = std::exp(log_constant + s * A * std::log(c.x)) * series.value;
        const double P = evaluate(make(c.p, c.m, c.n, c.real, true, true), {c.x})[0];
        EXPECT_NEAR(P / expected, 1.0, 1e-12) << "p=" << c.p << " m=" << c.m << " n=" << c.n;
    }
}

// n theta / (1 - theta) -> lambda of W_p(m) as n -> infinity (B / n -> I):
// at n = 1000 with x = y / (n - p - 1 + y) the CDFs differ by O(p m / n)
// (0.02 allowed), and halving n roughly doubles the gap (first order).
TEST(JacobiEig, ApproachesWhiteWishartForLargeErrorDegrees)
{
    for (int real = 0; real < 2; real++)
        for (int largest = 0; largest < 2; largest++) {
            const int p = 3, m = 6;
            wishart_eig_request wishart;
            wishart.m = p;
            wishart.n = m;
            wishart.field = real ? wishart_field::real : wishart_field::complex;
            wishart.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
            const std::vector<double> y = largest ? std::vector<double>{4, 8, 14, 22} : std::vector<double>{0.2, 0.8, 2, 4};
            std::vector<double> limit(y.size());
            ASSERT_EQ(wishart_eig_cdf_exact(wishart, y.data(), y.size(), limit.data(), nullptr).status,
                      wishart_status::ok);
            double gaps[2] = {0, 0};
            for (int which_n = 0; which_n < 2; which_n++) {
                const int n = which_n == 0 ? 500 : 1000;
                std::vector<double> x;
                for (double v : y) x.push_back(v / (n - p - 1 + v));
                const std::vector<double> P = evaluate(make(p, m, n, real, largest, true), x);
                for (std::size_t i = 0; i < y.size(); i++) gaps[which_n] = std::max(gaps[which_n], std::fabs(P[i] - limit[i]));
            }
            EXPECT_LT(gaps[1], 0.02);
            EXPECT_LT(gaps[1], 0.75 * gaps[0]) << "the gap does not shrink with n";
        }
}

// Both tails add up to 1, lie in [0, 1] and are monotone; the trivial points.
TEST(JacobiEig, MonotoneTailsThatAddUp)
{
    struct size_case {
        int p, m, n;
    };
    std::vector<double> x;
    for (int i = 1; i < 80; i++) x.push_back(i / 80.0);
    for (int real = 0; real < 2; real++)
        for (int largest = 0; largest < 2; largest++)
            for (size_case c : {size_case{4, 4, 4}, {7, 3, 12}, {5, 9, 30}}) {
                const std::vector<double> lo = evaluate(make(c.p, c.m, c.n, real, largest, true), x);
                const std::vector<double> up = evaluate(make(c.p, c.m, c.n, real, largest, false), x);
                for (std::size_t i = 0; i < x.size(); i++) {
                    EXPECT_GE(lo[i], 0.0);
                    EXPECT_LE(up[i], 1.0);
                    EXPECT_NEAR(lo[i] + up[i], 1.0, 4 * eps);
                    if (i > 0) {
                        EXPECT_GE(lo[i], lo[i - 1] * (1 - 1e-13)) << "x=" << x[i];
                    }
                }
            }
    const double special[] = {-1, 0, 1, 2, std::nan("")};
    double P[5], E[5];
    ASSERT_EQ(jacobi_eig_cdf(make(3, 4, 5, true, true, true), special, 5, P, E).status, jacobi_status::ok);
    EXPECT_EQ(P[0] + P[1], 0.0);
    EXPECT_EQ(P[2] * P[3], 1.0);
    EXPECT_TRUE(std::isnan(P[4]) && std::isnan(E[4]));
}

extern "C" {
void dsygv_(const int *itype, const char *jobz, const char *uplo, const int *n, double *a, const int *lda,
            double *b, const int *ldb, double *w, double *work, const int *lwork, int *info);
void zhegv_(const int *itype, const char *jobz, const char *uplo, const int *n, std::complex<double> *a,
            const int *lda, std::complex<double> *b, const int *ldb, double *w, std::complex<double> *work,
            const int *lwork, double *rwork, int *info);
}

namespace {

// Extreme roots of (A + B)^-1 A: the generalised problem A v = theta (A + B) v.
void sample_roots(int p, int m, int n, bool real, std::mt19937_64 &rng, double *smallest_nonzero, double *largest)
{
    std::normal_distribution<double> normal(0.0, 1.0);
    const int s = std::min(p, m);
    std::vector<double> w(p);
    int info = 0, itype = 1;
    if (real) {
        std::vector<double> Za((std::size_t)m * p), Zb((std::size_t)n * p), A((std::size_t)p * p), S((std::size_t)p * p),
            work(64 * p);
        for (double &z : Za) z = normal(rng);
        for (double &z : Zb) z = normal(rng);
        for (int i = 0; i < p; i++)
            for (int j = 0; j < p; j++) {
                double a = 0, b = 0;
                for (int k = 0; k < m; k++) a += Za[(std::size_t)k * p + i] * Za[(std::size_t)k * p + j];
                for (int k = 0; k < n; k++) b += Zb[(std::size_t)k * p + i] * Zb[(std::size_t)k * p + j];
                A[(std::size_t)j * p + i] = a;
                S[(std::size_t)j * p + i] = a + b;
            }
        int lwork = 64 * p;
        dsygv_(&itype, "N", "U", &p, A.data(), &p, S.data(), &p, w.data(), work.data(), &lwork, &info);
    } else {
        const double h = std::sqrt(0.5);
        std::vector<std::complex<double>> Za((std::size_t)m * p), Zb((std::size_t)n * p), A((std::size_t)p * p),
            S((std::size_t)p * p), work(64 * p);
        std::vector<double> rwork(3 * p);
        for (auto &z : Za) z = {h * normal(rng), h * normal(rng)};
        for (auto &z : Zb) z = {h * normal(rng), h * normal(rng)};
        for (int i = 0; i < p; i++)
            for (int j = 0; j < p; j++) {
                std::complex<double> a = 0, b = 0;
                for (int k = 0; k < m; k++) a += std::conj(Za[(std::size_t)k * p + i]) * Za[(std::size_t)k * p + j];
                for (int k = 0; k < n; k++) b += std::conj(Zb[(std::size_t)k * p + i]) * Zb[(std::size_t)k * p + j];
                A[(std::size_t)j * p + i] = a;
                S[(std::size_t)j * p + i] = a + b;
            }
        int lwork = 64 * p;
        zhegv_(&itype, "N", "U", &p, A.data(), &p, S.data(), &p, w.data(), work.data(), &lwork, rwork.data(), &info);
    }
    ASSERT_EQ(info, 0);
    *smallest_nonzero = w[p - s];
    *largest = w[p - 1];
}

} // namespace

// Fixed-seed Monte Carlo at s = 3 (m < p: the smallest nonzero root) and
// s = 10: the empirical CDF within 4.5 binomial standard errors.
TEST(JacobiEig, MonteCarloAgrees)
{
    const int samples = 8000;
    struct size_case {
        int p, m, n;
    };
    for (int real = 0; real < 2; real++)
        for (size_case c : {size_case{5, 3, 9}, {10, 12, 20}}) {
            std::mt19937_64 rng(20261208 + 31 * c.p + real);
            std::vector<double> low(samples), high(samples);
            for (int i = 0; i < samples; i++) sample_roots(c.p, c.m, c.n, real, rng, &low[i], &high[i]);
            for (int largest = 0; largest < 2; largest++) {
                std::vector<double> &roots = largest ? high : low;
                std::vector<double> sorted = roots;
                std::sort(sorted.begin(), sorted.end());
                std::vector<double> x;
                for (double q : {0.02, 0.2, 0.5, 0.8, 0.98}) x.push_back(sorted[(std::size_t)(q * samples)]);
                const std::vector<double> F = evaluate(make(c.p, c.m, c.n, real, largest, true), x);
                for (std::size_t i = 0; i < x.size(); i++) {
                    const double empirical =
                        (double)std::count_if(roots.begin(), roots.end(), [&](double t) { return t <= x[i]; }) / samples;
                    const double standard_error = std::sqrt(F[i] * (1 - F[i]) / samples);
                    EXPECT_NEAR(empirical, F[i], 4.5 * standard_error)
                        << (real ? "real" : "complex") << (largest ? " largest" : " smallest") << " p=" << c.p
                        << " m=" << c.m << " x=" << x[i];
                }
            }
        }
}

// Bad input, out of reach and interrupted are told apart by status.
TEST(JacobiEig, StatusesTellRefusalsApart)
{
    double x = 0.5, P = 0, E = 0;
    struct status_case {
        int p;
        double m, n;
        jacobi_status expected;
    };
    for (status_case c : {status_case{0, 3, 3, jacobi_status::invalid_argument},
                          {4, 3, 3, jacobi_status::invalid_argument},
                          {2, 0, 3, jacobi_status::invalid_argument},
                          {2, NAN, 3, jacobi_status::invalid_argument},
                          {2, 3.5, 4, jacobi_status::out_of_reach},
                          {2, 3, 4.25, jacobi_status::out_of_reach},
                          {60, 60, 70, jacobi_status::out_of_reach},
                          {2, 3, 1200, jacobi_status::out_of_reach}}) {
        jacobi_eig_outcome outcome = jacobi_eig_cdf(make(c.p, c.m, c.n, true, true, true), &x, 1, &P, &E);
        EXPECT_EQ(outcome.status, c.expected) << "p=" << c.p << " m=" << c.m << " n=" << c.n << ": " << outcome.message;
        EXPECT_FALSE(outcome.message.empty());
    }
    EXPECT_EQ(jacobi_eig_cdf(make(2, 3, 4, true, true, true), nullptr, 1, &P, &E).status,
              jacobi_status::invalid_argument);
    struct counter {
        int calls = 0;
    } polls;
    interrupt_check interrupt;
    interrupt.context = &polls;
    interrupt.poll = [](void *context) { return ++static_cast<counter *>(context)->calls > 3; };
    jacobi_eig_request request = make(30, 40, 60, true, true, true);
    request.interrupt = &interrupt;
    std::vector<double> points(40, 0.7), values(40);
    EXPECT_EQ(jacobi_eig_cdf(request, points.data(), points.size(), values.data(), nullptr).status,
              jacobi_status::interrupted);
    EXPECT_TRUE(std::isnan(values.back()));
}
