#!/usr/bin/env python3
"""Exact construction of the confluent (reduced) Pfaffian system of the zonal
1F1(a; c; -t S) on a diagonal region, from Taylor jets at a point of the ray.

Coordinates: y_i = y_A e^{x_i} for i in cluster A (y_A = -t s_A), so that
theta_i = d/dx_i and theta^alpha F at the ray's point is alpha! f_alpha, f the
Taylor coefficients of F in x at x = 0. Muirhead's equation reads

  d_i^2 F - a y_i F - (b + y_i) d_i F
      + 1/2 sum_{j in A(i), j != i} Bn(x_i - x_j) Delta_ij(d_i F)
      + 1/2 sum_{l not in A(i)} W_il(x_l - x_i) (d_i - d_l) F = 0,

Bn(d) = d / (1 - e^-d) (the Bernoulli generating function), Delta_ij the
divided difference (f - s_ij f) / (x_i - x_j) (exact on polynomials; it equals
(d_i - d_j) F / (x_i - x_j) because F is symmetric in the cluster), and
W_il(u) = 1 / (1 - rho e^u), rho = s_l / s_i. Every term is analytic at x = 0.

Unknowns: the Taylor coefficients up to total degree m + 1, one per orbit of
multi-indices under the permutations of each cluster (F is symmetric there).
The equations: the coefficients of x^beta of each equation, |beta| <= m - 1
(exact, since every term lowers the degree by at most 2). The solution space
is expected to have dimension R = prod (m_j + 1), coordinatised by
G_p = prod_j e_{p_j}(theta_{C_j}) F, p_j = 0..m_j. Then
t dG_p/dt = (sum_i theta_i) G_p is a linear form in the jet, hence in G:
the row p of B(t). Everything in exact rationals (fractions.Fraction).
"""
from fractions import Fraction as Fr
from itertools import product, combinations
from math import factorial, comb


def series_inverse(c, N):
    """1 / (sum c_k u^k) to order N (c_0 != 0)."""
    out = [Fr(0)] * (N + 1)
    out[0] = 1 / c[0]
    for k in range(1, N + 1):
        out[k] = -sum(c[j] * out[k - j] for j in range(1, k + 1)) / c[0]
    return out


def bernoulli_gen(N):
    # d / (1 - e^-d) = 1 / ((1 - e^-d)/d), (1 - e^-d)/d = sum (-1)^k d^k / (k+1)!
    return series_inverse([Fr((-1) ** k, factorial(k + 1)) for k in range(N + 1)], N)


def w_gen(rho, N):
    # 1 / (1 - rho e^u)
    return series_inverse([1 - rho] + [-rho / factorial(k) for k in range(1, N + 1)], N)


