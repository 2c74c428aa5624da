// What the embedding checks share: a canvas with known colours and the check of a control's
// picture on it, and a container of their own: a client site with switches for what it does
// when the control calls it back, the container's frame and document windows, and an advise
// sink. Everything is counted but never freed, so a check can see who holds what.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "tests/module/wine/check.h"
#include "tests/module/wine/dib_canvas.h"

namespace embedding_check {

using ServerFunction = HRESULT(STDAPICALLTYPE*)();
inline ServerFunction canUnloadNow;

constexpr COLORREF kGround = RGB(0, 128, 0);
constexpr COLORREF kPen = RGB(255, 0, 0);
constexpr COLORREF kBrush = RGB(0, 0, 255);
constexpr COLORREF kText = RGB(255, 255, 0);

// A 32-bit DIB filled with the ground colour, with a red pen, a blue brush and yellow
// transparent text selected.
struct Canvas : wine_check::DibCanvas {
  Canvas(int w, int h) : DibCanvas(w, h, kGround) {
    pen = CreatePen(PS_SOLID, 1, kPen);
    brush = CreateSolidBrush(kBrush);
    SelectObject(dc, pen);
    SelectObject(dc, brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kText);
  }
  ~Canvas() {
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
  }
  HPEN pen;
  HBRUSH brush;
};

// The colours a picture is drawn in: the context's pen and brush, and what lay there before.
struct Colours {
  COLORREF pen = kPen, brush = kBrush, ground = kGround;
};

// The picture of a control at device rectangle `r` of `canvas`: the frame in the pen, the fill
// in the brush, the label centred on the middle of `r` and standing on it (below the middle
// only a descender), and nothing outside `r`.
inline void CheckPicture(const Canvas& canvas, const RECT& r, int line, Colours colours = {}) {
  const COLORREF pen = colours.pen, brush = colours.brush, ground = colours.ground;
  const int midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
  wine_check::Check(canvas.Pixel(r.left, r.top + 2) == pen &&
                        canvas.Pixel(r.right - 1, r.top + 2) == pen &&
                        canvas.Pixel(midX, r.top) == pen && canvas.Pixel(midX, r.bottom - 1) == pen,
                    "frame in the pen", line);
  wine_check::Check(canvas.Pixel(r.left + 2, r.top + 2) == brush &&
                        canvas.Pixel(r.right - 3, r.bottom - 3) == brush,
                    "fill in the brush", line);
  int left = canvas.width, right = -1, top = canvas.height, onBaseline = 0, belowBaseline = 0;
  for (int y = r.top + 1; y < r.bottom - 1; ++y)
    for (int x = r.left + 1; x < r.right - 1; ++x)
      if (canvas.Pixel(x, y) != brush) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y);
        onBaseline += y == midY - 1;
        belowBaseline += y == midY;
      }
  wine_check::Check(right - left > 40 && std::abs((left + right + 1) / 2 - midX) <= 2,
                    "label centred", line);
  wine_check::Check(onBaseline > 10 && belowBaseline < 4 && top < midY - 5, "label on the baseline",
                    line);
  bool outside = true;
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x)
      if ((x < r.left || x >= r.right || y < r.top || y >= r.bottom) &&
          canvas.Pixel(x, y) != ground)
        outside = false;
  wine_check::Check(outside, "nothing outside the bounds", line);
}

template <typename T>
T* Create(REFCLSID clsid, REFIID iid) {
  T* object = nullptr;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
  return object;
}

template <typename T>
T* Query(IUnknown* object, REFIID iid) {
  T* result = nullptr;
  if (object != nullptr) object->QueryInterface(iid, reinterpret_cast<void**>(&result));
  return result;
}

inline SIZEL Extent(IOleObject* object) {
  SIZEL size = {-1, -1};
  object->GetExtent(DVASPECT_CONTENT, &size);
  return size;
}

// What a container does to the control from inside one of its callbacks.
enum class CallIn { kNothing, kInPlaceDeactivate, kClose, kActivateAgain };

struct Site;

// The container's frame or document window. It records the UI-activation calls in the site's
// log, and may call in when told that no object is active any more.
struct UIWindow final : IOleInPlaceFrame {
  UIWindow(Site& s, const char* n) : site(s), name(n) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IOleWindow) &&
        !IsEqualIID(iid, IID_IOleInPlaceUIWindow) && !IsEqualIID(iid, IID_IOleInPlaceFrame))
      return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override;
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  Site& site;
  const char* name;
  ULONG references = 1;
};

