// The multi-line "Edit" control (ES_MULTILINE): lines broken at CR LF (and at a lone LF or CR),
// wrapped at words to the client width unless it scrolls sideways (ES_AUTOHSCROLL or
// WS_HSCROLL), a caret and selection by keys and mouse, the program's clipboard, vertical (and
// horizontal) scrolling with the window's scroll bars and the wheel, read-only mode, and the
// line messages (EM_GETLINECOUNT, EM_LINEINDEX, EM_LINEFROMCHAR, EM_GETLINE, EM_SCROLL ...).
//
// The text is kept here and mirrored into the window's own text, so that GetWindowText sees
// it. Lines are laid out once per change from a per-character width table of the font, so
// tens of thousands of lines cost one pass, and painting touches only the lines that show.
#include <algorithm>
#include <string>
#include <unordered_map>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/ctlutil.h"
#include "platform/wnd/wndobj.h"

namespace {

constexpr int kMargin = 2;
constexpr int kWheelLines = 3;

struct Line {
  int start = 0;  // index of the first character
  int len = 0;    // characters shown (the break not counted)
  int brk = 0;    // characters of the hard break that ends it (0, 1 or 2)
};

struct MultiEditState : WindowData {
  std::u16string text;
  std::vector<Line> lines;
  bool layoutStale = true;
  int layoutWidth = -1;
  int anchor = 0, caret = 0;
  int topLine = 0;
  int scrollX = 0;
  int widest = 0;        // widest line in pixels, for the horizontal bar
  int goalX = -1;        // the x that up and down keep
  int limit = 30000;     // what typing may reach; WM_SETTEXT is not limited
  bool focus = false;
  bool dragging = false;
  bool modified = false;
  bool inLayout = false;
  int wheelRest = 0;
  HFONT font = nullptr;
  int lineHeight = 0;
  std::unordered_map<char16_t, int> widths;  // advance of each character in the font
};

std::shared_ptr<MultiEditState> State(HWND h) { return EnsureWindowData<MultiEditState>(h); }

bool Wraps(HWND h) { return !(StyleOf(h) & (ES_AUTOHSCROLL | WS_HSCROLL)); }

HDC MeasureDc(const MultiEditState& s) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, ControlFontOr(s.font));
  return dc;
}

int LineHeight(MultiEditState& s) {
  if (s.lineHeight <= 0) s.lineHeight = FontLineHeight(s.font);
  return s.lineHeight;
}

int CharWidth(MultiEditState& s, HDC dc, char16_t c) {
  auto it = s.widths.find(c);
  if (it != s.widths.end()) return it->second;
  SIZE z{0, 0};
  GetTextExtentPoint32W(dc, &c, 1, &z);
  s.widths[c] = int(z.cx);
  return int(z.cx);
}

RECT TextArea(HWND h) {
  RECT c{};
  GetClientRect(h, &c);
  return RECT{c.left + kMargin, c.top, std::max<LONG>(c.left + kMargin, c.right - kMargin), c.bottom};
}

int VisibleLines(HWND h, MultiEditState& s) {
  const RECT a = TextArea(h);
  return std::max(1, int(a.bottom - a.top) / std::max(1, LineHeight(s)));
}

void UpdateScrollBars(HWND h, MultiEditState& s);

