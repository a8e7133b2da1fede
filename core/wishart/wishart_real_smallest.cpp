// wishart_real_smallest.cpp: P(lambda_min > x) for a real W_m(n, Sigma) with
// r = (n - m - 1) / 2 a whole number (Khatri 1972; Muirhead, Thm 9.7.3):
//
//   P(lambda_min > x) = etr(-x Y) sum_{k=0}^{m r} sum_{kappa |- k, kappa_1 <= r} C_kappa(x Y) / k!,
//   Y = Sigma^-1 / 2.
//
// With s = tr Y, t = x s and T_k = sum_{kappa |- k, kappa_1 <= r} C_kappa(Y / s),
// the terms are Poisson weights w_k(t) = e^-t t^k / k! times T_k in [0, 1]:
//
//   upper(x) = sum_{k=0}^{m r} w_k T_k,
//   lower(x) = sum_{k=r+1}^{m r} w_k U_k + P(Poisson(t) > m r),  U_k = 1 - T_k,
//
// since every partition of k <= r lies in the box (T_k = 1) and none of k > m r
// does. Both tails are sums of positive terms: each is computed directly,
// in logarithms. One table of T_k (and U_k) serves every x of the call.
// Derivation and reach: docs/wishart_real_smallest.md.
#include "wishart_real_smallest.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "jack_degree_sums.h"
#include "pfq_series.h"
#include "interrupt_countdown.h"

