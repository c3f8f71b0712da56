// The tree view, headless: the expand-once notification rules and the veto, selection and its
// notifications, hit-test flags at exact points, the NM_CLICK veto of the check box, deletion
// and stale handles, scrolling, drawing off and on, and the pixels of a painted tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/wnd/controls.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

struct TreeNotice {
  UINT code;
  UINT action;
  HTREEITEM oldItem, newItem;
  UINT newState;
};

// A parent that records its tree's notifications and answers them as told.
struct TreeSpy {
  HWND parent = nullptr;
  std::vector<TreeNotice> notices;
  std::function<LRESULT(NMHDR*)> answer;  // null answers 0
  int contextMenus = 0;

  HWND Make() {
    parent = MakeWindow(WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, 0,
                        [this](HWND, UINT msg, WPARAM, LPARAM l, LRESULT* r) {
                          if (msg == WM_CONTEXTMENU) {
                            ++contextMenus;
                            *r = 0;
                            return true;
                          }
                          if (msg != WM_NOTIFY) return false;
                          auto* nm = reinterpret_cast<NMHDR*>(l);
                          TreeNotice n{nm->code, 0, nullptr, nullptr, 0};
                          if (nm->code == TVN_ITEMEXPANDINGW || nm->code == TVN_ITEMEXPANDEDW ||
                              nm->code == TVN_SELCHANGINGW || nm->code == TVN_SELCHANGEDW || nm->code == TVN_DELETEITEMW) {
                            auto* tv = reinterpret_cast<NMTREEVIEWW*>(l);
                            n.action = tv->action;
                            n.oldItem = tv->itemOld.hItem;
                            n.newItem = tv->itemNew.hItem;
                            n.newState = tv->itemNew.state;
                          }
                          if (nm->code != NM_CUSTOMDRAW) notices.push_back(n);
                          *r = answer ? answer(nm) : 0;
                          return true;
                        });
    return parent;
  }
  std::vector<UINT> Codes(bool withoutFocus = true) const {
    std::vector<UINT> out;
    for (const auto& n : notices) {
      if (withoutFocus && (n.code == NM_SETFOCUS || n.code == NM_KILLFOCUS)) continue;
      out.push_back(n.code);
    }
    return out;
  }
};

