// jacobi_request.h: the sizes and options that jacobi_eig_cdf and
// jacobi_eig_inv share, read as their plug-ins read them.
#ifndef MATRIXHYPER_PYTHON_JACOBI_REQUEST_H
#define MATRIXHYPER_PYTHON_JACOBI_REQUEST_H

#include "calls.h"
#include "matrixhyper/jacobi_eig.h"

namespace matrixhyper_python {

// p, m and n, then 'field', 'which' and 'tail', into `request`; refuses the
// first that fails with the plug-in's message.
void read_jacobi_request(const jacobi_model &model, const jacobi_call_options &options,
                         matrixhyper::jacobi_eig_request &request);

// The core's jacobi_status by name, in the enum's order.
extern const char *const jacobi_status_names[];

} // namespace matrixhyper_python

#endif // MATRIXHYPER_PYTHON_JACOBI_REQUEST_H
