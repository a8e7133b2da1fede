// pfq_tables.cpp: the series of one or two arguments with distinct
// eigenvalues on the Jack tables of core/jack, the engine of sorn and brint.
//
// The tables hold Q_kappa(x / s) in double, s = max |x| (likewise y), so
// that no value overflows however large the eigenvalues; the factor
// s^|kappa|, the Pochhammer ratios and the hook products are carried in
// long double by the walk that sums the terms, and so are the sums. With
// eigenvalues of both signs a second set of tables holds Q_kappa(|x| / s):
// every monomial coefficient is positive, so that value is the sum of the
// absolute monomial contributions, which bounds both the |terms| the tail
// rule reads and the roundings of the signed tables.
//
// The tables are laid out to a degree, their positions placed by one walk,
// then filled level by level (partition size), with any number of threads
// and the same bits for all; after each level a single-threaded walk in a
// fixed order sums the level's terms, so the sums do not depend on the
// thread count either, and the filling stops at the first degree the tail
// rule accepts.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>

#include "box_factor.h"
#include "interrupt_countdown.h"
#include "jack_degree_sums.h"
#include "jack_tables.h"
#include "level_fill.h"
#include "partition_walk.h"
#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;
const long double unit_d = DBL_EPSILON / 2;

// Without max_degree the tables are laid out to this degree first, and to
// layout_growth times as far whenever the series needs more: the memory
// follows the degree reached, and the levels refilled in a larger layout
// cost a share of about layout_growth^-n of the new ones.
const int first_layout_degree = 16;
const int layout_growth = 2;
// ...but to no more than this many times the bytes of the tables filled so
// far: with many eigenvalues twice the degree is far more partitions.
const long double layout_growth_bytes = 8;

// A series whose rounding bound on double tables passes this share of tol
// (the tail has up to half of it) is summed again on long double tables.
const double wide_retry_share = 0.25;

// Work units (pfq_series.h, automatic_table_work: about 17 ns each on one
// core) of one table fill: this many per strip entry (a strip adds into
// n - rows entries of a row, one multiply-add each, behind its coefficient
// and its look-up), plus one per partition for its own bookkeeping.
// Measured: 1F1(3; 5; diag(1..8)) to degree 66 spends 1.2e9 units at one
// unit per two entries in some 100 s on a shared machine.
const long long work_units_per_strip_entry = 2;

// Alpha whose multiples alpha * m - i stay exact in double up to the
// largest degree: at most this many bits after the binary point (and far
// below 2^53 in size). Otherwise the shifted parts round as they are
// summed, which the rounding bound then counts.
const int exact_alpha_fraction_bits = 20;
// Nor is the bound kept beyond this alpha, exact multiples or not: the
// rounding then grows with alpha in a way it does not count (1F1(2; 2; X)
// = etr(X) at X = (-3, 5), degree 40: an error of 6.4e-14 at alpha = 1e4,
// 3.4e-12 at 1e6 and 7e-11 at 1e7 against the bound's 1.4e-12), and the
// inexact alpha's term, which grows with alpha k, covers it. Up to here
// the measured error stays below a twentieth of the bound.
const double exact_alpha_largest = 1e3;

// The scaled points of one argument for the tables.
struct scaled_points {
    long double scale = 1;                 // max |v|, 1 when every v is 0
    bool mixed = false;                    // values of both signs
    std::vector<double> narrow, narrow_magnitudes; // v / scale and |v| / scale
    std::vector<long double> wide, wide_magnitudes;
    template <class Real> const Real *values() const;
    template <class Real> const Real *magnitudes() const;
};

template <> const double *scaled_points::values<double>() const { return narrow.data(); }
template <> const long double *scaled_points::values<long double>() const { return wide.data(); }
template <> const double *scaled_points::magnitudes<double>() const
{
    return narrow_magnitudes.data();
}
template <> const long double *scaled_points::magnitudes<long double>() const
{
    return wide_magnitudes.data();
}

