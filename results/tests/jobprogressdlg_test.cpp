// The job-progress dialog: what each kind of record shows, the layout per kind, closing once the
// job ended or was stopped, and the stop through the exit button, Enter and Esc, also through
// CreateProgressDlg / RunProgressDlg with a worker thread.
#include <cstring>

#include "deepscan/progressdlg.h"
#include "results/jobprogressdlg.h"
#include "results/tests/recovery_test_util.h"

namespace recovery_test {
namespace {

int64_t g_now = 1000;

void SetScanSeconds(int64_t elapsed) {
  SetScanClock(ScanClock{[] { return g_now; }, nullptr});
  ScanStartTime = g_now - elapsed;
  ScanPausedSeconds = 0;
}

ScanProgress Parse(uint32_t files, uint32_t dirs, uint32_t delFiles, uint32_t delDirs) {
  ScanProgress r = MakeScanProgress(kProgressParse);
  r.parse = {files, dirs, delFiles, delDirs};
  return r;
}
ScanProgress Sectors(uint64_t total, uint64_t done, uint32_t found = 7) {
  ScanProgress r = MakeScanProgress(kProgressSectorScan);
  r.scan.sectorsTotal = total;
  r.scan.sectorsDone = done;
  r.scan.filesFound = found;
  for (uint32_t i = 0; i < 8; ++i) r.scan.metaCounts[i] = i + 1;
  return r;
}
ScanProgress Copy(uint32_t kind, uint64_t total, uint64_t done, uint32_t files, uint32_t filesDone, uint64_t size,
                  uint64_t sizeDone, const char16_t* heading) {
  ScanProgress r = MakeScanProgress(kind);
  r.copy.bytesTotal = total;
  r.copy.bytesDone = done;
  r.copy.filesTotal = files;
  r.copy.filesDone = filesDone;
  r.copy.fileSize = size;
  r.copy.fileDone = sizeDone;
  SetProgressText(r, offsetof(ScanProgress, copy.heading), 260, heading);
  return r;
}
ScanProgress Count(uint32_t kind, uint32_t done, uint32_t total) {
  ScanProgress r = MakeScanProgress(kind);
  r.count = {done, total};
  return r;
}
ScanProgress Texts(const char16_t* a, const char16_t* b, const char16_t* c) {
  ScanProgress r = MakeScanProgress(kProgressText);
  SetProgressText(r, offsetof(ScanProgress, text.heading), 64, a);
  SetProgressText(r, offsetof(ScanProgress, text.line1), 128, b);
  SetProgressText(r, offsetof(ScanProgress, text.line2), 128, c);
  return r;
}

constexpr uint64_t kMiB = 1ull << 20;

class JobProgressRender : public DialogTest {};

TEST_F(JobProgressRender, EveryKindShowsItsTitleBarAndLines) {
  SetScanSeconds(0);  // no scan time yet: a sector scan has no rate line
  ScanProgress parts = MakeScanProgress(kProgressPartitions);
  parts.part.drivesFound = 2;
  parts.part.letter = u'E';
  SetProgressText(parts, offsetof(ScanProgress, part.fsName), 128, u"NTFS");
  SetProgressText(parts, offsetof(ScanProgress, part.label), 128, u"Data");
  ScanProgress readErr = MakeScanProgress(kProgressReadError);
  readErr.readError.sector = 0xFFFFFFFFu;
  readErr.readError.size = 512;
  SetProgressText(readErr, offsetof(ScanProgress, readError.device), 314, u"Disk 1");

  const struct {
    const char* what;
    ScanProgress rec;
    const char16_t* title;  // null: the title is kept
    int bar;                // -1: the bar keeps its position
    const char16_t* lines[4];  // null: the line is kept
  } cases[] = {
      {"parse", Parse(5, 2, 3, 1), u"Reading the file system...", -1,
       {u"Files:  5     Folders:  2", u"Deleted files:  3     Deleted folders:  1", nullptr, nullptr}},
      {"scan", Sectors(4096 * 2048, 1024 * 2048), u"Waiting for scan data...", 25,
       {u"Scanned: 1024(MB)/4096(MB)     Files: 7     ", nullptr,
        u"Ebr: 1     Fat dbr: 3     Ntfs dbr: 2     Exfat dbr: 4 ",
        u"File record: 5     Fat dir: 6     Ntfs dir: 7     Exfat dbr: 8 "}},
      // One MiB or less to scan has no bar; more done than in all counts as all.
      {"scan 2048", Sectors(2048, 1024), u"Waiting for scan data...", -1,
       {u"Scanned: 0(MB)/1(MB)     Files: 7     ", nullptr, u"Ebr: 1     Fat dbr: 3     Ntfs dbr: 2     Exfat dbr: 4 ",
        u"File record: 5     Fat dir: 6     Ntfs dir: 7     Exfat dbr: 8 "}},
      {"scan 2049", Sectors(2049, 2049), u"Waiting for scan data...", 100,
       {u"Scanned: 1(MB)/1(MB)     Files: 7     ", nullptr, u"Ebr: 1     Fat dbr: 3     Ntfs dbr: 2     Exfat dbr: 4 ",
        u"File record: 5     Fat dir: 6     Ntfs dir: 7     Exfat dbr: 8 "}},
      {"scan past", Sectors(10 * 2048, 20 * 2048), u"Waiting for scan data...", 100,
       {u"Scanned: 10(MB)/10(MB)     Files: 7     ", nullptr, u"Ebr: 1     Fat dbr: 3     Ntfs dbr: 2     Exfat dbr: 4 ",
        u"File record: 5     Fat dir: 6     Ntfs dir: 7     Exfat dbr: 8 "}},
      {"copy", Copy(kProgressCopy, 300 * kMiB, 150 * kMiB, 10, 4, 5 * kMiB, 2 * kMiB, u"photo.jpg"),
       u"Recovering files...", 50,
       {u"photo.jpg", u"Copied(MB):  150 / 300", u"Files:  4 / 10", u"Current file(MB):  2 / 5"}},
      // Less than a MiB to copy: no divisor, no bar.
      {"copy small", Copy(kProgressCopy, kMiB - 1, 100, 1, 0, 100, 50, u""), u"Recovering files...", -1,
       {u"", u"Copied(MB):  0 / 0", u"Files:  0 / 1", u"Current file(MB):  0 / 0"}},
      // Six TiB: the product of the MiB count and 100 does not wrap.
      {"copy huge", Copy(kProgressCopy, 6ull << 40, 3ull << 40, 1, 0, 0, 0, u"big"), u"Recovering files...", 50,
       {u"big", u"Copied(MB):  3145728 / 6291456", u"Files:  0 / 1", u"Current file(MB):  0 / 0"}},
      {"prepare", Copy(kProgressPrepare, 2 * kMiB, kMiB, 9, 9, 9, 9, u"heading"), u"Preparing data...", 50,
       {u"heading", u"Prepared(MB):  1 / 2", nullptr, nullptr}},
      {"partitions", parts, u"Finding drives...", -1,
       {u"Drives found:  2", u"Drive:  E:", u"File system:  NTFS", u"Label:  Data"}},
      {"read error", readErr, u"Device read error", -1,
       {u"Device:  Disk 1", u"Sector:  4294967295        Size:  512  ", nullptr, nullptr}},
      {"read state", Count(kProgressReadState, 3, 12), u"Reading the saved scan...", 25,
       {nullptr, u"Items: 3 / 12", nullptr, nullptr}},
      {"save state", Count(kProgressSaveState, 3, 0), u"Saving the scan...", -1, {nullptr, u"Items: 3 / 0", nullptr, nullptr}},
      {"handle state", Count(kProgressHandleState, 1, 1), u"Handling the saved scan...", 100,
       {nullptr, u"Items: 1 / 1", nullptr, nullptr}},
      {"texts", Texts(u"heading", u"second", u"third"), nullptr, -1, {nullptr, u"second", u"third", nullptr}},
      {"sorting", Count(kProgressSorting, 1, 2), nullptr, -1, {nullptr, nullptr, nullptr, nullptr}},
      {"video", Count(kProgressVideoRebuild, 1, 2), nullptr, -1, {nullptr, nullptr, nullptr, nullptr}},
      {"image", MakeScanProgress(kProgressDiskImage), nullptr, -1, {nullptr, nullptr, nullptr, nullptr}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const JobProgressView v = RenderJobProgress(c.rec);
    EXPECT_EQ(v.setTitle, c.title != nullptr);
    if (c.title) {
      EXPECT_EQ(v.title, CString(c.title));
    }
    EXPECT_EQ(v.bar, c.bar);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(v.setLine[i], c.lines[i] != nullptr) << "line " << i + 1;
      if (c.lines[i]) {
        EXPECT_EQ(v.line[i], CString(c.lines[i])) << "line " << i + 1;
      }
    }
  }
  // Once scan time has passed, the sector scan's second line carries the timing.
  SetScanSeconds(61);
  const JobProgressView timed = RenderJobProgress(Sectors(4096 * 2048, 1024 * 2048));
  EXPECT_TRUE(timed.setLine[1]);
  EXPECT_GE(timed.line[1].Find(u"Elapsed time"), 0) << timed.line[1].ToUtf8();
  SetScanClock(ScanClock{});
}

// The dialog made modeless over a status word, driven by the virtual clock.
class JobProgressWindow : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    RegisterJobProgressTemplate();
    EmptyScanProgressMailbox();
    UseVirtualMessageClock(true);
    dlg_ = std::make_unique<CProgressDlg>(&main_, &status_);
    ASSERT_TRUE(dlg_->Create(IDD_JOB_PROGRESS, &main_));
    dlg_->ShowWindow(SW_SHOW);
    PumpAll();
  }
  void TearDown() override {
    if (dlg_ && dlg_->m_hWnd) dlg_->DestroyWindow();
    dlg_.reset();
    UseVirtualMessageClock(false);
    EmptyScanProgressMailbox();
    SetScanClock(ScanClock{});
    DialogTest::TearDown();
  }
  static void Advance(int ms) {
    for (int t = 0; t < ms; t += 50) {
      AdvanceVirtualMessageClock(50);
      PumpAll();
    }
  }
  // Posts the record and lets one tick take it.
  void Show(const ScanProgress& rec) {
    PostScanProgress(rec);
    Advance(100);
  }
  RECT Rect(CWnd& w) const {
    RECT r{};
    ::GetWindowRect(w.m_hWnd, &r);
    POINT tl{r.left, r.top};
    ::ScreenToClient(dlg_->m_hWnd, &tl);
    return RECT{tl.x, tl.y, tl.x + (r.right - r.left), tl.y + (r.bottom - r.top)};
  }
  static bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
  bool Ended() const { return IsDialogEnded(dlg_->m_hWnd); }

