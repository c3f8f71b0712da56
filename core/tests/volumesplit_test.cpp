#include <gtest/gtest.h>

#include "core/tests/splittestenv.h"
#include "core/volumesplit.h"

namespace {

class VolumeSplit : public ::testing::Test {
 protected:
  void SetUp() override { LoadSplitTestSettings(); }
  void TearDown() override {
    for (VolumeContext& v : out) FreeAllFileRecords(v);
    ResetVolumeContext(ScanTarget());
  }
  // In-use folder with an existing and a deleted file, a deleted folder that still lists an
  // in-use file and an in-use subfolder, an empty folder, a lost file and the Recycle Bin
  // folder as the repair leaves it.
  void BuildMixed(VolumeContext& v, uint32_t type = kVolTypeNtfs) {
    BuildVolume(v, type,
                {
                    {6, 5, u"docs", kDirInUse},
                    {7, 6, u"a.txt", kFileInUse, 0, 0, 10},
                    {8, 6, u"b.txt", kFileDeleted, 0, 0, 20},
                    {9, 5, u"old", kDirDeleted},
                    {10, 9, u"c.txt", kFileInUse, 0, 0, 30},
                    {11, 9, u"sub", kDirInUse},
                    {12, 11, u"d.txt", kFileDeleted, 0, 0, 40},
                    {13, 5, u"empty", kDirInUse},
                    {14, 4, u"lost.bin", kFileDeleted, 0, 0, 50},
                    {15, 5, u"Recycle Bin", kDirDeleted},
                    {16, 15, u"$RAB.txt", kFileInUse, 0, 0, 60},
                    {17, 15, u"$IAB.txt", kFileInUse, 0, 0, 70},
                });
  }
  std::vector<VolumeContext> out;
};

const Paths kExisting{"docs/", "docs/a.txt"};
const Paths kDeleted{"Lost files/ [D]", "Lost files/lost.bin [D]", "docs/", "docs/b.txt [D]",
                     "old/ [D]", "old/c.txt", "old/sub/", "old/sub/d.txt [D]"};
const Paths kRecycleAndLost{"Lost files/ [D]", "Lost files/lost.bin [D]", "Recycle Bin/ [D]",
                            "Recycle Bin/$IAB.txt", "Recycle Bin/$RAB.txt"};

TEST_F(VolumeSplit, ModesGiveTheirVolumes) {
  struct Case {
    uint32_t mode;
    std::vector<uint32_t> kinds;
    std::vector<Paths> paths;
  };
  // The deleted volume also keeps the Recycle Bin folder, which the repair made a deleted
  // directory: it stays whole there, with whatever is in it.
  Paths deletedWithBin = kDeleted;
  for (const char* p : {"Recycle Bin/ [D]", "Recycle Bin/$IAB.txt", "Recycle Bin/$RAB.txt"}) deletedWithBin.push_back(p);
  std::sort(deletedWithBin.begin(), deletedWithBin.end());
  const Case cases[] = {
      {1, {kSplitExisting, kSplitDeleted}, {kExisting, deletedWithBin}},
      {kSplitModeDeletedFiles, {kSplitDeleted}, {deletedWithBin}},
      {kSplitModeRecycleBin, {kSplitNone}, {kRecycleAndLost}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    VolumeContext v;
    BuildMixed(v);
    SplitVolumeByDeletion(c.mode, v, out);
    ASSERT_EQ(out.size(), c.kinds.size());
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].splitKind, c.kinds[i]);
      EXPECT_EQ(TreePaths(out[i]), c.paths[i]);
      EXPECT_NE(GetFileRecord(out[i], kRootId, 0), nullptr);
    }
    // Each volume owns its records: freeing one leaves the other readable (the sanitizer
    // build catches a shared block).
    for (VolumeContext& o : out) FreeAllFileRecords(o);
    out.clear();
  }
}

