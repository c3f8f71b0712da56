// The class library's controls over the built-in ones: CButton, CStatic, CEdit,
// CProgressCtrl, CToolTipCtrl, CScrollBar and CImageList.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/paint/resstore.h"
#include "platform/wnd/controls.h"

class CButton : public CWnd {
 public:
  BOOL Create(const char16_t* caption, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_BUTTON, caption, style, rect, parent, id);
  }
  int GetCheck() const { return int(SendMessage(BM_GETCHECK)); }
  void SetCheck(int check) { SendMessage(BM_SETCHECK, WPARAM(check)); }
  UINT GetState() const { return UINT(SendMessage(BM_GETSTATE)); }
  void SetState(BOOL pushed) { SendMessage(BM_SETSTATE, pushed); }
  UINT GetButtonStyle() const { return UINT(GetStyle() & 0xFF); }
  void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
  // Owner-drawn buttons draw here when their parent reflects WM_DRAWITEM.
  virtual void DrawItem(DRAWITEMSTRUCT*) {}
  BOOL OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CStatic : public CWnd {
 public:
  BOOL Create(const char16_t* text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF) {
    return CWnd::Create(WC_STATIC, text, style, rect, parent, id);
  }
};

class CEdit : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_EDIT, u"", style, rect, parent, id);
  }
  void GetSel(int& start, int& end) const {
    DWORD a = 0, b = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    start = int(a), end = int(b);
  }
  void SetSel(int start, int end, BOOL noScroll = FALSE) {
    SendMessage(EM_SETSEL, WPARAM(start), LPARAM(end));
    if (!noScroll) SendMessage(EM_SCROLLCARET);
  }
  void ReplaceSel(const char16_t* text, BOOL canUndo = FALSE) { SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text)); }
  void LimitText(int chars = 0) { SendMessage(EM_LIMITTEXT, WPARAM(chars)); }
  BOOL SetReadOnly(BOOL readOnly = TRUE) { return BOOL(SendMessage(EM_SETREADONLY, readOnly)); }
  int GetLineCount() const { return int(SendMessage(EM_GETLINECOUNT)); }
  int GetLine(int line, char16_t* buf, int max) const {
    if (!buf || max <= 0) return 0;
    buf[0] = char16_t(std::min(max, 0xFFFF));
    return int(SendMessage(EM_GETLINE, WPARAM(line), reinterpret_cast<LPARAM>(buf)));
  }
  void Copy() { SendMessage(WM_COPY); }
  void Cut() { SendMessage(WM_CUT); }
  void Paste() { SendMessage(WM_PASTE); }
  void Clear() { SendMessage(WM_CLEAR); }
};

class CProgressCtrl : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(PROGRESS_CLASS, u"", style, rect, parent, id);
  }
  void SetRange32(int low, int high) { SendMessage(PBM_SETRANGE32, WPARAM(low), LPARAM(high)); }
  void SetRange(short low, short high) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(low, high)); }
  void GetRange(int& low, int& high) const {
    PBRANGE r{0, 0};
    SendMessage(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&r));
    low = r.iLow, high = r.iHigh;
  }
  int SetPos(int pos) { return int(SendMessage(PBM_SETPOS, WPARAM(pos))); }
  int GetPos() const { return int(SendMessage(PBM_GETPOS)); }
  int OffsetPos(int delta) { return int(SendMessage(PBM_DELTAPOS, WPARAM(delta))); }
  int SetStep(int step) { return int(SendMessage(PBM_SETSTEP, WPARAM(step))); }
  int StepIt() { return int(SendMessage(PBM_STEPIT)); }
};

