// The modal job-progress dialog: every long job that the user waits for (copying found files
// out, opening one through a temporary copy, finding the devices, saving or reading a scan
// state) runs under it. The caller's worker thread posts progress records into the mailbox and
// finally writes 3 into the job's status word; the dialog polls both on a 100 ms timer, shows
// the newest record by its kind and ends itself once the word reads 2 (stopped) or 3 (done).
//
// The dialog is reached through CreateProgressDlg / RunProgressDlg (deepscan/progressdlg.h);
// InstallJobProgressDlg makes those show this window.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/afx/afxctrls.h"
#include "scanbase/scanprogress.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_JOB_PROGRESS = 133;
constexpr UINT IDC_JOBPROG_LINE1 = 1001;  // lines 1 to 4 are 1001 … 1004
constexpr UINT IDC_JOBPROG_BAR = 1017;
constexpr UINT IDC_JOBPROG_PAUSE = 246;
constexpr UINT IDC_JOBPROG_EXIT = IDOK;
constexpr UINT_PTR kJobProgressTimer = 1;
constexpr UINT_PTR kJobProgressCloseTimer = 2;
constexpr UINT kJobProgressTickMs = 100;
// How long the last state stays on screen once the job ended or was stopped.
constexpr UINT kJobProgressCloseDelayMs = 200;

// What one record shows. A line whose flag is clear keeps its text; the bar keeps its position
// when bar < 0; the title is set only when setTitle.
struct JobProgressView {
  bool setTitle = false;
  CString title;
  bool setLine[4] = {false, false, false, false};
  CString line[4];
  int bar = -1;
};
JobProgressView RenderJobProgress(const ScanProgress& rec);
// The kinds shown without a progress bar (their first line moves up into its place).
bool JobKindHasBar(uint32_t kind);

class CProgressDlg : public CSkinDialogEx {
 public:
  // status: the job's status word (0 running, 2 stop, 3 done); it outlives the dialog.
  CProgressDlg(CWnd* parent, std::atomic<uint32_t>* status);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  // Enter and the exit button stop the job; so does Esc, so that the dialog never closes over
  // a job that goes on unseen.
  void OnOK() override { OnBnClickedStop(); }
  void OnCancel() override { OnBnClickedStop(); }
  void OnBnClickedStop();
  // Places the bar, the lines and the buttons for the kind and empties the lines; nothing when
  // the kind is the one arranged last.
  void ArrangeForKind(uint32_t kind);
  void ShowRecord(const ScanProgress& rec);
  // One tick of the 100 ms timer.
  void Tick();

  CTransparentStatic m_lines[4];
  CProgressCtrl m_bar;
  CSkinButton m_btnPause, m_btnExit;
  uint32_t m_lastKind = 0;
  std::atomic<uint32_t>* m_status;
  bool m_closing = false;

 protected:
  void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()
};

void RegisterJobProgressTemplate();
// Makes CreateProgressDlg / RunProgressDlg run this dialog (its template registered). The
// parent a job passes is a CWnd* or null (null: the main window's last active window).
void InstallJobProgressDlg();
