// The X11 backend: one override-redirect X window per top-level window (the program draws
// its own frames), shaped by the window region through XShape, showing the window's surface
// with XPutImage; pointer and key events of those X windows become injected input, and
// exposures ask the window to paint again.
#include "platform/wnd/backend.h"

#ifndef KESTREL_HAVE_X11
DisplayBackend* CreateX11Backend() { return nullptr; }
#else

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <poll.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// Xlib's macros collide with our names.
#undef None
constexpr unsigned long kNone = 0L;

namespace {

UINT VkFromKeysym(KeySym ks) {
  if (ks >= XK_a && ks <= XK_z) return UINT('A' + (ks - XK_a));
  if (ks >= XK_A && ks <= XK_Z) return UINT('A' + (ks - XK_A));
  if (ks >= XK_0 && ks <= XK_9) return UINT('0' + (ks - XK_0));
  if (ks >= XK_F1 && ks <= XK_F12) return UINT(VK_F1 + (ks - XK_F1));
  switch (ks) {
    case XK_BackSpace: return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab: return VK_TAB;
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_space: return VK_SPACE;
    case XK_Left: return VK_LEFT;
    case XK_Right: return VK_RIGHT;
    case XK_Up: return VK_UP;
    case XK_Down: return VK_DOWN;
    case XK_Home: return VK_HOME;
    case XK_End: return VK_END;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_Insert: return VK_INSERT;
    case XK_Delete: return VK_DELETE;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R: return VK_MENU;
    default: return 0;
  }
}

class X11Backend : public DisplayBackend {
 public:
  explicit X11Backend(Display* d) : dpy_(d) {
    int ev = 0, err = 0;
    hasShape_ = XShapeQueryExtension(dpy_, &ev, &err) != 0;
    const int scr = DefaultScreen(dpy_);
    SetScreenSize(DisplayWidth(dpy_, scr), DisplayHeight(dpy_, scr));
    thread_ = std::thread([this] { EventLoop(); });
  }

  void Shutdown() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> g(m_);
    for (auto& kv : windows_) XDestroyWindow(dpy_, kv.second);
    windows_.clear();
    hwnds_.clear();
    XCloseDisplay(dpy_);
    dpy_ = nullptr;
  }

  void WindowShown(HWND top, bool shown) override {
    if (stop_) return;
    Window w = shown ? Ensure(top) : Find(top);
    if (!w) return;
    if (shown) {
      XMapRaised(dpy_, w);
      RECT r{0, 0, 1 << 20, 1 << 20};
      Present(top, r);
    } else {
      XUnmapWindow(dpy_, w);
    }
    XFlush(dpy_);
  }

  void WindowPlaced(HWND top) override {
    if (stop_) return;
    Window w = Find(top);
    RECT r{};
    if (!w || !GetWindowRect(top, &r)) return;
    XMoveResizeWindow(dpy_, w, r.left, r.top, unsigned(std::max<LONG>(1, r.right - r.left)),
                      unsigned(std::max<LONG>(1, r.bottom - r.top)));
    XFlush(dpy_);
  }

  void WindowShaped(HWND top) override {
    if (stop_) return;
    Window w = Find(top);
    if (w) Shape(top, w);
  }

  void Present(HWND top, const RECT& area) override {
    if (stop_) return;
    Window w = Find(top);
    if (!w) return;
    RECT r = area;
    std::vector<uint32_t> px;
    if (!CopyWindowSurface(top, &r, &px)) return;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int scr = DefaultScreen(dpy_);
    XImage* img = XCreateImage(dpy_, DefaultVisual(dpy_, scr), unsigned(DefaultDepth(dpy_, scr)), ZPixmap, 0,
                               reinterpret_cast<char*>(px.data()), unsigned(width), unsigned(height), 32, width * 4);
    if (!img) return;
    std::lock_guard<std::mutex> g(m_);
    GC gc = DefaultGC(dpy_, scr);
    XPutImage(dpy_, w, gc, img, 0, 0, r.left, r.top, unsigned(width), unsigned(height));
    img->data = nullptr;  // the pixels belong to the vector
    XDestroyImage(img);
    XFlush(dpy_);
  }

  void CursorChanged(uintptr_t id) override {
    if (stop_) return;
    unsigned shape = XC_left_ptr;
    switch (id) {
      case 32513: shape = XC_xterm; break;
      case 32514: shape = XC_watch; break;
      case 32642: shape = XC_bottom_right_corner; break;
      case 32643: shape = XC_bottom_left_corner; break;
      case 32644: shape = XC_sb_h_double_arrow; break;
      case 32645: shape = XC_sb_v_double_arrow; break;
      case 32646: shape = XC_fleur; break;
      case 32649: shape = XC_hand2; break;
      default: break;
    }
    std::lock_guard<std::mutex> g(m_);
    Cursor& c = cursors_[shape];
    if (!c) c = XCreateFontCursor(dpy_, shape);
    for (auto& kv : windows_) XDefineCursor(dpy_, kv.second, c);
    XFlush(dpy_);
  }

