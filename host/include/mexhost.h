// mexhost.h: the host side of our host layer, for mexrun and the tests.
//
// A plug-in sees only mex.h. The code that plays the host (the mexrun
// command, the tests) uses this interface to build input arrays, load a
// plug-in, call its mexFunction the way a MEX host does, and inspect what
// the call left behind.
#ifndef MEXHOST_H
#define MEXHOST_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mex.h"

namespace mexhost {

using MexFunction = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// Classes of array that the host layer can represent.
enum class ArrayClass { Double, Single, Char, Logical, Int32 };

// ---- Building and reading arrays (owned by the caller; free with mxDestroyArray).

// Dense M-by-N array in column-major order; `imag` non-empty makes it complex.
mxArray *make_double(size_t m, size_t n, const std::vector<double> &real,
                     const std::vector<double> &imag = {});
mxArray *make_scalar(double value);
mxArray *make_row(const std::vector<double> &values);
mxArray *make_column(const std::vector<double> &values);
// Sparse M-by-N double array from the dense values (column-major); only the
// non-zeros are stored, as a real host does.
mxArray *make_sparse(size_t m, size_t n, const std::vector<double> &dense);
// Complex sparse M-by-N double array; an element is stored when either part
// is non-zero.
mxArray *make_sparse(size_t m, size_t n, const std::vector<double> &dense_real,
                     const std::vector<double> &dense_imag);
// Character row array holding `text`.
mxArray *make_char(const std::string &text);
// Non-double numeric or logical array; values are converted to the class.
mxArray *make_numeric(ArrayClass cls, size_t m, size_t n, const std::vector<double> &values);

// The class of a non-struct array (structs have none: see mxIsStruct).
ArrayClass class_of(const mxArray *array);
// All M*N elements as doubles in column-major order (sparse arrays expanded;
// empty for a struct).
std::vector<double> real_values(const mxArray *array);
std::vector<double> imag_values(const mxArray *array);

// ---- Calling a plug-in.

struct Warning {
    std::string id;       // empty when given without one (mexWarnMsgTxt)
    std::string message;
};

struct CallResult {
    bool ok = false;                // false when the plug-in reported an error
    std::string message;            // the error message when !ok
    std::string error_id;           // its identifier, if given (mexErrMsgIdAndTxt)
    std::vector<Warning> warnings;  // in the order issued, kept whether or not the call failed
    std::vector<mxArray *> outputs; // max(nlhs, 1) slots; null where nothing was stored
    // What the plug-in still held when the call ended, released by the host.
    // After a successful call anything here is a plug-in that forgot to free.
    size_t leaked_blocks = 0;       // mxMalloc/mxCalloc blocks not freed
    size_t leaked_arrays = 0;       // arrays neither destroyed nor stored in an output slot or
                                    // a struct field (a struct counts once, with its fields)
};

// Calls `fn` as a host does: output slots for max(nlhs, 1) outputs, errors
// from mexErrMsgTxt (or a failed allocation) caught, and host-allocator
// blocks still held at the end of a failed call released. The caller owns
// the returned outputs.
//
// Any other C++ exception from the plug-in is reported as an error too. On
// success, blocks and arrays the plug-in left behind are released as well
// (and counted in leaked_blocks / leaked_arrays). A successful call that
// leaves one of the first nlhs slots empty, stores past the max(nlhs, 1)
// slots, or stores something other than an array it created (an input, a
// value held by a struct, the same array twice), fails. A failed call
// returns no outputs.
CallResult call(MexFunction fn, int nlhs, const std::vector<const mxArray *> &inputs);

// Destroys every output of a result.
void release(CallResult &result);

// Loads a plug-in (a shared object) and returns its mexFunction. On failure
// returns null and sets `error`.
MexFunction load_plugin(const std::string &path, std::string &error);

// ---- Interrupting a call.

// Makes utIsInterruptPending() return true until clear_interrupt(). Only
// stores to a lock-free atomic flag, so a signal handler may call it.
void request_interrupt();
void clear_interrupt();

// ---- Inspecting the host.

// Blocks handed out by mxMalloc/mxCalloc and not yet released.
size_t live_blocks();
// Blocks the host has released at the end of calls (successful or failed)
// since the process started; only blocks taken during a call are released.
size_t blocks_released_by_host();
// Arrays created by the host layer and not yet destroyed.
size_t live_arrays();
// Largest total of host-allocator memory that may be held at once; a request
// beyond it fails (ends the call with an error). 0 restores the default.
// The data of host arrays counts too, as on a real host; the default is the
// machine's physical memory.
void set_memory_limit(size_t bytes);

} // namespace mexhost

#endif // MEXHOST_H
