# SPDX-License-Identifier: Apache-2.0
"""Exceptions for the library's result codes.

Every failure is a KeloError carrying the code the library returned, the
call that returned it, why the connection says it failed (.failure and
.detail, from lpGetLastFailure) and a message saying what happened.
21 has several meanings; the call (and the connection's sync state) tells
which one, and each has its own class.
"""
import ctypes
import os
import socket
import sys

OK = 0
ERROR_IO = -1
ERROR_ARGUMENT = -2
ERROR_NO_PROFILE = -3
ERROR_TIMEOUT = -4
ERROR_STATE = 21

# Why the last call on a connection failed (lpGetLastFailure).
FAILURE_NONE = 0
FAILURE_TIMEOUT = 1
FAILURE_CLOSED = 2
FAILURE_SOCKET = 3
FAILURE_WRONG_TYPE = 4
FAILURE_TOO_LONG = 5
FAILURE_REFUSED = 6

# lpGetLastSocketError's code for arguments the discovery calls refuse.
INVALID_ARGUMENT = 22


class Failure:
    """What a connection says about its last failed call: .code (a
    ``FAILURE_`` value), .detail (the answer type received, or the length or count
    announced), .socket_error (for FAILURE_SOCKET), with a text saying what
    happened. timeout_ms: the wait, where the caller knows it; too_long: the
    text for FAILURE_TOO_LONG, with {detail} in it, where the call knows
    better than "an answer"; cut: Ctrl-C had the connection stop receiving
    (see interruption.py)."""

    TOO_LONG = "an answer too long for its record or a limit (it announced {detail})"

    def __init__(self, code=FAILURE_NONE, detail=0, socket_error=0, timeout_ms=None, too_long=None,
                 cut=False):
        self.code = code
        self.cut = cut
        self.detail = detail
        self.socket_error = socket_error
        self.timeout_ms = timeout_ms
        self._too_long = too_long or self.TOO_LONG

    def describe(self):
        """A text for the failure, or None when the connection names none."""
        if self.code == FAILURE_TIMEOUT:
            return (f"no answer within {self.timeout_ms} ms" if self.timeout_ms is not None
                    else "no answer within the time-out")
        if self.code == FAILURE_CLOSED:
            return ("the connection no longer receives: Ctrl-C cut a call that was stuck"
                    if self.cut else "the scanner closed the connection")
        if self.code == FAILURE_SOCKET:
            return socket_error_text(self.socket_error)
        if self.code == FAILURE_WRONG_TYPE:
            return f"an answer of type {self.detail} where the call expects another"
        if self.code == FAILURE_TOO_LONG:
            return self._too_long.format(detail=self.detail)
        return None


def add_note(exception, text):
    """Adds a line to an exception's report (Python 3.11 and later)."""
    if hasattr(exception, "add_note"):
        exception.add_note(text)


def socket_error_text(code):
    """A socket error (or a failed look-up's code) with the system's text."""
    if code < 0:
        names = {getattr(socket, n): n for n in dir(socket) if n.startswith("EAI_")}
        return f"name look-up failed ({names.get(code, code)})"
    if sys.platform == "win32":
        return f"socket error {code} ({ctypes.FormatError(code).strip()})"
    return f"socket error {code} ({os.strerror(code)})"


class KeloError(Exception):
    """A kelo_dll call failed: .code is its result, .call its name, .failure
    and .detail why the connection says it failed (``FAILURE_`` values)."""

    def __init__(self, code, call, message, failure=None):
        failure = failure or Failure()
        why = failure.describe()
        if why:
            message = why
        super().__init__(f"{call}: {message}" + ("" if code is None else f" ({code})"))
        self.code = code
        self.call = call
        self.message = message
        self.failure = failure.code
        self.detail = failure.detail
        self.socket_error = failure.socket_error


class TransferError(KeloError):
    """-1: a command could not be sent or its answer not read."""


class ArgumentError(KeloError, ValueError):
    """-2: a null handle or pointer, or an argument out of range."""


class NoProfileError(KeloError):
    """-3: the scanner had no profile."""


class ProfileTimeoutError(KeloError):
    """-4: no profile answer arrived within the time-out."""


class SyncStateError(KeloError):
    """21: refused in the connection's present sync state; nothing was sent."""


class ParameterError(KeloError):
    """21: the scanner rejected the parameters; .messages holds its messages."""

    def __init__(self, code, call, message, messages, failure=None):
        if messages:
            message = f"{message}: " + "; ".join(messages)
        super().__init__(code, call, message, failure)
        self.messages = list(messages)


class ParameterFileError(ParameterError):
    """21: a local parameter file could not be opened (or is too large);
    .path is the file, where the call knows it."""

    path = None


