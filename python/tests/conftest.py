# SPDX-License-Identifier: Apache-2.0
"""Fixtures: the library of a build tree and scanner emulators on loopback
addresses of this test process (127.202.x.y)."""
import os
import socket
import subprocess
import sys
import threading
import time

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get("KELO_BUILD_DIR", os.path.join(ROOT, "build")))
EMULATOR = os.path.join(BUILD, "bin", "kelo-scanner-emulator")
os.environ.setdefault("KELO_DLL_PATH", os.path.join(BUILD, "lib"))
sys.path.insert(0, os.path.join(ROOT, "python"))

_next_address = [0]


def loopback_address():
    """A 127.202.x.y address no other test process of this run uses."""
    _next_address[0] += 1
    return f"127.202.{os.getpid() % 250 + 1}.{_next_address[0] % 250 + 1}"


@pytest.fixture
def emulator():
    """start(*options) runs kelo-scanner-emulator and returns its address
    (bind: the address it listens on, instead of one of its own)."""
    started = []

    def start(*options, bind=None):
        for _ in range(5):
            address = bind or loopback_address()
            process = subprocess.Popen([EMULATOR, "--bind", address, "--seconds", "120",
                                        *map(str, options)],
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            # "answering discovery" may come first.
            line = next((line for line in process.stdout if "listening on" in line), "")
            if line:
                started.append(process)
                return address
            process.wait(timeout=10)
        pytest.fail(f"the emulator did not start: {line}")

    yield start
    for process in started:
        process.terminate()
        process.wait(timeout=10)


class Recorder:
    """A scanner stand-in that keeps the bytes it receives and answers nothing."""

    def __init__(self):
        self.address = loopback_address()
        self._listener = socket.create_server((self.address, 24334))
        self._data = bytearray()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        connection, _ = self._listener.accept()
        with connection:
            while chunk := connection.recv(65536):
                self._data += chunk

    def take(self, size, timeout=2.0):
        """The next size bytes received (waits up to timeout for them)."""
        deadline = time.monotonic() + timeout
        while len(self._data) < size and time.monotonic() < deadline:
            time.sleep(0.01)
        taken = bytes(self._data[:size])
        del self._data[:len(taken)]
        return taken


@pytest.fixture
def recorder():
    r = Recorder()
    yield r
    r._listener.close()
