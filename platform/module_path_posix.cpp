#include <dlfcn.h>
#include <unistd.h>

#include "platform/module_path.h"

namespace zel {

std::string DirectoryPart(std::string path) {
  const auto cut = path.find_last_of(kPathSeparator);
  if (cut != std::string::npos) path.resize(cut + 1);
  return path;
}

// Off Windows the library is linked into the program, so the executable's directory serves.
std::string ModuleDirectory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return DirectoryPart(std::string(path, static_cast<std::size_t>(length)));
}

std::string DirectoryOfModuleHolding(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0')
    return {};
  const std::string file = info.dli_fname;
  // The main program is reported by the name it was started with, which may lack a directory.
  if (file.find(kPathSeparator) == std::string::npos) return ModuleDirectory();
  return DirectoryPart(file);
}

}  // namespace zel
