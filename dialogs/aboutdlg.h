// The About box of the system menu: name, version, build date, rights holder, website, support
// mail, developer and service code, each a language text and an edition value; rows are hidden
// by brand and edition.
#pragma once

#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_ABOUT = 100;

class CAboutDlg : public CSkinDialogEx {
 public:
  CAboutDlg() : CSkinDialogEx(IDD_ABOUT) {}
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  CTransparentStatic m_name, m_company, m_website, m_versionRow;  // 1037, 1038, 1008, 1002
  CSkinButton m_ok;
  CTransparentStatic m_date, m_developer, m_mail, m_serviceCode;  // 1003, 1004, 1005, 1006
};

// "2024.02.19", or "19/02/2024" when the base configuration's "Language" is exactly "EN".
CString FormatBuildDate();
void RegisterAboutTemplate();
