// Coefficient walk against closed forms, hand-derived small cases and an
// independent evaluation of every term from its product definition.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "walk_support.h"

using namespace brint_test;

namespace {

using Params = std::vector<double>;

// Expected coefficients with a tolerance in eps, checked degree by degree.
void expect_coefficients(const std::vector<double> &got,
                         const std::vector<long double> &expected, double tol_eps)
{
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); k++)
        EXPECT_LE(error_in_eps(got[k], expected[k]), tol_eps)
            << "degree " << k << ": got " << got[k] << ", expected " << (double)expected[k];
}

// ---- Closed forms (truncated series of functions of the trace).

// p = q = 0: exp(n x), coefficients n^k / k! whatever alpha.
std::vector<long double> exp_series(int n, int max_size)
{
    std::vector<long double> c(max_size + 1);
    c[0] = 1.0L;
    for (int k = 1; k <= max_size; k++) c[k] = c[k - 1] * n / k;
    return c;
}

// p = 1, q = 0: (1 - x)^(-a n), coefficients (a n)(a n + 1)...(a n + k - 1) / k!.
std::vector<long double> binomial_series(long double a, int n, int max_size)
{
    std::vector<long double> c(max_size + 1);
    c[0] = 1.0L;
    for (int k = 1; k <= max_size; k++) c[k] = c[k - 1] * (a * n + k - 1) / k;
    return c;
}

// n = 1: the scalar series with ordinary rising factorials, cut at max_part.
std::vector<long double> scalar_series(const Params &a, const Params &b, int max_size,
                                       int max_part)
{
    std::vector<long double> c(max_size + 1, 0.0L);
    c[0] = 1.0L;
    for (int k = 1; k <= max_size && k <= max_part; k++) {
        long double ratio = 1.0L / k;
        for (double ai : a) ratio *= (long double)ai + k - 1;
        for (double bi : b) ratio /= (long double)bi + k - 1;
        c[k] = c[k - 1] * ratio;
    }
    return c;
}

TEST(CoefficientWalkClosedForms, ExponentialOfTrace)
{
    for (double alpha : {0.5, 1.0, 2.0, 3.7})
        for (int n : {1, 2, 3, 7}) {
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << ", n " << n);
            expect_coefficients(run_walk(10, 10, alpha, {}, {}, n), exp_series(n, 10), 16);
            expect_coefficients(run_walk(10, 25, alpha, {}, {}, n), exp_series(n, 10), 16);
        }
}

TEST(CoefficientWalkClosedForms, PowerOfDeterminant)
{
    for (double alpha : {0.5, 1.0, 2.0, 3.7})
        for (int n : {1, 2, 4})
            for (double a : {0.75, 2.5, -1.25}) {
                SCOPED_TRACE(testing::Message() << "alpha " << alpha << ", n " << n << ", a " << a);
                expect_coefficients(run_walk(9, 9, alpha, {a}, {}, n),
                                    binomial_series(a, n, 9), 64);
            }
}

TEST(CoefficientWalkClosedForms, OneVariableIsTheScalarSeries)
{
    const Params a = {0.5, -2.75, 3.0}, b = {1.5, 0.25};
    for (double alpha : {0.5, 1.0, 2.0, 3.7})
        for (int max_part : {8, 3, 0}) {
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << ", max_part " << max_part);
            expect_coefficients(run_walk(8, max_part, alpha, a, b, 1),
                                scalar_series(a, b, 8, max_part), 16);
        }
}

// ---- Small cases worked by hand.

TEST(CoefficientWalkWorkedCases, Examples)
{
    // exp(2x) in two variables.
    expect_coefficients(run_walk(4, 4, 2.0, {}, {}, 2), {1, 2, 2, 4.0L / 3, 2.0L / 3}, 2);
    // One column only: (1), (1,1), (1,1,1) with n = 3, alpha = 2.
    expect_coefficients(run_walk(5, 1, 2.0, {}, {}, 3), {1, 3, 2, 1.0L / 3, 0, 0}, 2);
    // det(I - X)^2 for n = 2: the series ends at degree 4.
    for (double alpha : {0.5, 1.0, 2.0, 5.0})
        expect_coefficients(run_walk(6, 6, alpha, {-2.0}, {}, 2), {1, -4, 6, -4, 1, 0, 0}, 16);
}

