// Analogue readings against an Orvane unit on the bench.
#include "devices/analog_input_reader.h"

#include <gtest/gtest.h>

#include "devices/sensor_registers.h"
#include "tests/devices/register_exchanges.h"

namespace zel {
namespace {

using testing::CountOf;
using testing::Exchanges;
using Lines = std::vector<std::string>;

sim::UnitConfig Channels() {
  sim::UnitConfig unit;
  unit.adc = {{0, 0x0123}, {3, 0xFFFE}};
  unit.temperatureRaw = 3048;
  return unit;
}

class AnalogInputReaderTest : public ::testing::Test {
 protected:
  sim::Bench bench{testing::RunningUnit(sim::UnitModel::kOrvane, Channels())};
  EzUsbLink link{bench};
  DeviceLock lock;
  AnalogInputReader reader{link, lock};
};

TEST_F(AnalogInputReaderTest, ReadingTriggersTwiceWaitsAndReadsTheChannel) {
  EXPECT_EQ(reader.ReadChannelRaw(0), 0x0123);
  EXPECT_EQ(
      Exchanges(bench),
      (Lines{"read 0 0x1C02 1 ok 00", "status", "write 0 0x1C02 01 ok", "write 0 0x1C02 01 ok",
             "write 0 0x1C02 01 ok", "write 0 0x1C02 01 ok", "read 0 0x1C02 1 ok 01", "status",
             "sleep 10", "read 0 0x1C02 1 ok 00", "status", "read 0 0x1C03 2 ok 23 01"}));
}

TEST_F(AnalogInputReaderTest, ChannelAddressesFollowTheChannelNumber) {
  EXPECT_EQ(reader.ReadChannel(4), 3048.0);
  EXPECT_EQ(reader.ReadChannel(3), 65534.0);
  EXPECT_EQ(reader.ReadChannel(5), 2147483647.0);  // no configured value: 0xFFFF
  // Channel -1 is the byte before the results and the (by then idle) trigger byte.
  EXPECT_EQ(reader.ReadChannel(-1), 0.0);
  const Lines all = Exchanges(bench);
  for (const char* result : {"read 0 0x1C0B 2 ok E8 0B", "read 0 0x1C09 2 ok FE FF",
                             "read 0 0x1C0D 2 ok FF FF", "read 0 0x1C01 2 ok 00 00"})
    EXPECT_EQ(CountOf(all, result), 1) << result;
  EXPECT_EQ(CountOf(all, "write 0 0x1C02 01 ok"), 16);  // every reading converts afresh
}

TEST_F(AnalogInputReaderTest, RunningConversionRefusesWithoutWriting) {
  bench.Poke(0, sensors::kConversionTrigger, 1);
  EXPECT_EQ(reader.ReadChannel(4), 2147483647.0);
  EXPECT_EQ(Exchanges(bench), (Lines{"read 0 0x1C02 1 ok 01"}));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
}

TEST_F(AnalogInputReaderTest, UnreadableTriggerStartsNoConversion) {
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(reader.ReadChannel(0), 2147483647.0);
  EXPECT_EQ(Exchanges(bench), (Lines{"read 0 0x1C02 1 fail", "status"}));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
}

TEST_F(AnalogInputReaderTest, ConversionThatNeverEndsTimesOutAfter2001Pauses) {
  sim::UnitConfig slow = Channels();
  slow.conversionMicros = 60'000'000;
  bench.Attach(testing::RunningUnit(sim::UnitModel::kOrvane, slow).units[0]);
  const auto start = bench.NowMicros();
  EXPECT_EQ(reader.ReadChannelRaw(0), kNoReading);
  const Lines all = Exchanges(bench);
  EXPECT_EQ(CountOf(all, "read 0 0x1C02"), 1 + 2001);  // the busy check, then the wait
  EXPECT_EQ(CountOf(all, "sleep 10"), 2001);
  EXPECT_EQ(bench.NowMicros() - start, 20'010'000u);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDeviceResponse);
}

// A failed read of the trigger yields 0, which must not pass for a finished conversion: the
// previous conversion's result would otherwise be returned as a fresh one.
TEST_F(AnalogInputReaderTest, FailedBusyReadIsAFailureNotACompletion) {
  ASSERT_EQ(reader.ReadChannelRaw(0), 0x0123);
  ASSERT_TRUE(reader.StartConversion());
  bench.ClearTrace();
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(reader.WaitConversion());
  EXPECT_EQ(Exchanges(bench), (Lines{"read 0 0x1C02 1 fail", "status"}));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
}

}  // namespace
}  // namespace zel
