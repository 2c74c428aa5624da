// DownloadHexFile against a bench chip without firmware: what reaches the chip, and where the
// reading of the file stops.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "link/ez_usb_link.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::Lines;

const std::string kHold[] = {"write 0 0x7F92 01 ok", "write 0 0x7F92 01 ok"};

// A data record of `count` bytes 0x00, 0x01, ... at `address`, without line end.
std::string Record(int count, int address) {
  char text[24];
  std::string line = ":";
  int sum = count + (address >> 8) + (address & 0xFF);
  std::snprintf(text, sizeof text, "%02X%04X00", count, address);
  line += text;
  for (int i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%02X", i & 0xFF);
    line += text;
    sum += i & 0xFF;
  }
  std::snprintf(text, sizeof text, "%02X", (256 - sum % 256) % 256);
  return line + text;
}

class HexLoaderTest : public ::testing::Test {
 protected:
  // Writes `content` to a file of the test's own and downloads it.
  bool Download(const std::string& content) {
    std::ofstream(path_, std::ios::binary) << content;
    return link.DownloadHexFile(path_.c_str());
  }
  void TearDown() override { std::filesystem::remove(path_); }
  // The writes after the reset hold.
  std::vector<std::string> DataWrites() {
    auto writes = Lines(bench, {"write"});
    EXPECT_GE(writes.size(), 2u);
    EXPECT_THAT(std::vector<std::string>(writes.begin(), writes.begin() + 2),
                ElementsAreArray(kHold));
    return {writes.begin() + 2, writes.end()};
  }
  int Status() { return static_cast<int>(link.GetStatus()); }

  sim::Bench bench{testing::Bench({testing::Unit(0, sim::UnitModel::kKestrin)})};
  EzUsbLink link{bench};
  // One file per test and process: ctest runs tests of several builds side by side.
  std::string path_ = (std::filesystem::path(::testing::TempDir()) /
                       ("zel_hex_" + std::to_string(std::random_device{}()) + ".ihx"))
                          .string();
};

TEST_F(HexLoaderTest, UpperAndLowerCaseDigitsWriteTheSameBytesAfterTheResetHold) {
  for (const char* record : {":0300300002337A1E\n", ":0300300002337a1e\n"}) {
    bench.ClearTrace();
    ASSERT_TRUE(Download(record)) << record;
    EXPECT_THAT(bench.TraceLines(),
                ElementsAre("open 0 ok", kHold[0], kHold[1], "close 0", "open 0 ok",
                            "write 0 0x0030 02 33 7A ok", "write 0 0x0030 02 33 7A ok", "close 0"));
    EXPECT_EQ(bench.Peek32(0, 0x0030) & 0xFFFFFF, 0x7A3302u);
  }
}

TEST_F(HexLoaderTest, EndRecordEndsTheReadingEvenBeforeMalformedLines) {
  EXPECT_TRUE(Download(":0300300002337A1E\r\n:00000001FF\r\n\nnonsense\n:0300300002337A00\n"));
  EXPECT_EQ(Status(), 0);
  EXPECT_THAT(DataWrites(),
              ElementsAre("write 0 0x0030 02 33 7A ok", "write 0 0x0030 02 33 7A ok"));
}

TEST_F(HexLoaderTest, FileWithoutEndRecordOrEmptyLoadsToItsEnd) {
  EXPECT_TRUE(Download(Record(2, 0x0100) + "\n" + Record(1, 0x0200)));
  EXPECT_THAT(DataWrites(), ElementsAre("write 0 0x0100 00 01 ok", "write 0 0x0100 00 01 ok",
                                        "write 0 0x0200 00 ok", "write 0 0x0200 00 ok"));
  bench.ClearTrace();
  EXPECT_TRUE(Download(""));
  EXPECT_TRUE(DataWrites().empty());
  EXPECT_EQ(Status(), 0);
}

