// Visible windows on top of the message core: placement, Z-order, painting, input, focus and
// activation, window regions, cursors, menus of the system, the clipboard and device
// notifications. Windows are drawn into memory by the software raster; a backend shows the
// top-level windows (headless: nowhere; x11: one X window each).
//
// Coordinates: a top-level window's rectangle is in screen coordinates, a child's in its
// parent's client coordinates. Each top-level window owns one surface as big as its window;
// children draw into it through device contexts clipped to what of them is visible.
#pragma once

#include <string>

#include "platform/wnd/wnddefs.h"

// Installs the layer into the message core and registers the built-in control classes. Safe
// to call any number of times; every call below does it first.
void InitWindowLayer();

// Calls fn(hwnd, ctx) once, for the next window the calling thread creates, right after its
// handle exists and before it gets any message (the class library subclasses it there).
void HookNextWindowCreation(void (*fn)(HWND, void*), void* ctx);

// ---- Window tree and placement ----
BOOL IsWindowVisible(HWND hwnd);
BOOL IsChild(HWND parent, HWND hwnd);
HWND GetWindow(HWND hwnd, UINT cmd);
HWND GetAncestor(HWND hwnd, UINT flags);
HWND GetTopWindow(HWND hwnd);
HWND GetDesktopWindow();
HWND SetParent(HWND child, HWND newParent);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint);
BOOL BringWindowToTop(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL IsIconic(HWND hwnd);
// The window's show state and its normal (restored) rectangle, also while it is maximised or
// minimised.
BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp);
BOOL GetWindowRect(HWND hwnd, RECT* r);
BOOL GetClientRect(HWND hwnd, RECT* r);
BOOL ScreenToClient(HWND hwnd, POINT* pt);
BOOL ClientToScreen(HWND hwnd, POINT* pt);
int MapWindowPoints(HWND from, HWND to, POINT* pts, UINT count);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
int GetWindowTextLengthW(HWND hwnd);
int GetWindowTextW(HWND hwnd, char16_t* buf, int max);
// Centres the window over `over` (or its owner, or the screen's work area).
BOOL CenterWindowOver(HWND hwnd, HWND over);
// The window's region is owned by the window from now on; null removes it. Region
// coordinates are relative to the window's top-left corner.
int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw);
// Copies the window's region into `rgn`; ERROR when it has none.
int GetWindowRgn(HWND hwnd, HRGN rgn);
// The deepest visible, enabled window at the screen point (regions honoured).
HWND WindowFromPoint(POINT pt);
HWND ChildWindowFromPoint(HWND parent, POINT clientPt);
// The owner of the window (popups) or null.
HWND GetOwner(HWND hwnd);
HWND GetLastActivePopup(HWND hwnd);

// ---- Painting ----
BOOL InvalidateRect(HWND hwnd, const RECT* r, BOOL erase);
BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* r);
BOOL UpdateWindow(HWND hwnd);
BOOL RedrawWindow(HWND hwnd, const RECT* r, HRGN rgn, UINT flags);
BOOL GetUpdateRect(HWND hwnd, RECT* r, BOOL erase);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// A context for the client area (GetDC) or the whole window (GetWindowDC); null gives one
// for the screen that measures and holds a screen-sized picture.
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
// Paints the window (and its children) into the given context, as the screen would show it.
BOOL PrintWindow(HWND hwnd, HDC dc, UINT flags);
// Runs every pending WM_PAINT of the calling thread's windows.
void UpdateAllWindows();
// Writes what the window shows (its part of its top-level surface) as a PNG file.
bool SaveWindowPng(HWND hwnd, const std::string& hostPath);
// The colour the window shows at a point of its window rectangle, or CLR_INVALID.
COLORREF GetWindowPixel(HWND hwnd, int x, int y);

// ---- Input ----
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
short GetKeyState(int vk);
short GetAsyncKeyState(int vk);
BOOL GetCursorPos(POINT* pt);
BOOL SetCursorPos(int x, int y);
HCURSOR LoadCursorW(HINSTANCE instance, const char16_t* name);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// The system cursor id (32512 ...) behind a cursor handle, 0 for others.
uintptr_t CursorId(HCURSOR cursor);
BOOL CreateCaret(HWND hwnd, HBITMAP bm, int width, int height);
BOOL DestroyCaret();
BOOL SetCaretPos(int x, int y);
BOOL GetCaretPos(POINT* pt);
BOOL ShowCaret(HWND hwnd);
BOOL HideCaret(HWND hwnd);

