// Calls through the toy plug-in: errors end the call, the host cleans up
// after a failed call, output slots behave as on a MEX host, structs own
// their fields, warnings and interrupts reach the host.
#include <gtest/gtest.h>

#include <cmath>

#include "mexhost.h"

namespace {

// Modes of hosttoy (see hosttoy.cpp).
enum ToyMode {
    ECHO = 1, FAIL_HOLDING = 2, AFTER_ERROR_RUNS = 3, MALLOC = 4, CALLOC = 5, LEAK = 6,
    SET_OUTPUTS = 7, THROW = 8, STORE_INPUT = 9, FREE_TWICE = 10, DESTROY_INPUT = 11,
    CREATE_700 = 12, COUNTS = 13, SMALL_BLOCKS = 14, OPTIONS = 15, WARN = 16, STRUCT_USE = 17,
    WAIT_FOR_INTERRUPT = 18
};
enum StructUse {
    NESTED = 1, FIELD_AS_OUTPUT = 2, DESTROY_FIELD = 3, VALUE_IN_TWO_FIELDS = 4, LEFT_BEHIND = 5,
    REPLACED_LEFT = 6, DESTROYED = 7
};

mexhost::MexFunction toy() {
    static mexhost::MexFunction fn = [] {
        std::string error;
        mexhost::MexFunction loaded = mexhost::load_plugin(HOSTTOY_DIR "/hosttoy.mexa64", error);
        EXPECT_NE(loaded, nullptr) << error;
        return loaded;
    }();
    return fn;
}

class ToyCalls : public ::testing::Test {
protected:
    std::vector<mxArray *> inputs;
    size_t arrays_before = mexhost::live_arrays();
    size_t blocks_before = mexhost::live_blocks();

    // Calls the toy in `mode` with further scalar inputs.
    mexhost::CallResult call(int nlhs, int mode, std::vector<double> args = {}) {
        std::vector<const mxArray *> in{keep(mexhost::make_scalar(mode))};
        for (double arg : args) in.push_back(keep(mexhost::make_scalar(arg)));
        return mexhost::call(toy(), nlhs, in);
    }
    mxArray *keep(mxArray *input) {
        inputs.push_back(input);
        return input;
    }
    double after_error_runs() {
        mexhost::CallResult result = call(1, AFTER_ERROR_RUNS);
        double count = mexhost::real_values(result.outputs.at(0)).at(0);
        mexhost::release(result);
        return count;
    }
    void TearDown() override {
        mexhost::set_memory_limit(0);
        EXPECT_EQ(after_error_runs(), 0) << "code after an error ran";
        for (mxArray *input : inputs) mxDestroyArray(input);
        EXPECT_EQ(mexhost::live_arrays(), arrays_before);
        EXPECT_EQ(mexhost::live_blocks(), blocks_before);
    }
    static void expect_no_outputs(const mexhost::CallResult &result) {
        for (mxArray *output : result.outputs) EXPECT_EQ(output, nullptr);
    }
};

TEST(LoadPlugin, ReportsWhyAPluginCannotBeLoaded) {
    std::string error;
    EXPECT_EQ(mexhost::load_plugin(HOSTTOY_DIR "/missing.mexa64", error), nullptr);
    EXPECT_NE(error.find("missing.mexa64"), std::string::npos) << error;
    EXPECT_EQ(mexhost::load_plugin(NOT_A_PLUGIN_PATH, error), nullptr);
    EXPECT_NE(error.find("mexFunction"), std::string::npos) << error;
    EXPECT_NE(mexhost::load_plugin(HOSTTOY_DIR "/hosttoy.mexa64", error), nullptr);
    EXPECT_EQ(error, "");
}

TEST_F(ToyCalls, AnErrorEndsTheCallAndReleasesWhatItHeld) {
    size_t released_before = mexhost::blocks_released_by_host();
    mexhost::CallResult result = call(1, FAIL_HOLDING);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "toy failure while holding memory.");
    expect_no_outputs(result);
    EXPECT_EQ(mexhost::blocks_released_by_host(), released_before + 2);
}

TEST_F(ToyCalls, FreeingTwiceEndsTheCall) {
    mexhost::CallResult result = call(0, FREE_TWICE);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("mxFree"), std::string::npos) << result.message;
}

