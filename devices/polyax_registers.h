// Register map of the Polyax firmware's command mailbox. The unit serves up to 32 motors
// through one set of single-motor staging registers, the registers of the two-motor firmware
// (dual_motor_registers.h): the host selects a motor, writes a command, and stages parameters
// before it or reads results after it. The firmware on the bench serves the same registers
// from this header.
#pragma once

#include <cstdint>

namespace zel::polyax {

inline constexpr std::int32_t kMotorCount = 32;

// Motor select, 1 byte: the motor number - 1, 0 to 31.
inline constexpr std::uint16_t kMotorSelect = 0x1C34;
// Command, 1 byte. The host writes a command code; the firmware answers in the same byte when
// it has carried the command out. Any other value means the command still runs.
inline constexpr std::uint16_t kCommand = 0x1C35;
inline constexpr std::uint8_t kAnswerDone = 0;
inline constexpr std::uint8_t kAnswerNoMotor = 1;     // no motor connected in that slot
inline constexpr std::uint8_t kAnswerMotorFault = 2;  // the motor does not communicate

// Command codes, with the staging registers each one uses.
inline constexpr std::uint8_t kGetStatus = 4;     // -> status flags 0x1C22
inline constexpr std::uint8_t kGetPosition = 6;   // -> position 0x1C2C
inline constexpr std::uint8_t kGetDivider = 7;    // -> speed divider 0x1C26
inline constexpr std::uint8_t kStartMove = 9;     // starts the move staged by kStageMove
inline constexpr std::uint8_t kStop = 11;         // after the stop request 0x1C21
inline constexpr std::uint8_t kSetDivider = 12;   // <- speed divider 0x1C26
inline constexpr std::uint8_t kSetPosition = 13;  // <- 0x1C28 and position 0x1C2C
// <- step count 0x1C30 and move control 0x1C20 (0x40 | mode). The firmware takes the control
// byte off its register; without a fresh control byte nothing is staged.
inline constexpr std::uint8_t kStageMove = 14;

}  // namespace zel::polyax
