// wishart_holonomic_split.cpp: close or repeated eigenvalues of Sigma for
// the holonomic route (docs/wishart_holonomic.md, "Close and repeated
// eigenvalues").
//
// P is symmetric and analytic in the eigenvalues, hence analytic in the
// elementary symmetric functions of each cluster of close ones. A cluster of
// k eigenvalues sigma_j = c exp(r_j) (c their geometric mean) is the root
// set of prod_j (z - r_j), z = log(sigma / c); the spread cluster is the
// root set of
//   prod_j (z - delta tau_j) - z^k + prod_j (z - r_j),
// tau_j = -1 .. 1 evenly (a set equal to its negative). Its coefficients are
// those of prod (z - r_j) plus those of prod (z - delta tau_j) - z^k, which
// hold only even powers of delta: P along this path is a function of
// delta^2, equal to the wanted P at delta = 0 whatever the r_j, and for delta
// well above the cluster's width the roots sit near delta tau_j, as far
// apart as the one-integration route wants them. For the largest
// eigenvalue z = log(sigma / c): spreading log sigma rather than sigma keeps
// det(Y)^(n/2), the bulk of log P in the lower tail, fixed along the path
// (sum r_j is), and P has no singularity at finite z. For the smallest,
// whose integrated tail P(lambda_min > x) falls like etr(-x Y), z = c / sigma - 1
// keeps trace(Y) fixed instead (in log sigma it moved log P by x delta^2 / sigma,
// and the extrapolation's error outgrew its estimate at m = 3).
#include "wishart_holonomic_split.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "wishart_holonomic.h"
#include "wishart_tol.h"

