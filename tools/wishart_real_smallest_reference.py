#!/usr/bin/env python3
"""Reference values for the smallest eigenvalue of a real Wishart matrix
W_m(n, Sigma) with r = (n - m - 1)/2 a whole number (tests/wishart/
wishart_real_smallest_test.cpp).

    P(lambda_min > x) = etr(-x Y) sum_{k <= m r} sum_{kappa |- k, kappa_1 <= r} C_kappa(x Y) / k!,
    Y = Sigma^-1 / 2                       (Khatri 1972; Muirhead, Thm 9.7.3).

The zonal polynomials are built here from their definition, independently of
the library's branching-rule tables: C_kappa is the eigenfunction of the
Laplace-Beltrami operator (James 1968; Muirhead, Sec. 7.2)

    D = sum_i y_i^2 d^2/dy_i^2 + sum_{i != j} y_i^2 / (y_i - y_j) d/dy_i

whose expansion in monomial symmetric functions M_lambda starts at M_kappa
(lower terms in dominance order). The operator is applied to each M_mu in
exact rational arithmetic (sympy), the triangular eigenproblem is solved by
back-substitution, and the monic P_kappa is scaled to the C normalisation

    C_kappa = 2^k k! / prod_{boxes s} (2 a(s) + l(s) + 2) * P_kappa

(Jack J_kappa = prod (2 a + l + 1) P_kappa and C_kappa = 2^k k! J_kappa / j_kappa,
j_kappa = prod (2 a + l + 1)(2 a + l + 2); Stanley 1989, Macdonald VI.10).
The script checks sum_{kappa |- k} C_kappa(y) = (tr y)^k exactly before use.
Both tails are then summed in 60 digits by mpmath; the lower tail is
1 - upper there (no digits lost at the printed 20).

Run: python3 tools/wishart_real_smallest_reference.py > cases.inc
"""
from fractions import Fraction
from functools import lru_cache
import itertools

import sympy
from mpmath import mp, mpf, exp, factorial, matrix, eigsy

mp.dps = 60


def partitions(k, parts, largest=None):
    """Partitions of k with at most `parts` parts, in decreasing lexicographic order."""
    if largest is None:
        largest = k
    if k == 0:
        yield ()
        return
    if parts == 0:
        return
    for first in range(min(k, largest), 0, -1):
        for rest in partitions(k - first, parts - 1, first):
            yield (first,) + rest


def monomial(lam, ys):
    """M_lambda(y): the sum of y^e over the distinct permutations e of lambda."""
    exps = tuple(lam) + (0,) * (len(ys) - len(lam))
    total = 0
    for e in set(itertools.permutations(exps)):
        term = 1
        for y, p in zip(ys, e):
            term *= y ** p
        total += term
    return sympy.expand(total)


def laplace_beltrami(f, ys):
    out = sum(y ** 2 * sympy.diff(f, y, 2) for y in ys)
    for i, j in itertools.combinations(range(len(ys)), 2):
        yi, yj = ys[i], ys[j]
        numerator = sympy.expand(yi ** 2 * sympy.diff(f, yi) - yj ** 2 * sympy.diff(f, yj))
        quotient, remainder = sympy.div(numerator, yi - yj, *ys)
        assert remainder == 0
        out += quotient
    return sympy.Poly(sympy.expand(out), *ys)


def coefficient(poly, lam, m):
    exps = tuple(lam) + (0,) * (m - len(lam))
    return Fraction(str(poly.coeff_monomial(exps)))


@lru_cache(maxsize=None)
def zonal_table(m, k):
    """{kappa: {lambda: coefficient of M_lambda in C_kappa}} for kappa |- k, at most m parts."""
    ys = sympy.symbols("y0:%d" % m)
    basis = list(partitions(k, m))            # decreasing lexicographic: a total order refining dominance
    action = {mu: laplace_beltrami(monomial(mu, ys), ys) for mu in basis}
    table = {}
    for kappa in basis:
        eigenvalue = coefficient(action[kappa], kappa, m)
        v = {kappa: Fraction(1)}
        for lam in basis[basis.index(kappa) + 1:]:
            rhs = sum(coefficient(action[mu], lam, m) * c for mu, c in v.items())
            gap = eigenvalue - coefficient(action[lam], lam, m)
            if rhs == 0:
                continue
            assert gap != 0, "degenerate eigenvalue"
            v[lam] = rhs / gap
        scale = Fraction(2 ** k * int(factorial(k)))
        for i, row in enumerate(kappa):
            for j in range(row):
                arm = row - j - 1
                leg = sum(1 for below in kappa[i + 1:] if below > j)
                scale /= 2 * arm + leg + 2
        table[kappa] = {lam: c * scale for lam, c in v.items()}
    # sum_kappa C_kappa = (tr y)^k: coefficient k! / prod(lambda_i!) on M_lambda.
    for lam in basis:
        total = sum(t.get(lam, 0) for t in table.values())
        expected = Fraction(int(factorial(k)))
        for part in lam:
            expected /= int(factorial(part))
        assert total == expected, (m, k, lam, total, expected)
    return table


