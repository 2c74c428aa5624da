// The embedding checks of containers that stray from the happy path: containers that call
// back in from the control's callbacks, document-style containers with a frame and a document
// window, several apartments at once, windows resized or destroyed under the control, copies
// saved, large extents and the answers the platform's documentation asks for.
// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ZELUSB_h.h"

#include "tests/module/wine/check.h"
#include "tests/module/wine/embedding_support.h"

namespace embedding_check {
namespace {

using wine_check::Check;

// A control of `clsid` on `site`, which acts on it from its callbacks.
IOleObject* Placed(Site& site, REFCLSID clsid = CLSID_CKestrinControl) {
  IOleObject* object = Create<IOleObject>(clsid, IID_IOleObject);
  if (object == nullptr) return nullptr;
  object->SetClientSite(&site);
  site.control = object;
  return object;
}

// Closes the control and checks that it let go of everything the container gave it.
void Ended(Site& site, IOleObject* object, int line) {
  site.control = nullptr;
  site.onUIDeactivate = site.onInPlaceDeactivate = site.onFrameReleased = CallIn::kNothing;
  object->Close(OLECLOSE_NOSAVE);
  Check(site.references == 1 && site.frame.references == 1 && site.document.references == 1,
        "site, frame and document let go", line);
  Check(object->Release() == 0, "control released", line);
}

void CheckLog(const Site& site, const char* expected, const char* what, int line) {
  Check(site.log == expected, what, line);
  if (site.log != expected) std::printf("  calls: \"%s\"\n", site.log.c_str());
}

// A UI-active control in its own window, deactivated by a container that calls back in: each
// notification reaches the site once, and nothing is called on what the container let go.
void CallsBackIn(HWND form) {
  constexpr auto kNothing = CallIn::kNothing, kDeactivate = CallIn::kInPlaceDeactivate;
  const char* const kInOrder = "frame:inactive document:inactive ui-off off";
  struct Row {
    const char* what;
    CallIn onUIDeactivate, onFrameReleased, onInPlaceDeactivate;
    bool close;       // the container ends with Close(OLECLOSE_NOSAVE), else InPlaceDeactivate
    const char* log;  // the site's calls from then on
    bool activeAfter;
  } rows[] = {
      {"OnUIDeactivate deactivates", kDeactivate, kNothing, kNothing, false, kInOrder, false},
      {"OnUIDeactivate deactivates, closing", kDeactivate, kNothing, kNothing, true, kInOrder,
       false},
      {"OnUIDeactivate closes", CallIn::kClose, kNothing, kNothing, false, kInOrder, false},
      // The frame's call comes first; the document still hears that nothing is active.
      {"the frame deactivates", kNothing, kDeactivate, kNothing, false,
       "frame:inactive ui-off off document:inactive", false},
      {"OnInPlaceDeactivate activates again", kNothing, kNothing, CallIn::kActivateAgain, false,
       "frame:inactive document:inactive ui-off off on", true},
  };
  for (const Row& row : rows) {
    Site site;
    site.window = form;
    site.windowless = false;
    site.withFrame = true;
    IOleObject* object = Placed(site);
    Check(object != nullptr, row.what, __LINE__);
    if (object == nullptr) continue;
    auto* inPlace = Query<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
    Check(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, form, &site.place) == S_OK &&
              site.uiActive,
          row.what, __LINE__);
    site.log.clear();
    site.onUIDeactivate = row.onUIDeactivate;
    site.onFrameReleased = row.onFrameReleased;
    site.onInPlaceDeactivate = row.onInPlaceDeactivate;
    const HRESULT hr = row.close ? object->Close(OLECLOSE_NOSAVE) : inPlace->InPlaceDeactivate();
    Check(hr == S_OK, row.what, __LINE__);
    CheckLog(site, row.log, row.what, __LINE__);
    HWND window = nullptr;
    const bool windowed = inPlace->GetWindow(&window) == S_OK && IsWindow(window);
    Check(site.active == (row.activeAfter ? 1 : 0) && windowed == row.activeAfter, row.what,
          __LINE__);
    inPlace->Release();
    Ended(site, object, __LINE__);
    Check(!IsWindow(window), "its window gone", __LINE__);
  }
}

// UI activation in a document-style container: the site is asked first, the frame and the
// document window get the control as their active object and keep none of their tools' space
// for it, and the control takes the focus, in its window or through its windowless site.
void UIActivation(HWND form) {
  const char* const kWithFrame =
      "on request ui frame:active frame:no-tools document:active document:no-tools";
  struct Row {
    const char* what;
    bool windowless, withFrame, refused;
    std::string log;
  } rows[] = {
      {"in a window", false, true, false, kWithFrame},
      {"windowless", true, true, false, kWithFrame + std::string(" focus")},
      {"without frame and document", false, false, false, "on request ui"},
      {"the site says no", false, true, true, "on request"},
  };
  for (const Row& row : rows) {
    Site site;
    site.window = form;
    site.windowless = row.windowless;
    site.withFrame = row.withFrame;
    site.refuseUIActivation = row.refused;
    SetFocus(form);
    IOleObject* object = Placed(site);
    Check(object != nullptr, row.what, __LINE__);
    if (object == nullptr) continue;
    Check(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, form, &site.place) == S_OK,
          row.what, __LINE__);
    CheckLog(site, row.log.c_str(), row.what, __LINE__);
    Check(site.uiActive == !row.refused && site.active == (row.windowless ? 2 : 1), row.what,
          __LINE__);
    HWND window = nullptr;
    auto* inPlace = Query<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
    inPlace->GetWindow(&window);
    inPlace->Release();
    if (!row.windowless)
      Check((GetFocus() == window) == !row.refused, "the focus on the control", __LINE__);
    Ended(site, object, __LINE__);
  }
}

