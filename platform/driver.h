// The driver seam: the four operations through which the link reaches the outside world.
//
// On Windows these are the Cypress general-purpose driver's device files, reached through
// CreateFileA / DeviceIoControl / CloseHandle, and Sleep, or WinUSB where that driver is not
// installed (driver_win32.cpp). Everywhere else,
// and in every test, the virtual bench (sim/bench.h) stands in for the driver and the units.
// Every pause in the system goes through Sleep, so a bench on virtual time runs a two-minute
// poll limit in milliseconds.
#pragma once

#include <cstdint>

namespace zel {

// An open device. Opaque to the caller; kNoDriverHandle is the empty value.
using DriverHandle = std::intptr_t;
inline constexpr DriverHandle kNoDriverHandle = -1;

class Driver {
 public:
  virtual ~Driver() = default;

  // Opens the existing device file `name` ("\\.\ezusb-" followed by a device number) for
  // writing, exclusively: while one handle is open, a second Open of the same name fails.
  // Returns kNoDriverHandle when there is no such device, it is unplugged, or it is already
  // open. Does not block beyond the open itself.
  virtual DriverHandle Open(const char* name) noexcept = 0;

  // Issues one synchronous device control request on an open handle. `in`/`inSize` is the
  // input buffer, `out`/`outSize` the output buffer (for the anchor download the data to
  // write travels in the output buffer). `returned` is set to 0 before the call and to the
  // number of bytes the driver returned after it. Returns whether the request succeeded.
  virtual bool Request(DriverHandle handle, std::uint32_t code, const void* in,
                       std::uint32_t inSize, void* out, std::uint32_t outSize,
                       std::uint32_t& returned) noexcept = 0;

  // Closes a handle returned by Open. Closing kNoDriverHandle does nothing.
  virtual void Close(DriverHandle handle) noexcept = 0;

  // Pauses the calling thread for `milliseconds`, on whatever clock the driver keeps.
  virtual void Sleep(std::uint32_t milliseconds) noexcept = 0;
};

// Owns one open handle and closes it on every way out of a scope.
class DriverHandleGuard {
 public:
  DriverHandleGuard(Driver& driver, DriverHandle& handle) noexcept
      : driver_(driver), handle_(handle) {}
  ~DriverHandleGuard() {
    driver_.Close(handle_);
    handle_ = kNoDriverHandle;
  }
  DriverHandleGuard(const DriverHandleGuard&) = delete;
  DriverHandleGuard& operator=(const DriverHandleGuard&) = delete;

 private:
  Driver& driver_;
  DriverHandle& handle_;
};

}  // namespace zel
