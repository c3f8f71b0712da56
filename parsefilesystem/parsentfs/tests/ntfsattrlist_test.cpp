// Files whose records spread over extension records, and parent references checked by their
// sequence numbers: hand-built MFT records written into a small image and walked.
#include "parsefilesystem/parsentfs/ntfsattrlist.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"
#include "platform/textconv.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMftLba = 32;  // LCN 4 of 8-sector clusters
constexpr uint32_t kMftRecords = 128;

// One attribute-list entry without a name.
void AddEntry(std::vector<uint8_t>& list, uint32_t type, uint64_t startVcn, uint64_t record, uint16_t seq = 1) {
  const size_t at = list.size();
  list.resize(at + 0x20, 0);
  Put32(list.data() + at, type);
  Put16(list.data() + at + 4, 0x20);
  list[at + 7] = 0x1A;
  Put64(list.data() + at + 8, startVcn);
  Put64(list.data() + at + 0x10, record | (uint64_t(seq) << 48));
}

// A $DATA piece of an extension record: VCNs from startVcn on, real size only in the first.
uint32_t DataPiece(RecordBuilder& r, uint64_t startVcn, uint64_t realSize, const std::vector<uint8_t>& runs) {
  const uint32_t at = r.NonResident(kAttrData, realSize, runs);
  Put64(r.b + at + 0x10, startVcn);
  return at;
}

class NtfsListedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n", u"FileLost: FileLost\r\n");
    image = (fs::temp_directory_path() / ("ntfslist" + std::to_string(getpid()) + ".img")).string();
    bytes.assign(20000 * 512, 0);
    vol.firstLba = 0;
    vol.sectorCount = 20000;
    vol.bootSector[0x0D] = 8;
    vol.type = kVolTypeNtfs;
  }
  void TearDown() override {
    FreeAllFileRecords(vol);
    fs::remove(image);
  }
  void Put(const RecordBuilder& r, uint32_t number, uint16_t seq = 1) {
    uint8_t copy[kMftRecordBytes];
    std::memcpy(copy, r.b, sizeof copy);
    Put16(copy + 0x10, seq);
    std::memcpy(bytes.data() + (kMftLba + 2 * number) * 512, copy, sizeof copy);
  }
  // Writes the image and walks its MFT.
  void Walk() {
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    vol.devicePath = CString(Utf8ToUtf16(image));
    DiskReader reader;
    ASSERT_TRUE(OpenVolumeDevice(vol, reader));
    DataExtentList mft(1);
    mft[0].startLba = kMftLba;
    mft[0].sectorCount = 2 * kMftRecords;
    ASSERT_TRUE(WalkMftRecords(nullptr, reader, vol, mft));
  }
  const FileRecord* Named(const std::u16string& name) {
    for (uint32_t id = 1; id < vol.idLimit; ++id) {
      const FileRecord* r = GetFileRecord(vol, id, 1);
      if (r && r->name && std::u16string(r->name) == name) return r;
    }
    return nullptr;
  }
  std::vector<std::pair<uint64_t, uint64_t>> Pairs(const FileRecord* r) {
    std::vector<std::pair<uint64_t, uint64_t>> out;
    for (uint32_t i = 0; r->blob && i + 16 <= r->blobLength; i += 16)
      out.emplace_back(NtfsRead64(r->blob + i), NtfsRead64(r->blob + i + 8));
    return out;
  }
  std::string image;
  std::vector<uint8_t> bytes;
  VolumeContext vol;
};

