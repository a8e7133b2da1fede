// pfq_equal_walk.h: the walk over partitions for the series at x I_n (all
// eigenvalues equal), with subtrees of negligible terms cut off under a
// bound, on several threads (internal).
//
// Every term is its parent's times the quotient of the added box (r, c):
//   box(r, c) * prod_{i < r} hook(r - i, kappa_i - c),
// box holding x, the Pochhammer factors and the factor of C_kappa(I_n), and
// hook the change of the hook products by row i, which lies in (0, 1). A
// subtree (the partitions that extend a node by more boxes in its row and
// by rows below) therefore sums to at most |term| times the sums of the
// products of |box| along each row, dropping the hook factors: tables of
// those prefix sums make the bound a few multiplications. A subtree whose
// bound is below the threshold is cut and its bound kept, so the error it
// adds is known.
//
// The partitions are split into blocks of first rows, each summed on its
// own and merged in block order: the sums are the same bit for bit for any
// number of threads.
#ifndef MATRIXHYPER_PFQ_EQUAL_WALK_H
#define MATRIXHYPER_PFQ_EQUAL_WALK_H

#include <vector>

#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

// Terms after which the walk's plain sums join its compensated ones; a
// plain sum then holds at most gathered_terms + max_size + 1 terms.
constexpr long long gathered_terms = 1024;

// Degree sums of one walk to degree `max_size`.
struct equal_walk_sums {
    std::vector<long double> sums;      // compensated sum of the terms of each degree
    std::vector<long double> abs_sums;  // sum of |terms| of each degree
    std::vector<long double> cut;       // bounds of the cut subtrees, by the degree of their root
    long long visited = 0;              // terms summed
    int blocks = 0;                     // block sums merged per degree
    bool interrupted = false;
    bool exhausted = false;             // more than the visit limit: the sums are not to be used
};

// How one walk runs.
struct equal_walk_settings {
    int max_size = 0;                   // the degree it sums to
    int rows = 0;                       // rows a partition may fill, those of partitions
                                        // with more having the term 0 (0: all n)
    long double threshold = 0;          // cut subtrees whose bound is below it (0: no cut)
    long double rising = 0;             // > 0: a quick estimate instead: one thread, the
                                        // threshold raised to `rising` times the largest
                                        // |term| met so far
    int threads = 1;                    // the calling one included; it alone polls
    long long visit_limit = 0;          // more terms: stop early, exhausted (0: no limit)
};

// Sums every term to degree settings.max_size, cutting the subtrees under
// the threshold; ctl.interrupt is polled.
equal_walk_sums equal_walk(const series_input &in, const equal_walk_settings &settings,
                           const series_control &ctl);

} // namespace pfq_detail
} // namespace matrixhyper

#endif // MATRIXHYPER_PFQ_EQUAL_WALK_H
