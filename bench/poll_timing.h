// poll_timing.h: wall time, and the cost of polling an interrupt query, for
// the benchmarks of the walks.
#ifndef BENCH_POLL_TIMING_H
#define BENCH_POLL_TIMING_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

inline double wall_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Counts its polls (in the long at `context`) and never asks to stop: what a
// host's poll costs at least.
inline bool idle_poll(void *context)
{
    ++*static_cast<long *>(context);
    return false;
}

// Runs run(false) and run(true) (without and with a poll that never fires)
// alternately, so that neither always runs on a warmed cache, and reports
// the best wall time of each, their ratio less one as the overhead, and the
// polls per iteration.
template <class Run> void time_polling(benchmark::State &state, Run run, const long &polls)
{
    double best_plain = 1e300, best_polled = 1e300;
    bool polled_first = false;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            bool polling = (turn == 0) == polled_first;
            double start = wall_seconds();
            run(polling);
            double &best = polling ? best_polled : best_plain;
            best = std::min(best, wall_seconds() - start);
        }
        polled_first = !polled_first;
    }
    state.counters["plain_s"] = benchmark::Counter(best_plain);
    state.counters["polled_s"] = benchmark::Counter(best_polled);
    state.counters["overhead"] = benchmark::Counter(best_polled / best_plain - 1);
    state.counters["polls"] = benchmark::Counter(static_cast<double>(polls) / state.iterations());
}

#endif // BENCH_POLL_TIMING_H
