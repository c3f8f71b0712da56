#include "dialogs/aboutdlg.h"

#include <cstdio>

#include "app/edition.h"
#include "app/settings.h"

namespace {

constexpr char16_t kBuildDate[] = u"2024.02.19";

CString Row(const char16_t* langKey, const CString& value) {
  return FormatCString(u"%s: %s", GetLangStr(langKey), value);
}

}  // namespace

CString FormatBuildDate() {
  if (GetBaseCfg(u"Language") != CString(u"EN")) return kBuildDate;
  unsigned y = 0, m = 0, d = 0;
  if (std::sscanf(CString(kBuildDate).ToUtf8().c_str(), "%u.%u.%u", &y, &m, &d) != 3) return kBuildDate;
  return FormatCString(u"%02u/%02u/%04u", d, m, y);
}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, 1037, m_name);
  DDX_Control(dx, 1038, m_company);
  DDX_Control(dx, 1008, m_website);
  DDX_Control(dx, 1002, m_versionRow);
  DDX_Control(dx, IDOK, m_ok);
  DDX_Control(dx, 1003, m_date);
  DDX_Control(dx, 1004, m_developer);
  DDX_Control(dx, 1005, m_mail);
  DDX_Control(dx, 1006, m_serviceCode);
}

BOOL CAboutDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  m_name.SetText(Row(u"SoftName", GetSoftCfg(u"LocalName")));
  m_website.SetText(Row(u"Website", GetSoftCfg(u"Web")));
  m_versionRow.SetText(Row(u"SoftVer", u"9.0.5") + u"  Win64");
  SetAppIcon();
  SetTitle(GetLangStr(u"About"));
  m_date.SetText(Row(u"CreateBigTime", FormatBuildDate()));
  const bool house = IsHouseBrand();
  if (house) {
    m_developer.SetText(Row(u"SoftCreater", GetSoftCfg(u"SoftCreater")));
    m_serviceCode.SetText(CString(u"服务号:     ") + GetServeCode());
    m_serviceCode.ShowWindow(SW_SHOW);
  } else {
    m_developer.ShowWindow(SW_HIDE);
  }
  const CString mail = GetSoftCfg(u"ServerMail");
  if (mail != CString(u"-")) m_mail.SetText(Row(u"ServerMail", mail));
  else m_mail.ShowWindow(SW_HIDE);
  // The rights holder's caption has no key of its own in the tables: "Copyright".
  m_company.SetText(Row(u"Copyright", GetSoftCfg(u"Company")));
  const CString brand = GetBaseCfg(u"Brand");
  if (brand == CString(u"Ostrel")) m_company.ShowWindow(SW_HIDE);
  if (brand == CString(u"Virelmo")) m_mail.ShowWindow(SW_HIDE);
  m_ok.SetWindowText(GetLangStr(u"OK"));
  m_ok.SetBitmaps(374, 373, 373, 374, 374);
  m_ok.m_captionColor = RGB(255, 255, 255);
  if (!house) {
    RECT r{};
    GetWindowRect(&r);
    SetWindowPos(nullptr, 0, 0, r.right - r.left, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return TRUE;
}

void RegisterAboutTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  t.cx = 154;
  t.cy = 146;
  t.title = u"About";
  const DWORD text = WS_VISIBLE | SS_LEFT;
  t.items = {
      {1037, WC_STATIC, text, 0, u"软件名称：", 7, 20, 140, 8},
      {1002, WC_STATIC, text, 0, u"软件版本：", 7, 33, 140, 8},
      {1003, WC_STATIC, text, 0, u"创建时间：", 7, 46, 140, 8},
      {1038, WC_STATIC, text, 0, u"版权所有：", 7, 60, 140, 8},
      {1008, WC_STATIC, text, 0, u"官方网站：", 43, 111, 38, 8},
      {1005, WC_STATIC, text, 0, u"客服邮箱：", 7, 118, 39, 8},
      {1004, WC_STATIC, text, 0, u"软件开发：", 7, 131, 34, 8},
      {1006, WC_STATIC, SS_LEFT, 0, u"服务号：", 120, 131, 27, 8},
      {IDOK, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, u"确定", 57, 126, 40, 13},
  };
  RegisterDialogTemplate(IDD_ABOUT, t);
}
