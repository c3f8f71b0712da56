// The volume parser on real NTFS images from the fixture builder, compared with its manifest.
#include "parsefilesystem/parsentfs/ntfsvolume.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "base/packedtime.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"
#include "platform/textconv.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanrun.h"

#ifdef KESTREL_HAVE_SHA256
#include "tests/fixtures/sha256evp.h"
#endif

namespace {

namespace fs = std::filesystem;

const std::string kImage = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.img";
const std::string kManifest = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.manifest";

struct Entry {
  std::string path;
  uint64_t size = 0;
  bool dir = false;
  bool deleted = false;
  bool intact = false;
  uint32_t id = 0;
  std::string sha256, ctime, mtime;
};

// Values of the flat JSON lines the fixture builder and kscan write.
std::string Field(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  size_t at = line.find(tag);
  if (at == std::string::npos) return "";
  at += tag.size();
  if (line[at] == '"') {
    std::string out;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\') ++i;
      out += line[i];
    }
    return out;
  }
  return line.substr(at, line.find_first_of(",}", at) - at);
}

Entry ParseLine(const std::string& line) {
  Entry e;
  e.path = Field(line, "path");
  e.size = std::stoull(Field(line, "size"));
  e.dir = Field(line, "dir") == "true";
  e.deleted = Field(line, "deleted") == "true";
  e.sha256 = Field(line, "sha256");
  e.ctime = Field(line, "ctime");
  e.mtime = Field(line, "mtime");
  e.intact = Field(line, "intact") == "true";
  const std::string id = Field(line, "id");
  e.id = id.empty() ? 0 : uint32_t(std::stoul(id));
  return e;
}

std::vector<Entry> ReadManifest() {
  std::vector<Entry> out;
  std::ifstream in(kManifest);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(ParseLine(line));
  return out;
}

// Deleted and live items may share a path: a deleted one is keyed with a trailing " (deleted)".
std::string KeyOf(const Entry& e) { return e.deleted ? e.path + " (deleted)" : e.path; }

std::map<std::string, Entry> RunKscanAll(const std::string& image) {
  std::map<std::string, Entry> out;
  const std::string cmd = std::string(KSCAN_TOOL) + " fs '" + image + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (fgets(buf, sizeof buf, p)) {
    Entry e = ParseLine(buf);
    out[KeyOf(e)] = e;
  }
  pclose(p);
  return out;
}

// The bytes "kscan cat" writes for an item, and its exit code.
std::string RunKscanCat(const std::string& image, uint32_t id, int& code) {
  const std::string cmd = std::string(KSCAN_TOOL) + " cat '" + image + "' " + std::to_string(id);
  std::string out;
  code = -1;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  code = WEXITSTATUS(pclose(p));
  return out;
}

std::map<std::string, Entry> RunKscan(const std::string& image, const std::string& extra) {
  std::map<std::string, Entry> out;
  const std::string cmd = std::string(KSCAN_TOOL) + " fs '" + image + "'" + extra;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (fgets(buf, sizeof buf, p)) {
    Entry e = ParseLine(buf);
    out[e.path] = e;
  }
  pclose(p);
  return out;
}

std::string Sha256(const uint8_t* data, size_t size) {
#ifdef KESTREL_HAVE_SHA256
  return EvpSha256::Of(data, size);
#else
  (void)data;
  (void)size;
  return "";
#endif
}

std::string ItemPath(const VolumeContext& vol, const FileRecord* rec) {
  std::string path;
  for (uint32_t depth = 0; rec && rec->id != kRootId && depth < kMaxTreeDepth; ++depth) {
    path = "/" + CString(rec->name).ToUtf8() + path;
    rec = rec->parent == rec->id ? nullptr : GetFileRecord(vol, rec->parent, 0);
  }
  return path;
}

class NtfsVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kManifest)) GTEST_SKIP() << "no NTFS fixture image (ntfs-3g missing?)";
    setenv("TZ", "UTC", 1);
    tzset();
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n",
                        u"FileLost: FileLost\r\nLocalDisk: Local Disk\r\n");
    ScanRunState = kScanRunning;
  }
  void TearDown() override {
    SetReadTimeoutHook(nullptr);
    FreeAllFileRecords(vol);
    ResetVolumeContext(ScanTarget());
    ReleaseFreeSpaceMap();
    ScanRunState = kScanStopped;
    if (!scratch.empty()) fs::remove(scratch);
  }
  // The image as ScanTarget, its boot sector at firstLba, and the volume set up from it.
  void Setup(const std::string& image, uint64_t firstLba = 0) {
    VolumeContext& target = ScanTarget();
    ResetVolumeContext(target);
    target.devicePath = CString(Utf8ToUtf16(image));
    target.sectorCount = fs::file_size(image) / 512;
    DiskReader reader;
    ASSERT_TRUE(OpenVolumeDevice(target, reader));
    uint8_t boot[512];
    ASSERT_TRUE(reader.ReadSectors(boot, firstLba, 1));
    ASSERT_TRUE(IsNtfsBootSector(boot));
    SetupNtfsVolume(target, reader, boot, firstLba, target.sectorCount - firstLba, vol);
  }
  std::string Scratch(const char* name) {
    scratch = (fs::temp_directory_path() / (std::string(name) + std::to_string(getpid()) + ".img")).string();
    return scratch;
  }
  VolumeContext vol;
  std::string scratch;
};

TEST_F(NtfsVolume, KscanListsEveryManifestEntry) {
  const std::vector<Entry> manifest = ReadManifest();
  ASSERT_GT(manifest.size(), 90u);
  const std::map<std::string, Entry> listed = RunKscan(kImage, "");
  for (const Entry& m : manifest) {
    auto it = listed.find(m.path);
    ASSERT_NE(it, listed.end()) << m.path;
    const Entry& l = it->second;
    EXPECT_EQ(l.dir, m.dir) << m.path;
    EXPECT_EQ(l.deleted, m.deleted) << m.path;
    if (!m.dir) {
      EXPECT_EQ(l.size, m.size) << m.path;
    }
    EXPECT_EQ(l.ctime, m.ctime) << m.path;
    EXPECT_EQ(l.mtime, m.mtime) << m.path;
  }
  // Nothing else but the file system's own files and the lost-files folder.
  std::map<std::string, bool> known;
  for (const Entry& m : manifest) known[m.path] = true;
  for (const auto& [path, e] : listed)
    if (!known.count(path)) {
      EXPECT_TRUE(path.rfind("/$", 0) == 0 || path == "/FileLost") << path;
    }
}

TEST_F(NtfsVolume, VolumeAtAnOffsetWithFirstLba) {
  const std::string image = Scratch("ntfs_offset");
  {
    std::ifstream in(kImage, std::ios::binary);
    std::ofstream out(image, std::ios::binary);
    std::vector<char> zeros(2048 * 512);
    out.write(zeros.data(), std::streamsize(zeros.size()));
    out << in.rdbuf();
  }
  const std::map<std::string, Entry> plain = RunKscan(kImage, "");
  const std::map<std::string, Entry> shifted = RunKscan(image, " --first-lba 2048");
  ASSERT_FALSE(plain.empty());
  ASSERT_EQ(shifted.size(), plain.size());
  for (const auto& [path, e] : plain) {
    auto it = shifted.find(path);
    ASSERT_NE(it, shifted.end()) << path;
    EXPECT_EQ(it->second.size, e.size) << path;
    EXPECT_EQ(it->second.deleted, e.deleted) << path;
  }
}

