// level_fill.h: filling the stored rows of the Jack function tables with
// several threads, one partition size after the other.
//
// A row of size k is computed from rows of smaller sizes only, so the rows of
// one size can be filled in any order and at once; each row is computed by
// exactly the operations of the one-thread walk, so the values are the same
// bit for bit. The positions and the set of stored partitions come from a
// place_stored pass of the walk beforehand.
#ifndef MATRIXHYPER_LEVEL_FILL_H
#define MATRIXHYPER_LEVEL_FILL_H

#include "jack_tables.h"
#include "matrixhyper/interrupt.h"
#include "partition_walk.h"

namespace matrixhyper {

// What one thread of the fill works with: the shared tables with fill work
// arrays of its own, and the state of its walk over the stored partitions.
template <class Real> struct basic_level_fill_thread {
    basic_jack_tables<Real> tables; // shares every table; removable..partial_b are its own
    int *kappa;            // n + 1; entry 0 bounds row 1
    Real *shifted_parts;   // n + 1: alpha * kappa_i - i, summed as the walk sums them
    int *position;         // n + 1: position of kappa cut to rows 1..i; entry 0 is 1
};
using level_fill_thread = basic_level_fill_thread<double>;
using wide_level_fill_thread = basic_level_fill_thread<long double>;

// Lays out with `cursor` the arrays of `count` threads (which only counts
// when it has no block); thread 0 uses the fill work arrays of `tables`
// itself.
void take_level_fill_threads(level_fill_thread *threads, int count, const jack_tables &tables,
                             const jack_table_shape &shape, workspace_cursor &cursor);
void take_level_fill_threads(wide_level_fill_thread *threads, int count,
                             const wide_jack_tables &tables, const jack_table_shape &shape,
                             workspace_cursor &cursor);

// One fill of all stored rows.
template <class Real> struct basic_level_fill_job {
    const stored_census *census;       // from the place_stored pass
    int max_part;                      // bound on row 1
    basic_level_fill_thread<Real> *threads; // `count` laid-out threads, at most level_fill_max_threads
    int count;
    const interrupt_check *interrupt;  // polled by the calling thread only; null: never
    int first_size = 1;                // the sizes filled: first_size..last_size, those
    int last_size = -1;                // below already filled; -1: up to the tables' max_size
};
using level_fill_job = basic_level_fill_job<double>;
using wide_level_fill_job = basic_level_fill_job<long double>;

// Most threads a fill starts.
const int level_fill_max_threads = 64;

// Fills the stored rows of the job's sizes of `job.threads[0].tables` with count - 1 started
// threads and the calling thread; returns false when the interrupt asked to
// stop (the rows then part-filled). Every started thread is joined before
// it returns.
bool fill_by_levels(const level_fill_job &job);
bool fill_by_levels(const wide_level_fill_job &job);

} // namespace matrixhyper

#endif // MATRIXHYPER_LEVEL_FILL_H
