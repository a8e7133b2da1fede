"""wishart_eig_cdf: the distribution of the largest or smallest eigenvalue of a
real or complex Wishart matrix."""
import math

from . import _arguments as arguments
from . import _core
from ._outcomes import warn_not_converged
from ._scalars import real_scalar

# Largest dimension and degrees of freedom accepted, as the plug-in allows.
MAX_DIMENSION = 1000
MAX_DEGREES = 100000

# The keyword options and their choices, in the core's order.
_CHOICES = {
    "field": ("real", "complex"),
    "which": ("largest", "smallest"),
    "tail": ("lower", "upper"),
}


def _choice(name, value):
    """Index of value among the option's choices, case-insensitive."""
    choices = _CHOICES[name]
    if isinstance(value, str):
        for index, choice in enumerate(choices):
            if value.lower() == choice:
                return index
    raise ValueError(f"Option '{name}' must be '{choices[0]}' or '{choices[1]}'.")


def _points(x):
    array = arguments.as_numbers(x)
    if array is None or not arguments.is_real(array):
        raise TypeError("First input must be a real double array of points x.")
    if not arguments.all_finite(array):
        raise ValueError("First input must hold finite points x.")
    return array


def _sigma(sigma, m, complex_allowed):
    """Sigma's eigenvalues, or None for the identity."""
    if sigma is None:
        return None
    refusal = ValueError("Option 'sigma' must hold the m positive eigenvalues of Sigma, or Sigma itself.")
    array = arguments.as_numbers(sigma)
    if array is None or arguments.eigenvalue_count(array) != m:
        raise refusal
    try:
        values = arguments.read_eigenvalues(array, complex_allowed)
    except arguments.MatrixArgumentError:
        raise refusal from None
    if not (values > 0).all():
        raise refusal
    return values


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
    points = _points(x)
    dimension = real_scalar(m)
    if dimension is None or not 1 <= dimension <= MAX_DIMENSION or dimension != math.floor(dimension):
        raise ValueError("Second input must be a whole number m from 1 to 1000.")
    degrees = real_scalar(n)
    if degrees is None or not math.isfinite(degrees) or not degrees > dimension - 1 or degrees > MAX_DEGREES:
        raise ValueError("Third input must be a number n greater than m - 1, at most 100000.")
    field, which, tail = _choice("field", field), _choice("which", which), _choice("tail", tail)
    # A 'log' option joins the choices here once the core computes log P.
    sigma_values = _sigma(sigma, int(dimension), complex_allowed=field == 1)
    status, P, err, message = _core.wishart_eig_cdf(arguments.flat(points), int(dimension), degrees,
                                                    field, which, tail, sigma_values)
    if status == "invalid_argument":
        raise ValueError(message)
    if status == "out_of_memory":
        raise MemoryError(message)
    if status == "numerical_failure":
        raise ArithmeticError(message)
    if status == "not_converged":
        warn_not_converged(message)
    return P.reshape(points.shape)[()], err.reshape(points.shape)[()]
