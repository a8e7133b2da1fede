"""Python conventions of the package: exception and warning classes, numpy
shapes in and out, the docstring examples, Ctrl-C and the GIL.

Values here come from closed forms (exp of the trace for 0F0, the
determinant for 1F0) or from the same call in another shape, whose doubles
the agreement tests tie to the plug-ins.
"""
import doctest
import math
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time
import warnings

import numpy as np
import pytest

import matrixhyper
from matrixhyper import _core, _jacobi, _pfq, _series, _wishart


# ---- exceptions and warnings -----------------------------------------------------

@pytest.mark.parametrize("call, kind, message", [
    (lambda: matrixhyper.sorn(2, 1, 0.5, 1.5, "x"), TypeError, "All inputs must be double arrays."),
    (lambda: matrixhyper.sorn(2, 1, 0.5, 1.5, [True, False]), TypeError, "All inputs must be double arrays."),
    (lambda: matrixhyper.sorn(2, 1, 0.5, 1.5, [0.3, 0.2j]), TypeError, "All inputs must be real full double arrays."),
    (lambda: matrixhyper.sorn(2, 1, 0.5, 1.5, np.ones((2, 2, 2))), ValueError, "Fifth input must be a vector = x."),
    (lambda: matrixhyper.brint([[4], [4]], 2, [], [], 2, 1), ValueError,
     "First input must be an array of size 1 or 2 = [max size of partition, max size of the largest part]."),
    (lambda: matrixhyper.matrix_pfq(1, 2, object()), TypeError,
     "Third input must be a row or column of eigenvalues, or a square matrix."),
    (lambda: matrixhyper.matrix_pfq(1, 2, 0.5, log="yes"), ValueError, "Option 'log' must be true or false."),
    (lambda: matrixhyper.matrix_pfq(1, 2, 0.5, alpha=True), ValueError, "Option 'alpha' must be a positive finite scalar."),
    (lambda: matrixhyper.matrix_pfq(1, 2, [[1, 0], [0, 1j]], alpha=2), TypeError,
     "Third input must be real unless it is a Hermitian matrix and alpha is 1."),
    (lambda: matrixhyper.wishart_eig_cdf([1, 2], 2, 3, field=None), ValueError,
     "Option 'field' must be 'real' or 'complex'."),
    (lambda: matrixhyper.wishart_eig_cdf(["a"], 2, 3), TypeError, "First input must be a real double array of points x."),
])
def test_refusals_raise_python_exceptions_with_the_plugins_messages(call, kind, message):
    with pytest.raises(kind) as raised:
        call()
    assert str(raised.value) == message


def test_unknown_options_are_python_keyword_errors():
    with pytest.raises(TypeError):
        matrixhyper.matrix_pfq(1, 2, 0.5, tolerance=1e-8)
    with pytest.raises(TypeError):
        matrixhyper.wishart_eig_cdf(1, 2, 3, "real")       # options are keyword-only


def test_a_missed_accuracy_warns_from_the_callers_line():
    # pFq with a degree cap far below what the tail rule needs: the value is
    # the partial sum and err is infinite, so the call must say so.
    assert issubclass(matrixhyper.NotConvergedWarning, RuntimeWarning)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        f, err, info = matrixhyper.matrix_pfq([], [], [-40, 3], [1, -2], max_degree=20)
    assert [w.category for w in caught] == [matrixhyper.NotConvergedWarning]
    assert caught[0].filename == __file__
    assert not info.converged and err == math.inf and info.degree == 20
    with warnings.catch_warnings():
        warnings.simplefilter("error", matrixhyper.NotConvergedWarning)
        with pytest.raises(matrixhyper.NotConvergedWarning):
            matrixhyper.matrix_pfq([], [], [-40, 3], [1, -2], max_degree=20)


def test_converged_calls_do_not_warn():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        matrixhyper.matrix_pfq(0.5, 1.5, -30)
        matrixhyper.wishart_eig_cdf([20, 40], 5, 10)


