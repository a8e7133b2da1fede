// pfq_tables.cpp: the series of one or two arguments with distinct
// eigenvalues, from tables of Jack polynomials C_kappa(x / s) built degree by
// degree with the branching rule over horizontal strips.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <new>
#include <thread>

#include "box_factor.h"
#include "interrupt_countdown.h"
#include "jack_degree_sums.h"
#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;

// Slots of the hash of a new partition store (a power of 2, doubled
// whenever it is half full).
const size_t initial_hash_slots = 1024;

// The partition hash is FNV-1a over the parts (its 64-bit offset basis and
// prime), its high bits folded into the low ones the slot mask keeps.
const uint64_t fnv_offset_basis = 1469598103934665603ull;
const uint64_t fnv_prime = 1099511628211ull;
const int hash_fold_shift = 29;

// Partitions of at most n parts, stored by index; an open-addressing hash
// finds the index of a part vector.
class partition_store {
public:
    explicit partition_store(int n) : n_(n), slots_(initial_hash_slots, -1)
    {
        add(std::vector<uint16_t>(n, 0));
    }
    int n() const { return n_; }
    int count() const { return (int)sizes_.size(); }
    const uint16_t *parts(int idx) const { return &parts_[(size_t)idx * n_]; }
    int size(int idx) const { return sizes_[idx]; }
    int add(const std::vector<uint16_t> &p)
    {
        int idx = count();
        parts_.insert(parts_.end(), p.begin(), p.end());
        int total = 0;
        for (uint16_t v : p) total += v;
        sizes_.push_back(total);
        if (2 * (size_t)count() > slots_.size()) rehash();
        else insert(idx);
        return idx;
    }
    int find(const uint16_t *p) const { return find(p, hash_rows(p, 1), p[0]); }
    // Hash of rows from..n-1 (the rows below the first, for find).
    uint64_t hash_rows(const uint16_t *p, int from) const
    {
        uint64_t h = fnv_offset_basis;
        for (int i = n_ - 1; i >= from; i--) h = (h ^ p[i]) * fnv_prime;
        return h;
    }
    // Index of the partition with rows below the first hashed in `below`
    // and first row `first`; -1 when absent.
    int find(const uint16_t *p, uint64_t below, uint16_t first) const
    {
        size_t mask = slots_.size() - 1;
        for (size_t h = finish((below ^ first) * fnv_prime) & mask;; h = (h + 1) & mask) {
            int idx = slots_[h];
            if (idx < 0) return -1;
            if (equal(parts(idx), p)) return idx;
        }
    }
private:
    static size_t finish(uint64_t h) { return (size_t)(h ^ (h >> hash_fold_shift)); }
    size_t hash(const uint16_t *p) const
    {
        return finish((hash_rows(p, 1) ^ p[0]) * fnv_prime);
    }
    bool equal(const uint16_t *p, const uint16_t *q) const
    {
        for (int i = 0; i < n_; i++) if (p[i] != q[i]) return false;
        return true;
    }
    void insert(int idx)
    {
        size_t mask = slots_.size() - 1;
        size_t h = hash(parts(idx)) & mask;
        while (slots_[h] >= 0) h = (h + 1) & mask;
        slots_[h] = idx;
    }
    void rehash()
    {
        slots_.assign(slots_.size() * 2, -1);
        for (int i = 0; i < count(); i++) insert(i);
    }
    int n_;
    std::vector<uint16_t> parts_;
    std::vector<int> sizes_;
    std::vector<int> slots_;
};

// Jack values C_kappa(x_1..x_m / s) of one argument for m = 1..n (and of
// |x| when the signs are mixed, the sums of absolute contributions).
struct jack_table {
    long double scale = 1;
    bool mixed = false;
    std::vector<long double> y;                          // x_m / s
    std::vector<std::vector<long double>> power, abs_power;  // [m][d]
    std::vector<long double> value, abs_value;           // [idx * n + m - 1]
};

void setup_table(jack_table &t, const std::vector<long double> &x)
{
    long double s = 0;
    bool neg = false, pos = false;
    for (long double v : x) { s += std::fabs(v); neg |= v < 0; pos |= v > 0; }
    t.scale = s;
    t.mixed = neg && pos;
    for (long double v : x) t.y.push_back(v / s);
    t.power.assign(x.size(), {1.0L});
    t.abs_power.assign(x.size(), {1.0L});
}

