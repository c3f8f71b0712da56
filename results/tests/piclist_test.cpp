// The thumbnail list: tiles drawn from the model and the preview cache (thumbnail centred,
// text, bad blobs, check pictures), thumbnails asked for only by painted tiles and repainted
// only where the ready item shows, the check-box click, which folder-opening messages a pane
// takes, appending carved files unsorted, the context menu, icons by extension, and a
// screenshot.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/log.h"
#include "core/checkstate.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "platform/paint/resstore.h"
#include "results/piclist.h"
#include "results/renamedlg.h"
#include "results/tests/resultstestenv.h"
#include "skin/tests/skin_test_util.h"

namespace results_test {
namespace {

constexpr COLORREF kUncheckedPic = RGB(10, 20, 200);
constexpr COLORREF kCheckedPic = RGB(20, 200, 20);
constexpr COLORREF kPartlyPic = RGB(200, 200, 20);

std::vector<CString>& Boxes() {
  static std::vector<CString> b;
  return b;
}
bool RecordBox(const CString& text, const CString&, const CString&) {
  Boxes().push_back(text);
  return true;
}
int g_logLines = 0;
void CountLog(const CString& line) {
  if (line.Find(u"DrawIconItem Pointer error") >= 0) ++g_logLines;
}

class PicList : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    LoadResultsTestSettings();
    ClearResources();
    RegisterResource(RT_BITMAP, 172, SolidBmp(16, 16, kUncheckedPic));
    RegisterResource(RT_BITMAP, 173, SolidBmp(16, 16, kCheckedPic));
    RegisterResource(RT_BITMAP, 237, SolidBmp(16, 16, kPartlyPic));
    Boxes().clear();
    SetMessageBoxHandler(&RecordBox);
    g_logLines = 0;
    SetLogSink(&CountLog);
    ASSERT_TRUE(pane_.CreateEx(0, nullptr, u"Pane", WS_POPUP | WS_VISIBLE, RECT{0, 0, 700, 500}, nullptr, 0));
  }
  void TearDown() override {
    SetMenuChoiceHook(nullptr, nullptr);
    SetMessageBoxHandler(nullptr);
    SetLogSink(nullptr);
    if (list_.m_hWnd) list_.DestroyWindow();
    pane_.DestroyWindow();
    PumpAll();
    ClearResources();
  }
  // The list at (10, 10) in the pane, w x h, with the pane's classification.
  void Make(int mode = kModeByPath, int w = 640, int h = 400) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_ICON | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                        LVS_NOLABELWRAP | LVS_NOCOLUMNHEADER;
    ASSERT_TRUE(list_.Create(style, RECT{10, 10, 10 + w, 10 + h}, &pane_, 1004));
    list_.Init(&m_.list, mode, &m_.service);
    // The size message came before Init: the screenful is measured again now.
    list_.SendMessage(WM_SIZE, 0, MAKELPARAM(w - 2, h - 2));
  }
  void Show() {
    list_.SendMessage(WM_VIEW_RESULTSREADY, kSlot, 0);
    PumpAll();
  }
  RECT Bounds(int i) {
    RECT b{};
    EXPECT_TRUE(list_.GetItemRect(i, &b, LVIR_BOUNDS));
    return b;
  }
  // The colour the list shows at a client point.
  COLORREF At(int x, int y) { return GetWindowPixel(list_.m_hWnd, x + 1, y + 1); }
  COLORREF At(POINT p) { return At(p.x, p.y); }
  // The middle of tile i's picture box.
  POINT BoxCentre(int i) {
    const PicTileLayout p = PicTileParts(Bounds(i));
    return POINT{(p.box.left + p.box.right) / 2, (p.box.top + p.box.bottom) / 2};
  }
  // Pixels inside the box, away from its frame, that are not white.
  int InkInBox(int i) {
    const PicTileLayout p = PicTileParts(Bounds(i));
    int ink = 0;
    for (int y = p.box.top + 2; y < p.box.bottom - 2; ++y)
      for (int x = p.box.left + 2; x < p.box.right - 2; ++x)
        if (!Near(At(x, y), RGB(255, 255, 255), 40)) ++ink;
    return ink;
  }
  int IndexOf(uint32_t id) {
    auto it = std::find(list_.m_ids.begin(), list_.m_ids.end(), id);
    return it == list_.m_ids.end() ? -1 : int(it - list_.m_ids.begin());
  }

  ListHolder m_;
  CWnd pane_;
  CPicListCtrl list_;
};

