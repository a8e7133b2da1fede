// pfq_equal.cpp: the tail rule and the series at x I_n (all eigenvalues
// equal), summed by a walk over partitions that evaluates each term at the
// point instead of forming coefficients.
#include <cmath>
#include <limits>
#include <new>

#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;

// State of the depth-first walk: rows of kappa, alpha kappa_i - i of each
// row, and the term of each level (the partition as it stood on entering
// that row).
struct walk_state {
    std::vector<int> kappa;
    std::vector<long double> shifted, level_term;
};

// Quotient T(kappa) / T(kappa without box (row, col)) at x I_n: the
// Pochhammer factors, x, the factor of J_kappa(1^n) and the change of the
// hook products (within the row, then one factor pair per earlier row).
long double box_quotient(const series_input &in, int n, long double x,
                         const walk_state &w, int row, int col)
{
    const long double alpha = in.alpha;
    long double t = alpha * (col - 1) - row;               // shifted part before the box
    long double u = (col - 1) - (long double)(row - 1) / alpha;
    long double num = x * ((long double)n + t + 1);
    for (long double ak : in.a) num *= ak + u;
    if (num == 0) return 0;                                // terminated: no 0/0 at a pole
    long double den = (long double)col * (alpha * (col - 1) + 1);
    for (long double bk : in.b) den *= bk + u;
    long double t_new = t + alpha;
    for (int i = 1; i < row; i++) {
        long double d = w.shifted[i] - t_new;
        num *= (alpha + d - 1) * d;
        den *= (d + 1) * (alpha + d);
    }
    return num / den;
}

} // namespace

bool tail_monitor::done(const std::vector<long double> &abs_sums, int k, long double sum)
{
    if (termination_ >= 0 && k >= termination_) { tail_ = 0; return true; }
    tail_ = HUGE_VAL;                                      // no estimate until the rule holds
    if (k < 4) return false;
    const std::vector<long double> &s = abs_sums;
    if (!(s[k] < s[k - 1] && s[k - 1] < s[k - 2] && s[k - 2] < s[k - 3])) return false;
    long double r = std::max(s[k] / s[k - 1], s[k - 1] / s[k - 2]);
    r = std::max(r, (long double)rho_);
    if (!(r < 1)) return false;
    tail_ = (double)(2 * s[k] * r / (1 - r));              // factor 2: ratios are estimates
    return tail_ <= 0.5 * tol_ * std::fabs((double)sum);
}

