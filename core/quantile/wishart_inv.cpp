// wishart_inv.cpp: quantiles of the extreme eigenvalues of Wishart
// matrices, solving wishart_eig_cdf one point at a time, or for many
// quantiles one round of points at a time.
#include "matrixhyper/wishart_inv.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <new>
#include <vector>

#include "matrixhyper/quantile.h"
#include "quantile_batch.h"
#include "wishart_route_memo.h"

namespace matrixhyper {
namespace {

wishart_inv_outcome failure(wishart_cdf_status status, const std::string &message)
{
    wishart_inv_outcome outcome;
    outcome.status = status;
    outcome.message = message;
    return outcome;
}

// Where the extreme eigenvalue typically lies, to start the bracket near
// it: the edges (sqrt n +- sqrt m)^2 of the Marchenko-Pastur law for
// Sigma = I (both fields: E|z|^2 = 1), scaled by Sigma's extreme
// eigenvalue. At n = m the lower edge is 0 and the smallest eigenvalue is
// of order 1/m instead.
double typical_eigenvalue(const wishart_cdf_request &request)
{
    const double root_n = std::sqrt(request.n), root_m = std::sqrt((double)request.m);
    const bool largest = request.which == wishart_extreme::largest;
    double scale = 1;
    if (!request.sigma.empty())
        scale = largest ? *std::max_element(request.sigma.begin(), request.sigma.end())
                        : *std::min_element(request.sigma.begin(), request.sigma.end());
    const double edge = largest ? (root_n + root_m) * (root_n + root_m)
                                : std::fmax((root_n - root_m) * (root_n - root_m), 1.0 / request.m);
    return scale * edge;
}

// The distribution for the solver, at many points of one tail in one call
// (the holonomic routes carry every point along the same integration) or
// at one; keeps the outcome of a failed evaluation to report it.
struct point_evaluator {
    wishart_cdf_request request;
    wishart_cdf_outcome last_failure;
    wishart_route_memo memo;   // the tables every point of the distribution shares

    cdf_point operator()(double x, probability_tail tail)
    {
        cdf_point point;
        (*this)(&x, 1, tail, &point);
        return point;
    }

    void operator()(const double *x, std::size_t count, probability_tail tail, cdf_point *points)
    {
        request.tail = tail == probability_tail::lower ? wishart_tail::lower : wishart_tail::upper;
        std::vector<double> P(count), err(count);
        const wishart_cdf_outcome outcome = wishart_eig_cdf(request, memo, x, count, P.data(), err.data());
        cdf_point_status status = cdf_point_status::ok;
        if (outcome.status == wishart_cdf_status::interrupted) {
            status = cdf_point_status::interrupted;
        } else if (outcome.status != wishart_cdf_status::ok &&
                   outcome.status != wishart_cdf_status::not_converged) {
            status = cdf_point_status::failed;  // a missed accuracy stays in err
            last_failure = outcome;
        }
        for (std::size_t k = 0; k < count; k++) points[k] = cdf_point{P[k], err[k], status};
    }
};

// The distribution's route for this request, from an empty call that
// checks the request as every point will see it.
wishart_cdf_outcome check_request(const wishart_cdf_request &request)
{
    return wishart_eig_cdf(request, nullptr, 0, nullptr, nullptr);
}

} // namespace

wishart_inv_outcome wishart_eig_inv(const wishart_cdf_request &request, const double *P,
                                    std::size_t count, double *x, double *err)
{
    if (const char *error = quantile_probabilities_error(P, count))
        return failure(wishart_cdf_status::invalid_argument, error);
    if (count > 0 && x == nullptr) return failure(wishart_cdf_status::invalid_argument, "The output x is missing.");
    try {
        const wishart_cdf_outcome checked = check_request(request);
        if (checked.status != wishart_cdf_status::ok) return failure(checked.status, checked.message);

        // The solver weighs err itself: it wants the best value of every
        // point. It first asks the points for the accuracy the quantile
        // promises, which the routes mostly exceed without a retry in more
        // bits; a quantile left unresolved is solved again asking more.
        wishart_cdf_request solver_request = request;
        solver_request.tol = quantile_rel_tol;
        solver_request.keep_unreached = true;
        point_evaluator evaluator{solver_request, {}, {}};
        quantile_problem problem;
        problem.cdf = std::ref(evaluator);
        problem.typical_x = typical_eigenvalue(request);
        const probability_tail tail =
            request.tail == wishart_tail::lower ? probability_tail::lower : probability_tail::upper;
        const auto sharpen = [&evaluator](bool sharp) {
            evaluator.request.tol = sharp ? wishart_series_tol : quantile_rel_tol;
        };
        const quantile_batch_outcome solved =
            solve_quantiles(problem, P, count, tail, x, err, sharpen, std::ref(evaluator));
        switch (solved.status) {
        case quantile_status::ok: break;
        case quantile_status::interrupted: return failure(wishart_cdf_status::interrupted, "interrupted");
        case quantile_status::failed:
            return failure(evaluator.last_failure.status, evaluator.last_failure.message);
        case quantile_status::out_of_range:
            return failure(wishart_cdf_status::invalid_argument, solved.message);
        case quantile_status::unresolved:
        case quantile_status::not_bracketed:
            break;
        }
        wishart_inv_outcome outcome;
        outcome.method = checked.method;
        if (!solved.unresolved.empty()) {
            outcome.status = wishart_cdf_status::not_converged;
            outcome.message = solved.message;
            outcome.unresolved = solved.unresolved;
        }
        return outcome;
    } catch (const std::bad_alloc &) {
        return failure(wishart_cdf_status::out_of_memory, "out of memory");
    }
}

} // namespace matrixhyper
