// released_call.cpp: the GIL released around core calls, and Ctrl-C.
#include "released_call.h"

namespace matrixhyper_python {

namespace py = pybind11;

static unsigned long main_thread_ident = 0;

void set_main_thread(unsigned long ident)
{
    main_thread_ident = ident;
}

released_call::released_call()
{
    check_.poll = &released_call::poll;
    check_.context = this;
    on_main_thread_ = PyThread_get_thread_ident() == main_thread_ident;
    saved_ = PyEval_SaveThread();
}

void released_call::finish()
{
    reacquire();
    if (PyErr_Occurred()) throw py::error_already_set();
}

bool released_call::poll(void *context)
{
    released_call *call = static_cast<released_call *>(context);
    if (!call->on_main_thread_ || call->signalled_) return call->signalled_;
    PyEval_RestoreThread(call->saved_);
    call->signalled_ = PyErr_CheckSignals() != 0;
    call->saved_ = PyEval_SaveThread();
    return call->signalled_;
}

void released_call::reacquire()
{
    if (saved_ == nullptr) return;
    PyEval_RestoreThread(saved_);
    saved_ = nullptr;
}

void raise_interrupted()
{
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
}

} // namespace matrixhyper_python
