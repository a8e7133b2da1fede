// extreme_eig_engine.cpp: P(all eigenvalues in D) for Laguerre and Jacobi
// ensembles by finite formulas. Derivation and precision analysis:
// docs/wishart_extreme_eigenvalues.md, docs/jacobi_extreme_eigenvalues.md.
//
// Two routes:
//   inner      P_D itself, as products of recurrence coefficients of the
//              orthogonal polynomials of the weight restricted to D (complex),
//              or as a Pfaffian in the basis orthonormal on D (real);
//   complement 1 - P_D = 1 - det(I - C) (complex) or 1 - Pf(J - K) (real),
//              C, K small matrices over the complement of D in the basis
//              orthonormal on the full range; eliminated tracking pivot - 1.
// The inner route serves P_D <= 1/2, the complement route the rest, so the
// computed tail is always the smaller one or a value >= 1/2.
//
// Integrals are taken in a chart variable in which every integrand is smooth:
// u = sqrt(t) on the half line; on the unit interval t = sin^2 u, or, for a
// domain in the upper half, t = cos^2 v (so that 1 - t = sin^2 v keeps its
// relative accuracy near t = 1).
#include "extreme_eig_engine.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

#include "interrupt_countdown.h"

namespace matrixhyper {
namespace extreme_eig {
namespace {

// Gauss-Legendre points per panel of the composite rules.
constexpr int panel_points = 24;
// A panel's rule is cut where weight * (polynomial growth) is below
// e^-range_cut of the weight's maximum: far below double precision (e^-36).
constexpr extended range_cut = 120;
// The weight's core, where polynomials of the degrees used stay bounded:
// within e^-core_cut of its maximum.
constexpr extended core_cut = 40;
// Panel widths in the chart variable: at most this wide ...
constexpr extended max_panel_width = 0.25L;
// ... with at most this much variation of the log-weight per panel ...
constexpr extended max_log_variation = 3;
// ... and at least (4 s + 40) / 12 panels, enough for polynomials of degree
// 4 s in the chart variable on 24-point panels.
constexpr int panels_per_eigenvalue_numerator = 4, panels_floor_numerator = 40, panels_denominator = 12;
// A weight whose chart density is a non-integer power u^gamma at u = 0 (a
// non-integer n: gamma = 2 power + 1 > -1) gives integrands of the same
// power there. The panel next to 0 is then cut geometrically towards it,
// each piece a quarter of the next: a piece [a, 4a] has 0 outside the
// Bernstein ellipse of parameter 3 about it, where its 24 points reach 3^-48
// ~ 1e-23 of its integral. The innermost piece [0, h 4^-L] holds (4^-L)^(gamma
// + 1) of the first panel's integral, below 2^-graded_accuracy_bits for
// L = graded_accuracy_bits / (2 (gamma + 1)) (22 pieces at n = m + 1/2, 64 at
// m - 1/2, 320 at the least n taken, m - 0.9: wishart_eig_accepts). L is
// held to most_graded_levels, which only the second rule's 1.37 L reaches.
constexpr extended grading_ratio = 0.25L;
constexpr extended graded_accuracy_bits = 64;
constexpr int most_graded_levels = 400;
// The second evaluation behind err uses this many times the panels: other
// nodes, other rounding (an irrational-looking ratio, so that no node of one
// rule coincides with a node of the other).
constexpr extended second_rule_panel_scale = 1.37L;
// err = safety * |P1 - P2| + safety * u * (s + 2) * (1 + s / floor_growth) * P:
// the difference of the two evaluations, with a floor for the rounding they
// may share by chance: s + 2 units for the sums of s logarithms of pivots,
// growing with s because each recurrence coefficient enters the sum of the
// log norms up to s times. Calibrated against the multiprecision references
// (a complex s = 20 point at P = 1e-300 needed 8e-14 relative).
constexpr double err_safety = 4;
constexpr double floor_growth = 5;
constexpr double unit_rounding = std::numeric_limits<double>::epsilon();
// A domain narrower than this relative to its chart coordinates cannot be
// resolved: it carries no representable probability.
constexpr extended narrowest_domain = 1e-12L;
// The complement route goes to first order (and scales the basis values)
// when the full basis' amplitude on the complement is below e^first_order_shift
// and the result below e^first_order_below: the neglected terms are then
// below e^-46 ~ 1e-20 of the kept ones.
constexpr extended first_order_shift = -23, first_order_below = -46;
// A positive t far below any domain's scale: where a weight with its mode at
// 0 is probed, and the least radius of a weight's core.
constexpr extended smallest_probe = 1e-300L;
// The inner route serves P_D up to this; the complement route the rest, so
// that the computed tail is the smaller one or at least this.
constexpr extended inner_route_limit = 0.5L;
// A rule cut within this fraction of a finite end of its domain is run to
// that end (see span_of).
constexpr extended end_snap = 1e-9L;
// Polls of the interrupt: every so many quadrature nodes visited (a panel
// counts its nodes, a Lanczos step the rule's), well under a millisecond.
constexpr long long nodes_per_poll = 1024;

struct interrupted_error {};

extended log_power(extended exponent, extended value)
{
    if (exponent == 0) return 0;
    if (value == 0) return exponent > 0 ? -INFINITY : INFINITY;
    return exponent * std::log(value);
}

// Gauss-Legendre rule on [-1,1] and its integration matrix
// integration[k][l] = int_{-1}^{node_k} l_l(s) ds (l_l the Lagrange basis).
struct legendre_panel {
    extended node[panel_points], weight[panel_points];
    double integration[panel_points][panel_points];

