// pfq_equal.cpp: the tail rule and the series at x I_n (all eigenvalues
// equal), summed by a walk over partitions that evaluates each term at the
// point instead of forming coefficients (pfq_equal_walk.cpp).
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "box_factor.h"
#include "interrupt_countdown.h"
#include "pfq_equal_walk.h"
#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;

} // namespace

bool tail_monitor::done(const std::vector<long double> &abs_sums, int k, long double sum)
{
    if (termination_ >= 0 && k >= termination_) { tail_ = 0; return true; }
    tail_ = HUGE_VALL;                                     // no estimate until the rule holds
    if (k < 4) return false;
    const std::vector<long double> &s = abs_sums;
    if (!(s[k] < s[k - 1] && s[k - 1] < s[k - 2] && s[k - 2] < s[k - 3])) return false;
    long double r = std::max(s[k] / s[k - 1], s[k - 1] / s[k - 2]);
    r = std::max(r, (long double)rho_);
    if (!(r < 1)) return false;
    tail_ = 2 * s[k] * r / (1 - r);                        // factor 2: ratios are estimates
    return tail_ <= 0.5L * tol_ * std::fabs(sum);
}

namespace {

// Rounding bound of a series to degree k whose terms are products of k
// quotients of at most `per_box` roundings each; the degree sums are
// compensated (2u + N u^2 each, N counting the merged block sums too) over
// plain sums of at most `plain` terms, the k + 1 of them added plainly; the
// absolute sums, rounded too, get a factor 2.
long double series_rounding(long double per_box, int k, long long terms, long long plain,
                            long double abs_total)
{
    long double summing = 4 + (long double)terms * unit_ld * 2 + (k + 1) + plain;
    return 2 * ((long double)k * per_box + summing) * unit_ld * abs_total;
}

series_outcome finish(const std::vector<long double> &sums, const std::vector<long double> &abs_sums,
                      int k, long long terms, long double per_box, long long plain = 0)
{
    series_outcome out;
    long double total = 0, abs_total = 0;
    for (int j = 0; j <= k; j++) { total += sums[j]; abs_total += abs_sums[j]; }
    out.sum = total;
    out.degree = k;
    out.partitions = terms;
    out.rounding = series_rounding(per_box, k, terms, plain, abs_total);
    if (!std::isfinite(abs_total)) out.state = series_state::overflow;
    return out;
}

// Degrees the scalar series may run to when no max_degree is given.
const int automatic_scalar_cap = 1000000;

// Whether the operations of a scalar term and its partial sum lost nothing.
// A terminating series with simple parameters (2F1(-1, 2; 4; 2) = 0) is
// often summed exactly, and only then is a sum of exactly 0 the value: no
// relative error estimate can vouch for a zero. The residuals come from
// explicit fused operations (a product or quotient is exact when its
// residual is 0) and Knuth's two-sum; tracking stops at the first loss, so
// it costs nothing on series whose terms are not dyadic.
struct exactness {
    bool exact = true;
    long double times(long double a, long double b)
    {
        long double p = a * b;
        if (exact) exact = std::isfinite(p) && std::fmal(a, b, -p) == 0;
        return p;
    }
    long double over(long double a, long double b)
    {
        long double q = a / b;
        if (exact) exact = std::isfinite(q) && std::fmal(q, b, -a) == 0;
        return q;
    }
    long double plus(long double a, long double b)
    {
        long double s = a + b;
        if (exact) {
            long double bb = s - a;
            exact = std::isfinite(s) && (a - (s - bb)) + (b - bb) == 0;
        }
        return s;
    }
};

// n = 1: the ordinary series, degree by degree.
series_outcome sum_scalar(const series_input &in, const series_control &ctl)
{
    const int cap = ctl.max_degree > 0 ? ctl.max_degree : automatic_scalar_cap;
    tail_monitor monitor(ctl.tol, ctl.termination_degree, ctl.limit_ratio);
    std::vector<long double> sums{1}, abs_sums{1};
    long double term = 1, total = 1;
    const long double x = in.x[0];
    exactness track;
    track.exact = in.exact;
    interrupt_countdown countdown(ctl.interrupt, terms_between_polls);
    int k = 0;
    bool done = false;
    while (!done && k < cap) {
        ++k;
        long double u = k - 1;
        long double num = x, den = k;
        for (long double ak : in.a) num = track.times(num, track.plus(ak, u));
        for (long double bk : in.b) den = track.times(den, track.plus(bk, u));
        long double q = num == 0 ? 0 : track.over(num, den);  // terminated: no 0/0 at a pole
        term = track.times(term, q);
        sums.push_back(term);
        abs_sums.push_back(std::fabs(term));
        total = track.plus(total, term);
        if (countdown.step()) {
            series_outcome out;
            out.state = series_state::interrupted;
            return out;
        }
        done = monitor.done(abs_sums, k, total) || term == 0;
        if (term == 0) { done = true; }
    }
    // A quotient: 3(p + q) + 16 roundings.
    series_outcome out = finish(sums, abs_sums, k, k + 1, 3.0L * (in.a.size() + in.b.size()) + 16);
    out.route = "scalar";
    out.tail = (sums.back() == 0) ? 0 : monitor.tail();
    const bool overflow = out.state == series_state::overflow;
    if (!overflow) {
        // finish() re-adds the degree sums in the same order as `total`: an
        // exact run gives the same sum, with no rounding to bound.
        if (track.exact && out.sum == total) out.rounding = 0;
        out.state = done ? series_state::converged : series_state::not_converged;
        if (!done) out.message = "tail rule not met by degree " + std::to_string(k);
    }
    // Terms beyond long double's range, cancellation beyond what it keeps,
    // or a tail not yet met: Boost's 0F1 or 1F1, then the 50-digit sum when
    // that still misses tol, stands when its bound is the smaller.
    long double bound = overflow ? HUGE_VALL : out.tail + out.rounding;
    if (ctl.max_degree > 0 || bound <= 0.5L * ctl.tol * std::fabs(out.sum)) return out;
    series_outcome best = out, other;
    if (sum_scalar_special(in, other) && other.rounding < bound) {
        best = other;
        bound = other.rounding;
    }
    if (!(bound <= 0.5L * ctl.tol * std::fabs(best.sum)) &&
        sum_scalar_wide(in, 0.5L * ctl.tol, other) && other.rounding < bound)
        best = other;
    best.degree = k;                                     // the series' own reach
    best.partitions = out.partitions;
    return best;
}

// A degree to start the walk from: where the scalar series at the trace
// (at x when the terms grow geometrically) stops, plus a margin.
int first_degree(const series_input &in, const series_control &ctl)
{
    series_input proxy = in;
    const int n = (int)in.x.size();
    bool geometric = in.a.size() > in.b.size();
    proxy.x.assign(1, geometric ? in.x[0] : in.x[0] * n);
    series_control c = ctl;
    c.max_degree = walk_start_search_degree;
    c.interrupt = nullptr;
    series_outcome o = sum_scalar(proxy, c);
    return std::max(walk_least_start_degree, o.degree + walk_start_margin);
}

} // namespace

