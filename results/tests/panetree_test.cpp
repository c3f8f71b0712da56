// The folder tree inside the result panes of the main window: its selection opens folders in
// the details list of its own pane only, it follows the list's navigation, and its check
// clicks reach the selection summary.
#include "results/tests/resultfixture.h"

namespace results_test {
namespace {

class PaneTreeTest : public ResultViewTest {
 protected:
  CExplorerTreeCtrl& Tree(int mode) { return Pane(mode).m_tree; }
  HTREEITEM Root(int mode, uint32_t key) {
    CExplorerTreeCtrl& tree = Tree(mode);
    for (HTREEITEM r = tree.GetRootItem(); r; r = tree.GetNextSiblingItem(r)) {
      uint32_t k = 0;
      if (tree.GetItemKey(r, k) && k == key) return r;
    }
    return nullptr;
  }
  HTREEITEM Child(int mode, HTREEITEM parent, const CString& start) {
    CExplorerTreeCtrl& tree = Tree(mode);
    for (HTREEITEM c = tree.GetChildItem(parent); c; c = tree.GetNextSiblingItem(c))
      if (tree.GetItemText(c).Find(start.GetString()) == 0) return c;
    return nullptr;
  }
};

TEST_F(PaneTreeTest, TreeAndDetailsListOfAPaneFollowEachOther) {
  view_->SetLayoutState(3);
  view_->ShowResultView(1);
  Publish(SampleVolume());
  // Every pane's tree was built from the publication and knows its mode.
  for (int mode : {kModeByPath, kModeSearch, kModeByType, kModeByCreation, kModeByModification}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(Tree(mode).m_mode, mode);
    EXPECT_NE(Tree(mode).GetRootItem(), nullptr);
  }
  HTREEITEM data = Root(kModeByPath, kFirstScannedSlot);
  ASSERT_NE(data, nullptr);
  HTREEITEM photos = Child(kModeByPath, data, u"Photos");
  ASSERT_NE(photos, nullptr);

  // A selection in the by-path tree opens the folder in the by-path list; the search pane,
  // whose mode is not current, keeps the root.
  Tree(kModeByPath).SelectItem(photos);
  PumpAll();
  EXPECT_EQ(RowNames(kModeByPath), (std::vector<CString>{u"a.JPG", u"b.jpg"}));
  EXPECT_EQ(Details(kModeSearch).m_shownId, kRootId);

  // A folder opened from the list (double click) selects it in the tree.
  HTREEITEM docs = Child(kModeByPath, data, u"Docs");
  RequestOpenFolder(List(), Details(kModeByPath).m_hWnd, kFirstScannedSlot, 11);
  PumpAll();
  EXPECT_EQ(Tree(kModeByPath).GetSelectedItem(), docs);
  EXPECT_EQ(RowNames(kModeByPath), (std::vector<CString>{u"notes.txt"}));

  // A tick in the tree reaches the summary: the two photos.
  ToggleItemCheck(List(), nullptr, kFirstScannedSlot, 10);
  PumpAll();
  EXPECT_EQ(view_->m_selCount, 2u);
  EXPECT_EQ(Tree(kModeByPath).GetItemState(photos, TVIS_STATEIMAGEMASK) >> 12, 2u);
  EXPECT_EQ(Tree(kModeByPath).GetItemState(data, TVIS_STATEIMAGEMASK) >> 12, 3u);

  // The by-type pane: its tree's selection opens a category in its own list.
  view_->SetClassifyMode(kModeByType);
  PumpAll();
  HTREEITEM typeRoot = Tree(kModeByType).GetRootItem();
  HTREEITEM category = Tree(kModeByType).GetChildItem(typeRoot);
  ASSERT_NE(category, nullptr);
  Tree(kModeByType).SelectItem(category);
  PumpAll();
  EXPECT_EQ(Details(kModeByType).m_shownId, uint32_t(Tree(kModeByType).GetItemData(category)));
  EXPECT_EQ(Details(kModeByPath).m_shownId, 11u);
  view_->SetClassifyMode(kModeByPath);
  Pane(kModeByPath).ShowDetails(true);
  Tree(kModeByPath).Expand(docs, TVE_EXPAND);
  PumpAll();
  EXPECT_TRUE(SaveWindowPng(view_->m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/pane_tree.png"));
}

}  // namespace
}  // namespace results_test
