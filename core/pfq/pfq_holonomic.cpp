// pfq_holonomic.cpp: the zonal 1F1(a; c; X) of one argument by integrating
// its Pfaffian system from X = 0 along t X, t in [0, 1]
// (docs/matrix_pfq.md, "The holonomic route"): the engine of the Wishart
// largest eigenvalue (holonomic_ray.h) with S = -X. Its cost does not grow
// with the degree the series would need, only with |X| and 2^n.
#include <algorithm>
#include <cmath>
#include <limits>

#include "holonomic_ray.h"
#include "pfq_series.h"

namespace matrixhyper {
namespace pfq_detail {

namespace {

// The system holds the 2^n square-free derivatives: n = 10 is 1024 values
// and about 100 million operations per step.
constexpr int holonomic_most_eigenvalues = 10;
// Smallest relative gap |x_i - x_j| / max(|x_i|, |x_j|) the integration
// takes: it divides by x_i - x_j, and closer eigenvalues amplify the
// rounding of its recursion (docs/wishart_holonomic.md measured a 0.1% gap
// against the white limit). Closer ones are left to the tables.
constexpr double holonomic_least_gap = 1e-3;
// Share of the call's work budget the integration may take: if it ends
// unconverged, the tables keep the rest. The budgets are of one size (some
// 20 s on one core), so the share left converts between their units.
constexpr double holonomic_budget_share = 0.5;

// The engine takes a, c and X in double, where a relation may have formed
// them in long double: rounding them moves log F by at most
// u sum_i |theta_i log F| (plus its a and c parts), where theta_i log F
// tends to x_i (X positive) or -a (negative) far out. Counted with margin 4.
long double input_rounding(const series_input &in)
{
    constexpr double margin = 4;
    long double size = 0;
    for (long double x : in.x) size += std::fabs(x) + std::fabs(in.a[0]) + std::fabs(in.b[0]);
    return margin * std::numeric_limits<double>::epsilon() / 2 * size;
}

} // namespace

bool holonomic_serves(const series_input &in)
{
    const int n = (int)in.x.size();
    if (in.alpha != 2 || !in.y.empty() || in.a.size() != 1 || in.b.size() != 1) return false;
    if (n < 2 || n > holonomic_most_eigenvalues) return false;
    const long double a = in.a[0], c = in.b[0];
    // A terminating series is a polynomial the tables sum exactly.
    if (a <= 0 && a == std::floor(a)) return false;
    if (!holonomic_ray_start_sound(n, (double)c)) return false;
    for (int i = 0; i < n; i++) {
        if (!(std::fabs((double)in.x[i]) >= std::numeric_limits<double>::min())) return false;
        for (int j = 0; j < i; j++) {
            const long double gap = std::fabs(in.x[i] - in.x[j]);
            if (gap < holonomic_least_gap * std::max(std::fabs(in.x[i]), std::fabs(in.x[j]))) return false;
        }
    }
    return true;
}

series_outcome sum_holonomic(const series_input &in, const series_control &ctl)
{
    series_outcome out;
    out.route = "holonomic";
    holonomic_ray_request ray;
    ray.a = (double)in.a[0];
    ray.c = (double)in.b[0];
    for (long double x : in.x) ray.s.push_back(-(double)x);
    ray.targets = {1.0};
    const double work_left =
        ctl.work_left ? std::max(0.0, (double)*ctl.work_left / automatic_table_work) : 1;
    ray.work_share = holonomic_budget_share * std::min(1.0, work_left);
    ray.threads = ctl.threads;
    ray.memory_limit = ctl.memory_limit;
    ray.interrupt = ctl.interrupt;
    const holonomic_ray_values F = holonomic_ray_integrate(ray);
    if (ctl.work_left) *ctl.work_left -= (long long)std::ceil(F.budget_used * automatic_table_work);
    out.message = F.message;
    if (F.state == holonomic_ray_state::interrupted) {
        out.state = series_state::interrupted;
        return out;
    }
    if (F.state != holonomic_ray_state::done || std::isnan(F.log_F[0])) {
        out.sum = std::numeric_limits<long double>::quiet_NaN();
        if (F.abandoned) out.message = "the integration needs more than its work limit";
        return out;
    }
    const long double log_err =
        (long double)F.difference[0] + F.truncation[0] + F.rounding + input_rounding(in);
    out.sum = F.sign[0] * std::exp((long double)F.log_F[0]);
    if (!std::isfinite(out.sum)) {
        out.state = series_state::overflow;
        return out;
    }
    out.rounding = std::fabs(out.sum) * std::expm1(log_err);
    if (std::isnan(out.rounding)) out.rounding = HUGE_VALL;
    out.state = out.rounding <= ctl.tol * std::fabs(out.sum) ? series_state::converged
                                                              : series_state::not_converged;
    if (out.state == series_state::not_converged)
        out.message = "the two integrations differ by more than tol";
    return out;
}

} // namespace pfq_detail
} // namespace matrixhyper
