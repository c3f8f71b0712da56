#include <gtest/gtest.h>

#include <algorithm>

#include "core/checkstate.h"
#include "core/filefilter.h"
#include "core/itemquery.h"
#include "core/itemsort.h"
#include "core/tests/volumelistfixture.h"

namespace {

// Slot 4 after compaction keeps these ids (directories are already first):
// 5 root ─ 6 A ─ 8 a1.jpg, 9 a2.txt
//        └ 7 B ─ 10 b1.docx
struct QueryFixture : ListFixture {
  void SetUp() override {
    ListFixture::SetUp();
    ResetVolumeList(list, nullptr, 0);
    VolumeContext v = MakeVolume({
        {6, 5, u"A", true},
        {7, 5, u"B", true},
        {8, 6, u"a1.jpg", false, 1000, Day(2021, 3, 4), Day(2021, 3, 5)},
        {9, 6, u"a2.txt", false, 2000, Day(2021, 3, 4), Day(2021, 3, 4)},
        {10, 7, u"b1.docx", false, 4000, Day(2022, 5, 6), Day(2022, 5, 6)},
    });
    AddScannedVolume(list, nullptr, v, 0);
    ASSERT_EQ(list.slotCount, 5u);
    ASSERT_EQ(NameOf(GetItemRecord(list, 4, 8)), u"a1.jpg");
    ASSERT_EQ(NameOf(GetItemRecord(list, 4, 10)), u"b1.docx");
    TakeReceived();
  }
  uint32_t State(uint32_t a, uint32_t id) {
    const FileRecord* r = GetItemRecord(list, a, id);
    return r ? GetCheckState(*r) : 99;
  }
  // The file node of view 0 that shows record id of slot 4.
  uint32_t TypeNodeOf(uint32_t typeFolder, uint32_t id) {
    std::vector<uint32_t> kids;
    ListViewChildren(list, kViewIdFlag, typeFolder, kids, 0);
    for (uint32_t k : kids)
      if (Val(GetViewNode(list.views[0], k)->recordId) == id) return k;
    return 0;
  }
};

TEST_F(QueryFixture, TickingRollsUpAndDown) {
  HWND other = MakeListenerWindow();
  list.AddListener(other);

  ASSERT_EQ(ToggleItemCheck(list, listener, 4, 8), 1);
  EXPECT_EQ(State(4, 8), 1u);
  EXPECT_EQ(State(4, 6), 2u);
  EXPECT_EQ(State(4, 5), 2u);
  // Only the windows that did not ask hear of it.
  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{other, WM_VIEW_CHECKCHANGED, 4, 8}}));

  ToggleItemCheck(list, nullptr, 4, 9);
  EXPECT_EQ(State(4, 6), 1u);
  EXPECT_EQ(State(4, 5), 2u);  // B is still unchecked
  ToggleItemCheck(list, nullptr, 4, 7);
  EXPECT_EQ(State(4, 10), 1u);
  EXPECT_EQ(State(4, 5), 1u);

  // Unticking a directory clears everything below it.
  ToggleItemCheck(list, nullptr, 4, 6);
  EXPECT_EQ(State(4, 8), 0u);
  EXPECT_EQ(State(4, 9), 0u);
  EXPECT_EQ(State(4, 5), 2u);

  CheckedTotals totals;
  SumCheckedFiles(list, 4, kRootId, totals);
  EXPECT_EQ(totals.files, 1u);
  EXPECT_EQ(totals.bytes, 4000u);
  uint32_t state = 9;
  EXPECT_EQ(ComputeCheckStates(list, 4, kRootId, state), 1);
  EXPECT_EQ(state, 2u);
  std::vector<uint32_t> slots, roots;
  EXPECT_EQ(ListCheckedVolumeSlots(list, slots), 1);
  EXPECT_EQ(slots, (std::vector<uint32_t>{4}));
  ListRootItemsToRecover(list, 4, roots);
  EXPECT_EQ(roots, (std::vector<uint32_t>{7}));
  EXPECT_EQ(ToggleItemCheck(list, nullptr, 4, 999), 0);
  DestroyWindow(other);
}

