// matrix_pfq.h: pFq(a; b; X) and pFq(a; b; X, Y) of symmetric matrix arguments
// given by their eigenvalues, to a requested accuracy with an error bound.
//
// The one-argument function is sum_k sum_{|kappa|=k} [(a)_kappa / (b)_kappa]
// C_kappa(X) / k!, the two-argument one divides each term further by
// C_kappa(I_n) and multiplies by C_kappa(Y). (c)_kappa is the generalised
// Pochhammer symbol prod_i prod_{j<=kappa_i} (c - (i-1)/alpha + j - 1) and
// C_kappa the Jack polynomial normalised so that sum_{|kappa|=k} C_kappa(X)
// = tr(X)^k.
//
// Inputs: any number of finite a and b; x the n eigenvalues of X (n >= 0);
// y empty (one argument) or the n eigenvalues of Y. alpha > 0 finite.
// tol in (0, 1) is the relative accuracy asked of the value.
//
// Routes (info.method names the route and relation used):
//   "closed form"  0F0(X) = exp(sum x), 1F0(a; X) = prod (1 - x_i)^(-a)
//                  (one argument, or two with Y a multiple of I);
//   "scalar"       n = 1 (after dropping zero eigenvalues of a one-argument
//                  call), the ordinary series;
//   "equal"        all eigenvalues equal: a walk over partitions whose term
//                  quotient per added box includes the point, so no
//                  coefficient is formed (two arguments with X or Y a
//                  multiple of I reduce to one argument at the products).
//                  The quotient's hook factors lie in (0, 1), so the terms
//                  below a partition sum to at most its |term| times sums of
//                  products of the other factors along each row: subtrees
//                  whose bound is below tol 1e-10 of the sum of |terms| are
//                  skipped and their bounds added to err (the walk is redone
//                  with a lower threshold when they pass tol / 200 of the
//                  sum). The walk runs on several threads over blocks of
//                  first rows, merged in a fixed order: the same bits for
//                  any thread count;
//   "tables"       distinct eigenvalues: Jack polynomials C_kappa(x / s),
//                  s = sum |x|, built degree by degree with the branching
//                  rule over horizontal strips, scaled so no table entry
//                  exceeds 1; s^k / k! is folded into the coefficient.
// Relations, one-argument 1F1 and 2F1 (eigenvalues act one by one):
//   "kummer"  1F1(a; c; X) = etr(X) 1F1(c - a; c; -X);
//   "pfaff-b" 2F1(a, b; c; X) = det(I - X)^(-b) 2F1(c - a, b; c; z), with
//             z = x / (x - 1), and "pfaff-a" the a <-> b version;
//   "euler"   2F1(a, b; c; X) = det(I - X)^(c-a-b) 2F1(c - a, c - b; c; X).
// The candidates whose series converge are tried best-first (smallest
// largest |eigenvalue| of the series argument, sign of the trace for 1F1);
// the first that meets tol is returned, else the one with the smallest err.
//
// Truncation: after each degree k, with A_k the sum of |terms| of degree k,
// the series stops when A_k < A_{k-1} < A_{k-2} < A_{k-3} (three decreases
// past the peak) and, with r = max(A_k / A_{k-1}, A_{k-1} / A_{k-2}, rho)
// < 1, the tail estimate 2 A_k r / (1 - r) is at most tol |sum| / 2. rho is
// the limit ratio: 0 for p <= q, max|x| max|y| for p = q + 1 (so a ratio
// still rising towards it cannot fool the estimate). A series that
// terminates (a numerator Pochhammer symbol vanishes on every partition
// beyond some degree) is summed exactly, tail 0. Until the rule's decreases
// hold there is no estimate and err is infinite. Distinct eigenvalues
// extend the tables one degree at a time; the walk at x I_n starts where
// the scalar series at the trace stops and is redone 25% higher (50% for
// n = 2) when short, so the shorter walks cost about the last one; it
// applies the rule at each degree it reached, its sums of |terms| raised by
// the bounds of the subtrees skipped below that degree, and takes the
// smallest estimate.
//
// Rounding: terms, tables and sums are formed in long double (unit
// roundoff u = 2^-64 on x86). err includes 2 (e_t + k + 3) u sum|terms|,
// where e_t bounds the relative error of one term in units of u (the degree
// k times the factors per box, plus table levels times strips per entry)
// and k + 3 covers the compensated degree sums and their total (the walk
// at x I_n adds 1024 + k + 1 for its plain sums of at most that many terms
// before they join the compensated ones); with mixed signs, sum|terms| uses a
// second table at |x|. Prefactors add their
// condition (|sum x| for etr, |b| sum|log(1-x)| for the determinants)
// times u, and the final rounding to double adds 2^-53 |f|.
//
// Threads: the tables of distinct eigenvalues are filled level by level,
// each level's partitions shared by options.threads threads (0: the
// default_thread_count() of sorn_series.h, which reads MATRIXHYPER_THREADS,
// else the hardware threads; at most 64). Levels of fewer than 500
// partitions are filled by the calling thread alone. The walk at x I_n
// shares its blocks of first rows the same way once its quick walk has
// met 100 000 terms. value, err and info (except seconds) are the same bit
// for bit for every thread count; the interrupt is polled on the calling
// thread only.
//
// Outputs: value (f, or log|f| with info.sign when log_result) and err, a
// bound on |value - true value| (for log_result, of log|f|). status:
//   converged        err <= tol |f| (tail, rounding and prefactor bounds);
//   not_converged    tol not reached within max_degree, the memory limit,
//                    the work budget when no max_degree is given (about
//                    3e8 strips of the tables or the prefix products
//                    behind them, 1.2e9 terms of the walk at x I_n; some
//                    20 s on one core), or because rounding
//                    (cancellation) exceeds it; value
//                    is the best found and err is still honest;
//   refused          the tables of max_degree cannot fit memory_limit
//                    (message gives partitions and bytes);
//   invalid_argument alpha, tol, threads or inputs out of range, NaN, y size
//                    mismatch, a denominator pole reached by the series,
//                    a divergent series (p > q + 1 not terminating,
//                    |eigenvalue product| >= 1 for p = q + 1 with no
//                    convergent relation);
//   interrupted      options.interrupt asked to stop.
// No exception escapes.
#ifndef MATRIXHYPER_MATRIX_PFQ_H
#define MATRIXHYPER_MATRIX_PFQ_H

#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

struct pfq_problem {
    std::vector<double> a, b, x, y;   // y empty: one matrix argument
};

struct pfq_options {
    double alpha = 2;
    double tol = 1e-12;
    int max_degree = 0;                // 0: automatic cap
    bool log_result = false;
    std::size_t memory_limit = 0;      // bytes for tables; 0: no limit
    const interrupt_check *interrupt = nullptr;
    int threads = 0;                   // threads filling the tables; 0: default_thread_count()
};

enum class pfq_status { converged, not_converged, refused, invalid_argument, interrupted };

struct pfq_info {
    int degree = 0;                    // last degree summed
    long long partitions = 0;          // terms summed, over all attempts
    std::string method;                // route and relation used
    bool converged = false;
    double seconds = 0;
    int sign = 0;                      // sign of f
};

struct pfq_result {
    pfq_status status = pfq_status::invalid_argument;
    double value = 0;
    double err = 0;
    pfq_info info;
    std::string message;
};

pfq_result matrix_pfq(const pfq_problem &problem, const pfq_options &options);

} // namespace matrixhyper

#endif // MATRIXHYPER_MATRIX_PFQ_H
