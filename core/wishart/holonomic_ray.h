// holonomic_ray.h: the zonal (alpha = 2) 1F1(a; c; -t S) of a diagonal S
// along the ray t > 0, by integrating its Pfaffian system
// (docs/wishart_holonomic.md). One engine serves the Wishart largest
// eigenvalue (a = n/2, c = (n + m + 1)/2, S = Sigma^-1 / 2) and matrix_pfq's
// 1F1 at alpha = 2 (t = 1, S = -X).
#ifndef MATRIXHYPER_HOLONOMIC_RAY_H
#define MATRIXHYPER_HOLONOMIC_RAY_H

#include <cstddef>
#include <string>
#include <vector>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

struct holonomic_ray_request {
    double a = 0, c = 0;                  // 1F1's parameters
    std::vector<double> s;                // eigenvalues of S, nonzero: equal ones take the confluent
                                          // system (holonomic_confluent.h), others pairwise distinct
    std::vector<double> targets;          // t, increasing, positive and finite
    // Empty, or x_i per entry of s: F is then read at the eigenvalues
    // s_i e^(x_i), equal s_i the centre of a close cluster, from the
    // confluent system's solution (docs/wishart_holonomic_confluent.md,
    // "Close eigenvalues").
    std::vector<double> log_offsets;
    bool deep_readout = false;            // the readout to deep_readout's limits (holonomic_confluent.h)
    bool want_err = true;                 // run the second integration
    int threads = 1;                      // 1: both integrations on this thread
    std::size_t memory_limit = 0;         // bytes; 0: none
    const interrupt_check *interrupt = nullptr;
    double work_share = 1;                // share of the work budget this run takes
    bool extended = false;                // in long double: the rounding that small gaps amplify
    // extended: the share of a budget the same runs took in double (0: not
    // known). Where long double's whole tail runs would exceed work_share,
    // those of distinct eigenvalues are long double up to their first
    // target only, double beyond (holonomic_ray_complement).
    double double_cost = 0;
    bool wide = false;                    // holonomic_ray_recessive and _complement: in the wide type
    double accuracy = 0;                  // holonomic_ray_recessive only: the absolute error of
                                          // 1 - F wanted (0: the precision's own)
};

enum class holonomic_ray_state { done, out_of_memory, singular_start, interrupted };

// Per target: log |F|, its sign, and the parts of its absolute error in
// log |F| (difference: the two integrations' difference with its safety
// factor, 0 without err; truncation: the start's). rounding covers the
// steps of the run. log_F is NaN where the run did not reach (the work
// budget) or F vanished; abandoned then says the budget ended it.
struct holonomic_ray_values {
    holonomic_ray_state state = holonomic_ray_state::done;
    std::string message;
    std::vector<double> log_F, difference, truncation;
    std::vector<int> sign;
    // holonomic_ray_recessive only: 1 - F in the run's precision, and its
    // two integrations' difference with the safety factor (absolute;
    // rounding and truncation are absolute for it too).
    std::vector<double> complement, complement_difference;
    double rounding = 0;
    bool abandoned = false;
    double budget_used = 0;               // share of a whole work budget the runs took
};

// Whether the start at t = 0 is sound for these parameters: c - (m - 1)/2
// above 1 keeps the other solutions' exponents at t = 0 clear of the
// positive integers the analytic solution's series divides by (at c below
// that the series may meet a resonance, where it is not unique).
bool holonomic_ray_start_sound(int m, double c);

holonomic_ray_values holonomic_ray_integrate(const holonomic_ray_request &request);

// Q = 1 - h(t) / h(inf) at every target, for h = t^(m a) F of a positive S
// and c - a = (m + 1)/2 (the Wishart upper tail), where h(inf) =
// Gamma_m(c) / Gamma_m(c - a) det(S)^-a: the integral of its density from t
// on, carried by the system with the solution that does not decay projected
// out (docs/wishart_holonomic.md, "The upper tail"), so that double keeps
// its relative accuracy however far below 1 it lies. NaN where not reached;
// targets within the start's reach are not. complement underflows to 0
// where log_complement does not; relative_err holds the two integrations'
// difference with its safety factor, the rounding, the start's truncation
// and the estimate of the integral beyond the run's end.
struct holonomic_ray_complements {
    holonomic_ray_state state = holonomic_ray_state::done;
    std::string message;
    std::vector<double> complement, log_complement, relative_err;
    bool abandoned = false;
    double budget_used = 0;
};

holonomic_ray_complements holonomic_ray_complement(const holonomic_ray_request &request);

// P(lambda_min > t) of the real Wishart law at every target, as log_F (sign
// 1; NaN where not reached): the solution of the system of t^(m a) F that
// decays fastest as t grows, scaled to 1 at t = 0+, for c - a = (m + 1)/2
// and S positive. It is carried backwards from beyond the last target,
// where it dominates the others, down to near 0 (docs/wishart_holonomic.md,
// "The smallest eigenvalue"). truncation holds what is left of the lower
// tail where the limit is read and of the start's other solutions.
// complement holds the lower tail 1 - P, which the runs carry to their
// unit roundoff in absolute terms: extended or wide take it further down.
holonomic_ray_values holonomic_ray_recessive(const holonomic_ray_request &request);

} // namespace matrixhyper

#endif // MATRIXHYPER_HOLONOMIC_RAY_H
