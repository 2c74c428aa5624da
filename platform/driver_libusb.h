// Real units on Linux: the driver seam served over libusb-1.0 and the kernel's usbfs.
//
// Device names are those of the Cypress driver, "\\.\ezusb-N". The attached devices of
// vendor 0x5A45 (any product) are numbered by the shared UnitNumbering: a unit gets the lowest
// number never given when first seen (units present together in the order of bus and port
// path), and that number stays with its port and product. An earlier unit unplugged, or a
// unit plugged into a lower port, moves no other unit's number; a unit replugged into its port
// answers at its number again. The bus is read again when an open asks for a number no unit
// present has, and after an open failed; when the unit found gone is back at its port with a
// new address, that open tries it once.
//
// The three control codes become one control transfer each (platform/usb_control.h). The
// bytes returned are the count transferred. A stall, a timeout, a disconnect or any other
// control code fails the request.
//
// Open opens the device and claims interface 0; the kernel lets one claim stand at a time, so a
// unit open in this process or another cannot be opened again until it is closed. Close
// releases and closes. Sleep pauses in real time. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "platform/unit_numbering.h"

struct libusb_context;
struct libusb_device;

namespace zel {

class LibusbDriver final : public Driver {
 public:
  static constexpr std::uint32_t kDefaultTimeoutMs = 1000;

  // Starts libusb, loading libusb-1.0 on the first start; nullptr with `error` set when it
  // cannot start (libusb-1.0 not installed, no usbfs, no hotplug monitor).
  // `timeoutMs` bounds every control transfer.
  static std::unique_ptr<LibusbDriver> Start(std::string& error,
                                             std::uint32_t timeoutMs = kDefaultTimeoutMs);
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  // Why an open found a unit but could not use it.
  enum class Refusal {
    kAccess,        // the operating system refuses the unit to this user
    kUnconfigured,  // the unit has no active configuration (a hub short of power, say)
  };
  // Called, outside the driver's lock, on every open refused for one of those reasons: always
  // the same callable, so it may keep state (say, to report once). `device` is the device
  // name, `where` the unit's bus and port path ("1-2.3").
  void OnRefused(
      std::function<void(Refusal reason, const std::string& device, const std::string& where)>
          report);

  // The units attached now in number order (any without a number last), each tried for an
  // open, after reading the bus again.
  std::vector<ListedUnit> List();

  // The usbfs folder the kernel serves units through; without it no unit can be reached.
  static bool UsbfsPresent();

  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

 private:
  struct Unit {
    libusb_device* device;  // one reference held while listed
    std::string where;      // bus and port path
    std::uint16_t productId;
    int number;  // -1: seen after all numbers were given
  };
  using RefusalReport = std::function<void(Refusal, const std::string&, const std::string&)>;

  LibusbDriver(libusb_context* context, std::uint32_t timeoutMs) noexcept;
  void Enumerate();                    // with mutex_ held
  const Unit* Find(int number) const;  // with mutex_ held
  void Release(std::vector<Unit>& units) noexcept;

  libusb_context* const context_;
  const unsigned timeoutMs_;
  std::mutex mutex_;
  UnitNumbering numbering_;
  std::vector<Unit> units_;  // present, in bus and port order
  std::shared_ptr<RefusalReport> refused_;
};

}  // namespace zel
