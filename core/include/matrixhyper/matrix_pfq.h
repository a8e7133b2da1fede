// matrix_pfq.h: pFq(a; b; X) and pFq(a; b; X, Y) of symmetric matrix arguments
// given by their eigenvalues, to a requested accuracy with an error estimate.
//
// The one-argument function is sum_k sum_{|kappa|=k} [(a)_kappa / (b)_kappa]
// C_kappa(X) / k!; the two-argument one divides each term further by
// C_kappa(I_n) and multiplies it by C_kappa(Y). The contract (inputs, the
// meaning of value, err and each status, threads, the work budget) and the
// method and error model are in docs/matrix_pfq.md.
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
    double alpha = 2;                  // Jack parameter, > 0
    double tol = 1e-12;                // relative accuracy asked, in (0, 1)
    int max_degree = 0;                // 0: automatic, within the work budget
    bool log_result = false;           // value = log|f|, info.sign its sign
    std::size_t memory_limit = 0;      // bytes for tables; 0: no limit
    const interrupt_check *interrupt = nullptr;
    int threads = 0;                   // threads filling the tables, walking and
                                       // computing determinant rows (at most 64);
                                       // 0: the hardware's
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
    double value = 0;                  // f, or log|f|
    double err = 0;                    // estimate of |value - true value|
    pfq_info info;
    std::string message;
};

// Never throws; the same value, err and info (but seconds) for any thread count.
pfq_result matrix_pfq(const pfq_problem &problem, const pfq_options &options);

} // namespace matrixhyper

#endif // MATRIXHYPER_MATRIX_PFQ_H
