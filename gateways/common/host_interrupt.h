// host_interrupt.h: whether the user has asked the host to stop the
// current call (Ctrl-C), and ending a call that stopped for it. Both run
// on the thread the host called the plug-in on.
#ifndef GATEWAY_HOST_INTERRUPT_H
#define GATEWAY_HOST_INTERRUPT_H

#include "matrixhyper/interrupt.h"

namespace gateway {

// True once an interrupt is pending: Octave's own flag in an Octave build,
// elsewhere the host's interrupt query when the host provides one (a host
// without it never interrupts, and the plug-in still loads).
bool host_interrupt_pending();

// The query in the form the core polls.
matrixhyper::interrupt_check host_interrupt_check();

// Ends the call as the host ends an interrupted one: in Octave by its own
// interrupt (back to the prompt), elsewhere with the error
// "<plugin>:interrupted". Call it after releasing what the call holds.
[[noreturn]] void end_interrupted_call(const char *plugin);

} // namespace gateway

#endif // GATEWAY_HOST_INTERRUPT_H
