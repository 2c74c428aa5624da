// The Polyax firmware on the bench, driven through the controller: motors really move, and
// each command acts on the selected motor only.
#include <gtest/gtest.h>

#include "devices/polyax_controller.h"
#include "devices/polyax_registers.h"
#include "sim/bench.h"
#include "tests/devices/register_exchanges.h"

namespace zel {
namespace {

// 75 µs per step unless a test sets another speed; travel from -1000 to 1000.
sim::UnitConfig FastUnit(std::uint64_t commandMicros = 1000) {
  sim::UnitConfig unit;
  unit.speedDivider = 1;
  unit.limits = {-1000, 1000};
  unit.commandMicros = commandMicros;
  return unit;
}

struct Polyax {
  explicit Polyax(sim::UnitConfig unit = FastUnit())
      : bench(testing::RunningUnit(sim::UnitModel::kPolyax, unit)) {}
  sim::Bench bench;
  EzUsbLink link{bench};
  DeviceLock lock;
  PolyaxController motors{link, lock};
};

TEST(PolyaxFirmwareTest, MoveTurnsTheSelectedMotorOnly) {
  Polyax polyax;
  auto& motors = polyax.motors;
  ASSERT_TRUE(motors.SetMotorFreq(7, 1000));  // divider 13: 975 µs per step
  const auto start = polyax.bench.NowMicros();
  ASSERT_TRUE(motors.MoveMotor(7, 500));
  EXPECT_EQ(motors.GetMotorStatus(7), eMotorRunning);
  EXPECT_EQ(motors.GetMotorStatus(6), eMotorStopped);
  EXPECT_TRUE(motors.WaitForMotor(7));
  EXPECT_EQ(motors.GetMotorPosition(7), 500);
  EXPECT_EQ(motors.GetMotorPosition(6), 0);
  EXPECT_GE(polyax.bench.NowMicros() - start, 500u * 975u);
  EXPECT_EQ(motors.GetMotorFreq(7), 1025);
  EXPECT_EQ(motors.GetMotorFreq(6), 13333);  // the unit's own divider 1
}

TEST(PolyaxFirmwareTest, MoveOfZeroStepsDoesNotReplayTheLastCount) {
  Polyax polyax;
  ASSERT_TRUE(polyax.motors.MoveMotor(3, 100));
  ASSERT_TRUE(polyax.motors.WaitForMotor(3));
  ASSERT_TRUE(polyax.motors.MoveMotor(3, 0));
  EXPECT_TRUE(polyax.motors.WaitForMotor(3));
  EXPECT_EQ(polyax.motors.GetMotorPosition(3), 100);
}

TEST(PolyaxFirmwareTest, HomingStopsOnTheBackwardEndSwitch) {
  Polyax polyax;
  auto& motors = polyax.motors;
  ASSERT_TRUE(motors.MoveHome(4));
  EXPECT_TRUE(motors.WaitForMotor(4));
  EXPECT_EQ(motors.GetMotorStatus(4), eMotorEndBackward);
  EXPECT_EQ(motors.GetMotorPosition(4), -1000);
  EXPECT_TRUE(motors.ResetPosition(4));
  EXPECT_EQ(motors.GetMotorPosition(4), 0);
  EXPECT_EQ(motors.GetMotorStatus(4), eMotorEndBackward);  // the switch stays where it is
}

TEST(PolyaxFirmwareTest, StopEndsTheMoveWhereTheMotorIs) {
  Polyax polyax;
  auto& motors = polyax.motors;
  ASSERT_TRUE(motors.SetMotorFreq(2, 1000));
  ASSERT_TRUE(motors.MoveMotor(2, 900));
  polyax.link.Pause(100);
  EXPECT_TRUE(motors.Stop(2));
  const std::int32_t stopped = motors.GetMotorPosition(2);
  EXPECT_GT(stopped, 50);
  EXPECT_LT(stopped, 900);
  polyax.link.Pause(1000);
  EXPECT_EQ(motors.GetMotorStatus(2), eMotorStopped);
  EXPECT_EQ(motors.GetMotorPosition(2), stopped);
}

// The host writes the command byte twice at one instant. Even a firmware that answers at once
// carries it out once: a second stage command would find no fresh control byte and drop the
// staged move.
TEST(PolyaxFirmwareTest, RepeatedCommandWriteIsTakenOnce) {
  Polyax polyax(FastUnit(0));
  ASSERT_TRUE(polyax.motors.MoveMotor(5, 16));
  EXPECT_TRUE(polyax.motors.WaitForMotor(5));
  EXPECT_EQ(polyax.motors.GetMotorPosition(5), 16);
  EXPECT_EQ(polyax.bench.Peek(0, polyax::kCommand), polyax::kAnswerDone);
}

}  // namespace
}  // namespace zel
