# SPDX-License-Identifier: Apache-2.0
"""Several scanners driven together."""
import ctypes

import numpy as np

from . import arguments, errors, records
from ._library import library
from .scanner import _ScannersGuard
from .waiting import deadline_after, left_ms, wait_readable


class Group:
    """A group of open Scanners; a context manager that leaves sync mode (if
    it entered it) and deletes the group. The group never closes its members.

    with kelo.Group([a, b]) as group:
        group.enter_sync("time")
        profiles = group.collect(100, timeout=5.0)   # {scanner: structured array}
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

    def members(self):
        """The members in the group's order (ascending handles), the order
        in which every group call visits them."""
        return [self._members[h] for h in sorted(self._members)]

    def _guard(self):
        return _ScannersGuard(tuple(self._members.values()))

    def _check(self, call, result, error=errors.GroupError, message="failed"):
        if result == 0:
            return
        member = self._members.get(result)
        if member is None:
            raise error(call, hex(result), None, message)
        raise error(call, member, member.failure(), message)

    def enter_sync(self, mode="time"):
        calls = {"time": "lpMultipleScannerEnterTimeSyncMode",
                 "encoder": "lpMultipleScannerEnterEncoderSyncMode"}
        call = calls[arguments.choice("enter_sync", "mode", mode, tuple(calls))]
        self._synchronised = True
        with self._guard():
            result = getattr(self._lib, call)(self._g())
        self._check(call, result)

    def exit_sync(self):
        """Leaves sync mode on every member, draining what each still owes.
        Where a member fails, the members after it are still taken out of
        sync mode; the error names the first that failed."""
        self._synchronised = False
        call = "lpMultipleScannerExitSyncMode"
        with self._guard():
            result = self._lib.lpMultipleScannerExitSyncMode(self._g())
        if result != 0:
            # The walk stops at the failing member: the later ones still leave.
            for scanner in self.members():
                if scanner.handle > result and scanner.synchronised:
                    try:
                        scanner.exit_sync()
                    except errors.KeloError:
                        pass
        self._check(call, result)

    def collect(self, count, timeout=None):
        """count profiles from every member: {scanner: structured array}.

        timeout: seconds for the whole collection (None: no limit); when
        they pass, GroupTimeoutError names the first member, in the group's
        order, that has not delivered its share.

        Each member is first asked for count profiles unless an answer is
        already owed to it (each collection that completes leaves one request
        per member outstanding, answered in time for the next). The wait for those
        answers to begin happens here, where Ctrl-C ends it at once; the
        group's timed collection then reads them, asking again for what a
        short answer left out, in the time that remains.

        When it fails, profiles(scanner) gives what each member delivered in
        this collection (none for those not read), so that nothing read is
        lost to the members that did deliver."""
        call = "lpMultipleScannerGetMultipleProfilesTimeout"
        count = arguments.integer("collect", "count", count)
        arguments.seconds("collect", "timeout", timeout)
        deadline = deadline_after(timeout)
        members = self.members()
        idle = [s for s in members if not s.synchronised]
        if idle:
            raise errors.GroupError(call, idle[0], message="not in sync mode")
        self._lib.lpMultipleScannerClearProfiles(self._g())
        waiting = {}
        if count > 0:
            for scanner in members:
                if scanner.outstanding_requests == 0:
                    self._request(scanner, count)
            waiting = {s.socket: s for s in members}
        while waiting:
            for ready in wait_readable(tuple(waiting), deadline):
                del waiting[ready]
            if waiting and left_ms(deadline) == 0:
                late = next(s for s in members if s.socket in waiting)
                raise errors.GroupTimeoutError(
                    call, late, errors.Failure(errors.FAILURE_TIMEOUT, timeout_ms=round(timeout * 1000)),
                    "no answer in time")
        with self._guard():
            result = self._lib.lpMultipleScannerGetMultipleProfilesTimeout(self._g(), count,
                                                                           left_ms(deadline))
        late = self._members.get(result)
        if late is not None and late.failure().code == errors.FAILURE_TIMEOUT:
            self._check(call, result, errors.GroupTimeoutError, "not all profiles in time")
        self._check(call, result)
        # The next collection's requests, ahead; a member the library asks
        # nothing while it is owed an answer. A failed send shows in the
        # next collection, as the connection it broke.
        for scanner in members if count > 0 else ():
            if scanner.outstanding_requests == 0:
                with scanner._guard():
                    self._lib.lpSendMultipleProfileRequest(scanner._h(), count)
        return {scanner: self.profiles(scanner) for scanner in members}

    def _request(self, scanner, count):
        call = "lpSendMultipleProfileRequest"
        with scanner._guard():
            result = self._lib.lpSendMultipleProfileRequest(scanner._h(), count)
        if result != errors.OK:
            raise errors.GroupError(call, scanner, scanner.failure(), "failed")

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
                except errors.KeloError as failure:
                    if exc is None:
                        raise
                    errors.add_note(exc, f"while leaving sync mode: {failure}")
        finally:
            self.close()
