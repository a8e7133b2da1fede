// The brint plug-in loaded and called through the host layer: argument
// checks and their precedence, how inputs are read, output shapes, and that
// no host memory outlives a call.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "mexhost.h"
#include "walk_support.h"

using namespace brint_test;

namespace {

mexhost::MexFunction brint()
{
    static mexhost::MexFunction fn = [] {
        std::string error;
        mexhost::MexFunction loaded = mexhost::load_plugin(BRINT_PLUGIN, error);
        EXPECT_NE(loaded, nullptr) << error;
        return loaded;
    }();
    return fn;
}

// Six inputs, by default the worked example [4 4], 2, [], [], 2, [0.5 Inf -1];
// set() swaps one for another array. The arrays are destroyed with the set.
class Inputs {
public:
    Inputs()
    {
        arrays_ = {mexhost::make_row({4, 4}), mexhost::make_scalar(2),
                   mexhost::make_double(0, 0, {}), mexhost::make_double(0, 0, {}),
                   mexhost::make_scalar(2), mexhost::make_row({0.5, inf, -1})};
    }
    Inputs(const Inputs &) = delete;
    Inputs &operator=(const Inputs &) = delete;
    ~Inputs()
    {
        for (mxArray *array : arrays_) mxDestroyArray(array);
    }
    Inputs &set(size_t index, mxArray *array)
    {
        if (index >= arrays_.size()) arrays_.resize(index + 1, nullptr);
        if (arrays_[index]) mxDestroyArray(arrays_[index]);
        arrays_[index] = array;
        return *this;
    }
    Inputs &resize(size_t count)
    {
        while (arrays_.size() > count) {
            mxDestroyArray(arrays_.back());
            arrays_.pop_back();
        }
        while (arrays_.size() < count) arrays_.push_back(mexhost::make_scalar(1));
        return *this;
    }
    std::vector<const mxArray *> list() const { return {arrays_.begin(), arrays_.end()}; }

private:
    std::vector<mxArray *> arrays_;
};

// A finished call: its result, and the host blocks still live afterwards.
// Message of a call that must fail; nothing may outlive it.
std::string failure(const Inputs &inputs, int nlhs = 1)
{
    mexhost::CallResult result = mexhost::call(brint(), nlhs, inputs.list());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(mexhost::live_blocks(), 0u);
    mexhost::release(result);
    return result.message;
}

using Shape = std::pair<size_t, size_t>;

// Outputs of a call that must succeed, with the plug-in freeing every block.
struct Success {
    std::vector<double> values, degree_sums;
    Shape values_shape, sums_shape;
    size_t stored = 0;
};

Success success(const Inputs &inputs, int nlhs = 2)
{
    mexhost::CallResult result = mexhost::call(brint(), nlhs, inputs.list());
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.leaked_blocks + result.leaked_arrays + mexhost::live_blocks(), 0u);
    Success s;
    for (mxArray *array : result.outputs) s.stored += array != nullptr;
    if (result.ok) {
        s.values = mexhost::real_values(result.outputs[0]);
        s.values_shape = {mxGetM(result.outputs[0]), mxGetN(result.outputs[0])};
    }
    if (result.ok && nlhs == 2) {
        s.degree_sums = mexhost::real_values(result.outputs[1]);
        s.sums_shape = {mxGetM(result.outputs[1]), mxGetN(result.outputs[1])};
    }
    mexhost::release(result);
    return s;
}

mxArray *empty(size_t m, size_t n) { return mexhost::make_double(m, n, {}); }
mxArray *matrix(size_t m, size_t n) { return mexhost::make_double(m, n, std::vector<double>(m * n, 1.0)); }

const char *const kSix = "brint takes six input arguments.";
const char *const kOutputs = "Too many output arguments.";
const char *const kDouble = "All inputs must be double arrays.";
const char *const kFirst =
    "First input must be an array of size 1 or 2 = [max size of partition, max size of the largest part].";
const char *const kSecond = "Second input must be a scalar = alpha.";
const char *const kThird = "Third input must be a vector = (a_1,...,a_p).";
const char *const kForth = "Forth input must be a vector = (b_1,...,b_q).";
const char *const kFifth = "Fifth input must be a scalar = number of variables.";
const char *const kSixth = "Sixth input must be a vector = x.";
const char *const kReal = "All inputs must be real full double arrays.";
const char *const kMaxSize = "First input must hold a max size of partition from 0 to 2147483646.";
const char *const kMaxPart = "First input must not hold NaN as max size of the largest part.";
const char *const kAlpha = "Second input must be a positive finite alpha.";
const char *const kVariables = "Fifth input must be a number of variables from 0 to 2147483647.";

