// zelctl's command line:
//
//   zelctl [--bench FILE] [--live] [--trace FILE] [--firmware-dir DIR] CLASS [-c CALLS]
//   zelctl --usb [--trace FILE] [--firmware-dir DIR] CLASS [-c CALLS]
//   zelctl --usb --list
//
// Options may stand in any order around CLASS and may be written --name=value too.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/zelctl_members.h"

namespace zel::zelctl {

struct Options {
  std::optional<std::string> bench;         // JSON bench description; none: the platform driver
  bool usb = false;                         // the units attached to this machine
  bool list = false;                        // with usb: list the units instead of a session
  bool live = false;                        // the bench on real time instead of virtual time
  std::optional<std::string> trace;         // file for the driver operations
  std::string firmwareDirectory;            // "": beside the executable
  ControlKind kind = ControlKind::kOrvane;  // the class of the first control
  std::optional<std::string> calls;         // -c; none: standard input
  bool help = false;                        // --help / -h: print the usage and stop
};

// The options of `args` (without the program name), or nullopt with `error` set.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The usage text, ending in a newline.
const char* UsageText() noexcept;

}  // namespace zel::zelctl
