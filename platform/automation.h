// The automation types at the client boundary: HRESULT, VARIANT_BOOL and BSTR. On Windows these
// are the platform's own; elsewhere compatible stand-ins, so the automation members are one piece
// of code, built and tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/automation_win32.h"
#else
#include "platform/automation_posix.h"
#endif

namespace zel {

// Automation booleans leave as 1 and 0, not -1; any non-zero value coming in is true.
inline VARIANT_BOOL ToVariantBool(bool value) noexcept {
  return value ? 1 : 0;
}
inline bool FromVariantBool(VARIANT_BOOL value) noexcept {
  return value != 0;
}

// A new automation string holding `text` converted from the ANSI code page (Windows-1252 off
// Windows): exactly the converted length, empty (not null) for "". E_OUTOFMEMORY when it cannot
// be allocated; *out is untouched then.
HRESULT NarrowToBstr(std::string_view text, BSTR* out) noexcept;

// The text of an automation string in the ANSI code page; null reads as "". Characters the code
// page cannot hold become '?'. Conversion stops at an embedded zero.
std::string BstrToNarrow(BSTR text);

}  // namespace zel