HTREEITEM Insert(HWND t, HTREEITEM parent, const char16_t* text, LPARAM data = 0, HTREEITEM after = TVI_LAST) {
  TVINSERTSTRUCTW is{};
  is.hParent = parent;
  is.hInsertAfter = after;
  is.item.mask = TVIF_TEXT | TVIF_PARAM;
  is.item.pszText = const_cast<char16_t*>(text);
  is.item.lParam = data;
  return reinterpret_cast<HTREEITEM>(SendMessageW(t, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
}

HTREEITEM Next(HWND t, HTREEITEM item, UINT code) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(t, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

std::u16string Text(HWND t, HTREEITEM item) {
  char16_t buf[64] = {};
  TVITEMW it{};
  it.mask = TVIF_TEXT | TVIF_HANDLE;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = 64;
  if (!SendMessageW(t, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return u"<none>";
  return buf;
}

UINT State(HWND t, HTREEITEM item, UINT mask = 0xFFFF) {
  return UINT(SendMessageW(t, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), LPARAM(mask)));
}

RECT ItemRect(HWND t, HTREEITEM item, bool textOnly) {
  RECT r{};
  std::memcpy(&r, &item, sizeof(item));
  if (!SendMessageW(t, TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(&r))) return RECT{-1, -1, -1, -1};
  return r;
}

// Input goes through the queue like the user's: each helper handles what it caused.
void ClickAndPump(HWND t, int x, int y, int button = 0) {
  Click(t, x, y, button);
  Pump();
}

void Key(UINT vk, char16_t ch = 0) {
  InjectKeyPress(vk, ch);
  Pump();
}

BOOL Expand(HWND t, HTREEITEM item, UINT code) {
  return BOOL(SendMessageW(t, TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
}

class TreeView : public ::testing::Test {
 protected:
  void SetUp() override {
    SetScreenSize(1280, 800);
    spy_.Make();
  }
  void TearDown() override {
    if (IsWindow(spy_.parent)) DestroyWindow(spy_.parent);
    Pump();
    ReleaseCapture();
  }
  HWND MakeTree(DWORD style, int w = 300, int h = 200) {
    HWND t = CreateWindowExW(0, WC_TREEVIEW, u"", WS_CHILD | WS_VISIBLE | style, 10, 10, w, h, spy_.parent,
                             reinterpret_cast<HMENU>(intptr_t(7)), nullptr, nullptr);
    Pump();
    return t;
  }
  TreeSpy spy_;
};

TEST_F(TreeView, ExpandNotifiesOnceForTheProgramAndAlwaysForTheUser) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT);
  HTREEITEM root = Insert(t, TVI_ROOT, u"root", 5);
  Insert(t, root, u"***");
  // The owner fills the item on its expansion, replacing the placeholder, as a folder tree does.
  spy_.answer = [&](NMHDR* nm) -> LRESULT {
    if (nm->code == TVN_ITEMEXPANDEDW) {
      auto* tv = reinterpret_cast<NMTREEVIEWW*>(nm);
      if ((tv->itemNew.state & TVIS_EXPANDED) && Text(t, Next(t, tv->itemNew.hItem, TVGN_CHILD)) == u"***") {
        SendMessageW(t, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(Next(t, tv->itemNew.hItem, TVGN_CHILD)));
        Insert(t, tv->itemNew.hItem, u"a");
        Insert(t, tv->itemNew.hItem, u"b");
      }
    }
    return 0;
  };
  EXPECT_TRUE(Expand(t, root, TVE_EXPAND));
  ASSERT_EQ(spy_.Codes(), (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, TVN_DELETEITEMW}));
  EXPECT_EQ(spy_.notices[1].newState & (TVIS_EXPANDED | TVIS_EXPANDEDONCE), TVIS_EXPANDED | TVIS_EXPANDEDONCE);
  EXPECT_EQ(Text(t, Next(t, root, TVGN_CHILD)), u"a");
  EXPECT_EQ(SendMessageW(t, TVM_GETCOUNT, 0, 0), 3);
  // Expanded once: the program's collapse and expand pass quietly.
  spy_.notices.clear();
  EXPECT_FALSE(Expand(t, root, TVE_EXPAND));  // already open
  EXPECT_TRUE(Expand(t, root, TVE_COLLAPSE));
  EXPECT_EQ(State(t, root, TVIS_EXPANDED), 0u);
  EXPECT_TRUE(Expand(t, root, TVE_EXPAND));
  EXPECT_TRUE(spy_.Codes().empty());
  // The user's click on the button always tells.
  const RECT row = ItemRect(t, root, false);
  ClickAndPump(t, 19 / 2, (row.top + row.bottom) / 2);
  EXPECT_EQ(spy_.Codes(), (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, NM_CLICK}));
  EXPECT_EQ(State(t, root, TVIS_EXPANDED), 0u);
  // A collapse with reset drops the children and the once flag: the next expansion tells again.
  spy_.answer = nullptr;
  Insert(t, root, u"c");
  EXPECT_TRUE(Expand(t, root, TVE_COLLAPSE | TVE_COLLAPSERESET));
  EXPECT_EQ(Next(t, root, TVGN_CHILD), nullptr);
  EXPECT_EQ(State(t, root, TVIS_EXPANDEDONCE), 0u);
  Insert(t, root, u"d");
  spy_.notices.clear();
  EXPECT_TRUE(Expand(t, root, TVE_EXPAND));
  EXPECT_EQ(spy_.Codes(), (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}));
}

TEST_F(TreeView, ExpandingRefusedByTheParentOrWithoutChildren) {
  HWND t = MakeTree(TVS_HASBUTTONS);
  HTREEITEM a = Insert(t, TVI_ROOT, u"a");
  HTREEITEM leaf = Insert(t, TVI_ROOT, u"leaf");
  Insert(t, a, u"child");
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == TVN_ITEMEXPANDINGW ? 1 : 0; };
  EXPECT_FALSE(Expand(t, a, TVE_EXPAND));
  EXPECT_EQ(State(t, a, TVIS_EXPANDED | TVIS_EXPANDEDONCE), 0u);
  EXPECT_EQ(spy_.Codes(), (std::vector<UINT>{TVN_ITEMEXPANDINGW}));
  // An item with no children and no promise of any cannot open; one that promises can.
  spy_.answer = nullptr;
  spy_.notices.clear();
  EXPECT_FALSE(Expand(t, leaf, TVE_EXPAND));
  EXPECT_TRUE(spy_.Codes().empty());
  TVITEMW it{};
  it.mask = TVIF_HANDLE | TVIF_CHILDREN;
  it.hItem = leaf;
  it.cChildren = 1;
  SendMessageW(t, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_TRUE(Expand(t, leaf, TVE_EXPAND));
  EXPECT_EQ(spy_.Codes(), (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}));
}

