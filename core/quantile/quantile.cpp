// quantile.cpp: a distribution's quantile by bracketing and TOMS 748 in
// u = log x, with every evaluation's err turned into a certified interval.
//
// The solver works on the tail whose probability q is at most 1/2 and on
// h(u) = +-(log P_tail(e^u) - log q), increasing in u. Logarithms keep h
// smooth over tens of decades (near 0, log P is linear in u; beyond the
// mode, nearly linear in x, which the bracket search uses), so the
// interpolation steps converge in a few evaluations, and a tolerance in u
// is a relative tolerance in x. Interpolation only proposes points: the
// answer lies in the interval between the largest u whose P (with its
// err) is certainly on one side of q and the smallest u certainly on the
// other, and is returned only when that interval is narrow enough.
// Method and measurements: docs/quantiles.md.
#include "matrixhyper/quantile.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include <boost/math/tools/toms748_solve.hpp>

namespace matrixhyper {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double unit_roundoff = std::numeric_limits<double>::epsilon() / 2;

// A probability that underflowed counts as the least subnormal in the
// logarithm, so that h stays finite and keeps its sign.
const double log_least_probability = std::log(std::numeric_limits<double>::denorm_min());
// The range of u: x from the least normal double to the largest.
const double u_floor = std::log(std::numeric_limits<double>::min());
const double u_ceiling = std::log(std::numeric_limits<double>::max());

// The certified half-width in u that TOMS 748 aims at: an eighth of the
// accuracy promised, so that the last interpolation step rarely needs a
// probe to certify it.
constexpr double aim_half_width = quantile_rel_tol / 8;
// A raw bracket this narrow, in u, makes the secant through the two points
// nearest the root accurate to about its square: time to straddle it.
constexpr double straddle_width = 1e-6;
// A raw bracket this narrow cannot shrink the certified interval further:
// the CDF's err, not the solver, decides there.
constexpr double noise_width = aim_half_width / 16;
// First step of the bracket search in u (a factor 2 in x); it doubles at
// every step, and an extrapolation through the last two points may take it
// further by this margin.
const double first_bracket_step = std::log(2.0);
constexpr double extrapolation_margin = 1.25;
// The least move of an extrapolation, so that a line that undershoots
// still makes headway (a factor 1.19 in x).
const double least_bracket_step = first_bracket_step / 4;
// The extrapolation goes at most this many steps: two points whose P is
// mostly err point anywhere.
constexpr double max_extrapolation_steps = 4;
// The last probes go either side of the centre of the final bracket: at
// the aim, then, for a CDF whose err blurs the quantile over more than
// the aim, just inside the accuracy promised.
constexpr double wide_probe_distance = 0.9 * quantile_rel_tol;
// A search ends unresolved when an evaluation within this much of q in
// log P claims an err hopeless_margin times what certifying the quantile
// there takes (tail_search::hopeless).
constexpr double near_root_log = 0.1;
constexpr double hopeless_margin = 100;
constexpr double slope_least_rise = 1e-6;
// Evaluations TOMS 748 may spend: far more than the convergence needs.
constexpr std::uintmax_t max_solver_evaluations = 100;

// How a point ended the search early; caught in solve_quantile.
struct search_stopped {
    quantile_status status;
    std::string message;
};

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string format_message(const char *pattern, ...)
{
    char text[256];
    va_list values;
    va_start(values, pattern);
    std::vsnprintf(text, sizeof text, pattern, values);
    va_end(values);
    return text;
}

// A point of the search in u with its h.
struct search_point {
    double u, h;
};

// The evaluations in u: what they certify, the raw bracket (the closest
// points either side by the sign of h) and the two points nearest the root.
class tail_search {
  public:
    tail_search(const quantile_problem &problem, double q, probability_tail tail)
        : problem_(problem), q_(q), tail_(tail), log_q_(std::log(q)),
          certified_high_(std::log(problem.upper_end))
    {}

    // h(u), increasing in u, and the certificate of its sign.
    double operator()(double u)
    {
        const double x = std::exp(u);
        const cdf_point point = point_at(x);
        if (point.status == cdf_point_status::interrupted)
            throw search_stopped{quantile_status::interrupted, "interrupted"};
        if (point.status == cdf_point_status::failed)
            throw search_stopped{quantile_status::failed, "the distribution function failed"};
        if (std::isnan(point.P) || !(point.err >= 0 && point.err < 1))  // err 1 says nothing of P
            throw search_stopped{quantile_status::unresolved,
                                 format_message("the distribution function has no value at x = %.17g", x)};
        certify(u, point);
        const double log_p = point.P > 0 ? std::log(point.P) : log_least_probability;
        const double h = tail_ == probability_tail::lower ? log_p - log_q_ : log_q_ - log_p;
        remember({u, h});
        if (hopeless(point, h)) throw search_stopped{quantile_status::unresolved, hopeless_message(x, point)};
        return h;
    }

