#include "results/fdrdlg.h"

#include "app/settings.h"
#include "core/volumelist.h"
#include "platform/afx/afxmsg.h"

namespace {

constexpr COLORREF kDragLineColor = 0x808080;
constexpr int kDragLineWidth = 5;

}  // namespace

BEGIN_MESSAGE_MAP(CFdrDlg, CSkinChildDialog)
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONUP()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CFdrDlg::CFdrDlg() : CSkinChildDialog(IDD_RESULT_PANE) { m_sizeCursor = LoadCursorW(nullptr, IDC_SIZEWE); }

void CFdrDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_PANE_TREE, m_tree);
  DDX_Control(dx, IDC_PANE_DETAILS, m_details);
  DDX_Control(dx, IDC_PANE_THUMBS, m_thumbs);
}

BOOL CFdrDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  m_parentWnd = GetParent();
  if (!m_volumes) return TRUE;
  m_volumes->AddListener(m_tree.m_hWnd);
  m_tree.m_list = m_volumes;
  m_tree.InitImageList();
  m_volumes->AddListener(m_details.m_hWnd);
  m_details.m_list = m_volumes;
  m_details.Init();
  // Listener, extended style, the image list that fixes the tile size, the check pictures.
  m_thumbs.Init(m_volumes, m_mode);
  ShowDetails(MovFragmentMode != 0);
  return TRUE;
}

void CFdrDlg::SetMode(int32_t mode) {
  m_mode = mode;
  m_tree.m_mode = mode;
  m_details.m_mode = mode;
  m_thumbs.m_mode = mode;
}

void CFdrDlg::ShowDetails(bool details) {
  if (!m_thumbs.m_hWnd) return;
  m_details.ShowWindow(details ? SW_SHOW : SW_HIDE);
  m_thumbs.ShowWindow(details ? SW_HIDE : SW_SHOW);
}

void CFdrDlg::EnableViews(bool enable) {
  for (CWnd* w : {static_cast<CWnd*>(&m_tree), static_cast<CWnd*>(&m_details), static_cast<CWnd*>(&m_thumbs)}) {
    if (w->m_hWnd) w->EnableWindow(enable ? TRUE : FALSE);
  }
}

void CFdrDlg::ResetViews() {
  if (m_tree.m_hWnd) m_tree.DeleteAllItems();
  if (m_details.m_hWnd) {
    m_details.m_bPaintThrough = 1;
    if (m_details.DeleteAllItems()) m_details.FreeAllRowData();
    m_details.m_ids.clear();
  }
  if (m_thumbs.m_hWnd) m_thumbs.DeleteAllItems();
  m_dragMode = 0;
}

void CFdrDlg::OnSkinSize(int cx, int cy) {
  if (!m_thumbs.m_hWnd) return;
  const int W = m_treeWidth;
  m_tree.MoveWindow(5, 5, W, cy - 10, TRUE);
  const int right = cx - W - 10 - 5;
  m_details.MoveWindow(W + 10, 5, right, cy - 10, TRUE);
  m_thumbs.MoveWindow(W + 10, 5, right, cy - 10, TRUE);
}

bool CFdrDlg::DrawsTabMark() const { return ClassificationOn() || m_mode == kModeByPath; }

int CFdrDlg::TabSlot() const {
  if (m_mode == kModeByPath) return 0;
  if (m_mode == kModeSearch) return 4;
  return m_mode + 1;
}

void CFdrDlg::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  CPen frame(PS_SOLID, 1, kPaneFrameColor);
  HGDIOBJ oldPen = ::SelectObject(dc->m_hDC, frame.m_hObject);
  HGDIOBJ oldBrush = ::SelectObject(dc->m_hDC, GetStockObject(WHITE_BRUSH));
  dc->Rectangle(&rc);
  if (DrawsTabMark()) {
    // The white mark erases the frame under the pane's button, so button and pane read as one tab.
    CPen white(PS_SOLID, 1, RGB(255, 255, 255));
    ::SelectObject(dc->m_hDC, white.m_hObject);
    const int i = TabSlot();
    dc->MoveTo(kTabPitch * i + kTabMarkLeft, 0);
    dc->LineTo(kTabPitch * i + kTabMarkRight, 0);
    ::SelectObject(dc->m_hDC, frame.m_hObject);
  }
  ::SelectObject(dc->m_hDC, oldBrush);
  ::SelectObject(dc->m_hDC, oldPen);
}

