#include "results/jobprogressdlg.h"

#include <cstddef>
#include <mutex>

#include "app/settings.h"
#include "deepscan/progressdlg.h"
#include "platform/afx/afxmsg.h"

namespace {

CString T(const char16_t* key) { return GetLangStr(key); }

// Megabytes of a byte count, as the lines print them.
uint32_t Mb(uint64_t bytes) { return uint32_t(bytes >> 20); }

// part of whole as a bar position; -1 (the bar keeps its place) when whole is 0. The product
// is taken in 64 bits and the result held to the bar's range, so that large counts cannot wrap
// into a wrong position.
int Percent(uint64_t part, uint64_t whole) {
  if (whole == 0) return -1;
  const uint64_t p = part * 100 / whole;
  return p > 100 ? 100 : int(p);
}

CString Text(const ScanProgress& rec, size_t offset, size_t units) {
  return CString(GetProgressText(rec, offset, units));
}

void Set(JobProgressView& v, int line, const CString& text) {
  v.setLine[line] = true;
  v.line[line] = text;
}

void RenderCopy(const ScanProgress& rec, const char16_t* totalKey, JobProgressView& v) {
  const ProgressCopy& c = rec.copy;
  v.bar = Percent(Mb(c.bytesDone), Mb(c.bytesTotal));
  Set(v, 0, Text(rec, offsetof(ScanProgress, copy.heading), 260));
  Set(v, 1, FormatCString(u"%s(MB):  %u / %u", T(totalKey), Mb(c.bytesDone), Mb(c.bytesTotal)));
  if (rec.kind != kProgressCopy) return;
  Set(v, 2, FormatCString(u"%s:  %u / %u", T(u"NumberOfFiles"), c.filesDone, c.filesTotal));
  Set(v, 3, FormatCString(u"%s(MB):  %u / %u", T(u"CurrCopyData"), Mb(c.fileDone), Mb(c.fileSize)));
}

}  // namespace

bool JobKindHasBar(uint32_t kind) {
  return kind != kProgressParse && kind != kProgressPartitions && kind != kProgressReadError && kind != kProgressText;
}

JobProgressView RenderJobProgress(const ScanProgress& rec) {
  JobProgressView v;
  auto title = [&v](const char16_t* key) {
    v.setTitle = true;
    v.title = T(key);
  };
  switch (rec.kind) {
    case kProgressParse: {
      const ProgressParseCounts& p = rec.parse;
      title(u"WaitParseData");
      Set(v, 0, FormatCString(u"%s:  %u     %s:  %u", T(u"FindFileNum"), p.filesInUse, T(u"DirFind"), p.dirsInUse));
      Set(v, 1, FormatCString(u"%s:  %u     %s:  %u", T(u"FindDelFile"), p.deletedFiles, T(u"FindDelDir"), p.deletedDirs));
      break;
    }
    case kProgressSectorScan: {
      const ProgressSectorScan& s = rec.scan;
      const uint64_t done = s.sectorsDone < s.sectorsTotal ? s.sectorsDone : s.sectorsTotal;
      title(u"WaitScanData");
      // A range of one MiB or less has no whole MiB to count in.
      if (s.sectorsTotal > 2048) v.bar = Percent(done >> 11, s.sectorsTotal >> 11);
      Set(v, 0, FormatCString(u"%s: %u(MB)/%u(MB)     %s: %u     ", T(u"ScanRange"), uint32_t(done >> 11),
                              uint32_t(s.sectorsTotal >> 11), T(u"FindFileNum"), s.filesFound));
      // Before any scan time has passed there is no rate: the line keeps what it showed.
      CString rate;
      if (FormatScanRateText(done, s.sectorsTotal, rate)) Set(v, 1, rate);
      // The counts lie in the order EBR, NTFS boot, FAT boot, exFAT boot, MFT record, FAT
      // directory, index record, exFAT directory.
      const uint32_t* m = s.metaCounts;
      Set(v, 2, FormatCString(u"Ebr: %u     Fat dbr: %u     Ntfs dbr: %u     Exfat dbr: %u ", m[0], m[2], m[1], m[3]));
      Set(v, 3, FormatCString(u"File record: %u     Fat dir: %u     Ntfs dir: %u     Exfat dbr: %u ", m[4], m[5], m[6],
                              m[7]));
      break;
    }
    case kProgressCopy:
      title(u"WaitRecoverData");
      RenderCopy(rec, u"TotalCopyData", v);
      break;
    case kProgressPrepare:
      title(u"WaitPrepairData");
      RenderCopy(rec, u"PrepairData", v);
      break;
    case kProgressPartitions: {
      const ProgressPartitions& p = rec.part;
      title(u"WaitGetPartInfo");
      Set(v, 0, FormatCString(u"%s:  %u", T(u"FindPartNum"), p.drivesFound));
      const char16_t letter[2] = {p.letter, 0};
      Set(v, 1, FormatCString(u"%s:  %s:", T(u"CurrPart"), CString(letter)));
      Set(v, 2, FormatCString(u"%s:  %s", T(u"PartFormat"), Text(rec, offsetof(ScanProgress, part.fsName), 128)));
      Set(v, 3, FormatCString(u"%s:  %s", T(u"PartVolume"), Text(rec, offsetof(ScanProgress, part.label), 128)));
      break;
    }
    case kProgressReadError: {
      const ProgressReadError& e = rec.readError;
      title(u"ReadDevErr");
      Set(v, 0, FormatCString(u"%s:  %s", T(u"ReadDevInfo"), Text(rec, offsetof(ScanProgress, readError.device), 314)));
      Set(v, 1, FormatCString(u"%s:  %I64u        %s:  %I64u  ", T(u"Address"), uint64_t(e.sector), T(u"Size"),
                              uint64_t(e.size)));
      break;
    }
    case kProgressReadState:
    case kProgressSaveState:
    case kProgressHandleState: {
      const ProgressCount& c = rec.count;
      title(rec.kind == kProgressReadState   ? u"ReadSectorInfo"
            : rec.kind == kProgressSaveState ? u"SaveSectorInfo"
                                             : u"HandSectorInfo");
      v.bar = Percent(c.done, c.total);
      Set(v, 1, FormatCString(u"%s: %u / %u", T(u"SectorInfo"), c.done, c.total));
      break;
    }
    case kProgressText:
      // The heading belongs to the scan panel; this dialog keeps its title.
      Set(v, 1, Text(rec, offsetof(ScanProgress, text.line1), 128));
      Set(v, 2, Text(rec, offsetof(ScanProgress, text.line2), 128));
      break;
    default:
      // Sorting, video rebuild, MTS scan and disk image records belong to the scan panel: the
      // dialog is arranged for them and shows nothing more.
      break;
  }
  return v;
}

