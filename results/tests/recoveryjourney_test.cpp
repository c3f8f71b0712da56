// Recovery through the windows: the NTFS fixture image parsed as a file-system scan, one folder
// checked, Recover answered in the options dialog (a folder on the image first, then a folder
// elsewhere), the copy run under the job-progress dialog, and every file of the folder written
// byte for byte as the fixture's manifest records it.
#include <unistd.h>

#include <map>
#include <regex>

#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "core/diskreader.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "core/recyclebin.h"
#include "core/volumelist.h"
#include "deepscan/copyoutscan.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/progressdlg.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "platform/fileio.h"
#include "results/jobprogressdlg.h"
#include "results/recoverdlg.h"
#include "results/tests/recovery_test_util.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/sha256hex.h"

namespace recovery_test {
namespace {

namespace fs = std::filesystem;

struct ManifestFile {
  uint64_t size = 0;
  std::string sha256;
  bool deleted = false, intact = false;
};

std::map<std::string, ManifestFile> ReadManifest(const std::string& path) {
  std::map<std::string, ManifestFile> out;
  std::ifstream in(path);
  std::string line;
  const std::regex field("\"(path|size|dir|deleted|sha256|intact)\":\"?([^\",}]*)");
  while (std::getline(in, line)) {
    std::map<std::string, std::string> f;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), field); it != std::sregex_iterator(); ++it)
      f[(*it)[1]] = (*it)[2];
    if (f["dir"] == "true") continue;
    out[f["path"]] = ManifestFile{std::stoull(f["size"]), f["sha256"], f["deleted"] == "true", f["intact"] == "true"};
  }
  return out;
}

std::string FileSha256(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Sha256 h;
  h.Update(bytes.data(), bytes.size());
  return h.HexDigest();
}

std::atomic<int> g_finished{0};
std::atomic<int> g_writes{0};
long SlowWrite(int fd, const void* buf, unsigned long count) {
  ++g_writes;
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  return ::write(fd, buf, count);
}
CString g_finishedText;
void RecordFinished(void*, const CString& text) {
  g_finishedText = text;
  ++g_finished;
}

