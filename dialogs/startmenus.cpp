#include "dialogs/startmenus.h"

#include "app/edition.h"
#include "app/settings.h"
#include "app/weblink.h"
#include "dialogs/mainwnd.h"
#include "platform/afx/afxmsg.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"

namespace {

// The classic menu's help lines: the first texts, the texts once the mouse has left a button,
// and the texts of each button.
const char16_t* const kInitialLines[5] = {
    u"首次使用本软件，强烈建议先阅读《软件使用教程》。", u"请将鼠标移到主功能按钮上，立即显示详细帮助。",
    u"恢复删除的文件，请点击[恢复删除的文件]按钮。", u"误格式化、分区不能打开、设备故障等，请点击[恢复分区的文件]。",
    u"硬盘分区丢失、破坏，U盘、内存卡数据损坏，请点击[恢复设备的文件]。"};
const char16_t* const kLeaveLines[5] = {
    u"首次使用本软件，强烈建议先阅读《软件使用教程》。", u"请将鼠标移到主功能按钮上，立即显示详细帮助。",
    u"恢复删除的文件，请点击[恢复删除的文件]按钮。", u"误格式化、分区不能打开、设备故障等，请点击[恢复分区的文件]。",
    u"硬盘分区丢失、误分区，U盘、内存卡数据损坏，请点击[恢复设备的文件]。"};
const struct {
  UINT id;
  const char16_t* lines[5];
} kButtonLines[] = {
    {IDC_CLASSIC_DELETED,
     {u"恢复各种原因删除的文件。", u"恢复Shift+Del删除的文件。", u"恢复清空回收站删除的文件。",
      u"恢复病毒破坏的文件、杀毒软件误删除的文件。", u""}},
    {IDC_CLASSIC_PARTITION,
     {u"基于底层存储技术，恢复整个分区上的文件。", u"适合分区无法打开、提示格式化的情况。",
      u"适合分区出现逻辑错误、变成RAW的情况。", u"适合分区内目录名、文件名变为乱码的情况。",
      u"适合分区出现坏道、文件无法浏览、复制的情况。"}},
    {IDC_CLASSIC_DEVICE,
     {u"基于底层存储技术，恢复整个存储设备上的文件。", u"适合硬盘出现物理坏道、逻辑错误导致的分区丢失。",
      u"适合误GHOST、误分区导致的分区丢失。", u"适合病毒破坏、杀毒软件误杀毒导致的分区丢失。",
      u"适合U盘、SD卡、TF卡、CF卡等设备的各类故障。"}},
    {IDC_CLASSIC_SUPPORT, {u"", u"立即阅读《软件使用教程》。", u"", u"", u""}},
};

void ShowDeviceSelectionOn(CWnd* main, uint32_t mode) {
  if (auto* dlg = dynamic_cast<CKestrelDlg*>(main)) dlg->ShowDeviceSelection(mode);
}

constexpr UINT kTabImages = 6;
const char16_t* const kTabNormal[kTabImages] = {
    u"NewMainBtn/NewAllRecoveryN.bmp", u"NewMainBtn/NewDelRecoveryN.bmp",     u"NewMainBtn/NewFormatRecoveryN.bmp",
    u"NewMainBtn/NewUsbRecoveryN.bmp", u"NewMainBtn/NewRecycleRecoveryN.bmp", u"NewMainBtn/NewDiskRecoveryN.bmp"};
const char16_t* const kTabDown[kTabImages] = {
    u"NewMainBtn/NewAllRecoveryD.bmp", u"NewMainBtn/NewDelRecoveryD.bmp",     u"NewMainBtn/NewFormatRecoveryD.bmp",
    u"NewMainBtn/NewUsbRecoveryD.bmp", u"NewMainBtn/NewRecycleRecoveryD.bmp", u"NewMainBtn/NewDiskRecoveryD.bmp"};

}  // namespace

uint32_t ModeOfTab(UINT tabId) {
  if (tabId < IDC_MENU_TAB_FIRST || tabId > IDC_MENU_TAB_LAST) return 0;
  return tabId - IDC_MENU_TAB_FIRST + 1;
}

