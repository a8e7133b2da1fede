"""matrixhyper: hypergeometric functions of matrix argument and the
distributions of the extreme eigenvalues of Wishart and matrix Beta
matrices.

    matrix_pfq       pFq(a; b; X) or pFq(a; b; X, Y) to a requested accuracy
    wishart_eig_cdf  distribution of the largest or smallest Wishart eigenvalue
    wishart_eig_inv  its quantiles (critical values, detection thresholds)
    jacobi_eig_cdf   distribution of the largest (Roy's largest root) or
                     smallest eigenvalue of the matrix Beta ensemble
    jacobi_eig_inv   its quantiles
    sorn, brint      the truncated series, bit for bit as defined

The values are those of the MATLAB/Octave plug-ins over the same C++ core,
bit for bit. Values that miss their accuracy give a NotConvergedWarning;
bad input raises TypeError or ValueError with the plug-ins' messages. Long
calls release the GIL and give way to Ctrl-C. MATRIXHYPER_THREADS caps the
threads a call uses (for its tables, walks and determinant rows).
"""
from ._jacobi import jacobi_eig_cdf, jacobi_eig_inv
from ._outcomes import NotConvergedWarning
from ._pfq import PfqInfo, matrix_pfq
from ._series import brint, sorn
from ._wishart import wishart_eig_cdf, wishart_eig_inv

__all__ = ["NotConvergedWarning", "PfqInfo", "brint", "jacobi_eig_cdf", "jacobi_eig_inv", "matrix_pfq",
           "sorn", "wishart_eig_cdf", "wishart_eig_inv"]
