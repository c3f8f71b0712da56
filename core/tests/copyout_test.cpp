// Copy-out of found files: a fake device whose sector N holds the number N, volumes of records
// with explicit runs on it, and the dialogs answered by script.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "base/packedtime.h"
#include "base/pathutil.h"
#include "base/textutil.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "core/copyrun.h"
#include "core/filetree.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "core/tests/coretestenv.h"
#include "core/tests/fakestorage.h"
#include "core/tests/recordfixture.h"
#include "core/volumelist.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/wintime.h"

namespace fs = std::filesystem;

namespace {

const char16_t kCopyLang[] =
    u"Open: open\r\nRecover: recover\r\n"
    u"MustScanEndToHand: wait before you %s\r\n"
    u"SelRecoverFile: tick files\r\n"
    u"RecoverTerminat: stopped\r\n"
    u"RecoverEncountErr: %u reads failed\r\n"
    u"RecoverTotalInfo: %u files (%s)\r\n"
    u"RecoverFailedFiles: %u failed\r\n"
    u"RecoverZeroSectors: %I64u zero sectors\r\n"
    u"RecoverDevOpenFailed: cannot open %s\r\n"
    u"RecoverDeviceLost: lost %s\r\n"
    u"RecoverDiskFull: target full\r\n"
    u"RecoverDirFailed: no folder %s\r\n"
    u"RecoverDirOnSource: on source\r\n"
    u"RecoverNoSpace: needs %s, free %s\r\n"
    u"CloseTempFileToOpenNew: close temp files\r\n"
    u"UsbNeedRetry: gone\r\nRetry: Retry\r\nCancel: Cancel\r\n"
    u"Files: Files\r\nFileLost: Lost\r\n";

// What the scripted dialogs saw.
struct Script {
  std::vector<std::u16string> boxes;
  std::vector<bool> answers;  // message box answers in turn; false after the end
  size_t nextAnswer = 0;
  RecoverOptions options;
  bool paramOk = true;
  std::vector<std::u16string> support;
  std::vector<std::u16string> shellOpened;
  uint32_t scanState = 2;
  std::atomic<std::atomic<uint32_t>*> status{nullptr};
  // Runs in place of the dialog's loop when set.
  bool (*runDialog)() = nullptr;
  std::mutex progressLock;
  CopyProgress lastProgress{};
  int posts = 0;
};
Script* g_script = nullptr;

bool Box(const CString& text, const CString&, const CString&) {
  g_script->boxes.push_back(text.Str());
  const size_t i = g_script->nextAnswer++;
  return i < g_script->answers.size() && g_script->answers[i];
}
bool ShellOpenRec(const CString& target) {
  g_script->shellOpened.push_back(target.Str());
  return true;
}
bool ParamDlg(void*, uint32_t, uint64_t, RecoverOptions& o) {
  o = g_script->options;
  return g_script->paramOk;
}
void SupportDlg(void*, const CString& text) { g_script->support.push_back(text.Str()); }
uint32_t ScanState() { return g_script->scanState; }
void Post(const CopyProgress& p) {
  std::lock_guard<std::mutex> g(g_script->progressLock);
  g_script->lastProgress = p;
  ++g_script->posts;
}
bool CreateDlg(std::atomic<uint32_t>* s, void*) {
  g_script->status.store(s);
  return true;
}
bool RunDlg() {
  if (g_script->runDialog) return g_script->runDialog();
  std::atomic<uint32_t>* s = g_script->status.load();
  while (s->load() != kCopyJobDone && s->load() != kCopyJobStopped) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return s->load() == kCopyJobDone;
}

// The bytes a run of the fake device holds.
std::string DeviceBytes(uint64_t lba, uint64_t sectors) {
  std::string out(sectors * 512, '\0');
  for (uint64_t i = 0; i < sectors; ++i) FillLbaSector(reinterpret_cast<uint8_t*>(out.data()) + i * 512, lba + i);
  return out;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Item {
  uint32_t id;
  uint32_t parent;
  const char16_t* name;
  bool dir = false;
  uint64_t size = 0;
  std::vector<std::pair<uint64_t, uint64_t>> runs = {};  // (LBA, sectors)
  uint32_t ctime = 0;
  uint32_t mtime = 0;
  uint16_t extraFlags = 0;
};

class CopyOut : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-SaveDir: Recovered\r\n", kCopyLang);
    InitFileTypeTables();
    script = std::make_unique<Script>();
    g_script = script.get();
    SetMessageBoxHandler(&Box);
    SetShellOpenHandler(&ShellOpenRec);
    CopyOutServices sv;
    sv.saveParamDlg = &ParamDlg;
    sv.supportSoftDlg = &SupportDlg;
    sv.scanRunState = &ScanState;
    sv.createProgressDlg = &CreateDlg;
    sv.runProgressDlg = &RunDlg;
    sv.postProgress = &Post;
    SetCopyOutServices(sv);
    device = std::make_shared<FakeDevice>(100000);
    backend.Add("fake0", device);
    SetStorageBackend(&backend);
    ResetVolumeContext(ScanTarget());
    ScanTarget().devicePath = u"fake0";
    ScanTarget().name = u"FakeDisk";
    ScanTarget().sectorCount = 100000;
    root = fs::temp_directory_path() / ("kestrel_copyout_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root / "out");
    script->options.folder = CString(FromHostPath((root / "out").string()));
    script->options.errorChoice = kErrorKeepPart;
    ResetVolumeList(list, nullptr, 0);
  }
  void TearDown() override {
    // A worker left running by a stop ends before the list goes.
    for (int i = 0; i < 5000 && CopyOutRunning.load() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ClearVolumeList(list);
    SetCopyWriteHook(nullptr);
    SetTempCopyInUseHook(nullptr);
    SetCopyOutServices(CopyOutServices());
    SetStorageBackend(nullptr);
    SetMessageBoxHandler(nullptr);
    SetShellOpenHandler(nullptr);
    ResetVolumeContext(ScanTarget());
    ClearTempCopies();
    fs::remove_all(root);
    g_script = nullptr;
  }

  // Adds a volume of the items (parents first), every item ticked; returns its slot.
  uint32_t AddVolume(const std::vector<Item>& items, const char16_t* label = u"Data", uint32_t type = kVolTypeNtfs,
                     uint64_t sectors = 0) {
    VolumeContext v;
    ResetVolumeContext(v);
    v.type = type;
    v.sectorCount = sectors;
    v.label = label;
    CreateRootAndLostFolders(v);
    for (const Item& it : items) {
      FileRecord r = MakeRecord({it.id, it.parent, it.name, uint16_t(kRecInUse | (it.dir ? kRecDirectory : 0)), 0,
                                 it.ctime, it.dir ? 0 : it.size});
      r.mtime = it.mtime;
      r.flags = uint16_t(r.flags | it.extraFlags);
      if (!it.runs.empty()) {
        r.flags = uint16_t(r.flags | kRecExtentList);
        r.blob = static_cast<uint8_t*>(AllocMem(it.runs.size() * 16, 1));
        for (size_t i = 0; i < it.runs.size(); ++i) {
          std::memcpy(r.blob + 16 * i, &it.runs[i].first, 8);
          std::memcpy(r.blob + 16 * i + 8, &it.runs[i].second, 8);
        }
        r.blobLength = uint32_t(it.runs.size() * 16);
      }
      AddFileRecord(v, r, 1);
    }
    AddScannedVolume(list, nullptr, v, 0);
    const uint32_t slot = list.slotCount - 1;
    SetSubtreeCheck(list, slot, kRootId, 1);
    return slot;
  }
  fs::path Out() const { return root / "out" / "Recovered"; }
  // The folder name a slot's files go to.
  std::string SlotName(uint32_t slot) {
    CString label;
    GetVolumeSlotLabel(list, slot, label);
    ColonToBlank(label);
    RepairNameComponent(label);
    return label.ToUtf8();
  }
  fs::path SlotDir(const fs::path& base, uint32_t slot) { return base / "Recovered" / SlotName(slot); }

  std::unique_ptr<Script> script;
  std::shared_ptr<FakeDevice> device;
  FakeBackend backend;
  std::unique_ptr<VolumeList> owned = std::make_unique<VolumeList>();
  VolumeList& list = *owned;
  fs::path root;
};

int64_t MtimeOf(const fs::path& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? int64_t(st.st_mtime) : -1;
}

int64_t PackedToUnix(uint32_t packed) {
  FILETIME ft{};
  EXPECT_TRUE(PackedTimeToFileTime(packed, ft));
  return FileTimeToUnix(ft);
}

TEST_F(CopyOut, CheckedItemsLandInLabelFoldersWithTheirBytesAndTimes) {
  const uint32_t t1 = PackTime(2021, 3, 6, 5, 6, 7), t2 = PackTime(2021, 3, 7, 8, 9, 10);
  const uint32_t s1 = AddVolume({{10, 5, u"docs", true},
             {11, 10, u"a.txt", false, 1000, {{200, 4}}, t1, t2},                 // 1000 bytes of a 4-sector run
             {12, 5, u"big.bin", false, 5000000, {{1000, 5000}, {9000, 5000}}, t1, t2},  // two runs, two chunks
             {13, 5, u"empty.txt", false, 0, {}, t1, t2},
             {14, 5, u"notime.txt", false, 10, {{300, 1}}, 0, t2}},
            u"Data");
  const uint32_t s2 = AddVolume({{10, 5, u"other.bin", false, 600, {{500, 2}}, t1, t2}}, u"Second");
  ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);

  const fs::path first = Out() / SlotName(s1), second = Out() / SlotName(s2);
  EXPECT_EQ(SlotName(s1).rfind("01 Data", 0), 0u);
  ASSERT_TRUE(fs::is_directory(first)) << "label folders: " << fs::directory_iterator(Out())->path();
  EXPECT_EQ(ReadAll(first / "docs" / "a.txt"), DeviceBytes(200, 4).substr(0, 1000));
  EXPECT_EQ(ReadAll(first / "big.bin"), (DeviceBytes(1000, 5000) + DeviceBytes(9000, 5000)).substr(0, 5000000));
  EXPECT_EQ(ReadAll(second / "other.bin"), DeviceBytes(500, 2).substr(0, 600));
  EXPECT_EQ(MtimeOf(first / "docs" / "a.txt"), PackedToUnix(t2));
  // An empty file and a record without a creation time keep the times their creation gave them.
  EXPECT_EQ(fs::file_size(first / "empty.txt"), 0u);
  EXPECT_GT(MtimeOf(first / "empty.txt"), PackedToUnix(t2) + 86400);
  EXPECT_GT(MtimeOf(first / "notime.txt"), PackedToUnix(t2) + 86400);

  const CopyStatisticsValues st = GetCopyStatistics();
  EXPECT_EQ(st.lastFiles, 5u);
  {
    // The last progress record: every file handled, every byte counted, the last file named.
    std::lock_guard<std::mutex> g(script->progressLock);
    const CopyProgress p = script->lastProgress;
    EXPECT_EQ(p.kind, 3u);
    EXPECT_EQ(p.filesTotal, 5u);
    EXPECT_EQ(p.filesDone, 5u);
    EXPECT_EQ(p.bytesTotal, 5001610u);
    EXPECT_EQ(p.bytesDone, 5001610u);
    EXPECT_EQ(std::u16string(CString(p.name).Str()), u"other.bin");
    EXPECT_GE(script->posts, 6);
  }
  EXPECT_EQ(st.lastBytes, 1000u + 5000000u + 10u + 600u);
  ASSERT_EQ(script->support.size(), 1u);
  EXPECT_EQ(script->support[0], u"5 files (4.77(MB))");
  EXPECT_TRUE(script->boxes.empty());
  EXPECT_EQ(GetLastSaveFolder().Str(), CString(FromHostPath(Out().string())).Str());
}

TEST_F(CopyOut, SaveFolderAndSelection) {
  // A chosen folder already named like the save folder gets no second level.
  fs::create_directories(root / "out" / "Recovered");
  RecoverJob* job = NewRecoverJob(1);
  CopyToWBuf(job->folder, kRecoverFolderUnits, CString(FromHostPath((root / "out" / "Recovered").string())));
  CString folder;
  ASSERT_TRUE(PrepareSaveFolder(*job, folder));
  EXPECT_EQ(folder.ToUtf8(), (root / "out" / "Recovered").string());
  ReleaseJob(job);

  FileRecord r = MakeRecord({20, 5, u"x", 0});
  const struct {
    uint16_t bits;
    int withFlag;
  } cases[] = {{0, 0}, {kRecChecked, 1}, {kRecPartChecked, 1}, {kRecChecked | kRecPartChecked, 0}};
  for (const auto& c : cases) {
    r.flags = c.bits;
    EXPECT_EQ(IsItemSelectedForCopy(&r, 1), c.withFlag) << c.bits;
    EXPECT_EQ(IsItemSelectedForCopy(&r, 0), 1);
  }
  EXPECT_EQ(IsItemSelectedForCopy(nullptr, 0), 0);
  FreeMem(r.name);

  // Nothing ticked: the user is asked to tick files and nothing runs.
  const uint32_t slot = AddVolume({{10, 5, u"a.bin", false, 10, {{1, 1}}}});
  SetSubtreeCheck(list, slot, kRootId, 0);
  EXPECT_EQ(RecoverCheckedItems(list, 0, 0), 0);
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"tick files"});
}