// Breaks the text into lines: at every hard break, and, when wrapping, after the last blank
// that still fits (or inside a word longer than the width).
void Layout(HWND h, MultiEditState& s) {
  const RECT area = TextArea(h);
  const int width = std::max<int>(1, area.right - area.left);
  if (!s.layoutStale && (!Wraps(h) || width == s.layoutWidth)) return;
  s.layoutStale = false;
  s.layoutWidth = width;
  s.lines.clear();
  s.widest = 0;
  HDC dc = MeasureDc(s);
  const bool wrap = Wraps(h);
  const std::u16string& t = s.text;
  const int n = int(t.size());
  int i = 0;
  while (true) {
    // One hard line: [i, end) followed by a break of brk characters.
    int end = i;
    while (end < n && t[size_t(end)] != u'\r' && t[size_t(end)] != u'\n') ++end;
    int brk = 0;
    if (end < n) brk = (t[size_t(end)] == u'\r' && end + 1 < n && t[size_t(end) + 1] == u'\n') ? 2 : 1;
    int from = i;
    while (true) {
      int x = 0, k = from, lastBlank = -1;
      while (k < end) {
        const int cw = CharWidth(s, dc, t[size_t(k)]);
        if (wrap && x + cw > width && k > from) {
          // Blanks hang past the edge rather than open a line of their own.
          if (t[size_t(k)] == u' ' || t[size_t(k)] == u'\t') {
            while (k < end && (t[size_t(k)] == u' ' || t[size_t(k)] == u'\t')) ++k;
            lastBlank = k - 1;
          }
          break;
        }
        x += cw;
        if (t[size_t(k)] == u' ' || t[size_t(k)] == u'\t') lastBlank = k;
        ++k;
      }
      if (k < end) {
        // Wrapped: break after the last blank when there is one, the blanks stay on this line.
        if (lastBlank >= from) k = lastBlank + 1;
        if (k >= end) {
          s.lines.push_back(Line{from, end - from, brk});
          break;
        }
        s.lines.push_back(Line{from, k - from, 0});
        from = k;
        continue;
      }
      s.lines.push_back(Line{from, end - from, brk});
      s.widest = std::max(s.widest, x);
      break;
    }
    if (end >= n) break;
    i = end + brk;
    if (i >= n) {
      s.lines.push_back(Line{n, 0, 0});  // a break at the very end opens an empty last line
      break;
    }
  }
  DeleteDC(dc);
  if (wrap) s.widest = 0;
  s.topLine = std::clamp(s.topLine, 0, std::max(0, int(s.lines.size()) - 1));
  UpdateScrollBars(h, s);
}

int LineOf(MultiEditState& s, int index) {
  // The last line that starts at or before the index; a wrapped line's end belongs to the next.
  auto it = std::upper_bound(s.lines.begin(), s.lines.end(), index, [](int v, const Line& l) { return v < l.start; });
  if (it == s.lines.begin()) return 0;
  return int(it - s.lines.begin()) - 1;
}

int XOf(HWND h, MultiEditState& s, int index) {
  Layout(h, s);
  const Line& l = s.lines[size_t(LineOf(s, index))];
  HDC dc = MeasureDc(s);
  int x = 0;
  for (int k = l.start; k < std::min(index, l.start + l.len); ++k) x += CharWidth(s, dc, s.text[size_t(k)]);
  DeleteDC(dc);
  return x;
}

// The character boundary of `line` nearest to text x.
int IndexAtX(MultiEditState& s, int line, int x) {
  const Line& l = s.lines[size_t(line)];
  HDC dc = MeasureDc(s);
  int best = l.start, pos = 0;
  for (int k = l.start; k < l.start + l.len; ++k) {
    const int cw = CharWidth(s, dc, s.text[size_t(k)]);
    if (x < pos + cw / 2) break;
    pos += cw;
    best = k + 1;
  }
  DeleteDC(dc);
  return best;
}

int IndexAtPoint(HWND h, MultiEditState& s, POINT pt) {
  Layout(h, s);
  const RECT a = TextArea(h);
  const int line = std::clamp(s.topLine + int(pt.y - a.top) / std::max(1, LineHeight(s)), 0, int(s.lines.size()) - 1);
  return IndexAtX(s, line, pt.x - a.left + s.scrollX);
}

void Notify(HWND h, WORD code) {
  if (HWND p = GetParent(h)) SendMessageW(p, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), code), reinterpret_cast<LPARAM>(h));
}

void UpdateScrollBars(HWND h, MultiEditState& s) {
  if (s.inLayout) return;
  s.inLayout = true;
  const DWORD style = StyleOf(h);
  if (style & WS_VSCROLL) {
    SCROLLINFO v{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0,
                 std::max(0, int(s.lines.size()) - 1), UINT(VisibleLines(h, s)), s.topLine, 0};
    SetScrollInfo(h, SB_VERT, &v, TRUE);
  }
  if (IsWindow(h) && (StyleOf(h) & WS_HSCROLL)) {
    const RECT a = TextArea(h);
    SCROLLINFO hz{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, std::max(0, s.widest),
                  UINT(std::max<LONG>(1, a.right - a.left)), s.scrollX, 0};
    SetScrollInfo(h, SB_HORZ, &hz, TRUE);
  }
  s.inLayout = false;
}

