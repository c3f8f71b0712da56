// Blits between device contexts: copies with raster operations, stretching (nearest pixel or
// area averaging), key-colour transparency and per-pixel alpha.
//
// Every blit has the same shape: translate to device coordinates, clip the source to its
// surface and the destination to its surface and clip region, return early when nothing is
// left, then run a per-row loop over the DIB strides.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

namespace {

// Source pixels: either the bitmap itself or a private copy of a rectangle of it (used when
// source and destination share a bitmap, so overlapping copies read the old pixels).
struct SrcView {
  const uint8_t* base = nullptr;  // row 0 of the view
  ptrdiff_t step = 0;
  int bytes = 4;
  int x0 = 0, y0 = 0;  // device position of the view's (0, 0)
  int width = 0, height = 0;
  std::vector<uint8_t> copy;

  const uint8_t* At(int x, int y) const {
    assert(x >= x0 && y >= y0 && x < x0 + width && y < y0 + height);
    return base + (y - y0) * step + ptrdiff_t(x - x0) * bytes;
  }

  void Init(const GdiBitmap* bm, const RECT& area, bool private_copy) {
    bytes = bm->Bytes();
    if (!private_copy) {
      base = bm->Row(0);
      step = bm->Step();
      x0 = y0 = 0;
      width = bm->width;
      height = bm->height;
      return;
    }
    x0 = area.left;
    y0 = area.top;
    width = area.right - area.left;
    height = area.bottom - area.top;
    step = ptrdiff_t(width) * bytes;
    copy.resize(size_t(step) * size_t(height));
    for (int y = 0; y < height; ++y) {
      std::memcpy(copy.data() + size_t(y) * size_t(step), bm->Row(y0 + y) + size_t(x0) * size_t(bytes), size_t(step));
    }
    base = copy.data();
  }
};

inline BYTE Div255(unsigned x) { return BYTE((x + 128 + ((x + 128) >> 8)) >> 8); }

bool NeedsSource(DWORD rop) {
  return rop == SRCCOPY || rop == SRCPAINT || rop == SRCAND || rop == SRCINVERT || rop == NOTSRCCOPY;
}

void RopRow(uint8_t* d, int db, const uint8_t* s, int sb, int n, DWORD rop) {
  if (rop == SRCCOPY && db == sb) {
    std::memcpy(d, s, size_t(n) * size_t(db));
    return;
  }
  if (rop == SRCCOPY) {
    // Between 24- and 32-bit pictures (a memory picture onto the screen): colour bytes only.
    for (int i = 0; i < n; ++i, d += db, s += sb) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      if (db == 4) d[3] = 0;
    }
    return;
  }
  for (int i = 0; i < n; ++i, d += db, s += sb) {
    for (int c = 0; c < 3; ++c) {
      switch (rop) {
        case SRCCOPY: d[c] = s[c]; break;
        case SRCPAINT: d[c] |= s[c]; break;
        case SRCAND: d[c] &= s[c]; break;
        case SRCINVERT: d[c] ^= s[c]; break;
        default: d[c] = BYTE(~s[c]); break;
      }
    }
    if (db == 4) d[3] = 0;
  }
}

// One axis of a stretch: for every destination pixel, the source pixels it covers and their
// share of it in 1/65536 (area averaging), summing to exactly 65536.
struct AxisWeights {
  std::vector<int> first, count;
  std::vector<int> index;
  std::vector<uint32_t> weight;

  // Entries for destination pixels [from, to) of dstLen, stored from index 0.
  void Build(int src0, int srcLen, int dstLen, int limit, int from, int to) {
    first.resize(size_t(to - from));
    count.resize(size_t(to - from));
    index.clear();
    weight.clear();
    const int64_t sw = srcLen, dw = dstLen;
    for (int64_t i = from; i < to; ++i) {
      int64_t a = i * sw, b = (i + 1) * sw;  // in units where a source pixel is dw long
      int64_t k0 = a / dw, k1 = (b - 1) / dw;
      first[size_t(i - from)] = int(index.size());
      uint32_t total = 0;
      size_t biggest = index.size();
      for (int64_t k = k0; k <= k1; ++k) {
        int64_t overlap = std::min((k + 1) * dw, b) - std::max(k * dw, a);
        uint32_t w = uint32_t(overlap * 65536 / sw);
        if (w > (biggest < weight.size() ? weight[biggest] : 0)) biggest = weight.size();
        index.push_back(std::clamp(int(src0 + k), 0, limit - 1));
        weight.push_back(w);
        total += w;
      }
      weight[biggest] += 65536 - total;
      count[size_t(i - from)] = int(index.size()) - first[size_t(i - from)];
    }
  }
};

