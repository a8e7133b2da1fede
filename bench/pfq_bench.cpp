// pfq_bench.cpp: matrix_pfq at its speed targets: the Kummer-transformed
// Wishart CDF with distinct eigenvalues, all-equal eigenvalues at large
// traces, and scalar cases. Counters: degree reached and partitions summed.
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <vector>

#include "matrixhyper/matrix_pfq.h"
#include "matrixhyper/sorn_series.h"
#include "pfq_series.h"

using namespace matrixhyper;

namespace {

void run(benchmark::State &state, const pfq_problem &problem, const pfq_options &options)
{
    pfq_result r;
    for (auto _ : state) {
        r = matrix_pfq(problem, options);
        double sink = r.value;                           // a copy: the asm barrier may clobber its operand
        benchmark::DoNotOptimize(sink);
    }
    state.counters["degree"] = r.info.degree;
    state.counters["partitions"] = (double)r.info.partitions;
    state.counters["digits"] = r.value != 0 ? -std::log10(r.err / std::fabs(r.value)) : 0;
    if (r.status != pfq_status::converged) state.SkipWithError(r.message.c_str());
}

// Wishart CDF 1F1(n/2; (n+m+1)/2; -X/2), m = 6, eigenvalues of X/2 spread
// evenly with trace(X/2) = range(1), tables filled by range(2) threads.
void wishart_distinct(benchmark::State &state)
{
    const int n = (int)state.range(0);
    const double trace = (double)state.range(1);
    std::vector<double> x;
    for (int i = 1; i <= n; i++) x.push_back(-trace * i / (n * (n + 1) / 2.0));
    pfq_options options;
    options.threads = (int)state.range(2);
    run(state, {{n / 2.0}, {(n + 6 + 1) / 2.0}, x, {}}, options);
}

// The same at x I_n: trace(X/2) = range(1).
void wishart_equal(benchmark::State &state)
{
    const int n = (int)state.range(0);
    const double trace = (double)state.range(1);
    run(state, {{n / 2.0}, {(n + 6 + 1) / 2.0}, std::vector<double>(n, -trace / n), {}},
        pfq_options());
}

// 1F1(1; 2; -I_n) as log|f|: Kummer's series at I_n, whose numerator 1
// leaves two rows of partitions with non-zero terms for any n.
void equal_two_live_rows(benchmark::State &state)
{
    pfq_options options;
    options.log_result = true;
    run(state, {{1}, {2}, std::vector<double>(state.range(0), -1.0), {}}, options);
}

// Cases 4 to 6 cancel beyond long double: Boost.Math's 0F1 (Bessel) and
// 1F1, and the checked series in 250 digits.
void scalar_cases(benchmark::State &state)
{
    const pfq_problem cases[] = {{{0.5}, {1.5}, {-30}, {}}, {{2.5}, {4}, {-50}, {}},
                                 {{1, 1.5}, {3}, {-5}, {}}, {{1}, {2}, {100}, {}},
                                 {{}, {1.5}, {-1e5}, {}}, {{-300.5}, {30.25}, {150}, {}},
                                 {{1.5, 2.25}, {3.5, 0.75}, {-400}, {}}};
    run(state, cases[state.range(0)], pfq_options());
}

// The one table engine under both: 1F1(3; 5; X), alpha 2, X = diag(1..n),
// summed to degree range(1) with range(2) threads, by sorn (range(3) = 0)
// and by matrix_pfq's table route, no relation (range(3) = 1).
void engine_parity(benchmark::State &state)
{
    const int n = (int)state.range(0), degree = (int)state.range(1), threads = (int)state.range(2);
    std::vector<double> x;
    for (int i = 1; i <= n; i++) x.push_back(i);
    const double a = 3, b = 5, alpha = 2;
    if (state.range(3) == 0) {
        sorn_sizing sizing = sorn_workspace_size(degree, x.size(), false, LLONG_MAX, threads);
        std::vector<unsigned char> workspace(sizing.workspace_bytes);
        std::vector<double> degree_sums((size_t)degree + 1);
        sorn_request request = {degree, degree, alpha, &a, 1, &b, 1, x.size(), x.data(), nullptr};
        request.threads = threads;
        for (auto _ : state) {
            sorn_result r = sorn_series(request, sizing, workspace.data(), degree_sums.data());
            double sink = r.value;
            benchmark::DoNotOptimize(sink);
        }
        return;
    }
    pfq_options options;
    options.alpha = alpha;
    options.max_degree = degree;
    options.threads = threads;
    pfq_result r;
    for (auto _ : state) {
        r = pfq_detail::matrix_pfq_forced({{a}, {b}, x, {}}, options,
                                          pfq_detail::route_choice::tables,
                                          pfq_detail::relation_choice::none);
        double sink = r.value;
        benchmark::DoNotOptimize(sink);
    }
    state.counters["degree"] = r.info.degree;
}

// 1F1(2; 5; -diag(1..n)) at alpha 2 on one thread, Kummer's relation
// taken (a positive trace): by the automatic choice, the holonomic route
// for these n (range(1) = 0), and by the tables (range(1) = 1), which stop
// at the work limit short of tol from n = 8 ("digits" then says how far).
void holonomic_against_tables(benchmark::State &state)
{
    const int n = (int)state.range(0);
    std::vector<double> x;
    for (int i = 1; i <= n; i++) x.push_back(-i);
    pfq_options options;
    options.threads = 1;
    const auto route = state.range(1) ? pfq_detail::route_choice::tables : pfq_detail::route_choice::automatic;
    pfq_result r;
    for (auto _ : state) {
        r = pfq_detail::matrix_pfq_forced({{2}, {5}, x, {}}, options, route, pfq_detail::relation_choice::kummer);
        double sink = r.value;
        benchmark::DoNotOptimize(sink);
    }
    state.counters["digits"] = -std::log10(r.err / std::fabs(r.value));
    state.counters["converged"] = r.status == pfq_status::converged;
}

} // namespace

BENCHMARK(engine_parity)->ArgNames({"n", "degree", "threads", "pfq"})
    ->ArgsProduct({{6, 8}, {40, 50}, {1}, {0, 1}})->Args({8, 50, 2, 0})->Args({8, 50, 2, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(wishart_distinct)->ArgNames({"n", "trace", "threads"})
    ->Args({2, 20, 1})->Args({3, 20, 1})->Args({4, 20, 1})->Args({5, 20, 1})->Args({6, 10, 1})
    ->Args({6, 15, 1})->Args({6, 20, 1})->Args({6, 20, 2})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(wishart_equal)->ArgNames({"n", "trace"})
    ->Args({2, 200})->Args({3, 200})->Args({4, 100})->Args({4, 200})->Args({6, 50})->Args({6, 100})->Args({6, 200})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(equal_two_live_rows)->ArgName("n")->Arg(100)->Arg(1000)
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(holonomic_against_tables)->ArgNames({"n", "tables"})
    ->ArgsProduct({{4, 6, 8}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(scalar_cases)->ArgName("case")->DenseRange(0, 6)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
