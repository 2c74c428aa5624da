// The Polyax command-mailbox protocol against a Polyax unit on the bench, whose firmware
// carries each command out within 1 ms (one 10 ms poll).
#include "devices/polyax_controller.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "devices/polyax_registers.h"
#include "tests/devices/register_exchanges.h"

namespace zel {
namespace {

using testing::CountOf;
using testing::Exchanges;
using testing::Join;
using Lines = std::vector<std::string>;

std::string Format(const char* format, int value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// One command exchange for `motor`, answered after one pause, followed by `then`.
Lines Command(int motor, int code, Lines then = {}) {
  const std::string select = Format("write 0 0x1C34 %02X ok", motor - 1);
  const std::string command = Format("write 0 0x1C35 %02X ok", code);
  Lines lines = {select,
                 select,
                 command,
                 command,
                 Format("read 0 0x1C35 1 ok %02X", code),
                 "status",
                 "sleep 10",
                 "read 0 0x1C35 1 ok 00",
                 "status"};
  lines.insert(lines.end(), then.begin(), then.end());
  return lines;
}

const Lines kNothingPending = {"read 0 0x1C35 1 ok 00", "status"};
const Lines kStopped = {"read 0 0x1C22 1 ok 00", "status"};

struct Polyax {
  explicit Polyax(sim::UnitConfig unit = {})
      : bench(testing::RunningUnit(sim::UnitModel::kPolyax, unit)) {}
  sim::Bench bench;
  EzUsbLink link{bench};
  DeviceLock lock;
  PolyaxController motors{link, lock};
};

TEST(PolyaxControllerTest, PositionIsACommandThenTheStagingRegister) {
  sim::UnitConfig unit;
  unit.positions = {0, 0, -100};
  Polyax polyax(unit);
  EXPECT_EQ(polyax.motors.GetMotorPosition(3), -100);
  EXPECT_EQ(Exchanges(polyax.bench), Command(3, 6, {"read 0 0x1C2C 4 ok 9C FF FF FF"}));
}

TEST(PolyaxControllerTest, MissingAndSilentMotorsFail) {
  sim::UnitConfig unit;
  unit.motors = {1, 2, 3, 4, 5};
  unit.faultyMotors = {5};
  Polyax polyax(unit);
  EXPECT_EQ(polyax.motors.GetMotorStatus(33), eMotorStatusError);
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoMotorPresent);
  EXPECT_EQ(Exchanges(polyax.bench), Lines{"status"});  // only the probe just above
  EXPECT_FALSE(polyax.motors.MoveMotor(0, 10));  // its pending-command read clears the 12 first
  EXPECT_EQ(CountOf(Exchanges(polyax.bench), "write"), 0);  // refused before sending
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoMotorPresent);
  EXPECT_EQ(polyax.motors.GetMotorStatus(9), eMotorStatusError);  // firmware answers 1
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoMotorPresent);
  EXPECT_EQ(polyax.motors.GetMotorPosition(5), kNoPosition);  // firmware answers 2
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoMotorCommunication);
  EXPECT_EQ(polyax.motors.GetMotorFreq(9), 0);  // the command failed
  // Select and command (two requests each), the busy answer, the done answer, the divider.
  polyax.bench.FailRequest(7);
  EXPECT_EQ(polyax.motors.GetMotorFreq(2), -1);
  EXPECT_EQ(polyax.motors.GetMotorCount(), 32);
}

TEST(PolyaxControllerTest, MoveStagesCountAndModeThenTakesAndStartsThem) {
  Polyax polyax;
  ASSERT_TRUE(polyax.motors.SetMotorMode(7, 1));
  EXPECT_TRUE(polyax.motors.MoveMotor(7, 500));
  const Lines count = {"write 0 0x1C30 F4 01 00 00 ok", "write 0 0x1C30 F4 01 00 00 ok"};
  const Lines control = {"write 0 0x1C20 41 ok", "write 0 0x1C20 41 ok"};
  const Lines position = Command(7, 6, {"read 0 0x1C2C 4 ok 00 00 00 00"});
  // Not yet running before the start command, and still where it was: the control byte goes
  // out a second time.
  EXPECT_EQ(Exchanges(polyax.bench),
            Join({kNothingPending, Command(7, 4, kStopped), count, position, control,
                  Command(7, 4, kStopped), position, control, Command(7, 14), Command(7, 9)}));
}

TEST(PolyaxControllerTest, MoveOfZeroStepsStillSendsBothCommands) {
  Polyax polyax;
  EXPECT_TRUE(polyax.motors.MoveMotor(7, 0));
  EXPECT_EQ(Exchanges(polyax.bench),
            Join({kNothingPending, Command(7, 4, kStopped), Command(7, 14), Command(7, 9)}));
}

TEST(PolyaxControllerTest, PendingCommandRefusesAMoveWithNothingWritten) {
  Polyax polyax;
  polyax.bench.Poke(0, polyax::kCommand, 3);
  EXPECT_FALSE(polyax.motors.MoveMotor(7, 500));
  EXPECT_EQ(Exchanges(polyax.bench), (Lines{"read 0 0x1C35 1 ok 03", "status"}));
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoError);
}

// An absent motor answers 1 and the answer stays in the command byte: the command is over, so
// the next move of a present motor goes ahead.
TEST(PolyaxControllerTest, FinalAnswerOfAnEarlierCommandDoesNotBlockAMove) {
  sim::UnitConfig unit;
  unit.motors = {1, 2};
  unit.faultyMotors = {2};
  unit.speedDivider = 13;
  Polyax polyax(unit);
  for (std::int32_t absentOrFaulty : {5, 2}) {
    EXPECT_EQ(polyax.motors.GetMotorFreq(absentOrFaulty), 0);
    EXPECT_NE(polyax.bench.Peek(0, polyax::kCommand), 0);
    EXPECT_TRUE(polyax.motors.MoveMotor(1, 10)) << absentOrFaulty;
    EXPECT_TRUE(polyax.motors.WaitForMotor(1));
  }
  EXPECT_EQ(polyax.motors.GetMotorPosition(1), 20);
}

