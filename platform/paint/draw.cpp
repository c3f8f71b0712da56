// Fills, frames, rectangles and lines with the selected pen and brush.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

namespace {

// Fills a device rectangle with one colour, through the clip.
void FillDev(GdiDc* dc, RECT dev, COLORREF c) {
  GdiBitmap* bm = dc->s.bitmap;
  const BYTE r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  ForEachClipRect(dc, dev, [&](const RECT& cr) {
    const int db = bm->Bytes();
    if (cr.right <= cr.left || cr.bottom <= cr.top) return;
    // The first row pixel by pixel, the others copied from it: large fills are row copies.
    uint8_t* first = bm->Row(cr.top) + size_t(cr.left) * size_t(db);
    uint8_t* p = first;
    for (int x = cr.left; x < cr.right; ++x, p += db) PutPixel(p, db, r, g, b);
    const size_t n = size_t(cr.right - cr.left) * size_t(db);
    for (int y = cr.top + 1; y < cr.bottom; ++y) std::memcpy(bm->Row(y) + size_t(cr.left) * size_t(db), first, n);
  });
}

// One byte of the pen mixed with one of the surface by the binary raster operation: bit k of
// (mode - 1) gives the result where (pen bit, surface bit) spell k.
inline uint8_t Mix(int mode, uint8_t pen, uint8_t dst) {
  const unsigned table = unsigned(mode - 1);
  unsigned out = 0;
  if (table & 1) out |= ~pen & ~dst;
  if (table & 2) out |= ~pen & dst;
  if (table & 4) out |= pen & ~dst;
  if (table & 8) out |= pen & dst;
  return uint8_t(out);
}

// Fills a device rectangle with the pen colour mixed by the context's raster operation.
void MixDev(GdiDc* dc, RECT dev, COLORREF c) {
  const int mode = dc->s.rop2;
  if (mode == R2_COPYPEN) {
    FillDev(dc, dev, c);
    return;
  }
  if (mode == R2_NOP) return;
  GdiBitmap* bm = dc->s.bitmap;
  const BYTE r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  ForEachClipRect(dc, dev, [&](const RECT& cr) {
    const int db = bm->Bytes();
    for (int y = cr.top; y < cr.bottom; ++y) {
      uint8_t* p = bm->Row(y) + size_t(cr.left) * size_t(db);
      for (int x = cr.left; x < cr.right; ++x, p += db) PutPixel(p, db, Mix(mode, r, p[2]), Mix(mode, g, p[1]), Mix(mode, b, p[0]));
    }
  });
}

RECT ToDevice(const GdiDc* dc, int l, int t, int r, int b) {
  return DevRect(dc, l, t, r, b);
}

RECT Ordered(RECT r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

bool PenDraws(const GdiPen* p) { return p && (p->style & PS_STYLE_MASK) != PS_NULL; }

// Whether step i of a styled line is drawn (dots and dashes for the styled pens).
bool StyleOn(int style, int i) {
  switch (style & PS_STYLE_MASK) {
    case PS_DOT: return (i % 2) == 0;
    case PS_DASH: return (i % 24) < 18;
    default: return true;
  }
}

// A line from (x0, y0) to (x1, y1) in device coordinates, without its last point; wide pens
// stamp a square of the pen's width at every point.
void DevLine(GdiDc* dc, int x0, int y0, int x1, int y1) {
  const GdiPen* pen = dc->s.pen;
  if (!PenDraws(pen)) return;
  const int w = std::min(pen->width, 1 << 16), half = (w - 1) / 2;
  // Nothing to do for a line whose box, widened by the pen, misses the surface.
  const GdiBitmap* bm = dc->s.bitmap;
  if (!bm || std::max(x0, x1) + w < 0 || std::max(y0, y1) + w < 0 || std::min(x0, x1) - w >= bm->width ||
      std::min(y0, y1) - w >= bm->height) {
    return;
  }
  const bool solid = (pen->style & PS_STYLE_MASK) == PS_SOLID;
  if (x0 == x1 && y0 == y1) return;
  if (solid && (y0 == y1 || x0 == x1)) {
    // A half-open span that excludes (x1, y1), widened by the pen.
    RECT r{x0, y0, x0 + 1, y0 + 1};
    if (y0 == y1) {
      r.left = x1 > x0 ? x0 : x1 + 1;
      r.right = x1 > x0 ? x1 : x0 + 1;
    } else {
      r.top = y1 > y0 ? y0 : y1 + 1;
      r.bottom = y1 > y0 ? y1 : y0 + 1;
    }
    r.left -= half;
    r.top -= half;
    r.right += w - 1 - half;
    r.bottom += w - 1 - half;
    MixDev(dc, r, pen->color);
    return;
  }
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy, x = x0, y = y0;
  for (int i = 0; !(x == x1 && y == y1); ++i) {
    if (StyleOn(pen->style, i)) MixDev(dc, RECT{x - half, y - half, x - half + w, y - half + w}, pen->color);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

}  // namespace

int FillRect(HDC h, const RECT* r, HBRUSH brush) {
  GdiDc* dc = LiveDc(h);
  GdiBrush* br = LiveGdi(brush, GdiKind::Brush);
  if (!dc || !r || !br) return 0;
  if (br->style == BS_NULL) return 1;
  FillDev(dc, ToDevice(dc, r->left, r->top, r->right, r->bottom), br->color);
  return 1;
}

int FrameRect(HDC h, const RECT* r, HBRUSH brush) {
  GdiDc* dc = LiveDc(h);
  GdiBrush* br = LiveGdi(brush, GdiKind::Brush);
  if (!dc || !r || !br) return 0;
  if (br->style == BS_NULL || IsRectEmpty(r)) return 1;
  RECT d = ToDevice(dc, r->left, r->top, r->right, r->bottom);
  FillDev(dc, RECT{d.left, d.top, d.right, d.top + 1}, br->color);
  FillDev(dc, RECT{d.left, d.bottom - 1, d.right, d.bottom}, br->color);
  FillDev(dc, RECT{d.left, d.top, d.left + 1, d.bottom}, br->color);
  FillDev(dc, RECT{d.right - 1, d.top, d.right, d.bottom}, br->color);
  return 1;
}

void FillSolidRectDc(HDC h, const RECT* r, COLORREF c) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !r) return;
  dc->s.bkColor = c & 0xFFFFFF;
  FillDev(dc, Ordered(ToDevice(dc, r->left, r->top, r->right, r->bottom)), c);
}

BOOL DrawFocusRect(HDC h, const RECT* r) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !r) return FALSE;
  if (IsRectEmpty(r)) return TRUE;
  GdiBitmap* bm = dc->s.bitmap;
  const RECT d = Ordered(ToDevice(dc, r->left, r->top, r->right, r->bottom));
  // The dots keep their places on the device grid, so that two draws of one rectangle meet.
  auto dots = [&](RECT edge) {
    ForEachClipRect(dc, edge, [&](const RECT& cr) {
      const int db = bm->Bytes();
      for (int y = cr.top; y < cr.bottom; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = cr.left; x < cr.right; ++x) {
          if (((x + y) & 1) != 0) continue;
          uint8_t* p = row + size_t(x) * size_t(db);
          p[0] = uint8_t(~p[0]), p[1] = uint8_t(~p[1]), p[2] = uint8_t(~p[2]);
        }
      }
    });
  };
  dots(RECT{d.left, d.top, d.right, d.top + 1});
  if (d.bottom - d.top > 1) dots(RECT{d.left, d.bottom - 1, d.right, d.bottom});
  if (d.bottom - d.top > 2) {
    dots(RECT{d.left, d.top + 1, d.left + 1, d.bottom - 1});
    if (d.right - d.left > 1) dots(RECT{d.right - 1, d.top + 1, d.right, d.bottom - 1});
  }
  return TRUE;
}

