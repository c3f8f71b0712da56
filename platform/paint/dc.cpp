// Device contexts: creation, selected objects, colours and modes, saved states and clipping.
#include <atomic>
#include <new>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

namespace {

void HoldState(const DcState& s) {
  HoldGdiObject(s.bitmap);
  HoldGdiObject(s.font);
  HoldGdiObject(s.pen);
  HoldGdiObject(s.brush);
}

void ReleaseState(const DcState& s) {
  ReleaseGdiObject(s.bitmap);
  ReleaseGdiObject(s.font);
  ReleaseGdiObject(s.pen);
  ReleaseGdiObject(s.brush);
}

HDC NewDc(bool infoOnly) {
  auto* dc = new (std::nothrow) GdiDc;
  if (!dc) return nullptr;
  dc->infoOnly = infoOnly;
  dc->s.bitmap = StockBitmap();
  dc->s.font = StockFont();
  dc->s.pen = static_cast<GdiPen*>(GetStockObject(BLACK_PEN));
  dc->s.brush = static_cast<GdiBrush*>(GetStockObject(WHITE_BRUSH));
  HoldState(dc->s);
  RegisterGdiObject(dc);
  return dc;
}

bool IsDisplay(const char16_t* s) {
  return s && std::u16string_view(s) == u"DISPLAY";
}

// Swaps one selected object of the current state.
template <typename T>
T* Swap(T*& slot, T* obj) {
  T* old = slot;
  HoldGdiObject(obj);
  slot = obj;
  ReleaseGdiObject(old);
  return old;
}

int RegionType(const std::vector<RECT>& r) {
  return r.empty() ? NULLREGION : r.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

}  // namespace

GdiDc::~GdiDc() {
  ReleaseState(s);
  for (const DcState& st : saved) ReleaseState(st);
}

HDC CreateCompatibleDC(HDC like) {
  (void)like;
  return NewDc(false);
}

HDC CreateDCW(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init) {
  (void)output;
  (void)init;
  if (!IsDisplay(driver) && !IsDisplay(device)) return nullptr;
  return NewDc(false);
}

HDC CreateICW(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init) {
  (void)output;
  (void)init;
  if (!IsDisplay(driver) && !IsDisplay(device)) return nullptr;
  return NewDc(true);
}

BOOL DeleteDC(HDC h) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  delete dc;
  return TRUE;
}

HGDIOBJ SelectObject(HDC h, HGDIOBJ obj) {
  GdiDc* dc = LiveDc(h);
  // An object deleted while selected elsewhere is on its way out and is not selected again.
  if (!dc || !GetObjectType(obj) || obj->deletePending) return nullptr;
  if (IsLiveGdiObject(obj, GdiKind::Bitmap)) {
    auto* bm = static_cast<GdiBitmap*>(obj);
    if (dc->infoOnly) return nullptr;
    // A bitmap can be selected into one context at a time.
    if (!bm->stock && bm->selected > 0 && bm->owner != dc) return nullptr;
    HGDIOBJ old = Swap(dc->s.bitmap, bm);
    if (!bm->stock) bm->owner = dc;
    return old;
  }
  if (IsLiveGdiObject(obj, GdiKind::Font)) return Swap(dc->s.font, static_cast<GdiFont*>(obj));
  if (IsLiveGdiObject(obj, GdiKind::Pen)) return Swap(dc->s.pen, static_cast<GdiPen*>(obj));
  if (IsLiveGdiObject(obj, GdiKind::Brush)) return Swap(dc->s.brush, static_cast<GdiBrush*>(obj));
  if (IsLiveGdiObject(obj, GdiKind::Region)) {
    return reinterpret_cast<HGDIOBJ>(intptr_t(SelectClipRgn(h, static_cast<HRGN>(obj))));
  }
  return nullptr;
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_BITMAP: return dc->s.bitmap;
    case OBJ_FONT: return dc->s.font;
    case OBJ_PEN: return dc->s.pen;
    case OBJ_BRUSH: return dc->s.brush;
    default: return nullptr;
  }
}

int SaveDC(HDC h) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return 0;
  dc->saved.push_back(dc->s);
  HoldState(dc->s);
  return int(dc->saved.size());
}

BOOL RestoreDC(HDC h, int level) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  int n = int(dc->saved.size());
  int target = level < 0 ? n + level + 1 : level;
  if (target < 1 || target > n) return FALSE;
  // Drop the states saved after the target, then make the target current.
  while (int(dc->saved.size()) > target) {
    ReleaseState(dc->saved.back());
    dc->saved.pop_back();
  }
  DcState old = std::move(dc->s);
  dc->s = std::move(dc->saved.back());
  dc->saved.pop_back();
  ReleaseState(old);
  return TRUE;
}

