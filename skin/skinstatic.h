// The text and frame controls of skinned dialogs: text drawn straight on the skin
// (CTransparentStatic), an edit box with a flat frame and a character filter (CSkinEdit), and a
// group box with a chamfered frame (CSxGroupBox). Owners set the public fields directly.
#pragma once

#include <vector>

#include "platform/afx/afxctrls.h"
#include "skin/skindraw.h"

class CTransparentStatic : public CStatic {
 public:
  ~CTransparentStatic() override;
  // The only way to change the text once it has been drawn.
  void SetText(const CString& text);
  void PreSubclassWindow() override;
  // The DrawText format the style and the flags give.
  UINT TextFormat() const;

  CBitmapDC m_mem;
  int m_bMemReady = 0;
  CString m_text;
  CFont* m_pFont = nullptr;
  COLORREF m_textColor = 0;
  int m_bEndEllipsis = 0;
  int m_bSingleLine = 0;

 protected:
  void OnPaint();
  void OnSize(UINT type, int cx, int cy);
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  DECLARE_MESSAGE_MAP()
};

// Shows a refusal warning; the standard message box unless a test replaced it.
using EditWarningHandler = void (*)(const CString& text);
void SetEditWarningHandler(EditWarningHandler h);

class CSkinEdit : public CEdit {
 public:
  void PreSubclassWindow() override;
  void OnTextUpdate();

  int m_topJoined = 0;  // 1: white top edge x 16..113, 2: x 121..218, joining a tab above
  int m_bTracking = 0;
  std::vector<char16_t> m_forbidden;
  CString m_warning;
  int m_bAllowNonAscii = 1;
  CString m_lastValid;
  int m_longestLine = -1;

 protected:
  LRESULT OnNcPaint(WPARAM, LPARAM);
  BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT msg);
  void OnMouseLeave();
  void OnChar(UINT ch, UINT repeat, UINT flags);
  void DrawFrame();
  bool Refused(char16_t c) const;
  void Warn() const;
  DECLARE_MESSAGE_MAP()

 private:
  bool m_restoring = false;
};

class CSxGroupBox : public CButton {
 public:
  CSxGroupBox();
  void PreSubclassWindow() override;
  // The frame rectangle: the client area reduced for the window's edges.
  void ComputeFrameRect();

  COLORREF m_frameColor, m_frameColor2, m_shadowColor, m_highlightColor;
  BYTE m_bCaptionHidden = 0;
  int m_penWidth = 1;
  COLORREF m_captionColor = 0;
  CFont m_captionFont;
  CString m_caption;
  int m_align = 0x100;  // 0x100 left, 0x200 right, 0x300 centre
  int m_margin = 8;
  int m_raise = 0;
  RECT m_frame{};
  int m_frameStyle = 0x8000;  // chamfered

 protected:
  void OnPaint();
  void OnSize(UINT type, int cx, int cy);
  HBRUSH CtlColor(CDC* dc, UINT ctlColor);
  DECLARE_MESSAGE_MAP()
};
