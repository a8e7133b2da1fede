#!/usr/bin/env python3
"""The user-facing install works: `pip install --no-build-isolation ./python`
into a fresh folder builds the package from Debian's packages alone, and the
installed package gives the build tree's doubles.

  pip_install_check.py TARGET_DIR      (the build tree's package on PYTHONPATH)
"""
import math
import os
import shutil
import subprocess
import sys

PACKAGE_SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))

# 1F1(1/2; 3/2; -30) = sqrt(pi/30) erf(sqrt(30)) / 2 (the error-function form
# of the confluent series), a value the installed package must reproduce.
QUICK_CALL = "matrixhyper.matrix_pfq(0.5, 1.5, -30)[:2]"
EXACT = math.sqrt(math.pi / 30) * math.erf(math.sqrt(30)) / 2


def main(target):
    shutil.rmtree(target, ignore_errors=True)
    subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps",
                    "--no-index", "--quiet", "--target", target, PACKAGE_SOURCE], check=True)
    environment = dict(os.environ, PYTHONPATH=target)
    installed = subprocess.run(
        [sys.executable, "-c", f"import matrixhyper; print(matrixhyper.__file__); "
                               f"print(*[v.hex() for v in {QUICK_CALL}])"],
        env=environment, cwd=target, capture_output=True, text=True, check=True).stdout.split("\n")
    import matrixhyper                       # the build tree's package
    failures = 0
    if not installed[0].startswith(os.path.abspath(target)):
        print(f"FAILED: the installed package is not the one imported: {installed[0]}")
        failures += 1
    f, err = (float.fromhex(v) for v in installed[1].split())
    if [f, err] != list(eval(QUICK_CALL)):
        print(f"FAILED: installed package gives {f!r}, {err!r}; the build tree {eval(QUICK_CALL)!r}")
        failures += 1
    if not abs(f - EXACT) <= err:
        print(f"FAILED: installed package gives {f!r} with err {err!r}; exact {EXACT!r}")
        failures += 1
    print(f"pip install checks: {3 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
