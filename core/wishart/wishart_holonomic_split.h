// wishart_holonomic_split.h: the holonomic route for a Sigma with close or
// repeated eigenvalues. Each cluster of them is spread apart by a parameter
// delta along a path on which P is even in delta, the one-integration route
// runs at a few deltas, and log P is extrapolated to delta = 0 in delta^2;
// the largest eigenvalue's upper tail past 1 - P extrapolates Q itself, in
// deltas that narrow as x grows where a cluster holds sigma_max
// (docs/wishart_holonomic.md).
#ifndef MATRIXHYPER_WISHART_HOLONOMIC_SPLIT_H
#define MATRIXHYPER_WISHART_HOLONOMIC_SPLIT_H

#include <cstddef>

#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

// Whether the split serves a request the one integration does not: every
// spread Sigma it would integrate must be one that holonomic_ray_serves().
bool holonomic_split_serves(const wishart_cdf_request &request);

// P[i] (and err[i] when err is not null) at every x[i]; err adds the
// extrapolation's own estimate (its last two orders' difference) to the
// integrations' errs weighed by the extrapolation's weights.
wishart_cdf_outcome holonomic_split_route(const wishart_cdf_request &request, const double *x,
                                          std::size_t count, double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_HOLONOMIC_SPLIT_H