// Many pictures in the root: ids 100.. named so that the name order is the id order.
std::vector<Row> Pictures(int n) {
  static std::vector<std::u16string> names;
  names.clear();
  names.reserve(size_t(n));
  std::vector<Row> rows;
  for (int i = 0; i < n; ++i) {
    names.push_back(u"p" + std::u16string(FormatCString(u"%04d", i).GetString()) + u".jpg");
    rows.push_back(Row{uint32_t(100 + i), kRootId, names.back().c_str(), false, 46, 5000});
  }
  return rows;
}

TEST_F(PicList, OnlyPaintedTilesAskForThumbnails) {
  m_.Build(Pictures(300));
  Make();
  Show();
  ASSERT_EQ(list_.GetItemCount(), 300);
  const std::vector<PreviewRequest> asked = m_.service.WaitingRequests();
  // A 640 x 400 list shows five columns of tiles and three rows, partly.
  ASSERT_FALSE(asked.empty());
  EXPECT_LE(asked.size(), 15u);
  for (const PreviewRequest& q : asked) {
    EXPECT_EQ(q.kind, kPreviewThumbnail);
    EXPECT_LT(q.id, 115u);
  }
  // Painting again asks for nothing new: the records are marked queued.
  list_.Invalidate(TRUE);
  PumpAll();
  EXPECT_EQ(m_.service.WaitingRequests().size(), asked.size());
  // Scrolled down, the tiles now shown ask for theirs.
  list_.Scroll(CSize(0, 170 * 10));
  PumpAll();
  const std::vector<PreviewRequest> later = m_.service.WaitingRequests();
  ASSERT_GT(later.size(), asked.size());
  // The first visible tile follows the painting: the tile at the top left now.
  ASSERT_GT(list_.m_firstVisible, 0);
  const RECT top = Bounds(list_.m_firstVisible);
  EXPECT_LE(top.left, 10);
  EXPECT_LE(top.top + 3, 10);
  EXPECT_GT(top.bottom, 0);
  EXPECT_GE(later.back().id, 100u + uint32_t(list_.m_firstVisible));
}

TEST_F(PicList, ReadyMessageRepaintsOnlyTheVisibleTilesOfThatItem) {
  m_.Build(Pictures(300));
  Make();
  Show();
  const uint32_t shown = list_.m_ids[6];
  const uint32_t offScreen = list_.m_ids[200];
  const struct {
    WPARAM slot;
    uint32_t id;
    bool repaints;
  } cases[] = {
      {kSlot, shown, true},
      {kSlot, offScreen, false},  // drawn from its ready blob when it scrolls into view
      {kSlot + 1, shown, false},  // another pane's slot
  };
  for (const auto& c : cases) {
    ValidateRect(list_.m_hWnd, nullptr);
    list_.SendMessage(WM_VIEW_PREVIEWREADY, c.slot, LPARAM(c.id));
    RECT u{};
    const BOOL any = GetUpdateRect(list_.m_hWnd, &u, FALSE);
    EXPECT_EQ(any != FALSE, c.repaints) << c.id;
    if (c.repaints) {
      const RECT b = Bounds(6);
      EXPECT_EQ(u.left, b.left);
      EXPECT_EQ(u.top, b.top);
      EXPECT_EQ(u.bottom, b.bottom);
    }
  }
  // Scrolled so that the top row shows only the bottom of its cells: no tile there is at the
  // top left, yet the tiles down to the bottom row are on screen and get their thumbnails.
  list_.Scroll(CSize(0, 170 * 20 + 160));
  PumpAll();
  RECT client{};
  list_.GetClientRect(&client);
  int bottomRow = -1;
  for (int i = 0; i < list_.GetItemCount(); ++i) {
    const RECT b = Bounds(i);
    if (b.top < client.bottom && b.bottom > 0) bottomRow = i;
  }
  ASSERT_GT(bottomRow, 0);
  ValidateRect(list_.m_hWnd, nullptr);
  list_.SendMessage(WM_VIEW_PREVIEWREADY, kSlot, LPARAM(list_.m_ids[size_t(bottomRow)]));
  RECT u{};
  EXPECT_TRUE(GetUpdateRect(list_.m_hWnd, &u, FALSE));
}