scaled_points scale_points(const std::vector<long double> &v)
{
    scaled_points s;
    long double largest = 0;
    bool negative = false, positive = false;
    for (long double e : v) {
        largest = std::max(largest, std::fabs(e));
        negative |= e < 0;
        positive |= e > 0;
    }
    s.scale = largest > 0 ? largest : 1;
    s.mixed = negative && positive;
    for (long double e : v) {
        s.wide.push_back(e / s.scale);
        s.wide_magnitudes.push_back(std::fabs(e) / s.scale);
        s.narrow.push_back((double)s.wide.back());
        s.narrow_magnitudes.push_back((double)s.wide_magnitudes.back());
    }
    return s;
}

// What a table series sums: parameters, points, the bound on the first
// part, and where its degree sums split by first part.
struct table_request {
    const series_input *in;
    int max_part = largest_table_degree;   // partitions with kappa_1 <= max_part
    int split_part = largest_table_degree; // within: kappa_1 <= split_part
    int threads = 1;
    const interrupt_check *interrupt = nullptr;
    bool wide = false;                     // long double tables
};

// The tables laid out to one degree in a block of their own, with the
// walk state and the threads that fill them; Real is the type of the
// table values.
template <class Real> class engine_tables {
public:
    engine_tables(const table_request &request, const scaled_points &x, const scaled_points &y,
                  int layout_degree)
        : n_((int)request.in->x.size()), degree_(layout_degree), max_part_(request.max_part),
          two_(!request.in->y.empty()), mixed_(x.mixed || (two_ && y.mixed)),
          threads_(std::min(std::max(request.threads, 1), level_fill_max_threads)),
          x_(x), y_(y), alpha_((Real)request.in->alpha)
    {
        workspace_cursor counter;
        take_arrays(counter);
        block_bytes_ = counter.bytes();
        block_.reset(new unsigned char[block_bytes_]);
        workspace_cursor cursor(block_.get(), block_bytes_);
        take_arrays(cursor);
    }

    // Bytes of the tables of n points laid out to `degree` (a fill thread's
    // arrays are a few hundred bytes and not counted).
    static long double bytes(int n, int degree, int max_part, bool two, bool mixed)
    {
        const long long rows = count_table_size_within(degree, n, max_part,
                                                       jack_tables_max_positions) + 1;
        const long double sets = (two ? 2 : 1) * (mixed ? 2 : 1);
        return (long double)rows * (sizeof(int) + sets * n * sizeof(Real)) +
               (long double)rows / 8 + sets * (degree + 2.0L) * n * sizeof(Real);
    }

    // Reserves the positions of every partition up to the layout degree;
    // false when interrupted.
    bool place(const interrupt_check *interrupt)
    {
        if (n_ < 2) return true;                          // nothing but the empty partition stored
        // The placing walk reads the positions only: a view of them in
        // the walk's own (double) tables.
        jack_tables positions{};
        positions.n = n_;
        positions.max_size = degree_;
        positions.alpha = (double)alpha_;
        positions.table_size = signed_.table_size;
        positions.next_free = signed_.next_free;
        positions.index_table = signed_.index_table;
        const series_parameters none = {nullptr, 0, nullptr, 0};
        std::vector<double> unused((size_t)degree_ + 1);
        const walk_series series = {degree_, (double)alpha_, &none, unused.data()};
        walk_run run;
        run.pass = walk_pass::place_stored;
        run.census = &census_;
        run.interrupt = interrupt;
        run.prune = false;
        if (!partition_walk(series, &positions, &walk_, run)) return false;
        signed_.next_free = positions.next_free;
        if (mixed_) {
            std::memcpy(absolute_.index_table, signed_.index_table,
                        ((size_t)signed_.table_size + 1) * sizeof(int));
            absolute_.next_free = signed_.next_free;
        }
        return true;
    }

    // Fills the rows of sizes first..last of every set; false when interrupted.
    bool fill(int first, int last, const interrupt_check *interrupt)
    {
        int widest = 0;
        for (int size = first; size <= last; size++)
            widest = std::max(widest, census_.per_size[size]);
        basic_level_fill_job<Real> job = {&census_, max_part_, fill_threads_, 1, interrupt};
        job.first_size = first;
        job.last_size = last;
        if (widest >= table_level_worth_threads) job.count = thread_count_;
        if (!fill_by_levels(job)) return false;
        if (!mixed_) return true;
        aim_threads(absolute_);
        const bool filled = fill_by_levels(job);
        aim_threads(signed_);
        return filled;
    }

    int degree() const { return degree_; }
    bool mixed() const { return mixed_; }
    const basic_jack_tables<Real> &signed_tables() const { return signed_; }
    // Q_kappa(|x| / s): the second set, or the first when no sign differs.
    const basic_jack_tables<Real> &absolute_tables() const { return mixed_ ? absolute_ : signed_; }

private:
    void take_arrays(workspace_cursor &cursor)
    {
        const long long size = count_table_size_within(degree_, n_, max_part_,
                                                       jack_tables_max_positions);
        if (size > jack_tables_max_positions) throw std::bad_alloc();
        const jack_table_shape shape = {degree_, n_, (int)size, two_};
        build_jack_tables(&signed_, shape, alpha_, x_.values<Real>(),
                          two_ ? y_.values<Real>() : nullptr, cursor);
        if (mixed_)
            build_jack_tables(&absolute_, shape, alpha_, x_.magnitudes<Real>(),
                              two_ ? y_.magnitudes<Real>() : nullptr, cursor);
        take_walk_state(&walk_, n_, max_part_, cursor);
        const size_t words = ((size_t)size + 1 + 63) / 64;
        census_.reached = cursor.take<uint64_t>(words);
        census_.per_size = cursor.take<int>((size_t)degree_ + 1);
        thread_count_ = n_ >= 3 ? threads_ : 1;          // below, no row takes a strip
        take_level_fill_threads(fill_threads_, thread_count_, signed_, shape, cursor);
        if (!cursor.lays_out()) return;
        std::memset(census_.reached, 0, words * sizeof(uint64_t));
        std::memset(census_.per_size, 0, ((size_t)degree_ + 1) * sizeof(int));
    }

    // Points the fill threads at the value rows of `set` (their work arrays
    // stay their own).
    void aim_threads(const basic_jack_tables<Real> &set)
    {
        for (int t = 0; t < thread_count_; t++) {
            basic_jack_tables<Real> &tables = fill_threads_[t].tables;
            tables.jack_x = set.jack_x;
            tables.jack_y = set.jack_y;
            tables.powers_x = set.powers_x;
            tables.powers_y = set.powers_y;
            tables.prefix_x = set.prefix_x;
            tables.prefix_y = set.prefix_y;
        }
    }

    const int n_, degree_, max_part_;
    const bool two_, mixed_;
    const int threads_;
    const scaled_points &x_, &y_;
    const Real alpha_;
    int thread_count_ = 1;
    size_t block_bytes_ = 0;
    std::unique_ptr<unsigned char[]> block_;
    basic_jack_tables<Real> signed_{}, absolute_{};
    sorn_walk_state walk_{};
    stored_census census_{};
    basic_level_fill_thread<Real> fill_threads_[level_fill_max_threads];
};