// Everything the strip enumeration of one partition needs. For each row i
// and each candidate mu_i = v, prefix products over columns j of the
// numerators of the ratios of row i (keep: column intact, strip: column
// loses its bottom box); their denominators do not depend on v.
struct strip_walk {
    const partition_store *store;
    std::vector<jack_table> *tables;
    const std::vector<std::vector<long double>> *binom;
    long double alpha;
    int n, m, k;
    int top;                                             // last row of kappa that can change:
                                                         // min(m - 1, its rows); rows below
                                                         // are empty and their ratios are 1
    std::vector<int> kappa, conj, mu;                    // 1-based rows / columns
    std::vector<uint16_t> key;                           // mu, 0-based
    uint64_t below_hash = 0;
    std::vector<long double> acc, abs_acc;               // per table
    long long strips;
    long long factor_rows;                               // rows the strip ratios multiplied
    std::vector<long double> keep_num, strip_num;        // [start(i, v) + j]
    std::vector<long double> keep_den, strip_den;        // [row_start(i) + j]
    std::vector<size_t> start, row_start;                // start[i] is for v = kappa_{i+1}
};

// Fills the prefix products of every row of kappa (rows 1..m-1).
void prepare_rows(strip_walk &w)
{
    const long double alpha = w.alpha;
    w.keep_num.clear(); w.strip_num.clear(); w.keep_den.clear(); w.strip_den.clear();
    w.start.assign(w.m + 1, 0);
    w.row_start.assign(w.m + 1, 0);
    for (int i = 1; i <= w.top; i++) {
        const int ki = w.kappa[i], below = w.kappa[i + 1];
        w.row_start[i] = w.keep_den.size();
        long double kd = 1, sd = 1;
        w.keep_den.push_back(1); w.strip_den.push_back(1);
        for (int j = 1; j <= ki; j++) {
            long double leg = w.conj[j] - i, arm = ki - j;
            kd *= box_factor::lower_hook(arm, leg, alpha);
            sd *= j <= below ? box_factor::upper_hook(arm, leg, alpha) : 1;
            w.keep_den.push_back(kd); w.strip_den.push_back(sd);
        }
        w.start[i] = w.keep_num.size();
        for (int v = below; v <= ki; v++) {
            long double kn = 1, sn = 1;
            w.keep_num.push_back(1); w.strip_num.push_back(1);
            for (int j = 1; j <= v; j++) {
                long double leg = w.conj[j] - i, arm = v - j;
                kn *= box_factor::lower_hook(arm, leg, alpha);
                // the box below this one leaves: its leg is one shorter
                sn *= j <= below ? box_factor::upper_hook(arm, leg - 1, alpha) : 1;
                w.keep_num.push_back(kn); w.strip_num.push_back(sn);
            }
        }
    }
}

// Product over the boxes (row, j) of mu of the ratios of the branching
// coefficient times j_mu / j_kappa, for mu_row = v with the rows below
// already chosen: columns (kappa_{r+1}, mu_r] keep their length, columns
// (mu_r, kappa_r] lose their bottom box. Every ratio is at most 1. The
// denominators over the rows below do not depend on v: `fixed` holds them.
long double row_factor(const strip_walk &w, int row, int v, long double fixed)
{
    const int below = w.kappa[row + 1];
    const long double *kn = &w.keep_num[w.start[row] + (size_t)(v - below) * (below + 1)
                                        + (size_t)(v - below) * (v - below - 1) / 2];
    const long double *sn = kn - w.keep_num.data() + w.strip_num.data();
    const long double *kd = &w.keep_den[w.row_start[row]];
    long double num = kn[v] * kd[below], den = kn[below] * kd[v];   // columns of this row
    for (int r = row + 1; r <= w.top + 1 && r <= w.m; r++) {
        int lo = w.kappa[r + 1], mid = w.mu[r], hi = w.kappa[r];
        num *= kn[mid] * sn[hi];
        den *= kn[lo] * sn[mid];
    }
    return num / den * fixed;
}

