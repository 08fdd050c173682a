# SPDX-License-Identifier: Apache-2.0
"""Synchronised profile acquisition as a stream of numpy arrays.

The library reads every batch straight into numpy memory: one call per
batch, no Python work per profile.
"""
import sys

import numpy as np

from . import arguments, errors, records
from .scanner import PULSE_SETTING1, PULSE_SETTING2, SYNC_MODES
from .waiting import Waiter, deadline_after

DEFAULT_TIMEOUT_MS = 5000
# Batch arrays no one else holds any more are read into again, so a loop
# that lets go of each batch before the next one reuses memory still in the
# processor's cache; this many are kept for that.
POOL_SIZE = 4


class ProfileStream:
    """Profiles of a synchronised scanner, batch by batch. ::

        with scanner.acquire(mode="time", batch=100) as stream:
            for profiles in stream:      # structured arrays of records.PROFILE_DTYPE
                ...
            more = stream.read(1000)     # exactly 1000 profiles in one array

    mode: "time", "encoder" or "pulse". batch: profiles asked for per
    request. ahead: requests kept outstanding while a batch is read (2 keeps
    the scanner busy during each read). timeout_ms: wait of each read.
    large: LargeProfileRecord records (486 points). encoder_value: set before
    encoder sync. pulse_setting1, pulse_setting2: the pulse generator's
    settings in pulse mode. Leaving the block (also by an exception or
    Ctrl-C) stops the pulses and leaves sync mode, which drains the
    answers still owed.

    A batch yielded stays as it is for as long as it (or a view of it) is
    referenced; its memory is read into again only once it is let go.
    """

    def __init__(self, scanner, mode="time", batch=100, ahead=2, timeout_ms=DEFAULT_TIMEOUT_MS,
                 large=False, encoder_value=None, pulse_setting1=None, pulse_setting2=0):
        call = "acquire"
        arguments.choice(call, "mode", mode, SYNC_MODES)
        if (mode == "pulse") != (pulse_setting1 is not None):
            raise ValueError(f"{call}: pulse_setting1 is needed in pulse mode and only there")
        if encoder_value is not None and mode != "encoder":
            raise ValueError(f"{call}: encoder_value is for encoder mode")
        self.scanner = scanner
        self.mode = mode
        self.batch = arguments.integer(call, "batch", batch, (1, arguments.U32[1]))
        self.ahead = arguments.integer(call, "ahead", ahead, (1, arguments.I32[1]))
        self.timeout_ms = arguments.integer(call, "timeout_ms", timeout_ms, (0, arguments.I32[1]))
        self.dtype = records.LARGE_PROFILE_DTYPE if large else records.PROFILE_DTYPE
        self._read_call = "lpReadMultipleLargeProfiles" if large else "lpReadMultipleProfilesTimeout"
        points = records.LARGE_PROFILE_MAX_POINTS if large else records.PROFILE_MAX_POINTS
        self._too_long = (f"a profile of {{detail}} bytes does not fit a record of {points} points"
                          + ("" if large else ": read with large=True"))
        self._encoder_value = arguments.optional_integer(call, "encoder_value", encoder_value)
        self._pulses = (
            arguments.optional_integer(call, "pulse_setting1", pulse_setting1, PULSE_SETTING1),
            arguments.integer(call, "pulse_setting2", pulse_setting2, PULSE_SETTING2))
        self._leftover = None
        self._running = False
        self._pool = []   # (array of one batch, its address)

    # -- life cycle ---------------------------------------------------------

    def start(self):
        """Enters sync mode and sends the first requests."""
        scanner = self.scanner
        if self._encoder_value is not None:
            scanner.set_encoder_value(self._encoder_value)
        scanner.enter_sync(self.mode)
        self._running = True
        try:
            if self.mode == "pulse":
                scanner.start_pulses(*self._pulses)
            lib, h = scanner._lib, scanner._h()
            self._read = getattr(lib, self._read_call)
            self._send = lib.lpSendMultipleProfileRequest
            self._handle = h
            self._answers = Waiter((scanner.socket,))
            for _ in range(self.ahead - 1):
                self._request()
        except BaseException as failure:
            self._leave(during=failure)
            raise
        return self

    def stop(self):
        """Stops the pulses (pulse mode) and leaves sync mode."""
        if self._running:
            self._leave()

    def __enter__(self):
        return self.start()

    def __exit__(self, exc_type, exc, tb):
        if self._running:
            self._leave(during=exc)

    def _leave(self, during=None):
        """Stops the pulses and leaves sync mode. A failure doing so raises,
        unless it happens during another exception: it must not hide that
        one, and becomes a note of it."""
        self._running = False
        scanner = self.scanner
        try:
            if self.mode == "pulse":
                scanner.stop_pulses()
        except errors.KeloError as failure:
            if during is None:
                raise
            errors.add_note(during, f"while stopping the pulses: {failure}")
        finally:
            try:
                scanner.exit_sync()
            except errors.KeloError as failure:
                if during is None:
                    raise
                errors.add_note(during, f"while leaving sync mode: {failure}")

    # -- reading ------------------------------------------------------------

    def _request(self):
        result = self._send(self._handle, self.batch)
        if result != errors.OK:
            self.scanner._check("lpSendMultipleProfileRequest", result)

    def _read_batch(self, address):
        """Keeps the requests ahead, reads one batch to address; its count."""
        self._request()
        scanner = self.scanner
        if not self._answers.wait(deadline_after(self.timeout_ms / 1000)):
            raise errors.ProfileTimeoutError(errors.ERROR_TIMEOUT, self._read_call, "",
                                             errors.Failure(errors.FAILURE_TIMEOUT,
                                                            timeout_ms=self.timeout_ms))
        with scanner._guard():
            count = self._read(self._handle, address, self.batch, self.timeout_ms)
        if count < 0:
            scanner._check(self._read_call, count, timeout_ms=self.timeout_ms,
                           too_long=self._too_long)
        return count

    def _free_array(self):
        """An array for one batch that nothing outside the pool refers to."""
        for entry in self._pool:
            # The pool's reference and the call's own: no view of it is alive.
            if sys.getrefcount(entry[0]) == 2:
                return entry
        array = np.empty(self.batch, self.dtype)
        entry = (array, array.ctypes.data)
        if len(self._pool) < POOL_SIZE:
            self._pool.append(entry)
        return entry

    def _fresh(self):
        """The next batch, in memory that no batch still held uses."""
        if not self._running:
            raise ValueError("the stream is not running: use it in a with block")
        array, address = self._free_array()
        return array[:self._read_batch(address)]

    def __iter__(self):
        return self

    def __next__(self):
        """The next batch as it came, which may be short or empty."""
        if self._leftover is not None:
            array, self._leftover = self._leftover, None
            return array
        return self._fresh()

    def read(self, count):
        """Exactly count profiles in one array, read in batches straight
        into it; profiles of the last batch beyond count are kept for the
        next read."""
        count = arguments.integer("read", "count", count, (0, None))
        out = np.empty(count, self.dtype)
        filled = 0
        if self._leftover is not None:
            filled = min(len(self._leftover), count)
            out[:filled] = self._leftover[:filled]
            rest = self._leftover[filled:]
            self._leftover = rest if len(rest) else None
        base, size = out.ctypes.data, self.dtype.itemsize
        while filled < count:
            if count - filled >= self.batch:
                if not self._running:
                    raise ValueError("the stream is not running: use it in a with block")
                filled += self._read_batch(base + filled * size)
            else:
                array = self._fresh()
                take = min(len(array), count - filled)
                out[filled:filled + take] = array[:take]
                if take < len(array):
                    self._leftover = array[take:]
                filled += take
        return out