void ScrollToLine(HWND h, MultiEditState& s, int top) {
  Layout(h, s);
  top = std::clamp(top, 0, std::max(0, int(s.lines.size()) - VisibleLines(h, s)));
  if (top == s.topLine) return;
  s.topLine = top;
  InvalidateRect(h, nullptr, TRUE);
  UpdateScrollBars(h, s);
  Notify(h, EN_VSCROLL);
}

void ScrollToX(HWND h, MultiEditState& s, int x) {
  const RECT a = TextArea(h);
  x = std::clamp(x, 0, std::max(0, s.widest - int(a.right - a.left) + 1));
  if (x == s.scrollX) return;
  s.scrollX = x;
  InvalidateRect(h, nullptr, TRUE);
  UpdateScrollBars(h, s);
}

void ScrollToCaret(HWND h, MultiEditState& s) {
  Layout(h, s);
  const int line = LineOf(s, s.caret);
  const int per = VisibleLines(h, s);
  if (line < s.topLine) ScrollToLine(h, s, line);
  else if (line >= s.topLine + per) ScrollToLine(h, s, line - per + 1);
  if (!Wraps(h)) {
    const RECT a = TextArea(h);
    const int x = XOf(h, s, s.caret), w = int(a.right - a.left);
    if (x - s.scrollX >= w) ScrollToX(h, s, x - w + w / 4);
    else if (x < s.scrollX) ScrollToX(h, s, std::max(0, x - w / 4));
  }
}

// Keeps the window's own text in step, so that WM_GETTEXT and GetWindowText see the edits.
void Mirror(HWND h, const MultiEditState& s) {
  DefWindowProcW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str()));
}

// A caret never rests between the CR and LF of a break.
int Snap(const MultiEditState& s, int i, int dir) {
  i = std::clamp(i, 0, int(s.text.size()));
  if (i > 0 && i < int(s.text.size()) && s.text[size_t(i) - 1] == u'\r' && s.text[size_t(i)] == u'\n') i += dir > 0 ? 1 : -1;
  return i;
}

bool ReplaceSel(HWND h, MultiEditState& s, std::u16string with, bool notify) {
  const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
  const int room = s.limit - (int(s.text.size()) - (b - a));
  if (int(with.size()) > room) {
    with.resize(size_t(std::max(room, 0)));
    if (notify) Notify(h, EN_MAXTEXT);
  }
  if (a == b && with.empty()) return false;
  s.text.replace(size_t(a), size_t(b - a), with);
  s.anchor = s.caret = a + int(with.size());
  s.modified = true;
  s.layoutStale = true;
  s.goalX = -1;
  Mirror(h, s);
  Layout(h, s);
  ScrollToCaret(h, s);
  if (notify) Notify(h, EN_UPDATE);
  InvalidateRect(h, nullptr, TRUE);
  if (notify) Notify(h, EN_CHANGE);
  return true;
}

void SetCaret(HWND h, MultiEditState& s, int to, bool extend, bool keepGoal = false) {
  s.caret = std::clamp(to, 0, int(s.text.size()));
  if (!extend) s.anchor = s.caret;
  if (!keepGoal) s.goalX = -1;
  ScrollToCaret(h, s);
  InvalidateRect(h, nullptr, FALSE);
}