bool ClassicHelpTexts(UINT controlId, CString (&lines)[5]) {
  if (controlId == 0) {
    for (int i = 0; i < 5; ++i) lines[i] = kLeaveLines[i];
    return true;
  }
  for (const auto& b : kButtonLines) {
    if (b.id != controlId) continue;
    for (int i = 0; i < 5; ++i) lines[i] = b.lines[i];
    return true;
  }
  return false;
}

ClassicLayout ClassicMenuLayout(int cx, int cy) {
  const int c = (cx - 620) / 2, d = (cy - 300) / 2 - 30;
  return ClassicLayout{{c - 42, c + 145, c + 332, c + 519}, d, c - 7, d + 220};
}

// ---- The new-style menu ----

BEGIN_MESSAGE_MAP(CVorMenuDlg, CSkinChildDialog)
ON_COMMAND_RANGE(IDC_MENU_TAB_FIRST, IDC_MENU_TAB_LAST, OnTab)
ON_BN_CLICKED(IDC_MENU_START, OnBnClickedStartRecovery)
ON_BN_CLICKED(IDC_MENU_TUTORIAL, OnBnClickedTutorial)
END_MESSAGE_MAP()

CVorMenuDlg::CVorMenuDlg() : CSkinChildDialog(IDD_NEW_MENU) {}

void CVorMenuDlg::DoDataExchange(CDataExchange* dx) {
  for (UINT i = 0; i < 6; ++i) DDX_Control(dx, int(IDC_MENU_TAB_FIRST + i), m_tabs[i]);
  DDX_Control(dx, IDC_MENU_START, m_btnStart);
  DDX_Control(dx, IDC_MENU_TUTORIAL, m_btnTutorial);
}

BOOL CVorMenuDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  m_mainWnd = GetParent();
  LoadButtonImages();
  FillFeatureTexts();
  m_bullet.LoadFromResource(336);
  CreateSkinFont(u"MenuBig", &m_bigFont);
  CreateSkinFont(u"MenuNom", &m_nomFont);
  return TRUE;
}

void CVorMenuDlg::LoadButtonImages() {
  m_tabs[0].m_bSelected = 1;
  for (UINT i = 0; i < kTabImages; ++i) {
    const SkinImageData* down = FindSkinImage(kTabDown[i]);
    m_tabs[i].SetSkinImages(FindSkinImage(kTabNormal[i]), down, down);
  }
  CreateSkinFont(u"BigBtn", &m_btnFont);
  m_btnStart.SetBitmaps(374, 373, 373, 374, 374);
  m_btnStart.SendMessage(WM_SETFONT, WPARAM(m_btnFont.m_hObject), TRUE);
  m_btnStart.m_captionColor = RGB(255, 255, 255);
  m_btnStart.m_disabledColor = RGB(0xAC, 0xA8, 0x99);
  m_btnStart.SetIcon(379, 24);
  m_btnStart.MoveWindow(370, 440, 160, 48, TRUE);
  m_btnTutorial.SendMessage(WM_SETFONT, WPARAM(m_btnFont.m_hObject), TRUE);
  m_btnTutorial.m_captionColor = RGB(0x30, 0x30, 0x30);
  m_btnTutorial.m_disabledColor = RGB(0xAC, 0xA8, 0x99);
  m_btnTutorial.SetIcon(378, 24);
  m_btnTutorial.MoveWindow(570, 440, 160, 48, TRUE);
  if (!GetSoftCfg(u"VideoHelp").IsEmpty()) m_btnTutorial.SetWindowText(GetLangStr(u"VideoHelp"));
  for (int i = 0; i < 6; ++i) {
    m_tabs[i].MoveWindow(m_tabLeft, m_tabTop + m_tabHeight * i, m_tabWidth, m_tabHeight, TRUE);
  }
}

