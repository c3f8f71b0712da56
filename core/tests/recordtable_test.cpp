#include <gtest/gtest.h>

#include <cstddef>

#include "base/heap_testing.h"
#include "core/tests/coretestenv.h"
#include "core/tests/recordfixture.h"

namespace {

class RecordModelTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadCoreTestSettings(); }
};

TEST(FileRecordLayout, FieldOffsets) {
  struct Field {
    const char* name;
    size_t offset;
    size_t want;
  } fields[] = {
      {"id", offsetof(FileRecord, id), 0},
      {"parent", offsetof(FileRecord, parent), 4},
      {"childCapacity", offsetof(FileRecord, childCapacity), 8},
      {"childCount", offsetof(FileRecord, childCount), 12},
      {"childIds", offsetof(FileRecord, childIds), 16},
      {"filesBelow", offsetof(FileRecord, filesBelow), 24},
      {"firstCluster", offsetof(FileRecord, firstCluster), 28},
      {"blobLength", offsetof(FileRecord, blobLength), 28},
      {"lba", offsetof(FileRecord, lba), 32},
      {"size", offsetof(FileRecord, size), 40},
      {"ctime", offsetof(FileRecord, ctime), 48},
      {"mtime", offsetof(FileRecord, mtime), 52},
      {"name", offsetof(FileRecord, name), 56},
      {"blob", offsetof(FileRecord, blob), 64},
      {"previewHandle", offsetof(FileRecord, previewHandle), 72},
      {"typeId", offsetof(FileRecord, typeId), 80},
      {"flags", offsetof(FileRecord, flags), 81},
  };
  for (const Field& f : fields) EXPECT_EQ(f.offset, f.want) << f.name;
  EXPECT_EQ(sizeof(FileRecord), 83u);
  EXPECT_EQ(offsetof(ViewNode, childIds), 16u);
  EXPECT_EQ(offsetof(ViewNode, slot), 24u);
  EXPECT_EQ(offsetof(ViewNode, recordId), 28u);
  EXPECT_EQ(sizeof(ViewNode), 36u);
}

TEST(RecordTable, IdToChunkAndSlotAtTheEdges) {
  struct Case {
    uint32_t id;
    bool ok;
    uint32_t chunk, slot;
  } cases[] = {
      {0, true, 0, 0},           {1999, true, 0, 1999},     {2000, true, 1, 0},
      {9999, true, 1, 7999},     {10000, true, 2, 0},       {49999, true, 2, 39999},
      {50000, true, 3, 0},       {149999, true, 3, 99999},  {150000, true, 4, 0},
      {3999999, true, 42, 49999}, {4000000, true, 42, 50000}, {6149999, true, 63, 99999},
      {6150000, false, 0, 0},    {0xFFFFFFFF, false, 0, 0},
  };
  for (const Case& c : cases) {
    RecordSlotPos pos{};
    ASSERT_EQ(MapRecordId(c.id, pos), c.ok) << c.id;
    if (!c.ok) continue;
    EXPECT_EQ(pos.chunk, c.chunk) << c.id;
    EXPECT_EQ(pos.slot, c.slot) << c.id;
    if (c.slot == 0 || c.id == 0) continue;
    EXPECT_LT(c.slot, RecordChunkEntries(c.chunk)) << c.id;
  }
}

TEST_F(RecordModelTest, StoresLandInTheirChunks) {
  OwnedVolume v;
  for (uint32_t id : {6u, 2000u, 50000u, 149999u, 150000u, 3999999u})
    ASSERT_EQ(AddFileRecord(v.ctx, MakeRecord({id, 5, u"f.txt", 0}), 0), id);
  EXPECT_NE(v.ctx.recordTable[0], nullptr);
  EXPECT_NE(v.ctx.recordTable[1], nullptr);
  EXPECT_EQ(v.ctx.recordTable[2], nullptr);  // no id in 10000 … 49999
  EXPECT_NE(v.ctx.recordTable[3], nullptr);
  EXPECT_NE(v.ctx.recordTable[4], nullptr);
  EXPECT_NE(v.ctx.recordTable[42], nullptr);
  EXPECT_EQ(v.ctx.recordTable[43], nullptr);
  EXPECT_EQ(GetMemSize(v.ctx.recordTable[1]), 8000u * 83);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(GetFileRecord(v.ctx, 2000)), v.ctx.recordTable[1]);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(GetFileRecord(v.ctx, 149999)), v.ctx.recordTable[3] + 99999 * 83);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(GetFileRecord(v.ctx, 150000)), v.ctx.recordTable[4]);
  EXPECT_EQ(v.ctx.idLimit, 4000000u);
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 6)->typeId), 161);  // typed by extension on the way in
}

