#include "dialogs/scanprogressdlg.h"

#include "app/settings.h"
#include "base/sizetext.h"
#include "deepscan/scanstatesave.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "scanbase/scanrun.h"
#include "skin/skinfonts.h"

std::atomic<uint32_t> ScanAnimFrame{0};

namespace {

std::atomic<SaveScanStateFn> g_saveScanState{nullptr};

constexpr uint64_t kImageBlockBytes = 0x800200;  // a block of the image writer: 8 MiB and its trailer

bool IsCloneEdition() { return GetBaseCfg(u"Version") == CString(u"VuzuDazuv"); }

CString Lang(const char16_t* key) { return GetLangStr(key); }

// The bar of a sector range: whole MiB done of whole MiB in all, once there is more than one.
int SectorBar(uint64_t done, uint64_t total) {
  if (done > total) done = total;
  if (total <= 2048) return -1;
  return int((done / 2048) * 100 / (total / 2048));
}

int Percent(uint64_t part, uint64_t whole) { return whole == 0 ? -1 : int(part * 100 / whole); }

}  // namespace

void SetSaveScanStateHandler(SaveScanStateFn fn) { g_saveScanState.store(fn); }

ProgressView RenderScanProgress(const ScanProgress& rec) {
  ProgressView v;
  switch (rec.kind) {
    case kProgressParse: {
      const ProgressParseCounts p = rec.parse;
      v.setLine1 = v.setLine2 = true;
      v.line1 = Lang(u"WaitParseData");
      v.line2 = FormatCString(u"%s: %u   %s: %u       %s: %u   %s: %u", Lang(u"FindFileNum"), p.filesInUse,
                              Lang(u"DirFind"), p.dirsInUse, Lang(u"FindDelFile"), p.deletedFiles, Lang(u"FindDelDir"),
                              p.deletedDirs);
      break;
    }
    case kProgressSectorScan:
    case kProgressMtsScan: {
      const uint64_t total = rec.scan.sectorsTotal;
      const uint64_t done = rec.scan.sectorsDone > total ? total : rec.scan.sectorsDone;
      v.setLine1 = v.setLine2 = true;
      v.line1WhenChanged = true;
      if (rec.kind == kProgressSectorScan) {
        v.line1 = Lang(IsSoftCfgOn(u"MustScanEnd") ? u"RecoverWait" : u"RecoverImmediately");
        v.line2 = FormatCString(u"%s: %u(MB)/%u(MB)     %s: %u     ", Lang(u"ScanRange"), uint32_t(done / 2048),
                                uint32_t(total / 2048), Lang(u"FindFileNum"), rec.scan.filesFound);
      } else {
        v.line1 = u"正在扫描MTS视频数据，请耐心等待扫描结束！";
        v.line2 = FormatCString(u"扫描范围: %u(MB)/%u(MB) 发现MTS视频碎片数: %u", uint32_t(done / 2048),
                                uint32_t(total / 2048), rec.scan.filesFound);
      }
      CString rate;
      if (FormatScanRateText(done, total, rate)) v.line2 += rate;
      v.bar = SectorBar(done, total);
      break;
    }
    case kProgressReadState:
    case kProgressSaveState: {
      v.setLine1 = v.setLine2 = true;
      v.line1 = Lang(rec.kind == kProgressReadState ? u"ReadSectorInfo" : u"SaveSectorInfo");
      v.line2 = FormatCString(u"%s: %u / %u", Lang(u"SectorInfo"), rec.count.done, rec.count.total);
      // In 64 bits: a hundred times 43 million items no longer fits in 32.
      v.bar = Percent(rec.count.done, rec.count.total);
      break;
    }
    case kProgressSorting:
      v.setLine1 = v.setLine2 = true;
      v.line1 = Lang(u"WaitSortFile");
      v.line2 = FormatCString(u"%s: %u    %s: %u", Lang(u"NumberFileSorted"), rec.count.done, Lang(u"TotalFiles"),
                              rec.count.total);
      break;
    case kProgressText:
      v.setLine1 = v.setLine2 = true;
      v.line1 = CString(GetProgressText(rec, offsetof(ScanProgress, text) + offsetof(ProgressTexts, heading), 64));
      v.line2 = CString(GetProgressText(rec, offsetof(ScanProgress, text) + offsetof(ProgressTexts, line1), 128));
      break;
    case kProgressVideoRebuild:
      v.setLine1 = v.setLine2 = true;
      v.line1 = u"正在重组视频碎片，可能需要几分钟时间，请耐心等候！";
      v.line2 = FormatCString(u"已重组个数: %u 总个数: %u", rec.count.done, rec.count.total);
      v.bar = Percent(rec.count.done, rec.count.total);
      break;
    case kProgressDiskImage: {
      const uint64_t good = rec.image.blocksRead, failed = rec.image.blocksFailed, expected = rec.image.blocksExpected;
      const uint32_t rate = good + failed == 0 ? 100 : uint32_t(good * 100 / (good + failed));
      v.setLine1 = true;
      v.line1 = FormatCString(u"镜像成功: %s 镜像失败: %s 总镜像: %s 镜像成功率: %u%%", FormatByteSize(good * kImageBlockBytes),
                              FormatByteSize(failed * kImageBlockBytes), FormatByteSize(expected * kImageBlockBytes), rate);
      v.bar = Percent(good + failed, expected);
      break;
    }
    default:
      break;
  }
  return v;
}

