// A skinned-looking dialog made of the layer's parts: a nine-grid background cut to its shape
// by a key colour, a title, transparent text and owner-drawn buttons with hover and press
// pictures. The demonstration test and the X11 smoke test both show it.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/wnd.h"

namespace skindemo {

constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr COLORREF kFrame = RGB(40, 70, 120);
constexpr COLORREF kFill = RGB(236, 242, 250);
constexpr COLORREF kCaption = RGB(60, 110, 190);
constexpr COLORREF kButton = RGB(70, 140, 220);
constexpr COLORREF kButtonHover = RGB(110, 170, 240);
constexpr COLORREF kButtonDown = RGB(30, 80, 150);
constexpr int kCorner = 8;  // the fixed part of the nine-grid on every side
constexpr int kCaptionH = 32;
enum { kOk = 1, kCancel = 2, kText = 10 };

// The 24 by 24 source picture of the nine-grid: cut-off corners in the key colour, a frame, a
// caption band and the face.
inline HBITMAP MakeSkinSource(HDC like) {
  HDC dc = CreateCompatibleDC(like);
  HBITMAP bm = CreateCompatibleBitmap(dc, 24, 24);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT all{0, 0, 24, 24};
  FillSolidRectDc(dc, &all, kFill);
  RECT band{0, 0, 24, kCorner};
  FillSolidRectDc(dc, &band, kCaption);
  HBRUSH frame = CreateSolidBrush(kFrame);
  FrameRect(dc, &all, frame);
  DeleteObject(frame);
  for (int i = 0; i < 4; ++i) {
    // A stepped corner, four pixels deep, in every corner.
    for (int j = 0; j < 4 - i; ++j) {
      SetPixel(dc, j, i, kKey);
      SetPixel(dc, 23 - j, i, kKey);
      SetPixel(dc, j, 23 - i, kKey);
      SetPixel(dc, 23 - j, 23 - i, kKey);
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return bm;
}

// Nine-grid stretch of `src` (sw by sh) into dst at w by h, keeping `edge` pixels fixed.
inline void NineGrid(HDC dst, int w, int h, HDC src, int sw, int sh, int edge) {
  const int xs[4] = {0, edge, sw - edge, sw};
  const int ys[4] = {0, edge, sh - edge, sh};
  const int xd[4] = {0, edge, w - edge, w};
  const int yd[4] = {0, edge, h - edge, h};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      StretchBlt(dst, xd[c], yd[r], xd[c + 1] - xd[c], yd[r + 1] - yd[r], src, xs[c], ys[r], xs[c + 1] - xs[c],
                 ys[r + 1] - ys[r], SRCCOPY);
    }
  }
}

// The region of every pixel that is not the key colour, as rows of runs.
inline HRGN RegionFromKey(HDC dc, int w, int h, COLORREF key) {
  std::vector<RECT> rects;
  for (int y = 0; y < h; ++y) {
    int x = 0;
    while (x < w) {
      while (x < w && GetPixel(dc, x, y) == key) ++x;
      int start = x;
      while (x < w && GetPixel(dc, x, y) != key) ++x;
      if (x > start) rects.push_back(RECT{start, y, x, y + 1});
    }
  }
  std::vector<uint8_t> buf(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  data->rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()),
                            DWORD(rects.size() * sizeof(RECT)), RECT{0, 0, w, h}};
  std::copy(reinterpret_cast<const uint8_t*>(rects.data()),
            reinterpret_cast<const uint8_t*>(rects.data()) + rects.size() * sizeof(RECT),
            buf.begin() + sizeof(RGNDATAHEADER));
  return ExtCreateRegion(nullptr, DWORD(buf.size()), data);
}

struct State {
  HDC back = nullptr;  // the rendered background at client size
  HBITMAP backBm = nullptr;
  HGDIOBJ backOld = nullptr;
  HFONT titleFont = nullptr;
  HFONT textFont = nullptr;
  HWND hover = nullptr;
  int result = 0;
};
inline State& S() {
  static State& s = *new State;
  return s;
}

inline void Render(HWND dlg) {
  State& s = S();
  RECT rc{};
  GetClientRect(dlg, &rc);
  if (!s.back) s.back = CreateCompatibleDC(nullptr);
  if (s.backBm) {
    SelectObject(s.back, s.backOld);
    DeleteObject(s.backBm);
  }
  s.backBm = CreateCompatibleBitmap(s.back, rc.right, rc.bottom);
  s.backOld = SelectObject(s.back, s.backBm);
  HDC src = CreateCompatibleDC(nullptr);
  HBITMAP srcBm = MakeSkinSource(src);
  HGDIOBJ old = SelectObject(src, srcBm);
  SetStretchBltMode(s.back, COLORONCOLOR);
  NineGrid(s.back, rc.right, rc.bottom, src, 24, 24, kCorner);
  // The caption band grows to its full height: the grid's middle row stretched the face.
  RECT cap{1, kCorner, rc.right - 1, kCaptionH};
  FillSolidRectDc(s.back, &cap, kCaption);
  SelectObject(src, old);
  DeleteObject(srcBm);
  DeleteDC(src);
  if (!s.titleFont) s.titleFont = CreateFontW(-15, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, u"Arial");
  HGDIOBJ f = SelectObject(s.back, s.titleFont);
  SetBkMode(s.back, TRANSPARENT);
  SetTextColor(s.back, RGB(255, 255, 255));
  TextOutW(s.back, 14, 8, u"Kestrel", 7);
  SelectObject(s.back, f);
  SetWindowRgn(dlg, RegionFromKey(s.back, rc.right, rc.bottom, kKey), TRUE);
}