TEST_F(RecordModelTest, LookupsThatMustFail) {
  OwnedVolume v;
  AddRows(v.ctx, {{6, 5, u"a.txt", 0}, {7, 5, nullptr, 0}, {8, 5, nullptr, kRecUnnamed}, {9, 5, u"n", kRecUnnamed}});
  ASSERT_EQ(v.ctx.idLimit, 10u);
  EXPECT_NE(GetFileRecord(v.ctx, 6), nullptr);
  EXPECT_EQ(GetFileRecord(v.ctx, 0), nullptr);
  EXPECT_EQ(GetFileRecord(v.ctx, 10), nullptr);        // at the id limit
  EXPECT_EQ(GetFileRecord(v.ctx, 7), nullptr);         // no name
  EXPECT_EQ(GetFileRecord(v.ctx, 7, 1), nullptr);      // allowing unnamed does not admit a nameless record
  EXPECT_EQ(GetFileRecord(v.ctx, 8), nullptr);         // unnamed
  EXPECT_NE(GetFileRecord(v.ctx, 8, 1), nullptr);
  EXPECT_EQ(GetFileRecord(v.ctx, 9), nullptr);
  EXPECT_NE(GetFileRecord(v.ctx, 9, 1), nullptr);
  EXPECT_EQ(GetFileRecord(v.ctx, 5), nullptr);         // empty slot
  v.ctx.idLimit = 4000002;
  EXPECT_EQ(GetFileRecord(v.ctx, 4000001), nullptr);   // above 4,000,000
  EXPECT_EQ(GetFileRecord(v.ctx, 60000), nullptr);     // chunk never allocated
  EXPECT_EQ(AllocFileRecordSlot(v.ctx, 0), nullptr);
  EXPECT_EQ(AllocFileRecordSlot(v.ctx, 4000000), nullptr);
  EXPECT_EQ(v.ctx.recordTable[42], nullptr);
  v.ctx.idLimit = 10;
  // A slot whose stored id differs is empty for every id that maps to it.
  FileRecord* slot = AllocFileRecordSlot(v.ctx, 6);
  slot->id = 7;
  EXPECT_EQ(GetFileRecord(v.ctx, 6), nullptr);
  slot->id = 6;
}

TEST_F(RecordModelTest, AddWithIdZeroTakesTheIdLimit) {
  OwnedVolume fresh;
  FileRecord r = MakeRecord({0, 5, u"x.jpg", 0});
  EXPECT_EQ(AddFileRecord(fresh.ctx, r, 0), 0u);  // id limit 0: id 0 cannot be stored
  FreeMem(r.name);

  OwnedVolume v;
  CreateRootAndLostFolders(v.ctx);
  ASSERT_EQ(v.ctx.idLimit, 6u);
  EXPECT_EQ(AddFileRecord(v.ctx, MakeRecord({0, 5, u"x.jpg", 0}), 0), 6u);
  EXPECT_EQ(v.ctx.idLimit, 7u);
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 6)->typeId), 46);
  FileRecord tooHigh = MakeRecord({4000000, 5, u"y", 0});
  EXPECT_EQ(AddFileRecord(v.ctx, tooHigh, 0), 0u);
  FreeMem(tooHigh.name);
  // Directories and carved files keep the type they came with.
  FileRecord dir = MakeRecord({0, 5, u"photos.jpg", kDirInUse});
  dir.typeId = 7;
  EXPECT_EQ(Val(GetFileRecord(v.ctx, AddFileRecord(v.ctx, dir, 0))->typeId), 7);
  OwnedVolume carved;
  carved.ctx.type = kVolTypeFindFile;
  FileRecord hit = MakeRecord({20, 5, u"1000.doc", 0});
  hit.typeId = 37;
  AddFileRecord(carved.ctx, hit, 0);
  EXPECT_EQ(Val(GetFileRecord(carved.ctx, 20)->typeId), 37);
}

