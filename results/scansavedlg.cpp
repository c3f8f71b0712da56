#include "results/scansavedlg.h"

#include <cstring>

#include "app/edition.h"
#include "app/settings.h"
#include "base/packedtime.h"
#include "base/pathutil.h"
#include "base/sizetext.h"
#include "base/textutil.h"
#include "core/devicelists.h"
#include "dialogs/scantargets.h"
#include "platform/afx/afxmsg.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/paint/resstore.h"
#include "platform/wnd/dialog.h"
#include "scansave/scanstatefile.h"

namespace {

constexpr UINT kListIcon = 171;

// Copies the text with its terminator; false when it had to be cut.
template <size_t N>
bool PutText(char16_t (&field)[N], const CString& text) {
  const std::u16string_view v = text.View();
  const size_t n = std::min(v.size(), N - 1);
  std::memset(field, 0, sizeof field);
  if (n != 0) std::memcpy(field, v.data(), n * 2);
  return v.size() <= N - 1;
}

void SetUpList(CSkinListCtrl& list) {
  list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  list.SetRowHeight(25);
  list.AddIcon(LoadIconW(nullptr, ResourceIdName(kListIcon)));
  list.InitCtrl(0);
}

void FileRemove(const CString& path) { ::DeleteFileW(path); }

}  // namespace

CString ScanModeName(uint32_t kind) {
  static const char16_t* const names[6] = {u"深度恢复", u"删除文件恢复", u"误格式化恢复",
                                           u"U盘/内存卡恢复", u"误清空回收站", u"磁盘分区丢失"};
  return kind >= 1 && kind <= 6 ? CString(names[kind - 1]) : CString();
}

bool UpdateEntryForDevice(ScanSaveEntry& e, const VolumeContext& device, const CString& newDataPath) {
  ScanSaveEntry n = e;
  n.regionStart = device.firstLba;
  n.regionLength = device.sectorCount;
  n.deviceSectors = device.deviceSectors;
  PutText(n.savedAt, GetNowText());
  // Name and model are only shown and compared; the paths must hold whole.
  PutText(n.name, device.name);
  PutText(n.model, device.diskModel);
  if (!PutText(n.volumePath, device.volumePath) || !PutText(n.devicePath, device.devicePath) ||
      !PutText(n.dataPath, newDataPath))
    return false;
  e = n;
  return true;
}

int RetargetScanSave(std::vector<ScanSaveEntry>& list, int row, const VolumeContext& device, const CString& newDataPath) {
  if (row < 0 || size_t(row) >= list.size()) return 0;
  const CString oldPath = EntryText(list[size_t(row)].dataPath);
  ScanSaveEntry moved = list[size_t(row)];
  if (!UpdateEntryForDevice(moved, device, newDataPath)) return 0;
  const std::u16string identity(EntryText(moved.model).View());
  // The copy first: an index naming a file that was never written would lose the saved scan
  // from the list.
  if (!RetargetScanSaveFile(oldPath, newDataPath, identity)) return 0;
  std::vector<ScanSaveEntry> next = list;
  next[size_t(row)] = moved;
  if (!WriteScanSaveIndex(next)) {
    FileRemove(newDataPath);
    return 0;
  }
  list = std::move(next);
  return 1;
}

// ---- The device picker of a move ----

BEGIN_MESSAGE_MAP(CFixSaveDataDlg, CSkinDialogEx)
ON_BN_CLICKED(IDC_FSD_APPLY, OnBnClickedApply)
ON_BN_CLICKED(IDC_FSD_CLOSE, OnBnClickedClose)
END_MESSAGE_MAP()

CFixSaveDataDlg::CFixSaveDataDlg(CWnd* parent) : CSkinDialogEx(IDD_FIX_SAVE_DATA, parent) {}

void CFixSaveDataDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_SS_LIST, m_list);
  DDX_Control(dx, IDC_FSD_NAME, m_name);
  DDX_Control(dx, IDC_FSD_MODEL, m_model);
  DDX_Control(dx, IDC_FSD_PATH, m_path);
  DDX_Control(dx, IDC_FSD_PROMPT, m_prompt);
  DDX_Control(dx, IDC_FSD_APPLY, m_btnApply);
  DDX_Control(dx, IDC_FSD_CLOSE, m_btnClose);
}