BOOL Rectangle(HDC h, int left, int top, int right, int bottom) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  RECT d = Ordered(ToDevice(dc, left, top, right, bottom));
  const GdiPen* pen = dc->s.pen;
  const bool outline = PenDraws(pen);
  // Without a pen the filled area ends one pixel short on the right and at the bottom.
  if (dc->s.brush && dc->s.brush->style != BS_NULL) {
    RECT in = outline ? RECT{d.left + 1, d.top + 1, d.right - 1, d.bottom - 1}
                      : RECT{d.left, d.top, d.right - 1, d.bottom - 1};
    MixDev(dc, in, dc->s.brush->color);
  }
  if (outline && d.right > d.left && d.bottom > d.top) {
    const int w = pen->width, half = (w - 1) / 2, rest = w - 1 - half;
    const COLORREF c = pen->color;
    const int l = d.left, t = d.top, r = d.right - 1, b = d.bottom - 1;
    // The four edges without overlaps, so that a mixing raster operation meets every pixel once.
    const int x0 = l - half, x1 = r + rest + 1, top1 = t + rest + 1, bot0 = std::max(top1, b - half);
    const int leftEnd = l + rest + 1, rightStart = std::max(r - half, leftEnd);
    MixDev(dc, RECT{x0, t - half, x1, top1}, c);
    MixDev(dc, RECT{x0, bot0, x1, b + rest + 1}, c);
    MixDev(dc, RECT{x0, top1, std::min(leftEnd, x1), bot0}, c);
    MixDev(dc, RECT{rightStart, top1, x1, bot0}, c);
  }
  return TRUE;
}

BOOL MoveToEx(HDC h, int x, int y, POINT* old) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  if (old) *old = dc->s.current;
  dc->s.current = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC h, int x, int y) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  const POINT from = dc->s.current;
  DevLine(dc, DevX(dc, from.x), DevY(dc, from.y), DevX(dc, x), DevY(dc, y));
  dc->s.current = POINT{x, y};
  return TRUE;
}

BOOL Polyline(HDC h, const POINT* pts, int count) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !pts || count < 2) return FALSE;
  const POINT keep = dc->s.current;
  dc->s.current = pts[0];
  for (int i = 1; i < count; ++i) LineTo(h, pts[i].x, pts[i].y);
  dc->s.current = keep;
  return TRUE;
}
