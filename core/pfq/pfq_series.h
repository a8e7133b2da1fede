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

// The most threads a table fill or a walk at x I_n runs with.
constexpr int most_series_threads = 64;

// Partitions a table level needs before threads share it: such a level
// takes milliseconds, starting and joining a thread tens of microseconds.
constexpr long long table_level_worth_threads = 500;

// Work (4 units per strip enumerated, 1 per prefix product behind them)
// the tables of one call do at most when no max_degree is given (some 25 s
// on one core at worst): a request beyond it ends with an honest
// not-converged result rather than running for hours.
constexpr long long automatic_table_work = 1200000000LL;
// Terms the walks at x I_n visit at most when no max_degree is given (some
// 20 s of work on one core), and the degree they may grow to: their cut
// subtrees make the cost depend on the terms that matter, not the degree.
constexpr long long automatic_visit_budget = 1200000000LL;
constexpr int automatic_equal_cap = 100000;

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

// Series route for all eigenvalues equal to x (n of them), one argument.
series_outcome sum_equal(const series_input &in, const series_control &ctl);
// Series route with Jack tables (distinct eigenvalues, one or two arguments).
series_outcome sum_tables(const series_input &in, const series_control &ctl);

// Number of partitions with at most n parts and size at most degree.
long double count_partitions(int n, int degree);

// Partitions the tables grow to when no max_degree is given: a few seconds
// to a minute of work on one core.
constexpr long double table_partition_budget = 4e6L;
// The tables store parts as 16-bit numbers.
constexpr int largest_table_degree = 65535;
// The automatic cap is at least this degree: a handful of partitions for any n.
constexpr int first_table_cap = 8;
// The largest degree whose partitions (at most n parts, size at most the
// degree) number at most table_partition_budget, or first_table_cap.
int automatic_table_cap(int n);
// Bytes the tables of sum_tables need up to this degree.
long double table_bytes(int n, int degree, bool two_arguments, bool mixed_signs);

// Routes and relations a test can force; automatic picks as documented.
enum class route_choice { automatic, scalar_or_equal, tables };
enum class relation_choice { automatic, none, closed_form, kummer, pfaff_a, pfaff_b, euler };

// matrix_pfq with a forced route and relation (for tests; relation none
// sums the plain series even where a closed form exists).
pfq_result matrix_pfq_forced(const pfq_problem &problem, const pfq_options &options,
                             route_choice route, relation_choice relation);

} // namespace pfq_detail
} // namespace matrixhyper

#endif // MATRIXHYPER_PFQ_SERIES_H
