// The type library embedded in the module as TYPELIB 1: loaded for dispatch and for class
// information, registered and unregistered with the platform.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <oleauto.h>

#include "module/registry/server_registration.h"

namespace zel {

// Loads the embedded library without registering it. The caller releases *library.
HRESULT LoadEmbeddedTypeLibrary(ITypeLib** library) noexcept;

class PlatformTypeLibraryRegistrar final : public registry::TypeLibraryRegistrar {
 public:
  HRESULT Register(const std::string& modulePath, const std::string& helpDirectory) override;
  HRESULT Unregister(const std::string& modulePath) override;
};

}  // namespace zel
