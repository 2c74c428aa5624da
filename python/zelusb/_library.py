"""The C library zelusbc inside the package, through ctypes: its file, its functions'
signatures, its texts, its results as exceptions, and the owner of one of its handles."""

from __future__ import annotations

import ctypes
import os
import struct
import sys
from typing import Any, Callable, Dict, List, Optional, TypeVar

from .errors import NoDeviceError, ZelError

OK = 0
ERROR_BUFFER_TOO_SMALL = -3
ERROR_UNKNOWN_CLASS = -4
ERROR_BENCH = -5
ERROR_NO_DRIVER = -7
ERROR_OUT_OF_MEMORY = -8
ERROR_TIMEOUT = -10
ERROR_NO_UNIT = -11

# A position or analogue reading that could not be read.
NO_VALUE = 2147483647
# The units' texts (serial numbers, messages) are in their code page.
ENCODING = "cp1252"


class Event(ctypes.Structure):
    """zel_motion_event: the end of one move."""

    _fields_ = [
        (name, ctypes.c_int32) for name in ("kind", "motor", "status", "position", "last_error", "sequence")
    ]


# cdecl on every platform, as the library's own functions.
EVENT_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(Event))


def library_name(platform: str, bits: int) -> str:
    """The library's file name on `platform` (sys.platform) for a Python of `bits` bits."""
    return "zelusbc%d.dll" % bits if platform == "win32" else "libzelusbc.so"


def _load() -> ctypes.CDLL:
    here = os.path.dirname(os.path.abspath(__file__))
    lib = ctypes.CDLL(os.path.join(here, library_name(sys.platform, struct.calcsize("P") * 8)))
    handle, i32, pi32 = ctypes.c_void_p, ctypes.c_int32, ctypes.POINTER(ctypes.c_int32)
    pint, pdouble = ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_double)
    text = [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)]
    bench_out = [ctypes.POINTER(ctypes.c_void_p)] + text
    signatures: Dict[str, List[Any]] = {
        "zel_result_text": [ctypes.c_int] + text,
        "zel_bench_create": [ctypes.c_char_p, ctypes.c_int] + bench_out,
        "zel_bench_load": [ctypes.c_char_p, ctypes.c_int] + bench_out,
        "zel_bench_destroy": [handle],
        "zel_bench_unplug": [handle, ctypes.c_int],
        "zel_bench_plug": [handle, ctypes.c_int],
        "zel_control_create": [ctypes.c_char_p, handle, ctypes.POINTER(ctypes.c_void_p)],
        "zel_control_destroy": [handle],
        "zel_move_home": [handle, i32, ctypes.c_int, pint],
        "zel_move_motor": [handle, i32, i32, ctypes.c_int, pint],
        "zel_move_to_pos": [handle, i32, i32, ctypes.c_int, pint],
        "zel_get_motor_status": [handle, i32, pi32],
        "zel_get_motor_position": [handle, i32, pi32],
        "zel_stop": [handle, i32, pint],
        "zel_set_motor_freq": [handle, i32, i32, pint],
        "zel_get_motor_freq": [handle, i32, pi32],
        "zel_set_motor_mode": [handle, i32, i32, pint],
        "zel_get_motor_mode": [handle, i32, pi32],
        "zel_is_device_present": [handle, pint],
        "zel_get_last_error_and_text": [handle, pi32] + text,
        "zel_set_serial": [handle, ctypes.c_char_p, pint],
        "zel_get_serial": [handle] + text,
        "zel_get_device_number": [handle, pi32],
        "zel_get_firmware_version": [handle] + text,
        "zel_next_event": [handle, ctypes.c_uint32, ctypes.POINTER(Event)],
        "zel_set_event_callback": [handle, EVENT_CALLBACK, ctypes.c_void_p],
        "zel_get_temperature": [handle, pdouble],
        "zel_set_temperature": [handle, ctypes.c_double],
        "zel_get_adc": [handle, i32, pdouble],
        "zel_get_undervoltage_detection": [handle, pint],
        "zel_set_undervoltage_detection": [handle, ctypes.c_int],
        "zel_set_shutter_state": [handle, i32, ctypes.c_int, pint],
        "zel_get_shutter_state": [handle, i32, pint],
    }
    for name, argtypes in signatures.items():
        function = getattr(lib, name)
        function.argtypes = argtypes
        function.restype = ctypes.c_int
    return lib


lib = _load()


def read_text(call: Callable[[Any, int, Any], Any]) -> str:
    """Calls `call(buffer, size, length)` with a buffer that grows until the text fits."""
    size = 64
    while True:
        buffer = ctypes.create_string_buffer(size)
        length = ctypes.c_size_t()
        result = int(call(buffer, size, ctypes.byref(length)))
        if result == ERROR_BUFFER_TOO_SMALL and length.value + 1 > size:
            size = length.value + 1
            continue
        check(result)
        return buffer.value.decode(ENCODING, errors="replace")


def check(result: int, member: str = "") -> None:
    """Raises the exception for a result of the C library other than success."""
    if result == OK:
        return
    message = read_text(lambda b, s, n: lib.zel_result_text(result, b, s, n))
    if result == ERROR_OUT_OF_MEMORY:
        raise MemoryError(message)
    if result == ERROR_NO_DRIVER:
        # The text says why, naming libusb-1.0 when it is not installed.
        raise NoDeviceError(1, "No Device", member, message)
    if result in (ERROR_UNKNOWN_CLASS, ERROR_NO_UNIT):
        raise ValueError(message)
    raise ZelError(0, "No Error", member, "zelusbc: %s (result %d)" % (message, result))


Owner = TypeVar("Owner", bound="Owned")


class Owned:
    """Owns one handle of the C library: close(), with blocks, and release when collected."""

    _handle: Optional[int] = None

    @property
    def closed(self) -> bool:
        """Whether close() was called."""
        return self._handle is None

    def _release(self, handle: int) -> None:
        raise NotImplementedError

    def close(self) -> None:
        """Releases the object; closing twice does nothing."""
        handle, self._handle = self._handle, None
        if handle is not None:
            self._release(handle)

    def __enter__(self: Owner) -> Owner:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        if self._handle is not None and lib is not None:
            self.close()
