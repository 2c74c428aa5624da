"""The three control classes over the C library: OrvaneControl, KestrinControl and
PolyaxControl, with the members they share in _Control."""

from __future__ import annotations

import ctypes
import math
import threading
from typing import Any, Callable, Literal, Optional, Tuple, Union, overload

from . import checks
from ._library import NO_VALUE, Owned, check, lib, read_text
from .bench import Bench
from .errors import ErrorCode, MotorBusyError, NoReadingError, ZelError, error_for
from .moves import Move, MotorStatus, MoveResult, Moves

# A synchronous move's own limit, in seconds.
MOVE_LIMIT = 120.0


class _Control(Owned):
    """The members all three classes share."""

    _CLASS = ""
    _MOTORS = 2
    _EVERY_MOTOR = False  # whether motor 0 means every motor in set_motor_freq and set_motor_mode

    def __init__(self, bench: Optional[Bench] = None, serial: Optional[str] = None) -> None:
        """Creates a control on `bench`, or on the units attached to the machine when it is
        None; with `serial`, selects that unit as set_serial does."""
        self._lock = threading.RLock()
        if bench is not None and not isinstance(bench, Bench):
            raise TypeError("bench must be a zelusb.Bench or None, not %s" % type(bench).__name__)
        if serial is not None:
            checks.text("serial", serial)
        if bench is not None and bench.closed:
            raise ValueError("the bench is closed")
        handle = ctypes.c_void_p()
        check(
            lib.zel_control_create(
                self._CLASS.encode(), bench._handle if bench is not None else None, ctypes.byref(handle)
            ),
            type(self).__name__,
        )
        self._handle = handle.value
        self._on = "bench" if bench is not None else "the attached units"
        # On a virtual bench the waits take the events; elsewhere the library's thread does.
        self._moves = Moves(self._lock, self._live, self._last, live=bench is None or bench.live)
        try:
            if self._moves.live:
                self._moves.listen()
            if serial is not None:
                self.set_serial(serial)
        except BaseException:
            self.close()
            raise

    def __repr__(self) -> str:
        if self.closed:
            return "<zelusb.%s closed>" % type(self).__name__
        number = self.device_number
        unit = "without a unit" if number is None else "%s at device %d" % (self.get_serial(), number)
        return "<zelusb.%s %s on %s>" % (type(self).__name__, unit, self._on)

    def close(self) -> None:
        """Releases the control, once a call in progress on another thread has returned; sends
        nothing to the unit (a moving motor keeps moving). Moves not yet complete fail with
        ZelError. Closing twice does nothing."""
        with self._lock:
            handle, self._handle = self._handle, None
        if handle is not None:  # outside the lock: a done callback may be waiting for it
            lib.zel_control_destroy(handle)
            self._moves.abandon("the control was closed before the move ended")

    # ---- Plumbing ----

    def _live(self) -> int:
        if self._handle is None:
            raise ValueError("the control is closed")
        return self._handle

    def _call(self, function: Any, *arguments: Any, out: Any = ctypes.c_int) -> Any:
        value = out()
        with self._lock:
            check(function(self._live(), *arguments, ctypes.byref(value)))
        return value.value

    def _text(self, function: Any) -> str:
        with self._lock:
            handle = self._live()
            return read_text(lambda b, s, n: function(handle, b, s, n))

    def _last(self) -> Tuple[int, str]:
        """The status code and its message, read together."""
        code = ctypes.c_int32()
        with self._lock:
            handle = self._live()
            text = read_text(lambda b, s, n: lib.zel_get_last_error_and_text(handle, ctypes.byref(code), b, s, n))
        return code.value, text

    def _failure(self, member: str, reason: str, silent: Callable[..., ZelError] = ZelError) -> ZelError:
        """The error of a member that failed: by its status code, or `silent` with `reason` when
        the unit reported none."""
        code, text = self._last()
        if code != ErrorCode.NO_ERROR:
            return error_for(code, text, member)
        return silent(code, text, member, reason)

    def _succeed(self, member: str, result: int, reason: str) -> None:
        if not result:
            raise self._failure(member, reason)

    def _settled(self, member: str) -> None:
        """For members whose own success the unit does not report: the status code tells."""
        code, text = self._last()
        if code != ErrorCode.NO_ERROR:
            raise error_for(code, text, member)

    def _motor(self, motor: object, every: bool = False) -> int:
        return checks.in_range("motor", motor, 1, self._MOTORS, every and self._EVERY_MOTOR)

    # ---- Motors ----

    def _move(self, member: str, motor: int, function: Any, target: Tuple[int, ...], asynchronous: object, timeout: object) -> Union[MoveResult, Move]:
        later = checks.flag("asynchronous", asynchronous)
        limit = checks.timeout(timeout)

        def begin() -> Optional[ZelError]:
            started = ctypes.c_int()
            check(function(self._live(), motor, *target, 1, ctypes.byref(started)))
            return None if started.value else self._refusal(member, motor)

        move = self._moves.start(member, motor, begin, limit)
        return move if later else move.finish()

    def _refusal(self, member: str, motor: int) -> ZelError:
        code, text = self._last()
        if code != ErrorCode.NO_ERROR:
            return error_for(code, text, member)
        status = self._call(lib.zel_get_motor_status, motor, out=ctypes.c_int32)
        if status in (MotorStatus.RUNNING, MotorStatus.ERROR):
            state = "still runs" if status == MotorStatus.RUNNING else "is in error"
            # The two motors of an Orvane or a Kestrin share one status: either may be the one.
            which = "motor %d" % motor if self._MOTORS > 2 else "a motor of the unit (one status serves both)"
            return MotorBusyError(code, text, member, "%s %s" % (which, state))
        return ZelError(code, text, member, "the unit refused to move motor %d" % motor)

    @overload
    def move_home(self, motor: int, asynchronous: Literal[False] = ..., *, timeout: Optional[float] = ...) -> MoveResult: ...
    @overload
    def move_home(self, motor: int, asynchronous: Literal[True], *, timeout: Optional[float] = ...) -> Move: ...
    def move_home(self, motor: int, asynchronous: bool = False, *, timeout: Optional[float] = MOVE_LIMIT) -> Union[MoveResult, Move]:
        """Moves `motor` to its backward end switch.

        Synchronous (the default): returns a MoveResult(motor, status, position) when the motor
        rests; after `timeout` seconds (None: no limit) stops it and raises MoveTimeout; on
        Ctrl-C stops it and re-raises KeyboardInterrupt. With asynchronous=True returns a Move
        at once (a future of the MoveResult). A move the unit refuses raises at once:
        MotorBusyError while the motor runs or is in error."""
        return self._move("move_home", self._motor(motor), lib.zel_move_home, (), asynchronous, timeout)

    @overload
    def move_motor(self, motor: int, steps: int, asynchronous: Literal[False] = ..., *, timeout: Optional[float] = ...) -> MoveResult: ...
    @overload
    def move_motor(self, motor: int, steps: int, asynchronous: Literal[True], *, timeout: Optional[float] = ...) -> Move: ...
    def move_motor(self, motor: int, steps: int, asynchronous: bool = False, *, timeout: Optional[float] = MOVE_LIMIT) -> Union[MoveResult, Move]:
        """Moves `motor` by `steps` (negative: backward), as move_home waits and returns."""
        steps = checks.integer("steps", steps)
        return self._move("move_motor", self._motor(motor), lib.zel_move_motor, (steps,), asynchronous, timeout)

    @overload
    def move_to_pos(self, motor: int, position: int, asynchronous: Literal[False] = ..., *, timeout: Optional[float] = ...) -> MoveResult: ...
    @overload
    def move_to_pos(self, motor: int, position: int, asynchronous: Literal[True], *, timeout: Optional[float] = ...) -> Move: ...
    def move_to_pos(self, motor: int, position: int, asynchronous: bool = False, *, timeout: Optional[float] = MOVE_LIMIT) -> Union[MoveResult, Move]:
        """Moves `motor` to the absolute `position`, as move_home waits and returns."""
        position = checks.integer("position", position)
        return self._move("move_to_pos", self._motor(motor), lib.zel_move_to_pos, (position,), asynchronous, timeout)

    def get_motor_status(self, motor: int) -> MotorStatus:
        """The state of `motor`; raises ZelError instead of returning MotorStatus.ERROR."""
        motor = self._motor(motor)
        with self._lock:
            status = MotorStatus(self._call(lib.zel_get_motor_status, motor, out=ctypes.c_int32))
            if status == MotorStatus.ERROR:
                raise self._failure("get_motor_status", "motor %d did not answer" % motor)
        return status

    def get_motor_position(self, motor: int) -> int:
        """The position of `motor` in steps."""
        motor = self._motor(motor)
        with self._lock:
            position = self._call(lib.zel_get_motor_position, motor, out=ctypes.c_int32)
            if position == NO_VALUE:
                raise self._failure("get_motor_position", "motor %d gave no position" % motor, NoReadingError)
        return int(position)

    def stop(self, motor: int) -> None:
        """Stops `motor`; its move completes with the status it stopped in."""
        motor = self._motor(motor)
        with self._lock:
            self._succeed("stop", self._call(lib.zel_stop, motor), "motor %d did not stop" % motor)

    def set_motor_freq(self, motor: int, freq: int) -> None:
        """Sets the speed of `motor` to `freq` steps per second, 1 to 13333 (the two-motor units
        keep one speed for both motors; motor 0 of a Polyax unit means every motor)."""
        motor = self._motor(motor, every=True)
        freq = checks.in_range("freq", freq, *checks.FREQUENCIES)
        with self._lock:
            result = self._call(lib.zel_set_motor_freq, motor, freq)
            self._succeed("set_motor_freq", result, "the unit did not take the speed of motor %d" % motor)

    def get_motor_freq(self, motor: int) -> int:
        """The speed of `motor` in steps per second, as the unit's divider gives it back."""
        motor = self._motor(motor)
        with self._lock:
            freq = self._call(lib.zel_get_motor_freq, motor, out=ctypes.c_int32)
            if freq <= 0:
                raise self._failure("get_motor_freq", "motor %d gave no speed" % motor, NoReadingError)
        return int(freq)

    def set_motor_mode(self, motor: int, mode: int) -> None:
        """Sets the step mode of `motor`, 1 or 2 (motor 0 of a Polyax unit: every motor)."""
        motor = self._motor(motor, every=True)
        mode = checks.in_range("mode", mode, *checks.MODES)
        with self._lock:
            result = self._call(lib.zel_set_motor_mode, motor, mode)
            self._succeed("set_motor_mode", result, "the unit did not take the mode of motor %d" % motor)

    def get_motor_mode(self, motor: int) -> int:
        """The step mode of `motor`, 1 or 2 (2 until set)."""
        motor = self._motor(motor)
        with self._lock:
            mode = self._call(lib.zel_get_motor_mode, motor, out=ctypes.c_int32)
            if mode == 0:
                raise self._failure("get_motor_mode", "motor %d gave no mode" % motor, NoReadingError)
        return int(mode)

    # ---- The unit ----

    def is_device_present(self) -> bool:
        """Whether the control has a unit and it answers."""
        return bool(self._call(lib.zel_is_device_present))

    def set_serial(self, serial: str) -> None:
        """Selects the unit with this serial number ("": the first working unit of the class),
        booting units on the way as creation does. Raises NoDeviceError when no unit has it;
        the control is then without a unit until the next set_serial. The serial is a text of
        Windows-1252, the units' code page, without NUL (ValueError otherwise)."""
        wanted = checks.text("serial", serial)
        with self._lock:
            found = self._call(lib.zel_set_serial, wanted)
            self._succeed("set_serial", found, "no unit has serial number %r" % serial)

    def get_serial(self) -> str:
        """The serial number of the unit, read from it on every call ("" when it does not
        answer)."""
        return self._text(lib.zel_get_serial)

    @property
    def device_number(self) -> Optional[int]:
        """The device number of the control's unit (0 to 127), None while it has none."""
        number = self._call(lib.zel_get_device_number, out=ctypes.c_int32)
        return None if number < 0 else int(number)

    @property
    def last_error(self) -> ErrorCode:
        """The unit's status code after the last operation: ErrorCode.NO_ERROR (0),
        NO_DEVICE (1), ... up to DEVICE_BUSY (14)."""
        return ErrorCode(self._last()[0])

    @property
    def last_error_text(self) -> str:
        """The message of last_error ("No Error", "No Device", ...)."""
        return self._last()[1]

    @property
    def firmware_version(self) -> str:
        """The firmware version of the unit, "major.minor" ("0.0" when it does not answer)."""
        return self._text(lib.zel_get_firmware_version)


