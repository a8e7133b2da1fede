"""wishart_eig_cdf and wishart_eig_inv: the distribution of the largest or
smallest eigenvalue of a real or complex Wishart matrix, and its quantiles."""
from . import _core
from ._outcomes import raise_or_warn


def wishart_eig_cdf(x, m, n, *, field="real", which="largest", tail="lower", sigma=None, log=False,
                    tol=1e-10):
    """Distribution of the largest or smallest eigenvalue of a Wishart matrix.

    P, err = wishart_eig_cdf(x, m, n, *, field='real', which='largest',
                             tail='lower', sigma=None, log=False, tol=1e-10)

    P is P(lambda <= x) (tail='lower') or P(lambda > x) (tail='upper'), lambda
    the largest (which='largest') or smallest eigenvalue of W = Z^T Z, Z an
    n-by-m matrix whose rows are iid N(0, Sigma) (field='real'), or of
    W = Z^H Z with circular complex normal rows, E|z|^2 = 1 per entry for
    Sigma = I (field='complex'). Exact finite formulas give both tails
    directly (tiny p-values keep their relative accuracy) for white Sigma
    and a whole n >= m or a non-integer n >= m - 0.9, and for the complex
    field with any Sigma and integer n >= m. The real largest eigenvalue
    with another Sigma (m <= 10) comes
    from the holonomic gradient method (repeated and close eigenvalues of
    Sigma through the system 1F1 satisfies where they are equal, read at
    their own values), and the real smallest from a finite
    zonal series when (n - m - 1)/2 is whole and from the same holonomic
    system otherwise (m <= 10, integrated backwards; its lower tail is the
    complement of the upper one, carried in more bits where it is small);
    otherwise the largest eigenvalue comes from the series of matrix
    argument, with the upper tail 1 - P. The complex smallest eigenvalue
    with Sigma not a multiple of I needs an integer n.

    x      points: a number or an array of any shape, finite. x <= 0 gives
           0 (lower) or 1 (upper).
    m      dimension, a whole number from 1 to 1000.
    n      degrees of freedom, positive, at most 100000. A whole n < m with
           white Sigma gives the law of the n nonzero eigenvalues ('smallest'
           is the smallest nonzero one); otherwise n must exceed m - 1.
    sigma  None for the identity, a positive scalar c for Sigma = c I, the m
           positive eigenvalues of Sigma, or Sigma itself (symmetric;
           Hermitian for field='complex').
    tol    relative accuracy asked of each point (of the tail asked for, or
           absolute for log): a point that misses it is NaN.
    log    True returns log P (-inf for P = 0) and err the absolute error
           of log P: tiny tail probabilities keep their digits.

    Returns P and err (an estimate of |P - exact P|), each of the shape of
    x (numpy floats for a number or a 0-d array). A point that missed tol
    is NaN, with one NotConvergedWarning per call naming the points, and its
    err says how far it got. Bad
    input raises TypeError or ValueError with the plug-in's message; a
    refused route (the smallest eigenvalue where no route above serves)
    raises ValueError; Ctrl-C raises KeyboardInterrupt.

    >>> P, err = wishart_eig_cdf([20, 40], 5, 10)
    >>> [round(p, 12) for p in P], bool((err < 1e-13).all())
    ([0.402072650162, 0.996243544987], True)
    """
    status, P, err, message = _core.wishart_eig_cdf(x, m, n, field, which, tail, sigma, log, tol)
    raise_or_warn(status, message)
    return P[()], err[()]


def wishart_eig_inv(P, m, n, *, field="real", which="largest", tail="lower", sigma=None):
    """Quantiles of the largest or smallest eigenvalue of a Wishart matrix:
    critical values and detection thresholds, the inverse of wishart_eig_cdf.

    x, err = wishart_eig_inv(P, m, n, *, field='real', which='largest',
                             tail='lower', sigma=None)

    x solves P(lambda <= x) = P (tail='lower') or P(lambda > x) = P
    (tail='upper'), for the model of wishart_eig_cdf (same m, n, field,
    which and sigma).

    P      probabilities: a number or an array of any shape, each in [0, 1]
           or NaN. P = 0 and 1 give 0 and inf (or the reverse for the upper
           tail); NaN gives NaN.
    m      dimension, a whole number from 1 to 100.
    n      degrees of freedom, greater than m - 1, at most 100000.
    sigma  None for the identity, else the m positive eigenvalues of Sigma
           or Sigma itself.

    Returns x and err (a bound on |x - exact x| that holds when the
    distribution's own err does), each of the shape of P. A quantile the
    solver could not resolve is NaN (err NaN), with a NotConvergedWarning
    naming the points. Bad input raises TypeError or ValueError with the
    plug-in's message; Ctrl-C raises KeyboardInterrupt.

    >>> x, err = wishart_eig_inv(0.95, 5, 10)
    >>> P, _ = wishart_eig_cdf(x, 5, 10)
    >>> round(float(P), 12)
    0.95
    """
    status, x, err, message = _core.wishart_eig_inv(P, m, n, field, which, tail, sigma)
    raise_or_warn(status, message)
    return x[()], err[()]
