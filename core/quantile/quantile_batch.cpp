// quantile_batch.cpp: the per-point loop shared by the inverse
// distributions.
#include "quantile_batch.h"

#include <algorithm>
#include <limits>

namespace matrixhyper {

const char *quantile_probabilities_error(const double *P, std::size_t count)
{
    if (count > 0 && P == nullptr) return "The probabilities P are missing.";
    for (std::size_t i = 0; i < count; i++)
        if (P[i] < 0 || P[i] > 1) return "The probabilities P must lie in [0, 1] (or be NaN).";
    return nullptr;
}

quantile_batch_outcome solve_quantiles(const quantile_problem &problem, const double *P, std::size_t count,
                                       probability_tail tail, double *x, double *err,
                                       const std::function<void(bool)> &sharpen)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    std::fill(x, x + count, nan);
    if (err) std::fill(err, err + count, nan);
    quantile_batch_outcome outcome;
    for (std::size_t i = 0; i < count; i++) {
        quantile_result result = solve_quantile(problem, P[i], tail);
        if (result.status == quantile_status::unresolved && sharpen) {
            sharpen(true);
            result = solve_quantile(problem, P[i], tail);
            sharpen(false);
        }
        switch (result.status) {
        case quantile_status::ok: break;
        case quantile_status::interrupted:
        case quantile_status::failed:
        case quantile_status::out_of_range:  // refused by the caller's check; kept for completeness
            outcome.status = result.status;
            outcome.message = result.message;
            return outcome;
        case quantile_status::unresolved:
        case quantile_status::not_bracketed:
            if (outcome.unresolved.empty()) {
                outcome.status = quantile_status::unresolved;
                outcome.message = result.message;
            }
            outcome.unresolved.push_back(i);
            break;
        }
        x[i] = result.x;
        if (err) err[i] = result.err;
    }
    return outcome;
}

} // namespace matrixhyper
