// The driver every control of the library talks through: the Cypress driver in the product,
// the virtual bench in the simulator build.
#pragma once

#include "platform/driver.h"

namespace zel {

Driver& ModuleDriver();

}  // namespace zel
