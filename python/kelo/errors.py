# SPDX-License-Identifier: Apache-2.0
"""Exceptions for the library's result codes.

Every failure is a KeloError carrying the code the library returned, the
call that returned it and a message saying what the code means there.
21 has several meanings; the call (and the connection's sync state) tells
which one, and each has its own class.
"""

OK = 0
ERROR_IO = -1
ERROR_ARGUMENT = -2
ERROR_NO_PROFILE = -3
ERROR_TIMEOUT = -4
ERROR_STATE = 21


class KeloError(Exception):
    """A kelo_dll call failed: .code is its result, .call its name."""

    def __init__(self, code, call, message):
        super().__init__(f"{call}: {message}" + ("" if code is None else f" ({code})"))
        self.code = code
        self.call = call
        self.message = message


class TransferError(KeloError):
    """-1: a command could not be sent or its answer not read."""


class ArgumentError(KeloError):
    """-2: a null handle or pointer, or an argument out of range."""


class NoProfileError(KeloError):
    """-3: the scanner had no profile."""


class ProfileTimeoutError(KeloError):
    """-4: no profile answer arrived within the time-out."""


class SyncStateError(KeloError):
    """21: refused in the connection's present sync state; nothing was sent."""


class ParameterError(KeloError):
    """21: the scanner rejected the parameters; .messages holds its messages."""

    def __init__(self, code, call, message, messages):
        if messages:
            message = f"{message}: " + "; ".join(messages)
        super().__init__(code, call, message)
        self.messages = list(messages)


class ParameterFileError(ParameterError):
    """21: a local parameter file could not be opened (or is too large)."""


class FirmwareNotConfirmedError(KeloError):
    """21: the scanner did not confirm a firmware update."""


class NotRetrievedError(KeloError):
    """21: the calibration data asked for is not held; retrieve it first."""


class AlreadyMemberError(KeloError):
    """21: the connection is already a member of the group (or memory ran out)."""


class OpenError(KeloError):
    """A connection could not be opened; .socket_error is the reason, if known."""

    def __init__(self, call, host, socket_error):
        super().__init__(ERROR_IO, call, f"cannot connect to {host} "
                         f"(socket error {socket_error})")
        self.host = host
        self.socket_error = socket_error


class DiscoveryError(KeloError):
    """A discovery or network configuration broadcast failed."""

    def __init__(self, code, call, socket_error):
        reason = ("invalid argument" if socket_error == 22 else f"socket error {socket_error}")
        super().__init__(code, call, f"broadcast failed: {reason}")
        self.socket_error = socket_error


class GroupError(KeloError):
    """A group call failed on a member: .member is that member's Scanner. The
    library reports only which member failed, so .code is None."""

    def __init__(self, call, member):
        super().__init__(None, call, f"failed on member {member!r}")
        self.member = member


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
                                          "the local parameter file cannot be read"),
    "lpGetParameterFileFromScanner": (ParameterFileError,
                                      "the local file cannot be opened for writing"),
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


def error_for(code, call, synchronised=False, messages=()):
    """The exception for a failed call; synchronised: the connection's state
    when the call returned 21, messages: its error-message list."""
    if code == ERROR_STATE and call in _OTHER_21 and not synchronised:
        cls, text = _OTHER_21[call]
        if issubclass(cls, ParameterError):
            if len(messages) == 1 and messages[0].startswith(_LOCAL_FILE_MESSAGES):
                cls, text = ParameterFileError, "the local parameter file cannot be read"
            return cls(code, call, text, messages)
        return cls(code, call, text)
    cls, text = _GENERIC.get(code, (KeloError, "unexpected result"))
    return cls(code, call, text)
