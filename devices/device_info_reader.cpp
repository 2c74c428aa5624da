// The EEPROM mailbox and version exchanges.
#include "devices/device_info_reader.h"

#include <algorithm>
#include <cstring>

#include "devices/busy_poll.h"
#include "devices/unit_info_registers.h"

namespace zel {

namespace ui = unit_info;

std::int32_t DeviceInfoReader::GetMailboxState() {
  DeviceLockGuard guard(lock_);
  const std::uint8_t state = link_.ReadByte(ui::kMailbox);
  if (state == ui::kMailboxIdle) return 0;
  return state == ui::kReadEeprom ? 2 : 1;
}

bool DeviceInfoReader::WaitMailboxIdle() {
  DeviceLockGuard guard(lock_);
  return WaitWhileBusy(link_, kMailboxPauseLimit, [this] { return GetMailboxState() != 0; });
}

bool DeviceInfoReader::ReadEeprom(std::uint8_t* buffer, std::int32_t length,
                                  std::uint16_t address) {
  DeviceLockGuard guard(lock_);
  if (GetMailboxState() != 0) return false;
  if (length <= 0) return true;
  std::memset(buffer, 0, static_cast<std::size_t>(length));
  while (length > 0) {
    const std::int32_t chunk = std::min(length, ui::kMailboxChunk);
    std::uint8_t start[2];
    ezusb::Put16(start, address);
    if (!WaitMailboxIdle()) return false;
    if (!link_.WriteByte(static_cast<std::uint8_t>(chunk), ui::kMailboxCount)) return false;
    if (!link_.WriteMemory(start, sizeof start, ui::kMailboxAddress)) return false;
    if (!link_.WriteByte(ui::kReadEeprom, ui::kMailbox)) return false;
    if (!WaitMailboxIdle()) return false;
    const std::int32_t read = link_.ReadMemory(buffer, chunk, ui::kMailboxData);
    if (read == 0 || read == -1) return false;
    buffer += chunk;
    address = static_cast<std::uint16_t>(address + chunk);
    length -= chunk;
  }
  return true;
}

std::string DeviceInfoReader::ReadSerialNumber() {
  DeviceLockGuard guard(lock_);
  // An unreadable marker stays 0 and the serial number is looked for at the plain offset.
  std::uint8_t marker = 0;
  ReadEeprom(&marker, 1, ui::kMarkerAddress);
  const std::uint16_t address =
      marker == ui::kImageMarker ? ui::kSerialAddressAfterImage : ui::kSerialAddress;
  char text[ui::kSerialLength + 1] = {};
  if (!ReadEeprom(reinterpret_cast<std::uint8_t*>(text), ui::kSerialLength, address)) return {};
  return std::string(text);
}

std::int32_t DeviceInfoReader::ReadFirmwareMajor() {
  DeviceLockGuard guard(lock_);
  return link_.ReadByte(ui::kVersionMajor);
}

std::int32_t DeviceInfoReader::ReadFirmwareMinor() {
  DeviceLockGuard guard(lock_);
  return link_.ReadByte(ui::kVersionMinor);
}

}  // namespace zel