class Jet:
    def __init__(self, clusters, s, a, c):
        """clusters: list of lists of indices (0-based, covering 0..m-1);
        s: rates per index (rationals), equal inside a cluster."""
        self.clusters = clusters
        self.m = m = sum(len(C) for C in clusters)
        self.cl = [None] * m
        for k, C in enumerate(clusters):
            for i in C:
                self.cl[i] = k
        self.s = [Fr(v) for v in s]
        self.a, self.c = Fr(a), Fr(c)
        self.b = 1 - (self.c - Fr(m - 1, 2))
        self.N = m + 1
        N = self.N
        self.monos = [al for d in range(N + 1) for al in self._compositions(d, m)]
        self.Bn = bernoulli_gen(N)
        self.W = {}
        for i in range(m):
            for l in range(m):
                if self.cl[i] != self.cl[l]:
                    self.W[i, l] = w_gen(self.s[l] / self.s[i], N)

    @staticmethod
    def _compositions(d, m):
        if m == 1:
            yield (d,)
            return
        for k in range(d, -1, -1):
            for rest in Jet._compositions(d - k, m - 1):
                yield (k,) + rest

    def rep(self, al):
        al = list(al)
        for C in self.clusters:
            vals = sorted((al[i] for i in C), reverse=True)
            for i, v in zip(C, vals):
                al[i] = v
        return tuple(al)

    # A series: dict multi-index -> linear form (dict rep -> Fraction).
    def F(self):
        return {al: {self.rep(al): Fr(1)} for al in self.monos}

    @staticmethod
    def _add(form, other, k):
        for key, v in other.items():
            nv = form.get(key, 0) + k * v
            if nv:
                form[key] = nv
            elif key in form:
                del form[key]

    def d(self, S, i):
        out = {}
        for al, form in S.items():
            if al[i] == 0:
                continue
            be = list(al); be[i] -= 1
            out[tuple(be)] = {k: v * al[i] for k, v in form.items()}
        return out

    def lin(self, *terms):
        out = {}
        for k, S in terms:
            for al, form in S.items():
                f = out.setdefault(al, {})
                self._add(f, form, k)
        return out

    def mul_1d(self, S, coeffs, i, j=None, sign_j=1):
        """S times sum_n coeffs[n] u^n, u = x_i (j None) or u = x_i + sign_j x_j."""
        out = {}
        for al, form in S.items():
            for n, cn in enumerate(coeffs):
                if cn == 0 or sum(al) + n > self.N:
                    continue
                if j is None:
                    be = list(al); be[i] += n
                    f = out.setdefault(tuple(be), {})
                    self._add(f, form, cn)
                else:
                    for p in range(n + 1):  # x_i^(n-p) (sign x_j)^p
                        k = cn * comb(n, p) * (sign_j ** p)
                        be = list(al); be[i] += n - p; be[j] += p
                        f = out.setdefault(tuple(be), {})
                        self._add(f, form, k)
        return out

    def divdiff(self, S, i, j):
        """(S - s_ij S) / (x_i - x_j) on the polynomial S."""
        out = {}
        for al, form in S.items():
            p, q = al[i], al[j]
            if p == q:
                continue
            sgn = 1 if p > q else -1
            lo, hi = min(p, q), max(p, q)
            for r in range(hi - lo):
                be = list(al); be[i] = lo + r; be[j] = hi - 1 - r
                f = out.setdefault(tuple(be), {})
                self._add(f, form, sgn)
        return out

    def equations(self, y):
        """Linear forms (= 0) from the Taylor coefficients of the equations at
        the point y_A = y[A] (per index: y[i])."""
        F = self.F()
        m, N = self.m, self.N
        eqs = []
        expo = [Fr(1, factorial(k)) for k in range(N + 1)]
        for i in range(m):
            dF = self.d(F, i)
            ddF = self.d(dF, i)
            yi = y[i] if not isinstance(y[i], (int, float)) else Fr(y[i])
            terms = [(1, ddF), (-self.a * yi, self.mul_1d(F, expo, i)),
                     (-self.b, dF), (-yi, self.mul_1d(dF, expo, i))]
            for j in range(m):
                if j == i:
                    continue
                if self.cl[j] == self.cl[i]:
                    terms.append((Fr(1, 2), self.mul_1d(self.divdiff(dF, i, j), self.Bn, i, j, -1)))
                else:
                    diff = self.lin((1, dF), (-1, self.d(F, j)))
                    # W(x_l - x_i): u = x_j - x_i, expand as (-(x_i - x_j))^n
                    coeffs = [w * (-1) ** n for n, w in enumerate(self.W[i, j])]
                    terms.append((Fr(1, 2), self.mul_1d(diff, coeffs, i, j, -1)))
            E = self.lin(*terms)
            for be, form in E.items():
                if sum(be) <= N - 2 and form:
                    eqs.append(form)
        return eqs

    def basis_labels(self):
        return list(product(*[range(len(C) + 1) for C in self.clusters]))

    def _square_free(self, p):
        """The square-free multi-indices taking p_j indices of cluster j."""
        for choice in product(*[combinations(C, pj) for C, pj in zip(self.clusters, p)]):
            al = [0] * self.m
            for part in choice:
                for i in part:
                    al[i] = 1
            yield al

    def G_form(self, p):
        """G_p = prod_j e_{p_j}(theta_{C_j}) F at x = 0, as a linear form."""
        form = {}
        for al in self._square_free(p):
            key = self.rep(tuple(al))
            form[key] = form.get(key, 0) + 1
        return form

    def EG_form(self, p):
        """(sum_i theta_i) G_p at x = 0."""
        form = {}
        for al in self._square_free(p):
            for i in range(self.m):
                be = list(al); be[i] += 1
                # theta^be F(0) = be! f_be
                k = 2 if be[i] == 2 else 1
                key = self.rep(tuple(be))
                form[key] = form.get(key, 0) + k
        return form

    def reduced_matrix(self, t):
        """B(t): t dG/dt = B(t) G at the point t of the ray (t != 0)."""
        y = [-Fr(t) * si for si in self.s]
        eqs = self.equations(y)
        labels = self.basis_labels()
        keys = sorted({self.rep(al) for al in self.monos}, key=lambda k: (sum(k), k))
        col = {k: n for n, k in enumerate(keys)}
        # Unknowns: the jet; add G_p - g_p = 0 with g as R extra "parameters"
        # by solving: rows = eqs; reduce to express every key via G's.
        R = len(labels)
        nk = len(keys)
        rows = []
        for e in eqs:
            row = [Fr(0)] * (nk + R)
            for k, v in e.items():
                row[col[k]] += v
            rows.append(row)
        for r, p in enumerate(labels):
            row = [Fr(0)] * (nk + R)
            for k, v in self.G_form(p).items():
                row[col[k]] += v
            row[nk + r] = Fr(-1)
            rows.append(row)
        # Gauss-Jordan on the jet columns (pivot only there).
        piv_of = {}
        rref = []
        for row in rows:
            for pc, prow in rref:
                if row[pc]:
                    f = row[pc]
                    row = [x - f * y for x, y in zip(row, prow)]
            pc = next((k for k in range(nk) if row[k]), None)
            if pc is None:
                if any(row[nk:]):
                    raise ValueError("inconsistent: a relation among the G's")
                continue
            f = row[pc]
            row = [x / f for x in row]
            new = []
            for qc, qrow in rref:
                if qrow[pc]:
                    g = qrow[pc]
                    qrow = [x - g * y for x, y in zip(qrow, row)]
                new.append((qc, qrow))
            new.append((pc, row))
            rref = new
            piv_of = {pc: row for pc, row in rref}
        free = [k for k in range(nk) if k not in piv_of]
        self.last_free = [keys[k] for k in free]
        # value of key k = -sum_{r} row[nk + r] G_r (when no free column enters)
        def value(k):
            if k not in piv_of:
                raise ValueError("undetermined jet coefficient %s" % (keys[k],))
            row = piv_of[k]
            if any(row[q] for q in free):
                raise ValueError("jet coefficient %s depends on free ones" % (keys[k],))
            return [-row[nk + r] for r in range(R)]
        B = []
        for p in labels:
            acc = [Fr(0)] * R
            for k, v in self.EG_form(p).items():
                val = value(col[k])
                acc = [x + v * y for x, y in zip(acc, val)]
            B.append(acc)
        return B


def affine(jet, ts=(1, 2, 3)):
    Bs = [jet.reduced_matrix(t) for t in ts]
    t1, t2, t3 = [Fr(t) for t in ts]
    R = len(Bs[0])
    B1 = [[(Bs[1][i][j] - Bs[0][i][j]) / (t2 - t1) for j in range(R)] for i in range(R)]
    B0 = [[Bs[0][i][j] - t1 * B1[i][j] for j in range(R)] for i in range(R)]
    dev = max(abs(Bs[2][i][j] - B0[i][j] - t3 * B1[i][j]) for i in range(R) for j in range(R))
    return B0, B1, dev


if __name__ == "__main__":
    import sys
    jet = Jet([[0, 1]], [1, 1], Fr(3, 2), Fr(3))
    B0, B1, dev = affine(jet)
    print(jet.basis_labels(), "affine deviation", dev)
    for r in B0:
        print("B0", [str(x) for x in r])
    for r in B1:
        print("B1", [str(x) for x in r])
