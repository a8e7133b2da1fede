// Tests of the sorn plug-in through the host layer: argument checks in their
// order, outputs, the version export, memory left after calls, and agreement
// with brint where the two plug-ins meet.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "closed_forms.h"
#include "mexhost.h"

using namespace sorn_test;

namespace {

const double infinity = std::numeric_limits<double>::infinity();
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

mexhost::MexFunction load(const char *path)
{
    std::string error;
    mexhost::MexFunction fn = mexhost::load_plugin(path, error);
    EXPECT_NE(fn, nullptr) << error;
    return fn;
}

mexhost::MexFunction sorn()
{
    static mexhost::MexFunction fn = load(SORN_PLUGIN);
    return fn;
}

// Inputs described by value so that a table of cases can hold them.
struct Arg {
    enum Kind { Dense, Complex, Sparse, Char, Int32, Logical, Single } kind = Dense;
    size_t m = 1, n = 1;
    std::vector<double> values = {0};
};

Arg row(std::vector<double> v) { return {Arg::Dense, 1, v.size(), v}; }
Arg column(std::vector<double> v) { return {Arg::Dense, v.size(), 1, v}; }
Arg scalar(double v) { return row({v}); }
Arg dense(size_t m, size_t n) { return {Arg::Dense, m, n, std::vector<double>(m * n, 0.5)}; }
Arg of_kind(Arg::Kind kind, Arg arg) { arg.kind = kind; return arg; }

mxArray *make(const Arg &arg)
{
    switch (arg.kind) {
    case Arg::Dense: return mexhost::make_double(arg.m, arg.n, arg.values);
    case Arg::Complex:
        return mexhost::make_double(arg.m, arg.n, arg.values, std::vector<double>(arg.values.size(), 1.0));
    case Arg::Sparse: return mexhost::make_sparse(arg.m, arg.n, arg.values);
    case Arg::Char: return mexhost::make_char("ab");
    case Arg::Int32: return mexhost::make_numeric(mexhost::ArrayClass::Int32, arg.m, arg.n, arg.values);
    case Arg::Logical: return mexhost::make_numeric(mexhost::ArrayClass::Logical, arg.m, arg.n, arg.values);
    case Arg::Single: return mexhost::make_numeric(mexhost::ArrayClass::Single, arg.m, arg.n, arg.values);
    }
    return nullptr;
}

struct Outcome {
    bool ok = false;
    std::string message;
    std::vector<std::vector<double>> outputs; // values of the outputs that were set
    std::vector<std::pair<size_t, size_t>> shapes;
};

// Calls the plug-in, checks that nothing was left behind, and frees everything.
Outcome call(mexhost::MexFunction fn, int nlhs, const std::vector<Arg> &args)
{
    std::vector<mxArray *> owned;
    std::vector<const mxArray *> inputs;
    for (const Arg &arg : args) {
        owned.push_back(make(arg));
        inputs.push_back(owned.back());
    }
    mexhost::CallResult result = mexhost::call(fn, nlhs, inputs);
    Outcome outcome{result.ok, result.message, {}, {}};
    EXPECT_EQ(result.leaked_blocks, 0u) << result.message;
    EXPECT_EQ(result.leaked_arrays, 0u) << result.message;
    for (mxArray *output : result.outputs)
        if (output) {
            outcome.outputs.push_back(mexhost::real_values(output));
            outcome.shapes.emplace_back(mxGetM(output), mxGetN(output));
        }
    mexhost::release(result);
    for (mxArray *array : owned)
        mxDestroyArray(array);
    EXPECT_EQ(mexhost::live_blocks(), 0u);
    return outcome;
}

std::vector<Arg> good_inputs() // a valid five-input call
{
    return {scalar(4), scalar(1.5), row({0.5}), row({1.25}), row({0.3, -0.2, 0.4})};
}

std::vector<Arg> with(std::vector<Arg> args, size_t index, Arg replacement)
{
    if (index >= args.size())
        args.resize(index + 1, scalar(1));
    args[index] = replacement;
    return args;
}

const char *const counts_message = "Must have five or six input arguments.";
const char *const outputs_message = "Too many output arguments.";
const char *const type_message = "All inputs must be double arrays.";
const char *const real_message = "All inputs must be real full double arrays.";
const char *const size_range_message = "First input must hold a max size of partition from 0 to 2147483646.";
const char *const alpha_message = "Second input must be a positive finite alpha.";

} // namespace

