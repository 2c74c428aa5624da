// The per-class device lock: a recursive, process-local mutex shared by every control of one
// class, taken by each device object around every exchange with its unit.
#pragma once

#include <mutex>

namespace zel {

class DeviceLock {
 public:
  DeviceLock() = default;
  ~DeviceLock() { Close(); }
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

  // Waits as long as another thread holds the lock; the holder may acquire it again.
  void Acquire() noexcept;
  // Matches one Acquire. Nothing happens once the lock is closed.
  void Release() noexcept;
  // Takes the lock only if it is free at once (or already held by this thread).
  bool TryAcquire() noexcept;
  // After Close the lock is inert: Acquire and Release do nothing.
  void Close() noexcept { open_ = false; }
  bool IsOpen() const noexcept { return open_; }

 private:
  std::recursive_mutex mutex_;
  bool open_ = true;
};

// Holds an acquired DeviceLock for one scope and releases it once on every way out.
class DeviceLockGuard {
 public:
  explicit DeviceLockGuard(DeviceLock& lock) noexcept : lock_(lock) { lock_.Acquire(); }
  ~DeviceLockGuard() { lock_.Release(); }
  DeviceLockGuard(const DeviceLockGuard&) = delete;
  DeviceLockGuard& operator=(const DeviceLockGuard&) = delete;

 private:
  DeviceLock& lock_;
};

// The library's three locks, one per control class. Built when the library loads, in the order
// Kestrin, Polyax, Orvane (the member order), and closed in reverse when it unloads.
struct DeviceLocks {
  DeviceLock kestrin;
  DeviceLock polyax;
  DeviceLock orvane;
};
DeviceLocks& ClassLocks() noexcept;

}  // namespace zel
