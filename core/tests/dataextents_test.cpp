// Found files as sector runs, their bytes read back through those runs or out of an MFT
// record, and the names and places of carved files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/heap.h"
#include "core/carvedname.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "core/tests/coretestenv.h"
#include "core/volumelist.h"

namespace fs = std::filesystem;

namespace {

// A record template with an optional blob of 64-bit values.
FileRecord MakeRec(uint32_t id, uint16_t flags, uint64_t lba, uint64_t size, const std::vector<uint64_t>& blob = {},
                   uint32_t blobBytes = UINT32_MAX) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  r.id = id;
  r.parent = 5;
  r.flags = flags;
  r.lba = lba;
  r.size = size;
  r.typeId = kTypeNone;
  const char16_t name[] = u"f.bin";
  r.name = static_cast<char16_t*>(AllocMem(sizeof name, 1));
  std::memcpy(r.name, name, sizeof name);
  if (!blob.empty()) {
    r.blob = static_cast<uint8_t*>(AllocMem(blob.size() * 8, 1));
    std::memcpy(r.blob, blob.data(), blob.size() * 8);
    r.blobLength = blobBytes == UINT32_MAX ? uint32_t(blob.size() * 8) : blobBytes;
  }
  return r;
}

struct Volume {
  VolumeContext ctx;
  explicit Volume(uint32_t type) { ctx.type = type; }
  ~Volume() { FreeAllFileRecords(ctx); }
  uint32_t Add(const FileRecord& r) { return AddFileRecord(ctx, r, 0); }
};

// A scratch image: sector k holds the byte (k & 0xFF) repeated, except where a test writes.
class ItemRead : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadCoreTestSettings();
    path = (fs::temp_directory_path() / ("kestrel_extents_" + std::to_string(getpid()) + ".img")).string();
    image.resize(64 * 512);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i / 512);
  }
  void TearDown() override {
    ResetVolumeContext(ScanTarget());
    fs::remove(path);
  }
  void Write() {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    ScanTarget().devicePath = CString(std::u16string(path.begin(), path.end()).c_str());
    ScanTarget().sectorCount = image.size() / 512;
  }
  // A 1024-byte MFT record at sector lba with a resident $DATA value of the given bytes at
  // value offset 0x18 of an attribute at 0x38.
  void PutMftRecord(uint32_t lba, const std::vector<uint8_t>& value, uint8_t nonResident = 0) {
    uint8_t* r = image.data() + lba * 512;
    std::memset(r, 0, 1024);
    std::memcpy(r, "FILE", 4);
    r[4] = 0x30;
    r[6] = 3;
    r[0x14] = 0x38;
    uint8_t* a = r + 0x38;
    const uint32_t len = uint32_t((0x18 + value.size() + 7) / 8 * 8);
    a[0] = 0x80;
    std::memcpy(a + 4, &len, 4);
    a[8] = nonResident;
    const uint32_t vl = uint32_t(value.size());
    std::memcpy(a + 16, &vl, 4);
    a[20] = 0x18;
    std::memcpy(a + 0x18, value.data(), value.size());
    const uint32_t end = 0xFFFFFFFF;
    std::memcpy(a + len, &end, 4);
    // Update sequence: number 0x0101 at 0x30, the true tails at 0x32 and 0x34.
    r[0x30] = r[0x31] = 1;
    r[0x32] = r[510];
    r[0x33] = r[511];
    r[0x34] = r[1022];
    r[0x35] = r[1023];
    r[510] = r[511] = r[1022] = r[1023] = 1;
  }
  std::string path;
  std::vector<uint8_t> image;
};

