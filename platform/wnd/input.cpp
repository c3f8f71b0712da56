// Input: injection (the backend and tests), cooking raw input into window messages on the
// window's own thread, capture, leave tracking, focus and activation, key state, cursors and
// the caret.
#include <algorithm>
#include <cstdlib>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"
#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

namespace {

// Raw input kinds in the low four bits of wParam; display events (display.cpp) use 8 and up.
enum RawKind : WPARAM { kMove = 1, kButton = 2, kWheel = 3, kKey = 4, kChar = 5 };

WPARAM PackRaw(WPARAM kind, int button, bool down, int extra) {
  return kind | (WPARAM(button & 3) << 4) | (down ? 0x40 : 0) | (WPARAM(WORD(extra)) << 16);
}

const UINT kButtonVk[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};

WPARAM MouseKeys() {
  const BYTE* k = Layer().keys;
  WPARAM f = 0;
  if (k[VK_LBUTTON] & 0x80) f |= MK_LBUTTON;
  if (k[VK_RBUTTON] & 0x80) f |= MK_RBUTTON;
  if (k[VK_MBUTTON] & 0x80) f |= MK_MBUTTON;
  if (k[VK_SHIFT] & 0x80) f |= MK_SHIFT;
  if (k[VK_CONTROL] & 0x80) f |= MK_CONTROL;
  return f;
}

void PostRaw(HWND target, WPARAM w, LPARAM l) {
  if (target) PostMessageW(target, WM_KESTREL_RAWINPUT, w, l);
}

void InjectMouse(WPARAM kind, int button, bool down, int delta, int x, int y) {
  InitWindowLayer();
  HWND target = nullptr;
  std::vector<HWND> leave;
  {
    LayerLock g(Layer().m);
    if (Layer().capture && Vis(Layer().capture)) {
      target = Layer().capture;
    } else {
      Layer().capture = nullptr;
      target = WindowFromPoint(POINT{x, y});
      // A disabled window (a modal dialog's owner) takes no input.
      if (target && (StyleOf(TopLevelOf(target)) & WS_DISABLED)) target = nullptr;
      // While a button pressed on a window is held, the input stays with that window's thread,
      // wherever the pointer goes: the press may be starting a capture (a drag, a menu) that
      // the thread has not taken yet, and it decides when it takes the input.
      HWND pressed = Layer().pressWnd;
      if (Layer().pressButtons && pressed && Vis(pressed)) {
        if (!target || Vis(target)->thread != Vis(pressed)->thread) target = pressed;
      }
      // Keys typed after this click belong to the clicked window's thread, even before that
      // thread has taken the click and brought its window to the front.
      if (target && kind == kButton && down) {
        HWND top = TopLevelOf(target);
        Layer().keyFront = top != Layer().foreground ? top : nullptr;
      }
    }
    if (kind == kButton) {
      const int bit = 1 << (button & 3);
      if (down && !Layer().pressButtons) Layer().pressWnd = target;
      Layer().pressButtons = down ? Layer().pressButtons | bit : Layer().pressButtons & ~bit;
      if (!Layer().pressButtons) Layer().pressWnd = nullptr;
    }
    for (auto& kv : Layer().wins) {
      VisWindow* v = kv.second.get();
      if (v->trackLeave && v->hwnd != target && v->hwnd != Layer().capture) {
        v->trackLeave = false;
        leave.push_back(v->hwnd);
      }
    }
    if (!target) {
      Layer().cursorPos = POINT{x, y};
      if (kind == kButton) {
        BYTE& k = Layer().keys[kButtonVk[button & 3]];
        k = down ? BYTE(k | 0x80) : BYTE(k & ~0x80);
      }
    }
  }
  for (HWND h : leave) PostMessageW(h, WM_MOUSELEAVE, 0, 0);
  PostRaw(target, PackRaw(kind, button, down, delta), MAKELPARAM(x, y));
}

// Whether a key (or, with vk 0, a character) comes as a system key: Alt is held without Ctrl,
// or the key is F10. Under the layer's lock.
bool AltMenuKeys(UINT vk, bool down) {
  (void)down;
  const BYTE* k = Layer().keys;
  if (vk == VK_F10) return true;
  return (k[VK_MENU] & 0x80) && !(k[VK_CONTROL] & 0x80);
}

HWND KeyTarget() {
  LayerLock g(Layer().m);
  HWND fg = Layer().keyFront && Vis(Layer().keyFront) ? Layer().keyFront : Layer().foreground;
  if (!fg || !Vis(fg)) return nullptr;
  DWORD t = Vis(fg)->thread;
  auto it = Layer().focus.find(t);
  if (it != Layer().focus.end() && it->second && Vis(it->second)) return it->second;
  return fg;
}

bool CookMouse(MSG* m, WPARAM kind, int button, bool down, int delta) {
  const int x = GET_X_LPARAM(m->lParam), y = GET_Y_LPARAM(m->lParam);
  HWND target = m->hwnd;
  bool captured = false;
  WPARAM keys = 0;
  {
    LayerLock g(Layer().m);
    Layer().cursorPos = POINT{x, y};
    if (kind == kButton) {
      BYTE& k = Layer().keys[kButtonVk[button & 3]];
      k = down ? BYTE(k | 0x80) : BYTE(k & ~0x80);
    }
    keys = MouseKeys();
    if (Layer().capture && Vis(Layer().capture) && Vis(Layer().capture)->thread == GetCurrentThreadId()) {
      target = Layer().capture;
      captured = true;
    }
  }
  // Once a click is taken, keys follow the foreground again (this click may have changed it).
  struct ClearKeyFront {
    bool on;
    ~ClearKeyFront() {
      if (!on) return;
      LayerLock g(Layer().m);
      Layer().keyFront = nullptr;
    }
  } clearKeyFront{kind == kButton && down};
  if (!IsWindow(target)) return false;
  LRESULT hit = HTCLIENT;
  if (!captured) {
    for (int i = 0; i < 64; ++i) {
      hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(x, y));
      if (hit != HTTRANSPARENT) break;
      HWND p = IsChildStyle(target) ? GetParent(target) : nullptr;
      if (!p) return false;
      target = p;
    }
  }
  if (kind == kWheel) {
    HWND f = GetFocus();
    m->hwnd = f ? f : target;
    m->message = WM_MOUSEWHEEL;
    m->wParam = MAKEWPARAM(int(keys), delta);
    m->lParam = MAKELPARAM(x, y);
    m->pt = POINT{x, y};
    return true;
  }
  const bool client = captured || hit == HTCLIENT;
  UINT msg = WM_MOUSEMOVE;
  if (kind == kButton) {
    static const UINT downMsg[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT upMsg[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    msg = down ? downMsg[button & 3] : upMsg[button & 3];
  }
  if (!captured) SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(int(hit), int(msg)));
  if (kind == kButton && down && !captured) {
    // A click brings its top-level window to the front even when it is already the active
    // window of its own thread: a window of another thread may be in front of it.
    HWND top = GetAncestor(target, GA_ROOT);
    if (top && (top != GetActiveWindow() || top != GetForegroundWindow())) {
      LRESULT r = SendMessageW(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(int(hit), int(msg)));
      if (r == MA_ACTIVATE || r == MA_ACTIVATEANDEAT) SetActiveWindow(top);
      if (r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT) return false;
      if (!IsWindow(target)) return false;
    }
  }
  bool dbl = false;
  if (kind == kButton && down) {
    const bool wantsDbl = !client || (GetClassLongPtrW(target, GCL_STYLE) & CS_DBLCLKS);
    LayerLock g(Layer().m);
    auto& L = Layer();
    const int half = 2;
    if (L.lastClickWnd == target && L.lastClickButton == button && L.lastClickNc == !client &&
        m->time - L.lastClickTime <= 500 && std::abs(L.lastClickPos.x - x) <= half &&
        std::abs(L.lastClickPos.y - y) <= half && wantsDbl) {
      dbl = true;
      L.lastClickWnd = nullptr;  // a third click is a plain one again
    } else {
      L.lastClickWnd = target;
      L.lastClickButton = button;
      L.lastClickNc = !client;
      L.lastClickTime = m->time;
      L.lastClickPos = POINT{x, y};
    }
  }
  if (dbl) msg += 2;  // WM_xBUTTONDOWN + 2 is the double click
  m->hwnd = target;
  m->pt = POINT{x, y};
  if (client) {
    POINT p{x, y};
    ScreenToClient(target, &p);
    m->message = msg;
    m->wParam = keys;
    m->lParam = MAKELPARAM(p.x, p.y);
  } else {
    m->message = msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    m->wParam = WPARAM(hit);
    m->lParam = MAKELPARAM(x, y);
  }
  return true;
}

// The window that was in front, when it belongs to another thread than the one taking the
// front, hears that it lost it. Posted, not sent: that thread may be busy, and a click must not
// wait for it.
void DeactivateFront(HWND oldFront, HWND newFront, HWND oldActiveHere) {
  if (!oldFront || oldFront == newFront || oldFront == oldActiveHere || !IsWindow(oldFront)) return;
  if (GetWindowThreadProcessId(oldFront, nullptr) == GetCurrentThreadId()) return;
  PostMessageW(oldFront, WM_NCACTIVATE, FALSE, 0);
  PostMessageW(oldFront, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(newFront));
}

// System cursors, made once.
std::map<uintptr_t, HCURSOR>& Cursors() {
  static auto& m = *new std::map<uintptr_t, HCURSOR>;
  return m;
}

struct Caret {
  HWND owner = nullptr;
  int width = 0, height = 0;
  POINT pos{0, 0};
  int hide = 1;
};
Caret& TheCaret() {
  static Caret& c = *new Caret;
  return c;
}

}  // namespace

