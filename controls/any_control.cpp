#include "controls/any_control.h"

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "link/ezusb_protocol.h"

namespace zel {

const char* KindName(ControlKind kind) noexcept {
  return ezusb::ProductOf(kind).key;
}

std::optional<ControlKind> KindFromName(std::string_view name) {
  for (ControlKind kind : {ControlKind::kOrvane, ControlKind::kKestrin, ControlKind::kPolyax})
    if (name == KindName(kind)) return kind;
  return std::nullopt;
}

AnyControl MakeControl(ControlKind kind, const ControlEnvironment& environment) {
  switch (kind) {
    case ControlKind::kOrvane:
      return std::make_unique<OrvaneControl>(environment);
    case ControlKind::kKestrin:
      return std::make_unique<KestrinControl>(environment);
    case ControlKind::kPolyax:
      break;
  }
  return std::make_unique<PolyaxControl>(environment);
}

}  // namespace zel
