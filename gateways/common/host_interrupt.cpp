// host_interrupt.cpp: the interrupt query of each host.
#include "host_interrupt.h"

#include <cstdio>
#include <cstdlib>

#include "mex.h"

#if defined(MATRIXHYPER_OCTAVE_HOST)
#include <octave/quit.h>
#else
// MATLAB and our own host export this query; declared weak, so that a host
// without it leaves it null instead of refusing to load the plug-in.
extern "C" bool utIsInterruptPending(void);
#pragma weak utIsInterruptPending
#endif

namespace gateway {

#if defined(MATRIXHYPER_OCTAVE_HOST)
bool host_interrupt_pending()
{
    return octave_signal_caught != 0 || octave_interrupt_state > 0;
}
#else
bool host_interrupt_pending()
{
    return utIsInterruptPending != nullptr && utIsInterruptPending();
}
#endif

static bool poll_host(void *)
{
    return host_interrupt_pending();
}

matrixhyper::interrupt_check host_interrupt_check()
{
    matrixhyper::interrupt_check check;
    check.poll = poll_host;
    return check;
}

void end_interrupted_call(const char *plugin)
{
#if defined(MATRIXHYPER_OCTAVE_HOST)
    octave_quit();                               // throws Octave's interrupt while one is pending
    if (octave_interrupt_state > 0) throw octave::interrupt_exception();
#endif
    char identifier[64];
    std::snprintf(identifier, sizeof identifier, "%s:interrupted", plugin);
    mexErrMsgIdAndTxt(identifier, "interrupted");
    std::abort(); // not reached: the host's error ends the call
}

} // namespace gateway
