// The recovery options dialog: before found files are copied out it asks for the target folder
// and the two copy policies (what to do when a file of that name exists, and on a read error),
// checks the folder and hands the answers back as RecoverOptions (core/copyout.h).
//
// The copy-out drivers of core/copyout.h show it through their services; InstallRecoveryDialogs
// makes them show this dialog and run their jobs under the job-progress dialog. The results
// view's Recover button calls RecoverCheckedItems(list, files, bytes) of core/copyout.h with
// the checked totals it shows; a single item goes through RecoverOneItem(list, slot, id, owner)
// with owner its CWnd*.
#pragma once

#include <cstdint>

#include "core/copyout.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_SAVE_PARAM = 175;
constexpr UINT IDC_SAVEPARAM_FOLDER = 1028;
constexpr UINT IDC_SAVEPARAM_SELDIR = 1029;
constexpr UINT IDC_SAVEPARAM_EXISTS_GROUP = 1030;
constexpr UINT IDC_SAVEPARAM_ERROR_GROUP = 1031;
constexpr UINT IDC_SAVEPARAM_EXISTS_FIRST = 1022;  // ask, overwrite, skip: 1022 … 1024
constexpr UINT IDC_SAVEPARAM_ERROR_FIRST = 1025;   // empty, keep, zeros: 1025 … 1027
constexpr UINT IDC_SAVEPARAM_NOTE = 1051;
constexpr UINT IDC_SAVEPARAM_WARNING = 1052;
constexpr UINT IDC_SAVEPARAM_ADVANCED = 3;
// How far the advanced button opens the dialog to show the policies, in pixels.
constexpr int kSaveParamAdvancedHeight = 195;

// The first reason the folder cannot take a copy of requiredBytes, as a language key ("" when
// it can): none given, no such path, on the volume, disk or image being recovered (the scan
// target), or too little free space (below 103 % of what is copied; a drive whose free space
// cannot be read passes).
CString SaveDirRefusal(const CString& folder, uint64_t requiredBytes);

class CSaveParamDlg : public CSkinDialogEx {
 public:
  explicit CSaveParamDlg(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override { OnBnClickedOk(); }
  void OnBnClickedOk();
  // Shows the refusal of SaveDirRefusal, if any; true when the folder is acceptable.
  bool ValidateSaveDir();
  void OnBnClickedSelDir();
  void OnBnClickedAdvanced();
  void SetTexts();
  // What the caller reads after IDOK.
  RecoverOptions Options() const;

  CSkinEdit m_edit;
  CSkinButton m_btnSelDir, m_btnAdvanced, m_btnOk, m_btnCancel;
  CSxGroupBox m_existsGroup, m_errorGroup;
  CSkinCRButton m_radios[6];
  CTransparentStatic m_note, m_warning;

  CString m_folder;
  int m_existsChoice = kExistsOverwrite;
  int m_errorChoice = kErrorKeepPart;
  uint64_t m_requiredBytes = 0;
  int m_advancedShown = 0;

 protected:
  DECLARE_MESSAGE_MAP()
};

// The folder the user last confirmed, offered the next time (for the run of the program).
CString GetRememberedRecoverFolder();
void SetRememberedRecoverFolder(const CString& folder);

// Runs the dialog for a copy of that many bytes; true with the options on OK.
bool RunSaveParamDlg(void* owner, uint32_t files, uint64_t bytes, RecoverOptions& options);

void RegisterSaveParamTemplate();
// The copy-out drivers ask for their options with this dialog and run their jobs under the
// job-progress dialog; the other copy services installed so far are kept.
void InstallRecoveryDialogs();