void CVorMenuDlg::FillFeatureTexts() {
  static const char16_t* const kTexts[6][8] = {
      {u"深度数据恢复，适用各种数据丢失情况", u"本功能支持:", u"对数据存储器进行深度扫描", u"深度恢复任何原因丢失的数据",
       u"恢复不被系统识别的分区(如:RAW分区或非Windows分区)", u"深度恢复用户误操作(格式化、删除)导致的数据丢失",
       u"以缩略图和列表的形式预览多个文件", u""},
      {u"恢复误删除的文件或目录", u"本功能支持:", u"精准快速恢复误删除的文件或目录", u"可恢复原来的目录结构、文件名",
       u"对扫描到的常用数据类型进行预览", u"", u"", u""},
      {u"恢复误格式化前的文件及目录结构", u"本功能支持:", u"误格式化的分区/磁盘恢复", u"分区/磁盘文件异常消失",
       u"分区/磁盘文件名乱码、分区/磁盘变RAW", u"双击文件夹提示错误", u"分区/磁盘提示未格式化",
       u"对扫描到的常用数据类型可进行预览"},
      {u"恢复USB存储设备的数据", u"本功能支持:", u"恢复U盘、移动硬盘、手机存储卡、相机存储卡等USB设备",
       u"系统提示未格式化的USB设备", u"文件目录变成乱码的USB设备", u"频繁掉盘的USB设备",
       u"其他各种原因导致的文件丢失、打不开等问题。", u"对扫描到的常用数据类型进行预览"},
      {u"恢复回收站被清空的文件", u"本功能支持:", u"快速精准全盘搜索回收站已清空的文件",
       u"恢复放进回收站后，被系统自动更改的文件名", u"对扫描到的常用数据类型进行预览", u"", u"", u""},
      {u"恢复丢失分区中的文件", u"本功能支持:", u"误删除分区或重新分区后分区丢失", u"整个磁盘变成一个分区",
       u"分区提示未格式化", u"误Ghost后，分区变成一个或者变成多个分区", u"对扫描到的常用数据类型进行预览", u""},
  };
  m_features.clear();
  for (const auto& t : kTexts) {
    MenuFeatureText f;
    f.title = t[0];
    f.heading = t[1];
    for (int i = 0; i < 6; ++i) f.lines[i] = t[2 + i];
    m_features.push_back(f);
  }
}

UINT CVorMenuDlg::SelectedTab() const {
  for (UINT i = 0; i < 6; ++i) {
    if (m_tabs[i].m_bSelected) return IDC_MENU_TAB_FIRST + i;
  }
  return 0;
}

void CVorMenuDlg::OnTab(UINT id) { SelectTab(id); }

void CVorMenuDlg::SelectTab(UINT tabId) {
  if (tabId < IDC_MENU_TAB_FIRST || tabId > IDC_MENU_TAB_LAST) return;
  const UINT old = SelectedTab();
  if (old == tabId) return;
  if (old) {
    m_tabs[old - IDC_MENU_TAB_FIRST].m_bSelected = 0;
    m_tabs[old - IDC_MENU_TAB_FIRST].Invalidate(TRUE);
  }
  m_tabs[tabId - IDC_MENU_TAB_FIRST].m_bSelected = 1;
  m_tabs[tabId - IDC_MENU_TAB_FIRST].Invalidate(TRUE);
  m_btnStart.ShowWindow(SW_SHOW);
  m_btnTutorial.ShowWindow(SW_SHOW);
  ++m_tabSwitches;
  m_bBackReady = 0;
  Invalidate(FALSE);
}

void CVorMenuDlg::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  dc->FillSolidRect(0, 0, m_tabWidth, rc.bottom, RGB(0xFB, 0xFD, 0xFF));
  dc->FillSolidRect(m_tabWidth, 0, rc.right - m_tabWidth, rc.bottom, RGB(255, 255, 255));
  const UINT tab = SelectedTab();
  if (tab && size_t(tab - IDC_MENU_TAB_FIRST) < m_features.size()) {
    DrawFeaturePane(dc, m_features[tab - IDC_MENU_TAB_FIRST]);
  }
}