    legendre_panel()
    {
        constexpr extended pi = 3.14159265358979323846264338327950288L;
        constexpr int newton_steps = 100;
        constexpr extended newton_tolerance = 1e-19L;
        for (int i = 0; i < panel_points; i++) {
            extended z = std::cos(pi * (i + 0.75L) / (panel_points + 0.5L)), derivative = 0;
            for (int step = 0; step < newton_steps; step++) {
                extended p_prev = 1, p = z;
                for (int k = 2; k <= panel_points; k++) {
                    extended p_next = ((2 * k - 1) * z * p - (k - 1) * p_prev) / k;
                    p_prev = p;
                    p = p_next;
                }
                derivative = panel_points * (z * p - p_prev) / (z * z - 1);
                extended dz = p / derivative;
                z -= dz;
                if (std::fabs(dz) < newton_tolerance) break;
            }
            node[panel_points - 1 - i] = z;
            weight[panel_points - 1 - i] = 2 / ((1 - z * z) * derivative * derivative);
        }
        for (int k = 0; k < panel_points; k++)
            for (int l = 0; l < panel_points; l++) {
                extended sum = 0, half = (node[k] + 1.0L) / 2;
                for (int r = 0; r < panel_points; r++) {
                    extended s = -1 + half * (node[r] + 1.0L), lagrange = 1;
                    for (int j = 0; j < panel_points; j++)
                        if (j != l) lagrange *= (s - node[j]) / (node[l] - node[j]);
                    sum += half * weight[r] * lagrange;
                }
                integration[k][l] = (double)sum;
            }
    }
};

const legendre_panel &legendre()
{
    static const legendre_panel panel;
    return panel;
}

// A domain [lo, hi] of t with the complements 1 - lo, 1 - hi.
struct interval {
    extended lo, co_lo, hi, co_hi;
};

// Composite Gauss-Legendre rule in the chart variable, equal panels, nodes
// in increasing t. Per node: t, 1 - t, dt/d(chart) and the Gauss weight.
struct rule {
    std::vector<extended> t, co_t, jacobian;
    std::vector<double> gauss_weight;
    std::vector<extended> half_width;   // of each panel, in the chart variable
    int panel_count = 0;
    bool from_one = false;        // chart t = cos^2 v: polynomials in t - 1
};

extended mode_of(const weight &w)
{
    if (w.co_power == 0) return w.power / w.rate;
    return w.power / (w.power + w.co_power);
}

// Where the rule must reach: [a, b] within [D.lo, D.hi].
struct rule_span {
    extended a, b;
    extended variation;   // of the envelope's log over [a, b], from its top
};

// The span of t where weight * rho^degree (rho the Bernstein-Walsh growth
// factor of the weight's core) is within e^-range_cut of the weight's maximum.
rule_span span_of(const interval &domain, const weight &chart_weight, int degree)
{
    const extended lo = domain.lo, hi = domain.hi;
    auto log_weight = [&](extended t) { return chart_weight.log_at(t, 1 - t); };
    const extended mode = std::min(std::max(mode_of(chart_weight), lo), hi);
    extended top = log_weight(mode);
    if (!std::isfinite(top)) top = log_weight(mode > 0 ? mode : std::min(hi, smallest_probe));
    constexpr int bisection_steps = 200;
    constexpr extended bisection_tolerance = 1e-13L;
    auto bisect = [&](extended from, extended to, auto inside) {
        bool from_inside = inside(from);
        for (int i = 0; i < bisection_steps && to - from > bisection_tolerance * std::fabs(to); i++) {
            extended mid = 0.5L * (from + to);
            (inside(mid) == from_inside ? from : to) = mid;
        }
        return from_inside ? from : to;
    };
    // First t beyond `from` (capped at hi) outside, by geometric steps.
    constexpr extended growth = 1.25L;
    auto far_end = [&](extended from, auto inside) {
        extended t = from;
        while (t < hi && inside(t)) t = t * growth + 1;
        return std::min(t, hi);
    };
    auto in_core = [&](extended t) { return log_weight(t) >= top - core_cut; };
    extended core_lo = lo, core_hi = hi;
    if (!in_core(lo)) core_lo = bisect(lo, mode, in_core);
    if (!(hi < INFINITY && in_core(hi))) {
        extended t = far_end(mode, in_core);
        core_hi = in_core(t) ? t : bisect(mode, t, in_core);
    }
    const extended centre = 0.5L * (core_lo + core_hi);
    const extended radius = std::max(0.5L * (core_hi - core_lo), smallest_probe);
    auto envelope = [&](extended t) {
        extended z = std::fabs(t - centre) / radius;
        extended growth_log = z <= 1 ? 0 : std::log(z + std::sqrt(z * z - 1));
        return log_weight(t) + degree * growth_log;
    };
    auto in_rule = [&](extended t) { return envelope(t) >= top - range_cut; };
    rule_span span{lo, hi, 0};
    if (lo < core_lo && !in_rule(lo)) {  // scan up from lo to the first point inside
        constexpr int scan_steps = 256;
        extended previous = lo;
        for (int i = 1; i <= scan_steps; i++) {
            extended t = lo + (core_lo - lo) * i / scan_steps;
            if (in_rule(t)) {
                span.a = bisect(previous, t, in_rule);
                break;
            }
            previous = t;
        }
    }
    if (!(hi < INFINITY && in_rule(hi))) {
        extended from = std::max(core_hi, lo);
        extended t = far_end(from, in_rule);
        span.b = in_rule(t) ? t : bisect(from, t, in_rule);
    }
    // A cut that close to a finite end of the domain is where the chart's
    // Jacobian vanishes at the end (bisection in t cannot resolve e^-240 from
    // 1), not a decay of the weight: the rule runs to the end. Including a
    // sliver of negligible weight costs nothing.
    if (hi < INFINITY && hi - span.b <= end_snap * std::fabs(hi)) span.b = hi;
    if (span.a - lo <= end_snap * std::fabs(span.a)) span.a = lo;
    span.variation = std::fabs(envelope(span.b) - top) + (span.a > 0 ? std::fabs(envelope(span.a) - top) : 0);
    if (!std::isfinite(span.variation)) span.variation = 2 * range_cut;
    return span;
}

// The ends in u of the panels that replace the first equal one, [ua,
// ua + h]: none where the chart density u^(2 power + 1) is smooth at 0 or
// that panel is as far from 0 as it is wide; else ua < h_L < ... < h_1 <
// ua + h, pieces shrinking towards 0, h_k = (ua + h) grading_ratio^k.
std::vector<extended> graded_ends(extended ua, extended h, extended power, extended panel_scale)
{
    const extended twice_power = 2 * power;
    if (twice_power == std::floor(twice_power) || ua >= h) return {};
    const extended gamma_plus_one = twice_power + 2;
    const extended bits_per_level = -std::log2(grading_ratio) * gamma_plus_one;
    const int levels = (int)std::min<extended>(
        most_graded_levels, std::ceil(graded_accuracy_bits / bits_per_level * panel_scale));
    std::vector<extended> ends{ua + h};
    for (int k = 0; k < levels && ends.back() * grading_ratio > ua; k++) ends.push_back(ends.back() * grading_ratio);
    ends.push_back(ua);
    std::reverse(ends.begin(), ends.end());
    return ends;
}

rule make_rule(const interval &domain, const weight &w, support range, int degree, int count,
               extended panel_scale)
{
    const bool unit = range == support::unit_interval;
    // The weight as a density in the chart variable (dt = 2 sqrt(t) du on the
    // half line, 2 sqrt(t (1 - t)) du on the unit interval).
    const weight chart_weight{w.power + 0.5L, unit ? w.co_power + 0.5L : 0, w.rate};
    const rule_span span = span_of(domain, chart_weight, degree);
    const extended co_a = span.a == domain.lo ? domain.co_lo : 1 - span.a;
    const extended co_b = span.b == domain.hi ? domain.co_hi : 1 - span.b;
    rule r;
    r.from_one = unit && span.a > 0.5L;
    // Chart coordinates of the span, increasing with t.
    extended ua, ub;
    if (!unit) {
        ua = std::sqrt(span.a);
        ub = std::sqrt(span.b);
    } else if (!r.from_one) {
        ua = std::atan2(std::sqrt(span.a), std::sqrt(co_a));
        ub = std::atan2(std::sqrt(span.b), std::sqrt(co_b));
    } else {
        ua = -std::atan2(std::sqrt(co_a), std::sqrt(span.a));
        ub = -std::atan2(std::sqrt(co_b), std::sqrt(span.b));
    }
    const extended width = ub - ua;
    if (!(width > narrowest_domain * std::max(std::fabs(ua), std::fabs(ub)))) return r;
    int panels = (int)std::ceil(width / max_panel_width);
    panels = std::max(panels, (int)std::ceil(span.variation / max_log_variation));
    panels = std::max(panels, (int)std::ceil((extended)(panels_per_eigenvalue_numerator * count +
                                                        panels_floor_numerator) / panels_denominator));
    panels = std::max(panels, 1);
    panels = (int)std::ceil(panels * panel_scale);
    // The panels' centres and half widths in u: equal panels, the first
    // replaced by graded ones where graded_ends gives them (on the half line
    // only: the matrix Beta weights of the unit interval have whole 2 power).
    const std::vector<extended> graded = graded_ends(ua, width / panels, unit ? 0 : w.power, panel_scale);
    std::vector<extended> centres;
    for (std::size_t p = 0; p + 1 < graded.size(); p++) {
        r.half_width.push_back((graded[p + 1] - graded[p]) / 2);
        centres.push_back(graded[p] + r.half_width.back());
    }
    for (int p = graded.empty() ? 0 : 1; p < panels; p++) {
        r.half_width.push_back(width / panels / 2);
        centres.push_back(ua + width * (p + 0.5L) / panels);
    }
    const legendre_panel &panel = legendre();
    r.panel_count = (int)centres.size();
    const std::size_t size = (std::size_t)r.panel_count * panel_points;
    r.t.resize(size);
    r.co_t.resize(size);
    r.jacobian.resize(size);
    r.gauss_weight.resize(size);
    for (int p = 0; p < r.panel_count; p++) {
        const extended centre = centres[p];
        for (int k = 0; k < panel_points; k++) {
            const std::size_t at = (std::size_t)p * panel_points + k;
            const extended u = centre + r.half_width[p] * panel.node[k];
            r.gauss_weight[at] = (double)(r.half_width[p] * panel.weight[k]);
            if (!unit) {
                r.t[at] = u * u;
                r.co_t[at] = 1 - u * u;
                r.jacobian[at] = 2 * u;
            } else {
                const extended v = r.from_one ? -u : u;
                const extended s = std::sin(v), c = std::cos(v);
                r.t[at] = r.from_one ? c * c : s * s;
                r.co_t[at] = r.from_one ? s * s : c * c;
                r.jacobian[at] = 2 * s * c;
            }
        }
    }
    return r;
}

// Orthonormal polynomials p_0..p_{count-1} of a weight (the recurrence in
// y = t, or y = t - 1 when from_one).
struct basis {
    int count = 0;
    recurrence coefficients;
    weight density;
    bool from_one = false;

