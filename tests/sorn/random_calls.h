// random_calls.h: calls of the one- and two-argument series, random and
// spread, for the bit-for-bit comparisons with the frozen transcription.
#ifndef SORN_TEST_RANDOM_CALLS_H
#define SORN_TEST_RANDOM_CALLS_H

#include <random>
#include <vector>

namespace sorn_test {

struct SeriesCall {
    int max_size, max_part;
    double alpha;
    std::vector<double> a, b, x, y; // y empty: one argument
};

// Ranges of a random call.
struct CallRanges {
    int largest_size;   // max_size from 0 to this
    int most_values;    // n from 1 to this
    int extra_y;        // y may hold up to this many values beyond n
};

// A call of every kind in turn: odd trials have two arguments, every third a
// part bound below max_size; alpha from a list or drawn; parameters that
// sometimes terminate the series (-m) or sit near poles.
inline SeriesCall random_call(std::mt19937 &random, int trial, const CallRanges &ranges)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    SeriesCall c;
    c.max_size = pick(0, ranges.largest_size);
    c.max_part = trial % 3 == 0 ? pick(-1, c.max_size) : c.max_size + pick(0, 5);
    const double alphas[] = {0.25, 0.5, 1.0, 1.5, 2.0, 3.7};
    c.alpha = trial % 2 ? alphas[pick(0, 5)] : 0.2 + 5 * unit(random);
    for (int k = pick(0, 3); k > 0; --k) // numerators, sometimes a terminating -m
        c.a.push_back(pick(0, 4) == 0 ? -pick(0, 4) : 6 * unit(random) - 3);
    for (int k = pick(0, 3); k > 0; --k)
        c.b.push_back(pick(0, 5) == 0 ? -1.5 * unit(random) : 0.5 + 3.5 * unit(random));
    int n = pick(1, ranges.most_values);
    for (int i = 0; i < n; ++i)
        c.x.push_back(3 * unit(random) - 1.5);
    if (trial % 2 == 1) {
        int length = ranges.extra_y > 0 ? n + pick(0, ranges.extra_y) : n;
        for (int i = 0; i < length; ++i)
            c.y.push_back(3 * unit(random) - 1.5);
    }
    return c;
}

// n values from high down to low, evenly spaced (n = 1: high).
inline std::vector<double> spread(int n, double low, double high)
{
    std::vector<double> values(n);
    for (int i = 0; i < n; ++i)
        values[i] = n == 1 ? high : high - (high - low) * i / (n - 1);
    return values;
}

} // namespace sorn_test

#endif // SORN_TEST_RANDOM_CALLS_H
