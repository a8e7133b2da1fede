// wishart_eig.cpp: exact CDF of the extreme eigenvalues of white Wishart
// matrices. Derivation and precision analysis: docs/wishart_extreme_eigenvalues.md.
//
// Every probability is P_D = P(all eigenvalues in D), D = [0,X] or [X,inf),
// in the variable t (complex: t = lambda; real: t = lambda/2). Two routes:
//   inner      P_D itself, as products of recurrence coefficients of the
//              orthogonal polynomials of the weight restricted to D (complex),
//              or as a Pfaffian in the basis orthonormal on D (real);
//   complement 1 - P_D = 1 - det(I - C) (complex) or 1 - Pf(J - K) (real),
//              C, K small matrices over the complement of D in the basis
//              orthonormal on the full range; eliminated tracking pivot - 1.
// The inner route serves P_D <= 1/2, the complement route the rest, so the
// computed tail is always the smaller one or a value >= 1/2.
#include "matrixhyper/wishart_eig.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

namespace matrixhyper {
namespace {

using ld = long double;
constexpr int G = 24;  // Gauss-Legendre points per panel

struct interrupted_error {};

// Gauss-Legendre rule on [-1,1] and its integration matrix
// Q[k][l] = int_{-1}^{x_k} l_l(s) ds (l_l the Lagrange basis on the nodes).
struct gl_rule {
    ld x[G], w[G];
    double Q[G][G];
    gl_rule() {
        for (int i = 0; i < G; ++i) {
            ld z = std::cos(3.14159265358979323846L * (i + 0.75L) / (G + 0.5L)), dp = 0;
            for (int it = 0; it < 100; ++it) {
                ld p0 = 1, p1 = z;
                for (int k = 2; k <= G; ++k) {
                    ld p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
                    p0 = p1;
                    p1 = p2;
                }
                dp = G * (z * p1 - p0) / (z * z - 1);
                ld dz = p1 / dp;
                z -= dz;
                if (std::fabs(dz) < 1e-19L) break;
            }
            x[G - 1 - i] = z;
            w[G - 1 - i] = 2 / ((1 - z * z) * dp * dp);
        }
        for (int k = 0; k < G; ++k)
            for (int l = 0; l < G; ++l) {
                ld s = 0, half = (x[k] + 1.0L) / 2;
                for (int r = 0; r < G; ++r) {
                    ld t = -1 + half * (x[r] + 1.0L), lag = 1;
                    for (int j = 0; j < G; ++j)
                        if (j != l) lag *= (t - x[j]) / (x[l] - x[j]);
                    s += half * w[r] * lag;
                }
                Q[k][l] = (double)s;
            }
    }
};

const gl_rule &gl() {
    static const gl_rule r;
    return r;
}

// A weight t^c1 e^{-c2 t} on t >= 0.
struct dens {
    ld c1, c2;
    ld log_at(ld t) const {
        if (t == 0) return c1 == 0 ? 0 : (c1 > 0 ? -INFINITY : INFINITY);
        return c1 * std::log(t) - c2 * t;
    }
};

// Composite Gauss-Legendre rule in u = sqrt(t) (t = u^2, dt = 2u du), equal
// panels. Panels where the envelope t^{c1+deg} e^{-c2 t} (or t^c1 e^{-c2 t}
// for t < 1) lies below e^{-cut} times its maximum over the domain are
// dropped.
struct rule {
    std::vector<ld> u;          // nodes (in u; long double: see the doc)
    std::vector<double> wu;     // weights (in u)
    ld half = 0;                // half panel width
    int npan = 0;
};

rule make_rule(ld tlo, ld thi, const dens &d, int deg, int m, ld pscale) {
    // [A,B]: where the weight is within e^-40 of its maximum on the domain.
    // Outside it, orthonormal polynomials of degree k grow at most like the
    // Bernstein-Walsh factor rho(t)^k of [A,B]; the rule covers the t where
    // weight * rho^deg exceeds e^-cut times the weight's maximum.
    const ld cut = 120, core = 40;
    // The weight as a density in u = sqrt(t) (bounded at 0 since c1 >= -1/2).
    const dens du{d.c1 + 0.5L, d.c2};
    auto lw = [&](ld t) { return du.log_at(t); };
    ld tp0 = std::min(std::max(du.c1 / du.c2, tlo), thi);
    ld wmax = lw(tp0);
    if (!std::isfinite(wmax)) wmax = lw(tp0 > 0 ? tp0 : std::min(thi, (ld)1e-300));
    auto bisect = [&](ld lo, ld hi, auto inside) {  // inside(lo) false, inside(hi) true or reverse
        bool lo_in = inside(lo);
        for (int i = 0; i < 200 && hi - lo > 1e-13L * std::fabs(hi); ++i) {
            ld mid = 0.5L * (lo + hi);
            (inside(mid) == lo_in ? lo : hi) = mid;
        }
        return lo_in ? lo : hi;
    };
    auto far_end = [&](ld from, auto inside) {  // first t > from (<= thi) outside
        ld hi = from;
        while (hi < thi && inside(hi)) hi = hi * 1.25L + 1;
        if (hi > thi) hi = thi;
        return hi;
    };
    auto in_core = [&](ld t) { return lw(t) >= wmax - core; };
    ld A = tlo, B = thi;
    if (!in_core(tlo)) A = bisect(tlo, tp0, in_core);
    if (!(thi < INFINITY && in_core(thi))) {
        ld hi = far_end(tp0, in_core);
        B = in_core(hi) ? hi : bisect(tp0, hi, in_core);
    }
    ld c = 0.5L * (A + B), h = std::max(0.5L * (B - A), 1e-300L);
    auto env = [&](ld t) {
        ld z = std::fabs(t - c) / h;
        ld g = z <= 1 ? 0 : std::log(z + std::sqrt(z * z - 1));
        return lw(t) + deg * g;
    };
    ld target = wmax - cut;
    auto in_rule = [&](ld t) { return env(t) >= target; };
    ld a = tlo, b = thi;
    if (tlo < A && !in_rule(tlo)) {  // scan up from tlo to the first point inside
        const int K = 256;
        ld prev = tlo;
        for (int i = 1; i <= K; ++i) {
            ld t = tlo + (A - tlo) * i / K;
            if (in_rule(t)) {
                a = bisect(prev, t, in_rule);
                break;
            }
            prev = t;
        }
    }
    if (!(thi < INFINITY && in_rule(thi))) {
        ld hi = far_end(std::max(B, tlo), in_rule);
        b = in_rule(hi) ? hi : bisect(std::max(B, tlo), hi, in_rule);
    }
    const ld emax = wmax;
    rule r;
    ld ua = std::sqrt(a), ub = std::sqrt(b);
    // A domain too narrow to resolve in long double (X beyond ~1e30) carries
    // no representable probability: treated as empty.
    if (!(ub - ua > 1e-12L * ub)) return r;
    ld width = ub - ua;
    ld var = std::fabs(env(b) - emax) + (a > 0 ? std::fabs(env(a) - emax) : 0);
    if (!std::isfinite(var)) var = 2 * cut;
    int np = (int)std::ceil(width / 0.25L);
    np = std::max(np, (int)std::ceil(var / 8));
    np = std::max(np, (int)std::ceil((4.0L * m + 40) / 12));
    np = std::max(np, 1);
    np = (int)std::ceil(np * pscale);
    const gl_rule &g = gl();
    r.npan = np;
    r.half = width / np / 2;
    r.u.resize((size_t)np * G);
    r.wu.resize((size_t)np * G);
    for (int p = 0; p < np; ++p) {
        ld c = ua + width * (p + 0.5L) / np;
        for (int k = 0; k < G; ++k) {
            r.u[(size_t)p * G + k] = c + r.half * g.x[k];
            r.wu[(size_t)p * G + k] = (double)(r.half * g.w[k]);
        }
    }
    return r;
}

// Orthonormal polynomials p_0..p_{m-1} of a weight (density d, mass e^logM,
// three-term recurrence sb[k+1] p_{k+1} = (t - a[k]) p_k - sb[k] p_{k-1}
// for the polynomials orthonormal for the normalised weight).
struct basis {
    int m = 0;
    std::vector<ld> a, sb;
    dens d{0, 1};
    ld logM = 0;
    // g[i] = p_i(t) sqrt(density(t)), p_i orthonormal for the weight itself.
    void eval(ld t, double *g) const {
        ld E = 0.5L * (d.log_at(t) - logM);
        ld S = 0;
        ld fac = std::exp(E);
        ld p0 = 1, p1 = 0;
        g[0] = (double)(fac);
        for (int k = 0; k + 1 < m; ++k) {
            ld p2 = ((t - a[k]) * p0 - (k > 0 ? sb[k] * p1 : 0)) / sb[k + 1];
            p1 = p0;
            p0 = p2;
            if (std::fabs(p0) > 1e1000L) {
                p0 *= 1e-1000L;
                p1 *= 1e-1000L;
                S += 1000 * std::log(10.0L);
                fac = std::exp(E + S);
            }
            g[k + 1] = (double)(p0 * fac);
        }
    }
};

struct work_context {
    const interrupt_check *ic = nullptr;
    void poll() const {
        if (ic != nullptr && ic->requested()) throw interrupted_error();
    }
};

// Orthonormal (Lanczos with full reorthogonalisation) on the discrete measure
// rule x density d. Also returns log of the mass and the recurrence.
basis lanczos(const rule &r, const dens &d, int m, const work_context &wc) {
    size_t N = r.u.size();
    basis B;
    B.m = m;
    B.d = d;
    std::vector<ld> L(N);
    ld Lmax = -INFINITY;
    for (size_t k = 0; k < N; ++k) {
        ld u = r.u[k];
        L[k] = std::log((ld)r.wu[k]) + std::log(2 * u) + d.log_at(u * u);
        Lmax = std::max(Lmax, L[k]);
    }
    ld s = 0;
    for (size_t k = 0; k < N; ++k) s += std::exp(L[k] - Lmax);
    B.logM = Lmax + std::log(s);
    // Lanczos on t / tscale (no underflow for domains near 0); the
    // recurrence is scaled back: a_k * tscale, sqrt(b_k) * tscale.
    ld tscale = r.u.back() * r.u.back();
    std::vector<double> t(N);
    std::vector<std::vector<double>> q(m, std::vector<double>(N));
    for (size_t k = 0; k < N; ++k) {
        t[k] = (double)(r.u[k] * r.u[k] / tscale);
        q[0][k] = (double)std::exp(0.5L * (L[k] - B.logM));
    }
    B.a.assign(m, 0);
    B.sb.assign(m + 1, 0);
    std::vector<double> v(N);
    for (int j = 0; j + 1 < m; ++j) {
        if ((j & 7) == 7) wc.poll();
        double aj = 0;
        for (size_t k = 0; k < N; ++k) aj += t[k] * q[j][k] * q[j][k];
        B.a[j] = aj;
        for (size_t k = 0; k < N; ++k)
            v[k] = (t[k] - aj) * q[j][k] - (j > 0 ? (double)B.sb[j] * q[j - 1][k] : 0.0);
        for (int i = 0; i <= j; ++i) {  // one full reorthogonalisation pass
            double c = 0;
            const double *qi = q[i].data();
            for (size_t k = 0; k < N; ++k) c += v[k] * qi[k];
            for (size_t k = 0; k < N; ++k) v[k] -= c * qi[k];
        }
        double nn = 0;
        for (size_t k = 0; k < N; ++k) nn += v[k] * v[k];
        ld sbn = std::sqrt(nn);
        if (!(sbn > 0)) throw std::runtime_error("Lanczos breakdown");
        B.sb[j + 1] = sbn;
        for (size_t k = 0; k < N; ++k) q[j + 1][k] = (double)(v[k] / sbn);
    }
    for (int j = 0; j < m; ++j) {
        B.a[j] *= tscale;
        B.sb[j + 1] *= tscale;
    }
    return B;
}

// Real case: T_ij = int int_{x<y in rule} f_i(x) f_j(y) W(x) W(y) dx dy and
// b_i = int f_i W over the rule's domain, f_i the basis polynomials (which
// are orthonormal for rho = t W^2), W = t^a e^{-t}: f W dt = 2 g(u^2) du.
void wedge(const rule &r, const basis &B, int m, std::vector<double> &T, std::vector<double> &b,
           const work_context &wc) {
    const gl_rule &g = gl();
    T.assign((size_t)m * m, 0.0);
    b.assign(m, 0.0);
    std::vector<double> f((size_t)G * m), F(m);
    for (int p = 0; p < r.npan; ++p) {
        if ((p & 15) == 15) wc.poll();
        for (int k = 0; k < G; ++k) {
            ld u = r.u[(size_t)p * G + k];
            B.eval(u * u, &f[(size_t)k * m]);
            for (int i = 0; i < m; ++i) f[(size_t)k * m + i] *= 2;
        }
        for (int k = 0; k < G; ++k) {
            for (int i = 0; i < m; ++i) {
                double s = 0;
                for (int l = 0; l < G; ++l) s += g.Q[k][l] * f[(size_t)l * m + i];
                F[i] = b[i] + (double)r.half * s;
            }
            double wk = r.wu[(size_t)p * G + k];
            const double *fk = &f[(size_t)k * m];
            for (int i = 0; i < m; ++i) {
                double Fi = F[i] * wk;
                double *Ti = &T[(size_t)i * m];
                for (int j = 0; j < m; ++j) Ti[j] += Fi * fk[j];
            }
        }
        for (int k = 0; k < G; ++k) {
            double wk = r.wu[(size_t)p * G + k];
            for (int i = 0; i < m; ++i) b[i] += wk * f[(size_t)k * m + i];
        }
    }
}

// log|Pf(A)| of a skew matrix of even order s (row-major, destroyed), with
// pivoting; returns the sign through *sign (0 when singular).
ld log_pfaffian(std::vector<double> &A, int s, int *sign) {
    ld lp = 0;
    int sg = 1;
    auto at = [&](int i, int j) -> double & { return A[(size_t)i * s + j]; };
    for (int k = 0; k + 1 < s; k += 2) {
        int piv = k + 1;
        for (int i = k + 2; i < s; ++i)
            if (std::fabs(at(i, k)) > std::fabs(at(piv, k))) piv = i;
        if (piv != k + 1) {
            for (int j = 0; j < s; ++j) std::swap(at(k + 1, j), at(piv, j));
            for (int i = 0; i < s; ++i) std::swap(at(i, k + 1), at(i, piv));
            sg = -sg;
        }
        double pv = at(k, k + 1);
        if (pv == 0) {
            *sign = 0;
            return -INFINITY;
        }
        lp += std::log(std::fabs((ld)pv));
        if (pv < 0) sg = -sg;
        for (int i = k + 2; i < s; ++i) {
            double aik = at(i, k), aik1 = at(i, k + 1);
            for (int j = k + 2; j < s; ++j)
                at(i, j) += (aik * at(k + 1, j) - aik1 * at(k, j)) / pv;
        }
    }
    *sign = sg;
    return lp;
}

// The de Bruijn skew matrix of order s (m, or m + 1 for odd m): T - T^T,
// bordered by b and -b when m is odd.
std::vector<double> skew_matrix(const std::vector<double> &T, const std::vector<double> &b, int m,
                                int s) {
    std::vector<double> A((size_t)s * s, 0.0);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) A[(size_t)i * s + j] = T[(size_t)i * m + j] - T[(size_t)j * m + i];
    if (s > m)
        for (int i = 0; i < m; ++i) {
            A[(size_t)i * s + m] = b[i];
            A[(size_t)m * s + i] = -b[i];
        }
    return A;
}

struct tails {
    double PD, QD;       // P(all in D), 1 - P(all in D)
};

struct evaluator {
    int m, n;
    bool real;
    work_context wc;
    // complex
    basis full;         // orthonormal basis of the full-range weight
    dens wdens{0, 1};   // eigenvalue weight: complex t^al e^-t, real t^a e^-t
    dens rho{0, 2};     // real: the weight of the basis, t^(n-m) e^{-2t}
    int s = 0;          // real: order of the (bordered) skew matrices
    std::vector<double> Lfull, dg, Finf;  // real: S_full = (L Dg) J (L Dg)^T
    ld logZ = 0;        // real: log of int over [0,inf)^m of |Vandermonde| prod W
    ld logHfull = 0;    // complex: sum_k log h_k of the full weight

