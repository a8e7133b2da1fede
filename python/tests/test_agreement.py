"""The package answers as the plug-ins do under mexrun: the same doubles bit
for bit, the same info, the same warnings and the same refusals, on the
shared table of calls (tests/python/agreement_calls.txt) and on random calls.

Matrix arguments are the one exception: the package takes their
eigenvalues with numpy's LAPACK driver, the plug-ins with dsyev, and the
two may differ in the last bits, so those calls agree to a few units of
roundoff instead.
"""
import os
import warnings

import numpy as np
import pytest

import matrixhyper
from conftest import REPOSITORY
from matlab_literals import literal, parse_call, parse_outputs

CALLS_FILE = os.path.join(REPOSITORY, "tests", "python", "agreement_calls.txt")

# Relative difference allowed where the eigenvalues of a matrix argument come
# from two LAPACK drivers: a few units of roundoff of eigenvalues, carried
# through the series' conditioning.
MATRIX_ARGUMENT_TOLERANCE = 1e-12

# Fields of matrix_pfq's info that are the same on every run (not the time).
INFO_FIELDS = ("degree", "partitions", "method", "converged", "sign")


# Where the name/value options may start, for the functions that take them.
OPTIONS_FROM = {"matrix_pfq": 3, "wishart_eig_cdf": 3, "wishart_eig_inv": 3,
                "jacobi_eig_cdf": 4, "jacobi_eig_inv": 4}


def table_calls():
    with open(CALLS_FILE) as lines:
        return [line.strip() for line in lines if line.strip() and not line.startswith("#")]


def call_package(function, arguments):
    """The package's function on the call's arguments: name/value options
    (from the first text argument after x on) become keyword arguments. Returns
    (outputs, warning messages, exception)."""
    positional = arguments
    keywords = {}
    if function in OPTIONS_FROM:
        first = next((k for k, a in enumerate(arguments) if k >= OPTIONS_FROM[function] and isinstance(a, str)),
                     len(arguments))
        positional = arguments[:first]
        options = arguments[first:]
        keywords = {options[k].lower(): options[k + 1] for k in range(0, len(options), 2)}
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            outputs = getattr(matrixhyper, function)(*positional, **keywords)
        except (TypeError, ValueError, MemoryError) as error:
            return None, [], error
    messages = [str(w.message) for w in caught if issubclass(w.category, matrixhyper.NotConvergedWarning)]
    return outputs, messages, None


def has_matrix_argument(function, arguments):
    candidates = (arguments[2:] if function == "matrix_pfq"
                  else arguments if function in ("wishart_eig_cdf", "wishart_eig_inv") else [])
    return any(isinstance(a, np.ndarray) and a.ndim == 2 and a.shape[0] == a.shape[1] > 1 for a in candidates)


def assert_same_doubles(name, expected, got, tolerance):
    expected = np.atleast_2d(np.asarray(expected, dtype=float))
    got = np.asarray(got, dtype=float)
    got = got.reshape(1, -1) if got.ndim < 2 else got
    assert expected.shape == got.shape or expected.size == got.size == 0, \
        f"{name}: shape {got.shape}, mexrun {expected.shape}"
    both_nan = np.isnan(expected) & np.isnan(got)
    if tolerance == 0:
        same = both_nan | (expected.view(np.uint64) == got.view(np.uint64))
    else:
        same = both_nan | (np.abs(got - expected) <= tolerance * np.maximum(np.abs(expected), 1e-300))
    assert same.all(), f"{name}: {got.tolist()} against mexrun's {expected.tolist()}"


def check_call(mexrun, call):
    outputs, function, arguments = parse_call(call)
    result = mexrun.run(call)
    assert result.returncode in (0, 1), f"mexrun failed on {call}: {result.stderr}"
    values, warned, error = call_package(function, arguments)
    if result.returncode == 1:
        expected = result.stderr.strip().splitlines()[-1]
        assert error is not None, f"{call}: mexrun refused it ({expected}), the package did not"
        assert f"error: {function}: {error}" == expected, f"{call}: {error!r}"
        return
    assert error is None, f"{call}: the package refused it: {error!r}"
    expected_warnings = [line.split(": ", 2)[2] for line in result.stderr.splitlines()
                         if line.startswith(f"warning: {function}: ")]
    assert warned == expected_warnings, call
    printed = parse_outputs(result.stdout)
    if not isinstance(values, tuple):
        values = (values,)
    tolerance = MATRIX_ARGUMENT_TOLERANCE if has_matrix_argument(function, arguments) else 0
    for name, value in zip(outputs, values):
        if isinstance(value, matrixhyper.PfqInfo):
            got = {field: getattr(value, field) for field in INFO_FIELDS}
            want = {field: printed[f"{name}.{field}"] for field in INFO_FIELDS}
            if tolerance == 0:
                assert got == want, call
            else:
                assert got["method"] == want["method"] and got["converged"] == want["converged"], call
        else:
            assert_same_doubles(f"{call} output {name}", printed[name], value, tolerance)


@pytest.mark.parametrize("call", table_calls())
def test_table_of_calls(mexrun, call):
    check_call(mexrun, call)


