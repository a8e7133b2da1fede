// table_size.cpp: how many partitions the Jack function tables hold and how
// large their arrays are, counted before anything is allocated.
#include <vector>

#include "jack_tables.h"

namespace matrixhyper {

// Partitions with at most two rows and size at most max_size: for
// max_size = 2T it is (T + 1)^2, for 2T + 1 it is (T + 1)(T + 2). A lower
// bound of the count for n >= 3 (the exact count for n = 3) that costs nothing.
static long long count_two_row_partitions(int max_size)
{
    long long half = max_size / 2;
    if (max_size % 2 == 0)
        return (half + 1) * (half + 1);
    return (half + 1) * (half + 2);
}

long long count_table_size(int max_size, long long n, long long limit)
{
    if (n <= 2)
        return (long long)max_size + 1;
    // The counting array has max_size + 2 entries. Allocate it only when the
    // two-row count already fits, which bounds max_size by about 2 * sqrt(limit).
    long long lower_bound = count_two_row_partitions(max_size);
    if (lower_bound > limit || n == 3)
        return lower_bound;
    // f[k] counts the partitions of size below k with parts at most i, the
    // conjugates of those with at most i rows; each pass admits parts equal to
    // i. Passes with i > max_size change nothing.
    std::vector<long long> f((size_t)max_size + 2);
    for (int k = 1; k <= max_size + 1; ++k)
        f[k] = k;
    long long last_pass = n - 1 < max_size ? n - 1 : max_size;
    for (int i = 2; i <= last_pass && f[max_size + 1] <= limit; ++i)
        for (int k = i + 1; k <= max_size + 1; ++k)
            f[k] = f[k] + f[k - i]; // stays below max_size * limit: no overflow
    return f[max_size + 1];
}

long long count_table_size_within(int max_size, long long n, int max_part, long long limit)
{
    if (n <= 2 || max_part >= max_size)
        return count_table_size(max_size, n, limit);
    // Positions 1..max_size + 1 are the empty and the one-row partitions
    // whatever max_part is; the blocks hold the partitions with 2..n - 1
    // rows. ways[r][k] counts those with r rows of size k from the parts
    // admitted so far, each pass admitting parts equal to `part`; counts
    // saturate just above `limit`.
    const int rows = (int)(n - 1 < max_size ? n - 1 : max_size);
    const long long above = limit + 1;
    std::vector<std::vector<long long>> ways((size_t)rows + 1,
                                             std::vector<long long>((size_t)max_size + 1, 0));
    ways[0][0] = 1;
    for (int part = 1; part <= max_part; ++part)
        for (int r = 1; r <= rows; ++r)
            for (int k = part; k <= max_size; ++k) {
                long long sum = ways[r][k] + ways[r - 1][k - part];
                ways[r][k] = sum < above ? sum : above;
            }
    long long count = (long long)max_size + 1;
    for (int r = 2; r <= rows && count <= limit; ++r)
        for (int k = 0; k <= max_size && count <= limit; ++k)
            count = count + ways[r][k];
    return count;
}

long double largest_table_array_bytes(int max_size, long long n, long long table_size)
{
    long double degrees = (long double)max_size + 1;
    long double largest = degrees * 8;                         // degree_sums
    if (n > 0) {
        long double rows = (long double)table_size + 1;
        long double candidates[] = {rows * n * 8,              // jack_x, jack_y
                                    rows * 4,                  // index_table
                                    degrees * n * 8,           // powers_x, powers_y
                                    ((long double)n + 1) * 8}; // prefix and work arrays
        for (long double bytes : candidates)
            if (bytes > largest)
                largest = bytes;
    }
    return largest;
}

} // namespace matrixhyper
