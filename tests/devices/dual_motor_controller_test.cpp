// The two-motor protocol. The exchanges are checked on a chip without firmware, whose registers
// the test sets by hand; the shared operations also run against the bench firmware.
#include "devices/dual_motor_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/dual_motor_registers.h"
#include "sim/bench.h"
#include "tests/devices/register_exchanges.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

namespace dm = dual_motor;
using sim::UnitModel;
using ::testing::ElementsAre;
using testing::Join;
using testing::Lines;

class DualMotorTest : public ::testing::Test {
 protected:
  std::vector<std::string> Traffic() { return Lines(bench, {"write", "read"}); }
  // Line n of the traffic; a shorter traffic gives a line that fails the comparison.
  std::string TrafficLine(std::size_t n) {
    const auto traffic = Traffic();
    return n < traffic.size() ? traffic[n] : std::to_string(traffic.size()) + " lines only";
  }
  void SetPosition(std::uint16_t reg, std::int32_t value) {
    std::uint8_t bytes[4];
    ezusb::Put32(bytes, static_cast<std::uint32_t>(value));
    bench.PokeBytes(0, reg, {bytes, bytes + 4});
  }

  sim::Bench bench{testing::Bench({testing::Unit(0, UnitModel::kKestrin)})};
  EzUsbLink link{bench};
  DualMotorController motors{link, ClassLocks().kestrin};
};

TEST_F(DualMotorTest, StatusDecodesInOrderAndIgnoresTheMotorNumber) {
  const std::pair<std::uint8_t, std::int32_t> cases[] = {{0x41, 1}, {0x02, 1}, {0xC0, 2}, {0x40, 2},
                                                         {0x80, 3}, {0x3C, 0}, {0x00, 0}};
  for (const auto& [flags, status] : cases) {
    bench.Poke(0, dm::kStatusFlags, flags);
    for (int motor : {1, 2, 7}) EXPECT_EQ(motors.GetMotorStatus(motor), status) << int{flags};
  }
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(motors.GetMotorStatus(1), eMotorStatusError);
  EXPECT_EQ(motors.GetLastError(), 6);
}

TEST_F(DualMotorTest, PositionRegisterByMotorNumber) {
  SetPosition(dm::kPositionMotor1, -10);
  SetPosition(dm::kPositionMotor2, 70000);
  SetPosition(dm::kPosition, 3);
  EXPECT_EQ(motors.GetMotorPosition(1), -10);
  EXPECT_EQ(motors.GetMotorPosition(2), 70000);
  EXPECT_EQ(motors.GetMotorPosition(3), 3);
  EXPECT_EQ(motors.GetMotorPosition(-1), 3);
  EXPECT_THAT(Traffic(),
              ElementsAre("read 0 0x1C36 4 ok F6 FF FF FF", "read 0 0x1C3A 4 ok 70 11 01 00",
                          "read 0 0x1C2C 4 ok 03 00 00 00", "read 0 0x1C2C 4 ok 03 00 00 00"));
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(motors.GetMotorPosition(1), kNoPosition);
  bench.Unplug(0);
  EXPECT_EQ(motors.GetMotorPosition(1), kNoPosition);
}

