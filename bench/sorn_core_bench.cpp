// sorn_core_bench.cpp: the sorn core (tables and walk, as the gateway runs
// them) over a grid of calls, and beside it for the large calls the frozen
// direct transcription, so that both times come from one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>
#include <utility>

#include "bench_cases.h"
#include "direct_sorn.h"
#include "matrixhyper/sorn_series.h"
#include "partition_counts.h"
#include "plain_c_sorn.h"
#include "poll_timing.h"

namespace {

struct SornInputs {
    std::vector<double> a, b, x, y; // y empty: one argument
    explicit SornInputs(const BenchCase &c)
        : a(numerators(c)), b(denominators(c)), x(x_values(c.n))
    {
        if (c.two_args)
            y = y_values(c.n);
    }
};

// degree_sums of one call of the plug-in's core, sized and run as the
// gateway does, with `threads` threads (0: the default) and an optional poll.
double run_sorn_core(const BenchCase &c, const SornInputs &in, std::vector<double> &degree_sums,
                     int threads = 0, const matrixhyper::interrupt_check *interrupt = nullptr)
{
    matrixhyper::sorn_request request{c.max_size, c.max_size, c.alpha, in.a.data(), in.a.size(),
                                      in.b.data(), in.b.size(), in.x.size(), in.x.data(),
                                      in.y.empty() ? nullptr : in.y.data(), threads, interrupt};
    matrixhyper::sorn_sizing sizing =
        matrixhyper::sorn_workspace_size(c.max_size, in.x.size(), !in.y.empty(), LLONG_MAX, threads);
    std::vector<unsigned char> workspace(sizing.workspace_bytes);
    matrixhyper::sorn_series(request, sizing, workspace.data(), degree_sums.data());
    return degree_sums[c.max_size];
}

// The core with the default thread count, as the gateway calls it.
double run_sorn_default(const BenchCase &c, const SornInputs &in, std::vector<double> &degree_sums)
{
    return run_sorn_core(c, in, degree_sums);
}

// The same call through the frozen direct transcription.
double run_reference(const BenchCase &c, const SornInputs &in, std::vector<double> &degree_sums)
{
    namespace ref = direct_sorn;
    long long table_size = ref::count_table_size(c.max_size, c.n, ref::jack_tables_max_positions);
    ref::jack_tables tables;
    ref::build_jack_tables(&tables, c.max_size, c.n, c.alpha, in.x.data(),
                           in.y.empty() ? nullptr : in.y.data(), static_cast<int>(table_size));
    ref::walk_arrays walk;
    ref::create_walk_arrays(&walk, c.n, c.max_size);
    ref::create_fill_work(&tables);
    ref::series_parameters parameters{in.a.data(), in.a.size(), in.b.data(), in.b.size()};
    ref::partition_walk(c.max_size, c.alpha, &parameters, &tables, &walk, degree_sums.data());
    ref::release_walk_arrays(&walk);
    ref::release_jack_tables(&tables);
    return degree_sums[c.max_size];
}

const SornWork &work_of(int max_size, int n)
{
    static std::map<std::pair<int, int>, SornWork> known;
    auto found = known.find({max_size, n});
    if (found == known.end())
        found = known.emplace(std::make_pair(max_size, n), sorn_work(max_size, n)).first;
    return found->second;
}

template <double (*Run)(const BenchCase &, const SornInputs &, std::vector<double> &)>
void time_core(benchmark::State &state, BenchCase c)
{
    SornInputs inputs(c);
    std::vector<double> degree_sums(c.max_size + 1);
    for (auto _ : state) {
        std::fill(degree_sums.begin(), degree_sums.end(), 0.0);
        degree_sums[0] = 1;
        benchmark::DoNotOptimize(Run(c, inputs, degree_sums));
    }
    const SornWork &work = work_of(c.max_size, c.n);
    set_count(state, "partitions", "t/partition", static_cast<double>(work.partitions));
    set_count(state, "rows", "t/row", static_cast<double>(work.table_rows));
    set_count(state, "strips", "t/strip", static_cast<double>(work.strips));
}

void register_core(const BenchCase &c)
{
    benchmark::RegisterBenchmark(("sorn_core/" + case_name(c, true)).c_str(),
                                 time_core<run_sorn_default>, c)
        ->Unit(unit_for(static_cast<double>(work_of(c.max_size, c.n).strips)))
        ->MinTime(0.1);
}

// The same call through the direct transcription and the plug-in's core
// with `threads` threads, alternately, once each per iteration: the best
// wall time of each and their ratio, measured side by side so that a change
// in the machine's load hits both. The results must agree bit for bit.
void time_against_reference(benchmark::State &state, BenchCase c, int threads)
{
    SornInputs inputs(c);
    std::vector<double> reference_sums(c.max_size + 1), core_sums(c.max_size + 1);
    double best_reference = 1e300, best_core = 1e300;
    for (auto _ : state) {
        std::fill(reference_sums.begin(), reference_sums.end(), 0.0);
        std::fill(core_sums.begin(), core_sums.end(), 0.0);
        reference_sums[0] = core_sums[0] = 1;
        double start = wall_seconds();
        run_reference(c, inputs, reference_sums);
        double middle = wall_seconds();
        run_sorn_core(c, inputs, core_sums, threads);
        double end = wall_seconds();
        best_reference = std::min(best_reference, middle - start);
        best_core = std::min(best_core, end - middle);
        if (std::memcmp(reference_sums.data(), core_sums.data(),
                        core_sums.size() * sizeof(double)) != 0) {
            state.SkipWithError("the plug-in's core differs from the reference");
            break;
        }
    }
    const SornWork &work = work_of(c.max_size, c.n);
    state.counters["partitions"] = benchmark::Counter(static_cast<double>(work.partitions));
    state.counters["strips"] = benchmark::Counter(static_cast<double>(work.strips));
    state.counters["reference_s"] = benchmark::Counter(best_reference);
    state.counters["sorn_s"] = benchmark::Counter(best_core);
    state.counters["ratio"] = benchmark::Counter(best_core / best_reference);
    state.counters["ns/strip"] = benchmark::Counter(best_core * 1e9 / static_cast<double>(work.strips));
}

void register_pair(const BenchCase &c, int threads)
{
    benchmark::RegisterBenchmark(("vs_reference/" + case_name(c, true) + "/threads:" +
                                  std::to_string(threads)).c_str(),
                                 time_against_reference, c, threads)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(c.max_size > 50 ? 2 : 5)
        ->UseRealTime();
}

// The same call through the plain C baseline; false when it refused.
bool run_plain_c(const BenchCase &c, const SornInputs &in, std::vector<double> &degree_sums)
{
    return plain_c_sorn(c.max_size, c.max_size, c.alpha, in.a.data(), static_cast<int>(in.a.size()),
                        in.b.data(), static_cast<int>(in.b.size()), c.n, in.x.data(),
                        in.y.empty() ? nullptr : in.y.data(), degree_sums.data()) == 0;
}

// The plain C baseline and the plug-in's core with `threads` threads,
// alternately, once each per iteration, as time_against_reference does:
// the best wall time of each and their ratio. The results must agree bit
// for bit.
void time_against_plain_c(benchmark::State &state, BenchCase c, int threads)
{
    SornInputs inputs(c);
    std::vector<double> baseline_sums(c.max_size + 1), core_sums(c.max_size + 1);
    double best_baseline = 1e300, best_core = 1e300;
    for (auto _ : state) {
        std::fill(core_sums.begin(), core_sums.end(), 0.0);
        core_sums[0] = 1;
        double start = wall_seconds();
        bool ran = run_plain_c(c, inputs, baseline_sums);
        double middle = wall_seconds();
        run_sorn_core(c, inputs, core_sums, threads);
        double end = wall_seconds();
        best_baseline = std::min(best_baseline, middle - start);
        best_core = std::min(best_core, end - middle);
        if (!ran || std::memcmp(baseline_sums.data(), core_sums.data(),
                                core_sums.size() * sizeof(double)) != 0) {
            state.SkipWithError("the plug-in's core differs from the plain C baseline");
            break;
        }
    }
    state.counters["plain_c_s"] = benchmark::Counter(best_baseline);
    state.counters["sorn_s"] = benchmark::Counter(best_core);
    state.counters["ratio"] = benchmark::Counter(best_core / best_baseline);
}

void register_plain_c_pair(const BenchCase &c, int threads)
{
    benchmark::RegisterBenchmark(("vs_plain_c/" + case_name(c, true) + "/threads:" +
                                  std::to_string(threads)).c_str(),
                                 time_against_plain_c, c, threads)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5)
        ->UseRealTime();
}

