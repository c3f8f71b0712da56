// Regions as banded, sorted rectangle lists, and the calls that make and combine them.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

namespace {

using Spans = std::vector<std::pair<LONG, LONG>>;  // sorted, disjoint [left, right)

// Appends one band, merging it into the previous band when they touch and match.
void EmitBand(std::vector<RECT>& out, size_t& lastBandStart, LONG top, LONG bottom, const Spans& spans) {
  if (spans.empty()) return;
  if (!out.empty() && out.back().bottom == top && out.size() - lastBandStart == spans.size()) {
    bool same = true;
    for (size_t i = 0; i < spans.size() && same; ++i) {
      const RECT& r = out[lastBandStart + i];
      same = r.left == spans[i].first && r.right == spans[i].second;
    }
    if (same) {
      for (size_t i = lastBandStart; i < out.size(); ++i) out[i].bottom = bottom;
      return;
    }
  }
  lastBandStart = out.size();
  for (const auto& s : spans) out.push_back(RECT{s.first, top, s.second, bottom});
}

// Sorts and merges overlapping or touching spans.
void Normalize(Spans& s) {
  std::sort(s.begin(), s.end());
  size_t w = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (w > 0 && s[i].first <= s[w - 1].second) {
      s[w - 1].second = std::max(s[w - 1].second, s[i].second);
    } else {
      s[w++] = s[i];
    }
  }
  s.resize(w);
}

bool Keep(bool a, bool b, int mode) {
  switch (mode) {
    case RGN_AND: return a && b;
    case RGN_OR: return a || b;
    case RGN_XOR: return a != b;
    case RGN_DIFF: return a && !b;
    default: return a;
  }
}

Spans CombineSpans(const Spans& a, const Spans& b, int mode) {
  std::vector<LONG> xs;
  xs.reserve(2 * (a.size() + b.size()));
  for (const auto& s : a) xs.insert(xs.end(), {s.first, s.second});
  for (const auto& s : b) xs.insert(xs.end(), {s.first, s.second});
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  Spans out;
  size_t ia = 0, ib = 0;
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    LONG x0 = xs[i], x1 = xs[i + 1];
    while (ia < a.size() && a[ia].second <= x0) ++ia;
    while (ib < b.size() && b[ib].second <= x0) ++ib;
    bool inA = ia < a.size() && a[ia].first <= x0;
    bool inB = ib < b.size() && b[ib].first <= x0;
    if (!Keep(inA, inB, mode)) continue;
    if (!out.empty() && out.back().second == x0) {
      out.back().second = x1;
    } else {
      out.emplace_back(x0, x1);
    }
  }
  return out;
}

// The spans of the band of `r` that covers row y; `pos` walks forward as y grows.
Spans BandAt(const std::vector<RECT>& r, size_t& pos, LONG y) {
  while (pos < r.size() && r[pos].bottom <= y) ++pos;
  Spans s;
  for (size_t i = pos; i < r.size() && r[i].top <= y && r[i].bottom > y; ++i) {
    s.emplace_back(r[i].left, r[i].right);
  }
  return s;
}

}  // namespace

