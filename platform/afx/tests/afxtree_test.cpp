// CTreeCtrl the way a folder tree uses it: children filled behind a placeholder on the first
// expansion (reflected TVN_ITEMEXPANDED), check clicks kept by the owner (the press's hit flags
// remembered in OnLButtonDown and NM_CLICK answered 1), and painting through a memory picture
// that the tree's default painting fills.
#include <gtest/gtest.h>

#include "platform/afx/afxcmn.h"
#include "platform/afx/afxmsg.h"

namespace {

class FolderTree : public CTreeCtrl {
 public:
  void OnItemExpanded(NMHDR* nm, LRESULT* result) {
    auto* tv = reinterpret_cast<NMTREEVIEWW*>(nm);
    *result = 0;
    if (!(tv->itemNew.state & TVIS_EXPANDED)) return;
    HTREEITEM item = tv->itemNew.hItem;
    HTREEITEM first = GetChildItem(item);
    if (first && GetItemText(first) != CString(u"***")) return;  // filled already
    ++fills;
    while (HTREEITEM c = GetChildItem(item)) DeleteItem(c);
    for (int i = 0; i < 2; ++i) {
      HTREEITEM c = InsertItem(TVIF_TEXT | TVIF_PARAM | TVIF_STATE, i ? u"two" : u"one", 0, 0,
                               INDEXTOSTATEIMAGEMASK(1), TVIS_STATEIMAGEMASK, LPARAM(GetItemData(item) * 10 + i), item,
                               TVI_LAST);
      InsertItem(u"***", c);
    }
  }
  void OnLButtonDown(UINT keys, CPoint pt) {
    HitTest(pt, &lastFlags);
    HTREEITEM item = HitTest(pt);
    if ((lastFlags & TVHT_ONITEMSTATEICON) && item) {
      // The owner's model decides; the picture follows it.
      SetCheck(item, !GetCheck(item));
      SelectItem(item);
    }
    CTreeCtrl::OnLButtonDown(keys, pt);
  }
  void OnClick(NMHDR*, LRESULT* result) { *result = (lastFlags & TVHT_ONITEMSTATEICON) ? 1 : 0; }
  void OnPaint() {
    CPaintDC dc(this);
    RECT c{};
    GetClientRect(&c);
    HDC mem = CreateCompatibleDC(dc.m_hDC);
    HBITMAP bm = CreateCompatibleBitmap(mem, c.right, c.bottom);
    HGDIOBJ old = SelectObject(mem, bm);
    DefWindowProc(WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
    BitBlt(dc.m_hDC, 0, 0, c.right, c.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    ++paints;
  }
  BOOL OnEraseBkgnd(CDC*) { return FALSE; }
  UINT lastFlags = 0;
  int fills = 0;
  int paints = 0;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(FolderTree, CTreeCtrl)
ON_NOTIFY_REFLECT(TVN_ITEMEXPANDEDW, OnItemExpanded)
ON_NOTIFY_REFLECT(NM_CLICK, OnClick)
ON_WM_LBUTTONDOWN()
ON_WM_PAINT()
END_MESSAGE_MAP()

class AfxTree : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    ASSERT_TRUE(parent_.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{100, 100, 500, 400}, nullptr, 0));
  }
  void TearDown() override {
    parent_.DestroyWindow();
    Pump();
    UseVirtualMessageClock(false);
  }
  static void Pump() {
    MSG m;
    for (int i = 0; i < 10000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&m);
    UpdateAllWindows();
  }
  void ClickAt(CWnd& w, POINT p) {
    w.ClientToScreen(&p);
    InjectMouseMove(p.x, p.y);
    InjectMouseButton(0, true, p.x, p.y);
    InjectMouseButton(0, false, p.x, p.y);
    Pump();
  }
  CWnd parent_;
};

TEST_F(AfxTree, FolderTreeFillsOnFirstExpansionAndKeepsChecksInTheOwner) {
  UseVirtualMessageClock(true);
  FolderTree tree;
  ASSERT_TRUE(tree.Create(WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_CHECKBOXES |
                              TVS_SHOWSELALWAYS,
                          RECT{0, 0, 300, 250}, &parent_, 1002));
  HTREEITEM root = tree.InsertItem(u"00 Found files");
  tree.SetItemData(root, 5);
  tree.InsertItem(u"***", root);
  EXPECT_TRUE(tree.ItemHasChildren(root));
  EXPECT_TRUE(tree.Expand(root, TVE_EXPAND));
  EXPECT_EQ(tree.fills, 1);
  HTREEITEM one = tree.GetChildItem(root);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(tree.GetItemText(one), CString(u"one"));
  EXPECT_EQ(tree.GetItemData(tree.GetNextSiblingItem(one)), DWORD_PTR(51));
  EXPECT_EQ(tree.GetCount(), 5u);
  // Opening again fills nothing: the once flag keeps the program's expansions quiet.
  tree.Expand(root, TVE_COLLAPSE);
  tree.Expand(root, TVE_EXPAND);
  EXPECT_EQ(tree.fills, 1);
  // A click on the check box: the owner toggles and selects, the tree's own toggle is vetoed,
  // so the box ends checked (not toggled twice).
  CRect label;
  ASSERT_TRUE(tree.GetItemRect(one, &label, TRUE));
  ClickAt(tree, POINT{label.left - 8, (label.top + label.bottom) / 2});
  EXPECT_TRUE(tree.lastFlags & TVHT_ONITEMSTATEICON);
  EXPECT_TRUE(tree.GetCheck(one));
  EXPECT_EQ(tree.GetSelectedItem(), one);
  // A second click, later than a double click would be, clears it again.
  AdvanceVirtualMessageClock(1000);
  ClickAt(tree, POINT{label.left - 8, (label.top + label.bottom) / 2});
  EXPECT_FALSE(tree.GetCheck(one));
  // The painting goes through the memory picture; the selected label shows in it.
  tree.Invalidate();
  Pump();
  EXPECT_GT(tree.paints, 0);
  CRect wr;
  tree.GetWindowRect(&wr);
  EXPECT_EQ(GetWindowPixel(parent_.m_hWnd, wr.left - 100 + label.right - 2, wr.top - 100 + label.top + 1),
            GetSysColor(COLOR_HIGHLIGHT));
  int image = -1, selected = -1;
  EXPECT_TRUE(tree.GetItemImage(one, image, selected));
  tree.DeleteAllItems();
  EXPECT_EQ(tree.GetCount(), 0u);
  EXPECT_EQ(tree.GetItemText(one), CString());
}

}  // namespace
