"""The device server ZelusbDS: its classes and its entry point.

    python3 -m zelusb.tango INSTANCE [Tango options]      (or the installed script ZelusbDS)
"""

from __future__ import annotations

import sys
from typing import Optional, Sequence

from tango.server import run

from .zel_motor import ZelMotor
from .zel_unit import ZelUnit

SERVER = "ZelusbDS"


def main(args: Optional[Sequence[str]] = None) -> None:
    """Runs the server; Tango takes the server's name from the first argument, which under
    `python3 -m` would be the path of __main__.py."""
    run((ZelMotor, ZelUnit), args=[SERVER, *(sys.argv[1:] if args is None else args)])
