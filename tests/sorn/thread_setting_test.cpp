// The gateways' reading of MATRIXHYPER_THREADS: a positive integer is the
// count, anything else leaves the choice to the core (0).
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "gateway_args.h"

TEST(ThreadSetting, EnvironmentGivesTheCount)
{
    const char *saved = std::getenv("MATRIXHYPER_THREADS");
    const std::string kept = saved ? saved : "";
    const struct { const char *text; int count; } cases[] = {
        {"3", 3}, {"1", 1}, {"0", 0}, {"-2", 0}, {"2x", 0}, {"", 0}, {" 4", 4},
        {"99999999999999999999", 0}, {"4000000000", INT_MAX},
    };
    for (const auto &c : cases) {
        setenv("MATRIXHYPER_THREADS", c.text, 1);
        EXPECT_EQ(gateway::thread_count_setting(), c.count) << "'" << c.text << "'";
    }
    unsetenv("MATRIXHYPER_THREADS");
    EXPECT_EQ(gateway::thread_count_setting(), 0);
    if (saved) setenv("MATRIXHYPER_THREADS", kept.c_str(), 1);
}
