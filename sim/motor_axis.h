// One stepper motor on its rail, in bench time: relative moves at a fixed step period, a step
// counter, and the two end switches at the ends of its travel. A firmware model owns one per
// motor and maps its own registers onto it.
//
// Time is the bench's, in microseconds. Every call takes the current bench time and must never
// be given an earlier time than a previous call; the axis first catches up to that time, so
// the caller may call Advance as rarely as it likes (a long pause costs nothing).
#pragma once

#include <array>
#include <cstdint>

namespace zel::sim {

// The step period for a speed divider: one step every divider × 75 µs. A divider of 0 acts as
// 65536, the way a 16-bit reload timer with a reload value of 0 counts its full range: the
// slowest speed (about 4.9 s per step), so a move sent before any speed was set still runs and
// ends instead of hanging in "running" forever.
std::uint64_t StepPeriodMicros(std::uint16_t divider) noexcept;

class MotorAxis {
 public:
  // `position` is the counter's start value; `limits` = {backward, forward} are the positions
  // of the two end switches, in the counter's start coordinates. The rail does not move when
  // the counter is reset, so the switches stay where they are physically.
  MotorAxis(std::int32_t position, std::array<std::int32_t, 2> limits) noexcept;

  // Starts a relative move at `now`: `steps` forward (positive) or backward (negative), one
  // step every `periodMicros` (at least 1), the first one a period after `now`. A move already
  // under way is replaced. A move towards a switch that is already pressed ends at once, as
  // does a move of 0 steps.
  void Move(std::int32_t steps, std::uint64_t periodMicros, std::uint64_t now) noexcept;

  // Takes every step due up to `now`. A move ends after its last step or on the step that
  // reaches an end switch, whichever comes first.
  void Advance(std::uint64_t now) noexcept;

  // Ends the move at `now`; steps due up to `now` are taken first.
  void Stop(std::uint64_t now) noexcept;

  // A new step period from `now` on; the next step comes a new period after the last one (or
  // after `now`, if that is later).
  void SetPeriod(std::uint64_t periodMicros, std::uint64_t now) noexcept;

  // Sets the step counter; the motor does not move, and the switches stay where they are.
  void SetPosition(std::int32_t position) noexcept;

  std::int32_t Position() const noexcept;
  bool Running() const noexcept { return remaining_ != 0; }
  // Whether the motor rests on its forward (backward) end switch. A motor under way never
  // reports a switch: it leaves it with its first step or stops on it.
  bool AtForwardEnd() const noexcept;
  bool AtBackwardEnd() const noexcept;
  // Steps left in the current move (0 when resting).
  std::uint64_t RemainingSteps() const noexcept { return remaining_; }

 private:
  std::int64_t place_;   // where the motor is on its rail, in start coordinates
  std::int64_t origin_;  // rail place of counter value 0
  std::int64_t backward_, forward_;
  int direction_ = 0;            // +1, -1; meaningful while running
  std::uint64_t remaining_ = 0;  // steps left
  std::uint64_t period_ = 1;
  std::uint64_t nextStepAt_ = 0;
};

}  // namespace zel::sim