TEST_F(NtfsListedFiles, PiecesJoinInVcnOrderWhereverTheNameIs) {
  // Base 70 keeps its name and VCNs 0-1; 90 holds VCNs 2-4. The list names them out of order.
  {
    std::vector<uint8_t> list;
    AddEntry(list, kAttrStandardInfo, 0, 70);
    AddEntry(list, kAttrFileName, 0, 70);
    AddEntry(list, kAttrData, 2, 90);
    AddEntry(list, kAttrData, 0, 70);
    RecordBuilder base(70);
    base.StandardInfo(TestFileTime(), TestFileTime(60));
    base.Resident(kAttrList, list);
    base.FileName(64, u"kept name.bin", 1);
    DataPiece(base, 0, 5 * 4096 - 10, {0x11, 2, 10});
    RecordBuilder ext(90, 1, 70);
    DataPiece(ext, 2, 0, {0x11, 3, 50});
    Put(base, 70);
    Put(ext, 90);
  }
  // Base 71 holds only times, the list and VCNs 0-0; its name and the rest sit in 91 and 92,
  // as the NTFS library writes files of many runs. It is deleted, with its records.
  {
    std::vector<uint8_t> list;
    AddEntry(list, kAttrStandardInfo, 0, 71);
    AddEntry(list, kAttrFileName, 0, 91);
    AddEntry(list, kAttrData, 0, 71);
    AddEntry(list, kAttrData, 1, 92);
    RecordBuilder base(71, 0);
    base.StandardInfo(TestFileTime(), TestFileTime(60));
    base.Resident(kAttrList, list);
    DataPiece(base, 0, 2 * 4096, {0x11, 1, 60});
    RecordBuilder name(91, 0, 71), data(92, 0, 71);
    name.FileName(64, u"name elsewhere.bin", 1);
    DataPiece(data, 1, 0, {0x01, 1});  // a hole
    Put(base, 71);
    Put(name, 91);
    Put(data, 92);
  }
  Walk();
  const FileRecord* kept = Named(u"kept name.bin");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(Val(kept->size), 5u * 4096 - 10);
  EXPECT_EQ(kept->flags & (kRecExtentList | kRecAttrList | kRecDamaged), kRecExtentList);
  EXPECT_NE(Val(kept->ctime), 0u);
  EXPECT_EQ(Pairs(kept), (std::vector<std::pair<uint64_t, uint64_t>>{{80, 16}, {400, 24}}));
  EXPECT_EQ(Val(kept->lba), 80u);

  const FileRecord* elsewhere = Named(u"name elsewhere.bin");
  ASSERT_NE(elsewhere, nullptr);
  EXPECT_EQ(Val(elsewhere->parent), 64u);
  EXPECT_EQ(elsewhere->flags & kRecInUse, 0);
  EXPECT_EQ(Val(elsewhere->size), 2u * 4096);
  EXPECT_EQ(Pairs(elsewhere), (std::vector<std::pair<uint64_t, uint64_t>>{{480, 8}, {kHoleLbaBase, 8}}));
  // Extension records are never items of their own.
  for (uint32_t n : {90u, 91u, 92u}) EXPECT_EQ(GetFileRecord(vol, n, 1), nullptr) << n;
}

TEST_F(NtfsListedFiles, ReusedOrMissingPiecesAreUnreadableNotOtherFilesData) {
  // The piece for VCNs 2-3 sits in 93, which now belongs to record 99; 94 cannot be read.
  std::vector<uint8_t> list;
  AddEntry(list, kAttrFileName, 0, 72);
  AddEntry(list, kAttrData, 0, 72);
  AddEntry(list, kAttrData, 2, 93);
  AddEntry(list, kAttrData, 4, 94);
  AddEntry(list, kAttrData, 6, 95);
  RecordBuilder base(72, 0);
  base.Resident(kAttrList, list);
  base.FileName(64, u"pieces lost.bin", 1);
  DataPiece(base, 0, 8 * 4096, {0x11, 2, 10});
  RecordBuilder other(93, 1, 99), last(95, 0, 72);
  DataPiece(other, 2, 0, {0x11, 2, 30});
  DataPiece(last, 6, 0, {0x11, 2, 50});
  Put(base, 72);
  Put(other, 93);
  Put(last, 95);
  Walk();
  const FileRecord* rec = Named(u"pieces lost.bin");
  ASSERT_NE(rec, nullptr);
  EXPECT_TRUE(rec->flags & kRecDamaged);
  EXPECT_EQ(Pairs(rec),
            (std::vector<std::pair<uint64_t, uint64_t>>{{80, 16}, {kUnreadableLba, 32}, {400, 16}}));
}

TEST_F(NtfsListedFiles, ListInClustersOfItsOwn) {
  // The list's 0x60 bytes lie in cluster 200; the base record holds its run list.
  std::vector<uint8_t> list;
  AddEntry(list, kAttrFileName, 0, 96);
  AddEntry(list, kAttrData, 0, 73);
  AddEntry(list, kAttrData, 1, 97);
  std::memcpy(bytes.data() + 1600 * 512, list.data(), list.size());
  RecordBuilder base(73);
  base.NonResident(kAttrList, list.size(), {0x21, 1, 0xC8, 0x00});
  DataPiece(base, 0, 2 * 4096, {0x11, 1, 10});
  RecordBuilder name(96, 1, 73), data(97, 1, 73);
  name.FileName(64, u"far list.bin", 3);
  DataPiece(data, 1, 0, {0x11, 1, 11});
  Put(base, 73);
  Put(name, 96);
  Put(data, 97);
  Walk();
  const FileRecord* rec = Named(u"far list.bin");
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(Pairs(rec), (std::vector<std::pair<uint64_t, uint64_t>>{{80, 8}, {88, 8}}));
}

