// wishart_holonomic.cpp: P(lambda_max <= x) of a real W_m(n, Sigma) along a
// curve of x, by the holonomic gradient method (docs/wishart_holonomic.md):
// P = K det(x S)^a F(x), F(t) = 1F1(a; c; -t S), S = Sigma^-1 / 2, a = n/2,
// c = (n + m + 1)/2, with F integrated along the ray (holonomic_ray.h). The
// upper tail far below 1 comes from the integral of the density, carried by
// the system with its one solution that does not decay projected out.
#include "wishart_holonomic.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include <boost/math/special_functions/gamma.hpp>

#include "holonomic_ray.h"
#include "wishart_holonomic_split.h"
#include "wishart_tol.h"

namespace matrixhyper {

namespace {

constexpr double unit_roundoff = std::numeric_limits<double>::epsilon() / 2;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// Beyond the x where the union bound on the upper tail
// sum_i P(chi2_n > x / (m sigma_i)) falls below this, P is 1 to double
// precision: the lower tail is 1 there with that bound as err, and the ray
// stops before it (the steps grow with x).
constexpr double negligible_tail = 1e-18;

// Boost's gamma_q raises where a Gamma(a) of its intermediate steps
// overflows (n near 1e5 with x / sigma tiny, where Q is 1); taken as
// infinity, the overflow gives that limit.
using quiet_overflow =
    boost::math::policies::policy<boost::math::policies::overflow_error<boost::math::policies::ignore_error>>;

double union_tail_bound(const wishart_cdf_request &request, double x)
{
    double bound = 0;
    for (int i = 0; i < request.m; i++) {
        const double sigma = request.sigma.empty() ? 1.0 : request.sigma[i];
        bound += boost::math::gamma_q(request.n / 2, x / (2 * request.m * sigma), quiet_overflow());
    }
    return bound;
}

// The request with Sigma's own eigenvalues, sigma_i e^(-x_i), where its
// merged ones come with log offsets: the bounds below take them (the
// merged AR(1) 0.1 at m = 10, one cluster 40% wide, put the union bound at
// its cutoff 4e6 times below the own eigenvalues' one).
wishart_cdf_request own_sigma(const wishart_cdf_request &request, const std::vector<double> *log_offsets)
{
    wishart_cdf_request own = request;
    if (log_offsets)
        for (std::size_t i = 0; i < own.sigma.size(); i++) own.sigma[i] *= std::exp(-(*log_offsets)[i]);
    return own;
}

// The first x (doubling from `from`) where the union bound on the upper tail
// is negligible.
double negligible_from(const wishart_cdf_request &request, double from)
{
    double x = std::max(from, 1.0);
    for (int doubling = 0; doubling < 2100 && union_tail_bound(request, x) > negligible_tail; doubling++)
        x *= 2;
    return x;
}

// The absolute err of 1 - P in the bulk (up to 2e-12 measured at m = 10):
// the upper tail takes it where Q is at least this over tol. Q is taken as
// its lower bound below, so that this only decides the points that go to
// the integral of the density first.
constexpr double one_minus_p_err = 1e-12;
// Q(x) >= P(sigma_max chi2_n > x): lambda_max is at least u' W u for the top
// eigenvector u of Sigma.
double upper_tail_floor(const wishart_cdf_request &request, double x)
{
    const double top = request.sigma.empty() ? 1.0 : *std::max_element(request.sigma.begin(), request.sigma.end());
    return boost::math::gamma_q(request.n / 2, x / (2 * top), quiet_overflow());
}

// Q, of relative error `relative`, as the request's tail and its err.
void write_from_upper_tail(const wishart_cdf_request &request, double Q, double log_Q, double relative,
                           double *P, double *e)
{
    if (request.tail == wishart_tail::lower) {   // 1 - Q, to its rounding
        const double absolute = relative * Q + unit_roundoff;
        *P = request.log_result ? std::log1p(-Q) : 1 - Q;
        *e = request.log_result ? absolute / (1 - Q) : absolute;
        return;
    }
    // A Q below double's normal range carries the subnormals' spacing.
    const double spacing = Q < DBL_MIN ? std::numeric_limits<double>::denorm_min() : 0;
    *P = request.log_result ? log_Q : Q;
    *e = request.log_result ? relative : relative * Q + spacing;
}

// The lower tail from 1 - Q where F's runs gave it above this: 1 - Q
// carries Q's relative error (some 1e-12) times Q, which tol times P
// covers only where P is not small.
constexpr double lower_tail_from_density = 0.5;

// The points where P of either tail missed tol, from the integral of the
// density by the projected system (docs/wishart_holonomic.md, "The upper
// tail"): each keeps the better of the two values. `ray` carries the
// request's system, `order` the points by increasing x. The lower tail
// takes 1 - Q where P lies near 1, past what F's runs carry (AR(1) Sigma
// of 0.1 at m = 10: P = 1 - 2e-35 from them with err 3.4e-10).
holonomic_ray_state density_tail(const wishart_cdf_request &request, holonomic_ray_request ray, const double *x,
                                 const std::vector<std::size_t> &order, double *P, double *err, bool *abandoned,
                                 double *budget_used)
{
    std::vector<std::size_t> missed;
    for (std::size_t i : order) {
        if (wishart_meets_tol(request, P[i], err[i])) continue;
        const double lower = request.log_result ? std::exp(P[i]) : P[i];
        if (request.tail == wishart_tail::lower && !(lower > lower_tail_from_density)) continue;
        missed.push_back(i);
    }
    if (missed.empty()) return holonomic_ray_state::done;
    ray.targets.clear();
    for (std::size_t i : missed) ray.targets.push_back(x[i]);
    ray.want_err = true;
    const holonomic_ray_complements Q = holonomic_ray_complement(ray);
    if (Q.state != holonomic_ray_state::done) return Q.state;   // the double values stand
    *abandoned = *abandoned || Q.abandoned;
    *budget_used += Q.budget_used;
    for (std::size_t k = 0; k < missed.size(); k++) {
        const double relative = Q.relative_err[k] + unit_roundoff;
        if (!(relative < 1)) continue;                // NaN included
        if (request.tail == wishart_tail::lower && !(Q.complement[k] < 1)) continue;
        double value, e;
        write_from_upper_tail(request, Q.complement[k], Q.log_complement[k], relative, &value, &e);
        const std::size_t i = missed[k];
        if (e < err[i] || std::isnan(err[i])) {
            P[i] = value;
            err[i] = e;
        }
    }
    return holonomic_ray_state::done;
}

struct point_result {
    double log_lower = nan, log_err = HUGE_VAL;
};

wishart_cdf_outcome failure(wishart_cdf_status status, const char *message)
{
    wishart_cdf_outcome outcome;
    outcome.status = status;
    outcome.method = "holonomic";
    outcome.message = message;
    return outcome;
}

} // namespace

bool holonomic_integrates_lower(const wishart_cdf_request &request)
{
    return request.which == wishart_extreme::largest;
}

void holonomic_write_point(const wishart_cdf_request &request, bool lower, double log_tail, double log_err,
                           double *P, double *err)
{
    point_result value;
    value.log_lower = log_tail;
    value.log_err = log_err;
    const bool upper = (request.tail == wishart_tail::upper) == lower;   // the other tail: the complement
    const double log_p = std::fmin(value.log_lower, 0.0);
    const double p = std::exp(log_p);
    double e = p * std::expm1(value.log_err) + unit_roundoff * p;
    if (std::isnan(e) || std::isnan(p)) e = HUGE_VAL;
    double result;
    if (!upper) {
        result = request.log_result ? log_p : p;
        if (request.log_result) e = value.log_err + unit_roundoff * std::fabs(log_p);
    } else {
        // 1 - P: its absolute error is P's (docs/wishart_holonomic.md: the
        // largest eigenvalue's upper tail solves the same system but
        // decays, so the ray does not carry it; the smallest eigenvalue's
        // lower tail vanishes at 0 among solutions that do not).
        const double q = 1 - p;
        e += unit_roundoff;
        result = q;
        if (request.log_result) {
            e = q > 0 ? e / q : HUGE_VAL;
            result = std::log(q);
        }
    }
    if (std::isnan(value.log_lower)) result = nan;
    *P = result;
    if (err) *err = e;
}

bool holonomic_off_ray(const wishart_cdf_request &request, double x, double *P, double *err)
{
    const bool upper = request.tail == wishart_tail::upper;
    if (std::isnan(x)) {
        *P = nan;
        if (err) *err = nan;
    } else if (x <= 0 || std::isinf(x)) {
        const double p = (x > 0) != upper ? 1 : 0;
        *P = request.log_result ? std::log(p) : p;
        if (err) *err = 0;
    } else {
        return false;
    }
    return true;
}

bool holonomic_ray_serves(const wishart_cdf_request &request)
{
    if (request.field != wishart_field::real) return false;
    if (request.m > holonomic_max_m || !(request.n > request.m - 1)) return false;
    if (request.sigma.empty()) return request.m == 1;
    // Rates 1 / (2 sigma) outside the normal range make the start singular:
    // the series takes such a Sigma.
    for (double sigma : request.sigma)
        if (!(1 / (2 * sigma) >= std::numeric_limits<double>::min()) || !std::isfinite(1 / (2 * sigma)))
            return false;
    const auto extremes = std::minmax_element(request.sigma.begin(), request.sigma.end());
    if (*extremes.second > holonomic_max_condition * *extremes.first) return false;
    std::vector<double> distinct;
    std::vector<int> multiplicity;
    for (double sigma : request.sigma) {
        const auto seen = std::find(distinct.begin(), distinct.end(), sigma);
        if (seen != distinct.end()) {
            multiplicity[seen - distinct.begin()]++;   // equal ones: the confluent system
            continue;
        }
        for (double other : distinct)
            if (std::fabs(sigma - other) < holonomic_min_gap * std::max(sigma, other)) return false;
        distinct.push_back(sigma);
        multiplicity.push_back(1);
    }
    if ((int)distinct.size() == request.m) return true;
    std::size_t entries = 1;
    for (int size : multiplicity) entries *= std::size_t(size + 1);
    return entries <= confluent_most_entries;
}

merged_sigma merge_close(const wishart_cdf_request &request, double gap)
{
    merged_sigma merged{request, 0, std::vector<double>(request.sigma.size(), 0.0)};
    std::vector<double> &sigma = merged.request.sigma;
    std::vector<std::size_t> order(sigma.size());
    for (std::size_t i = 0; i < order.size(); i++) order[i] = i;
    std::sort(order.begin(), order.end(), [&sigma](std::size_t p, std::size_t q) { return sigma[p] < sigma[q]; });
    for (std::size_t k = 0; k < order.size();) {
        std::size_t end = k + 1;
        while (end < order.size() && sigma[order[end]] - sigma[order[end - 1]] < gap * sigma[order[end]]) end++;
        if (end - k > 1) {
            double rates = 0;   // their common rate: the mean of theirs
            for (std::size_t q = k; q < end; q++) rates += 0.5 / sigma[order[q]];
            const double common = 0.5 / (rates / double(end - k));
            merged.width = std::max(merged.width, (sigma[order[end - 1]] - sigma[order[k]]) / sigma[order[end - 1]]);
            for (std::size_t q = k; q < end; q++) {
                merged.log_offsets[order[q]] = std::log(common / sigma[order[q]]);
                sigma[order[q]] = common;
            }
        }
        k = end;
    }
    return merged;
}

namespace {

// Whether two of Sigma's eigenvalues are equal: the confluent system.
bool has_repeated(const wishart_cdf_request &request)
{
    std::vector<double> sorted = request.sigma;
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
}

// The ray's request for the system of 1F1(n/2; (n + m + 1)/2; -t S),
// S = Sigma^-1 / 2, without its targets.
holonomic_ray_request system_request(const wishart_cdf_request &request, double work_share, bool extended,
                                     bool want_err)
{
    holonomic_ray_request ray;
    ray.a = request.n / 2;
    ray.c = (request.n + request.m + 1) / 2;
    for (int i = 0; i < request.m; i++) ray.s.push_back(0.5 / (request.sigma.empty() ? 1.0 : request.sigma[i]));
    ray.want_err = want_err;
    ray.threads = request.threads;
    ray.memory_limit = request.memory_limit;
    ray.interrupt = request.interrupt;
    ray.work_share = work_share;
    ray.extended = extended;
    return ray;
}

// The outcome of a ray that did not finish.
bool ray_failed(const holonomic_ray_values &values, wishart_cdf_outcome *outcome)
{
    switch (values.state) {
    case holonomic_ray_state::out_of_memory:
        *outcome = failure(wishart_cdf_status::out_of_memory, values.message.c_str());
        return true;
    case holonomic_ray_state::singular_start:
        *outcome = failure(wishart_cdf_status::numerical_failure, values.message.c_str());
        return true;
    case holonomic_ray_state::interrupted:
        *outcome = failure(wishart_cdf_status::interrupted, "interrupted");
        return true;
    case holonomic_ray_state::done: break;
    }
    return false;
}

constexpr const char *beyond_budget = "the integration along the ray needs more than its work limit (Sigma's "
                                      "eigenvalues too far apart for such x)";

// Points of the smallest eigenvalue that miss tol run again in more bits,
// each with what the work budget has left, each point keeping the better
// value. The lower tail 1 - P(lambda_min > x) is carried to the run's
// rounding in absolute terms: lower-tail points go to the wide type first
// (a pair of doubles, 106 bits; a step some 11 times a double one), which
// takes it to some 1e-28, unless long double serves the accuracy they need;
// long double (4 times) then serves what is left, the upper tail's points
// included, to some 1e-16 absolute (its two runs' difference, the coarse
// one's truncation).
enum class smallest_pass { first, wide, extended };
// The absolute accuracy of the lower tail that the long double pass gives
// with a margin: points that need no better skip the wide pass (a curve at
// m = 6: 0.16 s against 0.39 s, the same values).
constexpr double extended_lower_tail_reach = 1e-15;
// The share of tol the retries resolve the lower tail to: the first run's
// value of it may be off by its err.
constexpr double accuracy_share = 0.1;

// The absolute accuracy of 1 - P(lambda_min > x) that the points still
// missing tol need: a tenth of tol times the least of their lower tails as
// the first run gave them (0, the run's own, for the upper tail, which is
// relative throughout, or where the first run gave no lower tail). The
// longer runs start and end no farther out than it needs.
double lower_tail_accuracy(const wishart_cdf_request &request, const std::vector<std::size_t> &points,
                           const double *P)
{
    if (request.tail != wishart_tail::lower) return 0;
    double least = HUGE_VAL;
    for (std::size_t i : points) {
        const double lower = request.log_result ? std::exp(P[i]) : P[i];
        if (!(lower > 0)) return 0;
        least = std::min(least, lower);
    }
    return accuracy_share * request.tol * least;
}

// One point of the smallest eigenvalue from a run: the upper tail from
// log P, the lower from the run's complement.
void write_smallest_point(const wishart_cdf_request &request, const holonomic_ray_values &run, std::size_t k,
                          double *P, double *err)
{
    if (request.tail == wishart_tail::upper) {
        double log_err = run.difference[k] + run.truncation[k] + run.rounding +
                         8 * unit_roundoff * std::fabs(run.log_F[k]);
        if (std::isnan(log_err)) log_err = HUGE_VAL;
        holonomic_write_point(request, false, run.log_F[k], log_err, P, err);
        return;
    }
    const double lower = std::max(run.complement[k], 0.0);
    double e = run.complement_difference[k] + run.truncation[k] + run.rounding + unit_roundoff * lower;
    if (std::isnan(e) || std::isnan(lower)) e = HUGE_VAL;
    *P = request.log_result ? std::log(lower) : lower;
    if (err) *err = request.log_result && !std::isnan(lower) ? e / lower : e;   // no value: Inf either way
}

// The smallest eigenvalue: P(lambda_min > x), the recessive solution of the
// same system, at the points of `order` (increasing x); points that miss
// tol again in more bits (smallest_pass).
wishart_cdf_outcome smallest_ray_route(const wishart_cdf_request &request, const double *x,
                                       const std::vector<std::size_t> &order, double *P, double *err,
                                       double work_share, bool extended, double *budget_used,
                                       const std::vector<double> *log_offsets, bool deep_readout)
{
    wishart_cdf_outcome outcome;
    outcome.method = "holonomic";
    holonomic_ray_request ray = system_request(request, work_share, extended, err != nullptr);
    if (log_offsets) ray.log_offsets = *log_offsets;
    ray.deep_readout = deep_readout;
    const wishart_cdf_request own = own_sigma(request, log_offsets);
    // The lower tail is 1 beyond the cutoff, within the union bound on
    // P(lambda_min > x) <= P(lambda_max > x): the ray need not start there.
    const double cutoff = request.tail == wishart_tail::lower ? negligible_from(own, 1.0) : HUGE_VAL;
    std::vector<std::size_t> points;
    for (std::size_t i : order) {
        if (x[i] < cutoff)
            points.push_back(i);
        else
            holonomic_write_point(request, true, 0, union_tail_bound(own, x[i]), &P[i], err ? &err[i] : nullptr);
    }
    double used = 0;
    if (budget_used) *budget_used = 0;
    if (points.empty()) return outcome;
    // Repeated eigenvalues beyond confluent_smallest_max_m: the wide type
    // from the first, and no other pass.
    const bool wide_only = request.m > confluent_smallest_max_m && has_repeated(request);
    ray.wide = wide_only;
    for (smallest_pass pass : {smallest_pass::first, smallest_pass::wide, smallest_pass::extended}) {
        if (wide_only && pass != smallest_pass::first) break;
        if (pass != smallest_pass::first) {
            if (points.empty() || !err || !(work_share > used)) break;
            if (pass == smallest_pass::extended && extended) break;   // the first run was
            ray.accuracy = lower_tail_accuracy(request, points, P);
            const bool extended_serves = !extended && ray.accuracy >= extended_lower_tail_reach;
            if (pass == smallest_pass::wide && (request.tail != wishart_tail::lower || extended_serves)) continue;
            ray.extended = pass == smallest_pass::extended;
            ray.wide = pass == smallest_pass::wide;
            ray.work_share = work_share - used;
        }
        ray.targets.clear();
        for (std::size_t i : points) ray.targets.push_back(x[i]);
        const holonomic_ray_values run = holonomic_ray_recessive(ray);
        if (ray_failed(run, &outcome)) {
            if (pass == smallest_pass::first || run.state == holonomic_ray_state::interrupted) return outcome;
            outcome = wishart_cdf_outcome{};   // the first run's values stand
            outcome.method = "holonomic";
            break;
        }
        used += run.budget_used;
        if (pass == smallest_pass::first && run.abandoned) outcome.message = beyond_budget;
        std::vector<std::size_t> missed;
        for (std::size_t k = 0; k < points.size(); k++) {
            const std::size_t i = points[k];
            double value = 0, e = 0;
            write_smallest_point(request, run, k, &value, &e);
            if (pass == smallest_pass::first || e < err[i] || std::isnan(err[i])) {
                P[i] = value;
                if (err) err[i] = e;
            }
            if (err && !wishart_meets_tol(request, P[i], err[i])) missed.push_back(i);
        }
        points = std::move(missed);
    }
    if (budget_used) *budget_used = used;
    return outcome;
}

// The points to integrate, in increasing order; the others (off the ray)
// are set here.
std::vector<std::size_t> points_on_ray(const wishart_cdf_request &request, const double *x, std::size_t count,
                                       double *P, double *err)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < count; i++)
        if (!holonomic_off_ray(request, x[i], &P[i], err ? &err[i] : nullptr)) order.push_back(i);
    std::sort(order.begin(), order.end(), [x](std::size_t p, std::size_t q) { return x[p] < x[q]; });
    return order;
}

} // namespace

