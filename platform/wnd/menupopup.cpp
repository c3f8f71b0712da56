// Popup menus on the screen: TrackPopupMenu runs a modal loop on the calling thread around a
// popup window of the menu class ("#32768"), with the pointer captured (and grabbed on the
// display) so that a click anywhere else cancels it. The system menu of a window runs the same
// way. A hook lets tests choose an item instead of a user.
#include <algorithm>
#include <mutex>

#include "platform/paint/gdi.h"
#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

namespace {

constexpr int kEdge = 2;       // the raised frame
constexpr int kMargin = 1;     // between the frame and the items
constexpr int kSeparator = 8;  // height of a separator
constexpr int kAccelGap = 24;  // between an item's text and its accelerator

struct PopupState : WindowData {
  std::vector<MenuItemInfo> items;
  std::vector<RECT> rects;  // client coordinates, one per item
  HFONT font = nullptr;
  int checkColumn = 0;      // width of the column for check marks and bitmaps
  int accelRight = 0;       // right edge of accelerator texts
  int hot = -1;             // the highlighted item
};

struct HookSlot {
  std::mutex m;
  MenuChoiceHook fn = nullptr;
  void* ctx = nullptr;
};
HookSlot& Hook() {
  static HookSlot& h = *new HookSlot;
  return h;
}

bool IsSeparator(const MenuItemInfo& it) { return (it.flags & MF_SEPARATOR) != 0; }
bool Selectable(const MenuItemInfo& it) { return !(it.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)); }

// The text before a tab is the label, after it the accelerator ("&Close\tAlt+F4").
CString Label(const CString& t) {
  const int tab = t.Find(u"\t");
  return tab < 0 ? t : t.Left(tab);
}
CString Accelerator(const CString& t) {
  const int tab = t.Find(u"\t");
  return tab < 0 ? CString() : t.Mid(tab + 1);
}

// The character after a single '&', lower case; 0 for none.
char16_t Mnemonic(const CString& text) {
  const CString label = Label(text);
  for (int i = 0; i + 1 < label.GetLength(); ++i) {
    if (label[i] != u'&') continue;
    if (label[i + 1] == u'&') {
      ++i;
      continue;
    }
    char16_t c = label[i + 1];
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
  }
  return 0;
}

SIZE BitmapSize(HBITMAP bm) {
  BITMAP b{};
  if (!bm || GetObjectW(bm, sizeof b, &b) != int(sizeof b)) return SIZE{0, 0};
  return SIZE{b.bmWidth, std::abs(b.bmHeight)};
}