TEST_F(QueryFixture, TickingAViewNodeChecksTheFileItself) {
  const uint32_t node = TypeNodeOf(172, 10);
  ASSERT_NE(node, 0u);
  ASSERT_EQ(ToggleItemCheck(list, nullptr, kViewIdFlag, node), 1);
  EXPECT_EQ(State(4, 10), 1u);                  // seen by path at once
  EXPECT_EQ(State(kViewIdFlag, 172), 1u);       // its type folder
  EXPECT_EQ(State(kViewIdFlag, 6), 2u);         // the text file shares its category
  EXPECT_EQ(State(kViewIdFlag, 7), 0u);         // the photo category
  EXPECT_EQ(State(kViewIdFlag, kRootId), 2u);
  EXPECT_EQ(State(4, 7), 0u);                   // by-path folders follow on CheckAllItems
  CheckAllItems(list, kModeByPath);
  EXPECT_EQ(State(4, 7), 1u);
  EXPECT_EQ(State(4, 5), 2u);

  // Ticking the whole type view checks every file; the time views follow on CheckAllItems.
  ToggleItemCheck(list, nullptr, kViewIdFlag, kRootId);
  for (uint32_t id : {8u, 9u, 10u}) EXPECT_EQ(State(4, id), 1u);
  CheckAllItems(list, kModeByCreation);
  EXPECT_EQ(State(kViewIdFlag | 1, kRootId), 1u);
  EXPECT_EQ(State(kViewIdFlag | 1, 2021), 1u);

  int32_t count = 0;
  uint64_t bytes = 0;
  SumViewItemFiles(list, kViewIdFlag | 1, 2021, count, bytes);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(bytes, 3000u);
  count = 5;
  SumViewItemFiles(list, kViewIdFlag | 1, 1999, count, bytes);
  EXPECT_EQ(count, 0);
  count = 0;
  bytes = 0;
  SumVolumeItemFiles(list, 4, kRootId, count, bytes);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(bytes, 7000u);
}

TEST_F(QueryFixture, SearchModeHidesRecordsFromQueriesAndSums) {
  ToggleItemCheck(list, nullptr, 4, 6);  // a1 and a2 checked
  for (uint32_t id : {5u, 6u, 8u}) SetRecordFlags(*GetItemRecord(list, 4, id), kRecVisible);
  list.mode = kModeSearch;
  EXPECT_EQ(GetItemRecord(list, 4, 9), nullptr);
  CheckedTotals totals;
  SumCheckedFiles(list, 4, kRootId, totals);
  EXPECT_EQ(totals.files, 1u);
  EXPECT_EQ(totals.bytes, 1000u);
  std::vector<uint32_t> kids;
  ListVolumeChildren(list, 4, 6, kids, 0);
  EXPECT_EQ(kids, (std::vector<uint32_t>{8}));
  std::vector<uint32_t> slots;
  EXPECT_EQ(ListVisibleVolumeSlots(list, slots), 1);
  EXPECT_EQ(slots, (std::vector<uint32_t>{4}));
  list.mode = kModeByPath;
}

