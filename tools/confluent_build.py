#!/usr/bin/env python3
"""The reduced Pfaffian system t G' = sum_d t^d B_d G for repeated eigenvalues,
built cluster by cluster (the algorithm of docs/wishart_holonomic_confluent.md,
"Building B_d"), exactly in rationals.

The unknowns are the Taylor coefficients f(alpha) of F in the log coordinates
x_i (y_i = y_A e^{x_i}, y_A = -t s_A) at the ray's point, one per orbit: a
tuple of partitions, one per cluster. Each is carried as a polynomial in t
whose coefficients are linear forms in G (an array [t-degree][R]).

Degree by degree (total degree d = 0 .. m+1), the coefficient of x^beta
(|beta| = d - 2) in Muirhead's equation for an index i of cluster A has as its
part of degree d only

    (beta_i + 2)(beta_i + 1) f(beta + 2 e_i) + 1/2 sum_{j in A, j != i} [x^beta] Delta_ij d_i F,

which acts on A's partition alone, the other clusters' parts held fixed: a
small matrix M(m_A, e) (rows: (beta_A, i); columns: partitions of e = |beta_A|
+ 2 into at most m_A parts), the same for every ray. Its kernel is one
dimensional for e <= m_A and trivial above; the free column is the square-free
partition 1^e, whose value comes from another cluster's equations or, when
every part is square-free, from G itself: f(1^p) = G_p / prod_j binom(m_j, p_j).
Everything below degree d is known when degree d is solved.
"""
from fractions import Fraction as Fr
from functools import lru_cache
from itertools import product
from math import comb, factorial

from confluent_jets import bernoulli_gen, w_gen


def partitions(e, parts, most=None):
    most = e if most is None else most
    if e == 0:
        return [tuple([0] * parts)]
    if parts == 0:
        return []
    out = []
    for first in range(min(e, most), 0, -1):
        for rest in partitions(e - first, parts - 1, first):
            out.append((first,) + rest)
    return out


def rref_solver(M, ncols, free_last=True):
    """Exact RREF of M (list of rows of Fractions) with the row operations:
    returns (pivots, T, Rm, nullrows) where pivot column pivots[k] is row k of
    the reduced matrix Rm = T M, and nullrows the combinations (rows of T)
    that vanish on M (consistency conditions)."""
    rows = len(M)
    A = [list(M[r]) + [Fr(int(q == r)) for q in range(rows)] for r in range(rows)]
    pivots = []
    rk = 0
    for col in range(ncols):
        pr = next((r for r in range(rk, rows) if A[r][col] != 0), None)
        if pr is None:
            continue
        A[rk], A[pr] = A[pr], A[rk]
        piv = A[rk][col]
        A[rk] = [x / piv for x in A[rk]]
        for r in range(rows):
            if r != rk and A[r][col] != 0:
                f = A[r][col]
                A[r] = [x - f * y for x, y in zip(A[r], A[rk])]
        pivots.append(col)
        rk += 1
    Rm = [row[:ncols] for row in A[:rk]]
    T = [row[ncols:] for row in A[:rk]]
    null = [row[ncols:] for row in A[rk:]]
    return pivots, T, Rm, null


