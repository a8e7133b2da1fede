"""Builds the extension module matrixhyper._core with the project's own CMake
build (the target matrixhyper_python, the same sources and flags as the
plug-ins), so that `pip install --no-build-isolation ./python` installs the
doubles that mexrun and Octave give. Needs cmake, g++, pybind11-dev and
python3-dev (Debian packages)."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

REPOSITORY = Path(__file__).resolve().parent.parent


class CMakeExtension(Extension):
    """An extension module built by a CMake target."""

    def __init__(self, name, target):
        super().__init__(name, sources=[])
        self.target = target


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = Path(self.build_temp).resolve() / "cmake"
        # The build's own optimisation without its debugging information
        # (-g changes no instruction but costs a third of the compile time).
        subprocess.run(["cmake", "-S", str(REPOSITORY), "-B", str(build_dir), "-DBUILD_TESTING=OFF",
                        "-DPYTHON_PACKAGE=ON", f"-DPython3_EXECUTABLE={sys.executable}",
                        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build_dir), "--target", ext.target, "-j", jobs], check=True)
        built = next((build_dir / "python" / "matrixhyper").glob("_core*.so"))
        destination = Path(self.get_ext_fullpath(ext.name))
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, destination)


setup(ext_modules=[CMakeExtension("matrixhyper._core", "matrixhyper_python")],
      cmdclass={"build_ext": CMakeBuild})
