// interrupt.h: how a long core computation learns that its caller wants it
// to stop. The core polls; it never waits or calls the host itself.
#ifndef MATRIXHYPER_INTERRUPT_H
#define MATRIXHYPER_INTERRUPT_H

namespace matrixhyper {

// A caller-supplied query, polled on the calling thread every few thousand
// steps of a long loop. When it returns true the computation stops at once,
// releases what it holds and reports an interrupted status. A null `poll`
// means never interrupted.
struct interrupt_check {
    bool (*poll)(void *context) = nullptr;
    void *context = nullptr;

    bool requested() const { return poll != nullptr && poll(context); }
};

} // namespace matrixhyper

#endif // MATRIXHYPER_INTERRUPT_H
