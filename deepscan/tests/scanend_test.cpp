// The end of a deep scan: which hits it takes (cluster-aligned starts in the deleted-files
// operations, the file systems and types switched off), the carved-file view (nested files,
// duplicates of parsed files, empty type folders, a MOV the scan showed before), the files known
// only from index records, the rule for many volumes, the stage itself on a device it must
// close again, and on a real NTFS image: one partition from a primary and a backup boot sector,
// and a stop that leaves only what was complete.
#include "deepscan/scanend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/carvedname.h"
#include "core/dataextents.h"
#include "core/devicelists.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/tests/fakestorage.h"
#include "core/volumelist.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/filestartindex.h"
#include "deepscan/findfileview.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/liveresults.h"
#include "scanbase/scanhitstore.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "platform/textconv.h"

namespace {

constexpr uint64_t kBlock = kScanBlockSectors;
constexpr uint8_t kJpeg = 46;
constexpr uint8_t kZip = 61;
constexpr uint8_t kDocx = 37;
constexpr uint8_t kDoc = 36;

SectorHit Hit(uint8_t kind, uint64_t lba, uint64_t size = 0, uint8_t status = 0, void* detail = nullptr) {
  return SectorHit{kind, status, lba, size, detail};
}

std::vector<uint64_t> Lbas(const std::vector<SectorHit>& hits) {
  std::vector<uint64_t> out;
  for (const SectorHit& h : hits) out.push_back(uint64_t(h.lba));
  return out;
}

void LoadEndStageSettings() {
  LoadSettingsForTest(u"Tesmur", u"Pro",
                      u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\n",
                      u"FindFile: FindFile\r\nFileLost: FileLost\r\n");
  InitFileTypeTables();
}

// A record name on the guarded heap, as the records own theirs.
char16_t* HeapName(std::u16string_view text) {
  auto* name = static_cast<char16_t*>(AllocMem((text.size() + 1) * 2, 1));
  std::memcpy(name, text.data(), text.size() * 2);
  name[text.size()] = 0;
  return name;
}

// A volume of the given type with one in-use file per name under the root, each with the LBA
// of its data.
VolumeContext VolumeWith(uint32_t type, const std::vector<std::pair<std::u16string, uint64_t>>& files) {
  VolumeContext v;
  v.type = type;
  CreateRootAndLostFolders(v);
  for (const auto& [name, lba] : files) {
    FileRecord r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.parent = kRootId;
    r.flags = kRecInUse;
    r.lba = lba;
    r.size = 4096;
    r.name = HeapName(name);
    AddFileRecord(v, r, 1);
  }
  return v;
}

void FreeAll(std::vector<VolumeContext>& volumes) {
  for (VolumeContext& v : volumes) FreeAllFileRecords(v);
  volumes.clear();
}

// (name, LBA, size) of the files below a folder.
struct Entry {
  std::u16string name;
  uint64_t lba, size;
  bool operator==(const Entry&) const = default;
};
std::vector<Entry> FilesIn(const VolumeContext& v, uint32_t folder) {
  std::vector<Entry> out;
  if (const FileRecord* dir = GetFileRecord(v, folder)) {
    for (uint32_t id : ChildIdList(dir)) {
      const FileRecord* r = GetFileRecord(v, id);
      if (r != nullptr && !(r->flags & kRecDirectory)) out.push_back({r->name, uint64_t(r->lba), uint64_t(r->size)});
    }
  }
  return out;
}

// An index-only file as the NTFS index parser keeps it.
FileRecord IndexEntry(const char16_t* name, uint32_t parent, uint64_t size) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  r.id = 77;
  r.parent = parent;
  r.size = size;
  r.flags = kRecInUse;
  r.name = HeapName(name);
  r.typeId = GetTypeIdByExtension(r.name);
  return r;
}

struct EndStage : ::testing::Test {
  void SetUp() override {
    LoadEndStageSettings();
    DeepScanSettingsRecord() = DeepScanSettings();
    VolumeContext& t = ScanTarget();
    ResetVolumeContext(t);
    t.sectorCount = t.deviceSectors = 8 * kBlock;
    t.operation = 1;
    AllocBlockHitListsFor(8);
    ReleaseScanAllocMap();
    ClearIndxFileList();
    ClearUniqueLbaRegistry();
    ClearDeviceLists();
    ResetCarvedMovMemory();
  }
  void TearDown() override {
    FreeBlockHitLists();
    ReleaseScanAllocMap();
    ClearIndxFileList();
    ClearUniqueLbaRegistry();
    for (FileTypeRow& row : FileTypeTable().types) row.enabled = 1;
    DeepScanSettingsRecord() = DeepScanSettings();
    ResetVolumeContext(ScanTarget());
  }
};

