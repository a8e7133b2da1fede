#!/usr/bin/env python3
"""Breadth check of the reduced system's structure (docs/wishart_holonomic_confluent.md):
for every cluster structure of m = 2..MAX (one per partition of m, rates distinct),
exactly in rationals:
  - the build succeeds (the kernels of M(k, e) as stated, every equation consistent);
  - the degree of B(t) is m - K + 1;
  - det(Y)^-a is a solution: B_0 phi = -m a phi, B_d phi = 0 (d >= 1), c - a = (m+1)/2;
  - the eigenvalues of B_0 are -|p| (c - (|p|+1)/2) (40-digit eigenvalues, matched to 1e-25).
Run: /usr/bin/python3 tools/confluent_structures_check.py [MAX]   (default 6)
"""
import sys
import time
from fractions import Fraction as Fr

import mpmath as mp

from confluent_build import Builder, phi_vector


def partitions_of(m, most=None):
    most = m if most is None else most
    if m == 0:
        return [()]
    return [(f,) + rest for f in range(min(m, most), 0, -1) for rest in partitions_of(m - f, f)]


def main(top):
    mp.mp.dps = 40
    for m in range(2, top + 1):
        for sizes in partitions_of(m):
            t0 = time.time()
            n = Fr(m) + Fr(3, 7)
            a, c = n / 2, (n + m + 1) / 2
            rates = [Fr(1, 1 + 2 * k) + Fr(k, 5) for k in range(len(sizes))]
            b = Builder(sizes, rates, a, c)
            Bd = b.matrices()
            R = b.R
            phi = phi_vector(b.labels, sizes, a)
            eig_ok = all(sum(Bd[0][i][j] * phi[j] for j in range(R)) == -m * a * phi[i] for i in range(R)) and \
                all(sum(Bd[d][i][j] * phi[j] for j in range(R)) == 0 for d in range(1, len(Bd)) for i in range(R))
            M = mp.matrix(R, R)
            for i in range(R):
                for j in range(R):
                    M[i, j] = mp.mpf(Bd[0][i][j].numerator) / Bd[0][i][j].denominator
            ev = sorted(mp.re(e) for e in mp.eig(M)[0])
            cm = mp.mpf(c.numerator) / c.denominator
            want = sorted(-sum(p) * (cm - mp.mpf(sum(p) + 1) / 2) for p in b.labels)
            exp_ok = max(abs(x - y) for x, y in zip(ev, want)) < mp.mpf(10) ** -25
            print("m=%d structure %-18s R=%3d degree %2d (m - K + 1 = %2d) det(Y)^-a: %s exponents: %s  %.1f s" % (
                m, str(sizes), R, len(Bd) - 1, m - len(sizes) + 1, eig_ok, exp_ok, time.time() - t0), flush=True)


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 6)
