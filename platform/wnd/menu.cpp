// Menus as data: the system menu of a window and popup menus that programs fill, with check
// marks, grey items and check bitmaps. Showing a popup menu is menupopup.cpp.
#include <algorithm>
#include <set>

#include "platform/wnd/wndobj.h"

struct MenuObject {
  struct Item {
    UINT flags;
    UINT_PTR id;
    CString text;
    HBITMAP checked = nullptr;    // shown beside a checked item (the menu does not own them)
    HBITMAP unchecked = nullptr;  // and beside an unchecked one
  };
  std::vector<Item> items;
};

namespace {

std::set<HMENU>& Menus() {
  static auto& s = *new std::set<HMENU>;
  return s;
}

MenuObject* LiveMenu(HMENU m) { return m && Menus().count(m) ? m : nullptr; }

HMENU NewMenu() {
  LayerLock g(Layer().m);
  auto* m = new MenuObject;
  Menus().insert(m);
  return m;
}

MenuObject::Item* FindItem(MenuObject* m, UINT item, UINT flags) {
  if (flags & MF_BYPOSITION) return item < m->items.size() ? &m->items[item] : nullptr;
  for (auto& it : m->items) {
    if (it.id == item && !(it.flags & MF_SEPARATOR)) return &it;
  }
  return nullptr;
}

}  // namespace

HMENU CreatePopupMenu() { return NewMenu(); }
HMENU CreateMenu() { return NewMenu(); }

BOOL DestroyMenu(HMENU menu) {
  LayerLock g(Layer().m);
  if (!LiveMenu(menu)) return FALSE;
  Menus().erase(menu);
  delete menu;
  return TRUE;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, const char16_t* text) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  if (!m) return FALSE;
  m->items.push_back(MenuObject::Item{flags, id, CString((flags & MF_SEPARATOR) || !text ? u"" : text), nullptr,
                                      nullptr});
  return TRUE;
}

int GetMenuItemCount(HMENU menu) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  return m ? int(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int pos) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  if (!m || pos < 0 || size_t(pos) >= m->items.size()) return UINT(-1);
  const auto& it = m->items[size_t(pos)];
  return (it.flags & MF_SEPARATOR) ? 0 : UINT(it.id);
}

int GetMenuStringW(HMENU menu, UINT item, char16_t* buf, int max, UINT flags) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  auto* it = m ? FindItem(m, item, flags) : nullptr;
  if (!it) return 0;
  const int n = buf && max > 0 ? std::min(max - 1, it->text.GetLength()) : it->text.GetLength();
  if (buf && max > 0) {
    std::copy(it->text.GetString(), it->text.GetString() + n, buf);
    buf[n] = 0;
  }
  return n;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  auto* it = m ? FindItem(m, item, flags) : nullptr;
  if (!it) return -1;
  const UINT old = it->flags & (MF_GRAYED | MF_DISABLED);
  it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return BOOL(old);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  auto* it = m ? FindItem(m, item, flags) : nullptr;
  return it ? it->flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_POPUP) : UINT(-1);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  auto* it = m ? FindItem(m, item, flags) : nullptr;
  if (!it) return DWORD(-1);
  const DWORD old = it->flags & MF_CHECKED;
  it->flags = (it->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  return old;
}

BOOL SetMenuItemBitmaps(HMENU menu, UINT item, UINT flags, HBITMAP unchecked, HBITMAP checked) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  auto* it = m ? FindItem(m, item, flags) : nullptr;
  if (!it) return FALSE;
  it->unchecked = unchecked;
  it->checked = checked;
  return TRUE;
}

bool ReadMenuItems(HMENU menu, std::vector<MenuItemInfo>* items) {
  LayerLock g(Layer().m);
  MenuObject* m = LiveMenu(menu);
  if (!m || !items) return false;
  items->clear();
  for (const auto& it : m->items) items->push_back(MenuItemInfo{it.flags, it.id, it.text, it.checked, it.unchecked});
  return true;
}

bool IsSystemMenuOf(HWND hwnd, HMENU menu) {
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  return v && menu && v->sysMenu == menu;
}

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
  HMENU menu = nullptr;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return nullptr;
    if (v->sysMenu && !revert) return v->sysMenu;
    if (v->sysMenu) {
      Menus().erase(v->sysMenu);
      delete v->sysMenu;
      v->sysMenu = nullptr;
    }
    if (revert) return nullptr;
    menu = new MenuObject;
    Menus().insert(menu);
    v->sysMenu = menu;
  }
  AppendMenuW(menu, MF_STRING, SC_RESTORE, u"&Restore");
  AppendMenuW(menu, MF_STRING, SC_MOVE, u"&Move");
  AppendMenuW(menu, MF_STRING, SC_SIZE, u"&Size");
  AppendMenuW(menu, MF_STRING, SC_MINIMIZE, u"Mi&nimize");
  AppendMenuW(menu, MF_STRING, SC_MAXIMIZE, u"Ma&ximize");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, SC_CLOSE, u"&Close\tAlt+F4");
  return menu;
}
