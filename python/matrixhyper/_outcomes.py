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
