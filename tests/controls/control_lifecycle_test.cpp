// How the controls find, boot and select their units.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "devices/dual_motor_registers.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;
using testing::Bench;
using testing::Bstr;
using testing::Count;
using testing::Lines;
using testing::Unit;

BSTR Wide(const std::string& text) {
  BSTR s = nullptr;
  NarrowToBstr(text, &s);
  return s;
}

sim::UnitConfig Serial(sim::UnitConfig unit, const char* serial) {
  unit.serial = serial;
  return unit;
}

TEST(ControlLifecycleTest, CreationWithoutAUnitSucceedsUnbound) {
  sim::Bench bench;
  KestrinControl kestrin({bench, ""});
  OrvaneControl orvane({bench, ""});
  PolyaxControl polyax({bench, ""});
  VARIANT_BOOL present = -1;
  std::int32_t error = -1;
  Bstr text;
  EXPECT_EQ(kestrin.IsDevicePresent(&present), S_OK);
  EXPECT_EQ(present, 0);
  EXPECT_EQ(kestrin.get_LastError(&error), S_OK);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(polyax.get_LastErrorText(&text.text), S_OK);
  EXPECT_EQ(text.Narrow(), "No Device");
  EXPECT_EQ(orvane.Link().DeviceIndex(), 128);
}

TEST(ControlLifecycleTest, BootsAUnitWithoutFirmwareAndGivesItTheDefaultSpeed) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  KestrinControl kestrin({bench, ""});
  EXPECT_TRUE(bench.FirmwareRunning(0));
  EXPECT_TRUE(kestrin.Link().DevicePresent());
  EXPECT_EQ(bench.Peek(0, dual_motor::kSpeedDivider), 26);  // 500 steps/s
  std::int32_t frequency = 0;
  kestrin.GetMotorFreq(1, &frequency);
  EXPECT_EQ(frequency, 512);
  const auto lines = bench.TraceLines();
  EXPECT_GT(Count(lines, "write 0 0x7F92 01"), 0);  // held for the download
  EXPECT_GT(Count(lines, "write 0 0x7F92 00"), 0);  // and started
}

TEST(ControlLifecycleTest, RunningUnitWithASpeedIsLeftAlone) {
  sim::UnitConfig unit = Unit(0, UnitModel::kKestrin, true);
  unit.speedDivider = 13;
  sim::Bench bench(Bench({unit}));
  KestrinControl kestrin({bench, ""});
  EXPECT_EQ(Lines(bench, {"write"}), std::vector<std::string>{});
  EXPECT_EQ(bench.Peek(0, dual_motor::kSpeedDivider), 13);
}

TEST(ControlLifecycleTest, SerialSelectionBootsAndRejectsTheLowerUnit) {
  sim::Bench bench(Bench({Serial(Unit(1, UnitModel::kKestrin), "KS-0001"),
                          Serial(Unit(4, UnitModel::kKestrin, true), "KS-0002")}));
  KestrinControl kestrin({bench, ""});
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 1);
  VARIANT_BOOL selected = 0;
  BSTR wanted = Wide("KS-0002");
  EXPECT_EQ(kestrin.SetSerial(wanted, &selected), S_OK);
  EXPECT_EQ(selected, 1);
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 4);
  // Letter case counts.
  BSTR lower = Wide("ks-0002");
  EXPECT_EQ(kestrin.SetSerial(lower, &selected), S_OK);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 128);
  Bstr serial;
  EXPECT_EQ(kestrin.GetSerial(&serial.text), S_OK);
  EXPECT_EQ(serial.Narrow(), "");  // unbound: the unit is not asked
  SysFreeString(wanted);
  SysFreeString(lower);
}