// One row per check, in the order of precedence; where a row breaks two
// rules, the earlier message must win.
TEST(BrintGateway, ChecksAndTheirPrecedence)
{
    struct Row {
        const char *what;
        void (*edit)(Inputs &);
        int nlhs;
        const char *message;
    };
    using mexhost::ArrayClass;
    const Row rows[] = {
        {"five inputs", [](Inputs &in) { in.resize(5); }, 1, kSix},
        {"seven inputs", [](Inputs &in) { in.resize(7); }, 1, kSix},
        {"no inputs", [](Inputs &in) { in.resize(0); }, 1, kSix},
        {"five inputs, three outputs", [](Inputs &in) { in.resize(5); }, 3, kSix},
        {"three outputs", [](Inputs &) {}, 3, kOutputs},
        {"three outputs, char input", [](Inputs &in) { in.set(2, mexhost::make_char("a")); }, 3, kOutputs},
        {"char x", [](Inputs &in) { in.set(5, mexhost::make_char("ab")); }, 1, kDouble},
        {"single alpha, bad bounds",
         [](Inputs &in) { in.set(1, mexhost::make_numeric(ArrayClass::Single, 1, 1, {2})).set(0, matrix(2, 1)); }, 1, kDouble},
        {"int32 n", [](Inputs &in) { in.set(4, mexhost::make_numeric(ArrayClass::Int32, 1, 1, {2})); }, 1, kDouble},
        {"logical b", [](Inputs &in) { in.set(3, mexhost::make_numeric(ArrayClass::Logical, 1, 1, {1})); }, 1, kDouble},
        {"bounds column", [](Inputs &in) { in.set(0, matrix(2, 1)); }, 1, kFirst},
        {"bounds 1-by-3", [](Inputs &in) { in.set(0, matrix(1, 3)); }, 1, kFirst},
        {"bounds 1-by-0", [](Inputs &in) { in.set(0, empty(1, 0)); }, 1, kFirst},
        {"bounds 0-by-0, alpha 1-by-2", [](Inputs &in) { in.set(0, empty(0, 0)).set(1, matrix(1, 2)); }, 1, kFirst},
        {"alpha 1-by-2", [](Inputs &in) { in.set(1, matrix(1, 2)); }, 1, kSecond},
        {"alpha 0-by-0, a 2-by-2", [](Inputs &in) { in.set(1, empty(0, 0)).set(2, matrix(2, 2)); }, 1, kSecond},
        {"a 2-by-2", [](Inputs &in) { in.set(2, matrix(2, 2)); }, 1, kThird},
        {"b 3-by-2, n 1-by-2", [](Inputs &in) { in.set(3, matrix(3, 2)).set(4, matrix(1, 2)); }, 1, kForth},
        {"n 1-by-2", [](Inputs &in) { in.set(4, matrix(1, 2)); }, 1, kFifth},
        {"n 0-by-0, x 2-by-2", [](Inputs &in) { in.set(4, empty(0, 0)).set(5, matrix(2, 2)); }, 1, kFifth},
        {"x 0-by-0", [](Inputs &in) { in.set(5, empty(0, 0)); }, 1, kSixth},
        {"x 2-by-2, complex alpha", [](Inputs &in) {
             in.set(5, matrix(2, 2)).set(1, mexhost::make_double(1, 1, {2}, {1})); }, 1, kSixth},
        {"complex alpha", [](Inputs &in) { in.set(1, mexhost::make_double(1, 1, {2}, {1})); }, 1, kReal},
        {"complex x, zero imaginary parts", [](Inputs &in) {
             in.set(5, mexhost::make_double(1, 2, {1, 2}, {0, 0})); }, 1, kReal},
        {"sparse a", [](Inputs &in) { in.set(2, mexhost::make_sparse(1, 2, {1, 0})); }, 1, kReal},
        {"sparse bounds holding NaN", [](Inputs &in) { in.set(0, mexhost::make_sparse(1, 1, {NAN})); }, 1, kReal},
        {"complex sparse n", [](Inputs &in) { in.set(4, mexhost::make_sparse(1, 1, {2}, {1})); }, 1, kReal},
        {"max_size NaN", [](Inputs &in) { in.set(0, mexhost::make_row({NAN, NAN})); }, 1, kMaxSize},
        {"max_size Inf", [](Inputs &in) { in.set(0, mexhost::make_scalar(inf)); }, 1, kMaxSize},
        {"max_size -Inf", [](Inputs &in) { in.set(0, mexhost::make_scalar(-inf)); }, 1, kMaxSize},
        {"max_size -1", [](Inputs &in) { in.set(0, mexhost::make_row({-1, 3})); }, 1, kMaxSize},
        {"max_size 2147483647", [](Inputs &in) { in.set(0, mexhost::make_scalar(2147483647.0)); }, 1, kMaxSize},
        {"max_part NaN, n NaN", [](Inputs &in) {
             in.set(0, mexhost::make_row({4, NAN})).set(4, mexhost::make_scalar(NAN)); }, 1, kMaxPart},
        {"alpha 0, n NaN", [](Inputs &in) {
             in.set(1, mexhost::make_scalar(0)).set(4, mexhost::make_scalar(NAN)); }, 1, kAlpha},
        {"alpha -2", [](Inputs &in) { in.set(1, mexhost::make_scalar(-2)); }, 1, kAlpha},
        {"alpha NaN", [](Inputs &in) { in.set(1, mexhost::make_scalar(NAN)); }, 1, kAlpha},
        {"alpha Inf", [](Inputs &in) { in.set(1, mexhost::make_scalar(inf)); }, 1, kAlpha},
        {"n NaN", [](Inputs &in) { in.set(4, mexhost::make_scalar(NAN)); }, 1, kVariables},
        {"n Inf", [](Inputs &in) { in.set(4, mexhost::make_scalar(inf)); }, 1, kVariables},
        {"n -1", [](Inputs &in) { in.set(4, mexhost::make_scalar(-1)); }, 1, kVariables},
        {"n 2147483648", [](Inputs &in) { in.set(4, mexhost::make_scalar(2147483648.0)); }, 1, kVariables},
    };
    for (const Row &row : rows) {
        Inputs inputs;
        row.edit(inputs);
        EXPECT_EQ(failure(inputs, row.nlhs), row.message) << row.what;
    }
}