TEST(DataExtents, ExplicitPairsOnAnyVolumeTypeAndBadBlobLengths) {
  for (uint32_t type : {uint32_t(kVolTypeNtfs), uint32_t(kVolTypeFat32), uint32_t(kVolTypeExfat), uint32_t(kVolTypeFindFile), 99u}) {
    Volume v(type);
    v.Add(MakeRec(10, kRecInUse | kRecExtentList, 0, 2000, {100, 3, 200, 1}));
    DataExtentList out;
    ASSERT_EQ(GetRecordExtents(v.ctx, 10, out), 1) << type;
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].startLba, 100u);
    EXPECT_EQ(out[0].sectorCount, 3u);
    EXPECT_EQ(out[1].startLba, 200u);
    EXPECT_EQ(out[0].clusterCount, 0u);
  }
  Volume v(kVolTypeNtfs);
  v.Add(MakeRec(10, kRecInUse | kRecExtentList, 0, 2000, {100, 3, 200, 1}, 24));  // not 16 per pair
  v.Add(MakeRec(11, kRecInUse | kRecExtentList, 0, 2000, {100, 3}, 0));
  v.Add(MakeRec(12, kRecInUse | kRecExtentList, 0, 2000));  // no blob
  DataExtentList out = {DataExtent{}};
  for (uint32_t id : {10u, 11u, 12u, 13u /* missing */}) {
    EXPECT_EQ(GetRecordExtents(v.ctx, id, out), 0) << id;
    EXPECT_TRUE(out.empty());
  }
}

TEST(DataExtents, RunsByVolumeType) {
  struct Case {
    uint32_t type;
    uint16_t flags;
    bool fatBuffer;
    int result;
    uint64_t sectors;  // of the one run
  } cases[] = {
      {kVolTypeFindFile, kRecInUse, false, 1, 2},        // 1000 bytes: two sectors
      {kVolTypeExfatRebuilt, kRecInUse, false, 1, 2},
      {kVolTypeFat32Rebuilt, kRecInUse, false, 1, 2},
      {kVolTypeFat32Rebuilt, kRecInUse, true, 0, 0},     // FAT chain: no provider yet
      {kVolTypeFat16, kRecInUse, false, 0, 0},
      {kVolTypeExfat, kRecInUse, false, 0, 0},
      {kVolTypeNtfs, kRecInUse | kRecResident, false, 1, 2},  // the MFT record itself
      {99, kRecInUse, false, 0, 0},
      {0, kRecInUse, false, 0, 0},
  };
  for (const Case& c : cases) {
    Volume v(c.type);
    uint8_t fat[8] = {};
    if (c.fatBuffer) {
      v.ctx.fatBuffer = static_cast<uint8_t*>(AllocMem(8, 1));
      std::memcpy(v.ctx.fatBuffer, fat, 8);
      v.ctx.fatBufferSize = 8;
    }
    v.Add(MakeRec(10, c.flags, 777, 1000));
    DataExtentList out;
    ASSERT_EQ(GetRecordExtents(v.ctx, 10, out), c.result) << c.type;
    if (c.result) {
      ASSERT_EQ(out.size(), 1u);
      EXPECT_EQ(out[0].startLba, 777u);
      EXPECT_EQ(out[0].sectorCount, c.sectors);
    }
  }
}

TEST(DataExtents, ProvidersAnswerForTheirType) {
  SetExtentProvider(kVolTypeFat32, [](VolumeContext&, FileRecord& rec, DataExtentList& out) {
    DataExtent e;
    e.startLba = rec.lba + 1;
    e.sectorCount = 8;
    out.push_back(e);
    return true;
  });
  Volume v(kVolTypeFat32);
  v.Add(MakeRec(10, kRecInUse, 40, 4096));
  DataExtentList out;
  EXPECT_EQ(GetRecordExtents(v.ctx, 10, out), 1);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].startLba, 41u);
  SetExtentProvider(kVolTypeFat32, [](VolumeContext&, FileRecord&, DataExtentList& out) {
    out.push_back(DataExtent{});
    return false;
  });
  EXPECT_EQ(GetRecordExtents(v.ctx, 10, out), 0);
  EXPECT_TRUE(out.empty());
  SetExtentProvider(kVolTypeFat32, nullptr);
  EXPECT_EQ(GetRecordExtents(v.ctx, 10, out), 0);
}