TEST_F(PicList, TilesShowThumbnailTextFolderIconAndCheckPicture) {
  m_.Build({{10, kRootId, u"album", true},
            {11, 10, u"in.jpg", false, 46},
            {20, kRootId, u"b_red.jpg", false, 46},
            {21, kRootId, u"c_notes.doc", false, 36},
            {22, kRootId, u"d_plain.dat", false, 234},
            {23, kRootId, u"e_wide.jpg", false, 46}});
  const std::vector<uint8_t> red = SolidJpeg(60, 40, 220, 0, 0);
  m_.PutThumbnail(20, PackPreviewBlob(kPreviewJpegCode, red.data(), uint32_t(red.size()), nullptr, 0));
  const std::u16string words = u"Title: Quarterly report Author: somebody with a long name";
  m_.PutThumbnail(21, PackPreviewBlob(kPreviewTextCode, nullptr, 0, words.c_str(), uint32_t(words.size() * 2)));
  const std::vector<uint8_t> wide = SolidJpeg(118, 30, 0, 0, 220);
  m_.PutThumbnail(23, PackPreviewBlob(kPreviewJpegCode, wide.data(), uint32_t(wide.size()), nullptr, 0));
  ToggleItemCheck(m_.list, nullptr, kSlot, 20);
  Make();
  Show();
  // Folders first, then by name.
  ASSERT_EQ(list_.m_ids, (std::vector<uint32_t>{10, 20, 21, 22, 23}));

  // The red thumbnail is centred: 60 x 40 in the 120 x 120 box.
  const PicTileLayout red1 = PicTileParts(Bounds(1));
  const POINT at = CentreInBox(red1.box, 60, 40);
  EXPECT_TRUE(Near(At(at.x + 2, at.y + 2), RGB(220, 0, 0), 40));
  EXPECT_TRUE(Near(At(at.x + 57, at.y + 37), RGB(220, 0, 0), 40));
  EXPECT_TRUE(Near(At(at.x - 3, at.y + 20), RGB(255, 255, 255), 8));
  EXPECT_TRUE(Near(At(at.x + 20, at.y + 43), RGB(255, 255, 255), 8));
  // The wide one spans the box but for a pixel each side, centred in height.
  const PicTileLayout w = PicTileParts(Bounds(4));
  EXPECT_TRUE(Near(At(w.box.left + 3, (w.box.top + w.box.bottom) / 2), RGB(0, 0, 220), 40));
  EXPECT_TRUE(Near(At((w.box.left + w.box.right) / 2, w.box.top + 30), RGB(255, 255, 255), 8));
  // Box and caption frames in their grey.
  EXPECT_EQ(At(red1.box.left, red1.box.top + 50), RGB(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(At(red1.caption.left + 40, red1.caption.bottom - 1), RGB(0xC0, 0xC0, 0xC0));
  // A document's text is written into its box; the folder and the plain file show icons.
  EXPECT_GT(InkInBox(2), 40);
  EXPECT_GT(InkInBox(0), 40);
  EXPECT_GT(InkInBox(3), 40);
  // Check pictures by the model's state: the ticked file, the folder (unticked) and the
  // others.
  EXPECT_EQ(At(red1.check.x + 8, red1.check.y + 8), kCheckedPic);
  const PicTileLayout folder = PicTileParts(Bounds(0));
  EXPECT_EQ(At(folder.check.x + 8, folder.check.y + 8), kUncheckedPic);
  ToggleItemCheck(m_.list, nullptr, kSlot, 11);  // the folder's only file: the folder is ticked too
  list_.SendMessage(WM_VIEW_CHECKCHANGED, kSlot, 0);
  PumpAll();
  EXPECT_EQ(At(folder.check.x + 8, folder.check.y + 8), kCheckedPic);
}

TEST_F(PicList, BadBlobDrawsAnEmptyBoxAndLogsOncePerPaint) {
  m_.Build({{20, kRootId, u"a.jpg", false, 46}, {21, kRootId, u"b.jpg", false, 46}, {22, kRootId, u"c.jpg", false, 46}});
  // Head lengths that run past their blocks, and a JPEG code over bytes that are no JPEG.
  for (uint32_t id : {20u, 21u}) {
    auto* blob = static_cast<uint8_t*>(AllocMem(12, 1));
    blob[0] = kPreviewJpegCode;
    blob[1] = 0xFF;
    blob[4] = 0x7F;
    m_.PutThumbnail(id, blob);
  }
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
  m_.PutThumbnail(22, PackPreviewBlob(kPreviewJpegCode, junk, sizeof junk, nullptr, 0));
  Make();
  Show();
  EXPECT_EQ(g_logLines, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(InkInBox(i), 0) << i;
  // The captions and check pictures are still drawn.
  const PicTileLayout p = PicTileParts(Bounds(0));
  EXPECT_EQ(At(p.check.x + 8, p.check.y + 8), kUncheckedPic);
  list_.Invalidate(TRUE);
  PumpAll();
  EXPECT_EQ(g_logLines, 2);
}

TEST_F(PicList, CheckBoxClickTogglesTheItemAndTellsTheOtherViews) {
  m_.Build({{10, kRootId, u"dir", true}, {11, 10, u"x.jpg", false, 46}, {20, kRootId, u"y.jpg", false, 46}});
  Make();
  CWnd other;
  ASSERT_TRUE(other.CreateEx(0, nullptr, u"Other", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0));
  m_.list.AddListener(other.m_hWnd);
  Show();
  const RECT b = Bounds(0);
  const struct {
    POINT at;
    bool toggles;
  } cases[] = {
      {{b.left + 2, b.top + 123}, true},    // the hit area's top-left corner
      {{b.left + 21, b.top + 142}, true},   // its last pixel
      {{b.left + 22, b.top + 130}, false},  // just right of it
      {{b.left + 10, b.top + 143}, false},  // just below it
      {{b.left + 10, b.top + 122}, false},  // just above it, in the picture box
  };
  for (const auto& c : cases) {
    const uint32_t before = GetCheckState(m_.Rec(10));
    list_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.at.x, c.at.y));
    list_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(c.at.x, c.at.y));
    PumpAll();
    EXPECT_EQ(GetCheckState(m_.Rec(10)) != before, c.toggles) << c.at.x << "," << c.at.y;
  }
  // Two toggles: back where it started, the child following the folder each time.
  EXPECT_EQ(GetCheckState(m_.Rec(10)), 0u);
  EXPECT_EQ(GetCheckState(m_.Rec(11)), 0u);
  other.DestroyWindow();
}

