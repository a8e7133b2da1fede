// make_seeds.cpp: writes the seed corpus of the fuzz targets.
//
//   make_seeds fuzz/corpus      (writes fuzz/corpus/<plugin>/* for each plug-in)
//
// Each seed is one call in the byte format of call_codec.h, named after what
// it exercises: worked examples with known results, the edge cases of the
// argument checks, and hostile calls that the plug-ins must refuse.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "call_codec.h"

using fuzzcall::CallPlan;
using fuzzcall::Class;
using fuzzcall::InputPlan;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

InputPlan matrix(size_t m, size_t n, std::vector<double> values) {
    InputPlan plan;
    plan.m = m;
    plan.n = n;
    plan.real = std::move(values);
    return plan;
}

InputPlan row(std::vector<double> values) { return matrix(1, values.size(), values); }
InputPlan column(std::vector<double> values) { return matrix(values.size(), 1, values); }
InputPlan scalar(double value) { return matrix(1, 1, {value}); }
InputPlan empty(size_t m = 0, size_t n = 0) { return matrix(m, n, {}); }

InputPlan of_class(Class cls, InputPlan plan) {
    plan.cls = cls;
    return plan;
}

InputPlan complex(InputPlan plan, std::vector<double> imag) {
    plan.complex = true;
    plan.imag = std::move(imag);
    return plan;
}

InputPlan sparse(InputPlan plan) {
    plan.sparse = true;
    return plan;
}

struct Seed {
    const char *name;
    CallPlan call;
};

CallPlan call(int nlhs, std::vector<InputPlan> inputs) { return CallPlan{nlhs, std::move(inputs), 0}; }

// The call with the host allocator limited to `bytes` while it runs.
CallPlan tight(size_t bytes, CallPlan plan) {
    plan.tight_memory_limit = bytes;
    return plan;
}

// brint(bounds, alpha, a, b, n, x)
std::vector<Seed> brint_seeds() {
    InputPlan none = empty();
    return {
        // [v, d] = brint([4 4], 2, [], [], 2, [0.5 Inf -1]): d = [1 2 2 4/3 2/3]
        {"worked_example", call(2, {row({4, 4}), scalar(2), none, none, scalar(2), row({0.5, Inf, -1})})},
        {"bounds_10_3", call(2, {row({10, 3}), scalar(1), scalar(0.5), scalar(1.5), scalar(3), column({0.2, 0.4})})},
        {"fractions", call(2, {scalar(2.9), scalar(1), row({1, 2}), scalar(3), scalar(2.7), empty(1, 0)})},
        {"negative_part_bound", call(2, {row({4.7, -1}), scalar(2), none, none, scalar(2), row({1, 2, 3})})},
        {"max_size_0", call(1, {scalar(0), scalar(1), none, none, scalar(3), row({0.5, -1})})},
        {"no_variables", call(2, {scalar(3), scalar(1), none, none, scalar(0), row({1, 2})})},
        {"many_variables", call(2, {scalar(5), scalar(1), scalar(-2), none, scalar(1e6), scalar(0.3)})},
        {"most_variables", call(0, {scalar(4), scalar(0.5), none, none, scalar(2147483647.0), scalar(0.2)})},
        {"pruned_by_zero", call(2, {scalar(12), scalar(2), scalar(-1), empty(0, 1), scalar(4), row({0.1, -0.2})})},
        {"negative_alpha", call(2, {scalar(12), scalar(-0.5), row({1, 2}), scalar(0.5), scalar(4), row({0.1, -0.2})})},
        {"zero_alpha", call(1, {scalar(6), scalar(0), scalar(1), none, scalar(3), scalar(0.5)})},
        {"largest_affordable", call(2, {scalar(24), scalar(1), row({0.5, 1.5}), scalar(2.5), scalar(8), scalar(0.1)})},
        {"part_bound_huge", call(2, {row({5, 1e300}), scalar(1), none, none, scalar(2), scalar(0.5)})},
        {"part_bound_NaN", call(1, {row({5, NaN}), scalar(1), none, none, scalar(2), scalar(0.5)})},
        {"max_size_NaN", call(1, {scalar(NaN), scalar(1), none, none, scalar(2), scalar(0.5)})},
        {"max_size_2_31_minus_1", call(1, {scalar(2147483647.0), scalar(1), none, none, scalar(2), scalar(0.5)})},
        {"max_size_2_31_minus_2", call(2, {scalar(2147483646.0), scalar(1), none, none, scalar(1), scalar(0.5)})},
        {"max_size_1e8", call(1, {scalar(1e8), scalar(1), none, none, scalar(2), scalar(0.5)})},
        {"variables_Inf", call(1, {scalar(3), scalar(1), none, none, scalar(Inf), scalar(0.5)})},
        {"variables_2_31", call(1, {scalar(3), scalar(1), none, none, scalar(2147483648.0), scalar(0.5)})},
        {"complex_x", call(1, {scalar(3), scalar(1), none, none, scalar(2), complex(row({1, 2}), {0, 1})})},
        {"sparse_alpha", call(1, {scalar(3), sparse(scalar(1)), none, none, scalar(2), scalar(0.5)})},
        {"char_input", call(1, {scalar(3), scalar(1), of_class(Class::Char, row({97, 98})), none, scalar(2), scalar(0.5)})},
        {"int32_bounds", call(1, {of_class(Class::Int32, scalar(3)), scalar(1), none, none, scalar(2), scalar(0.5)})},
        {"matrix_x", call(1, {scalar(3), scalar(1), none, none, scalar(2), matrix(2, 2, {1, 2, 3, 4})})},
        {"three_outputs_four_inputs", call(3, {scalar(3), scalar(1), none, none})},
        {"tight_memory", tight(512, call(2, {row({4, 4}), scalar(2), none, none, scalar(2), row({0.5, Inf, -1})}))},
        {"tight_memory_check", tight(128, call(1, {scalar(3), scalar(1), none, none, scalar(NaN), scalar(0.5)}))},
    };
}

