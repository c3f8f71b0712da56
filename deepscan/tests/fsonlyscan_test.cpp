// The file-system-only scan over image files presented as the drives of injected device lists,
// with message-only windows standing in for the main window and a result view; and the split
// that "kscan fs --deleted" and "kscan recycle" print, checked against the fixture manifests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "core/devicelists.h"
#include "core/recyclebin.h"
#include "core/tests/volumelistfixture.h"
#include "deepscan/fsonlyscan.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/sectorsignature.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "platform/thread.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/shellrun.h"

namespace {

using Paths = std::vector<std::string>;

const std::string kFixtures = KESTREL_FIXTURE_DIR;
const std::string kRecycleImage = kFixtures + "/ntfs_recycle.img";
const std::string kSmallImage = kFixtures + "/ntfs_small.img";

bool Exists(const std::string& p) { return std::ifstream(p).good(); }
// The text of a string field of one JSON line (the fixtures' paths hold no quotes).
std::string Field(const std::string& line, const std::string& key) {
  const std::string head = "\"" + key + "\":\"";
  const size_t at = line.find(head);
  if (at == std::string::npos) return "";
  const size_t from = at + head.size();
  return line.substr(from, line.find('"', from) - from);
}
bool Flag(const std::string& line, const std::string& key) { return line.find("\"" + key + "\":true") != std::string::npos; }

struct Item {
  bool dir = false;
  bool deleted = false;
  std::string sha;
};
// path → item, from JSON lines.
std::map<std::string, Item> ReadLines(const std::string& text) {
  std::map<std::string, Item> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
    out[Field(line, "path")] = {Flag(line, "dir"), Flag(line, "deleted"), Field(line, "sha256")};
  }
  return out;
}

std::map<std::string, Item> Manifest(const std::string& image) {
  std::ifstream in(image.substr(0, image.size() - 4) + ".manifest");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ReadLines(text);
}

std::map<std::string, Item> Kscan(const std::string& args) { return ReadLines(CaptureOutput(std::string(KSCAN_TOOL) + " " + args)); }

TEST(KscanSplit, DeletedFilesAgainstTheManifests) {
  for (const std::string& image : {kSmallImage, kRecycleImage}) {
    SCOPED_TRACE(image);
    if (!Exists(image)) {
      GTEST_SKIP() << "NTFS fixture images not built";
    }
    const auto manifest = Manifest(image);
    const auto listed = Kscan("fs '" + image + "' --deleted");
    size_t deletedFiles = 0;
    for (const auto& [path, m] : manifest) {
      if (!m.deleted) continue;
      auto it = listed.find(path);
      ASSERT_NE(it, listed.end()) << path;
      EXPECT_TRUE(it->second.deleted) << path;
      if (!m.dir) ++deletedFiles;
    }
    // Every file listed is deleted, or lies in a folder that was deleted as a whole (the
    // Recycle Bin folder becomes one).
    size_t files = 0;
    for (const auto& [path, item] : listed) {
      if (item.dir) continue;
      ++files;
      const std::string parent = path.substr(0, path.rfind('/'));
      const bool inDeletedDir = listed.count(parent) && listed.at(parent).deleted;
      EXPECT_TRUE(item.deleted || inDeletedDir || path.rfind("/RecycleBin/", 0) == 0) << path;
      // No live file of the manifest shows up (those in the Recycle Bin are listed under its
      // new name).
      auto m = manifest.find(path);
      if (m != manifest.end()) {
        EXPECT_TRUE(m->second.deleted) << path;
      }
    }
    if (image == kSmallImage) {
      EXPECT_EQ(files, deletedFiles);
    } else {
      // Two deleted files, the six files of the Recycle Bin folder, and the restored copies of
      // the recycled file and of the recycled directory's two files, each twice.
      EXPECT_EQ(files, 2u + 6u + 6u);
    }
  }
}

