// fuzz_wishart_eig_cdf.cpp: libFuzzer target for the wishart_eig_cdf gateway,
// linked in directly with the core and LAPACK.
//
// Each input is a call (format in call_codec.h): m and n from their own
// palettes (valid m at most 20, where the finite formulas take milliseconds),
// option names and keyword values as words. The model below states the
// outcome of the argument checks in their order. A successful call must
// return P and err shaped like x, P in [0, 1], exactly 0 (1 for the upper
// tail) at x <= 0, err >= 0 and finite unless wishart_eig_cdf:notConverged
// was issued, and P within err of the known laws:
//   m = 1      W / Sigma is chi-square with n degrees of freedom (real) or
//              Gamma(n, 1) (complex): P = P(n/2, x / (2 Sigma)), resp. P(n, x / Sigma),
//              the regularised incomplete gamma function (Boost.Math);
//   smallest eigenvalue with Sigma = s I, complex with n = m, or real with
//              n = m + 1: P(lambda > x) = exp(-m x / s), resp. exp(-m x / (2 s))
//              (the hard-edge gap probability of the Laguerre ensembles with
//              exponent 0); real with n = m + 1 and Sigma given by its
//              eigenvalues: etr(-x Sigma^-1 / 2) (Khatri's series at r = 0).
// The zonal route (real smallest, (n - m - 1)/2 whole, Sigma not white) is
// called only while its table is small (kZonalReach); the complex field with
// Sigma not white and n whole (determinant formulas) while n is at most
// kComplexSigmaReachN.
// Bounded work: the holonomic route or the series (real largest eigenvalue,
// Sigma not a multiple of I or n not whole; the real smallest where neither
// finite formula serves; complex with n not whole) runs
// 1F1 at -x Sigma^-1 / 2 (-x Sigma^-1 complex) to
// 1e-12 with no degree cap, for up to about 20 s. A call that would take it
// with m > 6, or with t = max x / (2 min eig(Sigma)) (complex: x / min eig)
// beyond a bound that falls with m (see kSeriesReach), or real with n beyond
// kHolonomicReachN, is not made; nor is one for the real smallest eigenvalue
// whose holonomic route's work, which grows with Sigma's spread, exceeds
// kRecessiveWork.
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include "call_runner.h"
#include "mex.h"

