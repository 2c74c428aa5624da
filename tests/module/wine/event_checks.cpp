// Checks the controls' events the way a C++ client takes them: an IDispatch sink advised
// through IConnectionPointContainer, and a message loop on the control's thread. Runs under
// wine against the simulator build on the live bench of events_bench.json:
//   event_checks.exe PATH\ZELUSB.dll
// Prints one line per failed check, the latency figures and "N passed, N failed"; exits 1 on
// any failure.
// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "ZELUSB_h.h"
#include "tests/module/wine/check.h"

namespace {

using wine_check::failed;
using wine_check::passed;
using Clock = std::chrono::steady_clock;

HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;

constexpr DISPID kMove = 1, kHome = 2;
constexpr LONG kAny = LONG_MIN;  // a position the row does not fix

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Heard {
  DISPID id;
  LONG motor, status, position;
  Clock::time_point at;
};

// A sink of the events: records what it hears, then runs `handler` (which may do anything a
// client's handler may).
class Sink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, DIID__IMotionEvents))
      return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    const bool shaped = flags == DISPATCH_METHOD && params != nullptr && params->cArgs == 3 &&
                        std::all_of(params->rgvarg, params->rgvarg + 3,
                                    [](const VARIANTARG& a) { return a.vt == VT_I4; });
    CHECK(shaped);
    if (!shaped) return DISP_E_BADPARAMCOUNT;
    heard.push_back(
        {id, params->rgvarg[2].lVal, params->rgvarg[1].lVal, params->rgvarg[0].lVal, Clock::now()});
    if (handler) handler();
    return failing ? E_FAIL : S_OK;
  }

  std::vector<Heard> heard;
  std::function<void()> handler;
  bool failing = false;  // answers every event with a failure
  ULONG references = 0;
};

void Report(const char* row) {
  static int before = 0;
  std::printf("%s: %s\n", failed > before ? "FAILED" : "ok", row);
  before = failed;
}

// The control's connection point for the events.
IConnectionPoint* PointOf(IUnknown* control) {
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  if (control->QueryInterface(IID_IConnectionPointContainer,
                              reinterpret_cast<void**>(&container)) != S_OK)
    return nullptr;
  container->FindConnectionPoint(DIID__IMotionEvents, &point);
  container->Release();
  return point;
}

DWORD Advise(IUnknown* control, Sink& sink) {
  IConnectionPoint* point = PointOf(control);
  DWORD cookie = 0;
  if (point != nullptr) {
    CHECK(point->Advise(&sink, &cookie) == S_OK);
    point->Release();
  }
  return cookie;
}

HRESULT Unadvise(IUnknown* control, DWORD cookie) {
  IConnectionPoint* point = PointOf(control);
  if (point == nullptr) return E_NOINTERFACE;
  const HRESULT hr = point->Unadvise(cookie);
  point->Release();
  return hr;
}

// Runs this thread's message loop until `done` holds or `limitMs` passed; counts the timer
// messages that came by.
int timerMessages = 0;
bool Pump(const std::function<bool()>& done, double limitMs) {
  const auto start = Clock::now();
  while (!done()) {
    if (MillisSince(start) > limitMs) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_TIMER) ++timerMessages;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
  }
  return true;
}
void PumpFor(double ms) {
  Pump([] { return false; }, ms);
}

template <typename Interface>
Interface* Create(REFCLSID clsid, REFIID iid) {
  IClassFactory* factory = nullptr;
  Interface* control = nullptr;
  if (getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK) {
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&control));
    factory->Release();
  }
  return control;
}

// --- The moves' events ------------------------------------------------------------------------

struct Rig {
  IKestrinControl* kestrin;
  IPolyaxControl* polyax;
  Sink& sink;
  size_t heardAtReturn = 0;  // what the sink had heard when the row's member returned
};

struct Expected {
  DISPID id;
  LONG motor, status, position;
};

