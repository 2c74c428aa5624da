"""The DevFailed reasons of the devices, one per kind of failure, so that clients can tell a
busy motor from a bad value from a missing unit; the description is the package's exception's
text."""

from __future__ import annotations

import functools
from typing import Any, Callable, NoReturn, TypeVar

import tango

from .units import Failure

REASONS = {
    Failure.BUSY: "ZEL_MotorBusy",
    Failure.OUT_OF_RANGE: "ZEL_OutOfRange",
    Failure.NO_DEVICE: "ZEL_NoDevice",
    Failure.UNIT: "ZEL_UnitError",
}

Member = TypeVar("Member", bound=Callable[..., Any])


def fail(failure: Failure, origin: str) -> NoReturn:
    tango.Except.throw_exception(REASONS[failure.kind], str(failure), origin)
    raise AssertionError("throw_exception returned")  # it always raises DevFailed


def reported(member: Member) -> Member:
    """An attribute's or command's method whose Failure reaches the client as DevFailed."""

    @functools.wraps(member)
    def call(self: Any, *arguments: Any) -> Any:
        try:
            return member(self, *arguments)
        except Failure as failure:
            fail(failure, "%s.%s" % (type(self).__name__, member.__name__))

    return call  # type: ignore[return-value]
