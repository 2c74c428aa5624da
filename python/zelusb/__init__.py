"""The ZEL motion-control units from Python: the Orvane unit (two motors, temperature,
analogue inputs, undervoltage switch), the Kestrin unit (two motors) and the Polyax unit (32
motors, two shutters), on real units or on the virtual bench.

    >>> import zelusb
    >>> with zelusb.KestrinControl(zelusb.Bench()) as kestrin:
    ...     kestrin.move_motor(1, 400)
    ...     kestrin.get_motor_position(1)
    400

A control is created for its class on a bench, or on the units attached to the machine when no
bench is given; creating it searches the class's units, boots one whose firmware is not running
and selects it. A member that fails on the unit raises ZelError with the unit's status code and
message; an argument of the wrong type raises TypeError.

The package calls the C library zelusbc (inside the package) through ctypes. One control is
used by one thread at a time; different controls may be used from different threads.
"""

from __future__ import annotations

import ctypes
import enum
import errno
import json
import math
import os
import struct
import sys
from typing import Any, Callable, Mapping, Optional, Union

__all__ = [
    "Bench",
    "KestrinControl",
    "MotorStatus",
    "OrvaneControl",
    "PolyaxControl",
    "ZelError",
]

# ---- The C library ----

_OK = 0
_ERROR_HANDLE = -1
_ERROR_BUFFER_TOO_SMALL = -3
_ERROR_UNKNOWN_CLASS = -4
_ERROR_BENCH = -5
_ERROR_NO_DRIVER = -7
_ERROR_OUT_OF_MEMORY = -8

# A position or analogue reading that could not be read.
_NO_VALUE = 2147483647
_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1
# Texts are in the units' code page.
_ENCODING = "cp1252"


def _library_file() -> str:
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform == "win32":
        return os.path.join(here, "zelusbc%d.dll" % (struct.calcsize("P") * 8))
    return os.path.join(here, "libzelusbc.so")


