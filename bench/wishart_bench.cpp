// Per-point time of wishart_eig_cdf_exact: m in {5,10,20,50}, n in {m, 2m,
// 500}, real and complex, largest and smallest; one call evaluates 100 points
// spread over both tails (the per-call precomputation is shared). The
// reported time is per point (items_per_second inverted).
#include "matrixhyper/wishart_cdf.h"
#include "matrixhyper/wishart_eig.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

using namespace matrixhyper;

static void BM_wishart_eig(benchmark::State &state) {
    const int m = (int)state.range(0);
    const int nsel = (int)state.range(1);
    const int n = nsel == 0 ? m : nsel == 1 ? 2 * m : 500;
    const bool real = state.range(2) == 0;
    const bool largest = state.range(3) == 0;
    wishart_eig_request q;
    q.m = m;
    q.n = n;
    q.field = real ? wishart_field::real : wishart_field::complex;
    q.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
    q.tail = wishart_tail::upper;
    const double s = real ? 2.0 : 1.0;
    const double rm = std::sqrt((double)m), rn = std::sqrt((double)n);
    const double centre = largest ? s * (rn + rm) * (rn + rm) : s * std::max((rn - rm) * (rn - rm), 1.0 / m);
    const int K = 100;
    std::vector<double> x(K), P(K), E(K);
    for (int i = 0; i < K; ++i) x[i] = centre * std::exp(-1.5 + 3.0 * i / (K - 1));
    for (auto _ : state) {
        wishart_eig_outcome o = wishart_eig_cdf_exact(q, x.data(), x.size(), P.data(), E.data());
        if (o.status != wishart_status::ok) state.SkipWithError(o.message.c_str());
        benchmark::DoNotOptimize(P.data());
    }
    state.SetItemsProcessed(state.iterations() * K);
    state.SetLabel(std::string(real ? "real" : "complex") + (largest ? " largest" : " smallest") + " n=" +
                   std::to_string(n));
}

BENCHMARK(BM_wishart_eig)
    ->ArgNames({"m", "n_is_m_2m_500", "complex", "smallest"})
    ->ArgsProduct({{5, 10, 20, 50}, {0, 1, 2}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The zonal route (real, smallest eigenvalue, Sigma with eigenvalues spread
// geometrically over a decade, n = m + 1 + 2 r), one thread, upper tail: a
// call of 100 points over the distribution (one table, per-point time
// reported) and a call of one point at its centre (the table's whole cost).
static void BM_wishart_real_smallest(benchmark::State &state) {
    const int m = (int)state.range(0), r = (int)state.range(1), points = (int)state.range(2);
    wishart_cdf_request q;
    q.m = m;
    q.n = m + 1 + 2 * r;
    q.which = wishart_extreme::smallest;
    q.tail = wishart_tail::upper;
    q.threads = 1;
    for (int i = 0; i < m; ++i) q.sigma.push_back(std::pow(10.0, (double)i / (m - 1)));
    const double rm = std::sqrt((double)m), rn = std::sqrt(q.n);
    const double centre = (rn - rm) * (rn - rm);
    std::vector<double> x(points), P(points);
    for (int i = 0; i < points; ++i) x[i] = points == 1 ? centre : centre * std::exp(-1.5 + 3.0 * i / (points - 1));
    for (auto _ : state) {
        wishart_cdf_outcome o = wishart_eig_cdf(q, x.data(), x.size(), P.data(), nullptr);
        if (o.status != wishart_cdf_status::ok) state.SkipWithError(o.message.c_str());
        benchmark::DoNotOptimize(P.data());
    }
    state.SetItemsProcessed(state.iterations() * points);
    state.SetLabel("n=" + std::to_string((int)q.n));
}

BENCHMARK(BM_wishart_real_smallest)
    ->ArgNames({"m", "r", "points"})
    ->ArgsProduct({{4, 8}, {1, 3, 6, 10}, {1, 100}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
