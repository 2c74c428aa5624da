// Saving and loading the control: its state is its extent, written in the portable format of
// control_state_format.h into a container's stream, or into one stream of its storage.
#include "module/embedding/control_state_format.h"
#include "module/embedding/embedded_control.h"

namespace zel {
namespace {

// The stream that holds the state inside a storage.
constexpr wchar_t kStateStream[] = L"Contents";

}  // namespace

HRESULT EmbeddedControl::GetClassID(CLSID* clsid) noexcept {
  if (clsid == nullptr) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT EmbeddedControl::IsDirty() noexcept {
  return dirty_ ? S_OK : S_FALSE;
}

HRESULT EmbeddedControl::InitNew() noexcept {
  extent_ = kDefaultExtent;
  dirty_ = false;
  return S_OK;
}

HRESULT EmbeddedControl::Load(IStream* stream) noexcept {
  if (stream == nullptr) return E_POINTER;
  // Exactly the record and no further: the container may keep other data after it.
  std::uint8_t bytes[kControlStateMaxSize];
  ULONG read = 0;
  if (HRESULT hr = stream->Read(bytes, sizeof(bytes), &read); FAILED(hr)) return hr;
  ControlState state{};
  switch (DecodeControlState(bytes, read, state)) {
    case ControlStateError::kNone:
      break;
    case ControlStateError::kTruncated:
      return STG_E_READFAULT;
    case ControlStateError::kNewerVersion:
    case ControlStateError::kMalformed:
      return E_FAIL;
  }
  const bool resized = state.widthHimetric != extent_.cx || state.heightHimetric != extent_.cy;
  extent_ = {state.widthHimetric, state.heightHimetric};
  dirty_ = false;
  if (resized) ViewChanged();
  return S_OK;
}

HRESULT EmbeddedControl::Save(IStream* stream, BOOL clearDirty) noexcept {
  if (stream == nullptr) return E_POINTER;
  const auto bytes = EncodeControlState(ControlState{extent_.cx, extent_.cy});
  ULONG written = 0;
  if (HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
      FAILED(hr))
    return hr;
  if (written != bytes.size()) return STG_E_MEDIUMFULL;
  if (clearDirty) dirty_ = false;
  return S_OK;
}

HRESULT EmbeddedControl::GetSizeMax(ULARGE_INTEGER* size) noexcept {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = kControlStateMaxSize;
  return S_OK;
}

HRESULT EmbeddedControl::InitNew(IStorage* storage) noexcept {
  if (storage == nullptr) return E_POINTER;
  return InitNew();
}

HRESULT EmbeddedControl::Load(IStorage* storage) noexcept {
  if (storage == nullptr) return E_POINTER;
  ComRef<IStream> stream;
  if (HRESULT hr = storage->OpenStream(kStateStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                       stream.Put());
      FAILED(hr))
    return hr;
  return Load(stream.Get());
}

HRESULT EmbeddedControl::Save(IStorage* storage, BOOL sameAsLoad) noexcept {
  if (storage == nullptr) return E_POINTER;
  ComRef<IStream> stream;
  if (HRESULT hr = storage->CreateStream(
          kStateStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Put());
      FAILED(hr))
    return hr;
  // Dirty until the container says the save is complete.
  const HRESULT hr = Save(stream.Get(), FALSE);
  savedInPlace_ = SUCCEEDED(hr) && sameAsLoad;
  return hr;
}

// Clean after a save into the storage the control was loaded from, or when the container hands
// it the storage it saved into ("save as"); a copy saved elsewhere ("save a copy as") leaves
// the changes unsaved as far as the document is concerned.
HRESULT EmbeddedControl::SaveCompleted(IStorage* storage) noexcept {
  if (storage != nullptr || savedInPlace_) dirty_ = false;
  savedInPlace_ = false;
  return S_OK;
}

HRESULT EmbeddedControl::HandsOffStorage() noexcept {
  return S_OK;  // no storage is held between calls
}

}  // namespace zel
