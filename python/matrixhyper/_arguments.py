"""Reading the arguments of the package's functions as the plug-ins read theirs.

Each function checks its inputs in the plug-in's order and refuses the first
that fails with the plug-in's message: TypeError when an input is not
numbers at all (or complex where only real numbers are allowed), ValueError
for a shape or a value out of range. Shapes are judged as a MATLAB host
would see the array: a Python number or 0-d array is 1-by-1, a 1-d array of
k values a 1-by-k row, a 2-d array its own rows and columns.
"""
import math
import os

import numpy as np

# Numbers the functions accept: integers and floating point become doubles,
# complex numbers stay complex until a check refuses them; booleans,
# text and objects are not numbers here (as logical and char arrays are not
# doubles to the plug-ins).
_NUMBER_KINDS = "iuf"

# How far a square matrix argument may be from symmetric (Hermitian): every
# |a_ij - conj(a_ji)| at most this times its largest |a_kl|, as the plug-ins
# allow. Within it the eigenvalues of (A + A^H)/2 are taken.
HERMITIAN_TOLERANCE = 1e-10

# A bound on the first part below this truncates to INT_MIN, above the
# next to INT_MAX; clamping changes no result (see clamped_part_bound).
_INT_MIN, _INT_MAX = -2147483648, 2147483647


def thread_count():
    """Threads the core may fill its tables with: MATRIXHYPER_THREADS when it
    holds a positive integer, else 0 (the core's default, the machine's
    hardware threads)."""
    text = os.environ.get("MATRIXHYPER_THREADS", "")
    try:
        count = int(text)
    except ValueError:
        return 0
    return count if count >= 1 else 0


def as_numbers(value):
    """value as a float64 (or complex128) array, or None when it holds no
    numbers."""
    array = np.asarray(value)
    kind = array.dtype.kind
    if kind in _NUMBER_KINDS:
        return array if array.dtype == np.float64 else array.astype(np.float64)
    if kind == "c":
        return array.astype(np.complex128, copy=False)
    return None


def host_shape(array):
    """Rows and columns of the array as a MATLAB host sees it (trailing
    dimensions folded into the columns, as mxGetN does)."""
    if array.ndim == 0:
        return 1, 1
    if array.ndim == 1:
        return 1, array.shape[0]
    return array.shape[0], int(np.prod(array.shape[1:]))


def is_scalar(array):
    return host_shape(array) == (1, 1)


def is_row_or_column(array):
    rows, columns = host_shape(array)
    return rows == 1 or columns == 1


def is_vector_or_empty(array):
    rows, columns = host_shape(array)
    return not (rows > 1 and columns > 1)


def is_real(array):
    return array.dtype.kind != "c"


def all_finite(array):
    # Small arrays are far quicker through Python floats than through a
    # numpy reduction, and most calls pass a few parameters.
    if array.size <= 8:
        return all(math.isfinite(value) for value in array.flat)
    return bool(np.isfinite(array).all())


def is_max_size(value):
    return -1.0 < value < 2147483647.0


def is_variable_count(value):
    return -1.0 < value < 2147483648.0


def is_jack_parameter(value):
    return value > 0 and math.isfinite(value)


def truncated(value):
    """Truncation toward zero of a checked value within the int range."""
    return int(value)


def clamped_part_bound(value):
    """Truncation toward zero into the int range: above max_size a part
    bound admits every partition, at or below 0 only the empty one."""
    if value >= _INT_MAX:
        return _INT_MAX
    if value <= _INT_MIN:
        return _INT_MIN
    return int(value)


def flat(array):
    """The values of a real array in C order, contiguous, as the core reads
    them."""
    return np.ascontiguousarray(array, dtype=np.float64).reshape(-1)


# ---- matrix arguments: eigenvalues, or the symmetric (Hermitian) matrix ----

def is_square_matrix(array):
    return array.ndim == 2 and array.shape[0] == array.shape[1] and array.shape[0] > 1


def eigenvalue_count(array):
    """Eigenvalues the argument holds: n for an n-by-n matrix, else its
    element count."""
    return array.shape[0] if is_square_matrix(array) else array.size


class MatrixArgumentError(Exception):
    """Why a matrix argument was refused: one of the kinds below."""
    NOT_NUMBERS = "not_numbers"
    BAD_SHAPE = "bad_shape"
    COMPLEX_VALUES = "complex_values"
    NOT_HERMITIAN = "not_hermitian"
    NOT_FINITE = "not_finite"
    EIGEN_FAILED = "eigen_failed"
    EIGEN_OVERFLOW = "eigen_overflow"

    def __init__(self, kind):
        super().__init__(kind)
        self.kind = kind


def read_eigenvalues(array, complex_allowed):
    """The eigenvalues of a matrix argument (array from as_numbers, or None):
    in ascending order for a matrix, as given for a row or a column.
    Raises MatrixArgumentError."""
    if array is None:
        raise MatrixArgumentError(MatrixArgumentError.NOT_NUMBERS)
    if is_square_matrix(array):
        return _matrix_eigenvalues(array, complex_allowed)
    if not is_row_or_column(array) and array.size != 0:
        raise MatrixArgumentError(MatrixArgumentError.BAD_SHAPE)
    if not is_real(array):
        raise MatrixArgumentError(MatrixArgumentError.COMPLEX_VALUES)
    if not all_finite(array):
        raise MatrixArgumentError(MatrixArgumentError.NOT_FINITE)
    return flat(array)


def _matrix_eigenvalues(matrix, complex_allowed):
    if not is_real(matrix) and not complex_allowed:
        raise MatrixArgumentError(MatrixArgumentError.COMPLEX_VALUES)
    if not np.isfinite(matrix).all():
        raise MatrixArgumentError(MatrixArgumentError.NOT_FINITE)
    adjoint = matrix.conj().T
    if np.abs(matrix - adjoint).max() > HERMITIAN_TOLERANCE * np.abs(matrix).max():
        raise MatrixArgumentError(MatrixArgumentError.NOT_HERMITIAN)
    with np.errstate(over="ignore", invalid="ignore"):
        try:
            values = np.linalg.eigvalsh(0.5 * (matrix + adjoint))
        except np.linalg.LinAlgError:
            raise MatrixArgumentError(MatrixArgumentError.EIGEN_FAILED) from None
    if not np.isfinite(values).all():
        raise MatrixArgumentError(MatrixArgumentError.EIGEN_OVERFLOW)
    return np.ascontiguousarray(values, dtype=np.float64)