// ---- The dialog ----

BEGIN_MESSAGE_MAP(CProgressDlg, CSkinDialogEx)
ON_WM_TIMER()
ON_BN_CLICKED(IDC_JOBPROG_PAUSE, OnBnClickedStop)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg(CWnd* parent, std::atomic<uint32_t>* status)
    : CSkinDialogEx(IDD_JOB_PROGRESS, parent), m_status(status) {}

void CProgressDlg::DoDataExchange(CDataExchange* dx) {
  for (int i = 0; i < 4; ++i) DDX_Control(dx, int(IDC_JOBPROG_LINE1) + i, m_lines[i]);
  DDX_Control(dx, IDC_JOBPROG_BAR, m_bar);
  DDX_Control(dx, IDC_JOBPROG_PAUSE, m_btnPause);
  DDX_Control(dx, IDC_JOBPROG_EXIT, m_btnExit);
}

BOOL CProgressDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetTimer(kJobProgressTimer, kJobProgressTickMs, nullptr);
  m_lastKind = 0;
  m_bar.ShowWindow(SW_HIDE);
  m_btnPause.ShowWindow(SW_HIDE);
  m_btnExit.ShowWindow(SW_HIDE);
  for (CTransparentStatic& line : m_lines) line.SetText(CString());
  // No close, minimise, maximise or menu button: the job ends only through its own buttons.
  for (CBmpButton* b : {&m_btnClose, &m_btnMax, &m_btnMin, &m_btnMenu}) b->ShowWindow(SW_HIDE);
  SetAppIcon();
  SetTitle(T(u"ProcessInfo"));
  return TRUE;
}

void CProgressDlg::ArrangeForKind(uint32_t kind) {
  if (kind == m_lastKind) return;
  const bool bar = JobKindHasBar(kind);
  const int first = bar ? 70 : 45;
  if (bar) {
    m_bar.MoveWindow(17, 45, 411, 20, TRUE);
    m_bar.ShowWindow(SW_SHOW);
  } else {
    m_bar.ShowWindow(SW_HIDE);
  }
  for (int i = 0; i < 4; ++i) m_lines[i].MoveWindow(17, first + 20 * i, 411, 20, TRUE);
  m_btnPause.MoveWindow(278, 150, 70, 25, TRUE);
  m_btnPause.ShowWindow(SW_HIDE);
  m_btnExit.MoveWindow(278 + 82, 150, 70, 25, TRUE);
  m_btnExit.ShowWindow(SW_SHOW);
  for (CTransparentStatic& line : m_lines) line.SetText(CString());
  m_lastKind = kind;
}

