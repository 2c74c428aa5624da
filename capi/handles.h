// The objects behind the C library's handles. A handle is a number the library hands out once
// and never again, shown to the caller as an opaque pointer that is never followed: a destroyed
// or made-up handle finds nothing. Calls hold their object through a shared pointer, so a
// bench outlives its controls and an object outlives a call that is still inside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "capi/event_thread.h"
#include "controls/any_control.h"
#include "platform/driver.h"
#include "sim/bench.h"

namespace zel::capi {

struct BenchObject {
  std::shared_ptr<sim::Bench> bench;
};

struct ControlObject {
  ControlKind kind;
  std::shared_ptr<Driver> driver;  // the bench or the units' driver; outlives the control
  std::mutex lock;                 // held by every call on the control, for its length
  AnyControl control;              // used under `lock` only
  EventThread events;              // the callback's thread, when a callback is set
};

template <typename Object>
class HandleTable {
 public:
  // Adds `object` under a new handle value.
  std::uintptr_t Add(std::shared_ptr<Object> object) {
    const std::uintptr_t handle = next_.fetch_add(1);
    std::lock_guard lock(mutex_);
    objects_.emplace(handle, std::move(object));
    return handle;
  }
  // The object of `handle`, or null.
  std::shared_ptr<Object> Find(std::uintptr_t handle) const {
    std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : found->second;
  }
  // Takes `handle` out; its object dies with the last call that holds it. False when unknown.
  bool Remove(std::uintptr_t handle) {
    std::shared_ptr<Object> last;
    std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end()) return false;
    last = std::move(found->second);
    objects_.erase(found);
    return true;
  }

  // Handles of benches and controls come from one sequence, so neither passes for the other.
  explicit HandleTable(std::atomic<std::uintptr_t>& next) : next_(next) {}

 private:
  mutable std::mutex mutex_;
  std::atomic<std::uintptr_t>& next_;
  std::map<std::uintptr_t, std::shared_ptr<Object>> objects_;
};

}  // namespace zel::capi
