#include <gtest/gtest.h>

#include <algorithm>

#include "core/tests/coretestenv.h"
#include "core/tests/recordfixture.h"

namespace {

class FileTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadCoreTestSettings();
    CreateRootAndLostFolders(v.ctx);
  }
  void TearDown() override {
    SetRepairRecycleBinHook(nullptr);
    SetCopyRecordUnderHook(nullptr);
  }
  FileRecord* Rec(uint32_t id) { return GetFileRecord(v.ctx, id, 0); }
  // Ids of the records whose parent chain reaches the root, by walking down from it.
  std::vector<uint32_t> ReachableFromRoot() {
    std::vector<uint32_t> out, stack{kRootId};
    while (!stack.empty() && out.size() < 100000) {
      const uint32_t id = stack.back();
      stack.pop_back();
      out.push_back(id);
      for (uint32_t c : ChildList(Rec(id))) stack.push_back(c);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  OwnedVolume v;
};

TEST_F(FileTreeTest, RootAndLostFolders) {
  const FileRecord* root = Rec(5);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(NameOf(root), u".");
  EXPECT_EQ(Val(root->parent), 5u);
  EXPECT_EQ(Val(root->flags), kDirInUse);
  const FileRecord* lost = Rec(4);
  ASSERT_NE(lost, nullptr);
  EXPECT_EQ(NameOf(lost), u"Lost files");
  EXPECT_EQ(Val(lost->flags), kRecDirectory);
  EXPECT_EQ(v.ctx.idLimit, 6u);
  // A second call replaces both without leaking (the sanitizer build checks).
  CreateRootAndLostFolders(v.ctx);
  EXPECT_EQ(v.ctx.idLimit, 6u);
}

TEST_F(FileTreeTest, LinkWithLostDirectories) {
  AddRows(v.ctx, {
                     {6, 5, u"docs", kDirInUse},
                     {7, 6, u"a.txt", kRecInUse},
                     {8, 99, u"b.txt", 0},      // parent 99 is missing
                     {9, 99, u"c.txt", 0},      // the same missing parent
                     {10, 7, u"d.txt", 0},      // parent 7 is a file
                     {11, 11, u"self", kRecDirectory},  // its own parent
                     {12, 6, nullptr, 0},       // nameless: not linked
                 });
  LinkFileTree(v.ctx, 1);
  EXPECT_EQ(ChildList(Rec(5)), (std::vector<uint32_t>{4, 6}));
  EXPECT_EQ(ChildList(Rec(6)), (std::vector<uint32_t>{7}));
  const std::vector<uint32_t> lost = ChildList(Rec(4));
  ASSERT_EQ(lost.size(), 3u);
  EXPECT_EQ(NameOf(Rec(lost[0])), u"Dir00000099");
  EXPECT_EQ(ChildList(Rec(lost[0])), (std::vector<uint32_t>{8, 9}));
  EXPECT_EQ(Val(Rec(lost[0])->lba), 99u);
  EXPECT_EQ(Val(Rec(lost[0])->flags), kRecDirectory);
  EXPECT_EQ(Val(Rec(8)->parent), lost[0]);
  EXPECT_EQ(NameOf(Rec(lost[1])), u"Dir00000007");
  EXPECT_EQ(ChildList(Rec(lost[1])), (std::vector<uint32_t>{10}));
  EXPECT_EQ(NameOf(Rec(lost[2])), u"Dir00000011");
  EXPECT_EQ(ChildList(Rec(lost[2])), (std::vector<uint32_t>{11}));
  EXPECT_TRUE(ChildList(Rec(11)).empty());
  EXPECT_GE(lost[0], 13u);  // made after the pass's id limit

  // Linking again rebuilds the lists from the parent ids without new lost directories.
  const uint32_t limit = v.ctx.idLimit;
  LinkFileTree(v.ctx, 1);
  EXPECT_EQ(v.ctx.idLimit, limit);
  EXPECT_EQ(ChildList(Rec(4)), lost);
}

TEST_F(FileTreeTest, LinkWithoutTheFlagLeavesOrphansUnlinked) {
  AddRows(v.ctx, {{6, 99, u"b.txt", 0}, {7, 8, u"c.txt", 0}, {8, 5, u"file.bin", 0}});
  LinkFileTree(v.ctx, 0);
  EXPECT_EQ(ChildList(Rec(5)), (std::vector<uint32_t>{4, 8}));
  EXPECT_EQ(ChildList(Rec(8)), (std::vector<uint32_t>{7}));  // appended to whatever its parent is
  EXPECT_TRUE(ChildList(Rec(4)).empty());
  EXPECT_EQ(v.ctx.idLimit, 9u);
}

TEST_F(FileTreeTest, ParentLoopsEndUpInTheLostFolder) {
  AddRows(v.ctx, {
                     {6, 7, u"a", kDirInUse},
                     {7, 8, u"b", kDirInUse},
                     {8, 6, u"c", kDirInUse},
                     {9, 7, u"f.txt", kRecInUse},
                 });
  int repairs = 0;
  static int* counter;
  counter = &repairs;
  SetRepairRecycleBinHook([](VolumeContext&) { ++*counter; });
  LinkFileTree(v.ctx, 1);
  EXPECT_EQ(repairs, 1);
  const std::vector<uint32_t> reach = ReachableFromRoot();
  for (uint32_t id : {4u, 6u, 7u, 8u, 9u}) EXPECT_TRUE(std::binary_search(reach.begin(), reach.end(), id)) << id;
  // The loop is opened at the first record a walk comes back to (6), under a lost
  // directory named after its former parent.
  const std::vector<uint32_t> lost = ChildList(Rec(4));
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(NameOf(Rec(lost[0])), u"Dir00000007");
  EXPECT_EQ(ChildList(Rec(lost[0])), (std::vector<uint32_t>{6}));
  EXPECT_TRUE(ChildList(Rec(7)) == (std::vector<uint32_t>{9}));
  uint32_t top = 0;
  EXPECT_EQ(FindTopLevelAncestor(v.ctx, Rec(9), top), 1);
  EXPECT_EQ(top, 4u);
  LinkFileTree(v.ctx, 0);  // no repair without the flag
  EXPECT_EQ(repairs, 1);
}

TEST_F(FileTreeTest, TopLevelAncestorOnALoopFails) {
  AddRows(v.ctx, {{6, 7, u"a", kDirInUse}, {7, 6, u"b", kDirInUse}, {8, 5, u"c", kDirInUse}, {9, 8, u"d", 0}});
  uint32_t top = 0;
  EXPECT_EQ(FindTopLevelAncestor(v.ctx, Rec(6), top), 0);
  EXPECT_EQ(FindTopLevelAncestor(v.ctx, Rec(9), top), 1);
  EXPECT_EQ(top, 8u);
  EXPECT_EQ(FindTopLevelAncestor(v.ctx, Rec(8), top), 1);
  EXPECT_EQ(top, 8u);
}

TEST_F(FileTreeTest, SplitLostFolder) {
  struct Case {
    uint32_t children;
    std::vector<uint32_t> groupSizes;  // empty: not split
  } cases[] = {{300, {}}, {301, {300, 1}}, {601, {300, 300, 1}}};
  for (const Case& c : cases) {
    OwnedVolume w;
    CreateRootAndLostFolders(w.ctx);
    for (uint32_t k = 0; k < c.children; ++k) AddFileRecord(w.ctx, MakeRecord({0, 4, u"x.txt", 0}), 1);
    if (!c.groupSizes.empty()) AppendChildId(*GetFileRecord(w.ctx, 4), 99999);  // no record: skipped
    SplitLostFolder(w.ctx);
    const std::vector<uint32_t> top = ChildList(GetFileRecord(w.ctx, 4));
    if (c.groupSizes.empty()) {
      EXPECT_EQ(top.size(), c.children) << c.children;
      continue;
    }
    ASSERT_EQ(top.size(), c.groupSizes.size()) << c.children;
    for (size_t g = 0; g < top.size(); ++g) {
      const FileRecord* sub = GetFileRecord(w.ctx, top[g]);
      EXPECT_EQ(NameOf(sub), FormatCString(u"%03u", unsigned(g)).Str());
      EXPECT_EQ(Val(sub->flags), kRecDirectory);
      EXPECT_EQ(Val(sub->parent), 4u);
      EXPECT_EQ(Val(sub->childCount), c.groupSizes[g]);
      EXPECT_EQ(Val(GetFileRecord(w.ctx, sub->childIds[0])->parent), top[g]);
    }
    EXPECT_EQ(Val(GetFileRecord(w.ctx, GetFileRecord(w.ctx, top[0])->childIds[0])->id), 6u);
  }
  // Refused when fewer than 100 ids remain.
  for (uint32_t k = 0; k < 301; ++k) AddFileRecord(v.ctx, MakeRecord({0, 4, u"x.txt", 0}), 1);
  v.ctx.idLimit = 3999950;
  SplitLostFolder(v.ctx);
  EXPECT_EQ(ChildList(Rec(4)).size(), 301u);
}

TEST_F(FileTreeTest, SplitIsRefusedWhenTheSubfoldersWouldNotFit) {
  // 30001 children need 101 subfolders; with exactly 100 ids left, a split would drop the
  // children of the last group, so it does not start.
  for (uint32_t k = 0; k < 30001; ++k) AddFileRecord(v.ctx, MakeRecord({0, 4, u"x.txt", 0}), 1);
  AddFileRecord(v.ctx, MakeRecord({3999899, 5, u"late.txt", 0}), 0);
  ASSERT_EQ(kRecordIdEnd - v.ctx.idLimit, 100u);
  SplitLostFolder(v.ctx);
  EXPECT_EQ(ChildList(Rec(4)).size(), 30001u);
  EXPECT_EQ(v.ctx.idLimit, 3999900u);
}

TEST_F(FileTreeTest, CarvedViewMakesCategoryAndTypeFolders) {
  OwnedVolume carved;
  carved.ctx.type = kVolTypeFindFile;
  CreateRootAndLostFolders(carved.ctx);
  carved.ctx.idLimit = 233;
  EnsureCategoryFolder(carved.ctx, 46);
  const FileRecord* cat = GetFileRecord(carved.ctx, 7);
  const FileRecord* type = GetFileRecord(carved.ctx, 46);
  ASSERT_NE(cat, nullptr);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(NameOf(cat), u"Photos");
  EXPECT_EQ(Val(cat->parent), 5u);
  EXPECT_EQ(Val(cat->flags), kDirInUse);
  EXPECT_EQ(NameOf(type), u"jpg");
  EXPECT_EQ(Val(type->parent), 7u);
  EXPECT_EQ(ChildList(cat), (std::vector<uint32_t>{46}));
  EXPECT_EQ(ChildList(GetFileRecord(carved.ctx, 5)), (std::vector<uint32_t>{7}));
  EnsureCategoryFolder(carved.ctx, 46);  // the second JPEG adds nothing
  EnsureCategoryFolder(carved.ctx, 51);  // another photo type shares the category folder
  EXPECT_EQ(ChildList(GetFileRecord(carved.ctx, 5)), (std::vector<uint32_t>{7}));
  EXPECT_EQ(ChildList(GetFileRecord(carved.ctx, 7)), (std::vector<uint32_t>{46, 51}));
  EnsureCategoryFolder(carved.ctx, 172);
  EXPECT_EQ(NameOf(GetFileRecord(carved.ctx, 172)), u"Word files");
  EnsureCategoryFolder(carved.ctx, 147);  // a placeholder row: nothing
  EXPECT_EQ(GetFileRecord(carved.ctx, 147), nullptr);
  EXPECT_EQ(carved.ctx.idLimit, 233u);
}

TEST_F(FileTreeTest, DuplicateDirectoriesMergeIntoTheNewerEmptyOne) {
  AddRows(v.ctx, {
                     {6, 5, u"old", kDirInUse, 500, 100},
                     {7, 6, u"a.txt", 0},
                     {8, 6, u"b.txt", 0},
                     {9, 5, u"new", kDirInUse, 500, 200},
                     {10, 5, u"same1", kDirInUse, 700, 300},
                     {11, 10, u"c.txt", 0},
                     {12, 5, u"same2", kDirInUse, 700, 300},
                 });
  LinkFileTree(v.ctx, 0);
  GetFileRecord(v.ctx, 6)->filesBelow = 2;
  MergeDuplicateDirectories(v.ctx);
  EXPECT_TRUE(ChildList(Rec(6)).empty());
  EXPECT_EQ(Val(Rec(6)->filesBelow), 0);
  EXPECT_EQ(ChildList(Rec(9)), (std::vector<uint32_t>{7, 8}));
  EXPECT_EQ(Val(Rec(9)->filesBelow), 2);
  EXPECT_EQ(Val(Rec(9)->flags), kRecDirectory);  // no longer in use
  EXPECT_EQ(Val(Rec(7)->parent), 9u);
  // Equal creation times merge nothing.
  EXPECT_EQ(ChildList(Rec(10)), (std::vector<uint32_t>{11}));
  EXPECT_TRUE(ChildList(Rec(12)).empty());
  EXPECT_EQ(Val(Rec(12)->flags), kDirInUse);
}

TEST_F(FileTreeTest, NoMergeIntoADirectoryInsideTheSource) {
  // The newer empty twin lies below the older directory: moving the older one's children
  // under it would make a loop of parents, so the merge is refused.
  AddRows(v.ctx, {
                     {6, 5, u"old", kDirInUse, 500, 100},
                     {7, 6, u"sub", kDirInUse, 1, 100},
                     {8, 7, u"new", kDirInUse, 500, 200},
                 });
  LinkFileTree(v.ctx, 0);
  MergeDuplicateDirectories(v.ctx);
  EXPECT_EQ(ChildList(Rec(6)), (std::vector<uint32_t>{7}));
  EXPECT_EQ(Val(Rec(7)->parent), 6u);
  EXPECT_EQ(Val(Rec(8)->flags), kDirInUse);
  MergeDirectoryInto(v.ctx, Rec(6), Rec(8));
  EXPECT_EQ(ChildList(Rec(6)), (std::vector<uint32_t>{7}));
}

TEST_F(FileTreeTest, RecycleDirectoriesArePairedThroughTheCopyHook) {
  AddRows(v.ctx, {
                     {6, 5, u"$Recycle.Bin", kDirInUse},
                     {7, 6, u"$S-1-5", kDirInUse, 800, 10},
                     {8, 7, u"$RABC.txt", 0},
                     {9, 5, u"Users", kDirInUse},
                     {10, 9, u"old", kDirInUse, 800, 20},
                     {11, 9, u"newer", kDirInUse, 800, 30},
                     {12, 6, u"inbin", kDirInUse, 800, 99},  // below the Recycle Bin: left out
                 });
  LinkFileTree(v.ctx, 0);
  static std::vector<std::pair<uint32_t, uint32_t>>* copies;
  std::vector<std::pair<uint32_t, uint32_t>> seen;
  copies = &seen;
  SetCopyRecordUnderHook([](VolumeContext&, uint32_t target, uint32_t id, const char16_t*) {
    copies->emplace_back(target, id);
    return 1;
  });
  MatchRecycleDirectories(v.ctx);
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, uint32_t>>{{11, 8}}));
  SetCopyRecordUnderHook(nullptr);
  seen.clear();
  MatchRecycleDirectories(v.ctx);  // without the hook nothing is copied
  EXPECT_TRUE(seen.empty());
}

