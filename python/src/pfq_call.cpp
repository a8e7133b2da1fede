// pfq_call.cpp: matrix_pfq, read and checked as the plug-in reads its
// arguments: a and b, the options, then the matrix arguments x and y.
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "calls.h"
#include "input_array.h"
#include "matrixhyper/matrix_pfq.h"
#include "released_call.h"

namespace matrixhyper_python {

// The largest max_degree a call may ask for, as the plug-in allows.
constexpr double max_degree_limit = 1000000;

// A parameter vector: real numbers, a row, a column or empty, all finite.
static std::vector<double> read_parameters(const py::object &argument, const std::string &ordinal,
                                           const char *symbols)
{
    const input_array input = read_input(argument);
    const std::string refusal = ordinal + " input must be a real vector = (" + symbols + ").";
    if (!input.is_real()) refuse_type(refusal);
    if (!input.is_vector_or_empty()) refuse_value(refusal);
    if (!input.all_finite()) refuse_value(ordinal + " input must hold finite values.");
    return std::vector<double>(input.data(), input.data() + input.size);
}

static matrixhyper::pfq_options read_options(const pfq_call_options &given)
{
    matrixhyper::pfq_options options;
    double number;
    if (!read_real_scalar(given.alpha, &number) || !(number > 0 && std::isfinite(number)))
        refuse_value("Option 'alpha' must be a positive finite scalar.");
    options.alpha = number;
    if (!read_real_scalar(given.tol, &number) || !(number > 0 && number < 1))
        refuse_value("Option 'tol' must be a scalar between 0 and 1.");
    options.tol = number;
    if (!given.max_degree.is_none()) {         // None: the core's automatic cap
        if (!read_real_scalar(given.max_degree, &number) || !(number >= 1 && number <= max_degree_limit) ||
            number != (double)(int)number)
            refuse_value("Option 'max_degree' must be a whole number from 1 to 1000000.");
        options.max_degree = (int)number;
    }
    if (!read_flag(given.log, &options.log_result)) refuse_value("Option 'log' must be true or false.");
    return options;
}

// The refusal of a matrix argument, named by its ordinal.
[[noreturn]] static void refuse_matrix(matrix_argument_error error, const std::string &ordinal)
{
    switch (error) {
    case matrix_argument_error::complex_values:
        refuse_type(ordinal + " input must be real unless it is a Hermitian matrix and alpha is 1.");
    case matrix_argument_error::not_hermitian:
        refuse_value(ordinal + " input must be symmetric (Hermitian with alpha = 1) to within 1e-10 "
                               "of its largest entry.");
    case matrix_argument_error::not_finite: refuse_value(ordinal + " input must hold finite values.");
    case matrix_argument_error::eigen_failed:
        refuse_value(ordinal + " input: the eigenvalue solver did not converge.");
    case matrix_argument_error::eigen_overflow:
        refuse_value(ordinal + " input has eigenvalues beyond the double range.");
    case matrix_argument_error::not_numbers:
        refuse_type(ordinal + " input must be a row or column of eigenvalues, or a square matrix.");
    default:
        refuse_value(ordinal + " input must be a row or column of eigenvalues, or a square matrix.");
    }
}

// The eigenvalues of x and y (None: one argument) into the problem.
// Eigenvalues that overflow are refused once both inputs passed their own
// checks, so the checks keep their order whatever the values.
static void read_matrix_arguments(const py::object &x, const py::object &y, bool complex_allowed,
                                  matrixhyper::pfq_problem &problem)
{
    const input_array x_input = read_input(x);
    input_array y_input;
    if (!y.is_none()) {
        y_input = read_input(y);
        if (x_input.eigenvalue_count() != y_input.eigenvalue_count())
            refuse_value("Fourth input must have as many eigenvalues as the third.");
    }
    std::vector<double> values;
    const matrix_argument_error x_read = read_eigenvalues(x_input, complex_allowed, values);
    if (x_read != matrix_argument_error::none && x_read != matrix_argument_error::eigen_overflow)
        refuse_matrix(x_read, "Third");
    if (x_read == matrix_argument_error::none) problem.x = values;
    matrix_argument_error y_read = matrix_argument_error::none;
    if (!y.is_none()) {
        y_read = read_eigenvalues(y_input, complex_allowed, values);
        if (y_read != matrix_argument_error::none && y_read != matrix_argument_error::eigen_overflow)
            refuse_matrix(y_read, "Fourth");
        if (y_read == matrix_argument_error::none) problem.y = values;
    }
    if (x_read != matrix_argument_error::none) refuse_matrix(x_read, "Third");
    if (y_read != matrix_argument_error::none) refuse_matrix(y_read, "Fourth");
}

py::tuple matrix_pfq(const py::object &a, const py::object &b, const py::object &x,
                     const py::object &y, const pfq_call_options &given)
{
    matrixhyper::pfq_problem problem;
    problem.a = read_parameters(a, "First", "a_1,...,a_p");
    problem.b = read_parameters(b, "Second", "b_1,...,b_q");
    matrixhyper::pfq_options options = read_options(given);
    read_matrix_arguments(x, y, options.alpha == 1, problem);
    options.threads = thread_count_from_environment();
    options.memory_limit = table_memory_budget();
    matrixhyper::pfq_result result;
    {
        released_call call;
        options.interrupt = call.interrupt();
        result = matrixhyper::matrix_pfq(problem, options);
        call.finish();
    }
    static const char *const status_names[] = {"converged", "not_converged", "refused",
                                               "invalid_argument", "interrupted"};
    if (result.status == matrixhyper::pfq_status::interrupted) raise_interrupted();
    return py::make_tuple(status_names[(int)result.status], result.value, result.err,
                          result.info.degree, result.info.partitions, result.info.method,
                          result.info.converged, result.info.seconds, result.info.sign,
                          result.message);
}

double matrix_pfq_core_seconds(const py::object &a, const py::object &b, const py::object &x,
                               int repeats)
{
    matrixhyper::pfq_problem problem;
    problem.a = read_parameters(a, "First", "a_1,...,a_p");
    problem.b = read_parameters(b, "Second", "b_1,...,b_q");
    read_matrix_arguments(x, py::none(), false, problem);
    matrixhyper::pfq_options options;
    options.memory_limit = table_memory_budget();
    options.threads = thread_count_from_environment();
    volatile double sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < repeats; k++) sink = sink + matrixhyper::matrix_pfq(problem, options).value;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / repeats;
}

} // namespace matrixhyper_python
