// jacobi_eig.h: exact distribution of the largest or the smallest eigenvalue
// of the matrix Beta (MANOVA, double Wishart) ensemble, by finite formulas.
//
// Model: theta are the eigenvalues of (A + B)^-1 A with A ~ W_p(m, I) (the
// hypothesis, m degrees of freedom) and B ~ W_p(n, I) (the error, n >= p),
// independent; real (A = Z^T Z, N(0,1) entries) or complex (E|z|^2 = 1).
// The largest is Roy's largest-root statistic (MANOVA, canonical
// correlations, tests of equal covariances). When m < p, p - m eigenvalues
// are exactly 0 and "smallest" means the smallest of the s = min(p, m)
// nonzero ones. The s nonzero eigenvalues have the joint density (Jacobi)
//   prop. to |Vandermonde(theta)|^beta prod theta^a (1 - theta)^b on [0, 1]^s,
//   real (beta = 1):    a = (|m - p| - 1) / 2, b = (n - p - 1) / 2;
//   complex (beta = 2): a = |m - p|,           b = n - p.
// Both tails are computed directly (the upper is never 1 - lower).
// Method, precision and measured accuracy: docs/jacobi_extreme_eigenvalues.md.
#ifndef MATRIXHYPER_JACOBI_EIG_H
#define MATRIXHYPER_JACOBI_EIG_H

#include <cstddef>
#include <string>

#include "matrixhyper/interrupt.h"
#include "matrixhyper/wishart_eig.h"

namespace matrixhyper {

struct jacobi_eig_request {
    int p = 1;                                   // dimension, p >= 1
    double m = 1;                                // hypothesis degrees of freedom, m >= 1
    double n = 1;                                // error degrees of freedom, n >= p
    wishart_field field = wishart_field::real;
    wishart_extreme which = wishart_extreme::largest;
    wishart_tail tail = wishart_tail::lower;     // lower: P(theta <= x); upper: P(theta > x)
    // true: P holds log P and err the absolute error of log P.
    bool log_result = false;
    const interrupt_check *interrupt = nullptr;  // may be null: never interrupted
};

enum class jacobi_status {
    ok,
    not_converged,      // jacobi_eig_inv only: some quantiles could not be resolved (NaN)
    invalid_argument,   // p < 1, m < 1 (or not finite), n < p, null arrays
    out_of_reach,       // a valid model this route does not compute: non-integer
                        // m or n, or sizes beyond the verified limits below
    out_of_memory,
    numerical_failure,  // the quadrature/Lanczos machinery broke down
    interrupted,
};

struct jacobi_eig_outcome {
    jacobi_status status = jacobi_status::ok;
    std::string message;                         // empty when ok
};

// Limits of the verified range (docs/jacobi_extreme_eigenvalues.md): the
// number of nonzero eigenvalues s = min(p, m), and m, n.
constexpr int jacobi_eig_max_s = 50;
constexpr double jacobi_eig_max_degrees = 1000;

// Evaluates the requested tail at x[0..count-1].
//   Writes P[0..count-1] (or log P with log_result) and, when err is not
//   null, err[0..count-1]: a bound on |P - exact P| (absolute; for log P the
//   absolute error of the log). err costs a second evaluation: pass null when
//   not wanted.
//   x <= 0: lower 0, upper 1; x >= 1: lower 1, upper 0 (err 0); NaN: NaN.
// Not ok: nothing meaningful written for points not computed (NaN).
jacobi_eig_outcome jacobi_eig_cdf(const jacobi_eig_request &request, const double *x, std::size_t count,
                                  double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_JACOBI_EIG_H