namespace matrixhyper {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The deltas, as shares of the widest spread the Sigma allows: j / levels
// for j = 1 .. levels. log P is extrapolated through them in delta^2
// (Neville at 0), the difference of the extrapolations through all of
// them and through all but the widest being its own error estimate. Six
// (measured against the white formulas, docs/wishart_holonomic.md): three
// or four at the same widest leave the extrapolation's error near 1e-7 in
// the bulk, closer deltas the integration's, whose gaps shrink with the
// narrowest.
constexpr int delta_count = 6;

// The narrowest spread leaves gaps near 1% in a cluster of five or more
// (and in blocks of four at m = 8), whose rounding, amplified, can miss
// 1e-10 in double (a spike at m = 8: err 1e-9); points that miss tol run
// again in long double (m = 8: err 7e-11, at some 6 times the cost), up to
// extended_max_m, beyond which that cost leaves the work budget.
constexpr int extended_max_m = 8;

// The share of tol the smallest eigenvalue's levels are held to.
constexpr double level_tol_share = 1e-2;
// Widest spread delta (in z) of a cluster: the extrapolation's error
// grows like delta^12 times the path's coefficients (which grow with x /
// sigma), the integration's as the narrowest delta's gaps shrink.
constexpr double widest_delta = 0.3;

// The largest eigenvalue's upper tail Q where a cluster holds sigma_max:
// spreading it moves Q's slowest rate, s = 1 / (2 sigma_max), so Q along
// the path varies like sinh(x s delta) / (x s delta) (measured at
// diag(2, 2, 1, 1): log Q spans 0.5 over the levels at x s = 7.5 and
// delta = 0.28). Q itself, entire in delta^2, is extrapolated (log Q has
// Q's complex zeros within reach: there its extrapolation missed by 1e-6),
// through upper_delta_count levels whose widest delta keeps x s delta
// within upper_spread_reach. Measured in double at diag(2, 2, 1, 1), x s
// from 15 to 150: six levels met 1e-10 only to x s = 30 whatever the
// reach, the narrowest gaps' rounding taking over as the reach shrank;
// eight at reach 3 met it at all points but one (x s = 100, which long
// double then met), ten at reach 3 to 5 lost the narrowest gaps again.
constexpr double upper_spread_reach = 3;
constexpr int upper_delta_count = 8;
// Points are banded by the widest delta they need, one band per factor of
// this in x s (the levels of a band serve its largest x; its smallest then
// has 2^8 times less extrapolation error than that).
constexpr double upper_band_ratio = 1.4142135623730951;   // sqrt(2)
// Beyond this many bands the widest delta is below 1e-30 of the plan's,
// whose gaps no integration takes (the band is skipped): the cap keeps
// the band's index an int for any x.
constexpr double most_upper_bands = 200;

// The upper tail's levels carry the rounding their gaps amplify once per
// close neighbour: a spread pair's runs in double hold their err, but a
// spread cluster of three (gaps near 1%) missed by twice the err its runs
// claimed (near-white m = 3 against the finite formulas: 4.2e-11 against
// 2.3e-11, where long double met them to 6e-14). Clusters of this many or
// more run the upper tail's levels in long double only.
constexpr std::size_t pairs_beyond_double = 3;
// The upper tail's long-double levels run up to this m: at m = 8 (blocks
// diag(2 I, I) of four) they still missed 1e-10 by a factor 100 at
// Q = 1e-6, after some 5 s a call.
constexpr int upper_extended_max_m = 6;

// A spread cluster keeps at most this share of its relative distance to the
// nearest other eigenvalue, so that clusters never meet one another.
constexpr double room_share = 0.4;

// The narrowest delta must exceed the cluster's own width by this factor:
// there the roots are a small perturbation of delta tau_j (real, ordered).
constexpr double width_margin = 10;

// Newton on a root: at most this many steps; a step below this many
// rounding units of delta ends it.
constexpr int newton_steps = 60;
constexpr double newton_units = 4;

// The cluster's coordinate z of sigma about c, and back.
double to_coordinate(double sigma, double centre, bool by_rate)
{
    return by_rate ? centre / sigma - 1 : std::log(sigma / centre);
}
double from_coordinate(double z, double centre, bool by_rate)
{
    return by_rate ? centre / (1 + z) : centre * std::exp(z);
}

struct cluster {
    std::vector<int> members;        // indices into sigma, in increasing order of sigma
    double centre = 0;               // c: the members' geometric mean
    std::vector<double> elementary;  // e_0 .. e_k of r_j = log(sigma_j / c)
    double width = 0;                // max |r_j|
};

struct split_plan {
    std::vector<cluster> clusters;
    double widest = 0;               // delta at share 1
    bool by_rate = false;            // z = c / sigma - 1, else log(sigma / c)
};

// The cluster of the members (indices into sigma, in increasing order of
// sigma): their centre, width and elementary symmetric functions.
cluster make_cluster(const std::vector<int> &members, const std::vector<double> &sigma, bool by_rate)
{
    cluster group;
    group.members = members;
    for (int i : group.members) group.centre += std::log(sigma[i]);
    group.centre = std::exp(group.centre / group.members.size());
    group.elementary.assign(1, 1.0);       // e_0; then the usual recurrence
    for (int i : group.members) {
        const double r = to_coordinate(sigma[i], group.centre, by_rate);
        group.width = std::max(group.width, std::fabs(r));
        group.elementary.push_back(0);
        for (std::size_t j = group.elementary.size() - 1; j > 0; j--)
            group.elementary[j] += r * group.elementary[j - 1];
    }
    return group;
}

// A neighbour within a few tenths of a percent of a cluster would hold
// every spread to room_share of its gap, and the narrowest spread's gaps
// would amplify the rounding past tol (diag(3, 1, 1, 1.003): NaN from the
// median up). It joins the cluster instead, while the cluster stays this
// narrow: the narrowest of the upper tail's levels of widest_delta keeps
// width_margin times its width (a wider one served the lower tail, but
// its upper tail fell back on 1 - P).
constexpr double most_joined_width = widest_delta / (upper_delta_count * width_margin);

// Eigenvalues whose relative gap is below holonomic_min_gap, chained in
// sorted order, form the clusters; each then takes in its neighbours
// while it stays within most_joined_width.
std::vector<cluster> find_clusters(const std::vector<double> &sigma, bool by_rate)
{
    std::vector<int> order(sigma.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int p, int q) { return sigma[p] < sigma[q]; });
    std::vector<cluster> clusters;
    std::size_t taken = 0;   // order[0 .. taken) belong to earlier clusters
    for (std::size_t k = 0; k < order.size();) {
        std::size_t end = k + 1;
        while (end < order.size() &&
               sigma[order[end]] - sigma[order[end - 1]] < holonomic_min_gap * sigma[order[end]])
            end++;
        if (end - k > 1) {
            std::size_t first = k;
            for (bool grew = true; grew;) {
                grew = false;
                const auto joins = [&](std::size_t from, std::size_t to) {
                    const std::vector<int> members(order.begin() + from, order.begin() + to);
                    return make_cluster(members, sigma, by_rate).width <= most_joined_width;
                };
                if (end < order.size() && joins(first, end + 1)) end++, grew = true;
                if (first > taken && joins(first - 1, end)) first--, grew = true;
            }
            clusters.push_back(make_cluster(std::vector<int>(order.begin() + first, order.begin() + end), sigma,
                                            by_rate));
            taken = end;
        }
        k = end;
    }
    return clusters;
}

