// The result view's construction, layout, layout states, classify modes and view switch.
#include "results/resultview.h"

#include "app/settings.h"
#include "skin/wndhelpers.h"
#include "core/checkstate.h"
#include "platform/afx/afxmsg.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/skindraw.h"

namespace {

constexpr COLORREF kDisabledText = 0x99A8AC;
constexpr int kModes[5] = {kModeByPath, kModeSearch, kModeByType, kModeByCreation, kModeByModification};

void HideOrShow(CWnd& w, bool show) {
  if (w.m_hWnd) w.ShowWindow(show ? SW_SHOW : SW_HIDE);
}

}  // namespace

BEGIN_MESSAGE_MAP(CDorivDlg, CResultViewBase)
ON_BN_CLICKED(IDC_RESULT_BYPATH, OnBnClickedByPath)
ON_BN_CLICKED(IDC_RESULT_BYTYPE, OnBnClickedByType)
ON_BN_CLICKED(IDC_RESULT_BYCTIME, OnBnClickedByCreateTime)
ON_BN_CLICKED(IDC_RESULT_BYMTIME, OnBnClickedByModifyTime)
ON_BN_CLICKED(IDC_RESULT_SEARCH, OnBnClickedSearch)
ON_BN_CLICKED(IDC_RESULT_RECOVER, OnBnClickedRecover)
ON_BN_CLICKED(IDC_RESULT_BACK, OnBnClickedBack)
ON_BN_CLICKED(IDC_RESULT_DETAILS, OnBnClickedShowDetails)
ON_BN_CLICKED(IDC_RESULT_ICONS, OnBnClickedShowIcons)
ON_BN_CLICKED(IDC_RESULT_VIDEOHELP, OnBnClickedVideoHelp)
ON_BN_CLICKED(IDC_RESULT_ACCESSTIME, OnBnClickedAccessTime)
ON_MESSAGE(WM_VIEW_CHECKCHANGED, OnCheckChanged)
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CDorivDlg::CDorivDlg(VolumeList* list) : m_list(list ? list : &AppVolumeList()) {}

void CDorivDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_RESULT_BYPATH, m_btnByPath);
  DDX_Control(dx, IDC_RESULT_BYTYPE, m_btnByType);
  DDX_Control(dx, IDC_RESULT_BYCTIME, m_btnByCTime);
  DDX_Control(dx, IDC_RESULT_BYMTIME, m_btnByMTime);
  DDX_Control(dx, IDC_RESULT_SEARCH, m_btnSearch);
  DDX_Control(dx, IDC_RESULT_VIDEOHELP, m_btnVideoHelp);
  DDX_Control(dx, IDC_RESULT_BACK, m_btnBack);
  DDX_Control(dx, IDC_RESULT_RECOVER, m_btnRecover);
  DDX_Control(dx, IDC_RESULT_HEADER, m_header);
  DDX_Control(dx, IDC_RESULT_SUMMARY, m_summary);
  DDX_Control(dx, IDC_RESULT_DETAILS, m_btnDetails);
  DDX_Control(dx, IDC_RESULT_ICONS, m_btnIcons);
}

CFdrDlg* CDorivDlg::Pane(int mode) {
  for (int i = 0; i < 5; ++i) {
    if (kModes[i] == mode) return &m_panes[i];
  }
  return nullptr;
}