TEST_F(TreeView, SelectionNotifiesCanBeRefusedAndFollowsCollapseAndDeletion) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_LINESATROOT);
  HTREEITEM a = Insert(t, TVI_ROOT, u"a", 1);
  HTREEITEM b = Insert(t, TVI_ROOT, u"b", 2);
  HTREEITEM a1 = Insert(t, a, u"a1", 11);
  // Selecting a hidden item opens its parent first (with the first-expansion notifications).
  EXPECT_TRUE(SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a1)));
  EXPECT_EQ(spy_.Codes(), (std::vector<UINT>{TVN_SELCHANGINGW, TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, TVN_SELCHANGEDW}));
  EXPECT_EQ(spy_.notices.back().newItem, a1);
  EXPECT_EQ(spy_.notices.back().action, TVC_UNKNOWN);
  EXPECT_EQ(State(t, a1, TVIS_SELECTED), TVIS_SELECTED);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a1);
  // The parent may refuse.
  spy_.notices.clear();
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == TVN_SELCHANGINGW ? 1 : 0; };
  EXPECT_FALSE(SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(b)));
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a1);
  spy_.answer = nullptr;
  // A click on a label selects by mouse.
  spy_.notices.clear();
  const RECT lb = ItemRect(t, b, true);
  ClickAndPump(t, lb.left + 2, (lb.top + lb.bottom) / 2);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), b);
  auto changed = std::find_if(spy_.notices.begin(), spy_.notices.end(),
                              [](const TreeNotice& n) { return n.code == TVN_SELCHANGEDW; });
  ASSERT_NE(changed, spy_.notices.end());
  EXPECT_EQ(changed->action, TVC_BYMOUSE);
  EXPECT_EQ(changed->oldItem, a1);
  EXPECT_EQ(changed->newItem, b);
  // Collapsing the branch that holds the selection moves it up to the branch.
  SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a1));
  Expand(t, a, TVE_COLLAPSE);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a);
  // Deleting the selected item leaves no selection and no stale handle behind.
  SendMessageW(t, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(a));
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), nullptr);
  EXPECT_EQ(Text(t, a), u"<none>");
  EXPECT_EQ(Text(t, a1), u"<none>");
  EXPECT_FALSE(Expand(t, a1, TVE_EXPAND));
  EXPECT_EQ(SendMessageW(t, TVM_GETCOUNT, 0, 0), 1);
  // A new item in the freed slot gets a new handle; the old one stays dead.
  HTREEITEM c = Insert(t, TVI_ROOT, u"c");
  EXPECT_NE(c, a);
  EXPECT_NE(c, a1);
  EXPECT_EQ(Text(t, a), u"<none>");
}

