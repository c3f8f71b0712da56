#include "scansave/scanstatefile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "base/heap.h"
#include "core/filetypetable.h"
#include "scanbase/hitdetail.h"
#include "scanbase/mfthitinfo.h"
#include "scanbase/videodetail.h"
#include "scansave/tests/scansavetestutil.h"

namespace {

void* Block(uint32_t bytes, uint8_t seed) {
  auto* p = static_cast<uint8_t*>(AllocMem(bytes, 1));
  for (uint32_t i = 0; i < bytes; ++i) p[i] = uint8_t(seed + i * 13);
  return p;
}

template <typename T>
T Field(const void* base, size_t offset) {
  T v;
  std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, sizeof v);
  return v;
}
template <typename T>
void SetField(void* base, size_t offset, T v) {
  std::memcpy(static_cast<uint8_t*>(base) + offset, &v, sizeof v);
}

ChunkTableList* Tables(std::vector<std::vector<uint32_t>> tables) {
  ChunkTableList* list = nullptr;
  for (const auto& t : tables) AppendChunkTable(list, MakeChunkTable(t, 1));
  return list;
}

void* MftInfo(const std::u16string& name, std::vector<uint8_t> runs) {
  auto* info = static_cast<uint8_t*>(Block(sizeof(MftHitInfo), 5));
  auto* n = static_cast<char16_t*>(AllocMem((name.size() + 1) * 2, 1));
  if (!name.empty()) std::memcpy(n, name.data(), name.size() * 2);
  auto* r = static_cast<uint8_t*>(AllocMem(runs.size(), 1));
  if (!runs.empty()) std::memcpy(r, runs.data(), runs.size());
  SetField(info, offsetof(MftHitInfo, name), n);
  SetField(info, offsetof(MftHitInfo, runList), r);
  SetField(info, offsetof(MftHitInfo, nameLength), uint16_t(name.size()));
  SetField(info, offsetof(MftHitInfo, runListLength), uint16_t(runs.size()));
  return info;
}

// One hit of every kind that carries something, and a few that carry nothing.
std::vector<SectorHit> EveryKind() {
  std::vector<SectorHit> h;
  h.push_back({7, kHitEndFound, 100, 5000, Block(kFileHitMetadataBytes, 1)});
  h.push_back({7, kHitNeedsMoreData, 101, 0, nullptr});  // a file hit without detail
  h.push_back({kKindMp4Ftyp, 0, 200, 32, nullptr});
  auto* moov = static_cast<MoovInfo*>(Block(sizeof(MoovInfo), 2));
  SetField(moov, offsetof(MoovInfo, tables), Tables({{10, 20, 30}}));
  h.push_back({kKindMp4Moov, kHitEndFound, 300, 4096, moov});
  h.push_back({kKindMp4Moov, kHitNeedsMoreData, 301, 4096, nullptr});
  h.push_back({kKindMp4Mdat, kHitEndFound, 400, 1 << 20, Block(sizeof(MdatInfo), 3)});
  h.push_back({kKindVideoSampleChain, kHitEndFound, 16384, 0, Tables({{1, 2}, {5, 6, 7, 8}})});
  h.push_back({kKindVideoSampleLen, kHitNotValid, 16385, 0, nullptr});
  h.push_back({kKindVideoSample001, kHitEndFound, 32768, 0, Tables({{512}})});
  h.push_back({kKindMtsStart, 0, 500, 188, Block(kMtsDetailBytes, 4)});
  h.push_back({kKindMbr, 0, 0, 512, Block(kSavedSectorBytes, 5)});
  h.push_back({kKindNtfsBoot, 0, 2048, 512, Block(kSavedSectorBytes, 6)});
  h.push_back({kKindExfatBoot, 0, 4096, 512, Block(kSavedSectorBytes, 7)});
  h.push_back({kKindMftRecord, 0, 6000, 1024, MftInfo(u"report.docx", {0x31, 0x05, 0x10, 0x20, 0})});
  h.push_back({kKindMftRecord, 0, 6002, 1024, MftInfo(u"", {})});
  h.push_back({kKindIndexRecord, 0, 7000, 4096, reinterpret_cast<void*>(uintptr_t(123456))});
  h.push_back({kKindFatDirEntries, 0, 8000, 512, Block(kFatDirHitInfoBytes, 8)});
  void* exfat = Block(kExfatDirHitInfoBytes, 9);
  SetField<uint32_t>(exfat, kExfatDirHitEntryCountAt, 12);
  h.push_back({kKindExfatDirEntries, 0, 9000, 512, exfat});
  h.push_back({kKindFat32Table, 0, 9500, 512, nullptr});
  h.push_back({234, 0, 9999, 0, nullptr});
  return h;
}

