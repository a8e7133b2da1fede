"""sorn and brint: the truncated series, summed exactly as defined, bit for
bit the plug-ins' doubles."""
import numpy as np

from . import _arguments as arguments
from . import _core


def _numbers(inputs):
    """Every input as a numeric array, refused as the plug-ins refuse an input
    that is not a double array."""
    arrays = [arguments.as_numbers(value) for value in inputs]
    if any(array is None for array in arrays):
        raise TypeError("All inputs must be double arrays.")
    return arrays


def _is_bounds(array):
    rows, columns = arguments.host_shape(array)
    return rows == 1 and 1 <= columns <= 2


def _check_values(arrays):
    """The value checks the two plug-ins share, after their shape checks:
    real inputs, a max size, a part bound that is not NaN, alpha."""
    if not all(arguments.is_real(array) for array in arrays):
        raise TypeError("All inputs must be real full double arrays.")
    bounds, alpha = arrays[0].reshape(-1), float(arrays[1].reshape(()))
    if not arguments.is_max_size(bounds[0]):
        raise ValueError("First input must hold a max size of partition from 0 to 2147483646.")
    if bounds.size == 2 and np.isnan(bounds[1]):
        raise ValueError("First input must not hold NaN as max size of the largest part.")
    if not arguments.is_jack_parameter(alpha):
        raise ValueError("Second input must be a positive finite alpha.")


def _bounds(array):
    """(max_size, max_part) of a checked bounds array: max_part defaults to
    max_size."""
    bounds = array.reshape(-1)
    max_size = arguments.truncated(bounds[0])
    max_part = arguments.clamped_part_bound(bounds[1]) if bounds.size == 2 else max_size
    return max_size, max_part


def sorn(bounds, alpha, a, b, x, y=None):
    """Truncated hypergeometric series of one or two matrix arguments.

    value, degree_sums = sorn(bounds, alpha, a, b, x, y=None)

    value is the sum over the partitions kappa with at most n = len(x) parts,
    |kappa| <= max_size and largest part <= max_part, of
    (a_1)_kappa ... (a_p)_kappa / ((b_1)_kappa ... (b_q)_kappa) C_kappa(X) / |kappa|!,
    X the symmetric matrix with eigenvalues x, (c)_kappa the generalised
    Pochhammer symbol and C_kappa the Jack function with parameter alpha
    (normalised so that the C_kappa of the partitions of k add up to
    trace(X)^k). With y each term is further multiplied by
    C_kappa(Y) / C_kappa(I). Every term is derived from the term with one box
    less in a fixed order of operations: the doubles are those of the sorn
    plug-in, bit for bit.

    bounds  max_size, or [max_size, max_part]; both truncated toward zero.
            max_size from 0 to 2147483646; max_part defaults to max_size and
            max_part <= 0 leaves only the empty partition (value 1).
    alpha   Jack parameter, positive and finite.
    a, b    numerator and denominator parameters (empty for none).
    x       the eigenvalues of X: a number or a vector (1-d, or a row or
            column); empty stands for the 0-by-0 X (value 1).
    y       (optional) the eigenvalues of Y: at least len(x) values, of which
            the first len(x) are used.

    Returns value (a float, the sum of degree_sums added in increasing
    degree) and degree_sums (a 1-d array of max_size + 1 floats, element k
    the sum of the terms of the partitions of size k). Bad input raises
    TypeError or ValueError with the plug-in's message; Ctrl-C raises
    KeyboardInterrupt.

    >>> value, degree_sums = sorn([2, 2], 2, 0.5, 1.5, [0.3, 0.2], [1, 0.5])
    >>> value, degree_sums.tolist()
    (1.13509375, [1.0, 0.125, 0.01009375])
    """
    inputs = (bounds, alpha, a, b, x) if y is None else (bounds, alpha, a, b, x, y)
    arrays = _numbers(inputs)
    if not _is_bounds(arrays[0]):
        raise ValueError("First input must be a scalar = max size of partition.")
    if not arguments.is_scalar(arrays[1]):
        raise ValueError("Second input must be a scalar = alpha.")
    if not arguments.is_vector_or_empty(arrays[2]):
        raise ValueError("Third input must be a vector = (a_1,...,a_p).")
    if not arguments.is_vector_or_empty(arrays[3]):
        raise ValueError("Forth input must be a vector = (b_1,...,b_q).")
    if not arguments.is_row_or_column(arrays[4]):
        raise ValueError("Fifth input must be a vector = x.")
    if y is not None and not arguments.is_row_or_column(arrays[5]):
        raise ValueError("Sixth input must be a vector = y.")
    _check_values(arrays)
    if y is not None and arrays[5].size < arrays[4].size:
        raise ValueError("Sixth input must have at least as many elements as the fifth input.")
    max_size, max_part = _bounds(arrays[0])
    x_values = arguments.flat(arrays[4])
    y_values = None if y is None else arguments.flat(arrays[5])[:x_values.size].copy()
    return _core.sorn(max_size, max_part, float(arrays[1].reshape(())), arguments.flat(arrays[2]),
                      arguments.flat(arrays[3]), x_values, y_values, arguments.thread_count())


