// alternant.h: ratios of alternants det[f_j(a_i)] / V(a), V(a) the
// Vandermonde prod_{i<l} (a_l - a_i), kept accurate when nodes a_i are
// close or repeated. Internal to the core; generic in the functions f_j and
// in the arithmetic type (a Boost.Multiprecision float or double).
//
// The ratio equals the determinant of the divided-difference table
// f_j[a_1, ..., a_i] (row i). Forming that table from values loses digits
// as the nodes close up and breaks down when they coincide. Here sorted
// nodes are grouped into clusters whose span is small on the functions'
// scale; a cluster's rows are its own prefix divided differences, built from
// the Taylor coefficients at its centre c: with d = a - c,
//   f[a_p, ..., a_{p+i}] = sum_{r >= i} (f^(r)(c) / r!) h_{r-i}(d_p, ..., d_{p+i}),
// h_s the complete homogeneous symmetric polynomial of degree s (the divided
// differences of d^r). No division by a node gap happens inside a cluster,
// so repeated nodes need nothing special. Then
//   det[f_j(a_i)] / V(a) = det(cluster rows) / prod_{pairs in different clusters} (a_l - a_i),
// and two ratios built on the same nodes (the same rows) need neither
// product. When f_j(a) = integral of K(a, t) t^j with a totally positive
// kernel (exp(-a t), the orbital integral of alpha = 1), the rows in the
// order of decreasing a form a totally positive matrix: eliminate it
// without row interchanges (pivoting by size loses the digits the
// Vandermonde's conditioning puts at stake). Derivation:
// docs/wishart_complex_sigma.md.
#ifndef MATRIXHYPER_ALTERNANT_H
#define MATRIXHYPER_ALTERNANT_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <thread>
#include <utility>
#include <vector>

#include "thread_team.h"