TEST_F(CopyOut, ClashingNamesAreNumberedAndNeverOverwritten) {
  const fs::path dir = root / "clash";
  fs::create_directories(dir);
  { std::ofstream(dir / "Photo.JPG") << "original"; }
  const CString base = CString(FromHostPath((dir / "Photo.JPG").string()));
  for (const char* want : {"Photo (1).jpg", "Photo (2).jpg"}) {
    CString p = base;
    const int fd = CreateUniqueTargetFile(p);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(fs::path(p.ToUtf8()).filename().string(), want);
  }
  EXPECT_EQ(ReadAll(dir / "Photo.JPG"), "original");
  // Without an extension the number goes at the end.
  { std::ofstream(dir / "README") << "x"; }
  CString p = CString(FromHostPath((dir / "README").string()));
  int fd = CreateUniqueTargetFile(p);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EQ(fs::path(p.ToUtf8()).filename().string(), "README (1)");
  // With every number taken the file fails; nothing is replaced.
  for (int n = 3; n <= 1023; ++n) std::ofstream(dir / ("Photo (" + std::to_string(n) + ").jpg")) << "taken";
  p = base;
  EXPECT_EQ(CreateUniqueTargetFile(p), -1);
  EXPECT_EQ(ReadAll(dir / "Photo (1023).jpg"), "taken");

  // Two records of one name in one folder.
  const uint32_t slot = AddVolume({{10, 5, u"Photo.JPG", false, 10, {{1, 1}}}, {11, 5, u"Photo.JPG", false, 20, {{2, 1}}}});
  ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
  EXPECT_EQ(ReadAll(Out() / SlotName(slot) / "Photo.JPG"), DeviceBytes(1, 1).substr(0, 10));
  EXPECT_EQ(ReadAll(Out() / SlotName(slot) / "Photo (1).jpg"), DeviceBytes(2, 1).substr(0, 20));
}

