#include "sim/firmware_models.h"

namespace zel::sim {

void AddLinePort(Firmware&, const UnitConfig&) {}

}  // namespace zel::sim
