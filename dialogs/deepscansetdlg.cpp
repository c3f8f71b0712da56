#include "dialogs/deepscansetdlg.h"

#include <cstdlib>

#include "app/settings.h"
#include "app/weblink.h"
#include "base/sizetext.h"
#include "core/diskreader.h"
#include "core/volumecontext.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"

namespace {

constexpr UINT kEditIds[4] = {IDC_DSS_SCAN_START, IDC_DSS_SCAN_SIZE, IDC_DSS_PRIO_START, IDC_DSS_PRIO_SIZE};
constexpr UINT kGbIds[4] = {IDC_DSS_SCAN_START_GB, IDC_DSS_SCAN_SIZE_GB, IDC_DSS_PRIO_START_GB, IDC_DSS_PRIO_SIZE_GB};

bool IsDigits(const CString& t) {
  for (int i = 0; i < t.GetLength(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
  }
  return true;
}

uint64_t ReadU64(const CString& t) { return t.IsEmpty() ? 0 : strtoull(t.ToUtf8().c_str(), nullptr, 10); }

CString GbText(uint64_t sectors) { return FormatCString(u"%u(GB)", uint32_t(sectors >> 21)); }

// The option bytes behind the boxes, in the order of kOptionBoxIds.
uint8_t* OptionByte(DeepScanSettings& s, int i) {
  uint8_t* bytes[11] = {&s.clusterAlignedStarts, &s.showAllFiles,      &s.useFat,          &s.useNtfs,
                        &s.useExfat,             &s.useGpt,            &s.rereadAfterFailure, &s.preciseOffice,
                        &s.fixIllegalNames,      &s.removeDuplicates,  &s.showWhileScanning};
  return bytes[i];
}

// The boxes that may be forced by the operation (shown disabled): show all files, exFAT, GPT,
// precise office analysis.
bool MayBeForced(int i) { return i == 1 || i == 4 || i == 5 || i == 7; }

}  // namespace

bool ReadSectorText(const CString& text, CString* gbText) {
  if (text.GetLength() > 12 || !IsDigits(text)) return false;
  if (gbText) *gbText = text.GetLength() > 3 ? GbText(ReadU64(text)) : CString(u"0(GB)");
  return true;
}

CString RangeTextsError(const CString texts[4]) {
  if (!ReadSectorText(texts[0], nullptr)) return GetLangStr(u"ScanLbaErr");
  if (!ReadSectorText(texts[1], nullptr) || texts[1].GetLength() <= 4) return GetLangStr(u"ScanSizeErr");
  if (!ReadSectorText(texts[2], nullptr)) return u"优先扫描起始地址不合法!";
  if (!ReadSectorText(texts[3], nullptr)) return u"优先扫描大小不合法!";
  return CString();
}

void FitPriorityRange(DeepScanSettings& s) {
  if (s.priorityStart < s.scanStart) s.priorityStart = s.scanStart;
  const uint64_t end = s.scanStart + s.scanCount < s.scanStart ? UINT64_MAX : s.scanStart + s.scanCount;
  if (s.priorityStart > end) s.priorityStart = end;
  if (s.priorityCount > end - s.priorityStart) s.priorityCount = end - s.priorityStart;
}

bool ScanRangeOnDevice(uint64_t start, uint64_t count, uint64_t deviceSectors) {
  return start < deviceSectors && count <= deviceSectors - start;
}

// ---- The file-type checks ----

void FileFormatChecks::LoadFromTable() {
  CopyFileCategories(categories, 1);
  CopyFileTypes(types, 1);
}

void FileFormatChecks::StoreToTable() const {
  FileTypeTableData& t = FileTypeTable();
  for (const FileCategoryRow& c : categories) {
    if (c.id >= 0 && size_t(c.id) < t.categories.size()) t.categories[size_t(c.id)].checkState = c.checkState;
  }
  for (size_t i = 0; i < types.size() && i < t.types.size(); ++i) t.types[i].enabled = types[i].enabled;
}

int FileFormatChecks::CategoryCheck(int32_t id) const {
  return id >= kFirstFileCategory && id <= kLastFileCategory && size_t(id) < categories.size()
             ? categories[size_t(id)].checkState
             : 0;
}

int FileFormatChecks::TypeEnabled(int32_t id) const {
  return id >= kFirstFileType && id < kFileTypeCount && size_t(id) < types.size() ? types[size_t(id)].enabled : 0;
}

bool FileFormatChecks::SetCategoryCheck(int32_t id, int value) {
  if (id < kFirstFileCategory || id > kLastFileCategory || size_t(id) >= categories.size()) return false;
  categories[size_t(id)].checkState = value;
  return true;
}

bool FileFormatChecks::SetTypeEnabled(int32_t id, int value) {
  if (id < kFirstFileType || id >= kFileTypeCount || size_t(id) >= types.size()) return false;
  types[size_t(id)].enabled = value;
  return true;
}

bool FileFormatChecks::GetCategoryState(int32_t id, int* state) const {
  if (id < kFirstFileCategory || id > kLastFileCategory || size_t(id) >= categories.size()) return false;
  int on = 0, off = 0;
  for (int32_t t : categories[size_t(id)].typeIds) (TypeEnabled(t) ? on : off)++;
  *state = off == 0 ? 1 : on == 0 ? 0 : 2;
  return true;
}

int FileFormatChecks::ToggleCategory(int32_t id) {
  const int value = (CategoryCheck(id) == 0 || CategoryCheck(id) == 2) ? 1 : 0;
  if (!SetCategoryCheck(id, value)) return 0;
  for (int32_t t : categories[size_t(id)].typeIds) SetTypeEnabled(t, value);
  return value;
}

int FileFormatChecks::ToggleType(int32_t id) {
  const int value = TypeEnabled(id) ? 0 : 1;
  if (!SetTypeEnabled(id, value)) return 0;
  const int32_t cat = types[size_t(id)].category;
  int state = 0;
  if (GetCategoryState(cat, &state) && state != CategoryCheck(cat)) SetCategoryCheck(cat, state);
  return value;
}

// ---- The tree of the file-type page ----

BEGIN_MESSAGE_MAP(CFileFormatTreeCtrl, CTreeCtrl)
ON_WM_LBUTTONDOWN()
ON_WM_KEYDOWN()
ON_NOTIFY_REFLECT(NM_CLICK, OnNMClick)
END_MESSAGE_MAP()

void CFileFormatTreeCtrl::SetItemStateImage(HTREEITEM item, int state) {
  SetItemState(item, INDEXTOSTATEIMAGEMASK(UINT(state)), TVIS_STATEIMAGEMASK);
}

void CFileFormatTreeCtrl::FillFromFormatTable(FileFormatChecks* checks) {
  m_checks = checks;
  m_hitItem = nullptr;
  m_hitFlags = 0;
  DeleteAllItems();
  for (int32_t cat = kFirstFileCategory; cat <= kLastFileCategory; ++cat) {
    if (size_t(cat) >= checks->categories.size()) break;
    HTREEITEM root = InsertItem(TVIF_TEXT | TVIF_PARAM | TVIF_STATE, checks->categories[size_t(cat)].name.GetString(), 0,
                                0, INDEXTOSTATEIMAGEMASK(UINT(checks->CategoryCheck(cat) + 1)), TVIS_STATEIMAGEMASK,
                                LPARAM(cat), TVI_ROOT, TVI_LAST);
    for (int32_t id = kFirstFileType; id < kFileTypeCount && size_t(id) < checks->types.size(); ++id) {
      const FileTypeRow& row = checks->types[size_t(id)];
      if (row.category != cat) continue;
      const CString text = row.description + u"   (" + row.extList + u")";
      InsertItem(TVIF_TEXT | TVIF_PARAM | TVIF_STATE, text.GetString(), 0, 0,
                 INDEXTOSTATEIMAGEMASK(UINT(checks->TypeEnabled(id) + 1)), TVIS_STATEIMAGEMASK, LPARAM(id), root,
                 TVI_LAST);
    }
  }
}

HTREEITEM CFileFormatTreeCtrl::FindItem(DWORD_PTR data) const {
  for (HTREEITEM r = GetRootItem(); r; r = GetNextSiblingItem(r)) {
    if (GetItemData(r) == data) return r;
    for (HTREEITEM c = GetChildItem(r); c; c = GetNextSiblingItem(c)) {
      if (GetItemData(c) == data) return c;
    }
  }
  return nullptr;
}

void CFileFormatTreeCtrl::SyncStateImages() {
  for (HTREEITEM r = GetRootItem(); r; r = GetNextSiblingItem(r)) {
    SetItemStateImage(r, m_checks->CategoryCheck(int32_t(GetItemData(r))) + 1);
    for (HTREEITEM c = GetChildItem(r); c; c = GetNextSiblingItem(c))
      SetItemStateImage(c, m_checks->TypeEnabled(int32_t(GetItemData(c))) + 1);
  }
}

// Both toggles repaint every box from the checks rather than only the item and its parent or
// children: a type can stand in the list of a category other than the one it is shown under,
// and its box must still show what OK will store.
void CFileFormatTreeCtrl::ToggleCategory(HTREEITEM, int32_t categoryId) {
  m_checks->ToggleCategory(categoryId);
  SyncStateImages();
}

void CFileFormatTreeCtrl::ToggleType(HTREEITEM, int32_t typeId) {
  m_checks->ToggleType(typeId);
  SyncStateImages();
}

bool CFileFormatTreeCtrl::ToggleItem(HTREEITEM item) {
  if (!m_checks || !item) return false;
  const DWORD_PTR id = GetItemData(item);
  if (id >= DWORD_PTR(kFirstFileCategory) && id <= DWORD_PTR(kLastFileCategory)) {
    ToggleCategory(item, int32_t(id));
  } else if (id >= DWORD_PTR(kFirstFileType) && id < DWORD_PTR(kFileTypeCount)) {
    ToggleType(item, int32_t(id));
  } else {
    return false;
  }
  return true;
}

void CFileFormatTreeCtrl::OnLButtonDown(UINT, CPoint pt) {
  m_hitItem = HitTest(pt, &m_hitFlags);
  Default();
}

void CFileFormatTreeCtrl::OnNMClick(NMHDR*, LRESULT* result) {
  const bool onBox = m_hitItem && (m_hitFlags & TVHT_ONITEMSTATEICON);
  // Handled: the tree must not flip the box a second time.
  *result = onBox && ToggleItem(m_hitItem) ? 1 : 0;
  m_hitItem = nullptr;
  m_hitFlags = 0;
}

void CFileFormatTreeCtrl::OnKeyDown(UINT key, UINT, UINT) {
  // The tree's own Space would step a box through all four pictures, "partly" included, past
  // the checks; it follows the same rules as a click instead.
  if (key == VK_SPACE && m_checks) {
    ToggleItem(GetSelectedItem());
    return;
  }
  Default();
}

// ---- The general page ----

BEGIN_MESSAGE_MAP(CDeepScanNormalSetDlg, CSkinChildDialog)
ON_EN_CHANGE(IDC_DSS_SCAN_START, OnEnChangeScanStart)
ON_EN_CHANGE(IDC_DSS_SCAN_SIZE, OnEnChangeScanSize)
ON_EN_CHANGE(IDC_DSS_PRIO_START, OnEnChangePriorityStart)
ON_EN_CHANGE(IDC_DSS_PRIO_SIZE, OnEnChangePrioritySize)
END_MESSAGE_MAP()

CDeepScanNormalSetDlg::CDeepScanNormalSetDlg(CDeepScanSetDlg* owner) : CSkinChildDialog(IDD_DEEPSCAN_GENERAL), m_owner(owner) {}

void CDeepScanNormalSetDlg::DoDataExchange(CDataExchange* dx) {
  for (int i = 0; i < 4; ++i) {
    DDX_Control(dx, int(kEditIds[i]), m_edits[i]);
    DDX_Control(dx, int(kGbIds[i]), m_gb[i]);
  }
  for (int i = 0; i < 11; ++i) DDX_Control(dx, int(kOptionBoxIds[i]), m_boxes[i]);
  DDX_Control(dx, IDC_DSS_SMART, m_smart);
}

BOOL CDeepScanNormalSetDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  FillRanges();
  FillOptions();
  const int32_t key = GetSoftCfgKey();
  m_smart.ShowWindow(key == 101 || key == 102 || key == 107 ? SW_SHOW : SW_HIDE);
  return TRUE;
}

