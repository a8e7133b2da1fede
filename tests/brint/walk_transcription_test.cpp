// The coefficient walk against a second, deliberately plain transcription of
// its recurrence, compared bit for bit: the order of every operation is part
// of the results, so any later rewrite for speed must keep these identical.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "walk_support.h"

using namespace brint_test;

namespace {

// The walk written recursively, one call per row, over arrays of n + 1
// entries as the recurrence is stated (no row cap). Same arithmetic, same
// order: the term of a new box is (N / D) times the term before the box,
// shifted part i drifts by repeated addition of alpha, and u comes from m
// and j directly.
struct Literal {
    int max_size, max_part, n;
    double alpha;
    std::vector<double> a, b;
    std::vector<int> kappa;
    std::vector<double> shifted;
    std::vector<double> sums;

    void grow_row(int j, double term, int size)
    {
        while (size < max_size && kappa[j] < kappa[j - 1] && term != 0.0) {
            kappa[j] = kappa[j] + 1;
            int m = kappa[j];
            double t = shifted[j];
            double u = ((1 - j) / alpha + m) - 1;
            double N = ((double)n + t) + 1.0;
            for (double ak : a) N = N * (ak + u);
            double D = (double)m * (((double)j + t) + 1.0);
            for (double bk : b) D = D * (bk + u);
            double t_new = t + alpha;
            shifted[j] = t_new;
            for (int i = 1; i <= j - 1; i++) {
                double d = shifted[i] - t_new;
                N = N * (((alpha + d) - 1.0) * d);
                D = D * ((d + 1.0) * (alpha + d));
            }
            term = (N / D) * term;
            size = size + 1;
            sums[size] = sums[size] + term;
            if (j < n) grow_row(j + 1, term, size);
        }
        kappa[j] = 0;
        shifted[j] = -j;
    }

    std::vector<double> run()
    {
        sums.assign(max_size + 1, 0.0);
        sums[0] = 1.0;
        if (n == 0) return sums;
        kappa.assign(n + 1, 0);
        kappa[0] = max_part;
        shifted.assign(n + 1, 0.0);
        for (int i = 1; i <= n; i++) shifted[i] = -i;
        grow_row(1, 1.0, 0);
        return sums;
    }
};

// Parameters that exercise zero terms (non-positive integers), poles,
// ordinary values, and alphas of all kinds.
double random_parameter(std::mt19937_64 &rng)
{
    switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
    case 0: return -(double)std::uniform_int_distribution<int>(0, 4)(rng);
    case 1: return std::uniform_int_distribution<int>(-8, 8)(rng) / 2.0;
    default: return std::uniform_real_distribution<double>(-5.0, 5.0)(rng);
    }
}

double random_alpha(std::mt19937_64 &rng)
{
    const double special[] = {1.0, 2.0, 0.5, 1.0 / 3, 3.0, -0.75, 1e-3, 40.0};
    if (std::uniform_int_distribution<int>(0, 1)(rng))
        return special[std::uniform_int_distribution<int>(0, 7)(rng)];
    return std::uniform_real_distribution<double>(0.05, 6.0)(rng);
}

int random_variables(std::mt19937_64 &rng)
{
    int pick = std::uniform_int_distribution<int>(0, 19)(rng);
    if (pick == 0) return 0;
    if (pick == 1) return 1000000;
    if (pick == 2) return 40;
    return std::uniform_int_distribution<int>(1, 6)(rng);
}

TEST(CoefficientWalkTranscription, RandomInputsAgreeBitForBit)
{
    std::mt19937_64 rng(20240611);
    for (int trial = 0; trial < 400; trial++) {
        Literal w;
        w.max_size = std::uniform_int_distribution<int>(0, 11)(rng);
        w.max_part = std::uniform_int_distribution<int>(-2, 13)(rng);
        w.n = random_variables(rng);
        w.alpha = random_alpha(rng);
        for (int k = std::uniform_int_distribution<int>(0, 3)(rng); k > 0; k--)
            w.a.push_back(random_parameter(rng));
        for (int k = std::uniform_int_distribution<int>(0, 2)(rng); k > 0; k--)
            w.b.push_back(random_parameter(rng));
        std::vector<double> expected = w.run();
        std::vector<double> got = run_walk(w.max_size, w.max_part, w.alpha, w.a, w.b, w.n);
        ASSERT_TRUE(same_bits(got, expected))
            << "trial " << trial << ": bounds [" << w.max_size << " " << w.max_part
            << "], alpha " << w.alpha << ", n " << w.n << ", p " << w.a.size()
            << ", q " << w.b.size();
    }
}

} // namespace