// The hits' fields are packed: details are read by value before they are compared.
void ExpectSameDetail(const SectorHit& a, const SectorHit& b, uint32_t bytes) {
  void* const ad = a.detail;
  void* const bd = b.detail;
  ASSERT_NE(bd, nullptr) << int(a.kind);
  EXPECT_NE(ad, bd);
  EXPECT_EQ(std::memcmp(ad, bd, bytes), 0) << int(a.kind);
}

void ExpectSameTables(const ChunkTableList* a, const ChunkTableList* b) {
  const auto ta = ChunkTablesOf(a), tb = ChunkTablesOf(b);
  ASSERT_EQ(ta.size(), tb.size());
  for (size_t i = 0; i < ta.size(); ++i)
    EXPECT_EQ(std::memcmp(ta[i], tb[i], ChunkTableBytes(ta[i]->count)), 0);
}

ScanStateHeader Header() {
  ScanStateHeader h;
  h.identity = u"Kscan Image";
  h.blockMap = {2, 2, 0, 1, 2};
  h.nextLba = 3 * 16384;
  h.regionStart = 0;
  h.regionEnd = 5 * 16384;
  return h;
}

FileRecord Record(uint32_t id, const std::u16string& name) {
  FileRecord r{};
  r.id = id;
  r.parent = 5;
  r.childCapacity = 8;
  r.childCount = 3;
  r.childIds = reinterpret_cast<uint32_t*>(uintptr_t(0xDEAD0000));
  r.firstCluster = 77;  // kept: it may be a first cluster
  r.lba = 1234;
  r.size = 4321;
  r.blob = reinterpret_cast<uint8_t*>(uintptr_t(0xBEEF0000));
  r.previewHandle = 0xFEED;
  r.typeId = 3;
  r.flags = kRecInUse | kRecPreviewReady;
  if (!name.empty()) {
    auto* n = static_cast<char16_t*>(AllocMem((name.size() + 1) * 2, 1));
    std::memcpy(n, name.data(), name.size() * 2);
    r.name = n;
  }
  return r;
}

class ScanStateFile : public ::testing::Test {
 protected:
  void TearDown() override {
    for (SectorHit& h : hits) FreeSectorInfo(h);
    for (FileRecord& r : records) FreeFileRecord(r);
  }
  std::vector<SectorHit> hits;
  std::vector<FileRecord> records;
  TempFolder dir;
};

