// The skinned report list: an owner-drawn list view in the skin's colours (zebra rows, hover
// and selection backgrounds, a one-pixel frame), painted through one memory picture per size,
// with check pictures that toggle on a click, row icons, a tooltip, and a column header with a
// nine-grid background, sort markers and separator icons. Owners add the columns, rows, texts,
// check pictures and icons, and set the public fields directly.
#pragma once

#include <memory>
#include <vector>

#include "platform/afx/afxcmn.h"
#include "skin/skindraw.h"

// A record an owner attaches to a row as its item data; the list frees it (owners derive).
struct ListRowData {
  virtual ~ListRowData() = default;
};

class CSkinHeaderCtrl : public CHeaderCtrl {
 public:
  ~CSkinHeaderCtrl() override;

  // Column texts, sort marker and separator icons of every column.
  void DrawItems(CDC* dc);

  CBitmapDC m_mem;
  CStretchDC m_background;  // bitmap 170, rendered to the header's size
  int m_bBackgroundReady = 0;
  HICON m_hSeparator = nullptr;  // the owner's; none by default
  HICON m_hSortAscending = nullptr;   // loaded (and destroyed) by the list's theme step
  HICON m_hSortDescending = nullptr;
  // The header is never laid out lower than this; it grows with what the layout asks.
  int m_nHeight = 0;
  int m_textOffsetX = 0;  // both 0: texts 4 px in, centred vertically
  int m_textOffsetY = 0;
  COLORREF m_textColor = 0;
  int m_sortColumn = -1;
  int m_bSortAscending = 1;

 protected:
  void OnPaint();
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  void OnSize(UINT type, int cx, int cy);
  LRESULT OnLayout(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
};

class CSkinListCtrlBase : public CListCtrl {
 public:
  CSkinListCtrlBase() = default;
  ~CSkinListCtrlBase() override;

  void PreSubclassWindow() override;
  BOOL PreTranslateMessage(MSG* msg) override;
  // Draws a row's check picture (index 1 checked, 0 not) left of the first column's label;
  // lists that choose their pictures otherwise override it.
  virtual void DrawCheckImage(CDC* dc, int row);
  // Once: the tooltip and, with icons, the image lists. Later calls return 1.
  virtual int InitCtrl(int withIcons);

  // Sort markers, header background, colours, frame and row height from the skin theme.
  void ApplyListTheme();
  // The icon goes into both image lists; its index, or -1 (nothing added).
  int AddIcon(HICON icon);
  // Makes the list ask for its row height again.
  void SetRowHeight(int height);
  void FreeAllRowData();
  // Attaches a record to a row as its item data; the list owns it from now on.
  void SetRowData(int row, std::unique_ptr<ListRowData> data);
  // True when the row's check state is "checked" (state picture 2).
  bool IsRowChecked(int row) const;
  // Fills the row's background: disabled, zebra, selection or hover; sets the text colour.
  void DrawRowBackground(CDC* dc, int row, const RECT& item, bool selected);
  void MeasureItem(MEASUREITEMSTRUCT* mis);
  // The check picture's left edge for a row whose first label starts at labelLeft; clicks and
  // drawing share it so the clickable band lies under the picture.
  int CheckImageLeft(int labelLeft) const;

  CSkinHeaderCtrl m_header;
  // Colours are COLORREF words (0x00BBGGRR); the theme step replaces them.
  COLORREF m_oddRowColor = 0xF8F4F1;
  COLORREF m_evenRowColor = 0xFFFFFF;
  COLORREF m_selectedColor = 0x733C1E;  // focused, or LVS_SHOWSELALWAYS
  COLORREF m_selectedUnfocusedColor = 0xFADCC8;
  COLORREF m_hoverColor = 0xF9E4CF;
  COLORREF m_textColor = 0;
  COLORREF m_selectedTextColor = 0xFFFFFF;
  COLORREF m_frameColor = 0xB99D7F;
  int m_rowHeight = 30;
  int m_bIcons = 0;
  int m_hoverRow = -1;
  int m_bTracking = 0;
  CBitmapDC m_mem;
  int m_bMemReady = 0;
  int m_bPaintThrough = 0;
  int m_bHoverShortcutBlocked = 0;
  int m_bTooltipCreated = 0;
  int m_bCheckBoxes = 0;
  CBitmapDC m_checkImages[5];
  int m_checkImageOffset = -14;
  std::vector<std::unique_ptr<ListRowData>> m_rowData;
  CToolTipCtrl m_tooltip;
  CImageList m_smallImages;
  CImageList m_largeImages;

 protected:
  int OnCreate(CREATESTRUCTW* cs);
  void OnMouseMove(UINT flags, CPoint pt);
  void OnMouseLeave();
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnLButtonDblClk(UINT flags, CPoint pt);
  void OnLButtonUp(UINT flags, CPoint pt);
  LRESULT OnRButton(WPARAM, LPARAM);
  void OnPaint();
  LRESULT OnNcPaint(WPARAM, LPARAM);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnSize(UINT type, int cx, int cy);
  void OnHeaderTrack(NMHDR*, LRESULT* result);
  void OnHeaderEndTrack(NMHDR*, LRESULT* result);
  void OnCheckBoxClick(CPoint pt);
  void PrepareMemoryDC(const RECT& client);
  DECLARE_MESSAGE_MAP()

 private:
  // Subclasses the list's header window once it exists and lays the list out again.
  void AttachHeader();
};

class CSkinListCtrl : public CSkinListCtrlBase {
 public:
  ~CSkinListCtrl() override;
  void DrawItem(DRAWITEMSTRUCT* dis) override;
};
