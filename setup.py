"""Builds the extension morvantide._core with the project's CMake (see
pyproject.toml): the module target alone, for the interpreter that runs pip.
The package's metadata is in pyproject.toml; its version is read here from the
one source, src/common/version.h."""
import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
# setuptools' own work folder (build and egg-info), apart from a CMake build/.
WORK = os.path.join(ROOT, "build-pip")


def version():
    """The project's version, from its one source: src/common/version.h."""
    with open(os.path.join(ROOT, "src", "common", "version.h"), encoding="utf-8") as f:
        return re.search(r'kVersion = "([0-9.]+)"', f.read()).group(1)


def pybind11_args():
    """Where CMake finds pybind11: the Python package pybind11 when the build
    has one (pip's isolated build fetches it), else CMake's own search."""
    try:
        import pybind11
    except ImportError:
        return []
    return ["-Dpybind11_DIR=" + pybind11.get_cmake_dir()]


os.makedirs(WORK, exist_ok=True)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        # MORVANTIDE_BUILD names a build folder already configured with
        # -DMORVANTIDE_PYTHON=ON for this Python version: its extension is
        # brought up to date there instead of building the library afresh.
        build = os.environ.get("MORVANTIDE_BUILD")
        if not build:
            build = os.path.join(os.path.abspath(self.build_temp), "cmake")
            subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DMORVANTIDE_PYTHON=ON",
                            "-DMORVANTIDE_TESTS=OFF", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                            "-DPython3_EXECUTABLE=" + sys.executable] + pybind11_args(),
                           check=True)
        subprocess.run(["cmake", "--build", build, "--target", "morvantide_python",
                        "-j", os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")], check=True)
        built = glob.glob(os.path.join(build, "python", "morvantide", "_core.*"))
        built = [b for b in built if b.endswith((".so", ".pyd"))]
        if len(built) != 1:
            raise RuntimeError("the CMake build made no single morvantide/_core module: %s" % built)
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    version=version(),
    ext_modules=[Extension("morvantide._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": WORK}, "egg_info": {"egg_base": WORK}},
)