TEST_F(TreeView, NavigationAndInsertPlaces) {
  HWND t = MakeTree(TVS_HASBUTTONS);
  HTREEITEM b = Insert(t, TVI_ROOT, u"b");
  HTREEITEM a = Insert(t, TVI_ROOT, u"a", 0, TVI_FIRST);
  HTREEITEM d = Insert(t, TVI_ROOT, u"d");
  HTREEITEM c = Insert(t, TVI_ROOT, u"C", 0, TVI_SORT);
  HTREEITEM b2 = Insert(t, TVI_ROOT, u"b2", 0, b);
  std::u16string order;
  for (HTREEITEM i = Next(t, nullptr, TVGN_ROOT); i; i = Next(t, i, TVGN_NEXT)) order += Text(t, i) + u" ";
  EXPECT_EQ(order, u"a b b2 C d ");
  EXPECT_EQ(Next(t, a, TVGN_PREVIOUS), nullptr);
  EXPECT_EQ(Next(t, d, TVGN_PREVIOUS), c);
  EXPECT_EQ(Next(t, b2, TVGN_PARENT), nullptr);
  HTREEITEM x = Insert(t, b2, u"x");
  EXPECT_EQ(Next(t, x, TVGN_PARENT), b2);
  EXPECT_EQ(Next(t, b2, TVGN_CHILD), x);
  // Visible order skips the closed branch until it opens.
  EXPECT_EQ(Next(t, b2, TVGN_NEXTVISIBLE), c);
  Expand(t, b2, TVE_EXPAND);
  EXPECT_EQ(Next(t, b2, TVGN_NEXTVISIBLE), x);
  EXPECT_EQ(Next(t, c, TVGN_PREVIOUSVISIBLE), x);
  EXPECT_EQ(Next(t, nullptr, TVGN_FIRSTVISIBLE), a);
  EXPECT_EQ(Next(t, nullptr, TVGN_LASTVISIBLE), d);
  // An item inserted under a deleted parent is refused.
  SendMessageW(t, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b2));
  EXPECT_EQ(Insert(t, b2, u"orphan"), nullptr);
  EXPECT_EQ(Insert(t, x, u"orphan"), nullptr);
}

TEST_F(TreeView, HitTestFlagsAtExactPoints) {
  // Indent 19, a 16-pixel state image list and a 16-pixel image list: the second-level item's
  // columns are [19, 38) button, [38, 54) state, [54, 70) image, then the label.
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 300, 200);
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
  HIMAGELIST states = ImageList_Create(16, 16, ILC_COLOR32, 4, 1);
  SendMessageW(t, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
  SendMessageW(t, TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(states));
  HTREEITEM root = Insert(t, TVI_ROOT, u"root");
  HTREEITEM child = Insert(t, root, u"child");
  Insert(t, child, u"grandchild");
  Expand(t, root, TVE_EXPAND);
  const int ih = int(SendMessageW(t, TVM_GETITEMHEIGHT, 0, 0));
  ASSERT_GE(ih, 16);
  const RECT label = ItemRect(t, child, true);
  EXPECT_EQ(label.left, 70);
  EXPECT_EQ(label.top, ih);
  const int y = ih + ih / 2;
  RECT client{};
  GetClientRect(t, &client);
  struct Case {
    int x, y;
    UINT flags;
    HTREEITEM item;
  } cases[] = {
      {5, y, TVHT_ONITEMINDENT, child},
      {18, y, TVHT_ONITEMINDENT, child},
      {19, y, TVHT_ONITEMBUTTON, child},
      {37, y, TVHT_ONITEMBUTTON, child},
      {38, y, TVHT_ONITEMSTATEICON, child},
      {53, y, TVHT_ONITEMSTATEICON, child},
      {54, y, TVHT_ONITEMICON, child},
      {69, y, TVHT_ONITEMICON, child},
      {70, y, TVHT_ONITEMLABEL, child},
      {int(label.right) - 1, y, TVHT_ONITEMLABEL, child},
      {int(label.right), y, TVHT_ONITEMRIGHT, child},
      {5, ih / 2, TVHT_ONITEMBUTTON, root},
      {5, 2 * ih + 1, TVHT_NOWHERE, nullptr},  // the grandchild's branch is closed: no third row
      {5, -1, TVHT_ABOVE, nullptr},
      {5, int(client.bottom), TVHT_BELOW, nullptr},
      {-1, y, TVHT_TOLEFT, nullptr},
      {int(client.right), y, TVHT_TORIGHT, nullptr},
  };
  for (const Case& c : cases) {
    TVHITTESTINFO hi{};
    hi.pt = POINT{c.x, c.y};
    const HTREEITEM got = reinterpret_cast<HTREEITEM>(SendMessageW(t, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hi)));
    EXPECT_EQ(hi.flags, c.flags) << c.x << "," << c.y;
    EXPECT_EQ(got, c.item) << c.x << "," << c.y;
  }
  DestroyWindow(t);
  ImageList_Destroy(images);
  ImageList_Destroy(states);
}

