// The motor controller of the two-motor units (Orvane, Kestrin), and the home of the shared
// operations (MoveToPos, WaitForMotor, MoveHome, GetLastError) that PolyaxController inherits.
#pragma once

#include <optional>

#include "devices/device_lock.h"
#include "devices/motor_controller.h"
#include "link/ez_usb_link.h"

namespace zel {

class DualMotorController : public MotorController {
 public:
  DualMotorController(EzUsbLink& link, DeviceLock& lock) noexcept : link_(link), lock_(lock) {}

  std::int32_t GetMotorStatus(std::int32_t motor) override;
  std::int32_t GetMotorPosition(std::int32_t motor) override;
  bool MoveMotor(std::int32_t motor, std::int32_t steps) override;
  bool MoveToPos(std::int32_t motor, std::int32_t position) override;  // shared
  bool WaitForMotor(std::int32_t motor) override;                      // shared
  bool MoveHome(std::int32_t motor) override;                          // shared
  bool ResetPosition(std::int32_t motor) override;
  bool Stop(std::int32_t motor) override;
  bool SetMotorMode(std::int32_t motor, std::int32_t mode) override;
  std::int32_t GetMotorMode(std::int32_t motor) override;
  bool SetMotorFreq(std::int32_t motor, std::int32_t frequency) override;
  std::int32_t GetMotorFreq(std::int32_t motor) override;
  std::int32_t GetLastError() override;  // shared
  std::int32_t GetMotorCount() override;

  // The body of MoveMotor without the motor range check. With `ignoreMotorBit` the command's
  // motor-select bit stays clear (the Polyax unit selects its motor by register instead).
  bool StartRelativeMove(std::int32_t motor, std::int32_t steps, bool ignoreMotorBit);

  // WaitForMotor, handing out the last status it read: the rest it ended on, or
  // eMotorStatusError; after the poll limit, whatever that last read showed.
  bool AwaitRest(std::int32_t motor, std::int32_t& lastStatus);

  // What the last move that started read before its command: the rest its status check found
  // and, unless it was a move of 0 steps, the position read just before the command with the
  // code that read left (a position of kNoPosition when it failed). An earlier move on the
  // motor ended in that rest at that position, so its completion needs no read of its own.
  struct StartReads {
    std::int32_t status = eMotorStopped;
    std::optional<std::int32_t> position;
    LinkStatus positionCode = LinkStatus::eErrorNoError;
  };
  const StartReads& LastStartReads() const noexcept { return lastStart_; }

  // One status serves both motors of a two-motor unit: a status read speaks for either motor.
  // The Polyax unit reads each motor's status on its own.
  virtual bool OneStatusForAllMotors() const noexcept { return true; }

  // Wait limits of WaitForMotor: a 10 ms pause per poll, at most 12000 pauses.
  static constexpr std::uint32_t kPollPauseMs = 10;
  static constexpr int kWaitPollLimit = 12000;

 protected:
  EzUsbLink& link_;
  std::int32_t mode_ = 2;
  DeviceLock& lock_;

 private:
  StartReads lastStart_;
};

}  // namespace zel