void CDeepScanNormalSetDlg::FillRanges() {
  const DeepScanSettings& s = m_owner->m_values;
  const uint64_t values[4] = {s.scanStart, s.scanCount, s.priorityStart, s.priorityCount};
  for (int i = 0; i < 4; ++i) {
    m_edits[i].SetWindowText(FormatCString(u"%llu", (unsigned long long)values[i]));
    m_gb[i].SetText(GbText(values[i]));
  }
}

void CDeepScanNormalSetDlg::FillOptions() {
  DeepScanSettings& s = m_owner->m_values;
  for (int i = 0; i < 11; ++i) {
    const uint8_t v = *OptionByte(s, i);
    m_boxes[i].SetCheck((v & 1) ? 1 : 0);
    if (MayBeForced(i) && v >= kOptionForced) m_boxes[i].EnableWindow(FALSE);
  }
}

CString CDeepScanNormalSetDlg::EditText(UINT id) const {
  CString t;
  for (int i = 0; i < 4; ++i) {
    if (kEditIds[i] == id) m_edits[i].GetWindowText(t);
  }
  return t;
}

void CDeepScanNormalSetDlg::OnEditChanged(int i) {
  CString gb;
  if (ReadSectorText(EditText(kEditIds[i]), &gb)) {
    m_gb[i].SetText(gb);
    return;
  }
  static const char16_t* const kMessages[4] = {nullptr, nullptr, u"优先扫描地址输入不合法!", u"优先扫描范围输入不合法!"};
  ShowMessageBox(i == 0 ? GetLangStr(u"ScanLbaErr") : i == 1 ? GetLangStr(u"ScanRangeErr") : CString(kMessages[i]));
}

