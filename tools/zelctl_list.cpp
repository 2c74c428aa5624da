#include "tools/zelctl_list.h"

#include <algorithm>
#include <cstdio>

#include "platform/ezusb_requests.h"

namespace zel::zelctl {

namespace {

std::string ModelOf(std::uint16_t product) {
  if (const ezusb::Product* known = ezusb::FindProduct(product)) return known->name;
  char text[24];
  std::snprintf(text, sizeof text, "product 0x%04X", product);
  return text;
}

const char* StateOf(ListedUnit::State state) {
  switch (state) {
    case ListedUnit::State::kReady:
      return "ready";
    case ListedUnit::State::kInUse:
      return "in use";
    case ListedUnit::State::kRefused:
      return "refused: no permission";
    case ListedUnit::State::kUnconfigured:
      return "unconfigured: check its power";
    case ListedUnit::State::kOtherDriver:
      return "bound to another driver";
  }
  return "?";
}

}  // namespace

void PrintUnitList(const std::vector<ListedUnit>& units, const ListHints& hints,
                   std::ostream& out) {
  if (units.empty()) {
    if (hints.usbfsMissing) {
      out << "no units: /dev/bus/usb is missing, so no USB device can be reached (in a "
             "container, pass the host's /dev/bus/usb in)\n";
    } else {
      out << "no units: no USB device of vendor 0x5A45 is attached\n";
    }
    return;
  }
  std::size_t width = 0;
  std::vector<std::string> names;
  for (const auto& unit : units) {
    names.push_back(unit.number < 0 ? "(no number)"
                                    : ezusb::kDeviceNamePrefix + std::to_string(unit.number));
    width = std::max(width, unit.port.size());
  }
  for (std::size_t k = 0; k < units.size(); ++k) {
    std::string port = units[k].port;
    port.resize(width, ' ');
    std::string model = ModelOf(units[k].productId);
    model.resize(std::max<std::size_t>(model.size(), 14), ' ');
    std::string name = names[k];
    name.resize(std::max<std::size_t>(name.size(), 13), ' ');
    out << name << ' ' << model << " USB " << port << "  " << StateOf(units[k].state) << '\n';
  }
  const bool refused = std::any_of(units.begin(), units.end(), [](const ListedUnit& unit) {
    return unit.state == ListedUnit::State::kRefused;
  });
  if (refused && !hints.refused.empty()) out << hints.refused << '\n';
}

}  // namespace zel::zelctl
