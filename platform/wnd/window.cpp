// Window records of the layer: creation and destruction, the window tree and Z-order,
// placement, coordinates, enabling, window regions and finding the window at a point.
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"
#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

LayerState& Layer() {
  static LayerState& s = *new LayerState;
  return s;
}

namespace {

void RemoveFrom(std::vector<HWND>& v, HWND h) { v.erase(std::remove(v.begin(), v.end(), h), v.end()); }

std::vector<HWND>& SiblingList(VisWindow* v) {
  if (v->parent) {
    if (VisWindow* p = Vis(v->parent)) return p->children;
  }
  return Layer().topLevels;
}

// Inserts into the sibling list after `after` (HWND_TOP, HWND_BOTTOM, HWND_TOPMOST,
// HWND_NOTOPMOST or a sibling); topmost top-level windows stay above the others.
void PlaceInZOrder(VisWindow* v, HWND after) {
  auto& list = SiblingList(v);
  RemoveFrom(list, v->hwnd);
  const bool topLevel = !v->parent;
  auto isTopmost = [](HWND h) { return (ExStyleOf(h) & WS_EX_TOPMOST) != 0; };
  if (topLevel && after == HWND_TOPMOST) {
    SetWindowLongPtrW(v->hwnd, GWL_EXSTYLE, LONG_PTR(ExStyleOf(v->hwnd) | WS_EX_TOPMOST));
    after = HWND_TOP;
  } else if (topLevel && after == HWND_NOTOPMOST) {
    SetWindowLongPtrW(v->hwnd, GWL_EXSTYLE, LONG_PTR(ExStyleOf(v->hwnd) & ~WS_EX_TOPMOST));
    after = HWND_TOP;
  }
  size_t pos = 0;
  if (after == HWND_TOP) {
    pos = 0;
  } else if (after == HWND_BOTTOM) {
    pos = list.size();
  } else {
    auto it = std::find(list.begin(), list.end(), after);
    pos = it == list.end() ? 0 : size_t(it - list.begin()) + 1;
  }
  if (topLevel) {
    // Topmost windows first, then the rest.
    size_t firstPlain = 0;
    while (firstPlain < list.size() && isTopmost(list[firstPlain])) ++firstPlain;
    if (isTopmost(v->hwnd)) pos = std::min(pos, firstPlain);
    else pos = std::max(pos, firstPlain);
  }
  list.insert(list.begin() + long(std::min(pos, list.size())), v->hwnd);
}

bool RectContains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

bool InRegion(const VisWindow* v, POINT windowPt) {
  if (!v->hasRegion) return true;
  for (const RECT& r : v->region) {
    if (RectContains(r, windowPt)) return true;
  }
  return false;
}

// The child of `v` under the point (client coordinates of v) that takes mouse input, or null.
VisWindow* ChildAt(VisWindow* v, POINT clientPt, bool skipDisabled) {
  for (HWND c : v->children) {
    VisWindow* cv = Vis(c);
    if (!cv || !(StyleOf(c) & WS_VISIBLE)) continue;
    if (!RectContains(cv->rect, clientPt)) continue;
    POINT wp{clientPt.x - cv->rect.left, clientPt.y - cv->rect.top};
    if (!InRegion(cv, wp)) continue;
    if (skipDisabled && (StyleOf(c) & WS_DISABLED)) return nullptr;
    return cv;
  }
  return nullptr;
}

void ResizeSurface(VisWindow* v) {
  if (v->parent) return;
  const int w = v->rect.right - v->rect.left;
  const int h = v->rect.bottom - v->rect.top;
  GdiBitmap* old = v->surface;
  if (old && old->width == w && old->height == h) return;
  HBITMAP nb = w > 0 && h > 0 ? NewBitmap(w, h, 32, false, false) : nullptr;
  if (nb && old) {
    // Keep what was there, so that a window grows without flashing black.
    const int cw = std::min(w, old->width), ch = std::min(h, old->height);
    for (int y = 0; y < ch; ++y) std::copy(old->Row(y), old->Row(y) + size_t(cw) * 4, nb->Row(y));
  }
  if (old) DeleteObject(old);
  v->surface = nb;
}

}  // namespace