bool CookInput(MSG* m) {
  const WPARAM w = m->wParam;
  const WPARAM kind = w & 0xF;
  const int button = int((w >> 4) & 3);
  const bool down = (w & 0x40) != 0;
  const int extra = int(int16_t(WORD(w >> 16)));
  if (kind == kMove || kind == kButton || kind == kWheel) return CookMouse(m, kind, button, down, extra);
  if (kind >= kFirstDisplayEvent) return CookDisplayEvent(m);
  const UINT vk = UINT(WORD(w >> 16));
  if (kind == kKey || kind == kChar) {
    // Keys go to whichever window has the focus when the thread takes them.
    if (HWND f = GetFocus()) m->hwnd = f;
    else if (HWND a = GetActiveWindow()) m->hwnd = a;
  }
  bool sys = false;
  if (kind == kKey) {
    {
      LayerLock g(Layer().m);
      BYTE& k = Layer().keys[vk & 0xFF];
      if (down) k = BYTE((k & 0x80) ? k : ((k ^ 0x01) | 0x80));
      else k = BYTE(k & ~0x80);
      sys = AltMenuKeys(vk, down);
    }
    if (!IsWindow(m->hwnd)) return false;
    // With Alt held (and not Ctrl, which makes it AltGr), and for F10, keys are system keys.
    m->message = sys ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    m->wParam = vk;
    m->lParam = LPARAM((down ? 1u : 0xC0000001u) | (sys && vk != VK_F10 ? 0x20000000u : 0u));
    return true;
  }
  if (kind == kChar) {
    {
      LayerLock g(Layer().m);
      sys = AltMenuKeys(0, true);
    }
    if (!IsWindow(m->hwnd)) return false;
    m->message = sys ? WM_SYSCHAR : WM_CHAR;
    m->wParam = WPARAM(WORD(w >> 16));
    m->lParam = sys ? LPARAM(0x20000001) : 1;
    return true;
  }
  return false;
}

