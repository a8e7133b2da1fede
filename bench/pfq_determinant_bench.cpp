// pfq_determinant_bench.cpp: matrix_pfq at alpha = 1 by determinants, at
// n = 20 and 40 with distinct eigenvalues of both signs, a pair 1e-6 apart,
// and two arguments, on one thread and on two (wall time). Counters: scalar
// terms summed and the digits err vouches for.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "matrixhyper/matrix_pfq.h"

using namespace matrixhyper;

namespace {

void run(benchmark::State &state, const pfq_problem &problem, int threads = 0)
{
    pfq_options options;
    options.alpha = 1;
    options.threads = threads;
    options.tol = 1e-10;
    pfq_result r;
    for (auto _ : state) {
        r = matrix_pfq(problem, options);
        double sink = r.value;                           // a copy: the asm barrier may clobber its operand
        benchmark::DoNotOptimize(sink);
    }
    state.counters["terms"] = (double)r.info.partitions;
    state.counters["digits"] = r.value != 0 ? -std::log10(r.err / std::fabs(r.value)) : 0;
    if (r.status != pfq_status::converged || r.info.method.find("determinant") == std::string::npos)
        state.SkipWithError((r.info.method + ": " + r.message).c_str());
}

// n eigenvalues spread evenly over [low, high].
std::vector<double> spread(int n, double low, double high)
{
    std::vector<double> x(n);
    for (int i = 0; i < n; i++) x[i] = low + (high - low) * i / (n - 1);
    return x;
}

// Functions of range(1): 1F1(1.5; 4.25; X) and 0F1(; 3.5; X) over [-30, 30],
// 2F1(0.75, 1.5; 2.25; X) over [-0.9, 0.9], 2F1(0.75, 1.5; 2.25; X) over
// [-30, 0.45] (the Pfaff relation's points reach 0.968) and 2F1(1.5, 1.5;
// 2.25; X) over the same (b - a = 0: the connection's logarithmic case).
pfq_problem one_argument(int n, int which)
{
    switch (which) {
    case 0: return {{1.5}, {4.25}, spread(n, -30, 30), {}};
    case 1: return {{}, {3.5}, spread(n, -30, 30), {}};
    case 2: return {{0.75, 1.5}, {2.25}, spread(n, -0.9, 0.9), {}};
    case 3: return {{0.75, 1.5}, {2.25}, spread(n, -30, 0.45), {}};
    default: return {{1.5, 1.5}, {2.25}, spread(n, -30, 0.45), {}};
    }
}

void distinct(benchmark::State &state)
{
    run(state, one_argument((int)state.range(0), (int)state.range(1)), (int)state.range(2));
}

// 1F1 over [-30, 30] with the middle two eigenvalues 1e-6 apart.
void close_pair(benchmark::State &state)
{
    pfq_problem p = one_argument((int)state.range(0), 0);
    const int n = (int)p.x.size();
    p.x[n / 2] = p.x[n / 2 - 1] + 1e-6;
    run(state, p);
}

// 0F0(X, Y) and 1F1(1.5; 4.25; X, Y): x over [-6, 5], y over [-5, 6].
void two_arguments(benchmark::State &state)
{
    const int n = (int)state.range(0);
    pfq_problem p{{}, {}, spread(n, -6, 5), spread(n, -5, 6)};
    if (state.range(1) == 1) p = {{1.5}, {4.25}, p.x, p.y};
    run(state, p, (int)state.range(2));
}

} // namespace

BENCHMARK(distinct)->ArgNames({"n", "function", "threads"})
    ->ArgsProduct({{20, 40}, {0, 1, 2, 3, 4}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(close_pair)->ArgNames({"n"})->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(two_arguments)->ArgNames({"n", "function", "threads"})
    ->ArgsProduct({{20, 40}, {0, 1}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
