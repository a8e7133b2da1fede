// sorn_series.h: the truncated hypergeometric series of one or two matrix
// arguments, pFq(a; b; X) or pFq(a; b; X, Y), from the eigenvalues of X and Y.
//
// The series runs over the partitions kappa with |kappa| <= max_size, at
// most n rows and first part at most max_part; the term of kappa is its
// coefficient alpha^|kappa| (a)_kappa / (b)_kappa / (hook product), times
// the Jack functions Q_kappa(x) (and Q_kappa(y) / Q_kappa(1,...,1) with two
// arguments). Every term is derived from the term of the partition with one
// box less, and every floating-point operation happens in a fixed order, so
// the results are reproducible bit for bit.
//
// Workspace rule: the caller first asks sorn_workspace_size for the bytes a
// call needs, then hands sorn_series one block of at least that many bytes
// (any alignment). The call reads and writes only that block and
// degree_sums; it allocates nothing and calls no host function. The block
// holds nothing the caller needs afterwards.
#ifndef MATRIXHYPER_SORN_SERIES_H
#define MATRIXHYPER_SORN_SERIES_H

#include <cstddef>

#include "matrixhyper/interrupt.h"

namespace matrixhyper {

struct sorn_request {
    int max_size;      // largest partition size summed, 0..2147483646
    int max_part;      // bound on the first part; at or below 0 only the empty partition
    double alpha;      // Jack parameter, positive and finite
    const double *a;   // numerator parameters a_1..a_p (read only)
    size_t p;
    const double *b;   // denominator parameters b_1..b_q (read only)
    size_t q;
    size_t n;          // number of eigenvalues; 0 is the 0-by-0 argument (value 1)
    const double *x;   // eigenvalues of X, n values (read only)
    const double *y;   // eigenvalues of Y, n values, or null for one argument
    int threads = 0;   // threads filling the tables, at most sizing.threads; 0 = sizing.threads
    const interrupt_check *interrupt = nullptr; // polled on the calling thread; null = never
};

enum class sorn_sizing_status {
    ok,
    too_many_values,     // n beyond position_limit
    too_many_partitions, // the tables need more positions than position_limit
    array_too_large,     // an array needs more bytes than the caller's byte limit
};

// What a call needs, counted in 64 bits before anything is allocated.
struct sorn_sizing {
    sorn_sizing_status status;
    long long position_limit;         // 2147483646: positions are signed 32-bit ints
    long long table_size;             // partitions stored; a lower bound when too_many_partitions
    bool table_size_exact;            // false when table_size is only a lower bound
    long double largest_array_bytes;  // the largest single array, exact
    size_t workspace_bytes;           // the block sorn_series needs (SIZE_MAX when it cannot exist)
    int threads;                      // threads the block has room for, at least 1
};

enum class sorn_status {
    ok,
    interrupted, // the caller's poll asked to stop: degree_sums and value are meaningless
};

// What sorn_series returns. It converts to the value, so that callers that
// pass no interrupt may keep reading it as a plain double.
struct sorn_result {
    sorn_status status;
    double value; // the sum of degree_sums when status is ok, else NaN
};

// The machine's hardware threads, at least 1, at most 64 (the most a call
// starts). The core reads no environment: a host setting for the count is
// the caller's to read and pass in.
int hardware_thread_count();

// Sizes a call with max_size, n eigenvalues and one or two arguments.
// byte_limit is the largest array the caller can describe (2^31 - 1 for a
// host with 32-bit sizes); larger arrays are refused with array_too_large.
// threads > 0 makes room for that many threads (at most 64); 0 takes the
// default for tables of 10 000 rows or more, else 1: default_threads when
// positive (a caller's setting), else hardware_thread_count(). With fewer
// than 3 eigenvalues there is nothing to share: always 1.
sorn_sizing sorn_workspace_size(int max_size, size_t n, bool two_args, long long byte_limit,
                                int threads = 0, int default_threads = 0);

// Sums the series: degree_sums[0..max_size] gets the sum of the terms of
// each degree (degree_sums[0] = 1, the empty partition) and the value, the
// sum of degree_sums from degree 0 up, is returned. `sizing` must be the
// ok result of sorn_workspace_size for the same request and `workspace` a
// block of at least sizing.workspace_bytes bytes. A term that is exactly 0
// ends its branch of the walk (every partition reached from it carries the
// same factor 0); an infinite or NaN term is passed on.
//
// The tables are filled by min(request.threads, sizing.threads) threads
// (sizing.threads when request.threads is 0); the results are the same bit
// for bit whatever the count. request.interrupt is polled only on the
// calling thread; when it asks to stop, the call returns
// sorn_status::interrupted promptly with every thread joined.
sorn_result sorn_series(const sorn_request &request, const sorn_sizing &sizing, void *workspace,
                        double *degree_sums);

} // namespace matrixhyper

#endif // MATRIXHYPER_SORN_SERIES_H