// The sums of one degree: signed terms split by first part, |terms|.
struct degree_sums {
    compensated_sum within, beyond;
    long double magnitude = 0;
    long long terms = 0;
};

// What the fills of the summed levels cost and how long their strip sums were.
struct level_costs {
    long long work = 0;
    long long most_strips = 0;
};

// The summing walk: depth first over the partitions with at most n rows,
// kappa_1 <= max_part, in the order of the tables' own walk, adding the
// terms of sizes first..last. A partition's coefficient is the product of
// one quotient per box in long double, s^|kappa| included; its values are
// read from the tables (rows with fewer than n parts) or formed from the
// stored partition with its n full columns removed.
class summing_walk {
public:
    // `scale` is the factor of each box: s, or s_x s_y with two arguments.
    summing_walk(const table_request &request, long double scale)
        : in_(*request.in), n_((int)in_.x.size()), two_(!in_.y.empty()),
          max_part_(request.max_part), split_part_(request.split_part),
          interrupt_(request.interrupt), scale_(scale) {}

    // Adds the terms of sizes first..last into sums[size]; false when
    // interrupted.
    template <class Real>
    bool run(const engine_tables<Real> &tables, int first, int last,
             std::vector<degree_sums> &sums, level_costs &costs)
    {
        std::vector<int> kappa(n_ + 1, 0), position(n_ + 1, 1);
        std::vector<long double> z(n_ + 1), coefficient(n_ + 1, 1);
        kappa[0] = max_part_;
        for (int i = 1; i <= n_; i++) z[i] = -i;
        interrupt_countdown countdown(interrupt_, terms_between_polls);
        top_ = {};
        int size = 0, j = 1;
        while (j >= 1) {
            // Below a zero coefficient every term is 0, but the tables'
            // rows there are filled all the same: the walk goes on through
            // them to count their work (not into row n, which has none).
            if (kappa[j] < kappa[j - 1] && size < last && (coefficient[j] != 0 || j < n_)) {
                kappa[j]++;
                size++;
                const int m = kappa[j];
                if (coefficient[j] != 0)
                    coefficient[j] = quotient(j, m, z.data()) * coefficient[j];
                else
                    z[j] = in_.alpha + z[j];
                if (j < n_) {
                    position[j] = j == 1 ? m + 1
                                  : m == 1 ? tables.signed_tables().index_table[position[j - 1]]
                                           : position[j] + 1;
                    top_ = {};
                    if (size >= first)
                        add_stored(tables, kappa.data(), j, position[j], coefficient[j],
                                   sums[size], costs);
                    coefficient[j + 1] = coefficient[j];
                    j++;
                    position[j] = position[j - 1];
                } else {
                    grow_top(tables, m, z.data());
                    if (size >= first)
                        add_top(tables, kappa.data(), m, coefficient[j], sums[size]);
                }
                if (countdown.step()) return false;
            } else {
                size -= kappa[j];
                kappa[j] = 0;
                z[j] = -j;
                j--;
            }
        }
        return true;
    }

private:
    // The coefficient of kappa over that of kappa without its new box in
    // column m of row j; z[j] comes in as alpha (m - 1) - j and leaves as
    // alpha m - j. One argument: alpha^|kappa| (a)_kappa / (b)_kappa over
    // the lower hook products; two: divided by Q_kappa(1^n) as well.
    long double quotient(int j, int m, long double *z) const
    {
        const long double alpha = in_.alpha;
        const long double u = box_factor::shift(j, m, alpha);
        box_factor::quotient_parts<long double> q{alpha * scale_, (j + z[j]) + 1};
        q.num = box_factor::times_rising(q.num, in_.a.data(), in_.a.size(), u);
        q.den = box_factor::times_rising(q.den, in_.b.data(), in_.b.size(), u);
        if (two_) {                                      // Q_kappa(1^n): J(1^n) over upper hooks
            q.num = q.num * (alpha * m);
            q.den = q.den * ((alpha * u) + n_);
            for (int i = 1; i < j; i++) {
                const long double d = z[i] - z[j];
                q.num = q.num * d;
                q.den = q.den * (d - 1);
            }
        }
        z[j] = alpha + z[j];
        for (int i = 1; i < j; i++) box_factor::times_lower_hook_change(z[i] - z[j], q);
        return q.num == 0 ? 0 : q.num / q.den;          // terminated: no 0/0 at a pole
    }