// The v-independent part of row_factor for the rows below `row`.
long double fixed_factor(const strip_walk &w, int row)
{
    const long double *kd = &w.keep_den[w.row_start[row]];
    const long double *sd = &w.strip_den[w.row_start[row]];
    long double num = 1, den = 1;
    for (int r = row + 1; r <= w.top + 1 && r <= w.m; r++) {
        int lo = w.kappa[r + 1], mid = w.mu[r], hi = w.kappa[r];
        num *= kd[lo] * sd[mid];
        den *= kd[mid] * sd[hi];
    }
    return num / den;
}

// Chooses mu_row (rows below fixed), then recurses upwards; at row 0 adds
// the contribution of mu to every table.
void enumerate(strip_walk &w, int row, long double weight, int removed)
{
    if (row == 0) {
        const long double g = weight * (*w.binom)[w.k][removed];
        int idx = w.m == 1 ? 0 : w.store->find(w.key.data(), w.below_hash, (uint16_t)w.mu[1]);
        w.strips++;
        for (size_t t = 0; t < w.tables->size(); t++) {
            const jack_table &tab = (*w.tables)[t];
            long double prev = w.m == 1 ? 1.0L : tab.value[(size_t)idx * w.n + w.m - 2];
            w.acc[t] += g * tab.power[w.m - 1][removed] * prev;
            if (tab.mixed) {
                long double aprev = w.m == 1 ? 1.0L : tab.abs_value[(size_t)idx * w.n + w.m - 2];
                w.abs_acc[t] += g * tab.abs_power[w.m - 1][removed] * aprev;
            }
        }
        return;
    }
    if (row == 1) {                                      // rows below are fixed: hash them once
        for (int i = 0; i < w.n; i++) w.key[i] = (uint16_t)(i + 1 < w.m ? w.mu[i + 1] : 0);
        w.below_hash = w.store->hash_rows(w.key.data(), 1);
    }
    const long double fixed = fixed_factor(w, row);
    const int rows_below = std::min(w.top + 1, w.m) - row;
    w.factor_rows += rows_below * (2LL + w.kappa[row] - w.kappa[row + 1]);
    for (int v = w.kappa[row + 1]; v <= w.kappa[row]; v++) {
        w.mu[row] = v;
        w.key[row - 1] = (uint16_t)v;
        int d = w.kappa[row] - v;
        long double f = row_factor(w, row, v, fixed) * (*w.binom)[removed + d][d];
        enumerate(w, row - 1, weight * f, removed + d);
    }
    w.mu[row] = w.kappa[row];
}

// All partitions of k with at most n parts, none above largest_part,
// appended to the store.
void add_partitions(partition_store &store, int k, std::vector<int> &added, int largest_part)
{
    const int n = store.n();
    std::vector<uint16_t> p(n, 0);
    // Recursive fill: row i gets a part at most the previous one.
    struct filler {
        partition_store &store; std::vector<uint16_t> &p; std::vector<int> &added; int n;
        void fill(int i, int left, int bound)
        {
            if (left == 0) { added.push_back(store.add(p)); return; }
            if (i == n) return;
            for (int v = std::min(left, bound); v >= 1; v--) {
                if ((long long)v * (n - i) < left) break;  // rows left cannot hold the rest
                p[i] = (uint16_t)v;
                fill(i + 1, left - v, v);
                p[i] = 0;
            }
        }
    } f{store, p, added, n};
    f.fill(0, k, std::min(k, largest_part));
}

// (a)_kappa / (b)_kappa.
long double pochhammer_ratio(const series_input &in, const uint16_t *parts, int n)
{
    long double num = 1, den = 1;
    for (int i = 0; i < n && parts[i] > 0; i++) {
        for (int j = 0; j < parts[i]; j++) {
            long double c = box_factor::shift(i + 1, j + 1, in.alpha);
            num = box_factor::times_rising(num, in.a.data(), in.a.size(), c);
            den = box_factor::times_rising(den, in.b.data(), in.b.size(), c);
        }
    }
    return num == 0 ? 0 : num / den;                     // terminated: no 0/0 at a pole
}