TEST_F(FileTreeTest, LostDirectoriesMergeIntoEmptyDirectoriesOfTheSameLba) {
  AddRows(v.ctx, {{6, 5, u"Music", kDirInUse, 4000}, {7, 5, u"Other", kDirInUse, 9000}});
  const uint32_t lost = CreateLostDirectory(v.ctx, 5, 1234, 4000);
  AddRows(v.ctx, {{0, lost, u"song.mp3", 0}, {0, lost, u"Music", kDirInUse, 4000}}, 1);
  const uint32_t song = lost + 1, inner = lost + 2;
  ASSERT_EQ(NameOf(Rec(lost)), u"Dir00001234");
  MergeLostDirectories(v.ctx, {{4000, lost}, {4000, 99}});
  EXPECT_EQ(Rec(lost), nullptr);  // freed
  // The empty directory takes the lost directory's children; the inner directory with the
  // same LBA, itself a child of the lost one, takes none and never becomes its own child.
  const std::vector<uint32_t> kids = ChildList(Rec(6));
  EXPECT_EQ(kids, (std::vector<uint32_t>{song, inner}));
  EXPECT_EQ(Val(Rec(song)->parent), 6u);
  EXPECT_TRUE(ChildList(Rec(inner)).empty());
  EXPECT_TRUE(ChildList(Rec(7)).empty());

  // The only empty directory of that LBA lies inside the lost directory: taking the lost
  // directory's children would hang them below themselves, so nothing moves.
  const uint32_t lost2 = CreateLostDirectory(v.ctx, 5, 77, 6000);
  const uint32_t mid = AddFileRecord(v.ctx, MakeRecord({0, lost2, u"mid", kDirInUse, 1}), 1);
  const uint32_t leaf = AddFileRecord(v.ctx, MakeRecord({0, mid, u"leaf", kDirInUse, 6000}), 1);
  MergeLostDirectories(v.ctx, {{6000, lost2}});
  ASSERT_NE(Rec(lost2), nullptr);
  EXPECT_EQ(ChildList(Rec(lost2)), (std::vector<uint32_t>{mid}));
  EXPECT_EQ(Val(Rec(mid)->parent), lost2);
  EXPECT_TRUE(ChildList(Rec(leaf)).empty());
}