// One apartment's part of the run below: a windowed control activated in place and deactivated
// again, over and over, once both apartments are ready.
struct ApartmentRun {
  HANDLE ready, go;
  int activations = 0, failures = 0;
  bool released = false;
};

DWORD WINAPI ActivateRepeatedly(void* argument) {
  auto& run = *static_cast<ApartmentRun*>(argument);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Site site;
  site.windowless = false;
  site.window = CreateWindowExW(0, L"STATIC", L"apartment", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100,
                                nullptr, nullptr, nullptr, nullptr);
  IOleObject* object = Placed(site);
  auto* inPlace = Query<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
  SetEvent(run.ready);
  WaitForSingleObject(run.go, INFINITE);
  for (int i = 0; i < run.activations && inPlace != nullptr; ++i) {
    if (object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, site.window, &site.place) !=
            S_OK ||
        site.active != 1)
      ++run.failures;
    inPlace->InPlaceDeactivate();
  }
  if (inPlace != nullptr) inPlace->Release();
  if (object != nullptr) {
    object->Close(OLECLOSE_NOSAVE);
    run.released = object->Release() == 0 && site.references == 1;
  }
  DestroyWindow(site.window);
  CoUninitialize();
  return 0;
}

// Two apartments activating windowed controls at the same time: the window class belongs to
// the process, so one apartment's activation must not take it from the other.
void TwoApartments() {
  ApartmentRun runs[2];
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr), threads[2], ready[2];
  for (int i = 0; i < 2; ++i) {
    runs[i].activations = 300;
    runs[i].ready = ready[i] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    runs[i].go = go;
    threads[i] = CreateThread(nullptr, 0, &ActivateRepeatedly, &runs[i], 0, nullptr);
  }
  WaitForMultipleObjects(2, ready, TRUE, 60000);
  SetEvent(go);
  WaitForMultipleObjects(2, threads, TRUE, 120000);
  std::printf("  two apartments, 300 windowed activations each: %d and %d failed\n",
              runs[0].failures, runs[1].failures);
  Check(runs[0].failures == 0 && runs[1].failures == 0, "every activation in both apartments",
        __LINE__);
  Check(runs[0].released && runs[1].released, "both controls released", __LINE__);
  for (HANDLE handle : {go, threads[0], threads[1], ready[0], ready[1]}) CloseHandle(handle);
}