// C_kappa(I_n) / |kappa|!: J_kappa(1^n) alpha^k over the hook products.
long double identity_value(const uint16_t *parts, int n, long double alpha,
                           std::vector<int> &conj)
{
    box_factor::column_lengths(parts, n, conj);
    long double z = 1;
    for (int i = 0; i < n && parts[i] > 0; i++) {
        for (int j = 1; j <= parts[i]; j++) {
            long double leg = conj[j] - (i + 1), arm = parts[i] - j;
            long double upper = box_factor::upper_hook(arm, leg, alpha);
            long double lower = box_factor::lower_hook(arm, leg, alpha);
            z *= alpha * ((n - i) + alpha * (j - 1)) / (upper * lower);
        }
    }
    return z;
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
    const long double entry = sizeof(long double);
    const long double tables = (two_arguments ? 2 : 1) * (mixed_signs ? 2 : 1);
    // Per partition: its parts, its size, its hash slots (at most 4 per
    // partition before the table doubles) and its Jack values.
    long double per = sizeof(uint16_t) * (long double)n + sizeof(int) + 4 * sizeof(int);
    per += tables * entry * n;
    // Pascal's triangle to the degree, a vector per row, and the powers of
    // each point (plain and absolute) to the degree.
    const long double rows = (long double)degree + 1;
    long double fixed = entry * rows * (rows + 1) / 2 + rows * sizeof(std::vector<long double>);
    fixed += tables * 2 * n * entry * rows + initial_hash_slots * sizeof(int);
    return per * count_partitions(n, degree) + fixed;
}

