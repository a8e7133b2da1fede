// jacobi_eig_cdf.cpp: gateway of the jacobi_eig_cdf plug-in, the distribution
// of the largest (Roy's largest root) or smallest eigenvalue of the matrix
// Beta ensemble:
//   [P, err] = jacobi_eig_cdf(x, p, m, n, name, value, ...)
#include <cmath>
#include <cstdio>

#include "mex.h"
#include "extreme_options.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrixhyper/jacobi_eig.h"
#include "options.h"

using namespace gateway;

enum { POINTS, DIMENSION, HYPOTHESIS, ERROR_DEGREES, FIRST_OPTION };

static const char *read_option(const char *name, const mxArray *value,
                               matrixhyper::jacobi_eig_request &request, message_buffer &message)
{
    const char *refusal = 0;
    switch (read_extreme_option(name, value, {request.field, request.which, request.tail}, &refusal)) {
    case extreme_option::read: return 0;
    case extreme_option::refused: return refusal;
    case extreme_option::other: break;
    }
    if (same_name(name, "log")) {
        if (!read_flag(value, &request.log_result)) return "Option 'log' must be true or false.";
        return 0;
    }
    return message.format("Unknown option '%s': the options are 'field', 'which', "
                          "'tail' and 'log'.", name);
}

static const char *options_error(int nrhs, const mxArray *prhs[], matrixhyper::jacobi_eig_request &request,
                                 message_buffer &message)
{
    if ((nrhs - FIRST_OPTION) % 2 != 0) return "Options must come in name/value pairs.";
    for (int i = FIRST_OPTION; i < nrhs; i += 2) {
        char name[32];
        if (!read_text(prhs[i], name, sizeof name))
            return "Option names must be text: 'field', 'which', 'tail' or 'log'.";
        const char *error = read_option(name, prhs[i + 1], request, message);
        if (error) return error;
    }
    return 0;
}

// x: real, full, finite, within [0, 1].
static const char *points_error(const mxArray *x)
{
    if (!is_real_full_double(x)) return "First input must be a real double array of points x.";
    const double *values = mxGetPr(x);
    for (size_t i = 0; i < mxGetNumberOfElements(x); i++) {
        if (!std::isfinite(values[i])) return "First input must hold finite points x.";
        if (!(values[i] >= 0 && values[i] <= 1)) return "First input must hold points x in [0, 1].";
    }
    return 0;
}

// The message of the first failing check, or null; fills `request`.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[],
                                  matrixhyper::jacobi_eig_request &request, message_buffer &message)
{
    if (nrhs < FIRST_OPTION) return "jacobi_eig_cdf takes x, p, m and n, then name/value options.";
    if (nlhs > 2) return "Too many output arguments.";
    const char *error = points_error(prhs[POINTS]);
    if (error) return error;
    error = jacobi_model_error(prhs + DIMENSION, request, message);
    if (error) return error;
    return options_error(nrhs, prhs, request, message);
}

// What the core returned, in plain storage, so that nothing of the core is
// alive when the call reports an error.
struct call_outcome {
    matrixhyper::jacobi_status status;
    char message[512];
};

static call_outcome evaluate(matrixhyper::jacobi_eig_request &request, const mxArray *x, double *P, double *err)
{
    call_outcome outcome = {};
    matrixhyper::interrupt_check interrupt = host_interrupt_check();
    request.interrupt = &interrupt;
    const matrixhyper::jacobi_eig_outcome result =
        matrixhyper::jacobi_eig_cdf(request, mxGetPr(x), mxGetNumberOfElements(x), P, err);
    outcome.status = result.status;
    std::snprintf(outcome.message, sizeof outcome.message, "%s", result.message.c_str());
    return outcome;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    matrixhyper::jacobi_eig_request request;
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, request, message);
    if (error) mexErrMsgIdAndTxt("jacobi_eig_cdf:invalidInput", "%s", error);

    plhs[0] = mxDuplicateArray(prhs[POINTS]);              // P has the shape of x
    // err costs a second evaluation: only when asked for.
    mxArray *errors = nlhs >= 2 ? mxDuplicateArray(prhs[POINTS]) : nullptr;
    call_outcome outcome = evaluate(request, prhs[POINTS], mxGetPr(plhs[0]), errors ? mxGetPr(errors) : nullptr);

    switch (outcome.status) {
    case matrixhyper::jacobi_status::interrupted:
        end_interrupted_call("jacobi_eig_cdf");
    case matrixhyper::jacobi_status::invalid_argument:
        mexErrMsgIdAndTxt("jacobi_eig_cdf:invalidInput", "%s", outcome.message);
        break;                                   // not reached: the error ends the call
    case matrixhyper::jacobi_status::out_of_reach:
        mexErrMsgIdAndTxt("jacobi_eig_cdf:outOfReach", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::out_of_memory:
        mexErrMsgIdAndTxt("jacobi_eig_cdf:outOfMemory", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::numerical_failure:
        mexErrMsgIdAndTxt("jacobi_eig_cdf:numericalFailure", "%s", outcome.message);
        break;
    case matrixhyper::jacobi_status::not_converged:   // the quantiles' status, not the CDF's
    case matrixhyper::jacobi_status::ok: break;
    }
    if (errors) plhs[1] = errors;
}
