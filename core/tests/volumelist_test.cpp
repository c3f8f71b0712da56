#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/heap_testing.h"
#include "core/itemquery.h"
#include "core/viewtrees.h"
#include "core/tests/volumelistfixture.h"

namespace {

std::u16string Name(const FileRecord* r) { return NameOf(r); }

// The file nodes below a view folder, as the file names they show.
std::vector<std::u16string> NamesBelow(VolumeList& list, uint32_t viewId, uint32_t nodeId) {
  std::vector<uint32_t> kids;
  std::vector<std::u16string> names;
  if (!ListViewChildren(list, viewId, nodeId, kids, 0)) return names;
  for (uint32_t k : kids) names.push_back(Name(GetItemRecord(list, viewId, k)));
  return names;
}

VolumeContext MixedVolume() {
  return MakeVolume({
      {6, 5, u"Docs", true},
      {7, 6, u"report.docx", false, 3000, Day(2023, 7, 15), Day(2023, 8, 1)},
      {8, 6, u"photo.jpg", false, 5000, 0, Day(2022, 1, 2)},
      {9, 5, u"notes.txt", false, 100, Day(2023, 7, 15), Day(2023, 7, 15)},
  });
}

// Adds one carved record per hit, as the deep scan does.
void FakeAddCarved(VolumeContext& v, const std::vector<SectorHit>& hits) {
  for (const SectorHit& h : hits) {
    FileRecord r = MakeRecord({0, kRootId, u"carved", kRecInUse, h.lba, 0, h.size});
    r.typeId = h.kind;
    AddFileRecord(v, r, 1);  // a linked file raises the file count
  }
}

SectorHit Hit(uint8_t kind) { return SectorHit{kind, kHitEndFound, 100, 4096, nullptr}; }

TEST(ViewNodeIds, DatesMapToYearMonthAndDayNodes) {
  struct Case {
    uint32_t y, m, d, year, month, day;
  };
  for (const Case& c : {Case{2023, 7, 15, 2023, 2562, 18956}, Case{1980, 1, 1, 1980, 2040, 2760},
                        Case{2039, 12, 31, 2039, 2759, 25079}}) {
    EXPECT_EQ(YearNodeId(c.y), c.year);
    EXPECT_EQ(MonthNodeId(c.y, c.m), c.month);
    EXPECT_EQ(DayNodeId(c.y, c.m, c.d), c.day);
    EXPECT_EQ(DayNodeIdOfPackedTime(PackTime(c.y, c.m, c.d, 23, 59, 59)), c.day);
  }
  // Packed times no calendar has: they belong in no time view rather than among month ids.
  for (uint32_t t : {0u, (43u << 26) | (0u << 22) | (15u << 17), (43u << 26) | (7u << 22) | (0u << 17),
                     (43u << 26) | (13u << 22) | (1u << 17), (60u << 26) | (1u << 22) | (1u << 17)})
    EXPECT_EQ(DayNodeIdOfPackedTime(t), 0u) << std::hex << t;
}

TEST_F(ListFixture, ResetBuildsTheFixedSlotsAndEmptyViews) {
  ResetVolumeList(list, nullptr, 1);
  EXPECT_EQ(list.slotCount, 4u);
  EXPECT_EQ(list.mode, kModeByPath);
  const VolumeContext& find = list.slots[kFindFileSlot];
  EXPECT_EQ(find.type, uint32_t(kVolTypeFindFile));
  EXPECT_EQ(find.idLimit, 233u);
  EXPECT_EQ(find.name, CString(u"Found"));
  EXPECT_NE(GetFileRecord(find, kRootId), nullptr);
  EXPECT_NE(GetFileRecord(find, kLostFolderId), nullptr);
  EXPECT_EQ(list.views[0].idLimit, 233u);
  EXPECT_EQ(list.views[1].idLimit, 25080u);
  EXPECT_EQ(list.views[2].idLimit, 25080u);
  for (const VolumeContext& view : list.views) EXPECT_EQ(view.type, uint32_t(kVolTypeView));

  // The type tree: the docx type folder sits in the document category.
  const FileRecord* word = GetFileRecord(list.slots[0], 172);
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(Val(word->parent), 6u);
  // The time trees: 2023-07-15 under its month and year.
  const FileRecord* day = GetFileRecord(list.slots[1], 18956);
  ASSERT_NE(day, nullptr);
  EXPECT_EQ(Val(day->parent), 2562u);
  EXPECT_EQ(Name(day), u"15 Day");
  EXPECT_EQ(Val(GetFileRecord(list.slots[2], 2562)->parent), 2023u);
  EXPECT_EQ(CountLiveRecords(list.slots[1]), 2u + 60 + 720 + 22320);

  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_SLOTADDED, 3, 0}}));

  // An empty view holds no file.
  uint32_t files = 9;
  uint64_t bytes = 9;
  EXPECT_EQ(ComputeViewTotals(list, nullptr, kViewIdFlag | 1, kRootId, files, bytes), 1);
  EXPECT_EQ(files, 0u);
  EXPECT_EQ(bytes, 0u);
  CString label;
  ASSERT_EQ(GetVolumeSlotLabel(list, kViewIdFlag, label), 1);
  EXPECT_EQ(label, CString(u"00  By type     (0Files)"));

  // Day ids below 2760 come from packed times with month or day 0; they make no nodes (they
  // would land among the month ids).
  const uint32_t before = list.views[1].idLimit;
  for (uint32_t bad : {2728u, 2745u, 2759u, 25080u}) EnsureTimeViewNodes(list.views[1], 1, bad);
  EXPECT_EQ(GetViewNode(list.views[1], 2745), nullptr);
  EXPECT_EQ(ChildIdList(GetViewNode(list.views[1], kRootId)),
            (std::vector<uint32_t>{kRootId}));
  EXPECT_EQ(list.views[1].idLimit, before);

  // A second reset starts from scratch.
  ResetVolumeList(list, nullptr, 0);
  EXPECT_EQ(list.slotCount, 4u);
  EXPECT_EQ(list.views[1].idLimit, 25080u);
}