TEST_F(ItemRead, ResidentDataOutOfTheMftRecord) {
  std::vector<uint8_t> value(100);
  for (int i = 0; i < 100; ++i) value[i] = uint8_t(0x40 + i);
  PutMftRecord(4, value);
  PutMftRecord(8, value, 1);  // non-resident: no value there
  image[12 * 512] = 'X';      // not a record
  Write();
  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(ScanTarget(), reader));
  uint8_t buf[200] = {};
  ASSERT_EQ(ReadResidentData(reader, 4, 10, buf, sizeof buf), 90u);
  EXPECT_EQ(std::memcmp(buf, value.data() + 10, 90), 0);
  EXPECT_EQ(ReadResidentData(reader, 4, 0, buf, 7), 7u);
  EXPECT_EQ(ReadResidentData(reader, 4, 100, buf, sizeof buf), 0u);
  EXPECT_EQ(ReadResidentData(reader, 8, 0, buf, sizeof buf), 0u);
  EXPECT_EQ(ReadResidentData(reader, 12, 0, buf, sizeof buf), 0u);
  EXPECT_EQ(ReadResidentData(reader, 1000, 0, buf, sizeof buf), 0u);  // past the image
}

TEST_F(ItemRead, ResidentValueAcrossTheSectorTailWithTheArrayAt0x28) {
  // A value of 600 bytes crosses the first sector's end; the record keeps its update
  // sequence at 0x28, as older volumes do.
  std::vector<uint8_t> value(600);
  for (size_t i = 0; i < value.size(); ++i) value[i] = uint8_t(i * 7 + 1);
  PutMftRecord(4, value);
  uint8_t* r = image.data() + 4 * 512;
  r[4] = 0x28;
  r[0x28] = r[0x29] = 1;
  r[0x2A] = r[0x32];
  r[0x2B] = r[0x33];
  r[0x2C] = r[0x34];
  r[0x2D] = r[0x35];
  r[0x32] = r[0x33] = r[0x34] = r[0x35] = 0xEE;
  // The attribute starts at 0x38, so 0x30 … 0x37 hold no value bytes.
  Write();
  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(ScanTarget(), reader));
  std::vector<uint8_t> buf(600);
  ASSERT_EQ(ReadResidentData(reader, 4, 0, buf.data(), buf.size()), 600u);
  EXPECT_EQ(buf, value);
}

TEST_F(ItemRead, ItemBytesThroughRunsSparseRunsAndOffsets) {
  Write();
  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(ScanTarget(), reader));
  DataExtentList runs(3);
  runs[0].startLba = 10, runs[0].sectorCount = 2;
  runs[1].startLba = uint64_t(kUnknownSizeLba) + 50, runs[1].sectorCount = 1;  // sparse
  runs[2].startLba = 3, runs[2].sectorCount = 4;
  auto* block = static_cast<uint8_t*>(AllocMem(7 * 512, 1));
  ASSERT_EQ(ReadItemBytes(reader, runs, 0, block, 7 * 512), 7u * 512);
  std::vector<uint8_t> expect;
  for (int s : {10, 11}) expect.insert(expect.end(), 512, uint8_t(s));
  expect.insert(expect.end(), 512, 0);
  for (int s : {3, 4, 5, 6}) expect.insert(expect.end(), 512, uint8_t(s));
  EXPECT_EQ(std::memcmp(block, expect.data(), expect.size()), 0);
  // From an offset in the middle of a sector of the second run on, and past the runs' end.
  std::memset(block, 0xAA, 7 * 512);
  ASSERT_EQ(ReadItemBytes(reader, runs, 1024 + 300, block, 7 * 512), 7u * 512 - 1324);
  EXPECT_EQ(std::memcmp(block, expect.data() + 1324, 7 * 512 - 1324), 0);
  // The destination block bounds the copy.
  auto* small = static_cast<uint8_t*>(AllocMem(100, 1));
  EXPECT_EQ(ReadItemBytes(reader, runs, 0, small, 5000), 100u);
  FreeMem(small);
  FreeMem(block);
  EXPECT_EQ(reader.aborted, 0u);
}