TEST_F(RecordModelTest, ReplacingARecordFreesItsBuffers) {
  OwnedVolume v;
  FileRecord r = MakeRecord({6, 5, u"old.bin", 0});
  r.blob = static_cast<uint8_t*>(AllocMem(32, 1));
  r.blobLength = 32;
  AddFileRecord(v.ctx, r, 0);
  AppendChildId(*GetFileRecord(v.ctx, 6), 9);
  const uint64_t before = GetHeapUsageTotal();
  AddFileRecord(v.ctx, MakeRecord({6, 5, u"new.bin", 0}), 0);
  // The old name (8 units), blob and child array left the heap; the new name came in.
  EXPECT_LT(GetHeapUsageTotal(), before);
  const FileRecord* now = GetFileRecord(v.ctx, 6);
  EXPECT_EQ(NameOf(now), u"new.bin");
  EXPECT_EQ(Val(now->blob), nullptr);
  EXPECT_EQ(Val(now->childCount), 0u);
}

TEST_F(RecordModelTest, LinkingAddsFilesAndBytesUpToTheRoot) {
  OwnedVolume v;
  CreateRootAndLostFolders(v.ctx);
  AddRows(v.ctx, {{6, 5, u"top", kDirInUse}, {7, 6, u"mid", kDirInUse}}, 1);
  AddFileRecord(v.ctx, MakeRecord({8, 7, u"f.txt", kRecInUse, 0, 0, 100}), 1);
  EXPECT_EQ(v.ctx.fileCount, 1u);
  for (uint32_t id : {6u, 7u}) {
    EXPECT_EQ(Val(GetFileRecord(v.ctx, id)->filesBelow), 1) << id;
    EXPECT_EQ(Val(GetFileRecord(v.ctx, id)->size), 100u) << id;
  }
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 5)->size), 0u);  // the root is never updated
  EXPECT_EQ(ChildList(GetFileRecord(v.ctx, 5)), (std::vector<uint32_t>{6}));
  EXPECT_EQ(ChildList(GetFileRecord(v.ctx, 7)), (std::vector<uint32_t>{8}));
  // The lost-files folder counts like any other ancestor.
  AddFileRecord(v.ctx, MakeRecord({9, 4, u"g.txt", 0, 0, 0, 50}), 1);
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 4)->size), 50u);
  // Without the link flag nothing is linked or counted.
  AddFileRecord(v.ctx, MakeRecord({10, 7, u"h.txt", 0, 0, 0, 7}), 0);
  EXPECT_EQ(v.ctx.fileCount, 2u);
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 7)->size), 100u);
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 7)->childCount), 1u);
}

TEST_F(RecordModelTest, AncestorWalkEndsOnAParentCycle) {
  OwnedVolume v;
  // 6 → 7 → 8 → 6: no root on the way.
  AddRows(v.ctx, {{6, 7, u"a", kDirInUse}, {7, 8, u"b", kDirInUse}, {8, 6, u"c", kDirInUse}});
  AddSizeToAncestors(v.ctx, 6, 100, 1);
  for (uint32_t id : {6u, 7u, 8u}) {
    EXPECT_EQ(Val(GetFileRecord(v.ctx, id)->filesBelow), 1) << id;  // each counted once
    EXPECT_EQ(Val(GetFileRecord(v.ctx, id)->size), 100u) << id;
  }
  // A record that names itself as parent is treated as the root: no change.
  AddRows(v.ctx, {{9, 9, u"self", kDirInUse}});
  AddSizeToAncestors(v.ctx, 9, 5, 1);
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 9)->size), 0u);
  // A very long chain stops at the depth bound.
  OwnedVolume deep;
  for (uint32_t id = 6; id < 6 + 2 * kMaxTreeDepth; ++id) AddRows(deep.ctx, {{id, id + 1, u"d", kDirInUse}});
  AddSizeToAncestors(deep.ctx, 6, 1, 1);
  EXPECT_EQ(Val(GetFileRecord(deep.ctx, 6 + kMaxTreeDepth - 1)->size), 1u);
  EXPECT_EQ(Val(GetFileRecord(deep.ctx, 6 + kMaxTreeDepth)->size), 0u);
}

