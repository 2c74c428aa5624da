// How a control shows itself in a form designer.
#pragma once

#include <windows.h>

namespace zel {

// Clips to `bounds` (logical coordinates of `dc`, whatever its mapping mode and origins),
// frames it with the context's pen and brush, and writes `text` centred on the middle of the
// bounds, on its baseline; the clip region is removed again. Metafile contexts included.
HRESULT DrawControl(HDC dc, const RECT& bounds, const char* text) noexcept;

}  // namespace zel
