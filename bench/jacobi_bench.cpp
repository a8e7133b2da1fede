// Per-point time of jacobi_eig_cdf (matrix Beta ensemble): s = min(p, m) in
// {5, 10, 20, 50}, n in {p, 2p + 10, 1000}, m = p + 3, real and complex,
// largest and smallest; one call evaluates 100 points across both tails
// (the per-call work is shared). Without err (one evaluation) and with err
// (the second evaluation behind it). Time per point: items_per_second inverted.
#include "matrixhyper/jacobi_eig.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

using namespace matrixhyper;

static void BM_jacobi_eig(benchmark::State &state)
{
    const int p = (int)state.range(0);
    const int n_choice = (int)state.range(1);
    const int n = n_choice == 0 ? p : n_choice == 1 ? 2 * p + 10 : 1000;
    const bool real = state.range(2) == 0;
    const bool largest = state.range(3) == 0;
    const bool with_err = state.range(4) != 0;
    jacobi_eig_request request;
    request.p = p;
    request.m = p + 3;
    request.n = n;
    request.field = real ? wishart_field::real : wishart_field::complex;
    request.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
    request.tail = wishart_tail::upper;
    // Points around the Wachter edge of the roots (the bulk of theta lies
    // between the edges (sqrt(m(m+n-p)) -+ sqrt(p n))^2 / (m+n)^2, roughly).
    const double total = request.m + n;
    const double root_a = std::sqrt(request.m * (total - p)), root_b = std::sqrt((double)p * n);
    const double edge = largest ? std::pow((root_a + root_b) / total, 2) : std::pow((root_a - root_b) / total, 2);
    const int points = 100;
    std::vector<double> x(points), P(points), E(points);
    for (int i = 0; i < points; i++) {
        const double factor = std::exp(-1.0 + 2.0 * i / (points - 1));
        x[i] = std::fmin(std::fmax(edge * factor, 1e-6), 1 - 1e-6);
    }
    for (auto _ : state) {
        jacobi_eig_outcome outcome = jacobi_eig_cdf(request, x.data(), x.size(), P.data(), with_err ? E.data() : nullptr);
        if (outcome.status != jacobi_status::ok) state.SkipWithError(outcome.message.c_str());
        benchmark::DoNotOptimize(P.data());
    }
    state.SetItemsProcessed(state.iterations() * points);
    state.SetLabel(std::string(real ? "real" : "complex") + (largest ? " largest" : " smallest") +
                   " n=" + std::to_string(n) + (with_err ? " with err" : ""));
}

BENCHMARK(BM_jacobi_eig)
    ->ArgNames({"s", "n_is_p_2p+10_1000", "complex", "smallest", "err"})
    ->ArgsProduct({{5, 10, 20, 50}, {0, 1, 2}, {0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
