// wishart_eig_cdf.cpp: gateway of the wishart_eig_cdf plug-in, the
// distribution of the largest or smallest eigenvalue of a Wishart matrix:
//   [P, err] = wishart_eig_cdf(x, m, n, name, value, ...)
#include <cmath>
#include <cstdio>
#include <vector>

#include "mex.h"
#include "extreme_options.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrix_argument.h"
#include "matrixhyper/wishart_cdf.h"
#include "options.h"

using namespace gateway;

enum { POINTS, DIMENSION, DEGREES };

// Everything a checked call asks for, apart from x.
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
    } else if (same_name(name, "log")) {
        if (!read_flag(value, &request.core.log_result)) return "Option 'log' must be true or false.";
    } else if (same_name(name, "tol")) {
        double tol;
        if (!read_real_scalar(value, &tol) || !(tol > 0 && tol < 1))
            return "Option 'tol' must be a number in (0, 1).";
        request.core.tol = tol;
    } else {
        return message.format("Unknown option '%s': the options are 'field', 'which', "
                              "'tail', 'sigma', 'log' and 'tol'.", name);
    }
    return 0;
}

static const char *options_error(int nrhs, const mxArray *prhs[], call_request &request,
                                 message_buffer &message)
{
    if ((nrhs - 3) % 2 != 0) return "Options must come in name/value pairs.";
    for (int i = 3; i < nrhs; i += 2) {
        char name[32];
        if (!read_text(prhs[i], name, sizeof name))
            return "Option names must be text: 'field', 'which', 'tail', 'sigma', 'log' or 'tol'.";
        const char *error = read_option(name, prhs[i + 1], request, message);
        if (error) return error;
    }
    return 0;
}

// x: real, full, finite.
static const char *points_error(const mxArray *x)
{
    if (!is_real_full_double(x)) return "First input must be a real double array of points x.";
    const double *values = mxGetPr(x);
    for (size_t i = 0; i < mxGetNumberOfElements(x); i++)
        if (!std::isfinite(values[i])) return "First input must hold finite points x.";
    return 0;
}

// The message of the first failing check, or null; fills `request`.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[], call_request &request,
                                  message_buffer &message)
{
    if (nrhs < 3) return "wishart_eig_cdf takes x, m and n, then name/value options.";
    if (nlhs > 2) return "Too many output arguments.";
    const char *error = points_error(prhs[POINTS]);
    if (error) return error;
    double m, n;
    if (!read_real_scalar(prhs[DIMENSION], &m) || !(m >= 1 && m <= matrixhyper::wishart_series_max_m) ||
        m != std::floor(m))
        return message.format("Second input must be a whole number m from 1 to %d.",
                              matrixhyper::wishart_series_max_m);
    // n < m is the core's to judge: it serves a whole n with white Sigma.
    if (!read_real_scalar(prhs[DEGREES], &n) || !std::isfinite(n) || !(n > 0) ||
        n > matrixhyper::wishart_eig_max_n)
        return message.format("Third input must be a positive number n, at most %d.",
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

static call_outcome evaluate(call_request &request, const mxArray *x, double *P, double *err)
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
    const matrixhyper::wishart_cdf_outcome result =
        matrixhyper::wishart_eig_cdf(request.core, mxGetPr(x), mxGetNumberOfElements(x), P, err);
    outcome.status = result.status;
    std::snprintf(outcome.message, sizeof outcome.message, "%s", result.message.c_str());
    return outcome;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    call_request request;
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, request, message);
    if (error) mexErrMsgIdAndTxt("wishart_eig_cdf:invalidInput", "%s", error);

    plhs[0] = mxDuplicateArray(prhs[POINTS]);              // P has the shape of x
    // err costs a second evaluation (exact route): only when asked for.
    mxArray *errors = nlhs >= 2 ? mxDuplicateArray(prhs[POINTS]) : nullptr;
    call_outcome outcome = evaluate(request, prhs[POINTS], mxGetPr(plhs[0]), errors ? mxGetPr(errors) : nullptr);

    if (outcome.refused_input) mexErrMsgIdAndTxt("wishart_eig_cdf:invalidInput", "%s", outcome.message);
    switch (outcome.status) {
    case matrixhyper::wishart_cdf_status::interrupted:
        end_interrupted_call("wishart_eig_cdf");
    case matrixhyper::wishart_cdf_status::invalid_argument:
        mexErrMsgIdAndTxt("wishart_eig_cdf:invalidInput", "%s", outcome.message);
        break;                                   // not reached: the error ends the call
    case matrixhyper::wishart_cdf_status::out_of_memory:
        mexErrMsgIdAndTxt("wishart_eig_cdf:outOfMemory", "%s", outcome.message);
        break;
    case matrixhyper::wishart_cdf_status::numerical_failure:
        mexErrMsgIdAndTxt("wishart_eig_cdf:numericalFailure", "%s", outcome.message);
        break;
    case matrixhyper::wishart_cdf_status::not_converged:
        mexWarnMsgIdAndTxt("wishart_eig_cdf:notConverged", "%s", outcome.message);
        break;
    case matrixhyper::wishart_cdf_status::ok: break;
    }
    if (errors) plhs[1] = errors;
}
