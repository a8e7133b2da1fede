// pfq_equal_walk.cpp: the cut walk at x I_n over blocks of first rows.
#include "pfq_equal_walk.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "box_factor.h"
#include "interrupt_countdown.h"
#include "thread_team.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

const long double unit_ld = std::numeric_limits<long double>::epsilon() / 2;

// Quotient tables of one walk, rows r = 1..rows (the rows a partition with
// a non-zero term can fill, at most n) and columns c = 0..max_size.
class equal_tables {
public:
    equal_tables(const series_input &in, int rows, int max_size)
        : n_(rows), stride_((size_t)max_size + 1), box_((n_ + 1) * stride_, 0),
          hook_(n_ * stride_, 0), reach_((n_ + 1) * stride_, 1), inverse_((n_ + 1) * stride_, 1),
          below_((n_ + 2) * stride_, 1)
    {
        for (int r = 1; r <= n_; r++) fill_row(in, r, max_size);
        const long double alpha = in.alpha;
        for (int m = 1; m < n_; m++)
            for (int j = 0; j < max_size; j++) {
                long double d = alpha * j + m;           // alpha (kappa_i - c) + (r - i) >= 1
                hook_[m * stride_ + j] = box_factor::hook_change(d, alpha);
            }
        slack_ = 4 * (max_size + 2) * unit_ld;
        for (int r = n_; r >= 1; r--)
            for (size_t m = 0; m < stride_; m++)
                below_[r * stride_ + m] = fresh_reach(r, (int)m) * below_[(r + 1) * stride_ + m];
    }
    long double box(int r, int c) const { return box_[r * stride_ + c]; }
    // Hook factors of row m below a row of length `length`, indexed by -c.
    const long double *hook_column(int m, int length) const { return &hook_[m * stride_ + length]; }
    // Hook factors of box (r, c) under the rows above.
    long double hooks(const int *kappa, int r, int c) const
    {
        long double h = 1;
        for (int i = 1; i < r; i++) h *= hook_[(r - i) * stride_ + (kappa[i] - c)];
        return h;
    }
    // Bound on the sum, over lengths m = c..to of row r, of the products of
    // |box| over columns c + 1..m (the prefix sums subtract; the slack covers
    // their rounding).
    long double row_reach(int r, int c, int to) const
    {
        const long double *s = &reach_[r * stride_];
        return (s[to] - s[c - 1] + slack_ * s[to]) * inverse_[r * stride_ + c];
    }
    // Bound on the sum over lengths 0..m of row r of the products of |box|.
    long double fresh_reach(int r, int m) const { return reach_[r * stride_ + m] * (1 + slack_); }
    // The product of fresh_reach(i, m) over the rows i = r..rows: a subtree's
    // bound in one look-up, where a loop over thousands of rows would cost
    // far more than the terms it decides about. Its rounding (a few units
    // per row) lies far inside walk_cut_rounding.
    long double rows_reach(int r, int m) const { return below_[r * stride_ + m]; }
    bool positive() const { return negative_ == 0; }

private:
    void fill_row(const series_input &in, int r, int max_size)
    {
        const long double alpha = in.alpha, x = in.x[0];
        const long double n = (long double)in.x.size();  // the matrix's size, not the rows walked
        long double product = 1, sum = 1;
        for (int c = 1; c <= max_size; c++) {
            long double t = alpha * (c - 1) - r;         // shifted part before the box
            long double u = box_factor::shift(r, c, alpha);
            long double num = box_factor::times_rising(x * (n + t + 1), in.a.data(), in.a.size(), u);
            long double den = box_factor::times_rising((long double)c * (alpha * (c - 1) + 1),
                                                       in.b.data(), in.b.size(), u);
            long double q = num == 0 ? 0 : num / den;    // terminated: no 0/0 at a pole
            box_[r * stride_ + c] = q;
            negative_ += q < 0 || std::isnan(q);
            product *= std::fabs(q);
            sum += product;
            reach_[r * stride_ + c] = sum;
            inverse_[r * stride_ + c] = 1 / product;     // infinite past a zero: never cuts
        }
    }
    int n_;
    size_t stride_;
    std::vector<long double> box_, hook_, reach_, inverse_, below_;
    long double slack_ = 0;
    int negative_ = 0;
};

