// The edges a client can reach through the automation members: numbers at and past every
// limit, odd frequencies and odd serial strings. Nothing crashes, every member returns S_OK,
// and out-of-range numbers send nothing that could move the wrong thing.
#include <gtest/gtest.h>

#include <climits>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;
using testing::Bstr;

sim::BenchConfig RunningUnits() {
  std::vector<sim::UnitConfig> units;
  for (auto [device, model, serial] : {std::tuple{0, UnitModel::kOrvane, "ABCDEFGHIJKLMNOP"},
                                       std::tuple{1, UnitModel::kKestrin, "KS-0001"},
                                       std::tuple{2, UnitModel::kPolyax, "PX-0001"}}) {
    sim::UnitConfig unit = testing::Unit(device, model, true);
    unit.speedDivider = 13;
    unit.serial = serial;
    units.push_back(unit);
  }
  return testing::Bench(units);
}

std::vector<std::int32_t> Edges(std::int32_t largest) {
  return {INT32_MIN, -1, 0, largest, largest + 1, INT32_MAX};
}

template <typename Control>
void MotorNumbersAtTheEdges(sim::Bench& bench, Control& control, std::int32_t largest) {
  for (std::int32_t motor : Edges(largest)) {
    SCOPED_TRACE(motor);
    const bool valid = motor >= 1 && motor <= largest;
    VARIANT_BOOL flag = -1;
    std::int32_t value = -1;
    EMotorStatus status = eMotorStopped;
    bench.ClearTrace();
    EXPECT_EQ(control.MoveMotor(motor, 5, 1, &flag), S_OK);
    EXPECT_EQ(flag, valid ? 1 : 0);
    EXPECT_EQ(testing::Lines(bench, {"write"}).empty(), !valid);  // nothing starts a wrong motor
    control.Stop(motor, &flag);
    EXPECT_EQ(control.MoveToPos(motor, INT32_MAX, 1, &flag), S_OK);
    EXPECT_EQ(control.MoveHome(motor, 1, &flag), S_OK);
    control.Stop(motor, &flag);
    EXPECT_EQ(control.GetMotorStatus(motor, &status), S_OK);
    EXPECT_GE(status, 0);
    EXPECT_LE(status, 4);
    EXPECT_EQ(control.GetMotorPosition(motor, &value), S_OK);
    EXPECT_EQ(control.SetMotorMode(motor, 1, &flag), S_OK);
    EXPECT_EQ(control.GetMotorMode(motor, &value), S_OK);
    EXPECT_EQ(control.GetMotorFreq(motor, &value), S_OK);
    std::int32_t error = -1;
    control.get_LastError(&error);
    EXPECT_GE(error, 0);
    EXPECT_LE(error, 14);
    bench.Sleep(50);
  }
}

TEST(BadInputTest, MotorNumbersAtTheEdges) {
  sim::Bench bench(RunningUnits());
  KestrinControl kestrin({bench, ""});
  PolyaxControl polyax({bench, ""});
  MotorNumbersAtTheEdges(bench, kestrin, 2);
  MotorNumbersAtTheEdges(bench, polyax, 32);
}