BOOL CFixSaveDataDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(u"修改扫描进度");
  SetUpList(m_list);
  const char16_t* const headers[5] = {u"用户描述", u"设备描述", u"符号链接", u"起始LBA", u"大小"};
  const int widths[5] = {150, 180, 100, 80, 80};
  for (int i = 0; i < 5; ++i) m_list.InsertColumn(i, headers[i], LVCFMT_LEFT, widths[i]);
  const std::vector<VolumeContext> drives = CopyDriveList();
  for (size_t i = 0; i < drives.size(); ++i) {
    if (drives[i].sectorCount >= kMinRetargetDriveSectors) AddDeviceRow(drives[i], {RetargetDevice::kDrive, uint32_t(i)});
  }
  const std::vector<VolumeContext> disks = CopyDiskList();
  for (size_t i = 0; i < disks.size(); ++i) AddDeviceRow(disks[i], {RetargetDevice::kDisk, uint32_t(i)});
  m_name.SetText(CString(u"当前用户描述：") + m_currentName);
  m_model.SetText(CString(u"当前设备描述：") + m_currentModel);
  m_path.SetText(CString(u"当前符号链接：") + m_currentPath);
  return TRUE;
}

void CFixSaveDataDlg::AddDeviceRow(const VolumeContext& device, RetargetDevice which) {
  const int row = m_list.InsertItem(m_list.GetItemCount(), device.name);
  if (row < 0) return;
  m_list.SetItemText(row, 1, device.diskModel);
  m_list.SetItemText(row, 2, device.devicePath);
  m_list.SetItemText(row, 3, FormatSectorSize(device.firstLba));
  m_list.SetItemText(row, 4, FormatSectorSize(device.sectorCount));
  if (size_t(row) >= m_rowDevices.size()) m_rowDevices.resize(size_t(row) + 1);
  m_rowDevices[size_t(row)] = which;
}

void CFixSaveDataDlg::OnBnClickedApply() {
  const int row = m_list.GetSelectionMark();
  if (row < 0) {
    ShowMessageBox(u"请选择一个设备！");
    return;
  }
  if (!ShowMessageBox(u"您确定将扫描进度修改为当前选择的设备吗？", GetLangStr(u"Ok"), GetLangStr(u"Cancel"))) return;
  if (size_t(row) < m_rowDevices.size() && m_rowDevices[size_t(row)].kind != RetargetDevice::kNone) {
    m_chosen = m_rowDevices[size_t(row)];
    EndDialog(IDOK);
    return;
  }
  ShowMessageBox(u"索引错误！");
}

void CFixSaveDataDlg::OnBnClickedClose() { EndDialog(IDCANCEL); }

// ---- The saved-scan list ----

BEGIN_MESSAGE_MAP(CScanSaveDlg, CSkinDialogEx)
ON_BN_CLICKED(IDOK, OnBnClickedLoad)
ON_BN_CLICKED(IDC_SS_DELETE, OnBnClickedDelete)
ON_BN_CLICKED(IDC_SS_FIX, OnBnClickedModify)
END_MESSAGE_MAP()

CScanSaveDlg::CScanSaveDlg(CWnd* parent) : CSkinDialogEx(IDD_SCAN_SAVE, parent) {}

void CScanSaveDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_SS_LIST, m_list);
  DDX_Control(dx, IDOK, m_btnLoad);
  DDX_Control(dx, IDCANCEL, m_btnCancel);
  DDX_Control(dx, IDC_SS_DELETE, m_btnDelete);
  DDX_Control(dx, IDC_SS_FIX, m_btnModify);
}

BOOL CScanSaveDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(GetLangStr(u"LoadScanSave"));
  m_btnLoad.SetBitmaps(374, 373, 373, 374, 374);
  m_btnLoad.m_captionColor = RGB(255, 255, 255);
  m_btnLoad.m_disabledColor = 0x99A8AC;
  InitList();
  FillList();
  m_btnDelete.SetWindowText(GetLangStr(u"Delete"));
  m_btnModify.SetWindowText(GetLangStr(u"Fix"));
  m_btnLoad.SetWindowText(GetLangStr(u"Resume"));
  m_btnCancel.SetWindowText(GetLangStr(u"Cancel"));
  if (IsOstrelBrand()) m_btnModify.ShowWindow(SW_HIDE);
  return TRUE;
}

void CScanSaveDlg::InitList() {
  SetUpList(m_list);
  int column = 0;
  m_list.InsertColumn(column++, GetLangStr(u"ScanSaveTime"), LVCFMT_LEFT, 120);
  if (!IsOstrelBrand()) m_list.InsertColumn(column++, GetLangStr(u"RecoveryMode"), LVCFMT_LEFT, 100);
  m_list.InsertColumn(column++, GetLangStr(u"PercentScanned"), LVCFMT_LEFT, 100);
  m_list.InsertColumn(column++, GetLangStr(u"ReadSuccessRate"), LVCFMT_LEFT, 100);
  m_list.InsertColumn(column++, GetLangStr(u"DevDesc"), LVCFMT_LEFT, 150);
  m_list.InsertColumn(column, GetLangStr(u"SavePath"), LVCFMT_LEFT, 250);
}