    // Q_kappa(x / s) of a partition with n rows is v * (x_1..x_n / s^n)^m
    // times the value of kappa less its m full columns, v the product over
    // the boxes of row n of the ratio below.
    struct top_row {
        long double ratio = 1, power_x = 1, power_y = 1;
    };

    template <class Real>
    void grow_top(const engine_tables<Real> &tables, int m, const long double *z)
    {
        const long double alpha = in_.alpha;
        long double v = ((1 / alpha + m) - 1) / m;
        for (int i = 1; i < n_; i++) v = v * ((z[i] + 1 - z[n_]) / (alpha + z[i] - z[n_]));
        top_.ratio = top_.ratio * v;
        top_.power_x = top_.power_x * tables.signed_tables().prefix_x[n_];
        if (two_) top_.power_y = top_.power_y * tables.signed_tables().prefix_y[n_];
    }

    template <class Real> static Real value(const Real *table, int position, int n)
    {
        return table[(size_t)position * (size_t)n + (size_t)(n - 1)];
    }

    void add_term(int first_part, long double coefficient, long double signed_value,
                  long double magnitude, degree_sums &sums) const
    {
        const long double term = coefficient * signed_value;
        (first_part <= split_part_ ? sums.within : sums.beyond).add(term);
        sums.magnitude += std::fabs(coefficient) * magnitude;
        sums.terms++;
    }

