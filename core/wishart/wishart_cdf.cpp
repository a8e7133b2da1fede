// wishart_cdf.cpp: the extreme-eigenvalue distribution by route: the finite
// formulas for white Sigma, the routes of a general Sigma, the 1F1 series
// where none serves.
#include "matrixhyper/wishart_cdf.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "matrixhyper/matrix_pfq.h"
#include "wishart_complex_sigma.h"
#include "wishart_holonomic.h"
#include "wishart_real_smallest.h"
#include "wishart_route_memo.h"
#include "wishart_tol.h"

namespace matrixhyper {

namespace {

constexpr double unit_roundoff = std::numeric_limits<double>::epsilon() / 2;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// Relative accuracy the finite formulas meet at worst over their verified
// range (docs/wishart_extreme_eigenvalues.md): a tol at least this loose
// needs no second evaluation for their err.
constexpr double exact_route_accuracy = 1e-12;
// The out-of-reach warning names at most this many points, then "...".
constexpr std::size_t max_named_points = 5;

wishart_cdf_outcome failure(wishart_cdf_status status, const std::string &message)
{
    wishart_cdf_outcome outcome;
    outcome.status = status;
    outcome.message = message;
    return outcome;
}

// The common eigenvalue of a Sigma that is a multiple of I (1 for an empty
// Sigma), or 0 when its eigenvalues differ.
double common_scale(const std::vector<double> &sigma)
{
    if (sigma.empty()) return 1;
    for (double value : sigma)
        if (value != sigma[0]) return 0;
    return sigma[0];
}

const char *request_error(const wishart_cdf_request &request)
{
    if (request.m < 1 || request.m > wishart_series_max_m)
        return "The dimension m must be an integer from 1 to 1000.";
    if (!std::isfinite(request.n) || !(request.n > 0) || request.n > wishart_eig_max_n)
        return "The degrees of freedom n must be positive, finite and at most 100000.";
    if (!(request.tol > 0 && request.tol < 1)) return "The tolerance tol must lie in (0, 1).";
    if (!request.sigma.empty() && request.sigma.size() != (size_t)request.m)
        return "Sigma must have m eigenvalues.";
    for (double value : request.sigma)
        if (!(value > 0) || !std::isfinite(value)) return "The eigenvalues of Sigma must be positive and finite.";
    if (!(request.n > request.m - 1) && request.n != std::floor(request.n))
        return "A non-integer n must exceed m - 1: below it only a whole number of samples n "
               "gives a (singular) Wishart matrix.";
    if (!(request.n > request.m - 1) && common_scale(request.sigma) == 0)
        return "With n samples fewer than m dimensions Sigma must be a multiple of I: the series "
               "route for a general Sigma assumes n > m - 1.";
    return nullptr;
}

// The constants of the series route for one field.
struct series_plan {
    double a, c, alpha;   // 1F1(a; c; -x Sigma^-1 / divisor), Jack parameter
    double divisor;       // 2 for real, 1 for complex
    double log_constant;  // log of the multivariate gamma ratio
    double constant_magnitude; // sum of |log Gamma| values that entered it
};

series_plan plan_series(const wishart_cdf_request &request)
{
    const bool real = request.field == wishart_field::real;
    const double m = request.m, n = request.n;
    series_plan plan;
    plan.alpha = real ? 2 : 1;
    plan.divisor = real ? 2 : 1;
    plan.a = real ? n / 2 : n;
    plan.c = real ? (n + m + 1) / 2 : n + m;
    const double numerator = real ? (m + 1) / 2 : m;  // the pi powers of the two gammas cancel
    const double step = real ? 0.5 : 1;
    plan.log_constant = 0;
    plan.constant_magnitude = 0;
    for (int i = 0; i < request.m; i++) {
        double top = std::lgamma(numerator - i * step), bottom = std::lgamma(plan.c - i * step);
        plan.log_constant += top - bottom;
        plan.constant_magnitude += std::fabs(top) + std::fabs(bottom);
    }
    return plan;
}

// P(lambda_max <= x) by the series at one point x > 0, and its error.
struct point_value {
    double lower, err;
    pfq_status status;
    std::string message;
    double log_lower = nan, log_err = nan;  // log P and its absolute error
};

point_value series_point(const wishart_cdf_request &request, const series_plan &plan, double x)
{
    pfq_problem problem;
    problem.a = {plan.a};
    problem.b = {plan.c};
    double log_power = 0, power_magnitude = 0;
    for (int i = 0; i < request.m; i++) {
        const double sigma = request.sigma.empty() ? 1 : request.sigma[i];
        problem.x.push_back(-(x / plan.divisor / sigma));
        // The logarithm from its factors apart: the point may be subnormal
        // (few bits) or 0, which the series does not mind (its value is
        // 1 + O(point)) but the power would.
        const double logs[] = {std::log(x), -std::log(plan.divisor), -std::log(sigma)};
        for (double l : logs) {
            log_power += l;
            power_magnitude += std::fabs(l);
        }
    }
    const double power = plan.a;  // det(...)^(n/2) real, ^n complex: the 1F1 numerator
    pfq_options options;
    options.alpha = plan.alpha;
    options.tol = request.tol;
    options.log_result = true;
    options.interrupt = request.interrupt;
    options.memory_limit = request.memory_limit;
    options.threads = request.threads;
    const pfq_result result = matrix_pfq(problem, options);
    point_value value{nan, nan, result.status, result.message};
    if (result.status != pfq_status::converged && result.status != pfq_status::not_converged)
        return value;
    const double log_p = plan.log_constant + power * log_power + result.value;
    // lgamma, log and the sums each round within a few units: 8 u per
    // magnitude that entered the logarithm, on top of the series' own bound.
    const double log_err = result.err + 8 * unit_roundoff *
                                           (plan.constant_magnitude + power * power_magnitude +
                                            std::fabs(result.value) + std::fabs(log_p));
    const double p = std::exp(log_p);
    if (std::isnan(p) || std::isnan(log_err)) {   // the series had no value to offer
        value.err = HUGE_VAL;
        return value;
    }
    value.log_lower = std::fmin(log_p, 0.0);
    value.log_err = log_err + unit_roundoff * std::fabs(log_p);
    value.lower = std::fmin(p, 1.0);            // P <= 1: clamping only reduces the error
    value.err = p * std::expm1(log_err) + unit_roundoff * value.lower;
    if (p == 0 && std::exp(log_p + log_err) == 0)  // P and its bound underflow: below this
        value.err = std::numeric_limits<double>::denorm_min();
    if (std::isnan(value.err)) value.err = HUGE_VAL;
    return value;
}

// The whole request through the series, point by point.
wishart_cdf_outcome series_route(const wishart_cdf_request &request, const double *x,
                                 std::size_t count, double *P, double *err)
{
    wishart_cdf_outcome outcome;
    outcome.method = "series";
    const series_plan plan = plan_series(request);
    const bool upper = request.tail == wishart_tail::upper;
    for (std::size_t i = 0; i < count; i++) {
        double p, e = 0;
        if (std::isnan(x[i])) {
            p = e = nan;
        } else if (x[i] <= 0 || std::isinf(x[i])) {
            p = (x[i] > 0) != upper ? 1 : 0;      // below 0: lower 0, upper 1; +Inf: the reverse
            if (request.log_result) p = std::log(p);
        } else {
            point_value value = series_point(request, plan, x[i]);
            if (value.status == pfq_status::interrupted)
                return failure(wishart_cdf_status::interrupted, "interrupted");
            // The series' tables not fitting the memory limit is a memory
            // refusal, not bad input: callers tell the two apart.
            if (value.status == pfq_status::refused || value.status == pfq_status::out_of_memory)
                return failure(wishart_cdf_status::out_of_memory, value.message);
            if (value.status == pfq_status::internal_error)
                return failure(wishart_cdf_status::numerical_failure, value.message);
            if (value.status == pfq_status::invalid_argument)
                return failure(wishart_cdf_status::invalid_argument, value.message);
            if (value.status == pfq_status::not_converged && outcome.message.empty())
                outcome.message = value.message;   // the series' reason, for the warning
            p = upper ? 1 - value.lower : value.lower;
            e = value.err + (upper ? unit_roundoff : 0);
            if (request.log_result && !upper) {
                p = value.log_lower;
                e = value.log_err;
            } else if (request.log_result) {
                // The upper tail is 1 - P here: its log carries the absolute
                // error of P relative to the tail.
                e = p > 0 ? e / p : HUGE_VAL;
                p = std::log(p);
            }
        }
        P[i] = p;
        if (err) err[i] = e;
    }
    return outcome;
}

// White Sigma = scale I: the finite formulas at x / scale.
wishart_cdf_outcome exact_route(const wishart_cdf_request &request, double scale, const double *x,
                                std::size_t count, double *P, double *err)
{
    wishart_eig_request exact;
    exact.m = request.m;
    exact.n = request.n;
    exact.field = request.field;
    exact.which = request.which;
    exact.tail = request.tail;
    exact.log_result = request.log_result;
    exact.scale = scale;
    exact.interrupt = request.interrupt;
    wishart_eig_outcome result = wishart_eig_cdf_exact(exact, x, count, P, err);
    wishart_cdf_outcome outcome;
    outcome.method = "exact";
    switch (result.status) {
    case wishart_status::ok: break;
    case wishart_status::interrupted: return failure(wishart_cdf_status::interrupted, result.message);
    case wishart_status::out_of_memory: return failure(wishart_cdf_status::out_of_memory, result.message);
    case wishart_status::invalid_argument:
        return failure(wishart_cdf_status::invalid_argument, result.message);
    case wishart_status::numerical_failure:
        return failure(wishart_cdf_status::numerical_failure, result.message);
    }
    return outcome;
}

// Whether the point at x meets tol; NaN x is NaN by definition, not a miss.
bool meets_tol(const wishart_cdf_request &request, double x, double p, double e)
{
    return std::isnan(x) || wishart_meets_tol(request, p, e);
}

// Points that missed tol become NaN (unless the caller keeps them); the
// outcome counts and names them.
void mark_unreached(const wishart_cdf_request &request, const double *x, std::size_t count,
                    double *P, const double *err, wishart_cdf_outcome &outcome)
{
    std::vector<std::size_t> missed;
    for (std::size_t i = 0; i < count; i++)
        if (!meets_tol(request, x[i], P[i], err[i])) missed.push_back(i);
    if (missed.empty()) {
        outcome.message.clear();
        return;
    }
    std::string where;
    for (std::size_t k = 0; k < missed.size() && k < max_named_points; k++)
        where += (k ? ", x(" : "x(") + std::to_string(missed[k] + 1) + ")";
    if (missed.size() > max_named_points) where += ", ...";
    char tol_text[32];
    std::snprintf(tol_text, sizeof tol_text, "%g", request.tol);
    const std::string reason = outcome.message.empty() ? "" : ": " + outcome.message;
    outcome.status = wishart_cdf_status::not_converged;
    outcome.message = std::to_string(missed.size()) + " of " + std::to_string(count) + " points " +
                      (request.keep_unreached ? "missed" : "are out of reach and NaN") + " (" +
                      where + "): the " + outcome.method + " route did not reach tol = " + tol_text +
                      reason;
    if (!request.keep_unreached)
        for (std::size_t i : missed) P[i] = nan;
}

bool exact_serves(const wishart_cdf_request &request)
{
    return common_scale(request.sigma) > 0 && request.m <= wishart_eig_max_m &&
           wishart_eig_accepts(request.m, request.n);
}

// Why the smallest eigenvalue has no route for a request none serves.
const char *smallest_refusal(const wishart_cdf_request &request, double scale)
{
    const bool integer_n = request.n == std::floor(request.n);
    if (request.field == wishart_field::real)
        return "The smallest eigenvalue of a real Wishart matrix needs (n - m - 1)/2 a whole number "
               "(n = m + 1, m + 3, ...), where its finite zonal series exists, or the holonomic "
               "route: m at most 10 and Sigma's eigenvalues within a ratio of 1e6.";
    if (!integer_n) return "The smallest eigenvalue needs an integer n: it has no series route.";
    if (scale == 0)
        return "The smallest eigenvalue of a complex Wishart matrix with Sigma not a multiple of I "
               "needs m at most 64, the range of its determinant formulas.";
    return "The smallest eigenvalue needs m at most 100, the verified range of the finite formulas.";
}

// The route for a checked request whose n exceeds m - 1.
wishart_cdf_outcome route(const wishart_cdf_request &request, const double *x, std::size_t count,
                          double *P, double *err, wishart_route_memo *memo)
{
    const double scale = common_scale(request.sigma);
    if (exact_serves(request)) return exact_route(request, scale, x, count, P, err);
    if (complex_sigma_serves(request)) return complex_sigma_route(request, x, count, P, err);
    if (request.which == wishart_extreme::largest) {
        if (holonomic_serves(request)) return holonomic_route(request, x, count, P, err);
        return series_route(request, x, count, P, err);
    }
    // The finite zonal series where it exists; the recessive solution of
    // the holonomic system otherwise.
    if (request.field == wishart_field::real && real_smallest_serves(request))
        return real_smallest_route(request, x, count, P, err, memo ? &memo->zonal : nullptr);
    if (holonomic_serves(request)) return holonomic_route(request, x, count, P, err);
    return failure(wishart_cdf_status::invalid_argument, smallest_refusal(request, scale));
}

// A whole n < m with white Sigma: Z Z^T holds the n nonzero eigenvalues, a
// W_n(m, Sigma) matrix.
wishart_cdf_request exchanged(const wishart_cdf_request &request)
{
    wishart_cdf_request swapped = request;
    swapped.m = (int)request.n;
    swapped.n = request.m;
    if (!request.sigma.empty()) swapped.sigma.assign(swapped.m, request.sigma[0]);
    return swapped;
}

// One call, with or without what earlier calls kept.
wishart_cdf_outcome evaluate_points(const wishart_cdf_request &request, const double *x, std::size_t count,
                                    double *P, double *err, wishart_route_memo *memo)
{
    if (const char *error = request_error(request))
        return failure(wishart_cdf_status::invalid_argument, error);
    try {
        const wishart_cdf_request &served = request.n > request.m - 1 ? request : exchanged(request);
        // The tol check needs err: a buffer of its own when the caller has
        // none, unless the finite formulas meet tol by their verified accuracy.
        const bool check = err || !exact_serves(served) || served.tol < exact_route_accuracy;
        std::vector<double> own_err(check && !err ? count : 0);
        double *errors = err ? err : check ? own_err.data() : nullptr;
        wishart_cdf_outcome outcome = route(served, x, count, P, errors, memo);
        if (check && (outcome.status == wishart_cdf_status::ok ||
                      outcome.status == wishart_cdf_status::not_converged))
            mark_unreached(served, x, count, P, errors, outcome);
        return outcome;
    } catch (const std::bad_alloc &) {
        return failure(wishart_cdf_status::out_of_memory, "out of memory");
    }
}

} // namespace

wishart_cdf_outcome wishart_eig_cdf(const wishart_cdf_request &request, const double *x,
                                    std::size_t count, double *P, double *err)
{
    return evaluate_points(request, x, count, P, err, nullptr);
}

wishart_cdf_outcome wishart_eig_cdf(const wishart_cdf_request &request, wishart_route_memo &memo,
                                    const double *x, std::size_t count, double *P, double *err)
{
    return evaluate_points(request, x, count, P, err, &memo);
}

} // namespace matrixhyper
