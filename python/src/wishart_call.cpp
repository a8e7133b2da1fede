// wishart_call.cpp: wishart_eig_cdf and its inverse wishart_eig_inv, read
// and checked as their plug-ins read their arguments: x (or P), m, n, the
// keyword options, then Sigma.
#include <cmath>
#include <string>
#include <vector>

#include "calls.h"
#include "input_array.h"
#include "matrixhyper/wishart_cdf.h"
#include "matrixhyper/wishart_inv.h"
#include "released_call.h"

namespace matrixhyper_python {

// x: real numbers of any shape, all finite.
static input_array read_points(const py::object &x)
{
    input_array points = read_input(x);
    if (!points.is_real()) refuse_type("First input must be a real double array of points x.");
    if (!points.all_finite()) refuse_value("First input must hold finite points x.");
    return points;
}

// m and n, as the plug-ins read them: the distribution takes any positive n
// (its core decides about n < m), the inverse n > m - 1.
static void read_sizes(const py::object &m, const py::object &n, bool any_positive_n,
                       matrixhyper::wishart_cdf_request &request)
{
    double dimension, degrees;
    if (!read_real_scalar(m, &dimension) ||
        !(dimension >= 1 && dimension <= matrixhyper::wishart_series_max_m) ||
        dimension != std::floor(dimension))
        refuse_value("Second input must be a whole number m from 1 to " +
                     std::to_string(matrixhyper::wishart_series_max_m) + ".");
    const double least_n = any_positive_n ? 0 : dimension - 1;
    if (!read_real_scalar(n, &degrees) || !std::isfinite(degrees) || !(degrees > least_n) ||
        degrees > matrixhyper::wishart_eig_max_n)
        refuse_value((any_positive_n ? "Third input must be a positive number n, at most "
                                     : "Third input must be a number n greater than m - 1, at most ") +
                     std::to_string(matrixhyper::wishart_eig_max_n) + ".");
    request.m = (int)dimension;
    request.n = degrees;
}

// Sigma's eigenvalues into the request (None: the identity): a positive
// scalar c for Sigma = c I, the m positive eigenvalues, or Sigma itself.
static void read_sigma(const py::object &sigma, matrixhyper::wishart_cdf_request &request)
{
    if (sigma.is_none()) return;
    const char *refusal =
        "Option 'sigma' must be a positive scalar c (Sigma = c I), the m positive eigenvalues of Sigma, "
        "or Sigma itself.";
    const input_array input = read_input(sigma);
    if (input.size == 1 && request.m > 1) {
        double scale;
        if (!read_real_scalar(sigma, &scale) || !(scale > 0) || !std::isfinite(scale)) refuse_value(refusal);
        request.sigma.assign(request.m, scale);
        return;
    }
    if (input.eigenvalue_count() != (std::size_t)request.m) refuse_value(refusal);
    const bool complex_allowed = request.field == matrixhyper::wishart_field::complex;
    if (read_eigenvalues(input, complex_allowed, request.sigma) != matrix_argument_error::none)
        refuse_value(refusal);
    for (double value : request.sigma)
        if (!(value > 0)) refuse_value(refusal);
}

// The keyword options 'field', 'which' and 'tail'.
static void read_choices(const wishart_call_options &options, matrixhyper::wishart_cdf_request &request)
{
    request.field = read_choice(options.field, "field", "real", "complex") == 0
                        ? matrixhyper::wishart_field::real : matrixhyper::wishart_field::complex;
    request.which = read_choice(options.which, "which", "largest", "smallest") == 0
                        ? matrixhyper::wishart_extreme::largest : matrixhyper::wishart_extreme::smallest;
    request.tail = read_choice(options.tail, "tail", "lower", "upper") == 0
                       ? matrixhyper::wishart_tail::lower : matrixhyper::wishart_tail::upper;
}

// The core's wishart_cdf_status by name, in the enum's order.
static const char *const status_names[] = {"ok", "not_converged", "invalid_argument",
                                           "interrupted", "out_of_memory", "numerical_failure"};

py::tuple wishart_eig_cdf(const py::object &x, const py::object &m, const py::object &n,
                          const wishart_call_options &options)
{
    const input_array points = read_points(x);
    matrixhyper::wishart_cdf_request request;
    read_sizes(m, n, true, request);
    read_choices(options, request);
    if (!read_flag(options.log, &request.log_result)) refuse_value("Option 'log' must be true or false.");
    if (!read_real_scalar(options.tol, &request.tol) || !(request.tol > 0 && request.tol < 1))
        refuse_value("Option 'tol' must be a number in (0, 1).");
    read_sigma(options.sigma, request);
    request.memory_limit = table_memory_budget();
    request.threads = thread_count_from_environment();

    double_array P(points.shape()), err(points.shape());
    double *probabilities = P.mutable_data(), *errors = err.mutable_data();
    matrixhyper::wishart_cdf_outcome outcome;
    {
        released_call call;
        request.interrupt = call.interrupt();
        outcome = matrixhyper::wishart_eig_cdf(request, points.data(), points.size, probabilities, errors);
        call.finish();
    }
    if (outcome.status == matrixhyper::wishart_cdf_status::interrupted) raise_interrupted();
    return py::make_tuple(status_names[(int)outcome.status], P, err, outcome.message);
}

// Unresolved points the warning names one by one; it counts the rest (as
// the plug-ins' warning does).
constexpr std::size_t named_unresolved_points = 5;

std::string unresolved_quantiles_message(const std::vector<std::size_t> &unresolved, std::size_t count,
                                         const std::string &reason)
{
    std::string where;
    for (std::size_t k = 0; k < unresolved.size() && k < named_unresolved_points; k++)
        where += (k ? ", P(" : "P(") + std::to_string(unresolved[k] + 1) + ")";
    if (unresolved.size() > named_unresolved_points) where += ", ...";
    return std::to_string(unresolved.size()) + " of " + std::to_string(count) +
           " quantiles could not be resolved and are NaN (" + where + "): " + reason + ".";
}

py::tuple wishart_eig_inv(const py::object &P, const py::object &m, const py::object &n,
                          const wishart_call_options &options)
{
    const input_array probabilities = read_probabilities(P);
    matrixhyper::wishart_cdf_request request;
    read_sizes(m, n, false, request);
    read_choices(options, request);
    read_sigma(options.sigma, request);
    request.memory_limit = table_memory_budget();
    request.threads = thread_count_from_environment();

    double_array x(probabilities.shape()), err(probabilities.shape());
    double *quantiles = x.mutable_data(), *errors = err.mutable_data();
    matrixhyper::wishart_inv_outcome outcome;
    {
        released_call call;
        request.interrupt = call.interrupt();
        outcome = matrixhyper::wishart_eig_inv(request, probabilities.data(), probabilities.size, quantiles,
                                               errors);
        call.finish();
    }
    if (outcome.status == matrixhyper::wishart_cdf_status::interrupted) raise_interrupted();
    const std::string message =
        outcome.status == matrixhyper::wishart_cdf_status::not_converged
            ? unresolved_quantiles_message(outcome.unresolved, probabilities.size, outcome.message)
            : outcome.message;
    return py::make_tuple(status_names[(int)outcome.status], x, err, message);
}

} // namespace matrixhyper_python
