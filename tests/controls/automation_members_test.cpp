// The automation members as a client sees them, on running bench units.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;
using testing::Bench;
using testing::Bstr;
using testing::Lines;
using testing::Unit;

sim::BenchConfig RunningUnits() {
  sim::UnitConfig orvane = Unit(0, UnitModel::kOrvane, true);
  orvane.speedDivider = 17;
  orvane.serial = "OR-0001";
  orvane.version = {2, 10};
  orvane.adc = {{0, 0x1234}, {4, 3048}};
  orvane.temperatureRaw = 3048;
  orvane.lines = {{14, 1}};
  sim::UnitConfig kestrin = Unit(1, UnitModel::kKestrin, true);
  kestrin.speedDivider = 13;
  kestrin.serial = "KS-0001";
  kestrin.limits = {-50, 5000};
  sim::UnitConfig polyax = Unit(2, UnitModel::kPolyax, true);
  polyax.speedDivider = 13;
  polyax.serial = "PX-0001";
  return Bench({orvane, kestrin, polyax});
}

class MembersTest : public ::testing::Test {
 protected:
  sim::Bench bench{RunningUnits()};
  OrvaneControl orvane{{bench, ""}};
  KestrinControl kestrin{{bench, ""}};
  PolyaxControl polyax{{bench, ""}};
};