    template <class Real>
    void add_stored(const engine_tables<Real> &tables, const int *kappa, int rows, int position,
                    long double coefficient, degree_sums &sums, level_costs &costs) const
    {
        const basic_jack_tables<Real> &s = tables.signed_tables(), &a = tables.absolute_tables();
        const bool mixed = tables.mixed();
        long double v = value(s.jack_x, position, n_);
        long double av = mixed ? value(a.jack_x, position, n_) : std::fabs(v);
        if (two_) {
            const long double vy = value(s.jack_y, position, n_);
            v *= vy;
            av *= mixed ? value(a.jack_y, position, n_) : std::fabs(vy);
        }
        if (coefficient != 0) add_term(kappa[1], coefficient, v, av, sums);
        long long strips = 1;                            // mu_i anywhere in [kappa_(i+1), kappa_i]
        for (int i = 1; i <= rows; i++) strips *= kappa[i] - kappa[i + 1] + 1;
        const int sets = (two_ ? 2 : 1) * (mixed ? 2 : 1);
        costs.work += 1 + strips * (n_ - rows) * sets * work_units_per_strip_entry;
        costs.most_strips = std::max(costs.most_strips, strips);
    }

    template <class Real>
    void add_top(const engine_tables<Real> &tables, const int *kappa, int m,
                 long double coefficient, degree_sums &sums) const
    {
        const basic_jack_tables<Real> &s = tables.signed_tables(), &a = tables.absolute_tables();
        const bool mixed = tables.mixed();
        const int less = n_ > 1 ? lookup_position(&s, kappa, n_ - 1, m) : 1;
        long double v = top_.ratio * top_.power_x * value(s.jack_x, less, n_);
        long double av = mixed
                             ? top_.ratio * std::fabs(top_.power_x) * value(a.jack_x, less, n_)
                             : std::fabs(v);
        if (two_) {
            const long double vy = top_.ratio * top_.power_y * value(s.jack_y, less, n_);
            av *= mixed
                      ? top_.ratio * std::fabs(top_.power_y) * value(a.jack_y, less, n_)
                      : std::fabs(vy);
            v *= vy;
        }
        add_term(kappa[1], coefficient, v, av, sums);
    }

    const series_input &in_;
    const int n_;
    const bool two_;
    const int max_part_, split_part_;
    const interrupt_check *interrupt_;
    const long double scale_;
    top_row top_;
};

// The series summed degree by degree on tables laid out as far as needed.
class table_series {
public:
    explicit table_series(const table_request &request)
        : request_(request), n_((int)request.in->x.size()), two_(!request.in->y.empty()),
          x_(scale_points(request.in->x)), y_(scale_points(request.in->y)),
          walk_(request, two_ ? x_.scale * y_.scale : x_.scale), sums_(1)
    {
        mixed_ = x_.mixed || (two_ && y_.mixed);
        wide_ = request.wide || mixed_;
        alpha_exact_ = alpha_multiples_exact((double)request.in->alpha);
    }

    int degree() const { return degree_; }
    bool mixed() const { return mixed_; }
    long long work() const { return costs_.work; }
    long long terms() const { return terms_; }
    const degree_sums &sums(int k) const { return sums_[k]; }

    // Bytes of tables laid out to `degree`.
    long double bytes(int degree) const
    {
        const int max_part = std::min(request_.max_part, degree);
        return wide_ ? engine_tables<long double>::bytes(n_, degree, max_part, two_, mixed_)
                     : engine_tables<double>::bytes(n_, degree, max_part, two_, mixed_);
    }

