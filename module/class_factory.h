// The class object of one control class.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <unknwn.h>

#include "module/server_module.h"

namespace zel {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(InstanceCreator create) noexcept : create_(create) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // An outer object may ask for IUnknown only: the inner object's own IUnknown is what it
  // needs to hold.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~ClassFactory() = default;
  const InstanceCreator create_;
  volatile LONG references_ = 1;
};

}  // namespace zel