// Values that pass the checks although they lie at or beyond the edges.
TEST(BrintGateway, EdgeValuesPass)
{
    const std::vector<double> ones = {1, 1, 1};
    Inputs half;  // max_size -0.5 truncates to 0
    half.set(0, mexhost::make_scalar(-0.5)).set(5, mexhost::make_row({0.5, 3, -1}));
    EXPECT_EQ(success(half).values, ones);
    EXPECT_EQ(success(half).degree_sums, std::vector<double>{1});

    Inputs no_variables;  // n = 0 (also -0.5): the 0-by-0 argument
    no_variables.set(5, mexhost::make_row({0.5, 3, -1}));
    for (double n : {0.0, -0.5}) {
        no_variables.set(4, mexhost::make_scalar(n));
        EXPECT_EQ(success(no_variables).values, ones);
        EXPECT_EQ(success(no_variables).degree_sums, (std::vector<double>{1, 0, 0, 0, 0}));
    }

    Inputs default_bounds, huge_part, tiny_part, only_empty;
    EXPECT_TRUE(same_bits(success(default_bounds).degree_sums,
                          success(huge_part.set(0, mexhost::make_row({4, inf}))).degree_sums));
    EXPECT_TRUE(same_bits(success(default_bounds).degree_sums,
                          success(huge_part.set(0, mexhost::make_row({4, 1e300}))).degree_sums));
    EXPECT_EQ(success(tiny_part.set(0, mexhost::make_row({4, -inf}))).degree_sums,
              (std::vector<double>{1, 0, 0, 0, 0}));
    Success s = success(only_empty.set(0, mexhost::make_row({4.7, -1})));
    EXPECT_EQ(s.degree_sums, (std::vector<double>{1, 0, 0, 0, 0}));
    EXPECT_TRUE(std::isnan(s.values[1]));  // 0 x Inf in the first Horner step
    EXPECT_EQ(s.values[0], 1.0);
}