  std::atomic<uint32_t> status_{kJobRunning};
  std::unique_ptr<CProgressDlg> dlg_;
};

TEST_F(JobProgressWindow, LayoutFollowsTheKind) {
  // Nothing but the title until the first record.
  EXPECT_FALSE(dlg_->m_bar.IsWindowVisible());
  EXPECT_FALSE(dlg_->m_btnExit.IsWindowVisible());
  EXPECT_FALSE(dlg_->m_btnPause.IsWindowVisible());
  EXPECT_FALSE(dlg_->m_btnClose.IsWindowVisible());
  EXPECT_EQ(dlg_->m_title, CString(u"Working"));
  Advance(300);
  EXPECT_FALSE(dlg_->m_btnExit.IsWindowVisible());

  SetScanSeconds(61);
  Show(Sectors(4096 * 2048, 1024 * 2048));
  EXPECT_EQ(dlg_->m_title, CString(u"Waiting for scan data..."));
  EXPECT_TRUE(dlg_->m_bar.IsWindowVisible());
  EXPECT_TRUE(Same(Rect(dlg_->m_bar), RECT{17, 45, 17 + 411, 65}));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(Same(Rect(dlg_->m_lines[i]), RECT{17, 70 + 20 * i, 428, 90 + 20 * i})) << i;
  EXPECT_TRUE(Same(Rect(dlg_->m_btnPause), RECT{278, 150, 348, 175}));
  EXPECT_FALSE(dlg_->m_btnPause.IsWindowVisible());
  EXPECT_TRUE(Same(Rect(dlg_->m_btnExit), RECT{360, 150, 430, 175}));
  EXPECT_TRUE(dlg_->m_btnExit.IsWindowVisible());
  EXPECT_EQ(dlg_->m_bar.GetPos(), 25);
  const CString rate = dlg_->m_lines[1].m_text;
  EXPECT_FALSE(rate.IsEmpty());

  // The same kind again is not rearranged: the texts change in place and a line the record
  // does not give (no timing yet) keeps its text.
  SetScanSeconds(0);
  Show(Sectors(4096 * 2048, 2048 * 2048, 9));
  EXPECT_EQ(dlg_->m_lines[0].m_text, CString(u"Scanned: 2048(MB)/4096(MB)     Files: 9     "));
  EXPECT_EQ(dlg_->m_lines[1].m_text, rate);
  EXPECT_EQ(dlg_->m_bar.GetPos(), 50);

  // Kind 11 after kind 2: no bar, the lines move up and are emptied, the title stays.
  Show(Texts(u"heading", u"second", u"third"));
  EXPECT_FALSE(dlg_->m_bar.IsWindowVisible());
  EXPECT_TRUE(Same(Rect(dlg_->m_lines[0]), RECT{17, 45, 428, 65}));
  EXPECT_EQ(dlg_->m_lines[0].m_text, CString());
  EXPECT_EQ(dlg_->m_lines[1].m_text, CString(u"second"));
  EXPECT_EQ(dlg_->m_lines[2].m_text, CString(u"third"));
  EXPECT_EQ(dlg_->m_lines[3].m_text, CString());
  EXPECT_EQ(dlg_->m_title, CString(u"Waiting for scan data..."));

  // A copy, pictured.
  Show(Copy(kProgressCopy, 300 * kMiB, 150 * kMiB, 10, 4, 5 * kMiB, 2 * kMiB, u"Documents/report.docx"));
  EXPECT_EQ(dlg_->m_title, CString(u"Recovering files..."));
  EXPECT_EQ(dlg_->m_lines[2].m_text, CString(u"Files:  4 / 10"));
  PumpAll();
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, ShotPath("job_progress_copy.png")));
}

