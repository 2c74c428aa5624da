// The bench as a driver: exclusive opens, the request layouts it accepts, its clock, trace and
// injected faults, and the heartbeat of a running firmware.
#include "sim/bench.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/sensor_registers.h"
#include "link/ezusb_protocol.h"
#include "tests/support/bench_units.h"

namespace zel::sim {
namespace {

using ::testing::ElementsAre;
using zel::testing::Bench;
using zel::testing::Unit;

constexpr const char* kDevice0 = "\\\\.\\ezusb-0";

bool Write(sim::Bench& bench, DriverHandle h, std::uint16_t address,
           std::vector<std::uint8_t> data) {
  std::uint8_t in[2];
  ezusb::Put16(in, address);
  std::uint32_t returned = 0;
  return bench.Request(h, ezusb::kIoctlAnchorDownload, in, 2, data.data(),
                       static_cast<std::uint32_t>(data.size()), returned);
}

TEST(BenchTest, OpensAreExclusiveAndNamesMustBeExact) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  const DriverHandle first = bench.Open(kDevice0);
  ASSERT_NE(first, kNoDriverHandle);
  EXPECT_EQ(bench.Open(kDevice0), kNoDriverHandle);
  EXPECT_EQ(bench.OpenHandles(), 1);
  bench.Close(first);
  EXPECT_EQ(bench.OpenHandles(), 0);
  bench.Close(first);  // closing twice is harmless
  for (const char* bad : {"\\\\.\\ezusb-00", "\\\\.\\ezusb-", "\\\\.\\ezusb-128", "ezusb-0",
                          "\\\\.\\ezusb-0x", "\\\\.\\ezusb--1"})
    EXPECT_EQ(bench.Open(bad), kNoDriverHandle) << bad;
  EXPECT_THAT(bench.TraceLines(), ::testing::Contains("open -1 fail"));
}

TEST(BenchTest, RejectsMalformedRequestsAndUnknownCodes) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  const DriverHandle h = bench.Open(kDevice0);
  std::uint8_t buffer[18];
  std::uint32_t returned = 99;
  EXPECT_FALSE(bench.Request(h, 0x00222000, nullptr, 0, buffer, 18, returned));
  EXPECT_EQ(returned, 0u);
  std::uint8_t setup[10] = {0xA1, 0, 0, 0, 0, 0, 1, 0, 1, 0xFF};  // not the memory request
  EXPECT_FALSE(bench.Request(h, ezusb::kIoctlVendorRequest, setup, 10, buffer, 1, returned));
  EXPECT_FALSE(
      bench.Request(h, ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, buffer, 17, returned));
  EXPECT_FALSE(bench.Request(kNoDriverHandle, ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, buffer,
                             18, returned));
  EXPECT_TRUE(bench.Request(h, ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, buffer, 18, returned));
  EXPECT_EQ(returned, 18u);
  bench.Close(h);
  EXPECT_THAT(bench.TraceLines(),
              ElementsAre("open 0 ok", "request 0 0x00222000 fail", "read 0 0x0000 1 fail",
                          "descriptor 0 fail", "descriptor -1 fail", "descriptor 0 ok", "close 0"));
}

TEST(BenchTest, ReadsAndWritesWrapAtTheEndOfMemory) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  const DriverHandle h = bench.Open(kDevice0);
  EXPECT_TRUE(Write(bench, h, 0xFFFF, {1, 2}));
  bench.Close(h);
  EXPECT_EQ(bench.Peek(0, 0xFFFF), 1);
  EXPECT_EQ(bench.Peek(0, 0x0000), 2);
}

TEST(BenchTest, FaultsHitTheRequestsTheyName) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin), Unit(1, UnitModel::kKestrin)}));
  bench.RefuseOpens(0, 2);
  EXPECT_EQ(bench.Open(kDevice0), kNoDriverHandle);
  EXPECT_EQ(bench.Open(kDevice0), kNoDriverHandle);
  DriverHandle h = bench.Open(kDevice0);
  ASSERT_NE(h, kNoDriverHandle);
  bench.FailRequest(2);
  EXPECT_TRUE(Write(bench, h, 0x1000, {1}));
  EXPECT_FALSE(Write(bench, h, 0x1000, {2}));
  EXPECT_TRUE(Write(bench, h, 0x1001, {3}));
  EXPECT_EQ(bench.Peek(0, 0x1000), 1);  // the failed write changed nothing
  bench.UnplugBeforeRequest(1, 0);
  EXPECT_FALSE(Write(bench, h, 0x1000, {4}));  // the cable went with the handle open
  bench.Close(h);
  EXPECT_EQ(bench.Open(kDevice0), kNoDriverHandle);
  EXPECT_EQ(bench.RequestCount(), 4u);
}

TEST(BenchTest, UnplugAndReplugHappenAtTheirBenchTime) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin, true)}));
  bench.UnplugAt(0, 1'000'000);
  bench.ReplugAt(0, 2'000'000);
  bench.Sleep(999);
  DriverHandle h = bench.Open(kDevice0);
  EXPECT_NE(h, kNoDriverHandle);
  bench.Close(h);
  bench.Sleep(1);
  EXPECT_EQ(bench.Open(kDevice0), kNoDriverHandle);
  bench.AdvanceMicros(1'000'000);
  h = bench.Open(kDevice0);
  EXPECT_NE(h, kNoDriverHandle);
  bench.Close(h);
  // Back from a power loss: no firmware, the 8051 held in reset.
  EXPECT_FALSE(bench.FirmwareRunning(0));
  EXPECT_EQ(bench.Peek(0, ezusb::kCpucs), 1);
}

