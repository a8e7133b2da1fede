// holonomic_ray.cpp: the zonal 1F1(a; c; -t S) along the ray t > 0, by
// integrating its Pfaffian system (docs/wishart_holonomic.md).
//
// The vector g_I = theta^I F, theta_i = y_i d/dy_i, over the 2^m subsets I of
// {1..m}, obeys t dg/dt = (A0 + t A1) g, a linear system whose right-hand
// side the Muirhead equations give by a recursion over the subsets
// (apply()). The vector starts from its Frobenius series at a small t0 and is
// carried by Taylor series in t, whose coefficients the system gives by a
// recurrence, through every target in increasing order. Two integrations of
// different orders and tolerances give the error. The engine runs in double
// for F, in long double on request (the rounding that close eigenvalues
// amplify), and in a wide type, pairs of doubles, for the smallest
// eigenvalue's lower tail, which the backward runs carry absolutely. The
// Wishart upper tail comes from the system with its one solution that does
// not decay projected out (integrate_tail), in double.
#include "holonomic_ray.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <numeric>
#include <vector>

#include <boost/math/special_functions/binomial.hpp>
#include <boost/math/special_functions/gamma.hpp>

// The wide type's pair arithmetic, QD's inline operations (nothing to
// link). Its additions keep their error bound under cancellation, which the
// recursion's sums of both signs need: the default, "sloppy" one does not.
#define QD_IEEE_ADD 1
#include <qd/dd_real.h>

#include "holonomic_confluent.h"
#include "interrupt_countdown.h"
#include "precision_ladder.h"
#include "thread_team.h"

namespace matrixhyper {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double ln2 = 0.693147180559945309417232121458176568;

// The wide type: a pair of doubles (hi + lo, 106 significant bits) with
// double's exponent range. Its unit is the largest relative error bound of
// its operations, the division's (some 15 u^2, u = 2^-53; Joldes, Muller
// and Popescu, ACM TOMS 44, 2017), rounded up to a power of two.
using wide_real = dd_real;
constexpr double wide_unit_roundoff = 1.97215226305252951e-31;   // 2^-102

// How a precision runs the ray.
//
// The start: t0 sum(s) = start_reach, where the Frobenius series' terms fall
// like start_reach^k / k!; start_terms of them leave a truncation far below
// the rounding. Errors of the start decay along the ray (the other
// solutions' exponents at t = 0 are negative).
//
// The two integrations: Taylor series of coarse_order terms per step whose
// last terms stay within coarse_rtol of the vector, and one of fine_order
// terms within fine_rtol, with the eigenvalues in the opposite order. They
// share no step and their recursions round along other paths, so their
// difference measures the error of the coarse one, more than that of the
// fine one reported (the rounding the gaps amplify included).
struct precision_profile {
    double unit_roundoff;
    double start_reach;
    double coarse_rtol;
    int coarse_order;
    double fine_rtol;
    int fine_order;
    double operation_cost;   // one multiply-add, in double ones
};
constexpr int start_terms = 6;
// Double: a start truncation near 1e-25.
constexpr precision_profile double_profile{std::numeric_limits<double>::epsilon() / 2, 1e-3, 1e-14, 28,
                                           1e-16, 36, 1};
// Extended: long double (64 bits on x86; elsewhere it may be double), its
// tolerances near its unit roundoff (5e-20), a multiply-add some 4 times a
// double one (measured, the 2-core EPYC).
constexpr precision_profile extended_profile{std::numeric_limits<long double>::epsilon() / 2, 1e-3, 1e-17, 32,
                                             1e-19, 40, 4};
// Wide: a start truncation near 1e-39, tolerances near its unit roundoff
// (2e-31) with orders that keep the steps longer than double's, and a
// multiply-add some 11 times a double one (measured on whole runs at m = 8,
// GCC 12 on the 2-core EPYC: 8.5 ns against 0.78 ns).
constexpr precision_profile wide_profile{wide_unit_roundoff, 1e-5, 1e-28, 48, 1e-31, 60, 11};

// A step reaches at most this share of the distance to t = 0, the system's
// singular point, where the series' radius ends.
constexpr double step_radius_share = 0.5;
// Work a run may take, in double multiply-adds (step_work, times the
// precision's cost): some 3 s on one core, the pair 5 to 7 s. A
// step reaches about step_reach_estimate / max(s) in t far out (the
// decaying solutions' rate; measured 4.7 to 5.8 for the wide runs at
// m = 8, 5 for double's), so points whose estimate exceeds the budget
// are refused before the run (NaN, err Inf: Sigma's eigenvalues spread too
// far for such x), and a run that still exceeds it stops there.
constexpr double most_work = 4e9;
// A step's work besides the recursion (the Horner sums, the scaling, the
// norms), in multiply-adds per entry and Taylor term: without it a whole
// budget (a pair of runs) took 17.6 s on one core at m = 2 and 10 s at
// m = 3, against 6.1 to 6.9 s at m = 5 to 8 (the 2-core Xeon); with it, 5
// to 7 s at every m.
constexpr double step_entry_overhead = 8;
constexpr double step_reach_estimate = 4;
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

template <class Real> double to_double(const Real &v) { return (double)v; }

template <class Real> Real magnitude(Real v) { return v < 0 ? -v : v; }

// v 2^e, exactly where the result is normal (|e| up to twice double's
// exponent range for the wide type, in two factors).
double times_power_of_two(double v, int e) { return std::ldexp(v, e); }
template <class Real> Real times_power_of_two(Real v, int e)
{
    return v * Real(std::ldexp(1.0, e / 2)) * Real(std::ldexp(1.0, e - e / 2));
}

// The readout of F at a close cluster's eigenvalues s_A e^(x_i) from the
// confluent system's vector at s_A (confluent_builder::readout): per orbit
// degree e, J[e] holds (room + 1) rows of `size` entries, the polynomial in
// t, and F there is sum_e J[e](t) . G.
template <class Real> struct readout_map {
    std::vector<std::vector<Real>> J;
    double exponent = 0;   // a sum_i x_i: det(S_x)^-a = det(S)^-a e^-exponent
    double reach = 0;      // |x| max(t s) over the targets: its degree's measure
    readout_limits limits = usual_readout;
    bool empty() const { return J.empty(); }
};

// The Pfaffian system of 1F1(a; c; y) at y = -t s; shift adds to A0's
// diagonal, the system of t^shift g.
//
// The vector's entries count, for each cluster of equal eigenvalues of S,
// how many of its theta_i they take: with distinct eigenvalues (clusters of
// one) an entry is a subset I and the entry theta^I F; with equal ones it is
// prod_j e_{p_j}(theta_i, i in cluster j) F, the confluent system
// (holonomic_confluent.h), t G' = sum_d t^d B_d G, whose matrices B_d
// replace the recursion.
template <class Real> struct pfaffian_system {
    int m = 0;
    std::size_t size = 0;           // 2^m, or prod_j (m_j + 1)
    Real a = 0;                     // 1F1's numerator parameter
    Real b = 0;                     // 1 - (c - (m - 1)/2)
    Real shift = 0;
    std::vector<Real> s;            // eigenvalues of S, one per cluster
    std::vector<int> multiplicity;  // the clusters' sizes
    std::vector<int> counts;        // entry I takes counts[I * clusters + j] of cluster j
    std::vector<int> grades;        // sum_j of those: the entry is O(t^grade) at t = 0
    std::vector<std::size_t> mirror;  // the entry's place in the mirrored system
    std::vector<std::vector<Real>> B;  // the confluent system's B_d, row-major; empty otherwise
    std::vector<Real> half_w;       // w_ij / 2, w_ij = s_i / (s_i - s_j), row-major
    std::vector<Real> half_w_w1;    // w_ij (w_ij - 1) / 2
    std::vector<Real> diagonal;     // b - sum_j w_ij / 2: the coefficient of p_Ji
    double most_w = 0;              // max |w_ij|: the rounding's amplifier
    // The projected system (projected_system()): phi_I = (-a)^|I|, the
    // direction of the algebraic solution; empty for the plain one.
    std::vector<Real> phi;
    std::vector<std::vector<double>> offsets;   // per cluster, its x_i (log_offsets); empty: none
    readout_map<Real> readout;
};

// The wide type's value in another precision, rounded once; `other`: to
// the neighbour on the other side of it (the value's next one towards its
// low part).
template <class Real> Real from_wide(const wide_real &v, bool other)
{
    const Real value = Real(v.x[0]) + Real(v.x[1]);
    return other && v.x[1] != 0 ? std::nextafter(value, v.x[1] > 0 ? Real(HUGE_VAL) : Real(-HUGE_VAL)) : value;
}
template <> wide_real from_wide<wide_real>(const wide_real &v, bool) { return v; }

// A confluent system's matrices in the wide type, and what they depend on.
struct confluent_build {
    std::vector<double> s;
    std::vector<int> multiplicity, counts;
    double a = 0, c = 0;
    std::vector<std::vector<double>> offsets;   // per cluster; empty: no readout
    double reach = 0;                           // the readout's, |x| max(t s)
    int degree = 0;                             // the readout's degree, which that reach asks for
    readout_limits limits = usual_readout;      // the limits on that degree
    std::vector<std::vector<wide_real>> B, readout;

