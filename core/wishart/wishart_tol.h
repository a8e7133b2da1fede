// wishart_tol.h: whether a point of wishart_eig_cdf meets the request's tol,
// the one test of the call (mark_unreached) and of the routes that retry
// the points which miss it. Internal to the core.
#ifndef MATRIXHYPER_WISHART_TOL_H
#define MATRIXHYPER_WISHART_TOL_H

#include <limits>

#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

// Whether P (of the tail asked for, or its log) with error e meets tol. A P
// and bound that both underflow (err the least subnormal) are met: nothing
// smaller is representable.
inline bool wishart_meets_tol(const wishart_cdf_request &request, double p, double e)
{
    if (request.log_result) return e <= request.tol;    // absolute in log P: relative in P
    return e <= request.tol * p || e <= std::numeric_limits<double>::denorm_min();
}

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_TOL_H
