"""The devices' one door to the zelusb package: the units they share, the benches they run on,
the moves they follow and the failures they report. Nothing else in zelusb.tango imports
zelusb, so a change of the package's API stays in this file.

A unit is shared by every device that names it (model, serial number and bench), and a bench
by every device that names its file; each goes when the last of its devices lets it go. One
lock per unit serialises the calls on its control, which the devices make from Tango's threads
and the watcher from its own.

The watcher follows the moves the devices start, one thread per unit while a move is pending:
it reads each moving motor's status every 10 ms, reports its position about ten times a second
and ends the move when the motor rests, with that rest and the position read then.
"""

from __future__ import annotations

import functools
import os
import threading
import time
from dataclasses import dataclass
from typing import Any, Callable, Optional

import zelusb
from zelusb import MotorStatus

__all__ = ["Attachment", "End", "Failure", "MotorStatus", "Unit", "check_steps"]

CONTROLS = {"orvane": zelusb.OrvaneControl, "kestrin": zelusb.KestrinControl, "polyax": zelusb.PolyaxControl}
MOTOR_COUNTS = {"orvane": 2, "kestrin": 2, "polyax": 32}
ANALOG_CHANNELS = 8

STEPS = (-(2**31), 2**31 - 1)

POLL_SECONDS = 0.010
PROGRESS_SECONDS = 0.100

# Status codes of a unit that is not there or does not answer: No Device, No Device
# Descriptor, No Device Response.
_NO_DEVICE_CODES = {1, 10, 11}
_NO_MOTOR_CODE = 12
# A move refused without a fault (the control keeps "No Error") or "Device busy": the motor
# runs, or on a two-motor unit, whose one status serves both motors, the other one does.
_BUSY_CODES = {0, 14}


class Failure(Exception):
    """A call on a unit failed. `kind` tells the devices which reason to give; the text is the
    package's exception's."""

    BUSY = "busy"
    OUT_OF_RANGE = "out of range"
    NO_DEVICE = "no device"
    UNIT = "unit"

    def __init__(self, kind: str, text: str) -> None:
        super().__init__(text)
        self.kind = kind


def _failure(error: Exception, move: bool) -> Failure:
    if not isinstance(error, zelusb.ZelError):  # an argument the package's checks refused
        return Failure(Failure.OUT_OF_RANGE, str(error))
    if isinstance(error, zelusb.NoDeviceError) or error.code in _NO_DEVICE_CODES:
        return Failure(Failure.NO_DEVICE, str(error))
    if error.code == _NO_MOTOR_CODE:
        return Failure(Failure.OUT_OF_RANGE, str(error))
    if move and (isinstance(error, zelusb.MotorBusyError) or error.code in _BUSY_CODES):
        return Failure(Failure.BUSY, "the unit refused the move, the motor (on a two-motor unit: either motor) runs: %s" % error)
    return Failure(Failure.UNIT, str(error))


def _within(name: str, value: int, bounds: tuple[int, int], unit: str) -> int:
    low, high = bounds
    if not low <= value <= high:
        raise Failure(Failure.OUT_OF_RANGE, "%s must be %d to %d %s, not %d" % (name, low, high, unit, value))
    return value


def check_steps(steps: int) -> int:
    """`steps` as a position or distance the unit takes, else Failure OUT_OF_RANGE."""
    return _within("a position", steps, STEPS, "steps")


@dataclass(frozen=True)
class End:
    """How a followed move ended: the motor's rest and position, or `error` when its status
    could no longer be read."""

    status: Optional[MotorStatus]
    position: Optional[int]
    error: str = ""


@dataclass
class _Watch:
    on_progress: Callable[[int], None]
    on_end: Callable[[End], None]
    reported: float


