// The motion firmware of the two-motor units (Orvane, Kestrin): two motors behind one command,
// stop, status, speed and step-count register, with a position register each.
#include <array>

#include "devices/dual_motor_registers.h"
#include "link/ezusb_protocol.h"
#include "sim/firmware_models.h"
#include "sim/motor_axis.h"

namespace zel::sim {

namespace {

namespace dm = dual_motor;

constexpr std::uint16_t kPositionRegister[2] = {dm::kPositionMotor1, dm::kPositionMotor2};
constexpr std::uint8_t kRunningFlag[2] = {0x01, 0x02};

std::int32_t Read32(const Memory& memory, std::uint16_t address) {
  return static_cast<std::int32_t>(ezusb::Get32(&memory[address]));
}

class TwoMotorMotion final : public Peripheral {
 public:
  explicit TwoMotorMotion(const UnitConfig& unit)
      : axes_{MotorAxis(InitialPosition(unit, 0), unit.limits),
              MotorAxis(InitialPosition(unit, 1), unit.limits)},
        divider_(unit.speedDivider) {}

  void Start(Memory& memory, std::uint64_t) override {
    memory[dm::kMoveCommand] = 0;
    memory[dm::kStopRequest] = 0;
    ezusb::Put16(&memory[dm::kSpeedDivider], divider_);
    Publish(memory);
  }

  void Advance(Memory& memory, std::uint64_t now) override {
    for (auto& axis : axes_) axis.Advance(now);
    Publish(memory);
  }

  void OnHostWrite(Memory& memory, std::uint16_t address, std::uint32_t length,
                   std::uint64_t now) override {
    if (Touches(address, length, dm::kSpeedDivider, 2)) {
      // The step timer takes its new reload value with the next step.
      const std::uint64_t period = StepPeriodMicros(ezusb::Get16(&memory[dm::kSpeedDivider]));
      for (auto& axis : axes_) axis.SetPeriod(period, now);
    }
    for (int m = 0; m < 2; ++m)
      if (Touches(address, length, kPositionRegister[m], 4))
        axes_[m].SetPosition(Read32(memory, kPositionRegister[m]));
    if (Touches(address, length, dm::kStopRequest)) {
      if (memory[dm::kStopRequest] == 1)
        for (auto& axis : axes_) axis.Stop(now);
      memory[dm::kStopRequest] = 0;
    }
    if (Touches(address, length, dm::kMoveCommand)) TakeCommand(memory, now);
    Publish(memory);
  }

 private:
  static std::int32_t InitialPosition(const UnitConfig& unit, std::size_t motor) {
    return motor < unit.positions.size() ? unit.positions[motor] : 0;
  }

  // The firmware takes the command byte off the register as it starts the move, and drops a
  // command for a motor that is already under way. The host writes every register twice, in
  // two identical requests at the same instant (bench time only moves while the host pauses),
  // and may send the command byte once more right after reading the status: the first copy
  // starts the move and finds the motor resting, every later copy finds it running, so a move
  // runs its steps once. (A move that ends at once, against a pressed switch, ends the same way
  // however often it is repeated.)
  void TakeCommand(Memory& memory, std::uint64_t now) {
    const std::uint8_t command = memory[dm::kMoveCommand];
    memory[dm::kMoveCommand] = 0;
    if ((command & dm::kCommandMove) == 0) return;
    // Bits 1..0 (the mode) set the driver's step resolution; the bench counts steps alike.
    const int motor = (command & dm::kCommandMotor2) ? 1 : 0;
    MotorAxis& axis = axes_[motor];
    if (axis.Running()) return;
    axis.Move(Read32(memory, dm::kStepCount),
              StepPeriodMicros(ezusb::Get16(&memory[dm::kSpeedDivider])), now);
    shown_ = motor;
  }

  // Bits 0 and 1: motor 1 or 2 under way. Bits 6 and 7: the end switches of the motor that
  // the last move command addressed (one status byte serves both motors).
  void Publish(Memory& memory) const {
    std::uint8_t flags = 0;
    for (int m = 0; m < 2; ++m) {
      ezusb::Put32(&memory[kPositionRegister[m]], static_cast<std::uint32_t>(axes_[m].Position()));
      if (axes_[m].Running()) flags |= kRunningFlag[m];
    }
    if (axes_[shown_].AtForwardEnd()) flags |= dm::kFlagEndForward;
    if (axes_[shown_].AtBackwardEnd()) flags |= dm::kFlagEndBackward;
    memory[dm::kStatusFlags] = flags;
  }

  std::array<MotorAxis, 2> axes_;
  std::uint16_t divider_;
  int shown_ = 0;
};

}  // namespace

void AddTwoMotorMotion(Firmware& firmware, const UnitConfig& unit) {
  firmware.Add(std::make_unique<TwoMotorMotion>(unit));
}

}  // namespace zel::sim
