// Firmware files that are not what they should be: the loader ends with a clear status, reads
// nothing past a line, and keeps no file open.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "link/ez_usb_link.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

int OpenFiles() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (readdir(fds) != nullptr) ++count;
  closedir(fds);
  return count;
}

class FirmwareFileEdgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("zel_edge_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Write(const std::string& name, const std::string& content) {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Downloads `path` and returns the status, checking that no file stays open.
  LinkStatus Download(const std::string& path, bool& ok) {
    const int before = OpenFiles();
    ok = link.DownloadHexFile(path.c_str());
    EXPECT_EQ(OpenFiles(), before);
    EXPECT_EQ(bench.OpenHandles(), 0);
    return link.GetStatus();
  }

  fs::path dir;
  sim::Bench bench{testing::Bench({testing::Unit(0, sim::UnitModel::kKestrin)})};
  EzUsbLink link{bench};
};

// A directory cannot be read as a file: that is a failed download, not an empty image.
TEST_F(FirmwareFileEdgeTest, DirectoryIsNotAFirmwareFile) {
  bool ok = true;
  EXPECT_EQ(Download(dir.string(), ok), LinkStatus::eErrorFileNotFound);
  EXPECT_FALSE(ok);
}

TEST_F(FirmwareFileEdgeTest, EmptyFileLoadsNothingAndSucceeds) {
  bool ok = false;
  EXPECT_EQ(Download(Write("empty.ihx", ""), ok), LinkStatus::eErrorNoError);
  EXPECT_TRUE(ok);
}

TEST_F(FirmwareFileEdgeTest, BinaryFileIsRefused) {
  std::mt19937 random(7);
  std::string binary(4096, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  binary[0] = '\x7F';
  bool ok = true;
  EXPECT_EQ(Download(Write("binary.ihx", binary), ok), LinkStatus::eErrorIHexFileFormat);
  EXPECT_FALSE(ok);
}

TEST_F(FirmwareFileEdgeTest, TenMegabytesOnOneLineStopAtTheFirstPiece) {
  // A record start followed by ten million digits: the first 259 characters are one record
  // whose data runs past them, which is a format error; the rest is never read.
  std::string line = ":FF000000";
  line.append(10'000'000, '0');
  bool ok = true;
  bench.ClearTrace();
  EXPECT_EQ(Download(Write("long.ihx", line), ok), LinkStatus::eErrorIHexFileFormat);
  EXPECT_FALSE(ok);
  EXPECT_EQ(testing::Lines(bench, {"write"}).size(), 2u);  // only the reset hold
}

TEST_F(FirmwareFileEdgeTest, WindowsLineEndsLoadAlike) {
  bool ok = false;
  EXPECT_EQ(Download(Write("crlf.ihx", ":0300300002337A1E\r\n:00000001FF\r\n"), ok),
            LinkStatus::eErrorNoError);
  EXPECT_TRUE(ok);
  EXPECT_EQ(bench.Peek(0, 0x0030), 0x02);
  EXPECT_EQ(bench.Peek(0, 0x0032), 0x7A);
}

}  // namespace
}  // namespace zel