TEST(ControlLifecycleTest, SerialFilterPassesOverAUnitThatNeedsBooting) {
  sim::Bench bench(Bench({Serial(Unit(0, UnitModel::kPolyax), "PX-0001"),
                          Serial(Unit(2, UnitModel::kPolyax), "PX-0002")}));
  PolyaxControl polyax({bench, ""});
  ASSERT_EQ(polyax.Link().DeviceIndex(), 0);
  BSTR wanted = Wide("PX-0002");
  VARIANT_BOOL selected = 0;
  polyax.SetSerial(wanted, &selected);
  SysFreeString(wanted);
  EXPECT_EQ(selected, 1);
  EXPECT_EQ(polyax.Link().DeviceIndex(), 2);
  EXPECT_TRUE(bench.FirmwareRunning(0));
  EXPECT_TRUE(bench.FirmwareRunning(2));
  Bstr serial;
  polyax.GetSerial(&serial.text);
  EXPECT_EQ(serial.Narrow(), "PX-0002");
}

TEST(ControlLifecycleTest, UnitOfAnotherClassIsNeverOpenedForBooting) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kOrvane), Unit(1, UnitModel::kKestrin)}));
  KestrinControl kestrin({bench, ""});
  const auto lines = bench.TraceLines();
  EXPECT_EQ(Count(lines, "write 0"), 0);
  EXPECT_EQ(Count(lines, "read 0"), 0);
  EXPECT_FALSE(bench.FirmwareRunning(0));
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 1);
}

TEST(ControlLifecycleTest, MissingFirmwareSkipsUnitsThatNeedItButSelectsARunningOne) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kOrvane), Unit(3, UnitModel::kOrvane, true)}));
  OrvaneControl orvane({bench, "/nonexistent/firmware/"});
  EXPECT_EQ(orvane.Link().DeviceIndex(), 3);
  EXPECT_FALSE(bench.FirmwareRunning(0));
  EXPECT_EQ(bench.Peek(0, 0x7F92), 1);  // left held in reset

  sim::Bench lonely(Bench({Unit(0, UnitModel::kOrvane)}));
  OrvaneControl unbound({lonely, "/nonexistent/firmware"});
  EXPECT_FALSE(unbound.Link().DevicePresent());
}

TEST(ControlLifecycleTest, PolyaxWithoutMotorOneGetsTheDefaultSpeedOnAllMotors) {
  sim::UnitConfig unit = Unit(0, UnitModel::kPolyax, true);
  unit.motors = {2, 3, 4};
  sim::Bench bench(Bench({unit}));
  PolyaxControl polyax({bench, ""});
  const auto lines = Lines(bench, {"write"});
  // Divider 9 (1400 steps/s) is staged once per motor, 32 times.
  EXPECT_EQ(Count(lines, "write 0 0x1C26 09 00 ok"), 64);
  std::int32_t frequency = 0;
  polyax.GetMotorFreq(3, &frequency);
  EXPECT_EQ(frequency, 1481);
}

TEST(ControlLifecycleTest, PresenceFollowsTheUnitAndItsHeartbeat) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin, true)}));
  KestrinControl kestrin({bench, ""});
  VARIANT_BOOL present = 0;
  kestrin.IsDevicePresent(&present);
  EXPECT_EQ(present, 1);
  // Firmware lost, but the device node opens and the last operation went well: still present.
  bench.PowerCycle(0);
  kestrin.IsDevicePresent(&present);
  EXPECT_EQ(present, 1);
  // Once an operation leaves a code, the heartbeat decides.
  kestrin.Link().SetStatus(LinkStatus::eErrorDataRead);
  kestrin.IsDevicePresent(&present);
  EXPECT_EQ(present, 0);
  bench.Unplug(0);
  kestrin.IsDevicePresent(&present);
  EXPECT_EQ(present, 0);
}

TEST(ControlLifecycleTest, DestroyingAControlLeavesTheMotorRunning) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin, true)}));
  {
    KestrinControl first({bench, ""});
    VARIANT_BOOL started = 0;
    first.MoveMotor(1, 100000, 1, &started);
    ASSERT_EQ(started, 1);
  }
  bench.ClearTrace();
  KestrinControl second({bench, ""});
  EXPECT_EQ(Count(bench.TraceLines(), "write 0 0x7F92"), 0);  // not booted again
  EMotorStatus status = eMotorStatusError;
  second.GetMotorStatus(1, &status);
  EXPECT_EQ(status, eMotorRunning);
}

}  // namespace
}  // namespace zel
