// pfq_test.cpp: matrix_pfq against multiprecision scalar values, closed
// forms, relations, alpha = 1 determinant formulas, and its honesty limits.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <boost/math/special_functions/gamma.hpp>
#include <gtest/gtest.h>

#include "matrixhyper/matrix_pfq.h"
#include "pfq_equal_walk.h"
#include "pfq_series.h"

using namespace matrixhyper;
using pfq_detail::relation_choice;
using pfq_detail::route_choice;

namespace {

struct scalar_case {
    const char *name;
    std::vector<double> a, b;
    double x, value;
};

const scalar_case scalar_cases[] = {
#include "pfq_reference.inc"
};

// The error bound must cover the true error (up to a rounding-sized slack)
// and, when tol is met, stay within tol |truth|.
void expect_honest(const std::string &what, const pfq_result &r, long double truth,
                   bool require_converged = true)
{
    long double error = std::fabs((long double)r.value - truth);
    SCOPED_TRACE(what + ": expected " + std::to_string((double)truth) + ", got " +
                 std::to_string(r.value) + ", error " + std::to_string((double)error) +
                 ", err " + std::to_string(r.err) + ", " + r.info.method + " " + r.message);
    char buf[200];
    std::snprintf(buf, sizeof buf, "expected %.17Lg got %.17g error %.3Lg err %.3g", truth,
                  r.value, error, r.err);
    if (require_converged) {
        EXPECT_EQ(r.status, pfq_status::converged) << buf;
        EXPECT_LE(r.err, 1e-12 * std::fabs((double)truth) * 1.0001) << buf;
    }
    EXPECT_LE(error, r.err * 1.01 + 1e-18L * std::fabs(truth)) << buf;
}

pfq_result forced(const pfq_problem &p, double alpha, route_choice route, relation_choice rel)
{
    pfq_options o;
    o.alpha = alpha;
    return pfq_detail::matrix_pfq_forced(p, o, route, rel);
}

} // namespace

// n = 1 against mpmath (tools/pfq_reference.py), also split as x * y.
TEST(PfqScalar, AgreesWithMultiprecision)
{
    for (const scalar_case &c : scalar_cases) {
        pfq_options o;
        expect_honest(c.name, matrix_pfq({c.a, c.b, {c.x}, {}}, o), c.value);
        expect_honest(std::string(c.name) + " as x*y", matrix_pfq({c.a, c.b, {c.x / 4}, {4}}, o),
                      c.value);
    }
}

// 0F0(X) = etr(X) and 1F0(a; X) = det(I - X)^(-a) for every alpha, the
// series route forced, distinct eigenvalues of both signs.
TEST(PfqClosedForms, SeriesMatchesClosedForms)
{
    const std::vector<double> x = {-1.5, 0.4, -0.3, 0.7};
    for (double alpha : {0.5, 1.0, 2.0, 3.7}) {
        long double trace = 0;
        for (double v : x) trace += v;
        expect_honest("0F0 alpha " + std::to_string(alpha),
                      forced({{}, {}, x, {}}, alpha, route_choice::automatic, relation_choice::none),
                      std::exp(trace));
        std::vector<double> small = {-0.4, 0.3, -0.2, 0.35};
        long double det_small = 1;
        for (double v : small) det_small *= 1 - (long double)v;
        expect_honest("1F0 alpha " + std::to_string(alpha),
                      forced({{0.75}, {}, small, {}}, alpha, route_choice::automatic,
                             relation_choice::none),
                      std::pow(det_small, -0.75L));
    }
}