    // The two sides of the raw bracket, low first (infinite u where a side
    // has no point yet).
    std::pair<search_point, search_point> raw_bracket() const { return {raw_low_, raw_high_}; }

    // Where the line through the two points nearest the root crosses zero,
    // kept inside the raw bracket.
    double secant_estimate() const
    {
        double u = best_.u;
        if (second_best_.h != best_.h)
            u = best_.u - best_.h * (best_.u - second_best_.u) / (best_.h - second_best_.h);
        return std::fmin(std::fmax(u, raw_low_.u), raw_high_.u);
    }

    // Why the search failed, when a point was seen whose err left its side
    // of the quantile open: the first such point.
    std::string failure_reason(const std::string &otherwise) const
    {
        return blurred_ ? blur_message() : otherwise;
    }

    double certified_low() const { return certified_low_; }
    double certified_high() const { return certified_high_; }
    double certified_width() const { return certified_high_ - certified_low_; }
    int evaluations = 0;

  private:
    // The distribution at x, evaluated once: the last probes can land on a
    // point the search has had.
    cdf_point point_at(double x)
    {
        for (const auto &seen : seen_)
            if (seen.first == x) return seen.second;
        const cdf_point point = problem_.cdf(x, tail_);
        evaluations++;
        if (point.status == cdf_point_status::ok) seen_.emplace_back(x, point);
        return point;
    }

    // P + err below q (lower tail) puts the quantile above x; P - err above
    // q puts it at or below x. The upper tail reverses both.
    void certify(double u, const cdf_point &point)
    {
        const bool surely_less = point.P + point.err < q_, surely_more = point.P - point.err > q_;
        const bool quantile_above = tail_ == probability_tail::lower ? surely_less : surely_more;
        const bool quantile_below = tail_ == probability_tail::lower ? surely_more : surely_less;
        if (!quantile_above && !quantile_below && !blurred_) {
            blurred_ = true;
            blurred_point_ = point;
            blurred_x_ = std::exp(u);
        }
        if (quantile_above && u > certified_low_) certified_low_ = u;
        if (quantile_below && u < certified_high_) certified_high_ = u;
        if (certified_low_ >= certified_high_)
            throw search_stopped{quantile_status::not_bracketed,
                                 format_message("the distribution function is not monotone near x = %.17g",
                                                std::exp(u))};
    }

    // Whether the root, once bracketed, lies beyond what evaluations like
    // this one can certify, so that the search ends instead of narrowing
    // on values that certify nothing (each may cost a whole work budget):
    // a point below q whose err reaches q cannot put the quantile on its
    // side (that takes P + err < q), nor can the points between it and the
    // root; and near the root (|h| < near_root_log) certifying x to
    // quantile_rel_tol takes err below q |dh/du| quantile_rel_tol, which an
    // err hopeless_margin times that would have to shrink to within a
    // tenth of q (a relative err does not: only a change of route could).
    bool hopeless(const cdf_point &point, double h) const
    {
        if (!(raw_low_.u > -infinity && raw_high_.u < infinity)) return false;
        if (point.P <= q_ && point.err >= q_) return true;
        // The slope from the two points nearest the root, where their h
        // differ by more than rounding (the last probes' need not).
        if (!(std::fabs(h) < near_root_log) || !(std::fabs(best_.h - second_best_.h) > slope_least_rise))
            return false;
        const double slope = std::fabs((best_.h - second_best_.h) / (best_.u - second_best_.u));
        return point.err > hopeless_margin * q_ * slope * quantile_rel_tol;
    }

    std::string blur_message() const { return hopeless_message(blurred_x_, blurred_point_); }
    static std::string hopeless_message(double x, const cdf_point &point)
    {
        return format_message("the distribution function's err (%.3g at x = %.17g, where P = %.3g) is too large "
                              "to locate the quantile",
                              point.err, x, point.P);
    }