    ld pscale = 1;      // panel-count factor of every quadrature rule

    evaluator(int m_, int n_, bool real_, const interrupt_check *ic, ld pscale_)
        : m(m_), n(n_), real(real_), pscale(pscale_) {
        wc.ic = ic;
        full.m = m;
        full.a.assign(m, 0);
        full.sb.assign(m + 1, 0);
        if (!real) {
            ld al = n - m;
            wdens = {al, 1};
            full.d = wdens;
            full.logM = std::lgamma(al + 1);
            for (int k = 0; k < m; ++k) {
                full.a[k] = 2 * k + al + 1;
                full.sb[k + 1] = std::sqrt((ld)(k + 1) * (k + 1 + al));
                logHfull += std::lgamma((ld)k + 1) + std::lgamma((ld)k + al + 1);
            }
            return;
        }
        ld a = (n - m - 1) / 2.0L, c = n - m;
        wdens = {a, 1};
        rho = {c, 2};
        full.d = rho;
        full.logM = std::lgamma(c + 1) - (c + 1) * std::log(2.0L);
        for (int k = 0; k < m; ++k) {
            full.a[k] = (2 * k + c + 1) / 2;
            full.sb[k + 1] = std::sqrt((ld)(k + 1) * (k + 1 + c)) / 2;
        }
        for (int j = 0; j < m; ++j)
            logZ += std::lgamma(1 + (j + 1) / 2.0L) + std::lgamma(a + 1 + j / 2.0L) - std::lgamma(1.5L);
        // the full-range skew matrix in the basis, and its factorisation
        rule rf = make_rule(0, INFINITY, wdens, m + 1, m, pscale);
        std::vector<double> T, b;
        wedge(rf, full, m, T, b, wc);
        s = (m % 2 == 0) ? m : m + 1;
        std::vector<double> A = skew_matrix(T, b, m, s);
        Finf = b;
        Lfull.assign((size_t)s * s, 0.0);
        dg.assign(s, 1.0);
        for (int i = 0; i < s; ++i) Lfull[(size_t)i * s + i] = 1;
        for (int k = 0; k + 1 < s; k += 2) {
            double pv = A[(size_t)k * s + k + 1];
            if (pv == 0) throw std::runtime_error("singular full-range Pfaffian matrix");
            dg[k] = pv;
            for (int i = k + 2; i < s; ++i) {
                Lfull[(size_t)i * s + k] = A[(size_t)i * s + k + 1] / pv;
                Lfull[(size_t)i * s + k + 1] = -A[(size_t)i * s + k] / pv;
            }
            for (int i = k + 2; i < s; ++i) {
                double aik = A[(size_t)i * s + k], aik1 = A[(size_t)i * s + k + 1];
                for (int j = k + 2; j < s; ++j)
                    A[(size_t)i * s + j] += (aik * A[(size_t)(k + 1) * s + j] - aik1 * A[(size_t)k * s + j]) / pv;
            }
        }
    }