TEST(BrintGateway, WorkedExample)
{
    Inputs inputs;
    Success s = success(inputs);
    EXPECT_EQ(s.values_shape, (Shape{1, 3}));
    EXPECT_EQ(s.sums_shape, (Shape{1, 5}));
    const long double sums[] = {1, 2, 2, 4.0L / 3, 2.0L / 3};
    for (int k = 0; k < 5; k++) EXPECT_LE(error_in_eps(s.degree_sums[k], sums[k]), 2) << k;
    EXPECT_LE(error_in_eps(s.values[0], 65.0L / 24), 4);
    EXPECT_TRUE(std::isnan(s.values[1]));
    EXPECT_LE(error_in_eps(s.values[2], 1.0L / 3), 16);
    // Horner from 0, highest degree first: exactly this expression.
    const std::vector<double> &d = s.degree_sums;
    for (int i : {0, 2}) {
        double x = i == 0 ? 0.5 : -1.0;
        double y = ((((0.0 * x + d[4]) * x + d[3]) * x + d[2]) * x + d[1]) * x + d[0];
        EXPECT_TRUE(same_bits({s.values[i]}, {y})) << i;
    }
}

// Bounds, n and parameters reach the walk as read: element 2 as max_part,
// truncation toward zero, a and b in storage order whatever their shape.
TEST(BrintGateway, InputsReachTheWalk)
{
    const std::vector<double> a = {1.5, -0.25}, b = {0.75};
    Inputs inputs;
    inputs.set(0, mexhost::make_row({10, 3})).set(1, mexhost::make_scalar(0.6))
        .set(2, mexhost::make_column(a)).set(3, mexhost::make_row(b))
        .set(4, mexhost::make_scalar(3.9));
    EXPECT_TRUE(same_bits(success(inputs).degree_sums, run_walk(10, 3, 0.6, a, b, 3)));
    inputs.set(0, mexhost::make_scalar(2.9)).set(3, empty(1, 0)).set(2, mexhost::make_row(a));
    EXPECT_TRUE(same_bits(success(inputs).degree_sums, run_walk(2, 2, 0.6, a, {}, 3)));
    inputs.set(2, empty(0, 1)).set(3, mexhost::make_column(b));
    EXPECT_TRUE(same_bits(success(inputs).degree_sums, run_walk(2, 2, 0.6, {}, b, 3)));
}

TEST(BrintGateway, OutputShapesAndCounts)
{
    Inputs row, column, none_row, none_column;
    column.set(5, mexhost::make_column({0.5, inf, -1}));
    none_row.set(5, empty(1, 0));
    none_column.set(5, empty(0, 1));
    Success r = success(row), c = success(column), e = success(none_row), f = success(none_column);
    EXPECT_EQ(c.values_shape, (Shape{3, 1}));
    EXPECT_TRUE(same_bits(c.values, r.values));
    EXPECT_EQ(e.values_shape, (Shape{1, 0}));
    EXPECT_EQ(f.values_shape, (Shape{0, 1}));
    EXPECT_TRUE(same_bits(e.degree_sums, r.degree_sums));  // the walk still runs
    EXPECT_TRUE(same_bits(f.degree_sums, r.degree_sums));

    for (int nlhs : {0, 1}) {  // output 1 only, stored even for nlhs 0
        Success s = success(row, nlhs);
        EXPECT_EQ(s.stored, 1u) << nlhs;
        EXPECT_TRUE(same_bits(s.values, r.values)) << nlhs;
    }
    EXPECT_EQ(r.stored, 2u);
    EXPECT_EQ(mexhost::real_values(row.list()[5]), (std::vector<double>{0.5, inf, -1}));
}

TEST(BrintGateway, ManyVariables)
{
    Inputs inputs;
    inputs.set(0, mexhost::make_scalar(5)).set(4, mexhost::make_scalar(1e6))
        .set(5, mexhost::make_row({1e-6}));
    Success s = success(inputs);
    long double term = 1.0L, e5 = 0.0L;
    for (int k = 0; k <= 5; k++) {
        EXPECT_LE(error_in_eps(s.degree_sums[k], term * std::pow(1e6L, k)), 16) << k;
        e5 += term;
        term /= k + 1;
    }
    EXPECT_LE(error_in_eps(s.values[0], e5), 16);  // exp(n x) cut at degree 5
    inputs.set(0, mexhost::make_scalar(3)).set(4, mexhost::make_scalar(2147483647));
    EXPECT_LE(error_in_eps(success(inputs).degree_sums[3], std::pow(2147483647.0L, 3) / 6), 16);
}

TEST(BrintGateway, ApiVersionExport)
{
    void *handle = dlopen(BRINT_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto version = reinterpret_cast<void (*)(unsigned int *, unsigned int *)>(
        dlsym(handle, "mexfilerequiredapiversion"));
    ASSERT_NE(version, nullptr);
    unsigned int release = 7, api = 7;
    version(&release, &api);
    EXPECT_EQ(release, 131450u);
    EXPECT_EQ(api, 0u);
    dlclose(handle);
}

} // namespace
