#include "tools/zelctl_trace.h"

#include <gtest/gtest.h>

#include "link/ez_usb_link.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel::zelctl {
namespace {

using sim::TraceKind;
using sim::UnitModel;

// The tracer, wrapped around a bench, must write exactly the lines the bench itself records:
// that is what lets a session on hardware be compared with one on the bench.
class TracingDriverTest : public ::testing::Test {
 protected:
  TracingDriverTest()
      : bench_(testing::Bench(
            {testing::Unit(0, UnitModel::kOrvane), testing::Unit(2, UnitModel::kKestrin, true)})),
        tracer_(bench_, [this](const sim::TraceEntry& e) { lines_.push_back(FormatTrace(e)); }),
        link_(tracer_) {}

  sim::Bench bench_;
  std::vector<std::string> lines_;
  TracingDriver tracer_;
  EzUsbLink link_;
};

TEST_F(TracingDriverTest, WritesTheBenchsOwnLines) {
  link_.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(link_.FindFirstDevice());
  const std::uint8_t bytes[] = {0xFB, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(link_.WriteMemory(bytes, 4, 0x1C30));
  std::uint8_t buffer[2];
  EXPECT_EQ(link_.ReadMemory(buffer, 2, 0x1D12), 2);
  EXPECT_TRUE(link_.IsFirmwareRunning());
  EXPECT_EQ(lines_, bench_.TraceLines());
  EXPECT_NE(std::find(lines_.begin(), lines_.end(), "write 2 0x1C30 FB FF FF FF ok"), lines_.end());
  EXPECT_NE(std::find(lines_.begin(), lines_.end(), "sleep 500"), lines_.end());
}

TEST_F(TracingDriverTest, FailuresLookTheSameToo) {
  link_.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(link_.FindFirstDevice());
  bench_.FailNextRequest(TraceKind::kRead);
  std::uint8_t byte = 0;
  EXPECT_EQ(link_.ReadMemory(&byte, 1, 0x1C22), -1);
  bench_.FailNextRequest(TraceKind::kWrite);  // the first of the link's two identical writes
  EXPECT_TRUE(link_.WriteByte(0x41, 0x1C21));
  bench_.RefuseOpens(2);
  EXPECT_EQ(link_.ReadByte(0x1C22), 0);
  EXPECT_EQ(lines_, bench_.TraceLines());
  const std::vector<std::string> tail(lines_.end() - 8, lines_.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"open 2 ok", "read 2 0x1C22 1 fail", "close 2",
                                            "open 2 ok", "write 2 0x1C21 41 fail",
                                            "write 2 0x1C21 41 ok", "close 2", "open 2 fail"}));
}

}  // namespace
}  // namespace zel::zelctl