TEST_F(TreeView, CheckBoxTurnsOnReleaseUnlessNmClickSaysHandled) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES);
  HTREEITEM a = Insert(t, TVI_ROOT, u"a");
  HTREEITEM b = Insert(t, TVI_ROOT, u"b");
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));  // check boxes start unchecked
  const RECT lb = ItemRect(t, a, true);
  const int boxX = lb.left - 8, yA = (lb.top + lb.bottom) / 2;
  ClickAndPump(t, boxX, yA);
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), nullptr);  // the box does not select
  ClickAndPump(t, boxX, yA);
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  // An owner that keeps the check state itself answers NM_CLICK with 1: the box stays.
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == NM_CLICK ? 1 : 0; };
  ClickAndPump(t, boxX, yA);
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  spy_.answer = nullptr;
  // A click on the text selects and leaves the box alone; the space key turns the selected box.
  ClickAndPump(t, lb.left + 3, yA);
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a);
  Key(VK_SPACE, u' ');
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  // Pressed on one box and let go on another: nothing turns.
  const RECT lbB = ItemRect(t, b, true);
  POINT down = At(t, boxX, yA), up = At(t, boxX, (lbB.top + lbB.bottom) / 2);
  InjectMouseButton(0, true, down.x, down.y);
  InjectMouseMove(up.x, up.y);
  InjectMouseButton(0, false, up.x, up.y);
  Pump();
  EXPECT_EQ(State(t, a, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  EXPECT_EQ(State(t, b, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
}

TEST_F(TreeView, CustomStateImagesCycleThroughTheList) {
  // A four-picture state list (none, unchecked, checked, partly): the tree's own turn goes
  // 1, 2, 3 and back to 1.
  HWND t = MakeTree(TVS_CHECKBOXES);
  HIMAGELIST states = ImageList_Create(16, 16, ILC_COLOR32, 4, 1);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP strip = CreateCompatibleBitmap(dc, 64, 16);
  ImageList_Add(states, strip, nullptr);
  SendMessageW(t, TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(states));
  HTREEITEM a = Insert(t, TVI_ROOT, u"a");
  const RECT lb = ItemRect(t, a, true);
  std::vector<UINT> seen;
  for (int i = 0; i < 3; ++i) {
    ClickAndPump(t, lb.left - 8, (lb.top + lb.bottom) / 2);
    seen.push_back(State(t, a, TVIS_STATEIMAGEMASK) >> 12);
  }
  EXPECT_EQ(seen, (std::vector<UINT>{2, 3, 1}));
  DestroyWindow(t);
  ImageList_Destroy(states);
  DeleteObject(strip);
  DeleteDC(dc);
}

TEST_F(TreeView, RightClickAndDoubleClick) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_LINESATROOT);
  HTREEITEM a = Insert(t, TVI_ROOT, u"a");
  Insert(t, a, u"a1");
  const RECT lb = ItemRect(t, a, true);
  const int y = (lb.top + lb.bottom) / 2;
  ClickAndPump(t, lb.left + 3, y, 1);
  EXPECT_EQ(spy_.Codes().back(), UINT(NM_RCLICK));
  EXPECT_EQ(spy_.contextMenus, 1);  // NM_RCLICK left unhandled becomes a context menu
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == NM_RCLICK ? 1 : 0; };
  ClickAndPump(t, lb.left + 3, y, 1);
  EXPECT_EQ(spy_.contextMenus, 1);
  spy_.answer = nullptr;
  // A double click on the label opens the branch.
  Pump();
  ClickAndPump(t, lb.left + 3, y);
  ClickAndPump(t, lb.left + 3, y);
  EXPECT_EQ(State(t, a, TVIS_EXPANDED), TVIS_EXPANDED);
  EXPECT_NE(std::find(spy_.Codes().begin(), spy_.Codes().end(), UINT(NM_DBLCLK)), spy_.Codes().end());
}

