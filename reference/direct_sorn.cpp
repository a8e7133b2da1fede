// direct_sorn.cpp: the frozen direct transcription of the tables and the
// walk of the one- and two-argument series (see direct_sorn.h).
#include "direct_sorn.h"

#include <cstdlib>

namespace direct_sorn {

// Partitions with at most two rows and size at most max_size: for
// max_size = 2T it is (T + 1)^2, for 2T + 1 it is (T + 1)(T + 2). A lower
// bound of the count for n >= 3 (the exact count for n = 3) that costs nothing.
static long long count_two_row_partitions(int max_size)
{
    long long half = max_size / 2;
    if (max_size % 2 == 0)
        return (half + 1) * (half + 1);
    return (half + 1) * (half + 2);
}

long long count_table_size(int max_size, long long n, long long limit)
{
    if (n <= 2)
        return (long long)max_size + 1;
    // The counting array has max_size + 2 entries. Allocate it only when the
    // two-row count already fits, which bounds max_size by about 2 * sqrt(limit).
    long long lower_bound = count_two_row_partitions(max_size);
    if (lower_bound > limit || n == 3)
        return lower_bound;
    // f[k] counts the partitions of size below k with parts at most i, the
    // conjugates of those with at most i rows; each pass admits parts equal to
    // i. Passes with i > max_size change nothing.
    long long *f = (long long *)std::calloc((size_t)max_size + 2, sizeof(long long));
    for (int k = 1; k <= max_size + 1; ++k)
        f[k] = k;
    long long last_pass = n - 1 < max_size ? n - 1 : max_size;
    for (int i = 2; i <= last_pass && f[max_size + 1] <= limit; ++i)
        for (int k = i + 1; k <= max_size + 1; ++k)
            f[k] = f[k] + f[k - i]; // stays below max_size * limit: no overflow
    long long count = f[max_size + 1];
    std::free(f);
    return count;
}

// x_i^k by repeated multiplication and the prefix products x_1 * ... * x_i.
static void build_powers(double *powers, double *prefix, const double *values,
                         int n, int max_size)
{
    prefix[1] = values[0];
    for (int i = 2; i <= n; ++i)
        prefix[i] = prefix[i - 1] * values[i - 1];
    for (int i = 1; i <= n; ++i) {
        powers[i - 1] = 1;
        for (int k = 1; k <= max_size; ++k)
            powers[(size_t)k * n + (i - 1)] = powers[(size_t)(k - 1) * n + (i - 1)] * values[i - 1];
    }
}

void build_jack_tables(jack_tables *tables, int max_size, int n, double alpha,
                       const double *x, const double *y, int table_size)
{
    size_t rows = (size_t)table_size + 1;
    tables->n = n;
    tables->max_size = max_size;
    tables->alpha = alpha;
    tables->two_args = y != 0;
    tables->table_size = table_size;
    tables->next_free = max_size + 2;
    tables->index_table = (int *)std::calloc(rows, sizeof(int));
    tables->jack_x = (double *)std::calloc(rows * n, sizeof(double));
    tables->powers_x = (double *)std::malloc(((size_t)max_size + 1) * n * sizeof(double));
    tables->prefix_x = (double *)std::malloc(((size_t)n + 1) * sizeof(double));
    tables->jack_y = 0;
    tables->powers_y = 0;
    tables->prefix_y = 0;
    tables->removable = 0;
    tables->strip_rows = 0;
    tables->strip_lower = 0;
    tables->sub_parts = 0;
    tables->strip_coef = 0;
    tables->sub_shifted = 0;

    build_powers(tables->powers_x, tables->prefix_x, x, n, max_size);
    for (int i = 1; i <= n; ++i)
        jack_row(tables->jack_x, 1, n)[i - 1] = 1; // the empty partition
    if (tables->two_args) {
        tables->jack_y = (double *)std::calloc(rows * n, sizeof(double));
        tables->powers_y = (double *)std::malloc(((size_t)max_size + 1) * n * sizeof(double));
        tables->prefix_y = (double *)std::malloc(((size_t)n + 1) * sizeof(double));
        build_powers(tables->powers_y, tables->prefix_y, y, n, max_size);
        for (int i = 1; i <= n; ++i)
            jack_row(tables->jack_y, 1, n)[i - 1] = 1;
    }
}

void create_fill_work(jack_tables *tables)
{
    size_t n = (size_t)tables->n;
    tables->removable = (int *)std::calloc(n, sizeof(int));
    tables->strip_rows = (int *)std::calloc(n + 1, sizeof(int));
    tables->strip_lower = (int *)std::calloc(n + 1, sizeof(int));
    tables->sub_parts = (int *)std::calloc(n + 1, sizeof(int));
    tables->strip_coef = (double *)std::calloc(n + 1, sizeof(double));
    tables->sub_shifted = (double *)std::calloc(n + 1, sizeof(double));
}

void release_jack_tables(jack_tables *tables)
{
    void *blocks[] = {tables->index_table, tables->jack_x,     tables->jack_y,
                      tables->powers_x,    tables->powers_y,   tables->prefix_x,
                      tables->prefix_y,    tables->removable,  tables->strip_rows,
                      tables->strip_lower, tables->sub_parts,  tables->strip_coef,
                      tables->sub_shifted};
    for (void *block : blocks)
        if (block)
            std::free(block);
}

int assign_position(jack_tables *tables, int j, const int *kappa, int *level_pos, int size)
{
    if (j >= 2 && kappa[j] == 1) {
        // The box opens row j: reserve one position for each last part m that
        // the parent admits, m <= kappa_(j-1) and parent size + m <= max_size.
        int room = tables->max_size - size + 1;
        int block_length = kappa[j - 1] < room ? kappa[j - 1] : room;
        tables->index_table[level_pos[j]] = tables->next_free;
        level_pos[j] = tables->next_free;
        tables->next_free = tables->next_free + block_length;
    } else {
        level_pos[j] = level_pos[j] + 1;
    }
    return level_pos[j];
}

int lookup_position(const jack_tables *tables, const int *parts, int rows, int columns)
{
    if (rows == 0 || parts[1] <= columns)
        return 1;
    int position = parts[1] - columns + 1;
    for (int s = 2; s <= rows && parts[s] > columns; ++s) {
        // A parent whose children were never reserved has index entry 0; the
        // lookup then stays at position 0 (index_table[0] is 0 too).
        int block = tables->index_table[position];
        position = block != 0 ? block + (parts[s] - columns) - 1 : 0;
    }
    return position;
}

// Q_kappa(x_1..x_j) / (x_1 * ... * x_j * Q_(kappa minus first column)(x_1..x_j))
// for kappa with exactly j rows.
static double column_factor(int j, const double *z, double alpha)
{
    double t = 1;
    double w = (j + 1) - alpha;
    for (int i = 1; i <= j; ++i)
        t = ((w + z[i]) / (j + z[i])) * t;
    return t;
}

// Lists the rows of kappa (rows 1..j) that end in a removable box, starts
// mu at kappa and returns the number of strips kappa/mu with mu != kappa.
static int start_strips(jack_tables *tables, int j, const int *kappa, const double *z,
                        int *strip_total)
{
    int *removable = tables->removable;
    if (j >= 2)
        removable[j - 1] = removable[j - 1] - 1;
    removable[j] = kappa[j];

    int count = 0;
    int product = 1;
    for (int i = 1; i <= j; ++i) {
        if (removable[i] > 0) {
            count = count + 1;
            tables->strip_rows[count] = i;
            product = product * (removable[i] + 1);
        }
    }
    for (int i = 1; i <= j; ++i) {
        tables->sub_parts[i] = kappa[i];
        tables->sub_shifted[i] = z[i];
    }
    for (int k = 1; k <= count; ++k) {
        int row = tables->strip_rows[k];
        tables->strip_coef[k] = 1;
        tables->strip_lower[k] = kappa[row] - removable[row];
    }
    *strip_total = product - 1;
    return count;
}

// Coefficient factor for removing the last box of row r of mu, where z
// belongs to kappa and zn to mu.
static double strip_factor(int r, const double *z, const double *zn, double alpha)
{
    double d = z[r] - zn[r];
    double A = d + 1;
    double B = alpha + d;
    for (int i = 1; i <= r - 1; ++i) {
        A = A * ((z[i] - zn[r] + 1) * ((alpha - 1) + (zn[i] - zn[r])));
        B = B * ((alpha + (z[i] - zn[r])) * (zn[i] - zn[r]));
    }
    return A / B;
}

// Adds strip_coef * Q_mu(v_1..v_(i-1)) * v_i^removed into the row of kappa for
// i = j + 1..n.
static void add_strip(double *table, const double *powers, int n, int j, int Q, int P,
                      double coef, int removed)
{
    double *target = jack_row(table, Q, n);
    const double *source = jack_row(table, P, n);
    const double *power = powers + (size_t)removed * n;
    for (int i = j + 1; i <= n; ++i)
        target[i - 1] = (coef * source[i - 2]) * power[i - 1] + target[i - 1];
}

// Adds the trivial strip mu = kappa: each entry gains the finished value with
// one variable less, so the entries are completed in ascending order.
static void add_trivial_strip(double *table, int n, int j, int Q)
{
    double *target = jack_row(table, Q, n);
    for (int i = j + 1; i <= n; ++i)
        target[i - 1] = target[i - 1] + target[i - 2];
}

void fill_jack_entries(jack_tables *tables, int j, const int *kappa,
                       const double *shifted_parts, int Q)
{
    const int n = tables->n;
    const double alpha = tables->alpha;
    const double *z = shifted_parts;

    // Exactly j variables: Q_kappa = t * x_1...x_j * Q_(kappa minus first column).
    double t = column_factor(j, z, alpha);
    int L = lookup_position(tables, kappa, j, 1);
    jack_row(tables->jack_x, Q, n)[j - 1] = (t * tables->prefix_x[j]) * jack_row(tables->jack_x, L, n)[j - 1];
    if (tables->two_args)
        jack_row(tables->jack_y, Q, n)[j - 1] = (t * tables->prefix_y[j]) * jack_row(tables->jack_y, L, n)[j - 1];

    // More variables: branch over the horizontal strips kappa/mu, mu != kappa,
    // counted like an odometer whose last listed row turns fastest.
    int strip_total = 0;
    int h = start_strips(tables, j, kappa, z, &strip_total);
    const int *g = tables->strip_rows;
    const int *removable = tables->removable;
    int *mu = tables->sub_parts;
    double *zn = tables->sub_shifted;
    double *strip_coef = tables->strip_coef;
    int removed = 0;
    for (int strip = 0; strip < strip_total; ++strip) {
        int k = h;
        int r = g[h];
        while (mu[r] == tables->strip_lower[k]) { // row r at its lower bound: reset it
            mu[r] = kappa[r];
            zn[r] = z[r];
            removed = removed - removable[r];
            k = k - 1;
            r = g[k];
        }
        double factor = strip_factor(r, z, zn, alpha);
        strip_coef[k] = factor * strip_coef[k];
        mu[r] = mu[r] - 1;
        zn[r] = zn[r] - alpha;
        removed = removed + 1;
        for (int i = k + 1; i <= h; ++i)
            strip_coef[i] = strip_coef[k];

        int P = lookup_position(tables, mu, mu[j] > 0 ? j : j - 1, 0);
        add_strip(tables->jack_x, tables->powers_x, n, j, Q, P, strip_coef[k], removed);
        if (tables->two_args)
            add_strip(tables->jack_y, tables->powers_y, n, j, Q, P, strip_coef[k], removed);
    }
    add_trivial_strip(tables->jack_x, n, j, Q);
    if (tables->two_args)
        add_trivial_strip(tables->jack_y, n, j, Q);
}

void create_walk_arrays(walk_arrays *walk, int n, int max_part)
{
    size_t entries = (size_t)n + 1;
    walk->kappa = (int *)std::calloc(entries, sizeof(int));
    walk->kappa[0] = max_part;
    walk->shifted_parts = (double *)std::calloc(entries, sizeof(double));
    walk->level_coef = (double *)std::malloc(entries * sizeof(double));
    walk->level_pos = (int *)std::malloc(entries * sizeof(int));
}

void release_walk_arrays(walk_arrays *walk)
{
    std::free(walk->kappa);
    std::free(walk->shifted_parts);
    std::free(walk->level_coef);
    std::free(walk->level_pos);
}

// The coefficient of kappa divided by that of kappa without its new box in
// column m of row j. z[j] comes in as alpha*(m-1) - j and leaves as alpha*m - j.
static double coefficient_quotient(int j, int m, int n, int two_args, double alpha,
                                   const series_parameters *parameters, double *z)
{
    double u = ((1 - j) / alpha + m) - 1; // c + u is the new box's factor of (c)_kappa
    double N = alpha;
    double D = (j + z[j]) + 1;            // 1 + alpha*(m-1)
    for (size_t k = 0; k < parameters->p; ++k)
        N = N * (u + parameters->a[k]);
    for (size_t k = 0; k < parameters->q; ++k)
        D = D * (u + parameters->b[k]);
    if (two_args) { // divide by the growth of Q_kappa(1,...,1)
        N = N * (alpha * m);
        D = D * ((alpha * u) + n);
        for (int i = 1; i <= j - 1; ++i) {
            double d = z[i] - z[j];
            N = N * d;
            D = D * (d - 1);
        }
        N = N / D;
        D = 1;
    }
    z[j] = alpha + z[j];
    for (int i = 1; i <= j - 1; ++i) {
        double d = z[i] - z[j];
        N = N * d;
        D = D * (d + 1);
    }
    return N / D;
}

// Term of a partition with n rows whose new box is in column m of row n:
// updates top_multiplier so that top_multiplier * Q_L = Q_kappa, L being
// kappa with its m full columns removed, and adds the term.
static void add_top_row_term(const jack_tables *tables, const int *kappa, const double *z,
                             int m, double c, double *top_multiplier, double *degree_sum)
{
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
static void add_stored_term(const jack_tables *tables, int Q, double c, double *degree_sum)
{
    const int n = tables->n;
    if (!tables->two_args)
        *degree_sum = (c * jack_row(tables->jack_x, Q, n)[n - 1]) + *degree_sum;
    else
        *degree_sum = (c * jack_row(tables->jack_x, Q, n)[n - 1]) * jack_row(tables->jack_y, Q, n)[n - 1]
                      + *degree_sum;
}

// What the rows of the walk share.
struct walk_context {
    int max_size;
    double alpha;
    const series_parameters *parameters;
    jack_tables *tables;
    walk_arrays *walk;
    double *degree_sums;
};

// Adds boxes to row j one at a time (the rows above fixed, `size` boxes in
// them), adds the term of each partition so made, and after each the
// partitions that continue it in the rows below. The walk written
// recursively, one call per row, unlike the loop of the core: the same
// partitions in the same order, the same arithmetic in the same order.
static void grow_row(const walk_context &w, int j, int size)
{
    jack_tables *tables = w.tables;
    const int n = tables->n;
    int *kappa = w.walk->kappa;
    double *z = w.walk->shifted_parts;
    double *level_coef = w.walk->level_coef;
    int *level_pos = w.walk->level_pos;
    double top_multiplier = 1; // row n starts empty on every entry
    while (kappa[j] < kappa[j - 1] && size < w.max_size && level_coef[j] != 0) {
        kappa[j] = kappa[j] + 1;
        int m = kappa[j];
        size = size + 1;
        int Q = j < n ? assign_position(tables, j, kappa, level_pos, size) : 0;
        level_coef[j] = coefficient_quotient(j, m, n, tables->two_args, w.alpha, w.parameters, z)
                        * level_coef[j];
        double c = level_coef[j];
        if (j < n) {
            fill_jack_entries(tables, j, kappa, z, Q);
            add_stored_term(tables, Q, c, &w.degree_sums[size]);
            level_coef[j + 1] = c;
            level_pos[j + 1] = Q;
            grow_row(w, j + 1, size);
        } else {
            add_top_row_term(tables, kappa, z, m, c, &top_multiplier, &w.degree_sums[size]);
        }
    }
    kappa[j] = 0;
    z[j] = -j;
}

void partition_walk(int max_size, double alpha, const series_parameters *parameters,
                    jack_tables *tables, walk_arrays *walk, double *degree_sums)
{
    for (int i = 1; i <= tables->n; ++i) {
        walk->level_coef[i] = 1;
        walk->shifted_parts[i] = -i;
        walk->level_pos[i] = 1;
    }
    const walk_context context = {max_size, alpha, parameters, tables, walk, degree_sums};
    grow_row(context, 1, 0);
}

std::vector<double> series_outputs(int max_size, int max_part, double alpha,
                                   const std::vector<double> &a, const std::vector<double> &b,
                                   const std::vector<double> &x, const std::vector<double> &y)
{
    const int n = static_cast<int>(x.size());
    std::vector<double> sums(max_size + 1, 0.0);
    sums[0] = 1;
    long long table_size = count_table_size(max_size, n, jack_tables_max_positions);
    jack_tables tables;
    build_jack_tables(&tables, max_size, n, alpha, x.data(), y.empty() ? nullptr : y.data(),
                      static_cast<int>(table_size));
    walk_arrays walk;
    create_walk_arrays(&walk, n, max_part);
    create_fill_work(&tables);
    series_parameters parameters{a.data(), a.size(), b.data(), b.size()};
    partition_walk(max_size, alpha, &parameters, &tables, &walk, sums.data());
    release_walk_arrays(&walk);
    release_jack_tables(&tables);
    double total = 0;
    for (double term : sums)
        total = total + term;
    sums.push_back(total);
    return sums;
}

} // namespace direct_sorn
