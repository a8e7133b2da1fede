// wishart_inv.h: quantiles of the largest or smallest eigenvalue of a real
// or complex Wishart matrix (critical values, detection thresholds): the
// inverse of wishart_eig_cdf, by the solver of quantile.h.
#ifndef MATRIXHYPER_WISHART_INV_H
#define MATRIXHYPER_WISHART_INV_H

#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/quantile.h"
#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

struct wishart_inv_outcome {
    wishart_cdf_status status = wishart_cdf_status::ok;  // not_converged: some x are NaN
    std::string method;                   // the distribution's route: "exact" or "series"
    std::string message;                  // why, when not ok (for not_converged: the first point's reason)
    std::vector<std::size_t> unresolved;  // indices of the x left NaN for a P that is not NaN
};

// x[i] with P(lambda <= x[i]) = P[i] (request.tail lower) or
// P(lambda > x[i]) = P[i] (upper), and err[i] a bound on |x[i] - exact|
// that holds when the distribution's own err bounds do (err may be null).
// P = 0 and 1 give 0 and +Inf (or the reverse); NaN gives NaN. A P
// outside [0, 1] refuses the call (invalid_argument, nothing written).
// A point the solver cannot resolve to quantile_rel_tol is NaN (err NaN),
// listed in outcome.unresolved, and the status is not_converged.
// An interrupted or failed call leaves the points not yet solved NaN.
wishart_inv_outcome wishart_eig_inv(const wishart_cdf_request &request, const double *P,
                                    std::size_t count, double *x, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_INV_H
