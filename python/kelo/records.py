# SPDX-License-Identifier: Apache-2.0
"""Layouts of the records the library fills, defined once for the package.

Records cross the library boundary packed and in host byte order; numpy
structured dtypes describe those the library writes in bulk (profiles,
scans, images, position history), ctypes structures the discovery records.
"""
import ctypes

import numpy as np

PROFILE_HEADER_VALUES = 9
PROFILE_MAX_POINTS = 243
LARGE_PROFILE_MAX_POINTS = 486
SCAN_HEADER_VALUES = 8
SCAN_MAX_POINTS = 8192
IMAGE_MAX_PIXELS = 2048 * 2048
IMAGE_HEADER_SIZE = 20
POSITION_VALUES = 3
TRANSFORM_VALUES = 14
OLD_POSITION_TEXT_SIZE = 32
SCANNER_INFO_BLOCK_SIZE = 512


def _points_dtype(header_values, max_points):
    return np.dtype([
        ("header", np.int32, (header_values,)),
        ("point_count", np.int32),
        ("points", np.int32, (max_points, 3)),
    ])


# ProfileRecord (2956 bytes) and LargeProfileRecord (5872 bytes).
PROFILE_DTYPE = _points_dtype(PROFILE_HEADER_VALUES, PROFILE_MAX_POINTS)
LARGE_PROFILE_DTYPE = _points_dtype(PROFILE_HEADER_VALUES, LARGE_PROFILE_MAX_POINTS)
# ScanRecord: eight header words, the point count, the points.
SCAN_DTYPE = _points_dtype(SCAN_HEADER_VALUES, SCAN_MAX_POINTS)

# ImageRecord: five header words (the fourth the row length), then the pixels.
IMAGE_DTYPE = np.dtype([
    ("header", np.int32, (3,)),
    ("row_length", np.uint32),
    ("header4", np.int32),
    ("pixels", np.uint8, (IMAGE_MAX_PIXELS,)),
])

# OldPositionCalibration: three values and a zero-terminated date text.
OLD_POSITION_DTYPE = np.dtype([
    ("position", np.float64, (POSITION_VALUES,)),
    ("text", f"S{OLD_POSITION_TEXT_SIZE}"),
])


class ScannerInfo(ctypes.Structure):
    """One discovery reply as the scanner sent it (packed, 533 bytes)."""

    _pack_ = 1
    _fields_ = [
        ("value1", ctypes.c_uint32),
        ("value2", ctypes.c_uint16),
        ("value3", ctypes.c_uint8),
        ("value4", ctypes.c_uint32),
        ("identity", ctypes.c_uint32),
        ("value6", ctypes.c_uint8),
        ("value7", ctypes.c_uint8),
        ("value8", ctypes.c_uint32),
        ("block", ctypes.c_uint8 * SCANNER_INFO_BLOCK_SIZE),
    ]

    FIELDS = tuple(name for name, _ in _fields_)

    def describe(self):
        """identity, then the values, as name=value text (the block by its size)."""
        names = ("identity",) + tuple(n for n in self.FIELDS if n not in ("identity", "block"))
        return ", ".join(f"{name}={getattr(self, name)}" for name in names) + \
            f", block=<{SCANNER_INFO_BLOCK_SIZE} bytes>"

    def __repr__(self):
        return f"ScannerInfo({self.describe()})"


class ScannerInfoVB(ctypes.Structure):
    """The same fields naturally aligned: the element of the VB safe arrays."""

    _fields_ = ScannerInfo._fields_


class SafeArrayBound(ctypes.Structure):
    _fields_ = [("cElements", ctypes.c_uint32), ("lLbound", ctypes.c_int32)]


class SafeArray(ctypes.Structure):
    """The one-dimensional COM safe-array descriptor of the VB find calls."""

    _fields_ = [
        ("cDims", ctypes.c_uint16),
        ("fFeatures", ctypes.c_uint16),
        ("cbElements", ctypes.c_uint32),
        ("cLocks", ctypes.c_uint32),
        ("pvData", ctypes.c_void_p),
        ("rgsabound", SafeArrayBound * 1),
    ]


def _check_sizes():
    sizes = [
        (PROFILE_DTYPE.itemsize, 2956),
        (LARGE_PROFILE_DTYPE.itemsize, 5872),
        (SCAN_DTYPE.itemsize, 36 + 12 * SCAN_MAX_POINTS),
        (IMAGE_DTYPE.itemsize, IMAGE_HEADER_SIZE + IMAGE_MAX_PIXELS),
        (OLD_POSITION_DTYPE.itemsize, 56),
        (ctypes.sizeof(ScannerInfo), 533),
        (ctypes.sizeof(ScannerInfoVB), 536),
    ]
    for actual, wanted in sizes:
        if actual != wanted:
            raise ImportError(f"record layout is {actual} bytes, the library's is {wanted}")


_check_sizes()
