// Controls on several threads at once, with real threads. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "sim/bench.h"
#include "sim/interleaving.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;

sim::BenchConfig RunningUnits() {
  std::vector<sim::UnitConfig> units;
  for (auto [device, model] : {std::pair{0, UnitModel::kOrvane}, std::pair{1, UnitModel::kKestrin},
                               std::pair{2, UnitModel::kPolyax}}) {
    sim::UnitConfig unit = testing::Unit(device, model, true);
    unit.speedDivider = 13;
    units.push_back(unit);
  }
  return testing::Bench(units);
}

// One thread's share of the mixed workload: every exchange kind the class has, on its own motor.
template <typename Control>
void Workload(sim::Bench& bench, Control& control, std::int32_t motor, int rounds) {
  VARIANT_BOOL flag = 0;
  std::int32_t value = 0;
  EMotorStatus status = eMotorStopped;
  for (int i = 0; i < rounds; ++i) {
    const auto op = [&](auto call) {
      bench.Mark("begin");
      call();
      bench.Mark("end");
    };
    op([&] { control.MoveMotor(motor, (i % 2) ? 3 : -3, 1, &flag); });
    op([&] { control.GetMotorStatus(motor, &status); });
    op([&] { control.GetMotorPosition(motor, &value); });
    op([&] { control.SetMotorFreq(motor, 1000 + i % 7, &flag); });
    op([&] { control.GetMotorFreq(motor, &value); });
    op([&] { control.Stop(motor, &flag); });
  }
}

TEST(ConcurrencyTest, TwoPolyaxControlsNeverMixTheirExchanges) {
  sim::Bench bench(RunningUnits());
  PolyaxControl first({bench, ""}), second({bench, ""});
  ASSERT_EQ(first.Link().DeviceIndex(), 2);
  ASSERT_EQ(second.Link().DeviceIndex(), 2);
  bench.ClearTrace();
  std::thread a([&] { Workload(bench, first, 1, 250); });
  std::thread b([&] { Workload(bench, second, 2, 250); });
  a.join();
  b.join();
  const auto trace = bench.Trace();
  EXPECT_GT(trace.size(), 20'000u);
  EXPECT_EQ(sim::FindInterleaving(trace).value_or(""), "");
}

TEST(ConcurrencyTest, TwoKestrinControlsNeverMixTheirExchanges) {
  sim::Bench bench(RunningUnits());
  KestrinControl first({bench, ""}), second({bench, ""});
  bench.ClearTrace();
  std::thread a([&] { Workload(bench, first, 1, 500); });
  std::thread b([&] { Workload(bench, second, 2, 500); });
  a.join();
  b.join();
  EXPECT_EQ(sim::FindInterleaving(bench.Trace()).value_or(""), "");
}

// The checker itself: a Polyax staging write followed by another thread's command is caught.
TEST(ConcurrencyTest, CheckerCatchesAStagingWriteOvertakenByAnotherCommand) {
  sim::Bench bench(RunningUnits());
  PolyaxControl control({bench, ""});
  bench.ClearTrace();
  bench.Mark("begin");
  EzUsbLink& link = control.Link();
  link.WriteByte(0x09, 0x1C26);  // staging
  std::thread([&] {
    bench.Mark("begin");
    link.WriteByte(12, 0x1C35);  // another object's command
    bench.Mark("end");
  }).join();
  link.WriteByte(12, 0x1C35);
  bench.Mark("end");
  EXPECT_TRUE(sim::FindInterleaving(bench.Trace()).has_value());
}

TEST(ConcurrencyTest, ControlsOfOtherClassesRunWhileOneClassIsBusy) {
  sim::Bench bench(RunningUnits());
  OrvaneControl orvane({bench, ""});
  KestrinControl kestrin({bench, ""});
  PolyaxControl polyax({bench, ""});
  std::atomic<bool> polyaxDone = false;
  std::thread polyaxThread;
  {
    // A long Polyax exchange (a command the firmware takes its time with) holds the class lock.
    DeviceLockGuard busy(ClassLock(kPolyaxClass));
    polyaxThread = std::thread([&] {
      std::int32_t position = 0;
      polyax.GetMotorPosition(1, &position);
      polyaxDone = true;
    });
    std::thread others([&] {
      VARIANT_BOOL flag = 0;
      double temperature = 0;
      for (int i = 0; i < 200; ++i) {
        kestrin.MoveMotor(1, 5, 0, &flag);
        orvane.get_Temperature(&temperature);
      }
      EXPECT_EQ(flag, 1);
      EXPECT_EQ(temperature, 0.0);
    });
    others.join();
    EXPECT_FALSE(polyaxDone);
  }
  polyaxThread.join();
  EXPECT_TRUE(polyaxDone);
}

TEST(ConcurrencyTest, StopFromAnotherThreadEndsASynchronousMove) {
  sim::Bench bench(RunningUnits());
  KestrinControl mover({bench, ""}), stopper({bench, ""});
  VARIANT_BOOL moved = 0;
  std::thread move([&] { mover.MoveMotor(2, 1'000'000, 0, &moved); });
  // Wait, without driver traffic, until the motor has covered some ground.
  while (static_cast<std::int32_t>(bench.Peek32(1, 0x1C3A)) < 500) std::this_thread::yield();
  VARIANT_BOOL stopped = 0;
  stopper.Stop(2, &stopped);
  move.join();
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(moved, 1);  // the wait saw the motor come to rest
  std::int32_t position = 0;
  stopper.GetMotorPosition(2, &position);
  EXPECT_GE(position, 500);
  EXPECT_LT(position, 1'000'000);
}

}  // namespace
}  // namespace zel
