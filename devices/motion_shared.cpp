// The operations shared by every motor controller. They touch no register themselves: they go
// through slots 0 to 2 of the actual controller and the link.
#include "devices/dual_motor_controller.h"

namespace zel {

namespace {
// A relative move backward by 2147483647 steps; where the motor rests is up to the unit.
constexpr std::int32_t kHomeSteps = -2147483647;
}  // namespace

bool DualMotorController::MoveToPos(std::int32_t motor, std::int32_t position) {
  DeviceLockGuard guard(lock_);
  const std::int32_t current = GetMotorPosition(motor);
  if (current == kNoPosition) return false;
  // Two's complement difference, wrapping on overflow.
  const auto steps = static_cast<std::int32_t>(static_cast<std::uint32_t>(position) -
                                               static_cast<std::uint32_t>(current));
  return MoveMotor(motor, steps);
}

bool DualMotorController::MoveHome(std::int32_t motor) {
  DeviceLockGuard guard(lock_);
  return MoveMotor(motor, kHomeSteps);
}

bool DualMotorController::WaitForMotor(std::int32_t motor) {
  std::int32_t lastStatus = eMotorRunning;
  return AwaitRest(motor, lastStatus);
}

// Takes no lock of its own: each status read takes it, so another thread (a Stop) gets in
// between two polls. Every successful wait ends with one pause after the last read.
bool DualMotorController::AwaitRest(std::int32_t motor, std::int32_t& lastStatus) {
  for (int polls = 0;;) {
    lastStatus = GetMotorStatus(motor);
    if (lastStatus == eMotorStatusError) return false;
    if (++polls > kWaitPollLimit) return false;
    link_.Pause(kPollPauseMs);
    if (lastStatus == eMotorStopped || lastStatus == eMotorEndForward ||
        lastStatus == eMotorEndBackward)
      return true;
  }
}

std::int32_t DualMotorController::GetLastError() {
  return static_cast<std::int32_t>(link_.GetStatus());
}

}  // namespace zel
