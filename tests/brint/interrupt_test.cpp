// brint_coefficients stopped through the caller's poll, and unchanged by a
// poll that never fires.
#include <gtest/gtest.h>

#include <vector>

#include "matrixhyper/brint_series.h"
#include "walk_support.h"

using namespace brint_test;

namespace {

struct CountingPoll {
    int fire_at = 0; // 0: never
    int calls = 0;
    static bool poll(void *context)
    {
        CountingPoll *self = static_cast<CountingPoll *>(context);
        self->calls = self->calls + 1;
        return self->fire_at > 0 && self->calls >= self->fire_at;
    }
};

brint_status run(int max_size, int n, const interrupt_check *interrupt, std::vector<double> &sums)
{
    const std::vector<double> a = {0.5}, b = {1.5};
    brint_request request;
    request.max_size = max_size;
    request.max_part = max_size;
    request.alpha = 1.5;
    request.a = a.data();
    request.p = a.size();
    request.b = b.data();
    request.q = b.size();
    request.n = n;
    request.interrupt = interrupt;
    std::vector<unsigned char> workspace(brint_workspace_size(max_size, n));
    sums.assign(max_size + 1, 0.0);
    return brint_coefficients(request, workspace.data(), sums.data());
}

} // namespace

TEST(BrintInterrupt, StopsAtTheFiringPollAndOtherwiseChangesNothing)
{
    std::vector<double> plain, polled;
    ASSERT_EQ(run(60, 10, nullptr, plain), brint_status::ok);
    CountingPoll never;
    interrupt_check idle{CountingPoll::poll, &never};
    ASSERT_EQ(run(60, 10, &idle, polled), brint_status::ok);
    EXPECT_GT(never.calls, 100); // 1.7 million partitions
    EXPECT_TRUE(same_bits(plain, polled));

    CountingPoll firing; // n = 20, max_size 150: minutes uninterrupted
    firing.fire_at = 3;
    interrupt_check stop{CountingPoll::poll, &firing};
    EXPECT_EQ(run(150, 20, &stop, polled), brint_status::interrupted);
    EXPECT_EQ(firing.calls, 3);
}
