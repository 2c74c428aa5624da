"""The exceptions: ZelError, the base of every error the units or the library report, and its
subclasses. Each carries the unit's status code (an ErrorCode), the code's message, the member
that failed and, where the code alone does not say it, the reason."""

from __future__ import annotations

import enum
from typing import Any, Tuple


class ErrorCode(enum.IntEnum):
    """The units' status codes, as last_error gives them, named after their messages."""

    NO_ERROR = 0
    NO_DEVICE = 1
    INVALID_FIRMWARE = 2
    CORRUPT_FIRMWARE = 3
    NO_FIRMWARE = 4
    FILE_NOT_FOUND = 5
    ERROR_READING_DATA = 6
    ERROR_READING_SINGLE_DATA = 7
    ERROR_WRITING_DATA = 8
    ERROR_WRITING_SINGLE_DATA = 9
    NO_DEVICE_DESCRIPTOR = 10
    NO_DEVICE_RESPONSE = 11
    NO_MOTOR_PRESENT = 12
    MOTOR_COMMUNICATION_ERROR = 13
    DEVICE_BUSY = 14


class ZelError(Exception):
    """A member failed on the unit or in the library.

    `code` is the unit's status code (an ErrorCode), `text` its message ("No Device"), `member`
    the name of the method that failed and `reason` what went wrong when the code alone does not
    say it (a failure with code 0, "No Error", always has one)."""

    def __init__(self, code: int = 0, text: str = "", member: str = "", reason: str = "") -> None:
        self.code = ErrorCode(code) if 0 <= code < len(ErrorCode) else code
        self.text = text
        self.member = member
        self.reason = reason
        super().__init__(code, text, member, reason)

    def __str__(self) -> str:
        where = self.member + ": " if self.member else ""
        if not self.reason:
            return "%s%s (error %d)" % (where, self.text, self.code)
        return "%s%s (error %d, %s)" % (where, self.reason, self.code, self.text)

    def __reduce__(self) -> Tuple[Any, ...]:
        return (type(self), (int(self.code), self.text, self.member, self.reason))


class NoDeviceError(ZelError):
    """The control has no unit, or the attached units cannot be reached (code 1, "No Device")."""


class MotorBusyError(ZelError):
    """A move was refused because the motor still runs or is in error."""


class NoReadingError(ZelError):
    """The member gave its failure value (a position of 2147483647, an infinite temperature)
    while the unit reported no status code."""


class MoveTimeout(ZelError, TimeoutError):
    """The move's time limit passed; the motor was stopped."""

    def __str__(self) -> str:
        return ZelError.__str__(self)


class BenchError(ZelError, ValueError):
    """A bench description cannot be read; `reason` is the parser's whole message, which names
    the key ("units[0].device: expected an integer from 0 to 127")."""

    def __str__(self) -> str:
        return self.reason


def error_for(code: int, text: str, member: str, reason: str = "") -> ZelError:
    """The exception of the unit's status `code`."""
    cls = NoDeviceError if code == ErrorCode.NO_DEVICE else ZelError
    return cls(code, text, member, reason)
