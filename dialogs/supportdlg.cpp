#include "dialogs/supportdlg.h"

#include "app/settings.h"
#include "app/onlinecfg.h"
#include "app/weblink.h"
#include "base/log.h"
#include "core/copyout.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "skin/skinfonts.h"
#include "skin/wndhelpers.h"

namespace {

constexpr uint64_t kLinkBytesThreshold = 0x1000000;
constexpr uint32_t kLinkFilesThreshold = 30;

void SetButtonLook(CSkinButton& b) {
  b.SetBitmaps(374, 373, 373, 374, 374);
  b.m_captionColor = RGB(255, 255, 255);
  b.m_disabledColor = RGB(172, 168, 153);
}

}  // namespace

// ---- CSupporterDlg ----

BEGIN_MESSAGE_MAP(CSupporterDlg, CSkinDialogEx)
ON_BN_CLICKED(1131, OnBnClickedConsult)
END_MESSAGE_MAP()

void CSupporterDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, 1131, m_consult);
  DDX_Control(dx, IDCANCEL, m_close);
}

void CSupporterDlg::FillTexts() {
  m_title = u"免费咨询";
  m_consultCaption = m_title;
  m_lines[0] = u"您遇到任何问题，都可以随时咨询我们！";
  m_lines[1] = u"专业技术支持在线解决您的问题！";
  // The maker's contact numbers and chat account are edition values.
  m_lines[2] = CString(u"客服电话：") + GetSoftCfg(u"SupporterTelePhone");
  m_lines[3] = CString(u"客服手机：") + GetSoftCfg(u"SupporterMobilePhone");
  m_lines[4] = CString(u"客服QQ：") + GetSoftCfg(u"SupporterQQ");
}

BOOL CSupporterDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  FillTexts();
  m_lineColor = 0;
  SetAppIcon();
  SetTitle(m_title);
  m_consult.MoveWindow(65, 209, 90, 28, TRUE);
  m_consult.SetWindowText(m_consultCaption);
  m_close.MoveWindow(185, 209, 90, 28, TRUE);
  CenterOnMainWnd(this, 340, 255);
  SetButtonLook(m_consult);
  SetButtonLook(m_close);
  return TRUE;
}

void CSupporterDlg::OnDrawBackground(CDC* dc) {
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(m_lineColor);
  CFont font;
  CreateSkinFont(u"MenuNom", &font);
  ScopedSelect sel(dc->m_hDC, font.m_hObject);
  for (int i = 0; i < 5; ++i) {
    RECT r{20, 50 + 28 * i, 500, 78 + 28 * i};
    dc->DrawText(m_lines[i], &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
}

void CSupporterDlg::OnBnClickedConsult() {
  const CString qq = GetSoftCfg(u"QQ");
  if (qq.Left(4) == CString(u"http")) {
    OpenUrl(qq);
    return;
  }
  // No chat client answers an account link here; the account stays on the dialog's lines.
  WriteLog(CString(u"No chat client for the support account: ") + qq);
}

// ---- CSupportSoftDlg ----

BEGIN_MESSAGE_MAP(CSupportSoftDlg, CSkinDialogEx)
ON_BN_CLICKED(1056, OnBnClickedOpenFolder)
ON_BN_CLICKED(1054, OnBnClickedLink1)
ON_BN_CLICKED(1055, OnBnClickedLink2)
ON_BN_CLICKED(1057, OnBnClickedLink3)
ON_BN_CLICKED(1058, OnBnClickedLink4)
ON_BN_CLICKED(1059, OnBnClickedLink5)
END_MESSAGE_MAP()

CSupportSoftDlg::CSupportSoftDlg() : CSkinDialogEx(IDD_SUPPORT_SOFT), m_resultText(GetLangStr(u"RecoverFile")) {}

void CSupportSoftDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, 1056, m_openFolder);
  for (int i = 0; i < 5; ++i) DDX_Control(dx, kSupportLinkIds[i], m_links[i]);
  DDX_Control(dx, IDCANCEL, m_close);
  for (int i = 0; i < 5; ++i) DDX_Control(dx, kSupportDescriptionIds[i], m_descriptions[i]);
  DDX_Control(dx, 1066, m_result);
  DDX_Control(dx, 1067, m_heading);
}