TEST_F(TreeView, KeysMoveOpenAndClose) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_LINESATROOT);
  HTREEITEM a = Insert(t, TVI_ROOT, u"a");
  HTREEITEM a1 = Insert(t, a, u"a1");
  HTREEITEM b = Insert(t, TVI_ROOT, u"b");
  SetFocus(t);
  SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a));
  Expand(t, a, TVE_COLLAPSE);
  Key(VK_RIGHT);
  EXPECT_EQ(State(t, a, TVIS_EXPANDED), TVIS_EXPANDED);
  Key(VK_RIGHT);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a1);
  Key(VK_DOWN);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), b);
  Key(VK_UP);
  Key(VK_LEFT);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a);
  Key(VK_LEFT);
  EXPECT_EQ(State(t, a, TVIS_EXPANDED), 0u);
  Key(VK_END);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), b);
  Key(VK_HOME);
  EXPECT_EQ(Next(t, nullptr, TVGN_CARET), a);
}

TEST_F(TreeView, ManyChildrenScrollByWheelBarAndEnsureVisible) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_LINESATROOT, 300, 200);
  HTREEITEM root = Insert(t, TVI_ROOT, u"root");
  const int n = 100000;
  HTREEITEM last = nullptr;
  for (int i = 0; i < n; ++i) last = Insert(t, root, u"child");
  EXPECT_EQ(SendMessageW(t, TVM_GETCOUNT, 0, 0), n + 1);
  Expand(t, root, TVE_EXPAND);
  const int ih = int(SendMessageW(t, TVM_GETITEMHEIGHT, 0, 0));
  const int per = int(SendMessageW(t, TVM_GETVISIBLECOUNT, 0, 0));
  RECT client{};
  GetClientRect(t, &client);
  EXPECT_EQ(per, client.bottom / ih);
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(t, SB_VERT, &si));
  EXPECT_EQ(si.nMax, n);
  EXPECT_EQ(int(si.nPage), per);
  // The wheel moves three rows a notch.
  POINT p = At(t, 50, 50);
  InjectMouseWheel(-120, p.x, p.y);
  Pump();
  EXPECT_EQ(Next(t, nullptr, TVGN_FIRSTVISIBLE), Next(t, Next(t, Next(t, root, TVGN_CHILD), TVGN_NEXT), TVGN_NEXT));
  // Bringing the last child into view scrolls to the bottom; its row is the page's last.
  SendMessageW(t, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(last));
  const RECT lr = ItemRect(t, last, false);
  EXPECT_EQ(lr.top, (per - 1) * ih);
  ASSERT_TRUE(GetScrollInfo(t, SB_VERT, &si));
  EXPECT_EQ(si.nPos, n + 1 - per);
  // The thumb dragged to the top.
  SendMessageW(t, WM_VSCROLL, MAKEWPARAM(6 /* SB_TOP */, 0), 0);
  EXPECT_EQ(Next(t, nullptr, TVGN_FIRSTVISIBLE), root);
  // Deleting everything leaves an empty tree at the top.
  SendMessageW(t, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  EXPECT_EQ(SendMessageW(t, TVM_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Next(t, nullptr, TVGN_FIRSTVISIBLE), nullptr);
}

TEST_F(TreeView, PaintsIntoAGivenContextAndHonoursRedrawOff) {
  HWND t = MakeTree(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_CHECKBOXES, 200, 100);
  HTREEITEM a = Insert(t, TVI_ROOT, u"Folder");
  Insert(t, a, u"Inner");
  HTREEITEM b = Insert(t, TVI_ROOT, u"Second");
  SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(b));
  Expand(t, a, TVE_COLLAPSE);
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(mem, 200, 100);
  HGDIOBJ old = SelectObject(mem, bm);
  SendMessageW(t, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
  const int ih = int(SendMessageW(t, TVM_GETITEMHEIGHT, 0, 0));
  const RECT lb = ItemRect(t, b, true);
  // The selected label (no focus, always shown) is grey; the plus of the closed branch and its
  // box are ink; the check box's face is white inside a shadow frame.
  EXPECT_EQ(GetPixel(mem, lb.right - 2, lb.top + 1), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(GetPixel(mem, 9, ih / 2), GetSysColor(COLOR_WINDOWTEXT));      // centre of the plus
  EXPECT_EQ(GetPixel(mem, 9, ih / 2 - 2), GetSysColor(COLOR_WINDOWTEXT));  // its upright
  EXPECT_EQ(GetPixel(mem, 19 + 8, ih / 2), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(GetPixel(mem, 150, 3 * ih + 2), GetSysColor(COLOR_WINDOW));  // below the rows
  SelectObject(mem, old);
  DeleteObject(bm);
  DeleteDC(mem);
  // With drawing off, changes do not reach the screen; turned on, they all show.
  UpdateWindow(t);
  POINT probe{lb.left + 3, 2 * ih + ih / 2};
  const COLORREF before = GetWindowPixel(t, probe.x, probe.y);
  EXPECT_EQ(before, GetSysColor(COLOR_WINDOW));
  SendMessageW(t, WM_SETREDRAW, FALSE, 0);
  HTREEITEM c = Insert(t, TVI_ROOT, u"Third");
  SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(c));
  Pump();
  EXPECT_EQ(GetWindowPixel(t, probe.x, probe.y), before);
  SendMessageW(t, WM_SETREDRAW, TRUE, 0);
  Pump();
  EXPECT_NE(GetWindowPixel(t, probe.x, probe.y), before);
}

TEST_F(TreeView, DestroyTellsTheOwnerOfEveryItem) {
  HWND t = MakeTree(0);
  HTREEITEM a = Insert(t, TVI_ROOT, u"a", 1);
  Insert(t, a, u"a1", 2);
  Insert(t, TVI_ROOT, u"b", 3);
  spy_.notices.clear();
  DestroyWindow(t);
  int deleted = 0;
  for (const auto& n : spy_.notices) deleted += n.code == TVN_DELETEITEMW;
  EXPECT_EQ(deleted, 3);
}

// Two trees side by side, written next to the test program as treeview_sheet.png: a folder
// tree with images, lines, buttons and a custom state image list (unchecked, checked, partly
// checked) with its selection shown; a tree of the built-in check boxes with focus, scrolled
// down a million children.
TEST_F(TreeView, SheetShowsFolderTreeAndCheckBoxTree) {
  MoveWindow(spy_.parent, 0, 0, 560, 260, TRUE);
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP pics = CreateCompatibleBitmap(mem, 32, 16);
  HGDIOBJ old = SelectObject(mem, pics);
  RECT all{0, 0, 32, 16}, drive{1, 4, 15, 12}, folder{17, 3, 31, 13};
  FillSolidRectDc(mem, &all, RGB(255, 255, 255));
  FillSolidRectDc(mem, &drive, RGB(120, 120, 140));
  FillSolidRectDc(mem, &folder, RGB(240, 190, 60));
  HBITMAP checks = CreateCompatibleBitmap(mem, 64, 16);
  SelectObject(mem, checks);
  RECT strip{0, 0, 64, 16};
  FillSolidRectDc(mem, &strip, RGB(255, 255, 255));
  for (int i = 1; i < 4; ++i) {
    RECT box{16 * i + 2, 2, 16 * i + 14, 14}, inner{16 * i + 3, 3, 16 * i + 13, 13};
    FillSolidRectDc(mem, &box, RGB(90, 90, 90));
    FillSolidRectDc(mem, &inner, RGB(254, 254, 254));
    if (i == 2) {
      RECT tick{16 * i + 5, 5, 16 * i + 11, 11};
      FillSolidRectDc(mem, &tick, RGB(30, 140, 30));
    } else if (i == 3) {
      RECT part{16 * i + 6, 6, 16 * i + 10, 10};
      FillSolidRectDc(mem, &part, RGB(30, 90, 200));
    }
  }
  SelectObject(mem, old);
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 1);
  ImageList_AddMasked(images, pics, RGB(255, 255, 255));
  HIMAGELIST states = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 2);
  ImageList_AddMasked(states, checks, RGB(255, 255, 255));

  HWND t = MakeTree(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_CHECKBOXES, 260, 230);
  SendMessageW(t, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
  SendMessageW(t, TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(states));
  auto add = [&](HTREEITEM parent, const char16_t* text, int image, int check) {
    TVINSERTSTRUCTW is{};
    is.hParent = parent;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
    is.item.pszText = const_cast<char16_t*>(text);
    is.item.iImage = is.item.iSelectedImage = image;
    is.item.state = INDEXTOSTATEIMAGEMASK(UINT(check));
    is.item.stateMask = TVIS_STATEIMAGEMASK;
    return reinterpret_cast<HTREEITEM>(SendMessageW(t, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
  };
  HTREEITEM vol = add(TVI_ROOT, u"01 Volume (NTFS)", 0, 3);
  HTREEITEM docs = add(vol, u"Documents     (12 Files)", 1, 2);
  add(docs, u"Letters     (3 Files)", 1, 2);
  HTREEITEM pics2 = add(vol, u"Pictures     (250 Files)", 1, 1);
  add(pics2, u"2023     (120 Files)", 1, 1);
  add(pics2, u"2024     (130 Files)", 1, 1);
  add(vol, u"Music     (8 Files)", 1, 1);
  add(TVI_ROOT, u"00 Found files", 0, 1);
  Expand(t, vol, TVE_EXPAND);
  Expand(t, docs, TVE_EXPAND);
  Expand(t, pics2, TVE_EXPAND);
  SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(pics2));

  HWND u = CreateWindowExW(0, WC_TREEVIEW, u"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_CHECKBOXES,
                           280, 10, 260, 230, spy_.parent, nullptr, nullptr, nullptr);
  HTREEITEM top = Insert(u, TVI_ROOT, u"A million children");
  HTREEITEM last = nullptr;
  for (int i = 0; i < 1000000; ++i) last = Insert(u, top, i % 2 ? u"odd child" : u"even child");
  Expand(u, top, TVE_EXPAND);
  SetFocus(u);
  SendMessageW(u, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(last));
  TVITEMW it{};
  it.mask = TVIF_HANDLE | TVIF_STATE;
  it.hItem = Next(u, last, TVGN_PREVIOUS);
  it.state = INDEXTOSTATEIMAGEMASK(2);
  it.stateMask = TVIS_STATEIMAGEMASK;
  SendMessageW(u, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  UpdateAllWindows();
  Pump();
  // The last child is the bottom row, selected in the focus colour.
  const RECT lr = ItemRect(u, last, true);
  POINT in{lr.left + 2, (lr.top + lr.bottom) / 2};
  RECT ur{};
  GetWindowRect(u, &ur);
  RECT wr{};
  GetWindowRect(spy_.parent, &wr);
  EXPECT_EQ(GetWindowPixel(spy_.parent, ur.left - wr.left + in.x, ur.top - wr.top + in.y), GetSysColor(COLOR_HIGHLIGHT));
  const std::string path = std::string(KESTREL_WND_SHOT_DIR) + "/treeview_sheet.png";
  EXPECT_TRUE(SaveWindowPng(spy_.parent, path));
  DestroyWindow(t);
  DestroyWindow(u);
  ImageList_Destroy(images);
  ImageList_Destroy(states);
  DeleteObject(pics);
  DeleteObject(checks);
  DeleteDC(mem);
}

}  // namespace