// sorn(bounds, alpha, a, b, x [, y])
std::vector<Seed> sorn_seeds() {
    InputPlan none = empty();
    return {
        // [s, d] = sorn(3, 2, [], [], [0.3 -0.2 0.4]): d = [1 0.5 0.125 0.0208333...]
        {"exp_trace", call(2, {scalar(3), scalar(2), none, none, row({0.3, -0.2, 0.4})})},
        // [s, d] = sorn(2, 1, 0.5, 1.5, [0.3 0.2]): d = [1 0.1666... 0.009]
        {"one_argument", call(2, {scalar(2), scalar(1), scalar(0.5), scalar(1.5), row({0.3, 0.2})})},
        // [s, d] = sorn(2, 2, 0.5, 1.5, [0.3 0.2], [1 0.5]): d = [1 0.125 0.01009375]
        {"two_arguments", call(2, {scalar(2), scalar(2), scalar(0.5), scalar(1.5), row({0.3, 0.2}), row({1, 0.5})})},
        {"bounds_10_3", call(2, {row({10, 3}), scalar(1), none, none, column({0.1, 0.2, 0.3})})},
        {"pruned_a_minus_1", call(2, {scalar(4), scalar(1), scalar(-1), none, row({0.3, 0.2, 0.1})})},
        {"pruned_a_minus_2", call(2, {scalar(6), scalar(1), scalar(-2), none, row({0.5, 0.5, 0.5})})},
        {"empty_x", call(2, {scalar(3), scalar(2), none, none, empty(1, 0)})},
        {"max_size_0", call(2, {scalar(0), scalar(2), none, none, row({0.3, 0.2})})},
        {"negative_part_bound", call(1, {row({4.7, -1}), scalar(2), none, none, row({1, 2, 3})})},
        {"eight_variables", call(2, {scalar(24), scalar(1), none, none,
                                     row({0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8})})},
        {"eight_variables_two_arguments", call(2, {scalar(20), scalar(0.5), row({1, 2}), scalar(3),
                                                   row({0.1, 0.2, 0.3, 0.4, 0.5}),
                                                   row({1, 2, 3, 4, 5, 6, 7, 8})})},
        {"largest_affordable", call(1, {scalar(24), scalar(2), scalar(0.5), none, row({1, 2, 3, 4, 5, 6})})},
        {"y_shorter", call(1, {scalar(3), scalar(1), none, none, row({1, 2}), scalar(1)})},
        {"alpha_zero", call(1, {scalar(3), scalar(0), none, none, row({1, 2})})},
        {"alpha_negative", call(1, {scalar(3), scalar(-0.5), none, none, row({1, 2})})},
        {"alpha_NaN", call(1, {scalar(3), scalar(NaN), none, none, row({1, 2})})},
        {"alpha_complex", call(1, {scalar(3), complex(scalar(1), {1}), none, none, row({1, 2})})},
        {"max_size_NaN", call(1, {scalar(NaN), scalar(1), none, none, row({1, 2})})},
        {"max_size_2_31_minus_1", call(1, {scalar(2147483647.0), scalar(1), none, none, row({1, 2})})},
        {"tables_too_large", call(2, {scalar(2147483646.0), scalar(1), none, none, row({0.1, 0.2, 0.3})})},
        {"max_size_1e8", call(1, {scalar(1e8), scalar(1), none, none, scalar(0.5)})},
        {"part_bound_NaN", call(1, {row({5, NaN}), scalar(1), none, none, row({1, 2})})},
        {"sparse_x", call(1, {scalar(3), scalar(1), none, none, sparse(row({0, 2}))})},
        {"char_y", call(1, {scalar(3), scalar(1), none, none, row({1, 2}), of_class(Class::Char, row({97, 98}))})},
        {"logical_a", call(1, {scalar(3), scalar(1), of_class(Class::Logical, scalar(1)), none, row({1, 2})})},
        {"square_x", call(1, {scalar(3), scalar(1), none, none, matrix(2, 2, {1, 2, 3, 4})})},
        {"empty_square_x", call(1, {scalar(3), scalar(1), none, none, none})},
        {"three_outputs_four_inputs", call(3, {scalar(3), scalar(1), none, none})},
        {"tight_memory", tight(1024, call(2, {scalar(6), scalar(2), scalar(0.5), scalar(1.5),
                                                  row({0.3, 0.2, 0.1}), row({1, 0.5, 2})}))},
        {"tight_memory_check", tight(128, call(1, {scalar(3), scalar(-1), none, none, row({1, 2})}))},
    };
}