    // Fills and sums the degrees degree() + 1..last with tables laid out to
    // `layout` (at least last; the present tables when they reach it);
    // false when interrupted. Throws bad_alloc when the tables do not fit.
    bool extend(int last, int layout)
    {
        return wide_ ? extend_on(wide_tables_, last, layout)
                     : extend_on(narrow_tables_, last, layout);
    }

    // Bound on the relative rounding error of one table value of degree k
    // (relative to the value over |x|) through its n levels: per level the
    // strip coefficient (a product of at most k factors of n + 7
    // roundings), the power and the prefix product, and the sum of the
    // strips; and the rounding of the points to the tables' type (k,
    // inside the n + 7). Shifted parts summed inexactly add their own share.
    long double value_rounding(int k) const
    {
        long double units = (long double)n_ * ((7.0L + n_) * k + 4 + costs_.most_strips);
        if (!alpha_exact_) units += 4.0L * n_ * k * (request_.in->alpha * k + n_);
        return units * (wide_ ? unit_ld : unit_d);
    }

    // Units of long double roundoff in one coefficient of degree k and the
    // top-row factor of its values.
    long double coefficient_rounding(int k) const
    {
        const long double parameters = request_.in->a.size() + request_.in->b.size();
        return (3.0L * parameters + 8 + 2.0L * n_) * k + 4;
    }

private:
    template <class Real>
    bool extend_on(std::unique_ptr<engine_tables<Real>> &tables, int last, int layout)
    {
        if (!tables || tables->degree() < last) {
            tables.reset();
            tables.reset(new engine_tables<Real>(request_, x_, y_, layout));
            if (!tables->place(request_.interrupt)) return false;
            if (degree_ > 0 && !tables->fill(1, degree_, request_.interrupt)) return false;
        }
        const int first = degree_ + 1;
        if (!tables->fill(first, last, request_.interrupt)) return false;
        sums_.resize((size_t)last + 1);
        if (!walk_.run(*tables, first, last, sums_, costs_)) return false;
        for (int k = first; k <= last; k++) terms_ += sums_[k].terms;
        degree_ = last;
        return true;
    }

    static bool alpha_multiples_exact(double alpha)
    {
        const double scaled = std::ldexp(alpha, exact_alpha_fraction_bits);
        return scaled == std::floor(scaled) && alpha * largest_table_degree < 0x1p40 &&
               alpha <= exact_alpha_largest;
    }

    table_request request_;
    const int n_;
    const bool two_;
    // Eigenvalues of both signs: long double tables. Their terms cancel,
    // and double's rounding bound on the absolute sums then exceeds tol
    // (0F0 at (-1.5, 0.4, -0.3, 0.7), alpha 0.5: 7e-12 against 1e-12 of
    // the value).
    bool mixed_ = false, wide_ = false, alpha_exact_ = true;
    scaled_points x_, y_;
    summing_walk walk_;
    std::unique_ptr<engine_tables<double>> narrow_tables_;
    std::unique_ptr<engine_tables<long double>> wide_tables_;
    std::vector<degree_sums> sums_;
    level_costs costs_;
    long long terms_ = 1;
    int degree_ = 0;
};

// The next layout degree of an automatic series at degree `next`, at most
// `cap`, brought down to what the memory limit admits (0: none); below
// `next` when even that does not fit.
int next_layout(const table_series &series, int next, int cap, std::size_t memory_limit)
{
    int layout = std::min(cap, std::max(first_layout_degree, series.degree() * layout_growth));
    layout = std::max(layout, next);
    const int filled = std::max(series.degree(), first_layout_degree);
    const long double room = layout_growth_bytes * series.bytes(std::min(filled, layout));
    while (layout > next && series.bytes(layout) > room) layout--;
    if (memory_limit == 0) return layout;
    while (layout >= next && series.bytes(layout) > (long double)memory_limit) layout--;
    return layout;
}

} // namespace

