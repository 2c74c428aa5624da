#include "module/embedding/format_enumerator.h"

#include <algorithm>
#include <new>

#include "module/server_module.h"

namespace zel {
namespace {

class FormatEnumerator final : public IEnumFORMATETC {
 public:
  FormatEnumerator(std::span<const FORMATETC> formats, std::size_t position) noexcept
      : formats_(formats), position_(position) {
    Module().Lock();
  }
  ~FormatEnumerator() { Module().Unlock(); }
  FormatEnumerator(const FormatEnumerator&) = delete;
  FormatEnumerator& operator=(const FormatEnumerator&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IEnumFORMATETC))
      return E_NOINTERFACE;
    *object = static_cast<IEnumFORMATETC*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // Only a request for one format may leave out the count fetched.
  HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* formats,
                                 ULONG* fetched) noexcept override {
    if (formats == nullptr || (fetched == nullptr && count != 1)) return E_INVALIDARG;
    const std::size_t taken = std::min<std::size_t>(count, formats_.size() - position_);
    std::copy_n(formats_.begin() + position_, taken, formats);  // no device to copy
    position_ += taken;
    if (fetched != nullptr) *fetched = static_cast<ULONG>(taken);
    return taken == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
    const std::size_t skipped = std::min<std::size_t>(count, formats_.size() - position_);
    position_ += skipped;
    return skipped == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() noexcept override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** clone) noexcept override {
    if (clone == nullptr) return E_POINTER;
    *clone = new (std::nothrow) FormatEnumerator(formats_, position_);
    return *clone != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  const std::span<const FORMATETC> formats_;
  std::size_t position_;
  volatile LONG references_ = 1;
};

}  // namespace

HRESULT NewFormatEnumerator(std::span<const FORMATETC> formats, IEnumFORMATETC** result) noexcept {
  if (result == nullptr) return E_POINTER;
  *result = new (std::nothrow) FormatEnumerator(formats, 0);
  return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace zel