    // log P_D by the inner route, with a rough relative-error scale.
    ld inner_log(ld tlo, ld thi) {
        if (!real) {
            rule r = make_rule(tlo, thi, wdens, 2 * m, m, pscale);
            if (r.u.empty()) return -INFINITY;
            basis B = lanczos(r, wdens, m, wc);
            ld lp = 0;
            ld hk = B.logM;
            for (int k = 0; k < m; ++k) {
                if (k > 0) hk += 2 * std::log(B.sb[k]);
                lp += hk;
            }
            return lp - logHfull;
        }
        rule r = make_rule(tlo, thi, wdens, m + 1, m, pscale);
        if (r.u.empty()) return -INFINITY;
        basis B = lanczos(r, rho, m, wc);
        std::vector<double> T, b;
        wedge(r, B, m, T, b, wc);
        std::vector<double> A = skew_matrix(T, b, m, s);
        int sign = 0;
        ld lpf = log_pfaffian(A, s, &sign);
        if (sign == 0) return -INFINITY;
        ld lh = 0, hk = B.logM;
        for (int k = 0; k < m; ++k) {
            if (k > 0) hk += 2 * std::log(B.sb[k]);
            lh += hk;
        }
        return std::lgamma((ld)m + 1) + lpf + 0.5L * lh - logZ;
    }

