// In-place activation: windowless when the site offers it and agrees, otherwise in a child
// window of the control's own whose paint runs the drawing; UI activation on the container's
// frame; deactivation gives back everything activation took.
#include <utility>

#include "module/embedding/embedded_control.h"
#include "module/module_file.h"
#include "module/window_class.h"

namespace zel {
namespace {

// The picture is laid out on the whole window (frame at the edges, label in the middle), so a
// resize redraws all of it.
WindowClass windowClass(L"ZELUSBControlWindow", &EmbeddedControl::WindowProcedure,
                        CS_HREDRAW | CS_VREDRAW);

}  // namespace

HRESULT EmbeddedControl::ActivateInPlace(IOleClientSite* site, bool uiActivate) noexcept {
  if (!inPlaceActive_) {
    if (site == nullptr) return E_INVALIDARG;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite,
                                    reinterpret_cast<void**>(inPlaceSite_.Put()))) ||
        !inPlaceSite_)
      return E_NOINTERFACE;
    if (inPlaceSite_->CanInPlaceActivate() != S_OK) {
      inPlaceSite_.Reset();
      return E_FAIL;
    }
    // Active from the site's first notice on: the container may end the activation, or close
    // the control, from any of its calls, the notice itself among them. They go through
    // references of the control's own, and what the container hands over after the end goes
    // back.
    const Hold hold(*this);
    const ComRef<IOleInPlaceSite> inPlace(inPlaceSite_.Get());
    inPlaceActive_ = true;
    ComRef<IOleInPlaceSiteWindowless> windowless;
    ComRef<IOleInPlaceSiteEx> extended;
    BOOL noRedraw = FALSE;
    HRESULT hr;
    if (SUCCEEDED(inPlace->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                          reinterpret_cast<void**>(windowless.Put()))) &&
        windowless && windowless->CanWindowlessActivate() == S_OK) {
      windowlessSite_.Reset(windowless.Get());  // ended from the notice: told by the same way
      hr = windowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
    } else if (SUCCEEDED(inPlace->QueryInterface(IID_IOleInPlaceSiteEx,
                                                 reinterpret_cast<void**>(extended.Put()))) &&
               extended) {
      hr = extended->OnInPlaceActivateEx(&noRedraw, 0);
    } else {
      hr = inPlace->OnInPlaceActivate();
    }
    if (FAILED(hr)) {
      if (inPlaceActive_) {  // a refused activation: the site never took it for active
        inPlaceActive_ = false;
        inPlaceSite_.Reset();
        windowlessSite_.Reset();
      }
      return hr;
    }
    if (!inPlaceActive_) return E_UNEXPECTED;

    ComRef<IOleInPlaceFrame> frame;
    ComRef<IOleInPlaceUIWindow> document;
    RECT clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    hr = inPlace->GetWindowContext(frame.Put(), document.Put(), &position_, &clip, &frameInfo);
    if (!inPlaceActive_) return E_UNEXPECTED;
    frame_.Reset(frame.Get());
    document_.Reset(document.Get());
    if (SUCCEEDED(hr) && !windowlessSite_) {
      HWND parent = nullptr;
      hr = inPlace->GetWindow(&parent);
      if (!inPlaceActive_) return E_UNEXPECTED;
      if (SUCCEEDED(hr)) hr = CreateControlWindow(parent);
    }
    if (FAILED(hr)) {
      InPlaceDeactivate();
      return hr;
    }
  }
  if (window_ != nullptr) ShowWindow(window_, SW_SHOW);
  if (uiActivate && !uiActive_) UIActivate();
  return S_OK;
}

void EmbeddedControl::UIActivate() noexcept {
  const Hold hold(*this);
  const ComRef<IOleInPlaceSite> site(inPlaceSite_.Get());
  if (!inPlaceActive_ || !site) return;  // ended from a callback of the in-place activation
  // A site that can say no is asked first; it may be busy with something of its own.
  ComRef<IOleInPlaceSiteEx> extended;
  if (SUCCEEDED(
          site->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(extended.Put()))) &&
      extended && extended->RequestUIActivate() != S_OK)
    return;
  if (!inPlaceActive_ || uiActive_) return;  // the container changed its mind meanwhile
  uiActive_ = true;
  const ComRef<IOleInPlaceFrame> frame(frame_.Get());
  const ComRef<IOleInPlaceUIWindow> document(document_.Get());
  const ComRef<IOleInPlaceSiteWindowless> windowless(windowlessSite_.Get());
  site->OnUIActivate();
  // The control has no tools: the frame and the document window may put theirs back (a
  // container may have taken them away in OnUIActivate).
  auto* active = static_cast<IOleInPlaceActiveObject*>(this);
  if (frame) {
    frame->SetActiveObject(active, nullptr);
    frame->SetBorderSpace(nullptr);
  }
  if (document) {
    document->SetActiveObject(active, nullptr);
    document->SetBorderSpace(nullptr);
  }
  // A container that keeps the keyboard focus takes the control for inactive and UI-deactivates
  // it again.
  if (!uiActive_) return;
  if (windowless)
    windowless->SetFocus(TRUE);
  else if (window_ != nullptr)
    SetFocus(window_);
}