// Nearest source pixel (by pixel centres, clamped to the surface) for destination pixels
// [from, to) of dstLen, stored from index 0.
std::vector<int> NearestMap(int src0, int srcLen, int dstLen, int limit, int from, int to) {
  std::vector<int> m(static_cast<size_t>(to - from));
  for (int64_t i = from; i < to; ++i) {
    int64_t k = ((2 * i + 1) * srcLen) / (2 * int64_t(dstLen));
    m[size_t(i - from)] = int(std::clamp<int64_t>(src0 + k, 0, limit - 1));
  }
  return m;
}

// Largest width or height a stretching blit accepts, source or destination, and the largest
// device coordinate any blit accepts.
constexpr int kMaxExtent = 1 << 20;
constexpr int64_t kMaxCoord = int64_t(1) << 29;  // differences of two stay within int

struct BlitSetup {
  GdiDc* dst = nullptr;
  GdiDc* src = nullptr;
  RECT d{};    // destination, device coordinates
  RECT s{};    // source, device coordinates
  RECT vis{};  // the part of d on the destination surface; tables cover only this
};

bool Setup(BlitSetup& b, HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy) {
  b.dst = LiveDc(dst);
  b.src = LiveDc(src);
  if (!b.dst || !b.src || !b.dst->s.bitmap || !b.src->s.bitmap || b.src->infoOnly) return false;
  // Coordinates far outside any surface are refused before they can overflow.
  const int64_t dl = int64_t(x) + b.dst->s.origin.x, dt = int64_t(y) + b.dst->s.origin.y;
  const int64_t sl = int64_t(sx) + b.src->s.origin.x, st = int64_t(sy) + b.src->s.origin.y;
  for (int64_t v : {dl, dt, sl, st, dl + cx, dt + cy, sl + scx, st + scy}) {
    if (v < -kMaxCoord || v > kMaxCoord) return false;
  }
  b.d = RECT{LONG(dl), LONG(dt), LONG(dl + cx), LONG(dt + cy)};
  b.s = RECT{LONG(sl), LONG(st), LONG(sl + scx), LONG(st + scy)};
  RECT surf{0, 0, b.dst->s.bitmap->width, b.dst->s.bitmap->height};
  IntersectRect(&b.vis, &b.d, &surf);
  return true;
}

bool ExtentsOk(int cx, int cy, int scx, int scy) {
  return std::abs(int64_t(cx)) <= kMaxExtent && std::abs(int64_t(cy)) <= kMaxExtent &&
         std::abs(int64_t(scx)) <= kMaxExtent && std::abs(int64_t(scy)) <= kMaxExtent;
}

}  // namespace

BOOL PatBlt(HDC h, int x, int y, int cx, int cy, DWORD rop) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  if (rop != PATCOPY && rop != BLACKNESS && rop != WHITENESS && rop != DSTINVERT) return FALSE;
  COLORREF c = rop == BLACKNESS ? 0 : rop == WHITENESS ? 0xFFFFFF : 0;
  if (rop == PATCOPY) {
    if (!dc->s.brush || dc->s.brush->style == BS_NULL) return TRUE;
    c = dc->s.brush->color;
  }
  RECT dev = DevRect(dc, x, y, int64_t(x) + cx, int64_t(y) + cy);
  if (dev.left > dev.right) std::swap(dev.left, dev.right);
  if (dev.top > dev.bottom) std::swap(dev.top, dev.bottom);
  GdiBitmap* bm = dc->s.bitmap;
  ForEachClipRect(dc, dev, [&](const RECT& r) {
    const int db = bm->Bytes();
    for (int yy = r.top; yy < r.bottom; ++yy) {
      uint8_t* p = bm->Row(yy) + size_t(r.left) * size_t(db);
      for (int xx = r.left; xx < r.right; ++xx, p += db) {
        if (rop == DSTINVERT) {
          p[0] = BYTE(~p[0]);
          p[1] = BYTE(~p[1]);
          p[2] = BYTE(~p[2]);
          if (db == 4) p[3] = 0;
        } else {
          PutPixel(p, db, GetRValue(c), GetGValue(c), GetBValue(c));
        }
      }
    }
  });
  return TRUE;
}

BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop) {
  if (!NeedsSource(rop)) return PatBlt(dst, x, y, cx, cy, rop);
  BlitSetup b;
  if (!Setup(b, dst, x, y, cx, cy, src, sx, sy, cx, cy)) return FALSE;
  if (cx <= 0 || cy <= 0) return TRUE;
  const GdiBitmap* sbm = b.src->s.bitmap;
  GdiBitmap* dbm = b.dst->s.bitmap;
  // Only source pixels that exist are copied; the destination shrinks with the source.
  RECT sClip;
  RECT sSurf{0, 0, sbm->width, sbm->height};
  if (!IntersectRect(&sClip, &b.s, &sSurf)) return TRUE;
  const int offX = b.d.left - b.s.left, offY = b.d.top - b.s.top;
  RECT dev = sClip;
  OffsetRect(&dev, offX, offY);
  SrcView view;
  view.Init(sbm, sClip, sbm == dbm);
  const int db = dbm->Bytes(), sb = view.bytes;
  ForEachClipRect(b.dst, dev, [&](const RECT& r) {
    const int n = r.right - r.left;
    for (int yy = r.top; yy < r.bottom; ++yy) {
      RopRow(dbm->Row(yy) + size_t(r.left) * size_t(db), db, view.At(r.left - offX, yy - offY), sb, n, rop);
    }
  });
  return TRUE;
}