// View sinks that call back in: a one-shot sink that advises itself again from its callback
// hears of the next change too, and a sink that removes its advise is still held while its
// callback runs (our reference and the control's).
void ViewSinksCallingBack() {
  IOleObject* object = Create<IOleObject>(CLSID_CKestrinControl, IID_IOleObject);
  Check(object != nullptr, "created", __LINE__);
  if (object == nullptr) return;
  auto* view = Query<IViewObject>(object, IID_IViewObject);
  struct Row {
    const char* what;
    DWORD flags;
    ViewCallIn onViewChange;
    int viewChanges;
    ULONG referencesAfterUnadvise;
  } rows[] = {
      {"one-shot, advising again", ADVF_ONLYONCE, ViewCallIn::kAdviseAgainOnce, 3, 0},
      {"one-shot", ADVF_ONLYONCE, ViewCallIn::kNothing, 1, 0},
      {"removing its advise", 0, ViewCallIn::kUnadvise, 1, 2},
  };
  for (const Row& row : rows) {
    Sink sink;
    sink.view = view;
    sink.onViewChange = row.onViewChange;
    view->SetAdvise(DVASPECT_CONTENT, row.flags, &sink);
    for (LONG width : {1000, 1100, 1200}) {
      SIZEL size = {width, 500};
      object->SetExtent(DVASPECT_CONTENT, &size);
    }
    Check(sink.viewChanges == row.viewChanges, row.what, __LINE__);
    Check(sink.referencesAfterUnadvise == row.referencesAfterUnadvise, row.what, __LINE__);
    view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
    Check(sink.references == 1, "sink let go", __LINE__);
  }
  view->Release();
  Check(object->Release() == 0, "control released", __LINE__);
}

// The picture of the control at `r` of `form` as it shows on the screen, with a margin of the
// form around it, once the form has drawn what it had to.
void CheckOnScreen(HWND form, const RECT& r, const char* what, int line) {
  for (int round = 0; round < 10; ++round) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }
  RECT client = {};
  GetClientRect(form, &client);
  Canvas capture(client.right, client.bottom);
  HDC screen = GetDC(form);
  BitBlt(capture.dc, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
  ReleaseDC(form, screen);
  // In design mode, in the window context's black pen and white brush.
  const Colours design = {RGB(0, 0, 0), RGB(255, 255, 255),
                          capture.Pixel(client.right - 2, client.bottom - 2)};
  Canvas control(r.right - r.left + 6, r.bottom - r.top + 6);
  BitBlt(control.dc, 0, 0, control.width, control.height, capture.dc, r.left - 3, r.top - 3,
         SRCCOPY);
  const int before = wine_check::failed;
  CheckPicture(control, RECT{3, 3, control.width - 3, control.height - 3}, line, design);
  if (wine_check::failed != before) std::printf("  on the screen: %s\n", what);
}

// A control in its own window on a visible form, moved and resized by the container: the
// screen shows the whole picture at every size, none of the old one.
void Resized(HWND form) {
  Site site;
  site.window = form;
  site.windowless = false;
  site.place = {20, 20, 220, 80};
  IOleObject* object = Placed(site);
  Check(object != nullptr, "created", __LINE__);
  if (object == nullptr) return;
  Check(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, form, &site.place) == S_OK,
        "active in its window", __LINE__);
  auto* inPlace = Query<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
  struct Row {
    const char* what;
    RECT place;
  } rows[] = {
      {"as placed", {20, 20, 220, 80}},
      {"grown", {20, 20, 320, 110}},
      {"shrunk", {20, 20, 170, 60}},
      {"moved", {40, 30, 190, 70}},
  };
  for (const Row& row : rows) {
    Check(inPlace->SetObjectRects(&row.place, &row.place) == S_OK, row.what, __LINE__);
    CheckOnScreen(form, row.place, row.what, __LINE__);
  }
  inPlace->Release();
  Ended(site, object, __LINE__);
}

// A container that closes the control in the middle of its activation, from the notice of it
// or from GetWindowContext: the activation fails, the site hears of its end the way it heard of
// its start, and the control keeps nothing it was given.
void ClosedWhileActivating(HWND form) {
  const struct Row {
    const char* what;
    bool windowless;
    CallIn onActivate, onWindowContext;
  } rows[] = {
      {"closed from GetWindowContext", false, CallIn::kNothing, CallIn::kClose},
      {"closed from OnInPlaceActivateEx", false, CallIn::kClose, CallIn::kNothing},
      {"closed from the windowless notice", true, CallIn::kClose, CallIn::kNothing},
      {"deactivated from the notice", false, CallIn::kInPlaceDeactivate, CallIn::kNothing},
  };
  for (const Row& row : rows) {
    Site site;
    site.window = form;
    site.windowless = row.windowless;
    site.withFrame = true;
    site.onActivate = row.onActivate;
    site.onWindowContext = row.onWindowContext;
    IOleObject* object = Placed(site);
    Check(object != nullptr, row.what, __LINE__);
    if (object == nullptr) continue;
    Check(FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, form, &site.place)),
          row.what, __LINE__);
    CheckLog(site, "on off", row.what, __LINE__);
    Check(site.active == 0, row.what, __LINE__);
    Ended(site, object, __LINE__);
  }
}

