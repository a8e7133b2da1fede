"""sorn and brint: the truncated series, summed exactly as defined, bit for
bit the plug-ins' doubles."""
from . import _core


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
    return _core.sorn(bounds, alpha, a, b, x, y)


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
    values, degree_sums = _core.brint(bounds, alpha, a, b, n, x)
    return values[()], degree_sums