void CDeepScanNormalSetDlg::OnEnChangeScanStart() { OnEditChanged(0); }
void CDeepScanNormalSetDlg::OnEnChangeScanSize() { OnEditChanged(1); }
void CDeepScanNormalSetDlg::OnEnChangePriorityStart() { OnEditChanged(2); }
void CDeepScanNormalSetDlg::OnEnChangePrioritySize() { OnEditChanged(3); }

bool CDeepScanNormalSetDlg::ValidateRanges() {
  CString texts[4];
  for (int i = 0; i < 4; ++i) texts[i] = EditText(kEditIds[i]);
  const CString error = RangeTextsError(texts);
  if (error.IsEmpty()) return true;
  ShowMessageBox(error);
  return false;
}

bool CDeepScanNormalSetDlg::ReadSettings(DeepScanSettings& out) {
  out = m_owner->m_values;
  if (!ValidateRanges()) return false;
  out.scanStart = ReadU64(EditText(IDC_DSS_SCAN_START));
  out.scanCount = ReadU64(EditText(IDC_DSS_SCAN_SIZE));
  out.priorityStart = ReadU64(EditText(IDC_DSS_PRIO_START));
  out.priorityCount = ReadU64(EditText(IDC_DSS_PRIO_SIZE));
  FitPriorityRange(out);
  for (int i = 0; i < 11; ++i) {
    uint8_t* b = OptionByte(out, i);
    // An option the operation forces keeps its value; the first eight only ever are.
    if (i < 8 && *b >= kOptionForced) continue;
    *b = m_boxes[i].GetCheck() ? 1 : 0;
  }
  return true;
}

