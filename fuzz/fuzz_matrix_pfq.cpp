// fuzz_matrix_pfq.cpp: libFuzzer target for the matrix_pfq gateway, linked in
// directly with the core and LAPACK.
//
// Each input is a call (format in call_codec.h) that always ends with
// 'max_degree', k, k from the MaxDegree palette: the option readers keep the
// last value given, so no call runs into the automatic work budgets (some
// 20 s). The work then grows with k and the number n of eigenvalues (at most
// 8 in a shape); a call whose k exceeds the cap for its n (kDistinctCap,
// measured at about half a second under the sanitizers in the slowest cases:
// non-converging series, relations tried in turn, two arguments) is not made.
// The model below states the outcome of the argument checks
// in their order; the evaluation may still refuse a call with one of the
// refusals the help lists (a pole, a divergent series). A successful call
// must return what the help promises: f and err real scalars, err >= 0 and
// finite unless matrix_pfq:notConverged was issued (which must happen exactly
// when info.converged is false, and whenever err > tol |f|), info with its six
// fields, and for the functions with closed forms (0F0, 1F0, and series whose
// parameters cancel to them: 1F1(a; a; X), 2F1(a, b; b; X)) a value within
// err of the closed form. The integration of 1F1's system at alpha = 2 is
// bounded by the size of X instead (holonomic_affordable), the determinant
// route at alpha = 1 by the size of the parameters (determinant_affordable).
#include <cctype>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "call_runner.h"
#include "mex.h"

