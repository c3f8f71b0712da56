// Helpers of the skin tests: pictures made in code, as BMP bytes or bitmaps, and pixel probes.
#pragma once

#include <functional>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/wnd/wnd.h"

// A 24-bit bitmap whose pixel (x, y) has the colour f(x, y).
inline HBITMAP MakeBitmap(int w, int h, const std::function<COLORREF(int, int)>& f) {
  BITMAPINFO bmi{};
  bmi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixel(dc, x, y, f(x, y));
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return bm;
}

inline std::vector<uint8_t> MakeBmp(int w, int h, const std::function<COLORREF(int, int)>& f) {
  HBITMAP bm = MakeBitmap(w, h, f);
  std::vector<uint8_t> out = BmpFileBytes(bm);
  DeleteObject(bm);
  return out;
}

inline std::vector<uint8_t> SolidBmp(int w, int h, COLORREF c) {
  return MakeBmp(w, h, [c](int, int) { return c; });
}

// Handles every waiting message of the calling thread, paints included.
inline void PumpAll() {
  MSG m;
  for (int guard = 0; guard < 100000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));
      return;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

// Screen point of a client point.
inline POINT ScreenAt(HWND h, int x, int y) {
  POINT p{x, y};
  ClientToScreen(h, &p);
  return p;
}
