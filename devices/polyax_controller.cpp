// The Polyax command-mailbox protocol.
#include "devices/polyax_controller.h"

namespace zel {

namespace {
bool InRange(std::int32_t motor) {
  return motor >= 1 && motor <= polyax::kMotorCount;
}
}  // namespace

PolyaxController::PolyaxController(EzUsbLink& link, DeviceLock& lock) noexcept
    : DualMotorController(link, lock) {
  for (std::int32_t motor = 1; motor <= polyax::kMotorCount; ++motor)
    modes_[static_cast<std::size_t>(motor - 1)] = DualMotorController::GetMotorMode(motor);
}

bool PolyaxController::ExecuteCommand(std::int32_t motor, std::uint8_t code) {
  DeviceLockGuard guard(lock_);
  if (!PostCommand(motor, code)) return false;
  return AwaitCommand();
}

bool PolyaxController::PostCommand(std::int32_t motor, std::uint8_t code) {
  DeviceLockGuard guard(lock_);
  if (!InRange(motor)) {
    link_.SetStatus(LinkStatus::eErrorNoMotorPresent);
    return false;
  }
  if (!link_.WriteByte(static_cast<std::uint8_t>(motor - 1), polyax::kMotorSelect)) return false;
  return link_.WriteByte(code, polyax::kCommand);
}

bool PolyaxController::AwaitCommand() {
  DeviceLockGuard guard(lock_);
  for (int pauses = 0;;) {
    const std::uint8_t answer = link_.ReadByte(polyax::kCommand);
    // A failed read yields 0, which must not pass for "done".
    if (link_.GetStatus() != LinkStatus::eErrorNoError) return false;
    if (answer == polyax::kAnswerDone) return true;
    if (answer == polyax::kAnswerNoMotor) {
      link_.SetStatus(LinkStatus::eErrorNoMotorPresent);
      return false;
    }
    if (answer == polyax::kAnswerMotorFault) {
      link_.SetStatus(LinkStatus::eErrorNoMotorCommunication);
      return false;
    }
    link_.Pause(kPollPauseMs);
    if (++pauses > kCommandPauseLimit) {
      link_.SetStatus(LinkStatus::eErrorNoDeviceResponse);
      return false;
    }
  }
}

std::int32_t PolyaxController::GetMotorStatus(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  if (!ExecuteCommand(motor, polyax::kGetStatus)) return eMotorStatusError;
  return DualMotorController::GetMotorStatus(kStaging);
}

std::int32_t PolyaxController::GetMotorPosition(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  if (!ExecuteCommand(motor, polyax::kGetPosition)) return kNoPosition;
  return DualMotorController::GetMotorPosition(kStaging);
}

// Stages the count and the control byte through the two-motor move (whose status checks are
// this unit's status command), then has the firmware take and start them.
bool PolyaxController::MoveMotor(std::int32_t motor, std::int32_t steps) {
  DeviceLockGuard guard(lock_);
  // A command left unfinished (by a time-out) blocks every move until the firmware clears it;
  // a failed read of the command byte blocks it too.
  const std::uint8_t pending = link_.ReadByte(polyax::kCommand);
  if (link_.GetStatus() != LinkStatus::eErrorNoError) return false;
  // 1 and 2 are the firmware's final answers to the last command (no such motor, no
  // communication): that command is over, and a failed command must not block every later move.
  if (pending != polyax::kAnswerDone && pending != polyax::kAnswerNoMotor &&
      pending != polyax::kAnswerMotorFault)
    return false;
  if (!InRange(motor)) {
    link_.SetStatus(LinkStatus::eErrorNoMotorPresent);
    return false;
  }
  if (!DualMotorController::SetMotorMode(kStaging, modes_[static_cast<std::size_t>(motor - 1)]))
    return false;
  if (!StartRelativeMove(motor, steps, true)) return false;
  if (!ExecuteCommand(motor, polyax::kStageMove)) return false;
  return ExecuteCommand(motor, polyax::kStartMove);
}

// The staging registers are written before the motor number is checked.
bool PolyaxController::ResetPosition(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  if (!DualMotorController::ResetPosition(kStaging)) return false;
  return ExecuteCommand(motor, polyax::kSetPosition);
}

bool PolyaxController::Stop(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  if (!DualMotorController::Stop(kStaging)) return false;
  return ExecuteCommand(motor, polyax::kStop);
}

bool PolyaxController::SetMotorMode(std::int32_t motor, std::int32_t mode) {
  DeviceLockGuard guard(lock_);
  if (mode != 1 && mode != 2) return false;
  if (motor == 0) {
    for (std::int32_t each = 1; each <= polyax::kMotorCount; ++each) SetMotorMode(each, mode);
    link_.SetStatus(LinkStatus::eErrorNoError);
    return true;
  }
  if (!InRange(motor)) return false;
  modes_[static_cast<std::size_t>(motor - 1)] = mode;
  return true;
}

std::int32_t PolyaxController::GetMotorMode(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  return InRange(motor) ? modes_[static_cast<std::size_t>(motor - 1)] : 0;
}

bool PolyaxController::SetMotorFreq(std::int32_t motor, std::int32_t frequency) {
  DeviceLockGuard guard(lock_);
  if (motor == 0) {
    // One absent motor does not stop the others. Success needs at least one motor that took
    // the speed; when none did (the unit is gone), the last motor's code stays.
    bool anyTook = false;
    for (std::int32_t each = 1; each <= polyax::kMotorCount; ++each)
      anyTook = SetMotorFreq(each, frequency) || anyTook;
    if (!anyTook) return false;
    link_.SetStatus(LinkStatus::eErrorNoError);
    return true;
  }
  if (!DualMotorController::SetMotorFreq(kStaging, frequency)) return false;
  return ExecuteCommand(motor, polyax::kSetDivider);
}

std::int32_t PolyaxController::GetMotorFreq(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  if (!ExecuteCommand(motor, polyax::kGetDivider)) return 0;
  return DualMotorController::GetMotorFreq(kStaging);
}

std::int32_t PolyaxController::GetMotorCount() {
  return polyax::kMotorCount;
}

}  // namespace zel
