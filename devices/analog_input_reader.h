// The Orvane unit's analogue inputs: one conversion fills every channel's result register.
#pragma once

#include <cstdint>

#include "devices/device_lock.h"
#include "link/ez_usb_link.h"

namespace zel {

// An analogue reading that could not be obtained.
inline constexpr std::int32_t kNoReading = 0x7FFFFFFF;

class AnalogInputReader {
 public:
  AnalogInputReader(EzUsbLink& link, DeviceLock& lock) noexcept : link_(link), lock_(lock) {}

  // The conversion trigger reads non-zero. A failed read counts as idle.
  bool IsConversionBusy();
  // Writes the trigger twice; the second write decides.
  bool StartConversion();
  // At most 2000 pauses of 10 ms, then "No device response".
  bool WaitConversion();
  // A fresh conversion's raw result for `channel`, 0 to 65534, or kNoReading. Refuses at once,
  // without writing, while another conversion runs.
  std::int32_t ReadChannelRaw(std::int32_t channel);
  // The raw result as a double (kNoReading gives 2147483647.0); no scaling.
  double ReadChannel(std::int32_t channel);

  static constexpr int kConversionPauseLimit = 2000;

 private:
  EzUsbLink& link_;
  DeviceLock& lock_;
};

}  // namespace zel
