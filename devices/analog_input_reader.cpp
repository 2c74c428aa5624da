// The analogue conversion exchange.
#include "devices/analog_input_reader.h"

#include "devices/busy_poll.h"
#include "devices/sensor_registers.h"

namespace zel {

bool AnalogInputReader::IsConversionBusy() {
  DeviceLockGuard guard(lock_);
  return link_.ReadByte(sensors::kConversionTrigger) != 0;
}

bool AnalogInputReader::StartConversion() {
  DeviceLockGuard guard(lock_);
  if (!link_.WriteByte(sensors::kStartConversion, sensors::kConversionTrigger)) return false;
  return link_.WriteByte(sensors::kStartConversion, sensors::kConversionTrigger);
}

bool AnalogInputReader::WaitConversion() {
  DeviceLockGuard guard(lock_);
  return WaitWhileBusy(link_, kConversionPauseLimit, [this] { return IsConversionBusy(); });
}

// Every reading starts its own conversion; an earlier result is never reused.
std::int32_t AnalogInputReader::ReadChannelRaw(std::int32_t channel) {
  DeviceLockGuard guard(lock_);
  // A trigger byte that could not be read tells nothing: no conversion is started blindly.
  if (IsConversionBusy() || link_.GetStatus() != LinkStatus::eErrorNoError) return kNoReading;
  if (!StartConversion() || !WaitConversion()) return kNoReading;
  std::uint8_t bytes[2] = {};
  const std::int32_t read = link_.ReadMemory(bytes, sizeof bytes, sensors::ChannelAddress(channel));
  if (read == 0 || read == -1) return kNoReading;
  const std::uint16_t value = ezusb::Get16(bytes);
  if (value == sensors::kNoChannelValue) return kNoReading;
  return value;
}

double AnalogInputReader::ReadChannel(std::int32_t channel) {
  DeviceLockGuard guard(lock_);
  return static_cast<double>(ReadChannelRaw(channel));
}

}  // namespace zel
