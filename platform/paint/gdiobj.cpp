// The handle table, rectangle helpers, object lifetime, pens, brushes and stock objects.
#include "platform/paint/gdiobj.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "platform/paint/afxgdi.h"
#include "platform/paint/gdi.h"

namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_set<const void*> live;
};
HandleTable& Table() {
  static HandleTable& t = *new HandleTable;
  return t;
}

}  // namespace

GdiObject::GdiObject(GdiKind k) : kind(k) {}

GdiObject::~GdiObject() {
  {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    t.live.erase(this);
  }
  if (permanent) permanent->m_hObject = nullptr;
  if (temporary) RetireTemporaryGdiObject(temporary);
}

void RegisterGdiObject(GdiObject* o) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  t.live.insert(o);
}

bool IsLiveGdiObject(const void* h, GdiKind kind) {
  if (!h) return false;
  HandleTable& t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  if (!t.live.count(h)) return false;
  return static_cast<const GdiObject*>(h)->kind == kind;
}

static bool IsLiveAny(const void* h) {
  if (!h) return false;
  HandleTable& t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  return t.live.count(h) != 0;
}

// Stock objects are shared by every context on every thread and never deleted, so they are
// not counted.
void HoldGdiObject(GdiObject* o) {
  if (o && !o->stock) ++o->selected;
}

void ReleaseGdiObject(GdiObject* o) {
  if (!o || o->stock) return;
  assert(o->selected > 0);
  if (--o->selected > 0) return;
  if (o->kind == GdiKind::Bitmap) static_cast<GdiBitmap*>(o)->owner = nullptr;
  if (o->deletePending) delete o;
}

// ---- Rectangles ----

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
  if (!r) return FALSE;
  *r = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* r) { return !r || r->left >= r->right || r->top >= r->bottom; }
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (r.left >= r.right || r.top >= r.bottom) {
    *out = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *out = r;
  return TRUE;
}
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    *out = IsRectEmpty(b) ? RECT{0, 0, 0, 0} : *b;
  } else if (IsRectEmpty(b)) {
    *out = *a;
  } else {
    *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(out);
}
BOOL OffsetRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}
BOOL InflateRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}
BOOL PtInRect(const RECT* r, POINT pt) {
  return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
         a->bottom == b->bottom;
}

// ---- Lifetime ----

BOOL DeleteObject(HGDIOBJ obj) {
  if (!IsLiveAny(obj) || obj->kind == GdiKind::Dc || obj->kind == GdiKind::Icon) return FALSE;
  if (obj->stock) return TRUE;  // stock objects live for the whole process
  if (obj->selected > 0) {
    obj->deletePending = true;
    return TRUE;
  }
  delete obj;
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ obj) {
  if (!IsLiveAny(obj)) return 0;
  switch (obj->kind) {
    case GdiKind::Bitmap: return OBJ_BITMAP;
    case GdiKind::Pen: return OBJ_PEN;
    case GdiKind::Brush: return OBJ_BRUSH;
    case GdiKind::Font: return OBJ_FONT;
    case GdiKind::Region: return OBJ_REGION;
    case GdiKind::Dc: return OBJ_MEMDC;
    case GdiKind::Icon: return 0;  // icons are no drawing objects
  }
  return 0;
}

int GetObjectW(HGDIOBJ obj, int size, void* out) {
  if (!IsLiveAny(obj)) return 0;
  switch (obj->kind) {
    case GdiKind::Bitmap: {
      if (!out) return int(sizeof(BITMAP));
      if (size < int(sizeof(BITMAP))) return 0;
      auto* b = static_cast<GdiBitmap*>(obj);
      BITMAP bm{0, b->width, b->height, b->stride, 1, WORD(b->bpp), b->dibSection ? b->bits : nullptr};
      std::memcpy(out, &bm, sizeof bm);
      return int(sizeof bm);
    }
    case GdiKind::Font: {
      if (!out) return int(sizeof(LOGFONTW));
      if (size < int(sizeof(LOGFONTW))) return 0;
      std::memcpy(out, &static_cast<GdiFont*>(obj)->lf, sizeof(LOGFONTW));
      return int(sizeof(LOGFONTW));
    }
    case GdiKind::Pen: {
      if (!out) return int(sizeof(LOGPEN));
      if (size < int(sizeof(LOGPEN))) return 0;
      auto* p = static_cast<GdiPen*>(obj);
      LOGPEN lp{UINT(p->style), POINT{p->width, 0}, p->color};
      std::memcpy(out, &lp, sizeof lp);
      return int(sizeof lp);
    }
    case GdiKind::Brush: {
      if (!out) return int(sizeof(LOGBRUSH));
      if (size < int(sizeof(LOGBRUSH))) return 0;
      auto* b = static_cast<GdiBrush*>(obj);
      LOGBRUSH lb{b->style, b->color, 0};
      std::memcpy(out, &lb, sizeof lb);
      return int(sizeof lb);
    }
    default:
      return 0;
  }
}

