#include "module/registry/win32_registry.h"

namespace zel::registry {

long Win32Registry::CreateKey(const std::string& path) {
  HKEY key = nullptr;
  const LONG result = RegCreateKeyExA(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  return result;
}

long Win32Registry::DeleteTree(const std::string& path) {
  // With a subkey name the key itself goes too, not only what is beneath it.
  return RegDeleteTreeA(root_, path.c_str());
}

long Win32Registry::SetString(const std::string& path, const std::string& name,
                              const std::string& data) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(root_, path.c_str(), 0, KEY_SET_VALUE, &key);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
  RegCloseKey(key);
  return result;
}

}  // namespace zel::registry