split_plan plan_split(const std::vector<double> &sigma, bool by_rate)
{
    split_plan plan;
    plan.by_rate = by_rate;
    plan.clusters = find_clusters(sigma, by_rate);
    plan.widest = widest_delta;
    for (const cluster &group : plan.clusters)
        for (std::size_t i = 0; i < sigma.size(); i++) {
            if (std::find(group.members.begin(), group.members.end(), (int)i) != group.members.end()) continue;
            const double room = std::fabs(to_coordinate(sigma[i], group.centre, by_rate)) - group.width;
            plan.widest = std::min(plan.widest, room_share * room);
        }
    return plan;
}

// tau_j: (2j - (k - 1)) / (k - 1), exact integers over one divisor, so the
// set is exactly its own negative.
double spread_node(int j, int k) { return double(2 * j - (k - 1)) / (k - 1); }

// The spread cluster's z_j for delta, by Newton from delta tau_j on
//   prod (z - delta tau_j) + sum_{i>=1} (-1)^i e_i z^(k-i)
// (the z^k of prod (z - r_j) cancels the subtracted one). Empty when a root
// does not settle or the roots are not real, apart and ordered.
std::vector<double> spread_roots(const cluster &group, double delta)
{
    const int k = (int)group.members.size();
    std::vector<double> roots;
    for (int j = 0; j < k; j++) {
        double z = delta * spread_node(j, k);
        bool settled = false;
        for (int step = 0; step < newton_steps && !settled; step++) {
            double value = 1, slope = 0;
            for (int i = 0; i < k; i++) {
                slope = slope * (z - delta * spread_node(i, k)) + value;
                value *= z - delta * spread_node(i, k);
            }
            double power = 1, lower_power = 0;   // z^(k-i), its derivative, i from k down
            for (int i = k; i >= 1; i--) {
                const double sign = i % 2 ? -1 : 1;
                value += sign * group.elementary[i] * power;
                slope += sign * group.elementary[i] * lower_power;
                lower_power = lower_power * z + power;
                power *= z;
            }
            const double change = value / slope;
            if (!std::isfinite(change)) break;
            z -= change;
            settled = std::fabs(change) <= newton_units * std::numeric_limits<double>::epsilon() * delta;
        }
        if (!settled) return {};
        roots.push_back(z);
    }
    const double least_gap = delta / (k - 1);  // half the nodes' spacing
    for (int j = 1; j < k; j++)
        if (!(roots[j] - roots[j - 1] > least_gap)) return {};
    return roots;
}

// Sigma with every cluster spread by delta; empty when a cluster fails.
std::vector<double> spread_sigma(const split_plan &plan, const std::vector<double> &sigma, double delta)
{
    std::vector<double> spread = sigma;
    for (const cluster &group : plan.clusters) {
        const std::vector<double> roots = spread_roots(group, delta);
        if (roots.empty()) return {};
        for (std::size_t j = 0; j < roots.size(); j++)
            spread[group.members[j]] = from_coordinate(roots[j], group.centre, plan.by_rate);
    }
    return spread;
}

