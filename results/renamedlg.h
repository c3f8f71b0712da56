// The rename dialog of the result views: asks for a new name for one found item. It starts
// empty whatever the item is called; the caller hands the typed name to the model, which
// decides whether it is acceptable.
#pragma once

#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_RENAME = 284;
constexpr UINT IDC_RENAME_LABEL = 1122;
constexpr UINT IDC_RENAME_EDIT = 1110;

class CFixFileInfoDlg : public CSkinDialogEx {
 public:
  explicit CFixFileInfoDlg(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void SetTexts();

  CString m_newName;
  CTransparentStatic m_label;
  CSkinEdit m_edit;
  CSkinButton m_btnOk, m_btnCancel;
};

// Runs the dialog; true with the typed name when it ended with OK.
bool AskNewName(CWnd* parent, CString& name);
void RegisterRenameTemplates();
// Registers the template at start-up.
void InstallRenameDialog();
