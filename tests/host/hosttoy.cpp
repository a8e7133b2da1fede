// hosttoy.cpp: a plug-in that exists only to exercise the host layer. Input 1
// (a number) picks the behaviour; the other inputs are its arguments.
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "mex.h"

enum ToyMode {
    ECHO = 1,              // output k is a copy of input k + 1
    FAIL_HOLDING = 2,      // takes blocks and an array, then fails
    AFTER_ERROR_RUNS = 3,  // output 1: how often code after mexErrMsgTxt ran
    MALLOC = 4,            // mxMalloc(input 2 bytes), freed again
    CALLOC = 5,            // mxCalloc(input 2, input 3), freed again
    LEAK = 6,              // returns output 1 but leaves a block and an array behind
    SET_OUTPUTS = 7,       // sets the first (input 2) slots, ignoring nlhs
    THROW = 8,             // throws a C++ exception of its own
    STORE_INPUT = 9,       // stores input 2 itself into slot 1
    FREE_TWICE = 10,       // frees one block twice
    DESTROY_INPUT = 11,    // destroys input 2
    CREATE_700 = 12,       // mxCreateDoubleMatrix_700(input 2, input 3)
    COUNTS = 13,           // output 1: [nlhs nrhs]
    SMALL_BLOCKS = 14      // output 1: [calloc zero-filled, two mxMalloc(0) differ]
};

static int after_error_runs = 0;

static double scalar_input(int nrhs, const mxArray *prhs[], int k) {
    if (nrhs <= k || !mxIsDouble(prhs[k]) || mxGetNumberOfElements(prhs[k]) < 1)
        mexErrMsgTxt("hosttoy: missing numeric argument.");
    return mxGetPr(prhs[k])[0];
}

static mxArray *scalar_output(double value) {
    mxArray *out = mxCreateDoubleMatrix_730(1, 1, mxREAL);
    mxGetPr(out)[0] = value;
    return out;
}

static void echo(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    int slots = nlhs < 1 ? 1 : nlhs;
    for (int k = 0; k < slots && k + 1 < nrhs; ++k) plhs[k] = mxDuplicateArray(prhs[k + 1]);
}

static void fail_holding(void) {
    mxMalloc(100);
    mxCalloc(10, 8);
    mxCreateDoubleMatrix_730(3, 3, mxCOMPLEX);
    mexErrMsgTxt("toy failure while holding memory.");
    ++after_error_runs;  // must never run
}

static void allocate_and_free(void *block) {
    ++after_error_runs;  // reached only when the allocation returned
    mxFree(block);
    --after_error_runs;
}

static void leak(mxArray *plhs[]) {
    mxMalloc(16);
    mxCreateDoubleMatrix_730(1, 1, mxREAL);
    plhs[0] = scalar_output(1);
}

static void small_blocks(mxArray *plhs[]) {
    const size_t count = 1000;
    unsigned char *zeros = (unsigned char *)mxCalloc(count, 1);
    bool all_zero = true;
    for (size_t k = 0; k < count; ++k) all_zero = all_zero && zeros[k] == 0;
    void *first = mxMalloc(0);
    void *second = mxCalloc(0, 8);
    mxArray *out = mxCreateDoubleMatrix_730(1, 2, mxREAL);
    mxGetPr(out)[0] = all_zero;
    mxGetPr(out)[1] = first != nullptr && second != nullptr && first != second;
    mxFree(zeros);
    mxFree(first);
    mxFree(second);
    mxFree(nullptr);  // a no-op
    plhs[0] = out;
}

static void run_mode(int mode, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    switch (mode) {
    case ECHO: echo(nlhs, plhs, nrhs, prhs); return;
    case FAIL_HOLDING: fail_holding(); return;
    case AFTER_ERROR_RUNS: plhs[0] = scalar_output(after_error_runs); return;
    case MALLOC: allocate_and_free(mxMalloc((size_t)scalar_input(nrhs, prhs, 1))); return;
    case CALLOC:
        allocate_and_free(mxCalloc((size_t)scalar_input(nrhs, prhs, 1),
                                   (size_t)scalar_input(nrhs, prhs, 2)));
        return;
    case LEAK: leak(plhs); return;
    case SET_OUTPUTS:
        for (int k = 0; k < (int)scalar_input(nrhs, prhs, 1); ++k) plhs[k] = scalar_output(k + 1);
        return;
    case THROW: throw std::runtime_error("toy exception");
    case STORE_INPUT: plhs[0] = (mxArray *)prhs[1]; return;
    case FREE_TWICE: {
        void *block = mxMalloc(8);
        mxFree(block);
        mxFree(block);
        ++after_error_runs;  // must never run
        return;
    }
    case DESTROY_INPUT: mxDestroyArray((mxArray *)prhs[1]); return;
    case CREATE_700:
        plhs[0] = mxCreateDoubleMatrix_700((int)scalar_input(nrhs, prhs, 1),
                                           (int)scalar_input(nrhs, prhs, 2), mxREAL);
        return;
    case COUNTS: {
        plhs[0] = mxCreateDoubleMatrix_730(1, 2, mxREAL);
        mxGetPr(plhs[0])[0] = nlhs;
        mxGetPr(plhs[0])[1] = nrhs;
        return;
    }
    case SMALL_BLOCKS: small_blocks(plhs); return;
    default: mexErrMsgTxt("hosttoy: unknown mode.");
    }
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    run_mode((int)scalar_input(nrhs, prhs, 0), nlhs, plhs, nrhs, prhs);
}
