// The sorn plug-in against the frozen direct transcription of its core
// (direct_sorn), bit for bit, where the reworked strip enumeration of the
// tables does the most: partitions of up to 45 boxes in 6 to 10 variables,
// with rounding in the shifted parts (alpha not a small integer), zero
// coefficients cutting branches and a bound on the first part. And at the
// edges of the arithmetic: overflow, underflow, infinite and NaN values and
// vanishing denominators, which must propagate through the same operations.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

#include "mexhost.h"
#include "direct_sorn.h"
#include "random_calls.h"

namespace {

using sorn_test::spread;

const double infinity = std::numeric_limits<double>::infinity();
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

struct Call {
    int max_size, max_part;
    double alpha;
    std::vector<double> a, b, x, y; // y empty: one argument
};

std::string describe(const Call &c)
{
    std::ostringstream text;
    text << "n=" << c.x.size() << " max_size=" << c.max_size << " max_part=" << c.max_part
         << " alpha=" << c.alpha << " p=" << c.a.size() << " q=" << c.b.size()
         << (c.y.empty() ? " one argument" : " two arguments");
    return text.str();
}

// degree_sums followed by the total, as the gateway forms them, from the
// reference core.
std::vector<double> reference_outputs(const Call &c)
{
    return direct_sorn::series_outputs(c.max_size, c.max_part, c.alpha, c.a, c.b, c.x, c.y);
}

// The same from the plug-in, called as a host calls it.
std::vector<double> plugin_outputs(const Call &c)
{
    std::string error;
    static mexhost::MexFunction sorn = mexhost::load_plugin(SORN_PLUGIN, error);
    EXPECT_NE(sorn, nullptr) << error;
    std::vector<mxArray *> inputs = {
        mexhost::make_row({double(c.max_size), double(c.max_part)}),
        mexhost::make_scalar(c.alpha), mexhost::make_row(c.a), mexhost::make_row(c.b),
        mexhost::make_row(c.x)};
    if (!c.y.empty())
        inputs.push_back(mexhost::make_row(c.y));
    mexhost::CallResult result = mexhost::call(sorn, 2, {inputs.begin(), inputs.end()});
    std::vector<double> outputs;
    if (result.ok) {
        outputs = mexhost::real_values(result.outputs[1]);
        outputs.push_back(mexhost::real_values(result.outputs[0])[0]);
    } else {
        ADD_FAILURE() << describe(c) << ": " << result.message;
    }
    mexhost::release(result);
    for (mxArray *input : inputs)
        mxDestroyArray(input);
    return outputs;
}

void expect_same_bits(const Call &c)
{
    std::vector<double> expected = reference_outputs(c);
    std::vector<double> got = plugin_outputs(c);
    ASSERT_EQ(got.size(), expected.size()) << describe(c);
    for (size_t k = 0; k < got.size(); ++k)
        EXPECT_EQ(std::memcmp(&got[k], &expected[k], sizeof(double)), 0)
            << describe(c) << (k + 1 == got.size() ? ": total" : ": degree ") << k
            << " expected " << expected[k] << " got " << got[k];
}


} // namespace

TEST(ReferenceMatchLarge, ManyVariablesAndLargePartitions)
{
    const std::vector<double> none;
    const Call calls[] = {
        {45, 45, 1.0, none, none, spread(6, 0.35, 0.95), {}},
        {45, 45, 0.7, {0.3}, {1.7}, spread(6, -0.8, 1.1), spread(6, 0.25, 1.2)},
        {42, 42, 2.0, {-3.0}, {1.7}, spread(7, 0.2, 0.9), {}}, // (a)_kappa vanishes
        {40, 12, 3.3, none, {2.5}, spread(7, -1.2, 0.6), spread(8, 0.5, 0.1)},
        {40, 40, 0.45, {0.3, -2.5}, {1.7, 0.9}, spread(8, 0.1, 1.3), {}},
        {45, 45, 1.5, none, none, spread(8, 0.35, 0.95), spread(8, 0.25, 1.1)},
        {44, 9, 2.0, {1.25}, none, spread(8, 0.9, -0.4), {}},
        {25, 25, 1.0 / 3.0, {0.5}, {1.5}, spread(10, 0.05, 0.95), spread(10, 1.0, 0.2)},
    };
    for (const Call &c : calls)
        expect_same_bits(c);
}

// Eleven and thirteen variables: within one call the fills whose rows have
// at most nine entries beyond the rows of the partition sum their strips
// in registers, the longer ones in the table itself; both must give the
// transcription's bits.
TEST(ReferenceMatchLarge, RowsBeyondTheRegisteredSums)
{
    const std::vector<double> none;
    const Call calls[] = {
        {22, 22, 1.0, none, none, spread(11, 0.35, 0.95), {}},
        {20, 20, 0.8, {0.4}, {1.3}, spread(13, -0.6, 0.9), spread(13, 0.2, 1.1)},
    };
    for (const Call &c : calls)
        expect_same_bits(c);
}

TEST(ReferenceMatchLarge, EdgesOfTheArithmetic)
{
    const std::vector<double> none;
    const Call calls[] = {
        // alpha so large that alpha * kappa_i overflows, and so small that 1 / alpha does.
        {8, 8, 1e308, {0.5}, none, {0.3, 0.2, 0.7, 0.4}, {}},
        {8, 8, 1e300, none, none, {0.3, 0.2, 0.7}, {1.0, 2.0, 3.0}},
        {7, 7, 1e-300, {0.5}, {1.5}, {0.3, 0.2, 0.7, 0.4, 0.1}, {}},
        // Values that overflow, underflow to subnormals, or are infinite or NaN.
        {9, 9, 1.0, none, none, {1e200, -3.0, 1e-200, 0.0, 2.0}, {}},
        {9, 9, 2.5, {0.3}, none, {infinity, 0.5, -0.25, 0.75}, {0.5, not_a_number, 1.0, 2.0}},
        {8, 8, 0.5, none, none, {0.0, -0.0, 0.0, 0.0}, {1.0, 1.0, 1.0, 1.0}},
        // A denominator parameter that vanishes at a box: infinite coefficients.
        {8, 8, 1.0, none, {-2.0}, {0.3, 0.2, 0.7, 0.4}, {}},
        {9, 9, 2.0, {1.0}, {-0.5}, {0.3, -0.2, 0.7, 0.4, 0.6}, {0.1, 0.2, 0.3, 0.4, 0.5}},
        // Coefficients that underflow to 0 and cut their branches.
        {12, 12, 7.5, {-1e-320, -1e-4}, none, {0.3, -0.2, 0.4, 0.1, 0.9}, {}},
        // Two and three variables, where only one-row and two-row partitions are stored.
        {30, 30, 0.9, {0.2}, {1.3}, {0.6, -0.7}, {0.4, 1.1}},
        {30, 17, 1.7, none, none, {0.6, -0.7, 0.2}, {}},
    };
    for (const Call &c : calls)
        expect_same_bits(c);
}