// Sums of one block of first rows.
struct block_sums {
    std::vector<compensated_sum> sums;
    std::vector<long double> abs_sums, cut;
    long long visited = 0;
};

// What the threads of one walk share.
struct walk_job {
    const equal_tables *tables;
    const std::vector<long double> *first_row;           // term of the partition (t)
    int n, max_size;
    long double threshold;
    long double rising = 0;                              // > 0: the threshold rises to this share
                                                         // of the largest |term| met (one thread)
    bool positive;                                       // every box quotient >= 0: |term| = term
    std::vector<int> block_start;                        // first rows of block b: [start[b], start[b + 1])
    std::vector<block_sums> *blocks;
    std::atomic<int> next_block{0};
    std::atomic<bool> stop{false};
    long long visit_limit;                               // 0: none
    std::atomic<long long> visits{0};                    // reported by the threads as they go
    std::atomic<bool> exhausted{false};
    const interrupt_check *interrupt;                    // polled by the calling thread only
};

// The walk below first row t: rows 2..n by depth-first search, each step
// adding a box or ending a row; a box whose subtree bound is below the
// threshold ends its row with the bound kept. The last two rows, where
// nearly all partitions lie, have loops of their own whose terms gather in
// plain sums per degree (see flush_now_and_then) before they join the
// block's compensated sums.
class block_walker {
public:
    block_walker(walk_job &job, bool polls)
        : job_(job), countdown_(polls ? job.interrupt : nullptr, terms_between_polls, &job.stop),
          kappa_(job.n + 1, 0), level_term_(job.n + 2, 0),
          lower_(job.max_size + 1, 0), above_{std::vector<long double>(job.max_size + 1, 0),
                                             std::vector<long double>(job.max_size + 1, 0)},
          local_(job.max_size + 1, 0),
          local_abs_(job.max_size + 1, 0), threshold_(job.threshold) {}
    bool sum_block(int b)
    {
        if (out_) visits_before_block_ += out_->visited;
        out_ = &(*job_.blocks)[b];
        flushed_at_ = out_->visited;
        for (int t = job_.block_start[b]; t < job_.block_start[b + 1]; t++)
            if (!below_first_row(t)) return false;
        flush();
        return true;
    }

private:
    bool below_first_row(int t)
    {
        const int n = job_.n, K = job_.max_size;
        const long double v = (*job_.first_row)[t];
        if (v == 0) return true;
        const long double bound = std::fabs(v) * job_.tables->rows_reach(2, std::min(t, K - t));
        if (bound < threshold_) { out_->cut[t] += bound; return true; }
        add(t, v);
        if (n == 1) return true;
        kappa_[0] = K;
        kappa_[1] = t;
        filled_ = 0;
        level_term_[2] = v;
        if (n == 2) {
            for (int c = 1; c <= std::min(t, K - t); c++) lower_[c] = quotient_above(2, c);
            bool go_on = last_row(t, v);
            flush_now_and_then();
            return go_on;
        }
        return walk_rows(t);
    }
    bool walk_rows(int t)
    {
        const int n = job_.n, K = job_.max_size;
        int size = t, row = 2;
        while (row > 1) {
            if (row == n - 1) {
                if (!last_two_rows(size)) return false;
                row--;
                continue;
            }
            const int col = kappa_[row] + 1;
            long double v = 0;
            if (size < K && col <= kappa_[row - 1] && level_term_[row] != 0 &&
                next_term(row, col, size, v)) {
                kappa_[row] = col;
                if (row + 2 < n) filled_ = 0;            // a row the kept factors depend on
                level_term_[row] = v;
                size++;
                add(size, v);
                if (countdown_.due() && stopped()) return false;
                level_term_[++row] = v;                  // the next row starts empty
            } else {
                size -= kappa_[row];
                kappa_[row] = 0;
                if (row + 2 < n) filled_ = 0;
                row--;
            }
        }
        return true;
    }
    // Term of box (row, col) added to a partition of `size` boxes in v; false
    // when the subtree is cut (its bound then kept by the root's degree).
    bool next_term(int row, int col, int size, long double &v)
    {
        const equal_tables &tab = *job_.tables;
        v = level_term_[row] * (tab.box(row, col) * tab.hooks(kappa_.data(), row, col));
        if (!(std::fabs(v) < threshold_)) return true;   // no bound can be below it
        const long double bound = subtree_bound(row, col, size, v);
        if (bound < threshold_) { out_->cut[size + 1] += bound; return false; }
        return true;
    }
    // Bound on the terms of the partition that box (row, col) of term v
    // completes from `size` boxes and of all below it: more boxes in its
    // row up to the row above, rows below as long, none past max_size.
    long double subtree_bound(int row, int col, int size, long double v) const
    {
        const equal_tables &tab = *job_.tables;
        const int left = job_.max_size - size - 1;       // boxes after this one
        return std::fabs(v) * tab.row_reach(row, col, std::min(kappa_[row - 1], col + left)) *
               tab.rows_reach(row + 1, std::min(kappa_[row - 1], left));
    }
    // Quotient of box (row, c), row n - 1 or n, under the rows 1..n-2 as
    // they stand, without the hook factor of row n - 1. The factors of rows
    // 1..n-3 change seldom: kept per column until one of those rows does.
    long double quotient_above(int row, int c)
    {
        const equal_tables &tab = *job_.tables;
        const int n = job_.n, offset = row - (n - 1);    // 0: row n - 1, 1: row n
        for (; filled_ < c; filled_++) {
            const int col = filled_ + 1;
            for (int k = 0; k < 2; k++) {
                long double h = tab.box(n - 1 + k, col);
                for (int i = 1; i + 2 < n; i++) h *= tab.hook_column(n - 1 + k - i, kappa_[i])[-col];
                above_[k][col] = h;
            }
        }
        if (n == 2) return above_[offset][c];
        return above_[offset][c] * tab.hook_column(1 + offset, kappa_[n - 2])[-c];
    }
    // Rows n - 1 and n below rows 1..n-2, then back to row n - 2. Their
    // quotients under the rows above are formed once per column as row
    // n - 1 reaches it; the last row then needs one hook factor per box.
    bool last_two_rows(int size)
    {
        const int r = job_.n - 1, K = job_.max_size;
        const int limit = std::min(kappa_[r - 1], K - size);
        bool go_on = true;
        for (int col = 1; go_on && col <= limit && level_term_[r] != 0; col++) {
            lower_[col] = quotient_above(r + 1, col);
            long double v = level_term_[r] * quotient_above(r, col);
            if (std::fabs(v) < threshold_) {             // else no bound can be below it
                const long double bound = subtree_bound(r, col, size, v);
                if (bound < threshold_) { out_->cut[size + 1] += bound; break; }
            }
            kappa_[r] = col;
            level_term_[r] = v;
            size++;
            gather(size, v);
            go_on = last_row(size, v);
        }
        kappa_[r] = 0;
        flush_now_and_then();
        return go_on;
    }
    // Every length of the last row under the rows above, from the term of
    // the partition without it. The loop every partition passes through:
    // the bookkeeping of gather() is done once per row here.
    bool last_row(int size, long double v)
    {
        const long double *hook = job_.tables->hook_column(1, kappa_[job_.n - 1]);
        const long double *quotient = lower_.data();
        long double *sum = local_.data() + size, *abs_sum = local_abs_.data() + size;
        const int limit = std::min(kappa_[job_.n - 1], job_.max_size - size);
        const bool positive = job_.positive;
        const long double rising = job_.rising;
        long double threshold = threshold_;              // a local: the stores below cannot touch it
        int col = 1;
        for (; col <= limit && v != 0; col++) {
            v *= quotient[col] * hook[-col];
            if (std::fabs(v) < threshold) {              // else no bound can be below it
                const long double bound = subtree_bound(job_.n, col, size + col - 1, v);
                if (bound < threshold) { out_->cut[size + col] += bound; break; }
            }
            sum[col] += v;
            if (!positive) abs_sum[col] += std::fabs(v);
            if (rising > 0) threshold = std::max(threshold, rising * std::fabs(v));
        }
        threshold_ = threshold;
        if (col == 1) return true;
        low_ = std::min(low_, size + 1);
        high_ = std::max(high_, size + col - 1);
        out_->visited += col - 1;
        return !countdown_.due(col - 1) || !stopped();
    }
    void rise(long double v)
    {
        if (job_.rising > 0) threshold_ = std::max(threshold_, job_.rising * std::fabs(v));
    }
    void add(int size, long double v)
    {
        rise(v);
        out_->sums[size].add(v);
        out_->abs_sums[size] += std::fabs(v);            // only bounds: plain sum
        out_->visited++;
    }
    void gather(int size, long double v)
    {
        rise(v);
        local_[size] += v;
        if (!job_.positive) local_abs_[size] += std::fabs(v);
        low_ = std::min(low_, size);
        high_ = std::max(high_, size);
        out_->visited++;
    }
    // The plain sums join the compensated ones once gathered_terms terms
    // have come since the last time, checked after each pass over the last
    // two rows (which gives a degree at most max_size + 1 terms): a plain sum
    // holds at most gathered_terms + max_size + 1 terms, which the rounding
    // bound counts.
    void flush_now_and_then()
    {
        if (out_->visited - flushed_at_ >= gathered_terms) flush();
    }
    void flush()
    {
        flushed_at_ = out_->visited;
        for (int k = low_; k <= high_; k++) {
            out_->sums[k].add(local_[k]);
            out_->abs_sums[k] += job_.positive ? local_[k] : local_abs_[k];
            local_[k] = local_abs_[k] = 0;
        }
        low_ = job_.max_size + 1;
        high_ = -1;
    }
    // Polled every few thousand terms: the caller's interrupt (calling
    // thread only; it raises job_.stop) and the walk's share of the visit
    // limit.
    bool stopped()
    {
        countdown_.poll();
        const long long mine = visits_before_block_ + out_->visited;
        const long long all = job_.visits.fetch_add(mine - reported_) + (mine - reported_);
        reported_ = mine;
        if (job_.visit_limit > 0 && all > job_.visit_limit) {
            job_.exhausted.store(true);
            job_.stop.store(true, std::memory_order_relaxed);
        }
        return job_.stop.load(std::memory_order_relaxed);
    }