TEST(CoefficientWalkWorkedCases, EmptyPartitionOnly)
{
    const std::vector<double> only_one = {1, 0, 0, 0, 0};
    EXPECT_TRUE(same_bits(run_walk(4, 0, 2.0, {1.5}, {}, 3), only_one));     // max_part 0
    EXPECT_TRUE(same_bits(run_walk(4, -1, 2.0, {1.5}, {}, 3), only_one));    // [4.7 -1]
    EXPECT_TRUE(same_bits(run_walk(4, INT32_MIN, 2.0, {}, {}, 3), only_one)); // clamped bound
    EXPECT_TRUE(same_bits(run_walk(4, 4, 2.0, {1.5, 0.0}, {}, 3), only_one)); // a_k = 0
    EXPECT_TRUE(same_bits(run_walk(4, 4, 2.0, {1.5}, {}, 0), only_one));     // no variables
    EXPECT_TRUE(same_bits(run_walk(0, 7, 2.0, {1.5}, {}, 3), std::vector<double>{1}));
}

TEST(CoefficientWalkWorkedCases, PartBoundAboveSizeIsNoBound)
{
    const Params a = {1.25}, b = {0.5};
    EXPECT_TRUE(same_bits(run_walk(7, 8, 1.5, a, b, 3), run_walk(7, 7, 1.5, a, b, 3)));
    EXPECT_TRUE(same_bits(run_walk(7, INT32_MAX, 1.5, a, b, 3), run_walk(7, 7, 1.5, a, b, 3)));
}

TEST(CoefficientWalkWorkedCases, ManyVariablesUseFewRows)
{
    // Arrays of max_size + 2 entries for a million variables.
    ASSERT_EQ(walk_rows(5, 1000000), 6);
    ASSERT_EQ(walk_rows(2147483646, 2147483647), 2147483647);
    expect_coefficients(run_walk(5, 5, 2.0, {}, {}, 1000000), exp_series(1000000, 5), 16);
}

// A pole (b_k + u = 0) is not pruned: the infinite term goes into its
// degree and on into the partitions reached from it.
TEST(CoefficientWalkWorkedCases, PoleIsNotPruned)
{
    std::vector<double> sums = run_walk(3, 3, 2.0, {}, {0.0}, 2);
    EXPECT_TRUE(std::isinf(sums[1]));
    EXPECT_FALSE(std::isfinite(sums[2]));
    EXPECT_FALSE(std::isfinite(sums[3]));
}

// ---- Every term from its product definition, in long double.

using Partition = std::vector<int>;  // positive parts, non-increasing

// Calls `visit` for every partition with at most `rows` parts, parts at
// most `max_part`, size 1..max_size.
void for_each_partition(int rows, int max_part, int max_size,
                        const std::function<void(const Partition &)> &visit)
{
    Partition kappa;
    std::function<void(int, int)> extend = [&](int bound, int room) {
        if ((int)kappa.size() == rows) return;
        for (int part = 1; part <= bound && part <= room; part++) {
            kappa.push_back(part);
            visit(kappa);
            extend(part, room - part);
            kappa.pop_back();
        }
    };
    extend(max_part, max_size);
}

// (c)_kappa = prod over boxes (i, s) of (c - (i - 1)/alpha + s - 1).
long double pochhammer(long double c, const Partition &kappa, long double alpha)
{
    long double r = 1.0L;
    for (size_t i = 1; i <= kappa.size(); i++)
        for (int s = 1; s <= kappa[i - 1]; s++) r *= c - (i - 1) / alpha + s - 1;
    return r;
}

// J_kappa(I_n) = prod over boxes of (n - i + 1 + alpha (s - 1)), and the hook
// product j_kappa, in one pass over the boxes.
long double term_by_definition(const Partition &kappa, long double alpha,
                               const Params &a, const Params &b, int n)
{
    int size = 0;
    long double jack = 1.0L, hooks = 1.0L;
    for (size_t i = 1; i <= kappa.size(); i++) {
        for (int s = 1; s <= kappa[i - 1]; s++) {
            int conj = 0;  // rows of length at least s
            for (int part : kappa) conj += part >= s;
            long double arm = kappa[i - 1] - s;
            jack *= n - (long double)i + 1 + alpha * (s - 1);
            hooks *= (conj - (long double)i + alpha * (arm + 1)) *
                     (conj - (long double)i + 1 + alpha * arm);
            size++;
        }
    }
    long double t = std::pow(alpha, (long double)size) * jack / hooks;
    for (double ai : a) t *= pochhammer(ai, kappa, alpha);
    for (double bi : b) t /= pochhammer(bi, kappa, alpha);
    return t;
}

struct DefinitionCase {
    int max_size, max_part;
    double alpha;
    Params a, b;
    int n;
};