BOOL CDorivDlg::OnInitDialog() {
  CResultViewBase::OnInitDialog();
  m_list->AddListener(m_hWnd);
  m_scanProgress.Create(IDD_SCAN_PROGRESS, this);
  m_scanProgress.SetWindowPos(nullptr, 0, 0, 600, 80, SWP_NOZORDER | SWP_NOACTIVATE);
  m_scanProgress.ShowWindow(SW_SHOW);
  const WPARAM minFont = reinterpret_cast<WPARAM>(SkinMinBtnFont().m_hObject);
  for (CSkinButton* b : {&m_btnByPath, &m_btnByType, &m_btnByCTime, &m_btnByMTime, &m_btnSearch}) {
    b->SetBitmaps(250, 251, 249, 250, 250);
    b->m_captionColor = 0x000000;
    b->m_disabledColor = kDisabledText;
    b->SendMessage(WM_SETFONT, minFont, TRUE);
  }
  // Each pane lies above the ones made before it, and all above the progress panel.
  for (int i = 0; i < 5; ++i) {
    CFdrDlg& pane = m_panes[i];
    pane.m_volumes = m_list;
    pane.Create(IDD_RESULT_PANE, this);
    ::SetWindowPos(pane.m_hWnd, HWND_TOP, 0, 60, 600, 400, SWP_NOACTIVATE);
    pane.ShowWindow(SW_HIDE);
    pane.SetMode(kModes[i]);
  }
  SetClassifyMode(kModeByPath);
  m_summary.m_textColor = 0x0000FF;
  m_summary.Invalidate(TRUE);
  m_btnIcons.LoadBitmaps(326, 324, 324, 324);
  m_btnDetails.LoadBitmaps(327, 325, 325, 325);
  // The kind of list the panes start with has its button disabled.
  (MovFragmentMode ? m_btnDetails : m_btnIcons).EnableWindow(FALSE);
  CreateSkinFont(u"GuideBtn", &m_btnFont);
  for (CSkinButton* b : {&m_btnBack, &m_btnVideoHelp}) {
    CopyFontObject(&m_btnFont, &b->m_pFont);
    b->m_captionColor = 0x303030;
    b->m_disabledColor = kDisabledText;
  }
  m_btnBack.SetIcon(380, 16);
  m_btnVideoHelp.SetIcon(390, 16);
  m_btnRecover.SetBitmaps(374, 373, 373, 374, 374);
  m_btnRecover.m_captionColor = 0xFFFFFF;
  m_btnRecover.m_disabledColor = kDisabledText;
  CopyFontObject(&m_btnFont, &m_btnRecover.m_pFont);
  m_btnRecover.SetIcon(383, 16);
  SetTexts();
  return TRUE;
}

void CDorivDlg::SetTexts() {
  const struct {
    CWnd* wnd;
    const char16_t* key;
  } texts[] = {{&m_btnByPath, u"SortFilePath"}, {&m_btnByType, u"SortFileType"}, {&m_btnByCTime, u"SortCreateTime"},
               {&m_btnByMTime, u"SortFixTime"}, {&m_btnSearch, u"FileSearch"},   {&m_btnVideoHelp, u"VideoHelp"},
               {&m_btnBack, u"Back"},           {&m_btnRecover, u"Recover"}};
  for (const auto& t : texts) t.wnd->SetWindowText(GetLangStr(t.key));
  if (CWnd* access = GetDlgItem(IDC_RESULT_ACCESSTIME)) access->SetWindowText(GetLangStr(u"AccessTime"));
  m_summary.SetText(GetLangStr(u"NoSelFile"));
}

void CDorivDlg::OnDrawBackground(CDC* dc) {
  if (const SkinImageData* corner = FindSkinImage(u"Dlg/DlgCorner.bmp")) {
    RECT rc{};
    GetClientRect(&rc);
    DrawPic(dc->m_hDC, corner, rc.right - 536, rc.bottom - 100);
  }
}

void CDorivDlg::OnSkinSize(int cx, int cy) {
  if (!m_btnByPath.m_hWnd) return;
  const int rt = m_resultsTop;
  m_scanProgress.MoveWindow(0, m_panelTop, cx, m_panelHeight, TRUE);
  const bool switches = m_panelTop < 10 || m_layoutState == 3;
  HideOrShow(m_btnDetails, switches);
  HideOrShow(m_btnIcons, switches);
  m_btnByPath.MoveWindow(15, rt, 120, 30, TRUE);
  // The three classify buttons keep their places whenever the scan allowed classified views,
  // even when the edition hides them.
  const bool placed = ClassifyAllowed.load() != 0;
  if (placed) {
    m_btnByType.MoveWindow(140, rt, 120, 30, TRUE);
    m_btnByCTime.MoveWindow(265, rt, 120, 30, TRUE);
    m_btnByMTime.MoveWindow(390, rt, 120, 30, TRUE);
  }
  const int searchX = placed ? 515 : 140;
  m_btnSearch.MoveWindow(searchX, rt, 120, 30, TRUE);
  const int headerX = searchX + 120 + 20;
  m_header.MoveWindow(headerX, rt, (cx - 58) - headerX, 30, TRUE);
  m_btnIcons.MoveWindow(cx - 29, rt + 1, 24, 24, TRUE);
  m_btnDetails.MoveWindow(cx - 55, rt + 1, 24, 24, TRUE);
  for (CFdrDlg& pane : m_panes) {
    if (pane.m_hWnd) pane.MoveWindow(0, rt + 30, cx, cy - rt - 78, TRUE);
  }
  if (m_layoutState == 1) {
    m_btnBack.MoveWindow(cx - 96, cy - 40, 88, 32, TRUE);
  } else {
    m_btnBack.MoveWindow(cx - 194, cy - 40, 88, 32, TRUE);
    m_btnRecover.MoveWindow(cx - 96, cy - 40, 88, 32, TRUE);
    m_btnVideoHelp.MoveWindow(cx - 292, cy - 40, 88, 32, TRUE);
    m_summary.MoveWindow(10, cy - 30, 450, 18, TRUE);
  }
}

