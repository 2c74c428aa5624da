// The embeddable-control side of the three classes, shared by all of them: a container places
// the control on a site, activates it in place (windowless where the site agrees, otherwise in
// a child window of its own), has it draw itself, sizes it in HIMETRIC, saves its extent and
// loads it back, and takes its picture as a metafile. Nothing here touches the unit.
//
// The members are defined one concern per file: embedded_site.cpp (client site, verbs, extent,
// advise, ambient properties), embedded_activation.cpp (in-place activation and the window),
// embedded_view.cpp (drawing and view advise), embedded_persistence.cpp (stream and storage),
// embedded_data.cpp (the metafile picture, listed by format_enumerator.h) and
// embedded_quick_activation.cpp (quick activation and property pages).
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>

#include "module/class_table.h"

namespace zel {

// One counted reference to a COM object, released when replaced and at the end of its owner.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // A new reference to `object`, which may be null.
  explicit ComRef(T* object) noexcept { Reset(object); }
  // Takes over `other`'s reference and leaves it empty.
  ComRef(ComRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { Reset(); }

  // Takes a new reference to `object` (which may be null) and drops the old one.
  void Reset(T* object = nullptr) noexcept {
    if (object != nullptr) object->AddRef();
    T* old = object_;
    object_ = object;
    if (old != nullptr) old->Release();
  }
  // The slot for an out parameter that hands over a reference; the old one is dropped first.
  T** Put() noexcept {
    Reset();
    return &object_;
  }
  // A new reference for an out parameter of the caller.
  T* Copy() const noexcept {
    if (object_ != nullptr) object_->AddRef();
    return object_;
  }
  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

class EmbeddedControl : public IPersistStreamInit,
                        public IOleControl,
                        public IOleObject,
                        public IOleInPlaceActiveObject,
                        public IViewObjectEx,
                        public IOleInPlaceObjectWindowless,
                        public IPersistStorage,
                        public ISpecifyPropertyPages,
                        public IQuickActivate,
                        public IDataObject {
 public:
  // The extent a new control has, in HIMETRIC: 240 by 48 pixels at 96 dots per inch, room for
  // the label in the default font.
  static constexpr SIZEL kDefaultExtent = {6350, 1270};
  // What the control tells a container that asks it: recompose on resize, can't link inside,
  // inside-out, activate when visible, invisible at run time, set client site first.
  static constexpr DWORD kMiscStatus = kControlMiscStatus;
  // The drawing fills its bounds with the container's brush, which may be hollow: the control
  // promises neither an opaque picture nor a solid background, so the container draws what
  // lies behind it.
  static constexpr DWORD kViewStatus = 0;

  // The interface of this side that `iid` names, in the order the object answers them, or
  // null. The caller adds the reference.
  void* FindInterface(REFIID iid) noexcept;

  // The in-place window's procedure: its paint runs the drawing.
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // IOleObject.
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) noexcept override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) noexcept override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR application,
                                         LPCOLESTR document) noexcept override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) noexcept override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which,
                                       IMoniker** moniker) noexcept override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation,
                                         DWORD reserved) noexcept override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) noexcept override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index,
                                   HWND parent, LPCRECT position) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) noexcept override;
  HRESULT STDMETHODCALLTYPE Update() noexcept override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() noexcept override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) noexcept override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) noexcept override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) noexcept override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) noexcept override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) noexcept override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) noexcept override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) noexcept override;

  // IOleControl.
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) noexcept override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) noexcept override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) noexcept override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) noexcept override;

  // IOleWindow, for the in-place object and the active object alike.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) noexcept override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) noexcept override;

  // IOleInPlaceObject, IOleInPlaceObjectWindowless.
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() noexcept override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() noexcept override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) noexcept override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() noexcept override;
  HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                            LRESULT* result) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** target) noexcept override;

  // IOleInPlaceActiveObject.
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) noexcept override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) noexcept override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) noexcept override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frameWindow) noexcept override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) noexcept override;

  // IViewObject, IViewObject2, IViewObjectEx.
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                 HDC targetDevice, HDC dc, LPCRECTL bounds, LPCRECTL metafileBounds,
                                 WINBOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR),
                                 ULONG_PTR keepGoingArgument) noexcept override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo,
                                        DVTARGETDEVICE* device, HDC targetDevice,
                                        LOGPALETTE** colors) noexcept override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo,
                                   DWORD* key) noexcept override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD key) noexcept override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags,
                                      IAdviseSink* sink) noexcept override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags,
                                      IAdviseSink** sink) noexcept override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                      LPSIZEL size) noexcept override;
  HRESULT STDMETHODCALLTYPE GetRect(DWORD aspect, LPRECTL rect) noexcept override;
  HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location,
                                          LONG closeHint, DWORD* result) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location,
                                         LONG closeHint, DWORD* result) noexcept override;
  HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                             HDC targetDevice, DVEXTENTINFO* info,
                                             LPSIZEL size) noexcept override;

  // IPersist, IPersistStreamInit, IPersistStorage.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) noexcept override;
  HRESULT STDMETHODCALLTYPE IsDirty() noexcept override;
  HRESULT STDMETHODCALLTYPE InitNew() noexcept override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) noexcept override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) noexcept override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) noexcept override;
  HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) noexcept override;
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) noexcept override;
  HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) noexcept override;
  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) noexcept override;
  HRESULT STDMETHODCALLTYPE HandsOffStorage() noexcept override;

  // ISpecifyPropertyPages.
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) noexcept override;

  // IQuickActivate.
  HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container,
                                          QACONTROL* control) noexcept override;
  HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) noexcept override;
  HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) noexcept override;

  // IDataObject.
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) noexcept override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* format,
                                                  FORMATETC* canonical) noexcept override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium,
                                    BOOL release) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction,
                                          IEnumFORMATETC** formats) noexcept override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                    DWORD* connection) noexcept override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** advises) noexcept override;

 protected:
  // `text` is the label drawn in a designer. The IUnknown members, which lead to the object's
  // one identity, come from the class that derives from this one.
  EmbeddedControl(const CLSID& clsid, const char* text) noexcept;
  virtual ~EmbeddedControl();
  EmbeddedControl(const EmbeddedControl&) = delete;
  EmbeddedControl& operator=(const EmbeddedControl&) = delete;

 private:
  // Keeps the object alive while it calls out: a container may release it from a callback.
  class Hold {
   public:
    explicit Hold(EmbeddedControl& control) noexcept : object_(&control) { object_->AddRef(); }
    ~Hold() { object_->Release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    IOleObject* const object_;
  };

  HRESULT ActivateInPlace(IOleClientSite* site, bool uiActivate) noexcept;
  // Asks the site, then takes the container's frame, document window and the focus.
  void UIActivate() noexcept;
  // Tells `site` that the UI activation ended, unless a deactivation from one of the
  // container's callbacks has told it already.
  void TellUIDeactivated(IOleInPlaceSite* site) noexcept;
  HRESULT CreateControlWindow(HWND parent) noexcept;
  void DestroyControlWindow() noexcept;
  // Tells the view sink, the data sinks and the in-place site that the picture changed.
  void ViewChanged() noexcept;
  // Reads the ambient user mode through the client site's ambient IDispatch; true (run mode)
  // when the site does not say.
  bool ReadUserMode() noexcept;
  // Takes a new ambient user mode and redraws when it changed.
  void SetUserMode(bool userMode) noexcept;
  HRESULT DrawInto(HDC dc, const RECT& bounds) noexcept;
  HRESULT RenderMetafilePicture(STGMEDIUM* medium) noexcept;

  const CLSID& clsid_;
  const char* const text_;

  ComRef<IOleClientSite> site_;
  ComRef<IOleAdviseHolder> adviseHolder_;
  ComRef<IDataAdviseHolder> dataAdviseHolder_;
  ComRef<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewFlags_ = 0;

  SIZEL extent_ = kDefaultExtent;
  bool dirty_ = false;
  bool savedInPlace_ = false;  // the last storage save went where the state was loaded from
  bool userMode_ = true;
  DWORD freezeKeys_ = 0;

  // In-place activation.
  ComRef<IOleInPlaceSite> inPlaceSite_;
  ComRef<IOleInPlaceSiteWindowless> windowlessSite_;  // set while active windowless
  ComRef<IOleInPlaceFrame> frame_;
  ComRef<IOleInPlaceUIWindow> document_;
  bool inPlaceActive_ = false;
  bool uiActive_ = false;
  bool uiDeactivationOwed_ = false;  // UI deactivation under way, the site not yet told
  HWND window_ = nullptr;
  RECT position_ = {};
};

}  // namespace zel
