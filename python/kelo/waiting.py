# SPDX-License-Identifier: Apache-2.0
"""Waiting for a scanner's answer where Ctrl-C can end the wait.

Python raises KeyboardInterrupt only between its own steps, never inside a
library call; so the waits that may last (a profile batch, a group's
answers) happen here, in slices, and the library is called once an answer
has begun to arrive. The library then reads it as it always does, and the
answer is counted and read exactly once.
"""
import select
import time

# Longest single wait: a Ctrl-C that reaches another thread of the process
# is seen by the main thread within this time.
SLICE = 0.2


class Waiter:
    """Waits for any of a fixed set of sockets to have something to read
    (or an error or end to report)."""

    def __init__(self, sockets):
        self._sockets = tuple(sockets)
        self._poller = None
        if hasattr(select, "poll"):
            self._poller = select.poll()
            for s in self._sockets:
                self._poller.register(s, select.POLLIN)   # errors and hang-ups are always reported

    def _ready(self, timeout):
        if self._poller is not None:
            return {s for s, _ in self._poller.poll(timeout * 1000)}
        readable, _, failed = select.select(self._sockets, [], self._sockets, timeout)
        return set(readable) | set(failed)

    def wait(self, deadline=None):
        """The sockets ready: as soon as one is, or none once the monotonic
        deadline (None: none) has passed."""
        while True:
            left = None if deadline is None else deadline - time.monotonic()
            if left is not None and left <= 0:
                return self._ready(0)
            ready = self._ready(SLICE if left is None else min(SLICE, left))
            if ready:
                return ready


def wait_readable(sockets, deadline=None):
    """Waiter(sockets).wait(deadline), once."""
    return Waiter(sockets).wait(deadline)


def deadline_after(seconds):
    """The monotonic time seconds from now; None for None."""
    return None if seconds is None else time.monotonic() + seconds


def left_ms(deadline, most=0x7FFFFFFF):
    """Whole milliseconds until deadline (at least 0, at most most)."""
    if deadline is None:
        return most
    return max(0, min(most, int((deadline - time.monotonic()) * 1000 + 0.999)))
