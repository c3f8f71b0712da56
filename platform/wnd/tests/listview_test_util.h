// Helpers of the list view and header tests: a parent window that records the notifications
// of its controls and answers their questions (texts of owner data, custom draw, row height).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/wnd/controls.h"
#include "platform/wnd/tests/wnd_test_util.h"

struct Notice {
  UINT code;
  int item;
  int sub;
  UINT oldState, newState;
  POINT pt;
};

struct ParentSpy {
  HWND parent = nullptr;
  std::vector<Notice> notices;
  std::vector<std::pair<int, int>> asked;       // (row, sub-item) of LVN_GETDISPINFO text questions
  std::vector<std::pair<int, int>> cacheHints;  // LVN_ODCACHEHINT ranges
  std::vector<DRAWITEMSTRUCT> drawn;            // WM_DRAWITEM
  std::vector<NMCUSTOMDRAW> customDrawn;        // NM_CUSTOMDRAW stages
  int measured = 0;                              // WM_MEASUREITEM asked
  UINT rowHeight = 0;                            // 0: leave the list's proposal
  std::function<void(NMLVDISPINFOW*)> dispInfo;  // default: "r<row>c<sub>"
  std::function<LRESULT(NMLVCUSTOMDRAW*)> customDraw;
  std::function<LRESULT(NMHDR*)> answer;  // other notifications; null answers 0
  std::function<void(const DRAWITEMSTRUCT*)> onDraw;

  HWND Make(int w = 640, int h = 480) {
    parent = MakeWindow(WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr, 0,
                        [this](HWND, UINT msg, WPARAM, LPARAM l, LRESULT* r) { return Handle(msg, l, r); });
    return parent;
  }

  bool Handle(UINT msg, LPARAM l, LRESULT* r) {
    if (msg == WM_MEASUREITEM) {
      ++measured;
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
      if (rowHeight) mis->itemHeight = rowHeight;
      *r = TRUE;
      return true;
    }
    if (msg == WM_DRAWITEM) {
      drawn.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(l));
      if (onDraw) onDraw(reinterpret_cast<DRAWITEMSTRUCT*>(l));
      *r = TRUE;
      return true;
    }
    if (msg != WM_NOTIFY) return false;
    auto* nm = reinterpret_cast<NMHDR*>(l);
    *r = 0;
    if (nm->code == LVN_GETDISPINFOW) {
      auto* di = reinterpret_cast<NMLVDISPINFOW*>(l);
      if (di->item.mask & LVIF_TEXT) asked.push_back({di->item.iItem, di->item.iSubItem});
      if (dispInfo) {
        dispInfo(di);
      } else if ((di->item.mask & LVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0) {
        const std::u16string t = u"r" + Num(di->item.iItem) + u"c" + Num(di->item.iSubItem);
        const size_t n = std::min(t.size(), size_t(di->item.cchTextMax - 1));
        t.copy(di->item.pszText, n);
        di->item.pszText[n] = 0;
      }
      return true;
    }
    if (nm->code == LVN_ODCACHEHINT) {
      auto* h = reinterpret_cast<NMLVCACHEHINT*>(l);
      cacheHints.push_back({h->iFrom, h->iTo});
      return true;
    }
    if (nm->code == NM_CUSTOMDRAW) {
      auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(l);
      customDrawn.push_back(cd->nmcd);
      if (customDraw) *r = customDraw(cd);
      return true;
    }
    Notice n{nm->code, -1, 0, 0, 0, {0, 0}};
    if (nm->code == LVN_ITEMCHANGED || nm->code == LVN_ITEMCHANGING || nm->code == LVN_COLUMNCLICK) {
      auto* lv = reinterpret_cast<NMLISTVIEW*>(l);
      n.item = lv->iItem, n.sub = lv->iSubItem, n.oldState = lv->uOldState, n.newState = lv->uNewState;
    } else if (nm->code == NM_CLICK || nm->code == NM_DBLCLK || nm->code == NM_RCLICK) {
      auto* a = reinterpret_cast<NMITEMACTIVATE*>(l);
      n.item = a->iItem, n.sub = a->iSubItem, n.pt = a->ptAction;
    } else if (nm->code == LVN_ODSTATECHANGED) {
      auto* od = reinterpret_cast<NMLVODSTATECHANGE*>(l);
      n.item = od->iFrom, n.sub = od->iTo, n.newState = od->uNewState;
    } else if (nm->code >= HDN_TRACKW && nm->code <= HDN_ITEMCHANGINGA) {
      auto* hd = reinterpret_cast<NMHEADERW*>(l);
      n.item = hd->iItem;
      n.sub = hd->pitem ? hd->pitem->cxy : -1;
    }
    notices.push_back(n);
    if (answer) *r = answer(nm);
    return true;
  }

  std::vector<Notice> Of(UINT code) const {
    std::vector<Notice> out;
    for (const Notice& n : notices) {
      if (n.code == code) out.push_back(n);
    }
    return out;
  }
  void Clear() {
    notices.clear();
    asked.clear();
    cacheHints.clear();
    drawn.clear();
    customDrawn.clear();
  }
  static std::u16string Num(int v) {
    std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
  }
};

inline HWND MakeList(HWND parent, DWORD style, int x = 10, int y = 10, int w = 400, int h = 300, int id = 5) {
  InitWindowLayer();
  return CreateWindowExW(0, WC_LISTVIEW, u"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<void*>(intptr_t(id)), nullptr, nullptr);
}

inline void AddColumn(HWND list, int at, const char16_t* text, int width, int fmt = LVCFMT_LEFT) {
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  c.pszText = const_cast<char16_t*>(text);
  c.cx = width;
  c.fmt = fmt;
  SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(at), reinterpret_cast<LPARAM>(&c));
}

inline int AddRow(HWND list, int at, const char16_t* text, LPARAM data = 0) {
  LVITEMW it{};
  it.mask = LVIF_TEXT | LVIF_PARAM;
  it.iItem = at;
  it.pszText = const_cast<char16_t*>(text);
  it.lParam = data;
  return int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
}

inline RECT ItemRect(HWND list, int i, int code) {
  RECT r{};
  r.left = code;
  SendMessageW(list, LVM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r));
  return r;
}

inline RECT SubItemRect(HWND list, int i, int sub, int code) {
  RECT r{};
  r.top = sub;
  r.left = code;
  SendMessageW(list, LVM_GETSUBITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r));
  return r;
}

inline UINT StateOf(HWND list, int i, UINT mask = LVIS_SELECTED | LVIS_FOCUSED) {
  return UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(i), LPARAM(mask)));
}

// Selected rows, in order.
inline std::vector<int> Selected(HWND list) {
  std::vector<int> out;
  for (int i = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); i >= 0 && out.size() < 1000;
       i = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) {
    out.push_back(i);
  }
  return out;
}

// A press and release at a client point of the window, with keys (MK_SHIFT, MK_CONTROL) held.
inline void ClickAt(HWND h, int x, int y, WPARAM keys = 0, bool right = false) {
  SendMessageW(h, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, keys | (right ? MK_RBUTTON : MK_LBUTTON), MAKELPARAM(x, y));
  SendMessageW(h, right ? WM_RBUTTONUP : WM_LBUTTONUP, keys, MAKELPARAM(x, y));
}
