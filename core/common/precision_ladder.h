// precision_ladder.h: the binary precisions on which the determinant routes
// (the complex Wishart route for any Sigma, matrix_pfq at alpha = 1)
// evaluate a value twice, taking the difference of two rungs as its error
// and climbing while that error misses the caller's tolerance. Internal to
// the core.
#ifndef MATRIXHYPER_PRECISION_LADDER_H
#define MATRIXHYPER_PRECISION_LADDER_H

#include <boost/multiprecision/cpp_bin_float.hpp>

namespace matrixhyper {
namespace precision_ladder {

template <unsigned Bits>
using binary_float = boost::multiprecision::number<
    boost::multiprecision::backends::cpp_bin_float<Bits, boost::multiprecision::backends::digit_base_2>,
    boost::multiprecision::et_off>;

// 128 bits leave some 90 after the worst conditioning the routes meet at
// their largest sizes (m = 32 for Wishart, n = 40 for pFq); each rung adds
// about half again, the last doubles, for rows that crowd further.
constexpr int rung_bits[] = {128, 192, 256, 384, 768};
constexpr int rung_count = 5;
// The last rung: values of all rungs are compared in it.
using top_float = binary_float<768>;

// visit(Real()) with Real the float type of the rung: the one place that
// turns a rung number into a type.
template <class Visit>
auto at_rung(int rung, Visit &&visit)
{
    switch (rung) {
    case 0: return visit(binary_float<128>());
    case 1: return visit(binary_float<192>());
    case 2: return visit(binary_float<256>());
    case 3: return visit(binary_float<384>());
    default: return visit(top_float());
    }
}

} // namespace precision_ladder
} // namespace matrixhyper

#endif // MATRIXHYPER_PRECISION_LADDER_H
