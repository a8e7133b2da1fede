// level_fill.cpp: the stored rows of the Jack function tables filled by a
// team of threads, size after size, each size split into chunks that the
// threads claim in turn.
#include "level_fill.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "interrupt_countdown.h"

namespace matrixhyper {

template <class Real>
static void take_threads(basic_level_fill_thread<Real> *threads, int count,
                         const basic_jack_tables<Real> &tables, const jack_table_shape &shape,
                         workspace_cursor &cursor)
{
    const size_t entries = (size_t)shape.n + 1;
    for (int t = 0; t < count; ++t) {
        basic_level_fill_thread<Real> &thread = threads[t];
        thread.tables = tables;
        if (t > 0)
            take_fill_work(&thread.tables, shape, cursor);
        thread.kappa = cursor.take<int>(entries);
        thread.shifted_parts = cursor.take<Real>(entries);
        thread.position = cursor.take<int>(entries);
    }
}

void take_level_fill_threads(level_fill_thread *threads, int count, const jack_tables &tables,
                             const jack_table_shape &shape, workspace_cursor &cursor)
{
    take_threads(threads, count, tables, shape, cursor);
}

void take_level_fill_threads(wide_level_fill_thread *threads, int count,
                             const wide_jack_tables &tables, const jack_table_shape &shape,
                             workspace_cursor &cursor)
{
    take_threads(threads, count, tables, shape, cursor);
}

namespace {

// Waits until all the threads of the team have arrived, then lets them go
// on together; the last to arrive resets the chunk counter of the next size
// and takes the team's decision to stop, the same for all of this meeting
// (a thread slow to wake must not see a stop set after the meeting). A
// thread that was never started is dropped from the count.
class level_barrier {
public:
    level_barrier(int parties, std::atomic<int> *next_chunk, const std::atomic<bool> *stop)
        : parties_(parties), next_chunk_(next_chunk), stop_(stop) {}

    // True when the team stops after this meeting.
    bool arrive_and_wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const long generation = generation_;
        arrived_ = arrived_ + 1;
        if (arrived_ == parties_)
            complete();
        else
            wake_.wait(lock, [&] { return generation_ != generation; });
        return stopping_; // the next meeting needs this thread: it cannot change meanwhile
    }

    void drop(int parties)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parties_ = parties_ - parties;
        if (arrived_ > 0 && arrived_ == parties_)
            complete();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    int parties_;
    int arrived_ = 0;
    long generation_ = 0;
    bool stopping_ = false;
    std::atomic<int> *next_chunk_;
    const std::atomic<bool> *stop_;