TEST(SornChecks, EachFailureGivesItsMessageInPrecedenceOrder)
{
    const std::vector<Arg> good = good_inputs();
    const std::vector<Arg> good6 = with(good, 5, row({1, 2, 3}));
    const Arg bad_shape = dense(2, 2);
    struct Case { const char *name; int nlhs; std::vector<Arg> args; std::string message; };
    const std::vector<Case> cases = {
        {"four inputs, three outputs", 3, {scalar(4), scalar(1), row({}), row({})}, counts_message},
        {"no inputs", 1, {}, counts_message},
        {"seven inputs", 1, with(good6, 6, scalar(1)), counts_message},
        {"three outputs", 3, good, outputs_message},
        {"char a before bad x", 1, with(with(good, 2, of_kind(Arg::Char, scalar(0))), 4, bad_shape), type_message},
        {"int32 bounds", 1, with(good, 0, of_kind(Arg::Int32, scalar(4))), type_message},
        {"logical x", 1, with(good, 4, of_kind(Arg::Logical, row({1, 0}))), type_message},
        {"single y", 2, with(with(good, 0, dense(2, 1)), 5, of_kind(Arg::Single, row({1, 2, 3}))), type_message},
        {"bounds 2-by-1", 1, with(good, 0, column({4, 2})), "First input must be a scalar = max size of partition."},
        {"bounds 1-by-0", 1, with(good, 0, row({})), "First input must be a scalar = max size of partition."},
        {"bounds 1-by-3", 1, with(good, 0, row({4, 2, 1})), "First input must be a scalar = max size of partition."},
        {"alpha 1-by-2", 1, with(good, 1, row({1, 2})), "Second input must be a scalar = alpha."},
        {"alpha 0-by-0", 1, with(good, 1, dense(0, 0)), "Second input must be a scalar = alpha."},
        {"a 2-by-2", 1, with(with(good, 2, bad_shape), 3, bad_shape), "Third input must be a vector = (a_1,...,a_p)."},
        {"b 2-by-3", 1, with(good, 3, dense(2, 3)), "Forth input must be a vector = (b_1,...,b_q)."},
        {"x 0-by-0", 1, with(good, 4, dense(0, 0)), "Fifth input must be a vector = x."},
        {"x 2-by-2", 1, with(good6, 4, bad_shape), "Fifth input must be a vector = x."},
        {"y 2-by-2", 1, with(good, 5, bad_shape), "Sixth input must be a vector = y."},
        // Checks added for sound behaviour, after the ten above.
        {"complex bounds with NaN", 1, with(good, 0, of_kind(Arg::Complex, scalar(not_a_number))), real_message},
        {"complex alpha", 1, with(good, 1, of_kind(Arg::Complex, scalar(1))), real_message},
        {"sparse x", 1, with(good, 4, of_kind(Arg::Sparse, row({0.5, 0, 2}))), real_message},
        {"complex y", 1, with(good, 5, of_kind(Arg::Complex, row({1, 2, 3}))), real_message},
        {"max_size NaN", 1, with(good, 0, scalar(not_a_number)), size_range_message},
        {"max_size Inf", 1, with(good, 0, scalar(infinity)), size_range_message},
        {"max_size -Inf", 1, with(good, 0, scalar(-infinity)), size_range_message},
        {"max_size -1", 1, with(good, 0, row({-1, 3})), size_range_message},
        {"max_size 2^31-1", 1, with(good, 0, scalar(2147483647.0)), size_range_message},
        {"max_size 3e9 and bad alpha", 1, with(with(good, 0, scalar(3e9)), 1, scalar(0)), size_range_message},
        {"max_part NaN", 1, with(good, 0, row({4, not_a_number})), "First input must not hold NaN as max size of the largest part."},
        {"alpha 0", 1, with(good, 1, scalar(0)), alpha_message},
        {"alpha -0", 1, with(good, 1, scalar(-0.0)), alpha_message},
        {"alpha -2", 1, with(good, 1, scalar(-2)), alpha_message},
        {"alpha NaN", 1, with(good, 1, scalar(not_a_number)), alpha_message},
        {"alpha Inf, short y", 1, with(with(good, 1, scalar(infinity)), 5, row({1})), alpha_message},
        {"short y", 2, with(good, 5, row({1, 2})), "Sixth input must have at least as many elements as the fifth input."},
        {"positions n=1", 1, with(with(good, 0, scalar(2147483646)), 4, scalar(0.5)),
         "First and fifth inputs need tables of 2147483647 partitions, more than 2147483646."},
        {"positions n=3", 1, with(good, 0, scalar(100000)),
         "First and fifth inputs need tables of 2500100001 partitions, more than 2147483646."},
        {"positions n=5", 1, with(with(good, 0, scalar(5000)), 4, row({1, 2, 3, 4, 5})),
         "First and fifth inputs need tables of at least "},
        {"bytes n=1", 1, with(with(good, 0, scalar(300000000)), 4, scalar(0.5)),
         "First and fifth inputs need an array of 2400000016 bytes (max size 300000000, n = 1, "
         "tables of 300000001 partitions), more than 2147483647."},
        {"bytes n=3", 1, with(good, 0, scalar(40000)),
         "First and fifth inputs need an array of 9600960048 bytes (max size 40000, n = 3, "
         "tables of 400040001 partitions), more than 2147483647."},
        {"bytes empty x", 2, with(with(good, 0, scalar(1e9)), 4, row({})),
         "First and fifth inputs need an array of 8000000008 bytes (max size 1000000000, n = 0), "
         "more than 2147483647."},
    };
    for (const Case &c : cases) {
        Outcome outcome = call(sorn(), c.nlhs, c.args);
        EXPECT_FALSE(outcome.ok) << c.name;
        EXPECT_EQ(outcome.message.substr(0, c.message.size()), c.message) << c.name;
        EXPECT_TRUE(outcome.outputs.empty()) << c.name;
    }
}

