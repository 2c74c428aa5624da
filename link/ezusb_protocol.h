// The EZ-USB chip registers the link uses, over the driver's requests and the USB identities
// (platform/ezusb_requests.h). Shared by the link and the virtual bench's chips.
#pragma once

#include <cstdint>

#include "platform/ezusb_requests.h"

namespace zel::ezusb {

// Chip registers.
inline constexpr std::uint16_t kCpucs = 0x7F92;      // write 1: hold the 8051 in reset; 0: run
inline constexpr std::uint16_t kHeartbeat = 0x1D10;  // changes at least every 500 ms while
                                                     // firmware runs

}  // namespace zel::ezusb