// Small calls on which the plain C baseline must give the core's degree
// sums bit for bit before any time is taken: both series, Jack parameters
// other than 1 with parameters in the coefficient, one to nine variables,
// and a numerator that cuts the walk short (-2: zero boxes from column 3).
bool plain_c_agrees_with_core()
{
    for (int two_args = 0; two_args <= 1; ++two_args)
        for (int n : {1, 2, 3, 5, 9})
            for (double alpha : {0.5, 1.0, 2.0})
                for (int parameters = 0; parameters <= 1; ++parameters) {
                    BenchCase c{n, 14, alpha, parameters == 1, two_args == 1};
                    SornInputs inputs(c);
                    if (alpha == 0.5)
                        inputs.a.push_back(-2.0);
                    std::vector<double> baseline(c.max_size + 1), core(c.max_size + 1, 0.0);
                    core[0] = 1;
                    for (int threads : {1, 2}) {
                        run_sorn_core(c, inputs, core, threads);
                        if (!run_plain_c(c, inputs, baseline) ||
                            std::memcmp(baseline.data(), core.data(),
                                        core.size() * sizeof(double)) != 0)
                            return false;
                        std::fill(core.begin(), core.end(), 0.0);
                        core[0] = 1;
                    }
                }
    return true;
}

// The core with and without a poll that never fires, alternately: the
// ratio of the best wall times is the cost of polling.
void time_poll_overhead(benchmark::State &state, BenchCase c, int threads)
{
    SornInputs inputs(c);
    std::vector<double> sums(c.max_size + 1);
    long polls = 0;
    matrixhyper::interrupt_check idle{idle_poll, &polls};
    time_polling(state, [&](bool polling) {
        if (polling)
            run_sorn_core(c, inputs, sums, threads, &idle);
        else
            run_sorn_core(c, inputs, sums, threads);
    }, polls);
}

