#pragma once

#include "sim/firmware.h"

namespace zel::sim {

// Every model's firmware counts the byte at 0x1D10 up every 250 ms while it runs, so two reads
// 500 ms apart always differ.
class Heartbeat final : public Peripheral {
 public:
  static constexpr std::uint64_t kPeriodMicros = 250'000;
  void Start(Memory& memory, std::uint64_t now) override;
  void Advance(Memory& memory, std::uint64_t now) override;

 private:
  std::uint64_t startedAt_ = 0;
};

}  // namespace zel::sim
