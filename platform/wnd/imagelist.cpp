// Image lists: pictures of one size kept as premultiplied 32-bit pixels, whatever they came
// from (a bitmap with a mask bitmap, a bitmap with a mask colour, a bitmap with its own
// alpha, an icon), drawn blended over the target, over a background colour, or tinted as
// selected.
#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/wndobj.h"

struct _IMAGELIST {
  int cx = 0, cy = 0;
  UINT flags = 0;
  int grow = 4;
  COLORREF bk = CLR_NONE;
  std::vector<std::vector<uint8_t>> images;  // cx * cy premultiplied BGRA pixels each
};

namespace {

struct Lists {
  std::mutex m;
  std::set<HIMAGELIST> live;
};
Lists& TheLists() {
  static Lists& l = *new Lists;
  return l;
}

// Every call works on a live list under the lists' lock; a stale handle is refused.
template <typename F>
auto WithList(HIMAGELIST h, F&& f) -> decltype(f(*h)) {
  std::lock_guard<std::mutex> g(TheLists().m);
  if (!h || !TheLists().live.count(h)) return decltype(f(*h))();
  return f(*h);
}

bool HasAlphaChannel(const GdiBitmap* b) {
  if (b->bpp != 32) return false;
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* p = b->Row(y);
    for (int x = 0; x < b->width; ++x) {
      if (p[4 * x + 3]) return true;
    }
  }
  return false;
}

// Cuts a bitmap (and its mask, or a mask colour) into pictures of the list's size, left to
// right; pixels that the mask marks (non-black mask pixels, or the mask colour) are clear.
std::vector<std::vector<uint8_t>> Cut(const _IMAGELIST& il, HBITMAP image, HBITMAP mask, COLORREF maskColour,
                                      bool byColour) {
  std::vector<std::vector<uint8_t>> out;
  GdiBitmap* b = LiveGdi(image, GdiKind::Bitmap);
  if (!b || il.cx <= 0 || il.cy <= 0 || b->height < il.cy) return out;
  GdiBitmap* mb = mask ? LiveGdi(mask, GdiKind::Bitmap) : nullptr;
  const bool useMask = (il.flags & ILC_MASK) != 0;
  const bool alpha = (il.flags & ILC_COLOR32) == ILC_COLOR32 && HasAlphaChannel(b);
  const int count = b->width / il.cx;
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> px(size_t(il.cx) * size_t(il.cy) * 4);
    for (int y = 0; y < il.cy; ++y) {
      const uint8_t* s = b->Row(y) + size_t(i) * size_t(il.cx) * size_t(b->Bytes());
      const uint8_t* m = mb && y < mb->height ? mb->Row(y) : nullptr;
      uint8_t* d = px.data() + size_t(y) * size_t(il.cx) * 4;
      for (int x = 0; x < il.cx; ++x, s += b->Bytes(), d += 4) {
        unsigned a = alpha ? s[3] : 255;
        if (useMask && !alpha) {
          if (byColour) {
            if (RGB(s[2], s[1], s[0]) == maskColour) a = 0;
          } else if (m) {
            const int mx = i * il.cx + x;
            if (mx < mb->width) {
              const uint8_t* mp = m + size_t(mx) * size_t(mb->Bytes());
              if (mp[0] | mp[1] | mp[2]) a = 0;
            }
          }
        }
        d[0] = uint8_t(s[0] * a / 255), d[1] = uint8_t(s[1] * a / 255), d[2] = uint8_t(s[2] * a / 255);
        d[3] = uint8_t(a);
      }
    }
    out.push_back(std::move(px));
  }
  return out;
}

// An icon's picture at the list's size (area-averaged when the sizes differ).
std::vector<uint8_t> FromIcon(const _IMAGELIST& il, HICON icon) {
  SIZE sz{};
  std::vector<uint32_t> argb;
  if (!GetIconArgb(icon, &sz, &argb) || sz.cx <= 0 || sz.cy <= 0) return {};
  std::vector<uint8_t> px(size_t(il.cx) * size_t(il.cy) * 4);
  for (int y = 0; y < il.cy; ++y) {
    const int y0 = y * sz.cy / il.cy, y1 = std::max(y0 + 1, (y + 1) * int(sz.cy) / il.cy);
    for (int x = 0; x < il.cx; ++x) {
      const int x0 = x * sz.cx / il.cx, x1 = std::max(x0 + 1, (x + 1) * int(sz.cx) / il.cx);
      uint64_t sum[4] = {0, 0, 0, 0};
      int n = 0;
      for (int sy = y0; sy < y1 && sy < sz.cy; ++sy) {
        for (int sx = x0; sx < x1 && sx < sz.cx; ++sx, ++n) {
          const uint32_t p = argb[size_t(sy) * size_t(sz.cx) + size_t(sx)];
          const unsigned a = p >> 24;
          sum[0] += (p & 0xFF) * a / 255, sum[1] += ((p >> 8) & 0xFF) * a / 255, sum[2] += ((p >> 16) & 0xFF) * a / 255;
          sum[3] += a;
        }
      }
      uint8_t* d = px.data() + (size_t(y) * size_t(il.cx) + size_t(x)) * 4;
      for (int c = 0; c < 4; ++c) d[c] = uint8_t(n ? sum[c] / uint64_t(n) : 0);
    }
  }
  return px;
}