TEST_F(ScanStateFile, EveryPayloadKindComesBackWithFreshPointers) {
  hits = EveryKind();
  const CString path = dir.File("Save_1.dat");
  ASSERT_EQ(WriteScanStateFile(path, Header(), hits, records), ScanStateResult::kOk);
  EXPECT_FALSE(PathExists(path + u".part"));

  LoadedScanState back;
  ASSERT_EQ(LoadScanStateFile(path, 6, nullptr, back), ScanStateResult::kOk);
  EXPECT_EQ(back.header.identity, u"Kscan Image");
  EXPECT_EQ(back.header.blockMap, Header().blockMap);
  EXPECT_EQ(back.header.nextLba, 3u * 16384);
  EXPECT_EQ(back.header.regionEnd, 5u * 16384);
  ASSERT_EQ(back.hits.size(), hits.size());
  for (size_t i = 0; i < hits.size(); ++i) {
    const SectorHit& a = hits[i];
    const SectorHit& b = back.hits[i];
    void* const ad = a.detail;
    void* const bd = b.detail;
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.endStatus, b.endStatus);
    EXPECT_EQ(uint64_t(a.lba), uint64_t(b.lba));
    EXPECT_EQ(uint64_t(a.size), uint64_t(b.size));
    switch (a.kind) {
      case 7:
        if (ad) ExpectSameDetail(a, b, kFileHitMetadataBytes);
        else EXPECT_EQ(bd, nullptr) << "flag 0: no detail";
        break;
      case kKindMp4Moov:
        if (a.endStatus != kHitEndFound) {
          EXPECT_EQ(bd, nullptr);
          break;
        }
        ExpectSameDetail(a, b, offsetof(MoovInfo, tables));
        ExpectSameTables(Field<ChunkTableList*>(ad, offsetof(MoovInfo, tables)),
                         Field<ChunkTableList*>(bd, offsetof(MoovInfo, tables)));
        EXPECT_NE(Field<ChunkTableList*>(ad, offsetof(MoovInfo, tables)),
                  Field<ChunkTableList*>(bd, offsetof(MoovInfo, tables)));
        break;
      case kKindMp4Mdat: ExpectSameDetail(a, b, sizeof(MdatInfo)); break;
      case kKindVideoSampleChain: case kKindVideoSample001:
        ExpectSameTables(static_cast<ChunkTableList*>(ad), static_cast<ChunkTableList*>(bd));
        break;
      case kKindMtsStart: ExpectSameDetail(a, b, kMtsDetailBytes); break;
      case kKindMbr: case kKindNtfsBoot: case kKindExfatBoot: ExpectSameDetail(a, b, kSavedSectorBytes); break;
      case kKindFatDirEntries: ExpectSameDetail(a, b, kFatDirHitInfoBytes); break;
      case kKindExfatDirEntries: ExpectSameDetail(a, b, kExfatDirHitInfoBytes); break;
      case kKindIndexRecord: EXPECT_EQ(bd, ad) << "the parent number"; break;
      case kKindMftRecord: {
        ASSERT_NE(bd, nullptr);
        EXPECT_EQ(std::memcmp(ad, bd, offsetof(MftHitInfo, name)), 0);
        EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(ad) + offsetof(MftHitInfo, nameLength),
                              static_cast<uint8_t*>(bd) + offsetof(MftHitInfo, nameLength),
                              sizeof(MftHitInfo) - offsetof(MftHitInfo, nameLength)), 0);
        const uint16_t len = Field<uint16_t>(bd, offsetof(MftHitInfo, nameLength));
        const auto* name = Field<const char16_t*>(bd, offsetof(MftHitInfo, name));
        const auto* runs = Field<const uint8_t*>(bd, offsetof(MftHitInfo, runList));
        if (len == 0) {
          EXPECT_EQ(name, nullptr);
          EXPECT_EQ(runs, nullptr);
          break;
        }
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::u16string(name), u"report.docx") << "terminated";
        EXPECT_NE(name, Field<const char16_t*>(ad, offsetof(MftHitInfo, name)));
        ASSERT_NE(runs, nullptr);
        EXPECT_EQ(std::memcmp(runs, Field<const uint8_t*>(ad, offsetof(MftHitInfo, runList)), 5), 0);
        break;
      }
      default: EXPECT_EQ(bd, nullptr) << int(a.kind); break;
    }
  }
}

