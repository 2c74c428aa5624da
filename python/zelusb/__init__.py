"""The ZEL motion-control units from Python: the Orvane unit (two motors, temperature,
analogue inputs, undervoltage switch), the Kestrin unit (two motors) and the Polyax unit (32
motors, two shutters), on real units or on the virtual bench.

    >>> import zelusb
    >>> with zelusb.KestrinControl(zelusb.Bench()) as kestrin:
    ...     kestrin.move_motor(1, 400)
    MoveResult(motor=1, status=<MotorStatus.STOPPED: 0>, position=400)

A control is created for its class on a bench, or on the units attached to the machine when no
bench is given; creating it searches the class's units, boots one whose firmware is not running
and selects it. Moves wait for their end, or return a Move (a concurrent.futures.Future, also
awaitable in asyncio) with asynchronous=True. Arguments are checked before anything is sent
(TypeError, ValueError); a member that fails raises ZelError or one of its subclasses.

The package calls the C library zelusbc (inside the package) through ctypes; libusb-1.0 is
loaded only when a control first looks for real units. Each control has a lock: calls from
several threads take turns.
"""

from .bench import Bench
from .controls import KestrinControl, OrvaneControl, PolyaxControl
from .errors import (
    BenchError,
    ErrorCode,
    MotorBusyError,
    MoveTimeout,
    NoDeviceError,
    NoReadingError,
    ZelError,
)
from .moves import MotorStatus, Move, MoveResult

__all__ = [
    "Bench",
    "BenchError",
    "ErrorCode",
    "KestrinControl",
    "MotorBusyError",
    "MotorStatus",
    "Move",
    "MoveResult",
    "MoveTimeout",
    "NoDeviceError",
    "NoReadingError",
    "OrvaneControl",
    "PolyaxControl",
    "ZelError",
]

__version__ = "@VERSION@"
