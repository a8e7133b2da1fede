// wishart_holonomic.cpp: P(lambda_max <= x) of a real W_m(n, Sigma) along a
// curve of x, by the holonomic gradient method (docs/wishart_holonomic.md).
//
// F(t) = 1F1(a; c; -t S), S = Sigma^-1 / 2 with eigenvalues s_i, a = n/2,
// c = (n + m + 1)/2. The vector g_I = theta^I F, theta_i = y_i d/dy_i, over
// the 2^m subsets I of {1..m}, obeys t dg/dt = (A0 + t A1) g, a linear
// system whose right-hand side the Muirhead equations give by a recursion
// over the subsets (apply()). The vector starts from its Frobenius series at
// a small t0 and is carried by Taylor series in t, whose coefficients the
// system gives by a recurrence, through every x of the call in increasing
// order. Two integrations of different orders and tolerances give the error.
#include "wishart_holonomic.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

#include <boost/math/special_functions/gamma.hpp>

#include "holonomic_ray.h"
#include "interrupt_countdown.h"
#include "wishart_holonomic_split.h"

namespace matrixhyper {

namespace {

constexpr double unit_roundoff = std::numeric_limits<double>::epsilon() / 2;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double ln2 = 0.693147180559945309417232121458176568;

// The start: t0 sum(s) = start_reach, where the Frobenius series' terms fall
// like start_reach^k / k!; start_terms of them leave a truncation near
// 1e-25, far below the rounding. Errors of the start decay along the ray
// (the other solutions' exponents at t = 0 are negative).
constexpr double start_reach = 1e-3;
constexpr int start_terms = 6;

// The two integrations: Taylor series of coarse_order terms per step whose
// last terms stay within coarse_rtol of the vector, and one of fine_order
// terms within fine_rtol, with the eigenvalues in the opposite order. They
// share no step and their recursions round along other paths, so their
// difference measures the error of the coarse one, more than that of the
// fine one reported (the rounding the gaps amplify included).
constexpr double coarse_rtol = 1e-14;
constexpr int coarse_order = 28;
constexpr double fine_rtol = 1e-16;
constexpr int fine_order = 36;
// A step reaches at most this share of the distance to t = 0, the system's
// singular point, where the series' radius ends.
constexpr double step_radius_share = 0.5;
// Work a run may take, in inner operations of the recursion ((order + 1)
// m^2 2^m per step): some 10 s on one core. A step reaches about
// step_reach_estimate / max(s) in t far out (the decaying solutions' rate),
// so points whose estimate exceeds the budget are refused before the run
// (NaN, err Inf: Sigma's eigenvalues spread too far for such x), and a run
// that still exceeds it stops there.
constexpr double most_work = 4e9;
constexpr double step_reach_estimate = 2;
// Steps between interrupt polls (a step at m = 10 costs some 10 ms).
constexpr int steps_per_poll = 1;

// err takes the two runs' difference this many times over: against the
// white limit (docs/wishart_holonomic.md) the difference fell short of the
// rounding the small gaps amplify by up to 3 times, the two runs' rounding
// partly agreeing.
constexpr double difference_safety = 4;

// Rounding of one step relative to the vector: a few units per operation
// on the recursion's terms, which the factors w_ij = s_i / (s_i - s_j)
// amplify; summed as a random walk over the steps.
constexpr double rounding_units_per_step = 16;

// Beyond the x where the union bound on the upper tail
// sum_i P(chi2_n > x / (m sigma_i)) falls below this, P is 1 to double
// precision: the lower tail is 1 there with that bound as err, and the ray
// stops before it (the steps grow with x).
constexpr double negligible_tail = 1e-18;

// The Pfaffian system of 1F1(a; c; y) at y = -t s.
struct pfaffian_system {
    int m = 0;
    std::size_t size = 0;           // 2^m
    double a = 0;                   // 1F1's numerator parameter
    double b = 0;                   // 1 - (c - (m - 1)/2)
    std::vector<double> s;          // eigenvalues of Sigma^-1 / 2
    std::vector<double> half_w;     // w_ij / 2, w_ij = s_i / (s_i - s_j), row-major
    std::vector<double> half_w_w1;  // w_ij (w_ij - 1) / 2
    std::vector<double> diagonal;   // b - sum_j w_ij / 2: the coefficient of p_Ji
    double most_w = 0;              // max |w_ij|: the rounding's amplifier
};

// reversed: the eigenvalues in the opposite order, so that the second
// integration's rounding in the recursion takes other paths.
pfaffian_system make_system(const holonomic_ray_request &request, bool reversed)
{
    pfaffian_system system;
    const int m = (int)request.s.size();
    system.m = m;
    system.size = std::size_t(1) << m;
    system.a = request.a;
    system.b = 1 - (request.c - (m - 1) / 2.0);
    for (int i = 0; i < m; i++) system.s.push_back(request.s[reversed ? m - 1 - i : i]);
    system.half_w.assign(m * m, 0);
    system.half_w_w1.assign(m * m, 0);
    for (int i = 0; i < m; i++)
        for (int j = 0; j < m; j++) {
            if (i == j) continue;
            const double w = system.s[i] / (system.s[i] - system.s[j]);
            system.half_w[i * m + j] = w / 2;
            system.half_w_w1[i * m + j] = w * (w - 1) / 2;
            system.most_w = std::max(system.most_w, std::fabs(w));
        }
    for (int i = 0; i < m; i++) {
        double diagonal = system.b;
        for (int j = 0; j < m; j++) diagonal -= system.half_w[i * m + j];
        system.diagonal.push_back(diagonal);
    }
    return system;
}

// out = A0 p + t A1 q (a null p or q drops its part).
//
// r(i, J) = theta_i^2 theta^J F (i not in J) from the Muirhead equation
//   theta_i^2 F = a y_i F + (b + y_i) theta_i F - 1/2 sum_j w_ij (theta_i - theta_j) F
// with theta^J applied: theta_j w_ij = w_ij (w_ij - 1) brings, for j in J,
// the terms in r(j, J \ j), a smaller set. Then
//   (t dg/dt)_I = sum_{i not in I} g_{I+i} + sum_{i in I} r(i, I \ i).
// The terms in y = -t s are A1's, the others A0's; the recursion is linear,
// so one pass serves both. r holds m values per subset.
void apply(const pfaffian_system &system, const double *p, const double *q, double t, double *out,
           double *r)
{
    const int m = system.m;
    const std::size_t all = system.size - 1;
    for (std::size_t J = 0; J < system.size; J++) {
        for (std::size_t free = all & ~J; free; free &= free - 1) {
            const int i = __builtin_ctzll(free);
            const std::size_t bit_i = std::size_t(1) << i;
            const std::size_t Ji = J | bit_i;
            const double *half_w = &system.half_w[i * m];
            const double *half_w_w1 = &system.half_w_w1[i * m];
            double v = 0;
            if (q) v = -t * system.s[i] * (system.a * q[J] + q[Ji]);
            for (std::size_t in = J; in; in &= in - 1) {   // j in J: the recursion
                const int j = __builtin_ctzll(in);
                v += half_w[j] * r[(J & ~(std::size_t(1) << j)) * m + j];
            }
            if (p) {
                // b p_Ji - 1/2 sum_{j not in J} w_ij (p_Ji - p_Jj)
                //        - 1/2 sum_{j in J} [w_ij (w_ij - 1) (p_{J-j+i} - p_J) + w_ij p_Ji]
                double sum = system.diagonal[i] * p[Ji];
                for (std::size_t out_j = all & ~Ji; out_j; out_j &= out_j - 1) {
                    const int j = __builtin_ctzll(out_j);
                    sum += half_w[j] * p[J | (std::size_t(1) << j)];
                }
                for (std::size_t in = J; in; in &= in - 1) {
                    const int j = __builtin_ctzll(in);
                    sum -= half_w_w1[j] * (p[(J & ~(std::size_t(1) << j)) | bit_i] - p[J]);
                }
                v += sum;
            }
            r[J * m + i] = v;
        }
    }
    for (std::size_t I = 0; I < system.size; I++) {
        double v = 0;
        for (std::size_t in = I; in; in &= in - 1) {
            const int i = __builtin_ctzll(in);
            v += r[(I & ~(std::size_t(1) << i)) * m + i];
        }
        if (p)
            for (std::size_t out_i = all & ~I; out_i; out_i &= out_i - 1)
                v += p[I | (std::size_t(1) << __builtin_ctzll(out_i))];
        out[I] = v;
    }
}

int grade(std::size_t subset)
{
    int count = 0;
    for (; subset; subset &= subset - 1) count++;
    return count;
}

// Solves M z = rhs in place (M n-by-n, row-major) by elimination with
// partial pivoting; false when a pivot vanishes.
bool solve_dense(std::vector<double> &M, std::vector<double> &rhs, std::size_t n)
{
    for (std::size_t k = 0; k < n; k++) {
        std::size_t pivot = k;
        for (std::size_t i = k + 1; i < n; i++)
            if (std::fabs(M[i * n + k]) > std::fabs(M[pivot * n + k])) pivot = i;
        if (!(M[pivot * n + k] != 0)) return false;
        if (pivot != k) {
            std::swap_ranges(&M[k * n], &M[k * n] + n, &M[pivot * n]);
            std::swap(rhs[k], rhs[pivot]);
        }
        for (std::size_t i = k + 1; i < n; i++) {
            const double factor = M[i * n + k] / M[k * n + k];
            if (factor == 0) continue;
            for (std::size_t j = k; j < n; j++) M[i * n + j] -= factor * M[k * n + j];
            rhs[i] -= factor * rhs[k];
        }
    }
    for (std::size_t k = n; k-- > 0;) {
        double v = rhs[k];
        for (std::size_t j = k + 1; j < n; j++) v -= M[k * n + j] * rhs[j];
        rhs[k] = v / M[k * n + k];
    }
    return true;
}

// The series g = sum_k t^k gamma_k of the solution analytic at t = 0:
// (k - A0) gamma_k = A1 gamma_{k-1}, gamma_0 = e_{}. theta^I F is O(t^|I|),
// so gamma_k lives on subsets of at most k elements and the system restricted
// to them is exact.
struct frobenius_series {
    std::vector<std::vector<double>> gamma;   // gamma_0 .. gamma_start_terms
    bool ok = false;
};

frobenius_series frobenius_terms(const pfaffian_system &system)
{
    const std::size_t N = system.size;
    std::vector<std::size_t> order(N);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [](std::size_t p, std::size_t q) { return grade(p) < grade(q); });
    const int top = std::min(start_terms, system.m);
    std::size_t block = 0;              // subsets of at most `top` elements
    while (block < N && grade(order[block]) <= top) block++;
    // A0 on those subsets, column by column.
    std::vector<double> A0(block * block), unit(N, 0), column(N), r(N * system.m);
    for (std::size_t col = 0; col < block; col++) {
        unit[order[col]] = 1;
        apply(system, unit.data(), nullptr, 0, column.data(), r.data());
        unit[order[col]] = 0;
        for (std::size_t row = 0; row < block; row++) A0[row * block + col] = column[order[row]];
    }
    frobenius_series series;
    series.gamma.assign(1, std::vector<double>(N, 0));
    series.gamma[0][0] = 1;
    std::vector<double> image(N);
    for (int k = 1; k <= start_terms; k++) {
        std::size_t used = 0;
        while (used < block && grade(order[used]) <= k) used++;
        apply(system, nullptr, series.gamma.back().data(), 1, image.data(), r.data());
        std::vector<double> M(used * used), rhs(used);
        for (std::size_t row = 0; row < used; row++) {
            for (std::size_t col = 0; col < used; col++)
                M[row * used + col] = (row == col ? k : 0) - A0[row * block + col];
            rhs[row] = image[order[row]];
        }
        if (!solve_dense(M, rhs, used)) return series;
        std::vector<double> gamma(N, 0);
        for (std::size_t row = 0; row < used; row++) gamma[order[row]] = rhs[row];
        series.gamma.push_back(std::move(gamma));
    }
    series.ok = true;
    return series;
}

struct start_values {
    std::vector<double> g;
    double truncation = 0;  // size of the last term kept, relative to F(t) ~ 1
    bool ok = false;
};

// g(t) from the series, t at most the start (where six terms suffice).
start_values frobenius_start(const frobenius_series &series, double t)
{
    start_values start;
    const std::size_t N = series.gamma[0].size();
    start.g.assign(N, 0);
    for (std::size_t k = series.gamma.size(); k-- > 0;)      // Horner
        for (std::size_t I = 0; I < N; I++) start.g[I] = start.g[I] * t + series.gamma[k][I];
    double largest = 0;
    for (double value : series.gamma.back()) largest = std::max(largest, std::fabs(value));
    start.truncation = std::pow(t, (double)series.gamma.size() - 1) * largest;
    start.ok = std::isfinite(start.truncation) && start.g[0] > 0;
    return start;
}

// One integration along the ray, log |F| and its sign at each target t.
struct ray_run {
    std::vector<double> log_F;   // NaN where not reached or F = 0
    std::vector<int> sign;
    long steps = 0;
    bool interrupted = false;
};

struct ray_plan {
    const pfaffian_system *system;
    const start_values *start;
    double t0;
    const std::vector<double> *targets;   // t, increasing, >= t0
    double rtol;                          // truncation allowed per step, relative
    int order;                            // Taylor terms per step
    long most_steps;                      // the work budget in steps
    const interrupt_check *interrupt;     // null on a worker thread
    std::atomic<bool> *team_stop;         // raised when either run must stop
};

// Scales v by 2^-e (exactly) so that its largest entry lies in [1/2, 1);
// returns e.
int normalise(std::vector<double> &v)
{
    double largest = 0;
    for (double value : v) largest = std::max(largest, std::fabs(value));
    if (!(largest > 0) || !std::isfinite(largest)) return 0;
    int e;
    std::frexp(largest, &e);
    for (double &value : v) value = std::ldexp(value, -e);
    return e;
}

// max_I |v_I| / weight_I.
double natural_norm(const std::vector<double> &v, const std::vector<double> &weight)
{
    double norm = 0;
    for (std::size_t I = 0; I < v.size(); I++) norm = std::max(norm, std::fabs(v[I]) / weight[I]);
    return norm;
}

// The Taylor coefficients of g at t1 (c[0] = g): from t g' = (A0 + t A1) g,
//   t1 (k + 1) c_{k+1} = A0 c_k + A1 (t1 c_k + c_{k-1}) - k c_k.
void taylor_coefficients(const pfaffian_system &system, double t1, std::vector<std::vector<double>> &c,
                         std::vector<double> &mixed, std::vector<double> &r)
{
    const std::size_t N = system.size;
    for (std::size_t k = 0; k + 1 < c.size(); k++) {
        for (std::size_t I = 0; I < N; I++) mixed[I] = t1 * c[k][I] + (k ? c[k - 1][I] : 0);
        apply(system, c[k].data(), mixed.data(), 1, c[k + 1].data(), r.data());
        const double divisor = t1 * (k + 1);
        for (std::size_t I = 0; I < N; I++) c[k + 1][I] = (c[k + 1][I] - k * c[k][I]) / divisor;
    }
}

// The step from t1: the last three terms, weighed by their natural sizes,
// within rtol of the vector, and at most step_radius_share of the distance
// to the singular point t = 0.
double taylor_step(const std::vector<std::vector<double>> &c, const std::vector<double> &weight, double t1,
                   double rtol)
{
    const double size = natural_norm(c[0], weight);
    const int order = (int)c.size() - 1;
    double step = step_radius_share * t1;
    for (int k = order - 2; k <= order; k++) {
        const double term = natural_norm(c[k], weight);
        if (term > 0) step = std::min(step, std::pow(rtol * size / term, 1.0 / k));
    }
    return step;
}

void record(ray_run &run, std::size_t target, double value, long log2_scale)
{
    if (value == 0 || std::isnan(value)) return;
    run.log_F[target] = std::log(std::fabs(value)) + log2_scale * ln2;
    run.sign[target] = value > 0 ? 1 : -1;
}

ray_run integrate(const ray_plan &plan)
{
    const pfaffian_system &system = *plan.system;
    const std::vector<double> &targets = *plan.targets;
    const std::size_t N = system.size;
    ray_run run;
    run.log_F.assign(targets.size(), nan);
    run.sign.assign(targets.size(), 0);
    std::vector<std::vector<double>> c(plan.order + 1, std::vector<double>(N));
    std::vector<double> mixed(N), r(N * system.m), weight(N);
    const double rho = std::max(system.a, 1.0);
    for (std::size_t I = 0; I < N; I++) weight[I] = std::pow(rho, grade(I));
    c[0] = plan.start->g;
    long log2_scale = normalise(c[0]);
    double t = plan.t0;
    std::size_t target = 0;
    for (; target < targets.size() && targets[target] <= t; target++) record(run, target, c[0][0], log2_scale);
    interrupt_countdown countdown(plan.interrupt, steps_per_poll, plan.team_stop);
    while (target < targets.size()) {
        if (countdown.step()) {
            run.interrupted = true;
            return run;
        }
        if (run.steps >= plan.most_steps) break;
        taylor_coefficients(system, t, c, mixed, r);
        const double h = taylor_step(c, weight, t, plan.rtol);
        if (!(h > 0)) break;                           // no finite coefficients: abandoned
        // The targets this step covers come from its polynomial (Horner).
        for (; target < targets.size() && targets[target] <= t + h; target++) {
            const double u = targets[target] - t;
            double value = c[plan.order][0];
            for (int k = plan.order - 1; k >= 0; k--) value = value * u + c[k][0];
            record(run, target, value, log2_scale);
        }
        for (std::size_t I = 0; I < N; I++) {
            double v = c[plan.order][I];
            for (int k = plan.order - 1; k >= 0; k--) v = v * h + c[k][I];
            c[0][I] = v;
        }
        t += h;
        log2_scale += normalise(c[0]);
        run.steps++;
    }
    return run;
}

// Bytes the route holds at once: both runs' Taylor coefficients and
// recursion values, and the start's block of A0 with its elimination copy.
std::size_t workspace_bytes(const pfaffian_system &system)
{
    const std::size_t N = system.size, m = system.m;
    std::size_t block = 0;
    for (std::size_t I = 0; I < N; I++) block += grade(I) <= start_terms;
    const std::size_t per_run = (std::size_t(fine_order + coarse_order) / 2 + 2 + m) * N;
    return sizeof(double) * (2 * per_run + 2 * block * block + (start_terms + 2) * N);
}

double union_tail_bound(const wishart_cdf_request &request, double x)
{
    double bound = 0;
    for (int i = 0; i < request.m; i++) {
        const double sigma = request.sigma.empty() ? 1.0 : request.sigma[i];
        bound += boost::math::gamma_q(request.n / 2, x / (2 * request.m * sigma));
    }
    return bound;
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

void holonomic_write_point(const wishart_cdf_request &request, double log_lower, double log_err, double *P,
                           double *err)
{
    point_result value;
    value.log_lower = log_lower;
    value.log_err = log_err;
    const bool upper = request.tail == wishart_tail::upper;
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
        // upper tail solves the same system but decays, so it is not
        // integrated on its own).
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

bool holonomic_ray_start_sound(int m, double c) { return c - (m - 1) / 2.0 > 1; }

namespace {

holonomic_ray_values integrate_ray(const holonomic_ray_request &request)
{
    holonomic_ray_values values;
    const std::vector<double> &x = request.targets;
    values.log_F.assign(x.size(), nan);
    values.sign.assign(x.size(), 0);
    values.difference.assign(x.size(), 0);
    values.truncation.assign(x.size(), 0);
    const pfaffian_system system = make_system(request, false);
    const pfaffian_system mirrored = make_system(request, true);
    double sum_s = 0;
    for (double value : system.s) sum_s += std::fabs(value);
    const double t0 = start_reach / sum_s;
    if (request.memory_limit > 0 && workspace_bytes(system) > request.memory_limit) {
        values.state = holonomic_ray_state::out_of_memory;
        values.message = "The holonomic route needs " + std::to_string(workspace_bytes(system)) +
                         " bytes, more than the memory limit.";
        return values;
    }
    const frobenius_series series = frobenius_terms(system);
    const start_values start = series.ok ? frobenius_start(series, t0) : start_values{};
    if (!series.ok || !start.ok) {
        values.state = holonomic_ray_state::singular_start;
        values.message = "The holonomic route's starting series failed (a singular system at t = 0).";
        return values;
    }
    start_values mirrored_start = start;       // the same values, subsets' bits reversed
    for (std::size_t I = 0; I < system.size; I++) {
        std::size_t image = 0;
        for (int i = 0; i < system.m; i++)
            if (I >> i & 1) image |= std::size_t(1) << (system.m - 1 - i);
        mirrored_start.g[image] = start.g[I];
    }
    // Points up to t0 come from the series itself; the ray serves the others
    // within the work budget.
    std::size_t first_target = 0;
    for (; first_target < x.size() && x[first_target] <= t0; first_target++) {
        const start_values near = frobenius_start(series, x[first_target]);
        if (near.ok) {
            values.log_F[first_target] = std::log(near.g[0]);
            values.sign[first_target] = 1;
        }
        values.truncation[first_target] = near.truncation;
    }
    const double per_step = (fine_order + 1.0) * system.m * system.m * system.size;
    const long most_steps = (long)(request.work_share * most_work / per_step);
    double s_max = 0;
    for (double value : system.s) s_max = std::max(s_max, std::fabs(value));
    std::vector<double> targets;
    for (std::size_t k = first_target; k < x.size(); k++) {
        if (x[k] * s_max / step_reach_estimate > most_steps) break;   // beyond the budget
        targets.push_back(x[k]);
    }
    values.abandoned = first_target + targets.size() < x.size();

    // The fine run gives the value; the coarse one, when err is wanted, the
    // error. They run side by side when threads allow: same bits either way.
    std::atomic<bool> stop{false};
    ray_plan fine{&system, &start, t0, &targets, fine_rtol, fine_order, most_steps, request.interrupt, &stop};
    ray_run fine_run, coarse_run;
    ray_plan coarse = fine;
    coarse.system = &mirrored;
    coarse.start = &mirrored_start;
    coarse.rtol = coarse_rtol;
    coarse.order = coarse_order;
    coarse.interrupt = nullptr;                  // the worker reads the team's flag only
    const bool err = request.want_err;
    bool two_threads = err && request.threads != 1 && !targets.empty();
    // A failure to allocate on either thread leaves through the caller
    // (out_of_memory) once the worker has been joined; a thread the system
    // refuses leaves both runs to this one.
    bool worker_failed = false;
    std::thread worker;
    if (two_threads) {
        try {
            worker = std::thread([&] {
                try {
                    coarse_run = integrate(coarse);
                } catch (const std::bad_alloc &) {
                    worker_failed = true;
                }
            });
        } catch (const std::system_error &) {
            two_threads = false;
        }
    }
    if (two_threads) {
        try {
            fine_run = integrate(fine);
        } catch (const std::bad_alloc &) {
            stop = true;
            worker.join();
            throw;
        }
        worker.join();
        if (worker_failed) throw std::bad_alloc();
    } else {
        fine_run = integrate(fine);
        coarse.interrupt = request.interrupt;    // on this thread: the caller's own poll
        if (err && !fine_run.interrupted && !targets.empty()) coarse_run = integrate(coarse);
    }
    if (fine_run.interrupted || coarse_run.interrupted) {
        values.state = holonomic_ray_state::interrupted;
        values.message = "interrupted";
        return values;
    }
    // Two runs of most_work each make the whole budget.
    values.budget_used = (fine_run.steps + coarse_run.steps) * per_step / (2 * most_work);
    values.rounding = rounding_units_per_step * unit_roundoff * (1 + system.most_w) *
                      std::sqrt((double)fine_run.steps + 1);
    for (std::size_t k = 0; k < targets.size(); k++) {
        const std::size_t i = first_target + k;
        values.log_F[i] = fine_run.log_F[k];
        values.sign[i] = fine_run.sign[k];
        values.truncation[i] = start.truncation;
        // NaN when the coarse run stopped short or its sign differs: err is
        // then infinite.
        if (err)
            values.difference[i] = coarse_run.sign[k] == fine_run.sign[k]
                                       ? difference_safety * std::fabs(fine_run.log_F[k] - coarse_run.log_F[k])
                                       : nan;
        if (std::isnan(values.log_F[i])) values.abandoned = true;
    }
    return values;
}


} // namespace

// F depends on t S only: a power of two c that brings the largest |s| to
// [1, 2) runs the system at c S and t / c, exactly where neither under- nor
// overflows, so that the start's powers of t0 and the steps stay in range
// however large or small Sigma is (x / c past the range is abandoned, or
// served by the start at 0).
holonomic_ray_values holonomic_ray_integrate(const holonomic_ray_request &request)
{
    double s_max = 0;
    for (double value : request.s) s_max = std::max(s_max, std::fabs(value));
    if (!(s_max > 0 && std::isfinite(s_max))) return integrate_ray(request);
    const int e = std::ilogb(s_max);
    holonomic_ray_request scaled = request;
    for (double &value : scaled.s) value = std::ldexp(value, -e);
    for (double &t : scaled.targets) t = std::ldexp(t, e);
    return integrate_ray(scaled);
}

bool holonomic_ray_serves(const wishart_cdf_request &request)
{
    if (request.field != wishart_field::real || request.which != wishart_extreme::largest) return false;
    if (request.m > holonomic_max_m || !(request.n > request.m - 1)) return false;
    if (request.sigma.empty()) return request.m == 1;
    // Rates 1 / (2 sigma) outside the normal range make the start singular:
    // the series takes such a Sigma.
    for (double sigma : request.sigma)
        if (!(1 / (2 * sigma) >= std::numeric_limits<double>::min()) || !std::isfinite(1 / (2 * sigma)))
            return false;
    const auto extremes = std::minmax_element(request.sigma.begin(), request.sigma.end());
    if (*extremes.second > holonomic_max_condition * *extremes.first) return false;
    for (int i = 0; i < request.m; i++)
        for (int j = 0; j < i; j++) {
            const double p = request.sigma[i], q = request.sigma[j];
            if (std::fabs(p - q) < holonomic_min_gap * std::max(p, q)) return false;
        }
    return true;
}

wishart_cdf_outcome holonomic_ray_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err, double work_share)
{
    wishart_cdf_outcome outcome;
    outcome.method = "holonomic";
    // Points to integrate, in increasing order; the others are set here.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < count; i++)
        if (!holonomic_off_ray(request, x[i], &P[i], err ? &err[i] : nullptr)) order.push_back(i);
    if (order.empty()) return outcome;
    std::sort(order.begin(), order.end(), [x](std::size_t p, std::size_t q) { return x[p] < x[q]; });
    const double cutoff = negligible_from(request, 1.0);

    // F(t) = 1F1(n/2; (n + m + 1)/2; -t S), S = Sigma^-1 / 2, at t = x below
    // the cutoff.
    holonomic_ray_request ray;
    ray.a = request.n / 2;
    ray.c = (request.n + request.m + 1) / 2;
    for (int i = 0; i < request.m; i++) ray.s.push_back(0.5 / (request.sigma.empty() ? 1.0 : request.sigma[i]));
    for (std::size_t k = 0; k < order.size() && x[order[k]] < cutoff; k++) ray.targets.push_back(x[order[k]]);
    ray.want_err = err != nullptr;
    ray.threads = request.threads;
    ray.memory_limit = request.memory_limit;
    ray.interrupt = request.interrupt;
    ray.work_share = work_share;
    const holonomic_ray_values F = holonomic_ray_integrate(ray);
    switch (F.state) {
    case holonomic_ray_state::out_of_memory:
        return failure(wishart_cdf_status::out_of_memory, F.message.c_str());
    case holonomic_ray_state::singular_start:
        return failure(wishart_cdf_status::numerical_failure, F.message.c_str());
    case holonomic_ray_state::interrupted: return failure(wishart_cdf_status::interrupted, "interrupted");
    case holonomic_ray_state::done: break;
    }

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
        if (k >= ray.targets.size()) {
            // Beyond the cutoff P = 1 within the union bound.
            value.log_lower = 0;
            value.log_err = union_tail_bound(request, x[i]);
        } else if (F.sign[k] > 0) {
            const double log_F = F.log_F[k];
            double log_power = 0, power_magnitude = 0;
            for (double s : ray.s) {
                log_power += std::log(x[i]) + std::log(s);
                power_magnitude += std::fabs(std::log(x[i])) + std::fabs(std::log(s));
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
        holonomic_write_point(request, value.log_lower, value.log_err, &P[i], err ? &err[i] : nullptr);
    }
    if (abandoned)
        outcome.message = "the integration along the ray needs more than its work limit (Sigma's "
                          "eigenvalues too far apart for such x)";
    return outcome;
}


bool holonomic_serves(const wishart_cdf_request &request)
{
    return holonomic_ray_serves(request) || holonomic_split_serves(request);
}

wishart_cdf_outcome holonomic_route(const wishart_cdf_request &request, const double *x,
                                    std::size_t count, double *P, double *err)
{
    if (holonomic_ray_serves(request)) return holonomic_ray_route(request, x, count, P, err);
    return holonomic_split_route(request, x, count, P, err);
}

} // namespace matrixhyper
