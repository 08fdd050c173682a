# SPDX-License-Identifier: Apache-2.0
"""The Python package as applications load it, run by 65-install-consumer.sh:
from the prefix that cmake --install filled, with Debian's python3, and
installed by pip into a clean virtual environment, which finds the library
by KELO_DLL_PATH or on the system's library path."""
import os
import subprocess

import pytest

PREFIX, PURELIB, VENV, ADDRESS = (os.environ["KELO_TEST_" + name] for name in ("PREFIX", "PURELIB", "VENV", "ADDRESS"))
READ = ("import sys, kelo\nwith kelo.Scanner(sys.argv[1]) as s, s.acquire(batch=100) as stream: p = stream.read(500)\n"
        "assert p['points'].shape == (500, 243, 3) and (p['point_count'] == 243).all()\n"
        "print(kelo.__file__, next(l.split()[-1] for l in open('/proc/self/maps') if 'libkelo_dll' in l))")


@pytest.mark.parametrize("python, variable, value, package_place", [
    ("/usr/bin/python3", "PYTHONPATH", PURELIB, PURELIB),
    (VENV + "/bin/python", "KELO_DLL_PATH", PREFIX + "/lib", VENV),
    (VENV + "/bin/python", "LD_LIBRARY_PATH", PREFIX + "/lib", VENV),
])
def test_installed_package_reads_profiles(python, variable, value, package_place):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "KELO_DLL_PATH", "LD_LIBRARY_PATH")}
    run = subprocess.run([python, "-c", READ, ADDRESS], env={**env, variable: value}, cwd="/", capture_output=True, text=True)
    package, library = run.stdout.split() if run.returncode == 0 else pytest.fail(run.stderr)
    assert package.startswith(package_place + "/") and library.startswith(PREFIX + "/lib/"), run.stdout