TEST_F(HexLoaderTest, MalformedLinesFailWithFormatErrorAfterTheRecordsBeforeThem) {
  const char* cases[] = {
      "\n",            // blank line
      "0300300002\n",  // no colon
      ":03\n",         // too short for the address
      ":0300300\n",    // too short for the type
      ":03003000\n",   // a data byte with nothing after it
  };
  for (const char* bad : cases) {
    bench.ClearTrace();
    EXPECT_FALSE(Download(":0300300002337A1E\n" + std::string(bad) + ":00000001FF\n")) << bad;
    EXPECT_EQ(Status(), 2) << bad;
    EXPECT_EQ(DataWrites().size(), 2u) << bad;  // the first record, twice
  }
}

TEST_F(HexLoaderTest, ChangedDataCharacterFailsTheChecksumAndIsNotWritten) {
  EXPECT_FALSE(Download(":0300300002337B1E\n:00000001FF\n"));
  EXPECT_EQ(Status(), 3);
  EXPECT_TRUE(DataWrites().empty());
}

TEST_F(HexLoaderTest, MissingFileFailsWithFileNotFoundAfterTheHold) {
  EXPECT_FALSE(link.DownloadHexFile("/nonexistent/zel/CypressFirmwareKestrin.ihx"));
  EXPECT_EQ(Status(), 5);
  EXPECT_TRUE(DataWrites().empty());
}

TEST_F(HexLoaderTest, FailedHoldLeavesTheFileUnopened) {
  // The second of the hold's two requests fails: the write fails with 8, and a missing file
  // would have said 5 had it been opened.
  bench.FailRequest(2);
  EXPECT_FALSE(link.DownloadHexFile("/nonexistent/zel/CypressFirmwareKestrin.ihx"));
  EXPECT_EQ(Status(), 8);
  bench.RefuseOpens(0);
  EXPECT_FALSE(Download(Record(1, 0)));
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(Lines(bench, {"write"}).size(), 2u);  // the failed hold only
}

TEST_F(HexLoaderTest, FailedRecordWriteStopsTheDownload) {
  bench.FailRequest(4);  // the second request of the first record
  EXPECT_FALSE(Download(Record(1, 0x10) + "\n" + Record(1, 0x20) + "\n"));
  EXPECT_EQ(Status(), 8);
  EXPECT_THAT(DataWrites(), ElementsAre("write 0 0x0010 00 ok", "write 0 0x0010 00 fail"));
}

// A line is read in pieces of at most 259 characters: 123 data bytes and the line end fit.
TEST_F(HexLoaderTest, LongestRecordIs123BytesOr124WithoutLineEndOnTheLastLine) {
  EXPECT_TRUE(Download(Record(123, 0x0400) + "\n:00000001FF\n"));
  EXPECT_EQ(DataWrites().size(), 2u);
  EXPECT_EQ(bench.Peek(0, 0x0400 + 122), 122);

  bench.ClearTrace();
  EXPECT_FALSE(Download(Record(124, 0x0400) + "\n:00000001FF\n"));
  EXPECT_EQ(Status(), 2);  // the line end, read alone, is a blank line
  EXPECT_EQ(DataWrites().size(), 2u);

  bench.ClearTrace();
  EXPECT_TRUE(Download(Record(124, 0x0800)));
  EXPECT_EQ(bench.Peek(0, 0x0800 + 123), 123);

  bench.ClearTrace();
  EXPECT_FALSE(Download(Record(125, 0x0800)));
  EXPECT_EQ(Status(), 2);
  EXPECT_TRUE(DataWrites().empty());
}

TEST_F(HexLoaderTest, EveryOtherRecordTypeIsDataAtItsOwnAddressZeroCountIncluded) {
  bench.Poke(0, 0x0000, 0xEE);
  EXPECT_TRUE(Download(":020000040000FA\n:00123400BA\n:00000001FF\n"));
  EXPECT_THAT(DataWrites(), ElementsAre("write 0 0x0000 00 00 ok", "write 0 0x0000 00 00 ok",
                                        "write 0 0x1234 ok", "write 0 0x1234 ok"));
  EXPECT_EQ(bench.Peek(0, 0x0000), 0);
}

}  // namespace
}  // namespace zel
