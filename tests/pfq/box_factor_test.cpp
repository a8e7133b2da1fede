// The per-box factors shared by the series walks, the interrupt countdown
// shared by their loops, and the thread team of the parallel sections.
#include <atomic>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "box_factor.h"
#include "interrupt_countdown.h"
#include "thread_team.h"

using namespace matrixhyper;

namespace {

// Every partition of k with at most `rows` parts, largest part first.
void for_each_partition(int k, int rows, const std::function<void(const std::vector<int> &)> &visit)
{
    std::vector<int> parts;
    std::function<void(int, int)> fill = [&](int left, int largest) {
        if (left == 0) { visit(parts); return; }
        if ((int)parts.size() == rows) return;
        for (int v = std::min(left, largest); v >= 1; v--) {
            parts.push_back(v);
            fill(left - v, v);
            parts.pop_back();
        }
    };
    fill(k, k);
}

} // namespace

// (a)_kappa = prod_i Gamma(a - (i-1)/alpha + kappa_i) / Gamma(a - (i-1)/alpha):
// the product of the box factors a + shift row by row is this product of
// ordinary rising factorials (definition of the generalised Pochhammer
// symbol; the gammas come from the C library, not from the shifts).
TEST(BoxFactor, PochhammerOverTheBoxesIsTheProductOfRowGammas)
{
    const long double alpha = 2.5L, a[] = {0.7L, -3.3L};
    const std::vector<int> kappa = {4, 2, 2, 1};
    long double by_boxes = 1;
    for (int i = 1; i <= (int)kappa.size(); i++)
        for (int c = 1; c <= kappa[i - 1]; c++)
            by_boxes = box_factor::times_rising(by_boxes, a, 2, box_factor::shift(i, c, alpha));
    long double by_gammas = 1;
    for (long double ak : a)
        for (int i = 1; i <= (int)kappa.size(); i++) {
            long double s = ak - (i - 1) / alpha;
            by_gammas *= std::tgamma(s + kappa[i - 1]) / std::tgamma(s);
        }
    EXPECT_NEAR(by_boxes / by_gammas, 1.0L, 1e-15L);
}

// A numerator that is minus a whole number, or the (rounded) (r - 1)/alpha
// that the first box of row r subtracts, makes that box's factor exactly 0,
// so the series terminates where the mathematics terminates it. The frozen
// order of sorn and brint keeps this in row 1.
TEST(BoxFactor, ParametersMeetingAShiftGiveAnExactZero)
{
    for (long double alpha : {1.0L / 3, 0.7L, 3.0L, 7.0L}) {
        for (int k = 0; k < 40; k++) {
            const long double minus_k = -k;
            EXPECT_EQ(box_factor::times_rising(1.0L, &minus_k, 1, box_factor::shift(1, k + 1, alpha)), 0.0L);
            const double minus_k_double = -k;
            EXPECT_EQ(box_factor::times_rising(1.0, &minus_k_double, 1,
                                               box_factor::shift_frozen_order(1, k + 1, (double)alpha)),
                      0.0);
        }
        for (int r = 2; r < 40; r++) {
            const long double a = (long double)(r - 1) / alpha;
            EXPECT_EQ(box_factor::times_rising(1.0L, &a, 1, box_factor::shift(r, 1, alpha)), 0.0L)
                << "alpha " << (double)alpha << " row " << r;
        }
    }
}

// sum over |kappa| = k of C_kappa(I_n) = (trace I_n)^k = n^k, with
// C_kappa(I_n) = alpha^k k! J_kappa(1^n) / (prod of upper hooks times lower
// hooks), J_kappa(1^n) = prod over boxes of (n - (i - 1) + alpha (c - 1)).
// The hooks read arms and legs off column_lengths; a wrong hook or column
// length breaks the sum at any alpha.
TEST(BoxFactor, HooksSumTheZonalExpansionOfThePowerOfTheTrace)
{
    for (long double alpha : {0.5L, 1.0L, 2.0L, 3.7L})
        for (int n : {1, 3, 5}) {
            const int k = 7;
            long double total = 0, factorial = 1;
            for (int i = 2; i <= k; i++) factorial *= i;
            for_each_partition(k, n, [&](const std::vector<int> &kappa) {
                std::vector<int> conj;
                box_factor::column_lengths(kappa.data(), (int)kappa.size(), conj);
                long double c = std::pow(alpha, k) * factorial;
                for (int i = 1; i <= (int)kappa.size(); i++)
                    for (int col = 1; col <= kappa[i - 1]; col++) {
                        long double arm = kappa[i - 1] - col, leg = conj[col] - i;
                        c *= (n - (i - 1) + alpha * (col - 1)) /
                             (box_factor::upper_hook(arm, leg, alpha) * box_factor::lower_hook(arm, leg, alpha));
                    }
                total += c;
            });
            EXPECT_NEAR(total / std::pow((long double)n, k), 1.0L, 1e-15L)
                << "alpha " << (double)alpha << " n " << n;
        }
}