// ---- Helpers under the lock ----

VisWindow* Vis(HWND h) {
  auto& w = Layer().wins;
  auto it = w.find(h);
  return it == w.end() ? nullptr : it->second.get();
}

DWORD StyleOf(HWND h) { return DWORD(GetWindowLongPtrW(h, GWL_STYLE)); }
DWORD ExStyleOf(HWND h) { return DWORD(GetWindowLongPtrW(h, GWL_EXSTYLE)); }
bool IsChildStyle(HWND h) { return (StyleOf(h) & WS_CHILD) != 0; }

HWND TopLevelOf(HWND h) {
  VisWindow* v = Vis(h);
  for (int i = 0; v && v->parent && i < 1000; ++i) v = Vis(v->parent);
  return v ? v->hwnd : nullptr;
}

POINT WindowOrigin(const VisWindow* v) {
  if (!v->parent) return POINT{v->rect.left, v->rect.top};
  const VisWindow* p = Vis(v->parent);
  POINT o = p ? ClientOrigin(p) : POINT{0, 0};
  return POINT{o.x + v->rect.left, o.y + v->rect.top};
}

POINT ClientOrigin(const VisWindow* v) {
  POINT o = WindowOrigin(v);
  return POINT{o.x + v->client.left, o.y + v->client.top};
}

POINT SurfaceOrigin(const VisWindow* v) {
  if (!v->parent) return POINT{0, 0};
  const VisWindow* p = Vis(v->parent);
  if (!p) return POINT{0, 0};
  POINT o = SurfaceOrigin(p);
  return POINT{o.x + p->client.left + v->rect.left, o.y + p->client.top + v->rect.top};
}

bool IsShownChain(const VisWindow* v) {
  for (int i = 0; v && i < 1000; ++i) {
    if (!(StyleOf(v->hwnd) & WS_VISIBLE)) return false;
    if (!v->parent) return true;
    v = Vis(v->parent);
  }
  return false;
}

std::vector<RECT> VisibleInSurface(const VisWindow* v, bool clientOnly) {
  if (!IsShownChain(v)) return {};
  POINT o = SurfaceOrigin(v);
  RECT own = clientOnly ? v->client : RECT{0, 0, v->rect.right - v->rect.left, v->rect.bottom - v->rect.top};
  OffsetRect(&own, o.x, o.y);
  std::vector<RECT> vis = {own};
  auto clipToWindow = [&](const VisWindow* w) {
    POINT wo = SurfaceOrigin(w);
    if (w->hasRegion) {
      std::vector<RECT> r = w->region;
      for (RECT& x : r) OffsetRect(&x, wo.x, wo.y);
      vis = RegionCombine(vis, RegionFromRects(r), RGN_AND);
    } else {
      RECT wr{wo.x, wo.y, wo.x + w->rect.right - w->rect.left, wo.y + w->rect.bottom - w->rect.top};
      vis = RegionCombine(vis, {wr}, RGN_AND);
    }
  };
  auto excludeSiblingsAbove = [&](const VisWindow* w) {
    if (!w->parent) return;
    const VisWindow* p = Vis(w->parent);
    if (!p) return;
    for (HWND s : p->children) {
      if (s == w->hwnd) break;
      const VisWindow* sv = Vis(s);
      if (!sv || !(StyleOf(s) & WS_VISIBLE)) continue;
      POINT so = SurfaceOrigin(sv);
      std::vector<RECT> sr;
      if (sv->hasRegion) {
        sr = sv->region;
        for (RECT& x : sr) OffsetRect(&x, so.x, so.y);
        sr = RegionFromRects(sr);
      } else {
        sr = {RECT{so.x, so.y, so.x + sv->rect.right - sv->rect.left, so.y + sv->rect.bottom - sv->rect.top}};
      }
      vis = RegionCombine(vis, sr, RGN_DIFF);
    }
  };
  clipToWindow(v);
  excludeSiblingsAbove(v);
  for (const VisWindow* a = v->parent ? Vis(v->parent) : nullptr; a && !vis.empty();
       a = a->parent ? Vis(a->parent) : nullptr) {
    POINT ao = SurfaceOrigin(a);
    RECT ac = a->client;
    OffsetRect(&ac, ao.x, ao.y);
    vis = RegionCombine(vis, {ac}, RGN_AND);
    clipToWindow(a);
    excludeSiblingsAbove(a);
  }
  if (clientOnly && (StyleOf(v->hwnd) & WS_CLIPCHILDREN)) {
    for (HWND c : v->children) {
      const VisWindow* cv = Vis(c);
      if (!cv || !(StyleOf(c) & WS_VISIBLE)) continue;
      POINT co = SurfaceOrigin(cv);
      std::vector<RECT> cr;
      if (cv->hasRegion) {
        cr = cv->region;
        for (RECT& x : cr) OffsetRect(&x, co.x, co.y);
        cr = RegionFromRects(cr);
      } else {
        cr = {RECT{co.x, co.y, co.x + cv->rect.right - cv->rect.left, co.y + cv->rect.bottom - cv->rect.top}};
      }
      vis = RegionCombine(vis, cr, RGN_DIFF);
    }
  }
  return vis;
}

