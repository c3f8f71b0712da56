// Update regions, WM_PAINT, paint and window contexts on the top-level surfaces, and reading
// the surfaces back (PNG, pixels, the backend).
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"
#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

namespace {

// Which window each window context belongs to, and whether it paints the client area.
struct DcEntry {
  HWND hwnd;
  bool client;
};
std::map<HDC, DcEntry>& WindowDcs() {
  static auto& m = *new std::map<HDC, DcEntry>;
  return m;
}

RECT ClientBox(const VisWindow* v) { return RECT{0, 0, v->client.right - v->client.left, v->client.bottom - v->client.top}; }

bool NeedsPaint(const VisWindow* v) { return (!v->update.empty() || v->ncDirty) && IsShownChain(v); }

HWND FindPending(VisWindow* v, DWORD thread, int depth) {
  if (!v || depth > 1000 || !(StyleOf(v->hwnd) & WS_VISIBLE)) return nullptr;
  if (v->thread == thread && NeedsPaint(v)) return v->hwnd;
  for (HWND c : v->children) {
    if (HWND h = FindPending(Vis(c), thread, depth + 1)) return h;
  }
  return nullptr;
}

std::vector<RECT> Offset(std::vector<RECT> r, int dx, int dy) {
  for (RECT& x : r) OffsetRect(&x, dx, dy);
  return r;
}

}  // namespace

