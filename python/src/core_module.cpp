// core_module.cpp: the extension module matrixhyper._core, the core's calls
// for the Python package. The package checks every argument (in the order
// and with the messages of the plug-ins) before it calls in here, so each
// function reads its arrays, runs the core once with the GIL released and
// returns plain values; the package turns statuses into exceptions and
// warnings.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "matrixhyper/brint_series.h"
#include "matrixhyper/interrupt.h"
#include "matrixhyper/matrix_pfq.h"
#include "matrixhyper/sorn_series.h"
#include "matrixhyper/wishart_cdf.h"

namespace py = pybind11;

namespace {

using double_array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Largest array, in bytes, that Python's sizes describe: numpy indexes with
// 64-bit signed integers, so the core's sizing refuses only what no
// process could hold.
constexpr long long python_array_byte_limit = LLONG_MAX;

// Identity of the interpreter's main thread, the only thread on which
// Python runs signal handlers; taken when the module is imported.
unsigned long main_thread_ident = 0;

// Bytes the core may use for tables it sizes itself: half the machine's
// physical memory (0, no limit, where the system cannot tell), as the
// plug-ins allow.
std::size_t table_memory_budget()
{
    const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return (std::size_t)pages / 2 * (std::size_t)page_size;
}

// The GIL released for the length of a core call, with the core's interrupt
// query asking Python whether a signal (Ctrl-C) arrived. The query runs on
// the calling thread: it takes the GIL back for the moment of
// PyErr_CheckSignals, which raises KeyboardInterrupt through the default
// SIGINT handler and leaves that exception pending. Off the main thread
// Python runs no handlers, so the query answers at once without the GIL.
class released_call {
public:
    released_call()
    {
        check_.poll = &released_call::poll;
        check_.context = this;
        on_main_thread_ = PyThread_get_thread_ident() == main_thread_ident;
        saved_ = PyEval_SaveThread();
    }
    ~released_call() { reacquire(); }
    released_call(const released_call &) = delete;
    released_call &operator=(const released_call &) = delete;

    const matrixhyper::interrupt_check *interrupt() const { return &check_; }

    // Takes the GIL back; then raises the exception a handler left pending
    // (KeyboardInterrupt, or whatever the handler raised), if any.
    void finish()
    {
        reacquire();
        if (PyErr_Occurred()) throw py::error_already_set();
    }

private:
    static bool poll(void *context)
    {
        released_call *call = static_cast<released_call *>(context);
        if (!call->on_main_thread_ || call->signalled_) return call->signalled_;
        PyEval_RestoreThread(call->saved_);
        call->signalled_ = PyErr_CheckSignals() != 0;
        call->saved_ = PyEval_SaveThread();
        return call->signalled_;
    }
    void reacquire()
    {
        if (saved_ == nullptr) return;
        PyEval_RestoreThread(saved_);
        saved_ = nullptr;
    }

    matrixhyper::interrupt_check check_;
    PyThreadState *saved_ = nullptr;
    bool on_main_thread_ = false;
    bool signalled_ = false;
};

// An interrupted core call whose poll saw no Python exception (a handler
// that returned normally cannot stop a call, so this is only a safeguard).
[[noreturn]] void raise_interrupted()
{
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
}

std::vector<double> to_vector(const double_array &values)
{
    return std::vector<double>(values.data(), values.data() + values.size());
}

// ---- sorn ---------------------------------------------------------------

// The refusal of a call whose tables cannot exist, worded as the plug-in's.
std::string sizing_message(const matrixhyper::sorn_sizing &sizing, int max_size, std::size_t n)
{
    using matrixhyper::sorn_sizing_status;
    char text[200];
    switch (sizing.status) {
    case sorn_sizing_status::too_many_values:
        std::snprintf(text, sizeof text, "First and fifth inputs need n = %llu values of x, more than %lld.",
                      (unsigned long long)n, sizing.position_limit);
        break;
    case sorn_sizing_status::too_many_partitions:
        std::snprintf(text, sizeof text, "First and fifth inputs need tables of %s%lld partitions, more than %lld.",
                      sizing.table_size_exact ? "" : "at least ", sizing.table_size,
                      sizing.position_limit);
        break;
    default:
        if (n > 0)
            std::snprintf(text, sizeof text,
                          "First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                          "n = %lld, tables of %lld partitions), more than %lld.",
                          sizing.largest_array_bytes, max_size, (long long)n, sizing.table_size,
                          python_array_byte_limit);
        else
            std::snprintf(text, sizeof text,
                          "First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                          "n = 0), more than %lld.",
                          sizing.largest_array_bytes, max_size, python_array_byte_limit);
    }
    return text;
}

// The truncated parts of a bounds argument and the parameters of a series,
// already checked.
struct series_bounds {
    int max_size;
    int max_part;
};