// The container destroys the window that holds the control's window before it deactivates
// the control: the control forgets the dead handle, and the rest of the ending works.
void ParentDestroyedFirst(HWND form) {
  Site site;
  site.windowless = false;
  site.window = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 100, form,
                                nullptr, nullptr, nullptr);
  IOleObject* object = Placed(site);
  Check(object != nullptr, "created", __LINE__);
  if (object == nullptr) return;
  auto* inPlace = Query<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
  HWND window = nullptr;
  Check(object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, site.window, &site.place) == S_OK &&
            inPlace->GetWindow(&window) == S_OK && IsWindow(window),
        "active in its window", __LINE__);
  DestroyWindow(site.window);
  Check(inPlace->GetWindow(&window) == E_FAIL && window == nullptr, "no dead handle", __LINE__);
  Check(inPlace->SetObjectRects(&site.place, &site.place) == S_OK &&
            object->DoVerb(OLEIVERB_HIDE, nullptr, &site, 0, nullptr, nullptr) == S_OK &&
            inPlace->InPlaceDeactivate() == S_OK && site.active == 0,
        "ends cleanly", __LINE__);
  inPlace->Release();
  Ended(site, object, __LINE__);
}

// A storage in memory, as a container's document keeps its objects.
IStorage* NewStorage() {
  ILockBytes* bytes = nullptr;
  IStorage* storage = nullptr;
  CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
  StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                               &storage);
  bytes->Release();  // the storage holds it
  return storage;
}

// Saves into storages as containers make them: a save where the control was loaded from, or
// into the storage the container hands it next, leaves it clean; a copy saved elsewhere
// ("save a copy as") leaves it dirty, so the document is still offered for saving.
void SavesACopy() {
  struct Row {
    const char* what;
    BOOL sameAsLoad;
    bool handedOver;  // SaveCompleted gets the storage saved into
    HRESULT dirtyAfter;
  } rows[] = {
      {"saved in place", TRUE, false, S_FALSE},
      {"a copy saved elsewhere", FALSE, false, S_OK},
      {"saved as, into a new storage", FALSE, true, S_FALSE},
  };
  for (const Row& row : rows) {
    auto* persist = Create<IPersistStorage>(CLSID_CKestrinControl, IID_IPersistStorage);
    auto* object = Query<IOleObject>(persist, IID_IOleObject);
    IStorage *own = NewStorage(), *other = NewStorage();
    Check(persist->InitNew(own) == S_OK, row.what, __LINE__);
    SIZEL size = {4000, 900};
    object->SetExtent(DVASPECT_CONTENT, &size);
    Check(persist->Save(row.sameAsLoad ? own : other, row.sameAsLoad) == S_OK &&
              persist->SaveCompleted(row.handedOver ? other : nullptr) == S_OK,
          row.what, __LINE__);
    Check(persist->IsDirty() == row.dirtyAfter, row.what, __LINE__);
    own->Release();
    other->Release();
    object->Release();
    Check(persist->Release() == 0, "control released", __LINE__);
  }
}

