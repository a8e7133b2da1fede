// Host arrays and the host allocator, used directly (outside any call):
// what a plug-in relies on, and failures that must not return.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "mexhost.h"

namespace {

// The message of the error `action` ends with; "" if it returns.
std::string error_of(const std::function<void()> &action) {
    try {
        action();
    } catch (const std::runtime_error &error) {
        return error.what();
    }
    return "";
}

class HostArrays : public ::testing::Test {
protected:
    size_t arrays_before = mexhost::live_arrays();
    size_t blocks_before = mexhost::live_blocks();
    void TearDown() override {
        mexhost::set_memory_limit(0);
        EXPECT_EQ(mexhost::live_arrays(), arrays_before);
        EXPECT_EQ(mexhost::live_blocks(), blocks_before);
    }
};

TEST_F(HostArrays, ConstructorsGiveZeroFilledDoublesOfTheAskedShape) {
    mxArray *wide = mxCreateDoubleMatrix_730(2, 3, mxREAL);
    mxArray *complex = mxCreateDoubleMatrix_700(3, 1, mxCOMPLEX);
    EXPECT_EQ(mxGetM(wide), 2u);
    EXPECT_EQ(mxGetN(wide), 3u);
    EXPECT_EQ(mxGetNumberOfElements(wide), 6u);
    EXPECT_TRUE(mxIsDouble(wide) && !mxIsComplex(wide) && !mxIsSparse(wide));
    EXPECT_EQ(mxGetPi(wide), nullptr);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(mxGetPr(wide)[k], 0.0);
    EXPECT_TRUE(mxIsDouble(complex) && mxIsComplex(complex));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(mxGetPr(complex)[k] + mxGetPi(complex)[k], 0.0);
    mxDestroyArray(wide);
    mxDestroyArray(complex);
}

TEST_F(HostArrays, EmptyArraysStillHaveADataPointer) {
    for (auto shape : {std::pair<size_t, size_t>{0, 0}, {0, 5}, {5, 0}}) {
        mxArray *empty = mxCreateDoubleMatrix_730(shape.first, shape.second, mxREAL);
        EXPECT_EQ(mxGetNumberOfElements(empty), 0u);
        EXPECT_NE(mxGetPr(empty), nullptr);
        mxDestroyArray(empty);
    }
}

TEST_F(HostArrays, NegativeSizesInThe32BitConstructorEndTheCall) {
    EXPECT_NE(error_of([] { mxCreateDoubleMatrix_700(-1, 2, mxREAL); }), "");
    EXPECT_NE(error_of([] { mxCreateDoubleMatrix_700(2, -1, mxREAL); }), "");
}

TEST_F(HostArrays, SparseDoublesStoreOnlyTheNonZeros) {
    // [1 0 0; 0 0 2]: stored column by column.
    mxArray *sparse = mexhost::make_sparse(2, 3, {1, 0, 0, 0, 0, 2});
    EXPECT_TRUE(mxIsDouble(sparse) && mxIsSparse(sparse) && !mxIsComplex(sparse));
    EXPECT_EQ(mxGetNumberOfElements(sparse), 6u);
    EXPECT_EQ(mxGetPr(sparse)[0], 1.0);
    EXPECT_EQ(mxGetPr(sparse)[1], 2.0);
    EXPECT_EQ(mexhost::real_values(sparse), (std::vector<double>{1, 0, 0, 0, 0, 2}));

    mxArray *complex = mexhost::make_sparse(2, 1, {0, 3}, {4, 0});
    EXPECT_TRUE(mxIsComplex(complex) && mxIsSparse(complex));
    EXPECT_EQ(mexhost::real_values(complex), (std::vector<double>{0, 3}));
    EXPECT_EQ(mexhost::imag_values(complex), (std::vector<double>{4, 0}));
    mxDestroyArray(sparse);
    mxDestroyArray(complex);
}

TEST_F(HostArrays, OtherClassesConvertTheirValuesAndHideTheirData) {
    mxArray *ints = mexhost::make_numeric(mexhost::ArrayClass::Int32, 1, 5, {2.5, -2.5, 3e9, -3e9, NAN});
    EXPECT_EQ(mexhost::real_values(ints), (std::vector<double>{3, -3, INT32_MAX, INT32_MIN, 0}));
    EXPECT_FALSE(mxIsDouble(ints));
    EXPECT_EQ(mxGetPr(ints), nullptr);

    mxArray *single = mexhost::make_numeric(mexhost::ArrayClass::Single, 1, 1, {0.1});
    EXPECT_EQ(mexhost::real_values(single)[0], static_cast<double>(0.1f));

    mxArray *text = mexhost::make_char("ab");
    EXPECT_EQ(mexhost::class_of(text), mexhost::ArrayClass::Char);
    EXPECT_EQ(mexhost::real_values(text), (std::vector<double>{'a', 'b'}));
    mxArray *no_text = mexhost::make_char("");
    EXPECT_EQ(mxGetM(no_text) + mxGetN(no_text), 0u);
    for (mxArray *array : {ints, single, text, no_text}) mxDestroyArray(array);
}

TEST_F(HostArrays, DuplicatesAreIndependentCopies) {
    mxArray *original = mexhost::make_double(1, 2, {1, 2}, {3, 4});
    mxArray *sparse = mexhost::make_sparse(2, 2, {0, 5, 6, 0});
    mxArray *copy = mxDuplicateArray(original);
    mxArray *sparse_copy = mxDuplicateArray(sparse);
    mxGetPr(original)[0] = 9;
    EXPECT_EQ(mexhost::real_values(copy), (std::vector<double>{1, 2}));
    EXPECT_EQ(mexhost::imag_values(copy), (std::vector<double>{3, 4}));
    EXPECT_TRUE(mxIsSparse(sparse_copy));
    EXPECT_EQ(mexhost::real_values(sparse_copy), (std::vector<double>{0, 5, 6, 0}));
    EXPECT_EQ(mexhost::live_arrays(), arrays_before + 4);
    for (mxArray *array : {original, sparse, copy, sparse_copy}) mxDestroyArray(array);
}

TEST_F(HostArrays, InvalidHandlesEndTheCallInsteadOfCrashing) {
    EXPECT_NE(error_of([] { mxGetM(nullptr); }), "");
    mxArray *gone = mxCreateDoubleMatrix_730(1, 1, mxREAL);
    mxDestroyArray(gone);
    EXPECT_NE(error_of([gone] { mxGetPr(gone); }), "");
    EXPECT_NE(error_of([gone] { mxDestroyArray(gone); }), "");
    mxDestroyArray(nullptr);  // a no-op
}

TEST_F(HostArrays, BlocksTakenOutsideACallStayUntilFreed) {
    void *block = mxMalloc(64);
    void *zeroed = mxCalloc(8, 8);
    EXPECT_EQ(mexhost::live_blocks(), blocks_before + 2);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(static_cast<double *>(zeroed)[k], 0.0);
    mxFree(block);
    mxFree(zeroed);
    mxFree(nullptr);
}

TEST_F(HostArrays, FreeingAForeignOrFreedPointerIsAnError) {
    int local = 0;
    EXPECT_NE(error_of([&local] { mxFree(&local); }), "");
    void *block = mxMalloc(8);
    mxFree(block);
    EXPECT_NE(error_of([block] { mxFree(block); }), "");
}

TEST_F(HostArrays, ErrorsOutsideACallDoNotReturnEither) {
    EXPECT_EQ(error_of([] { mexErrMsgTxt("Direct failure."); }), "Direct failure.");
}

TEST_F(HostArrays, RequestsBeyondTheMemoryLimitFailWithAMessage) {
    mexhost::set_memory_limit(1000);
    EXPECT_EQ(error_of([] { mxMalloc(1001); }), "Out of memory: cannot allocate 1001 bytes.");
    EXPECT_EQ(error_of([] { mxCreateDoubleMatrix_730(1, 200, mxREAL); }),
              "Out of memory: cannot allocate 1600 bytes.");
    void *fits = mxMalloc(1000);
    EXPECT_NE(error_of([] { mxMalloc(1); }), "");  // the limit counts what is held
    mxFree(fits);
    mexhost::set_memory_limit(0);
    EXPECT_NE(error_of([] { mxCalloc(SIZE_MAX / 2, 4); }), "");   // count * size overflows
    EXPECT_NE(error_of([] { mxMalloc(SIZE_MAX / 2); }), "");      // beyond physical memory
    EXPECT_NE(error_of([] { mxCreateDoubleMatrix_730(SIZE_MAX / 4, 4, mxREAL); }), "");
}

} // namespace