// Adding box (j, m) lengthens by one the leg of box (i, m) of each earlier
// row i: its hooks go from (d - 1 + alpha, d) to (d + alpha, d + 1) with
// d = alpha (kappa_i - m) + (j - i), and hook_change is old over new.
TEST(BoxFactor, HookChangeIsTheOldOverTheNewHooksOfTheBoxAbove)
{
    const long double alpha = 1.7L;
    const int kappa_i = 5, m = 2, i = 1, j = 3;            // box (1, 2) of (5, 2, 1) gains a leg
    const long double arm = kappa_i - m, old_leg = (j - 1) - i;
    const long double old_hooks = box_factor::upper_hook(arm, old_leg, alpha) * box_factor::lower_hook(arm, old_leg, alpha);
    const long double new_hooks = box_factor::upper_hook(arm, old_leg + 1, alpha) *
                                  box_factor::lower_hook(arm, old_leg + 1, alpha);
    const long double d = alpha * (kappa_i - m) + (j - i);
    EXPECT_NEAR(box_factor::hook_change(d, alpha) / (old_hooks / new_hooks), 1.0L, 4e-18L);
}

namespace {

struct counted_check {
    int polls = 0;
    int stop_at_poll = -1;                                  // -1: never
    static bool poll(void *self)
    {
        counted_check *c = static_cast<counted_check *>(self);
        c->polls++;
        return c->polls == c->stop_at_poll;
    }
};

} // namespace

// Work counted in uneven units is polled once per `interval` units, not per
// call; a stop seen on the calling thread stays seen and reaches the
// team's flag, which a worker's countdown (no check of its own) reads at
// its next poll, and only then.
TEST(InterruptCountdown, PollsPerUnitsOfWorkAndStopsTheTeam)
{
    counted_check calls;
    interrupt_check check{&counted_check::poll, &calls};
    interrupt_countdown every_100(&check, 100);
    for (int i = 0; i < 50; i++) EXPECT_FALSE(every_100.step(30));   // 1500 units
    EXPECT_EQ(calls.polls, 15);                                   // one per 100 units or so

    calls = counted_check{};
    calls.stop_at_poll = 3;
    std::atomic<bool> team_stop{false};
    interrupt_countdown caller(&check, 10, &team_stop);
    interrupt_countdown worker(nullptr, 10, &team_stop);
    int steps = 0;
    while (!caller.step()) steps++;
    EXPECT_EQ(steps, 29);                                       // the third poll said stop
    EXPECT_TRUE(team_stop.load());
    EXPECT_TRUE(caller.step());
    EXPECT_EQ(calls.polls, 3);                                  // no poll after the stop
    for (int i = 0; i < 9; i++) EXPECT_FALSE(worker.step());    // not yet at its poll
    EXPECT_TRUE(worker.step());
}

// A worker's exception (the sections' no-memory failure) leaves through
// join() once every worker has finished, after on_failure has told the
// others to stop; without it such an exception would end the process. A
// team of one runs no thread.
TEST(ThreadTeam, WorkerExceptionLeavesThroughJoin)
{
    std::atomic<bool> stop{false};
    std::atomic<int> finished{0};
    thread_team team([&stop] { stop = true; });
    const int sharing = team.start(4, [&](int t) {
        if (t == 2) throw std::runtime_error("worker 2");
        while (!stop.load()) std::this_thread::yield();   // until told to stop
        finished++;
    });
    EXPECT_EQ(sharing, 4);
    EXPECT_THROW(team.join(), std::runtime_error);
    EXPECT_TRUE(stop.load());
    EXPECT_EQ(finished.load(), 2);
    team.join();                                              // the exception is given once
    thread_team alone;
    EXPECT_EQ(alone.start(1, [](int) { ADD_FAILURE() << "no worker in a team of one"; }), 1);
}
