"""Scalar options read as the plug-ins read them: a real double 1-by-1, or
true/false."""
import numpy as np

from . import _arguments as arguments


def real_scalar(value):
    """value as a float when it is one real number (a Python int or float,
    or a real 1-element array of numbers), else None."""
    if type(value) is float or type(value) is int:
        return float(value)
    array = arguments.as_numbers(value)
    if array is None or not arguments.is_real(array) or not arguments.is_scalar(array):
        return None
    return float(array.reshape(()))


def flag(value):
    """True or False for a boolean (Python's or numpy's, one element) or a
    real scalar 1 or 0, else None."""
    if value is True or value is False:
        return value
    array = np.asarray(value)
    if array.dtype.kind == "b" and arguments.is_scalar(array):
        return bool(array.reshape(()))
    number = real_scalar(value)
    if number is None or number not in (0.0, 1.0):
        return None
    return number == 1.0
