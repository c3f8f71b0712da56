// The layer's own record of every window and the state shared by placement, painting and
// input. Only files of this folder include it.
//
// Locking: one recursive mutex guards everything here. Nothing is sent, posted, woken or
// called back while it is held (the core calls pendingPaint with a queue locked, so taking a
// queue lock under this one could deadlock).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sync.h"
#include "platform/wnd/wnd.h"

// A scroll bar's values (a window's own two bars live in its record, a scroll-bar control's
// in its window data) and how it shows while the mouse holds a part of it.
struct ScrollBarState {
  int min = 0, max = 100, page = 0, pos = 0;
  int trackPos = 0;
  bool tracking = false;  // the thumb is dragged: drawn at trackPos
  int pressed = 0;        // the part held down (ScrollPart), drawn pressed
  bool disabled = false;  // nothing to scroll and kept on show (SIF_DISABLENOSCROLL), or disabled
};

struct VisWindow {
  HWND hwnd = nullptr;
  DWORD thread = 0;
  HWND parent = nullptr;  // set for child windows
  HWND owner = nullptr;   // set for owned top-level windows
  std::vector<HWND> children;  // Z-order, topmost first
  RECT rect{};          // screen (top-level) or parent client coordinates (child)
  RECT client{};        // client area relative to the window's top-left corner
  std::vector<RECT> update;  // client coordinates, banded
  bool erase = false;
  bool ncDirty = false;
  bool hasRegion = false;
  std::vector<RECT> region;  // window coordinates
  HBITMAP surface = nullptr;  // top-level windows
  bool zoomed = false;
  bool iconic = false;
  RECT restore{};
  bool trackLeave = false;
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  HMENU sysMenu = nullptr;
  HWND lastActivePopup = nullptr;
  LRESULT pressedCaptionButton = 0;  // HTCLOSE, HTMINBUTTON or HTMAXBUTTON while held down
  ScrollBarState bars[2];            // SB_HORZ and SB_VERT, shown with WS_HSCROLL and WS_VSCROLL
  int wheelRest = 0;                 // wheel turns that made no whole line yet
  void* backend = nullptr;  // the display backend's data of a top-level window
};

struct LayerState {
  std::recursive_mutex m;
  std::map<HWND, std::unique_ptr<VisWindow>> wins;
  std::vector<HWND> topLevels;  // Z-order, topmost first
  HWND capture = nullptr;
  HWND foreground = nullptr;
  HWND keyFront = nullptr;  // a clicked top-level that keys go to until its thread takes the click
  HWND pressWnd = nullptr;  // where the buttons now held were pressed
  int pressButtons = 0;     // the buttons held, as they were injected (bit per button)
  std::map<DWORD, HWND> focus;
  std::map<DWORD, HWND> active;
  POINT cursorPos{0, 0};
  HCURSOR cursor = nullptr;
  int screenW = 1280;
  int screenH = 800;
  bool hasWorkArea = false;  // set by a display that knows it; else the screen less a task bar
  RECT workArea{};
  BYTE keys[256] = {};  // 0x80 down, 0x01 toggled
  // The last button press, for double clicks.
  HWND lastClickWnd = nullptr;
  int lastClickButton = -1;
  DWORD lastClickTime = 0;
  POINT lastClickPos{0, 0};
  bool lastClickNc = false;
};

LayerState& Layer();
using LayerLock = std::lock_guard<std::recursive_mutex>;

