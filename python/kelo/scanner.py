# SPDX-License-Identifier: Apache-2.0
"""One scanner connection: parameters, calibration, status, images, scans,
single profiles, sync control and run-time overrides."""
import ctypes
import numbers
import os
import socket
import struct
import tempfile
from collections import namedtuple

import numpy as np

from . import arguments, errors, records
from ._library import library
from .interruption import Guard

Scan = namedtuple("Scan", "header points")
Scan.__doc__ = "A scan: its eight header words and its points, shape (n, 3)."
ScanWindow = namedtuple("ScanWindow", "left right top bottom")
ScanWindow.__doc__ = ("A scan window in the scanner's units (the thousandths it sends, divided "
                      "by 1000), its four values in the order the scanner sends them; named as "
                      "the emulator names the values it sends in that order (its parameters "
                      "ScanWindowLeft, ScanWindowRight, ScanWindowTop, ScanWindowBottom).")
LaserCalibration = namedtuple("LaserCalibration", "laser transform_parameters scan_window")
LaserCalibration.__doc__ = ("One laser's fourteen transform parameters and its ScanWindow as the "
                            "scanner holds it now (read with lpReadScanWindowN).")
Calibration = namedtuple("Calibration", "laser_count scan_window lasers")
Calibration.__doc__ = ("The retrieved calibration: the laser count, laser 0's ScanWindow as "
                       "retrieved (from lpGetScanWindow, in the same order and unit as each "
                       "laser's) and one LaserCalibration per laser.")
StatusValue = namedtuple("StatusValue", "value description")

# Header word of an image that carries its row count.
IMAGE_ROW_COUNT_WORD = 2
# Lasers the calibration store can hold.
CALIBRATION_MAX_LASERS = 3
SYNC_MODES = ("time", "encoder", "pulse")
DEFAULT_PORT = 24334
CONNECT_TIMEOUT_MS = 1000
PULSE_SETTING1 = (1000, 5000000)
PULSE_SETTING2 = (0, 511)
# The wait of every answer of a command (the library's own).
ANSWER_TIMEOUT_MS = 5000
# Which of lpGetScanWindow's outputs holds each value, in the order sent.
_STORED_WINDOW_ORDER = (0, 3, 1, 2)


def dotted_address(address):
    """An IPv4 address in network byte order (as an int) as dotted text."""
    return socket.inet_ntoa(struct.pack("=I", address))


def _host_and_port(call, host, port):
    """host as bytes and the port: "name:port" names a port of its own."""
    name = host if isinstance(host, str) else os.fsdecode(arguments.text(call, "host", host))
    if name.count(":") == 1:
        name, _, given = name.partition(":")
        if port is not None:
            raise ValueError(f"{call}: the port is given twice, in host and as port")
        if not given.isdigit():
            raise ValueError(f"{call}: the port in host must be a number from 1 to 65535, "
                             f"not {given!r}")
        port = int(given)
    if port is not None:
        port = arguments.integer(call, "port", port, (1, 65535))
    return arguments.text(call, "host", name), port