TEST_F(CopyOut, HostileNamesStayInsideTheTarget) {
  const uint32_t slot = AddVolume({{10, 5, u"..", true},
             {11, 10, u"..", false, 10, {{1, 1}}},
             {12, 5, u"a/b", false, 10, {{2, 1}}},
             {13, 5, u".", false, 10, {{3, 1}}},
             {14, 5, u"c\\d", false, 10, {{4, 1}}}},
            u"../x");
  ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
  // Everything sits below the save folder; the label's own separators are repaired too.
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(root))
    found.push_back(fs::relative(e.path(), root).string());
  std::sort(found.begin(), found.end());
  const std::string v = "out/Recovered/" + SlotName(slot);
  EXPECT_EQ(SlotName(slot).rfind("01 .._x", 0), 0u);
  const std::vector<std::string> want = {"out", "out/Recovered", v, v + "/_", v + "/_ (1)", v + "/_/_", v + "/a_b",
                                         v + "/c_d"};
  EXPECT_EQ(found, want);
  EXPECT_EQ(GetCopyStatistics().lastFiles, 4u);
}

// A file of 20000 sectors whose sector 10000 (in the second 4 MiB chunk) cannot be read.
TEST_F(CopyOut, ReadErrorChoices) {
  const uint64_t size = 20000 * 512 - 100;
  const std::string data = DeviceBytes(2000, 20000).substr(0, size);
  device->FailAt(2000 + 10000);
  const struct {
    uint32_t choice;
    uint64_t length;
  } cases[] = {{kErrorEmptyFile, 0}, {kErrorKeepPart, 8192 * 512}, {kErrorWriteZeros, size}};
  uint32_t n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.choice);
    ClearVolumeList(list);
    ResetVolumeList(list, nullptr, 0);
    script->boxes.clear();
    script->support.clear();
    script->options.folder = CString(FromHostPath((root / ("out" + std::to_string(n++))).string()));
    script->options.errorChoice = c.choice;
    const uint32_t slot = AddVolume({{10, 5, u"f.bin", false, size, {{2000, 20000}}}, {11, 5, u"g.bin", false, 10, {{1, 1}}}});
    ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
    const fs::path dir = SlotDir(fs::path(script->options.folder.ToUtf8()), slot);
    const std::string got = ReadAll(dir / "f.bin");
    ASSERT_EQ(got.size(), c.length);
    if (c.choice == kErrorWriteZeros) {
      std::string want = data;
      std::memset(want.data() + 10000 * 512, 0, 512);  // exactly the one unreadable sector
      EXPECT_TRUE(got == want);
    } else {
      EXPECT_TRUE(got == data.substr(0, c.length));
    }
    // The next file is copied; the damaged one is reported, never counted as recovered.
    EXPECT_EQ(ReadAll(dir / "g.bin").size(), 10u);
    EXPECT_EQ(GetCopyStatistics().lastFiles, 1u);
    ASSERT_FALSE(script->boxes.empty());
    EXPECT_NE(script->boxes.back().find(u"1 failed"), std::u16string::npos);
    if (c.choice == kErrorWriteZeros) {
      EXPECT_NE(script->boxes.back().find(u"1 zero sectors"), std::u16string::npos);
    }
    EXPECT_NE(script->boxes.front().find(u"reads failed"), std::u16string::npos);
  }
}

