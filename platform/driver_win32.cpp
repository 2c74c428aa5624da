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
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Only a name the legacy driver does not have goes to WinUSB; a busy or refused device
    // file stays that driver's.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return winusb_.Open(name);
    return kNoDriverHandle;
  }
  const auto handle = reinterpret_cast<DriverHandle>(h);
  if (WinUsbDriver::OwnsHandle(handle)) {  // kernel handles are never negative; be sure
    CloseHandle(h);
    return kNoDriverHandle;
  }
  return handle;
}

bool Win32Driver::Request(DriverHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t inSize, void* out, std::uint32_t outSize,
                          std::uint32_t& returned) noexcept {
  if (WinUsbDriver::OwnsHandle(handle))
    return winusb_.Request(handle, code, in, inSize, out, outSize, returned);
  DWORD bytes = 0;
  returned = 0;
  BOOL ok = DeviceIoControl(ToWin32(handle), code, const_cast<void*>(in), inSize, out, outSize,
                            &bytes, nullptr);
  returned = bytes;
  return ok != FALSE;
}

void Win32Driver::Close(DriverHandle handle) noexcept {
  if (WinUsbDriver::OwnsHandle(handle)) {
    winusb_.Close(handle);
  } else if (handle != kNoDriverHandle) {
    CloseHandle(ToWin32(handle));
  }
}

void Win32Driver::Sleep(std::uint32_t milliseconds) noexcept {
  ::Sleep(milliseconds);
}

}  // namespace zel
