// fuzz_brint.cpp: libFuzzer target for the brint gateway, linked in directly.
//
// Each input is a call (format in call_codec.h); the model below states the
// outcome that brint's argument checks prescribe, in their order, and what a
// successful call must return.
#include <cmath>
#include <string>

#include "call_runner.h"
#include "mex.h"

namespace {

using fuzzcall::CallPlan;
using fuzzcall::Expectation;
using fuzzcall::InputPlan;

enum { BOUNDS, ALPHA, NUM_PARAMS, DEN_PARAMS, VARIABLES, POINTS, INPUTS };

Expectation error(const char *message) { return Expectation{Expectation::Error, message}; }

bool is_double(const InputPlan &in) { return in.cls == fuzzcall::Class::Double; }
bool is_scalar(const InputPlan &in) { return in.m == 1 && in.n == 1; }
bool is_vector(const InputPlan &in) { return !(in.m > 1 && in.n > 1); }
bool is_row_or_column(const InputPlan &in) { return in.m == 1 || in.n == 1; }

// NaN and +-Inf fail both comparisons.
bool is_max_size(double value) {
    double t = fuzzcall::truncated(value);
    return t >= 0.0 && t <= 2147483646.0;
}

bool is_variable_count(double value) {
    double t = fuzzcall::truncated(value);
    return t >= 0.0 && t <= 2147483647.0;
}

Expectation expect_value_checks(const CallPlan &call) {
    for (const InputPlan &in : call.inputs) {
        if (!fuzzcall::is_real_full_double(in)) {
            return error("All inputs must be real full double arrays.");
        }
    }
    const InputPlan &bounds = call.inputs[BOUNDS];
    if (!is_max_size(bounds.real[0])) {
        return error("First input must hold a max size of partition from 0 to 2147483646.");
    }
    if (bounds.count() == 2 && std::isnan(bounds.real[1])) {
        return error("First input must not hold NaN as max size of the largest part.");
    }
    double alpha = call.inputs[ALPHA].real[0];
    if (!(alpha > 0.0) || std::isinf(alpha)) return error("Second input must be a positive finite alpha.");
    if (!is_variable_count(call.inputs[VARIABLES].real[0])) {
        return error("Fifth input must be a number of variables from 0 to 2147483647.");
    }
    // Beyond the memory limit: degree_sums alone needs (max_size + 1) doubles.
    double degrees = fuzzcall::truncated(bounds.real[0]) + 1.0;
    if (degrees * 8.0 > static_cast<double>(fuzzcall::kMemoryLimitBytes)) {
        return Expectation{Expectation::TooLarge, ""};
    }
    return Expectation{};
}

Expectation expect(const CallPlan &call) {
    const auto &in = call.inputs;
    if (in.size() != INPUTS) return error("brint takes six input arguments.");
    if (call.nlhs > 2) return error("Too many output arguments.");
    for (const InputPlan &input : in) {
        if (!is_double(input)) return error("All inputs must be double arrays.");
    }
    if (in[BOUNDS].m != 1 || in[BOUNDS].n == 0 || in[BOUNDS].n > 2) {
        return error("First input must be an array of size 1 or 2 = "
                     "[max size of partition, max size of the largest part].");
    }
    if (!is_scalar(in[ALPHA])) return error("Second input must be a scalar = alpha.");
    if (!is_vector(in[NUM_PARAMS])) return error("Third input must be a vector = (a_1,...,a_p).");
    if (!is_vector(in[DEN_PARAMS])) return error("Forth input must be a vector = (b_1,...,b_q).");
    if (!is_scalar(in[VARIABLES])) return error("Fifth input must be a scalar = number of variables.");
    if (!is_row_or_column(in[POINTS])) return error("Sixth input must be a vector = x.");
    return expect_value_checks(call);
}

// Horner's rule from 0, as the plug-in evaluates its polynomial.
double horner(const double *degree_sums, size_t degrees, double x) {
    double y = 0.0;
    for (size_t d = degrees; d-- > 0;) y = y * x + degree_sums[d];
    return y;
}

// Output 1 holds the polynomial of output 2 (or, in the cases where the
// coefficients are known, of [1 0 ... 0]) at every point.
std::string check_outputs(const CallPlan &call, const mexhost::CallResult &result) {
    const InputPlan &bounds = call.inputs[BOUNDS];
    const InputPlan &points = call.inputs[POINTS];
    double max_size = fuzzcall::truncated(bounds.real[0]);
    bool trivial = max_size == 0.0 || fuzzcall::effective_max_part(bounds) <= 0.0 ||
                   fuzzcall::truncated(call.inputs[VARIABLES].real[0]) == 0.0;
    const mxArray *values = result.outputs[0];
    if (!fuzzcall::is_shape(values, points.m, points.n)) return "output 1 is not shaped like x";
    size_t degrees = static_cast<size_t>(max_size) + 1;
    std::vector<double> known;
    const double *coefficients = nullptr;
    if (call.nlhs == 2) {
        std::string fault = fuzzcall::check_degree_sums(result.outputs[1], max_size, trivial);
        if (!fault.empty()) return fault;
        coefficients = mxGetPr(result.outputs[1]);
    } else if (trivial) {
        known.assign(degrees, 0.0);
        known[0] = 1.0;
        coefficients = known.data();
    }
    if (coefficients == nullptr) return "";
    const double *y = mxGetPr(values);
    for (size_t i = 0; i < points.count(); i++) {
        if (!fuzzcall::same_double(y[i], horner(coefficients, degrees, points.real[i]))) {
            return "output 1 at x(" + std::to_string(i + 1) +
                   ") is not the polynomial of degree_sums";
        }
    }
    return "";
}

const fuzzcall::PluginModel kModel = {
    "brint",
    mexFunction,
    fuzzcall::brint_rules(),
    expect,
    check_outputs,
};

} // namespace

FUZZ_PLUGIN_ENTRY_POINTS(kModel)
