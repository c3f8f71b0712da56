// Helpers of the window tests: a recording window class and message pumps.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/wnd/wnd.h"

// Handles every waiting message of the calling thread, paints included.
inline void Pump() {
  MSG m;
  for (int guard = 0; guard < 100000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));
      return;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

struct Rec {
  HWND hwnd;
  UINT msg;
  WPARAM w;
  LPARAM l;
};

// Windows of class "TestWnd" record what they get and may be given a handler per window;
// a handler returning true has handled the message with *result.
struct TestWindows {
  using Handler = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)>;
  static TestWindows& Get() {
    static TestWindows& t = *new TestWindows;
    return t;
  }
  std::vector<Rec> log;
  std::map<HWND, Handler> handlers;
  Handler pending;  // given to the next window created

  static LRESULT Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    auto& t = Get();
    if (msg == WM_NCCREATE && t.pending) {
      t.handlers[h] = t.pending;
      t.pending = nullptr;
    }
    t.log.push_back(Rec{h, msg, w, l});
    auto it = t.handlers.find(h);
    LRESULT r = 0;
    if (it != t.handlers.end() && it->second && it->second(h, msg, w, l, &r)) return r;
    if (msg == WM_NCDESTROY) t.handlers.erase(h);
    return DefWindowProcW(h, msg, w, l);
  }
  static void Register() {
    static bool done = [] {
      InitWindowLayer();
      WNDCLASSW wc{};
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = &Proc;
      wc.lpszClassName = u"TestWnd";
      wc.hbrBackground = reinterpret_cast<void*>(intptr_t(COLOR_WINDOW + 1));
      RegisterClassW(&wc);
      WNDCLASSW plain = wc;
      plain.style = 0;
      plain.lpszClassName = u"TestWndNoDbl";
      RegisterClassW(&plain);
      return true;
    }();
    (void)done;
  }
  int Count(HWND h, UINT msg) const {
    int n = 0;
    for (auto& r : log) n += r.hwnd == h && r.msg == msg;
    return n;
  }
  std::vector<Rec> Of(UINT msg) const {
    std::vector<Rec> out;
    for (auto& r : log) {
      if (r.msg == msg) out.push_back(r);
    }
    return out;
  }
};

inline HWND MakeWindow(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, int id = 0,
                       TestWindows::Handler h = nullptr, DWORD ex = 0, const char16_t* cls = u"TestWnd") {
  TestWindows::Register();
  TestWindows::Get().pending = std::move(h);
  return CreateWindowExW(ex, cls, u"", style, x, y, cx, cy, parent, reinterpret_cast<void*>(intptr_t(id)), nullptr,
                         nullptr);
}

// A handler that fills the client area with one colour on WM_PAINT.
inline TestWindows::Handler FillOnPaint(COLORREF c) {
  return [c](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r{};
    GetClientRect(h, &r);
    FillSolidRectDc(dc, &r, c);
    EndPaint(h, &ps);
    return true;
  };
}

// Screen point of a client point.
inline POINT At(HWND h, int x, int y) {
  POINT p{x, y};
  ClientToScreen(h, &p);
  return p;
}

inline void Click(HWND h, int x, int y, int button = 0) {
  POINT p = At(h, x, y);
  InjectMouseMove(p.x, p.y);
  InjectMouseButton(button, true, p.x, p.y);
  InjectMouseButton(button, false, p.x, p.y);
}