RECT FrameInsets(DWORD style, DWORD exStyle) {
  int b = 0;
  if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) b = 3;
  else if (style & WS_BORDER) b = 1;
  if (style & WS_THICKFRAME) b = 4;
  if (exStyle & WS_EX_CLIENTEDGE) b += 2;
  if (exStyle & WS_EX_STATICEDGE) b += 1;
  int caption = (style & WS_CAPTION) == WS_CAPTION ? 20 : 0;
  return RECT{b, b + caption, b, b};
}

RECT NonClientInsets(DWORD style, DWORD exStyle) {
  RECT in = FrameInsets(style, exStyle);
  if (style & WS_VSCROLL) in.right += kScrollBarSize;
  if (style & WS_HSCROLL) in.bottom += kScrollBarSize;
  return in;
}

void WakeThreads(const std::vector<DWORD>& threads) {
  std::vector<DWORD> t = threads;
  std::sort(t.begin(), t.end());
  t.erase(std::unique(t.begin(), t.end()), t.end());
  for (DWORD id : t) WakeMessageThread(id);
}

// ---- Core hooks ----

namespace {
struct CreationHook {
  void (*fn)(HWND, void*) = nullptr;
  void* ctx = nullptr;
};
thread_local CreationHook t_hook;
}  // namespace

void HookNextWindowCreation(void (*fn)(HWND, void*), void* ctx) { t_hook = CreationHook{fn, ctx}; }

void LayerWindowCreated(HWND hwnd, const CREATESTRUCTW* cs) {
  RecordCreated(hwnd, cs);
  CreationHook h = t_hook;
  t_hook = CreationHook{};
  if (h.fn) h.fn(hwnd, h.ctx);
}

