// pfq_determinant.cpp: pFq(a; b; X) and pFq(a; b; X, Y) at alpha = 1 as
// determinants of scalar pFq values (docs/matrix_pfq.md, "alpha = 1 by
// determinants"): with a~ = a - n + 1, b~ = b - n + 1 and g_m the scalar
// pFq(a~ + m; b~ + m; z),
//   pFq(a; b; X)    = det[x_i^j g_j(x_i)] / V(x),
//   pFq(a; b; X, Y) = K det[g_0(x_i y_j)] / (V(x) V(y)),
//   K = prod_{m<n} m! prod_q (b~_q)_m / prod_p (a~_p)_m,
// V(x) = prod_{i<l} (x_l - x_i) over ascending eigenvalues. n^2 scalar
// series instead of tables whose size grows exponentially with n.
//
// The ratios of alternants go through alternant.h: eigenvalues closer than
// the functions' scale form clusters whose rows are divided differences
// from Taylor coefficients (the derivatives of g_m are g_{m+1} times
// Pochhammer ratios), so close and equal eigenvalues cost no digits there.
// What remains is the cancellation of the determinant itself and of the
// scalar series at negative points: each value is computed at two
// precisions of a ladder and their difference is its error.
#include "pfq_determinant.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include <boost/math/constants/constants.hpp>
#include <boost/math/special_functions/digamma.hpp>
#include <boost/math/special_functions/gamma.hpp>

// GCC's -Warray-bounds misreads the fixed-size limb arrays of cpp_bin_float
// above 128 bits (a false positive inside Boost's headers): silenced for
// this file only.
#pragma GCC diagnostic ignored "-Warray-bounds"

#include "alternant.h"
#include "interrupt_countdown.h"
#include "precision_ladder.h"
#include "thread_team.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

// The determinants lose digits to the Vandermonde-like conditioning of
// their rows and the scalar series at negative points to cancellation; a
// value is accepted when two consecutive rungs of the precision ladder agree.
using precision_ladder::rung_bits;
using precision_ladder::rung_count;
// Two rungs must agree to this share of tol: the caller adds the rounding
// to double and the prefactor's error to the relative error.
constexpr long double agreement_share = 0.25L;
// A rung's error is its precision's rounding, 2^-bits, times the
// amplification of the determinant's and the scalar series' cancellation,
// which does not depend on the precision. The difference of two rungs is
// the lower one's error, and the higher one's is that times 2^-(its extra
// bits). This is taken while the difference is within this multiple of
// the value: were the higher rung lost in its roundings too (its error
// above the value), the lower one's error, and so their difference, would
// exceed the value some 2^(extra bits - margin) >= 2^48 times. A rung taken
// this way saves the next, whose cost doubles (2F1 down to -30 at n = 40
// cancels some 190 bits: 256 hold 64, and 384 are not needed).
constexpr long double extrapolation_reach = 2;
// The extrapolated error is taken this many bits above: the amplification
// varies a little between rungs, whose series take different numbers of
// terms and roundings.
constexpr int extrapolation_margin_bits = 16;
// A cluster's span times the scale of its functions' derivatives stays below
// this, so that its Taylor terms fall by a factor 8 or more each (the factor
// 2 between is the bound on complete homogeneous polynomials).
constexpr double cluster_span_scale = 1.0 / 16;
constexpr double taylor_decay = 1.0 / 8;
// The decay of a cluster of equal nodes (span 0), kept above 0 for its
// logarithm: its Taylor terms beyond the count vanish.
constexpr double least_decay = 1e-300;
// Shifts m of the Pochhammer ratio scanned for the derivative scale: beyond
// n plus any Taylor order the ladder asks for.
constexpr int scale_scan_margin = 400;
// Terms a scalar series may take before the route gives up (a series at
// |z| close to 1, or with huge parameters): the tables are then tried.
constexpr long long most_scalar_terms = 100000;
// A scalar series is cut only after its terms have fallen below half of
// their predecessor (p <= q) or, for p = q + 1, once its remaining terms are
// bounded by a geometric series; before, terms may still grow.
constexpr double settled_ratio = 0.5;
const double log_settled_ratio = std::log(settled_ratio);
// A segment of m takes the three-term relation in m (when the family has
// one) once it spans this many m: below, the four series it starts from
// save little.
constexpr int least_recurrence_count = 8;
// The two recurrence directions must meet within this many bits above the
// rounding their starting series commit (2^-bits times their largest term
// over their value); otherwise their segment of m is split.
constexpr double meeting_guard_bits = 20;
// The early stop of a scalar series (before its ratios settle) looks this
// many terms ahead at most: a series whose parameters are larger waits for
// its ratios to settle, as its terms before would fill tables this long.
constexpr int most_early_terms = 4096;
// 2F1's g_m at z above this take the connection to 1 - z (Abramowitz &
// Stegun 15.3.6), whose two series in 1 - z converge at least as fast as
// the one in z; near z = 1 the series in z needs thousands of terms.
constexpr double connection_least_z = 0.5;
// The connection divides by Gamma at c - a - b and its negative, and takes
// Gamma at a, b, c - a, c - b: its two parts grow as 1 / (distance of these
// to the integers) and cancel; below this distance the series in z runs
// instead, unless s is an integer (the logarithmic case, its own formula).
constexpr long double connection_least_distance = 1e-6L;
// The logarithmic case sums |s - m| terms before its series: for |s| above
// this the series in z (bounded by most_scalar_terms) runs instead.
constexpr int most_log_order = 10000;
// The connection is taken while the largest term of its series in 1 - z
// exceeds the largest of the series in z by at most this many bits, half
// the lowest rung's 128: beyond, its cancellation costs more digits than
// the series in z's length costs time. (At 32 bits the 2F1 rows of the
// n = 40 benchmark took the series in z at some points, 10% more terms
// for nothing.)
constexpr double connection_excess_bits = 64;
// Clusters a rung needs before threads share its rows: starting and joining
// a thread costs some 50 microseconds, a row of eight or more scalar series
// in multiprecision as much or more.
constexpr std::size_t least_clusters_for_threads = 8;
// The work budget (pfq_series.h units, some 17 ns each) counts a scalar
// term, or a product and sum of the elimination or of a cluster's
// expansions, as one operation of the rung's precision, which costs about
// its bits over this many units (66 ns at 128 bits, 160 ns at 384,
// measured at n = 40).
constexpr int bits_per_work_unit = 32;
// The rounding to long double of the accepted value.
const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;

bool nonpositive_integer(long double v) { return v <= 0 && v == std::floor(v); }

long double max_abs(const std::vector<long double> &v)
{
    long double m = 0;
    for (long double e : v) m = std::max(m, std::fabs(e));
    return m;
}

// What the route needs of a request, independent of the precision.
struct plan {
    std::vector<long double> a, b;      // a - n + 1, b - n + 1
    std::vector<long double> x, y;      // ascending; y empty: one argument
    std::vector<alternant::cluster> clusters;   // of x
    std::vector<double> decays;                 // the clusters' Taylor decays
    int n = 0;
    bool two = false;
    bool geometric = false;             // p = q + 1: the scalar series converge for |z| < 1
    const interrupt_check *interrupt = nullptr;
    int threads = 1;                    // threads sharing a rung's rows and elimination
    long long term_limit = -1;          // scalar terms the threads may sum in a rung; < 0: any
};

// |a~ + m| / |b~ + m| products at their largest for m up to the scan: the
// factor by which one derivative of g_m exceeds g_{m+1}.
long double derivative_scale(const std::vector<long double> &a, const std::vector<long double> &b,
                             int n)
{
    long double scale = 1;
    for (int m = 0; m < n + scale_scan_margin; m++) {
        long double ratio = 1;
        for (long double v : a) ratio *= std::fabs(v + m);
        for (long double v : b) ratio /= std::fabs(v + m);
        scale = std::max(scale, ratio);
    }
    return scale;
}

// How far apart nodes about `middle` may lie for functions g(node * factor)
// whose derivatives grow by `scale` each: the span shrinks with the
// derivative scale and, for p = q + 1, with the distance of
// middle * factor to the singular point 1.
double span_limit(double middle, long double factor, long double scale, bool geometric)
{
    double limit = cluster_span_scale / (double)(factor * scale);
    if (geometric)
        limit = std::min(limit, cluster_span_scale * (1 - std::fabs(middle) * (double)factor) / (double)factor);
    return limit;
}