void Paint(HWND h, MultiEditState& s, HDC dc) {
  Layout(h, s);
  RECT c{};
  GetClientRect(h, &c);
  HGDIOBJ oldFont = SelectObject(dc, ControlFontOr(s.font));
  const DWORD style = StyleOf(h);
  const bool readOnly = (style & ES_READONLY) || (style & WS_DISABLED);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  HWND p = GetParent(h);
  HBRUSH bg = p ? reinterpret_cast<HBRUSH>(SendMessageW(p, readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                                                        reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h)))
                : GetSysColorBrush(COLOR_WINDOW);
  if (bg) FillRect(dc, &c, bg);
  if (style & WS_DISABLED) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  const COLORREF ink = GetTextColor(dc);
  SetBkMode(dc, TRANSPARENT);
  const RECT a = TextArea(h);
  const int lh = LineHeight(s);
  const int selA = std::min(s.anchor, s.caret), selB = std::max(s.anchor, s.caret);
  const bool showSel = selA != selB && (s.focus || (style & ES_NOHIDESEL));
  const int last = std::min<int>(int(s.lines.size()), s.topLine + VisibleLines(h, s) + 1);
  for (int li = s.topLine; li < last; ++li) {
    const Line& l = s.lines[size_t(li)];
    const int y = a.top + (li - s.topLine) * lh;
    const int x0 = a.left - s.scrollX;
    const char16_t* t = s.text.c_str() + l.start;
    SetTextColor(dc, ink);
    TextOutW(dc, x0, y, t, l.len);
    if (showSel && selB > l.start && selA <= l.start + l.len) {
      const int from = std::max(selA, l.start), to = std::min(selB, l.start + l.len);
      SIZE pre{0, 0}, mid{0, 0};
      if (from > l.start) GetTextExtentPoint32W(dc, t, from - l.start, &pre);
      if (to > from) GetTextExtentPoint32W(dc, s.text.c_str() + from, to - from, &mid);
      // A selected break shows as a little room after the line's text.
      const int extra = selB > l.start + l.len && l.brk ? lh / 3 : 0;
      RECT sel{x0 + pre.cx, y, x0 + pre.cx + mid.cx + extra, y + lh};
      FillSolidRectDc(dc, &sel, GetSysColor(COLOR_HIGHLIGHT));
      SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
      if (to > from) TextOutW(dc, sel.left, y, s.text.c_str() + from, to - from);
    }
  }
  if (s.focus) {
    const int li = LineOf(s, s.caret);
    if (li >= s.topLine && li < last) {
      const int cx = a.left - s.scrollX + XOf(h, s, s.caret), cy = a.top + (li - s.topLine) * lh;
      RECT caret{cx, cy, cx + 1, cy + lh};
      FillSolidRectDc(dc, &caret, GetSysColor(COLOR_WINDOWTEXT));
      SetCaretPos(cx, cy);
    }
  }
  SelectObject(dc, oldFont);
}

