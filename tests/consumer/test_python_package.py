# SPDX-License-Identifier: Apache-2.0
"""The Python package as applications load it, run by 65-install-consumer.sh:
from the prefix that cmake --install filled, with Debian's python3, and
installed by pip into a clean virtual environment, which finds the library
by KELO_DLL_PATH or on the system's library path."""
import os
import subprocess

import pytest

PREFIX, PURELIB, VENV, ADDRESS = (os.environ["KELO_TEST_" + name] for name in ("PREFIX", "PURELIB", "VENV", "ADDRESS"))
READ = """import sys, kelo
with kelo.Scanner(sys.argv[1]) as scanner, scanner.acquire(mode="time", batch=100) as stream:
    profiles = stream.read(500)
assert profiles["points"].shape == (500, 243, 3) and (profiles["point_count"] == 243).all()
print(kelo.__file__, next(line.split()[-1] for line in open("/proc/self/maps") if "libkelo_dll" in line))"""


@pytest.mark.parametrize("python, variable, value, package_place", [
    ("/usr/bin/python3", "PYTHONPATH", PURELIB, PURELIB),
    (VENV + "/bin/python", "KELO_DLL_PATH", PREFIX + "/lib", VENV),
    (VENV + "/bin/python", "LD_LIBRARY_PATH", PREFIX + "/lib", VENV),
])
def test_installed_package_reads_profiles(python, variable, value, package_place):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "KELO_DLL_PATH", "LD_LIBRARY_PATH")}
    run = subprocess.run([python, "-c", READ, ADDRESS], env={**env, variable: value}, cwd="/",
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    package, library = run.stdout.split()
    assert package.startswith(package_place + "/") and library.startswith(PREFIX + "/lib/"), run.stdout
