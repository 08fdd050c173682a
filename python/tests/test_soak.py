# SPDX-License-Identifier: Apache-2.0
"""The Python soak (bench/python_soak.py): a group collecting with time-outs
and reconnects from eight emulators while `soak --plant` injects every fault.
KELO_SOAK_SECONDS sets its length (default 60, which is what it costs; 0
skips it)."""
import os
import re
import subprocess
import sys

import pytest

from conftest import BUILD, ROOT

LINE = re.compile(r"soak: \d+ s, (\d+) profiles, (\d+) faults injected, (\d+) reported with their failure "
                  r"code, (\d+) hangs, rss ([-+]\d+) KiB, fds ([-+]\d+), threads ([-+]\d+)")


def test_group_collection_survives_every_fault_and_keeps_nothing():
    seconds = float(os.environ.get("KELO_SOAK_SECONDS", "60"))
    if seconds <= 0:
        pytest.skip("KELO_SOAK_SECONDS=0")
    run = subprocess.run([sys.executable, os.path.join(ROOT, "bench", "python_soak.py"), "--seconds",
                          str(seconds), "--build", BUILD], capture_output=True, text=True, timeout=seconds + 180)
    report = run.stdout + run.stderr
    last = LINE.fullmatch(run.stdout.splitlines()[-1]) if run.stdout else None
    assert run.returncode == 0 and last, report
    profiles, faults, reported, hangs, rss, fds, threads = map(int, last.groups())
    # The program's own verdict covers every fault, profile and call; the
    # line must show a run that met them.
    assert profiles > 0 and 0 < reported <= faults and (hangs, fds, threads) == (0, 0, 0) and rss < 1024, report
