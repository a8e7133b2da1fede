// matrix_argument.h: a matrix argument given either by its eigenvalues (a
// row or a column) or as the square matrix itself, real symmetric or
// complex Hermitian, whose eigenvalues are then taken with LAPACK.
#ifndef GATEWAY_MATRIX_ARGUMENT_H
#define GATEWAY_MATRIX_ARGUMENT_H

#include <cstddef>

#include "mex.h"

namespace gateway {

enum class matrix_argument_error {
    none,
    not_double,        // not a full double array
    bad_shape,         // neither a row, a column nor a square matrix
    complex_values,    // complex eigenvalues, or a complex matrix when alpha is not 1
    not_hermitian,     // a square matrix farther from symmetric than the tolerance
    not_finite,        // NaN or Inf among the values
    eigen_failed,      // LAPACK did not converge
    eigen_overflow,    // finite entries whose eigenvalues pass the double range
};

// How far a square matrix A may be from A' (or A^H): every
// |a_ij - conj(a_ji)| at most this times the largest |a_kl|. Within it the
// eigenvalues of (A + A^H)/2 are taken.
constexpr double hermitian_tolerance = 1e-10;

// Number of eigenvalues the argument holds: its element count for a row or
// a column, n for an n-by-n matrix (a 1-by-1 array is both).
size_t eigenvalue_count(const mxArray *array);

// Writes the eigenvalues of `array` (eigenvalue_count of them, in
// ascending order for a matrix, as given for a row or a column) into
// `values`. A complex Hermitian matrix is accepted only when
// `complex_allowed` (alpha = 1). Work memory comes from mxMalloc and is
// released before returning.
matrix_argument_error read_eigenvalues(const mxArray *array, bool complex_allowed, double *values);

// A covariance Sigma of dimension m as its m eigenvalues in `values`: a
// positive scalar c (Sigma = c I), the m positive eigenvalues, or the
// symmetric (Hermitian when complex_allowed) positive definite matrix.
// false for anything else.
bool read_covariance(const mxArray *array, size_t m, bool complex_allowed, double *values);

// The refusal of a Sigma that read_covariance does not take.
extern const char *const covariance_refusal;

} // namespace gateway

#endif // GATEWAY_MATRIX_ARGUMENT_H