// Clusters of the ascending nodes for functions g(node * factor).
std::vector<alternant::cluster> clusters_of(const std::vector<long double> &nodes, long double factor,
                                            long double scale, bool geometric)
{
    std::vector<double> sorted(nodes.begin(), nodes.end());
    return alternant::group_nodes(sorted, [&](double middle) {
        return span_limit(middle, factor, scale, geometric);
    });
}

// The factor by which a cluster's Taylor terms fall: taylor_decay at the
// span limit and in proportion to the span below it (the terms' ratio is
// the derivative scale times the span), so that a pair 1e-6 apart needs a
// few terms where one at the limit needs dozens.
std::vector<double> cluster_decays(const std::vector<long double> &sorted_nodes,
                                   const std::vector<alternant::cluster> &clusters, long double factor,
                                   long double scale, bool geometric)
{
    std::vector<double> decays;
    for (const alternant::cluster &c : clusters) {
        const double span = (double)(sorted_nodes[c.first + c.count - 1] - sorted_nodes[c.first]);
        const double share = span / span_limit(c.centre, factor, scale, geometric);
        decays.push_back(std::min(taylor_decay, std::max(least_decay, taylor_decay * share)));
    }
    return decays;
}

bool all_alone(const std::vector<alternant::cluster> &clusters)
{
    for (const alternant::cluster &c : clusters)
        if (c.count > 1) return false;
    return true;
}

plan make_plan(const series_input &in)
{
    plan p;
    p.n = (int)in.x.size();
    p.two = !in.y.empty();
    p.geometric = in.a.size() == in.b.size() + 1;
    for (long double v : in.a) p.a.push_back(v - (p.n - 1));
    for (long double v : in.b) p.b.push_back(v - (p.n - 1));
    p.x = in.x;
    p.y = in.y;
    std::sort(p.x.begin(), p.x.end());
    std::sort(p.y.begin(), p.y.end());
    const long double scale = derivative_scale(p.a, p.b, p.n);
    if (p.two) {
        // The formula is symmetric in x and y: the clustered one takes the rows.
        std::vector<alternant::cluster> of_y = clusters_of(p.y, std::max(max_abs(p.x), 1e-300L), scale, p.geometric);
        if (!all_alone(of_y)) std::swap(p.x, p.y);
    }
    const long double factor = p.two ? std::max(max_abs(p.y), 1e-300L) : 1;
    p.clusters = clusters_of(p.x, factor, scale, p.geometric);
    p.decays = cluster_decays(p.x, p.clusters, factor, scale, p.geometric);
    return p;
}

// Counts the scalar terms into the count of the threads sharing a rung,
// polls the interrupt once per terms_between_polls of them (`team_stop`:
// the team's flag), and stops once the team's count exceeds `limit` (< 0:
// none), over the budget. The count a rung ends with does not depend on
// the threads, nor whether it exceeds the limit.
struct poller {
    poller(const interrupt_check *check, std::atomic<bool> *team_stop, std::atomic<long long> *team_count,
           long long limit)
        : countdown(check, terms_between_polls, team_stop), team_count(team_count), limit(limit) {}
    interrupt_countdown countdown;
    std::atomic<long long> *team_count;
    long long limit;
    bool stop = false;
    bool over_budget = false;
    void tick(long long terms)
    {
        const long long count = team_count->fetch_add(terms, std::memory_order_relaxed) + terms;
        if (countdown.step(terms)) stop = true;
        if (limit >= 0 && count > limit) stop = over_budget = true;
    }
};

// exp at the type's precision for the n^2 values of 0F0 with two
// arguments, some 2.5 times faster than the generic exp of
// Boost.Multiprecision: exp(t) = 2^k exp(r)^(2^s), r = (t - k log 2) / 2^s,
// k log 2 in two parts whose leading one times k is exact (Cody and Waite),
// exp(r) by Horner's rule on its Taylor polynomial. Each squaring doubles
// the relative error: s = 5 costs some 5 bits, which the rungs' difference
// measures like any other rounding.
template <class Real>
class exponential {
public:
    explicit exponential(int bits)
    {
        const Real log_two = boost::math::constants::ln_two<Real>();
        int exponent = 0;
        const Real leading = trunc(ldexp(frexp(log_two, &exponent), bits - exact_multiple_bits));
        log_two_leading_ = ldexp(leading, exponent - (bits - exact_multiple_bits));
        log_two_trailing_ = log_two - log_two_leading_;
        // |r| <= log 2 / 2^(s+1): terms to k! 2^(k(s+1)) above 2^bits.
        Real inverse_factorial = 1;
        inverse_factorials_.push_back(inverse_factorial);
        double log2_size = 0;
        for (int k = 1; log2_size <= bits + exp_guard_bits; k++) {
            inverse_factorial /= k;
            inverse_factorials_.push_back(inverse_factorial);
            log2_size += std::log2((double)k) + exp_squarings + 1;
        }
    }
    Real operator()(const Real &t) const
    {
        using std::fabs;
        const double t_double = t.template convert_to<double>();
        if (!(fabs(t_double) <= exp_reduced_reach)) return exp(t);
        const long long k = std::llround(t_double / std::log(2.0));
        const Real r = ldexp((t - log_two_leading_ * k) - log_two_trailing_ * k, -exp_squarings);
        Real sum = inverse_factorials_.back();
        for (int j = (int)inverse_factorials_.size() - 2; j >= 0; j--) sum = sum * r + inverse_factorials_[j];
        for (int s = 0; s < exp_squarings; s++) sum *= sum;
        return ldexp(sum, (int)k);
    }

private:
    // The leading part of log 2 ends this many bits above the type's last,
    // so that k times it is exact for |k| < 2^24.
    static constexpr int exact_multiple_bits = 24;
    // The reach of the reduction: |k| <= 2^20 / log 2 < 2^24; beyond, the
    // generic exp.
    static constexpr double exp_reduced_reach = 1 << 20;
    static constexpr int exp_squarings = 5;
    // Taylor terms until the next is this many bits below the type's last.
    static constexpr int exp_guard_bits = 8;
    Real log_two_leading_, log_two_trailing_;
    std::vector<Real> inverse_factorials_;
};

// The scalar functions g_m at one precision, g_m(z) = sum_k c_m(k) z^k. The
// coefficients c_m(k) = prod_{t<k} P(m + t) / (t + 1), with
// P(s) = prod (a~ + s) / prod (b~ + s), are shared by all points and the
// powers z^k by all g_m at one point, so that a term costs one product and
// one sum; the stopping rule runs on double logarithms of the terms' sizes,
// which need no multiprecision operation.
template <class Real>
class scalar_family {
public:
    // A point z with its powers z^(k+1).
    struct point {
        Real z;
        double log_z = 0;
        std::vector<Real> powers;
        // For the connection: w = 1 - z, its powers w^(k+1) and
        // w^(s - m), m < size, s = c~ - a~ - b~.
        Real w, inverse_w;
        double log_w = 0;
        std::vector<Real> w_powers, connection_powers;
        // For the logarithmic case: log w and w^-(k+1).
        bool log_started = false;
        Real log_w_exact;
        std::vector<Real> inverse_w_powers;
    };

    scalar_family(const plan &p, int bits)
        : plan_(p), log_eps_(-bits * std::log(2.0)), three_term_(p.b.size() == 1 && p.a.size() <= 2),
          connection_(connection_applies(p)), log_connection_(log_connection_applies(p)), exponential_(bits)
    {
        if (connection_) start_connection();
        if (log_connection_) start_log_connection();
    }

    const Real &ratio(int s)
    {
        grow_ratios(s);
        return ratios_[s];
    }

    point at(const Real &z) const
    {
        point p;
        p.z = z;
        p.log_z = z == 0 ? 0 : std::log(std::fabs(z.template convert_to<double>()));
        return p;
    }

    // g_m(z) for m < count: by the series, or, for a family with the
    // three-term relation, by the relation from four series (recurrence()).
    bool values(point &pt, int count, std::vector<Real> &g, poller &poll)
    {
        g.assign(count, Real(1));
        if (pt.z == 0) return true;
        if (three_term_ && count >= least_recurrence_count) return recurrence(pt, count, g, poll);
        for (int m = 0; m < count; m++)
            if (!value(m, pt, g[m], poll)) return false;
        return true;
    }

