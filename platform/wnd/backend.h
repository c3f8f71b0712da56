// A display backend shows top-level windows somewhere. The layer calls it without holding its
// lock; the backend reads a surface with CopyWindowSurface. Headless means no backend at all:
// windows live only in memory.
#pragma once

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
  // Lets go of the display; called when another backend is selected.
  virtual void Shutdown() {}
};

DisplayBackend* CurrentBackend();
// "headless" or "x11".
std::string BackendName();
// Chooses the backend: "x11" when asked (or when `name` is empty and DISPLAY is set outside
// tests) and the display opens; otherwise headless. True when the asked one was had.
bool SelectBackend(const std::string& name);

// Copies the part `r` (window coordinates, clipped to the surface) of the top-level window's
// surface as 32-bit BGRX rows; false when there is none.
bool CopyWindowSurface(HWND top, RECT* r, std::vector<uint32_t>* pixels);
// The window's region (window coordinates) and whether it has one.
bool GetWindowRegionRects(HWND top, std::vector<RECT>* rects);
