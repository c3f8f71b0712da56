// The pictures of the shell icons, drawn by the program at any size: shapes laid out on a
// 32-unit grid and filled pixel by pixel (a pixel takes a shape's colour when its centre lies
// inside it), so the same size always gives the same pixels.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/wnd/shellapi.h"

namespace {

struct Canvas {
  int n;
  double scale;
  std::vector<uint32_t> argb;  // straight alpha, rows top to bottom
  explicit Canvas(int size) : n(size), scale(size / 32.0), argb(size_t(size) * size_t(size), 0) {}

  void Put(int x, int y, COLORREF c) {
    if (x < 0 || y < 0 || x >= n || y >= n) return;
    argb[size_t(y) * size_t(n) + size_t(x)] = 0xFF000000u | (uint32_t(GetRValue(c)) << 16) |
                                              (uint32_t(GetGValue(c)) << 8) | uint32_t(GetBValue(c));
  }
  // Calls f(px, py, gx, gy) for each pixel with its centre in grid units.
  template <typename F>
  void Each(double x0, double y0, double x1, double y1, F&& f) {
    const int a = std::max(0, int(std::floor(x0 * scale))), b = std::min(n, int(std::ceil(x1 * scale)) + 1);
    const int c = std::max(0, int(std::floor(y0 * scale))), d = std::min(n, int(std::ceil(y1 * scale)) + 1);
    for (int py = c; py < d; ++py) {
      for (int px = a; px < b; ++px) f(px, py, (px + 0.5) / scale, (py + 0.5) / scale);
    }
  }
  void Rect(double x0, double y0, double x1, double y1, COLORREF c) {
    Each(x0, y0, x1, y1, [&](int px, int py, double gx, double gy) {
      if (gx >= x0 && gx < x1 && gy >= y0 && gy < y1) Put(px, py, c);
    });
  }
  // A frame of about one pixel (at least) inside the rectangle.
  void Frame(double x0, double y0, double x1, double y1, COLORREF c) {
    const double t = std::max(1.0 / scale, 1.0);
    Rect(x0, y0, x1, y0 + t, c);
    Rect(x0, y1 - t, x1, y1, c);
    Rect(x0, y0, x0 + t, y1, c);
    Rect(x1 - t, y0, x1, y1, c);
  }
  // A convex polygon, its corners in order.
  void Poly(std::initializer_list<std::pair<double, double>> pts, COLORREF c) {
    std::vector<std::pair<double, double>> p(pts);
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (auto [x, y] : p) x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    Each(x0, y0, x1, y1, [&](int px, int py, double gx, double gy) {
      bool pos = false, neg = false;
      for (size_t i = 0; i < p.size(); ++i) {
        const auto [ax, ay] = p[i];
        const auto [bx, by] = p[(i + 1) % p.size()];
        const double cross = (bx - ax) * (gy - ay) - (by - ay) * (gx - ax);
        pos |= cross > 0;
        neg |= cross < 0;
      }
      if (!(pos && neg)) Put(px, py, c);
    });
  }
  void Disc(double cx, double cy, double r, COLORREF c) {
    Each(cx - r, cy - r, cx + r, cy + r, [&](int px, int py, double gx, double gy) {
      if ((gx - cx) * (gx - cx) + (gy - cy) * (gy - cy) <= r * r) Put(px, py, c);
    });
  }
};

constexpr COLORREF kOutline = RGB(96, 96, 96);
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kFold = RGB(214, 214, 214);

// A sheet of paper with its top right corner folded over, outlined by one pixel.
void Page(Canvas& c) {
  const double t = 1 / c.scale;
  c.Poly({{6, 2}, {20, 2}, {26, 8}, {26, 30}, {6, 30}}, kOutline);
  c.Poly({{6 + t, 2 + t}, {20 - 0.4 * t, 2 + t}, {26 - t, 8 + 0.4 * t}, {26 - t, 30 - t}, {6 + t, 30 - t}}, kPaper);
  c.Poly({{20, 2}, {20, 8}, {26, 8}}, kOutline);
  c.Poly({{20 + t, 2 + 2.4 * t}, {20 + t, 8 - t}, {26 - 2.4 * t, 8 - t}}, kFold);
}

void Family(Canvas& c, int category) {
  switch (category) {
    case 6:  // document: lines of text
      for (int k = 0; k < 4; ++k) c.Rect(9, 12 + 4 * k, k == 3 ? 18 : 23, 14 + 4 * k, RGB(46, 105, 190));
      break;
    case 7:  // photo: a landscape under a sun
      c.Rect(8, 13, 24, 27, RGB(135, 195, 235));
      c.Poly({{8, 27}, {14, 18}, {19, 24}, {21, 21}, {24, 27}}, RGB(62, 150, 70));
      c.Disc(20, 16, 2, RGB(250, 200, 40));
      break;
    case 8:  // image: shapes in colour
      c.Rect(9, 14, 17, 22, RGB(150, 80, 190));
      c.Disc(19, 21, 4, RGB(230, 120, 60));
      break;
    case 9:  // audio: a note
      c.Rect(17, 11, 19, 24, RGB(220, 120, 20));
      c.Poly({{17, 11}, {23, 13}, {23, 16}, {19, 14}}, RGB(220, 120, 20));
      c.Disc(15, 24, 3, RGB(220, 120, 20));
      break;
    case 10:  // video: a frame with a play mark
      c.Rect(8, 13, 24, 26, RGB(60, 60, 70));
      c.Poly({{13, 15}, {13, 24}, {20, 19.5}}, RGB(230, 60, 50));
      break;
    case 11:  // archive: a zip down the middle
      c.Rect(14, 2, 18, 30, RGB(150, 110, 60));
      for (int k = 0; k < 6; ++k) c.Rect(k % 2 ? 16 : 14, 4 + 3 * k, k % 2 ? 18 : 16, 6 + 3 * k, RGB(240, 220, 160));
      c.Rect(13, 21, 19, 27, RGB(110, 80, 40));
      break;
    default:  // other: a grey mark
      c.Disc(16, 19, 5, RGB(150, 150, 150));
      c.Disc(16, 19, 2, kPaper);
      break;
  }
}

void Folder(Canvas& c, bool open) {
  const COLORREF back = RGB(222, 170, 40), front = RGB(250, 204, 72), edge = RGB(160, 115, 20);
  c.Poly({{2, 8}, {3, 6}, {12, 6}, {14, 8}}, back);
  c.Rect(2, 8, 30, 27, back);
  c.Frame(2, 8, 30, 27, edge);
  if (open) {
    c.Rect(5, 10, 27, 20, kPaper);  // a sheet showing inside
    c.Poly({{2, 27}, {7, 14}, {32, 14}, {28, 27}}, front);
  } else {
    c.Rect(2, 11, 30, 27, front);
    c.Frame(2, 11, 30, 27, edge);
  }
}

void Drive(Canvas& c) {
  c.Rect(2, 10, 30, 24, RGB(190, 194, 200));
  c.Rect(2, 20, 30, 24, RGB(120, 126, 134));
  c.Frame(2, 10, 30, 24, kOutline);
  c.Rect(23, 20, 27, 23, RGB(60, 200, 80));
}

}  // namespace

HICON CreateShellIcon(int index, int size) {
  if (index < 0 || index >= kShellIconCount || size <= 0 || size > 256) return nullptr;
  Canvas c(size);
  switch (index) {
    case kShellIconFile: Page(c); break;
    case kShellIconFolder: Folder(c, false); break;
    case kShellIconFolderOpen: Folder(c, true); break;
    case kShellIconDrive: Drive(c); break;
    default:
      Page(c);
      Family(c, 6 + index - kShellIconFamilyFirst);
      break;
  }
  BITMAPINFO bmi{};
  bmi.bmiHeader = BITMAPINFOHEADER{40, size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm || !bits) return nullptr;
  std::copy(c.argb.begin(), c.argb.end(), static_cast<uint32_t*>(bits));
  ICONINFO ii{TRUE, 0, 0, nullptr, bm};
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(bm);
  return icon;
}
