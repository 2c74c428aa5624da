// Short moves on units whose every request takes wire time: a move of a few steps at high speed
// has run and ended before the status read after its command, and must not be sent again; a
// move the unit did not take is sent once more and runs once. One row per unit class.
#include <gtest/gtest.h>

#include <memory>

#include "devices/dual_motor_controller.h"
#include "devices/dual_motor_registers.h"
#include "devices/polyax_controller.h"
#include "tests/devices/register_exchanges.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;

// A millisecond a request, as on a real unit's wire; 13333 steps/s is one step per 75 µs.
constexpr std::uint64_t kRequestMicros = 1000;
constexpr std::int32_t kFastest = 13333;

struct Rig {
  explicit Rig(UnitModel model) : bench(Config(model)) {
    if (model == UnitModel::kPolyax)
      motors = std::make_unique<PolyaxController>(link, lock);
    else
      motors = std::make_unique<DualMotorController>(link, lock);
    EXPECT_TRUE(motors->SetMotorFreq(1, kFastest));
  }
  static sim::BenchConfig Config(UnitModel model) {
    sim::BenchConfig config = testing::RunningUnit(model);
    config.requestMicros = kRequestMicros;
    return config;
  }
  bool MoveAndWait(std::int32_t steps) {
    return motors->MoveMotor(1, steps) && motors->WaitForMotor(1);
  }
  sim::Bench bench;
  EzUsbLink link{bench};
  DeviceLock lock;
  std::unique_ptr<MotorController> motors;
};

const UnitModel kModels[] = {UnitModel::kKestrin, UnitModel::kOrvane, UnitModel::kPolyax};

TEST(ShortMoveTest, RepeatedShortMovesEndExactlyAtTheirSum) {
  for (UnitModel model : kModels) {
    for (std::int32_t steps : {1, 3, -2}) {
      Rig rig(model);
      int moved = 0;
      for (int n = 0; n < 200; ++n) moved += rig.MoveAndWait(steps);
      EXPECT_EQ(moved, 200) << sim::ModelName(model) << " " << steps;
      EXPECT_EQ(rig.motors->GetMotorPosition(1), 200 * steps)
          << sim::ModelName(model) << " " << steps;
    }
  }
}

// The bench loses the first command byte on its way: the status still reads stopped and the
// position is unchanged, so the command goes out again and the move runs once.
TEST(ShortMoveTest, AMoveTheUnitDidNotTakeIsSentOnceMoreAndRunsOnce) {
  for (UnitModel model : kModels) {
    Rig rig(model);
    rig.bench.ClearTrace();
    rig.bench.LoseNextWrite(0, dual_motor::kMoveCommand);
    EXPECT_TRUE(rig.MoveAndWait(3)) << sim::ModelName(model);
    EXPECT_EQ(testing::CountOf(testing::Exchanges(rig.bench), "write 0 0x1C20"), 4)
        << sim::ModelName(model);
    EXPECT_EQ(rig.motors->GetMotorPosition(1), 3) << sim::ModelName(model);
  }
}

// The two-motor move that has already run when its status is read: the position read after the
// stopped status differs from the one before, and nothing more is sent.
TEST(ShortMoveTest, TheExactTrafficOfAShortMoveThatHasAlreadyEnded) {
  Rig rig(UnitModel::kKestrin);
  rig.bench.ClearTrace();
  EXPECT_TRUE(rig.motors->MoveMotor(1, 1));
  EXPECT_EQ(testing::Exchanges(rig.bench),
            (std::vector<std::string>{
                "read 0 0x1C22 1 ok 00", "status", "write 0 0x1C30 01 00 00 00 ok",
                "write 0 0x1C30 01 00 00 00 ok", "read 0 0x1C36 4 ok 00 00 00 00",
                "write 0 0x1C20 42 ok", "write 0 0x1C20 42 ok", "read 0 0x1C22 1 ok 00", "status",
                "read 0 0x1C36 4 ok 01 00 00 00"}));
}

}  // namespace
}  // namespace zel