# ---- random calls -------------------------------------------------------------

def random_series_call(rng):
    """A sorn or brint call of small size with random parameters and points."""
    bounds = [int(rng.integers(0, 12)), int(rng.integers(-1, 8))]
    alpha = float(rng.choice([0.5, 1.0, 2.0, rng.uniform(0.2, 4)]))
    a = rng.uniform(-2, 3, int(rng.integers(0, 3)))
    b = rng.uniform(0.5, 4, int(rng.integers(0, 3)))
    if rng.random() < 0.5:
        x = rng.uniform(-1, 1, int(rng.integers(1, 5)))
        y = rng.uniform(-1, 1, x.size + int(rng.integers(0, 2))) if rng.random() < 0.5 else None
        args = [bounds, alpha, a, b, x] + ([] if y is None else [y])
        return "[s, d] = sorn(" + ", ".join(literal(v) for v in args) + ")"
    n = int(rng.integers(0, 7))
    x = rng.uniform(-1.5, 1.5, int(rng.integers(0, 4)))
    return "[v, d] = brint(" + ", ".join(literal(v) for v in [bounds, alpha, a, b, n, x]) + ")"


def random_pfq_call(rng):
    """A convergent matrix_pfq call: 0F0, 1F0 and 2F1 inside the unit ball,
    1F1 anywhere, at up to three eigenvalues."""
    n = int(rng.integers(1, 4))
    kind = rng.integers(0, 4)
    if kind == 0:
        a, b, x = [], [], rng.uniform(-5, 5, n)
    elif kind == 1:
        a, b, x = [rng.uniform(-2, 3)], [], rng.uniform(-0.8, 0.8, n)
    elif kind == 2:
        a, b, x = [rng.uniform(0.1, 4)], [rng.uniform(0.6, 6)], rng.uniform(-15, 8, n)
    else:
        a, b, x = rng.uniform(0.1, 3, 2), [rng.uniform(1.1, 5)], rng.uniform(-0.9, 0.6, n)
    args = [literal(np.asarray(a)), literal(np.asarray(b)), literal(x)]
    if rng.random() < 0.3:
        args.append(literal(rng.uniform(-1, 1, n)))
    args += ["'alpha'", literal(float(rng.choice([1.0, 2.0, rng.uniform(0.5, 3)]))), "'tol'", "1e-10"]
    return "[f, err, info] = matrix_pfq(" + ", ".join(args) + ")"


def random_wishart_call(rng):
    m = int(rng.integers(1, 6))
    n = float(m + int(rng.integers(0, 6)))
    x = rng.uniform(0, 6 * (n + m), int(rng.integers(1, 4)))
    options = ["'field'", literal(str(rng.choice(["real", "complex"]))),
               "'tail'", literal(str(rng.choice(["lower", "upper"])))]
    if rng.random() < 0.3:
        options += ["'which'", "'smallest'"]
    elif rng.random() < 0.3 and m <= 3:
        options += ["'sigma'", literal(rng.uniform(0.5, 2, m))]
    elif rng.random() < 0.3 and m <= 3:
        n += 0.5                                   # the series route
    return (f"[P, err] = wishart_eig_cdf({literal(x)}, {m}, {literal(n)}, " + ", ".join(options) + ")")


def random_jacobi_call(rng):
    """A jacobi_eig_cdf call of small size, either extreme and tail, maybe log."""
    p = int(rng.integers(1, 5))
    m, n = int(rng.integers(1, 8)), p + int(rng.integers(0, 8))
    x = rng.uniform(0, 1, int(rng.integers(1, 4)))
    options = ["'field'", literal(str(rng.choice(["real", "complex"]))),
               "'which'", literal(str(rng.choice(["largest", "smallest"]))),
               "'tail'", literal(str(rng.choice(["lower", "upper"])))]
    if rng.random() < 0.3:
        options += ["'log'", "true"]
    return f"[P, err] = jacobi_eig_cdf({literal(x)}, {p}, {m}, {n}, " + ", ".join(options) + ")"


def random_wishart_inv_call(rng):
    """A wishart_eig_inv call on the exact route, either extreme and tail."""
    m = int(rng.integers(1, 5))
    n = m + int(rng.integers(0, 5))
    P = rng.uniform(0, 1, int(rng.integers(1, 3)))
    options = ["'field'", literal(str(rng.choice(["real", "complex"]))),
               "'which'", literal(str(rng.choice(["largest", "smallest"]))),
               "'tail'", literal(str(rng.choice(["lower", "upper"])))]
    return f"[x, err] = wishart_eig_inv({literal(P)}, {m}, {n}, " + ", ".join(options) + ")"


RANDOM_CALLS = 20    # of each kind


def random_calls():
    rng = np.random.default_rng(20261208)
    makers = (random_series_call, random_pfq_call, random_wishart_call, random_jacobi_call,
              random_wishart_inv_call)
    return [maker(rng) for maker in makers for _ in range(RANDOM_CALLS)]


@pytest.mark.parametrize("call", random_calls())
def test_random_calls(mexrun, call):
    check_call(mexrun, call)
