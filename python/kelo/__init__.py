# SPDX-License-Identifier: Apache-2.0
"""kelo: Python interface to the kelo_dll library for network laser profile
scanners. ::

    import kelo
    with kelo.Scanner("192.168.1.10") as scanner:
        with scanner.acquire(mode="time", batch=100) as stream:
            profiles = stream.read(1000)     # numpy structured array
    profiles["points"]                       # (1000, 243, 3) int32

Every failure raises a KeloError subclass carrying the library's result code.
"""
from .discovery import clear_cable_id, find_scanners, set_base_ip, set_cable_id, set_static_ip
from .errors import (AlreadyMemberError, ArgumentError, DiscoveryError, FirmwareNotConfirmedError,
                     GroupError, KeloError, NoProfileError, NotRetrievedError, OpenError,
                     ParameterError, ParameterFileError, ProfileTimeoutError, SyncStateError,
                     TransferError)
from ._library import VERSION as __version__, LibraryError, library
from .group import Group
from .records import (LARGE_PROFILE_DTYPE, OLD_POSITION_DTYPE, PROFILE_DTYPE, SCAN_DTYPE,
                      ScannerInfo)
from .scanner import Calibration, LaserCalibration, Scan, Scanner, StatusValue
from .stream import ProfileStream


def version():
    """The library's (major, minor) version numbers."""
    lib = library()
    return lib.lpGetKeloDllMajorVersionNumber(), lib.lpGetKeloDllMinorVersionNumber()
