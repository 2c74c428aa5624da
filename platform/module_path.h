// Where the library's own file lies: the firmware images are looked for beside it.
#pragma once

#include <string>

namespace zel {

// The directory of the module file named "ZELUSB.dll", or of the process's executable when no
// such module is loaded, with its trailing separator (cut after the last one). "" when unknown.
std::string ModuleDirectory();

// The directory of the module file (executable or shared library) that holds the code or data
// at `address`, with its trailing separator. "" when unknown. A shared library over the core
// finds the firmware images beside itself with this, whatever its own file is called.
std::string DirectoryOfModuleHolding(const void* address);

// `path` cut after its last separator, keeping it; the whole of `path` when it has none.
std::string DirectoryPart(std::string path);

// The separator the platform's module paths use.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace zel