// Kummer against the plain series, Pfaff (both) and Euler against the plain
// 2F1, the equal-eigenvalue walk against the tables: all within their errs.
TEST(PfqRelations, RoutesAgree)
{
    struct rel_case { const char *name; pfq_problem p; double alpha; };
    const rel_case cases[] = {
        {"1F1 mixed", {{0.7}, {2.3}, {1.2, -0.8, 0.5}, {}}, 2.0},
        {"1F1 negative", {{1.5}, {3.25}, {-2.0, -1.0, -0.5}, {}}, 1.0},
        {"2F1 mixed", {{0.6, 1.3}, {2.2}, {0.3, -0.25, 0.1}, {}}, 2.0},
        {"2F1 negative", {{1.0, 0.5}, {1.75}, {-0.3, -0.2, -0.45}, {}}, 0.5},
    };
    for (const rel_case &c : cases) {
        pfq_result plain = forced(c.p, c.alpha, route_choice::automatic, relation_choice::none);
        ASSERT_EQ(plain.status, pfq_status::converged) << c.name << " " << plain.message;
        const bool is_1f1 = c.p.a.size() == 1;
        struct named { relation_choice rel; const char *method; };
        std::vector<named> others = is_1f1
            ? std::vector<named>{{relation_choice::kummer, "tables, kummer"}}
            : std::vector<named>{{relation_choice::pfaff_a, "tables, pfaff-a"},
                                 {relation_choice::pfaff_b, "tables, pfaff-b"},
                                 {relation_choice::euler, "tables, euler"}};
        for (const named &other : others) {
            pfq_result r = forced(c.p, c.alpha, route_choice::automatic, other.rel);
            ASSERT_EQ(r.status, pfq_status::converged) << c.name << " " << r.message;
            // At alpha = 1 the relation's series is summed by determinants,
            // 1F1 at alpha = 2 by integrating its system.
            const std::string relation_used = std::string(other.method).substr(std::strlen("tables"));
            const std::string route_used = c.alpha == 1 ? "determinant (alpha = 1)" + relation_used
                                           : is_1f1 && c.alpha == 2 ? "holonomic" + relation_used
                                                                    : std::string(other.method);
            EXPECT_EQ(r.info.method, route_used);
            EXPECT_LE(std::fabs(r.value - plain.value), r.err + plain.err)
                << c.name << " " << r.info.method << ": expected " << plain.value << ", got "
                << r.value << ", err " << r.err << " + " << plain.err;
        }
    }
    pfq_problem eq{{0.5, 1.25}, {2.5}, {-0.7, -0.7, -0.7}, {}};
    pfq_result walk = forced(eq, 2.0, route_choice::scalar_or_equal, relation_choice::none);
    pfq_result tables = forced(eq, 2.0, route_choice::tables, relation_choice::none);
    EXPECT_EQ(walk.info.method, "equal");
    EXPECT_EQ(tables.info.method, "tables");
    EXPECT_LE(std::fabs(walk.value - tables.value), walk.err + tables.err)
        << "equal " << walk.value << " tables " << tables.value;
}

// The walk at x I_n skips subtrees under a bound. The degree sums at x I_n
// are known: (n x)^k / k! for 0F0 and (a n)_k x^k / k! for 1F0 (expand
// exp(n x) and (1 - x)^(-a n)). With positive terms, what a degree misses
// must lie within the bounds of the subtrees skipped at or below it; the
// sums must not depend on the thread count; and end to end the value stays
// within err, also for an alternating series where cancellation leaves tol
// unmet.
TEST(PfqEqual, SkippedSubtreesStayWithinTheirBounds)
{
    struct walk_case { double alpha; std::vector<long double> a; int n; long double x; };
    const walk_case walks[] = {{2.0, {}, 6, 7.0L}, {0.5, {}, 4, 5.0L}, {3.7, {1.5L}, 5, 0.5L}};
    for (const walk_case &c : walks) {
        pfq_detail::series_input in;
        in.a = c.a;
        in.x.assign(c.n, c.x);
        in.alpha = c.alpha;
        const int K = 120;
        std::vector<long double> truth(K + 1, 1);
        for (int k = 1; k <= K; k++)
            truth[k] = truth[k - 1] * (c.a.empty() ? c.n * c.x : (c.a[0] * c.n + k - 1) * c.x) / k;
        long double total = 0;
        for (long double t : truth) total += t;
        pfq_detail::series_control ctl;
        pfq_detail::equal_walk_settings settings;
        settings.max_size = K;
        settings.threshold = 1e-16L * total;
        auto one = pfq_detail::equal_walk(in, settings, ctl);
        settings.threads = 3;
        auto three = pfq_detail::equal_walk(in, settings, ctl);
        SCOPED_TRACE("alpha " + std::to_string(c.alpha) + " n " + std::to_string(c.n));
        EXPECT_LT((long double)one.visited, pfq_detail::count_partitions(c.n, K) / 2);
        EXPECT_TRUE(one.sums == three.sums && one.abs_sums == three.abs_sums && one.cut == three.cut);
        long double cut_below = 0;
        for (int k = 0; k <= K; k++) {
            cut_below += one.cut[k];
            const long double rounding = 1e-15L * truth[k];
            EXPECT_LE(one.sums[k], truth[k] + rounding) << "degree " << k;
            EXPECT_LE(truth[k] - one.sums[k], cut_below + rounding) << "degree " << k;
        }
    }
    struct equal_case { double alpha; pfq_problem p; long double truth; bool converges; };
    const equal_case cases[] = {
        {2.0, {{}, {}, std::vector<double>(6, 8.0), {}}, std::exp(48.0L), true},
        {3.7, {{1.5}, {}, std::vector<double>(4, 0.8), {}}, std::pow(0.2L, -6.0L), true},
        {2.0, {{}, {}, std::vector<double>(5, -4.0), {}}, std::exp(-20.0L), false},
    };
    for (const equal_case &c : cases) {
        pfq_result r = forced(c.p, c.alpha, route_choice::scalar_or_equal, relation_choice::none);
        EXPECT_EQ(r.info.method, "equal");
        expect_honest("equal alpha " + std::to_string(c.alpha), r, c.truth, c.converges);
    }
    // Rows where a numerator a - (i - 1)/alpha vanishes hold no non-zero
    // term, so the walk skips them; the closed form 1F0(a; x I_n) =
    // (1 - x)^(-a n) sums every partition and checks that nothing was lost.
    // Two live rows of 60, two of 12 (x < 0: alternating terms), one of 30.
    struct dead_rows_case { double alpha, a; int n; double x; };
    for (const dead_rows_case &c : {dead_rows_case{2.0, 1.0, 60, 0.3}, {1.0, 2.0, 12, -0.1},
                                    {0.5, 2.0, 30, 0.2}}) {
        pfq_result r = forced({{c.a}, {}, std::vector<double>(c.n, c.x), {}}, c.alpha,
                              route_choice::scalar_or_equal, relation_choice::none);
        expect_honest("1F0 walk alpha " + std::to_string(c.alpha) + " n " + std::to_string(c.n), r,
                      std::pow(1.0L - c.x, -(long double)c.a * c.n));
    }
    // Tiny eigenvalues: past a few degrees every subtree is skipped, and the
    // rule must still end the series (1F1(1; 2; x I_2) = 1 + x + O(x^2):
    // the first degree is (a / c) tr X).
    pfq_result small = forced({{1}, {2}, {1e-8, 1e-8}, {}}, 2.0, route_choice::scalar_or_equal,
                              relation_choice::none);
    EXPECT_EQ(small.status, pfq_status::converged) << small.message;
    EXPECT_NEAR(small.value, 1 + 1e-8, 1e-15);
    // A walk that its visit budget ends must say so: not converged, with the
    // message and an err that covers exp(60), or no value (NaN) and an
    // infinite err when not even the quick walk finished.
    pfq_detail::series_input wide;
    wide.x.assign(6, 10.0L);
    pfq_detail::series_control budget;
    long long visits_left = 20000;
    budget.visits_left = &visits_left;
    pfq_detail::series_outcome cut_short = pfq_detail::sum_equal(wide, budget);
    EXPECT_EQ(cut_short.state, pfq_detail::series_state::not_converged);
    EXPECT_NE(cut_short.message.find("work limit"), std::string::npos) << cut_short.message;
    if (std::isnan(cut_short.sum))
        EXPECT_EQ(cut_short.tail, HUGE_VALL);
    else
        EXPECT_LE(std::fabs(cut_short.sum - std::exp(60.0L)), cut_short.tail + cut_short.rounding);
    // Beyond the double range: log 0F0(250 I_3) = 750 exactly, with a finite err.
    pfq_options o;
    o.log_result = true;
    pfq_result big = pfq_detail::matrix_pfq_forced({{}, {}, {250, 250, 250}, {}}, o,
                                                   route_choice::scalar_or_equal, relation_choice::none);
    EXPECT_EQ(big.status, pfq_status::converged) << big.message;
    EXPECT_LE(std::fabs(big.value - 750), big.err);
    EXPECT_LE(big.err, 1e-12 * 750);
}

