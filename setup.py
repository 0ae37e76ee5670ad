"""`pip install .` of the Python module zolvane, offline with Debian's tools:

    python3 -m venv --system-site-packages env
    env/bin/python -m pip install --no-build-isolation .

setuptools drives the project's own CMake build (the module target only, in
Release, with ccache when it is installed); the compiler, CMake, pybind11
and the libraries come from scripts/setup.sh. ZOLVANE_CMAKE_ARGS adds CMake
options; CMAKE_BUILD_PARALLEL_LEVEL sets the jobs (default: 2).
"""
import os
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


def version():
    with open(os.path.join(HERE, "CMakeLists.txt")) as f:
        return re.search(r"project\(zolvane VERSION ([0-9.]+)", f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        os.makedirs(build, exist_ok=True)
        args = ["-DCMAKE_BUILD_TYPE=Release", "-DZOLVANE_PYTHON=ON", "-DZOLVANE_BUILD_TESTS=OFF",
                "-DZOLVANE_BUILD_BENCH=OFF", "-DZOLVANE_MPI=OFF",
                "-DPython3_EXECUTABLE=" + sys.executable]
        if shutil.which("ccache"):
            args.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        args += shlex.split(os.environ.get("ZOLVANE_CMAKE_ARGS", ""))
        subprocess.run(["cmake", "-S", HERE, "-B", build] + args, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", build, "-j", jobs, "--target", "zolvane_python"],
                       check=True)
        built = os.path.join(build, "python")
        module = next(f for f in os.listdir(built) if f.startswith("zolvane") and f.endswith(".so"))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(built, module), target)
        shutil.copyfile(os.path.join(HERE, "python", "zolvane.pyi"),
                        os.path.join(os.path.dirname(target), "zolvane.pyi"))


setup(
    name="zolvane",
    version=version(),
    description="Folding kinetics of biopolymers on macrostates",
    license="see LICENSE",
    ext_modules=[Extension("zolvane", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=["numpy"],
    zip_safe=False,
    # Beside the CMake trees (build/ is the Release one of the README).
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
)
