// One result pane: the folder tree on the left, the details list and the thumbnail list sharing
// the right-hand side (one of them shown), and the bar between them that the user drags to
// widen the tree. The result view holds five, one per classify mode.
#pragma once

#include <cstdint>

#include "core/volumelist.h"
#include "platform/afx/afxcmn.h"
#include "results/explorerlist.h"
#include "results/explorertree.h"
#include "results/piclist.h"
#include "skin/skindialog.h"

constexpr UINT IDD_RESULT_PANE = 132;
constexpr UINT IDC_PANE_TREE = 1002;
constexpr UINT IDC_PANE_DETAILS = 1003;
constexpr UINT IDC_PANE_THUMBS = 1004;

// The pane's frame colour.
constexpr COLORREF kPaneFrameColor = 0xCFCCCA;
// The tab mark above a pane's own classify button: slot i of the 125-pixel pitch.
constexpr int kTabPitch = 125, kTabMarkLeft = 16, kTabMarkRight = 134;

class CFdrDlg : public CSkinChildDialog {
 public:
  CFdrDlg();
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  void OnDrawBackground(CDC* dc) override;

  // Writes the pane's mode into the pane and its views.
  void SetMode(int32_t mode);
  void ResetViews();
  // Shows the details list (true) or the thumbnail list.
  void ShowDetails(bool details);
  // Enables or disables the three views.
  void EnableViews(bool enable);
  // 1 when the client point lies on the bar between the tree and the right-hand views.
  int HitTestSplitter(CPoint pt);
  // Erases the line drawn last and, with draw, draws the line at the client point's x.
  void DrawSplitterTrack(CPoint pt, bool draw);
  // Whether this pane draws the tab mark, and the slot of the classify row it marks.
  bool DrawsTabMark() const;
  int TabSlot() const;

  CExplorerTreeCtrl m_tree;
  CExplorerListCtrl m_details;
  CPicListCtrl m_thumbs;
  VolumeList* m_volumes = nullptr;
  CWnd* m_parentWnd = nullptr;
  int32_t m_mode = kModeByPath;
  int m_treeWidth = 330;
  int m_dragMode = 0;
  // The drag line last drawn, in the pane's client coordinates; both 0 when none is drawn.
  POINT m_dragStart{0, 0}, m_dragEnd{0, 0};
  int m_barWidth = 10;
  HCURSOR m_sizeCursor = nullptr;

 protected:
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnMouseMove(UINT flags, CPoint pt);
  void OnLButtonUp(UINT flags, CPoint pt);
  BOOL OnEraseBkgnd(CDC*) { return FALSE; }
  DECLARE_MESSAGE_MAP()
};

void RegisterResultPaneTemplate();