void Moves(IKestrinControl* kestrin, IPolyaxControl* polyax) {
  VARIANT_BOOL ok = 0;
  // 2000 steps/s: 200 steps take 100 ms. The Kestrin's switches are at -300 and 300.
  CHECK(kestrin->SetMotorFreq(1, 2000, &ok) == S_OK && ok);
  for (const LONG motor : {1, 2}) CHECK(polyax->SetMotorFreq(motor, 2000, &ok) == S_OK && ok);
  struct Row {
    const char* name;
    std::function<void(Rig&)> act;
    std::vector<Expected> heard;
    size_t heardAtReturn;
  };
  const auto returned = [](Rig& rig) { rig.heardAtReturn = rig.sink.heard.size(); };
  const Row rows[] = {
      {"an asynchronous move",
       [&](Rig& rig) {
         rig.kestrin->MoveToPos(1, 0, VARIANT_FALSE, &ok);
         rig.sink.heard.clear();
         CHECK(rig.kestrin->MoveMotor(1, 200, VARIANT_TRUE, &ok) == S_OK && ok);
         returned(rig);
       },
       {{kMove, 1, 0, 200}},
       0},
      {"a synchronous move: its event before it returns",
       [&](Rig& rig) {
         CHECK(rig.kestrin->MoveMotor(1, -50, VARIANT_FALSE, &ok) == S_OK && ok);
         returned(rig);
       },
       {{kMove, 1, 0, 150}},
       1},
      {"Stop mid-move",
       [&](Rig& rig) {
         CHECK(rig.kestrin->MoveMotor(1, 250, VARIANT_TRUE, &ok) == S_OK && ok);
         PumpFor(40);
         CHECK(rig.kestrin->Stop(1, &ok) == S_OK && ok);
         returned(rig);
       },
       {{kMove, 1, 0, kAny}},
       0},
      {"a home at the backward switch",
       [&](Rig& rig) {
         CHECK(rig.kestrin->MoveHome(1, VARIANT_TRUE, &ok) == S_OK && ok);
         returned(rig);
       },
       {{kHome, 1, 3, -300}},
       0},
      {"a move into the forward switch",
       [&](Rig& rig) {
         CHECK(rig.kestrin->MoveMotor(1, 700, VARIANT_TRUE, &ok) == S_OK && ok);
         returned(rig);
       },
       {{kMove, 1, 2, 300}},
       0},
      {"a refused move: nothing",
       [&](Rig& rig) {
         CHECK(rig.kestrin->MoveMotor(1, -100, VARIANT_TRUE, &ok) == S_OK && ok);
         CHECK(rig.kestrin->MoveMotor(2, 10, VARIANT_TRUE, &ok) == S_OK && !ok);  // 1 runs
         returned(rig);
       },
       {{kMove, 1, 0, 200}},
       0},
      {"two Polyax motors: in the order they end",
       [&](Rig& rig) {
         CHECK(rig.polyax->MoveMotor(1, 600, VARIANT_TRUE, &ok) == S_OK && ok);
         CHECK(rig.polyax->MoveMotor(2, 60, VARIANT_TRUE, &ok) == S_OK && ok);
         returned(rig);
       },
       {{kMove, 2, 0, 60}, {kMove, 1, 0, 600}},
       0},
  };
  Sink sink;
  const DWORD kestrinCookie = Advise(kestrin, sink);
  const DWORD polyaxCookie = Advise(polyax, sink);
  for (const Row& row : rows) {
    sink.heard.clear();
    Rig rig{kestrin, polyax, sink};
    row.act(rig);
    CHECK(rig.heardAtReturn == row.heardAtReturn);
    CHECK(Pump([&] { return sink.heard.size() >= row.heard.size(); }, 3000));
    PumpFor(60);  // nothing more comes
    CHECK(sink.heard.size() == row.heard.size());
    for (size_t k = 0; k < std::min(sink.heard.size(), row.heard.size()); ++k) {
      const Heard& got = sink.heard[k];
      const Expected& want = row.heard[k];
      CHECK(got.id == want.id && got.motor == want.motor && got.status == want.status);
      CHECK(want.position == kAny || got.position == want.position);
      if (got.id != want.id || got.motor != want.motor || got.status != want.status ||
          (want.position != kAny && got.position != want.position))
        std::printf("  heard %ld %ld %ld %ld\n", static_cast<long>(got.id), got.motor, got.status,
                    got.position);
    }
    if (row.heard.size() == 1 && row.heard[0].position == kAny && !sink.heard.empty()) {
      // Stopped on the way from 150 to the switch at 300, where the event says.
      LONG position = kAny;
      kestrin->GetMotorPosition(1, &position);
      CHECK(sink.heard[0].position == position && position > 150 && position < 300);
    }
    Report(row.name);
  }
  // With nothing pending there is no timer: an idle control polls nothing.
  timerMessages = 0;
  PumpFor(150);
  CHECK(timerMessages == 0);
  CHECK(kestrin->MoveMotor(1, -100, VARIANT_TRUE, &ok) == S_OK && ok);
  CHECK(Pump([&] { return !sink.heard.empty() && sink.heard.back().position == 100; }, 3000));
  CHECK(timerMessages > 0);
  Report("a timer while a move is pending, none while idle");
  Unadvise(kestrin, kestrinCookie);
  Unadvise(polyax, polyaxCookie);
}

