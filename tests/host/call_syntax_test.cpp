// The call language of mexrun: literal forms and shapes, malformed calls,
// and printing with shortest round-trip numbers.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "call_syntax.h"

namespace {

using call_syntax::Value;
using mexhost::ArrayClass;

// The single argument of `f(<literal>)`.
Value literal(const std::string &text) {
    call_syntax::Call call = call_syntax::parse_call("f(" + text + ")");
    EXPECT_EQ(call.arguments.size(), 1u) << text;
    return call.arguments.empty() ? Value{} : call.arguments[0];
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Value real_matrix(size_t m, size_t n, std::vector<double> column_major) {
    Value value;
    value.m = m;
    value.n = n;
    value.real = std::move(column_major);
    return value;
}

TEST(CallOutputs, NamesGiveTheNumberOfOutputs) {
    struct Case { const char *text; std::vector<std::string> outputs; };
    for (const Case &c : std::vector<Case>{{"f(1)", {}},
                                           {"  f", {}},
                                           {"v = f(1)", {"v"}},
                                           {"v=f", {"v"}},
                                           {"[v, d] = f(1)", {"v", "d"}},
                                           {"[v d]=f()", {"v", "d"}},
                                           {"[ ~ ,d_2 ] = f(1)", {"~", "d_2"}}}) {
        call_syntax::Call call = call_syntax::parse_call(c.text);
        EXPECT_EQ(call.outputs, c.outputs) << c.text;
        EXPECT_EQ(call.function, "f") << c.text;
    }
}

TEST(CallLiterals, NumbersReadAsTheNearestDouble) {
    struct Case { const char *text; double value; };
    for (const Case &c : std::vector<Case>{{"2", 2.0},
                                           {"-1.5e-3", -1.5e-3},
                                           {".5", 0.5},
                                           {"1e3", 1000.0},
                                           {"1.", 1.0},
                                           {"+3", 3.0},
                                           {"- 4", -4.0},
                                           {"0.1", 0.1},
                                           {"2.7083333333333335", 2.7083333333333335},
                                           {"Inf", HUGE_VAL},
                                           {"-Inf", -HUGE_VAL},
                                           {"1e999", HUGE_VAL},
                                           {"-0", -0.0}}) {
        Value value = literal(c.text);
        ASSERT_EQ(value.real.size(), 1u) << c.text;
        EXPECT_TRUE(same_bits(value.real[0], c.value)) << c.text << " gave " << value.real[0];
        EXPECT_TRUE(value.imag.empty() && value.m == 1 && value.n == 1) << c.text;
    }
    EXPECT_TRUE(std::isnan(literal("NaN").real.at(0)));
}

TEST(CallLiterals, ComplexNumbers) {
    struct Case { const char *text; double real, imag; };
    for (const Case &c : std::vector<Case>{{"1+2i", 1, 2},
                                           {"-3i", 0, -3},
                                           {"2-0.5j", 2, -0.5},
                                           {"1 + 2i", 1, 2},
                                           {"2i+1", 1, 2},
                                           {"1+0i", 1, 0},
                                           {"-Infi", 0, -HUGE_VAL}}) {
        Value value = literal(c.text);
        ASSERT_EQ(value.imag.size(), 1u) << c.text;
        EXPECT_EQ(value.real[0], c.real) << c.text;
        EXPECT_EQ(value.imag[0], c.imag) << c.text;
    }
}

TEST(CallLiterals, MatricesTakeTheirShapeFromRowsAndColumns) {
    struct Case { const char *text; size_t m, n; std::vector<double> real; };
    for (const Case &c : std::vector<Case>{{"[0.3 0.2]", 1, 2, {0.3, 0.2}},
                                           {"[0.3; 0.2]", 2, 1, {0.3, 0.2}},
                                           {"[1 2; 3 4]", 2, 2, {1, 3, 2, 4}},
                                           {"[1,2 ,3]", 1, 3, {1, 2, 3}},
                                           {"[]", 0, 0, {}},
                                           {"[ ]", 0, 0, {}},
                                           {"[-1 -2]", 1, 2, {-1, -2}},
                                           {"[1 -2]", 1, 2, {1, -2}},
                                           {"[1; 2;]", 2, 1, {1, 2}},
                                           {"[1 +2]", 1, 2, {1, 2}},
                                           {"[1, - 2]", 1, 2, {1, -2}},
                                           {"zeros(0,3)", 0, 3, {}},
                                           {"zeros(4, 0)", 4, 0, {}},
                                           {"zeros(2)", 2, 2, {0, 0, 0, 0}},
                                           {"ones(1,2)", 1, 2, {1, 1}}}) {
        Value value = literal(c.text);
        EXPECT_EQ(value.m, c.m) << c.text;
        EXPECT_EQ(value.n, c.n) << c.text;
        EXPECT_EQ(value.real, c.real) << c.text;
        EXPECT_TRUE(value.imag.empty() && value.cls == ArrayClass::Double && !value.sparse) << c.text;
    }
}

TEST(CallLiterals, ComplexElementsMakeTheWholeMatrixComplex) {
    Value value = literal("[1+2i 3; 4 -5j]");
    EXPECT_EQ(value.real, (std::vector<double>{1, 4, 3, 0}));
    EXPECT_EQ(value.imag, (std::vector<double>{2, 0, 0, -5}));
    Value two = literal("[1 +2i]");  // a sign after a blank starts an element
    EXPECT_EQ(two.n, 2u);
    EXPECT_EQ(two.imag, (std::vector<double>{0, 2}));
}

TEST(CallLiterals, CharacterArrays) {
    Value text = literal("'it''s'");
    EXPECT_EQ(text.cls, ArrayClass::Char);
    EXPECT_EQ(text.real, (std::vector<double>{'i', 't', '\'', 's'}));
    EXPECT_EQ(text.m, 1u);
    Value empty = literal("''");
    EXPECT_EQ(empty.m + empty.n, 0u);
    EXPECT_EQ(literal("'a, b)'").n, 5u);
}

TEST(CallLiterals, ConversionsAndLogicals) {
    Value sparse = literal("sparse([1 0; 0 2])");
    EXPECT_TRUE(sparse.sparse && sparse.cls == ArrayClass::Double);
    EXPECT_TRUE(literal("sparse(zeros(3,4))").sparse);
    EXPECT_EQ(literal("sparse(1+2i)").imag, (std::vector<double>{2}));
    EXPECT_EQ(literal("int32([1 2])").cls, ArrayClass::Int32);
    EXPECT_EQ(literal("single(1.5)").cls, ArrayClass::Single);
    Value truth = literal("true");
    EXPECT_EQ(truth.cls, ArrayClass::Logical);
    EXPECT_EQ(truth.real, (std::vector<double>{1}));
    EXPECT_EQ(literal("false").real, (std::vector<double>{0}));
}

// Signs before arrays and products with a scalar follow MATLAB: each element
// is one IEEE operation on the values as written (-0 stays -0, int32 saturates).
TEST(CallLiterals, SignsAndScalarProductsOfArrays) {
    struct Case { const char *text; size_t m, n; std::vector<double> real; };
    const double third = -100.0 / 3.0;
    for (const Case &c : std::vector<Case>{{"-[1 2 3 4 4.5 5]", 1, 6, {-1, -2, -3, -4, -4.5, -5}},
                                           {"+[1; 2]", 2, 1, {1, 2}},
                                           {"- [0 1]", 1, 2, {-0.0, -1}},
                                           {"-ones(1,2)", 1, 2, {-1, -1}},
                                           {"-zeros(0,3)", 0, 3, {}},
                                           {"-8*ones(1,5)", 1, 5, {-8, -8, -8, -8, -8}},
                                           {"-100/3*ones(1,3)", 1, 3, {third, third, third}},
                                           {"2 * [1 2] / 4", 1, 2, {0.5, 1}},
                                           {"[1; 3]*-2", 2, 1, {-2, -6}},
                                           {"-true", 1, 1, {-1}},
                                           {"+'a'", 1, 1, {97}}}) {
        Value value = literal(c.text);
        EXPECT_EQ(value.m, c.m) << c.text;
        EXPECT_EQ(value.n, c.n) << c.text;
        ASSERT_EQ(value.real.size(), c.real.size()) << c.text;
        for (size_t k = 0; k < c.real.size(); ++k) {
            EXPECT_TRUE(same_bits(value.real[k], c.real[k])) << c.text << " element " << k;
        }
        EXPECT_TRUE(value.imag.empty() && value.cls == ArrayClass::Double && !value.sparse) << c.text;
    }
    Value saturated = literal("-int32([-2147483648 3])");
    EXPECT_EQ(saturated.cls, ArrayClass::Int32);
    EXPECT_EQ(saturated.real, (std::vector<double>{2147483647, -3}));
    Value complex = literal("-[1+2i 3]");
    EXPECT_EQ(complex.real, (std::vector<double>{-1, -3}));
    EXPECT_EQ(complex.imag, (std::vector<double>{-2, -0.0}));
    EXPECT_TRUE(literal("-sparse([1 0])").sparse);
}

TEST(CallLiterals, SeveralArgumentsInOrder) {
    call_syntax::Call call = call_syntax::parse_call("brint([4 4], 2, [], [], 2, [0.5 Inf -1])");
    ASSERT_EQ(call.arguments.size(), 6u);
    EXPECT_EQ(call.arguments[2].m + call.arguments[2].n, 0u);
    EXPECT_EQ(call.arguments[5].real, (std::vector<double>{0.5, HUGE_VAL, -1}));
}

TEST(CallErrors, MalformedCallsAreRejected) {
    for (const char *text : {"", "= f(1)", "[] = f(1)", "[v, d] f(1)", "v == f(1)", "[v,,d] = f",
                             "f(1) extra", "f(1", "f(1,)", "f(,1)", "f(1 2)", "1(2)",
                             "f([1 - 2])", "f(1 - 2)", "f(1+2i+3)", "f(2i+3i)", "f(1+2)",
                             "f([1 2; 3])", "f([1 2", "f([1,,2])", "f([,1])", "f([1(2)])",
                             "f('abc", "f(\"abc\")", "f(x)", "f(pi)", "f(1e)", "f(1.2.3)",
                             "f(1x)", "f(.)", "f(--1)", "f(zeros(-1,2))", "f(zeros(1.5,2))",
                             "f(zeros(1e6,1e6))", "f(zeros(1,2,3))", "f(int32(1+2i))",
                             "f(sparse('a'))", "f(single(true))", "f([true])", "f(--[1])",
                             "f(-x)", "f(-)", "f([1 2]*[3 4])", "f(2/[1 2])", "f(2*)", "f(*2)",
                             "f(2**3)", "f(2*1+2i)", "f(int32(2)*3)", "f(2*sparse(1))",
                             "f(2*[1 2] + 1)", "f(2*(3))"}) {
        EXPECT_THROW(call_syntax::parse_call(text), call_syntax::SyntaxError) << text;
    }
}

TEST(CallErrors, MessagesSayWhatAndWhere) {
    try {
        call_syntax::parse_call("f([1 - 2])");
        FAIL() << "no error";
    } catch (const call_syntax::SyntaxError &error) {
        EXPECT_NE(std::string(error.what()).find("arithmetic"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("column 5"), std::string::npos) << error.what();
    }
}

TEST(CallPrinting, NumbersAreShortestRoundTripDecimals) {
    struct Case { double value; const char *text; };
    for (const Case &c : std::vector<Case>{{1, "1"},
                                           {100, "100"},
                                           {0.1, "0.1"},
                                           {0.1 + 0.2, "0.30000000000000004"},
                                           {1.0 / 3, "0.3333333333333333"},
                                           {2.7083333333333335, "2.7083333333333335"},
                                           {1e22, "1e+22"},
                                           {5e-324, "5e-324"},
                                           {DBL_MAX, "1.7976931348623157e+308"},
                                           {-0.0, "-0"},
                                           {HUGE_VAL, "Inf"},
                                           {-HUGE_VAL, "-Inf"},
                                           {NAN, "NaN"}}) {
        EXPECT_EQ(call_syntax::format_number(c.value), c.text);
    }
}

TEST(CallPrinting, EveryPrintedNumberReadsBackToTheSameDouble) {
    for (double value : {0.1, 1.0 / 3, 2.0 / 3, M_PI, 1e-310, 123456789.123, -9.87e-15, 0x1p-1022}) {
        std::string text = call_syntax::format_number(value);
        EXPECT_TRUE(same_bits(std::strtod(text.c_str(), nullptr), value)) << text;
    }
}

TEST(CallPrinting, ShapesAndClasses) {
    Value complex = real_matrix(1, 3, {1, 0, NAN});
    complex.imag = {2, -HUGE_VAL, NAN};
    Value sparse = real_matrix(2, 2, {1, 0, 0, 2});
    sparse.sparse = true;
    Value ints = real_matrix(1, 2, {1, -2});
    ints.cls = ArrayClass::Int32;
    Value single = real_matrix(1, 1, {static_cast<double>(0.1f)});
    single.cls = ArrayClass::Single;
    Value text = real_matrix(1, 4, {'i', 't', '\'', 's'});
    text.cls = ArrayClass::Char;
    Value empty_text = real_matrix(0, 0, {});
    empty_text.cls = ArrayClass::Char;
    Value truth = real_matrix(1, 1, {1});
    truth.cls = ArrayClass::Logical;
    struct Case { Value value; const char *text; };
    for (const Case &c : std::vector<Case>{{real_matrix(1, 1, {2}), "2"},
                                           {real_matrix(1, 3, {1, -2, 0.5}), "[1 -2 0.5]"},
                                           {real_matrix(2, 1, {1, 2}), "[1; 2]"},
                                           {real_matrix(2, 2, {1, 3, 2, 4}), "[1 2; 3 4]"},
                                           {real_matrix(0, 3, {}), "zeros(0,3)"},
                                           {real_matrix(0, 0, {}), "zeros(0,0)"},
                                           {complex, "[1+2i 0-Infi NaN+NaNi]"},
                                           {sparse, "sparse([1 0; 0 2])"},
                                           {ints, "int32([1 -2])"},
                                           {single, "single(0.1)"},
                                           {text, "'it''s'"},
                                           {empty_text, "''"},
                                           {truth, "true"}}) {
        EXPECT_EQ(call_syntax::format_value(c.value), c.text);
    }
}

TEST(CallPrinting, PrintedValuesParseBackAndSurviveTheHost) {
    for (const char *text : {"[1 -2; 0.1 3]", "[1+2i 0-3i]", "zeros(2,0)", "'a''b'", "''",
                             "sparse([0 1; 2 0])", "int32([7 -8])", "single(0.1)", "true"}) {
        Value parsed = literal(text);
        mxArray *array = call_syntax::to_array(parsed);
        EXPECT_EQ(call_syntax::format_value(call_syntax::from_array(array)), text);
        mxDestroyArray(array);
    }
}

TEST(CallPrinting, StructOutputsPrintOneLinePerField) {
    const char *names[] = {"degree", "label", "converged", "terms"};
    const char *term_names[] = {"x"};
    mxArray *info = mxCreateStructMatrix(1, 1, 4, names);
    mxArray *terms = mxCreateStructMatrix(1, 2, 1, term_names);
    mxSetField(terms, 1, "x", mxCreateDoubleScalar(0.5));
    mxSetField(info, 0, "degree", mxCreateDoubleScalar(40));
    mxSetField(info, 0, "label", mxCreateString("it's"));
    mxSetField(info, 0, "converged", mxCreateLogicalScalar(true));
    mxSetField(info, 0, "terms", terms);
    EXPECT_EQ(call_syntax::format_output("info", info),
              "info.degree = 40\n"
              "info.label = 'it''s'\n"
              "info.converged = true\n"
              "info.terms(1).x = []\n"
              "info.terms(2).x = 0.5\n");
    mxArray *none = mxCreateStructMatrix(0, 3, 1, term_names);
    EXPECT_EQ(call_syntax::format_output("s", none), "s = 0-by-3 struct\n");
    EXPECT_EQ(call_syntax::format_output("v", mxGetField(terms, 1, "x")), "v = 0.5\n");
    mxDestroyArray(info);
    mxDestroyArray(none);
}

} // namespace
