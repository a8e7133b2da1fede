// Per-point time of wishart_eig_cdf_exact: m in {5,10,20,50}, n in {m, 2m,
// 500, m + 1/2} (the last a non-integer n, whose quadrature grades its panels
// towards 0), real and complex, largest and smallest; one call evaluates 100 points
// spread over both tails (the per-call precomputation is shared). The
// reported time is per point (items_per_second inverted).
#include "matrixhyper/wishart_cdf.h"
#include "matrixhyper/wishart_eig.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace matrixhyper;

extern "C" void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda,
                       double *w, double *work, const int *lwork, int *info);

// The eigenvalues of the AR(1) correlation Sigma_ij = rho^|i-j| (LAPACK).
static std::vector<double> ar1_eigenvalues(int m, double rho) {
    std::vector<double> a((size_t)m * m), w(m), work(8 * (size_t)m + 64);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) a[(size_t)i * m + j] = std::pow(rho, std::abs(i - j));
    const int lwork = (int)work.size();
    int info = 0;
    dsyev_("N", "U", &m, a.data(), &m, w.data(), work.data(), &lwork, &info);
    return w;
}

static void BM_wishart_eig(benchmark::State &state) {
    const int m = (int)state.range(0);
    const int nsel = (int)state.range(1);
    const double n = nsel == 0 ? m : nsel == 1 ? 2 * m : nsel == 2 ? 500 : m + 0.5;
    const bool real = state.range(2) == 0;
    const bool largest = state.range(3) == 0;
    wishart_eig_request q;
    q.m = m;
    q.n = n;
    q.field = real ? wishart_field::real : wishart_field::complex;
    q.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
    q.tail = wishart_tail::upper;
    const double s = real ? 2.0 : 1.0;
    const double rm = std::sqrt((double)m), rn = std::sqrt(n);
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
    char n_text[32];
    std::snprintf(n_text, sizeof n_text, "%g", n);
    state.SetLabel(std::string(real ? "real" : "complex") + (largest ? " largest" : " smallest") + " n=" + n_text);
}

