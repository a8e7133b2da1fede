// wishart_eig.h: exact distribution of the largest or the smallest eigenvalue
// of a white Wishart matrix, by finite formulas (no series).
//
// Models (m = dimension, n = degrees of freedom: a whole n >= m >= 1, or
// a real n above m - 1 (wishart_eig_accepts), the Laguerre ensemble of that
// parameter):
//   real:    W = Z^T Z, Z an n-by-m matrix of iid N(0,1) entries;
//   complex: W = Z^H Z, iid circular complex normal entries with E|z|^2 = 1.
// The result is P(lambda <= x) (lower tail) or P(lambda > x) (upper tail),
// lambda the largest or the smallest eigenvalue of W. Both tails are
// computed directly (the upper tail is never formed as 1 - lower), so tiny
// p-values keep their relative accuracy down to the underflow threshold.
// Method, precisions and measured accuracy: docs/wishart_extreme_eigenvalues.md.
#ifndef MATRIXHYPER_WISHART_EIG_H
#define MATRIXHYPER_WISHART_EIG_H

#include <cstddef>
#include <string>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

enum class wishart_field { real, complex };
enum class wishart_extreme { largest, smallest };
// lower: P(lambda <= x); upper: P(lambda > x).
enum class wishart_tail { lower, upper };

struct wishart_eig_request {
    int m = 1;                                   // dimension, 1 <= m <= wishart_eig_max_m
    double n = 1;                                // degrees of freedom (above), at most wishart_eig_max_n
    wishart_field field = wishart_field::real;
    wishart_extreme which = wishart_extreme::largest;
    wishart_tail tail = wishart_tail::lower;
    // true: P holds log P and err the absolute error of log P (tails far
    // below the double range keep their value).
    bool log_result = false;
    // Sigma = scale I, scale > 0 and finite: the formulas run at x / scale in
    // extended precision, so that a subnormal x keeps its digits.
    double scale = 1;
    const interrupt_check *interrupt = nullptr;  // may be null: never interrupted
};

// numerical_failure: a breakdown of the quadrature/Lanczos machinery (never
// observed in testing; reported rather than returning wrong numbers).
enum class wishart_status { ok, invalid_argument, interrupted, out_of_memory, numerical_failure };

struct wishart_eig_outcome {
    wishart_status status = wishart_status::ok;
    std::string message;                         // empty when ok
};

// Largest sizes accepted: accuracy is verified against multiprecision
// references for m <= 100 (n <= 500 below m = 50, n = 100 and 1000 at
// m = 100; see the doc). Larger n run but are verified only through the
// continuity in n of the formulas.
constexpr int wishart_eig_max_m = 100;
constexpr int wishart_eig_max_n = 100000;
// A non-integer n must exceed m - 1 by at least this: nearer, the weight's
// singularity at 0 outgrows what the quadrature resolves
// (docs/wishart_extreme_eigenvalues.md, "Non-integer n").
constexpr double wishart_eig_least_fractional_excess = 0.1;

// Whether the formulas take n with dimension m: a whole n in [m, max_n], or
// a non-integer n in [m - 1 + least_fractional_excess, max_n].
bool wishart_eig_accepts(int m, double n);

// Evaluates the requested tail at x[0..count-1].
//   Reads  x[0..count-1] (any doubles; x need not be sorted).
//   Writes P[0..count-1]   the probabilities, in [0, 1];
//          err[0..count-1] an estimate of |P - exact P| (absolute), or
//          err may be null when not wanted.
//   x <= 0: P = 0 (lower) / 1 (upper), err 0. x = +Inf: 1 / 0, err 0.
//   x NaN:  P = NaN, err = NaN.
//   With log_result: P[i] = log P (-Inf for P = 0), err[i] its absolute error.
//   err is computed (by a second evaluation on other quadrature rules) only
//   when err is not null.
// Errors: invalid m, n or a null x / P with count > 0 -> invalid_argument,
// nothing written. Interrupted (request.interrupt polled between points and
// inside long loops) -> interrupted; entries not yet computed are set to NaN.
// No exception leaves this function (allocation failure -> out_of_memory,
// numerical breakdown -> numerical_failure; entries not computed are NaN).
// Work per call: what does not depend on x (quadrature rule on the full
// range, the factorised full-range Pfaffian matrix) is computed once.
wishart_eig_outcome wishart_eig_cdf_exact(const wishart_eig_request &request,
                                          const double *x, std::size_t count,
                                          double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_EIG_H