inline void DrawButton(const DRAWITEMSTRUCT* dis) {
  const bool down = dis->itemState & ODS_SELECTED;
  const bool hover = dis->hwndItem == S().hover;
  // The button's corners show the dialog's background: copy it first.
  POINT o{0, 0};
  MapWindowPoints(dis->hwndItem, GetParent(dis->hwndItem), &o, 1);
  BitBlt(dis->hDC, 0, 0, dis->rcItem.right, dis->rcItem.bottom, S().back, o.x, o.y, SRCCOPY);
  RECT face = dis->rcItem;
  InflateRect(&face, -1, -1);
  FillSolidRectDc(dis->hDC, &face, down ? kButtonDown : hover ? kButtonHover : kButton);
  char16_t text[32] = {};
  GetWindowTextW(dis->hwndItem, text, 32);
  SetBkMode(dis->hDC, TRANSPARENT);
  SetTextColor(dis->hDC, RGB(255, 255, 255));
  HGDIOBJ f = SelectObject(dis->hDC, S().textFont);
  RECT tr = dis->rcItem;
  DrawTextW(dis->hDC, text, -1, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dis->hDC, f);
}

// Buttons track the pointer for their hover picture.
inline LRESULT HoverButtonProc(HWND h, UINT msg, WPARAM w, LPARAM l);
inline WNDPROC& ButtonSuper() {
  static WNDPROC p = nullptr;
  return p;
}
inline LRESULT HoverButtonProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_MOUSEMOVE && S().hover != h) {
    S().hover = h;
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, h, 1};
    TrackMouseEvent(&tme);
    InvalidateRect(h, nullptr, FALSE);
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
  } else if (msg == WM_MOUSELEAVE) {
    if (S().hover == h) S().hover = nullptr;
    InvalidateRect(h, nullptr, FALSE);
  }
  return CallWindowProcW(ButtonSuper(), h, msg, w, l);
}

inline LRESULT DemoProc(HWND dlg, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_INITDIALOG: {
      S().textFont = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"Arial");
      for (int id : {int(kOk), int(kCancel)}) {
        HWND b = GetDlgItem(dlg, id);
        ButtonSuper() = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HoverButtonProc)));
        // Rounded-off corners: one pixel cut from each.
        RECT r{};
        GetClientRect(b, &r);
        HRGN rgn = CreateRectRgn(1, 0, r.right - 1, r.bottom);
        HRGN mid = CreateRectRgn(0, 1, r.right, r.bottom - 1);
        CombineRgn(rgn, rgn, mid, RGN_OR);
        DeleteObject(mid);
        SetWindowRgn(b, rgn, FALSE);
      }
      SendDlgItemMessageW(dlg, kText, WM_SETFONT, reinterpret_cast<WPARAM>(S().textFont), FALSE);
      Render(dlg);
      return TRUE;
    }
    case WM_ERASEBKGND: SetDlgMsgResult(dlg, 1); return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dlg, &ps);
      RECT rc{};
      GetClientRect(dlg, &rc);
      BitBlt(dc, 0, 0, rc.right, rc.bottom, S().back, 0, 0, SRCCOPY);
      EndPaint(dlg, &ps);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(w);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(48, 48, 48));
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_DRAWITEM: DrawButton(reinterpret_cast<const DRAWITEMSTRUCT*>(l)); return TRUE;
    case WM_LBUTTONDOWN: {
      // Dragging by any point of the background.
      POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
      ClientToScreen(dlg, &p);
      SendMessageW(dlg, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(p.x, p.y));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(w) == kOk || LOWORD(w) == kCancel) S().result = LOWORD(w);
      return TRUE;
    default: return FALSE;
  }
}

inline DlgTemplate Template() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_VISIBLE;
  t.x = 20;
  t.y = 20;
  t.cx = 220;
  t.cy = 120;
  t.title = u"Kestrel";
  t.items = {
      {kText, WC_STATIC, WS_VISIBLE | SS_LEFT, 0, u"The scan found 1,024 files. Save the results before leaving?",
       10, 28, 200, 30},
      {kOk, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, u"Save", 96, 96, 56, 16},
      {kCancel, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, u"Leave", 156, 96, 56, 16},
  };
  return t;
}

inline HWND Show() {
  static DlgTemplate t = Template();
  return CreateDialogIndirectParamW(nullptr, &t, nullptr, &DemoProc, 0);
}

inline void Reset() {
  State& s = S();
  if (s.back) {
    SelectObject(s.back, s.backOld);
    DeleteObject(s.backBm);
    DeleteDC(s.back);
  }
  if (s.titleFont) DeleteObject(s.titleFont);
  if (s.textFont) DeleteObject(s.textFont);
  s = State{};
}

}  // namespace skindemo
