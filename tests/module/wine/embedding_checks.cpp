// Checks the three classes as embeddable controls, hosted the way containers host them: the
// platform's control host in atl.dll, the OLE runtime (OleCreate, OleDraw, OleSave, OleLoad),
// the persistence interfaces, the drawing as pixels, and a design-mode container of its own;
// containers that stray from that path are checked in container_checks.cpp.
// Runs under wine with a display (Xvfb), on the simulator build and client_bench.json:
//   embedding_checks.exe PATH\ZELUSB.dll [PICTURE.png]
// and saves the capture of a design-mode form with the three controls as PICTURE.png.
// The library is registered for the run and unregistered after it. Prints one line per failed
// check and "N passed, N failed"; exits 1 on any failure.
// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "ZELUSB_h.h"

#include "tests/module/wine/check.h"
#include "tests/module/wine/embedding_support.h"
#include "tests/module/wine/png_file.h"

namespace {

using namespace embedding_check;
using wine_check::failed;
using wine_check::passed;

void InterfacesAndIdentity() {
  IUnknown* object = Create<IUnknown>(CLSID_COrvaneControl, IID_IUnknown);
  CHECK(object != nullptr);
  if (object == nullptr) return;
  const IID* answered[] = {&IID_IOrvaneControl,
                           &IID_IDispatch,
                           &IID_IPersistStreamInit,
                           &IID_IPersist,
                           &IID_IOleControl,
                           &IID_IOleObject,
                           &IID_IOleInPlaceActiveObject,
                           &IID_IOleWindow,
                           &IID_IViewObjectEx,
                           &IID_IViewObject2,
                           &IID_IViewObject,
                           &IID_IOleInPlaceObjectWindowless,
                           &IID_IOleInPlaceObject,
                           &IID_IPersistStorage,
                           &IID_ISpecifyPropertyPages,
                           &IID_IQuickActivate,
                           &IID_IDataObject,
                           &IID_IProvideClassInfo2,
                           &IID_IProvideClassInfo,
                           &IID_ISupportErrorInfo,
                           &IID_IUnknown};
  for (const IID* iid : answered) {
    IUnknown* got = Query<IUnknown>(object, *iid);
    IUnknown* identity = Query<IUnknown>(got, IID_IUnknown);
    wine_check::Check(got != nullptr && identity == object, "answered, same identity", __LINE__);
    // Every interface leads on to every other.
    IOleObject* back = Query<IOleObject>(got, IID_IOleObject);
    wine_check::Check(back != nullptr, "leads back to IOleObject", __LINE__);
    for (IUnknown* p : {got, identity, static_cast<IUnknown*>(back)})
      if (p != nullptr) p->Release();
  }
  CHECK(Query<IUnknown>(object, IID_IOleCache) == nullptr);
  CHECK(object->Release() == 0);

  CHECK(canUnloadNow() == S_OK);
}

void DesignModeContainer(HWND form) {
  Site site;
  site.window = form;
  Sink sink;
  IOleObject* object = Create<IOleObject>(CLSID_CKestrinControl, IID_IOleObject);
  CHECK(object != nullptr);
  if (object == nullptr) return;
  CHECK(canUnloadNow() == S_FALSE);
  DWORD status = 0;
  CHECK(object->GetMiscStatus(DVASPECT_CONTENT, &status) == S_OK && status == 0x20591);
  CHECK(object->SetClientSite(&site) == S_OK && site.ambientReads == 1);
  auto* view = Query<IViewObjectEx>(object, IID_IViewObjectEx);
  auto* control = Query<IOleControl>(object, IID_IOleControl);
  auto* inPlace = Query<IOleInPlaceObjectWindowless>(object, IID_IOleInPlaceObjectWindowless);
  DWORD connection = 0;
  CHECK(view->SetAdvise(DVASPECT_CONTENT, 0, &sink) == S_OK);
  CHECK(object->Advise(&sink, &connection) == S_OK);
  // The container leaves design mode and comes back: two redraws, no third without a change.
  site.userMode = true;
  control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
  site.userMode = false;
  control->OnAmbientPropertyChange(DISPID_UNKNOWN);
  control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
  CHECK(sink.viewChanges == 2 && site.ambientReads == 4);

  // Windowless: the site agrees, the control draws where the site placed it.
  CHECK(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, form, &site.place) == S_OK);
  CHECK(site.active == 2 && !site.uiActive);
  HWND window = reinterpret_cast<HWND>(1);
  CHECK(inPlace->GetWindow(&window) == E_FAIL && window == nullptr);
  {
    Canvas canvas(300, 100);
    CHECK(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, nullptr, nullptr,
                     nullptr, 0) == S_OK);
    CheckPicture(canvas, site.place, __LINE__);
  }
  DWORD hit = 0;
  CHECK(view->QueryHitPoint(DVASPECT_CONTENT, &site.place, POINT{269, 79}, 0, &hit) == S_OK &&
        hit == HITRESULT_HIT);
  CHECK(view->QueryHitPoint(DVASPECT_CONTENT, &site.place, POINT{270, 50}, 0, &hit) == S_OK &&
        hit == HITRESULT_OUTSIDE);
  auto* data = Query<IDataObject>(object, IID_IDataObject);
  FORMATETC picture = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  DWORD dataConnection = 0;
  CHECK(data->DAdvise(&picture, ADVF_NODATA, &sink, &dataConnection) == S_OK);
  SIZEL bigger = {8000, 2000};
  CHECK(object->SetExtent(DVASPECT_CONTENT, &bigger) == S_OK && site.invalidated == 1);
  CHECK(sink.dataChanges == 1 && data->DUnadvise(dataConnection) == S_OK);
  data->Release();
  CHECK(inPlace->InPlaceDeactivate() == S_OK && site.active == 0);

  // In a window of its own, UI-active; its paint runs the drawing.
  site.windowless = false;
  CHECK(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, form, &site.place) == S_OK);
  CHECK(site.active == 1 && site.uiActive);
  CHECK(inPlace->GetWindow(&window) == S_OK && IsWindow(window) && GetParent(window) == form);
  RECT client = {};
  GetClientRect(window, &client);
  CHECK(client.right == 240 && client.bottom == 60);
  {
    // The client area lands 10 pixels in, so the margin around it shows what the window drew
    // outside its bounds.
    Canvas canvas(260, 80);
    SetViewportOrgEx(canvas.dc, 10, 10, nullptr);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc), PRF_CLIENT);
    CheckPicture(canvas, RECT{10, 10, 250, 70}, __LINE__);
  }
  const RECT moved = {10, 10, 110, 50};
  CHECK(inPlace->SetObjectRects(&moved, &moved) == S_OK);
  GetClientRect(window, &client);
  CHECK(client.right == 100 && client.bottom == 40);
  CHECK(object->DoVerb(OLEIVERB_HIDE, nullptr, &site, 0, form, nullptr) == S_OK);
  CHECK(!site.uiActive && !IsWindowVisible(window));
  CHECK(inPlace->InPlaceDeactivate() == S_OK && site.active == 0 && !IsWindow(window));

  // Closing saves the changed extent through the site and lets go of every sink and site.
  CHECK(object->Close(OLECLOSE_SAVEIFDIRTY) == S_OK);
  CHECK(site.saves == 1 && sink.closes == 1);
  CHECK(site.references == 1 && sink.references == 1);
  CHECK(object->Unadvise(connection) == OLE_E_NOCONNECTION);
  view->Release();
  control->Release();
  inPlace->Release();
  CHECK(object->Release() == 0);
  CHECK(canUnloadNow() == S_OK);

  // Quick activation hands over site, sink and design mode in one call.
  auto* quick = Create<IQuickActivate>(CLSID_CPolyaxControl, IID_IQuickActivate);
  CHECK(quick != nullptr);
  if (quick == nullptr) return;
  QACONTAINER container = {};
  container.cbSize = sizeof(container);
  container.pClientSite = &site;
  container.pAdviseSink = &sink;
  QACONTROL answer = {};
  answer.cbSize = sizeof(answer);
  CHECK(quick->QuickActivate(&container, &answer) == S_OK);
  auto* quickView = Query<IViewObjectEx>(quick, IID_IViewObjectEx);
  DWORD viewStatus = ~0u;
  CHECK(quickView->GetViewStatus(&viewStatus) == S_OK);
  quickView->Release();
  CHECK(answer.dwMiscStatus == 0x20591 && answer.dwViewStatus == viewStatus);
  CHECK(site.references == 2 && sink.references == 2);
  SIZEL size = {1000, 500}, got = {};
  CHECK(quick->SetContentExtent(&size) == S_OK && sink.viewChanges == 4);
  CHECK(quick->GetContentExtent(&got) == S_OK && got.cx == 1000 && got.cy == 500);
  auto* pages = Query<ISpecifyPropertyPages>(quick, IID_ISpecifyPropertyPages);
  CAUUID none = {5, reinterpret_cast<GUID*>(8)};
  CHECK(pages->GetPages(&none) == S_OK && none.cElems == 0 && none.pElems == nullptr);
  pages->Release();
  CHECK(quick->Release() == 0);  // released without closing: nothing held after the end
  CHECK(site.references == 1 && sink.references == 1);
  CHECK(canUnloadNow() == S_OK);
}

