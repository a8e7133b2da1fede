// jack_tables.h: stored values of the Jack functions Q_lambda(x_1..x_i) that
// the partition walk of the one- and two-argument series needs, one table
// row per partition. The tables come in double (sorn, brint, matrix_pfq)
// and in long double (matrix_pfq where double's roundings are too coarse
// for the cancellation among its terms); both are filled by the same code.
#ifndef MATRIXHYPER_JACK_TABLES_H
#define MATRIXHYPER_JACK_TABLES_H

#include <cstddef>

#include "workspace.h"

namespace matrixhyper {

// One listed row of the partition being filled (a row of kappa that ends in
// a removable box): a digit of the odometer that counts the horizontal
// strips kappa/mu, from the row's length in kappa down to its lower bound.
template <class Real> struct basic_strip_level {
    int row;         // r
    int full;        // kappa_r
    int lower;       // its shortest length in a strip, kappa_(r+1)
    int length;      // its length in the current strip partition mu
    int known;       // rows 1..known above r whose kept products hold for it
    int first_kept;  // its entries of partial_a and partial_b: first box,
    int next_kept;   // and the next box it loses
    Real coef;       // its running strip coefficient
};
using strip_level = basic_strip_level<double>;

// Sees every horizontal strip kappa/mu, mu != kappa, that a fill
// enumerates, in its order: mu in entries 1..rows, `removed` boxes. It lets
// the tests check the enumeration through the production code; calls leave
// it null, and the fill then runs loops compiled without it (one test of the
// pointer per partition). A fill shared by threads must not have one.
struct strip_observer {
    void (*strip)(void *context, const int *mu, int rows, int removed);
    void *context;
};

// What decides the size of the tables of a call.
struct jack_table_shape {
    int max_size;   // largest partition size summed
    int n;          // number of variables, at least 1
    int table_size; // positions 1..table_size, from count_table_size
    bool two_args;  // tables for y as well
};

// The tables of one call, laid out in the caller's workspace. Positions are
// rows: position 1 is the empty partition, the one-row partition (m) sits at
// m + 1, and partitions with two or more rows get the positions of blocks
// reserved as the walk first reaches them. Position 0 stands for "not
// stored": its index entry and its value row stay 0, so a lookup that meets
// a missing link ends there and reads zeros.
template <class Real> struct basic_jack_tables {
    int n;               // number of variables (columns of the value rows)
    int max_size;        // largest partition size summed
    Real alpha;          // Jack parameter
    int two_args;        // 1 when jack_y, powers_y and prefix_y exist
    int table_size;      // positions 1..table_size
    int next_free;       // first position not yet reserved

    int *index_table;    // table_size + 1: start of the block of children, or 0
    Real *jack_x;        // (table_size + 1) rows of n: Q_lambda(x_1..x_i) at [P*n + i-1]
    Real *jack_y;        // the same for y, or null
    Real *powers_x;      // (max_size + 1) rows of n: x_i^k at [k*n + i-1]
    Real *powers_y;
    Real *prefix_x;      // n + 1: prefix_x[i] = x_1 * ... * x_i
    Real *prefix_y;

    // Work arrays of fill_jack_entries, reused for every new partition.
    // The rows of kappa with a removable box are listed; the strips kappa/mu
    // are counted like an odometer over the listed rows (k = 1..h).
    int *removable;      // n: removable[i] = kappa_i - kappa_(i+1)
    int *sub_parts;      // n + 1: parts of the current strip partition mu
    Real *sub_shifted;   // n + 1: alpha * mu_i - i
    int *sub_position;   // n + 1: position of (mu_1..mu_s) in entry s; entry 0 is 1
    basic_strip_level<Real> *levels; // min(n - 1, max_size) + 1: the listed rows, k = 1..h, the last row j
    // A and B of a strip factor after the rows i = 1..r - 1 above the row r
    // that loses a box, kept for every listed row and box removed from it:
    // the rows above a turning row change rarely, so a product is resumed
    // from the value kept for the unchanged rows. Entry next_kept + i - 1 of
    // the row's level.
    Real *partial_a;     // partial_entries
    Real *partial_b;     // partial_entries
    int partial_entries; // (max_size + 1) * (n - 2), none for n <= 2
    const strip_observer *observer; // null (build_jack_tables) but in tests
};
using jack_tables = basic_jack_tables<double>;
using wide_jack_tables = basic_jack_tables<long double>;

// Largest table_size that keeps every position and next_free a signed 32-bit int.
const long long jack_tables_max_positions = 2147483646LL;

// Number of partitions of size at most max_size with at most max(1, n - 1)
// rows: the table positions needed. The count is exact while it stays at or
// below `limit`; once it is known to exceed `limit` the counting stops and a
// value above `limit` (a lower bound of the true count) is returned.
// `limit` is at most jack_tables_max_positions, which keeps the counting
// within 64 bits.
long long count_table_size(int max_size, long long n, long long limit);

// The same count for partitions whose first part is at most max_part (a
// walk with kappa[0] = max_part reserves exactly these positions): exact
// while at or below `limit`, a value above `limit` beyond it.
long long count_table_size_within(int max_size, long long n, int max_part, long long limit);

// Bytes of the largest single array of the tables and the degree sums,
// exact in long double (below 2^67): what a host's size type must describe.
long double largest_table_array_bytes(int max_size, long long n, long long table_size);

// Lays the tables out with `cursor` (which only counts when it has no
// block). With a block, zero-fills the index and value tables, and sets the
// starting values: the empty partition's row, the powers and the prefix
// products. y is null for the one-argument series.
void build_jack_tables(jack_tables *tables, const jack_table_shape &shape, double alpha,
                       const double *x, const double *y, workspace_cursor &cursor);
void build_jack_tables(wide_jack_tables *tables, const jack_table_shape &shape,
                       long double alpha, const long double *x, const long double *y,
                       workspace_cursor &cursor);

// Lays out with `cursor` only the work arrays of fill_jack_entries
// (removable..partial_b), zero-filled when the cursor lays out a block: one
// set for each thread that fills rows.
void take_fill_work(jack_tables *tables, const jack_table_shape &shape, workspace_cursor &cursor);
void take_fill_work(wide_jack_tables *tables, const jack_table_shape &shape,
                    workspace_cursor &cursor);

// Sets the counts `removable` of rows 1..j - 1 as a walk that just added the
// last box of row j of kappa leaves them for fill_jack_entries, which keeps
// them up to date incrementally: for a fill that follows no walk.
void restart_removable(jack_tables *tables, int j, const int *kappa);
void restart_removable(wide_jack_tables *tables, int j, const int *kappa);

// Position of the partition that the walk just made by adding a box to row
// j < n; `size` is its size. Updates level_pos[j] and, when the box opens a
// new row, reserves the block of the parent's children.
int assign_position(jack_tables *tables, int j, const int *kappa, int *level_pos, int size);

// Position of the partition (parts[1] - columns, ..., parts[rows] - columns),
// the parts that fall to 0 or below dropped; columns = 0 gives the partition
// itself. Reads one index entry per row. A partition that was never stored
// gives 0, whose values are all 0.
int lookup_position(const jack_tables *tables, const int *parts, int rows, int columns);
int lookup_position(const wide_jack_tables *tables, const int *parts, int rows, int columns);

// Writes the values with j..n variables of the new partition kappa with
// exactly j rows (1 <= j <= n - 1) at position `position`, from the values of
// the partitions it contains; shifted_parts[i] = alpha * kappa_i - i.
void fill_jack_entries(jack_tables *tables, int j, const int *kappa,
                       const double *shifted_parts, int position);
void fill_jack_entries(wide_jack_tables *tables, int j, const int *kappa,
                       const long double *shifted_parts, int position);

// Row P of a value table (n entries, variable i at index i - 1).
template <class Real> inline Real *jack_row(Real *table, int P, int n)
{
    return table + (size_t)P * (size_t)n;
}

} // namespace matrixhyper

#endif // MATRIXHYPER_JACK_TABLES_H
