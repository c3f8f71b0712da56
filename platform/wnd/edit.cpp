// The single-line "Edit" control: text, caret, selection by keys and mouse, the program's
// clipboard, horizontal scrolling to the caret, EN_UPDATE/EN_CHANGE to the parent.
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/wndobj.h"

namespace {

struct EditState : WindowData {
  int anchor = 0, caret = 0;  // selection runs between them
  int scroll = 0;             // pixels scrolled to the left
  int limit = 30000;
  bool focus = false;
  bool dragging = false;
  bool modified = false;
  HFONT font = nullptr;
};

std::shared_ptr<EditState> State(HWND h) { return EnsureWindowData<EditState>(h); }

const int kMargin = 2;

HDC MeasureDc(const EditState& s) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, s.font ? s.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  return dc;
}

int TextX(HDC dc, const CString& t, int n) {
  SIZE sz{0, 0};
  if (n > 0) GetTextExtentPoint32W(dc, t.GetString(), std::min(n, t.GetLength()), &sz);
  return sz.cx;
}

// The character boundary nearest to client x.
int IndexAt(HWND h, const EditState& s, int x) {
  CString t = GetWindowTextString(h);
  HDC dc = MeasureDc(s);
  int best = 0, bestDist = INT32_MAX;
  for (int i = 0; i <= t.GetLength(); ++i) {
    const int d = std::abs(kMargin + TextX(dc, t, i) - s.scroll - x);
    if (d < bestDist) best = i, bestDist = d;
  }
  DeleteDC(dc);
  return best;
}

void ScrollToCaret(HWND h, EditState& s) {
  CString t = GetWindowTextString(h);
  HDC dc = MeasureDc(s);
  const int cx = TextX(dc, t, s.caret);
  DeleteDC(dc);
  RECT rc{};
  GetClientRect(h, &rc);
  const int width = std::max<int>(1, rc.right - 2 * kMargin);
  if (cx - s.scroll > width) s.scroll = cx - width;
  if (cx < s.scroll) s.scroll = cx;
  if (s.scroll < 0) s.scroll = 0;
}

void Notify(HWND h, WORD code) {
  if (HWND p = GetParent(h)) SendMessageW(p, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), code), reinterpret_cast<LPARAM>(h));
}

// Replaces the selection; false when nothing changed (read-only, or the limit refused it all).
bool ReplaceSel(HWND h, const CString& with, bool notify) {
  const std::shared_ptr<EditState> sp = State(h);
  EditState& s = *sp;
  CString t = GetWindowTextString(h);
  const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
  CString ins = with;
  // Line breaks end a single line.
  int nl = ins.FindOneOf(u"\r\n");
  if (nl >= 0) ins = ins.Left(nl);
  const int room = s.limit - (t.GetLength() - (b - a));
  if (ins.GetLength() > room) {
    ins = ins.Left(std::max(room, 0));
    if (notify) Notify(h, EN_MAXTEXT);
  }
  if (a == b && ins.IsEmpty()) return false;
  CString nt = t.Left(a) + ins + t.Mid(b);
  s.anchor = s.caret = a + ins.GetLength();
  s.modified = true;
  DefWindowProcW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(nt.GetString()));
  ScrollToCaret(h, s);
  if (notify) Notify(h, EN_UPDATE);
  InvalidateRect(h, nullptr, FALSE);
  if (notify) Notify(h, EN_CHANGE);
  return true;
}

CString SelectedText(HWND h) {
  const std::shared_ptr<EditState> sp = State(h);
  EditState& s = *sp;
  const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
  return GetWindowTextString(h).Mid(a, b - a);
}

