// pfq_evaluate.cpp: matrix_pfq: checks, reduction, closed forms, relations and the
// series routes, and turns a series outcome into a value with an error bound.
#include "matrixhyper/matrix_pfq.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

#include "matrixhyper/sorn_series.h"
#include "pfq_determinant.h"
#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;
const double unit_d = std::numeric_limits<double>::epsilon() / 2;

// A termination degree beyond any cap, kept within int: a series that ends
// later is, for every route, one that does not end.
const long double latest_termination = 1e9L;
// The degree whose tables must fit the memory limit before any work when
// no max_degree is given: the tables grow degree by degree and stop at the
// limit themselves, so only a request that cannot even start is refused.
const int least_table_degree = 4;

// A request reduced to one series: what is summed, and the prefactor
// exp(log_prefactor) (positive) with its relative rounding bound.
struct candidate {
    series_input series;
    long double log_prefactor = 0;
    long double prefactor_error = 0;
    std::string relation;
    long double reach = 0;                               // largest |eigenvalue| summed
    int termination = -1;
};

// Outcome of one attempt, relative error included.
struct attempt {
    pfq_status status = pfq_status::not_converged;
    long double sum = 0, log_prefactor = 0;
    long double rel_err = HUGE_VALL;
    int degree = 0;
    std::string method, message;
};

bool nonpositive_integer(long double v) { return v <= 0 && v == std::floor(v); }

// Longest row i (0-based) that (c)_kappa allows before vanishing; -1: none.
long double row_bound(long double c, int i, long double alpha)
{
    long double v = c - (long double)i / alpha;
    return nonpositive_integer(v) ? -v : -1;
}

// Degree beyond which every term vanishes, or -1.
int termination_degree(const std::vector<long double> &a, int n, long double alpha)
{
    long double best = -1;
    for (long double c : a) {
        long double bound = row_bound(c, 0, alpha);
        if (bound < 0) continue;
        long double total = 0;
        for (int i = 0; i < n; i++) {
            long double row = row_bound(c, i, alpha);
            if (row >= 0) bound = std::min(bound, row);
            total += bound;
        }
        if (best < 0 || total < best) best = total;
    }
    return best < 0 ? -1 : (int)std::min<long double>(best, latest_termination);
}

// True when some denominator vanishes on a partition whose numerator does
// not: the series is undefined.
bool pole_reached(const series_input &s, int n)
{
    for (long double b : s.b)
        for (int i = 0; i < n; i++) {
            long double pole = row_bound(b, i, s.alpha);
            if (pole < 0) continue;                      // box (i, pole + 1) is the pole
            bool numerator_alive = true;
            for (long double a : s.a)
                for (int r = 0; r <= i; r++) {
                    long double zero = row_bound(a, r, s.alpha);
                    if (zero >= 0 && zero < pole + 1) numerator_alive = false;
                }
            if (numerator_alive) return true;
        }
    return false;
}

long double max_abs(const std::vector<long double> &v)
{
    long double m = 0;
    for (long double e : v) m = std::max(m, std::fabs(e));
    return m;
}

bool all_equal(const std::vector<double> &v)
{
    for (double e : v) if (e != v[0]) return false;
    return true;
}

// The plain series of a request (reach: limit ratio of its terms).
candidate plain(const series_input &s)
{
    candidate c;
    c.series = s;
    c.relation = "";
    c.reach = max_abs(s.x) * (s.y.empty() ? 1 : max_abs(s.y));
    c.termination = termination_degree(s.a, (int)s.x.size(), s.alpha);
    return c;
}

// log det(I - X) summed in long double, with its absolute rounding bound.
long double log_det(const std::vector<long double> &x, long double &abs_bound)
{
    long double total = 0;
    abs_bound = 0;
    for (long double v : x) {
        long double l = std::log1p(-v);
        total += l;
        abs_bound += 2 * std::fabs(l) + 1;
    }
    abs_bound *= unit_ld;
    return total;
}

