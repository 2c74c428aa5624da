// Register map of the digital-line port that the Orvane and Polyax firmware offer: sixteen
// on/off lines, 0 to 15, in two 8-bit ports. The host stages a line's port, mask and (for a
// write) value, then writes a command; the firmware keeps the command byte non-zero while it
// carries the command out and clears it when done. The bench firmware serves the same
// registers from this header.
#pragma once

#include <cstdint>

namespace zel::line_port {

// 1 byte. Written: kReadLine or kWriteLine. Read: non-zero while the firmware is busy.
inline constexpr std::uint16_t kCommand = 0x1D00;
inline constexpr std::uint8_t kIdle = 0;
inline constexpr std::uint8_t kReadLine = 1;
inline constexpr std::uint8_t kWriteLine = 2;
// 1 byte, written: the line's bit within its port.
inline constexpr std::uint16_t kMask = 0x1D01;
// 1 byte, written: the line's port, 1 or 2.
inline constexpr std::uint16_t kPort = 0x1D02;
// 1 byte. Written before kWriteLine: 0 off, 1 on. Read after kReadLine: 0 off, else on.
inline constexpr std::uint16_t kValue = 0x1D03;

inline constexpr std::int32_t kLineCount = 16;
inline constexpr std::int32_t kLinesPerPort = 8;

// Line n (0 to 15) lies in port n / 8 + 1 under the mask 1 << (n % 8).
constexpr bool IsLine(std::int32_t line) noexcept {
  return line >= 0 && line < kLineCount;
}
constexpr std::int32_t PortOf(std::int32_t line) noexcept {
  return line / kLinesPerPort + 1;
}
constexpr std::uint8_t MaskOf(std::int32_t line) noexcept {
  return static_cast<std::uint8_t>(1u << (line % kLinesPerPort));
}

}  // namespace zel::line_port
