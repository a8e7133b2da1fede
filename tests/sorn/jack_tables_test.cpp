// Tests of the Jack function tables: sizing, layout of positions, and the
// stored values against closed forms of the Jack functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

#include "closed_forms.h"
#include "core_runner.h"

using namespace sorn_test;

namespace {

SeriesInput plain_series(int max_size, double alpha, std::vector<double> x)
{
    SeriesInput input;
    input.max_size = max_size;
    input.max_part = max_size;
    input.alpha = alpha;
    input.x = std::move(x);
    return input;
}

} // namespace

TEST(TableSize, MatchesKnownCounts)
{
    struct Case { int n, max_size; long long expected; };
    const Case cases[] = {{1, 10, 11}, {2, 10, 11}, {3, 5, 12},  {3, 10, 36},
                          {4, 10, 67}, {5, 10, 94}, {1, 0, 1},   {2, 0, 1},
                          {3, 0, 1},   {7, 0, 1},   {40, 1, 2},  {3, 1, 2}};
    for (const Case &c : cases)
        EXPECT_EQ(count_table_size(c.max_size, c.n, jack_tables_max_positions), c.expected)
            << "n=" << c.n << " max_size=" << c.max_size;
}

TEST(TableSize, CountsPartitionsWithFewerRowsThanVariables)
{
    for (int n = 3; n <= 9; ++n)
        for (int max_size = 0; max_size <= 14; ++max_size) {
            long long expected = 1 + static_cast<long long>(
                partitions_up_to(max_size, n - 1, max_size).size());
            EXPECT_EQ(count_table_size(max_size, n, jack_tables_max_positions), expected)
                << "n=" << n << " max_size=" << max_size;
        }
}

TEST(TableSize, ReportsCountsBeyondTheLimitWithoutOverflow)
{
    // Three variables: partitions of at most two rows, (T + 1)^2 for max_size 2T.
    EXPECT_EQ(count_table_size(100000, 3, jack_tables_max_positions), 50001LL * 50001LL);
    EXPECT_EQ(count_table_size(2147483646, 3, jack_tables_max_positions),
              1073741824LL * 1073741824LL);
    // More variables: some value above the limit, found without a huge array.
    EXPECT_GT(count_table_size(2147483646, 1000000, jack_tables_max_positions),
              jack_tables_max_positions);
    EXPECT_GT(count_table_size(5000, 6, jack_tables_max_positions), jack_tables_max_positions);
    // Just inside: the exact count.
    EXPECT_EQ(count_table_size(150, 4, jack_tables_max_positions),
              1 + static_cast<long long>(partitions_up_to(150, 3, 150).size()));
}

TEST(TablePositions, EveryPositionHoldsExactlyOneStoredPartition)
{
    for (int n : {2, 3, 4, 6}) {
        CoreRun run(plain_series(9, 1.5, std::vector<double>(n, 0.5)));
        const jack_tables &t = run.tables();
        EXPECT_EQ(t.next_free, t.table_size + 1) << "n=" << n;
        std::set<int> seen;
        for (const Partition &kappa : partitions_up_to(9, n - 1, 9)) {
            int position = run.position(kappa);
            ASSERT_GE(position, 2) << to_string(kappa);
            ASSERT_LE(position, t.table_size) << to_string(kappa);
            EXPECT_TRUE(seen.insert(position).second) << "position reused by " << to_string(kappa);
            if (kappa.size() == 1) {
                EXPECT_EQ(position, kappa[0] + 1);
            }
        }
        EXPECT_EQ(static_cast<int>(seen.size()), t.table_size - 1);
    }
}

TEST(TablePositions, PartitionsNeverStoredLookUpToTheZeroRow)
{
    // Tables built but not filled: no block has been reserved.
    jack_tables t;
    const double x[] = {0.5, 0.25, 2.0, 1.0};
    jack_table_shape shape{6, 4, static_cast<int>(count_table_size(6, 4, jack_tables_max_positions)),
                           false};
    workspace_cursor counter;
    build_jack_tables(&t, shape, 1.0, x, nullptr, counter);
    std::vector<unsigned char> workspace(counter.bytes());
    workspace_cursor cursor(workspace.data(), workspace.size());
    build_jack_tables(&t, shape, 1.0, x, nullptr, cursor);
    const int two_one[] = {0, 2, 1};
    const int three_two_one[] = {0, 3, 2, 1};
    const int three[] = {0, 3};
    EXPECT_EQ(lookup_position(&t, two_one, 2, 0), 0);
    EXPECT_EQ(lookup_position(&t, three_two_one, 3, 0), 0);
    EXPECT_EQ(lookup_position(&t, three_two_one, 3, 1), 0); // (2, 1)
    EXPECT_EQ(lookup_position(&t, three_two_one, 3, 2), 2); // (1)
    EXPECT_EQ(lookup_position(&t, three, 1, 0), 4);
    EXPECT_EQ(lookup_position(&t, three, 1, 3), 1);          // the empty partition
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(jack_row(t.jack_x, 0, 4)[i], 0.0);
}

