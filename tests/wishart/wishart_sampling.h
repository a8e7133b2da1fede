// wishart_sampling.h: fixed-seed draws of W = Z^H Z, the n rows of Z iid
// with covariance Sigma, and their extreme eigenvalues by LAPACK: the
// independent side of the Monte Carlo tests.
#ifndef MATRIXHYPER_TESTS_WISHART_SAMPLING_H
#define MATRIXHYPER_TESTS_WISHART_SAMPLING_H

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <type_traits>
#include <vector>

extern "C" {
void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w, double *work,
            const int *lwork, int *info);
void zheev_(const char *jobz, const char *uplo, const int *n, std::complex<double> *a, const int *lda, double *w,
            std::complex<double> *work, const int *lwork, double *rwork, int *info);
}

namespace wishart_sampling {

// Eigenvalues of a symmetric m-by-m matrix, ascending.
inline std::vector<double> eigenvalues(std::vector<double> A, int m)
{
    std::vector<double> w(m), work(64 * m);
    int lwork = 64 * m, info = 0;
    dsyev_("N", "U", &m, A.data(), &m, w.data(), work.data(), &lwork, &info);
    EXPECT_EQ(info, 0);
    return w;
}

// Eigenvalues of a Hermitian m-by-m matrix (column-major), ascending.
inline std::vector<double> eigenvalues(std::vector<std::complex<double>> A, int m)
{
    std::vector<double> w(m), rwork(3 * m);
    std::vector<std::complex<double>> work(64 * m);
    int lwork = 64 * m, info = 0;
    zheev_("N", "U", &m, A.data(), &m, w.data(), work.data(), &lwork, rwork.data(), &info);
    EXPECT_EQ(info, 0);
    return w;
}

// Lower Cholesky factor of a symmetric positive definite matrix (row-major).
inline std::vector<double> cholesky(const std::vector<double> &S, int m)
{
    std::vector<double> L((std::size_t)m * m, 0.0);
    for (int i = 0; i < m; i++)
        for (int j = 0; j <= i; j++) {
            double sum = S[(std::size_t)i * m + j];
            for (int k = 0; k < j; k++) sum -= L[(std::size_t)i * m + k] * L[(std::size_t)j * m + k];
            L[(std::size_t)i * m + j] = i == j ? std::sqrt(sum) : sum / L[(std::size_t)j * m + j];
        }
    return L;
}

struct extremes {
    std::vector<double> smallest, largest;
};

// `samples` draws from the seed: each row of Z is L g with Sigma = L L^T and
// g standard normal (real, Scalar = double) or circular complex normal with
// E|g_i|^2 = 1 (Scalar = std::complex<double>). Sigma enters as a matrix,
// so a route that sees only its eigenvalues is checked independently.
template <class Scalar>
extremes sample_extremes(const std::vector<double> &Sigma, int m, int n, int samples, unsigned long long seed)
{
    constexpr bool complex_field = !std::is_same<Scalar, double>::value;
    const std::vector<double> L = cholesky(Sigma, m);
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.0, complex_field ? std::sqrt(0.5) : 1.0);
    std::vector<Scalar> g(m), Z((std::size_t)n * m), W((std::size_t)m * m);
    extremes out;
    for (int s = 0; s < samples; s++) {
        for (int r = 0; r < n; r++) {
            for (Scalar &value : g) {
                if constexpr (complex_field) {
                    const double re = normal(rng);
                    value = Scalar(re, normal(rng));
                } else {
                    value = normal(rng);
                }
            }
            for (int i = 0; i < m; i++) {
                Scalar sum = 0;
                for (int k = 0; k <= i; k++) sum += L[(std::size_t)i * m + k] * g[k];
                Z[(std::size_t)r * m + i] = sum;
            }
        }
        for (int i = 0; i < m; i++)
            for (int j = 0; j < m; j++) {
                Scalar sum = 0;
                for (int r = 0; r < n; r++) {
                    if constexpr (complex_field) sum += std::conj(Z[(std::size_t)r * m + i]) * Z[(std::size_t)r * m + j];
                    else sum += Z[(std::size_t)r * m + i] * Z[(std::size_t)r * m + j];
                }
                W[(std::size_t)j * m + i] = sum; // column-major: row i, column j
            }
        const std::vector<double> w = eigenvalues(W, m);
        out.smallest.push_back(w.front());
        out.largest.push_back(w.back());
    }
    return out;
}

} // namespace wishart_sampling

#endif // MATRIXHYPER_TESTS_WISHART_SAMPLING_H