namespace {

using fuzzcall::CallPlan;
using fuzzcall::Class;
using fuzzcall::Expectation;
using fuzzcall::InputPlan;

enum { POINTS, DIMENSION, DEGREES };

const char *const kSigmaRefused =
    "Option 'sigma' must be a positive scalar c (Sigma = c I), the m positive eigenvalues of Sigma, or Sigma itself.";
const char *const kFractionalBelowM =
    "A non-integer n must exceed m - 1: below it only a whole number of samples n gives a (singular) Wishart matrix.";
const char *const kColouredBelowM =
    "With n samples fewer than m dimensions Sigma must be a multiple of I: the series route for a general Sigma "
    "assumes n > m - 1.";
const char *const kSmallestBeyondExact =
    "The smallest eigenvalue needs m at most 100, the verified range of the finite formulas.";
// Most dimensions the finite formulas serve.
const double kExactMaxM = 100;
// Least n - (m - 1) of a non-whole n the finite formulas take (white Sigma).
const double kExactLeastFractionalExcess = 0.1;
const char *const kNoSeriesRoute =
    "The smallest eigenvalue needs an integer n: it has no series route.";
const char *const kRealSmallestRefused =
    "The smallest eigenvalue of a real Wishart matrix needs (n - m - 1)/2 a whole number (n = m + 1, m + 3, "
    "...), where its finite zonal series exists, or the holonomic route: m at most 10 and Sigma's eigenvalues "
    "within a ratio of 1e6.";
// Most dimensions the holonomic route takes; below, whether it takes a
// Sigma depends on its spread and clusters, which the model leaves open.
const double kHolonomicMaxM = 10;
// Most partitions (C(m + r, m)) of a zonal table a call may build: well
// under a second under the sanitizers.
const double kZonalReach = 1000;

// Largest n of a complex call with Sigma not a multiple of I: its
// determinant formulas cost O(n) a point, some 50 ms at n = 1e5 unsanitized.
const double kComplexSigmaReachN = 2000;

// Largest n of a real call that takes the holonomic route (largest
// eigenvalue, Sigma not white or n not whole; close eigenvalues of Sigma
// and white Sigma with n not whole run six integrations): its steps grow
// with n, about a second unsanitized at n = 1e5, beyond the harness's 10 s
// under the sanitizers.
const double kHolonomicReachN = 2000;

// Largest t = x / (divisor * min eig(Sigma)) the series route may take for
// m = 1..6: about a second for 8 points under the sanitizers at the largest m.
const double kSeriesReach[] = {0, 500, 12, 5, 2.5, 1.6, 1};

// The real smallest eigenvalue on the holonomic route carries its solution
// back from T = max x + 30 / min(s), s = eig(Sigma^-1) / 2, so its work grows
// with Sigma's spread, not with x: about T sum(s) / 4 steps of some
// m^2 2^m + 64 units each (measured unsanitized: 3e8 units took 4.3 s at
// m = 2, Sigma = diag(1e6, 2); 2.4e7 took 0.55 s at m = 6, a spread of 1e3).
// Eigenvalues closer than kClusterGap were spread apart and integrated
// several times over, some 50 times the work (m = 3, diag(1000, 1, 1));
// at m <= 6 they now take the confluent system at about the distinct
// system's cost (diag(1000, 1, 1.0005): 0.28 s against 0.30 s for
// diag(1000, 1, 2)), and the factor stays as the margin for its build
// under the sanitizers. kRecessiveWork keeps a call near a second under
// the sanitizers.
const double kRecessiveStartMargin = 30;
const double kRecessiveStepsPerUnit = 0.25;
const double kRecessiveStepOverhead = 64;
const double kClusterGap = 1e-3;
const double kClusterWorkFactor = 50;
const double kRecessiveWork = 1e7;

Expectation error(const std::string &message, bool allocates_first = false) {
    Expectation e(Expectation::Error, message);
    e.allocates_first = allocates_first;
    return e;
}

bool is_scalar(const InputPlan &in) { return in.m == 1 && in.n == 1; }
bool is_square(const InputPlan &in) { return in.m == in.n && in.m > 1; }

bool same_name(const std::string &a, const char *b) {
    std::string lower;
    for (char c : a) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == b;
}

// A char row shorter than `capacity`, as the option readers take text.
bool is_text(const InputPlan &in, size_t capacity) {
    return in.cls == Class::Char && in.m == 1 && in.n < capacity;
}

bool real_scalar(const InputPlan &in, double &value) {
    if (!fuzzcall::is_real_full_double(in) || !is_scalar(in)) return false;
    value = in.real[0];
    return true;
}

// Index of `value` among `choices`, or -1.
int keyword(const InputPlan &value, std::initializer_list<const char *> choices) {
    if (!is_text(value, 16)) return -1;
    std::string text = fuzzcall::text_of(value);
    int index = 0;
    for (const char *choice : choices) {
        if (same_name(text, choice)) return index;
        index++;
    }
    return -1;
}

// Sigma as the model sees it.
struct Sigma {
    bool refused = false, maybe_refused = false;  // maybe: the solver decides
    bool white = false, maybe_white = false;      // a multiple of I (surely, or perhaps)
    double scale = 1;                             // its eigenvalue when white
    long double smallest = 1;                     // lower bound of the eigenvalues
    long double largest = 1;                      // upper bound of the eigenvalues
    bool clustered = false;                       // two eigenvalues within kClusterGap of each other
    long double half_inverse_trace = 0;           // tr(Sigma^-1) / 2 when the eigenvalues are given, else 0
};

// The 2-by-2 Hermitian part's eigenvalues (a, c real diagonal, b the
// off-diagonal modulus), in long double, independent of the solver.
void eigen2(long double a, long double c, long double b, long double &low, long double &high) {
    long double mid = (a + c) / 2, radius = std::hypot((a - c) / 2, b);
    low = mid - radius;
    high = mid + radius;
}

Sigma read_sigma(const InputPlan &in, double m, bool complex) {
    Sigma s;
    if (is_scalar(in) && m > 1) {   // a scalar c: Sigma = c I
        s.refused = in.cls != Class::Double || in.sparse || in.complex || !(in.real[0] > 0) ||
                    std::isinf(in.real[0]);
        s.white = !s.refused;
        s.scale = s.smallest = s.largest = s.refused ? 1 : in.real[0];
        return s;
    }
    size_t count = is_square(in) ? in.m : in.count();
    if (count != m || in.cls != Class::Double || in.sparse) {
        s.refused = true;
        return s;
    }
    if (!is_square(in)) {
        if (in.complex || (in.m != 1 && in.n != 1)) s.refused = true;
        for (double v : in.real) s.refused = s.refused || !(v > 0) || std::isinf(v);
        if (s.refused) return s;
        s.smallest = s.largest = in.real[0];
        s.white = true;
        for (double v : in.real) {
            s.smallest = std::min<long double>(s.smallest, v);
            s.largest = std::max<long double>(s.largest, v);
            s.white = s.white && v == in.real[0];
            s.half_inverse_trace += 1 / (2 * static_cast<long double>(v));
        }
        for (size_t i = 0; i < count; i++)
            for (size_t j = 0; j < i; j++) {
                const double p = in.real[i], q = in.real[j];
                s.clustered = s.clustered || std::fabs(p - q) < kClusterGap * std::fmax(p, q);
            }
        s.scale = in.real[0];
        return s;
    }
    if (in.complex && !complex) {
        s.refused = true;
        return s;
    }
    // Finite and Hermitian to within 1e-10 of the largest entry, as the gateway checks.
    auto re = [&](size_t i, size_t j) { return in.real[i + j * 2]; };
    auto im = [&](size_t i, size_t j) { return in.complex ? in.imag[i + j * 2] : 0.0; };
    double largest = 0;
    for (size_t j = 0; j < 2; j++)
        for (size_t i = 0; i < 2; i++) {
            if (!std::isfinite(re(i, j)) || !std::isfinite(im(i, j))) s.refused = true;
            largest = std::fmax(largest, std::hypot(re(i, j), im(i, j)));
        }
    for (size_t j = 0; j < 2 && !s.refused; j++)
        for (size_t i = 0; i <= j; i++)
            if (std::hypot(re(i, j) - re(j, i), im(i, j) + im(j, i)) > 1e-10 * largest) s.refused = true;
    if (s.refused) return s;
    long double a = re(0, 0), c = re(1, 1);
    long double b_re = 0.5L * re(1, 0) + 0.5L * re(0, 1), b_im = 0.5L * im(1, 0) - 0.5L * im(0, 1);
    long double low, high;
    eigen2(a, c, std::hypot(b_re, b_im), low, high);
    // The solver's eigenvalues are within some eps |Sigma| of these, and may
    // overflow near the top of the range.
    long double slack = 64 * DBL_EPSILON * static_cast<long double>(largest);
    bool overflow = high > DBL_MAX / 2;
    s.smallest = low - slack;
    s.largest = high + slack;
    s.clustered = high - low < kClusterGap * high + 2 * slack;
    if (low < -slack && !overflow) {
        s.refused = true;
        return s;
    }
    if (low <= slack || overflow) {
        s.maybe_refused = true;                   // the solver's call
        return s;
    }
    s.white = b_re == 0 && b_im == 0 && a == c;
    s.maybe_white = !s.white && high - low <= 4 * slack;
    s.scale = re(0, 0);
    return s;
}

// The checked request.
struct Request {
    double m = 1, n = 1;
    bool complex = false, smallest = false, upper = false, log = false;
    int sigma = -1;                                // input index of Sigma, or -1
    Sigma sigma_model;
    // The real smallest eigenvalue with (n - m - 1)/2 whole: the finite
    // zonal series serves any Sigma.
    bool zonal() const
    {
        double twice_r = n - m - 1;
        return !complex && smallest && twice_r >= 0 && std::fmod(twice_r, 2.0) == 0;
    }
    // The finite formulas' (m, n), given white Sigma: a whole n from m on,
    // a non-whole one from m - 1 + kExactLeastFractionalExcess on.
    bool exact_dimensions() const
    {
        const bool whole = n == std::floor(n);
        return m <= kExactMaxM && (whole ? n >= m : n >= m - 1 + kExactLeastFractionalExcess);
    }
};

// Parses and checks a call: false with the outcome when an argument check
// refuses it (or, with `outcome.kind == Success`, when the evaluation may go
// either way for Sigma), true when it goes to the evaluation.
bool parse(const CallPlan &call, Request &r, Expectation &outcome) {
    const auto &in = call.inputs;
    outcome = Expectation{};
    if (in.size() < 3) {
        outcome = error("wishart_eig_cdf takes x, m and n, then name/value options.");
        return false;
    }
    if (call.nlhs > 2) {
        outcome = error("Too many output arguments.");
        return false;
    }
    const InputPlan &x = in[POINTS];
    if (!fuzzcall::is_real_full_double(x)) {
        outcome = error("First input must be a real double array of points x.");
        return false;
    }
    for (double v : x.real)
        if (!std::isfinite(v)) {
            outcome = error("First input must hold finite points x.");
            return false;
        }
    if (!real_scalar(in[DIMENSION], r.m) || !(r.m >= 1 && r.m <= 1000) || r.m != std::floor(r.m)) {
        outcome = error("Second input must be a whole number m from 1 to 1000.");
        return false;
    }
    if (!real_scalar(in[DEGREES], r.n) || !std::isfinite(r.n) || !(r.n > 0) || r.n > 100000) {
        outcome = error("Third input must be a positive number n, at most 100000.");
        return false;
    }
    if ((in.size() - 3) % 2 != 0) {
        outcome = error("Options must come in name/value pairs.");
        return false;
    }
    for (size_t i = 3; i < in.size(); i += 2) {
        if (!is_text(in[i], 32)) {
            outcome = error("Option names must be text: 'field', 'which', 'tail', 'sigma', 'log' or 'tol'.");
            return false;
        }
        std::string name = fuzzcall::text_of(in[i]);
        const InputPlan &value = in[i + 1];
        int choice;
        if (same_name(name, "field")) {
            if ((choice = keyword(value, {"real", "complex"})) < 0) {
                outcome = error("Option 'field' must be 'real' or 'complex'.");
                return false;
            }
            r.complex = choice == 1;
        } else if (same_name(name, "which")) {
            if ((choice = keyword(value, {"largest", "smallest"})) < 0) {
                outcome = error("Option 'which' must be 'largest' or 'smallest'.");
                return false;
            }
            r.smallest = choice == 1;
        } else if (same_name(name, "tail")) {
            if ((choice = keyword(value, {"lower", "upper"})) < 0) {
                outcome = error("Option 'tail' must be 'lower' or 'upper'.");
                return false;
            }
            r.upper = choice == 1;
        } else if (same_name(name, "sigma")) {
            r.sigma = static_cast<int>(i + 1);
        } else if (same_name(name, "log")) {
            double number;
            if (value.cls == Class::Logical && is_scalar(value)) {
                r.log = value.real[0] != 0;
            } else if (real_scalar(value, number) && (number == 0 || number == 1)) {
                r.log = number == 1;
            } else {
                outcome = error("Option 'log' must be true or false.");
                return false;
            }
        } else if (same_name(name, "tol")) {
            double tol;
            if (!real_scalar(value, tol) || !(tol > 0 && tol < 1)) {
                outcome = error("Option 'tol' must be a number in (0, 1).");
                return false;
            }
        } else {
            outcome = error("Unknown option '" + name +
                            "': the options are 'field', 'which', 'tail', 'sigma', 'log' and 'tol'.");
            return false;
        }
    }
    // From here on the outputs exist (host memory): a tight limit may end the call first.
    if (r.sigma >= 0) {
        r.sigma_model = read_sigma(in[r.sigma], r.m, r.complex);
        if (r.sigma_model.refused) {
            outcome = error(kSigmaRefused, true);
            return false;
        }
        if (r.sigma_model.maybe_refused) outcome.or_errors.push_back(kSigmaRefused);
    } else {
        r.sigma_model.white = true;
    }
    const Sigma &s = r.sigma_model;
    bool whole = r.n == std::floor(r.n);
    // Fewer samples than dimensions: the core serves a whole n with white
    // Sigma (the exchanged law) and refuses the rest.
    if (!(r.n > r.m - 1)) {
        std::vector<std::string> sigma_refusal = outcome.or_errors;
        if (!whole || (!s.white && !s.maybe_white && !s.maybe_refused)) {
            outcome = error(whole ? kColouredBelowM : kFractionalBelowM, true);
            outcome.or_errors = sigma_refusal;
            return false;
        }
        if (!s.white) outcome.or_errors.push_back(kColouredBelowM);
        std::swap(r.m, r.n);
        // The exchanged law has n eigenvalues, each Sigma's one value.
        if (r.sigma_model.half_inverse_trace > 0)
            r.sigma_model.half_inverse_trace = r.m / (2 * static_cast<long double>(r.sigma_model.scale));
    }
    if (r.zonal()) return true;                   // the exact route or the zonal one: both serve
    if (!r.complex && r.smallest) {               // the exact route, the holonomic one, or a refusal
        const bool exact = r.exact_dimensions();
        if (s.white && exact) return true;
        const bool refused = r.m > kHolonomicMaxM && !(exact && s.maybe_white);
        if (refused && !s.maybe_refused) {
            std::vector<std::string> sigma_refusal = outcome.or_errors;
            outcome = error(kRealSmallestRefused, true);
            outcome.or_errors = sigma_refusal;
            return false;
        }
        outcome.or_errors.push_back(kRealSmallestRefused);
        return true;
    }
    if (r.smallest && r.m > kExactMaxM && (s.white || s.maybe_white) && whole) {
        std::vector<std::string> sigma_refusal = outcome.or_errors;
        outcome = error(kSmallestBeyondExact, true);
        outcome.or_errors = sigma_refusal;
        return false;
    }
    // A whole n serves the complex field's smallest eigenvalue for any Sigma
    // (its determinant formulas); a non-whole one only white Sigma, through
    // the finite formulas.
    if (r.smallest && !whole) {
        const bool exact = r.exact_dimensions();
        if (exact && s.white) return true;
        if (exact && s.maybe_white) {
            outcome.or_errors.push_back(kNoSeriesRoute);
            return true;
        }
        std::vector<std::string> sigma_refusal = outcome.or_errors;
        outcome = error(kNoSeriesRoute, true);
        outcome.or_errors = sigma_refusal;
        return false;
    }
    return true;
}

Expectation expect(const CallPlan &planned) {
    CallPlan call = fuzzcall::as_built(planned);
    Request r;
    Expectation outcome;
    parse(call, r, outcome);
    return outcome;
}

// The work of the real smallest eigenvalue's holonomic route up to x = top.
long double recessive_work(const Request &r, double top) {
    const Sigma &s = r.sigma_model;
    const long double sum_s = s.half_inverse_trace > 0 ? s.half_inverse_trace : r.m / (2 * s.smallest);
    const long double start = top + kRecessiveStartMargin * 2 * s.largest;
    const long double steps = start * sum_s * kRecessiveStepsPerUnit;
    const long double per_step = r.m * r.m * std::ldexp(1.0, static_cast<int>(r.m)) + kRecessiveStepOverhead;
    return steps * per_step * (s.clustered ? kClusterWorkFactor : 1);
}

bool affordable(const CallPlan &planned) {
    CallPlan call = fuzzcall::as_built(planned);
    Request r;
    Expectation outcome;
    if (!parse(call, r, outcome)) return true;     // refused by a check: cheap
    const Sigma &s = r.sigma_model;
    if (r.zonal() && (!s.white || r.m > kExactMaxM)) {
        const double rows = r.m, columns = (r.n - r.m - 1) / 2;
        return std::lgamma(rows + columns + 1) - std::lgamma(rows + 1) - std::lgamma(columns + 1) <=
               std::log(kZonalReach);
    }
    const bool whole = r.n == std::floor(r.n);
    if (r.complex && whole && !s.white) return r.n <= kComplexSigmaReachN;
    // The series or the holonomic route: the real largest eigenvalue, and
    // the real smallest where neither finite formula serves.
    bool series = !r.smallest ? !whole || !s.white : !r.complex && !(s.white && whole && r.m <= kExactMaxM);
    if (!series) return true;
    if (r.m > 6 || !(s.smallest > 0)) return false;
    if (!r.complex && r.m > 1 && r.n > kHolonomicReachN) return false;
    double reach = kSeriesReach[static_cast<int>(r.m)];
    long double divisor = r.complex ? 1 : 2;
    double top = 0;
    for (double x : call.inputs[POINTS].real) {
        if (x > 0 && x / (divisor * s.smallest) > reach) return false;
        top = std::fmax(top, x);
    }
    return r.complex || !r.smallest || recessive_work(r, top) <= kRecessiveWork;
}

// ---- Known laws.

using Policy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::underflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

// The law of the request at x > 0, or NaN where none is known here; in
// long double, so that subnormal x / (2 Sigma) keeps its digits.
double known_law(const Request &r, double x) {
    const Sigma &s = r.sigma_model;
    long double point = x;
    if (r.m == 1) {
        long double sigma = r.sigma >= 0 ? s.scale : 1;
        long double shape = r.complex ? r.n : r.n / 2.0L;
        long double t = r.complex ? point / sigma : point / (2 * sigma);
        return static_cast<double>(r.upper ? boost::math::gamma_q(shape, t, Policy())
                                           : boost::math::gamma_p(shape, t, Policy()));
    }
    if (!r.complex && r.smallest && r.n == r.m + 1 && s.half_inverse_trace > 0) {
        // etr(-x Sigma^-1 / 2) for any Sigma given by its eigenvalues.
        const long double rate = s.half_inverse_trace;
        return static_cast<double>(r.upper ? std::exp(-rate * point) : -std::expm1(-rate * point));
    }
    if (!r.smallest || !s.white) return std::nan("");
    long double rate;
    if (r.complex && r.n == r.m) {
        rate = r.m / static_cast<long double>(s.scale);
    } else if (!r.complex && r.n == r.m + 1) {
        rate = r.m / (2 * static_cast<long double>(s.scale));
    } else {
        return std::nan("");
    }
    return static_cast<double>(r.upper ? std::exp(-rate * point) : -std::expm1(-rate * point));
}

std::string check_outputs(const CallPlan &planned, const mexhost::CallResult &result) {
    CallPlan call = fuzzcall::as_built(planned);
    Request r;
    Expectation outcome;
    parse(call, r, outcome);
    const InputPlan &x = call.inputs[POINTS];
    bool warned = false;
    std::string fault = fuzzcall::check_warnings(result, "wishart_eig_cdf:notConverged", warned);
    if (!fault.empty()) return fault;
    if (!fuzzcall::is_shape(result.outputs[0], x.m, x.n)) return "P is not a real double array shaped like x";
    const double *P = mxGetPr(result.outputs[0]);
    const double *err = nullptr;
    if (call.nlhs >= 2) {
        if (!fuzzcall::is_shape(result.outputs[1], x.m, x.n)) return "err is not a real double array shaped like x";
        err = mxGetPr(result.outputs[1]);
    }
    for (size_t i = 0; i < x.count(); i++) {
        std::string at = "(" + std::to_string(i + 1) + ")";
        // A point that missed tol is NaN, and the call warned.
        if (std::isnan(P[i])) {
            if (!warned) return "P" + at + " is NaN, yet no notConverged warning";
            continue;
        }
        // With 'log', P holds log P: the same checks on exp(log P).
        const double p = r.log ? std::exp(P[i]) : P[i];
        if (r.log && !(P[i] <= 0)) return "log P" + at + " = " + fuzzcall::number(P[i]) + " is not at most 0";
        if (!(p >= 0 && p <= 1)) return "P" + at + " = " + fuzzcall::number(P[i]) + " is not in [0, 1]";
        if (err != nullptr && !(err[i] >= 0)) return "err" + at + " is negative or NaN";
        if (err != nullptr && std::isinf(err[i]) && !warned) return "err" + at + " is Inf, yet no notConverged warning";
        if (x.real[i] <= 0) {
            if (p != (r.upper ? 1 : 0)) return "P" + at + " at x <= 0 is not " + (r.upper ? "1" : "0");
            continue;
        }
        if (warned && err == nullptr) continue;
        if (r.log) continue;   // the log's err is of the log: the laws below are checked without it
        double law = known_law(r, x.real[i]);
        if (std::isnan(law)) continue;
        // Relative error at most 1e-10 for the finite formulas (the help), and
        // err an estimate of the error: allow either, generously.
        double bound = 1e-9 * law + 1e-300 + (err != nullptr ? 2 * err[i] : 0.0);
        if (!(std::fabs(P[i] - law) <= bound))
            return "P" + at + " = " + fuzzcall::number(P[i]) + " but the law gives " + fuzzcall::number(law);
    }
    return "";
}

const fuzzcall::PluginModel kModel = {
    "wishart_eig_cdf",
    mexFunction,
    fuzzcall::wishart_rules(),
    expect,
    check_outputs,
    affordable,
};

} // namespace

FUZZ_PLUGIN_ENTRY_POINTS(kModel)
