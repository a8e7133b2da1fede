// pfq_scalar_wide.cpp: the one-variable series summed again in 50 decimal
// digits by Boost.Math, for the points where the terms cancel beyond what
// long double keeps (0F1 at -800: terms near 1e24 for a value near 1).
#include <cmath>
#include <exception>
#include <limits>
#include <vector>

#include <boost/math/special_functions/hypergeometric_pFq.hpp>
#include <boost/multiprecision/cpp_bin_float.hpp>

#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

using wide = boost::multiprecision::cpp_bin_float_50;

// Long double keeps 64 bits: the rounding of the wide sum to it is at most
// half a unit there, this relative bound with room for err's own rounding.
const long double narrowing_bound = 1.1L * std::numeric_limits<long double>::epsilon();

} // namespace

bool sum_scalar_wide(const series_input &in, series_outcome &out)
{
    try {
        std::vector<wide> a(in.a.begin(), in.a.end()), b(in.b.begin(), in.b.end());
        wide error = 0;
        // Boost's checked series sums until the terms are negligible at 50
        // digits and bounds the rounding by the sum of |terms| times its
        // epsilon; it throws when the series cannot be summed there.
        const wide value = boost::math::hypergeometric_pFq(a, b, wide(in.x[0]), &error);
        const long double sum = value.convert_to<long double>();
        const long double bound = error.convert_to<long double>() + narrowing_bound * std::fabs(sum);
        if (!std::isfinite(sum) || !std::isfinite(bound)) return false;
        out.sum = sum;
        out.tail = 0;
        out.rounding = bound;
        out.state = series_state::converged;
        out.route = "scalar (50 digits)";
        out.message.clear();
        return true;
    } catch (const std::exception &) {                   // divergent, too many terms, overflow
        return false;
    }
}

} // namespace pfq_detail
} // namespace matrixhyper