class KestrinControl(_Control):
    """A Kestrin unit: two motors.

    KestrinControl(bench=None, serial=None)

    Creates a control on `bench` (a zelusb.Bench), or on the units attached to the machine when
    `bench` is None; with `serial` it selects the unit of that serial number as set_serial
    does. Use it in a with block, or call close().

        with zelusb.KestrinControl(zelusb.Bench()) as kestrin:
            kestrin.move_motor(1, 400)           # MoveResult(motor=1, status=STOPPED, position=400)
            move = kestrin.move_home(1, asynchronous=True)
            kestrin.get_motor_status(1)          # MotorStatus.RUNNING
            move.result()                        # MoveResult(motor=1, status=END_BACKWARD, ...)

    Motors are numbered 1 and 2; speeds are 1 to 13333 steps per second, modes 1 and 2. Wrong
    argument types raise TypeError, values out of range ValueError, before anything is sent. A
    member that fails raises ZelError (or a subclass) with the unit's status code and message.

    One control may be used from several threads: its calls take turns (a lock per control),
    and a synchronous move lets other calls (stop, from another thread) in between its waits.
    """

    _CLASS = "kestrin"


class OrvaneControl(_Control):
    """An Orvane unit: two motors, temperature, analogue inputs and the undervoltage switch.

    OrvaneControl(bench=None, serial=None), as KestrinControl, with these members besides:
    temperature (read and write, a finite number of degrees Celsius), adc(channel) for channels
    0 to 7 and undervoltage_detection (read and write).
    """

    _CLASS = "orvane"

    @property
    def temperature(self) -> float:
        """The temperature in degrees Celsius; setting it (a finite number) starts the
        temperature actuator toward the new value."""
        value = self._call(lib.zel_get_temperature, out=ctypes.c_double)
        if math.isinf(value):
            raise self._failure("temperature", "the sensor gave no reading", NoReadingError)
        return float(value)

    @temperature.setter
    def temperature(self, value: float) -> None:
        degrees = checks.finite("temperature", value)
        with self._lock:
            check(lib.zel_set_temperature(self._live(), degrees))
            self._settled("temperature")

    def adc(self, channel: int) -> float:
        """The raw reading of analogue channel `channel` (0 to 7)."""
        channel = checks.in_range("channel", channel, *checks.CHANNELS)
        with self._lock:
            value = self._call(lib.zel_get_adc, channel, out=ctypes.c_double)
            if value == NO_VALUE:
                raise self._failure("adc", "channel %d gave no reading" % channel, NoReadingError)
        return float(value)

    @property
    def undervoltage_detection(self) -> bool:
        """Whether the unit's undervoltage detection is on."""
        with self._lock:
            on = bool(self._call(lib.zel_get_undervoltage_detection))
            if on:
                self._settled("undervoltage_detection")
        return on

    @undervoltage_detection.setter
    def undervoltage_detection(self, on: bool) -> None:
        value = checks.flag("undervoltage_detection", on)
        with self._lock:
            check(lib.zel_set_undervoltage_detection(self._live(), value))
            self._settled("undervoltage_detection")


