"""What the tests share: mexrun and its plug-ins, and the rule that under
CTest every test runs (a missing tool fails instead of skipping)."""
import os
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

REPOSITORY = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def require(condition, reason):
    """Skips a test whose tool is missing, except under CTest
    (MATRIXHYPER_REQUIRE_ALL), where that is a failure."""
    if condition:
        return
    if os.environ.get("MATRIXHYPER_REQUIRE_ALL"):
        pytest.fail(reason)
    pytest.skip(reason)


class Mexrun:
    """mexrun with the folder of the plug-ins."""

    def __init__(self, program, plugin_dir):
        self.program, self.plugin_dir = program, plugin_dir

    def run(self, *calls):
        return subprocess.run([self.program, "--path", self.plugin_dir, *calls],
                              capture_output=True, text=True, timeout=120)


@pytest.fixture(scope="session")
def mexrun():
    program = os.environ.get("MATRIXHYPER_MEXRUN", "")
    plugin_dir = os.environ.get("MATRIXHYPER_MEX_DIR", "")
    require(os.path.isfile(program) and os.path.isdir(plugin_dir),
            "MATRIXHYPER_MEXRUN and MATRIXHYPER_MEX_DIR must name mexrun and the plug-ins' folder")
    return Mexrun(program, plugin_dir)