TEST_F(CopyOut, ShortRunsAndUnreadableResidentDataAreReadFailures) {
  for (uint32_t choice : {kErrorEmptyFile, kErrorKeepPart, kErrorWriteZeros}) {
    SCOPED_TRACE(choice);
    ClearVolumeList(list);
    ResetVolumeList(list, nullptr, 0);
    script->boxes.clear();
    script->options.folder = CString(FromHostPath((root / ("o" + std::to_string(choice))).string()));
    script->options.errorChoice = choice;
    // Runs of 2 sectors for 3000 bytes; a resident file whose MFT record is not there (the
    // fake sectors hold numbers, not a record): its 1024 record bytes must never be copied.
    const uint32_t slot = AddVolume({{10, 5, u"short.bin", false, 3000, {{700, 2}}}, {11, 5, u"res.txt", false, 40, {}, 0, 0, kRecResident}});
    ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
    const fs::path dir = SlotDir(fs::path(script->options.folder.ToUtf8()), slot);
    const std::string s = ReadAll(dir / "short.bin"), r = ReadAll(dir / "res.txt");
    const uint64_t wantShort[] = {0, 1024, 3000}, wantRes[] = {0, 0, 40};
    EXPECT_EQ(s.size(), wantShort[choice]);
    EXPECT_EQ(r.size(), wantRes[choice]);
    if (choice == kErrorWriteZeros) {
      EXPECT_TRUE(s.substr(0, 1024) == DeviceBytes(700, 2));
      EXPECT_TRUE(IsZero(reinterpret_cast<const uint8_t*>(s.data()) + 1024, 3000 - 1024));
      EXPECT_TRUE(IsZero(reinterpret_cast<const uint8_t*>(r.data()), r.size()));
    }
    EXPECT_EQ(GetCopyStatistics().lastFiles, 0u);
    ASSERT_FALSE(script->boxes.empty());
    EXPECT_NE(script->boxes.back().find(u"2 failed"), std::u16string::npos);
  }
}

