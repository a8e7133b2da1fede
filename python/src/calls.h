// calls.h: the package's calls of the core. Each reads its Python
// arguments as the plug-in of the same name reads its own, refusing the
// first that fails with the plug-in's message (TypeError or ValueError),
// runs the core once with the GIL released, and returns plain values; the
// package's Python functions turn statuses into exceptions and warnings.
#ifndef MATRIXHYPER_PYTHON_CALLS_H
#define MATRIXHYPER_PYTHON_CALLS_H

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <vector>

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
    py::object field, which, tail, sigma, log, tol;   // log, tol: wishart_eig_cdf only
};

// (status, P, err, message), P and err of x's shape; status names the
// core's wishart_cdf_status.
py::tuple wishart_eig_cdf(const py::object &x, const py::object &m, const py::object &n,
                          const wishart_call_options &options);

// (status, x, err, message), x and err of P's shape; status names the
// core's wishart_cdf_status, and the message of not_converged is the
// plug-in's warning.
py::tuple wishart_eig_inv(const py::object &P, const py::object &m, const py::object &n,
                          const wishart_call_options &options);

// The options of a jacobi_eig_cdf or jacobi_eig_inv call, as given.
struct jacobi_call_options {
    py::object field, which, tail, log;          // log: jacobi_eig_cdf only
};

// The jacobi calls' sizes and options, read and checked as their plug-ins
// read them (after x or P).
struct jacobi_model {
    py::object p, m, n;
};

// (status, P, err, message), P and err of x's shape; status names the
// core's jacobi_status.
py::tuple jacobi_eig_cdf(const py::object &x, const jacobi_model &model, const jacobi_call_options &options);

// (status, x, err, message), as wishart_eig_inv's.
py::tuple jacobi_eig_inv(const py::object &P, const jacobi_model &model, const jacobi_call_options &options);

// Adds jacobi_eig_inv to the module.
void define_jacobi_eig_inv(py::module_ &module);

// The warning of an inverse call that left quantiles NaN: how many of
// `count`, the first few by their (1-based) index, and why the first failed.
std::string unresolved_quantiles_message(const std::vector<std::size_t> &unresolved, std::size_t count,
                                         const std::string &reason);

// Seconds per call of the bare core (no Python) on sorn's and matrix_pfq's
// series, for the overhead benchmark.
double sorn_core_seconds(const py::object &bounds, double alpha, const py::object &a,
                         const py::object &b, const py::object &x, int repeats);
double matrix_pfq_core_seconds(const py::object &a, const py::object &b, const py::object &x,
                               int repeats);

} // namespace matrixhyper_python

#endif // MATRIXHYPER_PYTHON_CALLS_H
