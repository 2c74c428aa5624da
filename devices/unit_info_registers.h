// Register map of the unit information every model's firmware offers: the EEPROM mailbox and
// the firmware version bytes, and the layout of the serial number in the boot EEPROM. The
// firmware on the bench serves the same registers from this header.
#pragma once

#include <cstdint>

namespace zel::unit_info {

// Mailbox command and state, 1 byte. The host writes kReadEeprom; the firmware keeps the byte
// non-zero while it talks to the EEPROM and clears it when the bytes are in kMailboxData.
inline constexpr std::uint16_t kMailbox = 0x1C90;
inline constexpr std::uint8_t kMailboxIdle = 0;
inline constexpr std::uint8_t kReadEeprom = 2;
// Number of bytes of one exchange, 1 byte, 1 to kMailboxChunk.
inline constexpr std::uint16_t kMailboxCount = 0x1C93;
// EEPROM start address of one exchange, 2 bytes.
inline constexpr std::uint16_t kMailboxAddress = 0x1C94;
// The bytes read, up to kMailboxChunk of them.
inline constexpr std::uint16_t kMailboxData = 0x1C96;
inline constexpr std::int32_t kMailboxChunk = 8;

// Firmware version, 1 byte each.
inline constexpr std::uint16_t kVersionMajor = 0x1D12;
inline constexpr std::uint16_t kVersionMinor = 0x1D13;

// Boot EEPROM layout. Byte 0 is a marker; an EEPROM that also carries a firmware image
// (marker 0xB2) has the serial number 3 bytes further on. The serial number is text of at most
// 16 bytes, ended early by a zero byte.
inline constexpr std::uint16_t kMarkerAddress = 0;
inline constexpr std::uint8_t kImageMarker = 0xB2;
inline constexpr std::uint16_t kSerialAddress = 8;
inline constexpr std::uint16_t kSerialAddressAfterImage = 11;
inline constexpr std::int32_t kSerialLength = 16;

}  // namespace zel::unit_info
