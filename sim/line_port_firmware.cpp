// The line-port firmware of the Orvane and Polyax units: sixteen on/off lines in two ports.
#include <array>

#include "devices/line_port_registers.h"
#include "sim/firmware_models.h"

namespace zel::sim {

namespace {

namespace lp = line_port;

class LinePort final : public Peripheral {
 public:
  explicit LinePort(const UnitConfig& unit) : busyMicros_(unit.lineBusyMicros) {
    for (const auto& [line, value] : unit.lines)
      if (lp::IsLine(line) && value != 0) ports_[lp::PortOf(line) - 1] |= lp::MaskOf(line);
  }

  void Start(Memory& memory, std::uint64_t) override { memory[lp::kCommand] = lp::kIdle; }

  void Advance(Memory& memory, std::uint64_t now) override {
    if (command_ != lp::kIdle && now >= doneAt_) Finish(memory);
  }

  // A command is staged when its command byte arrives; the command byte stays in the register,
  // showing the port busy, until the firmware is done. Writes of the command byte while busy
  // (the host sends it twice, each time in two requests) change nothing.
  void OnHostWrite(Memory& memory, std::uint16_t address, std::uint32_t length,
                   std::uint64_t now) override {
    if (!Touches(address, length, lp::kCommand)) return;
    if (command_ != lp::kIdle) {
      memory[lp::kCommand] = command_;
      return;
    }
    const std::uint8_t command = memory[lp::kCommand];
    if (command != lp::kReadLine && command != lp::kWriteLine) {
      memory[lp::kCommand] = lp::kIdle;  // nothing the firmware knows: dropped at once
      return;
    }
    command_ = command;
    port_ = memory[lp::kPort];
    mask_ = memory[lp::kMask];
    value_ = memory[lp::kValue];
    doneAt_ = now + busyMicros_;
    if (busyMicros_ == 0) Finish(memory);
  }

 private:
  void Finish(Memory& memory) {
    // A port number other than 1 or 2 addresses no line: reads give off, writes do nothing.
    const bool known = port_ == 1 || port_ == 2;
    std::uint8_t& bits = ports_[known ? port_ - 1 : 0];
    if (command_ == lp::kReadLine) {
      memory[lp::kValue] = known && (bits & mask_) != 0 ? 1 : 0;
    } else if (known) {
      bits = static_cast<std::uint8_t>(value_ != 0 ? bits | mask_ : bits & ~mask_);
    }
    command_ = lp::kIdle;
    memory[lp::kCommand] = lp::kIdle;
  }

  const std::uint64_t busyMicros_;
  std::array<std::uint8_t, 2> ports_{};
  std::uint8_t command_ = lp::kIdle;
  std::uint8_t port_ = 0, mask_ = 0, value_ = 0;
  std::uint64_t doneAt_ = 0;
};

}  // namespace

void AddLinePort(Firmware& firmware, const UnitConfig& unit) {
  firmware.Add(std::make_unique<LinePort>(unit));
}

}  // namespace zel::sim
