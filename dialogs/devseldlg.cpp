// The device selection panel: its controls and layout, the device discovery, and the scan start.
#include "dialogs/devseldlg.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/weblink.h"
#include "base/heap.h"
#include "base/log.h"
#include "base/packedtime.h"
#include "base/pathutil.h"
#include "base/sizetext.h"
#include "base/wholefile.h"
#include "core/copyout.h"
#include "core/devicelists.h"
#include "core/diskimage.h"
#include "core/diskreader.h"
#include "core/volumelist.h"
#include "deepscan/deepscansettings.h"
#include "deepscan/devicediscovery.h"
#include "deepscan/fsonlyscan.h"
#include "deepscan/progressdlg.h"
#include "deepscan/scanthread.h"
#include "dialogs/mainwnd.h"
#include "dialogs/scanmapdlg.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "platform/thread.h"
#include "scanbase/scanrun.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/wndhelpers.h"

namespace {

std::atomic<MemoryProbe> g_memoryProbe{nullptr};

// Status words of discoveries that did not come to their end. The thread may still write the
// word after the dialog has gone, so it is never freed; it stays listed here.
std::vector<std::atomic<uint32_t>*>& KeptJobWords() {
  static std::vector<std::atomic<uint32_t>*>& words = *new std::vector<std::atomic<uint32_t>*>();
  return words;
}

bool ReadMemAvailable(uint64_t* mib) {
  std::ifstream in("/proc/meminfo");
  std::string key;
  uint64_t kb = 0;
  std::string unit;
  while (in >> key >> kb) {
    std::getline(in, unit);
    if (key == "MemAvailable:") {
      *mib = kb / 1024;
      return true;
    }
  }
  return false;
}

bool IsBrand(const char16_t* b) { return GetBaseCfg(u"Brand") == CString(b); }

}  // namespace

// ---- Rules ----

int DeviceFilterFor(uint32_t mode) {
  int filter = 1;
  switch (mode) {
    case 6: filter = 2; break;
    case 4: filter = 3; break;
    case 7: filter = 0; break;
    case 1: filter = 4; break;
    default: break;
  }
  if (IsBrand(u"Pelmar") || IsBrand(u"Corvinth") || IsBrand(u"Virelmo")) filter = 0;
  if (IsSoftCfgOn(u"ShowUsbDev")) filter = 3;
  return filter;
}

uint32_t ScanOperationFor(const VolumeContext& t, uint32_t mode) {
  switch (t.targetKind) {
    case kTargetSavedScan: return t.operation;
    case kTargetImage: return 1;
    case kTargetDrive:
      if (mode == 2 || mode == 5) {
        // The deleted-files operations read the file system: without one the whole range is read.
        const uint8_t* b = t.bootSector;
        const bool usable = ((t.type == kVolTypeFat16 || t.type == kVolTypeFat32 || t.type == kVolTypeNtfs) && b[0x0D] != 0) ||
                            (t.type == kVolTypeExfat && b[0x6D] != 0);
        return usable ? mode : 1;
      }
      return mode;
    default: return mode;
  }
}

uint32_t ComputeClassifyAllowed(uint64_t availableMiB, uint64_t sectors) {
  const uint64_t gib = sectors >> 21;
  if ((availableMiB <= 500 && gib >= 520) || (availableMiB <= 1000 && gib >= 1200)) return 0;
  return 1;
}

void SetMemoryProbe(MemoryProbe probe) { g_memoryProbe.store(probe); }

bool AvailableMemoryMiB(uint64_t* mib) {
  if (MemoryProbe p = g_memoryProbe.load()) return p(mib);
  return ReadMemAvailable(mib);
}

DeviceFit FitForDevices(int drives, int areas, int disks, int W, int H) {
  DeviceFit f;
  f.columns = 3 + (W >= 1130 ? 1 : 0) + (W >= 1312 ? 1 : 0);
  for (int n : {drives, areas, disks}) f.rows += (n + f.columns - 1) / f.columns;
  if (f.rows > 10) {
    f.maximize = true;
    return f;
  }
  const int limit = H >= 820 ? 6 : 5;
  const int w = std::max(W, 1312), h = std::max(H, 820);
  if (f.rows > limit && (w != W || h != H)) {
    f.resize = true;
    f.width = w;
    f.height = h;
  }
  return f;
}