void CScanSaveDlg::FillList() {
  m_list.DeleteAllItems();
  m_list.FreeAllRowData();
  std::vector<ScanSaveEntry> all;
  std::vector<uint32_t> positions;
  LoadScanSaveIndex(all, positions);
  m_entries.clear();
  m_positions.clear();
  const bool ostrel = IsOstrelBrand();
  for (size_t i = 0; i < all.size() && i < positions.size(); ++i) {
    const ScanSaveEntry& e = all[i];
    // Rows and entries stay in step: an entry gets a row only when its file is still there.
    if (!FileExists(EntryText(e.dataPath))) continue;
    const int row = m_list.InsertItem(m_list.GetItemCount(), EntryText(e.savedAt));
    if (row < 0) continue;
    int column = 1;
    if (!ostrel) m_list.SetItemText(row, column++, ScanModeName(e.operation));
    m_list.SetItemText(row, column++, EntryText(e.donePercent));
    m_list.SetItemText(row, column++, EntryText(e.readPercent));
    m_list.SetItemText(row, column++, EntryText(e.name));
    m_list.SetItemText(row, column, EntryText(e.dataPath));
    m_entries.push_back(e);
    m_positions.push_back(positions[i]);
  }
}

int CScanSaveDlg::FindEntryDevice(const ScanSaveEntry& e) const {
  const CString name = EntryText(e.name), model = EntryText(e.model), path = EntryText(e.devicePath);
  for (const VolumeContext& d : m_present) {
    if (IsSameNoCase(d.name, name) && IsSameNoCase(d.diskModel, model) && IsSameNoCase(d.devicePath, path)) return 1;
  }
  return 0;
}

int CScanSaveDlg::CheckEntry(int row) {
  if (row < 0 || size_t(row) >= m_entries.size()) return 0;
  const ScanSaveEntry& e = m_entries[size_t(row)];
  const CString data = EntryText(e.dataPath);
  if (!FileExists(data)) {
    ShowMessageBox(GetLangStr(u"LoadSSFNoSave") + data);
    return 0;
  }
  switch (e.targetKind) {
    case kTargetFolder:
    case kTargetDesktop:
    case kTargetImage: {
      const CString source = EntryText(e.sourcePath);
      if (FileExists(source)) return 1;
      ShowMessageBox(GetLangStr(u"LoadSSFNoLocal") + source);
      return 0;
    }
    default:
      if (FindEntryDevice(e)) return 1;
      ShowMessageBox(GetLangStr(u"LoadSSFNoDev"));
      return 0;
  }
}

void CScanSaveDlg::OnBnClickedLoad() {
  const int row = m_list.GetSelectionMark();
  if (row < 0) {
    ShowMessageBox(GetLangStr(u"SelScanSave"));
    return;
  }
  if (CheckEntry(row) != 1) return;
  const CString question = FormatCString(GetLangStr(u"SureLoadScanSave").View(), m_list.GetItemText(row, 0));
  if (!ShowMessageBox(question, GetLangStr(u"Yes"), GetLangStr(u"No"))) return;
  m_chosen = row;
  EndDialog(IDOK);
}

void CScanSaveDlg::OnBnClickedDelete() {
  const int row = m_list.GetSelectionMark();
  if (row < 0) {
    ShowMessageBox(GetLangStr(u"SelScanSave"));
    return;
  }
  if (size_t(row) >= m_entries.size()) return;
  const CString question = FormatCString(GetLangStr(u"SureDelScanSave").View(), m_list.GetItemText(row, 0));
  if (!ShowMessageBox(question, GetLangStr(u"Yes"), GetLangStr(u"No"))) return;
  // By the entry's own position in the index: the row number counts only the listed entries.
  const uint32_t position = m_positions[size_t(row)];
  if (!DeleteScanSaveAt(position, m_entries[size_t(row)])) {
    ShowMessageBox(GetLangStr(u"DelFailed"));
    return;
  }
  m_list.DeleteItem(row);
  m_entries.erase(m_entries.begin() + row);
  m_positions.erase(m_positions.begin() + row);
  for (uint32_t& p : m_positions)
    if (p > position) --p;
  ShowMessageBox(GetLangStr(u"DelOK"));
}

bool CScanSaveDlg::PickRetargetDevice(const ScanSaveEntry& e, RetargetDevice& out) {
  CFixSaveDataDlg dlg(this);
  dlg.m_currentName = EntryText(e.name);
  dlg.m_currentModel = EntryText(e.model);
  dlg.m_currentPath = EntryText(e.devicePath);
  if (dlg.DoModal() != IDOK) return false;
  out = dlg.m_chosen;
  return true;
}

