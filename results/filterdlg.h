// The search dialog of the results view: name keywords, a size range in KiB with a live hint
// under each bound, and creation and modification date ranges (an access range too, kept but
// never shown). It works on a copy of the program's filter; OK validates the input and stores
// it in that copy, which the caller then takes over.
#pragma once

#include <cstdint>

#include "core/filefilter.h"
#include "platform/afx/afxdtctl.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_FILE_FILTER = 270;
constexpr UINT IDC_FF_ENABLE = 1085;
constexpr UINT IDC_FF_KEY_LABEL = 1089;
constexpr UINT IDC_FF_KEYWORDS = 1090;
constexpr UINT IDC_FF_SIZE_LABEL = 1091;
constexpr UINT IDC_FF_SIZE_MIN = 1087;
constexpr UINT IDC_FF_SIZE_MAX = 1088;
constexpr UINT IDC_FF_SIZE_ARROW = 1101;
constexpr UINT IDC_FF_HINT_MIN = 1092;
constexpr UINT IDC_FF_HINT_MAX = 1102;
constexpr UINT IDC_FF_CREATE_LABEL = 1094;
constexpr UINT IDC_FF_CREATE_FROM = 1093;
constexpr UINT IDC_FF_CREATE_ARROW = 1099;
constexpr UINT IDC_FF_CREATE_TO = 1095;
constexpr UINT IDC_FF_MODIFY_LABEL = 1097;
constexpr UINT IDC_FF_MODIFY_FROM = 1096;
constexpr UINT IDC_FF_MODIFY_ARROW = 1100;
constexpr UINT IDC_FF_MODIFY_TO = 1098;
constexpr UINT IDC_FF_ACCESS_LABEL = 1104;
constexpr UINT IDC_FF_ACCESS_FROM = 1103;
constexpr UINT IDC_FF_ACCESS_ARROW = 1106;
constexpr UINT IDC_FF_ACCESS_TO = 1105;

// A size text as typed: only digits, at most nine, and a nine-digit text starts with 0, or
// with 1 followed by at most 3 (so nothing above 139999999 KiB). The empty text passes.
bool IsValidSizeText(const CString& text);
// The value of a valid, non-empty size text; false for the empty text.
bool ReadSizeText(const CString& text, uint32_t& kib);
// "%u(KB)" up to 1024, "%.2f(MB)" up to 1048576, "%.2f(GB)" above (single precision).
CString SizeHintText(uint32_t kib);

// A picker's date packed as a range bound: the time of day dropped, then 00:00:00 for a lower
// bound or 23:59:59 for an upper one. Years below 100 count from 1980, other years before 1980
// become 1980, and anything after 2043 (the last year the packed form holds) becomes
// 2043-12-31; a month or day out of range becomes 1.
uint32_t PackPickerDate(const SYSTEMTIME& st, bool upperBound);
// A packed local time as the picker's local date and time; false for 0 (no time).
bool PackedToPickerTime(uint32_t packed, SYSTEMTIME& st);

class CFileFilterSetDlg : public CSkinDialogEx {
 public:
  explicit CFileFilterSetDlg(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void LoadSettings();
  void SetTexts();
  // Shows the hint of a valid size text under its edit; false (nothing shown) for an invalid one.
  bool ShowSizeHint(UINT editId, UINT hintId);
  // The first failing check shows its message; true when all pass.
  bool ValidateInput();
  CString EditText(UINT id) const;

  CString m_lastValidMin;
  CString m_lastValidMax;
  FileFilterSettings m_settings;
  CSkinCRButton m_enable;
  CTransparentStatic m_keyLabel, m_sizeLabel, m_hintMin, m_hintMax, m_createLabel, m_modifyLabel;
  CTransparentStatic m_arrows[3];
  CSkinEdit m_keywords, m_sizeMin, m_sizeMax;
  CDateTimeCtrl m_createFrom, m_createTo, m_modifyFrom, m_modifyTo, m_accessFrom, m_accessTo;
  CSkinButton m_btnOk, m_btnCancel;

 protected:
  void OnBnClickedOk();
  void OnEnChangeSizeMin();
  void OnEnChangeSizeMax();
  void OnBnClickedEnable();
  void OnSizeChanged(UINT editId, UINT hintId, CString& lastValid);
  DECLARE_MESSAGE_MAP()
};

// Runs the dialog over the program's filter; on OK the filter takes the new values (true).
bool RunFileFilterDialog(CWnd* parent);
void RegisterFileFilterTemplates();
