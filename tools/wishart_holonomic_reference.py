#!/usr/bin/env python3
"""Reference values for the holonomic route of wishart_eig_cdf (real field,
largest eigenvalue, general Sigma), computed in multiprecision (mpmath) from
two independent pieces of mathematics, neither of which is the Pfaffian
system the route integrates:

1. m = 2, any real n > 1, by direct integration of the Wishart density.
   The law of lambda_max depends on Sigma only through its eigenvalues, so
   take Sigma = diag(s1, s2). The density of W is proportional to
   det(W)^((n-3)/2) exp(-w11/(2 s1) - w22/(2 s2)), which does not involve
   w12. lambda_max(W) <= x iff x I - W is positive semidefinite, i.e.
   w11, w22 <= x and w12^2 <= (x - w11)(x - w22). With w12 = sqrt(w11 w22) u,
     int (w11 w22 - w12^2)^((n-3)/2) dw12 = (w11 w22)^((n-2)/2) B(1/2, (n-1)/2) I_{b^2}(1/2, (n-1)/2),
   b^2 = min(1, (x - w11)(x - w22) / (w11 w22)) and I the regularized
   incomplete beta function. b = 1 exactly when w11 + w22 <= x, where the
   inner integral over w22 is a lower incomplete gamma function, so
     P = int_0^x w11^(n/2-1) e^(-w11/(2 s1)) [ (2 s2)^(n/2) gamma(n/2, (x - w11)/(2 s2))
           + int_{x-w11}^x w22^(n/2-1) e^(-w22/(2 s2)) I_{b^2} dw22 ] dw11
         / (Gamma(n/2)^2 (2 s1)^(n/2) (2 s2)^(n/2)).
   The upper tail is the same integral's complement, taken at 50 digits so
   that 1 - P keeps its relative accuracy down to 1e-13.

2. m = 3, the zonal series of
     P = Gamma_m((m+1)/2) / Gamma_m((n+m+1)/2) det(Y)^(n/2) 1F1(n/2; (n+m+1)/2; -Y),
   Y = x Sigma^-1 / 2, through Kummer's relation
     1F1(a; c; -Y) = etr(-Y) 1F1(c - a; c; Y)
   whose terms are all positive. The zonal polynomials C_kappa are built
   here from their definition (Muirhead, Aspects of Multivariate
   Statistical Theory, Sec. 7.2): eigenfunctions of the Laplace-Beltrami
   operator, whose monomial coefficients obey
     c_{kappa,lambda} = sum_mu [(lambda_i + t) - (lambda_j - t)] c_{kappa,mu} / (rho_kappa - rho_lambda),
   mu = lambda with lambda_i + t, lambda_j - t (i < j, t = 1..lambda_j),
   reordered, over mu <= kappa, rho_kappa = sum_i kappa_i (kappa_i - i);
   normalized so that sum_{|kappa| = k} C_kappa(Y) = tr(Y)^k. Exact
   rationals up to degree 26, used only at points whose trace of Y is at
   most 2 (the tail beyond degree 26 is below 2^27/27! < 1.2e-20 of the sum).

3. m = 3 with repeated or nearly repeated eigenvalues of Sigma (a spike over
   a repeated pair, a pair 1e-9 apart, Sigma = c I with a non-integer n, a
   repeated pair with a third eigenvalue 0.3% away):
   the same zonal series, which needs no distinct eigenvalues; the
   eigenvalues are taken as the decimal numbers printed (1 + 1e-9 exactly).
   Points in the bulk (trace(Y) up to 7) take the series to degree 60
   (some five minutes in exact rationals).

Run: python3 tools/wishart_holonomic_reference.py  (prints the C++ rows of
tests/wishart/wishart_holonomic_test.cpp).
"""
from fractions import Fraction
from functools import lru_cache
import math

import mpmath as mp


