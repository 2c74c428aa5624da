// The generated firmware images, and which downloads make a bench chip start its firmware.
#include "sim/firmware_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "link/ez_usb_link.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;

std::string ImagePath(UnitModel model) {
  return std::string(ZEL_FIRMWARE_DIR) + "/" + sim::FirmwareFileName(model);
}

std::vector<std::string> ImageLines(UnitModel model) {
  std::ifstream file(ImagePath(model));
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

constexpr UnitModel kModels[] = {UnitModel::kOrvane, UnitModel::kKestrin, UnitModel::kPolyax};

class FirmwareBootTest : public ::testing::TestWithParam<UnitModel> {
 protected:
  // Downloads `path`, releases the 8051 and asks the heartbeat.
  bool Boot(const std::string& path) {
    return link.DownloadHexFile(path.c_str()) && link.StartCpu() && link.IsFirmwareRunning();
  }

  // Writes `lines` to a file of this test's own and returns its path.
  std::string WriteImage(const std::vector<std::string>& lines) {
    written_ = (std::filesystem::path(::testing::TempDir()) /
                ("zel_image_" + std::to_string(std::random_device{}()) + ".ihx"))
                   .string();
    std::ofstream file(written_);
    for (const auto& line : lines) file << line << '\n';
    return written_;
  }
  void TearDown() override {
    if (!written_.empty()) std::filesystem::remove(written_);
  }

  std::string written_;
  sim::Bench bench{testing::Bench({testing::Unit(0, GetParam())})};
  EzUsbLink link{bench};
};

TEST_P(FirmwareBootTest, ImageIsOrdinaryIntelHexWithASignedHeader) {
  const auto lines = ImageLines(GetParam());
  ASSERT_GT(lines.size(), 10u);
  EXPECT_EQ(lines.back(), ":00000001FF");
  for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, 3), ":10") << i;  // 16 data bytes
    EXPECT_EQ(lines[i].substr(7, 2), "00") << i;   // data record
    EXPECT_EQ(lines[i].size(), 43u) << i;
  }
  // "ZELF", the product ID, a body of a few hundred bytes.
  char product[5];
  std::snprintf(product, sizeof product, "%02X%02X", sim::ModelProductId(GetParam()) & 0xFF,
                sim::ModelProductId(GetParam()) >> 8);
  EXPECT_EQ(lines[0].substr(1, 20), std::string("100000005A454C46") + product);
  const int length = std::stoi(lines[0].substr(23, 2) + lines[0].substr(21, 2), nullptr, 16);
  EXPECT_GE(length, 200);
  EXPECT_LE(length, 1000);
}

TEST_P(FirmwareBootTest, OwnImageBootsTheChip) {
  EXPECT_TRUE(Boot(ImagePath(GetParam())));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
  EXPECT_TRUE(bench.FirmwareRunning(0));
}

TEST_P(FirmwareBootTest, ForeignImageLeavesTheChipWithoutFirmware) {
  for (UnitModel other : kModels) {
    if (other == GetParam()) continue;
    EXPECT_FALSE(Boot(ImagePath(other))) << sim::ModelName(other);
    EXPECT_FALSE(bench.FirmwareRunning(0));
  }
}

TEST_P(FirmwareBootTest, NoOrPartialImageLeavesTheChipWithoutFirmware) {
  EXPECT_TRUE(link.StartCpu());
  EXPECT_FALSE(link.IsFirmwareRunning());

  // One body record missing, though its bytes are still in memory from an earlier download.
  ASSERT_TRUE(Boot(ImagePath(GetParam())));
  auto lines = ImageLines(GetParam());
  lines.erase(lines.end() - 3);
  EXPECT_FALSE(Boot(WriteImage(lines)));
  EXPECT_FALSE(bench.FirmwareRunning(0));
}

TEST_P(FirmwareBootTest, ImageMustBeDownloadedAgainAfterEachReset) {
  ASSERT_TRUE(Boot(ImagePath(GetParam())));
  // Held again and released without a download: what stays in memory does not count.
  EXPECT_TRUE(link.DownloadHexFile(WriteImage({":00000001FF"}).c_str()));
  EXPECT_FALSE(bench.FirmwareRunning(0));
  EXPECT_TRUE(link.StartCpu());
  EXPECT_FALSE(link.IsFirmwareRunning());
}

TEST_P(FirmwareBootTest, ChangedBodyByteFailsTheImageChecksum) {
  auto lines = ImageLines(GetParam());
  // Swap two data bytes' worth of value between the record checksum and a data byte, so the
  // record still loads but the body no longer adds up.
  std::string& record = lines[3];
  const int byte = std::stoi(record.substr(9, 2), nullptr, 16);
  const int sum = std::stoi(record.substr(41, 2), nullptr, 16);
  char text[3];
  std::snprintf(text, sizeof text, "%02X", (byte + 1) & 0xFF);
  record.replace(9, 2, text);
  std::snprintf(text, sizeof text, "%02X", (sum + 255) & 0xFF);
  record.replace(41, 2, text);
  EXPECT_FALSE(Boot(WriteImage(lines)));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);  // the download itself succeeded
}

INSTANTIATE_TEST_SUITE_P(Models, FirmwareBootTest, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return sim::ModelName(info.param); });

}  // namespace
}  // namespace zel