    // g_m(z) to about eps relative (cancellation aside); false when the
    // series does not end within most_scalar_terms. log_rounding: log of
    // eps times the largest term over the value, the relative rounding the
    // sum may commit.
    bool value(int m, point &pt, Real &sum, poller &poll)
    {
        double log_rounding = 0;
        return value(m, pt, sum, poll, log_rounding);
    }
    bool value(int m, point &pt, Real &sum, poller &poll, double &log_rounding)
    {
        sum = 1;
        log_rounding = log_eps_;
        if (pt.z == 0) return true;
        if (plan_.a.empty() && plan_.b.empty()) {               // 0F0: every g_m is exp
            sum = exponential_(pt.z);
            poll.tick(1);
            return true;
        }
        if ((connection_ || log_connection_) && pt.z > connection_least_z && connection_keeps_digits(m, pt.z))
            return connection_ ? connected_value(m, pt, sum, poll, log_rounding)
                               : log_connected_value(m, pt, sum, poll, log_rounding);
        return summed(m, pt.log_z, [&](int k) {
            while ((int)pt.powers.size() <= k)
                pt.powers.push_back(pt.powers.empty() ? pt.z : pt.powers.back() * pt.z);
            return coefficients_[m][k] * pt.powers[k];              // the term of z^(k+1)
        }, sum, poll, log_rounding);
    }

    // With two arguments, a row x and a column y whose g_0(x y) the
    // determinant takes: the products c_0(k) x^(k+1) are shared by the n
    // values of a row and the powers y^(k+1) by those of a column, so that a
    // term costs one product and one sum instead of two and one.
    struct factor {
        Real v;
        double log_v = 0;
        std::vector<Real> powers;       // v^(k+1)
        std::vector<Real> scaled;       // c_0(k) v^(k+1), rows only
    };
    factor factor_of(const Real &v) const
    {
        factor f;
        f.v = v;
        f.log_v = v == 0 ? 0 : std::log(std::fabs(v.template convert_to<double>()));
        return f;
    }
    bool product_value(factor &row, factor &column, Real &sum, poller &poll)
    {
        const Real z = row.v * column.v;
        if (z == 0 || (plan_.a.empty() && plan_.b.empty()) ||
            ((connection_ || log_connection_) && z > connection_least_z)) {
            point pt = at(z);
            return value(0, pt, sum, poll);
        }
        sum = 1;
        double log_rounding = 0;
        return summed(0, row.log_v + column.log_v, [&](int k) {
            for (factor *f : {&row, &column})
                while ((int)f->powers.size() <= k)
                    f->powers.push_back(f->powers.empty() ? f->v : f->powers.back() * f->v);
            while ((int)row.scaled.size() <= k) row.scaled.push_back(coefficients_[0][row.scaled.size()] * row.powers[row.scaled.size()]);
            return row.scaled[k] * column.powers[k];
        }, sum, poll, log_rounding);
    }

private:
    // sum (from 1) plus the terms term(k) of z^(k+1) in g_m, to about
    // eps relative (cancellation aside); false when the series does not end
    // within most_scalar_terms. log_rounding: log of eps times the largest
    // term over the value, the relative rounding the sum may commit.
    template <class Term>
    bool summed(int m, double log_z, Term &&term, Real &sum, poller &poll, double &log_rounding)
    {
        double log_largest = 0;
        if ((int)coefficients_.size() <= m) {
            coefficients_.resize(m + 1);
            log_coefficients_.resize(m + 1);
        }
        long double largest_parameter = 0;
        for (long double v : plan_.a) largest_parameter = std::max(largest_parameter, std::fabs(v + m));
        for (long double v : plan_.b) largest_parameter = std::max(largest_parameter, std::fabs(v + m));
        // The ratios are monotone from k = settle on; the terms before are
        // known in double for the early stop.
        const long long settle = (long long)std::min<long double>(std::ceil(largest_parameter), most_scalar_terms);
        auto log_term_at = [&](int j) { return log_coefficients_[m][j] + (j + 1) * log_z; };
        // The terms after k are at most |term_k| r / (1 - r), r / (1 - r) <= 1
        // for r <= 1/2, once the ratio r is at most 1 (p = q + 1) or 1/2.
        auto tail_after = [&](int k, double log_term) {
            const double log_step = log_z + log_ratios_[m + k] - log_integer(k + 1);
            if (log_step >= 0 || (!plan_.geometric && log_step > log_settled_ratio)) return HUGE_VAL;
            return log_step <= log_settled_ratio ? log_term : log_term + log_step - std::log1p(-std::exp(log_step));
        };
        later_logs_.clear();
        if (settle <= most_early_terms) {
            grow_coefficients(m, (int)settle);
            start_early_stop((int)settle, log_term_at, tail_after((int)settle, log_term_at((int)settle)));
        }
        for (long long k = 0; k < most_scalar_terms; k++) {
            grow_coefficients(m, (int)k);
            if (zero_ratio_[m + k])                                   // a terminating series
                return stops_at(k, -HUGE_VAL, sum, log_largest, poll, log_rounding);
            sum += term((int)k);
            const double log_term = log_term_at((int)k);
            log_largest = std::max(log_largest, log_term);
            const double log_tail = k < settle ? early_rest((int)k) : tail_after((int)k, log_term);
            if (stops_at(k, log_tail, sum, log_largest, poll, log_rounding)) return true;
        }
        return false;
    }
    // Before the terms' ratios settle (k < settle) they may still grow
    // again (a denominator parameter plus k near 0), so the tail bound
    // waits for settle; but the terms up to settle are known in double from
    // the coefficients' logarithms. A sum stops early at k when those after
    // it and the bound on the tail after settle are all below eps of the
    // sum: a small z then takes a few terms however large its parameters.
    template <class LogTerm>
    void start_early_stop(int settle, LogTerm &&log_term_at, double settled_tail)
    {
        early_settle_ = settle;
        early_settled_tail_ = settled_tail;
        later_logs_.assign(settle + 2, -HUGE_VAL);
        for (int j = settle; j >= 0; j--) later_logs_[j] = std::max(later_logs_[j + 1], log_term_at(j));
    }
    // Whether a series stops after its term k: the terms after it (log
    // bound log_tail; -inf when it terminates) are below eps of the sum.
    // log_rounding is then eps times the largest term over the sum.
    bool stops_at(long long k, double log_tail, const Real &sum, double log_largest, poller &poll,
                  double &log_rounding)
    {
        const double log_sum = log_sum_bound(sum);
        if (log_tail > log_eps_ + log_sum) return false;
        poll.tick(k);
        log_rounding = log_eps_ + std::max(0.0, log_largest - log_sum);
        return true;
    }
    // log of a bound on the terms after k < settle: (settle - k) terms
    // below the largest of them, and the tail after settle; +inf without an
    // early stop.
    double early_rest(int k) const
    {
        if (later_logs_.empty()) return HUGE_VAL;
        return std::log(2.0) + std::max(later_logs_[k + 1] + std::log((double)(early_settle_ - k)), early_settled_tail_);
    }