TEST(TablePositions, PartitionsCutOffByAnUnderflowReadAsZero)
{
    // The coefficient of (1, 1) underflows to 0, so the walk prunes there and
    // the block of children of (1, 1) is never reserved; later fills that
    // reach (1, 1, 1) or (2, 1, 1) through their strips must read zeros.
    SeriesInput input = plain_series(5, 7.5, {0.3, -0.2, 0.4, 0.1});
    input.a = {-1e-320, -1e-4};
    CoreRun run(input);
    EXPECT_NE(run.position({1, 1}), 0);
    for (const Partition &kappa : {Partition{1, 1, 1}, Partition{2, 1, 1}, Partition{2, 2, 1}}) {
        EXPECT_EQ(run.position(kappa), 0) << to_string(kappa);
        EXPECT_EQ(run.jack_x(kappa, 4), 0.0) << to_string(kappa);
    }
    for (double term : run.degree_sums())
        EXPECT_TRUE(std::isfinite(term));
}

TEST(JackValues, AllOnesMatchTheBoxProduct)
{
    for (double alpha : {0.5, 1.0, 2.5}) {
        const int n = 5;
        CoreRun run(plain_series(8, alpha, std::vector<double>(n, 1.0)));
        for (const Partition &kappa : partitions_up_to(8, n - 1, 8))
            for (int i = 1; i <= n; ++i) {
                Real expected = jack_at_ones(kappa, i, alpha);
                double got = run.jack_x(kappa, i);
                if (i < static_cast<int>(kappa.size())) {
                    EXPECT_EQ(got, 0.0) << to_string(kappa) << " i=" << i;
                } else {
                    EXPECT_LE(error_in_eps(got, expected, expected), 64)
                        << to_string(kappa) << " i=" << i << " alpha=" << alpha
                        << " expected " << static_cast<double>(expected) << " got " << got;
                }
            }
    }
}

TEST(JackValues, SmallPartitionsMatchTheirClosedForms)
{
    const double alpha = 1.75;
    const std::vector<double> x = {0.7, -1.3, 0.4, 2.1};
    CoreRun run(plain_series(6, alpha, x));
    // (m) with one variable: x_1^m prod_{s=1..m} (1 + (s-1) alpha) / (alpha s).
    for (int m = 1; m <= 6; ++m) {
        Real expected = std::pow(Real(x[0]), m);
        for (int s = 1; s <= m; ++s)
            expected *= (1 + (s - 1) * Real(alpha)) / (Real(alpha) * s);
        EXPECT_LE(error_in_eps(run.jack_x({m}, 1), expected, expected), 8) << "m=" << m;
    }
    // (1) with i variables: (x_1 + ... + x_i) / alpha.
    for (int i = 1; i <= 4; ++i) {
        Real sum = 0;
        for (int k = 0; k < i; ++k)
            sum += x[k];
        EXPECT_LE(error_in_eps(run.jack_x({1}, i), sum / alpha, 4), 4) << "i=" << i;
    }
    // (1, 1) with two variables: 2 x_1 x_2 / (alpha (1 + alpha)).
    Real expected = 2 * Real(x[0]) * x[1] / (Real(alpha) * (1 + Real(alpha)));
    EXPECT_LE(error_in_eps(run.jack_x({1, 1}, 2), expected, expected), 4);
}

TEST(JackValues, FullValueIsSymmetricInTheVariables)
{
    const std::vector<double> x = {0.9, 0.35, 1.6, 0.05, 1.1};
    std::vector<double> permuted = {1.6, 0.05, 0.9, 1.1, 0.35};
    const int n = static_cast<int>(x.size());
    for (double alpha : {0.6, 3.0}) {
        CoreRun first(plain_series(7, alpha, x));
        CoreRun second(plain_series(7, alpha, permuted));
        for (const Partition &kappa : partitions_up_to(7, n - 1, 7)) {
            double a = first.jack_x(kappa, n);
            double b = second.jack_x(kappa, n);
            EXPECT_LE(error_in_eps(b, a, a), 64) << to_string(kappa) << " alpha=" << alpha;
        }
        // The values with fewer variables depend on which variables come first.
        EXPECT_NE(first.jack_x({2, 1}, 2), second.jack_x({2, 1}, 2));
    }
}
