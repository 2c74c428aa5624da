// The shared motion operations (WaitForMotor's poll limits) and the class locks, on a bench
// chip without firmware whose status register the test sets by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "devices/dual_motor_controller.h"
#include "devices/dual_motor_registers.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;
using testing::Bench;
using testing::Count;
using testing::Lines;
using testing::Unit;

class MotionWaitTest : public ::testing::Test {
 protected:
  sim::Bench bench{Bench({Unit(0, UnitModel::kKestrin)})};
  EzUsbLink link{bench};
  DualMotorController motors{link, ClassLocks().kestrin};
};

TEST_F(MotionWaitTest, MotorAtRestTakesOneReadAndOnePause) {
  bench.Poke(0, dual_motor::kStatusFlags, 0x00);
  EXPECT_TRUE(motors.WaitForMotor(1));
  EXPECT_THAT(Lines(bench, {"read", "sleep"}),
              ::testing::ElementsAre("read 0 0x1C22 1 ok 00", "sleep 10"));
}

TEST_F(MotionWaitTest, EndSwitchCountsAsRest) {
  bench.Poke(0, dual_motor::kStatusFlags, 0x80);
  EXPECT_TRUE(motors.WaitForMotor(2));
}

TEST_F(MotionWaitTest, UnreadableStatusEndsTheWaitWithoutAPause) {
  bench.Unplug(0);
  EXPECT_FALSE(motors.WaitForMotor(1));
  EXPECT_EQ(Count(bench.TraceLines(), "sleep"), 0);
  EXPECT_EQ(motors.GetLastError(), 1);
}

TEST_F(MotionWaitTest, EndlessMotionGivesUpAfter12000Pauses) {
  bench.Poke(0, dual_motor::kStatusFlags, 0x01);
  const auto start = bench.NowMicros();
  EXPECT_FALSE(motors.WaitForMotor(1));
  const auto lines = bench.TraceLines();
  EXPECT_EQ(Count(lines, "read 0 0x1C22"), 12001);
  EXPECT_EQ(Count(lines, "sleep 10"), 12000);
  EXPECT_EQ(bench.NowMicros() - start, 120'000'000u);  // two minutes of bench time
  EXPECT_EQ(motors.GetLastError(), 0);                 // the limit stores no code
}

// A controller whose status and position are scripted, to reach values the two-motor decoding
// never yields and to tell its own answers from the unit's registers; it records the moves it
// is asked for.
class Scripted final : public DualMotorController {
 public:
  using DualMotorController::DualMotorController;
  std::vector<std::int32_t> script;
  std::int32_t position = 0;
  std::vector<std::int32_t> moves;
  std::int32_t GetMotorStatus(std::int32_t) override {
    const std::int32_t s = script.front();
    if (script.size() > 1) script.erase(script.begin());
    return s;
  }
  std::int32_t GetMotorPosition(std::int32_t) override { return position; }
  bool MoveMotor(std::int32_t motor, std::int32_t steps) override {
    moves.push_back(steps);
    return DualMotorController::MoveMotor(motor, steps);
  }
};

TEST_F(MotionWaitTest, StatusOutsideTheEnumerationKeepsPolling) {
  Scripted scripted(link, ClassLocks().kestrin);
  scripted.script = {5, 7, 1, 3};
  EXPECT_TRUE(scripted.WaitForMotor(1));
  EXPECT_EQ(Count(bench.TraceLines(), "sleep 10"), 4);
}

// The unit's register says 40 and the controller says 250: only a position read through the
// controller gives the move of -150.
TEST_F(MotionWaitTest, MoveHomeAndMoveToPosUseTheActualController) {
  Scripted scripted(link, ClassLocks().kestrin);
  scripted.script = {0, 1};
  scripted.position = 250;
  bench.PokeBytes(0, dual_motor::kPositionMotor1, {40, 0, 0, 0});
  EXPECT_TRUE(scripted.MoveToPos(1, 100));
  EXPECT_EQ(bench.Peek32(0, dual_motor::kStepCount), static_cast<std::uint32_t>(-150));
  EXPECT_EQ(Count(bench.TraceLines(), "read 0 0x1C36"), 0);
  scripted.script = {0, 1};
  EXPECT_TRUE(scripted.MoveHome(1));
  EXPECT_EQ(bench.Peek32(0, dual_motor::kStepCount), 0x80000001u);
  EXPECT_EQ(scripted.moves, (std::vector<std::int32_t>{-150, -2147483647}));
}

