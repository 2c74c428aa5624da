#include "link/link_status.h"

#include <array>

namespace zel {

namespace {
// Indexed directly by the status value. Values 0 to 4 capitalise every word, 5 to 14 only the
// first: clients compare these texts, so they stay exactly as they are.
constexpr std::array<const char*, kLinkStatusCount> kMessages = {
    "No Error",
    "No Device",
    "Invalid Firmware",
    "Corrupt Firmware",
    "No Firmware",
    "File not found",
    "Error reading data",
    "Error reading single data",
    "Error writing data",
    "Error writing single data",
    "No device descriptor",
    "No device response",
    "No motor present",
    "Motor communication error",
    "Device busy",
};
static_assert(kMessages.size() == static_cast<std::size_t>(LinkStatus::eErrorDeviceBusy) + 1);
}  // namespace

const char* StatusMessage(LinkStatus code) noexcept {
  auto index = static_cast<std::int32_t>(code);
  if (index < 0 || index >= kLinkStatusCount) return "";
  return kMessages[static_cast<std::size_t>(index)];
}

}  // namespace zel
