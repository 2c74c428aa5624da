// Register map of the Orvane unit's sensors: the analogue converter and the temperature
// actuator. The firmware on the bench serves the same registers from this header.
// Multi-byte values are little-endian.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace zel::sensors {

// Conversion trigger, 1 byte. The host writes 1 to convert every channel at once; the firmware
// keeps the byte non-zero while the conversion runs and clears it when the results are in.
inline constexpr std::uint16_t kConversionTrigger = 0x1C02;
inline constexpr std::uint8_t kStartConversion = 1;

// Results, 2 bytes unsigned per channel, channel n at 0x1C03 + 2n. Any channel number is
// passed on: the address simply wraps in the 16-bit address space (channel -1 reads the two
// bytes at 0x1C01). 0xFFFF means the channel holds no valid value.
inline constexpr std::uint16_t kChannelResults = 0x1C03;
inline constexpr std::uint16_t kNoChannelValue = 0xFFFF;
constexpr std::uint16_t ChannelAddress(std::int32_t channel) noexcept {
  return static_cast<std::uint16_t>(kChannelResults + 2u * static_cast<std::uint32_t>(channel));
}

// Channel 4 carries the temperature sensor.
inline constexpr std::int32_t kTemperatureChannel = 4;

// Actuator command, 1 byte. The host writes 1 to carry out the step in kActuatorStep; the
// firmware reads back 1 while the step runs and clears the byte when it is done.
inline constexpr std::uint16_t kActuatorCommand = 0x1C80;
inline constexpr std::uint8_t kActuatorExecute = 1;
// 2 bytes the host reads after each temperature conversion without using them.
inline constexpr std::uint16_t kActuatorReadback = 0x1C81;
// Actuator step, 2 bytes signed: +1 (01 00) warms, -1 (FF FF) cools.
inline constexpr std::uint16_t kActuatorStep = 0x1C83;

// Temperature scale: 50 raw counts per unit, zero at 2048. Readings are reported in tenths,
// truncated toward zero after adding half a tenth, so 2040 reads -0.1 and 2051 reads 0.1.
inline constexpr double kTenthsPerCount = 0.2;
inline constexpr double kHalfTenth = 0.5;
inline constexpr double kTenth = 0.1;
inline constexpr std::int32_t kZeroRaw = 2048;
inline constexpr double kCountsPerUnit = 50.0;
inline constexpr double kZeroRawRounded = 2048.5;

constexpr double RawToTemperature(std::int32_t raw) noexcept {
  const auto tenths = static_cast<std::int32_t>((raw - kZeroRaw) * kTenthsPerCount + kHalfTenth);
  return tenths * kTenth;
}

// The raw channel-4 value a set-point aims at, truncated toward zero. Set-points beyond the
// 32-bit range saturate (no raw reading can reach them anyway); NaN has no target.
inline bool TemperatureToRaw(double setPoint, std::int32_t& raw) noexcept {
  const double target = setPoint * kCountsPerUnit + kZeroRawRounded;
  if (std::isnan(target)) return false;
  constexpr double kLow = std::numeric_limits<std::int32_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
  raw = target <= kLow    ? std::numeric_limits<std::int32_t>::min()
        : target >= kHigh ? std::numeric_limits<std::int32_t>::max()
                          : static_cast<std::int32_t>(target);
  return true;
}

}  // namespace zel::sensors
