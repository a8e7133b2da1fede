"""examples/wishart_largest_eigenvalue.py runs headless: it draws the picture
with matplotlib, or prints its table without it. Its own checks must hold:
the exact CDF within the simulation's 99% Dvoretzky-Kiefer-Wolfowitz bound
of the empirical one, and the series through Kummer's relation equal to the
exact finite formulas."""
import os
import re
import subprocess
import sys

from conftest import REPOSITORY, require

EXAMPLE = os.path.join(REPOSITORY, "examples", "wishart_largest_eigenvalue.py")


def run_example(tmp_path, extra_path=None):
    environment = dict(os.environ, MPLBACKEND="Agg")
    paths = ([extra_path] if extra_path else []) + [p for p in sys.path if p]
    environment["PYTHONPATH"] = os.pathsep.join(paths)
    png = tmp_path / "picture.png"
    result = subprocess.run([sys.executable, EXAMPLE, "--quick", "--png", str(png)], cwd=tmp_path,
                            env=environment, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    return result.stdout, png


def check_table(stdout):
    summaries = re.findall(r"sup \|empirical - exact\| = ([\d.]+) \(99% bound ([\d.]+)\); "
                           r"series through Kummer's relation differs by ([\d.e+-]+)", stdout)
    assert len(summaries) == 2, stdout
    for distance, bound, series_difference in summaries:
        assert float(distance) <= float(bound)
        assert float(series_difference) < 1e-12


def test_example_draws_the_picture(tmp_path):
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        matplotlib = None
    require(matplotlib is not None, "matplotlib (Debian package python3-matplotlib) is not installed")
    stdout, png = run_example(tmp_path)
    check_table(stdout)
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_example_prints_its_table_without_matplotlib(tmp_path):
    hidden = tmp_path / "hidden"
    (hidden / "matplotlib").mkdir(parents=True)
    (hidden / "matplotlib" / "__init__.py").write_text("raise ImportError('hidden for the test')\n")
    stdout, png = run_example(tmp_path, extra_path=str(hidden))
    check_table(stdout)
    assert "no picture: matplotlib is not installed" in stdout and not png.exists()
