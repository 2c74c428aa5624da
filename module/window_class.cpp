#include "module/window_class.h"

#include "module/module_file.h"

namespace zel {

WindowClass::~WindowClass() {
  if (atom_ != 0) UnregisterClassW(name_, ThisModule());
}

ATOM WindowClass::Get(DWORD& error) noexcept {
  if (!InitOnceExecuteOnce(&once_, &Register, this, nullptr)) error = error_;
  return atom_;
}

BOOL CALLBACK WindowClass::Register(INIT_ONCE*, void* self, void**) noexcept {
  auto& windowClass = *static_cast<WindowClass*>(self);
  WNDCLASSEXW description = {};
  description.cbSize = sizeof(description);
  description.style = windowClass.style_;
  description.lpfnWndProc = windowClass.procedure_;
  description.hInstance = ThisModule();
  description.hCursor = LoadCursor(nullptr, IDC_ARROW);
  description.lpszClassName = windowClass.name_;
  ATOM atom = RegisterClassExW(&description);
  // Left behind by an earlier load of the library that ended without unloading cleanly: its
  // window procedure is gone, so the class is registered afresh.
  if (atom == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS &&
      UnregisterClassW(description.lpszClassName, description.hInstance))
    atom = RegisterClassExW(&description);
  if (atom == 0) {
    const DWORD error = GetLastError();
    windowClass.error_ = error != 0 ? error : ERROR_CLASS_DOES_NOT_EXIST;
    return FALSE;
  }
  windowClass.atom_ = atom;
  return TRUE;
}

}  // namespace zel
