// wishart_eig_inv.cpp: gateway of the wishart_eig_inv plug-in, quantiles
// (critical values, detection thresholds) of the largest or smallest
// eigenvalue of a Wishart matrix:
//   [x, err] = wishart_eig_inv(P, m, n, name, value, ...)
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mex.h"
#include "extreme_options.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrix_argument.h"
#include "matrixhyper/wishart_inv.h"
#include "options.h"

using namespace gateway;

enum { PROBABILITIES, DIMENSION, DEGREES };

// Everything a checked call asks for, apart from P.
struct call_request {
    matrixhyper::wishart_cdf_request core;
    const mxArray *sigma = nullptr;
};

static const char *read_option(const char *name, const mxArray *value, call_request &request,
                               message_buffer &message)
{
    const char *refusal = 0;
    const extreme_choices choices = {request.core.field, request.core.which, request.core.tail};
    switch (read_extreme_option(name, value, choices, &refusal)) {
    case extreme_option::read: return 0;
    case extreme_option::refused: return refusal;
    case extreme_option::other: break;
    }
    if (same_name(name, "sigma")) {
        request.sigma = value;
        return 0;
    }
    return message.format("Unknown option '%s': the options are 'field', 'which', "
                          "'tail' and 'sigma'.", name);
}

static const char *options_error(int nrhs, const mxArray *prhs[], call_request &request,
                                 message_buffer &message)
{
    if ((nrhs - 3) % 2 != 0) return "Options must come in name/value pairs.";
    for (int i = 3; i < nrhs; i += 2) {
        char name[32];
        if (!read_text(prhs[i], name, sizeof name))
            return "Option names must be text: 'field', 'which', 'tail' or 'sigma'.";
        const char *error = read_option(name, prhs[i + 1], request, message);
        if (error) return error;
    }
    return 0;
}

// The message of the first failing check, or null; fills `request`.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[], call_request &request,
                                  message_buffer &message)
{
    if (nrhs < 3) return "wishart_eig_inv takes P, m and n, then name/value options.";
    if (nlhs > 2) return "Too many output arguments.";
    const char *error = probabilities_error(prhs[PROBABILITIES]);
    if (error) return error;
    double m, n;
    if (!read_real_scalar(prhs[DIMENSION], &m) || !(m >= 1 && m <= matrixhyper::wishart_series_max_m) ||
        m != std::floor(m))
        return message.format("Second input must be a whole number m from 1 to %d.",
                              matrixhyper::wishart_series_max_m);
    if (!read_real_scalar(prhs[DEGREES], &n) || !std::isfinite(n) || !(n > m - 1) ||
        n > matrixhyper::wishart_eig_max_n)
        return message.format("Third input must be a number n greater than m - 1, at most %d.",
                              matrixhyper::wishart_eig_max_n);
    request.core.m = (int)m;
    request.core.n = n;
    return options_error(nrhs, prhs, request, message);
}

// What the core returned, in plain storage, so that nothing of the core is
// alive when the call reports an error or a warning.
struct call_outcome {
    matrixhyper::wishart_cdf_status status;
    bool refused_input;
    char message[512];
};

static call_outcome evaluate(call_request &request, const mxArray *P, double *x, double *err)
{
    call_outcome outcome = {};
    const char *error = read_sigma(request.sigma, request.core);
    if (error) {
        outcome.refused_input = true;
        std::snprintf(outcome.message, sizeof outcome.message, "%s", error);
        return outcome;
    }
    matrixhyper::interrupt_check interrupt = host_interrupt_check();
    request.core.interrupt = &interrupt;
    request.core.memory_limit = table_memory_budget();
    request.core.threads = thread_count_setting();
    const std::size_t count = mxGetNumberOfElements(P);
    const matrixhyper::wishart_inv_outcome result =
        matrixhyper::wishart_eig_inv(request.core, mxGetPr(P), count, x, err);
    outcome.status = result.status;
    if (result.status == matrixhyper::wishart_cdf_status::not_converged)
        describe_unresolved(result.unresolved, count, result.message, outcome.message, sizeof outcome.message);
    else
        std::snprintf(outcome.message, sizeof outcome.message, "%s", result.message.c_str());
    return outcome;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    call_request request;
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, request, message);
    if (error) mexErrMsgIdAndTxt("wishart_eig_inv:invalidInput", "%s", error);

    plhs[0] = mxDuplicateArray(prhs[PROBABILITIES]);       // x has the shape of P
    mxArray *errors = mxDuplicateArray(prhs[PROBABILITIES]);
    call_outcome outcome = evaluate(request, prhs[PROBABILITIES], mxGetPr(plhs[0]), mxGetPr(errors));

    if (outcome.refused_input) mexErrMsgIdAndTxt("wishart_eig_inv:invalidInput", "%s", outcome.message);
    switch (outcome.status) {
    case matrixhyper::wishart_cdf_status::interrupted:
        end_interrupted_call("wishart_eig_inv");
    case matrixhyper::wishart_cdf_status::invalid_argument:
        mexErrMsgIdAndTxt("wishart_eig_inv:invalidInput", "%s", outcome.message);
        break;                                   // not reached: the error ends the call
    case matrixhyper::wishart_cdf_status::out_of_memory:
        mexErrMsgIdAndTxt("wishart_eig_inv:outOfMemory", "%s", outcome.message);
        break;
    case matrixhyper::wishart_cdf_status::numerical_failure:
        mexErrMsgIdAndTxt("wishart_eig_inv:numericalFailure", "%s", outcome.message);
        break;
    case matrixhyper::wishart_cdf_status::not_converged:
        mexWarnMsgIdAndTxt("wishart_eig_inv:notConverged", "%s", outcome.message);
        break;
    case matrixhyper::wishart_cdf_status::ok: break;
    }
    if (nlhs >= 2)
        plhs[1] = errors;
    else
        mxDestroyArray(errors);
}
