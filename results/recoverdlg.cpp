#include "results/recoverdlg.h"

#include <mutex>

#include "app/settings.h"
#include "base/pathutil.h"
#include "core/copyouthooks.h"
#include "core/diskreader.h"
#include "core/volumecontext.h"
#include "deepscan/progressdlg.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "results/jobprogressdlg.h"
#include "skin/wndhelpers.h"

namespace {

CString T(const char16_t* key) { return GetLangStr(key); }

struct RememberedFolder {
  std::mutex lock;
  CString folder;
};
RememberedFolder& Remembered() {
  static RememberedFolder& r = *new RememberedFolder();
  return r;
}

// The folder lies on the lettered volume being recovered: the target's volume path reads
// "\\.\X:" and the folder starts with that letter. A volume path of another form (a host
// device path) names no letter: its fifth character says nothing about the folder.
bool OnTargetDriveLetter(const CString& folder, const VolumeContext& target) {
  const CString& v = target.volumePath;
  if (v.GetLength() <= 4 || folder.IsEmpty() || v.Left(4) != CString(u"\\\\.\\")) return false;
  const char16_t letter = ToUpperUnit(v[4]);
  return letter >= u'A' && letter <= u'Z' && letter == ToUpperUnit(folder[0]);
}

}  // namespace

CString GetRememberedRecoverFolder() {
  RememberedFolder& r = Remembered();
  std::lock_guard<std::mutex> g(r.lock);
  return r.folder;
}

void SetRememberedRecoverFolder(const CString& folder) {
  RememberedFolder& r = Remembered();
  std::lock_guard<std::mutex> g(r.lock);
  r.folder = folder;
}

CString SaveDirRefusal(const CString& folder, uint64_t requiredBytes) {
  if (folder.IsEmpty()) return u"NeedSaveDir";
  // A path the copy job cannot hold is as unusable as one that does not exist.
  if (folder.GetLength() >= kRecoverFolderUnits || !FileExists(folder)) return u"SaveDirErr";
  // Writing onto the source could overwrite the very data being recovered. A lettered volume is
  // recognised by its letter; a whole disk or an image file by where the folder really lies.
  if (OnTargetDriveLetter(folder, CopyScanTarget()) || TargetLiesOnSource(folder)) return u"SaveDirInRecoverPart";
  const uint64_t free = GetDriveFreeBytes(folder);
  if (free != 0 && free < (requiredBytes / 100) * 103) return u"SavePartSmall";
  return CString();
}

BEGIN_MESSAGE_MAP(CSaveParamDlg, CSkinDialogEx)
ON_BN_CLICKED(IDC_SAVEPARAM_SELDIR, OnBnClickedSelDir)
ON_BN_CLICKED(IDC_SAVEPARAM_ADVANCED, OnBnClickedAdvanced)
END_MESSAGE_MAP()

CSaveParamDlg::CSaveParamDlg(CWnd* parent) : CSkinDialogEx(IDD_SAVE_PARAM, parent) {}

void CSaveParamDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_SAVEPARAM_FOLDER, m_edit);
  DDX_Control(dx, IDC_SAVEPARAM_SELDIR, m_btnSelDir);
  DDX_Control(dx, IDC_SAVEPARAM_EXISTS_GROUP, m_existsGroup);
  DDX_Control(dx, IDC_SAVEPARAM_ERROR_GROUP, m_errorGroup);
  for (int i = 0; i < 3; ++i) {
    DDX_Control(dx, int(IDC_SAVEPARAM_EXISTS_FIRST) + i, m_radios[i]);
    DDX_Control(dx, int(IDC_SAVEPARAM_ERROR_FIRST) + i, m_radios[3 + i]);
  }
  DDX_Control(dx, IDC_SAVEPARAM_ADVANCED, m_btnAdvanced);
  DDX_Control(dx, IDOK, m_btnOk);
  DDX_Control(dx, IDCANCEL, m_btnCancel);
  DDX_Control(dx, IDC_SAVEPARAM_NOTE, m_note);
  DDX_Control(dx, IDC_SAVEPARAM_WARNING, m_warning);
  DDX_Text(dx, IDC_SAVEPARAM_FOLDER, m_folder);
}

BOOL CSaveParamDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  CheckRadioButton(m_hWnd, int(IDC_SAVEPARAM_EXISTS_FIRST), int(IDC_SAVEPARAM_EXISTS_FIRST) + 2,
                   int(IDC_SAVEPARAM_EXISTS_FIRST) + m_existsChoice);
  CheckRadioButton(m_hWnd, int(IDC_SAVEPARAM_ERROR_FIRST), int(IDC_SAVEPARAM_ERROR_FIRST) + 2,
                   int(IDC_SAVEPARAM_ERROR_FIRST) + m_errorChoice);
  m_edit.SetWindowText(GetRememberedRecoverFolder());
  SetAppIcon();
  SetTitle(T(u"PrepairRecoverFile"));
  m_warning.m_textColor = RGB(255, 0, 0);
  m_warning.m_bMemReady = 0;
  m_warning.Invalidate(FALSE);
  m_btnOk.m_captionColor = RGB(255, 255, 255);
  m_btnOk.m_disabledColor = RGB(0xAC, 0xA8, 0x99);
  m_btnOk.SetBitmaps(374, 373, 373, 374, 374);
  m_btnOk.Invalidate(TRUE);
  if (GetSoftCfg(u"ShowSaveSet") != CString(u"1")) m_btnAdvanced.ShowWindow(SW_HIDE);
  SetTexts();
  return TRUE;
}

void CSaveParamDlg::SetTexts() {
  m_btnOk.SetWindowText(T(u"OK"));
  m_btnCancel.SetWindowText(T(u"Cancel"));
  m_note.SetText(T(u"SelSaveDir"));
  m_warning.SetText(T(u"SaveOtherPart"));
  m_btnSelDir.SetWindowText(T(u"SelDir"));
}

