"""The virtual bench: simulated units behind a simulated driver, for programs to run without
hardware, and for fault tests (unplug, plug)."""

from __future__ import annotations

import ctypes
import errno
import json
import os
from typing import Any, Mapping, Optional, Union

from . import checks
from ._library import ERROR_BENCH, Owned, check, lib
from .errors import BenchError

Description = Union[str, "os.PathLike[str]", Mapping[str, Any]]
DEVICES = (0, 127)


class Bench(Owned):
    """A virtual bench: simulated units behind a simulated driver.

    Bench(description=None, *, live=False)

    `description` is the path of a JSON bench description (the format zelctl --bench reads),
    its text, or a dict of the same content; None gives the default bench: an Orvane unit at
    device number 0, a Kestrin at 1 and a Polyax at 2, none with firmware running, serial
    numbers "OR-0001", "KS-0001" and "PX-0001". Serial numbers are texts of Windows-1252, the
    units' code page. The bench runs on virtual time (every pause costs nothing, and time moves
    only while a caller waits) unless `live` is true.

    A description that does not parse raises BenchError (a ValueError) with the parser's whole
    message, which names the key ("units[0].device: expected an integer from 0 to 127"); a
    missing file raises FileNotFoundError. close() (or the end of a with block) lets the bench
    go once its controls are closed too.
    """

    def __init__(self, description: Optional[Description] = None, *, live: bool = False) -> None:
        """Builds the bench; see the class's description."""
        clocking = checks.flag("live", live)
        path: Optional[bytes] = None
        text: Optional[bytes] = None
        if isinstance(description, Mapping):
            text = json.dumps(description, ensure_ascii=False).encode("utf-8")
        elif isinstance(description, os.PathLike):
            path = os.fsencode(description)
        elif isinstance(description, str):
            if description.lstrip().startswith("{"):
                text = description.encode("utf-8")  # JSON is UTF-8; the library converts
            else:
                path = os.fsencode(description)
        elif description is not None:
            raise TypeError(
                "description must be a path, a JSON text or a dict, not %s" % type(description).__name__
            )
        handle = ctypes.c_void_p()

        def create(buffer: Any, size: int, length: Any) -> int:
            if path is not None:
                return int(lib.zel_bench_load(path, clocking, ctypes.byref(handle), buffer, size, length))
            return int(lib.zel_bench_create(text, clocking, ctypes.byref(handle), buffer, size, length))

        length = ctypes.c_size_t()
        result = create(None, 0, ctypes.byref(length))
        if result == ERROR_BENCH:
            message = ctypes.create_string_buffer(length.value + 1)
            create(message, len(message), ctypes.byref(length))
            why = message.value.decode("utf-8", errors="replace")
            if path is not None and not os.path.exists(path):
                raise FileNotFoundError(errno.ENOENT, why, os.fsdecode(path))
            raise BenchError(0, "No Error", "Bench", why)
        check(result, "Bench")
        self._handle = handle.value
        self.live = bool(live)

    def _release(self, handle: int) -> None:
        lib.zel_bench_destroy(handle)

    def _handle_or_raise(self) -> int:
        if self._handle is None:
            raise ValueError("the bench is closed")
        return self._handle

    def unplug(self, device: int) -> None:
        """Pulls the unit at device number `device` (0 to 127) out, as a cable pulled: its
        controls fail with NoDeviceError until it is plugged in again. ValueError when no unit
        sits there; unplugging twice does nothing."""
        check(lib.zel_bench_unplug(self._handle_or_raise(), checks.in_range("device", device, *DEVICES)))

    def plug(self, device: int) -> None:
        """Plugs the unit at `device` in again, as after a power cycle: its firmware is gone,
        and a control boots it again when it selects it (set_serial, or a new control)."""
        check(lib.zel_bench_plug(self._handle_or_raise(), checks.in_range("device", device, *DEVICES)))

    def __repr__(self) -> str:
        state = "closed" if self.closed else ("live" if self.live else "virtual time")
        return "<zelusb.Bench %s>" % state