    // 2F1 near z = 1 (Abramowitz & Stegun 15.3.6): with s = c~ - a~ - b~,
    //   g_m(z) = A_m F(a~ + m, b~ + m; m + 1 - s; 1 - z)
    //          + B_m (1 - z)^(s - m) F(c~ - a~, c~ - b~; s + 1 - m; 1 - z),
    //   A_m = Gamma(c~ + m) Gamma(s - m) / (Gamma(c~ - a~) Gamma(c~ - b~)),
    //   B_m = Gamma(c~ + m) Gamma(m - s) / (Gamma(a~ + m) Gamma(b~ + m)),
    // as c~ - a~ and c~ - b~ do not move with m. A_m and B_m follow from
    // A_0, B_0 by Gamma(t + 1) = t Gamma(t), so a rung takes seven Gamma
    // values. It needs every Gamma argument away from the poles.
    static bool connection_applies(const plan &p)
    {
        if (p.a.size() != 2 || p.b.size() != 1) return false;
        const long double a = p.a[0], b = p.a[1], c = p.b[0];
        for (long double v : {a, b, c - a, c - b, c - a - b})
            if (std::fabs(v - std::nearbyint(v)) < connection_least_distance) return false;
        return true;
    }
    // Whether g_m(z), z > connection_least_z, goes through the connection
    // rather than its series in z. With large parameters the series in
    // 1 - z can grow far above the value before they fall and cancel (2F1(0.5,
    // 5885.5; 5887; 0.75): terms near e^1471 against a value near 1, beyond
    // every rung), where the series in z falls from its first term: the
    // connection is taken while its largest term stays within
    // connection_excess_bits of the series in z's.
    bool connection_keeps_digits(int m, const Real &z) const
    {
        const double a = (double)(plan_.a[0] + m), b = (double)(plan_.a[1] + m), c = (double)(plan_.b[0] + m);
        const double w = 1 - z.template convert_to<double>();
        const double s = (double)(plan_.b[0] - plan_.a[0] - plan_.a[1]);
        const double through_z = log_largest_term(a, b, c, 1 - w);
        const double through_one_minus_z = std::max(log_largest_term(a, b, m + 1 - s, w),
                                                    log_largest_term(c - a - m, c - b - m, s + 1 - m, w));
        return through_one_minus_z <= through_z + connection_excess_bits * std::log(2.0);
    }
    // log of the largest |term| of the series F(a, b; c; w) (its first, 1,
    // included), in double: the terms change by the ratio
    // (a + k)(b + k) w / ((c + k)(k + 1)), which past the parameters falls
    // towards |w| < 1 for good.
    static double log_largest_term(double a, double b, double c, double w)
    {
        const double reach = std::max({std::fabs(a), std::fabs(b), std::fabs(c)}) + 1;
        double log_term = 0, largest = 0;
        for (long long k = 0; k < most_scalar_terms; k++) {
            const double ratio = std::fabs((a + k) * (b + k) * w / ((c + k) * (k + 1)));
            if (ratio == 0 || !std::isfinite(ratio)) break;   // the series ends (or a pole, refused elsewhere)
            if (k > reach && ratio < 1) break;
            log_term += std::log(ratio);
            largest = std::max(largest, log_term);
        }
        return largest;
    }
    // The coefficients of F(a, b; c; w), c(k) for the term w^(k+1), with
    // their double logarithms for the stopping rule.
    struct series_table {
        Real a, b, c;
        double a_d = 0, b_d = 0, c_d = 0, largest_parameter = 0;
        std::vector<Real> coefficients;
        std::vector<double> log_coefficients;
        std::vector<char> zero;                 // c(k) = 0: the series ends before w^(k+1)
        series_table(const Real &a_, const Real &b_, const Real &c_) : a(a_), b(b_), c(c_)
        {
            a_d = a.template convert_to<double>();
            b_d = b.template convert_to<double>();
            c_d = c.template convert_to<double>();
            largest_parameter = std::max({std::fabs(a_d), std::fabs(b_d), std::fabs(c_d)});
        }
        // A bound on |term ratio| from the term of w^(k+2) on, for k + 1 at or
        // past the largest parameter (each factor is monotone there).
        double later_ratio(int k, double w) const
        {
            return w * std::max(1.0, std::fabs(a_d + k + 1) / std::fabs(c_d + k + 1)) *
                   std::max(1.0, std::fabs(b_d + k + 1) / (k + 2));
        }
        void grow(int k)
        {
            while ((int)coefficients.size() <= k) {
                const int t = (int)coefficients.size();
                const bool ends = (t > 0 && zero.back()) || a + t == 0 || b + t == 0;
                const Real previous = t == 0 ? Real(1) : coefficients.back();
                coefficients.push_back(previous * (a + t) * (b + t) / ((c + t) * (t + 1)));
                log_coefficients.push_back((t == 0 ? 0 : log_coefficients.back()) +
                                           std::log(std::fabs((a_d + t) * (b_d + t) / ((c_d + t) * (t + 1)))));
                zero.push_back(ends);
            }
        }
    };

    void start_connection()
    {
        using boost::math::tgamma;
        const Real a = Real(plan_.a[0]), b = Real(plan_.a[1]), c = Real(plan_.b[0]);
        connection_s_ = c - a - b;
        const Real gamma_c = tgamma(c);
        connection_a_.push_back(gamma_c * tgamma(connection_s_) / (tgamma(c - a) * tgamma(c - b)));
        connection_b_.push_back(gamma_c * tgamma(-connection_s_) / (tgamma(a) * tgamma(b)));
    }
    void grow_connection(int m_last)
    {
        const Real a = Real(plan_.a[0]), b = Real(plan_.a[1]), c = Real(plan_.b[0]);
        while ((int)regular_tables_.size() <= m_last) {
            const int m = (int)regular_tables_.size();
            regular_tables_.emplace_back(a + m, b + m, m + 1 - connection_s_);
            singular_tables_.emplace_back(c - a, c - b, connection_s_ + (1 - m));
        }
        while ((int)connection_a_.size() <= m_last) {
            const int m = (int)connection_a_.size() - 1;
            connection_a_.push_back(connection_a_.back() * (c + m) / (connection_s_ - (m + 1)));
            connection_b_.push_back(connection_b_.back() * (c + m) * (m - connection_s_) / ((a + m) * (b + m)));
        }
    }
    // The connection's two series at one m: their coefficients are shared
    // by all points, so that a term costs a product and a sum there too.
    bool connected_value(int m, point &pt, Real &sum, poller &poll, double &log_rounding)
    {
        grow_connection(m);
        if (pt.connection_powers.empty()) start_connection_point(pt);
        while ((int)pt.connection_powers.size() <= m)
            pt.connection_powers.push_back(pt.connection_powers.back() * pt.inverse_w);
        Real regular, singular;
        double log_regular = 0, log_singular = 0;
        if (!table_sum(regular_tables_[m], pt, regular, log_regular, poll) ||
            !table_sum(singular_tables_[m], pt, singular, log_singular, poll))
            return false;
        regular *= connection_a_[m];
        singular *= connection_b_[m] * pt.connection_powers[m];
        sum = regular + singular;
        // Each part carries its series' rounding and a few of the type's
        // roundings from its factors; their cancellation scales both.
        const double log_parts =
            std::max(log_regular + log_sum_bound(regular), log_singular + log_sum_bound(singular));
        log_rounding = std::max(log_eps_, log_parts - log_sum_bound(sum)) + std::log(2.0);
        return true;
    }
    static void start_w(point &pt)
    {
        pt.w = 1 - pt.z;
        pt.inverse_w = 1 / pt.w;
        pt.log_w = std::log(pt.w.template convert_to<double>());
    }
    void start_connection_point(point &pt)
    {
        start_w(pt);
        pt.connection_powers.push_back(pow(pt.w, connection_s_));
    }