// alpha = 1: 0F0(X, Y) = prod_{k<n} k! det[exp(x_i y_j)] / (Delta(x) Delta(y)),
// Delta(x) = prod_{i<j} (x_j - x_i) (tends to etr(X) as y -> all ones).
long double orbital_integral(const std::vector<double> &x, const std::vector<double> &y)
{
    const int n = (int)x.size();
    std::vector<long double> m(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) m[i * n + j] = std::exp((long double)x[i] * y[j]);
    long double det = 1;                                  // Gaussian elimination, partial pivoting
    for (int c = 0; c < n; c++) {
        int p = c;
        for (int r = c + 1; r < n; r++) if (std::fabs(m[r * n + c]) > std::fabs(m[p * n + c])) p = r;
        if (p != c) { for (int j = 0; j < n; j++) std::swap(m[c * n + j], m[p * n + j]); det = -det; }
        det *= m[c * n + c];
        for (int r = c + 1; r < n; r++) {
            long double f = m[r * n + c] / m[c * n + c];
            for (int j = c; j < n; j++) m[r * n + j] -= f * m[c * n + j];
        }
    }
    long double factorials = 1, vandermonde = 1;
    for (int k = 1; k < n; k++) factorials *= std::tgamma((long double)k + 1);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            vandermonde *= ((long double)x[j] - x[i]) * ((long double)y[j] - y[i]);
    return factorials * det / vandermonde;
}

TEST(PfqTwoArguments, OrbitalIntegralAtAlphaOne)
{
    pfq_options o;
    o.alpha = 1;
    const std::vector<std::vector<double>> xs = {{0.3, -0.5}, {0.9, 0.2, -0.4}, {-1.1, -0.3, 0.6, 1.4}};
    const std::vector<std::vector<double>> ys = {{1.5, 0.5}, {0.7, -0.6, 1.3}, {0.2, 0.9, -0.5, 0.4}};
    for (size_t c = 0; c < xs.size(); c++)
        expect_honest("0F0(X, Y) n = " + std::to_string(xs[c].size()),
                      matrix_pfq({{}, {}, xs[c], ys[c]}, o), orbital_integral(xs[c], ys[c]));
}

