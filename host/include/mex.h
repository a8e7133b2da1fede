/* mex.h: the MEX and array interface that the plug-ins are written against.
 *
 * Declares the same C functions, with the same signatures, as the headers of
 * the real MEX hosts, so that a plug-in source compiles unchanged against
 * this header (our own host layer, libmx and libmex) or against a real
 * host's mex.h.
 *
 * Sizes: with MX_COMPAT_32 defined, mwSize and mwIndex are 32-bit ints and
 * every function that takes or returns them binds to its _700 variant;
 * otherwise they are the 64-bit size_t and the functions bind to their _730
 * variants. The host libraries export both bindings of each.
 *
 * utIsInterruptPending is not part of a real host's mex.h: the hosts that
 * offer it export it from a utility library, and a plug-in built against
 * such a host declares it itself.
 */
#ifndef MEX_H
#define MEX_H

#include <stddef.h>

#ifdef MX_COMPAT_32
typedef int mwSize;
typedef int mwIndex;
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_700
#define mxCreateStructMatrix mxCreateStructMatrix_700
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_700
#define mxGetDimensions mxGetDimensions_700
#define mxGetString mxGetString_700
#define mxGetField mxGetField_700
#define mxSetField mxSetField_700
#else
typedef size_t mwSize;
typedef size_t mwIndex;
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_730
#define mxCreateStructMatrix mxCreateStructMatrix_730
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_730
#define mxGetDimensions mxGetDimensions_730
#define mxGetString mxGetString_730
#define mxGetField mxGetField_730
#define mxSetField mxSetField_730
#endif

typedef struct mxArray_tag mxArray;

typedef enum { mxREAL, mxCOMPLEX } mxComplexity;

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* One element of a logical array. Plug-ins write through this type only:
 * some hosts make it an unsigned char. */
typedef bool mxLogical;

/* The entry point that every plug-in defines and the host calls. */
void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

/* Array queries. Every array has two dimensions here. */
bool mxIsDouble(const mxArray *array);
bool mxIsComplex(const mxArray *array);
bool mxIsSparse(const mxArray *array);
bool mxIsNumeric(const mxArray *array);
bool mxIsChar(const mxArray *array);
bool mxIsLogical(const mxArray *array);
bool mxIsLogicalScalar(const mxArray *array);
bool mxIsLogicalScalarTrue(const mxArray *array);
bool mxIsStruct(const mxArray *array);
bool mxIsEmpty(const mxArray *array);
bool mxIsScalar(const mxArray *array);
size_t mxGetM(const mxArray *array);
size_t mxGetN(const mxArray *array);
size_t mxGetNumberOfElements(const mxArray *array);
int mxGetNumberOfDimensions_700(const mxArray *array);
size_t mxGetNumberOfDimensions_730(const mxArray *array);
const int *mxGetDimensions_700(const mxArray *array);
const size_t *mxGetDimensions_730(const mxArray *array);
double *mxGetPr(const mxArray *array);
double *mxGetPi(const mxArray *array);
mxLogical *mxGetLogicals(const mxArray *array);

/* Array creation and destruction. */
mxArray *mxDuplicateArray(const mxArray *array);
mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity);
mxArray *mxCreateDoubleMatrix_730(size_t m, size_t n, mxComplexity complexity);
mxArray *mxCreateDoubleScalar(double value);
mxArray *mxCreateLogicalScalar(mxLogical value);
mxArray *mxCreateString(const char *text);
/* Destroying a struct destroys the values of its fields. */
void mxDestroyArray(mxArray *array);

/* Character arrays. mxArrayToString returns a host-allocator block (free it
 * with mxFree), or null for an array that is not char. mxGetString copies
 * at most length - 1 characters and a terminating NUL; it returns 0, or 1
 * when the array is not char or the text was cut short. */
char *mxArrayToString(const mxArray *array);
int mxGetString_700(const mxArray *array, char *text, int length);
int mxGetString_730(const mxArray *array, char *text, size_t length);

/* Struct arrays. A value stored with mxSetField belongs to the struct from
 * then on: never destroy it or store it anywhere else. mxSetField does not
 * destroy the value it replaces; that one is the plug-in's again. The
 * queries give null (or 0) for an array that is not a struct, an unknown
 * field or an element out of range. */
mxArray *mxCreateStructMatrix_700(int m, int n, int field_count, const char **field_names);
mxArray *mxCreateStructMatrix_730(size_t m, size_t n, int field_count, const char **field_names);
int mxGetNumberOfFields(const mxArray *array);
const char *mxGetFieldNameByNumber(const mxArray *array, int field_number);
mxArray *mxGetField_700(const mxArray *array, int index, const char *field_name);
mxArray *mxGetField_730(const mxArray *array, size_t index, const char *field_name);
void mxSetField_700(mxArray *array, int index, const char *field_name, mxArray *value);
void mxSetField_730(mxArray *array, size_t index, const char *field_name, mxArray *value);

/* Host allocator: blocks still held when a call ends are released by the host. */
void *mxMalloc(size_t bytes);
void *mxCalloc(size_t count, size_t size);
void mxFree(void *pointer);

/* Report the message to the caller and end the call; never return. The
 * identifier has the form "component:mnemonic"; `format` is as for printf. */
void mexErrMsgTxt(const char *message);
void mexErrMsgIdAndTxt(const char *id, const char *format, ...);

/* Report a warning to the caller; the call goes on. */
void mexWarnMsgTxt(const char *message);
void mexWarnMsgIdAndTxt(const char *id, const char *format, ...);

/* True once the user has asked to interrupt the computation. A plug-in that
 * sees it releases what it can and ends the call with
 * mexErrMsgIdAndTxt("NAME:interrupted", "interrupted"). */
bool utIsInterruptPending(void);

#ifdef __cplusplus
}
#endif

#endif /* MEX_H */