COLORREF SetTextColor(HDC h, COLORREF c) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->s.textColor;
  dc->s.textColor = c & 0xFFFFFF;
  return old;
}
COLORREF GetTextColor(HDC h) {
  GdiDc* dc = LiveDc(h);
  return dc ? dc->s.textColor : CLR_INVALID;
}
COLORREF SetBkColor(HDC h, COLORREF c) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->s.bkColor;
  dc->s.bkColor = c & 0xFFFFFF;
  return old;
}
COLORREF GetBkColor(HDC h) {
  GdiDc* dc = LiveDc(h);
  return dc ? dc->s.bkColor : CLR_INVALID;
}
int SetBkMode(HDC h, int mode) {
  GdiDc* dc = LiveDc(h);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->s.bkMode;
  dc->s.bkMode = mode;
  return old;
}
int GetBkMode(HDC h) {
  GdiDc* dc = LiveDc(h);
  return dc ? dc->s.bkMode : 0;
}
int SetROP2(HDC h, int mode) {
  GdiDc* dc = LiveDc(h);
  if (!dc || mode < R2_BLACK || mode > R2_WHITE) return 0;
  const int old = dc->s.rop2;
  dc->s.rop2 = mode;
  return old;
}
int GetROP2(HDC h) {
  GdiDc* dc = LiveDc(h);
  return dc ? dc->s.rop2 : 0;
}
int SetStretchBltMode(HDC h, int mode) {
  GdiDc* dc = LiveDc(h);
  if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  int old = dc->s.stretchMode;
  dc->s.stretchMode = mode;
  return old;
}
int GetStretchBltMode(HDC h) {
  GdiDc* dc = LiveDc(h);
  return dc ? dc->s.stretchMode : 0;
}

BOOL SetViewportOrgEx(HDC h, int x, int y, POINT* old) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  if (old) *old = dc->s.origin;
  dc->s.origin = POINT{x, y};
  return TRUE;
}
BOOL OffsetViewportOrgEx(HDC h, int dx, int dy, POINT* old) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return FALSE;
  if (old) *old = dc->s.origin;
  dc->s.origin.x += dx;
  dc->s.origin.y += dy;
  return TRUE;
}
BOOL GetViewportOrgEx(HDC h, POINT* org) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !org) return FALSE;
  *org = dc->s.origin;
  return TRUE;
}

namespace {
std::atomic<int> g_screenW{1280};
std::atomic<int> g_screenH{800};
}  // namespace

void SetDeviceScreenSize(int width, int height) {
  g_screenW = width;
  g_screenH = height;
}

int GetDeviceCaps(HDC h, int index) {
  if (!LiveDc(h)) return 0;
  switch (index) {
    case HORZRES: return g_screenW;
    case VERTRES: return g_screenH;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
  }
}

// ---- Clipping ----

int SelectClipRgn(HDC h, HRGN rgn) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return ERROR;
  if (!rgn) {
    dc->s.clipped = false;
    dc->s.clip.clear();
    return SIMPLEREGION;
  }
  if (!LiveGdi(rgn, GdiKind::Region)) return ERROR;
  dc->s.clipped = true;
  dc->s.clip = rgn->rects;
  return RegionType(dc->s.clip);
}

// The current clip as a region (the whole surface when there is none).
static std::vector<RECT> CurrentClip(const GdiDc* dc) {
  if (dc->s.clipped) return dc->s.clip;
  const GdiBitmap* bm = dc->s.bitmap;
  if (!bm) return {};
  return {RECT{0, 0, bm->width, bm->height}};
}

int IntersectClipRect(HDC h, int left, int top, int right, int bottom) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return ERROR;
  RECT r = DevRect(dc, left, top, right, bottom);
  std::vector<RECT> one = RegionFromRects({r});
  dc->s.clip = RegionCombine(CurrentClip(dc), one, RGN_AND);
  dc->s.clipped = true;
  return RegionType(dc->s.clip);
}

int ExcludeClipRect(HDC h, int left, int top, int right, int bottom) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return ERROR;
  RECT r = DevRect(dc, left, top, right, bottom);
  std::vector<RECT> one = RegionFromRects({r});
  dc->s.clip = RegionCombine(CurrentClip(dc), one, RGN_DIFF);
  dc->s.clipped = true;
  return RegionType(dc->s.clip);
}

int GetClipBox(HDC h, RECT* box) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !box) return ERROR;
  std::vector<RECT> c = CurrentClip(dc);
  if (dc->s.clipped && dc->s.bitmap) {
    c = RegionCombine(c, {RECT{0, 0, dc->s.bitmap->width, dc->s.bitmap->height}}, RGN_AND);
  }
  if (dc->hasVis) c = RegionCombine(c, dc->vis, RGN_AND);
  *box = RegionBox(c);
  OffsetRect(box, -dc->s.origin.x, -dc->s.origin.y);
  return RegionType(c);
}