// Input enters here, from the display backend or from tests: screen coordinates, and the
// same routing (capture, regions, hit-testing, double clicks, activation) either way.
// Buttons: 0 left, 1 right, 2 middle.
void InjectMouseMove(int x, int y);
void InjectMouseButton(int button, bool down, int x, int y);
void InjectMouseWheel(int delta, int x, int y);
// A key going down or up; `ch` (when not 0) is the character it types, delivered as WM_CHAR
// after the WM_KEYDOWN.
void InjectKey(UINT vk, bool down, char16_t ch = 0);
// A character without a key (an input method's text): WM_CHAR to the focus.
void InjectChar(char16_t ch);
// Down, character, up.
void InjectKeyPress(UINT vk, char16_t ch = 0);
void InjectText(const CString& text);

// ---- Screen, metrics, colours ----
int GetSystemMetrics(int index);
BOOL SystemParametersInfoW(UINT action, UINT param, void* out, UINT winIni);
// The headless screen's size (default 1280 by 800); the x11 backend takes the display's.
void SetScreenSize(int width, int height);
// The work area that maximised windows fill (SPI_GETWORKAREA); null goes back to the screen
// less a 40-pixel task bar at the bottom. The x11 backend sets the window manager's.
void SetScreenWorkArea(const RECT* area);

// ---- Scroll bars ----
// A window's own scroll bars (SB_HORZ, SB_VERT: drawn in its non-client area when it has
// WS_HSCROLL, WS_VSCROLL) and scroll-bar controls (SB_CTL, the control's handle). The position
// stays within min and max - page + 1. A window's bar hides itself when its range has nothing
// to scroll (or, with SIF_DISABLENOSCROLL, stays and goes grey) and comes back when it has.
// Returns the new position.
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw);
BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info);
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max);
BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show);
BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows);

// ---- Menus (the system menu and simple popup menus as data) ----
HMENU CreatePopupMenu();
HMENU CreateMenu();
BOOL DestroyMenu(HMENU menu);
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, const char16_t* text);
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int pos);
int GetMenuStringW(HMENU menu, UINT item, char16_t* buf, int max, UINT flags);
BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags);
// MF_CHECKED, MF_GRAYED, MF_DISABLED, MF_SEPARATOR of an item; -1 when there is none.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// The previous check state (MF_CHECKED or MF_UNCHECKED), -1 when there is no such item.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
// Bitmaps shown beside the item when it is unchecked and checked; the caller keeps them.
BOOL SetMenuItemBitmaps(HMENU menu, UINT item, UINT flags, HBITMAP unchecked, HBITMAP checked);
// The window's system menu (restore, move, size, minimise, maximise, close); `revert` brings
// it back to the standard items.
HMENU GetSystemMenu(HWND hwnd, BOOL revert);
// Shows the popup menu at the screen point and runs it modally on the calling thread until an
// item is chosen (mouse or keyboard) or the menu is cancelled (Esc, Alt, a click elsewhere).
// The owner gets WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_MENUSELECT, WM_ENTERIDLE while idle,
// and WM_EXITMENULOOP. With TPM_RETURNCMD the chosen id (0 for none) is returned; otherwise
// the choice is posted to the owner as WM_COMMAND (WM_SYSCOMMAND for its system menu) unless
// TPM_NONOTIFY, and the result says whether the menu ran. On the display it grabs the pointer
// and keyboard while it is open.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* ignored);
// Tests choose instead of a user: while a hook is set, TrackPopupMenu shows nothing and takes
// the id the hook returns (0 cancels; an id that is not an enabled item of the menu counts as
// 0). The owner still gets WM_INITMENUPOPUP first. Null removes the hook.
using MenuChoiceHook = UINT (*)(HMENU menu, HWND owner, void* ctx);
void SetMenuChoiceHook(MenuChoiceHook hook, void* ctx);

// ---- Clipboard (within the program) ----
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
HANDLE SetClipboardData(UINT format, HANDLE data);
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
void* GlobalLock(HGLOBAL mem);
BOOL GlobalUnlock(HGLOBAL mem);
HGLOBAL GlobalFree(HGLOBAL mem);
size_t GlobalSize(HGLOBAL mem);
// Text helpers over the calls above.
bool SetClipboardText(const CString& text);
bool GetClipboardText(CString* text);

// ---- Device notifications ----
// The first registration starts the udev monitor, except in tests (KESTREL_TEST set).
HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, const void* filter, DWORD flags);
BOOL UnregisterDeviceNotification(HDEVNOTIFY handle);
// Sends WM_DEVICECHANGE (DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE) with a device
// interface record of `path` to every registered window. The udev monitor calls it; so do
// tests.
void BroadcastDeviceChange(bool arrival, const CString& path);
// Starts the udev monitor of USB disks once (no-op where udev is missing).
bool StartDeviceMonitor();
// The device path that a USB disk gets: "\\?\USBSTOR#Disk&Ven_..&Prod_..&Rev_..#serial&0#{guid}".
CString UsbStorDevicePath(const CString& vendor, const CString& product, const CString& revision,
                          const CString& serial);