BENCHMARK(BM_wishart_eig)
    ->ArgNames({"m", "n_is_m_2m_500_mhalf", "complex", "smallest"})
    ->ArgsProduct({{5, 10, 20, 50}, {0, 1, 2, 3}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// wishart_eig_cdf's holonomic route: real, largest, Sigma_ij = 0.7^|i-j|
// (given by its eigenvalues), n = m, one call of 100 points x = m e^(4k/99) / 2
// (from the lower tail to P = 1 - 1e-7 .. 1 - 1e-12), err asked for (two
// integrations), threads as the request says. Time per call.
static void BM_wishart_holonomic(benchmark::State &state) {
    const int m = (int)state.range(0);
    const int threads = (int)state.range(1);
    wishart_cdf_request q;
    q.m = m;
    q.n = m;
    q.threads = threads;
    q.sigma = ar1_eigenvalues(m, 0.7);
    const int K = 100;
    std::vector<double> x(K), P(K), E(K);
    for (int i = 0; i < K; ++i) x[i] = 0.5 * m * std::exp(4.0 * i / (K - 1));
    for (auto _ : state) {
        wishart_cdf_outcome o = wishart_eig_cdf(q, x.data(), x.size(), P.data(), E.data());
        if (o.method != "holonomic") state.SkipWithError("not the holonomic route");
        benchmark::DoNotOptimize(P.data());
    }
    state.SetLabel("real largest AR(1) 0.7, n=m, 100 points");
}

BENCHMARK(BM_wishart_holonomic)
    ->ArgNames({"m", "threads"})
    ->ArgsProduct({{4, 6, 8, 10}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One call of the holonomic route's upper tail at the points x, timed;
// the label counts the points that met tol and the least Q among them.
static void time_upper_tail(benchmark::State &state, const wishart_cdf_request &q, const std::vector<double> &x) {
    std::vector<double> P(x.size()), E(x.size());
    for (auto _ : state) {
        wishart_cdf_outcome o = wishart_eig_cdf(q, x.data(), x.size(), P.data(), E.data());
        if (o.method != "holonomic") state.SkipWithError("not the holonomic route");
        benchmark::DoNotOptimize(P.data());
    }
    int met = 0;
    double least = 1;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (!std::isnan(P[i])) {
            met++;
            least = std::min(least, P[i]);
        }
    char reach[48];
    std::snprintf(reach, sizeof reach, " points met 1e-10, to Q = %.1e", least);
    state.SetLabel(std::to_string(met) + " of " + std::to_string(x.size()) + reach);
}

// The holonomic route's upper tail: the same Sigma, n = m, one call of 32
// points x = 5 (1.15)^k, from the bulk to Q below 1e-13, where 1 - P misses
// tol and the integral of the density takes over.
static void BM_wishart_holonomic_upper_tail(benchmark::State &state) {
    const int m = (int)state.range(0);
    wishart_cdf_request q;
    q.m = m;
    q.n = m;
    q.threads = (int)state.range(1);
    q.tail = wishart_tail::upper;
    q.sigma = ar1_eigenvalues(m, 0.7);
    std::vector<double> x;
    for (double v = 5; v < 400; v *= 1.15) x.push_back(v);
    time_upper_tail(state, q, x);
}

BENCHMARK(BM_wishart_holonomic_upper_tail)
    ->ArgNames({"m", "threads"})
    ->ArgsProduct({{4, 6, 8, 10}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The upper tail of a weakly correlated Sigma, AR(1) rho = rho_per_mille /
// 1000, n = m + 2, one thread, 16 points x = 2 m (1.2)^k from the bulk to
// the far tail: at 0.001 its eigenvalues lie some 5e-4 apart, one cluster
// read off the confluent system at its centre; at 0.1 (gaps of 2 to 6%)
// the far tail at m = 10 is the distinct system's, in long double up to
// its first point and double beyond; at 0.012 (m = 10 only) every route
// leaves the far tail over tol but the readout of one cluster taken to a
// higher degree.
static void BM_wishart_holonomic_weak_correlation_upper_tail(benchmark::State &state) {
    const int m = (int)state.range(0);
    wishart_cdf_request q;
    q.m = m;
    q.n = m + 2;
    q.threads = 1;
    q.tail = wishart_tail::upper;
    q.sigma = ar1_eigenvalues(m, (double)state.range(1) / 1000);
    std::vector<double> x;
    for (int k = 0; k < 16; ++k) x.push_back(2.0 * m * std::pow(1.2, k));
    time_upper_tail(state, q, x);
}

BENCHMARK(BM_wishart_holonomic_weak_correlation_upper_tail)
    ->ArgNames({"m", "rho_per_mille"})
    ->ArgsProduct({{4, 6, 8, 10}, {1, 100}})
    ->Args({10, 12})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The holonomic route for repeated eigenvalues of Sigma (one integration of
// the confluent system, its matrices built first): a spike, Sigma =
// diag(4, 1, ..., 1), two repeated blocks, diag(2 I, I), or four spikes,
// diag(5, 4, 3, 2, 1, ..., 1); n = m + 1, one thread, one point in the bulk
// (x = 3.5 m: P about 0.1 to 0.4).
static void BM_wishart_holonomic_repeated(benchmark::State &state) {
    const int m = (int)state.range(0);
    const int kind = (int)state.range(1);   // 0: a spike, 1: two blocks, 2: four spikes
    const bool blocks = kind == 1;
    wishart_cdf_request q;
    q.m = m;
    q.n = m + 1;
    q.threads = 1;
    q.keep_unreached = true;      // a point that misses 1e-10 is timed all the same
    q.sigma.assign(m, 1.0);
    for (int i = 0; i < (blocks ? m / 2 : 1); ++i) q.sigma[i] = blocks ? 2.0 : 4.0;
    if (kind == 2)
        for (int i = 0; i < 4; ++i) q.sigma[i] = 5.0 - i;
    const double x = 3.5 * m;
    double P = 0, E = 0;
    for (auto _ : state) {
        wishart_cdf_outcome o = wishart_eig_cdf(q, &x, 1, &P, &E);
        if (o.method != "holonomic") state.SkipWithError("not the holonomic route");
        benchmark::DoNotOptimize(P);
    }
    char claim[32];
    std::snprintf(claim, sizeof claim, ", err/P %.1e", E / P);
    const char *const kinds[] = {"one spike", "two blocks", "four spikes"};
    state.SetLabel(std::string(kinds[kind]) + claim);
}

BENCHMARK(BM_wishart_holonomic_repeated)
    ->ArgNames({"m", "kind"})
    ->ArgsProduct({{4, 6, 8, 10}, {0, 1}})
    ->Args({10, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The upper tail where a cluster holds the largest eigenvalue: blocks
// diag(2 I, I), n = m, one thread, 15 points from the bulk (x = 3 m) past
// the 1 - 1e-12 quantile (x = 3 m 1.19^14, some 34 m), by the confluent
// system's integral of the density.
static void BM_wishart_holonomic_cluster_upper_tail(benchmark::State &state) {
    const int m = (int)state.range(0);
    wishart_cdf_request q;
    q.m = m;
    q.n = m;
    q.threads = 1;
    q.tail = wishart_tail::upper;
    q.sigma.assign(m, 1.0);
    for (int i = 0; i < m / 2; ++i) q.sigma[i] = 2.0;
    std::vector<double> x;
    for (int k = 0; k < 15; ++k) x.push_back(3.0 * m * std::pow(1.19, k));
    time_upper_tail(state, q, x);
}

BENCHMARK(BM_wishart_holonomic_cluster_upper_tail)
    ->ArgNames({"m"})
    ->Arg(4)
    ->Arg(6)
    ->Arg(8)
    ->Arg(10)
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

// The holonomic route of the smallest eigenvalue, where (n - m - 1)/2 is not
// whole: Sigma_ij = 0.7^|i-j| (its eigenvalues), n = m + 2, err asked for
// (both integrations, two threads), a call of 10 points over the
// distribution in either tail. The lower tail's points below some 1e-3 take
// the wide retry. The label carries the worst err / P.
static void BM_wishart_smallest_holonomic(benchmark::State &state) {
    const int m = (int)state.range(0);
    const bool upper = state.range(1) != 0;
    wishart_cdf_request q;
    q.m = m;
    q.n = m + 2;
    q.which = wishart_extreme::smallest;
    q.tail = upper ? wishart_tail::upper : wishart_tail::lower;
    q.threads = 2;
    q.sigma = ar1_eigenvalues(m, 0.7);
    const double centre = std::sqrt((double)q.n) - std::sqrt((double)m);
    std::vector<double> x(10), P(10), E(10);
    for (int i = 0; i < 10; ++i) x[i] = centre * centre * std::exp(-3.0 + 4.0 * i / 9);
    for (auto _ : state) {
        wishart_cdf_outcome o = wishart_eig_cdf(q, x.data(), x.size(), P.data(), E.data());
        if (o.method != "holonomic") state.SkipWithError("not the holonomic route");
        benchmark::DoNotOptimize(P.data());
    }
    double worst = 0;
    int unresolved = 0;   // NaN: the err exceeded tol
    for (int i = 0; i < 10; ++i) {
        if (std::isnan(P[i])) unresolved++;
        else worst = std::max(worst, E[i] / P[i]);
    }
    char claim[48];
    std::snprintf(claim, sizeof claim, "worst err/P %.1e, %d NaN", worst, unresolved);
    state.SetLabel(claim);
}

BENCHMARK(BM_wishart_smallest_holonomic)
    ->ArgNames({"m", "upper"})
    ->ArgsProduct({{4, 6, 8, 10}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Per-point time of the complex route for any Sigma (wishart_eig_cdf with
// complex field, non-white Sigma, integer n): m in {4, 8, 16, 32}, n = m and
// 2m, Sigma_ij = 0.7^|i-j| (eigenvalues of the Toeplitz matrix, close for
// large m) or eigenvalues over two decades; 20 points across the largest
// eigenvalue's law, upper tail, at the default tol.
static void BM_wishart_complex_sigma(benchmark::State &state) {
    const int m = (int)state.range(0);
    const int n = state.range(1) == 0 ? m : 2 * m;
    const bool toeplitz = state.range(2) == 0;
    const bool largest = state.range(3) == 0;
    wishart_cdf_request request;
    request.m = m;
    request.n = n;
    request.field = wishart_field::complex;
    request.which = largest ? wishart_extreme::largest : wishart_extreme::smallest;
    request.tail = wishart_tail::upper;
    if (toeplitz) request.sigma = ar1_eigenvalues(m, 0.7);
    for (int i = 0; i < m && !toeplitz; ++i) request.sigma.push_back(std::pow(10.0, -2.0 * i / (m - 1)));
    double trace = 0, smallest_sigma = request.sigma[0], largest_sigma = request.sigma[0];
    for (double value : request.sigma) {
        trace += value;
        smallest_sigma = std::min(smallest_sigma, value);
        largest_sigma = std::max(largest_sigma, value);
    }
    const double centre = largest ? std::max(n * largest_sigma, trace * n / m) : 0.3 * n * smallest_sigma;
    const int K = 20;
    std::vector<double> x(K), P(K), E(K);
    for (int i = 0; i < K; ++i) x[i] = centre * std::exp(-1.0 + 2.0 * i / (K - 1));
    for (auto _ : state) {
        wishart_cdf_outcome o = wishart_eig_cdf(request, x.data(), x.size(), P.data(), E.data());
        if (o.status != wishart_cdf_status::ok) state.SkipWithError(o.message.c_str());
        benchmark::DoNotOptimize(P.data());
    }
    state.SetItemsProcessed(state.iterations() * K);
    state.SetLabel(std::string(toeplitz ? "toeplitz 0.7" : "two decades") + (largest ? " largest" : " smallest") +
                   " n=" + std::to_string(n));
}

BENCHMARK(BM_wishart_complex_sigma)
    ->ArgNames({"m", "n_is_m_2m", "spread", "smallest"})
    ->ArgsProduct({{4, 8, 16, 32}, {0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