    // 2F1 near z = 1 when s is an integer: the connection's two series meet
    // at a pole of Gamma and merge into one with a logarithm (DLMF 15.8.10,
    // Abramowitz & Stegun 15.3.11). With w = 1 - z and M = |s - m|,
    // g_m = F(U, V; U + V + M; z) with (U, V) = (a~ + m, b~ + m) for
    // s - m >= 0, and g_m = w^(s - m) F(U, V; U + V + M; z) with
    // (U, V) = (c~ - a~, c~ - b~) below (Euler's transformation), where
    //   F = P sum_{k<M} (U)_k (V)_k (M - k - 1)! / k! (-w)^k
    //     - (-w)^M Q / M! sum_k e_k w^k (log w + d_k),
    //   e_k = (U + M)_k (V + M)_k / ((M + 1)_k k!), the series of F(U + M, V + M; M + 1; w),
    //   d_k = psi(U + M + k) + psi(V + M + k) - psi(k + 1) - psi(M + k + 1),
    //   P = Gamma(c~ + m) / (Gamma(U + M) Gamma(V + M)), Q = Gamma(c~ + m) / (Gamma(U) Gamma(V)).
    // U + M, V + M are c~ - b~, c~ - a~ for s - m >= 0 and b~ + m, a~ + m
    // below, so P and Q are, in turn, G = Gamma(c~ + m) / (Gamma(c~ - a~) Gamma(c~ - b~))
    // and H = Gamma(c~ + m) / (Gamma(a~ + m) Gamma(b~ + m)), both following
    // from m = 0 by Gamma(t + 1) = t Gamma(t), and the digamma values follow
    // from four by psi(t + 1) = psi(t) + 1 / t. It needs a~, b~, c~ - a~ and
    // c~ - b~ away from the integers, as the connection does.
    static bool log_connection_applies(const plan &p)
    {
        if (p.a.size() != 2 || p.b.size() != 1) return false;
        const Real s = Real(p.b[0]) - Real(p.a[0]) - Real(p.a[1]);
        if (s != round(s) || abs(s) > most_log_order) return false;
        for (long double v : {p.a[0], p.a[1], p.b[0] - p.a[0], p.b[0] - p.a[1]})
            if (std::fabs(v - std::nearbyint(v)) < connection_least_distance) return false;
        return true;
    }
    // psi(t + j), j = 0, 1, ..., from psi(t) (computed when first asked).
    struct digamma_run {
        Real t;
        std::vector<Real> values;
        const Real &at(int j)
        {
            if (values.empty()) values.push_back(boost::math::digamma(t));
            while ((int)values.size() <= j) {
                const Real next = values.back() + 1 / (t + (int)(values.size() - 1));
                values.push_back(next);
            }
            return values[j];
        }
    };
    // One m of the logarithmic case.
    struct log_table {
        int order;                      // M
        bool euler;                     // s - m < 0
        Real finite_factor;             // P
        Real log_factor;                // -(-1)^M Q / M!
        std::vector<Real> finite;       // (U)_k (V)_k (M - k - 1)! / k! (-1)^k, k < M
        series_table series;            // F(U + M, V + M; M + 1; w): e_(k+1) is its coefficients[k]
        std::vector<Real> digammas;     // d_k
        log_table(const Real &u, const Real &v, int order_, bool euler_)
            : order(order_), euler(euler_), series(u + order_, v + order_, Real(order_ + 1)) {}
    };
    void start_log_connection()
    {
        using boost::math::tgamma;
        const Real a = Real(plan_.a[0]), b = Real(plan_.a[1]), c = Real(plan_.b[0]);
        log_s_ = (c - a - b).template convert_to<int>();
        euler_gamma_ = boost::math::constants::euler<Real>();
        const Real gamma_c = tgamma(c);
        gamma_ratio_fixed_.push_back(gamma_c / (tgamma(c - a) * tgamma(c - b)));
        gamma_ratio_moving_.push_back(gamma_c / (tgamma(a) * tgamma(b)));
        psi_a_.t = a;
        psi_b_.t = b;
        psi_ca_.t = c - a;
        psi_cb_.t = c - b;
        harmonic_.push_back(Real(0));
    }
    // The table of m (and those below it, once each: their finite sums'
    // coefficients count as terms).
    log_table &log_table_at(int m, poller &poll)
    {
        const Real a = Real(plan_.a[0]), b = Real(plan_.a[1]), c = Real(plan_.b[0]);
        while ((int)gamma_ratio_fixed_.size() <= m) {
            const int j = (int)gamma_ratio_fixed_.size() - 1;
            gamma_ratio_fixed_.push_back(gamma_ratio_fixed_.back() * (c + j));
            gamma_ratio_moving_.push_back(gamma_ratio_moving_.back() * (c + j) / ((a + j) * (b + j)));
        }
        while ((int)log_tables_.size() <= m) {
            const int j = (int)log_tables_.size();
            const bool euler = log_s_ - j < 0;
            const int order = std::abs(log_s_ - j);
            const Real u = euler ? c - a : a + j, v = euler ? c - b : b + j;
            log_table t(u, v, order, euler);
            t.finite_factor = euler ? gamma_ratio_moving_[j] : gamma_ratio_fixed_[j];
            Real factorial = 1;                                     // M!
            for (int i = 2; i <= order; i++) factorial *= i;
            const Real q = euler ? gamma_ratio_fixed_[j] : gamma_ratio_moving_[j];
            t.log_factor = (order % 2 == 0 ? -q : q) / factorial;
            Real f = order > 0 ? factorial / order : Real(0);       // (M - 1)!
            for (int k = 0; k < order; k++) {
                t.finite.push_back(f);
                if (k + 1 < order) f *= -(u + k) * (v + k) / ((k + 1) * Real(order - k - 1));
            }
            log_tables_.push_back(std::move(t));
            poll.tick(order);
        }
        return log_tables_[m];
    }
    const Real &digamma_at(log_table &t, int m, int k)
    {
        while ((int)t.digammas.size() <= k) {
            const int j = (int)t.digammas.size();
            const Real psis = t.euler ? psi_b_.at(m + j) + psi_a_.at(m + j) : psi_cb_.at(j) + psi_ca_.at(j);
            t.digammas.push_back(psis + 2 * euler_gamma_ - harmonic(j) - harmonic(t.order + j));
        }
        return t.digammas[k];
    }
    // H_j, by value: a second call may move the table.
    Real harmonic(int j)
    {
        while ((int)harmonic_.size() <= j) {
            const Real next = harmonic_.back() + Real(1) / (int)harmonic_.size();
            harmonic_.push_back(next);
        }
        return harmonic_[j];
    }
    static void grow_w_powers(point &pt, int count)
    {
        while ((int)pt.w_powers.size() < count)
            pt.w_powers.push_back(pt.w_powers.empty() ? pt.w : pt.w_powers.back() * pt.w);
    }
    bool log_connected_value(int m, point &pt, Real &sum, poller &poll, double &log_rounding)
    {
        log_table &t = log_table_at(m, poll);
        if (!pt.log_started) {
            start_w(pt);
            pt.log_w_exact = log(pt.w);
            pt.log_started = true;
        }
        grow_w_powers(pt, t.order);
        Real finite = 0;
        double log_finite_largest = -HUGE_VAL;
        for (int k = 0; k < t.order; k++) {
            const Real term = k == 0 ? t.finite[0] : t.finite[k] * pt.w_powers[k - 1];
            finite += term;
            log_finite_largest = std::max(log_finite_largest, log_sum_bound(term));
        }
        poll.tick(t.order);
        Real with_log, plain;
        double log_series_largest = 0;
        if (!log_series(t, m, pt, with_log, plain, log_series_largest, poll)) return false;
        const Real scale = t.order == 0 ? t.log_factor : t.log_factor * pt.w_powers[t.order - 1];
        const Real finite_part = t.finite_factor * finite;
        sum = finite_part + scale * (pt.log_w_exact * with_log + plain);
        // The parts' largest terms against the value: their cancellation
        // scales the type's rounding, as in the connection.
        const double log_parts = std::max(log_sum_bound(t.finite_factor) + log_finite_largest,
                                          log_sum_bound(scale) + log_series_largest);
        log_rounding = std::max(log_eps_, log_eps_ + log_parts - log_sum_bound(sum)) + std::log(4.0);
        if (t.euler) {
            while ((int)pt.inverse_w_powers.size() < t.order)
                pt.inverse_w_powers.push_back(pt.inverse_w_powers.empty() ? pt.inverse_w
                                                                          : pt.inverse_w_powers.back() * pt.inverse_w);
            sum *= pt.inverse_w_powers[t.order - 1];
        }
        return true;
    }
    // sum_k e_k w^k and sum_k e_k d_k w^k, to eps of the larger of |log w|
    // times the first and the second; log_largest: log of the largest
    // |e_k w^k| (|log w| + |d_k|). Past the largest parameter the term ratio
    // is at most r (as in table_sum) and |d_k| grows by at most delta a term
    // (psi(t + 1) - psi(t) = 1 / t falls with t > 0), so the terms after k
    // are at most |e_k w^k| r / (1 - r) (|log w| + |d_k| + delta / (1 - r)).
    bool log_series(log_table &t, int m, point &pt, Real &with_log, Real &plain, double &log_largest,
                    poller &poll)
    {
        series_table &e = t.series;
        const double log_w_size = std::fabs(pt.log_w);
        with_log = 1;
        plain = digamma_at(t, m, 0);
        log_largest = std::log(log_w_size + std::fabs(plain.template convert_to<double>()));
        const int settle = (int)std::max(0.0, std::min<double>(std::ceil(e.largest_parameter), most_scalar_terms) - 1);
        for (int k = 0; k < most_scalar_terms; k++) {
            e.grow(k);
            grow_w_powers(pt, k + 1);
            const Real term = e.coefficients[k] * pt.w_powers[k];          // e_(k+1) w^(k+1)
            const Real &d = digamma_at(t, m, k + 1);
            with_log += term;
            plain += term * d;
            const double d_size = std::fabs(d.template convert_to<double>());
            const double log_term = e.log_coefficients[k] + (k + 1) * pt.log_w;
            log_largest = std::max(log_largest, log_term + std::log(log_w_size + d_size));
            if (k < settle) continue;
            const double r = e.later_ratio(k, std::exp(pt.log_w));
            if (r >= 1) continue;
            const double delta = 1 / std::fabs(e.a_d + k + 1) + 1 / std::fabs(e.b_d + k + 1) + 1.0 / (k + 2) +
                                 1.0 / (t.order + k + 2);
            const double log_tail = log_term + std::log(r / (1 - r)) + std::log(log_w_size + d_size + delta / (1 - r));
            const double log_size = std::max(log_sum_bound(with_log) + std::log(log_w_size), log_sum_bound(plain));
            if (log_tail <= log_eps_ + log_size) {
                poll.tick(k);
                return true;
            }
        }
        return false;
    }
    // F(a, b; c; w) for 0 < w <= 1/2 from its table, to about eps relative,
    // and its rounding (log of eps times the largest term over the value).
    // Past the largest parameter the term ratio
    // |(a + k)(b + k) / ((c + k)(k + 1))| w is at most
    // r = w max(1, |a + k| / |c + k|) max(1, |b + k| / (k + 1)) from then on,
    // each factor being monotone there: the tail is at most |term| r / (1 - r).
    bool table_sum(series_table &table, point &pt, Real &sum, double &log_rounding, poller &poll)
    {
        sum = 1;
        double log_largest = 0;
        // The bound below holds from the first k + 1 at or past the largest parameter.
        const int settle = (int)std::max(0.0, std::min<double>(std::ceil(table.largest_parameter), most_scalar_terms) - 1);
        auto log_term_at = [&](int j) { return table.log_coefficients[j] + (j + 1) * pt.log_w; };
        auto tail_after = [&](int k, double log_term) {
            const double later_ratio = table.later_ratio(k, std::exp(pt.log_w));
            if (later_ratio >= 1) return HUGE_VAL;
            return log_term + std::log(later_ratio) - std::log1p(-later_ratio);
        };
        later_logs_.clear();
        if (settle <= most_early_terms) {
            table.grow(settle);
            start_early_stop(settle, log_term_at, tail_after(settle, log_term_at(settle)));
        }
        for (int k = 0; k < most_scalar_terms; k++) {
            table.grow(k);
            if (table.zero[k])                                        // a terminating series
                return stops_at(k, -HUGE_VAL, sum, log_largest, poll, log_rounding);
            grow_w_powers(pt, k + 1);
            sum += table.coefficients[k] * pt.w_powers[k];         // the term of w^(k+1)
            const double log_term = log_term_at(k);
            log_largest = std::max(log_largest, log_term);
            const double log_tail = k < settle ? early_rest(k) : tail_after(k, log_term);
            if (stops_at(k, log_tail, sum, log_largest, poll, log_rounding)) return true;
        }
        return false;
    }

