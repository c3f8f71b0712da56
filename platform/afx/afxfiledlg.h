// The class library's file dialog over the layer's file-open dialog.
#pragma once

#include "platform/afx/afxdlg.h"
#include "platform/wnd/commdlg.h"

class CFileDialog {
 public:
  // The filter is not used (every file shows); a starting name, when given, fills the name
  // field. A save dialog ("open" false) takes names of files that do not exist yet as well.
  explicit CFileDialog(BOOL openFileDialog, const char16_t* defaultExt = nullptr, const char16_t* fileName = nullptr,
                       DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char16_t* filter = nullptr,
                       CWnd* parent = nullptr);
  // IDOK with the chosen path, IDCANCEL when cancelled.
  INT_PTR DoModal();
  CString GetPathName() const;
  CString GetFileName() const;
  CString GetFileExt() const;

  OPENFILENAMEW m_ofn{};

 private:
  char16_t m_file[MAX_PATH]{};
  char16_t m_title[MAX_PATH]{};
  CWnd* m_parent = nullptr;
  BOOL m_open = TRUE;
};
