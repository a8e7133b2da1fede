// The sorn core with 1 to 4 threads against the frozen direct transcription
// (direct_sorn), bit for bit, and its interruption through the caller's poll.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "direct_sorn.h"
#include "random_calls.h"
#include "matrixhyper/sorn_series.h"

namespace {

using sorn_test::spread;

using matrixhyper::sorn_status;

const double infinity = std::numeric_limits<double>::infinity();
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

using Call = sorn_test::SeriesCall;

std::string describe(const Call &c, int threads)
{
    std::ostringstream text;
    text << threads << " threads: n=" << c.x.size() << " max_size=" << c.max_size
         << " max_part=" << c.max_part << " alpha=" << c.alpha << " p=" << c.a.size()
         << " q=" << c.b.size() << (c.y.empty() ? " one argument" : " two arguments");
    return text.str();
}

// Counts its polls and asks to stop from poll number `fire_at` on (0: never).
struct CountingPoll {
    int fire_at = 0;
    int calls = 0;
    static bool poll(void *context)
    {
        CountingPoll *self = static_cast<CountingPoll *>(context);
        self->calls = self->calls + 1;
        return self->fire_at > 0 && self->calls >= self->fire_at;
    }
};

// degree_sums followed by the total from the core, sized for and run with
// `threads` threads; `status` gets the call's status.
std::vector<double> core_outputs(const Call &c, int threads, const matrixhyper::interrupt_check *interrupt,
                                 sorn_status *status)
{
    matrixhyper::sorn_request request;
    request.max_size = c.max_size;
    request.max_part = c.max_part;
    request.alpha = c.alpha;
    request.a = c.a.data();
    request.p = c.a.size();
    request.b = c.b.data();
    request.q = c.b.size();
    request.n = c.x.size();
    request.x = c.x.data();
    request.y = c.y.empty() ? nullptr : c.y.data();
    request.threads = threads;
    request.interrupt = interrupt;
    matrixhyper::sorn_sizing sizing =
        matrixhyper::sorn_workspace_size(c.max_size, c.x.size(), !c.y.empty(), LLONG_MAX, threads);
    EXPECT_EQ(sizing.status, matrixhyper::sorn_sizing_status::ok);
    std::vector<unsigned char> workspace(sizing.workspace_bytes); // exact: the sanitizer sees overruns
    std::vector<double> outputs(c.max_size + 2);
    matrixhyper::sorn_result result =
        matrixhyper::sorn_series(request, sizing, workspace.data(), outputs.data());
    outputs.back() = result.value;
    *status = result.status;
    return outputs;
}

void expect_same_bits_with_threads(const Call &c)
{
    std::vector<double> expected =
        direct_sorn::series_outputs(c.max_size, c.max_part, c.alpha, c.a, c.b, c.x, c.y);
    for (int threads = 1; threads <= 4; ++threads) {
        sorn_status status;
        std::vector<double> got = core_outputs(c, threads, nullptr, &status);
        EXPECT_EQ(status, sorn_status::ok);
        ASSERT_EQ(got.size(), expected.size()) << describe(c, threads);
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0)
            << describe(c, threads);
    }
}



} // namespace

TEST(ThreadCount, RandomCallsAreBitForBitTheTranscription)
{
    std::mt19937 random(50417);
    for (int trial = 0; trial < 120; ++trial)
        expect_same_bits_with_threads(sorn_test::random_call(random, trial, {28, 9, 0}));
}

