#include "module/embedding/control_state_format.h"

#include "link/ezusb_protocol.h"

namespace zel {
namespace {

// Offsets of the fields; the body starts at the width.
inline constexpr std::size_t kBodyLengthAt = 2, kWidthAt = 4, kHeightAt = 8;
inline constexpr std::uint16_t kBodyLength = kControlStateMaxSize - kWidthAt;

}  // namespace

std::array<std::uint8_t, kControlStateMaxSize> EncodeControlState(
    const ControlState& state) noexcept {
  std::array<std::uint8_t, kControlStateMaxSize> bytes{};
  ezusb::Put16(&bytes[0], kControlStateVersion);
  ezusb::Put16(&bytes[kBodyLengthAt], kBodyLength);
  ezusb::Put32(&bytes[kWidthAt], static_cast<std::uint32_t>(state.widthHimetric));
  ezusb::Put32(&bytes[kHeightAt], static_cast<std::uint32_t>(state.heightHimetric));
  return bytes;
}

ControlStateError DecodeControlState(const std::uint8_t* data, std::size_t size,
                                     ControlState& out) noexcept {
  if (size < kBodyLengthAt) return ControlStateError::kTruncated;
  const std::uint16_t version = ezusb::Get16(data);
  if (version > kControlStateVersion) return ControlStateError::kNewerVersion;
  if (version == 0) return ControlStateError::kMalformed;
  if (size < kWidthAt) return ControlStateError::kTruncated;
  if (ezusb::Get16(data + kBodyLengthAt) != kBodyLength) return ControlStateError::kMalformed;
  if (size < kControlStateMaxSize) return ControlStateError::kTruncated;
  const ControlState state{static_cast<std::int32_t>(ezusb::Get32(data + kWidthAt)),
                           static_cast<std::int32_t>(ezusb::Get32(data + kHeightAt))};
  if (state.widthHimetric < 0 || state.heightHimetric < 0) return ControlStateError::kMalformed;
  out = state;
  return ControlStateError::kNone;
}

}  // namespace zel