namespace {

long double total_of(const std::vector<long double> &v)
{
    long double t = 0;
    for (long double e : v) t += e;
    return t;
}

// Sum of |terms| of a walk.
long double abs_total(const equal_walk_sums &w) { return total_of(w.abs_sums); }

// The smallest tail estimate over the degrees where the rule holds, the
// sums of |terms| it reads raised by the bounds of the subtrees cut: each
// bound added at its root's degree and every degree past it (`spread`),
// so cut terms cannot make the sums look smaller than they are; or, when
// that leaves them flat (everything past a few degrees cut, as for tiny
// eigenvalues), at its root's degree only, with twice the cut added to
// the estimate. The walk summed the degrees past each estimate's degree,
// so each covers what lies beyond the walk. False when the rule holds
// nowhere.
bool rule_over_degrees(const equal_walk_sums &w, const series_control &ctl, bool spread,
                       long double &tail)
{
    tail_monitor monitor(ctl.tol, ctl.termination_degree, ctl.limit_ratio);
    std::vector<long double> upper(w.abs_sums.size());
    long double partial = 0, cut = 0;
    bool done = false;
    tail = HUGE_VALL;
    for (int k = 0; k < (int)w.sums.size(); k++) {
        partial += w.sums[k];
        cut = spread ? cut + w.cut[k] : w.cut[k];
        upper[k] = w.abs_sums[k] + cut;
        if (monitor.done(upper, k, partial)) {
            done = true;
            tail = std::min(tail, monitor.tail());
        }
    }
    return done;
}

bool walk_tail(const equal_walk_sums &w, const series_control &ctl, long double cut,
               long double &tail)
{
    if (rule_over_degrees(w, ctl, true, tail)) return true;
    if (!rule_over_degrees(w, ctl, false, tail)) return false;
    tail += 2 * cut;
    return tail <= 0.5L * ctl.tol * std::fabs(w.sums.empty() ? 0 : total_of(w.sums));
}

// Rows a partition with a non-zero term can fill at x I_n. The first box
// of row r carries the factor a - (r - 1) / alpha of every numerator a (as
// the walk's tables form it): from the first row where one vanishes, every
// partition reaching that row has the term 0, and the walk need not visit
// those rows at all (1F1(1; 2; X) at alpha = 2 has two live rows for any n).
int live_rows(const series_input &in)
{
    const int n = (int)in.x.size();
    for (int r = 1; r <= n; r++) {
        const long double shift = box_factor::shift(r, 1, in.alpha);
        for (long double a : in.a)
            if (a + shift == 0) return std::max(1, r - 1);
    }
    return n;
}

// A walk's outcome before the tail rule: sums, rounding, and the bounds of
// the cut subtrees in `cut`.
series_outcome walk_outcome(const series_input &in, const equal_walk_sums &w, int degree,
                            long double &cut)
{
    const int rows = live_rows(in);                      // hook factors per box: rows - 1
    series_outcome out = finish(w.sums, w.abs_sums, degree, w.visited + w.blocks,
                                3.0L * (in.a.size() + in.b.size()) + 11.0L * rows + 12,
                                std::min(w.visited, gathered_terms + degree + 1));
    out.route = "equal";
    cut = 0;
    for (long double c : w.cut) cut += c;
    cut *= 1 + walk_cut_rounding;                        // the bounds' own rounding
    return out;
}

// A finished walk judged by the tail rule: err's tail part holds the tail
// estimate and the bounds of the cut subtrees.
series_outcome judged_walk(const series_input &in, const equal_walk_sums &w, int degree,
                           const series_control &ctl, long double &cut)
{
    series_outcome out = walk_outcome(in, w, degree, cut);
    if (out.state == series_state::overflow) return out;
    long double tail = HUGE_VALL;
    bool done = walk_tail(w, ctl, cut, tail);
    out.tail = tail + cut;
    out.state = done ? series_state::converged : series_state::not_converged;
    return out;
}

series_outcome stopped_walk(series_state state, const std::string &message)
{
    series_outcome out;
    out.route = "equal";
    out.state = state;
    out.tail = HUGE_VALL;
    out.message = message;
    return out;
}

// Budget units one visited term costs: each term's hook product runs over
// the rows above it, so the cost of a term grows with n.
long long visit_cost(int n) { return 1 + n / rows_per_visit_unit; }

// Visits a walk may make: what is left of the call's budget, or no limit
// when the caller set max_degree.
long long visit_limit(const series_control &ctl, int n)
{
    if (ctl.max_degree > 0 || ctl.visits_left == nullptr) return 0;
    return std::max(1LL, *ctl.visits_left / visit_cost(n));
}

void charge(const series_control &ctl, long long visits, int n)
{
    if (ctl.visits_left) *ctl.visits_left -= visits * visit_cost(n);
}

// The outcome when the budget ends the walks: the last finished walk, or
// no value (NaN) when not even the quick walk finished.
series_outcome out_of_work(bool quick, series_outcome last, long long visited, int degree)
{
    if (quick) {
        last = stopped_walk(series_state::not_converged, "");
        last.sum = std::numeric_limits<long double>::quiet_NaN();
    }
    last.partitions = visited;
    last.message = "work limit reached at degree " + std::to_string(degree);
    return last;
}

} // namespace