void InjectMouseMove(int x, int y) { InjectMouse(kMove, 0, false, 0, x, y); }
void InjectMouseButton(int button, bool down, int x, int y) { InjectMouse(kButton, button, down, 0, x, y); }
void InjectMouseWheel(int delta, int x, int y) { InjectMouse(kWheel, 0, false, delta, x, y); }

void InjectKey(UINT vk, bool down, char16_t ch) {
  InitWindowLayer();
  HWND t = KeyTarget();
  if (!t) {
    // Nobody has the keyboard: the key state still changes.
    LayerLock g(Layer().m);
    BYTE& k = Layer().keys[vk & 0xFF];
    if (down) k = BYTE((k & 0x80) ? k : ((k ^ 0x01) | 0x80));
    else k = BYTE(k & ~0x80);
    return;
  }
  PostRaw(t, PackRaw(kKey, 0, down, int(vk & 0xFFFF)), 0);
  if (down && ch) PostRaw(t, PackRaw(kChar, 0, false, int(ch)), 0);
}

void InjectChar(char16_t ch) {
  InitWindowLayer();
  PostRaw(KeyTarget(), PackRaw(kChar, 0, false, int(ch)), 0);
}

void InjectKeyPress(UINT vk, char16_t ch) {
  InjectKey(vk, true, ch);
  InjectKey(vk, false);
}

void InjectText(const CString& text) {
  for (int i = 0; i < text.GetLength(); ++i) {
    char16_t c = text[i];
    UINT vk = (c >= u'a' && c <= u'z') ? UINT(c - u'a' + 'A') : UINT(c);
    InjectKeyPress(vk, c);
  }
}

