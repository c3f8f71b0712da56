// What the display does to top-level windows on its own: a window manager moves, sizes,
// focuses, minimises or closes them. The backend reports each from its event thread; each
// travels as raw input to the window's thread and takes effect there, in order with the
// window's mouse and keyboard input.
#include <algorithm>

#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

namespace {

enum DisplayKind : WPARAM { kPlaced = kFirstDisplayEvent, kActivated, kDeactivated, kShowState };

void PostDisplayEvent(HWND top, WPARAM w, LPARAM l) {
  if (top && IsWindow(top)) PostMessageW(top, WM_KESTREL_RAWINPUT, w, l);
}

// The enabled window that stands for a top-level: itself, or the popup that disables it (a
// modal dialog over it).
HWND EnabledStandIn(HWND top) {
  if (IsWindowEnabled(top)) return top;
  HWND popup = GetLastActivePopup(top);
  return popup && popup != top && IsWindowEnabled(popup) ? popup : nullptr;
}

}  // namespace

void DisplayPlacedWindow(HWND top, const RECT& r) {
  // The position goes in lParam as two 32-bit halves, the size in the high bits of wParam.
  const uint64_t cx = uint64_t(std::max<LONG>(0, r.right - r.left)) & 0xFFFFFF;
  const uint64_t cy = uint64_t(std::max<LONG>(0, r.bottom - r.top)) & 0xFFFFFF;
  const WPARAM w = WPARAM(kPlaced | (cx << 16) | (cy << 40));
  const LPARAM l = LPARAM(uint64_t(uint32_t(r.left)) | (uint64_t(uint32_t(r.top)) << 32));
  PostDisplayEvent(top, w, l);
}

void DisplayActivatedWindow(HWND top) { PostDisplayEvent(top, kActivated, 0); }
void DisplayDeactivatedWindow(HWND top) { PostDisplayEvent(top, kDeactivated, 0); }
void DisplayShowState(HWND top, int cmd) { PostDisplayEvent(top, WPARAM(kShowState | (WPARAM(cmd & 0xFF) << 16)), 0); }

void DisplayCloseRequest(HWND top) {
  if (!IsWindow(top)) return;
  // A window that a modal dialog disables brings that dialog forward instead of closing.
  if (!IsWindowEnabled(top)) {
    DisplayActivatedWindow(top);
    return;
  }
  PostMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void DisplayKeyState(UINT vk, bool down) {
  LayerLock g(Layer().m);
  BYTE& k = Layer().keys[vk & 0xFF];
  k = down ? BYTE(k | 0x80) : BYTE(k & ~0x80);
}

bool CookDisplayEvent(MSG* m) {
  HWND top = m->hwnd;
  if (!IsWindow(top)) return false;
  const WPARAM w = m->wParam;
  switch (w & 0xF) {
    case kPlaced: {
      const uint64_t l = uint64_t(m->lParam);
      const int x = int(int32_t(uint32_t(l))), y = int(int32_t(uint32_t(l >> 32)));
      const int cx = int((uint64_t(w) >> 16) & 0xFFFFFF), cy = int((uint64_t(w) >> 40) & 0xFFFFFF);
      SetWindowPos(top, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
      return false;
    }
    case kActivated:
      if (HWND h = EnabledStandIn(top)) SetActiveWindow(h);
      return false;
    case kDeactivated: {
      bool wasFront = false;
      {
        LayerLock g(Layer().m);
        if (Layer().foreground == top) Layer().foreground = nullptr, wasFront = true;
      }
      if (wasFront) {
        SendMessageW(top, WM_NCACTIVATE, FALSE, 0);
        SendMessageW(top, WM_ACTIVATE, WA_INACTIVE, 0);
      }
      return false;
    }
    case kShowState: ShowWindow(top, int((w >> 16) & 0xFF)); return false;
    default: return false;
  }
}