TEST_F(VolumeSplit, VolumesWithoutWhatAModeKeepsAreNotPublished) {
  VolumeContext v;
  BuildVolume(v, kVolTypeNtfs, {{6, 5, u"docs", kDirInUse}, {7, 6, u"a.txt", kFileInUse}});
  SplitVolumeByDeletion(kSplitModeRecycleBin, v, out);
  EXPECT_TRUE(out.empty());  // neither a Recycle Bin nor a lost file
  VolumeContext empty;  // no records at all: the copy cannot be made
  SplitVolumeByDeletion(kSplitModeDeletedFiles, empty, out);
  EXPECT_TRUE(out.empty());
  SplitVolumeByDeletion(1, empty, out);
  ASSERT_EQ(out.size(), 1u);  // the plain split publishes the volume unsplit
  EXPECT_EQ(out[0].splitKind, kSplitNone);
}

TEST_F(VolumeSplit, RecycleBinVolumeOfAVolumeWithGapsInItsIds) {
  // High ids above a gap: the copy compacts the ids, and what was collected for the cut must
  // still name the same records in the copy.
  VolumeContext v;
  BuildVolume(v, kVolTypeNtfs,
              {{6, 5, u"docs", kDirInUse},
               {7, 6, u"a.txt", kFileInUse},
               {2500, 5, u"Recycle Bin", kDirDeleted},
               {2501, 2500, u"$RAB.txt", kFileInUse},
               {2502, 2500, u"$IAB.txt", kFileInUse}});
  SplitVolumeByDeletion(kSplitModeRecycleBin, v, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(TreePaths(out[0]), (Paths{"Lost files/ [D]", "Recycle Bin/ [D]", "Recycle Bin/$IAB.txt",
                                      "Recycle Bin/$RAB.txt"}));
}

TEST_F(VolumeSplit, FilterKeepModes) {
  struct Case {
    uint32_t keep;
    Paths paths;
  };
  const Case cases[] = {
      {kKeepExisting, {"docs/", "docs/a.txt"}},
      {kKeepDeleted, kDeleted},
      {kKeepNoFile, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keep);
    OwnedVolume v;
    BuildVolume(v.ctx, kVolTypeNtfs,
                {{6, 5, u"docs", kDirInUse},
                 {7, 6, u"a.txt", kFileInUse},
                 {8, 6, u"b.txt", kFileDeleted},
                 {9, 5, u"old", kDirDeleted},
                 {10, 9, u"c.txt", kFileInUse},
                 {11, 9, u"sub", kDirInUse},
                 {12, 11, u"d.txt", kFileDeleted},
                 {13, 5, u"empty", kDirInUse},
                 {14, 4, u"lost.bin", kFileDeleted}});
    EXPECT_EQ(FilterRecordsByState(v.ctx, GetFileRecord(v.ctx, kRootId, 0), c.keep), 1);  // the root stays
    EXPECT_EQ(TreePaths(v.ctx), c.paths);
  }
  OwnedVolume v;
  BuildVolume(v.ctx, kVolTypeNtfs, {{6, 5, u"gone", kDirDeleted}});
  EXPECT_EQ(FilterRecordsByState(v.ctx, nullptr, kKeepDeleted), 0);
  // A deleted folder is kept whole with deleted files, even when empty.
  EXPECT_EQ(FilterRecordsByState(v.ctx, GetFileRecord(v.ctx, 6, 0), kKeepDeleted), 1);
  EXPECT_EQ(FilterRecordsByState(v.ctx, GetFileRecord(v.ctx, 6, 0), kKeepExisting), 0);
  EXPECT_EQ(GetFileRecord(v.ctx, 6, 0), nullptr);
}

TEST_F(VolumeSplit, DeepChainIsFilteredWithoutRecursion) {
  // A chain of 50,000 nested folders from a damaged disk must not exhaust the stack.
  OwnedVolume v;
  ResetVolumeContext(v.ctx);
  v.ctx.type = kVolTypeNtfs;
  CreateRootAndLostFolders(v.ctx);
  const uint32_t depth = 50000;
  for (uint32_t i = 0; i < depth; ++i) AddFileRecord(v.ctx, MakeRecord({6 + i, i == 0 ? 5 : 5 + i, u"d", kDirInUse}), 0);
  AddFileRecord(v.ctx, MakeRecord({6 + depth, 5 + depth, u"x.txt", kFileDeleted}), 0);
  LinkFileTree(v.ctx, 0);
  VolumeContext d;
  ASSERT_EQ(SplitVolumeCopy(v.ctx, d), 1);
  RecordIdList ids;
  EXPECT_EQ(CollectSubtreeIds(d, kRootId, ids), 1);
  EXPECT_EQ(ids.size(), size_t(depth) + 3);  // root, lost folder, the chain and the deleted file
  EXPECT_EQ(GetFileRecord(v.ctx, 6, 0), nullptr);  // no existing file: the chain is gone
  FreeAllFileRecords(d);
}

TEST_F(VolumeSplit, FolderAndDesktopTargets) {
  auto build = [](VolumeContext& v) {
    BuildVolume(v, kVolTypeNtfs,
                {{6, 5, u"Users", kDirInUse},
                 {7, 6, u"x", kDirInUse},
                 {8, 7, u"Desktop", kDirInUse},
                 {9, 8, u"note.txt", kFileInUse},
                 {10, 8, u"old.txt", kFileDeleted},
                 {11, 7, u"Other", kDirInUse},
                 {12, 11, u"o.txt", kFileInUse},
                 {13, 11, u"p.txt", kFileDeleted},
                 {14, 5, u"top.txt", kFileInUse},
                 {15, 4, u"lost.bin", kFileDeleted}});
  };
  struct Case {
    const char16_t* folder;
    uint32_t mode;
    std::vector<Paths> paths;
  };
  const Paths existing{"Users/", "Users/x/", "Users/x/Desktop/", "Users/x/Desktop/note.txt"};
  const Paths deleted{"Lost files/ [D]", "Lost files/lost.bin [D]", "Users/", "Users/x/", "Users/x/Desktop/",
                      "Users/x/Desktop/old.txt [D]"};
  const Case cases[] = {
      {u"C:\\Users\\x\\Desktop", 1, {existing, deleted}},
      {u"C:\\Users\\x\\Desktop\\", 1, {existing, deleted}},
      {u"C:\\Users\\x\\Desktop", kSplitModeDeletedFiles, {deleted}},
      {u"C:\\Users\\x\\Desktop", kSplitModeRecycleBin, {deleted}},
      // A folder the volume does not have: the existing files are not published, the deleted
      // volume still keeps the lost files.
      {u"C:\\Users\\y\\Desktop", 1, {{"Lost files/ [D]", "Lost files/lost.bin [D]"}}},
      {u"C:\\users\\x\\Desktop", 1, {{"Lost files/ [D]", "Lost files/lost.bin [D]"}}},  // names are exact
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CString(c.folder).ToUtf8() + " mode " + std::to_string(c.mode));
    VolumeContext v;
    build(v);
    ScanTarget().sourcePath = c.folder;
    SplitVolumeWithRecycleView(c.mode, v, out);
    ASSERT_EQ(out.size(), c.paths.size());
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(TreePaths(out[i]), c.paths[i]);
    for (VolumeContext& o : out) FreeAllFileRecords(o);
    out.clear();
  }
}

