// The matrix_pfq plug-in as a host loads it: what its outputs, warnings and
// error identifiers say where the value is exactly 0, below the range of
// double, or out of memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>

#include "mexhost.h"

namespace {

mexhost::MexFunction matrix_pfq()
{
    static mexhost::MexFunction fn = [] {
        std::string error;
        mexhost::MexFunction loaded = mexhost::load_plugin(MATRIX_PFQ_PLUGIN, error);
        EXPECT_NE(loaded, nullptr) << error;
        return loaded;
    }();
    return fn;
}

mxArray *row(const std::vector<double> &values)
{
    return mexhost::make_double(1, values.size(), values);
}

// [f, err] = matrix_pfq(a, b, x, options...); inputs released here.
mexhost::CallResult call(std::vector<const mxArray *> inputs)
{
    mexhost::CallResult result = mexhost::call(matrix_pfq(), 2, inputs);
    for (const mxArray *input : inputs) mxDestroyArray(const_cast<mxArray *>(input));
    return result;
}

double output(const mexhost::CallResult &result, int k)
{
    return mexhost::real_values(result.outputs[k]).at(0);
}

long address_space_in_use()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long kilobytes = 0;
    while (status >> key)
        if (key == "VmSize:") status >> kilobytes;
    return kilobytes * 1024;
}

} // namespace

// 2F1(-1, 2; 4; x) = 1 - x / 2 (one term past the first): 0 at x = 2,
// exactly, with no warning. 0F0 = exp(x) at -992.51 is 9.04e-432 (mpmath),
// below the least subnormal: 0 with err covering it and a warning that
// points to 'log'.
TEST(PfqGateway, ExactZeroAndUnderflow)
{
    mexhost::CallResult zero = call({row({-1, 2}), row({4}), row({2})});
    ASSERT_TRUE(zero.ok) << zero.message;
    EXPECT_EQ(output(zero, 0), 0.0);
    EXPECT_EQ(output(zero, 1), 0.0);
    EXPECT_TRUE(zero.warnings.empty());
    mexhost::release(zero);

    mexhost::CallResult tiny = call({row({}), row({}), row({-992.5147643669101})});
    ASSERT_TRUE(tiny.ok) << tiny.message;
    EXPECT_EQ(output(tiny, 0), 0.0);
    EXPECT_GE(output(tiny, 1), std::numeric_limits<double>::denorm_min());
    ASSERT_EQ(tiny.warnings.size(), 1u);
    EXPECT_EQ(tiny.warnings[0].id, "matrix_pfq:notConverged");
    EXPECT_NE(tiny.warnings[0].message.find("'log'"), std::string::npos) << tiny.warnings[0].message;
    mexhost::release(tiny);
}

// A terminating series of degree 800 000 at x I_2 needs a few hundred MB of
// tables; with the address space capped below that, the call ends with its
// own identifier, not as an invalid input.
TEST(PfqGateway, OutOfMemoryHasItsOwnIdentifier)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space cap";
#endif
    matrix_pfq();                                         // loaded before the cap
    EXPECT_EXIT(
        {
            rlimit cap;
            cap.rlim_cur = cap.rlim_max = address_space_in_use() + (64L << 20);
            setrlimit(RLIMIT_AS, &cap);
            mexhost::CallResult r = call({row({-400000}), row({0.25}), row({0.1, 0.1}),
                                          mexhost::make_char("max_degree"), row({1000000})});
            std::exit(!r.ok && r.error_id == "matrix_pfq:outOfMemory" ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
