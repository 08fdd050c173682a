# SPDX-License-Identifier: Apache-2.0
"""Synchronised acquisition: streams, their exits, groups."""
import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

import kelo

SEQUENCE_WORD = 1   # the emulator numbers its profiles in header word 1


def sequence(profiles):
    return profiles["header"][:, SEQUENCE_WORD]


def test_read_spans_batches_without_losing_or_repeating_profiles(emulator):
    with kelo.Scanner(emulator("--rate", 20000)) as scanner:
        with scanner.acquire(mode="time", batch=64) as stream:
            first = stream.read(150)       # two batches and part of a third
            second = next(stream)          # the rest of the last batch read
            for dropped in range(3):       # batches let go of: their memory is reused
                next(stream)
            held = [next(stream) for _ in range(6)]   # kept: never read into again
            third = stream.read(100)
            assert stream.read(0).shape == (0,)
        assert not scanner.synchronised and scanner.outstanding_requests == 0
        scanner.status(describe=False)     # the connection is in step again
    assert first.dtype == kelo.PROFILE_DTYPE and first["points"].shape == (150, 243, 3)
    for parts in [first, second], held + [third]:
        numbers = np.concatenate([sequence(part) for part in parts])
        assert np.array_equal(np.diff(numbers), np.ones(len(numbers) - 1)), numbers


@pytest.mark.parametrize("points, large", [(486, True), (100, False)])
def test_record_sizes(emulator, points, large):
    with kelo.Scanner(emulator("--points", points)) as scanner:
        with scanner.acquire(batch=10, large=large) as stream:
            profiles = stream.read(10)
    assert profiles["points"].shape[1] == (486 if large else 243) and set(profiles["point_count"]) == {points}


@pytest.mark.parametrize("options", [dict(mode="time"), dict(mode="encoder", encoder_value=7),
                                     dict(mode="pulse", pulse_setting1=1000)])
def test_an_exception_leaves_sync_mode(emulator, options):
    with kelo.Scanner(emulator()) as scanner:
        with pytest.raises(ZeroDivisionError):
            with scanner.acquire(batch=20, ahead=3, **options) as stream:
                next(stream)
                1 / 0
        assert not scanner.synchronised and scanner.outstanding_requests == 0
        scanner.calibration()


def test_a_batch_that_does_not_begin_in_time_raises_and_stays_owed(emulator):
    with kelo.Scanner(emulator("--fault", "silent")) as scanner:
        stream = scanner.acquire(batch=10, timeout_ms=200).start()
        started = time.monotonic()
        with pytest.raises(kelo.ProfileTimeoutError) as failure:
            next(stream)
        assert 0.19 < time.monotonic() - started < 1.0
        assert (failure.value.code, failure.value.failure) == (-4, kelo.FAILURE_TIMEOUT)
        assert "no answer within 200 ms" in str(failure.value)
        assert scanner.synchronised and scanner.outstanding_requests == 2


SCRIPT = """
import sys, kelo
with kelo.Scanner(sys.argv[1]) as live, kelo.Scanner(sys.argv[2]) as silent:
    try:
        print("waiting", flush=True)
{action}
    except KeyboardInterrupt as interrupt:
        print("interrupted", *getattr(interrupt, "__notes__", []), sep="\\n")
    print({state})
"""
CUT = "the connection no longer receives: Ctrl-C cut a call that was stuck"


