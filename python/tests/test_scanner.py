# SPDX-License-Identifier: Apache-2.0
"""A Scanner against the emulator and against a recorder of its bytes."""
import errno
import socket
import struct
import time

import numpy as np
import pytest

import kelo
from kelo import errors


def words(*values):
    return b"".join(struct.pack(">i" if v < 0 else ">I", v) for v in values)


def test_opens_by_port_and_refuses_or_times_out_with_the_reason(emulator):
    address = emulator("--serial", 4400, "--port", 24400)
    with pytest.raises(kelo.OpenError) as failure:
        kelo.Scanner(address)                  # nobody listens on the usual port
    assert failure.value.socket_error == errno.ECONNREFUSED and "Connection refused" in str(failure.value)
    for scanner in kelo.Scanner(f"{address}:24400"), kelo.Scanner(address, port=24400, connect_timeout=2.0):
        with scanner:
            assert scanner.status(describe=False)[0].value == 4400 and repr(scanner) == f"Scanner('{address}:24400')"
    scanner.close()
    with pytest.raises(ValueError):
        scanner.status()

    # A listener whose queue is full drops further connection requests.
    listener = socket.create_server((address, 0), backlog=0)
    port = listener.getsockname()[1]
    queued = socket.create_connection((address, port))
    for timeout, expected in (0.3, 0.3), (None, 1.0):
        started = time.monotonic()
        with pytest.raises(kelo.OpenError) as failure:
            kelo.Scanner(f"{address}:{port}", connect_timeout=timeout)
        assert expected - 0.05 < time.monotonic() - started < expected + 0.5
        assert f"within the connect time-out of {round(expected * 1000)} ms" in str(failure.value)
    queued.close()
    listener.close()


def test_idle_queries_give_arrays_and_records(emulator):
    address = emulator("--serial", 4242, "--lasers", 2, "--points", 100,
                       "--image-width", 320, "--image-height", 200)
    with kelo.Scanner(address) as scanner:
        assert scanner.status()[0] == (4242, "Serial number")
        calibration = scanner.calibration()
        assert [len(l.transform_parameters) for l in calibration.lasers] == [14, 14]
        # The emulator sends the window words -50000, 50000, 20000, 120000.
        window = kelo.ScanWindow(left=-50.0, right=50.0, top=20.0, bottom=120.0)
        assert calibration.scan_window == window and [l.scan_window for l in calibration.lasers] == [window] * 2
        assert type(calibration.scan_window) is kelo.ScanWindow
        image = scanner.image()
        assert image.shape == (200, 320) and image.dtype == np.uint8
        scan = scanner.scan(laser=1)
        assert scan.header.shape == (8,) and scan.points.ndim == 2 and len(scan.points) > 0
        assert scanner.profile()["point_count"] == 100 and len(scanner.profiles_from_all_lasers()) == 2
        for position in (1.5, -2.25, 3.0), (4.0, 5.0, -6.125):
            scanner.send_position_calibration(position, laser=1)
        assert scanner.position_calibration(laser=1) == (4.0, 5.0, -6.125)
        history = scanner.old_position_calibrations(8, laser=1)   # the replaced ones, latest first
        assert len(history) == 2 and tuple(history[0]["position"]) == (1.5, -2.25, 3.0)


def test_parameters(emulator, tmp_path):
    with kelo.Scanner(emulator()) as scanner:
        with pytest.raises(kelo.ParameterError) as rejected:
            scanner.send_parameters("Bogus = 1\nGain = 3\nExposureTime = 5\n")
        assert type(rejected.value) is kelo.ParameterError and rejected.value.code == 21
        assert [m.split(":")[0] for m in rejected.value.messages] == ["line 1", "line 3"]
        scanner.send_parameters(b"Gain = 3\n")
        saved = tmp_path / "params.txt"
        scanner.save_parameter_file(saved)
        assert "Gain = 3" in saved.read_text() and scanner.parameter_file() == saved.read_text()
        for method, path in ("send_parameter_file", tmp_path / "missing.txt"), \
                            ("save_parameter_file", tmp_path / "no" / "such" / "dir.txt"):
            with pytest.raises(kelo.ParameterFileError) as failure:
                getattr(scanner, method)(path)
            assert str(path) in str(failure.value), failure.value
        scanner.enter_sync("time")
        with pytest.raises(kelo.SyncStateError):
            scanner.send_parameters("Gain = 2\n")
        scanner.exit_sync()


