# SPDX-License-Identifier: Apache-2.0
"""Finding scanners and configuring their network settings by UDP broadcast.

These calls broadcast from every local IPv4 address: run them only on a
network where that is allowed.
"""
from . import errors, records
from ._library import library


def find_scanners(serial_number=None, cable_id=None, capacity=64):
    """The scanners that answer within the quiet period, as a list of
    records.ScannerInfo; all of them, or those a serial number or a cable id
    selects (the scanners decide)."""
    if serial_number is not None and cable_id is not None:
        raise ValueError("select by serial_number or by cable_id, not both")
    lib = library()
    found = (records.ScannerInfo * max(capacity, 1))()
    if serial_number is not None:
        call, result = "lpFindScannerBySerialNumber", lib.lpFindScannerBySerialNumber(
            serial_number, found, capacity)
    elif cable_id is not None:
        call, result = "lpFindScannerByCableId", lib.lpFindScannerByCableId(
            cable_id, found, capacity)
    else:
        call, result = "lpFindAllScanners", lib.lpFindAllScanners(found, capacity)
    if result < 0:
        raise errors.DiscoveryError(result, call, lib.lpGetLastSocketError())
    return list(found[:result])


def _configure(call, *args):
    lib = library()
    result = getattr(lib, call)(*args)
    if result == errors.ERROR_IO:
        raise errors.DiscoveryError(result, call, lib.lpGetLastSocketError())
    if result != errors.OK:
        raise errors.error_for(result, call)


def set_cable_id(serial_number, cable_id):
    _configure("lpSetCableId", serial_number, cable_id)


def clear_cable_id(serial_number):
    _configure("lpClearCableId", serial_number)


def set_static_ip(serial_number, address, second_address):
    """Dotted addresses (the first may also be a host name)."""
    _configure("lpSetStaticIpChar", serial_number, address.encode(), second_address.encode())


def set_base_ip(serial_number, address, second_address):
    _configure("lpSetBaseIpChar", serial_number, address.encode(), second_address.encode())