# Ctrl-C (once, or twice 0.3 s apart) while a call waits: (what waits; the
# state printed then; the signals; the last lines printed; the least and
# most seconds from the first signal to the end).
@pytest.mark.parametrize("action, state, signals, expected, least, most", ids=[
    "live stream", "silent stream", "silent stream twice", "silent idle call", "group with a silent member"],
    argvalues=[
        ("with live.acquire(batch=10) as stream:\n    for profiles in stream: pass",
         "live.synchronised, live.outstanding_requests, len(live.status(describe=False))",
         [0], ["interrupted", "False 0 8"], 0, 1.2),
        ("with silent.acquire(batch=10, timeout_ms=60000) as stream: next(stream)",
         "silent.synchronised, silent.outstanding_requests",
         [0], ["interrupted", f"while leaving sync mode: lpExitSyncMode: {CUT} (-1)", "False 2"], 1.6, 2.8),
        ("with silent.acquire(batch=10, timeout_ms=60000) as stream: next(stream)",
         "silent.synchronised, silent.outstanding_requests", [0, 0.3], ["interrupted", "False 2"], 0.25, 1.0),
        ("silent.status()", "silent.synchronised", [0], ["interrupted", "False"], 0.6, 1.5),
        ("with kelo.Group([live, silent]) as group:\n    group.enter_sync()\n    group.collect(10)",
         "live.synchronised, live.outstanding_requests, silent.synchronised, silent.outstanding_requests",
         [0], ["interrupted", "while leaving sync mode: lpMultipleScannerExitSyncMode: failed on member "
               "Scanner('{silent}'): " + CUT, "False 0 False 1"], 1.6, 2.8),
    ])
def test_ctrl_c_ends_a_wait_and_leaves_sync_mode_within_a_second(emulator, action, state, signals, expected,
                                                                   least, most):
    live, silent = emulator(), emulator("--fault", "silent")
    script = SCRIPT.format(action=textwrap.indent(action, " " * 8), state=state)
    process = subprocess.Popen([sys.executable, "-c", script, live, silent], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True,
                               env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert process.stdout.readline() == "waiting\n"
    time.sleep(0.3)   # into the wait
    started = time.monotonic()
    for at in signals:
        time.sleep(max(0.0, started + at - time.monotonic()))
        process.send_signal(signal.SIGINT)
    output = process.communicate(timeout=30)[0].splitlines()
    assert least <= time.monotonic() - started <= most, output
    assert output[-len(expected):] == [line.format(silent=silent) for line in expected], output


def test_group_collects_from_every_member(emulator):
    with kelo.Scanner(emulator()) as a, kelo.Scanner(emulator()) as b:
        with kelo.Group([a, b]) as group:
            with pytest.raises(kelo.AlreadyMemberError):
                group.add(a)
            group.enter_sync("time")
            collected = [group.collect(50, timeout=5.0) for _ in range(3)]
            assert all(set(c) == {a, b} and all(p.shape == (50,) and set(p["point_count"]) == {243}
                                                for p in c.values()) for c in collected)
            for member in a, b:   # one collection goes on where the last stopped
                numbers = np.concatenate([sequence(c[member]) for c in collected])
                assert np.array_equal(np.diff(numbers), np.ones(len(numbers) - 1)), numbers
            b.exit_sync()
            with pytest.raises(kelo.GroupError) as failure:
                group.collect(5)
            assert failure.value.member is b and "not in sync mode" in str(failure.value)
            b.enter_sync("time")
        assert not a.synchronised and not b.synchronised
        a.status(describe=False)


def test_group_collection_names_the_silent_member_in_time(emulator):
    scanners = [kelo.Scanner(emulator(*options)) for options in ((), ("--fault", "silent"), ())]
    live, silent = scanners[::2], scanners[1]
    with kelo.Group(scanners) as group:
        group.enter_sync("time")
        started = time.monotonic()
        with pytest.raises(kelo.GroupTimeoutError) as failure:
            group.collect(20, timeout=0.5)
        assert 0.45 < time.monotonic() - started < 1.5
        assert failure.value.member is silent and failure.value.failure == kelo.FAILURE_TIMEOUT
        # Without the silent one, the others go on: their answers were owed.
        group.remove(silent)
        silent.close()
        assert all(len(p) == 20 for p in group.collect(20, timeout=5.0).values())
    assert [(s.synchronised, s.outstanding_requests) for s in live] == [(False, 0)] * 2
    for scanner in live:
        scanner.status(describe=False)
        scanner.close()
