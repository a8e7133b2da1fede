// extreme_eig_engine.h: the one engine behind the exact distributions of the
// extreme eigenvalues of the white Wishart (Laguerre weight on [0, inf)) and
// the matrix Beta (Jacobi weight on [0, 1]) ensembles. Internal to the core.
//
// An ensemble is s eigenvalues t with joint density proportional to
// |Vandermonde(t)|^beta prod w(t_i), w(t) = t^power (1 - t)^co_power e^{-rate t}
// (beta = 1 real: de Bruijn Pfaffian; beta = 2 complex: Andreief determinant).
// The engine evaluates P(all t in D) and 1 - P(all t in D) in logarithms for
// D = [0, X] or [X, end). Derivation: docs/wishart_extreme_eigenvalues.md and
// docs/jacobi_extreme_eigenvalues.md.
#ifndef MATRIXHYPER_EXTREME_EIG_ENGINE_H
#define MATRIXHYPER_EXTREME_EIG_ENGINE_H

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {
namespace extreme_eig {

// Nodes, log-weights, masses and sums of logarithms are kept in long double:
// the log-weight -t at t ~ 1000 carries an absolute error u t per node, and
// the scaled polynomial evaluation needs an exponent range far beyond double.
// The accuracy measured in the docs was obtained with the x87 format.
using extended = long double;
static_assert(std::numeric_limits<extended>::digits >= 64 &&
                  std::numeric_limits<extended>::max_exponent >= 16384,
              "the extreme-eigenvalue engine needs a long double with at least a 64-bit "
              "mantissa and a 15-bit exponent (x87 extended or IEEE quad)");

// The weight t^power (1 - t)^co_power e^{-rate t}. Laguerre weights have
// co_power 0, Jacobi weights rate 0.
struct weight {
    extended power = 0, co_power = 0, rate = 0;

    // log w at t, with co_t = 1 - t given apart (exact near t = 1).
    extended log_at(extended t, extended co_t) const;
};

enum class support { half_line, unit_interval };

// Three-term recurrence of the polynomials orthonormal for a weight:
// off_diagonal[k+1] p_{k+1} = (t - diagonal[k]) p_k - off_diagonal[k] p_{k-1},
// p_0 = 1 for the weight normalised to mass 1 (log_mass its log).
struct recurrence {
    std::vector<extended> diagonal;       // count entries
    std::vector<extended> off_diagonal;   // count + 1 entries, [0] unused
    extended log_mass = 0;
};

struct ensemble {
    int count = 1;                        // s, the number of eigenvalues
    bool real = true;                     // beta = 1 (else 2)
    support range = support::half_line;
    weight eigen_weight;                  // w of the joint density
    // Orthonormal on the whole range for the basis weight: w itself
    // (complex) or t w^2 (half line) / t (1 - t) w^2 (unit interval) (real),
    // whose exponents are integers so that the integrands are smooth in the
    // chart's variable.
    weight basis_weight;
    recurrence full_basis;
    // Real only: log of the integral over the whole range^s of
    // |Vandermonde| prod w (Selberg).
    extended log_normaliser = 0;
};

// A point X of the eigenvalue variable with its complement 1 - X (used on
// the unit interval, where it must be exact for X near 1).
struct cut_point {
    extended x = 0, co_x = 1;
};

struct tails_request {
    ensemble model;
    bool largest = true;                  // D = [0, X]; else D = [X, end)
    bool lower = true;                    // P(extreme <= X); else P(extreme > X)
    bool log_result = false;              // log P and the absolute error of log P
    const interrupt_check *interrupt = nullptr;
};

enum class engine_status { ok, interrupted, out_of_memory, numerical_failure };

struct engine_outcome {
    engine_status status = engine_status::ok;
    std::string message;
};

// Evaluates the requested tail at points[i] (0 < X < end), writing P[slot[i]]
// and, when err is not null, err[slot[i]]; a second evaluation with other
// quadrature rules runs only then. Catches every exception: entries not
// computed keep what the caller put there.
engine_outcome evaluate_tails(const tails_request &request, const std::vector<cut_point> &points,
                              const std::vector<std::size_t> &slot, double *P, double *err);

} // namespace extreme_eig
} // namespace matrixhyper

#endif // MATRIXHYPER_EXTREME_EIG_ENGINE_H
