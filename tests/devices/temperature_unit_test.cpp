// Temperature readings and set-points against an Orvane unit on the bench, whose actuator moves
// the channel-4 sensor by a fixed number of counts per step.
#include "devices/temperature_unit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "devices/sensor_registers.h"
#include "tests/devices/register_exchanges.h"

namespace zel {
namespace {

using testing::CountOf;
using testing::Exchanges;
using Lines = std::vector<std::string>;

sim::BenchConfig Sensor(std::uint16_t raw, int countsPerStep = 10) {
  sim::UnitConfig unit;
  unit.temperatureRaw = raw;
  unit.countsPerStep = countsPerStep;
  return testing::RunningUnit(sim::UnitModel::kOrvane, unit);
}

// The actuator writes only.
Lines Writes(const sim::Bench& bench) {
  return testing::Only(Exchanges(bench), "write 0 0x1C8");
}

struct Orvane {
  explicit Orvane(sim::BenchConfig config) : bench(config) {}
  sim::Bench bench;
  EzUsbLink link{bench};
  DeviceLock lock;
  TemperatureUnit unit{link, lock};
};

TEST(TemperatureUnitTest, ReadingsTruncateTowardZeroInTenths) {
  const struct {
    std::uint16_t raw;
    double temperature;
  } cases[] = {{2048, 0.0},  {2050, 0.0},  {2051, 0.1},
               {2040, -0.1}, {3048, 20.0}, {1000, -20.900000000000002}};
  for (const auto& c : cases) {
    Orvane orvane(Sensor(c.raw));
    EXPECT_EQ(orvane.unit.GetTemperature(), c.temperature) << c.raw;
  }
}

TEST(TemperatureUnitTest, ReadingConvertsChannel4ThenReadsTheActuatorRegister) {
  Orvane orvane(Sensor(2051));
  orvane.unit.GetTemperature();
  const Lines all = Exchanges(orvane.bench);
  EXPECT_EQ(Lines(all.end() - 2, all.end()),
            (Lines{"read 0 0x1C0B 2 ok 03 08", "read 0 0x1C81 2 ok 00 00"}));
  orvane.bench.Unplug(0);
  EXPECT_EQ(orvane.unit.GetTemperature(), HUGE_VAL);
}

TEST(TemperatureUnitTest, SetPointsAimAtTheirRawValue) {
  std::int32_t raw = 0;
  ASSERT_TRUE(sensors::TemperatureToRaw(20.0, raw));
  EXPECT_EQ(raw, 3048);
  ASSERT_TRUE(sensors::TemperatureToRaw(-1.0, raw));
  EXPECT_EQ(raw, 1998);
  ASSERT_TRUE(sensors::TemperatureToRaw(0.0, raw));
  EXPECT_EQ(raw, 2048);
  ASSERT_TRUE(sensors::TemperatureToRaw(1e300, raw));
  EXPECT_EQ(raw, 2147483647);
  EXPECT_FALSE(sensors::TemperatureToRaw(std::nan(""), raw));
}

// Each step is taken once by the firmware although the host writes every register twice: two
// steps of 10 counts reach 2048 from 2028.
TEST(TemperatureUnitTest, StepsUpUntilTheReadingReachesTheTarget) {
  Orvane orvane(Sensor(2028));
  EXPECT_TRUE(orvane.unit.SetTemperature(0.0));
  const Lines step = {"write 0 0x1C83 01 00 ok", "write 0 0x1C83 01 00 ok", "write 0 0x1C80 01 ok",
                      "write 0 0x1C80 01 ok"};
  EXPECT_EQ(Writes(orvane.bench), testing::Join({step, step}));
  EXPECT_EQ(orvane.unit.GetTemperature(), 0.0);
}

TEST(TemperatureUnitTest, StepsDownToANegativeSetPoint) {
  Orvane orvane(Sensor(2018));
  EXPECT_TRUE(orvane.unit.SetTemperature(-1.0));  // 1998: two steps down
  const Lines step = {"write 0 0x1C83 FF FF ok", "write 0 0x1C83 FF FF ok", "write 0 0x1C80 01 ok",
                      "write 0 0x1C80 01 ok"};
  EXPECT_EQ(Writes(orvane.bench), testing::Join({step, step}));
}

TEST(TemperatureUnitTest, AlreadyAtTheTargetSendsNoStep) {
  Orvane orvane(Sensor(3048));
  EXPECT_TRUE(orvane.unit.SetTemperature(20.0));
  EXPECT_EQ(Writes(orvane.bench), Lines{});
}

TEST(TemperatureUnitTest, BusyActuatorRefusesWithoutSending) {
  Orvane orvane(Sensor(2000));
  orvane.bench.Poke(0, sensors::kActuatorCommand, 1);
  EXPECT_FALSE(orvane.unit.SetTemperature(20.0));
  EXPECT_EQ(Exchanges(orvane.bench), (Lines{"read 0 0x1C80 1 ok 01"}));
}

TEST(TemperatureUnitTest, UnreadableActuatorStateRefusesWithoutSending) {
  Orvane orvane(Sensor(2000));
  orvane.bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(orvane.unit.SetTemperature(20.0));
  EXPECT_EQ(Exchanges(orvane.bench), (Lines{"read 0 0x1C80 1 fail", "status"}));
  EXPECT_EQ(orvane.link.GetStatus(), LinkStatus::eErrorDataRead);
}

// The budget is tested after the reading: the 257th step goes out before the unit gives up.
TEST(TemperatureUnitTest, ActuatorThatNeverMovesGetsExactly257Steps) {
  Orvane orvane(Sensor(2048, 0));
  EXPECT_FALSE(orvane.unit.SetTemperature(1.0));
  EXPECT_EQ(CountOf(Writes(orvane.bench), "write 0 0x1C80 01 ok"), 2 * 257);
  EXPECT_EQ(orvane.link.GetStatus(), LinkStatus::eErrorNoDeviceResponse);
}

TEST(TemperatureUnitTest, TargetReachedBy256StepsSucceeds) {
  Orvane orvane(Sensor(2048, 1));
  EXPECT_TRUE(orvane.unit.SetTemperature(256 / 50.0));  // 2304: 256 steps of one count
  EXPECT_EQ(CountOf(Writes(orvane.bench), "write 0 0x1C80 01 ok"), 2 * 256);
}

TEST(TemperatureUnitTest, FailedActuatorReadIsAFailureNotACompletion) {
  Orvane orvane(Sensor(2048));
  ASSERT_TRUE(orvane.unit.StepActuator(1));
  orvane.bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(orvane.unit.WaitActuator());
  EXPECT_EQ(orvane.link.GetStatus(), LinkStatus::eErrorDataRead);
}

}  // namespace
}  // namespace zel
