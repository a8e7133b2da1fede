// quantile.h: the inverse of a continuous distribution function given only
// as an evaluator of its two tails with an error estimate, by a safeguarded
// bracketing solver. Shared by every distribution of the library that has
// a quantile function.
#ifndef MATRIXHYPER_QUANTILE_H
#define MATRIXHYPER_QUANTILE_H

#include <functional>
#include <limits>
#include <string>

namespace matrixhyper {

// lower: P(X <= x); upper: P(X > x).
enum class probability_tail { lower, upper };

enum class cdf_point_status {
    ok,           // P and err stand (a large err is honest, not a failure)
    interrupted,  // the caller asked to stop
    failed,       // no value: the evaluator keeps its own reason
};

// One evaluation: the requested tail at one x, and an estimate of
// |P - exact| (absolute).
struct cdf_point {
    double P = 0, err = 0;
    cdf_point_status status = cdf_point_status::ok;
};

using cdf_evaluator = std::function<cdf_point(double x, probability_tail tail)>;

// The distribution: its evaluator, its support [0, upper_end] (upper_end
// +Inf or finite) and a typical value of X (a mean or a median, any
// positive value within the support; it only shortens the bracketing).
struct quantile_problem {
    cdf_evaluator cdf;
    double upper_end = std::numeric_limits<double>::infinity();
    double typical_x = 1;
};

enum class quantile_status {
    ok,              // x within quantile_rel_tol of the exact quantile
    out_of_range,    // P is not in [0, 1]
    unresolved,      // the CDF's err (or a CDF with no value) leaves x undetermined
    not_bracketed,   // the quantile lies beyond the doubles (or the CDF is not monotone)
    interrupted,
    failed,          // the evaluator failed: its own record says why
};

struct quantile_result {
    double x = 0;      // NaN unless ok
    double err = 0;    // a bound on |x - exact| given that the CDF's err bounds hold; NaN unless ok
    int evaluations = 0;
    quantile_status status = quantile_status::ok;
    std::string message;  // why, when not ok
};

// Relative accuracy promised in x.
constexpr double quantile_rel_tol = 1e-10;

// The x with P(X <= x) = P (tail lower) or P(X > x) = P (tail upper).
// P = 0 and P = 1 give the ends of the support exactly; P NaN gives NaN
// (status ok). The solver works on the tail whose probability is at most
// 1/2 (1 - P is exact there), so targets near 1 lose nothing.
quantile_result solve_quantile(const quantile_problem &problem, double P, probability_tail tail);

} // namespace matrixhyper

#endif // MATRIXHYPER_QUANTILE_H
