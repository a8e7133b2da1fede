// wishart_real_smallest.h: the smallest eigenvalue of a real Wishart matrix
// W_m(n, Sigma), any Sigma, when r = (n - m - 1) / 2 is a whole number: the
// finite zonal series (internal; derivation in docs/wishart_real_smallest.md).
#ifndef MATRIXHYPER_WISHART_REAL_SMALLEST_H
#define MATRIXHYPER_WISHART_REAL_SMALLEST_H

#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/wishart_cdf.h"

namespace matrixhyper {

// True when the request's r = (n - m - 1) / 2 is a whole number >= 0.
bool real_smallest_serves(const wishart_cdf_request &request);

// The per-degree sums of the box for one m, n and Sigma, and the complements
// the lower tail needs. They do not depend on x: a caller that evaluates
// one point at a time (a quantile solver) keeps the table between calls,
// and the route builds it again only when a point needs degrees it lacks.
struct zonal_table {
    int r = 0, m = 0;
    std::vector<double> sigma;                    // what it was built for
    int degree = 0;                               // last degree built (m r when complete)
    std::vector<long double> within, within_rel;  // T_k and its relative error bound
    std::vector<long double> beyond, beyond_rel;  // U_k and its relative error bound
    bool complements_refined = false;             // U_k of the low degrees made direct
    std::string shortfall;                        // why the table stopped short of m r
    int full_degree() const { return m * r; }
};

// P(lambda_min <= x) or its upper tail at every x (real field; a checked
// request that real_smallest_serves). err (may be null) bounds |P - exact|,
// or the absolute error of log P when request.log_result; a point beyond the
// zonal table's reach has an err that says so. `kept` (may be null) is a
// table kept from an earlier call on the same distribution.
wishart_cdf_outcome real_smallest_route(const wishart_cdf_request &request, const double *x,
                                        std::size_t count, double *P, double *err,
                                        zonal_table *kept = nullptr);

} // namespace matrixhyper

#endif // MATRIXHYPER_WISHART_REAL_SMALLEST_H
