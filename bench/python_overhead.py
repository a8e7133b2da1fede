#!/usr/bin/env python3
"""Per-call overhead of the Python package over the bare core, on scalar calls.

  PYTHONPATH=build/python python3 bench/python_overhead.py [--rounds N]

For each case, the package's call (argument checks, the GIL released and
taken back, numpy outputs, the status turned into warnings) is timed with
timeit, and the same core call without Python by a loop inside the
extension module (matrixhyper._core.*_core_seconds: the request built once,
then the core's sizing, work block and sum per call, as the package does).
Rounds alternate the two and each keeps its fastest, so that other work on
the machine inflates both alike rather than the difference. The target is
an overhead of at most 5 microseconds per call.
"""
import argparse
import sys
import timeit

import matrixhyper
from matrixhyper import _core

OVERHEAD_TARGET_US = 5.0

# (label, the package's call, seconds per call of the bare core, calls per timing)
CASES = [
    ("sorn(2, 2, 0.5, 1.5, 0.3)",
     lambda: matrixhyper.sorn(2, 2, 0.5, 1.5, 0.3),
     lambda calls: _core.sorn_core_seconds(2, 2.0, 0.5, 1.5, 0.3, calls), 20000),
    ("sorn([10, 10], 2, [0.5], [1.5], [0.3])",
     lambda: matrixhyper.sorn([10, 10], 2, [0.5], [1.5], [0.3]),
     lambda calls: _core.sorn_core_seconds([10, 10], 2.0, [0.5], [1.5], [0.3], calls), 20000),
    ("matrix_pfq(0.5, 1.5, -30)",
     lambda: matrixhyper.matrix_pfq(0.5, 1.5, -30),
     lambda calls: _core.matrix_pfq_core_seconds(0.5, 1.5, -30.0, calls), 5000),
    ("matrix_pfq([], [], -40)",
     lambda: matrixhyper.matrix_pfq([], [], -40),
     lambda calls: _core.matrix_pfq_core_seconds([], [], -40.0, calls), 20000),
]


def measure(call, core_seconds, calls, rounds):
    python_best = core_best = float("inf")
    for _ in range(rounds):
        python_best = min(python_best, timeit.timeit(call, number=calls) / calls)
        core_best = min(core_best, core_seconds(calls))
    return python_best * 1e6, core_best * 1e6


def main(argv):
    parser = argparse.ArgumentParser(description="Python per-call overhead over the core")
    parser.add_argument("--rounds", type=int, default=7)
    options = parser.parse_args(argv)
    print(f"{'call':42} {'Python us':>10} {'core us':>9} {'overhead us':>12}")
    worst = 0.0
    for label, call, core_seconds, calls in CASES:
        python_us, core_us = measure(call, core_seconds, calls, options.rounds)
        worst = max(worst, python_us - core_us)
        print(f"{label:42} {python_us:10.2f} {core_us:9.2f} {python_us - core_us:12.2f}")
    verdict = "met" if worst <= OVERHEAD_TARGET_US else "NOT met"
    print(f"largest overhead {worst:.2f} us: target {OVERHEAD_TARGET_US:g} us {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