    // g[i] = p_i(t) sqrt(density(t)) e^-log_shift, p_i orthonormal for the
    // weight itself (the shift keeps far tails inside the double range).
    void eval(extended t, extended co_t, double *g, extended log_shift = 0) const
    {
        // Rescaling keeps p in range; any threshold far inside the exponent
        // range serves.
        static const extended rescale_above = std::sqrt(std::numeric_limits<extended>::max());
        static const extended log_rescale = std::log(rescale_above);
        const extended y = from_one ? -co_t : t;
        const extended log_factor = 0.5L * (density.log_at(t, co_t) - coefficients.log_mass) - log_shift;
        extended scaled_log = 0;
        extended factor = std::exp(log_factor);
        extended p = 1, p_prev = 0;
        g[0] = (double)factor;
        const std::vector<extended> &a = coefficients.diagonal, &b = coefficients.off_diagonal;
        for (int k = 0; k + 1 < count; k++) {
            extended p_next = ((y - a[k]) * p - (k > 0 ? b[k] * p_prev : 0)) / b[k + 1];
            p_prev = p;
            p = p_next;
            if (std::fabs(p) > rescale_above) {
                p /= rescale_above;
                p_prev /= rescale_above;
                scaled_log += log_rescale;
                factor = std::exp(log_factor + scaled_log);
            }
            g[k + 1] = (double)(p * factor);
        }
    }

