// partition_walk.cpp: the depth-first walk over partitions of sorn and the
// recurrence that turns the term of a partition into the term of the
// partition with one box more.
//
// The coefficient of kappa is alpha^|kappa| (a)_kappa / (b)_kappa divided by
// the product over the boxes of (alpha*arm + leg + 1), and for the
// two-argument series also by Q_kappa(1,...,1); each new box multiplies it by
// one quotient of p + q + O(j) factors. Partitions with n rows are not
// stored: their value is that of the partition with the n full columns
// removed times a running top_multiplier.
#include "partition_walk.h"

#include <cstring>

#include "box_factor.h"
#include "interrupt_countdown.h"

namespace matrixhyper {

void take_walk_state(sorn_walk_state *walk, int n, int max_part, workspace_cursor &cursor)
{
    size_t entries = (size_t)n + 1;
    walk->kappa = cursor.take<int>(entries);
    walk->shifted_parts = cursor.take<double>(entries);
    walk->level_coef = cursor.take<double>(entries);
    walk->level_pos = cursor.take<int>(entries);
    if (!cursor.lays_out())
        return;
    std::memset(walk->kappa, 0, entries * sizeof(int));
    walk->kappa[0] = max_part;
    std::memset(walk->shifted_parts, 0, entries * sizeof(double));
}

// What the quotient of two coefficients depends on besides the new box:
// the same for a whole walk.
struct quotient_shape {
    int n;
    int two_args;
    double alpha;
    const series_parameters *parameters;
};

// The coefficient of kappa divided by that of kappa without its new box in
// column m of row j. z[j] comes in as alpha*(m-1) - j and leaves as alpha*m - j.
static double coefficient_quotient(const quotient_shape &shape, int j, int m, double *z)
{
    const int n = shape.n;
    const int two_args = shape.two_args;
    const double alpha = shape.alpha;
    const series_parameters *parameters = shape.parameters;
    // c + u is the new box's factor of (c)_kappa
    double u = box_factor::shift_frozen_order(j, m, alpha);
    box_factor::quotient_parts<double> q{alpha, (j + z[j]) + 1}; // den: 1 + alpha*(m-1)
    q.num = box_factor::times_rising(q.num, parameters->a, parameters->p, u);
    q.den = box_factor::times_rising(q.den, parameters->b, parameters->q, u);
    if (two_args) { // divide by the growth of Q_kappa(1,...,1)
        q.num = q.num * (alpha * m);
        q.den = q.den * ((alpha * u) + n);
        for (int i = 1; i <= j - 1; ++i) {
            double d = z[i] - z[j];
            q.num = q.num * d;
            q.den = q.den * (d - 1);
        }
        q.num = q.num / q.den;
        q.den = 1;
    }
    z[j] = alpha + z[j];
    for (int i = 1; i <= j - 1; ++i)
        box_factor::times_lower_hook_change(z[i] - z[j], q);
    return q.num / q.den;
}

// Term of a partition with n rows (the walk's kappa, shifted parts z) whose
// new box is in column m of row n: updates top_multiplier so that
// top_multiplier * Q_L = Q_kappa, L being kappa with its m full columns
// removed, and adds the term.
static inline __attribute__((always_inline)) void add_top_row_term(const jack_tables *tables,
                                                                   const sorn_walk_state *walk,
                                                                   int m, double c,
                                                                   double *top_multiplier,
                                                                   double *degree_sum)
{
    const int *kappa = walk->kappa;
    const double *z = walk->shifted_parts;
    const int n = tables->n;
    const double alpha = tables->alpha;
    int L = lookup_position(tables, kappa, n - 1, m);
    if (!tables->two_args) {
        *top_multiplier = ((((1 / alpha) + m) - 1) * tables->prefix_x[n] / m) * *top_multiplier;
        for (int i = 1; i <= n - 1; ++i)
            *top_multiplier = ((z[i] + 1 - z[n]) / (alpha + z[i] - z[n])) * *top_multiplier;
        *degree_sum = (*top_multiplier * c) * jack_row(tables->jack_x, L, n)[n - 1] + *degree_sum;
    } else {
        double v = (((1 / alpha) + m) - 1) / m;
        for (int i = 1; i <= n - 1; ++i)
            v = ((z[i] + 1 - z[n]) / (alpha + z[i] - z[n])) * v;
        *top_multiplier = (v * v) * tables->prefix_x[n] * tables->prefix_y[n] * *top_multiplier;
        *degree_sum = ((*top_multiplier * c) * jack_row(tables->jack_x, L, n)[n - 1])
                      * jack_row(tables->jack_y, L, n)[n - 1] + *degree_sum;
    }
}

// Term of a stored partition (fewer than n rows) at position Q.
static inline __attribute__((always_inline)) void add_stored_term(const jack_tables *tables, int Q, double c, double *degree_sum)
{
    const int n = tables->n;
    if (!tables->two_args)
        *degree_sum = (c * jack_row(tables->jack_x, Q, n)[n - 1]) + *degree_sum;
    else
        *degree_sum = (c * jack_row(tables->jack_x, Q, n)[n - 1]) * jack_row(tables->jack_y, Q, n)[n - 1]
                      + *degree_sum;
}

// Partitions between two polls of the interrupt: a fraction of a
// millisecond when the rows are filled as the walk goes, even at the largest
// tables, and a negligible share of a pass that fills nothing.
const int partitions_per_poll = 1024;

// Marks the stored partition at position Q, of size `size`, as reached.
static void count_stored(stored_census *census, int Q, int size)
{
    census->reached[(unsigned)Q / 64] |= uint64_t(1) << ((unsigned)Q % 64);
    census->per_size[size] = census->per_size[size] + 1;
}

// One pass, compiled for each kind so that the one-thread walk is the same
// loop as before there were passes; `Observed` shows each visit to the
// run's observer (tests only: the walks of a call compile without it).
template <walk_pass Pass, bool Observed>
static bool walk_partitions(const walk_series &series, jack_tables *tables, sorn_walk_state *walk,
                            const walk_run &run)
{
    const int max_size = series.max_size;
    double *degree_sums = series.degree_sums;
    const int n = tables->n;
    const quotient_shape shape = {n, tables->two_args, series.alpha, series.parameters};
    const walk_observer *observer = run.observer;      // not null when Observed
    // Partitions with n rows are stored nowhere: placing stops above them.
    const int last_row = Pass == walk_pass::place_stored ? n - 1 : n;
    const bool prune = Pass != walk_pass::place_stored || run.prune;
    int *kappa = walk->kappa;
    double *z = walk->shifted_parts;
    double *level_coef = walk->level_coef;
    int *level_pos = walk->level_pos;
    for (int i = 1; i <= n; ++i) {
        level_coef[i] = 1;
        z[i] = -i;
        level_pos[i] = 1;
    }
    interrupt_countdown countdown(run.interrupt, partitions_per_poll);
    double top_multiplier = 1;
    int size = 0;
    int j = 1;
    while (j >= 1) {
        // Exact test: -0 counts as 0 and prunes, NaN does not.
        if (kappa[j] < kappa[j - 1] && size < max_size && (level_coef[j] != 0 || !prune)) {
            kappa[j] = kappa[j] + 1; // advance: one box at the end of row j
            int m = kappa[j];
            size = size + 1;
            int Q = 0;
            if (j < n)
                Q = assign_position(tables, j, kappa, level_pos, size);
            level_coef[j] = coefficient_quotient(shape, j, m, z) * level_coef[j];
            double c = level_coef[j];
            if (j < n) {
                if (Pass == walk_pass::fill_and_sum)
                    fill_jack_entries(tables, j, kappa, z, Q);
                top_multiplier = 1; // row n is empty again
                if (Pass != walk_pass::place_stored)
                    add_stored_term(tables, Q, c, &degree_sums[size]);
                else
                    count_stored(run.census, Q, size);
            } else {
                add_top_row_term(tables, walk, m, c, &top_multiplier, &degree_sums[size]);
            }
            if (Observed)
                observer->visit(observer->context, kappa, n, size, c);
            if (j < last_row) { // move down: the empty next row inherits coefficient and position
                level_coef[j + 1] = level_coef[j];
                j = j + 1;
                level_pos[j] = Q;
            }
            if (countdown.step())
                return false;
        } else {
            size = size - kappa[j]; // backtrack: empty row j, return to the row above
            kappa[j] = 0;
            z[j] = -j;               // reset exactly, not by repeated subtraction
            j = j - 1;
        }
    }
    return true;
}

bool partition_walk(const walk_series &series, jack_tables *tables, sorn_walk_state *walk,
                    const walk_run &run)
{
    switch (run.pass) {
    case walk_pass::place_stored:
        return walk_partitions<walk_pass::place_stored, false>(series, tables, walk, run);
    case walk_pass::sum_terms:
        return walk_partitions<walk_pass::sum_terms, false>(series, tables, walk, run);
    default:
        if (run.observer)
            return walk_partitions<walk_pass::fill_and_sum, true>(series, tables, walk, run);
        return walk_partitions<walk_pass::fill_and_sum, false>(series, tables, walk, run);
    }
}

} // namespace matrixhyper
