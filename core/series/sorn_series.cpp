// sorn_series.cpp: sizing and running the series of one or two matrix
// arguments in the caller's workspace, with one thread or a team.
#include "matrixhyper/sorn_series.h"

#include <cstring>
#include <limits>
#include <thread>

#include "interrupt_countdown.h"
#include "jack_tables.h"
#include "level_fill.h"
#include "partition_walk.h"

namespace matrixhyper {

// Below this many stored rows the default is one thread: starting threads
// and meeting at every size costs more than a fill of that size takes.
const long long rows_worth_threads = 10000;

int hardware_thread_count()
{
    unsigned hardware = std::thread::hardware_concurrency();
    if (hardware == 0)
        return 1;
    return hardware < (unsigned)level_fill_max_threads ? (int)hardware : level_fill_max_threads;
}

// A count clamped to the most a fill starts.
static int at_most_fill_threads(int count)
{
    return count < level_fill_max_threads ? count : level_fill_max_threads;
}

// Threads a call of this shape runs with: an explicit count as asked (up to
// the most a fill starts), the default only for tables worth it. With one
// variable nothing is stored, and with two only the one-row partitions.
static int threads_for(int requested, int default_threads, long long table_size, size_t n)
{
    if (n < 3)
        return 1;
    if (requested > 0)
        return at_most_fill_threads(requested);
    if (table_size < rows_worth_threads)
        return 1;
    return default_threads > 0 ? at_most_fill_threads(default_threads) : hardware_thread_count();
}

// Everything a call works with, laid out in the caller's block.
struct series_arrays {
    jack_tables tables;
    sorn_walk_state walk;
    stored_census census;                              // only with two or more threads
    level_fill_thread threads[level_fill_max_threads]; // the first `thread_count`
    int thread_count;
};

// The arrays of a call with `thread_count` threads, laid out with `cursor`
// (which only counts when it has no block). The one-thread layout is the
// tables and the walk state alone.
static void take_series_arrays(const sorn_request &request, int table_size, int thread_count,
                               series_arrays *arrays, workspace_cursor &cursor)
{
    const int n = (int)request.n;
    jack_table_shape shape = {request.max_size, n, table_size, request.y != nullptr};
    build_jack_tables(&arrays->tables, shape, request.alpha, request.x, request.y, cursor);
    take_walk_state(&arrays->walk, n, request.max_part, cursor);
    arrays->thread_count = thread_count;
    if (thread_count < 2)
        return;
    const size_t words = ((size_t)table_size + 1 + 63) / 64;
    const size_t sizes = (size_t)request.max_size + 1;
    arrays->census.reached = cursor.take<uint64_t>(words);
    arrays->census.per_size = cursor.take<int>(sizes);
    take_level_fill_threads(arrays->threads, thread_count, arrays->tables, shape, cursor);
    if (!cursor.lays_out())
        return;
    std::memset(arrays->census.reached, 0, words * sizeof(uint64_t));
    std::memset(arrays->census.per_size, 0, sizes * sizeof(int));
}

sorn_sizing sorn_workspace_size(int max_size, size_t n, bool two_args, long long byte_limit,
                                int threads, int default_threads)
{
    sorn_sizing sizing = {};
    sizing.status = sorn_sizing_status::ok;
    sizing.position_limit = jack_tables_max_positions;
    sizing.table_size_exact = true;
    sizing.threads = 1;
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
    sizing.threads = threads_for(threads, default_threads, sizing.table_size, n);
    sorn_request shape_only = {};
    shape_only.max_size = max_size;
    shape_only.n = n;
    static const double placeholder = 0;
    shape_only.y = two_args ? &placeholder : nullptr;
    series_arrays arrays;
    workspace_cursor counter;
    take_series_arrays(shape_only, (int)sizing.table_size, sizing.threads, &arrays, counter);
    sizing.workspace_bytes = counter.bytes();
    return sizing;
}

// The walk with a team: positions first, then the rows size by size, then
// the terms in the order of the one-thread walk.
static bool run_with_team(const sorn_request &request, const series_parameters &parameters,
                          series_arrays &arrays, double *degree_sums)
{
    jack_tables &tables = arrays.tables;
    walk_run placing;
    placing.pass = walk_pass::place_stored;
    placing.census = &arrays.census;
    placing.interrupt = request.interrupt;
    const walk_series series = {request.max_size, request.alpha, &parameters, degree_sums};
    if (!partition_walk(series, &tables, &arrays.walk, placing))
        return false;
    level_fill_job job = {&arrays.census, request.max_part, arrays.threads, arrays.thread_count,
                          request.interrupt};
    if (!fill_by_levels(job))
        return false;
    tables.next_free = request.max_size + 2; // the terms pass reserves the same blocks again
    walk_run summing;
    summing.pass = walk_pass::sum_terms;
    summing.interrupt = request.interrupt;
    return partition_walk(series, &tables, &arrays.walk, summing);
}

sorn_result sorn_series(const sorn_request &request, const sorn_sizing &sizing, void *workspace,
                        double *degree_sums)
{
    for (int k = 1; k <= request.max_size; ++k)
        degree_sums[k] = 0;
    degree_sums[0] = 1; // the empty partition
    if (request.n > 0) { // an empty x is the 0-by-0 argument: every term beyond degree 0 vanishes
        int thread_count = sizing.threads;
        if (request.threads > 0 && request.threads < thread_count)
            thread_count = request.threads;
        series_arrays arrays;
        workspace_cursor cursor(workspace, sizing.workspace_bytes);
        take_series_arrays(request, (int)sizing.table_size, thread_count, &arrays, cursor);
        series_parameters parameters = {request.a, request.p, request.b, request.q};
        bool completed;
        if (thread_count < 2) {
            walk_run run;
            run.interrupt = request.interrupt;
            const walk_series series = {request.max_size, request.alpha, &parameters,
                                        degree_sums};
            completed = partition_walk(series, &arrays.tables, &arrays.walk, run);
        } else {
            completed = run_with_team(request, parameters, arrays, degree_sums);
        }
        if (!completed)
            return {sorn_status::interrupted, std::numeric_limits<double>::quiet_NaN()};
    }
    double total = 0;
    for (int k = 0; k <= request.max_size; ++k)
        total = total + degree_sums[k];
    return {sorn_status::ok, total};
}

} // namespace matrixhyper
