#include "results/filterdlg.h"

#include "app/settings.h"
#include "base/packedtime.h"
#include "platform/afx/afxmsg.h"
#include "platform/format.h"
#include "platform/hooks.h"
#include "platform/wintime.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/dialog.h"

namespace {

// The last date a packed time can hold: its year field has six bits from 1980.
constexpr uint32_t kLastPackedYear = 1980 + 63;

struct PickerPair {
  UINT from, to;
  uint32_t FileFilterSettings::*lower;
  uint32_t FileFilterSettings::*upper;
  const char16_t* errorKey;
};
constexpr PickerPair kPickerPairs[3] = {
    {IDC_FF_CREATE_FROM, IDC_FF_CREATE_TO, &FileFilterSettings::creationFrom, &FileFilterSettings::creationTo,
     u"FileCreateTimeErr"},
    {IDC_FF_MODIFY_FROM, IDC_FF_MODIFY_TO, &FileFilterSettings::modificationFrom, &FileFilterSettings::modificationTo,
     u"FileFixTimeErr"},
    {IDC_FF_ACCESS_FROM, IDC_FF_ACCESS_TO, &FileFilterSettings::accessFrom, &FileFilterSettings::accessTo,
     u"FileAccessTimeErr"},
};

// The picker's date when it holds one.
bool PickerDate(HWND dlg, UINT id, SYSTEMTIME& st) {
  st = SYSTEMTIME{};
  return ::SendDlgItemMessageW(dlg, int(id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID;
}

}  // namespace

bool IsValidSizeText(const CString& text) {
  const int n = text.GetLength();
  if (n > 9) return false;
  for (int i = 0; i < n; ++i)
    if (text[i] < u'0' || text[i] > u'9') return false;
  if (n == 9 && text[0] != u'0' && !(text[0] == u'1' && text[1] <= u'3')) return false;
  return true;
}

bool ReadSizeText(const CString& text, uint32_t& kib) {
  if (text.IsEmpty() || !IsValidSizeText(text)) return false;
  uint32_t v = 0;
  // Nine digits at most: no overflow.
  for (int i = 0; i < text.GetLength(); ++i) v = v * 10 + uint32_t(text[i] - u'0');
  kib = v;
  return true;
}

CString SizeHintText(uint32_t kib) {
  if (kib <= 1024) return FormatCString(u"%u(KB)", kib);
  if (kib <= 1048576) return FormatCString(u"%.2f(MB)", double(float(kib) * (1.0f / 1024.0f)));
  return FormatCString(u"%.2f(GB)", double(float(kib) * (1.0f / 1048576.0f)));
}

uint32_t PackPickerDate(const SYSTEMTIME& st, bool upperBound) {
  uint32_t year = st.wYear, month = st.wMonth, day = st.wDay;
  if (year < 100) year += 1980;
  if (year < 1980) year = 1980;
  if (month < 1 || month > 12) month = 1;
  if (day < 1 || day > 31) day = 1;
  // A later year would wrap around in the six-bit field and land decades early.
  if (year > kLastPackedYear) year = kLastPackedYear, month = 12, day = 31;
  return upperBound ? PackTime(year, month, day, 23, 59, 59) : PackTime(year, month, day, 0, 0, 0);
}

bool PackedToPickerTime(uint32_t packed, SYSTEMTIME& st) {
  if (packed == 0) return false;
  // The packed time is already local: its fields are the picker's, with no round trip through
  // UTC (whose offset could differ between the date and now and move the day).
  st = SYSTEMTIME{};
  st.wYear = WORD((packed >> 26) + 1980);
  st.wMonth = WORD((packed >> 22) & 0xF);
  st.wDay = WORD((packed >> 17) & 0x1F);
  st.wHour = WORD((packed >> 12) & 0x1F);
  st.wMinute = WORD((packed >> 6) & 0x3F);
  st.wSecond = WORD(packed & 0x3F);
  if (st.wMonth < 1 || st.wMonth > 12) st.wMonth = 1;
  if (st.wDay < 1 || st.wDay > 31) st.wDay = 1;
  if (st.wHour > 23) st.wHour = 23;
  if (st.wMinute > 59) st.wMinute = 59;
  if (st.wSecond > 59) st.wSecond = 59;
  FILETIME check{};
  // A day the month does not have (31 April) becomes the month's first.
  if (!SystemTimeToFileTime(&st, &check)) st.wDay = 1;
  return true;
}

BEGIN_MESSAGE_MAP(CFileFilterSetDlg, CSkinDialogEx)
ON_BN_CLICKED(IDOK, OnBnClickedOk)
ON_EN_CHANGE(IDC_FF_SIZE_MIN, OnEnChangeSizeMin)
ON_EN_CHANGE(IDC_FF_SIZE_MAX, OnEnChangeSizeMax)
ON_BN_CLICKED(IDC_FF_ENABLE, OnBnClickedEnable)
END_MESSAGE_MAP()

CFileFilterSetDlg::CFileFilterSetDlg(CWnd* parent) : CSkinDialogEx(IDD_FILE_FILTER, parent) {}

void CFileFilterSetDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_FF_ENABLE, m_enable);
  DDX_Control(dx, IDC_FF_KEY_LABEL, m_keyLabel);
  DDX_Control(dx, IDC_FF_SIZE_LABEL, m_sizeLabel);
  DDX_Control(dx, IDC_FF_HINT_MIN, m_hintMin);
  DDX_Control(dx, IDC_FF_HINT_MAX, m_hintMax);
  DDX_Control(dx, IDC_FF_CREATE_LABEL, m_createLabel);
  DDX_Control(dx, IDC_FF_MODIFY_LABEL, m_modifyLabel);
  DDX_Control(dx, IDC_FF_SIZE_ARROW, m_arrows[0]);
  DDX_Control(dx, IDC_FF_CREATE_ARROW, m_arrows[1]);
  DDX_Control(dx, IDC_FF_MODIFY_ARROW, m_arrows[2]);
  DDX_Control(dx, IDC_FF_KEYWORDS, m_keywords);
  DDX_Control(dx, IDC_FF_SIZE_MIN, m_sizeMin);
  DDX_Control(dx, IDC_FF_SIZE_MAX, m_sizeMax);
  DDX_Control(dx, IDC_FF_CREATE_FROM, m_createFrom);
  DDX_Control(dx, IDC_FF_CREATE_TO, m_createTo);
  DDX_Control(dx, IDC_FF_MODIFY_FROM, m_modifyFrom);
  DDX_Control(dx, IDC_FF_MODIFY_TO, m_modifyTo);
  DDX_Control(dx, IDC_FF_ACCESS_FROM, m_accessFrom);
  DDX_Control(dx, IDC_FF_ACCESS_TO, m_accessTo);
  DDX_Control(dx, IDOK, m_btnOk);
  DDX_Control(dx, IDCANCEL, m_btnCancel);
}

