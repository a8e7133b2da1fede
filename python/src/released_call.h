// released_call.h: the GIL released for the length of a core call, with the
// core's interrupt query asking Python whether Ctrl-C arrived.
#ifndef MATRIXHYPER_PYTHON_RELEASED_CALL_H
#define MATRIXHYPER_PYTHON_RELEASED_CALL_H

#include <pybind11/pybind11.h>

#include "matrixhyper/interrupt.h"

namespace matrixhyper_python {

// Identity of the interpreter's main thread, the only thread on which
// Python runs signal handlers; set when the module is imported.
void set_main_thread(unsigned long ident);

// The query runs on the calling thread: it takes the GIL back for the
// moment of PyErr_CheckSignals, which raises KeyboardInterrupt through the
// default SIGINT handler and leaves that exception pending. Off the main
// thread Python runs no handlers, so there the query answers at once
// without the GIL.
class released_call {
public:
    released_call();
    ~released_call() { reacquire(); }
    released_call(const released_call &) = delete;
    released_call &operator=(const released_call &) = delete;

    const matrixhyper::interrupt_check *interrupt() const { return &check_; }

    // Takes the GIL back; then raises the exception a signal handler left
    // pending (KeyboardInterrupt, or whatever the handler raised), if any.
    void finish();

private:
    static bool poll(void *context);
    void reacquire();

    matrixhyper::interrupt_check check_;
    PyThreadState *saved_ = nullptr;
    bool on_main_thread_ = false;
    bool signalled_ = false;
};

// For a core call that reports an interruption its poll saw no exception
// for (a handler that returned normally cannot stop a call, so this is
// only a safeguard).
[[noreturn]] void raise_interrupted();

} // namespace matrixhyper_python

#endif // MATRIXHYPER_PYTHON_RELEASED_CALL_H
