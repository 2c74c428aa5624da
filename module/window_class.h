// A window class of the library's, registered once per process on first use and taken back
// when the library unloads. Window classes belong to the process, not to a thread: one kept
// while any apartment may create windows of it (taken back after each window, one apartment's
// last window would unregister it between another's registration and its CreateWindowExW).
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

namespace zel {

class WindowClass {
 public:
  constexpr WindowClass(const wchar_t* name, WNDPROC procedure, UINT style) noexcept
      : name_(name), procedure_(procedure), style_(style) {}
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass();

  // The class's atom; 0 when it cannot be registered, with the reason in `error` (tried again
  // on the next call).
  ATOM Get(DWORD& error) noexcept;
  const wchar_t* Name() const noexcept { return name_; }

 private:
  static BOOL CALLBACK Register(INIT_ONCE*, void* self, void**) noexcept;

  const wchar_t* const name_;
  const WNDPROC procedure_;
  const UINT style_;
  INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
  ATOM atom_ = 0;
  DWORD error_ = 0;
};

}  // namespace zel