class Unit:
    """One unit and its control, shared by its devices."""

    def __init__(self, model: str, serial: str, bench: Optional[zelusb.Bench]) -> None:
        self.model = model
        self.motor_count = MOTOR_COUNTS[model]
        self._lock = threading.RLock()
        self._control = CONTROLS[model](bench)
        self._watches: dict[int, _Watch] = {}
        self._watcher: Optional[threading.Thread] = None
        self.found = False
        if serial:
            try:
                self._control.set_serial(serial)
            except zelusb.ZelError:
                return  # left without a unit: the devices say OFF
        self.found = self.present()

    def _do(self, action: Callable[[], Any], move: bool = False) -> Any:
        with self._lock:
            try:
                return action()
            except (zelusb.ZelError, ValueError, TypeError, OverflowError) as error:
                raise _failure(error, move) from None

    def _call(self, member: str, *arguments: Any, move: bool = False) -> Any:
        return self._do(lambda: getattr(self._control, member)(*arguments), move)

    def _get(self, name: str) -> Any:
        return self._do(lambda: getattr(self._control, name))

    def _put(self, name: str, value: Any) -> None:
        self._do(lambda: setattr(self._control, name, value))

    def close(self) -> None:
        with self._lock:
            self._watches.clear()
            self._control.close()

    # ---- The unit ----

    def present(self) -> bool:
        return bool(self._call("is_device_present"))

    def serial(self) -> str:
        return str(self._call("get_serial"))

    def firmware(self) -> str:
        return str(self._get("firmware_version"))

    def last_error_text(self) -> str:
        return str(self._get("last_error_text"))

    def temperature(self) -> float:
        return float(self._get("temperature"))

    def set_temperature(self, value: float) -> None:
        self._put("temperature", value)

    def undervoltage_detection(self) -> bool:
        return bool(self._get("undervoltage_detection"))

    def set_undervoltage_detection(self, on: bool) -> None:
        self._put("undervoltage_detection", on)

    def analog_inputs(self) -> list[Optional[float]]:
        """Every channel's raw reading, None where a channel has none."""
        readings: list[Optional[float]] = []
        for channel in range(ANALOG_CHANNELS):
            try:
                readings.append(self._call("adc", channel))
            except Failure:
                readings.append(None)
        return readings

    def shutter(self, shutter: int) -> bool:
        return bool(self._call("get_shutter_state", shutter))

    def set_shutter(self, shutter: int, open: bool) -> None:
        self._call("set_shutter_state", shutter, open)

    # ---- Motors ----

    def status(self, motor: int) -> MotorStatus:
        return MotorStatus(self._call("get_motor_status", motor))

    def position(self, motor: int) -> int:
        return int(self._call("get_motor_position", motor))

    def frequency(self, motor: int) -> int:
        return int(self._call("get_motor_freq", motor))

    def set_frequency(self, motor: int, freq: int) -> None:
        self._call("set_motor_freq", motor, freq)  # the package checks the range

    def mode(self, motor: int) -> int:
        return int(self._call("get_motor_mode", motor))

    def set_mode(self, motor: int, mode: int) -> None:
        if mode not in (1, 2):
            raise Failure(Failure.OUT_OF_RANGE, "the step mode must be 1 or 2, not %d" % mode)
        self._call("set_motor_mode", motor, mode)

    def stop(self, motor: int) -> None:
        self._call("stop", motor)

    def move(
        self,
        motor: int,
        how: str,
        steps: int,
        on_progress: Callable[[int], None],
        on_end: Callable[[End], None],
    ) -> None:
        """Starts a move of `motor` and follows it: `how` is "to" (the position `steps`), "by"
        (`steps` from here) or "home" (to the backward end switch; `steps` unused). Returns once
        the unit took it; raises Failure when it did not."""
        with self._lock:
            if how == "home":
                self._call("move_home", motor, True, move=True)
            else:
                member = "move_to_pos" if how == "to" else "move_motor"
                self._call(member, motor, check_steps(steps), True, move=True)
            self._watches[motor] = _Watch(on_progress, on_end, time.monotonic())
            if self._watcher is None:
                self._watcher = threading.Thread(target=self._watch, name="zelusb watcher", daemon=True)
                self._watcher.start()

    def _watch(self) -> None:
        # Tango's calls from this thread (the devices push events from the callbacks) need it
        # known to omniORB; the import stays here so that this module does not need Tango.
        import tango

        with tango.EnsureOmniThread():
            while self._poll():
                time.sleep(POLL_SECONDS)

    def _poll(self) -> bool:
        """One round over the moving motors; the callbacks run outside the lock. False when
        nothing is left to follow (the thread then ends)."""
        calls: list[Callable[[], None]] = []
        with self._lock:
            now = time.monotonic()
            for motor, watch in list(self._watches.items()):
                try:
                    status = self._control.get_motor_status(motor)
                    if status == MotorStatus.RUNNING:
                        if now - watch.reported >= PROGRESS_SECONDS:
                            watch.reported = now
                            position = self._control.get_motor_position(motor)
                            calls.append(functools.partial(watch.on_progress, position))
                        continue
                    end = End(status, self._control.get_motor_position(motor))
                except zelusb.ZelError as error:
                    end = End(None, None, str(error))
                del self._watches[motor]
                calls.append(functools.partial(watch.on_end, end))
            if not self._watches and not calls:
                self._watcher = None
                return False
        for call in calls:
            call()
        return True


class _Shared:
    """Objects shared under a key, made by the first taker and closed after the last."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._items: dict[Any, list[Any]] = {}

    def take(self, key: Any, make: Callable[[], Any]) -> Any:
        with self._lock:
            if key not in self._items:
                self._items[key] = [make(), 0]
            self._items[key][1] += 1
            return self._items[key][0]

    def give_back(self, key: Any) -> None:
        with self._lock:
            item = self._items[key]
            item[1] -= 1
            if item[1] == 0:
                del self._items[key]
                item[0].close()


_benches = _Shared()
_units = _Shared()


class Attachment:
    """A device's hold on the unit of `model` with `serial` ("" : the first of that model) on
    the live bench described by the file `bench`, or among the attached units when `bench` is
    "". release() lets the unit (and the bench) go."""

    def __init__(self, model: str, serial: str, bench: str) -> None:
        if model not in CONTROLS:
            raise Failure(Failure.OUT_OF_RANGE, "Model must be orvane, kestrin or polyax, not %r" % model)
        self._bench_key = os.path.realpath(bench) if bench else None
        self._unit_key = (self._bench_key, model, serial)
        made = None
        if self._bench_key:
            # A description that is missing or does not parse raises here, before any unit.
            made = _benches.take(self._bench_key, lambda: zelusb.Bench(self._bench_key, live=True))
        try:
            self.unit: Unit = _units.take(self._unit_key, lambda: Unit(model, serial, made))
        except BaseException:
            if self._bench_key:
                _benches.give_back(self._bench_key)
            raise

    def release(self) -> None:
        _units.give_back(self._unit_key)
        if self._bench_key:
            _benches.give_back(self._bench_key)