TEST(SornOutputs, OutputOneIsTheSumOfTheDegreeSumsInIncreasingOrder)
{
    std::vector<Arg> args = good_inputs();
    Outcome two = call(sorn(), 2, args);
    ASSERT_TRUE(two.ok) << two.message;
    ASSERT_EQ(two.shapes.size(), 2u);
    EXPECT_EQ(two.shapes[0], std::make_pair(size_t(1), size_t(1)));
    EXPECT_EQ(two.shapes[1], std::make_pair(size_t(1), size_t(5)));
    double sum = 0;
    for (double term : two.outputs[1])
        sum = sum + term;
    EXPECT_EQ(two.outputs[0][0], sum);
    EXPECT_EQ(two.outputs[1][0], 1.0);
    for (int nlhs : {0, 1}) {
        Outcome one = call(sorn(), nlhs, args);
        ASSERT_TRUE(one.ok) << one.message;
        ASSERT_EQ(one.outputs.size(), 1u) << "nlhs=" << nlhs;
        EXPECT_EQ(one.outputs[0][0], sum) << "nlhs=" << nlhs;
    }
}

TEST(SornOutputs, WorkedExamplesThroughTheGateway)
{
    Outcome one = call(sorn(), 2, {scalar(2), scalar(1), row({0.5}), row({1.5}), row({0.3, 0.2})});
    ASSERT_TRUE(one.ok) << one.message;
    EXPECT_LE(error_in_eps(one.outputs[0][0], 1.1756666666666666L), 8);
    EXPECT_LE(error_in_eps(one.outputs[1][2], 0.009L, 0.009L), 8);
    Outcome two = call(sorn(), 1, {scalar(2), scalar(2), column({0.5}), row({1.5}), row({0.3, 0.2}),
                                   column({1, 0.5})});
    ASSERT_TRUE(two.ok) << two.message;
    EXPECT_LE(error_in_eps(two.outputs[0][0], 1.13509375L), 8);
}

