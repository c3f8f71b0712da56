// The device selection panel: the scan-target panel with its buttons and help lines, the device
// discovery behind its list, and the scan start that turns the user's choice into a running
// scan.
#pragma once

#include <cstdint>
#include <vector>

#include "core/volumecontext.h"
#include "dialogs/devpanel.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_DEVICE_SELECTION = 131;
constexpr UINT IDC_DEVSEL_BACK = 1000;
constexpr UINT IDC_DEVSEL_SCAN = 1001;
constexpr UINT IDC_DEVSEL_REFRESH = 1002;
constexpr UINT IDC_DEVSEL_LOADIMG = 1003;
constexpr UINT IDC_DEVSEL_LINK = 1004;
constexpr UINT IDC_DEVSEL_PARAM = 1103;
constexpr UINT IDC_DEVSEL_LINE1 = 1109;
constexpr UINT IDC_DEVSEL_LINE2 = 1110;
constexpr UINT IDC_DEVSEL_LINE3 = 1111;
constexpr UINT IDC_DEVICE_PANEL_HOST = 1112;

constexpr UINT_PTR kDeferredRefreshTimer = 1201;

// ---- The rules of the scan start, apart from the windows ----

// Which entries the device lists mark for the mode: 0 all, 1 lettered drives, 2 unlettered
// drives and disks, 3 removable ones, 4 lettered drives and disks (brand and "ShowUsbDev"
// decide last).
int DeviceFilterFor(uint32_t recoveryMode);
// The operation code a target scans with in the mode.
uint32_t ScanOperationFor(const VolumeContext& target, uint32_t recoveryMode);
// Whether the classified views stay on for a target of that many sectors with that much free
// memory (MiB).
uint32_t ComputeClassifyAllowed(uint64_t availableMiB, uint64_t sectors);
// The available physical memory in MiB (MemAvailable); false when unknown. Tests replace it.
using MemoryProbe = bool (*)(uint64_t* availableMiB);
void SetMemoryProbe(MemoryProbe probe);
bool AvailableMemoryMiB(uint64_t* availableMiB);

// How the main window is fitted to the number of listed devices.
struct DeviceFit {
  int columns = 3;
  int rows = 0;
  bool maximize = false;
  bool resize = false;
  int width = 0, height = 0;
};
DeviceFit FitForDevices(int drives, int areas, int disks, int W, int H);

// The three help lines and whether the link shows, by edition.
struct HelpLines {
  CString line[3];
  bool show[3] = {true, false, false};
  bool link = false;
};
HelpLines ChooseHelpLines(int key, bool movMode, bool mtsMode, const CString& proName);
// The last image path from the bytes of "ClonePath.txt": 3 to 518 bytes of UTF-16 text, up to
// its first NUL, that names an absolute path ("/..." or "X:..."); false for anything else.
bool LastImagePathFromBytes(const uint8_t* bytes, uint32_t length, CString& path);

// 1 for a locked BitLocker volume (never on this system's volumes: no read reports that state).
int IsLockedBitLockerVolume(const VolumeContext& target);

class CDevSelDlg : public CSkinChildDialog, public DevPanelOwner {
 public:
  CDevSelDlg();
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  void OnDrawBackground(CDC* dc) override;

  // Nothing before the panel exists; edition switches of its buttons.
  void ApplyEditionOptions();
  // Hangs the scan-target panel's element tree into its host and lays it out.
  void AttachTargetPanel();
  // The device discovery and the rebuild of the scan-target panel. Deferred (and run by a
  // timer) while a discovery still runs or a chooser is open.
  void RefreshDeviceList();
  // A USB disk arrived: the list is rebuilt when the panel shows (else it is marked for it),
  // and a scan that waits for its device resumes when it opens again.
  void OnUsbArrived();
  void StartScan(int confirm) override;
  int BuildScanTarget(VolumeContext& out, int confirm);
  void FitWindowToDevices();
  void SetHelpLines();
  void SetCaptions();
  void LayoutHelpLines(int w, int h);
  // The main window's panel that shows a running scan; null without one.
  CWnd* MainWindow() const;

  uint32_t RecoveryMode = 0;
  uint32_t m_shown = 0;
  uint32_t m_refreshNeeded = 1;
  uint32_t m_refreshDeferred = 0;
  CDevWnd m_devWnd;
  std::vector<VolumeContext> m_targets;
  CSkinButton m_btnScan, m_btnBack, m_btnRefresh, m_btnLoadImg;
  CSkinCRButton m_chkParam;
  CTransparentStatic m_lines[3];
  CHyperlinkButton m_link;
  CFont m_btnFont;
  int m_refreshCount = 0;  // device list rebuilds, for the curious
  int m_layoutCount = 0;

 protected:
  void OnBnClickedScan();
  void OnBnClickedBack();
  void OnBnClickedRefresh();
  void OnBnClickedScanParam();
  void OnBnClickedProDownload();
  void OnRButtonDown(UINT flags, CPoint pt);
  void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()
};

void RegisterDeviceSelectionTemplate();
