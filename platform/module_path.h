// Where the library's own file lies: the firmware images are looked for beside it.
#pragma once

#include <string>

namespace zel {

// The directory of the module file named "ZELUSB.dll", or of the process's executable when no
// such module is loaded, with its trailing separator (cut after the last one). "" when unknown.
std::string ModuleDirectory();

// The separator the platform's module paths use.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace zel
