// The sorn plug-in against the frozen direct transcription of its tables and
// walk (direct_sorn), bit for bit, over random one- and two-argument calls.
// Any rework of the core must keep this test passing unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "mexhost.h"
#include "direct_sorn.h"
#include "random_calls.h"

namespace {

using RandomCall = sorn_test::SeriesCall;

// degree_sums and the total as the gateway forms them, from the reference core.
std::vector<double> reference_degree_sums(const RandomCall &c, double &total)
{
    std::vector<double> outputs =
        direct_sorn::series_outputs(c.max_size, c.max_part, c.alpha, c.a, c.b, c.x, c.y);
    total = outputs.back();
    outputs.pop_back();
    return outputs;
}


mxArray *row(const std::vector<double> &values) { return mexhost::make_row(values); }

} // namespace

TEST(ReferenceMatch, PlugInDegreeSumsAreBitForBitTheReference)
{
    std::string error;
    mexhost::MexFunction sorn = mexhost::load_plugin(SORN_PLUGIN, error);
    ASSERT_NE(sorn, nullptr) << error;
    std::mt19937 random(77031);
    for (int trial = 0; trial < 300; ++trial) {
        RandomCall c = sorn_test::random_call(random, trial, {30, 8, 2});
        double expected_total = 0;
        std::vector<double> expected = reference_degree_sums(c, expected_total);

        std::vector<mxArray *> inputs = {row({double(c.max_size), double(c.max_part)}),
                                         mexhost::make_scalar(c.alpha), row(c.a), row(c.b), row(c.x)};
        if (!c.y.empty())
            inputs.push_back(row(c.y));
        mexhost::CallResult result = mexhost::call(sorn, 2, {inputs.begin(), inputs.end()});
        ASSERT_TRUE(result.ok) << "trial " << trial << ": " << result.message;
        std::vector<double> got = mexhost::real_values(result.outputs[1]);
        double got_total = mexhost::real_values(result.outputs[0])[0];
        mexhost::release(result);
        for (mxArray *input : inputs)
            mxDestroyArray(input);

        ASSERT_EQ(got.size(), expected.size()) << "trial " << trial;
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0)
            << "trial " << trial << ": n=" << c.x.size() << " max_size=" << c.max_size
            << " max_part=" << c.max_part << " alpha=" << c.alpha
            << (c.y.empty() ? " one argument" : " two arguments");
        EXPECT_EQ(std::memcmp(&got_total, &expected_total, sizeof(double)), 0) << "trial " << trial;
    }
}