BOOL CFileFilterSetDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(GetLangStr(u"FileSearchSet"));
  LoadSettings();
  m_keywords.SetFocus();
  SetTexts();
  return FALSE;
}

void CFileFilterSetDlg::SetTexts() {
  m_btnOk.SetWindowText(GetLangStr(u"OK"));
  m_btnCancel.SetWindowText(GetLangStr(u"Cancel"));
  m_keyLabel.SetText(GetLangStr(u"InputNameKey") + u": ");
  m_sizeLabel.SetText(GetLangStr(u"FileBigSize") + u"(KB): ");
  m_createLabel.SetText(GetLangStr(u"CreateBigTime") + u": ");
  m_modifyLabel.SetText(GetLangStr(u"FixBigTime") + u": ");
}

void CFileFilterSetDlg::LoadSettings() {
  if (!m_settings.keywords.IsEmpty()) m_keywords.SetWindowText(m_settings.keywords);
  const CString minText = FormatCString(u"%u", m_settings.minSizeKiB);
  const CString maxText = FormatCString(u"%u", m_settings.maxSizeKiB);
  m_lastValidMin = minText;
  m_lastValidMax = maxText;
  // The change notifications fill the hints.
  m_sizeMin.SetWindowText(minText);
  m_sizeMax.SetWindowText(maxText);
  const std::pair<CDateTimeCtrl*, uint32_t> pickers[6] = {
      {&m_createFrom, m_settings.creationFrom},     {&m_createTo, m_settings.creationTo},
      {&m_modifyFrom, m_settings.modificationFrom}, {&m_modifyTo, m_settings.modificationTo},
      {&m_accessFrom, m_settings.accessFrom},       {&m_accessTo, m_settings.accessTo},
  };
  for (const auto& [picker, packed] : pickers) {
    SYSTEMTIME st{};
    if (PackedToPickerTime(packed, st)) picker->SetTime(&st);
  }
}

