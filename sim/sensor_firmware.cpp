#include "sim/firmware_models.h"

namespace zel::sim {

void AddOrvaneSensors(Firmware&, const UnitConfig&) {}

}  // namespace zel::sim
