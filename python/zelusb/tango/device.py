"""What ZelMotor and ZelUnit share: the properties that name a unit, the hold on that unit
while the device lives, and the states a unit gives its devices: ON while it answers, FAULT
once it was lost (or a property is wrong), OFF when none was found."""

from __future__ import annotations

from typing import Optional

from tango import DevState
from tango.server import Device, device_property

from .units import Attachment, Failure, Unit


class UnitDevice(Device):
    # Required; a device without it is in FAULT rather than stopping the whole server, as a
    # mandatory property would.
    Model = device_property(dtype=str, default_value="", doc="The unit's model: orvane, kestrin or polyax")
    Serial = device_property(
        dtype=str, default_value="", doc="The unit's EEPROM serial number; empty: the first unit of the model"
    )
    Bench = device_property(
        dtype=str,
        default_value="",
        doc="A bench description file: the device then runs on that live bench instead of real units",
    )

    def init_device(self) -> None:
        super().init_device()
        self._attachment: Optional[Attachment] = None
        self._problem = ""
        self.set_change_event("State", True, False)
        try:
            self._problem = self.wrong_property()
            if not self._problem:
                self._attachment = Attachment(self.Model, self.Serial, self.Bench)
        except (Failure, OSError, ValueError) as error:
            self._problem = str(error)

    def delete_device(self) -> None:
        if self._attachment is not None:
            self._attachment.release()
            self._attachment = None

    def wrong_property(self) -> str:
        """What is wrong with the properties beyond Model, Serial and Bench ("" : nothing)."""
        return ""

    @property
    def unit(self) -> Unit:
        if self._attachment is None:
            raise Failure(Failure.NO_DEVICE, self._problem)
        return self._attachment.unit

    def unit_name(self) -> str:
        return "the %s unit %s" % (self.Model, self.Serial) if self.Serial else "the first %s unit" % self.Model

    def unit_state(self) -> tuple[DevState, str]:
        if self._attachment is None:
            return DevState.FAULT, self._problem
        unit = self._attachment.unit
        if not unit.found:
            return DevState.OFF, "No unit: %s was not found (%s)." % (self.unit_name(), unit.last_error_text())
        if not unit.present():
            return DevState.FAULT, "Lost: %s does not answer (%s)." % (self.unit_name(), unit.last_error_text())
        name = self.unit_name()
        return DevState.ON, "%s%s answers." % (name[0].upper(), name[1:])

    def device_state(self) -> tuple[DevState, str]:
        """The state and status words; a subclass adds its own."""
        return self.unit_state()

    def dev_state(self) -> DevState:
        state, status = self.device_state()
        self.set_state(state)
        self.set_status(status)
        return state

    def dev_status(self) -> str:
        self.dev_state()
        return str(self.get_status())

    def push_state(self) -> None:
        self.push_change_event("State", self.dev_state())