// Lays the items out and gives the popup's size.
SIZE Layout(PopupState& s) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, s.font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  int bitmapW = 0, bitmapH = 0, labelW = 0, accelW = 0;
  for (const auto& it : s.items) {
    for (HBITMAP bm : {it.checked, it.unchecked}) {
      SIZE b = BitmapSize(bm);
      bitmapW = std::max<int>(bitmapW, b.cx);
      bitmapH = std::max<int>(bitmapH, b.cy);
    }
    RECT r{0, 0, 0, 0};
    CString l = Label(it.text), a = Accelerator(it.text);
    DrawTextW(dc, l.GetString(), l.GetLength(), &r, DT_SINGLELINE | DT_CALCRECT);
    labelW = std::max<int>(labelW, r.right);
    if (!a.IsEmpty()) {
      RECT ar{0, 0, 0, 0};
      DrawTextW(dc, a.GetString(), a.GetLength(), &ar, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
      accelW = std::max<int>(accelW, ar.right);
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  s.checkColumn = std::max(16, std::min(bitmapW, 48)) + 8;
  const int itemH = std::max({20, int(tm.tmHeight) + 6, std::min(bitmapH, 48) + 4});
  const int width = s.checkColumn + labelW + (accelW ? kAccelGap + accelW : 0) + 20;
  int y = kEdge + kMargin;
  s.rects.clear();
  for (const auto& it : s.items) {
    const int h = IsSeparator(it) ? kSeparator : itemH;
    s.rects.push_back(RECT{kEdge + kMargin, y, kEdge + kMargin + width, y + h});
    y += h;
  }
  s.accelRight = kEdge + kMargin + width - 12;
  return SIZE{width + 2 * (kEdge + kMargin), y + kMargin + kEdge};
}

int ItemAt(const PopupState& s, POINT p) {
  for (size_t i = 0; i < s.rects.size(); ++i) {
    if (PtInRect(&s.rects[i], p) && !IsSeparator(s.items[i])) return int(i);
  }
  return -1;
}

// The next item that is not a separator, going `dir` (+1, -1) from `from`, round the end.
int NextItem(const PopupState& s, int from, int dir) {
  const int n = int(s.items.size());
  if (n == 0) return -1;
  int i = from;
  for (int k = 0; k < n; ++k) {
    i = i < 0 ? (dir > 0 ? 0 : n - 1) : (i + dir + n) % n;
    if (!IsSeparator(s.items[size_t(i)])) return i;
  }
  return -1;
}

void DrawCheck(HDC dc, int x, int y, COLORREF c) {
  // A check mark of two strokes, two pixels thick.
  for (int i = 0; i < 3; ++i) {
    RECT r{x + i, y + 3 + i, x + i + 1, y + 5 + i};
    FillSolidRectDc(dc, &r, c);
  }
  for (int i = 0; i < 5; ++i) {
    RECT r{x + 3 + i, y + 4 - i, x + 4 + i, y + 6 - i};
    FillSolidRectDc(dc, &r, c);
  }
}

void PaintPopup(HWND h, HDC dc, const PopupState& s) {
  RECT rc{};
  GetClientRect(h, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_MENU));
  auto edge = [&](RECT e, int tl, int br) {
    RECT t{e.left, e.top, e.right, e.top + 1}, l{e.left, e.top, e.left + 1, e.bottom};
    RECT b{e.left, e.bottom - 1, e.right, e.bottom}, r{e.right - 1, e.top, e.right, e.bottom};
    FillSolidRectDc(dc, &b, GetSysColor(br));
    FillSolidRectDc(dc, &r, GetSysColor(br));
    FillSolidRectDc(dc, &t, GetSysColor(tl));
    FillSolidRectDc(dc, &l, GetSysColor(tl));
  };
  edge(rc, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
  RECT inner = rc;
  InflateRect(&inner, -1, -1);
  edge(inner, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
  HGDIOBJ old = SelectObject(dc, s.font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < s.items.size(); ++i) {
    const MenuItemInfo& it = s.items[i];
    const RECT& r = s.rects[i];
    if (IsSeparator(it)) {
      const int y = (r.top + r.bottom) / 2 - 1;
      RECT a{r.left + 2, y, r.right - 2, y + 1}, b{r.left + 2, y + 1, r.right - 2, y + 2};
      FillSolidRectDc(dc, &a, GetSysColor(COLOR_BTNSHADOW));
      FillSolidRectDc(dc, &b, GetSysColor(COLOR_BTNHIGHLIGHT));
      continue;
    }
    const bool hot = int(i) == s.hot;
    const bool grey = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
    if (hot) FillSolidRectDc(dc, &r, GetSysColor(COLOR_HIGHLIGHT));
    const COLORREF ink =
        grey ? GetSysColor(COLOR_GRAYTEXT) : hot ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_MENUTEXT);
    const bool checked = (it.flags & MF_CHECKED) != 0;
    if (HBITMAP bm = checked ? it.checked : it.unchecked) {
      const SIZE b = BitmapSize(bm);
      HDC src = CreateCompatibleDC(nullptr);
      HGDIOBJ prev = SelectObject(src, bm);
      const int w = std::min<int>(b.cx, s.checkColumn - 4), hgt = std::min<int>(b.cy, r.bottom - r.top - 2);
      BitBlt(dc, r.left + (s.checkColumn - w) / 2, (r.top + r.bottom - hgt) / 2, w, hgt, src, 0, 0, SRCCOPY);
      SelectObject(src, prev);
      DeleteDC(src);
    } else if (checked) {
      DrawCheck(dc, r.left + (s.checkColumn - 8) / 2, (r.top + r.bottom) / 2 - 4, ink);
    }
    SetTextColor(dc, ink);
    CString label = Label(it.text), accel = Accelerator(it.text);
    RECT tr{r.left + s.checkColumn, r.top, r.right, r.bottom};
    DrawTextW(dc, label.GetString(), label.GetLength(), &tr, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    if (!accel.IsEmpty()) {
      RECT ar{r.left + s.checkColumn, r.top, s.accelRight, r.bottom};
      DrawTextW(dc, accel.GetString(), accel.GetLength(), &ar, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
    }
  }
  SelectObject(dc, old);
}

void SetHot(HWND popup, PopupState& s, int i, HWND owner, HMENU menu) {
  if (i == s.hot) return;
  if (s.hot >= 0) InvalidateRect(popup, &s.rects[size_t(s.hot)], FALSE);
  s.hot = i;
  if (i >= 0) InvalidateRect(popup, &s.rects[size_t(i)], FALSE);
  if (IsWindow(owner)) {
    const MenuItemInfo* it = i >= 0 ? &s.items[size_t(i)] : nullptr;
    const UINT flags = it ? (it->flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED)) | MF_HILITE : 0xFFFF;
    SendMessageW(owner, WM_MENUSELECT, MAKEWPARAM(it ? int(it->id) : 0, int(flags)), it ? reinterpret_cast<LPARAM>(menu) : 0);
  }
}

bool IsChoosable(HMENU menu, UINT id) {
  std::vector<MenuItemInfo> items;
  if (!id || !ReadMenuItems(menu, &items)) return false;
  return std::any_of(items.begin(), items.end(), [&](const MenuItemInfo& it) { return it.id == id && Selectable(it); });
}

// Runs the menu; the chosen id, 0 when cancelled.
UINT RunMenu(HMENU menu, UINT flags, POINT pt, HWND owner, bool system) {
  auto st = std::make_shared<PopupState>();
  if (!ReadMenuItems(menu, &st->items) || st->items.empty()) return 0;
  st->font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const SIZE size = Layout(*st);
  // Aligned to the point as asked, and kept on the screen (flipped to the other side of the
  // point when it would leave it).
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  int x = pt.x, y = pt.y;
  if (flags & TPM_RIGHTALIGN) x -= size.cx;
  else if (flags & TPM_CENTERALIGN) x -= size.cx / 2;
  if (flags & TPM_BOTTOMALIGN) y -= size.cy;
  else if (flags & TPM_VCENTERALIGN) y -= size.cy / 2;
  if (x + size.cx > sw) x = std::max<int>(pt.x - size.cx, sw - size.cx);
  if (y + size.cy > sh) y = std::max<int>(pt.y - size.cy, sh - size.cy);
  x = std::max(x, 0), y = std::max(y, 0);

  HWND popup = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, u"#32768", u"", WS_POPUP, x, y, size.cx, size.cy,
                               owner, nullptr, nullptr, nullptr);
  if (!popup) return 0;
  SetWindowData(popup, st);
  PopupState& s = *st;
  SendMessageW(owner, WM_ENTERMENULOOP, TRUE, 0);
  SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, system ? 1 : 0));
  // The owner may have changed the items (grey, checked) when it heard of the popup.
  ReadMenuItems(menu, &s.items);
  ShowWindow(popup, SW_SHOWNA);
  UpdateWindow(popup);
  SetCapture(popup);
  DisplayBackend* backend = CurrentBackend();
  if (backend) backend->GrabInput(popup, true);

  RECT client{0, 0, size.cx, size.cy};
  const bool rightButton = (flags & TPM_RIGHTBUTTON) != 0;
  UINT chosen = 0;
  bool done = false, idleSaid = false;
  auto choose = [&](int i) {
    if (i < 0 || !Selectable(s.items[size_t(i)])) return;
    chosen = UINT(s.items[size_t(i)].id);
    done = true;
  };
  for (int guard = 0; !done && guard < 10000000; ++guard) {
    MSG m;
    if (!idleSaid && !PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE)) {
      // Idle: the owner hears of it once per pause (tests give their input here).
      if (IsWindow(owner)) SendMessageW(owner, WM_ENTERIDLE, MSGF_MENU, reinterpret_cast<LPARAM>(popup));
      idleSaid = true;
      continue;
    }
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    idleSaid = false;
    if (!IsWindow(popup) || GetCapture() != popup || (owner && !IsWindow(owner))) break;
    switch (m.message) {
      case WM_MOUSEMOVE: {
        POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        SetHot(popup, s, PtInRect(&client, p) ? ItemAt(s, p) : -1, owner, menu);
        break;
      }
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK: {
        // A press anywhere else ends the menu and goes no further.
        POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        if (!PtInRect(&client, p)) done = true;
        break;
      }
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
        if (m.message == WM_LBUTTONUP || rightButton) {
          POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
          if (PtInRect(&client, p)) choose(ItemAt(s, p));
        }
        break;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        switch (m.wParam) {
          case VK_DOWN: SetHot(popup, s, NextItem(s, s.hot, +1), owner, menu); break;
          case VK_UP: SetHot(popup, s, NextItem(s, s.hot, -1), owner, menu); break;
          case VK_HOME: SetHot(popup, s, NextItem(s, -1, +1), owner, menu); break;
          case VK_END: SetHot(popup, s, NextItem(s, -1, -1), owner, menu); break;
          case VK_RETURN: choose(s.hot); break;
          case VK_ESCAPE:
          case VK_MENU:
          case VK_F10: done = true; break;
          default: break;
        }
        break;
      case WM_CHAR:
      case WM_SYSCHAR: {
        // A mnemonic chooses its item; when several share it, each press moves to the next.
        char16_t c = char16_t(m.wParam);
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
        std::vector<int> matches;
        for (size_t i = 0; i < s.items.size(); ++i) {
          if (!IsSeparator(s.items[i]) && Mnemonic(s.items[i].text) == c) matches.push_back(int(i));
        }
        if (matches.size() == 1) {
          SetHot(popup, s, matches[0], owner, menu);
          choose(matches[0]);
        } else if (!matches.empty()) {
          auto next = std::upper_bound(matches.begin(), matches.end(), s.hot);
          SetHot(popup, s, next == matches.end() ? matches[0] : *next, owner, menu);
        }
        break;
      }
      default:
        if ((m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) ||
            (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)) {
          break;  // the menu has the keyboard and the mouse
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
        break;
    }
  }
  if (backend) backend->GrabInput(popup, false);
  if (GetCapture() == popup) ReleaseCapture();
  DestroyWindow(popup);
  if (IsWindow(owner)) {
    SendMessageW(owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    SendMessageW(owner, WM_EXITMENULOOP, TRUE, 0);
  }
  return chosen;
}

}  // namespace

