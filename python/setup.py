# SPDX-License-Identifier: Apache-2.0
"""Builds the package kelo with the version of the library it belongs to,
read from include/kelo_dll/version.h, and the licence beside its modules.
The metadata is in pyproject.toml."""
import os
import re
import shutil

from setuptools import setup
from setuptools.command.build_py import build_py

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def library_version():
    with open(os.path.join(ROOT, "include", "kelo_dll", "version.h")) as header:
        found = dict(re.findall(r"#define KELO_DLL_(MAJOR|MINOR)_VERSION (\d+)u", header.read()))
    return f"{found['MAJOR']}.{found['MINOR']}"


class BuildPackage(build_py):
    """The modules, kelo/_version.py and kelo/LICENSE."""

    def run(self):
        super().run()
        package = os.path.join(self.build_lib, "kelo")
        with open(os.path.join(package, "_version.py"), "w") as version:
            version.write(f'VERSION = "{library_version()}"\n')
        shutil.copy(os.path.join(ROOT, "LICENSE"), package)


setup(version=library_version(), packages=["kelo"], cmdclass={"build_py": BuildPackage})