// 2F1 relations: Pfaff on a, Pfaff on b, Euler (all eigenvalues below 1).
void add_2f1_relations(const series_input &s, std::vector<candidate> &out)
{
    const long double a = s.a[0], b = s.a[1], c = s.b[0];
    long double bound;
    long double ld = log_det(s.x, bound);
    std::vector<long double> z;
    for (long double v : s.x) z.push_back(v / (v - 1));
    struct variant { const char *name; long double p1, p2; std::vector<long double> pts; long double power; };
    std::vector<variant> vs = {{"pfaff-a", a, c - b, z, -a}, {"pfaff-b", c - a, b, z, -b},
                               {"euler", c - a, c - b, s.x, c - a - b}};
    for (const variant &v : vs) {
        candidate k = plain(s);
        k.series.exact = false;                          // c - a and z were rounded
        k.series.a = {v.p1, v.p2};
        k.series.x = v.pts;
        k.reach = max_abs(v.pts);
        k.termination = termination_degree(k.series.a, (int)v.pts.size(), s.alpha);
        k.log_prefactor = v.power * ld;
        k.prefactor_error = std::fabs(v.power) * (bound + std::fabs(ld) * 4 * unit_ld) + 4 * unit_ld;
        k.relation = v.name;
        out.push_back(k);
    }
}

// The relation a forced choice asks for; null: any.
const char *relation_name(relation_choice choice)
{
    switch (choice) {
    case relation_choice::none: return "";
    case relation_choice::kummer: return "kummer";
    case relation_choice::pfaff_a: return "pfaff-a";
    case relation_choice::pfaff_b: return "pfaff-b";
    case relation_choice::euler: return "euler";
    default: return nullptr;
    }
}

// Series candidates for a request, best first; closed forms are handled
// before this. A candidate whose series diverges is left out.
std::vector<candidate> candidates(const series_input &s, relation_choice forced)
{
    std::vector<candidate> all;
    all.push_back(plain(s));
    const bool one = s.y.empty();
    if (one && s.a.size() == 1 && s.b.size() == 1) {
        candidate k = plain(s);
        k.series.exact = false;                          // c - a was rounded
        k.series.a = {s.b[0] - s.a[0]};
        for (long double &v : k.series.x) v = -v;
        k.termination = termination_degree(k.series.a, (int)s.x.size(), s.alpha);
        long double trace = 0, abs_trace = 0;
        for (long double v : s.x) { trace += v; abs_trace += std::fabs(v); }
        k.log_prefactor = trace;
        k.prefactor_error = (s.x.size() + 2) * abs_trace * unit_ld + 2 * unit_ld;
        k.relation = "kummer";
        if (trace < 0) all.insert(all.begin(), k); else all.push_back(k);
    }
    bool below_one = true;
    for (long double v : s.x) below_one &= v < 1;
    if (one && s.a.size() == 2 && s.b.size() == 1 && below_one) {
        add_2f1_relations(s, all);
        std::stable_sort(all.begin(), all.end(), [](const candidate &l, const candidate &r) {
            return l.reach < r.reach;
        });
    }
    std::vector<candidate> kept;
    for (const candidate &c : all) {
        bool converges = c.termination >= 0 ||
                         c.series.a.size() <= c.series.b.size() ||
                         (c.series.a.size() == c.series.b.size() + 1 && c.reach < 1);
        if (!converges) continue;
        const char *want = relation_name(forced);
        if (want && c.relation != want) continue;
        kept.push_back(c);
    }
    return kept;
}

// The sum of one series by the route asked for. The automatic choice tries
// the determinant route first (alpha = 1: scalar values and no tables), then
// the integration of 1F1's system (alpha = 2, distinct eigenvalues: its cost
// does not grow with the degree the tables would need), then the tables, or
// the walk at x I_n when one argument has equal eigenvalues.
series_outcome sum_by_route(const series_input &in, const series_control &ctl, route_choice route)
{
    if (route == route_choice::holonomic) {
        if (holonomic_serves(in)) return sum_holonomic(in, ctl);
        series_outcome refused;
        refused.state = series_state::refused;
        refused.sum = std::numeric_limits<long double>::quiet_NaN();
        refused.route = "holonomic";
        refused.message = "the holonomic route takes 1F1 at alpha = 2 of one argument with 2 to 10 "
                          "eigenvalues at least 0.1% apart";
        return refused;
    }
    if (route == route_choice::automatic) {
        series_outcome o = sum_determinant(in, ctl);
        if (o.state == series_state::converged) return o;
        if (holonomic_serves(in)) {
            o = sum_holonomic(in, ctl);
            if (o.state == series_state::converged || o.state == series_state::interrupted) return o;
        }
    }
    bool equal = in.y.empty();
    for (long double v : in.x) equal &= v == in.x[0];
    if (route == route_choice::tables || (route == route_choice::automatic && !equal))
        return sum_tables(in, ctl);
    return sum_equal(in, ctl);
}

