// sorn end to end: the mexrun command loads the built plug-in, calls it and
// prints the outputs or the error, as a user sees them.
#include <string>
#include <vector>

#include "run_mexrun.h"

namespace {

using Outcome = MexrunOutcome;

Outcome mexrun(const std::vector<std::string> &calls) { return run_mexrun(MEXRUN, SORN_DIR, calls); }

} // namespace

// The values: 0F0 has degree sums trace(X)^k / k! for every alpha, here
// 0.5^k / k! (the last printed as 1/48 plus the rounding of its three terms,
// five units in the last place); the two-argument sums by hand from the
// zonal polynomials of degree 2, C_(2) = (p1^2 + 2 p2)/3 and
// C_(1,1) = 2 (p1^2 - p2)/3: (a)_(1,1) = 0 at a = 1/2, so only (2) counts,
// (0.75 / 3.75) * C_(2)(X) C_(2)(Y) / C_(2)(I) / 2 = 0.01009375; the last
// is 1 + (1/3)(0.5) + 0.009 (the README's worked example).
TEST(SornMexrun, ReadmeExamples)
{
    Outcome run = mexrun({"[v, d] = sorn(3, 2, [], [], [0.3 -0.2 0.4])",
                          "[s, d] = sorn([2 2], 2, 0.5, 1.5, [0.3 0.2], [1 0.5])",
                          "sorn(2, 1, 0.5, 1.5, [0.3; 0.2])"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "v = 1.6458333333333333\n"
                       "d = [1 0.5 0.125 0.020833333333333343]\n"
                       "s = 1.13509375\n"
                       "d = [1 0.125 0.01009375]\n"
                       "ans = 1.1756666666666666\n");
    EXPECT_EQ(run.err, "");
}

TEST(SornMexrun, ErrorsEndTheCallWithStatusOne)
{
    const struct {
        const char *call, *message;
    } cases[] = {
        {"sorn(3, 2, [], [])", "Must have five or six input arguments."},
        {"v = sorn(3, 2, [], [], [1 2; 3 4])", "Fifth input must be a vector = x."},
        {"v = sorn(3, 2+1i, [], [], 1)", "All inputs must be real full double arrays."},
        {"v = sorn(3, 0, [], [], 1)", "Second input must be a positive finite alpha."},
        {"v = sorn(100000, 1, [], [], [1 2 3])",
         "First and fifth inputs need tables of 2500100001 partitions, more than 2147483646."},
    };
    for (const auto &c : cases) {
        Outcome run = mexrun({c.call});
        EXPECT_EQ(run.status, 1) << c.call;
        EXPECT_EQ(run.out, "") << c.call;
        EXPECT_EQ(run.err, std::string("error: sorn: ") + c.message + "\n") << c.call;
    }
}