    // For q = 1 and p <= 2 the family solves an ODE of order two; with
    // g_m' = P(m) g_{m+1} it gives the three-term relation in m
    //   g_m = (1 - u_m z) g_{m+1} + v_m w(z) g_{m+2},
    // u_m = s_m / (b + m), s_m = 0, 1, a_1 + a_2 + 2m + 1 for p = 0, 1, 2,
    // v_m = prod (a + m + 1) / ((b + m)(b + m + 1)), w(z) = z (1 - z) for
    // p = 2 and z otherwise (docs/matrix_pfq.md). Each direction is stable
    // where g_m is the dominant solution that way, which depends on z and on
    // b + m (1F1 at z > 0: forward below b + m ~ z, backward above; at z < 0
    // backward). So the relation runs over a segment of m forward from the
    // series at its two lowest m and backward from those at its two highest;
    // each m takes the forward value up to the m where the two agree best,
    // the backward one beyond. Their agreement there, within the rounding of
    // the series they start from, is the check: a segment where they do not
    // meet is split in two at two more series, down to segments short
    // enough to take their series. The rungs' difference still measures the
    // whole value's error.
    bool recurrence(point &pt, int count, std::vector<Real> &g, poller &poll)
    {
        const int top = count - 1;
        grow_relation(top);
        double log_rounding = log_eps_;
        for (int m : {0, 1, top - 1, top})
            if (!anchor(m, pt, g, poll, log_rounding)) return false;
        return fill_segment(pt, 0, top, g, log_rounding, poll);
    }
    // g_m by its series, with the largest rounding of the anchors so far.
    bool anchor(int m, point &pt, std::vector<Real> &g, poller &poll, double &log_rounding)
    {
        double log_each = 0;
        if (!value(m, pt, g[m], poll, log_each)) return false;
        log_rounding = std::max(log_rounding, log_each);
        return true;
    }
    // g_m for lo + 1 < m < hi - 1 from the anchors g at lo, lo + 1, hi - 1, hi.
    bool fill_segment(point &pt, int lo, int hi, std::vector<Real> &g, double &log_rounding, poller &poll)
    {
        if (hi - lo + 1 < least_recurrence_count) {
            for (int m = lo + 2; m <= hi - 2; m++)
                if (!value(m, pt, g[m], poll)) return false;
            return true;
        }
        const Real w = plan_.a.size() == 2 ? pt.z * (1 - pt.z) : pt.z;
        std::vector<Real> forward(g.begin() + lo, g.begin() + hi + 1), backward = forward;
        for (int m = hi - 2; m >= lo; m--)
            backward[m - lo] = (1 - u_[m] * pt.z) * backward[m + 1 - lo] + v_[m] * w * backward[m + 2 - lo];
        int forward_end = lo + 1;                               // last m with a forward value
        if (w != 0) {
            const Real inverse_w = 1 / w;
            for (int m = lo; m + 2 <= hi && !zero_v_[m]; m++, forward_end++)
                forward[m + 2 - lo] = (forward[m - lo] - (1 - u_[m] * pt.z) * forward[m + 1 - lo]) *
                                      inverse_v_[m] * inverse_w;
        }
        int meeting = lo + 1;
        double log_gap = HUGE_VAL;
        for (int m = lo + 1; m <= std::min(forward_end, hi - 1); m++) {
            const double gap = log_relative_gap(forward[m - lo], backward[m - lo]);
            if (gap < log_gap) { log_gap = gap; meeting = m; }
        }
        if (log_gap <= log_rounding + meeting_guard_bits * std::log(2.0)) {
            for (int m = lo + 2; m <= hi - 2; m++) g[m] = m <= meeting ? forward[m - lo] : backward[m - lo];
            return true;
        }
        const int middle = lo + (hi - lo) / 2;
        return anchor(middle, pt, g, poll, log_rounding) && anchor(middle + 1, pt, g, poll, log_rounding) &&
               fill_segment(pt, lo, middle + 1, g, log_rounding, poll) &&
               fill_segment(pt, middle, hi, g, log_rounding, poll);
    }
    // log(|f - b| / max(|f|, |b|)) from above within log 4, read off the
    // exponents (a division per m would cost as much as the relation
    // itself); -inf when f = b, +inf when either is not finite (a run that
    // left the range agrees with nothing).
    static double log_relative_gap(const Real &f, const Real &b)
    {
        using std::abs;
        if (!boost::multiprecision::isfinite(f) || !boost::multiprecision::isfinite(b)) return HUGE_VAL;
        const Real difference = f - b;
        if (difference == 0) return -HUGE_VAL;
        int exponent_difference = 0, exponent_larger = 0;
        frexp(difference, &exponent_difference);
        frexp(std::max(abs(f), abs(b)), &exponent_larger);
        return (exponent_difference - exponent_larger + 1) * std::log(2.0);
    }
    // u_m, v_m and 1 / v_m of the relation for m up to the given one.
    void grow_relation(int m_last)
    {
        while ((int)u_.size() <= m_last) {
            const int m = (int)u_.size();
            const Real b = Real(plan_.b[0]) + m;
            Real s = 0;
            if (plan_.a.size() == 1) s = 1;
            if (plan_.a.size() == 2) s = Real(plan_.a[0]) + Real(plan_.a[1]) + (2 * m + 1);
            Real v = 1 / (b * (b + 1));
            for (long double a : plan_.a) v *= Real(a) + (m + 1);
            u_.push_back(s / b);
            v_.push_back(v);
            zero_v_.push_back(v == 0);
            inverse_v_.push_back(v == 0 ? Real(0) : 1 / v);
        }
    }
    double log_integer(long long k)
    {
        while ((long long)log_integers_.size() <= k) log_integers_.push_back(std::log((double)log_integers_.size()));
        return log_integers_[k];
    }