TEST_F(ListFixture, WithoutClassificationTheViewsStayEmpty) {
  for (int allowed : {1, 0}) {
    LoadViewTestSettings(allowed ? u"Default-Key: 101\r\nDefault-ClassifyFile: 0\r\nDefault-ShowAllFile: 1\r\n"
                                 : kClassifyAll);
    ClassifyAllowed = uint32_t(allowed);
    ResetVolumeList(list, nullptr, 0);
    for (const VolumeContext& view : list.views) {
      EXPECT_EQ(view.type, 0u);
      EXPECT_EQ(view.idLimit, 0u);
    }
    EXPECT_EQ(CountLiveRecords(list.slots[1]), 2u);
    EXPECT_EQ(CountLiveRecords(list.slots[2]), 2u);
    VolumeContext v = MixedVolume();
    AddScannedVolume(list, nullptr, v, 0);
    EXPECT_EQ(list.slotCount, 5u);
    EXPECT_EQ(GetItemRecord(list, kViewIdFlag, kRootId), nullptr);
  }
  ClassifyAllowed = 1;
}

TEST_F(ListFixture, AppendedVolumeIsPlacedInTheViewsAndAnnounced) {
  ResetVolumeList(list, nullptr, 0);
  VolumeContext v = MixedVolume();
  AddScannedVolume(list, nullptr, v, 1);
  ASSERT_EQ(list.slotCount, 5u);
  EXPECT_EQ(TakeReceived(),
            (std::vector<Received>{{listener, WM_VIEW_SLOTADDED, 4, 0}, {mainWnd, WM_RESULTS_READY, 0, 0}}));

  // The root is named by the slot's label.
  EXPECT_EQ(Name(GetItemRecord(list, 4, kRootId)), u"01 Data   (3 Files)");

  // By type: Word documents are grouped in folder 172 inside their category.
  const uint32_t typeView = kViewIdFlag | 0;
  EXPECT_EQ(Val(GetViewNode(list.views[0], 172)->parent), 6u);
  EXPECT_EQ(NamesBelow(list, typeView, 172), (std::vector<std::u16string>{u"report.docx"}));
  EXPECT_EQ(NamesBelow(list, typeView, 46), (std::vector<std::u16string>{u"photo.jpg"}));

  // By creation date: the photo without a creation time is absent from view 1 and present in
  // view 2 by its modification time.
  const uint32_t ctimeView = kViewIdFlag | 1, mtimeView = kViewIdFlag | 2;
  EXPECT_EQ(NamesBelow(list, ctimeView, 18956), (std::vector<std::u16string>{u"report.docx", u"notes.txt"}));
  EXPECT_EQ(GetViewNode(list.views[1], 2022), nullptr);
  EXPECT_EQ(NamesBelow(list, mtimeView, DayNodeId(2022, 1, 2)), (std::vector<std::u16string>{u"photo.jpg"}));
  EXPECT_EQ(NamesBelow(list, ctimeView, 5), (std::vector<std::u16string>{u"2023 Year"}));
  EXPECT_EQ(NamesBelow(list, mtimeView, 5), (std::vector<std::u16string>{u"2022 Year", u"2023 Year"}));

  std::vector<uint32_t> kids, path;
  ASSERT_EQ(ListViewChildren(list, ctimeView, 18956, kids, 0), 1);
  ASSERT_EQ(GetItemPathIds(list, ctimeView, kids[0], path), 1);
  EXPECT_EQ(path, (std::vector<uint32_t>{kids[0], 18956, 2562, 2023, 5}));
  EXPECT_GE(kids[0], 25080u);

  // Totals: the view file counts and the folder records the views show.
  EXPECT_EQ(list.views[0].fileCount, 3u);
  EXPECT_EQ(list.views[1].fileCount, 2u);
  EXPECT_EQ(list.views[2].fileCount, 3u);
  EXPECT_EQ(Val(GetFileRecord(list.slots[1], 2562)->filesBelow), 2);
  EXPECT_EQ(Val(GetFileRecord(list.slots[1], 2562)->size), 3100u);

  // A second volume adds to the same folders; no more main-window message.
  VolumeContext w = MakeVolume({{6, 5, u"memo.docx", false, 10, Day(2023, 7, 15), Day(2023, 7, 15)}}, u"Other");
  AddScannedVolume(list, nullptr, w, 1);
  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_SLOTADDED, 5, 0}}));
  EXPECT_EQ(NamesBelow(list, typeView, 172), (std::vector<std::u16string>{u"report.docx", u"memo.docx"}));
  EXPECT_EQ(list.views[1].fileCount, 3u);
}