// The requests the split integrates, one per delta, as log P: for the
// largest eigenvalue its lower tail, which the ray carries; for the
// smallest the tail asked for (the ray carries its lower tail in absolute
// terms, in more bits where it misses tol). Empty when a spread Sigma is
// not one the one integration serves.
std::vector<wishart_cdf_request> spread_requests(const wishart_cdf_request &request, const split_plan &plan,
                                                 int count = delta_count)
{
    std::vector<wishart_cdf_request> spread;
    if (plan.clusters.empty()) return spread;
    for (const cluster &group : plan.clusters)
        if (!(plan.widest / count > width_margin * group.width)) return spread;
    for (int j = 1; j <= count; j++) {
        const double share = double(j) / count;
        wishart_cdf_request level = request;
        level.sigma = spread_sigma(plan, request.sigma, share * plan.widest);
        level.tail = holonomic_integrates_lower(request) ? wishart_tail::lower : request.tail;
        level.log_result = true;
        // The extrapolation weighs the levels' errors by some 7 (its weights
        // through six and five deltas): the smallest eigenvalue's levels,
        // which retry points that miss in more bits, are held to a share.
        if (!holonomic_integrates_lower(request)) level.tol = request.tol * level_tol_share;
        if (level.sigma.empty() || !holonomic_ray_serves(level)) return {};
        spread.push_back(std::move(level));
    }
    return spread;
}

// Neville's weights at 0 for the nodes (j delta)^2, j = 1 .. count (delta
// cancels).
std::vector<double> extrapolation_weights(int count)
{
    std::vector<double> weights(count, 1.0);
    for (int l = 0; l < count; l++)
        for (int i = 0; i < count; i++) {
            if (i == l) continue;
            const double hi = double(i + 1) * (i + 1), hl = double(l + 1) * (l + 1);
            weights[l] *= hi / (hi - hl);
        }
    return weights;
}

// The request with Sigma = I written out (an empty sigma), which the split
// takes as one cluster.
wishart_cdf_request explicit_sigma(const wishart_cdf_request &request)
{
    wishart_cdf_request full = request;
    if (full.sigma.empty()) full.sigma.assign(request.m, 1.0);
    return full;
}

// The extrapolation of one point's levels: in log P, or (linear) in P
// scaled by the narrowest level's, with the absolute error of its log.
void extrapolate_point(const std::vector<double> &level_log, const std::vector<double> &level_err, bool linear,
                       double *log_value, double *log_err)
{
    const int count = (int)level_log.size();
    const std::vector<double> all = extrapolation_weights(count);
    const std::vector<double> fewer = extrapolation_weights(count - 1);
    const double base = linear ? level_log[0] : 0;
    double value = 0, fewer_value = 0, weighed_err = 0;
    for (int l = 0; l < count; l++) {
        const double term = linear ? std::exp(level_log[l] - base) : level_log[l];
        value += all[l] * term;
        if (l + 1 < count) fewer_value += fewer[l] * term;
        weighed_err += std::fabs(all[l]) * level_err[l] * (linear ? term : 1);
    }
    double total_err = std::fabs(value - fewer_value) + weighed_err;
    if (linear) {
        total_err = value > 0 ? total_err / value : HUGE_VAL;
        value = base + std::log(value);
    }
    if (std::isnan(total_err) || std::isnan(value)) {
        value = nan;
        total_err = HUGE_VAL;
    }
    *log_value = value;
    *log_err = total_err;
}

// log P at each point, extrapolated to delta = 0 from the levels'
// integrations, and its absolute error: the difference of the
// extrapolations through all deltas and through all but the widest, plus
// the integrations' errs weighed by the extrapolation's weights. Each
// integration takes `share` of the call's budget; used adds what they took.
wishart_cdf_outcome extrapolate_levels(const std::vector<wishart_cdf_request> &levels,
                                       const std::vector<double> &points, double share, bool extended,
                                       std::vector<double> &log_p, std::vector<double> &log_err, double *used,
                                       bool linear = false)
{
    std::vector<std::vector<double>> level_p(levels.size(), std::vector<double>(points.size()));
    std::vector<std::vector<double>> level_err = level_p;
    wishart_cdf_outcome outcome;
    for (std::size_t l = 0; l < levels.size(); l++) {
        double level_used = 0;
        wishart_cdf_outcome run = holonomic_ray_route(levels[l], points.data(), points.size(), level_p[l].data(),
                                                      level_err[l].data(), share, extended, &level_used);
        if (run.status != wishart_cdf_status::ok) return run;
        if (outcome.message.empty()) outcome.message = run.message;
        *used += level_used;
    }
    std::vector<double> point_log(levels.size()), point_err(levels.size());
    for (std::size_t k = 0; k < points.size(); k++) {
        for (std::size_t l = 0; l < levels.size(); l++) {
            point_log[l] = level_p[l][k];
            point_err[l] = level_err[l][k];
        }
        extrapolate_point(point_log, point_err, linear, &log_p[k], &log_err[k]);
    }
    return outcome;
}

