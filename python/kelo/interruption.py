# SPDX-License-Identifier: Apache-2.0
"""Ending a library call that Ctrl-C finds stuck.

A call that waits inside the library (an idle command whose answer never
comes, a scanner that stops in the middle of an answer) cannot be ended
from Python. So the first library call made on the main thread installs a
signal wake-up descriptor (signal.set_wakeup_fd; not where the program has
one already, as asyncio's loop does) and a thread that watches it. After a
Ctrl-C, while Python's own handler of it is in place:

- a call that was running then and still runs GRACE seconds later, and
- a call begun after it (leaving sync mode) still running LEAVE seconds
  after that,

have the receiving side of their connections shut down: the call fails at
once as if the scanner had closed, and the connection can still send (the
commands that stop pulses and leave sync mode, the close) but never
receive again. A second Ctrl-C cuts at once. Calls on other threads than
the main one, and in a child made by fork, are never cut.
"""
import os
import select
import signal
import socket
import threading
import time

GRACE = 0.8
LEAVE = 1.0
# The watching thread learns of a Ctrl-C a little after the main thread
# may have begun leaving sync mode: a call begun this shortly before is
# taken for one of those.
NOTICE = 0.05

_MAIN = threading.main_thread().ident


def _shut(fd):
    try:
        connection = socket.socket(fileno=fd)
    except OSError:
        return
    try:
        connection.shutdown(socket.SHUT_RD)
    except OSError:
        pass
    finally:
        connection.detach()


class _Watcher:
    def __init__(self):
        self._lock = threading.Lock()
        self._call = None          # the Guard of the main thread's call in progress
        self._interrupted = None   # monotonic time of the last Ctrl-C
        self._again = False        # a second Ctrl-C came within the window
        self._reader, self._writer = socket.socketpair()
        self._writer.setblocking(False)
        previous = signal.set_wakeup_fd(self._writer.fileno(), warn_on_full_buffer=False)
        if previous != -1:
            signal.set_wakeup_fd(previous)
            raise OSError("the program watches signals itself")
        threading.Thread(target=self._run, name="kelo Ctrl-C watcher", daemon=True).start()

    def _window_end(self):
        return self._interrupted + GRACE + LEAVE

    def _run(self):
        while True:
            with self._lock:
                now = time.monotonic()
                pending = [t - now for t in ((self._interrupted or 0) + GRACE,
                                             (self._interrupted or 0) + GRACE + LEAVE)
                           if self._interrupted is not None and t > now]
            ready, _, _ = select.select([self._reader], [], [], min(pending, default=None))
            if ready and signal.SIGINT in self._reader.recv(256) and \
                    signal.getsignal(signal.SIGINT) is signal.default_int_handler:
                now = time.monotonic()
                with self._lock:
                    self._again = self._interrupted is not None and now < self._window_end()
                    if not self._again:
                        self._interrupted = now
            with self._lock:
                self._cut_if_due(self._call)

    def _cut_if_due(self, call):
        """Under the lock: cuts the call if its time is up."""
        if call is None or call.cut or self._interrupted is None:
            return
        t0 = self._interrupted
        if call.started > self._window_end():
            return
        due = t0 + GRACE if call.started < t0 - NOTICE else self._window_end()
        if self._again or time.monotonic() >= due:
            call.cut = True
            for fd in call.sockets:
                _shut(fd)

    def begin(self, call):
        with self._lock:
            self._call = call
            self._cut_if_due(call)

    def end(self):
        with self._lock:
            self._call = None


_watcher = None
_unavailable = False


def _forked():
    # The watching thread is not in the child, and the wake-up descriptor
    # it inherited belongs to the parent's: its calls are never cut.
    global _watcher, _unavailable
    _watcher, _unavailable = None, True


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_forked)


def _installed():
    global _watcher, _unavailable
    if _watcher is None and not _unavailable:
        try:
            _watcher = _Watcher()
        except (OSError, ValueError):
            _unavailable = True
    return _watcher


class Guard:
    """Around a library call that may block on the given sockets:

        with Guard([fd]) as guard:
            result = lib.lpSomething(...)
        guard.cut    # True when Ctrl-C had its connection shut down
    """

    __slots__ = ("sockets", "started", "cut", "_watcher")

    def __init__(self, sockets):
        self.sockets = sockets
        self.cut = False
        self._watcher = None

    def __enter__(self):
        if threading.get_ident() == _MAIN:
            self._watcher = _installed()
            if self._watcher is not None:
                self.started = time.monotonic()
                self._watcher.begin(self)
        return self

    def __exit__(self, *exc):
        if self._watcher is not None:
            self._watcher.end()