TEST_F(ToyCalls, AFailedAllocationEndsTheCallInsteadOfReturningNull) {
    mexhost::set_memory_limit(1 << 20);
    mexhost::CallResult small = call(0, MALLOC, {1000});
    EXPECT_TRUE(small.ok) << small.message;
    mexhost::CallResult large = call(0, MALLOC, {2 << 20});
    EXPECT_FALSE(large.ok);
    EXPECT_EQ(large.message, "Out of memory: cannot allocate 2097152 bytes.");
    mexhost::set_memory_limit(0);
    mexhost::CallResult overflow = call(0, CALLOC, {std::ldexp(1.0, 62), 8});
    EXPECT_FALSE(overflow.ok);
    EXPECT_EQ(overflow.message.rfind("Out of memory", 0), 0u) << overflow.message;
    mexhost::CallResult huge = call(0, MALLOC, {1e18});
    EXPECT_EQ(huge.message, "Out of memory: cannot allocate 1000000000000000000 bytes.");
}

TEST_F(ToyCalls, ZeroSizedBlocksAreUniqueAndCallocZeroFills) {
    mexhost::CallResult result = call(1, SMALL_BLOCKS);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(mexhost::real_values(result.outputs[0]), (std::vector<double>{1, 1}));
    EXPECT_EQ(result.leaked_blocks, 0u);
    mexhost::release(result);
}

TEST_F(ToyCalls, OutputSlotsFollowNlhs) {
    mexhost::CallResult none = call(0, COUNTS);
    ASSERT_TRUE(none.ok) << none.message;
    ASSERT_EQ(none.outputs.size(), 1u);  // room for `ans`
    EXPECT_EQ(mexhost::real_values(none.outputs[0]), (std::vector<double>{0, 1}));
    mexhost::CallResult two = call(2, SET_OUTPUTS, {2});
    ASSERT_TRUE(two.ok) << two.message;
    ASSERT_EQ(two.outputs.size(), 2u);
    EXPECT_EQ(mexhost::real_values(two.outputs[1]), (std::vector<double>{2}));
    mexhost::CallResult nothing = call(0, SET_OUTPUTS, {0});
    EXPECT_TRUE(nothing.ok);
    EXPECT_EQ(nothing.outputs.at(0), nullptr);
    mexhost::release(none);
    mexhost::release(two);
}

TEST_F(ToyCalls, StoringMoreOutputsThanAskedIsAnError) {
    for (auto [nlhs, set] : {std::pair<int, int>{0, 2}, {1, 2}, {2, 3}}) {
        mexhost::CallResult result = call(nlhs, SET_OUTPUTS, {double(set)});
        EXPECT_FALSE(result.ok) << nlhs;
        EXPECT_EQ(result.message.rfind("Output " + std::to_string(set) + " was stored", 0), 0u)
            << result.message;
        EXPECT_EQ(result.outputs.size(), size_t(std::max(nlhs, 1)));
        expect_no_outputs(result);
    }
}

TEST_F(ToyCalls, AnUnassignedOutputIsAnError) {
    for (auto [nlhs, set] : {std::pair<int, int>{1, 0}, {2, 1}}) {
        mexhost::CallResult result = call(nlhs, SET_OUTPUTS, {double(set)});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "One or more output arguments not assigned during the call.");
        expect_no_outputs(result);
    }
}

TEST_F(ToyCalls, OutputsAreCopiesOwnedByTheCaller) {
    mxArray *matrix = keep(mexhost::make_double(2, 1, {1, 2}, {3, 4}));
    mexhost::CallResult result =
        mexhost::call(toy(), 1, {keep(mexhost::make_scalar(ECHO)), matrix});
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_NE(result.outputs[0], matrix);
    EXPECT_EQ(mexhost::imag_values(result.outputs[0]), (std::vector<double>{3, 4}));
    mexhost::release(result);
}

TEST_F(ToyCalls, OtherExceptionsAreReportedNotPropagated) {
    mexhost::CallResult result = call(0, THROW);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("toy exception"), std::string::npos) << result.message;
}

TEST_F(ToyCalls, LeftoversOfASuccessfulCallAreCountedAndReleased) {
    mexhost::CallResult result = call(1, LEAK);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.leaked_blocks, 1u);
    EXPECT_EQ(result.leaked_arrays, 1u);
    mexhost::release(result);
}

TEST_F(ToyCalls, InputsCannotBeReturnedOrDestroyed) {
    mexhost::CallResult stored = call(1, STORE_INPUT, {5});
    EXPECT_FALSE(stored.ok);
    EXPECT_EQ(stored.message, "Output 1 is not a new array created during the call.");
    mexhost::CallResult destroyed = call(0, DESTROY_INPUT, {5});
    EXPECT_FALSE(destroyed.ok);
    EXPECT_EQ(mxGetPr(inputs.back())[0], 5.0);  // still alive
}

