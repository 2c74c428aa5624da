// The firmware's busy bytes (conversion, actuator, mailbox) are polled the same way: read,
// pause 10 ms, read again, until the byte clears or the pause limit is spent.
#pragma once

#include <cstdint>

#include "link/ez_usb_link.h"

namespace zel {

inline constexpr std::uint32_t kBusyPollPauseMs = 10;

// Polls `isBusy` until it reports false. A read after which the link reports an error ends the
// wait as a failure with the link's code: a failed read yields 0, which must not pass for
// "done". After `pauseLimit` pauses the next one ends the wait with "No device response"; the
// busy byte is thus read at most pauseLimit + 1 times, with as many pauses.
template <typename IsBusy>
bool WaitWhileBusy(EzUsbLink& link, int pauseLimit, IsBusy isBusy) {
  for (int pauses = 0;;) {
    const bool busy = isBusy();
    if (link.GetStatus() != LinkStatus::eErrorNoError) return false;
    if (!busy) return true;
    link.Pause(kBusyPollPauseMs);
    if (++pauses > pauseLimit) {
      link.SetStatus(LinkStatus::eErrorNoDeviceResponse);
      return false;
    }
  }
}

}  // namespace zel
