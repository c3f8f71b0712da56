// The folder tree on a VolumeList made in the test, in a parent window made in the test: lazy
// fill behind the placeholder, check boxes that mirror the model, the selection telling the
// other views, and the view messages it follows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/checkstate.h"
#include "core/itemquery.h"
#include "core/tests/volumelistfixture.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "results/explorertree.h"
#include "results/renamedlg.h"
#include "skin/tests/skin_art.h"

namespace {

constexpr uint32_t kSlot = 4;
constexpr char16_t kTreeLang[] =
    u"Recover: Recover\r\nRename: Rename\r\nRightClickToRecover: Pick a folder to recover\r\n"
    u"RenameOK: Renamed\r\nRenameFailed: Not renamed\r\n";
constexpr DWORD kTreeStyle = WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                             TVS_SHOWSELALWAYS | TVS_NOTOOLTIPS | TVS_CHECKBOXES;

std::vector<CString> g_boxes;
bool RecordBox(const CString& text, const CString&, const CString&) {
  g_boxes.push_back(text);
  return false;
}

// Answers the rename dialog from inside its modal loop: a message posted to the recording
// window finds the dialog once it is up, types the name and presses OK.
constexpr UINT kAnswerRename = WM_USER + 0x300;
CString g_newName;
int g_answerTries = 0;
void AnswerRenameWhenUp(const Received& r) {
  if (r.msg != kAnswerRename) return;
  HWND dlg = GetActiveWindow();
  HWND edit = dlg ? GetDlgItem(dlg, int(IDC_RENAME_EDIT)) : nullptr;
  if (!edit) {
    if (++g_answerTries < 100) PostMessageW(r.hwnd, kAnswerRename, 0, 0);
    return;
  }
  SetWindowTextW(edit, g_newName.GetString());
  SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

struct MenuSeen {
  HWND answerer = nullptr;  // gets kAnswerRename when the choice is Rename
  int calls = 0;
  std::vector<UINT> ids;
  std::vector<CString> texts;
  UINT answer = 0;
};
UINT ChooseFromMenu(HMENU menu, HWND, void* ctx) {
  auto* seen = static_cast<MenuSeen*>(ctx);
  ++seen->calls;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char16_t buf[64] = {};
    GetMenuStringW(menu, UINT(i), buf, 64, MF_BYPOSITION);
    seen->ids.push_back(GetMenuItemID(menu, i));
    seen->texts.push_back(CString(buf));
  }
  if (seen->answer == ID_TREE_RENAME && seen->answerer) {
    g_answerTries = 0;
    PostMessageW(seen->answerer, kAnswerRename, 0, 0);
  }
  return seen->answer;
}

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    UseVirtualMessageClock(true);
    LoadSkinArt();
    LoadSettingsForTest(u"Tesmur", u"Pro", kClassifyAll, CString(kViewTestLang.c_str()) + kTreeLang);
    InitFileTypeTables();
    ClassifyAllowed = 1;
    TakeReceived();
    SetMessageBoxHandler(&RecordBox);
    RegisterRenameTemplates();
    g_boxes.clear();
    listener_ = MakeListenerWindow();
    ASSERT_TRUE(parent_.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{100, 100, 460, 520}, nullptr, 0));
    ResetVolumeList(list_, nullptr, 0);
  }
  void TearDown() override {
    SetMenuChoiceHook(nullptr, nullptr);
    TestLog().onMessage = nullptr;
    SetMessageBoxHandler(nullptr);
    parent_.DestroyWindow();
    Pump();
    ClearVolumeList(list_);
    DestroyWindow(listener_);
    TakeReceived();
    UseVirtualMessageClock(false);
  }
  static void Pump() {
    MSG m;
    for (int i = 0; i < 10000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&m);
    UpdateAllWindows();
  }

  // The tree first among the listeners, then the recording window that stands for the other
  // views of the pane.
  void MakeTree(int32_t mode) {
    ASSERT_TRUE(tree_.Create(kTreeStyle, RECT{0, 0, 340, 400}, &parent_, 1002));
    tree_.m_mode = mode;
    tree_.m_list = &list_;
    tree_.InitImageList();
    list_.AddListener(tree_.m_hWnd);
    list_.AddListener(listener_);
  }

  // Slot 4 as a parser leaves it, without the publication's pruning, so that an empty folder
  // reaches the tree: Photos holds two files, Docs a file and the folder Sub (holding a
  // file), Empty nothing; a file lies at the root.
  void InstallSample() {
    VolumeContext v = MakeVolume({{10, 5, u"Photos", true},
                                  {11, 5, u"Docs", true},
                                  {12, 11, u"Sub", true},
                                  {13, 5, u"Empty", true},
                                  {20, 10, u"a.jpg", false, 100},
                                  {21, 10, u"b.jpg", false, 200},
                                  {22, 12, u"memo.txt", false, 50},
                                  {24, 11, u"loose.txt", false, 60},
                                  {23, 5, u"readme", false, 10}});
    {
      VolumeListWriteGuard guard(list_);
      list_.slots[kSlot] = v;
      list_.slotCount = kSlot + 1;
    }
    Rec(10).filesBelow = 2;
    Rec(11).filesBelow = 2;
    Rec(12).filesBelow = 1;
  }
  FileRecord& Rec(uint32_t id, uint32_t slot = kSlot) { return *GetItemRecord(list_, slot, id); }
  void AddRecord(uint32_t slot, uint32_t id, uint32_t parent, const char16_t* name, bool dir) {
    VolumeListWriteGuard guard(list_);
    AddFileRecord(list_.slots[slot], MakeRecord({id, parent, name, uint16_t(kRecInUse | (dir ? kRecDirectory : 0))}), 1);
  }
  void Tell(UINT msg, WPARAM w, LPARAM l = 0) {
    NotifyVolumeListeners(list_, listener_, msg, w, l);
    Pump();
  }

  HTREEITEM Root(uint32_t key) {
    for (HTREEITEM r = tree_.GetRootItem(); r; r = tree_.GetNextSiblingItem(r)) {
      uint32_t k = 0;
      if (Key(r, k) && k == key) return r;
    }
    return nullptr;
  }
  bool Key(HTREEITEM item, uint32_t& key) { return tree_.GetItemKey(item, key); }
  HTREEITEM Child(HTREEITEM parent, uint32_t id) {
    for (HTREEITEM c = tree_.GetChildItem(parent); c; c = tree_.GetNextSiblingItem(c))
      if (tree_.GetItemData(c) == id) return c;
    return nullptr;
  }
  std::vector<std::u16string> Texts(HTREEITEM parent) {
    std::vector<std::u16string> out;
    for (HTREEITEM c = tree_.GetChildItem(parent); c; c = tree_.GetNextSiblingItem(c))
      out.emplace_back(tree_.GetItemText(c).GetString());
    return out;
  }
  int Picture(HTREEITEM item) { return int(tree_.GetItemState(item, TVIS_STATEIMAGEMASK) >> 12); }
  bool Expanded(HTREEITEM item) { return (tree_.GetItemState(item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0; }

  // A point on the item's check box, found by hit-testing left of its label.
  POINT CheckBoxOf(HTREEITEM item) {
    CRect label;
    EXPECT_TRUE(tree_.GetItemRect(item, &label, TRUE));
    const int y = (label.top + label.bottom) / 2;
    for (int x = label.left; x >= 0; --x) {
      UINT flags = 0;
      if (tree_.HitTest(CPoint(x, y), &flags) == item && (flags & TVHT_ONITEMSTATEICON)) return POINT{x - 6, y};
    }
    ADD_FAILURE() << "no check box";
    return POINT{0, y};
  }
  void Click(POINT p, int button = 0) {
    tree_.ClientToScreen(&p);
    InjectMouseMove(p.x, p.y);
    InjectMouseButton(button, true, p.x, p.y);
    InjectMouseButton(button, false, p.x, p.y);
    Pump();
    AdvanceVirtualMessageClock(1000);  // the next click is no double click
  }
  std::vector<Received> OpenFolders() {
    std::vector<Received> out;
    for (const Received& r : TakeReceived())
      if (r.msg == WM_VIEW_OPENFOLDER && r.hwnd == listener_) out.push_back(r);
    return out;
  }

  std::unique_ptr<VolumeList> owned_ = std::make_unique<VolumeList>();
  VolumeList& list_ = *owned_;
  CWnd parent_;
  CExplorerTreeCtrl tree_;
  HWND listener_ = nullptr;
};

TEST_F(TreeTest, FoldersAppearOnlyWithContentAndFillOnFirstExpansion) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  // One root per slot from 3, each expanded; the current key is the last slot.
  HTREEITEM found = Root(3), data = Root(kSlot);
  ASSERT_TRUE(found && data);
  EXPECT_EQ(tree_.GetRootItem(), found);
  EXPECT_EQ(tree_.GetItemData(data), DWORD_PTR(kRootId));
  EXPECT_TRUE(tree_.GetItemText(data).Find(u"01 Data") == 0);
  EXPECT_TRUE(Expanded(data));
  EXPECT_EQ(tree_.m_currentKey, kSlot);
  // Files and the empty folder are no tree items; only Docs can be expanded.
  EXPECT_EQ(Texts(data), (std::vector<std::u16string>{u"Photos     (2 Files)", u"Docs     (2 Files)"}));
  HTREEITEM photos = Child(data, 10), docs = Child(data, 11);
  EXPECT_EQ(tree_.GetChildItem(photos), nullptr);
  EXPECT_EQ(Texts(docs), (std::vector<std::u16string>{u"***"}));
  EXPECT_EQ(tree_.GetItemData(tree_.GetChildItem(docs)), DWORD_PTR(0));
  int image = -1, selected = -1;
  tree_.GetItemImage(docs, image, selected);
  EXPECT_EQ(image, 1);
  EXPECT_EQ(Picture(docs), 1);

  // Before the first expansion a refresh lists the folder's sub-folders beside the
  // placeholder (none of them is shown yet); the expansion replaces them all by one fresh fill.
  AddRecord(kSlot, 14, 11, u"New", true);
  AddRecord(kSlot, 25, 14, u"n.txt", false);
  tree_.RefreshBranch(kSlot, &list_, data);
  EXPECT_EQ(Texts(docs), (std::vector<std::u16string>{u"***", u"Sub     (1 Files)", u"New     (1 Files)"}));
  tree_.RefreshBranch(kSlot, &list_, data);  // a second refresh adds nothing twice
  EXPECT_EQ(Texts(docs).size(), 3u);
  tree_.Expand(docs, TVE_EXPAND);
  EXPECT_EQ(Texts(docs), (std::vector<std::u16string>{u"Sub     (1 Files)", u"New     (1 Files)"}));
  EXPECT_EQ(tree_.GetChildItem(Child(docs, 12)), nullptr);  // Sub holds only a file

  // Opening again fills nothing; a label the model changed is refreshed in place.
  const UINT count = tree_.GetCount();
  tree_.Expand(docs, TVE_COLLAPSE);
  tree_.Expand(docs, TVE_EXPAND);
  EXPECT_EQ(tree_.GetCount(), count);
  Rec(12).filesBelow = 7;
  tree_.RefreshBranch(kSlot, &list_, data);
  EXPECT_EQ(tree_.GetItemText(Child(docs, 12)), CString(u"Sub     (7 Files)"));
  EXPECT_EQ(tree_.GetCount(), count);
}