HelpLines ChooseHelpLines(int key, bool movMode, bool mtsMode, const CString& p) {
  HelpLines h;
  auto set = [&](const char16_t* a, const char16_t* b, const CString& c) {
    h.line[0] = a;
    h.line[1] = b;
    h.line[2] = c;
    h.show[1] = h.show[2] = true;
  };
  const int m = key % 100;
  if (m == 91) {
    set(u"1、请用鼠标左键点击选择需要修复的U盘，然后点击右下角的[扫描]按钮。", u"2、本软件支持各品牌U盘、内存卡、移动硬盘数据修复！",
        FormatCString(u"3、本软件U盘修复专用，如果需要修复硬盘数据请使用《%s》软件恢复。", p));
  } else if (m == 5) {
    set(u"1、本软件支持佳能、尼康、索尼、三星、宾得、松下、卡西欧、奥林巴斯、富士等相机拍摄的数码照片恢复！",
        u"2、本软件支持JPG、CR2、CRW、DNG、NEF、PEF、SR2、MEF、ORF、RAW等格式的数码照片恢复！",
        FormatCString(u"3、本软件数码照片恢复专用，如果需要恢复其他格式的文件请使用《%s》软件恢复。", p));
  } else if (m == 6) {
    set(u"1、本软件可以恢复数码相机、摄像机、监控、行车记录仪等设备拍摄的视频！",
        u"2、本软件支持AVI、WMV、MPG、MOV、MP4、RMVB、MKV、3GP、FLV、MTS、M2T、MXF等格式的视频恢复！",
        FormatCString(u"3、本软件为视频恢复专用，如果需要恢复其他格式的文件请使用《%s》软件恢复。", p));
  } else if (m == 96) {
    h.line[0] = GetLangStr(u"ClickToClone");
    h.line[1] = FormatCString(GetLangStr(u"CloneUsb").View(), p);
    h.line[2] = GetLangStr(u"Reflush");
    h.show[1] = h.show[2] = true;
    h.link = true;
  } else if (movMode) {
    set(u"1、请用鼠标左键双击丢失视频的分区或存储设备，扫描丢失的MOV/MP4视频数据。",
        u"2、本软件使用碎片重组技术，恢复一般数据恢复软件不能恢复的MOV/MP4视频。",
        FormatCString(u"3、本软件只恢复MOV/MP4视频。如果需要恢复其他文件，请使用《%s》软件恢复。", p));
  } else if (mtsMode) {
    set(u"1、请用鼠标左键双击丢失视频的分区或存储设备，扫描丢失的MTS视频数据。",
        u"2、本软件使用碎片重组技术，恢复一般数据恢复软件不能恢复的MTS视频。",
        FormatCString(u"3、本软件只恢复MTS视频。如果需要恢复其他文件，请使用《%s》软件恢复。", p));
  } else {
    h.line[0] = GetLangStr(u"ClickScanData");
  }
  return h;
}

int IsLockedBitLockerVolume(const VolumeContext& t) {
  // A volume device name "\\.\X:"; a read of its first sector refused with the locked-volume
  // code. The storage layer maps no Linux error to that code, so this stays 0 here.
  if (!t.logicalDrive || t.devicePath.GetLength() != 6 || t.devicePath[2] != u'.' || t.devicePath[5] != u':') return 0;
  DiskReader reader;
  if (!OpenDeviceByPath(t.devicePath, reader, 1)) return 0;
  uint8_t sector[512];
  int locked = 0;
  {
    CSectionLock lock(SectorReadLock());
    DWORD error = 0;
    if (!reader.ReadSectors(sector, 0, 1, &error) && error == 0x80310000u) locked = 1;
  }
  reader.Close();
  return locked;
}

// ---- The panel ----

BEGIN_MESSAGE_MAP(CDevSelDlg, CSkinChildDialog)
ON_BN_CLICKED(IDC_DEVSEL_SCAN, OnBnClickedScan)
ON_BN_CLICKED(IDC_DEVSEL_BACK, OnBnClickedBack)
ON_BN_CLICKED(IDC_DEVSEL_REFRESH, OnBnClickedRefresh)
ON_BN_CLICKED(IDC_DEVSEL_PARAM, OnBnClickedScanParam)
ON_BN_CLICKED(IDC_DEVSEL_LINK, OnBnClickedProDownload)
ON_WM_RBUTTONDOWN()
ON_WM_TIMER()
END_MESSAGE_MAP()