TEST_F(NtfsVolume, DataOfLiveFilesMatchesTheManifest) {
  Setup(kImage);
  ASSERT_TRUE(ParseNtfsVolume(&ScanRunState, vol));
  std::map<std::string, const FileRecord*> byPath;
  for (uint32_t id = 1; id < vol.idLimit; ++id)
    if (const FileRecord* rec = GetFileRecord(vol, id)) byPath[ItemPath(vol, rec)] = rec;
  int checked = 0;
  for (const Entry& m : ReadManifest()) {
    if (m.dir || m.deleted || m.size == 0) continue;
    const FileRecord* rec = byPath[m.path];
    ASSERT_NE(rec, nullptr) << m.path;
    auto* block = static_cast<uint8_t*>(AllocMem(m.size, 1));
    ASSERT_TRUE(ReadNtfsFileData(&ScanRunState, vol, *rec, uint32_t(m.size), block)) << m.path;
#ifdef KESTREL_HAVE_SHA256
    EXPECT_EQ(Sha256(block, m.size), m.sha256) << m.path;
#endif
    FreeMem(block);
    ++checked;
  }
  EXPECT_GT(checked, 90);
}

TEST_F(NtfsVolume, LabelFreeSpaceAndIds) {
  Setup(kImage);
  EXPECT_EQ(vol.label, CString(u"KestrelFix"));
  EXPECT_EQ(vol.type, uint32_t(kVolTypeNtfs));
  EXPECT_GT(vol.freeSectors, 0u);
  EXPECT_LT(vol.freeSectors, vol.sectorCount);
  ASSERT_TRUE(ParseNtfsVolume(&ScanRunState, vol));
  EXPECT_EQ(GetFileRecord(vol, 3), nullptr);
  const FileRecord* lost = GetFileRecord(vol, kLostFolderId);
  ASSERT_NE(lost, nullptr);
  EXPECT_EQ(std::u16string(lost->name), u"FileLost");
  // $MFT, $Volume and $AttrDef come after every other record.
  uint32_t lastOther = 0, firstSystem = UINT32_MAX;
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id);
    if (!rec) continue;
    const std::u16string name(rec->name);
    if (name == u"$MFT" || name == u"$Volume" || name == u"$AttrDef")
      firstSystem = std::min(firstSystem, id);
    else
      lastOther = std::max(lastOther, id);
  }
  EXPECT_LT(lastOther, firstSystem);
  ASSERT_GT(vol.mftExtentCount, 0u);
  EXPECT_EQ(vol.mftExtents[0], 8 * NtfsRead64(vol.bootSector + 0x30));
  EXPECT_FALSE(KnownMftExtents().empty());
  EXPECT_NE(vol.earliestTime, 0u);
  EXPECT_GE(vol.latestTime, vol.earliestTime);
}

TEST_F(NtfsVolume, MirrorServesWhenTheMftRecordIsDamaged) {
  const std::string image = Scratch("ntfs_mirror");
  fs::copy_file(kImage, image, fs::copy_options::overwrite_existing);
  {
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t boot[512];
    f.read(reinterpret_cast<char*>(boot), 512);
    f.seekp(std::streamoff(NtfsRead64(boot + 0x30) * boot[0x0D] * 512));
    f.write("XXXX", 4);
  }
  Setup(image);
  ASSERT_TRUE(ParseNtfsVolume(&ScanRunState, vol));
  size_t found = 0;
  for (const Entry& m : ReadManifest()) {
    for (uint32_t id = 6; id < vol.idLimit; ++id) {
      const FileRecord* rec = GetFileRecord(vol, id);
      if (rec && ItemPath(vol, rec) == m.path) {
        ++found;
        break;
      }
    }
  }
  EXPECT_EQ(found, ReadManifest().size());
}

DWORD StopOnLargeRead(DWORD timeoutMs, DWORD byteCount) {
  if (byteCount >= 64 * 1024) ScanRunState = kScanStopped;
  return timeoutMs;
}

