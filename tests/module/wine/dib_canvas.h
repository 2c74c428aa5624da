// A 32-bit top-down DIB section selected into a memory context, filled with one colour: what
// the pixel checks of the drawing draw into and read back.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

namespace wine_check {

struct DibCanvas {
  DibCanvas(int w, int h, COLORREF ground) : width(w), height(h) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc = CreateCompatibleDC(nullptr);
    bitmap =
        CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    previous = SelectObject(dc, bitmap);
    // A DIB pixel is 0x00RRGGBB; a COLORREF is 0x00BBGGRR.
    const DWORD pixel = (GetRValue(ground) << 16) | (GetGValue(ground) << 8) | GetBValue(ground);
    for (int i = 0; i < w * h; ++i) bits[i] = pixel;
  }
  ~DibCanvas() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  DibCanvas(const DibCanvas&) = delete;
  DibCanvas& operator=(const DibCanvas&) = delete;

  COLORREF Pixel(int x, int y) const {
    GdiFlush();
    const DWORD v = bits[y * width + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }

  int width, height;
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
  DWORD* bits = nullptr;
};

}  // namespace wine_check
