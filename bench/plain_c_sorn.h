/* plain_c_sorn.h: the series of one or two matrix arguments written as plain
 * C, the recurrences in their defined order of operations: the baseline the
 * benchmarks hold the plug-in's core against. Benchmark code only. */
#ifndef BENCH_PLAIN_C_SORN_H
#define BENCH_PLAIN_C_SORN_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sets degree_sums[0..max_size] to the sums of the terms of each size
 * (entry 0 is 1) for the n eigenvalues x, and y (n values) or null for the
 * one-argument series. Returns 0, or -1 when the tables could not be
 * allocated or would not fit 32-bit positions (degree_sums then unset). */
int plain_c_sorn(int max_size, int max_part, double alpha, const double *a, int p,
                 const double *b, int q, int n, const double *x, const double *y,
                 double *degree_sums);

#ifdef __cplusplus
}
#endif

#endif /* BENCH_PLAIN_C_SORN_H */
