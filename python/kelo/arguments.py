# SPDX-License-Identifier: Apache-2.0
"""Checks of the arguments the package hands to the library.

ctypes would wrap a negative number into an unsigned parameter, pass an int
where a text belongs as that many NUL bytes, or fail with its own message;
these checks refuse such arguments first, naming the call, the argument and
what it may be: TypeError for the wrong kind of value, ValueError for a
value out of range.
"""
import math
import numbers
import os

U8 = (0, 0xFF)
U16 = (0, 0xFFFF)
U32 = (0, 0xFFFFFFFF)
I32 = (-0x80000000, 0x7FFFFFFF)


def integer(call, name, value, bounds=U32):
    """value as an int within bounds (low, high); high None: no upper bound."""
    low, high = bounds
    allowed = f"an integer from {low}" + (" up" if high is None else f" to {high}")
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{call}: {name} must be {allowed}, not {value!r}")
    value = int(value)
    if value < low or (high is not None and value > high):
        raise ValueError(f"{call}: {name} must be {allowed}, not {value}")
    return value


def optional_integer(call, name, value, bounds=U32):
    return None if value is None else integer(call, name, value, bounds)


def real(call, name, value):
    """value as a float; any real number (the library checks its ranges)."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{call}: {name} must be a real number, not {value!r}")
    return float(value)


def reals(call, name, values, count):
    """count real numbers, as a list of floats."""
    try:
        values = list(values)
    except TypeError:
        raise TypeError(f"{call}: {name} must be {count} real numbers, not {values!r}") from None
    if len(values) != count:
        raise ValueError(f"{call}: {name} must be {count} real numbers, not {len(values)}")
    return [real(call, f"{name}[{i}]", v) for i, v in enumerate(values)]


def seconds(call, name, value, positive=False):
    """A time in seconds (None passes) as whole milliseconds, rounded up;
    positive: more than 0, else 0 or more."""
    if value is None:
        return None
    value = real(call, name, value)
    most = I32[1] / 1000
    if not (0 < value if positive else 0 <= value) or not value <= most:
        low = "more than 0" if positive else "from 0"
        raise ValueError(f"{call}: {name} must be {low} to {most} seconds, not {value}")
    return math.ceil(value * 1000)


def text(call, name, value):
    """A str (sent as UTF-8) or bytes-like text, as bytes without NUL."""
    if isinstance(value, str):
        value = value.encode()
    elif isinstance(value, (bytes, bytearray, memoryview)):
        value = bytes(value)
    else:
        raise TypeError(f"{call}: {name} must be a str or bytes, not {type(value).__name__}")
    if b"\0" in value:
        raise ValueError(f"{call}: {name} must not hold a NUL character, which would end it")
    return value


def path(call, name, value):
    """A file system path (str, bytes or os.PathLike) as bytes."""
    if not isinstance(value, (str, bytes, os.PathLike)):
        raise TypeError(f"{call}: {name} must be a path (str, bytes or os.PathLike), "
                        f"not {type(value).__name__}")
    encoded = os.fsencode(value)
    if b"\0" in encoded:
        raise ValueError(f"{call}: {name} must not hold a NUL character")
    return encoded


def choice(call, name, value, allowed):
    if value not in allowed:
        raise ValueError(f"{call}: {name} must be one of {', '.join(map(repr, allowed))}, "
                         f"not {value!r}")
    return value
