// sorn.cpp: gateway of the sorn plug-in, the truncated hypergeometric
// function of one or two matrix arguments given by their eigenvalues:
//   [value, degree_sums] = sorn([max_size max_part], alpha, a, b, x [, y])
#include <cmath>
#include <cstdio>

#include "mex.h"
#include "jack_tables.h"
#include "partition_walk.h"

static bool is_vector(const mxArray *array) // 1-by-n or n-by-1, n >= 0
{
    return mxGetM(array) == 1 || mxGetN(array) == 1;
}

static bool is_matrix(const mxArray *array) // more than one row and column
{
    return mxGetM(array) > 1 && mxGetN(array) > 1;
}

// The argument checks with their fixed messages, in their fixed order.
static void check_call(int nlhs, int nrhs, const mxArray *prhs[])
{
    if (nrhs != 5 && nrhs != 6)
        mexErrMsgTxt("Must have five or six input arguments.");
    if (nlhs > 2)
        mexErrMsgTxt("Too many output arguments.");
    for (int k = 0; k < 5; ++k)
        if (!mxIsDouble(prhs[k]))
            mexErrMsgTxt("All inputs must be double arrays.");
    if (nrhs == 6 && !mxIsDouble(prhs[5]))
        mexErrMsgTxt("All inputs must be double arrays.");
    if (mxGetM(prhs[0]) != 1 || mxGetN(prhs[0]) == 0 || mxGetN(prhs[0]) > 2)
        mexErrMsgTxt("First input must be a scalar = max size of partition.");
    if (mxGetM(prhs[1]) != 1 || mxGetN(prhs[1]) != 1)
        mexErrMsgTxt("Second input must be a scalar = alpha.");
    if (is_matrix(prhs[2]))
        mexErrMsgTxt("Third input must be a vector = (a_1,...,a_p).");
    if (is_matrix(prhs[3]))
        mexErrMsgTxt("Forth input must be a vector = (b_1,...,b_q).");
    if (!is_vector(prhs[4]))
        mexErrMsgTxt("Fifth input must be a vector = x.");
    if (nrhs == 6 && !is_vector(prhs[5]))
        mexErrMsgTxt("Sixth input must be a vector = y.");
}

// Checks of the values that the computation needs: real dense data, bounds
// that fit its 32-bit integers, a positive finite alpha, y long enough.
static void check_values(int nrhs, const mxArray *prhs[])
{
    for (int k = 0; k < nrhs; ++k)
        if (mxIsComplex(prhs[k]) || mxIsSparse(prhs[k]))
            mexErrMsgTxt("All inputs must be real full double arrays.");
    const double *bounds = mxGetPr(prhs[0]);
    // max_size + 1 must fit a signed 32-bit int; NaN fails both comparisons.
    if (!(bounds[0] > -1 && bounds[0] < 2147483647.0))
        mexErrMsgTxt("First input must hold a max size of partition from 0 to 2147483646.");
    if (mxGetN(prhs[0]) == 2 && std::isnan(bounds[1]))
        mexErrMsgTxt("First input must not hold NaN as max size of the largest part.");
    double alpha = mxGetPr(prhs[1])[0];
    if (!(alpha > 0) || !std::isfinite(alpha))
        mexErrMsgTxt("Second input must be a positive finite alpha.");
    if (nrhs == 6 && mxGetNumberOfElements(prhs[5]) < mxGetNumberOfElements(prhs[4]))
        mexErrMsgTxt("Sixth input must have at least as many elements as the fifth input.");
}

// Largest block, in bytes, that the host's size type can describe.
static long long max_block_bytes()
{
    if (sizeof(mwSize) < sizeof(long long))
        return 2147483647LL;          // 32-bit sizes
    return 9223372036854775807LL;     // 64-bit sizes
}

// Table positions for max_size and n values of x (0 when x is empty and no
// tables are needed); refuses counts beyond what a signed 32-bit position
// holds. The count itself stops once it passes that limit.
static long long count_positions_or_fail(int max_size, size_t n_values)
{
    char message[160];
    const long long limit = jack_tables_max_positions;
    if (n_values > (size_t)limit) {
        std::snprintf(message, sizeof message,
                      "First and fifth inputs need n = %llu values of x, more than %lld.",
                      (unsigned long long)n_values, limit);
        mexErrMsgTxt(message);
    }
    long long n = (long long)n_values;
    long long table_size = n > 0 ? count_table_size(max_size, n, limit) : 0;
    if (table_size > limit) { // exact up to three variables, a lower bound beyond
        std::snprintf(message, sizeof message,
                      "First and fifth inputs need tables of %s%lld partitions, more than %lld.",
                      n > 3 ? "at least " : "", table_size, limit);
        mexErrMsgTxt(message);
    }
    return table_size;
}

