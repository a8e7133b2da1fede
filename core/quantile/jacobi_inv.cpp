// jacobi_inv.cpp: quantiles of the extreme eigenvalues of the matrix Beta
// ensemble (critical values of Roy's largest root), solving
// jacobi_eig_cdf one point at a time on the support [0, 1].
#include "matrixhyper/jacobi_inv.h"

#include <cmath>
#include <new>

#include "matrixhyper/quantile.h"
#include "quantile_batch.h"

namespace matrixhyper {
namespace {

// The bracket start is kept this far inside (0, 1): an edge that falls on
// an end of the support would start the solver where a tail is exactly 0.
constexpr double typical_margin = 1e-3;

jacobi_inv_outcome failure(jacobi_status status, const std::string &message)
{
    jacobi_inv_outcome outcome;
    outcome.status = status;
    outcome.message = message;
    return outcome;
}

// Where the extreme eigenvalue typically lies, to start the bracket near
// it: the edges of Wachter's limiting law of the matrix Beta eigenvalues,
// (sqrt(m (m + n - p)) +- sqrt(p n))^2 / (m + n)^2 (symmetric in p and m,
// as the s = min(p, m) nonzero eigenvalues are). The lower edge is 0 when
// the error df barely exceed p; the smallest eigenvalue is then of order
// 1 / (m + n) instead.
double typical_eigenvalue(const jacobi_eig_request &request)
{
    const double p = request.p, m = request.m, n = request.n;
    const double hypothesis = std::sqrt(m * (m + n - p)), error = std::sqrt(p * n);
    const bool largest = request.which == wishart_extreme::largest;
    const double spread = largest ? hypothesis + error : hypothesis - error;
    const double edge = spread * spread / ((m + n) * (m + n));
    const double floor = largest ? typical_margin : std::fmax(typical_margin, 1 / (m + n));
    return std::fmin(std::fmax(edge, floor), 1 - typical_margin);
}

// The distribution at one point for the solver; keeps the outcome of a
// failed evaluation to report it.
struct point_evaluator {
    jacobi_eig_request request;
    jacobi_eig_outcome last_failure;

    cdf_point operator()(double x, probability_tail tail)
    {
        request.tail = tail == probability_tail::lower ? wishart_tail::lower : wishart_tail::upper;
        cdf_point point;
        const jacobi_eig_outcome outcome = jacobi_eig_cdf(request, &x, 1, &point.P, &point.err);
        if (outcome.status == jacobi_status::interrupted) {
            point.status = cdf_point_status::interrupted;
        } else if (outcome.status != jacobi_status::ok) {
            point.status = cdf_point_status::failed;
            last_failure = outcome;
        }
        return point;
    }
};

} // namespace

jacobi_inv_outcome jacobi_eig_inv(const jacobi_eig_request &request, const double *P, std::size_t count,
                                  double *x, double *err)
{
    if (const char *error = quantile_probabilities_error(P, count))
        return failure(jacobi_status::invalid_argument, error);
    if (count > 0 && x == nullptr) return failure(jacobi_status::invalid_argument, "The output x is missing.");
    try {
        jacobi_eig_request probabilities = request;
        probabilities.log_result = false;  // the solver compares probabilities, never their logs
        const jacobi_eig_outcome checked = jacobi_eig_cdf(probabilities, nullptr, 0, nullptr, nullptr);
        if (checked.status != jacobi_status::ok) return failure(checked.status, checked.message);

        point_evaluator evaluator{probabilities, {}};
        quantile_problem problem;
        problem.cdf = std::ref(evaluator);
        problem.upper_end = 1;
        problem.typical_x = typical_eigenvalue(request);
        const probability_tail tail =
            request.tail == wishart_tail::lower ? probability_tail::lower : probability_tail::upper;
        const quantile_batch_outcome solved = solve_quantiles(problem, P, count, tail, x, err);
        switch (solved.status) {
        case quantile_status::ok: break;
        case quantile_status::interrupted: return failure(jacobi_status::interrupted, "interrupted");
        case quantile_status::failed:
            return failure(evaluator.last_failure.status, evaluator.last_failure.message);
        case quantile_status::out_of_range:
            return failure(jacobi_status::invalid_argument, solved.message);
        case quantile_status::unresolved:
        case quantile_status::not_bracketed:
            break;
        }
        jacobi_inv_outcome outcome;
        if (!solved.unresolved.empty()) {
            outcome.status = jacobi_status::not_converged;
            outcome.message = solved.message;
            outcome.unresolved = solved.unresolved;
        }
        return outcome;
    } catch (const std::bad_alloc &) {
        return failure(jacobi_status::out_of_memory, "out of memory");
    }
}

} // namespace matrixhyper
