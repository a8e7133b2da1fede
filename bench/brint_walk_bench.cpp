// brint_walk_bench.cpp: the brint coefficient walk over a grid of calls.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench_cases.h"
#include "matrixhyper/brint_series.h"
#include "partition_counts.h"
#include "poll_timing.h"

namespace {

void time_walk(benchmark::State &state, BenchCase c)
{
    std::vector<double> a = numerators(c), b = denominators(c);
    std::vector<double> degree_sums(c.max_size + 1);
    matrixhyper::brint_request request{c.max_size, c.max_size, c.alpha, a.data(), a.size(),
                                       b.data(),   b.size(),   c.n};
    std::vector<unsigned char> workspace(matrixhyper::brint_workspace_size(c.max_size, c.n));
    for (auto _ : state) {
        matrixhyper::brint_coefficients(request, workspace.data(), degree_sums.data());
        benchmark::DoNotOptimize(degree_sums.data());
    }
    set_count(state, "partitions", "t/partition",
              static_cast<double>(partitions_up_to(c.max_size, c.n)));
}

// The walk with and without a poll that never fires, alternately: the ratio
// of the best wall times is the cost of polling.
void time_poll_overhead(benchmark::State &state, BenchCase c)
{
    std::vector<double> a = numerators(c), b = denominators(c);
    std::vector<double> degree_sums(c.max_size + 1);
    long polls = 0;
    matrixhyper::interrupt_check idle{idle_poll, &polls};
    matrixhyper::brint_request plain{c.max_size, c.max_size, c.alpha, a.data(), a.size(),
                                     b.data(),   b.size(),   c.n};
    matrixhyper::brint_request polled = plain;
    polled.interrupt = &idle;
    std::vector<unsigned char> workspace(matrixhyper::brint_workspace_size(c.max_size, c.n));
    time_polling(state, [&](bool polling) {
        matrixhyper::brint_coefficients(polling ? polled : plain, workspace.data(), degree_sums.data());
    }, polls);
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (int n : {2, 5, 10, 20, 50})
        for (int max_size : {10, 20, 40, 60, 80, 100})
            for (double alpha : {1.0, 2.0})
                for (int parameters = 0; parameters <= 1; ++parameters) {
                    // Beyond 10^8 partitions (seconds a call) alpha = 2 adds nothing new.
                    if (alpha == 2 && partitions_up_to(max_size, n) > 100000000)
                        continue;
                    BenchCase c{n, max_size, alpha, parameters == 1, false};
                    benchmark::RegisterBenchmark(("brint_walk/" + case_name(c, false)).c_str(),
                                                 time_walk, c)
                        ->Unit(unit_for(static_cast<double>(partitions_up_to(max_size, n))))
                        ->MinTime(0.1);
                }
    for (int n : {2, 10, 20}) {
        BenchCase c{n, 80, 1.0, true, false};
        benchmark::RegisterBenchmark(("brint_poll_overhead/" + case_name(c, false)).c_str(),
                                     time_poll_overhead, c)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
