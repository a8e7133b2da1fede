// quantile_batch.h: the quantiles of one distribution at many
// probabilities, with the bookkeeping every inverse distribution shares
// (the refusal of P outside [0, 1], NaN for the points not solved, the
// list of unresolved points). Private to the quantile module.
#ifndef MATRIXHYPER_QUANTILE_BATCH_H
#define MATRIXHYPER_QUANTILE_BATCH_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "matrixhyper/quantile.h"

namespace matrixhyper {

struct quantile_batch_outcome {
    // ok: every point solved; unresolved: the points listed are NaN;
    // interrupted, failed: the call stopped (the points not yet solved
    // are NaN; failed: the evaluator keeps its own reason).
    quantile_status status = quantile_status::ok;
    std::string message;                  // the first unresolved point's reason
    std::vector<std::size_t> unresolved;  // indices of the x left NaN for a P that is not NaN
};

// One tail of the distribution at count points in one call (points[k] for
// x[k]), for a distribution whose evaluation costs little more for many
// points than for one.
using cdf_batch_evaluator =
    std::function<void(const double *x, std::size_t count, probability_tail tail, cdf_point *points)>;

// Why P[0..count-1] cannot be solved (missing, or a P outside [0, 1]),
// or null when they can.
const char *quantile_probabilities_error(const double *P, std::size_t count);

// x[i] (and err[i] when err is not null) for every P[i]. With sharpen set,
// a point that the CDF's err leaves unresolved is solved again between
// sharpen(true) and sharpen(false): the caller's CDF asks more of its
// evaluations there. With batch set, the quantiles are solved side by side
// and each round of their evaluations is one batch call a tail
// (problem.cdf is then unused): the same solver, the same answers to the
// accuracy promised, in as many calls as the slowest quantile needs.
quantile_batch_outcome solve_quantiles(const quantile_problem &problem, const double *P, std::size_t count,
                                       probability_tail tail, double *x, double *err,
                                       const std::function<void(bool)> &sharpen = {},
                                       const cdf_batch_evaluator &batch = {});

} // namespace matrixhyper

#endif // MATRIXHYPER_QUANTILE_BATCH_H