// A STREAM-like triad a[i] = b[i] + s * c[i] over arrays far larger than the
// caches, on `threads` threads: bytes moved per second, the rate that the
// memory system allows.
void time_triad(benchmark::State &state, int threads)
{
    const size_t length = size_t(1) << 23; // 64 MB an array
    std::vector<double> a(length, 1.0), b(length, 2.0), c(length, 0.5);
    for (auto _ : state) {
        std::vector<std::thread> team;
        for (int t = 0; t < threads; ++t)
            team.emplace_back([&, t] {
                size_t first = length * t / threads, last = length * (t + 1) / threads;
                for (size_t i = first; i < last; ++i)
                    a[i] = b[i] + 3.0 * c[i];
            });
        for (std::thread &thread : team)
            thread.join();
        benchmark::DoNotOptimize(a.data());
    }
    state.counters["bytes/s"] = benchmark::Counter(
        static_cast<double>(3 * length * sizeof(double)), benchmark::Counter::kIsIterationInvariantRate);
}

// The same chain of dependent multiply-adds on each of `threads` threads:
// with as many cores free as threads the time stays that of one thread, so
// the time against threads:1 tells how many cores this process really gets
// on a shared machine.
void time_core_share(benchmark::State &state, int threads)
{
    for (auto _ : state) {
        std::vector<std::thread> team;
        std::vector<double> results(threads);
        for (int t = 0; t < threads; ++t)
            team.emplace_back([&results, t] {
                double value = 1;
                for (long i = 0; i < 50000000; ++i)
                    value = value * 1.0000001 + 1e-9;
                results[t] = value;
            });
        for (std::thread &thread : team)
            thread.join();
        benchmark::DoNotOptimize(results.data());
    }
}

} // namespace

// Above this many strips (seconds a call) only alpha = 1 without parameters
// is timed: alpha and the parameters change the coefficient quotient of each
// partition, not the table work that dominates.
const long long large_strips = 200000000;

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (int two_args = 0; two_args <= 1; ++two_args)
        for (int n : {2, 4, 6, 8, 10})
            for (int max_size : {10, 20, 40, 60})
                for (double alpha : {1.0, 2.0})
                    for (int parameters = 0; parameters <= 1; ++parameters) {
                        bool large = work_of(max_size, n).strips > large_strips;
                        if (large && (alpha != 1.0 || parameters == 1))
                            continue;
                        register_core({n, max_size, alpha, parameters == 1, two_args == 1});
                    }
    // The large calls against the direct transcription, with one and two
    // threads; the two-argument series also at max_size 44.
    for (int threads : {1, 2})
        for (int two_args = 0; two_args <= 1; ++two_args)
            for (int n : {6, 7, 8})
                for (int max_size : {44, 45, 60})
                    if (max_size != 44 || (two_args == 1 && n == 8))
                        register_pair({n, max_size, 1.0, false, two_args == 1}, threads);
    // Against the plain C baseline at the sizes of the speed goals: n = 8,
    // max_size 45 for one argument and 44 for two.
    if (!plain_c_agrees_with_core()) {
        std::fprintf(stderr, "sorn_bench: the plain C baseline differs from the core\n");
        return 1;
    }
    for (int threads : {1, 2})
        for (int two_args = 0; two_args <= 1; ++two_args)
            register_plain_c_pair({8, two_args == 1 ? 44 : 45, 1.0, false, two_args == 1}, threads);
    for (int threads : {1, 2}) {
        for (int two_args = 0; two_args <= 1; ++two_args) {
            BenchCase c{8, 45, 1.0, false, two_args == 1};
            benchmark::RegisterBenchmark(("poll_overhead/" + case_name(c, true) + "/threads:" +
                                          std::to_string(threads)).c_str(),
                                         time_poll_overhead, c, threads)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(5)
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark(("memory_triad/threads:" + std::to_string(threads)).c_str(),
                                     time_triad, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("core_share/threads:" + std::to_string(threads)).c_str(),
                                     time_core_share, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