TEST_F(EndStage, DeletedFilesOperationsTakeClusterAlignedStartsAndTheLastSector) {
  struct Case {
    const char* what;
    uint32_t op;
    uint8_t aligned;
    std::vector<uint64_t> kept;
  };
  // Clusters of 8 sectors with cluster 0 at LBA 2048; the target ends at LBA 4096.
  const Case cases[] = {
      {"deleted files, aligned starts", kOperationDeletedFiles, 1, {2056, 2061, 4096}},
      {"deleted files, any start", kOperationDeletedFiles, 0, {2056, 2060, 2061, 4096}},
      {"emptied Recycle Bin", kOperationEmptiedRecycleBin, 1, {2056, 2061, 4096}},
      {"deep recovery", 1, 1, {2056, 2060, 2061}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreeBlockHitLists();
    AllocBlockHitListsFor(8);
    for (const SectorHit& h : {Hit(kJpeg, 2040 - 1), Hit(kJpeg, 2056), Hit(kJpeg, 2060), Hit(kKindMftRecord, 2061),
                               Hit(kZip, 4096), Hit(kZip, 4097)})
      StoreBlockHit(h);
    VolumeContext target = ScanTarget();
    target.firstLba = 2040;
    target.sectorCount = 4096 - 2040;
    target.operation = c.op;
    DeepScanSettingsRecord().clusterAlignedStarts = c.aligned;
    ScanAllocMapT& m = ScanAllocMap();
    m.sectorsPerCluster = 8;
    m.clusterArea = 2048;
    std::vector<SectorHit> hits;
    CollectEndStageHits(target, hits);
    EXPECT_EQ(Lbas(hits), c.kept);
    ReleaseScanAllocMap();
  }
}

TEST_F(EndStage, SwitchedOffFileSystemsAndDisabledTypesLoseTheirHits) {
  const std::vector<SectorHit> all = {Hit(20, 1), Hit(kJpeg, 2), Hit(kZip, 3), Hit(kKindNtfsBoot, 4),
                                      Hit(kKindMftRecord, 5), Hit(kKindFatDirEntries, 6), Hit(kKindExfatDirEntries, 7)};
  std::vector<SectorHit> hits = all;
  FilterHitsBySettings(hits);
  EXPECT_EQ(hits.size(), all.size());

  DeepScanSettingsRecord().useNtfs = 0;
  FileTypeTable().types[kJpeg].enabled = 0;
  FilterHitsBySettings(hits);
  EXPECT_EQ(Lbas(hits), (std::vector<uint64_t>{1, 3, 6, 7}));
}

TEST_F(EndStage, ACompleteFileInsideAnotherOfTheSameKindIsDropped) {
  std::vector<SectorHit> hits = {
      Hit(kJpeg, 100, 100 * 512, 5),   // the photo
      Hit(kJpeg, 110, 10 * 512, 5),    // its thumbnail
      Hit(kZip, 120, 10 * 512, 5),     // an archive inside it is another kind
      Hit(kJpeg, 130, 0, 0),           // an open-ended one is no complete file
      Hit(kJpeg, 190, 20 * 512, 5),    // runs past the photo's end
      Hit(kJpeg, 200, 1 * 512, 5),     // inside the one before
      Hit(kJpeg, 300, 1 * 512, 5),
  };
  DropNestedHits(hits);
  EXPECT_EQ(Lbas(hits), (std::vector<uint64_t>{100, 120, 130, 190, 300}));
}

TEST_F(EndStage, DuplicatesOfParsedFilesGoByLbaAndType) {
  std::vector<VolumeContext> volumes;
  volumes.push_back(VolumeWith(kVolTypeExfatRebuilt, {{u"a.jpg", 500}, {u"b.zip", 600}, {u"c.jpg", 700}, {u"d.txt", 800},
                                                      {u"e.jpg", 900}, {u"f.jpg", 1000}, {u"g.jpg", 1100}}));
  std::vector<KnownFileStart> starts;
  ASSERT_TRUE(CollectKnownFileStarts(volumes, starts));
  std::vector<SectorHit> hits = {Hit(kJpeg, 500, 0, 0), Hit(kJpeg, 600, 0, 0), Hit(kZip, 600, 0, 0), Hit(kJpeg, 650, 0, 0)};
  EXPECT_EQ(MarkKnownFileHits(hits, starts), 2u);
  EXPECT_EQ(hits[0].endStatus, kHitNotValid);
  EXPECT_EQ(hits[1].endStatus, 0) << "a JPEG where a ZIP starts is not that ZIP";
  EXPECT_EQ(hits[2].endStatus, kHitNotValid);
  EXPECT_EQ(hits[3].endStatus, 0);
  FreeAll(volumes);

  // Too few records to be worth it: nothing is gathered.
  volumes.push_back(VolumeWith(kVolTypeExfatRebuilt, {{u"a.jpg", 500}}));
  EXPECT_FALSE(CollectKnownFileStarts(volumes, starts));
  EXPECT_TRUE(starts.empty());
  FreeAll(volumes);
}

TEST_F(EndStage, TheViewKeepsOnlyTypeFoldersWithFilesAndAMovShownBefore) {
  // The scan showed this MOV while it ran; the view is built anew and must have it all the same.
  VolumeContext shown = MakeFindFileView(u"dev");
  ASSERT_EQ(AddCarvedFileRecord(shown, 4000, 9000, kTypeQuickTimeMov, nullptr), 1);
  FreeAllFileRecords(shown);

  std::vector<SectorHit> hits = {Hit(kTypeQuickTimeMov, 4000, 9000, 5), Hit(kJpeg, 5000, 512, 5),
                                 Hit(kZip, 6000, 512, 6), Hit(kZip, 7000, 512, 3)};
  std::vector<VolumeContext> result;
  BuildFindFileView(u"dev", hits, result);
  ASSERT_EQ(result.size(), 1u);
  VolumeContext& view = result[0];
  EXPECT_EQ(view.type, uint32_t(kVolTypeFindFile));
  EXPECT_EQ(FilesIn(view, kTypeQuickTimeMov).size(), 1u);
  EXPECT_EQ(FilesIn(view, kJpeg).size(), 1u);
  // Neither refused (6) nor waiting (3) files are shown.
  EXPECT_EQ(GetFileRecord(view, kZip), nullptr);
  FreeAll(result);

  // A type folder left without files disappears; its category, left without anything in use,
  // is marked not in use.
  VolumeContext v = MakeFindFileView(u"dev");
  EnsureCategoryFolder(v, kZip);
  const uint32_t category = uint32_t(FileTypeTable().types[kZip].category);
  ASSERT_NE(GetFileRecord(v, kZip), nullptr);
  RefreshTypeFolderNames(v);
  EXPECT_EQ(GetFileRecord(v, kZip), nullptr);
  ASSERT_NE(GetFileRecord(v, category), nullptr);
  EXPECT_FALSE(GetFileRecord(v, category)->flags & kRecInUse);
  FreeAllFileRecords(v);
}

TEST_F(EndStage, IndexOnlyFilesTakeACarvedFileOfTheirSize) {
  std::vector<SectorHit> hits = {Hit(kDocx, 1000, 8192, 5), Hit(kDocx, 2000, 5000, 5), Hit(kDoc, 3000, 8192, 5)};
  VolumeContext view = MakeFindFileView(u"dev");
  FillFindFileView(view, hits);
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    // Word documents of both kinds share one folder of the view.
    IndxFileList().push_back(IndexEntry(u"report.docx", 40, 8192));
    IndxFileList().push_back(IndexEntry(u"old.doc", 40, 8192));
    IndxFileList().push_back(IndexEntry(u"third.doc", 41, 8192));  // no carved file left
    IndxFileList().push_back(IndexEntry(u"other.docx", 40, 7777));  // no carved file of its size
  }
  MatchIndexFilesToHits(view);
  std::vector<uint64_t> lbas;
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    for (const FileRecord& r : IndxFileList()) lbas.push_back(uint64_t(r.lba));
  }
  std::sort(lbas.begin(), lbas.end());
  EXPECT_EQ(lbas, (std::vector<uint64_t>{1000, 3000}));
  FreeAllFileRecords(view);
}

