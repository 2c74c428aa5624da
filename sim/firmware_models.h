// The peripherals of the three firmware models; MakeFirmware (sim/firmware.h) puts them together.
#pragma once

#include "sim/firmware.h"

namespace zel::sim {

// Orvane and Kestrin: two motors behind one command, status, speed and step-count register.
void AddTwoMotorMotion(Firmware& firmware, const UnitConfig& unit);  // sim/two_motor_firmware.cpp
// Orvane and Polyax: sixteen lines in two ports behind 0x1D00..0x1D03.
void AddLinePort(Firmware& firmware, const UnitConfig& unit);  // sim/line_port_firmware.cpp
// All models: EEPROM mailbox at 0x1C90..0x1C96 and the version bytes 0x1D12, 0x1D13.
void AddUnitInfo(Firmware& firmware, const UnitConfig& unit);  // sim/unit_info_firmware.cpp
// Orvane: analogue conversion, channel results and the temperature actuator.
void AddOrvaneSensors(Firmware& firmware, const UnitConfig& unit);  // sim/sensor_firmware.cpp
// Polyax: 32 motor slots behind the staging registers and the command mailbox.
void AddPolyaxMotion(Firmware& firmware, const UnitConfig& unit);  // sim/polyax_firmware.cpp

}  // namespace zel::sim
