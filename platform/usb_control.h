// The USB control transfer each driver request stands for, for the backends that reach the
// units over USB themselves (libusb, WinUSB). The two memory codes carry the EZ-USB core's own
// request 0xA0, which it serves with or without firmware:
//   anchor download   {0x40, 0xA0, start address, 0, length}, the data from the output buffer;
//   vendor request    {0xC0 or 0x40 after its direction byte, bRequest, wValue, wIndex, wLength}
//                     of its 10-byte input buffer, into or from the output buffer;
//   device descriptor the standard GET_DESCRIPTOR {0x80, 6, 0x0100, 0, 18}.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/ezusb_requests.h"

namespace zel::usb {

// bmRequestType: direction bit 7, type bits 5 and 6, recipient the device.
inline constexpr std::uint8_t kVendorOut = 0x40;
inline constexpr std::uint8_t kVendorIn = 0xC0;
inline constexpr std::uint8_t kStandardIn = 0x80;
inline constexpr std::uint8_t kGetDescriptor = 6;
inline constexpr std::uint8_t kDeviceDescriptorType = 1;
inline constexpr std::uint32_t kMaxLength = 0xFFFF;  // wLength is 16 bits

struct ControlTransfer {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint32_t length = 0;  // of the data phase, in the output buffer

  bool IsDeviceDescriptor() const noexcept {
    return requestType == kStandardIn && request == kGetDescriptor;
  }
};

// The transfer for the driver request `code` with its buffers; nullopt for any other code or
// buffers that do not fit the code.
inline std::optional<ControlTransfer> ControlTransferOf(std::uint32_t code, const void* in,
                                                        std::uint32_t inSize, const void* out,
                                                        std::uint32_t outSize) noexcept {
  const auto* input = static_cast<const std::uint8_t*>(in);
  if (out == nullptr && outSize != 0) return std::nullopt;
  switch (code) {
    case ezusb::kIoctlAnchorDownload:
      if (input == nullptr || inSize != 2 || outSize > kMaxLength) return std::nullopt;
      return ControlTransfer{kVendorOut, ezusb::vendor_request::kFirmwareLoad, ezusb::Get16(input),
                             0, outSize};
    case ezusb::kIoctlVendorRequest: {
      namespace vr = ezusb::vendor_request;
      if (input == nullptr || inSize != vr::kSize) return std::nullopt;
      const bool toHost = input[vr::kDirection] == vr::kDeviceToHost;
      return ControlTransfer{toHost ? kVendorIn : kVendorOut, input[vr::kRequest],
                             ezusb::Get16(input + vr::kValue), ezusb::Get16(input + vr::kIndex),
                             std::min<std::uint32_t>(ezusb::Get16(input + vr::kLength), outSize)};
    }
    case ezusb::kIoctlGetDeviceDescriptor:
      if (outSize < ezusb::kDescriptorSize) return std::nullopt;
      return ControlTransfer{kStandardIn, kGetDescriptor, kDeviceDescriptorType << 8, 0,
                             ezusb::kDescriptorSize};
    default:
      return std::nullopt;
  }
}

}  // namespace zel::usb
