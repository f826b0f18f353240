"""Builds the Python module morvantide with the project's CMake (see
pyproject.toml): the module target alone, for the interpreter that runs pip."""
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def version():
    """The project's version, from its one source: src/common/version.h."""
    with open(os.path.join(ROOT, "src", "common", "version.h"), encoding="utf-8") as f:
        return re.search(r'kVersion = "([0-9.]+)"', f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        # MORVANTIDE_BUILD names a build folder already configured with
        # -DMORVANTIDE_PYTHON=ON for this Python version: its module is
        # brought up to date there instead of building the library afresh.
        build = os.environ.get("MORVANTIDE_BUILD")
        if not build:
            build = os.path.join(os.path.abspath(self.build_temp), "cmake")
            subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DMORVANTIDE_PYTHON=ON",
                            "-DMORVANTIDE_TESTS=OFF", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                            "-DPython3_EXECUTABLE=" + sys.executable], check=True)
        subprocess.run(["cmake", "--build", build, "--target", "morvantide_python",
                        "-j", os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")], check=True)
        built = [n for n in os.listdir(build) if n.startswith("morvantide.") and
                 n.endswith(".so")]
        if len(built) != 1:
            raise RuntimeError("the CMake build made no single morvantide*.so: %s" % built)
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(build, built[0]), target)


setup(
    name="morvantide",
    version=version(),
    description="Error estimates of a grid refinement study, computed in binary128",
    ext_modules=[Extension("morvantide", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.8",
    zip_safe=False,
)