    void remember(const search_point &point)
    {
        if (point.h < 0 && point.u > raw_low_.u) raw_low_ = point;
        if (point.h > 0 && point.u < raw_high_.u) raw_high_ = point;
        if (std::fabs(point.h) < std::fabs(best_.h)) {
            second_best_ = best_;
            best_ = point;
        } else if (std::fabs(point.h) < std::fabs(second_best_.h)) {
            second_best_ = point;
        }
    }

    const quantile_problem &problem_;
    double q_;
    probability_tail tail_;
    double log_q_;
    double certified_low_ = -infinity, certified_high_;
    search_point raw_low_{-infinity, -infinity}, raw_high_{infinity, infinity};
    search_point best_{0, infinity}, second_best_{0, infinity};
    std::vector<std::pair<double, cdf_point>> seen_;
    bool blurred_ = false;
    cdf_point blurred_point_;
    double blurred_x_ = 0;
};

// Upwards the bracket search steps in s = log x on [0, Inf) and in
// s = -log(b - x) on [0, b], so that it approaches a finite end
// geometrically and never lands on it.
struct upward_coordinate {
    double upper_end;
    bool bounded() const { return std::isfinite(upper_end); }
    double s_of(double u) const { return bounded() ? -std::log(upper_end - std::exp(u)) : u; }
    double u_of(double s) const { return bounded() ? std::log(upper_end - std::exp(-s)) : s; }
};

// Distance from `current` to where the line through it and `before` (of
// the same sign of h) crosses zero, in the search's coordinate, or 0 when
// the line does not cross ahead. Upwards the line is drawn in x on
// [0, Inf) (beyond the mode log P falls like -x / scale, and faster: the
// line overshoots) and in s near a finite end (log P is linear in
// log(b - x) there); downwards in u (near 0, log P is linear in log x).
double distance_to_crossing(const search_point &before, const search_point &current,
                            const upward_coordinate &up)
{
    if (before.h == current.h) return 0;
    const double slope_ratio = -current.h / (current.h - before.h);
    if (current.h > 0) return std::fmax(-slope_ratio * (current.u - before.u), 0.0);  // downwards, in u
    if (up.bounded()) return std::fmax(slope_ratio * (up.s_of(current.u) - up.s_of(before.u)), 0.0);
    const double x = std::exp(current.u), x_root = x + slope_ratio * (x - std::exp(before.u));
    return x_root > x ? std::log(x_root) - current.u : 0;
}

// The next u of the bracket search: a margin beyond the crossing of the
// line through the last two points, or the step (doubling at every step)
// without one.
double next_bracket_u(const search_point &before, const search_point &current, double step,
                      const upward_coordinate &up)
{
    const double to_root = distance_to_crossing(before, current, up);
    double distance = step;
    if (to_root > 0)
        distance = std::fmin(std::fmax(extrapolation_margin * to_root, least_bracket_step),
                             max_extrapolation_steps * step);
    if (current.h > 0) return current.u - distance;
    return up.u_of(up.s_of(current.u) + distance);
}

// Two points of opposite sign of h around the quantile, low first.
std::pair<search_point, search_point> bracket_quantile(tail_search &search, const quantile_problem &problem)
{
    const double u_top = std::fmin(std::log(problem.upper_end), u_ceiling);
    double u = std::log(problem.typical_x);
    if (!(u > u_floor && u < u_top)) u = std::fmin(0.0, u_top - first_bracket_step);
    search_point current{u, search(u)};
    search_point before = current;
    const upward_coordinate up{problem.upper_end};
    double step = first_bracket_step;
    while (current.h != 0) {
        const double next_u = std::fmin(std::fmax(next_bracket_u(before, current, step, up), u_floor), u_top);
        if (next_u == current.u)
            throw search_stopped{quantile_status::not_bracketed,
                                 format_message(current.h < 0 ? "the quantile lies above x = %.17g"
                                                              : "the quantile lies below x = %.17g",
                                                std::exp(current.u))};
        search_point next{next_u, search(next_u)};
        if ((next.h < 0) != (current.h < 0) || next.h == 0)
            return next.u < current.u ? std::make_pair(next, current) : std::make_pair(current, next);
        before = current;
        current = next;
        step *= 2;
    }
    return {current, current};
}

// One more evaluation at u when it would narrow the certified interval.
void probe(tail_search &search, double u)
{
    if (u > search.certified_low() && u < search.certified_high()) search(u);
}

// TOMS 748 from the bracket until the certified interval meets the aim or
// the raw bracket is narrower than `stop_width`.
void run_toms748(tail_search &search, const std::pair<search_point, search_point> &bracket, double stop_width)
{
    if (!(bracket.first.u < bracket.second.u)) return;   // the bracket search landed on the root
    auto done = [&search, stop_width](double a, double b) {
        return search.certified_width() <= 2 * aim_half_width || b - a <= stop_width;
    };
    std::uintmax_t iterations = max_solver_evaluations;
    boost::math::tools::toms748_solve(std::ref(search), bracket.first.u, bracket.second.u, bracket.first.h,
                                      bracket.second.h, done, iterations);
}

// TOMS 748 converges mostly from one side, so once its bracket is narrow
// the secant through the two best points is far closer to the root than
// the bracket's ends: two probes at the aim either side of it usually
// certify the answer. Where they do not, TOMS 748 goes on to the CDF's
// noise, and the last probes sit either side of the centre.
void narrow_quantile(tail_search &search, const std::pair<search_point, search_point> &bracket)
{
    run_toms748(search, bracket, straddle_width);
    if (search.certified_width() <= 2 * aim_half_width) return;
    const double estimate = search.secant_estimate();
    probe(search, estimate - aim_half_width);
    probe(search, estimate + aim_half_width);
    if (search.certified_width() <= 2 * aim_half_width) return;
    run_toms748(search, search.raw_bracket(), noise_width);
    const double centre = search.secant_estimate();
    if (search.certified_width() <= 2 * aim_half_width) return;
    probe(search, centre - aim_half_width);
    probe(search, centre + aim_half_width);
    if (search.certified_width() <= 2 * quantile_rel_tol) return;
    probe(search, centre - wide_probe_distance);
    probe(search, centre + wide_probe_distance);
}

quantile_result finished(double x, double err, int evaluations)
{
    quantile_result result;
    result.x = x;
    result.err = err;
    result.evaluations = evaluations;
    return result;
}

quantile_result refused(quantile_status status, const std::string &message, int evaluations)
{
    quantile_result result;
    result.x = result.err = nan;
    result.status = status;
    result.message = message;
    result.evaluations = evaluations;
    return result;
}

// The answer: the secant estimate (usually far closer than the interval's
// width) when it lies in the certified interval [e^low, e^high], else the
// centre; err is the distance to the interval's far end plus the rounding
// of exp.
quantile_result from_certificate(const tail_search &search)
{
    const double low = search.certified_low(), high = search.certified_high();
    double u = search.secant_estimate();
    if (!(u > low && u < high)) u = low + (high - low) / 2;
    const double x = std::exp(u);
    const double err = std::fmax(x - std::exp(low), std::exp(high) - x) + 4 * unit_roundoff * x;
    if (!(err <= quantile_rel_tol * x))
        return refused(quantile_status::unresolved,
                       search.failure_reason(format_message("the quantile lies in [%.17g, %.17g], no closer",
                                                            std::exp(low), std::exp(high))),
                       search.evaluations);
    return finished(x, err, search.evaluations);
}

} // namespace

