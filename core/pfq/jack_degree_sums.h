// jack_degree_sums.h: per-degree sums of Jack polynomials C_kappa(y) over
// the partitions inside a box, from the table engine of the pfq series
// (internal: for the finite zonal series of the Wishart routes).
#ifndef MATRIXHYPER_JACK_DEGREE_SUMS_H
#define MATRIXHYPER_JACK_DEGREE_SUMS_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {
namespace pfq_detail {

struct jack_box_request {
    std::vector<long double> y;        // n positive points
    long double alpha = 2;
    int largest_part = 1;              // partitions kappa with kappa_1 <= largest_part
                                       // and at most n parts
    int split_part = 0;                // the sums split into kappa_1 <= split_part and beyond
    int max_degree = 0;                // degrees 1..max_degree (n * largest_part fills the box)
    const interrupt_check *interrupt = nullptr;
    int threads = 1;                   // threads filling a table level (resolved by the caller)
    long long *work_left = nullptr;    // table work allowed (pfq_series.h units); null: none
};

// The sums of one degree k over the partitions of k in the box, of
// C_kappa(y / tr y) (so that the sum over every partition of k would be 1):
// those with kappa_1 <= split_part (within) and the others (beyond).
struct jack_box_degree {
    int degree = 0;
    long double within = 0, beyond = 0;
    long double relative_rounding = 0; // bound on the relative error of either sum
    long long partitions = 0;
};

enum class jack_box_stop { finished, stopped, interrupted, work_limit, out_of_memory, overflow };

// Builds the table degree by degree and hands each degree's sums to
// on_degree, which returns false to stop there (stopped). Degree 0 (sum 1)
// is not reported.
jack_box_stop jack_box_sums(const jack_box_request &request,
                            const std::function<bool(const jack_box_degree &)> &on_degree);

} // namespace pfq_detail
} // namespace matrixhyper

#endif // MATRIXHYPER_JACK_DEGREE_SUMS_H