TEST_F(PicList, WhichFolderOpeningsAPaneTakes) {
  m_.Build({{10, kRootId, u"dir", true}, {11, 10, u"x.jpg", false, 46}, {12, 10, u"w.jpg", false, 46},
            {20, kRootId, u"y.jpg", false, 46}});
  const struct {
    int mode;
    int32_t listMode;
    WPARAM slot;
    LPARAM folder;
    uint32_t shownSlot;
    uint32_t shownFolder;
  } cases[] = {
      {kModeByPath, kModeByPath, kSlot, 10, kSlot, 10},
      {kModeByPath, kModeByPath, kViewIdFlag | 0, 10, 0, 0},  // a view's folder: not for this pane
      {kModeByPath, kModeSearch, kSlot, 10, 0, 0},            // the list shows search results
      {kModeSearch, kModeSearch, kSlot, 10, kSlot, 10},
      {kModeByType, kModeByType, kSlot, 10, kViewIdFlag | 0, 0},  // a slot's folder in a classified pane
      {kModeByType, kModeByType, kViewIdFlag | 1, 10, kViewIdFlag | 0, 0},
  };
  for (const auto& c : cases) {
    m_.list.mode = c.listMode;
    list_.m_slot = list_.m_folder = 0;
    Make(c.mode);
    list_.SendMessage(WM_VIEW_OPENFOLDER, c.slot, c.folder);
    EXPECT_EQ(list_.m_slot, c.shownSlot) << c.mode << " " << c.slot;
    EXPECT_EQ(list_.m_folder, c.shownFolder) << c.mode << " " << c.slot;
    list_.DestroyWindow();
  }
  m_.list.mode = kModeByPath;
  Make();
  list_.SendMessage(WM_VIEW_OPENFOLDER, kSlot, 10);
  EXPECT_EQ(list_.m_ids, (std::vector<uint32_t>{12, 11}));
  // The same folder again does not refill.
  list_.m_ids.clear();
  list_.SendMessage(WM_VIEW_OPENFOLDER, kSlot, 10);
  EXPECT_TRUE(list_.m_ids.empty());
}

