// The status code of a device link: how the most recent operation on it ended.
#pragma once

#include <cstdint>

namespace zel {

// The system's one error vocabulary below the automation layer. Values 4, 7 and 9 have a name
// and a message but nothing stores them.
enum class LinkStatus : std::int32_t {
  eErrorNoError = 0,
  eErrorNoDevice = 1,
  eErrorIHexFileFormat = 2,
  eErrorIHexFileCorrupt = 3,
  eErrorNoFirmware = 4,
  eErrorFileNotFound = 5,
  eErrorDataRead = 6,
  eErrorSingleDataRead = 7,
  eErrorDataWrite = 8,
  eErrorSingleDataWrite = 9,
  eErrorNoDeviceDescriptor = 10,
  eErrorNoDeviceResponse = 11,
  eErrorNoMotorPresent = 12,
  eErrorNoMotorCommunication = 13,
  eErrorDeviceBusy = 14,
};

inline constexpr int kLinkStatusCount = 15;

// The fixed message of a status value, valid for the life of the program. A value outside
// 0..14 (never stored by the system) gives "".
const char* StatusMessage(LinkStatus code) noexcept;

// The type library's published error enumeration. It has no member for link values 4 and 14,
// so from eErrorFileNotFound on it counts one lower than LinkStatus. LastError hands out the
// LinkStatus value untranslated; this set exists for the type library alone.
enum class EUSBError : std::int32_t {
  eErrorNoError = 0,
  eErrorNoDevice = 1,
  eErrorIHexFileFormat = 2,
  eErrorIHexFileCorrupt = 3,
  eErrorFileNotFound = 4,
  eErrorDataRead = 5,
  eErrorSingleDataRead = 6,
  eErrorDataWrite = 7,
  eErrorSingleDataWrite = 8,
  eErrorNoDeviceDescriptor = 9,
  eErrorNoDeviceResponse = 10,
  eErrorNoMotorPresent = 11,
  eErrorNoMotorCommunication = 12,
};

}  // namespace zel