long double count_partitions(int n, int degree)
{
    // p[k] over parts at most `rows` (conjugate: at most n parts).
    std::vector<long double> p(degree + 1, 0);
    p[0] = 1;
    for (int part = 1; part <= n; part++)
        for (int k = part; k <= degree; k++) p[k] += p[k - part];
    long double total = 0;
    for (long double v : p) total += v;
    return total;
}

long double table_bytes(int n, int degree, bool two_arguments, bool mixed_signs)
{
    return mixed_signs ? engine_tables<long double>::bytes(n, degree, degree, two_arguments, true)
                       : engine_tables<double>::bytes(n, degree, degree, two_arguments, false);
}

// The automatic degree cap of the tables: the largest degree whose
// partitions number at most table_partition_budget, so that a request the
// series cannot finish ends in seconds to a minute with an honest
// not-converged result instead of running on for hours.
int automatic_table_cap(int n)
{
    // Steps of an eighth find the range; bisection then finds the largest
    // degree within the budget (never one beyond it, as the steps alone did).
    int low = largest_table_degree < first_table_cap ? largest_table_degree : first_table_cap;
    if (count_partitions(n, low) > table_partition_budget) return low;
    int high = low;
    while (high < largest_table_degree && count_partitions(n, high) <= table_partition_budget) {
        low = high;
        high = std::min(largest_table_degree, high + 1 + high / 8);
    }
    if (count_partitions(n, high) <= table_partition_budget) return high;
    while (high - low > 1) {                              // count(low) <= budget < count(high)
        const int middle = low + (high - low) / 2;
        (count_partitions(n, middle) <= table_partition_budget ? low : high) = middle;
    }
    return low;
}

namespace {

// The series on tables of double or (wide) long double values.
series_outcome sum_on_tables(const series_input &in, const series_control &ctl, bool wide)
{
    series_outcome out;
    out.route = "tables";
    const int n = (int)in.x.size();
    const bool automatic = ctl.max_degree <= 0;
    const int cap = std::min(automatic ? automatic_table_cap(n) : ctl.max_degree, largest_table_degree);
    table_request request;
    request.in = &in;
    request.threads = ctl.threads;
    request.interrupt = ctl.interrupt;
    request.wide = wide;
    table_series series(request);
    tail_monitor monitor(ctl.tol, ctl.termination_degree, ctl.limit_ratio);
    std::vector<long double> abs_sums{1};
    long double total = 1, abs_total = 1;
    bool done = false;
    // The degrees summed so far go to the tail rule one at a time.
    const auto judge = [&](int from) {
        for (int k = from; k <= series.degree() && !done; k++) {
            const degree_sums &d = series.sums(k);
            total += d.within.sum + d.beyond.sum;
            abs_total += d.magnitude;
            abs_sums.push_back(d.magnitude);
            done = monitor.done(abs_sums, k, total);
        }
    };
    try {
        while (!done && series.degree() < cap) {
            const int next = series.degree() + 1;
            const int layout = automatic ? next_layout(series, next, cap, ctl.memory_limit) : cap;
            if (layout < next ||
                (ctl.memory_limit > 0 && series.bytes(layout) > (long double)ctl.memory_limit)) {
                out.message = "memory limit reached at degree " + std::to_string(next);
                break;
            }
            if (automatic && ctl.work_left && *ctl.work_left <= 0) {
                out.message = "work limit reached at degree " + std::to_string(series.degree());
                break;
            }
            const long long work_before = series.work();
            // With max_degree every level is filled; otherwise one degree
            // at a time, so that no level beyond the tail rule's is filled.
            if (!series.extend(automatic ? next : cap, layout)) {
                out.state = series_state::interrupted;
                return out;
            }
            if (ctl.work_left) *ctl.work_left -= series.work() - work_before;
            judge(next);
            if (!std::isfinite(abs_total)) { out.state = series_state::overflow; return out; }
        }
    } catch (const std::bad_alloc &) {
        out.message = "out of memory at degree " + std::to_string(series.degree() + 1);
    }
    const int k = (int)abs_sums.size() - 1;
    long long terms = 1;
    for (int d = 1; d <= k; d++) terms += series.sums(d).terms;
    const long double worst_value = series.value_rounding(k);
    // A term carries its value's roundings (two values with two
    // arguments) and its coefficient's; the degree sums are compensated
    // (2u + N u^2), the k + 1 of them added plainly; factor 2 for the
    // rounded absolute sums.
    const long double per_term = (in.y.empty() ? 1 : 2) * worst_value +
                                 series.coefficient_rounding(k) * unit_ld;
    const long double summing = (2 + 2 * (long double)terms * unit_ld + (k + 1)) * unit_ld;
    out.sum = total;
    out.rounding = 2 * (per_term + summing) * abs_total;
    out.degree = k;
    out.partitions = terms;
    out.tail = monitor.tail();                           // of the last degree judged
    out.state = done ? series_state::converged : series_state::not_converged;
    if (!done && out.message.empty()) {
        out.message = "tail rule not met by degree " + std::to_string(k);
        if (automatic && k >= cap)
            out.message += ", the automatic cap for " + std::to_string(n) +
                           " eigenvalues (a larger max_degree goes further, at a cost that grows "
                           "with the number of partitions)";
    }
    return out;
}

} // namespace