  void WindowDestroyed(HWND top) override {
    if (stop_) return;
    Window w = 0;
    {
      std::lock_guard<std::mutex> g(m_);
      auto it = windows_.find(top);
      if (it == windows_.end()) return;
      w = it->second;
      windows_.erase(it);
      hwnds_.erase(w);
    }
    XDestroyWindow(dpy_, w);
    XFlush(dpy_);
  }

 private:
  Window Find(HWND top) {
    std::lock_guard<std::mutex> g(m_);
    auto it = windows_.find(top);
    return it == windows_.end() ? 0 : it->second;
  }

  Window Ensure(HWND top) {
    if (Window w = Find(top)) return w;
    RECT r{};
    if (!GetWindowRect(top, &r)) return 0;
    const int scr = DefaultScreen(dpy_);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixmap = kNone;
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                   KeyReleaseMask | StructureNotifyMask;
    Window w = XCreateWindow(dpy_, RootWindow(dpy_, scr), r.left, r.top, unsigned(std::max<LONG>(1, r.right - r.left)),
                             unsigned(std::max<LONG>(1, r.bottom - r.top)), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWOverrideRedirect | CWBackPixmap | CWEventMask, &a);
    CString title = GetWindowTextString(top);
    std::string t = title.ToUtf8();
    XStoreName(dpy_, w, t.c_str());
    {
      std::lock_guard<std::mutex> g(m_);
      windows_[top] = w;
      hwnds_[w] = top;
    }
    Shape(top, w);
    return w;
  }

  void Shape(HWND top, Window w) {
    if (!hasShape_) return;
    std::vector<RECT> rects;
    if (!GetWindowRegionRects(top, &rects)) {
      XShapeCombineMask(dpy_, w, ShapeBounding, 0, 0, kNone, ShapeSet);
    } else {
      std::vector<XRectangle> xr;
      for (const RECT& r : rects) {
        xr.push_back(XRectangle{short(r.left), short(r.top), static_cast<unsigned short>(r.right - r.left),
                                static_cast<unsigned short>(r.bottom - r.top)});
      }
      XShapeCombineRectangles(dpy_, w, ShapeBounding, 0, 0, xr.data(), int(xr.size()), ShapeSet, YXBanded);
    }
    XFlush(dpy_);
  }

  HWND HwndOf(Window w) {
    std::lock_guard<std::mutex> g(m_);
    auto it = hwnds_.find(w);
    return it == hwnds_.end() ? nullptr : it->second;
  }

  void EventLoop() {
    pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
    while (!stop_) {
      poll(&p, 1, 20);
      while (XPending(dpy_)) {
        XEvent e;
        XNextEvent(dpy_, &e);
        Handle(e);
      }
    }
  }

  void Handle(XEvent& e) {
    HWND h = HwndOf(e.xany.window);
    if (!h) return;
    switch (e.type) {
      case Expose:
        // The window paints what was uncovered and presents it on its own thread.
        if (e.xexpose.count == 0) InvalidateRect(h, nullptr, FALSE);
        break;
      case MotionNotify: InjectMouseMove(e.xmotion.x_root, e.xmotion.y_root); break;
      case ButtonPress:
      case ButtonRelease: {
        const bool down = e.type == ButtonPress;
        const unsigned b = e.xbutton.button;
        if (b == 4 || b == 5) {
          if (down) InjectMouseWheel(b == 4 ? WHEEL_DELTA : -WHEEL_DELTA, e.xbutton.x_root, e.xbutton.y_root);
        } else if (b >= 1 && b <= 3) {
          static const int map[4] = {0, 0, 2, 1};
          InjectMouseButton(map[b], down, e.xbutton.x_root, e.xbutton.y_root);
        }
        break;
      }
      case KeyPress:
      case KeyRelease: {
        char buf[8] = {};
        KeySym ks = 0;
        const int n = XLookupString(&e.xkey, buf, sizeof buf, &ks, nullptr);
        const UINT vk = VkFromKeysym(ks);
        if (!vk) break;
        char16_t ch = 0;
        if (e.type == KeyPress && n == 1 && static_cast<unsigned char>(buf[0]) >= 0x20 &&
            static_cast<unsigned char>(buf[0]) < 0x7F) {
          ch = char16_t(static_cast<unsigned char>(buf[0]));
        } else if (e.type == KeyPress && (vk == VK_RETURN || vk == VK_TAB || vk == VK_BACK || vk == VK_ESCAPE)) {
          ch = vk == VK_ESCAPE ? char16_t(0x1B) : char16_t(vk);
        }
        InjectKey(vk, e.type == KeyPress, ch);
        break;
      }
      default: break;
    }
  }

  Display* dpy_;
  bool hasShape_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex m_;
  std::map<HWND, Window> windows_;
  std::map<Window, HWND> hwnds_;
  std::map<unsigned, Cursor> cursors_;
};

}  // namespace

DisplayBackend* CreateX11Backend() {
  static std::once_flag once;
  std::call_once(once, [] { XInitThreads(); });
  Display* d = XOpenDisplay(nullptr);
  if (!d) return nullptr;
  // Never deleted, since late callers may still hold it; the list keeps it reachable.
  static std::mutex m;
  static auto& made = *new std::vector<X11Backend*>;
  std::lock_guard<std::mutex> g(m);
  made.push_back(new X11Backend(d));
  return made.back();
}

#endif
