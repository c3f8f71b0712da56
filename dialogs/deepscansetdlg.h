// The deep-scan settings dialog shown before a scan when the user asked for it: a general page
// (scan range, priority range, option boxes) and a file-type page (categories and types with
// check boxes) behind two tabs. OK checks the ranges against the device, stores the settings,
// the chosen types and the scan range; Close leaves everything as it was.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filetypetable.h"
#include "deepscan/deepscansettings.h"
#include "platform/afx/afxtree.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_DEEPSCAN_SETTINGS = 264;
constexpr UINT IDD_DEEPSCAN_GENERAL = 268;
constexpr UINT IDD_DEEPSCAN_FILES = 269;
constexpr UINT IDC_DSS_TAB_GENERAL = 1067;
constexpr UINT IDC_DSS_TAB_FILES = 1068;
constexpr UINT IDC_DSS_REFERENCE = 3;
constexpr UINT IDC_DSS_DEFAULTS = 4;
constexpr UINT IDC_DSS_ADVICE = 1084;
constexpr UINT IDC_DSS_SCAN_START = 1078;
constexpr UINT IDC_DSS_SCAN_SIZE = 1079;
constexpr UINT IDC_DSS_PRIO_START = 1080;
constexpr UINT IDC_DSS_PRIO_SIZE = 1081;
constexpr UINT IDC_DSS_SCAN_START_GB = 1070;
constexpr UINT IDC_DSS_SCAN_SIZE_GB = 1072;
constexpr UINT IDC_DSS_PRIO_START_GB = 1075;
constexpr UINT IDC_DSS_PRIO_SIZE_GB = 1077;
constexpr UINT IDC_DSS_TREE = 1083;

// The option boxes in the order of the settings record's first eleven option bytes.
constexpr UINT kOptionBoxIds[11] = {1082, 1083, 1085, 1086, 1087, 1088, 1089, 1090, 1092, 1091, 1093};
constexpr UINT IDC_DSS_SMART = 1094;

// A sector number as typed: at most 12 digits (empty is valid). gbText gets "%u(GB)" of the
// value / 2^21 ("0(GB)" for up to three digits).
bool ReadSectorText(const CString& text, CString* gbText);

// The first failing check of the four range texts (scan start, scan size, priority start,
// priority size): its message, or empty when all pass.
CString RangeTextsError(const CString texts[4]);
// Moves the priority range inside the scan range (start, end and length in turn).
void FitPriorityRange(DeepScanSettings& s);
// The scan range [start, start + count) lies on a device of that many sectors.
bool ScanRangeOnDevice(uint64_t start, uint64_t count, uint64_t deviceSectors);

// The file-type page's own copies of the category and type rows, changed by its check boxes.
// Check values: 0 off, 1 on, 2 partly (a category with some of its types on).
class FileFormatChecks {
 public:
  void LoadFromTable();
  void StoreToTable() const;
  // A category's box clicked: partly or off become all on, on becomes all off. The new value.
  int ToggleCategory(int32_t categoryId);
  // A type's box clicked: flips it and recomputes its category. The new value.
  int ToggleType(int32_t typeId);
  // 1 when every listed type is on (also for none listed), 0 when none is, 2 when mixed.
  bool GetCategoryState(int32_t categoryId, int* state) const;
  bool SetCategoryCheck(int32_t categoryId, int value);
  bool SetTypeEnabled(int32_t typeId, int value);
  int CategoryCheck(int32_t categoryId) const;
  int TypeEnabled(int32_t typeId) const;

  std::vector<FileCategoryRow> categories;  // ids 0 … 12
  std::vector<FileTypeRow> types;           // ids 0 … 176
};

// The tree of categories and types with check boxes (state images 1 off, 2 on, 3 partly). A
// click on a check box changes the page's checks and the tree's pictures itself; the tree's own
// toggle is refused.
class CFileFormatTreeCtrl : public CTreeCtrl {
 public:
  // Fills the tree from the checks: categories 6 … 12 at the root, their types below.
  void FillFromFormatTable(FileFormatChecks* checks);
  void ToggleCategory(HTREEITEM item, int32_t categoryId);
  void ToggleType(HTREEITEM item, int32_t typeId);
  // A category's or a type's box by its item; false for any other item.
  bool ToggleItem(HTREEITEM item);
  void SetItemStateImage(HTREEITEM item, int state);
  // Every box shows its check value + 1.
  void SyncStateImages();
  HTREEITEM FindItem(DWORD_PTR data) const;

  FileFormatChecks* m_checks = nullptr;
  CImageList m_stateImages;
  UINT m_hitFlags = 0;
  HTREEITEM m_hitItem = nullptr;

 protected:
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  void OnNMClick(NMHDR* hdr, LRESULT* result);
  DECLARE_MESSAGE_MAP()
};

class CDeepScanSetDlg;

class CDeepScanNormalSetDlg : public CSkinChildDialog {
 public:
  explicit CDeepScanNormalSetDlg(CDeepScanSetDlg* owner);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;
  void FillRanges();
  void FillOptions();
  // Validates (showing the first failing message), then reads the ranges and boxes into out.
  bool ReadSettings(DeepScanSettings& out);
  bool ValidateRanges();
  CString EditText(UINT id) const;

  CDeepScanSetDlg* m_owner;
  CSkinEdit m_edits[4];
  CTransparentStatic m_gb[4];
  CSkinCRButton m_boxes[11];
  CSkinCRButton m_smart;

 protected:
  void OnEnChangeScanStart();
  void OnEnChangeScanSize();
  void OnEnChangePriorityStart();
  void OnEnChangePrioritySize();
  void OnEditChanged(int index);
  DECLARE_MESSAGE_MAP()
};

class CDeepScanFileSetDlg : public CSkinChildDialog {
 public:
  explicit CDeepScanFileSetDlg(CDeepScanSetDlg* owner);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;

  CDeepScanSetDlg* m_owner;
  FileFormatChecks m_checks;
  CFileFormatTreeCtrl m_tree;
};

class CDeepScanSetDlg : public CSkinDialogEx {
 public:
  explicit CDeepScanSetDlg(const DeepScanSettings& values, CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void ShowPage(bool general);

  CSkinButton m_tabGeneral, m_tabFiles, m_btnReference, m_btnDefaults, m_btnOk, m_btnClose;
  CTransparentStatic m_advice;
  DeepScanSettings m_values;
  CDeepScanNormalSetDlg m_general;
  CDeepScanFileSetDlg m_files;

 protected:
  void OnBnClickedGeneralTab();
  void OnBnClickedFileTab();
  void OnBnClickedReference();
  DECLARE_MESSAGE_MAP()
};

// Runs the dialog over the values; true when OK stored them. The engine calls it before a scan
// when the user asked for the settings (installed by InstallDeepScanSettingsDialog).
bool RunDeepScanSettingsDialog(DeepScanSettings& values);
void InstallDeepScanSettingsDialog();
void RegisterDeepScanSettingsTemplates();
