// What every unit tells about itself: the serial number in its boot EEPROM, read through the
// firmware's mailbox, and the firmware version bytes.
#pragma once

#include <cstdint>
#include <string>

#include "devices/device_lock.h"
#include "link/ez_usb_link.h"

namespace zel {

class DeviceInfoReader {
 public:
  DeviceInfoReader(EzUsbLink& link, DeviceLock& lock) noexcept : link_(link), lock_(lock) {}

  // 0 idle, 2 reading the EEPROM, 1 anything else (callers only tell 0 from the rest).
  std::int32_t GetMailboxState();
  // At most 512 pauses of 10 ms, then "No device response".
  bool WaitMailboxIdle();
  // `length` bytes from EEPROM address `address` into `buffer`, 8 bytes per exchange. Refuses
  // at once while the mailbox is busy; bytes read before a failure stay in `buffer`.
  bool ReadEeprom(std::uint8_t* buffer, std::int32_t length, std::uint16_t address);
  // At most 16 characters; "" when it cannot be read.
  std::string ReadSerialNumber();
  // 0 when the byte cannot be read.
  std::int32_t ReadFirmwareMajor();
  std::int32_t ReadFirmwareMinor();

  static constexpr int kMailboxPauseLimit = 512;

 private:
  EzUsbLink& link_;
  DeviceLock& lock_;
};

}  // namespace zel
