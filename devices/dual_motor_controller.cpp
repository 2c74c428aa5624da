// The register protocol of the two-motor firmware.
#include "devices/dual_motor_controller.h"

#include "devices/dual_motor_registers.h"

namespace zel {

namespace dm = dual_motor;

namespace {
bool Failed(EzUsbLink& link) {
  return link.GetStatus() != LinkStatus::eErrorNoError;
}

std::uint8_t MoveCommandByte(std::int32_t motor, bool ignoreMotorBit, std::int32_t mode) {
  const std::int32_t m = ignoreMotorBit ? 1 : motor;
  const auto select = static_cast<std::uint8_t>(((m - 1) | 2) << 5);
  return static_cast<std::uint8_t>(select | static_cast<std::uint8_t>(mode));
}
}  // namespace

// One status register serves both motors; the motor number selects nothing.
std::int32_t DualMotorController::GetMotorStatus(std::int32_t) {
  DeviceLockGuard guard(lock_);
  const std::uint8_t flags = link_.ReadByte(dm::kStatusFlags);
  if (Failed(link_)) return eMotorStatusError;
  return dm::DecodeStatusFlags(flags);
}

std::int32_t DualMotorController::GetMotorPosition(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  std::uint8_t bytes[4] = {};
  const std::uint16_t address = motor == 1   ? dm::kPositionMotor1
                                : motor == 2 ? dm::kPositionMotor2
                                             : dm::kPosition;
  const std::int32_t read = link_.ReadMemory(bytes, sizeof bytes, address);
  if (read == 0 || read == -1) return kNoPosition;
  return static_cast<std::int32_t>(ezusb::Get32(bytes));
}

bool DualMotorController::MoveMotor(std::int32_t motor, std::int32_t steps) {
  DeviceLockGuard guard(lock_);
  if (motor < 1 || motor > 2) {
    link_.SetStatus(LinkStatus::eErrorNoMotorPresent);
    return false;
  }
  return StartRelativeMove(motor, steps, false);
}

bool DualMotorController::StartRelativeMove(std::int32_t motor, std::int32_t steps,
                                            bool ignoreMotorBit) {
  DeviceLockGuard guard(lock_);
  // Through the interface: inside a PolyaxController this is the Polyax status exchange.
  std::int32_t status = GetMotorStatus(motor);
  if (status == eMotorRunning || status == eMotorStatusError) return false;
  lastStart_ = {status, std::nullopt, LinkStatus::eErrorNoError};
  if (steps == 0) return true;
  std::uint8_t count[4];
  ezusb::Put32(count, static_cast<std::uint32_t>(steps));
  if (!link_.WriteMemory(count, sizeof count, dm::kStepCount)) return false;
  // Also through the interface. A motor that rests again after the command has either not
  // taken it or already run a short move: only its position tells the two apart.
  const std::int32_t before = GetMotorPosition(motor);
  lastStart_.position = before;
  if (before == kNoPosition) lastStart_.positionCode = link_.StoredStatus();
  const std::uint8_t command = MoveCommandByte(motor, ignoreMotorBit, mode_);
  if (!link_.WriteByte(command, dm::kMoveCommand)) return false;
  status = GetMotorStatus(motor);
  if (status != eMotorStopped) return true;
  if (before != kNoPosition) {
    const std::int32_t after = GetMotorPosition(motor);
    if (after != kNoPosition && after != before) return true;  // it has run and ended
  }
  // The unit has not taken the command (or its position is unreadable): it goes out once
  // more, no more.
  return link_.WriteByte(command, dm::kMoveCommand);
}

bool DualMotorController::ResetPosition(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  const std::uint8_t zero[4] = {};
  if (!link_.WriteMemory(zero, sizeof zero, dm::kPositionCompanion)) return false;
  if (!link_.WriteMemory(zero, sizeof zero, dm::kPosition)) return false;
  if (motor == 1 || motor == 2) {
    const std::uint16_t own = motor == 1 ? dm::kPositionMotor1 : dm::kPositionMotor2;
    if (!link_.WriteMemory(zero, sizeof zero, own)) return false;
  }
  return true;
}

// Whichever motor moves is stopped.
bool DualMotorController::Stop(std::int32_t) {
  DeviceLockGuard guard(lock_);
  return link_.WriteByte(1, dm::kStopRequest);
}

// The mode lives on the host and goes out with the next move command, for either motor.
bool DualMotorController::SetMotorMode(std::int32_t, std::int32_t mode) {
  DeviceLockGuard guard(lock_);
  if (mode != 1 && mode != 2) return false;
  mode_ = mode;
  return true;
}

std::int32_t DualMotorController::GetMotorMode(std::int32_t) {
  DeviceLockGuard guard(lock_);
  return mode_;
}

// One speed serves both motors.
bool DualMotorController::SetMotorFreq(std::int32_t, std::int32_t frequency) {
  DeviceLockGuard guard(lock_);
  std::uint8_t divider[2];
  ezusb::Put16(divider, static_cast<std::uint16_t>(dm::SpeedDivider(frequency)));
  return link_.WriteMemory(divider, sizeof divider, dm::kSpeedDivider);
}

std::int32_t DualMotorController::GetMotorFreq(std::int32_t) {
  DeviceLockGuard guard(lock_);
  std::uint8_t divider[2] = {};
  const std::int32_t read = link_.ReadMemory(divider, sizeof divider, dm::kSpeedDivider);
  if (read == 0 || read == -1) return -1;
  return dm::DividerFrequency(ezusb::Get16(divider));
}

std::int32_t DualMotorController::GetMotorCount() {
  return 2;
}

}  // namespace zel
