// The two support dialogs: CSupporterDlg offers free support (shown after a run that ended
// badly), CSupportSoftDlg closes every recovery with its result, a button that opens the folder
// the files went to and, after large recoveries, the edition's support links.
#pragma once

#include <vector>

#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_SUPPORTER = 407;
constexpr UINT IDD_SUPPORT_SOFT = 254;

class CSupporterDlg : public CSkinDialogEx {
 public:
  explicit CSupporterDlg(CWnd* parent = nullptr) : CSkinDialogEx(IDD_SUPPORTER, parent) {}
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;
  void FillTexts();

  CSkinButton m_consult;  // 1131
  CSkinButton m_close;    // 2
  CString m_title;
  CString m_lines[5];
  CString m_consultCaption;
  COLORREF m_lineColor = 0;

 protected:
  void OnBnClickedConsult();
  DECLARE_MESSAGE_MAP()
};

class CSupportSoftDlg : public CSkinDialogEx {
 public:
  CSupportSoftDlg();
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void CompactLayout(int width, int height);
  void LayoutLinks();
  void SetTexts();

  CSkinButton m_openFolder;      // 1056
  CHyperlinkButton m_links[5];   // 1054, 1055, 1057, 1058, 1059
  std::vector<CString> m_linkAddresses;  // of the shown link buttons, in button order
  CSkinButton m_close;           // 2
  CString m_resultText;
  CTransparentStatic m_descriptions[5];  // 1061 - 1065
  CTransparentStatic m_result;   // 1066
  CTransparentStatic m_heading;  // 1067

 protected:
  void OnBnClickedOpenFolder();
  void OnLink(int k);
  void OnBnClickedLink1() { OnLink(0); }
  void OnBnClickedLink2() { OnLink(1); }
  void OnBnClickedLink3() { OnLink(2); }
  void OnBnClickedLink4() { OnLink(3); }
  void OnBnClickedLink5() { OnLink(4); }
  DECLARE_MESSAGE_MAP()
};

constexpr int kSupportLinkIds[5] = {1054, 1055, 1057, 1058, 1059};
constexpr int kSupportDescriptionIds[5] = {1061, 1062, 1063, 1064, 1065};

void RegisterSupportTemplates();
// Shows the recovery-finished dialog with the result text (the copy-out's closing step).
void ShowSupportSoftDlg(void* owner, const CString& resultText);
