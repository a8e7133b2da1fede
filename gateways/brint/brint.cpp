// brint.cpp: gateway of the brint plug-in, the truncated series
// pFq(a; b; x I_n) with Jack parameter alpha, evaluated at every element of x:
//   [values, degree_sums] = brint([max_size max_part], alpha, a, b, n, x)
#include <cmath>

#include "mex.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrixhyper/brint_series.h"

using namespace gateway;

extern "C" void mexfilerequiredapiversion(unsigned int *built_by_release,
                                          unsigned int *target_api_version);

enum { BOUNDS, ALPHA, NUM_PARAMS, DEN_PARAMS, VARIABLES, POINTS, INPUTS };

// Checks on the values, after the class and shape checks: every call that
// passes them stays within the int ranges and the work arrays.
static const char *value_error(const mxArray *prhs[], message_buffer &message)
{
    for (int i = 0; i < INPUTS; i++)
        if (mxIsComplex(prhs[i]) || mxIsSparse(prhs[i]))
            return "All inputs must be real full double arrays.";
    const size_bounds bounds = read_size_bounds(prhs[BOUNDS]);
    if (!is_max_size(bounds.max_size))
        return message.format("First input must hold a max size of partition from 0 to %d.",
                              largest_max_size);
    if (bounds.has_part && std::isnan(bounds.max_part))
        return "First input must not hold NaN as max size of the largest part.";
    if (!is_jack_parameter(mxGetPr(prhs[ALPHA])[0]))
        return "Second input must be a positive finite alpha.";
    if (!is_variable_count(mxGetPr(prhs[VARIABLES])[0]))
        return message.format("Fifth input must be a number of variables from 0 to %d.",
                              largest_variable_count);
    return 0;
}

// The message of the first failing argument check, or null.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[],
                                  message_buffer &message)
{
    if (nrhs != INPUTS) return "brint takes six input arguments.";
    if (nlhs > 2) return "Too many output arguments.";
    for (int i = 0; i < INPUTS; i++)
        if (!mxIsDouble(prhs[i])) return "All inputs must be double arrays.";
    if (!is_size_bounds(prhs[BOUNDS]))
        return "First input must be an array of size 1 or 2 = "
               "[max size of partition, max size of the largest part].";
    if (!is_scalar(prhs[ALPHA])) return "Second input must be a scalar = alpha.";
    if (!is_vector_or_empty(prhs[NUM_PARAMS])) return "Third input must be a vector = (a_1,...,a_p).";
    if (!is_vector_or_empty(prhs[DEN_PARAMS])) return "Forth input must be a vector = (b_1,...,b_q).";
    if (!is_scalar(prhs[VARIABLES])) return "Fifth input must be a scalar = number of variables.";
    if (!is_row_or_column(prhs[POINTS])) return "Sixth input must be a vector = x.";
    return value_error(prhs, message);
}

// The series request of a checked call, polling the host's interrupt query.
static matrixhyper::brint_request read_request(const mxArray *prhs[],
                                               const matrixhyper::interrupt_check *interrupt)
{
    matrixhyper::brint_request request;
    request.interrupt = interrupt;
    const size_bounds bounds = read_size_bounds(prhs[BOUNDS]);
    request.max_size = (int)bounds.max_size;
    request.max_part = bounds.has_part ? clamped_part_bound(bounds.max_part) : request.max_size;
    request.alpha = mxGetPr(prhs[ALPHA])[0];
    request.a = mxGetPr(prhs[NUM_PARAMS]);
    request.p = mxGetNumberOfElements(prhs[NUM_PARAMS]);
    request.b = mxGetPr(prhs[DEN_PARAMS]);
    request.q = mxGetNumberOfElements(prhs[DEN_PARAMS]);
    request.n = (int)mxGetPr(prhs[VARIABLES])[0];
    return request;
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, message);
    if (error) {
        mexErrMsgTxt(error);                       // does not return
        return;
    }
    const matrixhyper::interrupt_check interrupt = host_interrupt_check();
    const matrixhyper::brint_request request = read_request(prhs, &interrupt);

    const size_t workspace_bytes = matrixhyper::brint_workspace_size(request.max_size, request.n);

    plhs[0] = mxDuplicateArray(prhs[POINTS]);      // stored even when nlhs is 0
    size_t degrees = (size_t)request.max_size + 1;
    double *degree_sums;
    if (nlhs == 2) {
        plhs[1] = mxCreateDoubleMatrix(1, (mwSize)degrees, mxREAL);
        degree_sums = mxGetPr(plhs[1]);
    } else {
        degree_sums = (double *)mxMalloc(degrees * sizeof(double));
    }
    void *workspace = mxMalloc(workspace_bytes);

    const matrixhyper::brint_status status = matrixhyper::brint_coefficients(request, workspace, degree_sums);
    if (status == matrixhyper::brint_status::ok)
        matrixhyper::evaluate_degree_sums(degree_sums, request.max_size, mxGetPr(prhs[POINTS]),
                                          mxGetNumberOfElements(prhs[POINTS]), mxGetPr(plhs[0]));

    mxFree(workspace);
    if (nlhs != 2) mxFree(degree_sums);
    if (status == matrixhyper::brint_status::interrupted) end_interrupted_call("brint");
}

// The MEX API release the plug-in was built for (0x2017A) and its API level.
void mexfilerequiredapiversion(unsigned int *built_by_release,
                               unsigned int *target_api_version)
{
    *built_by_release = 131450;
    *target_api_version = 0;
}
