// The control's picture as data: a metafile picture of its content, through the same drawing
// as the view, and the data advise sinks.
#include <algorithm>
#include <cstdint>

#include "module/embedding/embedded_control.h"
#include "module/embedding/format_enumerator.h"

namespace zel {
namespace {

// The one format the control renders.
const FORMATETC kPictureFormats[] = {
    {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT},
};

HRESULT CheckPictureFormat(const FORMATETC* format) noexcept {
  if (format == nullptr) return E_POINTER;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (format->cfFormat != CF_METAFILEPICT) return DV_E_FORMATETC;
  if ((format->tymed & TYMED_MFPICT) == 0) return DV_E_TYMED;
  if (format->lindex != -1) return DV_E_LINDEX;
  return S_OK;
}

// The coordinates a metafile records for an extent: the extent itself while it fits the
// records' 16-bit fields, else scaled down, both sides alike, until the longer side does.
SIZEL RecordedExtent(SIZEL extent) noexcept {
  constexpr std::int64_t kMost = 32767;
  const std::int64_t longer = std::max(extent.cx, extent.cy);
  if (longer <= kMost) return extent;
  return {static_cast<LONG>(extent.cx * kMost / longer),
          static_cast<LONG>(extent.cy * kMost / longer)};
}

}  // namespace

// The metafile is drawn over the control's extent in HIMETRIC, scaled down where it exceeds
// what a metafile record holds; whoever plays it maps the recorded window onto its own bounds,
// and the picture's xExt and yExt give the extent in HIMETRIC.
HRESULT EmbeddedControl::RenderMetafilePicture(STGMEDIUM* medium) noexcept {
  HDC recorder = CreateMetaFileW(nullptr);
  if (recorder == nullptr) return E_OUTOFMEMORY;
  const SIZEL recorded = RecordedExtent(extent_);
  SetWindowOrgEx(recorder, 0, 0, nullptr);
  SetWindowExtEx(recorder, recorded.cx, recorded.cy, nullptr);
  const HRESULT drawn = DrawInto(recorder, RECT{0, 0, recorded.cx, recorded.cy});
  HMETAFILE metafile = CloseMetaFile(recorder);
  if (metafile == nullptr) return E_OUTOFMEMORY;
  if (FAILED(drawn)) {
    DeleteMetaFile(metafile);
    return drawn;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
  auto* picture = memory != nullptr ? static_cast<METAFILEPICT*>(GlobalLock(memory)) : nullptr;
  if (picture == nullptr) {
    if (memory != nullptr) GlobalFree(memory);
    DeleteMetaFile(metafile);
    return E_OUTOFMEMORY;
  }
  picture->mm = MM_ANISOTROPIC;
  picture->xExt = extent_.cx;
  picture->yExt = extent_.cy;
  picture->hMF = metafile;
  GlobalUnlock(memory);
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = memory;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT EmbeddedControl::GetData(FORMATETC* format, STGMEDIUM* medium) noexcept {
  if (medium == nullptr) return E_POINTER;
  if (HRESULT hr = CheckPictureFormat(format); FAILED(hr)) return hr;
  return RenderMetafilePicture(medium);
}

HRESULT EmbeddedControl::GetDataHere(FORMATETC*, STGMEDIUM*) noexcept {
  return E_NOTIMPL;  // a metafile picture cannot be drawn into a caller's medium
}

HRESULT EmbeddedControl::QueryGetData(FORMATETC* format) noexcept {
  return CheckPictureFormat(format);
}

HRESULT EmbeddedControl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* canonical) noexcept {
  if (canonical != nullptr) canonical->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept {
  return E_NOTIMPL;
}

HRESULT EmbeddedControl::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) noexcept {
  if (formats == nullptr) return E_POINTER;
  *formats = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;  // SetData takes no format
  return NewFormatEnumerator(kPictureFormats, formats);
}

HRESULT EmbeddedControl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                 DWORD* connection) noexcept {
  if (format == nullptr || sink == nullptr || connection == nullptr) return E_POINTER;
  if (!dataAdviseHolder_)
    if (HRESULT hr = CreateDataAdviseHolder(dataAdviseHolder_.Put()); FAILED(hr)) return hr;
  return dataAdviseHolder_->Advise(static_cast<IDataObject*>(this), format, flags, sink,
                                   connection);
}

HRESULT EmbeddedControl::DUnadvise(DWORD connection) noexcept {
  if (!dataAdviseHolder_) return OLE_E_NOCONNECTION;
  return dataAdviseHolder_->Unadvise(connection);
}

HRESULT EmbeddedControl::EnumDAdvise(IEnumSTATDATA** advises) noexcept {
  if (advises == nullptr) return E_POINTER;
  *advises = nullptr;
  // Advises are supported: before the first one there are none to list.
  if (!dataAdviseHolder_)
    if (HRESULT hr = CreateDataAdviseHolder(dataAdviseHolder_.Put()); FAILED(hr)) return hr;
  return dataAdviseHolder_->EnumAdvise(advises);
}

}  // namespace zel
