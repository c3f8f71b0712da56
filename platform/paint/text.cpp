// Text: measuring, drawing a run of glyphs with grey anti-aliasing, TextOut, DrawText with its
// layout flags, and disabled text through DrawState.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/paint/fontcache.h"
#include "platform/paint/gdi.h"

namespace {

inline BYTE Mix(BYTE d, BYTE c, unsigned a) {
  const unsigned x = c * a + d * (255 - a);
  return BYTE((x + 128 + ((x + 128) >> 8)) >> 8);
}

std::u32string Decode(std::u16string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(c);
  }
  return out;
}

// One line of text with, per character, whether a '&' prefix marked it.
struct Line {
  std::u32string chars;
  std::vector<bool> marked;
  int width = 0;
};

// Width in pixels, held below 2^30 however long the text.
int Measure(FontInstance* fi, const std::u32string& s) {
  int64_t w = 0;
  for (char32_t c : s) {
    w += fi->Get(c).advance;
    if (w >= (1 << 30)) return 1 << 30;
  }
  return int(w);
}

// Draws one run with its top-left cell corner at device (x, y), clipped to `clip` (device).
void DrawRun(GdiDc* dc, FontInstance* fi, int x, int y, const Line& line, COLORREF color, const RECT& clip) {
  GdiBitmap* bm = dc->s.bitmap;
  if (!bm || dc->infoOnly) return;
  const BYTE cr = GetRValue(color), cg = GetGValue(color), cb = GetBValue(color);
  const int baseline = y + fi->ascent;
  auto fill = [&](RECT r) {
    RECT c;
    if (!IntersectRect(&c, &r, &clip)) return;
    ForEachClipRect(dc, c, [&](const RECT& cr2) {
      const int db = bm->Bytes();
      for (int yy = cr2.top; yy < cr2.bottom; ++yy) {
        uint8_t* p = bm->Row(yy) + size_t(cr2.left) * size_t(db);
        for (int xx = cr2.left; xx < cr2.right; ++xx, p += db) PutPixel(p, db, cr, cg, cb);
      }
    });
  };
  int pen = x;
  const int stop = std::min<int>(clip.right, bm->width) + fi->maxCharWidth;  // glyphs may reach back
  for (size_t i = 0; i < line.chars.size() && pen < stop; ++i) {
    const Glyph& g = fi->Get(line.chars[i]);
    if (g.width > 0) {
      const int gx = pen + g.left, gy = baseline - g.top;
      RECT gr{gx, gy, gx + g.width, gy + g.height};
      RECT c;
      if (IntersectRect(&c, &gr, &clip)) {
        ForEachClipRect(dc, c, [&](const RECT& r) {
          const int db = bm->Bytes();
          for (int yy = r.top; yy < r.bottom; ++yy) {
            uint8_t* p = bm->Row(yy) + size_t(r.left) * size_t(db);
            const uint8_t* a = g.coverage.data() + size_t(yy - gy) * size_t(g.width) + size_t(r.left - gx);
            for (int xx = r.left; xx < r.right; ++xx, p += db, ++a) {
              if (*a == 0) continue;
              p[0] = Mix(p[0], cb, *a);
              p[1] = Mix(p[1], cg, *a);
              p[2] = Mix(p[2], cr, *a);
              if (db == 4) p[3] = 0;
            }
          }
        });
      }
    }
    if (i < line.marked.size() && line.marked[i]) {
      const int uy = baseline + fi->underlinePos;
      fill(RECT{pen, uy, pen + g.advance, uy + fi->underlineThick});
    }
    pen += g.advance;
  }
  if (fi->underline) {
    const int uy = baseline + fi->underlinePos;
    fill(RECT{x, uy, pen, uy + fi->underlineThick});
  }
  if (fi->strikeOut) {
    const int sy = baseline - fi->ascent / 3;
    fill(RECT{x, sy, pen, sy + fi->underlineThick});
  }
}

RECT Unbounded() { return RECT{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2}; }

// Splits text into lines and strips '&' prefixes ("&&" is a plain '&').
std::vector<Line> SplitLines(const std::u32string& text, bool prefixes, bool single) {
  std::vector<Line> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (!single && (c == U'\r' || c == U'\n')) {
      if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
      lines.emplace_back();
      continue;
    }
    bool mark = false;
    if (prefixes && c == U'&') {
      if (i + 1 >= text.size()) break;
      c = text[++i];
      mark = c != U'&';
    }
    lines.back().chars.push_back(c);
    lines.back().marked.push_back(mark);
  }
  return lines;
}

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t'; }
bool BreaksAlone(char32_t c) { return c >= 0x2E80; }  // CJK text may break between any two characters

