/* plain_c_sorn.c: the Jack function tables and the partition walk of the
 * series of one or two matrix arguments, as a C programmer would first write
 * them: plain arrays from calloc, one loop for the walk, every strip of a
 * fill looked up and its factor computed afresh. The floating-point
 * operations are those of the plug-in, in the same order, so the degree sums
 * agree bit for bit; only the bookkeeping around them differs. */
#include "plain_c_sorn.h"

#include <limits.h>
#include <stdlib.h>

typedef struct {
    int n, max_size, two_args, next_free;
    double alpha;
    int *index_table;   /* table_size + 1: first child position, or 0 */
    double *jack_x;     /* (table_size + 1) rows of n: Q_lambda(x_1..x_i) */
    double *jack_y;
    double *powers_x;   /* (max_size + 1) rows of n: x_i^k */
    double *powers_y;
    double *prefix_x;   /* n + 1: x_1 * ... * x_i */
    double *prefix_y;
    int *removable;     /* n: kappa_i - kappa_(i+1) */
    int *strip_rows;    /* n + 1: rows with a removable box */
    int *strip_lower;   /* n + 1: shortest length of each listed row */
    int *sub_parts;     /* n + 1: the strip partition mu */
    double *strip_coef; /* n + 1: running strip coefficient per listed row */
    double *sub_shifted;/* n + 1: alpha * mu_i - i */
} tables_t;

/* Partitions of size at most max_size with at most max(1, n - 1) rows, or
 * -1 beyond the 32-bit positions. */
static long long table_size_of(int max_size, int n)
{
    long long *f, size;
    int i, k;
    if (n <= 2)
        return (long long)max_size + 1;
    f = (long long *)calloc((size_t)max_size + 2, sizeof(long long));
    if (!f)
        return -1;
    for (k = 1; k <= max_size + 1; ++k)
        f[k] = k;
    for (i = 2; i <= n - 1 && i <= max_size; ++i)
        for (k = i + 1; k <= max_size + 1; ++k) {
            f[k] = f[k] + f[k - i];
            if (f[k] > INT_MAX - 1) {
                free(f);
                return -1;
            }
        }
    size = f[max_size + 1];
    free(f);
    return size;
}

static void build_powers(double *powers, double *prefix, const double *v, int n, int max_size)
{
    int i, k;
    prefix[1] = v[0];
    for (i = 2; i <= n; ++i)
        prefix[i] = prefix[i - 1] * v[i - 1];
    for (i = 1; i <= n; ++i) {
        powers[i - 1] = 1;
        for (k = 1; k <= max_size; ++k)
            powers[(size_t)k * n + (i - 1)] = powers[(size_t)(k - 1) * n + (i - 1)] * v[i - 1];
    }
}

static void release_tables(tables_t *t)
{
    free(t->index_table); free(t->jack_x); free(t->jack_y);
    free(t->powers_x); free(t->powers_y); free(t->prefix_x); free(t->prefix_y);
    free(t->removable); free(t->strip_rows); free(t->strip_lower);
    free(t->sub_parts); free(t->strip_coef); free(t->sub_shifted);
}

/* Allocates and starts the tables; 0, or -1 when memory is short. */
static int build_tables(tables_t *t, int max_size, int n, double alpha, const double *x,
                        const double *y, long long table_size)
{
    size_t rows = (size_t)table_size + 1, degrees = (size_t)max_size + 1, m = (size_t)n;
    int i;
    t->n = n;
    t->max_size = max_size;
    t->two_args = y != NULL;
    t->next_free = max_size + 2;
    t->alpha = alpha;
    t->index_table = (int *)calloc(rows, sizeof(int));
    t->jack_x = (double *)calloc(rows * m, sizeof(double));
    t->powers_x = (double *)malloc(degrees * m * sizeof(double));
    t->prefix_x = (double *)malloc((m + 1) * sizeof(double));
    t->jack_y = y ? (double *)calloc(rows * m, sizeof(double)) : NULL;
    t->powers_y = y ? (double *)malloc(degrees * m * sizeof(double)) : NULL;
    t->prefix_y = y ? (double *)malloc((m + 1) * sizeof(double)) : NULL;
    t->removable = (int *)calloc(m, sizeof(int));
    t->strip_rows = (int *)calloc(m + 1, sizeof(int));
    t->strip_lower = (int *)calloc(m + 1, sizeof(int));
    t->sub_parts = (int *)calloc(m + 1, sizeof(int));
    t->strip_coef = (double *)calloc(m + 1, sizeof(double));
    t->sub_shifted = (double *)calloc(m + 1, sizeof(double));
    if (!t->index_table || !t->jack_x || !t->powers_x || !t->prefix_x || !t->removable ||
        !t->strip_rows || !t->strip_lower || !t->sub_parts || !t->strip_coef ||
        !t->sub_shifted || (y && (!t->jack_y || !t->powers_y || !t->prefix_y)))
        return -1;
    build_powers(t->powers_x, t->prefix_x, x, n, max_size);
    for (i = 0; i < n; ++i)
        t->jack_x[m + i] = 1; /* the empty partition, position 1 */
    if (y) {
        build_powers(t->powers_y, t->prefix_y, y, n, max_size);
        for (i = 0; i < n; ++i)
            t->jack_y[m + i] = 1;
    }
    return 0;
}