// The error is measured against the sum of |T| of the degree, which is what
// the rounding of the individual terms scales with.
TEST(CoefficientWalkDefinition, SumsOfTermsFromProducts)
{
    const DefinitionCase cases[] = {
        {8, 8, 1.0, {1.5, -0.3}, {2.25}, 3},
        {8, 8, 2.0, {0.7}, {1.1, 3.5}, 4},
        {8, 3, 0.5, {-1.75}, {0.6}, 5},
        {9, 9, 3.7, {2.0, 1.0, 0.4}, {}, 2},
        {7, 7, 0.3, {}, {0.45}, 6},
        {10, 10, 1.0 / 3, {-4.0, 0.9}, {1.2}, 3},
        {8, 2, 2.0, {}, {}, 8},
        {6, 6, -0.8, {1.3}, {2.6}, 3},  // negative alpha: same recurrence, same terms
    };
    for (const DefinitionCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "alpha " << c.alpha << ", n " << c.n
                                        << ", bounds [" << c.max_size << " " << c.max_part << "]");
        std::vector<long double> sums(c.max_size + 1, 0.0L), scale(c.max_size + 1, 0.0L);
        sums[0] = scale[0] = 1.0L;
        for_each_partition(c.n, c.max_part, c.max_size, [&](const Partition &kappa) {
            int size = 0;
            for (int part : kappa) size += part;
            long double t = term_by_definition(kappa, c.alpha, c.a, c.b, c.n);
            sums[size] += t;
            scale[size] += std::fabs(t);
        });
        std::vector<double> got = run_walk(c.max_size, c.max_part, c.alpha, c.a, c.b, c.n);
        for (int k = 0; k <= c.max_size; k++)
            EXPECT_LE((double)(std::fabs(got[k] - sums[k]) / scale[k] / eps), 64.0)
                << "degree " << k << ": got " << got[k] << ", expected " << (double)sums[k];
    }
}

// A zero term ends its branch. With a_1 = -2 and n = 2 the term of (3) is 0
// and (3) is the last partition visited; b_1 = -3 puts a pole in the box
// (1, 4), so a walk that went on to (4) would add 0 x Inf = NaN to degree 4.
// The visited partitions are those with first part at most 2, plus (3).
TEST(CoefficientWalkDefinition, ZeroTermPrunesItsBranch)
{
    const Params a = {-2.0}, b = {-3.0};
    std::vector<long double> expected(7, 0.0L);
    expected[0] = 1.0L;
    for_each_partition(2, 2, 6, [&](const Partition &kappa) {
        int size = 0;
        for (int part : kappa) size += part;
        expected[size] += term_by_definition(kappa, 1.0L, a, b, 2);
    });
    expect_coefficients(run_walk(6, 6, 1.0, a, b, 2), expected, 16);
}

} // namespace

// A numerator parameter -k ends the series at degree k n for every alpha,
// also where alpha is not exact in steps (0.1, 0.3, ...): the factor of row
// 1 at column k + 1 must be exactly 0. Truth: 1F0(-k; t I_n) = (1 - t)^(k n),
// an integer, and 1F1(-3; -5; t) = 1 + 6t/10 + ... = 44/15 at t = 2 for one
// variable (four terms by hand: 1 + 1.2 + 0.6 + 2/15).
TEST(CoefficientWalkTermination, NegativeIntegerParametersEndTheSeries)
{
    for (double alpha : {0.1, 0.3, 0.7, 1.1, 1.3, 3.7})
        for (int k = 1; k <= 4; k++)
            for (int n = 1; n <= 4; n++) {
                std::vector<double> sums = run_walk(k * n + 30, k * n + 30, alpha, {-double(k)}, {}, n);
                for (size_t d = k * n + 1; d < sums.size(); d++)
                    ASSERT_EQ(sums[d], 0.0) << "alpha " << alpha << " k " << k << " n " << n << " degree " << d;
                for (double t : {2.0, 3.0, -2.0}) {
                    double value = 0, magnitude = 0; // Horner, and the same for |terms|
                    for (size_t d = sums.size(); d-- > 0;) {
                        value = value * t + sums[d];
                        magnitude = magnitude * std::fabs(t) + std::fabs(sums[d]);
                    }
                    double exact = std::pow(1.0 - t, k * n);
                    EXPECT_LE(std::fabs(value - exact), 64 * eps * magnitude)
                        << "alpha " << alpha << " k " << k << " n " << n << " t " << t;
                }
            }
    for (double alpha : {0.1, 0.7, 3.7}) {
        std::vector<double> sums = run_walk(300, 300, alpha, {-3.0}, {-5.0}, 1);
        double value = 0;
        for (size_t d = sums.size(); d-- > 0;) value = value * 2.0 + sums[d];
        EXPECT_LE(error_in_eps(value, 44.0L / 15), 8) << "alpha " << alpha;
    }
}
