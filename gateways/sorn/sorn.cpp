// sorn.cpp: gateway of the sorn plug-in, the truncated hypergeometric
// function of one or two matrix arguments given by their eigenvalues:
//   [value, degree_sums] = sorn([max_size max_part], alpha, a, b, x [, y])
#include <cmath>

#include "mex.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrixhyper/sorn_series.h"

using namespace gateway;

enum { BOUNDS, ALPHA, NUM_PARAMS, DEN_PARAMS, POINTS_X, POINTS_Y };

// Checks on the values, after the class and shape checks: every call that
// passes them stays within the int ranges and has a y as long as x.
static const char *value_error(int nrhs, const mxArray *prhs[], message_buffer &message)
{
    for (int i = 0; i < nrhs; i++)
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
    if (nrhs == 6 && mxGetNumberOfElements(prhs[POINTS_Y]) < mxGetNumberOfElements(prhs[POINTS_X]))
        return "Sixth input must have at least as many elements as the fifth input.";
    return 0;
}

// The message of the first failing argument check, or null.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[],
                                  message_buffer &message)
{
    if (nrhs != 5 && nrhs != 6) return "Must have five or six input arguments.";
    if (nlhs > 2) return "Too many output arguments.";
    for (int i = 0; i < nrhs; i++)
        if (!mxIsDouble(prhs[i])) return "All inputs must be double arrays.";
    if (!is_size_bounds(prhs[BOUNDS]))
        return "First input must be a scalar = max size of partition.";
    if (!is_scalar(prhs[ALPHA])) return "Second input must be a scalar = alpha.";
    if (!is_vector_or_empty(prhs[NUM_PARAMS])) return "Third input must be a vector = (a_1,...,a_p).";
    if (!is_vector_or_empty(prhs[DEN_PARAMS])) return "Forth input must be a vector = (b_1,...,b_q).";
    if (!is_row_or_column(prhs[POINTS_X])) return "Fifth input must be a vector = x.";
    if (nrhs == 6 && !is_row_or_column(prhs[POINTS_Y])) return "Sixth input must be a vector = y.";
    return value_error(nrhs, prhs, message);
}

// The refusal of a call whose tables cannot exist.
static const char *sizing_error(const matrixhyper::sorn_sizing &sizing, int max_size, size_t n,
                                message_buffer &message)
{
    using matrixhyper::sorn_sizing_status;
    const long long n_values = (long long)n;
    switch (sizing.status) {
    case sorn_sizing_status::too_many_values:
        return message.format("First and fifth inputs need n = %llu values of x, more than %lld.",
                              (unsigned long long)n, sizing.position_limit);
    case sorn_sizing_status::too_many_partitions:
        return message.format("First and fifth inputs need tables of %s%lld partitions, more than %lld.",
                              sizing.table_size_exact ? "" : "at least ", sizing.table_size,
                              sizing.position_limit);
    default:
        if (n > 0)
            return message.format("First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                                  "n = %lld, tables of %lld partitions), more than %lld.",
                                  sizing.largest_array_bytes, max_size, n_values, sizing.table_size,
                                  host_array_byte_limit());
        return message.format("First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                              "n = 0), more than %lld.",
                              sizing.largest_array_bytes, max_size, host_array_byte_limit());
    }
}

// The series request of a checked call; the host's interrupt query is polled
// on this thread while the tables fill on as many threads as the core chooses.
static matrixhyper::sorn_request read_request(int nrhs, const mxArray *prhs[],
                                              const matrixhyper::interrupt_check *interrupt)
{
    matrixhyper::sorn_request request;
    request.interrupt = interrupt;
    const size_bounds bounds = read_size_bounds(prhs[BOUNDS]);
    request.max_size = (int)bounds.max_size;
    request.max_part = bounds.has_part ? clamped_part_bound(bounds.max_part) : request.max_size;
    request.alpha = mxGetPr(prhs[ALPHA])[0];
    request.a = mxGetPr(prhs[NUM_PARAMS]);
    request.p = mxGetNumberOfElements(prhs[NUM_PARAMS]);
    request.b = mxGetPr(prhs[DEN_PARAMS]);
    request.q = mxGetNumberOfElements(prhs[DEN_PARAMS]);
    request.n = mxGetNumberOfElements(prhs[POINTS_X]);
    request.x = mxGetPr(prhs[POINTS_X]);
    request.y = nrhs == 6 ? mxGetPr(prhs[POINTS_Y]) : 0; // only the first n values are read
    return request;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, message);
    if (error) {
        mexErrMsgTxt(error);                      // does not return
        return;
    }
    const matrixhyper::interrupt_check interrupt = host_interrupt_check();
    const matrixhyper::sorn_request request = read_request(nrhs, prhs, &interrupt);

    const matrixhyper::sorn_sizing sizing = matrixhyper::sorn_workspace_size(
        request.max_size, request.n, request.y != 0, host_array_byte_limit(), 0,
        thread_count_setting());
    if (sizing.status != matrixhyper::sorn_sizing_status::ok) {
        mexErrMsgTxt(sizing_error(sizing, request.max_size, request.n, message));
        return;
    }

    plhs[0] = mxDuplicateArray(prhs[ALPHA]);      // a 1-by-1 double for the value
    size_t degrees = (size_t)request.max_size + 1;
    double *degree_sums;
    if (nlhs == 2) {
        plhs[1] = mxCreateDoubleMatrix(1, (mwSize)degrees, mxREAL);
        degree_sums = mxGetPr(plhs[1]);
    } else {
        degree_sums = (double *)mxMalloc(degrees * sizeof(double));
    }
    void *workspace = sizing.workspace_bytes > 0 ? mxMalloc(sizing.workspace_bytes) : 0;

    const matrixhyper::sorn_result result = matrixhyper::sorn_series(request, sizing, workspace, degree_sums);

    if (workspace) mxFree(workspace);
    if (nlhs != 2) mxFree(degree_sums);
    if (result.status == matrixhyper::sorn_status::interrupted) end_interrupted_call("sorn");
    mxGetPr(plhs[0])[0] = result.value;
}

extern "C" const char *mexVersion(void)
{
    return "MATLAB R14 native";
}