TEST_F(JobProgressWindow, AJobDoneBeforeTheFirstTickClosesWithoutAButton) {
  status_ = kJobDone;
  Advance(100);  // the first tick sees 3
  EXPECT_FALSE(Ended());
  Advance(150);
  EXPECT_FALSE(Ended());
  Advance(100);
  EXPECT_TRUE(Ended());
  EXPECT_FALSE(dlg_->m_btnExit.IsWindowVisible());
  EXPECT_FALSE(dlg_->m_btnPause.IsWindowVisible());
  EXPECT_EQ(status_.load(), kJobDone);
}

TEST_F(JobProgressWindow, EveryStopSetsTwoDisablesTheButtonsAndCloses) {
  // The exit button (and Enter, which reaches it as command 1), the pause command and Esc
  // (command 2) all stop the job.
  for (UINT command : {UINT(IDOK), UINT(IDC_JOBPROG_PAUSE), UINT(IDCANCEL)}) {
    SCOPED_TRACE(command);
    if (!dlg_->m_hWnd) {
      dlg_ = std::make_unique<CProgressDlg>(&main_, &status_);
      ASSERT_TRUE(dlg_->Create(IDD_JOB_PROGRESS, &main_));
      dlg_->ShowWindow(SW_SHOW);
    }
    status_ = kJobRunning;
    Show(Copy(kProgressCopy, 300 * kMiB, 10 * kMiB, 10, 1, kMiB, 0, u"a"));
    ASSERT_TRUE(dlg_->m_btnExit.IsWindowVisible());
    dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    EXPECT_EQ(status_.load(), kJobStopped);
    EXPECT_FALSE(dlg_->m_btnExit.IsWindowEnabled());
    EXPECT_FALSE(dlg_->m_btnPause.IsWindowEnabled());
    EXPECT_FALSE(Ended());  // the dialog waits for its next tick
    Advance(100);
    EXPECT_FALSE(Ended());
    Advance(250);
    EXPECT_TRUE(Ended());
    EXPECT_EQ(status_.load(), kJobStopped);
    dlg_->DestroyWindow();
  }
}

