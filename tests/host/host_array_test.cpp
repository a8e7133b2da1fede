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

TEST_F(HostArrays, TextAndLogicalsThroughTheirAccessors) {
    mxArray *text = mxCreateString("tol");
    EXPECT_TRUE(mxIsChar(text) && !mxIsNumeric(text) && !mxIsDouble(text) && !mxIsLogical(text));
    EXPECT_EQ(mxGetM(text) * 10 + mxGetN(text), 13u);
    char *copy = mxArrayToString(text);
    EXPECT_STREQ(copy, "tol");
    EXPECT_EQ(mexhost::live_blocks(), blocks_before + 1);  // the caller's to mxFree
    mxFree(copy);
    char cut[3], whole[4];
    EXPECT_EQ(mxGetString(text, cut, sizeof cut), 1);
    EXPECT_STREQ(cut, "to");
    EXPECT_EQ(mxGetString(text, whole, sizeof whole), 0);
    EXPECT_STREQ(whole, "tol");
    EXPECT_EQ(mxGetString_700(text, whole, -1), 1);
    // Two rows read column by column, as a MEX host reads them.
    mxArray *rows = mexhost::make_numeric(mexhost::ArrayClass::Char, 2, 2, {'a', 'b', 'c', 'd'});
    copy = mxArrayToString(rows);
    EXPECT_STREQ(copy, "abcd");
    mxFree(copy);
    mxArray *number = mxCreateDoubleScalar(2.5);
    EXPECT_EQ(mxArrayToString(number), nullptr);
    EXPECT_EQ(mxGetString(number, whole, sizeof whole), 1);

    mxArray *flag = mxCreateLogicalScalar(true);
    EXPECT_TRUE(mxIsLogical(flag) && mxIsLogicalScalarTrue(flag) && !mxIsNumeric(flag));
    EXPECT_EQ(mxGetPr(flag), nullptr);
    mxGetLogicals(flag)[0] = false;
    EXPECT_TRUE(mxIsLogicalScalar(flag) && !mxIsLogicalScalarTrue(flag));
    mxArray *flags = mexhost::make_numeric(mexhost::ArrayClass::Logical, 1, 3, {1, 0, 2});
    mxArray *flags_copy = mxDuplicateArray(flags);
    EXPECT_FALSE(mxIsLogicalScalar(flags));
    EXPECT_EQ(mexhost::real_values(flags_copy), (std::vector<double>{1, 0, 1}));
    EXPECT_EQ(mxGetLogicals(number), nullptr);
    EXPECT_FALSE(mxIsLogicalScalarTrue(number));
    for (mxArray *array : {text, rows, number, flag, flags, flags_copy}) mxDestroyArray(array);
}

TEST_F(HostArrays, ShapeAndClassQueries) {
    mxArray *wide = mxCreateDoubleMatrix_730(2, 3, mxREAL);
    mxArray *empty = mxCreateDoubleMatrix_730(0, 4, mxREAL);
    mxArray *ints = mexhost::make_numeric(mexhost::ArrayClass::Int32, 1, 1, {7});
    mxArray *single = mexhost::make_numeric(mexhost::ArrayClass::Single, 1, 1, {7});
    EXPECT_EQ(mxGetNumberOfDimensions_730(wide), 2u);
    EXPECT_EQ(mxGetNumberOfDimensions_700(wide), 2);
    EXPECT_EQ(mxGetDimensions_730(wide)[0] * 10 + mxGetDimensions_730(wide)[1], 23u);
    EXPECT_EQ(mxGetDimensions_700(empty)[0] * 10 + mxGetDimensions_700(empty)[1], 4);
    EXPECT_TRUE(mxIsEmpty(empty) && !mxIsEmpty(wide) && !mxIsScalar(wide) && mxIsScalar(ints));
    EXPECT_TRUE(mxIsNumeric(wide) && mxIsNumeric(ints) && mxIsNumeric(single) && !mxIsStruct(wide));
    mxArray *scalar = mxCreateDoubleScalar(-0.25);
    EXPECT_TRUE(mxIsDouble(scalar) && mxIsScalar(scalar) && mxGetPr(scalar)[0] == -0.25);
    for (mxArray *array : {wide, empty, ints, single, scalar}) mxDestroyArray(array);
}

TEST_F(HostArrays, AStructOwnsTheValuesOfItsFields) {
    const char *names[] = {"degree", "converged"};
    mxArray *info = mxCreateStructMatrix(1, 2, 2, names);
    EXPECT_TRUE(mxIsStruct(info) && !mxIsDouble(info) && !mxIsNumeric(info) && !mxIsChar(info));
    EXPECT_EQ(mxGetPr(info), nullptr);
    EXPECT_EQ(mxGetNumberOfFields(info), 2);
    EXPECT_STREQ(mxGetFieldNameByNumber(info, 1), "converged");
    EXPECT_EQ(mxGetFieldNameByNumber(info, 2), nullptr);
    EXPECT_EQ(mxGetField(info, 1, "degree"), nullptr);  // never set
    mxArray *degree = mxCreateDoubleScalar(40);
    mxSetField(info, 1, "degree", degree);
    EXPECT_EQ(mxGetField(info, 1, "degree"), degree);
    EXPECT_EQ(mxGetField(info, 2, "degree"), nullptr);
    EXPECT_EQ(mxGetField(info, 1, "nosuch"), nullptr);
    EXPECT_EQ(mxGetField_700(info, -1, "degree"), nullptr);
    EXPECT_EQ(mxGetField(degree, 0, "degree"), nullptr);  // not a struct
    EXPECT_NE(error_of([degree] { mxDestroyArray(degree); }), "");
    EXPECT_NE(error_of([info, degree] { mxSetField(info, 0, "degree", degree); }), "");
    EXPECT_NE(error_of([info] { mxSetField(info, 0, "nosuch", nullptr); }), "");
    EXPECT_NE(error_of([info] { mxSetField(info, 0, "converged", info); }), "");
    mxArray *copy = mxDuplicateArray(info);
    EXPECT_NE(mxGetField(copy, 1, "degree"), degree);
    EXPECT_EQ(mexhost::real_values(mxGetField(copy, 1, "degree")), (std::vector<double>{40}));
    EXPECT_EQ(mexhost::live_arrays(), arrays_before + 4);
    mxDestroyArray(info);
    mxDestroyArray(copy);  // TearDown: the fields went with their structs

    const char *twice[] = {"a", "a"};
    const char *unnamed[] = {"1a"};
    EXPECT_NE(error_of([&twice] { mxCreateStructMatrix(1, 1, 2, twice); }), "");
    EXPECT_NE(error_of([&unnamed] { mxCreateStructMatrix(1, 1, 1, unnamed); }), "");
    EXPECT_NE(error_of([&names] { mxCreateStructMatrix_700(-1, 1, 2, names); }), "");
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