// Sums one candidate by the cheapest exact route and bounds its error.
attempt run(const candidate &c, const series_control &base, route_choice route, long long &terms)
{
    attempt at;
    series_control ctl = base;
    ctl.termination_degree = c.termination;
    bool geometric = c.series.a.size() == c.series.b.size() + 1;
    ctl.limit_ratio = geometric ? (double)c.reach : 0;  // p <= q: ratios tend to 0
    const series_outcome o = sum_by_route(c.series, ctl, route);
    terms += o.partitions;
    at.degree = o.degree;
    at.sum = o.sum;
    at.log_prefactor = c.log_prefactor;
    at.method = o.route + (c.relation.empty() ? "" : ", " + c.relation);
    at.message = o.message;
    if (o.state == series_state::interrupted) { at.status = pfq_status::interrupted; return at; }
    if (o.state == series_state::overflow) {
        at.message = "terms overflow the working range";
        at.sum = std::numeric_limits<long double>::quiet_NaN();  // no value to offer
        return at;
    }
    long double abs_err = o.tail + o.rounding;
    if (std::isnan(o.sum))                               // stopped before any value was known
        at.rel_err = HUGE_VALL;
    else if (o.sum != 0)
        at.rel_err = abs_err / std::fabs(o.sum) + c.prefactor_error + unit_d;
    else                                                 // 0 is the value only when summed exactly
        at.rel_err = abs_err == 0 && c.series.exact && c.relation.empty() ? 0 : HUGE_VALL;
    at.status = o.state == series_state::converged && at.rel_err <= base.tol
                    ? pfq_status::converged : pfq_status::not_converged;
    if (o.state == series_state::converged && at.status != pfq_status::converged)
        at.message = "rounding error (cancellation among the terms) exceeds tol";
    return at;
}

// A result with no value: NaN, no error estimate, and why.
pfq_result failed(pfq_status status, const std::string &why)
{
    pfq_result r;
    r.status = status;
    r.value = std::nan("");
    r.err = HUGE_VAL;
    r.message = why;
    return r;
}

pfq_result invalid(const std::string &why) { return failed(pfq_status::invalid_argument, why); }

// True when f is not 0 but its double is subnormal or 0: it keeps fewer
// than 53 bits, down to none.
bool below_normal_range(long double f, double value)
{
    return f != 0 && std::fabs(value) < std::numeric_limits<double>::min();
}

// Writes value and err of f = exp(log_prefactor) sum.
void set_value(pfq_result &r, long double log_prefactor, long double sum, long double rel,
               bool log_result)
{
    r.info.sign = sum > 0 ? 1 : (sum < 0 ? -1 : 0);
    const bool exact_zero = sum == 0 && rel == 0;
    if (log_result) {
        long double v = log_prefactor + std::log(std::fabs(sum));
        r.value = (double)v;
        r.err = rel < 1 ? (double)(rel / (1 - rel) + unit_d * std::fabs(v)) : HUGE_VAL;
        if (std::isnan(r.err)) r.err = HUGE_VAL;
        if (exact_zero) r.err = 0;                       // log|0| = -Inf exactly
        return;
    }
    long double f = std::exp(log_prefactor) * sum;
    r.value = (double)f;
    r.err = (double)(rel * std::fabs(f));
    if (!(rel < HUGE_VALL) || std::isnan(r.err)) r.err = HUGE_VAL;  // no estimate, even at f = 0
    // Below the normal range the rounding to double is absolute, up to half
    // the least subnormal, and err's own rounding as much again: both are
    // covered by one least subnormal over err rounded up. An underflow to
    // 0 is thereby off by err at most, and says so.
    if (below_normal_range(f, r.value) && r.err < HUGE_VAL)
        r.err = std::nextafter(r.err, HUGE_VAL) + std::numeric_limits<double>::denorm_min();
    if (!std::isfinite(r.value) && r.status == pfq_status::converged) {
        r.status = pfq_status::not_converged;
        r.err = HUGE_VAL;
        r.message = "the value overflows double; ask for log|f| (log_result, the 'log' option)";
    }
}