BEGIN_MESSAGE_MAP(CScanProgressDlg, CSkinChildDialog)
ON_WM_TIMER()
ON_WM_CTLCOLOR()
ON_BN_CLICKED(IDC_SCANPROG_PAUSE, OnBnClickedPause)
ON_BN_CLICKED(IDC_SCANPROG_SAVE, OnBnClickedSaveProgress)
END_MESSAGE_MAP()

CScanProgressDlg::CScanProgressDlg() : CSkinChildDialog(IDD_SCAN_PROGRESS) {}

void CScanProgressDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_SCANPROG_BAR, m_bar);
  DDX_Control(dx, IDC_SCANPROG_LINE1, m_line1);
  DDX_Control(dx, IDC_SCANPROG_LINE2, m_line2);
  DDX_Control(dx, IDC_SCANPROG_PAUSE, m_btnPause);
  DDX_Control(dx, IDC_SCANPROG_SAVE, m_btnSave);
  DDX_Control(dx, IDC_SCANPROG_ANALYSE, m_btnAnalyse);
}

BOOL CScanProgressDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  SetTimer(kScanProgressTimer, 200, nullptr);
  m_line1.m_textColor = RGB(255, 0, 0);
  m_line1.m_bMemReady = 0;
  m_line1.Invalidate(FALSE);
  m_line1.SetText(CString());
  m_line2.SetText(CString());
  m_bar.SetRange(0, 100);
  m_frames.LoadFromResource(279);
  for (CSkinButton* b : {&m_btnPause, &m_btnSave, &m_btnAnalyse}) CopyFontObject(&SkinMinBtnFont(), &b->m_pFont);
  m_btnAnalyse.ShowWindow(SW_HIDE);
  SetCaptions();
  return TRUE;
}

void CScanProgressDlg::SetCaptions() {
  m_btnPause.SetWindowText(PauseCaption());
  m_btnSave.SetWindowText(Lang(IsCloneEdition() ? u"Stop" : u"SaveProgress"));
}

CString CScanProgressDlg::PauseCaption() const { return Lang(IsCloneEdition() ? u"PauseScan" : u"Pause"); }

void CScanProgressDlg::OnSkinSize(int w, int) {
  if (!m_btnPause.m_hWnd) return;
  m_bar.MoveWindow(70, 5, w - 160, 15, TRUE);
  m_btnPause.MoveWindow(w - 80, 5, 72, 22, TRUE);
  m_btnSave.MoveWindow(w - 80, 32, 72, 22, TRUE);
  m_line1.MoveWindow(70, 23, w - 160, 15, TRUE);
  m_line2.MoveWindow(70, 41, w - 160, 15, TRUE);
}

void CScanProgressDlg::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  CPen pen(PS_SOLID, 1, RGB(0xCA, 0xCC, 0xCF));
  CPen* old = dc->SelectObject(&pen);
  dc->Rectangle(&rc);
  dc->SelectObject(old);
  const uint32_t frame = (ScanAnimFrame.load() + 1) % 8;
  ScanAnimFrame.store(frame);
  if (!m_frames.m_bEmpty) dc->BitBlt(9, 9, 48, 48, &m_frames, int(frame) * 48, 0, SRCCOPY);
}

