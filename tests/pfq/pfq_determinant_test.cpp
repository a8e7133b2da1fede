// pfq_determinant_test.cpp: matrix_pfq at alpha = 1 by determinants against
// the table route, closed forms at n = 20, close eigenvalues, and mpmath
// evaluations of the determinant formula (tools/pfq_determinant_reference.py).
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "matrixhyper/matrix_pfq.h"
#include "pfq_determinant.h"
#include "pfq_series.h"

using namespace matrixhyper;
using namespace matrixhyper::pfq_detail;

namespace {

// The determinant route on one plain series (no relation, no closed form).
series_outcome by_determinant(std::vector<long double> a, std::vector<long double> b,
                              std::vector<long double> x, std::vector<long double> y = {},
                              int threads = 1)
{
    series_input in;
    in.alpha = 1;
    in.a = a;
    in.b = b;
    in.x = x;
    in.y = y;
    series_control ctl;
    ctl.tol = 1e-12;
    ctl.threads = threads;
    return sum_determinant(in, ctl);
}

// The route's value must be converged and its err must cover the distance to
// the truth (with a slack for the truth's own rounding).
void expect_covers(const std::string &what, const series_outcome &o, long double truth,
                   long double truth_rel = 1e-18L)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(o.state, series_state::converged) << o.message;
    const long double error = std::fabs(o.sum - truth);
    EXPECT_LE(error, o.rounding + truth_rel * std::fabs(truth))
        << "value " << (double)o.sum << " truth " << (double)truth << " err " << (double)o.rounding;
    EXPECT_LE(o.rounding, 1e-12L * std::fabs(truth));
}

std::vector<long double> spread(int n, long double low, long double high)
{
    std::vector<long double> x(n);
    for (int i = 0; i < n; i++) x[i] = low + (high - low) * i / (n - 1);
    return x;
}

} // namespace

// Where the tables reach (n <= 6) both routes must agree within their
// errors: one and two arguments, p = 0, 1, 2, eigenvalues of both signs.
TEST(PfqDeterminant, AgreesWithTablesAtSmallN)
{
    struct table_case {
        const char *name;
        std::vector<double> a, b, x, y;
    };
    const table_case cases[] = {
        {"1F1 n=4", {1.3}, {2.7}, {-1.5, -0.2, 0.4, 1.1}, {}},
        {"1F1 n=6", {-0.75}, {4.5}, {-2, -1.25, -0.5, 0.3, 0.9, 1.6}, {}},
        {"2F1 n=5", {0.5, 1.75}, {3.25}, {-0.5, -0.35, 0.05, 0.3, 0.45}, {}},
        {"0F1 n=3", {}, {5.5}, {-3, 0.5, 2}, {}},
        {"0F0 two n=3", {}, {}, {-0.8, 0.2, 0.9}, {-0.5, 0.4, 1.2}},
        {"1F1 two n=4", {2.5}, {6.25}, {-0.6, -0.1, 0.3, 0.8}, {-0.9, 0.2, 0.5, 1.1}},
    };
    for (const table_case &c : cases) {
        SCOPED_TRACE(c.name);
        pfq_problem p{c.a, c.b, c.x, c.y};
        pfq_options o;
        o.alpha = 1;
        const pfq_result det = matrix_pfq(p, o);
        const pfq_result tables = matrix_pfq_forced(p, o, route_choice::tables, relation_choice::automatic);
        ASSERT_EQ(det.status, pfq_status::converged) << det.message;
        ASSERT_EQ(tables.status, pfq_status::converged) << tables.message;
        EXPECT_NE(det.info.method.find("determinant"), std::string::npos) << det.info.method;
        EXPECT_LE(std::fabs(det.value - tables.value), det.err + tables.err)
            << det.value << " vs " << tables.value;
    }
}

// Closed forms at n = 20, both signs: 0F0(X) = etr X, 1F0(a; X) = det(I - X)^-a,
// and with two arguments 0F0(X, c I) = etr(c X) (Y a cluster of n equal
// eigenvalues, X the columns).
TEST(PfqDeterminant, ClosedFormsAtTwenty)
{
    const std::vector<long double> x = spread(20, -9.5, 8.75);
    long double trace = 0;
    for (long double v : x) trace += v;
    expect_covers("0F0", by_determinant({}, {}, x), std::exp(trace), 1e-17L);

    const std::vector<long double> z = spread(20, -0.9, 0.85);
    const long double a = 1.75;
    long double log_det = 0;
    for (long double v : z) log_det += std::log1p(-v);
    expect_covers("1F0", by_determinant({a}, {}, z), std::exp(-a * log_det), 1e-17L);

    const long double c = 0.625;
    expect_covers("0F0 two", by_determinant({}, {}, x, std::vector<long double>(20, c)),
                  std::exp(c * trace), 1e-17L);
}