def zonal_values(m, k, y):
    """{kappa: C_kappa(y)} at the mpf point y (m values)."""
    table = zonal_table(m, k)
    cache = {}
    out = {}
    for kappa, row in table.items():
        value = mpf(0)
        for lam, c in row.items():
            if lam not in cache:
                cache[lam] = sum_monomial(lam, y)
            value += mpf(c.numerator) / c.denominator * cache[lam]
        out[kappa] = value
    return out


def sum_monomial(lam, y):
    exps = tuple(lam) + (0,) * (len(y) - len(lam))
    total = mpf(0)
    for e in set(itertools.permutations(exps)):
        term = mpf(1)
        for v, p in zip(y, e):
            term *= v ** p
        total += term
    return total


def tails(sigma, n, x):
    """(P(lambda_min <= x), P(lambda_min > x)) for real W_m(n, diag(sigma))."""
    m = len(sigma)
    r = (n - m - 1) // 2
    assert 2 * r == n - m - 1 and r >= 0
    y = [x / (2 * s) for s in sigma]
    upper = mpf(0)
    for k in range(m * r + 1):
        values = zonal_values(m, k, y)
        upper += sum(v for kappa, v in values.items() if not kappa or kappa[0] <= r) / factorial(k)
    upper *= exp(-sum(y))
    return 1 - upper, upper


def exact_double(text):
    return mpf(float(text))


def user_sigma_eigenvalues(m, rho):
    """Eigenvalues of Sigma_ij = rho^|i-j|, rounded to doubles."""
    a = matrix(m, m)
    for i in range(m):
        for j in range(m):
            a[i, j] = mpf(rho) ** abs(i - j)
    values, _ = eigsy(a)
    return sorted(float(values[i]) for i in range(m))


CASES = [
    # (label, sigma eigenvalues as doubles, n, x values)
    ("two distinct", [1.0, 3.0], 7, ["0.05", "0.5", "2", "6", "20"]),
    ("repeated pair", [1.0, 1.0, 4.0], 8, ["0.02", "0.3", "1.5", "5", "15"]),
    ("close pair", [1.0, 1.0 + 2.0 ** -30, 4.0], 8, ["0.02", "0.3", "1.5", "5", "15"]),
    ("two decades", [0.05, 0.3, 1.7, 5.0], 11, ["0.01", "0.1", "0.5", "2", "6"]),
    ("Sigma 0.7^|i-j|", user_sigma_eigenvalues(4, "0.7"), 7, ["0.01", "0.1", "0.5", "1.5", "4"]),
    ("spread, r = 4", [0.2, 1.0, 20.0], 12, ["0.02", "0.2", "1", "3", "8"]),
]


def main():
    print("// Generated by tools/wishart_real_smallest_reference.py: zonal polynomials from the")
    print("// Laplace-Beltrami eigenproblem in exact rationals, the finite series in 60 digits.")
    print("// {label, m, n, {sigma...}, x, lower tail, upper tail}")
    for label, sigma, n, xs in CASES:
        sig = [mpf(s) for s in sigma]
        for text in xs:
            x = exact_double(text)
            lower, upper = tails(sig, n, x)
            print('{"%s", %d, %d, {%s}, %s, %s, %s},' % (
                label, len(sigma), n, ", ".join(repr(float(s)) for s in sigma), text,
                mp.nstr(lower, 20, min_fixed=1, max_fixed=0), mp.nstr(upper, 20, min_fixed=1, max_fixed=0)))


if __name__ == "__main__":
    main()