BOOL StretchBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, DWORD rop) {
  if (!NeedsSource(rop)) return PatBlt(dst, x, y, cx, cy, rop);
  if (cx == scx && cy == scy) return BitBlt(dst, x, y, cx, cy, src, sx, sy, rop);
  BlitSetup b;
  if (!ExtentsOk(cx, cy, scx, scy) || !Setup(b, dst, x, y, cx, cy, src, sx, sy, scx, scy)) return FALSE;
  // Mirroring is not supported: negative extents draw nothing.
  if (cx <= 0 || cy <= 0 || scx <= 0 || scy <= 0) return cx >= 0 && cy >= 0 && scx >= 0 && scy >= 0;
  if (IsRectEmpty(&b.vis)) return TRUE;
  const int fx = b.vis.left - b.d.left, tx = b.vis.right - b.d.left;
  const int fy = b.vis.top - b.d.top, ty = b.vis.bottom - b.d.top;
  const GdiBitmap* sbm = b.src->s.bitmap;
  GdiBitmap* dbm = b.dst->s.bitmap;
  SrcView view;
  view.Init(sbm, RECT{0, 0, sbm->width, sbm->height}, sbm == dbm);
  const int db = dbm->Bytes(), sb = view.bytes;
  const bool average = b.dst->s.stretchMode == HALFTONE;

  if (!average) {
    std::vector<int> mx = NearestMap(b.s.left, scx, cx, sbm->width, fx, tx);
    std::vector<int> my = NearestMap(b.s.top, scy, cy, sbm->height, fy, ty);
    ForEachClipRect(b.dst, b.vis, [&](const RECT& r) {
      for (int yy = r.top; yy < r.bottom; ++yy) {
        uint8_t* d = dbm->Row(yy) + size_t(r.left) * size_t(db);
        const int srow = my[size_t(yy - b.vis.top)];
        for (int xx = r.left; xx < r.right; ++xx, d += db) {
          RopRow(d, db, view.At(mx[size_t(xx - b.vis.left)], srow), sb, 1, rop);
        }
      }
    });
    return TRUE;
  }

  AxisWeights wx, wy;
  wx.Build(b.s.left, scx, cx, sbm->width, fx, tx);
  wy.Build(b.s.top, scy, cy, sbm->height, fy, ty);
  std::vector<uint16_t> rows;  // horizontally averaged source rows, value * 256
  std::vector<uint8_t> out;
  ForEachClipRect(b.dst, b.vis, [&](const RECT& r) {
    const int n = r.right - r.left;
    const int i0 = r.left - b.vis.left;
    const int j0 = r.top - b.vis.top, j1 = r.bottom - b.vis.top;
    // Source rows this rectangle needs, as a contiguous index range.
    int sLo = INT32_MAX, sHi = INT32_MIN;
    for (int j = j0; j < j1; ++j) {
      for (int t = 0; t < wy.count[size_t(j)]; ++t) {
        int k = wy.index[size_t(wy.first[size_t(j)] + t)];
        sLo = std::min(sLo, k);
        sHi = std::max(sHi, k);
      }
    }
    const size_t rowLen = size_t(n) * 3;
    rows.assign(rowLen * size_t(sHi - sLo + 1), 0);
    for (int k = sLo; k <= sHi; ++k) {
      uint16_t* o = rows.data() + size_t(k - sLo) * rowLen;
      const uint8_t* srow = view.At(0, k);
      for (int i = 0; i < n; ++i, o += 3) {
        const int f = wx.first[size_t(i0 + i)], c = wx.count[size_t(i0 + i)];
        uint32_t acc0 = 0, acc1 = 0, acc2 = 0;
        for (int t = 0; t < c; ++t) {
          const uint8_t* p = srow + ptrdiff_t(wx.index[size_t(f + t)]) * sb;
          const uint32_t w = wx.weight[size_t(f + t)];
          acc0 += p[0] * w;
          acc1 += p[1] * w;
          acc2 += p[2] * w;
        }
        o[0] = uint16_t((acc0 + 128) >> 8);
        o[1] = uint16_t((acc1 + 128) >> 8);
        o[2] = uint16_t((acc2 + 128) >> 8);
      }
    }
    out.resize(size_t(n) * size_t(db));
    for (int j = j0; j < j1; ++j) {
      const int f = wy.first[size_t(j)], c = wy.count[size_t(j)];
      uint8_t* o = out.data();
      for (int i = 0; i < n; ++i, o += db) {
        uint32_t acc0 = 0, acc1 = 0, acc2 = 0;
        for (int t = 0; t < c; ++t) {
          const uint16_t* p = rows.data() + size_t(wy.index[size_t(f + t)] - sLo) * rowLen + size_t(i) * 3;
          const uint32_t w = wy.weight[size_t(f + t)];
          acc0 += p[0] * w;
          acc1 += p[1] * w;
          acc2 += p[2] * w;
        }
        o[0] = BYTE((acc0 + (1u << 23)) >> 24);
        o[1] = BYTE((acc1 + (1u << 23)) >> 24);
        o[2] = BYTE((acc2 + (1u << 23)) >> 24);
        if (db == 4) o[3] = 0;
      }
      RopRow(dbm->Row(r.top + j - j0) + size_t(r.left) * size_t(db), db, out.data(), db, n, rop);
    }
  });
  return TRUE;
}