void AddUpdate(VisWindow* v, std::vector<RECT> rgn, bool erase, bool allChildren, std::vector<DWORD>* wake) {
  rgn = RegionCombine(RegionFromRects(std::move(rgn)), {ClientBox(v)}, RGN_AND);
  if (rgn.empty()) return;
  v->update = RegionCombine(v->update, rgn, RGN_OR);
  v->erase = v->erase || erase;
  if (wake) wake->push_back(v->thread);
  if (!allChildren && (StyleOf(v->hwnd) & WS_CLIPCHILDREN)) return;
  for (HWND c : v->children) {
    VisWindow* cv = Vis(c);
    if (!cv || !(StyleOf(c) & WS_VISIBLE)) continue;
    RECT wr = cv->rect;
    bool touches = false;
    for (const RECT& r : rgn) {
      RECT x;
      if (IntersectRect(&x, &r, &wr)) touches = true;
    }
    if (!touches) continue;
    const RECT full{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    if (!EqualRect(&cv->client, &full)) cv->ncDirty = true;
    AddUpdate(cv, Offset(rgn, -(wr.left + cv->client.left), -(wr.top + cv->client.top)), erase, allChildren, wake);
  }
}

HWND PendingPaint(DWORD thread, HWND filter) {
  LayerLock g(Layer().m);
  if (filter) return FindPending(Vis(filter), thread, 0);
  for (HWND t : Layer().topLevels) {
    if (HWND h = FindPending(Vis(t), thread, 0)) return h;
  }
  return nullptr;
}

BOOL RedrawWindow(HWND hwnd, const RECT* r, HRGN rgn, UINT flags) {
  InitWindowLayer();
  std::vector<DWORD> wake;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return FALSE;
    std::vector<RECT> area;
    if (rgn) {
      GdiRegion* gr = LiveGdi(rgn, GdiKind::Region);
      if (gr) area = gr->rects;
    } else if (r) {
      area = {*r};
    } else {
      area = {ClientBox(v)};
    }
    if (flags & RDW_INVALIDATE) {
      if (flags & RDW_FRAME) v->ncDirty = true;
      const bool all = (flags & RDW_ALLCHILDREN) != 0;
      if (flags & RDW_NOCHILDREN) {
        auto clipped = RegionCombine(RegionFromRects(area), {ClientBox(v)}, RGN_AND);
        if (!clipped.empty()) {
          v->update = RegionCombine(v->update, clipped, RGN_OR);
          v->erase = v->erase || (flags & RDW_ERASE);
          wake.push_back(v->thread);
        }
      } else {
        AddUpdate(v, area, (flags & RDW_ERASE) != 0, all, &wake);
      }
      if (v->ncDirty) wake.push_back(v->thread);
    }
    if (flags & RDW_VALIDATE) {
      v->update = RegionCombine(v->update, RegionFromRects(area), RGN_DIFF);
      if (v->update.empty()) v->erase = false;
      if (flags & RDW_NOFRAME) v->ncDirty = false;
    }
  }
  WakeThreads(wake);
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(hwnd);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* r, BOOL erase) {
  return RedrawWindow(hwnd, r, nullptr, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
  return RedrawWindow(hwnd, nullptr, rgn, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL ValidateRect(HWND hwnd, const RECT* r) { return RedrawWindow(hwnd, r, nullptr, RDW_VALIDATE); }

BOOL GetUpdateRect(HWND hwnd, RECT* r, BOOL) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return FALSE;
  RECT box = RegionBox(v->update);
  if (r) *r = box;
  return !v->update.empty();
}

BOOL UpdateWindow(HWND hwnd) {
  std::vector<HWND> order;
  {
    LayerLock g(Layer().m);
    VisWindow* root = Vis(hwnd);
    if (!root) return FALSE;
    // The window first, then its children, as the queue would hand them out.
    std::vector<VisWindow*> stack{root};
    while (!stack.empty() && order.size() < 100000) {
      VisWindow* v = stack.back();
      stack.pop_back();
      order.push_back(v->hwnd);
      for (auto it = v->children.rbegin(); it != v->children.rend(); ++it) {
        if (VisWindow* c = Vis(*it)) stack.push_back(c);
      }
    }
  }
  for (HWND h : order) {
    bool needs = false;
    {
      LayerLock g(Layer().m);
      VisWindow* v = Vis(h);
      needs = v && NeedsPaint(v) && v->thread == GetCurrentThreadId();
    }
    if (needs) SendMessageW(h, WM_PAINT, 0, 0);
  }
  return TRUE;
}

void UpdateAllWindows() {
  const DWORD me = GetCurrentThreadId();
  // A window that does not validate itself is validated here, so this always ends.
  for (int guard = 0; guard < 10000; ++guard) {
    HWND h = PendingPaint(me, nullptr);
    if (!h) return;
    SendMessageW(h, WM_PAINT, 0, 0);
    LayerLock g(Layer().m);
    if (VisWindow* v = Vis(h); v && h == PendingPaint(me, nullptr)) {
      v->update.clear();
      v->ncDirty = false;
    }
  }
}

HDC MakeWindowDc(HWND hwnd, bool client, const std::vector<RECT>* limit) {
  HDC dc = CreateCompatibleDC(nullptr);
  GdiDc* d = LiveDc(dc);
  if (!d) return nullptr;
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  VisWindow* top = v ? Vis(TopLevelOf(hwnd)) : nullptr;
  if (!v || !top || !top->surface) {
    // Nothing to draw on: a context that draws nowhere but measures like the others.
    d->hasVis = true;
    WindowDcs()[dc] = DcEntry{hwnd, client};
    return dc;
  }
  GdiBitmap* old = d->s.bitmap;
  HoldGdiObject(top->surface);
  d->s.bitmap = top->surface;
  ReleaseGdiObject(old);
  POINT o = SurfaceOrigin(v);
  if (client) o.x += v->client.left, o.y += v->client.top;
  d->s.origin = o;
  d->hasVis = true;
  d->vis = VisibleInSurface(v, client);
  if (limit) d->vis = RegionCombine(d->vis, Offset(*limit, o.x, o.y), RGN_AND);
  WindowDcs()[dc] = DcEntry{hwnd, client};
  return dc;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!ps) return nullptr;
  *ps = PAINTSTRUCT{};
  std::vector<RECT> upd;
  bool erase = false, nc = false;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return nullptr;
    upd.swap(v->update);
    erase = v->erase;
    nc = v->ncDirty;
    v->erase = false;
    v->ncDirty = false;
  }
  if (nc) SendMessageW(hwnd, WM_NCPAINT, 1, 0);
  HDC dc = MakeWindowDc(hwnd, true, &upd);
  ps->hdc = dc;
  ps->rcPaint = RegionBox(upd);
  ps->fErase = TRUE;
  if (erase && dc) ps->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps || !ps->hdc) return FALSE;
  ReleaseDC(hwnd, ps->hdc);
  return TRUE;
}

