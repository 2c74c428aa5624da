// The completions of the moves a control starts: the one source under every interface's
// events (the C library's waits, events and callbacks, zelctl's wait word, and the COM events).
//
// A control remembers each move it started successfully (MoveMotor, MoveToPos, MoveHome,
// synchronous or not) until its motor rests, then produces one MoveCompletion. A refused move
// is not remembered and produces nothing. Completions queue in the order they are produced,
// numbered from 1 across the control's life.
//
// How a move ends:
// - A poll (PollMoves) reads the status of each motor with a remembered move, one read at a
//   time under the class lock as WaitForMotor does. A motor that rests (stopped, or on an end
//   switch) then has its position read, and its move completes with that rest and position.
//   A status read that fails ends the move with eMotorStatusError, no position read, and the
//   code the link then reports. Stop needs nothing of its own: the next poll finds the motor
//   at rest and ends the move with the status the unit then shows.
// - A synchronous member completes its move before it returns: the wait's last status read is
//   the rest, and one position read follows the wait (a Polyax position exchange). A wait that
//   gives up after its poll limit leaves the move to later polls.
// - A new move that starts shows that the earlier move on its motor is over: that move
//   completes first, from the status and position the new move read before its command. On the
//   two-motor units, whose one status serves both motors, the new move ends the other motor's
//   move too; that one's position is read at the next poll (or after a synchronous wait).
//
// Nothing here adds traffic to a move member but what follows a synchronous wait: the position
// read (after a failed status read, the link's status probe instead), and the position of a
// move it ended on the other motor. Of the completions not yet taken the latest
// kKeptCompletions are kept; a gap in the sequence numbers tells that older ones were dropped.
// SetSerial leaves the remembered moves alone: later polls read the unit it selected.
//
// Not thread-safe by itself: a control is called by one thread at a time (the COM apartment,
// the C library's lock per control).
#pragma once

#include <cstdint>
#include <vector>

#include "devices/dual_motor_controller.h"
#include "devices/motor_controller.h"
#include "link/link_status.h"

namespace zel {

template <typename Control>
class CommonMembers;

enum class MoveKind : std::int32_t {
  kMove = 1,  // MoveMotor, MoveToPos
  kHome = 2,  // MoveHome
};

struct MoveCompletion {
  MoveKind kind = MoveKind::kMove;
  std::int32_t motor = 0;
  EMotorStatus status = eMotorStopped;               // the rest it ended in, or eMotorStatusError
  std::int32_t position = kNoPosition;               // kNoPosition (2147483647) when unreadable
  LinkStatus lastError = LinkStatus::eErrorNoError;  // 0, or the code of the read that failed
  std::int32_t sequence = 0;                         // 1, 2, ... across the control's completions
};

// The pause between two polls of a waiting caller: WaitForMotor's.
inline constexpr std::uint32_t kMovePollPauseMs = DualMotorController::kPollPauseMs;

class MoveCompletions {
 public:
  static constexpr std::size_t kKeptCompletions = 256;

  MoveCompletions();

  // Whether a remembered move on `motor` (0: on any motor) has not completed yet.
  bool Pending(std::int32_t motor = 0) const noexcept;
  // Reads what the remembered moves need to end, as described above; queues what completed.
  void Poll(DualMotorController& motors, EzUsbLink& link) noexcept;
  // The oldest queued completion, taken out of the queue; false when the queue is empty.
  bool Take(MoveCompletion& completion) noexcept;

 private:
  template <typename Control>
  friend class CommonMembers;

  // For the move members. Started: a move on `motor` has started (called after its
  // exchanges; reads nothing). Waited: that move's synchronous wait ended on `lastStatus`.
  void Started(MoveKind kind, std::int32_t motor, DualMotorController& motors,
               EzUsbLink& link) noexcept;
  void Waited(std::int32_t lastStatus, DualMotorController& motors, EzUsbLink& link) noexcept;

  struct Move {
    MoveKind kind;
    std::int32_t motor;
    bool ended = false;   // `status` holds how it ended
    bool placed = false;  // `position` and `code` hold where
    std::int32_t status = eMotorRunning;
    std::int32_t position = kNoPosition;
    LinkStatus code = LinkStatus::eErrorNoError;
  };

  // Reads what the remembered moves lack, in the order they started (a status with
  // `readStatus`, a position with `readPosition`), and queues each that is complete.
  void Settle(DualMotorController& motors, EzUsbLink& link, bool readStatus,
              bool readPosition) noexcept;
  void Queue(const Move& move) noexcept;

  std::vector<Move> moves_;            // in start order, at most kKeptCompletions
  std::vector<MoveCompletion> queue_;  // oldest first, at most kKeptCompletions
  std::int32_t sequence_ = 0;
};

}  // namespace zel
