// call_runner.cpp: builds, runs and checks one fuzzed plug-in call.
#include "call_runner.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace fuzzcall {

namespace {

using mexhost::ArrayClass;

// Everything the host knows of an array, for checking that a call left its
// inputs alone.
struct Snapshot {
    ArrayClass cls;
    size_t m, n;
    bool complex, sparse;
    std::vector<double> real, imag;
};

Snapshot snapshot(const mxArray *array) {
    return Snapshot{mexhost::class_of(array), mxGetM(array), mxGetN(array), mxIsComplex(array),
                    mxIsSparse(array), mexhost::real_values(array), mexhost::imag_values(array)};
}

bool same_values(const std::vector<double> &a, const std::vector<double> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (!same_double(a[i], b[i])) return false;
    }
    return true;
}

bool same_snapshot(const Snapshot &a, const Snapshot &b) {
    return a.cls == b.cls && a.m == b.m && a.n == b.n && a.complex == b.complex &&
           a.sparse == b.sparse && same_values(a.real, b.real) && same_values(a.imag, b.imag);
}

ArrayClass host_class(Class cls) {
    switch (cls) {
    case Class::Single: return ArrayClass::Single;
    case Class::Char: return ArrayClass::Char;
    case Class::Logical: return ArrayClass::Logical;
    case Class::Int32: return ArrayClass::Int32;
    case Class::Double: break;
    }
    return ArrayClass::Double;
}

} // namespace

