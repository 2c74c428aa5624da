// The digital-line port's exchanges, on a chip without firmware whose line registers the test
// sets by hand (between the port's pauses where a unit would answer).
#include "devices/digital_line_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

#include "devices/line_port_registers.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

namespace lp = line_port;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::Lines;

// The bench as the driver, with the unit's answer played in after a given pause.
class AnswerAfterPause final : public Driver {
 public:
  explicit AnswerAfterPause(sim::Bench& bench) : bench_(bench) {}
  int pauseToAnswer = -1;
  std::function<void(sim::Bench&)> answer;

  DriverHandle Open(const char* name) noexcept override { return bench_.Open(name); }
  bool Request(DriverHandle h, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
               std::uint32_t outSize, std::uint32_t& returned) noexcept override {
    return bench_.Request(h, code, in, inSize, out, outSize, returned);
  }
  void Close(DriverHandle h) noexcept override { bench_.Close(h); }
  void Sleep(std::uint32_t ms) noexcept override {
    bench_.Sleep(ms);
    if (--pauseToAnswer == 0) answer(bench_);
  }

 private:
  sim::Bench& bench_;
};

long Count(const std::vector<std::string>& lines, const std::string& line) {
  return std::count(lines.begin(), lines.end(), line);
}

class DigitalLinePortTest : public ::testing::Test {
 protected:
  // The unit finishes the command after the first pause, leaving `value` at 0x1D03.
  void FinishAfterFirstPause(std::uint8_t value) {
    driver.pauseToAnswer = 1;
    driver.answer = [value](sim::Bench& b) {
      b.Poke(0, lp::kValue, value);
      b.Poke(0, lp::kCommand, lp::kIdle);
    };
  }
  std::vector<std::string> Traffic() { return Lines(bench, {"write", "read", "sleep"}); }
  int Status() { return static_cast<int>(link.GetStatus()); }

  sim::Bench bench{testing::Bench({testing::Unit(0, sim::UnitModel::kOrvane)})};
  AnswerAfterPause driver{bench};
  EzUsbLink link{driver};
  DigitalLinePort port{ClassLocks().orvane, link};
};

TEST_F(DigitalLinePortTest, WriteLineStagesValuePortMaskThenCommandTwiceAndWaits) {
  FinishAfterFirstPause(0);
  EXPECT_TRUE(port.WriteLine(15, true));
  EXPECT_THAT(Traffic(),
              ElementsAreArray<std::string>(
                  {"read 0 0x1D00 1 ok 00", "write 0 0x1D03 01 ok", "write 0 0x1D03 01 ok",
                   "write 0 0x1D02 02 ok", "write 0 0x1D02 02 ok", "write 0 0x1D01 80 ok",
                   "write 0 0x1D01 80 ok", "write 0 0x1D00 02 ok", "write 0 0x1D00 02 ok",
                   "write 0 0x1D00 02 ok", "write 0 0x1D00 02 ok", "read 0 0x1D00 1 ok 02",
                   "sleep 10", "read 0 0x1D00 1 ok 00"}));
  EXPECT_EQ(Status(), 0);
}

TEST_F(DigitalLinePortTest, ReadLineTakesAnyNonZeroValueAsOn) {
  FinishAfterFirstPause(2);
  EXPECT_TRUE(port.ReadLine(14));
  EXPECT_THAT(
      Traffic(),
      ElementsAreArray<std::string>(
          {"read 0 0x1D00 1 ok 00", "write 0 0x1D02 02 ok", "write 0 0x1D02 02 ok",
           "write 0 0x1D01 40 ok", "write 0 0x1D01 40 ok", "write 0 0x1D00 01 ok",
           "write 0 0x1D00 01 ok", "write 0 0x1D00 01 ok", "write 0 0x1D00 01 ok",
           "read 0 0x1D00 1 ok 01", "sleep 10", "read 0 0x1D00 1 ok 00", "read 0 0x1D03 1 ok 02"}));
  bench.ClearTrace();
  FinishAfterFirstPause(0);
  EXPECT_FALSE(port.ReadLine(14));
  EXPECT_EQ(Status(), 0);
}