TEST_F(FileTreeTest, MoveDirectoriesFirstKeepsEachGroupsOrder) {
  AddRows(v.ctx, {
                     {10, 5, u"f1", kRecInUse},
                     {11, 5, u"d1", kDirInUse},
                     {13, 5, u"f2", kRecInUse},
                     {14, 5, u"deleted", kRecDirectory},
                     {15, 5, u"d2", kDirInUse},
                 });
  MoveDirectoriesFirst(v.ctx, 10, 16);
  const char16_t* want[] = {u"d1", u"d2", u"f1", nullptr, u"f2", u"deleted"};
  for (uint32_t k = 0; k < 6; ++k) {
    const FileRecord* r = Rec(10 + k);
    if (!want[k]) {
      EXPECT_EQ(r, nullptr);
      EXPECT_EQ(Val(AllocFileRecordSlot(v.ctx, 10 + k)->id), 0u);  // the empty slot stays empty
      continue;
    }
    ASSERT_NE(r, nullptr) << k;
    EXPECT_EQ(NameOf(r), want[k]);
    EXPECT_EQ(Val(r->id), 10 + k);
  }
}

// Builds n records: one directory (id 6) with files below it, at ids from 7 with gaps.
void FillForCompaction(VolumeContext& ctx, uint32_t records, uint32_t limit) {
  AddRows(ctx, {{6, 5, u"dir", kDirInUse}});
  const uint32_t files = records - 3;  // root, lost folder and the directory count too
  for (uint32_t k = 0; k < files; ++k) {
    const uint32_t id = limit - 1 - uint32_t(uint64_t(k) * (limit - 8) / files);
    AddFileRecord(ctx, MakeRecord({id, 6, u"f.txt", 0}), 0);
  }
  LinkFileTree(ctx, 0);
}

