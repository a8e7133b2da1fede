// jacobi_inv_call.cpp: jacobi_eig_inv, read and checked as the plug-in reads
// its arguments: P, p, m, n, then the keyword options.
#include <string>

#include "calls.h"
#include "input_array.h"
#include "jacobi_request.h"
#include "matrixhyper/jacobi_inv.h"
#include "released_call.h"

namespace matrixhyper_python {

py::tuple jacobi_eig_inv(const py::object &P, const jacobi_model &model, const jacobi_call_options &options)
{
    const input_array probabilities = read_probabilities(P);
    matrixhyper::jacobi_eig_request request;
    read_jacobi_request(model, options, request);

    double_array x(probabilities.shape()), err(probabilities.shape());
    double *quantiles = x.mutable_data(), *errors = err.mutable_data();
    matrixhyper::jacobi_inv_outcome outcome;
    {
        released_call call;
        request.interrupt = call.interrupt();
        outcome = matrixhyper::jacobi_eig_inv(request, probabilities.data(), probabilities.size, quantiles,
                                              errors);
        call.finish();
    }
    if (outcome.status == matrixhyper::jacobi_status::interrupted) raise_interrupted();
    const std::string message =
        outcome.status == matrixhyper::jacobi_status::not_converged
            ? unresolved_quantiles_message(outcome.unresolved, probabilities.size, outcome.message)
            : outcome.message;
    return py::make_tuple(jacobi_status_names[(int)outcome.status], x, err, message);
}

// Registers jacobi_eig_inv in the module (see core_module.cpp).
void define_jacobi_eig_inv(py::module_ &module)
{
    module.def(
        "jacobi_eig_inv",
        [](const py::object &P, const py::object &p, const py::object &m, const py::object &n,
           const py::object &field, const py::object &which, const py::object &tail) {
            return jacobi_eig_inv(P, {p, m, n}, {field, which, tail, py::bool_(false)});
        },
        py::arg("P"), py::arg("p"), py::arg("m"), py::arg("n"), py::arg("field"), py::arg("which"),
        py::arg("tail"));
}

} // namespace matrixhyper_python
