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

InputPlan read_input(Reader &in, const SlotRules &rules, size_t input) {
    InputPlan plan;
    uint8_t kind = in.byte();
    plan.cls = class_of_bits(kind);
    bool is_double = plan.cls == Class::Double;
    plan.complex = is_double && (kind & 8u) != 0;
    plan.sparse = is_double && (kind & 16u) != 0;
    const Shape &shape = kShapes[in.byte() % kShapes.size()];
    plan.m = shape.m;
    plan.n = shape.n;
    if (plan.count() == 0) plan.complex = false;  // the host has no empty complex arrays
    for (size_t e = 0; e < plan.count(); e++) {
        plan.real.push_back(read_value(in, palette_at(rules, input, e)));
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
    case Palette::General: break;
    }
    return kGeneral;
}

const std::vector<Shape> &shapes() { return kShapes; }

const SlotRules &brint_slots() {
    static const SlotRules slots = {{0, 0, Palette::Bound}, {4, 0, Palette::Count}};
    return slots;
}

const SlotRules &sorn_slots() {
    static const SlotRules slots = {{0, 0, Palette::Bound}};
    return slots;
}

char char_of(double value) {
    if (value >= 32.0 && value <= 126.0) return static_cast<char>(static_cast<int>(value));
    return 'x';
}

CallPlan decode(const uint8_t *data, size_t size, const SlotRules &rules) {
    Reader in(data, size);
    CallPlan call;
    size_t nrhs = in.byte() % 9u;
    call.nlhs = in.byte() % 4;
    for (size_t i = 0; i < nrhs; i++) call.inputs.push_back(read_input(in, rules, i));
    uint8_t memory = in.byte();
    if (memory >= 192) call.tight_memory_limit = (memory - 191u) * kTightLimitStep;
    return call;
}

std::vector<uint8_t> encode(const CallPlan &call, const SlotRules &rules, std::string &error) {
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(call.inputs.size()));
    out.push_back(static_cast<uint8_t>(call.nlhs));
    for (size_t i = 0; i < call.inputs.size(); i++) {
        const InputPlan &plan = call.inputs[i];
        bool is_double = plan.cls == Class::Double;
        int shape = shape_index(plan.m, plan.n);
        if (call.inputs.size() > 8 || call.nlhs < 0 || call.nlhs > 3 || shape < 0 ||
            plan.real.size() != plan.count() ||
            plan.imag.size() != (plan.complex ? plan.count() : 0) ||
            (!is_double && (plan.complex || plan.sparse)) || (plan.complex && plan.count() == 0)) {
            error = "input " + std::to_string(i + 1) + " cannot be encoded";
            return {};
        }
        out.push_back(kind_bits(plan));
        out.push_back(static_cast<uint8_t>(shape));
        for (size_t e = 0; e < plan.count(); e++) {
            if (!write_value(out, plan.real[e], palette_at(rules, i, e))) {
                error = "input " + std::to_string(i + 1) + ", element " + std::to_string(e + 1) +
                        ": value not in its palette";
                return {};
            }
        }
        for (double value : plan.imag) write_value(out, value, Palette::General);
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