    // sum_{k < count} log h_k, h_k the norms of the monic polynomials.
    extended log_norm_sum() const
    {
        extended sum = 0, log_norm = coefficients.log_mass;
        for (int k = 0; k < count; k++) {
            if (k > 0) log_norm += 2 * std::log(coefficients.off_diagonal[k]);
            sum += log_norm;
        }
        return sum;
    }
};

// The caller's interrupt, polled by one countdown of nodes visited across
// the loops of an evaluation; a requested stop leaves by interrupted_error.
class work_context {
public:
    explicit work_context(const interrupt_check *interrupt) : countdown_(interrupt, nodes_per_poll) {}
    void visited(long long nodes)
    {
        if (countdown_.step(nodes)) throw interrupted_error();
    }
    void poll()
    {
        if (countdown_.poll()) throw interrupted_error();
    }

private:
    interrupt_countdown countdown_;
};

// Orthonormal polynomials (Lanczos with one full reorthogonalisation per
// step) of the discrete measure rule x density; also the log of the mass.
basis lanczos(const rule &r, const weight &density, int count, work_context &work)
{
    const std::size_t size = r.t.size();
    basis result;
    result.count = count;
    result.density = density;
    result.from_one = r.from_one;
    std::vector<extended> log_mass_at(size);
    extended largest_log = -INFINITY;
    for (std::size_t k = 0; k < size; k++) {
        log_mass_at[k] = std::log((extended)r.gauss_weight[k]) + std::log(r.jacobian[k]) +
                         density.log_at(r.t[k], r.co_t[k]);
        largest_log = std::max(largest_log, log_mass_at[k]);
    }
    extended sum = 0;
    for (std::size_t k = 0; k < size; k++) sum += std::exp(log_mass_at[k] - largest_log);
    result.coefficients.log_mass = largest_log + std::log(sum);
    // Lanczos on y / y_scale (no underflow for domains near 0 or 1); the
    // recurrence is scaled back afterwards.
    extended y_scale = 0;
    for (std::size_t k = 0; k < size; k++)
        y_scale = std::max(y_scale, r.from_one ? r.co_t[k] : r.t[k]);
    std::vector<double> y(size);
    std::vector<std::vector<double>> q(count, std::vector<double>(size));
    for (std::size_t k = 0; k < size; k++) {
        y[k] = (double)((r.from_one ? -r.co_t[k] : r.t[k]) / y_scale);
        q[0][k] = (double)std::exp(0.5L * (log_mass_at[k] - result.coefficients.log_mass));
    }
    std::vector<extended> &a = result.coefficients.diagonal, &b = result.coefficients.off_diagonal;
    a.assign(count, 0);
    b.assign(count + 1, 0);
    std::vector<double> v(size);
    for (int j = 0; j + 1 < count; j++) {
        work.visited((long long)size);
        double aj = 0;
        for (std::size_t k = 0; k < size; k++) aj += y[k] * q[j][k] * q[j][k];
        a[j] = aj;
        for (std::size_t k = 0; k < size; k++)
            v[k] = (y[k] - aj) * q[j][k] - (j > 0 ? (double)b[j] * q[j - 1][k] : 0.0);
        for (int i = 0; i <= j; i++) {
            double c = 0;
            const double *qi = q[i].data();
            for (std::size_t k = 0; k < size; k++) c += v[k] * qi[k];
            for (std::size_t k = 0; k < size; k++) v[k] -= c * qi[k];
        }
        double norm2 = 0;
        for (std::size_t k = 0; k < size; k++) norm2 += v[k] * v[k];
        extended norm = std::sqrt((extended)norm2);
        if (!(norm > 0)) throw std::runtime_error("Lanczos breakdown");
        b[j + 1] = norm;
        for (std::size_t k = 0; k < size; k++) q[j + 1][k] = (double)(v[k] / norm);
    }
    for (int j = 0; j < count; j++) {
        a[j] *= y_scale;
        b[j + 1] *= y_scale;
    }
    return result;
}

// Real case: wedge[i][j] = int int_{x<y in rule} f_i(x) f_j(y) W(x) W(y) dx dy and
// border[i] = int f_i W over the rule's domain, f_i the basis polynomials
// (orthonormal for the basis weight, whose square root is W dt / (2 d chart)).
void wedge(const rule &r, const basis &functions, int count, std::vector<double> &wedge_matrix,
           std::vector<double> &border, work_context &work, extended log_shift = 0)
{
    const legendre_panel &panel = legendre();
    wedge_matrix.assign((std::size_t)count * count, 0.0);
    border.assign(count, 0.0);
    std::vector<double> f((std::size_t)panel_points * count), F(count);
    for (int p = 0; p < r.panel_count; p++) {
        work.visited(panel_points);
        for (int k = 0; k < panel_points; k++) {
            const std::size_t at = (std::size_t)p * panel_points + k;
            functions.eval(r.t[at], r.co_t[at], &f[(std::size_t)k * count], log_shift);
            for (int i = 0; i < count; i++) f[(std::size_t)k * count + i] *= 2;
        }
        for (int k = 0; k < panel_points; k++) {
            for (int i = 0; i < count; i++) {
                double s = 0;
                for (int l = 0; l < panel_points; l++)
                    s += panel.integration[k][l] * f[(std::size_t)l * count + i];
                F[i] = border[i] + (double)r.half_width[p] * s;
            }
            const double wk = r.gauss_weight[(std::size_t)p * panel_points + k];
            const double *fk = &f[(std::size_t)k * count];
            for (int i = 0; i < count; i++) {
                const double Fi = F[i] * wk;
                double *row = &wedge_matrix[(std::size_t)i * count];
                for (int j = 0; j < count; j++) row[j] += Fi * fk[j];
            }
        }
        for (int k = 0; k < panel_points; k++) {
            const double wk = r.gauss_weight[(std::size_t)p * panel_points + k];
            for (int i = 0; i < count; i++) border[i] += wk * f[(std::size_t)k * count + i];
        }
    }
}

// log|Pf(A)| of a skew matrix of even order (row-major, destroyed), with
// pivoting; the sign through *sign (0 when singular).
extended log_pfaffian(std::vector<double> &A, int order, int *sign)
{
    extended log_value = 0;
    int sign_so_far = 1;
    auto at = [&](int i, int j) -> double & { return A[(std::size_t)i * order + j]; };
    for (int k = 0; k + 1 < order; k += 2) {
        int pivot_row = k + 1;
        for (int i = k + 2; i < order; i++)
            if (std::fabs(at(i, k)) > std::fabs(at(pivot_row, k))) pivot_row = i;
        if (pivot_row != k + 1) {
            for (int j = 0; j < order; j++) std::swap(at(k + 1, j), at(pivot_row, j));
            for (int i = 0; i < order; i++) std::swap(at(i, k + 1), at(i, pivot_row));
            sign_so_far = -sign_so_far;
        }
        const double pivot = at(k, k + 1);
        if (pivot == 0) {
            *sign = 0;
            return -INFINITY;
        }
        log_value += std::log(std::fabs((extended)pivot));
        if (pivot < 0) sign_so_far = -sign_so_far;
        for (int i = k + 2; i < order; i++) {
            const double aik = at(i, k), aik1 = at(i, k + 1);
            for (int j = k + 2; j < order; j++) at(i, j) += (aik * at(k + 1, j) - aik1 * at(k, j)) / pivot;
        }
    }
    *sign = sign_so_far;
    return log_value;
}

// The de Bruijn skew matrix of even order (count, or count + 1 bordered by
// the border vector when count is odd): W - W^T.
std::vector<double> skew_matrix(const std::vector<double> &wedge_matrix, const std::vector<double> &border,
                                int count, int order)
{
    std::vector<double> A((std::size_t)order * order, 0.0);
    for (int i = 0; i < count; i++)
        for (int j = 0; j < count; j++)
            A[(std::size_t)i * order + j] =
                wedge_matrix[(std::size_t)i * count + j] - wedge_matrix[(std::size_t)j * count + i];
    if (order > count)
        for (int i = 0; i < count; i++) {
            A[(std::size_t)i * order + count] = border[i];
            A[(std::size_t)count * order + i] = -border[i];
        }
    return A;
}

// log P_D and log(1 - P_D).
struct domain_logs {
    extended inside, outside;
};

class evaluator {
public:
    evaluator(const ensemble &model, const interrupt_check *interrupt, extended panel_scale)
        : model_(model), panel_scale_(panel_scale), work_(interrupt)
    {
        full_.count = model.count;
        full_.coefficients = model.full_basis;
        full_.density = model.basis_weight;
        if (!model.real) {
            log_full_norms_ = full_.log_norm_sum();
            return;
        }
        factor_full_skew_matrix();
    }