static int assign_position(tables_t *t, int j, const int *kappa, int *level_pos, int size)
{
    if (j >= 2 && kappa[j] == 1) { /* a new row: reserve the parent's block of children */
        int room = t->max_size - size + 1;
        int length = kappa[j - 1] < room ? kappa[j - 1] : room;
        t->index_table[level_pos[j]] = t->next_free;
        level_pos[j] = t->next_free;
        t->next_free = t->next_free + length;
    } else {
        level_pos[j] = level_pos[j] + 1;
    }
    return level_pos[j];
}

/* Position of (parts_1 - columns, ..., parts_rows - columns), parts that
 * fall to 0 dropped; 0 for a partition never stored. */
static inline int lookup_position(const tables_t *t, const int *parts, int rows, int columns)
{
    int position, s;
    if (rows == 0 || parts[1] <= columns)
        return 1;
    position = parts[1] - columns + 1;
    for (s = 2; s <= rows && parts[s] > columns; ++s) {
        int block = t->index_table[position];
        position = block != 0 ? block + (parts[s] - columns) - 1 : 0;
    }
    return position;
}

static inline double strip_factor(int r, const double *z, const double *zn, double alpha)
{
    double d = z[r] - zn[r];
    double A = d + 1;
    double B = alpha + d;
    int i;
    for (i = 1; i <= r - 1; ++i) {
        A = A * ((z[i] - zn[r] + 1) * ((alpha - 1) + (zn[i] - zn[r])));
        B = B * ((alpha + (z[i] - zn[r])) * (zn[i] - zn[r]));
    }
    return A / B;
}

static inline void add_strip(double *table, const double *powers, int n, int j, int Q, int P,
                      double coef, int removed)
{
    double *target = table + (size_t)Q * n;
    const double *source = table + (size_t)P * n;
    const double *power = powers + (size_t)removed * n;
    int i;
    for (i = j + 1; i <= n; ++i)
        target[i - 1] = (coef * source[i - 2]) * power[i - 1] + target[i - 1];
}

/* Values with j..n variables of kappa (exactly j rows) at position Q: the
 * first-column rule for j variables, then the branching rule over the
 * horizontal strips kappa/mu, counted like an odometer. */
static void fill_entries(tables_t *t, int j, const int *kappa, const double *z, int Q)
{
    const int n = t->n;
    const double alpha = t->alpha;
    double tf = 1, w = (j + 1) - alpha;
    int *removable = t->removable, *g = t->strip_rows, *mu = t->sub_parts;
    int *lower = t->strip_lower;
    double *zn = t->sub_shifted, *coef = t->strip_coef;
    int i, h = 0, product = 1, strips, strip, removed = 0, L;
    for (i = 1; i <= j; ++i)
        tf = ((w + z[i]) / (j + z[i])) * tf;
    L = lookup_position(t, kappa, j, 1);
    t->jack_x[(size_t)Q * n + j - 1] = (tf * t->prefix_x[j]) * t->jack_x[(size_t)L * n + j - 1];
    if (t->two_args)
        t->jack_y[(size_t)Q * n + j - 1] = (tf * t->prefix_y[j]) * t->jack_y[(size_t)L * n + j - 1];

    if (j >= 2)
        removable[j - 1] = removable[j - 1] - 1;
    removable[j] = kappa[j];
    for (i = 1; i <= j; ++i) {
        if (removable[i] > 0) {
            h = h + 1;
            g[h] = i;
            product = product * (removable[i] + 1);
        }
        mu[i] = kappa[i];
        zn[i] = z[i];
    }
    for (i = 1; i <= h; ++i) {
        coef[i] = 1;
        lower[i] = kappa[g[i]] - removable[g[i]];
    }
    strips = product - 1;
    for (strip = 0; strip < strips; ++strip) {
        int k = h, r = g[h], P;
        while (mu[r] == lower[k]) { /* at its lower bound: back to full length */
            mu[r] = kappa[r];
            zn[r] = z[r];
            removed = removed - removable[r];
            k = k - 1;
            r = g[k];
        }
        coef[k] = strip_factor(r, z, zn, alpha) * coef[k];
        mu[r] = mu[r] - 1;
        zn[r] = zn[r] - alpha;
        removed = removed + 1;
        for (i = k + 1; i <= h; ++i)
            coef[i] = coef[k];
        P = lookup_position(t, mu, mu[j] > 0 ? j : j - 1, 0);
        add_strip(t->jack_x, t->powers_x, n, j, Q, P, coef[k], removed);
        if (t->two_args)
            add_strip(t->jack_y, t->powers_y, n, j, Q, P, coef[k], removed);
    }
    for (i = j + 1; i <= n; ++i) /* the trivial strip mu = kappa, ascending */
        t->jack_x[(size_t)Q * n + i - 1] = t->jack_x[(size_t)Q * n + i - 1] + t->jack_x[(size_t)Q * n + i - 2];
    if (t->two_args)
        for (i = j + 1; i <= n; ++i)
            t->jack_y[(size_t)Q * n + i - 1] = t->jack_y[(size_t)Q * n + i - 1] + t->jack_y[(size_t)Q * n + i - 2];
}