series_outcome sum_tables(const series_input &in, const series_control &ctl)
{
    const bool mixed = scale_points(in.x).mixed || (!in.y.empty() && scale_points(in.y).mixed);
    series_outcome out = sum_on_tables(in, ctl, false);
    if (mixed) return out;                               // on long double tables already
    // Terms of one sign per degree that cancel across the degrees (negative
    // eigenvalues) can leave double's rounding bound above the tolerance
    // although the tail rule holds (2F1(1, 0.5; 1.75; X) at X = -(0.3, 0.2,
    // 0.45), alpha 0.5): such a series is summed again on long double tables.
    if (out.state == series_state::converged &&
        out.rounding > wide_retry_share * ctl.tol * std::fabs(out.sum))
        out = sum_on_tables(in, ctl, true);
    return out;
}

jack_box_stop jack_box_sums(const jack_box_request &box,
                            const std::function<bool(const jack_box_degree &)> &on_degree)
{
    series_input in;                                     // no parameters: C_kappa / |kappa|!
    in.x = box.y;
    in.alpha = box.alpha;
    long double trace = 0;
    for (long double v : box.y) trace += v;
    table_request request;
    request.in = &in;
    request.max_part = box.largest_part;
    request.split_part = box.split_part;
    request.threads = box.threads;
    request.interrupt = box.interrupt;
    // The terms are C_kappa(y) / k!, which times k! / (tr y)^k is
    // C_kappa(y / tr y).
    try {
        table_series series(request);
        long double factor = 1;
        while (series.degree() < box.max_degree) {
            if (box.work_left && *box.work_left <= 0) return jack_box_stop::work_limit;
            const int next = series.degree() + 1;
            const int layout = next_layout(series, next, box.max_degree, 0);
            const long long work_before = series.work();
            if (!series.extend(next, layout)) return jack_box_stop::interrupted;
            if (box.work_left) *box.work_left -= series.work() - work_before;
            factor = factor * next / trace;
            const degree_sums &d = series.sums(next);
            jack_box_degree degree;
            degree.degree = next;
            degree.within = d.within.sum * factor;
            degree.beyond = d.beyond.sum * factor;
            degree.partitions = d.terms;
            // Positive terms: the value's and the coefficient's roundings,
            // the compensated sums' 2u + N u^2, and the factor's k.
            degree.relative_rounding = series.value_rounding(next) +
                                       (series.coefficient_rounding(next) + next + 3 +
                                        degree.partitions * unit_ld) * unit_ld;
            if (!std::isfinite(degree.within + degree.beyond)) return jack_box_stop::overflow;
            if (!on_degree(degree)) return jack_box_stop::stopped;
        }
    } catch (const std::bad_alloc &) {
        return jack_box_stop::out_of_memory;
    }
    return jack_box_stop::finished;
}

} // namespace pfq_detail
} // namespace matrixhyper