HBRUSH CScanProgressDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
  HBRUSH brush = CSkinChildDialog::OnCtlColor(dc, wnd, ctlColor);
  if (ctlColor == CTLCOLOR_STATIC) {
    dc->SetBkColor(RGB(255, 255, 255));
    brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  }
  return brush;
}

void CScanProgressDlg::UpdateProgress() {
  ScanProgress rec;
  if (!TakeScanProgress(rec)) return;
  const ProgressView v = RenderScanProgress(rec);
  if (v.setLine1 && (!v.line1WhenChanged || m_line1.m_text != v.line1)) {
    m_line1.SetText(v.line1);
    ++m_line1Sets;
  }
  if (v.setLine2) m_line2.SetText(v.line2);
  if (v.bar >= 0) m_bar.SetPos(v.bar);
}

void CScanProgressDlg::OnTimer(UINT_PTR id) {
  if (id == kScanProgressTimer && ScanRunState.load() == kScanRunning) {
    UpdateProgress();
    m_bBackReady = 0;
    Invalidate(FALSE);
  }
  Default();
}

int CScanProgressDlg::PauseScan() {
  if (!::PauseScan()) return 0;
  if (m_btnPause.m_hWnd) m_btnPause.SetWindowText(Lang(u"ContinueScan"));
  return 1;
}

int CScanProgressDlg::ResumeScan() {
  ::ResumeScan();
  if (m_btnPause.m_hWnd) m_btnPause.SetWindowText(PauseCaption());
  return 1;
}

void CScanProgressDlg::Reset() {
  if (m_hWnd) {
    m_btnPause.SetWindowText(PauseCaption());
    m_line1.SetText(CString());
    m_line2.SetText(CString());
    m_bar.SetPos(0);
    Invalidate(TRUE);
  }
  // The scan thread has already started: a state it set (input finished, or a stop of its own)
  // must stand, or its consumer would wait for an end that has passed.
  uint32_t paused = kScanPaused;
  ScanRunState.compare_exchange_strong(paused, kScanRunning);
  m_waitingForDevice = 0;
}

void CScanProgressDlg::OnBnClickedPause() {
  // Only a running or paused scan is toggled: once the input is finished (or a stop was asked
  // for) setting "running" again would leave the end of the scan waiting for ever.
  const uint32_t s = ScanRunState.load();
  if (s == kScanRunning) {
    if (::PauseScan()) m_btnPause.SetWindowText(Lang(IsCloneEdition() ? u"ContinueScan" : u"Continue"));
  } else if (s == kScanPaused) {
    ResumeScan();
  }
}

void CScanProgressDlg::OnBnClickedSaveProgress() {
  const int paused = PauseScan();
  const SaveScanStateFn save = g_saveScanState.load();
  const bool saved = save != nullptr ? save() : SaveScanState();
  if (paused) ResumeScan();
  ShowMessageBox(Lang(saved ? u"SaveScanOK" : u"SaveScanErr"));
}

void RegisterScanProgressTemplate() {
  DlgTemplate t;
  t.style = WS_CHILD;
  t.cx = 530;
  t.cy = 50;
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  t.items = {
      {int(IDC_SCANPROG_BAR), PROGRESS_CLASS, WS_VISIBLE, 0, u"", 47, 3, 400, 10},
      {int(IDC_SCANPROG_LINE1), WC_STATIC, WS_VISIBLE, 0, u"基本信息1", 47, 15, 400, 10},
      {int(IDC_SCANPROG_LINE2), WC_STATIC, WS_VISIBLE, 0, u"基本信息2", 47, 27, 400, 10},
      {int(IDC_SCANPROG_PAUSE), WC_BUTTON, button, 0, u"暂停扫描", 470, 3, 50, 14},
      {int(IDC_SCANPROG_SAVE), WC_BUTTON, button, 0, u"保存进度", 470, 21, 50, 14},
      {int(IDC_SCANPROG_ANALYSE), WC_BUTTON, WS_TABSTOP | BS_OWNERDRAW, 0, u"分析数据", 400, 21, 50, 14},
  };
  RegisterDialogTemplate(IDD_SCAN_PROGRESS, t);
}