bool IsWordChar(char16_t c) {
  return c == u'_' || (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z') || c > 0x7F;
}

void Key(HWND h, MultiEditState& s, WPARAM vk) {
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  const bool readOnly = (StyleOf(h) & ES_READONLY) != 0;
  Layout(h, s);
  const int line = LineOf(s, s.caret);
  auto vertical = [&](int to) {
    to = std::clamp(to, 0, int(s.lines.size()) - 1);
    if (s.goalX < 0) s.goalX = XOf(h, s, s.caret);
    SetCaret(h, s, IndexAtX(s, to, s.goalX), shift, true);
  };
  switch (vk) {
    case VK_LEFT:
      if (!shift && s.anchor != s.caret) SetCaret(h, s, std::min(s.anchor, s.caret), false);
      else SetCaret(h, s, Snap(s, s.caret - 1, -1), shift);
      break;
    case VK_RIGHT:
      if (!shift && s.anchor != s.caret) SetCaret(h, s, std::max(s.anchor, s.caret), false);
      else SetCaret(h, s, Snap(s, s.caret + 1, 1), shift);
      break;
    case VK_UP: vertical(line - 1); break;
    case VK_DOWN: vertical(line + 1); break;
    case VK_PRIOR: vertical(line - VisibleLines(h, s)); break;
    case VK_NEXT: vertical(line + VisibleLines(h, s)); break;
    case VK_HOME: SetCaret(h, s, ctrl ? 0 : s.lines[size_t(line)].start, shift); break;
    case VK_END: {
      const Line& l = s.lines[size_t(line)];
      SetCaret(h, s, ctrl ? int(s.text.size()) : l.start + l.len, shift);
      break;
    }
    case VK_DELETE:
      if (readOnly) break;
      if (shift) {
        SendMessageW(h, WM_CUT, 0, 0);
        break;
      }
      if (s.anchor == s.caret) s.caret = Snap(s, s.caret + 1, 1);
      ReplaceSel(h, s, std::u16string(), true);
      break;
    case VK_BACK:
      if (readOnly) break;
      if (s.anchor == s.caret) s.caret = Snap(s, s.caret - 1, -1);
      ReplaceSel(h, s, std::u16string(), true);
      break;
    case VK_INSERT:
      if (ctrl) SendMessageW(h, WM_COPY, 0, 0);
      else if (shift) SendMessageW(h, WM_PASTE, 0, 0);
      break;
    default:
      if (ctrl && vk == 'A') {
        s.anchor = 0;
        SetCaret(h, s, int(s.text.size()), true);
      } else if (ctrl && vk == 'C') {
        SendMessageW(h, WM_COPY, 0, 0);
      } else if (ctrl && vk == 'X') {
        SendMessageW(h, WM_CUT, 0, 0);
      } else if (ctrl && vk == 'V') {
        SendMessageW(h, WM_PASTE, 0, 0);
      }
      break;
  }
}

// Scroll-bar requests (the low word of WM_VSCROLL, WM_HSCROLL and EM_SCROLL).
constexpr WORD kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4, kThumbTrack = 5,
               kTop = 6, kBottom = 7;

int ThumbPosition(HWND h, bool vertical, WPARAM w) {
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
  const int small = int(HIWORD(w));
  if (GetScrollInfo(h, vertical ? SB_VERT : SB_HORZ, &si) && (si.nTrackPos & 0xFFFF) == small) return si.nTrackPos;
  return small;
}

// Returns the lines scrolled.
int ScrollBy(HWND h, MultiEditState& s, bool vertical, WORD code, int thumb) {
  Layout(h, s);
  if (vertical) {
    const int per = VisibleLines(h, s), before = s.topLine;
    int top = s.topLine;
    switch (code) {
      case kLineUp: --top; break;
      case kLineDown: ++top; break;
      case kPageUp: top -= per; break;
      case kPageDown: top += per; break;
      case kThumbPosition:
      case kThumbTrack: top = thumb; break;
      case kTop: top = 0; break;
      case kBottom: top = INT32_MAX / 2; break;
      default: return 0;
    }
    ScrollToLine(h, s, top);
    return s.topLine - before;
  }
  const RECT a = TextArea(h);
  const int page = int(a.right - a.left);
  int x = s.scrollX;
  switch (code) {
    case kLineUp: x -= 8; break;
    case kLineDown: x += 8; break;
    case kPageUp: x -= page; break;
    case kPageDown: x += page; break;
    case kThumbPosition:
    case kThumbTrack: x = thumb; break;
    case kTop: x = 0; break;
    case kBottom: x = INT32_MAX / 2; break;
    default: return 0;
  }
  ScrollToX(h, s, x);
  return 0;
}

}  // namespace

