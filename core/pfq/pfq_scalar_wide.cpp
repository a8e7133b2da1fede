// pfq_scalar_wide.cpp: the one-variable function where the series in long
// double cancels beyond what it keeps (0F1 at -800: terms near 1e24 for a
// value near 1): Boost.Math's 0F1 and 1F1, which leave the series where it
// cancels (Bessel functions, recurrences, asymptotic expansions), and its
// series summed in 50 or 100 decimal digits (Boost's checked series) or in
// 250 (our own) for the other pFq.
#include <cmath>
#include <exception>
#include <limits>
#include <vector>

#include <boost/math/special_functions/hypergeometric_0F1.hpp>
#include <boost/math/special_functions/hypergeometric_1F1.hpp>
#include <boost/math/special_functions/hypergeometric_pFq.hpp>
#include <boost/multiprecision/cpp_bin_float.hpp>

#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

using wide = boost::multiprecision::cpp_bin_float_50;
using wider = boost::multiprecision::cpp_bin_float_100;
using widest = boost::multiprecision::number<boost::multiprecision::cpp_bin_float<250>>;

// Terms Boost's series sum at most (its default max_series_iterations).
const long double most_series_terms = 1e6L;

// Long double keeps 64 bits: the rounding of the wide sum to it is at most
// half a unit there, this relative bound with room for err's own rounding.
const long double narrowing_bound = 1.1L * std::numeric_limits<long double>::epsilon();

// Boost's 0F1 or 1F1 of the series' parameters at x, in the precision of T.
template <class T>
T special_value(const series_input &in)
{
    const T x = T(in.x[0]);
    if (in.a.empty()) return boost::math::hypergeometric_0F1(T(in.b[0]), x);
    return boost::math::hypergeometric_1F1(T(in.a[0]), T(in.b[0]), x);
}

} // namespace

bool sum_scalar_special(const series_input &in, series_outcome &out)
{
    const bool special = in.b.size() == 1 && in.a.size() <= 1;
    if (!special) return false;
    try {
        // The same methods in 50 digits and in long double: their errors
        // scale with the working precision, so the 50-digit value is some
        // 1e-30 of the long double one's error away from the truth, and
        // their difference bounds the error of the 50-digit value with room
        // to spare (checked against mpmath at 50 digits over 0F1 and 1F1 of
        // both signs, cancelling and large parameters, up to |x| = 1e5).
        const wide value = special_value<wide>(in);
        const long double narrow = special_value<long double>(in);
        const long double sum = value.convert_to<long double>();
        const long double apart = fabs(value - wide(narrow)).convert_to<long double>();
        const long double bound = apart + narrowing_bound * std::fabs(sum);
        if (!std::isfinite(sum) || !std::isfinite(bound)) return false;
        out.sum = sum;
        out.tail = 0;
        out.rounding = bound;
        out.state = series_state::converged;
        out.route = in.a.empty() ? "scalar (Boost 0F1)" : "scalar (Boost 1F1)";
        out.message.clear();
        return true;
    } catch (const std::exception &) {                   // overflow, no convergence
        return false;
    }
}

