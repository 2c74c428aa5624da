// The control on its client site: identity, verbs, extent, OLE advise sinks and the ambient
// properties the site offers.
#include <olectl.h>

#include <utility>

#include "module/embedding/embedded_control.h"

namespace zel {

EmbeddedControl::EmbeddedControl(const CLSID& clsid, const char* text) noexcept
    : clsid_(clsid), text_(text) {}

EmbeddedControl::~EmbeddedControl() {
  // A container that let go without closing: nothing outlives the object.
  DestroyControlWindow();
}

void* EmbeddedControl::FindInterface(REFIID iid) noexcept {
  if (IsEqualIID(iid, IID_IPersistStreamInit) || IsEqualIID(iid, IID_IPersist))
    return static_cast<IPersistStreamInit*>(this);
  if (IsEqualIID(iid, IID_IOleControl)) return static_cast<IOleControl*>(this);
  if (IsEqualIID(iid, IID_IOleObject)) return static_cast<IOleObject*>(this);
  if (IsEqualIID(iid, IID_IOleInPlaceActiveObject) || IsEqualIID(iid, IID_IOleWindow))
    return static_cast<IOleInPlaceActiveObject*>(this);
  if (IsEqualIID(iid, IID_IViewObjectEx) || IsEqualIID(iid, IID_IViewObject2) ||
      IsEqualIID(iid, IID_IViewObject))
    return static_cast<IViewObjectEx*>(this);
  if (IsEqualIID(iid, IID_IOleInPlaceObjectWindowless) || IsEqualIID(iid, IID_IOleInPlaceObject))
    return static_cast<IOleInPlaceObjectWindowless*>(this);
  if (IsEqualIID(iid, IID_IPersistStorage)) return static_cast<IPersistStorage*>(this);
  if (IsEqualIID(iid, IID_ISpecifyPropertyPages)) return static_cast<ISpecifyPropertyPages*>(this);
  if (IsEqualIID(iid, IID_IQuickActivate)) return static_cast<IQuickActivate*>(this);
  if (IsEqualIID(iid, IID_IDataObject)) return static_cast<IDataObject*>(this);
  return nullptr;
}

// IOleObject.

HRESULT EmbeddedControl::SetClientSite(IOleClientSite* site) noexcept {
  site_.Reset(site);
  if (site != nullptr) SetUserMode(ReadUserMode());
  return S_OK;
}

HRESULT EmbeddedControl::GetClientSite(IOleClientSite** site) noexcept {
  if (site == nullptr) return E_POINTER;
  *site = site_.Copy();
  return S_OK;
}

HRESULT EmbeddedControl::SetHostNames(LPCOLESTR, LPCOLESTR) noexcept {
  return S_OK;
}

HRESULT EmbeddedControl::Close(DWORD saveOption) noexcept {
  const Hold hold(*this);
  if (dirty_ && site_ && (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE))
    ComRef<IOleClientSite>(site_.Get())->SaveObject();
  InPlaceDeactivate();
  // Let go of every sink and the site first: the sinks may call back in when told.
  ComRef<IOleAdviseHolder> advise(std::move(adviseHolder_));
  ComRef<IDataAdviseHolder> data(std::move(dataAdviseHolder_));
  ComRef<IAdviseSink> view(std::move(viewSink_));
  ComRef<IOleClientSite> site(std::move(site_));
  if (advise) advise->SendOnClose();
  return S_OK;
}

HRESULT EmbeddedControl::SetMoniker(DWORD, IMoniker*) noexcept {
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::InitFromData(IDataObject*, BOOL, DWORD) noexcept {
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::GetClipboardData(DWORD, IDataObject** data) noexcept {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                LPCRECT) noexcept {
  IOleClientSite* site = activeSite != nullptr ? activeSite : site_.Get();
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site, true);
    case OLEIVERB_INPLACEACTIVATE:
      return ActivateInPlace(site, false);
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
      return S_OK;
    default:
      // A container's action the control does not know.
      if (verb < 0) return E_NOTIMPL;
      // A verb the control has no action of its own for runs the primary verb, and says so.
      if (HRESULT hr = ActivateInPlace(site, true); FAILED(hr)) return hr;
      return OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT EmbeddedControl::EnumVerbs(IEnumOLEVERB** verbs) noexcept {
  if (verbs == nullptr) return E_POINTER;
  return OleRegEnumVerbs(clsid_, verbs);
}

HRESULT EmbeddedControl::Update() noexcept {
  return S_OK;
}

HRESULT EmbeddedControl::IsUpToDate() noexcept {
  return S_OK;
}

HRESULT EmbeddedControl::GetUserClassID(CLSID* clsid) noexcept {
  if (clsid == nullptr) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT EmbeddedControl::GetUserType(DWORD form, LPOLESTR* name) noexcept {
  if (name == nullptr) return E_POINTER;
  return OleRegGetUserType(clsid_, form, name);
}

HRESULT EmbeddedControl::SetExtent(DWORD aspect, SIZEL* size) noexcept {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
  if (size->cx == extent_.cx && size->cy == extent_.cy) return S_OK;
  extent_ = *size;
  dirty_ = true;
  ViewChanged();
  return S_OK;
}

HRESULT EmbeddedControl::GetExtent(DWORD aspect, SIZEL* size) noexcept {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  *size = extent_;
  return S_OK;
}

HRESULT EmbeddedControl::Advise(IAdviseSink* sink, DWORD* connection) noexcept {
  if (sink == nullptr || connection == nullptr) return E_POINTER;
  if (!adviseHolder_)
    if (HRESULT hr = CreateOleAdviseHolder(adviseHolder_.Put()); FAILED(hr)) return hr;
  return adviseHolder_->Advise(sink, connection);
}

HRESULT EmbeddedControl::Unadvise(DWORD connection) noexcept {
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

HRESULT EmbeddedControl::EnumAdvise(IEnumSTATDATA** advises) noexcept {
  if (advises == nullptr) return E_POINTER;
  *advises = nullptr;
  if (!adviseHolder_)
    if (HRESULT hr = CreateOleAdviseHolder(adviseHolder_.Put()); FAILED(hr)) return hr;
  return adviseHolder_->EnumAdvise(advises);
}

HRESULT EmbeddedControl::GetMiscStatus(DWORD aspect, DWORD* status) noexcept {
  if (status == nullptr) return E_POINTER;
  if (aspect == DVASPECT_CONTENT) {
    *status = kMiscStatus;
    return S_OK;
  }
  return OleRegGetMiscStatus(clsid_, aspect, status);
}

HRESULT EmbeddedControl::SetColorScheme(LOGPALETTE*) noexcept {
  return E_NOTIMPL;
}

// IOleControl.

HRESULT EmbeddedControl::GetControlInfo(CONTROLINFO*) noexcept {
  return E_NOTIMPL;  // no mnemonics
}

HRESULT EmbeddedControl::OnMnemonic(MSG*) noexcept {
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::OnAmbientPropertyChange(DISPID id) noexcept {
  if (id == DISPID_AMBIENT_USERMODE || id == DISPID_UNKNOWN) SetUserMode(ReadUserMode());
  return S_OK;
}

HRESULT EmbeddedControl::FreezeEvents(BOOL) noexcept {
  return S_OK;  // the controls raise no events to hold back
}

// Ambient properties.

bool EmbeddedControl::ReadUserMode() noexcept {
  if (!site_) return true;
  ComRef<IDispatch> ambient;
  if (FAILED(site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ambient.Put()))) ||
      !ambient)
    return true;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                                     DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  bool userMode = true;
  if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BOOL)))
    userMode = V_BOOL(&value) != VARIANT_FALSE;
  VariantClear(&value);
  return userMode;
}

void EmbeddedControl::SetUserMode(bool userMode) noexcept {
  if (userMode == userMode_) return;
  userMode_ = userMode;
  ViewChanged();
}

}  // namespace zel