TEST_F(TreeTest, CheckBoxesMirrorTheModel) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  HTREEITEM data = Root(kSlot), docs = Child(data, 11);
  tree_.Expand(docs, TVE_EXPAND);
  HTREEITEM sub = Child(docs, 12);
  TakeReceived();

  // A click on the box ticks the folder and all below it in the model; the root is mixed.
  Click(CheckBoxOf(docs));
  EXPECT_EQ(GetCheckState(Rec(11)), 1u);
  EXPECT_EQ(GetCheckState(Rec(12)), 1u);
  EXPECT_EQ(GetCheckState(Rec(22)), 1u);
  EXPECT_EQ(Picture(docs), 2);  // the control did not turn it once more
  EXPECT_EQ(Picture(sub), 2);
  EXPECT_EQ(Picture(Child(data, 10)), 1);
  EXPECT_EQ(Picture(data), 3);
  // The click selected the folder, which opens it in the other views.
  EXPECT_EQ(tree_.GetSelectedItem(), docs);
  EXPECT_EQ(OpenFolders(), (std::vector<Received>{{listener_, WM_VIEW_OPENFOLDER, kSlot, 11}}));

  // A second click unchecks.
  Click(CheckBoxOf(docs));
  EXPECT_EQ(GetCheckState(Rec(11)), 0u);
  EXPECT_EQ(Picture(docs), 1);
  EXPECT_EQ(Picture(sub), 1);
  EXPECT_EQ(Picture(data), 1);

  // A partly checked folder becomes checked on the first click.
  ToggleItemCheck(list_, nullptr, kSlot, 12);
  Pump();
  EXPECT_EQ(Picture(sub), 2);
  EXPECT_EQ(Picture(docs), 3);
  Click(CheckBoxOf(docs));
  EXPECT_EQ(GetCheckState(Rec(11)), 1u);
  EXPECT_EQ(GetCheckState(Rec(24)), 1u);
  EXPECT_EQ(Picture(docs), 2);

  // Space does not turn the picture apart from the model.
  tree_.SetFocus();
  tree_.SelectItem(sub);
  InjectKeyPress(VK_SPACE, u' ');
  Pump();
  EXPECT_EQ(Picture(sub), 2);
  EXPECT_EQ(GetCheckState(Rec(12)), 1u);
}

