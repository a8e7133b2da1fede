"""matrixhyper: hypergeometric functions of matrix argument and the
distributions of the extreme eigenvalues of Wishart matrices.

    matrix_pfq       pFq(a; b; X) or pFq(a; b; X, Y) to a requested accuracy
    wishart_eig_cdf  distribution of the largest or smallest Wishart eigenvalue
    sorn, brint      the truncated series, bit for bit as defined

The values are those of the MATLAB/Octave plug-ins over the same C++ core,
bit for bit. Values that miss their accuracy give a NotConvergedWarning;
bad input raises TypeError or ValueError with the plug-ins' messages. Long
calls release the GIL and give way to Ctrl-C. MATRIXHYPER_THREADS caps the
threads a call fills its tables with.
"""
from ._outcomes import NotConvergedWarning
from ._pfq import PfqInfo, matrix_pfq
from ._series import brint, sorn
from ._wishart import wishart_eig_cdf

__all__ = ["NotConvergedWarning", "PfqInfo", "brint", "matrix_pfq", "sorn", "wishart_eig_cdf"]
