// wishart_eig.cpp: exact CDF of the extreme eigenvalues of white Wishart
// matrices: the Laguerre ensemble handed to the shared engine
// (extreme_eig_engine.h). Derivation: docs/wishart_extreme_eigenvalues.md.
#include "matrixhyper/wishart_eig.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "extreme_eig_engine.h"

namespace matrixhyper {
namespace {

using extreme_eig::extended;

// The Laguerre ensemble of W_m(n, I):
//   complex: t = lambda, w(t) = t^(n-m) e^-t; the basis is orthonormal for w
//            (generalised Laguerre polynomials, parameter n - m);
//   real:    t = lambda / 2, w(t) = t^((n-m-1)/2) e^-t; the basis is
//            orthonormal for t w^2 = t^(n-m) e^-2t (Laguerre in 2t).
extreme_eig::ensemble laguerre_ensemble(int m, extended n, bool real)
{
    extreme_eig::ensemble model;
    model.count = m;
    model.real = real;
    model.range = extreme_eig::support::half_line;
    const extended excess = n - m;
    // Laguerre weight t^c e^{-r t}: monic recurrence a_k = (2k + c + 1) / r,
    // b_k = k (k + c) / r^2, mass Gamma(c + 1) / r^(c + 1).
    const extended rate = real ? 2 : 1;
    model.eigen_weight = {real ? (excess - 1) / 2 : excess, 0, 1};
    model.basis_weight = {excess, 0, rate};
    extreme_eig::recurrence &basis = model.full_basis;
    basis.diagonal.assign(m, 0);
    basis.off_diagonal.assign(m + 1, 0);
    basis.log_mass = std::lgamma(excess + 1) - (excess + 1) * std::log(rate);
    for (int k = 0; k < m; k++) {
        basis.diagonal[k] = (2 * k + excess + 1) / rate;
        basis.off_diagonal[k + 1] = std::sqrt((extended)(k + 1) * (k + 1 + excess)) / rate;
    }
    if (real) {
        // Selberg integral (beta = 1) with the Laguerre weight t^a e^-t:
        // prod_{j<m} Gamma(1 + (j+1)/2) Gamma(a + 1 + j/2) / Gamma(3/2).
        const extended a = model.eigen_weight.power;
        for (int j = 0; j < m; j++)
            model.log_normaliser +=
                std::lgamma(1 + (j + 1) / 2.0L) + std::lgamma(a + 1 + j / 2.0L) - std::lgamma(1.5L);
    }
    return model;
}

wishart_status engine_status_to_wishart(extreme_eig::engine_status status)
{
    switch (status) {
    case extreme_eig::engine_status::ok: return wishart_status::ok;
    case extreme_eig::engine_status::interrupted: return wishart_status::interrupted;
    case extreme_eig::engine_status::out_of_memory: return wishart_status::out_of_memory;
    case extreme_eig::engine_status::numerical_failure: break;
    }
    return wishart_status::numerical_failure;
}

} // namespace

// A whole n below m gives a singular W, whose law is that of W_n(m, I); a
// non-integer n at most m - 1 a weight that is not integrable at 0.
bool wishart_eig_accepts(int m, double n)
{
    if (!(n <= wishart_eig_max_n)) return false;
    if (n == std::floor(n)) return n >= m;
    return n >= m - 1 + wishart_eig_least_fractional_excess;
}

wishart_eig_outcome wishart_eig_cdf_exact(const wishart_eig_request &request, const double *x,
                                          std::size_t count, double *P, double *err)
{
    wishart_eig_outcome outcome;
    auto invalid = [&](const std::string &message) {
        outcome.status = wishart_status::invalid_argument;
        outcome.message = message;
        return outcome;
    };
    if (request.m < 1 || request.m > wishart_eig_max_m)
        return invalid("wishart_eig_cdf_exact: m (dimension) must be an integer in [1, " +
                       std::to_string(wishart_eig_max_m) + "], got " + std::to_string(request.m));
    if (!wishart_eig_accepts(request.m, request.n)) {
        char n_text[32], least_text[32];
        std::snprintf(n_text, sizeof n_text, "%.17g", request.n);
        std::snprintf(least_text, sizeof least_text, "%g", 1 - wishart_eig_least_fractional_excess);
        return invalid("wishart_eig_cdf_exact: n (degrees of freedom) must be a whole number in [m, " +
                       std::to_string(wishart_eig_max_n) + "] or a real number in [m - " + least_text + ", " +
                       std::to_string(wishart_eig_max_n) + "] with m = " + std::to_string(request.m) +
                       ", got " + n_text);
    }
    if (!(request.scale > 0 && std::isfinite(request.scale)))
        return invalid("wishart_eig_cdf_exact: scale must be positive and finite");
    if (count > 0 && (x == nullptr || P == nullptr))
        return invalid("wishart_eig_cdf_exact: x and P must not be null when count > 0");
    const bool lower = request.tail == wishart_tail::lower;
    const bool real = request.field == wishart_field::real;
    std::vector<extreme_eig::cut_point> points;
    std::vector<std::size_t> slot;
    try {
        for (std::size_t i = 0; i < count; i++) {
            P[i] = NAN;
            if (err) err[i] = NAN;
            const double xi = x[i];
            if (std::isnan(xi)) continue;
            if (xi <= 0 || std::isinf(xi)) {
                const bool certain = (xi <= 0) != lower;   // the tail holds every eigenvalue
                P[i] = request.log_result ? (certain ? 0.0 : -HUGE_VAL) : (certain ? 1.0 : 0.0);
                if (err) err[i] = 0;
                continue;
            }
            const extended ratio = (extended)xi / request.scale;
            const extended X = real ? ratio / 2 : ratio;
            points.push_back({X, 1 - X});
            slot.push_back(i);
        }
        extreme_eig::tails_request tails;
        tails.model = laguerre_ensemble(request.m, request.n, real);
        tails.largest = request.which == wishart_extreme::largest;
        tails.lower = lower;
        tails.log_result = request.log_result;
        tails.interrupt = request.interrupt;
        const extreme_eig::engine_outcome result = extreme_eig::evaluate_tails(tails, points, slot, P, err);
        outcome.status = engine_status_to_wishart(result.status);
        if (result.status != extreme_eig::engine_status::ok)
            outcome.message = "wishart_eig_cdf_exact: " + result.message;
    } catch (const std::bad_alloc &) {
        outcome.status = wishart_status::out_of_memory;
        outcome.message = "wishart_eig_cdf_exact: out of memory";
    }
    return outcome;
}

} // namespace matrixhyper
