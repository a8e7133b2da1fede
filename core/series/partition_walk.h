// partition_walk.h: the depth-first walk over partitions that sums the terms
// of the hypergeometric series of one or two matrix arguments, by degree.
#ifndef MATRIXHYPER_PARTITION_WALK_H
#define MATRIXHYPER_PARTITION_WALK_H

#include "jack_tables.h"

namespace matrixhyper {

// State of the walk, indexed by row 1..n.
struct sorn_walk_state {
    int *kappa;            // n + 1 parts; kappa[0] = max_part bounds row 1
    double *shifted_parts; // n + 1: alpha * kappa_i - i
    double *level_coef;    // n + 1: coefficient of the partition at each level
    int *level_pos;        // n + 1: table position of the partition cut to rows 1..j
};

// The numerator and denominator parameters of the series.
struct series_parameters {
    const double *a; // p values
    size_t p;
    const double *b; // q values
    size_t q;
};

// Lays the walk state for n variables out with `cursor` (which only counts
// when it has no block); with a block, kappa is zero-filled and gets
// max_part in entry 0.
void take_walk_state(sorn_walk_state *walk, int n, int max_part, workspace_cursor &cursor);

// Visits every partition with at most n rows, first part at most kappa[0] and
// size 1..max_size, except those cut off behind a zero coefficient, and adds
// the term of each into degree_sums[size]. The tables (n variables; jack_y
// present for the two-argument series) are filled as the walk goes; their
// fill work arrays must exist. degree_sums[0] is left as it is.
void partition_walk(int max_size, double alpha, const series_parameters *parameters,
                    jack_tables *tables, sorn_walk_state *walk, double *degree_sums);

} // namespace matrixhyper

#endif // MATRIXHYPER_PARTITION_WALK_H