/* The coefficient of kappa over that of kappa without its new box in column
 * m of row j; z[j] goes from alpha*(m-1) - j to alpha*m - j. */
static double coefficient_quotient(int j, int m, int n, int two_args, double alpha,
                                   const double *a, int p, const double *b, int q, double *z)
{
    double u = ((1 - j) / alpha + m) - 1;
    double N = alpha, D = (j + z[j]) + 1, d;
    int k, i;
    for (k = 0; k < p; ++k)
        N = N * (u + a[k]);
    for (k = 0; k < q; ++k)
        D = D * (u + b[k]);
    if (two_args) {
        N = N * (alpha * m);
        D = D * ((alpha * u) + n);
        for (i = 1; i <= j - 1; ++i) {
            d = z[i] - z[j];
            N = N * d;
            D = D * (d - 1);
        }
        N = N / D;
        D = 1;
    }
    z[j] = alpha + z[j];
    for (i = 1; i <= j - 1; ++i) {
        d = z[i] - z[j];
        N = N * d;
        D = D * (d + 1);
    }
    return N / D;
}

int plain_c_sorn(int max_size, int max_part, double alpha, const double *a, int p,
                 const double *b, int q, int n, const double *x, const double *y,
                 double *degree_sums)
{
    long long table_size = table_size_of(max_size, n);
    tables_t t = {0};
    int *kappa, *level_pos, j = 1, size = 0, i, status = -1;
    double *z, *level_coef, top_multiplier = 1;
    if (n < 1 || max_size < 0 || table_size < 0)
        return -1;
    kappa = (int *)calloc((size_t)n + 1, sizeof(int));
    level_pos = (int *)malloc(((size_t)n + 1) * sizeof(int));
    z = (double *)calloc((size_t)n + 1, sizeof(double));
    level_coef = (double *)malloc(((size_t)n + 1) * sizeof(double));
    if (build_tables(&t, max_size, n, alpha, x, y, table_size) != 0 || !kappa || !level_pos ||
        !z || !level_coef)
        goto done;
    degree_sums[0] = 1;
    for (i = 1; i <= max_size; ++i)
        degree_sums[i] = 0;
    kappa[0] = max_part;
    for (i = 1; i <= n; ++i) {
        level_coef[i] = 1;
        z[i] = -i;
        level_pos[i] = 1;
    }
    while (j >= 1) {
        if (kappa[j] < kappa[j - 1] && size < max_size && level_coef[j] != 0) {
            int m, Q = 0;
            double c;
            kappa[j] = kappa[j] + 1; /* advance: a box at the end of row j */
            m = kappa[j];
            size = size + 1;
            if (j < n)
                Q = assign_position(&t, j, kappa, level_pos, size);
            level_coef[j] = coefficient_quotient(j, m, n, t.two_args, alpha, a, p, b, q, z) *
                            level_coef[j];
            c = level_coef[j];
            if (j < n) {
                fill_entries(&t, j, kappa, z, Q);
                top_multiplier = 1;
                if (!t.two_args)
                    degree_sums[size] = (c * t.jack_x[(size_t)Q * n + n - 1]) + degree_sums[size];
                else
                    degree_sums[size] = (c * t.jack_x[(size_t)Q * n + n - 1]) *
                                        t.jack_y[(size_t)Q * n + n - 1] + degree_sums[size];
                level_coef[j + 1] = level_coef[j]; /* move down */
                j = j + 1;
                level_pos[j] = Q;
            } else { /* n rows: through kappa with its m full columns removed */
                int L = lookup_position(&t, kappa, n - 1, m);
                if (!t.two_args) {
                    top_multiplier = ((((1 / alpha) + m) - 1) * t.prefix_x[n] / m) * top_multiplier;
                    for (i = 1; i <= n - 1; ++i)
                        top_multiplier = ((z[i] + 1 - z[n]) / (alpha + z[i] - z[n])) * top_multiplier;
                    degree_sums[size] = (top_multiplier * c) * t.jack_x[(size_t)L * n + n - 1] +
                                        degree_sums[size];
                } else {
                    double v = (((1 / alpha) + m) - 1) / m;
                    for (i = 1; i <= n - 1; ++i)
                        v = ((z[i] + 1 - z[n]) / (alpha + z[i] - z[n])) * v;
                    top_multiplier = (v * v) * t.prefix_x[n] * t.prefix_y[n] * top_multiplier;
                    degree_sums[size] = ((top_multiplier * c) * t.jack_x[(size_t)L * n + n - 1]) *
                                        t.jack_y[(size_t)L * n + n - 1] + degree_sums[size];
                }
            }
        } else {
            size = size - kappa[j]; /* backtrack: empty row j */
            kappa[j] = 0;
            z[j] = -j;
            j = j - 1;
        }
    }
    status = 0;
done:
    free(kappa);
    free(level_pos);
    free(z);
    free(level_coef);
    release_tables(&t);
    return status;
}
