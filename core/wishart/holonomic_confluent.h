// holonomic_confluent.h: the Pfaffian system of the zonal 1F1(a; c; -t S)
// where S has equal eigenvalues (docs/wishart_holonomic_confluent.md).
//
// Clusters of equal eigenvalues s_A, m_A of each. At a point of the ray,
// in the coordinates y_i = y_A e^(x_i) (i in cluster A, y_A = -t s_A), F is
// symmetric within each cluster and theta_i = d/dx_i. Muirhead's equation
// for i in A reads
//   d_i^2 F - a y_i F - (b + y_i) d_i F
//     + 1/2 sum_{j in A, j != i} Bn(x_i - x_j) Delta_ij d_i F
//     + 1/2 sum_{l not in A} W(x_l - x_i) (d_i - d_l) F = 0,
// Bn(u) = u / (1 - e^-u), Delta_ij the divided difference in (x_i, x_j),
// W(u) = 1 / (1 - (s_l / s_i) e^u): every term analytic at x = 0. Its Taylor
// coefficients are linear equations among F's, one unknown per orbit of
// multi-indices under each cluster's permutations. Solved degree by degree,
// cluster by cluster, every coefficient up to degree m + 1 is a polynomial
// in t times the entries G_p = prod_A e_{p_A}(theta_i, i in A) F, and
// t dG_p/dt = sum_i theta_i G_p is then row p of B(t) = sum_d t^d B_d.
#ifndef MATRIXHYPER_HOLONOMIC_CONFLUENT_H
#define MATRIXHYPER_HOLONOMIC_CONFLUENT_H

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <cstddef>
#include <functional>
#include <map>
#include <vector>

#include <boost/math/special_functions/binomial.hpp>

#include "interrupt_countdown.h"

