// table_layout.cpp: laying the Jack function tables out in the caller's
// workspace, their starting values, and the positions of partitions in them.
#include <cstring>

#include "jack_tables.h"

namespace matrixhyper {

// x_i^k by repeated multiplication and the prefix products x_1 * ... * x_i.
template <class Real>
static void build_powers(Real *powers, Real *prefix, const Real *values, int n, int max_size)
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

// The arrays of the tables and of the fill, in one fixed order, taken from
// the cursor; their contents are set only when the cursor lays out a block.
template <class Real>
static void take_table_arrays(basic_jack_tables<Real> *tables, const jack_table_shape &shape,
                              workspace_cursor &cursor)
{
    size_t n = (size_t)shape.n;
    size_t rows = (size_t)shape.table_size + 1;
    size_t degrees = (size_t)shape.max_size + 1;
    tables->index_table = cursor.take<int>(rows);
    tables->jack_x = cursor.take<Real>(rows * n);
    tables->powers_x = cursor.take<Real>(degrees * n);
    tables->prefix_x = cursor.take<Real>(n + 1);
    tables->jack_y = shape.two_args ? cursor.take<Real>(rows * n) : nullptr;
    tables->powers_y = shape.two_args ? cursor.take<Real>(degrees * n) : nullptr;
    tables->prefix_y = shape.two_args ? cursor.take<Real>(n + 1) : nullptr;
    take_fill_work(tables, shape, cursor);
}

template <class Real>
static void take_fill_arrays(basic_jack_tables<Real> *tables, const jack_table_shape &shape,
                             workspace_cursor &cursor)
{
    size_t n = (size_t)shape.n;
    size_t degrees = (size_t)shape.max_size + 1;
    tables->removable = cursor.take<int>(n);
    tables->sub_parts = cursor.take<int>(n + 1);
    tables->sub_shifted = cursor.take<Real>(n + 1);
    tables->sub_position = cursor.take<int>(n + 1);
    // A filled partition has j <= min(n - 1, max_size) rows, each listed at
    // most once.
    size_t most_rows = n - 1 < (size_t)shape.max_size ? n - 1 : (size_t)shape.max_size;
    tables->levels = cursor.take<basic_strip_level<Real>>(most_rows + 1);
    // The listed rows of a partition hold kappa_1 <= max_size removable boxes
    // together, and a product for row r keeps r - 1 <= n - 2 partial values
    // (none up to two variables, where only one-row partitions are filled).
    size_t partial_rows = n > 2 ? n - 2 : 0;
    tables->partial_entries = (int)(degrees * partial_rows);
    tables->partial_a = cursor.take<Real>((size_t)tables->partial_entries);
    tables->partial_b = cursor.take<Real>((size_t)tables->partial_entries);
    if (!cursor.lays_out())
        return;
    std::memset(tables->removable, 0, n * sizeof(int));
    std::memset(tables->sub_parts, 0, (n + 1) * sizeof(int));
    std::memset(static_cast<void *>(tables->sub_shifted), 0, (n + 1) * sizeof(Real));
    std::memset(tables->sub_position, 0, (n + 1) * sizeof(int));
}

void take_fill_work(jack_tables *tables, const jack_table_shape &shape, workspace_cursor &cursor)
{
    take_fill_arrays(tables, shape, cursor);
}

void take_fill_work(wide_jack_tables *tables, const jack_table_shape &shape,
                    workspace_cursor &cursor)
{
    take_fill_arrays(tables, shape, cursor);
}

template <class Real>
static void restart_counts(basic_jack_tables<Real> *tables, int j, const int *kappa)
{
    for (int i = 1; i < j - 1; ++i)
        tables->removable[i] = kappa[i] - kappa[i + 1];
    if (j >= 2) // row j - 1 had one box more removable before row j grew
        tables->removable[j - 1] = kappa[j - 1] - kappa[j] + 1;
}

void restart_removable(jack_tables *tables, int j, const int *kappa)
{
    restart_counts(tables, j, kappa);
}

void restart_removable(wide_jack_tables *tables, int j, const int *kappa)
{
    restart_counts(tables, j, kappa);
}

template <class T> static void zero_fill(T *array, size_t count)
{
    std::memset(static_cast<void *>(array), 0, count * sizeof(T));
}

template <class Real>
static void build_tables(basic_jack_tables<Real> *tables, const jack_table_shape &shape,
                         Real alpha, const Real *x, const Real *y, workspace_cursor &cursor)
{
    const int n = shape.n;
    tables->n = n;
    tables->max_size = shape.max_size;
    tables->alpha = alpha;
    tables->two_args = shape.two_args ? 1 : 0;
    tables->table_size = shape.table_size;
    tables->next_free = shape.max_size + 2;
    tables->observer = nullptr;
    take_table_arrays(tables, shape, cursor);
    if (!cursor.lays_out())
        return;

    size_t rows = (size_t)shape.table_size + 1;
    zero_fill(tables->index_table, rows);
    zero_fill(tables->jack_x, rows * n);
    build_powers(tables->powers_x, tables->prefix_x, x, n, shape.max_size);
    for (int i = 1; i <= n; ++i)
        jack_row(tables->jack_x, 1, n)[i - 1] = 1; // the empty partition
    if (tables->two_args) {
        zero_fill(tables->jack_y, rows * n);
        build_powers(tables->powers_y, tables->prefix_y, y, n, shape.max_size);
        for (int i = 1; i <= n; ++i)
            jack_row(tables->jack_y, 1, n)[i - 1] = 1;
    }
}

void build_jack_tables(jack_tables *tables, const jack_table_shape &shape, double alpha,
                       const double *x, const double *y, workspace_cursor &cursor)
{
    build_tables(tables, shape, alpha, x, y, cursor);
}

void build_jack_tables(wide_jack_tables *tables, const jack_table_shape &shape,
                       long double alpha, const long double *x, const long double *y,
                       workspace_cursor &cursor)
{
    build_tables(tables, shape, alpha, x, y, cursor);
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

template <class Real>
static int find_position(const basic_jack_tables<Real> *tables, const int *parts, int rows,
                         int columns)
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

int lookup_position(const jack_tables *tables, const int *parts, int rows, int columns)
{
    return find_position(tables, parts, rows, columns);
}

int lookup_position(const wide_jack_tables *tables, const int *parts, int rows, int columns)
{
    return find_position(tables, parts, rows, columns);
}

} // namespace matrixhyper