void CDorivDlg::Relayout() {
  if (!m_hWnd) return;
  RECT rc{};
  GetClientRect(&rc);
  OnSkinSize(rc.right, rc.bottom);
}

void CDorivDlg::SetLayoutState(int state) {
  if (state == m_layoutState) return;
  m_layoutState = state;
  ++m_layoutChanges;
  RECT rc{};
  if (m_hWnd) GetClientRect(&rc);
  switch (state) {
    case 1:
      m_panelTop = rc.bottom / 2 - m_panelHeight / 2;
      ShowResultControls(false);
      HideOrShow(m_scanProgress, true);
      if (m_scanProgress.m_bar.m_hWnd) m_scanProgress.m_bar.SetPos(0);
      break;
    case 2:
      m_panelTop = 2;
      m_resultsTop = m_panelHeight + 7;
      ShowResultControls(true);
      break;
    case 3:
      HideOrShow(m_scanProgress, false);
      ShowResultControls(true);
      m_resultsTop = 5;
      break;
    default:
      break;
  }
  Relayout();
  if (m_hWnd) Invalidate(TRUE);
}

void CDorivDlg::ShowResultControls(bool show) {
  if (!m_btnByPath.m_hWnd) return;
  if (show) {
    // No pane is hidden: a mode chosen while the scan runs keeps its pane, which lies above
    // the by-path pane.
    HideOrShow(m_panes[0], true);
    if (ClassificationOn()) {
      for (CWnd* w : {static_cast<CWnd*>(&m_btnByType), static_cast<CWnd*>(&m_btnByCTime),
                      static_cast<CWnd*>(&m_btnByMTime), static_cast<CWnd*>(&m_header)}) {
        HideOrShow(*w, true);
      }
    }
    for (CWnd* w : {static_cast<CWnd*>(&m_btnByPath), static_cast<CWnd*>(&m_btnSearch),
                    static_cast<CWnd*>(&m_summary), static_cast<CWnd*>(&m_btnRecover)}) {
      HideOrShow(*w, true);
    }
    HideOrShow(m_btnVideoHelp, !GetSoftCfg(u"HelpFileSel").IsEmpty());
    return;
  }
  for (CFdrDlg& pane : m_panes) HideOrShow(pane, false);
  for (CWnd* w : {static_cast<CWnd*>(&m_btnByPath), static_cast<CWnd*>(&m_btnSearch), static_cast<CWnd*>(&m_btnByType),
                  static_cast<CWnd*>(&m_btnByCTime), static_cast<CWnd*>(&m_btnByMTime), static_cast<CWnd*>(&m_header),
                  static_cast<CWnd*>(&m_summary), static_cast<CWnd*>(&m_btnVideoHelp),
                  static_cast<CWnd*>(&m_btnRecover)}) {
    HideOrShow(*w, false);
  }
}

void CDorivDlg::SetClassifyMode(int mode) {
  if (mode == m_classifyMode) return;
  m_classifyMode = mode;
  if (mode >= kModeByPath && mode <= kModeByModification) {
    VolumeListWriteGuard guard(*m_list);
    m_list->mode = mode;
  }
  CheckAllItems(*m_list, mode);
  NotifyVolumeListeners(*m_list, nullptr, WM_VIEW_MODECHANGED, WPARAM(intptr_t(m_list->mode)), 0);
  for (CFdrDlg& pane : m_panes) HideOrShow(pane, false);
  // While a scan has no results yet the result controls stay hidden, the panes with them; the
  // pane of the mode appears with the results.
  if (m_layoutState == 1) return;
  if (CFdrDlg* pane = Pane(mode)) HideOrShow(*pane, true);
}