void RecordCreated(HWND hwnd, const CREATESTRUCTW* cs) {
  LayerLock g(Layer().m);
  auto v = std::make_unique<VisWindow>();
  v->hwnd = hwnd;
  v->thread = GetWindowThreadProcessId(hwnd, nullptr);
  const DWORD style = DWORD(cs->style);
  HWND parentArg = cs->hwndParent;
  if (style & WS_CHILD) {
    v->parent = parentArg;
  } else if (parentArg && Vis(parentArg)) {
    v->owner = TopLevelOf(parentArg);
  }
  int x = cs->x, y = cs->y, cx = cs->cx, cy = cs->cy;
  if (x == CW_USEDEFAULT) x = 40, y = 40;
  if (cx == CW_USEDEFAULT) cx = 640, cy = 480;
  v->rect = RECT{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
  RECT in = NonClientInsets(style, cs->dwExStyle);
  v->client = RECT{in.left, in.top, std::max(in.left, cx - in.right), std::max(in.top, cy - in.bottom)};
  VisWindow* raw = v.get();
  Layer().wins[hwnd] = std::move(v);
  if (raw->parent && Vis(raw->parent)) {
    Vis(raw->parent)->children.push_back(hwnd);  // children created later lie below
  } else {
    raw->parent = nullptr;
    PlaceInZOrder(raw, HWND_TOP);
    ResizeSurface(raw);
  }
  raw->update = {RECT{0, 0, raw->client.right - raw->client.left, raw->client.bottom - raw->client.top}};
  raw->erase = true;
  raw->ncDirty = true;
}

void LayerWindowDestroying(HWND hwnd) {
  bool wasShown = false;
  HWND parent = nullptr;
  RECT r{};
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return;
    wasShown = (StyleOf(hwnd) & WS_VISIBLE) != 0;
    parent = v->parent;
    r = v->rect;
  }
  ForgetFocusAndActivation(hwnd);
  {
    LayerLock g(Layer().m);
    if (Layer().capture == hwnd) Layer().capture = nullptr;
  }
  if (wasShown && parent) InvalidateRect(parent, &r, TRUE);
  if (wasShown && !parent) {
    if (auto* b = CurrentBackend()) b->WindowShown(hwnd, false);
  }
}

void LayerWindowDestroyed(HWND hwnd) {
  bool topLevel = false;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return;
    topLevel = !v->parent;
  }
  if (topLevel) {
    if (auto* b = CurrentBackend()) b->WindowDestroyed(hwnd);
  }
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return;
  RemoveFrom(SiblingList(v), hwnd);
  if (v->surface) DeleteObject(v->surface);
  // The icons of WM_SETICON stay with whoever made them: a window never owned them.
  if (v->sysMenu) DestroyMenu(v->sysMenu);
  for (auto& kv : Layer().wins) {
    if (kv.second->owner == hwnd) kv.second->owner = nullptr;
    if (kv.second->lastActivePopup == hwnd) kv.second->lastActivePopup = nullptr;
  }
  if (Layer().lastClickWnd == hwnd) Layer().lastClickWnd = nullptr;
  if (Layer().keyFront == hwnd) Layer().keyFront = nullptr;
  if (Layer().pressWnd == hwnd) Layer().pressWnd = nullptr;
  Layer().wins.erase(hwnd);
}

// ---- Tree ----

BOOL IsWindowVisible(HWND hwnd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  return v && IsShownChain(v);
}

BOOL IsChild(HWND parent, HWND hwnd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  for (int i = 0; v && v->parent && i < 1000; ++i) {
    if (v->parent == parent) return TRUE;
    v = Vis(v->parent);
  }
  return FALSE;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return nullptr;
  if (cmd == GW_CHILD) return v->children.empty() ? nullptr : v->children.front();
  if (cmd == GW_OWNER) return v->owner;
  auto& list = SiblingList(v);
  auto it = std::find(list.begin(), list.end(), hwnd);
  if (it == list.end()) return nullptr;
  switch (cmd) {
    case GW_HWNDFIRST: return list.front();
    case GW_HWNDLAST: return list.back();
    case GW_HWNDNEXT: return it + 1 == list.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == list.begin() ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return nullptr;
  if (flags == GA_PARENT) return v->parent;
  HWND top = TopLevelOf(hwnd);
  if (flags == GA_ROOTOWNER) {
    for (int i = 0; i < 1000; ++i) {
      VisWindow* t = Vis(top);
      if (!t || !t->owner) break;
      top = t->owner;
    }
  }
  return top;
}

HWND GetTopWindow(HWND hwnd) {
  LayerLock g(Layer().m);
  if (!hwnd) return Layer().topLevels.empty() ? nullptr : Layer().topLevels.front();
  VisWindow* v = Vis(hwnd);
  return v && !v->children.empty() ? v->children.front() : nullptr;
}

HWND GetDesktopWindow() { return nullptr; }

HWND GetOwner(HWND hwnd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  return v ? v->owner : nullptr;
}

HWND GetLastActivePopup(HWND hwnd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return nullptr;
  if (v->lastActivePopup && Vis(v->lastActivePopup) && IsShownChain(Vis(v->lastActivePopup)))
    return v->lastActivePopup;
  return hwnd;
}

HWND SetParent(HWND child, HWND newParent) {
  HWND old = nullptr;
  RECT r{};
  bool shown = false;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(child);
    if (!v || (newParent && !Vis(newParent)) || newParent == child) return nullptr;
    old = v->parent;
    r = v->rect;
    shown = (StyleOf(child) & WS_VISIBLE) != 0;
    RemoveFrom(SiblingList(v), child);
    v->parent = newParent;
    if (newParent) {
      Vis(newParent)->children.insert(Vis(newParent)->children.begin(), child);
      if (v->surface) DeleteObject(v->surface), v->surface = nullptr;
    } else {
      PlaceInZOrder(v, HWND_TOP);
      ResizeSurface(v);
    }
  }
  if (shown && old) InvalidateRect(old, &r, TRUE);
  if (shown) InvalidateRect(child, nullptr, TRUE);
  return old;
}

