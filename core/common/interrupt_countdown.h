// interrupt_countdown.h: polling a caller's interrupt_check once every so
// many units of work of a long loop, so that the poll costs next to nothing.
// A unit is whatever the loop counts: an iteration, a term, a partition. A
// loop whose iterations do unequal work counts the work (step(units)).
//
// Loops shared by threads give the countdown the team's stop flag: the
// calling thread, which alone holds the caller's interrupt_check, raises it
// when the caller asks to stop, and every thread's countdown (a worker's
// has no check) reads it at its polls.
#ifndef MATRIXHYPER_INTERRUPT_COUNTDOWN_H
#define MATRIXHYPER_INTERRUPT_COUNTDOWN_H

#include <atomic>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

class interrupt_countdown {
public:
    // Polls `check` (null: never) once every `interval` units; `team_stop`
    // (null: none) is raised when the check asks to stop and read at each poll.
    interrupt_countdown(const interrupt_check *check, long long interval,
                        std::atomic<bool> *team_stop = nullptr)
        : check_(check), team_stop_(team_stop), interval_(interval), left_(interval) {}

    // Counts `units` of work done; true once the caller has asked to stop,
    // and from then on.
    bool step(long long units = 1) { return due(units) ? poll() : stopped_; }

    // Counts `units` of work done; true when a poll is due, for a loop that
    // does more at its polls than asking (e.g. sharing a work count) and
    // then calls poll(). Polls fall due at every multiple of `interval`
    // units however the work is split into calls.
    bool due(long long units = 1)
    {
        left_ = left_ - units;
        if (left_ > 0) return false;
        left_ = interval_ - (-left_) % interval_;
        return true;
    }

    // Polls now (the count of units goes on); true once the caller has
    // asked to stop.
    bool poll()
    {
        if (stopped_) return true;
        if (check_ != nullptr && check_->requested()) {
            stopped_ = true;
            if (team_stop_ != nullptr) team_stop_->store(true, std::memory_order_relaxed);
        } else if (team_stop_ != nullptr) {
            stopped_ = team_stop_->load(std::memory_order_relaxed);
        }
        return stopped_;
    }

    bool stopped() const { return stopped_; }

private:
    const interrupt_check *check_;
    std::atomic<bool> *team_stop_;
    long long interval_;
    long long left_;
    bool stopped_ = false;
};

} // namespace matrixhyper

#endif // MATRIXHYPER_INTERRUPT_COUNTDOWN_H
