// make_seeds.cpp: writes the seed corpus of the fuzz targets.
//
//   make_seeds fuzz/corpus      (writes fuzz/corpus/brint/* and fuzz/corpus/sorn/*)
//
// Each seed is one call in the byte format of call_codec.h, named after what
// it exercises: worked examples with known results, the edge cases of the
// argument checks, and hostile calls that the plug-ins must refuse.
#include <cmath>
#include <cstdio>
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

bool write_seeds(const std::string &dir, const std::vector<Seed> &seeds, const fuzzcall::SlotRules &rules) {
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
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR (with subfolders brint/ and sorn/)\n");
        return 2;
    }
    std::string corpus = argv[1];
    bool ok = write_seeds(corpus + "/brint", brint_seeds(), fuzzcall::brint_slots()) &&
              write_seeds(corpus + "/sorn", sorn_seeds(), fuzzcall::sorn_slots());
    return ok ? 0 : 1;
}