TEST_F(EndStage, IndexOnlyFilesGoToTheDeletedNtfsPartOrToOtherFile) {
  auto fill = [] {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    FileRecord a = IndexEntry(u"a.docx", 40, 1000);
    a.lba = 5000;
    FileRecord b = IndexEntry(u"b.xlsx", 40, 600);
    b.lba = 6000;
    FileRecord c = IndexEntry(u"c.pptx", 52, 700);
    c.lba = 7000;
    IndxFileList() = {a, b, c};
  };
  // Without an NTFS volume: a volume of their own.
  fill();
  std::vector<VolumeContext> result;
  result.push_back(MakeFindFileView(u"dev"));
  AddOtherFileFolder(result, u"dev");
  ASSERT_EQ(result.size(), 2u);
  VolumeContext& other = result[1];
  EXPECT_EQ(other.label, CString(u"OtherFile"));
  EXPECT_EQ(other.type, uint32_t(kVolTypeNtfs));
  EXPECT_EQ(other.foundBy, uint32_t(kFoundByIndexRecords));
  const FileRecord* lost = GetFileRecord(other, kLostFolderId);
  ASSERT_NE(lost, nullptr);
  EXPECT_EQ(lost->parent, kRootId);
  std::map<std::u16string, std::vector<Entry>> dirs;
  for (uint32_t id : ChildIdList(lost)) {
    const FileRecord* d = GetFileRecord(other, id);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->flags & kRecInUse);
    dirs[d->name] = FilesIn(other, id);
  }
  EXPECT_EQ(dirs[u"Dir00000040"], (std::vector<Entry>{{u"a.docx", 5000, 1000}, {u"b.xlsx", 6000, 600}}));
  EXPECT_EQ(dirs[u"Dir00000052"], (std::vector<Entry>{{u"c.pptx", 7000, 700}}));
  // Their data is read through one explicit extent.
  DataExtentList extents;
  const uint32_t fileId = ChildIdList(GetFileRecord(other, ChildIdList(lost)[0]))[0];
  ASSERT_EQ(GetRecordExtents(other, fileId, extents), 1);
  ASSERT_EQ(extents.size(), 1u);
  EXPECT_EQ(extents[0].startLba, 5000u);
  EXPECT_EQ(extents[0].sectorCount, 2u);
  EXPECT_TRUE(IndxFileList().empty());
  FreeAll(result);

  // With NTFS volumes: the deleted-files part takes them, even when it is not the first one.
  fill();
  result.push_back(VolumeWith(kVolTypeNtfs, {{u"x.txt", 100}}));
  result.push_back(VolumeWith(kVolTypeNtfs, {{u"y.txt", 200}}));
  result[1].splitKind = kSplitDeleted;
  AddOtherFileFolder(result, u"dev");
  ASSERT_EQ(result.size(), 2u);
  EXPECT_EQ(ChildIdList(GetFileRecord(result[0], kLostFolderId)).size(), 0u);
  EXPECT_EQ(ChildIdList(GetFileRecord(result[1], kLostFolderId)).size(), 2u);
  FreeAll(result);
}