// ---- Capture and tracking ----

HWND SetCapture(HWND hwnd) {
  HWND old = nullptr;
  {
    LayerLock g(Layer().m);
    if (hwnd && !Vis(hwnd)) return nullptr;
    old = Layer().capture;
    Layer().capture = hwnd;
  }
  if (old && old != hwnd) SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  HWND old = nullptr;
  {
    LayerLock g(Layer().m);
    old = Layer().capture;
    Layer().capture = nullptr;
  }
  if (old) SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() {
  LayerLock g(Layer().m);
  return Layer().capture;
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
  if (!tme || !(tme->dwFlags & TME_LEAVE)) return tme != nullptr;
  bool leaveNow = false;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(tme->hwndTrack);
    if (!v) return FALSE;
    if (tme->dwFlags & TME_CANCEL) {
      v->trackLeave = false;
      return TRUE;
    }
    HWND under = WindowFromPoint(Layer().cursorPos);
    if (under != tme->hwndTrack && Layer().capture != tme->hwndTrack) leaveNow = true;
    else v->trackLeave = true;
  }
  if (leaveNow) PostMessageW(tme->hwndTrack, WM_MOUSELEAVE, 0, 0);
  return TRUE;
}

// ---- Focus and activation ----

HWND GetFocus() {
  LayerLock g(Layer().m);
  auto it = Layer().focus.find(GetCurrentThreadId());
  return it == Layer().focus.end() ? nullptr : it->second;
}

HWND GetActiveWindow() {
  LayerLock g(Layer().m);
  auto it = Layer().active.find(GetCurrentThreadId());
  return it == Layer().active.end() ? nullptr : it->second;
}

HWND GetForegroundWindow() {
  LayerLock g(Layer().m);
  return Layer().foreground;
}

BOOL SetForegroundWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) return FALSE;
  HWND top = GetAncestor(hwnd, GA_ROOT);
  if (GetWindowThreadProcessId(top, nullptr) == GetCurrentThreadId()) {
    SetActiveWindow(top);
  } else {
    LayerLock g(Layer().m);
    Layer().foreground = top;
  }
  return TRUE;
}

HWND SetActiveWindow(HWND hwnd) {
  const DWORD me = GetCurrentThreadId();
  if (hwnd) {
    if (!IsWindow(hwnd) || GetWindowThreadProcessId(hwnd, nullptr) != me) return nullptr;
    hwnd = GetAncestor(hwnd, GA_ROOT);
  }
  HWND old = nullptr, oldFront = nullptr;
  {
    LayerLock g(Layer().m);
    old = Layer().active[me];
    oldFront = Layer().foreground;
    // Already active and in front: nothing to do. Active in its thread but behind a window of
    // another thread: it comes to the front and hears of it again.
    if (old == hwnd && (!hwnd || oldFront == hwnd)) return old;
    Layer().active[me] = hwnd;
    if (hwnd) {
      Layer().foreground = hwnd;
      // The owner remembers its last active popup.
      HWND o = hwnd;
      for (int i = 0; i < 1000; ++i) {
        VisWindow* ov = Vis(o);
        if (!ov || !ov->owner) break;
        o = ov->owner;
      }
      if (o != hwnd && Vis(o)) Vis(o)->lastActivePopup = hwnd;
    }
  }
  DeactivateFront(oldFront, hwnd, old);
  if (old && old != hwnd && IsWindow(old)) {
    SendMessageW(old, WM_NCACTIVATE, FALSE, 0);
    SendMessageW(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  }
  if (hwnd) {
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(hwnd, WM_NCACTIVATE, TRUE, 0);
    SendMessageW(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old == hwnd ? oldFront : old));
    if (auto* b = CurrentBackend()) b->WindowActivated(hwnd);
  } else {
    SetFocus(nullptr);
  }
  return old;
}

HWND SetFocus(HWND hwnd) {
  const DWORD me = GetCurrentThreadId();
  if (hwnd && (!IsWindow(hwnd) || GetWindowThreadProcessId(hwnd, nullptr) != me)) return nullptr;
  if (hwnd) {
    HWND top = GetAncestor(hwnd, GA_ROOT);
    if (top != GetActiveWindow()) SetActiveWindow(top);
  }
  HWND old = nullptr;
  {
    LayerLock g(Layer().m);
    old = Layer().focus[me];
    if (old == hwnd) return old;
    Layer().focus[me] = hwnd;
  }
  if (old && IsWindow(old)) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && IsWindow(hwnd) && GetFocus() == hwnd) {
    SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}