TEST_F(DigitalLinePortTest, LinesMapOntoPortAndMask) {
  const struct {
    int line;
    const char* port;
    const char* mask;
  } cases[] = {{0, "01", "01"}, {3, "01", "08"},  {7, "01", "80"},
               {8, "02", "01"}, {14, "02", "40"}, {15, "02", "80"}};
  for (const auto& c : cases) {
    bench.ClearTrace();
    FinishAfterFirstPause(1);
    EXPECT_TRUE(port.ReadLine(c.line));
    const auto traffic = Traffic();
    ASSERT_GE(traffic.size(), 4u) << c.line;
    EXPECT_EQ(traffic[1], std::string("write 0 0x1D02 ") + c.port + " ok") << c.line;
    EXPECT_EQ(traffic[3], std::string("write 0 0x1D01 ") + c.mask + " ok") << c.line;
  }
}

TEST_F(DigitalLinePortTest, LineOutsideTheRangeFailsAfterOneReadWithoutStatus) {
  for (int line : {16, -1, -8, INT32_MIN, INT32_MAX}) {
    bench.ClearTrace();
    EXPECT_FALSE(port.ReadLine(line));
    EXPECT_FALSE(port.WriteLine(line, true));
    EXPECT_THAT(Traffic(), ElementsAre("read 0 0x1D00 1 ok 00", "read 0 0x1D00 1 ok 00"));
    EXPECT_EQ(Status(), 0);
  }
}

TEST_F(DigitalLinePortTest, BusyPortAtTheStartFailsAtOnceWithDeviceBusy) {
  bench.Poke(0, lp::kCommand, 5);
  EXPECT_FALSE(port.ReadLine(14));
  EXPECT_EQ(Status(), 14);
  EXPECT_FALSE(port.WriteLine(15, false));
  EXPECT_EQ(Status(), 14);
  EXPECT_TRUE(port.IsLineBusy());
  EXPECT_THAT(Lines(bench, {"write", "sleep"}), ElementsAre());
}

TEST_F(DigitalLinePortTest, PortThatNeverFinishesFailsAfterThe2001stPause) {
  const auto start = bench.NowMicros();
  EXPECT_FALSE(port.WriteLine(14, true));
  EXPECT_EQ(Status(), 11);
  const auto traffic = Traffic();
  EXPECT_EQ(Count(traffic, "sleep 10"), 2001);
  EXPECT_EQ(Count(traffic, "read 0 0x1D00 1 ok 02"), 2001);
  EXPECT_EQ(traffic.back(), "sleep 10");
  EXPECT_EQ(bench.NowMicros() - start, 20'010'000u);
  EXPECT_FALSE(port.WaitLineIdle());
}

// A failed read of the command byte yields 0; it must not pass for an idle port, and the
// link's own code stays.
TEST_F(DigitalLinePortTest, FailedReadOfTheCommandByteFailsWithTheLinksCode) {
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(port.WriteLine(14, true));
  EXPECT_EQ(Status(), 6);
  EXPECT_THAT(Lines(bench, {"write"}), ElementsAre());

  bench.ClearTrace();
  bench.FailRequest(10);  // the first read of the wait, after the eight write requests
  EXPECT_FALSE(port.ReadLine(14));
  EXPECT_EQ(Status(), 6);
  EXPECT_EQ(Traffic().back(), "read 0 0x1D00 1 fail");

  bench.Poke(0, lp::kCommand, 0);
  bench.Unplug(0);
  EXPECT_FALSE(port.ReadLine(14));
  EXPECT_TRUE(port.IsLineBusy());
  EXPECT_FALSE(port.WaitLineIdle());
  EXPECT_EQ(Status(), 1);
}

TEST_F(DigitalLinePortTest, FailedWriteEndsTheOperation) {
  bench.FailRequest(3);  // the second request of the first write
  EXPECT_FALSE(port.WriteLine(15, true));
  EXPECT_EQ(Status(), 8);
  EXPECT_EQ(Lines(bench, {"write"}).size(), 2u);
}

}  // namespace
}  // namespace zel
