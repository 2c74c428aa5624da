// Quick activation: a container hands over its site, its view sink and its ambient state in
// one call and learns the control's status flags in return. The control has no property pages.
#include <cstddef>

#include "module/embedding/embedded_control.h"

namespace zel {

HRESULT EmbeddedControl::QuickActivate(QACONTAINER* container, QACONTROL* control) noexcept {
  if (container == nullptr || control == nullptr) return E_POINTER;
  // Older containers pass a shorter structure; the fields read here are in every version.
  if (container->cbSize < offsetof(QACONTAINER, dwAmbientFlags) + sizeof(DWORD) ||
      control->cbSize < sizeof(QACONTROL))
    return E_INVALIDARG;
  if (HRESULT hr = SetClientSite(container->pClientSite); FAILED(hr)) return hr;
  // The container's word on the ambient state replaces what the site may say through IDispatch.
  SetUserMode((container->dwAmbientFlags & QACONTAINER_USERMODE) != 0);
  if (container->pAdviseSink != nullptr) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  control->dwMiscStatus = kMiscStatus;
  control->dwViewStatus = kViewStatus;
  control->dwEventCookie = 0;  // the controls raise no events
  control->dwPropNotifyCookie = 0;
  control->dwPointerActivationPolicy = 0;
  return S_OK;
}

HRESULT EmbeddedControl::SetContentExtent(LPSIZEL size) noexcept {
  return SetExtent(DVASPECT_CONTENT, size);
}

HRESULT EmbeddedControl::GetContentExtent(LPSIZEL size) noexcept {
  return GetExtent(DVASPECT_CONTENT, size);
}

HRESULT EmbeddedControl::GetPages(CAUUID* pages) noexcept {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

}  // namespace zel
