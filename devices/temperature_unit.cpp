// The temperature sensor and actuator exchanges.
#include "devices/temperature_unit.h"

#include <cmath>

#include "devices/busy_poll.h"
#include "devices/sensor_registers.h"

namespace zel {

double TemperatureUnit::GetTemperature() {
  DeviceLockGuard guard(lock_);
  const std::int32_t raw = reader_.ReadChannelRaw(sensors::kTemperatureChannel);
  if (raw == kNoReading) return HUGE_VAL;
  // The firmware expects this register to be read after each conversion; its value means
  // nothing to the host.
  std::uint8_t unused[2] = {};
  const std::int32_t read = link_.ReadMemory(unused, sizeof unused, sensors::kActuatorReadback);
  if (read == 0 || read == -1) return HUGE_VAL;
  return sensors::RawToTemperature(raw);
}

bool TemperatureUnit::IsActuatorBusy() {
  DeviceLockGuard guard(lock_);
  return link_.ReadByte(sensors::kActuatorCommand) == 1;
}

bool TemperatureUnit::WaitActuator() {
  DeviceLockGuard guard(lock_);
  return WaitWhileBusy(link_, kActuatorPauseLimit, [this] { return IsActuatorBusy(); });
}

bool TemperatureUnit::StepActuator(std::int32_t step) {
  DeviceLockGuard guard(lock_);
  std::uint8_t bytes[2];
  ezusb::Put16(bytes, static_cast<std::uint16_t>(step));
  if (!link_.WriteMemory(bytes, sizeof bytes, sensors::kActuatorStep)) return false;
  return link_.WriteByte(sensors::kActuatorExecute, sensors::kActuatorCommand);
}

// Holds the lock across every step. The reading right after each completed step decides; the
// temperature is not left to settle.
bool TemperatureUnit::SetTemperature(double value) {
  DeviceLockGuard guard(lock_);
  // An actuator whose state could not be read is not stepped.
  if (IsActuatorBusy() || link_.GetStatus() != LinkStatus::eErrorNoError) return false;
  std::int32_t target = 0;
  if (!sensors::TemperatureToRaw(value, target)) return false;
  std::int32_t reading = reader_.ReadChannelRaw(sensors::kTemperatureChannel);
  if (reading == kNoReading) return false;
  if (reading == target) return true;
  const std::int32_t step = reading < target ? 1 : -1;
  const auto shortOfTarget = [&] { return step > 0 ? reading < target : reading > target; };
  // The budget is tested after each step's reading: a 257th step goes out before giving up,
  // even when it reached the target.
  int budget = kStepBudget;
  while (shortOfTarget()) {
    if (!StepActuator(step) || !WaitActuator()) return false;
    reading = reader_.ReadChannelRaw(sensors::kTemperatureChannel);
    if (reading == kNoReading) return false;
    if (budget <= 0) {
      link_.SetStatus(LinkStatus::eErrorNoDeviceResponse);
      return false;
    }
    --budget;
  }
  return true;
}

}  // namespace zel
