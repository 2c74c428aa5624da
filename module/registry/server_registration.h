// Registration and unregistration of the whole server: the AppID, the three classes and the
// type library, in that order (and the reverse). Written against seams so the sequence runs
// the same over the system registry and over a registry in memory.
#pragma once

#include <string>
#include <string_view>

#include "module/registry/registry_backend.h"
#include "module/registry/replacement_table.h"
#include "platform/automation.h"

namespace zel::registry {

// The platform's type-library registration, for the library embedded in the module file.
class TypeLibraryRegistrar {
 public:
  virtual ~TypeLibraryRegistrar() = default;
  virtual HRESULT Register(const std::string& modulePath, const std::string& helpDirectory) = 0;
  // Removes the registration named by the attributes read from the embedded library.
  virtual HRESULT Unregister(const std::string& modulePath) = 0;
};

struct Server {
  Backend& registry;
  TypeLibraryRegistrar& typeLibrary;
  std::string_view appIdScript;  // the REGISTRY resource's text
  // The module file's full path, or the failure of the query for it.
  HRESULT modulePathResult = S_OK;
  std::string modulePath;
  LeadBytePredicate isLeadByte = nullptr;
};

// Paths this long or longer do not fit the platform's path buffers.
inline constexpr std::size_t kMaxPath = 260;
inline constexpr HRESULT kPathTooLong = static_cast<HRESULT>(0x8007007AU);

// AppID script, class trees (class table order), type library. The first failing step ends
// the sequence with its HRESULT; what was written before stays.
HRESULT RegisterServer(const Server& server);
// Class trees, type library, AppID script; missing entries are no error.
HRESULT UnregisterServer(const Server& server);

// The directory part of a module path, without the last separator ("" when there is none).
std::string HelpDirectory(const std::string& modulePath);

}  // namespace zel::registry