    // log|sum| from below within log 2: only the exponent is read.
    static double log_sum_bound(const Real &sum)
    {
        int exponent = 0;
        frexp(sum, &exponent);
        return (exponent - 1) * std::log(2.0);
    }
    void grow_ratios(int s)
    {
        while ((int)ratios_.size() <= s) {
            const int t = (int)ratios_.size();
            Real r = 1;
            double log_r = 0;
            bool zero = false;
            for (long double v : plan_.a) {
                r *= Real(v) + t;
                zero |= v + t == 0;
                log_r += std::log(std::fabs((double)(v + t)));
            }
            for (long double v : plan_.b) {
                r /= Real(v) + t;
                log_r -= std::log(std::fabs((double)(v + t)));
            }
            ratios_.push_back(r);
            log_ratios_.push_back(log_r);
            zero_ratio_.push_back(zero);
        }
    }
    // c_m(k + 1) for k up to the given one.
    void grow_coefficients(int m, int k)
    {
        grow_ratios(m + k);
        std::vector<Real> &c = coefficients_[m];
        std::vector<double> &log_c = log_coefficients_[m];
        while ((int)c.size() <= k) {
            const int t = (int)c.size();
            c.push_back((t == 0 ? Real(1) : c.back()) * ratios_[m + t] / (t + 1));
            log_c.push_back((t == 0 ? 0 : log_c.back()) + log_ratios_[m + t] - log_integer(t + 1));
        }
    }

    const plan &plan_;
    double log_eps_;
    bool three_term_;                   // q = 1, p <= 2: the relation in m holds
    bool connection_;                   // 2F1 with the connection to 1 - z
    bool log_connection_;               // the same where s is an integer
    exponential<Real> exponential_;     // 0F0's g_m
    Real connection_s_;                 // c~ - a~ - b~
    // The logarithmic case: s; G and H of m; psi(t + j) for t = a~, b~,
    // c~ - a~, c~ - b~; the harmonic numbers H_j; the tables of each m.
    int log_s_ = 0;
    Real euler_gamma_;
    std::vector<Real> gamma_ratio_fixed_, gamma_ratio_moving_;
    digamma_run psi_a_, psi_b_, psi_ca_, psi_cb_;
    std::vector<Real> harmonic_;
    std::vector<log_table> log_tables_;
    std::vector<Real> connection_a_, connection_b_;     // A_m, B_m
    std::vector<series_table> regular_tables_, singular_tables_;   // the two series at m
    std::vector<Real> u_, v_, inverse_v_;
    std::vector<char> zero_v_;
    std::vector<double> log_integers_;  // log k
    // The early stop of the sum under way: its settle, the bound on the
    // tail after it and the largest log term from each j to it.
    int early_settle_ = 0;
    double early_settled_tail_ = HUGE_VAL;
    std::vector<double> later_logs_;
    std::vector<Real> ratios_;
    std::vector<double> log_ratios_;
    std::vector<char> zero_ratio_;
    std::vector<std::vector<Real>> coefficients_;
    std::vector<std::vector<double>> log_coefficients_;
};

// Binomial coefficients C(j, s), rows j < n, in Real.
template <class Real>
std::vector<std::vector<Real>> binomials(int n)
{
    std::vector<std::vector<Real>> c(n);
    for (int j = 0; j < n; j++) {
        c[j].assign(j + 1, Real(1));
        for (int s = 1; s < j; s++) c[j][s] = c[j - 1][s - 1] + c[j - 1][s];
    }
    return c;
}

// The Taylor coefficients at centre c of the row functions of one cluster:
// taylor[r * n + j] = f_j^(r)(c) / r!, r < order. One argument:
// f_j(x) = x^j g_j(x), g_j^(r)(c) / r! = e(j, r) g_{j+r}(c) with
// e(j, r) = prod_{t<r} P(j + t) / (t + 1), and x^j expanded binomially. Two
// arguments: f_j(x) = g_0(x y_j), f_j^(r)(c) / r! = e(0, r) g_r(c y_j) y_j^r.
template <class Real>
bool cluster_taylor(const plan &p, scalar_family<Real> &family,
                    const std::vector<std::vector<Real>> &binomial, const Real &centre, int order,
                    std::vector<typename scalar_family<Real>::factor> &columns, std::vector<Real> &taylor,
                    poller &poll)
{
    const int n = p.n;
    taylor.assign((std::size_t)order * n, Real(0));
    if (p.two && order == 1) {                                 // a lone node: its values
        typename scalar_family<Real>::factor row = family.factor_of(centre);
        for (int j = 0; j < n; j++)
            if (!family.product_value(row, columns[j], taylor[j], poll)) return false;
        return true;
    }
    if (p.two) {
        for (int j = 0; j < n; j++) {
            const Real y = Real(p.y[j]);
            Real weight = 1, g;
            typename scalar_family<Real>::point pt = family.at(centre * y);
            for (int r = 0; r < order; r++) {
                if (!family.value(r, pt, g, poll)) return false;
                taylor[(std::size_t)r * n + j] = weight * g;
                weight *= family.ratio(r) * y / (r + 1);
            }
        }
        return true;
    }
    std::vector<Real> g;
    typename scalar_family<Real>::point pt = family.at(centre);
    if (!family.values(pt, n + order, g, poll)) return false;
    std::vector<Real> powers(n, Real(1));                      // c^k
    for (int k = 1; k < n; k++) powers[k] = powers[k - 1] * centre;
    std::vector<Real> of_g(order);
    for (int j = 0; j < n; j++) {
        Real weight = 1;
        for (int r = 0; r < order; r++) {
            of_g[r] = weight * g[j + r];
            weight *= family.ratio(j + r) / (r + 1);
        }
        if (order == 1) {                                      // a lone node: its value
            taylor[j] = powers[j] * of_g[0];
            continue;
        }
        for (int r = 0; r < order; r++) {
            Real sum = 0;
            for (int s = 0; s <= std::min(r, j); s++)
                sum += binomial[j][s] * powers[j - s] * of_g[r - s];
            taylor[(std::size_t)r * n + j] = sum;
        }
    }
    return true;
}

template <class Real>
Real pochhammer(const Real &v, int m)
{
    Real product = 1;
    for (int k = 0; k < m; k++) product *= v + k;
    return product;
}

enum class rung_state { done, failed, interrupted, over_budget };

// What the threads filling one rung's rows share. A thread claims the
// clusters in turn and computes their rows with a scalar family of its own
// (whose caches fill as its points ask): a cluster's rows do not depend on
// the thread or on the order, so the bits are the same for any thread count.
template <class Real>
struct row_team {
    row_team(const plan &p_, int bits_, std::vector<Real> &rows_) : p(p_), bits(bits_), rows(rows_) {}
    const plan &p;
    int bits;
    std::vector<Real> &rows;
    const std::vector<std::vector<Real>> binomial = binomials<Real>(p.n);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};      // the caller asked, or a series failed
    std::atomic<bool> failed{false};    // a scalar series did not end
    std::atomic<bool> over_budget{false};
    std::atomic<long long> terms{0};     // summed by the whole team
};

// One thread's share of the rows; `check` is the caller's interrupt_check
// on the calling thread and null on the others.
template <class Real>
void fill_rows(row_team<Real> &team, const interrupt_check *check)
{
    const plan &p = team.p;
    const int n = p.n;
    scalar_family<Real> family(p, team.bits);
    poller poll(check, &team.stop, &team.terms, p.term_limit);
    std::vector<Real> taylor;
    std::vector<typename scalar_family<Real>::factor> columns;   // y_j, two arguments
    for (long double y : p.y) columns.push_back(family.factor_of(Real(y)));
    for (;;) {
        const std::size_t k = team.next.fetch_add(1, std::memory_order_relaxed);
        if (k >= p.clusters.size() || team.stop.load(std::memory_order_relaxed)) break;
        const alternant::cluster &c = p.clusters[k];
        const int order = c.count == 1 ? 1 : alternant::taylor_order(c.count, p.decays[k], team.bits);
        const Real centre = c.count == 1 ? Real(p.x[c.first]) : Real(c.centre);
        if (!cluster_taylor(p, family, team.binomial, centre, order, columns, taylor, poll)) {
            team.failed = true;
            team.stop = true;
            break;
        }
        if (poll.over_budget) {
            team.over_budget = true;
            team.stop = true;
        }
        if (poll.stop) break;
        std::vector<Real> offsets(c.count);
        for (std::size_t l = 0; l < c.count; l++) offsets[l] = Real(p.x[c.first + l]) - centre;
        alternant::cluster_rows(offsets, taylor, order, n, &team.rows[c.first * n]);
    }
}