TEST_F(JobProgressWindow, AStopAfterTheJobFinishedKeepsItDone) {
  Show(Copy(kProgressCopy, 300 * kMiB, 300 * kMiB, 1, 1, kMiB, kMiB, u"a"));
  status_ = kJobDone;
  dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(status_.load(), kJobDone);
  Advance(400);
  EXPECT_TRUE(Ended());
}

// The launcher with the window: a worker posts copy records until it is done or told to stop;
// the test thread runs the modal dialog; a helper thread plays the user.
class JobProgressRun : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    InstallJobProgressDlg();
  }
  void TearDown() override {
    SetProgressDlgFactory(nullptr);
    DialogTest::TearDown();
  }
};

TEST_F(JobProgressRun, EscStopsTheJobAndDoneEndsIt) {
  for (bool byEsc : {true, false}) {
    SCOPED_TRACE(byEsc ? "Esc" : "done");
    std::atomic<uint32_t> status{kJobRunning};
    std::atomic<int> postsAfterStop{0};
    ASSERT_TRUE(CreateProgressDlg(&status, &main_));
    EXPECT_FALSE(CreateProgressDlg(&status, &main_));  // one at a time
    std::thread worker([&] {
      for (int i = 0; i < 3000; ++i) {
        if (status.load() == kJobStopped) return;  // as the copy does before every read
        if (!byEsc && i == 30) {
          uint32_t running = kJobRunning;
          status.compare_exchange_strong(running, kJobDone);
          return;
        }
        PostScanProgress(Copy(kProgressCopy, 100 * kMiB, uint64_t(i) * kMiB / 10, 5, 0, kMiB, 0, u"file"));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      postsAfterStop = -1;  // never told
    });
    std::atomic<bool> pressed{false};
    std::thread user([&] {
      if (!byEsc) return;
      HWND dlg = WaitForPopup(int(IDC_JOBPROG_LINE1));
      if (!dlg) return;
      HWND exitBtn = GetDlgItem(dlg, IDOK);
      for (int i = 0; i < 5000 && !IsWindowVisible(exitBtn); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      InjectKeyPress(VK_ESCAPE);
      pressed = true;
    });
    const bool done = RunProgressDlg();
    user.join();
    worker.join();
    EXPECT_EQ(done, !byEsc);
    EXPECT_EQ(status.load(), byEsc ? kJobStopped : kJobDone);
    EXPECT_EQ(pressed.load(), byEsc);
    EXPECT_EQ(postsAfterStop.load(), 0);
    EXPECT_EQ(ActiveProgressDlg(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(main_.m_hWnd));
  }
}

}  // namespace
}  // namespace recovery_test
