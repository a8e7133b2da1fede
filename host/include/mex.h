/* mex.h: the MEX and array interface that the plug-ins are written against.
 *
 * Declares the same C functions, with the same signatures, as the headers of
 * the real MEX hosts, so that a plug-in source compiles unchanged against
 * this header (our own host layer, libmx and libmex) or against a real
 * host's mex.h.
 *
 * Sizes: with MX_COMPAT_32 defined, mwSize is a 32-bit int and the matrix
 * constructor binds to mxCreateDoubleMatrix_700; otherwise mwSize is the
 * 64-bit size_t and the constructor binds to mxCreateDoubleMatrix_730.
 * The host libraries export both bindings.
 */
#ifndef MEX_H
#define MEX_H

#include <stddef.h>

#ifdef MX_COMPAT_32
typedef int mwSize;
typedef int mwIndex;
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_700
#else
typedef size_t mwSize;
typedef size_t mwIndex;
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_730
#endif

typedef struct mxArray_tag mxArray;

typedef enum { mxREAL, mxCOMPLEX } mxComplexity;

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* The entry point that every plug-in defines and the host calls. */
void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

/* Array queries. */
bool mxIsDouble(const mxArray *array);
bool mxIsComplex(const mxArray *array);
bool mxIsSparse(const mxArray *array);
size_t mxGetM(const mxArray *array);
size_t mxGetN(const mxArray *array);
size_t mxGetNumberOfElements(const mxArray *array);
double *mxGetPr(const mxArray *array);
double *mxGetPi(const mxArray *array);

/* Array creation and destruction. */
mxArray *mxDuplicateArray(const mxArray *array);
mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity);
mxArray *mxCreateDoubleMatrix_730(size_t m, size_t n, mxComplexity complexity);
void mxDestroyArray(mxArray *array);

/* Host allocator: blocks still held when a call ends are released by the host. */
void *mxMalloc(size_t bytes);
void *mxCalloc(size_t count, size_t size);
void mxFree(void *pointer);

/* Reports the message to the caller and ends the call; never returns. */
void mexErrMsgTxt(const char *message);

#ifdef __cplusplus
}
#endif

#endif /* MEX_H */