TEST_F(ScanStateFile, PayloadSizesFollowKindAndStatus) {
  // Each case: one hit alone, and the bytes its item takes in the file.
  struct Case {
    SectorHit hit;
    uint32_t bytes;
  } cases[] = {
      {{7, kHitNeedsMoreData, 1, 0, nullptr}, 18 + 1},
      {{7, kHitEndFound, 1, 0, Block(kFileHitMetadataBytes, 1)}, 18 + 1 + 280},
      {{kKindMp4Ftyp, 0, 1, 40, nullptr}, 18 + 8},
      {{kKindMp4Moov, kHitNeedsMoreData, 1, 0, nullptr}, 18},
      {{kKindMp4Mdat, kHitNotValid, 1, 0, nullptr}, 18},
      {{kKindVideoSampleLen, kHitNotValid, 1, 0, nullptr}, 18},
      {{kKindVideoSampleLen, kHitEndFound, 1, 0, nullptr}, 18 + 4},
      {{kKindMtsFragment, 0, 1, 0, Block(kMtsDetailBytes, 1)}, 18 + 68},
      {{kKindEbr, 0, 1, 0, Block(512, 1)}, 18 + 512},
      {{kKindIndexRecord, 0, 1, 0, nullptr}, 18 + 4},
      {{kKindMftRecord, 0, 1, 0, nullptr}, 18 + 53},
      {{kKindFat32Table, 0, 1, 0, nullptr}, 18},
      {{kKindGptHeader, 0, 1, 0, nullptr}, 18},
  };
  for (Case& c : cases) {
    const CString path = dir.File("one.dat");
    hits.assign(1, c.hit);
    ASSERT_EQ(WriteScanStateFile(path, Header(), hits, records), ScanStateResult::kOk);
    const size_t headerBytes = 4 + 4 + 22 + 4 + 5 + 24 + 4, tail = 4;
    EXPECT_EQ(FileBytes(path).size(), headerBytes + c.bytes + tail) << int(c.hit.kind);
    LoadedScanState back;
    EXPECT_EQ(LoadScanStateFile(path, 0, nullptr, back), ScanStateResult::kOk) << int(c.hit.kind);
    for (SectorHit& h : hits) FreeSectorInfo(h);
    hits.clear();
  }
}

TEST_F(ScanStateFile, RecordsKeepNamesUpTo259CharactersAndLoseTheirPointers) {
  records.push_back(Record(20, std::u16string(259, u'a')));
  records.push_back(Record(21, std::u16string(260, u'b')));
  records.push_back(Record(22, u""));
  records.push_back(Record(23, u"x"));
  const CString path = dir.File("rec.dat");
  ASSERT_EQ(WriteScanStateFile(path, Header(), hits, records), ScanStateResult::kOk);
  LoadedScanState back;
  ASSERT_EQ(LoadScanStateFile(path, 0, nullptr, back), ScanStateResult::kOk);
  ASSERT_EQ(back.records.size(), 4u);
  ASSERT_NE(back.records[0].name, nullptr);
  EXPECT_EQ(std::u16string(back.records[0].name), std::u16string(259, u'a'));
  EXPECT_EQ(static_cast<const char16_t*>(back.records[1].name), nullptr)
      << "260 characters do not fit: no name, never a cut one";
  EXPECT_EQ(static_cast<const char16_t*>(back.records[2].name), nullptr);
  EXPECT_EQ(std::u16string(back.records[3].name), u"x");
  for (const FileRecord& r : back.records) {
    EXPECT_EQ(static_cast<void*>(r.childIds), nullptr);
    EXPECT_EQ(uint32_t(r.childCount), 0u);
    EXPECT_EQ(uint32_t(r.childCapacity), 0u);
    EXPECT_EQ(static_cast<void*>(r.blob), nullptr);
    EXPECT_EQ(uint64_t(r.previewHandle), 0u);
    EXPECT_EQ(uint16_t(r.flags), uint16_t(kRecInUse));
    EXPECT_EQ(uint32_t(r.firstCluster), 77u);
    EXPECT_EQ(uint64_t(r.lba), 1234u);
  }
  // The loaded records free cleanly (no wild child array or blob).
  back.Release();
  for (FileRecord& r : records) {
    r.childIds = nullptr;
    r.blob = nullptr;
  }
}

// A file of the test's own hits and records, and where its sections start.
struct Sample {
  std::vector<uint8_t> bytes;
  size_t mapAt = 0, itemsAt = 0, recordsAt = 0;
};

