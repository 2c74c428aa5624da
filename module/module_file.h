// The library's own file: its instance handle, path and resources.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/automation.h"

namespace zel {

// The module this code is linked into, found from an address inside it.
HMODULE ThisModule() noexcept;

// The module's full path in the ANSI code page, read into a buffer of MAX_PATH characters: a
// path that fills the buffer comes back with MAX_PATH characters (too long for registration).
// On failure the HRESULT of the platform's error.
HRESULT ModulePath(std::string& path);

// The module's full path for the automation and type-library functions.
HRESULT ModulePathWide(std::wstring& path);

// The bytes of resource `id` of type `type` in this module; empty when it is missing.
std::string_view ModuleResource(const char* type, int id) noexcept;

}  // namespace zel