void Drawing() {
  IViewObject* view = Create<IViewObject>(CLSID_CKestrinControl, IID_IViewObject);
  CHECK(view != nullptr);
  if (view == nullptr) return;
  {
    Canvas canvas(300, 100);
    const RECTL bounds = {20, 10, 280, 90};
    CHECK(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &bounds, nullptr,
                     nullptr, 0) == S_OK);
    CheckPicture(canvas, RECT{20, 10, 280, 90}, __LINE__);
    HRGN region = CreateRectRgn(0, 0, 1, 1);
    CHECK(GetClipRgn(canvas.dc, region) == 0);  // no clip region left behind
    DeleteObject(region);
    CHECK(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, canvas.dc, &bounds, nullptr,
                     nullptr, 0) == DV_E_DVASPECT);
  }
  {
    // Logical bounds under a viewport origin land shifted on the device, clip included.
    Canvas canvas(300, 100);
    SetViewportOrgEx(canvas.dc, 50, 20, nullptr);
    const RECTL bounds = {0, 0, 220, 60};
    CHECK(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &bounds, nullptr,
                     nullptr, 0) == S_OK);
    CheckPicture(canvas, RECT{50, 20, 270, 80}, __LINE__);
  }
  {
    // The metafile picture, played into 200 by 60 pixels at (40, 20).
    auto* data = Query<IDataObject>(view, IID_IDataObject);
    FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    CHECK(data->QueryGetData(&format) == S_OK);
    FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    CHECK(data->QueryGetData(&text) == DV_E_FORMATETC);
    STGMEDIUM medium = {};
    CHECK(data->GetData(&format, &medium) == S_OK && medium.tymed == TYMED_MFPICT);
    if (medium.tymed == TYMED_MFPICT) {
      auto* picture = static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
      CHECK(picture->mm == MM_ANISOTROPIC && picture->xExt == 6350 && picture->yExt == 1270);
      Canvas canvas(300, 100);
      SetMapMode(canvas.dc, MM_ANISOTROPIC);
      SetWindowExtEx(canvas.dc, picture->xExt, picture->yExt, nullptr);
      SetViewportExtEx(canvas.dc, 200, 60, nullptr);
      SetViewportOrgEx(canvas.dc, 40, 20, nullptr);
      CHECK(PlayMetaFile(canvas.dc, picture->hMF));
      GlobalUnlock(medium.hMetaFilePict);
      // The frame and the fill; the label's size follows the playing context's font.
      CHECK(canvas.Pixel(40, 50) == kPen && canvas.Pixel(239, 50) == kPen);
      CHECK(canvas.Pixel(100, 20) == kPen && canvas.Pixel(100, 79) == kPen);
      CHECK(canvas.Pixel(45, 25) == kBrush && canvas.Pixel(234, 74) == kBrush);
      CHECK(canvas.Pixel(39, 50) == kGround && canvas.Pixel(240, 50) == kGround &&
            canvas.Pixel(100, 19) == kGround && canvas.Pixel(100, 80) == kGround);
      ReleaseStgMedium(&medium);
    }
    data->Release();
  }
  view->Release();
}

