// Register map of the two-motor firmware (Orvane, Kestrin). The Polyax firmware offers the same
// registers as its single-motor staging registers. Multi-byte values are little-endian.
#pragma once

#include <cstdint>

namespace zel::dual_motor {

inline constexpr std::uint16_t kMoveCommand = 0x1C20;        // 1 byte, write: command byte below
inline constexpr std::uint16_t kStopRequest = 0x1C21;        // 1 byte, write 1: stop the motion
inline constexpr std::uint16_t kStatusFlags = 0x1C22;        // 1 byte, read: flags below
inline constexpr std::uint16_t kSpeedDivider = 0x1C26;       // 2 bytes, unsigned: step period
                                                             // in units of 75 µs, both motors
inline constexpr std::uint16_t kPositionCompanion = 0x1C28;  // 4 bytes, cleared with a position
inline constexpr std::uint16_t kPosition = 0x1C2C;           // 4 bytes, signed: motors other
                                                             // than 1 and 2 (Polyax staging)
inline constexpr std::uint16_t kStepCount = 0x1C30;          // 4 bytes, signed: next relative move
inline constexpr std::uint16_t kPositionMotor1 = 0x1C36;     // 4 bytes, signed
inline constexpr std::uint16_t kPositionMotor2 = 0x1C3A;     // 4 bytes, signed

// Move command byte: bit 6 starts a relative move of the count in kStepCount, bit 5 selects
// motor 2, bits 1..0 carry the motion mode (1 or 2).
inline constexpr std::uint8_t kCommandMove = 0x40;
inline constexpr std::uint8_t kCommandMotor2 = 0x20;
inline constexpr std::uint8_t kCommandModeMask = 0x03;

// Status flags: bit 0 or 1 running, bit 6 stopped at the forward end switch, bit 7 at the
// backward one; bits 2 to 5 carry nothing the host reads.
inline constexpr std::uint8_t kFlagRunningMask = 0x03;
inline constexpr std::uint8_t kFlagEndForward = 0x40;
inline constexpr std::uint8_t kFlagEndBackward = 0x80;

// Flags to EMotorStatus, first match wins: running, end forward, end backward, stopped.
constexpr std::int32_t DecodeStatusFlags(std::uint8_t flags) noexcept {
  if (flags & kFlagRunningMask) return 1;
  if (flags & kFlagEndForward) return 2;
  if (flags & kFlagEndBackward) return 3;
  return 0;
}

// Speed encoding: divider d = trunc(1.0 / (f × 0.000075)), of which the low 16 bits are
// written; a divider reads back as trunc(1.0 / (d × 0.000075)). 0 stays 0 both ways.
inline constexpr double kDividerUnitSeconds = 0.000075;

constexpr std::int64_t SpeedDivider(std::int32_t frequency) noexcept {
  if (frequency == 0) return 0;
  return static_cast<std::int64_t>(1.0 / (frequency * kDividerUnitSeconds));
}

constexpr std::int32_t DividerFrequency(std::uint16_t divider) noexcept {
  if (divider == 0) return 0;
  return static_cast<std::int32_t>(1.0 / (divider * kDividerUnitSeconds));
}

}  // namespace zel::dual_motor
