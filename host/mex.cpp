// mex.cpp: the MEX side of the host layer (libmex): error reporting.
#include "host_internal.h"

// Ends the current call by throwing; mexhost::call catches it and reports
// the message. Outside any call (a test calling core code directly) it
// throws just the same, so it never returns there either.
void mexErrMsgTxt(const char *message) {
    mexhost::detail::raise_error(message != nullptr ? message : "");
}