TEST(DeviceLockTest, IsRecursiveAndExcludesOtherThreadsUntilFullyReleased) {
  DeviceLock lock;
  auto otherThreadGets = [&] {
    bool got = false;
    std::thread([&] {
      got = lock.TryAcquire();
      if (got) lock.Release();
    }).join();
    return got;
  };
  {
    DeviceLockGuard outer(lock);
    DeviceLockGuard inner(lock);  // the holder may take it again
    EXPECT_FALSE(otherThreadGets());
  }
  EXPECT_TRUE(otherThreadGets());
  try {
    DeviceLockGuard guard(lock);
    throw 1;
  } catch (int) {
  }
  EXPECT_TRUE(otherThreadGets());
}

// Once closed, the lock holds nothing: another thread's Acquire returns at once although this
// thread has acquired it. Lock and flag are shared with that thread, so should it block on a
// faulty lock it is left behind and the test fails instead of hanging.
TEST(DeviceLockTest, ClosedLockNoLongerExcludes) {
  auto lock = std::make_shared<DeviceLock>();
  lock->Close();
  EXPECT_FALSE(lock->IsOpen());
  lock->Acquire();
  auto otherGotIn = std::make_shared<std::atomic<bool>>(false);
  std::thread other([lock, otherGotIn] {
    lock->Acquire();
    *otherGotIn = true;
    lock->Release();
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!*otherGotIn && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  const bool gotIn = *otherGotIn;
  EXPECT_TRUE(gotIn);
  lock->Release();
  if (gotIn) {
    other.join();
  } else {
    other.detach();
  }
}

TEST(DeviceLockTest, ControllersOfOneClassExcludeEachOtherWhileOtherClassesRun) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kOrvane), Unit(1, UnitModel::kKestrin)}));
  EzUsbLink orvaneLink(bench), kestrinLink(bench);
  kestrinLink.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(kestrinLink.FindFirstDevice());
  bench.ClearTrace();
  DualMotorController orvane(orvaneLink, ClassLocks().orvane);
  DualMotorController kestrin(kestrinLink, ClassLocks().kestrin);
  std::atomic<bool> orvaneDone = false;
  std::thread blocked;
  {
    DeviceLockGuard held(ClassLocks().orvane);  // another Orvane control is mid-exchange
    blocked = std::thread([&] {
      orvane.GetMotorStatus(1);
      orvaneDone = true;
    });
    std::thread([&] { EXPECT_EQ(kestrin.GetMotorStatus(1), eMotorStopped); }).join();
    EXPECT_FALSE(orvaneDone);
    EXPECT_EQ(Count(bench.TraceLines(), "open 0"), 0);
  }
  blocked.join();
  EXPECT_TRUE(orvaneDone);
  EXPECT_EQ(Count(bench.TraceLines(), "open 0"), 2);  // the read and the status probe
}

TEST(DeviceLockTest, StopFromAnotherThreadLandsBetweenTwoPolls) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  bench.Poke(0, dual_motor::kStatusFlags, 0x01);  // running until told otherwise
  EzUsbLink waitLink(bench), stopLink(bench);
  DualMotorController waiter(waitLink, ClassLocks().kestrin);
  DualMotorController stopper(stopLink, ClassLocks().kestrin);
  bool waited = false;
  std::thread wait([&] { waited = waiter.WaitForMotor(1); });
  while (bench.NowMicros() < 100'000) std::this_thread::yield();  // ten polls in
  EXPECT_TRUE(stopper.Stop(1));
  bench.Poke(0, dual_motor::kStatusFlags, 0x00);  // the unit obeys
  wait.join();
  EXPECT_TRUE(waited);
  const auto lines = Lines(bench, {"read", "write"});
  const auto stop = std::find(lines.begin(), lines.end(), "write 0 0x1C21 01 ok");
  ASSERT_NE(stop, lines.end());
  EXPECT_NE(std::find(lines.begin(), stop, "read 0 0x1C22 1 ok 01"), stop);
  EXPECT_NE(std::find(stop, lines.end(), "read 0 0x1C22 1 ok 00"), lines.end());
}

}  // namespace
}  // namespace zel