TEST_F(TreeTest, RootPictureSumsUpItsDirectChildren) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  HTREEITEM data = Root(kSlot);
  // The root's children: Photos, Docs, and the rest (the file readme, the empty folder and
  // the lost folder) set alike. State 3 (both bits) counts as neither checked nor unchecked.
  const struct {
    uint32_t photos, docs, rest;
    int picture;
  } cases[] = {{0, 0, 0, 1}, {1, 1, 1, 2}, {1, 0, 1, 3}, {2, 0, 0, 3}, {2, 1, 1, 3},
               {3, 1, 1, 2}, {3, 0, 3, 1}, {3, 3, 3, 1}};
  for (const auto& c : cases) {
    SetCheckState(Rec(10), c.photos);
    SetCheckState(Rec(11), c.docs);
    for (uint32_t id : {23u, 13u, kLostFolderId}) SetCheckState(Rec(id), c.rest);
    Tell(WM_VIEW_CHECKCHANGED, kSlot, 11);
    EXPECT_EQ(Picture(data), c.picture) << c.photos << c.docs << c.rest;
    EXPECT_EQ(Picture(Child(data, 11)), c.docs == 3 ? 1 : int(c.docs) + 1);
  }
  // Another slot's change leaves this root alone; a mode change of this pane refreshes it.
  SetCheckState(Rec(10), 1);
  for (uint32_t id : {23u, 13u, kLostFolderId}) SetCheckState(Rec(id), 0);
  Tell(WM_VIEW_CHECKCHANGED, 3, 5);
  EXPECT_EQ(Picture(data), 1);
  Tell(WM_VIEW_MODECHANGED, WPARAM(kModeByType));
  EXPECT_EQ(Picture(data), 1);
  Tell(WM_VIEW_MODECHANGED, WPARAM(kModeByPath));
  EXPECT_EQ(Picture(data), 3);
}