Sample MakeSample(const CString& path, std::vector<SectorHit>& hits, std::vector<FileRecord>& records) {
  hits = EveryKind();
  records = {Record(30, u"kept.txt")};
  records[0].childIds = nullptr;
  records[0].blob = nullptr;
  EXPECT_EQ(WriteScanStateFile(path, Header(), hits, records), ScanStateResult::kOk);
  Sample s;
  s.bytes = FileBytes(path);
  s.mapAt = 8 + 22;
  s.itemsAt = s.mapAt + 4 + 5 + 24;
  s.recordsAt = s.bytes.size() - (4 + 87 + 16);
  return s;
}

TEST_F(ScanStateFile, DamagedFilesAreRefusedWithoutCrashing) {
  const CString good = dir.File("good.dat"), bad = dir.File("bad.dat");
  const Sample s = MakeSample(good, hits, records);
  auto load = [&](const std::vector<uint8_t>& bytes, uint64_t maxBlocks = 0) {
    PutFileBytes(bad, bytes);
    LoadedScanState out;
    return LoadScanStateFile(bad, maxBlocks, nullptr, out);
  };
  // Cut at every length: nothing short of the whole file loads whole.
  for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
    const ScanStateResult r = load(std::vector<uint8_t>(s.bytes.begin(), s.bytes.begin() + ptrdiff_t(cut)));
    EXPECT_NE(r, ScanStateResult::kOk) << cut;
    if (cut < s.itemsAt) {
      EXPECT_EQ(r, ScanStateResult::kBadHeader) << cut;
    }
  }
  auto patched = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> b = s.bytes;
    std::memcpy(b.data() + at, &value, 4);
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint64_t maxBlocks;
    ScanStateResult expect;
  } cases[] = {
      {"other magic", patched(0, 0x34445A51 ^ 0x01), 0, ScanStateResult::kBadHeader},
      {"identity over 512 bytes", patched(4, 514), 0, ScanStateResult::kBadHeader},
      {"identity past the end", patched(4, 0xFFFFFFF0), 0, ScanStateResult::kBadHeader},
      {"map of 0 bytes", patched(s.mapAt, 0), 0, ScanStateResult::kBadHeader},
      {"huge map", patched(s.mapAt, 0xFFFFFFFF), 0, ScanStateResult::kBadHeader},
      {"map longer than the device", s.bytes, 4, ScanStateResult::kBadHeader},
      {"more items than the file holds", patched(s.itemsAt, 0x10000000), 0, ScanStateResult::kDamaged},
      {"more records than the file holds", patched(s.recordsAt, 1000), 0, ScanStateResult::kDamaged},
      {"file-type flag other than 0 or 1", [&] {
         std::vector<uint8_t> b = s.bytes;
         b[s.itemsAt + 4 + 18] = 2;
         return b;
       }(), 0, ScanStateResult::kDamaged},
  };
  for (const Case& c : cases) EXPECT_EQ(load(c.bytes, c.maxBlocks), c.expect) << c.what;
  EXPECT_EQ(load(s.bytes, 6), ScanStateResult::kOk);
  // A fourth magic byte other than '4' still loads.
  std::vector<uint8_t> other = s.bytes;
  other[3] = '3';
  EXPECT_EQ(load(other, 6), ScanStateResult::kOk);
}

TEST_F(ScanStateFile, SummaryCountsAndNameLengthsAreBoundedOnLoad) {
  // An exFAT summary whose entry count runs past its 24 entries, and an MFT summary whose name
  // length claims more than the file holds.
  void* exfat = Block(kExfatDirHitInfoBytes, 1);
  SetField<uint32_t>(exfat, kExfatDirHitEntryCountAt, 0x7FFFFFFF);
  hits = {{kKindExfatDirEntries, 0, 1, 512, exfat}};
  const CString path = dir.File("sum.dat");
  ASSERT_EQ(WriteScanStateFile(path, Header(), hits, records), ScanStateResult::kOk);
  LoadedScanState back;
  ASSERT_EQ(LoadScanStateFile(path, 0, nullptr, back), ScanStateResult::kOk);
  EXPECT_EQ(Field<uint32_t>(back.hits[0].detail, kExfatDirHitEntryCountAt), 24u);

  for (SectorHit& h : hits) FreeSectorInfo(h);
  hits = {{kKindMftRecord, 0, 1, 1024, MftInfo(u"ab", {1})}};
  ASSERT_EQ(WriteScanStateFile(path, Header(), hits, records), ScanStateResult::kOk);
  std::vector<uint8_t> b = FileBytes(path);
  const size_t info = 8 + 22 + 4 + 5 + 24 + 4 + 18;
  const uint16_t huge = 0xFFFF;
  std::memcpy(b.data() + info + offsetof(MftHitInfo, nameLength), &huge, 2);
  PutFileBytes(path, b);
  EXPECT_EQ(LoadScanStateFile(path, 0, nullptr, back), ScanStateResult::kDamaged);
  EXPECT_TRUE(back.hits.empty());
}