TEST_F(ToyCalls, The32BitConstructorRejectsNegativeSizes) {
    mexhost::CallResult negative = call(1, CREATE_700, {-1, 3});
    EXPECT_FALSE(negative.ok);
    mexhost::CallResult fine = call(1, CREATE_700, {2, 3});
    ASSERT_TRUE(fine.ok) << fine.message;
    EXPECT_EQ(mxGetM(fine.outputs[0]) * 10 + mxGetN(fine.outputs[0]), 23u);
    mexhost::release(fine);
}

TEST_F(ToyCalls, AStructReturnedOrLeftBehindTakesItsFieldsWithIt) {
    mexhost::CallResult nested = call(1, STRUCT_USE, {NESTED});
    ASSERT_TRUE(nested.ok) << nested.message;
    EXPECT_EQ(nested.leaked_arrays, 0u);
    const mxArray *inner = mxGetField(nested.outputs[0], 0, "inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(mexhost::real_values(mxGetField(inner, 0, "b")), (std::vector<double>{2}));
    char label[4];
    EXPECT_EQ(mxGetString(mxGetField(nested.outputs[0], 0, "label"), label, sizeof label), 0);
    EXPECT_STREQ(label, "new");
    size_t live = mexhost::live_arrays();
    mexhost::release(nested);
    EXPECT_EQ(mexhost::live_arrays(), live - 5);  // outer, inner, a, b, label
    // A struct left behind counts once; a replaced value is the plug-in's again.
    for (auto [use, leaked] : {std::pair<int, size_t>{LEFT_BEHIND, 1}, {REPLACED_LEFT, 1}, {DESTROYED, 0}}) {
        mexhost::CallResult result = call(1, STRUCT_USE, {double(use)});
        ASSERT_TRUE(result.ok) << use << ": " << result.message;
        EXPECT_EQ(result.leaked_arrays, leaked) << use;
        mexhost::release(result);
    }
}

TEST_F(ToyCalls, AFieldValueIsNeitherAnOutputNorDestroyedNorSharedOnItsOwn) {
    struct Case { int use; const char *message; };
    for (const Case &c : std::vector<Case>{
             {FIELD_AS_OUTPUT, "Output 1 is not a new array created during the call."},
             {DESTROY_FIELD, "mxDestroyArray: the array is a field of a struct, destroyed with the struct."},
             {VALUE_IN_TWO_FIELDS, "mxSetField: the value is already held by a struct."}}) {
        mexhost::CallResult result = call(1, STRUCT_USE, {double(c.use)});
        EXPECT_FALSE(result.ok) << c.use;
        EXPECT_EQ(result.message, c.message);
        expect_no_outputs(result);
    }
}

TEST_F(ToyCalls, WarningsAndErrorIdentifiersAreRecordedPerCall) {
    mexhost::CallResult warned = call(1, WARN);
    ASSERT_TRUE(warned.ok) << warned.message;
    ASSERT_EQ(warned.warnings.size(), 2u);
    EXPECT_EQ(warned.warnings[0].id, "hosttoy:note");
    EXPECT_EQ(warned.warnings[0].message, "3 items of text");
    EXPECT_EQ(warned.warnings[1].id, "");
    EXPECT_EQ(warned.warnings[1].message, "plain");
    mexhost::CallResult failed = mexhost::call(
        toy(), 1, {keep(mexhost::make_scalar(WARN)),
                   keep(mexhost::make_numeric(mexhost::ArrayClass::Logical, 1, 1, {1}))});
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.message, "failed after 2 warnings");
    EXPECT_EQ(failed.error_id, "hosttoy:failed");
    EXPECT_EQ(failed.warnings.size(), 2u);  // kept though the call failed
    mexhost::CallResult quiet = call(1, COUNTS);
    EXPECT_TRUE(quiet.warnings.empty() && quiet.error_id.empty());
    mexhost::release(warned);
    mexhost::release(quiet);
}

TEST_F(ToyCalls, AnInterruptEndsAPollingCallAndTheHostReleasesItsMemory) {
    size_t released_before = mexhost::blocks_released_by_host();
    EXPECT_FALSE(utIsInterruptPending());
    mexhost::request_interrupt();
    EXPECT_TRUE(utIsInterruptPending());
    mexhost::CallResult result = call(0, WAIT_FOR_INTERRUPT);
    mexhost::clear_interrupt();
    EXPECT_FALSE(utIsInterruptPending());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error_id, "hosttoy:interrupted");
    EXPECT_EQ(result.message, "interrupted");
    EXPECT_EQ(mexhost::blocks_released_by_host(), released_before + 1);
}

TEST_F(ToyCalls, ANegativeNlhsIsRefusedWithoutCalling) {
    mexhost::CallResult result = call(-1, FAIL_HOLDING);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message, "toy failure while holding memory.");
}

} // namespace