namespace {

// A context of the whole screen: a picture of what the top-level windows show, composed when
// it is made. What is drawn on it goes back into the windows' surfaces when it is released,
// so that lines drawn with R2_NOTXORPEN over several windows show (and vanish when drawn
// again), as a drag line does.
struct ScreenDc {
  HBITMAP bitmap = nullptr;
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  std::vector<uint32_t> before;  // the picture as composed, to find what was drawn
};
std::map<HDC, ScreenDc>& ScreenDcs() {
  static auto& m = *new std::map<HDC, ScreenDc>;
  return m;
}

// The shown top-level windows, topmost first, with their screen rectangles.
std::vector<std::pair<HWND, RECT>> ShownTopLevels() {
  std::vector<std::pair<HWND, RECT>> out;
  LayerLock g(Layer().m);
  for (HWND h : Layer().topLevels) {
    VisWindow* v = Vis(h);
    if (v && v->surface && IsShownChain(v) && !v->iconic) out.push_back({h, v->rect});
  }
  return out;
}

// A context on the whole of a top-level window's surface that reads and writes past its
// visible region (the region limits are applied by the caller).
HDC SurfaceDc(HWND top) {
  HDC dc = MakeWindowDc(top, false, nullptr);
  return dc;
}

void DropSurfaceDc(HDC dc) {
  {
    LayerLock g(Layer().m);
    WindowDcs().erase(dc);
  }
  DeleteDC(dc);
}

HDC MakeScreenDc() {
  int w = 0, h = 0;
  {
    LayerLock g(Layer().m);
    w = Layer().screenW;
    h = Layer().screenH;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bm = w > 0 && h > 0 ? CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bm || !bits) {
    if (bm) DeleteObject(bm);
    return dc;  // measures like a screen, draws nowhere
  }
  SelectObject(dc, bm);
  const auto tops = ShownTopLevels();
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
    HDC src = SurfaceDc(it->first);
    if (GdiDc* d = LiveDc(src)) d->hasVis = false;
    const RECT& r = it->second;
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, src, 0, 0, SRCCOPY);
    DropSurfaceDc(src);
  }
  ScreenDc sd;
  sd.bitmap = bm;
  sd.bits = static_cast<uint32_t*>(bits);
  sd.width = w;
  sd.height = h;
  sd.before.assign(sd.bits, sd.bits + size_t(w) * size_t(h));
  LayerLock g(Layer().m);
  ScreenDcs()[dc] = std::move(sd);
  return dc;
}

// The box of the pixels that differ from the composed picture; empty when nothing was drawn.
RECT ChangedBox(const ScreenDc& sd) {
  RECT box{sd.width, sd.height, 0, 0};
  for (int y = 0; y < sd.height; ++y) {
    const uint32_t* now = sd.bits + size_t(y) * size_t(sd.width);
    const uint32_t* was = sd.before.data() + size_t(y) * size_t(sd.width);
    if (std::equal(now, now + sd.width, was)) continue;
    int x0 = 0, x1 = sd.width;
    while (x0 < x1 && now[x0] == was[x0]) ++x0;
    while (x1 > x0 && now[x1 - 1] == was[x1 - 1]) --x1;
    box.left = std::min<LONG>(box.left, x0);
    box.right = std::max<LONG>(box.right, x1);
    box.top = std::min<LONG>(box.top, y);
    box.bottom = y + 1;
  }
  return box.right > box.left ? box : RECT{0, 0, 0, 0};
}

// Puts what was drawn on the screen context back into the windows it fell on: each window
// takes the part that is not under a window above it.
void ReleaseScreenDc(HDC dc, ScreenDc sd) {
  const RECT box = ChangedBox(sd);
  if (!IsRectEmpty(&box)) {
    std::vector<RECT> covered;
    for (const auto& [top, wr] : ShownTopLevels()) {
      RECT part{};
      if (IntersectRect(&part, &wr, &box)) {
        const std::vector<RECT> mine = RegionCombine({part}, covered, RGN_DIFF);
        if (!mine.empty()) {
          HDC dst = SurfaceDc(top);
          for (const RECT& r : mine) {
            BitBlt(dst, r.left - wr.left, r.top - wr.top, r.right - r.left, r.bottom - r.top, dc, r.left, r.top, SRCCOPY);
          }
          DropSurfaceDc(dst);
          RECT local = part;
          OffsetRect(&local, -wr.left, -wr.top);
          PresentSurface(top, local);
        }
      }
      covered = RegionCombine(covered, {wr}, RGN_OR);
    }
  }
  DeleteDC(dc);
  DeleteObject(sd.bitmap);
}

}  // namespace

HDC GetDC(HWND hwnd) {
  InitWindowLayer();
  if (!hwnd) return MakeScreenDc();
  if (!IsWindow(hwnd)) return nullptr;
  return MakeWindowDc(hwnd, true, nullptr);
}

HDC GetWindowDC(HWND hwnd) {
  if (!hwnd) return GetDC(nullptr);
  if (!IsWindow(hwnd)) return nullptr;
  return MakeWindowDc(hwnd, false, nullptr);
}

int ReleaseDC(HWND hwnd, HDC dc) {
  (void)hwnd;
  {
    std::unique_lock<std::recursive_mutex> g(Layer().m);
    auto it = ScreenDcs().find(dc);
    if (it != ScreenDcs().end()) {
      ScreenDc sd = std::move(it->second);
      ScreenDcs().erase(it);
      g.unlock();
      ReleaseScreenDc(dc, std::move(sd));
      return 1;
    }
  }
  DcEntry e{};
  bool found = false;
  RECT box{};
  HWND top = nullptr;
  {
    LayerLock g(Layer().m);
    auto it = WindowDcs().find(dc);
    if (it != WindowDcs().end()) {
      e = it->second;
      found = true;
      WindowDcs().erase(it);
      if (GdiDc* d = LiveDc(dc)) {
        box = RegionBox(d->vis);
        top = TopLevelOf(e.hwnd);
      }
    }
  }
  DeleteDC(dc);
  if (found && top && !IsRectEmpty(&box)) PresentSurface(top, box);
  return 1;
}

