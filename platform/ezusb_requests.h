// The Cypress general-purpose driver's device names and requests, the USB device descriptor
// fields and the units' USB identities: what a driver needs to find a unit and serve the link's
// requests. The link issues these requests (link/ezusb_protocol.h adds the chip's registers);
// the drivers and the virtual bench serve them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel::ezusb {

// Device files are this prefix followed by a device number in decimal, 0 to 127.
inline constexpr const char kDeviceNamePrefix[] = "\\\\.\\ezusb-";
inline constexpr int kDeviceCount = 128;

// The device number of the device file `name`: the prefix followed by 0 to 127 in decimal,
// without sign or leading zero. -1 for any other name (or none).
constexpr int DeviceNumberOf(const char* name) noexcept {
  if (name == nullptr) return -1;
  for (const char* p = kDeviceNamePrefix; *p != '\0'; ++p, ++name) {
    if (*name != *p) return -1;
  }
  if (*name == '\0' || (name[0] == '0' && name[1] != '\0')) return -1;
  int number = 0;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return -1;
    number = number * 10 + (*name - '0');
    if (number >= kDeviceCount) return -1;
  }
  return number;
}

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, method, FILE_ANY_ACCESS) values of the driver.
// Memory write: 2-byte little-endian start address in the input buffer, the data in the
// output buffer (METHOD_IN_DIRECT).
inline constexpr std::uint32_t kIoctlAnchorDownload = 0x0022206D;
// Control transfer; the link sends the core's memory-read request 0xA0 (VendorRequest below).
inline constexpr std::uint32_t kIoctlVendorRequest = 0x00222014;
// The 18-byte USB device descriptor into the output buffer; no input buffer.
inline constexpr std::uint32_t kIoctlGetDeviceDescriptor = 0x00222004;

// Input buffer of kIoctlVendorRequest, 10 bytes.
namespace vendor_request {
inline constexpr std::size_t kSize = 10;
inline constexpr std::size_t kRequest = 0;           // bRequest
inline constexpr std::size_t kValue = 2;             // wValue: start address, little-endian
inline constexpr std::size_t kIndex = 4;             // wIndex: 0
inline constexpr std::size_t kLength = 6;            // wLength: byte count, little-endian
inline constexpr std::size_t kDirection = 8;         // 1: device to host
inline constexpr std::size_t kData = 9;              // bData: 0xFF
inline constexpr std::uint8_t kFirmwareLoad = 0xA0;  // served by the core, firmware or not
inline constexpr std::uint8_t kDeviceToHost = 1;
}  // namespace vendor_request

// USB device descriptor: 18 bytes; the link reads three little-endian fields of it.
inline constexpr std::size_t kDescriptorSize = 18;
inline constexpr std::size_t kDescriptorVendor = 8;    // idVendor
inline constexpr std::size_t kDescriptorProduct = 10;  // idProduct
inline constexpr std::size_t kDescriptorRelease = 12;  // bcdDevice

// USB identities of the units.
inline constexpr std::uint16_t kVendorId = 0x5A45;
inline constexpr std::uint16_t kProductOrvane = 0x314C;
inline constexpr std::uint16_t kProductKestrin = 0x314D;
inline constexpr std::uint16_t kProductPolyax = 0x314E;

// The three products, one row each, in the order of the models everywhere (Orvane, Kestrin,
// Polyax): the bench, the controls and zelctl read their names and images here.
struct Product {
  std::uint16_t id;          // idProduct
  const char* name;          // "Orvane", as people read it
  const char* key;           // "orvane", in bench descriptions and class names given as text
  const char* firmwareFile;  // the image that boots it, looked for beside the library
};
inline constexpr Product kProducts[] = {
    {kProductOrvane, "Orvane", "orvane", "CypressFirmwareOrvane.ihx"},
    {kProductKestrin, "Kestrin", "kestrin", "CypressFirmwareKestrin.ihx"},
    {kProductPolyax, "Polyax", "polyax", "CypressFirmwarePolyax.ihx"}};

// The row of a product ID, or null for another product.
constexpr const Product* FindProduct(std::uint16_t id) noexcept {
  for (const Product& product : kProducts)
    if (product.id == id) return &product;
  return nullptr;
}

// The row of an enumeration of the three models in that order.
template <typename Model>
constexpr const Product& ProductOf(Model model) noexcept {
  return kProducts[static_cast<std::size_t>(model)];
}

// Little-endian helpers: register values are always decoded byte by byte, never by casting.
inline std::uint16_t Get16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void Put16(std::uint8_t* p, std::uint16_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) noexcept {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace zel::ezusb