// Bytes of the largest array of the call, exact in long double (below 2^67).
static long double largest_array_bytes(int max_size, long long n, long long table_size)
{
    long double degrees = (long double)max_size + 1;
    long double largest = degrees * 8;                       // degree_sums
    if (n > 0) {
        long double rows = (long double)table_size + 1;
        long double candidates[] = {rows * n * 8,            // jack_x, jack_y
                                    rows * 4,                // index_table
                                    degrees * n * 8,         // powers_x, powers_y
                                    ((long double)n + 1) * 8}; // prefix and work arrays
        for (long double bytes : candidates)
            if (bytes > largest)
                largest = bytes;
    }
    return largest;
}

// Refuses bounds whose arrays the host's size type cannot describe; runs
// before any memory is requested. Returns the table size.
static int check_table_limits(int max_size, size_t n_values)
{
    long long table_size = count_positions_or_fail(max_size, n_values);
    long long n = (long long)n_values;
    long double bytes = largest_array_bytes(max_size, n, table_size);
    const long long byte_limit = max_block_bytes();
    if (bytes > byte_limit) {
        char message[200];
        if (n > 0)
            std::snprintf(message, sizeof message,
                          "First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                          "n = %lld, tables of %lld partitions), more than %lld.",
                          bytes, max_size, n, table_size, byte_limit);
        else
            std::snprintf(message, sizeof message,
                          "First and fifth inputs need an array of %.0Lf bytes (max size %d, "
                          "n = 0), more than %lld.",
                          bytes, max_size, byte_limit);
        mexErrMsgTxt(message);
    }
    return (int)table_size;
}

// Truncation toward zero of a max_part that is not NaN, clamped to the
// signed 32-bit range: beyond max_size it bounds nothing, at or below 0 it
// admits only the empty partition, so clamping keeps the result.
static int read_max_part(double value)
{
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return (int)value;
}

// Adds the terms of all partitions of size 1..max_size into degree_sums.
static void sum_series(int max_size, int max_part, double alpha, const series_parameters *parameters,
                       int n, const double *x, const double *y, int table_size, double *degree_sums)
{
    jack_tables tables;
    build_jack_tables(&tables, max_size, n, alpha, x, y, table_size);
    walk_arrays walk;
    create_walk_arrays(&walk, n, max_part);
    create_fill_work(&tables);
    partition_walk(max_size, alpha, parameters, &tables, &walk, degree_sums);
    release_walk_arrays(&walk);
    release_jack_tables(&tables);
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    check_call(nlhs, nrhs, prhs);
    check_values(nrhs, prhs);
    int table_size = check_table_limits((int)mxGetPr(prhs[0])[0], mxGetNumberOfElements(prhs[4]));

    plhs[0] = mxDuplicateArray(prhs[1]);

    const double *x = mxGetPr(prhs[4]);
    int n = (int)mxGetNumberOfElements(prhs[4]);
    const double *y = nrhs == 6 ? mxGetPr(prhs[5]) : 0;
    series_parameters parameters;
    parameters.a = mxGetPr(prhs[2]);
    parameters.p = mxGetNumberOfElements(prhs[2]);
    parameters.b = mxGetPr(prhs[3]);
    parameters.q = mxGetNumberOfElements(prhs[3]);
    int max_size = (int)mxGetPr(prhs[0])[0];
    double alpha = mxGetPr(prhs[1])[0];

    double *degree_sums;
    if (nlhs == 2) {
        plhs[1] = mxCreateDoubleMatrix(1, (mwSize)max_size + 1, mxREAL);
        degree_sums = mxGetPr(plhs[1]);
    } else {
        degree_sums = (double *)mxMalloc(((size_t)max_size + 1) * sizeof(double));
    }
    for (int k = 1; k <= max_size; ++k)
        degree_sums[k] = 0;
    degree_sums[0] = 1; // the empty partition

    if (n > 0) { // an empty x is the 0-by-0 argument: every term beyond degree 0 vanishes
        const double *bounds = mxGetPr(prhs[0]);
        int max_part = mxGetN(prhs[0]) == 2 ? read_max_part(bounds[1]) : max_size;
        sum_series(max_size, max_part, alpha, &parameters, n, x, y, table_size, degree_sums);
    }

    double total = 0;
    for (int k = 0; k <= max_size; ++k)
        total = total + degree_sums[k];
    mxGetPr(plhs[0])[0] = total;
    if (nlhs != 2)
        mxFree(degree_sums);
}

extern "C" const char *mexVersion(void)
{
    return "MATLAB R14 native";
}