void ForgetFocusAndActivation(HWND hwnd) {
  DWORD t = GetWindowThreadProcessId(hwnd, nullptr);
  const DWORD me = GetCurrentThreadId();
  bool lostFocus = false, lostActive = false;
  HWND owner = nullptr;
  {
    LayerLock g(Layer().m);
    HWND f = Layer().focus[t];
    if (f && (f == hwnd || IsChild(hwnd, f))) {
      Layer().focus[t] = nullptr;
      lostFocus = t == me && f != nullptr;
      if (lostFocus && IsWindow(f)) {
        // Told below, outside the lock.
      }
    }
    if (Layer().active[t] == hwnd) {
      Layer().active[t] = nullptr;
      lostActive = true;
      VisWindow* v = Vis(hwnd);
      owner = v ? v->owner : nullptr;
    }
    if (Layer().foreground == hwnd) Layer().foreground = nullptr;
  }
  (void)lostFocus;
  if (!lostActive) return;
  if (owner && IsWindowVisible(owner) && IsWindowEnabled(owner)) {
    if (GetWindowThreadProcessId(owner, nullptr) == me) {
      SetActiveWindow(owner);
    } else {
      LayerLock g(Layer().m);
      Layer().foreground = owner;
    }
  }
}

// ---- Key state, cursor ----

short GetKeyState(int vk) {
  LayerLock g(Layer().m);
  BYTE k = Layer().keys[vk & 0xFF];
  return short(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

short GetAsyncKeyState(int vk) { return short(GetKeyState(vk) & 0x8000); }

BOOL GetCursorPos(POINT* pt) {
  if (!pt) return FALSE;
  LayerLock g(Layer().m);
  *pt = Layer().cursorPos;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  InjectMouseMove(x, y);
  return TRUE;
}

HCURSOR LoadCursorW(HINSTANCE instance, const char16_t* name) {
  const uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (instance || id < 32512 || id > 32700) return nullptr;
  LayerLock g(Layer().m);
  auto& m = Cursors();
  auto it = m.find(id);
  if (it != m.end()) return it->second;
  // A small black arrow stands for every system cursor; the id tells them apart.
  HBITMAP colour = NewBitmap(16, 16, 32, false, false);
  HBITMAP mask = NewBitmap(16, 16, 32, false, false);
  ICONINFO ii{FALSE, 0, 0, mask, colour};
  HCURSOR c = CreateIconIndirect(&ii);
  DeleteObject(colour);
  DeleteObject(mask);
  m[id] = c;
  return c;
}

uintptr_t CursorId(HCURSOR cursor) {
  LayerLock g(Layer().m);
  for (auto& kv : Cursors()) {
    if (kv.second == cursor && cursor) return kv.first;
  }
  return 0;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = nullptr;
  {
    LayerLock g(Layer().m);
    old = Layer().cursor;
    Layer().cursor = cursor;
  }
  if (old != cursor) {
    if (auto* b = CurrentBackend()) b->CursorChanged(CursorId(cursor));
  }
  return old;
}

HCURSOR GetCursor() {
  LayerLock g(Layer().m);
  return Layer().cursor;
}

// ---- Caret: one per program; the edit control draws it ----

BOOL CreateCaret(HWND hwnd, HBITMAP, int width, int height) {
  LayerLock g(Layer().m);
  TheCaret() = Caret{hwnd, std::max(width, 1), height, POINT{0, 0}, 1};
  return TRUE;
}
BOOL DestroyCaret() {
  LayerLock g(Layer().m);
  TheCaret() = Caret{};
  return TRUE;
}
BOOL SetCaretPos(int x, int y) {
  LayerLock g(Layer().m);
  TheCaret().pos = POINT{x, y};
  return TRUE;
}
BOOL GetCaretPos(POINT* pt) {
  if (!pt) return FALSE;
  LayerLock g(Layer().m);
  *pt = TheCaret().pos;
  return TRUE;
}
BOOL ShowCaret(HWND) {
  LayerLock g(Layer().m);
  if (TheCaret().hide > 0) --TheCaret().hide;
  return TRUE;
}
BOOL HideCaret(HWND) {
  LayerLock g(Layer().m);
  ++TheCaret().hide;
  return TRUE;
}