TEST_F(VolumeSplit, PathWalkAndNameLookup) {
  OwnedVolume v;
  BuildVolume(v.ctx, kVolTypeNtfs,
              {{6, 5, u"a", kDirInUse}, {7, 6, u"b", kDirInUse}, {8, 7, u"f.txt", kFileInUse}, {9, 5, u"A", kDirInUse}});
  RecordIdList ids;
  EXPECT_EQ(CollectIdsByPath(v.ctx, u"C:\\a\\b", ids), 1);
  EXPECT_EQ(ids, (RecordIdList{5, 6, 7, 7, 8}));
  ids.clear();
  EXPECT_EQ(CollectIdsByPath(v.ctx, u"a\\b\\nope", ids), 0);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(CollectIdsByPath(v.ctx, u"", ids), 0);
  uint32_t id = 0;
  EXPECT_EQ(FindChildIdByName(v.ctx, u"A", kRootId, id), 1);
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(FindChildIdByName(v.ctx, u"x", 8, id), 0);  // a file has no children
  // Keeping a listed set relinks the tree; unlisted records are freed.
  KeepOnlyListedRecords(v.ctx, {6, 7, 8});
  EXPECT_EQ(TreePaths(v.ctx), (Paths{"a/", "a/b/", "a/b/f.txt"}));
  EXPECT_EQ(GetFileRecord(v.ctx, 9, 0), nullptr);
}

}  // namespace
