// The system registry as a registration backend, under one root key (HKEY_CLASSES_ROOT for
// the server; the tests use a scratch key of their own).
#pragma once

#include <windows.h>

#include "module/registry/registry_backend.h"

namespace zel::registry {

class Win32Registry final : public Backend {
 public:
  explicit Win32Registry(HKEY root = HKEY_CLASSES_ROOT) noexcept : root_(root) {}
  long CreateKey(const std::string& path) override;
  long DeleteTree(const std::string& path) override;
  long SetString(const std::string& path, const std::string& name,
                 const std::string& data) override;

 private:
  HKEY root_;
};

}  // namespace zel::registry
