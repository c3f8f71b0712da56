// A display backend shows top-level windows somewhere. The layer calls it without holding its
// lock; the backend reads a surface with CopyWindowSurface. Headless means no backend at all:
// windows live only in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wnd/wnd.h"

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  virtual void WindowShown(HWND top, bool shown) = 0;
  virtual void WindowPlaced(HWND top) = 0;
  virtual void WindowShaped(HWND top) = 0;
  // Part of the surface changed (window coordinates).
  virtual void Present(HWND top, const RECT& r) = 0;
  virtual void WindowDestroyed(HWND top) = 0;
  // The pointer shape changed to the system cursor `id` (32512 ...; 0 for the program's own).
  virtual void CursorChanged(uintptr_t id) { (void)id; }
  // The top-level window became the foreground window; the display gives it the keyboard.
  virtual void WindowActivated(HWND top) { (void)top; }
  // Its title, icons, or its state (maximised, minimised, restored, topmost) changed.
  virtual void WindowTitleChanged(HWND top) { (void)top; }
  virtual void WindowIconChanged(HWND top) { (void)top; }
  virtual void WindowStateChanged(HWND top) { (void)top; }
  // It went to the top of the Z-order (of the topmost band when it is topmost).
  virtual void WindowRestacked(HWND top) { (void)top; }
  // Asks the display (its window manager) to run the move (how 0) or size (WMSZ_ code) of
  // the window that the pointer, pressed at `pt`, started; false when it cannot, and the layer
  // runs its own loop. MoveSizeActive stays true until the display's loop has ended.
  virtual bool BeginMoveSize(HWND top, int how, POINT pt) {
    (void)top, (void)how, (void)pt;
    return false;
  }
  virtual bool MoveSizeActive(HWND top) {
    (void)top;
    return false;
  }
  // Takes all pointer and keyboard input of the display for the window (a popup menu), or
  // lets go of it.
  virtual void GrabInput(HWND top, bool on) { (void)top, (void)on; }
  // Lets go of the display; called when another backend is selected.
  virtual void Shutdown() {}
};

// What the display did to a top-level window on its own (a window manager, a user at the
// display): callable from any thread, each takes effect on the window's own thread.
void DisplayPlacedWindow(HWND top, const RECT& r);  // moved or sized it (screen coordinates)
void DisplayActivatedWindow(HWND top);              // gave it the keyboard
void DisplayDeactivatedWindow(HWND top);            // gave the keyboard to another program
void DisplayShowState(HWND top, int cmd);           // minimised (SW_MINIMIZE) or restored it
void DisplayCloseRequest(HWND top);                 // asked it to close (WM_SYSCOMMAND SC_CLOSE)
// The display's word on whether a key is held, where the program may have missed its going
// up or down (the keyboard was elsewhere meanwhile).
void DisplayKeyState(UINT vk, bool down);

DisplayBackend* CurrentBackend();
// "headless" or "x11".
std::string BackendName();
// Whether the x11 backend shows surfaces through shared memory (MIT-SHM) now.
bool X11BackendUsesSharedMemory();
// How many move and size loops the x11 backend handed to the window manager so far.
int X11MoveSizeHandOffs();
// Chooses the backend: "x11" when asked (or when `name` is empty and DISPLAY is set outside
// tests) and the display opens; otherwise headless. True when the asked one was had.
bool SelectBackend(const std::string& name);

// Copies the part `r` (window coordinates, clipped to the surface) of the top-level window's
// surface as 32-bit BGRX rows; false when there is none.
bool CopyWindowSurface(HWND top, RECT* r, std::vector<uint32_t>* pixels);
// Copies the part `r` (window coordinates, inside the surface) of the top-level window's
// surface as 32-bit BGRX rows to `dst` (the pixel for r's top-left), `dstStride` bytes apart.
bool CopyWindowSurfaceRows(HWND top, const RECT& r, uint8_t* dst, size_t dstStride);
// The window's region (window coordinates) and whether it has one.
bool GetWindowRegionRects(HWND top, std::vector<RECT>* rects);
// The smallest and largest size the window takes (WM_GETMINMAXINFO); sent to the window, so
// called on its thread or where a cross-thread send is safe.
bool GetTrackSizeLimits(HWND top, SIZE* minSize, SIZE* maxSize);
// The icons WM_SETICON gave the window (either may be null).
void GetWindowIcons(HWND top, HICON* big, HICON* small);