TEST_F(NtfsVolume, StopLeavesNoRootAndNoTree) {
  Setup(kImage);
  ScanRunState = kScanStopped;
  EXPECT_FALSE(ParseNtfsVolume(&ScanRunState, vol));
  EXPECT_EQ(GetFileRecord(vol, kRootId), nullptr);

  // A stop raised while the MFT is being read.
  FreeAllFileRecords(vol);
  ResetVolumeContext(vol);
  Setup(kImage);
  ScanRunState = kScanRunning;
  SetReadTimeoutHook(&StopOnLargeRead);
  EXPECT_FALSE(ParseNtfsVolume(&ScanRunState, vol));
  SetReadTimeoutHook(nullptr);
  // The records read stay stored, but no tree is built: no lost-files folder, nothing linked.
  EXPECT_GT(vol.idLimit, 0u);
  EXPECT_EQ(GetFileRecord(vol, kLostFolderId), nullptr);
  const FileRecord* root = GetFileRecord(vol, kRootId);
  if (root) {
    EXPECT_EQ(Val(root->childCount), 0u);
  }
}

TEST_F(NtfsVolume, ParsingSwitchedOff) {
  Setup(kImage);
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 0\r\n", u"FileLost: FileLost\r\n");
  EXPECT_FALSE(ParseNtfsVolume(&ScanRunState, vol));
  EXPECT_EQ(vol.idLimit, 0u);
}

TEST_F(NtfsVolume, BitmapOfTheScanTarget) {
  Setup(kImage);
  ScanTarget() = vol;
  ASSERT_TRUE(LoadNtfsBitmap(&ScanRunState));
  const uint64_t clusters = vol.sectorCount / 8;
  ASSERT_NE(FreeSpaceMap(), nullptr);
  EXPECT_GE(uint64_t(FreeSpaceMapBytes()) * 8, clusters);
  EXPECT_LE(FreeSpaceMapBytes(), (clusters / 8 + 8) / 8 * 8);
  uint64_t used = 0;
  for (uint32_t i = 0; i < FreeSpaceMapBytes(); ++i) used += std::popcount(FreeSpaceMap()[i]);
  EXPECT_EQ(vol.sectorCount - used * 8, vol.freeSectors);
  // Eight clusters of a full map byte are allocated, eight of an empty one free.
  EXPECT_FALSE(HasFreeNtfsClusters(vol, FreeSpaceMap(), FreeSpaceMapBytes(), 0, 7));
  int64_t full = -1, empty = -1;
  for (uint32_t i = 0; i < FreeSpaceMapBytes() && uint64_t(i) * 8 + 8 <= clusters; ++i) {
    if (FreeSpaceMap()[i] == 0xFF && full < 0) full = i;
    if (FreeSpaceMap()[i] == 0 && empty < 0) empty = i;
  }
  ASSERT_GE(full, 0);
  ASSERT_GE(empty, 0);
  EXPECT_FALSE(HasFreeNtfsClusters(vol, FreeSpaceMap(), FreeSpaceMapBytes(), full * 64, full * 64 + 63));
  EXPECT_TRUE(HasFreeNtfsClusters(vol, FreeSpaceMap(), FreeSpaceMapBytes(), empty * 64, empty * 64 + 63));
  EXPECT_TRUE(HasFreeNtfsClusters(vol, FreeSpaceMap(), FreeSpaceMapBytes(), 0, vol.sectorCount - 1));
  EXPECT_FALSE(HasFreeNtfsClusters(vol, FreeSpaceMap(), FreeSpaceMapBytes(), vol.sectorCount, vol.sectorCount + 0x3FFF));
}

}  // namespace

