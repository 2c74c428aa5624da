// The module object: the class table with its class objects, the lock count that decides
// whether the library may be unloaded, and the embedded type library shared by every object.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <oleauto.h>
#include <unknwn.h>

namespace zel {

// Creates one control: standalone without an outer object, as an aggregated inner object with
// one; returns the requested interface or the query's error.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

class ServerModule {
 public:
  ServerModule() noexcept;
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // False when the critical section could not be set up; the library then refuses to load.
  bool Initialised() const noexcept { return initialised_; }

  // Every live control and every unmatched LockServer(TRUE) holds one count.
  void Lock() noexcept { InterlockedIncrement(&locks_); }
  void Unlock() noexcept { InterlockedDecrement(&locks_); }
  LONG LockCount() const noexcept { return locks_; }

  // The class object of `clsid`, created once on first request, queried for `iid`.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;

  // The embedded type library, loaded once. The caller releases *library.
  HRESULT TypeLibrary(ITypeLib** library) noexcept;

 private:
  CRITICAL_SECTION section_;
  bool initialised_ = false;
  volatile LONG locks_ = 0;
  IUnknown* volatile classObjects_[3] = {};
  ITypeLib* typeLibrary_ = nullptr;
};

// The library's one module object, built when the library is loaded.
ServerModule& Module() noexcept;

}  // namespace zel