std::string number(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
    if (value == 0.0) return std::signbit(value) ? "-0" : "0";
    char text[40];
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {  // integers in full
        std::snprintf(text, sizeof text, "%.0f", value);
        return text;
    }
    for (int digits = 1; digits <= 17; digits++) {  // shortest text that reads back exactly
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

namespace {

// `[a b; c d]` from column-major values, or zeros(M,N) when empty.
std::string matrix(size_t m, size_t n, const std::vector<double> &values) {
    if (m == 0 || n == 0) return "zeros(" + std::to_string(m) + "," + std::to_string(n) + ")";
    if (m == 1 && n == 1) return number(values[0]);
    std::string text = "[";
    for (size_t row = 0; row < m; row++) {
        if (row > 0) text += "; ";
        for (size_t column = 0; column < n; column++) {
            if (column > 0) text += " ";
            text += number(values[column * m + row]);
        }
    }
    return text + "]";
}

std::string literal(const mxArray *array) {
    size_t m = mxGetM(array), n = mxGetN(array);
    std::vector<double> real = mexhost::real_values(array);
    switch (mexhost::class_of(array)) {
    case ArrayClass::Char: {
        std::string text = "'";
        for (double code : real) text += code == '\'' ? std::string("''") : std::string(1, char_of(code));
        return text + "'";
    }
    case ArrayClass::Single: return "single(" + matrix(m, n, real) + ")";
    case ArrayClass::Logical: return "logical(" + matrix(m, n, real) + ")";
    case ArrayClass::Int32: return "int32(" + matrix(m, n, real) + ")";
    case ArrayClass::Double: break;
    }
    std::string text = matrix(m, n, real);
    if (mxIsComplex(array)) {
        text = "complex(" + text + ", " + matrix(m, n, mexhost::imag_values(array)) + ")";
    }
    return mxIsSparse(array) ? "sparse(" + text + ")" : text;
}

[[noreturn]] void fail(const std::string &what, const std::string &call) {
    std::fprintf(stderr, "\n*** plug-in fault: %s\n*** call: %s\n", what.c_str(), call.c_str());
    std::fflush(stderr);
    std::abort();
}

bool starts_with(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The first disagreement between the outcome and the expectation, or "".
// Under a tight memory limit a call that passes its checks may run out of
// memory anywhere; the checks themselves allocate nothing.
std::string judge(const Expectation &expected, const mexhost::CallResult &result, bool tight) {
    if (tight && (expected.kind != Expectation::Error || expected.allocates_first) && !result.ok &&
        starts_with(result.message, "Out of memory")) {
        return "";
    }
    switch (expected.kind) {
    case Expectation::Success:
        if (result.ok) return "";
        for (const std::string &message : expected.or_errors) {
            if (result.message == message) return "";
        }
        return "the call should succeed but failed with \"" + result.message + "\"";
    case Expectation::Error:
        if (result.ok) return "the call should fail with \"" + expected.message + "\" but succeeded";
        if (result.message == expected.message) return "";
        for (const std::string &message : expected.or_errors) {
            if (result.message == message) return "";
        }
        return "expected the error \"" + expected.message + "\", got \"" + result.message + "\"";
    case Expectation::TooLarge:
        if (result.ok || starts_with(result.message, "Out of memory")) return "";
        if (!expected.message.empty() && starts_with(result.message, expected.message)) return "";
        return "a call too large for memory failed with \"" + result.message + "\"";
    }
    return "";
}

std::string check_failed_call(const mexhost::CallResult &result) {
    for (const mxArray *output : result.outputs) {
        if (output != nullptr) return "a failed call returned outputs";
    }
    return "";
}

std::string check_successful_call(const PluginModel &model, const CallPlan &call,
                                  const mexhost::CallResult &result) {
    if (result.leaked_blocks != 0) {
        return "left " + std::to_string(result.leaked_blocks) + " host-allocator blocks unfreed";
    }
    if (result.leaked_arrays != 0) {
        return "left " + std::to_string(result.leaked_arrays) + " arrays undestroyed";
    }
    size_t slots = static_cast<size_t>(call.nlhs > 1 ? call.nlhs : 1);
    if (result.outputs.size() != slots) return "wrong number of output slots";
    return model.check_outputs(call, result);
}

bool show_calls() {
    static const bool show = std::getenv("FUZZ_SHOW") != nullptr;
    return show;
}

} // namespace

mxArray *build(const InputPlan &plan) {
    switch (plan.cls) {
    case Class::Char: {
        std::string text;
        for (double value : plan.real) text += char_of(value);
        return mexhost::make_char(text);
    }
    case Class::Logical: {
        std::vector<double> values = plan.real;  // a real host refuses NaN here: make it true
        for (double &value : values) value = std::isnan(value) ? 1.0 : value;
        return mexhost::make_numeric(ArrayClass::Logical, plan.m, plan.n, values);
    }
    case Class::Single:
    case Class::Int32: return mexhost::make_numeric(host_class(plan.cls), plan.m, plan.n, plan.real);
    case Class::Double: break;
    }
    if (plan.sparse) return mexhost::make_sparse(plan.m, plan.n, plan.real, plan.imag);
    return mexhost::make_double(plan.m, plan.n, plan.real, plan.imag);
}

std::string describe(const char *name, int nlhs, const std::vector<const mxArray *> &inputs) {
    std::string text;
    if (nlhs == 1) text = "o1 = ";
    if (nlhs > 1) {
        text = "[";
        for (int i = 1; i <= nlhs; i++) text += (i > 1 ? ", o" : "o") + std::to_string(i);
        text += "] = ";
    }
    text += std::string(name) + "(";
    for (size_t i = 0; i < inputs.size(); i++) text += (i > 0 ? ", " : "") + literal(inputs[i]);
    return text + ")";
}

namespace {

// The first fault of a finished call, or "".
std::string first_fault(const PluginModel &model, const CallPlan &call,
                        const std::vector<const mxArray *> &inputs,
                        const std::vector<Snapshot> &before, const mexhost::CallResult &result) {
    std::string fault = judge(model.expect(call), result, call.tight_memory_limit != 0);
    if (fault.empty()) {
        fault = result.ok ? check_successful_call(model, call, result) : check_failed_call(result);
    }
    for (size_t i = 0; fault.empty() && i < inputs.size(); i++) {
        if (!same_snapshot(before[i], snapshot(inputs[i]))) {
            fault = "input " + std::to_string(i + 1) + " changed";
        }
    }
    if (fault.empty() && mexhost::live_blocks() != 0) {
        fault = "host-allocator blocks still held after the call";
    }
    return fault;
}

void show(const std::string &text, const CallPlan &call) {
    std::fprintf(stderr, "call: %s\n", text.c_str());
    if (call.tight_memory_limit != 0) {
        std::fprintf(stderr, "  (host allocator limited to %zu bytes)\n", call.tight_memory_limit);
    }
}

} // namespace

void run_one(const PluginModel &model, const uint8_t *data, size_t size) {
    CallPlan call = decode(data, size, model.rules);
    std::vector<const mxArray *> inputs;
    for (const InputPlan &plan : call.inputs) inputs.push_back(build(plan));
    std::string text = describe(model.name, call.nlhs, inputs);
    if (show_calls()) show(text, call);
    if (model.affordable != nullptr && !model.affordable(call)) {
        if (show_calls()) std::fprintf(stderr, "  -> not made: beyond the work bound of the target\n");
        for (const mxArray *input : inputs) mxDestroyArray(const_cast<mxArray *>(input));
        return;
    }
    std::vector<Snapshot> before;
    for (const mxArray *input : inputs) before.push_back(snapshot(input));

    if (call.tight_memory_limit != 0) mexhost::set_memory_limit(call.tight_memory_limit);
    mexhost::CallResult result = mexhost::call(model.function, call.nlhs, inputs);
    mexhost::set_memory_limit(kMemoryLimitBytes);
    if (show_calls()) {
        std::fprintf(stderr, "  -> %s\n", result.ok ? "ok" : ("error: " + result.message).c_str());
    }

    std::string fault = first_fault(model, call, inputs, before, result);
    if (!fault.empty()) fail(fault, text);
    mexhost::release(result);
    for (const mxArray *input : inputs) mxDestroyArray(const_cast<mxArray *>(input));
    if (mexhost::live_arrays() != 0) fail("arrays still live after releasing everything", text);
}

double truncated(double value) { return std::trunc(value); }

bool same_double(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool is_real_full_double(const InputPlan &plan) {
    return plan.cls == Class::Double && !plan.complex && !plan.sparse;
}

bool is_shape(const mxArray *array, size_t m, size_t n) {
    return array != nullptr && mxGetM(array) == m && mxGetN(array) == n &&
           mxIsDouble(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

std::string check_degree_sums(const mxArray *sums, double max_size, bool trivial) {
    size_t degrees = static_cast<size_t>(max_size) + 1;
    if (!is_shape(sums, 1, degrees)) {
        return "output 2 is not a real 1-by-" + std::to_string(degrees) + " double row";
    }
    const double *values = mxGetPr(sums);
    if (values[0] != 1.0) return "degree_sums(1) is " + number(values[0]) + ", not 1";
    for (size_t d = 1; trivial && d < degrees; d++) {
        if (values[d] != 0.0) return "degree_sums should be [1 0 ... 0] here";
    }
    return "";
}

CallPlan as_built(const CallPlan &call) {
    CallPlan built = call;
    for (InputPlan &plan : built.inputs) {
        if (plan.cls == Class::Char) {
            plan.n = plan.count();
            plan.m = plan.n == 0 ? 0 : 1;
        } else if (plan.cls == Class::Logical) {
            for (double &value : plan.real) value = std::isnan(value) ? 1.0 : value;
        }
    }
    return built;
}

std::string text_of(const InputPlan &plan) {
    std::string text;
    for (double value : plan.real) text += char_of(value);
    return text;
}

std::string check_warnings(const mexhost::CallResult &result, const char *id, bool &warned) {
    warned = !result.warnings.empty();
    if (result.warnings.size() > 1) return "more than one warning";
    if (warned && result.warnings[0].id != id) {
        return "unexpected warning " + result.warnings[0].id + ": " + result.warnings[0].message;
    }
    return "";
}

double effective_max_part(const InputPlan &bounds) {
    double part = bounds.count() == 2 ? truncated(bounds.real[1]) : truncated(bounds.real[0]);
    if (part >= 2147483647.0) return 2147483647.0;
    if (part <= -2147483648.0) return -2147483648.0;
    return part;
}

} // namespace fuzzcall
