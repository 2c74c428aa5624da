#include <windows.h>

#include "platform/module_path.h"

namespace zel {
namespace {

std::string FileOf(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : MAX_PATH - 1);
}

}  // namespace

std::string DirectoryPart(std::string path) {
  const auto cut = path.rfind(kPathSeparator);
  if (cut != std::string::npos) path.resize(cut + 1);
  return path;
}

std::string ModuleDirectory() {
  // Without a module of that name, the null handle names the executable.
  return DirectoryPart(FileOf(GetModuleHandleA("ZELUSB.dll")));
}

std::string DirectoryOfModuleHolding(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module))
    return {};
  return DirectoryPart(FileOf(module));
}

}  // namespace zel
