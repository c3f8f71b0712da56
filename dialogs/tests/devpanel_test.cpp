// The scan-target panel's element tree: building from a target list, layout, the mouse rules,
// the choosers run after the click, rebuilds held back while a chooser is open, and pixels of
// the drawn items.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/settings.h"
#include "dialogs/devpanel.h"
#include "dialogs/scantargets.h"
#include "platform/hooks.h"
#include "platform/paint/gdi.h"
#include "skin/tests/skin_test_util.h"

namespace {

VolumeContext Entry(uint32_t kind, const char16_t* name, const char16_t* path, uint64_t first = 0,
                    uint64_t count = 2048000, uint32_t mark = 1) {
  VolumeContext e;
  e.mark = mark;
  e.targetKind = kind;
  e.name = name;
  e.firstLba = first;
  e.sectorCount = count;
  e.deviceSectors = count;
  if (kind == kTargetDrive) {
    e.volumePath = path;
    e.devicePath = path;
    e.driveLetter = path[4];
  } else {
    e.devicePath = path;
  }
  return e;
}

std::vector<VolumeContext> SampleTargets() {
  return {Entry(kTargetDrive, u"System (C: NTFS)", u"\\\\.\\C:"),
          Entry(kTargetDrive, u"Data (E: FAT32)", u"\\\\.\\E:"),
          Entry(kTargetArea, u"Free space", u"\\\\.\\PhysicalDrive0", 4096000, 1000),
          Entry(kTargetPartition, u"Lost", u"\\\\.\\PhysicalDrive0", 5000000, 1000),
          Entry(kTargetDisk, u"Disk Zero", u"\\\\.\\PhysicalDrive0"),
          Entry(kTargetDisk, u"Hidden", u"\\\\.\\PhysicalDrive1", 0, 100, 0)};
}

class DevPanelTree : public testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n",
                        u"Disk: Disk\r\nPleaseSelScanDev: Select a device\r\nRecycleBin: Recycle Bin\r\n");
    ScanTarget().operation = 1;
    root_.Build(SampleTargets());
    root_.SetRect(RECT{0, 0, 800, 600});
  }
  CCtrlDev root_;
};

TEST_F(DevPanelTree, GroupsHoldTheirKindsAndUnmarkedEntriesStayOut) {
  ASSERT_EQ(root_.m_children.size(), 4u);
  EXPECT_EQ(root_.Group(kTagDrives)->ItemCount(), 2u);
  EXPECT_EQ(root_.Group(kTagAreas)->ItemCount(), 2u);
  EXPECT_EQ(root_.Group(kTagDisks)->ItemCount(), 1u);
  EXPECT_EQ(root_.Group(kTagButtons)->ItemCount(), 5u);
  // The area names carry their kind and first LBA.
  EXPECT_EQ(root_.Group(kTagAreas)->m_children[1]->m_name, CString(u"\\\\.\\PhysicalDrive0<4096000"));
  EXPECT_EQ(root_.Group(kTagAreas)->m_children[2]->m_name, CString(u"\\\\.\\PhysicalDrive0>5000000"));
  EXPECT_EQ(root_.Group(kTagDrives)->m_children[1]->m_name, CString(u"\\\\.\\C:"));
}

TEST_F(DevPanelTree, ButtonGroupByEditionAndOperation) {
  const struct {
    const char16_t* version;
    uint32_t operation;
    std::vector<uint32_t> tags;  // empty: no button group at all
  } cases[] = {
      {u"Pro", 1, {kTagDesktop, kTagRecycleBin, kTagFolder, kTagSavedScan, kTagImage}},
      {u"Pro", 3, {kTagRecycleBin, kTagSavedScan, kTagImage}},
      {u"Pro", 6, {kTagRecycleBin, kTagSavedScan, kTagImage}},
      {u"VuzuDazuv", 1, {}},
  };
  for (const auto& c : cases) {
    LoadSettingsForTest(u"Tesmur", c.version, u"Default-Key: 101\r\n", u"");
    ScanTarget().operation = c.operation;
    CCtrlDev root;
    root.Build(SampleTargets());
    CCtrlGroup* g = root.Group(kTagButtons);
    if (c.tags.empty()) {
      EXPECT_EQ(g, nullptr) << CString(c.version).ToUtf8();
      continue;
    }
    ASSERT_NE(g, nullptr);
    std::vector<uint32_t> tags;
    for (size_t k = 1; k < g->m_children.size(); ++k) tags.push_back(g->m_children[k]->m_tag);
    EXPECT_EQ(tags, c.tags) << "operation " << c.operation;
  }
}

