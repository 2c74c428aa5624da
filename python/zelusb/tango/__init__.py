"""The ZEL units in a Tango control system: the device server ZelusbDS, with a ZelMotor device
per motor and a ZelUnit device per unit (see the README's "In a Tango control system").
Needs PyTango (Debian's python3-tango); the rest of zelusb does not."""

from .server import SERVER, main
from .zel_motor import ZelMotor
from .zel_unit import ZelUnit

__all__ = ["SERVER", "ZelMotor", "ZelUnit", "main"]
