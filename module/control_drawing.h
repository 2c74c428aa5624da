// How a control shows itself in a form designer.
#pragma once

#include <windows.h>

namespace zel {

// Clips to `bounds`, frames it with the context's pen and brush, and writes `text` centred
// on the middle of the bounds, on its baseline; the clip region is removed again.
HRESULT DrawControl(HDC dc, const RECT& bounds, const char* text) noexcept;

}  // namespace zel