// The rows of every cluster, on p.threads threads where the clusters are
// many enough. An exception on a worker (no memory) leaves through the
// caller once every worker has been joined; a thread the system refuses
// leaves its share to the others.
template <class Real>
rung_state fill_all_rows(const plan &p, int bits, std::vector<Real> &rows, long long &terms)
{
    row_team<Real> team(p, bits, rows);
    const int threads = p.clusters.size() >= least_clusters_for_threads
                            ? (int)std::min<std::size_t>(p.threads, p.clusters.size()) : 1;
    {
        thread_team workers([&team] { team.stop = true; });
        workers.start(threads, [&team](int) { fill_rows(team, nullptr); });
        try {
            fill_rows(team, p.interrupt);
        } catch (...) {
            team.stop = true;           // the workers stop; the team waits for them
            throw;
        }
        workers.join();
    }
    terms += team.terms;
    if (team.failed) return rung_state::failed;
    if (team.over_budget) return rung_state::over_budget;
    return team.stop ? rung_state::interrupted : rung_state::done;
}

// The value at one precision: the determinant of the cluster rows over the
// cross-cluster gaps of x, and for two arguments over V(y) times K.
template <class Real>
rung_state value_in(const plan &p, int bits, long double &value, long long &terms)
{
    const int n = p.n;
    std::vector<Real> rows((std::size_t)n * n);
    const rung_state filled = fill_all_rows(p, bits, rows, terms);
    if (filled != rung_state::done) return filled;
    // The gaps are multiplied first and divided once: a division costs
    // several products in these types, whose exponent range holds the product.
    Real gaps = 1;
    for (std::size_t s = 0; s < p.clusters.size(); s++)
        for (std::size_t t = s + 1; t < p.clusters.size(); t++)
            for (std::size_t i = 0; i < p.clusters[s].count; i++)
                for (std::size_t l = 0; l < p.clusters[t].count; l++)
                    gaps *= Real(p.x[p.clusters[t].first + l]) - Real(p.x[p.clusters[s].first + i]);
    if (p.two)
        for (int i = 0; i < n; i++)
            for (int l = i + 1; l < n; l++) gaps *= Real(p.y[l]) - Real(p.y[i]);
    Real result = alternant::determinant(rows, n, p.threads) / gaps;
    if (p.two) {
        Real factorial = 1;
        for (int m = 0; m < n; m++) {
            if (m > 0) factorial *= m;
            result *= factorial;
            for (long double v : p.b) result *= pochhammer(Real(v), m);
            for (long double v : p.a) result /= pochhammer(Real(v), m);
        }
    }
    value = result.template convert_to<long double>();
    return std::isfinite(value) ? rung_state::done : rung_state::failed;
}

// The products a rung's rows take besides their scalar terms, known before
// it starts: each cluster's Taylor expansions of x^j g_j (one argument) and
// its divided differences (alternant::cluster_rows).
long double cluster_operations(const plan &p, int bits)
{
    long double operations = 0;
    for (std::size_t k = 0; k < p.clusters.size(); k++) {
        const alternant::cluster &c = p.clusters[k];
        if (c.count == 1) continue;
        const long double order = alternant::taylor_order(c.count, p.decays[k], bits);
        if (!p.two) operations += (long double)p.n * order * std::min<long double>(order, p.n) / 2;
        operations += (long double)c.count * p.n * order;
    }
    return operations;
}

rung_state value_at_rung(const plan &p, int rung, long double &value, long long &terms)
{
    return precision_ladder::at_rung(rung, [&](auto zero) {
        return value_in<decltype(zero)>(p, rung_bits[rung], value, terms);
    });
}

// The error of a rung's value from its difference to the rung below: the
// difference itself where it meets tol (it bounds the lower rung's error,
// and the higher one's is smaller), else extrapolated within its reach.
long double rung_error(long double difference, long double size, double tol, int rung)
{
    if (difference <= agreement_share * tol * size || difference > extrapolation_reach * size) return difference;
    return std::ldexp(difference, rung_bits[rung - 1] - rung_bits[rung] + extrapolation_margin_bits);
}

} // namespace

bool determinant_applies(const series_input &in)
{
    const int n = (int)in.x.size();
    if (in.alpha != 1 || n < 2) return false;
    if (in.a.size() > in.b.size() + 1) return false;
    for (long double v : in.b)
        if (nonpositive_integer(v - (n - 1))) return false;    // a pole of some g_m
    const bool two = !in.y.empty();
    if (in.a.size() == in.b.size() + 1) {
        const long double reach = max_abs(in.x) * (two ? max_abs(in.y) : 1);
        if (!(reach < 1)) return false;
    }
    if (!two) return true;
    for (long double v : in.a)
        for (int k = 0; k + 1 < n; k++)
            if (v - (n - 1) + k == 0) return false;             // K would divide by 0
    plan p = make_plan(in);
    std::vector<alternant::cluster> of_y = clusters_of(p.y, std::max(max_abs(p.x), 1e-300L),
                                                      derivative_scale(p.a, p.b, n), p.geometric);
    return all_alone(of_y);
}

series_outcome sum_determinant(const series_input &in, const series_control &ctl)
{
    series_outcome out;
    out.route = "determinant (alpha = 1)";
    out.degree = 0;
    if (!determinant_applies(in)) {
        out.state = series_state::refused;
        out.message = "the determinant route does not apply";
        return out;
    }
    plan p = make_plan(in);
    p.interrupt = ctl.interrupt;
    p.threads = std::max(ctl.threads, 1);
    // The elimination's and the clusters' products are known before a rung
    // starts: a rung that cannot afford them is not begun, and its scalar
    // terms have the rest.
    const long double elimination = (long double)p.n * p.n * p.n / 3;
    long double previous = 0;
    for (int rung = 0; rung < rung_count; rung++) {
        const long long per_operation = rung_bits[rung] / bits_per_work_unit;
        const long double fixed = elimination + cluster_operations(p, rung_bits[rung]);
        if (ctl.work_left) {
            const long double affordable = (long double)*ctl.work_left / per_operation - fixed;
            if (affordable <= 0) {
                out.state = series_state::refused;
                out.message = "the determinant route is beyond the work budget";
                return out;
            }
            p.term_limit = (long long)affordable;
        }
        long double value = 0;
        const long long terms_before = out.partitions;
        const rung_state state = value_at_rung(p, rung, value, out.partitions);
        // A rung stopped over the budget is charged its limit, and one whose
        // series failed (it is bounded by most_scalar_terms a thread) nothing:
        // the terms summed before the threads saw the stop vary with their timing.
        if (state == rung_state::over_budget) out.partitions = terms_before + p.term_limit;
        if (state == rung_state::failed) out.partitions = terms_before;
        if (ctl.work_left)
            *ctl.work_left -= (long long)((out.partitions - terms_before + fixed) * per_operation);
        if (state == rung_state::over_budget) {
            out.state = series_state::refused;
            out.message = "the determinant route is beyond the work budget";
            return out;
        }
        if (state == rung_state::interrupted) {
            out.state = series_state::interrupted;
            return out;
        }
        if (state == rung_state::failed) {
            out.state = series_state::refused;
            out.message = "a scalar series of the determinant route does not end";
            return out;
        }
        if (rung > 0) {
            const long double error = rung_error(std::fabs(value - previous), std::fabs(value), ctl.tol, rung);
            out.sum = value;
            out.rounding = error + 2 * unit_ld * std::fabs(value);
            out.state = error <= agreement_share * ctl.tol * std::fabs(value)
                            ? series_state::converged : series_state::not_converged;
            if (out.state == series_state::converged) return out;
        }
        previous = value;
    }
    out.message = "the determinant's cancellation exceeds tol at every precision";
    return out;
}

} // namespace pfq_detail
} // namespace matrixhyper
