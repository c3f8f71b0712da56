// The class library's drawing objects: CGdiObject and its CBitmap, CFont, CPen, CBrush and
// CRgn, and CDC over a device context.
//
// A wrapper that created or attached a handle owns it and deletes it when destroyed.
// FromHandle gives the attached wrapper, or else a temporary one owned by the library: it
// stays valid while its handle lives (stock objects always live) and for a while after.
#pragma once

#include "platform/cstring.h"
#include "platform/paint/gdi.h"

class CGdiObject {
 public:
  CGdiObject() = default;
  virtual ~CGdiObject();
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  operator HGDIOBJ() const { return m_hObject; }
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  BOOL Attach(HGDIOBJ h);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  int GetObject(int size, void* out) const { return GetObjectW(m_hObject, size, out); }
  UINT GetObjectType() const { return UINT(::GetObjectType(m_hObject)); }
  BOOL CreateStockObject(int which) { return Attach(GetStockObject(which)); }
  static CGdiObject* FromHandle(HGDIOBJ h);

  HGDIOBJ m_hObject = nullptr;
  bool m_temporary = false;  // made by FromHandle; never deletes its handle
};

// Called when a handle with a temporary wrapper is deleted.
void RetireTemporaryGdiObject(CGdiObject* wrapper);

class CBitmap : public CGdiObject {
 public:
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
  static CBitmap* FromHandle(HBITMAP h) { return static_cast<CBitmap*>(CGdiObject::FromHandle(h)); }
  BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
  int GetBitmap(BITMAP* bm) const { return GetObject(sizeof(BITMAP), bm); }
};

class CFont : public CGdiObject {
 public:
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }
  static CFont* FromHandle(HFONT h) { return static_cast<CFont*>(CGdiObject::FromHandle(h)); }
  BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                  BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                  BYTE pitchAndFamily, const char16_t* face) {
    return Attach(CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                              outPrecision, clipPrecision, quality, pitchAndFamily, face));
  }
  BOOL CreateFontIndirect(const LOGFONTW* lf) { return Attach(CreateFontIndirectW(lf)); }
  int GetLogFont(LOGFONTW* lf) const { return GetObject(sizeof(LOGFONTW), lf); }
};

class CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
  CPen(int style, int width, const LOGBRUSH* brush, int styleCount = 0, const DWORD* styles = nullptr) {
    CreatePen(style, width, brush, styleCount, styles);
  }
  operator HPEN() const { return static_cast<HPEN>(m_hObject); }
  static CPen* FromHandle(HPEN h) { return static_cast<CPen*>(CGdiObject::FromHandle(h)); }
  BOOL CreatePen(int style, int width, COLORREF color) { return Attach(::CreatePen(style, width, color)); }
  BOOL CreatePen(int style, int width, const LOGBRUSH* brush, int styleCount = 0, const DWORD* styles = nullptr) {
    return Attach(ExtCreatePen(DWORD(style), DWORD(width), brush, DWORD(styleCount), styles));
  }
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
  static CBrush* FromHandle(HBRUSH h) { return static_cast<CBrush*>(CGdiObject::FromHandle(h)); }
  BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
};

