#!/usr/bin/env python3
"""Reference values for the exact extreme-eigenvalue distributions of the
matrix Beta (MANOVA, double Wishart) ensemble (matrixhyper::jacobi_eig_cdf).

Independent of the C++ core: the same finite formulas in their most direct
form (monomial basis, plain determinants of incomplete beta integrals),
evaluated with mpmath at high precision. Every value is computed at two
precisions (dps and dps + DPS_STEP); a point is kept only when the two agree
to CHECK_DIGITS significant digits in both tails.

Model: theta = eigenvalues of (A + B)^-1 A, A ~ W_p(m, I), B ~ W_p(n, I),
n >= p. The s = min(p, m) nonzero eigenvalues have joint density prop. to
|Vandermonde(t)|^beta prod t_i^a (1 - t_i)^b on [0, 1]^s with
  real (beta = 1):    a = (|m - p| - 1) / 2,  b = (n - p - 1) / 2;
  complex (beta = 2): a = |m - p|,            b = n - p.
P_D = P(all s eigenvalues in D), D = [0, X]:
  complex: det[ B_X(a+i+j+1, b+1) ] / det[ B(a+i+j+1, b+1) ], i, j < s
           (Andreief; B_X the incomplete beta integral);
  real:    Pf(S_X) / Pf(S_1), S = A - A^T, A_ij = int int_{x<y<X} x^i y^j w(x) w(y)
           (de Bruijn), bordered by F_i = B_X(a+i+1, b+1) when s is odd; with
           A_ii = F_i^2 / 2 and, by parts on y^(a+j+1) (1-y)^(b+1),
           A_{i,j+1} = [(a+j+1) A_ij - F_i X^(a+j+1) (1-X)^(b+1) + B_X(2a+i+j+2, 2b+2)] / (a+b+j+2),
           A_ji = F_i F_j - A_ij. Pf ratio = sqrt(det ratio) (P_D > 0).
D = [X, 1] is D = [0, 1 - X] with a and b exchanged (t -> 1 - t).
largest:  lower = P_[0,x],  upper = 1 - lower;
smallest: upper = P_[x,1],  lower = 1 - upper.

Usage: python3 tools/jacobi_reference.py [out] [cases p:m:n,...] [fields] [whiches]
       python3 tools/jacobi_reference.py out --points tests/jacobi/large_points.txt
         (appends the values at listed points: the large cases, whose point
         search at full precision would take hours)
"""
import math
import sys
import time

import mpmath as mp

DPS_STEP = 60
CHECK_DIGITS = 25


def exponents(field, p, m, n):
    s = min(p, m)
    if field == 'real':
        return s, mp.mpf(abs(m - p) - 1) / 2, mp.mpf(n - p - 1) / 2
    return s, mp.mpf(abs(m - p)), mp.mpf(n - p)


def ibeta(x, y, X):
    """Incomplete beta integral int_0^X t^(x-1) (1-t)^(y-1) dt (X = 1: complete)."""
    if X == 1:
        return mp.beta(x, y)
    return mp.betainc(x, y, 0, X)


def complex_below(s, a, b, X):
    below = [ibeta(a + k + 1, b + 1, X) for k in range(2 * s - 1)]
    whole = [ibeta(a + k + 1, b + 1, 1) for k in range(2 * s - 1)]
    G = mp.matrix(s, s)
    F = mp.matrix(s, s)
    for i in range(s):
        for j in range(s):
            G[i, j] = below[i + j]
            F[i, j] = whole[i + j]
    return mp.det(G) / mp.det(F)


def real_skew(s, a, b, X):
    F = [ibeta(a + i + 1, b + 1, X) for i in range(s)]
    E = [ibeta(2 * a + k + 2, 2 * b + 2, X) for k in range(2 * s)]
    edge = mp.power(1 - X, b + 1)                 # 0 at X = 1
    A = [[None] * s for _ in range(s)]
    for i in range(s):
        A[i][i] = F[i] ** 2 / 2
        for j in range(i, s - 1):
            A[i][j + 1] = ((a + j + 1) * A[i][j] - F[i] * mp.power(X, a + j + 1) * edge +
                           E[i + j]) / (a + b + j + 2)
        for j in range(i + 1, s):
            A[j][i] = F[i] * F[j] - A[i][j]
    size = s if s % 2 == 0 else s + 1
    S = mp.matrix(size, size)
    for i in range(s):
        for j in range(s):
            S[i, j] = A[i][j] - A[j][i]
    if s % 2 == 1:
        for i in range(s):
            S[i, s] = F[i]
            S[s, i] = -F[i]
    return S


def real_below(s, a, b, X):
    return mp.sqrt(mp.det(real_skew(s, a, b, X)) / mp.det(real_skew(s, a, b, mp.mpf(1))))


def all_below(field, s, a, b, X):
    return (real_below if field == 'real' else complex_below)(s, a, b, X)


def tails(field, which, p, m, n, x):
    """(lower, upper) at the current precision; x a double in (0, 1)."""
    s, a, b = exponents(field, p, m, n)
    X = mp.mpf(x)
    if which == 'largest':
        lo = all_below(field, s, a, b, X)
        return lo, 1 - lo
    up = all_below(field, s, b, a, 1 - X)
    return 1 - up, up


def checked(field, which, p, m, n, x, dps):
    with mp.workdps(dps):
        first = tails(field, which, p, m, n, x)
    with mp.workdps(dps + DPS_STEP):
        second = tails(field, which, p, m, n, x)
    ok = all(v != 0 and abs(u - v) <= abs(v) * mp.mpf(10) ** (-CHECK_DIGITS) for u, v in zip(first, second))
    return second, ok


def logit_point(z):
    return 1 / (1 + math.exp(-z)) if z > -700 else math.exp(z)