void CProgressDlg::ShowRecord(const ScanProgress& rec) {
  ArrangeForKind(rec.kind);
  const JobProgressView v = RenderJobProgress(rec);
  if (v.setTitle && v.title != m_title) SetTitle(v.title);
  for (int i = 0; i < 4; ++i) {
    if (v.setLine[i]) m_lines[i].SetText(v.line[i]);
  }
  if (v.bar >= 0) m_bar.SetPos(v.bar);
}

void CProgressDlg::Tick() {
  const uint32_t s = m_status ? m_status->load() : kJobDone;
  if ((s == kJobStopped || s == kJobDone) && !m_closing) {
    // The last state stays up a moment; the interface thread is not put to sleep for it.
    m_closing = true;
    KillTimer(kJobProgressTimer);
    SetTimer(kJobProgressCloseTimer, kJobProgressCloseDelayMs, nullptr);
  }
  ScanProgress rec;
  if (!TakeScanProgress(rec)) return;
  ShowRecord(rec);
}

void CProgressDlg::OnTimer(UINT_PTR id) {
  if (id == kJobProgressTimer) {
    Tick();
  } else if (id == kJobProgressCloseTimer) {
    KillTimer(kJobProgressCloseTimer);
    EndDialog(IDOK);
  }
}

void CProgressDlg::OnBnClickedStop() {
  // Only a running job is stopped: one that already finished keeps its 3 and counts as done.
  if (m_status) {
    uint32_t running = kJobRunning;
    m_status->compare_exchange_strong(running, kJobStopped);
  }
  m_btnExit.EnableWindow(FALSE);
  m_btnPause.EnableWindow(FALSE);
}

void RegisterJobProgressTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  t.cx = 298;
  t.cy = 123;
  t.title = u"Progress";
  const DWORD button = WS_TABSTOP | BS_OWNERDRAW;
  for (int i = 0; i < 4; ++i)
    t.items.push_back({int(IDC_JOBPROG_LINE1) + i, WC_STATIC, WS_VISIBLE, 0, u"", 11, 43 + 12 * i, 274, 12});
  t.items.push_back({int(IDC_JOBPROG_BAR), PROGRESS_CLASS, 0, 0, u"", 11, 28, 274, 12});
  t.items.push_back({int(IDC_JOBPROG_PAUSE), WC_BUTTON, button, 0, u"暂停", 185, 92, 47, 15});
  t.items.push_back({int(IDC_JOBPROG_EXIT), WC_BUTTON, button | BS_DEFPUSHBUTTON, 0, u"退出", 240, 92, 47, 15});
  RegisterDialogTemplate(IDD_JOB_PROGRESS, t);
}

// ---- The runner behind CreateProgressDlg / RunProgressDlg ----

namespace {

class WindowedProgressRunner : public ProgressDlgRunner {
 public:
  explicit WindowedProgressRunner(CWnd* parent) : parent_(parent) {}
  void RunModal(std::atomic<uint32_t>* status) override {
    {
      std::lock_guard<std::mutex> g(m_);
      status_ = status;
      if (stopEarly_) Stop(status);
    }
    CProgressDlg dlg(parent_, status);
    dlg.DoModal();
    std::lock_guard<std::mutex> g(m_);
    status_ = nullptr;
  }
  // The effect of the stop buttons, from any thread: the dialog sees the 2 at its next tick.
  void PressStop() override {
    std::lock_guard<std::mutex> g(m_);
    if (status_) Stop(status_);
    else stopEarly_ = true;
  }

 private:
  static void Stop(std::atomic<uint32_t>* status) {
    uint32_t running = kJobRunning;
    status->compare_exchange_strong(running, kJobStopped);
  }
  CWnd* parent_;
  std::mutex m_;
  std::atomic<uint32_t>* status_ = nullptr;
  bool stopEarly_ = false;
};

ProgressDlgRunner* MakeWindowedRunner(void* parent) { return new WindowedProgressRunner(static_cast<CWnd*>(parent)); }

}  // namespace

void InstallJobProgressDlg() {
  RegisterJobProgressTemplate();
  SetProgressDlgFactory(&MakeWindowedRunner);
}