// The metafile picture at extents beyond the 16-bit coordinates of a metafile record: its
// extent stays in HIMETRIC, and it plays back whole, frame, fill and label, into 250 by 50
// pixels at (25, 25).
void LargeMetafile() {
  auto* object = Create<IOleObject>(CLSID_CKestrinControl, IID_IOleObject);
  Check(object != nullptr, "created", __LINE__);
  if (object == nullptr) return;
  auto* data = Query<IDataObject>(object, IID_IDataObject);
  struct Row {
    const char* what;
    SIZEL extent;
  } rows[] = {
      {"the default extent", {6350, 1270}},
      {"40000 by 8000", {40000, 8000}},
      {"the largest extent", {0x7FFFFFFF, 0x7FFFFFFF / 5}},
  };
  for (const Row& row : rows) {
    SIZEL extent = row.extent;
    object->SetExtent(DVASPECT_CONTENT, &extent);
    FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    STGMEDIUM medium = {};
    Check(data->GetData(&format, &medium) == S_OK && medium.tymed == TYMED_MFPICT, row.what,
          __LINE__);
    if (medium.tymed != TYMED_MFPICT) continue;
    auto* picture = static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
    Check(picture->mm == MM_ANISOTROPIC && picture->xExt == row.extent.cx &&
              picture->yExt == row.extent.cy,
          row.what, __LINE__);
    Canvas canvas(300, 100);
    SetMapMode(canvas.dc, MM_ANISOTROPIC);
    SetViewportExtEx(canvas.dc, 250, 50, nullptr);
    SetViewportOrgEx(canvas.dc, 25, 25, nullptr);
    Check(PlayMetaFile(canvas.dc, picture->hMF) != FALSE, row.what, __LINE__);
    GlobalUnlock(medium.hMetaFilePict);
    ReleaseStgMedium(&medium);
    Check(canvas.Pixel(25, 50) == kPen && canvas.Pixel(274, 50) == kPen &&
              canvas.Pixel(150, 25) == kPen && canvas.Pixel(150, 74) == kPen,
          row.what, __LINE__);
    int label = 0, outside = 0;
    for (int y = 0; y < canvas.height; ++y)
      for (int x = 0; x < canvas.width; ++x) {
        const bool inside = x > 25 && x < 274 && y > 25 && y < 74;
        const bool within = x >= 25 && x < 275 && y >= 25 && y < 75;
        const COLORREF pixel = canvas.Pixel(x, y);
        label += inside && pixel != kBrush;
        outside += !within && pixel != kGround;
      }
    Check(label > 20 && outside == 0, row.what, __LINE__);
    if (label <= 20 || outside != 0)
      std::printf("  %s: %d label pixels, %d outside\n", row.what, label, outside);
  }
  data->Release();
  Check(object->Release() == 0, "control released", __LINE__);
}

// Refuses every window the thread creates, leaving no error code behind.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code != HCBT_CREATEWND) return CallNextHookEx(nullptr, code, wParam, lParam);
  SetLastError(0);
  return 1;
}

// The formats `formats` lists, as "format/aspect/index/medium" lines.
std::string Listed(IEnumFORMATETC* formats) {
  std::string listed;
  FORMATETC format;
  while (formats->Next(1, &format, nullptr) == S_OK)
    listed += std::to_string(format.cfFormat) + "/" + std::to_string(format.dwAspect) + "/" +
              std::to_string(format.lindex) + "/" + std::to_string(format.tymed) +
              (format.ptd != nullptr ? "/device" : "") + ";";
  return listed;
}