class CToolTipCtrl : public CWnd {
 public:
  BOOL Create(CWnd* parent, DWORD style = 0);
  void RelayEvent(MSG* msg) { if (m_hWnd) SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
  void SetDelayTime(DWORD which, int ms) { SendMessage(TTM_SETDELAYTIME, which, ms); }
  int SetMaxTipWidth(int width) { return int(SendMessage(TTM_SETMAXTIPWIDTH, 0, width)); }
  int GetMaxTipWidth() const { return int(SendMessage(TTM_GETMAXTIPWIDTH)); }
  int GetDelayTime(DWORD which) const { return int(SendMessage(TTM_GETDELAYTIME, which)); }
  // A tool: the whole window `wnd` when no rectangle and no id are given, else the rectangle
  // (client coordinates of `wnd`) under the id.
  BOOL AddTool(CWnd* wnd, const char16_t* text, const RECT* rect = nullptr, UINT_PTR id = 0);
  void DelTool(CWnd* wnd, UINT_PTR id = 0);
  void UpdateTipText(const char16_t* text, CWnd* wnd, UINT_PTR id = 0);
  void SetToolRect(CWnd* wnd, UINT_PTR id, const RECT* rect);
  int GetToolCount() const { return int(SendMessage(TTM_GETTOOLCOUNT)); }
  void Activate(BOOL on) { SendMessage(TTM_ACTIVATE, on); }
  void Pop() { SendMessage(TTM_POP); }

 private:
  static TOOLINFOW Info(CWnd* wnd, UINT_PTR id, const RECT* rect, const char16_t* text);
};

class CScrollBar : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_SCROLLBAR, u"", style, rect, parent, id);
  }
  int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
  int SetScrollPos(int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, pos, redraw); }
  void SetScrollRange(int min, int max, BOOL redraw = TRUE) { ::SetScrollRange(m_hWnd, SB_CTL, min, max, redraw); }
  BOOL SetScrollInfo(SCROLLINFO* info, BOOL redraw = TRUE) { return ::SetScrollInfo(m_hWnd, SB_CTL, info, redraw) >= 0; }
  BOOL GetScrollInfo(SCROLLINFO* info, UINT mask = SIF_ALL) const {
    info->fMask = mask;
    return ::GetScrollInfo(m_hWnd, SB_CTL, info);
  }
};

// An image list that the object owns (destroyed with it) unless detached.
class CImageList {
 public:
  CImageList() = default;
  ~CImageList() { DeleteImageList(); }
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;
  operator HIMAGELIST() const { return m_hImageList; }
  HIMAGELIST GetSafeHandle() const { return m_hImageList; }
  BOOL Create(int cx, int cy, UINT flags, int initial, int grow) {
    return Attach(ImageList_Create(cx, cy, flags, initial, grow));
  }
  // From the program's bitmap resource: pictures cx wide, the mask colour clear.
  BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask) {
    return Attach(ImageList_LoadImageW(nullptr, ResourceIdName(bitmapId), cx, grow, mask, IMAGE_BITMAP, 0));
  }
  BOOL Attach(HIMAGELIST h) {
    if (!h) return FALSE;
    DeleteImageList();
    m_hImageList = h;
    return TRUE;
  }
  HIMAGELIST Detach() {
    HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    return h;
  }
  BOOL DeleteImageList() {
    if (!m_hImageList) return FALSE;
    ImageList_Destroy(Detach());
    return TRUE;
  }
  int Add(CBitmap* image, CBitmap* mask) {
    return ImageList_Add(m_hImageList, image ? HBITMAP(*image) : nullptr, mask ? HBITMAP(*mask) : nullptr);
  }
  int Add(CBitmap* image, COLORREF mask) { return ImageList_AddMasked(m_hImageList, image ? HBITMAP(*image) : nullptr, mask); }
  int Add(HICON icon) { return ImageList_AddIcon(m_hImageList, icon); }
  int Replace(int i, HICON icon) { return ImageList_ReplaceIcon(m_hImageList, i, icon); }
  BOOL Replace(int i, CBitmap* image, CBitmap* mask) {
    return ImageList_Replace(m_hImageList, i, image ? HBITMAP(*image) : nullptr, mask ? HBITMAP(*mask) : nullptr);
  }
  BOOL Remove(int i) { return ImageList_Remove(m_hImageList, i); }
  int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
  COLORREF SetBkColor(COLORREF bk) { return ImageList_SetBkColor(m_hImageList, bk); }
  COLORREF GetBkColor() const { return ImageList_GetBkColor(m_hImageList); }
  BOOL Draw(CDC* dc, int i, POINT pt, UINT style) {
    return ImageList_Draw(m_hImageList, i, dc ? dc->m_hDC : nullptr, pt.x, pt.y, style);
  }
  HICON ExtractIcon(int i) { return ImageList_GetIcon(m_hImageList, i, ILD_NORMAL); }

  HIMAGELIST m_hImageList = nullptr;
};
