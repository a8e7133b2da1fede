// calls.h: the package's calls of the core. Each reads its Python
// arguments as the plug-in of the same name reads its own, refusing the
// first that fails with the plug-in's message (TypeError or ValueError),
// runs the core once with the GIL released, and returns plain values; the
// package's Python functions turn statuses into exceptions and warnings.
#ifndef MATRIXHYPER_PYTHON_CALLS_H
#define MATRIXHYPER_PYTHON_CALLS_H

#include <pybind11/pybind11.h>

#include <cstddef>

namespace matrixhyper_python {

namespace py = pybind11;

// Threads the core may fill its tables with: MATRIXHYPER_THREADS when it
// holds a positive integer, else the machine's hardware threads. Read on
// every call, with the GIL held, so that a change through os.environ
// counts; every call passes it to the core.
int thread_count_from_environment();

// Bytes the core may use for tables it sizes itself: half the machine's
// physical memory (0, no limit, where the system cannot tell), as the
// plug-ins allow.
std::size_t table_memory_budget();

// (value, degree_sums).
py::tuple sorn(const py::object &bounds, const py::object &alpha, const py::object &a,
               const py::object &b, const py::object &x, const py::object &y);

// (values of x's shape, degree_sums).
py::tuple brint(const py::object &bounds, const py::object &alpha, const py::object &a,
                const py::object &b, const py::object &n, const py::object &x);

// The options of a matrix_pfq call, as given.
struct pfq_call_options {
    py::object alpha, tol, max_degree, log;
};

// (status, value, err, degree, partitions, method, converged, seconds,
// sign, message); status names the core's pfq_status.
py::tuple matrix_pfq(const py::object &a, const py::object &b, const py::object &x,
                     const py::object &y, const pfq_call_options &options);

// The options of a wishart_eig_cdf call, as given.
struct wishart_call_options {
    py::object field, which, tail, sigma;
};

// (status, P, err, message), P and err of x's shape; status names the
// core's wishart_cdf_status.
py::tuple wishart_eig_cdf(const py::object &x, const py::object &m, const py::object &n,
                          const wishart_call_options &options);

// Seconds per call of the bare core (no Python) on sorn's and matrix_pfq's
// series, for the overhead benchmark.
double sorn_core_seconds(const py::object &bounds, double alpha, const py::object &a,
                         const py::object &b, const py::object &x, int repeats);
double matrix_pfq_core_seconds(const py::object &a, const py::object &b, const py::object &x,
                               int repeats);

} // namespace matrixhyper_python

#endif // MATRIXHYPER_PYTHON_CALLS_H
