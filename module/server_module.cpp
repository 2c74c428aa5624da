#include "module/server_module.h"

#include <iterator>
#include <new>

#include "ZELUSB_h.h"
#include "module/class_factory.h"
#include "module/class_table.h"
#include "module/control_objects.h"
#include "module/type_library.h"

namespace zel {
namespace {

struct ClassEntry {
  const CLSID& clsid;
  InstanceCreator create;
};

// The same rows, in the same order, as the portable class table.
const ClassEntry kClassEntries[] = {
    {CLSID_CKestrinControl, &CreateKestrinObject},
    {CLSID_COrvaneControl, &CreateOrvaneObject},
    {CLSID_CPolyaxControl, &CreatePolyaxObject},
};
static_assert(std::size(kClassEntries) == std::size(kClassRows));

class SectionGuard {
 public:
  explicit SectionGuard(CRITICAL_SECTION& section) noexcept : section_(section) {
    EnterCriticalSection(&section_);
  }
  ~SectionGuard() { LeaveCriticalSection(&section_); }
  SectionGuard(const SectionGuard&) = delete;
  SectionGuard& operator=(const SectionGuard&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

ServerModule theModule;

}  // namespace

ServerModule& Module() noexcept {
  return theModule;
}

ServerModule::ServerModule() noexcept {
  initialised_ = InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE;
}

ServerModule::~ServerModule() {
  for (IUnknown* volatile& object : classObjects_) {
    if (object != nullptr) object->Release();
    object = nullptr;
  }
  if (typeLibrary_ != nullptr) typeLibrary_->Release();
  if (initialised_) DeleteCriticalSection(&section_);
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept {
  if (!initialised_) return E_UNEXPECTED;
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (std::size_t row = 0; row < std::size(kClassEntries); ++row) {
    if (!IsEqualCLSID(clsid, kClassEntries[row].clsid)) continue;
    if (classObjects_[row] == nullptr) {
      SectionGuard guard(section_);
      if (classObjects_[row] == nullptr)
        classObjects_[row] = new (std::nothrow) ClassFactory(kClassEntries[row].create);
    }
    if (classObjects_[row] == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = classObjects_[row]->QueryInterface(iid, object);
    if (SUCCEEDED(hr) && *object == nullptr) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerModule::TypeLibrary(ITypeLib** library) noexcept {
  if (library == nullptr) return E_POINTER;
  *library = nullptr;
  if (!initialised_) return E_UNEXPECTED;
  SectionGuard guard(section_);
  if (typeLibrary_ == nullptr)
    if (HRESULT hr = LoadEmbeddedTypeLibrary(&typeLibrary_); FAILED(hr)) return hr;
  typeLibrary_->AddRef();
  *library = typeLibrary_;
  return S_OK;
}

}  // namespace zel
