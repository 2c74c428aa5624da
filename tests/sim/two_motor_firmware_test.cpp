// The two-motor firmware on the bench, driven through the real controller and watched through
// the chip's memory as bench time moves on.
#include <gtest/gtest.h>

#include "devices/dual_motor_controller.h"
#include "devices/dual_motor_registers.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

namespace dm = dual_motor;
using sim::UnitModel;

constexpr std::uint64_t kPeriod = 750;  // divider 10

class TwoMotorFirmwareTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::int32_t> positions = {},
             std::array<std::int32_t, 2> limits = {-1000000, 1000000}) {
    sim::UnitConfig unit = testing::Unit(0, UnitModel::kKestrin, true);
    unit.positions = std::move(positions);
    unit.limits = limits;
    unit.speedDivider = divider;
    bench = std::make_unique<sim::Bench>(testing::Bench({unit}));
    link = std::make_unique<EzUsbLink>(*bench);
    motors = std::make_unique<DualMotorController>(*link, ClassLocks().kestrin);
  }
  std::int32_t Position(int motor) {
    return static_cast<std::int32_t>(
        bench->Peek32(0, motor == 1 ? dm::kPositionMotor1 : dm::kPositionMotor2));
  }
  std::uint8_t Flags() { return bench->Peek(0, dm::kStatusFlags); }
  // Moves bench time to `micros` after `from`.
  void At(std::uint64_t from, std::uint64_t micros) {
    bench->AdvanceMicros(from + micros - bench->NowMicros());
  }

  std::uint16_t divider = 10;
  std::unique_ptr<sim::Bench> bench;
  std::unique_ptr<EzUsbLink> link;
  std::unique_ptr<DualMotorController> motors;
};

TEST_F(TwoMotorFirmwareTest, StartsWithTheUnitsPositionsAndSpeed) {
  divider = 13;
  Start({100, -20});
  EXPECT_EQ(Position(1), 100);
  EXPECT_EQ(Position(2), -20);
  EXPECT_EQ(motors->GetMotorFreq(1), 1025);
  EXPECT_EQ(Flags(), 0);
}

TEST_F(TwoMotorFirmwareTest, MoveStepsOncePerDividerPeriodAndExactlyItsCount) {
  Start();
  const auto t0 = bench->NowMicros();
  ASSERT_TRUE(motors->MoveMotor(1, 8));
  EXPECT_EQ(bench->Peek(0, dm::kMoveCommand), 0);  // taken off the register
  EXPECT_EQ(Flags(), 0x01);
  At(t0, 3 * kPeriod - 1);
  EXPECT_EQ(Position(1), 2);
  At(t0, 3 * kPeriod);
  EXPECT_EQ(Position(1), 3);
  At(t0, 8 * kPeriod - 1);
  EXPECT_EQ(Flags(), 0x01);
  At(t0, 8 * kPeriod);
  EXPECT_EQ(Flags(), 0x00);
  At(t0, 100 * kPeriod);
  EXPECT_EQ(Position(1), 8);

  ASSERT_TRUE(motors->MoveMotor(2, -3));
  EXPECT_EQ(Flags(), 0x02);
  EXPECT_TRUE(motors->WaitForMotor(2));
  EXPECT_EQ(Position(2), -3);
  EXPECT_EQ(Position(1), 8);
}

// Every register write reaches the unit as two identical requests, and the controller may send
// the command byte once more; a command for a motor under way, then or later, is dropped. Once
// the motor rests, the same command runs anew.
TEST_F(TwoMotorFirmwareTest, CommandRunsItsCountOnceAndIsDroppedWhileTheMotorRuns) {
  Start();
  const auto t0 = bench->NowMicros();
  const std::uint8_t count[4] = {4, 0, 0, 0};
  ASSERT_TRUE(link->WriteMemory(count, 4, dm::kStepCount));
  ASSERT_TRUE(link->WriteByte(0x42, dm::kMoveCommand));
  ASSERT_TRUE(link->WriteByte(0x42, dm::kMoveCommand));
  At(t0, 2 * kPeriod);
  ASSERT_TRUE(link->WriteByte(0x42, dm::kMoveCommand));
  At(t0, 4 * kPeriod);
  EXPECT_EQ(Position(1), 4);
  EXPECT_EQ(Flags(), 0x00);
  ASSERT_TRUE(link->WriteByte(0x42, dm::kMoveCommand));
  bench->AdvanceMicros(10 * kPeriod);
  EXPECT_EQ(Position(1), 8);
}