InputPlan text(const std::string &word) {
    InputPlan plan = row({});
    plan.cls = Class::Char;
    for (char c : word) plan.real.push_back(static_cast<unsigned char>(c));
    plan.n = word.size();
    plan.m = word.empty() ? 0 : 1;
    return plan;
}

InputPlan logical(double value) { return of_class(Class::Logical, scalar(value)); }

// matrix_pfq(a, b, x, ..., 'max_degree', k): every call ends with the
// appended cap.
CallPlan pfq(int nlhs, std::vector<InputPlan> inputs, double max_degree) {
    inputs.push_back(text("max_degree"));
    inputs.push_back(scalar(max_degree));
    return call(nlhs, std::move(inputs));
}

// matrix_pfq(a, b, x [, y], options...)
std::vector<Seed> matrix_pfq_seeds() {
    InputPlan none = empty();
    return {
        // f = matrix_pfq([], [], [1 2 3]) = exp(6)
        {"exp_trace", pfq(3, {none, none, row({1, 2, 3})}, 24)},
        // [f, err, info] = matrix_pfq(0.5, 1.5, -30): Kummer's relation
        {"kummer_scalar", pfq(3, {scalar(0.5), scalar(1.5), scalar(-30)}, 24)},
        // the real Wishart example of the help, m = 5, n = 10, x = 40: 1F1(5; 8; -20 I_5)
        {"wishart_example", pfq(3, {scalar(5), scalar(8), row({-20, -20, -20, -20, -20})}, 24)},
        // 1F1(a; a; X) = etr(X), 2F1(a, b; b; X) = det(I - X)^(-a), 1F0(a; X) = det(I - X)^(-a)
        {"cancel_1f1_kummer", pfq(3, {scalar(2), scalar(2), row({-3, -1, -2})}, 20)},
        {"cancel_1f1_tables", pfq(2, {scalar(2), scalar(2), row({0.3, 0.5, 0.7})}, 20)},
        {"cancel_1f1_equal", pfq(3, {scalar(2.5), scalar(2.5), row({0.5, 0.5, 0.5, 0.5})}, 24)},
        {"cancel_2f1_pfaff", pfq(3, {row({2, 1.5}), scalar(1.5), row({0.3, -0.5, 0.2})}, 20)},
        {"cancel_2f1_log", pfq(2, {row({0.5, 2.5}), scalar(2.5), column({0.9, 0.1}), text("log"), logical(1)}, 16)},
        {"closed_1f0", pfq(3, {scalar(1.5), none, row({0.1, 0.2, 0.3})}, 8)},
        {"closed_1f0_polynomial", pfq(3, {scalar(-2), none, row({3, 0.5})}, 8)},
        {"closed_1f0_zero_log", pfq(3, {scalar(-1), none, row({1, 0.5}), text("log"), scalar(1)}, 8)},
        {"two_arguments", pfq(3, {scalar(1), scalar(2), row({0.1, 0.2}), row({1, 1})}, 12)},
        {"two_arguments_distinct", pfq(3, {row({1, 2}), scalar(3), row({0.1, 0.2, 0.3}), row({0.5, 1, 1.5}),
                                           text("alpha"), scalar(1)}, 12)},
        // alpha = 1 by determinants, with b - a = 0 and eigenvalues down to -30:
        // the Pfaff relation, then the logarithmic connection to 1 - z
        {"determinant_2f1_log", pfq(3, {row({1.5, 1.5}), scalar(2.25), row({-30, -12, -3, -0.5, 0.2, 0.4}),
                                        text("alpha"), scalar(1)}, 12)},
        {"eight_distinct", pfq(2, {row({1, 2}), scalar(3), row({0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8})}, 14)},
        {"scalar_deep", pfq(3, {scalar(0.5), scalar(1.5), scalar(100), text("log"), logical(1)}, 1000)},
        {"two_eigenvalues_deep", pfq(3, {scalar(2), scalar(2), row({-3, 5}), text("tol"), scalar(1e-10)}, 80)},
        {"matrix_x", pfq(3, {none, none, matrix(2, 2, {2, 1, 1, 2})}, 10)},
        {"hermitian_x", pfq(3, {scalar(1), scalar(2), complex(matrix(2, 2, {1, 2, 2, 3}), {0, -1, 1, 0}),
                                text("alpha"), scalar(1)}, 10)},
        {"complex_x_alpha_2", pfq(1, {scalar(1), scalar(2), complex(matrix(2, 2, {1, 2, 2, 3}), {0, -1, 1, 0})}, 10)},
        {"asymmetric_x", pfq(1, {scalar(1), scalar(2), matrix(2, 2, {1, 3, 2, 4})}, 10)},
        {"wide_x", pfq(1, {scalar(1), scalar(2), matrix(2, 3, {1, 2, 3, 4, 5, 6})}, 10)},
        {"sparse_x", pfq(1, {scalar(1), scalar(2), sparse(row({0, 2}))}, 10)},
        {"char_x", pfq(1, {scalar(1), scalar(2), text("x")}, 10)},
        {"nan_y", pfq(1, {scalar(1), scalar(2), row({0.1, 0.2}), row({NaN, 1})}, 10)},
        {"y_count", pfq(1, {scalar(1), scalar(2), row({0.1, 0.2}), row({1, 2, 3})}, 10)},
        {"pole", pfq(1, {scalar(1), scalar(-2), row({0.5, 0.3})}, 10)},
        {"too_many_parameters", pfq(1, {row({1, 2, 3}), scalar(1), row({0.1, 0.2})}, 10)},
        {"no_relation", pfq(1, {row({1, 2}), scalar(3), row({2, 3}), row({1, 2})}, 10)},
        {"a_matrix", pfq(1, {matrix(2, 2, {1, 2, 3, 4}), none, scalar(0.5)}, 10)},
        {"a_nan", pfq(1, {row({1, NaN}), none, scalar(0.5)}, 10)},
        {"b_complex", pfq(1, {none, complex(scalar(1), {1}), scalar(0.5)}, 10)},
        {"alpha_zero", pfq(1, {none, none, scalar(0.5), text("ALPHA"), scalar(0)}, 10)},
        {"tol_one", pfq(1, {none, none, scalar(0.5), text("Tol"), scalar(1)}, 10)},
        {"max_degree_fraction", pfq(1, {none, none, scalar(0.5), text("max_degree"), scalar(0.5)}, 10)},
        {"max_degree_1e6", pfq(3, {scalar(1), scalar(2), row({0.5, 0.5}), text("max_degree"), scalar(1e6)}, 10)},
        {"log_two", pfq(1, {none, none, scalar(0.5), text("log"), scalar(2)}, 10)},
        {"unknown_option", pfq(1, {none, none, scalar(0.5), text("sigma"), scalar(2)}, 10)},
        {"name_31", pfq(1, {none, none, scalar(0.5), text("abcdefghijklmnopqrstuvwxyzabcde"), scalar(2)}, 10)},
        {"name_32", pfq(1, {none, none, scalar(0.5), text("abcdefghijklmnopqrstuvwxyzabcdef"), scalar(2)}, 10)},
        {"numeric_name", pfq(1, {none, none, scalar(0.5), text("tol"), scalar(0.1), scalar(3), scalar(4)}, 10)},
        {"odd_options", pfq(1, {none, none, scalar(0.5), text("tol")}, 10)},
        {"five_positional", pfq(1, {none, none, scalar(0.5), scalar(1), scalar(2)}, 10)},
        {"two_inputs", pfq(1, {none}, 10)},
        {"tight_memory", tight(256, pfq(3, {scalar(1), scalar(2), matrix(2, 2, {2, 1, 1, 2}),
                                            matrix(2, 2, {1, 0.5, 0.5, 3})}, 8))},
        {"tight_memory_y", tight(128, pfq(3, {scalar(1), scalar(2), matrix(2, 2, {2, 1, 1, 2}),
                                              matrix(2, 2, {1, 0.5, NaN, 3})}, 8))},
    };
}