CDevSelDlg::CDevSelDlg() : CSkinChildDialog(IDD_DEVICE_SELECTION) {}

void CDevSelDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_DEVSEL_REFRESH, m_btnRefresh);
  DDX_Control(dx, IDC_DEVSEL_SCAN, m_btnScan);
  DDX_Control(dx, IDC_DEVSEL_BACK, m_btnBack);
  DDX_Control(dx, IDC_DEVSEL_LOADIMG, m_btnLoadImg);
  DDX_Control(dx, IDC_DEVSEL_PARAM, m_chkParam);
  DDX_Control(dx, IDC_DEVSEL_LINE1, m_lines[0]);
  DDX_Control(dx, IDC_DEVSEL_LINE2, m_lines[1]);
  DDX_Control(dx, IDC_DEVSEL_LINE3, m_lines[2]);
  DDX_Control(dx, IDC_DEVSEL_LINK, m_link);
  DDX_Control(dx, IDC_DEVICE_PANEL_HOST, m_devWnd);
}

BOOL CDevSelDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  CopyFontObject(&SkinGuideBtnFont(), &m_btnScan.m_pFont);
  CopyFontObject(&SkinGuideBtnFont(), &m_btnBack.m_pFont);
  CopyFontObject(&SkinGuideBtnFont(), &m_btnRefresh.m_pFont);
  m_btnRefresh.SetIcon(384, 16);
  m_btnBack.SetIcon(380, 16);
  m_btnScan.SetIcon(385, 16);
  m_btnScan.m_captionColor = RGB(255, 255, 255);
  m_btnScan.m_disabledColor = RGB(0xAC, 0xA8, 0x99);
  m_btnScan.SetBitmaps(374, 373, 373, 374, 374);
  for (CTransparentStatic& l : m_lines) {
    l.m_textColor = RGB(255, 0, 0);
    l.m_bMemReady = 0;
    l.Invalidate(FALSE);
  }
  SetHelpLines();
  m_devWnd.m_panelOwner = this;
  m_devWnd.ShowWindow(SW_SHOW);
  m_devWnd.m_root.Attach(&m_devWnd);
  m_devWnd.Relayout();
  m_btnLoadImg.ShowWindow(SW_HIDE);
  SetCaptions();
  return TRUE;
}

CWnd* CDevSelDlg::MainWindow() const { return GetParent(); }

void CDevSelDlg::SetCaptions() {
  const bool clone = GetBaseCfg(u"Version") == CString(u"VuzuDazuv");
  m_btnScan.SetWindowText(GetLangStr(clone ? u"CloneNow" : u"Scan"));
  m_btnRefresh.SetWindowText(GetLangStr(u"Refresh"));
  m_btnBack.SetWindowText(GetLangStr(u"Back"));
  m_chkParam.SetWindowText(GetLangStr(u"EnableScanParamSet"));
  m_btnLoadImg.SetWindowText(GetLangStr(u"LoadImg"));
}

