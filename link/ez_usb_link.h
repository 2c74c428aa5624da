// The device link: the system's only path to a unit's EZ-USB chip.
#pragma once

#include <array>
#include <cstdint>

#include "link/ezusb_protocol.h"
#include "link/link_status.h"
#include "platform/driver.h"

namespace zel {

class EzUsbLink {
 public:
  explicit EzUsbLink(Driver& driver) noexcept;
  ~EzUsbLink();
  EzUsbLink(const EzUsbLink&) = delete;
  EzUsbLink& operator=(const EzUsbLink&) = delete;

  // Enumeration over the device numbers 0 to 127 by the vendor/product/release filters
  // (0 matches anything). FindNextDevice continues after the current device number.
  bool FindFirstDevice() noexcept;
  bool FindNextDevice() noexcept;

  // The device's 18-byte descriptor, or nullptr with status 10 (or 1 when it cannot be opened).
  const std::array<std::uint8_t, ezusb::kDescriptorSize>* GetDeviceDescriptor() noexcept;

  // Writes `length` bytes at `address` with two identical driver requests; the result is the
  // second one's success. A negative length writes nothing (length 0).
  bool WriteMemory(const std::uint8_t* data, std::int32_t length, std::uint16_t address) noexcept;
  // Reads up to the low 16 bits of `length` bytes; the byte count read, 0 when the device
  // cannot be opened (or returned nothing), −1 when the request failed.
  std::int32_t ReadMemory(std::uint8_t* buffer, std::int32_t length,
                          std::uint16_t address) noexcept;
  bool WriteByte(std::uint8_t value, std::uint16_t address) noexcept;
  // 0 whenever no byte was read; GetStatus tells a 0 byte from a failure.
  std::uint8_t ReadByte(std::uint16_t address) noexcept;

  bool StartCpu() noexcept;
  bool IsFirmwareRunning() noexcept;
  bool DownloadHexFile(const char* path) noexcept;

  // The code of the most recent operation; 1 (and 0 stored) when the device cannot be opened now.
  LinkStatus GetStatus() noexcept;
  void SetStatus(LinkStatus code) noexcept { status_ = code; }
  // The code the most recent operation left, without GetStatus's probe of the device.
  LinkStatus StoredStatus() const noexcept { return status_; }

  bool DevicePresent() const noexcept { return devicePresent_; }
  std::int32_t DeviceIndex() const noexcept { return deviceIndex_; }
  void SetFilters(std::int32_t vendor, std::int32_t product, std::int32_t release) noexcept;

  // Pauses through the driver, so device objects run on the driver's clock.
  void Pause(std::uint32_t milliseconds) noexcept { driver_.Sleep(milliseconds); }

 private:
  bool Open() noexcept;
  bool Request(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
               std::uint32_t outSize, std::uint32_t& returned) noexcept;

  Driver& driver_;
  DriverHandle handle_ = kNoDriverHandle;
  std::array<std::uint8_t, ezusb::kDescriptorSize> descriptor_{};
  std::int32_t deviceIndex_ = 0;
  LinkStatus status_ = LinkStatus::eErrorNoError;
  std::int32_t vendorFilter_ = ezusb::kVendorId;
  std::int32_t productFilter_ = 0;
  std::int32_t releaseFilter_ = 0;
  bool devicePresent_ = false;
};

}  // namespace zel