TEST_F(TwoMotorFirmwareTest, ThousandStepsAtThousandPerSecondTakeAboutOneSecond) {
  Start();
  ASSERT_TRUE(motors->SetMotorFreq(1, 1000));  // divider 13: 975 µs a step
  const auto start = bench->NowMicros();
  ASSERT_TRUE(motors->MoveMotor(1, 1000));
  ASSERT_TRUE(motors->WaitForMotor(1));
  const auto elapsed = bench->NowMicros() - start;
  EXPECT_GE(elapsed, 975'000u);
  EXPECT_LE(elapsed, 995'000u);  // the last poll and its pause
  EXPECT_EQ(motors->GetMotorPosition(1), 1000);
  EXPECT_EQ(motors->GetMotorStatus(1), eMotorStopped);
  RecordProperty("elapsed_micros", std::to_string(elapsed));
}

TEST_F(TwoMotorFirmwareTest, TravelLimitsEndMovesAtTheirSwitches) {
  Start({90}, {-50, 100});
  ASSERT_TRUE(motors->MoveMotor(1, 1000));
  EXPECT_TRUE(motors->WaitForMotor(1));
  EXPECT_EQ(Position(1), 100);
  EXPECT_EQ(motors->GetMotorStatus(1), eMotorEndForward);
  EXPECT_EQ(Flags(), 0x40);

  // Into the pressed switch: over at once. Away from it: the switch lets go.
  ASSERT_TRUE(motors->MoveMotor(1, 5));
  EXPECT_EQ(Flags(), 0x40);
  EXPECT_EQ(Position(1), 100);
  ASSERT_TRUE(motors->MoveHome(1));
  EXPECT_EQ(Flags(), 0x01);
  EXPECT_TRUE(motors->WaitForMotor(1));
  EXPECT_EQ(Position(1), -50);
  EXPECT_EQ(motors->GetMotorStatus(2), eMotorEndBackward);
  ASSERT_TRUE(motors->MoveMotor(1, 5));
  EXPECT_TRUE(motors->WaitForMotor(1));
  EXPECT_EQ(motors->GetMotorStatus(1), eMotorStopped);
  EXPECT_EQ(Position(1), -45);
}

TEST_F(TwoMotorFirmwareTest, SwitchBitsShowTheMotorLastCommanded) {
  Start({100, 0}, {-50, 100});
  EXPECT_EQ(Flags(), 0x40);  // motor 1 rests on its forward switch
  ASSERT_TRUE(motors->MoveMotor(1, 1));
  EXPECT_EQ(Flags(), 0x40);
  ASSERT_TRUE(motors->MoveMotor(2, 3));
  EXPECT_TRUE(motors->WaitForMotor(2));
  EXPECT_EQ(Flags(), 0x00);
}

TEST_F(TwoMotorFirmwareTest, StopEndsEveryMotionWhereItIs) {
  Start();
  const auto t0 = bench->NowMicros();
  ASSERT_TRUE(motors->MoveMotor(2, 100));
  At(t0, 10 * kPeriod);
  ASSERT_TRUE(motors->Stop(1));
  EXPECT_EQ(bench->Peek(0, dm::kStopRequest), 0);
  EXPECT_EQ(Flags(), 0x00);
  bench->AdvanceMicros(100 * kPeriod);
  EXPECT_EQ(Position(2), 10);
}

TEST_F(TwoMotorFirmwareTest, PositionResetMovesTheCounterNotTheMotor) {
  Start({100}, {-50, 100});
  ASSERT_TRUE(motors->ResetPosition(1));
  EXPECT_EQ(Position(1), 0);
  EXPECT_EQ(Flags(), 0x40);              // the switch stays pressed
  ASSERT_TRUE(motors->MoveMotor(1, 5));  // still against the forward switch
  EXPECT_EQ(Flags(), 0x40);
  EXPECT_EQ(Position(1), 0);
  ASSERT_TRUE(motors->MoveMotor(1, -5));
  EXPECT_TRUE(motors->WaitForMotor(1));
  EXPECT_EQ(Position(1), -5);
}

TEST_F(TwoMotorFirmwareTest, CompanionAndSpareRegistersAreTheHostsToClear) {
  Start();
  const std::uint8_t value[4] = {1, 2, 3, 4};
  ASSERT_TRUE(link->WriteMemory(value, 4, dm::kPositionCompanion));
  ASSERT_TRUE(link->WriteMemory(value, 4, dm::kPosition));
  bench->AdvanceMicros(1000);
  EXPECT_EQ(bench->Peek32(0, dm::kPositionCompanion), 0x04030201u);
  EXPECT_EQ(motors->GetMotorPosition(3), 0x04030201);
  ASSERT_TRUE(motors->ResetPosition(3));
  EXPECT_EQ(bench->Peek32(0, dm::kPositionCompanion), 0u);
  EXPECT_EQ(motors->GetMotorPosition(3), 0);
}

TEST_F(TwoMotorFirmwareTest, DividerZeroStepsAtTheSlowestSpeed) {
  divider = 0;
  Start();
  const auto t0 = bench->NowMicros();
  ASSERT_TRUE(motors->MoveMotor(1, 2));
  At(t0, 65536 * 75 - 1);
  EXPECT_EQ(Position(1), 0);
  At(t0, 65536 * 75);
  EXPECT_EQ(Position(1), 1);
}

TEST_F(TwoMotorFirmwareTest, NewSpeedTakesOverFromTheLastStep) {
  divider = 100;  // 7.5 ms a step
  Start();
  const auto t0 = bench->NowMicros();
  ASSERT_TRUE(motors->MoveMotor(1, 10));
  At(t0, 15'300);
  EXPECT_EQ(Position(1), 2);                   // steps at 7.5 and 15 ms
  ASSERT_TRUE(motors->SetMotorFreq(1, 1333));  // divider 10
  At(t0, 15'750 + 7 * kPeriod - 1);            // the rest every 0.75 ms from the last step on
  EXPECT_EQ(Position(1), 9);
  At(t0, 15'750 + 7 * kPeriod);
  EXPECT_EQ(Position(1), 10);
  EXPECT_EQ(Flags(), 0x00);
}

}  // namespace
}  // namespace zel