class PolyaxControl(_Control):
    """A Polyax unit: up to 32 motors behind one mailbox, and two shutters.

    PolyaxControl(bench=None, serial=None), as KestrinControl, with motors 1 to 32 and
    set_shutter_state and get_shutter_state for shutters 1 and 2 besides. Motor 0 means every
    motor in set_motor_freq and set_motor_mode.
    """

    _CLASS = "polyax"
    _MOTORS = 32
    _EVERY_MOTOR = True

    def set_shutter_state(self, shutter: int, open: bool) -> None:
        """Opens (`open` true) or closes shutter 1 or 2."""
        shutter = checks.in_range("shutter", shutter, *checks.SHUTTERS)
        value = checks.flag("open", open)
        with self._lock:
            result = self._call(lib.zel_set_shutter_state, shutter, value)
            self._succeed("set_shutter_state", result, "the unit did not take shutter %d" % shutter)
            self._settled("set_shutter_state")

    def get_shutter_state(self, shutter: int) -> bool:
        """Whether shutter 1 or 2 is open."""
        shutter = checks.in_range("shutter", shutter, *checks.SHUTTERS)
        with self._lock:
            is_open = bool(self._call(lib.zel_get_shutter_state, shutter))
            if not is_open:
                self._settled("get_shutter_state")
        return is_open