TEST_F(ItemRead, RecordDataResidentRunsAndMtsPhase) {
  std::vector<uint8_t> value(100, 0x5A);
  PutMftRecord(20, value);
  Write();
  auto* block = static_cast<uint8_t*>(AllocMem(kMaxItemRead, 1));

  Volume ntfs(kVolTypeNtfs);
  ntfs.Add(MakeRec(10, kRecInUse | kRecResident, 20, 100));
  ntfs.Add(MakeRec(11, kRecInUse | kRecResident, 30, 100));  // its record is not "FILE"
  EXPECT_EQ(ReadRecordData(ntfs.ctx, *GetFileRecord(ntfs.ctx, 10), 0, block), 100u);
  EXPECT_EQ(block[99], 0x5A);
  EXPECT_EQ(ReadRecordData(ntfs.ctx, *GetFileRecord(ntfs.ctx, 10), 60, block), 40u);
  // A resident file whose record cannot be read is an error, never the record's raw bytes.
  EXPECT_EQ(ReadRecordData(ntfs.ctx, *GetFileRecord(ntfs.ctx, 11), 0, block), 0u);

  Volume carved(kVolTypeFindFile);
  FileRecord mts = MakeRec(300, kRecInUse | kRecExtentList, 0, 1000 - 64, {40, 2});
  mts.typeId = 88;
  mts.filesBelow = 64;
  carved.Add(mts);
  FileRecord other = MakeRec(301, kRecInUse | kRecExtentList, 0, 1000 - 64, {40, 2});
  other.filesBelow = 64;  // not an MTS video: no phase
  carved.Add(other);
  ASSERT_EQ(ReadRecordData(carved.ctx, *GetFileRecord(carved.ctx, 300), 0, block), 936u);
  EXPECT_EQ(block[0], 40);
  EXPECT_EQ(block[448 - 1], 40);
  EXPECT_EQ(block[448], 41);  // the second sector begins 512 - 64 bytes in
  ASSERT_EQ(ReadRecordData(carved.ctx, *GetFileRecord(carved.ctx, 301), 0, block), 936u);
  EXPECT_EQ(block[511], 40);
  EXPECT_EQ(block[512], 41);
  FreeMem(block);
}

TEST_F(ItemRead, ItemDataOfVolumeAndViewItems) {
  Write();
  static VolumeList& list = *new VolumeList;  // never destroyed, like the application's
  list.slotCount = 5;
  list.slots[4].type = kVolTypeFindFile;
  AddFileRecord(list.slots[4], MakeRec(300, kRecInUse, 7, 700), 0);
  auto* block = static_cast<uint8_t*>(AllocMem(1024, 1));
  EXPECT_EQ(ReadItemData(list, 4, 300, block, 1024), 700u);
  EXPECT_EQ(block[0], 7);
  EXPECT_EQ(block[699], 8);
  EXPECT_EQ(ReadItemData(list, 4, 300, block, kMaxItemRead + 1), 0u);
  EXPECT_EQ(ReadItemData(list, 5, 300, block, 1024), 0u);  // slot past the count
  EXPECT_EQ(ReadItemData(list, 4, 301, block, 1024), 0u);  // no such record
  list.views[0].type = kVolTypeView;
  ViewNode node{};
  node.id = 9;
  node.parent = 5;
  node.slot = 4;
  node.recordId = 300;
  ASSERT_EQ(AddViewNode(list.views[0], node), 9u);
  DataExtentList runs;
  ASSERT_EQ(GetItemExtents(list, kViewIdFlag | 0, 9, runs), 1);
  EXPECT_EQ(runs[0].startLba, 7u);
  EXPECT_EQ(ReadItemData(list, kViewIdFlag | 0, 9, block, 1024), 700u);
  FreeMem(block);
  FreeAllFileRecords(list.slots[4]);
  FreeAllFileRecords(list.views[0]);
}

class CarvedNames : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadCoreTestSettings();
    ResetCarvedMovMemory();
  }
};

