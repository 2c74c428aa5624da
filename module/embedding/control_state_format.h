// The saved state of an embedded control: the bytes its persistence interfaces write into a
// container's stream or storage, and read back. Nothing here depends on the platform, so the
// reader is tested and fuzzed natively.
//
// Layout, all fields little-endian:
//
//   offset  size  field
//        0     2  version        1 for the streams this version writes
//        2     2  body length    bytes that follow this field: 8 under version 1
//        4     4  width          signed, HIMETRIC (0.01 mm)
//        8     4  height         signed, HIMETRIC
//
// A later version that needs more fields raises the version word and appends them after the
// height, with the body length covering them; it still reads version 1 streams, whose body
// length tells it where they end. This version's reader:
//   - refuses a version above 1 (kNewerVersion): it cannot know whether the new fields change
//     the meaning of the old ones, and a control that loaded half a form would then save it
//     back as version 1 and lose the rest;
//   - refuses version 0 and a version 1 body length other than 8 (kMalformed): version 1 has
//     exactly two fields, so any other length means the bytes were not written as version 1;
//   - needs the whole 12-byte record (kTruncated when the data ends earlier) and does not look
//     past it: a container may keep other objects' data after ours in the same stream;
//   - takes extents from 0 to 2^31 - 1 (about 21 km); a negative extent, which no designer
//     can show, is kMalformed. A zero extent loads, since a container may size a control down
//     to nothing and must be able to load the form it saved.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zel {

struct ControlState {
  std::int32_t widthHimetric;
  std::int32_t heightHimetric;
};

inline constexpr std::uint16_t kControlStateVersion = 1;
// The length of every stream this version writes, and the most that its reader looks at.
inline constexpr std::size_t kControlStateMaxSize = 12;

// The bytes of `state` as this version saves them; the whole array is the stream.
std::array<std::uint8_t, kControlStateMaxSize> EncodeControlState(
    const ControlState& state) noexcept;

enum class ControlStateError { kNone, kTruncated, kNewerVersion, kMalformed };

// Reads the saved state at the start of `data`; `out` is untouched unless it returns kNone.
// A version above 1 is reported as kNewerVersion as soon as the version word is there, even
// when the rest is missing.
ControlStateError DecodeControlState(const std::uint8_t* data, std::size_t size,
                                     ControlState& out) noexcept;

}  // namespace zel
