# SPDX-License-Identifier: Apache-2.0
"""Synchronised acquisition: streams, their exits, groups."""
import os
import signal
import subprocess
import sys
import textwrap

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


def test_a_silent_scanner_times_out_and_the_timeout_is_what_is_raised(emulator):
    with kelo.Scanner(emulator("--fault", "silent")) as scanner:
        with pytest.raises(kelo.ProfileTimeoutError) as failure:
            with scanner.acquire(batch=10, timeout_ms=200) as stream:
                next(stream)
        assert failure.value.code == -4 and not scanner.synchronised


def test_ctrl_c_leaves_sync_mode(emulator, tmp_path):
    script = textwrap.dedent(f"""
        import sys, kelo
        with kelo.Scanner({emulator()!r}) as scanner:
            try:
                with scanner.acquire(batch=10) as stream:
                    for profiles in stream:
                        print("streaming", flush=True)
            except KeyboardInterrupt:
                print("synchronised", scanner.synchronised, scanner.outstanding_requests)
                print("status", len(scanner.status(describe=False)), flush=True)
    """)
    process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                               env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert process.stdout.readline() == "streaming\n"
    process.send_signal(signal.SIGINT)
    output = process.communicate(timeout=30)[0].splitlines()
    assert output[-2:] == ["synchronised False 0", "status 8"], output


def test_group_collects_from_every_member(emulator):
    with kelo.Scanner(emulator()) as a, kelo.Scanner(emulator()) as b:
        with kelo.Group([a, b]) as group:
            with pytest.raises(kelo.AlreadyMemberError):
                group.add(a)
            group.enter_sync("time")
            collected = group.collect(50)
            assert set(collected) == {a, b}
            assert all(p.shape == (50,) and set(p["point_count"]) == {243}
                       for p in collected.values())
            b.exit_sync()
            with pytest.raises(kelo.GroupError) as failure:
                group.collect(5)
            assert failure.value.member is b
            b.enter_sync("time")
        assert not a.synchronised and not b.synchronised
        a.status(describe=False)