// The state as the persistence interfaces see it.
void Persistence() {
  IOleObject* object = Create<IOleObject>(CLSID_CKestrinControl, IID_IOleObject);
  CHECK(object != nullptr);
  if (object == nullptr) return;
  auto* persist = Query<IPersistStreamInit>(object, IID_IPersistStreamInit);
  CHECK(persist->InitNew() == S_OK && persist->IsDirty() == S_FALSE);
  SIZEL first = {3000, 800};
  object->SetExtent(DVASPECT_CONTENT, &first);
  CHECK(persist->IsDirty() == S_OK);
  ULARGE_INTEGER most = {};
  CHECK(persist->GetSizeMax(&most) == S_OK);
  // Two controls in one stream, as a form keeps them, and one more byte of the form after.
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  CHECK(persist->Save(stream, TRUE) == S_OK && persist->IsDirty() == S_FALSE);
  SIZEL second = {4100, 1500};
  object->SetExtent(DVASPECT_CONTENT, &second);
  CHECK(persist->Save(stream, FALSE) == S_OK && persist->IsDirty() == S_OK);
  stream->Write("!", 1, nullptr);
  ULARGE_INTEGER end = {};
  stream->Seek({}, STREAM_SEEK_CUR, &end);
  CHECK(end.QuadPart == 2 * most.QuadPart + 1);
  stream->Seek({}, STREAM_SEEK_SET, nullptr);
  CHECK(persist->Load(stream) == S_OK && Extent(object).cx == 3000 && Extent(object).cy == 800);
  CHECK(persist->Load(stream) == S_OK && Extent(object).cx == 4100 && Extent(object).cy == 1500);
  char after = 0;
  stream->Read(&after, 1, nullptr);
  CHECK(after == '!');
  stream->Release();

  // Bad streams are refused and change nothing.
  struct Bad {
    unsigned char bytes[12];
    ULONG size;
    HRESULT expected;
  } bad[] = {
      {{1, 0, 8, 0, 0x10, 0x27, 0, 0}, 8, STG_E_READFAULT},            // truncated
      {{2, 0, 8, 0, 0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0}, 12, E_FAIL},  // newer version
      {{1, 0, 9, 0, 0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0}, 12, E_FAIL},  // wrong length
      {{1, 0, 8, 0, 0, 0, 0, 0x80, 0x10, 0x27, 0, 0}, 12, E_FAIL},     // negative width
      {{0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8}, 12, E_FAIL},  // garbage
  };
  for (const Bad& b : bad) {
    IStream* in = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &in);
    in->Write(b.bytes, b.size, nullptr);
    in->Seek({}, STREAM_SEEK_SET, nullptr);
    const HRESULT hr = persist->Load(in);
    wine_check::Check(hr == b.expected, "bad stream refused", __LINE__);
    wine_check::Check(Extent(object).cx == 4100 && Extent(object).cy == 1500, "unchanged",
                      __LINE__);
    in->Release();
  }
  persist->Release();
  object->Release();
}

