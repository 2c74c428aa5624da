// The enumerators the library hands out (formats, connection points, connections), one
// template: a copy of the items taken when the enumerator is made, each holding its own
// reference where it has one and handed out with a new one. An enumerator holds the module
// while it lives: the caller may keep it after the object that handed it out is gone.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <objidl.h>
#include <ocidl.h>

#include <new>
#include <vector>

#include "module/server_module.h"

namespace zel {

// The reference an item holds, if any.
inline void Hold(const FORMATETC&) noexcept {}  // the formats name no target device
inline void Drop(const FORMATETC&) noexcept {}
inline void Hold(IConnectionPoint* point) noexcept {
  point->AddRef();
}
inline void Drop(IConnectionPoint* point) noexcept {
  point->Release();
}
inline void Hold(const CONNECTDATA& connection) noexcept {
  connection.pUnk->AddRef();
}
inline void Drop(const CONNECTDATA& connection) noexcept {
  connection.pUnk->Release();
}

template <typename Enum, typename Item, const IID& kIid>
class Enumerator final : public Enum {
 public:
  // An enumerator of `items` at its start, or E_OUTOFMEMORY.
  static HRESULT Create(const std::vector<Item>& items, Enum** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    try {
      *out = new Enumerator(items, 0);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, kIid)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<Enum*>(this);
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

  // Only a request for one item may leave out the count fetched.
  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) noexcept override {
    if (items == nullptr || (fetched == nullptr && count != 1)) return E_INVALIDARG;
    ULONG given = 0;
    for (; given < count && next_ < items_.size(); ++given, ++next_) {
      items[given] = items_[next_];
      Hold(items[given]);
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
    const std::size_t left = items_.size() - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() noexcept override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Enum** copy) noexcept override {
    if (copy == nullptr) return E_POINTER;
    *copy = nullptr;
    try {
      *copy = new Enumerator(items_, next_);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

 private:
  Enumerator(const std::vector<Item>& items, std::size_t next) : items_(items), next_(next) {
    for (const Item& item : items_) Hold(item);
    Module().Lock();
  }
  ~Enumerator() {
    for (const Item& item : items_) Drop(item);
    Module().Unlock();
  }

  const std::vector<Item> items_;
  std::size_t next_;
  volatile LONG references_ = 1;
};

using FormatEnumerator = Enumerator<IEnumFORMATETC, FORMATETC, IID_IEnumFORMATETC>;
using ConnectionPointEnumerator =
    Enumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;
using ConnectionEnumerator = Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;

}  // namespace zel
