// The scanned-area map: a modal window that draws the block map of the current scan, one 2 by 2
// cell per block, 400 blocks to a row: red for handled blocks, silver for the rest.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/afx/afxdlg.h"

constexpr UINT IDD_SCAN_STATE_MAP = 149;
constexpr int kScanMapWidth = 800;
constexpr int kScanMapHeight = 480;

// Draws the 800 by 480 picture of the map into dc at (0, 0); blocks beyond the 96,000 cells it
// holds fall outside it.
void DrawBlockStateMap(CDC* dc, const std::vector<uint8_t>& states);

class CShowScanStateDlg : public CDialog {
 public:
  explicit CShowScanStateDlg(CWnd* parent = nullptr);

 protected:
  void OnPaint();
  DECLARE_MESSAGE_MAP()
};

// Runs the map modally over the parent. Tests replace how it runs; null restores the dialog.
using ScanMapRunner = void (*)(CWnd* parent);
void SetScanMapRunner(ScanMapRunner runner);
void RunScanStateMap(CWnd* parent);

void RegisterScanMapTemplate();