// Every alpha: with Y = I + O(1e-9) the two-argument tables (which divide by
// C_kappa(I)) must give the one-argument value to about 1e-9 |tr X|.
TEST(PfqTwoArguments, NearIdentityMatchesOneArgument)
{
    const std::vector<double> x = {1.5, -0.8, 0.5};
    const std::vector<double> y = {1 + 1e-9, 1 - 2e-9, 1 + 0.5e-9};
    for (double alpha : {0.5, 2.0, 3.7}) {
        pfq_options o;
        o.alpha = alpha;
        pfq_result two = matrix_pfq({{0.7}, {2.4}, x, y}, o);
        pfq_result one = matrix_pfq({{0.7}, {2.4}, x, {}}, o);
        ASSERT_EQ(two.status, pfq_status::converged) << two.message;
        EXPECT_EQ(two.info.method, "tables");
        EXPECT_NEAR(two.value, one.value, 5e-9 * std::fabs(one.value))
            << "alpha " << alpha << ": expected " << one.value << ", got " << two.value;
    }
}

// Complex Wishart (alpha = 1), W = Z^H Z with Z n-by-m: Khatri's
// P(lambda_max <= x) = det[gamma(n - m + i + j + 1, x)] / prod Gamma(n-k+1)
// Gamma(m-k+1) equals Gamma_m(m) / Gamma_m(n+m) x^(mn) 1F1(n; n+m; -x I_m),
// where the complex multivariate gamma ratio is prod_i Gamma(m-i+1) /
// Gamma(n+m-i+1) (the pi powers cancel; m = 1 gives gamma_p(n, x)).
TEST(PfqTwoArguments, ComplexWishartLargestEigenvalue)
{
    for (int m : {2, 3})
        for (int n : {3, 5})
            for (double x : {2.0, 6.5}) {
                std::vector<long double> g(m * m);
                for (int i = 0; i < m; i++)
                    for (int j = 0; j < m; j++)
                        g[i * m + j] = boost::math::tgamma_lower((long double)(n - m + i + j + 1), (long double)x);
                long double det = m == 2 ? g[0] * g[3] - g[1] * g[2]
                    : g[0] * (g[4] * g[8] - g[5] * g[7]) - g[1] * (g[3] * g[8] - g[5] * g[6]) +
                      g[2] * (g[3] * g[7] - g[4] * g[6]);
                long double norm = 1, c = 1;
                for (int k = 1; k <= m; k++) {
                    norm *= std::tgamma((long double)(n - k + 1)) * std::tgamma((long double)(m - k + 1));
                    c *= std::tgamma((long double)(m - k + 1)) / std::tgamma((long double)(n + m - k + 1));
                }
                long double khatri = det / norm;
                pfq_options o;
                o.alpha = 1;
                pfq_result r = matrix_pfq({{(double)n}, {(double)(n + m)}, std::vector<double>(m, -x), {}}, o);
                long double scale = c * std::pow((long double)x, (long double)(m * n));
                pfq_result cdf = r;
                cdf.value = (double)(scale * r.value);
                cdf.err = (double)(scale * r.err) + 1e-15 * std::fabs(cdf.value);  // Khatri side
                expect_honest("Wishart m " + std::to_string(m) + " n " + std::to_string(n) +
                              " x " + std::to_string(x), cdf, khatri);
            }
}

// The tables shared by 1 to 4 threads give the same value, err, degree and
// partitions bit for bit: one argument, and two with mixed signs (which
// fill the tables at |x| and |y| too). n = 6 to degree 24: the level of 6
// variables at degree 24 is the first with enough partitions to be shared.
TEST(PfqThreads, SameBitsForEveryThreadCount)
{
    const int degree = 24;
    ASSERT_GE(pfq_detail::count_partitions(6, degree) - pfq_detail::count_partitions(6, degree - 1),
              pfq_detail::table_level_worth_threads);
    const pfq_problem problems[] = {
        {{1.5}, {3.25}, {-0.6, -1.2, -1.8, -2.4, -3.0, -3.6}, {}},
        {{}, {}, {0.6, -0.94, 1.28, -1.62, 1.96, -2.3}, {-0.9, 0.82, 0.74, -0.66, 0.58, 0.5}},
    };
    for (const pfq_problem &p : problems) {
        pfq_options o;
        o.max_degree = degree;
        o.threads = 1;
        const pfq_result one = pfq_detail::matrix_pfq_forced(p, o, route_choice::tables,
                                                             relation_choice::none);
        ASSERT_EQ(one.info.method, "tables");
        ASSERT_EQ(one.info.degree, degree) << one.message;
        ASSERT_TRUE(std::isfinite(one.err)) << one.message;
        for (int threads : {2, 3, 4}) {
            o.threads = threads;
            const pfq_result r = pfq_detail::matrix_pfq_forced(p, o, route_choice::tables,
                                                               relation_choice::none);
            SCOPED_TRACE(std::to_string(p.y.size()) + " y, " + std::to_string(threads) + " threads");
            EXPECT_EQ(std::memcmp(&r.value, &one.value, sizeof(double)), 0)
                << r.value << " vs " << one.value;
            EXPECT_EQ(std::memcmp(&r.err, &one.err, sizeof(double)), 0) << r.err << " vs " << one.err;
            EXPECT_EQ(r.status, one.status);
            EXPECT_EQ(r.info.degree, one.info.degree);
            EXPECT_EQ(r.info.partitions, one.info.partitions);
        }
    }
}