CString CFileFilterSetDlg::EditText(UINT id) const {
  CString t;
  if (CWnd* w = GetDlgItem(int(id))) w->GetWindowText(t);
  return t;
}

bool CFileFilterSetDlg::ShowSizeHint(UINT editId, UINT hintId) {
  const CString text = EditText(editId);
  if (!IsValidSizeText(text)) return false;
  uint32_t kib = 0;
  CTransparentStatic& hint = hintId == IDC_FF_HINT_MIN ? m_hintMin : m_hintMax;
  // An empty edit leaves its bound as it is; it has no hint.
  hint.SetText(ReadSizeText(text, kib) ? SizeHintText(kib) : CString());
  return true;
}

void CFileFilterSetDlg::OnSizeChanged(UINT editId, UINT hintId, CString& lastValid) {
  if (ShowSizeHint(editId, hintId)) {
    lastValid = EditText(editId);
    return;
  }
  ShowMessageBox(GetLangStr(u"InputFileSizeErr"));
  // Puts the last valid text back, which notifies again (now valid). A last text that was
  // never valid would bring the message back for ever: the edit is emptied instead.
  if (!IsValidSizeText(lastValid)) lastValid.Empty();
  SetDlgItemText(int(editId), lastValid);
}

void CFileFilterSetDlg::OnEnChangeSizeMin() { OnSizeChanged(IDC_FF_SIZE_MIN, IDC_FF_HINT_MIN, m_lastValidMin); }
void CFileFilterSetDlg::OnEnChangeSizeMax() { OnSizeChanged(IDC_FF_SIZE_MAX, IDC_FF_HINT_MAX, m_lastValidMax); }

void CFileFilterSetDlg::OnBnClickedEnable() {
  // The filter has no on/off switch; the hidden box is only read.
  (void)m_enable.GetCheck();
}

bool CFileFilterSetDlg::ValidateInput() {
  // An empty edit stands for the bound it leaves unchanged.
  uint32_t minKiB = m_settings.minSizeKiB, maxKiB = m_settings.maxSizeKiB;
  ReadSizeText(EditText(IDC_FF_SIZE_MIN), minKiB);
  ReadSizeText(EditText(IDC_FF_SIZE_MAX), maxKiB);
  if (maxKiB < minKiB) {
    ShowMessageBox(GetLangStr(u"FileSizeErr"));
    return false;
  }
  for (const PickerPair& p : kPickerPairs) {
    SYSTEMTIME from{}, to{};
    if (!PickerDate(m_hWnd, p.from, from) || !PickerDate(m_hWnd, p.to, to)) continue;
    // Compared as they will be stored: whole days, so one day as both bounds is a valid range.
    if (PackPickerDate(from, false) > PackPickerDate(to, true)) {
      ShowMessageBox(GetLangStr(p.errorKey));
      return false;
    }
  }
  return true;
}

void CFileFilterSetDlg::OnBnClickedOk() {
  UpdateData(TRUE);
  if (!ValidateInput()) return;
  m_settings.keywords = EditText(IDC_FF_KEYWORDS);
  ReadSizeText(EditText(IDC_FF_SIZE_MIN), m_settings.minSizeKiB);
  ReadSizeText(EditText(IDC_FF_SIZE_MAX), m_settings.maxSizeKiB);
  for (const PickerPair& p : kPickerPairs) {
    SYSTEMTIME st{};
    if (PickerDate(m_hWnd, p.from, st)) m_settings.*p.lower = PackPickerDate(st, false);
    if (PickerDate(m_hWnd, p.to, st)) m_settings.*p.upper = PackPickerDate(st, true);
  }
  EndDialog(IDOK);
}