TEST_F(QueryFixture, ChildListsPathsAndSubfolders) {
  std::vector<uint32_t> kids{77};
  EXPECT_EQ(ListVolumeChildren(list, 4, 8, kids, 0), 0);  // a file: emptied
  EXPECT_TRUE(kids.empty());
  EXPECT_EQ(ListVolumeChildren(list, 4, kRootId, kids, 0), 1);
  EXPECT_EQ(kids, (std::vector<uint32_t>{6, 7}));
  EXPECT_EQ(ListVolumeChildren(list, 9, kRootId, kids, 0), 0);

  const uint32_t node = TypeNodeOf(172, 10);
  kids = {77};
  EXPECT_EQ(ListViewChildren(list, kViewIdFlag, node, kids, 0), 0);  // a file node: kept
  EXPECT_EQ(kids, (std::vector<uint32_t>{77}));
  EXPECT_EQ(ListViewChildren(list, kViewIdFlag, kRootId, kids, 1), 1);
  EXPECT_EQ(kids, (std::vector<uint32_t>{6, 7}));  // documents (docx, txt), photos

  EXPECT_EQ(HasSubfolders(list, 4, kRootId), 1);
  EXPECT_EQ(HasSubfolders(list, 4, 6), 0);
  EXPECT_EQ(HasSubfolders(list, kViewIdFlag, 6), 1);
  EXPECT_EQ(HasSubfolders(list, kViewIdFlag, 172), 0);

  std::vector<uint32_t> path;
  EXPECT_EQ(GetItemPathIds(list, 4, 8, path), 1);
  EXPECT_EQ(path, (std::vector<uint32_t>{8, 6, 5}));
  path.clear();
  EXPECT_EQ(GetItemPathIds(list, kViewIdFlag, node, path), 1);
  EXPECT_EQ(path, (std::vector<uint32_t>{node, 172, 6, 5}));
  path.clear();
  EXPECT_EQ(GetItemPathIds(list, 4, 4444, path), 0);
  EXPECT_TRUE(path.empty());

  VolumeContext copy;
  EXPECT_EQ(CopySlotContext(list, 4, copy), 1);
  EXPECT_EQ(copy.recordTable[0], list.slots[4].recordTable[0]);
  EXPECT_EQ(CopySlotContext(list, kViewIdFlag | 3, copy), 0);
  EXPECT_EQ(ResolveViewNode(list, kViewIdFlag, 172, 1), GetViewNode(list.views[0], 172));
  EXPECT_EQ(ResolveViewNode(list, kViewIdFlag, node, 1), nullptr);
  EXPECT_EQ(ResolveViewNode(list, 4, 172, 0), nullptr);
}

TEST_F(QueryFixture, LabelsRenameAndOpenFolder) {
  CString text;
  uint32_t state = 9;
  ASSERT_EQ(GetItemLabel(list, 4, 6, text, state), 1);
  EXPECT_EQ(text, CString(u"A     (2 Files)"));
  EXPECT_EQ(state, 0u);
  std::vector<CString> texts;
  std::vector<uint32_t> states;
  GetItemLabelsAndChecks(list, 4, {8, 4444, 10}, texts, states);
  EXPECT_EQ(texts, (std::vector<CString>{u"a1.jpg", u"b1.docx"}));
  EXPECT_EQ(states.size(), 2u);

  EXPECT_EQ(RenameItem(list, 4, 9, u""), 0);
  EXPECT_TRUE(TakeReceived().empty());
  const uint32_t node = TypeNodeOf(172, 10);
  ASSERT_EQ(RenameItem(list, kViewIdFlag, node, u"renamed.docx"), 1);
  EXPECT_EQ(NameOf(GetItemRecord(list, 4, 10)), u"renamed.docx");
  EXPECT_EQ(RequestOpenFolder(list, listener, 4, 8), 0);
  EXPECT_EQ(RequestOpenFolder(list, listener, 4, 6), 1);
  EXPECT_EQ(TakeReceived(), (std::vector<Received>{{listener, WM_VIEW_RENAMED, kViewIdFlag, LPARAM(node)},
                                                   {listener, WM_VIEW_OPENFOLDER, 4, 6}}));

  uint32_t first = 0;
  ASSERT_EQ(FindFirstPreviewableItem(list, {9, 8, 10}, 4, first), 1);
  EXPECT_EQ(first, 8u);
  ASSERT_EQ(FindFirstPreviewableItem(list, {6, 7}, 4, first), 1);
  EXPECT_EQ(first, 6u);
}

TEST(FileFilter, KeywordsBecomeWords) {
  std::vector<CString> words;
  SplitFilterWords(u"  one  two three ", words);
  EXPECT_EQ(words, (std::vector<CString>{u"one", u"two", u"three"}));
  FileFilter().keywords = u"*.jpg;holiday";
  ParseFileFilterText();
  EXPECT_EQ(FilterNameWords(), (std::vector<CString>{u".jpg", u"holiday"}));
  FileFilter().keywords = u" *;? ";
  ParseFileFilterText();
  EXPECT_TRUE(FilterNameWords().empty());
}

