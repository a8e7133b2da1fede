// pfq_series.h: the truncated series engines behind matrix_pfq (internal).
#ifndef MATRIXHYPER_PFQ_SERIES_H
#define MATRIXHYPER_PFQ_SERIES_H

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/interrupt.h"
#include "matrixhyper/matrix_pfq.h"

namespace matrixhyper {
namespace pfq_detail {

// One series to sum: parameters, eigenvalues (y empty: one argument).
// Long double, so that relation-made parameters (c - a) and points
// (x / (x - 1)) carry no double rounding into the sum.
struct series_input {
    std::vector<long double> a, b, x, y;
    long double alpha = 2;
    bool exact = true;                 // the caller's values, or products of them formed
                                       // without rounding: a sum that comes out exactly
                                       // 0 is then the function's value
};

struct series_control {
    double tol = 1e-12;
    int max_degree = 0;                // 0: automatic cap
    std::size_t memory_limit = 0;
    const interrupt_check *interrupt = nullptr;
    int termination_degree = -1;       // >= 0: every term beyond is zero
    double limit_ratio = 0;            // rho of the tail rule
    long long *work_left = nullptr;    // work the tables may still do, shared by
                                       // every attempt of a call; null: no limit
    long long *visits_left = nullptr;  // terms the walks at x I_n may still visit, shared
                                       // likewise; null: no limit
    int threads = 1;                   // threads filling the tables or walking at x I_n
                                       // (at most 64), resolved by the caller
};

// Terms between two polls of the interrupt by the scalar series and the
// walks (a power of 2): well under a millisecond of work.
constexpr long long terms_between_polls = 4096;

// The most threads a table fill or a walk at x I_n runs with.
constexpr int most_series_threads = 64;

// Partitions a table level needs before threads share it: such a level
// takes milliseconds, starting and joining a thread tens of microseconds.
constexpr long long table_level_worth_threads = 500;

// Work (per filled partition 1 unit plus half a unit per strip entry,
// times the number of tables; pfq_tables.cpp) the tables of one call do at most
// when no max_degree is given (some 20 s on one core): a request beyond it
// ends with an honest not-converged result rather than running for hours.
constexpr long long automatic_table_work = 1200000000LL;
// Work the walks at x I_n do at most when no max_degree is given (a term
// costs 1 + n / rows_per_visit_unit units, see below; some 20 s on one core), and the degree
// they may grow to: their cut subtrees make the cost depend on the terms
// that matter, not the degree.
constexpr long long automatic_visit_budget = 1200000000LL;
// A visited term costs one unit of that budget plus one per this many rows
// of the partition's hook product: each row's factor is read from a table
// row of its own, a cache miss when the degree is large (the walk at 12
// equal eigenvalues costs several times as much per term as at 2, at 5000
// some thousand times). Up to 7 rows a term costs one unit, the cost the
// budget was measured at (n = 6: about 19 ns a term on one core, so that
// all-equal eigenvalues at trace 200 still converge within it); the row
// reads dominate from some dozens of rows on.
constexpr int rows_per_visit_unit = 8;
// Units of that budget per entry of the factor tables a walk builds (one
// per live row and degree, five tables of 16 bytes, two divisions each, new
// pages): about the cost of several visited terms.
constexpr long long walk_table_entry_cost = 8;
constexpr int automatic_equal_cap = 100000;

// The walk at x I_n (pfq_equal.cpp, pfq_equal_walk.cpp).
//
// It starts from the degree where the scalar series at the trace stops,
// which it looks for up to this degree (the walk grows past it if need be)...
constexpr int walk_start_search_degree = 5000;
// ...plus this margin, and from this degree at least: a few degrees more
// than the scalar series cost little and often spare a second walk.
constexpr int walk_start_margin = 4;
constexpr int walk_least_start_degree = 8;
// A quick walk first sets the scale (the sum of |terms|): its threshold
// follows the largest |term| met, times this fraction.
constexpr long double quick_walk_rise = 1e-2L;
// The walks then cut subtrees below tol times this fraction of the scale:
// far below tol, so that the cut bounds stay well below the tail they leave.
constexpr long double walk_cut_share = 1e-10L;
// When the cut bounds add up to more than tol / walk_cut_allowance of the
// sum, the walk is redone with its threshold times walk_cut_reduction, at
// most walk_cut_retries times (the terms that matter then lie close to the
// threshold, and each retry costs about a walk more).
constexpr double walk_cut_allowance = 200;
constexpr long double walk_cut_reduction = 1e-3L;
constexpr int walk_cut_retries = 2;
// The cut bounds are sums of products of a few roundings each: this
// relative margin covers their own rounding many times over.
constexpr long double walk_cut_rounding = 1e-9L;
// Terms a quick walk must visit before the walks share their blocks among
// threads: below, starting threads costs more than it saves.
constexpr long long walk_terms_worth_threads = 100000;
// A walk that is too short is redone this fraction of its degree higher
// (walk_growth_two_rows for n = 2), by at least walk_least_growth degrees:
// partitions grow like degree^n, so the shorter walks cost at most about
// the last one.
constexpr int walk_growth_divisor = 4;               // 25%
constexpr int walk_growth_divisor_two_rows = 2;      // 50%
constexpr int walk_least_growth = 4;
// Blocks of first rows a walk is split into (the unit of work a thread
// takes, merged in block order): enough to balance 64 threads...
constexpr long long walk_most_blocks = 256;
// ...but fewer when their per-degree arrays would pass this many bytes.
constexpr long long walk_block_bytes = 16LL << 20;

enum class series_state { converged, not_converged, refused, interrupted, overflow };

struct series_outcome {
    series_state state = series_state::not_converged;
    long double sum = 0;
    long double tail = 0;              // estimated |truncated tail|; long double, like
    long double rounding = 0;          // the sums: bound on the rounding error of sum
                                       // (0 when every term and partial sum was exact)
    int degree = 0;
    long long partitions = 0;
    std::string route, message;
};

// Kahan's compensated sum: error at most (2u + O(N u^2)) sum |terms|, so
// the bound needs no factor of the number of terms.
struct compensated_sum {
    long double sum = 0, carry = 0;
    void add(long double v)
    {
        long double y = v - carry;
        long double t = sum + y;
        carry = (t - sum) - y;                           // what the addition lost
        sum = t;
    }
};

// Decides after each degree whether the tail is small enough (rule in
// matrix_pfq.h); records the estimate.
class tail_monitor {
public:
    tail_monitor(double tol, int termination_degree, double limit_ratio)
        : tol_(tol), termination_(termination_degree), rho_(limit_ratio) {}
    // abs_sums[k] = sum |terms| of degree k, k = 0..degree; true when the
    // tail estimate is at most tol |sum| / 2 (tail() is infinite until the
    // rule's decreases hold).
    bool done(const std::vector<long double> &abs_sums, int degree, long double sum);
    long double tail() const { return tail_; }
private:
    double tol_;
    int termination_;
    double rho_;
    long double tail_ = HUGE_VALL;     // no estimate before the first degree
};

// The one-variable series (x of size 1) summed by Boost.Math in 50, then
// 100, then 250 digits until its bound is at most wanted |sum|, the bound
// being Boost's estimate (sum of |terms| times its epsilon) times a margin
// for the roundings per term, plus the rounding to long double; the
// smallest bound found, or false when Boost cannot sum it at all.
bool sum_scalar_wide(const series_input &in, long double wanted, series_outcome &out);
// 0F1 and 1F1 of one variable by Boost.Math's functions, in 50 digits with
// the distance to the same in long double as its error bound (the rounding
// to long double included); false for other p, q or when Boost fails.
bool sum_scalar_special(const series_input &in, series_outcome &out);

// Series route for all eigenvalues equal to x (n of them), one argument.
series_outcome sum_equal(const series_input &in, const series_control &ctl);
// Series route with Jack tables (distinct eigenvalues, one or two arguments).
series_outcome sum_tables(const series_input &in, const series_control &ctl);
// 1F1 at alpha = 2 of one argument with 2 to 10 distinct eigenvalues, by
// integrating its Pfaffian system along t X (pfq_holonomic.cpp): whether it
// serves the input, and its value with the two integrations' difference as
// the error (rounding; tail 0).
bool holonomic_serves(const series_input &in);
series_outcome sum_holonomic(const series_input &in, const series_control &ctl);

// Number of partitions with at most n parts and size at most degree.
long double count_partitions(int n, int degree);

// Partitions the tables grow to when no max_degree is given: a few seconds
// to a minute of work on one core.
constexpr long double table_partition_budget = 4e6L;
// The largest degree the tables are laid out to: far beyond any table that
// fits memory with two or more eigenvalues.
constexpr int largest_table_degree = 65535;
// The automatic cap is at least this degree: a handful of partitions for any n.
constexpr int first_table_cap = 8;
// The largest degree whose partitions (at most n parts, size at most the
// degree) number at most table_partition_budget, or first_table_cap.
int automatic_table_cap(int n);
// Bytes the tables of sum_tables need up to this degree.
long double table_bytes(int n, int degree, bool two_arguments, bool mixed_signs);

// Routes and relations a test can force; automatic picks as documented.
enum class route_choice { automatic, scalar_or_equal, tables, holonomic };
enum class relation_choice { automatic, none, closed_form, kummer, pfaff_a, pfaff_b, euler };

// The work one call may do when no max_degree is given, shared by every
// route and relation it tries (units as in automatic_table_work and
// automatic_visit_budget). Tests shrink it to reach the limit quickly.
struct work_budget {
    long long table_work = automatic_table_work;
    long long visits = automatic_visit_budget;
};

// matrix_pfq with a forced route and relation (for tests; relation none
// sums the plain series even where a closed form exists).
pfq_result matrix_pfq_forced(const pfq_problem &problem, const pfq_options &options,
                             route_choice route, relation_choice relation,
                             const work_budget &budget = work_budget());

} // namespace pfq_detail
} // namespace matrixhyper

#endif // MATRIXHYPER_PFQ_SERIES_H
