// Real units on current Windows: the driver seam served through WinUSB.
//
// Units are the present USB devices of vendor 0x5A45 that SetupAPI lists under the USB device
// interface class, whatever bound WinUSB to them (the INF of examples/windows, or Device
// Manager's generic "WinUsb Device"). Each gets its device number from a UnitNumbering: the
// port key is the device instance path (which Windows derives from the hub port for a unit
// without a serial number), with the product ID from the interface path; units present together
// are numbered in the numeric order of their hub ports. The list is read again
// when an open asks for a number whose unit is not listed (one that left, or the next number to
// give), and a unit that fails to open is dropped from it, so its next open reads it again.
//
// Open opens the interface path exclusively and overlapped, as WinUSB requires, binds WinUSB
// to it and gives control transfers a timeout of 1000 ms (where WinUSB refuses that policy, the
// pipe keeps its default of 5 s and the open stands). A unit bound to another driver (WinUSB
// refuses it) fails to open like an absent one, and a unit open in this process is not opened
// again. The three control codes become the control transfers of platform/usb_control.h, the
// device descriptor through WinUsb_GetDescriptor. WinUSB takes at most 4096 bytes in one
// control transfer, so the memory request 0xA0 goes in pieces, each at the address where the
// last one ended, and returns their sum. A stall, a timeout, a unit gone or any other control
// code fails the request.
//
// winusb.dll is loaded from the system folder on the first open, so the library loads on a
// system without it (where every open here fails). Handles are negative numbers below -1: never
// a kernel handle, so a driver that also opens files can tell them apart (OwnsHandle). Each
// session of a unit has a handle of its own, so a handle used after its Close fails and never
// reaches the unit's next session. List reports a unit that another program holds (Windows
// answers access denied) as in use. Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "platform/unit_numbering.h"

namespace zel {

class WinUsbDriver final : public Driver {
 public:
  static constexpr std::uint32_t kTimeoutMs = 1000;
  static constexpr std::uint32_t kMaxControlData = 4096;

  WinUsbDriver();
  ~WinUsbDriver() override;
  WinUsbDriver(const WinUsbDriver&) = delete;
  WinUsbDriver& operator=(const WinUsbDriver&) = delete;

  // Whether `handle` is one this driver's Open returns.
  static bool OwnsHandle(DriverHandle handle) noexcept;

  // The units attached now, in device-number order, after reading the list again; each is
  // opened for a moment to learn whether it can be opened (a unit open in this process is in
  // use without asking).
  std::vector<ListedUnit> List();

  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

 private:
  struct Api;  // winusb.dll's functions, once loaded
  struct Session {
    void* file = nullptr;          // the interface path's file handle; nullptr when closed
    void* usb = nullptr;           // WinUSB's interface handle over it
    std::uint32_t generation = 0;  // sessions of this unit so far, modulo a bound
    std::atomic<DriverHandle> handle{kNoDriverHandle};  // this session's; none when closed
  };

  // A unit the list holds: its port key, product, interface path and number (-1: none left).
  struct Found {
    std::string port;
    std::uint16_t productId = 0;
    std::wstring path;
    int number = -1;
  };

  const Api* LoadApi() noexcept;   // with mutex_ held
  std::vector<Found> Enumerate();  // with mutex_ held; numbers the units and fills listed_
  // Opens `path` and binds WinUSB to it into `session`: 0, or the Win32 error of the failure
  // (kNotWinUsb when WinUSB refuses the device).
  static unsigned long OpenPath(const Api& api, const std::wstring& path,
                                Session& session) noexcept;
  static void CloseSession(const Api& api, Session& session) noexcept;

  std::mutex mutex_;
  std::unique_ptr<Api> api_;
  bool apiTried_ = false;
  UnitNumbering numbering_;
  std::wstring listed_[UnitNumbering::kMaxNumbers];  // interface paths; empty: not listed now
  Session open_[UnitNumbering::kMaxNumbers];
};

}  // namespace zel
