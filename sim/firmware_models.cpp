// Which peripherals make up each model's firmware.
#include "sim/firmware.h"
#include "sim/heartbeat.h"

namespace zel::sim {

std::unique_ptr<Firmware> MakeFirmware(const UnitConfig& unit) {
  auto firmware = std::make_unique<Firmware>();
  firmware->Add(std::make_unique<Heartbeat>());
  (void)unit;
  return firmware;
}

}  // namespace zel::sim
