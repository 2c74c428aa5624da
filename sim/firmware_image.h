// Tracks what was downloaded into a chip since its 8051 was last put into reset, and decides
// whether that is the complete firmware image of a model.
#pragma once

#include <cstdint>

#include "sim/bench_config.h"
#include "sim/firmware.h"

namespace zel::sim {

class ImageTracker {
 public:
  // The 8051 was put into reset: a new download begins.
  void OnReset() noexcept;
  // The host wrote [address, address + length) while the 8051 was held.
  void OnWrite(std::uint16_t address, std::uint32_t length) noexcept;
  // Whether memory now holds the complete image of `model`, written since the last reset.
  bool Bootable(const Memory& memory, UnitModel model) const noexcept;
};

}  // namespace zel::sim
