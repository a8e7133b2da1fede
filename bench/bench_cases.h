// bench_cases.h: the grid of calls that the benchmarks time, their inputs
// and their counters.
#ifndef BENCH_BENCH_CASES_H
#define BENCH_BENCH_CASES_H

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// One call: n variables, partitions up to max_size (and parts up to
// max_size), Jack parameter alpha, with or without one numerator and one
// denominator parameter, and for sorn one or two arguments.
struct BenchCase {
    int n;
    int max_size;
    double alpha;
    bool parameters;
    bool two_args;
};

// "n:8/max_size:60/alpha:1/params:0" and, for sorn, "/args:1".
inline std::string case_name(const BenchCase &c, bool with_args)
{
    std::string name = "n:" + std::to_string(c.n) + "/max_size:" + std::to_string(c.max_size) +
                       "/alpha:" + std::to_string(static_cast<int>(c.alpha)) +
                       "/params:" + (c.parameters ? "1" : "0");
    if (with_args)
        name += std::string("/args:") + (c.two_args ? "2" : "1");
    return name;
}

// a = 0.3 and b = 1.7 never make a factor u + a_k or u + b_k vanish for
// alpha 1 or 2, so no branch of the walk is cut off and the counts hold.
inline std::vector<double> numerators(const BenchCase &c)
{
    return c.parameters ? std::vector<double>{0.3} : std::vector<double>{};
}
inline std::vector<double> denominators(const BenchCase &c)
{
    return c.parameters ? std::vector<double>{1.7} : std::vector<double>{};
}

// n eigenvalues spread over [low, high]: far from underflow at the largest
// powers, so no subnormal arithmetic distorts the times.
inline std::vector<double> spread(int n, double low, double high)
{
    std::vector<double> values(n);
    for (int i = 0; i < n; ++i)
        values[i] = n == 1 ? high : high - (high - low) * i / (n - 1);
    return values;
}
inline std::vector<double> x_values(int n) { return spread(n, 0.35, 0.95); }
inline std::vector<double> y_values(int n) { return spread(n, 0.25, 1.1); }

// Microseconds for small calls, milliseconds from about a millisecond on.
inline benchmark::TimeUnit unit_for(double items)
{
    return items < 200000 ? benchmark::kMicrosecond : benchmark::kMillisecond;
}

// A count per call, and the time per counted item (seconds, inverted rate).
inline void set_count(benchmark::State &state, const std::string &count_name,
                      const std::string &time_name, double count)
{
    state.counters[count_name] = benchmark::Counter(count);
    state.counters[time_name] =
        benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
}

#endif // BENCH_BENCH_CASES_H