// Answers the platform's documentation asks for, one row each.
void DocumentedAnswers(HWND form) {
  Site site;
  site.window = form;
  site.windowless = false;
  IOleObject* object = Placed(site);
  Check(object != nullptr, "created", __LINE__);
  if (object == nullptr) return;
  struct Parts {
    IOleObject* object;
    IViewObjectEx* view;
    IDataObject* data;
    IOleInPlaceObject* inPlace;
    Site& site;
    std::string picture;  // the picture's format as Listed writes it
  } parts = {object,
             Query<IViewObjectEx>(object, IID_IViewObjectEx),
             Query<IDataObject>(object, IID_IDataObject),
             Query<IOleInPlaceObject>(object, IID_IOleInPlaceObject),
             site,
             std::to_string(CF_METAFILEPICT) + "/1/-1/" + std::to_string(TYMED_MFPICT) + ";"};
  struct Row {
    const char* what;
    bool (*holds)(Parts&);
  } rows[] = {
      {"the view refuses a part index: Draw, GetColorSet, Freeze, GetExtent",
       [](Parts& p) {
         Canvas canvas(300, 100);
         const RECTL bounds = {20, 10, 280, 90};
         LOGPALETTE* colors = nullptr;
         DWORD key = 0;
         SIZEL size = {};
         return p.view->Draw(DVASPECT_CONTENT, 0, nullptr, nullptr, nullptr, canvas.dc, &bounds,
                             nullptr, nullptr, 0) == DV_E_LINDEX &&
                canvas.Pixel(20, 50) == kGround &&
                p.view->GetColorSet(DVASPECT_CONTENT, 0, nullptr, nullptr, nullptr, &colors) ==
                    DV_E_LINDEX &&
                p.view->Freeze(DVASPECT_CONTENT, 1, nullptr, &key) == DV_E_LINDEX && key == 0 &&
                p.view->GetExtent(DVASPECT_CONTENT, 0, nullptr, &size) == DV_E_LINDEX &&
                p.view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size) == S_OK && size.cx > 0;
       }},
      {"the view status claims no more than the drawing gives",
       [](Parts& p) {
         // Drawn with a hollow brush, as a container may have selected.
         Canvas canvas(300, 100);
         SelectObject(canvas.dc, GetStockObject(NULL_BRUSH));
         const RECTL bounds = {20, 10, 280, 90};
         DWORD status = 0;
         if (p.view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &bounds,
                          nullptr, nullptr, 0) != S_OK ||
             p.view->GetViewStatus(&status) != S_OK)
           return false;
         const bool showsThrough = canvas.Pixel(30, 20) == kGround;
         return !showsThrough || (status & (VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND)) == 0;
       }},
      {"EnumFormatEtc lists the picture GetData renders",
       [](Parts& p) {
         IEnumFORMATETC *formats = nullptr, *clone = nullptr;
         if (p.data->EnumFormatEtc(DATADIR_GET, &formats) != S_OK || formats == nullptr)
           return false;
         const bool listed = Listed(formats) == p.picture && formats->Reset() == S_OK &&
                             formats->Skip(1) == S_OK && formats->Skip(1) == S_FALSE &&
                             formats->Reset() == S_OK && formats->Clone(&clone) == S_OK &&
                             Listed(clone) == p.picture && Listed(formats) == p.picture;
         if (clone != nullptr) clone->Release();
         return formats->Release() == 0 && listed &&
                p.data->EnumFormatEtc(DATADIR_SET, &formats) == E_NOTIMPL && formats == nullptr;
       }},
      {"EnumDAdvise lists no sink before the first DAdvise",
       [](Parts& p) {
         IEnumSTATDATA* advises = nullptr;
         STATDATA advise = {};
         const bool empty = p.data->EnumDAdvise(&advises) == S_OK && advises != nullptr &&
                            advises->Next(1, &advise, nullptr) == S_FALSE;
         if (advises != nullptr) advises->Release();
         return empty;
       }},
      {"an unknown verb runs the primary verb",
       [](Parts& p) {
         const bool ran = p.object->DoVerb(7, nullptr, &p.site, 0, p.site.window, &p.site.place) ==
                              OLEOBJ_S_INVALIDVERB &&
                          p.site.active == 1 && p.site.uiActive;
         return p.inPlace->InPlaceDeactivate() == S_OK && ran;
       }},
      {"a window the system refuses fails the activation",
       [](Parts& p) {
         HHOOK hook = SetWindowsHookExW(WH_CBT, &RefuseWindows, nullptr, GetCurrentThreadId());
         const HRESULT hr = p.object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &p.site, 0,
                                             p.site.window, &p.site.place);
         UnhookWindowsHookEx(hook);
         HWND window = nullptr;
         return hook != nullptr && FAILED(hr) && p.site.active == 0 &&
                p.inPlace->GetWindow(&window) == E_FAIL;
       }},
  };
  for (const Row& row : rows) Check(row.holds(parts), row.what, __LINE__);
  parts.view->Release();
  parts.data->Release();
  parts.inPlace->Release();
  Ended(site, object, __LINE__);
}

}  // namespace

void ContainerChecks(HWND form) {
  ClosedWhileActivating(form);
  DocumentedAnswers(form);
  LargeMetafile();
  SavesACopy();
  ParentDestroyedFirst(form);
  Resized(form);
  TwoApartments();
  ViewSinksCallingBack();
  CallsBackIn(form);
  UIActivation(form);
  Check(canUnloadNow() == S_OK, "nothing left alive", __LINE__);
}

}  // namespace embedding_check
