// extreme_options.h: the keyword options every extreme-eigenvalue plug-in
// takes ('field', 'which', 'tail'), read one way for all of them. Header
// only, so that each plug-in that includes it needs no further source.
#ifndef GATEWAY_EXTREME_OPTIONS_H
#define GATEWAY_EXTREME_OPTIONS_H

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mex.h"
#include "gateway_args.h"
#include "matrix_argument.h"
#include "matrixhyper/jacobi_eig.h"
#include "matrixhyper/wishart_cdf.h"
#include "matrixhyper/wishart_eig.h"
#include "options.h"

namespace gateway {

// Where the keyword options land in a plug-in's request.
struct extreme_choices {
    matrixhyper::wishart_field &field;
    matrixhyper::wishart_extreme &which;
    matrixhyper::wishart_tail &tail;
};

// The index of `value` among `choices` (count of them), or -1.
inline int keyword_choice(const mxArray *value, const char *const *choices, int count)
{
    char text[16];
    if (!read_text(value, text, sizeof text)) return -1;
    for (int i = 0; i < count; i++)
        if (same_name(text, choices[i])) return i;
    return -1;
}

enum class extreme_option { read, refused, other };

// Reads option `name` when it is 'field', 'which' or 'tail' (read, or
// refused with *refusal set); other: the name is none of them.
inline extreme_option read_extreme_option(const char *name, const mxArray *value, extreme_choices choices,
                                          const char **refusal)
{
    static const char *const fields[] = {"real", "complex"};
    static const char *const extremes[] = {"largest", "smallest"};
    static const char *const tails[] = {"lower", "upper"};
    int choice;
    if (same_name(name, "field")) {
        if ((choice = keyword_choice(value, fields, 2)) < 0) {
            *refusal = "Option 'field' must be 'real' or 'complex'.";
            return extreme_option::refused;
        }
        choices.field = choice == 0 ? matrixhyper::wishart_field::real : matrixhyper::wishart_field::complex;
    } else if (same_name(name, "which")) {
        if ((choice = keyword_choice(value, extremes, 2)) < 0) {
            *refusal = "Option 'which' must be 'largest' or 'smallest'.";
            return extreme_option::refused;
        }
        choices.which = choice == 0 ? matrixhyper::wishart_extreme::largest : matrixhyper::wishart_extreme::smallest;
    } else if (same_name(name, "tail")) {
        if ((choice = keyword_choice(value, tails, 2)) < 0) {
            *refusal = "Option 'tail' must be 'lower' or 'upper'.";
            return extreme_option::refused;
        }
        choices.tail = choice == 0 ? matrixhyper::wishart_tail::lower : matrixhyper::wishart_tail::upper;
    } else {
        return extreme_option::other;
    }
    return extreme_option::read;
}

// The matrix Beta model (p, m, n) from the three inputs after the first,
// into `request`; the message of the first failing check, or null. The
// limits in the messages come from the constant the checks use.
inline const char *jacobi_model_error(const mxArray *const *model, matrixhyper::jacobi_eig_request &request,
                                      message_buffer &message)
{
    const double most = matrixhyper::jacobi_eig_max_degrees;
    double p, m, n;
    if (!read_real_scalar(model[0], &p) || !(p >= 1 && p <= most) || p != std::floor(p))
        return message.format("Second input must be a whole number p from 1 to %g.", most);
    if (!read_real_scalar(model[1], &m) || !(m >= 1 && m <= most))
        return message.format("Third input must be a number m from 1 to %g.", most);
    if (!read_real_scalar(model[2], &n) || !(n >= p && n <= most))
        return message.format("Fourth input must be a number n from p to %g.", most);
    request.p = (int)p;
    request.m = m;
    request.n = n;
    return 0;
}

// The 'sigma' option of a Wishart plug-in (null: the identity) as the m
// eigenvalues of Sigma in `core`; the refusal, or null.
inline const char *read_sigma(const mxArray *sigma, matrixhyper::wishart_cdf_request &core)
{
    if (!sigma) return 0;
    core.sigma.resize(core.m);
    const bool complex_allowed = core.field == matrixhyper::wishart_field::complex;
    if (!read_covariance(sigma, core.m, complex_allowed, core.sigma.data())) return covariance_refusal;
    return 0;
}

// P of an inverse distribution: real, full, each in [0, 1] or NaN.
inline const char *probabilities_error(const mxArray *P)
{
    if (!is_real_full_double(P)) return "First input must be a real double array of probabilities P.";
    const double *values = mxGetPr(P);
    for (size_t i = 0; i < mxGetNumberOfElements(P); i++)
        if (values[i] < 0 || values[i] > 1) return "First input must hold probabilities P in [0, 1] (or NaN).";
    return 0;
}

// Unresolved points the warning of an inverse names one by one; it counts
// the rest.
constexpr std::size_t named_unresolved_points = 5;

// The warning of an inverse call that left quantiles NaN: how many of
// `count`, the first few by their (1-based) index, and why the first failed.
inline void describe_unresolved(const std::vector<std::size_t> &unresolved, std::size_t count,
                                const std::string &reason, char *text, std::size_t capacity)
{
    std::string where;
    for (std::size_t k = 0; k < unresolved.size() && k < named_unresolved_points; k++)
        where += (k ? ", P(" : "P(") + std::to_string(unresolved[k] + 1) + ")";
    if (unresolved.size() > named_unresolved_points) where += ", ...";
    std::snprintf(text, capacity, "%zu of %zu quantiles could not be resolved and are NaN (%s): %s.",
                  unresolved.size(), count, where.c_str(), reason.c_str());
}

} // namespace gateway

#endif // GATEWAY_EXTREME_OPTIONS_H
