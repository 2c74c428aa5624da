#include "sim/firmware_models.h"

namespace zel::sim {

void AddUnitInfo(Firmware&, const UnitConfig&) {}

}  // namespace zel::sim
