// options.h: reading the name/value options that end a call, as MATLAB
// functions take them ('tol', 1e-10, 'log', true, ...).
#ifndef GATEWAY_OPTIONS_H
#define GATEWAY_OPTIONS_H

#include <cstddef>

#include "mex.h"

namespace gateway {

// Index of the first char argument at or after `first`, or nrhs when there
// is none: the options start there.
int first_option(int nrhs, const mxArray *prhs[], int first);

// The text of a char row array (1-by-k, k < capacity) in `text`; false for
// anything else.
bool read_text(const mxArray *array, char *text, size_t capacity);

// Case-insensitive equality of two option names or values.
bool same_name(const char *a, const char *b);

// A real, full, finite or infinite double scalar in *value; false otherwise.
bool read_real_scalar(const mxArray *array, double *value);

// true/false, or a real double scalar 1/0, in *value; false otherwise.
bool read_flag(const mxArray *array, bool *value);

} // namespace gateway

#endif // GATEWAY_OPTIONS_H
