#include "module/events/motion_events.h"

#include <algorithm>
#include <new>
#include <utility>

#include "ZELUSB_h.h"
#include "module/com_enumerator.h"
#include "module/module_file.h"
#include "module/window_class.h"

namespace zel {
namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr DISPID kMoveComplete = 1, kHomeComplete = 2;

WindowClass windowClass(L"ZELUSBEventWindow", &MotionEvents::WindowProcedure, 0);

}  // namespace

MotionEvents::MotionEvents() noexcept = default;

MotionEvents::~MotionEvents() {
  closing_ = true;
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    // A window is destroyed by its own thread; another thread asks it to close itself.
    if (GetCurrentThreadId() == windowThread_) {
      DestroyWindow(window_);  // its timer with it
    } else {
      PostMessageW(window_, WM_CLOSE, 0, 0);
    }
  }
  for (const Connection& connection : std::exchange(connections_, {})) connection.sink->Release();
}

HRESULT STDMETHODCALLTYPE
MotionEvents::EnumConnectionPoints(IEnumConnectionPoints** points) noexcept {
  if (points == nullptr) return E_POINTER;
  *points = nullptr;
  try {
    return ConnectionPointEnumerator::Create(std::vector<IConnectionPoint*>(1, &point_), points);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE MotionEvents::FindConnectionPoint(REFIID iid,
                                                            IConnectionPoint** point) noexcept {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(iid, DIID__IMotionEvents)) return CONNECT_E_NOCONNECTION;
  point_.AddRef();
  *point = &point_;
  return S_OK;
}

void MotionEvents::Deliver() noexcept {
  if (closing_) return;
  IUnknown* identity = EventIdentity();
  identity->AddRef();  // a sink may release the last reference from its handler
  MoveCompletion completion;
  while (!closing_ && TakeCompletion(completion)) Fire(completion);
  KeepTimer(MovesPending());
  identity->Release();  // the last thing done: it may destroy the object
}

void MotionEvents::Fire(const MoveCompletion& completion) noexcept {
  // The sinks advised now; one that a handler unadvises before its turn hears nothing.
  std::vector<Connection> now;
  try {
    now = connections_;
  } catch (...) {
    return;  // out of memory: this event is lost, the next ones are not
  }
  for (const Connection& connection : now) connection.sink->AddRef();
  VARIANTARG arguments[3];  // in reverse order, as IDispatch takes them
  for (VARIANTARG& argument : arguments) {
    VariantInit(&argument);
    argument.vt = VT_I4;
  }
  arguments[2].lVal = completion.motor;
  arguments[1].lVal = completion.status;
  arguments[0].lVal = completion.position;
  const DISPID id = completion.kind == MoveKind::kHome ? kHomeComplete : kMoveComplete;
  for (const Connection& connection : now) {
    const bool advised =
        std::any_of(connections_.begin(), connections_.end(),
                    [&](const Connection& c) { return c.cookie == connection.cookie; });
    if (!advised || closing_) continue;
    DISPPARAMS parameters = {arguments, nullptr, 3, 0};
    // What a sink answers does not concern the others.
    connection.sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                            nullptr, nullptr, nullptr);
  }
  for (const Connection& connection : now) connection.sink->Release();
}

void MotionEvents::KeepTimer(bool pending) noexcept {
  if (pending == timing_ || closing_) return;
  if (!pending) {
    KillTimer(window_, kTimerId);
    timing_ = false;
    return;
  }
  if (window_ == nullptr) {
    DWORD error = 0;
    if (windowClass.Get(error) == 0) return;  // no window: events come with the members only
    window_ = CreateWindowExW(0, windowClass.Name(), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ThisModule(), nullptr);
    if (window_ == nullptr) return;
    windowThread_ = GetCurrentThreadId();
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  timing_ = SetTimer(window_, kTimerId, kPollMs, nullptr) != 0;
}

void MotionEvents::OnTimer() noexcept {
  if (closing_) return;
  PollMoves();
  Deliver();
}

LRESULT CALLBACK MotionEvents::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTimerId) {
    auto* events = reinterpret_cast<MotionEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (events != nullptr) events->OnTimer();  // touches nothing of the window after
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The connection point.

HRESULT STDMETHODCALLTYPE MotionEvents::Point::QueryInterface(REFIID iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint))
    return E_NOINTERFACE;
  AddRef();
  *object = static_cast<IConnectionPoint*>(this);
  return S_OK;
}

ULONG STDMETHODCALLTYPE MotionEvents::Point::AddRef() noexcept {
  return events_.EventIdentity()->AddRef();
}

ULONG STDMETHODCALLTYPE MotionEvents::Point::Release() noexcept {
  return events_.EventIdentity()->Release();
}

HRESULT STDMETHODCALLTYPE MotionEvents::Point::GetConnectionInterface(IID* iid) noexcept {
  if (iid == nullptr) return E_POINTER;
  *iid = DIID__IMotionEvents;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
MotionEvents::Point::GetConnectionPointContainer(IConnectionPointContainer** container) noexcept {
  if (container == nullptr) return E_POINTER;
  events_.EventIdentity()->AddRef();
  *container = &events_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MotionEvents::Point::Advise(IUnknown* sink, DWORD* cookie) noexcept {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // A sink answers the events' own interface or, as script engines' sinks do, IDispatch.
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(DIID__IMotionEvents, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
    return CONNECT_E_CANNOTCONNECT;
  try {
    events_.connections_.push_back({events_.nextCookie_, dispatch});
  } catch (...) {
    dispatch->Release();
    return E_OUTOFMEMORY;
  }
  *cookie = events_.nextCookie_++;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MotionEvents::Point::Unadvise(DWORD cookie) noexcept {
  auto& connections = events_.connections_;
  const auto found = std::find_if(connections.begin(), connections.end(),
                                  [&](const Connection& c) { return c.cookie == cookie; });
  if (found == connections.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = found->sink;
  connections.erase(found);
  sink->Release();  // after the list is whole again: the sink's release may call back
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
MotionEvents::Point::EnumConnections(IEnumConnections** connections) noexcept {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  std::vector<CONNECTDATA> now;
  try {
    for (const Connection& connection : events_.connections_)
      now.push_back({connection.sink, connection.cookie});
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return ConnectionEnumerator::Create(now, connections);
}

}  // namespace zel
