// core_runner.h: runs the tables and the walk of sorn the way the gateway
// does, and keeps the filled tables for inspection.
#ifndef SORN_TEST_CORE_RUNNER_H
#define SORN_TEST_CORE_RUNNER_H

#include <vector>

#include "closed_forms.h"
#include "jack_tables.h"
#include "partition_walk.h"

namespace sorn_test {

using namespace matrixhyper;

struct SeriesInput {
    int max_size = 0;
    int max_part = 0;
    double alpha = 1;
    std::vector<double> a, b, x, y; // y empty: one-argument series
};

// What a run lets the tests observe: every partition the walk visits and
// every strip a table fill enumerates (null: nothing).
struct RunObservers {
    const walk_observer *visits = nullptr;
    const strip_observer *strips = nullptr;
};

class CoreRun {
public:
    explicit CoreRun(const SeriesInput &input, const RunObservers &observers = RunObservers());
    CoreRun(const CoreRun &) = delete;
    CoreRun &operator=(const CoreRun &) = delete;

    const std::vector<double> &degree_sums() const { return degree_sums_; }
    const jack_tables &tables() const { return tables_; }
    // Table position of a stored partition (fewer than n rows).
    int position(const Partition &kappa) const;
    // Stored Q_kappa(x_1..x_i) (or of y), read through the lookup.
    double jack_x(const Partition &kappa, int i) const;
    double jack_y(const Partition &kappa, int i) const;

private:
    jack_tables tables_;
    sorn_walk_state walk_;
    std::vector<unsigned char> workspace_;
    std::vector<double> degree_sums_;
};

// degree_sums of one run.
std::vector<double> run_series(const SeriesInput &input,
                               const RunObservers &observers = RunObservers());

} // namespace sorn_test

#endif // SORN_TEST_CORE_RUNNER_H