    // sum of log(pivots) of the complement route (log P_D); false when a
    // pivot is not positive (then the inner route is used).
    bool complement_log(ld clo, ld chi, bool comp_left, ld *out) {
        if (!real) {
            rule r = make_rule(clo, chi, wdens, 2 * m, m, pscale);
            std::vector<double> C((size_t)m * m, 0.0), g(m);
            for (size_t k = 0; k < r.u.size(); ++k) {
                if ((k & 1023) == 1023) wc.poll();
                ld u = r.u[k];
                full.eval(u * u, g.data());
                double w = r.wu[k] * 2 * (double)u;
                for (int i = 0; i < m; ++i) {
                    double gi = w * g[i];
                    for (int j = 0; j <= i; ++j) C[(size_t)i * m + j] += gi * g[j];
                }
            }
            ld sum = 0;
            for (int k = 0; k < m; ++k) {
                double e = C[(size_t)k * m + k];
                double piv = 1 - e;
                if (!(piv > 0)) return false;
                sum += std::log1p(-(ld)e);
                for (int i = k + 1; i < m; ++i) {
                    double ci = C[(size_t)i * m + k] / piv;
                    for (int j = k + 1; j <= i; ++j) C[(size_t)i * m + j] += ci * C[(size_t)j * m + k];
                }
            }
            *out = sum;
            return true;
        }
        rule r = make_rule(clo, chi, wdens, m + 1, m, pscale);
        std::vector<double> T, b;
        if (r.u.empty()) {
            *out = 0;
            return true;
        }
        wedge(r, full, m, T, b, wc);
        // Delta S = S_comp + cross terms (see the doc), bordered when m is odd.
        std::vector<double> K((size_t)s * s, 0.0);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j) {
                double cross = comp_left ? (b[i] * Finf[j] - Finf[i] * b[j]) : (Finf[i] * b[j] - b[i] * Finf[j]);
                K[(size_t)i * s + j] = (T[(size_t)i * m + j] - T[(size_t)j * m + i]) + cross;
            }
        if (s > m)
            for (int i = 0; i < m; ++i) {
                K[(size_t)i * s + m] = b[i];
                K[(size_t)m * s + i] = -b[i];
            }
        // K <- (L Dg)^{-1} K (L Dg)^{-T}
        for (int pass = 0; pass < 2; ++pass) {
            for (int col = 0; col < s; ++col)
                for (int i = 0; i < s; ++i) {
                    double v = K[(size_t)i * s + col];
                    for (int j = 0; j < i; ++j) v -= Lfull[(size_t)i * s + j] * K[(size_t)j * s + col];
                    K[(size_t)i * s + col] = v;
                }
            for (int i = 0; i < s; ++i)
                for (int j = 0; j < i; ++j) std::swap(K[(size_t)i * s + j], K[(size_t)j * s + i]);
        }
        for (int i = 0; i < s; ++i)
            for (int j = 0; j < s; ++j) K[(size_t)i * s + j] /= dg[i] * dg[j];
        // Pf(J - K) tracking pivot - 1 = -K[k][k+1]
        ld sum = 0;
        for (int k = 0; k + 1 < s; k += 2) {
            double d = K[(size_t)k * s + k + 1];
            double piv = 1 - d;
            if (!(piv > 0)) return false;
            sum += std::log1p(-(ld)d);
            for (int i = k + 2; i < s; ++i) {
                double kik = K[(size_t)i * s + k], kik1 = K[(size_t)i * s + k + 1];
                for (int j = k + 2; j < s; ++j)
                    K[(size_t)i * s + j] += (kik1 * K[(size_t)k * s + j] - kik * K[(size_t)(k + 1) * s + j]) / piv;
            }
        }
        *out = sum;
        return true;
    }

