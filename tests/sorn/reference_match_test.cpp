// The sorn plug-in against the frozen direct transcription of its tables and
// walk (direct_sorn), bit for bit, over random one- and two-argument calls.
// Any rework of the core must keep this test passing unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "mexhost.h"
#include "direct_sorn.h"

namespace {

struct RandomCall {
    int max_size, max_part;
    double alpha;
    std::vector<double> a, b, x, y;
};

// degree_sums and the total as the gateway forms them, from the reference core.
std::vector<double> reference_degree_sums(const RandomCall &c, double &total)
{
    std::vector<double> outputs =
        direct_sorn::series_outputs(c.max_size, c.max_part, c.alpha, c.a, c.b, c.x, c.y);
    total = outputs.back();
    outputs.pop_back();
    return outputs;
}

RandomCall random_call(std::mt19937 &random, int trial)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    RandomCall c;
    c.max_size = pick(0, 30);
    c.max_part = trial % 3 == 0 ? pick(-1, c.max_size) : c.max_size + pick(0, 5);
    const double alphas[] = {0.25, 0.5, 1.0, 1.5, 2.0, 3.7};
    c.alpha = trial % 2 ? alphas[pick(0, 5)] : 0.2 + 5 * unit(random);
    for (int k = pick(0, 3); k > 0; --k) // numerators, sometimes a terminating -m
        c.a.push_back(pick(0, 4) == 0 ? -pick(0, 4) : 6 * unit(random) - 3);
    for (int k = pick(0, 3); k > 0; --k)
        c.b.push_back(pick(0, 5) == 0 ? -1.5 * unit(random) : 0.5 + 3.5 * unit(random));
    int n = pick(1, 8);
    for (int i = 0; i < n; ++i)
        c.x.push_back(3 * unit(random) - 1.5);
    if (trial % 2 == 1)
        for (int i = 0; i < n + pick(0, 2); ++i)
            c.y.push_back(3 * unit(random) - 1.5);
    return c;
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
        RandomCall c = random_call(random, trial);
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
