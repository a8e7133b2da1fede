// call_codec.cpp: bytes <-> plug-in calls (the format is in call_codec.h).
#include "call_codec.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace fuzzcall {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTwo31 = 2147483648.0;
constexpr double kTwo53 = 9007199254740992.0;

// Entries 0..55; indices 56..63 of a General byte mean a raw double.
constexpr size_t kRawIndex = 56;

const std::vector<double> kGeneral = {
    0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 10.0,                       // small integers
    0.5, 1.5, 2.5, 2.7, 2.9, 4.7, 1.0 / 3.0, 0.1,                  // fractions
    0.3, -0.2, 0.4, 0.2, 0.9, 0.99, 1.01, 0.999999,                // arguments near 1
    -0.5, -1.0, -2.0, -3.0, -1.5, -0.3, -0.0, 7.0,                 // negatives, -0
    8.0, 12.0, 20.0, 100.0, 1e6, 1e10, 1e-10, 1e-300,              // moderate and tiny
    kNaN, kInf, -kInf, 1e300, -1e300, DBL_MAX, -DBL_MAX, 5e-324,   // non-finite, extreme
    kTwo31, kTwo31 - 1.0, kTwo31 - 2.0, -kTwo31, -kTwo31 - 1.0,    // 32-bit boundaries
    kTwo53, -kTwo53, 2.2250738585072014e-308,                      // 2^53, least normal
};

// Bound on partition size: weighted toward small sizes. Apart from the
// small sizes, every entry must be rejected by the plug-in's checks or
// exceed the harness's memory limit.
const std::vector<double> kBound = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,                      // small sizes
    0, 1, 2, 3, 4, 5, 6, 3, 4, 2, 1,
    14, 16, 18, 20, 24,                                            // largest affordable
    2.9, 4.7, 0.5, -0.5, -0.0, 1e-300, 10.99, 3.5,                 // truncate to small
    kNaN, kInf, -kInf, -1.0, -1.5, -2.0, -1e300, -DBL_MAX,         // rejected
    -kTwo31, -kTwo31 - 1.0, kTwo31 - 1.0, kTwo31, kTwo31 - 0.5,    // rejected
    kTwo53, 1e300, DBL_MAX, 1e10,                                  // rejected
    kTwo31 - 2.0, kTwo31 - 1.5, 1e8,                               // valid, beyond memory
    2, 3, 4, 5, 6, 8, 1,                                           // pad to 64
};

// Number of variables of brint.
const std::vector<double> kCount = {
    0, 1, 2, 3, 4, 5, 6, 8, 10, 1, 2, 3,                           // small counts
    2.7, 0.5, -0.5, -0.0, 1e-300,                                  // truncate to small
    1e6, kTwo31 - 1.0, kTwo31 - 0.5,                               // valid, huge
    kNaN, kInf, -kInf, -1.0, -kTwo31, kTwo31, kTwo53, 1e300,       // rejected
    DBL_MAX, -1e300, -1.5, 1e10,                                   // rejected
};

// The 'max_degree' appended to matrix_pfq calls: every entry valid, most of
// them small; the target does not make a call whose tables would be slow at
// the degree drawn (see fuzz_matrix_pfq.cpp).
const std::vector<double> kMaxDegree = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
    18, 20, 24, 30, 40, 60, 80, 100, 200, 1000, 10000, 2, 3, 4, 6, 8,
};

// m of wishart_eig_cdf. Valid entries stop at 20: the finite formulas grow
// fast with m (m = 300 takes seconds), and the series route is cut by the
// target's own bound.
const std::vector<double> kDimension = {
    1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 2, 3, 12, 20,              // valid
    0, -1, 1.5, 2.5, 0.5, -0.0, 1001, 1000.5,                      // rejected
    kNaN, kInf, -kInf, kTwo31, -kTwo31, 1e300, 1e-300, 4.000000000000001,
};

