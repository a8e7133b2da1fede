// brint end to end: the mexrun command loads the built plug-in, calls it
// and prints the outputs or the error, as a user sees them.
#include <string>
#include <vector>

#include "run_mexrun.h"

namespace {

using Outcome = MexrunOutcome;

Outcome mexrun(const std::string &call) { return run_mexrun(MEXRUN, BRINT_DIR, {call}); }

// The values: exp(2 x) in two variables has the coefficients 1, 2, 2, 4/3,
// 2/3 for every alpha; at x = 0.5 the sum is 65/24 and at x = -1 it is 1/3,
// each printed one unit in the last place off because Horner's rule from 0
// in the stated order rounds so (worked by hand); Inf gives NaN (0 * Inf).
TEST(BrintMexrun, ReadmeExample)
{
    Outcome run = mexrun("[v, d] = brint([4 4], 2, [], [], 2, [0.5 Inf -1])");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "v = [2.708333333333333 NaN 0.3333333333333335]\n"
                       "d = [1 2 2 1.3333333333333333 0.6666666666666666]\n");
    EXPECT_EQ(run.err, "");
}

TEST(BrintMexrun, ErrorsEndTheCallWithStatusOne)
{
    const struct {
        const char *call, *message;
    } cases[] = {
        {"brint([4 4], 2, [], [], 2)", "brint takes six input arguments."},
        {"[v, d, e] = brint(4, 2, [], [], 2, 1)", "Too many output arguments."},
        {"v = brint(4, 2, [], [], 2, 1+2i)", "All inputs must be real full double arrays."},
        {"v = brint(NaN, 2, [], [], 2, 1)",
         "First input must hold a max size of partition from 0 to 2147483646."},
    };
    for (const auto &c : cases) {
        Outcome run = mexrun(c.call);
        EXPECT_EQ(run.status, 1) << c.call;
        EXPECT_EQ(run.out, "") << c.call;
        EXPECT_EQ(run.err, std::string("error: brint: ") + c.message + "\n") << c.call;
    }
}

} // namespace