void CVorMenuDlg::DrawFeaturePane(CDC* dc, const MenuFeatureText& text) {
  const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(m_paneColor);
  RECT r = m_pane;
  {
    ScopedSelect sel(dc->m_hDC, m_bigFont.m_hObject);
    dc->DrawText(text.title, &r, format);
  }
  ScopedSelect sel(dc->m_hDC, m_nomFont.m_hObject);
  r.top += 20;
  r.bottom += 20;
  RECT band{r.left, r.bottom, r.right, r.bottom + 35};
  dc->DrawText(text.heading, &band, format);
  const int bulletX = r.left + 15;
  RECT line{r.left + 30, band.bottom, r.right, band.bottom + 35};
  int bulletY = band.bottom + 14;
  for (int i = 0; i < 6; ++i) {
    // The first line's bullet is always drawn; the others only beside a text.
    if ((i == 0 || !text.lines[i].IsEmpty()) && !m_bullet.m_bEmpty) {
      dc->BitBlt(bulletX, bulletY, 6, 6, &m_bullet, 0, 0, SRCCOPY);
    }
    if (!text.lines[i].IsEmpty()) dc->DrawText(text.lines[i], &line, format);
    line.top += 35;
    line.bottom += 35;
    bulletY += 35;
  }
}

void CVorMenuDlg::OnBnClickedStartRecovery() {
  const uint32_t mode = ModeOfTab(SelectedTab());
  if (mode) ShowDeviceSelectionOn(m_mainWnd, mode);
}

void CVorMenuDlg::OnBnClickedTutorial() { OpenUrl(GetSoftCfg(u"VideoHelp")); }

// ---- The classic menu ----

BEGIN_MESSAGE_MAP(CMainMenuDlg, CSkinChildDialog)
ON_BN_CLICKED(IDC_CLASSIC_DELETED, OnBnClickedDeletedFiles)
ON_BN_CLICKED(IDC_CLASSIC_PARTITION, OnBnClickedPartitionFiles)
ON_BN_CLICKED(IDC_CLASSIC_DEVICE, OnBnClickedDeviceFiles)
ON_BN_CLICKED(IDC_CLASSIC_SUPPORT, OnBnClickedSupport)
ON_MESSAGE(WM_SKIN_BUTTON_HOVER, OnSkinButtonHover)
END_MESSAGE_MAP()

CMainMenuDlg::CMainMenuDlg() : CSkinChildDialog(IDD_CLASSIC_MENU) {}

void CMainMenuDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_CLASSIC_DELETED, m_btnDeleted);
  DDX_Control(dx, IDC_CLASSIC_PARTITION, m_btnPartition);
  DDX_Control(dx, IDC_CLASSIC_DEVICE, m_btnDevice);
  DDX_Control(dx, IDC_CLASSIC_SUPPORT, m_btnSupport);
  for (UINT i = 0; i < 5; ++i) DDX_Control(dx, int(IDC_CLASSIC_LINE_FIRST + i), m_lines[i]);
}

BOOL CMainMenuDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  m_btnPartition.SetFocus();
  m_mainWnd = GetParent();
  CreateSkinFont(u"MenuNom", &m_lineFont);
  for (CTransparentStatic& l : m_lines) {
    CopyFontObject(&m_lineFont, &l.m_pFont);
    l.m_bMemReady = 0;
    l.Invalidate(FALSE);
  }
  m_lines[0].m_textColor = RGB(255, 0, 0);
  for (int i = 0; i < 5; ++i) m_lines[i].SetText(kInitialLines[i]);
  m_btnDeleted.SetSkinImages(FindSkinImage(u"OldMianBtn/DelFileRecoveryNormal.bmp"),
                             FindSkinImage(u"OldMianBtn/DelFileRecoveryUp.bmp"));
  m_btnPartition.SetSkinImages(FindSkinImage(u"OldMianBtn/PartFileRecoveryNormal.bmp"),
                               FindSkinImage(u"OldMianBtn/PartFileRecoveryUp.bmp"));
  m_btnDevice.SetSkinImages(FindSkinImage(u"OldMianBtn/DiskFileRecoveryNormal.bmp"),
                            FindSkinImage(u"OldMianBtn/DiskFileRecoveryUp.bmp"));
  m_btnSupport.SetSkinImages(FindSkinImage(u"OldMianBtn/SoftHelpNormal.bmp"), FindSkinImage(u"OldMianBtn/SoftHelpUp.bmp"));
  if (GetBaseCfg(u"Brand") == CString(u"Virelmo")) m_btnSupport.SetWindowText(u"软件教程");
  return FALSE;
}

