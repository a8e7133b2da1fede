"""matrix_pfq: pFq(a; b; X) or pFq(a; b; X, Y) to a requested accuracy with an
error bound."""
from typing import NamedTuple

from . import _core
from ._outcomes import warn_not_converged


class PfqInfo(NamedTuple):
    """How matrix_pfq reached its value."""
    degree: int          # last degree summed
    partitions: int      # terms summed, over all attempts
    method: str          # route and relation used, e.g. "scalar, kummer"
    converged: bool      # whether the value met tol (err within tol of it)
    time: float          # seconds in the core
    sign: int            # sign of f (of interest with log=True)


def matrix_pfq(a, b, x, y=None, *, alpha=2, tol=1e-12, max_degree=None, log=False):
    """Hypergeometric function of one or two matrix arguments, to an accuracy.

    f, err, info = matrix_pfq(a, b, x, y=None, *, alpha=2, tol=1e-12,
                              max_degree=None, log=False)

    f is pFq(a; b; X) = sum_k sum_{|kappa|=k} (a)_kappa / (b)_kappa C_kappa(X) / k!
    over the partitions kappa, (c)_kappa the generalised Pochhammer symbol and
    C_kappa the Jack polynomial with parameter alpha normalised so that the
    C_kappa of the partitions of k add up to trace(X)^k; with y, each term is
    further multiplied by C_kappa(Y) / C_kappa(I). alpha = 2 gives the zonal
    polynomials of real symmetric matrices, alpha = 1 the Schur functions of
    complex Hermitian ones.

    a, b        numerator and denominator parameters: numbers, a sequence or
                a 1-d array (empty for none), finite.
    x           the eigenvalues of X (a number, a sequence, a 1-d array, or a
                1-by-n / n-by-1 array), or X itself as an n-by-n symmetric
                array (complex Hermitian when alpha is 1), whose eigenvalues
                are taken with numpy.linalg.eigvalsh of (X + X^H)/2 after
                checking symmetry to within 1e-10 of its largest entry.
    y           the eigenvalues of Y, or Y itself, as many as x has.
    alpha       Jack parameter, positive and finite.
    tol         relative accuracy asked of f, in (0, 1).
    max_degree  cap on the degree summed, 1 to 1000000; None chooses it
                (with a work budget of some 20 s).
    log         True returns log|f| as f, with the sign in info.sign.

    Returns f (a float), err (a bound on |f - true value|; on log|f| with
    log=True) and info, a PfqInfo (degree, partitions, method, converged,
    time, sign). When tol cannot be met (the degree cap, the memory or work
    budget, cancellation), the best value comes back with an honest err,
    info.converged False and a NotConvergedWarning. Bad input raises
    TypeError or ValueError with the plug-in's message; a series that
    diverges or reaches a pole raises ValueError; tables too large for
    max_degree raise MemoryError. Ctrl-C raises KeyboardInterrupt.

    >>> f, err, info = matrix_pfq(0.5, 1.5, -30)        # 1F1(1/2; 3/2; -30)
    >>> round(f, 12), err < 1e-12 * f, info.method
    (0.16180215938, True, 'scalar, kummer')
    >>> f, err, info = matrix_pfq([], [], [[1.0, 0.5], [0.5, 1.0]])   # etr(X)
    >>> abs(f - 7.38905609893065) < 1e-13
    True
    """
    (status, value, err, degree, partitions, method, converged, seconds, sign,
     message) = _core.matrix_pfq(a, b, x, y, alpha, tol, max_degree, log)
    if status == "invalid_argument":
        raise ValueError(message)
    if status == "refused":
        raise MemoryError(message)
    if status == "not_converged":
        warn_not_converged(message)
    return value, err, PfqInfo(degree, partitions, method, converged, seconds, sign)
