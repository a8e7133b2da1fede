// coefficient_walk.h: per-degree coefficients of pFq(a; b; x I_n) with Jack
// parameter alpha, by a depth-first walk over partitions.
#ifndef MATRIXHYPER_COEFFICIENT_WALK_H
#define MATRIXHYPER_COEFFICIENT_WALK_H

#include <cstddef>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

// Work arrays of the walk, each of rows + 1 entries, indexed by row from 1.
// kappa must be zero-filled; level_coef and shifted_parts need no initial
// values.
struct coefficient_walk_work {
    int rows;              // rows the walk may touch: walk_rows(max_size, n)
    int *kappa;            // parts of the current partition; entry 0 is the bound on row 1
    double *level_coef;    // per level, the term of the current partition
    double *shifted_parts; // per row i, alpha * kappa_i - i, reset exactly when emptied
};

// The series parameters of the walk.
struct coefficient_walk_series {
    int max_size;
    int max_part;
    double alpha;
    const double *a; // p values, read only
    size_t p;
    const double *b; // q values, read only
    size_t q;
    int n;           // number of variables
};

// Row count the walk needs for partitions of size at most max_size in n
// variables: min(n, max_size + 1), computed without overflow (max_size >= 0,
// n >= 0). A partition of size at most max_size has at most max_size rows,
// and the walk looks one row further, where it finds the size exhausted.
int walk_rows(int max_size, int n);

// Adds into degree_sums[1..max_size] the terms T(kappa) of all partitions
// kappa with at most n parts, first part at most max_part and size at most
// max_size, visited depth first in increasing lexicographic order; a branch
// ends at a term that is exactly 0. degree_sums[0] is left alone (the caller
// sets it to 1). On return kappa[1..rows] are 0 again. With n = 0 only the
// empty partition exists and nothing is added. `interrupt` (null: never) is
// polled every few thousand partitions; when it asks to stop the walk
// returns false at once, degree_sums and kappa left part-way.
bool coefficient_walk(const coefficient_walk_series &series, double *degree_sums,
                      const coefficient_walk_work &work,
                      const interrupt_check *interrupt = nullptr);

} // namespace matrixhyper

#endif // MATRIXHYPER_COEFFICIENT_WALK_H