# Codes the other tests of the package do not meet on a real connection.
@pytest.mark.parametrize("code, call, synchronised, messages, expected", [
    (-1, "lpGetScan", False, [], kelo.TransferError),
    (-3, "lpGetProfile", False, [], kelo.NoProfileError),
    (21, "lpGetScan", False, [], kelo.SyncStateError),
    (21, "lpSendParameterFileToScanner", False, ["bad", "worse"], kelo.ParameterError),
    (21, "lpGetParameterFileFromScanner", False, [], kelo.ParameterFileError),
    (21, "lpSendScannerFirmwareUpdate", False, [], kelo.FirmwareNotConfirmedError),
    (21, "lpGetLaserCount", False, [], kelo.NotRetrievedError),
])
def test_result_codes_become_exceptions(code, call, synchronised, messages, expected):
    error = errors.error_for(code, call, synchronised, messages)
    assert type(error) is expected and isinstance(error, kelo.KeloError)
    assert (error.code, error.call) == (code, call) and str(error).startswith(call + ": ")
    assert f"({code})" in str(error)


def test_commands_put_their_words_on_the_wire(recorder):
    steps = [  # (method, arguments, the words sent)
        ("set_encoder_value", (0xFFFFFFFF,), (49, 4, 0xFFFFFFFF)),
        ("override_sync_settings", (0.0025, 0.5, -0.0001, 7, 2, 1.5, 2.5, 3.5, 4.5, 5.5, 255, 0),
         (60, 48, 2500, 5000, -1, 7, 2, 1500, 2500, 3500, 4500, 5500, 255, 0)),
        ("override_laser_autoexposure", (0.01, 650.0, 325.5, 1023, 100, 0, 2),
         (58, 28, 10, 650000, 325500, 1023, 100, 0, 2)),
        ("override_scan_window", (100.0, -100.0, -50.0, 50.0), (59, 16, 100000, -100000, -50000, 50000)),
        ("enter_sync", ("pulse",), (52, 0)),
        ("start_pulses", (5000000, 511), (57, 16, 5000000, 511, 0, 0)),
        ("set_alternating_exposure", (True, 10, 650000), (61, 12, 1, 10, 650000)),
        ("halt_sync", (), (33, 0)),
        ("stop_pulses", (), (57, 16, 0, 0, 0, 0)),
        ("exit_sync", (), (35, 0)),
        # refused by the library without sending anything
        ("override_scan_window", (1, 1, 0, 1), kelo.ArgumentError),
        ("stop_pulses", (), kelo.SyncStateError),
    ]
    with kelo.Scanner(recorder.address) as scanner:
        for method, arguments, expected in steps:
            if isinstance(expected, tuple):
                getattr(scanner, method)(*arguments)
                assert recorder.take(4 * len(expected)).hex(" ") == words(*expected).hex(" "), method
            else:
                with pytest.raises(expected) as failure:
                    getattr(scanner, method)(*arguments)
                assert failure.value.failure == kelo.FAILURE_REFUSED
    assert recorder.take(8) == words(102, 0)   # the close, nothing sent before it
    assert recorder.take(1, timeout=0.3) == b""


U32 = "an integer from 0 to 4294967295"