// A failed read of the command byte yields 0, which must not pass for "nothing pending" or
// "done".
TEST(PolyaxControllerTest, FailedReadsOfTheCommandByteAreFailures) {
  Polyax polyax;
  polyax.bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(polyax.motors.MoveMotor(7, 500));
  EXPECT_EQ(CountOf(Exchanges(polyax.bench), "write"), 0);
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorDataRead);

  polyax.bench.ClearTrace();
  polyax.bench.FailRequest(5);  // the first poll of the command byte
  EXPECT_EQ(polyax.motors.GetMotorPosition(1), kNoPosition);
  EXPECT_EQ(CountOf(Exchanges(polyax.bench), "read 0 0x1C2C"), 0);
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorDataRead);
}

TEST(PolyaxControllerTest, AllMotorsModesSendNothing) {
  Polyax polyax;
  EXPECT_FALSE(polyax.motors.SetMotorMode(0, 3));
  EXPECT_FALSE(polyax.motors.SetMotorMode(33, 1));
  EXPECT_EQ(polyax.motors.GetMotorMode(5), 2);
  polyax.link.SetStatus(LinkStatus::eErrorNoMotorPresent);
  EXPECT_TRUE(polyax.motors.SetMotorMode(0, 1));
  for (int motor = 1; motor <= 32; ++motor) EXPECT_EQ(polyax.motors.GetMotorMode(motor), 1);
  EXPECT_EQ(polyax.motors.GetMotorMode(0), 0);
  EXPECT_EQ(polyax.motors.GetMotorMode(33), 0);
  EXPECT_EQ(polyax.bench.TraceLines(), Lines{});
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoError);
}

TEST(PolyaxControllerTest, AllMotorsSpeedNeedsOneMotorThatTookIt) {
  sim::UnitConfig some;
  some.motors = {2, 3};
  Polyax polyax(some);
  EXPECT_TRUE(polyax.motors.SetMotorFreq(0, 1400));
  const Lines all = Exchanges(polyax.bench);
  EXPECT_EQ(CountOf(all, "write 0 0x1C26 09 00 ok"), 2 * 32);
  EXPECT_EQ(CountOf(all, "write 0 0x1C35 0C ok"), 2 * 32);
  EXPECT_EQ(CountOf(all, "write 0 0x1C34 1F ok"), 2);  // up to motor 32
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoError);
  EXPECT_EQ(polyax.motors.GetMotorFreq(3), 1481);

  sim::UnitConfig none;
  none.motors = {40};  // no slot connected
  Polyax empty(none);
  EXPECT_FALSE(empty.motors.SetMotorFreq(0, 1400));
  EXPECT_EQ(empty.link.GetStatus(), LinkStatus::eErrorNoMotorPresent);
  // With the unit gone every motor's divider write fails at its open; the last one's 1 stays
  // stored, which the unit shows once it is back (a probe of an absent unit answers 1 anyway).
  Polyax gone;
  gone.bench.Unplug(0);
  EXPECT_FALSE(gone.motors.SetMotorFreq(0, 1400));
  EXPECT_EQ(Exchanges(gone.bench), Lines(32, "open 0 fail"));
  gone.bench.Replug(0);
  EXPECT_EQ(gone.link.GetStatus(), LinkStatus::eErrorNoDevice);
}

TEST(PolyaxControllerTest, StagingRegistersAreWrittenBeforeTheMotorIsChecked) {
  Polyax polyax;
  EXPECT_FALSE(polyax.motors.Stop(40));
  EXPECT_EQ(Exchanges(polyax.bench), (Lines{"write 0 0x1C21 01 ok", "write 0 0x1C21 01 ok"}));
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoMotorPresent);
  polyax.bench.ClearTrace();
  EXPECT_TRUE(polyax.motors.ResetPosition(12));
  const Lines zeros = {"write 0 0x1C28 00 00 00 00 ok", "write 0 0x1C28 00 00 00 00 ok",
                       "write 0 0x1C2C 00 00 00 00 ok", "write 0 0x1C2C 00 00 00 00 ok"};
  EXPECT_EQ(Exchanges(polyax.bench), Join({zeros, Command(12, 13)}));
}

// The firmware never answers: the poll gives up after its 12001st pause, and the byte left
// non-zero then blocks every move.
TEST(PolyaxControllerTest, CommandThatNeverCompletesTimesOut) {
  sim::UnitConfig stuck;
  stuck.commandsNeverComplete = true;
  Polyax polyax(stuck);
  const auto start = polyax.bench.NowMicros();
  EXPECT_EQ(polyax.motors.GetMotorPosition(1), kNoPosition);
  const Lines all = Exchanges(polyax.bench);
  EXPECT_EQ(CountOf(all, "read 0 0x1C35 1 ok 06"), 12001);
  EXPECT_EQ(CountOf(all, "sleep 10"), 12001);
  EXPECT_EQ(polyax.bench.NowMicros() - start, 120'010'000u);
  EXPECT_EQ(polyax.link.GetStatus(), LinkStatus::eErrorNoDeviceResponse);
  EXPECT_FALSE(polyax.motors.MoveMotor(1, 10));
}

}  // namespace
}  // namespace zel
