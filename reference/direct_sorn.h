// direct_sorn.h: a frozen copy of the direct transcription of the sorn
// Jack function tables and partition walk, kept as the bit-for-bit oracle
// for later reworkings of the plug-in's core. Test code only; do not
// optimise.
#ifndef REFERENCE_DIRECT_SORN_H
#define REFERENCE_DIRECT_SORN_H

#include <vector>

#include <cstdlib>

namespace direct_sorn {

// The tables of one call. Positions are rows: position 1 is the empty
// partition, the one-row partition (m) sits at m + 1, and partitions with two
// or more rows get the positions of blocks reserved as the walk first reaches
// them. Position 0 stands for "not stored": its index entry and its value row
// stay 0, so a lookup that meets a missing link ends there and reads zeros.
struct jack_tables {
    int n;               // number of variables (columns of the value rows)
    int max_size;        // largest partition size summed
    double alpha;        // Jack parameter
    int two_args;        // 1 when jack_y, powers_y and prefix_y exist
    int table_size;      // positions 1..table_size
    int next_free;       // first position not yet reserved

    int *index_table;    // table_size + 1: start of the block of children, or 0
    double *jack_x;      // (table_size + 1) rows of n: Q_lambda(x_1..x_i) at [P*n + i-1]
    double *jack_y;      // the same for y, or null
    double *powers_x;    // (max_size + 1) rows of n: x_i^k at [k*n + i-1]
    double *powers_y;
    double *prefix_x;    // n + 1: prefix_x[i] = x_1 * ... * x_i
    double *prefix_y;

    // Work arrays of fill_jack_entries, reused for every new partition.
    int *removable;      // n: removable[i] = kappa_i - kappa_(i+1)
    int *strip_rows;     // n + 1: rows with a removable box, ascending
    int *strip_lower;    // n + 1: the shortest length of each listed row
    int *sub_parts;      // n + 1: parts of the current strip partition mu
    double *strip_coef;  // n + 1: running strip coefficients per listed row
    double *sub_shifted; // n + 1: alpha * mu_i - i
};

// Largest table_size that keeps every position and next_free a signed 32-bit int.
const long long jack_tables_max_positions = 2147483646LL;

// Number of partitions of size at most max_size with at most max(1, n - 1)
// rows: the table positions needed. The count is exact while it stays at or
// below `limit`; once it is known to exceed `limit` the counting stops and a
// value above `limit` (a lower bound of the true count) is returned.
// `limit` is at most jack_tables_max_positions, which keeps the counting
// within 64 bits.
long long count_table_size(int max_size, long long n, long long limit);

// Allocates the tables (zero-filled index and value tables) and sets the
// starting values: the empty partition's row, the powers and the prefix
// products. y is null for the one-argument series.
void build_jack_tables(jack_tables *tables, int max_size, int n, double alpha,
                       const double *x, const double *y, int table_size);

// Allocates the zero-filled work arrays of fill_jack_entries.
void create_fill_work(jack_tables *tables);

// Releases everything that build_jack_tables and create_fill_work allocated.
void release_jack_tables(jack_tables *tables);

// Position of the partition that the walk just made by adding a box to row
// j < n; `size` is its size. Updates level_pos[j] and, when the box opens a
// new row, reserves the block of the parent's children.
int assign_position(jack_tables *tables, int j, const int *kappa, int *level_pos, int size);

// Position of the partition (parts[1] - columns, ..., parts[rows] - columns),
// the parts that fall to 0 or below dropped; columns = 0 gives the partition
// itself. Reads one index entry per row. A partition that was never stored
// gives 0, whose values are all 0.
int lookup_position(const jack_tables *tables, const int *parts, int rows, int columns);

// Writes the values with j..n variables of the new partition kappa with
// exactly j rows (1 <= j <= n - 1) at position Q, from the values of the
// partitions it contains; shifted_parts[i] = alpha * kappa_i - i.
void fill_jack_entries(jack_tables *tables, int j, const int *kappa,
                       const double *shifted_parts, int Q);

// Row P of a value table (n entries, variable i at index i - 1).
inline double *jack_row(double *table, int P, int n)
{
    return table + (size_t)P * (size_t)n;
}

// State of the walk, indexed by row 1..n.
struct walk_arrays {
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

// Allocates the walk state for n variables; kappa is zero-filled and gets
// max_part in entry 0.
void create_walk_arrays(walk_arrays *walk, int n, int max_part);
void release_walk_arrays(walk_arrays *walk);

// Visits every partition with at most n rows, first part at most kappa[0] and
// size 1..max_size, except those cut off behind a zero coefficient, and adds
// the term of each into degree_sums[size]. The tables (n variables; jack_y
// present for the two-argument series) are filled as the walk goes; their
// fill work arrays must exist. degree_sums[0] is left as it is.
void partition_walk(int max_size, double alpha, const series_parameters *parameters,
                    jack_tables *tables, walk_arrays *walk, double *degree_sums);

// The degree sums of a whole call as the gateway forms them (max_size + 1
// entries), followed by their total added in increasing order of degree;
// an empty y gives the one-argument series.
std::vector<double> series_outputs(int max_size, int max_part, double alpha,
                                   const std::vector<double> &a, const std::vector<double> &b,
                                   const std::vector<double> &x, const std::vector<double> &y);

} // namespace direct_sorn

#endif // REFERENCE_DIRECT_SORN_H
