// The motor part of the firmware protocol, as the automation members see it: fourteen
// operations in a fixed slot order, implemented by DualMotorController (Orvane, Kestrin) and
// PolyaxController. Motor numbers, steps, positions, modes and frequencies are signed 32-bit.
#pragma once

#include <cstdint>

namespace zel {

enum EMotorStatus : std::int32_t {
  eMotorStopped = 0,
  eMotorRunning = 1,
  eMotorEndForward = 2,   // stopped at the forward end switch
  eMotorEndBackward = 3,  // stopped at the backward end switch
  eMotorStatusError = 4,  // the unit did not answer
};

// An unreadable position (and analogue reading).
inline constexpr std::int32_t kNoPosition = 0x7FFFFFFF;

class MotorController {
 public:
  virtual ~MotorController() = default;

  virtual std::int32_t GetMotorStatus(std::int32_t motor) = 0;                // slot 0
  virtual std::int32_t GetMotorPosition(std::int32_t motor) = 0;              // slot 1
  virtual bool MoveMotor(std::int32_t motor, std::int32_t steps) = 0;         // slot 2
  virtual bool MoveToPos(std::int32_t motor, std::int32_t position) = 0;      // slot 3
  virtual bool WaitForMotor(std::int32_t motor) = 0;                          // slot 4
  virtual bool MoveHome(std::int32_t motor) = 0;                              // slot 5
  virtual bool ResetPosition(std::int32_t motor) = 0;                         // slot 6
  virtual bool Stop(std::int32_t motor) = 0;                                  // slot 7
  virtual bool SetMotorMode(std::int32_t motor, std::int32_t mode) = 0;       // slot 8
  virtual std::int32_t GetMotorMode(std::int32_t motor) = 0;                  // slot 9
  virtual bool SetMotorFreq(std::int32_t motor, std::int32_t frequency) = 0;  // slot 10
  virtual std::int32_t GetMotorFreq(std::int32_t motor) = 0;                  // slot 11
  virtual std::int32_t GetLastError() = 0;                                    // slot 12
  virtual std::int32_t GetMotorCount() = 0;                                   // slot 13
};

}  // namespace zel