namespace {

// Each strip's look-up hashes and compares all n rows of its partition, a
// cost of one work unit per this many rows (with hundreds of eigenvalues it
// is most of the strip's cost); each level of a partition reads its n rows
// once more.
const int rows_per_work_unit = 8;
// The ratios of a strip multiply two factors per row below the row chosen:
// with many rows this, not the strip's sum, is its cost.
const int factor_rows_per_work_unit = 2;

// Strips of the partitions one thread filled: the total and the most for one
// partition. Combined over threads by sum and max, so that the rounding bound
// and the work budget they feed do not depend on the thread count.
struct strip_count {
    long long total = 0, most = 0;
    long long work = 0;            // per strip 4 plus its look-up, 1 per prefix product
    void add(long long strips, long long prefixes, int n)
    {
        total += strips;
        most = std::max(most, strips);
        work += (4 + n / rows_per_work_unit) * strips + prefixes + n;
    }
    void add(const strip_count &c)
    {
        total += c.total;
        most = std::max(most, c.most);
        work += c.work;
    }
};

// What the threads filling one level share.
struct level_team {
    std::atomic<int> next_chunk{0};                      // chunks of added_ handed out
    std::atomic<bool> stop{false};                       // an interrupt or a failure
    bool interrupted = false;                            // the calling thread's only
};

// Partitions the calling thread fills between two polls of the interrupt:
// a millisecond or less of work even at the widest tables.
const int fills_per_poll = 1024;

// Partitions a thread claims at a time: a claim costs far less than one
// partition, and small chunks let the threads finish a level together.
const int chunk_partitions = 16;

// The tables and sums of one series, extended one degree at a time.
class table_series {
public:
    // largest_part caps the first part of every partition: a branching
    // rule reads only partitions inside the one it fills, so a capped
    // table holds exactly the Jack values of the partitions within the cap.
    table_series(const series_input &in, const interrupt_check *interrupt, int threads,
                 int largest_part = largest_table_degree)
        : in_(in), n_((int)in.x.size()), two_(!in.y.empty()), tables_(two_ ? 2 : 1),
          store_(n_), countdown_(interrupt, fills_per_poll), threads_(std::min(std::max(threads, 1), most_series_threads)),
          largest_part_(largest_part)
    {
        setup_table(tables_[0], in.x);
        if (two_) setup_table(tables_[1], in.y);
        for (jack_table &t : tables_) {
            t.value.assign(n_, 1.0L);                    // the empty partition, every level
            if (t.mixed) t.abs_value.assign(n_, 1.0L);
        }
        walk_.store = &store_; walk_.tables = &tables_; walk_.binom = &binom_;
        walk_.alpha = in.alpha; walk_.n = n_;
        walk_.key.assign(n_, 0);
        walk_.acc.assign(tables_.size(), 0); walk_.abs_acc.assign(tables_.size(), 0);
    }
    bool mixed() const { return tables_[0].mixed || (two_ && tables_[1].mixed); }
    // Work of every table fill of this series so far: strips enumerated
    // (4 units each) and the prefix products behind them (1 unit each; with
    // few rows and long ones, the products cost more than the strips).
    long long work() const { return work_; }
    // Adds degree k = degree() + 1; false when interrupted.
    bool extend()
    {
        const int k = ++degree_;
        std::vector<long double> row(k + 1, 1.0L);       // Pascal: positive sums only
        for (int j = 1; j < k; j++) row[j] = binom_[k - 1][j - 1] + binom_[k - 1][j];
        binom_.push_back(row);
        for (jack_table &t : tables_)
            for (int m = 0; m < n_; m++) {
                t.power[m].push_back(t.power[m].back() * t.y[m]);
                t.abs_power[m].push_back(t.abs_power[m].back() * std::fabs(t.y[m]));
            }
        added_.clear();
        add_partitions(store_, k, added_, largest_part_);
        for (jack_table &t : tables_) {
            t.value.resize((size_t)store_.count() * n_, 0.0L);
            if (t.mixed) t.abs_value.resize((size_t)store_.count() * n_, 0.0L);
        }
        walk_.k = k;
        for (int m = 1; m <= n_; m++)
            if (!fill_level(m)) return false;
        add_terms();
        return true;
    }
    int degree() const { return degree_; }
    long double total() const { return total_; }
    long double abs_total() const { return abs_total_; }
    const std::vector<long double> &abs_sums() const { return abs_sums_; }
    long long terms() const { return terms_; }
    // Rounding: per table level, mu's ratios (5 roundings each, at most k),
    // n binomials (k each), the power (k) and the strip sum (max_strips);
    // then the coefficient's k (p + q) + 2k factors; degree sums are
    // compensated (2u + N u^2), the k + 1 of them added plainly; factor 2
    // for the rounded absolute sums.
    long double rounding() const
    {
        const int k = degree_;
        long double levels = level_rounding();
        long double per_term = (two_ ? 2 : 1) * levels + (3.0L * (in_.a.size() + in_.b.size()) + 8) * k;
        long double summing = 2 + 2 * (long double)terms_ * unit_ld + (k + 1);
        return 2 * (per_term + summing) * unit_ld * abs_total_;
    }
    // Partitions of the newest degree, by store index.
    const std::vector<int> &newest() const { return added_; }
    const uint16_t *parts(int idx) const { return store_.parts(idx); }
    // C_kappa(x / s) of table t at all n variables, where s = sum |x|.
    long double jack_value(int t, int idx) const { return tables_[t].value[(size_t)idx * n_ + n_ - 1]; }
    // Units of roundoff in one table value through its n levels, at most:
    // relative to the value when every x has one sign (positive terms).
    long double level_rounding() const
    {
        return (long double)n_ * ((7.0L + n_) * degree_ + 4 + max_strips_);
    }
private:
    // Level m (m variables) of every partition of the newest degree; false
    // when interrupted. Within a level the partitions are independent (each
    // reads level m - 1 only), so threads may share them.
    bool fill_level(int m)
    {
        const int threads = level_threads(m);
        strip_count count;
        const bool done = threads > 1 ? fill_shared(m, threads, count) : fill_alone(m, count);
        strips_ += count.total;
        work_ += count.work;
        max_strips_ = std::max(max_strips_, count.most);
        return done;
    }
    int rows(int idx) const
    {
        const uint16_t *p = store_.parts(idx);
        int len = 0;
        while (len < n_ && p[len] > 0) len++;
        return len;
    }
    // Threads for level m: one unless the level has enough partitions.
    int level_threads(int m) const
    {
        if (threads_ <= 1) return 1;
        long long filled = 0;
        for (int idx : added_) filled += rows(idx) <= m;
        if (filled < table_level_worth_threads) return 1;
        return (int)std::min<long long>(threads_, ((long long)added_.size() + chunk_partitions - 1) /
                                                      chunk_partitions);
    }
    // True when the caller asks to stop; polled once per fills_per_poll
    // partitions the calling thread fills.
    bool interrupt_due() { return countdown_.step(); }
    bool fill_alone(int m, strip_count &count)
    {
        for (int idx : added_)
            if (fill_partition(walk_, m, idx, count) && interrupt_due()) return false;
        return true;
    }
    // The level with the calling thread and up to threads - 1 started ones,
    // each with its own walk. A thread that cannot be started leaves its
    // chunks to the others: the values do not depend on who fills what.
    bool fill_shared(int m, int threads, strip_count &count)
    {
        helper_walks_.resize(threads - 1, walk_);
        std::vector<strip_count> counts(threads);
        std::vector<std::exception_ptr> failures(threads);
        std::vector<std::thread> started;
        started.reserve(threads - 1);
        level_team team;
        for (int t = 1; t < threads; t++) {
            strip_walk &w = helper_walks_[t - 1];
            w.k = walk_.k;
            try {
                started.emplace_back(&table_series::fill_chunks, this, m, std::ref(team), std::ref(w),
                                     std::ref(counts[t]), std::ref(failures[t]), false);
            } catch (...) {
                break;
            }
        }
        fill_chunks(m, team, walk_, counts[0], failures[0], true);
        for (std::thread &t : started) t.join();
        for (const std::exception_ptr &failure : failures)
            if (failure) std::rethrow_exception(failure);
        for (const strip_count &c : counts) count.add(c);
        return !team.interrupted;
    }
    // One thread's part of a level: chunks of added_ claimed in turn until
    // none is left or the team stops. Only the calling thread polls the
    // interrupt. What the walk throws (out of memory) is kept for the
    // calling thread to rethrow once every thread is joined.
    void fill_chunks(int m, level_team &team, strip_walk &w, strip_count &count,
                     std::exception_ptr &failure, bool calling)
    {
        const long long size = (long long)added_.size();
        try {
            for (;;) {
                const long long chunk = team.next_chunk.fetch_add(1, std::memory_order_relaxed);
                const long long first = chunk * chunk_partitions;
                if (first >= size) return;
                const long long last = std::min(first + chunk_partitions, size);
                for (long long i = first; i < last; i++) {
                    if (team.stop.load(std::memory_order_relaxed)) return;
                    if (fill_partition(w, m, added_[i], count) && calling && interrupt_due()) {
                        team.interrupted = true;
                        team.stop.store(true, std::memory_order_relaxed);
                        return;
                    }
                }
            }
        } catch (...) {
            failure = std::current_exception();
            team.stop.store(true, std::memory_order_relaxed);
        }
    }
    // Level m of partition idx with walk w; false when idx has more than m
    // rows. Writes only the level m entries of idx.
    bool fill_partition(strip_walk &w, int m, int idx, strip_count &count)
    {
        const uint16_t *p = store_.parts(idx);
        const int length = rows(idx);
        if (length > m) return false;
        w.m = m;
        w.top = std::min(m - 1, length);
        w.kappa.assign(m + 2, 0);
        for (int i = 0; i < m; i++) w.kappa[i + 1] = p[i];
        box_factor::column_lengths(p, m, w.conj);
        w.mu.assign(w.kappa.begin(), w.kappa.end());
        w.mu[m] = 0;                                     // row m leaves entirely
        std::fill(w.acc.begin(), w.acc.end(), 0.0L);
        std::fill(w.abs_acc.begin(), w.abs_acc.end(), 0.0L);
        w.strips = 0;
        w.factor_rows = 0;
        prepare_rows(w);
        enumerate(w, w.top, 1.0L, w.kappa[m]);
        count.add(w.strips, (long long)w.keep_num.size() + w.factor_rows / factor_rows_per_work_unit, n_);
        for (size_t t = 0; t < tables_.size(); t++) {
            tables_[t].value[(size_t)idx * n_ + m - 1] = w.acc[t];
            if (tables_[t].mixed) tables_[t].abs_value[(size_t)idx * n_ + m - 1] = w.abs_acc[t];
        }
        return true;
    }
    // Value at level n of table t for partition idx, and of |x|.
    long double value(int t, int idx, long double &abs_value) const
    {
        const jack_table &tab = tables_[t];
        size_t at = (size_t)idx * n_ + n_ - 1;
        abs_value = tab.mixed ? tab.abs_value[at] : std::fabs(tab.value[at]);
        return tab.value[at];
    }
    // Terms of the newest degree: coefficient times the table values.
    void add_terms()
    {
        const long double k = degree_;
        degree_factor_ *= two_ ? tables_[0].scale * tables_[1].scale / (k * k) : tables_[0].scale / k;
        compensated_sum s;
        long double sa = 0;
        for (int idx : added_) {
            const uint16_t *p = store_.parts(idx);
            long double c = pochhammer_ratio(in_, p, n_) * degree_factor_;
            long double av, v = value(0, idx, av);
            if (two_) {
                long double avy, vy = value(1, idx, avy);
                c /= identity_value(p, n_, in_.alpha, conj_);
                v *= vy;
                av *= avy;
            }
            s.add(c * v);
            sa += std::fabs(c) * av;
        }
        terms_ += (long long)added_.size();
        abs_sums_.push_back(sa);
        total_ += s.sum;
        abs_total_ += sa;
    }