TEST_F(CopyOut, SizesFromBrokenRecordsNeverWrapNorFillTheTarget) {
  // A size of nearly 2^64 on a volume of 100,000 sectors, and a size flagged as damage: each
  // copy stops at what its runs hold, fails, and the job still counts the bytes it wrote.
  for (uint32_t choice : {kErrorKeepPart, kErrorWriteZeros}) {
    SCOPED_TRACE(choice);
    ClearVolumeList(list);
    ResetVolumeList(list, nullptr, 0);
    script->boxes.clear();
    script->options.folder = CString(FromHostPath((root / ("w" + std::to_string(choice))).string()));
    script->options.errorChoice = choice;
    const uint32_t slot = AddVolume({{10, 5, u"wraps.bin", false, UINT64_MAX - 100, {{700, 4}}},
                                     {11, 5, u"damaged.bin", false, 1ull << 40, {{800, 2}}, 0, 0, kRecDamaged},
                                     {12, 5, u"fine.bin", false, 1000, {{900, 2}}}},
                                    u"Data", kVolTypeNtfs, 100000);
    ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
    const fs::path dir = SlotDir(fs::path(script->options.folder.ToUtf8()), slot);
    EXPECT_TRUE(ReadAll(dir / "wraps.bin") == DeviceBytes(700, 4));
    EXPECT_TRUE(ReadAll(dir / "damaged.bin") == DeviceBytes(800, 2));
    EXPECT_EQ(ReadAll(dir / "fine.bin").size(), 1000u);
    const CopyStatisticsValues st = GetCopyStatistics();
    EXPECT_EQ(st.lastFiles, 1u);
    EXPECT_EQ(st.lastFailed, 2u);
    EXPECT_EQ(st.lastBytes, 4u * 512 + 2 * 512 + 1000);
    ASSERT_FALSE(script->boxes.empty());
    EXPECT_NE(script->boxes.back().find(u"2 failed"), std::u16string::npos);
  }
}