TEST_F(ListFixture, CarvedFilesAnnounceThemselvesOnce) {
  SetAddCarvedFilesHook(&FakeAddCarved);
  ResetVolumeList(list, nullptr, 0);
  AddCarvedHitsToFindView(list, {Hit(46), Hit(44)});
  EXPECT_EQ(list.slots[kFindFileSlot].fileCount, 2u);
  EXPECT_EQ(TakeReceived(),
            (std::vector<Received>{{listener, WM_VIEW_FILESADDED, 0, 0}, {mainWnd, WM_RESULTS_READY, 0, 0}}));
  AddCarvedHitsToFindView(list, {Hit(46)});
  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_FILESADDED, 0, 0}}));
  // With carved files present the first scanned volume announces only its slot.
  VolumeContext v = MixedVolume();
  AddScannedVolume(list, nullptr, v, 1);
  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_SLOTADDED, 4, 0}}));

  // A photo edition drops hits of other types: nothing added, nothing sent.
  LoadViewTestSettings(u"Default-Key: 105\r\nDefault-ClassifyFile: 1\r\nDefault-ShowAllFile: 0\r\n");
  AddCarvedHitsToFindView(list, {Hit(161), Hit(37)});
  EXPECT_EQ(list.slots[kFindFileSlot].fileCount, 3u);
  EXPECT_TRUE(TakeReceived().empty());
  SetAddCarvedFilesHook(nullptr);
}