bool RunFileFilterDialog(CWnd* parent) {
  CFileFilterSetDlg dlg(parent);
  dlg.m_settings = FileFilter();
  if (dlg.DoModal() != IDOK) return false;
  FileFilter() = dlg.m_settings;
  return true;
}

void RegisterFileFilterTemplates() {
  DlgTemplate d;
  d.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  d.cx = 241;
  d.cy = 175;
  d.title = u"文件过滤";
  const DWORD label = WS_VISIBLE;
  const DWORD edit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
  const DWORD picker = WS_VISIBLE | WS_TABSTOP | DTS_LONGDATEFORMAT | DTS_RIGHTALIGN;
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  d.items = {
      {int(IDC_FF_ENABLE), WC_BUTTON, WS_TABSTOP | BS_AUTOCHECKBOX, 0, u"启用文件过滤", 7, 7, 72, 10},
      {int(IDC_FF_KEY_LABEL), WC_STATIC, label, 0, u"请输入文件名关键字(多个关键字用分号隔开)：", 9, 31, 173, 8},
      {int(IDC_FF_KEYWORDS), WC_EDIT, edit, 0, u"", 9, 45, 223, 14},
      {int(IDC_FF_SIZE_LABEL), WC_STATIC, label, 0, u"文件大小(KB)：", 7, 72, 54, 8},
      {int(IDC_FF_SIZE_MIN), WC_EDIT, edit, 0, u"", 69, 70, 72, 14},
      {int(IDC_FF_SIZE_ARROW), WC_STATIC, label, 0, u"=>", 146, 73, 12, 8},
      {int(IDC_FF_SIZE_MAX), WC_EDIT, edit, 0, u"", 162, 70, 72, 14},
      {int(IDC_FF_HINT_MIN), WC_STATIC, label, 0, u"文件大小(KB)：", 72, 89, 54, 8},
      {int(IDC_FF_HINT_MAX), WC_STATIC, label, 0, u"文件大小(KB)：", 164, 89, 54, 8},
      {int(IDC_FF_CREATE_LABEL), WC_STATIC, label, 0, u"文件创建时间：", 7, 109, 59, 8},
      {int(IDC_FF_CREATE_FROM), DATETIMEPICK_CLASS, picker, 0, u"", 69, 106, 72, 14},
      {int(IDC_FF_CREATE_ARROW), WC_STATIC, label, 0, u"=>", 146, 109, 12, 8},
      {int(IDC_FF_CREATE_TO), DATETIMEPICK_CLASS, picker, 0, u"", 162, 106, 72, 14},
      {int(IDC_FF_MODIFY_LABEL), WC_STATIC, label, 0, u"文件修改时间：", 7, 129, 59, 8},
      {int(IDC_FF_MODIFY_FROM), DATETIMEPICK_CLASS, picker, 0, u"", 69, 126, 72, 14},
      {int(IDC_FF_MODIFY_ARROW), WC_STATIC, label, 0, u"=>", 146, 129, 12, 8},
      {int(IDC_FF_MODIFY_TO), DATETIMEPICK_CLASS, picker, 0, u"", 162, 126, 72, 14},
      {int(IDC_FF_ACCESS_LABEL), WC_STATIC, 0, 0, u"文件访问时间：", 7, 160, 19, 8},
      {int(IDC_FF_ACCESS_FROM), DATETIMEPICK_CLASS, WS_TABSTOP, 0, u"", 31, 154, 18, 14},
      {int(IDC_FF_ACCESS_ARROW), WC_STATIC, 0, 0, u"=>", 53, 160, 12, 8},
      {int(IDC_FF_ACCESS_TO), DATETIMEPICK_CLASS, WS_TABSTOP, 0, u"", 70, 154, 21, 14},
      {IDOK, WC_BUTTON, button, 0, u"确定", 120, 149, 54, 19},
      {IDCANCEL, WC_BUTTON, button, 0, u"取消", 180, 149, 54, 19},
  };
  RegisterDialogTemplate(IDD_FILE_FILTER, d);
}
