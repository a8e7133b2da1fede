// partition_walk.h: the depth-first walk over partitions that sums the terms
// of the hypergeometric series of one or two matrix arguments, by degree.
#ifndef MATRIXHYPER_PARTITION_WALK_H
#define MATRIXHYPER_PARTITION_WALK_H

#include <cstdint>

#include "jack_tables.h"
#include "matrixhyper/interrupt.h"

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

// What a pass of the walk does at each partition it reaches.
enum class walk_pass {
    fill_and_sum, // fills each stored row as it is reached and adds every term
    place_stored, // only reserves the positions of the stored partitions and counts them
    sum_terms,    // adds every term; the rows are filled and the positions reserved
};

// The stored partitions that a place_stored pass reached.
struct stored_census {
    uint64_t *reached; // bit P of word P / 64: the partition at position P was reached
    int *per_size;     // max_size + 1: stored partitions reached, by size
};

// Sees every partition a fill_and_sum pass visits, after its term was
// added: kappa in entries 1..n, its size and its coefficient. It lets the
// tests check the order of the walk through the production code; calls
// leave it null, and the walk then runs a loop compiled without it.
struct walk_observer {
    void (*visit)(void *context, const int *kappa, int n, int size, double coefficient);
    void *context;
};

// How one pass runs. A sum_terms pass reserves the positions again, in the
// same order, so it must start where place_stored started: next_free at
// max_size + 2, as build_jack_tables leaves it.
struct walk_run {
    walk_pass pass = walk_pass::fill_and_sum;
    stored_census *census = nullptr;            // for place_stored, zero-filled
    const interrupt_check *interrupt = nullptr; // null: never
    const walk_observer *observer = nullptr;    // null: none
    // A place_stored pass that does not prune reaches every partition, a
    // zero coefficient notwithstanding: for tables whose values a caller
    // weighs with coefficients of its own (which the walk's double
    // coefficients, rounded or underflowed to 0, must not cut short).
    bool prune = true;
};

// The series a walk sums and where its sums go.
struct walk_series {
    int max_size;                         // largest partition size summed
    double alpha;                         // Jack parameter
    const series_parameters *parameters;
    double *degree_sums;                  // max_size + 1: the sum of the terms of each size
};

// Lays the walk state for n variables out with `cursor` (which only counts
// when it has no block); with a block, kappa is zero-filled and gets
// max_part in entry 0.
void take_walk_state(sorn_walk_state *walk, int n, int max_part, workspace_cursor &cursor);

// Visits every partition with at most n rows, first part at most kappa[0] and
// size 1..series.max_size, except those cut off behind a zero coefficient,
// and adds the term of each into series.degree_sums[size]. The tables (n variables; jack_y
// present for the two-argument series) are filled as the walk goes; their
// fill work arrays must exist. degree_sums[0] is left as it is. `run`
// chooses the pass; its interrupt is polled every thousand partitions, and
// when it asks to stop the walk returns false at once, leaving the walk
// state part-way.
bool partition_walk(const walk_series &series, jack_tables *tables, sorn_walk_state *walk,
                    const walk_run &run = walk_run());

} // namespace matrixhyper

#endif // MATRIXHYPER_PARTITION_WALK_H
