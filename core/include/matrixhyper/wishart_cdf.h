// wishart_cdf.h: the distribution of the largest or smallest eigenvalue of a
// real or complex Wishart matrix, by the cheapest exact route.
//
//   real:    W = Z^T Z, Z an n-by-m matrix whose rows are iid N(0, Sigma);
//   complex: W = Z^H Z, rows iid circular complex normal with covariance
//            Sigma (E|z|^2 = 1 per entry when Sigma = I).
//
// Routes (outcome.method):
//   "exact"   white Sigma (a multiple of I, folded into x), an n that
//             wishart_eig_accepts (a whole n >= m, a non-integer n >= m - 0.9)
//             and m <= wishart_eig_max_m: the finite formulas of
//             wishart_eig.h, both tails computed directly;
//   "exact"   complex field, any other Sigma, integer n >= m, m <= 64
//             (wishart_complex_sigma.h): with rates a_i = 1 / sigma_i and
//             k_j = n - m + j, P(lambda_max <= x) = det[a_i^-k_j P(k_j, a_i x)]
//             / det[a_i^-k_j] and P(lambda_min > x) the same with Q, over
//             divided differences in the rates (close and repeated
//             eigenvalues of Sigma included), in multiprecision; both tails
//             and logs computed directly, err from two precisions;
//   "holonomic" real field, largest eigenvalue, m <= 10, any real
//             n > m - 1, Sigma whose eigenvalues are pairwise at least 0.1%
//             apart and within a ratio of 1e6 (m = 1: any): the Pfaffian
//             system of the 1F1 below integrated along x from a Frobenius
//             start (docs/wishart_holonomic.md), err from two integrations.
//             The upper tail is 1 - P while that meets tol; beyond, with
//             distinct eigenvalues, it is the integral of the density,
//             carried in double by the system with its one solution that
//             does not decay projected out: 1e-10 of itself however small
//             (below 1e-308 with log_result) as far as the work budget
//             reaches (at m = 10 the 1 - 1e-12 quantile and beyond; NaN past
//             it; close eigenvalues extrapolate it, where the largest is
//             close to another through spreads that narrow as x grows, to
//             the 1 - 1e-12 quantile at m <= 6). Points with close
//             eigenvalues that miss tol run again in long double (m <= 8);
//   "series"  the largest eigenvalue otherwise (real: m above 10 or Sigma's
//             eigenvalues closer or more spread than the holonomic route
//             takes; complex with Sigma not a multiple of I: a non-integer
//             n or m above 64; white: m above the finite formulas' range):
//               real:    P(lambda_max <= x) = Gamma_m((m+1)/2) / Gamma_m((n+m+1)/2)
//                        det(x Sigma^-1 / 2)^(n/2) 1F1(n/2; (n+m+1)/2; -x Sigma^-1 / 2)
//                        with alpha = 2 and Gamma_m(a) = pi^(m(m-1)/4) prod Gamma(a - (i-1)/2);
//               complex: P(lambda_max <= x) = G_m(m) / G_m(n+m)
//                        det(x Sigma^-1)^n 1F1(n; n+m; -x Sigma^-1)
//                        with alpha = 1 and G_m(a) = pi^(m(m-1)/2) prod Gamma(a - i + 1);
//             evaluated by matrix_pfq in logarithms, with its error bound.
//             The upper tail is 1 - P there, with the same absolute error.
//   "zonal"   the smallest eigenvalue, real field, Sigma not a multiple of I (or
//             m above the finite formulas' range), r = (n - m - 1)/2 a whole number:
//               P(lambda_min > x) = etr(-x Y) sum_{k <= m r} sum_{kappa |- k, kappa_1 <= r}
//                                   C_kappa(x Y) / k!,   Y = Sigma^-1 / 2,
//             a finite sum of zonal polynomials from one table per call; both
//             tails (and their logs) are sums of positive terms, computed
//             directly. Its table (C(m + r, m) partitions) has the series'
//             work budget: points beyond the degrees it reached are NaN.
// The smallest eigenvalue otherwise has no route and is refused: with Sigma
// not a multiple of I it needs an integer n (complex), or a whole
// (n - m - 1)/2 or the holonomic route's reach (real).
// A whole n < m with white Sigma: the nonzero eigenvalues of Z^T Z are those
// of Z Z^T, a W_n(m, Sigma) matrix, so m and n trade places. The series
// assumes n > m - 1, so a non-white Sigma or a non-integer n is refused there.
#ifndef MATRIXHYPER_WISHART_CDF_H
#define MATRIXHYPER_WISHART_CDF_H

#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/interrupt.h"
#include "matrixhyper/wishart_eig.h"

namespace matrixhyper {

// Relative accuracy asked of a point unless the caller says otherwise.
constexpr double wishart_default_tol = 1e-10;

// Relative accuracy the quantile solver asks of the points where those
// asked for its own accuracy leave a quantile unresolved.
constexpr double wishart_series_tol = 1e-12;

struct wishart_cdf_request {
    int m = 1;                      // dimension, at least 1
    // Degrees of freedom: n > m - 1, or a whole number of samples n < m
    // with white Sigma, whose m - n eigenvalues beyond the nth are exactly 0
    // ('smallest' then means the smallest nonzero one).
    double n = 1;
    wishart_field field = wishart_field::real;
    wishart_extreme which = wishart_extreme::largest;
    wishart_tail tail = wishart_tail::lower;
    std::vector<double> sigma;      // eigenvalues of Sigma (m positive values), or empty for I
    // true: P holds log P and err the absolute error of log P. The exact
    // route computes both tails' logs directly; the series route gives the
    // log of its value (lower) or of 1 - value (upper, whose relative error
    // grows as that tail shrinks).
    bool log_result = false;
    // Relative accuracy asked of each point, in (0, 1): of P for the lower
    // tail, of the upper tail for the upper (err of log P, absolute, when
    // log_result). The series takes it as its tol; a point that misses it
    // comes back NaN, its err saying how far it got.
    double tol = wishart_default_tol;
    // true: a point that misses tol keeps its best value instead of NaN (for
    // solvers that weigh err themselves; callers see NaN).
    bool keep_unreached = false;
    std::size_t memory_limit = 0;   // bytes for the series' tables; 0: no limit
    int threads = 0;                // threads of the series (pfq_options::threads); 0: the hardware's
    const interrupt_check *interrupt = nullptr;
};

enum class wishart_cdf_status {
    ok,             // every point met its accuracy
    not_converged,  // some points missed tol and are NaN: err says how far they got
    invalid_argument,
    interrupted,
    out_of_memory,
    numerical_failure, // the exact route could not certify its accuracy: message says where
};

struct wishart_cdf_outcome {
    wishart_cdf_status status = wishart_cdf_status::ok;
    std::string method;             // "exact", "holonomic", "series" or "zonal"
    std::string message;            // why, when not ok
};

// Largest dimension of a request: the finite formulas serve m up to
// wishart_eig_max_m, the series (largest eigenvalue, honest err) beyond.
constexpr int wishart_series_max_m = 1000;


// P[i] and err[i] (an estimate of |P[i] - exact|; err may be null) at every
// x[i]. x <= 0 gives 0 (lower) or 1 (upper); +Inf the reverse.
wishart_cdf_outcome wishart_eig_cdf(const wishart_cdf_request &request, const double *x,
                                    std::size_t count, double *P, double *err);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_CDF_H
