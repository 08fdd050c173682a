# SPDX-License-Identifier: Apache-2.0
"""One scanner connection: parameters, calibration, status, images, scans,
single profiles, sync control and run-time overrides."""
import ctypes
import os
import tempfile
from collections import namedtuple

import numpy as np

from . import errors, records
from ._library import library

Scan = namedtuple("Scan", "header points")
Scan.__doc__ = "A scan: its eight header words and its points, shape (n, 3)."
LaserCalibration = namedtuple("LaserCalibration", "laser transform_parameters scan_window")
LaserCalibration.__doc__ = ("One laser's fourteen transform parameters and its scan window "
                            "as the scanner holds it, in thousandths, in received order.")
Calibration = namedtuple("Calibration", "laser_count scan_window lasers")
Calibration.__doc__ = ("The retrieved calibration: the laser count, laser 0's scan window "
                       "(as lpGetScanWindow orders it) and one LaserCalibration per laser.")
StatusValue = namedtuple("StatusValue", "value description")

# Header word of an image that carries its row count.
IMAGE_ROW_COUNT_WORD = 2
# Lasers the calibration store can hold.
CALIBRATION_MAX_LASERS = 3
SYNC_MODES = ("time", "encoder", "pulse")


def _text(value):
    return value.encode() if isinstance(value, str) else bytes(value)


def _path(value):
    return os.fsencode(value)


