#include "dialogs/scanmapdlg.h"

#include "deepscan/deepscanstate.h"
#include "platform/afx/afxctrls.h"
#include "platform/afx/afxmsg.h"
#include "skin/skindraw.h"

void DrawBlockStateMap(CDC* dc, const std::vector<uint8_t>& states) {
  dc->Rectangle(0, 0, kScanMapWidth, kScanMapHeight);
  constexpr size_t kCells = size_t(kScanMapWidth / 2) * size_t(kScanMapHeight / 2);
  const size_t n = states.size() < kCells ? states.size() : kCells;
  for (size_t i = 0; i < n; ++i) {
    const int x = int(i % 400) * 2, y = int(i / 400) * 2;
    dc->FillSolidRect(x, y, 2, 2, states[i] == kBlockHandled ? RGB(255, 0, 0) : RGB(0xC0, 0xC0, 0xC0));
  }
}

BEGIN_MESSAGE_MAP(CShowScanStateDlg, CDialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

CShowScanStateDlg::CShowScanStateDlg(CWnd* parent) : CDialog(IDD_SCAN_STATE_MAP, parent) {}

void CShowScanStateDlg::OnPaint() {
  CPaintDC pdc(this);
  CBitmapDC mem;
  if (!mem.Create(kScanMapWidth, kScanMapHeight)) return;
  // The copy is taken under the scan's map lock, so the end of a scan cannot free it meanwhile.
  std::vector<uint8_t> states;
  CopyBlockStateMap(states);
  DrawBlockStateMap(&mem, states);
  pdc.BitBlt(10, 10, kScanMapWidth, kScanMapHeight, &mem, 0, 0, SRCCOPY);
}

namespace {
ScanMapRunner g_mapRunner = nullptr;
}  // namespace

void SetScanMapRunner(ScanMapRunner runner) { g_mapRunner = runner; }

void RunScanStateMap(CWnd* parent) {
  if (g_mapRunner) {
    g_mapRunner(parent);
    return;
  }
  CShowScanStateDlg map(parent);
  map.DoModal();
}

void RegisterScanMapTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  t.title = u"Dialog";
  t.cx = 266 * 2;
  t.cy = 156 * 2;
  t.items = {{IDOK, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, u"OK", 400, 290, 50, 14},
             {IDCANCEL, WC_BUTTON, WS_VISIBLE | WS_TABSTOP, 0, u"Cancel", 460, 290, 50, 14}};
  RegisterDialogTemplate(IDD_SCAN_STATE_MAP, t);
}
