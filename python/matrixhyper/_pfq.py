"""matrix_pfq: pFq(a; b; X) or pFq(a; b; X, Y) to a requested accuracy with an
error bound."""
from typing import NamedTuple

import numpy as np

from . import _arguments as arguments
from . import _core
from ._outcomes import warn_not_converged
from ._scalars import flag, real_scalar

# The largest max_degree a call may ask for, as the plug-in allows.
MAX_DEGREE_LIMIT = 1000000


class PfqInfo(NamedTuple):
    """How matrix_pfq reached its value."""
    degree: int          # last degree summed
    partitions: int      # terms summed, over all attempts
    method: str          # route and relation used, e.g. "scalar, kummer"
    converged: bool      # whether err <= tol |f| (tol |f| on the log scale with log=True)
    time: float          # seconds in the core
    sign: int            # sign of f (of interest with log=True)


# ---- checks, in the plug-in's order -----------------------------------------

def _parameters(value, ordinal, symbols):
    """A parameter vector as a flat float64 array; raises the plug-in's refusal."""
    array = arguments.as_numbers(value)
    if array is None or not arguments.is_real(array):
        raise TypeError(f"{ordinal} input must be a real vector = ({symbols}).")
    if not arguments.is_vector_or_empty(array):
        raise ValueError(f"{ordinal} input must be a real vector = ({symbols}).")
    if not arguments.all_finite(array):
        raise ValueError(f"{ordinal} input must hold finite values.")
    return arguments.flat(array)


class _Options(NamedTuple):
    alpha: float
    tol: float
    max_degree: int
    log: bool


def _options(alpha, tol, max_degree, log):
    number = real_scalar(alpha)
    if number is None or not arguments.is_jack_parameter(number):
        raise ValueError("Option 'alpha' must be a positive finite scalar.")
    alpha = number
    number = real_scalar(tol)
    if number is None or not 0 < number < 1:
        raise ValueError("Option 'tol' must be a scalar between 0 and 1.")
    tol = number
    if max_degree is None:
        max_degree = 0                           # the core's automatic cap
    else:
        number = real_scalar(max_degree)
        if number is None or not 1 <= number <= MAX_DEGREE_LIMIT or number != int(number):
            raise ValueError("Option 'max_degree' must be a whole number from 1 to 1000000.")
        max_degree = int(number)
    log = flag(log)
    if log is None:
        raise ValueError("Option 'log' must be true or false.")
    return _Options(alpha, tol, max_degree, log)


def _matrix_refusal(kind, ordinal):
    """The exception refusing a matrix argument, named by its ordinal."""
    kinds = arguments.MatrixArgumentError
    if kind == kinds.COMPLEX_VALUES:
        return TypeError(f"{ordinal} input must be real unless it is a Hermitian matrix and alpha is 1.")
    if kind == kinds.NOT_HERMITIAN:
        return ValueError(f"{ordinal} input must be symmetric (Hermitian with alpha = 1) to within 1e-10 "
                          "of its largest entry.")
    if kind == kinds.NOT_FINITE:
        return ValueError(f"{ordinal} input must hold finite values.")
    if kind == kinds.EIGEN_FAILED:
        return ValueError(f"{ordinal} input: the eigenvalue solver did not converge.")
    if kind == kinds.EIGEN_OVERFLOW:
        return ValueError(f"{ordinal} input has eigenvalues beyond the double range.")
    message = f"{ordinal} input must be a row or column of eigenvalues, or a square matrix."
    return TypeError(message) if kind == kinds.NOT_NUMBERS else ValueError(message)


def _eigenvalues(array, complex_allowed, ordinal):
    """(eigenvalues, None), or (None, the refusal kind); eigenvalues that
    overflow are refused only after both arguments passed their own checks."""
    try:
        return arguments.read_eigenvalues(array, complex_allowed), None
    except arguments.MatrixArgumentError as error:
        if error.kind != arguments.MatrixArgumentError.EIGEN_OVERFLOW:
            raise _matrix_refusal(error.kind, ordinal) from None
        return None, error.kind


def _matrix_arguments(x, y, options):
    """The eigenvalues of x (and y, or None) as flat float64 arrays."""
    if y is not None and arguments.eigenvalue_count(np.asarray(y)) != arguments.eigenvalue_count(np.asarray(x)):
        raise ValueError("Fourth input must have as many eigenvalues as the third.")
    complex_allowed = options.alpha == 1
    x_values, x_overflow = _eigenvalues(arguments.as_numbers(x), complex_allowed, "Third")
    y_values, y_overflow = (None, None)
    if y is not None:
        y_values, y_overflow = _eigenvalues(arguments.as_numbers(y), complex_allowed, "Fourth")
    if x_overflow:
        raise _matrix_refusal(x_overflow, "Third")
    if y_overflow:
        raise _matrix_refusal(y_overflow, "Fourth")
    return x_values, y_values


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
    a = _parameters(a, "First", "a_1,...,a_p")
    b = _parameters(b, "Second", "b_1,...,b_q")
    options = _options(alpha, tol, max_degree, log)
    x_values, y_values = _matrix_arguments(x, y, options)
    (status, value, err, degree, partitions, method, converged, seconds, sign,
     message) = _core.matrix_pfq(a, b, x_values, y_values, options.alpha, options.tol,
                                 options.max_degree, options.log, arguments.thread_count())
    if status == "invalid_argument":
        raise ValueError(message)
    if status == "refused":
        raise MemoryError(message)
    if status == "not_converged":
        warn_not_converged(message)
    return value, err, PfqInfo(degree, partitions, method, converged, seconds, sign)