namespace {

using fuzzcall::CallPlan;
using fuzzcall::Class;
using fuzzcall::Expectation;
using fuzzcall::InputPlan;

enum { NUM_PARAMS, DEN_PARAMS, X, Y };

const char *const kPole = "a denominator parameter meets a pole of its Pochhammer symbol";
const char *const kTooManyParams = "the series diverges (more than q + 1 numerator parameters)";
const char *const kNoRelation = "the series diverges at these eigenvalues and no relation converges";

Expectation error(const std::string &message, bool allocates_first = false) {
    Expectation e(Expectation::Error, message);
    e.allocates_first = allocates_first;
    return e;
}

bool is_char(const InputPlan &in) { return in.cls == Class::Char; }
bool is_scalar(const InputPlan &in) { return in.m == 1 && in.n == 1; }
bool is_square(const InputPlan &in) { return in.m == in.n && in.m > 1; }
size_t eigenvalue_count(const InputPlan &in) { return is_square(in) ? in.m : in.count(); }

// Case-insensitive, as the option reader compares names.
bool same_name(const std::string &a, const char *b) {
    std::string lower;
    for (char c : a) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == b;
}

// An option name as the plug-in reads it: a char row shorter than 32.
bool is_name(const InputPlan &in) { return is_char(in) && in.m == 1 && in.n < 32; }

bool real_scalar(const InputPlan &in, double &value) {
    if (!fuzzcall::is_real_full_double(in) || !is_scalar(in)) return false;
    value = in.real[0];
    return true;
}

// What the checked options ask for.
struct Options {
    double alpha = 2, tol = 1e-12, max_degree = 0;
    bool log = false;
};

// The options from `first` on; the refusal, or "".
std::string option_error(const CallPlan &call, size_t first, Options &options) {
    const auto &in = call.inputs;
    if ((in.size() - first) % 2 != 0) return "Options must come in name/value pairs.";
    for (size_t i = first; i < in.size(); i += 2) {
        if (!is_name(in[i])) return "Option names must be text: 'alpha', 'tol', 'max_degree' or 'log'.";
        std::string name = fuzzcall::text_of(in[i]);
        const InputPlan &value = in[i + 1];
        double number = 0;
        if (same_name(name, "alpha")) {
            if (!real_scalar(value, number) || !(number > 0) || std::isinf(number))
                return "Option 'alpha' must be a positive finite scalar.";
            options.alpha = number;
        } else if (same_name(name, "tol")) {
            if (!real_scalar(value, number) || !(number > 0 && number < 1))
                return "Option 'tol' must be a scalar between 0 and 1.";
            options.tol = number;
        } else if (same_name(name, "max_degree")) {
            if (!real_scalar(value, number) || !(number >= 1 && number <= 1000000) ||
                number != std::trunc(number))
                return "Option 'max_degree' must be a whole number from 1 to 1000000.";
            options.max_degree = number;
        } else if (same_name(name, "log")) {
            if (value.cls == Class::Logical && is_scalar(value)) {
                options.log = value.real[0] != 0;
            } else if (real_scalar(value, number) && (number == 0 || number == 1)) {
                options.log = number == 1;
            } else {
                return "Option 'log' must be true or false.";
            }
        } else {
            return "Unknown option '" + name + "': the options are 'alpha', 'tol', 'max_degree' and 'log'.";
        }
    }
    return "";
}

std::string parameter_error(const InputPlan &in, const char *ordinal, const char *symbols) {
    std::string which = ordinal;
    if (!fuzzcall::is_real_full_double(in) || (in.m > 1 && in.n > 1))
        return which + " input must be a real vector = (" + symbols + ").";
    for (double v : in.real)
        if (!std::isfinite(v)) return which + " input must hold finite values.";
    return "";
}

// The refusal of x or y (named by `ordinal`), or "": a square matrix must be
// finite and Hermitian to within 1e-10 of its largest entry (the same
// arithmetic as the plug-in), complex only with alpha = 1; anything else a
// real finite row or column.
std::string matrix_error(const InputPlan &in, const char *ordinal, bool complex_allowed) {
    std::string which = ordinal;
    if (in.cls != Class::Double || in.sparse)
        return which + " input must be a row or column of eigenvalues, or a square matrix.";
    if (is_square(in)) {
        if (in.complex && !complex_allowed)
            return which + " input must be real unless it is a Hermitian matrix and alpha is 1.";
        size_t n = in.m;
        auto re = [&](size_t i, size_t j) { return in.real[i + j * n]; };
        auto im = [&](size_t i, size_t j) { return in.complex ? in.imag[i + j * n] : 0.0; };
        double largest = 0;
        for (size_t j = 0; j < n; j++)
            for (size_t i = 0; i < n; i++) {
                if (!std::isfinite(re(i, j)) || !std::isfinite(im(i, j)))
                    return which + " input must hold finite values.";
                largest = std::fmax(largest, std::hypot(re(i, j), im(i, j)));
            }
        for (size_t j = 0; j < n; j++)
            for (size_t i = 0; i <= j; i++)
                if (std::hypot(re(i, j) - re(j, i), im(i, j) + im(j, i)) > 1e-10 * largest)
                    return which + " input must be symmetric (Hermitian with alpha = 1) to within 1e-10 "
                                   "of its largest entry.";
        return "";
    }
    if (in.m != 1 && in.n != 1 && in.count() != 0)
        return which + " input must be a row or column of eigenvalues, or a square matrix.";
    if (in.complex) return which + " input must be real unless it is a Hermitian matrix and alpha is 1.";
    for (double v : in.real)
        if (!std::isfinite(v)) return which + " input must hold finite values.";
    return "";
}

// Index of the first option: the first char input from the fourth on.
size_t first_option(const CallPlan &call) {
    for (size_t i = 3; i < call.inputs.size(); i++)
        if (is_char(call.inputs[i])) return i;
    return call.inputs.size();
}

// The checked request of a call that passes the argument checks.
bool parse(const CallPlan &call, Options &options, Expectation &outcome) {
    const auto &in = call.inputs;
    size_t positional = first_option(call);
    if (in.size() < 3 || positional > 4) {
        outcome = error("matrix_pfq takes a, b and x, then optionally y, then name/value options.");
        return false;
    }
    if (call.nlhs > 3) {
        outcome = error("Too many output arguments.");
        return false;
    }
    std::string message = parameter_error(in[NUM_PARAMS], "First", "a_1,...,a_p");
    if (message.empty()) message = parameter_error(in[DEN_PARAMS], "Second", "b_1,...,b_q");
    if (message.empty()) message = option_error(call, positional, options);
    if (message.empty() && positional == 4 && eigenvalue_count(in[Y]) != eigenvalue_count(in[X]))
        message = "Fourth input must have as many eigenvalues as the third.";
    if (message.empty()) message = matrix_error(in[X], "Third", options.alpha == 1);
    if (!message.empty()) {
        outcome = error(message);
        return false;
    }
    if (positional == 4) {
        message = matrix_error(in[Y], "Fourth", options.alpha == 1);
        if (!message.empty()) {
            // The eigenvalues of a square x are taken (in host memory) first.
            outcome = error(message, is_square(in[X]));
            return false;
        }
    }
    outcome = Expectation{};
    outcome.or_errors = {kPole, kTooManyParams, kNoRelation,
                         "Third input has eigenvalues beyond the double range.",
                         "Fourth input has eigenvalues beyond the double range."};
    return true;
}

Expectation expect(const CallPlan &planned) {
    CallPlan call = fuzzcall::as_built(planned);
    Options options;
    Expectation outcome;
    parse(call, options, outcome);
    return outcome;
}

// ---- Closed forms.

constexpr long double kUnitLd = LDBL_EPSILON / 2;
constexpr double kUnit = DBL_EPSILON / 2;

// Whether (c)_kappa vanishes on some partition of at most n rows:
// c - i/alpha a non-positive integer for a row i < n (or close to one, where
// the plug-in's long double arithmetic may decide either way).
bool degenerate(double c, size_t n, double alpha) {
    for (size_t i = 0; i < n; i++) {
        long double v = c - static_cast<long double>(i) / alpha;
        if (v < 0.5L && std::fabs(v - std::round(v)) < 1e-9L * (1 + std::fabs(v))) return true;
    }
    return false;
}

// log of the closed form of a one-argument call and the absolute rounding
// slack of that logarithm, when the parameters give one:
//   0F0(X) = 1F1(a; a; X) = etr(X),
//   1F0(a; X) = 2F1(a, b; b; X) = det(I - X)^(-a)   (eigenvalues below 1).
// The eigenvalues are those given (a row or column), or for a square matrix
// only its trace (0F0), independent of the eigenvalue solver whose rounding
// the slack then covers.
bool closed_form(const CallPlan &call, const Options &options, long double &log_value,
                 long double &slack) {
    const auto &in = call.inputs;
    if (first_option(call) != 3) return false;  // two arguments
    const InputPlan &a = in[NUM_PARAMS], &b = in[DEN_PARAMS], &x = in[X];
    size_t n = eigenvalue_count(x);
    bool exp_trace = (a.count() == 0 && b.count() == 0) ||
                     (a.count() == 1 && b.count() == 1 && a.real[0] == b.real[0] &&
                      !degenerate(b.real[0], n, options.alpha));
    if (exp_trace) {
        long double trace = 0, abs_trace = 0, largest = 0;
        if (is_square(x)) {
            for (size_t i = 0; i < n; i++) trace += x.real[i + i * n];
            for (size_t k = 0; k < x.count(); k++) {
                double im = x.complex ? x.imag[k] : 0.0;
                largest = std::fmax(largest, std::hypot(x.real[k], im));
            }
            abs_trace = n * largest;
            // The solver's eigenvalues sum to the trace within some n^2 eps |X|.
            slack = 64.0L * n * n * DBL_EPSILON * largest;
        } else {
            for (double v : x.real) { trace += v; abs_trace += std::fabs(v); }
            slack = 0;
        }
        log_value = trace;
        slack += 16 * kUnitLd * (abs_trace + 1);
        return true;
    }
    if (is_square(x)) return false;
    double power;
    if (a.count() == 1 && b.count() == 0) {
        power = a.real[0];
    } else if (a.count() == 2 && b.count() == 1 && (a.real[1] == b.real[0] || a.real[0] == b.real[0]) &&
               !degenerate(b.real[0], n, options.alpha)) {
        power = a.real[1] == b.real[0] ? a.real[0] : a.real[1];
    } else {
        return false;
    }
    long double total = 0, size = 0;
    for (double v : x.real) {
        if (!(v < 1)) return false;
        long double l = std::log1p(-static_cast<long double>(v));
        total += l;
        size += std::fabs(l) + 1;
    }
    log_value = -power * total;
    slack = 16 * kUnitLd * (std::fabs(power) * size + 1);
    return true;
}

// |f - closed form| within err and rounding (the help: "The true error does
// not exceed err save by a rounding-sized margin").
std::string check_closed_form(const CallPlan &call, const Options &options, double f, double err) {
    long double log_value, slack;
    if (!closed_form(call, options, log_value, slack) || !std::isfinite(err)) return "";
    long double margin = slack + 8 * kUnit * std::fabs(log_value);  // of the logarithm
    if (options.log) {
        if (std::fabs(f - log_value) <= err + margin) return "";
        return "log|f| = " + fuzzcall::number(f) + " is not within err of the closed form " +
               fuzzcall::number(static_cast<double>(log_value));
    }
    long double exact = std::exp(log_value);
    long double spread = exact > 0 ? exact * std::expm1(margin) : 0;  // no 0 * Inf
    long double bound = err + spread + 4 * kUnit * exact + DBL_TRUE_MIN;
    if (std::fabs(f - exact) <= bound) return "";
    return "f = " + fuzzcall::number(f) + " is not within err of the closed form " +
           fuzzcall::number(static_cast<double>(exact));
}

// ---- Outputs.

bool is_double_scalar(const mxArray *a) { return fuzzcall::is_shape(a, 1, 1); }

std::string check_info(const mxArray *info, const Options &options, bool warned, double f) {
    static const char *const fields[] = {"degree", "partitions", "method", "converged", "time", "sign"};
    if (info == nullptr || !mxIsStruct(info) || mxGetM(info) != 1 || mxGetN(info) != 1 ||
        mxGetNumberOfFields(info) != 6)
        return "output 3 is not a 1-by-1 struct with six fields";
    for (int k = 0; k < 6; k++)
        if (std::string(mxGetFieldNameByNumber(info, k)) != fields[k]) return "info fields out of order";
    const mxArray *degree = mxGetField(info, 0, "degree"), *partitions = mxGetField(info, 0, "partitions");
    const mxArray *method = mxGetField(info, 0, "method"), *converged = mxGetField(info, 0, "converged");
    const mxArray *time = mxGetField(info, 0, "time"), *sign = mxGetField(info, 0, "sign");
    if (!is_double_scalar(degree) || !is_double_scalar(partitions) || !is_double_scalar(time) ||
        !is_double_scalar(sign) || method == nullptr || !mxIsChar(method) || mxGetM(method) != 1 ||
        converged == nullptr || !mxIsLogicalScalar(converged))
        return "an info field has the wrong class or shape";
    double d = mxGetPr(degree)[0], p = mxGetPr(partitions)[0], t = mxGetPr(time)[0], s = mxGetPr(sign)[0];
    if (!(d >= 0 && d <= options.max_degree && d == std::trunc(d)))
        return "info.degree " + fuzzcall::number(d) + " is not a degree up to max_degree";
    if (!(p >= 0 && p == std::trunc(p))) return "info.partitions is not a count";
    if (!(t >= 0 && std::isfinite(t))) return "info.time is not a time";
    if (!(s == -1 || s == 0 || s == 1)) return "info.sign is not -1, 0 or 1";
    if (mxIsLogicalScalarTrue(converged) == warned)
        return "info.converged disagrees with the notConverged warning";
    if (!options.log && ((f > 0 && s != 1) || (f < 0 && s != -1))) return "info.sign is not the sign of f";
    return "";
}

std::string check_outputs(const CallPlan &planned, const mexhost::CallResult &result) {
    CallPlan call = fuzzcall::as_built(planned);
    Options options;
    Expectation outcome;
    parse(call, options, outcome);
    bool warned = false;
    std::string fault = fuzzcall::check_warnings(result, "matrix_pfq:notConverged", warned);
    if (!fault.empty()) return fault;
    const mxArray *value = result.outputs[0];
    if (!is_double_scalar(value)) return "f is not a real double scalar";
    double f = mxGetPr(value)[0];
    // log|0| = -Inf is exact; anything else not finite must come with the warning.
    bool log_of_zero = options.log && f == -HUGE_VAL;
    if (!std::isfinite(f) && !log_of_zero && !warned) return "f is not finite, yet no notConverged warning";
    double err = HUGE_VAL;
    if (call.nlhs >= 2) {
        if (!is_double_scalar(result.outputs[1])) return "err is not a real double scalar";
        err = mxGetPr(result.outputs[1])[0];
        if (!(err >= 0)) return "err is negative or NaN";
        if (std::isinf(err) && !warned && !log_of_zero) return "err is Inf, yet no notConverged warning";
        if (!warned && !options.log && !(err <= options.tol * std::fabs(f) * (1 + 4 * DBL_EPSILON)))
            return "err > tol |f|, yet no notConverged warning";
    }
    if (call.nlhs >= 3) {
        fault = check_info(result.outputs[2], options, warned, f);
        if (!fault.empty()) return fault;
    }
    return call.nlhs >= 2 && std::isfinite(f) ? check_closed_form(call, options, f, err) : "";
}

// Largest max_degree per number of eigenvalues: for the tables (distinct
// eigenvalues, two arguments, or a matrix whose eigenvalues the solver
// gives), and for the walk at x I_n (a row of equal values).
const double kDistinctCap[] = {1e6, 1e6, 80, 30, 24, 18, 16, 14, 14};
const double kEqualCap[] = {1e6, 1e6, 100, 100, 100, 40, 40, 40, 40};

// The integration of 1F1's system (alpha = 2, one argument, 2 to 10
// eigenvalues) does not sum a series, so max_degree does not bound it: it
// takes some max |x| / 2 steps past a start of about 10, more as the
// parameters grow (counted as a factor |a| + |c| + 1: 1F1(-2^53; 8; X) at
// |x| <= 20 took 1.4 s unsanitized), each of some kHolonomicStepWork n^2 2^n
// operations (its two runs). Calls beyond kHolonomicReach operations, about
// a second under the sanitizers, are not made. Two arguments take it too
// where one of them is c I (equal values, or a square matrix, whose
// eigenvalues may be): the call is then of one argument, x_i y_i.
const double kHolonomicStepWork = 66;
const double kHolonomicReach = 1e8;

// Bounds the size of an input's eigenvalues (a square matrix: n times its
// largest entry).
double largest_eigenvalue_bound(const InputPlan &x, size_t n) {
    double largest = 0;
    for (size_t k = 0; k < x.count(); k++) {
        double im = x.complex ? x.imag[k] : 0.0;
        largest = std::fmax(largest, std::hypot(x.real[k], im));
    }
    return is_square(x) ? largest * n : largest;
}

// Whether a second argument may make the call one of one argument.
bool may_fold(const InputPlan &x) {
    if (is_square(x)) return true;
    for (double v : x.real)
        if (v != x.real[0]) return false;
    return true;
}

bool holonomic_affordable(const CallPlan &call, const Options &options, size_t n) {
    const auto &in = call.inputs;
    const bool two = first_option(call) == 4;
    if (options.alpha != 2 || (two && !may_fold(in[X]) && !may_fold(in[Y])) || in[NUM_PARAMS].count() != 1 ||
        in[DEN_PARAMS].count() != 1 || n < 2)
        return true;
    double largest = largest_eigenvalue_bound(in[X], n);
    if (two) largest *= largest_eigenvalue_bound(in[Y], n);
    const double parameters = std::fabs(in[NUM_PARAMS].real[0]) + std::fabs(in[DEN_PARAMS].real[0]) + 1;
    const double steps = (largest / 2 + 10) * parameters;
    return steps * kHolonomicStepWork * n * n * std::ldexp(1.0, (int)n) <= kHolonomicReach;
}

// The determinant route (alpha = 1, two or more eigenvalues) does not sum
// the series either: its scalar series lengthen with the parameters, and
// where its values cancel beyond a rung's digits it climbs its whole ladder
// of precisions (2F1(1.5, 1.5; b; X) at n = 6, X down to -30, unsanitized:
// 0.02 s at b = 300, 0.35 s at 3000; at 1e5 the route climbs the ladder and
// gives way to the tables, 0.5 s). Calls with a parameter beyond
// kDeterminantParameterReach are not made.
const double kDeterminantParameterReach = 300;

bool determinant_affordable(const CallPlan &call, const Options &options, size_t n) {
    if (options.alpha != 1 || n < 2) return true;
    for (int which : {NUM_PARAMS, DEN_PARAMS})
        for (double v : call.inputs[which].real)
            if (!(std::fabs(v) <= kDeterminantParameterReach)) return false;
    return true;
}

bool affordable(const CallPlan &planned) {
    CallPlan call = fuzzcall::as_built(planned);
    Options options;
    Expectation outcome;
    if (!parse(call, options, outcome)) return true;  // refused by a check: cheap
    const InputPlan &x = call.inputs[X];
    size_t n = eigenvalue_count(x);
    bool equal = first_option(call) == 3 && !is_square(x);
    for (double v : x.real) equal = equal && v == x.real[0];
    return options.max_degree <= (equal ? kEqualCap : kDistinctCap)[n] &&
           holonomic_affordable(call, options, n) && determinant_affordable(call, options, n);
}

const fuzzcall::PluginModel kModel = {
    "matrix_pfq",
    mexFunction,
    fuzzcall::matrix_pfq_rules(),
    expect,
    check_outputs,
    affordable,
};

} // namespace

FUZZ_PLUGIN_ENTRY_POINTS(kModel)