void CDeepScanNormalSetDlg::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  CPen pen(PS_SOLID, 1, RGB(0xCA, 0xCC, 0xCF));
  CPen* old = dc->SelectObject(&pen);
  // The frame stays open under the general tab.
  dc->MoveTo(rc.left + 16, rc.top);
  dc->LineTo(rc.left, rc.top);
  dc->LineTo(rc.left, rc.bottom - 1);
  dc->LineTo(rc.right - 1, rc.bottom - 1);
  dc->LineTo(rc.right - 1, rc.top);
  dc->LineTo(rc.left + 89, rc.top);
  dc->SelectObject(old);
}

// ---- The file-type page ----

CDeepScanFileSetDlg::CDeepScanFileSetDlg(CDeepScanSetDlg* owner) : CSkinChildDialog(IDD_DEEPSCAN_FILES), m_owner(owner) {}

void CDeepScanFileSetDlg::DoDataExchange(CDataExchange* dx) { DDX_Control(dx, IDC_DSS_TREE, m_tree); }

BOOL CDeepScanFileSetDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  m_checks.LoadFromTable();
  m_tree.m_stateImages.Create(129, 16, 2, RGB(255, 255, 255));
  m_tree.SetImageList(&m_tree.m_stateImages, TVSIL_STATE);
  m_tree.FillFromFormatTable(&m_checks);
  return TRUE;
}