TEST_F(ListFixture, NotifySkipsTheSenderAndDeadWindows) {
  HWND a = MakeListenerWindow(), b = MakeListenerWindow(), c = MakeListenerWindow();
  for (HWND h : {a, b, c}) list.AddListener(h);
  DestroyWindow(c);
  NotifyVolumeListeners(list, a, WM_VIEW_OPENFOLDER, 4, 9);
  EXPECT_EQ(TakeReceived(),
            (std::vector<Received>{{listener, WM_VIEW_OPENFOLDER, 4, 9}, {b, WM_VIEW_OPENFOLDER, 4, 9}}));
  // The preview message is posted: it arrives when the window's thread takes its messages.
  PostPreviewReady(list, 4, 12);
  EXPECT_TRUE(TakeReceived().empty());
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_PREVIEWREADY, 4, 12},
                                                   {a, WM_VIEW_PREVIEWREADY, 4, 12},
                                                   {b, WM_VIEW_PREVIEWREADY, 4, 12}}));
  DestroyWindow(a);
  DestroyWindow(b);
}

std::vector<VolumeContext>& FakeDrives() {
  static auto& drives = *new std::vector<VolumeContext>();
  return drives;
}
void FakeFindDrives(uint32_t, uint64_t, uint64_t, std::vector<VolumeContext>& out) { out = FakeDrives(); }

TEST_F(ListFixture, SlotLabels) {
  ResetVolumeList(list, nullptr, 0);
  VolumeContext& slot = list.slots[4];
  list.slotCount = 5;
  struct Case {
    const char16_t* label;
    uint32_t split;
    uint32_t type;
    const char16_t* text;
  };
  for (const Case& c : {Case{u"Data", kSplitDeleted, kVolTypeNtfs, u"01 Data Deleted  (12 Files)"},
                        Case{u"", kSplitDeleted, kVolTypeNtfs, u"01  Deleted NTFS  (12 Files)"},
                        Case{u"", kSplitExisting, kVolTypeExfatRebuilt, u"01  Existing Exfat  (12 Files)"},
                        Case{u"", kSplitNone, kVolTypeFat32, u"01   FAT32  (12 Files)"},
                        Case{u"", kSplitNone, kVolTypeFindFile, u"01    (12 Files)"}}) {
    slot.label = c.label;
    slot.splitKind = c.split;
    slot.type = c.type;
    slot.fileCount = 12;
    CString text;
    ASSERT_EQ(GetVolumeSlotLabel(list, 4, text), 1);
    EXPECT_EQ(text, CString(c.text));
  }

  // A logical drive is named with its letter when the discovery lists it.
  slot.label = u"USB";
  slot.splitKind = kSplitExisting;
  slot.logicalDrive = 1;
  slot.driveLetter = u'E';
  CString text;
  GetVolumeSlotLabel(list, 4, text);
  EXPECT_EQ(text, CString(u"01 Existing  (12 Files)"));
  VolumeContext e, f;
  e.logicalDrive = f.logicalDrive = 1;
  e.driveLetter = u'E';
  f.driveLetter = u'F';
  FakeDrives() = {e, f};
  SetFindDriveVolumesHook(&FakeFindDrives);
  GetVolumeSlotLabel(list, 4, text);
  EXPECT_EQ(text, CString(u"01 USB (E:) Existing  (12 Files)"));
  SetFindDriveVolumesHook(nullptr);
  FakeDrives().clear();

  text = u"kept";
  EXPECT_EQ(GetVolumeSlotLabel(list, 5, text), 0);
  EXPECT_EQ(GetVolumeSlotLabel(list, kViewIdFlag | 3, text), 0);
  EXPECT_EQ(GetVolumeSlotLabel(list, 2, text), 0);
  EXPECT_EQ(text, CString(u"kept"));
  list.slotCount = 4;
  ResetVolumeContext(slot);
}

