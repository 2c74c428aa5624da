// The control's picture: drawing into a container's device context, the view advise sink, and
// what the view tells about its extent, opacity and hit area.
#include "module/embedding/control_drawing.h"
#include "module/embedding/embedded_control.h"

namespace zel {

HRESULT EmbeddedControl::DrawInto(HDC dc, const RECT& bounds) noexcept {
  return DrawControl(dc, bounds, text_);
}

// Each sink is called through a reference of its own, taken before the call: a sink may advise
// again, remove its advise or close the control from its callback. A one-shot view advise is
// used up before its call, so one the sink makes from the callback stays.
void EmbeddedControl::ViewChanged() noexcept {
  const Hold hold(*this);
  if (viewSink_ && (viewAspects_ & DVASPECT_CONTENT) != 0) {
    const ComRef<IAdviseSink> sink(viewSink_.Get());
    if ((viewFlags_ & ADVF_ONLYONCE) != 0) {
      viewSink_.Reset();
      viewAspects_ = viewFlags_ = 0;
    }
    sink->OnViewChange(DVASPECT_CONTENT, -1);
  }
  if (dataAdviseHolder_) {
    const ComRef<IDataAdviseHolder> holder(dataAdviseHolder_.Get());
    holder->SendOnDataChange(static_cast<IDataObject*>(this), 0, 0);
  }
  if (windowlessSite_)
    ComRef<IOleInPlaceSiteWindowless>(windowlessSite_.Get())->InvalidateRect(nullptr, TRUE);
  else if (window_ != nullptr)
    InvalidateRect(window_, nullptr, TRUE);
}

HRESULT EmbeddedControl::Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC, HDC dc,
                              LPCRECTL bounds, LPCRECTL, WINBOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                              ULONG_PTR) noexcept {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (index != -1) return DV_E_LINDEX;  // the content is one piece
  if (dc == nullptr) return E_INVALIDARG;
  RECT area;
  if (bounds != nullptr)
    area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  else if (windowlessSite_)
    area = position_;  // a windowless control draws where the site placed it
  else
    return E_INVALIDARG;
  return DrawInto(dc, area);
}

HRESULT EmbeddedControl::GetColorSet(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC,
                                     LOGPALETTE** colors) noexcept {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  return index == -1 ? S_FALSE : DV_E_LINDEX;  // no palette of its own
}

HRESULT EmbeddedControl::Freeze(DWORD aspect, LONG index, void*, DWORD* key) noexcept {
  if (key == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (index != -1) return DV_E_LINDEX;
  *key = ++freezeKeys_;  // the picture never changes by itself: nothing to hold back
  return S_OK;
}

HRESULT EmbeddedControl::Unfreeze(DWORD key) noexcept {
  return key != 0 && key <= freezeKeys_ ? S_OK : OLE_E_NOCONNECTION;
}

HRESULT EmbeddedControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) noexcept {
  viewSink_.Reset(sink);
  viewAspects_ = aspects;
  viewFlags_ = flags;
  if (sink != nullptr && (flags & ADVF_PRIMEFIRST) != 0) ViewChanged();
  return S_OK;
}

HRESULT EmbeddedControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) noexcept {
  if (aspects != nullptr) *aspects = viewAspects_;
  if (flags != nullptr) *flags = viewFlags_;
  if (sink != nullptr) *sink = viewSink_.Copy();
  return S_OK;
}

HRESULT EmbeddedControl::GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE*,
                                   LPSIZEL size) noexcept {
  if (aspect == DVASPECT_CONTENT && index != -1) return DV_E_LINDEX;  // one piece, as in Draw
  return GetExtent(aspect, size);
}

HRESULT EmbeddedControl::GetRect(DWORD aspect, LPRECTL rect) noexcept {
  if (rect == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *rect = {0, 0, extent_.cx, extent_.cy};
  return S_OK;
}

HRESULT EmbeddedControl::GetViewStatus(DWORD* status) noexcept {
  if (status == nullptr) return E_POINTER;
  *status = kViewStatus;
  return S_OK;
}

HRESULT EmbeddedControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG,
                                       DWORD* result) noexcept {
  if (bounds == nullptr || result == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *result = PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT EmbeddedControl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG,
                                      DWORD* result) noexcept {
  if (bounds == nullptr || location == nullptr || result == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  RECT common;
  *result = IntersectRect(&common, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT EmbeddedControl::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC,
                                          DVEXTENTINFO* info, LPSIZEL size) noexcept {
  if (info == nullptr || size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (info->dwExtentMode != DVEXTENT_CONTENT) return E_NOTIMPL;  // no integral sizes
  *size = extent_;
  return S_OK;
}

}  // namespace zel