TEST_F(EndStage, NineVolumesAndMoreLoseThoseWithFewNamedRecords) {
  for (size_t count : {8u, 9u}) {
    SCOPED_TRACE(count);
    std::vector<VolumeContext> result;
    for (size_t i = 0; i + 2 < count; ++i) result.push_back(VolumeWith(kVolTypeNtfs, {{u"file.txt", 100}}));
    result.push_back(VolumeWith(kVolTypeNtfs, {{u"$MFT", 100}, {u"$Bitmap", 200}}));
    result.push_back(VolumeWith(kVolTypeNtfs, {}));
    DropNearlyEmptyVolumes(result);
    EXPECT_EQ(result.size(), count == 8 ? 8u : 7u);
    FreeAll(result);
  }
}

TEST_F(EndStage, ALostFolderOfMoreThan300DirectoriesIsSplit) {
  for (uint32_t dirs : {300u, 301u}) {
    SCOPED_TRACE(dirs);
    std::vector<VolumeContext> result(1);
    CreateRootAndLostFolders(result[0]);
    LinkFileTree(result[0], 0);
    for (uint32_t i = 0; i < dirs; ++i) CreateLostDirectory(result[0], kLostFolderId, i, i);
    TidyLostFileFolders(result);
    const size_t children = ChildIdList(GetFileRecord(result[0], kLostFolderId)).size();
    EXPECT_EQ(children, dirs == 300 ? 300u : 2u);
    FreeAll(result);
  }
}