void DrawEdit(HWND h, HDC dc) {
  const std::shared_ptr<EditState> sp = State(h);
  EditState& s = *sp;
  RECT rc{};
  GetClientRect(h, &rc);
  HGDIOBJ old = SelectObject(dc, s.font ? s.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  HWND p = GetParent(h);
  const bool readOnly = (StyleOf(h) & ES_READONLY) || (StyleOf(h) & WS_DISABLED);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  HBRUSH bg = p ? reinterpret_cast<HBRUSH>(SendMessageW(p, readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                                                        reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h)))
                : GetSysColorBrush(COLOR_WINDOW);
  if (bg) FillRect(dc, &rc, bg);
  CString t = GetWindowTextString(h);
  if (StyleOf(h) & ES_PASSWORD) t = CString(u'*', t.GetLength());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  const int y = std::max<int>(0, (rc.bottom - tm.tmHeight) / 2);
  const int x0 = kMargin - s.scroll;
  SetBkMode(dc, TRANSPARENT);
  if (StyleOf(h) & WS_DISABLED) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  TextOutW(dc, x0, y, t.GetString(), t.GetLength());
  const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
  if (a != b && (s.focus || (StyleOf(h) & ES_NOHIDESEL))) {
    RECT sel{x0 + TextX(dc, t, a), y, x0 + TextX(dc, t, b), y + tm.tmHeight};
    FillSolidRectDc(dc, &sel, GetSysColor(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    TextOutW(dc, sel.left, y, t.GetString() + a, b - a);
  }
  if (s.focus) {
    const int cx = x0 + TextX(dc, t, s.caret);
    RECT caret{cx, y, cx + 1, y + tm.tmHeight};
    FillSolidRectDc(dc, &caret, GetSysColor(COLOR_WINDOWTEXT));
    SetCaretPos(cx, y);
  }
  SelectObject(dc, old);
}

void MoveCaret(HWND h, int to, bool extend) {
  const std::shared_ptr<EditState> sp = State(h);
  EditState& s = *sp;
  const int len = GetWindowTextString(h).GetLength();
  s.caret = std::clamp(to, 0, len);
  if (!extend) s.anchor = s.caret;
  ScrollToCaret(h, s);
  InvalidateRect(h, nullptr, FALSE);
}

bool IsWordChar(char16_t c) { return c == u'_' || (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z') || c > 0x7F; }

}  // namespace

LRESULT EditProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (StyleOf(h) & ES_MULTILINE) return MultiLineEditProc(h, msg, w, l);
  const std::shared_ptr<EditState> sp = State(h);
  EditState& s = *sp;
  switch (msg) {
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETFONT: {
      s.font = reinterpret_cast<HFONT>(w);
      if (l) InvalidateRect(h, nullptr, TRUE);
      return 0;
    }
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(h, msg, w, l);
      s.anchor = s.caret = 0;
      s.scroll = 0;
      s.modified = false;
      InvalidateRect(h, nullptr, TRUE);
      Notify(h, EN_UPDATE);
      Notify(h, EN_CHANGE);
      return r;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        DrawEdit(h, reinterpret_cast<HDC>(w));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawEdit(h, dc);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_SETFOCUS: {
      s.focus = true;
      CreateCaret(h, nullptr, 1, 13);
      InvalidateRect(h, nullptr, FALSE);
      Notify(h, EN_SETFOCUS);
      return 0;
    }
    case WM_KILLFOCUS: {
      s.focus = false;
      DestroyCaret();
      InvalidateRect(h, nullptr, FALSE);
      Notify(h, EN_KILLFOCUS);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      SetFocus(h);
      const bool shift = (w & MK_SHIFT) != 0;
      MoveCaret(h, IndexAt(h, s, GET_X_LPARAM(l)), shift);
      s.dragging = true;
      SetCapture(h);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      // A double click selects the word under the pointer.
      CString t = GetWindowTextString(h);
      int i = IndexAt(h, s, GET_X_LPARAM(l));
      int a = i, b = i;
      while (a > 0 && IsWordChar(t[a - 1])) --a;
      while (b < t.GetLength() && IsWordChar(t[b])) ++b;
      s.anchor = a;
      s.caret = b;
      InvalidateRect(h, nullptr, FALSE);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (s.dragging) MoveCaret(h, IndexAt(h, s, GET_X_LPARAM(l)), true);
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      s.dragging = false;
      if (msg == WM_LBUTTONUP && GetCapture() == h) ReleaseCapture();
      return 0;
    }
    case WM_KEYDOWN: {
      const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
      const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
      const int len = GetWindowTextString(h).GetLength();
      const bool readOnly = (StyleOf(h) & ES_READONLY) != 0;
      switch (w) {
        case VK_LEFT: MoveCaret(h, (!shift && s.anchor != s.caret) ? std::min(s.anchor, s.caret) : s.caret - 1, shift); break;
        case VK_RIGHT: MoveCaret(h, (!shift && s.anchor != s.caret) ? std::max(s.anchor, s.caret) : s.caret + 1, shift); break;
        case VK_HOME: MoveCaret(h, 0, shift); break;
        case VK_END: MoveCaret(h, len, shift); break;
        case VK_DELETE:
          if (readOnly) break;
          if (shift) {
            SendMessageW(h, WM_CUT, 0, 0);
            break;
          }
          if (s.anchor == s.caret && s.caret < len) {
            s.caret += 1;
          }
          ReplaceSel(h, CString(), true);
          break;
        case VK_BACK:
          if (readOnly) break;
          if (s.anchor == s.caret && s.caret > 0) {
            s.caret -= 1;
          }
          ReplaceSel(h, CString(), true);
          break;
        case VK_INSERT:
          if (ctrl) SendMessageW(h, WM_COPY, 0, 0);
          else if (shift) SendMessageW(h, WM_PASTE, 0, 0);
          break;
        default:
          if (ctrl && w == 'A') {
            s.anchor = 0;
            s.caret = len;
            ScrollToCaret(h, s);
            InvalidateRect(h, nullptr, FALSE);
          } else if (ctrl && w == 'C') {
            SendMessageW(h, WM_COPY, 0, 0);
          } else if (ctrl && w == 'X') {
            SendMessageW(h, WM_CUT, 0, 0);
          } else if (ctrl && w == 'V') {
            SendMessageW(h, WM_PASTE, 0, 0);
          }
          break;
      }
      return 0;
    }
    case WM_CHAR: {
      const char16_t c = char16_t(w);
      // Control characters (backspace, tab, enter, and the Ctrl+letter ones) are keys, not text.
      if (c < 0x20 || c == 0x7F || (StyleOf(h) & ES_READONLY)) return 0;
      if ((StyleOf(h) & ES_NUMBER) && (c < u'0' || c > u'9')) return 0;
      ReplaceSel(h, CString(c), true);
      return 0;
    }
    case WM_COPY: {
      CString sel = SelectedText(h);
      if (!sel.IsEmpty() && !(StyleOf(h) & ES_PASSWORD)) SetClipboardText(sel);
      return 0;
    }
    case WM_CUT:
      if (StyleOf(h) & ES_READONLY) return 0;
      SendMessageW(h, WM_COPY, 0, 0);
      ReplaceSel(h, CString(), true);
      return 0;
    case WM_CLEAR:
      if (!(StyleOf(h) & ES_READONLY)) ReplaceSel(h, CString(), true);
      return 0;
    case WM_PASTE: {
      CString text;
      if (!(StyleOf(h) & ES_READONLY) && GetClipboardText(&text)) ReplaceSel(h, text, true);
      return 0;
    }
    case EM_GETSEL: {
      const int a = std::min(s.anchor, s.caret), b = std::max(s.anchor, s.caret);
      if (w) *reinterpret_cast<DWORD*>(w) = DWORD(a);
      if (l) *reinterpret_cast<DWORD*>(l) = DWORD(b);
      return MAKELRESULT(a, b);
    }
    case EM_SETSEL: {
      const int len = GetWindowTextString(h).GetLength();
      int a = int(w), b = int(l);
      if (a < 0) {
        // -1 removes the selection and leaves the caret where it is.
        s.anchor = s.caret;
      } else {
        if (b < 0 || b > len) b = len;
        a = std::min(a, len);
        s.anchor = a;
        s.caret = b;
      }
      InvalidateRect(h, nullptr, FALSE);
      return 0;
    }
    case EM_REPLACESEL: {
      const auto* text = reinterpret_cast<const char16_t*>(l);
      ReplaceSel(h, CString(text ? text : u""), true);
      return 0;
    }
    case EM_SCROLLCARET: {
      ScrollToCaret(h, s);
      InvalidateRect(h, nullptr, FALSE);
      return TRUE;
    }
    case EM_GETLINECOUNT: return 1;
    case EM_LINELENGTH: return GetWindowTextString(h).GetLength();
    case EM_GETLINE: {
      // The first WORD of the buffer holds its size in characters; no terminator is added.
      auto* buf = reinterpret_cast<char16_t*>(l);
      if (!buf || w != 0) return 0;
      const int max = int(buf[0]);
      CString t = GetWindowTextString(h);
      const int n = std::min(max, t.GetLength());
      std::copy(t.GetString(), t.GetString() + n, buf);
      return n;
    }
    case EM_LIMITTEXT: {
      s.limit = w ? int(std::min<WPARAM>(w, 0x7FFFFFFE)) : 0x7FFFFFFE;
      return 0;
    }
    case EM_GETLIMITTEXT: return s.limit;
    case EM_GETMODIFY: return s.modified;
    case EM_SETMODIFY: {
      s.modified = w != 0;
      return 0;
    }
    case EM_SETREADONLY:
      SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR(w ? StyleOf(h) | ES_READONLY : StyleOf(h) & ~ES_READONLY));
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