def brint(bounds, alpha, a, b, n, x):
    """Truncated series pFq(a; b; x I_n) at every point x, from one set of
    per-degree coefficients.

    values, degree_sums = brint(bounds, alpha, a, b, n, x)

    degree_sums[k] is the coefficient of x^k of the series of sorn at the
    n-by-n matrix x I_n (partitions with |kappa| <= max_size, at most n parts,
    largest part <= max_part), and values is
    degree_sums[0] + degree_sums[1] x + ... + degree_sums[max_size] x^max_size
    by Horner's rule from 0, at every point (so an infinite point gives NaN).
    The doubles are those of the brint plug-in, bit for bit.

    bounds  max_size, or [max_size, max_part], as for sorn.
    alpha   Jack parameter, positive and finite.
    a, b    numerator and denominator parameters (empty for none).
    n       number of variables, 0 to 2147483647 (truncated toward zero).
    x       points: a number or an array of any shape.

    Returns values (the shape of x: a numpy float for a number or a 0-d
    array) and degree_sums (a 1-d array of max_size + 1 floats). Bad input
    raises TypeError or ValueError with the plug-in's message; Ctrl-C raises
    KeyboardInterrupt.

    >>> values, degree_sums = brint([4, 4], 2, [], [], 2, [0.5, np.inf, -1])
    >>> values.tolist(), degree_sums.tolist()[:3]
    ([2.708333333333333, nan, 0.3333333333333335], [1.0, 2.0, 2.0])
    """
    arrays = _numbers((bounds, alpha, a, b, n, x))
    if not _is_bounds(arrays[0]):
        raise ValueError("First input must be an array of size 1 or 2 = "
                         "[max size of partition, max size of the largest part].")
    if not arguments.is_scalar(arrays[1]):
        raise ValueError("Second input must be a scalar = alpha.")
    if not arguments.is_vector_or_empty(arrays[2]):
        raise ValueError("Third input must be a vector = (a_1,...,a_p).")
    if not arguments.is_vector_or_empty(arrays[3]):
        raise ValueError("Forth input must be a vector = (b_1,...,b_q).")
    if not arguments.is_scalar(arrays[4]):
        raise ValueError("Fifth input must be a scalar = number of variables.")
    # The points may have any shape: each is evaluated on its own.
    _check_values(arrays)
    variables = float(arrays[4].reshape(()))
    if not arguments.is_variable_count(variables):
        raise ValueError("Fifth input must be a number of variables from 0 to 2147483647.")
    max_size, max_part = _bounds(arrays[0])
    points = arrays[5]
    values, degree_sums = _core.brint(max_size, max_part, float(arrays[1].reshape(())),
                                      arguments.flat(arrays[2]), arguments.flat(arrays[3]),
                                      arguments.truncated(variables), arguments.flat(points))
    return values.reshape(points.shape)[()], degree_sums
