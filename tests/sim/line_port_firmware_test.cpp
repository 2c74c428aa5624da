// The line-port firmware of the Orvane and Polyax units on the bench.
#include <gtest/gtest.h>

#include "devices/digital_line_port.h"
#include "devices/line_port_registers.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

namespace lp = line_port;
using sim::UnitModel;

class LinePortFirmwareTest : public ::testing::TestWithParam<UnitModel> {
 protected:
  LinePortFirmwareTest() {
    sim::UnitConfig unit = testing::Unit(0, GetParam(), true);
    unit.lines = {{3, 1}, {8, 1}, {14, 1}};
    unit.lineBusyMicros = 30'000;
    bench = std::make_unique<sim::Bench>(testing::Bench({unit}));
    link = std::make_unique<EzUsbLink>(*bench);
    port = std::make_unique<DigitalLinePort>(ClassLocks().orvane, *link);
  }
  void Command(std::uint8_t port, std::uint8_t mask, std::uint8_t command) {
    ASSERT_TRUE(link->WriteByte(port, lp::kPort));
    ASSERT_TRUE(link->WriteByte(mask, lp::kMask));
    ASSERT_TRUE(link->WriteByte(command, lp::kCommand));
  }

  std::unique_ptr<sim::Bench> bench;
  std::unique_ptr<EzUsbLink> link;
  std::unique_ptr<DigitalLinePort> port;
};

TEST_P(LinePortFirmwareTest, LinesStartAsTheUnitSaysAndKeepWhatIsWritten) {
  for (int line = 0; line < 16; ++line)
    EXPECT_EQ(port->ReadLine(line), line == 3 || line == 8 || line == 14) << line;
  EXPECT_TRUE(port->WriteLine(15, true));
  EXPECT_TRUE(port->WriteLine(14, false));
  EXPECT_TRUE(port->WriteLine(3, true));  // already on
  EXPECT_TRUE(port->ReadLine(15));
  EXPECT_FALSE(port->ReadLine(14));
  EXPECT_TRUE(port->ReadLine(3));
  EXPECT_TRUE(port->ReadLine(8));  // the other lines of port 2 are left alone
}

TEST_P(LinePortFirmwareTest, CommandKeepsThePortBusyForItsTimeThenAnswers) {
  const auto t0 = bench->NowMicros();
  Command(2, 0x40, lp::kReadLine);  // line 14
  EXPECT_EQ(bench->Peek(0, lp::kValue), 0);
  bench->AdvanceMicros(20'000);
  ASSERT_TRUE(link->WriteByte(lp::kReadLine, lp::kCommand));  // ignored: still busy
  bench->AdvanceMicros(t0 + 29'999 - bench->NowMicros());
  EXPECT_EQ(bench->Peek(0, lp::kCommand), lp::kReadLine);
  bench->AdvanceMicros(1);
  EXPECT_EQ(bench->Peek(0, lp::kCommand), lp::kIdle);
  EXPECT_EQ(bench->Peek(0, lp::kValue), 1);
}

TEST_P(LinePortFirmwareTest, WriteTakesTheValueStagedBeforeTheCommand) {
  ASSERT_TRUE(link->WriteByte(1, lp::kValue));
  Command(1, 0x01, lp::kWriteLine);             // line 0
  ASSERT_TRUE(link->WriteByte(0, lp::kValue));  // too late for this command
  bench->AdvanceMicros(30'000);
  EXPECT_TRUE(port->ReadLine(0));
}

TEST_P(LinePortFirmwareTest, UnknownCommandOrPortChangesNothing) {
  Command(1, 0x08, 7);
  EXPECT_EQ(bench->Peek(0, lp::kCommand), lp::kIdle);
  ASSERT_TRUE(link->WriteByte(0, lp::kValue));
  Command(3, 0x08, lp::kWriteLine);
  bench->AdvanceMicros(30'000);
  EXPECT_TRUE(port->ReadLine(3));
}

INSTANTIATE_TEST_SUITE_P(Models, LinePortFirmwareTest,
                         ::testing::Values(UnitModel::kOrvane, UnitModel::kPolyax),
                         [](const auto& info) { return sim::ModelName(info.param); });

}  // namespace
}  // namespace zel