TEST_F(TreeTest, SelectionTellsTheOtherViewsWithTheKeyOfTheRootLabel) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  TakeReceived();
  tree_.SelectItem(Child(Root(kSlot), 10));
  tree_.SelectItem(Root(3));
  EXPECT_EQ(OpenFolders(), (std::vector<Received>{{listener_, WM_VIEW_OPENFOLDER, kSlot, 10},
                                                   {listener_, WM_VIEW_OPENFOLDER, 3, kRootId}}));
  // A root label without a leading number gives no key: no broadcast and no fill.
  HTREEITEM loose = tree_.InsertItem(u"Loose");
  tree_.SetItemData(loose, kRootId);
  HTREEITEM ph = tree_.InsertItem(u"***", loose);
  tree_.SelectItem(loose);
  tree_.Expand(loose, TVE_EXPAND);
  EXPECT_TRUE(OpenFolders().empty());
  EXPECT_EQ(tree_.GetChildItem(loose), ph);

  // Keys read from root labels, by the tree's mode.
  const struct {
    const char16_t* label;
    int32_t mode;
    bool ok;
    uint32_t key;
  } cases[] = {{u"00 Found", kModeByPath, true, 3},     {u"12 Data (x)", kModeSearch, true, 15},
               {u"02  By change", kModeByModification, true, kViewIdFlag | 2},
               {u"Data", kModeByPath, false, 0},        {u" 01 Data", kModeByPath, false, 0},
               {u"1a Data", kModeByPath, false, 0},      {u"99999999999 Data", kModeByPath, false, 0},
               {u"", kModeByType, false, 0}};
  for (const auto& c : cases) {
    tree_.m_mode = c.mode;
    HTREEITEM r = tree_.InsertItem(c.label);
    HTREEITEM child = tree_.InsertItem(u"x", r);
    uint32_t key = 77;
    EXPECT_EQ(tree_.GetItemKey(child, key), c.ok) << std::u16string(c.label).size();
    if (c.ok) EXPECT_EQ(key, c.key);
    tree_.DeleteItem(r);
  }
}

