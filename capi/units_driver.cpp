#include "capi/units_driver.h"

#ifdef _WIN32
#include "platform/driver_win32.h"
#elif defined(ZEL_HAVE_LIBUSB)
#include "platform/driver_libusb.h"
#endif

namespace zel::capi {
namespace {

std::shared_ptr<Driver> Start([[maybe_unused]] std::string& why) {
#ifdef _WIN32
  return std::make_shared<Win32Driver>();
#elif defined(ZEL_HAVE_LIBUSB)
  return LibusbDriver::Start(why);
#else
  why = "this library was built without libusb-1.0";
  return nullptr;
#endif
}

}  // namespace

std::shared_ptr<Driver> UnitsDriver::Get() {
  std::lock_guard lock(mutex_);
  if (!driver_) {
    why_.clear();
    driver_ = Start(why_);
  }
  return driver_;
}

std::string UnitsDriver::Why() const {
  std::lock_guard lock(mutex_);
  return why_;
}

}  // namespace zel::capi