// Under the lock.
VisWindow* Vis(HWND h);
DWORD StyleOf(HWND h);
DWORD ExStyleOf(HWND h);
bool IsChildStyle(HWND h);
HWND TopLevelOf(HWND h);
POINT WindowOrigin(const VisWindow* v);   // screen position of the window's top-left
POINT ClientOrigin(const VisWindow* v);   // screen position of client (0, 0)
POINT SurfaceOrigin(const VisWindow* v);  // the window's top-left in its top-level surface
bool IsShownChain(const VisWindow* v);    // visible, and every ancestor too
// What of the window (client part or whole) shows, in surface coordinates.
std::vector<RECT> VisibleInSurface(const VisWindow* v, bool clientOnly);
// Adds to the update region (client coordinates); children follow when the window does not
// clip them or `allChildren`. Collects the threads to wake.
void AddUpdate(VisWindow* v, std::vector<RECT> rgn, bool erase, bool allChildren, std::vector<DWORD>* wake);
// Frame widths (left, top, right, bottom) that the style gives the non-client area; with the
// window scroll bars, NonClientInsets.
RECT FrameInsets(DWORD style, DWORD exStyle);
RECT NonClientInsets(DWORD style, DWORD exStyle);
constexpr int kScrollBarSize = 17;  // SM_CXVSCROLL, SM_CYHSCROLL

// Draws the scroll bars of the window's non-client area.
void DrawWindowScrollBars(HWND hwnd, HDC windowDc);
// Runs the modal loop of a press on a scroll bar: SB_HORZ or SB_VERT of the window, or SB_CTL
// for a scroll-bar control; `pt` in screen coordinates.
void TrackScrollBar(HWND hwnd, int bar, POINT pt);
// The window scroll bar's rectangle in window coordinates, empty when it has none.
RECT WindowScrollBarRect(HWND hwnd, int bar);
LRESULT ScrollBarProc(HWND h, UINT msg, WPARAM w, LPARAM l);

// Without the lock.
void WakeThreads(const std::vector<DWORD>& threads);
HWND PendingPaint(DWORD thread, HWND filter);
bool CookInput(MSG* msg);
// Events of the display (display.cpp) travel as raw input of these kinds and up, so that they
// take effect on the window's own thread in order with its input.
constexpr WPARAM kFirstDisplayEvent = 8;
bool CookDisplayEvent(MSG* msg);
bool LayerDefProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
void LayerWindowCreated(HWND hwnd, const CREATESTRUCTW* cs);
void RecordCreated(HWND hwnd, const CREATESTRUCTW* cs);
void LayerWindowDestroying(HWND hwnd);
void LayerWindowDestroyed(HWND hwnd);
// The device context of a window on its surface: origin at the client or window corner,
// drawing kept inside `vis` (surface coordinates).
HDC MakeWindowDc(HWND hwnd, bool client, const std::vector<RECT>* limit);
// Tells the backend that part of a top-level surface changed (window coordinates).
void PresentSurface(HWND top, const RECT& r);
// Sends WM_NCPAINT and paints the frame with the default look.
void DrawDefaultFrame(HWND hwnd, HDC dc);
// Tracks a press on a caption button of the default frame until the button is let go.
void TrackCaptionButton(HWND hwnd, LRESULT hit);
// Runs the modal move or size loop of a top-level window; `how` is 0 to move or WMSZ_ code.
void RunSizeMoveLoop(HWND hwnd, int how);
// Focus and activation bookkeeping when a window is hidden or destroyed.
void ForgetFocusAndActivation(HWND hwnd);
// The items of a menu as the popup shows them.
struct MenuItemInfo {
  UINT flags;
  UINT_PTR id;
  CString text;
  HBITMAP checked;
  HBITMAP unchecked;
};
bool ReadMenuItems(HMENU menu, std::vector<MenuItemInfo>* items);
bool IsSystemMenuOf(HWND hwnd, HMENU menu);
// Shows the window's system menu at the screen point, with its items greyed as the window's
// state says; the choice goes to the window as WM_SYSCOMMAND.
void TrackSystemMenu(HWND hwnd, POINT pt);
void RegisterControlClasses();
// The class procedures of the built-in controls.
LRESULT ButtonProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT StaticProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT EditProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT ProgressProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT ToolTipProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT HeaderProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT ListViewProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT TreeViewProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT MenuPopupProc(HWND h, UINT msg, WPARAM w, LPARAM l);
