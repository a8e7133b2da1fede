// matrix_pfq.h: pFq(a; b; X) and pFq(a; b; X, Y) of symmetric matrix arguments
// given by their eigenvalues, to a requested accuracy with an error estimate.
//
// The one-argument function is sum_k sum_{|kappa|=k} [(a)_kappa / (b)_kappa]
// C_kappa(X) / k!, the two-argument one divides each term further by
// C_kappa(I_n) and multiplies by C_kappa(Y), with C_kappa the Jack polynomial
// of parameter alpha normalised so that sum_{|kappa|=k} C_kappa(X) = tr(X)^k.
// The routes, relations, truncation rule and error model are described in
// docs/matrix_pfq.md.
//
// Inputs: any number of finite a and b; x the n eigenvalues of X (n >= 0);
// y empty (one argument) or the n eigenvalues of Y. alpha > 0 finite.
// tol in (0, 1) is the relative accuracy asked of the value.
//
// Outputs: value (f, or log|f| with info.sign when log_result) and err, an
// estimate of |value - true value| (for log_result, of the error of
// log|f|): a tail estimate extrapolated from the last degrees plus bounds on
// the rounding, the skipped subtrees and the prefactors. Like the error
// estimate of an adaptive quadrature it can fall below the true error when
// the terms grow again after the degrees it read (docs/matrix_pfq.md). A
// value below the normal range of double carries its absolute rounding in
// err (at least 2^-1074): ask for log_result there. status:
//   converged        err <= tol |f| (an exact 0 from a terminating series
//                    summed without rounding has err = 0);
//   not_converged    tol not reached within max_degree, the memory limit,
//                    the work budget when no max_degree is given (one per
//                    call, shared by every route and relation tried; some
//                    20 s on one core, counted in work so that the result
//                    does not depend on load; docs/matrix_pfq.md: the
//                    message then says "work limit", and value is NaN with
//                    err Inf when nothing was summed), because rounding
//                    (cancellation) exceeds it, or because the value is outside the normal
//                    range of double; value is the best found and err says
//                    how far off it may be;
//   refused          the tables of max_degree cannot fit memory_limit
//                    (message gives partitions and bytes);
//   out_of_memory    the system refused memory the evaluation needed;
//   invalid_argument alpha, tol, threads or inputs out of range, NaN, y size
//                    mismatch, a denominator pole reached by the series,
//                    a divergent series (p > q + 1 not terminating,
//                    |eigenvalue product| >= 1 for p = q + 1 with no
//                    convergent relation);
//   interrupted      options.interrupt asked to stop;
//   internal_error   a fault of this library (message says which).
// No exception escapes.
//
// Threads: options.threads threads fill the tables and walk at x I_n (0: the
// machine's hardware threads; at most 64). value, err and info (except
// seconds) are the same bit for bit for every count. The core reads no
// environment: a host that offers a setting passes its count here.
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
    int threads = 0;                   // threads filling the tables; 0: the hardware's
};

enum class pfq_status {
    converged, not_converged, refused, invalid_argument, interrupted, out_of_memory, internal_error
};

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