namespace {

// One walk to max_size; fills the signed and absolute degree sums.
// Returns false when interrupted.
bool walk_to(const series_input &in, int max_size, const series_control &ctl,
             std::vector<long double> &sums, std::vector<long double> &abs_sums,
             long long &count)
{
    const int n = (int)in.x.size();
    const long double x = in.x[0];
    walk_state w;
    w.kappa.assign(n + 1, 0);
    w.shifted.assign(n + 1, 0);
    w.level_term.assign(n + 2, 0);
    std::vector<compensated_sum> exact(max_size + 1);
    abs_sums.assign(max_size + 1, 0);
    exact[0].add(1);
    abs_sums[0] = 1;
    w.kappa[0] = max_size;
    for (int i = 1; i <= n; i++) w.shifted[i] = -(long double)i;
    w.level_term[1] = 1;
    int size = 0, row = 1;
    long long visited = 1;
    while (row > 0) {
        if (size < max_size && w.kappa[row] < w.kappa[row - 1] && w.level_term[row] != 0) {
            int col = ++w.kappa[row];
            long double c = box_quotient(in, n, x, w, row, col) * w.level_term[row];
            w.shifted[row] = in.alpha * (long double)col - row;
            w.level_term[row] = c;
            if (row < n) w.level_term[++row] = c;          // the next row starts empty
            size++;
            exact[size].add(c);
            abs_sums[size] += std::fabs(c);                // only bounds: plain sum
            if ((++visited & 4095) == 0 && ctl.interrupt && ctl.interrupt->requested())
                return false;
        } else {
            size -= w.kappa[row];
            w.kappa[row] = 0;
            w.shifted[row] = -(long double)row;
            row--;
        }
    }
    count += visited;
    sums.assign(max_size + 1, 0);
    for (int k = 0; k <= max_size; k++) sums[k] = exact[k].sum;
    return true;
}

// Rounding bound of a walk to degree k: every term is a product of k box
// quotients of at most 3(p + q) + 6n + 10 roundings each; the degree sums
// are compensated (2u + N u^2 each) and the k + 1 of them added plainly;
// the absolute sums, rounded too, get a factor 2.
double walk_rounding(const series_input &in, int n, int k, long long terms,
                     long double abs_total)
{
    long double per_term = (long double)k * (3.0L * (in.a.size() + in.b.size()) + 6.0L * n + 10);
    long double summing = 2 + (long double)terms * unit_ld * 2 + (k + 1);
    return (double)(2 * (per_term + summing) * unit_ld * abs_total);
}

series_outcome finish(const series_input &in, const std::vector<long double> &sums,
                      const std::vector<long double> &abs_sums, int k, long long terms)
{
    series_outcome out;
    long double total = 0, abs_total = 0;
    for (int j = 0; j <= k; j++) { total += sums[j]; abs_total += abs_sums[j]; }
    out.sum = total;
    out.degree = k;
    out.partitions = terms;
    out.rounding = walk_rounding(in, (int)in.x.size(), k, terms, abs_total);
    if (!std::isfinite(abs_total)) out.state = series_state::overflow;
    return out;
}

int automatic_cap(int n)
{
    if (n == 1) return 1000000;
    int cap = 8;
    while (cap < 100000 && count_partitions(n, cap * 5 / 4) < 4e9L) cap = cap * 5 / 4 + 1;
    return cap;
}

// n = 1: the ordinary series, degree by degree.
series_outcome sum_scalar(const series_input &in, const series_control &ctl)
{
    const int cap = ctl.max_degree > 0 ? ctl.max_degree : automatic_cap(1);
    tail_monitor monitor(ctl.tol, ctl.termination_degree, ctl.limit_ratio);
    std::vector<long double> sums{1}, abs_sums{1};
    long double term = 1, total = 1;
    const long double x = in.x[0];
    int k = 0;
    bool done = false;
    while (!done && k < cap) {
        ++k;
        long double u = k - 1;
        long double num = x, den = k;
        for (long double ak : in.a) num *= ak + u;
        for (long double bk : in.b) den *= bk + u;
        long double q = num == 0 ? 0 : num / den;          // terminated: no 0/0 at a pole
        term *= q;
        sums.push_back(term);
        abs_sums.push_back(std::fabs(term));
        total += term;
        if ((k & 4095) == 0 && ctl.interrupt && ctl.interrupt->requested()) {
            series_outcome out;
            out.state = series_state::interrupted;
            return out;
        }
        done = monitor.done(abs_sums, k, total) || term == 0;
        if (term == 0) { done = true; }
    }
    series_outcome out = finish(in, sums, abs_sums, k, k + 1);
    out.route = "scalar";
    out.tail = (sums.back() == 0) ? 0 : monitor.tail();
    if (out.state == series_state::overflow) return out;
    out.state = done ? series_state::converged : series_state::not_converged;
    if (!done) {
        out.message = "tail rule not met by degree " + std::to_string(k);
    }
    return out;
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
    c.max_degree = 5000;
    c.interrupt = nullptr;
    series_outcome o = sum_scalar(proxy, c);
    return std::max(8, o.degree + 4);
}

} // namespace

series_outcome sum_equal(const series_input &in, const series_control &ctl)
{
    const int n = (int)in.x.size();
    if (n == 1) return sum_scalar(in, ctl);
    const int cap = ctl.max_degree > 0 ? ctl.max_degree : automatic_cap(n);
    int degree = std::min(cap, first_degree(in, ctl));
    if (ctl.termination_degree >= 0) degree = std::min(cap, ctl.termination_degree);
    std::vector<long double> sums, abs_sums;
    long long visited = 0;
    tail_monitor monitor(ctl.tol, ctl.termination_degree, ctl.limit_ratio);
    for (;;) {
        long long before = visited;
        if (!walk_to(in, degree, ctl, sums, abs_sums, visited)) {
            series_outcome out;
            out.state = series_state::interrupted;
            return out;
        }
        long double total = 0;
        for (long double s : sums) total += s;
        bool done = monitor.done(abs_sums, degree, total);
        if (done || degree >= cap) {
            series_outcome out = finish(in, sums, abs_sums, degree, visited - before);
            out.partitions = visited;
            out.route = "equal";
            if (out.state == series_state::overflow) return out;
            out.tail = monitor.tail();
            out.state = done ? series_state::converged : series_state::not_converged;
            if (!done) out.message = "tail rule not met by degree " + std::to_string(degree);
            return out;
        }
        // Growth such that the shorter walks cost at most about the last one:
        // partitions grow like degree^n.
        int step = n == 2 ? degree / 2 : degree / 4;
        degree = std::min(cap, degree + std::max(4, step));
    }
}

} // namespace pfq_detail
} // namespace matrixhyper