void CDeepScanFileSetDlg::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  CPen pen(PS_SOLID, 1, RGB(0xCA, 0xCC, 0xCF));
  CPen* old = dc->SelectObject(&pen);
  dc->MoveTo(rc.left + 96, rc.top);
  dc->LineTo(rc.left, rc.top);
  dc->LineTo(rc.left, rc.bottom - 1);
  dc->LineTo(rc.right - 1, rc.bottom - 1);
  dc->LineTo(rc.right - 1, rc.top);
  dc->LineTo(rc.left + 169, rc.top);
  dc->SelectObject(old);
}

// ---- The dialog ----

BEGIN_MESSAGE_MAP(CDeepScanSetDlg, CSkinDialogEx)
ON_BN_CLICKED(IDC_DSS_TAB_GENERAL, OnBnClickedGeneralTab)
ON_BN_CLICKED(IDC_DSS_TAB_FILES, OnBnClickedFileTab)
ON_BN_CLICKED(IDC_DSS_REFERENCE, OnBnClickedReference)
END_MESSAGE_MAP()

CDeepScanSetDlg::CDeepScanSetDlg(const DeepScanSettings& values, CWnd* parent)
    : CSkinDialogEx(IDD_DEEPSCAN_SETTINGS, parent), m_values(values), m_general(this), m_files(this) {}

void CDeepScanSetDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_DSS_TAB_GENERAL, m_tabGeneral);
  DDX_Control(dx, IDC_DSS_TAB_FILES, m_tabFiles);
  DDX_Control(dx, IDC_DSS_REFERENCE, m_btnReference);
  DDX_Control(dx, IDC_DSS_DEFAULTS, m_btnDefaults);
  DDX_Control(dx, IDOK, m_btnOk);
  DDX_Control(dx, IDCANCEL, m_btnClose);
  DDX_Control(dx, IDC_DSS_ADVICE, m_advice);
}

BOOL CDeepScanSetDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(GetLangStr(u"ParamSet"));
  for (CSkinButton* tab : {&m_tabGeneral, &m_tabFiles}) {
    tab->SetBitmaps(250, 251, 249, 250, 250);
    tab->m_captionColor = 0;
    tab->m_disabledColor = RGB(0xAC, 0xA8, 0x99);
    tab->Invalidate(TRUE);
  }
  m_advice.m_textColor = RGB(255, 0, 0);
  m_advice.m_bMemReady = 0;
  m_advice.Invalidate(FALSE);
  m_general.Create(IDD_DEEPSCAN_GENERAL, this);
  m_files.Create(IDD_DEEPSCAN_FILES, this);
  for (CSkinChildDialog* page : {static_cast<CSkinChildDialog*>(&m_general), static_cast<CSkinChildDialog*>(&m_files)}) {
    page->MoveWindow(10, 70, 500, 230, TRUE);
  }
  m_tabGeneral.MoveWindow(25, 45, 75, 25, TRUE);
  m_tabFiles.MoveWindow(105, 45, 75, 25, TRUE);
  // The general page first, with its tab held down, rather than both pages on top of another.
  ShowPage(true);
  m_btnOk.SetFocus();
  if (GetSoftCfg(u"HelpParam").IsEmpty()) m_btnReference.ShowWindow(SW_HIDE);
  m_btnDefaults.ShowWindow(SW_HIDE);
  return FALSE;
}

void CDeepScanSetDlg::ShowPage(bool general) {
  m_tabGeneral.m_bHeldDown = general ? 1 : 0;
  m_tabFiles.m_bHeldDown = general ? 0 : 1;
  m_tabGeneral.Invalidate(FALSE);
  m_tabFiles.Invalidate(FALSE);
  m_general.ShowWindow(general ? SW_SHOW : SW_HIDE);
  m_files.ShowWindow(general ? SW_HIDE : SW_SHOW);
}

void CDeepScanSetDlg::OnBnClickedGeneralTab() { ShowPage(true); }
void CDeepScanSetDlg::OnBnClickedFileTab() { ShowPage(false); }
void CDeepScanSetDlg::OnBnClickedReference() { OpenUrl(GetSoftCfg(u"HelpParam")); }