wishart_cdf_outcome holonomic_ray_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err, double work_share,
                                        bool extended, double *budget_used, const std::vector<double> *log_offsets,
                                        double double_cost, bool deep_readout)
{
    wishart_cdf_outcome outcome;
    outcome.method = "holonomic";
    const std::vector<std::size_t> order = points_on_ray(request, x, count, P, err);
    if (order.empty()) return outcome;
    if (!holonomic_integrates_lower(request))
        return smallest_ray_route(request, x, order, P, err, work_share, extended, budget_used, log_offsets,
                                  deep_readout);
    const wishart_cdf_request own = own_sigma(request, log_offsets);
    const double cutoff = negligible_from(own, 1.0);

    // F(t) = 1F1(n/2; (n + m + 1)/2; -t S) at t = x below the cutoff; of
    // the upper tail, where 1 - P serves (the points past them are left to
    // the integral of the density).
    const bool deep = request.tail == wishart_tail::upper && err;
    holonomic_ray_request ray = system_request(request, work_share, extended, err != nullptr);
    ray.double_cost = double_cost;
    if (log_offsets) ray.log_offsets = *log_offsets;
    ray.deep_readout = deep_readout;
    for (std::size_t k = 0; k < order.size() && x[order[k]] < cutoff; k++) {
        if (deep && request.tol * upper_tail_floor(own, x[order[k]]) < one_minus_p_err) break;
        ray.targets.push_back(x[order[k]]);
    }
    const holonomic_ray_values F = holonomic_ray_integrate(ray);
    if (ray_failed(F, &outcome)) return outcome;

    double log_constant = 0, constant_magnitude = 0;
    for (int i = 0; i < request.m; i++) {
        const double top = std::lgamma((request.m + 1) / 2.0 - i / 2.0);
        const double bottom = std::lgamma((request.n + request.m + 1) / 2.0 - i / 2.0);
        log_constant += top - bottom;
        constant_magnitude += std::fabs(top) + std::fabs(bottom);
    }
    bool abandoned = false;
    for (std::size_t k = 0; k < order.size(); k++) {
        const std::size_t i = order[k];
        point_result value;
        if (k >= ray.targets.size() && deep) {
            P[i] = nan;
            err[i] = HUGE_VAL;
            continue;
        } else if (k >= ray.targets.size()) {
            // Beyond the cutoff P = 1 within the union bound.
            value.log_lower = 0;
            value.log_err = union_tail_bound(own, x[i]);
        } else if (F.sign[k] > 0) {
            const double log_F = F.log_F[k];
            double log_power = 0, power_magnitude = 0;   // of det(x S) at S's own rates
            for (std::size_t j = 0; j < ray.s.size(); j++) {
                const double log_s = std::log(ray.s[j]) + (log_offsets ? (*log_offsets)[j] : 0.0);
                log_power += std::log(x[i]) + log_s;
                power_magnitude += std::fabs(std::log(x[i])) + std::fabs(log_s);
            }
            value.log_lower = log_constant + ray.a * log_power + log_F;
            value.log_err = F.difference[k] + F.truncation[k] + F.rounding +
                            8 * unit_roundoff *
                                (constant_magnitude + ray.a * power_magnitude + std::fabs(log_F) +
                                 std::fabs(value.log_lower));
            if (std::isnan(value.log_err)) value.log_err = HUGE_VAL;
        } else {
            abandoned = true;                    // beyond the work budget: no value
        }
        holonomic_write_point(request, true, value.log_lower, value.log_err, &P[i], err ? &err[i] : nullptr);
    }
    double used = F.budget_used;
    if (err) {
        ray.work_share = std::max(0.0, work_share - F.budget_used);
        if (density_tail(request, ray, x, order, P, err, &abandoned, &used) == holonomic_ray_state::interrupted)
            return failure(wishart_cdf_status::interrupted, "interrupted");
    }
    if (budget_used) *budget_used = used;
    if (abandoned) outcome.message = beyond_budget;
    return outcome;
}