LRESULT MultiLineEditProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<MultiEditState> sp = State(h);
  MultiEditState& s = *sp;
  switch (msg) {
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | DLGC_WANTALLKEYS;
      // Tab and Escape still move and close in a dialog, and so does Enter unless the edit
      // wants it.
      if (const MSG* m = reinterpret_cast<const MSG*>(l)) {
        const bool enter = m->wParam == VK_RETURN && !(StyleOf(h) & ES_WANTRETURN);
        if (m->message == WM_KEYDOWN && (m->wParam == VK_TAB || m->wParam == VK_ESCAPE || enter)) code &= ~DLGC_WANTALLKEYS;
      }
      return code;
    }
    case WM_CREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(l);
      if (cs && cs->lpszName) s.text = cs->lpszName;
      s.layoutStale = true;
      return 0;
    }
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(w);
      s.widths.clear();
      s.lineHeight = 0;
      s.layoutStale = true;
      Layout(h, s);
      if (l) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_SETTEXT: {
      const auto* t = reinterpret_cast<const char16_t*>(l);
      s.text = t ? t : u"";
      LRESULT r = DefWindowProcW(h, msg, w, l);
      s.anchor = s.caret = 0;
      s.topLine = 0;
      s.scrollX = 0;
      s.modified = false;
      s.goalX = -1;
      s.layoutStale = true;
      Layout(h, s);
      InvalidateRect(h, nullptr, TRUE);
      Notify(h, EN_UPDATE);
      Notify(h, EN_CHANGE);
      return r;
    }
    case WM_SIZE:
      s.layoutStale = true;
      Layout(h, s);
      ScrollToLine(h, s, s.topLine);
      InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        Paint(h, s, reinterpret_cast<HDC>(w));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) Paint(h, s, dc);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_SETFOCUS:
      s.focus = true;
      CreateCaret(h, nullptr, 1, LineHeight(s));
      InvalidateRect(h, nullptr, FALSE);
      Notify(h, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      s.focus = false;
      DestroyCaret();
      InvalidateRect(h, nullptr, FALSE);
      Notify(h, EN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(h);
      SetCaret(h, s, IndexAtPoint(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}), (w & MK_SHIFT) != 0);
      s.dragging = true;
      SetCapture(h);
      return 0;
    case WM_LBUTTONDBLCLK: {
      const int i = IndexAtPoint(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)});
      int a = i, b = i;
      while (a > 0 && IsWordChar(s.text[size_t(a) - 1])) --a;
      while (b < int(s.text.size()) && IsWordChar(s.text[size_t(b)])) ++b;
      s.anchor = a;
      SetCaret(h, s, b, true);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (s.dragging) SetCaret(h, s, IndexAtPoint(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}), true);
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      s.dragging = false;
      if (msg == WM_LBUTTONUP && GetCapture() == h) ReleaseCapture();
      return 0;
    case WM_MOUSEWHEEL: {
      s.wheelRest += int(int16_t(HIWORD(w)));
      const int lines = s.wheelRest / 120 * kWheelLines;
      s.wheelRest %= 120;
      if (lines) ScrollToLine(h, s, s.topLine - lines);
      return 0;
    }
    case WM_VSCROLL:
    case WM_HSCROLL: {
      const bool vertical = msg == WM_VSCROLL;
      ScrollBy(h, s, vertical, LOWORD(w), ThumbPosition(h, vertical, w));
      return 0;
    }
    case WM_KEYDOWN: Key(h, s, w); return 0;
    case WM_CHAR: {
      const char16_t c = char16_t(w);
      if (StyleOf(h) & ES_READONLY) return 0;
      if (c == u'\r' || c == u'\n') {
        ReplaceSel(h, s, u"\r\n", true);
        return 0;
      }
      if (c == u'\t') {
        ReplaceSel(h, s, u"\t", true);
        return 0;
      }
      if (c < 0x20 || c == 0x7F) return 0;
      if ((StyleOf(h) & ES_NUMBER) && (c < u'0' || c > u'9')) return 0;
      ReplaceSel(h, s, std::u16string(1, c), true);
      return 0;
    }
    case WM_COPY: {
      const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
      if (a != b) SetClipboardText(CString(s.text.c_str() + a, b - a));
      return 0;
    }
    case WM_CUT:
      if (StyleOf(h) & ES_READONLY) return 0;
      SendMessageW(h, WM_COPY, 0, 0);
      ReplaceSel(h, s, std::u16string(), true);
      return 0;
    case WM_CLEAR:
      if (!(StyleOf(h) & ES_READONLY)) ReplaceSel(h, s, std::u16string(), true);
      return 0;
    case WM_PASTE: {
      CString text;
      if (!(StyleOf(h) & ES_READONLY) && GetClipboardText(&text)) {
        ReplaceSel(h, s, std::u16string(text.GetString(), size_t(text.GetLength())), true);
      }
      return 0;
    }
    case EM_GETSEL: {
      const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
      if (w) *reinterpret_cast<DWORD*>(w) = DWORD(a);
      if (l) *reinterpret_cast<DWORD*>(l) = DWORD(b);
      return MAKELRESULT(std::min(a, 0xFFFF), std::min(b, 0xFFFF));
    }
    case EM_SETSEL: {
      const int len = int(s.text.size());
      int a = int(w), b = int(l);
      if (a < 0) {
        s.anchor = s.caret;  // -1 removes the selection and keeps the caret
      } else {
        if (b < 0 || b > len) b = len;
        a = std::min(a, len);
        s.anchor = Snap(s, a, -1);
        s.caret = b == a ? s.anchor : Snap(s, b, 1);
      }
      InvalidateRect(h, nullptr, FALSE);
      return 0;
    }
    case EM_REPLACESEL: {
      const auto* text = reinterpret_cast<const char16_t*>(l);
      ReplaceSel(h, s, text ? std::u16string(text) : std::u16string(), true);
      return 0;
    }
    case EM_SCROLLCARET: ScrollToCaret(h, s); return TRUE;
    case EM_SCROLL: {
      const WORD code = WORD(w);
      if (code > kPageDown) return 0;
      const int moved = ScrollBy(h, s, true, code, 0);
      return MAKELRESULT(uint16_t(int16_t(moved)), TRUE);
    }
    case EM_LINESCROLL:
      Layout(h, s);
      ScrollToLine(h, s, s.topLine + int(l));
      if (!Wraps(h)) ScrollToX(h, s, s.scrollX + int(w) * std::max(1, LineHeight(s) / 2));
      return TRUE;
    case EM_GETFIRSTVISIBLELINE: Layout(h, s); return s.topLine;
    case EM_GETLINECOUNT: Layout(h, s); return LRESULT(s.lines.size());
    case EM_LINEINDEX: {
      Layout(h, s);
      const int line = int(w) < 0 ? LineOf(s, s.caret) : int(w);
      return line < int(s.lines.size()) ? s.lines[size_t(line)].start : -1;
    }
    case EM_LINEFROMCHAR: {
      Layout(h, s);
      const int i = int(w) < 0 ? std::min(s.anchor, s.caret) : std::min<int>(int(w), int(s.text.size()));
      return LineOf(s, i);
    }
    case EM_LINELENGTH: {
      Layout(h, s);
      if (int(w) < 0) return 0;
      const int i = std::min<int>(int(w), int(s.text.size()));
      return s.lines[size_t(LineOf(s, i))].len;
    }
    case EM_GETLINE: {
      // The first WORD of the buffer holds its size in characters; no terminator is added.
      auto* buf = reinterpret_cast<char16_t*>(l);
      Layout(h, s);
      if (!buf || w >= s.lines.size()) return 0;
      const Line& ln = s.lines[size_t(w)];
      const int n = std::min(int(buf[0]), ln.len);
      std::copy(s.text.begin() + ln.start, s.text.begin() + ln.start + n, buf);
      return n;
    }
    case EM_POSFROMCHAR: {
      Layout(h, s);
      const int i = std::clamp<int>(int(w), 0, int(s.text.size()));
      const RECT a = TextArea(h);
      const int x = a.left - s.scrollX + XOf(h, s, i), y = a.top + (LineOf(s, i) - s.topLine) * LineHeight(s);
      return MAKELRESULT(uint16_t(int16_t(x)), uint16_t(int16_t(y)));
    }
    case EM_CHARFROMPOS: {
      const int i = IndexAtPoint(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)});
      return MAKELRESULT(uint16_t(std::min(i, 0xFFFF)), uint16_t(std::min(LineOf(s, i), 0xFFFF)));
    }
    case EM_GETRECT: {
      if (auto* r = reinterpret_cast<RECT*>(l)) *r = TextArea(h);
      return 0;
    }
    case EM_LIMITTEXT:
      s.limit = w ? int(std::min<WPARAM>(w, 0x7FFFFFFE)) : 0x7FFFFFFE;
      return 0;
    case EM_GETLIMITTEXT: return s.limit;
    case EM_GETMODIFY: return s.modified;
    case EM_SETMODIFY: s.modified = w != 0; return 0;
    case EM_SETREADONLY:
      SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR(w ? StyleOf(h) | ES_READONLY : StyleOf(h) & ~ES_READONLY));
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
