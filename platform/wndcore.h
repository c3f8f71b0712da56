// The message core: window handles, one message queue per thread that owns a window, sent and
// posted messages across threads, timers and message loops. It knows nothing of a display;
// the visible-window layer builds on it (same handles, same queues, same loops), so engine
// threads talk to windows through these calls and tests run headless.
//
// SendMessageW to a window of another thread blocks until the owner's thread handles it in
// any message loop (GetMessageW, PeekMessageW, a modal loop) or while that thread itself waits
// in SendMessageW; a sender keeps answering messages sent to its own windows while it waits,
// so two threads sending to each other never deadlock. A message sent to a window whose thread
// has ended, or that is destroyed before it is handled, returns 0.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/cstring.h"
#include "platform/wintypes.h"

struct HWND__;
using HWND = HWND__*;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  void* hInstance;
  void* hMenu;
  HWND hwndParent;
  int cy, cx, y, x;
  LONG style;
  const char16_t* lpszName;
  const char16_t* lpszClass;
  DWORD dwExStyle;
};

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  void* hInstance;
  void* hIcon;
  void* hCursor;
  void* hbrBackground;
  const char16_t* lpszMenuName;
  const char16_t* lpszClassName;
};

// Messages of the core.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// The parent of a window that only receives messages.
inline HWND const HWND_MESSAGE = reinterpret_cast<HWND>(intptr_t(-3));

constexpr int GCL_STYLE = -26;
constexpr int GCLP_HBRBACKGROUND = -10;
constexpr int GCLP_HCURSOR = -12;
constexpr int GCLP_HICON = -14;

constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;

// Window classes. The class name is compared without regard to case.
BOOL RegisterClassW(const WNDCLASSW* wc);
// Creates a window owned by the calling thread; sends WM_NCCREATE and WM_CREATE. Null when the
// class is unknown or either message refuses (WM_NCCREATE returning 0, WM_CREATE returning -1).
HWND CreateWindowExW(DWORD exStyle, const char16_t* className, const char16_t* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, void* menuOrId, void* instance,
                     LPVOID param);
// Destroys the window and its children (WM_DESTROY, then WM_NCDESTROY); the handle becomes
// invalid. Only the owner thread may destroy a window.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);
HWND GetParent(HWND hwnd);
int GetDlgCtrlID(HWND hwnd);
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
// ---- Private data of a window ----
// The state a window's class procedure keeps (a control's check state, a list's rows) lives in
// one object owned by the window, not in tables beside it: the procedure sets it when the
// window is made and the core lets go of it after WM_NCDESTROY (or when the owner thread
// ends). A procedure keeps the pointer it got while it works, so a handler that destroys its
// own window never reads freed state. Only the class procedure that set the object uses it;
// what other threads may touch in it is that class's business.
struct WindowData {
  virtual ~WindowData() = default;
};
void SetWindowData(HWND hwnd, std::shared_ptr<WindowData> data);
std::shared_ptr<WindowData> GetWindowData(HWND hwnd);
// The window's data as a T, or null when it has none of that type.
template <typename T>
std::shared_ptr<T> WindowDataOf(HWND hwnd) {
  return std::dynamic_pointer_cast<T>(GetWindowData(hwnd));
}
// The window's data as a T, made (default-constructed) the first time it is asked for. Never
// null: a window that is gone gets a fresh object that nobody keeps.
template <typename T>
std::shared_ptr<T> EnsureWindowData(HWND hwnd) {
  auto d = WindowDataOf<T>(hwnd);
  if (!d) {
    d = std::make_shared<T>();
    SetWindowData(hwnd, d);
  }
  return d;
}

// Sends WM_SETTEXT; the default handling stores the text.
BOOL SetWindowTextW(HWND hwnd, const CString& text);
CString GetWindowTextString(HWND hwnd);
CString GetWindowClassName(HWND hwnd);
// What the window's class was registered with: GCL_STYLE, GCLP_HBRBACKGROUND, GCLP_HCURSOR,
// GCLP_HICON.
ULONG_PTR GetClassLongPtrW(HWND hwnd, int index);
LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// The default handling of a message the window procedure does not handle itself.
LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// 1 with a message, 0 with WM_QUIT, -1 on an invalid filter window.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
// Blocks until a message arrives in the calling thread's queue (sent ones are handled).
BOOL WaitMessage();
// Handles every message sent to the calling thread's windows that is waiting; returns how many.
int PumpSentMessages();
// True when the calling thread is handling a message sent from another thread.
BOOL InSendMessage();

// Timers post WM_TIMER (or call the timer procedure) to the window's thread at the period.
// Setting an existing (window, id) pair restarts it. Returns the id, 0 on failure.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// The clock behind timers and message times. Tests switch to a virtual clock and move it on;
// message loops then see exactly the timers that fell due.
void UseVirtualMessageClock(bool on);
void AdvanceVirtualMessageClock(uint64_t ms);
uint64_t MessageClockNow();

// ---- Extension point of the visible-window layer ----
// The layer that gives windows a place on a screen installs these once; every member may be
// null. The core calls them without holding any lock of its own.
struct WindowLayerHooks {
  // After the handle exists, before WM_NCCREATE.
  void (*created)(HWND hwnd, const CREATESTRUCTW* cs);
  // Before WM_DESTROY of the window (children follow), and after WM_NCDESTROY.
  void (*destroying)(HWND hwnd);
  void (*destroyed)(HWND hwnd);
  // The default handling of messages the core does not know; true when it handled one.
  bool (*defProc)(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // A window of the thread that needs WM_PAINT (ranked after posted messages, before timers),
  // or null. Called with the thread's queue locked: it must not post, send or wake.
  HWND (*pendingPaint)(DWORD threadId, HWND filter);
  // Turns a raw input message (WM_KESTREL_RAWINPUT) that a loop took into the message it
  // delivers; false drops it. Runs on the window's thread before the loop returns it.
  bool (*cookInput)(MSG* msg);
};
void InstallWindowLayer(const WindowLayerHooks& hooks);
// Raw mouse and keyboard input on its way to a window; loops never return it as such.
constexpr UINT WM_KESTREL_RAWINPUT = 0x03FF;
constexpr UINT WM_PAINT_CORE = 0x000F;  // WM_PAINT, which the core synthesises for the layer
// Wakes the thread's message loop so that it looks for paint work again.
void WakeMessageThread(DWORD threadId);
// Puts a message at the head of the calling thread's posted messages.
void PostMessageFront(const MSG& msg);
