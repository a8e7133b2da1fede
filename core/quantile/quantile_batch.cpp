// quantile_batch.cpp: the per-point loop shared by the inverse
// distributions, one quantile after another or side by side.
#include "quantile_batch.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace matrixhyper {
namespace {

// Quantiles solved side by side. The solver asks for one point at a time
// and waits for it (TOMS 748 is a loop around its function), so each
// quantile is solved in a thread of its own whose evaluator posts its point
// and waits; once every solver waits or is done, the caller's thread
// evaluates the round's points, one batch call a tail, and answers them.
// A round holds the next point of every solver still running whatever the
// threads' timing, and its points go to the batch in the order of the
// quantiles, so the rounds and the answers are the same from run to run.
// The threads take the quantiles in order, at most this many at once: a
// round's call carries a point of each.
constexpr std::size_t lockstep_threads = 16;

class lockstep_solver {
  public:
    lockstep_solver(const cdf_batch_evaluator &batch, const quantile_problem &problem, const double *P,
                    probability_tail tail)
        : batch_(batch), problem_(problem), P_(P), tail_(tail)
    {}

    // The quantiles of P[indices[k]], as results[k]. A solver interrupted
    // or failed stops the others at their next evaluation, with the same
    // status; an exception of the batch call is thrown again here once
    // every thread has ended.
    std::vector<quantile_result> solve(const std::vector<std::size_t> &indices)
    {
        indices_ = &indices;
        quantile_result not_solved;   // a quantile left when another one stopped the call
        not_solved.status = quantile_status::failed;
        results_.assign(indices.size(), not_solved);
        next_ = 0;
        const std::size_t width = std::min(lockstep_threads, indices.size());
        requests_.assign(width, request{});
        waiting_.clear();
        waiting_.reserve(width);   // the rounds then allocate nothing while solvers wait
        std::vector<std::thread> threads;
        threads.reserve(width);
        for (std::size_t t = 0; t < width; t++) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                busy_++;
            }
            try {
                threads.emplace_back(&lockstep_solver::run_thread, this, t);
            } catch (...) {   // no thread (system_error, bad_alloc): fewer take all the quantiles
                std::lock_guard<std::mutex> lock(mutex_);
                busy_--;
                break;
            }
        }
        if (threads.empty()) {
            run_alone();
        } else {
            serve_rounds();
            for (std::thread &thread : threads) thread.join();
        }
        if (error_) std::rethrow_exception(error_);
        return results_;
    }

    // Whether a solver was interrupted or failed: the call ends.
    bool stopped() const { return stopped_; }

  private:
    struct request {
        std::size_t quantile = 0;   // which of indices_ the thread solves
        double x = 0;
        probability_tail tail = probability_tail::lower;
        cdf_point point;
        bool waiting = false;
    };

    // The next quantile to solve, or false when none is left.
    bool take(std::size_t thread)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (next_ == indices_->size() || stopped_) return false;
        requests_[thread].quantile = next_++;
        return true;
    }

    void finish(std::size_t k, quantile_result result)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (result.status == quantile_status::interrupted || result.status == quantile_status::failed)
            stop(result.status == quantile_status::interrupted ? cdf_point_status::interrupted
                                                               : cdf_point_status::failed);
        results_[k] = std::move(result);
    }

    void stop(cdf_point_status status)
    {
        if (stopped_) return;
        stopped_ = true;
        stop_status_ = status;
    }

    void run_thread(std::size_t thread)
    {
        try {
            quantile_problem own = problem_;
            own.cdf = [this, thread](double x, probability_tail tail) { return evaluate(thread, x, tail); };
            while (take(thread)) {
                const std::size_t k = requests_[thread].quantile;
                finish(k, solve_quantile(own, P_[(*indices_)[k]], tail_));
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!error_) error_ = std::current_exception();
            stop(cdf_point_status::failed);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (--busy_ == 0) posted_.notify_one();
    }

    // Without threads: one quantile after another, a batch call a point.
    void run_alone()
    {
        quantile_problem own = problem_;
        own.cdf = [this](double x, probability_tail tail) {
            cdf_point point;
            batch_(&x, 1, tail, &point);
            return point;
        };
        for (std::size_t k = 0; k < indices_->size() && !stopped_; k++)
            finish(k, solve_quantile(own, P_[(*indices_)[k]], tail_));
    }

    // A solver's evaluator: posts the point and waits for the round.
    cdf_point evaluate(std::size_t thread, double x, probability_tail tail)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        request &posted = requests_[thread];
        posted.x = x;
        posted.tail = tail;
        posted.waiting = true;
        if (--busy_ == 0) posted_.notify_one();
        answered_.wait(lock, [&posted] { return !posted.waiting; });
        return posted.point;
    }

    // Rounds until every thread has ended. While a round is evaluated no
    // solver runs: each waits for its answer or has ended.
    void serve_rounds()
    {
        std::vector<std::size_t> &waiting = waiting_;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                posted_.wait(lock, [this] { return busy_ == 0; });
                waiting.clear();
                for (std::size_t t = 0; t < requests_.size(); t++)
                    if (requests_[t].waiting) waiting.push_back(t);
                if (waiting.empty()) return;
            }
            std::sort(waiting.begin(), waiting.end(), [this](std::size_t a, std::size_t b) {
                return requests_[a].quantile < requests_[b].quantile;
            });
            answer(waiting, probability_tail::lower);
            answer(waiting, probability_tail::upper);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (std::size_t t : waiting) requests_[t].waiting = false;
                busy_ = waiting.size();
            }
            answered_.notify_all();
        }
    }

    // The waiting points of one tail, in one batch call. Whatever it
    // throws (the call, or its arrays) is kept for the caller, and the
    // points are answered with the stop.
    void answer(const std::vector<std::size_t> &waiting, probability_tail tail)
    {
        if (!stopped_) {
            try {
                std::vector<double> x;
                for (std::size_t t : waiting)
                    if (requests_[t].tail == tail) x.push_back(requests_[t].x);
                if (x.empty()) return;
                std::vector<cdf_point> points(x.size());
                batch_(x.data(), x.size(), tail, points.data());
                std::size_t k = 0;
                for (std::size_t t : waiting)
                    if (requests_[t].tail == tail) requests_[t].point = points[k++];
            } catch (...) {
                if (!error_) error_ = std::current_exception();
                stop(cdf_point_status::failed);
            }
        }
        if (stopped_)
            for (std::size_t t : waiting)
                if (requests_[t].tail == tail) requests_[t].point.status = stop_status_;
    }

    const cdf_batch_evaluator &batch_;
    const quantile_problem &problem_;
    const double *P_;
    probability_tail tail_;
    const std::vector<std::size_t> *indices_ = nullptr;
    std::vector<quantile_result> results_;
    std::vector<request> requests_;   // one per thread
    std::vector<std::size_t> waiting_;   // the threads waiting in a round
    std::size_t next_ = 0;            // the next of indices_ to start
    std::size_t busy_ = 0;            // threads neither waiting for an answer nor ended
    bool stopped_ = false;
    cdf_point_status stop_status_ = cdf_point_status::ok;
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable posted_, answered_;
};