TEST_F(CopyOut, HolesStayHolesAndUnreadableRunsAreNeverZeros) {
  const uint64_t hole = 20000;  // sectors: 10 MiB nobody wrote
  for (uint32_t choice : {kErrorKeepPart, kErrorWriteZeros}) {
    SCOPED_TRACE(choice);
    ClearVolumeList(list);
    ResetVolumeList(list, nullptr, 0);
    script->options.folder = CString(FromHostPath((root / ("h" + std::to_string(choice))).string()));
    script->options.errorChoice = choice;
    const uint32_t slot = AddVolume({{10, 5, u"sparse.bin", false, (2 + hole + 2) * 512, {{100, 2}, {kHoleLbaBase, hole}, {200, 2}}},
                                     {11, 5, u"tail hole.bin", false, (2 + hole) * 512, {{100, 2}, {kHoleLbaBase, hole}}},
                                     {12, 5, u"outside.bin", false, 6 * 512, {{100, 2}, {kUnreadableLba, 2}, {200, 2}}}});
    ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
    const fs::path dir = SlotDir(fs::path(script->options.folder.ToUtf8()), slot);
    const std::string zeros(hole * 512, '\0');
    EXPECT_TRUE(ReadAll(dir / "sparse.bin") == DeviceBytes(100, 2) + zeros + DeviceBytes(200, 2));
    EXPECT_TRUE(ReadAll(dir / "tail hole.bin") == DeviceBytes(100, 2) + zeros);
    struct stat st;
    ASSERT_EQ(::stat((dir / "sparse.bin").c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, hole * 512 / 2);  // the hole takes no space
    // A run outside the volume fails the file under every choice and is never written as zeros.
    EXPECT_TRUE(ReadAll(dir / "outside.bin") == DeviceBytes(100, 2));
    EXPECT_EQ(GetCopyStatistics().lastFailed, 1u);
  }
}

TEST_F(CopyOut, AJobLargerThanTheTargetsFreeSpaceIsRefusedBeforeItStarts) {
  // The fake storage answers 123456789 free bytes for folders on drive E.
  script->options.folder = u"E:\\rescue";
  AddVolume({{10, 5, u"big.bin", false, 200000000, {{100, 2}}}, {11, 5, u"small.bin", false, 10, {{1, 1}}}});
  EXPECT_EQ(RecoverCheckedItems(list, 0, 0), 0);
  ASSERT_EQ(script->boxes.size(), 1u);
  EXPECT_NE(script->boxes[0].find(u"needs"), std::u16string::npos);
  EXPECT_FALSE(fs::exists("E:\\rescue"));
}

TEST_F(CopyOut, LostDeviceStopsTheJobUnderEveryChoice) {
  for (uint32_t choice : {kErrorKeepPart, kErrorWriteZeros}) {
    SCOPED_TRACE(choice);
    ClearVolumeList(list);
    ResetVolumeList(list, nullptr, 0);
    script->boxes.clear();
    script->support.clear();
    script->answers.clear();  // the retry question is answered Cancel
    script->nextAnswer = 0;
    auto gone = std::make_shared<FakeDevice>(100000);
    gone->Vanish();
    backend.Add("fake0", gone);
    script->options.folder = CString(FromHostPath((root / ("g" + std::to_string(choice))).string()));
    script->options.errorChoice = choice;
    const uint32_t slot = AddVolume({{10, 5, u"a.bin", false, 5000, {{100, 10}}}, {11, 5, u"b.bin", false, 5000, {{200, 10}}}});
    ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
    const fs::path dir = SlotDir(fs::path(script->options.folder.ToUtf8()), slot);
    // No file of zeros: the first file is empty and the job ended there.
    EXPECT_EQ(fs::file_size(dir / "a.bin"), 0u);
    EXPECT_FALSE(fs::exists(dir / "b.bin"));
    ASSERT_GE(script->boxes.size(), 2u);
    EXPECT_EQ(script->boxes[0], u"FakeDisk gone");
    EXPECT_NE(script->boxes.back().find(u"lost FakeDisk"), std::u16string::npos);
    EXPECT_EQ(GetCopyStatistics().lastFiles, 0u);
  }
}

TEST_F(CopyOut, DeviceThatCannotBeOpenedNeverCompletes) {
  const uint32_t slot = AddVolume({{10, 5, u"a.bin", false, 10, {{1, 1}}}});
  backend.QueueOpenResults({ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(RecoverOneItem(list, slot, 10, nullptr), 0);
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"cannot open FakeDisk"});
  EXPECT_TRUE(script->support.empty());
  EXPECT_FALSE(fs::exists(Out() / "a.bin"));
}

TEST_F(CopyOut, WriteFailuresFailTheFileAndAFullTargetStopsTheJob) {
  static std::atomic<int> writes{0};
  static std::atomic<int> failErrno{EIO};
  const struct {
    int err;
    bool secondCopied;
    const char16_t* text;
  } cases[] = {{EIO, true, u"1 failed"}, {ENOSPC, false, u"target full"}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    ClearVolumeList(list);
    ResetVolumeList(list, nullptr, 0);
    script->boxes.clear();
    script->options.folder = CString(FromHostPath((root / ("w" + std::to_string(n++))).string()));
    writes = 0;
    failErrno = c.err;
    // The first write fails; later ones pass.
    SetCopyWriteHook([](int fd, const void* buf, unsigned long count) -> long {
      if (writes.fetch_add(1) == 0) {
        errno = failErrno.load();
        return -1;
      }
      return long(::write(fd, buf, count));
    });
    const uint32_t slot = AddVolume({{10, 5, u"a.bin", false, 100, {{1, 1}}}, {11, 5, u"b.bin", false, 100, {{2, 1}}}});
    ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
    const fs::path dir = SlotDir(fs::path(script->options.folder.ToUtf8()), slot);
    EXPECT_EQ(fs::exists(dir / "b.bin"), c.secondCopied);
    EXPECT_EQ(GetCopyStatistics().lastFiles, c.secondCopied ? 1u : 0u);
    ASSERT_FALSE(script->boxes.empty());
    EXPECT_NE(script->boxes.back().find(c.text), std::u16string::npos);
  }
}

TEST_F(CopyOut, StopEndsTheJobBeforeTheNextChunk) {
  // The second chunk's read waits until the test has pressed stop.
  device->Stall(3000 + 8192);
  script->options.errorChoice = kErrorKeepPart;
  const uint32_t slot = AddVolume({{10, 5, u"big.bin", false, 30000 * 512, {{3000, 30000}}}, {11, 5, u"next.bin", false, 10, {{1, 1}}}});
  std::thread stopper([this] {
    while (device->Reads() == 0 || !CopyOutRunning.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Give the first chunk time to reach the stall, then stop and let the read finish.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_script->status.load()->store(kCopyJobStopped);
    device->Release();
  });
  EXPECT_EQ(RecoverCheckedItems(list, 0, 0), 1);
  stopper.join();
  for (int i = 0; i < 5000 && CopyOutRunning.load() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"stopped"});
  const fs::path dir = Out() / SlotName(slot);
  // At most the chunk in flight was written after the stop; the next file never started.
  EXPECT_LE(fs::file_size(dir / "big.bin"), uint64_t(2) * 8192 * 512);
  EXPECT_FALSE(fs::exists(dir / "next.bin"));
}

TEST_F(CopyOut, RefusedWhileAScanRunsOrOnTheSource) {
  // The edition loader keeps only the keys it knows; the value is put in directly.
  SoftCfgTable().Set(u"Default-MustScanEnd:", u"1");
  const uint32_t slot = AddVolume({{10, 5, u"a.bin", false, 10, {{1, 1}}}});
  script->scanState = 1;
  EXPECT_EQ(RecoverOneItem(list, slot, 10, nullptr), 0);
  EXPECT_EQ(RecoverCheckedItems(list, 0, 0), 0);
  EXPECT_EQ(OpenItemViaTempCopy(list, slot, 10, nullptr), 0);
  EXPECT_EQ(script->boxes, (std::vector<std::u16string>{u"wait before you recover", u"wait before you recover",
                                                        u"wait before you open"}));
  script->boxes.clear();
  script->scanState = 3;

  // An image file as the source: a folder at or through the image is refused.
  const fs::path image = root / "disk.img";
  { std::ofstream(image) << std::string(4096, 'x'); }
  ScanTarget().devicePath = CString(FromHostPath(image.string()));
  EXPECT_TRUE(TargetLiesOnSource(CString(FromHostPath(image.string()))));
  EXPECT_TRUE(TargetLiesOnSource(CString(FromHostPath((image / "sub").string()))));
  EXPECT_FALSE(TargetLiesOnSource(CString(FromHostPath((root / "out").string()))));
  script->options.folder = CString(FromHostPath((image / "sub").string()));
  EXPECT_EQ(RecoverCheckedItems(list, 0, 0), 0);
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"on source"});
}