TEST_F(RecordModelTest, ChildArrayGrowth) {
  OwnedVolume v;
  AddRows(v.ctx, {{6, 5, u"d", kDirInUse}});
  FileRecord* d = GetFileRecord(v.ctx, 6);
  std::vector<uint32_t> capacities;
  for (uint32_t k = 0; k < 28; ++k) {
    const uint32_t before = d->childCapacity;
    ASSERT_TRUE(AppendChildId(*d, 100 + k));
    if (d->childCapacity != before) capacities.push_back(Val(d->childCapacity));
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{8, 12, 18, 27, 40}));
  EXPECT_EQ(Val(d->childCount), 28u);
  for (uint32_t k = 0; k < 28; ++k) EXPECT_EQ(d->childIds[k], 100 + k);
  // Small capacities (from a loaded record) grow by two.
  FileRecord r = MakeRecord({7, 5, u"e", kDirInUse});
  r.childIds = static_cast<uint32_t*>(AllocMem(4 * 4, 1));
  r.childCapacity = 4;
  r.childCount = 4;
  ASSERT_TRUE(AppendChildId(r, 1));
  EXPECT_EQ(Val(r.childCapacity), 6u);
  // Counts without an array restart the list instead of writing through null.
  r.childIds = (FreeMem(r.childIds), nullptr);
  r.childCount = 3;
  ASSERT_TRUE(AppendChildId(r, 2));
  EXPECT_EQ(Val(r.childCount), 1u);
  EXPECT_EQ(Val(r.childCapacity), 8u);
  FreeFileRecord(r);

  ViewNode n{};
  n.id = 5;
  ASSERT_TRUE(AppendChildId(n, 5));
  EXPECT_EQ(Val(n.childCapacity), 8u);
  FreeMem(n.childIds);
}

TEST_F(RecordModelTest, SetChildIdsKeepsOrFrees) {
  OwnedVolume v;
  AddRows(v.ctx, {{6, 5, u"d", kDirInUse}, {7, 5, u"e", kDirInUse}});
  FileRecord* d = GetFileRecord(v.ctx, 6);
  for (uint32_t c : {10u, 11u, 12u}) AppendChildId(*d, c);
  EXPECT_EQ(SetChildIds(*d, {10, 12}, {11}), 1);
  EXPECT_EQ(ChildList(d), (std::vector<uint32_t>{10, 12}));
  EXPECT_EQ(Val(d->childCapacity), 2u);
  EXPECT_EQ(SetChildIds(*d, {10, 12}, {}), 1);  // nothing dropped: unchanged
  EXPECT_EQ(SetChildIds(*d, {}, {10, 12}), 0);  // no child left: the record is freed
  EXPECT_EQ(GetFileRecord(v.ctx, 6), nullptr);
  EXPECT_EQ(SetChildIds(*GetFileRecord(v.ctx, 7), {}, {}), 0);
  CreateRootAndLostFolders(v.ctx);
  EXPECT_EQ(SetChildIds(*GetFileRecord(v.ctx, 5), {}, {}), 1);  // never the root
}