// Cases no double-precision series can do, or that are cut short: the
// status and err say so, and err still covers the true error.
TEST(PfqHonesty, ReportsWhatItCannotDo)
{
    pfq_options o;
    o.alpha = 1;
    // Two-argument 0F0 with large eigenvalues of opposite signs: the terms
    // cancel by many orders of magnitude.
    // (The tables' series; the determinant route computes it in extended
    // precision and meets tol.)
    std::vector<double> x = {-4, -3, 3.5}, y = {3, -2.5, 2};
    pfq_result r = pfq_detail::matrix_pfq_forced({{}, {}, x, y}, o, route_choice::tables,
                                                 relation_choice::automatic);
    expect_honest("cancelling 0F0(X, Y)", r, orbital_integral(x, y), false);
    EXPECT_EQ(r.status, pfq_status::not_converged) << r.value << " err " << r.err;
    r = matrix_pfq({{}, {}, x, y}, o);
    expect_honest("0F0(X, Y) by determinants", r, orbital_integral(x, y), false);
    EXPECT_EQ(r.status, pfq_status::converged) << r.value << " err " << r.err;
    // max_degree too small.
    o.alpha = 2;
    o.max_degree = 40;
    r = matrix_pfq({{1}, {2}, {100}, {}}, o);
    EXPECT_EQ(r.status, pfq_status::not_converged);
    expect_honest("1F1(1; 2; 100) to degree 40", r, 2.6881171418161354e41L, false);
    // 2F1 with an eigenvalue near 1 and growing terms: cut by max_degree.
    o.max_degree = 60;
    r = matrix_pfq({{2, 3}, {1.5}, {0.995, 0.3}, {}}, o);
    EXPECT_EQ(r.status, pfq_status::not_converged) << r.value << " err " << r.err;
    EXPECT_GT(r.err, 1e-12 * std::fabs(r.value));
    // Tables beyond the memory limit are refused before any work.
    o.max_degree = 200;
    o.memory_limit = 1 << 20;
    r = matrix_pfq({{1}, {2}, {0.1, 0.2, 0.3, 0.4, 0.5}, {}}, o);
    EXPECT_EQ(r.status, pfq_status::refused) << r.message;
    EXPECT_NE(r.message.find("bytes"), std::string::npos) << r.message;
    // A closed form is converged only when its err meets tol: exp(800)
    // overflows double, and tol below rounding cannot be met.
    r = matrix_pfq({{}, {}, {800}, {}}, pfq_options());
    EXPECT_EQ(r.status, pfq_status::not_converged);
    EXPECT_FALSE(r.info.converged);
    pfq_options tiny;
    tiny.tol = 1e-300;
    r = matrix_pfq({{}, {}, {1, 2, 3}, {}}, tiny);
    EXPECT_EQ(r.status, pfq_status::not_converged);
    EXPECT_FALSE(r.info.converged);
}

// Values that only exact arithmetic or the logarithm can give honestly.
TEST(PfqHonesty, ExactZerosAndValuesBelowTheNormalRange)
{
    pfq_options o;
    // 2F1(-1, 2; 4; X) = 1 - tr(X) / 2 for any alpha (the degree-1 term
    // (a)(b)/(c) C_(1)(X)): exactly 0 at x = 2, also reached as x * y = 1 * 2.
    for (const pfq_problem &p : {pfq_problem{{-1, 2}, {4}, {2}, {}}, pfq_problem{{-1, 2}, {4}, {1}, {2}}}) {
        pfq_result zero = matrix_pfq(p, o);
        EXPECT_EQ(zero.status, pfq_status::converged) << zero.message;
        EXPECT_EQ(zero.value, 0.0);
        EXPECT_EQ(zero.err, 0.0);
        EXPECT_EQ(zero.info.sign, 0);
    }
    pfq_options log_opt = o;
    log_opt.log_result = true;
    pfq_result log_zero = matrix_pfq({{-1, 2}, {4}, {2}, {}}, log_opt);
    EXPECT_EQ(log_zero.status, pfq_status::converged) << log_zero.message;
    EXPECT_EQ(log_zero.value, -HUGE_VAL);
    // 0.1 * 20 is not 2 in binary: no exact zero may be claimed there.
    pfq_result near = matrix_pfq({{-1, 2}, {4}, {0.1}, {20}}, o);
    EXPECT_TRUE(near.value != 0 || near.status == pfq_status::not_converged) << near.err;

    // 0F0 = exp(x), mpmath exp at 40 digits: 9.04e-432 underflows double,
    // 6.50e-318 is subnormal (fewer than 53 bits).
    const struct { double x; long double truth; } below[] = {
        {-992.5147643669101, 9.043043666575965120682421696578946909739e-432L},
        {-730.35, 6.501673284170359510599347335189294105835e-318L},
    };
    for (const auto &c : below) {
        pfq_result r = matrix_pfq({{}, {}, {c.x}, {}}, o);
        SCOPED_TRACE(c.x);
        EXPECT_EQ(r.status, pfq_status::not_converged);
        EXPECT_GE(r.err, std::numeric_limits<double>::denorm_min());
        EXPECT_LE(std::fabs((long double)r.value - c.truth), (long double)r.err);
        EXPECT_NE(r.message.find("log"), std::string::npos) << r.message;
        pfq_result in_log = matrix_pfq({{}, {}, {c.x}, {}}, log_opt);
        EXPECT_EQ(in_log.status, pfq_status::converged);
        EXPECT_NEAR(in_log.value, c.x, in_log.err);
    }
}