// ---- Splitter ----

int CFdrDlg::HitTestSplitter(CPoint pt) {
  if (!m_tree.m_hWnd || !m_details.m_hWnd) return 0;
  RECT tree{}, list{}, client{};
  m_tree.GetWindowRect(&tree);
  m_details.GetWindowRect(&list);
  ScreenToClient(&tree);
  ScreenToClient(&list);
  GetClientRect(&client);
  const RECT bar{tree.right, client.top + 5, list.left, client.bottom};
  return pt.x >= bar.left && pt.x < bar.right && pt.y >= bar.top && pt.y < bar.bottom ? 1 : 0;
}

void CFdrDlg::DrawSplitterTrack(CPoint pt, bool draw) {
  // The line is drawn and erased by inverting it on the pane's own surface: drawing the same
  // line twice leaves the pixels as they were.
  CClientDC dc(this);
  const int oldRop = dc.SetROP2(R2_NOTXORPEN);
  CPen pen(PS_SOLID, kDragLineWidth, kDragLineColor);
  HGDIOBJ oldPen = ::SelectObject(dc.m_hDC, pen.m_hObject);
  if (m_dragStart.x != m_dragEnd.x || m_dragStart.y != m_dragEnd.y) {
    dc.MoveTo(m_dragStart.x, m_dragStart.y);
    dc.LineTo(m_dragEnd.x, m_dragEnd.y);
  }
  if (draw) {
    RECT client{};
    GetClientRect(&client);
    m_dragStart = POINT{pt.x, client.top + 3};
    m_dragEnd = POINT{pt.x, client.bottom - 4};
    dc.MoveTo(m_dragStart.x, m_dragStart.y);
    dc.LineTo(m_dragEnd.x, m_dragEnd.y);
  }
  ::SelectObject(dc.m_hDC, oldPen);
  dc.SetROP2(oldRop);
}

void CFdrDlg::OnLButtonDown(UINT, CPoint pt) {
  if (HitTestSplitter(pt) == 1) {
    m_dragMode = 1;
    SetCursor(m_sizeCursor);
  }
  SetCapture();
  Default();
}

void CFdrDlg::OnMouseMove(UINT, CPoint pt) {
  if (m_dragMode == 1) {
    RECT client{};
    GetClientRect(&client);
    if (pt.x >= client.left + m_barWidth && pt.x < client.right - m_barWidth && pt.y >= client.top + m_barWidth &&
        pt.y < client.bottom - m_barWidth) {
      SetCursor(m_sizeCursor);
      DrawSplitterTrack(pt, true);
    }
  } else if (HitTestSplitter(pt) == 1) {
    SetCursor(m_sizeCursor);
  }
  Default();
}

void CFdrDlg::OnLButtonUp(UINT, CPoint) {
  ReleaseCapture();
  if (m_dragMode == 1) {
    DrawSplitterTrack(CPoint(0, 0), false);
    RECT client{};
    GetClientRect(&client);
    // A drop closer than three quarters of the bar to either edge keeps the old width.
    const int x = m_dragStart.x;
    const int margin = m_barWidth * 3 / 4;
    if (x >= margin && x <= client.right - margin) {
      m_treeWidth = x;
      OnSkinSize(client.right, client.bottom);
    }
  }
  m_dragStart = POINT{0, 0};
  m_dragEnd = POINT{0, 0};
  m_dragMode = 0;
}

void RegisterResultPaneTemplate() {
  DlgTemplate t;
  t.style = WS_CHILD | WS_CLIPCHILDREN;
  t.cx = 400;
  t.cy = 250;
  t.items = {
      {int(IDC_PANE_TREE), WC_TREEVIEW,
       WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS |
           TVS_NOTOOLTIPS | TVS_CHECKBOXES,
       0, u"", 3, 3, 100, 240},
      {int(IDC_PANE_DETAILS), WC_LISTVIEW, WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA, 0, u"",
       110, 3, 280, 240},
      {int(IDC_PANE_THUMBS), WC_LISTVIEW,
       WS_BORDER | WS_TABSTOP | LVS_ICON | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | LVS_NOCOLUMNHEADER, 0,
       u"", 110, 3, 280, 240},
  };
  RegisterDialogTemplate(IDD_RESULT_PANE, t);
}
