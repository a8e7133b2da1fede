"""The eigenvalue distributions and their quantiles against independent
mathematics: one-dimensional models, where the extreme eigenvalue is a
chi-square or a Beta variable (mpmath's regularized incomplete gamma and
beta functions, 40 digits), the symmetry theta <-> 1 - theta of the matrix
Beta ensemble, and the inverses against their distributions.
"""
import warnings

import mpmath
import numpy as np
import pytest

import matrixhyper
from matrixhyper import _core

mpmath.mp.dps = 40

# The core's accuracy on these small models: absolute on probabilities,
# relative on quantiles and on log P.
PROBABILITY_TOLERANCE = 1e-13
QUANTILE_TOLERANCE = 1e-10
LOG_TOLERANCE = 1e-12


def chi_square_cdf(n, x, upper=False):
    """P(chi^2_n <= x) or P(chi^2_n > x): W = z^T z for m = 1, real."""
    return mpmath.gammainc(mpmath.mpf(n) / 2, 0 if not upper else mpmath.mpf(x) / 2,
                           mpmath.mpf(x) / 2 if not upper else mpmath.inf, regularized=True)


def beta_cdf(a, b, x, upper=False):
    """P(B <= x) or P(B > x) for B ~ Beta(a, b)."""
    return mpmath.betainc(a, b, 0 if not upper else x, x if not upper else 1, regularized=True)


# ---- wishart_eig_cdf's log option ------------------------------------------------

def test_wishart_log_keeps_the_digits_of_tiny_tails():
    # m = 1 real: lambda = chi^2_n. The upper tail at x = 400, n = 10 is near
    # 1e-80, out of reach of 1 - P; log P keeps it to the last digits.
    x = np.array([0.5, 10.0, 400.0])
    for tail in ("lower", "upper"):
        logP, err = matrixhyper.wishart_eig_cdf(x, 1, 10, tail=tail, log=True)
        P, _ = matrixhyper.wishart_eig_cdf(x, 1, 10, tail=tail)
        for k, point in enumerate(x):
            exact = mpmath.log(chi_square_cdf(10, point, upper=tail == "upper"))
            assert abs(logP[k] - float(exact)) <= LOG_TOLERANCE * max(1.0, abs(float(exact))), (tail, point)
            assert err[k] <= LOG_TOLERANCE * max(1.0, abs(float(exact)))
            if P[k] > 1e-300:
                assert logP[k] == pytest.approx(np.log(P[k]), rel=1e-12, abs=1e-14)


def test_wishart_log_of_zero_is_minus_infinity_and_refusals():
    logP, _ = matrixhyper.wishart_eig_cdf(-1.0, 3, 7, log=True)
    assert logP == -np.inf
    with pytest.raises(ValueError, match=r"^Option 'log' must be true or false\.$"):
        matrixhyper.wishart_eig_cdf(1, 2, 3, log="yes")
    # m above the exact route's 100 is the series' (up to 1000): not refused
    # for its m; a fractional n below m - 1 has no Wishart matrix.
    with pytest.raises(ValueError, match=r"^Third input must be a positive number n"):
        matrixhyper.wishart_eig_cdf(1, 500, 0)
    with pytest.raises(ValueError, match=r"^A non-integer n must exceed m - 1"):
        matrixhyper.wishart_eig_cdf(1, 500, 10.5)


# ---- jacobi_eig_cdf ---------------------------------------------------------------