TEST_F(DevPanelTree, LayoutStacksGroupsAndCollapses) {
  // Inner width 794: (794 - 18) / 253 = 3 columns.
  CCtrlGroup* drives = root_.Group(kTagDrives);
  CCtrlGroup* areas = root_.Group(kTagAreas);
  EXPECT_EQ(drives->m_rect.top, 3);
  EXPECT_EQ(drives->m_rect.bottom - drives->m_rect.top, 90);
  EXPECT_EQ(areas->m_rect.top, 93);
  // Item 1 of a group sits one column to the right.
  EXPECT_EQ(drives->m_children[2]->m_rect.left, 3 + 18 + 253);
  EXPECT_EQ(drives->m_children[2]->m_rect.top, 3 + 30);
  // Five buttons in three columns make two rows.
  CCtrlGroup* buttons = root_.Group(kTagButtons);
  EXPECT_EQ(buttons->m_rect.bottom - buttons->m_rect.top, 30 + 120);
  EXPECT_EQ(buttons->m_children[4]->m_rect.top, buttons->m_rect.top + 30 + 60);

  // Collapsing the first group makes the next start 30 pixels below it; its items stop
  // answering the mouse.
  CCtrlShowDevBtn* header = drives->Header();
  const POINT hp{header->m_rect.left + 50, header->m_rect.top + 10};
  root_.OnMouse(WM_MOUSEMOVE, hp);
  root_.OnMouse(WM_LBUTTONDOWN, hp);
  root_.OnMouse(WM_LBUTTONUP, hp);
  EXPECT_EQ(header->m_expanded, 0u);
  EXPECT_EQ(areas->m_rect.top, 3 + 30);
  CCtrlBase* c = drives->m_children[1].get();
  const POINT ip{c->m_rect.left + 5, c->m_rect.top + 5};
  root_.OnMouse(WM_MOUSEMOVE, ip);
  EXPECT_EQ(c->m_state, 0u);

  // An empty group takes 30 pixels and its header cannot be toggled.
  root_.Build({Entry(kTargetDisk, u"Only", u"\\\\.\\PhysicalDrive3")});
  root_.SetRect(RECT{0, 0, 800, 600});
  CCtrlGroup* empty = root_.Group(kTagDrives);
  EXPECT_EQ(empty->m_rect.bottom - empty->m_rect.top, 30);
  EXPECT_EQ(root_.Group(kTagAreas)->m_rect.top, 33);
  const POINT ep{empty->Header()->m_rect.left + 50, empty->Header()->m_rect.top + 10};
  root_.OnMouse(WM_MOUSEMOVE, ep);
  root_.OnMouse(WM_LBUTTONDOWN, ep);
  root_.OnMouse(WM_LBUTTONUP, ep);
  EXPECT_EQ(empty->Header()->m_expanded, 1u);
  // A width too small for one item still lays out one column.
  EXPECT_EQ(CCtrlGroup::Columns(100), 1);
}

TEST_F(DevPanelTree, DraggingOutAndBackDoesNotSelect) {
  CCtrlBase* item = root_.Group(kTagDisks)->m_children[1].get();
  const POINT in{item->m_rect.left + 10, item->m_rect.top + 10};
  const POINT out{item->m_rect.right + 300, item->m_rect.bottom + 300};
  root_.OnMouse(WM_MOUSEMOVE, in);
  root_.OnMouse(WM_LBUTTONDOWN, in);
  EXPECT_EQ(item->m_state, 2u);
  root_.OnMouse(WM_MOUSEMOVE, out);
  root_.OnMouse(WM_MOUSEMOVE, in);
  EXPECT_EQ(item->m_state, 1u);
  root_.OnMouse(WM_LBUTTONUP, in);
  EXPECT_EQ(item->m_selected, 0u);
  EXPECT_EQ(root_.m_selectedId, 0u);
  // A plain click selects it and clears any other selection.
  root_.OnMouse(WM_LBUTTONDOWN, in);
  root_.OnMouse(WM_LBUTTONUP, in);
  EXPECT_EQ(root_.m_selectedId, item->m_id);
  CCtrlBase* other = root_.Group(kTagDrives)->m_children[1].get();
  const POINT op{other->m_rect.left + 10, other->m_rect.top + 10};
  root_.OnMouse(WM_MOUSEMOVE, op);
  root_.OnMouse(WM_LBUTTONDOWN, op);
  root_.OnMouse(WM_LBUTTONUP, op);
  EXPECT_EQ(item->m_selected, 0u);
  EXPECT_EQ(other->m_selected, 1u);
}