// n of wishart_eig_cdf: valid for some m (n > m - 1), or rejected for all.
const std::vector<double> kDegrees = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 20, 100, 1000, 100000,      // whole
    0.5, 1.5, 2.5, 3.7, 5.5, 1e-300, 99999.5, 2.000000000000001,   // the series route
    0, -1, -0.0, kNaN, kInf, -kInf, 100000.5, 1e300, 100001,       // rejected
};

// Option names and keyword values, each plug-in's own and some near misses:
// other cases, misspellings, a word of the other plug-in, and names at the
// length limits of the option readers (31 and 32 characters; keyword values
// 15 and 16).
const std::vector<std::string> kPfqWords = {
    "alpha", "tol", "max_degree", "log", "ALPHA", "Tol", "Max_Degree", "LOG",
    "alph", "alphas", "maxdegree", "tol ", "sigma", "x",
    "abcdefghijklmnopqrstuvwxyzabcde", "abcdefghijklmnopqrstuvwxyzabcdef",
};

const std::vector<std::string> kWishartWords = {
    "field", "which", "tail", "sigma", "real", "complex", "largest", "smallest",
    "lower", "upper", "FIELD", "Which", "TAIL", "Sigma", "REAL", "Complex",
    "LARGEST", "Smallest", "Lower", "UPPER", "fields", "larges", "alpha", "up per",
    "smallestsmalles", "smallestsmallest",
    "abcdefghijklmnopqrstuvwxyzabcde", "abcdefghijklmnopqrstuvwxyzabcdef",
};

const std::vector<Shape> kShapes = {
    {1, 1}, {1, 2}, {0, 0}, {1, 0}, {0, 1}, {2, 1}, {2, 2}, {1, 3},
    {3, 1}, {1, 4}, {4, 1}, {1, 5}, {1, 8}, {2, 3}, {1, 1}, {1, 6},
};