void CDeepScanSetDlg::OnOK() {
  DeepScanSettings s;
  if (!m_general.ReadSettings(s)) return;
  // A range past the device would have the scan index its per-block maps beyond their end.
  const VolumeContext target = CopyScanTarget();
  if (!ScanRangeOnDevice(s.scanStart, s.scanCount, target.deviceSectors)) {
    ShowMessageBox(FormatCString(GetLangStr(u"ScanRangeOverDevice").View(), FormatSectorSize(target.deviceSectors)));
    return;
  }
  m_values = s;
  DeepScanSettingsRecord() = s;
  ScanSettingsValid.store(1);
  m_files.m_checks.StoreToTable();
  VolumeContext& t = ScanTarget();
  t.firstLba = s.scanStart;
  t.sectorCount = s.scanCount;
  UpdateSmallChunkReads(t);
  EndDialog(IDOK);
}

bool RunDeepScanSettingsDialog(DeepScanSettings& values) {
  CDeepScanSetDlg dlg(values);
  if (dlg.DoModal() != IDOK) return false;
  values = dlg.m_values;
  return true;
}

void InstallDeepScanSettingsDialog() { SetDeepScanSettingsDialog(&RunDeepScanSettingsDialog); }

void RegisterDeepScanSettingsTemplates() {
  DlgTemplate d;
  d.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  d.cx = 348;
  d.cy = 236;
  d.title = u"Settings";
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  d.items = {
      {int(IDC_DSS_TAB_GENERAL), WC_BUTTON, button, 0, u"常规设置", 17, 30, 50, 16},
      {int(IDC_DSS_TAB_FILES), WC_BUTTON, button, 0, u"文件设置", 70, 30, 50, 16},
      {int(IDC_DSS_REFERENCE), WC_BUTTON, button, 0, u"设置参考", 10, 212, 50, 16},
      {int(IDC_DSS_DEFAULTS), WC_BUTTON, WS_TABSTOP | BS_OWNERDRAW, 0, u"使用默认", 70, 212, 50, 16},
      {IDOK, WC_BUTTON, button, 0, u"确定", 230, 212, 50, 16},
      {IDCANCEL, WC_BUTTON, button, 0, u"关闭", 288, 212, 50, 16},
      {int(IDC_DSS_ADVICE), WC_STATIC, WS_VISIBLE, 0, u"非专业用户请使用默认设置(点击“关闭”按钮即可)", 10, 200, 300, 10},
  };
  RegisterDialogTemplate(IDD_DEEPSCAN_SETTINGS, d);

  DlgTemplate g;
  g.style = WS_CHILD;
  g.cx = 340;
  g.cy = 160;
  const char16_t* const labels[4] = {u"扫描起始地址:", u"扫描大小:", u"优先扫描地址:", u"优先扫描大小:"};
  const int labelIds[4] = {1069, 1071, 1074, 1076};
  for (int i = 0; i < 4; ++i) {
    const int y = 8 + 16 * i;
    g.items.push_back({labelIds[i], WC_STATIC, WS_VISIBLE, 0, labels[i], 8, y + 2, 60, 10});
    g.items.push_back({int(kEditIds[i]), WC_EDIT, WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, u"", 70, y, 120, 12});
    g.items.push_back({int(kGbIds[i]), WC_STATIC, WS_VISIBLE, 0, u"GB", 196, y + 2, 60, 10});
  }
  const char16_t* const boxes[11] = {u"文件起始地址簇对齐", u"显示所有文件", u"分析FAT/FAT32文件系统", u"分析NTFS文件系统",
                                     u"分析EXFAT文件系统", u"分析GPT分区表", u"读磁盘失败后重读", u"精准分析微软Office文档",
                                     u"修改非法文件名", u"清除重复的文件", u"边扫描边显示"};
  for (int i = 0; i < 11; ++i) {
    g.items.push_back({int(kOptionBoxIds[i]), WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, boxes[i],
                       8 + 110 * (i % 3), 76 + 16 * (i / 3), 105, 12});
  }
  g.items.push_back({int(IDC_DSS_SMART), WC_BUTTON, WS_TABSTOP | BS_AUTOCHECKBOX, 0, u"智能扫描", 228, 124, 105, 12});
  RegisterDialogTemplate(IDD_DEEPSCAN_GENERAL, g);

  DlgTemplate f;
  f.style = WS_CHILD;
  f.cx = 358;
  f.cy = 151;
  f.items = {{int(IDC_DSS_TREE), WC_TREEVIEW,
              WS_VISIBLE | WS_TABSTOP | WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES, 0,
              u"", 4, 4, 326, 143}};
  RegisterDialogTemplate(IDD_DEEPSCAN_FILES, f);
}