void PresentSurface(HWND top, const RECT& r) {
  if (auto* b = CurrentBackend()) b->Present(top, r);
}

BOOL PrintWindow(HWND hwnd, HDC dc, UINT flags) {
  UpdateWindow(hwnd);
  HDC src = MakeWindowDc(hwnd, (flags & PW_CLIENTONLY) != 0, nullptr);
  if (!src) return FALSE;
  RECT r{};
  if (flags & PW_CLIENTONLY) GetClientRect(hwnd, &r);
  else {
    GetWindowRect(hwnd, &r);
    OffsetRect(&r, -r.left, -r.top);
  }
  // Reading ignores the visible-region limit, so that a covered window still prints.
  if (GdiDc* d = LiveDc(src)) d->hasVis = false;
  BOOL ok = BitBlt(dc, 0, 0, r.right, r.bottom, src, 0, 0, SRCCOPY);
  {
    LayerLock g(Layer().m);
    WindowDcs().erase(src);
  }
  DeleteDC(src);
  return ok;
}

bool CopyWindowSurface(HWND top, RECT* r, std::vector<uint32_t>* pixels) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(top);
  if (!v || !v->surface || !r || !pixels) return false;
  GdiBitmap* s = v->surface;
  RECT all{0, 0, s->width, s->height};
  if (!IntersectRect(r, r, &all)) return false;
  const int w = r->right - r->left, h = r->bottom - r->top;
  pixels->resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = s->Row(r->top + y) + size_t(r->left) * 4;
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = row + size_t(x) * 4;
      (*pixels)[size_t(y) * size_t(w) + size_t(x)] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
  }
  return true;
}

bool CopyWindowSurfaceRows(HWND top, const RECT& r, uint8_t* dst, size_t dstStride) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(top);
  if (!v || !v->surface || !dst) return false;
  GdiBitmap* s = v->surface;
  if (r.left < 0 || r.top < 0 || r.right > s->width || r.bottom > s->height || r.left >= r.right || r.top >= r.bottom) {
    return false;
  }
  const size_t bytes = size_t(r.right - r.left) * 4;
  for (int y = r.top; y < r.bottom; ++y) {
    std::copy(s->Row(y) + size_t(r.left) * 4, s->Row(y) + size_t(r.left) * 4 + bytes, dst);
    dst += dstStride;
  }
  return true;
}

void GetWindowIcons(HWND top, HICON* big, HICON* small) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(top);
  if (big) *big = v ? v->iconBig : nullptr;
  if (small) *small = v ? v->iconSmall : nullptr;
}

bool GetWindowRegionRects(HWND top, std::vector<RECT>* rects) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(top);
  if (!v || !v->hasRegion) return false;
  if (rects) *rects = v->region;
  return true;
}

COLORREF GetWindowPixel(HWND hwnd, int x, int y) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  VisWindow* top = v ? Vis(TopLevelOf(hwnd)) : nullptr;
  if (!top || !top->surface) return CLR_INVALID;
  POINT o = SurfaceOrigin(v);
  const int sx = o.x + x, sy = o.y + y;
  if (x < 0 || y < 0 || x >= v->rect.right - v->rect.left || y >= v->rect.bottom - v->rect.top) return CLR_INVALID;
  if (sx < 0 || sy < 0 || sx >= top->surface->width || sy >= top->surface->height) return CLR_INVALID;
  const uint8_t* p = top->surface->Row(sy) + size_t(sx) * 4;
  return RGB(p[2], p[1], p[0]);
}

bool SaveWindowPng(HWND hwnd, const std::string& hostPath) {
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bm = NewBitmap(w, h, 32, false, false);
  HGDIOBJ old = SelectObject(mem, bm);
  HDC src = MakeWindowDc(hwnd, false, nullptr);
  if (GdiDc* d = LiveDc(src)) d->hasVis = false;
  BitBlt(mem, 0, 0, w, h, src, 0, 0, SRCCOPY);
  {
    LayerLock g(Layer().m);
    WindowDcs().erase(src);
  }
  DeleteDC(src);
  SelectObject(mem, old);
  DeleteDC(mem);
  const bool ok = WriteBitmapPng(bm, hostPath);
  DeleteObject(bm);
  return ok;
}