namespace matrixhyper {

// The system needs F's coefficients up to degree m + 1; a readout takes
// them on to the degree D its reach r = |x| max(t s) asks for (the parts
// of degree e go like (|x| t s)^e / e!, x the offsets about the centre,
// their sum 0), the first at which r^(D + 1) / (D + 1)! falls below
// readout_truncation_aim, up to the limits' most_degree and while the
// values the builder holds (orbits x entries x t's degree) stay within
// their value_budget. At m = 2 a pair 0.09% apart in the far upper tail
// (Q = 1e-13, r some 0.02) left 3e-9 of Q at degree 3, far below 1e-15 at
// 8. Wide clusters far out need the most: AR(1) 0.012 to 0.1 at m = 8 and
// 10 (one cluster 5% to 40% wide), the upper tail's NaN among 16 points
// fell from 6, 9, 5, 8, 11 and 13 at degree 11 to 2, 6, 2, 6, 8 and 10 at
// 14. The builder's time goes with those values: one cluster of ten up to
// degree 14 (some 500 orbits) takes 0.2 s; a cap of 2000 orbits let two
// clusters at m = 4 build to 14, 1 s a call; at 1e5 values a bulk point at
// m = 4 to 6 takes 10 to 40 ms.
constexpr double readout_truncation_aim = 1e-14;
struct readout_limits {
    int most_degree;       // of F's coefficients
    double value_budget;   // values the builder may hold
};
constexpr readout_limits usual_readout{14, 1e5};
// The points a readout leaves over tol (its truncation) take it again to
// this degree and this many values. One cluster of ten at degree 17 (some
// 1200 orbits, 2.5e5 values) takes 1.6 s to build: AR(1) 0.03 at m = 10,
// n = 12 then met 1e-10 from Q = 3.8e-11 down to 1e-18, where degree 14
// left 1.3e-10 to 7e-8 of Q. Degree 20 took 19 s; degree 17 for every
// readout from the start slowed bulk calls eight times (0.45 s to 3.7 s
// for a 100-point curve at rho = 0.003) and, spending the budget, left
// more points over tol at rho = 0.06.
constexpr readout_limits deep_readout{17, 3e5};

namespace confluent_detail {

// A pivot of a top matrix below this share of its largest entry is a zero:
// the entries are small rationals (Bernoulli numbers times binomials and
// factorials of the parts), so a true pivot is nowhere near it, and the
// wide type's rounding of a true zero is far below it.
constexpr double top_rank_tolerance = 1e-9;

inline double binomial(int n, int k)
{
    return boost::math::binomial_coefficient<double>((unsigned)n, (unsigned)k);
}

// Partitions of e into at most `parts` parts, as descending rows of `parts`
// entries, the largest first part first.
inline void partitions(int e, int parts, int most, std::vector<int> &prefix, std::vector<std::vector<int>> &out)
{
    if (e == 0) {
        std::vector<int> whole = prefix;
        whole.resize(prefix.size() + parts, 0);
        out.push_back(whole);
        return;
    }
    if (parts == 0) return;
    for (int first = std::min(e, most); first > 0; --first) {
        prefix.push_back(first);
        partitions(e - first, parts - 1, first, prefix, out);
        prefix.pop_back();
    }
}

inline std::vector<std::vector<int>> partitions(int e, int parts)
{
    std::vector<std::vector<int>> out;
    std::vector<int> prefix;
    if (e >= 0) partitions(e, parts, e, prefix, out);
    return out;
}

// 1 / sum_k c_k u^k to the order of c.
template <class Real> std::vector<Real> series_inverse(const std::vector<Real> &c)
{
    std::vector<Real> out(c.size(), Real(0));
    out[0] = Real(1) / c[0];
    for (std::size_t k = 1; k < c.size(); k++) {
        Real sum = 0;
        for (std::size_t j = 1; j <= k; j++) sum += c[j] * out[k - j];
        out[k] = -sum / c[0];
    }
    return out;
}

template <class Real> Real magnitude(const Real &v) { return v < 0 ? -v : v; }

// A multi-index: one part per cluster, each as long as its cluster.
using jet_index = std::vector<std::vector<int>>;

// The orbit of a multi-index: each cluster's part in descending order,
// the parts one after another.
inline std::vector<int> orbit_key(const jet_index &parts)
{
    std::vector<int> key;
    for (const std::vector<int> &part : parts) {
        std::vector<int> sorted = part;
        std::sort(sorted.begin(), sorted.end(), [](int p, int q) { return p > q; });
        key.insert(key.end(), sorted.begin(), sorted.end());
    }
    return key;
}

inline int total_degree(const std::vector<int> &key)
{
    int sum = 0;
    for (int v : key) sum += v;
    return sum;
}

template <class Real> struct equation_term {
    Real constant = 0, linear = 0;   // its coefficient c0 + c1 t
};

// The reduction of one cluster's top-degree equations (rows: the equations
// at partitions of e - 2 and a position; columns: partitions of e):
// Gauss-Jordan with the row operations kept. The square-free column, last,
// is the one left free (e <= the cluster's size).
template <class Real> struct top_solver {
    std::vector<std::vector<int>> columns;
    std::vector<std::pair<std::vector<int>, int>> equations;   // (beta_A, position)
    bool square_free = false;
    std::vector<int> pivots;                                  // pivot column of each reduced row
    std::vector<std::vector<Real>> row_operations;            // reduced row k = sum_r op[k][r] row r
    std::vector<Real> free_coefficient;                       // reduced row k's entry in the free column
    bool ok = false;
};

// Orbits solved between interrupt polls: a block's solve takes some 0.1 ms
// (four spikes at m = 10: 1 s for some 12,000 orbits).
constexpr int orbits_per_poll = 16;


template <class Real> class confluent_builder {
  public:
    // reach: with a readout of that reach, take the coefficients to its
    // degree (readout_truncation_aim); 0: none.
    confluent_builder(const std::vector<Real> &s, const std::vector<int> &sizes, Real a, Real c,
                      const std::vector<int> &counts, const interrupt_check *interrupt, double reach,
                      readout_limits limits = usual_readout)
        : sizes_(sizes), s_(s), a_(a), clusters_((int)sizes.size()), counts_(counts), interrupt_(interrupt)
    {
        for (int size : sizes) m_ += size;
        b_ = Real(1) - (c - Real(m_ - 1) / 2);
        entries_ = counts.size() / sizes.size();
        top_degree_ = m_ + 1;
        if (reach > 0) {
            double orbits = 0;
            for (int d = 0; d <= top_degree_; d++) orbits += double(orbits_of_degree(d).size());
            const auto left = [reach](int D) { return std::exp((D + 1) * std::log(reach) - std::lgamma(D + 2.0)); };
            while (top_degree_ < limits.most_degree && left(top_degree_) > readout_truncation_aim) {
                top_degree_++;   // orbits_of_degree keeps each cluster's degree within it
                orbits += double(orbits_of_degree(top_degree_).size());
                if (orbits * double(entries_) * (top_degree_ + 2) > limits.value_budget) {
                    top_degree_--;
                    break;
                }
            }
        }
        room_ = top_degree_ + 1;   // each degree's solve may raise t's by one
        std::vector<Real> shape(top_degree_ + 1);
        Real factorial = 1;
        for (int k = 0; k <= top_degree_; k++) {
            if (k > 0) factorial *= Real(k);
            inverse_factorial_.push_back(Real(1) / factorial);
        }
        for (int k = 0; k <= top_degree_; k++)   // (1 - e^-u) / u = sum (-1)^k u^k / (k + 1)!
            shape[k] = (k % 2 ? Real(-1) : Real(1)) * inverse_factorial_[k] / Real(k + 1);
        bernoulli_ = series_inverse(shape);
        w_.assign(clusters_ * clusters_, {});
        for (int A = 0; A < clusters_; A++)
            for (int B = 0; B < clusters_; B++) {
                if (A == B) continue;
                const Real rho = s_[B] / s_[A];
                std::vector<Real> denominator(top_degree_ + 1);   // 1 - rho e^u
                denominator[0] = Real(1) - rho;
                for (int k = 1; k <= top_degree_; k++) denominator[k] = -rho * inverse_factorial_[k];
                w_[A * clusters_ + B] = series_inverse(denominator);
            }
    }

    bool interrupted() const { return interrupted_; }
    int top_degree() const { return top_degree_; }

    // Bytes the build's values take at its end: a polynomial in t of the
    // entries per orbit up to the top degree.
    double value_bytes() const
    {
        double orbits = double(entries_);
        for (int d = 0; d <= top_degree_; d++) orbits += double(orbits_of_degree(d).size());
        return orbits * (room_ + 1) * double(entries_) * sizeof(Real);
    }

    // B_d, row-major, d = 0 .. the degree; false where a reduction failed
    // or the caller asked to stop (interrupted()).
    bool matrices(std::vector<std::vector<Real>> &B)
    {
        if (!build()) return false;
        const std::size_t R = entries_;
        std::vector<std::vector<Real>> rows(R);
        for (std::size_t p = 0; p < R; p++) {
            std::vector<Real> row = zero();
            const double terms = entry_terms(p);
            for (int A = 0; A < clusters_; A++) {
                const int count = counts_[p * clusters_ + A];
                jet_index base = square_free_parts(p);
                if (count < sizes_[A]) {   // (count + 1) e_{count+1}
                    base[A] = square_free(A, count + 1);
                    add(row, Real(terms * (sizes_[A] - count)), Real(0), value_of(orbit_key(base)));
                }
                if (count > 0) {           // sum_i theta_i^2 e_{count-1}(the others)
                    base[A] = square_free(A, count);   // (2, 1^(count - 1))
                    base[A][0] = 2;
                    add(row, Real(terms * 2 * count), Real(0), value_of(orbit_key(base)));
                }
            }
            rows[p] = row;
        }
        int degree = 0;
        for (const std::vector<Real> &row : rows)
            for (int d = 0; d <= room_; d++)
                for (std::size_t q = 0; q < R; q++)
                    if (row[d * R + q] != 0) degree = std::max(degree, d);
        B.assign(degree + 1, std::vector<Real>(R * R, Real(0)));
        for (int d = 0; d <= degree; d++)
            for (std::size_t p = 0; p < R; p++)
                for (std::size_t q = 0; q < R; q++) B[d][p * R + q] = rows[p][d * R + q];
        return !missing_;
    }

    // The readout of F at the eigenvalues s_A e^(x_i), offsets[A] holding
    // cluster A's x_i: F = sum over multi-indices alpha of f_alpha x^alpha,
    // and f_alpha is its orbit's value, so F = J . G with J = sum over orbits
    // of m_orbit(x) times the orbit's value, m_orbit the product of each
    // cluster's monomial symmetric polynomial. J[e] holds the orbits of
    // total degree e (e = 0 .. the top degree, its last ones the
    // truncation's measure), each (room + 1) rows of R, the polynomial in t.
    // Call after matrices().
    std::vector<std::vector<Real>> readout(const std::vector<std::vector<Real>> &offsets) const
    {
        std::vector<std::map<std::vector<int>, Real>> monomials;
        for (int A = 0; A < clusters_; A++) monomials.push_back(monomial_symmetric(offsets[A]));
        std::vector<std::vector<Real>> J(top_degree_ + 1, zero());
        for (const auto &orbit : value_) {
            Real weight = 1;
            std::size_t first = 0;
            for (int A = 0; A < clusters_ && weight != 0; A++) {
                std::vector<int> part(orbit.first.begin() + first, orbit.first.begin() + first + sizes_[A]);
                first += sizes_[A];
                part.erase(std::remove(part.begin(), part.end(), 0), part.end());
                const auto found = monomials[A].find(part);
                weight *= found == monomials[A].end() ? Real(0) : found->second;
            }
            if (weight != 0) add(J[total_degree(orbit.first)], weight, Real(0), orbit.second);
        }
        return J;
    }

  private:
    // m_lambda(x) for every partition lambda (its nonzero parts, descending)
    // of degree up to the top one with at most x's size parts: each variable
    // in turn takes no part or one part k, x^k its factor, so each monomial
    // x^alpha is met once.
    std::map<std::vector<int>, Real> monomial_symmetric(const std::vector<Real> &x) const
    {
        std::map<std::vector<int>, Real> table{{std::vector<int>{}, Real(1)}};
        for (const Real &value : x) {
            std::map<std::vector<int>, Real> next = table;
            for (const auto &entry : table) {
                Real power = 1;
                for (int k = 1; total_degree(entry.first) + k <= top_degree_; k++) {
                    power *= value;
                    std::vector<int> parts = entry.first;
                    parts.insert(std::upper_bound(parts.begin(), parts.end(), k, std::greater<int>()), k);
                    next[parts] += entry.second * power;
                }
            }
            table = std::move(next);
        }
        return table;
    }

    std::vector<int> sizes_;
    std::vector<Real> s_;
    Real a_, b_ = 0;
    int clusters_, m_ = 0, top_degree_ = 0, room_ = 0;
    std::vector<int> counts_;
    std::size_t entries_ = 0;
    std::vector<Real> inverse_factorial_, bernoulli_;
    std::vector<std::vector<Real>> w_;
    std::map<std::vector<int>, std::vector<Real>> value_;   // orbit -> polynomial in t of forms in G
    std::map<std::pair<int, int>, top_solver<Real>> solvers_;
    mutable bool missing_ = false;   // a value needed before it was solved, or t's degree beyond the room
    const interrupt_check *interrupt_;
    bool interrupted_ = false;
    const std::vector<Real> empty_;

    std::vector<Real> zero() const { return std::vector<Real>((room_ + 1) * entries_, Real(0)); }

    double entry_terms(std::size_t p) const
    {
        double terms = 1;
        for (int A = 0; A < clusters_; A++) terms *= binomial(sizes_[A], counts_[p * clusters_ + A]);
        return terms;
    }

    std::vector<int> square_free(int A, int count) const
    {
        std::vector<int> part(sizes_[A], 0);
        std::fill(part.begin(), part.begin() + count, 1);
        return part;
    }

    jet_index square_free_parts(std::size_t p) const
    {
        jet_index parts(clusters_);
        for (int A = 0; A < clusters_; A++) parts[A] = square_free(A, counts_[p * clusters_ + A]);
        return parts;
    }

    const std::vector<Real> &value_of(const std::vector<int> &key)
    {
        const auto found = value_.find(key);
        if (found != value_.end()) return found->second;
        missing_ = true;
        return empty_;
    }

    // acc += (c0 + c1 t) v.
    void add(std::vector<Real> &acc, const Real &c0, const Real &c1, const std::vector<Real> &v) const
    {
        if (v.empty()) return;
        const std::size_t R = entries_;
        for (int d = 0; d <= room_; d++)
            for (std::size_t q = 0; q < R; q++) {
                const Real term = v[d * R + q];
                if (term == 0) continue;
                if (c0 != 0) acc[d * R + q] += c0 * term;
                if (c1 != 0) {
                    if (d == room_) {
                        missing_ = true;   // beyond the room for t's degree
                        continue;
                    }
                    acc[(d + 1) * R + q] += c1 * term;
                }
            }
    }

    using equation_terms = std::map<std::vector<int>, equation_term<Real>>;

    static void put(equation_terms &out, const jet_index &parts, const Real &c0, const Real &c1)
    {
        equation_term<Real> &term = out[orbit_key(parts)];
        term.constant += c0;
        term.linear += c1;
    }

    // `from` with changes (cluster, position, change); false where a part
    // turns negative.
    static bool shifted(const jet_index &from, std::initializer_list<std::array<int, 3>> changes, jet_index &to)
    {
        to = from;
        for (const std::array<int, 3> &change : changes) {
            to[change[0]][change[1]] += change[2];
            if (to[change[0]][change[1]] < 0) return false;
        }
        return true;
    }

    // Positions of a cluster other than `skip`, grouped by their part: part
    // -> (how many, one of them).
    static std::map<int, std::pair<int, int>> grouped(const std::vector<int> &part, int skip)
    {
        std::map<int, std::pair<int, int>> groups;
        for (int j = 0; j < (int)part.size(); j++)
            if (j != skip) groups.emplace(part[j], std::make_pair(0, j)).first->second.first++;
        return groups;
    }

    // [x^beta] of Muirhead's equation for position i of cluster A.
    equation_terms equation(const jet_index &beta, int A, int i) const
    {
        equation_terms out;
        add_own_terms(out, beta, A, i);
        add_cluster_terms(out, beta, A, i);
        for (int B = 0; B < clusters_; B++)
            if (B != A) add_other_cluster_terms(out, beta, A, i, B);
        return out;
    }

    // d_i^2 F - a y_i F - (b + y_i) d_i F, y_i = -t s_A e^(x_i).
    void add_own_terms(equation_terms &out, const jet_index &beta, int A, int i) const
    {
        const Real sA = s_[A];
        const int bi = beta[A][i];
        jet_index g;
        shifted(beta, {{A, i, 2}}, g);
        put(out, g, Real((bi + 2) * (bi + 1)), Real(0));
        for (int k = 0; k <= bi; k++) {
            shifted(beta, {{A, i, -k}}, g);
            put(out, g, Real(0), a_ * sA * inverse_factorial_[k]);
        }
        shifted(beta, {{A, i, 1}}, g);
        put(out, g, -b_ * Real(bi + 1), Real(0));
        for (int k = 0; k <= bi; k++) {
            shifted(beta, {{A, i, 1 - k}}, g);
            put(out, g, Real(0), sA * Real(bi - k + 1) * inverse_factorial_[k]);
        }
    }

    // 1/2 sum_{j in A, j != i} Bn(x_i - x_j) Delta_ij d_i F.
    void add_cluster_terms(equation_terms &out, const jet_index &beta, int A, int i) const
    {
        jet_index g;
        for (const auto &group : grouped(beta[A], i)) {
            const int j = group.second.second;
            for (int n = 0; n <= top_degree_; n++) {
                if (bernoulli_[n] == 0) continue;
                for (int p = 0; p <= n; p++) {
                    if (!shifted(beta, {{A, i, -(n - p)}, {A, j, -p}}, g)) continue;
                    const Real co = Real(group.second.first) / 2 * bernoulli_[n] * Real(binomial(n, p)) *
                                    Real(p % 2 ? -1 : 1);
                    const int u = g[A][i], v = g[A][j], low = std::min(u, v);
                    for (int q = 0; q <= low; q++) {
                        jet_index d = g;
                        d[A][i] = u + v + 1 - q + 1;
                        d[A][j] = q;
                        put(out, d, co * Real(u + v + 1 - q + 1), Real(0));
                    }
                    for (int q = 0; q <= low; q++) {
                        jet_index d = g;
                        d[A][i] = q + 1;
                        d[A][j] = u + v + 1 - q;
                        put(out, d, -co * Real(q + 1), Real(0));
                    }
                }
            }
        }
    }

    // 1/2 sum_{l in B} W(x_l - x_i) (d_i - d_l) F.
    void add_other_cluster_terms(equation_terms &out, const jet_index &beta, int A, int i, int B) const
    {
        const std::vector<Real> &w = w_[A * clusters_ + B];
        jet_index g;
        for (const auto &group : grouped(beta[B], -1)) {
            const int l = group.second.second;
            for (int n = 0; n <= top_degree_; n++)
                for (int p = 0; p <= n; p++) {
                    if (!shifted(beta, {{A, i, -(n - p)}, {B, l, -p}}, g)) continue;
                    const Real co = Real(group.second.first) / 2 * w[n] * Real(n % 2 ? -1 : 1) *
                                    Real(binomial(n, p)) * Real(p % 2 ? -1 : 1);
                    jet_index d = g;
                    d[A][i] += 1;
                    put(out, d, co * Real(g[A][i] + 1), Real(0));
                    d = g;
                    d[B][l] += 1;
                    put(out, d, -co * Real(g[B][l] + 1), Real(0));
                }
        }
    }

    // The top matrix of cluster A at degree e, its equations and columns,
    // reduced (top_solver).
    const top_solver<Real> &solver(int A, int e)
    {
        const auto found = solvers_.find({A, e});
        if (found != solvers_.end()) return found->second;
        top_solver<Real> &solver = solvers_[{A, e}];
        const int k = sizes_[A];
        solver.columns = partitions(e, k);
        solver.square_free = e <= k;
        if (solver.square_free) {   // the free column last
            const std::vector<int> last = square_free(A, e);
            solver.columns.erase(std::remove(solver.columns.begin(), solver.columns.end(), last),
                                 solver.columns.end());
            solver.columns.push_back(last);
        }
        if (e >= 2)
            for (const std::vector<int> &bA : partitions(e - 2, k))
                for (int i = 0; i < k; i++)
                    if (i == 0 || bA[i] != bA[i - 1]) solver.equations.push_back({bA, i});
        std::vector<std::vector<Real>> M = top_matrix(solver, A, e);
        reduce(solver, M);
        return solver;
    }

    // The equations' top parts (the other clusters at zero: the top part
    // does not see them), each row followed by its row of the identity.
    std::vector<std::vector<Real>> top_matrix(const top_solver<Real> &solver, int A, int e) const
    {
        std::map<std::vector<int>, int> column_of;
        for (std::size_t q = 0; q < solver.columns.size(); q++) column_of[solver.columns[q]] = (int)q;
        const std::size_t rows = solver.equations.size(), cols = solver.columns.size();
        std::vector<std::vector<Real>> M(rows, std::vector<Real>(cols + rows, Real(0)));
        for (std::size_t r = 0; r < rows; r++) {
            jet_index beta(clusters_);
            for (int B = 0; B < clusters_; B++) beta[B].assign(sizes_[B], 0);
            beta[A] = solver.equations[r].first;
            for (const auto &term : equation(beta, A, solver.equations[r].second)) {
                if (total_degree(term.first) != e) continue;
                const auto first = term.first.begin() + offset(A);
                M[r][column_of.at(std::vector<int>(first, first + sizes_[A]))] += term.second.constant;
            }
            M[r][cols + r] = 1;
        }
        return M;
    }

    // Gauss-Jordan on [M | I] with partial pivoting; ok where exactly the
    // square-free column is left free (none beyond the cluster's size).
    static void reduce(top_solver<Real> &solver, std::vector<std::vector<Real>> &M)
    {
        const std::size_t rows = M.size(), cols = solver.columns.size();
        Real scale = 0;
        for (const auto &row : M)
            for (std::size_t q = 0; q < cols; q++) scale = std::max(scale, magnitude(row[q]));
        const Real negligible = scale * Real(top_rank_tolerance);
        std::size_t rank = 0;
        for (std::size_t q = 0; q < cols && rank < rows; q++) {
            std::size_t best = rank;
            for (std::size_t r = rank + 1; r < rows; r++)
                if (magnitude(M[r][q]) > magnitude(M[best][q])) best = r;
            if (!(magnitude(M[best][q]) > negligible)) continue;
            std::swap(M[rank], M[best]);
            const Real pivot = M[rank][q];
            for (Real &v : M[rank]) v /= pivot;
            for (std::size_t r = 0; r < rows; r++) {
                if (r == rank || M[r][q] == 0) continue;
                const Real factor = M[r][q];
                for (std::size_t c = 0; c < cols + rows; c++) M[r][c] -= factor * M[rank][c];
            }
            solver.pivots.push_back((int)q);
            rank++;
        }
        solver.ok = rank == (solver.square_free ? cols - 1 : cols);
        for (std::size_t q = 0; q < rank && solver.ok; q++) solver.ok = solver.pivots[q] == (int)q;
        for (std::size_t r = 0; r < rank; r++) {
            solver.row_operations.emplace_back(M[r].begin() + cols, M[r].end());
            solver.free_coefficient.push_back(solver.square_free ? M[r][cols - 1] : Real(0));
        }
    }

    int offset(int A) const
    {
        int sum = 0;
        for (int B = 0; B < A; B++) sum += sizes_[B];
        return sum;
    }

    bool solve_block(const jet_index &parts, int A)
    {
        int e = 0, rest = 0;
        for (int B = 0; B < clusters_; B++)
            for (int v : parts[B]) (B == A ? e : rest) += v;
        const top_solver<Real> &top = solver(A, e);
        if (!top.ok) return false;
        std::vector<std::vector<Real>> rhs;
        for (const auto &eq : top.equations) {
            jet_index beta = parts;
            beta[A] = eq.first;
            std::vector<Real> acc = zero();
            for (const auto &term : equation(beta, A, eq.second)) {
                if (total_degree(term.first) == e + rest) continue;   // the top part: the solver's
                add(acc, -term.second.constant, -term.second.linear, value_of(term.first));
            }
            rhs.push_back(acc);
        }
        std::vector<Real> free;
        if (top.square_free) {
            jet_index with_free = parts;
            with_free[A] = top.columns.back();
            free = value_of(orbit_key(with_free));
        }
        for (std::size_t k = 0; k < top.pivots.size(); k++) {
            std::vector<Real> acc = zero();
            for (std::size_t r = 0; r < rhs.size(); r++)
                if (top.row_operations[k][r] != 0) add(acc, top.row_operations[k][r], Real(0), rhs[r]);
            if (top.square_free && top.free_coefficient[k] != 0) add(acc, -top.free_coefficient[k], Real(0), free);
            jet_index solved = parts;
            solved[A] = top.columns[top.pivots[k]];
            value_[orbit_key(solved)] = acc;
        }
        return true;
    }

    // Degrees e_A per cluster summing to d, each at most top_degree_.
    void splits(int A, int left, std::vector<int> &degrees, std::vector<std::vector<int>> &out) const
    {
        if (A == clusters_) {
            if (left == 0) out.push_back(degrees);
            return;
        }
        for (int e = 0; e <= std::min(left, top_degree_); e++) {
            degrees.push_back(e);
            splits(A + 1, left - e, degrees, out);
            degrees.pop_back();
        }
    }

    // An orbit to solve: how many clusters have a part beyond square-free,
    // its parts, and the first such cluster.
    struct pending_orbit {
        int beyond;
        jet_index parts;
        int first;
    };

    // The orbits of total degree d with a part beyond square-free, fewest
    // such clusters first.
    std::vector<pending_orbit> orbits_of_degree(int d) const
    {
        std::vector<std::vector<int>> degree_splits;
        std::vector<int> degrees;
        splits(0, d, degrees, degree_splits);
        std::vector<pending_orbit> orbits;
        for (const std::vector<int> &split : degree_splits) {
            std::vector<std::vector<std::vector<int>>> choices(clusters_);
            bool empty = false;
            for (int A = 0; A < clusters_; A++) {
                choices[A] = partitions(split[A], sizes_[A]);
                empty = empty || choices[A].empty();
            }
            std::vector<std::size_t> at(clusters_, 0);
            while (!empty) {
                pending_orbit orbit{0, jet_index(clusters_), -1};
                for (int A = 0; A < clusters_; A++) {
                    orbit.parts[A] = choices[A][at[A]];
                    if (orbit.parts[A][0] > 1 && orbit.beyond++ == 0) orbit.first = A;
                }
                if (orbit.beyond) orbits.push_back(orbit);
                int A = clusters_ - 1;   // the last cluster fastest
                while (A >= 0 && ++at[A] == choices[A].size()) at[A--] = 0;
                if (A < 0) break;
            }
        }
        std::stable_sort(orbits.begin(), orbits.end(),
                         [](const pending_orbit &p, const pending_orbit &q) { return p.beyond < q.beyond; });
        return orbits;
    }

    bool build()
    {
        // The square-free orbits are G_p over its number of terms.
        for (std::size_t p = 0; p < entries_; p++) {
            std::vector<Real> v = zero();
            v[p] = Real(1) / Real(entry_terms(p));
            value_[orbit_key(square_free_parts(p))] = v;
        }
        interrupt_countdown countdown(interrupt_, orbits_per_poll);
        for (int d = 0; d <= top_degree_; d++)
            for (const pending_orbit &orbit : orbits_of_degree(d)) {
                if (countdown.step()) {
                    interrupted_ = true;
                    return false;
                }
                if (value_.count(orbit_key(orbit.parts))) continue;
                if (!solve_block(orbit.parts, orbit.first)) return false;
            }
        return !missing_;
    }
};

}  // namespace confluent_detail

// Bytes the build of confluent_matrices holds at its end, its values
// (with a readout of that reach; 0: none).
template <class Real>
double confluent_build_bytes(const std::vector<Real> &s, const std::vector<int> &multiplicity, Real a, Real c,
                             const std::vector<int> &counts, double reach, readout_limits limits = usual_readout)
{
    return confluent_detail::confluent_builder<Real>(s, multiplicity, a, c, counts, nullptr, reach, limits)
        .value_bytes();
}

// The degree a readout of that reach takes F's coefficients to (the
// builder's rule): builds of the same degree read the same.
template <class Real>
int confluent_readout_degree(const std::vector<Real> &s, const std::vector<int> &multiplicity, Real a, Real c,
                             const std::vector<int> &counts, double reach, readout_limits limits = usual_readout)
{
    return confluent_detail::confluent_builder<Real>(s, multiplicity, a, c, counts, nullptr, reach, limits)
        .top_degree();
}

// B_d of t G' = sum_d t^d B_d G for S's distinct eigenvalues s (clusters of
// `multiplicity` each) and the entries' counts (counts[p * clusters + A]).
// False where a reduction failed, or where `interrupt` asked to stop
// (*interrupted then set).
// With offsets (offsets[A]: cluster A's log(s_i / s_A)), *readout receives
// the readout of F there (confluent_builder::readout), to the degree that
// reach, |x| max(t s) over the call's targets, asks for.
template <class Real>
bool confluent_matrices(const std::vector<Real> &s, const std::vector<int> &multiplicity, Real a, Real c,
                        const std::vector<int> &counts, std::vector<std::vector<Real>> &B,
                        const interrupt_check *interrupt, bool *interrupted,
                        const std::vector<std::vector<Real>> *offsets = nullptr,
                        std::vector<std::vector<Real>> *readout = nullptr, double reach = 0,
                        readout_limits limits = usual_readout)
{
    confluent_detail::confluent_builder<Real> builder(s, multiplicity, a, c, counts, interrupt,
                                                      offsets ? reach : 0, limits);
    const bool built = builder.matrices(B);
    *interrupted = builder.interrupted();
    if (built && offsets) *readout = builder.readout(*offsets);
    return built;
}

}  // namespace matrixhyper

#endif
