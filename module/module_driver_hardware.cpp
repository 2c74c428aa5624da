#include "module/module_driver.h"
#include "platform/driver_win32.h"

namespace zel {

Driver& ModuleDriver() {
  static Win32Driver driver;
  return driver;
}

}  // namespace zel
