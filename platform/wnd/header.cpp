// The column header ("SysHeader32"): items side by side with their widths, texts and formats,
// painted as buttons (or by the owner), resized by dragging a divider and clicked as buttons.
// It tells its parent through WM_NOTIFY: HDN_BEGINTRACK, HDN_TRACK and HDN_ENDTRACK around a
// drag, HDN_ITEMCHANGING (which may refuse) and HDN_ITEMCHANGED around every change of an item,
// HDN_ITEMCLICK and HDN_DIVIDERDBLCLICK.
#include <algorithm>
#include <vector>

#include "platform/wnd/ctlutil.h"
#include "platform/wnd/wndobj.h"

namespace {

// How far left and right of an item's right edge a press grabs its divider.
constexpr int kDividerGrab = 4;
// Text inset inside an item, and the room a sort mark takes at its right.
constexpr int kTextInset = 6;
constexpr int kSortMark = 16;

struct HeaderItem {
  int width = 0;
  CString text;
  int fmt = HDF_LEFT | HDF_STRING;
  LPARAM lParam = 0;
  int image = -1;
};

struct HeaderState : WindowData {
  std::vector<HeaderItem> items;
  HFONT font = nullptr;
  int lineHeight = 0;  // of the font; 0 until measured
  int track = -1;  // the item whose divider is dragged
  int trackFromX = 0, trackFromWidth = 0;
  int pressed = -1;  // the item held down as a button
  bool pressedInside = false;
};

std::shared_ptr<HeaderState> State(HWND h) { return EnsureWindowData<HeaderState>(h); }

int ItemLeft(const HeaderState& s, int i) {
  int x = 0;
  for (int k = 0; k < i; ++k) x += s.items[size_t(k)].width;
  return x;
}

RECT ItemRect(HWND h, const HeaderState& s, int i) {
  RECT c{};
  GetClientRect(h, &c);
  const int left = ItemLeft(s, i);
  return RECT{left, 0, left + s.items[size_t(i)].width, c.bottom};
}

// The item whose divider lies under x, or -1. Of dividers that share a place (items of no
// width), the rightmost wins, so that a hidden column can be dragged open again.
int DividerAt(const HeaderState& s, int x) {
  int right = 0;
  int found = -1;
  for (size_t i = 0; i < s.items.size(); ++i) {
    right += s.items[i].width;
    if (x >= right - kDividerGrab && x < right + kDividerGrab) found = int(i);
  }
  return found;
}

int ItemAt(const HeaderState& s, int x) {
  int left = 0;
  for (size_t i = 0; i < s.items.size(); ++i) {
    const int right = left + s.items[i].width;
    if (x >= left && x < right) return int(i);
    left = right;
  }
  return -1;
}

HDITEMW Describe(const HeaderItem& it) {
  HDITEMW d{};
  d.mask = HDI_WIDTH | HDI_FORMAT | HDI_LPARAM | HDI_IMAGE;
  d.cxy = it.width;
  d.fmt = it.fmt;
  d.lParam = it.lParam;
  d.iImage = it.image;
  return d;
}

LRESULT NotifyHeader(HWND h, UINT code, int item, int button, HDITEMW* pitem) {
  NMHEADERW nm{};
  nm.iItem = item;
  nm.iButton = button;
  nm.pitem = pitem;
  return SendNotify(h, code, &nm.hdr);
}

void Apply(HeaderItem& it, const HDITEMW& d) {
  if (d.mask & HDI_WIDTH) it.width = std::max(0, d.cxy);
  if (d.mask & HDI_TEXT) it.text = d.pszText ? CString(d.pszText) : CString();
  if (d.mask & HDI_FORMAT) it.fmt = d.fmt;
  if (d.mask & HDI_LPARAM) it.lParam = d.lParam;
  if (d.mask & HDI_IMAGE) it.image = d.iImage;
}

// Changes an item as HDM_SETITEM does: the parent may refuse the change.
bool SetItem(HWND h, HeaderState& s, int i, const HDITEMW& d) {
  if (i < 0 || size_t(i) >= s.items.size()) return false;
  HDITEMW ask = d;
  if (NotifyHeader(h, HDN_ITEMCHANGINGW, i, 0, &ask)) return false;
  if (size_t(i) >= s.items.size()) return false;  // the parent deleted it meanwhile
  Apply(s.items[size_t(i)], d);
  InvalidateRect(h, nullptr, TRUE);
  HDITEMW told = d;
  NotifyHeader(h, HDN_ITEMCHANGEDW, i, 0, &told);
  return true;
}

bool SetWidth(HWND h, HeaderState& s, int i, int width) {
  HDITEMW d{};
  d.mask = HDI_WIDTH;
  d.cxy = width;
  return SetItem(h, s, i, d);
}

void DrawSortMark(HDC dc, const RECT& r, bool up) {
  const int cx = r.right - kSortMark / 2 - 2, cy = (r.top + r.bottom) / 2;
  const COLORREF ink = GetSysColor(COLOR_BTNSHADOW);
  // A triangle of four rows, pointing up or down.
  for (int row = 0; row < 4; ++row) {
    const int half = up ? row : 3 - row;
    RECT line{cx - half, cy - 2 + row, cx + half + 1, cy - 1 + row};
    FillSolidRectDc(dc, &line, ink);
  }
}

void PaintHeader(HWND h, HDC dc, HeaderState& s) {
  RECT c{};
  GetClientRect(h, &c);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  HGDIOBJ oldFont = SelectObject(dc, ControlFontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  const bool enabled = IsWindowEnabled(h) != FALSE;
  int right = 0;
  for (size_t i = 0; i < s.items.size(); ++i) {
    const HeaderItem it = s.items[i];  // a copy: the owner may change the items while it draws
    RECT r = ItemRect(h, s, int(i));
    right = r.right;
    if (r.right <= r.left) continue;
    const bool down = s.pressed == int(i) && s.pressedInside;
    if (it.fmt & HDF_OWNERDRAW) {
      DRAWITEMSTRUCT dis{};
      dis.CtlType = ODT_HEADER;
      dis.CtlID = UINT(GetDlgCtrlID(h));
      dis.itemID = UINT(i);
      dis.itemAction = ODA_DRAWENTIRE;
      dis.itemState = (down ? ODS_SELECTED : 0) | (enabled ? 0 : ODS_DISABLED);
      dis.hwndItem = h;
      dis.hDC = dc;
      dis.rcItem = r;
      dis.itemData = ULONG_PTR(it.lParam);
      if (HWND p = GetParent(h)) SendMessageW(p, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
      continue;
    }
    FillSolidRectDc(dc, &r, face);
    if (down) DrawEdgeLines(dc, r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW));
    else DrawEdgeLines(dc, r, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
    RECT tr{r.left + kTextInset, r.top, r.right - kTextInset, r.bottom};
    if (down) OffsetRect(&tr, 1, 1);
    const bool sorted = (it.fmt & (HDF_SORTUP | HDF_SORTDOWN)) != 0;
    if (sorted) {
      tr.right -= kSortMark;
      if (r.right - kSortMark - 2 > r.left + kTextInset) DrawSortMark(dc, r, (it.fmt & HDF_SORTUP) != 0);
    }
    if (!it.text.IsEmpty() && tr.right > tr.left) {
      UINT fmt = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
      if ((it.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT) fmt |= DT_RIGHT;
      else if ((it.fmt & HDF_JUSTIFYMASK) == HDF_CENTER) fmt |= DT_CENTER;
      SetTextColor(dc, enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
      DrawTextW(dc, it.text.GetString(), it.text.GetLength(), &tr, fmt);
    }
  }
  // The empty part right of the last item.
  RECT rest{right, c.top, c.right, c.bottom};
  if (rest.right > rest.left) {
    FillSolidRectDc(dc, &rest, face);
    DrawEdgeLines(dc, rest, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  }
  SelectObject(dc, oldFont);
}

void EndTrack(HWND h, HeaderState& s) {
  const int i = s.track;
  s.track = -1;
  if (GetCapture() == h) ReleaseCapture();
  if (i < 0 || size_t(i) >= s.items.size()) return;
  HDITEMW d = Describe(s.items[size_t(i)]);
  NotifyHeader(h, HDN_ENDTRACKW, i, 0, &d);
}

POINT CursorInClient(HWND h) {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(h, &p);
  return p;
}

}  // namespace

LRESULT HeaderProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<HeaderState> st = State(h);
  HeaderState& s = *st;
  switch (msg) {
    case HDM_GETITEMCOUNT: return LRESULT(s.items.size());
    case HDM_INSERTITEMW: {
      const auto* d = reinterpret_cast<const HDITEMW*>(l);
      if (!d || int(w) < 0) return -1;
      const size_t at = std::min(size_t(w), s.items.size());
      HeaderItem it;
      Apply(it, *d);
      s.items.insert(s.items.begin() + ptrdiff_t(at), it);
      InvalidateRect(h, nullptr, TRUE);
      return LRESULT(at);
    }
    case HDM_DELETEITEM: {
      if (int(w) < 0 || size_t(w) >= s.items.size()) return FALSE;
      s.items.erase(s.items.begin() + ptrdiff_t(w));
      if (s.track >= int(w)) s.track = -1;
      if (s.pressed >= int(w)) s.pressed = -1;
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    }
    case HDM_GETITEMW: {
      auto* d = reinterpret_cast<HDITEMW*>(l);
      if (!d || int(w) < 0 || size_t(w) >= s.items.size()) return FALSE;
      const HeaderItem& it = s.items[size_t(w)];
      if (d->mask & HDI_WIDTH) d->cxy = it.width;
      if (d->mask & HDI_FORMAT) d->fmt = it.fmt;
      if (d->mask & HDI_LPARAM) d->lParam = it.lParam;
      if (d->mask & HDI_IMAGE) d->iImage = it.image;
      if (d->mask & HDI_ORDER) d->iOrder = int(w);
      if ((d->mask & HDI_TEXT) && d->pszText && d->cchTextMax > 0) {
        const int n = std::min(d->cchTextMax - 1, it.text.GetLength());
        std::copy(it.text.GetString(), it.text.GetString() + n, d->pszText);
        d->pszText[n] = 0;
      }
      return TRUE;
    }
    case HDM_SETITEMW: {
      const auto* d = reinterpret_cast<const HDITEMW*>(l);
      return d && SetItem(h, s, int(w), *d) ? TRUE : FALSE;
    }
    case HDM_GETITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(l);
      if (!r || int(w) < 0 || size_t(w) >= s.items.size()) return FALSE;
      *r = ItemRect(h, s, int(w));
      return TRUE;
    }
    case HDM_HITTEST: {
      auto* hi = reinterpret_cast<HDHITTESTINFO*>(l);
      if (!hi) return -1;
      RECT c{};
      GetClientRect(h, &c);
      hi->flags = 0;
      hi->iItem = -1;
      const POINT p = hi->pt;
      if (p.y < c.top) hi->flags |= HHT_ABOVE;
      if (p.y >= c.bottom) hi->flags |= HHT_BELOW;
      if (p.x < c.left) hi->flags |= HHT_TOLEFT;
      if (p.x >= c.right) hi->flags |= HHT_TORIGHT;
      if (hi->flags) return -1;
      if (int d = DividerAt(s, p.x); d >= 0) {
        hi->flags = HHT_ONDIVIDER;
        hi->iItem = d;
      } else if (int i = ItemAt(s, p.x); i >= 0) {
        hi->flags = HHT_ONHEADER;
        hi->iItem = i;
      } else {
        hi->flags = HHT_NOWHERE;
      }
      return hi->iItem;
    }
    case HDM_LAYOUT: {
      auto* lay = reinterpret_cast<HDLAYOUT*>(l);
      if (!lay || !lay->prc || !lay->pwpos) return FALSE;
      RECT& area = *lay->prc;
      if (s.lineHeight <= 0) s.lineHeight = FontLineHeight(s.font);
      const int height = (StyleOf(h) & HDS_HIDDEN) ? 0 : s.lineHeight + 7;
      *lay->pwpos = WINDOWPOS{h, nullptr, area.left, area.top, area.right - area.left, height, SWP_NOZORDER};
      area.top += height;
      return TRUE;
    }
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(w);
      s.lineHeight = 0;
      if (LOWORD(uintptr_t(l))) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        PaintHeader(h, reinterpret_cast<HDC>(w), s);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) PaintHeader(h, dc, s);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_SETCURSOR: {
      if (LOWORD(uintptr_t(l)) == HTCLIENT && (s.track >= 0 || DividerAt(s, CursorInClient(h).x) >= 0)) {
        SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
        return TRUE;
      }
      return DefWindowProcW(h, msg, w, l);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      const int x = GET_X_LPARAM(l);
      if (int d = DividerAt(s, x); d >= 0) {
        if (msg == WM_LBUTTONDBLCLK) {
          HDITEMW desc = Describe(s.items[size_t(d)]);
          NotifyHeader(h, HDN_DIVIDERDBLCLICKW, d, 0, &desc);
          return 0;
        }
        HDITEMW desc = Describe(s.items[size_t(d)]);
        if (NotifyHeader(h, HDN_BEGINTRACKW, d, 0, &desc)) return 0;  // the parent keeps the width
        if (size_t(d) >= s.items.size()) return 0;
        s.track = d;
        s.trackFromX = x;
        s.trackFromWidth = s.items[size_t(d)].width;
        SetCapture(h);
        return 0;
      }
      if (!(StyleOf(h) & HDS_BUTTONS)) return 0;
      if (int i = ItemAt(s, x); i >= 0) {
        s.pressed = i;
        s.pressedInside = true;
        SetCapture(h);
        RECT r = ItemRect(h, s, i);
        InvalidateRect(h, &r, FALSE);
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      const int x = GET_X_LPARAM(l), y = GET_Y_LPARAM(l);
      if (s.track >= 0 && size_t(s.track) < s.items.size()) {
        const int i = s.track;
        HDITEMW d = Describe(s.items[size_t(i)]);
        d.cxy = std::max(0, s.trackFromWidth + x - s.trackFromX);
        if (NotifyHeader(h, HDN_TRACKW, i, 0, &d)) {  // the parent stops the drag here
          EndTrack(h, s);
          return 0;
        }
        if (s.track == i && s.items[size_t(i)].width != d.cxy) SetWidth(h, s, i, d.cxy);
      } else if (s.pressed >= 0 && size_t(s.pressed) < s.items.size()) {
        RECT r = ItemRect(h, s, s.pressed);
        const bool inside = PtInRect(&r, POINT{x, y}) != FALSE;
        if (inside != s.pressedInside) {
          s.pressedInside = inside;
          InvalidateRect(h, &r, FALSE);
        }
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (s.track >= 0) {
        EndTrack(h, s);
        return 0;
      }
      if (s.pressed >= 0) {
        const int i = s.pressed;
        const bool inside = s.pressedInside;
        s.pressed = -1;
        s.pressedInside = false;
        if (GetCapture() == h) ReleaseCapture();
        if (size_t(i) < s.items.size()) {
          RECT r = ItemRect(h, s, i);
          InvalidateRect(h, &r, FALSE);
          if (inside) NotifyHeader(h, HDN_ITEMCLICKW, i, 0, nullptr);
        }
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (w == VK_ESCAPE && s.track >= 0 && size_t(s.track) < s.items.size()) {
        // Escape puts the width back where the drag began.
        SetWidth(h, s, s.track, s.trackFromWidth);
        EndTrack(h, s);
        return 0;
      }
      return DefWindowProcW(h, msg, w, l);
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(l) != h) {
        if (s.track >= 0) EndTrack(h, s);
        if (s.pressed >= 0 && size_t(s.pressed) < s.items.size()) {
          RECT r = ItemRect(h, s, s.pressed);
          InvalidateRect(h, &r, FALSE);
        }
        s.pressed = -1;
        s.pressedInside = false;
      }
      return 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