TEST(ThreadCount, LargeTablesAndEdgesOfTheArithmetic)
{
    const std::vector<double> none;
    const Call calls[] = {
        {36, 36, 0.7, {0.3}, {1.7}, spread(7, -0.8, 1.1), spread(7, 0.25, 1.2)},
        {34, 34, 2.0, {-3.0}, {1.7}, spread(8, 0.2, 0.9), {}}, // (a)_kappa vanishes
        {32, 10, 3.3, none, {2.5}, spread(8, -1.2, 0.6), spread(8, 0.5, 0.1)},
        {60, 60, 1.0 / 3.0, none, none, spread(3, 0.05, 0.95), {}},
        {9, 9, 2.5, {0.3}, none, {infinity, 0.5, -0.25, 0.75}, {0.5, not_a_number, 1.0, 2.0}},
        {9, 9, 1.0, none, none, {1e200, -3.0, 1e-200, 0.0, 2.0}, {}},
        {8, 8, 1.0, none, {-2.0}, {0.3, 0.2, 0.7, 0.4}, {}},
        {12, 12, 7.5, {-1e-320, -1e-4}, none, {0.3, -0.2, 0.4, 0.1, 0.9}, {}},
        {8, 8, 1e300, none, none, {0.3, 0.2, 0.7}, {1.0, 2.0, 3.0}},
    };
    for (const Call &c : calls)
        expect_same_bits_with_threads(c);
}

// The default count applies to tables worth threads only: the caller's
// setting when it gives one, else the hardware's; the environment is the
// gateways' to read, never the core's.
TEST(ThreadCount, DefaultAppliesToLargeTablesOnly)
{
    const int hardware = matrixhyper::hardware_thread_count();
    EXPECT_GE(hardware, 1);
    EXPECT_LE(hardware, 64);
    setenv("MATRIXHYPER_THREADS", "3", 1);
    EXPECT_EQ(matrixhyper::hardware_thread_count(), hardware);
    unsetenv("MATRIXHYPER_THREADS");
    // n = 6 to size 40 stores far more than 10 000 rows; to size 6 far fewer.
    const auto threads = [](int max_size, int requested, int default_threads) {
        return matrixhyper::sorn_workspace_size(max_size, 6, false, LLONG_MAX, requested,
                                                default_threads).threads;
    };
    EXPECT_EQ(threads(40, 0, 3), 3);
    EXPECT_EQ(threads(40, 0, 0), hardware);
    EXPECT_EQ(threads(40, 0, 1000), 64);
    EXPECT_EQ(threads(6, 0, 3), 1);
    EXPECT_EQ(threads(6, 2, 3), 2);
}

// A poll that never fires changes no bit; one that fires stops the call at
// that poll, with every thread count.
TEST(Interrupt, SornStopsAtTheFiringPollAndOtherwiseChangesNothing)
{
    const Call medium = {40, 40, 1.5, {0.4}, {1.3}, spread(8, 0.3, 0.9), spread(8, 0.2, 1.0)};
    std::vector<double> expected = direct_sorn::series_outputs(
        medium.max_size, medium.max_part, medium.alpha, medium.a, medium.b, medium.x, medium.y);
    for (int threads = 1; threads <= 2; ++threads) {
        CountingPoll never;
        matrixhyper::interrupt_check idle{CountingPoll::poll, &never};
        sorn_status status;
        std::vector<double> got = core_outputs(medium, threads, &idle, &status);
        EXPECT_EQ(status, sorn_status::ok);
        EXPECT_GT(never.calls, 20) << threads << " threads";
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0)
            << threads << " threads";
    }
    // Seconds a call: 820 000 partitions, 479 000 rows. With two threads the
    // 600th poll comes after the positions are placed, while the rows are
    // filled (or, were the calling thread to fill none, while the terms are
    // added): the threads must all stop there too.
    const Call large = {60, 60, 1.0, {}, {}, spread(8, 0.35, 0.95), {}};
    const int firing_polls[][2] = {{1, 5}, {2, 5}, {2, 600}};
    for (const auto &threads_and_poll : firing_polls) {
        CountingPoll firing;
        firing.fire_at = threads_and_poll[1];
        matrixhyper::interrupt_check stop{CountingPoll::poll, &firing};
        sorn_status status;
        core_outputs(large, threads_and_poll[0], &stop, &status);
        EXPECT_EQ(status, sorn_status::interrupted) << threads_and_poll[0] << " threads, poll " << threads_and_poll[1];
        EXPECT_EQ(firing.calls, threads_and_poll[1]) << threads_and_poll[0] << " threads";
    }
}
