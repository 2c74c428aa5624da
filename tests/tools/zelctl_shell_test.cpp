#include "tools/zelctl_shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/automation.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel::zelctl {
namespace {

using sim::UnitModel;

std::string ImagesBesideShell() {
  return std::filesystem::path(ZELCTL_PATH).parent_path().string();
}

class ZelctlShellTest : public ::testing::Test {
 protected:
  explicit ZelctlShellTest(
      sim::BenchConfig config = testing::Bench({testing::Unit(0, UnitModel::kKestrin, true)}))
      : bench_(config), shell_(bench_, ImagesBesideShell(), out_, err_) {}

  std::vector<std::string> TraceSince(std::size_t from) const {
    const auto lines = bench_.TraceLines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
  }

  sim::Bench bench_;
  std::ostringstream out_, err_;
  Shell shell_;
};

TEST_F(ZelctlShellTest, UnallocatableResultStringPrintsTheHresult) {
  shell_.Create(ControlKind::kKestrin);
  automation::FailStringAllocations(1);
  shell_.Run("LastErrorText", 1);
  automation::FailStringAllocations(1);  // the shell's own copy of the argument
  shell_.Run("SetSerial \"KS\"", 2);
  shell_.Run("LastErrorText", 3);
  EXPECT_EQ(out_.str(),
            "LastErrorText -> HRESULT 0x8007000E\nSetSerial -> HRESULT 0x8007000E\n"
            "LastErrorText -> \"No Error\"\n");
  EXPECT_FALSE(shell_.Failed());
}

TEST_F(ZelctlShellTest, SleepPassesThroughTheDriver) {
  shell_.Create(ControlKind::kKestrin);
  const auto before = bench_.NowMicros();
  const std::size_t mark = bench_.TraceLines().size();
  shell_.Run("sleep 250", 1);
  shell_.Run("sleep 0", 2);
  EXPECT_EQ(bench_.NowMicros() - before, 250'000u);
  EXPECT_EQ(TraceSince(mark), (std::vector<std::string>{"sleep 250", "sleep 0"}));
  EXPECT_EQ(out_.str(), "");
}

TEST_F(ZelctlShellTest, ReleaseSendsNothingAndTheMotorRunsOn) {
  shell_.Create(ControlKind::kKestrin);
  shell_.Run("MoveMotor 1 1000 1", 1);
  const std::size_t mark = bench_.TraceLines().size();
  shell_.Run("release", 2);
  EXPECT_TRUE(TraceSince(mark).empty());
  EXPECT_EQ(shell_.ControlCount(), 0u);
  EXPECT_EQ(shell_.CurrentNumber(), 0);

  // A new control selects the same unit without booting it, and finds the motor moving.
  shell_.Run("new kestrin", 3);
  const auto connect = TraceSince(mark);
  EXPECT_EQ(std::count_if(connect.begin(), connect.end(),
                          [](const std::string& l) { return l.rfind("write", 0) == 0; }),
            0);
  shell_.Run("GetMotorStatus 1", 4);
  EXPECT_EQ(out_.str(), "MoveMotor -> 1\nGetMotorStatus -> 1\n");
  EXPECT_EQ(shell_.CurrentNumber(), 2);
}

// The wait word prints the completions queued before it, then those it waits for, or gives up.
TEST(ZelctlWaitTest, PrintsEachCompletionOrTheTimeout) {
  sim::UnitConfig unit = testing::Unit(0, UnitModel::kKestrin, true);
  unit.limits = {-50, 5000};
  const std::pair<const char*, const char*> rows[] = {
      {"MoveMotor 1 400 1; wait 100; wait",
       "MoveMotor -> 1\nwait -> timeout\nMoveComplete 1 0 400\n"},
      {"MoveMotor 2 -30; MoveHome 2 1; wait; wait 0",
       "MoveMotor -> 1\nMoveHome -> 1\nMoveComplete 2 0 -30\nHomeComplete 2 3 -50\n"},
  };
  for (const auto& [calls, printed] : rows) {
    sim::Bench bench(testing::Bench({unit}));
    std::ostringstream out, err;
    Shell shell(bench, ImagesBesideShell(), out, err);
    shell.Create(ControlKind::kKestrin);
    shell.RunCalls(calls);
    EXPECT_EQ(out.str() + err.str(), printed) << calls;
  }
}

}  // namespace
}  // namespace zel::zelctl
