"""jacobi_eig_cdf and jacobi_eig_inv: the distribution of the largest (Roy's
largest root) or smallest eigenvalue of the matrix Beta ensemble, and its
quantiles."""
from . import _core
from ._outcomes import raise_or_warn


def jacobi_eig_cdf(x, p, m, n, *, field="real", which="largest", tail="lower", log=False):
    """Distribution of the largest or smallest eigenvalue of the matrix Beta
    (MANOVA, double Wishart) ensemble.

    P, err = jacobi_eig_cdf(x, p, m, n, *, field='real', which='largest',
                            tail='lower', log=False)

    theta are the eigenvalues of (A + B)^-1 A, A ~ W_p(m, I) (hypothesis) and
    B ~ W_p(n, I) (error) independent, real or complex (field). P is
    P(theta <= x) (tail='lower') or P(theta > x) (tail='upper') for the
    largest (Roy's largest-root statistic) or the smallest of the min(p, m)
    nonzero eigenvalues; both tails are computed directly, by finite
    formulas.

    x      points: a number or an array of any shape, each in [0, 1].
    p      dimension, a whole number from 1 to 1000.
    m      hypothesis degrees of freedom, from 1 to 1000.
    n      error degrees of freedom, from p to 1000.
    log    True returns log P (-inf for P = 0) and err the absolute error
           of log P.

    Returns P and err (a bound on |P - exact P|), each of the shape of x.
    Bad input raises TypeError or ValueError with the plug-in's message; a
    model beyond this route's verified range (non-integer m or n, too many
    eigenvalues) raises ValueError; Ctrl-C raises KeyboardInterrupt.

    >>> P, err = jacobi_eig_cdf([0.5, 0.9], 3, 4, 10)
    >>> [round(v, 12) for v in P], bool((err < 1e-13).all())
    ([0.389190673828, 0.99643495445], True)
    """
    status, P, err, message = _core.jacobi_eig_cdf(x, p, m, n, field, which, tail, log)
    raise_or_warn(status, message)
    return P[()], err[()]


def jacobi_eig_inv(P, p, m, n, *, field="real", which="largest", tail="lower"):
    """Quantiles of the largest or smallest eigenvalue of the matrix Beta
    ensemble: critical values of Roy's largest-root test, the inverse of
    jacobi_eig_cdf.

    x, err = jacobi_eig_inv(P, p, m, n, *, field='real', which='largest',
                            tail='lower')

    x in [0, 1] solves P(theta <= x) = P (tail='lower') or P(theta > x) = P
    (tail='upper'), for the model of jacobi_eig_cdf (same p, m, n, field and
    which). P: a number or an array of any shape, each in [0, 1] or NaN;
    P = 0 and 1 give the ends 0 and 1 of the support, NaN gives NaN.

    Returns x and err (a bound on |x - exact x| that holds when the
    distribution's own err does), each of the shape of P. A quantile the
    solver could not resolve is NaN (err NaN), with a NotConvergedWarning
    naming the points. Bad input raises TypeError or ValueError with the
    plug-in's message; Ctrl-C raises KeyboardInterrupt.

    >>> x, err = jacobi_eig_inv(0.95, 3, 4, 10)
    >>> P, _ = jacobi_eig_cdf(x, 3, 4, 10)
    >>> round(float(P), 12)
    0.95
    """
    status, x, err, message = _core.jacobi_eig_inv(P, p, m, n, field, which, tail)
    raise_or_warn(status, message)
    return x[()], err[()]
