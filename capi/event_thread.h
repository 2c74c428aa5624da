// How the C library hands out a control's move completions: one look at them (zel_next_event
// and the callback's thread both take theirs this way), and the thread that calls the
// caller's callback.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "capi/zelusbc.h"

namespace zel::capi {

struct ControlObject;

// One look under the control's lock: the oldest queued completion or, when none is queued, the
// oldest that one poll of the pending moves gives. `pending` tells whether moves are still
// pending after the look.
bool NextEvent(ControlObject& object, zel_motion_event& event, bool& pending);

// The thread starts with the first callback and ends when the callback is removed. It takes
// the control's lock for each look and holds no lock while it calls back.
class EventThread {
 public:
  EventThread() = default;
  ~EventThread();
  EventThread(const EventThread&) = delete;
  EventThread& operator=(const EventThread&) = delete;

  // Sets or replaces the callback, starting the thread for `object` when none runs.
  void Set(std::shared_ptr<ControlObject> object, zel_event_callback callback, void* userData);
  // Removes the callback and returns once the thread has ended; from the thread itself (the
  // callback), it returns at once and the thread ends after the running call.
  void Remove();
  // A call on the control may have started a move: a sleeping thread looks again.
  void Wake();
  // Whether a callback is set: its thread then takes every event.
  bool Active() const;

 private:
  void Run(std::shared_ptr<ControlObject> object);
  bool OnThread() const;
  void Join();

  std::mutex changing_;  // Set and Remove from other threads take turns (and wait the join)
  mutable std::mutex mutex_;
  std::condition_variable woken_;
  zel_event_callback callback_ = nullptr;
  void* userData_ = nullptr;
  bool ending_ = false;    // the thread is to end before its next look
  bool removing_ = false;  // another thread's Remove waits for it: a Set from inside loses
  bool wake_ = false;      // a call asked a sleeping thread to look again
  std::thread thread_;     // written under mutex_, and joined only by callers of Set and Remove
};

}  // namespace zel::capi
