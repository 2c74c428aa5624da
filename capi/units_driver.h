// The driver of the units attached to the machine, started by the first control created on them
// and kept for the rest of the process, so a unit keeps its device number: the Cypress driver
// on Windows, libusb on Linux.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/driver.h"

namespace zel::capi {

class UnitsDriver {
 public:
  // The driver; null when it cannot start (Why() says why).
  std::shared_ptr<Driver> Get();
  // Why the last start failed; "" when it did not.
  std::string Why() const;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<Driver> driver_;
  std::string why_;
};

}  // namespace zel::capi
