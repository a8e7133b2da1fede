// wishart_holonomic.h: the largest eigenvalue of a real Wishart matrix with
// any Sigma of distinct eigenvalues and any real n > m - 1, by integrating
// the Pfaffian system of 1F1(a; c; -t S) along the ray t (docs/wishart_holonomic.md).
#ifndef MATRIXHYPER_WISHART_HOLONOMIC_H
#define MATRIXHYPER_WISHART_HOLONOMIC_H

#include <cstddef>
#include <vector>

#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

// Largest dimension the route takes: its vector holds the 2^m square-free
// derivatives, and one right-hand side costs m^2 2^m.
constexpr int holonomic_max_m = 10;

// Smallest relative gap |s_i - s_j| / max(s_i, s_j) between eigenvalues of
// Sigma one integration of the distinct system takes: it divides by
// y_i - y_j, and below this gap the rounding it amplifies (measured against
// the white limit, docs/wishart_holonomic.md) would take the 1e-10 target.
// Closer ones are read off the confluent system at their cluster's centre
// (cluster_join_gaps); structures too large for that are spread apart
// instead (wishart_holonomic_split.h).
constexpr double holonomic_min_gap = 1e-3;

// Eigenvalues whose gaps chain below one of these are one cluster, read off
// the confluent system at its centre where that system is small enough
// (holonomic_ray_serves); the merges are tried in this order, then Sigma's
// own eigenvalues, each for the points the ones before missed, and then
// each readout again to deep_readout's limits. The distinct
// system's runs fail on chains of gaps well above holonomic_min_gap: AR(1)
// Sigma of 0.003 to 0.1 (gaps 0.1% to 5%) at m = 6 to 10 was NaN at most or
// every point of a 16-point curve, where one cluster (up to 40% wide) met
// 1e-10 in the lower tail and the upper one's bulk; while at m = 4 and 0.005
// to 0.012 one cluster missed some far upper-tail points that the distinct
// system met, and several close clusters failed as it did.
constexpr double cluster_join_gaps[] = {6e-2, 1e-2, holonomic_min_gap, 0};

// The size of the confluent system, prod_j (m_j + 1) over the clusters of
// equal eigenvalues, the one integration takes: its matrices are built once
// per system in the wide type, at some 1.5e-4 R^2 s at m = 10 (R = 36:
// 0.15 s; R = 80: 0.9 s; four spikes over six equal, R = 112: 1 s and
// 290 MB at the peak), and the runs of a call share them (the last build
// is kept). Larger ones (a pair among distinct eigenvalues: R = 3 2^(m-2))
// are spread apart and extrapolated; four spikes at m = 10 were NaN from
// the bulk there.
constexpr std::size_t confluent_most_entries = 128;

// The smallest eigenvalue's backward runs on the confluent system hold
// 1e-10 in double and long double up to this m (c I at m = 8: 4e-12 of
// P(lambda_min > x), err 7e-11). At m = 9 and 10 both missed the truth by
// some 5e-10, an error their difference did not always see, while the wide
// type's runs met it to 1e-15: beyond, the runs are in the wide type (a
// step of the confluent system costs less there than a double step of the
// square-free one).
constexpr int confluent_smallest_max_m = 8;

// Largest ratio of Sigma's extreme eigenvalues the route takes: its steps
// grow with x max(s), and x of interest with max(sigma), so beyond this the
// work budget would refuse nearly every point, and the start's terms
// (powers of max(s) t0) leave the range of double near 1e300.
constexpr double holonomic_max_condition = 1e6;

// Whether the route serves a checked request with n > m - 1: real field,
// either extreme eigenvalue, m <= holonomic_max_m, eigenvalues of Sigma within
// holonomic_max_condition, and either pairwise at least holonomic_min_gap
// apart or in clusters closer than that (one integration of the confluent
// system, read at the cluster's eigenvalues) or with their close ones split
// apart and extrapolated back (wishart_holonomic_split.h).
bool holonomic_serves(const wishart_cdf_request &request);

// P[i] (and err[i] when err is not null) at every x[i], for a request that
// holonomic_serves().
wishart_cdf_outcome holonomic_route(const wishart_cdf_request &request, const double *x,
                                    std::size_t count, double *P, double *err);

// The one-integration route, for eigenvalues pairwise at least
// holonomic_min_gap apart or equal (the confluent system, up to
// confluent_most_entries). Points are integrated in increasing order along
// one ray; err is the difference of two integrations of different orders and
// tolerances, plus the start's truncation and the rounding. A caller that
// runs several integrations for one call gives each a share of the work
// budget (work_share of it), so that the call keeps the budget of one.
bool holonomic_ray_serves(const wishart_cdf_request &request);

// The request with Sigma's eigenvalues whose relative gaps chain below
// `gap` made equal, their common rate 1 / (2 sigma) the mean of
// theirs; the widest such group's relative width (0: none merged); and
// each eigenvalue's log offset x_i = log(s_i / s) of its rate s_i against
// the merged one s (0 for one not merged).
struct merged_sigma {
    wishart_cdf_request request;
    double width;
    std::vector<double> log_offsets;
};
merged_sigma merge_close(const wishart_cdf_request &request, double gap);
// `extended` runs it in long double (holonomic_ray_request::extended),
// double_cost the share of a budget the double runs took, where known
// (holonomic_ray_request::double_cost); budget_used (when not null)
// receives the share of a whole budget the call's runs took. With
// log_offsets P is read at the merged request's rates s_i e^(x_i), from
// the confluent system at s_i (docs/wishart_holonomic_confluent.md,
// "Close eigenvalues"), to the deeper readout's limits where deep_readout
// (holonomic_ray_request::deep_readout).
wishart_cdf_outcome holonomic_ray_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err, double work_share = 1,
                                        bool extended = false, double *budget_used = nullptr,
                                        const std::vector<double> *log_offsets = nullptr, double double_cost = 0,
                                        bool deep_readout = false);

// The tail the route integrates: P(lambda_max <= x) for the largest
// eigenvalue, P(lambda_min > x) for the smallest (docs/wishart_holonomic.md).
bool holonomic_integrates_lower(const wishart_cdf_request &request);

// Writes one point of the request's tail and scale from the log of a tail
// (the lower one when `lower`) and its absolute error.
void holonomic_write_point(const wishart_cdf_request &request, bool lower, double log_tail, double log_err,
                           double *P, double *err);

// Writes the points no integration serves (x <= 0, +Inf, NaN); false for
// the others.
bool holonomic_off_ray(const wishart_cdf_request &request, double x, double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_HOLONOMIC_H
