// jacobi_inv.h: quantiles of the largest or smallest eigenvalue of the
// matrix Beta (MANOVA, double Wishart) ensemble: critical values of Roy's
// largest-root test. The inverse of jacobi_eig_cdf, by the solver of
// quantile.h on the support [0, 1].
#ifndef MATRIXHYPER_JACOBI_INV_H
#define MATRIXHYPER_JACOBI_INV_H

#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/jacobi_eig.h"
#include "matrixhyper/quantile.h"

namespace matrixhyper {

struct jacobi_inv_outcome {
    jacobi_status status = jacobi_status::ok;  // not_converged: some x are NaN
    std::string message;                       // why, when not ok (not_converged: the first point's reason)
    std::vector<std::size_t> unresolved;       // indices of the x left NaN for a P that is not NaN
};

// x[i] with P(theta <= x[i]) = P[i] (request.tail lower) or
// P(theta > x[i]) = P[i] (upper), and err[i] a bound on |x[i] - exact| that
// holds when jacobi_eig_cdf's own err bounds do (err may be null).
// request.log_result is ignored (P is a probability). P = 0 and 1 give the
// ends 0 and 1 of the support; NaN gives NaN. A P outside [0, 1] refuses
// the call (invalid_argument, nothing written). A point the solver cannot
// resolve to quantile_rel_tol is NaN (err NaN), listed in
// outcome.unresolved, and the status is not_converged. An interrupted or
// failed call leaves the points not yet solved NaN.
jacobi_inv_outcome jacobi_eig_inv(const jacobi_eig_request &request, const double *P,
                                  std::size_t count, double *x, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_JACOBI_INV_H
