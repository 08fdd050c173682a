# SPDX-License-Identifier: Apache-2.0
"""Several scanners driven together."""
import ctypes

import numpy as np

from . import errors, records
from ._library import library


class Group:
    """A group of open Scanners; a context manager that leaves sync mode (if
    it entered it) and deletes the group. The group never closes its members.

    with kelo.Group([a, b]) as group:
        group.enter_sync("time")
        profiles = group.collect(100)    # {scanner: structured array}
    """

    def __init__(self, scanners=()):
        self._lib = library()
        self._handle = self._lib.lpMultipleScannerCreate()
        if not self._handle:
            raise MemoryError("lpMultipleScannerCreate: out of memory")
        self._members = {}
        self._synchronised = False
        for scanner in scanners:
            self.add(scanner)

    def _g(self):
        if not self._handle:
            raise ValueError("the group is deleted")
        return self._handle

    def add(self, scanner):
        result = self._lib.lpMultipleScannerAddConnection(self._g(), scanner._h())
        if result != errors.OK:
            raise errors.error_for(result, "lpMultipleScannerAddConnection")
        self._members[scanner.handle] = scanner

    def remove(self, scanner):
        self._lib.lpMultipleScannerRemoveConnection(self._g(), scanner._h())
        self._members.pop(scanner.handle, None)

    def __contains__(self, scanner):
        return self._lib.lpMultipleScannerContainsConnection(self._g(), scanner._h()) == 1

    def __len__(self):
        return len(self._members)

    def _check(self, call, result):
        if result != 0:
            raise errors.GroupError(call, self._members.get(result, hex(result)))

    def enter_sync(self, mode="time"):
        calls = {"time": "lpMultipleScannerEnterTimeSyncMode",
                 "encoder": "lpMultipleScannerEnterEncoderSyncMode"}
        if mode not in calls:
            raise ValueError(f"a group enters time or encoder sync, not {mode!r}")
        self._synchronised = True
        self._check(calls[mode], getattr(self._lib, calls[mode])(self._g()))

    def exit_sync(self):
        self._synchronised = False
        self._check("lpMultipleScannerExitSyncMode",
                    self._lib.lpMultipleScannerExitSyncMode(self._g()))

    def collect(self, count):
        """count profiles from every member: {scanner: structured array}."""
        self._check("lpMultipleScannerGetMultipleProfiles",
                    self._lib.lpMultipleScannerGetMultipleProfiles(self._g(), count))
        return {scanner: self.profiles(scanner) for scanner in self._members.values()}

    def profiles(self, scanner):
        """A copy of the profiles the group holds for a member."""
        g, h = self._g(), scanner._h()
        count = self._lib.lpMultipleScannerGetProfileCount(g, h)
        if count <= 0:
            return np.empty(0, records.PROFILE_DTYPE)
        first = self._lib.lpMultipleScannerGetProfile(g, h, 0)
        raw = (ctypes.c_char * (count * records.PROFILE_DTYPE.itemsize)).from_address(first)
        return np.frombuffer(raw, records.PROFILE_DTYPE).copy()

    def close(self):
        handle, self._handle = self._handle, None
        if handle:
            self._lib.lpMultipleScannerDelete(handle)
        self._members.clear()

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, tb):
        try:
            if self._synchronised and self._handle:
                try:
                    self.exit_sync()
                except errors.KeloError:
                    if exc_type is None:
                        raise
        finally:
            self.close()