// Ambient properties, in-place windows and view notifications of a container in design mode,
// and the switches for containers that call back in.
struct Site final : IOleClientSite, IOleInPlaceSiteWindowless, IDispatch {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
      *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IDispatch))
      *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite) ||
             IsEqualIID(iid, IID_IOleInPlaceSiteEx) ||
             IsEqualIID(iid, IID_IOleInPlaceSiteWindowless))
      *object = static_cast<IOleInPlaceSiteWindowless*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  // IOleClientSite.
  HRESULT STDMETHODCALLTYPE SaveObject() override { return ++saves, S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow, IOleInPlaceSite, IOleInPlaceSiteEx, IOleInPlaceSiteWindowless.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override { return *w = window, S_OK; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return OnInPlaceActivateEx(nullptr, 0); }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return Log("ui"), uiActive = true, S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frameOut,
                                             IOleInPlaceUIWindow** documentOut, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
    Call(std::exchange(onWindowContext, CallIn::kNothing));  // once
    *frameOut = withFrame ? (frame.AddRef(), &frame) : nullptr;
    *documentOut = withFrame ? (document.AddRef(), &document) : nullptr;
    *position = *clip = place;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override {
    Log("ui-off");
    uiActive = false;
    Call(onUIDeactivate);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return OnInPlaceDeactivateEx(TRUE); }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL*, DWORD flags) override {
    Log("on");
    active = (flags & ACTIVATE_WINDOWLESS) != 0 ? 2 : 1;
    Call(std::exchange(onActivate, CallIn::kNothing));  // once
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override {
    Log("off");
    active = 0;
    Call(onInPlaceDeactivate);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RequestUIActivate() override {
    Log("request");
    return refuseUIActivation ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override { return windowless ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetCapture() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL focus) override {
    return Log(focus ? "focus" : "focus-off"), S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override { return ++invalidated, S_OK; }
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override { return ++invalidated, S_OK; }
  HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override {
    return S_FALSE;
  }
  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE) return DISP_E_MEMBERNOTFOUND;
    ++ambientReads;
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = userMode ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  void Log(const std::string& call) { log += log.empty() ? call : " " + call; }
  // Does `what` to the control, as a container would from inside a callback.
  void Call(CallIn what) {
    if (what == CallIn::kNothing || control == nullptr) return;
    auto* inPlace = Query<IOleInPlaceObject>(control, IID_IOleInPlaceObject);
    if (what == CallIn::kInPlaceDeactivate) inPlace->InPlaceDeactivate();
    if (what == CallIn::kClose) control->Close(OLECLOSE_NOSAVE);
    if (what == CallIn::kActivateAgain) {
      onInPlaceDeactivate = CallIn::kNothing;  // once
      control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window, &place);
    }
    inPlace->Release();
  }

  ULONG references = 1;
  HWND window = nullptr;
  RECT place = {30, 20, 270, 80};
  bool windowless = true, userMode = false, uiActive = false;
  int active = 0;  // 1 in a window, 2 windowless
  int ambientReads = 0, invalidated = 0, saves = 0;
  // The switches: a frame and a document window in the window context, a refused request to
  // go UI-active, and what the site does from its callbacks to `control` (not counted).
  bool withFrame = false, refuseUIActivation = false;
  IOleObject* control = nullptr;
  CallIn onUIDeactivate = CallIn::kNothing, onInPlaceDeactivate = CallIn::kNothing,
         onFrameReleased = CallIn::kNothing, onWindowContext = CallIn::kNothing,
         onActivate = CallIn::kNothing;
  UIWindow frame{*this, "frame"}, document{*this, "document"};
  std::string log;  // the activation calls, in order
};

inline HRESULT UIWindow::GetWindow(HWND* w) {
  *w = site.window;
  return S_OK;
}

inline HRESULT UIWindow::SetBorderSpace(LPCBORDERWIDTHS widths) {
  site.Log(std::string(name) + (widths == nullptr ? ":no-tools" : ":tools"));
  return S_OK;
}

inline HRESULT UIWindow::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  site.Log(std::string(name) + (object != nullptr ? ":active" : ":inactive"));
  if (object == nullptr && this == &site.frame) site.Call(site.onFrameReleased);
  return S_OK;
}

// A view and data sink. Switched on, it calls the view back from its view callback: to advise
// itself again, once, or to remove its advise, noting how many references it then has.
enum class ViewCallIn { kNothing, kAdviseAgainOnce, kUnadvise };

struct Sink final : IAdviseSinkEx {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IAdviseSink) &&
        !IsEqualIID(iid, IID_IAdviseSinkEx))
      return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override { ++dataChanges; }
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {
    ++viewChanges;
    if (view == nullptr) return;
    if (onViewChange == ViewCallIn::kAdviseAgainOnce)
      view->SetAdvise(DVASPECT_CONTENT, ADVF_ONLYONCE, this);
    if (onViewChange == ViewCallIn::kUnadvise) {
      view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
      referencesAfterUnadvise = references;
    }
  }
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override { ++closes; }
  void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}
  ULONG references = 1;
  int viewChanges = 0, dataChanges = 0, closes = 0;
  IViewObject* view = nullptr;  // not counted
  ViewCallIn onViewChange = ViewCallIn::kNothing;
  ULONG referencesAfterUnadvise = 0;
};

// The checks of containers that stray from the happy path (container_checks.cpp), on a visible
// top-level window of the checks.
void ContainerChecks(HWND form);

}  // namespace embedding_check