// OleCreate into a compound file, drawn, saved and loaded back by the OLE runtime.
void OleRuntime() {
  Site site;
  ILockBytes* bytes = nullptr;
  IStorage* storage = nullptr;
  CHECK(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes) == S_OK);
  CHECK(StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                     &storage) == S_OK);
  IOleObject* object = nullptr;
  CHECK(OleCreate(CLSID_COrvaneControl, IID_IOleObject, OLERENDER_DRAW, nullptr, &site, storage,
                  reinterpret_cast<void**>(&object)) == S_OK);
  if (object == nullptr) return;
  CHECK(OleRun(object) == S_OK);
  {
    Canvas canvas(300, 100);
    const RECT bounds = {20, 10, 280, 90};
    CHECK(OleDraw(object, DVASPECT_CONTENT, canvas.dc, &bounds) == S_OK);
    CheckPicture(canvas, bounds, __LINE__);
  }
  LPOLESTR name = nullptr;
  CHECK(object->GetUserType(USERCLASSTYPE_FULL, &name) == S_OK && name != nullptr &&
        std::wstring(name) == L"ZEL Orvane-USB Control");
  CoTaskMemFree(name);
  SIZEL size = {5000, 2500};
  CHECK(object->SetExtent(DVASPECT_CONTENT, &size) == S_OK);
  auto* persist = Query<IPersistStorage>(object, IID_IPersistStorage);
  CHECK(OleSave(persist, storage, TRUE) == S_OK);
  CHECK(persist->SaveCompleted(nullptr) == S_OK && persist->IsDirty() == S_FALSE);
  CHECK(storage->Commit(STGC_DEFAULT) == S_OK);
  persist->Release();
  object->Close(OLECLOSE_NOSAVE);
  CHECK(object->Release() == 0);

  IOleObject* loaded = nullptr;
  CHECK(OleLoad(storage, IID_IOleObject, &site, reinterpret_cast<void**>(&loaded)) == S_OK);
  if (loaded != nullptr) {
    CLSID clsid = {};
    CHECK(loaded->GetUserClassID(&clsid) == S_OK && IsEqualCLSID(clsid, CLSID_COrvaneControl));
    CHECK(Extent(loaded).cx == 5000 && Extent(loaded).cy == 2500);
    loaded->Close(OLECLOSE_NOSAVE);
    CHECK(loaded->Release() == 0);
  }
  storage->Release();
  bytes->Release();
  CHECK(site.references == 1 && canUnloadNow() == S_OK);
}

