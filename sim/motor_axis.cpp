#include "sim/motor_axis.h"

#include <algorithm>

namespace zel::sim {

namespace {
constexpr std::uint64_t kDividerUnitMicros = 75;
constexpr std::uint64_t kFullTimerRange = 65536;
}  // namespace

std::uint64_t StepPeriodMicros(std::uint16_t divider) noexcept {
  return (divider == 0 ? kFullTimerRange : divider) * kDividerUnitMicros;
}

MotorAxis::MotorAxis(std::int32_t position, std::array<std::int32_t, 2> limits) noexcept
    : place_(position), origin_(0), backward_(limits[0]), forward_(limits[1]) {}

std::int32_t MotorAxis::Position() const noexcept {
  // The firmware's counter is 32 bits wide and wraps.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(place_ - origin_));
}

void MotorAxis::SetPosition(std::int32_t position) noexcept {
  origin_ = place_ - position;
}

bool MotorAxis::AtForwardEnd() const noexcept {
  return !Running() && place_ >= forward_;
}
bool MotorAxis::AtBackwardEnd() const noexcept {
  return !Running() && place_ <= backward_;
}

void MotorAxis::Move(std::int32_t steps, std::uint64_t periodMicros, std::uint64_t now) noexcept {
  Advance(now);
  direction_ = steps < 0 ? -1 : 1;
  const std::int64_t wide = steps;
  remaining_ = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
  period_ = std::max<std::uint64_t>(periodMicros, 1);
  nextStepAt_ = now + period_;
  const bool blocked = direction_ > 0 ? place_ >= forward_ : place_ <= backward_;
  if (blocked) remaining_ = 0;
}

void MotorAxis::Advance(std::uint64_t now) noexcept {
  if (!Running() || now < nextStepAt_) return;
  const std::uint64_t due = (now - nextStepAt_) / period_ + 1;
  const std::int64_t room = direction_ > 0 ? forward_ - place_ : place_ - backward_;
  const std::uint64_t taken =
      std::min({due, remaining_, static_cast<std::uint64_t>(std::max<std::int64_t>(room, 0))});
  place_ += direction_ * static_cast<std::int64_t>(taken);
  remaining_ -= taken;
  nextStepAt_ += taken * period_;
  // The step onto a switch is the last one: the switch cuts the move short.
  if (static_cast<std::int64_t>(taken) == room) remaining_ = 0;
}

void MotorAxis::Stop(std::uint64_t now) noexcept {
  Advance(now);
  remaining_ = 0;
}

void MotorAxis::SetPeriod(std::uint64_t periodMicros, std::uint64_t now) noexcept {
  Advance(now);
  const std::uint64_t period = std::max<std::uint64_t>(periodMicros, 1);
  if (Running()) {
    const std::uint64_t lastStepAt = nextStepAt_ - period_;
    nextStepAt_ = std::max(lastStepAt + period, now);
  }
  period_ = period;
}

}  // namespace zel::sim
