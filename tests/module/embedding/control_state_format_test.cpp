#include "module/embedding/control_state_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace zel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using enum ControlStateError;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

Bytes Encoded(const ControlState& state) {
  const auto bytes = EncodeControlState(state);
  return Bytes(bytes.begin(), bytes.end());
}

// Decodes over a sentinel state, which a failure must leave as it was.
ControlStateError Decode(const Bytes& bytes, ControlState* read = nullptr) {
  ControlState out{-7, -9};
  const ControlStateError error = DecodeControlState(bytes.data(), bytes.size(), out);
  if (error != kNone) {
    EXPECT_TRUE(out.widthHimetric == -7 && out.heightHimetric == -9);
  }
  if (read != nullptr) *read = out;
  return error;
}

TEST(ControlStateFormat, SavesKnownBytesAndReadsBackEveryExtent) {
  // Forms saved today hold exactly these bytes.
  EXPECT_EQ(Encoded({0x12345678, 1270}),
            (Bytes{0x01, 0x00, 0x08, 0x00, 0x78, 0x56, 0x34, 0x12, 0xF6, 0x04, 0x00, 0x00}));
  for (const ControlState state : {ControlState{2540, 1270}, ControlState{0, 0},
                                   ControlState{kMax, 1}, ControlState{0x01020304, kMax}}) {
    Bytes bytes = Encoded(state);
    bytes.push_back(0xFF);  // another object's data after ours in the stream is not read
    ControlState read{};
    ASSERT_EQ(Decode(bytes, &read), kNone);
    EXPECT_TRUE(read.widthHimetric == state.widthHimetric &&
                read.heightHimetric == state.heightHimetric);
  }
}

TEST(ControlStateFormat, EveryShorterStreamIsTruncated) {
  const Bytes whole = Encoded({2540, 1270});
  for (std::size_t size = 0; size < whole.size(); ++size) {
    EXPECT_EQ(Decode(Bytes(whole.begin(), whole.begin() + size)), kTruncated) << size;
  }
}

TEST(ControlStateFormat, RefusesNewerVersionsAndDamagedFields) {
  EXPECT_EQ(Decode({0x02, 0x00}), kNewerVersion);  // known from the version word alone
  EXPECT_EQ(Decode({0x00, 0x01, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}), kNewerVersion);  // 256
  const auto with = [](std::size_t at, std::uint8_t value) {
    Bytes bytes = Encoded({2540, 1270});
    bytes[at] = value;
    return bytes;
  };
  EXPECT_EQ(Decode(with(0, 0)), kMalformed);  // version 0 was never written
  for (const std::uint8_t length : {0, 7, 9, 12}) EXPECT_EQ(Decode(with(2, length)), kMalformed);
  EXPECT_EQ(Decode(with(3, 0x01)), kMalformed);  // a body of 264 bytes
  EXPECT_EQ(Decode(Encoded({-1, 1270})), kMalformed);
  EXPECT_EQ(Decode(Encoded({2540, std::numeric_limits<std::int32_t>::min()})), kMalformed);
}

}  // namespace
}  // namespace zel