    void complete() // with mutex_ held
    {
        arrived_ = 0;
        generation_ = generation_ + 1;
        stopping_ = stop_->load(std::memory_order_relaxed); // set before its setter arrived
        next_chunk_->store(0, std::memory_order_relaxed);   // published by the mutex
        wake_.notify_all();
    }
};

// What the threads of one fill share.
template <class Real> struct level_team {
    const basic_level_fill_job<Real> *job;
    std::atomic<int> next_chunk{0}; // chunks of the current size handed out
    std::atomic<bool> stop{false};  // set by the calling thread only
    level_barrier barrier;

    level_team(const basic_level_fill_job<Real> *fill_job, int parties)
        : job(fill_job), barrier(parties, &next_chunk, &stop) {}
};

// Partitions of one size a thread claims at a time: small enough that the
// threads finish a size together, large enough that claims are rare and
// that neighbouring rows (one cache line may hold several) mostly go to one
// thread.
int chunk_length(int count, int threads)
{
    int length = count / (threads * 8);
    return length < 1 ? 1 : (length > 32 ? 32 : length);
}

// First partition (in walk order) of the next chunk this thread fills, or
// `count` when none is left or the fill stops.
template <class Real> int claim_chunk(level_team<Real> &team, int length, int count)
{
    if (team.stop.load(std::memory_order_relaxed))
        return count;
    long long first = (long long)team.next_chunk.fetch_add(1, std::memory_order_relaxed) * length;
    return first < count ? (int)first : count;
}

// The next stored partition reached by the walk after the current one, with
// `size` boxes at most; false when there is none. The thread's walk visits
// exactly the partitions the place_stored pass reached, in the same order,
// and sums the shifted parts in the same order as the walk of the series.
template <class Real>
bool next_stored(basic_level_fill_thread<Real> &thread, const stored_census &census, int size,
                 int *walk_size,
                 int *row)
{
    const basic_jack_tables<Real> &tables = thread.tables;
    const int top = tables.n - 1;
    int *kappa = thread.kappa;
    Real *z = thread.shifted_parts;
    int *position = thread.position;
    int j = *row;
    int boxes = *walk_size;
    if (boxes < size && j < top && kappa[j] > 0)
        j = j + 1; // below a partition just reached: its first child row
    while (j >= 1) {
        int reached = 0;
        if (kappa[j] < kappa[j - 1] && boxes < size) {
            const int m = kappa[j] + 1;
            if (j == 1)
                reached = m + 1;
            else if (m == 1)
                reached = tables.index_table[position[j - 1]];
            else
                reached = position[j] + 1;
            if (reached != 0 && !((census.reached[(unsigned)reached / 64] >> ((unsigned)reached % 64)) & 1))
                reached = 0;
        }
        if (reached != 0) {
            kappa[j] = kappa[j] + 1;
            z[j] = tables.alpha + z[j];
            position[j] = reached;
            *walk_size = boxes + 1;
            *row = j;
            return true;
        }
        boxes = boxes - kappa[j]; // back: empty row j, resume the row above
        kappa[j] = 0;
        z[j] = -j;
        j = j - 1;
    }
    *walk_size = 0;
    *row = 0;
    return false;
}

// Fills the rows of size `size` in the chunks this thread claims; the
// calling thread polls the interrupt as it goes and stops the team.
template <class Real>
void fill_size(level_team<Real> &team, basic_level_fill_thread<Real> &thread, int size,
               interrupt_countdown *countdown)
{
    const basic_level_fill_job<Real> &job = *team.job;
    const int count = job.census->per_size[size];
    const int length = chunk_length(count, job.count);
    int first = count > 0 ? claim_chunk(team, length, count) : count;
    if (first >= count)
        return;
    const int n = thread.tables.n;
    thread.kappa[0] = job.max_part;
    thread.position[0] = 1;
    for (int i = 1; i <= n; ++i) {
        thread.kappa[i] = 0;
        thread.shifted_parts[i] = -i;
    }
    int walk_size = 0, row = 1;
    int ordinal = 0; // partitions of `size` passed so far
    while (next_stored(thread, *job.census, size, &walk_size, &row)) {
        if (walk_size < size)
            continue;
        if (ordinal >= first) {
            restart_removable(&thread.tables, row, thread.kappa);
            fill_jack_entries(&thread.tables, row, thread.kappa, thread.shifted_parts,
                              thread.position[row]);
            if (countdown != nullptr && countdown->step()) {
                team.stop.store(true, std::memory_order_relaxed);
                return;
            }
            if (ordinal + 1 == first + length) {
                first = claim_chunk(team, length, count);
                if (first >= count)
                    return;
            }
        }
        ordinal = ordinal + 1;
    }
}

// The job's sizes in turn, all threads together.
template <class Real>
void fill_all_sizes(level_team<Real> &team, basic_level_fill_thread<Real> &thread,
                    interrupt_countdown *countdown)
{
    const basic_level_fill_job<Real> &job = *team.job;
    const int last_size = job.last_size < 0 ? thread.tables.max_size : job.last_size;
    for (int size = job.first_size; size <= last_size; ++size) {
        if (!team.stop.load(std::memory_order_relaxed))
            fill_size(team, thread, size, countdown);
        if (team.barrier.arrive_and_wait())
            return;
    }
}

// Rows the calling thread fills between two polls: about a millisecond of
// work at the largest tables (n = 10, max_size 60), far less elsewhere.
const int rows_per_poll = 64;

} // namespace

template <class Real> static bool fill_team(const basic_level_fill_job<Real> &job)
{
    level_team<Real> team(&job, job.count);
    std::thread started[level_fill_max_threads];
    int count = 1;
    for (; count < job.count && count < level_fill_max_threads; ++count) {
        try {
            started[count] = std::thread(fill_all_sizes<Real>, std::ref(team), std::ref(job.threads[count]),
                                         nullptr);
        } catch (...) { // no thread to be had: fewer share the chunks, the values do not change
            break;
        }
    }
    if (count < job.count)
        team.barrier.drop(job.count - count);
    interrupt_countdown countdown(job.interrupt, rows_per_poll);
    fill_all_sizes(team, job.threads[0], &countdown);
    for (int t = 1; t < count; ++t)
        started[t].join();
    return !team.stop.load(std::memory_order_relaxed);
}

bool fill_by_levels(const level_fill_job &job)
{
    return fill_team(job);
}

bool fill_by_levels(const wide_level_fill_job &job)
{
    return fill_team(job);
}

} // namespace matrixhyper