// A result is converged only when its err meets tol (relative, or absolute
// on log|f|): a closed form with a large prefactor condition, a tol below
// rounding or an overflow must say so like a series does.
void settle(pfq_result &r, const pfq_options &options)
{
    if (r.status != pfq_status::converged && r.status != pfq_status::not_converged) return;
    const double allowed = options.log_result ? options.tol : options.tol * std::fabs(r.value);
    if (r.status == pfq_status::converged && !(r.err <= allowed)) {
        r.status = pfq_status::not_converged;
        const bool underflow = !options.log_result && r.info.sign != 0 &&
                               std::fabs(r.value) < std::numeric_limits<double>::min();
        if (underflow)
            r.message = "the value is below the normal range of double (subnormal or 0), where "
                        "its rounding alone exceeds tol; ask for log|f| (log_result, the "
                        "'log' option)";
        else if (r.message.empty())
            r.message = "the error estimate exceeds tol";
    }
    r.info.converged = r.status == pfq_status::converged;
}

std::string check(const pfq_problem &p, const pfq_options &o)
{
    if (!(o.alpha > 0) || !std::isfinite(o.alpha)) return "alpha must be positive and finite";
    if (!(o.tol > 0 && o.tol < 1)) return "tol must lie in (0, 1)";
    if (o.max_degree < 0) return "max_degree must be 0 (automatic) or positive";
    if (o.threads < 0) return "threads must be 0 (default) or positive";
    for (const std::vector<double> *v : {&p.a, &p.b, &p.x, &p.y})
        for (double e : *v)
            if (!std::isfinite(e)) return "parameters and eigenvalues must be finite";
    if (!p.y.empty() && p.y.size() != p.x.size()) return "y must be empty or have the size of x";
    return "";
}

// Reduces the request to one series input: a two-argument call with X or Y
// a multiple of I is the one-argument function of the products; zero
// eigenvalues of one argument are dropped.
series_input reduce(const pfq_problem &p, double alpha)
{
    series_input s;
    s.alpha = alpha;
    s.a.assign(p.a.begin(), p.a.end());
    s.b.assign(p.b.begin(), p.b.end());
    if (!p.y.empty() && !all_equal(p.y) && !all_equal(p.x)) {
        s.x.assign(p.x.begin(), p.x.end());
        s.y.assign(p.y.begin(), p.y.end());
        return s;
    }
    for (size_t i = 0; i < p.x.size(); i++) {
        long double v = p.x[i];
        if (!p.y.empty()) {
            v *= (long double)p.y[i];
            s.exact &= std::fmal(p.x[i], p.y[i], -v) == 0;
        }
        if (v != 0) s.x.push_back(v);
    }
    return s;
}

// Closed forms 0F0 and 1F0 of one argument; false when not applicable.
bool closed_form(const series_input &s, long double &log_value, int &sign, long double &rel)
{
    if (!s.y.empty() || s.b.size() != 0 || s.a.size() > 1) return false;
    if (s.a.empty()) {
        long double trace = 0, abs_trace = 0;
        for (long double v : s.x) { trace += v; abs_trace += std::fabs(v); }
        log_value = trace;
        sign = 1;
        rel = (s.x.size() + 2) * abs_trace * unit_ld + 2 * unit_ld + unit_d;
        return true;
    }
    const long double a = s.a[0];
    if (a == 0) { log_value = 0; sign = 1; rel = 0; return true; }
    bool below_one = true;
    for (long double v : s.x) below_one &= v < 1;
    if (!below_one && !nonpositive_integer(a)) return false;
    long double log_abs = 0, bound = 0;
    sign = 1;
    for (long double v : s.x) {
        long double base = 1 - v;
        if (base == 0) { log_value = -HUGE_VALL; sign = 0; rel = 0; return true; }
        if (base < 0 && std::fmod(-a, 2.0L) != 0) sign = -sign;
        long double l = std::log(std::fabs(base));
        log_abs += -a * l;
        bound += std::fabs(a) * (2 * std::fabs(l) + 2);
    }
    log_value = log_abs;
    rel = bound * unit_ld + 2 * unit_ld + unit_d;
    return true;
}

} // namespace