TEST_F(TreeTest, OpenFolderExpandsAlongThePathOrClearsTheSelection) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  HTREEITEM docs = Child(Root(kSlot), 11);
  EXPECT_FALSE(Expanded(docs));
  TakeReceived();
  Tell(WM_VIEW_OPENFOLDER, kSlot, 12);
  HTREEITEM sub = Child(docs, 12);
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(Expanded(docs));
  EXPECT_EQ(tree_.GetSelectedItem(), sub);
  // The selection passes the folder on; the sender's view ignores what it shows already.
  EXPECT_EQ(OpenFolders(), (std::vector<Received>{{listener_, WM_VIEW_OPENFOLDER, kSlot, 12}}));

  // A folder the tree does not hold (the empty one) clears the selection.
  Tell(WM_VIEW_OPENFOLDER, kSlot, 13);
  EXPECT_EQ(tree_.GetSelectedItem(), nullptr);
  // Ignored: an id without a path, a view key, and any key while another mode is current.
  tree_.SelectItem(sub);
  Tell(WM_VIEW_OPENFOLDER, kSlot, 999);
  Tell(WM_VIEW_OPENFOLDER, kViewIdFlag | 0, 5);
  list_.mode = kModeByType;
  Tell(WM_VIEW_OPENFOLDER, kSlot, 10);
  EXPECT_EQ(tree_.GetSelectedItem(), sub);
}

TEST_F(TreeTest, RenameShowsThePlainNameOfAnItemTheTreeHolds) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  HTREEITEM docs = Child(Root(kSlot), 11);
  // Sub is not in the tree yet (Docs never opened): nothing changes and nothing opens.
  ASSERT_EQ(RenameItem(list_, kSlot, 12, u"Inner"), 1);
  Pump();
  EXPECT_EQ(Texts(docs), (std::vector<std::u16string>{u"***"}));
  ASSERT_EQ(RenameItem(list_, kSlot, 11, u"Papers"), 1);
  Pump();
  EXPECT_EQ(tree_.GetItemText(docs), CString(u"Papers"));
}

TEST_F(TreeTest, ContextMenuRecoversAndRenamesTheItemUnderTheCursor) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  HTREEITEM docs = Child(Root(kSlot), 11);
  MenuSeen seen;
  SetMenuChoiceHook(&ChooseFromMenu, &seen);
  // Empty space below the items: no menu.
  Click(POINT{100, 380}, 1);
  EXPECT_EQ(seen.calls, 0);

  CRect label;
  ASSERT_TRUE(tree_.GetItemRect(docs, &label, TRUE));
  const POINT onDocs{label.left + 4, (label.top + label.bottom) / 2};
  g_newName = u"Papers";
  TestLog().onMessage = &AnswerRenameWhenUp;
  seen.answerer = listener_;
  seen.answer = ID_TREE_RENAME;
  Click(onDocs, 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.ids, (std::vector<UINT>{ID_TREE_RECOVER, ID_TREE_RENAME}));
  EXPECT_EQ(seen.texts, (std::vector<CString>{u"Recover", u"Rename"}));
  EXPECT_EQ(tree_.m_menuKey, kSlot);
  EXPECT_EQ(tree_.m_menuId, 11u);
  EXPECT_EQ(RecordNameText(&Rec(11)), CString(u"Papers"));
  EXPECT_EQ(tree_.GetItemText(docs), CString(u"Papers"));
  EXPECT_EQ(g_boxes, (std::vector<CString>{u"Renamed"}));
  // The model refuses an empty name.
  g_newName = u"";
  Click(onDocs, 1);
  EXPECT_EQ(g_boxes.back(), CString(u"Not renamed"));

  // Recover on an item whose record is gone (the model was reset after the right click).
  ResetVolumeList(list_, nullptr, 0);
  tree_.SendMessage(WM_COMMAND, ID_TREE_RECOVER);
  EXPECT_EQ(g_boxes.back(), CString(u"Pick a folder to recover"));
}