void CMainMenuDlg::OnSkinSize(int cx, int cy) {
  if (!m_btnDeleted.m_hWnd) return;
  const ClassicLayout l = ClassicMenuLayout(cx, cy);
  CBmpButton* buttons[4] = {&m_btnDeleted, &m_btnPartition, &m_btnDevice, &m_btnSupport};
  for (int i = 0; i < 4; ++i) buttons[i]->MoveWindow(l.buttonX[i], l.buttonY, 139, 184, TRUE);
  for (int i = 0; i < 5; ++i) m_lines[i].MoveWindow(l.lineX, l.lineY + 28 * i, 550, 22, TRUE);
}

void CMainMenuDlg::OnBnClickedDeletedFiles() { ShowDeviceSelectionOn(m_mainWnd, IsPelmarCorvinthBrand() ? 1 : 2); }

void CMainMenuDlg::OnBnClickedPartitionFiles() { ShowDeviceSelectionOn(m_mainWnd, IsPelmarCorvinthBrand() ? 1 : 3); }

void CMainMenuDlg::OnBnClickedDeviceFiles() { ShowDeviceSelectionOn(m_mainWnd, 6); }

void CMainMenuDlg::OnBnClickedSupport() { OpenUrl(GetSoftCfg(u"HelpSoft")); }

LRESULT CMainMenuDlg::OnSkinButtonHover(WPARAM id, LPARAM state) {
  CString lines[5];
  if (!ClassicHelpTexts(state == 1 ? UINT(id) : 0, lines)) return 0;
  for (int i = 0; i < 5; ++i) m_lines[i].SetText(lines[i]);
  return 0;
}

void RegisterStartMenuTemplates() {
  DlgTemplate n;
  n.style = WS_CHILD;
  n.cx = 600;
  n.cy = 330;
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  const char16_t* const tabs[6] = {u"深度恢复", u"误删文件恢复", u"误格式化恢复", u"U盘/内存卡恢复", u"误清空回收站", u"磁盘分区丢失"};
  for (int i = 0; i < 6; ++i) n.items.push_back({int(IDC_MENU_TAB_FIRST + i), WC_BUTTON, button, 0, tabs[i], 0, 2 + 40 * i, 140, 40});
  n.items.push_back({int(IDC_MENU_START), WC_BUTTON, button, 0, u"开始恢复", 247, 293, 107, 32});
  n.items.push_back({int(IDC_MENU_TUTORIAL), WC_BUTTON, button, 0, u"软件教程", 380, 293, 107, 32});
  RegisterDialogTemplate(IDD_NEW_MENU, n);

  DlgTemplate c;
  c.style = WS_CHILD;
  c.cx = 600;
  c.cy = 330;
  c.items = {
      {int(IDC_CLASSIC_DELETED), WC_BUTTON, button, 0, u"恢复删除的文件", 20, 20, 93, 123},
      {int(IDC_CLASSIC_PARTITION), WC_BUTTON, button, 0, u"恢复分区的文件", 140, 20, 93, 123},
      {int(IDC_CLASSIC_DEVICE), WC_BUTTON, button, 0, u"恢复设备的文件", 260, 20, 93, 123},
      {int(IDC_CLASSIC_SUPPORT), WC_BUTTON, button, 0, u"技术支持", 380, 20, 93, 123},
  };
  for (int i = 0; i < 5; ++i) c.items.push_back({int(IDC_CLASSIC_LINE_FIRST + i), WC_STATIC, WS_VISIBLE, 0, u"", 20, 160 + 18 * i, 366, 14});
  RegisterDialogTemplate(IDD_CLASSIC_MENU, c);
}