class Scanner:
    """An open connection to one scanner; a context manager that closes it.

    host: a host name or dotted address; an int is an IPv4 address in
    network byte order. offset: open host's address plus offset instead.
    """

    def __init__(self, host, offset=None):
        self._lib = library()
        if isinstance(host, int):
            call, handle = "lpOpenConnectionInt", self._lib.lpOpenConnectionInt(host)
        elif offset is not None:
            call = "lpOpenConnectionBase"
            handle = self._lib.lpOpenConnectionBase(_text(host), offset)
        else:
            call, handle = "lpOpenConnection", self._lib.lpOpenConnection(_text(host))
        if not handle:
            raise errors.OpenError(call, host, self._lib.lpGetLastSocketError())
        self.host = host
        self._handle = handle

    # -- life cycle ---------------------------------------------------------

    @property
    def handle(self):
        """The library's connection handle (an int), None once closed."""
        return self._handle

    def close(self):
        """Sends the close command and frees the connection; idempotent."""
        handle, self._handle = self._handle, None
        if handle:
            self._check("lpCloseConnection", self._lib.lpCloseConnection(handle))

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

    def __repr__(self):
        return f"Scanner({self.host!r})" + ("" if self._handle else " (closed)")

    def _h(self):
        if not self._handle:
            raise ValueError("the connection is closed")
        return self._handle

    def _check(self, call, result, messages=False):
        if result == errors.OK:
            return
        synchronised = False
        if result == errors.ERROR_STATE and self._handle:
            synchronised = self._lib.lpIsInSyncMode(self._handle) == 1
        found = self.error_messages() if messages and result == errors.ERROR_STATE else ()
        raise errors.error_for(result, call, synchronised, found)

    def _call(self, call, *args, messages=False):
        self._check(call, getattr(self._lib, call)(self._h(), *args), messages)

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
        self._call("lpSendParametersToScanner", _text(text), messages=True)

    def send_parameter_file(self, path):
        """Uploads a local parameter file; ParameterFileError when it cannot be read."""
        self._call("lpSendParameterFileToScanner", _path(path), messages=True)

    def save_parameter_file(self, path):
        """Writes the scanner's parameter set to a local file."""
        self._call("lpGetParameterFileFromScanner", _path(path))

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
        """Retrieves the calibration of every laser and returns it."""
        lib, h = self._lib, self._h()
        self._check("lpRetrieveCalibrationValues", lib.lpRetrieveCalibrationValues(h))
        laser_count = lib.lpGetLaserCount(h)
        window = [ctypes.c_double() for _ in range(4)]
        self._check("lpGetScanWindow", lib.lpGetScanWindow(h, *map(ctypes.byref, window)))
        lasers = []
        for laser in range(min(max(laser_count, 1), CALIBRATION_MAX_LASERS)):
            values = [ctypes.c_double() for _ in range(records.TRANSFORM_VALUES)]
            self._check("lpGetTransformParametersN",
                        lib.lpGetTransformParametersN(h, laser, *map(ctypes.byref, values)))
            words = [ctypes.c_int32() for _ in range(4)]
            self._check("lpReadScanWindowN",
                        lib.lpReadScanWindowN(h, laser, *map(ctypes.byref, words)))
            lasers.append(LaserCalibration(laser, tuple(v.value for v in values),
                                           tuple(w.value for w in words)))
        return Calibration(laser_count, tuple(v.value for v in window), lasers)

    def position_calibration(self, laser=0):
        """A laser's three position values, read from the scanner."""
        values = [ctypes.c_double() for _ in range(records.POSITION_VALUES)]
        self._call("lpReadPositionCalibrationN", laser, *map(ctypes.byref, values))
        return tuple(v.value for v in values)

    def send_position_calibration(self, position, laser=0):
        self._call("lpSendPositionCalibrationN", laser, *position)

    def old_position_calibrations(self, count, laser=0):
        """Up to count earlier position calibrations: a structured array with
        the fields position (3 values) and text (the date line)."""
        entries = np.zeros(count, records.OLD_POSITION_DTYPE)
        result = self._lib.lpReadOldPositionCalibrationsN(self._h(), laser, entries.ctypes.data,
                                                          count)
        # Other negative values are the scanner's own count of none.
        if result in (errors.ERROR_IO, errors.ERROR_ARGUMENT) or (
                result == errors.ERROR_STATE and self.synchronised):
            self._check("lpReadOldPositionCalibrationsN", result)
        return entries[:max(result, 0)]

    def send_intrinsic_calibration(self, values, laser=0):
        """Uploads fourteen intrinsic calibration values for a laser."""
        values = [float(v) for v in values]
        if len(values) != records.TRANSFORM_VALUES:
            raise ValueError(f"{records.TRANSFORM_VALUES} values needed, got {len(values)}")
        self._call("lpSendIntrinsicCalibrationN", laser, *values)

    # -- status -------------------------------------------------------------

    def status(self, describe=True, max_key=4095):
        """Fetches the status list: {key: StatusValue(value, description)},
        keys 0 to max_key; descriptions fetched unless describe is False."""
        lib, h = self._lib, self._h()
        self._check("lpGetScannerStatusFromScanner", lib.lpGetScannerStatusFromScanner(h))
        value = ctypes.c_int32()
        found = {}
        for key in range(max_key + 1):
            if lib.lpGetScannerStatusValue(h, key, ctypes.byref(value)) == errors.OK:
                found[key] = value.value
        return {key: StatusValue(v, self.status_description(key) if describe else None)
                for key, v in found.items()}

    def status_description(self, identifier, max_length=255):
        text = ctypes.create_string_buffer(max_length + 1)
        self._call("lpGetStatusDescriptionFromScanner", identifier, text, max_length)
        return text.value.decode(errors="backslashreplace")

    # -- images, scans and single profiles (idle) ---------------------------

    def image(self, laser=None, rows=None):
        """One camera image as a 2-D uint8 array (rows x row length). rows
        defaults to the row count the scanner puts in header word 2."""
        record = np.empty(1, records.IMAGE_DTYPE)
        if laser is None:
            self._call("lpGetImage", record.ctypes.data)
        else:
            self._call("lpGetImageN", laser, record.ctypes.data)
        return _pixels(record[0], rows)

    def scan(self, laser=None):
        """One scan: Scan(header, points) with points of shape (n, 3)."""
        record = np.empty(1, records.SCAN_DTYPE)
        if laser is None:
            self._call("lpGetScan", record.ctypes.data)
        else:
            self._call("lpGetScanN", laser, record.ctypes.data)
        return _scan(record[0])

    def image_scan(self, laser=None, rows=None):
        """An image and the scan the scanner sends with it: (pixels, Scan)."""
        image = np.empty(1, records.IMAGE_DTYPE)
        scan = np.empty(1, records.SCAN_DTYPE)
        if laser is None:
            self._call("lpGetImageScan", image.ctypes.data, scan.ctypes.data)
        else:
            self._call("lpGetImageScanN", laser, image.ctypes.data, scan.ctypes.data)
        return _pixels(image[0], rows), _scan(scan[0])

    def profile(self, laser=None):
        """One profile on demand: a record of records.PROFILE_DTYPE."""
        record = np.zeros(1, records.PROFILE_DTYPE)
        if laser is None:
            self._call("lpGetProfile", record.ctypes.data)
        else:
            self._call("lpGetProfileN", laser, record.ctypes.data)
        return record[0]

    def profiles_from_all_lasers(self, capacity=16):
        """One profile from every laser (idle only), as a structured array."""
        array = np.zeros(capacity, records.PROFILE_DTYPE)
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
        if mode not in calls:
            raise ValueError(f"mode must be one of {', '.join(SYNC_MODES)}, not {mode!r}")
        self._call(calls[mode])

    def exit_sync(self):
        """Leaves sync mode and drains the profile answers still owed."""
        self._call("lpExitSyncMode")

    def halt_sync(self):
        self._call("lpHaltSyncMode")

    def set_encoder_value(self, value):
        """Sets the encoder value (idle only), sent as 32 bits."""
        self._call("lpSetEncoderValue32", value)

    def start_pulses(self, setting1, setting2=0):
        """Starts the pulse generator (synchronised only): setting1 in
        [1000, 5000000], setting2 in [0, 511]."""
        self._call("lpStartPulseMaster", setting1, setting2)

    def stop_pulses(self):
        self._call("lpStopPulses")

    # -- run-time overrides (values as the library scales them) -------------

    def override_sync_settings(self, real1, real2, real3, int1, flag1, real4, real5, real6,
                               real7, real8, flag2, flag3):
        self._call("lpOverrideSyncSettings", real1, real2, real3, int1, flag1, real4, real5,
                   real6, real7, real8, flag2, flag3)

    def override_laser_autoexposure(self, real1, real2, real3, int1, int2, int3, flag):
        self._call("lpOverrideLaserAutoexposure", real1, real2, real3, int1, int2, int3, flag)

    def override_scan_window(self, real1, real2, real3, real4):
        self._call("lpOverrideScanWindow", real1, real2, real3, real4)

    def set_alternating_exposure(self, enable, exposure1, exposure2):
        self._call("lpSetAlternatingExposure", int(enable), exposure1, exposure2)

    # -- maintenance --------------------------------------------------------

    def update_firmware(self, image, version):
        """Sends a firmware image (bytes); FirmwareNotConfirmedError when the
        scanner does not confirm it."""
        data = np.frombuffer(bytes(image), np.uint8)
        self._call("lpSendScannerFirmwareUpdate", data.ctypes.data, len(data), version)


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