    const series_input &in_;
    const int n_;
    const bool two_;
    std::vector<jack_table> tables_;
    partition_store store_;
    interrupt_countdown countdown_;                      // the calling thread's polls
    const int threads_;
    std::vector<std::vector<long double>> binom_{{1.0L}};
    strip_walk walk_;                                    // the calling thread's
    std::vector<strip_walk> helper_walks_;               // one per started thread
    std::vector<int> added_, conj_;
    std::vector<long double> abs_sums_{1};
    long double total_ = 1, abs_total_ = 1, degree_factor_ = 1;
    long long terms_ = 1, max_strips_ = 0, strips_ = 0, work_ = 0;
    int degree_ = 0;
    const int largest_part_;
};

} // namespace

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

series_outcome sum_tables(const series_input &in, const series_control &ctl)
{
    series_outcome out;
    out.route = "tables";
    const int n = (int)in.x.size();
    const bool automatic = ctl.max_degree <= 0;
    const int cap = std::min(automatic ? automatic_table_cap(n) : ctl.max_degree, largest_table_degree);
    table_series series(in, ctl.interrupt, ctl.threads);
    tail_monitor monitor(ctl.tol, ctl.termination_degree, ctl.limit_ratio);
    bool done = false;
    try {
        while (!done && series.degree() < cap) {
            if (ctl.memory_limit > 0 && table_bytes(n, series.degree() + 1, !in.y.empty(),
                                                    series.mixed()) > (long double)ctl.memory_limit) {
                out.message = "memory limit reached at degree " + std::to_string(series.degree() + 1);
                break;
            }
            if (ctl.work_left && *ctl.work_left <= 0 && !(ctl.max_degree > 0)) {
                out.message = "work limit reached at degree " + std::to_string(series.degree());
                break;
            }
            const long long work_before = series.work();
            if (!series.extend()) { out.state = series_state::interrupted; return out; }
            if (ctl.work_left) *ctl.work_left -= series.work() - work_before;
            if (!std::isfinite(series.abs_total())) { out.state = series_state::overflow; return out; }
            done = monitor.done(series.abs_sums(), series.degree(), series.total());
        }
    } catch (const std::bad_alloc &) {
        out.message = "out of memory at degree " + std::to_string(series.degree());
        done = false;                                    // sums hold the complete degrees only
    }
    const int k = (int)series.abs_sums().size() - 1;
    out.sum = series.total();
    out.rounding = series.rounding();
    out.degree = k;
    out.partitions = series.terms();
    out.tail = monitor.tail();                           // of the last complete degree
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

jack_box_stop jack_box_sums(const jack_box_request &request,
                            const std::function<bool(const jack_box_degree &)> &on_degree)
{
    series_input in;                                     // no parameters: the terms are the
    in.x = request.y;                                    // table values over k!
    in.alpha = request.alpha;
    try {
        table_series series(in, request.interrupt, request.threads, request.largest_part);
        while (series.degree() < request.max_degree) {
            if (request.work_left && *request.work_left <= 0) return jack_box_stop::work_limit;
            const long long work_before = series.work();
            if (!series.extend()) return jack_box_stop::interrupted;
            if (request.work_left) *request.work_left -= series.work() - work_before;
            jack_box_degree degree;
            degree.degree = series.degree();
            compensated_sum within, beyond;              // positive values: 2u of the sums
            for (int idx : series.newest())
                (series.parts(idx)[0] <= request.split_part ? within : beyond)
                    .add(series.jack_value(0, idx));
            degree.within = within.sum;
            degree.beyond = beyond.sum;
            degree.partitions = (long long)series.newest().size();
            degree.relative_rounding = (series.level_rounding() + 3 + degree.partitions * unit_ld) * unit_ld;
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
