"""What the package's functions raise and warn when the core did not simply
succeed."""
import warnings


class NotConvergedWarning(RuntimeWarning):
    """A value that did not meet its requested accuracy: it is the best the
    call found, and its err says by how much it may be off."""


def warn_not_converged(message, stacklevel=3):
    """Warns from the caller of the public function (stacklevel 3: this
    helper, the public function, its caller)."""
    warnings.warn(NotConvergedWarning(message), stacklevel=stacklevel)


def raise_or_warn(status, message, stacklevel=4):
    """The exception or the warning for the status of a distribution's call
    (wishart_eig_*, jacobi_eig_*): a refused model is a ValueError, as bad
    input is; "ok" passes. Warns from the caller of the public function
    (stacklevel 4: warn_not_converged, this helper, the public function)."""
    if status in ("invalid_argument", "out_of_reach"):
        raise ValueError(message)
    if status == "out_of_memory":
        raise MemoryError(message)
    if status == "numerical_failure":
        raise ArithmeticError(message)
    if status == "not_converged":
        warn_not_converged(message, stacklevel=stacklevel)