TEST_F(NtfsVolume, KscanHashesMatchTheManifestForLiveAndIntactDeletedFiles) {
#ifndef KESTREL_HAVE_SHA256
  GTEST_SKIP() << "no SHA-256 here";
#endif
  const std::map<std::string, Entry> listed = RunKscanAll(kImage);
  int live = 0, deleted = 0;
  for (const Entry& m : ReadManifest()) {
    if (m.dir || (m.deleted && !m.intact)) continue;
    auto it = listed.find(KeyOf(m));
    ASSERT_NE(it, listed.end()) << KeyOf(m);
    EXPECT_EQ(it->second.sha256, m.sha256) << KeyOf(m);
    ++(m.deleted ? deleted : live);
  }
  EXPECT_GT(live, 90);
  EXPECT_GE(deleted, 3);  // a large one, a resident one and one from a full folder at least
  // Directories carry no hash; the file system's own files hash whatever they hold.
  for (const auto& [key, e] : listed)
    if (e.dir) {
      EXPECT_EQ(e.sha256, "") << key;
    }
}

TEST_F(NtfsVolume, KscanCatWritesTheItemsData) {
#ifndef KESTREL_HAVE_SHA256
  GTEST_SKIP() << "no SHA-256 here";
#endif
  const std::map<std::string, Entry> listed = RunKscanAll(kImage);
  std::map<std::string, Entry> manifest;
  for (const Entry& m : ReadManifest()) manifest[KeyOf(m)] = m;
  for (const char* path : {"/resident.txt", "/sparse.bin", "/frag.bin", "/empty.txt", "/deleted_small.txt (deleted)"}) {
    ASSERT_TRUE(listed.count(path)) << path;
    int code = 0;
    const std::string data = RunKscanCat(kImage, listed.at(path).id, code);
    EXPECT_EQ(code, 0) << path;
    EXPECT_EQ(data.size(), manifest[path].size) << path;
    EXPECT_EQ(Sha256(reinterpret_cast<const uint8_t*>(data.data()), data.size()), manifest[path].sha256) << path;
  }
  int code = 0;
  EXPECT_EQ(RunKscanCat(kImage, 3999999, code), "");
  EXPECT_EQ(code, 1);
}

TEST_F(NtfsVolume, ExtentsOfResidentSparseAndUnjoinedRecords) {
  InitNtfsExtentProvider();
  Setup(kImage);
  ASSERT_TRUE(ParseNtfsVolume(&ScanRunState, vol));
  std::map<std::string, uint32_t> ids;
  for (uint32_t id = 1; id < vol.idLimit; ++id)
    if (const FileRecord* rec = GetFileRecord(vol, id)) ids[ItemPath(vol, rec)] = id;
  DataExtentList runs;
  const FileRecord* resident = GetFileRecord(vol, ids["/resident.txt"]);
  ASSERT_NE(resident, nullptr);
  ASSERT_EQ(GetRecordExtents(vol, ids["/resident.txt"], runs), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].startLba, uint64_t(resident->lba));
  EXPECT_EQ(runs[0].sectorCount, 2u);

  ASSERT_EQ(GetRecordExtents(vol, ids["/sparse.bin"], runs), 1);
  bool sparse = false;
  for (const DataExtent& e : runs) sparse = sparse || e.startLba >= uint64_t(kUnknownSizeLba);
  EXPECT_TRUE(sparse);
  auto* block = static_cast<uint8_t*>(AllocMem(kMaxItemRead, 1));
  const FileRecord* sp = GetFileRecord(vol, ids["/sparse.bin"]);
  ASSERT_EQ(ReadRecordData(vol, *sp, 0, block), 4u << 20);
  bool zeros = true;
  for (uint32_t i = 0; i < (4u << 20) - 8192; ++i) zeros = zeros && block[i] == 0;
  EXPECT_TRUE(zeros);
  // A piece from an offset: the last 100 bytes.
  ASSERT_EQ(ReadRecordData(vol, *sp, (4u << 20) - 100, block), 100u);
  FreeMem(block);

  // An attribute list that was never joined is not a run list.
  FileRecord* frag = GetFileRecord(vol, ids["/frag.bin"]);
  ASSERT_NE(frag, nullptr);
  const uint16_t flags = frag->flags;
  frag->flags = uint16_t(flags | kRecAttrList);
  EXPECT_EQ(GetRecordExtents(vol, ids["/frag.bin"], runs), 0);
  frag->flags = flags;
}