HRESULT EmbeddedControl::CreateControlWindow(HWND parent) noexcept {
  DWORD error = 0;
  if (windowClass.Get(error) == 0) return HRESULT_FROM_WIN32(error);
  window_ = CreateWindowExW(0, windowClass.Name(), nullptr, WS_CHILD | WS_CLIPSIBLINGS,
                            position_.left, position_.top, position_.right - position_.left,
                            position_.bottom - position_.top, parent, nullptr, ThisModule(), this);
  if (window_ != nullptr) return S_OK;
  // Refused without a reason (a hook may refuse it): still a failure.
  const DWORD reason = GetLastError();
  return reason != 0 ? HRESULT_FROM_WIN32(reason) : E_FAIL;
}

void EmbeddedControl::DestroyControlWindow() noexcept {
  if (window_ == nullptr) return;
  DestroyWindow(window_);
  window_ = nullptr;
}

LRESULT CALLBACK EmbeddedControl::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<EmbeddedControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) {
    // Destroyed with its parent before the control let go of it: the handle is dead from now
    // on, and a later window may be given the same one.
    if (self != nullptr && self->window_ == window) self->window_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self = nullptr;
  }
  if (self != nullptr && (message == WM_PAINT || message == WM_PRINTCLIENT)) {
    RECT client;
    GetClientRect(window, &client);
    // WM_PRINTCLIENT brings the context to draw into, as PrintWindow and captures ask.
    PAINTSTRUCT paint;
    HDC dc = message == WM_PAINT ? BeginPaint(window, &paint) : reinterpret_cast<HDC>(wParam);
    self->DrawInto(dc, client);
    if (message == WM_PAINT) EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// IOleWindow.

HRESULT EmbeddedControl::GetWindow(HWND* window) noexcept {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

HRESULT EmbeddedControl::ContextSensitiveHelp(BOOL) noexcept {
  return E_NOTIMPL;
}

// IOleInPlaceObject, IOleInPlaceObjectWindowless.

// Every call out may come back in: the container may end the activation, close the control,
// release it or activate it again from its callback. So the state is settled and the
// references the call needs are moved into locals before each call, and nothing a callback
// may have replaced is touched after it.
HRESULT EmbeddedControl::InPlaceDeactivate() noexcept {
  if (!inPlaceActive_) return S_OK;
  const Hold hold(*this);
  UIDeactivate();
  // Ended from a callback of the UI deactivation, or UI-activated again: the container's
  // last word stands.
  if (!inPlaceActive_ || uiActive_) return S_OK;
  inPlaceActive_ = false;
  ComRef<IOleInPlaceSite> site(std::move(inPlaceSite_));
  ComRef<IOleInPlaceSiteWindowless> windowless(std::move(windowlessSite_));
  frame_.Reset();
  document_.Reset();
  DestroyControlWindow();
  TellUIDeactivated(site.Get());
  if (windowless)
    windowless->OnInPlaceDeactivateEx(TRUE);
  else
    site->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT EmbeddedControl::UIDeactivate() noexcept {
  if (!uiActive_) return S_OK;
  const Hold hold(*this);
  uiActive_ = false;
  uiDeactivationOwed_ = true;
  const ComRef<IOleInPlaceSite> site(inPlaceSite_.Get());
  const ComRef<IOleInPlaceFrame> frame(frame_.Get());
  const ComRef<IOleInPlaceUIWindow> document(document_.Get());
  if (frame) frame->SetActiveObject(nullptr, nullptr);
  if (document) document->SetActiveObject(nullptr, nullptr);
  TellUIDeactivated(site.Get());
  return S_OK;
}

void EmbeddedControl::TellUIDeactivated(IOleInPlaceSite* site) noexcept {
  if (!uiDeactivationOwed_) return;
  uiDeactivationOwed_ = false;
  if (site != nullptr) site->OnUIDeactivate(FALSE);
}

HRESULT EmbeddedControl::SetObjectRects(LPCRECT position, LPCRECT) noexcept {
  if (position == nullptr) return E_POINTER;
  position_ = *position;
  if (window_ != nullptr)
    SetWindowPos(window_, nullptr, position_.left, position_.top, position_.right - position_.left,
                 position_.bottom - position_.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

HRESULT EmbeddedControl::ReactivateAndUndo() noexcept {
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) noexcept {
  if (result != nullptr) *result = 0;
  return S_FALSE;  // the container's default handling
}

HRESULT EmbeddedControl::GetDropTarget(IDropTarget** target) noexcept {
  if (target != nullptr) *target = nullptr;
  return E_NOTIMPL;
}

// IOleInPlaceActiveObject.

HRESULT EmbeddedControl::TranslateAccelerator(LPMSG) noexcept {
  return S_FALSE;
}

HRESULT EmbeddedControl::OnFrameWindowActivate(BOOL) noexcept {
  return S_OK;
}

HRESULT EmbeddedControl::OnDocWindowActivate(BOOL) noexcept {
  return S_OK;
}

HRESULT EmbeddedControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept {
  return S_OK;
}

HRESULT EmbeddedControl::EnableModeless(BOOL) noexcept {
  return S_OK;
}

}  // namespace zel
