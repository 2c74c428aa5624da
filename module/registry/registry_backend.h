// Where a registry tree is written: the system registry on Windows, memory in the tests.
// Paths are relative to HKEY_CLASSES_ROOT with '\' between key names; key and value names
// compare without regard to case, as in the system registry. Results are the platform's error
// codes: 0 for success.
#pragma once

#include <string>

namespace zel::registry {

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorPathNotFound = 3;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInsufficientBuffer = 122;

class Backend {
 public:
  virtual ~Backend() = default;
  // Creates the key, with any missing parents, or opens it when present.
  virtual long CreateKey(const std::string& path) = 0;
  // Deletes the key with all its subkeys and values; kErrorFileNotFound when it is missing.
  virtual long DeleteTree(const std::string& path) = 0;
  // Writes a REG_SZ value (name "" is the default value) into an existing key.
  virtual long SetString(const std::string& path, const std::string& name,
                         const std::string& data) = 0;
};

}  // namespace zel::registry