// Partitions of size at most `degree` with at most n parts, by the
// recursion on the number of parts allowed: p(k, m) = p(k, m - 1) + p(k - m, m).
long double partitions_up_to(int degree, int n)
{
    std::vector<std::vector<long double>> p(n + 1, std::vector<long double>(degree + 1, 0));
    for (int m = 0; m <= n; m++) p[m][0] = 1;
    for (int m = 1; m <= n; m++)
        for (int k = 1; k <= degree; k++) p[m][k] = p[m - 1][k] + (k >= m ? p[m][k - m] : 0);
    long double total = 0;
    for (int k = 0; k <= degree; k++) total += p[n][k];
    return total;
}

// The automatic cap is the largest degree within the partition budget, and
// the bytes of the tables include a row of n values for every partition with
// fewer than n parts (long double ones for mixed signs, twice over).
TEST(PfqTables, AutomaticCapAndBytesAsDocumented)
{
    for (int n : {6, 8, 10, 12}) {
        const int cap = pfq_detail::automatic_table_cap(n);
        SCOPED_TRACE(n);
        EXPECT_LE(partitions_up_to(cap, n), pfq_detail::table_partition_budget);
        EXPECT_GT(partitions_up_to(cap + 1, n), pfq_detail::table_partition_budget);
    }
    const int degree = 40, n = 5;
    const long double rows = partitions_up_to(degree, n - 1);
    EXPECT_GE(pfq_detail::table_bytes(n, degree, false, false), sizeof(double) * n * rows);
    EXPECT_GE(pfq_detail::table_bytes(n, degree, true, true), 4 * sizeof(long double) * n * rows);
}

// Terms whose cancellation is beyond double's rounding bound: negative
// eigenvalues (one sign per degree, alternating) and eigenvalues of both
// signs are summed on long double tables, and the result is still within
// its err of det(I - X)^-a (1F0's closed form), for any thread count.
TEST(PfqTables, CancellationBeyondDoubleStaysHonest)
{
    struct det_case { double a; std::vector<double> x; };
    const det_case cases[] = {
        {2.0, {-0.45, -0.4, -0.35, -0.3}},                  // |terms| / |sum| about 3000
        {0.75, {0.35, -0.3, 0.25, -0.2, 0.15, -0.1, 0.3}},  // mixed signs, n = 7
    };
    for (const det_case &c : cases) {
        long double det = 1;
        for (double v : c.x) det *= 1 - (long double)v;
        const long double truth = std::pow(det, -(long double)c.a);
        pfq_result first;
        for (int threads : {1, 3}) {
            pfq_options o;
            o.alpha = 2;
            o.threads = threads;
            const pfq_result r = pfq_detail::matrix_pfq_forced({{c.a}, {}, c.x, {}}, o,
                                                               route_choice::tables,
                                                               relation_choice::none);
            expect_honest("1F0 n = " + std::to_string(c.x.size()) + ", " +
                          std::to_string(threads) + " threads", r, truth);
            if (threads == 1) {
                first = r;
                continue;
            }
            EXPECT_EQ(std::memcmp(&r.value, &first.value, sizeof(double)), 0);
            EXPECT_EQ(std::memcmp(&r.err, &first.err, sizeof(double)), 0);
        }
    }
}