TEST_F(RecordModelTest, CopyRenameAndFree) {
  OwnedVolume v;
  FileRecord r = MakeRecord({6, 5, u"a.bin", kRecInUse | kRecExtentList, 77, 5, 1000});
  r.blob = static_cast<uint8_t*>(AllocMem(16, 1));
  r.blob[3] = 9;
  r.blobLength = 16;
  r.previewHandle = 1234;
  AddFileRecord(v.ctx, r, 0);
  AppendChildId(*GetFileRecord(v.ctx, 6), 40);

  FileRecord copy;
  std::memset(static_cast<void*>(&copy), 0, sizeof(copy));
  CopyFileRecord(&copy, GetFileRecord(v.ctx, 6));
  const FileRecord* src = GetFileRecord(v.ctx, 6);
  EXPECT_NE(Val(copy.name), Val(src->name));
  EXPECT_EQ(NameOf(&copy), u"a.bin");
  ASSERT_NE(Val(copy.blob), nullptr);
  EXPECT_NE(Val(copy.blob), Val(src->blob));
  EXPECT_EQ(copy.blob[3], 9);
  EXPECT_EQ(Val(copy.childIds), nullptr);
  EXPECT_EQ(Val(copy.childCount), 0u);
  EXPECT_EQ(Val(copy.previewHandle), 0u);
  EXPECT_EQ(Val(copy.lba), 77u);
  EXPECT_EQ(Val(copy.flags), kRecInUse | kRecExtentList);
  SetRecordName(copy, u"renamed");
  EXPECT_EQ(NameOf(&copy), u"renamed");
  FreeFileRecord(copy);
  EXPECT_EQ(Val(copy.name), nullptr);
  EXPECT_EQ(Val(copy.id), 0u);
  // A nameless source copies nothing.
  FileRecord none = MakeRecord({9, 5, nullptr, 0});
  FileRecord dst = MakeRecord({0, 0, nullptr, 0});
  CopyFileRecord(&dst, &none);
  EXPECT_EQ(Val(dst.id), 0u);
}

TEST_F(RecordModelTest, ShallowCopySharesRecords) {
  OwnedVolume v;
  AddRows(v.ctx, {{6, 5, u"a.txt", 0}});
  VolumeContext copy = v.ctx;
  GetFileRecord(copy, 6)->size = 4242;
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 6)->size), 4242u);
  EXPECT_EQ(copy.recordTable[0], v.ctx.recordTable[0]);
  VolumeContext moved = std::move(copy);
  EXPECT_EQ(moved.recordTable[0], v.ctx.recordTable[0]);
  ResetVolumeContext(moved);  // frees nothing
  EXPECT_EQ(moved.recordTable[0], nullptr);
  EXPECT_EQ(moved.idLimit, 0u);
  EXPECT_NE(GetFileRecord(v.ctx, 6), nullptr);
}

TEST_F(RecordModelTest, ViewNodes) {
  VolumeContext view;
  view.type = kVolTypeView;
  ViewNode root{};
  root.id = 5;
  root.parent = 5;
  EXPECT_EQ(AddViewNode(view, root), 0u + 5);
  ViewNode file{};
  file.parent = 5;
  file.slot = 4;
  file.recordId = 77;
  EXPECT_EQ(AddViewNode(view, file), 6u);
  const ViewNode* r = GetViewNode(view, 5);
  ASSERT_NE(r, nullptr);
  // The root is its own parent, so it also stands in its own child list.
  ASSERT_EQ(Val(r->childCount), 2u);
  EXPECT_EQ(r->childIds[0], 5u);
  EXPECT_EQ(r->childIds[1], 6u);
  EXPECT_EQ(Val(GetViewNode(view, 6)->recordId), 77u);
  EXPECT_EQ(GetViewNode(view, 7), nullptr);
  EXPECT_EQ(GetViewNode(view, 0), nullptr);
  EXPECT_EQ(GetMemSize(view.recordTable[0]), 2000u * 36);
  FreeAllFileRecords(view);
  EXPECT_EQ(view.recordTable[0], nullptr);
}

TEST(VolumeContextTest, SerialFromTheBootSector) {
  VolumeContext ctx;
  for (int k = 0; k < 512; ++k) ctx.bootSector[k] = uint8_t(k);
  struct Case {
    uint32_t type;
    uint32_t serial;
  } cases[] = {{kVolTypeNtfs, 0x4B4A4948}, {kVolTypeFat16, 0x2A292827}, {kVolTypeFat32, 0x46454443},
               {kVolTypeExfat, 0x67666564}, {kVolTypeView, 0}};
  for (const Case& c : cases) {
    ctx.type = c.type;
    EXPECT_EQ(ReadVolumeSerial(ctx), c.serial) << c.type;
  }
}

}  // namespace