    domain_logs domain(const cut_point &X, bool largest)
    {
        const interval whole_end = end_point();
        // D = [0, X] (largest) or [X, end) (smallest); the complement the other.
        const interval below{0, 1, X.x, X.co_x}, above{X.x, X.co_x, whole_end.hi, whole_end.co_hi};
        const interval &D = largest ? below : above, &complement = largest ? above : below;
        const extended log_inside = inner_log(D);
        if (log_inside <= std::log(inner_route_limit)) return {log_inside, std::log1p(-std::exp(log_inside))};
        domain_logs logs;
        if (complement_logs(complement, !largest, &logs)) return logs;
        const extended clamped = std::min(log_inside, (extended)0);
        return {clamped, std::log(-std::expm1(clamped))};
    }

    work_context &work() { return work_; }

private:
    interval end_point() const
    {
        if (model_.range == support::unit_interval) return {0, 1, 1, 0};
        return {0, 1, INFINITY, -INFINITY};
    }

    interval whole() const
    {
        interval end = end_point();
        return {0, 1, end.hi, end.co_hi};
    }

    int order() const { return model_.count % 2 == 0 ? model_.count : model_.count + 1; }

    // The full-range skew matrix in the full basis, factorised
    // S_full = (L Dg) J (L Dg)^T without pivoting, once per evaluator.
    void factor_full_skew_matrix()
    {
        const int count = model_.count, n = order();
        rule whole_rule = make_rule(whole(), model_.eigen_weight, model_.range, count + 1, count, panel_scale_);
        std::vector<double> wedge_matrix, border;
        wedge(whole_rule, full_, count, wedge_matrix, border, work_);
        std::vector<double> A = skew_matrix(wedge_matrix, border, count, n);
        full_border_ = border;
        lower_factor_.assign((std::size_t)n * n, 0.0);
        block_pivots_.assign(n, 1.0);
        for (int i = 0; i < n; i++) lower_factor_[(std::size_t)i * n + i] = 1;
        for (int k = 0; k + 1 < n; k += 2) {
            const double pivot = A[(std::size_t)k * n + k + 1];
            if (pivot == 0) throw std::runtime_error("singular full-range Pfaffian matrix");
            block_pivots_[k] = pivot;
            for (int i = k + 2; i < n; i++) {
                lower_factor_[(std::size_t)i * n + k] = A[(std::size_t)i * n + k + 1] / pivot;
                lower_factor_[(std::size_t)i * n + k + 1] = -A[(std::size_t)i * n + k] / pivot;
            }
            for (int i = k + 2; i < n; i++) {
                const double aik = A[(std::size_t)i * n + k], aik1 = A[(std::size_t)i * n + k + 1];
                for (int j = k + 2; j < n; j++)
                    A[(std::size_t)i * n + j] +=
                        (aik * A[(std::size_t)(k + 1) * n + j] - aik1 * A[(std::size_t)k * n + j]) / pivot;
            }
        }
    }