// ---- Pens and brushes ----

static GdiPen* NewPen(int style, int width, COLORREF color) {
  int kind = style & PS_STYLE_MASK;
  if (kind != PS_SOLID && kind != PS_DASH && kind != PS_DOT && kind != PS_NULL) return nullptr;
  auto* p = new (std::nothrow) GdiPen;
  if (!p) return nullptr;
  p->style = style;
  p->width = std::clamp(width, 1, 1 << 16);
  p->color = color & 0xFFFFFF;
  RegisterGdiObject(p);
  return p;
}

HPEN CreatePen(int style, int width, COLORREF color) { return NewPen(style, width, color); }

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles) {
  (void)styleCount;
  (void)styles;
  if (!brush || width > 10000) return nullptr;
  if (brush->lbStyle == BS_NULL) return NewPen(PS_NULL, 1, 0);
  if (brush->lbStyle != BS_SOLID) return nullptr;
  return NewPen(int(style), int(width), brush->lbColor);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
  if (!lb || (lb->lbStyle != BS_SOLID && lb->lbStyle != BS_NULL)) return nullptr;
  auto* b = new (std::nothrow) GdiBrush;
  if (!b) return nullptr;
  b->style = lb->lbStyle;
  b->color = lb->lbColor & 0xFFFFFF;
  RegisterGdiObject(b);
  return b;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

// ---- Stock objects ----

namespace {

struct StockSet {
  GdiBrush* brushes[6] = {};
  GdiPen* pens[3] = {};
  GdiBitmap* bitmap = nullptr;
  GdiFont* systemFont = nullptr;
  GdiFont* guiFont = nullptr;
  GdiBrush* sysBrushes[32] = {};
};

GdiFont* MakeStockFont(int height, int weight) {
  HFONT f = CreateFontW(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"MS Shell Dlg");
  if (f) f->stock = true;
  return f;
}

StockSet& Stock() {
  static StockSet& s = [] () -> StockSet& {
    auto& set = *new StockSet;
    const COLORREF greys[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (int i = 0; i < 5; ++i) set.brushes[i] = CreateSolidBrush(greys[i]);
    LOGBRUSH none{BS_NULL, 0, 0};
    set.brushes[5] = CreateBrushIndirect(&none);
    set.pens[0] = NewPen(PS_SOLID, 1, 0xFFFFFF);
    set.pens[1] = NewPen(PS_SOLID, 1, 0);
    set.pens[2] = NewPen(PS_NULL, 1, 0);
    for (auto* b : set.brushes) b->stock = true;
    for (auto* p : set.pens) p->stock = true;
    set.bitmap = NewBitmap(1, 1, 32, false, false);
    set.bitmap->stock = true;
    set.systemFont = MakeStockFont(16, FW_BOLD);
    set.guiFont = MakeStockFont(-11, FW_NORMAL);
    return set;
  }();
  return s;
}

}  // namespace

GdiBitmap* StockBitmap() { return Stock().bitmap; }
GdiFont* StockFont() { return Stock().systemFont; }

HGDIOBJ GetStockObject(int which) {
  StockSet& s = Stock();
  if (which >= WHITE_BRUSH && which <= NULL_BRUSH) return s.brushes[which];
  if (which >= WHITE_PEN && which <= NULL_PEN) return s.pens[which - WHITE_PEN];
  if (which == SYSTEM_FONT) return s.systemFont;
  if (which == DEFAULT_GUI_FONT) return s.guiFont;
  return nullptr;
}

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_SCROLLBAR: return RGB(200, 200, 200);
    case COLOR_MENU: return RGB(240, 240, 240);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_BTNSHADOW: return RGB(160, 160, 160);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(105, 105, 105);
    case COLOR_3DLIGHT: return RGB(227, 227, 227);
    default: return RGB(0, 0, 0);
  }
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index >= 32) return nullptr;
  StockSet& s = Stock();
  static std::mutex lock;
  std::lock_guard<std::mutex> g(lock);
  if (!s.sysBrushes[index]) {
    s.sysBrushes[index] = CreateSolidBrush(GetSysColor(index));
    if (s.sysBrushes[index]) s.sysBrushes[index]->stock = true;
  }
  return s.sysBrushes[index];
}
