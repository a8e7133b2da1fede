// pfq_determinant.h: matrix_pfq at alpha = 1 as a ratio of a determinant of
// scalar pFq values to Vandermonde determinants (internal; derivation in
// docs/matrix_pfq.md, "alpha = 1 by determinants").
#ifndef MATRIXHYPER_PFQ_DETERMINANT_H
#define MATRIXHYPER_PFQ_DETERMINANT_H

#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

// True when the determinant route can evaluate this series: alpha = 1, at
// least two eigenvalues, every scalar series of the formula convergent (or
// terminating) and free of poles, and for two arguments the Pochhammer
// constant finite and at most one of x, y with eigenvalues closer than the
// cluster scale.
bool determinant_applies(const series_input &in);

// The series by the determinant route. state: converged when two
// precisions agree to tol / 4 (sum is the higher one, rounding their
// difference); not_converged when the ladder of precisions ends first (sum
// and rounding from its last two rungs); refused when the route does not
// apply or a scalar series would not end; interrupted.
series_outcome sum_determinant(const series_input &in, const series_control &ctl);

} // namespace pfq_detail
} // namespace matrixhyper

#endif // MATRIXHYPER_PFQ_DETERMINANT_H