# ---- numpy shapes ---------------------------------------------------------------

POINT_SHAPES = [(), (1,), (4,), (2, 3), (3, 1, 2), (0,), (0, 3)]


@pytest.mark.parametrize("shape", POINT_SHAPES)
def test_pointwise_functions_keep_the_shape_of_x(shape):
    x = np.linspace(1.0, 40.0, int(np.prod(shape))).reshape(shape)
    flat_P, flat_err = matrixhyper.wishart_eig_cdf(x.reshape(-1), 4, 9)
    P, err = matrixhyper.wishart_eig_cdf(x, 4, 9)
    assert np.shape(P) == shape and np.shape(err) == shape
    assert np.array_equal(np.reshape(P, -1), flat_P) and np.array_equal(np.reshape(err, -1), flat_err)

    points = x / 40
    flat_values, sums = matrixhyper.brint(10, 2, 0.5, 1.5, 3, points.reshape(-1))
    values, same_sums = matrixhyper.brint(10, 2, 0.5, 1.5, 3, points)
    assert np.shape(values) == shape and np.array_equal(np.reshape(values, -1), flat_values)
    assert np.array_equal(sums, same_sums)


def test_numbers_and_0d_arrays_give_numpy_scalars():
    for x in (20.0, 20, np.float64(20.0), np.array(20.0)):
        P, err = matrixhyper.wishart_eig_cdf(x, 5, 10)
        assert isinstance(P, np.float64) and isinstance(err, np.float64)
        values, _ = matrixhyper.brint(4, 2, [], [], 2, x / 40)
        assert isinstance(values, np.float64)
    f, err, info = matrixhyper.matrix_pfq(0.5, 1.5, -30)
    value, degree_sums = matrixhyper.sorn(3, 2, 0.5, 1.5, 0.3)
    assert type(f) is float and type(err) is float and type(value) is float
    assert degree_sums.shape == (4,)


def test_eigenvalues_in_any_vector_form_or_as_the_matrix():
    # 0F0(X) = etr(X) and 1F0(a; X) = det(I - X)^(-a): closed forms of the
    # eigenvalues (5, -2, 0.5 for the matrix below, as its eigenvalues).
    eigenvalues = [5.0, -2.0, 0.5]
    rotation = np.linalg.qr(np.array([[1.0, 2, 3], [0, 1, 4], [5, 6, 0]]))[0]
    matrix = rotation @ np.diag(eigenvalues) @ rotation.T
    forms = [eigenvalues, tuple(eigenvalues), np.array(eigenvalues), np.array([eigenvalues]),
             np.array(eigenvalues).reshape(3, 1), matrix, matrix.tolist()]
    for x in forms:
        f, err, _ = matrixhyper.matrix_pfq([], [], x)
        assert abs(f - math.exp(3.5)) <= err + 1e-14 * math.exp(3.5)
    small = np.array(eigenvalues) / 10
    for x in (small, rotation @ np.diag(small) @ rotation.T):
        f, err, _ = matrixhyper.matrix_pfq(1.5, [], x)
        exact = np.prod(1 - small) ** -1.5
        assert abs(f - exact) <= err + 1e-14 * exact
    # A complex Hermitian X with alpha = 1: etr(X) from its real trace 3.
    hermitian = np.array([[1.0, 2 - 1j], [2 + 1j, 2.0]])
    f, err, _ = matrixhyper.matrix_pfq([], [], hermitian, alpha=1)
    assert abs(f - math.exp(3)) <= err + 1e-14 * math.exp(3)


def test_empty_arguments():
    assert matrixhyper.matrix_pfq(1, 2, [])[0] == 1.0          # the 0-by-0 X
    value, degree_sums = matrixhyper.sorn(3, 2, 0.5, [], np.zeros((1, 0)))
    assert value == 1.0 and degree_sums.tolist() == [1.0, 0.0, 0.0, 0.0]
    values, _ = matrixhyper.brint(3, 2, [], [], 2, np.zeros((0, 2)))
    assert values.shape == (0, 2)


