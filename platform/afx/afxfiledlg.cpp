#include "platform/afx/afxfiledlg.h"

#include <algorithm>
#include <cstring>

CFileDialog::CFileDialog(BOOL openFileDialog, const char16_t* defaultExt, const char16_t* fileName, DWORD flags,
                         const char16_t* filter, CWnd* parent)
    : m_parent(parent), m_open(openFileDialog) {
  m_ofn.lStructSize = sizeof(OPENFILENAMEW);
  m_ofn.lpstrFilter = filter;
  m_ofn.lpstrDefExt = defaultExt;
  m_ofn.lpstrFile = m_file;
  m_ofn.nMaxFile = MAX_PATH;
  m_ofn.lpstrFileTitle = m_title;
  m_ofn.nMaxFileTitle = MAX_PATH;
  m_ofn.Flags = flags | OFN_EXPLORER;
  if (fileName) {
    size_t n = 0;
    while (fileName[n] && n < size_t(MAX_PATH) - 1) ++n;
    std::memcpy(m_file, fileName, n * sizeof(char16_t));
  }
}

INT_PTR CFileDialog::DoModal() {
  m_ofn.hwndOwner = m_parent ? m_parent->m_hWnd : nullptr;
  if (m_open) m_ofn.Flags |= OFN_PATHMUSTEXIST;
  return GetOpenFileNameW(&m_ofn) ? IDOK : IDCANCEL;
}

CString CFileDialog::GetPathName() const { return CString(m_file); }

CString CFileDialog::GetFileName() const { return CString(m_title); }

CString CFileDialog::GetFileExt() const {
  const CString name = GetFileName();
  const int dot = name.ReverseFind(u'.');
  return dot >= 0 ? name.Mid(dot + 1) : CString();
}
