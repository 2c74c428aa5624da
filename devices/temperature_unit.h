// The Orvane unit's temperature: measured on analogue channel 4, set by stepping an actuator
// one step at a time until channel 4 reads the target.
#pragma once

#include <cstdint>

#include "devices/analog_input_reader.h"
#include "devices/device_lock.h"
#include "link/ez_usb_link.h"

namespace zel {

class TemperatureUnit {
 public:
  TemperatureUnit(EzUsbLink& link, DeviceLock& lock) noexcept
      : link_(link), reader_(link, lock), lock_(lock) {}

  // In tenths of a unit; positive infinity when no value was obtained.
  double GetTemperature();
  // Steps the actuator toward the set-point's raw value, at most 256 steps to success; the
  // 257th step ends the attempt with "No device response". True at once when already there.
  bool SetTemperature(double value);

  // The actuator command reads exactly 1. A failed read counts as idle.
  bool IsActuatorBusy();
  // At most 2000 pauses of 10 ms, then "No device response".
  bool WaitActuator();
  // One actuator step, `step` +1 or -1.
  bool StepActuator(std::int32_t step);

  static constexpr int kActuatorPauseLimit = 2000;
  static constexpr int kStepBudget = 256;

 private:
  EzUsbLink& link_;
  AnalogInputReader reader_;
  DeviceLock& lock_;
};

}  // namespace zel
