#!/usr/bin/env python3
"""Reference values for tests/pfq/pfq_determinant_test.cpp.

pFq of matrix argument at alpha = 1 by the determinant formulas of
docs/matrix_pfq.md ("alpha = 1 by determinants"), evaluated with mpmath at
80 significant digits (mpmath's own hyp2f1 and determinant; no code of this
library):
    pFq(a; b; X)    = det[x_i^j pFq(a-n+1+j; b-n+1+j; x_i)] / V(x)
    pFq(a; b; X, Y) = K det[pFq(a-n+1; b-n+1; x_i y_j)] / (V(x) V(y)),
    K = prod_{m<n} m! prod (b-n+1)_m / prod (a-n+1)_m,
with V(x) = prod_{i<l} (x_l - x_i) over ascending eigenvalues.
Run: python3 tools/pfq_determinant_reference.py
"""
import mpmath as mp

mp.mp.dps = 80


def vandermonde(v):
    v = sorted(v)
    out = mp.mpf(1)
    for i in range(len(v)):
        for l in range(i + 1, len(v)):
            out *= v[l] - v[i]
    return out


def one_argument(a, b, c, x):
    n = len(x)
    x = sorted(mp.mpf(v) for v in x)
    m = mp.matrix(n, n)
    for i, xi in enumerate(x):
        for j in range(n):
            m[i, j] = xi ** j * mp.hyp2f1(a - n + 1 + j, b - n + 1 + j, c - n + 1 + j, xi)
    return mp.det(m) / vandermonde(x)


def one_argument_any(a, b, x):
    """The same determinant for any lists a, b of parameters (mpmath hyper)."""
    n = len(x)
    x = sorted(mp.mpf(v) for v in x)
    m = mp.matrix(n, n)
    for i, xi in enumerate(x):
        for j in range(n):
            m[i, j] = xi ** j * mp.hyper([v - n + 1 + j for v in a], [v - n + 1 + j for v in b], xi)
    return mp.det(m) / vandermonde(x)


def two_arguments(a, b, c, x, y):
    n = len(x)
    x = sorted(mp.mpf(v) for v in x)
    y = sorted(mp.mpf(v) for v in y)
    at, bt, ct = a - n + 1, b - n + 1, c - n + 1
    m = mp.matrix(n, n)
    for i in range(n):
        for j in range(n):
            m[i, j] = mp.hyp2f1(at, bt, ct, x[i] * y[j])
    k = mp.mpf(1)
    for r in range(n):
        k *= mp.factorial(r) * mp.rf(ct, r) / (mp.rf(at, r) * mp.rf(bt, r))
    return k * mp.det(m) / (vandermonde(x) * vandermonde(y))


def main():
    x8 = [-0.9, -0.55, -0.3, -0.05, 0.1, 0.35, 0.6, 0.85]
    print("2F1(1.5, 2.25; 9.5; X), x =", x8, ":", mp.nstr(one_argument(mp.mpf('1.5'), mp.mpf('2.25'), mp.mpf('9.5'), x8), 25))
    x12 = [-0.95 + 0.15 * i for i in range(12)]
    print("2F1(0.75, 13.5; 15.25; X), x = -0.95 + 0.15 i, i < 12:",
          mp.nstr(one_argument(mp.mpf('0.75'), mp.mpf('13.5'), mp.mpf('15.25'), [mp.mpf(v) for v in x12]), 25))
    x5 = [-0.8, -0.3, 0.2, 0.5, 0.7]
    y5 = [-0.6, 0.1, 0.4, 0.75, 0.9]
    print("2F1(6.5, 7.25; 8.5; X, Y), x =", x5, "y =", y5, ":",
          mp.nstr(two_arguments(mp.mpf('6.5'), mp.mpf('7.25'), mp.mpf('8.5'), x5, y5), 25))

    # n = 40, the range where a point's values come from the relation in m
    # (exact binary eigenvalues: the test passes the same numbers).
    x40 = [-29.25 + 1.5 * i for i in range(40)]
    print("0F1(; 3.5; X), x = -29.25 + 1.5 i, i < 40:",
          mp.nstr(one_argument_any([], [mp.mpf('3.5')], x40), 25))
    x40 = [-9.75 + 1.25 * i for i in range(40)]
    print("1F1(1.5; 4.25; X), x = -9.75 + 1.25 i, i < 40:",
          mp.nstr(one_argument_any([mp.mpf('1.5')], [mp.mpf('4.25')], x40), 25))
    x40 = [(i - 19.5) * 0.046875 for i in range(40)]
    print("2F1(0.75, 1.5; 2.25; X), x = (i - 19.5) 3/64, i < 40:",
          mp.nstr(one_argument_any([mp.mpf('0.75'), mp.mpf('1.5')], [mp.mpf('2.25')], x40), 25))

    # Eigenvalues down to -30 (exact binary): the library sums these through
    # the Pfaff relation, whose points reach 0.968; here mpmath's hyp2f1
    # continues each scalar value beyond -1 on its own.
    x16 = [-29.75 + 2 * i for i in range(16)]
    print("2F1(1.25, 0.5; 3.75; X), x = -29.75 + 2 i, i < 16:",
          mp.nstr(one_argument(mp.mpf('1.25'), mp.mpf('0.5'), mp.mpf('3.75'), x16), 25))
    x20 = [-28.75 + 1.5 * i for i in range(20)]
    print("2F1(0.75, 1.5; 2.25; X), x = -28.75 + 1.5 i, i < 20:",
          mp.nstr(one_argument(mp.mpf('0.75'), mp.mpf('1.5'), mp.mpf('2.25'), x20), 25))
    # b - a an integer (the logarithmic case of the connection to 1 - z).
    print("2F1(1.5, 1.5; 2.25; X), x = -29.75 + 2 i, i < 16:",
          mp.nstr(one_argument(mp.mpf('1.5'), mp.mpf('1.5'), mp.mpf('2.25'), x16), 25))
    print("2F1(0.75, 2.75; 3.25; X), x = -28.75 + 1.5 i, i < 20:",
          mp.nstr(one_argument(mp.mpf('0.75'), mp.mpf('2.75'), mp.mpf('3.25'), x20), 25))
    # A large c: through the Pfaff relation the connection's series in
    # 1 - z would grow to e^1471 before cancelling; the series in z serves.
    x6 = [-29.5 + 5.5 * i for i in range(6)]
    print("2F1(1.5, 1.5; 5888; X), x = -29.5 + 5.5 i, i < 6:",
          mp.nstr(one_argument(mp.mpf('1.5'), mp.mpf('1.5'), mp.mpf('5888'), x6), 25))
    # n = 40 up to 0.47: the determinant cancels some 57 digits, so these
    # take 120 (160 agree in all 30 digits shown).
    with mp.workdps(120):
        x40 = [mp.mpf(-30) + mp.mpf('0.78125') * i for i in range(40)]
        for a, b, c in [('0.75', '1.5', '2.25'), ('1.5', '1.5', '2.25')]:
            print("2F1(%s, %s; %s; X), x = -30 + 0.78125 i, i < 40:" % (a, b, c),
                  mp.nstr(one_argument(mp.mpf(a), mp.mpf(b), mp.mpf(c), x40), 30))


if __name__ == "__main__":
    main()
