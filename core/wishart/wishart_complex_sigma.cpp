// wishart_complex_sigma.cpp: extreme eigenvalues of W_m(n, Sigma), complex
// field, any Sigma, integer n >= m. With rates a_i = 1 / sigma_i and
// k_j = n - m + j (j = 1..m),
//   P(lambda_max <= x) = det[L_j(a_i)] / det[D_j(a_i)],
//   P(lambda_min >  x) = det[U_j(a_i)] / det[D_j(a_i)],
//   L_j(a) = a^-k_j P(k_j, a x),  U_j(a) = a^-k_j Q(k_j, a x),  D_j = L_j + U_j,
// P and Q the regularised incomplete gamma functions. Rows are replaced by
// cluster-wise divided differences (alternant.h), the same for the three
// matrices, so the Vandermonde of the rates cancels. The other tail of each
// is 1 - det(I - D^-1 C), C the other matrix, formed without cancellation.
// Derivation and accuracy: docs/wishart_complex_sigma.md.
#include "wishart_complex_sigma.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

// GCC's -Warray-bounds misreads the fixed-size limb arrays of cpp_bin_float
// above 128 bits (a false positive inside Boost's headers, from their
// instantiation here): silenced for this file only.
#pragma GCC diagnostic ignored "-Warray-bounds"
#include <boost/math/special_functions/expm1.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <boost/math/special_functions/log1p.hpp>

#include "alternant.h"
#include "precision_ladder.h"
#include "interrupt_countdown.h"