TEST_F(CarvedNames, NamesWithAndWithoutMetadata) {
  CString name;
  ASSERT_EQ(MakeCarvedFileName(36, 0x12AB, nullptr, name), 1);
  EXPECT_EQ(name, CString(u"12ab.doc"));
  CarvedFileMetadata* m = PackDocumentMetadata(u"  Ann Author\t", u"", u"", u"2021-03-04 10:00:00");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(MakeCarvedFileName(36, 0x12AB, m, name), 1);
  EXPECT_EQ(name, CString(u"Ann Author__2021-03-04__12ab.doc"));
  // A type without metadata ignores the block.
  ASSERT_EQ(MakeCarvedFileName(61, 0x12AB, m, name), 1);
  EXPECT_EQ(name, CString(u"12ab.zip"));
  FreeMem(m);
  m = PackDocumentMetadata(u"a:b\u00e9\u4e2d", u"x", u"  text  ", u"");
  ASSERT_EQ(MakeCarvedFileName(46, 0, m, name), 1);
  EXPECT_EQ(name, CString(u"a_b_\u4e2d__x__text__0.jpg"));
  FreeMem(m);
  // The second text stands in for an empty person.
  m = PackDocumentMetadata(u"", u"cam", u"", u"");
  ASSERT_EQ(MakeCarvedFileName(54, 1, m, name), 1);
  EXPECT_EQ(name, CString(u"cam__cam__1.mp3"));
  FreeMem(m);
  EXPECT_EQ(PackDocumentMetadata(u" ", u"\t", u"", u""), nullptr);
  EXPECT_EQ(MakeCarvedFileName(kTypeExe, 5, nullptr, name), 0);
  ASSERT_EQ(MakeCarvedFileName(200, 0xFF, nullptr, name), 1);
  EXPECT_EQ(name, CString(u"ff."));
  // Long texts are cut to their slots.
  m = PackDocumentMetadata(CString(std::u16string(40, u'p').c_str()), u"", u"", u"2021-03-04T05");
  CarvedFileMetadata local;
  std::memcpy(&local, m, sizeof local);
  EXPECT_EQ(std::u16string(local.person), std::u16string(31, u'p'));
  EXPECT_EQ(std::u16string(local.date), u"2021-03-04");
  FreeMem(m);
  EXPECT_FALSE(HasDocumentMetadata(61));
  EXPECT_TRUE(HasDocumentMetadata(46));
}

TEST_F(CarvedNames, CarvedFilesEnterTheFindFileView) {
  Volume v(kVolTypeFindFile);
  CreateRootAndLostFolders(v.ctx);
  v.ctx.idLimit = 233;
  EXPECT_EQ(AddCarvedFileRecord(v.ctx, 0x100, 5000, 67, nullptr), 1);
  EXPECT_EQ(AddCarvedFileRecord(v.ctx, 0x100, 5000, 67, nullptr), 0);  // the same MOV again
  EXPECT_EQ(AddCarvedFileRecord(v.ctx, 0x200, 5000, 67, nullptr), 1);
  EXPECT_EQ(AddCarvedFileRecord(v.ctx, 0x300, 5000, kTypeExe, nullptr), 0);
  EXPECT_EQ(AddCarvedFileRecord(v.ctx, 0x300, 5000, 177, nullptr), 0);
  EXPECT_EQ(AddCarvedFileRecord(v.ctx, 0x400, 70000, 37, nullptr), 1);
  const FileRecord* doc = GetFileRecord(v.ctx, 235);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(CString(doc->name), CString(u"400.docx"));
  EXPECT_EQ(uint32_t(doc->parent), uint32_t(kTypeWordGroup));
  EXPECT_EQ(int(doc->typeId), 37);
  EXPECT_EQ(uint16_t(doc->flags), kRecInUse);
  ASSERT_NE(GetFileRecord(v.ctx, kTypeWordGroup), nullptr);
  EXPECT_EQ(v.ctx.fileCount, 3u);
  DataExtentList runs;
  ASSERT_EQ(GetRecordExtents(v.ctx, 235, runs), 1);
  EXPECT_EQ(runs[0].startLba, 0x400u);
  EXPECT_EQ(runs[0].sectorCount, 137u);  // 70000 bytes
}

}  // namespace
