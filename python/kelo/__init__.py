# SPDX-License-Identifier: Apache-2.0
"""kelo: Python interface to the kelo_dll library for network laser profile
scanners. ::

    import kelo
    for found in kelo.discover():            # address, identity, values
        print(found)
    with kelo.Scanner("192.168.1.10") as scanner:    # or "host:port", or found.open()
        with scanner.acquire(mode="time", batch=100) as stream:
            profiles = stream.read(1000)     # numpy structured array
    profiles["points"]                       # (1000, 243, 3) int32

Every failure raises a KeloError subclass carrying the library's result code
and why the connection says it failed; arguments the library cannot take
raise TypeError or ValueError first. Ctrl-C ends every blocking call within
about a second (see waiting.py and interruption.py).
"""
from .discovery import (FoundScanner, clear_cable_id, discover, find_scanners, set_base_ip,
                        set_cable_id, set_static_ip)
from .errors import (FAILURE_CLOSED, FAILURE_NONE, FAILURE_REFUSED, FAILURE_SOCKET,
                     FAILURE_TIMEOUT, FAILURE_TOO_LONG, FAILURE_WRONG_TYPE, AlreadyMemberError,
                     ArgumentError, DiscoveryError, FirmwareNotConfirmedError, GroupError,
                     GroupTimeoutError, KeloError, NoProfileError, NotRetrievedError, OpenError,
                     ParameterError, ParameterFileError, ProfileTimeoutError, SyncStateError,
                     TransferError)
from ._library import VERSION as __version__, LibraryError, library
from .group import Group
from .records import (LARGE_PROFILE_DTYPE, OLD_POSITION_DTYPE, PROFILE_DTYPE, SCAN_DTYPE,
                      ScannerInfo)
from .scanner import Calibration, LaserCalibration, Scan, Scanner, ScanWindow, StatusValue
from .stream import ProfileStream


def version():
    """The library's (major, minor) version numbers."""
    lib = library()
    return lib.lpGetKeloDllMajorVersionNumber(), lib.lpGetKeloDllMinorVersionNumber()