TEST_F(DevPanelTree, IdsAreNeverReusedAcrossRebuilds) {
  CCtrlBase* item = root_.Group(kTagDisks)->m_children[1].get();
  const uint32_t old = item->m_id;
  root_.OnSelect(old);
  root_.Build(SampleTargets());
  EXPECT_EQ(root_.FindTag(old), 0u);
  CString name;
  EXPECT_EQ(root_.GetItemName(old, name), 0);
  // The kept id now names nothing, so the lookup asks for a device.
  std::vector<CString> shown;
  static std::vector<CString>* sink;
  sink = &shown;
  TargetChooserHooks hooks;
  hooks.plainMessage = [](const CString& t) { sink->push_back(t); };
  SetTargetChooserHooks(hooks);
  VolumeContext out;
  EXPECT_EQ(root_.GetSelectedTarget(out), 0);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], CString(u"Select a device"));
  SetTargetChooserHooks(TargetChooserHooks());
}

TEST_F(DevPanelTree, ItemTexts) {
  CCtrlDiskInfo disk;
  disk.m_name = u"\\\\.\\PhysicalDrive12";
  disk.m_deviceSectors = 2048;
  EXPECT_EQ(disk.DetailText().Left(7), CString(u"Disk 2 "));
  disk.m_name = CString();
  EXPECT_EQ(disk.DetailText().Left(7), CString(u"Disk 0 "));
  CCtrlBtnInfo folder(kTagFolder), bin(kTagRecycleBin);
  folder.m_name = u"/home/user/Photos";
  bin.m_name = u"AllRecycleBin";
  EXPECT_EQ(folder.DetailText(), CString(u"Photos"));
  EXPECT_EQ(bin.DetailText(), CString());
  folder.m_name = u"E:\\Work";
  EXPECT_EQ(folder.DetailText(), CString(u"Work"));
}

TEST_F(DevPanelTree, UsageBarAndHeaderArrow) {
  const struct {
    uint64_t count, free;
    int width;
  } bars[] = {{1000, 500, 92}, {1000, 0, 185}, {1000, 1000, 0}, {0, 0, 0}, {0x1000000000000ull, 1, 184}};
  for (const auto& b : bars) {
    CCtrlPartInfo p;
    p.SetRect(RECT{100, 0, 353, 60});
    p.m_sectorCount = b.count;
    p.m_freeSectors = b.free;
    EXPECT_EQ(p.UsedBarRight() - 158, b.width) << b.count << " " << b.free;
  }
  CCtrlShowDevBtn h;
  const struct {
    uint32_t expanded, state;
    int cell;
  } arrows[] = {{1, 0, 0}, {1, 1, 10}, {1, 2, 10}, {0, 0, 20}, {0, 1, 30}, {0, 2, 30}};
  for (const auto& a : arrows) {
    h.m_expanded = a.expanded;
    h.m_state = a.state;
    EXPECT_EQ(h.ArrowCell(), a.cell);
  }
}

// A chooser opened from a click: the tree must not be rebuilt under it.
CCtrlDev* g_root = nullptr;
bool RebuildingFolderPicker(const CString&, CString& path) {
  g_root->Build({Entry(kTargetDisk, u"Arrived", u"\\\\.\\PhysicalDrive5")});
  path = u"E:\\Photos";
  return true;
}

TEST_F(DevPanelTree, RebuildWhileChooserIsOpenWaitsUntilItCloses) {
  g_root = &root_;
  TargetChooserHooks hooks;
  hooks.browseForFolder = &RebuildingFolderPicker;
  SetTargetChooserHooks(hooks);
  CCtrlGroup* buttons = root_.Group(kTagButtons);
  CCtrlBase* folder = nullptr;
  for (auto& c : buttons->m_children)
    if (c->m_tag == kTagFolder) folder = c.get();
  ASSERT_NE(folder, nullptr);
  const POINT p{folder->m_rect.left + 10, folder->m_rect.top + 10};
  root_.OnMouse(WM_MOUSEMOVE, p);
  root_.OnMouse(WM_LBUTTONDOWN, p);
  root_.OnMouse(WM_LBUTTONUP, p);  // runs the chooser at once: the tree has no window
  // The rebuild came after the chooser: the arrived disk is listed, the old items are gone.
  EXPECT_FALSE(root_.ChooserOpen());
  ASSERT_NE(root_.Group(kTagDisks), nullptr);
  EXPECT_EQ(root_.Group(kTagDisks)->ItemCount(), 1u);
  EXPECT_EQ(root_.Group(kTagDrives)->ItemCount(), 0u);
  SetTargetChooserHooks(TargetChooserHooks());
}