// wishart_eig_cdf(x, m, n, options...)
std::vector<Seed> wishart_seeds() {
    return {
        // P = wishart_eig_cdf([20 40 60], 5, 10)
        {"real_largest", call(2, {row({20, 40, 60}), scalar(5), scalar(10)})},
        // a p-value far in the tail (m = 20 here, the largest m drawn)
        {"upper_tail", call(2, {scalar(300), scalar(20), scalar(100), text("tail"), text("upper")})},
        // P = wishart_eig_cdf(2, 4, 8, 'which', 'smallest', 'field', 'complex')
        {"complex_smallest", call(2, {scalar(2), scalar(4), scalar(8), text("which"), text("smallest"),
                                      text("field"), text("complex")})},
        // m = 1: incomplete gamma functions, by the finite formulas and the series
        {"m1_series", call(2, {row({0.5, 3, -1}), scalar(1), scalar(2.5)})},
        {"m1_complex_upper", call(2, {row({0.5, 3, 0}), scalar(1), scalar(3), text("FIELD"), text("Complex"),
                                      text("TAIL"), text("UPPER")})},
        {"m1_sigma", call(2, {column({1, 6}), scalar(1), scalar(1.5), text("sigma"), scalar(2)})},
        // smallest eigenvalue at the hard edge: exp(-m x) complex n = m, exp(-m x / 2) real n = m + 1
        {"hard_edge_complex", call(2, {row({0.3, 2, 7}), scalar(4), scalar(4), text("which"), text("smallest"),
                                       text("field"), text("complex")})},
        {"hard_edge_real_sigma", call(2, {row({0.3, 2, 7}), scalar(3), scalar(4), text("which"), text("smallest"),
                                          text("sigma"), row({2, 2, 2})})},
        {"series_sigma", call(2, {row({1, 2, 3}), scalar(3), scalar(5), text("sigma"), row({1, 2, 3})})},
        {"series_sigma_matrix", call(2, {row({0.5, 2}), scalar(2), scalar(3), text("sigma"),
                                         matrix(2, 2, {2, 0.5, 0.5, 1})})},
        {"sigma_hermitian", call(2, {scalar(1), scalar(2), scalar(2.5), text("field"), text("complex"), text("sigma"),
                                     complex(matrix(2, 2, {2, 0.5, 0.5, 3}), {0, 0.5, -0.5, 0})})},
        {"sigma_white_matrix", call(2, {scalar(1), scalar(2), scalar(3), text("which"), text("smallest"),
                                        text("sigma"), matrix(2, 2, {2, 0, 0, 2})})},
        {"sigma_asymmetric", call(1, {scalar(1), scalar(2), scalar(3), text("sigma"), matrix(2, 2, {2, 0.5, 1, 3})})},
        {"sigma_singular", call(1, {scalar(1), scalar(2), scalar(3), text("sigma"), matrix(2, 2, {1, 1, 1, 1})})},
        {"sigma_overflow", call(1, {scalar(1), scalar(2), scalar(3), text("sigma"),
                                    matrix(2, 2, {DBL_MAX, 1e300, 1e300, DBL_MAX})})},
        {"sigma_count", call(1, {scalar(1), scalar(3), scalar(3), text("sigma"), row({1, 2})})},
        {"sigma_negative", call(1, {scalar(1), scalar(2), scalar(3), text("sigma"), row({1, -1})})},
        {"sigma_char", call(1, {scalar(1), scalar(1), scalar(3), text("sigma"), text("x")})},
        {"smallest_no_series", call(1, {scalar(1), scalar(2), scalar(3), text("Which"), text("Smallest"),
                                        text("sigma"), row({1, 2})})},
        {"smallest_fractional_n", call(1, {scalar(1), scalar(2), scalar(2.5), text("which"), text("smallest")})},
        {"largest_n_max", call(2, {row({1e5, 2e5, 3e5}), scalar(3), scalar(100000), text("tail"), text("upper")})},
        {"field_bad", call(1, {scalar(1), scalar(2), scalar(3), text("field"), text("fields")})},
        {"which_15", call(1, {scalar(1), scalar(2), scalar(3), text("which"), text("smallestsmalles")})},
        {"which_16", call(1, {scalar(1), scalar(2), scalar(3), text("which"), text("smallestsmallest")})},
        {"unknown_option", call(1, {scalar(1), scalar(2), scalar(3), text("alpha"), scalar(1)})},
        {"name_31", call(1, {scalar(1), scalar(2), scalar(3), text("abcdefghijklmnopqrstuvwxyzabcde"), scalar(1)})},
        {"name_32", call(1, {scalar(1), scalar(2), scalar(3), text("abcdefghijklmnopqrstuvwxyzabcdef"), scalar(1)})},
        {"numeric_name", call(1, {scalar(1), scalar(2), scalar(3), scalar(1), text("real")})},
        {"odd_options", call(1, {scalar(1), scalar(2), scalar(3), text("tail")})},
        {"m_zero", call(1, {scalar(1), scalar(0), scalar(3)})},
        {"m_fraction", call(1, {scalar(1), scalar(1.5), scalar(3)})},
        {"m_1001", call(1, {scalar(1), scalar(1001), scalar(3)})},
        {"n_m_minus_1", call(1, {scalar(1), scalar(2), scalar(1)})},
        {"n_too_large", call(1, {scalar(1), scalar(2), scalar(100000.5)})},
        {"n_tiny", call(2, {row({0.5, 2}), scalar(1), scalar(1e-300)})},
        {"x_nan", call(1, {row({1, NaN}), scalar(2), scalar(3)})},
        {"x_complex", call(1, {complex(scalar(1), {1}), scalar(2), scalar(3)})},
        {"x_int32", call(1, {of_class(Class::Int32, scalar(1)), scalar(2), scalar(3)})},
        {"x_matrix_empty", call(2, {empty(), scalar(2), scalar(3)})},
        {"x_nonpositive", call(2, {matrix(2, 2, {0, -1, -0.0, 2}), scalar(2), scalar(3), text("tail"), text("upper")})},
        {"three_outputs", call(3, {scalar(1), scalar(2), scalar(3)})},
        {"two_inputs", call(1, {scalar(1), scalar(2)})},
        {"tight_memory", tight(128, call(2, {row({1, 2, 3, 4, 5, 6, 7, 8}), scalar(2), scalar(3)}))},
        {"tight_memory_sigma", tight(256, call(2, {row({1, 2}), scalar(2), scalar(3), text("sigma"),
                                                   matrix(2, 2, {2, 0.5, 0.5, 1})}))},
    };
}

