// What a control needs from the process it lives in.
#pragma once

#include <string>

#include "platform/driver.h"

namespace zel {

struct ControlEnvironment {
  Driver& driver;  // the Cypress driver on Windows, or a bench
  // Where the firmware images lie, with its trailing separator; empty: beside the module file
  // named "ZELUSB.dll", or the executable (ModuleDirectory()).
  std::string firmwareDirectory;
};

}  // namespace zel
