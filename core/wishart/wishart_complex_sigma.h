// wishart_complex_sigma.h: the extreme eigenvalues of a complex Wishart
// matrix W_m(n, Sigma), any positive definite Sigma, integer n >= m, by the
// finite determinant formulas of incomplete gamma functions (Khatri's
// orbital integral and the Andreief identity), evaluated in multiprecision
// with confluent handling of close and repeated eigenvalues of Sigma.
// Internal to the core. Derivation: docs/wishart_complex_sigma.md.
#ifndef MATRIXHYPER_WISHART_COMPLEX_SIGMA_H
#define MATRIXHYPER_WISHART_COMPLEX_SIGMA_H

#include <cstddef>

#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

// Whether the route serves a checked request: complex field, integer n >= m,
// m at most wishart_complex_sigma_max_m (any Sigma; route() sends white Sigma
// to the cheaper white formulas first).
bool complex_sigma_serves(const wishart_cdf_request &request);

// Largest dimension served: the accuracy is verified against multiprecision
// references up to m = 32 (tools/wishart_complex_sigma_reference.py).
constexpr int wishart_complex_sigma_max_m = 64;

// P[i] (the tail asked for, or its log) and err[i] (its absolute error, or
// that of log P) at every x[i]; err may be null. Both tails and both
// extremes are computed directly. A point whose err misses request.tol
// keeps its best value and err: the caller turns it into NaN.
wishart_cdf_outcome complex_sigma_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_COMPLEX_SIGMA_H
