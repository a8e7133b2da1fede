// hosttoy.cpp: a plug-in that exists only to exercise the host layer. Input 1
// (a number) picks the behaviour; the other inputs are its arguments.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
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
    SMALL_BLOCKS = 14,     // output 1: [calloc zero-filled, two mxMalloc(0) differ]
    OPTIONS = 15,          // output 1: struct of the name/value pairs from input 2 on, rebuilt
    WARN = 16,             // two warnings, then output 1 = 1, or an error if input 2 is true
    STRUCT_USE = 17,       // input 2 picks a use of struct arrays (see StructUse)
    WAIT_FOR_INTERRUPT = 18  // polls the interrupt flag for up to 10 s holding memory (see wait_for_interrupt)
};

enum StructUse {
    NESTED = 1,            // output 1: a struct holding a struct; a replaced value destroyed
    FIELD_AS_OUTPUT = 2,   // stores a field value as output 1 too
    DESTROY_FIELD = 3,     // destroys a field value
    VALUE_IN_TWO_FIELDS = 4,
    LEFT_BEHIND = 5,       // a struct with fields neither destroyed nor stored; output 1 = 1
    REPLACED_LEFT = 6,     // a replaced value neither destroyed nor stored; output 1 = 1
    DESTROYED = 7          // a struct with fields destroyed by the plug-in; output 1 = 1
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

// The value rebuilt through the accessors of its class: text, logical scalar
// or double scalar.
static mxArray *rebuilt(const mxArray *value) {
    if (mxIsChar(value)) {
        char *text = mxArrayToString(value);
        mxArray *copy = mxCreateString(text);
        mxFree(text);
        return copy;
    }
    if (mxIsLogicalScalar(value)) return mxCreateLogicalScalar(mxIsLogicalScalarTrue(value));
    if (mxIsNumeric(value) && mxIsScalar(value)) return mxCreateDoubleScalar(mxGetPr(value)[0]);
    mexErrMsgIdAndTxt("hosttoy:option", "hosttoy: unsupported option value.");
    return nullptr;
}

static void options(mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    int count = (nrhs - 1) / 2;
    char names[8][16];
    const char *name_pointers[8];
    if (count > 8) mexErrMsgTxt("hosttoy: at most 8 options.");
    for (int k = 0; k < count; ++k) {
        if (mxGetString(prhs[1 + 2 * k], names[k], sizeof names[k]) != 0)
            mexErrMsgIdAndTxt("hosttoy:option", "hosttoy: option %d has no short name.", k + 1);
        name_pointers[k] = names[k];
    }
    mxArray *info = mxCreateStructMatrix(1, 1, count, name_pointers);
    for (int k = 0; k < count; ++k) mxSetField(info, 0, names[k], rebuilt(prhs[2 + 2 * k]));
    plhs[0] = info;
}

static void warn(mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    mexWarnMsgIdAndTxt("hosttoy:note", "%d items of %s", 3, "text");
    mexWarnMsgTxt("plain");
    if (nrhs > 1 && mxIsLogicalScalarTrue(prhs[1]))
        mexErrMsgIdAndTxt("hosttoy:failed", "failed after %d warnings", 2);
    plhs[0] = scalar_output(1);
}

// A 1-by-1 struct with fields a and b, both set.
static mxArray *pair_struct(double a, double b) {
    const char *names[] = {"a", "b"};
    mxArray *pair = mxCreateStructMatrix(1, 1, 2, names);
    mxSetField(pair, 0, "a", scalar_output(a));
    mxSetField(pair, 0, "b", scalar_output(b));
    return pair;
}

static void struct_use(int use, mxArray *plhs[]) {
    mxArray *pair = pair_struct(1, 2);
    switch (use) {
    case NESTED: {
        const char *names[] = {"inner", "label"};
        mxArray *outer = mxCreateStructMatrix(1, 1, 2, names);
        mxSetField(outer, 0, "inner", pair);
        mxSetField(outer, 0, "label", mxCreateString("old"));
        mxArray *old = mxGetField(outer, 0, "label");
        mxSetField(outer, 0, "label", mxCreateString("new"));
        mxDestroyArray(old);  // the plug-in's again once replaced
        plhs[0] = outer;
        return;
    }
    case FIELD_AS_OUTPUT: plhs[0] = mxGetField(pair, 0, "a"); return;
    case DESTROY_FIELD: mxDestroyArray(mxGetField(pair, 0, "a")); return;
    case VALUE_IN_TWO_FIELDS: mxSetField(pair, 0, "b", mxGetField(pair, 0, "a")); return;
    case LEFT_BEHIND: break;
    case REPLACED_LEFT:
        mxSetField(pair, 0, "a", scalar_output(3));
        mxDestroyArray(pair);
        break;
    case DESTROYED: mxDestroyArray(pair); break;
    }
    plhs[0] = scalar_output(1);
}

static double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Holds a block and an array while polling the interrupt flag. Input 2, if
// given, names a file created once polling starts (so that a test knows
// when to interrupt); input 3, if given, is how many seconds the cleanup
// after an interrupt takes.
static void wait_for_interrupt(int nrhs, const mxArray *prhs[]) {
    mxMalloc(1000);
    mxCreateDoubleMatrix_730(10, 10, mxREAL);
    if (nrhs > 1) {
        char *path = mxArrayToString(prhs[1]);
        FILE *ready = path != nullptr ? fopen(path, "w") : nullptr;
        if (ready != nullptr) fclose(ready);
        mxFree(path);
    }
    double cleanup_seconds = nrhs > 2 ? scalar_input(nrhs, prhs, 2) : 0;
    auto start = std::chrono::steady_clock::now();
    while (!utIsInterruptPending()) {
        if (seconds_since(start) > 10) mexErrMsgTxt("hosttoy: no interrupt came.");
        usleep(1000);
    }
    // Signals cut a sleep short; the cleanup goes on until it is done.
    for (auto cleanup = std::chrono::steady_clock::now(); seconds_since(cleanup) < cleanup_seconds;)
        usleep(1000);
    mexErrMsgIdAndTxt("hosttoy:interrupted", "interrupted");
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
    case OPTIONS: options(plhs, nrhs, prhs); return;
    case WARN: warn(plhs, nrhs, prhs); return;
    case STRUCT_USE: struct_use((int)scalar_input(nrhs, prhs, 1), plhs); return;
    case WAIT_FOR_INTERRUPT: wait_for_interrupt(nrhs, prhs); return;
    default: mexErrMsgTxt("hosttoy: unknown mode.");
    }
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    run_mode((int)scalar_input(nrhs, prhs, 0), nlhs, plhs, nrhs, prhs);
}