// A form in a designer: the three controls in windows of their own, captured from the screen
// and checked for what the drawing must show; the capture is saved for a reader to look at.
void DesignForm(const wchar_t* picture) {
  const int width = 280, height = 196;
  RECT frame = {0, 0, width, height};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  HWND form = CreateWindowExW(0, L"STATIC", L"Form1", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              nullptr, nullptr);
  CHECK(form != nullptr);
  if (form == nullptr) return;
  const CLSID* classes[] = {&CLSID_CKestrinControl, &CLSID_COrvaneControl, &CLSID_CPolyaxControl};
  Site sites[3];
  IOleObject* objects[3] = {};
  for (int i = 0; i < 3; ++i) {
    sites[i].window = form;
    sites[i].windowless = false;
    sites[i].place = {20, 20 + 60 * i, 260, 68 + 60 * i};
    objects[i] = Create<IOleObject>(*classes[i], IID_IOleObject);
    CHECK(objects[i] != nullptr);
    if (objects[i] == nullptr) continue;
    objects[i]->SetClientSite(&sites[i]);
    CHECK(objects[i]->DoVerb(OLEIVERB_SHOW, nullptr, &sites[i], 0, form, &sites[i].place) == S_OK);
  }
  RedrawWindow(form, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  for (int round = 0; round < 20; ++round) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }
  Canvas capture(width, height);
  HDC screen = GetDC(form);
  BitBlt(capture.dc, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  ReleaseDC(form, screen);
  // Each control with a margin of the form around it; the form shows through at its corner.
  const Colours design = {RGB(0, 0, 0), RGB(255, 255, 255), capture.Pixel(width - 2, height - 2)};
  for (const Site& site : sites) {
    const RECT& r = site.place;
    Canvas control(r.right - r.left + 6, r.bottom - r.top + 6);
    BitBlt(control.dc, 0, 0, control.width, control.height, capture.dc, r.left - 3, r.top - 3,
           SRCCOPY);
    CheckPicture(control, RECT{3, 3, control.width - 3, control.height - 3}, __LINE__, design);
  }
  if (picture != nullptr)
    CHECK(png_file::Write(picture, reinterpret_cast<const std::uint32_t*>(capture.bits), width,
                          height));
  for (IOleObject* object : objects)
    if (object != nullptr) {
      object->Close(OLECLOSE_NOSAVE);
      object->Release();
    }
  DestroyWindow(form);
  CHECK(canUnloadNow() == S_OK);
}

// Invokes a member by name with no arguments.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr))
    return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VariantInit(result);
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
}

