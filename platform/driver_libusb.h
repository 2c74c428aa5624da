// Real units on Linux: the driver seam served over libusb-1.0 and the kernel's usbfs.
//
// Device names are those of the Cypress driver, "\\.\ezusb-N". N is a unit's place in the
// attached USB devices of vendor 0x5A45 (any product), ordered by bus number and then by port
// path, so a unit keeps its number across a replug into the same port. The list is read again
// when an open asks for a number beyond it, and after an open failed (the unit may have left);
// when the unit it found gone is back at its port with a new address, that open tries it once.
//
// The three control codes become one control transfer each, with the EZ-USB core's own
// memory request 0xA0 for the two memory codes:
//   anchor download   host to device, wValue = start address, data = the output buffer;
//   vendor request    bRequest, wValue, wIndex, wLength of its 10-byte input buffer;
//                     device to host into the output buffer when the direction byte is 1,
//                     otherwise host to device with the output buffer's bytes;
//   device descriptor the standard GET_DESCRIPTOR of the 18-byte device descriptor.
// The bytes returned are the count transferred. A stall, a timeout, a disconnect or any other
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

struct libusb_context;
struct libusb_device;

namespace zel {

class LibusbDriver final : public Driver {
 public:
  static constexpr std::uint32_t kDefaultTimeoutMs = 1000;

  // Starts libusb; nullptr with `error` set when it cannot start (no usbfs, no hotplug monitor).
  // `timeoutMs` bounds every control transfer.
  static std::unique_ptr<LibusbDriver> Start(std::string& error,
                                             std::uint32_t timeoutMs = kDefaultTimeoutMs);
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  // Called, outside the driver's lock, when the operating system refuses a unit to this user.
  // `device` is the device name, `where` the unit's bus and port path ("1-2.3").
  void OnAccessDenied(
      std::function<void(const std::string& device, const std::string& where)> report);

  // The units in device-number order, as bus and port path ("1-2.3"), after reading the list
  // again.
  std::vector<std::string> Units();

  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

 private:
  struct Unit {
    libusb_device* device;  // one reference held while listed
    std::string where;      // bus and port path
  };

  LibusbDriver(libusb_context* context, std::uint32_t timeoutMs) noexcept;
  void Enumerate();  // with mutex_ held
  void Release(std::vector<Unit>& units) noexcept;

  libusb_context* const context_;
  const unsigned timeoutMs_;
  std::mutex mutex_;
  std::vector<Unit> units_;
  std::function<void(const std::string&, const std::string&)> accessDenied_;
};

}  // namespace zel
