// jacobi_eig_inv.cpp: gateway of the jacobi_eig_inv plug-in, quantiles
// (critical values of Roy's largest root, MANOVA) of the largest or
// smallest eigenvalue of the matrix Beta ensemble:
//   [x, err] = jacobi_eig_inv(P, p, m, n, name, value, ...)
#include <cmath>
#include <cstdio>
#include <string>

#include "mex.h"
#include "extreme_options.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrixhyper/jacobi_inv.h"
#include "options.h"

using namespace gateway;

enum { PROBABILITIES, DIMENSION, HYPOTHESIS, ERROR_DEGREES, FIRST_OPTION };


static const char *read_option(const char *name, const mxArray *value,
                               matrixhyper::jacobi_eig_request &request, message_buffer &message)
{
    const char *refusal = 0;
    switch (read_extreme_option(name, value, {request.field, request.which, request.tail}, &refusal)) {
    case extreme_option::read: return 0;
    case extreme_option::refused: return refusal;
    case extreme_option::other: break;
    }
    return message.format("Unknown option '%s': the options are 'field', 'which' and 'tail'.", name);
}

static const char *options_error(int nrhs, const mxArray *prhs[], matrixhyper::jacobi_eig_request &request,
                                 message_buffer &message)
{
    if ((nrhs - FIRST_OPTION) % 2 != 0) return "Options must come in name/value pairs.";
    for (int i = FIRST_OPTION; i < nrhs; i += 2) {
        char name[32];
        if (!read_text(prhs[i], name, sizeof name))
            return "Option names must be text: 'field', 'which' or 'tail'.";
        const char *error = read_option(name, prhs[i + 1], request, message);
        if (error) return error;
    }
    return 0;
}

// The message of the first failing check, or null; fills `request`.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[],
                                  matrixhyper::jacobi_eig_request &request, message_buffer &message)
{
    if (nrhs < FIRST_OPTION) return "jacobi_eig_inv takes P, p, m and n, then name/value options.";
    if (nlhs > 2) return "Too many output arguments.";
    const char *error = probabilities_error(prhs[PROBABILITIES]);
    if (error) return error;
    error = jacobi_model_error(prhs + DIMENSION, request, message);
    if (error) return error;
    return options_error(nrhs, prhs, request, message);
}

// What the core returned, in plain storage, so that nothing of the core is
// alive when the call reports an error or a warning.
struct call_outcome {
    matrixhyper::jacobi_status status;
    char message[512];
};

static call_outcome evaluate(matrixhyper::jacobi_eig_request &request, const mxArray *P, double *x, double *err)
{
    call_outcome outcome = {};
    matrixhyper::interrupt_check interrupt = host_interrupt_check();
    request.interrupt = &interrupt;
    const std::size_t count = mxGetNumberOfElements(P);
    const matrixhyper::jacobi_inv_outcome result = matrixhyper::jacobi_eig_inv(request, mxGetPr(P), count, x, err);
    outcome.status = result.status;
    if (result.status == matrixhyper::jacobi_status::not_converged)
        describe_unresolved(result.unresolved, count, result.message, outcome.message, sizeof outcome.message);
    else
        std::snprintf(outcome.message, sizeof outcome.message, "%s", result.message.c_str());
    return outcome;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    matrixhyper::jacobi_eig_request request;
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, request, message);
    if (error) mexErrMsgIdAndTxt("jacobi_eig_inv:invalidInput", "%s", error);

    plhs[0] = mxDuplicateArray(prhs[PROBABILITIES]);       // x has the shape of P
    mxArray *errors = mxDuplicateArray(prhs[PROBABILITIES]);
    call_outcome outcome = evaluate(request, prhs[PROBABILITIES], mxGetPr(plhs[0]), mxGetPr(errors));

    switch (outcome.status) {
    case matrixhyper::jacobi_status::interrupted:
        end_interrupted_call("jacobi_eig_inv");
    case matrixhyper::jacobi_status::invalid_argument:
        mexErrMsgIdAndTxt("jacobi_eig_inv:invalidInput", "%s", outcome.message);
        break;                                   // not reached: the error ends the call
    case matrixhyper::jacobi_status::out_of_reach:
        mexErrMsgIdAndTxt("jacobi_eig_inv:outOfReach", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::out_of_memory:
        mexErrMsgIdAndTxt("jacobi_eig_inv:outOfMemory", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::numerical_failure:
        mexErrMsgIdAndTxt("jacobi_eig_inv:numericalFailure", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::not_converged:
        mexWarnMsgIdAndTxt("jacobi_eig_inv:notConverged", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::ok: break;
    }
    if (nlhs >= 2)
        plhs[1] = errors;
    else
        mxDestroyArray(errors);
}