// Breaks one line into lines no wider than `width` at blanks (and, with `breakWords`, inside
// words that are wider than a line on their own).
void WrapLine(FontInstance* fi, const Line& in, int width, bool breakWords, std::vector<Line>& out) {
  const auto& s = in.chars;
  size_t start = 0;
  if (s.empty()) {
    out.push_back(in);
    return;
  }
  while (start < s.size()) {
    int64_t w = 0;
    size_t i = start, lastBreak = std::u32string::npos;
    for (; i < s.size(); ++i) {
      if (IsSpace(s[i])) lastBreak = i;
      else if (i > start && (BreaksAlone(s[i]) || BreaksAlone(s[i - 1]))) lastBreak = i;
      const int adv = fi->Get(s[i]).advance;
      if (w + adv > width && !IsSpace(s[i]) && i > start) break;
      w += adv;
    }
    size_t end = i, next = i;
    if (i < s.size()) {
      if (lastBreak != std::u32string::npos && lastBreak > start) {
        end = lastBreak;
        next = lastBreak;
      } else if (!breakWords) {
        // A word longer than the line stays whole; the line ends after it.
        while (end < s.size() && !IsSpace(s[end])) ++end;
        next = end;
      }
    }
    while (next < s.size() && IsSpace(s[next])) ++next;
    size_t trimmed = end;
    while (trimmed > start && IsSpace(s[trimmed - 1])) --trimmed;
    Line l;
    l.chars = s.substr(start, trimmed - start);
    l.marked.assign(in.marked.begin() + ptrdiff_t(start), in.marked.begin() + ptrdiff_t(trimmed));
    out.push_back(std::move(l));
    if (next <= start) next = start + 1;  // always progress
    start = next;
  }
}

// Shortens a line to fit `width` with "..." at its end.
void AddEllipsis(FontInstance* fi, Line& l, int width, bool force) {
  if (!force && Measure(fi, l.chars) <= width) return;
  const int dots = Measure(fi, U"...");
  size_t n = l.chars.size();
  int w = Measure(fi, l.chars);
  while (n > 0 && w + dots > width) w -= fi->Get(l.chars[--n]).advance;
  l.chars.resize(n);
  l.marked.resize(n);
  l.chars += U"...";
  l.marked.resize(l.chars.size(), false);
}

std::u16string_view TextView(const char16_t* text, int count) {
  if (!text) return {};
  return count < 0 ? std::u16string_view(text) : std::u16string_view(text, size_t(count));
}

}  // namespace

BOOL GetTextExtentPoint32W(HDC h, const char16_t* text, int count, SIZE* size) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !size || count < 0 || (count > 0 && !text)) return FALSE;
  std::lock_guard<std::mutex> g(FontLock());
  FontInstance* fi = GetFontInstance(dc->s.font);
  size->cx = Measure(fi, Decode(TextView(text, count)));
  size->cy = fi->Height();
  return TRUE;
}

BOOL TextOutW(HDC h, int x, int y, const char16_t* text, int count) {
  GdiDc* dc = LiveDc(h);
  if (!dc || count < 0 || (count > 0 && !text)) return FALSE;
  std::lock_guard<std::mutex> g(FontLock());
  FontInstance* fi = GetFontInstance(dc->s.font);
  Line line;
  line.chars = Decode(TextView(text, count));
  const int dx = DevX(dc, x), dy = DevY(dc, y);
  if (dc->s.bkMode == OPAQUE) {
    const int w = Measure(fi, line.chars);
    RECT cell{dx, dy, dx + w, dy + fi->Height()};
    const COLORREF bk = dc->s.bkColor;
    GdiBitmap* bm = dc->s.bitmap;
    ForEachClipRect(dc, cell, [&](const RECT& r) {
      const int db = bm->Bytes();
      for (int yy = r.top; yy < r.bottom; ++yy) {
        uint8_t* p = bm->Row(yy) + size_t(r.left) * size_t(db);
        for (int xx = r.left; xx < r.right; ++xx, p += db) PutPixel(p, db, GetRValue(bk), GetGValue(bk), GetBValue(bk));
      }
    });
  }
  DrawRun(dc, fi, dx, dy, line, dc->s.textColor, Unbounded());
  return TRUE;
}