namespace matrixhyper {
namespace {

// The determinants lose digits to the Vandermonde-like conditioning of the
// rows even when eliminated as factor() does (about 10 decimal digits at
// m = 32 with Sigma over two decades, more as the rates crowd without
// coinciding): each point is evaluated at two precisions of this ladder
// and the difference is its err; a point whose err misses tol climbs one
// rung.
using precision_ladder::rung_bits;
using precision_ladder::rung_count;
using precision_ladder::top_float;

constexpr double unit_roundoff = std::numeric_limits<double>::epsilon() / 2;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// A cluster's span times the scale of its functions' derivatives stays below
// this, so that its Taylor terms fall by a factor 8 or more each (the
// factor 2 between is the bound on complete homogeneous polynomials).
constexpr double cluster_span_scale = 1.0 / 16;
constexpr double taylor_decay = 1.0 / 8;
// Interrupt polls: once per this many terms of the incomplete gamma sums.
constexpr int poll_interval = 1 << 14;

// What the route needs of a request, independent of x.
struct plan {
    int m = 1, n = 1;
    bool largest = true;
    bool direct = true;                 // the tail asked for is det(B) / det(D)
    bool log_result = false;
    double tol = 1e-10;
    std::vector<double> rates;          // 1 / sigma_i rounded, ascending: for grouping only
    std::vector<double> sigma;          // the sigma_i in the order of rates: the exact rates
    std::vector<alternant::cluster> clusters;
};

plan make_plan(const wishart_cdf_request &request)
{
    plan p;
    p.m = request.m;
    p.n = (int)request.n;
    p.largest = request.which == wishart_extreme::largest;
    const bool lower = request.tail == wishart_tail::lower;
    p.direct = p.largest == lower;      // P(max <= x) and P(min > x) are the ratios
    p.log_result = request.log_result;
    p.tol = request.tol;
    p.sigma = request.sigma.empty() ? std::vector<double>(p.m, 1.0) : request.sigma;
    std::sort(p.sigma.begin(), p.sigma.end(), [](double a, double b) { return a > b; });
    for (double value : p.sigma) p.rates.push_back(1 / value);
    // The Taylor coefficient of order r at centre c grows from order r - 1 by
    // at most (k + r) / ((r + 1) c) <= (n + order) / c.
    const int order_bound = alternant::taylor_order(p.m, taylor_decay, rung_bits[rung_count - 1]);
    const double derivative_orders = p.n + order_bound;
    p.clusters = alternant::group_nodes(
        p.rates, [&](double centre) { return cluster_span_scale * centre / derivative_orders; });
    return p;
}

// Taylor order of a cluster at a precision: a lone rate needs its value only.
int cluster_order(const alternant::cluster &cluster, int bits)
{
    return cluster.count == 1 ? 1 : alternant::taylor_order(cluster.count, taylor_decay, bits);
}

// 1 / b! for the incomplete gamma terms, once per precision (b = n - m).
template <class Real>
Real inverse_factorial(int b)
{
    Real value = 1;
    for (int l = 2; l <= b; l++) value /= l;
    return value;
}

// y^b by squaring: Boost's log at these precisions costs as much as a
// thousand products.
template <class Real>
Real integer_power(Real y, int b)
{
    Real value = 1;
    for (; b > 0; b >>= 1, y *= y)
        if (b & 1) value *= y;
    return value;
}

// Regularised incomplete gammas P(k, y), Q(k, y) for k_low <= k <= k_high
// (k_low >= 1), from the Poisson terms t_l = e^-y y^l / l!:
// Q(k) = sum_{l<k} t_l, P(k) = sum_{l>=k} t_l, sums of positive terms only
// (P = 1 - Q where Q <= 1/2, no cancellation). False when interrupted.
template <class Real>
bool incomplete_gammas(const Real &y, int k_low, int k_high, const Real &inverse_base_factorial,
                       std::vector<Real> &lower, std::vector<Real> &upper, interrupt_countdown &poll)
{
    using std::exp;
    const int base = k_low - 1;
    const int width = k_high - k_low + 1;
    const Real negligible = std::numeric_limits<Real>::epsilon() / 256;
    const Real base_term = exp(-y) * integer_power(y, base) * inverse_base_factorial;
    // Q(k_low) = sum_{l <= base} t_l, going down from l = base; below l = y
    // the terms fall by l / y each, so once below y/2 a term under
    // negligible * sum bounds the rest.
    Real sum = base_term, term = base_term;
    for (int l = base; l > 0; l--) {
        term = term * l / y;
        sum += term;
        if (l < y / 2 && term <= negligible * sum) break;
        if (poll.step()) return false;
    }
    upper.assign(width, Real(0));
    lower.assign(width, Real(0));
    std::vector<Real> terms(width);          // t_k for k_low <= k <= k_high
    term = base_term;
    for (int i = 0; i < width; i++) {
        upper[i] = sum;
        term = term * y / (k_low + i);
        terms[i] = term;
        sum += term;
    }
    if (upper[width - 1] <= 0.5) {
        for (int i = 0; i < width; i++) lower[i] = 1 - upper[i];
        return true;
    }
    // P(k_high + 1) = sum_{l > k_high} t_l: beyond l = y the terms fall by
    // y / (l + 1), so the rest after t_l is below t_l y / (l + 1 - y).
    Real tail = 0;
    term = terms[width - 1];
    for (long l = k_high + 1;; l++) {
        term = term * y / l;
        tail += term;
        if (l > y && term * y <= negligible * tail * (l + 1 - y)) break;
        if (!(term > 0)) break;                 // vanished, or NaN from a rate beyond range
        if (poll.step()) return false;
    }
    for (int i = width - 1; i >= 0; i--) {
        tail += terms[i];
        lower[i] = upper[i] <= 0.5 ? 1 - upper[i] : tail;
    }
    return true;
}

// The cluster rows of L and U (m by m, row-major, column j for k_j = n - m + 1 + j)
// at x. False when interrupted.
template <class Real>
bool build_rows(const plan &p, double x, int bits, const Real &inverse_base_factorial,
                std::vector<Real> &lower_rows, std::vector<Real> &upper_rows, interrupt_countdown &poll)
{
    const int m = p.m, k_first = p.n - p.m + 1;
    lower_rows.assign((std::size_t)m * m, Real(0));
    upper_rows.assign((std::size_t)m * m, Real(0));
    std::vector<Real> gamma_lower, gamma_upper, taylor_lower, taylor_upper, offsets;
    for (const alternant::cluster &cluster : p.clusters) {
        const int order = cluster_order(cluster, bits);
        // The rates 1 / sigma in Real: rounding them to double would move P
        // by its condition number times 1e-16. A lone rate is its own centre.
        offsets.assign(cluster.count, Real(0));
        Real centre = cluster.count == 1 ? 1 / Real(p.sigma[cluster.first]) : Real(cluster.centre);
        for (std::size_t l = 0; cluster.count > 1 && l < cluster.count; l++)
            offsets[l] = 1 / Real(p.sigma[cluster.first + l]) - centre;
        if (!incomplete_gammas(Real(centre * Real(x)), k_first, p.n + order - 1, inverse_base_factorial,
                               gamma_lower, gamma_upper, poll))
            return false;
        // Taylor coefficients of a^-k P(k, a x) at c, the common factor
        // c^-(n-m+1) of the cluster's rows dropped (it cancels in the ratios):
        // (-1)^r C(k + r - 1, r) c^-(j + r) P(k + r, c x).
        taylor_lower.assign((std::size_t)order * m, Real(0));
        taylor_upper.assign((std::size_t)order * m, Real(0));
        const Real inverse_centre = 1 / centre;
        Real column_power = 1;                                   // c^-j
        for (int j = 0; j < m; j++) {
            const int k = k_first + j;
            Real factor = column_power;                          // (-1)^r C(k+r-1, r) c^-(j+r)
            for (int r = 0; r < order; r++) {
                if (r > 0) factor = -factor * (k + r - 1) / r * inverse_centre;
                taylor_lower[(std::size_t)r * m + j] = factor * gamma_lower[j + r];
                taylor_upper[(std::size_t)r * m + j] = factor * gamma_upper[j + r];
            }
            column_power *= inverse_centre;
        }
        // Clusters in the order of decreasing rates (total positivity, see
        // factor), each cluster's rows in increasing order of differences.
        const std::size_t row = (std::size_t)m - cluster.first - cluster.count;
        alternant::cluster_rows(offsets, taylor_lower, order, m, &lower_rows[row * m]);
        alternant::cluster_rows(offsets, taylor_upper, order, m, &upper_rows[row * m]);
    }
    return true;
}

// LU factors of a square matrix (row-major) with partial pivoting, and its
// determinant.
template <class Real>
struct lu_factors {
    std::vector<Real> factors;
    std::vector<int> pivots;
    Real det = 1;
};

// Factors a matrix whose rows come in the order of decreasing rates (block
// by block, see build_rows). The kernel exp(-a t) t^k is totally positive
// in (-a, k), and so are these matrices (their clusters' rows are limits of
// such rows): elimination without interchanges keeps their digits, where
// partial pivoting, choosing by size, loses about as many as the
// Vandermonde of the rates is ill-conditioned (37 of 38 digits at m = 32
// with rates over two decades). A zero pivot falls back to an interchange.
template <class Real>
void factor(std::vector<Real> matrix, int size, lu_factors<Real> &lu)
{
    using std::abs;
    auto at = [&matrix, size](int i, int j) -> Real & { return matrix[(std::size_t)i * size + j]; };
    lu.pivots.assign(size, 0);
    lu.det = 1;
    for (int k = 0; k < size; k++) {
        int pivot = k;
        for (int i = k + 1; at(pivot, k) == 0 && i < size; i++)
            if (abs(at(i, k)) > abs(at(pivot, k))) pivot = i;
        lu.pivots[k] = pivot;
        if (pivot != k) {
            for (int j = 0; j < size; j++) std::swap(at(k, j), at(pivot, j));
            lu.det = -lu.det;
        }
        lu.det *= at(k, k);
        if (at(k, k) == 0) break;
        for (int i = k + 1; i < size; i++) {
            at(i, k) /= at(k, k);
            for (int j = k + 1; j < size; j++) at(i, j) -= at(i, k) * at(k, j);
        }
    }
    lu.factors = std::move(matrix);
}

// Solves D X = C in place (X into C) from the factors of D (det D != 0).
template <class Real>
void solve(const lu_factors<Real> &lu, std::vector<Real> &C, int size)
{
    auto at = [size](auto &a, int i, int j) -> auto & { return a[(std::size_t)i * size + j]; };
    // The interchanges first: the factors' rows were swapped whole, so the
    // multipliers of step k sit where the later interchanges put them.
    for (int k = 0; k < size; k++)
        if (lu.pivots[k] != k)
            for (int j = 0; j < size; j++) std::swap(at(C, k, j), at(C, lu.pivots[k], j));
    for (int k = 0; k < size; k++) {
        for (int i = k + 1; i < size; i++)
            for (int j = 0; j < size; j++) at(C, i, j) -= at(lu.factors, i, k) * at(C, k, j);
    }
    for (int k = size - 1; k >= 0; k--)
        for (int j = 0; j < size; j++) {
            Real value = at(C, k, j);
            for (int l = k + 1; l < size; l++) value -= at(lu.factors, k, l) * at(C, l, j);
            at(C, k, j) = value / at(lu.factors, k, k);
        }
}

// 1 - det(I - X) for X small: elimination without pivoting on E = -X with
// the identity kept apart, pivots 1 + e_k, so that
// det(I + E) - 1 = expm1(sum log1p(e_k)) carries no cancellation.
// NaN when a pivot is not positive (then X is not small).
template <class Real>
Real one_minus_det_identity_minus(std::vector<Real> &X, int size)
{
    auto at = [&X, size](int i, int j) -> Real & { return X[(std::size_t)i * size + j]; };
    for (Real &value : X) value = -value;
    Real log_det = 0;
    for (int k = 0; k < size; k++) {
        const Real pivot = 1 + at(k, k);
        if (!(pivot > 0)) return Real(nan);
        log_det += boost::math::log1p(at(k, k));
        for (int i = k + 1; i < size; i++) {
            const Real factor = at(i, k) / pivot;
            for (int j = k + 1; j < size; j++) at(i, j) -= factor * at(k, j);
        }
    }
    return -boost::math::expm1(log_det);
}

// The tail asked for at x > 0 at one precision; NaN when the determinants
// break down. False when interrupted.
template <class Real>
bool tail_at(const plan &p, double x, int bits, const Real &inverse_base_factorial, Real &value,
             interrupt_countdown &poll)
{
    std::vector<Real> lower_rows, upper_rows;
    if (!build_rows(p, x, bits, inverse_base_factorial, lower_rows, upper_rows, poll)) return false;
    std::vector<Real> full(lower_rows.size());
    for (std::size_t i = 0; i < full.size(); i++) full[i] = lower_rows[i] + upper_rows[i];
    const std::vector<Real> &direct_rows = p.largest ? lower_rows : upper_rows;
    std::vector<Real> &other_rows = p.largest ? upper_rows : lower_rows;
    lu_factors<Real> direct_lu, full_lu;
    factor(direct_rows, p.m, direct_lu);
    factor(std::move(full), p.m, full_lu);
    const Real ratio = direct_lu.det / full_lu.det;
    if (p.direct) {
        value = ratio;
    } else if (1 - ratio > ldexp(Real(1), -bits / 2)) {
        // 1 - ratio loses fewer than half the digits (none below ratio = 1/2):
        // what it loses shows in the comparison of two precisions.
        value = 1 - ratio;
    } else {
        solve(full_lu, other_rows, p.m);   // X = D^-1 C
        value = one_minus_det_identity_minus(other_rows, p.m);
        // D^-1 C is small when its tail is, unless the rows' basis is so
        // ill-conditioned that a pivot turns: then 1 - ratio, whose
        // cancellation the comparison of two precisions measures.
        if (isnan(value)) value = 1 - ratio;
    }
    return true;
}

// A point's value (or log) and err from two rungs.
struct point_result {
    double value = nan, err = HUGE_VAL;
};

template <class Real>
double to_double(const Real &value)
{
    return value.template convert_to<double>();
}

// log of a positive value of any size, to double accuracy: Boost's log at
// these precisions is slow, and a double keeps the log to 1e-16 relative.
double log_of(const top_float &value)
{
    int exponent = 0;
    const top_float mantissa = frexp(value, &exponent);
    return std::log(to_double(mantissa)) + exponent * std::log(2.0);
}

point_result compare_rungs(const plan &p, const top_float &low, const top_float &high)
{
    point_result result;
    if (high == 0 && low == 0 && !p.log_result) {
        // Both precisions underflowed their exponent range (about 2^-(2^30)):
        // 0 is the double value. Its log is not known, so 'log' gets no value.
        result.value = result.err = 0;
        return result;
    }
    if (!(high > 0) || !(low > 0) || !(high < 2)) return result;   // a breakdown: err stays infinite
    // A probability at 1 may round just above it: the value is clamped, the
    // difference of the rungs still counts.
    const top_float clamped = high > 1 ? top_float(1) : high;
    const top_float difference = abs(high - low);
    if (p.log_result) {
        // |log high - log low| <= |high - low| / min(high, low).
        result.value = log_of(clamped);
        result.err = to_double(difference / (low < high ? low : high)) +
                     unit_roundoff * (1 + std::fabs(result.value));
    } else {
        result.value = to_double(clamped);
        result.err = to_double(difference) + unit_roundoff * result.value;
    }
    return result;
}

bool meets(const plan &p, const point_result &result)
{
    if (p.log_result) return result.err <= p.tol;
    return result.err <= p.tol * result.value || result.err <= std::numeric_limits<double>::denorm_min();
}

// What a call keeps across its points: 1 / b! per rung (computed on first
// use), and the rung the last point started from, where the next starts:
// the points of a call lose about as many digits as each other.
struct ladder_state {
    top_float inverse_base_factorial[rung_count];
    bool ready[rung_count] = {};
    int start = 0;
};

template <class Real>
bool value_in(const plan &p, double x, int rung, ladder_state &state, top_float &value,
              interrupt_countdown &poll)
{
    if (!state.ready[rung]) {
        state.inverse_base_factorial[rung] = top_float(inverse_factorial<Real>(p.n - p.m));
        state.ready[rung] = true;
    }
    Real result;
    if (!tail_at(p, x, rung_bits[rung], Real(state.inverse_base_factorial[rung]), result, poll)) return false;
    value = top_float(result);
    return true;
}

// The tail at one precision of the ladder, as the top rung's type. False
// when interrupted.
bool value_at_rung(const plan &p, double x, int rung, ladder_state &state, top_float &value,
                   interrupt_countdown &poll)
{
    return precision_ladder::at_rung(rung, [&](auto zero) {
        return value_in<decltype(zero)>(p, x, rung, state, value, poll);
    });
}

enum class point_status { ok, interrupted };

// Climbs the precision ladder at one x > 0 from state.start until err meets
// tol or the top rung is reached; a rung's value serves two comparisons.
point_status evaluate_point(const plan &p, double x, ladder_state &state, point_result &result,
                            interrupt_countdown &poll)
{
    top_float low, high;
    int rung = state.start;
    if (!value_at_rung(p, x, rung, state, low, poll)) return point_status::interrupted;
    for (; rung + 1 < rung_count; rung++) {
        if (!value_at_rung(p, x, rung + 1, state, high, poll)) return point_status::interrupted;
        result = compare_rungs(p, low, high);
        if (meets(p, result)) break;
        low = high;
    }
    state.start = std::min(rung, rung_count - 2);
    return point_status::ok;
}

} // namespace

bool complex_sigma_serves(const wishart_cdf_request &request)
{
    return request.field == wishart_field::complex && request.n == std::floor(request.n) &&
           request.n >= request.m && request.m <= wishart_complex_sigma_max_m;
}

wishart_cdf_outcome complex_sigma_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err)
{
    wishart_cdf_outcome outcome;
    outcome.method = "exact";
    const plan p = make_plan(request);
    const bool upper = request.tail == wishart_tail::upper;
    interrupt_countdown poll(request.interrupt, poll_interval);
    ladder_state ladder;
    for (std::size_t i = 0; i < count; i++) {
        double value, e = 0;
        if (std::isnan(x[i])) {
            value = e = nan;
        } else if (x[i] <= 0 || std::isinf(x[i])) {
            value = (x[i] > 0) != upper ? 1 : 0;   // below 0: lower 0, upper 1; +Inf: the reverse
            if (request.log_result) value = std::log(value);
        } else {
            point_result result;
            if (poll.poll() || evaluate_point(p, x[i], ladder, result, poll) == point_status::interrupted) {
                for (std::size_t j = i; j < count; j++) P[j] = nan;
                outcome.status = wishart_cdf_status::interrupted;
                outcome.message = "interrupted";
                return outcome;
            }
            value = result.value;
            e = result.err;
        }
        P[i] = value;
        if (err) err[i] = e;
    }
    return outcome;
}

} // namespace matrixhyper