namespace {

// The merges one integration takes, in the order they are tried: clusters
// chaining below each of cluster_join_gaps, then Sigma's own eigenvalues
// (equal ones the confluent system's), each kept where the ray serves it
// and it differs from those before.
std::vector<merged_sigma> ray_merges(const wishart_cdf_request &request)
{
    std::vector<merged_sigma> merges;
    for (double gap : cluster_join_gaps) {
        merged_sigma merged = merge_close(request, gap);
        if (!holonomic_ray_serves(merged.request)) continue;
        if (!merges.empty() && merges.back().request.sigma == merged.request.sigma) continue;
        merges.push_back(merged);
    }
    return merges;
}

} // namespace

bool holonomic_serves(const wishart_cdf_request &request)
{
    return !ray_merges(request).empty() || holonomic_split_serves(request);
}

namespace {

// The points that miss tol run again by `route` (x, count, P, err), each
// keeping the better value; the run's status.
template <class Route>
wishart_cdf_status again_where_missed(const wishart_cdf_request &request, const double *x, std::size_t count,
                                      double *P, double *err, const Route &route)
{
    std::vector<double> missed_x;
    std::vector<std::size_t> missed;
    for (std::size_t i = 0; i < count; i++)
        if (!wishart_meets_tol(request, P[i], err[i])) {
            missed.push_back(i);
            missed_x.push_back(x[i]);
        }
    if (missed.empty()) return wishart_cdf_status::ok;
    std::vector<double> again(missed.size()), again_err(missed.size());
    const wishart_cdf_outcome retry = route(missed_x.data(), missed_x.size(), again.data(), again_err.data());
    if (retry.status == wishart_cdf_status::ok)
        for (std::size_t k = 0; k < missed.size(); k++)
            if (again_err[k] < err[missed[k]] || std::isnan(err[missed[k]])) {
                P[missed[k]] = again[k];
                err[missed[k]] = again_err[k];
            }
    return retry.status;
}

// The upper tail's points in the wide type (pairs of doubles, 106 bits),
// where its runs fit what the budget has left (holonomic_ray_request::
// double_cost): gaps of 1 to 2% at m = 8 (AR(1) Sigma of 0.03, n = 10)
// left long double's runs 1.5e-10 of Q in the far tail from Q = 1.5e-11
// down (NaN), where the wide ones carried 4e-14, 1.7 s a call.
wishart_cdf_outcome wide_upper_tail(const wishart_cdf_request &request, const double *x, std::size_t count,
                                    double *P, double *err, double work_share, double double_cost)
{
    wishart_cdf_outcome outcome;
    outcome.method = "holonomic";
    std::fill(P, P + count, nan);
    std::fill(err, err + count, HUGE_VAL);
    const std::vector<std::size_t> order = points_on_ray(request, x, count, P, err);
    holonomic_ray_request ray = system_request(request, work_share, false, true);
    ray.wide = true;
    ray.double_cost = double_cost;
    bool abandoned = false;
    double used = 0;
    if (density_tail(request, ray, x, order, P, err, &abandoned, &used) == holonomic_ray_state::interrupted)
        return failure(wishart_cdf_status::interrupted, "interrupted");
    return outcome;
}

// The ray for repeated or close eigenvalues (read at their own values), or
// for the largest eigenvalue: points that miss tol run again in long
// double, with what the budget has left, each keeping the better value.
// Long double takes the rounding that the confluent matrices' entries
// amplify (c I at m = 10 met 2e-10 in double, 1e-13 in long double, at
// 2.3 times the time), and the rounding that gaps just
// above holonomic_min_gap amplify (a cluster of three 0.2% apart at m = 4
// and 6: NaN from the lower tail's bulk in double, every point met in
// long double). For the smallest eigenvalue that run goes on to the wide
// type for the lower tail that long double misses (a spike at m = 8 at
// P = 2.7e-4, which its first route's own retry, in long double, left 3
// times over tol). The double pass's share tells the tail runs whether
// long double's whole run fits what is left (holonomic_ray_request::
// double_cost).
wishart_cdf_outcome retried_ray_route(const wishart_cdf_request &request, const merged_sigma &merged,
                                      const double *x, std::size_t count, double *P, double *err)
{
    double used = 0, extended_used = 0;
    const std::vector<double> *offsets = merged.width > 0 ? &merged.log_offsets : nullptr;
    wishart_cdf_outcome outcome = holonomic_ray_route(merged.request, x, count, P, err, 1, false, &used, offsets);
    if (outcome.status != wishart_cdf_status::ok || !err) return outcome;
    if (!(used < 1)) return outcome;
    const auto extended = [&](const double *y, std::size_t points, double *Q, double *e) {
        return holonomic_ray_route(merged.request, y, points, Q, e, 1 - used, true, &extended_used, offsets, used);
    };
    if (again_where_missed(request, x, count, P, err, extended) == wishart_cdf_status::interrupted)
        return failure(wishart_cdf_status::interrupted, "interrupted");
    // A readout's misses are its truncation, which more bits leave as it is.
    if (offsets || request.tail != wishart_tail::upper || !holonomic_integrates_lower(request)) return outcome;
    const double left = std::max(0.0, 1 - used - extended_used);
    const auto wide = [&](const double *y, std::size_t points, double *Q, double *e) {
        return wide_upper_tail(merged.request, y, points, Q, e, left, used);
    };
    if (again_where_missed(request, x, count, P, err, wide) == wishart_cdf_status::interrupted)
        return failure(wishart_cdf_status::interrupted, "interrupted");
    return outcome;
}

// Below holonomic_min_gap the distinct system's runs in long double still
// meet tol down to gaps of this size, where the close eigenvalues form a
// structure beyond the confluent system's size: a pair among seven
// distinct eigenvalues at m = 9, n = 11 (R = 384) met it at gaps of 5e-4
// (2.6e-13 of Q) and 1e-5 (7.3e-11) at every point of both tails, where
// the split missed from Q = 6e-2 on; at 1e-7 they carried 3e-7 (their
// rounding grows as the gap's inverse square). So they run first there,
// and the split takes the points they miss.
constexpr double extended_distinct_min_gap = 1e-5;

// Whether the split serves the request and its eigenvalues lie pairwise at
// least extended_distinct_min_gap apart.
bool extended_distinct_serves(const wishart_cdf_request &request)
{
    if (!holonomic_split_serves(request)) return false;
    std::vector<double> sorted = request.sigma;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 1; k < sorted.size(); k++)
        if (!(sorted[k] - sorted[k - 1] >= extended_distinct_min_gap * sorted[k])) return false;
    return true;
}

