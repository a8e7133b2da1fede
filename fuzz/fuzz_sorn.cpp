// fuzz_sorn.cpp: libFuzzer target for the sorn gateway, linked in directly
// (sorn is built with 32-bit sizes; the harness uses the host's own).
//
// Each input is a call (format in call_codec.h); the model below states the
// outcome that sorn's argument checks prescribe, in their order, and what a
// successful call must return. The number of variables is the element count
// of x, so the shapes of call_codec.h bound it (at most 8).
#include <cmath>
#include <string>

#include "call_runner.h"
#include "mex.h"

namespace {

using fuzzcall::CallPlan;
using fuzzcall::Expectation;
using fuzzcall::InputPlan;

enum { BOUNDS, ALPHA, NUM_PARAMS, DEN_PARAMS, X, Y };

Expectation error(const char *message) { return Expectation{Expectation::Error, message}; }

bool is_double(const InputPlan &in) { return in.cls == fuzzcall::Class::Double; }
bool is_matrix(const InputPlan &in) { return in.m > 1 && in.n > 1; }
bool is_row_or_column(const InputPlan &in) { return in.m == 1 || in.n == 1; }

// NaN and +-Inf fail both comparisons.
bool is_max_size(double value) {
    double t = fuzzcall::truncated(value);
    return t >= 0.0 && t <= 2147483646.0;
}

Expectation expect_shape_checks(const CallPlan &call) {
    const auto &in = call.inputs;
    if (in[BOUNDS].m != 1 || in[BOUNDS].n == 0 || in[BOUNDS].n > 2) {
        return error("First input must be a scalar = max size of partition.");
    }
    if (in[ALPHA].m != 1 || in[ALPHA].n != 1) return error("Second input must be a scalar = alpha.");
    if (is_matrix(in[NUM_PARAMS])) return error("Third input must be a vector = (a_1,...,a_p).");
    if (is_matrix(in[DEN_PARAMS])) return error("Forth input must be a vector = (b_1,...,b_q).");
    if (!is_row_or_column(in[X])) return error("Fifth input must be a vector = x.");
    if (in.size() == 6 && !is_row_or_column(in[Y])) return error("Sixth input must be a vector = y.");
    return Expectation{};
}

Expectation expect_value_checks(const CallPlan &call) {
    const auto &in = call.inputs;
    for (const InputPlan &input : in) {
        if (!fuzzcall::is_real_full_double(input)) {
            return error("All inputs must be real full double arrays.");
        }
    }
    const InputPlan &bounds = in[BOUNDS];
    if (!is_max_size(bounds.real[0])) {
        return error("First input must hold a max size of partition from 0 to 2147483646.");
    }
    if (bounds.count() == 2 && std::isnan(bounds.real[1])) {
        return error("First input must not hold NaN as max size of the largest part.");
    }
    double alpha = in[ALPHA].real[0];
    if (!(alpha > 0.0) || std::isinf(alpha)) return error("Second input must be a positive finite alpha.");
    if (in.size() == 6 && in[Y].count() < in[X].count()) {
        return error("Sixth input must have at least as many elements as the fifth input.");
    }
    // Beyond the memory limit: degree_sums alone needs (max_size + 1) doubles;
    // sorn may refuse the tables first with its own message.
    double degrees = fuzzcall::truncated(bounds.real[0]) + 1.0;
    if (degrees * 8.0 > static_cast<double>(fuzzcall::kMemoryLimitBytes)) {
        return Expectation{Expectation::TooLarge, "First and fifth inputs "};
    }
    return Expectation{};
}

Expectation expect(const CallPlan &call) {
    const auto &in = call.inputs;
    if (in.size() != 5 && in.size() != 6) return error("Must have five or six input arguments.");
    if (call.nlhs > 2) return error("Too many output arguments.");
    for (const InputPlan &input : in) {
        if (!is_double(input)) return error("All inputs must be double arrays.");
    }
    Expectation shapes = expect_shape_checks(call);
    if (shapes.kind != Expectation::Success) return shapes;
    return expect_value_checks(call);
}

// Output 1 is the sum of output 2 in increasing order of degree; where the
// series is known to stop at degree 0 it is exactly 1.
std::string check_outputs(const CallPlan &call, const mexhost::CallResult &result) {
    const InputPlan &bounds = call.inputs[BOUNDS];
    double max_size = fuzzcall::truncated(bounds.real[0]);
    bool trivial = max_size == 0.0 || fuzzcall::effective_max_part(bounds) <= 0.0 ||
                   call.inputs[X].count() == 0;
    const mxArray *value = result.outputs[0];
    if (!fuzzcall::is_shape(value, 1, 1)) return "output 1 is not a real double scalar";
    double total = mxGetPr(value)[0];
    if (call.nlhs == 2) {
        std::string fault = fuzzcall::check_degree_sums(result.outputs[1], max_size, trivial);
        if (!fault.empty()) return fault;
        const double *sums = mxGetPr(result.outputs[1]);
        double expected = 0.0;
        for (size_t d = 0; d <= static_cast<size_t>(max_size); d++) expected = expected + sums[d];
        if (!fuzzcall::same_double(total, expected)) return "output 1 is not the sum of degree_sums";
    } else if (trivial && total != 1.0) {
        return "output 1 should be 1 here";
    }
    return "";
}

const fuzzcall::PluginModel kModel = {
    "sorn",
    mexFunction,
    fuzzcall::sorn_rules(),
    expect,
    check_outputs,
};

} // namespace

FUZZ_PLUGIN_ENTRY_POINTS(kModel)