pfq_result matrix_pfq_forced(const pfq_problem &problem, const pfq_options &options,
                             route_choice route, relation_choice relation,
                             const work_budget &budget)
{
    auto start = std::chrono::steady_clock::now();
    pfq_result r;
    try {
        std::string why = check(problem, options);
        if (!why.empty()) return invalid(why);
        series_input s = reduce(problem, options.alpha);
        const int n = (int)s.x.size();
        if (n > 0 && pole_reached(s, n))
            return invalid("a denominator parameter meets a pole of its Pochhammer symbol");
        long double log_value, rel;
        int sign;
        bool use_closed = relation == relation_choice::automatic || relation == relation_choice::closed_form;
        if (n == 0 || (use_closed && closed_form(s, log_value, sign, rel))) {
            if (n == 0) { log_value = 0; sign = 1; rel = 0; }
            r.status = pfq_status::converged;
            r.info.method = n == 0 ? "trivial" : "closed form";
            r.info.converged = true;
            set_value(r, log_value, sign, rel, options.log_result);
            if (sign == 0) r.err = 0;                    // an exact zero (log: -Inf)
            if (sign == 0 && !options.log_result) r.value = 0;
            settle(r, options);
            r.info.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            return r;
        }
        if (s.a.size() > s.b.size() + 1 && termination_degree(s.a, n, s.alpha) < 0)
            return invalid("the series diverges (more than q + 1 numerator parameters)");
        std::vector<candidate> list = candidates(s, relation);
        if (list.empty())
            return invalid("the series diverges at these eigenvalues and no relation converges");
        const bool two = !s.y.empty();
        bool equal = !two;
        for (long double v : s.x) equal &= v == s.x[0];
        if (options.memory_limit > 0 && (route == route_choice::tables || !equal)) {
            int degree = options.max_degree > 0 ? options.max_degree : least_table_degree;
            long double bytes = table_bytes(n, degree, two, true);
            if (bytes > (long double)options.memory_limit) {
                r.status = pfq_status::refused;
                r.value = std::nan("");
                r.err = HUGE_VAL;
                r.message = "tables to degree " + std::to_string(degree) + " need " +
                            std::to_string((long long)count_partitions(n, degree)) +
                            " partitions and about " + std::to_string((long long)bytes) +
                            " bytes, above the memory limit";
                return r;
            }
        }
        long long work_left = budget.table_work, visits_left = budget.visits;
        series_control ctl;
        ctl.tol = options.tol;
        ctl.max_degree = options.max_degree;
        ctl.memory_limit = options.memory_limit;
        ctl.work_left = &work_left;
        ctl.visits_left = &visits_left;
        ctl.interrupt = options.interrupt;
        ctl.threads = options.threads > 0 ? options.threads : hardware_thread_count();
        long long terms = 0;
        attempt best;
        for (const candidate &c : list) {
            attempt at = run(c, ctl, route, terms);
            if (at.status == pfq_status::interrupted) { best = at; break; }
            if (best.method.empty() || at.rel_err < best.rel_err) best = at;
            if (at.status == pfq_status::converged) break;
        }
        r.status = best.status;
        r.message = best.message;
        const bool budget_spent = options.max_degree <= 0 && (work_left <= 0 || visits_left <= 0);
        if (best.status == pfq_status::not_converged && budget_spent &&
            r.message.find("work limit") == std::string::npos)
            r.message += std::string(r.message.empty() ? "" : "; ") +
                         "the work limit of the call ended the evaluation";
        r.info.method = best.method;
        r.info.degree = best.degree;
        r.info.partitions = terms;
        r.info.converged = best.status == pfq_status::converged;
        if (best.status == pfq_status::interrupted) {
            r.value = std::nan("");
            r.err = HUGE_VAL;
            r.message = "interrupted";
        } else {
            set_value(r, best.log_prefactor, best.sum, best.rel_err, options.log_result);
            settle(r, options);
        }
    } catch (const std::bad_alloc &) {
        r = failed(pfq_status::out_of_memory, "out of memory");
    } catch (const std::length_error &) {                // a size beyond what can be allocated
        r = failed(pfq_status::out_of_memory, "out of memory: an array beyond the address space");
    } catch (const std::exception &e) {
        r = failed(pfq_status::internal_error, std::string("internal error: ") + e.what());
    }
    r.info.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

} // namespace pfq_detail

pfq_result matrix_pfq(const pfq_problem &problem, const pfq_options &options)
{
    return pfq_detail::matrix_pfq_forced(problem, options, pfq_detail::route_choice::automatic,
                                         pfq_detail::relation_choice::automatic);
}

} // namespace matrixhyper
