#pragma once

#include <string>

#include "controls/control_environment.h"
#include "platform/module_path.h"

namespace zel {

// The environment's firmware directory with a trailing separator, or the module's directory.
inline std::string ResolveFirmwareDirectory(const ControlEnvironment& environment) {
  std::string directory = environment.firmwareDirectory;
  if (directory.empty()) return ModuleDirectory();
  if (directory.back() != '/' && directory.back() != '\\') directory += kPathSeparator;
  return directory;
}

}  // namespace zel