void CScanSaveDlg::OnBnClickedModify() {
  const int row = m_list.GetSelectionMark();
  if (row < 0) {
    ShowMessageBox(GetLangStr(u"SelScanSave"));
    return;
  }
  if (size_t(row) >= m_entries.size()) return;
  RetargetDevice which;
  if (!PickRetargetDevice(m_entries[size_t(row)], which)) return;
  CString newPath;
  const std::vector<VolumeContext> devices = which.kind == RetargetDevice::kDisk ? CopyDiskList() : CopyDriveList();
  bool ok = which.kind != RetargetDevice::kNone && which.position < devices.size() && MakeScanSaveFileName(newPath);
  if (ok) {
    std::vector<ScanSaveEntry> list = m_entries;
    ok = RetargetScanSave(list, row, devices[which.position], newPath) == 1;
  }
  if (!ok) {
    ShowPlainMessage(u"修改扫描进度失败！");
    return;
  }
  ShowPlainMessage(u"修改扫描进度成功！");
  FillList();
}

// ---- Templates and the panel's chooser ----

void RegisterScanSaveTemplates() {
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  const DWORD list = WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
  DlgTemplate d;
  d.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  d.cx = 500;
  d.cy = 250;
  d.title = u"扫描进度";
  d.items = {
      {int(IDC_SS_LIST), WC_LISTVIEW, list, 0, u"", 7, 30, 486, 180},
      {IDOK, WC_BUTTON, button, 0, u"恢复", 263, 222, 54, 18},
      {int(IDC_SS_DELETE), WC_BUTTON, button, 0, u"删除", 321, 222, 54, 18},
      {int(IDC_SS_FIX), WC_BUTTON, button, 0, u"修改", 379, 222, 54, 18},
      {IDCANCEL, WC_BUTTON, button, 0, u"取消", 437, 222, 54, 18},
  };
  RegisterDialogTemplate(IDD_SCAN_SAVE, d);

  DlgTemplate f;
  f.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  f.cx = 370;
  f.cy = 250;
  f.title = u"修改扫描进度";
  f.items = {
      {int(IDC_FSD_NAME), WC_STATIC, WS_VISIBLE, 0, u"当前用户描述：", 10, 30, 350, 10},
      {int(IDC_FSD_MODEL), WC_STATIC, WS_VISIBLE, 0, u"当前设备描述：", 10, 44, 350, 10},
      {int(IDC_FSD_PATH), WC_STATIC, WS_VISIBLE, 0, u"当前符号链接：", 10, 58, 350, 10},
      {int(IDC_FSD_PROMPT), WC_STATIC, WS_VISIBLE, 0, u"您要把扫描进度修改为哪个设备，请在下面选择：", 10, 76, 350, 10},
      {int(IDC_SS_LIST), WC_LISTVIEW, list, 0, u"", 10, 90, 350, 126},
      {int(IDC_FSD_APPLY), WC_BUTTON, button, 0, u"应用", 248, 224, 54, 18},
      {int(IDC_FSD_CLOSE), WC_BUTTON, button, 0, u"关闭", 306, 224, 54, 18},
  };
  RegisterDialogTemplate(IDD_FIX_SAVE_DATA, f);
}

namespace {

bool ChooseSavedScan(const std::vector<VolumeContext>& present, CString& timeText) {
  CScanSaveDlg dlg(AfxGetMainWnd());
  dlg.m_present = present;
  if (dlg.DoModal() != IDOK || dlg.m_chosen < 0 || size_t(dlg.m_chosen) >= dlg.m_entries.size()) return false;
  timeText = EntryText(dlg.m_entries[size_t(dlg.m_chosen)].savedAt);
  return true;
}

bool LoadSavedScanRefs(std::vector<SavedScanRef>& out) {
  std::vector<ScanSaveEntry> list;
  out.clear();
  if (!LoadScanSaveIndex(list)) return false;
  for (const ScanSaveEntry& e : list) {
    SavedScanRef r;
    r.scanKind = e.operation;
    r.regionStart = e.regionStart;
    r.regionLength = e.regionLength;
    r.timeText = EntryText(e.savedAt);
    r.volumePath = EntryText(e.volumePath);
    r.devicePath = EntryText(e.devicePath);
    r.targetKind = e.targetKind;
    r.sourcePath = EntryText(e.sourcePath);
    r.dataFile = EntryText(e.dataPath);
    out.push_back(r);
  }
  return true;
}

}  // namespace

void InstallSavedScanChooser() {
  RegisterScanSaveTemplates();
  TargetChooserHooks hooks = GetTargetChooserHooks();
  hooks.chooseSavedScan = &ChooseSavedScan;
  hooks.loadScanSaveIndex = &LoadSavedScanRefs;
  SetTargetChooserHooks(hooks);
}
