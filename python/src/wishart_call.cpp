// wishart_call.cpp: wishart_eig_cdf, read and checked as the plug-in reads
// its arguments: x, m, n, the keyword options, then Sigma.
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "calls.h"
#include "input_array.h"
#include "matrixhyper/wishart_cdf.h"
#include "released_call.h"

namespace matrixhyper_python {

// Case-insensitive equality of an option's value and one of its choices.
static bool same_name(const std::string &given, const char *choice)
{
    std::size_t i = 0;
    for (; i < given.size() && choice[i]; i++)
        if (std::tolower((unsigned char)given[i]) != std::tolower((unsigned char)choice[i])) return false;
    return i == given.size() && choice[i] == '\0';
}

// Index of a keyword option's value among its two choices; refused with
// the plug-in's message otherwise.
static int read_choice(const py::object &value, const char *name, const char *first, const char *second)
{
    if (py::isinstance<py::str>(value)) {
        const std::string text = value.cast<std::string>();
        if (same_name(text, first)) return 0;
        if (same_name(text, second)) return 1;
    }
    refuse_value(std::string("Option '") + name + "' must be '" + first + "' or '" + second + "'.");
}

// x: real numbers of any shape, all finite.
static input_array read_points(const py::object &x)
{
    input_array points = read_input(x);
    if (!points.is_real()) refuse_type("First input must be a real double array of points x.");
    if (!points.all_finite()) refuse_value("First input must hold finite points x.");
    return points;
}

static void read_sizes(const py::object &m, const py::object &n, matrixhyper::wishart_cdf_request &request)
{
    double dimension, degrees;
    if (!read_real_scalar(m, &dimension) || !(dimension >= 1 && dimension <= matrixhyper::wishart_eig_max_m) ||
        dimension != std::floor(dimension))
        refuse_value("Second input must be a whole number m from 1 to 1000.");
    if (!read_real_scalar(n, &degrees) || !std::isfinite(degrees) || !(degrees > dimension - 1) ||
        degrees > matrixhyper::wishart_eig_max_n)
        refuse_value("Third input must be a number n greater than m - 1, at most 100000.");
    request.m = (int)dimension;
    request.n = degrees;
}

// Sigma's eigenvalues into the request (None: the identity).
static void read_sigma(const py::object &sigma, matrixhyper::wishart_cdf_request &request)
{
    if (sigma.is_none()) return;
    const char *refusal = "Option 'sigma' must hold the m positive eigenvalues of Sigma, or Sigma itself.";
    const input_array input = read_input(sigma);
    if (input.eigenvalue_count() != (std::size_t)request.m) refuse_value(refusal);
    const bool complex_allowed = request.field == matrixhyper::wishart_field::complex;
    if (read_eigenvalues(input, complex_allowed, request.sigma) != matrix_argument_error::none)
        refuse_value(refusal);
    for (double value : request.sigma)
        if (!(value > 0)) refuse_value(refusal);
}

py::tuple wishart_eig_cdf(const py::object &x, const py::object &m, const py::object &n,
                          const wishart_call_options &options)
{
    const input_array points = read_points(x);
    matrixhyper::wishart_cdf_request request;
    read_sizes(m, n, request);
    request.field = read_choice(options.field, "field", "real", "complex") == 0
                        ? matrixhyper::wishart_field::real : matrixhyper::wishart_field::complex;
    request.which = read_choice(options.which, "which", "largest", "smallest") == 0
                        ? matrixhyper::wishart_extreme::largest : matrixhyper::wishart_extreme::smallest;
    request.tail = read_choice(options.tail, "tail", "lower", "upper") == 0
                       ? matrixhyper::wishart_tail::lower : matrixhyper::wishart_tail::upper;
    // A 'log' choice joins these once the core computes log P.
    read_sigma(options.sigma, request);
    request.memory_limit = table_memory_budget();

    double_array P(points.shape()), err(points.shape());
    double *probabilities = P.mutable_data(), *errors = err.mutable_data();
    matrixhyper::wishart_cdf_outcome outcome;
    {
        released_call call;
        request.interrupt = call.interrupt();
        outcome = matrixhyper::wishart_eig_cdf(request, points.data(), points.size, probabilities, errors);
        call.finish();
    }
    static const char *const status_names[] = {"ok", "not_converged", "invalid_argument",
                                               "interrupted", "out_of_memory", "numerical_failure"};
    if (outcome.status == matrixhyper::wishart_cdf_status::interrupted) raise_interrupted();
    return py::make_tuple(status_names[(int)outcome.status], P, err, outcome.message);
}

} // namespace matrixhyper_python