TEST_F(ListFixture, AFullListIgnoresAppends) {
  ResetVolumeList(list, nullptr, 0);
  const uint32_t used = list.slotCount;
  list.slotCount = kVolumeSlotMax;  // the slots above 3 are empty contexts
  VolumeContext v = MixedVolume();
  AppendVolumeSlot(list, nullptr, v, 1);
  AddFindFileSlot(list, 1);
  EXPECT_EQ(list.slotCount, kVolumeSlotMax);
  EXPECT_TRUE(TakeReceived().empty());
  list.slotCount = used;
  FreeAllFileRecords(v);
}

TEST_F(ListFixture, VolumesWithNothingToShowAreNotAdded) {
  ResetVolumeList(list, nullptr, 0);
  VolumeContext empty = MakeVolume({{6, 5, u"a", true}, {7, 6, u"b", true}});
  AddScannedVolume(list, nullptr, empty, 1);
  EXPECT_EQ(list.slotCount, 4u);
  EXPECT_TRUE(TakeReceived().empty());
  FreeAllFileRecords(empty);

  // A photo edition that does not show every file drops text files and keeps photos.
  LoadViewTestSettings(u"Default-Key: 105\r\nDefault-ClassifyFile: 1\r\nDefault-ShowAllFile: 0\r\n");
  VolumeContext text = MakeVolume({{6, 5, u"a.txt", false, 10}, {7, 5, u"b.txt", false, 10}});
  AddScannedVolume(list, nullptr, text, 0);
  EXPECT_EQ(list.slotCount, 4u);
  FreeAllFileRecords(text);
  VolumeContext mixed = MakeVolume({{6, 5, u"a.txt", false, 10}, {7, 5, u"b.jpg", false, 10}});
  AddScannedVolume(list, nullptr, mixed, 0);
  ASSERT_EQ(list.slotCount, 5u);
  EXPECT_EQ(list.slots[4].fileCount, 1u);
  std::vector<uint32_t> kids;
  ListVolumeChildren(list, 4, kRootId, kids, 0);
  ASSERT_EQ(kids.size(), 1u);
  EXPECT_EQ(Name(GetItemRecord(list, 4, kids[0])), u"b.jpg");
}

TEST_F(ListFixture, PublishReplacesTheContentAndDropsPreviewHandles) {
  ResetVolumeList(list, nullptr, 0);
  VolumeContext old = MixedVolume();
  AddScannedVolume(list, nullptr, old, 0);

  VolumeContext carved;
  ResetVolumeContext(carved);
  carved.type = kVolTypeFindFile;
  CreateRootAndLostFolders(carved);
  FakeAddCarved(carved, {Hit(46)});
  VolumeContext scanned = MixedVolume();
  for (VolumeContext* v : {&carved, &scanned})
    for (uint32_t id = 1; id < v->idLimit; ++id)
      if (FileRecord* r = GetFileRecord(*v, id)) {
        r->previewHandle = 0x1234;
        SetRecordFlags(*r, kRecPreviewReady);
      }
  std::vector<VolumeContext> results{carved, scanned};
  PublishScanResults(list, nullptr, results);

  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_RESULTSREADY, 4, 0}}));
  EXPECT_EQ(list.slotCount, 5u);
  EXPECT_EQ(list.slots[kFindFileSlot].fileCount, 1u);
  EXPECT_EQ(list.views[0].fileCount, 3u);
  for (uint32_t s : {kFindFileSlot, kFirstScannedSlot})
    for (uint32_t id = 1; id < list.slots[s].idLimit; ++id)
      if (const FileRecord* r = GetFileRecord(list.slots[s], id)) {
        EXPECT_EQ(Val(r->previewHandle), 0u);
        EXPECT_EQ(r->flags & kRecPreviewReady, 0);
      }
}