class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    double raw_double() {
        uint64_t bits = 0;
        for (int i = 0; i < 8; i++) bits |= static_cast<uint64_t>(byte()) << (8 * i);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

Palette palette_at(const SlotRules &rules, size_t input, size_t element) {
    for (const SlotRule &rule : rules) {
        if (rule.input == input && rule.element == element) return rule.palette;
    }
    return Palette::General;
}

double read_value(Reader &in, Palette which) {
    uint8_t b = in.byte();
    switch (which) {
    case Palette::Bound: return kBound[b % kBound.size()];
    case Palette::Count: return kCount[b % kCount.size()];
    case Palette::MaxDegree: return kMaxDegree[b % kMaxDegree.size()];
    case Palette::Dimension: return kDimension[b % kDimension.size()];
    case Palette::Degrees: return kDegrees[b % kDegrees.size()];
    case Palette::General: break;
    }
    size_t index = b & 63u;
    return index < kRawIndex ? kGeneral[index] : in.raw_double();
}

Class class_of_bits(uint8_t kind) {
    switch (kind & 7u) {
    case 1: return Class::Single;
    case 2: return Class::Char;
    case 3: return Class::Logical;
    case 4: return Class::Int32;
    default: return Class::Double;
    }
}

InputPlan text_input(const std::string &text) {
    InputPlan plan;
    plan.cls = Class::Char;
    plan.m = text.empty() ? 0 : 1;
    plan.n = text.size();
    for (char c : text) plan.real.push_back(static_cast<unsigned char>(c));
    return plan;
}

InputPlan read_input(Reader &in, const CallRules &rules, size_t input) {
    InputPlan plan;
    uint8_t kind = in.byte();
    plan.cls = class_of_bits(kind);
    bool is_double = plan.cls == Class::Double;
    plan.complex = is_double && (kind & 8u) != 0;
    plan.sparse = is_double && (kind & 16u) != 0;
    size_t shape_byte = in.byte();
    if (plan.cls == Class::Char && rules.words != nullptr) {
        const std::vector<std::string> &words = *rules.words;
        if (shape_byte < words.size()) return text_input(words[shape_byte]);
        shape_byte -= words.size();
    }
    const Shape &shape = kShapes[shape_byte % kShapes.size()];
    plan.m = shape.m;
    plan.n = shape.n;
    if (plan.count() == 0) plan.complex = false;  // the host has no empty complex arrays
    for (size_t e = 0; e < plan.count(); e++) {
        plan.real.push_back(read_value(in, palette_at(rules.slots, input, e)));
    }
    if (plan.complex) {
        for (size_t e = 0; e < plan.count(); e++) plan.imag.push_back(read_value(in, Palette::General));
    }
    return plan;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Index of `value` in `entries` (bitwise match, so -0 and NaN are found), or -1.
int find(const std::vector<double> &entries, double value) {
    for (size_t i = 0; i < entries.size(); i++) {
        if (same_bits(entries[i], value) || (std::isnan(entries[i]) && std::isnan(value))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool write_value(std::vector<uint8_t> &out, double value, Palette which) {
    int index = find(palette(which), value);
    if (which != Palette::General) {
        if (index < 0) return false;
        out.push_back(static_cast<uint8_t>(index));
        return true;
    }
    if (index >= 0) {
        out.push_back(static_cast<uint8_t>(index));
        return true;
    }
    out.push_back(static_cast<uint8_t>(kRawIndex));
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; i++) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    return true;
}

uint8_t kind_bits(const InputPlan &plan) {
    uint8_t bits = 0;
    switch (plan.cls) {
    case Class::Double: bits = 0; break;
    case Class::Single: bits = 1; break;
    case Class::Char: bits = 2; break;
    case Class::Logical: bits = 3; break;
    case Class::Int32: bits = 4; break;
    }
    if (plan.complex) bits |= 8u;
    if (plan.sparse) bits |= 16u;
    return bits;
}

int shape_index(size_t m, size_t n) {
    for (size_t i = 0; i < kShapes.size(); i++) {
        if (kShapes[i].m == m && kShapes[i].n == n) return static_cast<int>(i);
    }
    return -1;
}

} // namespace

const std::vector<double> &palette(Palette which) {
    switch (which) {
    case Palette::Bound: return kBound;
    case Palette::Count: return kCount;
    case Palette::MaxDegree: return kMaxDegree;
    case Palette::Dimension: return kDimension;
    case Palette::Degrees: return kDegrees;
    case Palette::General: break;
    }
    return kGeneral;
}

const std::vector<Shape> &shapes() { return kShapes; }

const CallRules &brint_rules() {
    static const CallRules rules = {{{0, 0, Palette::Bound}, {4, 0, Palette::Count}}, nullptr, {}};
    return rules;
}

const CallRules &sorn_rules() {
    static const CallRules rules = {{{0, 0, Palette::Bound}}, nullptr, {}};
    return rules;
}

const CallRules &matrix_pfq_rules() {
    static const CallRules rules = {
        {}, &kPfqWords, {{"max_degree", Palette::General}, {"", Palette::MaxDegree}}};
    return rules;
}

const CallRules &wishart_rules() {
    static const CallRules rules = {
        {{1, 0, Palette::Dimension}, {2, 0, Palette::Degrees}}, &kWishartWords, {}};
    return rules;
}

char char_of(double value) {
    if (value >= 32.0 && value <= 126.0) return static_cast<char>(static_cast<int>(value));
    return 'x';
}

CallPlan decode(const uint8_t *data, size_t size, const CallRules &rules) {
    Reader in(data, size);
    CallPlan call;
    size_t nrhs = in.byte() % 9u;
    call.nlhs = in.byte() % 4;
    for (size_t i = 0; i < nrhs; i++) call.inputs.push_back(read_input(in, rules, i));
    for (const AppendedInput &extra : rules.appended) {
        if (!extra.text.empty()) {
            call.inputs.push_back(text_input(extra.text));
        } else {
            InputPlan value;
            value.real.push_back(read_value(in, extra.palette));
            call.inputs.push_back(value);
        }
    }
    uint8_t memory = in.byte();
    if (memory >= 192) call.tight_memory_limit = (memory - 191u) * kTightLimitStep;
    return call;
}

namespace {

// The index of the word a char input holds, or -1.
int word_index(const InputPlan &plan, const CallRules &rules) {
    if (rules.words == nullptr || plan.cls != Class::Char || plan.m != 1) return -1;
    for (size_t w = 0; w < rules.words->size(); w++) {
        const std::string &word = (*rules.words)[w];
        if (word.size() != plan.n) continue;
        bool same = true;
        for (size_t c = 0; c < word.size(); c++) {
            same = same && plan.real[c] == static_cast<unsigned char>(word[c]);
        }
        if (same) return static_cast<int>(w);
    }
    return -1;
}

bool is_appended(const InputPlan &plan, const AppendedInput &extra) {
    if (!extra.text.empty()) {
        InputPlan text = text_input(extra.text);
        return plan.cls == Class::Char && plan.m == text.m && plan.n == text.n && plan.real == text.real;
    }
    return plan.cls == Class::Double && !plan.complex && !plan.sparse && plan.m == 1 && plan.n == 1;
}

} // namespace

std::vector<uint8_t> encode(const CallPlan &call, const CallRules &rules, std::string &error) {
    std::vector<uint8_t> out;
    size_t appended = rules.appended.size();
    if (call.inputs.size() < appended || call.inputs.size() - appended > 8) {
        error = "the call cannot be encoded: wrong number of inputs";
        return {};
    }
    size_t decoded = call.inputs.size() - appended;
    out.push_back(static_cast<uint8_t>(decoded));
    out.push_back(static_cast<uint8_t>(call.nlhs));
    for (size_t i = 0; i < decoded; i++) {
        const InputPlan &plan = call.inputs[i];
        bool is_double = plan.cls == Class::Double;
        int shape = shape_index(plan.m, plan.n);
        int word = word_index(plan, rules);
        if (word >= 0) {
            out.push_back(kind_bits(plan));
            out.push_back(static_cast<uint8_t>(word));
            continue;
        }
        if (call.nlhs < 0 || call.nlhs > 3 || shape < 0 ||
            plan.real.size() != plan.count() ||
            plan.imag.size() != (plan.complex ? plan.count() : 0) ||
            (!is_double && (plan.complex || plan.sparse)) || (plan.complex && plan.count() == 0)) {
            error = "input " + std::to_string(i + 1) + " cannot be encoded";
            return {};
        }
        out.push_back(kind_bits(plan));
        size_t word_count = plan.cls == Class::Char && rules.words != nullptr ? rules.words->size() : 0;
        out.push_back(static_cast<uint8_t>(word_count + static_cast<size_t>(shape)));
        for (size_t e = 0; e < plan.count(); e++) {
            if (!write_value(out, plan.real[e], palette_at(rules.slots, i, e))) {
                error = "input " + std::to_string(i + 1) + ", element " + std::to_string(e + 1) +
                        ": value not in its palette";
                return {};
            }
        }
        for (double value : plan.imag) write_value(out, value, Palette::General);
    }
    for (size_t k = 0; k < appended; k++) {
        const AppendedInput &extra = rules.appended[k];
        const InputPlan &plan = call.inputs[decoded + k];
        if (!is_appended(plan, extra) ||
            (extra.text.empty() && !write_value(out, plan.real[0], extra.palette))) {
            error = "appended input " + std::to_string(k + 1) + " does not match the rules";
            return {};
        }
    }
    if (call.tight_memory_limit != 0) {
        size_t steps = call.tight_memory_limit / kTightLimitStep;
        if (steps < 1 || steps > 64 || steps * kTightLimitStep != call.tight_memory_limit) {
            error = "the tight memory limit cannot be encoded";
            return {};
        }
        out.push_back(static_cast<uint8_t>(191 + steps));
    }
    return out;
}

} // namespace fuzzcall