    // log P_D by the inner route.
    extended inner_log(const interval &D)
    {
        const int count = model_.count;
        if (!model_.real) {
            rule r = make_rule(D, model_.eigen_weight, model_.range, 2 * count, count, panel_scale_);
            if (r.t.empty()) return -INFINITY;
            basis restricted = lanczos(r, model_.eigen_weight, count, work_);
            return restricted.log_norm_sum() - log_full_norms_;
        }
        rule r = make_rule(D, model_.eigen_weight, model_.range, count + 1, count, panel_scale_);
        if (r.t.empty()) return -INFINITY;
        basis restricted = lanczos(r, model_.basis_weight, count, work_);
        std::vector<double> wedge_matrix, border;
        wedge(r, restricted, count, wedge_matrix, border, work_);
        std::vector<double> A = skew_matrix(wedge_matrix, border, count, order());
        int sign = 0;
        const extended log_pf = log_pfaffian(A, order(), &sign);
        if (sign == 0) return -INFINITY;
        return std::lgamma((extended)count + 1) + log_pf + 0.5L * restricted.log_norm_sum() -
               model_.log_normaliser;
    }

    // The complement route: log P_D and log(1 - P_D) from integrals over the
    // complement only; false when a pivot is not positive (then the inner
    // route's value stands). A complement of tiny weight (1 - P_D below
    // e^first_order_below) is taken to first order in basis values scaled
    // by e^-shift, so that tails far below the double range keep their log.
    bool complement_logs(const interval &complement, bool complement_left, domain_logs *out)
    {
        const int count = model_.count;
        rule r = make_rule(complement, model_.eigen_weight, model_.range, model_.real ? count + 1 : 2 * count,
                           count, panel_scale_);
        if (r.t.empty()) {
            *out = {0, -INFINITY};
            return true;
        }
        const extended shift = amplitude_log(r);
        if (shift < first_order_shift) {
            extended log_outside = -INFINITY;
            if (first_order_log(r, shift, complement_left, &log_outside) && log_outside < first_order_below) {
                *out = {std::log1p(-std::exp(log_outside)), log_outside};
                return true;
            }
        }
        extended log_inside = 0;
        if (!(model_.real ? real_pivots_log(r, complement_left, &log_inside) : complex_pivots_log(r, &log_inside)) ||
            log_inside > 0)
            return false;
        *out = {log_inside, std::log(-std::expm1(log_inside))};
        return true;
    }