// --- Sinks ------------------------------------------------------------------------------------

void Sinks() {
  VARIANT_BOOL ok = 0;
  const auto moved = [&](IKestrinControl* kestrin, Sink& sink, size_t count) {
    CHECK(kestrin->MoveMotor(1, 20, VARIANT_TRUE, &ok) == S_OK && ok);
    return Pump([&] { return sink.heard.size() >= count; }, 3000);
  };
  // Two sinks hear every event, even when the first fails; one that unadvises itself from its
  // handler hears no more; the connections are enumerated.
  {
    auto* kestrin = Create<IKestrinControl>(CLSID_CKestrinControl, IID_IKestrinControl);
    Sink first, second;
    first.failing = true;
    const DWORD one = Advise(kestrin, first);
    const DWORD two = Advise(kestrin, second);
    CHECK(one != 0 && two != 0 && one != two);
    IConnectionPoint* point = PointOf(kestrin);
    IEnumConnections* connections = nullptr;
    CONNECTDATA data[3] = {};
    ULONG fetched = 0;
    CHECK(point != nullptr && point->EnumConnections(&connections) == S_OK);
    CHECK(connections->Next(3, data, &fetched) == S_FALSE && fetched == 2);
    CHECK(data[0].dwCookie == one && data[1].dwCookie == two);
    for (ULONG k = 0; k < fetched; ++k) data[k].pUnk->Release();
    connections->Release();
    IID iid = IID_NULL;
    CHECK(point->GetConnectionInterface(&iid) == S_OK && IsEqualIID(iid, DIID__IMotionEvents));
    CHECK(point->Unadvise(12345) == CONNECT_E_NOCONNECTION);
    point->Release();
    CHECK(moved(kestrin, second, 1) && first.heard.size() == 1);
    first.handler = [&] { CHECK(Unadvise(kestrin, one) == S_OK); };
    CHECK(moved(kestrin, second, 2) && first.heard.size() == 2);
    CHECK(moved(kestrin, second, 3) && first.heard.size() == 2);
    Unadvise(kestrin, two);
    kestrin->Release();
    CHECK(first.references == 0 && second.references == 0);  // the control let go of both
  }
  Report("two sinks, a failing one, Unadvise from a handler");
  // The last reference released from a handler, during the timer's delivery: nothing fires
  // after, and the sink is let go.
  {
    auto* kestrin = Create<IKestrinControl>(CLSID_CKestrinControl, IID_IKestrinControl);
    Sink sink;
    Advise(kestrin, sink);
    sink.handler = [&] {
      if (kestrin != nullptr) std::exchange(kestrin, nullptr)->Release();
    };
    CHECK(kestrin->MoveMotor(1, 20, VARIANT_TRUE, &ok) == S_OK && ok);
    CHECK(Pump([&] { return kestrin == nullptr; }, 3000));
    PumpFor(60);
    CHECK(sink.heard.size() == 1 && sink.references == 0);
  }
  Report("the last Release from a handler");
}

// --- The connection point -----------------------------------------------------------------