class Builder:
    def __init__(self, sizes, rates, a, c, check=True, num=None):
        self.sizes = list(sizes)
        self.K = len(sizes)
        self.m = m = sum(sizes)
        self.rates = [Fr(r) for r in rates]
        self.a, self.c = Fr(a), Fr(c)
        self.b = 1 - (self.c - Fr(m - 1, 2))
        self.N = m + 1
        self.check = check
        self.labels = list(product(*[range(k + 1) for k in sizes]))
        self.R = len(self.labels)
        self.lab_index = {p: r for r, p in enumerate(self.labels)}
        self.D = m + 2                   # room for the t-degree; checked
        self.Bn = bernoulli_gen(self.N)
        self.W = {}
        for A in range(self.K):
            for B in range(self.K):
                if A != B:
                    self.W[A, B] = w_gen(self.rates[B] / self.rates[A], self.N)
        self.expo = [Fr(1, factorial(k)) for k in range(self.N + 1)]
        self.num = num
        if num is not None:                 # floating point: every number through num
            self.a, self.b = num(self.a), num(self.b)
            self.rates = [num(r) for r in self.rates]
            self.Bn = [num(v) for v in self.Bn]
            self.W = {k: [num(v) for v in w] for k, w in self.W.items()}
            self.expo = [num(v) for v in self.expo]
            self.check = False
        self.val = {}
        self.stats = {"orbits": 0, "equations": 0}

    # ------------------------------------------------------------ forms
    def zero(self):
        z = Fr(0) if self.num is None else self.num(0)
        return [[z] * self.R for _ in range(self.D + 1)]

    def axpy(self, acc, c0, c1, v):
        """acc += (c0 + c1 t) v."""
        if c0:
            for d in range(self.D + 1):
                vd = v[d]
                if any(vd):
                    ad = acc[d]
                    for r in range(self.R):
                        if vd[r]:
                            ad[r] += c0 * vd[r]
        if c1:
            for d in range(self.D):
                vd = v[d]
                if any(vd):
                    ad = acc[d + 1]
                    for r in range(self.R):
                        if vd[r]:
                            ad[r] += c1 * vd[r]
            if any(v[self.D]):
                raise ValueError("t-degree overflow")

    # ------------------------------------------------------------ orbits
    def key(self, parts):
        return tuple(tuple(sorted(p, reverse=True)) for p in parts)

    # ------------------------------------------------------------ one equation
    def equation(self, beta, A, i):
        """[x^beta] of Muirhead's equation for position i of cluster A, as
        {key: [c0, c1]} (the coefficient c0 + c1 t)."""
        out = {}

        def add(parts, c0, c1=Fr(0)):
            k = self.key(parts)
            e = out.setdefault(k, [Fr(0), Fr(0)])
            e[0] += c0
            e[1] += c1

        def shifted(parts, changes):
            new = [list(p) for p in parts]
            for (B, q), dv in changes:
                new[B][q] += dv
                if new[B][q] < 0:
                    return None
            return new

        sA = self.rates[A]
        bi = beta[A][i]
        # T1
        add(shifted(beta, [((A, i), 2)]), Fr((bi + 2) * (bi + 1)))
        # T2: -a y_A e^{x_i} F; y_A = -t s_A
        for k in range(bi + 1):
            add(shifted(beta, [((A, i), -k)]), Fr(0), self.a * sA * self.expo[k])
        # T3
        add(shifted(beta, [((A, i), 1)]), -self.b * (bi + 1))
        # T4: -y_A e^{x_i} d_i F
        for k in range(bi + 1):
            add(shifted(beta, [((A, i), 1 - k)]), Fr(0), sA * (bi - k + 1) * self.expo[k])
        # T5: 1/2 sum_j Bn(x_i - x_j) Delta_ij d_i F, j grouped by beta_j
        seen, counts = {}, {}              # value of beta_j -> first j, count
        for j in range(self.sizes[A]):
            if j != i:
                seen.setdefault(beta[A][j], j)
                counts[beta[A][j]] = counts.get(beta[A][j], 0) + 1
        for bv, cnt in counts.items():
            j = seen[bv]
            for n in range(len(self.Bn)):
                if self.Bn[n] == 0:
                    continue
                for p in range(n + 1):
                    g = shifted(beta, [((A, i), -(n - p)), ((A, j), -p)])
                    if g is None:
                        continue
                    co = Fr(cnt, 2) * self.Bn[n] * comb(n, p) * (-1) ** p
                    u, v = g[A][i], g[A][j]
                    lo = min(u, v)
                    for q in range(lo + 1):      # + K(u+v+1-q, q)
                        d = [list(x) for x in g]
                        d[A][i], d[A][j] = u + v + 1 - q, q
                        kk = d[A][i] + 1          # K(delta) = (delta_i + 1) f(delta + e_i)
                        d[A][i] += 1
                        add(d, co * kk)
                    for pp in range(lo + 1):     # - K(pp, u+v+1-pp)
                        d = [list(x) for x in g]
                        d[A][i], d[A][j] = pp, u + v + 1 - pp
                        kk = d[A][i] + 1
                        d[A][i] += 1
                        add(d, -co * kk)
        # T6: 1/2 sum_{l not in A} W(x_l - x_i) (d_i - d_l) F
        for B in range(self.K):
            if B == A:
                continue
            counts = {}
            first = {}
            for l in range(self.sizes[B]):
                counts[beta[B][l]] = counts.get(beta[B][l], 0) + 1
                first.setdefault(beta[B][l], l)
            for bv, cnt in counts.items():
                l = first[bv]
                om = self.W[A, B]
                for n in range(len(om)):
                    for p in range(n + 1):
                        g = shifted(beta, [((A, i), -(n - p)), ((B, l), -p)])
                        if g is None:
                            continue
                        co = Fr(cnt, 2) * om[n] * (-1) ** n * comb(n, p) * (-1) ** p
                        d1 = shifted(g, [((A, i), 1)])
                        add(d1, co * (g[A][i] + 1))
                        d2 = shifted(g, [((B, l), 1)])
                        add(d2, -co * (g[B][l] + 1))
        return {k: v for k, v in out.items() if v[0] or v[1]}

    # ------------------------------------------------------------ the top matrix of one cluster
    @lru_cache(maxsize=None)
    def top(self, A, e):
        k = self.sizes[A]
        cols = partitions(e, k)
        sq = tuple([1] * e + [0] * (k - e)) if e <= k else None
        if sq is not None:                       # the square-free column last
            cols = [p for p in cols if p != sq] + [sq]
        colidx = {p: n for n, p in enumerate(cols)}
        eqs = []
        for bA in partitions(e - 2, k) if e >= 2 else []:
            done = set()
            for i in range(k):
                if bA[i] in done:
                    continue
                done.add(bA[i])
                eqs.append((bA, i))
        return cols, colidx, eqs, sq

    def solver(self, A, e):
        cols, colidx, eqs, sq = self.top(A, e)
        key = (A, e)
        if not hasattr(self, "_solvers"):
            self._solvers = {}
        if key in self._solvers:
            return self._solvers[key]
        # the top part, with the other clusters' parts zero (it does not see them)
        M = []
        for bA, i in eqs:
            beta = [tuple([0] * s) for s in self.sizes]
            beta[A] = bA
            row = [Fr(0)] * len(cols)
            for kk, (c0, c1) in self.equation(beta, A, i).items():
                if sum(sum(p) for p in kk) == e:
                    assert c1 == 0
                    row[colidx[kk[A]]] += c0
            M.append([Fr(x) for x in row])     # integers and halves: exact
        pivots, T, Rm, null = rref_solver(M, len(cols)) if M else ([], [], [], [])
        free = [q for q in range(len(cols)) if q not in pivots]
        want = [len(cols) - 1] if sq is not None else []
        if free != want:
            raise ValueError("cluster %d degree %d: free columns %s, expected %s" % (A, e, free, want))
        if self.num is not None:            # the exact transforms, rounded once
            T = [[self.num(x) for x in row] for row in T]
            Rm = [[self.num(x) for x in row] for row in Rm]
        self._solvers[key] = (cols, colidx, eqs, sq, pivots, T, Rm, null)
        return self._solvers[key]

    # ------------------------------------------------------------ the sweep
    def build(self):
        K, sizes = self.K, self.sizes
        # parameters: all-square-free orbits of every total degree
        for p in self.labels:
            v = self.zero()
            mult = 1
            for pj, k in zip(p, sizes):
                mult *= comb(k, pj)
            v[0][self.lab_index[p]] = Fr(1, mult) if self.num is None else self.num(1) / mult
            self.val[tuple(tuple([1] * pj + [0] * (k - pj)) for pj, k in zip(p, sizes))] = v
        for d in range(self.N + 1):
            # orbits of total degree d, by the number of parts not square-free
            orbits = []
            for degs in self._splits(d):
                for parts in product(*[partitions(e, k) for e, k in zip(degs, sizes)]):
                    ns = [A for A in range(K) if any(x > 1 for x in parts[A])]
                    if ns:
                        orbits.append((len(ns), parts, ns[0]))
            orbits.sort(key=lambda z: z[0])
            for cnt, parts, A in orbits:
                if parts in self.val:
                    continue
                self._solve_block(parts, A)
            self.stats["orbits"] += len(orbits)

    def _splits(self, d):
        def rec(A, left):
            if A == self.K:
                if left == 0:
                    yield ()
                return
            for e in range(0, min(left, self.N) + 1):
                for rest in rec(A + 1, left - e):
                    yield (e,) + rest
        return list(rec(0, d))

    def _solve_block(self, parts, A):
        e = sum(parts[A])
        cols, colidx, eqs, sq, pivots, T, Rm, null = self.solver(A, e)
        rest = list(parts)
        rhs = []
        for bA, i in eqs:
            beta = list(rest)
            beta[A] = bA
            acc = self.zero()
            for kk, (c0, c1) in self.equation(beta, A, i).items():
                if sum(sum(p) for p in kk) == e + sum(sum(p) for B, p in enumerate(rest) if B != A):
                    continue                       # top part: the matrix
                v = self.val.get(kk)
                if v is None:
                    raise ValueError("needed %s before %s" % (kk, parts))
                self.axpy(acc, -c0, -c1, v)
            rhs.append(acc)
            self.stats["equations"] += 1
        x_free = None
        if sq is not None:
            kf = list(rest)
            kf[A] = sq
            x_free = self.val[tuple(kf)]
        for k_, prow in enumerate(pivots):
            acc = self.zero()
            for r, coef in enumerate(T[k_]):
                if coef:
                    self.axpy(acc, coef, 0, rhs[r])
            if x_free is not None and Rm[k_][len(cols) - 1]:
                self.axpy(acc, -Rm[k_][len(cols) - 1], 0, x_free)
            kk = list(rest)
            kk[A] = cols[prow]
            self.val[tuple(kk)] = acc
        if self.check:
            for nrow in null:
                acc = self.zero()
                for r, coef in enumerate(nrow):
                    if coef:
                        self.axpy(acc, coef, 0, rhs[r])
                if any(x for row in acc for x in row):
                    raise ValueError("inconsistent equations at %s" % (parts,))

    # ------------------------------------------------------------ the rows
    def matrices(self):
        self.build()
        K, sizes = self.K, self.sizes
        rows = []
        for p in self.labels:
            mult = 1
            for pj, k in zip(p, sizes):
                mult *= comb(k, pj)
            acc = self.zero()
            for A in range(K):
                base = [tuple([1] * pj + [0] * (k - pj)) for pj, k in zip(p, sizes)]
                if p[A] < sizes[A]:
                    kk = list(base)
                    kk[A] = tuple([1] * (p[A] + 1) + [0] * (sizes[A] - p[A] - 1))
                    self.axpy(acc, Fr(mult * (sizes[A] - p[A])), 0, self.val[tuple(kk)])
                if p[A] > 0:
                    kk = list(base)
                    kk[A] = tuple([2] + [1] * (p[A] - 1) + [0] * (sizes[A] - p[A]))
                    self.axpy(acc, Fr(mult * 2 * p[A]), 0, self.val[tuple(kk)])
            rows.append(acc)
        Dmax = max((d for row in rows for d in range(self.D + 1) if any(row[d])), default=0)
        return [[[rows[r][d][q] for q in range(self.R)] for r in range(self.R)] for d in range(Dmax + 1)]



def phi_vector(labels, sizes, a):
    """The upper tail's solution det(Y)^-a in the entries: prod binom(m_j, p_j) (-a)^p_j."""
    phi = []
    for p in labels:
        v = Fr(1)
        for pj, k in zip(p, sizes):
            v *= comb(k, pj) * (-a) ** pj
        phi.append(v)
    return phi


if __name__ == "__main__":
    import sys
    import time
    sizes = tuple(int(v) for v in sys.argv[1:]) or (2,)
    t0 = time.time()
    b = Builder(sizes, [Fr(1, k + 1) for k in range(len(sizes))], Fr(len(sizes) + 1, 2), Fr(2 * sum(sizes) + 2, 2))
    Bd = b.matrices()
    print(sizes, "R =", b.R, "degree", len(Bd) - 1, "stats", b.stats, "%.1f s" % (time.time() - t0))