// Extrapolates `levels` again at the points that missed tol, with the
// share 1 / runs_left of what the budget has left; each point keeps the
// better value by err. lower: the levels give the lower tail; linear: as
// in extrapolate_point.
wishart_cdf_outcome retry_levels(const wishart_cdf_request &request, const std::vector<wishart_cdf_request> &levels,
                                 bool lower, bool extended, const std::vector<std::size_t> &missed,
                                 const std::vector<double> &missed_points, double *P, double *err, double *used,
                                 bool linear = false, int runs_left = 1)
{
    std::vector<double> value(missed.size()), value_err(missed.size());
    const double share = std::max(0.0, 1 - *used) / (levels.size() * runs_left);
    wishart_cdf_outcome run =
        extrapolate_levels(levels, missed_points, share, extended, value, value_err, used, linear);
    if (run.status != wishart_cdf_status::ok) return run;
    for (std::size_t k = 0; k < missed.size(); k++) {
        double retried_P = 0, retried_err = 0;
        holonomic_write_point(request, lower, value[k], value_err[k], &retried_P, &retried_err);
        const std::size_t i = missed[k];
        if (retried_err < err[i] || std::isnan(err[i])) {
            P[i] = retried_P;
            err[i] = retried_err;
        }
    }
    return run;
}

// Drops the points that now meet tol.
void keep_missed(const wishart_cdf_request &request, const double *P, const double *err,
                 std::vector<std::size_t> &missed, std::vector<double> &missed_points)
{
    std::size_t kept = 0;
    for (std::size_t k = 0; k < missed.size(); k++)
        if (!wishart_meets_tol(request, P[missed[k]], err[missed[k]])) {
            missed[kept] = missed[k];
            missed_points[kept++] = missed_points[k];
        }
    missed.resize(kept);
    missed_points.resize(kept);
}

// The band of a point of the largest eigenvalue's upper tail: how many
// factors of upper_band_ratio its widest delta lies below the plan's.
int upper_band(const split_plan &plan, double top_rate, double x)
{
    const double excess = plan.widest * x * top_rate / upper_spread_reach;
    if (excess <= 1) return 0;
    return (int)std::fmin(std::ceil(std::log(excess) / std::log(upper_band_ratio)), most_upper_bands);
}

// The slowest rate of the upper tail, 1 / (2 sigma_max), where a cluster
// holds sigma_max; 0 where sigma_max stands alone, whose rate the spread
// leaves fixed (the clusters below it move Q's terms that decay faster).
double clustered_top_rate(const split_plan &plan, const std::vector<double> &sigma)
{
    const int top = (int)(std::max_element(sigma.begin(), sigma.end()) - sigma.begin());
    for (const cluster &group : plan.clusters)
        if (std::find(group.members.begin(), group.members.end(), top) != group.members.end())
            return 1 / (2 * sigma[top]);
    return 0;
}

// The largest eigenvalue's upper tail at the points where 1 - P missed
// tol: each band's levels run for their own upper tails (relative however
// small, each held to a share of tol), and Q is extrapolated in the band's
// deltas. Bands the spread cannot serve keep their points as they are.
wishart_cdf_outcome retry_upper_bands(const wishart_cdf_request &request, const wishart_cdf_request &full,
                                      const split_plan &plan, const std::vector<std::size_t> &missed,
                                      const std::vector<double> &missed_points, double *P, double *err,
                                      double *used)
{
    const double top_rate = clustered_top_rate(plan, full.sigma);
    std::size_t most_members = 0;
    for (const cluster &group : plan.clusters) most_members = std::max(most_members, group.members.size());
    const bool in_double = most_members < pairs_beyond_double;
    const int passes = in_double ? 2 : 1;
    std::vector<int> band(missed.size());
    for (std::size_t k = 0; k < missed.size(); k++) band[k] = upper_band(plan, top_rate, missed_points[k]);
    std::vector<int> bands = band;
    std::sort(bands.begin(), bands.end());
    bands.erase(std::unique(bands.begin(), bands.end()), bands.end());
    wishart_cdf_outcome outcome;
    for (std::size_t b = 0; b < bands.size(); b++) {
        split_plan narrowed = plan;
        narrowed.widest = plan.widest / std::pow(upper_band_ratio, bands[b]);
        std::vector<wishart_cdf_request> levels = spread_requests(full, narrowed, upper_delta_count);
        if (levels.empty()) continue;
        for (wishart_cdf_request &level : levels) {
            level.tail = wishart_tail::upper;
            level.tol = request.tol * level_tol_share;
        }
        std::vector<std::size_t> in_band;
        std::vector<double> band_points;
        for (std::size_t k = 0; k < missed.size(); k++)
            if (band[k] == bands[b]) {
                in_band.push_back(missed[k]);
                band_points.push_back(missed_points[k]);
            }
        // In double, then in long double where that missed; a cluster of
        // three or more in long double only (pairs_beyond_double).
        for (bool extended : {false, true}) {
            if (!extended && !in_double) continue;
            if (extended && (request.m > upper_extended_max_m || in_band.empty())) break;
            const int runs_left = passes * (int)(bands.size() - b) - (extended && in_double);
            outcome = retry_levels(request, levels, false, extended, in_band, band_points, P, err, used, true,
                                   runs_left);
            if (outcome.status != wishart_cdf_status::ok) return outcome;
            keep_missed(request, P, err, in_band, band_points);
        }
    }
    return outcome;
}

} // namespace