BOOL TransparentBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, UINT key) {
  BlitSetup b;
  if (!ExtentsOk(cx, cy, scx, scy) || !Setup(b, dst, x, y, cx, cy, src, sx, sy, scx, scy)) return FALSE;
  if (cx <= 0 || cy <= 0 || scx <= 0 || scy <= 0) return FALSE;
  if (IsRectEmpty(&b.vis)) return TRUE;
  const GdiBitmap* sbm = b.src->s.bitmap;
  GdiBitmap* dbm = b.dst->s.bitmap;
  SrcView view;
  view.Init(sbm, RECT{0, 0, sbm->width, sbm->height}, sbm == dbm);
  const int db = dbm->Bytes(), sb = view.bytes;
  const BYTE kb = GetBValue(key), kg = GetGValue(key), kr = GetRValue(key);
  std::vector<int> mx = NearestMap(b.s.left, scx, cx, sbm->width, b.vis.left - b.d.left, b.vis.right - b.d.left);
  std::vector<int> my = NearestMap(b.s.top, scy, cy, sbm->height, b.vis.top - b.d.top, b.vis.bottom - b.d.top);
  ForEachClipRect(b.dst, b.vis, [&](const RECT& r) {
    for (int yy = r.top; yy < r.bottom; ++yy) {
      uint8_t* d = dbm->Row(yy) + size_t(r.left) * size_t(db);
      const uint8_t* srow = view.At(0, my[size_t(yy - b.vis.top)]);
      for (int xx = r.left; xx < r.right; ++xx, d += db) {
        const uint8_t* p = srow + ptrdiff_t(mx[size_t(xx - b.vis.left)]) * sb;
        if (p[0] == kb && p[1] == kg && p[2] == kr) continue;
        PutPixel(d, db, p[2], p[1], p[0]);
      }
    }
  });
  return TRUE;
}

BOOL AlphaBlend(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, BLENDFUNCTION bf) {
  BlitSetup b;
  if (!ExtentsOk(cx, cy, scx, scy) || !Setup(b, dst, x, y, cx, cy, src, sx, sy, scx, scy)) return FALSE;
  if (bf.BlendOp != AC_SRC_OVER || cx < 0 || cy < 0 || scx < 0 || scy < 0) return FALSE;
  const GdiBitmap* sbm = b.src->s.bitmap;
  GdiBitmap* dbm = b.dst->s.bitmap;
  const bool perPixel = (bf.AlphaFormat & AC_SRC_ALPHA) != 0;
  if (perPixel && sbm->bpp != 32) return FALSE;
  // The source rectangle must lie inside the source bitmap.
  if (b.s.left < 0 || b.s.top < 0 || b.s.right > sbm->width || b.s.bottom > sbm->height) return FALSE;
  if (cx == 0 || cy == 0 || scx == 0 || scy == 0 || IsRectEmpty(&b.vis)) return TRUE;
  SrcView view;
  view.Init(sbm, RECT{0, 0, sbm->width, sbm->height}, sbm == dbm);
  const int db = dbm->Bytes(), sb = view.bytes;
  const unsigned sca = bf.SourceConstantAlpha;
  std::vector<int> mx = NearestMap(b.s.left, scx, cx, sbm->width, b.vis.left - b.d.left, b.vis.right - b.d.left);
  std::vector<int> my = NearestMap(b.s.top, scy, cy, sbm->height, b.vis.top - b.d.top, b.vis.bottom - b.d.top);
  ForEachClipRect(b.dst, b.vis, [&](const RECT& r) {
    for (int yy = r.top; yy < r.bottom; ++yy) {
      uint8_t* d = dbm->Row(yy) + size_t(r.left) * size_t(db);
      const uint8_t* srow = view.At(0, my[size_t(yy - b.vis.top)]);
      for (int xx = r.left; xx < r.right; ++xx, d += db) {
        const uint8_t* p = srow + ptrdiff_t(mx[size_t(xx - b.vis.left)]) * sb;
        if (perPixel) {
          // Premultiplied source over destination: d = s * sca + d * (1 - a * sca).
          const unsigned a = sca == 255 ? p[3] : Div255(p[3] * sca);
          const unsigned keep = 255 - a;
          for (int c = 0; c < 3; ++c) {
            const unsigned s = sca == 255 ? p[c] : Div255(p[c] * sca);
            d[c] = BYTE(std::min(255u, s + Div255(d[c] * keep)));
          }
          if (db == 4) d[3] = BYTE(std::min(255u, a + Div255(d[3] * keep)));
        } else {
          for (int c = 0; c < 3; ++c) d[c] = Div255(p[c] * sca + d[c] * (255 - sca));
          if (db == 4 && sb == 4) d[3] = Div255(p[3] * sca + d[3] * (255 - sca));
        }
      }
    }
  });
  return TRUE;
}