// ---- Placement ----

BOOL GetWindowRect(HWND hwnd, RECT* r) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v || !r) return FALSE;
  POINT o = WindowOrigin(v);
  *r = RECT{o.x, o.y, o.x + v->rect.right - v->rect.left, o.y + v->rect.bottom - v->rect.top};
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* r) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v || !r) return FALSE;
  *r = RECT{0, 0, v->client.right - v->client.left, v->client.bottom - v->client.top};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v || !pt) return FALSE;
  POINT o = ClientOrigin(v);
  pt->x -= o.x, pt->y -= o.y;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v || !pt) return FALSE;
  POINT o = ClientOrigin(v);
  pt->x += o.x, pt->y += o.y;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* pts, UINT count) {
  LayerLock g(Layer().m);
  POINT a{0, 0}, b{0, 0};
  if (from) {
    VisWindow* v = Vis(from);
    if (!v) return 0;
    a = ClientOrigin(v);
  }
  if (to) {
    VisWindow* v = Vis(to);
    if (!v) return 0;
    b = ClientOrigin(v);
  }
  const int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; pts && i < count; ++i) pts[i].x += dx, pts[i].y += dy;
  return MAKELPARAM(dx, dy);
}

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  InitWindowLayer();
  WINDOWPOS wp{hwnd, after, x, y, cx, cy, flags};
  bool wasShown = false, isChild = false;
  RECT oldRect{};
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return FALSE;
    oldRect = v->rect;
    wasShown = (StyleOf(hwnd) & WS_VISIBLE) != 0;
    isChild = v->parent != nullptr;
    if (flags & SWP_NOMOVE) wp.x = v->rect.left, wp.y = v->rect.top;
    if (flags & SWP_NOSIZE) wp.cx = v->rect.right - v->rect.left, wp.cy = v->rect.bottom - v->rect.top;
  }
  if (!(flags & SWP_NOSENDCHANGING)) SendMessageW(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  wp.cx = std::max(wp.cx, 0);
  wp.cy = std::max(wp.cy, 0);
  // The client area follows from the frame the window asks for.
  NCCALCSIZE_PARAMS nc{};
  nc.rgrc[0] = RECT{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
  nc.lppos = &wp;
  SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&nc));
  RECT newClient = nc.rgrc[0];
  OffsetRect(&newClient, -wp.x, -wp.y);
  newClient.right = std::max(newClient.left, std::min<LONG>(newClient.right, wp.cx));
  newClient.bottom = std::max(newClient.top, std::min<LONG>(newClient.bottom, wp.cy));

  bool moved = false, sized = false, shown = wasShown, topmostChanged = false;
  std::vector<DWORD> wake;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return FALSE;
    RECT nr{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    moved = nr.left != v->rect.left || nr.top != v->rect.top;
    sized = (nr.right - nr.left) != (v->rect.right - v->rect.left) ||
            (nr.bottom - nr.top) != (v->rect.bottom - v->rect.top) || !EqualRect(&newClient, &v->client);
    v->rect = nr;
    v->client = newClient;
    if (!(flags & SWP_NOZORDER)) {
      const DWORD topmostBefore = ExStyleOf(hwnd) & WS_EX_TOPMOST;
      PlaceInZOrder(v, wp.hwndInsertAfter);
      topmostChanged = (ExStyleOf(hwnd) & WS_EX_TOPMOST) != topmostBefore;
    }
    DWORD style = StyleOf(hwnd);
    if (flags & SWP_SHOWWINDOW) style |= WS_VISIBLE, shown = true;
    if (flags & SWP_HIDEWINDOW) style &= ~WS_VISIBLE, shown = false;
    SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(style));
    if (sized) ResizeSurface(v);
    if (!(flags & SWP_NOREDRAW) && shown && (sized || (!wasShown && shown) || (flags & SWP_FRAMECHANGED) ||
                                             (moved && isChild))) {
      v->ncDirty = true;
      AddUpdate(v, {RECT{0, 0, v->client.right - v->client.left, v->client.bottom - v->client.top}}, true, true,
                &wake);
    }
  }
  if (isChild && !(flags & SWP_NOREDRAW) && (moved || sized || wasShown != shown) && (wasShown || shown)) {
    HWND parent = GetParent(hwnd);
    InvalidateRect(parent, &oldRect, TRUE);
    RECT nr{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    if (shown) InvalidateRect(parent, &nr, TRUE);
  }
  WakeThreads(wake);
  if (!isChild) {
    if (auto* b = CurrentBackend()) {
      if (moved || sized) b->WindowPlaced(hwnd);
      if (topmostChanged) b->WindowStateChanged(hwnd);
      if (!(flags & SWP_NOZORDER) && (wp.hwndInsertAfter == HWND_TOP || wp.hwndInsertAfter == HWND_TOPMOST)) {
        b->WindowRestacked(hwnd);
      }
      if (wasShown != shown) b->WindowShown(hwnd, shown);
    }
  }
  if (wasShown && !shown) ForgetFocusAndActivation(hwnd);
  if (!moved) wp.flags |= SWP_NOMOVE;
  if (!sized) wp.flags |= SWP_NOSIZE;
  SendMessageW(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) { return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

BOOL IsZoomed(HWND hwnd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  return v && v->zoomed;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp) {
  if (!wp) return FALSE;
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return FALSE;
  wp->flags = 0;
  wp->showCmd = v->iconic ? SW_SHOWMINIMIZED : v->zoomed ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  wp->ptMinPosition = POINT{-1, -1};
  wp->ptMaxPosition = POINT{-1, -1};
  wp->rcNormalPosition = (v->zoomed || v->iconic) ? v->restore : v->rect;
  return TRUE;
}

BOOL IsIconic(HWND hwnd) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  return v && v->iconic;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  InitWindowLayer();
  bool wasVisible = false, child = false;
  RECT restore{};
  bool zoomed = false, iconic = false;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return FALSE;
    wasVisible = (StyleOf(hwnd) & WS_VISIBLE) != 0;
    child = v->parent != nullptr;
    zoomed = v->zoomed;
    iconic = v->iconic;
    restore = v->restore;
  }
  const bool show = cmd != SW_HIDE;
  if (show != wasVisible) SendMessageW(hwnd, WM_SHOWWINDOW, show, 0);
  UINT flags = SWP_NOZORDER | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
  const bool activate = show && !child && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINNOACTIVE;
  if (!activate) flags |= SWP_NOACTIVATE;
  if (cmd == SW_MAXIMIZE && !zoomed) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MINMAXINFO mmi{};
    mmi.ptMaxPosition = POINT{work.left, work.top};
    mmi.ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
    mmi.ptMaxTrackSize = mmi.ptMaxSize;
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    {
      LayerLock g(Layer().m);
      VisWindow* v = Vis(hwnd);
      if (!v) return FALSE;
      if (!v->iconic) v->restore = v->rect;
      v->zoomed = true;
      v->iconic = false;
    }
    SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR((StyleOf(hwnd) | WS_MAXIMIZE) & ~WS_MINIMIZE));
    SetWindowPos(hwnd, nullptr, mmi.ptMaxPosition.x, mmi.ptMaxPosition.y, mmi.ptMaxSize.x, mmi.ptMaxSize.y, flags);
  } else if ((cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED || cmd == SW_SHOWMINNOACTIVE) && !iconic) {
    {
      LayerLock g(Layer().m);
      VisWindow* v = Vis(hwnd);
      if (!v) return FALSE;
      if (!v->zoomed) v->restore = v->rect;
      v->iconic = true;
    }
    SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(StyleOf(hwnd) | WS_MINIMIZE));
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, flags | SWP_NOMOVE | SWP_NOSIZE);
    ForgetFocusAndActivation(hwnd);
  } else if (cmd == SW_RESTORE && (zoomed || iconic)) {
    {
      LayerLock g(Layer().m);
      VisWindow* v = Vis(hwnd);
      if (!v) return FALSE;
      v->zoomed = false;
      v->iconic = false;
    }
    SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(StyleOf(hwnd) & ~(WS_MAXIMIZE | WS_MINIMIZE)));
    SetWindowPos(hwnd, nullptr, restore.left, restore.top, restore.right - restore.left, restore.bottom - restore.top,
                 flags);
  } else {
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, flags | SWP_NOMOVE | SWP_NOSIZE);
  }
  if (!child && IsWindow(hwnd)) {
    bool nowZoomed = false, nowIconic = false;
    {
      LayerLock g(Layer().m);
      if (VisWindow* v = Vis(hwnd)) nowZoomed = v->zoomed, nowIconic = v->iconic;
    }
    if (nowZoomed != zoomed || nowIconic != iconic) {
      if (auto* b = CurrentBackend()) b->WindowStateChanged(hwnd);
    }
  }
  if (activate && IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
    if (!(StyleOf(hwnd) & WS_DISABLED) && cmd != SW_MINIMIZE && cmd != SW_SHOWMINIMIZED) SetActiveWindow(hwnd);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL CenterWindowOver(HWND hwnd, HWND over) {
  RECT area{};
  if (!over) over = GetOwner(hwnd);
  if (!over || !GetWindowRect(over, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) return FALSE;
  const int w = r.right - r.left, h = r.bottom - r.top;
  int x = area.left + (area.right - area.left - w) / 2;
  int y = area.top + (area.bottom - area.top - h) / 2;
  if (IsChildStyle(hwnd)) {
    POINT p{x, y};
    ScreenToClient(GetParent(hwnd), &p);
    x = p.x, y = p.y;
  }
  return SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  if (!IsWindow(hwnd)) return FALSE;
  const DWORD style = StyleOf(hwnd);
  const bool wasDisabled = (style & WS_DISABLED) != 0;
  if (wasDisabled == !enable) return wasDisabled;
  SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(enable ? style & ~WS_DISABLED : style | WS_DISABLED));
  if (!enable) {
    {
      LayerLock g(Layer().m);
      if (Layer().capture == hwnd) Layer().capture = nullptr;
    }
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
      HWND f = GetFocus();
      if (f && (f == hwnd || IsChild(hwnd, f))) SetFocus(nullptr);
    }
  }
  // A window of another thread hears of it when that thread next looks at its queue.
  if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) SendMessageW(hwnd, WM_ENABLE, enable, 0);
  else PostMessageW(hwnd, WM_ENABLE, enable, 0);
  InvalidateRect(hwnd, nullptr, TRUE);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) { return IsWindow(hwnd) && !(StyleOf(hwnd) & WS_DISABLED); }