bool holonomic_split_serves(const wishart_cdf_request &request)
{
    if (request.m < 2) return false;
    const wishart_cdf_request full = explicit_sigma(request);
    return !spread_requests(full, plan_split(full.sigma, !holonomic_integrates_lower(full))).empty();
}

wishart_cdf_outcome holonomic_split_route(const wishart_cdf_request &request, const double *x,
                                          std::size_t count, double *P, double *err)
{
    wishart_cdf_outcome outcome;
    outcome.method = "holonomic";
    const wishart_cdf_request full = explicit_sigma(request);
    const split_plan plan = plan_split(full.sigma, !holonomic_integrates_lower(full));
    const std::vector<wishart_cdf_request> levels = spread_requests(full, plan);
    const bool lower = !levels.empty() && levels[0].tail == wishart_tail::lower;   // the tail extrapolated
    if (levels.empty()) {
        outcome.status = wishart_cdf_status::invalid_argument;
        outcome.message = "The holonomic route cannot spread this Sigma's close eigenvalues apart.";
        return outcome;
    }
    std::vector<std::size_t> on_ray;
    std::vector<double> points;
    for (std::size_t i = 0; i < count; i++)
        if (!holonomic_off_ray(request, x[i], &P[i], err ? &err[i] : nullptr)) {
            on_ray.push_back(i);
            points.push_back(x[i]);
        }
    if (on_ray.empty()) return outcome;
    std::vector<double> value(points.size()), value_err(points.size());
    double used = 0;
    wishart_cdf_outcome run = extrapolate_levels(levels, points, 1.0 / delta_count, false, value, value_err, &used);
    if (run.status != wishart_cdf_status::ok) return run;
    outcome.message = run.message;
    std::vector<std::size_t> missed;
    std::vector<double> missed_points;
    for (std::size_t k = 0; k < points.size(); k++) {
        const std::size_t i = on_ray[k];
        holonomic_write_point(request, lower, value[k], value_err[k], &P[i], err ? &err[i] : nullptr);
        if (err && !wishart_meets_tol(request, P[i], err[i])) {
            missed.push_back(i);
            missed_points.push_back(x[i]);
        }
    }
    // Points that missed tol, again in long double (the gaps' rounding may
    // be what they missed it by), with what the budget has left.
    if (!missed.empty() && request.m <= extended_max_m) {
        run = retry_levels(request, levels, lower, true, missed, missed_points, P, err, &used);
        if (run.status != wishart_cdf_status::ok) return run;
    }
    // The largest eigenvalue's upper tail where 1 - P missed tol: each
    // level's own, relative however small (the integral of the density),
    // extrapolated as log Q.
    if (!lower || request.tail != wishart_tail::upper || !err) return outcome;
    keep_missed(request, P, err, missed, missed_points);
    if (missed.empty()) return outcome;
    run = retry_upper_bands(request, full, plan, missed, missed_points, P, err, &used);
    return run.status != wishart_cdf_status::ok ? run : outcome;
}

} // namespace matrixhyper
