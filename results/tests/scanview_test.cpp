// A scan of the NTFS fixture drive chosen in the main window fills the result views: the view
// takes its final layout, the by-path list shows the volume's root, a folder opened by the
// model lists its files with the sizes and times the manifest gives, and the type view lists
// its categories.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "base/packedtime.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/devicediscovery.h"
#include "deepscan/liveresults.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanreader.h"
#include "deepscan/sectorsignature.h"
#include "results/tests/resultfixture.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace results_test {
namespace {

namespace fs = std::filesystem;

struct ManifestEntry {
  uint64_t size = 0;
  bool dir = false;
  bool deleted = false;
  std::string mtime;
};

// path -> entry, from the fixture builder's JSON lines.
std::map<std::string, ManifestEntry> ReadManifest(const std::string& path) {
  std::map<std::string, ManifestEntry> out;
  std::ifstream in(path);
  std::string line;
  auto field = [&](const std::string& key) {
    const size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return std::string();
    size_t from = at + key.size() + 3;
    if (line[from] == '"') {
      ++from;
      return line.substr(from, line.find('"', from) - from);
    }
    return line.substr(from, line.find_first_of(",}", from) - from);
  };
  while (std::getline(in, line)) {
    ManifestEntry e;
    e.size = std::stoull(field("size"));
    e.dir = field("dir") == "true";
    e.deleted = field("deleted") == "true";
    e.mtime = field("mtime");
    out[field("path")] = e;
  }
  return out;
}

class ScanFillsViews : public ResultViewTest {
 protected:
  void SetUp() override {
    const std::string ntfs = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.img";
    if (!fs::exists(ntfs)) GTEST_SKIP() << "fixture image missing";
    ResultViewTest::SetUp();
    manifest_ = ReadManifest(std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.manifest");
    dir_ = regRoot_ + "/machine";
    fs::create_directories(dir_);
    image_ = dir_ + "/ntfs.img";
    ASSERT_EQ(system(("cp --sparse=always '" + ntfs + "' '" + image_ + "'").c_str()), 0);
    // File systems of 64 MiB and less are not named in the device list.
    fs::resize_file(image_, 96ull << 20);
    std::ofstream(dir_ + "/machine.json") << "{\"disks\":[{\"image\":\"" << image_ << "\",\"model\":\"Fixture NTFS\"}],"
                                          << "\"drives\":[{\"letter\":\"E\",\"image\":\"" << image_ << "\"}]}";
    setenv("KESTREL_MACHINE", (dir_ + "/machine.json").c_str(), 1);
    LoadSettingsForTest(u"Tesmur", u"Pro",
                        CString(mainwnd_test::DefaultVerCfg()) + kResultVerCfg + u"Default-ParseFileSys: 1\r\n",
                        CString(mainwnd_test::DefaultLang()) + CString(kViewTestLang) + kResultLang);
    SetDiscoveryDiskDelay(0);
    SetScanFinishingPauseMs(1);
    InitSectorSignatureMatcher();
    InstallCarvingConsumer();
    InstallScanResults();
    mainwnd_test::Rec().answer = 0;  // no saved scan is taken, none is saved
  }
  void TearDown() override {
    WaitForScanEnd(std::chrono::seconds(60));
    unsetenv("KESTREL_MACHINE");
    ResultViewTest::TearDown();
    FreeBlockHitLists();
  }
  bool WaitForScanEnd(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      PumpAll();
      ScanProgress rec;
      TakeScanProgress(rec);
      // The scan thread may not have counted itself in yet: a scan that runs is not over.
      if (ScanRunState.load() != kScanRunning && WorkerThreadCount() == 0 && !ScanBlockRingExists()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Chooses the drive on the target panel and starts the scan of the recovery mode.
  void ScanDrive(uint32_t mode) {
    dlg_->ShowDeviceSelection(mode);
    PumpAll();
    CCtrlGroup* drives = dlg_->m_devSel.m_devWnd.m_root.Group(kTagDrives);
    ASSERT_NE(drives, nullptr);
    CCtrlBase* drive = nullptr;
    for (auto& c : drives->m_children)
      if (c->m_name == CString(u"\\\\.\\E:")) drive = c.get();
    ASSERT_NE(drive, nullptr);
    CDevWnd& host = dlg_->m_devSel.m_devWnd;
    const LPARAM at = MAKELPARAM(drive->m_rect.left + 30, drive->m_rect.top + 30);
    host.SendMessage(WM_MOUSEMOVE, 0, at);
    host.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    host.SendMessage(WM_LBUTTONUP, 0, at);
    dlg_->m_devSel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED), 0);
    ASSERT_TRUE(view_->IsWindowVisible());
    ASSERT_TRUE(WaitForScanEnd(std::chrono::seconds(120)));
    PumpAll();
  }

  std::map<std::string, ManifestEntry> manifest_;
  std::string dir_, image_;
};

TEST_F(ScanFillsViews, DeletedFilesScanOfTheNtfsDrive) {
  ScanDrive(2);
  std::string boxes;
  for (const CString& b : mainwnd_test::Rec().boxes) boxes += b.ToUtf8() + " | ";
  ASSERT_EQ(view_->m_layoutState, 3) << boxes;
  EXPECT_FALSE(view_->m_scanProgress.IsWindowVisible());
  EXPECT_GE(view_->m_header.m_text.Find(u"E:"), 0) << view_->m_header.m_text.ToUtf8();

  // The by-path list shows a volume's root; every row is one of the image's top-level entries
  // (or a folder the model adds).
  CExplorerListCtrl& byPath = Details(kModeByPath);
  ASSERT_FALSE(byPath.m_ids.empty());
  const std::vector<CString> top = RowNames(kModeByPath);
  bool docs = false;
  for (const CString& name : top) docs = docs || name == CString(u"docs");
  EXPECT_TRUE(docs) << "rows: " << top.size();

  // Opening /docs/many through the model: every view of the mode follows, and the rows show
  // the manifest's sizes and times.
  uint32_t docsId = 0, manyId = 0;
  for (uint32_t id : byPath.m_ids)
    if (RecordNameText(GetItemRecord(List(), byPath.m_shownKey, id)) == CString(u"docs")) docsId = id;
  ASSERT_NE(docsId, 0u);
  std::vector<uint32_t> children;
  ASSERT_TRUE(ListVolumeChildren(List(), byPath.m_shownKey, docsId, children, 0));
  for (uint32_t id : children)
    if (RecordNameText(GetItemRecord(List(), byPath.m_shownKey, id)) == CString(u"many")) manyId = id;
  ASSERT_NE(manyId, 0u);
  ASSERT_TRUE(RequestOpenFolder(List(), nullptr, byPath.m_shownKey, manyId));
  const uint32_t shownKey = byPath.m_shownKey;
  PumpAll();
  ASSERT_EQ(byPath.m_shownId, manyId);
  ASSERT_FALSE(byPath.m_ids.empty());
  int checked = 0;
  for (int row = 0; row < byPath.GetItemCount(); ++row) {
    const CString name = byPath.GetItemText(row, kColumnName);
    const auto it = manifest_.find("/docs/many/" + name.ToUtf8());
    ASSERT_NE(it, manifest_.end()) << name.ToUtf8();
    EXPECT_EQ(byPath.GetItemText(row, kColumnSize), FormatResultSize(it->second.size)) << name.ToUtf8();
    // The manifest's time has single blanks; the list's text two between date and time.
    CString when = byPath.GetItemText(row, kColumnModified);
    when.Replace(u"  ", u" ");
    EXPECT_EQ(when.ToUtf8(), it->second.mtime) << name.ToUtf8();
    ++checked;
  }
  EXPECT_GT(checked, 0);
  // Names come sorted, folders first.
  const std::vector<CString> rows = RowNames(kModeByPath);
  EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const CString& a, const CString& b) {
    return a.CompareNoCase(b.GetString()) < 0;
  }));

  // The type view's list shows its categories; checking one counts its files in the summary.
  view_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESULT_BYTYPE, BN_CLICKED), 0);
  CExplorerListCtrl& byType = Details(kModeByType);
  ASSERT_FALSE(byType.m_ids.empty());
  ToggleItemCheck(List(), nullptr, byType.m_shownKey, byType.m_ids[0]);
  EXPECT_GT(view_->m_selCount, 0u);
  EXPECT_NE(view_->m_summary.m_text, CString(u"Check files and save"));

  view_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESULT_BYPATH, BN_CLICKED), 0);
  view_->OnBnClickedShowDetails();
  ASSERT_TRUE(RequestOpenFolder(List(), nullptr, shownKey, docsId));
  PumpAll();
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/results_ntfs.png"));
}

}  // namespace
}  // namespace results_test