TEST_F(NtfsListedFiles, ParentSequenceNumbers) {
  // Folder 80 was deleted (freed once, its number raised to 2); folder 81 is live at 3 after
  // its record was reused.
  RecordBuilder gone(80, 2), reused(81, 3);
  gone.FileName(5, u"gone", 1);
  reused.FileName(5, u"new", 1);
  Put(gone, 80, 2);
  Put(reused, 81, 3);
  struct Case {
    const char16_t* name;
    uint32_t parent;
    uint16_t seq;
    uint32_t expectedParent;
  };
  const Case cases[] = {
      {u"in deleted folder.txt", 80, 1, 80},   // made before the folder was freed
      {u"in reused record.txt", 81, 1, kLostFolderId},  // the record now holds another folder
      {u"in new folder.txt", 81, 3, 81},
      {u"no sequence.txt", 81, 0, 81},        // nothing to compare
      {u"under the root.txt", 5, 5, 5},
  };
  uint32_t number = 100;
  for (const Case& c : cases) {
    RecordBuilder r(number, 0);
    std::vector<uint8_t> v(0x42 + std::u16string(c.name).size() * 2);
    Put64(v.data(), uint64_t(c.parent) | (uint64_t(c.seq) << 48));
    v[0x40] = uint8_t(std::u16string(c.name).size());
    v[0x41] = 1;
    std::memcpy(v.data() + 0x42, c.name, std::u16string(c.name).size() * 2);
    r.Resident(kAttrFileName, v);
    r.Resident(kAttrData, {1});
    Put(r, number++);
  }
  RecordBuilder root(5, 3);
  root.FileName(5, u".", 3);
  Put(root, 5, 5);
  Walk();
  for (const Case& c : cases) {
    const FileRecord* r = Named(c.name);
    ASSERT_NE(r, nullptr) << CString(c.name).ToUtf8();
    EXPECT_EQ(Val(r->parent), c.expectedParent) << CString(c.name).ToUtf8();
  }
}

TEST_F(NtfsListedFiles, TheMftItselfThroughItsList) {
  // $MFT's record 0 holds VCNs 0-15 (64 records from LBA 32); record 15 holds VCNs 16-23 at
  // LCN 100 (LBA 800), where record 64 is a file.
  std::vector<uint8_t> list;
  AddEntry(list, kAttrFileName, 0, 0);
  AddEntry(list, kAttrData, 0, 0);
  AddEntry(list, kAttrData, 16, 15);
  RecordBuilder mft(0);
  mft.Resident(kAttrList, list);
  mft.FileName(5, u"$MFT", 3);
  DataPiece(mft, 0, 96 * 1024, {0x11, 16, 4});
  RecordBuilder ext(15, 1, 0);
  DataPiece(ext, 16, 0, {0x11, 8, 100});
  Put(mft, 0);
  Put(ext, 15);
  RecordBuilder far(64);
  far.FileName(5, u"in the second extent.txt", 1);
  far.Resident(kAttrData, {1, 2, 3});
  std::memcpy(bytes.data() + 800 * 512, far.b, kMftRecordBytes);
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  vol.devicePath = CString(Utf8ToUtf16(image));
  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(vol, reader));
  DataExtentList runs;
  ASSERT_TRUE(ReadMftDataRuns(reader, vol, kMftLba, runs));
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].startLba, 800u);
  EXPECT_EQ(runs[1].sectorCount, 64u);
  ASSERT_TRUE(WalkMftRecords(nullptr, reader, vol, runs));
  EXPECT_NE(Named(u"in the second extent.txt"), nullptr);
}

TEST(NtfsAttributeList, EntriesOfAnyLengthAndHostileOnes) {
  std::vector<uint8_t> list;
  AddEntry(list, kAttrStandardInfo, 0, 70);
  // A named entry of 0x28 bytes.
  AddEntry(list, kAttrData, 0, 71);
  list[list.size() - 0x20 + 6] = 4;
  Put16(list.data() + list.size() - 0x20 + 4, 0x28);
  list.resize(list.size() + 8, 0);
  AddEntry(list, kAttrData, 9, 0x0123456789ABCDEFull);
  std::vector<AttrListEntry> e = ParseAttributeListEntries(list.data(), uint32_t(list.size()));
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[1].nameLength, 4);
  EXPECT_EQ(e[2].startVcn, 9u);
  EXPECT_EQ(e[2].record, 0x456789ABCDEFull);  // the sequence number is not part of the record
  // An entry length of 0, or one past the end, ends the walk.
  Put16(list.data() + 0x20 + 4, 0);
  EXPECT_EQ(ParseAttributeListEntries(list.data(), uint32_t(list.size())).size(), 1u);
  Put16(list.data() + 0x20 + 4, 0x400);
  EXPECT_EQ(ParseAttributeListEntries(list.data(), uint32_t(list.size())).size(), 1u);
  EXPECT_TRUE(ParseAttributeListEntries(list.data(), 0x19).empty());
}

}  // namespace
