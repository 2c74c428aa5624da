// The move completions of the three controls, on running bench units in virtual time: each row
// drives a control through a few steps and lists every completion it produced, with the step
// after which it was queued.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;

enum class Op { kMove, kMoveTo, kHome, kSleep, kStop, kUnplug, kPoll, kDrain };

struct Step {
  Op op;
  std::int32_t value = 0;  // steps, a position or milliseconds
  std::int32_t motor = 1;
  VARIANT_BOOL asynchronous = 1;
};

struct Row {
  const char* scenario;
  std::vector<Step> steps;
  // "STEP: KIND MOTOR STATUS POSITION LASTERROR #SEQUENCE", in the order they were taken.
  std::vector<std::string> completions;
  bool polyaxOnly = false;
  // Where the Polyax differs: its commands wait for the firmware, 10 ms a pause.
  std::vector<std::string> polyax = completions;
};

const Step kDrain = {Op::kDrain}, kPoll = {Op::kPoll}, kStop = {Op::kStop};
const Row kRows[] = {
    {"asynchronous move", {{Op::kMove, 400}, kDrain}, {"2: move 1 0 400 0 #1"}},
    {"synchronous move: queued before it returns",
     {{Op::kMove, 400, 1, 0}},
     {"1: move 1 0 400 0 #1"}},
    {"Stop mid-move ends it at the next poll",
     {{Op::kMove, 100000}, {Op::kSleep, 100}, kStop, kPoll},
     {"4: move 1 0 102 0 #1"},
     false,
     {"4: move 1 0 112 0 #1"}},
    {"home ends at the backward switch", {{Op::kHome}, kDrain}, {"2: home 1 3 -50 0 #1"}},
    {"move into the forward switch", {{Op::kMove, 100000}, kDrain}, {"2: move 1 2 5000 0 #1"}},
    {"unit unplugged mid-move",
     {{Op::kMove, 100000}, {Op::kSleep, 100}, {Op::kUnplug}, kPoll},
     {"4: move 1 4 2147483647 1 #1"}},
    {"two motors at once end in their order",
     {{Op::kMove, 400}, {Op::kMove, 100, 2}, kDrain},
     {"3: move 2 0 100 0 #1", "3: move 1 0 400 0 #2"},
     true},
    {"a new move completes the unpolled one first",
     {{Op::kMove, 100}, {Op::kSleep, 500}, {Op::kMoveTo, 150}, kDrain},
     {"3: move 1 0 100 0 #1", "4: move 1 0 150 0 #2"}},
    // On a two-motor unit the second motor's switch must not show in the first one's end.
    {"a move of the other motor ends the unpolled one",
     {{Op::kMove, 100}, {Op::kSleep, 500}, {Op::kMove, 100000, 2}, kDrain},
     {"4: move 1 0 100 0 #1", "4: move 2 2 5000 0 #2"}},
    {"a refused move produces nothing", {{Op::kMove, 10, 33}, kDrain}, {}},
    {"sequence numbers rise",
     {{Op::kMove, 10, 1, 0}, {Op::kMoveTo, -20, 1, 0}, {Op::kHome, 0, 1, 0}},
     {"1: move 1 0 10 0 #1", "2: move 1 0 -20 0 #2", "3: home 1 3 -50 0 #3"}},
};

sim::BenchConfig RunningUnits() {
  std::vector<sim::UnitConfig> units;
  for (auto [device, model] : {std::pair{0, UnitModel::kOrvane}, std::pair{1, UnitModel::kKestrin},
                               std::pair{2, UnitModel::kPolyax}}) {
    sim::UnitConfig unit = testing::Unit(device, model, true);
    unit.speedDivider = 13;  // 1025 steps/s
    unit.limits = {-50, 5000};
    units.push_back(unit);
  }
  return testing::Bench(units);
}

template <typename Control>
std::vector<std::string> Completions(const Row& row) {
  sim::Bench bench(RunningUnits());
  Control control({bench, ""});
  std::vector<std::string> seen;
  for (std::size_t k = 0; k < row.steps.size(); ++k) {
    const Step& s = row.steps[k];
    VARIANT_BOOL result = 0;
    if (s.op == Op::kMove) control.MoveMotor(s.motor, s.value, s.asynchronous, &result);
    if (s.op == Op::kMoveTo) control.MoveToPos(s.motor, s.value, s.asynchronous, &result);
    if (s.op == Op::kHome) control.MoveHome(s.motor, s.asynchronous, &result);
    if (s.op == Op::kSleep) bench.Sleep(static_cast<std::uint32_t>(s.value));
    if (s.op == Op::kStop) control.Stop(s.motor, &result);
    if (s.op == Op::kUnplug) bench.Unplug(control.Link().DeviceIndex());
    if (s.op == Op::kPoll) control.PollMoves();
    for (int polls = 0; s.op == Op::kDrain && control.MovesPending() && polls < 10000; ++polls) {
      control.PollMoves();
      bench.Sleep(kMovePollPauseMs);
    }
    for (MoveCompletion c; control.TakeCompletion(c);) {
      char line[96];
      std::snprintf(line, sizeof line, "%zu: %s %d %d %d %d #%d", k + 1,
                    c.kind == MoveKind::kHome ? "home" : "move", c.motor, c.status, c.position,
                    static_cast<int>(c.lastError), c.sequence);
      seen.push_back(line);
    }
  }
  if (control.MovesPending()) seen.push_back("still pending");
  return seen;
}

TEST(MoveCompletionsTest, EachScenarioOnEachClass) {
  for (const Row& row : kRows) {
    if (!row.polyaxOnly) {
      EXPECT_EQ(Completions<OrvaneControl>(row), row.completions) << "Orvane: " << row.scenario;
      EXPECT_EQ(Completions<KestrinControl>(row), row.completions) << "Kestrin: " << row.scenario;
    }
    EXPECT_EQ(Completions<PolyaxControl>(row), row.polyax) << "Polyax: " << row.scenario;
  }
}

}  // namespace
}  // namespace zel
