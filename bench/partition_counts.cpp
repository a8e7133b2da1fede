// partition_counts.cpp: counting partitions and horizontal strips.
#include "partition_counts.h"

#include <vector>

long long partitions_up_to(int max_size, int rows)
{
    // By conjugation: partitions with at most `rows` rows are those with
    // parts at most `rows`; admit the part sizes one at a time.
    std::vector<long long> count(max_size + 1, 0);
    count[0] = 1;
    for (int part = 1; part <= rows && part <= max_size; ++part)
        for (int k = part; k <= max_size; ++k)
            count[k] += count[k - part];
    long long total = 0;
    for (int k = 1; k <= max_size; ++k)
        total += count[k];
    return total;
}

namespace {

// Extends the partition whose last part is `last` (size `size`, `rows` rows)
// by one more row in every admissible way. `gaps` is the product over the
// rows but the last of (kappa_i - kappa_(i+1) + 1); a partition with j rows
// has gaps * (kappa_j + 1) - 1 strips kappa/mu with mu != kappa.
void add_strips_below(int last, int size, int rows, long long gaps, int max_size,
                      int max_rows, long long &strips)
{
    if (rows == max_rows)
        return;
    for (int part = 1; part <= last && size + part <= max_size; ++part) {
        long long row_gaps = gaps * (last - part + 1);
        strips += row_gaps * (part + 1) - 1;
        add_strips_below(part, size + part, rows + 1, row_gaps, max_size, max_rows, strips);
    }
}

} // namespace

SornWork sorn_work(int max_size, int n)
{
    SornWork work{partitions_up_to(max_size, n), 0, 0};
    if (n >= 2) {
        work.table_rows = partitions_up_to(max_size, n - 1);
        for (int first = 1; first <= max_size; ++first) {
            work.strips += first; // (first) has first + 1 strips, itself included
            add_strips_below(first, first, 1, 1, max_size, n - 1, work.strips);
        }
    }
    return work;
}