    // The log of the largest full-basis amplitude sqrt(density / mass) on
    // the rule's nodes: the basis values there are of that order (times
    // polynomial growth).
    extended amplitude_log(const rule &r) const
    {
        extended largest = -INFINITY;
        for (std::size_t k = 0; k < r.t.size(); k++)
            largest = std::max(largest, full_.density.log_at(r.t[k], r.co_t[k]));
        return 0.5L * (largest - full_.coefficients.log_mass);
    }

    // 1 - P_D to first order: tr C (complex, C ~ e^{2 shift}) or the sum of
    // the pivot defects of K without the complement's own wedge (real, the
    // cross and border terms ~ e^shift; the wedge is ~ e^{2 shift}).
    bool first_order_log(const rule &r, extended shift, bool complement_left, extended *out)
    {
        extended sum = 0;
        if (!model_.real) {
            const std::vector<double> gram = gram_matrix(r, shift);
            for (int k = 0; k < model_.count; k++) sum += gram[(std::size_t)k * model_.count + k];
            if (!(sum > 0)) return false;
            *out = 2 * shift + std::log(sum);
            return true;
        }
        const int n = order();
        const std::vector<double> defects = real_complement_matrix(r, shift, complement_left, false);
        for (int k = 0; k + 1 < n; k += 2) sum += defects[(std::size_t)k * n + k + 1];
        if (!(sum > 0)) return false;
        *out = shift + std::log(sum);
        return true;
    }

    // Complex: the Gram matrix C_ij = int over the rule of p_i p_j w (full
    // basis), lower triangle, times e^{-2 shift}.
    std::vector<double> gram_matrix(const rule &r, extended shift)
    {
        const int count = model_.count;
        std::vector<double> gram((std::size_t)count * count, 0.0), g(count);
        for (std::size_t k = 0; k < r.t.size(); k++) {
            work_.visited(1);
            full_.eval(r.t[k], r.co_t[k], g.data(), shift);
            const double w = r.gauss_weight[k] * (double)r.jacobian[k];
            for (int i = 0; i < count; i++) {
                const double gi = w * g[i];
                for (int j = 0; j <= i; j++) gram[(std::size_t)i * count + j] += gi * g[j];
            }
        }
        return gram;
    }

    // Complex: P_D = det(I - gram) by symmetric elimination tracking 1 - pivot.
    bool complex_pivots_log(const rule &r, extended *out)
    {
        const int count = model_.count;
        std::vector<double> gram = gram_matrix(r, 0);
        extended sum = 0;
        for (int k = 0; k < count; k++) {
            const double e = gram[(std::size_t)k * count + k];
            const double pivot = 1 - e;
            if (!(pivot > 0)) return false;
            sum += std::log1p(-(extended)e);
            for (int i = k + 1; i < count; i++) {
                const double ci = gram[(std::size_t)i * count + k] / pivot;
                for (int j = k + 1; j <= i; j++) gram[(std::size_t)i * count + j] += ci * gram[(std::size_t)j * count + k];
            }
        }
        *out = sum;
        return true;
    }

    // Real: K = (L Dg)^{-1} Delta S (L Dg)^{-T}, Delta S = S_complement +
    // cross terms (see the doc), bordered when count is odd, from basis values
    // scaled by e^-shift: the cross and border terms come out times e^-shift;
    // the complement's wedge (times e^{-2 shift}) only when with_wedge.
    std::vector<double> real_complement_matrix(const rule &r, extended shift, bool complement_left,
                                               bool with_wedge)
    {
        const int count = model_.count, n = order();
        std::vector<double> wedge_matrix, border;
        wedge(r, full_, count, wedge_matrix, border, work_, shift);
        std::vector<double> defects((std::size_t)n * n, 0.0);
        for (int i = 0; i < count; i++)
            for (int j = 0; j < count; j++) {
                const double cross = complement_left ? (border[i] * full_border_[j] - full_border_[i] * border[j])
                                                     : (full_border_[i] * border[j] - border[i] * full_border_[j]);
                const double own = with_wedge ? wedge_matrix[(std::size_t)i * count + j] -
                                                    wedge_matrix[(std::size_t)j * count + i]
                                              : 0.0;
                defects[(std::size_t)i * n + j] = own + cross;
            }
        if (n > count)
            for (int i = 0; i < count; i++) {
                defects[(std::size_t)i * n + count] = border[i];
                defects[(std::size_t)count * n + i] = -border[i];
            }
        // defects <- (L Dg)^{-1} defects (L Dg)^{-T}
        for (int pass = 0; pass < 2; pass++) {
            for (int col = 0; col < n; col++)
                for (int i = 0; i < n; i++) {
                    double v = defects[(std::size_t)i * n + col];
                    for (int j = 0; j < i; j++) v -= lower_factor_[(std::size_t)i * n + j] * defects[(std::size_t)j * n + col];
                    defects[(std::size_t)i * n + col] = v;
                }
            for (int i = 0; i < n; i++)
                for (int j = 0; j < i; j++) std::swap(defects[(std::size_t)i * n + j], defects[(std::size_t)j * n + i]);
        }
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) defects[(std::size_t)i * n + j] /= block_pivots_[i] * block_pivots_[j];
        return defects;
    }