void CSaveParamDlg::OnBnClickedAdvanced() {
  RECT r{};
  GetWindowRect(&r);
  if (m_advancedShown == 0) {
    ShowMessageBox(T(u"NormalDontFixAdvSet"));
    m_advancedShown = 1;
    r.bottom += kSaveParamAdvancedHeight;
    m_btnAdvanced.SetWindowText(T(u"GeneralSet"));
  } else {
    m_advancedShown = 0;
    r.bottom -= kSaveParamAdvancedHeight;
    m_btnAdvanced.SetWindowText(T(u"AdvSet"));
  }
  MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void CSaveParamDlg::OnBnClickedSelDir() {
  CString folder;
  if (BrowseForFolder(&folder, T(u"SelPath"))) m_edit.SetWindowText(folder);
}

bool CSaveParamDlg::ValidateSaveDir() {
  const CString refusal = SaveDirRefusal(m_folder, m_requiredBytes);
  if (refusal.IsEmpty()) return true;
  ShowMessageBox(T(refusal.GetString()));
  return false;
}

void CSaveParamDlg::OnBnClickedOk() {
  UpdateData(TRUE);
  if (!ValidateSaveDir()) return;
  auto chosen = [this](UINT first, int& value) {
    for (int i = 0; i < 3; ++i) {
      if (IsDlgButtonChecked(m_hWnd, int(first) + i)) {
        value = i;
        return;
      }
    }
  };
  chosen(IDC_SAVEPARAM_EXISTS_FIRST, m_existsChoice);
  chosen(IDC_SAVEPARAM_ERROR_FIRST, m_errorChoice);
  SetRememberedRecoverFolder(m_folder);
  EndDialog(IDOK);
}

RecoverOptions CSaveParamDlg::Options() const {
  RecoverOptions o;
  o.folder = m_folder;
  o.existsChoice = uint32_t(m_existsChoice);
  o.errorChoice = uint32_t(m_errorChoice);
  return o;
}

bool RunSaveParamDlg(void* owner, uint32_t files, uint64_t bytes, RecoverOptions& options) {
  (void)files;  // the dialog weighs the bytes only
  CSaveParamDlg dlg(static_cast<CWnd*>(owner));
  dlg.m_requiredBytes = bytes;
  if (dlg.DoModal() != IDOK) return false;
  options = dlg.Options();
  return true;
}

void RegisterSaveParamTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  t.cx = 318;
  t.cy = 120;
  t.title = u"Recover";
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  const DWORD radio = WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
  t.items = {
      {int(IDC_SAVEPARAM_NOTE), WC_STATIC, WS_VISIBLE, 0, u"请选择文件恢复到哪个目录:", 16, 34, 285, 8},
      {int(IDC_SAVEPARAM_FOLDER), WC_EDIT, WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, u"", 16, 49, 224, 14},
      {int(IDC_SAVEPARAM_SELDIR), WC_BUTTON, button, 0, u"选择目录", 250, 46, 53, 19},
      {int(IDC_SAVEPARAM_WARNING), WC_STATIC, WS_VISIBLE, 0, u"请勿将文件恢复到您需要恢复数据的分区，以免造成二次破坏！", 16, 71,
       288, 8},
      {int(IDC_SAVEPARAM_ADVANCED), WC_BUTTON, button, 0, u"高级设置", 16, 90, 53, 19},
      {IDOK, WC_BUTTON, button | BS_DEFPUSHBUTTON, 0, u"确定", 189, 90, 53, 19},
      {IDCANCEL, WC_BUTTON, button, 0, u"取消", 251, 90, 53, 19},
      {int(IDC_SAVEPARAM_EXISTS_GROUP), WC_BUTTON, WS_VISIBLE | WS_GROUP | BS_GROUPBOX, 0, u"文件已存在时：", 16, 123, 285, 37},
      {int(IDC_SAVEPARAM_EXISTS_FIRST), WC_BUTTON, radio | WS_GROUP, 0, u"提示用户", 24, 137, 48, 10},
      {int(IDC_SAVEPARAM_EXISTS_FIRST) + 1, WC_BUTTON, radio, 0, u"覆盖文件", 94, 137, 48, 10},
      {int(IDC_SAVEPARAM_EXISTS_FIRST) + 2, WC_BUTTON, radio, 0, u"跳过文件", 164, 137, 48, 10},
      {int(IDC_SAVEPARAM_ERROR_GROUP), WC_BUTTON, WS_VISIBLE | WS_GROUP | BS_GROUPBOX, 0, u"遇到磁盘读写错误时：", 16, 168, 283, 55},
      {int(IDC_SAVEPARAM_ERROR_FIRST), WC_BUTTON, radio | WS_GROUP, 0, u"清空当前文件", 26, 181, 64, 10},
      {int(IDC_SAVEPARAM_ERROR_FIRST) + 1, WC_BUTTON, radio, 0, u"保留已恢复的数据，并跳过当前文件", 26, 194, 168, 10},
      {int(IDC_SAVEPARAM_ERROR_FIRST) + 2, WC_BUTTON, radio, 0, u"恢复文件全部数据", 26, 207, 80, 10},
  };
  RegisterDialogTemplate(IDD_SAVE_PARAM, t);
}

void InstallRecoveryDialogs() {
  RegisterSaveParamTemplate();
  InstallJobProgressDlg();
  CopyOutServices sv = GetCopyOutServices();
  sv.createProgressDlg = &CreateProgressDlg;
  sv.runProgressDlg = &RunProgressDlg;
  sv.saveParamDlg = &RunSaveParamDlg;
  SetCopyOutServices(sv);
}
