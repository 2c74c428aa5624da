#include "controls/move_completions.h"

#include <algorithm>
#include <limits>

namespace zel {

namespace {
bool Rests(std::int32_t status) {
  return status == eMotorStopped || status == eMotorEndForward || status == eMotorEndBackward;
}
}  // namespace

// Both lists are bounded, so nothing allocates once the control is built: the members that
// feed them are noexcept.
MoveCompletions::MoveCompletions() {
  moves_.reserve(kKeptCompletions);
  queue_.reserve(kKeptCompletions);
}

bool MoveCompletions::Pending(std::int32_t motor) const noexcept {
  return std::any_of(moves_.begin(), moves_.end(),
                     [&](const Move& move) { return motor == 0 || move.motor == motor; });
}

void MoveCompletions::Poll(DualMotorController& motors, EzUsbLink& link) noexcept {
  Settle(motors, link, true, true);
}

bool MoveCompletions::Take(MoveCompletion& completion) noexcept {
  if (queue_.empty()) return false;
  completion = queue_.front();
  queue_.erase(queue_.begin());
  return true;
}

// The new move's status check found its motor at rest (on a two-motor unit: both motors), and
// its position read before the command tells where that motor rests.
void MoveCompletions::Started(MoveKind kind, std::int32_t motor, DualMotorController& motors,
                              EzUsbLink& link) noexcept {
  const DualMotorController::StartReads& reads = motors.LastStartReads();
  for (Move& move : moves_) {
    const bool same = move.motor == motor;
    if (!same && !motors.OneStatusForAllMotors()) continue;
    if (!move.ended) {
      move.ended = true;
      move.status = reads.status;
    }
    if (same && !move.placed && reads.position) {
      move.placed = true;
      move.position = *reads.position;
      move.code = reads.positionCode;
    }
  }
  Settle(motors, link, false, false);
  // Only a client that starts moves without ever polling gets here; its oldest move goes.
  if (moves_.size() == kKeptCompletions) moves_.erase(moves_.begin());
  moves_.push_back({kind, motor});
}

void MoveCompletions::Waited(std::int32_t lastStatus, DualMotorController& motors,
                             EzUsbLink& link) noexcept {
  if (moves_.empty()) return;
  Move& move = moves_.back();  // the move Started just added
  if (Rests(lastStatus)) {
    move.ended = true;
    move.status = lastStatus;
  } else if (lastStatus == eMotorStatusError) {
    move = {move.kind, move.motor, true, true, eMotorStatusError, kNoPosition, link.GetStatus()};
  }
  Settle(motors, link, false, true);
}

void MoveCompletions::Settle(DualMotorController& motors, EzUsbLink& link, bool readStatus,
                             bool readPosition) noexcept {
  for (Move& move : moves_) {
    if (!move.ended && readStatus) {
      const std::int32_t status = motors.GetMotorStatus(move.motor);
      // The link's code is asked right after the failed read, as LastError would be.
      if (status == eMotorStatusError)
        move = {move.kind, move.motor, true, true, status, kNoPosition, link.GetStatus()};
      else if (Rests(status))
        move = {move.kind, move.motor, true, false, status};
    }
    if (move.ended && !move.placed && readPosition) {
      move.placed = true;
      move.position = motors.GetMotorPosition(move.motor);
      move.code = move.position == kNoPosition ? link.GetStatus() : LinkStatus::eErrorNoError;
    }
  }
  for (const Move& move : moves_)
    if (move.ended && move.placed) Queue(move);
  std::erase_if(moves_, [](const Move& move) { return move.ended && move.placed; });
}

void MoveCompletions::Queue(const Move& move) noexcept {
  if (queue_.size() == kKeptCompletions) queue_.erase(queue_.begin());
  sequence_ = sequence_ == std::numeric_limits<std::int32_t>::max() ? 1 : sequence_ + 1;
  queue_.push_back({move.kind, move.motor, static_cast<EMotorStatus>(move.status), move.position,
                    move.code, sequence_});
}

}  // namespace zel
