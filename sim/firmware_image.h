// The firmware images of the three models, as a bench chip sees them, and the tracker that
// decides whether a chip has received a complete image of its own model.
//
// An image is loaded at address 0x0000 of the chip's memory: a 16-byte header, then the body.
//   bytes 0..3   signature "ZELF"
//   bytes 4..5   the model's USB product ID (0x314C Orvane, 0x314D Kestrin, 0x314E Polyax)
//   bytes 6..7   body length in bytes, at most kMaxBodyLength
//   bytes 8..9   body checksum: the sum of the body bytes, modulo 65536
//   bytes 10..15 0
// All values little-endian. The build writes the three images as Intel HEX files
// (firmware/make_image.cmake): 16 data bytes per record, then the end record.
#pragma once

#include <bitset>
#include <cstdint>

#include "sim/bench_config.h"
#include "sim/firmware.h"

namespace zel::sim {

namespace image {
inline constexpr std::uint16_t kLoadAddress = 0x0000;
inline constexpr std::uint8_t kSignature[4] = {'Z', 'E', 'L', 'F'};
inline constexpr std::uint16_t kProductOffset = 4;
inline constexpr std::uint16_t kLengthOffset = 6;
inline constexpr std::uint16_t kChecksumOffset = 8;
inline constexpr std::uint16_t kHeaderSize = 16;
// The image stays below the firmware's registers at 0x1C00.
inline constexpr std::uint16_t kMaxBodyLength = 0x1000;
}  // namespace image

// "CypressFirmwareOrvane.ihx", "CypressFirmwareKestrin.ihx", "CypressFirmwarePolyax.ihx".
const char* FirmwareFileName(UnitModel model) noexcept;

class ImageTracker {
 public:
  // The 8051 was put into reset: a new download begins.
  void OnReset() noexcept;
  // The host wrote [address, address + length) while the 8051 was held.
  void OnWrite(std::uint16_t address, std::uint32_t length) noexcept;
  // Whether memory now holds the complete image of `model`, every byte of it written since
  // the last reset: the right signature and product ID, and a body that matches its checksum.
  bool Bootable(const Memory& memory, UnitModel model) const noexcept;

 private:
  bool AllWritten(std::uint32_t from, std::uint32_t length) const noexcept;

  std::bitset<0x10000> written_;  // one bit per address of the chip's memory
};

}  // namespace zel::sim