namespace {

// Boost's checked series: summed until the terms are negligible at the
// precision of T, its estimate the sum of |terms| times T's epsilon; it
// throws when the series cannot be summed there. That estimate counts one
// rounding per term, where each term is the product of its predecessor and
// a quotient of p + q + 2 roundings and joins the sum with one more: the
// terms number at most Boost's default iteration limit (1e6), so this many
// times the estimate bounds the rounding to first order.
template <class T>
bool checked_series(const series_input &in, series_outcome &out, const char *route)
{
    try {
        std::vector<T> a(in.a.begin(), in.a.end()), b(in.b.begin(), in.b.end());
        T error = 0;
        const T value = boost::math::hypergeometric_pFq(a, b, T(in.x[0]), &error);
        const long double margin = most_series_terms * (in.a.size() + in.b.size() + 4.0L);
        const long double sum = value.template convert_to<long double>();
        const long double bound = margin * error.template convert_to<long double>() +
                                  narrowing_bound * std::fabs(sum);
        if (!std::isfinite(sum) || !std::isfinite(bound)) return false;
        out.sum = sum;
        out.tail = 0;
        out.rounding = bound;
        out.state = series_state::converged;
        out.route = route;
        out.message.clear();
        return true;
    } catch (const std::exception &) {                   // divergent, too many terms, overflow
        return false;
    }
}

// The series of p <= q summed in T, with a first-order bound on its
// rounding. It serves the widest precision: Boost's checked series there
// would bring in its log-gamma at 250 digits (no Lanczos approximation
// beyond 122 bits, so it goes through polygamma and zeta), whose static
// tables, zeta(5) to 250 digits, cost some 95 ms at every load of a plug-in.
template <class T>
bool plain_series(const series_input &in, series_outcome &out, const char *route)
{
    using std::fabs;
    if (in.a.size() > in.b.size()) return false;
    const long double x = in.x[0];
    long double largest_b = 0;
    for (long double b : in.b) largest_b = std::max(largest_b, fabs(b));
    const T z = T(x), eps = std::numeric_limits<T>::epsilon();
    T term = 1, sum = 1, magnitude = 1;
    long long k = 0;
    for (; k < (long long)most_series_terms; k++) {
        T ratio = z / (k + 1);
        for (long double a : in.a) ratio *= T(a) + k;
        for (long double b : in.b) {
            if (T(b) + k == 0) return false;                 // a pole
            ratio /= T(b) + k;
        }
        term *= ratio;
        if (term == 0) break;                                // the series ends
        sum += term;
        magnitude += abs(term);
        // The ratios after term k + 1 are at most R = |x| prod(j + |a|) /
        // ((j + 1) prod(j - |b|)) at j = k + 1, which falls with j once
        // j > |b| (p <= q): the rest is at most |term| R / (1 - R) <= |term|
        // for R <= 1/2.
        const long double j = k + 1;
        if (j <= largest_b) continue;
        long double bound = fabs(x) / (j + 1);
        for (long double a : in.a) bound *= j + fabs(a);
        for (long double b : in.b) bound /= j - fabs(b);
        if (bound <= 0.5L && abs(term) <= eps * abs(sum)) break;
    }
    if (k == (long long)most_series_terms) return false;
    // Each term carries its predecessor's rounding and p + q + 2 more; the
    // sum one more per term; the tail is below one unit of the sum.
    const long double terms = (long double)k + 1;
    const long double bound = ((terms * (in.a.size() + in.b.size() + 3) + 2) * eps * magnitude)
                                  .template convert_to<long double>();
    const long double value = sum.template convert_to<long double>();
    if (!std::isfinite(value) || !std::isfinite(bound)) return false;
    out.sum = value;
    out.tail = 0;
    out.rounding = bound + narrowing_bound * std::fabs(value);
    out.state = series_state::converged;
    out.route = route;
    out.message.clear();
    return true;
}

} // namespace

bool sum_scalar_wide(const series_input &in, long double wanted, series_outcome &out)
{
    // Each precision is tried when the one before cannot sum the series or
    // misses `wanted`: 50 digits cover terms some 1e25 above the value, 250
    // digits some 1e220 (2F2 at -400), at a few milliseconds.
    series_outcome tried;
    bool found = false;
    auto keep = [&](bool summed) {
        if (summed && (!found || tried.rounding < out.rounding)) { out = tried; found = true; }
        return found && out.rounding <= wanted * std::fabs(out.sum);
    };
    if (keep(checked_series<wide>(in, tried, "scalar (50 digits)"))) return true;
    if (keep(checked_series<wider>(in, tried, "scalar (100 digits)"))) return true;
    keep(plain_series<widest>(in, tried, "scalar (250 digits)"));
    return found;
}

} // namespace pfq_detail
} // namespace matrixhyper
