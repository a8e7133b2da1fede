// core_module.cpp: the extension module matrixhyper._core, the core's calls
// for the Python package (see calls.h), and what they share: the thread
// count the caller asks for and the memory the tables may take.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include <unistd.h>

#include "calls.h"
#include "released_call.h"

namespace matrixhyper_python {

// The machine's hardware threads, asked once when the module is imported:
// the query reads system files, which costs more than a small call.
static const int hardware_threads = std::max(1, (int)std::thread::hardware_concurrency());

int thread_count_from_environment()
{
    const char *text = std::getenv("MATRIXHYPER_THREADS");
    if (text == nullptr || *text == '\0') return hardware_threads;
    char *end = nullptr;
    errno = 0;
    const long count = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || count < 1) return hardware_threads;
    // The core caps the count at the most threads a call starts; an int
    // must hold it first.
    return count > 1024 ? 1024 : (int)count;
}

// Asking the system for its memory costs microseconds (a system call), more
// than a scalar call itself: it is asked once, when the module is imported.
static std::size_t physical_memory_half()
{
    const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return (std::size_t)pages / 2 * (std::size_t)page_size;
}

static const std::size_t memory_budget = physical_memory_half();

std::size_t table_memory_budget()
{
    return memory_budget;
}

} // namespace matrixhyper_python

namespace mp = matrixhyper_python;
using pybind11::arg;

PYBIND11_MODULE(_core, module)
{
    module.doc() = "The numerical core of matrixhyper; call it through the package's functions.";
    mp::set_main_thread(pybind11::module_::import("threading").attr("main_thread")().attr("ident")
                            .cast<unsigned long>());

    module.def("sorn", &mp::sorn, arg("bounds"), arg("alpha"), arg("a"), arg("b"), arg("x"), arg("y"));
    module.def("brint", &mp::brint, arg("bounds"), arg("alpha"), arg("a"), arg("b"), arg("n"), arg("x"));
    module.def(
        "matrix_pfq",
        [](const pybind11::object &a, const pybind11::object &b, const pybind11::object &x,
           const pybind11::object &y, const pybind11::object &alpha, const pybind11::object &tol,
           const pybind11::object &max_degree, const pybind11::object &log) {
            return mp::matrix_pfq(a, b, x, y, {alpha, tol, max_degree, log});
        },
        arg("a"), arg("b"), arg("x"), arg("y"), arg("alpha"), arg("tol"), arg("max_degree"), arg("log"));
    module.def(
        "wishart_eig_cdf",
        [](const pybind11::object &x, const pybind11::object &m, const pybind11::object &n,
           const pybind11::object &field, const pybind11::object &which, const pybind11::object &tail,
           const pybind11::object &sigma, const pybind11::object &log, const pybind11::object &tol) {
            return mp::wishart_eig_cdf(x, m, n, {field, which, tail, sigma, log, tol});
        },
        arg("x"), arg("m"), arg("n"), arg("field"), arg("which"), arg("tail"), arg("sigma"), arg("log"),
        arg("tol"));
    module.def(
        "wishart_eig_inv",
        [](const pybind11::object &P, const pybind11::object &m, const pybind11::object &n,
           const pybind11::object &field, const pybind11::object &which, const pybind11::object &tail,
           const pybind11::object &sigma) {
            return mp::wishart_eig_inv(P, m, n, {field, which, tail, sigma, pybind11::none(), pybind11::none()});
        },
        arg("P"), arg("m"), arg("n"), arg("field"), arg("which"), arg("tail"), arg("sigma"));
    module.def(
        "jacobi_eig_cdf",
        [](const pybind11::object &x, const pybind11::object &p, const pybind11::object &m,
           const pybind11::object &n, const pybind11::object &field, const pybind11::object &which,
           const pybind11::object &tail, const pybind11::object &log) {
            return mp::jacobi_eig_cdf(x, {p, m, n}, {field, which, tail, log});
        },
        arg("x"), arg("p"), arg("m"), arg("n"), arg("field"), arg("which"), arg("tail"), arg("log"));
    mp::define_jacobi_eig_inv(module);
    module.def("thread_count", &mp::thread_count_from_environment);
    module.def("sorn_core_seconds", &mp::sorn_core_seconds);
    module.def("matrix_pfq_core_seconds", &mp::matrix_pfq_core_seconds);
}
