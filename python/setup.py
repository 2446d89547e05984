"""setup.py - builds the quillmark library with CMake from the project one
folder up and ships the shared library inside the package, beside the
ctypes binding that loads it.

QM_JOBS sets the build's parallelism (default 2).  QUILLMARK_LIBRARY names
an already built shared library to ship instead of building one.
"""
import os
import shutil
import subprocess
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = Path(__file__).resolve().parent
PROJECT = HERE.parent
LIBRARY_NAMES = {"nt": "quillmark.dll"}
LIBRARY_NAME = LIBRARY_NAMES.get(os.name, "libquillmark.so")


def build_library(build_temp: Path) -> Path:
    given = os.environ.get("QUILLMARK_LIBRARY")
    if given:
        return Path(given)
    build_dir = build_temp / "cmake"
    # Only the library: no tests, no tools beyond what the project builds
    # by default without its test suites.
    subprocess.run(["cmake", "-S", str(PROJECT), "-B", str(build_dir),
                    "-DQM_BUILD_TESTS=OFF", "-DCMAKE_BUILD_TYPE=Release"], check=True)
    subprocess.run(["cmake", "--build", str(build_dir), "--target", "quillmark",
                    "-j", os.environ.get("QM_JOBS", "2")], check=True)
    return build_dir / "bin" / LIBRARY_NAME


class BuildWithLibrary(build_py):
    """Copies the freshly built library into the package being built."""

    def run(self) -> None:
        super().run()
        build_temp = Path(self.get_finalized_command("build").build_temp).resolve()
        library = build_library(build_temp)
        target = Path(self.build_lib) / "quillmark" / LIBRARY_NAME
        target.parent.mkdir(parents=True, exist_ok=True)
        # The real file, not a link: a wheel keeps no links.
        shutil.copyfile(library.resolve(), target)


class BinaryDistribution(Distribution):
    """The package carries a compiled library: its wheel is platform-specific."""

    def has_ext_modules(self) -> bool:
        return True


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution)
