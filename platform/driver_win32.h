// The driver on Windows: the Cypress general-purpose driver's device files where that driver
// is installed, WinUSB where it is not.
//
// Open tries the device file "\\.\ezusb-N" first, as always. Only when that name does not exist
// (not when it is busy or refused) does it open the WinUSB unit numbered N
// (driver_winusb_win32.h). Requests and Close go to whichever of the two gave the handle.
#pragma once

#include "platform/driver.h"
#include "platform/driver_winusb_win32.h"

namespace zel {

class Win32Driver final : public Driver {
 public:
  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

  // The units reached through WinUSB.
  WinUsbDriver& WinUsb() noexcept { return winusb_; }

 private:
  WinUsbDriver winusb_;
};

}  // namespace zel