def test_docstring_examples():
    for module in (matrixhyper, _jacobi, _pfq, _series, _wishart):
        failures, _ = doctest.testmod(module, extraglobs={"np": np}, optionflags=doctest.ELLIPSIS)
        assert failures == 0, module.__name__


# ---- Ctrl-C and the GIL -------------------------------------------------------------

# Calls that run for many seconds, far beyond the moment of the signal.
LONG_CALLS = {
    "sorn": "sorn(60, 2, [], [], [1, 2, 3, 4, 5, 6, 7, 8])",
    "brint": "brint(200, 2, 5.5, 15.5, 10, 15)",
    "matrix_pfq": "matrix_pfq(1, 3, [2, 4, 6, 8, 10, 12])",
}
ANSWER_SECONDS = 1.0     # from SIGINT to the end of the interrupted process


def package_environment():
    environment = dict(os.environ)
    environment["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    return environment


@pytest.mark.parametrize("name", sorted(LONG_CALLS))
def test_ctrl_c_raises_keyboard_interrupt_promptly(name):
    script = textwrap.dedent(f"""
        import sys, matrixhyper
        from matrixhyper import *
        print("calling", flush=True)
        try:
            {LONG_CALLS[name]}
        except KeyboardInterrupt:
            print("KeyboardInterrupt", flush=True)
            sys.exit(3)
        print("finished", flush=True)
    """)
    process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env=package_environment())
    assert process.stdout.readline().strip() == "calling"
    time.sleep(1.0)
    assert process.poll() is None, f"{name} ended before the signal"
    sent = time.monotonic()
    process.send_signal(signal.SIGINT)
    try:
        out, err = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
    elapsed = time.monotonic() - sent
    assert process.returncode == 3 and "KeyboardInterrupt" in out, (out, err)
    print(f"{name}: KeyboardInterrupt {elapsed:.3f} s after SIGINT")
    assert elapsed < ANSWER_SECONDS, f"{name} answered SIGINT after {elapsed:.2f} s"


def test_long_calls_release_the_gil():
    # A core call of about a second on a worker thread. If it held the GIL,
    # the main thread could not wake from its short sleep before the call
    # ended; with the GIL released, it starts its own call meanwhile and the
    # two calls overlap.
    times = {}

    def timed_call(label):
        times[label + " start"] = time.monotonic()
        matrixhyper.brint(85, 2, 5.5, 15.5, 10, 15)
        times[label + " end"] = time.monotonic()

    worker = threading.Thread(target=timed_call, args=("worker",))
    worker.start()
    time.sleep(0.2)
    timed_call("main")
    worker.join()
    assert times["main start"] < times["worker end"], times
    assert times["worker start"] < times["main end"], times


def test_thread_count_comes_from_the_environment_and_changes_no_bits(monkeypatch):
    # Tables of 10 000 rows and more (sorn, eight eigenvalues) and levels of
    # 500 partitions and more (matrix_pfq, four distinct eigenvalues) are
    # filled by several threads, merged in a fixed order: the same doubles
    # for every count. os.environ changes must reach the next call.
    def calls():
        return (matrixhyper.sorn(30, 2, [], [], np.arange(1, 9) / 10),
                matrixhyper.matrix_pfq(3, 6.5, [-1, -2, -3, -4.5])[:2])

    results = []
    for setting, expected in (("1", 1), ("2", 2), ("3", 3)):
        monkeypatch.setenv("MATRIXHYPER_THREADS", setting)
        assert _core.thread_count() == expected
        results.append(calls())
    monkeypatch.delenv("MATRIXHYPER_THREADS")
    hardware_threads = _core.thread_count()
    monkeypatch.setenv("MATRIXHYPER_THREADS", "none")
    assert _core.thread_count() == hardware_threads >= 1
    for (value, sums), pfq in results[1:]:
        assert value == results[0][0][0] and np.array_equal(sums, results[0][0][1])
        assert pfq == results[0][1]