def _load() -> ctypes.CDLL:
    lib = ctypes.CDLL(_library_file())
    handle, i32, pi32 = ctypes.c_void_p, ctypes.c_int32, ctypes.POINTER(ctypes.c_int32)
    pint, pdouble = ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_double)
    text = [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)]
    bench_out = [ctypes.POINTER(ctypes.c_void_p)] + text
    signatures: dict[str, list[Any]] = {
        "zel_result_text": [ctypes.c_int] + text,
        "zel_bench_create": [ctypes.c_char_p, ctypes.c_int] + bench_out,
        "zel_bench_load": [ctypes.c_char_p, ctypes.c_int] + bench_out,
        "zel_bench_destroy": [handle],
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
        "zel_get_last_error": [handle, pi32],
        "zel_get_last_error_text": [handle] + text,
        "zel_set_serial": [handle, ctypes.c_char_p, pint],
        "zel_get_serial": [handle] + text,
        "zel_get_firmware_version": [handle] + text,
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


_lib = _load()


def _read_text(call: Callable[[Any, int, Any], int]) -> str:
    """Calls `call(buffer, size, length)` with a buffer that grows until the text fits."""
    size = 64
    while True:
        buffer = ctypes.create_string_buffer(size)
        length = ctypes.c_size_t()
        result = call(buffer, size, ctypes.byref(length))
        if result == _ERROR_BUFFER_TOO_SMALL and length.value + 1 > size:
            size = length.value + 1
            continue
        _check(result)
        return buffer.value.decode(_ENCODING, errors="replace")


def _check(result: int) -> None:
    """Raises the Python exception for a result of the C library other than success."""
    if result == _OK:
        return
    message = _read_text(lambda b, s, n: _lib.zel_result_text(result, b, s, n))
    if result == _ERROR_OUT_OF_MEMORY:
        raise MemoryError(message)
    if result == _ERROR_NO_DRIVER:
        raise OSError(message)
    if result == _ERROR_UNKNOWN_CLASS:
        raise ValueError(message)
    raise RuntimeError("zelusbc: %s (result %d)" % (message, result))


# ---- Arguments ----


def _int32(name: str, value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an int, not %s" % (name, type(value).__name__))
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise OverflowError("%s must fit in 32 bits, not %d" % (name, value))
    return value


def _flag(name: str, value: object) -> int:
    if not isinstance(value, int):
        raise TypeError("%s must be a bool, not %s" % (name, type(value).__name__))
    return 1 if value else 0


def _number(name: str, value: object) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError("%s must be a float, not %s" % (name, type(value).__name__))
    return float(value)


def _text_argument(name: str, value: object) -> bytes:
    if not isinstance(value, str):
        raise TypeError("%s must be a str, not %s" % (name, type(value).__name__))
    return value.encode(_ENCODING)


# ---- Public types ----


class MotorStatus(enum.IntEnum):
    """What get_motor_status reports of a motor."""

    STOPPED = 0
    RUNNING = 1
    END_FORWARD = 2  # stopped at the forward end switch
    END_BACKWARD = 3  # stopped at the backward end switch
    ERROR = 4  # the unit did not answer


class ZelError(Exception):
    """A member failed on the unit. `code` is the unit's status code (last_error: 1 is
    "No Device", 12 "No motor present", ...) and `text` its message (last_error_text)."""

    def __init__(self, code: int, text: str, member: str = "") -> None:
        self.code = code
        self.text = text
        self.member = member
        where = member + ": " if member else ""
        super().__init__("%s%s (error %d)" % (where, text, code))


class _Owned:
    """Owns one handle of the C library: close(), with blocks, and release when collected."""

    _handle: Optional[int] = None
    _destroy: Callable[[Any], int]

    @property
    def closed(self) -> bool:
        """Whether close() was called."""
        return self._handle is None

    def close(self) -> None:
        """Releases the object; closing twice does nothing."""
        if self._handle is not None:
            type(self)._destroy(self._handle)
            self._handle = None

    def __enter__(self):  # type: ignore[no-untyped-def]
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        if self._handle is not None and _lib is not None:
            self.close()


Description = Union[str, "os.PathLike[str]", Mapping[str, Any]]


class Bench(_Owned):
    """A virtual bench: simulated units behind a simulated driver, for programs to run without
    hardware.

    Bench(description=None, *, live=False)

    `description` is the path of a JSON bench description (the format zelctl --bench reads),
    its text, or a dict of the same content; None gives the default bench: an Orvane unit at
    device number 0, a Kestrin at 1 and a Polyax at 2, none with firmware running, serial
    numbers "OR-0001", "KS-0001" and "PX-0001". The bench runs on virtual time (every pause
    costs nothing) unless `live` is true.

    A description that does not parse raises ValueError with the parser's message, which names
    the key ("units[0].device: expected an integer from 0 to 127"); a missing file raises
    FileNotFoundError. close() (or the end of a with block) lets the bench go once its
    controls are closed too.
    """

    _destroy = staticmethod(_lib.zel_bench_destroy)

    def __init__(self, description: Optional[Description] = None, *, live: bool = False) -> None:
        """Builds the bench; see the class's description."""
        clocking = _flag("live", live)
        path: Optional[str] = None
        text: Optional[str] = None
        if isinstance(description, Mapping):
            text = json.dumps(description)
        elif isinstance(description, os.PathLike):
            path = os.fspath(description)
        elif isinstance(description, str):
            if description.lstrip().startswith("{"):
                text = description
            else:
                path = description
        elif description is not None:
            raise TypeError(
                "description must be a path, a JSON text or a dict, not %s"
                % type(description).__name__
            )
        handle = ctypes.c_void_p()
        argument = (path if path is not None else text or "").encode("utf-8")

        def create(buffer: Any, size: int, length: Any) -> int:
            if path is not None:
                return _lib.zel_bench_load(argument, clocking, ctypes.byref(handle), buffer, size, length)
            return _lib.zel_bench_create(
                argument if text is not None else None, clocking, ctypes.byref(handle), buffer, size, length
            )

        message = ctypes.create_string_buffer(1024)
        length = ctypes.c_size_t()
        result = create(message, len(message), ctypes.byref(length))
        if result == _ERROR_BENCH:
            text_of_error = message.value.decode("utf-8", errors="replace")
            if length.value >= len(message):
                text_of_error = _read_text(create)
            if path is not None and not os.path.exists(path):
                raise FileNotFoundError(errno.ENOENT, text_of_error, path)
            raise ValueError(text_of_error)
        _check(result)
        self._handle = handle.value
        self.live = bool(live)

    def __repr__(self) -> str:
        state = "closed" if self.closed else ("live" if self.live else "virtual time")
        return "<zelusb.Bench %s>" % state


class _Control(_Owned):
    """The members all three classes share."""

    _CLASS = ""
    # Closing a control sends nothing to the unit: a moving motor keeps moving.
    _destroy = staticmethod(_lib.zel_control_destroy)

    def __init__(self, bench: Optional[Bench] = None, serial: Optional[str] = None) -> None:
        """Creates a control on `bench`, or on the units attached to the machine when it is
        None (OSError when they cannot be reached at all); with `serial`, selects that unit
        as set_serial does."""
        if bench is not None and not isinstance(bench, Bench):
            raise TypeError("bench must be a zelusb.Bench or None, not %s" % type(bench).__name__)
        if serial is not None:
            _text_argument("serial", serial)
        if bench is not None and bench.closed:
            raise ValueError("the bench is closed")
        handle = ctypes.c_void_p()
        _check(
            _lib.zel_control_create(
                self._CLASS.encode(), bench._handle if bench is not None else None, ctypes.byref(handle)
            )
        )
        self._handle = handle.value
        self._on = "bench" if bench is not None else "the attached units"
        if serial is not None:
            try:
                self.set_serial(serial)
            except BaseException:
                self.close()
                raise

    def __repr__(self) -> str:
        state = "closed" if self.closed else "on " + self._on
        return "<zelusb.%s %s>" % (type(self).__name__, state)

    # ---- Plumbing ----

    def _live(self) -> int:
        if self._handle is None:
            raise ValueError("the control is closed")
        return self._handle

    def _call(self, function: Any, *arguments: Any, out: Any = ctypes.c_int) -> Any:
        value = out()
        _check(function(self._live(), *arguments, ctypes.byref(value)))
        return value.value

    def _text(self, function: Any) -> str:
        handle = self._live()
        return _read_text(lambda b, s, n: function(handle, b, s, n))

    def _error(self, member: str) -> ZelError:
        return ZelError(self.last_error, self.last_error_text, member)

    def _succeed(self, member: str, result: int) -> None:
        if not result:
            raise self._error(member)

    def _settled(self, member: str) -> None:
        """For members whose own success the unit does not report: the status code tells."""
        if self.last_error != 0:
            raise self._error(member)

    # ---- Motors ----

    def move_home(self, motor: int, asynchronous: bool = False) -> None:
        """Moves `motor` to its backward end switch. Synchronous unless `asynchronous`: returns
        when the motor rests. Raises ZelError when the move did not start or the wait failed."""
        self._succeed(
            "move_home", self._call(_lib.zel_move_home, _int32("motor", motor), _flag("asynchronous", asynchronous))
        )

    def move_motor(self, motor: int, steps: int, asynchronous: bool = False) -> None:
        """Moves `motor` by `steps` (negative: backward); synchronous unless `asynchronous`."""
        self._succeed(
            "move_motor",
            self._call(
                _lib.zel_move_motor, _int32("motor", motor), _int32("steps", steps), _flag("asynchronous", asynchronous)
            ),
        )

    def move_to_pos(self, motor: int, position: int, asynchronous: bool = False) -> None:
        """Moves `motor` to the absolute `position`; synchronous unless `asynchronous`."""
        self._succeed(
            "move_to_pos",
            self._call(
                _lib.zel_move_to_pos,
                _int32("motor", motor),
                _int32("position", position),
                _flag("asynchronous", asynchronous),
            ),
        )

    def get_motor_status(self, motor: int) -> MotorStatus:
        """The state of `motor`; raises ZelError instead of returning MotorStatus.ERROR."""
        status = MotorStatus(self._call(_lib.zel_get_motor_status, _int32("motor", motor), out=ctypes.c_int32))
        if status == MotorStatus.ERROR:
            raise self._error("get_motor_status")
        return status

    def get_motor_position(self, motor: int) -> int:
        """The position of `motor` in steps."""
        position = self._call(_lib.zel_get_motor_position, _int32("motor", motor), out=ctypes.c_int32)
        if position == _NO_VALUE:
            raise self._error("get_motor_position")
        return int(position)

    def stop(self, motor: int) -> None:
        """Stops `motor`."""
        self._succeed("stop", self._call(_lib.zel_stop, _int32("motor", motor)))

    def set_motor_freq(self, motor: int, freq: int) -> None:
        """Sets the speed of `motor` in steps per second (the two-motor units keep one speed for
        both motors; motor 0 of a Polyax unit means all motors)."""
        self._succeed(
            "set_motor_freq", self._call(_lib.zel_set_motor_freq, _int32("motor", motor), _int32("freq", freq))
        )

    def get_motor_freq(self, motor: int) -> int:
        """The speed of `motor` in steps per second, as the unit's divider gives it back."""
        freq = self._call(_lib.zel_get_motor_freq, _int32("motor", motor), out=ctypes.c_int32)
        if freq < 0 or (freq == 0 and self.last_error != 0):
            raise self._error("get_motor_freq")
        return int(freq)

    def set_motor_mode(self, motor: int, mode: int) -> None:
        """Sets the step mode of `motor`."""
        self._succeed(
            "set_motor_mode", self._call(_lib.zel_set_motor_mode, _int32("motor", motor), _int32("mode", mode))
        )

    def get_motor_mode(self, motor: int) -> int:
        """The step mode of `motor` (2 until set)."""
        mode = self._call(_lib.zel_get_motor_mode, _int32("motor", motor), out=ctypes.c_int32)
        if mode == 0:
            raise self._error("get_motor_mode")
        return int(mode)

    # ---- The unit ----

    def is_device_present(self) -> bool:
        """Whether the control has a unit and it answers."""
        return bool(self._call(_lib.zel_is_device_present))

    def set_serial(self, serial: str) -> None:
        """Selects the unit with this serial number ("" : the first working unit of the class),
        booting units on the way as creation does. Raises ZelError when no unit has it; the
        control is then without a unit until the next set_serial."""
        self._succeed("set_serial", self._call(_lib.zel_set_serial, _text_argument("serial", serial)))

    def get_serial(self) -> str:
        """The serial number of the unit, read from it on every call ("" when it does not
        answer)."""
        return self._text(_lib.zel_get_serial)

    @property
    def last_error(self) -> int:
        """The unit's status code after the last operation: 0 "No Error", 1 "No Device", ...
        up to 14 "Device busy"."""
        return int(self._call(_lib.zel_get_last_error, out=ctypes.c_int32))

    @property
    def last_error_text(self) -> str:
        """The message of last_error."""
        return self._text(_lib.zel_get_last_error_text)

    @property
    def firmware_version(self) -> str:
        """The firmware version of the unit, "major.minor" ("0.0" when it does not answer)."""
        return self._text(_lib.zel_get_firmware_version)


class KestrinControl(_Control):
    """A Kestrin unit: two motors.

    KestrinControl(bench=None, serial=None)

    Creates a control on `bench` (a zelusb.Bench), or on the units attached to the machine when
    `bench` is None; with `serial` it selects the unit of that serial number as set_serial
    does. Use it in a with block, or call close().

        with zelusb.KestrinControl(zelusb.Bench()) as kestrin:
            kestrin.move_motor(1, 400)           # returns when the motor rests
            kestrin.get_motor_position(1)        # 400
            kestrin.move_home(1, asynchronous=True)
            kestrin.get_motor_status(1)          # MotorStatus.RUNNING

    Motors are numbered from 1. A member that fails on the unit raises ZelError with the
    unit's status code and message (after set_serial of a serial number no unit has: code 1,
    "No Device").
    """

    _CLASS = "kestrin"


class OrvaneControl(_Control):
    """An Orvane unit: two motors, temperature, analogue inputs and the undervoltage switch.

    OrvaneControl(bench=None, serial=None), as KestrinControl, with these members besides:
    temperature (read and write), adc(channel) and undervoltage_detection (read and write).
    """

    _CLASS = "orvane"

    @property
    def temperature(self) -> float:
        """The temperature in degrees Celsius; setting it starts the temperature actuator
        toward the new value."""
        value = self._call(_lib.zel_get_temperature, out=ctypes.c_double)
        if math.isinf(value):
            raise self._error("temperature")
        return float(value)

    @temperature.setter
    def temperature(self, value: float) -> None:
        _check(_lib.zel_set_temperature(self._live(), _number("temperature", value)))
        self._settled("temperature")

    def adc(self, channel: int) -> float:
        """The raw reading of analogue channel `channel` (0 to 7)."""
        value = self._call(_lib.zel_get_adc, _int32("channel", channel), out=ctypes.c_double)
        if value == _NO_VALUE:
            raise self._error("adc")
        return float(value)

    @property
    def undervoltage_detection(self) -> bool:
        """Whether the unit's undervoltage detection is on."""
        on = bool(self._call(_lib.zel_get_undervoltage_detection))
        if on:
            self._settled("undervoltage_detection")
        return on

    @undervoltage_detection.setter
    def undervoltage_detection(self, on: bool) -> None:
        _check(_lib.zel_set_undervoltage_detection(self._live(), _flag("undervoltage_detection", on)))
        self._settled("undervoltage_detection")


class PolyaxControl(_Control):
    """A Polyax unit: up to 32 motors behind one mailbox, and two shutters.

    PolyaxControl(bench=None, serial=None), as KestrinControl, with set_shutter_state and
    get_shutter_state besides. Motor 0 means every motor in set_motor_freq and set_motor_mode.
    """

    _CLASS = "polyax"

    def set_shutter_state(self, shutter: int, open: bool) -> None:
        """Opens (`open` true) or closes shutter 1 or 2; raises ZelError for another number
        or when the unit did not take it."""
        result = self._call(_lib.zel_set_shutter_state, _int32("shutter", shutter), _flag("open", open))
        self._succeed("set_shutter_state", result)
        self._settled("set_shutter_state")

    def get_shutter_state(self, shutter: int) -> bool:
        """Whether shutter 1 or 2 is open (False for any other number)."""
        is_open = bool(self._call(_lib.zel_get_shutter_state, _int32("shutter", shutter)))
        if not is_open and shutter in (1, 2):
            self._settled("get_shutter_state")
        return is_open


__version__ = "@VERSION@"