// The walks cut subtrees under a threshold of tol walk_cut_share of the
// sum of |terms|, first estimated by a quick walk whose threshold rises with
// the largest term met (its outcome stands when the budget allows no more).
// The tail rule reads sums of |terms| that include the bounds of the cut
// subtrees, so the cut must stay well below the tail it leaves: when the
// bounds add up to more than tol / walk_cut_allowance of the sum the walk is
// redone with a lower threshold (pfq_series.h).
series_outcome sum_equal(const series_input &in, const series_control &ctl)
{
    if (in.x.size() == 1) return sum_scalar(in, ctl);
    const int n = live_rows(in);                         // the rows walked
    const int cap = ctl.max_degree > 0 ? ctl.max_degree : automatic_equal_cap;
    int degree = std::min(cap, first_degree(in, ctl));
    if (ctl.termination_degree >= 0) degree = std::min(cap, ctl.termination_degree);
    const int requested = std::min(std::max(1, ctl.threads), most_series_threads);
    int threads = 1;
    long double share = (long double)ctl.tol * walk_cut_share, scale = 0, cut = 0;
    long long visited = 0;
    series_outcome last;                                 // the best finished walk so far
    for (int redone = 0;;) {
        const bool quick = scale == 0;                   // first a quick walk for the scale
        // The tables of box and hook factors a walk builds first hold n
        // entries per degree: with thousands of eigenvalues and degrees they
        // cost more than the terms visited, so they draw on the budget too.
        const long long setup = walk_table_entry_cost * n * (degree + 1);
        if (visit_limit(ctl, n) > 0 && setup > *ctl.visits_left) {
            *ctl.visits_left = 0;
            return out_of_work(quick, last, visited, degree);
        }
        if (ctl.max_degree <= 0 && ctl.visits_left) *ctl.visits_left -= setup;
        const long long limit = visit_limit(ctl, n);
        equal_walk_settings settings;
        settings.max_size = degree;
        settings.rows = n;
        settings.visit_limit = limit;
        if (quick) {
            settings.rising = quick_walk_rise;
        } else {
            settings.threshold = share * scale;
            settings.threads = threads;
        }
        equal_walk_sums w = equal_walk(in, settings, ctl);
        charge(ctl, w.exhausted ? limit : w.visited, n);
        visited += w.exhausted ? limit : w.visited;
        if (w.interrupted) return stopped_walk(series_state::interrupted, "");
        if (w.exhausted) return out_of_work(quick, last, visited, degree);
        series_outcome out = judged_walk(in, w, degree, ctl, cut);
        out.partitions = visited;
        scale = abs_total(w);
        if (out.state == series_state::overflow) return out;
        last = out;
        if (quick) {
            // Threads cost more than they save on a walk of a few hundred
            // thousand terms; the sums are the same either way.
            if (w.visited >= walk_terms_worth_threads) threads = requested;
            continue;
        }
        if (cut > ctl.tol / walk_cut_allowance * std::fabs(out.sum) && redone < walk_cut_retries &&
            share > 0) {
            share *= walk_cut_reduction;
            redone++;
            continue;
        }
        if (out.state == series_state::converged) return out;
        if (degree >= cap) {
            out.message = "tail rule not met by degree " + std::to_string(degree);
            return out;
        }
        // Growth such that the shorter walks cost at most about the last one:
        // partitions grow like degree^n.
        int step = degree / (n == 2 ? walk_growth_divisor_two_rows : walk_growth_divisor);
        degree = std::min(cap, degree + std::max(walk_least_growth, step));
    }
}

} // namespace pfq_detail
} // namespace matrixhyper