TEST_F(PicList, NewCarvedFilesAreAppendedUnsorted) {
  m_.Build({{20, kRootId, u"m.jpg", false, 46}, {21, kRootId, u"c.jpg", false, 46}});
  // Slot 3 is the carved-file volume of the by-path pane.
  m_.list.slots[kFindFileSlot] = VolumeContext();
  ResetVolumeContext(m_.list.slots[kFindFileSlot]);
  CreateRootAndLostFolders(m_.list.slots[kFindFileSlot]);
  VolumeContext& found = m_.list.slots[kFindFileSlot];
  auto add = [&](uint32_t id, const char16_t* name) {
    FileRecord r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.id = id;
    r.parent = kRootId;
    r.flags = kRecInUse;
    r.size = 10;
    r.typeId = 46;
    SetRecordName(r, name);
    AddFileRecord(found, r, 1);
  };
  add(30, u"z.jpg");
  add(31, u"k.jpg");
  Make();
  list_.SendMessage(WM_VIEW_RESULTSREADY, kFindFileSlot, 0);
  EXPECT_EQ(list_.m_ids, (std::vector<uint32_t>{31, 30}));
  add(32, u"b.jpg");
  add(33, u"a.jpg");
  list_.SendMessage(WM_VIEW_FILESADDED, kFindFileSlot, 0);
  EXPECT_EQ(list_.m_ids, (std::vector<uint32_t>{31, 30, 32, 33}));
  EXPECT_EQ(list_.GetItemCount(), 4);
  // Another slot's pane ignores the message.
  list_.SendMessage(WM_VIEW_RESULTSREADY, kSlot, 0);
  add(34, u"c.jpg");
  list_.SendMessage(WM_VIEW_FILESADDED, kFindFileSlot, 0);
  EXPECT_EQ(list_.m_ids.size(), 2u);
}

struct MenuSeen {
  std::vector<UINT> ids;
  UINT choose = 0;
};
UINT SeeMenu(HMENU m, HWND, void* ctx) {
  auto* seen = static_cast<MenuSeen*>(ctx);
  seen->ids.clear();
  for (int i = 0; i < GetMenuItemCount(m); ++i) seen->ids.push_back(GetMenuItemID(m, i));
  return seen->choose;
}

TEST_F(PicList, ContextMenuEntriesAndCommandsWithoutATile) {
  m_.Build({{10, kRootId, u"dir", true}, {20, kRootId, u"y.jpg", false, 46}});
  Make();
  Show();
  MenuSeen seen;
  SetMenuChoiceHook(&SeeMenu, &seen);
  auto rightClick = [&](POINT p) {
    list_.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
    list_.SendMessage(WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    PumpAll();
  };
  const std::vector<UINT> all{kPicCmdShowDetail, kPicCmdRecover, kPicCmdOpen, kPicCmdPreview, kPicCmdRename};
  rightClick(BoxCentre(0));
  EXPECT_EQ(list_.m_menuItem, 10);
  EXPECT_EQ(seen.ids, (std::vector<UINT>{kPicCmdShowDetail, kPicCmdRecover, kPicCmdOpen, kPicCmdRename}));
  rightClick(BoxCentre(1));
  EXPECT_EQ(list_.m_menuItem, 20);
  EXPECT_EQ(seen.ids, all);
  // Empty space: no tile, and every command says so (Preview through the preview window).
  const struct {
    UINT command;
    const char16_t* box;
  } cases[] = {
      {kPicCmdRecover, u"Right-click a file to recover"},
      {kPicCmdOpen, u"Right-click a file to open"},
      {kPicCmdRename, u"Right-click a file to rename"},
  };
  for (const auto& c : cases) {
    Boxes().clear();
    seen.choose = c.command;
    rightClick(POINT{600, 350});
    EXPECT_EQ(list_.m_menuItem, -1);
    EXPECT_EQ(seen.ids, all);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], CString(c.box));
  }
}