int DrawTextW(HDC h, const char16_t* text, int count, RECT* r, UINT format) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !r || (count != 0 && !text)) return 0;
  std::lock_guard<std::mutex> g(FontLock());
  FontInstance* fi = GetFontInstance(dc->s.font);
  const bool single = format & DT_SINGLELINE;
  // Sizes of the rectangle, held in range so that the layout sums cannot overflow.
  auto span = [](LONG a, LONG b) { return int(std::clamp<int64_t>(int64_t(b) - a, -(1 << 30), 1 << 30)); };
  const int width = span(r->left, r->right);
  const int rectH = span(r->top, r->bottom);
  const int lineH = fi->Height();
  std::u32string chars = Decode(TextView(text, count));
  if (chars.empty()) {
    if (format & DT_CALCRECT) {
      r->right = r->left;
      r->bottom = r->top;
    }
    return 0;
  }
  std::vector<Line> paragraphs = SplitLines(chars, !(format & DT_NOPREFIX), single);
  std::vector<Line> lines;
  if ((format & DT_WORDBREAK) && !single) {
    for (const Line& p : paragraphs) WrapLine(fi, p, width, format & DT_EDITCONTROL, lines);
  } else {
    lines = std::move(paragraphs);  // a single line never wraps; it is clipped or shortened
  }

  if (format & DT_CALCRECT) {
    int maxW = 0;
    for (Line& l : lines) maxW = std::max(maxW, Measure(fi, l.chars));
    r->right = LONG(std::min<int64_t>(int64_t(r->left) + maxW, INT32_MAX));
    r->bottom = LONG(std::min<int64_t>(int64_t(r->top) + int64_t(lineH) * int64_t(lines.size()), INT32_MAX));
    return lineH * int(lines.size());
  }

  // An edit control shows no partly visible last line; the last whole one ends in "..."
  // when text was cut off and the ellipsis was asked for.
  if ((format & DT_EDITCONTROL) && !single && lineH > 0) {
    size_t fit = size_t(std::max(1, rectH / lineH));
    if (lines.size() > fit) {
      lines.resize(fit);
      if (format & DT_END_ELLIPSIS) AddEllipsis(fi, lines.back(), width, true);
    }
  }
  if (format & DT_END_ELLIPSIS) {
    for (Line& l : lines) AddEllipsis(fi, l, width, false);
  }
  for (Line& l : lines) l.width = Measure(fi, l.chars);

  const int total = lineH * int(lines.size());
  int64_t y = r->top;
  if (single && (format & DT_VCENTER)) y = int64_t(r->top) + (rectH - lineH) / 2;
  else if (single && (format & DT_BOTTOM)) y = int64_t(r->bottom) - lineH;
  const RECT dev = DevRect(dc, r->left, r->top, r->right, r->bottom);
  const RECT clip = (format & DT_NOCLIP) ? Unbounded() : dev;
  GdiBitmap* bm = dc->s.bitmap;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    int64_t x = r->left;
    if (format & DT_CENTER) x = int64_t(r->left) + (width - l.width) / 2;
    else if (format & DT_RIGHT) x = int64_t(r->right) - l.width;
    const int64_t ly = y + int64_t(i) * lineH;
    const int dx = DevX(dc, x), dy = DevY(dc, ly);
    if (dc->s.bkMode == OPAQUE && bm) {
      RECT cell{dx, dy, dx + l.width, dy + lineH}, c;
      const COLORREF bk = dc->s.bkColor;
      if (IntersectRect(&c, &cell, &clip)) {
        ForEachClipRect(dc, c, [&](const RECT& cr) {
          const int db = bm->Bytes();
          for (int yy = cr.top; yy < cr.bottom; ++yy) {
            uint8_t* p = bm->Row(yy) + size_t(cr.left) * size_t(db);
            for (int xx = cr.left; xx < cr.right; ++xx, p += db) PutPixel(p, db, GetRValue(bk), GetGValue(bk), GetBValue(bk));
          }
        });
      }
    }
    DrawRun(dc, fi, dx, dy, l, dc->s.textColor, clip);
  }
  if (single && (format & (DT_VCENTER | DT_BOTTOM))) return int(y - r->top + lineH);
  return total;
}

BOOL DrawStateW(HDC h, HBRUSH fore, DRAWSTATEPROC proc, LPARAM data, WPARAM len, int x, int y,
                int cx, int cy, UINT flags) {
  (void)fore;
  (void)cx;
  (void)cy;
  GdiDc* dc = LiveDc(h);
  const UINT type = flags & 0x000F;
  if (!dc || proc || (type != DST_TEXT && type != DST_PREFIXTEXT) || !data) return FALSE;
  const auto* text = reinterpret_cast<const char16_t*>(data);
  const int n = len == 0 ? -1 : int(len);
  const UINT fmt = DT_SINGLELINE | DT_NOCLIP | (type == DST_TEXT ? DT_NOPREFIX : 0);
  const int oldMode = SetBkMode(h, TRANSPARENT);
  const COLORREF oldColor = GetTextColor(h);
  RECT r{x, y, x, y};
  if (flags & DSS_DISABLED) {
    // Embossed: a light copy one pixel down and right, the shadow colour on top.
    RECT lit{x + 1, y + 1, x + 1, y + 1};
    SetTextColor(h, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextW(h, text, n, &lit, fmt);
    SetTextColor(h, GetSysColor(COLOR_BTNSHADOW));
  }
  DrawTextW(h, text, n, &r, fmt);
  SetTextColor(h, oldColor);
  SetBkMode(h, oldMode);
  return TRUE;
}
