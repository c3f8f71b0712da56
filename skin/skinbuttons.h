// The skinned buttons: owner-drawn buttons that pick one of five state pictures (normal, hover,
// down, disabled, focus) and draw it with a transparent key colour. Dialogs subclass their
// template's buttons with them; owners set the public fields directly.
//
// Which picture is drawn, first match wins: selected (tab buttons only) → down; disabled with a
// disabled picture → disabled; held down (CSkinButton only) → down; pressed → down; hovered →
// hover; focused with a focus picture → focus; otherwise normal.
#pragma once

#include "platform/afx/afxctrls.h"
#include "skin/skindraw.h"

enum SkinPicture { kPicNormal = 0, kPicHover = 1, kPicDown = 2, kPicDisabled = 3, kPicFocus = 4 };

struct SkinButtonState {
  bool selected = false;  // tab buttons: the selected flag
  bool heldDown = false;  // skin buttons: the held-down flag
  bool hover = false;
  UINT itemState = 0;     // ODS_ flags of the drawing
  bool haveDisabled = false;
  bool haveFocus = false;
};
// The picture the rule above gives.
SkinPicture ChooseSkinPicture(const SkinButtonState& s);

// Hover tracking shared by the picture buttons: the first mouse move sets the flag, asks for
// WM_MOUSELEAVE, repaints and (when `notify`) posts WM_SKIN_BUTTON_HOVER (id, 1) to the
// parent; leaving clears it, repaints and sends (id, 2).
class CSkinHoverButton : public CButton {
 public:
  int m_bHover = 0;

 protected:
  explicit CSkinHoverButton(bool notifyParent) : m_notify(notifyParent) {}
  void TrackHover();
  void EndHover();
  // WM_ERASEBKGND is swallowed: every drawing covers the whole button.
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  void OnMouseMove(UINT flags, CPoint pt);
  void OnMouseLeave();
  bool m_notify;  // posts and sends the hover message, shows the hand cursor

  DECLARE_MESSAGE_MAP()
};

// A picture button sized to its normal picture; a caption under the picture when it is taller
// than 150 pixels.
class CBmpButton : public CSkinHoverButton {
 public:
  CBmpButton() : CSkinHoverButton(true) {}
  bool LoadBitmaps(UINT normal, UINT hover, UINT down, UINT disabled);
  bool SetSkinImages(const SkinImageData* normal, const SkinImageData* hover);
  void PreSubclassWindow() override;
  void DrawItem(DRAWITEMSTRUCT* dis) override;

  CBitmapDC m_pictures[5];
  COLORREF m_keyColor = RGB(255, 0, 255);

 protected:
  bool SizeToPicture();
};

// A picture button with a selected state and a caption 60 pixels right of its left edge.
class CTabButton : public CBmpButton {
 public:
  bool SetSkinImages(const SkinImageData* normal, const SkinImageData* hover, const SkinImageData* selected);
  void DrawItem(DRAWITEMSTRUCT* dis) override;

  int m_bSelected = 0;
};

// A push button whose state pictures are nine-grid stretched to its size, with an optional icon
// and a caption.
class CSkinButton : public CSkinHoverButton {
 public:
  CSkinButton() : CSkinHoverButton(true) {}
  ~CSkinButton() override;
  bool SetBitmaps(UINT normal, UINT hover, UINT down, UINT disabled, UINT focus);
  BOOL SetIcon(UINT iconId, int size);
  void PreSubclassWindow() override;
  void DrawItem(DRAWITEMSTRUCT* dis) override;
  // Renders the pictures at the client size: normal, hover and down always, disabled and focus
  // when their source is loaded; the window region follows the normal picture.
  bool PrepareStateImages();
  bool PrepareMemoryDC();
  // Where the icon and the caption start for a caption cx wide on a button w wide.
  static int IconX(int w, int cx, int s);

  int m_bHeldDown = 0;
  CStretchDC m_pictures[5];
  int m_bPrepared = 0;
  COLORREF m_captionColor = 0;
  COLORREF m_disabledColor = RGB(172, 168, 153);
  HICON m_hIcon = nullptr;
  int m_captionX = -1;  // -1: centred
  CFont* m_pFont = nullptr;
  COLORREF m_keyColor = RGB(255, 0, 255);
  CBitmapDC m_mem;
  int m_bMemReady = 0;
  int m_iconSize = 16;

 protected:
  void OnSize(UINT type, int cx, int cy);
  DECLARE_MESSAGE_MAP()
};

// A text link in the link colour.
class CHyperlinkButton : public CSkinHoverButton {
 public:
  CHyperlinkButton();
  ~CHyperlinkButton() override;
  void PreSubclassWindow() override;
  void DrawItem(DRAWITEMSTRUCT* dis) override;

  CBitmapDC m_mem;
  COLORREF m_normalColor = RGB(255, 0, 0);
  COLORREF m_hoverColor = RGB(255, 135, 0);
  CFont* m_pFont = nullptr;
  int m_bMemReady = 0;
  HCURSOR m_hHand = nullptr;
  CFont m_windowFont;

 protected:
  BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT msg);
  void OnSize(UINT type, int cx, int cy);
  DECLARE_MESSAGE_MAP()

 private:
  COLORREF m_lastColor = RGB(255, 0, 0);
};

// A check box or radio button drawn with pictures; it keeps its own check state, and a radio
// button that becomes checked unchecks the rest of its dialog group.
class CSkinCRButton : public CSkinHoverButton {
 public:
  enum Kind { kPlain = 0, kCheckBox = 2, kRadio = 4 };
  CSkinCRButton() : CSkinHoverButton(false) {}
  ~CSkinCRButton() override;
  bool SetCheckBitmaps(UINT uncheckedId, UINT checkedId);
  void PreSubclassWindow() override;
  void DrawItem(DRAWITEMSTRUCT* dis) override;

  int m_check = 0;
  int m_kind = kPlain;
  CBitmapDC m_mem;
  int m_bMemReady = 0;
  CBitmapDC m_unchecked[5];
  CBitmapDC m_checked[5];
  COLORREF m_captionColor = 0;
  int m_captionX = 17;
  COLORREF m_keyColor = RGB(255, 0, 255);
  CFont* m_pFont = nullptr;

 protected:
  LRESULT OnSetCheck(WPARAM state, LPARAM);
  LRESULT OnGetCheck(WPARAM, LPARAM);
  LRESULT OnRadioUncheck(WPARAM, LPARAM);
  void OnLButtonUp(UINT flags, CPoint pt);
  void OnLButtonDblClk(UINT flags, CPoint pt);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  void OnSize(UINT type, int cx, int cy);
  DECLARE_MESSAGE_MAP()

 private:
  void Toggle();
};
