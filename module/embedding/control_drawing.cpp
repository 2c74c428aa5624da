#include "module/embedding/control_drawing.h"

#include <algorithm>
#include <cstring>

namespace zel {
namespace {

// The clip region for `bounds`, which are logical coordinates: a region is in device
// coordinates, so the corners go through the context's mapping mode, window and viewport.
HRGN DeviceRegion(HDC dc, const RECT& bounds) noexcept {
  POINT corners[2] = {{bounds.left, bounds.top}, {bounds.right, bounds.bottom}};
  if (!LPtoDP(dc, corners, 2)) return nullptr;
  return CreateRectRgn(std::min(corners[0].x, corners[1].x), std::min(corners[0].y, corners[1].y),
                       std::max(corners[0].x, corners[1].x), std::max(corners[0].y, corners[1].y));
}

bool IsMetafile(HDC dc) noexcept {
  const DWORD type = GetObjectType(dc);
  return type == OBJ_METADC || type == OBJ_ENHMETADC;
}

}  // namespace

HRESULT DrawControl(HDC dc, const RECT& bounds, const char* text) noexcept {
  // A metafile has no device coordinates of its own: there the clip is recorded in logical
  // coordinates, and the context's state saved around it is restored on playback.
  const bool metafile = IsMetafile(dc);
  bool clipped = false;
  HRGN clip = nullptr;
  if (metafile) {
    clipped = SaveDC(dc) != 0;
    if (clipped) IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  } else {
    clip = DeviceRegion(dc, bounds);
    clipped = clip != nullptr && SelectClipRgn(dc, clip) != ERROR;
  }
  Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  SetTextAlign(dc, TA_CENTER | TA_BASELINE);
  TextOutA(dc, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2, text,
           static_cast<int>(std::strlen(text)));
  if (clipped) {
    if (metafile)
      RestoreDC(dc, -1);
    else
      SelectClipRgn(dc, nullptr);
  }
  if (clip != nullptr) DeleteObject(clip);
  return S_OK;
}

}  // namespace zel
