#include "sim/firmware_models.h"

namespace zel::sim {

void AddPolyaxMotion(Firmware&, const UnitConfig&) {}

}  // namespace zel::sim
