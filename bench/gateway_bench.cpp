// gateway_bench.cpp: both plug-ins called through the host layer, as a host
// calls them (argument checks, tables, walk, outputs), over a grid of calls.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench_cases.h"
#include "mexhost.h"
#include "partition_counts.h"

namespace {

mexhost::MexFunction plugin(const char *path)
{
    std::string error;
    mexhost::MexFunction function = mexhost::load_plugin(path, error);
    if (function == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, error.c_str());
        std::exit(1);
    }
    return function;
}

// Calls the plug-in with the inputs, asking for both outputs, once per iteration.
void time_calls(benchmark::State &state, mexhost::MexFunction function,
                const std::vector<mxArray *> &inputs)
{
    std::vector<const mxArray *> arguments(inputs.begin(), inputs.end());
    for (auto _ : state) {
        mexhost::CallResult result = mexhost::call(function, 2, arguments);
        if (!result.ok) {
            state.SkipWithError(result.message.c_str());
            break;
        }
        mexhost::release(result);
    }
    for (mxArray *input : inputs)
        mxDestroyArray(input);
}

void time_sorn(benchmark::State &state, BenchCase c)
{
    static mexhost::MexFunction sorn = plugin(SORN_PLUGIN);
    std::vector<mxArray *> inputs = {mexhost::make_scalar(c.max_size), mexhost::make_scalar(c.alpha),
                                     mexhost::make_row(numerators(c)),
                                     mexhost::make_row(denominators(c)),
                                     mexhost::make_row(x_values(c.n))};
    if (c.two_args)
        inputs.push_back(mexhost::make_row(y_values(c.n)));
    time_calls(state, sorn, inputs);
    SornWork work = sorn_work(c.max_size, c.n);
    set_count(state, "partitions", "t/partition", static_cast<double>(work.partitions));
    set_count(state, "rows", "t/row", static_cast<double>(work.table_rows));
    set_count(state, "strips", "t/strip", static_cast<double>(work.strips));
}

void time_brint(benchmark::State &state, BenchCase c)
{
    static mexhost::MexFunction brint = plugin(BRINT_PLUGIN);
    std::vector<mxArray *> inputs = {mexhost::make_scalar(c.max_size), mexhost::make_scalar(c.alpha),
                                     mexhost::make_row(numerators(c)),
                                     mexhost::make_row(denominators(c)), mexhost::make_scalar(c.n),
                                     mexhost::make_row(spread(20, -0.9, 0.9))};
    time_calls(state, brint, inputs);
    set_count(state, "partitions", "t/partition",
              static_cast<double>(partitions_up_to(c.max_size, c.n)));
}

void register_call(const std::string &name, void (*timer)(benchmark::State &, BenchCase),
                   const BenchCase &c, double work)
{
    benchmark::RegisterBenchmark(name.c_str(), timer, c)
        ->Unit(unit_for(work))
        ->MinTime(0.1);
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (int two_args = 0; two_args <= 1; ++two_args)
        for (int n : {2, 4, 8})
            for (int max_size : {10, 20, 40, 60})
                for (double alpha : {1.0, 2.0})
                    for (int parameters = 0; parameters <= 1; ++parameters) {
                        // Seconds a call: alpha = 1 without parameters only.
                        bool large = sorn_work(max_size, n).strips > 200000000;
                        if (large && (alpha != 1.0 || parameters == 1))
                            continue;
                        BenchCase c{n, max_size, alpha, parameters == 1, two_args == 1};
                        register_call("sorn_call/" + case_name(c, true), time_sorn, c,
                                      static_cast<double>(sorn_work(max_size, n).strips));
                    }
    // The largest brint calls are timed by brint_bench; the call adds a constant.
    for (int n : {2, 10, 50})
        for (int max_size : {10, 20, 40, 60, 80, 100})
            for (double alpha : {1.0, 2.0})
                for (int parameters = 0; parameters <= 1; ++parameters) {
                    if (partitions_up_to(max_size, n) > 100000000)
                        continue;
                    BenchCase c{n, max_size, alpha, parameters == 1, false};
                    register_call("brint_call/" + case_name(c, false), time_brint, c,
                                  static_cast<double>(partitions_up_to(max_size, n)));
                }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