namespace matrixhyper {
namespace alternant {

// A run of consecutive sorted nodes expanded about one centre.
struct cluster {
    std::size_t first = 0;   // index of its first node in the sorted nodes
    std::size_t count = 0;   // number of nodes
    double centre = 0;       // the midpoint of its span (its node when alone)
};

// Groups ascending nodes into clusters: a node joins the current cluster
// while the cluster's span, node included, stays within
// span_limit(midpoint). span_limit says how far apart nodes may be for the
// callers' Taylor series to converge quickly; equal nodes always join.
template <class SpanLimit>
std::vector<cluster> group_nodes(const std::vector<double> &sorted_nodes, SpanLimit span_limit)
{
    std::vector<cluster> clusters;
    for (std::size_t i = 0; i < sorted_nodes.size(); i++) {
        if (!clusters.empty()) {
            cluster &last = clusters.back();
            const double low = sorted_nodes[last.first], high = sorted_nodes[i];
            const double middle = low + (high - low) / 2;
            if (high - low <= span_limit(middle)) {
                last.count++;
                last.centre = middle;
                continue;
            }
        }
        clusters.push_back({i, 1, sorted_nodes[i]});
    }
    return clusters;
}

// Number of Taylor terms a cluster of `count` nodes needs when the terms
// beyond the first `count` fall by at least `decay` (< 1) each, for a
// relative truncation below 2^-bits.
inline int taylor_order(std::size_t count, double decay, int bits)
{
    constexpr int guard_terms = 4;   // slack for the bound's constants
    return (int)count + (int)std::ceil(bits * std::log(2.0) / -std::log(decay)) + guard_terms;
}

// The rows of one cluster: rows[l * columns + j] = f_j[a_first, ..., a_{first+l}]
// for l < count, from taylor[r * columns + j] = f_j^(r)(centre) / r!,
// r < order (order >= count). offsets[l] = a_{first+l} - centre, computed
// by the caller in Real (exactly, for nodes given as doubles).
template <class Real>
void cluster_rows(const std::vector<Real> &offsets, const std::vector<Real> &taylor, int order,
                  int columns, Real *rows)
{
    const int count = (int)offsets.size();
    // h[s] = h_s(d_0, ..., d_l), grown one node at a time:
    // h_s(d_0..d_l) = h_s(d_0..d_{l-1}) + d_l h_{s-1}(d_0..d_l).
    std::vector<Real> h(order, Real(0));
    h[0] = 1;
    for (int l = 0; l < count; l++) {
        if (l > 0)
            for (int s = 1; s < order; s++) h[s] += offsets[l] * h[s - 1];
        else
            for (int s = 1; s < order; s++) h[s] = offsets[0] * h[s - 1];
        for (int j = 0; j < columns; j++) {
            Real sum = 0;
            for (int r = order - 1; r >= l; r--)   // smallest terms first
                sum += taylor[(std::size_t)r * columns + j] * h[r - l];
            rows[(std::size_t)l * columns + j] = sum;
        }
    }
}

// Rows below an elimination step before more than one thread shares them:
// fewer leave a thread too little work between two meetings.
constexpr int least_rows_per_shared_step = 8;

// The row updates of elimination step k (pivot row k) for rows
// first, first + stride, ... below it.
template <class Real>
void eliminate_rows(std::vector<Real> &matrix, int size, int k, int first, int stride)
{
    const Real &diagonal = matrix[(std::size_t)k * size + k];
    for (int i = first; i < size; i += stride) {
        const Real factor = matrix[(std::size_t)i * size + k] / diagonal;
        for (int j = k + 1; j < size; j++)
            matrix[(std::size_t)i * size + j] -= factor * matrix[(std::size_t)k * size + j];
    }
}

// The determinant of a square matrix (row-major, overwritten by its LU
// factors) by elimination with partial pivoting. With threads > 1 the rows
// below each step are shared: the calling thread picks the pivot, the
// others wait for the step (spinning, as a step takes microseconds), update
// every threads-th row and report. Each row's update is the same sequence
// of operations whoever makes it, so the bits do not depend on the count;
// a thread the system refuses leaves its rows to the others.
template <class Real>
Real determinant(std::vector<Real> &matrix, int size, int threads = 1)
{
    using std::abs;
    const int shared_steps = std::max(0, size - least_rows_per_shared_step);
    threads = std::max(1, std::min(threads, size / least_rows_per_shared_step));
    std::atomic<int> ready{-1};                 // the last step whose pivot is in place
    std::atomic<int> reports{0};                // row shares done, all steps
    thread_team workers;
    const int sharing = workers.start(threads, [&](int t) {
        for (int k = 0; k < shared_steps; k++) {
            while (ready.load(std::memory_order_acquire) < k) std::this_thread::yield();
            if (ready.load(std::memory_order_acquire) >= size) return;   // ended early
            eliminate_rows(matrix, size, k, k + 1 + t, threads);
            reports.fetch_add(1, std::memory_order_release);
        }
    });
    // Row i of a step belongs to the thread (i - k - 1) mod threads; rows of
    // threads never started fall to the calling thread.
    Real det = 1;
    for (int k = 0; k < size; k++) {
        int pivot = k;
        for (int i = k + 1; i < size; i++)
            if (abs(matrix[(std::size_t)i * size + k]) > abs(matrix[(std::size_t)pivot * size + k]))
                pivot = i;
        if (pivot != k) {
            for (int j = 0; j < size; j++)
                std::swap(matrix[(std::size_t)k * size + j], matrix[(std::size_t)pivot * size + j]);
            det = -det;
        }
        const Real diagonal = matrix[(std::size_t)k * size + k];
        det *= diagonal;
        if (diagonal == 0) break;
        if (sharing == 1 || k >= shared_steps) {
            eliminate_rows(matrix, size, k, k + 1, 1);
            continue;
        }
        ready.store(k, std::memory_order_release);
        eliminate_rows(matrix, size, k, k + 1, threads);
        for (int t = sharing; t < threads; t++) eliminate_rows(matrix, size, k, k + 1 + t, threads);
        while (reports.load(std::memory_order_acquire) < (k + 1) * (sharing - 1)) std::this_thread::yield();
    }
    ready.store(size, std::memory_order_release);   // releases workers still waiting
    workers.join();
    return det;
}

// sum over pairs of nodes in different clusters of log|a_l - a_i|: the part
// of log|V(a)| the cluster rows leave out (for a single ratio of alternants).
inline double log_cross_cluster_gaps(const std::vector<double> &sorted_nodes,
                                     const std::vector<cluster> &clusters)
{
    double sum = 0;
    for (std::size_t p = 0; p < clusters.size(); p++)
        for (std::size_t q = p + 1; q < clusters.size(); q++)
            for (std::size_t i = 0; i < clusters[p].count; i++)
                for (std::size_t l = 0; l < clusters[q].count; l++)
                    sum += std::log(sorted_nodes[clusters[q].first + l] -
                                    sorted_nodes[clusters[p].first + i]);
    return sum;
}

} // namespace alternant
} // namespace matrixhyper

#endif // MATRIXHYPER_ALTERNANT_H
