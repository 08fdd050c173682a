# SPDX-License-Identifier: Apache-2.0
"""Finding scanners and configuring their network settings by UDP broadcast.

These calls broadcast from every local IPv4 address: run them only on a
network where that is allowed.
"""
import ctypes

from . import arguments, errors, records
from ._library import library
from .scanner import Scanner, dotted_address

_FIND_CALLS = {  # (selected by, with addresses): the library's call
    (None, False): "lpFindAllScanners",
    ("serial_number", False): "lpFindScannerBySerialNumber",
    ("cable_id", False): "lpFindScannerByCableId",
    (None, True): "lpFindAllScannersWithAddresses",
    ("serial_number", True): "lpFindScannerBySerialNumberWithAddresses",
    ("cable_id", True): "lpFindScannerByCableIdWithAddresses",
}


class FoundScanner:
    """A scanner that answered a discovery: .address, the IPv4 address its
    reply came from (dotted); .identity and the other values of its
    record (.value1 to .value8 but value5, which is .identity, and
    .block), as the scanner sent them; .info, the record itself."""

    def __init__(self, info, address):
        self.info = info
        self.address = dotted_address(address)

    def __getattr__(self, name):
        if name in records.ScannerInfo.FIELDS:
            value = getattr(self.info, name)
            return bytes(value) if name == "block" else value
        raise AttributeError(name)

    def open(self, port=None, connect_timeout=None):
        """A Scanner connected to the address the reply came from."""
        return Scanner(self.address, port=port, connect_timeout=connect_timeout)

    def __repr__(self):
        return f"FoundScanner(address={self.address!r}, {self.info.describe()})"


def _find(call, serial_number, cable_id, capacity, with_addresses):
    if serial_number is not None and cable_id is not None:
        raise ValueError(f"{call}: select by serial_number or by cable_id, not both")
    capacity = arguments.integer(call, "capacity", capacity, (1, arguments.U32[1]))
    selector, value = ((None, None) if serial_number is None and cable_id is None else
                       ("serial_number", serial_number) if cable_id is None else ("cable_id", cable_id))
    lib = library()
    found = (records.ScannerInfo * capacity)()
    addresses = (ctypes.c_uint32 * capacity)()
    name = _FIND_CALLS[selector, with_addresses]
    args = (found, addresses, capacity) if with_addresses else (found, capacity)
    if selector is not None:
        args = (arguments.integer(call, selector, value),) + args
    result = getattr(lib, name)(*args)
    if result < 0:
        raise errors.DiscoveryError(result, name, lib.lpGetLastSocketError())
    return found[:result], addresses[:result]


def discover(serial_number=None, cable_id=None, capacity=64):
    """The scanners that answer within the quiet period, as FoundScanner
    objects (address, identity, values, open()); all of them, or those a
    serial number or a cable id selects (the scanners decide)."""
    found, addresses = _find("discover", serial_number, cable_id, capacity, True)
    return [FoundScanner(info, address) for info, address in zip(found, addresses)]


def find_scanners(serial_number=None, cable_id=None, capacity=64):
    """As discover, but the bare records.ScannerInfo records."""
    return list(_find("find_scanners", serial_number, cable_id, capacity, False)[0])


def _configure(call, *args):
    lib = library()
    result = getattr(lib, call)(*args)
    if result == errors.ERROR_IO:
        raise errors.DiscoveryError(result, call, lib.lpGetLastSocketError())
    if result != errors.OK:
        raise errors.error_for(result, call)


def set_cable_id(serial_number, cable_id):
    call = "set_cable_id"
    _configure("lpSetCableId", arguments.integer(call, "serial_number", serial_number),
               arguments.integer(call, "cable_id", cable_id))


def clear_cable_id(serial_number):
    _configure("lpClearCableId", arguments.integer("clear_cable_id", "serial_number", serial_number))


def set_static_ip(serial_number, address, second_address):
    """Dotted addresses (the first may also be a host name)."""
    call = "set_static_ip"
    _configure("lpSetStaticIpChar", arguments.integer(call, "serial_number", serial_number),
               arguments.text(call, "address", address),
               arguments.text(call, "second_address", second_address))


def set_base_ip(serial_number, address, second_address):
    call = "set_base_ip"
    _configure("lpSetBaseIpChar", arguments.integer(call, "serial_number", serial_number),
               arguments.text(call, "address", address),
               arguments.text(call, "second_address", second_address))
