// The drawing calls: device contexts, bitmaps, blits, lines and fills, regions, fonts and
// text. They behave as the program's painting code expects of them; failures are FALSE,
// null or ERROR results, never exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/paint/gdiobj.h"
#include "platform/paint/gditypes.h"

// ---- Device contexts ----
// A memory context; `like` is ignored (every context is compatible with the screen).
HDC CreateCompatibleDC(HDC like);
// "DISPLAY" gives a context for the screen; as an information context it measures text and
// answers GetDIBits but draws nothing.
HDC CreateDCW(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init);
HDC CreateICW(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init);
BOOL DeleteDC(HDC dc);
// Selects a bitmap, font, pen or brush and returns the one it replaces; a region becomes the
// clip region and the result is the region type.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
int SaveDC(HDC dc);
// Negative levels count back from the latest save.
BOOL RestoreDC(HDC dc, int level);
COLORREF SetTextColor(HDC dc, COLORREF c);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF c);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
// The mix of lines and of Rectangle (pen and brush); fills of FillRect and text keep copying.
int SetROP2(HDC dc, int mode);
int GetROP2(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* old);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* old);
BOOL GetViewportOrgEx(HDC dc, POINT* org);
int GetDeviceCaps(HDC dc, int index);
// The screen size GetDeviceCaps reports as HORZRES and VERTRES; the window layer sets it.
void SetDeviceScreenSize(int width, int height);
COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);

// ---- Clipping ----
// The region is copied (in device coordinates); null removes the clip.
int SelectClipRgn(HDC dc, HRGN rgn);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int GetClipBox(HDC dc, RECT* box);

// ---- Objects ----
BOOL DeleteObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int which);
int GetObjectW(HGDIOBJ obj, int size, void* out);
DWORD GetObjectType(HGDIOBJ obj);
HPEN CreatePen(int style, int width, COLORREF color);
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* lb);

// ---- Bitmaps ----
// 24- or 32-bit uncompressed DIB sections; rows are bottom-up for a positive height.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD offset);
// Screen-depth (32-bit) bitmaps, zero-filled.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* bmi, UINT usage);
// With bits null and bmi->bmiHeader.biBitCount 0 fills the header with the bitmap's format
// and image size; otherwise copies `lines` rows starting at row `start` (bottom-up counting
// for a positive height) in the asked 24- or 32-bit format, padded to 4 bytes.
int GetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, void* bits, BITMAPINFO* bmi, UINT usage);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF c);

// ---- Blits and fills ----
BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop);
BOOL PatBlt(HDC dst, int x, int y, int cx, int cy, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, DWORD rop);
BOOL TransparentBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, UINT key);
BOOL AlphaBlend(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, BLENDFUNCTION bf);
int FillRect(HDC dc, const RECT* r, HBRUSH brush);
int FrameRect(HDC dc, const RECT* r, HBRUSH brush);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL MoveToEx(HDC dc, int x, int y, POINT* old);
BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* pts, int count);
// Fills with the background colour, as the class library's FillSolidRect does through an
// opaque text call (so it leaves the background colour set to `c`).
void FillSolidRectDc(HDC dc, const RECT* r, COLORREF c);
// Inverts every other pixel of the rectangle's outline (a focus mark): drawn twice, it is gone.
BOOL DrawFocusRect(HDC dc, const RECT* r);

// ---- Regions ----
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* r);
// Only RDH_RECTANGLES data without a transform; the header's count is checked against `size`.
HRGN ExtCreateRegion(const XFORM* xf, DWORD size, const RGNDATA* data);
int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
BOOL PtInRegion(HRGN rgn, int x, int y);
int GetRgnBox(HRGN rgn, RECT* box);
int OffsetRgn(HRGN rgn, int dx, int dy);
BOOL EqualRgn(HRGN a, HRGN b);
BOOL SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);
// Bytes needed with `data` null; otherwise writes header and rectangles when `size` suffices.
DWORD GetRegionData(HRGN rgn, DWORD size, RGNDATA* data);
BOOL FillRgn(HDC dc, HRGN rgn, HBRUSH brush);

// ---- Fonts and text ----
HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, const char16_t* face);
HFONT CreateFontIndirectW(const LOGFONTW* lf);
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* tm);
BOOL GetTextExtentPoint32W(HDC dc, const char16_t* text, int count, SIZE* size);
BOOL TextOutW(HDC dc, int x, int y, const char16_t* text, int count);
// count -1: the text runs to its terminating zero. Returns the height of the text.
int DrawTextW(HDC dc, const char16_t* text, int count, RECT* r, UINT format);
using DRAWSTATEPROC = BOOL (*)(HDC, LPARAM, WPARAM, int, int);
// Text states only (DST_TEXT, DST_PREFIXTEXT with DSS_NORMAL or DSS_DISABLED).
BOOL DrawStateW(HDC dc, HBRUSH fore, DRAWSTATEPROC proc, LPARAM data, WPARAM len, int x, int y,
                int cx, int cy, UINT flags);
// The host font file that a face name, weight and slant resolve to (for tests and logs).
std::string ResolveFontFile(const char16_t* face, int weight, bool italic);

// Calls `proc` once per installed font family (the logical font it gets is an
// ENUMLOGFONTEXW); a family filter in `lf->lfFaceName` limits it to that family. Stops when
// `proc` returns 0 and returns the last value `proc` returned.
int EnumFontFamiliesExW(HDC dc, const LOGFONTW* lf, FONTENUMPROCW proc, LPARAM param, DWORD flags);

// ---- Icons ----
// From a colour bitmap with per-pixel alpha, or (when all its alpha is 0) with a mask whose
// non-black pixels are transparent. The icon keeps its own copy of the pixels.
HICON CreateIconIndirect(const ICONINFO* info);
BOOL DestroyIcon(HICON icon);
// Draws the icon at (x, y) in cx by cy pixels (0: its own size), blended by its alpha.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH flicker, UINT flags);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
// The size of an icon's picture.
BOOL GetIconSize(HICON icon, SIZE* size);
// The icon's pixels as straight (not premultiplied) 0xAARRGGBB values, rows top to bottom.
bool GetIconArgb(HICON icon, SIZE* size, std::vector<uint32_t>* argb);

// ---- Pictures ----
// A screen-compatible bitmap from the bytes of a BMP file (1, 4, 8, 24 or 32 bits per pixel,
// uncompressed or BI_BITFIELDS). Null when the header or the pixels lie outside the bytes.
HBITMAP BitmapFromBmpBytes(std::span<const uint8_t> bytes);
// A 32-bit top-down DIB section from PNG bytes, colours premultiplied by alpha.
HBITMAP BitmapFromPngBytes(std::span<const uint8_t> bytes);
// Writes the bitmap (its colours; alpha is ignored) as an RGB PNG file. True when written.
bool WriteBitmapPng(HBITMAP bm, const std::string& hostPath);
// The bytes of a 24-bit bottom-up BMP file of the bitmap's colours; empty for a bad handle.
std::vector<uint8_t> BmpFileBytes(HBITMAP bm);
