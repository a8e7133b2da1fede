// sorn_series.cpp: sizing and running the series of one or two matrix
// arguments in the caller's workspace.
#include "matrixhyper/sorn_series.h"

#include "jack_tables.h"
#include "partition_walk.h"

namespace matrixhyper {

// The tables and the walk state of a call, laid out with `cursor`.
static void take_series_arrays(const sorn_request &request, int table_size, jack_tables *tables,
                               sorn_walk_state *walk, workspace_cursor &cursor)
{
    const int n = (int)request.n;
    jack_table_shape shape = {request.max_size, n, table_size, request.y != nullptr};
    build_jack_tables(tables, shape, request.alpha, request.x, request.y, cursor);
    take_walk_state(walk, n, request.max_part, cursor);
}

sorn_sizing sorn_workspace_size(int max_size, size_t n, bool two_args, long long byte_limit)
{
    sorn_sizing sizing = {};
    sizing.status = sorn_sizing_status::ok;
    sizing.position_limit = jack_tables_max_positions;
    sizing.table_size_exact = true;
    if (n > (size_t)sizing.position_limit) {
        sizing.status = sorn_sizing_status::too_many_values;
        return sizing;
    }
    const long long variables = (long long)n;
    sizing.table_size = variables > 0 ? count_table_size(max_size, variables, sizing.position_limit) : 0;
    if (sizing.table_size > sizing.position_limit) {
        sizing.status = sorn_sizing_status::too_many_partitions;
        sizing.table_size_exact = variables <= 3; // beyond three variables the count stops early
        return sizing;
    }
    sizing.largest_array_bytes = largest_table_array_bytes(max_size, variables, sizing.table_size);
    if (sizing.largest_array_bytes > byte_limit) {
        sizing.status = sorn_sizing_status::array_too_large;
        return sizing;
    }
    if (n == 0) { // the 0-by-0 argument needs no tables
        sizing.workspace_bytes = 0;
        return sizing;
    }
    sorn_request shape_only = {};
    shape_only.max_size = max_size;
    shape_only.n = n;
    static const double placeholder = 0;
    shape_only.y = two_args ? &placeholder : nullptr;
    jack_tables tables;
    sorn_walk_state walk;
    workspace_cursor counter;
    take_series_arrays(shape_only, (int)sizing.table_size, &tables, &walk, counter);
    sizing.workspace_bytes = counter.bytes();
    return sizing;
}

double sorn_series(const sorn_request &request, const sorn_sizing &sizing, void *workspace,
                   double *degree_sums)
{
    for (int k = 1; k <= request.max_size; ++k)
        degree_sums[k] = 0;
    degree_sums[0] = 1; // the empty partition
    if (request.n > 0) { // an empty x is the 0-by-0 argument: every term beyond degree 0 vanishes
        jack_tables tables;
        sorn_walk_state walk;
        workspace_cursor cursor(workspace, sizing.workspace_bytes);
        take_series_arrays(request, (int)sizing.table_size, &tables, &walk, cursor);
        series_parameters parameters = {request.a, request.p, request.b, request.q};
        partition_walk(request.max_size, request.alpha, &parameters, &tables, &walk, degree_sums);
    }
    double total = 0;
    for (int k = 0; k <= request.max_size; ++k)
        total = total + degree_sums[k];
    return total;
}

} // namespace matrixhyper
