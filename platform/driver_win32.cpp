#include "platform/driver_win32.h"

#include <windows.h>

namespace zel {

namespace {
HANDLE ToWin32(DriverHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
}  // namespace

DriverHandle Win32Driver::Open(const char* name) noexcept {
  HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoDriverHandle;
  return reinterpret_cast<DriverHandle>(h);
}

bool Win32Driver::Request(DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t inSize, void* out, std::uint32_t outSize,
                          std::uint32_t& returned) noexcept {
  DWORD bytes = 0;
  returned = 0;
  BOOL ok = DeviceIoControl(ToWin32(handle), code, const_cast<void*>(in), inSize, out, outSize,
                            &bytes, nullptr);
  returned = bytes;
  return ok != FALSE;
}

void Win32Driver::Close(DriverHandle handle) noexcept {
  if (handle != kNoDriverHandle) CloseHandle(ToWin32(handle));
}

void Win32Driver::Sleep(std::uint32_t milliseconds) noexcept {
  ::Sleep(milliseconds);
}

}  // namespace zel
