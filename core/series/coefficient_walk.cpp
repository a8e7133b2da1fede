// coefficient_walk.cpp: depth-first walk over partitions that builds the
// coefficient of each power of x in pFq(a; b; x I_n).
#include "coefficient_walk.h"

#include "box_factor.h"
#include "interrupt_countdown.h"

namespace matrixhyper {

int walk_rows(int max_size, int n)
{
    long long size_bound = (long long)max_size + 1; // max_size may be INT_MAX
    return n < size_bound ? n : (int)size_bound;
}

// Quotient T(kappa) / T(kappa without its new box) for the box just added at
// the end of row j, in column m; moves shifted_parts[j] past the box.
// c + u is the box's factor of the generalised Pochhammer symbol (c)_kappa,
// (n + t) + 1 its factor of J_kappa(I_n), m ((j + t) + 1) the change of the
// hook product within row j, and d = alpha (kappa_i - m) + (j - i) gives the
// change of the hook product in each earlier row i.
//
// u = m - 1 - (j - 1)/alpha is computed from m and j directly: in row 1 it
// is then exactly m - 1, so a numerator parameter -k meets an exact 0 at
// m = k + 1 and the series ends where the mathematics ends it. Derived from
// t, which drifts by repeated addition of alpha, it would miss 0 by a
// rounding error whenever alpha is not exact in steps.
static double box_quotient(const coefficient_walk_series &series, double *shifted_parts,
                           int j, int m)
{
    const double alpha = series.alpha;
    double t = shifted_parts[j];                    // alpha (m - 1) - j
    double u = box_factor::shift_frozen_order(j, m, alpha);
    box_factor::quotient_parts<double> q;
    q.num = box_factor::times_rising(((double)series.n + t) + 1.0, series.a, series.p, u);
    q.den = box_factor::times_rising((double)m * (((double)j + t) + 1.0), series.b, series.q, u);
    double t_new = t + alpha;                       // accumulated, not alpha m - j
    shifted_parts[j] = t_new;
    for (int i = 1; i < j; i++)                     // d never 0: kappa_i >= m and i < j
        box_factor::times_hook_change(shifted_parts[i] - t_new, alpha, q);
    return q.num / q.den;
}

// Level j is the row that receives the next box. Levels stop at work.rows
// rather than n: the two differ only when rows = max_size + 1 < n, and at
// that level rows 1..max_size all hold a box, so the size is exhausted and
// the walk only backtracks there. n itself enters the arithmetic.
// A term exactly 0 ends its branch, since every partition reached from it
// carries the factor 0; an infinite or NaN term is passed on.
// Partitions between two polls of the interrupt: a few microseconds of
// work even at 1 ns a partition, well under a millisecond at 20 ns.
const int partitions_per_poll = 4096;

bool coefficient_walk(const coefficient_walk_series &series, double *degree_sums,
                      const coefficient_walk_work &work, const interrupt_check *interrupt)
{
    int *kappa = work.kappa;
    double *level_coef = work.level_coef;
    double *shifted_parts = work.shifted_parts;
    int rows = work.rows;
    if (rows < 1) return true;                      // n = 0: the empty partition only
    interrupt_countdown countdown(interrupt, partitions_per_poll);
    kappa[0] = series.max_part;                     // row 1 is bounded like a later row
    for (int i = 1; i <= rows; i++) shifted_parts[i] = -(double)i;
    level_coef[1] = 1.0;                            // term of the empty partition
    int size = 0;
    int j = 1;
    while (j > 0) {
        if (size < series.max_size && kappa[j] < kappa[j - 1] && level_coef[j] != 0.0) {
            int m = ++kappa[j];                     // advance: new box (j, m)
            double c = box_quotient(series, shifted_parts, j, m) * level_coef[j];
            level_coef[j] = c;
            if (j < rows) level_coef[++j] = c;      // hand the term to the empty next row
            size++;
            degree_sums[size] += c;
            if (countdown.step())
                return false;
        } else {
            size -= kappa[j];                       // backtrack: empty row j
            kappa[j] = 0;
            shifted_parts[j] = -(double)j;          // exact reset: no drift survives
            j--;                                    // resume the row above
        }
    }
    return true;
}

} // namespace matrixhyper
