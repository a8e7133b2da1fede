// series_calls.cpp: sorn and brint, the truncated series summed exactly as
// defined, read and checked as the plug-ins read theirs.
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "calls.h"
#include "input_array.h"
#include "matrixhyper/brint_series.h"
#include "matrixhyper/sorn_series.h"
#include "released_call.h"

namespace matrixhyper_python {

// Largest array, in bytes, that Python's sizes describe: numpy indexes with
// 64-bit signed integers, so the core's sizing refuses only what no
// process could hold.
constexpr long long python_array_byte_limit = LLONG_MAX;

enum { BOUNDS, ALPHA, NUM_PARAMS, DEN_PARAMS, FIFTH, SIXTH };

// Every argument as an array, refused as the plug-ins refuse an input that
// is not a double array.
static std::vector<input_array> read_inputs(std::initializer_list<const py::object *> arguments)
{
    std::vector<input_array> inputs;
    for (const py::object *argument : arguments) inputs.push_back(read_input(*argument));
    for (const input_array &input : inputs)
        if (input.kind == element_kind::not_numbers) refuse_type("All inputs must be double arrays.");
    return inputs;
}

static bool is_bounds(const input_array &bounds)
{
    return bounds.rows == 1 && bounds.columns >= 1 && bounds.columns <= 2;
}

// The shape checks both plug-ins make on alpha and the parameters.
static void check_parameter_shapes(const std::vector<input_array> &inputs)
{
    if (!inputs[ALPHA].is_scalar()) refuse_value("Second input must be a scalar = alpha.");
    if (!inputs[NUM_PARAMS].is_vector_or_empty()) refuse_value("Third input must be a vector = (a_1,...,a_p).");
    if (!inputs[DEN_PARAMS].is_vector_or_empty()) refuse_value("Forth input must be a vector = (b_1,...,b_q).");
}

// The value checks both plug-ins make after the shapes: real inputs, a max
// size, a part bound that is not NaN, alpha.
static void check_series_values(const std::vector<input_array> &inputs)
{
    for (const input_array &input : inputs)
        if (!input.is_real()) refuse_type("All inputs must be real full double arrays.");
    const input_array &bounds = inputs[BOUNDS];
    const double max_size = bounds.data()[0];
    if (!(max_size > -1.0 && max_size < 2147483647.0))
        refuse_value("First input must hold a max size of partition from 0 to 2147483646.");
    if (bounds.size == 2 && std::isnan(bounds.data()[1]))
        refuse_value("First input must not hold NaN as max size of the largest part.");
    const double alpha = inputs[ALPHA].first();
    if (!(alpha > 0 && std::isfinite(alpha))) refuse_value("Second input must be a positive finite alpha.");
}

// Truncation toward zero into the int range: above max_size a part bound
// admits every partition, at or below 0 only the empty one, so clamping
// changes no result.
static int clamped_part_bound(double value)
{
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return (int)value;
}

struct series_bounds {
    int max_size;
    int max_part;    // max_size when not given
};

static series_bounds read_bounds(const input_array &bounds)
{
    const int max_size = (int)bounds.data()[0];
    return {max_size, bounds.size == 2 ? clamped_part_bound(bounds.data()[1]) : max_size};
}

// ---- sorn ---------------------------------------------------------------

// The refusal of a call whose tables cannot exist, worded as the plug-in's.
static std::string sizing_message(const matrixhyper::sorn_sizing &sizing, int max_size, std::size_t n)
{
    using matrixhyper::sorn_sizing_status;
    char text[200];
    switch (sizing.status) {
    case sorn_sizing_status::too_many_values:
        std::snprintf(text, sizeof text, "First and fifth inputs need n = %llu values of x, more than %lld.",
                      (unsigned long long)n, sizing.position_limit);
        break;
    case sorn_sizing_status::too_many_partitions:
        std::snprintf(text, sizeof text, "First and fifth inputs need tables of %s%lld partitions, more than %lld.",
                      sizing.table_size_exact ? "" : "at least ", sizing.table_size,
                      sizing.position_limit);
        break;
    default:
        if (n > 0)
            std::snprintf(text, sizeof text,
                          "First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                          "n = %lld, tables of %lld partitions), more than %lld.",
                          sizing.largest_array_bytes, max_size, (long long)n, sizing.table_size,
                          python_array_byte_limit);
        else
            std::snprintf(text, sizeof text,
                          "First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                          "n = 0), more than %lld.",
                          sizing.largest_array_bytes, max_size, python_array_byte_limit);
    }
    return text;
}

// The checks of the sorn plug-in, in its order; y None for one argument.
static std::vector<input_array> checked_sorn_inputs(const py::object &bounds, const py::object &alpha,
                                                    const py::object &a, const py::object &b,
                                                    const py::object &x, const py::object &y)
{
    std::vector<input_array> inputs = y.is_none() ? read_inputs({&bounds, &alpha, &a, &b, &x})
                                                  : read_inputs({&bounds, &alpha, &a, &b, &x, &y});
    if (!is_bounds(inputs[BOUNDS])) refuse_value("First input must be a scalar = max size of partition.");
    check_parameter_shapes(inputs);
    if (!inputs[FIFTH].is_row_or_column()) refuse_value("Fifth input must be a vector = x.");
    if (!y.is_none() && !inputs[SIXTH].is_row_or_column()) refuse_value("Sixth input must be a vector = y.");
    check_series_values(inputs);
    if (!y.is_none() && inputs[SIXTH].size < inputs[FIFTH].size)
        refuse_value("Sixth input must have at least as many elements as the fifth input.");
    return inputs;
}

