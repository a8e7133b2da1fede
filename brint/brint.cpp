/* brint.cpp: MEX gateway of brint, the truncated series pFq(a; b; x I_n) with
 * Jack parameter alpha, evaluated at every element of x.
 *
 *   values = brint([max_size max_part], alpha, a, b, n, x)
 *   [values, degree_sums] = brint(...)
 */
#include <cmath>
#include <cstdint>

#include "mex.h"
#include "matrixhyper/coefficient_walk.h"

extern "C" void mexfilerequiredapiversion(unsigned int *built_by_release,
                                          unsigned int *target_api_version);

enum { BOUNDS, ALPHA, NUM_PARAMS, DEN_PARAMS, VARIABLES, POINTS, INPUTS };

static bool is_scalar(const mxArray *array)
{
    return mxGetM(array) == 1 && mxGetN(array) == 1;
}

/* A row, a column or an empty array. */
static bool is_vector(const mxArray *array)
{
    return !(mxGetM(array) > 1 && mxGetN(array) > 1);
}

/* A row or a column, possibly 1-by-0 or 0-by-1. */
static bool is_row_or_column(const mxArray *array)
{
    return mxGetM(array) == 1 || mxGetN(array) == 1;
}

/* Ranges in which truncation toward zero gives a usable int: max_size + 1
 * must fit, n must. NaN and Inf fail both comparisons. */
static bool is_max_size(double value)
{
    return value > -1.0 && value < 2147483647.0;
}

static bool is_variable_count(double value)
{
    return value > -1.0 && value < 2147483648.0;
}

/* Truncation toward zero into the int range. Clamping changes no result:
 * above max_size a part bound admits every partition, and at or below 0 it
 * admits only the empty one. */
static int clamped_part_bound(double value)
{
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return (int)value;
}

/* Checks on the values, after the class and shape checks: every call that
 * passes them stays within the int ranges and the work arrays. */
static const char *value_error(const mxArray *prhs[])
{
    for (int i = 0; i < INPUTS; i++)
        if (mxIsComplex(prhs[i]) || mxIsSparse(prhs[i]))
            return "All inputs must be real full double arrays.";
    const double *bounds = mxGetPr(prhs[BOUNDS]);
    if (!is_max_size(bounds[0]))
        return "First input must hold a max size of partition from 0 to 2147483646.";
    if (mxGetNumberOfElements(prhs[BOUNDS]) == 2 && std::isnan(bounds[1]))
        return "First input must not hold NaN as max size of the largest part.";
    if (!is_variable_count(mxGetPr(prhs[VARIABLES])[0]))
        return "Fifth input must be a number of variables from 0 to 2147483647.";
    return 0;
}

/* The message of the first failing argument check, or null. */
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[])
{
    if (nrhs != INPUTS) return "brint takes six input arguments.";
    if (nlhs > 2) return "Too many output arguments.";
    for (int i = 0; i < INPUTS; i++)
        if (!mxIsDouble(prhs[i])) return "All inputs must be double arrays.";
    const mxArray *bounds = prhs[BOUNDS];
    if (mxGetM(bounds) != 1 || mxGetN(bounds) == 0 || mxGetN(bounds) > 2)
        return "First input must be an array of size 1 or 2 = "
               "[max size of partition, max size of the largest part].";
    if (!is_scalar(prhs[ALPHA])) return "Second input must be a scalar = alpha.";
    if (!is_vector(prhs[NUM_PARAMS])) return "Third input must be a vector = (a_1,...,a_p).";
    if (!is_vector(prhs[DEN_PARAMS])) return "Forth input must be a vector = (b_1,...,b_q).";
    if (!is_scalar(prhs[VARIABLES]))
        return "Fifth input must be a scalar = number of variables.";
    if (!is_row_or_column(prhs[POINTS])) return "Sixth input must be a vector = x.";
    return value_error(prhs);
}

/* values[i] := degree_sums[0] + degree_sums[1] x[i] + ... by Horner's rule,
 * starting from 0 (so an infinite point gives NaN). */
static void evaluate_polynomial(const double *degree_sums, int max_size,
                                const double *x, size_t k, double *values)
{
    for (size_t i = 0; i < k; i++) {
        double y = 0.0;
        for (int d = max_size; d >= 0; d--) y = y * x[i] + degree_sums[d];
        values[i] = y;
    }
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    const char *error = argument_error(nlhs, nrhs, prhs);
    if (error) {
        mexErrMsgTxt(error);                       /* does not return */
        return;
    }
    const double *x = mxGetPr(prhs[POINTS]);
    size_t k = mxGetNumberOfElements(prhs[POINTS]);
    const double *a = mxGetPr(prhs[NUM_PARAMS]);
    size_t p = mxGetNumberOfElements(prhs[NUM_PARAMS]);
    const double *b = mxGetPr(prhs[DEN_PARAMS]);
    size_t q = mxGetNumberOfElements(prhs[DEN_PARAMS]);
    int max_size = (int)mxGetPr(prhs[BOUNDS])[0];
    int max_part = mxGetNumberOfElements(prhs[BOUNDS]) == 2
                   ? clamped_part_bound(mxGetPr(prhs[BOUNDS])[1]) : max_size;
    double alpha = mxGetPr(prhs[ALPHA])[0];
    int n = (int)mxGetPr(prhs[VARIABLES])[0];

    plhs[0] = mxDuplicateArray(prhs[POINTS]);      /* stored even when nlhs is 0 */
    double *values = mxGetPr(plhs[0]);
    size_t degrees = (size_t)max_size + 1;
    double *degree_sums;
    if (nlhs == 2) {
        plhs[1] = mxCreateDoubleMatrix(1, (mwSize)degrees, mxREAL);
        degree_sums = mxGetPr(plhs[1]);
    } else {
        degree_sums = (double *)mxMalloc(degrees * sizeof(double));
    }
    for (size_t d = 0; d < degrees; d++) degree_sums[d] = 0.0;
    degree_sums[0] = 1.0;                          /* term of the empty partition */

    struct walk_arrays work;
    work.rows = walk_rows(max_size, n);
    size_t entries = (size_t)work.rows + 1;
    work.kappa = (int *)mxCalloc(entries, sizeof(int));
    work.level_coef = (double *)mxMalloc(entries * sizeof(double));
    work.shifted_parts = (double *)mxMalloc(entries * sizeof(double));
    coefficient_walk(max_size, max_part, alpha, a, p, b, q, n, degree_sums, &work);

    evaluate_polynomial(degree_sums, max_size, x, k, values);

    mxFree(work.shifted_parts);
    mxFree(work.level_coef);
    mxFree(work.kappa);
    if (nlhs != 2) mxFree(degree_sums);
}

/* The MEX API release the plug-in was built for (0x2017A) and its API level. */
void mexfilerequiredapiversion(unsigned int *built_by_release,
                               unsigned int *target_api_version)
{
    *built_by_release = 131450;
    *target_api_version = 0;
}