TEST_F(FileTreeTest, Compaction) {
  struct Case {
    uint32_t records, limit, type, split;
    bool compacts;
    uint32_t chunkAfter;
  } cases[] = {
      {7000, 12000, kVolTypeNtfs, 0, true, 1},   // 7005 lies in a lower chunk class than 12000
      {9996, 12000, kVolTypeNtfs, 0, false, 2},  // 10001 lies in the same class
      {1500, 2000, kVolTypeNtfs, 0, false, 0},   // small tables are left alone
      {7000, 12000, kVolTypeFat32, kSplitDeleted, true, 1},
  };
  for (const Case& c : cases) {
    OwnedVolume w;
    w.ctx.type = c.type;
    w.ctx.splitKind = c.split;
    CreateRootAndLostFolders(w.ctx);
    FillForCompaction(w.ctx, c.records, c.limit);
    ASSERT_EQ(CountLiveRecords(w.ctx), c.records);
    ASSERT_EQ(w.ctx.idLimit, c.limit);
    CompactFileRecords(w.ctx);
    EXPECT_EQ(CountLiveRecords(w.ctx), c.records);
    if (!c.compacts) {
      EXPECT_EQ(w.ctx.idLimit, c.limit) << c.records;
      continue;
    }
    EXPECT_LT(w.ctx.idLimit, 10000u) << c.records;
    EXPECT_GE(w.ctx.idLimit, c.records);
    EXPECT_EQ(RecordChunkOf(w.ctx.idLimit), c.chunkAfter);
    for (uint32_t k = c.chunkAfter + 1; k < 64; ++k) EXPECT_EQ(w.ctx.recordTable[k], nullptr) << k;
    // Children and parents followed every move.
    const std::vector<uint32_t> kids = ChildList(GetFileRecord(w.ctx, 6));
    ASSERT_EQ(kids.size(), c.records - 3);
    for (uint32_t id : kids) {
      const FileRecord* r = GetFileRecord(w.ctx, id);
      ASSERT_NE(r, nullptr) << id;
      ASSERT_EQ(Val(r->parent), 6u);
    }
    if (c.type == kVolTypeFat32) {
      // Slide mode keeps the id order: ascending ids in, ascending ids out.
      std::vector<uint32_t> ids;
      for (uint32_t i = 7; i < w.ctx.idLimit; ++i)
        if (GetFileRecord(w.ctx, i)) ids.push_back(i);
      EXPECT_EQ(ids.size(), c.records - 3);
      EXPECT_EQ(ids.front(), 7u);
      EXPECT_EQ(ids.back(), c.records + 3);
      EXPECT_EQ(w.ctx.idLimit, c.records + 4);
    }
  }
}