TEST_F(TreeTest, ByPathTreeGrowsWithTheScanAndOpensTheFirstSlot) {
  MakeTree(kModeByPath);
  ResetVolumeList(list_, nullptr, 1);  // makes the found-files slot 3 and announces it
  Pump();
  HTREEITEM found = Root(3);
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(Expanded(found));
  // The model's request reaches every view; the tree's selection then passes it on once more.
  EXPECT_EQ(OpenFolders(), (std::vector<Received>{{listener_, WM_VIEW_OPENFOLDER, 3, kRootId},
                                                   {listener_, WM_VIEW_OPENFOLDER, 3, kRootId}}));
  EXPECT_EQ(tree_.GetSelectedItem(), found);

  // Carved folders arrive in slot 3: its branch is refreshed and relabelled.
  AddRecord(3, 300, 5, u"Pictures", true);
  AddRecord(3, 301, 300, u"f1.jpg", false);
  list_.slots[3].fileCount = 1;
  Tell(WM_VIEW_FILESADDED, 0);
  EXPECT_EQ(Texts(found), (std::vector<std::u16string>{u"Pictures     (1 Files)"}));
  CString label;
  ASSERT_TRUE(GetVolumeSlotLabel(list_, 3, label));
  EXPECT_EQ(tree_.GetItemText(found), label);

  // A scanned volume adds its own root, opened but not selected.
  VolumeContext v = MakeVolume({{10, 5, u"Photos", true}, {20, 10, u"a.jpg", false, 100, Day(2021, 3, 4)}});
  ASSERT_TRUE(AddScannedVolume(list_, nullptr, v, 1));
  Pump();
  HTREEITEM data = Root(kSlot);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(Expanded(data));
  EXPECT_EQ(Texts(data), (std::vector<std::u16string>{u"Photos     (1 Files)"}));
  EXPECT_TRUE(OpenFolders().empty());
  EXPECT_EQ(tree_.GetSelectedItem(), found);
}

TEST_F(TreeTest, ClassifiedTreeKeepsOneRootForItsView) {
  MakeTree(kModeByCreation);
  const uint32_t key = kViewIdFlag | 1;
  VolumeContext v = MakeVolume({{10, 5, u"Photos", true}, {20, 10, u"a.jpg", false, 100, Day(2021, 3, 4)}});
  ASSERT_TRUE(AddScannedVolume(list_, nullptr, v, 1));
  Pump();
  // The first slot makes the root, opens and selects it.
  HTREEITEM root = tree_.GetRootItem();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(tree_.GetNextSiblingItem(root), nullptr);
  EXPECT_EQ(tree_.m_currentKey, key);
  EXPECT_EQ(tree_.GetItemText(root), CString(u"01  By creation     (1Files)"));
  EXPECT_EQ(Texts(root), (std::vector<std::u16string>{u"2021 Year     (1 Files)"}));
  EXPECT_EQ(tree_.GetSelectedItem(), root);
  EXPECT_EQ(OpenFolders(), (std::vector<Received>{{listener_, WM_VIEW_OPENFOLDER, key, kRootId}}));

  // Another view's key and a slot key are not this tree's.
  HTREEITEM year = Child(root, 2021);
  ASSERT_NE(year, nullptr);
  Tell(WM_VIEW_OPENFOLDER, kViewIdFlag | 0, 5);
  Tell(WM_VIEW_OPENFOLDER, kSlot, 10);
  EXPECT_EQ(tree_.GetSelectedItem(), root);
  Tell(WM_VIEW_OPENFOLDER, key, 2021);
  EXPECT_EQ(tree_.GetSelectedItem(), year);

  // A further slot relabels the root and adds the new year beside the old.
  VolumeContext w = MakeVolume({{6, 5, u"old.doc", false, 10, Day(2015, 6, 1)}}, u"Other");
  ASSERT_TRUE(AddScannedVolume(list_, nullptr, w, 1));
  Pump();
  EXPECT_EQ(tree_.GetItemText(root), CString(u"01  By creation     (2Files)"));
  EXPECT_EQ(Texts(root), (std::vector<std::u16string>{u"2021 Year     (1 Files)", u"2015 Year     (1 Files)"}));

  // The publication rebuilds the tree from scratch, in the model's order.
  Tell(WM_VIEW_RESULTSREADY, 4);
  root = tree_.GetRootItem();
  EXPECT_TRUE(Expanded(root));
  EXPECT_EQ(Texts(root).size(), 2u);
}

