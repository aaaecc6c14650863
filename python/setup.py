"""Packaging steps that need code: the version comes from the CMake build's
single definition, and the package records where a build tree keeps the
library, so an installed package finds a library that was built but not
installed. Without one it looks on the system path."""

import os
import re

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def version():
    with open(os.path.join(ROOT, "cmake", "Version.cmake"), encoding="utf-8") as f:
        return re.search(r"set\(VORNALIX_VERSION ([0-9.]+)\)", f.read()).group(1)


def build_dirs():
    """VORNALIX_BUILD_DIR, else the source tree's build/, when it holds the library."""
    candidate = os.environ.get("VORNALIX_BUILD_DIR", os.path.join(ROOT, "build"))
    found = os.path.exists(os.path.join(candidate, "libvornalix.so"))
    return [os.path.abspath(candidate)] if found else []


class BuildPy(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "vornalix", "_location.py")
        with open(target, "w", encoding="utf-8") as f:
            f.write("# Written by pip: where a build tree keeps the library.\n")
            f.write(f"LIBRARY_DIRS = {build_dirs()!r}\n")


setup(version=version(), cmdclass={"build_py": BuildPy})
