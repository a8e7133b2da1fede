// thread_team.h: the threads of one parallel section of the core.
//
// start(count, work) runs work(t) for t = 1 .. count - 1, each on a thread of
// its own, for as many as the system grants: a thread it refuses leaves its
// share to the others (every section splits its work so that the values do
// not depend on how many threads run it). The caller does its own share
// (t = 0) and then join()s. An exception a worker raises (no memory) is
// kept; on_failure, if given, runs on that worker at once to tell the
// others to stop, and join() rethrows the first such exception once every
// worker has finished. The destructor waits for the workers without
// rethrowing: a caller whose own share throws tells its workers to stop and
// lets the exception leave through it.
#ifndef MATRIXHYPER_THREAD_TEAM_H
#define MATRIXHYPER_THREAD_TEAM_H

#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace matrixhyper {

class thread_team {
public:
    thread_team() = default;
    explicit thread_team(std::function<void()> on_failure) : on_failure_(std::move(on_failure)) {}
    thread_team(const thread_team &) = delete;
    thread_team &operator=(const thread_team &) = delete;
    ~thread_team() { wait(); }

    // Starts work(1) .. work(count - 1); returns how many threads share the
    // section, the caller's included. Memory is taken before any starts.
    template <class Work> int start(int count, Work work)
    {
        const int workers = count > 1 ? count - 1 : 0;
        errors_.assign(workers + 1, nullptr);
        workers_.reserve(workers);
        for (int t = 1; t <= workers; t++) {
            try {
                workers_.emplace_back([this, work, t] {
                    try {
                        work(t);
                    } catch (...) {
                        errors_[t] = std::current_exception();
                        if (on_failure_) on_failure_();
                    }
                });
            } catch (const std::system_error &) {
                break;
            }
        }
        return (int)workers_.size() + 1;
    }

    // Waits for every worker, then rethrows the first exception one raised.
    void join()
    {
        wait();
        for (std::exception_ptr &error : errors_)
            if (error) {
                const std::exception_ptr first = error;
                error = nullptr;
                std::rethrow_exception(first);
            }
    }

private:
    void wait()
    {
        for (std::thread &worker : workers_)
            if (worker.joinable()) worker.join();
        workers_.clear();
    }

    std::function<void()> on_failure_;
    std::vector<std::thread> workers_;
    std::vector<std::exception_ptr> errors_;
};

} // namespace matrixhyper

#endif // MATRIXHYPER_THREAD_TEAM_H