    walk_job &job_;
    interrupt_countdown countdown_;
    std::vector<int> kappa_;
    std::vector<long double> level_term_;
    std::vector<long double> lower_;                     // quotients of the last row
    std::vector<long double> above_[2];                  // rows n - 1, n: factors of rows 1..n-3
    int filled_ = 0;                                     // columns of above_ up to date
    long long flushed_at_ = 0;                           // out_->visited at the last flush
    long long visits_before_block_ = 0, reported_ = 0;   // this thread's visits
    std::vector<long double> local_, local_abs_;         // plain sums of the last two rows
    int low_ = std::numeric_limits<int>::max(), high_ = -1;
    long double threshold_;
    block_sums *out_ = nullptr;
};

// Takes blocks until none is left or the walk stops.
void sum_blocks(walk_job &job, block_walker &walker)
{
    const int count = (int)job.block_start.size() - 1;
    for (int b = job.next_block.fetch_add(1); b < count; b = job.next_block.fetch_add(1))
        if (!walker.sum_block(b)) { job.stop.store(true); return; }
}

// Block boundaries over first rows 1..max_size: up to walk_most_blocks
// blocks of equal width, fewer when their degree arrays would pass
// walk_block_bytes. They depend on the walk only, never on the thread count.
std::vector<int> block_starts(int max_size)
{
    // Bytes per degree of one block's arrays: the compensated sum (two long
    // doubles), the sum of |terms| and the cut bounds.
    const long long per_degree = sizeof(compensated_sum) + 2 * sizeof(long double);
    const long long per_block = per_degree * (max_size + 1);
    long long count = std::max(1LL, std::min(walk_most_blocks, walk_block_bytes / per_block));
    count = std::min<long long>(count, max_size);
    std::vector<int> start;
    for (long long b = 0; b <= count; b++) start.push_back(1 + (int)(b * max_size / std::max(1LL, count)));
    return start;
}