namespace matrixhyper {

namespace {

using extended = long double;
constexpr extended unit_ld = std::numeric_limits<extended>::epsilon() / 2;
constexpr double unit_roundoff = std::numeric_limits<double>::epsilon() / 2;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The table stops before m r once the degrees it has not built can move the
// largest point of the call by at most this share of tol.
constexpr double truncation_share = 1e-3;
// U_k = 1 - T_k is taken from the box table while its bound is within this
// share of tol; beyond it, from a table of every partition up to that degree
// (the lower tail of small x hangs on the smallest U_k).
constexpr double cancellation_share = 1e-2;
// An upper bound on the bytes the Jack tables (core/jack) hold per
// partition, whose row is m values (long double at most) behind an index
// entry, and per degree for the powers of the points: counted with a margin
// (the figures of the table builder the engine replaced), so that the
// memory limit is never passed.
constexpr double bytes_per_partition_row = sizeof(uint16_t) + sizeof(long double);
constexpr double bytes_per_partition = sizeof(int) + 4 * sizeof(int);
constexpr double bytes_per_degree_row = 2 * sizeof(long double);
// Points evaluated between two polls of the interrupt (a point costs a few
// microseconds per hundred degrees).
constexpr int points_between_polls = 256;
// log of the Poisson weight: lgamma and the products round within a few
// units of the magnitudes that enter it.
constexpr extended log_weight_rounding = 8;

// A sum of positive terms given by their logarithms, each with a bound on its
// relative error, plus bounds on what was left out.
class log_sum {
public:
    void add(extended log_term, extended relative)
    {
        terms_.push_back({log_term, relative});
    }
    void add_unknown(extended log_bound) { unknown_.push_back(log_bound); }
    // log of the sum (-inf for no term) and the bound on its relative error.
    void finish(extended &log_value, extended &relative) const
    {
        extended top = -HUGE_VALL;
        for (const term &t : terms_) top = std::max(top, t.log_value);
        if (!(top > -HUGE_VALL)) {
            log_value = -HUGE_VALL;
            relative = unknown_.empty() ? 0 : HUGE_VALL;
            return;
        }
        extended sum = 0, error = 0;
        for (const term &t : terms_) {
            const extended scaled = std::exp(t.log_value - top);
            sum += scaled;
            error += scaled * t.relative;
        }
        for (extended bound : unknown_) error += std::exp(bound - top);
        log_value = top + std::log(sum);
        // Each scaled term rounds in its exponential (a few units of its
        // exponent) and the plain sum by at most the number of terms.
        relative = error / sum + (terms_.size() + 4 + 2 * std::fabs(top)) * unit_ld;
    }
private:
    struct term { extended log_value, relative; };
    std::vector<term> terms_;
    std::vector<extended> unknown_;
};

// log of the Poisson weight e^-t t^k / k! and its relative error bound.
extended log_weight(int k, extended t, extended &relative)
{
    const extended log_t = std::log(t), log_factorial = std::lgamma((extended)k + 1);
    relative = log_weight_rounding * unit_ld * (t + k * std::fabs(log_t) + log_factorial + 1);
    return -t + k * log_t - log_factorial;
}

// log P(Poisson(t) > K) and its relative error bound, without cancellation.
extended log_poisson_above(int K, extended t, extended &relative)
{
    extended first_rel;
    if (t <= K + 1) {
        // The weights from K + 1 on, each the last times t / j < 1: stop once
        // the ratio is at most 1/2 and the term below the sum's rounding (the
        // rest is then at most that term).
        const extended log_first = log_weight(K + 1, t, first_rel);
        extended term = 1, sum = 0;
        long long steps = 0;
        for (long long j = K + 2;; j++, steps++) {
            sum += term;
            const extended ratio = t / j;
            term *= ratio;
            if (ratio <= 0.5L && term <= unit_ld * sum) break;
        }
        relative = first_rel + (2 * steps + 4) * unit_ld;
        return log_first + std::log(sum);
    }
    // Beyond the mean, P(Poisson(t) <= K) is at most about 1/2: its
    // complement loses nothing. The weights from K down, each the last times
    // k / t < 1.
    extended log_top_rel;
    const extended log_top = log_weight(K, t, log_top_rel);
    extended term = 1, sum = 0;
    for (int k = K; k >= 0; k--) {
        sum += term;
        term *= k / t;
    }
    const extended at_most = std::exp(log_top) * sum;
    const extended at_most_error = at_most * (log_top_rel + (2 * (extended)K + 4) * unit_ld);
    const extended above = 1 - at_most;
    relative = (at_most_error + unit_ld) / above;
    return std::log1p(-at_most);
}

// Box partitions by size up to degree `last`: the coefficients of the
// Gaussian binomial [m + r, m]_q = prod_{i=1}^m (1 - q^{r+i}) / (1 - q^i)
// (both steps only read lower degrees, so the truncation is exact; counts
// beyond double's range come out Inf or NaN).
std::vector<double> box_partitions_by_size(int m, int r, int last)
{
    std::vector<double> c(last + 1, 0);
    c[0] = 1;
    for (int i = 1; i <= m; i++) {
        for (int k = last; k >= r + i; k--) c[k] -= c[k - r - i];   // times 1 - q^{r+i}
        for (int k = i; k <= last; k++) c[k] += c[k - i];           // over 1 - q^i
    }
    return c;
}

// Largest degree (up to `last`) whose box table fits the memory limit.
int degree_within_memory(const wishart_cdf_request &request, int r, int last)
{
    const int full = last;
    if (request.memory_limit == 0) return full;
    const std::vector<double> counts = box_partitions_by_size(request.m, r, last);
    const double per = bytes_per_partition + request.m * bytes_per_partition_row;
    double partitions = 0, triangle = 0;
    for (int k = 0; k <= full; k++) {
        partitions += counts[k];
        triangle += (k + 1) * (double)sizeof(long double);
        const double bytes = partitions * per + triangle + (k + 1) * request.m * bytes_per_degree_row;
        if (!(bytes <= (double)request.memory_limit)) return k - 1;
    }
    return full;
}

int resolved_threads(int threads)
{
    if (threads <= 0) threads = (int)std::thread::hardware_concurrency();
    return std::min(std::max(threads, 1), pfq_detail::most_series_threads);
}

struct table_plan {
    std::vector<extended> y;       // Sigma^-1 / 2, normalised to trace 1
    extended trace = 0;            // s = tr(Sigma^-1) / 2
    extended largest_t = 0;        // s times the largest finite x of the call
    bool upper = false;
    double tol = 0;
};

// Both tails at t from the degrees built; relative errors include the
// degrees not built.
struct tail_pair {
    extended log_upper = 0, upper_rel = 0, log_lower = 0, lower_rel = 0;
};

tail_pair evaluate(const zonal_table &table, extended t, bool want_upper, bool want_lower)
{
    tail_pair value;
    const int r = table.r, K = table.degree, full = table.full_degree();
    log_sum upper, lower;
    for (int k = 0; k <= K; k++) {
        extended weight_rel;
        const extended log_w = log_weight(k, t, weight_rel);
        if (want_upper) upper.add(log_w + std::log(table.within[k]), weight_rel + table.within_rel[k]);
        if (want_lower && k > r && table.beyond[k] > 0)
            lower.add(log_w + std::log(table.beyond[k]), weight_rel + table.beyond_rel[k]);
    }
    extended rest_rel;
    if (want_lower) {
        const extended log_rest = log_poisson_above(full, t, rest_rel);
        lower.add(log_rest, rest_rel);
    }
    if (K < full) {                       // each unbuilt degree adds w_k times at most 1
        const extended log_unbuilt = log_poisson_above(K, t, rest_rel);
        upper.add_unknown(log_unbuilt + std::log1p(rest_rel));
        lower.add_unknown(log_unbuilt + std::log1p(rest_rel));
    }
    if (want_upper) upper.finish(value.log_upper, value.upper_rel);
    if (want_lower) lower.finish(value.log_lower, value.lower_rel);
    return value;
}

// Appends degree k of the box table; U_k from the cancellation 1 - T_k,
// replaced later where it loses too much.
void append_box_degree(zonal_table &table, const pfq_detail::jack_box_degree &d)
{
    const bool all_in_box = d.degree <= table.r;        // T_k = 1 exactly
    const extended t = all_in_box ? 1 : d.within;
    const extended t_rel = all_in_box ? 0 : d.relative_rounding;
    table.within.push_back(t);
    table.within_rel.push_back(t_rel);
    const extended u = 1 - t, u_error = t * t_rel + unit_ld;
    if (all_in_box) {
        table.beyond.push_back(0);
        table.beyond_rel.push_back(0);
    } else if (u > u_error) {
        table.beyond.push_back(u);
        table.beyond_rel.push_back(u_error / u);
    } else {                                            // U_k lies in [0, 2 u_error]
        table.beyond.push_back(u_error);
        table.beyond_rel.push_back(1);
    }
}

const char *stop_reason(pfq_detail::jack_box_stop stop)
{
    switch (stop) {
    case pfq_detail::jack_box_stop::work_limit: return "work limit (some 20 s of table)";
    case pfq_detail::jack_box_stop::out_of_memory: return "out of memory";
    case pfq_detail::jack_box_stop::overflow: return "overflow";
    default: return "";
    }
}

// True when the table serves every point of the plan: complete, or the
// degrees it has not built add at most P(Poisson(t) > degree), within a
// share of tol of the tail at the largest t (where the share is largest for
// either tail).
bool degrees_suffice(const zonal_table &table, const table_plan &plan)
{
    if (table.degree == table.full_degree()) return true;
    const tail_pair at_largest = evaluate(table, plan.largest_t, plan.upper, !plan.upper);
    extended unbuilt_rel;
    const extended log_unbuilt = log_poisson_above(table.degree, plan.largest_t, unbuilt_rel);
    const extended log_tail = plan.upper ? at_largest.log_upper : at_largest.log_lower;
    return std::exp(log_unbuilt - log_tail) <= plan.tol * truncation_share;
}

// The box table, degree by degree, stopped once the unbuilt degrees no
// longer matter at the call's largest point. False when interrupted.
bool build_box_table(const wishart_cdf_request &request, const table_plan &plan, zonal_table &table,
                     long long &work_left)
{
    table.within.assign(1, 1);
    table.within_rel.assign(1, 0);
    table.beyond.assign(1, 0);
    table.beyond_rel.assign(1, 0);
    if (table.full_degree() == 0) return true;
    // Parts and degrees are 16-bit numbers in the tables.
    const int last = std::min(table.full_degree(), pfq_detail::largest_table_degree);
    pfq_detail::jack_box_request box;
    box.y = plan.y;
    box.largest_part = table.r;
    box.split_part = table.r;
    box.max_degree = degree_within_memory(request, table.r, last);
    box.interrupt = request.interrupt;
    box.threads = resolved_threads(request.threads);
    box.work_left = &work_left;
    const auto on_degree = [&](const pfq_detail::jack_box_degree &d) {
        append_box_degree(table, d);
        table.degree = d.degree;
        return !degrees_suffice(table, plan);
    };
    const pfq_detail::jack_box_stop stop = pfq_detail::jack_box_sums(box, on_degree);
    if (stop == pfq_detail::jack_box_stop::interrupted) return false;
    if (table.degree < table.full_degree() && stop != pfq_detail::jack_box_stop::stopped) {
        const std::string why = stop != pfq_detail::jack_box_stop::finished ? stop_reason(stop)
                                : box.max_degree < last ? "memory limit"
                                                        : "the tables' largest degree";
        const double partitions = std::exp(std::lgamma(table.m + table.r + 1.0) -   // C(m + r, m)
                                           std::lgamma(table.m + 1.0) - std::lgamma(table.r + 1.0));
        char count_text[32];
        std::snprintf(count_text, sizeof count_text, "%.3g", partitions);
        table.shortfall = std::string("the zonal table (") + count_text +
                          " partitions to degree m r = " + std::to_string(table.full_degree()) +
                          ") stopped at degree " + std::to_string(table.degree) + ": " + why;
    }
    return true;
}

// U_k for the low degrees directly, from every partition of k (those with
// kappa_1 > r), where 1 - T_k lost too much. False when interrupted.
bool refine_complements(const wishart_cdf_request &request, const table_plan &plan,
                        zonal_table &table, long long &work_left)
{
    int last_poor = 0;
    for (int k = table.r + 1; k <= table.degree; k++)
        if (table.beyond_rel[k] > plan.tol * cancellation_share) last_poor = k;
    if (last_poor == 0) return true;
    if (pfq_detail::count_partitions(request.m, last_poor) > pfq_detail::table_partition_budget)
        return true;                                     // beyond reach: the bounds stay honest
    if (request.memory_limit > 0 &&
        pfq_detail::table_bytes(request.m, last_poor, false, false) > (long double)request.memory_limit)
        return true;
    pfq_detail::jack_box_request every;
    every.y = plan.y;
    every.largest_part = last_poor;
    every.split_part = table.r;
    every.max_degree = last_poor;
    every.interrupt = request.interrupt;
    every.threads = resolved_threads(request.threads);
    every.work_left = &work_left;
    const auto on_degree = [&](const pfq_detail::jack_box_degree &d) {
        if (d.degree > table.r && d.beyond > 0 && d.relative_rounding < table.beyond_rel[d.degree]) {
            table.beyond[d.degree] = d.beyond;
            table.beyond_rel[d.degree] = d.relative_rounding;
        }
        return true;
    };
    return pfq_detail::jack_box_sums(every, on_degree) != pfq_detail::jack_box_stop::interrupted;
}

// True when a kept table was built for this distribution and serves the
// plan's points: enough degrees, or as many as the limits allowed (a second
// build would stop at the same place).
bool table_serves(const zonal_table &table, const wishart_cdf_request &request, const table_plan &plan)
{
    const bool same = table.m == request.m && table.r == (int)((request.n - request.m - 1) / 2) &&
                      table.sigma == request.sigma && !table.within.empty();
    return same && (!table.shortfall.empty() || degrees_suffice(table, plan));
}

// The table the plan needs, kept or built (with the complements the lower
// tail needs). False when interrupted.
bool prepare_table(const wishart_cdf_request &request, const table_plan &plan, zonal_table &table)
{
    long long work_left = pfq_detail::automatic_table_work;
    if (!table_serves(table, request, plan)) {
        table = zonal_table();
        table.m = request.m;
        table.r = (int)((request.n - request.m - 1) / 2);
        table.sigma = request.sigma;
        if (!build_box_table(request, plan, table, work_left)) return false;
    }
    if (plan.upper || table.complements_refined) return true;
    table.complements_refined = refine_complements(request, plan, table, work_left);
    return table.complements_refined;
}

// One point's tail as P (or log P) and err.
void finish_point(const wishart_cdf_request &request, extended log_p, extended rel, double &p,
                  double &e)
{
    log_p = std::min(log_p, (extended)0);                // P <= 1: clamping only reduces the error
    if (request.log_result) {
        p = (double)log_p;
        e = (double)(rel + rel * rel) + unit_roundoff * std::fabs(p);  // |log(1 + d)| <= d + d^2 for d <= 1/2
        if (!(rel <= 0.5L)) e = HUGE_VAL;
        return;
    }
    p = (double)std::exp(log_p);
    e = (double)(std::exp(log_p) * rel) + unit_roundoff * p;
    if (p == 0 && e == 0) e = std::numeric_limits<double>::denorm_min();   // both underflow
    if (std::isnan(e)) e = HUGE_VAL;
}

} // namespace

bool real_smallest_serves(const wishart_cdf_request &request)
{
    const double twice_r = request.n - request.m - 1;
    return twice_r >= 0 && twice_r == std::floor(twice_r) && std::fmod(twice_r, 2.0) == 0;
}

wishart_cdf_outcome real_smallest_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err, zonal_table *kept)
{
    wishart_cdf_outcome outcome;
    outcome.method = "zonal";
    zonal_table own;
    zonal_table &table = kept ? *kept : own;
    table_plan plan;
    plan.upper = request.tail == wishart_tail::upper;
    plan.tol = request.tol;
    for (int i = 0; i < request.m; i++) {
        const extended half_precision = 1 / (2 * (extended)(request.sigma.empty() ? 1 : request.sigma[i]));
        plan.y.push_back(half_precision);
        plan.trace += half_precision;
    }
    for (extended &value : plan.y) value /= plan.trace;
    for (std::size_t i = 0; i < count; i++)
        if (x[i] > 0 && std::isfinite(x[i])) plan.largest_t = std::max(plan.largest_t, x[i] * plan.trace);
    // No point inside (0, Inf): nothing needs the table (a call with no
    // points checks the request only).
    if (plan.largest_t > 0 && !prepare_table(request, plan, table)) {
        table = zonal_table();                           // part-built: not to be kept
        outcome.status = wishart_cdf_status::interrupted;
        outcome.message = "interrupted";
        return outcome;
    }
    outcome.message = table.shortfall;
    interrupt_countdown countdown(request.interrupt, points_between_polls);
    for (std::size_t i = 0; i < count; i++) {
        if (countdown.step()) {
            outcome.status = wishart_cdf_status::interrupted;
            outcome.message = "interrupted";
            return outcome;
        }
        double p, e = 0;
        if (std::isnan(x[i])) {
            p = e = nan;
        } else if (x[i] <= 0 || std::isinf(x[i])) {
            p = (x[i] > 0) != plan.upper ? 1 : 0;        // below 0: lower 0, upper 1; +Inf: the reverse
            if (request.log_result) p = std::log(p);
        } else {
            const tail_pair value = evaluate(table, x[i] * plan.trace, plan.upper, !plan.upper);
            finish_point(request, plan.upper ? value.log_upper : value.log_lower,
                         plan.upper ? value.upper_rel : value.lower_rel, p, e);
        }
        P[i] = p;
        if (err) err[i] = e;
    }
    return outcome;
}

} // namespace matrixhyper
