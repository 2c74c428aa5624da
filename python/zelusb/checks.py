"""The checks of arguments, made before anything is sent to a unit: a wrong type raises
TypeError, a value out of its range ValueError naming the argument and the range."""

from __future__ import annotations

import math
from typing import Optional

from ._library import ENCODING

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
CHANNELS = (0, 7)
FREQUENCIES = (1, 13333)
MODES = (1, 2)
SHUTTERS = (1, 2)


def integer(name: str, value: object) -> int:
    """An int (not a bool) that fits in 32 bits."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an int, not %s" % (name, type(value).__name__))
    if not INT32_MIN <= value <= INT32_MAX:
        raise OverflowError("%s must fit in 32 bits, not %d" % (name, value))
    return value


def in_range(name: str, value: object, low: int, high: int, every: bool = False) -> int:
    """An int from `low` to `high`; also 0 when `every` (0 meaning every motor)."""
    number = integer(name, value)
    if not (low <= number <= high or (every and number == 0)):
        also = " (or 0 for every motor)" if every else ""
        raise ValueError("%s must be %d to %d%s, not %d" % (name, low, high, also, number))
    return number


def flag(name: str, value: object) -> int:
    if not isinstance(value, int):
        raise TypeError("%s must be a bool, not %s" % (name, type(value).__name__))
    return 1 if value else 0


def finite(name: str, value: object) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError("%s must be a float, not %s" % (name, type(value).__name__))
    if not math.isfinite(value):
        raise ValueError("%s must be a finite number, not %r" % (name, value))
    return float(value)


def timeout(value: object) -> Optional[float]:
    """Seconds, or None for no limit."""
    if value is None:
        return None
    seconds = finite("timeout", value)
    if seconds < 0:
        raise ValueError("timeout must be 0 or more seconds, or None, not %r" % value)
    return seconds


def text(name: str, value: object) -> bytes:
    """A text in the units' code page, Windows-1252, without NUL characters."""
    if not isinstance(value, str):
        raise TypeError("%s must be a str, not %s" % (name, type(value).__name__))
    if "\0" in value:
        raise ValueError("%s must not hold a NUL character" % name)
    try:
        return value.encode(ENCODING)
    except UnicodeEncodeError as error:
        raise ValueError(
            "%s must hold only characters of Windows-1252, the units' code page, not %r"
            % (name, value[error.start : error.end])
        ) from None