def m2_lower(n, s1, s2, x):
    n, s1, s2, x = mp.mpf(n), mp.mpf(s1), mp.mpf(s2), mp.mpf(x)
    h = n / 2
    half = mp.mpf(1) / 2

    def inner(w11):
        def outer_part(w22):
            b2 = min(mp.mpf(1), (x - w11) * (x - w22) / (w11 * w22))
            return w22 ** (h - 1) * mp.exp(-w22 / (2 * s2)) * mp.betainc(half, (n - 1) / 2, 0, b2, regularized=True)
        triangle = (2 * s2) ** h * mp.gammainc(h, 0, (x - w11) / (2 * s2))
        band = mp.quad(outer_part, [x - w11, x])
        return w11 ** (h - 1) * mp.exp(-w11 / (2 * s1)) * (triangle + band)

    total = mp.quad(inner, [0, x / 2, x])
    return total / (mp.gamma(h) ** 2 * (2 * s1) ** h * (2 * s2) ** h)


def partitions(k, parts):
    """Partitions of k into at most `parts` parts, in decreasing lexicographic order."""
    out = []

    def rec(left, most, prefix):
        if left == 0:
            out.append(tuple(prefix + [0] * (parts - len(prefix))))
            return
        if len(prefix) == parts:
            return
        for first in range(min(left, most), 0, -1):
            rec(left - first, first, prefix + [first])

    rec(k, k, [])
    return out


def dominated(lam, kappa):
    a = b = 0
    for p, q in zip(lam, kappa):
        a += p
        b += q
        if a > b:
            return False
    return True


def rho(kappa):
    return sum(k * (k - i) for i, k in enumerate(kappa, start=1))


@lru_cache(maxsize=None)
def zonal_monomial_coefficients(k, parts):
    """{kappa: {lambda: c}} for |kappa| = k, C_kappa = sum_lambda c M_lambda."""
    parts_list = partitions(k, parts)
    unnormalized = {}
    for kappa in parts_list:
        coeff = {kappa: Fraction(1)}
        below = [lam for lam in parts_list if lam != kappa and dominated(lam, kappa)]
        # decreasing lexicographic order: every mu above lambda comes first
        for lam in below:
            total = Fraction(0)
            for i in range(parts):
                for j in range(i + 1, parts):
                    for t in range(1, lam[j] + 1):
                        mu = list(lam)
                        mu[i] += t
                        mu[j] -= t
                        mu = tuple(sorted(mu, reverse=True))
                        if mu in coeff:
                            total += ((lam[i] + t) - (lam[j] - t)) * coeff[mu]
            if total:
                coeff[lam] = total / (rho(kappa) - rho(lam))
        unnormalized[kappa] = coeff
    # sum_kappa d_kappa C~_kappa = tr^k, whose M_lambda coefficient is the multinomial.
    d = {}
    for lam in parts_list:  # decreasing: C~_lam's leading M_lam first met here
        target = Fraction(math.factorial(k))
        for part in lam:
            target /= math.factorial(part)
        known = sum(d[kappa] * unnormalized[kappa].get(lam, 0) for kappa in d)
        d[lam] = target - known
    return {kappa: {lam: d[kappa] * c for lam, c in unnormalized[kappa].items()} for kappa in parts_list}


def monomial(lam, y):
    from itertools import permutations
    total = mp.mpf(0)
    for perm in set(permutations(lam)):
        term = mp.mpf(1)
        for p, v in zip(perm, y):
            term *= v ** p
        total += term
    return total


def pochhammer_kappa(a, kappa):
    out = mp.mpf(1)
    for i, part in enumerate(kappa):
        out *= mp.rf(a - mp.mpf(i) / 2, part)
    return out


def zonal_lower(n, sigma, x, degree=26):
    m = len(sigma)
    n = mp.mpf(n)
    y = [mp.mpf(x) / (2 * mp.mpf(s)) for s in sigma]
    # Kummer's terms are at most tr(Y)^k / k! of a sum >= 1: the cut's bound.
    assert sum(y) ** (degree + 1) / mp.factorial(degree + 1) < mp.mpf("1e-20"), "raise the degree"
    a, c = n / 2, (n + m + 1) / 2
    series = mp.mpf(0)
    for k in range(degree + 1):
        for kappa, coeff in zonal_monomial_coefficients(k, m).items():
            value = sum(cf * monomial(lam, y) for lam, cf in coeff.items())
            series += pochhammer_kappa(c - a, kappa) / pochhammer_kappa(c, kappa) * value / mp.factorial(k)
    log_gamma_ratio = sum(mp.loggamma(mp.mpf(m + 1) / 2 - mp.mpf(i) / 2) - mp.loggamma(c - mp.mpf(i) / 2)
                          for i in range(m))
    det = mp.fprod(y)
    return mp.exp(log_gamma_ratio + a * mp.log(det) - sum(y)) * series