class FirmwareNotConfirmedError(KeloError):
    """21: the scanner did not confirm a firmware update."""


class NotRetrievedError(KeloError):
    """21: the calibration data asked for is not held; retrieve it first."""


class AlreadyMemberError(KeloError):
    """21: the connection is already a member of the group (or memory ran out)."""


class OpenError(KeloError):
    """A connection could not be opened; .socket_error is the reason (a
    negative value is a failed name look-up's code; 0, the connect time-out
    passed)."""

    def __init__(self, call, host, socket_error, timeout_ms=1000):
        reason = (socket_error_text(socket_error) if socket_error else
                  f"no connection within the connect time-out of {timeout_ms} ms")
        super().__init__(ERROR_IO, call, f"cannot connect to {host}: {reason}")
        self.host = host
        self.socket_error = socket_error


class DiscoveryError(KeloError):
    """A discovery or network configuration broadcast failed."""

    def __init__(self, code, call, socket_error):
        reason = ("invalid argument" if socket_error == INVALID_ARGUMENT
                  else socket_error_text(socket_error))
        super().__init__(code, call, f"broadcast failed: {reason}")
        self.socket_error = socket_error


class GroupError(KeloError):
    """A group call failed on a member: .member is that member's Scanner,
    .failure and .detail what its connection says. The library reports only
    which member failed, so .code is None."""

    def __init__(self, call, member, failure=None, message="failed"):
        failure = failure or Failure()
        why = failure.describe()
        super().__init__(None, call, f"{message} on member {member!r}" + (f": {why}" if why else ""))
        self.failure = failure.code
        self.detail = failure.detail
        self.socket_error = failure.socket_error
        self.member = member


class GroupTimeoutError(GroupError):
    """A group collection did not complete in time: .member is the first
    member, in the group's order, that had not delivered its share."""


_GENERIC = {
    ERROR_IO: (TransferError, "a command could not be sent or an answer could not be read "
               "(socket error, peer closed, time-out or wrong answer type)"),
    ERROR_ARGUMENT: (ArgumentError, "a null handle or pointer, or an argument out of range"),
    ERROR_NO_PROFILE: (NoProfileError, "the scanner had no profile"),
    ERROR_TIMEOUT: (ProfileTimeoutError, "no profile answer arrived within the time-out"),
    ERROR_STATE: (SyncStateError, "refused in the connection's present sync state"),
}

# The calls whose 21 means something else than a refused sync state, at
# least while the connection is idle.
_OTHER_21 = {
    "lpEndSendParametersToScanner": (ParameterError, "the scanner rejected the parameters"),
    "lpSendParametersToScanner": (ParameterError, "the scanner rejected the parameters"),
    "lpSendParameterFileToScanner": (ParameterError, "the scanner rejected the parameters"),
    "lpBeginSendParameterFileToScanner": (ParameterFileError,
                                          "the local parameter file{path} cannot be read"),
    "lpGetParameterFileFromScanner": (ParameterFileError,
                                      "the local file{path} cannot be opened for writing"),
    "lpSendScannerFirmwareUpdate": (FirmwareNotConfirmedError,
                                    "the scanner did not confirm the firmware update"),
    "lpGetLaserCount": (NotRetrievedError, "no calibration retrieved yet"),
    "lpGetScanWindow": (NotRetrievedError, "no calibration retrieved yet"),
    "lpGetTransformParametersN": (NotRetrievedError, "no calibration held for this laser"),
    "lpMultipleScannerAddConnection": (AlreadyMemberError,
                                       "the connection is already a member, or memory ran out"),
}

# Messages the library itself adds when a local parameter file fails.
_LOCAL_FILE_MESSAGES = ("Couldn't open local parameter file: ", "Local parameter file too large: ")


def error_for(code, call, synchronised=False, messages=(), failure=None, path=None):
    """The exception for a failed call; synchronised: the connection's state
    when the call returned 21, messages: its error-message list, failure:
    what the connection says about it (a Failure), path: the local file the
    call was given."""
    if code == ERROR_STATE and call in _OTHER_21 and not synchronised:
        cls, text = _OTHER_21[call]
        if issubclass(cls, ParameterError):
            if len(messages) == 1 and messages[0].startswith(_LOCAL_FILE_MESSAGES):
                cls, text = ParameterFileError, "the local parameter file{path} cannot be read"
            shown = None if path is None else os.fsdecode(path)
            error = cls(code, call, text.format(path=f" {shown!r}" if shown else ""), messages, failure)
            if cls is ParameterFileError:
                error.path = shown
            return error
        return cls(code, call, text, failure)
    cls, text = _GENERIC.get(code, (KeloError, "unexpected result"))
    return cls(code, call, text, failure)
