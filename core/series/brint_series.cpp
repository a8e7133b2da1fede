// brint_series.cpp: the coefficient walk in the caller's workspace, and the
// polynomial it gives evaluated at the points.
#include "matrixhyper/brint_series.h"

#include <cstring>

#include "coefficient_walk.h"
#include "workspace.h"

namespace matrixhyper {

static coefficient_walk_work take_walk_work(int max_size, int n, workspace_cursor &cursor)
{
    coefficient_walk_work work;
    work.rows = walk_rows(max_size, n);
    size_t entries = (size_t)work.rows + 1;
    work.kappa = cursor.take<int>(entries);
    work.level_coef = cursor.take<double>(entries);
    work.shifted_parts = cursor.take<double>(entries);
    return work;
}

size_t brint_workspace_size(int max_size, int n)
{
    workspace_cursor counter;
    take_walk_work(max_size, n, counter);
    return counter.bytes();
}

brint_status brint_coefficients(const brint_request &request, void *workspace, double *degree_sums)
{
    for (int d = 1; d <= request.max_size; d++) degree_sums[d] = 0.0;
    degree_sums[0] = 1.0;                          // term of the empty partition
    workspace_cursor cursor(workspace, brint_workspace_size(request.max_size, request.n));
    coefficient_walk_work work = take_walk_work(request.max_size, request.n, cursor);
    std::memset(work.kappa, 0, ((size_t)work.rows + 1) * sizeof(int));
    coefficient_walk_series series = {request.max_size, request.max_part, request.alpha,
                                      request.a, request.p, request.b, request.q, request.n};
    bool completed = coefficient_walk(series, degree_sums, work, request.interrupt);
    return completed ? brint_status::ok : brint_status::interrupted;
}

void evaluate_degree_sums(const double *degree_sums, int max_size, const double *x, size_t count,
                          double *values)
{
    for (size_t i = 0; i < count; i++) {
        double y = 0.0;
        for (int d = max_size; d >= 0; d--) y = y * x[i] + degree_sums[d];
        values[i] = y;
    }
}

} // namespace matrixhyper
