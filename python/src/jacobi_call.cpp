// jacobi_call.cpp: jacobi_eig_cdf, read and checked as the plug-in reads its
// arguments: x, p, m, n, then the keyword options.
#include <cmath>
#include <string>

#include "calls.h"
#include "input_array.h"
#include "jacobi_request.h"
#include "released_call.h"

namespace matrixhyper_python {

const char *const jacobi_status_names[] = {"ok",           "not_converged",     "invalid_argument", "out_of_reach",
                                           "out_of_memory", "numerical_failure", "interrupted"};

// x: real numbers of any shape, finite and within [0, 1].
static input_array read_points(const py::object &x)
{
    input_array points = read_input(x);
    if (!points.is_real()) refuse_type("First input must be a real double array of points x.");
    if (!points.all_finite()) refuse_value("First input must hold finite points x.");
    const double *values = points.data();
    for (std::size_t i = 0; i < points.size; i++)
        if (!(values[i] >= 0 && values[i] <= 1)) refuse_value("First input must hold points x in [0, 1].");
    return points;
}

void read_jacobi_request(const jacobi_model &model, const jacobi_call_options &options,
                         matrixhyper::jacobi_eig_request &request)
{
    const double most = matrixhyper::jacobi_eig_max_degrees;
    double p, m, n;
    if (!read_real_scalar(model.p, &p) || !(p >= 1 && p <= most) || p != std::floor(p))
        refuse_value("Second input must be a whole number p from 1 to 1000.");
    if (!read_real_scalar(model.m, &m) || !(m >= 1 && m <= most))
        refuse_value("Third input must be a number m from 1 to 1000.");
    if (!read_real_scalar(model.n, &n) || !(n >= p && n <= most))
        refuse_value("Fourth input must be a number n from p to 1000.");
    request.p = (int)p;
    request.m = m;
    request.n = n;
    request.field = read_choice(options.field, "field", "real", "complex") == 0
                        ? matrixhyper::wishart_field::real : matrixhyper::wishart_field::complex;
    request.which = read_choice(options.which, "which", "largest", "smallest") == 0
                        ? matrixhyper::wishart_extreme::largest : matrixhyper::wishart_extreme::smallest;
    request.tail = read_choice(options.tail, "tail", "lower", "upper") == 0
                       ? matrixhyper::wishart_tail::lower : matrixhyper::wishart_tail::upper;
}

py::tuple jacobi_eig_cdf(const py::object &x, const jacobi_model &model, const jacobi_call_options &options)
{
    const input_array points = read_points(x);
    matrixhyper::jacobi_eig_request request;
    read_jacobi_request(model, options, request);
    if (!read_flag(options.log, &request.log_result)) refuse_value("Option 'log' must be true or false.");

    double_array P(points.shape()), err(points.shape());
    double *probabilities = P.mutable_data(), *errors = err.mutable_data();
    matrixhyper::jacobi_eig_outcome outcome;
    {
        released_call call;
        request.interrupt = call.interrupt();
        outcome = matrixhyper::jacobi_eig_cdf(request, points.data(), points.size, probabilities, errors);
        call.finish();
    }
    if (outcome.status == matrixhyper::jacobi_status::interrupted) raise_interrupted();
    return py::make_tuple(jacobi_status_names[(int)outcome.status], P, err, outcome.message);
}

} // namespace matrixhyper_python
