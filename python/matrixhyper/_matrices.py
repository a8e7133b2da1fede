"""Eigenvalues of a square matrix argument, for the extension module's
argument reading: numpy's LAPACK driver on (A + A^H)/2, once A is finite and
symmetric (Hermitian) to within the plug-ins' tolerance."""
import numpy as np

# How far a square matrix argument may be from symmetric (Hermitian): every
# |a_ij - conj(a_ji)| at most this times its largest |a_kl|, as the plug-ins
# allow. Within it the eigenvalues of (A + A^H)/2 are taken.
HERMITIAN_TOLERANCE = 1e-10


def matrix_eigenvalues(matrix, complex_allowed):
    """(eigenvalues in ascending order, '') or (None, why refused): one of
    'complex_values', 'not_finite', 'not_hermitian', 'eigen_failed',
    'eigen_overflow'."""
    if matrix.dtype.kind == "c" and not complex_allowed:
        return None, "complex_values"
    if not np.isfinite(matrix).all():
        return None, "not_finite"
    adjoint = matrix.conj().T
    with np.errstate(over="ignore", invalid="ignore"):
        if np.abs(matrix - adjoint).max() > HERMITIAN_TOLERANCE * np.abs(matrix).max():
            return None, "not_hermitian"
        try:
            values = np.linalg.eigvalsh(0.5 * (matrix + adjoint))
        except np.linalg.LinAlgError:
            return None, "eigen_failed"
    if not np.isfinite(values).all():
        return None, "eigen_overflow"
    return values, ""
