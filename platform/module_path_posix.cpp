#include <unistd.h>

#include "platform/module_path.h"

namespace zel {

// Off Windows the library is linked into the program, so the executable's directory serves.
std::string ModuleDirectory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  std::string text(path, static_cast<std::size_t>(length));
  const auto cut = text.rfind('/');
  if (cut != std::string::npos) text.resize(cut + 1);
  return text;
}

}  // namespace zel
