// The result view: the main window's panel in which the user works with what a scan found,
// while it runs and after it ended. It holds the scan progress panel, five result panes (one
// per classify mode: by path, search result, by type, by creation and by modification time, of
// which the current mode's is seen), the classify and search buttons, the view switch, the
// header naming the target, the selection summary and the Back, Recover and video help
// buttons.
#pragma once

#include <cstdint>

#include "core/volumelist.h"
#include "dialogs/panels.h"
#include "results/fdrdlg.h"
#include "skin/skinbuttons.h"
#include "skin/skinstatic.h"

constexpr UINT IDC_RESULT_BACK = 1000;
constexpr UINT IDC_RESULT_VIDEOHELP = 1001;
constexpr UINT IDC_RESULT_RECOVER = 1011;
constexpr UINT IDC_RESULT_SUMMARY = 1050;
constexpr UINT IDC_RESULT_BYPATH = 1106;
constexpr UINT IDC_RESULT_BYTYPE = 1107;
constexpr UINT IDC_RESULT_BYMTIME = 1108;
constexpr UINT IDC_RESULT_SEARCH = 1109;
constexpr UINT IDC_RESULT_BYCTIME = 1110;
constexpr UINT IDC_RESULT_ACCESSTIME = 1111;
constexpr UINT IDC_RESULT_DETAILS = 1113;
constexpr UINT IDC_RESULT_ICONS = 1114;
constexpr UINT IDC_RESULT_HEADER = 1131;

// The folders of slot 3 that hold rebuilt MP4/MOV and MTS videos.
constexpr uint32_t kMovVideoFolderId = 67;
constexpr uint32_t kMtsVideoFolderId = 88;

// Files (not directories) checked or partly checked in every slot, and their bytes.
struct SelectionSummary {
  uint32_t files = 0;
  uint64_t bytes = 0;
};
SelectionSummary CountCheckedFiles(VolumeList& list);
// False when the folder of slot 3 cannot be listed; else the children that carry an explicit
// extent list (and, in search mode, are visible).
bool CountRebuiltVideos(VolumeList& list, uint32_t& count, uint32_t folderId);

class CDorivDlg : public CResultViewBase {
 public:
  // The model the view shows; null: the application's.
  explicit CDorivDlg(VolumeList* list = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  void OnDrawBackground(CDC* dc) override;

  void SetLayoutState(int state) override;
  void SetClassifyMode(int mode) override;
  void ShowResultView(int show) override;
  void DisableResultPanes() override;
  void OnScanFinished() override;
  void ShowResultControls(bool show);
  void SetTexts();
  void ReportVideoResults();
  void ReportMovRebuild();
  void ReportMtsRebuild();
  void OnBnClickedShowIcons();
  void OnBnClickedShowDetails();
  // The program's filter (as the search dialog left it) applied to the model; the search's
  // outcome.
  void ApplySearch();

  // The pane of a mode (-2 … 2); null for other values.
  CFdrDlg* Pane(int mode);
  // The header text for a scan target.
  static CString HeaderText(const VolumeContext& target);

  VolumeList* m_list;
  uint32_t m_selCount = 0;
  uint64_t m_selBytes = 0;
  CFont m_btnFont;
  CTransparentStatic m_header;
  int m_panelHeight = 60;
  int m_panelTop = 0;
  int m_resultsTop = 0;
  CFdrDlg m_panes[5];
  CSkinButton m_btnByPath, m_btnSearch, m_btnByType, m_btnByCTime, m_btnByMTime, m_btnVideoHelp, m_btnBack,
      m_btnRecover;
  CTransparentStatic m_summary;
  CBmpButton m_btnDetails, m_btnIcons;

 protected:
  void OnBnClickedByPath() { SetClassifyMode(kModeByPath); }
  void OnBnClickedByType() { SetClassifyMode(kModeByType); }
  void OnBnClickedByCreateTime() { SetClassifyMode(kModeByCreation); }
  void OnBnClickedByModifyTime() { SetClassifyMode(kModeByModification); }
  void OnBnClickedSearch();
  void OnBnClickedRecover();
  void OnBnClickedBack();
  void OnBnClickedVideoHelp();
  void OnBnClickedAccessTime() {}
  LRESULT OnCheckChanged(WPARAM, LPARAM);
  BOOL OnEraseBkgnd(CDC*) { return FALSE; }
  DECLARE_MESSAGE_MAP()

 private:
  void ReportRebuiltVideos(uint32_t folderId, const char16_t* reportFormat, const char16_t* messageFormat);
  void ReportCanonFragments();
  void Relayout();
};

void RegisterResultViewTemplates();
// Makes the main window build this view (and registers its templates).
void InstallResultView();
