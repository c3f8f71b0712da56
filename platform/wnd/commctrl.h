// The common controls' constants and records in one place: class names, the notification
// codes every common control sends, the progress bar and the tooltip. Controls that join the
// layer add theirs here.
#pragma once

#include "platform/wnd/wnddefs.h"

// ---- Class names ----
inline const char16_t* const PROGRESS_CLASS = u"msctls_progress32";
inline const char16_t* const TOOLTIPS_CLASS = u"tooltips_class32";

// ---- Notifications shared by the common controls (WM_NOTIFY codes) ----
constexpr UINT NM_FIRST = 0;
constexpr UINT NM_OUTOFMEMORY = NM_FIRST - 1;
constexpr UINT NM_CLICK = NM_FIRST - 2;
constexpr UINT NM_DBLCLK = NM_FIRST - 3;
constexpr UINT NM_RETURN = NM_FIRST - 4;
constexpr UINT NM_RCLICK = NM_FIRST - 5;
constexpr UINT NM_RDBLCLK = NM_FIRST - 6;
constexpr UINT NM_SETFOCUS = NM_FIRST - 7;
constexpr UINT NM_KILLFOCUS = NM_FIRST - 8;
constexpr UINT NM_CUSTOMDRAW = NM_FIRST - 12;

// ---- Progress bar ----
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_DELTAPOS = WM_USER + 3;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;
constexpr UINT PBM_SETRANGE32 = WM_USER + 6;
constexpr UINT PBM_GETRANGE = WM_USER + 7;
constexpr UINT PBM_GETPOS = WM_USER + 8;
constexpr UINT PBM_SETBARCOLOR = WM_USER + 9;
constexpr DWORD PBS_SMOOTH = 0x01;
struct PBRANGE {
  int iLow;
  int iHigh;
};

// ---- Tooltip ----
constexpr UINT TTM_SETDELAYTIME = WM_USER + 3;
constexpr UINT TTM_RELAYEVENT = WM_USER + 7;
constexpr UINT TTM_GETDELAYTIME = WM_USER + 21;
constexpr UINT TTM_SETMAXTIPWIDTH = WM_USER + 24;
constexpr UINT TTM_GETMAXTIPWIDTH = WM_USER + 25;
constexpr DWORD TTS_ALWAYSTIP = 0x01;
constexpr DWORD TTS_NOPREFIX = 0x02;
constexpr DWORD TTDT_AUTOMATIC = 0;
constexpr DWORD TTDT_RESHOW = 1;
constexpr DWORD TTDT_AUTOPOP = 2;
constexpr DWORD TTDT_INITIAL = 3;

// ---- Image lists ----
struct _IMAGELIST;
using HIMAGELIST = _IMAGELIST*;
constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLORDDB = 0x00FE;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;
constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT ILD_BLEND25 = 0x0002;
constexpr UINT ILD_FOCUS = ILD_BLEND25;
constexpr UINT ILD_BLEND50 = 0x0004;
constexpr UINT ILD_SELECTED = ILD_BLEND50;
constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

// Pictures of cx by cy pixels: with ILC_MASK they have clear parts (from a mask bitmap, a mask
// colour or an icon), with ILC_COLOR32 bitmaps with alpha keep it. Null for a size outside
// 1 to 1024.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
// Adds every picture of the bitmap, cut left to right at the list's width (non-black mask
// pixels are clear); the index of the first, -1 on failure.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// The same with the pixels of one colour clear.
int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask);
// Replaces picture i by the icon (i -1 adds it); its index or -1.
int ImageList_ReplaceIcon(HIMAGELIST list, int i, HICON icon);
inline int ImageList_AddIcon(HIMAGELIST list, HICON icon) { return ImageList_ReplaceIcon(list, -1, icon); }
BOOL ImageList_Replace(HIMAGELIST list, int i, HBITMAP image, HBITMAP mask);
// Removes picture i (the later ones move down), or all of them for -1.
BOOL ImageList_Remove(HIMAGELIST list, int i);
inline BOOL ImageList_RemoveAll(HIMAGELIST list) { return ImageList_Remove(list, -1); }
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// A new picture size; the pictures of the old one are removed.
BOOL ImageList_SetIconSize(HIMAGELIST list, int cx, int cy);
// The colour ILD_NORMAL draws under clear parts; CLR_NONE (the start) draws nothing there.
COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF bk);
COLORREF ImageList_GetBkColor(HIMAGELIST list);
// Draws picture i with its top-left at (x, y): ILD_TRANSPARENT (or ILD_NORMAL without a
// background colour) leaves what is under its clear parts, ILD_SELECTED and ILD_FOCUS tint it
// with the highlight colour. DrawEx clips it to dx by dy (0: its size), takes the background
// `bk` (CLR_DEFAULT: the list's) and the tint `fg` (CLR_DEFAULT: the highlight).
BOOL ImageList_Draw(HIMAGELIST list, int i, HDC dc, int x, int y, UINT style);
BOOL ImageList_DrawEx(HIMAGELIST list, int i, HDC dc, int x, int y, int dx, int dy, COLORREF bk, COLORREF fg,
                      UINT style);
// A new icon of picture i (the caller destroys it).
HICON ImageList_GetIcon(HIMAGELIST list, int i, UINT flags);