// A 32-bit picture of the pixels, for blending.
HBITMAP PictureOf(const _IMAGELIST& il, const std::vector<uint8_t>& px) {
  GdiBitmap* b = NewBitmap(il.cx, il.cy, 32, false, true);
  if (!b) return nullptr;
  for (int y = 0; y < il.cy; ++y) {
    std::copy(px.begin() + ptrdiff_t(y) * il.cx * 4, px.begin() + ptrdiff_t(y + 1) * il.cx * 4, b->Row(y));
  }
  return b;
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
  if (cx <= 0 || cy <= 0 || cx > 1024 || cy > 1024) return nullptr;
  auto* il = new _IMAGELIST;
  il->cx = cx, il->cy = cy, il->flags = flags, il->grow = std::max(grow, 1);
  il->images.reserve(size_t(std::clamp(initial, 0, 4096)));
  std::lock_guard<std::mutex> g(TheLists().m);
  TheLists().live.insert(il);
  return il;
}

BOOL ImageList_Destroy(HIMAGELIST h) {
  std::lock_guard<std::mutex> g(TheLists().m);
  if (!h || !TheLists().live.erase(h)) return FALSE;
  delete h;
  return TRUE;
}

int ImageList_Add(HIMAGELIST h, HBITMAP image, HBITMAP mask) {
  return WithList(h, [&](_IMAGELIST& il) {
    auto cut = Cut(il, image, mask, 0, false);
    if (cut.empty()) return -1;
    const int first = int(il.images.size());
    for (auto& px : cut) il.images.push_back(std::move(px));
    return first;
  });
}

int ImageList_AddMasked(HIMAGELIST h, HBITMAP image, COLORREF mask) {
  return WithList(h, [&](_IMAGELIST& il) {
    // A mask colour makes the list a masked one, as the pictures need it.
    const UINT saved = il.flags;
    il.flags |= ILC_MASK;
    auto cut = Cut(il, image, nullptr, mask, true);
    il.flags = saved | ILC_MASK;
    if (cut.empty()) return -1;
    const int first = int(il.images.size());
    for (auto& px : cut) il.images.push_back(std::move(px));
    return first;
  });
}

int ImageList_ReplaceIcon(HIMAGELIST h, int i, HICON icon) {
  return WithList(h, [&](_IMAGELIST& il) {
    std::vector<uint8_t> px = FromIcon(il, icon);
    if (px.empty() || i < -1 || i >= int(il.images.size())) return -1;
    if (i == -1) {
      il.images.push_back(std::move(px));
      return int(il.images.size()) - 1;
    }
    il.images[size_t(i)] = std::move(px);
    return i;
  });
}

BOOL ImageList_Replace(HIMAGELIST h, int i, HBITMAP image, HBITMAP mask) {
  return WithList(h, [&](_IMAGELIST& il) {
    if (i < 0 || i >= int(il.images.size())) return FALSE;
    auto cut = Cut(il, image, mask, 0, false);
    if (cut.empty()) return FALSE;
    il.images[size_t(i)] = std::move(cut[0]);
    return TRUE;
  });
}

BOOL ImageList_Remove(HIMAGELIST h, int i) {
  return WithList(h, [&](_IMAGELIST& il) {
    if (i == -1) {
      il.images.clear();
      return TRUE;
    }
    if (i < 0 || i >= int(il.images.size())) return FALSE;
    il.images.erase(il.images.begin() + i);
    return TRUE;
  });
}

int ImageList_GetImageCount(HIMAGELIST h) {
  return WithList(h, [](_IMAGELIST& il) { return int(il.images.size()); });
}

BOOL ImageList_GetIconSize(HIMAGELIST h, int* cx, int* cy) {
  return WithList(h, [&](_IMAGELIST& il) {
    if (cx) *cx = il.cx;
    if (cy) *cy = il.cy;
    return TRUE;
  });
}

BOOL ImageList_SetIconSize(HIMAGELIST h, int cx, int cy) {
  if (cx <= 0 || cy <= 0 || cx > 1024 || cy > 1024) return FALSE;
  return WithList(h, [&](_IMAGELIST& il) {
    il.cx = cx, il.cy = cy;
    il.images.clear();  // pictures of the old size are gone
    return TRUE;
  });
}

COLORREF ImageList_SetBkColor(HIMAGELIST h, COLORREF bk) {
  return WithList(h, [&](_IMAGELIST& il) {
    const COLORREF old = il.bk;
    il.bk = bk;
    return old;
  });
}