    tails domain(ld X, bool largest) {
        // D = [0,X] (largest) or [X,inf) (smallest); complement the other one.
        ld tlo = largest ? 0 : X, thi = largest ? X : INFINITY;
        ld lp = inner_log(tlo, thi);
        tails r{};
        if (lp <= std::log(0.5L)) {
            r.PD = (double)std::exp(lp);
            r.QD = (double)-std::expm1(lp);
            return r;
        }
        ld lc = 0;
        if (complement_log(largest ? X : 0, largest ? INFINITY : X, !largest, &lc) && lc <= 0) {
            r.PD = (double)std::exp(lc);
            r.QD = (double)-std::expm1(lc);
            return r;
        }
        r.PD = (double)std::exp(std::min(lp, (ld)0));
        r.QD = (double)-std::expm1(std::min(lp, (ld)0));
        return r;
    }
};

} // namespace

wishart_eig_outcome wishart_eig_cdf_exact(const wishart_eig_request &req, const double *x, std::size_t count,
                                          double *P, double *err) {
    wishart_eig_outcome out;
    auto invalid = [&](const std::string &msg) {
        out.status = wishart_status::invalid_argument;
        out.message = msg;
        return out;
    };
    if (req.m < 1 || req.m > wishart_eig_max_m)
        return invalid("wishart_eig_cdf_exact: m (dimension) must be an integer in [1, " +
                       std::to_string(wishart_eig_max_m) + "], got " + std::to_string(req.m));
    if (req.n < req.m || req.n > wishart_eig_max_n)
        return invalid("wishart_eig_cdf_exact: n (degrees of freedom) must be an integer in [m, " +
                       std::to_string(wishart_eig_max_n) + "] with m = " + std::to_string(req.m) + ", got " +
                       std::to_string(req.n));
    if (count > 0 && (x == nullptr || P == nullptr))
        return invalid("wishart_eig_cdf_exact: x and P must not be null when count > 0");
    for (std::size_t i = 0; i < count; ++i) {
        P[i] = NAN;
        if (err) err[i] = NAN;
    }
    const bool largest = req.which == wishart_extreme::largest;
    const bool lower = req.tail == wishart_tail::lower;
    try {
        std::vector<bool> need(count, false);
        bool any = false;
        for (std::size_t i = 0; i < count; ++i) {
            double xi = x[i];
            if (std::isnan(xi)) continue;
            if (xi <= 0 || std::isinf(xi)) {
                bool at_zero = xi <= 0;
                P[i] = (at_zero == lower) ? 0.0 : 1.0;
                if (err) err[i] = 0;
                continue;
            }
            need[i] = true;
            any = true;
        }
        if (!any) return out;
        if (req.interrupt && req.interrupt->requested()) throw interrupted_error();
        // Two independent evaluations: quadrature rules with 1 and 1.37 times
        // the panels (so different nodes, different rounding). Their
        // difference estimates the error of the first; see the doc.
        const bool real = req.field == wishart_field::real;
        evaluator ev(req.m, req.n, real, req.interrupt, 1);
        evaluator ev2(req.m, req.n, real, req.interrupt, 1.37L);
        for (std::size_t i = 0; i < count; ++i) {
            if (!need[i]) continue;
            ev.wc.poll();
            ld X = req.field == wishart_field::real ? (ld)x[i] / 2 : (ld)x[i];
            tails t = ev.domain(X, largest);
            tails t2 = ev2.domain(X, largest);
            // largest: lower = P_D; smallest: upper = P_D.
            double lowv = largest ? t.PD : t.QD, upv = largest ? t.QD : t.PD;
            double low2 = largest ? t2.PD : t2.QD, up2 = largest ? t2.QD : t2.PD;
            double v = lower ? lowv : upv, v2 = lower ? low2 : up2;
            v = std::min(1.0, std::max(0.0, v));
            P[i] = v;
            if (err) {
                // The difference of the two evaluations, with a floor of
                // m rounding units (the sums of m logarithms of pivots).
                double diff = std::fabs(v - v2);
                err[i] = 4 * diff + 4 * 2.2e-16 * (2 + req.m) * v;
            }
        }
    } catch (const interrupted_error &) {
        out.status = wishart_status::interrupted;
        out.message = "wishart_eig_cdf_exact: interrupted";
    } catch (const std::bad_alloc &) {
        out.status = wishart_status::out_of_memory;
        out.message = "wishart_eig_cdf_exact: out of memory";
    } catch (const std::exception &e) {
        out.status = wishart_status::numerical_failure;
        out.message = std::string("wishart_eig_cdf_exact: numerical failure: ") + e.what();
    }
    return out;
}

} // namespace matrixhyper