@pytest.mark.parametrize("field, a, b", [("real", 1.5, 3.5), ("complex", 3, 7)])
def test_jacobi_one_dimensional_is_a_beta_variable(field, a, b):
    # p = 1: theta = A / (A + B), A and B independent chi-squares (real: m
    # and n degrees of freedom, halved; complex: gamma(m), gamma(n)), so
    # theta ~ Beta(a, b) with m = 3, n = 7. Both extremes are theta.
    x = np.array([0.0, 0.05, 0.3, 0.7, 0.999, 1.0])
    for which in ("largest", "smallest"):
        for tail in ("lower", "upper"):
            P, err = matrixhyper.jacobi_eig_cdf(x, 1, 3, 7, field=field, which=which, tail=tail)
            exact = np.array([float(beta_cdf(a, b, v, upper=tail == "upper")) for v in x])
            np.testing.assert_allclose(P, exact, rtol=0, atol=PROBABILITY_TOLERANCE)
            assert (err <= PROBABILITY_TOLERANCE).all()
    # The upper tail at 0.999 is near 1e-16 (real) or 1e-21: log keeps it.
    logP, _ = matrixhyper.jacobi_eig_cdf(0.999, 1, 3, 7, field=field, tail="upper", log=True)
    assert logP == pytest.approx(float(mpmath.log(beta_cdf(a, b, 0.999, upper=True))), rel=LOG_TOLERANCE)


@pytest.mark.parametrize("field", ["real", "complex"])
def test_jacobi_largest_and_smallest_are_mirror_images(field):
    # 1 - theta are the eigenvalues of (A + B)^-1 B: swapping m and n turns
    # the largest eigenvalue's lower tail at x into the smallest one's upper
    # tail at 1 - x (p <= m, n: no zero eigenvalues).
    x = np.array([0.2, 0.45, 0.6, 0.85])
    largest, _ = matrixhyper.jacobi_eig_cdf(x, 3, 5, 9, field=field)
    smallest, _ = matrixhyper.jacobi_eig_cdf(1 - x, 3, 9, 5, field=field, which="smallest", tail="upper")
    np.testing.assert_allclose(largest, smallest, rtol=0, atol=2 * PROBABILITY_TOLERANCE)
    assert np.all(np.diff(largest) > 0) and 0 < largest[0] and largest[-1] < 1


def test_jacobi_keeps_the_shape_of_x_and_refuses_as_the_plugin():
    P, err = matrixhyper.jacobi_eig_cdf(np.full((2, 3), 0.5), 2, 3, 6)
    assert P.shape == err.shape == (2, 3) and len(set(P.ravel())) == 1
    assert isinstance(matrixhyper.jacobi_eig_cdf(0.5, 2, 3, 6)[0], np.floating)
    for call, kind, message in [
            (lambda: matrixhyper.jacobi_eig_cdf("x", 2, 3, 6), TypeError, "First input must be a real double array"),
            (lambda: matrixhyper.jacobi_eig_cdf(1.5, 2, 3, 6), ValueError, "First input must hold points x in [0, 1]."),
            (lambda: matrixhyper.jacobi_eig_cdf(0.5, 2.5, 3, 6), ValueError, "Second input must be a whole number p"),
            (lambda: matrixhyper.jacobi_eig_cdf(0.5, 3, 3, 2), ValueError, "Fourth input must be a number n from p"),
            (lambda: matrixhyper.jacobi_eig_cdf(0.5, 2, 3, 6, tail="both"), ValueError,
             "Option 'tail' must be 'lower' or 'upper'.")]:
        with pytest.raises(kind) as raised:
            call()
        assert str(raised.value).startswith(message)
    with pytest.raises(ValueError):                     # out of reach: non-integer m
        matrixhyper.jacobi_eig_cdf(0.5, 2, 3.5, 6)


# ---- wishart_eig_inv ----------------------------------------------------------------

def test_wishart_inv_of_one_dimension_is_the_chi_square_quantile():
    P = np.array([1e-6, 0.05, 0.5, 0.95])
    for tail in ("lower", "upper"):
        x, err = matrixhyper.wishart_eig_inv(P, 1, 10, tail=tail)
        for k, p in enumerate(P):
            exact = mpmath.findroot(lambda t: chi_square_cdf(10, t, upper=tail == "upper") - p, float(x[k]))
            assert abs(x[k] - float(exact)) <= QUANTILE_TOLERANCE * float(exact), (tail, p)
            assert err[k] <= QUANTILE_TOLERANCE * float(exact)


