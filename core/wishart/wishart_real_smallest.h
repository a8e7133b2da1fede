// wishart_real_smallest.h: the smallest eigenvalue of a real Wishart matrix
// W_m(n, Sigma), any Sigma, when r = (n - m - 1) / 2 is a whole number: the
// finite zonal series (internal; derivation in docs/wishart_real_smallest.md).
#ifndef MATRIXHYPER_WISHART_REAL_SMALLEST_H
#define MATRIXHYPER_WISHART_REAL_SMALLEST_H

#include <cstddef>

#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

// True when the request's r = (n - m - 1) / 2 is a whole number >= 0.
bool real_smallest_serves(const wishart_cdf_request &request);

// P(lambda_min <= x) or its upper tail at every x (real field; a checked
// request that real_smallest_serves). err (may be null) bounds |P - exact|,
// or the absolute error of log P when request.log_result; a point beyond the
// zonal table's reach has an err that says so.
wishart_cdf_outcome real_smallest_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_REAL_SMALLEST_H