// The whole stage over a fake device: the carved files sized and shown, and the device closed
// again on every path.
TEST_F(EndStage, CarvedFilesAreSizedAndTheDeviceIsClosedOnEveryPath) {
  FakeBackend backend;
  auto device = std::make_shared<FakeDevice>(8 * kBlock);
  backend.Add("fake0", device);
  SetStorageBackend(&backend);
  ScanTarget().devicePath = u"fake0";
  for (const SectorHit& h : {Hit(kJpeg, 100), Hit(kZip, 200, 5000, 5), Hit(kJpeg, 300), Hit(kJpeg, 8 * kBlock - 10)})
    StoreBlockHit(h);

  std::atomic<uint32_t> state{0};
  std::vector<VolumeContext> result;
  ASSERT_TRUE(DiskFileScanHandEnd(&state, result));
  EXPECT_EQ(device.use_count(), 2) << "the device is still open";
  ASSERT_FALSE(result.empty());
  EXPECT_EQ(result[0].type, uint32_t(kVolTypeFindFile));
  EXPECT_EQ(FilesIn(result[0], kJpeg), (std::vector<Entry>{{u"64.jpg", 100, 100 * 512},
                                                           {u"12c.jpg", 300, (8 * kBlock - 10 - 300) * 512},
                                                           {u"1fff6.jpg", 8 * kBlock - 10, 10 * 512}}));
  EXPECT_EQ(FilesIn(result[0], kZip), (std::vector<Entry>{{u"c8.zip", 200, 5000}}));
  EXPECT_EQ(ScanEndStageActive.load(), 0u);
  FreeAll(result);

  // A device that does not open: nothing to publish.
  backend.QueueOpenResults({5});
  EXPECT_FALSE(DiskFileScanHandEnd(&state, result));
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(device.use_count(), 2);

  // Stopped at once: the carved files are complete and stay; the device is closed.
  state.store(2);
  ASSERT_TRUE(DiskFileScanHandEnd(&state, result));
  EXPECT_EQ(result.size(), 1u);
  EXPECT_EQ(device.use_count(), 2);
  FreeAll(result);
  SetStorageBackend(nullptr);
}

// On the NTFS fixture image (a bare volume), as the scan target.
struct EndStageOnImage : EndStage {
  const std::string image = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.img";
  uint8_t boot[512] = {};
  uint8_t backup[512] = {};
  uint64_t backupLba = 0;

  void SetUp() override {
    EndStage::SetUp();
    if (!std::ifstream(image).good()) GTEST_SKIP() << "NTFS fixture image not built";
    InitNtfsExtentProvider();
    VolumeContext& t = ScanTarget();
    t.devicePath = CString(Utf8ToUtf16(image));
    t.name = t.devicePath;
    t.targetKind = kTargetImage;
    t.diskNumber = kImageDiskNumber;
    DiskReader reader;
    ASSERT_TRUE(OpenDeviceByPath(t.devicePath, reader, 1));
    t.sectorCount = t.deviceSectors = reader.sizeBytes / 512;
    ASSERT_TRUE(reader.ReadSectors(boot, 0, 1));
    std::memcpy(&backupLba, boot + 0x28, 8);
    ASSERT_TRUE(reader.ReadSectors(backup, backupLba, 1));
    FreeBlockHitLists();
    AllocBlockHitListsFor(DeviceBlockCount(t.sectorCount));
  }
  void TearDown() override {
    ClearVolumeList(AppVolumeList());
    EndStage::TearDown();
  }
};