TEST(PfqArguments, InvalidRequestsAndControl)
{
    pfq_options o;
    const pfq_problem ok{{0.5}, {1.5}, {0.2, 0.3}, {}};
    pfq_options bad_alpha = o; bad_alpha.alpha = 0;
    pfq_options bad_tol = o; bad_tol.tol = 1;
    EXPECT_EQ(matrix_pfq(ok, bad_alpha).status, pfq_status::invalid_argument);
    EXPECT_EQ(matrix_pfq(ok, bad_tol).status, pfq_status::invalid_argument);
    pfq_options bad_threads = o; bad_threads.threads = -1;
    EXPECT_EQ(matrix_pfq(ok, bad_threads).status, pfq_status::invalid_argument);
    EXPECT_EQ(matrix_pfq({{0.5}, {1.5}, {0.2, std::nan("")}, {}}, o).status, pfq_status::invalid_argument);
    EXPECT_EQ(matrix_pfq({{0.5}, {1.5}, {0.2, 0.3}, {1}}, o).status, pfq_status::invalid_argument);
    // b - (i-1)/alpha = -2 in row 1 reached before the numerator ends; with
    // a = -1 the numerator vanishes first and the series is a polynomial.
    EXPECT_EQ(matrix_pfq({{0.5}, {-2}, {0.2, 0.3}, {}}, o).status, pfq_status::invalid_argument);
    pfq_result poly = matrix_pfq({{-1}, {-2}, {0.2, 0.3}, {}}, o);
    EXPECT_EQ(poly.status, pfq_status::converged) << poly.message;
    // 3F1 diverges; 2F1 with eigenvalues beyond 1 has no convergent relation.
    EXPECT_EQ(matrix_pfq({{1, 2, 3}, {4}, {0.1, 0.2}, {}}, o).status, pfq_status::invalid_argument);
    EXPECT_EQ(matrix_pfq({{1, 2}, {4}, {1.5, 0.2}, {}}, o).status, pfq_status::invalid_argument);
    // Interrupt at the first poll.
    interrupt_check stop;
    stop.poll = [](void *) { return true; };
    pfq_options interrupted = o;
    interrupted.interrupt = &stop;
    std::vector<double> x6 = {-1, -2, -3, -4, -5, -6};
    EXPECT_EQ(matrix_pfq({{3}, {6.5}, x6, {}}, interrupted).status, pfq_status::interrupted);
    // log_result beyond the range of double: 1F1(1; 2; 800) = (e^800 - 1) / 800.
    pfq_options log_opt = o;
    log_opt.log_result = true;
    pfq_result big = matrix_pfq({{1}, {2}, {800}, {}}, log_opt);
    EXPECT_EQ(big.info.sign, 1);
    EXPECT_NEAR(big.value, 800 - std::log(800.0), big.err * 1.01 + 1e-13);
}

// A call that cannot finish within its work budget ends with not_converged,
// a message naming the work limit, and an err that covers the truth (or
// NaN with an infinite err when no value is known), never a value that
// looks like an answer. The budgets here are tiny, so each call must come
// back well within a second; the bound on seconds below is a hundred times
// that, to stay clear of a loaded machine.
TEST(PfqBudget, EveryRouteStopsWithinTheSharedBudget)
{
    const double generous_seconds = 60;
    auto expect_stopped = [&](const std::string &what, const pfq_result &r, long double truth,
                              bool log_result) {
        SCOPED_TRACE(what + ": value " + std::to_string(r.value) + " err " +
                     std::to_string(r.err) + " " + r.info.method + " " + r.message);
        EXPECT_EQ(r.status, pfq_status::not_converged);
        EXPECT_NE(r.message.find("work limit"), std::string::npos);
        EXPECT_LT(r.info.seconds, generous_seconds);
        if (std::isnan(r.value)) {
            EXPECT_EQ(r.err, HUGE_VAL);
            return;
        }
        ASSERT_TRUE(std::isfinite(r.value));             // never -Inf as a log answer
        long double target = log_result ? std::log(std::fabs(truth)) : truth;
        EXPECT_LE(std::fabs((long double)r.value - target), (long double)r.err * 1.01L);
    };
    pfq_detail::work_budget tiny;
    tiny.table_work = 2000000;                           // some tens of milliseconds
    tiny.visits = 100000;
    pfq_options o;

    // Tables of 100 distinct eigenvalues: 0F0(X) = etr(X) = exp(-50.5)
    // for X = diag(-(1:100)/100), the plain series forced.
    std::vector<double> x100;
    for (int i = 1; i <= 100; i++) x100.push_back(-i / 100.0);
    pfq_result r = pfq_detail::matrix_pfq_forced({{}, {}, x100, {}}, o, route_choice::tables,
                                                 relation_choice::none, tiny);
    expect_stopped("0F0 tables, n = 100", r, std::exp(-50.5L), false);

    // 1F0(0.75; X / 2) = det(I - X / 2)^-0.75 by the tables; then
    // 1F1(1; 2; X), which tries Kummer and then the plain series, both
    // within one budget (no closed truth: only the limit is checked).
    std::vector<double> half100;
    for (double v : x100) half100.push_back(v / 2);
    r = pfq_detail::matrix_pfq_forced({{0.75}, {}, half100, {}}, o, route_choice::tables,
                                      relation_choice::none, tiny);
    long double log_det = 0;
    for (double v : half100) log_det += std::log1p(-(long double)v);
    expect_stopped("1F0 tables, n = 100", r, std::exp(-0.75L * log_det), false);
    r = pfq_detail::matrix_pfq_forced({{1}, {2}, x100, {}}, o, route_choice::automatic,
                                      relation_choice::automatic, tiny);
    EXPECT_EQ(r.status, pfq_status::not_converged) << r.message;
    EXPECT_NE(r.message.find("work limit"), std::string::npos) << r.message;
    // The integration of 1F1's system takes its share of the same budget:
    // 1F1(2; 5; -diag(1..8)), which it gives to 1e-12 with the whole budget.
    r = pfq_detail::matrix_pfq_forced({{2}, {5}, {-1, -2, -3, -4, -5, -6, -7, -8}, {}}, o,
                                      route_choice::automatic, relation_choice::automatic, tiny);
    EXPECT_EQ(r.status, pfq_status::not_converged) << r.info.method << ": " << r.message;
    EXPECT_NE(r.message.find("work limit"), std::string::npos) << r.message;

    // The walk at x I_n: 1F0(1.5; 0.9 I_12) = 0.1^-18 (det(I - X)^-a); the
    // quick walk alone exceeds the visits, so no value is known.
    std::vector<double> x12(12, 0.9);
    r = pfq_detail::matrix_pfq_forced({{1.5}, {}, x12, {}}, o, route_choice::scalar_or_equal,
                                      relation_choice::none, tiny);
    expect_stopped("1F0 walk, 12 equal", r, std::pow(10.0L, 18), false);
    // The same for log|f| of 1F1(1.5; 3.25; 600 I_12), which once came back
    // as -Inf with an infinite err: now NaN.
    pfq_options log_o;
    log_o.log_result = true;
    r = pfq_detail::matrix_pfq_forced({{1.5}, {3.25}, std::vector<double>(12, 600.0), {}}, log_o,
                                      route_choice::automatic, relation_choice::automatic, tiny);
    expect_stopped("log 1F1 walk, 12 equal", r, 1, true);
    EXPECT_TRUE(std::isnan(r.value)) << r.value;
}

