#include <windows.h>

#include "platform/module_path.h"

namespace zel {

std::string ModuleDirectory() {
  char path[MAX_PATH] = {};
  // Without a module of that name, the null handle names the executable.
  HMODULE module = GetModuleHandleA("ZELUSB.dll");
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  std::string text(path, length < MAX_PATH ? length : MAX_PATH - 1);
  const auto cut = text.rfind('\\');
  if (cut != std::string::npos) text.resize(cut + 1);
  return text;
}

}  // namespace zel