// Two eigenvalues 1e-6 and 1e-12 apart, and equal: the clusters keep the
// value continuous and err covers the truth (closed forms at n = 20, the
// table route at n = 5).
TEST(PfqDeterminant, CloseEigenvalues)
{
    for (long double gap : {1e-6L, 1e-12L, 0.0L}) {
        SCOPED_TRACE("gap " + std::to_string((double)gap));
        std::vector<long double> x = spread(20, -6, 7);
        x[10] = x[9] + gap;
        long double trace = 0;
        for (long double v : x) trace += v;
        expect_covers("0F0", by_determinant({}, {}, x), std::exp(trace), 1e-17L);

        std::vector<long double> z = spread(20, -0.9, 0.9);
        z[4] = z[5] + gap;
        long double log_det = 0;
        for (long double v : z) log_det += std::log1p(-v);
        expect_covers("1F0", by_determinant({-2.5}, {}, z), std::exp(2.5L * log_det), 1e-17L);

        const double base = 0.45;
        pfq_problem p{{1.5}, {3.5}, {-1.2, -0.4, base, base + (double)gap, 1.3}, {}};
        pfq_options o;
        o.alpha = 1;
        const pfq_result det = matrix_pfq(p, o);
        const pfq_result tables = matrix_pfq_forced(p, o, route_choice::tables, relation_choice::automatic);
        ASSERT_EQ(det.status, pfq_status::converged) << det.message;
        EXPECT_LE(std::fabs(det.value - tables.value), det.err + tables.err);
    }
}

// 2F1 against mpmath's evaluation of the same determinants at 80 digits
// (tools/pfq_determinant_reference.py, mpmath hyp2f1 and det).
TEST(PfqDeterminant, Hypergeometric2F1AgainstMpmath)
{
    expect_covers("2F1 n=8",
                  by_determinant({1.5, 2.25}, {9.5}, {-0.9, -0.55, -0.3, -0.05, 0.1, 0.35, 0.6, 0.85}),
                  1.231037983519468253782959L);
    std::vector<long double> x12;
    for (int i = 0; i < 12; i++) x12.push_back(-0.95 + 0.15 * i);   // as the generator's doubles
    expect_covers("2F1 n=12", by_determinant({0.75, 13.5}, {15.25}, x12), 0.9938954474035704021684934L);
    expect_covers("2F1 two n=5",
                  by_determinant({6.5, 7.25}, {8.5}, {-0.8, -0.3, 0.2, 0.5, 0.7},
                                 {-0.6, 0.1, 0.4, 0.75, 0.9}),
                  12.09327240078123512733249L);
}

// Kummer's relation 1F1(a; b; X) = etr(X) 1F1(b - a; b; -X) at n = 40 over
// [-30, 30] with a pair 1e-6 apart: two different sets of scalar series and
// determinants must agree within their errs.
TEST(PfqDeterminant, KummerRelationAtForty)
{
    std::vector<long double> x = spread(40, -30, 30), minus_x;
    x[20] = x[19] + 1e-6L;
    long double trace = 0;
    for (long double v : x) {
        trace += v;
        minus_x.push_back(-v);
    }
    const series_outcome direct = by_determinant({1.5}, {4.25}, x);
    const series_outcome kummer = by_determinant({4.25L - 1.5L}, {4.25}, minus_x);
    ASSERT_EQ(direct.state, series_state::converged) << direct.message;
    ASSERT_EQ(kummer.state, series_state::converged) << kummer.message;
    const long double transformed = std::exp(trace) * kummer.sum;
    EXPECT_LE(std::fabs(direct.sum - transformed),
              direct.rounding + std::exp(trace) * kummer.rounding + 1e-17L * std::fabs(direct.sum))
        << (double)direct.sum << " vs " << (double)transformed;
}

// n = 40, where a point's values g_m come from the three-term relation in m
// (forward, backward and split segments: 0F1 and 1F1 at z up to 39 and
// down to -29, 2F1 on both sides of 1/2), against mpmath's evaluation of
// the determinant formula at 80 digits (tools/pfq_determinant_reference.py,
// mpmath hyper and det; the same at 120 digits agrees to all 25 digits shown).
// Three threads sharing the rows must give the same bits as one.
TEST(PfqDeterminant, RelationInShiftAgainstMpmathAtForty)
{
    std::vector<long double> x(40);
    for (int i = 0; i < 40; i++) x[i] = -29.25L + 1.5L * i;
    expect_covers("0F1", by_determinant({}, {3.5}, x), -959757300002320566632275.9L, 1e-17L);
    for (int i = 0; i < 40; i++) x[i] = -9.75L + 1.25L * i;
    const series_outcome alone = by_determinant({1.5}, {4.25}, x);
    expect_covers("1F1", alone, 1.075285410023755935841189e+234L, 1e-17L);
    const series_outcome shared = by_determinant({1.5}, {4.25}, x, {}, 3);
    EXPECT_EQ(shared.sum, alone.sum);
    EXPECT_EQ(shared.rounding, alone.rounding);
    EXPECT_EQ(shared.partitions, alone.partitions);
    for (int i = 0; i < 40; i++) x[i] = (i - 19.5L) * 0.046875L;
    expect_covers("2F1", by_determinant({0.75, 1.5}, {2.25}, x), 40.91319880459002479736394L, 1e-17L);
}