// Where the terms of the one-variable series cancel beyond long double,
// the 50-digit sum takes over and err still covers the truth.
TEST(PfqScalar, CancellingSeriesMeetTol)
{
    pfq_options o;
    // mpmath, mp.dps = 50: hyp0f1(0.495, -797.7) (terms near 1e24).
    pfq_result r = matrix_pfq({{}, {0.495}, {-797.7}, {}}, o);
    expect_honest("0F1(; 0.495; -797.7)", r, 1.0254658570543966335093780536441580177L);
    // mpmath, mp.dps = 50: hyp2f2(1.5, 2.25, 3.5, 0.75, -33.3).
    r = matrix_pfq({{1.5, 2.25}, {3.5, 0.75}, {-33.3}, {}}, o);
    expect_honest("2F2(1.5, 2.25; 3.5, 0.75; -33.3)", r,
                  -0.007040885753048902295681967040843635196L);
    // Past what 50 digits absorb, Boost's 0F1 (Bessel functions) and 1F1,
    // and the series in 100 or 250 digits, take over. References: mpmath
    // 1.3.0, mp.dps = 50, on the exact double inputs.
    // hyp0f1(1.5, -100000): terms near 1e274.
    r = matrix_pfq({{}, {1.5}, {-1e5}, {}}, o);
    expect_honest("0F1(; 1.5; -1e5)", r, -0.0013265460911320318146151107323700901609L);
    // hyp0f1(1.5, -1e9): the series' terms pass long double's range.
    r = matrix_pfq({{}, {1.5}, {-1e9}, {}}, o);
    expect_honest("0F1(; 1.5; -1e9)", r, -1.3219587607971047293266410920540385271e-5L);
    // hyp1f1(-300.5, 30.25, 150): the plain series and Kummer's both cancel.
    r = matrix_pfq({{-300.5}, {30.25}, {150}, {}}, o);
    expect_honest("1F1(-300.5; 30.25; 150)", r, -1.1578478792670771756597391324372966580e-6L);
    // hyper([1.5, 2.25], [3.5, 0.75], -150).
    r = matrix_pfq({{1.5, 2.25}, {3.5, 0.75}, {-150}, {}}, o);
    expect_honest("2F2(1.5, 2.25; 3.5, 0.75; -150)", r,
                  -0.00059224246859017483019722846699583674399L);
    pfq_options log_o;
    log_o.log_result = true;
    // log(hyp1f1(120.25, 30.25, -1000)): below the range of double.
    r = matrix_pfq({{120.25}, {30.25}, {-1000}, {}}, log_o);
    expect_honest("log 1F1(120.25; 30.25; -1000)", r, -772.51773416692992083344196079875586563L);
    // log|hyper([1.5, 2.25], [3.5, 0.75], -400)| (negative): terms near 1e170.
    r = matrix_pfq({{1.5, 2.25}, {3.5, 0.75}, {-400}, {}}, log_o);
    expect_honest("log|2F2(1.5, 2.25; 3.5, 0.75; -400)|", r,
                  -8.9842507092949909915731513196547477394L);
    EXPECT_EQ(r.info.sign, -1);
}
