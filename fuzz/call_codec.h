// call_codec.h: the byte format that the fuzz targets turn into a plug-in call.
//
// One input of the fuzzer is one call: the number of outputs asked for, and
// the class, flags, shape and values of every input array. The format reads
// a byte at a time; once the bytes run out every further byte reads as 0, so
// any byte string is a valid call and short strings give plain real doubles.
//
//   byte  nrhs       value % 9            (0..8 inputs)
//   byte  nlhs       value % 4            (0..3 outputs)
//   then, for each of the nrhs inputs:
//   byte  kind       bits 0-2: class  0 double, 1 single, 2 char, 3 logical,
//                                     4 int32, 5..7 double again
//                    bit 3: complex (double only, ignored when empty)
//                    bit 4: sparse  (double only)
//   byte  shape      value % 16, an index into kShapes (M-by-N, at most 8 elements)
//   M*N values       the real parts in column-major order
//   M*N values       the imaginary parts, when complex
//   then, for a plug-in whose rules append inputs (matrix_pfq: 'max_degree', k):
//   one byte for each appended value (a palette index; fixed text reads none)
//   then, optionally:
//   byte  memory     below 192 (or absent): the harness's usual memory limit;
//                    192..255: a tight limit of (value - 191) * 128 bytes on
//                    the host allocator during the call, so that allocations
//                    fail part-way through valid calls
//
// A value is one byte, an index into a palette, optionally followed by 8 raw
// bytes. Which palette a value uses depends on where it sits:
//
//   General  byte & 63: indices below kRawIndex pick a palette entry (NaN,
//            +-Inf, +-0, huge, integer boundaries, negatives, small integers,
//            fractions, subnormals); the others read the next 8 bytes as a
//            little-endian IEEE double, so any double is reachable.
//   Bound    byte % 64, no raw doubles. Used for element 1 of input 1 (the
//            bound on partition size). Small sizes, fractions that truncate
//            to them, values the plug-ins must reject (NaN, +-Inf, negatives,
//            beyond the 32-bit range) and sizes so large that the memory
//            limit of the harness must stop the call. It holds no size that
//            is valid and affordable yet slow (such as 10^4 with three
//            variables): such a call would just run until the fuzzer's
//            timeout, finding nothing.
//   Count    byte % 32, no raw doubles. Used for the number of variables of
//            brint (input 5): small counts, huge valid counts (the work of
//            brint does not grow with the count beyond max_size + 1) and
//            values that must be rejected.
//   MaxDegree  byte % 32, the 'max_degree' appended to every matrix_pfq call:
//            valid degrees, mostly small, up to 10000 (affordable for one
//            or two eigenvalues; the target skips what is not).
//   Dimension  byte % 32, m of wishart_eig_cdf (input 2): 1 to 8, a few up
//            to 20 (cheap on the finite formulas) and values that must be
//            rejected; never a valid m whose formulas are slow (~1000).
//   Degrees  byte % 32, n of wishart_eig_cdf (input 3): whole numbers up to
//            the largest accepted (100000), non-integers (the series route),
//            and values that must be rejected for some or every m.
//
// Char arrays are 1-by-(M*N) rows; each value becomes a character (printable
// codes as they are, anything else 'x'). For a plug-in with a word list
// (option names and keyword values), the shape byte of a char input below
// the list's size picks a word instead: the array holds that word and no
// values follow; a shape byte of (list size + s) means shape s % 16 as above.
#ifndef FUZZ_CALL_CODEC_H
#define FUZZ_CALL_CODEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcall {

enum class Class { Double, Single, Char, Logical, Int32 };
enum class Palette { General, Bound, Count, MaxDegree, Dimension, Degrees };

struct Shape {
    size_t m, n;
};

struct InputPlan {
    Class cls = Class::Double;
    bool complex = false;           // double only
    bool sparse = false;            // double only
    size_t m = 1, n = 1;
    std::vector<double> real;       // m*n values, column-major
    std::vector<double> imag;       // m*n values when complex, else empty

    size_t count() const { return m * n; }
};

struct CallPlan {
    int nlhs = 1;
    std::vector<InputPlan> inputs;
    size_t tight_memory_limit = 0;  // bytes, or 0 for the usual limit
};

// The tight limits that the memory byte can select: multiples of this up to 64 of them.
constexpr size_t kTightLimitStep = 128;

// Where a value draws from a palette other than the general one.
struct SlotRule {
    size_t input;                   // 0-based input index
    size_t element;                 // 0-based element of the real parts
    Palette palette;
};

using SlotRules = std::vector<SlotRule>;

// An input appended to every call after the decoded ones: fixed text when
// `text` is not empty, else a real double scalar from `palette`.
struct AppendedInput {
    std::string text;
    Palette palette;
};

// How the calls of one plug-in are drawn.
struct CallRules {
    SlotRules slots;
    const std::vector<std::string> *words = nullptr;  // word list of char inputs, or none
    std::vector<AppendedInput> appended;
};

// The rules of each plug-in:
//  brint, sorn   element 1 of input 1 (the bound on partition size) from the
//                Bound palette, and for brint input 5 (the number of
//                variables) from the Count palette;
//  matrix_pfq    option names as words, and 'max_degree', k (k from the
//                MaxDegree palette) appended to every call;
//  wishart_eig_cdf  m and n from the Dimension and Degrees palettes, option
//                names and keyword values as words.
const CallRules &brint_rules();
const CallRules &sorn_rules();
const CallRules &matrix_pfq_rules();
const CallRules &wishart_rules();

// Decodes any byte string into a call.
CallPlan decode(const uint8_t *data, size_t size, const CallRules &rules);

// Encodes a call so that decode gives it back. Every value outside the
// General palette must be one of its palette's entries, every shape one of
// kShapes, and the call must end with the rules' appended inputs; otherwise
// `error` is set and the result is empty.
std::vector<uint8_t> encode(const CallPlan &call, const CallRules &rules, std::string &error);

// The palettes and shapes, for the seed generator and the tests of the codec.
const std::vector<double> &palette(Palette which);
const std::vector<Shape> &shapes();

// The character that a value of a char input becomes.
char char_of(double value);

} // namespace fuzzcall

#endif // FUZZ_CALL_CODEC_H