// Answers the rename dialog from inside its modal loop: a message posted to this window finds
// the dialog once it is up, types the name and presses OK.
constexpr UINT kAnswerRename = WM_USER + 0x300;
CString g_newName;
int g_answerTries = 0;
LRESULT AnswererProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg != kAnswerRename) return DefWindowProcW(h, msg, w, l);
  HWND dlg = GetActiveWindow();
  HWND edit = dlg ? GetDlgItem(dlg, int(IDC_RENAME_EDIT)) : nullptr;
  if (!edit) {
    if (++g_answerTries < 100) PostMessageW(h, kAnswerRename, 0, 0);
    return 0;
  }
  SetWindowTextW(edit, g_newName.GetString());
  SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return 0;
}
HWND MakeAnswerer() {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &AnswererProc;
    wc.lpszClassName = u"PicRenameAnswerer";
    return RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExW(0, u"PicRenameAnswerer", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

TEST_F(PicList, RenameThroughTheContextMenu) {
  RegisterRenameTemplates();
  m_.Build({{20, kRootId, u"old.jpg", false, 46}});
  Make();
  Show();
  MenuSeen seen;
  seen.choose = kPicCmdRename;
  SetMenuChoiceHook(&SeeMenu, &seen);
  HWND answerer = MakeAnswerer();
  const struct {
    const char16_t* typed;
    const char16_t* box;
    const char16_t* name;
  } cases[] = {
      {u"new.jpg", u"Renamed", u"new.jpg"},
      {u"", u"Not renamed", u"new.jpg"},  // the model refuses an empty name
  };
  for (const auto& c : cases) {
    Boxes().clear();
    g_newName = c.typed;
    g_answerTries = 0;
    PostMessageW(answerer, kAnswerRename, 0, 0);
    const POINT p = BoxCentre(0);
    list_.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
    list_.SendMessage(WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    PumpAll();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], CString(c.box));
    EXPECT_EQ(RecordNameText(&m_.Rec(20)), CString(c.name));
  }
  DestroyWindow(answerer);
}

TEST_F(PicList, IconsByExtensionAreLookedUpOnce) {
  CSysIcon& icons = CSysIcon::Get();
  ASSERT_NE(icons.m_imageList, nullptr);
  EXPECT_EQ(icons.m_iconWidth, 48);
  EXPECT_GE(icons.m_defaultIcon, 0);
  EXPECT_GE(icons.m_folderIcon, 0);
  EXPECT_NE(icons.m_folderIcon, icons.m_defaultIcon);
  for (const char16_t* plain : {u"x.lnk", u"noext", u"dir.d\\noext", u"y.LNK"})
    EXPECT_EQ(icons.IconIndexFor(plain), icons.m_defaultIcon);
  icons.m_extIcons.erase(CString(u"jpg"));
  const int before = icons.m_lookups;
  const int jpg = icons.IconIndexFor(u"a.jpg");
  EXPECT_EQ(icons.IconIndexFor(u"B.JPG"), jpg);
  EXPECT_EQ(icons.m_lookups, before + 1);
}

TEST_F(PicList, Screenshot) {
  std::vector<Row> rows{{10, kRootId, u"Holiday", true}, {11, 10, u"in.jpg", false, 46}};
  const char16_t* names[] = {u"beach.jpg", u"notes.doc", u"table.xlsx", u"song.mp3", u"a very long file name.jpg", u"data.bin"};
  const uint8_t types[] = {46, 36, 38, 234, 46, 234};
  for (uint32_t i = 0; i < 6; ++i) rows.push_back(Row{20 + i, kRootId, names[i], false, types[i]});
  m_.Build(rows);
  const std::vector<uint8_t> sky = SolidJpeg(118, 80, 80, 160, 230);
  m_.PutThumbnail(20, PackPreviewBlob(kPreviewJpegCode, sky.data(), uint32_t(sky.size()), nullptr, 0));
  const std::u16string doc = u"Title: Travel plans\r\nAuthor: K. Tester\r\nPages: 3";
  m_.PutThumbnail(21, PackPreviewBlob(kPreviewTextCode, nullptr, 0, doc.c_str(), uint32_t(doc.size() * 2)));
  ToggleItemCheck(m_.list, nullptr, kSlot, 20);
  Make(kModeByPath, 640, 360);
  Show();
  const std::string path = std::string(KESTREL_RESULTS_SHOT_DIR) + "/piclist.png";
  EXPECT_TRUE(SaveWindowPng(list_.m_hWnd, path));
}

}  // namespace
}  // namespace results_test
