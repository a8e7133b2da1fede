#!/usr/bin/env python3
"""Reference values of the zonal (alpha = 2) 1F1(a; c; X) of a 3 x 3 argument
for matrix_pfq's holonomic route, computed from the zonal series itself, not
from the Pfaffian system the route integrates.

The zonal polynomials are built in exact rationals from their definition as
eigenfunctions of the Laplace-Beltrami operator (the construction and its
normalisation sum_{|kappa| = k} C_kappa = tr^k are those of
tools/wishart_holonomic_reference.py, imported from there), and

    1F1(a; c; X) = sum_k sum_{|kappa| = k} (a)_kappa / (c)_kappa C_kappa(X) / k!,
    (a)_kappa = prod_i (a - (i - 1)/2)_{kappa_i},

summed in 40 digits. A negative X goes through Kummer's relation
1F1(a; c; X) = etr(X) 1F1(c - a; c; -X), whose terms are then all positive
(0 < c - a < c): each is at most tr(-X)^k / k! of a sum >= 1, so the cut
after degree 40 is below 1e-20 of the sum (asserted). Points with a positive
X have 1 < a < c, where the same holds.

Run: python3 tools/pfq_holonomic_reference.py  (prints the C++ rows of
tests/pfq/pfq_holonomic_test.cpp; about a minute).
"""
import os
import sys

import mpmath as mp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wishart_holonomic_reference import monomial, pochhammer_kappa, zonal_monomial_coefficients  # noqa: E402

DEGREE = 40
CASES = [  # a, c, eigenvalues of X
    (2.0, 5.0, [-0.5, -1.5, -2.5]),
    (0.75, 2.25, [-0.5, -1.25, -2.5]),
    (1.5, 4.0, [0.5, 1.0, 1.5]),
    (1.25, 3.1, [0.25, 1.0, 2.5]),
]


def hyp1f1_positive_terms(a, c, y):
    trace = sum(y)
    assert trace ** (DEGREE + 1) / mp.factorial(DEGREE + 1) * mp.exp(trace) < mp.mpf("1e-20"), "raise DEGREE"
    total = mp.mpf(0)
    for k in range(DEGREE + 1):
        for kappa, coeff in zonal_monomial_coefficients(k, len(y)).items():
            value = sum(cf * monomial(lam, y) for lam, cf in coeff.items())
            total += pochhammer_kappa(a, kappa) / pochhammer_kappa(c, kappa) * value / mp.factorial(k)
    return total


def hyp1f1(a, c, x):
    a, c = mp.mpf(a), mp.mpf(c)
    x = [mp.mpf(v) for v in x]
    if all(v < 0 for v in x):
        return mp.exp(sum(x)) * hyp1f1_positive_terms(c - a, c, [-v for v in x])
    assert all(v > 0 for v in x) and 1 < a < c
    return hyp1f1_positive_terms(a, c, x)


def main():
    mp.mp.dps = 40
    for a, c, x in CASES:
        value = hyp1f1(a, c, x)
        print("        {%s, %s, {%s}, %s}," % (repr(a), repr(c), ", ".join(repr(v) for v in x),
                                              mp.nstr(value, 20)))


if __name__ == "__main__":
    main()