// A channel number goes into the result address unchecked and wraps in the 16-bit address
// space, so every edge reads its own register: INT32_MIN wraps onto channel 0, -1 and INT32_MAX
// onto the two bytes at 0x1C01 (the idle trigger is the second), 8 onto the two after channel
// 7. Shutters 1 and 2 are lines 14 and 15 (port 2, masks 0x40 and 0x80) and keep the value
// written; any other number sends nothing and reads closed.
TEST(BadInputTest, ChannelLineAndShutterNumbersAtTheEdges) {
  sim::BenchConfig config = RunningUnits();
  config.units[0].adc = {{0, 0x0123}, {7, 0x0777}};
  sim::Bench bench(config);
  OrvaneControl orvane({bench, ""});
  PolyaxControl polyax({bench, ""});
  bench.Poke(0, 0x1C01, 0x55);
  bench.PokeBytes(0, 0x1C13, {0x34, 0x12});
  const std::pair<std::int32_t, double> channels[] = {{INT32_MIN, 0x0123}, {-1, 0x0055},
                                                      {0, 0x0123},         {7, 0x0777},
                                                      {8, 0x1234},         {INT32_MAX, 0x0055}};
  for (const auto& [channel, raw] : channels) {
    double value = 0;
    EXPECT_EQ(orvane.get_ADC(channel, &value), S_OK);
    EXPECT_EQ(value, raw) << channel;
  }
  for (std::int32_t shutter : {INT32_MIN, -1, 0, 1, 2, 3, INT32_MAX}) {
    SCOPED_TRACE(shutter);
    const bool valid = shutter == 1 || shutter == 2;
    for (VARIANT_BOOL open : {VARIANT_BOOL{-1}, VARIANT_BOOL{0}}) {
      VARIANT_BOOL flag = -1;
      bench.ClearTrace();
      EXPECT_EQ(polyax.SetShutterState(shutter, open, &flag), S_OK);
      EXPECT_EQ(flag, valid ? 1 : 0);
      EXPECT_EQ(polyax.GetShutterState(shutter, &flag), S_OK);
      EXPECT_EQ(flag, valid && open != 0 ? 1 : 0);
      if (!valid) {
        EXPECT_TRUE(bench.TraceLines().empty());
        continue;
      }
      // The write, then the read, each stage port and mask (two requests per byte).
      const std::string port = "write 2 0x1D02 02 ok";
      const std::string mask = shutter == 1 ? "write 2 0x1D01 40 ok" : "write 2 0x1D01 80 ok";
      EXPECT_EQ(testing::Lines(bench, {"write 2 0x1D02", "write 2 0x1D01"}),
                (std::vector<std::string>{port, port, mask, mask, port, port, mask, mask}));
    }
  }
}

TEST(BadInputTest, FrequenciesOutsideTheRange) {
  sim::Bench bench(RunningUnits());
  KestrinControl kestrin({bench, ""});
  PolyaxControl polyax({bench, ""});
  for (std::int32_t frequency : {0, -1, -1000, 13334, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(frequency);
    VARIANT_BOOL flag = 0;
    std::int32_t readBack = -1;
    EXPECT_EQ(kestrin.SetMotorFreq(1, frequency, &flag), S_OK);
    EXPECT_EQ(flag, 1);
    kestrin.GetMotorFreq(1, &readBack);
    EXPECT_GE(readBack, 0);
    EXPECT_EQ(polyax.SetMotorFreq(0, frequency, &flag), S_OK);
    EXPECT_EQ(flag, 1);
  }
  // A fresh speed register of 0 still lets a move finish (the slowest step rate).
  VARIANT_BOOL moved = 0;
  kestrin.SetMotorFreq(1, 0, &moved);
  kestrin.MoveMotor(1, 2, 0, &moved);
  EXPECT_EQ(moved, 1);
}

TEST(BadInputTest, SerialStringsOfEveryShape) {
  sim::Bench bench(RunningUnits());
  OrvaneControl orvane({bench, ""});
  const auto select = [&](const std::u16string& serial) {
    Bstr s(serial);
    VARIANT_BOOL selected = -1;
    EXPECT_EQ(orvane.SetSerial(s.text, &selected), S_OK);
    return selected;
  };
  EXPECT_EQ(select(u""), 1);
  EXPECT_EQ(select(u"ABCDEFGHIJKLMNOP"), 1);  // 16 characters, the whole serial number
  EXPECT_EQ(select(u"ABCDEFGHIJKLMNOPQ"), 0);
  EXPECT_EQ(select(std::u16string(10'000, u'A')), 0);
  EXPECT_EQ(select(u"ABCDEFGHIJKLMNO\u4E2D"), 0);  // not in the code page: never matches
  // The filter is narrow text: it ends at an embedded zero.
  EXPECT_EQ(select(std::u16string(u"ABCDEFGHIJKLMNOP\0XYZ", 20)), 1);
  VARIANT_BOOL selected = -1;
  EXPECT_EQ(orvane.SetSerial(nullptr, &selected), S_OK);  // a null string is the empty filter
  EXPECT_EQ(selected, 1);
}

}  // namespace
}  // namespace zel
