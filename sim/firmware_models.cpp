// Which peripherals make up each model's firmware.
#include "sim/firmware_models.h"

#include "sim/heartbeat.h"

namespace zel::sim {

std::unique_ptr<Firmware> MakeFirmware(const UnitConfig& unit) {
  auto firmware = std::make_unique<Firmware>();
  firmware->Add(std::make_unique<Heartbeat>());
  AddUnitInfo(*firmware, unit);
  switch (unit.model) {
    case UnitModel::kOrvane:
      AddTwoMotorMotion(*firmware, unit);
      AddLinePort(*firmware, unit);
      AddOrvaneSensors(*firmware, unit);
      break;
    case UnitModel::kKestrin:
      AddTwoMotorMotion(*firmware, unit);
      break;
    case UnitModel::kPolyax:
      AddPolyaxMotion(*firmware, unit);
      AddLinePort(*firmware, unit);
      break;
  }
  return firmware;
}

}  // namespace zel::sim