    // Real: P_D = Pf(J - defects), skew elimination tracking pivot - 1 = -defects[k][k+1].
    bool real_pivots_log(const rule &r, bool complement_left, extended *out)
    {
        const int n = order();
        std::vector<double> defects = real_complement_matrix(r, 0, complement_left, true);
        extended sum = 0;
        for (int k = 0; k + 1 < n; k += 2) {
            const double d = defects[(std::size_t)k * n + k + 1];
            const double pivot = 1 - d;
            if (!(pivot > 0)) return false;
            sum += std::log1p(-(extended)d);
            for (int i = k + 2; i < n; i++) {
                const double kik = defects[(std::size_t)i * n + k], kik1 = defects[(std::size_t)i * n + k + 1];
                for (int j = k + 2; j < n; j++)
                    defects[(std::size_t)i * n + j] +=
                        (kik1 * defects[(std::size_t)k * n + j] - kik * defects[(std::size_t)(k + 1) * n + j]) / pivot;
            }
        }
        *out = sum;
        return true;
    }

    const ensemble &model_;
    extended panel_scale_;
    work_context work_;
    basis full_;
    extended log_full_norms_ = 0;          // complex: sum_k log h_k of the full weight
    std::vector<double> lower_factor_, block_pivots_, full_border_;  // real
};

// The requested tail of one evaluation: largest: lower = P_D; smallest:
// upper = P_D.
extended requested_log(const domain_logs &logs, const tails_request &request)
{
    const bool inside = request.largest == request.lower;
    return inside ? logs.inside : logs.outside;
}

void write_point(const tails_request &request, extended log_value, const extended *second_log, double *P,
                 double *err)
{
    const int count = request.model.count;
    const extended log_floor = err_safety * unit_rounding * (count + 2) * (1 + count / floor_growth);
    const extended log_err = second_log ? err_safety * std::fabs(log_value - *second_log) + log_floor : 0;
    if (request.log_result) {
        *P = (double)log_value;
        if (err) {
            // A domain too narrow to resolve gives -Inf: its true log is
            // finite but out of reach.
            *err = std::isinf(log_value) ? HUGE_VAL
                                          : (double)(log_err + unit_rounding * std::fabs(log_value));
        }
        return;
    }
    const double value = std::min(1.0, (double)std::exp(log_value));
    *P = value;
    if (err) {
        double bound = value * (double)std::expm1(log_err) + unit_rounding * value;
        // A subnormal or underflowed P is off by up to the least subnormal.
        if (value < std::numeric_limits<double>::min()) bound += std::numeric_limits<double>::denorm_min();
        *err = bound;
    }
}

} // namespace

extended weight::log_at(extended t, extended co_t) const
{
    return log_power(power, t) + log_power(co_power, co_t) - (rate == 0 ? 0 : rate * t);
}

engine_outcome evaluate_tails(const tails_request &request, const std::vector<cut_point> &points,
                              const std::vector<std::size_t> &slot, double *P, double *err)
{
    engine_outcome outcome;
    if (points.empty()) return outcome;
    try {
        evaluator first(request.model, request.interrupt, 1);
        // The second evaluation only when err is asked for.
        std::unique_ptr<evaluator> second;
        if (err) second.reset(new evaluator(request.model, request.interrupt, second_rule_panel_scale));
        for (std::size_t i = 0; i < points.size(); i++) {
            first.work().poll();
            const extended log_value = requested_log(first.domain(points[i], request.largest), request);
            extended second_log = 0;
            if (second) second_log = requested_log(second->domain(points[i], request.largest), request);
            write_point(request, log_value, second ? &second_log : nullptr, &P[slot[i]],
                        err ? &err[slot[i]] : nullptr);
        }
    } catch (const interrupted_error &) {
        outcome.status = engine_status::interrupted;
        outcome.message = "interrupted";
    } catch (const std::bad_alloc &) {
        outcome.status = engine_status::out_of_memory;
        outcome.message = "out of memory";
    } catch (const std::exception &e) {
        outcome.status = engine_status::numerical_failure;
        outcome.message = std::string("numerical failure: ") + e.what();
    }
    return outcome;
}

} // namespace extreme_eig
} // namespace matrixhyper