class DevPanelHost : public testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n",
                        u"NormalPart: Partitions\r\nOtherPart: Other areas\r\nDisk: Disk\r\nSelLocale: Other places\r\n"
                        u"PartCapacityInfo: %s free of %s\r\nLostPart: At %s, %s\r\n");
    ScanTarget().operation = 1;
    ASSERT_TRUE(parent_.CreateEx(0, nullptr, u"", WS_POPUP | WS_VISIBLE, RECT{0, 0, 820, 620}, nullptr, 0));
    ASSERT_TRUE(host_.Create(DevPanelHostClass(), u"", WS_CHILD | WS_VISIBLE, RECT{10, 10, 810, 610}, &parent_, 1112));
    host_.m_panelOwner = &owner_;
    host_.m_root.Attach(&host_);
    host_.m_root.Build(SampleTargets());
    host_.Relayout();
    PumpAll();
  }
  void TearDown() override {
    host_.DestroyWindow();
    parent_.DestroyWindow();
  }
  struct Owner : DevPanelOwner {
    std::vector<int> starts;
    void StartScan(int confirm) override { starts.push_back(confirm); }
  };
  void Click(POINT p, bool dbl = false) {
    host_.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    host_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    host_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    if (dbl) {
      host_.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
      host_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    }
  }
  CWnd parent_;
  CDevWnd host_;
  Owner owner_;
};

TEST_F(DevPanelHost, DoubleClickSelectsThenStartsWithTheQuestion) {
  CCtrlBase* disk = host_.m_root.Group(kTagDisks)->m_children[1].get();
  Click(POINT{disk->m_rect.left + 20, disk->m_rect.top + 20}, true);
  // The start is posted: nothing happened while the mouse was being handled.
  EXPECT_TRUE(owner_.starts.empty());
  EXPECT_EQ(host_.m_root.m_selectedId, disk->m_id);
  PumpAll();
  EXPECT_EQ(owner_.starts, std::vector<int>{1});
}

TEST_F(DevPanelHost, SmallClientKeepsTheLayoutAndThePaintShowsTheItems) {
  const RECT before = host_.m_root.Group(kTagDisks)->m_rect;
  host_.MoveWindow(10, 10, 390, 500, TRUE);
  PumpAll();
  EXPECT_EQ(host_.m_root.Group(kTagDisks)->m_rect.top, before.top);
  EXPECT_EQ(host_.m_root.Group(kTagDisks)->m_rect.right, before.right);
  host_.MoveWindow(10, 10, 800, 600, TRUE);
  PumpAll();
  // White inside, the 0xCFCCCA frame at the edge.
  EXPECT_EQ(GetWindowPixel(host_.m_hWnd, 0, 100), COLORREF(0xCFCCCA));
  EXPECT_EQ(GetWindowPixel(host_.m_hWnd, 790, 590), COLORREF(0xFFFFFF));
  // The used part of a partition's bar: drawn inside, not past it.
  CCtrlPartInfo* area = static_cast<CCtrlPartInfo*>(host_.m_root.Group(kTagAreas)->m_children[1].get());
  area->m_freeSectors = area->m_sectorCount / 2;
  host_.Invalidate(TRUE);
  PumpAll();
  const int y = area->m_rect.top + 28;
  EXPECT_EQ(GetWindowPixel(host_.m_hWnd, area->m_rect.left + 60, y), COLORREF(0xDADADA));
  EXPECT_NE(GetWindowPixel(host_.m_hWnd, area->UsedBarRight() + 2, y), COLORREF(0xDADADA));
}

bool PickE(const CString&, CString& path) {
  path = u"E:\\Photos";
  return true;
}

TEST_F(DevPanelHost, FolderChoiceRunsAfterTheClickAndStartsWithoutQuestion) {
  TargetChooserHooks hooks;
  hooks.browseForFolder = &PickE;
  SetTargetChooserHooks(hooks);
  CCtrlBase* folder = nullptr;
  for (auto& c : host_.m_root.Group(kTagButtons)->m_children)
    if (c->m_tag == kTagFolder) folder = c.get();
  Click(POINT{folder->m_rect.left + 20, folder->m_rect.top + 20});
  EXPECT_EQ(folder->m_name, CString());  // not yet: the chooser is posted
  PumpAll();
  EXPECT_EQ(folder->m_name, CString(u"E:\\Photos"));
  EXPECT_EQ(owner_.starts, std::vector<int>{0});
  VolumeContext t;
  ASSERT_EQ(host_.m_root.GetSelectedTarget(t), 1);
  EXPECT_EQ(t.targetKind, uint32_t(kTargetFolder));
  EXPECT_EQ(t.driveLetter, u'E');
  EXPECT_EQ(t.sourcePath, CString(u"E:\\Photos"));
  SetTargetChooserHooks(TargetChooserHooks());
}

}  // namespace
