// The three control classes side by side: one table, read by the controls and the COM module.
#pragma once

#include <cstdint>

#include "devices/device_lock.h"
#include "link/ezusb_protocol.h"

namespace zel {

struct ControlClass {
  const char* name;               // "OrvaneControl"
  const ezusb::Product* product;  // the link's product filter and the firmware image
  std::int32_t defaultSpeed;      // steps per second given to a unit whose speed reads 0
  DeviceLock DeviceLocks::*lock;  // the class's process-wide lock
  const char* drawText;           // drawn by the control in a form designer
  const char* friendlyName;       // registered with the class
};

inline constexpr ControlClass kOrvaneClass = {"OrvaneControl",
                                              ezusb::FindProduct(ezusb::kProductOrvane),
                                              750,
                                              &DeviceLocks::orvane,
                                              "ATL 7.0 : OrvaneControl",
                                              "ZEL Orvane-USB Control"};
inline constexpr ControlClass kKestrinClass = {"KestrinControl",
                                               ezusb::FindProduct(ezusb::kProductKestrin),
                                               500,
                                               &DeviceLocks::kestrin,
                                               "ATL 7.0 : KestrinControl",
                                               "ZEL Kestrin-USB Control"};
inline constexpr ControlClass kPolyaxClass = {"PolyaxControl",
                                              ezusb::FindProduct(ezusb::kProductPolyax),
                                              1400,
                                              &DeviceLocks::polyax,
                                              "ATL 7.0 : PolyaxControl",
                                              "ZEL Polyax-USB Control"};

inline DeviceLock& ClassLock(const ControlClass& cls) noexcept {
  return ClassLocks().*cls.lock;
}

}  // namespace zel
