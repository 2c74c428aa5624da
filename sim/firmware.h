// Firmware behaviour on the bench: what a unit's 8051 does with its memory while it runs.
//
// A model is a list of peripherals, each owning a group of registers (heartbeat, motors, line
// port, mailbox, ...). The bench brings every peripheral up to the current bench time before
// each host access (Advance), and tells them about each host write after it landed in memory
// (OnHostWrite). Peripherals only run while the chip's CPU runs with a complete image of its
// own model loaded; a chip held in reset, or without firmware, is plain memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/bench_config.h"

namespace zel::sim {

using Memory = std::array<std::uint8_t, 0x10000>;

class Peripheral {
 public:
  virtual ~Peripheral() = default;
  // The firmware starts: set up the registers this peripheral owns.
  virtual void Start(Memory&, std::uint64_t /*nowMicros*/) {}
  // Bring the peripheral's state forward to `nowMicros` (never earlier than the last call).
  virtual void Advance(Memory&, std::uint64_t /*nowMicros*/) {}
  // The host wrote `length` bytes from `address` on (already in memory).
  virtual void OnHostWrite(Memory&, std::uint16_t /*address*/, std::uint32_t /*length*/,
                           std::uint64_t /*nowMicros*/) {}
};

class Firmware {
 public:
  void Add(std::unique_ptr<Peripheral> peripheral) { parts_.push_back(std::move(peripheral)); }
  void Start(Memory& memory, std::uint64_t now) {
    for (auto& p : parts_) p->Start(memory, now);
  }
  void Advance(Memory& memory, std::uint64_t now) {
    for (auto& p : parts_) p->Advance(memory, now);
  }
  void OnHostWrite(Memory& memory, std::uint16_t address, std::uint32_t length,
                   std::uint64_t now) {
    for (auto& p : parts_) p->OnHostWrite(memory, address, length, now);
  }

 private:
  std::vector<std::unique_ptr<Peripheral>> parts_;
};

// True when a host write of [address, address + length) touches [reg, reg + width).
constexpr bool Touches(std::uint16_t address, std::uint32_t length, std::uint16_t reg,
                       std::uint32_t width = 1) noexcept {
  return address < reg + width && reg < address + length;
}

// The firmware of a unit's model, with the unit's settings.
std::unique_ptr<Firmware> MakeFirmware(const UnitConfig& unit);

}  // namespace zel::sim