void Discovery(IKestrinControl* kestrin) {
  // The class information's default source and the type library's coclasses are checked by
  // the C++ client's check and the type library's.
  // One connection point, for the events; none for another interface; a sink that is no
  // IDispatch is refused.
  IConnectionPointContainer* container = nullptr;
  CHECK(kestrin->QueryInterface(IID_IConnectionPointContainer,
                                reinterpret_cast<void**>(&container)) == S_OK);
  IEnumConnectionPoints* points = nullptr;
  IConnectionPoint* listed[2] = {};
  ULONG fetched = 0;
  CHECK(container->EnumConnectionPoints(&points) == S_OK);
  CHECK(points->Next(2, listed, &fetched) == S_FALSE && fetched == 1);
  IConnectionPoint* point = nullptr;
  CHECK(container->FindConnectionPoint(DIID__IMotionEvents, &point) == S_OK && point == listed[0]);
  IConnectionPoint* none = nullptr;
  CHECK(container->FindConnectionPoint(IID_IPropertyNotifySink, &none) == CONNECT_E_NOCONNECTION);
  IConnectionPointContainer* back = nullptr;
  CHECK(point->GetConnectionPointContainer(&back) == S_OK && back == container);
  struct NotDispatch final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
  } stranger;
  DWORD cookie = 7;
  CHECK(point->Advise(&stranger, &cookie) == CONNECT_E_CANNOTCONNECT && cookie == 0);
  for (IConnectionPoint* p : {listed[0], point}) p->Release();
  back->Release();
  points->Release();
  container->Release();
  Report("the connection point and its enumerators");
}

// --- The figures ------------------------------------------------------------------------------

// 100 asynchronous moves of 20 to 39 steps at 2000 steps/s (10 to 19.5 ms, so that their ends
// fall anywhere in the timer's period): from the moment the motor stops (the member's return
// plus the move's time on the bench) to the event's arrival.
void Latency(IKestrinControl* kestrin) {
  Sink sink;
  const DWORD cookie = Advise(kestrin, sink);
  VARIANT_BOOL ok = 0;
  LONG frequency = 0;
  kestrin->GetMotorFreq(1, &frequency);
  std::vector<double> late;
  for (int k = 0; k < 100; ++k) {
    const LONG length = 20 + (k / 2) % 20, steps = k % 2 == 0 ? length : -length;
    sink.heard.clear();
    kestrin->MoveMotor(1, steps, VARIANT_TRUE, &ok);
    const auto stops = Clock::now() + std::chrono::microseconds(length * 1000000LL / frequency);
    if (!ok || !Pump([&] { return !sink.heard.empty(); }, 3000)) continue;
    late.push_back(std::chrono::duration<double, std::milli>(sink.heard[0].at - stops).count());
  }
  CHECK(late.size() == 100);
  Report("100 events timed");
  std::sort(late.begin(), late.end());
  if (!late.empty())
    std::printf("event latency over %zu moves: median %.1f ms, largest %.1f ms\n", late.size(),
                late[late.size() / 2], late.back());
  CHECK(late.empty() || late.back() < 200);
  Unadvise(kestrin, cookie);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: event_checks PATH\\ZELUSB.dll\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HMODULE library = LoadLibraryW(argv[1]);
  getClassObject = reinterpret_cast<decltype(getClassObject)>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
  if (getClassObject == nullptr) {
    std::printf("FAILED: no DllGetClassObject in %ls\n", argv[1]);
    return 1;
  }
  auto* kestrin = Create<IKestrinControl>(CLSID_CKestrinControl, IID_IKestrinControl);
  auto* polyax = Create<IPolyaxControl>(CLSID_CPolyaxControl, IID_IPolyaxControl);
  VARIANT_BOOL present = 0;
  CHECK(kestrin != nullptr && polyax != nullptr);
  if (kestrin != nullptr && polyax != nullptr) {
    CHECK(kestrin->IsDevicePresent(&present) == S_OK && present);
    Discovery(kestrin);
    Moves(kestrin, polyax);
    Sinks();
    Latency(kestrin);
  }
  if (kestrin != nullptr) kestrin->Release();
  if (polyax != nullptr) polyax->Release();
  CoUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