TEST_F(MembersTest, SynchronousMoveWaitsAndReportsOne) {
  VARIANT_BOOL result = -1;
  const auto start = bench.NowMicros();
  EXPECT_EQ(kestrin.MoveMotor(1, 400, 0, &result), S_OK);
  EXPECT_EQ(result, 1);                            // 1, never -1
  EXPECT_GT(bench.NowMicros() - start, 300'000u);  // 400 steps at 1025 steps/s
  std::int32_t position = 0;
  kestrin.GetMotorPosition(1, &position);
  EXPECT_EQ(position, 400);
  kestrin.MoveToPos(1, 100, 0, &result);
  EXPECT_EQ(result, 1);
  kestrin.GetMotorPosition(1, &position);
  EXPECT_EQ(position, 100);
}

TEST_F(MembersTest, AsynchronousMoveReturnsAtOnceForAnyNonZeroFlag) {
  for (VARIANT_BOOL flag : {VARIANT_BOOL{1}, VARIANT_BOOL{-1}}) {
    VARIANT_BOOL result = 0;
    const auto start = bench.NowMicros();
    EXPECT_EQ(kestrin.MoveMotor(2, 1000, flag, &result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_LT(bench.NowMicros() - start, 20'000u);
    EMotorStatus status = eMotorStopped;
    kestrin.GetMotorStatus(2, &status);
    EXPECT_EQ(status, eMotorRunning);
    kestrin.Stop(2, &result);
    EXPECT_EQ(result, 1);
    bench.Sleep(20);
  }
}

TEST_F(MembersTest, HomingRunsIntoTheBackwardEndSwitch) {
  VARIANT_BOOL result = 0;
  kestrin.MoveHome(1, 0, &result);
  EXPECT_EQ(result, 1);
  EMotorStatus status = eMotorStatusError;
  kestrin.GetMotorStatus(1, &status);
  EXPECT_EQ(status, eMotorEndBackward);
  std::int32_t position = 0;
  kestrin.GetMotorPosition(1, &position);
  EXPECT_EQ(position, -50);
}

// A refused move reports 0 and keeps its code; the wait is not run.
TEST_F(MembersTest, RefusedSynchronousMoveReportsZeroAndKeepsItsCode) {
  VARIANT_BOOL result = 1;
  bench.ClearTrace();
  EXPECT_EQ(kestrin.MoveMotor(3, 10, 0, &result), S_OK);
  EXPECT_EQ(result, 0);
  std::int32_t error = 0;
  kestrin.get_LastError(&error);
  EXPECT_EQ(error, 12);
  Bstr text;
  kestrin.get_LastErrorText(&text.text);
  EXPECT_EQ(text.Narrow(), "No motor present");
  EXPECT_TRUE(Lines(bench, {"sleep"}).empty());
}

TEST_F(MembersTest, MoveOnAVanishedUnitReportsZeroAndNoDevice) {
  bench.Unplug(1);
  VARIANT_BOOL result = 1;
  kestrin.MoveHome(1, 0, &result);
  EXPECT_EQ(result, 0);
  std::int32_t error = 0;
  kestrin.get_LastError(&error);
  EXPECT_EQ(error, 1);
  std::int32_t position = 0;
  kestrin.GetMotorPosition(1, &position);
  EXPECT_EQ(position, 2147483647);
  EMotorStatus status = eMotorStopped;
  kestrin.GetMotorStatus(1, &status);
  EXPECT_EQ(status, eMotorStatusError);
}

TEST_F(MembersTest, SpeedAndModeMembers) {
  VARIANT_BOOL result = 0;
  std::int32_t value = 0;
  orvane.SetMotorFreq(1, 750, &result);
  EXPECT_EQ(result, 1);
  orvane.GetMotorFreq(2, &value);
  EXPECT_EQ(value, 784);
  orvane.SetMotorMode(1, 3, &result);
  EXPECT_EQ(result, 0);
  orvane.SetMotorMode(1, 1, &result);
  EXPECT_EQ(result, 1);
  orvane.GetMotorMode(1, &value);
  EXPECT_EQ(value, 1);
  polyax.SetMotorMode(7, 1, &result);
  polyax.GetMotorMode(7, &value);
  EXPECT_EQ(value, 1);
  polyax.GetMotorMode(8, &value);
  EXPECT_EQ(value, 2);
}

TEST_F(MembersTest, UnitInformation) {
  Bstr version, serial;
  EXPECT_EQ(orvane.get_FirmwareVersion(&version.text), S_OK);
  EXPECT_EQ(version.Narrow(), "2.10");
  EXPECT_EQ(polyax.GetSerial(&serial.text), S_OK);
  EXPECT_EQ(serial.Narrow(), "PX-0001");
  bench.Unplug(0);
  Bstr gone;
  orvane.get_FirmwareVersion(&gone.text);
  EXPECT_EQ(gone.Narrow(), "0.0");
}

TEST_F(MembersTest, OrvaneSensors) {
  double value = 0;
  EXPECT_EQ(orvane.get_Temperature(&value), S_OK);
  EXPECT_EQ(value, 20.0);
  orvane.get_ADC(0, &value);
  EXPECT_EQ(value, 4660.0);
  orvane.get_ADC(6, &value);  // no value configured
  EXPECT_EQ(value, 2147483647.0);
  EXPECT_EQ(orvane.put_Temperature(21.0), S_OK);
  orvane.get_Temperature(&value);
  EXPECT_DOUBLE_EQ(value, 21.0);
  bench.Unplug(0);
  orvane.get_Temperature(&value);
  EXPECT_TRUE(std::isinf(value));
}

TEST_F(MembersTest, UndervoltageDetectionIsTheInverseOfLine14) {
  VARIANT_BOOL enabled = -1;
  orvane.get_UndervoltageDetection(&enabled);
  EXPECT_EQ(enabled, 0);  // line 14 on: detection off
  EXPECT_EQ(orvane.put_UndervoltageDetection(-1), S_OK);
  orvane.get_UndervoltageDetection(&enabled);
  EXPECT_EQ(enabled, 1);
  orvane.put_UndervoltageDetection(0);
  orvane.get_UndervoltageDetection(&enabled);
  EXPECT_EQ(enabled, 0);
  bench.Unplug(0);  // an unreadable line reads as detection enabled
  orvane.get_UndervoltageDetection(&enabled);
  EXPECT_EQ(enabled, 1);
}

TEST_F(MembersTest, ShuttersReportTheLineWrite) {
  VARIANT_BOOL result = 0, open = 0;
  polyax.SetShutterState(2, -1, &result);
  EXPECT_EQ(result, 1);
  polyax.GetShutterState(2, &open);
  EXPECT_EQ(open, 1);
  polyax.GetShutterState(1, &open);
  EXPECT_EQ(open, 0);
  bench.ClearTrace();
  polyax.SetShutterState(3, 1, &result);
  EXPECT_EQ(result, 0);
  polyax.GetShutterState(0, &open);
  EXPECT_EQ(open, 0);
  EXPECT_TRUE(bench.TraceLines().empty());
  bench.Unplug(2);  // the write fails, and the result says so
  polyax.SetShutterState(1, 1, &result);
  EXPECT_EQ(result, 0);
}

TEST_F(MembersTest, PolyaxMovesThroughTheInterface) {
  VARIANT_BOOL result = 0;
  polyax.MoveMotor(7, 250, 0, &result);
  EXPECT_EQ(result, 1);
  std::int32_t position = 0;
  polyax.GetMotorPosition(7, &position);
  EXPECT_EQ(position, 250);
  polyax.MoveMotor(33, 1, 0, &result);
  EXPECT_EQ(result, 0);
}

TEST_F(MembersTest, NullResultPointersAreRefused) {
  EXPECT_EQ(kestrin.MoveMotor(1, 10, 0, nullptr), E_POINTER);
  EXPECT_EQ(kestrin.get_LastErrorText(nullptr), E_POINTER);
  EXPECT_EQ(orvane.get_Temperature(nullptr), E_POINTER);
}

TEST_F(MembersTest, StringAllocationFailureEndsWithOutOfMemory) {
  BSTR untouched = nullptr;
  automation::FailStringAllocations(1);
  EXPECT_EQ(kestrin.get_FirmwareVersion(&untouched), E_OUTOFMEMORY);
  automation::FailStringAllocations(1);
  EXPECT_EQ(kestrin.GetSerial(&untouched), E_OUTOFMEMORY);
  automation::FailStringAllocations(1);
  EXPECT_EQ(kestrin.get_LastErrorText(&untouched), E_OUTOFMEMORY);
  EXPECT_EQ(untouched, nullptr);
}

}  // namespace
}  // namespace zel
