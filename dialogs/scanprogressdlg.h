// The scan progress panel: the narrow panel at the top of the result view while a scan runs. A
// 200 ms timer takes the newest progress record from the mailbox (only while the scan runs) and
// shows it as a bar and two lines; its buttons pause or continue the scan and save the scan so
// far. The scan state word itself lives with the scan (scanbase/scanrun.h), not here, so threads
// that outlive the panel never write into a freed window.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/afx/afxctrls.h"
#include "scanbase/scanprogress.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_SCAN_PROGRESS = 277;
constexpr UINT IDC_SCANPROG_LINE1 = 1001;
constexpr UINT IDC_SCANPROG_LINE2 = 1002;
constexpr UINT IDC_SCANPROG_BAR = 1104;
constexpr UINT IDC_SCANPROG_PAUSE = 1105;
constexpr UINT IDC_SCANPROG_SAVE = 1106;
constexpr UINT IDC_SCANPROG_ANALYSE = 1107;
constexpr UINT_PTR kScanProgressTimer = 1;
constexpr int kScanProgressHeight = 64;

// The index (0 to 7) of the animation frame drawn last.
extern std::atomic<uint32_t> ScanAnimFrame;

// What one progress record changes on the panel: each line only when its flag is set (a line
// that changes "only when it changed" is compared with what it shows first), the bar only when
// bar >= 0.
struct ProgressView {
  bool setLine1 = false, setLine2 = false;
  bool line1WhenChanged = false;
  CString line1, line2;
  int bar = -1;
};
ProgressView RenderScanProgress(const ScanProgress& rec);

// Writes the scan state to a scan-state file (under the job-progress dialog); true when it was
// saved. Null (the default) is the deep scan's own SaveScanState; tests put a fake in its place.
using SaveScanStateFn = bool (*)();
void SetSaveScanStateHandler(SaveScanStateFn fn);

class CScanProgressDlg : public CSkinChildDialog {
 public:
  CScanProgressDlg();
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  void OnDrawBackground(CDC* dc) override;

  // 1 when the scan went from running to paused (the pause is noted, the button reads
  // "ContinueScan"); 0, changing nothing, when it was not running.
  int PauseScan();
  // Back to running whatever the state was; the pause is counted; the button reads pause again.
  int ResumeScan();
  // A new scan: captions, empty lines, the bar at 0, not waiting for a device; a pause left
  // over is lifted, but a state the scan's threads already moved on (input finished, stopped)
  // is kept.
  void Reset();
  void UpdateProgress();
  void SetCaptions();
  CString PauseCaption() const;

  CProgressCtrl m_bar;
  CTransparentStatic m_line1, m_line2;
  CSkinButton m_btnPause, m_btnSave, m_btnAnalyse;
  CBitmapDC m_frames;
  uint32_t m_waitingForDevice = 0;
  int m_line1Sets = 0;  // how often line 1 was given a text (for the curious)

 protected:
  void OnTimer(UINT_PTR id);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
  void OnBnClickedPause();
  void OnBnClickedSaveProgress();
  DECLARE_MESSAGE_MAP()
};

void RegisterScanProgressTemplate();