def main():
    mp.mp.dps = 50
    # (n, s1, s2, x): spread over the distribution, up to x where the upper tail is ~1e-13.
    m2_cases = [(3, 1.0, 0.25, x) for x in (0.05, 0.5, 2.0, 6.0, 15.0, 40.0, 65.0)] + \
               [(5.5, 2.0, 0.3, x) for x in (0.3, 3.0, 10.0, 25.0, 60.0, 110.0)]
    print("// m = 2: {n, s1, s2, x, P, 1 - P} by the density integral")
    for n, s1, s2, x in m2_cases:
        p = m2_lower(n, s1, s2, x)
        print("    {%s, %s, %s, %s, %s, %s}," % (n, s1, s2, x, mp.nstr(p, 17), mp.nstr(1 - p, 17)))
    # A deep upper-tail point: 1 - P near 1e-25 needs the integral to some
    # 45 digits; taken at 60 (it agreed with 45 digits to 20 of 1 - P).
    mp.mp.dps = 60
    p = m2_lower(3, 1.0, 0.25, 120)
    print("    {3, 1.0, 0.25, 120.0, %s, %s}," % (mp.nstr(p, 17), mp.nstr(1 - p, 17)))
    # A pair 0.09% apart (read off the confluent system at its centre), to
    # the upper tail's 1e-13, at 50 digits and 60 for the last point.
    for x in (2.0, 10.0, 30.0, 70.0):
        mp.mp.dps = 60 if x > 60 else 50
        p = m2_lower(3.5, 1.0, 1.0009, x)
        print("    {3.5, 1.0, 1.0009, %s, %s, %s}," % (x, mp.nstr(p, 17), mp.nstr(1 - p, 17)))
    mp.mp.dps = 40
    print("// m = 1, n = 3.7, sigma = 2.5: {x, log Q} by the incomplete gamma function")
    for x in (1000, 4000):
        q = mp.gammainc(mp.mpf(3.7) / 2, mp.mpf(x) / 5, mp.inf, regularized=True)
        print("    {%s, %s}," % (x, mp.nstr(mp.log(q), 17)))
    mp.mp.dps = 30
    m3_cases = [(3.5, (1.0, 0.5, 0.25), 0.4), (4, (1.0, 0.5, 0.25), 0.25), (6, (2.0, 1.0, 0.7), 1.0),
                (2.2, (3.0, 1.5, 1.0), 1.5)]
    print("// m = 3: {n, s1, s2, s3, x, P} by the zonal series")
    for n, sigma, x in m3_cases:
        p = zonal_lower(n, sigma, x)
        print("    {%s, %s, %s, %s, %s, %s}," % (n, sigma[0], sigma[1], sigma[2], x, mp.nstr(p, 17)))
    repeated_cases = [(4, ("3", "1", "1"), x) for x in ("0.5", "1", "1.7")] + \
                     [(5.5, ("2", "1", "1.000000001"), x) for x in ("0.6", "1.5")] + \
                     [(3.3, ("1.2", "1.2", "1.2"), x) for x in ("0.4", "1.5")] + \
                     [(4, ("2", "2", "0.5"), "1.3"), (4, ("1", "1", "1.003"), "1")]
    bulk_cases = [(4, ("3", "1", "1"), x) for x in ("4", "6")] + [(3.3, ("1.2", "1.2", "1.2"), "5"),
                                                                  (4, ("1", "1", "1.003"), "4")]
    print("// m = 3, repeated or close eigenvalues: {n, s1, s2, s3, x, P} by the zonal series")
    for (n, sigma, x), degree in [(case, 26) for case in repeated_cases] + [(case, 60) for case in bulk_cases]:
        mp.mp.dps = 30 if degree == 26 else 40
        p = zonal_lower(n, [mp.mpf(v) for v in sigma], mp.mpf(x), degree)
        print("    {%s, %s, %s, %s, %s, %s}," % (n, sigma[0], sigma[1], sigma[2], x, mp.nstr(p, 17)))


if __name__ == "__main__":
    main()