TEST_F(CopyOut, OpenMakesATemporaryCopyAndPurgesOldOnes) {
  SetProgramDirOverride(CString(FromHostPath((root / "prog").string() + "/")));
  fs::create_directories(root / "prog");
  const uint32_t slot = AddVolume({{10, 5, u"Photo.JPG", false, 700, {{40, 2}}, PackTime(2020, 1, 1, 0, 0, 0),
                                    PackTime(2020, 1, 2, 0, 0, 0)},
                                   {11, 5, u"dir", true}});
  const fs::path temp = root / "prog" / "DataRecoveryTemp";
  // The first copy is "still open" when the second is made: it stays and the new one is numbered.
  SetTempCopyInUseHook([](const CString&) { return true; });
  ASSERT_EQ(OpenItemViaTempCopy(list, slot, 10, nullptr), 1);
  ASSERT_EQ(OpenItemViaTempCopy(list, slot, 10, nullptr), 1);
  ASSERT_EQ(script->shellOpened.size(), 2u);
  EXPECT_EQ(CString(script->shellOpened[0]).ToUtf8(), (temp / "Photo.JPG").string());
  EXPECT_EQ(CString(script->shellOpened[1]).ToUtf8(), (temp / "Photo (1).jpg").string());
  EXPECT_EQ(ReadAll(temp / "Photo (1).jpg"), DeviceBytes(40, 2).substr(0, 700));
  // A folder cannot be opened.
  EXPECT_EQ(OpenItemViaTempCopy(list, slot, 11, nullptr), 0);

  // Copies no longer in use are deleted; more than ten in use refuse a new one.
  SetTempCopyInUseHook(nullptr);
  EXPECT_EQ(PurgeTempCopies(), 1);
  EXPECT_FALSE(fs::exists(temp / "Photo.JPG"));
  EXPECT_EQ(TempCopyCount(), 0u);
  SetTempCopyInUseHook([](const CString&) { return true; });
  for (int i = 0; i < 11; ++i) {
    const fs::path p = temp / ("t" + std::to_string(i));
    std::ofstream(p) << "x";
    AddTempCopy(CString(FromHostPath(p.string())), 1);
  }
  script->boxes.clear();
  EXPECT_EQ(OpenItemViaTempCopy(list, slot, 10, nullptr), 0);
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"close temp files"});
  SetProgramDirOverride(CString());
}

TEST_F(CopyOut, ProgressText) {
  CopyProgress p = MakeCopyProgress();
  p.bytesDone = 2048;
  p.bytesTotal = 4096;
  p.filesDone = 1;
  p.filesTotal = 2;
  CString t;
  EXPECT_NE(FormatCopyProgress(t, p).Str().find(u" copy data: 2.00(KB) / 4.00(KB)     File num: 1 / 2"),
            std::u16string::npos);
}

}  // namespace

namespace {

// A view item: its own record's data, under the name the record has; a view folder with the
// files it shows.
TEST_F(CopyOut, ViewItemsCopyTheRecordsTheyShow) {
  LoadSettingsForTest(u"Tesmur", u"Pro",
                      u"Default-Key: 101\r\nDefault-SaveDir: Recovered\r\nDefault-ClassifyFile: 1\r\nDefault-ShowAllFile: 1\r\n",
                      kCopyLang);
  InitFileTypeTables();
  ClassifyAllowed = 1;
  ClearVolumeList(list);
  ResetVolumeList(list, nullptr, 0);
  const uint32_t slot = AddVolume({{10, 5, u"dir", true}, {11, 10, u"a1.jpg", false, 700, {{60, 2}}}});
  uint32_t fileNode = 0, folderNode = 0, recordId = 0;
  {
    VolumeListReadGuard guard(list);
    for (uint32_t id = 1; id < list.slots[slot].idLimit; ++id) {
      const FileRecord* r = GetFileRecord(list.slots[slot], id, 0);
      if (r && !(r->flags & kRecDirectory) && NameOf(r) == u"a1.jpg") recordId = id;
    }
    const VolumeContext& view = list.views[0];
    for (uint32_t id = 1; id < view.idLimit && recordId; ++id) {
      const ViewNode* n = GetViewNode(view, id);
      if (n && Val(n->slot) == slot && Val(n->recordId) == recordId && id != kRootId) {
        fileNode = id;
        folderNode = n->parent;
      }
    }
  }
  ASSERT_NE(fileNode, 0u);
  ASSERT_EQ(RecoverOneItem(list, kViewIdFlag, fileNode, nullptr), 1);
  EXPECT_EQ(ReadAll(Out() / "a1.jpg"), DeviceBytes(60, 2).substr(0, 700));
  CString folderName;
  {
    VolumeListReadGuard guard(list);
    folderName = RecordNameText(GetItemRecord(list, kViewIdFlag, folderNode));
  }
  ASSERT_FALSE(folderName.IsEmpty());
  ASSERT_EQ(RecoverOneItem(list, kViewIdFlag, folderNode, nullptr), 1);
  EXPECT_EQ(ReadAll(Out() / folderName.ToUtf8() / "a1.jpg"), DeviceBytes(60, 2).substr(0, 700));
}

}  // namespace

