// A control of any of the three classes, chosen at run time by its class name: the instrument
// shell and the C library create their controls here.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <variant>

#include "controls/control_environment.h"

namespace zel {

class OrvaneControl;
class KestrinControl;
class PolyaxControl;

enum class ControlKind { kOrvane, kKestrin, kPolyax };

// "orvane", "kestrin", "polyax" and back; names are lower case and matched exactly.
const char* KindName(ControlKind kind) noexcept;
std::optional<ControlKind> KindFromName(std::string_view name);

using AnyControl = std::variant<std::unique_ptr<OrvaneControl>, std::unique_ptr<KestrinControl>,
                                std::unique_ptr<PolyaxControl>>;

// A new control of `kind`: it searches, boots and selects a unit as it is built, and exists
// whether or not it found one. `environment.driver` must outlive it.
AnyControl MakeControl(ControlKind kind, const ControlEnvironment& environment);

}  // namespace zel