TEST_F(FileTreeTest, RenumberMovesParentAndChildLinks) {
  AddRows(v.ctx, {{6, 5, u"d", kDirInUse}, {7, 6, u"a", 0}, {8, 6, u"b", 0}, {20, 6, u"sub", kDirInUse},
                  {21, 20, u"c", 0}});
  LinkFileTree(v.ctx, 0);
  EXPECT_TRUE(RenumberFileRecord(v.ctx, 9, 20));
  EXPECT_EQ(Rec(20), nullptr);
  EXPECT_EQ(NameOf(Rec(9)), u"sub");
  EXPECT_EQ(ChildList(Rec(6)), (std::vector<uint32_t>{7, 8, 9}));
  EXPECT_EQ(Val(Rec(21)->parent), 9u);
  EXPECT_FALSE(RenumberFileRecord(v.ctx, 7, 8));   // the new id is taken
  EXPECT_FALSE(RenumberFileRecord(v.ctx, 30, 31));  // nothing to move
}

TEST_F(FileTreeTest, DeepCopyIsIndependent) {
  AddRows(v.ctx, {{6, 5, u"d", kDirInUse}, {7, 6, u"a.bin", 0}, {8, 6, nullptr, kRecUnnamed}});
  LinkFileTree(v.ctx, 1);
  FileRecord* a = Rec(7);
  a->blob = static_cast<uint8_t*>(AllocMem(32, 1));
  a->blobLength = 32;
  a->blob[0] = 0x5A;
  v.ctx.fatBuffer = static_cast<uint8_t*>(AllocMem(64, 1));
  v.ctx.fatBufferSize = 64;
  v.ctx.mftExtents = static_cast<uint64_t*>(AllocMem(32, 1));
  v.ctx.mftExtentCount = 2;
  v.ctx.name = u"Volume";

  VolumeContext copy;
  ASSERT_EQ(DeepCopyVolume(v.ctx, copy), 1);
  EXPECT_EQ(Val(copy.name), CString(u"Volume"));
  EXPECT_EQ(copy.idLimit, v.ctx.idLimit);
  for (int k = 0; k < 64; ++k)
    if (copy.recordTable[k]) {
      EXPECT_NE(copy.recordTable[k], v.ctx.recordTable[k]);
    }
  EXPECT_NE(copy.fatBuffer, v.ctx.fatBuffer);
  EXPECT_NE(copy.mftExtents, v.ctx.mftExtents);
  const FileRecord* ca = GetFileRecord(copy, 7);
  ASSERT_NE(ca, nullptr);
  EXPECT_NE(Val(ca->name), Val(a->name));
  EXPECT_NE(Val(ca->blob), Val(a->blob));
  EXPECT_EQ(ca->blob[0], 0x5A);
  EXPECT_EQ(ChildList(GetFileRecord(copy, 6)), ChildList(Rec(6)));
  EXPECT_NE(Val(GetFileRecord(copy, 6)->childIds), Val(Rec(6)->childIds));
  EXPECT_NE(GetFileRecord(copy, 8, 1), nullptr);  // unnamed records travel too

  GetFileRecord(copy, 7)->size = 999;
  SetRecordName(*GetFileRecord(copy, 7), u"changed");
  FreeAllFileRecords(copy);
  EXPECT_EQ(copy.fatBuffer, nullptr);
  EXPECT_EQ(NameOf(Rec(7)), u"a.bin");
  EXPECT_EQ(Val(Rec(7)->size), 0u);
  EXPECT_EQ(Rec(7)->blob[0], 0x5A);
  EXPECT_EQ(ChildList(Rec(6)), (std::vector<uint32_t>{7}));

  OwnedVolume empty;
  VolumeContext none;
  EXPECT_EQ(DeepCopyVolume(empty.ctx, none), 0);
}

}  // namespace