TEST(SornOutputs, ShapesAndBoundsThatGiveTheSameSeries)
{
    auto degree_sums = [](std::vector<Arg> args) {
        Outcome outcome = call(sorn(), 2, args);
        EXPECT_TRUE(outcome.ok) << outcome.message;
        return outcome.ok ? outcome.outputs[1] : std::vector<double>();
    };
    const std::vector<double> x = {0.3, -0.2, 0.4, 0.15};
    std::vector<Arg> base = {row({6, 3}), scalar(1.5), row({0.5, 2}), row({1.25}), row(x), row({1, 2, 3, 4})};
    std::vector<double> reference = degree_sums(base);
    // x and y as rows or columns, y longer than x, parameters as columns,
    // a fractional max_part: all the same series.
    EXPECT_EQ(degree_sums(with(base, 4, column(x))), reference);
    EXPECT_EQ(degree_sums(with(base, 5, column({1, 2, 3, 4, 99}))), reference);
    EXPECT_EQ(degree_sums(with(base, 2, column({0.5, 2}))), reference);
    EXPECT_EQ(degree_sums(with(base, 0, row({6.9, 3.99}))), reference);
    EXPECT_NE(degree_sums(with(base, 0, scalar(6))), reference);
    // Clamped and trivial bounds.
    std::vector<double> full = degree_sums(with(base, 0, scalar(6)));
    EXPECT_EQ(degree_sums(with(base, 0, row({6, 1e10}))), full);
    EXPECT_EQ(degree_sums(with(base, 0, row({6, infinity}))), full);
    const std::vector<double> only_empty = {1, 0, 0, 0, 0, 0, 0};
    for (double max_part : {0.0, -4.0, -infinity, -1e12})
        EXPECT_EQ(degree_sums(with(base, 0, row({6, max_part}))), only_empty);
    EXPECT_EQ(degree_sums(with(base, 0, scalar(-0.5))), std::vector<double>({1}));
    EXPECT_EQ(degree_sums(with(base, 0, scalar(2.9))).size(), 3u);
    // Empty parameter lists, 0-by-0 or 1-by-0, are p = 0 or q = 0.
    std::vector<Arg> plain = {scalar(5), scalar(2), dense(0, 0), row({}), row(x)};
    EXPECT_EQ(degree_sums(with(with(plain, 2, row({})), 3, dense(0, 0))), degree_sums(plain));
    // An empty x is the 0-by-0 argument.
    EXPECT_EQ(degree_sums(with(plain, 4, row({}))), std::vector<double>({1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(degree_sums(with(base, 4, column({}))), std::vector<double>({1, 0, 0, 0, 0, 0, 0}));
    Outcome empty = call(sorn(), 1, with(plain, 4, row({})));
    EXPECT_EQ(empty.outputs[0], std::vector<double>({1}));
}

TEST(SornHost, VersionExportAndMemory)
{
    void *handle = dlopen(SORN_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using Version = const char *(*)();
    Version version = reinterpret_cast<Version>(dlsym(handle, "mexVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version(), "MATLAB R14 native");
    dlclose(handle);

    // Tables that fit the size arithmetic but not the memory the host
    // allows: the host ends the call and nothing stays allocated.
    mexhost::set_memory_limit(1 << 20);
    mexhost::CallResult result;
    {
        std::vector<mxArray *> owned = {mexhost::make_scalar(60), mexhost::make_scalar(1),
                                        mexhost::make_row({}), mexhost::make_row({}),
                                        mexhost::make_row(std::vector<double>(50, 0.1))};
        result = mexhost::call(sorn(), 1, {owned.begin(), owned.end()});
        mexhost::release(result);
        for (mxArray *array : owned)
            mxDestroyArray(array);
    }
    mexhost::set_memory_limit(0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(mexhost::live_blocks(), 0u);
}

#ifdef BRINT_PLUGIN
TEST(SornAndBrint, AgreeAtMultiplesOfTheIdentity)
{
    mexhost::MexFunction brint = load(BRINT_PLUGIN);
    ASSERT_NE(brint, nullptr);
    for (int n : {1, 2, 3, 5})
        for (double alpha : {0.5, 2.0})
            for (double t : {0.4, -0.7}) {
                std::vector<Arg> common = {row({10, 6}), scalar(alpha), row({0.5, 1.5}), row({2.25})};
                std::vector<Arg> sorn_args = common;
                sorn_args.push_back(row(std::vector<double>(n, t)));
                std::vector<Arg> brint_args = common;
                brint_args.push_back(scalar(n));
                brint_args.push_back(scalar(t));
                Outcome s = call(sorn(), 2, sorn_args);
                Outcome b = call(brint, 2, brint_args);
                ASSERT_TRUE(s.ok && b.ok) << s.message << b.message;
                // brint's degree sums are coefficients of t^k.
                for (int k = 0; k <= 10; ++k) {
                    Real expected = b.outputs[1][k] * std::pow(Real(t), k);
                    EXPECT_LE(error_in_eps(s.outputs[1][k], expected, expected), 64)
                        << "n=" << n << " alpha=" << alpha << " t=" << t << " degree " << k;
                }
                EXPECT_LE(error_in_eps(s.outputs[0][0], b.outputs[0][0]), 64);
            }
}
#endif