LRESULT MenuPopupProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      auto s = WindowDataOf<PopupState>(h);
      if (w) {
        if (s) PaintPopup(h, reinterpret_cast<HDC>(w), *s);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc && s) PaintPopup(h, dc, *s);
      EndPaint(h, &ps);
      return 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}

void SetMenuChoiceHook(MenuChoiceHook hook, void* ctx) {
  std::lock_guard<std::mutex> g(Hook().m);
  Hook().fn = hook;
  Hook().ctx = ctx;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  InitWindowLayer();
  std::vector<MenuItemInfo> items;
  if (!ReadMenuItems(menu, &items) || (owner && !IsWindow(owner))) return FALSE;
  const bool system = IsSystemMenuOf(owner, menu);
  MenuChoiceHook hook = nullptr;
  void* ctx = nullptr;
  {
    std::lock_guard<std::mutex> g(Hook().m);
    hook = Hook().fn, ctx = Hook().ctx;
  }
  UINT id = 0;
  if (hook) {
    SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, system ? 1 : 0));
    id = hook(menu, owner, ctx);
    if (!IsChoosable(menu, id)) id = 0;
  } else {
    id = RunMenu(menu, flags, POINT{x, y}, owner, system);
  }
  if (flags & TPM_RETURNCMD) return BOOL(id);
  if (id && !(flags & TPM_NONOTIFY) && IsWindow(owner)) {
    if (system) PostMessageW(owner, WM_SYSCOMMAND, id, MAKELPARAM(x, y));
    else PostMessageW(owner, WM_COMMAND, MAKEWPARAM(int(id), 0), 0);
  }
  return TRUE;
}

void TrackSystemMenu(HWND hwnd, POINT pt) {
  HMENU menu = GetSystemMenu(hwnd, FALSE);
  if (!menu) return;
  // The standard items say what the window can do now.
  const DWORD style = DWORD(GetWindowLongPtrW(hwnd, GWL_STYLE));
  const bool zoomed = IsZoomed(hwnd), iconic = IsIconic(hwnd);
  auto grey = [&](WPARAM cmd, bool enabled) { EnableMenuItem(menu, UINT(cmd), enabled ? MF_ENABLED : MF_GRAYED); };
  grey(SC_RESTORE, zoomed || iconic);
  grey(SC_MOVE, !zoomed && !iconic);
  grey(SC_SIZE, !zoomed && !iconic && (style & WS_THICKFRAME));
  grey(SC_MINIMIZE, !iconic && (style & WS_MINIMIZEBOX));
  grey(SC_MAXIMIZE, !zoomed && (style & WS_MAXIMIZEBOX));
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
}