// (value, degree_sums) of sorn; y None for one argument (only its first
// len(x) values are read). `threads` 0 lets the core choose.
py::tuple sorn(series_bounds bounds, double alpha, const double_array &a, const double_array &b,
               const double_array &x, const py::object &y_or_none, int threads)
{
    double_array y;
    if (!y_or_none.is_none()) y = y_or_none.cast<double_array>();
    matrixhyper::sorn_request request;
    request.max_size = bounds.max_size;
    request.max_part = bounds.max_part;
    request.alpha = alpha;
    request.a = a.data();
    request.p = (std::size_t)a.size();
    request.b = b.data();
    request.q = (std::size_t)b.size();
    request.n = (std::size_t)x.size();
    request.x = x.data();
    request.y = y_or_none.is_none() ? nullptr : y.data();
    request.threads = threads;
    // The core sizes its own thread team (one thread for small tables):
    // `threads` only caps it, so a small call never starts threads.
    const matrixhyper::sorn_sizing sizing = matrixhyper::sorn_workspace_size(
        request.max_size, request.n, request.y != nullptr, python_array_byte_limit);
    if (sizing.status != matrixhyper::sorn_sizing_status::ok)
        throw py::value_error(sizing_message(sizing, request.max_size, request.n));

    double_array degree_sums((py::ssize_t)request.max_size + 1);
    std::vector<unsigned char> workspace(sizing.workspace_bytes);
    double *sums = degree_sums.mutable_data();
    matrixhyper::sorn_result result;
    {
        released_call call;
        request.interrupt = call.interrupt();
        result = matrixhyper::sorn_series(request, sizing, workspace.data(), sums);
        call.finish();
    }
    if (result.status == matrixhyper::sorn_status::interrupted) raise_interrupted();
    return py::make_tuple(result.value, degree_sums);
}

// ---- brint --------------------------------------------------------------

// (values, degree_sums) of brint at the flat points x.
py::tuple brint(series_bounds bounds, double alpha, const double_array &a, const double_array &b,
                int n, const double_array &x)
{
    matrixhyper::brint_request request;
    request.max_size = bounds.max_size;
    request.max_part = bounds.max_part;
    request.alpha = alpha;
    request.a = a.data();
    request.p = (std::size_t)a.size();
    request.b = b.data();
    request.q = (std::size_t)b.size();
    request.n = n;

    double_array degree_sums((py::ssize_t)request.max_size + 1);
    double_array values(x.size());
    std::vector<unsigned char> workspace(matrixhyper::brint_workspace_size(request.max_size, n));
    double *sums = degree_sums.mutable_data();
    double *points = values.mutable_data();
    matrixhyper::brint_status status;
    {
        released_call call;
        request.interrupt = call.interrupt();
        status = matrixhyper::brint_coefficients(request, workspace.data(), sums);
        if (status == matrixhyper::brint_status::ok)
            matrixhyper::evaluate_degree_sums(sums, request.max_size, x.data(), (std::size_t)x.size(), points);
        call.finish();
    }
    if (status == matrixhyper::brint_status::interrupted) raise_interrupted();
    return py::make_tuple(values, degree_sums);
}

// ---- matrix_pfq ---------------------------------------------------------

// The options a matrix_pfq call passes on, already checked.
struct pfq_call_options {
    double alpha;
    double tol;
    int max_degree;   // 0: the core's automatic cap
    bool log_result;
    int threads;      // 0: the core's default
};

// (status, value, err, degree, partitions, method, converged, seconds, sign,
// message); status is the core's pfq_status as its name.
py::tuple matrix_pfq(const double_array &a, const double_array &b, const double_array &x,
                     const py::object &y_or_none, pfq_call_options call_options)
{
    matrixhyper::pfq_problem problem;
    problem.a = to_vector(a);
    problem.b = to_vector(b);
    problem.x = to_vector(x);
    if (!y_or_none.is_none()) problem.y = to_vector(y_or_none.cast<double_array>());
    matrixhyper::pfq_options options;
    options.alpha = call_options.alpha;
    options.tol = call_options.tol;
    options.max_degree = call_options.max_degree;
    options.log_result = call_options.log_result;
    options.threads = call_options.threads;
    options.memory_limit = table_memory_budget();
    matrixhyper::pfq_result result;
    {
        released_call call;
        options.interrupt = call.interrupt();
        result = matrixhyper::matrix_pfq(problem, options);
        call.finish();
    }
    static const char *const status_names[] = {"converged", "not_converged", "refused",
                                               "invalid_argument", "interrupted"};
    if (result.status == matrixhyper::pfq_status::interrupted) raise_interrupted();
    return py::make_tuple(status_names[(int)result.status], result.value, result.err,
                          result.info.degree, result.info.partitions, result.info.method,
                          result.info.converged, result.info.seconds, result.info.sign,
                          result.message);
}

// ---- wishart_eig_cdf ----------------------------------------------------

// The choices of a wishart_eig_cdf call, already checked: field, which and
// tail as the indices of ('real', 'complex'), ('largest', 'smallest') and
// ('lower', 'upper'). (A 'log' choice joins them here once the core takes it.)
struct wishart_choices {
    int field;
    int which;
    int tail;
};