COLORREF ImageList_GetBkColor(HIMAGELIST h) {
  return WithList(h, [](_IMAGELIST& il) { return il.bk; });
}

BOOL ImageList_DrawEx(HIMAGELIST h, int i, HDC dc, int x, int y, int dx, int dy, COLORREF bk, COLORREF fg, UINT style) {
  std::vector<uint8_t> px;
  int cx = 0, cy = 0;
  COLORREF listBk = CLR_NONE;
  const bool ok = WithList(h, [&](_IMAGELIST& il) {
    if (i < 0 || i >= int(il.images.size())) return false;
    px = il.images[size_t(i)];
    cx = il.cx, cy = il.cy, listBk = il.bk;
    return true;
  });
  if (!ok || !LiveDc(dc)) return FALSE;
  // Selected (50%) and focused (25%) pictures are tinted with the highlight or the given colour.
  const int tint = (style & ILD_BLEND50) ? 128 : (style & ILD_BLEND25) ? 64 : 0;
  if (tint) {
    const COLORREF c = (fg == CLR_DEFAULT || fg == CLR_NONE) ? GetSysColor(COLOR_HIGHLIGHT) : fg;
    const unsigned tr = GetRValue(c), tg = GetGValue(c), tb = GetBValue(c);
    for (size_t k = 0; k < px.size(); k += 4) {
      const unsigned a = px[k + 3];
      px[k] = uint8_t((px[k] * (256 - tint) + tb * a / 255 * tint) >> 8);
      px[k + 1] = uint8_t((px[k + 1] * (256 - tint) + tg * a / 255 * tint) >> 8);
      px[k + 2] = uint8_t((px[k + 2] * (256 - tint) + tr * a / 255 * tint) >> 8);
    }
  }
  const _IMAGELIST shape{cx, cy, 0, 1, CLR_NONE, {}};
  if (dx <= 0) dx = cx;
  if (dy <= 0) dy = cy;
  // ILD_NORMAL draws over the background colour where there is one; ILD_TRANSPARENT never.
  const COLORREF back = (style & ILD_TRANSPARENT) ? CLR_NONE : bk == CLR_DEFAULT ? listBk : bk;
  if (back != CLR_NONE && back != CLR_DEFAULT) {
    RECT r{x, y, x + std::min(dx, cx), y + std::min(dy, cy)};
    FillSolidRectDc(dc, &r, back);
  }
  HBITMAP pic = PictureOf(shape, px);
  if (!pic) return FALSE;
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(src, pic);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const BOOL drawn = AlphaBlend(dc, x, y, std::min(dx, cx), std::min(dy, cy), src, 0, 0, std::min(dx, cx),
                                std::min(dy, cy), bf);
  SelectObject(src, old);
  DeleteDC(src);
  DeleteObject(pic);
  return drawn;
}

BOOL ImageList_Draw(HIMAGELIST h, int i, HDC dc, int x, int y, UINT style) {
  return ImageList_DrawEx(h, i, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

HICON ImageList_GetIcon(HIMAGELIST h, int i, UINT) {
  std::vector<uint8_t> px;
  int cx = 0, cy = 0;
  const bool ok = WithList(h, [&](_IMAGELIST& il) {
    if (i < 0 || i >= int(il.images.size())) return false;
    px = il.images[size_t(i)];
    cx = il.cx, cy = il.cy;
    return true;
  });
  if (!ok) return nullptr;
  // Icons take straight alpha: undo the premultiplication. The mask says the same for a
  // picture whose alpha is all clear or all solid, where the icon goes by the mask.
  GdiBitmap* colour = NewBitmap(cx, cy, 32, false, true);
  GdiBitmap* mask = NewBitmap(cx, cy, 32, false, true);
  if (!colour || !mask) {
    if (colour) DeleteObject(colour);
    if (mask) DeleteObject(mask);
    return nullptr;
  }
  bool partial = false;
  for (int y = 0; y < cy; ++y) {
    uint8_t* d = colour->Row(y);
    uint8_t* m = mask->Row(y);
    const uint8_t* s = px.data() + size_t(y) * size_t(cx) * 4;
    for (int x = 0; x < cx * 4; x += 4) {
      const unsigned a = s[x + 3];
      for (int c = 0; c < 3; ++c) d[x + c] = uint8_t(a ? std::min(255u, (s[x + c] * 255u + a / 2) / a) : 0);
      partial |= a != 0 && a != 255;
      d[x + 3] = uint8_t(a);
      if (!a) m[x] = m[x + 1] = m[x + 2] = 255;
    }
  }
  if (!partial) {
    // Opaque or clear pixels only: no alpha in the colour, the mask carries it.
    for (int y = 0; y < cy; ++y) {
      uint8_t* d = colour->Row(y);
      for (int x = 0; x < cx; ++x) d[4 * x + 3] = 0;
    }
  }
  ICONINFO ii{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(colour);
  DeleteObject(mask);
  return icon;
}
