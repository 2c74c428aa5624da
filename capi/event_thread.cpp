#include "capi/event_thread.h"

#include "capi/handles.h"
#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"

namespace zel::capi {

static_assert(ZEL_EVENT_MOVE_COMPLETE == static_cast<int>(MoveKind::kMove) &&
              ZEL_EVENT_HOME_COMPLETE == static_cast<int>(MoveKind::kHome));

bool NextEvent(ControlObject& object, zel_motion_event& event, bool& pending) {
  std::lock_guard lock(object.lock);
  return std::visit(
      [&](auto& control) {
        MoveCompletion c;
        bool taken = control->TakeCompletion(c);
        if (!taken) {
          control->PollMoves();
          taken = control->TakeCompletion(c);
        }
        pending = control->MovesPending();
        if (taken)
          event = {static_cast<std::int32_t>(c.kind),      c.motor,   c.status, c.position,
                   static_cast<std::int32_t>(c.lastError), c.sequence};
        return taken;
      },
      object.control);
}

// Ends the thread unless it is the caller: the thread's own reference to its control can be
// the last, and then the control dies on the thread as it ends.
EventThread::~EventThread() {
  if (!thread_.joinable()) return;
  if (OnThread()) {
    thread_.detach();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  woken_.notify_one();
  thread_.join();
}

void EventThread::Set(std::shared_ptr<ControlObject> object, zel_event_callback callback,
                      void* userData) {
  if (OnThread()) {  // from the callback: this thread goes on, with the new one
    std::lock_guard lock(mutex_);
    callback_ = callback;
    userData_ = userData;
    if (!removing_) ending_ = false;
    return;
  }
  std::lock_guard changing(changing_);
  {
    std::lock_guard lock(mutex_);
    callback_ = callback;
    userData_ = userData;
    if (thread_.joinable() && !ending_) return;
  }
  Join();  // a thread removed from inside its callback finishes that call first
  std::lock_guard lock(mutex_);
  ending_ = false;
  thread_ = std::thread(&EventThread::Run, this, std::move(object));
}

void EventThread::Remove() {
  if (OnThread()) {
    std::lock_guard lock(mutex_);
    ending_ = true;
    return;
  }
  std::lock_guard changing(changing_);
  {
    std::lock_guard lock(mutex_);
    ending_ = removing_ = true;
  }
  woken_.notify_one();
  Join();
  std::lock_guard lock(mutex_);
  callback_ = nullptr;
  userData_ = nullptr;
  removing_ = false;
}

void EventThread::Wake() {
  {
    std::lock_guard lock(mutex_);
    wake_ = true;
  }
  woken_.notify_one();
}

bool EventThread::Active() const {
  std::lock_guard lock(mutex_);
  return callback_ != nullptr && !ending_;
}

bool EventThread::OnThread() const {
  std::lock_guard lock(mutex_);
  return thread_.get_id() == std::this_thread::get_id();
}

void EventThread::Join() {
  if (thread_.joinable()) thread_.join();
}

// Looks at once (moves may have been started before the callback was set), then after each
// event, after each pause while moves are pending, and when a call wakes it.
void EventThread::Run(std::shared_ptr<ControlObject> object) {
  try {
    for (bool pending = true;;) {
      {
        std::unique_lock lock(mutex_);
        if (!pending) woken_.wait(lock, [&] { return ending_ || wake_; });
        if (ending_) return;
        wake_ = false;
      }
      zel_motion_event event;
      if (!NextEvent(*object, event, pending)) {
        if (pending) object->driver->Sleep(kMovePollPauseMs);
        continue;
      }
      zel_event_callback callback;
      void* userData;
      {
        std::lock_guard lock(mutex_);
        callback = callback_;
        userData = userData_;
      }
      callback(userData, &event);
      pending = true;  // more may be queued: look again at once
    }
  } catch (...) {
    // Nothing leaves the thread; the callback gets no further events.
  }
}

}  // namespace zel::capi