void CDorivDlg::ShowResultView(int show) {
  m_summary.SetText(GetLangStr(u"SelAndSave"));
  if (!show) {
    ShowWindow(SW_HIDE);
    return;
  }
  // A new scan: what was checked before is gone with the old results.
  m_selCount = 0;
  m_selBytes = 0;
  m_scanProgress.Reset();
  for (CFdrDlg& pane : m_panes) pane.ResetViews();
  m_header.SetText(HeaderText(CopyScanTarget()));
  ShowWindow(SW_SHOW);
}

CString CDorivDlg::HeaderText(const VolumeContext& target) {
  const bool wholeDisk = target.sectorCount == target.deviceSectors;
  const CString name = target.operation == 8 ? CString(u"Recycle Bin") : target.name;
  return GetLangStr(wholeDisk ? u"RecoverDiskData" : u"RecoverPartData") + u" " + name;
}

void CDorivDlg::DisableResultPanes() {
  m_panesEnabled = 0;
  for (CFdrDlg& pane : m_panes) pane.EnableViews(false);
}

void CDorivDlg::OnScanFinished() {
  if (m_layoutState != 3) {
    m_layoutState = 3;
    ++m_layoutChanges;
    HideOrShow(m_scanProgress, false);
    ShowResultControls(true);
    m_resultsTop = 5;
    Relayout();
    if (m_hWnd) Invalidate(TRUE);
  }
  Relayout();
  for (CFdrDlg& pane : m_panes) pane.EnableViews(true);
  m_panesEnabled = 1;
  ReportVideoResults();
}

void CDorivDlg::OnBnClickedShowIcons() {
  m_btnIcons.EnableWindow(FALSE);
  m_btnDetails.EnableWindow(TRUE);
  for (CFdrDlg& pane : m_panes) pane.ShowDetails(false);
}

void CDorivDlg::OnBnClickedShowDetails() {
  m_btnDetails.EnableWindow(FALSE);
  m_btnIcons.EnableWindow(TRUE);
  for (CFdrDlg& pane : m_panes) pane.ShowDetails(true);
}

void RegisterResultViewTemplates() {
  DlgTemplate t;
  t.style = WS_CHILD | WS_CLIPCHILDREN;
  t.cx = 600;
  t.cy = 300;
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  // The classified views' buttons and the header appear only when those views are on.
  const DWORD hidden = WS_TABSTOP | BS_OWNERDRAW;
  t.items = {
      {int(IDC_RESULT_BYPATH), WC_BUTTON, button, 0, u"按文件路径分类", 10, 50, 80, 18},
      {int(IDC_RESULT_BYTYPE), WC_BUTTON, hidden, 0, u"按文件类型分类", 95, 50, 80, 18},
      {int(IDC_RESULT_BYCTIME), WC_BUTTON, hidden, 0, u"按创建时间分类", 180, 50, 80, 18},
      {int(IDC_RESULT_BYMTIME), WC_BUTTON, hidden, 0, u"按修改时间分类", 265, 50, 80, 18},
      {int(IDC_RESULT_SEARCH), WC_BUTTON, button, 0, u"文件搜索", 350, 50, 80, 18},
      {int(IDC_RESULT_ACCESSTIME), WC_BUTTON, hidden, 0, u"访问时间", 435, 50, 60, 18},
      {int(IDC_RESULT_DETAILS), WC_BUTTON, button, 0, u"B", 560, 50, 14, 14},
      {int(IDC_RESULT_ICONS), WC_BUTTON, button, 0, u"N", 580, 50, 14, 14},
      {int(IDC_RESULT_HEADER), WC_STATIC, 0, 0, u"Dev desc", 440, 52, 110, 12},
      {int(IDC_RESULT_SUMMARY), WC_STATIC, WS_VISIBLE, 0, u"您选择了0个文件", 7, 280, 300, 12},
      {int(IDC_RESULT_VIDEOHELP), WC_BUTTON, button, 0, u"视频教程", 400, 275, 55, 20},
      {int(IDC_RESULT_BACK), WC_BUTTON, button, 0, u"上一步", 470, 275, 55, 20},
      {int(IDC_RESULT_RECOVER), WC_BUTTON, button, 0, u"恢复", 535, 275, 55, 20},
  };
  RegisterDialogTemplate(IDD_RESULT_VIEW, t);
  RegisterResultPaneTemplate();
}

void InstallResultView() {
  ResultViewMaker maker;
  maker.make = []() -> std::unique_ptr<CResultViewBase> { return std::make_unique<CDorivDlg>(); };
  maker.registerTemplates = &RegisterResultViewTemplates;
  SetResultViewMaker(maker);
}