TEST_F(EndStageOnImage, PrimaryAndBackupBootSectorsGiveOnePartition) {
  DiskReader reader;
  ASSERT_TRUE(OpenDeviceByPath(ScanTarget().devicePath, reader, 1));
  std::vector<VolumeContext> partitions;
  OrganizePartKeyInfo(reader, {Hit(kKindNtfsBoot, 0, 0, 0, boot), Hit(kKindNtfsBoot, backupLba, 0, 0, backup)},
                      partitions);
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0].firstLba, 0u);
  EXPECT_EQ(partitions[0].foundBy, uint32_t(kFoundByBootHit));

  // While scanning: the backup found after the primary adds nothing more.
  ClearUniqueLbaRegistry();
  ResetVolumeList(AppVolumeList(), nullptr, 0);
  AllocFileStartIndex(DeviceBlockCount(ScanTarget().sectorCount));
  std::atomic<uint32_t> state{0};
  EXPECT_TRUE(AddPartitionFromBootHit(&state, boot, 0, kKindNtfsBoot));
  const uint32_t slots = AppVolumeList().slotCount;
  EXPECT_EQ(slots, kFirstScannedSlot + 2) << "the existing and the deleted files";
  EXPECT_FALSE(AddPartitionFromBootHit(&state, backup, backupLba, kKindNtfsBoot));
  EXPECT_EQ(AppVolumeList().slotCount, slots);
  // Its files' starts cancel carved hits there.
  uint64_t starts = 0;
  for (uint64_t b = 0; b < FileStartIndexSize(); ++b) starts += FileStartIndexEntry(b)->count;
  EXPECT_GT(starts, 0u);
  FreeFileStartIndex();
}

TEST_F(EndStageOnImage, RemovingDuplicatesDropsCarvedCopiesOfParsedFiles) {
  // Where a text file of the volume starts, the scan carved a text file and a photo.
  VolumeContext parsed;
  parsed.type = kVolTypeNtfs;
  parsed.devicePath = ScanTarget().devicePath;
  parsed.sectorCount = ScanTarget().sectorCount;
  std::memcpy(parsed.bootSector, boot, 512);
  std::atomic<uint32_t> state{0};
  ASSERT_EQ(ParseVolumeFileSystem(&state, parsed), 1);
  uint64_t textLba = 0;
  uint8_t textType = 0;
  for (uint32_t id = kRootId; id < parsed.idLimit && textLba == 0; ++id) {
    const FileRecord* r = GetFileRecord(parsed, id);
    if (r != nullptr && CString(r->name) == CString(u"entry_080.txt")) {
      textType = r->typeId;
      ASSERT_TRUE(RecordDataStartLba(parsed, id, textLba));
    }
  }
  FreeAllFileRecords(parsed);
  ASSERT_NE(textLba, 0u);
  ASSERT_LE(textType, 176);
  void* copy = AllocMem(512, 1);
  std::memcpy(copy, boot, 512);
  StoreBlockHit(Hit(kKindNtfsBoot, 0, 0, 0, copy));
  StoreBlockHit(Hit(textType, textLba, 3000, 5));
  StoreBlockHit(Hit(kJpeg, textLba + 1, 512, 5));
  for (uint8_t remove : {0, 1}) {
    SCOPED_TRACE(int(remove));
    ClearUniqueLbaRegistry();
    DeepScanSettingsRecord().removeDuplicates = remove;
    std::vector<VolumeContext> result;
    ASSERT_TRUE(DiskFileScanHandEnd(&state, result));
    ASSERT_EQ(result.size(), 3u);
    EXPECT_EQ(FilesIn(result[0], textType).size(), remove ? 0u : 1u);
    EXPECT_EQ(FilesIn(result[0], kJpeg).size(), 1u);
    FreeAll(result);
  }
}

TEST_F(EndStageOnImage, AStopLeavesOnlyWhatWasComplete) {
  void* copy = AllocMem(512, 1);
  std::memcpy(copy, boot, 512);
  StoreBlockHit(Hit(kKindNtfsBoot, 0, 0, 0, copy));
  std::atomic<uint32_t> state{0};
  std::vector<VolumeContext> result;
  ASSERT_TRUE(DiskFileScanHandEnd(&state, result));
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(result[1].type, uint32_t(kVolTypeNtfs));
  EXPECT_EQ(result[1].foundBy, uint32_t(kFoundByBootHit));
  EXPECT_EQ(result[1].splitKind, uint32_t(kSplitExisting));
  EXPECT_EQ(result[2].splitKind, uint32_t(kSplitDeleted));
  FreeAll(result);

  // A stop: the carved-file view was complete before it; no partition is half parsed.
  ClearUniqueLbaRegistry();
  state.store(2);
  ASSERT_TRUE(DiskFileScanHandEnd(&state, result));
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0].type, uint32_t(kVolTypeFindFile));
  FreeAll(result);
}

}  // namespace