TEST_F(TreeTest, SearchTreeShowsTheSlotsWithResults) {
  MakeTree(kModeSearch);
  VolumeContext v = MakeVolume({{10, 5, u"Photos", true}, {20, 10, u"a.jpg", false, 100}});
  VolumeContext w = MakeVolume({{10, 5, u"Music", true}, {20, 10, u"b.mp3", false, 100}}, u"Other");
  ASSERT_TRUE(AddScannedVolume(list_, nullptr, v, 1));
  ASSERT_TRUE(AddScannedVolume(list_, nullptr, w, 1));
  Pump();
  EXPECT_EQ(tree_.GetRootItem(), nullptr);  // slots added during a scan are not the search's
  // Nothing visible: the tree stays as it is.
  list_.mode = kModeSearch;
  Tell(WM_VIEW_SEARCHDONE, 5);
  EXPECT_EQ(tree_.GetRootItem(), nullptr);
  // Only the second volume holds a result.
  for (uint32_t id : {5u, 10u, 20u}) SetRecordFlags(*GetFileRecord(list_.slots[5], id, 0), kRecVisible);
  Tell(WM_VIEW_SEARCHDONE, 5);
  HTREEITEM root = tree_.GetRootItem();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(tree_.GetNextSiblingItem(root), nullptr);
  EXPECT_EQ(tree_.m_currentKey, 5u);
  EXPECT_EQ(Texts(root), (std::vector<std::u16string>{u"Music     (1 Files)"}));
}

TEST_F(TreeTest, PaintsThroughAMemoryPictureWithAFlatFrame) {
  MakeTree(kModeByPath);
  InstallSample();
  Tell(WM_VIEW_RESULTSREADY, 4);
  HTREEITEM docs = Child(Root(kSlot), 11);
  tree_.Expand(docs, TVE_EXPAND);
  ToggleItemCheck(list_, nullptr, kSlot, 12);
  tree_.SetFocus();
  tree_.SelectItem(docs);
  tree_.Invalidate();
  Pump();
  ASSERT_TRUE(SaveWindowPng(tree_.m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/explorertree.png"));
  // The frame: one grey line all round, the client white inside it.
  CRect w;
  tree_.GetWindowRect(&w);
  const int ox = w.left - 100, oy = w.top - 100;  // in the parent's window
  for (POINT p : {POINT{0, 0}, POINT{w.Width() - 1, 0}, POINT{0, 200}, POINT{170, w.Height() - 1}})
    EXPECT_EQ(GetWindowPixel(parent_.m_hWnd, ox + p.x, oy + p.y), COLORREF(0xCFCCCA)) << p.x << "," << p.y;
  // The selected label shows in the picture the paint copied.
  CRect label;
  ASSERT_TRUE(tree_.GetItemRect(docs, &label, TRUE));
  POINT at{label.right - 2, label.top + 1};
  tree_.ClientToScreen(&at);
  EXPECT_EQ(GetWindowPixel(parent_.m_hWnd, at.x - 100, at.y - 100), GetSysColor(COLOR_HIGHLIGHT));
}

}  // namespace