TEST(BenchTest, ADescribedUnplugTimeTakesTheUnitAwayThen) {
  BenchConfig config = Bench({Unit(0, UnitModel::kKestrin, true)});
  config.units[0].unplugAtMillis = 5;
  sim::Bench bench(config);
  bench.Sleep(4);
  DriverHandle h = bench.Open(kDevice0);
  EXPECT_NE(h, kNoDriverHandle);
  bench.Close(h);
  bench.Sleep(1);
  EXPECT_EQ(bench.Open(kDevice0), kNoDriverHandle);
}

TEST(BenchTest, HeartbeatRunsOnlyWhileFirmwareRuns) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin, true), Unit(1, UnitModel::kKestrin)}));
  const auto beat = bench.Peek(0, ezusb::kHeartbeat);
  bench.Sleep(250);
  EXPECT_NE(bench.Peek(0, ezusb::kHeartbeat), beat);
  EXPECT_EQ(bench.Peek(1, ezusb::kHeartbeat), 0);

  // Held in reset, the firmware stops and the byte stands still.
  const DriverHandle h = bench.Open(kDevice0);
  ASSERT_TRUE(Write(bench, h, ezusb::kCpucs, {1}));
  bench.Close(h);
  EXPECT_FALSE(bench.FirmwareRunning(0));
  const auto held = bench.Peek(0, ezusb::kHeartbeat);
  bench.Sleep(1000);
  EXPECT_EQ(bench.Peek(0, ezusb::kHeartbeat), held);
}

TEST(BenchTest, VirtualTimeMovesOnlyOnSleepAndLiveTimeIsReal) {
  sim::Bench bench;
  EXPECT_EQ(bench.NowMicros(), 0u);
  bench.Sleep(10);
  bench.Sleep(5);
  EXPECT_EQ(bench.NowMicros(), 15'000u);
  EXPECT_THAT(bench.TraceLines(), ElementsAre("sleep 10", "sleep 5"));

  sim::Bench live(BenchConfig{}, Clocking::kLive);
  live.Sleep(2);
  EXPECT_GE(live.NowMicros(), 2'000u);
}

// Each open, read and write takes the request time; the two copies of a write reach the chip
// together and their time passes after the second, which is not delivered again. A repeated
// write that is not the next request on the handle is a write of its own.
TEST(BenchTest, RequestTimePassesAfterEachRequestAndAfterBothCopiesOfAWrite) {
  UnitConfig orvane = Unit(0, UnitModel::kOrvane, true);
  orvane.actuatorMicros = 1;  // a step ends long before the next request
  BenchConfig config = Bench({orvane});
  config.requestMicros = 1000;
  sim::Bench bench(config);
  const DriverHandle h = bench.Open(kDevice0);
  EXPECT_EQ(bench.NowMicros(), 1000u);
  EXPECT_TRUE(Write(bench, h, sensors::kActuatorStep, {1, 0}));
  EXPECT_TRUE(Write(bench, h, sensors::kActuatorStep, {1, 0}));
  EXPECT_TRUE(Write(bench, h, sensors::kActuatorCommand, {sensors::kActuatorExecute}));
  EXPECT_TRUE(Write(bench, h, sensors::kActuatorCommand, {sensors::kActuatorExecute}));
  bench.Close(h);
  EXPECT_EQ(bench.NowMicros(), 5000u);
  EXPECT_EQ(bench.Peek(0, sensors::kActuatorReadback), 1);  // one step, not two
  const auto trace = bench.Trace();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(trace[3].atMicros, 3000u);
  EXPECT_EQ(trace[4].atMicros, 3000u);  // the copy at the instant of the first

  // The same write again after another request on the same handle: a second step.
  const DriverHandle again = bench.Open(kDevice0);
  EXPECT_TRUE(Write(bench, again, sensors::kActuatorCommand, {sensors::kActuatorExecute}));
  EXPECT_TRUE(Write(bench, again, sensors::kActuatorStep, {1, 0}));
  EXPECT_TRUE(Write(bench, again, sensors::kActuatorCommand, {sensors::kActuatorExecute}));
  bench.Close(again);
  EXPECT_EQ(bench.NowMicros(), 9000u);
  EXPECT_EQ(bench.Peek(0, sensors::kActuatorReadback), 3);
}

TEST(BenchTest, TraceSinkSeesEveryOperationEvenWhenNotRecording) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  std::vector<std::string> seen;
  bench.SetTraceSink([&](const TraceEntry& e) { seen.push_back(FormatTrace(e)); });
  bench.SetTraceRecording(false);
  bench.Close(bench.Open(kDevice0));
  EXPECT_TRUE(bench.TraceLines().empty());
  EXPECT_THAT(seen, ElementsAre("open 0 ok", "close 0"));
}

TEST(BenchTest, DescriptorCarriesTheModelIdentityAndOverrides) {
  UnitConfig polyax = Unit(4, UnitModel::kPolyax);
  polyax.release = 0x0102;
  sim::Bench bench(Bench({polyax}));
  const DriverHandle h = bench.Open("\\\\.\\ezusb-4");
  std::uint8_t d[18];
  std::uint32_t returned = 0;
  ASSERT_TRUE(bench.Request(h, ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, d, 18, returned));
  bench.Close(h);
  EXPECT_EQ(ezusb::Get16(d + 8), 0x5A45);
  EXPECT_EQ(ezusb::Get16(d + 10), 0x314E);
  EXPECT_EQ(ezusb::Get16(d + 12), 0x0102);
  EXPECT_THROW(bench.Attach(Unit(128, UnitModel::kPolyax)), std::out_of_range);
}

}  // namespace
}  // namespace zel::sim