TEST(KscanSplit, RecycleBinCutRestoresNamesAndPlaces) {
  if (!Exists(kRecycleImage)) {
    GTEST_SKIP() << "NTFS fixture images not built";
  }
  const auto manifest = Manifest(kRecycleImage);
  const auto listed = Kscan("recycle '" + kRecycleImage + "'");
  const std::string user = "/$Recycle.Bin/S-1-5-21-1111-2222-3333-1001";
  struct Want {
    std::string path;
    std::string from;  // the manifest item whose data it must hold
  };
  const Want wants[] = {
      {"/RecycleBin/Users/alice/Documents/report.txt", user + "/$RAB12CD.txt"},
      {"/RecycleBin/Users/alice/Projects/src/a.txt", user + "/$RDIR001/a.txt"},
      {"/RecycleBin/Users/alice/Projects/src/sub/b.txt", user + "/$RDIR001/sub/b.txt"},
      {"/RecycleBin/S-1-5-21-1111-2222-3333-1001/$RAB12CD.txt", user + "/$RAB12CD.txt"},
  };
  for (const Want& w : wants) {
    auto it = listed.find(w.path);
    ASSERT_NE(it, listed.end()) << w.path;
    EXPECT_EQ(it->second.sha, manifest.at(w.from).sha) << w.path;
  }
  EXPECT_TRUE(listed.at("/RecycleBin/Users/alice/Documents/report.txt").deleted);
  EXPECT_TRUE(listed.at("/RecycleBin").deleted && listed.at("/RecycleBin").dir);
  for (const auto& [path, item] : listed)
    EXPECT_TRUE(path.rfind("/RecycleBin", 0) == 0 || path.rfind("/FileLost", 0) == 0) << path;
  // A volume without a Recycle Bin and without lost files publishes nothing.
  if (Exists(kSmallImage)) {
    EXPECT_TRUE(Kscan("recycle '" + kSmallImage + "'").empty());
  }
}

