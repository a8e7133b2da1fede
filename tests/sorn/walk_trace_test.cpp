// Tests of the order in which the walk visits partitions, of pruning at zero
// coefficients, and of the order of the horizontal strips of a table fill,
// through the observers the walk and the tables accept.
#include <gtest/gtest.h>

#include <map>

#include "closed_forms.h"
#include "core_runner.h"

using namespace sorn_test;

namespace {

struct Strip {
    Partition mu;
    int removed;
    bool operator==(const Strip &other) const { return mu == other.mu && removed == other.removed; }
};

std::vector<Partition> visits;
std::vector<Strip> pending_strips;
std::map<Partition, std::vector<Strip>> strips_of;

Partition parts_of(const int *kappa, int rows)
{
    Partition parts;
    for (int i = 1; i <= rows && kappa[i] > 0; ++i)
        parts.push_back(kappa[i]);
    return parts;
}

void trace_walk_visit(void *, const int *kappa, int n, int, double)
{
    Partition kappa_parts = parts_of(kappa, n);
    visits.push_back(kappa_parts);
    strips_of[kappa_parts] = pending_strips;
    pending_strips.clear();
}

void trace_strip(void *, const int *mu, int rows, int removed)
{
    pending_strips.push_back({parts_of(mu, rows), removed});
}

std::vector<Partition> visits_of(int max_size, int max_part, double alpha, std::vector<double> a,
                                 int n)
{
    static const walk_observer visit_observer = {trace_walk_visit, nullptr};
    static const strip_observer strip_recorder = {trace_strip, nullptr};
    visits.clear();
    strips_of.clear();
    SeriesInput input;
    input.max_size = max_size;
    input.max_part = max_part;
    input.alpha = alpha;
    input.a = std::move(a);
    input.x = std::vector<double>(n, 0.5);
    RunObservers observers;
    observers.visits = &visit_observer;
    observers.strips = &strip_recorder;
    run_series(input, observers);
    return visits;
}

} // namespace

TEST(WalkOrder, VisitsInIncreasingLexicographicOrder)
{
    EXPECT_EQ(visits_of(3, 3, 1.0, {}, 3),
              (std::vector<Partition>{{1}, {1, 1}, {1, 1, 1}, {2}, {2, 1}, {3}}));
    EXPECT_EQ(visits_of(4, 4, 1.0, {}, 2),
              (std::vector<Partition>{{1}, {1, 1}, {2}, {2, 1}, {2, 2}, {3}, {3, 1}, {4}}));
    // Every admissible partition once, with max_part below max_size too.
    for (int n : {1, 2, 4, 6})
        for (int max_part : {2, 5, 9})
            EXPECT_EQ(visits_of(9, max_part, 2.5, {}, n), partitions_up_to(9, n, max_part))
                << "n=" << n << " max_part=" << max_part;
}

TEST(WalkOrder, ZeroCoefficientsCutOffTheirBranches)
{
    // a_1 = -1: the box (1, 2) has factor 0, so (2) is the last visit.
    EXPECT_EQ(visits_of(4, 4, 1.0, {-1.0}, 3),
              (std::vector<Partition>{{1}, {1, 1}, {1, 1, 1}, {2}}));
    // a_1 = -2: the nine partitions with first part at most 2, then (3).
    std::vector<Partition> expected = partitions_up_to(6, 3, 2);
    expected.push_back({3});
    EXPECT_EQ(expected.size(), 10u);
    EXPECT_EQ(visits_of(6, 6, 1.0, {-2.0}, 3), expected);
    EXPECT_EQ(visits_of(12, 12, 0.5, {-2.0}, 3), expected);
    // a_1 = 0: only (1).
    EXPECT_EQ(visits_of(5, 5, 3.0, {0.0}, 4), (std::vector<Partition>{{1}}));
}

TEST(StripOrder, LastListedRowTurnsFastest)
{
    visits_of(3 + 1, 4, 1.5, {}, 3);
    EXPECT_EQ(strips_of.at({3, 1}), (std::vector<Strip>{{{3}, 1}, {{2, 1}, 1}, {{2}, 2},
                                                       {{1, 1}, 2}, {{1}, 3}}));
    visits_of(5, 5, 1.5, {}, 4);
    EXPECT_EQ(strips_of.at({2, 2, 1}),
              (std::vector<Strip>{{{2, 2}, 1}, {{2, 1, 1}, 1}, {{2, 1}, 2}}));
    // (1): one strip down to the empty partition.
    EXPECT_EQ(strips_of.at({1}), (std::vector<Strip>{{{}, 1}}));
}