// The platform's control host: by ProgID in both forms, and through its window class.
void ControlHost(HWND form) {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  CHECK(atl != nullptr);
  if (atl == nullptr) return;
  using Init = BOOL(WINAPI*)();
  using CreateControl = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**);
  using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
  auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto create = reinterpret_cast<CreateControl>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxCreateControl")));
  auto get =
      reinterpret_cast<GetControl>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  CHECK(init != nullptr && create != nullptr && get != nullptr && init());
  if (init == nullptr || create == nullptr || get == nullptr) return;
  struct Hosted {
    const wchar_t* progId;
    bool windowClass;
    const wchar_t* serial;
  } hosted[] = {{L"ZELUSB.KestrinControl", false, L"KS-0042"},
                {L"ZELUSB.OrvaneControl.1", false, L"OR-0003"},
                {L"ZELUSB.PolyaxControl", true, L"PX-0007"}};
  for (const Hosted& h : hosted) {
    HWND host =
        CreateWindowExW(0, h.windowClass ? L"AtlAxWin" : L"STATIC", h.windowClass ? h.progId : L"",
                        WS_CHILD | WS_VISIBLE, 0, 0, 240, 48, form, nullptr, nullptr, nullptr);
    IUnknown* container = nullptr;
    if (!h.windowClass)
      wine_check::Check(create(h.progId, host, nullptr, &container) == S_OK, "embedded", __LINE__);
    IUnknown* embedded = nullptr;
    wine_check::Check(get(host, &embedded) == S_OK && embedded != nullptr, "control got", __LINE__);
    auto* object = Query<IOleObject>(embedded, IID_IOleObject);
    IOleClientSite* site = nullptr;
    if (object != nullptr) object->GetClientSite(&site);
    wine_check::Check(site != nullptr, "placed on a site", __LINE__);
    // Active in place without a window: the control draws where the host placed it (only a
    // windowless control may be drawn without bounds).
    {
      auto* view = Query<IViewObject>(embedded, IID_IViewObject);
      Canvas canvas(300, 100);
      wine_check::Check(
          view != nullptr && view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc,
                                        nullptr, nullptr, nullptr, 0) == S_OK,
          "active windowless", __LINE__);
      CheckPicture(canvas, RECT{0, 0, 240, 48}, __LINE__);
      if (view != nullptr) view->Release();
    }
    auto* dispatch = Query<IDispatch>(embedded, IID_IDispatch);
    VARIANT result;
    wine_check::Check(dispatch != nullptr &&
                          Call(dispatch, L"GetSerial", DISPATCH_METHOD, &result) == S_OK &&
                          V_VT(&result) == VT_BSTR && std::wstring(V_BSTR(&result)) == h.serial,
                      "member call while embedded", __LINE__);
    VariantClear(&result);
    for (IUnknown* p : {static_cast<IUnknown*>(site), static_cast<IUnknown*>(object),
                        static_cast<IUnknown*>(dispatch), embedded, container})
      if (p != nullptr) p->Release();
    DestroyWindow(host);
    wine_check::Check(canUnloadNow() == S_OK, "host let go of the control", __LINE__);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::printf("usage: embedding_checks PATH\\ZELUSB.dll [PICTURE.png]\n");
    return 2;
  }
  // A desktop of its own, before the thread has any window: the prefix's default desktop may
  // belong to a program started without a display, whose windows cannot be drawn.
  HDESK desktop = CreateDesktopW(L"ZELUSBChecks", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  if (desktop == nullptr || !SetThreadDesktop(desktop)) {
    std::printf("FAILED: no desktop of its own (error %lu)\n", GetLastError());
    return 1;
  }
  if (FAILED(OleInitialize(nullptr))) return 2;
  HMODULE library = LoadLibraryW(argv[1]);
  auto function = [&](const char* name) {
    return reinterpret_cast<ServerFunction>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  };
  ServerFunction registerServer = library ? function("DllRegisterServer") : nullptr;
  ServerFunction unregisterServer = library ? function("DllUnregisterServer") : nullptr;
  canUnloadNow = library ? function("DllCanUnloadNow") : nullptr;
  if (registerServer == nullptr || unregisterServer == nullptr || canUnloadNow == nullptr ||
      registerServer() != S_OK) {
    std::printf("FAILED: cannot load and register %ls\n", argv[1]);
    return 1;
  }
  HWND form = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                              300, nullptr, nullptr, nullptr, nullptr);
  CHECK(form != nullptr);
  InterfacesAndIdentity();
  Drawing();
  Persistence();
  OleRuntime();
  if (form != nullptr) {
    DesignModeContainer(form);
    ControlHost(form);
    ContainerChecks(form);
    DestroyWindow(form);
    DesignForm(argc == 3 ? argv[2] : nullptr);
  }
  CHECK(unregisterServer() == S_OK);
  FreeLibrary(library);
  OleUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