quantile_result solve_quantile(const quantile_problem &problem, double P, probability_tail tail)
{
    if (std::isnan(P)) return finished(nan, nan, 0);
    if (!(P >= 0 && P <= 1))
        return refused(quantile_status::out_of_range,
                       format_message("the probability %.17g is outside [0, 1]", P), 0);
    const bool lower = tail == probability_tail::lower;
    if (P == 0) return finished(lower ? 0 : problem.upper_end, 0, 0);
    if (P == 1) return finished(lower ? problem.upper_end : 0, 0, 0);
    // 1 - P is exact for P in [1/2, 1].
    const bool flip = P > 0.5;
    const double q = flip ? 1 - P : P;
    const probability_tail working = flip == lower ? probability_tail::upper : probability_tail::lower;
    tail_search search(problem, q, working);
    try {
        narrow_quantile(search, bracket_quantile(search, problem));
    } catch (const search_stopped &stop) {
        const bool search_failed =
            stop.status == quantile_status::unresolved || stop.status == quantile_status::not_bracketed;
        return refused(stop.status, search_failed ? search.failure_reason(stop.message) : stop.message,
                       search.evaluations);
    } catch (const std::exception &error) {  // TOMS 748 refusing a bracket whose signs changed
        return refused(quantile_status::not_bracketed, search.failure_reason(error.what()), search.evaluations);
    }
    return from_certificate(search);
}

} // namespace matrixhyper