@pytest.mark.parametrize("m, n, options", [(5, 12, {}), (5, 12, {"field": "complex"}),
                                            (5, 12, {"which": "smallest", "tail": "upper"}),
                                            (2, 4, {"sigma": [1.0, 2.0]})])
def test_wishart_inv_inverts_the_distribution(m, n, options):
    P = np.array([[0.01, 0.5], [0.9, 0.999]])
    x, err = matrixhyper.wishart_eig_inv(P, m, n, **options)
    assert x.shape == err.shape == (2, 2) and (np.diff(x.ravel()) != 0).all()
    back, _ = matrixhyper.wishart_eig_cdf(x, m, n, **options)
    np.testing.assert_allclose(back, P, rtol=1e-9, atol=1e-12)


def test_wishart_inv_ends_nan_and_refusals():
    x, err = matrixhyper.wishart_eig_inv([0.0, 1.0, np.nan], 3, 7)
    assert x[0] == 0 and x[1] == np.inf and np.isnan(x[2]) and np.isnan(err[2])
    x, _ = matrixhyper.wishart_eig_inv([0.0, 1.0], 3, 7, tail="upper")
    assert x[0] == np.inf and x[1] == 0
    for call, kind, message in [
            (lambda: matrixhyper.wishart_eig_inv(1.5, 3, 7), ValueError,
             "First input must hold probabilities P in [0, 1] (or NaN)."),
            (lambda: matrixhyper.wishart_eig_inv([0.5j], 3, 7), TypeError,
             "First input must be a real double array of probabilities P."),
            (lambda: matrixhyper.wishart_eig_inv(0.5, 3, 7, sigma=[1, 2]), ValueError,
             "Option 'sigma' must be a positive scalar c (Sigma = c I), the m positive eigenvalues of Sigma, "
             "or Sigma itself.")]:
        with pytest.raises(kind) as raised:
            call()
        assert str(raised.value) == message


# ---- jacobi_eig_inv ---------------------------------------------------------------

@pytest.mark.parametrize("field, a, b", [("real", 1.5, 3.5), ("complex", 3, 7)])
def test_jacobi_inv_of_one_dimension_is_the_beta_quantile(field, a, b):
    P = np.array([0.001, 0.05, 0.5, 0.95])
    for tail in ("lower", "upper"):
        x, err = matrixhyper.jacobi_eig_inv(P, 1, 3, 7, field=field, tail=tail)
        for k, p in enumerate(P):
            # A bracketing solver, so that no step leaves [0, 1].
            bracket = (float(x[k]) * (1 - 1e-8), min(1.0, float(x[k]) * (1 + 1e-8)))
            exact = mpmath.findroot(lambda t: beta_cdf(a, b, t, upper=tail == "upper") - p, bracket,
                                    solver="illinois")
            assert abs(x[k] - float(exact)) <= QUANTILE_TOLERANCE * float(exact), (tail, p)


def test_jacobi_inv_inverts_the_distribution_and_keeps_the_ends():
    P = np.array([[0.0, 0.01], [0.95, 1.0]])
    x, err = matrixhyper.jacobi_eig_inv(P, 3, 5, 9, which="smallest")
    assert x.shape == (2, 2) and x[0, 0] == 0 and x[1, 1] == 1
    back, _ = matrixhyper.jacobi_eig_cdf(x[[0, 1], [1, 0]], 3, 5, 9, which="smallest")
    np.testing.assert_allclose(back, [0.01, 0.95], rtol=1e-9)
    with pytest.raises(ValueError, match=r"^First input must hold probabilities P in \[0, 1\] \(or NaN\)\.$"):
        matrixhyper.jacobi_eig_inv(-0.5, 3, 5, 9)