void merge(const std::vector<block_sums> &blocks, int max_size, equal_walk_sums &out)
{
    std::vector<compensated_sum> total(max_size + 1);
    out.abs_sums.assign(max_size + 1, 0);
    out.cut.assign(max_size + 1, 0);
    total[0].add(1);                                     // the empty partition
    out.abs_sums[0] = 1;
    out.visited = 1;
    for (const block_sums &b : blocks) {
        for (int k = 0; k <= max_size; k++) {
            total[k].add(b.sums[k].sum);
            total[k].add(-b.sums[k].carry);              // what the block's additions lost
            out.abs_sums[k] += b.abs_sums[k];
            out.cut[k] += b.cut[k];
        }
        out.visited += b.visited;
    }
    out.sums.assign(max_size + 1, 0);
    for (int k = 0; k <= max_size; k++) out.sums[k] = total[k].sum;
}

} // namespace

equal_walk_sums equal_walk(const series_input &in, const equal_walk_settings &settings,
                           const series_control &ctl)
{
    const int max_size = settings.max_size;
    const long double threshold = settings.threshold, rising = settings.rising;
    const long long visit_limit = settings.visit_limit;
    int threads = settings.threads;
    const int n = settings.rows > 0 ? std::min(settings.rows, (int)in.x.size()) : (int)in.x.size();
    equal_tables tab(in, n, max_size);
    std::vector<long double> first_row(max_size + 1, 1);
    for (int t = 1; t <= max_size; t++) first_row[t] = first_row[t - 1] * tab.box(1, t);
    std::vector<block_sums> blocks;
    walk_job job;
    job.tables = &tab; job.first_row = &first_row;
    job.n = n; job.max_size = max_size; job.threshold = threshold;
    job.positive = tab.positive();
    job.rising = rising;
    job.visit_limit = visit_limit;
    if (rising > 0) threads = 1;                         // the order of the blocks matters
    job.block_start = max_size > 0 ? block_starts(max_size) : std::vector<int>{1};
    blocks.resize(job.block_start.size() - 1);
    for (block_sums &b : blocks) {                       // here: the threads never allocate
        b.sums.assign(max_size + 1, compensated_sum());
        b.abs_sums.assign(max_size + 1, 0);
        b.cut.assign(max_size + 1, 0);
    }
    job.blocks = &blocks;
    job.interrupt = ctl.interrupt;
    threads = std::max(1, std::min(threads, (int)blocks.size()));
    std::vector<block_walker> walkers;                   // made here: the threads never allocate
    for (int i = 0; i < threads; i++) walkers.emplace_back(job, i == 0);
    {
        thread_team team;                                // fewer threads, same sums
        team.start(threads, [&](int i) { sum_blocks(job, walkers[i]); });
        sum_blocks(job, walkers[0]);
        team.join();
    }
    equal_walk_sums out;
    out.exhausted = job.exhausted.load();
    out.interrupted = job.stop.load() && !out.exhausted;
    out.blocks = (int)blocks.size();
    if (job.stop.load()) return out;
    merge(blocks, max_size, out);
    // Whether the limit was passed must not depend on when the threads
    // reported: a finished walk is judged by its count.
    out.exhausted = visit_limit > 0 && out.visited > visit_limit;
    return out;
}

} // namespace pfq_detail
} // namespace matrixhyper