BOOL CSupportSoftDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(GetLangStr(u"RecoverOK"));
  for (CHyperlinkButton& l : m_links) {
    l.m_normalColor = RGB(0, 0, 0);
    l.m_hoverColor = RGB(0, 255, 0);
  }
  SetButtonLook(m_openFolder);
  m_openFolder.SetIcon(387, 16);
  SetButtonLook(m_close);
  const CopyStatisticsValues stats = GetCopyStatistics();
  const bool large = stats.totalBytes > kLinkBytesThreshold && stats.totalFiles > kLinkFilesThreshold;
  if (large && !GetLinkListCopy().empty()) LayoutLinks();
  else CompactLayout(300, 145);
  m_result.SetText(m_resultText);
  SetTexts();
  return TRUE;
}

void CSupportSoftDlg::CompactLayout(int w, int h) {
  const int x = (w - 237) / 2;
  m_openFolder.MoveWindow(x, h - 45, 135, 28, TRUE);
  m_close.MoveWindow(x + 155, h - 45, 82, 28, TRUE);
  SetWindowPos(nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSupportSoftDlg::LayoutLinks() {
  int y = 85;
  int links = 0, descriptions = 0;
  for (const LinkEntry& e : GetLinkListCopy()) {
    if (e.address.IsEmpty()) {
      if (descriptions < 5) {
        CTransparentStatic& d = m_descriptions[descriptions++];
        d.SetText(e.text);
        d.MoveWindow(15, y, 370, 18, TRUE);
        d.ShowWindow(SW_SHOW);
      }
    } else if (links < 5) {
      m_linkAddresses.push_back(e.address);
      CHyperlinkButton& b = m_links[links++];
      b.SetWindowText(e.text);
      b.MoveWindow(15, y, 370, 18, TRUE);
      b.ShowWindow(SW_SHOW);
    }
    y += 20;
  }
  CompactLayout(400, y + 50);
}

void CSupportSoftDlg::SetTexts() {
  m_openFolder.SetWindowText(GetLangStr(u"GoRecoveryFolder"));
  m_close.SetWindowText(GetLangStr(u"Close"));
  m_heading.SetText(GetLangStr(u"RecoverEnd"));
}

void CSupportSoftDlg::OnBnClickedOpenFolder() {
  const CString folder = GetLastSaveFolder();
  if (!folder.IsEmpty()) ShellOpen(folder);
}

void CSupportSoftDlg::OnLink(int k) {
  if (k >= 0 && size_t(k) < m_linkAddresses.size() && !m_linkAddresses[size_t(k)].IsEmpty()) {
    OpenUrl(m_linkAddresses[size_t(k)]);
  }
}

void RegisterSupportTemplates() {
  DlgTemplate s;
  s.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  s.cx = 234;
  s.cy = 189;
  s.title = u"免费咨询";
  for (int id : {1044, 1043, 1045, 1046, 1128, 1129, 1127}) s.items.push_back({id, WC_STATIC, SS_LEFT, 0, u"", 10, 10, 100, 10});
  s.items.push_back({1131, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, u"立即咨询", 40, 160, 60, 18});
  s.items.push_back({IDCANCEL, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"关闭", 120, 160, 60, 18});
  RegisterDialogTemplate(IDD_SUPPORTER, s);

  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  t.cx = 274;
  t.cy = 251;
  t.title = u"Recovery";
  t.items = {
      {1067, WC_STATIC, WS_VISIBLE | SS_LEFT, 0, u"恢复结束！", 9, 28, 253, 10},
      {1066, WC_STATIC, WS_VISIBLE | SS_LEFT, 0, u"", 9, 40, 253, 10},
  };
  const int linkY[5] = {63, 79, 96, 113, 129};
  for (int i = 0; i < 5; ++i) t.items.push_back({kSupportLinkIds[i], WC_BUTTON, WS_TABSTOP | BS_OWNERDRAW, 0, u"", 0, linkY[i], 262, 13});
  const int descY[5] = {155, 168, 181, 193, 205};
  for (int i = 0; i < 5; ++i) {
    t.items.push_back({kSupportDescriptionIds[i], WC_STATIC, DWORD(i == 0 ? WS_VISIBLE : 0) | SS_LEFT, 0, u"", 1, descY[i], 262, 12});
  }
  t.items.push_back({1056, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"前往恢复文件夹", 59, 225, 69, 19});
  t.items.push_back({IDCANCEL, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"关闭", 148, 226, 50, 18});
  RegisterDialogTemplate(IDD_SUPPORT_SOFT, t);
}

void ShowSupportSoftDlg(void*, const CString& resultText) {
  CSupportSoftDlg dlg;
  dlg.m_resultText = resultText;
  dlg.DoModal();
}
