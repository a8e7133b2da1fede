// The cost of one quantile of wishart_eig_inv against one point of
// wishart_eig_cdf at that quantile: m in {5, 10, 20}, real and complex,
// largest (n = m + 5) and smallest (n = m) eigenvalue, upper-tail P of
// 0.05 and 1e-6 (critical values). The quantile should cost at most 20
// points. The same for jacobi_eig_inv (Roy's largest root) at
// s = min(p, m) in {5, 10}. And one correlated Sigma (BM_quantile_correlated),
// and five quantiles in one call against one call each
// (BM_quantiles_side_by_side).
// Run: build/bin/quantile_bench
#include "matrixhyper/jacobi_inv.h"
#include "matrixhyper/wishart_inv.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace matrixhyper;

namespace {

const double levels[] = {0.05, 1e-6};

wishart_cdf_request bench_request(const benchmark::State &state)
{
    wishart_cdf_request request;
    request.m = (int)state.range(0);
    request.field = state.range(1) == 0 ? wishart_field::real : wishart_field::complex;
    request.which = state.range(2) == 0 ? wishart_extreme::largest : wishart_extreme::smallest;
    request.n = request.which == wishart_extreme::largest ? request.m + 5 : request.m;
    request.tail = wishart_tail::upper;
    return request;
}

void label(benchmark::State &state, const wishart_cdf_request &request, double level)
{
    state.SetLabel(std::string(request.field == wishart_field::real ? "real" : "complex") +
                   (request.which == wishart_extreme::largest ? " largest" : " smallest") +
                   " P=" + std::to_string(level));
}

// One quantile per call.
void BM_quantile(benchmark::State &state)
{
    const wishart_cdf_request request = bench_request(state);
    const double level = levels[state.range(3)];
    double x, err;
    for (auto _ : state) {
        const wishart_inv_outcome outcome = wishart_eig_inv(request, &level, 1, &x, &err);
        if (outcome.status != wishart_cdf_status::ok) state.SkipWithError(outcome.message.c_str());
        benchmark::DoNotOptimize(x);
    }
    label(state, request, level);
}

// One CDF point per call, at the quantile of the same level.
void BM_cdf_point(benchmark::State &state)
{
    const wishart_cdf_request request = bench_request(state);
    const double level = levels[state.range(3)];
    double x, err, P;
    if (wishart_eig_inv(request, &level, 1, &x, &err).status != wishart_cdf_status::ok) {
        state.SkipWithError("no quantile");
        return;
    }
    for (auto _ : state) {
        const wishart_cdf_outcome outcome = wishart_eig_cdf(request, &x, 1, &P, &err);
        if (outcome.status != wishart_cdf_status::ok) state.SkipWithError(outcome.message.c_str());
        benchmark::DoNotOptimize(P);
    }
    label(state, request, level);
}

// A correlated Sigma: the smallest eigenvalue at m = 4, n = 6 (the
// recessive holonomic route, (n - m - 1)/2 not whole), Sigma of
// 0.7^|i - j|, lower-tail P of 0.01 and 0.5.
void BM_quantile_correlated(benchmark::State &state)
{
    wishart_cdf_request request;
    request.m = 4;
    request.n = 6;
    request.which = wishart_extreme::smallest;
    request.tail = wishart_tail::lower;
    // The eigenvalues of the 4-by-4 matrix 0.7^|i - j| (numpy's eigvalsh).
    request.sigma = {0.2028875002834602, 0.3181869692386774, 0.7541124997165406, 2.7248130307613234};
    const double level = state.range(0) == 0 ? 0.01 : 0.5;
    double x, err;
    for (auto _ : state) {
        const wishart_inv_outcome outcome = wishart_eig_inv(request, &level, 1, &x, &err);
        if (outcome.status != wishart_cdf_status::ok) state.SkipWithError(outcome.message.c_str());
        benchmark::DoNotOptimize(x);
    }
    state.SetLabel("real smallest, Sigma 0.7^|i-j|, P=" + std::to_string(level));
}

// Five quantiles of one distribution (lower-tail P of 0.05, 0.25, 0.5, 0.75,
// 0.95), one call each (one_by_one 1) or all in one call, whose solvers go
// side by side and share each round's CDF call of a tail: the smallest
// eigenvalue with Sigma of 0.7^|i - j| at m = 6, n = 8 (the recessive
// holonomic route, whose call costs about the same for one point or many),
// and the white largest eigenvalue at m = 6, n = 8 (the finite formulas,
// a cost per point).
void BM_quantiles_side_by_side(benchmark::State &state)
{
    wishart_cdf_request request;
    request.m = 6;
    request.n = 8;
    request.tail = wishart_tail::lower;
    const bool correlated = state.range(0) == 1;
    if (correlated) {
        request.which = wishart_extreme::smallest;
        // The eigenvalues of the 6-by-6 matrix 0.7^|i - j| (numpy's eigvalsh).
        request.sigma = {0.1879849445405478, 0.2287881888512533, 0.3254253352182598,
                         0.5656651432691889, 1.275519720241193,  3.4166166678795578};
    }
    const bool one_by_one = state.range(1) == 1;
    const double P[] = {0.05, 0.25, 0.5, 0.75, 0.95};
    double x[5], err[5];
    for (auto _ : state) {
        for (std::size_t k = 0; k < (one_by_one ? 5 : 1); k++) {
            const std::size_t count = one_by_one ? 1 : 5;
            const wishart_inv_outcome outcome = wishart_eig_inv(request, P + k, count, x + k, err + k);
            if (outcome.status != wishart_cdf_status::ok) state.SkipWithError(outcome.message.c_str());
        }
        benchmark::DoNotOptimize(x);
    }
    state.SetLabel(std::string(correlated ? "real smallest, Sigma 0.7^|i-j|" : "real largest, white") +
                   (one_by_one ? ", one call a quantile" : ", one call"));
}

// The matrix Beta model: p = s, m = s + 2 hypothesis and n = 2 s + 10
// error degrees of freedom, the upper tail of the largest eigenvalue.
jacobi_eig_request jacobi_bench_request(benchmark::State &state)
{
    jacobi_eig_request request;
    request.p = (int)state.range(0);
    request.m = request.p + 2;
    request.n = 2 * request.p + 10;
    request.field = state.range(1) == 0 ? wishart_field::real : wishart_field::complex;
    request.tail = wishart_tail::upper;
    state.SetLabel(std::string(state.range(1) == 0 ? "real" : "complex") + " P=" +
                   std::to_string(levels[state.range(2)]));
    return request;
}

void BM_jacobi_quantile(benchmark::State &state)
{
    const jacobi_eig_request request = jacobi_bench_request(state);
    const double level = levels[state.range(2)];
    double x, err;
    for (auto _ : state) {
        const jacobi_inv_outcome outcome = jacobi_eig_inv(request, &level, 1, &x, &err);
        if (outcome.status != jacobi_status::ok) state.SkipWithError(outcome.message.c_str());
        benchmark::DoNotOptimize(x);
    }
}

void BM_jacobi_cdf_point(benchmark::State &state)
{
    const jacobi_eig_request request = jacobi_bench_request(state);
    const double level = levels[state.range(2)];
    double x, err, P;
    if (jacobi_eig_inv(request, &level, 1, &x, &err).status != jacobi_status::ok) {
        state.SkipWithError("no quantile");
        return;
    }
    for (auto _ : state) {
        const jacobi_eig_outcome outcome = jacobi_eig_cdf(request, &x, 1, &P, &err);
        if (outcome.status != jacobi_status::ok) state.SkipWithError(outcome.message.c_str());
        benchmark::DoNotOptimize(P);
    }
}

} // namespace

BENCHMARK(BM_jacobi_cdf_point)
    ->ArgNames({"s", "complex", "level"})
    ->ArgsProduct({{5, 10}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_jacobi_quantile)
    ->ArgNames({"s", "complex", "level"})
    ->ArgsProduct({{5, 10}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cdf_point)
    ->ArgNames({"m", "complex", "smallest", "level"})
    ->ArgsProduct({{5, 10, 20}, {0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_quantile)
    ->ArgNames({"m", "complex", "smallest", "level"})
    ->ArgsProduct({{5, 10, 20}, {0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_quantile_correlated)->ArgName("level")->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_quantiles_side_by_side)
    ->ArgNames({"correlated", "one_by_one"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