TEST_F(ListFixture, PublishFreesTheVolumesItDoesNotShow) {
  ResetVolumeList(list, nullptr, 0);
  ClearVolumeList(list);
  const uint64_t before = GetHeapUsageTotal();
  VolumeContext empty;
  ResetVolumeContext(empty);
  empty.type = kVolTypeNtfs;
  CreateRootAndLostFolders(empty);
  std::vector<VolumeContext> results{empty};
  PublishScanResults(list, nullptr, results);
  EXPECT_EQ(list.slotCount, kFirstScannedSlot) << "a volume without files is not shown";
  ClearVolumeList(list);
  EXPECT_EQ(GetHeapUsageTotal(), before) << "nor kept anywhere";
}

TEST_F(ListFixture, SubtreeTotalsEndOnLoopedChildLists) {
  VolumeContext v = MakeVolume({{6, 5, u"a", true}, {7, 6, u"b", true}, {8, 7, u"f.txt", false, 7}});
  AppendChildId(*GetFileRecord(v, 7), 6);  // b lists its own parent as a child
  AppendChildId(*GetFileRecord(v, 5), 8);  // and the file hangs under the root as well
  uint32_t files = 0;
  uint64_t bytes = 0;
  EXPECT_EQ(ComputeSubtreeTotals(v, GetFileRecord(v, kRootId), files, bytes), 1);
  EXPECT_EQ(files, 1u);
  EXPECT_EQ(bytes, 7u);
  FreeAllFileRecords(v);
}

// A window thread answers the view messages of a worker and reads the list meanwhile: the
// worker sends only after releasing the list.
TEST_F(ListFixture, WorkerAppendsWhileTheWindowThreadReads) {
  ResetVolumeList(list, nullptr, 0);
  CString seen;
  TestLog().onMessage = [&](const Received& r) {
    uint32_t state = 0;
    if (r.msg == WM_VIEW_SLOTADDED) GetItemLabel(list, uint32_t(r.wParam), kRootId, seen, state);
  };
  std::atomic<bool> done{false};
  std::thread worker([&] {
    VolumeContext v = MixedVolume();
    AddScannedVolume(list, nullptr, v, 1);
    done = true;
  });
  while (!done) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(seen, CString(u"01 Data   (3 Files)     (3 Files)"));
  EXPECT_EQ(TakeReceived().size(), 2u);
}

// A reader that holds the list while a writer resets and refills it never sees freed records
// (the sanitizer build turns a miss into a failure).
TEST_F(ListFixture, ReadersAndResetsDoNotOverlap) {
  ResetVolumeList(list, nullptr, 0);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> reads{0};
  std::thread reader([&] {
    while (!stop) {
      VolumeListReadGuard guard(list);
      for (uint32_t s = kFirstScannedSlot; s < list.slotCount; ++s) {
        std::vector<uint32_t> kids;
        ListVolumeChildren(list, s, kRootId, kids, 0);
        for (uint32_t k : kids)
          if (const FileRecord* r = GetItemRecord(list, s, k)) reads += RecordNameLength(r->name);
      }
      std::vector<uint32_t> kids;
      ListViewChildren(list, kViewIdFlag | 1, 18956, kids, 0);
    }
  });
  for (int i = 0; i < 20; ++i) {
    ResetVolumeList(list, nullptr, 0);
    VolumeContext v = MixedVolume();
    AddScannedVolume(list, nullptr, v, 0);
  }
  stop = true;
  reader.join();
  EXPECT_EQ(list.slotCount, 5u);
}

}  // namespace
