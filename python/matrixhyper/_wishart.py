"""wishart_eig_cdf: the distribution of the largest or smallest eigenvalue of a
real or complex Wishart matrix."""
from . import _core
from ._outcomes import warn_not_converged

def wishart_eig_cdf(x, m, n, *, field="real", which="largest", tail="lower", sigma=None):
    """Distribution of the largest or smallest eigenvalue of a Wishart matrix.

    P, err = wishart_eig_cdf(x, m, n, *, field='real', which='largest',
                             tail='lower', sigma=None)

    P is P(lambda <= x) (tail='lower') or P(lambda > x) (tail='upper'), lambda
    the largest (which='largest') or smallest eigenvalue of W = Z^T Z, Z an
    n-by-m matrix whose rows are iid N(0, Sigma) (field='real'), or of
    W = Z^H Z with circular complex normal rows, E|z|^2 = 1 per entry for
    Sigma = I (field='complex'). For white Sigma and integer n >= m, exact
    finite formulas give both tails directly (tiny p-values keep their
    relative accuracy); otherwise the largest eigenvalue comes from the
    hypergeometric function of matrix argument, with the upper tail 1 - P.
    The smallest eigenvalue needs white Sigma and an integer n.

    x      points: a number or an array of any shape, finite. x <= 0 gives
           0 (lower) or 1 (upper).
    m      dimension, a whole number from 1 to 1000.
    n      degrees of freedom, greater than m - 1, at most 100000.
    sigma  None for the identity, else the m positive eigenvalues of Sigma
           or Sigma itself (symmetric; Hermitian for field='complex').

    Returns P and err (an estimate of |P - exact P|), each of the shape of
    x (numpy floats for a number or a 0-d array). A point that missed its
    accuracy gives a NotConvergedWarning and its err says by how much. Bad
    input raises TypeError or ValueError with the plug-in's message; a
    refused route (the smallest eigenvalue without white Sigma and integer
    n) raises ValueError; Ctrl-C raises KeyboardInterrupt.

    >>> P, err = wishart_eig_cdf([20, 40], 5, 10)
    >>> [round(p, 12) for p in P], bool((err < 1e-13).all())
    ([0.402072650162, 0.996243544987], True)
    """
    # A 'log' keyword joins these once the core computes log P.
    status, P, err, message = _core.wishart_eig_cdf(x, m, n, field, which, tail, sigma)
    if status == "invalid_argument":
        raise ValueError(message)
    if status == "out_of_memory":
        raise MemoryError(message)
    if status == "numerical_failure":
        raise ArithmeticError(message)
    if status == "not_converged":
        warn_not_converged(message)
    return P[()], err[()]
