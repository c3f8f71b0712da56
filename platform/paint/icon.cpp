// Icons: a premultiplied 32-bit picture made from a colour bitmap and its alpha or mask.
#include <algorithm>
#include <new>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

GdiIcon::~GdiIcon() {
  if (image) DeleteObject(image);
}

HICON CreateIconIndirect(const ICONINFO* info) {
  if (!info) return nullptr;
  GdiBitmap* color = LiveGdi(info->hbmColor, GdiKind::Bitmap);
  GdiBitmap* mask = LiveGdi(info->hbmMask, GdiKind::Bitmap);
  if (!color) return nullptr;
  if (mask && (mask->width < color->width || mask->height < color->height)) return nullptr;
  bool hasAlpha = false;
  if (color->bpp == 32) {
    for (int y = 0; y < color->height && !hasAlpha; ++y) {
      const uint8_t* p = color->Row(y);
      for (int x = 0; x < color->width; ++x) hasAlpha |= p[4 * x + 3] != 0;
    }
  }
  GdiBitmap* img = NewBitmap(color->width, color->height, 32, false, true);
  if (!img) return nullptr;
  const int cb = color->Bytes();
  for (int y = 0; y < color->height; ++y) {
    const uint8_t* s = color->Row(y);
    const uint8_t* m = mask ? mask->Row(y) : nullptr;
    uint8_t* d = img->Row(y);
    for (int x = 0; x < color->width; ++x, s += cb, d += 4) {
      unsigned a = 255;
      if (hasAlpha) {
        a = s[3];
      } else if (m) {
        const uint8_t* mp = m + size_t(x) * size_t(mask->Bytes());
        a = (mp[0] | mp[1] | mp[2]) ? 0 : 255;
      }
      // Icon colours carry straight alpha; blending wants them premultiplied.
      d[0] = uint8_t(s[0] * a / 255);
      d[1] = uint8_t(s[1] * a / 255);
      d[2] = uint8_t(s[2] * a / 255);
      d[3] = uint8_t(a);
    }
  }
  auto* icon = new (std::nothrow) GdiIcon;
  if (!icon) {
    DeleteObject(img);
    return nullptr;
  }
  icon->image = img;
  icon->isIcon = info->fIcon != 0;
  icon->hotspot = POINT{LONG(info->xHotspot), LONG(info->yHotspot)};
  RegisterGdiObject(icon);
  return icon;
}

BOOL DestroyIcon(HICON h) {
  GdiIcon* icon = LiveGdi(h, GdiKind::Icon);
  if (!icon) return FALSE;
  delete icon;
  return TRUE;
}

BOOL GetIconSize(HICON h, SIZE* size) {
  GdiIcon* icon = LiveGdi(h, GdiKind::Icon);
  if (!icon || !size) return FALSE;
  *size = SIZE{icon->image->width, icon->image->height};
  return TRUE;
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON h, int cx, int cy, UINT step, HBRUSH flicker, UINT flags) {
  (void)step;
  (void)flicker;
  GdiIcon* icon = LiveGdi(h, GdiKind::Icon);
  if (!LiveDc(dc) || !icon || !(flags & DI_NORMAL)) return FALSE;
  const int w = icon->image->width, hgt = icon->image->height;
  if (cx <= 0) cx = w;
  if (cy <= 0) cy = hgt;
  HDC src = CreateCompatibleDC(nullptr);
  if (!src) return FALSE;
  HGDIOBJ old = SelectObject(src, icon->image);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  BOOL ok = old && AlphaBlend(dc, x, y, cx, cy, src, 0, 0, w, hgt, bf);
  if (old) SelectObject(src, old);
  DeleteDC(src);
  return ok;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) { return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL); }

bool GetIconArgb(HICON h, SIZE* size, std::vector<uint32_t>* argb) {
  GdiIcon* icon = LiveGdi(h, GdiKind::Icon);
  if (!icon || !argb) return false;
  const GdiBitmap* img = icon->image;
  if (size) *size = SIZE{img->width, img->height};
  argb->resize(size_t(img->width) * size_t(img->height));
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* p = img->Row(y);
    for (int x = 0; x < img->width; ++x, p += 4) {
      const unsigned a = p[3];
      // Undo the premultiplication the icon keeps for blending.
      auto un = [a](unsigned c) { return a ? std::min(255u, (c * 255 + a / 2) / a) : 0u; };
      (*argb)[size_t(y) * size_t(img->width) + size_t(x)] = (a << 24) | (un(p[2]) << 16) | (un(p[1]) << 8) | un(p[0]);
    }
  }
  return true;
}
