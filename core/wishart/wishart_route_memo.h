// wishart_route_memo.h: what the routes of wishart_eig_cdf keep between
// calls on one distribution (internal: the quantile solver evaluates one
// point at a time, and a route's tables need not be built for each).
#ifndef MATRIXHYPER_WISHART_ROUTE_MEMO_H
#define MATRIXHYPER_WISHART_ROUTE_MEMO_H

#include <cstddef>

#include "matrixhyper/wishart_cdf.h"
#include "wishart_real_smallest.h"

namespace matrixhyper {

struct wishart_route_memo {
    zonal_table zonal;   // the zonal route's per-degree sums
};

// wishart_eig_cdf with what earlier calls on the same m, n, field, extreme
// and Sigma kept in `memo` (their points, tails and tol may differ).
wishart_cdf_outcome wishart_eig_cdf(const wishart_cdf_request &request, wishart_route_memo &memo,
                                    const double *x, std::size_t count, double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_ROUTE_MEMO_H