// After the command, a stopped status with the motor where it was means the unit has not
// taken the command: it goes out a second time. A chip without firmware never takes it. Any
// other status, or a failed status read, sends it once; an unreadable position sends it again.
TEST_F(DualMotorTest, CommandIsRepeatedOnlyWhileTheUnitReportsNoMotionAndTheSamePosition) {
  const std::string status = "read 0 0x1C22 1 ok ";
  const std::vector<std::string> count = {"write 0 0x1C30 FB FF FF FF ok",
                                          "write 0 0x1C30 FB FF FF FF ok"};
  const std::vector<std::string> command = {"write 0 0x1C20 62 ok", "write 0 0x1C20 62 ok"};
  const std::string position = "read 0 0x1C3A 4 ok 00 00 00 00";
  const std::string unreadable = "read 0 0x1C3A 4 fail";
  const struct {
    const char* name;
    std::uint8_t flags;
    std::uint64_t failing;  // the request that fails, counted from the move's first
    std::vector<std::string> traffic;
  } cases[] = {
      {"not taken", 0x00, 0,
       Join({{status + "00"}, count, {position}, command, {status + "00", position}, command})},
      {"resting at the forward switch", 0x40, 0,
       Join({{status + "40"}, count, {position}, command, {status + "40"}})},
      {"resting at the backward switch", 0x80, 0,
       Join({{status + "80"}, count, {position}, command, {status + "80"}})},
      {"running", 0x01, 0, {status + "01"}},
      {"status read after the command fails", 0x00, 7,
       Join({{status + "00"}, count, {position}, command, {"read 0 0x1C22 1 fail"}})},
      {"position read before the command fails", 0x00, 4,
       Join({{status + "00"}, count, {unreadable}, command, {status + "00"}, command})},
      {"position read after the command fails", 0x00, 8,
       Join({{status + "00"}, count, {position}, command, {status + "00", unreadable}, command})},
  };
  for (const auto& c : cases) {
    bench.Poke(0, dm::kStatusFlags, c.flags);
    bench.ClearTrace();
    if (c.failing != 0) bench.FailRequest(c.failing);
    EXPECT_EQ(motors.MoveMotor(2, -5), c.flags != 0x01) << c.name;
    EXPECT_EQ(Traffic(), c.traffic) << c.name;
  }
}

TEST_F(DualMotorTest, MoveHomeSendsTheLongestBackwardMoveInTheStoredMode) {
  EXPECT_TRUE(motors.MoveHome(1));
  EXPECT_EQ(TrafficLine(1), "write 0 0x1C30 01 00 00 80 ok");
  EXPECT_EQ(TrafficLine(4), "write 0 0x1C20 42 ok");
}

TEST_F(DualMotorTest, RefusedMovesSendNothing) {
  EXPECT_FALSE(motors.MoveMotor(0, 10));
  EXPECT_EQ(motors.GetLastError(), 12);
  EXPECT_FALSE(motors.MoveMotor(3, 10));
  EXPECT_EQ(motors.GetLastError(), 12);
  EXPECT_TRUE(Traffic().empty());

  bench.Poke(0, dm::kStatusFlags, 0x02);  // motor 2 running: motor 1 must wait too
  EXPECT_FALSE(motors.MoveMotor(1, 10));
  bench.Poke(0, dm::kStatusFlags, 0);
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(motors.MoveMotor(1, 10));
  EXPECT_TRUE(motors.MoveMotor(1, 0));  // nothing to do
  EXPECT_THAT(Traffic(), ElementsAre("read 0 0x1C22 1 ok 02", "read 0 0x1C22 1 fail",
                                     "read 0 0x1C22 1 ok 00"));
}

TEST_F(DualMotorTest, ModeIsKeptOnTheHostAndGoesOutWithTheNextMove) {
  EXPECT_EQ(motors.GetMotorMode(1), 2);
  EXPECT_FALSE(motors.SetMotorMode(1, 3));
  EXPECT_FALSE(motors.SetMotorMode(1, 0));
  EXPECT_EQ(motors.GetMotorMode(2), 2);
  EXPECT_TRUE(motors.SetMotorMode(2, 1));
  EXPECT_EQ(motors.GetMotorMode(1), 1);
  EXPECT_TRUE(Traffic().empty());
  EXPECT_TRUE(motors.MoveMotor(1, 1));
  EXPECT_EQ(TrafficLine(4), "write 0 0x1C20 41 ok");
  EXPECT_EQ(motors.GetMotorCount(), 2);
}

