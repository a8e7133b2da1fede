// partition_counts.h: the work of a call, counted from the partitions
// themselves (not from the plug-ins' code), for the benchmark counters.
#ifndef BENCH_PARTITION_COUNTS_H
#define BENCH_PARTITION_COUNTS_H

// Partitions of size 1..max_size with at most `rows` rows.
long long partitions_up_to(int max_size, int rows);

// The work of a sorn call with n variables, no zero coefficient and a part
// bound of at least max_size.
struct SornWork {
    long long partitions; // visited: size 1..max_size, at most n rows
    long long table_rows; // filled: the visited partitions with fewer than n rows
    long long strips;     // horizontal strips kappa/mu, mu != kappa, of all fills
};
SornWork sorn_work(int max_size, int n);

#endif // BENCH_PARTITION_COUNTS_H