namespace {

// Image bytes that differ from image to image at every offset.
std::string ImageBytes(char tag, uint64_t sectors) {
  std::string out(sectors * 512, '\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = char(tag + (i * 7) % 251);
  return out;
}

// Two volumes on two image files, as a scan of several drives leaves them: the scan target is
// the last image, and each slot names its own. Every way of copying reads a slot's files from
// its own image, and a folder inside either image is refused.
TEST_F(CopyOut, EachVolumeIsReadFromItsOwnDevice) {
  SetStorageBackend(nullptr);
  const fs::path imgA = root / "a.img", imgB = root / "b.img";
  const std::string bytesA = ImageBytes('A', 64), bytesB = ImageBytes('b', 64);
  std::ofstream(imgA, std::ios::binary) << bytesA;
  std::ofstream(imgB, std::ios::binary) << bytesB;
  const uint32_t slotA = AddVolume({{10, 5, u"fromA.bin", false, 1000, {{10, 2}}}}, u"A");
  const uint32_t slotB = AddVolume({{10, 5, u"fromB.bin", false, 1000, {{10, 2}}}}, u"B");
  const CString pathA = CString(FromHostPath(imgA.string())), pathB = CString(FromHostPath(imgB.string()));
  for (auto [slot, path, name] : {std::tuple{slotA, pathA, u"ImageA"}, std::tuple{slotB, pathB, u"ImageB"}}) {
    list.slots[slot].devicePath = path;
    list.slots[slot].name = name;
    list.slots[slot].firstLba = 0;
    list.slots[slot].sectorCount = 64;
  }
  ScanTarget().devicePath = pathB;
  ScanTarget().name = u"ImageB";
  ScanTarget().sectorCount = 64;
  const std::string wantA = bytesA.substr(10 * 512, 1000), wantB = bytesB.substr(10 * 512, 1000);

  ASSERT_EQ(RecoverCheckedItems(list, 0, 0), 1);
  EXPECT_TRUE(ReadAll(Out() / SlotName(slotA) / "fromA.bin") == wantA);
  EXPECT_TRUE(ReadAll(Out() / SlotName(slotB) / "fromB.bin") == wantB);
  EXPECT_EQ(GetCopyStatistics().lastFiles, 2u);

  ASSERT_EQ(RecoverOneItem(list, slotA, 10, nullptr), 1);
  EXPECT_TRUE(ReadAll(Out() / "fromA.bin") == wantA);

  SetProgramDirOverride(CString(FromHostPath((root / "prog").string() + "/")));
  fs::create_directories(root / "prog");
  ASSERT_EQ(OpenItemViaTempCopy(list, slotA, 10, nullptr), 1);
  EXPECT_TRUE(ReadAll(root / "prog" / "DataRecoveryTemp" / "fromA.bin") == wantA);
  EXPECT_TRUE(script->boxes.empty());

  // The image of the first volume is not the scan target, yet a folder inside it is refused.
  script->options.folder = CString(FromHostPath((imgA / "sub").string()));
  EXPECT_EQ(RecoverCheckedItems(list, 0, 0), 0);
  EXPECT_EQ(RecoverOneItem(list, slotA, 10, nullptr), 0);
  EXPECT_EQ(script->boxes, (std::vector<std::u16string>{u"on source", u"on source"}));
  // A device that cannot be opened is named, and the job does not pass for complete.
  script->boxes.clear();
  script->options.folder = CString(FromHostPath((root / "out2").string()));
  fs::remove(imgA);
  EXPECT_EQ(RecoverOneItem(list, slotA, 10, nullptr), 0);
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"cannot open ImageA"});
  SetProgramDirOverride(CString());
}

TEST_F(CopyOut, TemporaryFolderIsCheckedBeforeItIsMade) {
  const uint32_t slot = AddVolume({{10, 5, u"a.bin", false, 10, {{1, 1}}}});
  // The program folder lies inside the image being recovered.
  const fs::path image = root / "disk.img";
  std::ofstream(image) << std::string(4096, 'x');
  ScanTarget().devicePath = CString(FromHostPath(image.string()));
  SetProgramDirOverride(CString(FromHostPath((image / "prog").string() + "/")));
  EXPECT_EQ(OpenItemViaTempCopy(list, slot, 10, nullptr), 0);
  EXPECT_EQ(script->boxes, std::vector<std::u16string>{u"on source"});
  SetProgramDirOverride(CString());
}

// A block device as the source: a folder whose file system cannot be traced to a block device
// is refused, a folder on the device itself is refused, and one on an unrelated device is not.
TEST_F(CopyOut, FoldersThatCannotBeTracedAreRefusedForABlockDeviceSource) {
  struct stat rootSt, shmSt;
  ASSERT_EQ(::stat(root.c_str(), &rootSt), 0);
  if (major(rootSt.st_dev) == 0) GTEST_SKIP() << "the test folder has no block device";
  const fs::path node = root / "srcdev";
  if (::mknod(node.c_str(), S_IFBLK | 0600, rootSt.st_dev) != 0) GTEST_SKIP() << "cannot make a device node";
  VolumeContext src;
  ResetVolumeContext(src);
  src.devicePath = CString(FromHostPath(node.string()));
  EXPECT_TRUE(TargetLiesOnSources(CString(FromHostPath((root / "out").string())), {src}));
  if (::stat("/dev/shm", &shmSt) == 0 && major(shmSt.st_dev) == 0) {
    EXPECT_TRUE(TargetLiesOnSources(u"/dev/shm/kestrel_out", {src}));
  }
  // A loop device node (present in sysfs, unrelated to the test folder's disk).
  struct stat loopSys;
  if (::stat("/sys/dev/block/7:0", &loopSys) == 0 && rootSt.st_dev != makedev(7, 0)) {
    const fs::path loop = root / "loopdev";
    ASSERT_EQ(::mknod(loop.c_str(), S_IFBLK | 0600, makedev(7, 0)), 0);
    src.devicePath = CString(FromHostPath(loop.string()));
    EXPECT_FALSE(TargetLiesOnSources(CString(FromHostPath((root / "out").string())), {src}));
  }
}

}  // namespace
