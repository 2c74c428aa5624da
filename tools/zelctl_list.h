// zelctl --usb --list: the units a USB backend sees, one line each.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/unit_numbering.h"

namespace zel::zelctl {

// What the machine lets the backend see, for the hint when nothing or a refused unit is found.
struct ListHints {
  bool usbfsMissing = false;  // no usbfs: no unit can be reached at all
  std::string refused;        // the remedy for a unit refused to this user
};

// Prints each unit as "DEVICE  MODEL  PORT  STATE", or one line saying that none was found and
// why that may be; then the remedy when a unit was refused.
void PrintUnitList(const std::vector<ListedUnit>& units, const ListHints& hints, std::ostream& out);

}  // namespace zel::zelctl