TEST(FileFilter, RecordsAtTheBounds) {
  LoadViewTestSettings();
  const FileFilterSettings saved = FileFilter();
  const uint32_t lastDay = EndOfDayPacked(2024, 6, 30);
  EXPECT_EQ(lastDay & 0x1FFFF, 0x17EFBu);
  struct Case {
    const char16_t* keywords;
    uint32_t minKiB, maxKiB;
    const char16_t* name;
    uint64_t size;
    uint32_t ctime, mtime;
    bool visible;
  };
  const uint32_t inRange = PackTime(2024, 6, 1, 8, 0, 0);
  const uint32_t nextDay = PackTime(2024, 7, 1, 0, 0, 0);
  const Case cases[] = {
      {u"*.jpg;holiday", 0, 0x8000000, u"Holiday 2019.JPG", 10, inRange, inRange, true},
      {u"*.jpg;holiday", 0, 0x8000000, u"holiday.png", 10, inRange, inRange, false},
      {u"", 1, 0x8000000, u"x", 1023, inRange, inRange, false},  // 0 KiB
      {u"", 1, 0x8000000, u"x", 1024, inRange, inRange, true},   // 1 KiB
      {u"", 0, 1, u"x", 2047, inRange, inRange, true},
      {u"", 0, 1, u"x", 2048, inRange, inRange, false},
      {u"", 0, 0x8000000, u"x", 1, lastDay, lastDay, true},     // the last second of the range
      {u"", 0, 0x8000000, u"x", 1, nextDay, inRange, false},
      {u"", 0, 0x8000000, u"x", 1, inRange, nextDay, false},
      {u"", 0, 0x8000000, u"x", 1, 0x420000, 0x420000, true},   // the first second
      {u"", 0, 0x8000000, u"x", 1, 0, nextDay, true},            // no creation time: no date test
      {u"LONGER THAN NAME", 0, 0x8000000, u"x", 1, 0, 0, false},
  };
  for (const Case& c : cases) {
    FileFilter() = MakeDefaultFileFilter(2024, 6, 30);
    FileFilter().keywords = c.keywords;
    FileFilter().minSizeKiB = c.minKiB;
    FileFilter().maxSizeKiB = c.maxKiB;
    ParseFileFilterText();
    FileRecord r = MakeRecord({9, 5, c.name, kRecInUse, 0, c.ctime, c.size});
    r.mtime = c.mtime;
    MatchFileFilter(&r);
    EXPECT_EQ((r.flags & kRecVisible) != 0, c.visible) << CString(NameOf(&r)).ToUtf8() << " " << c.size;
    FreeFileRecord(r);
  }
  FileFilter() = saved;
  ParseFileFilterText();
}

TEST_F(QueryFixture, VisibleDirectoriesFollowTheirFiles) {
  SetRecordFlags(*GetItemRecord(list, 4, 10), kRecVisible);
  EXPECT_EQ(MarkVisibleDirectories(list.slots[4], kRootId), 1);
  EXPECT_EQ(GetItemRecord(list, 4, 6)->flags & kRecVisible, 0);
  EXPECT_NE(GetItemRecord(list, 4, 7)->flags & kRecVisible, 0);
  EXPECT_NE(GetItemRecord(list, 4, 5)->flags & kRecVisible, 0);
  ClearRecordFlags(*GetItemRecord(list, 4, 10), kRecVisible);
  EXPECT_EQ(MarkVisibleDirectories(list.slots[4], kRootId), 0);
  EXPECT_EQ(MarkVisibleDirectories(list.slots[4], 4444), 0);
}