std::vector<RECT> RegionFromRects(std::vector<RECT> rects) {
  std::erase_if(rects, [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; });
  std::sort(rects.begin(), rects.end(), [](const RECT& a, const RECT& b) { return a.top < b.top; });
  std::vector<LONG> ys;
  ys.reserve(rects.size() * 2);
  for (const RECT& r : rects) ys.insert(ys.end(), {r.top, r.bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<RECT> out;
  std::vector<const RECT*> active;
  size_t next = 0, lastBand = 0;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    LONG y0 = ys[i], y1 = ys[i + 1];
    while (next < rects.size() && rects[next].top <= y0) active.push_back(&rects[next++]);
    std::erase_if(active, [&](const RECT* r) { return r->bottom <= y0; });
    Spans s;
    for (const RECT* r : active) s.emplace_back(r->left, r->right);
    Normalize(s);
    EmitBand(out, lastBand, y0, y1, s);
  }
  return out;
}

std::vector<RECT> RegionCombine(const std::vector<RECT>& a, const std::vector<RECT>& b, int mode) {
  if (mode == RGN_COPY) return a;
  std::vector<LONG> ys;
  ys.reserve(2 * (a.size() + b.size()));
  for (const RECT& r : a) ys.insert(ys.end(), {r.top, r.bottom});
  for (const RECT& r : b) ys.insert(ys.end(), {r.top, r.bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<RECT> out;
  size_t pa = 0, pb = 0, lastBand = 0;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    Spans sa = BandAt(a, pa, ys[i]);
    Spans sb = BandAt(b, pb, ys[i]);
    EmitBand(out, lastBand, ys[i], ys[i + 1], CombineSpans(sa, sb, mode));
  }
  return out;
}

RECT RegionBox(const std::vector<RECT>& r) {
  if (r.empty()) return RECT{0, 0, 0, 0};
  RECT box = r.front();
  for (const RECT& x : r) {
    box.left = std::min(box.left, x.left);
    box.right = std::max(box.right, x.right);
    box.bottom = std::max(box.bottom, x.bottom);
  }
  return box;
}

static int TypeOf(const GdiRegion* g) {
  return g->rects.empty() ? NULLREGION : g->rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

static GdiRegion* NewRegion(std::vector<RECT> rects) {
  auto* g = new (std::nothrow) GdiRegion;
  if (!g) return nullptr;
  g->rects = std::move(rects);
  RegisterGdiObject(g);
  return g;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  return NewRegion(RegionFromRects({r}));
}

HRGN CreateRectRgnIndirect(const RECT* r) {
  return r ? CreateRectRgn(r->left, r->top, r->right, r->bottom) : nullptr;
}

BOOL SetRectRgn(HRGN h, int left, int top, int right, int bottom) {
  GdiRegion* g = LiveGdi(h, GdiKind::Region);
  if (!g) return FALSE;
  RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  g->rects = RegionFromRects({r});
  return TRUE;
}

HRGN ExtCreateRegion(const XFORM* xf, DWORD size, const RGNDATA* data) {
  if (xf || !data || size < sizeof(RGNDATAHEADER)) return nullptr;
  RGNDATAHEADER h;
  std::memcpy(&h, data, sizeof h);
  if (h.dwSize != sizeof(RGNDATAHEADER) || h.iType != RDH_RECTANGLES) return nullptr;
  // The rectangles must lie inside the bytes the caller passed.
  if (h.nCount > (size - sizeof(RGNDATAHEADER)) / sizeof(RECT)) return nullptr;
  std::vector<RECT> rects(h.nCount);
  if (h.nCount) {
    std::memcpy(rects.data(), reinterpret_cast<const uint8_t*>(data) + sizeof(RGNDATAHEADER),
                h.nCount * sizeof(RECT));
  }
  return NewRegion(RegionFromRects(std::move(rects)));
}

int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode) {
  GdiRegion* d = LiveGdi(dst, GdiKind::Region);
  GdiRegion* ra = LiveGdi(a, GdiKind::Region);
  if (!d || !ra || mode < RGN_AND || mode > RGN_COPY) return ERROR;
  if (mode == RGN_COPY) {
    d->rects = ra->rects;
    return TypeOf(d);
  }
  GdiRegion* rb = LiveGdi(b, GdiKind::Region);
  if (!rb) return ERROR;
  d->rects = RegionCombine(ra->rects, rb->rects, mode);
  return TypeOf(d);
}

BOOL PtInRegion(HRGN h, int x, int y) {
  GdiRegion* g = LiveGdi(h, GdiKind::Region);
  if (!g) return FALSE;
  POINT p{x, y};
  for (const RECT& r : g->rects) {
    if (r.top > y) break;
    if (PtInRect(&r, p)) return TRUE;
  }
  return FALSE;
}

int GetRgnBox(HRGN h, RECT* box) {
  GdiRegion* g = LiveGdi(h, GdiKind::Region);
  if (!g || !box) return ERROR;
  *box = RegionBox(g->rects);
  return TypeOf(g);
}

int OffsetRgn(HRGN h, int dx, int dy) {
  GdiRegion* g = LiveGdi(h, GdiKind::Region);
  if (!g) return ERROR;
  for (RECT& r : g->rects) OffsetRect(&r, dx, dy);
  return TypeOf(g);
}

BOOL EqualRgn(HRGN a, HRGN b) {
  GdiRegion* ra = LiveGdi(a, GdiKind::Region);
  GdiRegion* rb = LiveGdi(b, GdiKind::Region);
  if (!ra || !rb || ra->rects.size() != rb->rects.size()) return FALSE;
  for (size_t i = 0; i < ra->rects.size(); ++i) {
    if (!EqualRect(&ra->rects[i], &rb->rects[i])) return FALSE;
  }
  return TRUE;
}

DWORD GetRegionData(HRGN h, DWORD size, RGNDATA* data) {
  GdiRegion* g = LiveGdi(h, GdiKind::Region);
  if (!g) return 0;
  size_t need = sizeof(RGNDATAHEADER) + g->rects.size() * sizeof(RECT);
  if (!data) return DWORD(need);
  if (size < need) return 0;
  RGNDATAHEADER hd{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(g->rects.size()),
                   DWORD(g->rects.size() * sizeof(RECT)), RegionBox(g->rects)};
  std::memcpy(data, &hd, sizeof hd);
  if (!g->rects.empty()) {
    std::memcpy(reinterpret_cast<uint8_t*>(data) + sizeof hd, g->rects.data(), g->rects.size() * sizeof(RECT));
  }
  return DWORD(need);
}

BOOL FillRgn(HDC dc, HRGN h, HBRUSH brush) {
  GdiRegion* g = LiveGdi(h, GdiKind::Region);
  if (!g || !LiveDc(dc)) return FALSE;
  for (const RECT& r : g->rects) {
    if (!FillRect(dc, &r, brush)) return FALSE;
  }
  return TRUE;
}
