// The main window's help menus, right-click menus, About entry and links.
#include <map>

#include "app/edition.h"
#include "app/servicedll.h"
#include "app/settings.h"
#include "app/weblink.h"
#include "base/log.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/mainwnd.h"
#include "dialogs/supportdlg.h"
#include "dialogs/webdlg.h"
#include "platform/paint/resstore.h"

namespace {

// The maker's two fixed pages live on its site; the program ships with a loopback host only.
constexpr char16_t kMakerSite[] = u"http://127.0.0.1/";

bool IsDrevask() { return GetBaseCfg(u"Brand") == CString(u"Drevask"); }

}  // namespace

std::vector<HelpMenuEntry> HelpMenuEntries() {
  return {{ID_MENU_SOFTHELP, GetLangStr(u"SoftHelp"), 426},
          {ID_MENU_COMMUNITY, GetLangStr(u"Question"), 425},
          {ID_MENU_ABOUTUS, GetLangStr(u"AboutUs"), 393}};
}

std::vector<HelpMenuEntry> RightClickMenuEntries() {
  if (IsHouseBrand()) {
    return {{ID_MENU_ABOUTUS, GetLangStr(u"About"), 393},
            {ID_MENU_WEBSITE, GetLangStr(u"Website"), 394},
            {ID_MENU_VIDEO_TUTORIAL, u"视频教程", 0},
            {ID_MENU_HELP_FINDFILE, u"如何找到需要恢复的文件", 0},
            {ID_MENU_HELP_FILEERROR, u"恢复后文件不能使用的处理方法", 0},
            {ID_MENU_HELP_MOV, u"如何恢复MOV/MP4格式视频", 0},
            {ID_MENU_HELP_MTS, u"如何恢复MTS格式视频", 0},
            {ID_MENU_HELP_CLONE, u"通过存储设备镜像恢复文件", 0}};
  }
  if (IsPelmarCorvinthBrand()) {
    return {{ID_MENU_ABOUTUS, GetLangStr(u"About"), 393}, {ID_MENU_WEBSITE, GetLangStr(u"Website"), 394}};
  }
  return {};
}

CString HelpCommandAddress(UINT command) {
  const bool drevask = IsDrevask();
  const CString web = GetSoftCfg(u"Web");
  switch (command) {
    case ID_MENU_WEBSITE: return web;
    case ID_MENU_COMMUNITY: return CString(kMakerSite) + u"community";
    case ID_MENU_SOFTHELP: return CString(kMakerSite) + u"datarecovery/help.html";
    case ID_MENU_VIDEO_TUTORIAL: return web + u"help/helpvideo.html";
    case ID_MENU_HELP_FINDFILE: return web + (drevask ? u"help/21findfile.html" : u"help/FindFile.html");
    case ID_MENU_HELP_FILEERROR: return web + (drevask ? u"help/25fileerr.html" : u"help/fileerr.html");
    case ID_MENU_HELP_CLONE: return web + (drevask ? u"help/26clone.html" : u"help/clone.html");
    case ID_MENU_HELP_MOV: return web + (drevask ? u"help/23mov.html" : u"help/mov.html");
    case ID_MENU_HELP_MTS: return web + (drevask ? u"help/24mts.html" : u"help/mts.html");
    default: return CString();
  }
}

HBITMAP HelpMenuBitmap(UINT id) {
  // Loaded once and kept for the run: a menu's item bitmaps are not freed with the menu, so
  // loading them per menu shown would leak two or three bitmaps each time.
  static std::map<UINT, HBITMAP>& kept = *new std::map<UINT, HBITMAP>;
  if (id == 0) return nullptr;
  auto it = kept.find(id);
  if (it != kept.end()) return it->second;
  HBITMAP bm = LoadBitmapW(nullptr, ResourceIdName(id));
  if (!bm) {
    WriteLogFmt(u"Menu bitmap %u is missing", id);
    return nullptr;
  }
  kept.emplace(id, bm);
  return bm;
}

void CKestrelDlg::AppendBitmapMenuItem(CMenu& menu, UINT command, const CString& caption, UINT bitmap) {
  menu.AppendMenu(MF_STRING, command, caption.GetString());
  if (HBITMAP bm = HelpMenuBitmap(bitmap)) SetMenuItemBitmaps(menu, command, MF_BYCOMMAND, bm, bm);
}

void CKestrelDlg::RunPopupMenu(const std::vector<HelpMenuEntry>& entries, POINT pt) {
  if (entries.empty()) return;
  CMenu menu;
  if (!menu.CreatePopupMenu()) return;
  unsigned position = 0;
  for (const HelpMenuEntry& e : entries) {
    AppendBitmapMenuItem(menu, e.command, FormatCString(u"%u. ", ++position) + e.text, e.bitmap);
  }
  SetForegroundWindow();
  // The choice comes back as a WM_COMMAND to this window.
  menu.TrackPopupMenu(0, pt.x, pt.y, this);
  menu.DestroyMenu();
}

void CKestrelDlg::ShowHelpMenu(CWnd*, POINT pt) { RunPopupMenu(HelpMenuEntries(), pt); }
void CKestrelDlg::BuildFullPopupMenu(POINT pt) { RunPopupMenu(RightClickMenuEntries(), pt); }
void CKestrelDlg::BuildMainPopupMenu(POINT pt) { RunPopupMenu(RightClickMenuEntries(), pt); }

LRESULT CKestrelDlg::OnCaptionMenu(WPARAM, LPARAM) {
  POINT pt{};
  GetCursorPos(&pt);
  ShowHelpMenu(this, pt);
  return 0;
}

void CKestrelDlg::OnBnClickedMenu() {
  RECT r{};
  m_btnTopMenu.GetWindowRect(&r);
  ShowHelpMenu(this, POINT{r.left, r.bottom});
}

void CKestrelDlg::OnRButtonDown(UINT, CPoint) {
  POINT pt{};
  GetCursorPos(&pt);
  if (IsHouseBrand()) BuildFullPopupMenu(pt);
  else if (IsPelmarCorvinthBrand()) BuildMainPopupMenu(pt);
  Default();
}

void CKestrelDlg::OnSysCommand(UINT id, LPARAM) {
  if (id >= 16 && id <= 31) {
    CAboutDlg dlg;
    dlg.DoModal();
    return;
  }
  Default();
}

void CKestrelDlg::OnBnClickedWebsite() { OpenUrl(GetSoftCfg(u"Web")); }
void CKestrelDlg::OnBnClickedVideoHelp() { OpenUrl(GetSoftCfg(u"VideoHelp")); }

void CKestrelDlg::OnBnClickedService() {
  CSupporterDlg dlg(this);
  dlg.DoModal();
}

void CKestrelDlg::OnMenuWebsite() { OnBnClickedWebsite(); }

void CKestrelDlg::OnMenuAboutUs() {
  IServiceInterface* service = GetServiceInterface();
  IServicePages* pages = service ? service->Pages() : nullptr;
  const char16_t* address = pages ? pages->PageAddress(u"default", 0) : nullptr;
  ShowWebDlg(address ? CString(address) : CString(), 755, 480);
}

void CKestrelDlg::OnMenuCommunity() { OpenUrl(HelpCommandAddress(ID_MENU_COMMUNITY)); }
void CKestrelDlg::OnMenuSoftHelp() { OpenUrl(HelpCommandAddress(ID_MENU_SOFTHELP)); }
void CKestrelDlg::OnMenuHelpPage(UINT command) { OpenUrl(HelpCommandAddress(command)); }
