"""ZelMotor: one motor of a unit, in user units (steps / StepsPerUnit + Offset).

Writing Position, Home and MoveRelative start a move and return once the unit took it; the
device is MOVING from then until the unit's watcher sees the motor rest. State and Position
change events come from the server: at the start of a move, about ten times a second while it
runs, and at its end with the final position. The two-motor units have one status for both
motors, so a motor's end switch is the one its own last move ended on.
"""

from __future__ import annotations

import tango
from tango import AttrWriteType, DevState
from tango.server import attribute, command, device_property

from .device import UnitDevice
from .failures import reported
from .units import End, Failure, MotorStatus, check_steps

_REST_WORDS = {
    MotorStatus.STOPPED: "rests",
    MotorStatus.END_FORWARD: "rests at the forward end switch",
    MotorStatus.END_BACKWARD: "rests at the backward end switch",
}


class ZelMotor(UnitDevice):
    Motor = device_property(dtype=int, default_value=1, doc="The motor: 1 to 2, or 1 to 32 on a Polyax")
    StepsPerUnit = device_property(dtype=float, default_value=1.0, doc="Steps per user unit, not 0")
    Offset = device_property(dtype=float, default_value=0.0, doc="The user position of step 0")

    def init_device(self) -> None:
        self._moving = False
        self._rest = MotorStatus.STOPPED
        self._lost = ""
        super().init_device()
        self.set_change_event("Position", True, False)
        if self._attachment is not None and self.unit.found:
            try:
                self._rest = self.unit.status(self.Motor)
            except Failure:
                pass  # the state says so at its first read

    def wrong_property(self) -> str:
        motors = {"orvane": 2, "kestrin": 2, "polyax": 32}.get(self.Model, 32)
        if not 1 <= self.Motor <= motors:
            return "Motor must be 1 to %d on a %s, not %d." % (motors, self.Model, self.Motor)
        if self.StepsPerUnit == 0:
            return "StepsPerUnit must not be 0."
        return ""

    # ---- Units ----

    def _user(self, steps: int) -> float:
        return float(steps / self.StepsPerUnit + self.Offset)

    def _steps(self, user: float, offset: float) -> int:
        steps = (user - offset) * self.StepsPerUnit
        if steps != steps or abs(steps) > 2**62:  # NaN or infinite: no position at all
            raise Failure(Failure.OUT_OF_RANGE, "%r is no position" % user)
        return check_steps(round(steps))

    # ---- State ----

    def device_state(self) -> tuple[DevState, str]:
        state, status = self.unit_state()
        which = "Motor %d of %s" % (self.Motor, self.unit_name())
        if state != DevState.ON:
            return state, status
        if self._lost:
            return DevState.FAULT, "%s stopped answering mid-move (%s)." % (which, self._lost)
        if self._moving:
            return DevState.MOVING, "%s moves." % which
        try:
            self.unit.status(self.Motor)
        except Failure as failure:
            return DevState.FAULT, "The status of %s cannot be read (%s)." % (which.lower(), failure)
        alarm = self._rest in (MotorStatus.END_FORWARD, MotorStatus.END_BACKWARD)
        return (DevState.ALARM if alarm else DevState.ON), "%s %s." % (which, _REST_WORDS.get(self._rest, "rests"))

    # ---- Moves ----

    def _start(self, how: str, steps: int) -> None:
        self.unit.move(self.Motor, how, steps, self._progressed, self._ended)
        self._moving = True
        self._lost = ""
        self._rest = MotorStatus.STOPPED
        self.push_state()
        self.push_change_event("Position", self._user(self.unit.position(self.Motor)))

    def _progressed(self, steps: int) -> None:
        with tango.AutoTangoMonitor(self):
            if self._moving:
                self.push_change_event("Position", self._user(steps))

    def _ended(self, end: End) -> None:
        with tango.AutoTangoMonitor(self):
            self._moving = False
            if end.status is None:
                self._lost = end.error
            else:
                self._rest = end.status
                self.push_change_event("Position", self._user(end.position or 0))
            self.push_state()

    # ---- Attributes ----

    @attribute(dtype=float, access=AttrWriteType.READ_WRITE, doc="User units; writing starts a move there")
    @reported
    def Position(self) -> float:
        return self._user(self.unit.position(self.Motor))

    @Position.write
    @reported
    def Position(self, value: float) -> None:
        self._start("to", self._steps(value, self.Offset))

    @attribute(dtype=int, doc="Steps")
    @reported
    def DialPosition(self) -> int:
        return self.unit.position(self.Motor)

    @attribute(dtype=float, access=AttrWriteType.READ_WRITE, doc="User units per second")
    @reported
    def Velocity(self) -> float:
        return self.unit.frequency(self.Motor) / abs(self.StepsPerUnit)

    @Velocity.write
    @reported
    def Velocity(self, value: float) -> None:
        self.unit.set_frequency(self.Motor, abs(self._steps(value, 0.0)))

    @attribute(dtype=int, access=AttrWriteType.READ_WRITE, doc="The step mode, 1 or 2")
    @reported
    def Mode(self) -> int:
        return self.unit.mode(self.Motor)

    @Mode.write
    @reported
    def Mode(self, mode: int) -> None:
        self.unit.set_mode(self.Motor, mode)

    @attribute(dtype=(bool,), max_dim_x=3, doc="home, upper (forward end), lower (backward end)")
    def Limit_switches(self) -> list[bool]:
        # On these units the home switch is the backward end switch.
        lower = self._rest == MotorStatus.END_BACKWARD
        return [lower, self._rest == MotorStatus.END_FORWARD, lower]

    # ---- Commands ----

    @command
    @reported
    def Stop(self) -> None:
        self.unit.stop(self.Motor)

    @command
    @reported
    def Home(self) -> None:
        self._start("home", 0)

    @command(dtype_in=float, doc_in="The distance in user units")
    @reported
    def MoveRelative(self, distance: float) -> None:
        self._start("by", self._steps(distance, 0.0))