bool LastImagePathFromBytes(const uint8_t* bytes, uint32_t length, CString& path) {
  if (!bytes || length < 3 || length > 518) return false;
  std::u16string text;
  for (uint32_t i = 0; i + 1 < length; i += 2) {
    const char16_t c = char16_t(bytes[i] | (bytes[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  // The chooser stores the path as the user chose it: on this system an absolute path starts
  // with "/"; a drive-letter path ("X:...") is taken as well.
  const bool absolute = (!text.empty() && text[0] == u'/') || (text.size() >= 2 && text[1] == u':');
  if (!absolute) return false;
  path = CString(text);
  return true;
}

void CDevSelDlg::SetHelpLines() {
  const CString p = GetSoftCfg(u"ProName");
  m_link.SetWindowText(FormatCString(GetLangStr(u"ClickDownSoft").View(), p));
  HelpLines h = ChooseHelpLines(GetSoftCfgKey(), MovFragmentMode != 0, MtsFragmentMode != 0, p);
  if (GetSoftCfgKey() % 100 == 96) {
    // The last image path, a UTF-16 text the cloning edition leaves beside the program.
    uint8_t* bytes = nullptr;
    uint32_t length = 0;
    if (ReadWholeFile(JoinPath(GetExeDir(), u"ClonePath.txt"), bytes, length)) {
      CString path;
      if (LastImagePathFromBytes(bytes, length, path)) h.line[2] = CString(u"最近镜像文件保存路径:") + path;
      FreeMem(bytes);
    }
  }
  for (int i = 0; i < 3; ++i) {
    m_lines[i].SetText(h.line[i]);
    m_lines[i].ShowWindow(h.show[i] ? SW_SHOW : SW_HIDE);
  }
  m_link.ShowWindow(h.link ? SW_SHOW : SW_HIDE);
}

void CDevSelDlg::ApplyEditionOptions() {
  if (!m_hWnd) return;
  if (IsSoftCfgOn(u"ShowDev")) m_btnBack.ShowWindow(SW_HIDE);
  if (!IsSoftCfgOn(u"SetParam")) m_chkParam.ShowWindow(SW_HIDE);
}

void CDevSelDlg::AttachTargetPanel() {
  ++m_layoutCount;
  m_devWnd.m_root.Attach(&m_devWnd);
  m_devWnd.Relayout();
}

void CDevSelDlg::OnSkinSize(int w, int h) {
  if (!m_devWnd.m_hWnd) return;
  m_devWnd.MoveWindow(5, 5, w - 10, h - 51, TRUE);
  RECT last{w - 96, h - 40, w - 8, h - 8};
  m_btnScan.MoveWindow(&last);
  for (CSkinButton* b : {&m_btnBack, &m_btnRefresh}) {
    if (!b->IsWindowVisible() && !(b->GetStyle() & WS_VISIBLE)) continue;
    last = RECT{last.left - 10 - 88, last.top, last.left - 10, last.bottom};
    b->MoveWindow(&last);
  }
  if (m_chkParam.GetStyle() & WS_VISIBLE) {
    const int top = last.top + ((last.bottom - last.top) - 20) / 2;
    m_chkParam.MoveWindow(last.left - 135, top, 120, 20, TRUE);
  }
  LayoutHelpLines(w, h);
}

void CDevSelDlg::LayoutHelpLines(int w, int h) {
  const int m = IsSoftCfgOn(u"ShowProInfo") ? 150 : 70;
  m_devWnd.MoveWindow(5, 5, w - 10, h - m - 5, TRUE);
  int y = h - m + 8;
  for (CTransparentStatic& l : m_lines) {
    l.MoveWindow(15, y, w - 20, 16, TRUE);
    y += 16 + 4;
  }
  m_link.MoveWindow(35, y, w - 40, 16, TRUE);
}

void CDevSelDlg::OnDrawBackground(CDC* dc) {
  if (const SkinImageData* corner = FindSkinImage(u"Dlg/DlgCorner.bmp")) {
    RECT rc{};
    GetClientRect(&rc);
    DrawPic(dc->m_hDC, corner, rc.right - 536, rc.bottom - 100);
  }
}

void CDevSelDlg::RefreshDeviceList() {
  // Never two discoveries at once, and never a rebuild under an open chooser: the refresh is
  // made again once both are over.
  if (DeviceDiscoveryRunning() || m_devWnd.m_root.ChooserOpen()) {
    if (!m_refreshDeferred && m_hWnd) SetTimer(kDeferredRefreshTimer, 200, nullptr);
    m_refreshDeferred = 1;
    return;
  }
  m_refreshDeferred = 0;
  ++m_refreshCount;
  WriteLog(u"Device list refreshed");
  m_targets.clear();
  const int filter = DeviceFilterFor(RecoveryMode);
  // The job word outlives a stopped dialog: the discovery may still write it, so it is freed
  // only when the job came to its end.
  auto* status = new (AllocMem(sizeof(std::atomic<uint32_t>), 619)) std::atomic<uint32_t>(kJobRunning);
  bool done = false;
  if (CreateProgressDlg(status, this)) {
    StartDeviceDiscovery(status);
    RunProgressDlg();
    done = status->load() == kJobDone;
  }
  if (!done) KeptJobWords().push_back(status);
  if (done) {
    FreeMem(status);
    CollectScanTargets(m_targets, filter);
    bool any = false;
    for (const VolumeContext& e : m_targets) any = any || e.mark != 0;
    if (any) {
      FitWindowToDevices();
      m_devWnd.m_root.Build(m_targets);
      return;
    }
  }
  const bool usb = IsSoftCfgOn(u"ShowUsbDev") || RecoveryMode == 4;
  ShowMessageBox(GetLangStr(usb ? u"UsbErr" : u"GetDevErr"));
}

void CDevSelDlg::FitWindowToDevices() {
  int drives = 0, areas = 0, disks = 0;
  for (const VolumeContext& e : m_targets) {
    if (!e.mark) continue;
    if (e.targetKind == kTargetDrive) ++drives;
    else if (e.targetKind == kTargetArea || e.targetKind == kTargetPartition) ++areas;
    else if (e.targetKind == kTargetDisk) ++disks;
  }
  CWnd* main = MainWindow();
  if (!main || !main->m_hWnd) return;
  RECT wr{};
  main->GetWindowRect(&wr);
  const DeviceFit f = FitForDevices(drives, areas, disks, wr.right - wr.left, wr.bottom - wr.top);
  if (f.maximize) main->ShowWindow(SW_MAXIMIZE);
  else if (f.resize) CenterOnMainWnd(main, f.width, f.height);
}

void CDevSelDlg::OnUsbArrived() {
  if (m_shown) RefreshDeviceList();
  else m_refreshNeeded = 1;
  auto* main = dynamic_cast<CKestrelDlg*>(MainWindow());
  if (!main || CopyOutRunning.load() != 0) return;
  CScanProgressDlg& progress = main->m_resultView.m_scanProgress;
  if (progress.m_waitingForDevice && ScanRunState.load() == kScanPaused) {
    const VolumeContext target = CopyScanTarget();
    DiskReader reader;
    if (OpenVolumeDevice(target, reader)) {
      reader.Close();
      progress.ResumeScan();
      progress.m_waitingForDevice = 0;
    }
  }
}

int CDevSelDlg::BuildScanTarget(VolumeContext& out, int confirm) {
  if (!m_devWnd.m_root.GetSelectedTarget(out)) return 0;
  if (out.deviceSectors == 0 || out.sectorCount == 0 || (out.deviceSectors & ~0x3FFFFFFFull) > 0x2000000000000ull) {
    ShowMessageBox(GetLangStr(u"DevSizeZero"));
    return 0;
  }
  if (GetBaseCfg(u"Version") != CString(u"VuzuDazuv")) {
    if (confirm == 1 && !ShowMessageBox(FormatCString(GetLangStr(u"ScanDevNow").View(), out.name), GetLangStr(u"Yes"),
                                        GetLangStr(u"No"))) {
      return 0;
    }
  } else {
    ShowMessageBox(FormatCString(u"您需要选择分区空闲空间大于%s的分区保存镜像文件。", FormatSectorSize(out.sectorCount)));
    // The chosen device is not the ScanTarget yet: the chooser must keep the image off it.
    const uint64_t bytes = out.sectorCount > (UINT64_MAX >> 9) ? UINT64_MAX : out.sectorCount << 9;
    if (!ChooseDiskImagePath(bytes, u"VuzuDazuv", out)) return 0;
  }
  CString device = out.devicePath;
  while (device.Find(u'\\') >= 0) device = device.Mid(1);
  SendEventReport(12,
                  FormatCString(u"%s  Begin: %llu(GB)  Size: %llu(GB)  %s", device,
                                (unsigned long long)((out.diskStartLba + out.firstLba) >> 21),
                                (unsigned long long)(out.sectorCount >> 21), out.fsName),
                  true);
  return 1;
}

void CDevSelDlg::StartScan(int confirm) {
  if (WorkerThreadCount() != 0) {
    ShowMessageBox(GetLangStr(u"WaitHandLastData"));
    return;
  }
  VolumeContext target;
  if (!BuildScanTarget(target, confirm)) return;
  if (IsLockedBitLockerVolume(target)) {
    ShowMessageBox(GetLangStr(u"ScanBitlockerPart"));
    return;
  }
  target.operation = ScanOperationFor(target, RecoveryMode);
  SetScanTarget(target);
  UpdateSmallChunkReads(target);
  uint32_t classify = 1;
  uint64_t mib = 0;
  if (AvailableMemoryMiB(&mib)) classify = ComputeClassifyAllowed(mib, target.sectorCount);
  ClassifyAllowed.store(classify);
  PrepareDeepScanSettings();
  WriteLog(FormatCString(u"%s  Oper: %u  %s  %s  %s  Lba: %s   Size: %s", GetNowText(), target.operation, target.name,
                         target.devicePath, target.volumePath, FormatSectorSize(target.firstLba),
                         FormatSectorSize(target.sectorCount)));
  ScanRunState.store(kScanRunning);
  AfxBeginThread(target.targetKind == kTargetRecycleBin ? &ParseFileSystemsThread : &DiskScanAndViewThread,
                 &ScanRunState);
  if (auto* main = dynamic_cast<CKestrelDlg*>(MainWindow())) {
    main->m_resultView.SetLayoutState(1);
    main->m_resultView.SetClassifyMode(-2);
    main->m_resultView.ShowResultView(1);
  }
  ShowWindow(SW_HIDE);
  m_shown = 0;
}

void CDevSelDlg::OnBnClickedScan() { StartScan(0); }

void CDevSelDlg::OnBnClickedRefresh() { RefreshDeviceList(); }

void CDevSelDlg::OnBnClickedBack() {
  if (auto* main = dynamic_cast<CKestrelDlg*>(MainWindow())) {
    if (GetSoftCfg(u"NewMenu") == CString(u"1")) main->m_newMenu.ShowWindow(SW_SHOW);
    else main->m_classicMenu.ShowWindow(SW_SHOW);
  }
  ShowWindow(SW_HIDE);
  m_shown = 0;
  if (!m_devWnd.m_root.ChooserOpen()) m_devWnd.m_root.DeleteChildren();
}

void CDevSelDlg::OnBnClickedScanParam() {
  const int checked = m_chkParam.GetCheck() ? 1 : 0;
  ShowMessageBox(GetLangStr(checked ? u"ClickScanSetParam" : u"DisableScanParam"));
  AskScanSettings.store(uint32_t(checked));
}

void CDevSelDlg::OnBnClickedProDownload() { OpenUrl(GetSoftCfg(u"ProDown")); }

void CDevSelDlg::OnRButtonDown(UINT flags, CPoint pt) {
  if ((flags & MK_CONTROL) && pt.x < 20 && pt.y < 20) {
    RunScanStateMap(this);
  }
  Default();
}

void CDevSelDlg::OnTimer(UINT_PTR id) {
  if (id == kDeferredRefreshTimer) {
    if (DeviceDiscoveryRunning() || m_devWnd.m_root.ChooserOpen()) return;
    KillTimer(kDeferredRefreshTimer);
    if (m_refreshDeferred) {
      m_refreshDeferred = 0;
      RefreshDeviceList();
    }
    return;
  }
  Default();
}

void RegisterDeviceSelectionTemplate() {
  DlgTemplate t;
  t.style = WS_CHILD;
  t.cx = 600;
  t.cy = 200;
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  t.items = {
      {int(IDC_DEVICE_PANEL_HOST), DevPanelHostClass(), WS_VISIBLE | WS_CHILD, 0, u"", 3, 3, 594, 150},
      {int(IDC_DEVSEL_REFRESH), WC_BUTTON, button, 0, u"Refresh", 380, 180, 60, 16},
      {int(IDC_DEVSEL_BACK), WC_BUTTON, button, 0, u"Back", 450, 180, 60, 16},
      {int(IDC_DEVSEL_SCAN), WC_BUTTON, button, 0, u"Scan", 520, 180, 60, 16},
      {int(IDC_DEVSEL_LOADIMG), WC_BUTTON, WS_TABSTOP | BS_OWNERDRAW, 0, u"LoadImg", 300, 180, 60, 16},
      {int(IDC_DEVSEL_PARAM), WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, u"", 240, 182, 80, 12},
      {int(IDC_DEVSEL_LINE1), WC_STATIC, WS_VISIBLE, 0, u"", 7, 156, 400, 10},
      {int(IDC_DEVSEL_LINE2), WC_STATIC, WS_VISIBLE, 0, u"", 7, 166, 400, 10},
      {int(IDC_DEVSEL_LINE3), WC_STATIC, WS_VISIBLE, 0, u"", 7, 176, 400, 10},
      {int(IDC_DEVSEL_LINK), WC_BUTTON, WS_TABSTOP | BS_OWNERDRAW, 0, u"", 20, 186, 200, 10},
  };
  RegisterDialogTemplate(IDD_DEVICE_SELECTION, t);
  RegisterScanMapTemplate();
}