TEST_F(ScanStateFile, AStopEndsTheLoad) {
  MakeSample(dir.File("s.dat"), hits, records);
  std::atomic<uint32_t> state{2};
  LoadedScanState back;
  EXPECT_EQ(LoadScanStateFile(dir.File("s.dat"), 0, &state, back), ScanStateResult::kStopped);
  EXPECT_FALSE(back.hitsComplete);
}

TEST_F(ScanStateFile, AFailedWriteLeavesNoFileThatLooksWhole) {
  // The state is larger than the file size allowed; the write fails part-way like a full disk.
  for (int i = 0; i < 3000; ++i) hits.push_back({kKindMbr, 0, uint64_t(i), 512, Block(512, uint8_t(i))});
  const CString path = dir.File("Save_full.dat");
  PutFileBytes(path, {1, 2, 3});  // an earlier file of the name stays as it was
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 512 * 1024;
  auto* previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const ScanStateResult r = WriteScanStateFile(path, Header(), hits, records);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(r, ScanStateResult::kWriteFailed);
  EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(PathExists(path + u".part"));
  EXPECT_EQ(WriteScanStateFile(dir.File("no/such/folder.dat"), Header(), hits, records), ScanStateResult::kCannotOpen);
}

TEST_F(ScanStateFile, RetargetingRewritesTheIdentityOnly) {
  const CString src = dir.File("src.dat"), dst = dir.File("dst.dat");
  // Enough hits for the 512-byte minimum.
  const Sample s = MakeSample(src, hits, records);
  ASSERT_GE(s.bytes.size(), 512u);
  ASSERT_TRUE(RetargetScanSaveFile(src, dst, u"Other Disk Model"));
  LoadedScanState a, b;
  ASSERT_EQ(LoadScanStateFile(src, 0, nullptr, a), ScanStateResult::kOk);
  ASSERT_EQ(LoadScanStateFile(dst, 0, nullptr, b), ScanStateResult::kOk);
  EXPECT_EQ(b.header.identity, u"Other Disk Model");
  const std::vector<uint8_t> x = FileBytes(src), y = FileBytes(dst);
  EXPECT_TRUE(std::equal(x.begin() + 8 + 22, x.end(), y.begin() + 8 + 32, y.end()));

  std::vector<uint8_t> three = s.bytes;
  three[3] = '3';
  PutFileBytes(src, three);
  EXPECT_FALSE(RetargetScanSaveFile(src, dir.File("r3.dat"), u"X")) << "only an exact QZD4 is re-targeted";
  EXPECT_FALSE(PathExists(dir.File("r3.dat")));
  std::vector<uint8_t> wild = s.bytes;
  const uint32_t len = 0x7FFFFFF0;
  std::memcpy(wild.data() + 4, &len, 4);
  PutFileBytes(src, wild);
  EXPECT_FALSE(RetargetScanSaveFile(src, dir.File("r4.dat"), u"X")) << "L + 8 beyond the file";
  PutFileBytes(src, std::vector<uint8_t>(s.bytes.begin(), s.bytes.begin() + 511));
  EXPECT_FALSE(RetargetScanSaveFile(src, dir.File("r5.dat"), u"X"));
  PutFileBytes(src, s.bytes);
  EXPECT_FALSE(RetargetScanSaveFile(src, dir.File("r6.dat"), std::u16string(257, u'm')));
}

}  // namespace