// (status, P, err, message) at the flat points x; sigma None for the
// identity, else its m eigenvalues.
py::tuple wishart_eig_cdf(const double_array &x, int m, double n, wishart_choices choices,
                          const py::object &sigma_or_none)
{
    matrixhyper::wishart_cdf_request request;
    request.m = m;
    request.n = n;
    request.field = choices.field == 0 ? matrixhyper::wishart_field::real : matrixhyper::wishart_field::complex;
    request.which = choices.which == 0 ? matrixhyper::wishart_extreme::largest
                                       : matrixhyper::wishart_extreme::smallest;
    request.tail = choices.tail == 0 ? matrixhyper::wishart_tail::lower : matrixhyper::wishart_tail::upper;
    if (!sigma_or_none.is_none()) request.sigma = to_vector(sigma_or_none.cast<double_array>());
    request.memory_limit = table_memory_budget();

    double_array P(x.size()), err(x.size());
    double *probabilities = P.mutable_data(), *errors = err.mutable_data();
    matrixhyper::wishart_cdf_outcome outcome;
    {
        released_call call;
        request.interrupt = call.interrupt();
        outcome = matrixhyper::wishart_eig_cdf(request, x.data(), (std::size_t)x.size(), probabilities, errors);
        call.finish();
    }
    static const char *const status_names[] = {"ok", "not_converged", "invalid_argument",
                                               "interrupted", "out_of_memory", "numerical_failure"};
    if (outcome.status == matrixhyper::wishart_cdf_status::interrupted) raise_interrupted();
    return py::make_tuple(status_names[(int)outcome.status], P, err, outcome.message);
}

// ---- timing of the bare core, for the overhead benchmark ----------------

// Seconds per call of the core alone on sorn's scalar series (sizing, work
// block and sum, as the binding does, without Python), over `repeats` calls.
double sorn_core_seconds(series_bounds bounds, double alpha, const double_array &a,
                         const double_array &b, const double_array &x, int repeats)
{
    matrixhyper::sorn_request request;
    request.max_size = bounds.max_size;
    request.max_part = bounds.max_part;
    request.alpha = alpha;
    request.a = a.data();
    request.p = (std::size_t)a.size();
    request.b = b.data();
    request.q = (std::size_t)b.size();
    request.n = (std::size_t)x.size();
    request.x = x.data();
    request.y = nullptr;
    std::vector<double> sums((std::size_t)bounds.max_size + 1);
    volatile double sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < repeats; k++) {
        const matrixhyper::sorn_sizing sizing = matrixhyper::sorn_workspace_size(
            request.max_size, request.n, false, python_array_byte_limit);
        std::vector<unsigned char> workspace(sizing.workspace_bytes);
        sink = sink + matrixhyper::sorn_series(request, sizing, workspace.data(), sums.data()).value;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / repeats;
}

// Seconds per call of matrix_pfq's core alone at the given eigenvalues.
double matrix_pfq_core_seconds(const double_array &a, const double_array &b, const double_array &x,
                               int repeats)
{
    matrixhyper::pfq_problem problem;
    problem.a = to_vector(a);
    problem.b = to_vector(b);
    problem.x = to_vector(x);
    matrixhyper::pfq_options options;
    options.memory_limit = table_memory_budget();
    volatile double sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < repeats; k++) sink = sink + matrixhyper::matrix_pfq(problem, options).value;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / repeats;
}

} // namespace

PYBIND11_MODULE(_core, module)
{
    module.doc() = "The numerical core of matrixhyper; call it through the package's functions.";
    main_thread_ident = py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();

    // Each call reads plain Python values; the package has checked them.
    module.def(
        "sorn",
        [](int max_size, int max_part, double alpha, const double_array &a, const double_array &b,
           const double_array &x, const py::object &y, int threads) {
            return sorn({max_size, max_part}, alpha, a, b, x, y, threads);
        });
    module.def("brint", [](int max_size, int max_part, double alpha, const double_array &a,
                           const double_array &b, int n, const double_array &x) {
        return brint({max_size, max_part}, alpha, a, b, n, x);
    });
    module.def("matrix_pfq", [](const double_array &a, const double_array &b, const double_array &x,
                                const py::object &y, double alpha, double tol, int max_degree,
                                bool log_result, int threads) {
        return matrix_pfq(a, b, x, y, {alpha, tol, max_degree, log_result, threads});
    });
    module.def("wishart_eig_cdf", [](const double_array &x, int m, double n, int field, int which,
                                     int tail, const py::object &sigma) {
        return wishart_eig_cdf(x, m, n, {field, which, tail}, sigma);
    });
    module.def("sorn_core_seconds", [](int max_size, int max_part, double alpha, const double_array &a,
                                       const double_array &b, const double_array &x, int repeats) {
        return sorn_core_seconds({max_size, max_part}, alpha, a, b, x, repeats);
    });
    module.def("matrix_pfq_core_seconds", &matrix_pfq_core_seconds);
}
