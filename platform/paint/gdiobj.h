// The objects behind the drawing handles. Only the painting module and its tests look inside.
//
// Every object is registered in one handle table while it lives, so a stale or foreign handle
// is refused instead of followed. An object that is deleted while a device context still has
// it selected is only marked; it goes when the last context lets go of it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/paint/gditypes.h"

class CGdiObject;

enum class GdiKind { Bitmap, Pen, Brush, Font, Region, Dc, Icon };

struct GdiObject {
  explicit GdiObject(GdiKind k);
  virtual ~GdiObject();
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  GdiKind kind;
  bool stock = false;
  std::atomic<int> selected{0};  // how many device-context states hold it (not counted for stock objects)
  bool deletePending = false;   // deleted while selected
  CGdiObject* permanent = nullptr;  // the class-library object attached to it
  CGdiObject* temporary = nullptr;  // made on demand by FromHandle
};

struct GdiBitmap : GdiObject {
  GdiBitmap() : GdiObject(GdiKind::Bitmap) {}
  int width = 0;
  int height = 0;
  int bpp = 32;        // 24 or 32
  int stride = 0;      // bytes per row, a multiple of 4
  bool bottomUp = false;
  bool dibSection = false;
  const GdiDc* owner = nullptr;  // the context it is selected into
  std::unique_ptr<uint8_t[]> store;
  uint8_t* bits = nullptr;

  // Row y counted from the top of the picture.
  uint8_t* Row(int y) const {
    assert(y >= 0 && y < height);
    return bits + size_t(bottomUp ? height - 1 - y : y) * size_t(stride);
  }
  // Distance in bytes from a row to the one below it.
  ptrdiff_t Step() const { return bottomUp ? -ptrdiff_t(stride) : ptrdiff_t(stride); }
  int Bytes() const { return bpp / 8; }
};

struct GdiPen : GdiObject {
  GdiPen() : GdiObject(GdiKind::Pen) {}
  int style = PS_SOLID;  // with end-cap and type bits
  int width = 1;
  COLORREF color = 0;
};

struct GdiBrush : GdiObject {
  GdiBrush() : GdiObject(GdiKind::Brush) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
};

struct FontInstance;  // resolved faces and size, platform/paint/fontcache.h
struct GdiFont : GdiObject {
  GdiFont() : GdiObject(GdiKind::Font) {}
  ~GdiFont() override;
  LOGFONTW lf{};
  FontInstance* inst = nullptr;  // owned by the font cache, shared between equal fonts
};

// A region: disjoint rectangles sorted top to bottom, then left to right, in bands (every
// rectangle of a band has the band's top and bottom), with vertically equal bands merged.
struct GdiRegion : GdiObject {
  GdiRegion() : GdiObject(GdiKind::Region) {}
  std::vector<RECT> rects;
};

// An icon: its picture as premultiplied 32-bit pixels, ready for alpha blending.
struct GdiIcon : GdiObject {
  GdiIcon() : GdiObject(GdiKind::Icon) {}
  ~GdiIcon() override;
  GdiBitmap* image = nullptr;  // owned
  bool isIcon = true;
  POINT hotspot{0, 0};
};

struct DcState {
  GdiBitmap* bitmap = nullptr;
  GdiFont* font = nullptr;
  GdiPen* pen = nullptr;
  GdiBrush* brush = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  int stretchMode = BLACKONWHITE;
  POINT origin{0, 0};   // device position of logical (0, 0)
  POINT current{0, 0};  // MoveTo position, logical
  bool clipped = false;
  std::vector<RECT> clip;  // device coordinates, banded; meaningful while clipped
};

struct GdiDc : GdiObject {
  GdiDc() : GdiObject(GdiKind::Dc) {}
  ~GdiDc() override;
  bool infoOnly = false;  // an information context: measures, never draws
  // A window's context: drawing never leaves the visible part of the window, whatever clip
  // region the program selects (device coordinates, banded).
  bool hasVis = false;
  std::vector<RECT> vis;
  DcState s;
  std::vector<DcState> saved;
};

// The handle table.
void RegisterGdiObject(GdiObject* o);
bool IsLiveGdiObject(const void* h, GdiKind kind);
template <typename T>
T* LiveGdi(T* h, GdiKind kind) {
  return IsLiveGdiObject(h, kind) ? h : nullptr;
}
inline GdiDc* LiveDc(HDC h) { return LiveGdi(h, GdiKind::Dc); }

// Selection bookkeeping: Hold when a state takes the object, Release when it lets go (which
// finishes a pending delete).
void HoldGdiObject(GdiObject* o);
void ReleaseGdiObject(GdiObject* o);

// New bitmap with zeroed pixels, registered; null when the size is not positive, too large
// or memory cannot be had.
GdiBitmap* NewBitmap(int width, int height, int bpp, bool bottomUp, bool dibSection);

// Stock objects selected into a new device context.
GdiBitmap* StockBitmap();
GdiFont* StockFont();

// Region arithmetic on banded rectangle lists.
std::vector<RECT> RegionFromRects(std::vector<RECT> rects);
std::vector<RECT> RegionCombine(const std::vector<RECT>& a, const std::vector<RECT>& b, int mode);
RECT RegionBox(const std::vector<RECT>& r);

// Calls f(rect) for every part of the device rectangle `dev` that lies inside the selected
// surface and the clip region; each rectangle passed is non-empty and inside the surface.
template <typename F>
void ForEachClipRect(const GdiDc* dc, RECT dev, F&& f) {
  const GdiBitmap* bm = dc->s.bitmap;
  if (!bm || dc->infoOnly) return;
  RECT surf{0, 0, bm->width, bm->height};
  if (!IntersectRect(&dev, &dev, &surf)) return;
  auto run = [&](const RECT& r0) {
    auto one = [&](const RECT& r) {
      assert(r.left >= 0 && r.top >= 0 && r.right <= bm->width && r.bottom <= bm->height);
      assert(r.left < r.right && r.top < r.bottom);
      f(r);
    };
    if (!dc->hasVis) return one(r0);
    for (const RECT& v : dc->vis) {
      if (v.top >= r0.bottom) break;
      RECT r;
      if (IntersectRect(&r, &v, &r0)) one(r);
    }
  };
  if (!dc->s.clipped) {
    run(dev);
    return;
  }
  for (const RECT& c : dc->s.clip) {
    if (c.top >= dev.bottom) break;
    RECT r;
    if (IntersectRect(&r, &c, &dev)) run(r);
  }
}

// Logical to device coordinates, held within +-2^30 so that no later sum overflows.
inline LONG DevX(const GdiDc* dc, int64_t x) {
  return LONG(std::clamp<int64_t>(x + dc->s.origin.x, -(int64_t(1) << 30), int64_t(1) << 30));
}
inline LONG DevY(const GdiDc* dc, int64_t y) {
  return LONG(std::clamp<int64_t>(y + dc->s.origin.y, -(int64_t(1) << 30), int64_t(1) << 30));
}
inline RECT DevRect(const GdiDc* dc, int64_t l, int64_t t, int64_t r, int64_t b) {
  return RECT{DevX(dc, l), DevY(dc, t), DevX(dc, r), DevY(dc, b)};
}

// Colour helpers for the raster loops.
inline void PutPixel(uint8_t* p, int bytes, BYTE r, BYTE g, BYTE b) {
  p[0] = b;
  p[1] = g;
  p[2] = r;
  if (bytes == 4) p[3] = 0;
}