TEST_F(QueryFixture, SortsByEveryKey) {
  // Equal sizes: 8 and 9 both get 2000; only the order of different keys is asserted.
  GetItemRecord(list, 4, 8)->size = 2000;
  std::vector<uint32_t> ids{10, 9, 4444, 8, 6, 7};
  ASSERT_EQ(SortItemIds(list, 4, ids, 0, 1), 1);
  EXPECT_EQ(ids, (std::vector<uint32_t>{6, 7, 8, 9, 10, 4444}));  // directories first, missing last
  ASSERT_EQ(SortItemIds(list, 4, ids, 0, 0), 1);
  EXPECT_EQ(ids, (std::vector<uint32_t>{4444, 10, 9, 8, 7, 6}));  // descending: directories last

  std::vector<uint32_t> files{10, 9, 8};
  ASSERT_EQ(SortItemIds(list, 4, files, 1, 1), 1);
  EXPECT_EQ(files.back(), 10u);
  EXPECT_EQ(std::vector<uint32_t>(files.begin(), files.begin() + 2) == std::vector<uint32_t>({8, 9}) ||
                std::vector<uint32_t>(files.begin(), files.begin() + 2) == std::vector<uint32_t>({9, 8}),
            true);
  ASSERT_EQ(SortItemIds(list, 4, files, 2, 0), 1);
  EXPECT_EQ(files.front(), 10u);  // created 2022, the others 2021

  std::vector<uint32_t> kept{3, 1, 2};
  EXPECT_EQ(SortItemIds(list, 4, kept, 4, 0), 1);
  EXPECT_EQ(kept, (std::vector<uint32_t>{2, 1, 3}));
  EXPECT_EQ(SortItemIds(list, 4, kept, 5, 1), 0);
  EXPECT_EQ(kept, (std::vector<uint32_t>{2, 1, 3}));
  std::vector<uint32_t> none;
  EXPECT_EQ(SortItemIds(list, 4, none, 0, 1), 0);
}

TEST(ItemSort, ComparatorsAreConsistent) {
  // Names differing in case and in characters between the two ASCII letter ranges: the
  // comparison must stay antisymmetric and transitive.
  const char16_t* names[] = {u"B", u"b", u"_", u"a", u"ab", u"A", u"[x"};
  std::vector<FileRecord> recs;
  for (const char16_t* n : names) recs.push_back(MakeRecord({1, 5, n, kRecInUse}));
  std::vector<SortItem> items;
  for (const FileRecord& r : recs) items.push_back({1, &r});
  items.push_back({2, nullptr});
  for (const SortItem& x : items)
    for (const SortItem& y : items) {
      EXPECT_EQ(SortByNameDirsFirst(x, y), -SortByNameDirsFirst(y, x));
      EXPECT_EQ(CompareSize(x, y), -CompareSize(y, x));
      for (const SortItem& z : items)
        if (SortByNameDirsFirst(x, y) < 0 && SortByNameDirsFirst(y, z) < 0) {
          EXPECT_LT(SortByNameDirsFirst(x, z), 0);
        }
    }
  EXPECT_EQ(SortByNameDirsFirst(items[0], items[1]), 0);  // B and b
  EXPECT_LT(SortByNameDirsFirst(items[3], items[4]), 0);  // a before ab
  EXPECT_EQ(CompareSize(items[0], items[1]), 0);          // equal sizes are equal
  FileRecord low = MakeRecord({1, 3, nullptr, 0}), high = MakeRecord({1, 9, nullptr, 0});
  low.typeId = 200;
  high.typeId = 7;
  EXPECT_EQ(CompareParentId(low, high), -1);
  EXPECT_EQ(CompareByCategory(low, high), 1);
  EXPECT_EQ(CompareByCategory(low, low), 0);
  for (FileRecord& r : recs) FreeFileRecord(r);
}

}  // namespace

namespace {

// A repair could leave directories listing each other; every walk still ends and counts each
// file once.
TEST_F(QueryFixture, WalksEndOnLoopedChildLists) {
  AppendChildId(*GetItemRecord(list, 4, 6), 7);
  AppendChildId(*GetItemRecord(list, 4, 7), 6);
  ASSERT_EQ(ToggleItemCheck(list, nullptr, 4, 6), 1);
  EXPECT_EQ(State(4, 10), 1u);
  uint32_t state = 9;
  EXPECT_EQ(ComputeCheckStates(list, 4, kRootId, state), 1);
  EXPECT_EQ(state, 1u);
  int32_t count = 0;
  uint64_t bytes = 0;
  SumVolumeItemFiles(list, 4, kRootId, count, bytes);
  EXPECT_EQ(count, 3);
  CheckedTotals totals;
  SumCheckedFiles(list, 4, kRootId, totals);
  EXPECT_EQ(totals.files, 3u);
  SetRecordFlags(*GetItemRecord(list, 4, 10), kRecVisible);
  EXPECT_EQ(MarkVisibleDirectories(list.slots[4], kRootId), 1);
}

}  // namespace