    // The same matrices and readout: calls whose targets reach to the same
    // degree take one build (the upper tail after the lower, the retries).
    bool same_system(const confluent_build &other) const
    {
        return s == other.s && multiplicity == other.multiplicity && counts == other.counts && a == other.a &&
               c == other.c && offsets == other.offsets && degree == other.degree;
    }
};

// The last build, which the next runs of the same system take: a call runs
// it in double, again in long double for the points that missed, and
// projected for the upper tail, and each would build the same matrices
// again (1 s of the builder at R = 112). The matrices are the same however
// they were come by.
struct confluent_build_cache {
    std::mutex lock;
    confluent_build last;
};

confluent_build_cache &build_cache()
{
    static confluent_build_cache cache;
    return cache;
}

// build.B for the system that build describes; false where a reduction
// failed or `interrupt` asked to stop (*interrupted).
bool built_matrices(confluent_build &build, const interrupt_check *interrupt, bool *interrupted)
{
    *interrupted = false;
    confluent_build_cache &cache = build_cache();
    {
        const std::lock_guard<std::mutex> held(cache.lock);
        if (!cache.last.B.empty() && cache.last.same_system(build)) {
            build.B = cache.last.B;
            build.readout = cache.last.readout;
            return true;
        }
    }
    std::vector<wide_real> s(build.s.begin(), build.s.end());
    std::vector<std::vector<wide_real>> offsets;
    for (const std::vector<double> &cluster : build.offsets) offsets.emplace_back(cluster.begin(), cluster.end());
    if (!confluent_matrices<wide_real>(s, build.multiplicity, wide_real(build.a), wide_real(build.c), build.counts,
                                       build.B, interrupt, interrupted, offsets.empty() ? nullptr : &offsets,
                                       &build.readout, build.reach, build.limits))
        return false;
    const std::lock_guard<std::mutex> held(cache.lock);
    cache.last = build;
    return true;
}

// What the confluent system's matrices depend on.
template <class Real> confluent_build build_of(const pfaffian_system<Real> &system, double c)
{
    confluent_build build;
    for (const Real &value : system.s) build.s.push_back(to_double(value));
    build.multiplicity = system.multiplicity;
    build.counts = system.counts;
    build.a = to_double(system.a);
    build.c = c;
    build.offsets = system.offsets;
    if (build.offsets.empty()) return build;
    build.reach = system.readout.reach;
    build.limits = system.readout.limits;
    const std::vector<wide_real> s(build.s.begin(), build.s.end());
    build.degree = confluent_readout_degree<wide_real>(s, build.multiplicity, wide_real(build.a), wide_real(build.c),
                                                       build.counts, build.reach, build.limits);
    return build;
}

// Bytes the builder holds at its end (its values; the peak measured within
// 3% of this at R = 80 and 112), counted against the memory limit: 280 MB
// for four spikes over six equal eigenvalues at m = 10.
double build_bytes(const confluent_build &build)
{
    const std::vector<wide_real> s(build.s.begin(), build.s.end());
    return confluent_build_bytes<wide_real>(s, build.multiplicity, wide_real(build.a), wide_real(build.c),
                                            build.counts, build.offsets.empty() ? 0 : build.reach, build.limits);
}

// The confluent system's B_d for the system and its mirror, built once in
// the wide type whatever the run's precision, so that the reductions'
// rounding stays below the run's own. Each entry is then rounded once, the
// mirrored system's (the same matrices in its order) the other way: the two
// runs, whose difference is err, would otherwise share that rounding (c I,
// where the mirror is the system itself: err fell 3 to 10 times short of the
// upper tail's error at m = 3).
template <class Real>
bool confluent_pair(pfaffian_system<Real> &system, pfaffian_system<Real> &mirrored, double c,
                    const interrupt_check *interrupt, bool *interrupted)
{
    confluent_build build = build_of(system, c);
    if (!built_matrices(build, interrupt, interrupted)) return false;
    const std::vector<std::vector<wide_real>> &B = build.B;
    const std::size_t N = system.size;
    system.B.assign(B.size(), std::vector<Real>(N * N));
    mirrored.B = system.B;
    for (std::size_t d = 0; d < B.size(); d++)
        for (std::size_t I = 0; I < N; I++)
            for (std::size_t J = 0; J < N; J++) {
                system.B[d][I * N + J] = from_wide<Real>(B[d][I * N + J], false);
                mirrored.B[d][system.mirror[I] * N + system.mirror[J]] = from_wide<Real>(B[d][I * N + J], true);
            }
    for (const std::vector<wide_real> &J : build.readout) {   // the mirror's entries in its order
        system.readout.J.emplace_back(J.size());
        mirrored.readout.J.emplace_back(J.size());
        for (std::size_t k = 0; k < J.size(); k++) {
            system.readout.J.back()[k] = from_wide<Real>(J[k], false);
            mirrored.readout.J.back()[k - k % N + system.mirror[k % N]] = from_wide<Real>(J[k], true);
        }
    }
    return true;
}

int grade(std::size_t subset)
{
    int count = 0;
    for (; subset; subset &= subset - 1) count++;
    return count;
}

// The square-free system's entries: subsets as bits, and their images with
// the bits reversed (the mirrored system's order).
template <class Real> void square_free_basis(pfaffian_system<Real> &system)
{
    const int m = system.m;
    system.multiplicity.assign(m, 1);
    system.counts.assign(system.size * m, 0);
    system.grades.assign(system.size, 0);
    system.mirror.assign(system.size, 0);
    for (std::size_t I = 0; I < system.size; I++) {
        system.grades[I] = grade(I);
        for (int i = 0; i < m; i++)
            if (I >> i & 1) {
                system.counts[I * m + i] = 1;
                system.mirror[I] |= std::size_t(1) << (m - 1 - i);
            }
    }
}

// The confluent system's entries: count tuples p (p_j = 0..m_j), cluster
// 0 the fastest digit; the mirror takes p with the clusters reversed.
template <class Real> void confluent_basis(pfaffian_system<Real> &system)
{
    const std::size_t clusters = system.multiplicity.size();
    system.size = 1;
    for (int size : system.multiplicity) system.size *= std::size_t(size + 1);
    system.counts.assign(system.size * clusters, 0);
    system.grades.assign(system.size, 0);
    system.mirror.assign(system.size, 0);
    for (std::size_t I = 0; I < system.size; I++) {
        std::size_t rest = I;
        for (std::size_t j = 0; j < clusters; j++) {
            const int p = int(rest % std::size_t(system.multiplicity[j] + 1));
            rest /= std::size_t(system.multiplicity[j] + 1);
            system.counts[I * clusters + j] = p;
            system.grades[I] += p;
        }
        std::size_t image = 0;   // cluster clusters - 1 - j is the mirrored one's jth
        for (std::size_t j = 0; j < clusters; j++)
            image = image * std::size_t(system.multiplicity[j] + 1) + std::size_t(system.counts[I * clusters + j]);
        system.mirror[I] = image;
    }
}

// reversed: the eigenvalues in the opposite order, so that the second
// integration's rounding in the recursion takes other paths. Equal
// eigenvalues make the confluent system, whose matrices confluent_pair
// builds.
template <class Real>
void make_system(const holonomic_ray_request &request, bool reversed, double shift, pfaffian_system<Real> &system)
{
    const int m = (int)request.s.size();
    system.m = m;
    system.size = std::size_t(1) << m;
    system.a = request.a;
    system.b = Real(1) - (Real(request.c) - Real(m - 1) / 2);
    system.shift = shift;
    std::vector<double> distinct;
    std::vector<int> multiplicity;
    std::vector<std::vector<double>> offsets;
    for (int i = 0; i < m; i++) {
        const int k = reversed ? m - 1 - i : i;
        const double value = request.s[k];
        const double offset = request.log_offsets.empty() ? 0 : request.log_offsets[k];
        const auto seen = std::find(distinct.begin(), distinct.end(), value);
        if (seen != distinct.end()) {
            multiplicity[seen - distinct.begin()]++;
            offsets[seen - distinct.begin()].push_back(offset);
            continue;
        }
        distinct.push_back(value);
        multiplicity.push_back(1);
        offsets.push_back({offset});
    }
    if ((int)distinct.size() < m) {
        for (double value : distinct) system.s.push_back(Real(value));
        system.multiplicity = multiplicity;
        if (!request.log_offsets.empty()) {
            system.offsets = offsets;
            double widest = 0, squares = 0;   // of t s, and of the offsets
            for (double t : request.targets)
                for (double value : distinct) widest = std::max(widest, t * std::fabs(value));
            for (double x : request.log_offsets) {
                system.readout.exponent += request.a * x;
                squares += x * x;
            }
            system.readout.reach = std::sqrt(squares) * widest;
            system.readout.limits = request.deep_readout ? deep_readout : usual_readout;
        }
        confluent_basis(system);
        for (double p : distinct)   // the largest w between clusters: the rounding's amplifier
            for (double q : distinct)
                if (p != q) system.most_w = std::max(system.most_w, std::fabs(p / (p - q)));
        return;
    }
    for (int i = 0; i < m; i++) {
        const int k = reversed ? m - 1 - i : i;
        system.s.push_back(Real(request.s[k]));
    }
    square_free_basis(system);
    system.half_w.assign(m * m, 0);
    system.half_w_w1.assign(m * m, 0);
    for (int i = 0; i < m; i++)
        for (int j = 0; j < m; j++) {
            if (i == j) continue;
            const Real w = system.s[i] / (system.s[i] - system.s[j]);
            system.half_w[i * m + j] = w / 2;
            system.half_w_w1[i * m + j] = w * (w - 1) / 2;
            system.most_w = std::max(system.most_w, std::fabs(to_double(w)));
        }
    for (int i = 0; i < m; i++) {
        Real diagonal = system.b;
        for (int j = 0; j < m; j++) diagonal -= system.half_w[i * m + j];
        system.diagonal.push_back(diagonal);
    }
}

// With c - a = (m + 1)/2, det(-y)^-a solves the system exactly (the
// Muirhead equations' terms in y_i^-1 cancel then), and theta^I of it is
// (-a)^|I| times itself: the solution that does not decay, whose multiple
// t^(m a) F tends to. The system of w = g - g_{} phi, which lies in
// w_{} = 0, drops it: t w' = (A0 - phi e^T + t A1) w, e^T w = sum_i w_{i},
// whose solutions are those of the others that decay, projected
// (docs/wishart_holonomic.md, "The upper tail").
// In the confluent system phi_p = prod_j binom(m_j, p_j) (-a)^p_j, and
// A0's change is made in B_0.
template <class Real> pfaffian_system<Real> projected_system(pfaffian_system<Real> system)
{
    const std::size_t clusters = system.multiplicity.size();
    system.phi.assign(system.size, 0);
    for (std::size_t I = 0; I < system.size; I++) {
        Real power = 1;
        for (std::size_t j = 0; j < clusters; j++) {
            const int p = system.counts[I * clusters + j];
            for (int q = 0; q < p; q++) power *= -system.a;
            if (system.multiplicity[j] > 1)
                power *= Real(boost::math::binomial_coefficient<double>(system.multiplicity[j], p));
        }
        system.phi[I] = power;
    }
    if (!system.B.empty())
        for (std::size_t I = 0; I < system.size; I++)
            for (std::size_t J = 0; J < system.size; J++)
                if (system.grades[J] == 1) system.B[0][I * system.size + J] -= system.phi[I];
    return system;
}

// sum_i v_{i}, the entries of grade 1 (sum_j e_1(theta_{C_j}) v in the
// confluent system): t times the derivative of v_{} in the projected system.
template <class Real> Real singleton_sum(const pfaffian_system<Real> &system, const Real *v)
{
    Real sum = 0;
    for (std::size_t I = 0; I < system.size; I++)
        if (system.grades[I] == 1) sum += v[I];
    return sum;
}

// out = A0 p + t A1 q (a null p or q drops its part; A0 without the shift).
//
// r(i, J) = theta_i^2 theta^J F (i not in J) from the Muirhead equation
//   theta_i^2 F = a y_i F + (b + y_i) theta_i F - 1/2 sum_j w_ij (theta_i - theta_j) F
// with theta^J applied: theta_j w_ij = w_ij (w_ij - 1) brings, for j in J,
// the terms in r(j, J \ j), a smaller set. Then
//   (t dg/dt)_I = sum_{i not in I} g_{I+i} + sum_{i in I} r(i, I \ i).
// The terms in y = -t s are A1's, the others A0's; the recursion is linear,
// so one pass serves both. r holds m values per subset.
template <class Real>
void apply(const pfaffian_system<Real> &system, const Real *p, const Real *q, Real t, Real *out, Real *r)
{
    const int m = system.m;
    const std::size_t all = system.size - 1;
    for (std::size_t J = 0; J < system.size; J++) {
        for (std::size_t free = all & ~J; free; free &= free - 1) {
            const int i = __builtin_ctzll(free);
            const std::size_t bit_i = std::size_t(1) << i;
            const std::size_t Ji = J | bit_i;
            const Real *half_w = &system.half_w[i * m];
            const Real *half_w_w1 = &system.half_w_w1[i * m];
            Real v = 0;
            if (q) v = -t * system.s[i] * (system.a * q[J] + q[Ji]);
            for (std::size_t in = J; in; in &= in - 1) {   // j in J: the recursion
                const int j = __builtin_ctzll(in);
                v += half_w[j] * r[(J & ~(std::size_t(1) << j)) * m + j];
            }
            if (p) {
                // b p_Ji - 1/2 sum_{j not in J} w_ij (p_Ji - p_Jj)
                //        - 1/2 sum_{j in J} [w_ij (w_ij - 1) (p_{J-j+i} - p_J) + w_ij p_Ji]
                Real sum = system.diagonal[i] * p[Ji];
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
        Real v = 0;
        for (std::size_t in = I; in; in &= in - 1) {
            const int i = __builtin_ctzll(in);
            v += r[(I & ~(std::size_t(1) << i)) * m + i];
        }
        if (p)
            for (std::size_t out_i = all & ~I; out_i; out_i &= out_i - 1)
                v += p[I | (std::size_t(1) << __builtin_ctzll(out_i))];
        out[I] = v;
    }
    if (p && !system.phi.empty()) {
        const Real sum = singleton_sum(system, p);
        for (std::size_t I = 0; I < system.size; I++) out[I] -= system.phi[I] * sum;
    }
}

// How many theta^I F an entry sums: prod_j binom(m_j, p_j), 1 for the
// square-free system.
template <class Real> double entry_terms(const pfaffian_system<Real> &system, std::size_t I)
{
    const std::size_t clusters = system.multiplicity.size();
    double terms = 1;
    for (std::size_t j = 0; j < clusters; j++)
        terms *= boost::math::binomial_coefficient<double>(system.multiplicity[j], system.counts[I * clusters + j]);
    return terms;
}

// Solves M z = rhs in place (M n-by-n, row-major) by elimination with
// partial pivoting; false when a pivot vanishes.
template <class Real> bool solve_dense(std::vector<Real> &M, std::vector<Real> &rhs, std::size_t n)
{
    for (std::size_t k = 0; k < n; k++) {
        std::size_t pivot = k;
        for (std::size_t i = k + 1; i < n; i++)
            if (magnitude(M[i * n + k]) > magnitude(M[pivot * n + k])) pivot = i;
        if (!(M[pivot * n + k] != 0)) return false;
        if (pivot != k) {
            std::swap_ranges(&M[k * n], &M[k * n] + n, &M[pivot * n]);
            std::swap(rhs[k], rhs[pivot]);
        }
        for (std::size_t i = k + 1; i < n; i++) {
            const Real factor = M[i * n + k] / M[k * n + k];
            if (factor == 0) continue;
            for (std::size_t j = k; j < n; j++) M[i * n + j] -= factor * M[k * n + j];
            rhs[i] -= factor * rhs[k];
        }
    }
    for (std::size_t k = n; k-- > 0;) {
        Real v = rhs[k];
        for (std::size_t j = k + 1; j < n; j++) v -= M[k * n + j] * rhs[j];
        rhs[k] = v / M[k * n + k];
    }
    return true;
}

// Entries of grade at most `top`: the unknowns of the start's solves.
template <class Real> std::size_t entries_up_to(const pfaffian_system<Real> &system, int top)
{
    std::size_t count = 0;
    for (int value : system.grades) count += value <= top;
    return count;
}

// Multiply-adds of the start's eliminations, in the precision's units.
template <class Real> double start_work(const pfaffian_system<Real> &system)
{
    if (!system.B.empty()) return start_terms * std::pow((double)system.size, 3) / 3;   // whole solves
    double work = 0;
    for (int k = 1; k <= start_terms; k++) work += std::pow((double)entries_up_to(system, k), 3) / 3;
    return work;
}

// A matrix's nonzero entries by rows (row I's from start[I] to
// start[I + 1]) in column order. The confluent system's B_d and B(t1 + u)
// are some 15 to 30% nonzero, and its products over these alone sum the same terms
// in the same order as over the whole matrix: the zeros add nothing.
template <class Real> struct sparse_rows {
    std::vector<std::size_t> start, column;
    std::vector<Real> value;
};

template <class Real> void compress(const std::vector<Real> &dense, std::size_t N, sparse_rows<Real> &rows)
{
    rows.start.assign(1, 0);
    rows.column.clear();
    rows.value.clear();
    for (std::size_t I = 0; I < N; I++) {
        for (std::size_t J = 0; J < N; J++)
            if (dense[I * N + J] != 0) {
                rows.column.push_back(J);
                rows.value.push_back(dense[I * N + J]);
            }
        rows.start.push_back(rows.column.size());
    }
}

// out = sum_{l = from .. k} M_l v[k - l], M_l held by their nonzero entries:
// the confluent system's matrices' terms of degree at least `from` applied
// to the vectors of lower order.
template <class Real>
void apply_sparse(const std::vector<sparse_rows<Real>> &M, const std::vector<std::vector<Real>> &v, std::size_t k,
                  std::size_t from, std::size_t N, Real *out)
{
    std::fill(out, out + N, Real(0));
    for (std::size_t l = from; l < M.size() && l <= k; l++) {
        const sparse_rows<Real> &rows = M[l];
        const Real *vector = v[k - l].data();
        for (std::size_t I = 0; I < N; I++) {
            Real sum = 0;
            for (std::size_t p = rows.start[I]; p < rows.start[I + 1]; p++) sum += rows.value[p] * vector[rows.column[p]];
            out[I] += sum;
        }
    }
}

// The series g = sum_k t^k gamma_k of the solution analytic at t = 0:
// (k - A0) gamma_k = A1 gamma_{k-1} (the confluent system: sum_{d >= 1} B_d
// gamma_{k-d}), gamma_0 = e_{}. theta^I F is O(t^|I|) (an entry of the
// confluent system, O(t^grade)), so gamma_k lives on entries of grade at
// most k and the system restricted
// to them is exact.
template <class Real> struct frobenius_series {
    std::vector<std::vector<Real>> gamma;   // gamma_0 .. gamma_start_terms
    bool ok = false;
};

template <class Real> frobenius_series<Real> frobenius_terms(const pfaffian_system<Real> &system)
{
    const std::size_t N = system.size;
    std::vector<std::size_t> order(N);
    std::iota(order.begin(), order.end(), 0);
    const std::vector<int> &grades = system.grades;
    std::stable_sort(order.begin(), order.end(),
                     [&grades](std::size_t p, std::size_t q) { return grades[p] < grades[q]; });
    // The confluent system's solves take every entry (R <= 128: cheap),
    // which needs no argument on B_0's structure across grades.
    const bool whole = !system.B.empty();
    const int top = std::min(start_terms, system.m);
    std::size_t block = 0;              // entries of grade at most `top`
    while (block < N && (whole || grades[order[block]] <= top)) block++;
    // A0 on those entries, column by column.
    std::vector<Real> A0(block * block), unit(N, 0), column(N), r(N * system.m);
    for (std::size_t col = 0; col < block; col++) {
        if (system.B.empty()) {
            unit[order[col]] = 1;
            apply<Real>(system, unit.data(), nullptr, 0, column.data(), r.data());
            unit[order[col]] = Real(0);
        } else {
            for (std::size_t row = 0; row < N; row++) column[row] = system.B[0][row * N + order[col]];
        }
        for (std::size_t row = 0; row < block; row++) A0[row * block + col] = column[order[row]];
    }
    frobenius_series<Real> series;
    series.gamma.assign(1, std::vector<Real>(N, 0));
    series.gamma[0][0] = 1;
    std::vector<Real> image(N);
    std::vector<sparse_rows<Real>> B(system.B.size());
    for (std::size_t d = 0; d < B.size(); d++) compress(system.B[d], N, B[d]);
    for (int k = 1; k <= start_terms; k++) {
        std::size_t used = 0;
        while (used < block && (whole || grades[order[used]] <= k)) used++;
        if (system.B.empty())
            apply<Real>(system, nullptr, series.gamma.back().data(), 1, image.data(), r.data());
        else   // sum_{d >= 1} B_d gamma_{k - d}
            apply_sparse(B, series.gamma, k, 1, N, image.data());
        std::vector<Real> M(used * used), rhs(used);
        for (std::size_t row = 0; row < used; row++) {
            for (std::size_t col = 0; col < used; col++)
                M[row * used + col] = Real(row == col ? k : 0) - A0[row * block + col];
            rhs[row] = image[order[row]];
        }
        if (!solve_dense(M, rhs, used)) return series;
        std::vector<Real> gamma(N, 0);
        for (std::size_t row = 0; row < used; row++) gamma[order[row]] = rhs[row];
        series.gamma.push_back(std::move(gamma));
    }
    series.ok = true;
    return series;
}

template <class Real> struct start_values {
    std::vector<Real> g;
    double truncation = 0;  // size of the last term kept, relative to F(t) ~ 1
    bool ok = false;
};

// g(t) from the series, t at most the start (where six terms suffice).
template <class Real> start_values<Real> frobenius_start(const frobenius_series<Real> &series, double t)
{
    start_values<Real> start;
    const std::size_t N = series.gamma[0].size();
    start.g.assign(N, 0);
    for (std::size_t k = series.gamma.size(); k-- > 0;)      // Horner
        for (std::size_t I = 0; I < N; I++) start.g[I] = start.g[I] * Real(t) + series.gamma[k][I];
    double largest = 0;
    for (Real value : series.gamma.back()) largest = std::max(largest, to_double(magnitude(value)));
    start.truncation = std::pow(t, (double)series.gamma.size() - 1) * largest;
    start.ok = std::isfinite(start.truncation) && start.g[0] > 0;
    return start;
}

// One integration along the ray: g_{} at each target t, as value 2^log2_scale.
template <class Real> struct ray_run {
    std::vector<Real> value;
    std::vector<long> log2_scale;
    std::vector<char> reached;
    // integrate_tail only: the part of each value estimated beyond the
    // run's end, relative to it.
    std::vector<double> tail_share;
    // The whole vector at the last target (up to a power of two), where the
    // plan asks for it and the run reached that target: another run goes on
    // from there.
    std::vector<Real> end;
    // Where the plan keeps them (ray_plan::keep_vectors): the whole vector
    // at each target, as vector 2^vector_scale, which the readout takes.
    std::vector<std::vector<Real>> vectors;
    std::vector<long> vector_scale;
    // The readout's truncation at each target, relative to the value.
    std::vector<double> readout_truncation;
    long steps = 0;
    bool interrupted = false;
};

template <class Real> struct ray_plan {
    const pfaffian_system<Real> *system;
    const start_values<Real> *start;
    double t0;
    const std::vector<double> *targets;   // t, increasing, >= t0
    double rtol;                          // truncation allowed per step, relative
    int order;                            // Taylor terms per step
    long most_steps;                      // the work budget in steps
    const interrupt_check *interrupt;     // null on a worker thread
    std::atomic<bool> *team_stop;         // raised when either run must stop
    int direction = 1;                    // -1: towards t = 0, the targets decreasing, <= t0
    bool keep_end = false;                // keep the vector at the last target (ray_run::end)
    bool keep_vectors = false;            // keep the vector at every target (ray_run::vectors)
};

// Scales v by 2^-e (exactly) so that its largest entry lies in [1/2, 1);
// returns e. Entries beyond double's range are brought into it first.
template <class Real> long normalise(std::vector<Real> &v)
{
    constexpr int range_step = 960;   // within double's exponent range either way
    long total = 0;
    for (int pass = 0; pass < 64; pass++) {
        double largest = 0;
        bool nonzero = false;
        for (Real value : v) {
            largest = std::max(largest, std::fabs(to_double(value)));
            nonzero = nonzero || value != 0;
        }
        if (!nonzero || std::isnan(largest)) return total;
        const int e = std::isinf(largest) ? range_step : largest == 0 ? -range_step : std::ilogb(largest) + 1;
        for (Real &value : v) value = times_power_of_two(value, -e);
        total += e;
        if (std::isfinite(largest) && largest > 0) return total;
    }
    return total;
}

// max_I |v_I| / weight_I.
template <class Real> Real natural_norm(const std::vector<Real> &v, const std::vector<double> &weight)
{
    Real norm = 0;
    for (std::size_t I = 0; I < v.size(); I++) norm = std::max(norm, magnitude(v[I]) / Real(weight[I]));
    return norm;
}

// log2 |v| of a wide value, whatever its exponent.
template <class Real> double log2_magnitude(Real v)
{
    constexpr int range_step = 960;   // within double's exponent range
    v = magnitude(v);
    long e = 0;
    for (int pass = 0; pass < 8 && std::isinf(to_double(v)); pass++, e += range_step)
        v = times_power_of_two(v, -range_step);
    for (int pass = 0; pass < 8 && v != 0 && to_double(v) == 0; pass++, e -= range_step)
        v = times_power_of_two(v, range_step);
    return std::log2(to_double(v)) + e;
}

// (rtol size / term)^(1/k): in double as it stands; in the wide type
// through logs, its Taylor terms at a small t (those of t^shift) lying
// beyond double's range.
double step_root(double rtol, double size, double term, int k) { return std::pow(rtol * size / term, 1.0 / k); }
template <class Real> double step_root(double rtol, Real size, Real term, int k)
{
    return std::exp2((std::log2(rtol) + log2_magnitude(size) - log2_magnitude(term)) / k);
}

// The Taylor coefficients of g at t1 (c[0] = g): from t g' = (A0 + t A1) g,
//   t1 (k + 1) c_{k+1} = A0 c_k + A1 (t1 c_k + c_{k-1}) - k c_k.
// Scaled, they are c_k t1^k, the series in u / t1: near t = 0 the plain
// ones of a power of t grow like t1^-k, past double's range.
//
// The confluent system's B(t1 + u) = sum_l u^l M_l gives
//   t1 (k + 1) c_{k+1} = sum_l M_l c_{k-l} - k c_k,
// and scaled (k + 1) d_{k+1} = sum_l t1^l M_l d_{k-l} - k d_k: `expansion`
// holds M_l, or t1^l M_l.
template <class Real>
void expand_polynomial(const pfaffian_system<Real> &system, Real t1, bool scaled,
                       std::vector<std::vector<Real>> &expansion)
{
    const std::size_t degree = system.B.size() - 1, entries = system.size * system.size;
    expansion.assign(degree + 1, std::vector<Real>(entries, Real(0)));
    std::vector<Real> power(degree + 1, Real(1));   // t1^0 .. t1^degree
    for (std::size_t d = 1; d <= degree; d++) power[d] = power[d - 1] * t1;
    for (std::size_t l = 0; l <= degree; l++)
        for (std::size_t d = l; d <= degree; d++) {
            const Real factor = Real(boost::math::binomial_coefficient<double>((unsigned)d, (unsigned)l)) *
                                power[scaled ? d : d - l];
            for (std::size_t e = 0; e < entries; e++) expansion[l][e] += factor * system.B[d][e];
        }
}

template <class Real>
void taylor_coefficients(const pfaffian_system<Real> &system, Real t1, bool scaled, std::vector<std::vector<Real>> &c,
                         std::vector<Real> &mixed, std::vector<Real> &r, std::vector<std::vector<Real>> &expansion,
                         std::vector<sparse_rows<Real>> &compressed)
{
    const std::size_t N = system.size;
    if (!system.B.empty()) {
        expand_polynomial(system, t1, scaled, expansion);
        compressed.resize(expansion.size());
        for (std::size_t l = 0; l < expansion.size(); l++) compress(expansion[l], N, compressed[l]);
        for (std::size_t k = 0; k + 1 < c.size(); k++) {
            apply_sparse(compressed, c, k, 0, N, c[k + 1].data());
            const Real divisor = scaled ? Real(double(k + 1)) : t1 * Real(double(k + 1));
            const Real diagonal = Real(double(k)) - system.shift;
            for (std::size_t I = 0; I < N; I++) c[k + 1][I] = (c[k + 1][I] - diagonal * c[k][I]) / divisor;
        }
        return;
    }
    for (std::size_t k = 0; k + 1 < c.size(); k++) {
        if (scaled)
            for (std::size_t I = 0; I < N; I++) mixed[I] = t1 * (c[k][I] + (k ? c[k - 1][I] : 0));
        else
            for (std::size_t I = 0; I < N; I++) mixed[I] = t1 * c[k][I] + (k ? c[k - 1][I] : 0);
        apply<Real>(system, c[k].data(), mixed.data(), 1, c[k + 1].data(), r.data());
        const Real divisor = scaled ? Real(double(k + 1)) : t1 * Real(double(k + 1));
        const Real diagonal = Real(double(k)) - system.shift;
        for (std::size_t I = 0; I < N; I++) c[k + 1][I] = (c[k + 1][I] - diagonal * c[k][I]) / divisor;
    }
}

// The step from t1: the last three terms, weighed by their natural sizes,
// within rtol of the vector, and at most step_radius_share of the distance
// to the singular point t = 0.
template <class Real>
double taylor_step(const std::vector<std::vector<Real>> &c, const std::vector<double> &weight, double t1,
                   bool scaled, double rtol)
{
    const Real size = natural_norm(c[0], weight);
    const int order = (int)c.size() - 1;
    double step = step_radius_share * (scaled ? 1 : t1);
    for (int k = order - 2; k <= order; k++) {
        const Real term = natural_norm(c[k], weight);
        if (term > 0) step = std::min(step, step_root(rtol, size, term, k));
    }
    return scaled ? step * t1 : step;
}

// sum_k c_k v^k (Horner), v = u, or u / t1 for scaled coefficients.
template <class Real> Real taylor_sum(const std::vector<std::vector<Real>> &c, std::size_t I, Real v)
{
    const int order = (int)c.size() - 1;
    Real sum = c[order][I];
    for (int k = order - 1; k >= 0; k--) sum = sum * v + c[k][I];
    return sum;
}

template <class Real> void record(ray_run<Real> &run, std::size_t target, Real value, long log2_scale)
{
    run.value[target] = value;
    run.log2_scale[target] = log2_scale;
    run.reached[target] = 1;
}

// What a run carries from step to step: the vector at t as c[0] 2^log2_scale
// and, once step() has taken them, its Taylor coefficients there.
template <class Real> struct ray_stepper {
    const pfaffian_system<Real> &system;
    const double rtol;
    const bool forward;
    // Coefficients in u / t towards t = 0, and for t^shift g: near t = 0
    // the plain ones of a power of t grow like t^-k, past the exponent range
    // of double, which the wide type shares.
    const bool scaled;
    std::vector<std::vector<Real>> c;
    std::vector<Real> mixed, r;
    std::vector<std::vector<Real>> expansion;   // the confluent system's B at t
    std::vector<sparse_rows<Real>> compressed;  // and its nonzero entries
    std::vector<double> weight;   // the entries' natural sizes
    double t;
    long log2_scale;

    explicit ray_stepper(const ray_plan<Real> &plan)
        : system(*plan.system), rtol(plan.rtol), forward(plan.direction > 0),
          scaled(!forward || system.shift != 0), c(plan.order + 1, std::vector<Real>(system.size)),
          mixed(system.size), r(system.size * system.m), weight(system.size), t(plan.t0)
    {
        const double rho = std::max(to_double(system.a), 1.0);
        for (std::size_t I = 0; I < system.size; I++)
            weight[I] = std::pow(rho, system.grades[I]) * entry_terms(system, I);
        c[0] = plan.start->g;
        log2_scale = normalise(c[0]);
    }

    // The Taylor coefficients at t and the step they allow; 0 where they
    // are not finite (the run is abandoned). The step lands on a double
    // exactly (step <= t: no rounding in the difference), so that the
    // system's coefficients are taken where the vector is; the runs' drift
    // otherwise moves h by a unit of double per step, more than the wide
    // runs' rounding.
    double step()
    {
        taylor_coefficients<Real>(system, t, scaled, c, mixed, r, expansion, compressed);
        const double size = taylor_step(c, weight, t, scaled, rtol);
        if (!(size > 0)) return 0;
        return forward ? (t + size) - t : (t - size) - t;
    }

    // u = target - t in the coefficients' variable.
    Real variable(double u) const { return scaled ? Real(u) / Real(t) : Real(u); }

    void advance(double h)
    {
        const Real v = variable(h);
        for (std::size_t I = 0; I < system.size; I++) c[0][I] = taylor_sum(c, I, v);
        t += h;
        log2_scale += normalise(c[0]);
    }
};

// The vector u past the stepper's t into the run's vectors at `target`.
template <class Real> void keep_vector(ray_run<Real> &run, const ray_stepper<Real> &at, std::size_t target, double u)
{
    run.vectors.resize(run.value.size());
    run.vector_scale.resize(run.value.size());
    run.vectors[target].resize(at.system.size);
    for (std::size_t I = 0; I < at.system.size; I++) run.vectors[target][I] = taylor_sum(at.c, I, at.variable(u));
    run.vector_scale[target] = at.log2_scale;
}

template <class Real> ray_run<Real> integrate(const ray_plan<Real> &plan)
{
    const std::vector<double> &targets = *plan.targets;
    ray_run<Real> run;
    run.value.assign(targets.size(), 0);
    run.log2_scale.assign(targets.size(), 0);
    run.reached.assign(targets.size(), 0);
    ray_stepper<Real> at(plan);
    // Whether the target lies at or before t along the run.
    const auto passed = [&](double target_t, double t) { return at.forward ? target_t <= t : target_t >= t; };
    std::size_t target = 0;
    // The vector u past t (0 before the first step: the coefficients beyond
    // c[0] are still 0, and the sum is c[0] itself).
    const auto keep_end = [&](double u) {
        if (plan.keep_vectors) keep_vector(run, at, target, u);
        if (!plan.keep_end || target + 1 != targets.size()) return;
        run.end.resize(at.system.size);
        for (std::size_t I = 0; I < at.system.size; I++) run.end[I] = taylor_sum(at.c, I, at.variable(u));
    };
    for (; target < targets.size() && passed(targets[target], at.t); target++) {
        keep_end(0);
        record(run, target, at.c[0][0], at.log2_scale);
    }
    interrupt_countdown countdown(plan.interrupt, steps_per_poll, plan.team_stop);
    while (target < targets.size()) {
        if (countdown.step()) {
            run.interrupted = true;
            return run;
        }
        if (run.steps >= plan.most_steps) break;
        const double h = at.step();
        if (h == 0) break;
        // The targets this step covers come from its polynomial (Horner).
        for (; target < targets.size() && passed(targets[target], at.t + h); target++) {
            keep_end(targets[target] - at.t);
            record(run, target, taylor_sum(at.c, 0, at.variable(targets[target] - at.t)), at.log2_scale);
        }
        at.advance(h);
        run.steps++;
    }
    return run;
}

// A positive sum kept as value 2^log2_scale, value in [1/2, 1): the tail's
// integrals lie far below double's range.
struct scaled_sum {
    double value = 0;
    long log2_scale = 0;

    void add(double v, long e)
    {
        if (!(v != 0)) return;
        if (value == 0) {
            value = v;
            log2_scale = e;
        } else if (e > log2_scale) {
            value = std::ldexp(value, (int)std::max(log2_scale - e, -2100L)) + v;
            log2_scale = e;
        } else {
            value += std::ldexp(v, (int)std::max(e - log2_scale, -2100L));
        }
        int k = 0;
        value = std::frexp(value, &k);
        log2_scale += k;
    }
    double ratio_to(const scaled_sum &other) const
    {
        return value / other.value * std::exp2((double)std::max(log2_scale - other.log2_scale, -2100L));
    }
};

// Past the last target the tail run goes on until the rest, estimated as
// geometric, is less than this share of the integral beyond that target:
// below the runs' rounding (16 units of double a step at least), which err
// counts with it.
constexpr double tail_negligible = 1e-15;

// The integral beyond a step, `last`, were the steps' integrals to fall on
// in the ratio of `last` to the one before: Inf where they did not fall.
scaled_sum geometric_rest(const scaled_sum &last, const scaled_sum &before)
{
    scaled_sum rest = last;
    const double ratio = before.value > 0 && last.value > 0 ? last.ratio_to(before) : 1;
    rest.value = ratio < 1 ? rest.value * (ratio / (1 - ratio)) : HUGE_VAL;
    return rest;
}

// The projected system's run: at each target, the integral of
// sum_i h_{i}(t) / t from it to infinity, h the vector carried. Each step
// integrates its own polynomial, t q' = sum_i h_{i} with q = 0 at its start:
// (k + 1) q_{k+1} + k q_k = sigma_k in the scaled coefficients. The integral
// from each target to the next, all of one sign, is kept apart, and the sums
// are taken from the far end, so the tail keeps its digits however far
// below the start it lies. Past the last target the run goes on until the
// rest, taken as geometric (the last two steps' ratio), is below
// tail_negligible of the integral, or the budget ends it; tail_share holds
// that rest.
template <class Real> ray_run<Real> integrate_tail(const ray_plan<Real> &plan)
{
    const std::vector<double> &targets = *plan.targets;
    const std::size_t count = targets.size();
    ray_run<Real> run;
    run.value.assign(count, 0);
    run.log2_scale.assign(count, 0);
    run.reached.assign(count, 0);
    run.tail_share.assign(count, 0);
    if (count == 0) return run;                // every target beyond the budget: nothing to carry
    ray_stepper<Real> at(plan);                // forward, its coefficients scaled (the shift)
    std::vector<Real> q(plan.order + 1);
    const auto integral = [&](double u) {      // q at t + u (Horner)
        const Real v = at.variable(u);
        Real sum = q[plan.order];
        for (int k = plan.order - 1; k >= 0; k--) sum = sum * v + q[k];
        return sum;
    };
    std::vector<scaled_sum> segment(count);   // from each target to the next, the last's to the run's end
    std::size_t passed = 0;                   // targets passed
    scaled_sum last_step, step_before;
    bool complete = false;
    interrupt_countdown countdown(plan.interrupt, steps_per_poll, plan.team_stop);
    while (!complete && run.steps < plan.most_steps) {
        if (countdown.step()) {
            run.interrupted = true;
            return run;
        }
        const double h = at.step();
        if (h == 0) break;
        q[0] = Real(0);
        for (int k = 0; k < plan.order; k++)
            q[k + 1] = (singleton_sum(at.system, at.c[k].data()) - Real(double(k)) * q[k]) / Real(double(k + 1));
        // The open segment runs from `from` (the step's start, or the target
        // passed within it) to each target the step passes, then to its end.
        Real from = Real(0);
        bool within = false;                           // a target passed in this step
        for (; passed < count && targets[passed] <= at.t + h; passed++, within = true) {
            if (plan.keep_vectors) keep_vector(run, at, passed, targets[passed] - at.t);
            const Real to = integral(targets[passed] - at.t);
            if (passed > 0) segment[passed - 1].add(to_double(to - from), at.log2_scale);
            from = to;
        }
        const Real whole = integral(h);
        if (passed > 0) segment[passed - 1].add(to_double(whole - from), at.log2_scale);
        step_before = last_step;
        last_step = scaled_sum{};
        last_step.add(to_double(whole), at.log2_scale);
        if (passed == count && !within)   // a whole step beyond the last target
            complete = !(geometric_rest(last_step, step_before).ratio_to(segment[count - 1]) > tail_negligible);
        at.advance(h);
        run.steps++;
    }
    if (passed == 0) return run;
    const scaled_sum rest = geometric_rest(last_step, step_before);
    scaled_sum beyond = rest;
    if (std::isinf(beyond.value)) beyond.value = 0;
    for (std::size_t k = passed; k-- > 0;) {
        beyond.add(segment[k].value, segment[k].log2_scale);
        record(run, k, Real(beyond.value), beyond.log2_scale);
        run.tail_share[k] = std::isinf(rest.value) ? HUGE_VAL : rest.value == 0 ? 0 : rest.ratio_to(beyond);
    }
    return run;
}

// J(t) . v at t, in v's units, and its parts of each orbit degree.
template <class Real>
Real read_out(const readout_map<Real> &map, double t, const std::vector<Real> &v, std::vector<Real> &parts)
{
    const std::size_t N = v.size(), rows = map.J[0].size() / N;
    Real total = 0;
    parts.assign(map.J.size(), Real(0));
    for (std::size_t e = 0; e < map.J.size(); e++) {
        for (std::size_t d = rows; d-- > 0;) {   // Horner in t
            Real row = 0;
            for (std::size_t I = 0; I < N; I++) row += map.J[e][d * N + I] * v[I];
            parts[e] = parts[e] * Real(t) + row;
        }
        total += parts[e];
    }
    return total;
}

// The readout's truncation relative to the value, the parts taken to the
// value's scale (times `scale` 2^apart): the parts fall like (x t s)^e / e!,
// and the first left out, of degree D + 1, is estimated as if they fell
// geometrically from each of the last three kept, the largest estimate
// taken. (Geometric from degree 0 would not do: a cluster split evenly
// about its centre has no odd parts.)
template <class Real> double readout_truncation(const std::vector<Real> &parts, const Real &scale, int apart)
{
    const int top = (int)parts.size() - 1;
    double worst = 0;
    for (int e = std::max(1, top - 2); e <= top; e++) {
        const double share = to_double(magnitude(times_power_of_two(parts[e] * scale, apart)));
        worst = std::max(worst, std::pow(share, double(top + 1) / e));
    }
    return worst;
}

// A run's values at the readout's eigenvalues. A run of F takes F = J . g.
// A tail run's value is I(t) = h(inf) Q(t) at the centre and its vector the
// projected w = t^(m a) (g - g_{} phi), whose readout is t^(m a) (F_x -
// F e^-exponent) (phi's is e^-exponent): with h_x(inf) = h(inf) e^-exponent,
// Q_x / Q = 1 - e^exponent (J . w) / I, its degree 0 and 1 parts nil (w_{}
// = 0; sum x = 0 about the centre), docs/wishart_holonomic_confluent.md.
template <class Real>
void read_out_run(const pfaffian_system<Real> &system, const std::vector<double> &targets, ray_run<Real> &run)
{
    run.readout_truncation.assign(run.value.size(), 0);
    std::vector<Real> parts;
    for (std::size_t k = 0; k < run.value.size(); k++) {
        if (!run.reached[k] || k >= run.vectors.size() || run.vectors[k].empty()) continue;
        const Real value = read_out(system.readout, targets[k], run.vectors[k], parts);
        if (system.phi.empty()) {
            run.value[k] = value;
            run.log2_scale[k] = run.vector_scale[k];
            run.readout_truncation[k] = readout_truncation(parts, Real(1) / magnitude(value), 0);
            continue;
        }
        if (!(run.value[k] != 0)) continue;
        const Real share = Real(std::exp(system.readout.exponent)) / run.value[k];
        const int apart = (int)(run.vector_scale[k] - run.log2_scale[k]);
        const Real factor = Real(1) - times_power_of_two(share * value, apart);
        run.value[k] *= factor;
        run.readout_truncation[k] = readout_truncation(parts, share / magnitude(factor), apart);
    }
}

// Bytes the route holds at once: both runs' Taylor coefficients and
// recursion values, and the start's block of A0 with its elimination copy.
template <class Real> std::size_t workspace_bytes(const pfaffian_system<Real> &system, const precision_profile &profile)
{
    const std::size_t N = system.size, m = system.m;
    const std::size_t block = entries_up_to(system, start_terms);
    const std::size_t per_run = (std::size_t(profile.fine_order + profile.coarse_order) / 2 + 2 + m) * N;
    // The confluent B_d and, per run, their expansion and its nonzero
    // entries with their columns (at most every entry).
    const std::size_t matrices = system.B.size() * N * N;
    return sizeof(Real) * (2 * per_run + 2 * block * block + (start_terms + 2) * N + 5 * matrices) +
           2 * matrices * sizeof(std::size_t);
}

// The two integrations of one request, and what their caller needs of the
// start and the budget.
template <class Real> struct ray_pair {
    holonomic_ray_state state = holonomic_ray_state::done;
    std::string message;
    frobenius_series<Real> series;
    double t0 = 0;
    double start_truncation = 0;
    std::size_t first_target = 0;     // targets before it lie within t0: the series serves them
    std::vector<double> carried;      // the targets the runs carry
    ray_run<Real> fine, coarse;
    readout_map<Real> readout;        // the system's, for the targets the start serves
    double rounding = 0;              // of the fine run, relative to the vector
    double budget_used = 0;
    bool abandoned = false;           // some target beyond the work budget
};

// The start's values in the mirrored run's order.
template <class Real>
start_values<Real> mirrored_values(const start_values<Real> &start, const pfaffian_system<Real> &system)
{
    start_values<Real> mirrored = start;
    for (std::size_t I = 0; I < start.g.size(); I++) mirrored.g[system.mirror[I]] = start.g[I];
    return mirrored;
}

// A run's start from the vector another run kept at its last target (in
// the other's precision; none where it did not reach it).
template <class To, class From> start_values<To> start_from_end(const ray_run<From> &run)
{
    start_values<To> start;
    start.g.assign(run.end.begin(), run.end.end());
    start.ok = !run.end.empty();
    return start;
}

// How a pair of runs goes on from another: the runs keep their vectors at
// the last target, and the coarse run starts from its own (in the mirrored
// order) rather than from the fine start mirrored.
template <class Real> struct run_options {
    bool keep_end = false;
    const start_values<Real> *coarse_start = nullptr;
    // The runs carry the vector to the targets only, without the tail's
    // integral or the readout: a stretch another pair goes on from.
    bool carry_only = false;
};

// The fine run, and the coarse one when err is wanted, from the same start
// (mirrored for the coarse run): side by side when threads allow, with the
// same bits either way. Fills the pair's runs, state, budget and rounding.
// The projected system's runs integrate the tail (integrate_tail).
template <class Real>
void run_both(const holonomic_ray_request &request, const precision_profile &profile,
              const pfaffian_system<Real> &system, const pfaffian_system<Real> &mirrored,
              const start_values<Real> &start, int direction, long most_steps, double per_step,
              ray_pair<Real> &pair, const run_options<Real> &options = {})
{
    const bool read = !system.readout.empty() && !options.carry_only;
    const auto run_one = [&system, &options](const ray_plan<Real> &plan) {
        return system.phi.empty() || options.carry_only ? integrate(plan) : integrate_tail(plan);
    };
    const start_values<Real> mirrored_start =
        options.coarse_start ? *options.coarse_start : mirrored_values(start, system);
    std::atomic<bool> stop{false};
    ray_plan<Real> fine{&system, &start, pair.t0, &pair.carried, profile.fine_rtol, profile.fine_order,
                        most_steps, request.interrupt, &stop, direction, options.keep_end, read};
    ray_plan<Real> coarse = fine;
    coarse.system = &mirrored;
    coarse.start = &mirrored_start;
    coarse.rtol = profile.coarse_rtol;
    coarse.order = profile.coarse_order;
    // The same work for either run: the coarse run's shorter steps cost less
    // (at m = 10 the recessive run's coarse steps outnumbered the fine ones'
    // budget while the fine run had reached every target).
    const double coarse_share = (profile.coarse_order + 1.0) / (profile.fine_order + 1.0);
    coarse.most_steps = (long)(most_steps / coarse_share);
    coarse.interrupt = nullptr;                  // the worker reads the team's flag only
    const bool err = request.want_err;
    // A failure to allocate on either thread leaves through the caller
    // (out_of_memory) once the worker has finished; a thread the system
    // refuses leaves both runs to this one.
    thread_team worker([&stop] { stop = true; });
    const bool two_threads = err && request.threads != 1 && !pair.carried.empty() &&
                             worker.start(2, [&](int) { pair.coarse = run_one(coarse); }) == 2;
    if (two_threads) {
        try {
            pair.fine = run_one(fine);
        } catch (...) {
            stop = true;                         // the worker stops; the team waits for it
            throw;
        }
        worker.join();
    } else {
        pair.fine = run_one(fine);
        coarse.interrupt = request.interrupt;    // on this thread: the caller's own poll
        if (err && !pair.fine.interrupted && !pair.carried.empty()) pair.coarse = run_one(coarse);
    }
    if (pair.fine.interrupted || pair.coarse.interrupted) {
        pair.state = holonomic_ray_state::interrupted;
        pair.message = "interrupted";
        return;
    }
    if (read) {
        read_out_run(system, pair.carried, pair.fine);
        read_out_run(mirrored, pair.carried, pair.coarse);
    }
    // Two runs of most_work each make the whole budget.
    pair.budget_used = (pair.fine.steps + pair.coarse.steps * coarse_share) * per_step / (2 * most_work);
    pair.rounding = rounding_units_per_step * profile.unit_roundoff * (1 + system.most_w) *
                    std::sqrt((double)pair.fine.steps + 1);
}

// Nonzero entries of the confluent system's B(t1 + u) = sum_l u^l M_l, over
// l: M_l holds B_d for d >= l, so its pattern is theirs.
template <class Real> double expansion_nonzeros(const pfaffian_system<Real> &system)
{
    const std::size_t entries = system.size * system.size;
    std::vector<char> taken(entries, 0);
    double nonzeros = 0;
    for (std::size_t l = system.B.size(); l-- > 0;) {
        for (std::size_t e = 0; e < entries; e++) taken[e] |= system.B[l][e] != 0;
        nonzeros += (double)std::count(taken.begin(), taken.end(), 1);
    }
    return nonzeros;
}

// Multiply-adds of one step of a precision's fine run: the recursion's (the
// confluent system's over the nonzero entries), and step_entry_overhead per
// entry and term for the rest of the step.
template <class Real> double step_work(const pfaffian_system<Real> &system, const precision_profile &profile)
{
    const double per_entry = system.B.empty() ? double(system.m) * system.m
                                              : expansion_nonzeros(system) / double(system.size);
    return (profile.fine_order + 1.0) * system.size * (per_entry + step_entry_overhead) * profile.operation_cost;
}

template <class Real>
bool within_memory(const holonomic_ray_request &request, const pfaffian_system<Real> &system,
                   const precision_profile &profile, ray_pair<Real> &pair)
{
    if (request.memory_limit == 0 || workspace_bytes(system, profile) <= request.memory_limit) return true;
    pair.state = holonomic_ray_state::out_of_memory;
    pair.message = "The holonomic route needs " + std::to_string(workspace_bytes(system, profile)) +
                   " bytes, more than the memory limit.";
    return false;
}

// The targets from `first` on that a forward run of most_steps reaches by
// the budget's estimate, into the pair's carried; the others abandoned.
// Tail runs go on past the last target until the slowest solution,
// exp(-min(s) t), has fallen by tail_negligible.
template <class Real>
void carry_within_budget(const holonomic_ray_request &request, std::size_t first, bool tail, long most_steps,
                         ray_pair<Real> &pair)
{
    const std::vector<double> &x = request.targets;
    double s_max = 0, s_min = HUGE_VAL;
    for (double value : request.s) {
        s_max = std::max(s_max, std::fabs(value));
        s_min = std::min(s_min, std::fabs(value));
    }
    const double beyond_last = tail ? std::log(1 / tail_negligible) / s_min : 0;
    for (std::size_t k = first; k < x.size(); k++) {
        if ((x[k] + beyond_last) * s_max / step_reach_estimate > most_steps) break;   // beyond the budget
        pair.carried.push_back(x[k]);
    }
    pair.abandoned = first + pair.carried.size() < x.size();
}

// The system and its mirror for the pair's runs; false, with the pair's
// state, where the confluent system's matrices could not be built or the
// caller asked to stop while they were.
template <class Real>
bool make_systems(const holonomic_ray_request &request, double shift, pfaffian_system<Real> &system,
                  pfaffian_system<Real> &mirrored, ray_pair<Real> &pair)
{
    make_system(request, false, shift, system);
    make_system(request, true, shift, mirrored);
    if (system.multiplicity.size() == (std::size_t)system.m) return true;
    const double bytes = request.memory_limit == 0 ? 0 : build_bytes(build_of(system, request.c));
    if (bytes > (double)request.memory_limit) {
        pair.state = holonomic_ray_state::out_of_memory;
        pair.message = "The holonomic route's system for the repeated eigenvalues needs " +
                       std::to_string((long long)bytes) + " bytes to build, more than the memory limit.";
        return false;
    }
    bool interrupted = false;
    if (confluent_pair(system, mirrored, request.c, request.interrupt, &interrupted)) return true;
    if (interrupted) {
        pair.state = holonomic_ray_state::interrupted;
        pair.message = "interrupted";
        return false;
    }
    pair.state = holonomic_ray_state::singular_start;
    pair.message = "The holonomic route's system for the repeated eigenvalues could not be built.";
    return false;
}

// The forward runs from the start near t = 0; projected: of the projected
// system, from the start's projection.
template <class Real>
ray_pair<Real> run_pair(const holonomic_ray_request &request, const precision_profile &profile, double shift,
                        bool projected = false, const run_options<Real> &options = {})
{
    ray_pair<Real> pair;
    const std::vector<double> &x = request.targets;
    pfaffian_system<Real> system, mirrored;
    if (!make_systems(request, shift, system, mirrored, pair)) return pair;
    pair.readout = system.readout;
    double sum_s = 0;
    for (double value : request.s) sum_s += std::fabs(value);
    pair.t0 = profile.start_reach / sum_s;
    if (!within_memory(request, system, profile, pair)) return pair;
    const double budget = request.work_share * most_work;
    if (start_work(system) * profile.operation_cost > budget) {   // no start within the budget
        pair.abandoned = true;
        return pair;
    }
    pair.series = frobenius_terms(system);
    start_values<Real> start = pair.series.ok ? frobenius_start(pair.series, pair.t0) : start_values<Real>{};
    if (!pair.series.ok || !start.ok) {
        pair.state = holonomic_ray_state::singular_start;
        pair.message = "The holonomic route's starting series failed (a singular system at t = 0).";
        return pair;
    }
    pair.start_truncation = start.truncation;
    while (pair.first_target < x.size() && x[pair.first_target] <= pair.t0) pair.first_target++;
    const double per_step = step_work(system, profile);
    const long most_steps = (long)(budget / per_step);
    carry_within_budget(request, pair.first_target, projected && !options.carry_only, most_steps, pair);
    if (!projected) {
        run_both(request, profile, system, mirrored, start, 1, most_steps, per_step, pair, options);
        return pair;
    }
    const pfaffian_system<Real> projection = projected_system(system);
    const Real F = start.g[0];
    for (std::size_t I = 0; I < start.g.size(); I++) start.g[I] -= projection.phi[I] * F;
    run_both(request, profile, projection, projected_system(mirrored), start, 1, most_steps, per_step, pair,
             options);
    return pair;
}

// log |value 2^scale| and its sign at target k of a double run; false where
// the run did not reach it or F vanished.
template <class Real> bool log_value(const ray_run<Real> &run, std::size_t k, double *log_F, int *sign)
{
    if (k >= run.reached.size() || !run.reached[k]) return false;
    const double value = to_double(run.value[k]);
    if (value == 0 || std::isnan(value)) return false;
    *log_F = std::log(std::fabs(value)) + run.log2_scale[k] * ln2;
    *sign = value > 0 ? 1 : -1;
    return true;
}

// Values of `count` targets, none reached yet.
holonomic_ray_values unreached_values(std::size_t count)
{
    holonomic_ray_values values;
    values.log_F.assign(count, nan);
    values.sign.assign(count, 0);
    values.difference.assign(count, 0);
    values.truncation.assign(count, 0);
    return values;
}

// The runs' error accumulates along the ray, while their difference may
// pass near 0 at a target by chance (c I at m = 8 to 10: at 1 to 10 of 51
// targets along a curve the double runs' error exceeded err, up to 20
// times): each target of a forward run takes the largest difference of the
// targets before it, `largest` (NaN, no difference, stays NaN).
double accumulated(double difference, double &largest)
{
    if (std::isnan(difference)) return difference;
    largest = std::max(largest, difference);
    return largest;
}

template <class Real>
holonomic_ray_values integrate_ray(const holonomic_ray_request &request, const precision_profile &profile)
{
    const std::vector<double> &x = request.targets;
    holonomic_ray_values values = unreached_values(x.size());
    const ray_pair<Real> pair = run_pair<Real>(request, profile, 0);
    values.state = pair.state;
    values.message = pair.message;
    values.abandoned = pair.abandoned;
    if (pair.state != holonomic_ray_state::done || !pair.series.ok) return values;
    // Points up to t0 come from the series itself.
    for (std::size_t k = 0; k < pair.first_target; k++) {
        const start_values<Real> near = frobenius_start(pair.series, x[k]);
        Real F = near.g[0];
        double read_truncation = 0;
        if (!pair.readout.empty()) {
            std::vector<Real> parts;
            F = read_out(pair.readout, x[k], near.g, parts);
            read_truncation = readout_truncation(parts, Real(1) / magnitude(F), 0);
        }
        if (near.ok && F > 0) {
            values.log_F[k] = std::log(to_double(F));
            values.sign[k] = 1;
        }
        values.truncation[k] = near.truncation + read_truncation;
    }
    values.budget_used = pair.budget_used;
    values.rounding = pair.rounding;
    double largest_difference = 0;
    for (std::size_t k = 0; k < pair.carried.size(); k++) {
        const std::size_t i = pair.first_target + k;
        double log_fine = nan, log_coarse = nan;
        int sign_fine = 0, sign_coarse = 0;
        if (log_value(pair.fine, k, &log_fine, &sign_fine)) {
            values.log_F[i] = log_fine;
            values.sign[i] = sign_fine;
        }
        values.truncation[i] = pair.start_truncation;
        if (!pair.fine.readout_truncation.empty()) values.truncation[i] += pair.fine.readout_truncation[k];
        // NaN when the coarse run stopped short or its sign differs: err is
        // then infinite.
        if (request.want_err) {
            log_value(pair.coarse, k, &log_coarse, &sign_coarse);
            values.difference[i] = sign_coarse == sign_fine ? difference_safety * std::fabs(log_fine - log_coarse)
                                                            : nan;
            values.difference[i] = accumulated(values.difference[i], largest_difference);
        }
        if (std::isnan(values.log_F[i])) values.abandoned = true;
    }
    return values;
}

// The recessive solution: of the solutions of the system of h = t^(m a) g,
// the one that decays fastest as t grows, t^(m a) etr(-t S) Psi(c - a, c; t S)
// with Psi the confluent function of the second kind (Kummer's relation
// carries its system at t S to this one at -t S). With c - a = (m + 1)/2 it
// is the Wishart P(lambda_min > t) (docs/wishart_holonomic.md, "The smallest
// eigenvalue"). It is carried backwards, from a T beyond the targets where
// it is started to first order, to t near 0: along that way it grows faster
// than every other solution, so the start's error in them fades, and near 0
// it tends to N times the constant solution, the lower tail's power of t
// (c - m) fading, N its limit.
//
// Far out theta_i g = (y_i - (c - a)) g to first order in 1 / y (y = -t s);
// the other solutions there decay against it, backwards, like
// exp(-min(s) (T - t)) at least: T lies this many times 1 / min(s) beyond
// the last target. More costs steps whose rounding adds up in the
// solution's own direction: at m = 8 a margin of 40 left 3.6e-11, 30 left
// 2e-13 (against the finite series at an integer (n - m - 1)/2). The
// longer runs, which carry the lower tail 1 - P in absolute terms, take
// log(1 / the accuracy asked of it, or their unit roundoff) instead.
constexpr double recessive_start_margin = 30;   // e^-30 = 1e-13, of a start error near 1 / (T min(s))
// The limit is read at t_norm, where (t_norm sum s)^(c - m), the lower tail's
// size there up to a factor, is at most this share of the precision's unit
// roundoff; and again at norm_ratio t_norm, their ratio's distance from 1
// measuring the lower tail left.
constexpr double recessive_norm_share = 1e-2;
constexpr double norm_ratio = 4;
// t_norm sum s at least this: within double's range with room below.
constexpr double least_norm_reach = 1e-290;
// The budget's estimate of the steps. Backwards the solution grows like
// exp(t sum s), so the steps far out go with T sum s; near 0 a step
// reaches a share of t (the Taylor terms of a power of t fall like
// (h / t)^k), so they go with the e-folds of t down to t_norm. Fitted
// above the fine run's measured steps (m = 4 to 10, Sigma of AR(1) 0.3 and
// 0.7: 87 to 832 steps, the estimate 10-40% above them).
constexpr double recessive_steps_per_unit = 0.25;
constexpr double steps_per_efold_near_zero = 1.5;

struct recessive_plan {
    double t_norm = 0;
    std::size_t below = 0;   // targets up to norm_ratio t_norm: P = 1 within the limit's reading
    std::size_t kept = 0;    // the targets the runs carry after them (the budget's)
    double handoff = 0;      // where continue_to_norm takes over, or 0
};

// Where the backward runs hand over to long double (continue_to_norm):
// t sum(s) = 16, twice where the steps become limited by the distance to
// t = 0 (a step reaches some 4 / sum(s) far out, half of t near it).
// Measured at m = 10, n = 11 against etr(-x Sigma^-1 / 2): handing over at
// the lowest target, t sum(s) = 0.08, left 1.1e-11 of P from the double
// run's stretch down to it; at t sum(s) = 15.7, 5e-14.
constexpr double handoff_reach = 16;

// With hand_off the runs carry the targets above plan.handoff and stop
// there, their vectors kept (continue_to_norm takes them on).
template <class Real>
ray_pair<Real> recessive_pair(const holonomic_ray_request &request, const precision_profile &profile,
                              recessive_plan &plan, bool hand_off = false)
{
    ray_pair<Real> pair;
    const std::vector<double> &x = request.targets;
    const int m = (int)request.s.size();
    const double shift = m * request.a;
    pfaffian_system<Real> system, mirrored;
    if (!make_systems(request, shift, system, mirrored, pair)) return pair;
    if (!within_memory(request, system, profile, pair)) return pair;
    double sum_s = 0, s_min = HUGE_VAL;
    for (double value : request.s) {
        sum_s += value;
        s_min = std::min(s_min, value);
    }
    const double lower_power = request.c - m;
    // What the run must resolve: its unit roundoff, or the accuracy asked
    // of 1 - F if that is coarser.
    const double resolved = std::max(request.accuracy, profile.unit_roundoff);
    const double reach = recessive_norm_share * resolved;
    plan.t_norm = std::max(std::pow(reach, 1 / lower_power), least_norm_reach) / sum_s;
    while (plan.below < x.size() && x[plan.below] <= norm_ratio * plan.t_norm) plan.below++;
    const double per_step = step_work(system, profile);
    const long most_steps = (long)(request.work_share * most_work / per_step);
    const double margin =
        sizeof(Real) > sizeof(double) ? std::max(recessive_start_margin, -std::log(resolved)) : recessive_start_margin;
    const auto start_at = [&](double top) { return top + margin / s_min; };
    const auto steps_to = [&](double top) {
        return start_at(top) * sum_s * recessive_steps_per_unit +
               steps_per_efold_near_zero * std::log(start_at(top) / plan.t_norm);
    };
    plan.kept = x.size() - plan.below;
    while (plan.kept > 0 && steps_to(x[plan.below + plan.kept - 1]) > most_steps) plan.kept--;
    const double top = plan.kept ? x[plan.below + plan.kept - 1] : norm_ratio * plan.t_norm;
    pair.abandoned = plan.below + plan.kept < x.size();
    if (steps_to(top) > most_steps) return pair;
    hand_off = hand_off && plan.kept > 0;
    plan.handoff = hand_off ? handoff_reach / sum_s : 0;
    for (std::size_t k = plan.kept; k-- > 0 && x[plan.below + k] > plan.handoff;)
        pair.carried.push_back(x[plan.below + k]);
    if (hand_off) {
        pair.carried.push_back(plan.handoff);
    } else {
        pair.carried.push_back(norm_ratio * plan.t_norm);
        pair.carried.push_back(plan.t_norm);
    }
    pair.t0 = start_at(top);
    start_values<Real> start;
    start.g.assign(system.size, 1);
    const std::size_t clusters = system.multiplicity.size();
    for (std::size_t I = 0; I < system.size; I++) {
        for (std::size_t j = 0; j < clusters; j++)
            for (int q = 0; q < system.counts[I * clusters + j]; q++)
                start.g[I] *= -Real(pair.t0) * system.s[j] - (Real(request.c) - Real(request.a));
        start.g[I] *= Real(entry_terms(system, I));   // e_p of equal values: binom(m_j, p) of each product
    }
    start.ok = true;
    pair.start_truncation = std::exp(-margin);
    run_options<Real> options;
    options.keep_end = hand_off;
    run_both(request, profile, system, mirrored, start, -1, most_steps, per_step, pair, options);
    return pair;
}

// log(h_k / h_norm) of a run's kth and norm-th values, their powers of two
// apart taken as an integer first: each log |h| alone is some hundreds,
// whose difference would lose its last digits. False where either was not
// reached or the ratio is not positive.
template <class Real> bool log_ratio(const ray_run<Real> &run, std::size_t k, std::size_t norm, double *log_P)
{
    if (std::max(k, norm) >= run.reached.size() || !run.reached[k] || !run.reached[norm]) return false;
    const double ratio = to_double(run.value[k] / run.value[norm]);
    if (!(ratio > 0) || std::isinf(ratio)) return false;
    *log_P = std::log(ratio) + (run.log2_scale[k] - run.log2_scale[norm]) * ln2;
    return true;
}

// 1 - ratio 2^apart in Real, rounded to double.
template <class Real> double one_minus_scaled(const Real &ratio, long apart)
{
    if (apart < -1000) return 1;   // the product below double's range: 1 to the last bit
    return to_double(Real(1) - times_power_of_two(ratio, (int)std::min(apart, 1000L)));
}

// 1 - h_k / h_norm in the run's precision, for values log_ratio accepts.
template <class Real> double complement_at(const ray_run<Real> &run, std::size_t k, std::size_t norm)
{
    return one_minus_scaled<Real>(run.value[k] / run.value[norm], run.log2_scale[k] - run.log2_scale[norm]);
}

// log P and its parts of error at every target, from the backward runs:
// P = h(t) / h(t_norm) times 1 - L(t_norm); and the complement 1 - P.
template <class Real>
holonomic_ray_values recessive_values(const holonomic_ray_request &request, const recessive_plan &plan,
                                      const ray_pair<Real> &pair)
{
    const std::vector<double> &x = request.targets;
    holonomic_ray_values values = unreached_values(x.size());
    values.complement.assign(x.size(), nan);
    values.complement_difference.assign(x.size(), 0);
    values.state = pair.state;
    values.message = pair.message;
    values.abandoned = pair.abandoned;
    values.budget_used = pair.budget_used;
    values.rounding = pair.rounding;
    if (pair.state != holonomic_ray_state::done || pair.carried.empty()) return values;
    const std::size_t last = pair.carried.size() - 1;   // t_norm; norm_ratio t_norm before it
    double log_near = nan;
    if (!log_ratio(pair.fine, last - 1, last, &log_near)) {
        values.abandoned = true;
        return values;
    }
    // h = N (1 - L), L ~ t^(c - m): L(t_norm) from the two readings.
    const double lower_power = request.c - (double)request.s.size();
    const double left = std::fabs(std::expm1(log_near)) / (std::pow(norm_ratio, lower_power) - 1);
    for (std::size_t k = 0; k < plan.below; k++) {
        values.log_F[k] = 0;
        values.complement[k] = 0;
        values.sign[k] = 1;
        values.truncation[k] = (1 + std::pow(norm_ratio, lower_power)) * left + pair.start_truncation;
    }
    for (std::size_t j = 0; j < plan.kept; j++) {
        const std::size_t i = plan.below + j, k = plan.kept - 1 - j;   // the runs carry them decreasing
        double log_fine = nan, log_coarse = nan;
        if (!log_ratio(pair.fine, k, last, &log_fine)) {
            values.abandoned = true;
            continue;
        }
        values.log_F[i] = log_fine;
        values.complement[i] = complement_at(pair.fine, k, last);
        values.sign[i] = 1;
        values.truncation[i] = left + pair.start_truncation;
        if (!pair.fine.readout_truncation.empty())   // the readout at the target and at t_norm
            values.truncation[i] += pair.fine.readout_truncation[k] + pair.fine.readout_truncation[last];
        if (request.want_err) {
            const bool same = log_ratio(pair.coarse, k, last, &log_coarse);
            values.difference[i] = same ? difference_safety * std::fabs(log_fine - log_coarse) : nan;
            values.complement_difference[i] =
                same ? difference_safety * std::fabs(values.complement[i] - complement_at(pair.coarse, k, last)) : nan;
        }
    }
    return values;
}

template <class Real>
holonomic_ray_values recessive_ray(const holonomic_ray_request &request, const precision_profile &profile)
{
    recessive_plan plan;
    return recessive_values(request, plan, recessive_pair<Real>(request, profile, plan));
}

// The backward runs from the handoff (t sum(s) = 16) towards t_norm. There
// double loses some 3e4 units a step (m = 10, n = 11, against P = etr(-x
// Sigma^-1 / 2): 1.1e-10 of P over the some 80 steps from the lowest
// target down to t_norm, twice that with steps half as long; the 830 steps
// above lose 7e-12), and that error sits in every target's normalisation.
// So this stretch runs in long double, each run from the vector its double
// run kept at the handoff: some 100 steps at 4 times the cost. The pair
// carries the handoff, the targets below it, 4 t_norm and t_norm.
// It has a budget of its own, as a retry has: at m = 10 the double runs
// leave some 0.14 of theirs, and the stretch takes 0.3 to 0.5 of one (74 to
// 125 steps of each run at 4 times a double one's cost, n = 11 and n = 10).
// A whole run in long double, the alternative, would take four budgets.
ray_pair<long double> continue_to_norm(const holonomic_ray_request &request, const recessive_plan &plan,
                                       const ray_pair<double> &upper)
{
    using ld = long double;
    ray_pair<ld> pair;
    const int m = (int)request.s.size();
    pfaffian_system<ld> system, mirrored;
    if (!make_systems(request, m * request.a, system, mirrored, pair)) return pair;
    if (!within_memory(request, system, extended_profile, pair)) return pair;
    const start_values<ld> start = start_from_end<ld>(upper.fine), coarse_start = start_from_end<ld>(upper.coarse);
    pair.t0 = plan.handoff;
    pair.carried = {plan.handoff};
    const std::size_t above = upper.carried.size() - 1;   // the targets the double runs carried
    for (std::size_t k = plan.kept - above; k-- > 0;) pair.carried.push_back(request.targets[plan.below + k]);
    pair.carried.push_back(norm_ratio * plan.t_norm);
    pair.carried.push_back(plan.t_norm);
    const double per_step = step_work(system, extended_profile);
    const long most_steps = (long)(request.work_share * most_work / per_step);
    run_options<ld> options;
    options.coarse_start = coarse_start.ok ? &coarse_start : nullptr;
    run_both(request, extended_profile, system, mirrored, start, -1, most_steps, per_step, pair, options);
    return pair;
}

// One run of the stitched pair: each target above the handoff from the
// double run, over its value at the handoff, times the long double run's
// value there; the rest from the long double run.
ray_run<long double> stitched_run(const ray_run<double> &upper, const ray_run<long double> &lower)
{
    ray_run<long double> run;
    if (upper.value.empty() || lower.value.empty()) return run;   // a run not made (no err asked)
    const std::size_t handoff = upper.value.size() - 1;
    const bool joined = !upper.end.empty() && lower.reached[0];
    const auto add = [&run](bool reached, long double value, long log2_scale) {
        run.value.push_back(reached ? value : 0);
        run.log2_scale.push_back(reached ? log2_scale : 0);
        run.reached.push_back(reached);
    };
    for (std::size_t k = 0; k < handoff; k++)
        add(joined && upper.reached[k], (long double)upper.value[k] / upper.value[handoff] * lower.value[0],
            upper.log2_scale[k] - upper.log2_scale[handoff] + lower.log2_scale[0]);
    for (std::size_t k = 1; k < lower.value.size(); k++)
        add(joined && lower.reached[k], lower.value[k], lower.log2_scale[k]);
    if (!upper.readout_truncation.empty() && !lower.readout_truncation.empty()) {
        run.readout_truncation.assign(upper.readout_truncation.begin(), upper.readout_truncation.end() - 1);
        run.readout_truncation.insert(run.readout_truncation.end(), lower.readout_truncation.begin() + 1,
                                      lower.readout_truncation.end());
    }
    run.steps = upper.steps + lower.steps;
    return run;
}

// The recessive route in double with its stretch near t = 0 in long double
// (continue_to_norm), as one pair for recessive_values.
holonomic_ray_values recessive_ray_mixed(const holonomic_ray_request &request)
{
    recessive_plan plan;
    const ray_pair<double> upper = recessive_pair<double>(request, double_profile, plan, true);
    if (upper.state != holonomic_ray_state::done || upper.carried.empty() || plan.handoff == 0)
        return recessive_values(request, plan, upper);   // nothing carried, or nothing to continue
    const ray_pair<long double> lower = continue_to_norm(request, plan, upper);
    ray_pair<long double> pair;
    pair.state = lower.state;
    pair.message = lower.message;
    pair.abandoned = upper.abandoned;
    pair.budget_used = upper.budget_used + lower.budget_used;
    pair.rounding = upper.rounding + lower.rounding;
    pair.start_truncation = upper.start_truncation;
    pair.t0 = upper.t0;
    if (lower.state != holonomic_ray_state::done) return recessive_values(request, plan, pair);
    pair.carried.assign(upper.carried.begin(), upper.carried.end() - 1);
    pair.carried.insert(pair.carried.end(), lower.carried.begin() + 1, lower.carried.end());
    pair.fine = stitched_run(upper.fine, lower.fine);
    pair.coarse = stitched_run(upper.coarse, lower.coarse);
    return recessive_values(request, plan, pair);
}

// The limit of h = t^(m a) F as t grows, over the start's t0^(m a) (the
// runs carry h / t0^(m a)): with F ~ Gamma_m(c) / Gamma_m(c - a) det(t S)^-a,
//   h(inf) / t0^(m a) = prod_i Gamma(c - i/2) / Gamma(c - a - i/2) s_i^-a t0^-a,
// formed in 128 bits (its pi factors cancel) and rounded to double, its
// exponent apart.
scaled_sum limit_over_start(const holonomic_ray_request &request, double t0)
{
    using quad = precision_ladder::binary_float<128>;
    const quad a = request.a, c = request.c;
    quad log_limit = 0;
    for (std::size_t i = 0; i < request.s.size(); i++) {
        const quad half_i = quad(i) / 2;
        const quad s = request.s[i];
        log_limit += boost::math::lgamma(c - half_i) - boost::math::lgamma(c - a - half_i) -
                     a * (log(s) + log(quad(t0)));
    }
    const quad log2_scale = floor(log_limit / log(quad(2)));
    scaled_sum limit;
    limit.add(exp(log_limit - log2_scale * log(quad(2))).convert_to<double>(), log2_scale.convert_to<long>());
    return limit;
}

// Q at target k of a tail run, over the limit: log Q, and Q itself (0
// below double's range); false where the run did not reach it.
template <class Real>
bool tail_value(const ray_run<Real> &run, std::size_t k, const scaled_sum &limit, double *log_Q, double *Q)
{
    if (!run.reached[k] || !(run.value[k] > 0)) return false;
    const double ratio = to_double(run.value[k]) / limit.value;
    const long apart = run.log2_scale[k] - limit.log2_scale;
    *log_Q = std::log(ratio) + apart * ln2;
    *Q = std::ldexp(ratio, (int)std::max(std::min(apart, 2100L), -2100L));
    return true;
}

// The upper tail by the projected system (docs/wishart_holonomic.md, "The
// upper tail"): Q(t) = 1 - h(t) / h(inf) is the integral of h's derivative,
// sum_i w_{i} / t over h(inf) with w the projected vector times t^(m a),
// from t to infinity. Its solutions all decay, so double carries it to its
// own relative accuracy however small Q is (long double where the request
// is extended: the spread clusters' gaps amplify its rounding). The values
// of a pair of tail runs.
template <class Real>
holonomic_ray_complements complement_values(const holonomic_ray_request &request, const ray_pair<Real> &pair)
{
    holonomic_ray_complements values;
    const std::size_t count = request.targets.size();
    values.complement.assign(count, nan);
    values.log_complement.assign(count, nan);
    values.relative_err.assign(count, nan);
    values.state = pair.state;
    values.message = pair.message;
    values.abandoned = pair.abandoned;
    values.budget_used = pair.budget_used;
    if (pair.state != holonomic_ray_state::done) return values;
    // The fine run's rounding, the start's truncation (relative to F, and to
    // the projection, of its size near t = 0) and the limit's rounding; and
    // s_i = 1 / (2 sigma_i) rounded to double, which moves log Q by up to
    // t sum(s) units (its derivative in s_i is some -t).
    const double rounding = pair.rounding + pair.start_truncation + 2 * double_profile.unit_roundoff;
    double sum_s = 0;
    for (double value : request.s) sum_s += value;
    const scaled_sum limit = limit_over_start(request, pair.t0);
    double largest_difference = 0;
    for (std::size_t k = 0; k < pair.carried.size(); k++) {
        const std::size_t i = pair.first_target + k;
        double log_fine, fine, log_coarse, coarse;
        if (!tail_value(pair.fine, k, limit, &log_fine, &fine)) {
            values.abandoned = true;
            continue;
        }
        values.log_complement[i] = log_fine;
        values.complement[i] = fine;
        double difference = 0;
        if (request.want_err) {
            difference = tail_value(pair.coarse, k, limit, &log_coarse, &coarse)
                             ? difference_safety * std::fabs(std::expm1(log_coarse - log_fine))
                             : nan;
            difference = accumulated(difference, largest_difference);
        }
        values.relative_err[i] = difference + rounding + pair.fine.tail_share[k] +
                                 double_profile.unit_roundoff * pair.carried[k] * sum_s;
        if (!pair.fine.readout_truncation.empty()) values.relative_err[i] += pair.fine.readout_truncation[k];
    }
    return values;
}

template <class Real>
holonomic_ray_complements complement_ray(const holonomic_ray_request &request, const precision_profile &profile)
{
    if (request.targets.empty()) return complement_values(request, ray_pair<Real>{});
    return complement_values(request, run_pair<Real>(request, profile, request.s.size() * request.a, true));
}

// The tail runs' rounding that the double runs miss tol by accrues before
// the first targets: at m = 10 (AR(1) Sigma of 0.1, gaps of 2 to 6%) Q
// carried a relative error of 3e-11 from 1e-2 down to 1e-44, the same at
// every target, which long double's runs took to 1e-13; two thirds of
// their steps lay beyond the first target, and long double's whole run
// took one and a half budgets. So where the whole run in long double
// would exceed the budget, the square-free system's extended run is long
// double up to the first target (the handoff) and double from there, each
// double run from its own long double run's vector. Where it fits, the
// whole run serves better: smaller gaps amplify the rounding all along
// the run (gaps of 1 to 2% at m = 8: 5.5e-10 so, 1.5e-10 in long double
// throughout), and so does the confluent system's (a cluster of ten 4.5%
// wide at m = 10 missed 1e-10 so from the bulk on), whose runs, of at most
// confluent_most_entries entries, are cheap.
ray_pair<double> continue_tail(const holonomic_ray_request &request, const ray_pair<long double> &stretch)
{
    ray_pair<double> pair;
    pfaffian_system<double> system, mirrored;
    const double shift = request.s.size() * request.a;
    if (!make_systems(request, shift, system, mirrored, pair)) return pair;
    if (!within_memory(request, system, double_profile, pair)) return pair;
    const start_values<double> start = start_from_end<double>(stretch.fine),
                               coarse_start = start_from_end<double>(stretch.coarse);
    pair.t0 = stretch.carried[0];
    const double per_step = step_work(system, double_profile);
    const long most_steps = (long)(std::max(0.0, request.work_share - stretch.budget_used) * most_work / per_step);
    carry_within_budget(request, 0, true, most_steps, pair);
    run_options<double> options;
    options.coarse_start = coarse_start.ok ? &coarse_start : nullptr;
    run_both(request, double_profile, projected_system(system), projected_system(mirrored), start, 1, most_steps,
             per_step, pair, options);
    // In the units of the start: each run's values at its start's scale
    // (the fine run's vector where the coarse run did not reach the handoff).
    const long coarse_scale = coarse_start.ok ? stretch.coarse.log2_scale[0] : stretch.fine.log2_scale[0];
    for (long &scale : pair.fine.log2_scale) scale += stretch.fine.log2_scale[0];
    for (long &scale : pair.coarse.log2_scale) scale += coarse_scale;
    pair.t0 = stretch.t0;   // where the limit's powers of t are taken
    pair.start_truncation = stretch.start_truncation;
    pair.rounding += stretch.rounding;
    pair.budget_used += stretch.budget_used;
    return pair;
}

// The tail runs in long double up to the first target and in double from
// there (above); the whole run in long double where the first target lies
// within the start or the stretch could not reach it.
holonomic_ray_complements complement_ray_mixed(const holonomic_ray_request &request)
{
    if (request.targets.empty()) return complement_values(request, ray_pair<double>{});
    holonomic_ray_request first = request;
    first.targets.assign(1, request.targets[0]);
    run_options<long double> carry;
    carry.carry_only = true;
    carry.keep_end = true;
    const ray_pair<long double> stretch =
        run_pair<long double>(first, extended_profile, request.s.size() * request.a, true, carry);
    if (stretch.state != holonomic_ray_state::done) return complement_values(request, stretch);
    if (stretch.carried.empty() || stretch.fine.end.empty())
        return complement_ray<long double>(request, extended_profile);
    return complement_values(request, continue_tail(request, stretch));
}

// F depends on t S only: a power of two c that brings the largest |s| to
// [1, 2) runs the system at c S and t / c, exactly where neither under- nor
// overflows, so that the start's powers of t0 and the steps stay in range
// however large or small Sigma is (x / c past the range is abandoned, or
// served by the start at 0).
holonomic_ray_request unit_scaled(const holonomic_ray_request &request)
{
    double s_max = 0;
    for (double value : request.s) s_max = std::max(s_max, std::fabs(value));
    if (!(s_max > 0 && std::isfinite(s_max))) return request;
    const int e = std::ilogb(s_max);
    holonomic_ray_request scaled = request;
    for (double &value : scaled.s) value = std::ldexp(value, -e);
    for (double &t : scaled.targets) t = std::ldexp(t, e);
    return scaled;
}

// Whether the whole tail run in long double fits the request's budget: it
// costs some operation_cost times the double runs' (1.53 budgets against
// 0.39 at m = 10), where the request knows theirs; the confluent system's
// runs are taken whole (complement_ray_mixed).
bool whole_run_fits(const holonomic_ray_request &request)
{
    std::vector<double> s = request.s;
    std::sort(s.begin(), s.end());
    if (std::adjacent_find(s.begin(), s.end()) != s.end()) return true;
    return !(request.double_cost * extended_profile.operation_cost > request.work_share);
}

// Whether the wide type's tail runs, some operation_cost times the double
// runs' share (double_cost), fit the request's budget: at m = 8 (0.05 of
// a budget in double) they do, at m = 10 (0.39) they would take four.
bool wide_run_fits(const holonomic_ray_request &request)
{
    return request.double_cost * wide_profile.operation_cost <= request.work_share;
}

// No value at any target: the runs would exceed the budget.
holonomic_ray_complements beyond_the_budget(const holonomic_ray_request &request)
{
    holonomic_ray_complements values = complement_values(request, ray_pair<double>{});
    values.abandoned = !request.targets.empty();
    return values;
}

} // namespace

bool holonomic_ray_start_sound(int m, double c) { return c - (m - 1) / 2.0 > 1; }

holonomic_ray_values holonomic_ray_integrate(const holonomic_ray_request &request)
{
    if (request.extended) return integrate_ray<long double>(unit_scaled(request), extended_profile);
    return integrate_ray<double>(unit_scaled(request), double_profile);
}

holonomic_ray_complements holonomic_ray_complement(const holonomic_ray_request &request)
{
    if (request.wide) return wide_run_fits(request) ? complement_ray<wide_real>(unit_scaled(request), wide_profile)
                                                    : beyond_the_budget(request);
    if (request.extended && !whole_run_fits(request)) return complement_ray_mixed(unit_scaled(request));
    if (request.extended) return complement_ray<long double>(unit_scaled(request), extended_profile);
    return complement_ray<double>(unit_scaled(request), double_profile);
}

holonomic_ray_values holonomic_ray_recessive(const holonomic_ray_request &request)
{
    if (request.wide) return recessive_ray<wide_real>(unit_scaled(request), wide_profile);
    if (request.extended) return recessive_ray<long double>(unit_scaled(request), extended_profile);
    return recessive_ray_mixed(unit_scaled(request));
}

} // namespace matrixhyper