class RecoveryJourney : public DialogTest {
 protected:
  CString EditionValues() const override { return u"Default-ParseFileSys: 1\r\n"; }
  void SetUp() override {
    DialogTest::SetUp();
    image_ = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.img";
    manifest_ = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.manifest";
    if (!fs::exists(image_) || !fs::exists(manifest_)) GTEST_SKIP() << "fixture image missing";
    char tmpl[] = "/tmp/kestrel-recovery-XXXXXX";
    out_ = mkdtemp(tmpl);
    CopyOutServices sv;
    BindCopyOutToScanServices(sv);
    sv.supportSoftDlg = &RecordFinished;
    SetCopyOutServices(sv);
    InstallRecoveryDialogs();
    SetRememberedRecoverFolder(CString());
    g_finished = 0;
  }
  void TearDown() override {
    // A stopped worker may still finish its last read: the list stays until it has gone.
    for (int i = 0; i < 2000 && WorkerThreadCount() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    SetCopyWriteHook(nullptr);
    ClearVolumeList(AppVolumeList());
    SetCopyOutServices(CopyOutServices{});
    SetProgressDlgFactory(nullptr);
    SetScanTarget(VolumeContext());
    ScanRunState = kScanStopped;
    if (!out_.empty()) fs::remove_all(out_);
    DialogTest::TearDown();
  }

  // The file-system scan of the image: its NTFS volume parsed into a slot of the list.
  uint32_t ScanImage(VolumeList& list) {
    InitNtfsExtentProvider();
    InstallRecycleBinRepair();
    VolumeContext t;
    t.devicePath = CString(FromHostPath(image_));
    t.sourcePath = t.devicePath;
    t.name = t.devicePath;
    t.diskNumber = kImageDiskNumber;
    t.targetKind = kTargetImage;
    DiskReader reader;
    EXPECT_TRUE(OpenDeviceByPath(t.devicePath, reader, 1));
    t.sectorCount = t.deviceSectors = reader.sizeBytes / kSectorBytes;
    SetScanTarget(t);
    uint8_t boot[512] = {};
    EXPECT_TRUE(reader.ReadSectors(boot, 0, 1));
    const uint32_t type = ProbeBootSector(boot);
    EXPECT_EQ(type, uint32_t(kVolTypeNtfs));
    VolumeContext vol;
    EXPECT_TRUE(SetupVolumeOfType(type, ScanTarget(), reader, boot, 0, t.sectorCount, vol));
    reader.Close();
    ScanRunState = kScanRunning;
    EXPECT_GT(ParseVolumeFileSystem(&ScanRunState, vol), 0);
    ScanRunState = kScanStopped;
    ResetVolumeList(list, nullptr, 0);
    EXPECT_TRUE(AddScannedVolume(list, nullptr, vol, 0));
    return list.slotCount - 1;
  }
  uint32_t ChildNamed(VolumeList& list, uint32_t slot, uint32_t parent, const CString& name) {
    std::vector<uint32_t> ids;
    ListVolumeChildren(list, slot, parent, ids, 0);
    for (uint32_t id : ids) {
      if (RecordNameText(GetItemRecord(list, slot, id)) == name) return id;
    }
    return 0;
  }

  std::string image_, manifest_;
  fs::path out_;
};

TEST_F(RecoveryJourney, ACheckedFolderIsRecoveredByteExactThroughTheDialogs) {
  VolumeList& list = AppVolumeList();
  const uint32_t slot = ScanImage(list);
  const uint32_t docs = ChildNamed(list, slot, kRootId, u"docs");
  ASSERT_NE(docs, 0u);
  // The click on the folder's check box.
  ASSERT_EQ(ToggleItemCheck(list, nullptr, slot, docs), 1);
  CheckedTotals totals;
  SumCheckedFiles(list, slot, kRootId, totals);
  ASSERT_GT(totals.files, 90u);

  // The user: a folder on the image being recovered is refused with its reason and the dialog
  // stays; then a folder elsewhere and OK; the progress dialog shows until the copy ends.
  std::atomic<bool> sawOptions{false}, sawProgress{false};
  std::thread user([&] {
    HWND options = WaitForPopup(int(IDC_SAVEPARAM_FOLDER));
    if (!options) return;
    sawOptions = true;
    const CString onImage = CString(FromHostPath(image_));
    SetDlgItemTextW(options, int(IDC_SAVEPARAM_FOLDER), onImage.GetString());
    SendMessageW(options, WM_COMMAND, IDOK, 0);
    const CString folder = CString(FromHostPath(out_.string()));
    SetDlgItemTextW(options, int(IDC_SAVEPARAM_FOLDER), folder.GetString());
    PostMessageW(options, WM_COMMAND, IDOK, 0);
    if (WaitForPopup(int(IDC_JOBPROG_LINE1))) sawProgress = true;
  });
  const int ran = RecoverCheckedItems(list, totals.files, totals.bytes);
  user.join();
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(sawOptions.load());
  EXPECT_TRUE(sawProgress.load());
  EXPECT_EQ(TheBoxes().Take(), std::vector<CString>{u"The folder lies on the drive, disk or image being recovered. "
                                                    u"Please choose a folder on another disk."});
  EXPECT_EQ(g_finished.load(), 1) << g_finishedText.ToUtf8();
  EXPECT_EQ(GetRememberedRecoverFolder(), CString(FromHostPath(out_.string())));
  const CopyStatisticsValues st = GetCopyStatistics();
  EXPECT_EQ(st.lastFailed, 0u);
  EXPECT_EQ(st.lastResult, uint32_t(kJobResultOk));

  // Every file the copy wrote, by its path below the folder named "docs".
  std::map<std::string, fs::path> written;
  for (const auto& e : fs::recursive_directory_iterator(out_)) {
    if (!e.is_regular_file()) continue;
    const std::string p = e.path().string();
    const size_t at = p.find("/docs/");
    ASSERT_NE(at, std::string::npos) << "written outside the checked folder: " << p;
    written[p.substr(at)] = e.path();
  }
  size_t expected = 0;
  for (const auto& [path, f] : ReadManifest(manifest_)) {
    if (path.rfind("/docs/", 0) != 0) continue;
    if (f.deleted && !f.intact) continue;  // its data was reused; nothing promises it
    ++expected;
    SCOPED_TRACE(path);
    auto it = written.find(path);
    ASSERT_NE(it, written.end()) << "not recovered";
    EXPECT_EQ(fs::file_size(it->second), f.size);
    EXPECT_EQ(FileSha256(it->second), f.sha256);
  }
  EXPECT_GT(expected, 90u);
}

TEST_F(RecoveryJourney, EscDuringTheCopyStopsItBeforeItsNextRead) {
  VolumeList& list = AppVolumeList();
  const uint32_t slot = ScanImage(list);
  ASSERT_EQ(ToggleItemCheck(list, nullptr, slot, kRootId), 1);
  CheckedTotals totals;
  SumCheckedFiles(list, slot, kRootId, totals);
  SetRememberedRecoverFolder(CString(FromHostPath(out_.string())));
  g_writes = 0;
  SetCopyWriteHook(&SlowWrite);
  std::atomic<int> writesAtEsc{-1};
  std::thread user([&] {
    HWND options = WaitForPopup(int(IDC_SAVEPARAM_FOLDER));
    if (!options) return;
    PostMessageW(options, WM_COMMAND, IDOK, 0);  // the remembered folder is offered
    HWND progress = WaitForPopup(int(IDC_JOBPROG_LINE1));
    if (!progress) return;
    HWND exitBtn = GetDlgItem(progress, IDOK);
    for (int i = 0; i < 5000 && !IsWindowVisible(exitBtn); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    writesAtEsc = g_writes.load();
    InjectKeyPress(VK_ESCAPE);
  });
  EXPECT_EQ(RecoverCheckedItems(list, totals.files, totals.bytes), 1);
  user.join();
  ASSERT_GE(writesAtEsc.load(), 0) << "the dialogs never showed";
  for (int i = 0; i < 2000 && WorkerThreadCount() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(WorkerThreadCount(), 0);
  // The stop is reported instead of the finished dialog, and the copy ended within the write
  // that was under way.
  EXPECT_EQ(TheBoxes().Take(), std::vector<CString>{u"The recovery was stopped."});
  EXPECT_EQ(g_finished.load(), 0);
  EXPECT_LE(g_writes.load(), writesAtEsc.load() + 1);
  EXPECT_LT(uint32_t(g_writes.load()), totals.files);
}

}  // namespace
}  // namespace recovery_test
