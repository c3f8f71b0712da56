// The two bases of every dialog: CSkinDialogEx for top-level dialogs (frameless, a nine-grid
// skin background with icon and title, the window cut to the skin's shape by the key colour,
// its own caption buttons, dragging by any point and resizing by the borders) and
// CSkinChildDialog for the panels such dialogs host (no frame, painted over the part of the
// parent's background that lies under it).
//
// Both render their background once per size into a memory bitmap and blit it in one go; they
// never erase. Derived dialogs draw their own static content in OnDrawBackground and place
// their controls in OnSkinSize.
#pragma once

#include "platform/afx/afxctrls.h"
#include "platform/afx/afxdlg.h"
#include "skin/skinbuttons.h"
#include "skin/skindraw.h"

// Control ids of the caption buttons.
constexpr UINT IDC_SKIN_CLOSE = 10024;
constexpr UINT IDC_SKIN_MAX = 10025;
constexpr UINT IDC_SKIN_MIN = 10026;
constexpr UINT IDC_SKIN_MENU = 10027;

class CSkinDialogEx : public CDialog, public CSkinBase {
 public:
  CSkinDialogEx(UINT templateId, CWnd* parent = nullptr);
  ~CSkinDialogEx() override;

  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OnInitDialog() override;
  // The dialog's own content on the finished skin background.
  virtual void OnDrawBackground(CDC* dc) { (void)dc; }
  virtual void OnBackgroundReady() {}
  // Every size change: place the controls.
  virtual void OnSkinSize(int cx, int cy) { (void)cx, (void)cy; }
  CDC* GetBackgroundDC() override;

  void SetTitle(const CString& text);
  // Icon resource 128 as the title icon; the title moves right to make room. 0 without icon.
  BOOL SetAppIcon();
  void LoadSkin();
  void RenderBackground();
  void LayoutCaptionButtons();
  void UpdateWindowRegion();

  CToolTipCtrl m_tooltip;
  CBmpButton m_btnClose, m_btnMax, m_btnMin, m_btnMenu;
  RECT m_rcButtons[4] = {};  // close, maximise, minimise, menu: their sizes
  int m_bBackReady = 0;
  CStretchDC m_background;
  CSize m_minTrack{0, 0};
  int m_captionRight = 30;
  int m_captionTop = 3;
  int m_bResizable = 0;
  COLORREF m_keyColor = RGB(255, 0, 255);
  CBrush m_nullBrush;
  CString m_title;
  int m_titleX = 10, m_titleY = 10;
  int m_iconX = 8, m_iconY = 10;
  CFont m_titleFont;
  COLORREF m_titleColor = RGB(255, 255, 255);
  HICON m_hTitleIcon = nullptr;
  int m_titleFontHeight = 19;

 protected:
  void OnCloseButton();
  void OnMaximizeButton();
  void OnMinimizeButton();
  void OnMenuButton();
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnMouseMove(UINT flags, CPoint pt);
  void OnLButtonDblClk(UINT flags, CPoint pt);
  void OnSize(UINT type, int cx, int cy);
  void OnGetMinMaxInfo(MINMAXINFO* mmi);
  void OnPaint();
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
  void InvalidateNoErase() { ::InvalidateRect(m_hWnd, nullptr, FALSE); }

  DECLARE_MESSAGE_MAP()
};

class CSkinChildDialog : public CDialog, public CSkinBase {
 public:
  CSkinChildDialog(UINT templateId, CWnd* parent = nullptr);
  ~CSkinChildDialog() override;

  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OnInitDialog() override;
  // Enter and Esc never end a panel.
  void OnOK() override {}
  void OnCancel() override {}
  virtual void OnDrawBackground(CDC* dc) { (void)dc; }
  virtual void OnBackgroundReady() {}
  virtual void OnSkinSize(int cx, int cy) { (void)cx, (void)cy; }
  CDC* GetBackgroundDC() override;
  void RenderBackground();

  CToolTipCtrl m_tooltip;
  CBitmapDC m_back;
  int m_bBackReady = 0;
  CSize m_minTrack{0, 0};
  CFont m_textFont;
  COLORREF m_textColor = 0;

 protected:
  void OnPaint();
  void OnSize(UINT type, int cx, int cy);
  void OnGetMinMaxInfo(MINMAXINFO* mmi);
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }

  DECLARE_MESSAGE_MAP()
};

// Which sizing band of a resizable W by H client a point falls in: a WMSZ_ direction, or 0 for
// none (the point drags the window).
int SkinSizingBand(int x, int y, int W, int H);
