# SPDX-License-Identifier: Apache-2.0
"""A Scanner against the emulator and against a recorder of its bytes."""
import struct

import numpy as np
import pytest

import kelo
from kelo import errors


def words(*values):
    return b"".join(struct.pack(">i" if v < 0 else ">I", v) for v in values)


def test_failed_open_raises_and_closed_scanner_refuses(emulator):
    address = emulator()
    with pytest.raises(kelo.OpenError) as failure:
        kelo.Scanner(address.rsplit(".", 1)[0] + ".254")   # nobody listens there
    assert failure.value.code == -1 and failure.value.socket_error != 0
    scanner = kelo.Scanner(address)
    scanner.close()
    scanner.close()
    with pytest.raises(ValueError):
        scanner.status()


def test_idle_queries_give_arrays_and_records(emulator):
    address = emulator("--serial", 4242, "--lasers", 2, "--points", 100,
                       "--image-width", 320, "--image-height", 200)
    with kelo.Scanner(address) as scanner:
        assert scanner.status()[0] == (4242, "Serial number")
        calibration = scanner.calibration()
        assert [len(l.transform_parameters) for l in calibration.lasers] == [14, 14]
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
        for failing in (lambda: scanner.send_parameter_file(tmp_path / "missing.txt"),
                        lambda: scanner.save_parameter_file(tmp_path / "no" / "such" / "dir.txt")):
            with pytest.raises(kelo.ParameterFileError):
                failing()
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
        # refused without sending anything
        ("override_scan_window", (1, 1, 0, 1), kelo.ArgumentError),
        ("start_pulses", (999,), kelo.ArgumentError),
        ("stop_pulses", (), kelo.SyncStateError),
    ]
    with kelo.Scanner(recorder.address) as scanner:
        for method, arguments, expected in steps:
            if isinstance(expected, tuple):
                getattr(scanner, method)(*arguments)
                assert recorder.take(4 * len(expected)).hex(" ") == words(*expected).hex(" "), method
            else:
                with pytest.raises(expected):
                    getattr(scanner, method)(*arguments)
    assert recorder.take(8) == words(102, 0)   # the close, nothing sent before it
    assert recorder.take(1, timeout=0.3) == b""


def test_broadcast_calls_refuse_bad_arguments_without_sending():
    with pytest.raises(kelo.DiscoveryError) as failure:
        kelo.find_scanners(capacity=0)
    assert failure.value.code == -1 and failure.value.socket_error == 22
    with pytest.raises(kelo.ArgumentError):
        kelo.set_cable_id(1, 256)