// Enters the result of P[i] into the outputs and the outcome; false when
// the call stops there (interrupted, or the evaluator failed).
bool record(const quantile_result &result, std::size_t i, double *x, double *err, quantile_batch_outcome &outcome)
{
    switch (result.status) {
    case quantile_status::ok: break;
    case quantile_status::interrupted:
    case quantile_status::failed:
    case quantile_status::out_of_range:  // refused by the caller's check; kept for completeness
        outcome.status = result.status;
        outcome.message = result.message;
        return false;
    case quantile_status::unresolved:
    case quantile_status::not_bracketed:
        if (outcome.unresolved.empty()) {
            outcome.status = quantile_status::unresolved;
            outcome.message = result.message;
        }
        outcome.unresolved.push_back(i);
        break;
    }
    x[i] = result.x;
    if (err) err[i] = result.err;
    return true;
}

bool unresolved(const quantile_result &result)
{
    return result.status == quantile_status::unresolved;
}

quantile_batch_outcome solve_one_by_one(const quantile_problem &problem, const double *P, std::size_t count,
                                        probability_tail tail, double *x, double *err,
                                        const std::function<void(bool)> &sharpen)
{
    quantile_batch_outcome outcome;
    for (std::size_t i = 0; i < count; i++) {
        quantile_result result = solve_quantile(problem, P[i], tail);
        if (unresolved(result) && sharpen) {
            sharpen(true);
            result = solve_quantile(problem, P[i], tail);
            sharpen(false);
        }
        if (!record(result, i, x, err, outcome)) return outcome;
    }
    return outcome;
}

quantile_batch_outcome solve_side_by_side(const quantile_problem &problem, const cdf_batch_evaluator &batch,
                                          const double *P, std::size_t count, probability_tail tail, double *x,
                                          double *err, const std::function<void(bool)> &sharpen)
{
    lockstep_solver solver(batch, problem, P, tail);
    std::vector<std::size_t> all(count);
    for (std::size_t i = 0; i < count; i++) all[i] = i;
    std::vector<quantile_result> results = solver.solve(all);
    std::vector<std::size_t> again;
    for (std::size_t i = 0; i < count; i++)
        if (unresolved(results[i])) again.push_back(i);
    if (sharpen && !again.empty() && !solver.stopped()) {
        sharpen(true);
        std::vector<quantile_result> sharpened = solver.solve(again);
        sharpen(false);
        for (std::size_t k = 0; k < again.size(); k++) results[again[k]] = std::move(sharpened[k]);
    }
    quantile_batch_outcome outcome;
    for (std::size_t i = 0; i < count; i++)
        if (!record(results[i], i, x, err, outcome)) return outcome;
    return outcome;
}

} // namespace

const char *quantile_probabilities_error(const double *P, std::size_t count)
{
    if (count > 0 && P == nullptr) return "The probabilities P are missing.";
    for (std::size_t i = 0; i < count; i++)
        if (P[i] < 0 || P[i] > 1) return "The probabilities P must lie in [0, 1] (or be NaN).";
    return nullptr;
}

quantile_batch_outcome solve_quantiles(const quantile_problem &problem, const double *P, std::size_t count,
                                       probability_tail tail, double *x, double *err,
                                       const std::function<void(bool)> &sharpen, const cdf_batch_evaluator &batch)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    std::fill(x, x + count, nan);
    if (err) std::fill(err, err + count, nan);
    if (batch && count > 1) return solve_side_by_side(problem, batch, P, count, tail, x, err, sharpen);
    return solve_one_by_one(problem, P, count, tail, x, err, sharpen);
}

} // namespace matrixhyper