// 2F1 with eigenvalues down to -30, through matrix_pfq: the Pfaff relation
// takes them to z up to 0.968, where the g_m come from the connection to
// 1 - z. Against mpmath's hyp2f1, which continues each scalar value beyond
// -1 on its own, in the determinant formula on the original eigenvalues at
// 80 digits (tools/pfq_determinant_reference.py; 120 digits agree in all 25
// digits shown).
TEST(PfqDeterminant, Hypergeometric2F1DownToMinusThirty)
{
    struct far_case {
        const char *what;
        double a, b, c, first, step;
        int n;
        long double truth;
    };
    const far_case cases[] = {
        {"2F1(1.25, 0.5; 3.75) n=16", 1.25, 0.5, 3.75, -29.75, 2, 16, 40755994295054665.20056686L},
        {"2F1(0.75, 1.5; 2.25) n=20", 0.75, 1.5, 2.25, -28.75, 1.5, 20, -77783029453766213.0504423L},
        // b - a an integer: the Pfaff relation's c - a - b is one, and the
        // connection takes its logarithmic form (both signs of s - m).
        {"2F1(1.5, 1.5; 2.25) n=16", 1.5, 1.5, 2.25, -29.75, 2, 16, -5.301850634170710292943915L},
        {"2F1(0.75, 2.75; 3.25) n=20", 0.75, 2.75, 3.25, -28.75, 1.5, 20, -234193960.0915343671849795L},
        // A large c: the connection's series in 1 - z would grow to e^1471
        // and cancel beyond every rung (the route failed, and the call spent
        // 15 s in the tables); the series in z serves.
        {"2F1(1.5, 1.5; 5888) n=6", 1.5, 1.5, 5888, -29.5, 5.5, 6, 0.9649907448014425216244054L},
        // n = 40 up to 0.47: the determinant cancels some 190 bits, and the
        // value at 256 bits is taken with the error extrapolated from 192.
        // mpmath at 120 and 160 digits agree in all 30 digits shown.
        {"2F1(0.75, 1.5; 2.25) n=40", 0.75, 1.5, 2.25, -30, 0.78125, 40, -6.58984976157445596600765208802e+92L},
        {"2F1(1.5, 1.5; 2.25) n=40", 1.5, 1.5, 2.25, -30, 0.78125, 40, -6.77414816747493456842024940651e+77L},
    };
    for (const far_case &t : cases) {
        SCOPED_TRACE(t.what);
        std::vector<double> x;
        for (int i = 0; i < t.n; i++) x.push_back(t.first + t.step * i);
        pfq_options options;
        options.alpha = 1;
        options.tol = 1e-10;
        const pfq_result r = matrix_pfq({{t.a, t.b}, {t.c}, x, {}}, options);
        ASSERT_EQ(r.status, pfq_status::converged) << r.message;
        EXPECT_NE(r.info.method.find("determinant"), std::string::npos) << r.info.method;
        EXPECT_LE(std::fabs(r.value - t.truth), r.err + 1e-18L * std::fabs(t.truth))
            << r.value << " err " << r.err;
        EXPECT_LE(r.err, 1e-10 * std::fabs(t.truth));
    }
}

// The route keeps the call's work budget (an n = 1000 call used to run a
// minute past it): a budget below a rung's elimination does not begin it,
// one that cannot pay a rung's scalar terms stops it midway, one spent by
// the first rung stops before the second; a cluster of 40 eigenvalues 1e-9
// apart pays for its Taylor expansions and divided differences (few scalar
// terms: n = 500 used to run 40 s). None may end converged by the route.
TEST(PfqDeterminant, KeepsTheWorkBudget)
{
    std::vector<double> spread_x, cluster_x;
    for (long double v : spread(40, -30, 30)) spread_x.push_back((double)v);
    for (int i = 0; i < 40; i++) cluster_x.push_back(-1 - i * 1e-9);
    const std::pair<const std::vector<double> *, long long> cases[] = {
        {&spread_x, 10000}, {&spread_x, 100000}, {&spread_x, 200000}, {&cluster_x, 800000}};
    pfq_options options;
    options.alpha = 1;
    options.tol = 1e-10;
    for (const auto &[x, work] : cases) {
        SCOPED_TRACE(work);
        work_budget budget;
        budget.table_work = budget.visits = work;
        const pfq_result r = matrix_pfq_forced({{1.5}, {4.25}, *x, {}}, options, route_choice::automatic,
                                               relation_choice::none, budget);
        EXPECT_NE(r.status, pfq_status::converged);
        EXPECT_EQ(r.info.method.find("determinant"), std::string::npos) << r.info.method;
    }
}