# Arguments the library cannot take, refused before anything is sent:
# (call, the error, what its message says).
@pytest.mark.parametrize("call, error, message", [
    (lambda s: s.send_parameters(123), TypeError, "send_parameters: text must be a str or bytes, not int"),
    (lambda s: s.send_parameters("Gain = 1\0"), ValueError, "text must not hold a NUL"),
    (lambda s: s.set_encoder_value(-1), ValueError, f"set_encoder_value: value must be {U32}, not -1"),
    (lambda s: s.set_encoder_value(2 ** 32), ValueError, f"value must be {U32}, not 4294967296"),
    (lambda s: s.set_encoder_value("abc"), TypeError, f"value must be {U32}, not 'abc'"),
    (lambda s: s.start_pulses(999), ValueError, "setting1 must be an integer from 1000 to 5000000"),
    (lambda s: s.start_pulses(1000, 512), ValueError, "setting2 must be an integer from 0 to 511"),
    (lambda s: s.acquire(batch=0), ValueError, "acquire: batch must be an integer from 1 to"),
    (lambda s: s.acquire().read(-5), ValueError, "read: count must be an integer from 0 up, not -5"),
    (lambda s: s.acquire(mode="fast"), ValueError, "mode must be one of 'time', 'encoder', 'pulse'"),
    (lambda s: s.save_parameter_file(5), TypeError, "path must be a path"),
    (lambda s: s.send_position_calibration((1.0, 2.0)), ValueError, "position must be 3 real numbers, not 2"),
    (lambda s: s.override_sync_settings(*["x"] + [0] * 11), TypeError, "real1 must be a real number"),
    (lambda s: s.override_laser_autoexposure(1, 1, 1, 0, 0, 0, 256), ValueError, "flag must be an integer from 0 to 255"),
    (lambda s: s.update_firmware(5, 1), TypeError, "image must be bytes"),
    (lambda s: s.image(laser=-1), ValueError, f"image: laser must be {U32}"),
    (lambda s: kelo.Scanner("127.0.0.1:99999"), ValueError, "port must be an integer from 1 to 65535"),
    (lambda s: kelo.Scanner("127.0.0.1", connect_timeout=0), ValueError, "connect_timeout must be more than 0"),
    (lambda s: kelo.find_scanners(capacity=0), ValueError, "capacity must be an integer from 1 to 4294967295"),
    (lambda s: kelo.set_cable_id(-1, 5), ValueError, f"serial_number must be {U32}"),
])
def test_bad_arguments_are_refused_naming_them_and_their_range(recorder, call, error, message):
    with kelo.Scanner(recorder.address) as scanner:
        with pytest.raises(error) as failure:
            call(scanner)
        assert message in str(failure.value)
    assert recorder.take(8) == words(102, 0)   # nothing before the close


def first_batch(scanner):
    with scanner.acquire(batch=5) as stream:
        return next(stream)


# What the connection says about a failure, from the emulator's faults.
@pytest.mark.parametrize("options, call, failure, detail, message", [
    (("--fault", "wrong-type"), kelo.Scanner.profile, kelo.FAILURE_WRONG_TYPE, 99,
     "lpGetProfile: an answer of type 99 where"),
    (("--points", 486), first_batch, kelo.FAILURE_TOO_LONG, 5872,
     "a profile of 5872 bytes does not fit a record of 243 points: read with large=True (-1)"),
    (("--fault", "short"), kelo.Scanner.calibration, kelo.FAILURE_CLOSED, 0,
     "lpRetrieveCalibrationValues: the scanner closed the connection"),
    (("--fault", "drop"), kelo.Scanner.status, kelo.FAILURE_CLOSED, 0, "the scanner closed the connection (-1)"),
])
def test_failures_say_what_failed(emulator, options, call, failure, detail, message):
    with kelo.Scanner(emulator(*options)) as scanner:
        with pytest.raises(kelo.TransferError) as raised:
            call(scanner)
    assert (raised.value.code, raised.value.failure, raised.value.detail) == (-1, failure, detail)
    assert message in str(raised.value)