// Drives of one or more fake disks; the images are real volumes.
class FsOnlyScan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists(kRecycleImage) || !Exists(kSmallImage)) {
      GTEST_SKIP() << "NTFS fixture images not built";
    }
    LoadSettingsForTest(u"Tesmur", u"Pro",
                        u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\n",
                        CString(kViewTestLang + u"RecycleBin: Recycle Bin\r\n"));
    InitFileTypeTables();
    InitNtfsExtentProvider();
    InitFatExtentProvider();
    InitExfatExtentProvider();
    InitSectorSignatureMatcher();
    InstallRecycleBinRepair();
    TakeReceived();
    TestLog().onMessage = nullptr;
    listener_ = MakeListenerWindow();
    main_ = MakeListenerWindow();
    AppVolumeList().AddListener(listener_);
    AppVolumeList().mainWindow = main_;
    dir_ = testing::TempDir() + "fsonly_" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p '" + dir_ + "'").c_str()), 0);
  }
  void TearDown() override {
    TestLog().onMessage = nullptr;
    ClearVolumeList(AppVolumeList());
    AppVolumeList().mainWindow = nullptr;
    if (listener_) DestroyWindow(listener_);
    if (main_) DestroyWindow(main_);
    TakeReceived();
    ClearDeviceLists();
    ResetVolumeContext(ScanTarget());
    SetRepairRecycleBinHook(nullptr);
    SetCopyRecordUnderHook(nullptr);
    if (!dir_.empty()) {
      EXPECT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }
  }

  static VolumeContext Disk(uint32_t number, uint32_t removable, uint32_t trim) {
    VolumeContext d;
    d.diskNumber = number;
    d.removable = removable;
    d.trimEnabled = trim;
    d.targetKind = kTargetDisk;
    return d;
  }
  // A drive entry over the whole image, recognised as the discovery would.
  static VolumeContext Drive(const std::string& image, uint32_t disk, const char16_t* letterPath,
                             uint32_t removable = 0) {
    VolumeContext src;
    src.devicePath = CString(std::u16string(image.begin(), image.end()));
    std::ifstream in(image, std::ios::binary | std::ios::ate);
    src.sectorCount = in ? uint64_t(in.tellg()) / 512 : 0;
    src.diskNumber = disk;
    src.targetKind = kTargetDrive;
    VolumeContext out = src;
    DiskReader reader;
    uint8_t boot[512] = {};
    if (OpenVolumeDevice(src, reader) && reader.ReadSectors(boot, 0, 1)) {
      const uint32_t type = ProbeBootSector(boot);
      if (type) SetupVolumeOfType(type, src, reader, boot, 0, src.sectorCount, out);
    }
    out.devicePath = src.devicePath;
    out.diskNumber = disk;
    out.removable = removable;
    out.volumePath = letterPath;
    out.targetKind = kTargetDrive;
    return out;
  }
  // A FAT32 volume with one live file and, unless withDeleted is false, one deleted file; ""
  // without the tools.
  std::string MakeFat32(bool withDeleted = true) {
    if (!HaveTool("mkfs.fat") || !HaveTool("mcopy") || !HaveTool("mdel")) return "";
    const std::string name = withDeleted ? "fat32.img" : "fat32live.img";
    const std::string img = dir_ + "/" + name;
    const std::string script = "cd '" + dir_ + "' && export MTOOLS_SKIP_CHECK=1 && truncate -s 40M " + name +
                               " && mkfs.fat -F 32 " + name + " >/dev/null && head -c 3000 /dev/urandom > keep.bin && "
                               "head -c 5000 /dev/urandom > gone.bin && mcopy -i " + name + " keep.bin gone.bin :: && " +
                               (withDeleted ? "mdel -i " + name + " ::gone.bin" : "true");
    return system(("sh -c \"" + script + "\"").c_str()) == 0 ? img : "";
  }
  static void Publish(std::vector<VolumeContext> disks, std::vector<VolumeContext> drives) {
    ASSERT_TRUE(PublishDeviceLists(std::move(disks), std::move(drives), [] { return false; }));
  }
  // Device paths of the published volumes, in slot order.
  static std::vector<std::string> PublishedDevices() {
    VolumeList& list = AppVolumeList();
    std::vector<std::string> out;
    for (uint32_t s = kFirstScannedSlot; s < list.slotCount; ++s) out.push_back(list.slots[s].devicePath.ToUtf8());
    return out;
  }
  static std::vector<Paths> PublishedTrees() {
    VolumeList& list = AppVolumeList();
    std::vector<Paths> out;
    for (uint32_t s = kFirstScannedSlot; s < list.slotCount; ++s) out.push_back(TreePathsOf(list.slots[s]));
    return out;
  }
  // Paths below the root without the root's label, which the list gives it.
  static Paths TreePathsOf(const VolumeContext& v) {
    Paths out;
    std::vector<std::pair<uint32_t, std::string>> stack{{kRootId, ""}};
    while (!stack.empty()) {
      auto [id, path] = stack.back();
      stack.pop_back();
      for (uint32_t c : ChildList(GetFileRecord(v, id, 0))) {
        const FileRecord* r = GetFileRecord(v, c, 0);
        if (!r || c == kRootId) continue;
        const std::string p = path + "/" + CString(r->name).ToUtf8();
        out.push_back(p);
        if (r->flags & kRecDirectory) stack.push_back({c, p});
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  static size_t Count(const std::vector<Received>& got, HWND h, UINT msg, WPARAM w) {
    size_t n = 0;
    for (const Received& r : got)
      if (r.hwnd == h && r.msg == msg && r.wParam == w) ++n;
    return n;
  }
  // A volume standing for the results of an earlier scan.
  static void PutEarlierResults() {
    ResetVolumeList(AppVolumeList(), nullptr, 0);
    VolumeContext v = MakeVolume({{6, 5, u"earlier.txt", false, 10}});
    v.devicePath = u"earlier";
    AddScannedVolume(AppVolumeList(), nullptr, v, 0);
  }

  HWND listener_ = nullptr;
  HWND main_ = nullptr;
  std::string dir_;
};

TEST_F(FsOnlyScan, ChosenDiskLetteredDrivesOneResetOneResultsReady) {
  const std::string fat = MakeFat32();
  struct Case {
    const char* what;
    std::vector<VolumeContext> disks;
    uint32_t chosen;
  };
  const Case cases[] = {
      {"USB first, TRIM second: disk 0", {Disk(0, 1, 0), Disk(1, 0, 1)}, 0},
      {"USB first, plain second: disk 1", {Disk(0, 1, 0), Disk(1, 0, 0)}, 1},
      {"no disks: disk 0", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t other = c.chosen == 0 ? 1 : 0;
    std::vector<VolumeContext> drives{
        Drive(kRecycleImage, c.chosen, u"C:\\"),
        Drive(kSmallImage, other, u"D:\\"),                 // another disk
        Drive(kSmallImage, c.chosen, u""),                  // unlettered
        Drive(kSmallImage, c.chosen, u"F:\\", 1),           // removable
        Drive(kSmallImage, c.chosen, u"G:\\"),
    };
    if (!fat.empty()) drives.push_back(Drive(fat, c.chosen, u"H:\\"));
    Publish(c.disks, drives);
    PutEarlierResults();
    TakeReceived();
    int32_t workersSeen = -1;
    TestLog().onMessage = [&](const Received& r) {
      if (r.msg == WM_VIEW_RESULTSREADY) workersSeen = WorkerThreadCount();
    };
    std::atomic<uint32_t> state{kScanRunning};
    EXPECT_EQ(ParseFileSystemsThread(&state), 0u);
    TestLog().onMessage = nullptr;
    const auto got = TakeReceived();
    std::vector<std::string> want{kRecycleImage, kSmallImage};
    if (!fat.empty()) want.push_back(fat);
    // The earlier results went with the one reset; a second reset would have taken the first
    // published volume with it.
    EXPECT_EQ(PublishedDevices(), want);
    EXPECT_EQ(Count(got, listener_, WM_VIEW_RESULTSREADY, 4), 1u);
    EXPECT_EQ(Count(got, main_, WM_SCAN_FINISHED, 0), 1u);
    EXPECT_EQ(got.back().msg, WM_SCAN_FINISHED);
    EXPECT_EQ(workersSeen, 1);
    EXPECT_EQ(WorkerThreadCount(), 0);
    EXPECT_EQ(state.load(), uint32_t(kScanRunning));  // the run never changes the word
    for (uint32_t s = kFirstScannedSlot; s < AppVolumeList().slotCount; ++s)
      EXPECT_EQ(AppVolumeList().slots[s].splitKind, uint32_t(kSplitDeleted));
  }
}

TEST_F(FsOnlyScan, SecondRunGivesTheSameLists) {
  const std::string fat = MakeFat32();
  std::vector<VolumeContext> drives{Drive(kRecycleImage, 0, u"C:\\"), Drive(kSmallImage, 0, u"D:\\")};
  if (!fat.empty()) drives.push_back(Drive(fat, 0, u"E:\\"));
  Publish({Disk(0, 0, 0)}, drives);
  std::atomic<uint32_t> state{kScanRunning};
  ParseFileSystemsThread(&state);
  const std::vector<Paths> first = PublishedTrees();
  ASSERT_EQ(first.size(), drives.size());
  for (const Paths& p : first) EXPECT_FALSE(p.empty());
  const Paths& recycle = first[0];
  for (const char* want : {"/Recycle Bin/Users/alice/Documents/report.txt", "/Users/alice/Documents/report.txt",
                           "/Users/alice/old.txt", "/tmp/scratch.bin"})
    EXPECT_NE(std::find(recycle.begin(), recycle.end(), want), recycle.end()) << want;
  ParseFileSystemsThread(&state);
  EXPECT_EQ(PublishedTrees(), first);
}

TEST_F(FsOnlyScan, FinishedEvenWhenEverythingFailsAndEarlierResultsStay) {
  Publish({Disk(0, 0, 0)}, {Drive(dir_ + "/missing.img", 0, u"C:\\"), Drive(kSmallImage, 0, u"D:\\")});
  PutEarlierResults();
  TakeReceived();
  std::atomic<uint32_t> state{kScanStopped};  // stopped before it began: every parse fails
  ParseFileSystemsThread(&state);
  const auto got = TakeReceived();
  EXPECT_EQ(PublishedDevices(), std::vector<std::string>{"earlier"});
  EXPECT_EQ(Count(got, listener_, WM_VIEW_RESULTSREADY, 4), 0u);
  EXPECT_EQ(Count(got, main_, WM_SCAN_FINISHED, 0), 1u);
}

TEST_F(FsOnlyScan, ResetWaitsForTheFirstVolumeWithDeletedFiles) {
  const std::string live = MakeFat32(false);
  if (live.empty()) {
    GTEST_SKIP() << "mkfs.fat or mtools missing";
  }
  // A drive that parses but has nothing deleted publishes nothing: alone, it leaves the
  // earlier results; before another drive, the reset waits for that drive's volume.
  struct Case {
    std::vector<VolumeContext> drives;
    std::vector<std::string> published;
    size_t resultsReady;
  };
  const Case cases[] = {
      {{Drive(live, 0, u"C:\\")}, {"earlier"}, 0},
      {{Drive(live, 0, u"C:\\"), Drive(kSmallImage, 0, u"D:\\")}, {kSmallImage}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drives.size());
    Publish({Disk(0, 0, 0)}, c.drives);
    PutEarlierResults();
    TakeReceived();
    std::atomic<uint32_t> state{kScanRunning};
    ParseFileSystemsThread(&state);
    const auto got = TakeReceived();
    EXPECT_EQ(PublishedDevices(), c.published);
    EXPECT_EQ(Count(got, listener_, WM_VIEW_RESULTSREADY, 4), c.resultsReady);
    EXPECT_EQ(Count(got, main_, WM_SCAN_FINISHED, 0), 1u);
  }
}

TEST_F(FsOnlyScan, StopInTheMiddleOnItsOwnThread) {
  Publish({Disk(0, 0, 0)}, {Drive(kRecycleImage, 0, u"C:\\"), Drive(kSmallImage, 0, u"D:\\"),
                            Drive(kRecycleImage, 0, u"E:\\")});
  std::atomic<uint32_t> state{kScanRunning};
  // The first published volume stops the run: the parsers of the remaining drives give up.
  TestLog().onMessage = [&](const Received& r) {
    if (r.msg == WM_VIEW_SLOTADDED) state = kScanStopped;
  };
  TakeReceived();
  CWinThread* t = AfxBeginThread(&ParseFileSystemsThread, &state);
  ASSERT_NE(t, nullptr);
  bool finished = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!finished && std::chrono::steady_clock::now() < until) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    PumpSentMessages();
    {
      std::lock_guard<std::mutex> guard(TestLog().lock);
      for (const Received& r : TestLog().items)
        if (r.msg == WM_SCAN_FINISHED) finished = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  TestLog().onMessage = nullptr;
  ASSERT_TRUE(finished);
  const auto got = TakeReceived();
  EXPECT_EQ(PublishedDevices(), std::vector<std::string>{kRecycleImage});
  EXPECT_EQ(Count(got, listener_, WM_VIEW_RESULTSREADY, 4), 1u);
  for (int i = 0; i < 1000 && WorkerThreadCount() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(WorkerThreadCount(), 0);
}

}  // namespace