def tail_log10(field, which, p, m, n, z, use_lower, dps):
    with mp.workdps(dps):
        lo, up = tails(field, which, p, m, n, logit_point(z))
        v = lo if use_lower else up
        return float(mp.log10(v)) if v > 0 else -1e6


def find_point(field, which, p, m, n, target, use_lower, dps):
    """x where the chosen tail is about 10^target: Illinois regula falsi on
    log10 P against logit x."""
    a, b = math.log(1e-300), 36.0               # x from 1e-300 to 1 - 2e-16
    fa = tail_log10(field, which, p, m, n, a, use_lower, dps) - target
    fb = tail_log10(field, which, p, m, n, b, use_lower, dps) - target
    if fa * fb > 0:
        raise ValueError('no bracket')
    side, c = 0, a
    for _ in range(40):
        c = (a * fb - b * fa) / (fb - fa)
        fc = tail_log10(field, which, p, m, n, c, use_lower, dps) - target
        if abs(fc) < 0.3:
            break
        if fc * fb > 0:
            b, fb = c, fc
            if side == -1:
                fa /= 2
            side = -1
        else:
            a, fa = c, fc
            if side == 1:
                fb /= 2
            side = 1
    return logit_point(c)


CASES = [(1, 1, 1), (1, 5, 20), (2, 3, 2), (3, 3, 5), (5, 2, 7), (3, 10, 40), (6, 8, 12),
         (10, 10, 10), (10, 30, 200), (30, 10, 40), (20, 25, 60), (20, 1000, 1000),
         (50, 50, 60), (50, 200, 1000)]


def search_dps(s):
    return 80 + 6 * s


def final_dps(s):
    return 250 + 8 * s


def case_points(field, which, p, m, n):
    s = min(p, m)
    targets = (-300, -100, -20, -3, math.log10(0.5)) if s < 20 else (-300, -30, math.log10(0.5))
    # largest: lower is the direct tail; smallest: upper
    direct_lower = which == 'largest'
    wanted = [(t, direct_lower) for t in targets] + [(t, not direct_lower) for t in targets[:-1]]
    xs = []
    for target, use_lower in wanted:
        try:
            x = find_point(field, which, p, m, n, target, use_lower, search_dps(s))
        except ValueError:
            continue
        if 0 < x < 1:
            xs.append(float(mp.nstr(mp.mpf(x), 13)))
    return sorted(set(xs))


HEADER = ('// Generated by tools/jacobi_reference.py -- do not edit.\n'
          '// mpmath %s; each value computed at dps = 250 + 8 min(p, m) and at dps + %d,\n'
          '// kept when both tails agree to %d digits. Formulas: monomial-basis\n'
          '// determinant of incomplete beta integrals (complex, Andreief) and the de\n'
          '// Bruijn Pfaffian as sqrt of a determinant ratio with the integration-by-parts\n'
          '// recursion (real); see the script docstring. Tails below 1e-305 are\n'
          '// written as 0 and not compared.\n'
          '// {real?, largest?, p, m, n, x, P(theta<=x), P(theta>x)}\n')


def fmt(v):
    return '0.0' if v < mp.mpf('1e-305') else mp.nstr(v, 20, min_fixed=1, max_fixed=0)


def main_points(out, points_file):
    """Appends values at given points (lines: field which p m n x). For the
    largest cases the search above costs hours; their points were chosen by
    a bisection elsewhere (any points serve: only the values are reference)."""
    start = time.time()
    with open(points_file) as src, open(out, 'a') as fh:
        for line in src:
            if not line.strip() or line.startswith('#'):
                continue
            field, which, p, m, n, x = line.split()
            p, m, n, x = int(p), int(m), int(n), float(x)
            (lo, up), ok = checked(field, which, p, m, n, x, final_dps(min(p, m)))
            if not ok:
                print('precision check failed (dropped)', field, which, p, m, n, x, file=sys.stderr)
                continue
            fh.write('{%d, %d, %d, %d, %d, %r, %s, %s},\n' % (
                field == 'real', which == 'largest', p, m, n, x, fmt(lo), fmt(up)))
            fh.flush()
            print('%7.1fs %s %s p=%d m=%d n=%d x=%r' % (time.time() - start, field, which, p, m, n, x),
                  file=sys.stderr)


def main():
    if len(sys.argv) > 3 and sys.argv[2] == '--points':
        return main_points(sys.argv[1], sys.argv[3])
    out = sys.argv[1] if len(sys.argv) > 1 else 'tests/jacobi/reference_values.inc'
    cases = [tuple(int(v) for v in c.split(':')) for c in sys.argv[2].split(',')] if len(sys.argv) > 2 else CASES
    fields = sys.argv[3].split(',') if len(sys.argv) > 3 else ['real', 'complex']
    whiches = sys.argv[4].split(',') if len(sys.argv) > 4 else ['largest', 'smallest']
    start = time.time()
    with open(out, 'w') as fh:
        fh.write(HEADER % (mp.__version__, DPS_STEP, CHECK_DIGITS))
        for (p, m, n) in cases:
            for field in fields:
                for which in whiches:
                    for x in case_points(field, which, p, m, n):
                        (lo, up), ok = checked(field, which, p, m, n, x, final_dps(min(p, m)))
                        if not ok:
                            print('precision check failed (dropped)', field, which, p, m, n, x, file=sys.stderr)
                            continue
                        fh.write('{%d, %d, %d, %d, %d, %r, %s, %s},\n' % (
                            field == 'real', which == 'largest', p, m, n, x, fmt(lo), fmt(up)))
                        fh.flush()
                    print('%7.1fs %s %s p=%d m=%d n=%d' % (time.time() - start, field, which, p, m, n),
                          file=sys.stderr)


if __name__ == '__main__':
    main()