int GetWindowTextLengthW(HWND hwnd) { return int(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

int GetWindowTextW(HWND hwnd, char16_t* buf, int max) {
  return int(SendMessageW(hwnd, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(buf)));
}

// ---- Regions and hit-testing ----

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw) {
  std::vector<RECT> rects;
  bool has = false;
  if (rgn) {
    GdiRegion* r = LiveGdi(rgn, GdiKind::Region);
    if (!r) return 0;
    rects = r->rects;
    has = true;
    DeleteObject(rgn);  // the window owns it now
  }
  bool child = false;
  RECT wr{};
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return 0;
    v->hasRegion = has;
    v->region = std::move(rects);
    child = v->parent != nullptr;
    wr = v->rect;
  }
  if (!child) {
    if (auto* b = CurrentBackend()) b->WindowShaped(hwnd);
  }
  if (redraw) {
    if (child) InvalidateRect(GetParent(hwnd), &wr, TRUE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN rgn) {
  GdiRegion* r = LiveGdi(rgn, GdiKind::Region);
  if (!r) return ERROR;
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v || !v->hasRegion) return ERROR;
  r->rects = v->region;
  return r->rects.empty() ? NULLREGION : r->rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HWND WindowFromPoint(POINT pt) {
  LayerLock g(Layer().m);
  for (HWND t : Layer().topLevels) {
    VisWindow* v = Vis(t);
    if (!v || !(StyleOf(t) & WS_VISIBLE) || v->iconic) continue;
    if (!RectContains(v->rect, pt)) continue;
    if (!InRegion(v, POINT{pt.x - v->rect.left, pt.y - v->rect.top})) continue;
    if (StyleOf(t) & WS_DISABLED) return t;  // the caller sees a disabled window and drops input
    VisWindow* cur = v;
    for (int depth = 0; depth < 1000; ++depth) {
      POINT co = ClientOrigin(cur);
      POINT cp{pt.x - co.x, pt.y - co.y};
      RECT cr{0, 0, cur->client.right - cur->client.left, cur->client.bottom - cur->client.top};
      if (!RectContains(cr, cp)) break;
      VisWindow* c = ChildAt(cur, cp, true);
      if (!c) break;
      cur = c;
    }
    return cur->hwnd;
  }
  return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT clientPt) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(parent);
  if (!v) return nullptr;
  VisWindow* c = ChildAt(v, clientPt, false);
  return c ? c->hwnd : parent;
}

// ---- Screen ----

namespace {

// Without a display that says otherwise: a task bar of 40 pixels at the bottom, as on the
// systems the layout was made for.
RECT WorkAreaLocked() {
  const LayerState& L = Layer();
  if (L.hasWorkArea) return L.workArea;
  return RECT{0, 0, L.screenW, std::max(1, L.screenH - 40)};
}

}  // namespace

void SetScreenSize(int width, int height) {
  LayerLock g(Layer().m);
  Layer().screenW = std::max(width, 1);
  Layer().screenH = std::max(height, 1);
  SetDeviceScreenSize(Layer().screenW, Layer().screenH);
}

int GetSystemMetrics(int index) {
  LayerLock g(Layer().m);
  switch (index) {
    case SM_CXSCREEN: return Layer().screenW;
    case SM_CXMAXIMIZED: return WorkAreaLocked().right - WorkAreaLocked().left;
    case SM_CYSCREEN: return Layer().screenH;
    case SM_CYMAXIMIZED: return WorkAreaLocked().bottom - WorkAreaLocked().top;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 17;
    case SM_CYCAPTION: return 20;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
  }
}

BOOL SystemParametersInfoW(UINT action, UINT, void* out, UINT) {
  if (action != SPI_GETWORKAREA || !out) return FALSE;
  LayerLock g(Layer().m);
  *static_cast<RECT*>(out) = WorkAreaLocked();
  return TRUE;
}

void SetScreenWorkArea(const RECT* area) {
  LayerLock g(Layer().m);
  Layer().hasWorkArea = area != nullptr;
  if (area) Layer().workArea = *area;
}
