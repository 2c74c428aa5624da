// The digital-line port: single on/off lines that the unit's firmware switches and reads (the
// Polyax shutters, the Orvane undervoltage detection). Nothing is cached; every operation asks
// the unit, under the control class's device lock.
#pragma once

#include <cstdint>

#include "devices/device_lock.h"
#include "link/ez_usb_link.h"

namespace zel {

class DigitalLinePort {
 public:
  DigitalLinePort(DeviceLock& lock, EzUsbLink& link) noexcept : lock_(lock), link_(link) {}

  // The line's value, true for on; false also when the operation fails (the reason is in the
  // link's status: 14 when the firmware is still busy at the start, 11 when it never finishes,
  // the link's own code when an exchange fails, unchanged for a line outside 0..15).
  bool ReadLine(std::int32_t line);
  // Switches the line; true once the firmware has carried the command out.
  bool WriteLine(std::int32_t line, bool on);

  // Whether the firmware is busy with a line command. A read that fails counts as busy (the
  // link's status says so), never as an idle port.
  bool IsLineBusy();
  // Waits, 10 ms per pause, until the firmware is idle: false with status 11 after 2000
  // pauses, or with the link's own code when a read fails.
  bool WaitLineIdle();

  static constexpr int kPollPauseLimit = 2000;

 private:
  enum class Command { kIdle, kBusy, kUnreadable };
  Command ReadCommandState();
  // Common start of both operations: the port must be idle and the line exist.
  bool ReadyFor(std::int32_t line);

  DeviceLock& lock_;
  EzUsbLink& link_;
};

}  // namespace zel