// The series request of checked inputs (y's first n values, if given).
static matrixhyper::sorn_request sorn_request_of(const std::vector<input_array> &inputs)
{
    const series_bounds bounds = read_bounds(inputs[BOUNDS]);
    matrixhyper::sorn_request request;
    request.max_size = bounds.max_size;
    request.max_part = bounds.max_part;
    request.alpha = inputs[ALPHA].first();
    request.a = inputs[NUM_PARAMS].data();
    request.p = inputs[NUM_PARAMS].size;
    request.b = inputs[DEN_PARAMS].data();
    request.q = inputs[DEN_PARAMS].size;
    request.n = inputs[FIFTH].size;
    request.x = inputs[FIFTH].data();
    request.y = inputs.size() > SIXTH ? inputs[SIXTH].data() : nullptr;
    return request;
}

py::tuple sorn(const py::object &bounds, const py::object &alpha, const py::object &a,
               const py::object &b, const py::object &x, const py::object &y)
{
    const std::vector<input_array> inputs = checked_sorn_inputs(bounds, alpha, a, b, x, y);
    matrixhyper::sorn_request request = sorn_request_of(inputs);
    request.threads = thread_count_from_environment();
    // The core sizes its own team (one thread for small tables); the
    // request's count only caps it, so a small call never starts threads.
    const matrixhyper::sorn_sizing sizing = matrixhyper::sorn_workspace_size(
        request.max_size, request.n, request.y != nullptr, python_array_byte_limit);
    if (sizing.status != matrixhyper::sorn_sizing_status::ok)
        refuse_value(sizing_message(sizing, request.max_size, request.n));

    double_array degree_sums((py::ssize_t)request.max_size + 1);
    std::vector<unsigned char> workspace(sizing.workspace_bytes);
    double *sums = degree_sums.mutable_data();
    matrixhyper::sorn_result result;
    {
        released_call call;
        request.interrupt = call.interrupt();
        result = matrixhyper::sorn_series(request, sizing, workspace.data(), sums);
        call.finish();
    }
    if (result.status == matrixhyper::sorn_status::interrupted) raise_interrupted();
    return py::make_tuple(result.value, degree_sums);
}

// ---- brint --------------------------------------------------------------

// The checks of the brint plug-in, in its order. The points may have any
// shape (each is evaluated on its own), where the plug-in asks for a row
// or a column.
static std::vector<input_array> checked_brint_inputs(const py::object &bounds, const py::object &alpha,
                                                     const py::object &a, const py::object &b,
                                                     const py::object &n, const py::object &x)
{
    std::vector<input_array> inputs = read_inputs({&bounds, &alpha, &a, &b, &n, &x});
    if (!is_bounds(inputs[BOUNDS]))
        refuse_value("First input must be an array of size 1 or 2 = "
                     "[max size of partition, max size of the largest part].");
    check_parameter_shapes(inputs);
    if (!inputs[FIFTH].is_scalar()) refuse_value("Fifth input must be a scalar = number of variables.");
    check_series_values(inputs);
    const double variables = inputs[FIFTH].first();
    if (!(variables > -1.0 && variables < 2147483648.0))
        refuse_value("Fifth input must be a number of variables from 0 to 2147483647.");
    return inputs;
}

py::tuple brint(const py::object &bounds, const py::object &alpha, const py::object &a,
                const py::object &b, const py::object &n, const py::object &x)
{
    const std::vector<input_array> inputs = checked_brint_inputs(bounds, alpha, a, b, n, x);
    const series_bounds truncation = read_bounds(inputs[BOUNDS]);
    matrixhyper::brint_request request;
    request.max_size = truncation.max_size;
    request.max_part = truncation.max_part;
    request.alpha = inputs[ALPHA].first();
    request.a = inputs[NUM_PARAMS].data();
    request.p = inputs[NUM_PARAMS].size;
    request.b = inputs[DEN_PARAMS].data();
    request.q = inputs[DEN_PARAMS].size;
    request.n = (int)inputs[FIFTH].first();

    const input_array &points = inputs[SIXTH];
    double_array degree_sums((py::ssize_t)request.max_size + 1);
    double_array values(points.shape());
    std::vector<unsigned char> workspace(matrixhyper::brint_workspace_size(request.max_size, request.n));
    double *sums = degree_sums.mutable_data(), *at_points = values.mutable_data();
    matrixhyper::brint_status status;
    {
        released_call call;
        request.interrupt = call.interrupt();
        status = matrixhyper::brint_coefficients(request, workspace.data(), sums);
        if (status == matrixhyper::brint_status::ok)
            matrixhyper::evaluate_degree_sums(sums, request.max_size, points.data(), points.size, at_points);
        call.finish();
    }
    if (status == matrixhyper::brint_status::interrupted) raise_interrupted();
    return py::make_tuple(values, degree_sums);
}

// ---- timing of the bare core --------------------------------------------

double sorn_core_seconds(const py::object &bounds, double alpha, const py::object &a,
                         const py::object &b, const py::object &x, int repeats)
{
    const py::float_ alpha_value(alpha);
    const std::vector<input_array> inputs = checked_sorn_inputs(bounds, alpha_value, a, b, x, py::none());
    const matrixhyper::sorn_request request = sorn_request_of(inputs);
    std::vector<double> sums((std::size_t)request.max_size + 1);
    volatile double sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < repeats; k++) {
        const matrixhyper::sorn_sizing sizing = matrixhyper::sorn_workspace_size(
            request.max_size, request.n, false, python_array_byte_limit);
        std::vector<unsigned char> workspace(sizing.workspace_bytes);
        sink = sink + matrixhyper::sorn_series(request, sizing, workspace.data(), sums.data()).value;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / repeats;
}

} // namespace matrixhyper_python