// One merge's ray: the smallest eigenvalue of distinct ones takes its own
// passes; the others retried_ray_route's.
wishart_cdf_outcome merged_ray_route(const wishart_cdf_request &request, const merged_sigma &merged, const double *x,
                                     std::size_t count, double *P, double *err)
{
    if (!has_repeated(merged.request) && !holonomic_integrates_lower(request))
        return holonomic_ray_route(request, x, count, P, err);
    return retried_ray_route(request, merged, x, count, P, err);
}

} // namespace

wishart_cdf_outcome holonomic_route(const wishart_cdf_request &request, const double *x,
                                    std::size_t count, double *P, double *err)
{
    const std::vector<merged_sigma> merges = ray_merges(request);
    if (!merges.empty()) {
        wishart_cdf_outcome outcome = merged_ray_route(request, merges[0], x, count, P, err);
        for (std::size_t k = 1; k < merges.size() && outcome.status == wishart_cdf_status::ok && err; k++) {
            // The points the merges before missed (a readout's truncation,
            // or a close system's rounding): clusters read as one hold
            // where the distinct system's runs fail, and miss where they
            // hold (cluster_join_gaps).
            const auto again = [&](const double *y, std::size_t points, double *Q, double *e) {
                return merged_ray_route(request, merges[k], y, points, Q, e);
            };
            if (again_where_missed(request, x, count, P, err, again) == wishart_cdf_status::interrupted)
                return failure(wishart_cdf_status::interrupted, "interrupted");
        }
        // What every merge missed: a readout's misses are its truncation,
        // which more bits leave as it is; they take each readout again to
        // a higher degree (deep_readout), in long double.
        for (std::size_t k = 0; k < merges.size() && outcome.status == wishart_cdf_status::ok && err; k++) {
            if (!(merges[k].width > 0)) continue;
            const auto deeper = [&](const double *y, std::size_t points, double *Q, double *e) {
                return holonomic_ray_route(merges[k].request, y, points, Q, e, 1, true, nullptr,
                                           &merges[k].log_offsets, 0, true);
            };
            if (again_where_missed(request, x, count, P, err, deeper) == wishart_cdf_status::interrupted)
                return failure(wishart_cdf_status::interrupted, "interrupted");
        }
        return outcome;
    }
    if (!err || !extended_distinct_serves(request)) return holonomic_split_route(request, x, count, P, err);
    wishart_cdf_outcome outcome = holonomic_ray_route(request, x, count, P, err, 1, true);
    if (outcome.status != wishart_cdf_status::ok) return outcome;
    const auto split = [&](const double *y, std::size_t points, double *Q, double *e) {
        return holonomic_split_route(request, y, points, Q, e);
    };
    if (again_where_missed(request, x, count, P, err, split) == wishart_cdf_status::interrupted)
        return failure(wishart_cdf_status::interrupted, "interrupted");
    return outcome;
}

} // namespace matrixhyper
