// jacobi_eig.cpp: exact CDF of the extreme eigenvalues of the matrix Beta
// ensemble: the Jacobi ensemble handed to the shared engine
// (extreme_eig_engine.h). Derivation: docs/jacobi_extreme_eigenvalues.md.
#include "matrixhyper/jacobi_eig.h"

#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "extreme_eig_engine.h"

namespace matrixhyper {
namespace {

using extreme_eig::extended;

// Orthonormal recurrence of the Jacobi weight t^A (1 - t)^B on [0, 1]
// (A, B >= 0): from the monic Jacobi recurrence on [-1, 1] with weight
// (1 - x)^B (1 + x)^A, x = 2 t - 1 (Szego; Gautschi, Orthogonal Polynomials,
// Table 1.1): t-coefficients a_k = (1 + alpha_k) / 2, b_k = beta_k / 4.
extreme_eig::recurrence jacobi_recurrence(extended A, extended B, int count)
{
    extreme_eig::recurrence r;
    r.diagonal.assign(count, 0);
    r.off_diagonal.assign(count + 1, 0);
    r.log_mass = std::lgamma(A + 1) + std::lgamma(B + 1) - std::lgamma(A + B + 2);
    const extended sum = A + B;
    for (int k = 0; k < count; k++) {
        const extended twice = 2 * k + sum;
        const extended alpha = k == 0 ? (A - B) / (sum + 2) : (A * A - B * B) / (twice * (twice + 2));
        r.diagonal[k] = (1 + alpha) / 2;
        const int j = k + 1;
        const extended twice_j = 2 * j + sum;
        const extended beta = 4 * (extended)j * (j + B) * (j + A) * (j + sum) /
                              (twice_j * twice_j * (twice_j + 1) * (twice_j - 1));
        r.off_diagonal[j] = std::sqrt(beta) / 2;
    }
    return r;
}

// The Jacobi ensemble of the s nonzero eigenvalues: w(t) = t^a (1 - t)^b;
// the basis is orthonormal for w (complex) or t (1 - t) w^2 (real, integer
// exponents 2a + 1, 2b + 1).
extreme_eig::ensemble jacobi_ensemble(int s, extended a, extended b, bool real)
{
    extreme_eig::ensemble model;
    model.count = s;
    model.real = real;
    model.range = extreme_eig::support::unit_interval;
    model.eigen_weight = {a, b, 0};
    const extended A = real ? 2 * a + 1 : a, B = real ? 2 * b + 1 : b;
    model.basis_weight = {A, B, 0};
    model.full_basis = jacobi_recurrence(A, B, s);
    if (real) {
        // Selberg integral, gamma = 1/2: prod_{j<s} Gamma(a + 1 + j/2)
        // Gamma(b + 1 + j/2) Gamma(1 + (j+1)/2) / (Gamma(a + b + 2 + (s+j-1)/2) Gamma(3/2)).
        for (int j = 0; j < s; j++)
            model.log_normaliser += std::lgamma(a + 1 + j / 2.0L) + std::lgamma(b + 1 + j / 2.0L) +
                                    std::lgamma(1 + (j + 1) / 2.0L) -
                                    std::lgamma(a + b + 2 + (s + j - 1) / 2.0L) - std::lgamma(1.5L);
    }
    return model;
}

jacobi_status engine_status_to_jacobi(extreme_eig::engine_status status)
{
    switch (status) {
    case extreme_eig::engine_status::ok: return jacobi_status::ok;
    case extreme_eig::engine_status::interrupted: return jacobi_status::interrupted;
    case extreme_eig::engine_status::out_of_memory: return jacobi_status::out_of_memory;
    case extreme_eig::engine_status::numerical_failure: break;
    }
    return jacobi_status::numerical_failure;
}

jacobi_eig_outcome refusal(jacobi_status status, const std::string &message)
{
    jacobi_eig_outcome outcome;
    outcome.status = status;
    outcome.message = message;
    return outcome;
}

bool whole(double value) { return value == std::floor(value); }

} // namespace

jacobi_eig_outcome jacobi_eig_cdf(const jacobi_eig_request &request, const double *x, std::size_t count,
                                  double *P, double *err)
{
    if (request.p < 1) return refusal(jacobi_status::invalid_argument, "the dimension p must be at least 1");
    if (!std::isfinite(request.m) || !(request.m >= 1))
        return refusal(jacobi_status::invalid_argument,
                       "the hypothesis degrees of freedom m must be finite and at least 1");
    if (!std::isfinite(request.n) || !(request.n >= request.p))
        return refusal(jacobi_status::invalid_argument,
                       "the error degrees of freedom n must be finite and at least p");
    if (count > 0 && (x == nullptr || P == nullptr))
        return refusal(jacobi_status::invalid_argument, "x and P must not be null when count > 0");
    if (!whole(request.m) || !whole(request.n))
        return refusal(jacobi_status::out_of_reach,
                       "the finite formulas need whole degrees of freedom m and n");
    if (request.m > jacobi_eig_max_degrees || request.n > jacobi_eig_max_degrees)
        return refusal(jacobi_status::out_of_reach, "m and n above 1000 are beyond the verified range");
    const int m = (int)request.m, n = (int)request.n, p = request.p;
    const int s = std::min(p, m);
    if (s > jacobi_eig_max_s)
        return refusal(jacobi_status::out_of_reach,
                       "min(p, m) above 50 is beyond the verified range");
    const bool real = request.field == wishart_field::real;
    const bool lower = request.tail == wishart_tail::lower;
    const int excess = std::abs(m - p), error_excess = n - p;
    const extended a = real ? (excess - 1) / 2.0L : excess, b = real ? (error_excess - 1) / 2.0L : error_excess;
    jacobi_eig_outcome outcome;
    try {
        std::vector<extreme_eig::cut_point> points;
        std::vector<std::size_t> slot;
        for (std::size_t i = 0; i < count; i++) {
            P[i] = NAN;
            if (err) err[i] = NAN;
            const double xi = x[i];
            if (std::isnan(xi)) continue;
            if (xi <= 0 || xi >= 1) {
                const bool certain = (xi <= 0) != lower;   // the tail holds every eigenvalue
                P[i] = request.log_result ? (certain ? 0.0 : -HUGE_VAL) : (certain ? 1.0 : 0.0);
                if (err) err[i] = 0;
                continue;
            }
            // 1 - x is exact for x >= 1/2 (Sterbenz) and within a long-double
            // rounding below: the engine's charts near 1 need it.
            points.push_back({(extended)xi, 1 - (extended)xi});
            slot.push_back(i);
        }
        extreme_eig::tails_request tails;
        tails.model = jacobi_ensemble(s, a, b, real);
        tails.largest = request.which == wishart_extreme::largest;
        tails.lower = lower;
        tails.log_result = request.log_result;
        tails.interrupt = request.interrupt;
        const extreme_eig::engine_outcome result = extreme_eig::evaluate_tails(tails, points, slot, P, err);
        outcome.status = engine_status_to_jacobi(result.status);
        if (result.status != extreme_eig::engine_status::ok) outcome.message = result.message;
    } catch (const std::bad_alloc &) {
        return refusal(jacobi_status::out_of_memory, "out of memory");
    }
    return outcome;
}

} // namespace matrixhyper
