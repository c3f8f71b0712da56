// The saved-scan list: the scans of the scan-state index whose data file is still there, to
// resume one (after checking that its device, folder or image is present), delete one, or move
// one to another device. The move picks the device in a second dialog and then copies the data
// file with the new device's identity; the index changes only once the copy is whole.
#pragma once

#include <cstdint>
#include <vector>

#include "core/volumecontext.h"
#include "scansave/scansaveidx.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinlist.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_SCAN_SAVE = 398;
constexpr UINT IDD_FIX_SAVE_DATA = 415;
constexpr UINT IDC_SS_LIST = 1041;
constexpr UINT IDC_SS_DELETE = 1123;
constexpr UINT IDC_SS_FIX = 1124;
constexpr UINT IDC_FSD_NAME = 1134;
constexpr UINT IDC_FSD_MODEL = 1135;
constexpr UINT IDC_FSD_PATH = 1136;
constexpr UINT IDC_FSD_PROMPT = 1137;
constexpr UINT IDC_FSD_APPLY = 1138;
constexpr UINT IDC_FSD_CLOSE = 1139;

// The drives offered as move targets start at 2 GiB (in 512-byte sectors).
constexpr uint64_t kMinRetargetDriveSectors = 0x400000;

// The shown name of a saved scan's recovery mode (kinds 1 to 6; empty for any other).
CString ScanModeName(uint32_t kind);

// Points the entry at another device: region, device size, saving time (now), the four target
// texts and the data-file path. Kind, percentages, target kind and source path stay. False when
// a path does not fit its field whole (the entry would name another file or device).
bool UpdateEntryForDevice(ScanSaveEntry& e, const VolumeContext& device, const CString& newDataPath);
// Moves the listed entry at `row` to the device: copies its data file to newDataPath with the
// device's model as identity, and only after the copy succeeded writes the list (with the
// changed entry) as the index. 1 on success; on failure the index and the list are unchanged
// and no part of a copy is left. The old data file stays.
int RetargetScanSave(std::vector<ScanSaveEntry>& list, int row, const VolumeContext& device, const CString& newDataPath);

// A move target of the device picker: a drive or a disk of the last discovery, by its position
// in its own list.
struct RetargetDevice {
  enum Kind { kNone, kDrive, kDisk };
  Kind kind = kNone;
  uint32_t position = 0;
};

class CFixSaveDataDlg : public CSkinDialogEx {
 public:
  explicit CFixSaveDataDlg(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void AddDeviceRow(const VolumeContext& device, RetargetDevice which);
  void OnBnClickedApply();
  void OnBnClickedClose();

  CSkinListCtrl m_list;
  CTransparentStatic m_name, m_model, m_path, m_prompt;
  CSkinButton m_btnApply, m_btnClose;
  CString m_currentName, m_currentModel, m_currentPath;
  std::vector<RetargetDevice> m_rowDevices;  // one per row
  RetargetDevice m_chosen;

 protected:
  DECLARE_MESSAGE_MAP()
};

class CScanSaveDlg : public CSkinDialogEx {
 public:
  explicit CScanSaveDlg(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void InitList();
  void FillList();
  int FindEntryDevice(const ScanSaveEntry& e) const;
  int CheckEntry(int row);
  void OnBnClickedLoad();
  void OnBnClickedDelete();
  void OnBnClickedModify();
  // The device picker of a move; tests replace it. True with the chosen device.
  virtual bool PickRetargetDevice(const ScanSaveEntry& e, RetargetDevice& out);

  CSkinListCtrl m_list;
  CSkinButton m_btnLoad, m_btnCancel, m_btnDelete, m_btnModify;
  std::vector<ScanSaveEntry> m_entries;   // row n shows entry n
  std::vector<uint32_t> m_positions;      // entry n's position in the index
  std::vector<VolumeContext> m_present;   // the scan-target panel's targets
  int m_chosen = -1;

 protected:
  DECLARE_MESSAGE_MAP()
};

void RegisterScanSaveTemplates();
// Makes the scan-target panel's saved-scan chooser and lookup use this list and the index.
void InstallSavedScanChooser();