bool write_seeds(const std::string &dir, const std::vector<Seed> &seeds, const fuzzcall::CallRules &rules) {
    for (const Seed &seed : seeds) {
        std::string error;
        std::vector<uint8_t> bytes = fuzzcall::encode(seed.call, rules, error);
        std::string path = dir + "/" + seed.name;
        if (bytes.empty()) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            return false;
        }
        std::FILE *file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            std::fprintf(stderr, "%s: cannot write\n", path.c_str());
            if (file != nullptr) std::fclose(file);
            return false;
        }
        std::fclose(file);
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR (writes a subfolder per plug-in)\n");
        return 2;
    }
    std::string corpus = argv[1];
    for (const char *plugin : {"brint", "sorn", "matrix_pfq", "wishart_eig_cdf"}) {
        std::error_code ignored;
        std::filesystem::create_directories(corpus + "/" + plugin, ignored);
    }
    bool ok = write_seeds(corpus + "/brint", brint_seeds(), fuzzcall::brint_rules()) &&
              write_seeds(corpus + "/sorn", sorn_seeds(), fuzzcall::sorn_rules()) &&
              write_seeds(corpus + "/matrix_pfq", matrix_pfq_seeds(), fuzzcall::matrix_pfq_rules()) &&
              write_seeds(corpus + "/wishart_eig_cdf", wishart_seeds(), fuzzcall::wishart_rules());
    return ok ? 0 : 1;
}
