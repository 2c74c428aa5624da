"""ZelUnit: one unit as a whole, its identity and what its model has beyond motors: the
Orvane's temperature, analogue inputs and undervoltage switch, the Polyax's two shutters.
Those attributes exist on the devices of their model only."""

from __future__ import annotations

import math
from typing import Any, Callable, Optional

import tango
from tango import AttrWriteType

from .device import UnitDevice
from .failures import reported
from .units import ANALOG_CHANNELS, Unit


def _analog_inputs(unit: Unit) -> list[float]:
    return [math.nan if reading is None else reading for reading in unit.analog_inputs()]


Read = Callable[[Unit], Any]
Write = Callable[[Unit, Any], None]


def _shutter_read(shutter: int) -> Read:
    return lambda unit: unit.shutter(shutter)


def _shutter_write(shutter: int) -> Write:
    return lambda unit, value: unit.set_shutter(shutter, bool(value))
# By model: (name, Tango type, spectrum length or 0, read, write or None).
_EXTRAS: dict[str, list[tuple[str, Any, int, Read, Optional[Write]]]] = {
    "orvane": [
        ("Temperature", tango.DevDouble, 0, Unit.temperature, Unit.set_temperature),
        ("AnalogInputs", tango.DevDouble, ANALOG_CHANNELS, _analog_inputs, None),
        ("UndervoltageDetection", tango.DevBoolean, 0, Unit.undervoltage_detection, Unit.set_undervoltage_detection),
    ],
    "polyax": [
        ("Shutter%d" % n, tango.DevBoolean, 0, _shutter_read(n), _shutter_write(n))
        for n in (1, 2)
    ],
}


class ZelUnit(UnitDevice):
    def initialize_dynamic_attributes(self) -> None:
        self._extras = {name: (read, write) for name, _, _, read, write in _EXTRAS.get(self.Model, [])}
        for name, kind, length, _, write in _EXTRAS.get(self.Model, []):
            access = AttrWriteType.READ_WRITE if write else AttrWriteType.READ
            attr = tango.SpectrumAttr(name, kind, access, length) if length else tango.Attr(name, kind, access)
            self.add_attribute(attr, self._read_extra, self._write_extra if write else None)

    @reported
    def _read_extra(self, attr: tango.Attribute) -> None:
        attr.set_value(self._extras[attr.get_name()][0](self.unit))

    @reported
    def _write_extra(self, attr: tango.WAttribute) -> None:
        write = self._extras[attr.get_name()][1]
        if write is not None:  # only writable attributes are given this method
            write(self.unit, attr.get_write_value())

    @tango.server.attribute(dtype=str)
    @reported
    def SerialNumber(self) -> str:
        return self.unit.serial()

    @tango.server.attribute(dtype=str)
    @reported
    def FirmwareVersion(self) -> str:
        return self.unit.firmware()

    @tango.server.attribute(dtype=bool)
    @reported
    def Present(self) -> bool:
        return self._attachment is not None and self.unit.present()
