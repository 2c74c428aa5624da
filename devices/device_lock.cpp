#include "devices/device_lock.h"

namespace zel {

void DeviceLock::Acquire() noexcept {
  if (open_) mutex_.lock();
}

void DeviceLock::Release() noexcept {
  if (open_) mutex_.unlock();
}

bool DeviceLock::TryAcquire() noexcept {
  return open_ && mutex_.try_lock();
}

namespace {
DeviceLocks gClassLocks;  // static storage: lives from library load to unload
}  // namespace

DeviceLocks& ClassLocks() noexcept {
  return gClassLocks;
}

}  // namespace zel
