// The Polyax motion firmware: 32 motor slots behind the single-motor staging registers and a
// command mailbox. Commands act on the selected motor only; staging registers change only
// through commands.
#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "devices/dual_motor_registers.h"
#include "devices/polyax_registers.h"
#include "link/ezusb_protocol.h"
#include "sim/firmware_models.h"
#include "sim/motor_axis.h"

namespace zel::sim {

namespace {

namespace dm = dual_motor;
namespace px = polyax;

constexpr std::size_t kSlots = px::kMotorCount;
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

bool Listed(const std::vector<int>& motors, std::size_t slot) {
  return std::find(motors.begin(), motors.end(), static_cast<int>(slot + 1)) != motors.end();
}

struct Slot {
  bool connected = true;
  bool faulty = false;
  std::optional<MotorAxis> axis;  // engaged for every slot
  std::uint16_t divider = 0;
  bool staged = false;  // a move taken by the stage command, waiting for the start command
  std::int32_t stagedSteps = 0;
};

class PolyaxMotion final : public Peripheral {
 public:
  explicit PolyaxMotion(const UnitConfig& unit)
      : commandMicros_(unit.commandsNeverComplete
                           ? kNever
                           // Never instantaneous: the host's repeated write of the command, at
                           // the same instant, must still find it running.
                           : std::max<std::uint64_t>(unit.commandMicros, 1)),
        divider_(unit.speedDivider) {
    for (std::size_t s = 0; s < kSlots; ++s) {
      Slot& slot = slots_[s];
      slot.connected = unit.motors.empty() || Listed(unit.motors, s);
      slot.faulty = Listed(unit.faultyMotors, s);
      slot.axis.emplace(s < unit.positions.size() ? unit.positions[s] : 0, unit.limits);
      slot.divider = unit.speedDivider;
    }
  }

  void Start(Memory& memory, std::uint64_t) override {
    memory[px::kMotorSelect] = 0;
    memory[px::kCommand] = px::kAnswerDone;
    memory[dm::kMoveCommand] = 0;
    memory[dm::kStopRequest] = 0;
    memory[dm::kStatusFlags] = 0;
    ezusb::Put16(&memory[dm::kSpeedDivider], divider_);
    ezusb::Put32(&memory[dm::kPosition], 0);
    busy_ = false;
  }

  void Advance(Memory& memory, std::uint64_t now) override {
    if (busy_ && doneAt_ <= now) {
      // Everything up to the command's end happens first, so it sees the motor as it was then.
      for (auto& slot : slots_) slot.axis->Advance(doneAt_);
      memory[px::kCommand] = Execute(memory, doneAt_);
      busy_ = false;
    }
    for (auto& slot : slots_) slot.axis->Advance(now);
  }

  void OnHostWrite(Memory& memory, std::uint16_t address, std::uint32_t length,
                   std::uint64_t now) override {
    if (!Touches(address, length, px::kCommand)) return;
    if (busy_) {
      memory[px::kCommand] = code_;  // the running command keeps its byte
      return;
    }
    code_ = memory[px::kCommand];
    if (code_ == px::kAnswerDone) return;
    selected_ = memory[px::kMotorSelect];
    busy_ = true;
    doneAt_ = commandMicros_ == kNever ? kNever : now + commandMicros_;
  }

 private:
  std::uint8_t Execute(Memory& memory, std::uint64_t at) {
    if (selected_ >= kSlots || !slots_[selected_].connected) return px::kAnswerNoMotor;
    Slot& slot = slots_[selected_];
    if (slot.faulty) return px::kAnswerMotorFault;
    MotorAxis& axis = *slot.axis;
    switch (code_) {
      case px::kGetStatus:
        memory[dm::kStatusFlags] = Flags(axis);
        break;
      case px::kGetPosition:
        ezusb::Put32(&memory[dm::kPosition], static_cast<std::uint32_t>(axis.Position()));
        break;
      case px::kGetDivider:
        ezusb::Put16(&memory[dm::kSpeedDivider], slot.divider);
        break;
      case px::kSetDivider:
        slot.divider = ezusb::Get16(&memory[dm::kSpeedDivider]);
        axis.SetPeriod(StepPeriodMicros(slot.divider), at);
        break;
      case px::kSetPosition:
        axis.SetPosition(static_cast<std::int32_t>(ezusb::Get32(&memory[dm::kPosition])));
        break;
      case px::kStop:
        axis.Stop(at);
        memory[dm::kStopRequest] = 0;
        break;
      case px::kStageMove: {
        // The control byte is taken off its register: a later stage command without a fresh
        // one stages nothing, so a move of 0 steps never replays an older count.
        const std::uint8_t control = memory[dm::kMoveCommand];
        memory[dm::kMoveCommand] = 0;
        slot.staged = (control & dm::kCommandMove) != 0;
        slot.stagedSteps = static_cast<std::int32_t>(ezusb::Get32(&memory[dm::kStepCount]));
        break;
      }
      case px::kStartMove:
        // The mode bits set the driver's step resolution; the bench counts steps alike. A
        // motor under way finishes its move and the staged one is dropped.
        if (slot.staged && !axis.Running())
          axis.Move(slot.stagedSteps, StepPeriodMicros(slot.divider), at);
        slot.staged = false;
        break;
      default:
        break;  // unknown commands finish without effect
    }
    return px::kAnswerDone;
  }

  static std::uint8_t Flags(const MotorAxis& axis) {
    if (axis.Running()) return 0x01;
    if (axis.AtForwardEnd()) return dm::kFlagEndForward;
    if (axis.AtBackwardEnd()) return dm::kFlagEndBackward;
    return 0;
  }

  const std::uint64_t commandMicros_;
  const std::uint16_t divider_;
  std::array<Slot, kSlots> slots_;
  bool busy_ = false;
  std::uint64_t doneAt_ = 0;
  std::uint8_t code_ = 0;
  std::size_t selected_ = 0;
};

}  // namespace

void AddPolyaxMotion(Firmware& firmware, const UnitConfig& unit) {
  firmware.Add(std::make_unique<PolyaxMotion>(unit));
}

}  // namespace zel::sim