TEST_F(DualMotorTest, SpeedDividerEncodingBothWays) {
  const struct {
    std::int32_t frequency;
    const char* written;
    std::int32_t readBack;
  } cases[] = {{750, "11 00", 784}, {500, "1A 00", 512},     {1000, "0D 00", 1025},
               {1, "15 34", 1},     {13333, "01 00", 13333}, {13334, "00 00", 0},
               {0, "00 00", 0},     {-1000, "F3 FF", 0}};
  for (const auto& c : cases) {
    bench.ClearTrace();
    EXPECT_TRUE(motors.SetMotorFreq(1, c.frequency));
    EXPECT_EQ(TrafficLine(0), std::string("write 0 0x1C26 ") + c.written + " ok") << c.frequency;
    EXPECT_EQ(motors.GetMotorFreq(2), c.readBack) << c.frequency;
  }
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(motors.GetMotorFreq(1), -1);
}

TEST_F(DualMotorTest, ResetPositionClearsTheSharedRegistersAndOnlyItsOwnPosition) {
  const std::string zeros = " 00 00 00 00 ok";
  const std::pair<std::int32_t, std::vector<const char*>> cases[] = {
      {1, {"0x1C28", "0x1C2C", "0x1C36"}},
      {2, {"0x1C28", "0x1C2C", "0x1C3A"}},
      {-1, {"0x1C28", "0x1C2C"}},
      {5, {"0x1C28", "0x1C2C"}}};
  for (const auto& [motor, registers] : cases) {
    bench.ClearTrace();
    EXPECT_TRUE(motors.ResetPosition(motor));
    std::vector<std::string> expected;
    for (const char* r : registers)
      expected.insert(expected.end(), 2, std::string("write 0 ") + r + zeros);
    EXPECT_EQ(Traffic(), expected) << motor;
  }
  bench.ClearTrace();
  bench.FailRequest(2);  // the first register fails: nothing more is written
  EXPECT_FALSE(motors.ResetPosition(1));
  EXPECT_EQ(Traffic().size(), 2u);
}

TEST_F(DualMotorTest, StopWritesOneWhicheverMotorIsNamed) {
  EXPECT_TRUE(motors.Stop(5));
  EXPECT_THAT(Traffic(), ElementsAre("write 0 0x1C21 01 ok", "write 0 0x1C21 01 ok"));
}

TEST_F(DualMotorTest, MoveToPosSendsTheWrappedDifference) {
  SetPosition(dm::kPositionMotor1, -10);
  EXPECT_TRUE(motors.MoveToPos(1, 2147483647));  // -2147483639
  EXPECT_EQ(TrafficLine(2), "write 0 0x1C30 09 00 00 80 ok");

  bench.ClearTrace();
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(motors.MoveToPos(1, 0));
  EXPECT_THAT(Traffic(), ElementsAre("read 0 0x1C36 4 fail"));
}

// Against the firmware: the move starts, the status shows it, and the motor arrives.
TEST(DualMotorOnFirmwareTest, SharedOperationsReachTheirTarget) {
  sim::UnitConfig unit = testing::Unit(0, UnitModel::kOrvane, true);
  unit.positions = {100, -20};
  unit.speedDivider = 13;
  sim::Bench bench(testing::Bench({unit}));
  EzUsbLink link(bench);
  DualMotorController motors(link, ClassLocks().orvane);

  EXPECT_TRUE(motors.MoveToPos(2, 30));
  // The firmware reports the motion at once: the command goes out only once.
  EXPECT_EQ(Lines(bench, {"write 0 0x1C20"}).size(), 2u);
  EXPECT_EQ(motors.GetMotorStatus(1), eMotorRunning);
  EXPECT_FALSE(motors.MoveMotor(1, 5));  // one status register: motor 1 waits
  EXPECT_TRUE(motors.WaitForMotor(2));
  EXPECT_EQ(motors.GetMotorPosition(2), 30);
  EXPECT_EQ(motors.GetMotorPosition(1), 100);

  EXPECT_TRUE(motors.MoveToPos(1, 40));
  EXPECT_TRUE(motors.WaitForMotor(1));
  EXPECT_EQ(motors.GetMotorPosition(1), 40);
  EXPECT_TRUE(motors.ResetPosition(1));
  EXPECT_EQ(motors.GetMotorPosition(1), 0);
  EXPECT_EQ(motors.GetMotorPosition(2), 30);
}

}  // namespace
}  // namespace zel
