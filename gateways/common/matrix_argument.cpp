// matrix_argument.cpp: eigenvalues of a matrix argument, from the values
// given or from the symmetric or Hermitian matrix through LAPACK.
#include "matrix_argument.h"

#include <cmath>
#include <cstddef>

#include "gateway_args.h"
#include "options.h"

// LAPACK's integers: 64-bit in the library MATLAB ships, 32-bit in the
// reference LAPACK that Octave and our own host link.
#if defined(MATLAB_MEX_FILE)
typedef ptrdiff_t lapack_int;
#else
typedef int lapack_int;
#endif

extern "C" {
void dsyev_(const char *jobz, const char *uplo, const lapack_int *n, double *a,
            const lapack_int *lda, double *w, double *work, const lapack_int *lwork,
            lapack_int *info, size_t jobz_length, size_t uplo_length);
void zheev_(const char *jobz, const char *uplo, const lapack_int *n, double *a,
            const lapack_int *lda, double *w, double *work, const lapack_int *lwork,
            double *rwork, lapack_int *info, size_t jobz_length, size_t uplo_length);
}

namespace gateway {

static bool is_square_matrix(const mxArray *array)
{
    return mxGetM(array) == mxGetN(array) && mxGetM(array) > 1;
}

size_t eigenvalue_count(const mxArray *array)
{
    return is_square_matrix(array) ? mxGetM(array) : mxGetNumberOfElements(array);
}

// Entry (i, j) of a possibly complex matrix stored by columns.
struct entry {
    double re, im;
};
static entry at(const mxArray *array, size_t i, size_t j)
{
    size_t k = i + j * mxGetM(array);
    const double *imag = mxGetPi(array);
    return {mxGetPr(array)[k], imag ? imag[k] : 0.0};
}

// Whether every value is finite and every |a_ij - conj(a_ji)| stays within
// the tolerance relative to the largest |a_kl|.
static matrix_argument_error check_hermitian(const mxArray *array)
{
    const size_t n = mxGetM(array);
    double largest = 0;
    for (size_t j = 0; j < n; j++)
        for (size_t i = 0; i < n; i++) {
            entry a = at(array, i, j);
            if (!std::isfinite(a.re) || !std::isfinite(a.im)) return matrix_argument_error::not_finite;
            largest = std::fmax(largest, std::hypot(a.re, a.im));
        }
    for (size_t j = 0; j < n; j++)
        for (size_t i = 0; i <= j; i++) {
            entry a = at(array, i, j), b = at(array, j, i);
            if (std::hypot(a.re - b.re, a.im + b.im) > hermitian_tolerance * largest)
                return matrix_argument_error::not_hermitian;
        }
    return matrix_argument_error::none;
}

// Eigenvalues of the real symmetric part (A + A')/2 by dsyev.
static matrix_argument_error symmetric_eigenvalues(const mxArray *array, double *values)
{
    const lapack_int n = (lapack_int)mxGetM(array);
    double *a = (double *)mxMalloc((size_t)n * (size_t)n * sizeof(double));
    for (lapack_int j = 0; j < n; j++)
        for (lapack_int i = 0; i < n; i++)
            a[i + j * n] = 0.5 * (at(array, i, j).re + at(array, j, i).re);
    const lapack_int lwork = 3 * n;
    double *work = (double *)mxMalloc((size_t)lwork * sizeof(double));
    lapack_int info = 0;
    dsyev_("N", "L", &n, a, &n, values, work, &lwork, &info, 1, 1);
    mxFree(work);
    mxFree(a);
    return info == 0 ? matrix_argument_error::none : matrix_argument_error::eigen_failed;
}

// Eigenvalues of the Hermitian part (A + A^H)/2 by zheev (interleaved storage).
static matrix_argument_error hermitian_eigenvalues(const mxArray *array, double *values)
{
    const lapack_int n = (lapack_int)mxGetM(array);
    double *a = (double *)mxMalloc(2 * (size_t)n * (size_t)n * sizeof(double));
    for (lapack_int j = 0; j < n; j++)
        for (lapack_int i = 0; i < n; i++) {
            entry upper = at(array, i, j), lower = at(array, j, i);
            a[2 * (i + j * n)] = 0.5 * (upper.re + lower.re);
            a[2 * (i + j * n) + 1] = 0.5 * (upper.im - lower.im);
        }
    const lapack_int lwork = 2 * n;
    double *work = (double *)mxMalloc(2 * (size_t)lwork * sizeof(double));
    double *rwork = (double *)mxMalloc(3 * (size_t)n * sizeof(double));
    lapack_int info = 0;
    zheev_("N", "L", &n, a, &n, values, work, &lwork, rwork, &info, 1, 1);
    mxFree(rwork);
    mxFree(work);
    mxFree(a);
    return info == 0 ? matrix_argument_error::none : matrix_argument_error::eigen_failed;
}

matrix_argument_error read_eigenvalues(const mxArray *array, bool complex_allowed, double *values)
{
    if (!mxIsDouble(array) || mxIsSparse(array)) return matrix_argument_error::not_double;
    if (is_square_matrix(array)) {
        if (mxIsComplex(array) && !complex_allowed) return matrix_argument_error::complex_values;
        matrix_argument_error error = check_hermitian(array);
        if (error != matrix_argument_error::none) return error;
        error = mxIsComplex(array) ? hermitian_eigenvalues(array, values)
                                   : symmetric_eigenvalues(array, values);
        if (error != matrix_argument_error::none) return error;
        for (size_t i = 0; i < mxGetM(array); i++)
            if (!std::isfinite(values[i])) return matrix_argument_error::eigen_overflow;
        return matrix_argument_error::none;
    }
    if (!is_row_or_column(array) && mxGetNumberOfElements(array) != 0)
        return matrix_argument_error::bad_shape;
    if (mxIsComplex(array)) return matrix_argument_error::complex_values;
    const double *given = mxGetPr(array);
    for (size_t i = 0; i < mxGetNumberOfElements(array); i++) {
        if (!std::isfinite(given[i])) return matrix_argument_error::not_finite;
        values[i] = given[i];
    }
    return matrix_argument_error::none;
}

const char *const covariance_refusal =
    "Option 'sigma' must be a positive scalar c (Sigma = c I), the m positive eigenvalues of Sigma, or Sigma itself.";

bool read_covariance(const mxArray *array, size_t m, bool complex_allowed, double *values)
{
    if (mxGetNumberOfElements(array) == 1 && m > 1) {
        double scale;
        if (!read_real_scalar(array, &scale) || !(scale > 0) || !std::isfinite(scale)) return false;
        for (size_t i = 0; i < m; i++) values[i] = scale;
        return true;
    }
    if (eigenvalue_count(array) != m) return false;
    if (read_eigenvalues(array, complex_allowed, values) != matrix_argument_error::none) return false;
    for (size_t i = 0; i < m; i++)
        if (!(values[i] > 0)) return false;
    return true;
}

} // namespace gateway