class CRgn : public CGdiObject {
 public:
  operator HRGN() const { return static_cast<HRGN>(m_hObject); }
  static CRgn* FromHandle(HRGN h) { return static_cast<CRgn*>(CGdiObject::FromHandle(h)); }
  BOOL CreateRectRgn(int l, int t, int r, int b) { return Attach(::CreateRectRgn(l, t, r, b)); }
  BOOL CreateRectRgnIndirect(const RECT* r) { return Attach(::CreateRectRgnIndirect(r)); }
  BOOL CreateFromData(const XFORM* xf, int count, const RGNDATA* data) {
    return count > 0 && Attach(ExtCreateRegion(xf, DWORD(count), data));
  }
  int CombineRgn(const CRgn* a, const CRgn* b, int mode) {
    return ::CombineRgn(*this, a ? HRGN(*a) : nullptr, b ? HRGN(*b) : nullptr, mode);
  }
  int CopyRgn(const CRgn* src) { return ::CombineRgn(*this, src ? HRGN(*src) : nullptr, nullptr, RGN_COPY); }
  BOOL PtInRegion(int x, int y) const { return ::PtInRegion(*this, x, y); }
  BOOL PtInRegion(POINT p) const { return ::PtInRegion(*this, p.x, p.y); }
  int GetRgnBox(RECT* r) const { return ::GetRgnBox(*this, r); }
  int OffsetRgn(int dx, int dy) { return ::OffsetRgn(*this, dx, dy); }
  BOOL SetRectRgn(int l, int t, int r, int b) { return ::SetRectRgn(*this, l, t, r, b); }
  BOOL EqualRgn(const CRgn* o) const { return o && ::EqualRgn(*this, *o); }
  int GetRegionData(RGNDATA* data, int size) const { return int(::GetRegionData(*this, DWORD(size), data)); }
};

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  operator HDC() const { return m_hDC; }
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL Attach(HDC h);
  HDC Detach();
  BOOL CreateCompatibleDC(CDC* like) { return Attach(::CreateCompatibleDC(like ? like->m_hDC : nullptr)); }
  BOOL CreateDC(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init) {
    return Attach(CreateDCW(driver, device, output, init));
  }
  BOOL CreateIC(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init) {
    return Attach(CreateICW(driver, device, output, init));
  }
  BOOL DeleteDC();

  CPen* SelectObject(CPen* p) { return CPen::FromHandle(static_cast<HPEN>(Select(p))); }
  CBrush* SelectObject(CBrush* b) { return CBrush::FromHandle(static_cast<HBRUSH>(Select(b))); }
  CFont* SelectObject(CFont* f) { return CFont::FromHandle(static_cast<HFONT>(Select(f))); }
  CBitmap* SelectObject(CBitmap* b) { return CBitmap::FromHandle(static_cast<HBITMAP>(Select(b))); }
  int SelectObject(CRgn* r) { return SelectClipRgn(r); }
  CGdiObject* SelectStockObject(int which) { return CGdiObject::FromHandle(::SelectObject(m_hDC, GetStockObject(which))); }
  CBitmap* GetCurrentBitmap() const { return CBitmap::FromHandle(static_cast<HBITMAP>(GetCurrentObject(m_hDC, OBJ_BITMAP))); }
  CFont* GetCurrentFont() const { return CFont::FromHandle(static_cast<HFONT>(GetCurrentObject(m_hDC, OBJ_FONT))); }

  COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
  COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
  COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
  COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  int GetBkMode() const { return ::GetBkMode(m_hDC); }
  int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
  int SetROP2(int mode) { return ::SetROP2(m_hDC, mode); }
  int GetROP2() const { return ::GetROP2(m_hDC); }
  int GetStretchBltMode() const { return ::GetStretchBltMode(m_hDC); }
  int SaveDC() { return ::SaveDC(m_hDC); }
  BOOL RestoreDC(int level) { return ::RestoreDC(m_hDC, level); }
  POINT SetViewportOrg(int x, int y) {
    POINT old{0, 0};
    SetViewportOrgEx(m_hDC, x, y, &old);
    return old;
  }
  int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

  int SelectClipRgn(CRgn* r) { return ::SelectClipRgn(m_hDC, r ? HRGN(*r) : nullptr); }
  int IntersectClipRect(int l, int t, int r, int b) { return ::IntersectClipRect(m_hDC, l, t, r, b); }
  int IntersectClipRect(const RECT* r) { return ::IntersectClipRect(m_hDC, r->left, r->top, r->right, r->bottom); }
  int ExcludeClipRect(int l, int t, int r, int b) { return ::ExcludeClipRect(m_hDC, l, t, r, b); }
  int GetClipBox(RECT* r) const { return ::GetClipBox(m_hDC, r); }

  BOOL BitBlt(int x, int y, int cx, int cy, CDC* src, int sx, int sy, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, cx, cy, src ? src->m_hDC : nullptr, sx, sy, rop);
  }
  BOOL StretchBlt(int x, int y, int cx, int cy, CDC* src, int sx, int sy, int scx, int scy, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, cx, cy, src ? src->m_hDC : nullptr, sx, sy, scx, scy, rop);
  }
  BOOL TransparentBlt(int x, int y, int cx, int cy, CDC* src, int sx, int sy, int scx, int scy, UINT key) {
    return ::TransparentBlt(m_hDC, x, y, cx, cy, src ? src->m_hDC : nullptr, sx, sy, scx, scy, key);
  }
  BOOL AlphaBlend(int x, int y, int cx, int cy, CDC* src, int sx, int sy, int scx, int scy, BLENDFUNCTION bf) {
    return ::AlphaBlend(m_hDC, x, y, cx, cy, src ? src->m_hDC : nullptr, sx, sy, scx, scy, bf);
  }
  BOOL PatBlt(int x, int y, int cx, int cy, DWORD rop) { return ::PatBlt(m_hDC, x, y, cx, cy, rop); }
  void FillRect(const RECT* r, CBrush* b) { ::FillRect(m_hDC, r, b ? HBRUSH(*b) : nullptr); }
  void FrameRect(const RECT* r, CBrush* b) { ::FrameRect(m_hDC, r, b ? HBRUSH(*b) : nullptr); }
  // Both leave the background colour set to `c`.
  void FillSolidRect(const RECT* r, COLORREF c) { FillSolidRectDc(m_hDC, r, c); }
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF c) {
    RECT r{x, y, x + cx, y + cy};
    FillSolidRectDc(m_hDC, &r, c);
  }
  void Draw3dRect(const RECT* r, COLORREF topLeft, COLORREF bottomRight) {
    Draw3dRect(r->left, r->top, r->right - r->left, r->bottom - r->top, topLeft, bottomRight);
  }
  void Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
  BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
  BOOL Rectangle(const RECT* r) { return ::Rectangle(m_hDC, r->left, r->top, r->right, r->bottom); }
  POINT MoveTo(int x, int y) {
    POINT old{0, 0};
    MoveToEx(m_hDC, x, y, &old);
    return old;
  }
  BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
  BOOL Polyline(const POINT* pts, int count) { return ::Polyline(m_hDC, pts, count); }
  COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
  COLORREF SetPixel(int x, int y, COLORREF c) { return ::SetPixel(m_hDC, x, y, c); }

  BOOL TextOut(int x, int y, const CString& s) { return TextOutW(m_hDC, x, y, s.GetString(), s.GetLength()); }
  BOOL TextOut(int x, int y, const char16_t* s, int n) { return TextOutW(m_hDC, x, y, s, n); }
  int DrawText(const CString& s, RECT* r, UINT format) { return DrawTextW(m_hDC, s.GetString(), s.GetLength(), r, format); }
  int DrawText(const char16_t* s, int n, RECT* r, UINT format) { return DrawTextW(m_hDC, s, n, r, format); }
  SIZE GetTextExtent(const CString& s) const {
    SIZE sz{0, 0};
    GetTextExtentPoint32W(m_hDC, s.GetString(), s.GetLength(), &sz);
    return sz;
  }
  SIZE GetTextExtent(const char16_t* s, int n) const {
    SIZE sz{0, 0};
    GetTextExtentPoint32W(m_hDC, s, n, &sz);
    return sz;
  }
  BOOL GetTextMetrics(TEXTMETRICW* tm) const { return GetTextMetricsW(m_hDC, tm); }
  BOOL DrawState(POINT pt, SIZE size, const char16_t* text, UINT flags, BOOL prefixText = TRUE, int textLen = 0,
                 CBrush* brush = nullptr) {
    return DrawStateW(m_hDC, brush ? HBRUSH(*brush) : nullptr, nullptr, LPARAM(text), WPARAM(textLen), pt.x, pt.y,
                      size.cx, size.cy, flags | (prefixText ? DST_PREFIXTEXT : DST_TEXT));
  }

  HDC m_hDC = nullptr;

 private:
  HGDIOBJ Select(CGdiObject* o) { return ::SelectObject(m_hDC, o ? o->m_hObject : nullptr); }
};
