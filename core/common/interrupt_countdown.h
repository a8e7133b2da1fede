// interrupt_countdown.h: polling a caller's interrupt_check once every so
// many steps of a long loop, so that the poll costs next to nothing.
#ifndef MATRIXHYPER_INTERRUPT_COUNTDOWN_H
#define MATRIXHYPER_INTERRUPT_COUNTDOWN_H

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

class interrupt_countdown {
public:
    // Polls `check` (null: never) once every `interval` steps.
    interrupt_countdown(const interrupt_check *check, int interval)
        : check_(check), interval_(interval), left_(interval) {}

    // Counts `steps` done; true once the caller has asked to stop, and from
    // then on.
    bool step(int steps = 1)
    {
        left_ = left_ - steps;
        return left_ <= 0 ? poll() : stopped_;
    }

    // Polls now; true once the caller has asked to stop.
    bool poll()
    {
        left_ = interval_;
        if (!stopped_ && check_ != nullptr)
            stopped_ = check_->requested();
        return stopped_;
    }

    bool stopped() const { return stopped_; }

private:
    const interrupt_check *check_;
    int interval_;
    int left_;
    bool stopped_ = false;
};

} // namespace matrixhyper

#endif // MATRIXHYPER_INTERRUPT_COUNTDOWN_H