TEST_F(NtfsVolume, IndexRecordsOfParsedFoldersAreKnownAndParse) {
  ClearKnownIndxLbas();
  ClearIndxFileList();
  Setup(kImage);
  ASSERT_TRUE(ParseNtfsVolume(&ScanRunState, vol));
  // The root and /docs/many hold index allocations of a few clusters each.
  ASSERT_GE(KnownIndxLbas().size(), 2u);
  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(ScanTarget(), reader));
  int parsed = 0;
  for (uint64_t lba : KnownIndxLbas()) {
    uint8_t raw[kIndxRecordBytes];
    ASSERT_TRUE(reader.ReadSectors(raw, lba, 8));
    if (std::memcmp(raw, "INDX", 4) != 0) continue;  // a cluster inside a longer record
    const std::vector<uint8_t> before(raw, raw + sizeof raw);
    EXPECT_TRUE(ParseRawIndxRecord(raw)) << lba;
    EXPECT_EQ(std::vector<uint8_t>(raw, raw + sizeof raw), before);  // the fix-ups went to a copy
    ++parsed;
  }
  EXPECT_GE(parsed, 2);
  // Their files are text files, which have no minimum size and are never kept.
  std::lock_guard<std::mutex> g(IndxFileListLock());
  EXPECT_TRUE(IndxFileList().empty());
  KnownIndxLbas().clear();
}

// Files of many runs (their names and runs in extension records), compressed files and a file
// whose folder's record was reused, live and deleted, as the NTFS library writes them.
TEST_F(NtfsVolume, ListedCompressedAndOrphanedFilesReadWhole) {
#ifndef KESTREL_HAVE_SHA256
  GTEST_SKIP() << "no SHA-256 here";
#endif
  const std::string image = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_quirks.img";
  const std::string manifest = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_quirks.manifest";
  if (!fs::exists(manifest)) GTEST_SKIP() << "no NTFS quirks image";
  const std::map<std::string, Entry> listed = RunKscanAll(image);
  int checked = 0;
  std::ifstream in(manifest);
  for (std::string line; std::getline(in, line);) {
    Entry m = ParseLine(line);
    const std::string found = Field(line, "found");
    if (!found.empty()) m.path = found;
    auto it = listed.find(KeyOf(m));
    ASSERT_NE(it, listed.end()) << KeyOf(m);
    EXPECT_EQ(it->second.size, m.size) << m.path;
    EXPECT_EQ(it->second.mtime, m.mtime) << m.path;
    if (m.dir || (m.deleted && !m.intact)) continue;
    EXPECT_EQ(it->second.sha256, m.sha256) << m.path;
    ++checked;
  }
  EXPECT_GE(checked, 10);
  // Nothing lands in the folder that took the orphan's folder's record.
  for (const auto& [key, e] : listed) EXPECT_NE(key.rfind("/new/", 0), 0u) << key;
}

// At the end of a deep scan, files only the scan's index records still name join the volume.
TEST_F(NtfsVolume, IndexOnlyFilesJoinTheParsedVolumeAtTheScanEnd) {
  ClearIndxFileList();
  FileRecord item{};
  item.id = 3999000;
  item.parent = kRootId;
  item.size = 12345;
  item.lba = 4000;
  item.ctime = item.mtime = PackTime(2021, 3, 7, 12, 0, 0);
  SetRecordName(item, u"only in an index.jpg");
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    IndxFileList().push_back(item);
  }
  ScanEndStageActive = 1;
  Setup(kImage);
  const bool parsed = ParseNtfsVolume(&ScanRunState, vol);
  ScanEndStageActive = 0;
  ASSERT_TRUE(parsed);
  bool found = false;
  for (uint32_t id = 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id);
    found = found || (rec && rec->name && std::u16string(rec->name) == u"only in an index.jpg");
  }
  EXPECT_TRUE(found);
  ClearIndxFileList();
}
