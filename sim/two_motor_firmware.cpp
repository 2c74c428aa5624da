#include "sim/firmware_models.h"

namespace zel::sim {

void AddTwoMotorMotion(Firmware&, const UnitConfig&) {}

}  // namespace zel::sim