class Scanner:
    """An open connection to one scanner; a context manager that closes it.

    host: a host name or dotted address, either optionally followed by
    ":port"; an int is an IPv4 address in network byte order. port: the TCP
    port (default 24334). connect_timeout: seconds the connect may take
    (default 1). offset: open host's address plus offset instead (not with
    a port or a connect time-out).
    """

    def __init__(self, host, offset=None, *, port=None, connect_timeout=None):
        call = "Scanner"
        self._lib = library()
        self._cut = False
        timeout_ms = arguments.seconds(call, "connect_timeout", connect_timeout, positive=True)
        if isinstance(host, numbers.Integral) and not isinstance(host, bool):
            host = dotted_address(arguments.integer(call, "host", host))
        name, port = _host_and_port(call, host, port)
        if offset is None:
            call = "lpOpenConnectionPort"
            handle = self._lib.lpOpenConnectionPort(name, port or DEFAULT_PORT, timeout_ms or 0)
        elif port is None and timeout_ms is None:
            call = "lpOpenConnectionBase"
            handle = self._lib.lpOpenConnectionBase(name, arguments.integer(call, "offset", offset))
        else:
            raise ValueError(f"{call}: offset cannot be combined with a port or a connect time-out")
        self.host = os.fsdecode(name)
        self.port = port or DEFAULT_PORT
        if not handle:
            raise errors.OpenError(call, self.where, self._lib.lpGetLastSocketError(),
                                   timeout_ms or CONNECT_TIMEOUT_MS)
        self._handle = handle
        self._socket = self._lib.lpGetSocket(handle)

    # -- life cycle ---------------------------------------------------------

    @property
    def handle(self):
        """The library's connection handle (an int), None once closed."""
        return self._handle

    @property
    def socket(self):
        """The connection's socket descriptor, for waiting on its answers."""
        return self._socket

    def close(self):
        """Sends the close command and frees the connection; idempotent."""
        handle, self._handle = self._handle, None
        if handle:
            with self._guard():
                result = self._lib.lpCloseConnection(handle)
            self._check("lpCloseConnection", result)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None):
            try:
                self._lib.lpCloseConnection(self._handle)
            except Exception:
                pass

    @property
    def where(self):
        """The host, with ":port" when the port is not the usual one."""
        return self.host if self.port == DEFAULT_PORT else f"{self.host}:{self.port}"

    def __repr__(self):
        return f"Scanner({self.where!r})" + ("" if self._handle else " (closed)")

    def _h(self):
        if not self._handle:
            raise ValueError("the connection is closed")
        return self._handle

    def _guard(self):
        """Around every call that may wait on the scanner (see interruption.py)."""
        return _ScannersGuard((self,))

    def failure(self, timeout_ms=ANSWER_TIMEOUT_MS, too_long=None):
        """What the connection says about its last failed call (errors.Failure)."""
        h = self._h()
        code = self._lib.lpGetLastFailure(h)
        return errors.Failure(code, self._lib.lpGetLastFailureDetail(h),
                              self._lib.lpGetLastSocketError() if code == errors.FAILURE_SOCKET else 0,
                              timeout_ms, too_long, self._cut)

    def _check(self, call, result, messages=False, timeout_ms=ANSWER_TIMEOUT_MS, too_long=None,
               path=None):
        if result == errors.OK:
            return
        failure = self.failure(timeout_ms, too_long) if self._handle else None
        synchronised = False
        if result == errors.ERROR_STATE and self._handle:
            synchronised = self._lib.lpIsInSyncMode(self._handle) == 1
        found = self.error_messages() if messages and result == errors.ERROR_STATE else ()
        raise errors.error_for(result, call, synchronised, found, failure, path)

    def _call(self, call, *args, messages=False, path=None):
        h = self._h()
        with self._guard():
            result = getattr(self._lib, call)(h, *args)
        self._check(call, result, messages, path=path)

    # -- state --------------------------------------------------------------

    @property
    def synchronised(self):
        """True while the connection is in time, encoder or pulse sync."""
        return self._lib.lpIsInSyncMode(self._h()) == 1

    @property
    def outstanding_requests(self):
        return self._lib.lpGetNumberOfOutstandingRequests(self._h())

    def error_messages(self):
        """The messages of the last parameter upload."""
        h = self._h()
        count = self._lib.lpGetNumberOfErrorMessages(h)
        return [self._lib.lpGetErrorMessage(h, i).decode(errors="backslashreplace")
                for i in range(max(count, 0))]

    # -- parameters ---------------------------------------------------------

    def send_parameters(self, text):
        """Uploads a parameter set (str or bytes); ParameterError with the
        scanner's messages when it rejects them."""
        text = arguments.text("send_parameters", "text", text)
        self._call("lpSendParametersToScanner", text, messages=True)

    def send_parameter_file(self, path):
        """Uploads a local parameter file; ParameterFileError when it cannot be read."""
        path = arguments.path("send_parameter_file", "path", path)
        self._call("lpSendParameterFileToScanner", path, messages=True, path=path)

    def save_parameter_file(self, path):
        """Writes the scanner's parameter set to a local file."""
        path = arguments.path("save_parameter_file", "path", path)
        self._call("lpGetParameterFileFromScanner", path, path=path)

    def parameter_file(self):
        """The scanner's parameter set as text."""
        handle, name = tempfile.mkstemp(prefix="kelo-parameters-")
        os.close(handle)
        try:
            self.save_parameter_file(name)
            with open(name, "rb") as f:
                return f.read().decode(errors="backslashreplace")
        finally:
            os.unlink(name)

    # -- calibration --------------------------------------------------------

    def calibration(self):
        """Retrieves the calibration of every laser and returns it (Calibration)."""
        lib, h = self._lib, self._h()
        with self._guard():
            result = lib.lpRetrieveCalibrationValues(h)
        self._check("lpRetrieveCalibrationValues", result)
        laser_count = lib.lpGetLaserCount(h)
        stored = [ctypes.c_double() for _ in range(4)]
        self._check("lpGetScanWindow", lib.lpGetScanWindow(h, *map(ctypes.byref, stored)))
        lasers = []
        for laser in range(min(max(laser_count, 1), CALIBRATION_MAX_LASERS)):
            values = [ctypes.c_double() for _ in range(records.TRANSFORM_VALUES)]
            self._check("lpGetTransformParametersN",
                        lib.lpGetTransformParametersN(h, laser, *map(ctypes.byref, values)))
            words = [ctypes.c_int32() for _ in range(4)]
            self._call("lpReadScanWindowN", laser, *map(ctypes.byref, words))
            lasers.append(LaserCalibration(laser, tuple(v.value for v in values),
                                           ScanWindow(*(w.value / 1000.0 for w in words))))
        window = ScanWindow(*(stored[i].value for i in _STORED_WINDOW_ORDER))
        return Calibration(laser_count, window, lasers)

    def position_calibration(self, laser=0):
        """A laser's three position values, read from the scanner."""
        laser = arguments.integer("position_calibration", "laser", laser)
        values = [ctypes.c_double() for _ in range(records.POSITION_VALUES)]
        self._call("lpReadPositionCalibrationN", laser, *map(ctypes.byref, values))
        return tuple(v.value for v in values)

    def send_position_calibration(self, position, laser=0):
        """Uploads a laser's three position values."""
        call = "send_position_calibration"
        position = arguments.reals(call, "position", position, records.POSITION_VALUES)
        self._call("lpSendPositionCalibrationN", arguments.integer(call, "laser", laser), *position)

    def old_position_calibrations(self, count, laser=0):
        """Up to count earlier position calibrations: a structured array with
        the fields position (3 values) and text (the date line)."""
        call = "old_position_calibrations"
        count = arguments.integer(call, "count", count)
        laser = arguments.integer(call, "laser", laser)
        entries = np.zeros(count, records.OLD_POSITION_DTYPE)
        with self._guard():
            result = self._lib.lpReadOldPositionCalibrationsN(self._h(), laser, entries.ctypes.data,
                                                              count)
        # Other negative values are the scanner's own count of none.
        if result in (errors.ERROR_IO, errors.ERROR_ARGUMENT) or (
                result == errors.ERROR_STATE and self.synchronised):
            self._check("lpReadOldPositionCalibrationsN", result)
        return entries[:max(result, 0)]

    def send_intrinsic_calibration(self, values, laser=0):
        """Uploads fourteen intrinsic calibration values for a laser."""
        call = "send_intrinsic_calibration"
        values = arguments.reals(call, "values", values, records.TRANSFORM_VALUES)
        self._call("lpSendIntrinsicCalibrationN", arguments.integer(call, "laser", laser), *values)

    # -- status -------------------------------------------------------------

    def status(self, describe=True, max_key=4095):
        """Fetches the status list: {key: StatusValue(value, description)},
        keys 0 to max_key; descriptions fetched unless describe is False."""
        max_key = arguments.integer("status", "max_key", max_key)
        lib, h = self._lib, self._h()
        with self._guard():
            result = lib.lpGetScannerStatusFromScanner(h)
        self._check("lpGetScannerStatusFromScanner", result)
        value = ctypes.c_int32()
        found = {}
        for key in range(max_key + 1):
            if lib.lpGetScannerStatusValue(h, key, ctypes.byref(value)) == errors.OK:
                found[key] = value.value
        return {key: StatusValue(v, self.status_description(key) if describe else None)
                for key, v in found.items()}

    def status_description(self, identifier, max_length=255):
        call = "status_description"
        identifier = arguments.integer(call, "identifier", identifier)
        max_length = arguments.integer(call, "max_length", max_length, (1, arguments.U32[1] - 1))
        text = ctypes.create_string_buffer(max_length + 1)
        self._call("lpGetStatusDescriptionFromScanner", identifier, text, max_length)
        return text.value.decode(errors="backslashreplace")

    # -- images, scans and single profiles (idle) ---------------------------

    def _laser_call(self, method, name, laser, *records_):
        """The call of the default laser, or its N form for a given laser."""
        if laser is None:
            self._call(name, *records_)
        else:
            self._call(name + "N", arguments.integer(method, "laser", laser), *records_)

    def image(self, laser=None, rows=None):
        """One camera image as a 2-D uint8 array (rows x row length). rows
        defaults to the row count the scanner puts in header word 2."""
        rows = arguments.optional_integer("image", "rows", rows, (1, records.IMAGE_MAX_PIXELS))
        record = np.empty(1, records.IMAGE_DTYPE)
        self._laser_call("image", "lpGetImage", laser, record.ctypes.data)
        return _pixels(record[0], rows)

    def scan(self, laser=None):
        """One scan: Scan(header, points) with points of shape (n, 3)."""
        record = np.empty(1, records.SCAN_DTYPE)
        self._laser_call("scan", "lpGetScan", laser, record.ctypes.data)
        return _scan(record[0])

    def image_scan(self, laser=None, rows=None):
        """An image and the scan the scanner sends with it: (pixels, Scan)."""
        rows = arguments.optional_integer("image_scan", "rows", rows, (1, records.IMAGE_MAX_PIXELS))
        image = np.empty(1, records.IMAGE_DTYPE)
        scan = np.empty(1, records.SCAN_DTYPE)
        self._laser_call("image_scan", "lpGetImageScan", laser, image.ctypes.data, scan.ctypes.data)
        return _pixels(image[0], rows), _scan(scan[0])

    def profile(self, laser=None):
        """One profile on demand: a record of records.PROFILE_DTYPE."""
        record = np.zeros(1, records.PROFILE_DTYPE)
        self._laser_call("profile", "lpGetProfile", laser, record.ctypes.data)
        return record[0]

    def profiles_from_all_lasers(self, capacity=16):
        """One profile from every laser (idle only), as a structured array."""
        capacity = arguments.integer("profiles_from_all_lasers", "capacity", capacity, (1, arguments.U32[1]))
        array = np.zeros(capacity, records.PROFILE_DTYPE)
        with self._guard():
            result = self._lib.lpGetProfileFromAllLasers(self._h(), array.ctypes.data, capacity)
        if result < 0 or (result == errors.ERROR_STATE and self.synchronised):
            self._check("lpGetProfileFromAllLasers", result)
        return array[:result]

    # -- synchronised acquisition -------------------------------------------

    def acquire(self, mode="time", batch=100, **options):
        """A profile stream in the given sync mode; use it in a with block.
        See ProfileStream for the options."""
        from .stream import ProfileStream
        return ProfileStream(self, mode, batch, **options)

    def enter_sync(self, mode="time"):
        calls = {"time": "lpEnterTimeSyncMode", "encoder": "lpEnterEncoderSyncMode",
                 "pulse": "lpEnterPulseSyncMode"}
        self._call(calls[arguments.choice("enter_sync", "mode", mode, SYNC_MODES)])

    def exit_sync(self):
        """Leaves sync mode and drains the profile answers still owed (each
        within the usual 5 s). After Ctrl-C this gives up within a second
        (see interruption.py)."""
        self._call("lpExitSyncMode")

    def halt_sync(self):
        self._call("lpHaltSyncMode")

    def set_encoder_value(self, value):
        """Sets the encoder value (idle only), sent as 32 bits."""
        self._call("lpSetEncoderValue32", arguments.integer("set_encoder_value", "value", value))

    def start_pulses(self, setting1, setting2=0):
        """Starts the pulse generator (synchronised only): setting1 in
        [1000, 5000000], setting2 in [0, 511]."""
        setting1 = arguments.integer("start_pulses", "setting1", setting1, PULSE_SETTING1)
        setting2 = arguments.integer("start_pulses", "setting2", setting2, PULSE_SETTING2)
        self._call("lpStartPulseMaster", setting1, setting2)

    def stop_pulses(self):
        self._call("lpStopPulses")

    # -- run-time overrides (values as the library scales them) -------------

    def override_sync_settings(self, real1, real2, real3, int1, flag1, real4, real5, real6,
                               real7, real8, flag2, flag3):
        call, i, r = "override_sync_settings", arguments.integer, arguments.real
        self._call("lpOverrideSyncSettings", r(call, "real1", real1), r(call, "real2", real2),
                   r(call, "real3", real3), i(call, "int1", int1), i(call, "flag1", flag1, arguments.U8),
                   r(call, "real4", real4), r(call, "real5", real5), r(call, "real6", real6),
                   r(call, "real7", real7), r(call, "real8", real8),
                   i(call, "flag2", flag2, arguments.U8), i(call, "flag3", flag3, arguments.U8))

    def override_laser_autoexposure(self, real1, real2, real3, int1, int2, int3, flag):
        call, i, r = "override_laser_autoexposure", arguments.integer, arguments.real
        self._call("lpOverrideLaserAutoexposure", r(call, "real1", real1), r(call, "real2", real2),
                   r(call, "real3", real3), i(call, "int1", int1), i(call, "int2", int2, arguments.I32),
                   i(call, "int3", int3), i(call, "flag", flag, arguments.U8))

    def override_scan_window(self, real1, real2, real3, real4):
        values = arguments.reals("override_scan_window", "the window", (real1, real2, real3, real4), 4)
        self._call("lpOverrideScanWindow", *values)

    def set_alternating_exposure(self, enable, exposure1, exposure2):
        call = "set_alternating_exposure"
        enable = int(enable) if isinstance(enable, bool) else arguments.integer(
            call, "enable", enable, arguments.U8)
        self._call("lpSetAlternatingExposure", enable,
                   arguments.integer(call, "exposure1", exposure1, arguments.I32),
                   arguments.integer(call, "exposure2", exposure2, arguments.I32))

    # -- maintenance --------------------------------------------------------

    def update_firmware(self, image, version):
        """Sends a firmware image (bytes); FirmwareNotConfirmedError when the
        scanner does not confirm it."""
        if not isinstance(image, (bytes, bytearray, memoryview)):
            raise TypeError(f"update_firmware: image must be bytes, not {type(image).__name__}")
        version = arguments.integer("update_firmware", "version", version)
        data = np.frombuffer(bytes(image), np.uint8)
        self._call("lpSendScannerFirmwareUpdate", data.ctypes.data, len(data), version)


class _ScannersGuard(Guard):
    """A Guard on the scanners' sockets that notes on them when Ctrl-C cut them."""

    __slots__ = ("_scanners",)

    def __init__(self, scanners):
        super().__init__(tuple(s.socket for s in scanners))
        self._scanners = scanners

    def __exit__(self, *exc):
        super().__exit__(*exc)
        if self.cut:
            for scanner in self._scanners:
                scanner._cut = True


def _pixels(record, rows):
    width = int(record["row_length"])
    if rows is None:
        rows = int(record["header"][IMAGE_ROW_COUNT_WORD])
    if width <= 0 or rows <= 0 or width * rows > records.IMAGE_MAX_PIXELS:
        raise ValueError(f"the image header gives {width} x {rows} pixels, which does not fit "
                         f"the record; pass rows")
    return record["pixels"][:width * rows].reshape(rows, width).copy()


def _scan(record):
    count = min(max(int(record["point_count"]), 0), records.SCAN_MAX_POINTS)
    return Scan(record["header"].copy(), record["points"][:count].copy())
