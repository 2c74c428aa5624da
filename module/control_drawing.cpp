#include "module/control_drawing.h"

#include <cstring>

namespace zel {

HRESULT DrawControl(HDC dc, const RECT& bounds, const char* text) noexcept {
  HRGN clip = CreateRectRgn(bounds.left, bounds.top, bounds.right, bounds.bottom);
  const bool clipped = clip != nullptr && SelectClipRgn(dc, clip) != ERROR;
  Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  SetTextAlign(dc, TA_CENTER | TA_BASELINE);
  TextOutA(dc, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2, text,
           static_cast<int>(std::strlen(text)));
  if (clipped) SelectClipRgn(dc, nullptr);
  if (clip != nullptr) DeleteObject(clip);
  return S_OK;
}

}  // namespace zel
