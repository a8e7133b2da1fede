// brint_series.h: the truncated hypergeometric series pFq(a; b; x I_n) at
// many points x, from one set of per-degree coefficients.
//
// The coefficient of x^k is the sum over the partitions kappa of k with at
// most n parts (and first part at most max_part) of the terms
// (a)_kappa / (b)_kappa * alpha^k / (hook product) * J_kappa(I_n)-factor,
// each derived from the term with one box less in a fixed order of
// operations, so the results are reproducible bit for bit.
//
// Workspace rule: brint_workspace_size gives the bytes a call needs;
// brint_coefficients works in one caller's block of at least that many
// bytes (any alignment), allocates nothing and calls no host function.
#ifndef MATRIXHYPER_BRINT_SERIES_H
#define MATRIXHYPER_BRINT_SERIES_H

#include <cstddef>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

struct brint_request {
    int max_size;    // largest degree, 0..2147483646
    int max_part;    // bound on the first part; at or below 0 only the empty partition
    double alpha;    // Jack parameter, positive and finite
    const double *a; // numerator parameters (read only)
    size_t p;
    const double *b; // denominator parameters (read only)
    size_t q;
    int n;           // number of variables, 0..2147483647
    const interrupt_check *interrupt = nullptr; // polled on the calling thread; null = never
};

enum class brint_status {
    ok,
    interrupted, // the caller's poll asked to stop: degree_sums are meaningless
};

// Bytes of the work block for max_size and n: three arrays of
// min(n, max_size + 1) + 1 entries, so any n fits.
size_t brint_workspace_size(int max_size, int n);

// degree_sums[0..max_size]: degree_sums[0] = 1 and degree_sums[k] the
// coefficient of x^k. A term that is exactly 0 ends its branch (every
// partition reached from it carries the same factor 0), which is how a
// numerator parameter that is 0 or a negative integer -k ends the series at
// degree k n: the factor of row 1 is then exactly 0. An infinite or NaN
// term is passed on. request.interrupt is polled every few thousand
// partitions; when it asks to stop, the call returns interrupted at once.
brint_status brint_coefficients(const brint_request &request, void *workspace, double *degree_sums);

// values[i] = degree_sums[0] + degree_sums[1] x[i] + ... + degree_sums[max_size] x[i]^max_size
// by Horner's rule starting from 0 (so an infinite point gives NaN).
void evaluate_degree_sums(const double *degree_sums, int max_size, const double *x, size_t count,
                          double *values);

} // namespace matrixhyper

#endif // MATRIXHYPER_BRINT_SERIES_H
