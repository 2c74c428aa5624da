// The motor controller of the Polyax unit: up to 32 motors behind one command mailbox. Built on
// the two-motor controller, whose register exchanges it points at the staging registers (motor
// number -1) around each command.
#pragma once

#include <array>
#include <cstdint>

#include "devices/dual_motor_controller.h"
#include "devices/polyax_registers.h"

namespace zel {

class PolyaxController : public DualMotorController {
 public:
  // Every motor starts with the two-motor controller's stored mode, 2. Nothing is sent.
  PolyaxController(EzUsbLink& link, DeviceLock& lock) noexcept;

  std::int32_t GetMotorStatus(std::int32_t motor) override;
  std::int32_t GetMotorPosition(std::int32_t motor) override;
  bool MoveMotor(std::int32_t motor, std::int32_t steps) override;
  bool ResetPosition(std::int32_t motor) override;
  bool Stop(std::int32_t motor) override;
  // Motor 0 sets every motor's mode. Modes live on the host and go out with each move.
  bool SetMotorMode(std::int32_t motor, std::int32_t mode) override;
  std::int32_t GetMotorMode(std::int32_t motor) override;
  // Motor 0 sets every motor's speed: true when at least one motor took it.
  bool SetMotorFreq(std::int32_t motor, std::int32_t frequency) override;
  // 0 when the command fails, -1 when the divider cannot be read.
  std::int32_t GetMotorFreq(std::int32_t motor) override;
  std::int32_t GetMotorCount() override;
  bool OneStatusForAllMotors() const noexcept override { return false; }

  // One command for one motor: select, command, poll the answer.
  bool ExecuteCommand(std::int32_t motor, std::uint8_t code);
  bool PostCommand(std::int32_t motor, std::uint8_t code);
  // Polls the command byte every 10 ms; after 12000 pauses the next one gives up with
  // "No device response".
  bool AwaitCommand();

  static constexpr int kCommandPauseLimit = 12000;

 private:
  // The two-motor operations address the staging registers with this motor number.
  static constexpr std::int32_t kStaging = -1;

  std::array<std::int32_t, polyax::kMotorCount> modes_{};
};

}  // namespace zel
