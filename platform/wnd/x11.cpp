// The X11 backend: one X window per top-level window, a citizen of the desktop.
//
// Top-level windows are managed by the window manager but undecorated (the program draws its
// own frames); only popup menus and tooltips bypass it (override-redirect). The window
// manager's close request becomes WM_SYSCOMMAND SC_CLOSE, its focus (WM_TAKE_FOCUS, FocusIn)
// activates the window, and the program's own activation asks for the focus through
// _NET_ACTIVE_WINDOW. Titles are UTF-8 (_NET_WM_NAME), icons go to _NET_WM_ICON, maximised and
// topmost windows say so in _NET_WM_STATE, caption drags and size loops are handed to the
// window manager (_NET_WM_MOVERESIZE) when it has them, and what the window manager does to a
// window comes back as placement, activation and show-state changes. Keys go through an input
// method (XIM) so that any character can be typed; surfaces are shown through MIT-SHM where the
// server shares memory with us, else with XPutImage; window regions cut the X window (XShape).
// Without a window manager the same windows work bare: the program focuses, raises and moves
// them itself.
#include "platform/wnd/backend.h"

#ifndef KESTREL_HAVE_X11
DisplayBackend* CreateX11Backend() { return nullptr; }
bool X11BackendUsesSharedMemory() { return false; }
int X11MoveSizeHandOffs() { return 0; }
#else

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/shape.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/textconv.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/x11keys.h"

// Xlib's macros collide with our names.
#undef None
constexpr unsigned long kNone = 0L;

namespace {

// X errors never end the program: a window may go between a request and its reply. The count
// lets a caller check a request it cares about (the shared-memory attach).
std::atomic<int> g_xErrors{0};
int CountXError(Display*, XErrorEvent*) {
  ++g_xErrors;
  return 0;
}

std::atomic<bool> g_usesShm{false};
std::atomic<int> g_moveSizeHandOffs{0};

// _NET_WM_MOVERESIZE directions, by the layer's WMSZ_ code (0 moves).
long MoveResizeDirection(int how) {
  switch (how) {
    case WMSZ_TOPLEFT: return 0;
    case WMSZ_TOP: return 1;
    case WMSZ_TOPRIGHT: return 2;
    case WMSZ_RIGHT: return 3;
    case WMSZ_BOTTOMRIGHT: return 4;
    case WMSZ_BOTTOM: return 5;
    case WMSZ_BOTTOMLEFT: return 6;
    case WMSZ_LEFT: return 7;
    default: return 8;
  }
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

struct Atoms {
  Atom wmProtocols, wmDeleteWindow, wmTakeFocus, wmState, motifHints, utf8, netWmName, netWmState,
      netStateMaxV, netStateMaxH, netStateAbove, netStateHidden, netActiveWindow, netMoveResize, netWmIcon,
      netSupported, netSupportingCheck, netWorkarea, netWmType, netTypeNormal, netTypeDialog, netTypeMenu,
      netTypeTooltip, netWmPid;
  void Load(Display* d) {
    auto a = [d](const char* n) { return XInternAtom(d, n, False); };
    wmProtocols = a("WM_PROTOCOLS");
    wmDeleteWindow = a("WM_DELETE_WINDOW");
    wmTakeFocus = a("WM_TAKE_FOCUS");
    wmState = a("WM_STATE");
    motifHints = a("_MOTIF_WM_HINTS");
    utf8 = a("UTF8_STRING");
    netWmName = a("_NET_WM_NAME");
    netWmState = a("_NET_WM_STATE");
    netStateMaxV = a("_NET_WM_STATE_MAXIMIZED_VERT");
    netStateMaxH = a("_NET_WM_STATE_MAXIMIZED_HORZ");
    netStateAbove = a("_NET_WM_STATE_ABOVE");
    netStateHidden = a("_NET_WM_STATE_HIDDEN");
    netActiveWindow = a("_NET_ACTIVE_WINDOW");
    netMoveResize = a("_NET_WM_MOVERESIZE");
    netWmIcon = a("_NET_WM_ICON");
    netSupported = a("_NET_SUPPORTED");
    netSupportingCheck = a("_NET_SUPPORTING_WM_CHECK");
    netWorkarea = a("_NET_WORKAREA");
    netWmType = a("_NET_WM_WINDOW_TYPE");
    netTypeNormal = a("_NET_WM_WINDOW_TYPE_NORMAL");
    netTypeDialog = a("_NET_WM_WINDOW_TYPE_DIALOG");
    netTypeMenu = a("_NET_WM_WINDOW_TYPE_POPUP_MENU");
    netTypeTooltip = a("_NET_WM_WINDOW_TYPE_TOOLTIP");
    netWmPid = a("_NET_WM_PID");
  }
};

// What the window manager offers; re-read when the root window's properties change.
struct WmInfo {
  bool present = false;
  bool moveResize = false;
  bool activeWindow = false;
  bool state = false;
};

// One X window and what the backend keeps of it.
struct XWin {
  HWND hwnd = nullptr;
  Window xw = 0;
  bool overrideRedirect = false;
  bool wantShown = false;   // the program shows it (mapped, or iconified by the window manager)
  bool viewable = false;    // the server says it is mapped
  bool iconified = false;   // minimised through the window manager (or unmapped when bare)
  bool focusWhenMapped = false;
  bool grabWhenMapped = false;
  XIC ic = nullptr;
  RECT known{};                // the geometry the server last reported or was asked for
  std::deque<RECT> expected;   // geometries asked for whose ConfigureNotify is still to come
  // Shared-memory picture of the whole window, made on first use.
  XShmSegmentInfo shm{};
  XImage* shmImage = nullptr;
};

class X11Backend : public DisplayBackend {
 public:
  explicit X11Backend(Display* d) : dpy_(d) {
    XSetErrorHandler(&CountXError);
    screen_ = DefaultScreen(dpy_);
    root_ = RootWindow(dpy_, screen_);
    visual_ = DefaultVisual(dpy_, screen_);
    depth_ = DefaultDepth(dpy_, screen_);
    atoms_.Load(dpy_);
    int ev = 0, err = 0;
    hasShape_ = XShapeQueryExtension(dpy_, &ev, &err) != 0;
    // Shared memory needs a local server and a visual whose pixels are our own 32-bit BGRX.
    int major = 0, minor = 0;
    Bool pixmaps = False;
    hasShm_ = XShmQueryVersion(dpy_, &major, &minor, &pixmaps) && depth_ >= 24 && visual_->red_mask == 0xff0000 &&
              visual_->green_mask == 0x00ff00 && visual_->blue_mask == 0x0000ff;
    gc_ = XCreateGC(dpy_, root_, 0, nullptr);
    XSelectInput(dpy_, root_, PropertyChangeMask);
    OpenInputMethod();
    SetScreenSize(DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_));
    ReadWindowManager();
    thread_ = std::thread([this] { EventLoop(); });
  }

  void Shutdown() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> g(m_);
    for (auto& kv : wins_) FreeWindow(*kv.second);
    wins_.clear();
    byX_.clear();
    if (im_) XCloseIM(im_);
    im_ = nullptr;
    XFreeGC(dpy_, gc_);
    XCloseDisplay(dpy_);
    dpy_ = nullptr;
    SetScreenWorkArea(nullptr);
  }

  // ---- The layer's notifications ----

  void WindowShown(HWND top, bool shown) override {
    if (stop_) return;
    SIZE minSize{0, 0}, maxSize{0, 0};
    if (shown) GetTrackSizeLimits(top, &minSize, &maxSize);
    const bool zoomed = IsZoomed(top), topmost = (GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::lock_guard<std::mutex> g(m_);
    XWin* w = shown ? Ensure(top) : Find(top);
    if (!w) return;
    w->wantShown = shown;
    if (shown) {
      SetSizeHints(*w, minSize, maxSize);
      if (!w->overrideRedirect) SetStateProperty(*w, zoomed, topmost);
      w->iconified = false;
      XMapRaised(dpy_, w->xw);
    } else if (w->overrideRedirect || !wm_.present) {
      XUnmapWindow(dpy_, w->xw);
    } else {
      XWithdrawWindow(dpy_, w->xw, screen_);
    }
    XFlush(dpy_);
  }

  void WindowPlaced(HWND top) override {
    if (stop_) return;
    RECT r{};
    if (!GetWindowRect(top, &r)) return;
    std::lock_guard<std::mutex> g(m_);
    XWin* w = Find(top);
    if (!w || SameRect(w->known, r)) return;
    AskGeometry(*w, r);
    XFlush(dpy_);
  }

  void WindowShaped(HWND top) override {
    if (stop_) return;
    std::lock_guard<std::mutex> g(m_);
    if (XWin* w = Find(top)) Shape(*w);
  }

  void Present(HWND top, const RECT& area) override {
    if (stop_) return;
    RECT wr{};
    if (!GetWindowRect(top, &wr)) return;
    const int ww = wr.right - wr.left, wh = wr.bottom - wr.top;
    RECT r{std::max<LONG>(0, area.left), std::max<LONG>(0, area.top), std::min<LONG>(ww, area.right),
           std::min<LONG>(wh, area.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) return;
    std::lock_guard<std::mutex> g(m_);
    XWin* w = Find(top);
    if (!w) return;
    const int cw = r.right - r.left, ch = r.bottom - r.top;
    if (XImage* img = ShmImage(*w, ww, wh)) {
      uint8_t* at = reinterpret_cast<uint8_t*>(img->data) + size_t(r.top) * size_t(img->bytes_per_line) + size_t(r.left) * 4;
      if (!CopyWindowSurfaceRows(top, r, at, size_t(img->bytes_per_line))) return;
      XShmPutImage(dpy_, w->xw, gc_, img, r.left, r.top, r.left, r.top, unsigned(cw), unsigned(ch), False);
      // The server reads the segment after the request; the next paint must not overwrite it first.
      XSync(dpy_, False);
      return;
    }
    std::vector<uint8_t> px(size_t(cw) * size_t(ch) * 4);
    if (!CopyWindowSurfaceRows(top, r, px.data(), size_t(cw) * 4)) return;
    XImage* img = XCreateImage(dpy_, visual_, unsigned(depth_), ZPixmap, 0, reinterpret_cast<char*>(px.data()),
                               unsigned(cw), unsigned(ch), 32, cw * 4);
    if (!img) return;
    if (!hasShm_ && (visual_->red_mask != 0xff0000 || img->bits_per_pixel != 32)) {
      // A visual unlike our pixels: each one goes through Xlib's own conversion.
      std::vector<uint8_t> src = px;
      img->data = nullptr;
      XDestroyImage(img);
      img = XCreateImage(dpy_, visual_, unsigned(depth_), ZPixmap, 0, nullptr, unsigned(cw), unsigned(ch), 32, 0);
      if (!img) return;
      std::vector<char> conv(size_t(img->bytes_per_line) * size_t(ch));
      img->data = conv.data();
      for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
          const uint8_t* p = &src[(size_t(y) * size_t(cw) + size_t(x)) * 4];
          XPutPixel(img, x, y, PixelOf(p[2], p[1], p[0]));
        }
      }
      XPutImage(dpy_, w->xw, gc_, img, 0, 0, r.left, r.top, unsigned(cw), unsigned(ch));
      img->data = nullptr;
      XDestroyImage(img);
      XFlush(dpy_);
      return;
    }
    XPutImage(dpy_, w->xw, gc_, img, 0, 0, r.left, r.top, unsigned(cw), unsigned(ch));
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
    for (auto& kv : wins_) XDefineCursor(dpy_, kv.second->xw, c);
    XFlush(dpy_);
  }

  void WindowDestroyed(HWND top) override {
    if (stop_) return;
    std::lock_guard<std::mutex> g(m_);
    auto it = wins_.find(top);
    if (it == wins_.end()) return;
    if (moveSizeTop_ == top) moveSizeTop_ = nullptr, moveSizeActive_ = false;
    if (grabTop_ == top) Ungrab();
    byX_.erase(it->second->xw);
    if (focusX_ == it->second->xw) focusX_ = 0;
    FreeWindow(*it->second);
    wins_.erase(it);
    XFlush(dpy_);
  }

  void WindowActivated(HWND top) override {
    if (stop_) return;
    std::lock_guard<std::mutex> g(m_);
    XWin* w = Find(top);
    if (!w || w->overrideRedirect || focusX_ == w->xw) return;
    if (!w->viewable) {
      w->focusWhenMapped = true;
      return;
    }
    Focus(*w);
    XFlush(dpy_);
  }

  void WindowTitleChanged(HWND top) override {
    if (stop_) return;
    const std::string title = GetWindowTextString(top).ToUtf8();
    std::lock_guard<std::mutex> g(m_);
    if (XWin* w = Find(top)) SetTitle(*w, title);
  }

  void WindowIconChanged(HWND top) override {
    if (stop_) return;
    std::vector<long> data = IconProperty(top);
    std::lock_guard<std::mutex> g(m_);
    XWin* w = Find(top);
    if (!w) return;
    if (data.empty()) XDeleteProperty(dpy_, w->xw, atoms_.netWmIcon);
    else XChangeProperty(dpy_, w->xw, atoms_.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                         reinterpret_cast<unsigned char*>(data.data()), int(data.size()));
    XFlush(dpy_);
  }

  void WindowStateChanged(HWND top) override {
    if (stop_) return;
    const bool zoomed = IsZoomed(top), iconic = IsIconic(top);
    const bool topmost = (GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::lock_guard<std::mutex> g(m_);
    XWin* w = Find(top);
    if (!w || w->overrideRedirect) return;
    if (iconic && !w->iconified && w->wantShown) {
      w->iconified = true;
      if (wm_.present) XIconifyWindow(dpy_, w->xw, screen_);
      else XUnmapWindow(dpy_, w->xw);
    } else if (!iconic && w->iconified) {
      w->iconified = false;
      XMapRaised(dpy_, w->xw);
    }
    if (w->viewable && wm_.state) {
      SendState(*w, zoomed, atoms_.netStateMaxV, atoms_.netStateMaxH);
      SendState(*w, topmost, atoms_.netStateAbove, 0);
    } else {
      SetStateProperty(*w, zoomed, topmost);
    }
    XFlush(dpy_);
  }

  void WindowRestacked(HWND top) override {
    if (stop_) return;
    std::lock_guard<std::mutex> g(m_);
    if (XWin* w = Find(top); w && w->viewable) {
      XRaiseWindow(dpy_, w->xw);
      XFlush(dpy_);
    }
  }

  bool BeginMoveSize(HWND top, int how, POINT pt) override {
    if (stop_) return false;
    SIZE minSize{0, 0}, maxSize{0, 0};
    GetTrackSizeLimits(top, &minSize, &maxSize);
    std::lock_guard<std::mutex> g(m_);
    XWin* w = Find(top);
    if (!w || w->overrideRedirect || !w->viewable || !wm_.present || !wm_.moveResize) return false;
    SetSizeHints(*w, minSize, maxSize);
    // The press gave us an implicit grab of the pointer; the window manager needs it.
    XUngrabPointer(dpy_, CurrentTime);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w->xw;
    e.xclient.message_type = atoms_.netMoveResize;
    e.xclient.format = 32;
    e.xclient.data.l[0] = pt.x;
    e.xclient.data.l[1] = pt.y;
    e.xclient.data.l[2] = MoveResizeDirection(how);
    e.xclient.data.l[3] = Button1;
    e.xclient.data.l[4] = 1;  // asked by an application
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(dpy_);
    moveSizeTop_ = top;
    moveSizeActive_ = true;
    ++g_moveSizeHandOffs;
    return true;
  }

  bool MoveSizeActive(HWND top) override { return moveSizeActive_ && moveSizeTop_ == top; }

  void GrabInput(HWND top, bool on) override {
    if (stop_) return;
    std::lock_guard<std::mutex> g(m_);
    if (!on) {
      if (grabTop_ == top) Ungrab();
      XFlush(dpy_);
      return;
    }
    XWin* w = Find(top);
    if (!w) return;
    grabTop_ = top;
    if (!w->viewable) {
      w->grabWhenMapped = true;
      return;
    }
    Grab(*w);
  }

 private:
  // ---- Windows, under m_ ----

  XWin* Find(HWND top) {
    auto it = wins_.find(top);
    return it == wins_.end() ? nullptr : it->second.get();
  }

  HWND HwndOf(Window xw) {
    std::lock_guard<std::mutex> g(m_);
    auto it = byX_.find(xw);
    return it == byX_.end() ? nullptr : it->second;
  }

  XWin* Ensure(HWND top) {
    if (XWin* w = Find(top)) return w;
    RECT r{};
    if (!GetWindowRect(top, &r)) return nullptr;
    auto win = std::make_unique<XWin>();
    XWin& w = *win;
    w.hwnd = top;
    // Popup menus and tooltips come and go under the pointer without the window manager.
    const CString cls = GetWindowClassName(top);
    w.overrideRedirect = cls.CompareNoCase(u"#32768") == 0 || cls.CompareNoCase(TOOLTIPS_CLASS) == 0;
    XSetWindowAttributes a{};
    a.override_redirect = w.overrideRedirect ? True : False;
    a.background_pixmap = kNone;
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                   KeyReleaseMask | StructureNotifyMask | FocusChangeMask | LeaveWindowMask | PropertyChangeMask;
    const unsigned cw = unsigned(std::max<LONG>(1, r.right - r.left)), ch = unsigned(std::max<LONG>(1, r.bottom - r.top));
    w.xw = XCreateWindow(dpy_, root_, r.left, r.top, cw, ch, 0, CopyFromParent, InputOutput, CopyFromParent,
                         CWOverrideRedirect | CWBackPixmap | CWEventMask, &a);
    w.known = r;
    if (im_) {
      w.ic = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, w.xw, XNFocusWindow,
                       w.xw, nullptr);
      long filter = 0;
      if (w.ic && !XGetICValues(w.ic, XNFilterEvents, &filter, nullptr)) {
        XSelectInput(dpy_, w.xw, a.event_mask | filter);
      }
    }
    SetWindowProperties(w);
    byX_[w.xw] = top;
    XWin* raw = win.get();
    wins_[top] = std::move(win);
    Shape(*raw);
    return raw;
  }

  void SetWindowProperties(XWin& w) {
    HWND top = w.hwnd;
    SetTitle(w, GetWindowTextString(top).ToUtf8());
    XClassHint cls{const_cast<char*>("kestrel"), const_cast<char*>("Kestrel")};
    XSetClassHint(dpy_, w.xw, &cls);
    const long pid = long(getpid());
    XChangeProperty(dpy_, w.xw, atoms_.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    Atom type = atoms_.netTypeNormal;
    if (w.overrideRedirect) type = GetWindowClassName(top).CompareNoCase(u"#32768") == 0 ? atoms_.netTypeMenu : atoms_.netTypeTooltip;
    else if (GetOwner(top)) type = atoms_.netTypeDialog;
    XChangeProperty(dpy_, w.xw, atoms_.netWmType, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&type),
                    1);
    if (w.overrideRedirect) return;
    // The frame is the program's own: no decorations from the window manager.
    const long motif[5] = {2 /* decorations given */, 0, 0 /* none */, 0, 0};
    XChangeProperty(dpy_, w.xw, atoms_.motifHints, atoms_.motifHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
    Atom protocols[2] = {atoms_.wmDeleteWindow, atoms_.wmTakeFocus};
    XSetWMProtocols(dpy_, w.xw, protocols, 2);
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    XSetWMHints(dpy_, w.xw, &hints);
    if (HWND owner = GetOwner(top)) {
      if (XWin* o = Find(owner)) XSetTransientForHint(dpy_, w.xw, o->xw);
    }
    std::vector<long> icon = IconProperty(top);
    if (!icon.empty()) {
      XChangeProperty(dpy_, w.xw, atoms_.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(icon.data()), int(icon.size()));
    }
  }

  void SetTitle(XWin& w, const std::string& utf8) {
    XChangeProperty(dpy_, w.xw, atoms_.netWmName, atoms_.utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
    XTextProperty tp{};
    char* list[1] = {const_cast<char*>(utf8.c_str())};
    if (Xutf8TextListToTextProperty(dpy_, list, 1, XStdICCTextStyle, &tp) >= Success) {
      XSetWMName(dpy_, w.xw, &tp);
      if (tp.value) XFree(tp.value);
    }
    XFlush(dpy_);
  }

  // The window's place as the program asks for it (USPosition), and the limits of its size.
  void SetSizeHints(XWin& w, SIZE minSize, SIZE maxSize) {
    XSizeHints* h = XAllocSizeHints();
    if (!h) return;
    h->flags = USPosition | USSize | PPosition | PSize;
    h->x = w.known.left, h->y = w.known.top;
    h->width = w.known.right - w.known.left, h->height = w.known.bottom - w.known.top;
    if (minSize.cx > 0 || minSize.cy > 0) {
      h->flags |= PMinSize;
      h->min_width = std::max<int>(1, minSize.cx), h->min_height = std::max<int>(1, minSize.cy);
    }
    if (maxSize.cx > 0 && maxSize.cy > 0 && maxSize.cx < 0x8000 && maxSize.cy < 0x8000) {
      h->flags |= PMaxSize;
      h->max_width = maxSize.cx, h->max_height = maxSize.cy;
    }
    XSetWMNormalHints(dpy_, w.xw, h);
    XFree(h);
  }

  // Before a window is mapped its state is a property the window manager reads.
  void SetStateProperty(XWin& w, bool zoomed, bool topmost) {
    std::vector<Atom> s;
    if (zoomed) s.push_back(atoms_.netStateMaxV), s.push_back(atoms_.netStateMaxH);
    if (topmost) s.push_back(atoms_.netStateAbove);
    XChangeProperty(dpy_, w.xw, atoms_.netWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(s.data()), int(s.size()));
  }

  // Once it is mapped the window manager takes requests.
  void SendState(XWin& w, bool on, Atom a, Atom b) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w.xw;
    e.xclient.message_type = atoms_.netWmState;
    e.xclient.format = 32;
    e.xclient.data.l[0] = on ? 1 : 0;
    e.xclient.data.l[1] = long(a);
    e.xclient.data.l[2] = long(b);
    e.xclient.data.l[3] = 1;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  }

  void AskGeometry(XWin& w, const RECT& r) {
    w.known = r;
    if (w.expected.size() >= 64) w.expected.pop_front();
    w.expected.push_back(r);
    XMoveResizeWindow(dpy_, w.xw, r.left, r.top, unsigned(std::max<LONG>(1, r.right - r.left)),
                      unsigned(std::max<LONG>(1, r.bottom - r.top)));
  }

  void Focus(XWin& w) {
    if (wm_.present && wm_.activeWindow) {
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = w.xw;
      e.xclient.message_type = atoms_.netActiveWindow;
      e.xclient.format = 32;
      e.xclient.data.l[0] = 1;  // asked by an application
      e.xclient.data.l[1] = long(lastUserTime_);
      e.xclient.data.l[2] = long(focusX_);
      XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    } else {
      XRaiseWindow(dpy_, w.xw);
      XSetInputFocus(dpy_, w.xw, RevertToParent, CurrentTime);
    }
  }

  void Grab(XWin& w) {
    w.grabWhenMapped = false;
    XGrabPointer(dpy_, w.xw, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, kNone, kNone, CurrentTime);
    XGrabKeyboard(dpy_, w.xw, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    XFlush(dpy_);
  }

  void Ungrab() {
    grabTop_ = nullptr;
    XUngrabPointer(dpy_, CurrentTime);
    XUngrabKeyboard(dpy_, CurrentTime);
  }

  void Shape(XWin& w) {
    if (!hasShape_) return;
    std::vector<RECT> rects;
    if (!GetWindowRegionRects(w.hwnd, &rects)) {
      XShapeCombineMask(dpy_, w.xw, ShapeBounding, 0, 0, kNone, ShapeSet);
    } else {
      std::vector<XRectangle> xr;
      for (const RECT& r : rects) {
        if (r.right <= r.left || r.bottom <= r.top) continue;
        xr.push_back(XRectangle{short(std::clamp<LONG>(r.left, -32768, 32767)), short(std::clamp<LONG>(r.top, -32768, 32767)),
                                static_cast<unsigned short>(std::min<LONG>(r.right - r.left, 65535)),
                                static_cast<unsigned short>(std::min<LONG>(r.bottom - r.top, 65535))});
      }
      XShapeCombineRectangles(dpy_, w.xw, ShapeBounding, 0, 0, xr.data(), int(xr.size()), ShapeSet, YXBanded);
    }
    XFlush(dpy_);
  }

  // The shared-memory picture of a window of ww by wh pixels, or null to use XPutImage.
  XImage* ShmImage(XWin& w, int ww, int wh) {
    if (!hasShm_) return nullptr;
    if (w.shmImage && w.shmImage->width == ww && w.shmImage->height == wh) return w.shmImage;
    FreeShm(w);
    XImage* img = XShmCreateImage(dpy_, visual_, unsigned(depth_), ZPixmap, nullptr, &w.shm, unsigned(ww), unsigned(wh));
    if (!img) return nullptr;
    if (img->bits_per_pixel != 32) {
      XDestroyImage(img);
      hasShm_ = false;
      return nullptr;
    }
    w.shm.shmid = shmget(IPC_PRIVATE, size_t(img->bytes_per_line) * size_t(wh), IPC_CREAT | 0600);
    if (w.shm.shmid < 0) {
      XDestroyImage(img);
      return nullptr;
    }
    w.shm.shmaddr = img->data = static_cast<char*>(shmat(w.shm.shmid, nullptr, 0));
    w.shm.readOnly = False;
    const int before = g_xErrors;
    const bool attached = img->data != reinterpret_cast<char*>(-1) && XShmAttach(dpy_, &w.shm);
    XSync(dpy_, False);
    // The segment goes when both sides let go of it, also if the program ends without asking.
    shmctl(w.shm.shmid, IPC_RMID, nullptr);
    if (!attached || g_xErrors != before) {
      // A server that cannot reach our memory (a remote display): plain images from now on.
      if (img->data != reinterpret_cast<char*>(-1)) shmdt(img->data);
      img->data = nullptr;
      XDestroyImage(img);
      w.shm = XShmSegmentInfo{};
      hasShm_ = false;
      return nullptr;
    }
    w.shmImage = img;
    g_usesShm = true;
    return img;
  }

  void FreeShm(XWin& w) {
    if (!w.shmImage) return;
    XShmDetach(dpy_, &w.shm);
    XSync(dpy_, False);
    shmdt(w.shm.shmaddr);
    w.shmImage->data = nullptr;
    XDestroyImage(w.shmImage);
    w.shmImage = nullptr;
    w.shm = XShmSegmentInfo{};
  }

  void FreeWindow(XWin& w) {
    FreeShm(w);
    if (w.ic) XDestroyIC(w.ic);
    w.ic = nullptr;
    XDestroyWindow(dpy_, w.xw);
  }

  unsigned long PixelOf(int r, int g, int b) const {
    auto part = [](int v, unsigned long mask) {
      if (!mask) return 0ul;
      int shift = 0, bits = 0;
      while (!((mask >> shift) & 1)) ++shift;
      while ((mask >> (shift + bits)) & 1) ++bits;
      return (static_cast<unsigned long>(v) >> (8 - std::min(bits, 8))) << shift;
    };
    return part(r, visual_->red_mask) | part(g, visual_->green_mask) | part(b, visual_->blue_mask);
  }

  // _NET_WM_ICON: width, height and straight ARGB pixels per icon, small then big.
  static std::vector<long> IconProperty(HWND top) {
    HICON big = nullptr, small = nullptr;
    GetWindowIcons(top, &big, &small);
    std::vector<long> out;
    for (HICON icon : {small, big}) {
      if (!icon || (icon == big && big == small && !out.empty())) continue;
      SIZE size{};
      std::vector<uint32_t> argb;
      if (!GetIconArgb(icon, &size, &argb) || size.cx <= 0 || size.cy <= 0) continue;
      out.push_back(size.cx);
      out.push_back(size.cy);
      for (uint32_t p : argb) out.push_back(long(p));
    }
    return out;
  }

  // ---- Input method ----

  void OpenInputMethod() {
    // The user's input method (XMODIFIERS) first, else the built-in one with compose keys.
    XSetLocaleModifiers("");
    im_ = XOpenIM(dpy_, nullptr, nullptr, nullptr);
    if (!im_) {
      XSetLocaleModifiers("@im=none");
      im_ = XOpenIM(dpy_, nullptr, nullptr, nullptr);
    }
  }

  // ---- The window manager ----

  void ReadWindowManager() {
    WmInfo info;
    Window check = 0;
    if (ReadWindowProperty(root_, atoms_.netSupportingCheck, &check) && check) {
      Window self = 0;
      const int before = g_xErrors;
      info.present = ReadWindowProperty(check, atoms_.netSupportingCheck, &self) && self == check && g_xErrors == before;
    }
    if (info.present) {
      std::vector<Atom> supported = ReadAtoms(root_, atoms_.netSupported);
      auto has = [&](Atom a) { return std::find(supported.begin(), supported.end(), a) != supported.end(); };
      info.moveResize = has(atoms_.netMoveResize);
      info.activeWindow = has(atoms_.netActiveWindow);
      info.state = has(atoms_.netWmState);
    }
    RECT work{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)};
    std::vector<long> wa = ReadCardinals(root_, atoms_.netWorkarea);
    if (info.present && wa.size() >= 4 && wa[2] > 0 && wa[3] > 0) {
      work = RECT{LONG(wa[0]), LONG(wa[1]), LONG(wa[0] + wa[2]), LONG(wa[1] + wa[3])};
    }
    {
      std::lock_guard<std::mutex> g(m_);
      wm_ = info;
    }
    SetScreenWorkArea(&work);
  }

  bool ReadWindowProperty(Window w, Atom prop, Window* out) {
    std::vector<long> v = ReadProperty(w, prop, XA_WINDOW);
    if (v.empty()) return false;
    *out = Window(v[0]);
    return true;
  }
  std::vector<Atom> ReadAtoms(Window w, Atom prop) {
    std::vector<Atom> out;
    for (long v : ReadProperty(w, prop, XA_ATOM)) out.push_back(Atom(v));
    return out;
  }
  std::vector<long> ReadCardinals(Window w, Atom prop) { return ReadProperty(w, prop, XA_CARDINAL); }

  // A 32-bit property as longs (Xlib hands format-32 data as long), at most 4096 of them.
  std::vector<long> ReadProperty(Window w, Atom prop, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(dpy_, w, prop, 0, 4096, False, type, &actual, &format, &n, &after, &data) == Success &&
        data && format == 32 && actual == type) {
      const long* v = reinterpret_cast<const long*>(data);
      out.assign(v, v + n);
    }
    if (data) XFree(data);
    return out;
  }

  // ---- Events ----

  void EventLoop() {
    pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
    while (!stop_) {
      poll(&p, 1, 20);
      while (!stop_ && XPending(dpy_)) {
        XEvent e;
        XNextEvent(dpy_, &e);
        if (XFilterEvent(&e, kNone)) continue;
        Handle(e);
      }
      AfterEvents();
    }
  }

  // Work that waits until the events that came together are all handled.
  void AfterEvents() {
    if (lostFocus_) {
      HWND lost = lostFocus_;
      lostFocus_ = nullptr;
      bool ours = false;
      {
        std::lock_guard<std::mutex> g(m_);
        ours = focusX_ != 0;
      }
      if (!ours) DisplayDeactivatedWindow(lost);
    }
    if (moveSizeActive_) {
      // The window manager holds the pointer while it moves or sizes the window: its loop
      // ends when the button is let go.
      Window rootRet = 0, child = 0;
      int rx = 0, ry = 0, wx = 0, wy = 0;
      unsigned mask = 0;
      if (!XQueryPointer(dpy_, root_, &rootRet, &child, &rx, &ry, &wx, &wy, &mask) || !(mask & Button1Mask)) {
        HWND top = moveSizeTop_;
        moveSizeActive_ = false;
        PostMessageW(top, WM_NULL, 0, 0);
      }
    }
  }

  void Handle(XEvent& e) {
    if (e.type == MappingNotify) {
      // A changed keyboard map (a new layout, or a tool binding a spare key to a character it
      // types) must be read again, or keys keep their old meaning.
      XRefreshKeyboardMapping(&e.xmapping);
      return;
    }
    if (e.xany.window == root_) {
      if (e.type == PropertyNotify &&
          (e.xproperty.atom == atoms_.netWorkarea || e.xproperty.atom == atoms_.netSupported ||
           e.xproperty.atom == atoms_.netSupportingCheck)) {
        ReadWindowManager();
      }
      return;
    }
    HWND h = HwndOf(e.xany.window);
    if (!h) return;
    switch (e.type) {
      case Expose: {
        // The surface holds what the window shows: it goes up again without painting.
        RECT r{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height};
        Present(h, r);
        break;
      }
      case ConfigureNotify: Configured(h, e.xconfigure); break;
      case MapNotify: Mapped(h, true); break;
      case UnmapNotify: Mapped(h, false); break;
      case PropertyNotify:
        if (e.xproperty.atom == atoms_.wmState) WmStateChanged(h);
        break;
      case FocusIn:
        if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab || e.xfocus.detail == NotifyPointer) break;
        FocusedIn(h, e.xfocus.window);
        break;
      case FocusOut:
        if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab || e.xfocus.detail == NotifyPointer ||
            e.xfocus.detail == NotifyInferior) {
          break;
        }
        FocusedOut(h, e.xfocus.window);
        break;
      case ClientMessage: Protocol(h, e.xclient); break;
      case MotionNotify: InjectMouseMove(e.xmotion.x_root, e.xmotion.y_root); break;
      case LeaveNotify:
        // Gone off every window of ours: what tracks the pointer hears it left.
        if (e.xcrossing.mode == NotifyNormal) InjectMouseMove(e.xcrossing.x_root, e.xcrossing.y_root);
        break;
      case ButtonPress:
      case ButtonRelease: {
        lastUserTime_ = e.xbutton.time;
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
      case KeyRelease: Key(h, e.xkey); break;
      default: break;
    }
  }

  void Configured(HWND h, const XConfigureEvent& c) {
    RECT r{};
    if (c.send_event) {
      // The window manager's own notice gives root coordinates.
      r = RECT{c.x, c.y, c.x + c.width, c.y + c.height};
    } else {
      int rx = 0, ry = 0;
      Window child = 0;
      if (!XTranslateCoordinates(dpy_, c.window, root_, 0, 0, &rx, &ry, &child)) return;
      r = RECT{rx, ry, rx + c.width, ry + c.height};
    }
    {
      std::lock_guard<std::mutex> g(m_);
      XWin* w = Find(h);
      if (!w) return;
      // Our own requests come back one by one: those are no news.
      auto it = std::find_if(w->expected.begin(), w->expected.end(), [&](const RECT& x) { return SameRect(x, r); });
      if (it != w->expected.end()) {
        w->expected.erase(w->expected.begin(), it + 1);
        return;
      }
      w->known = r;
    }
    RECT now{};
    if (GetWindowRect(h, &now) && !SameRect(now, r)) DisplayPlacedWindow(h, r);
  }

  void Mapped(HWND h, bool mapped) {
    bool focus = false, grab = false;
    {
      std::lock_guard<std::mutex> g(m_);
      XWin* w = Find(h);
      if (!w) return;
      w->viewable = mapped;
      if (mapped) {
        focus = w->focusWhenMapped;
        grab = w->grabWhenMapped && grabTop_ == h;
        w->focusWhenMapped = false;
        if (focus && !w->overrideRedirect) Focus(*w);
        if (grab) Grab(*w);
      }
      XFlush(dpy_);
    }
  }

  // ICCCM's WM_STATE: the window manager minimised or restored the window.
  void WmStateChanged(HWND h) {
    Window xw = 0;
    {
      std::lock_guard<std::mutex> g(m_);
      XWin* w = Find(h);
      if (!w) return;
      xw = w->xw;
    }
    Atom actual = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    long state = -1;
    if (XGetWindowProperty(dpy_, xw, atoms_.wmState, 0, 2, False, atoms_.wmState, &actual, &format, &n, &after, &data) ==
            Success &&
        data && format == 32 && n >= 1) {
      state = reinterpret_cast<const long*>(data)[0];
    }
    if (data) XFree(data);
    bool minimise = false, restore = false;
    {
      std::lock_guard<std::mutex> g(m_);
      XWin* w = Find(h);
      if (!w || !w->wantShown) return;
      if (state == IconicState && !w->iconified) w->iconified = true, minimise = true;
      if (state == NormalState && w->iconified) w->iconified = false, restore = true;
    }
    if (minimise && !IsIconic(h)) DisplayShowState(h, SW_MINIMIZE);
    if (restore && IsIconic(h)) DisplayShowState(h, SW_RESTORE);
  }

  void FocusedIn(HWND h, Window xw) {
    // Modifier keys may have gone up or down while the keyboard was elsewhere.
    char keys[32] = {};
    XQueryKeymap(dpy_, keys);
    auto held = [&](KeySym ks) {
      const KeyCode kc = XKeysymToKeycode(dpy_, ks);
      return kc && (keys[kc / 8] & (1 << (kc % 8)));
    };
    DisplayKeyState(VK_SHIFT, held(XK_Shift_L) || held(XK_Shift_R));
    DisplayKeyState(VK_CONTROL, held(XK_Control_L) || held(XK_Control_R));
    DisplayKeyState(VK_MENU, held(XK_Alt_L) || held(XK_Alt_R));
    {
      std::lock_guard<std::mutex> g(m_);
      focusX_ = xw;
      if (XWin* w = Find(h); w && w->ic) XSetICFocus(w->ic);
    }
    if (lostFocus_ == h) lostFocus_ = nullptr;
    if (GetForegroundWindow() != h) DisplayActivatedWindow(h);
  }

  void FocusedOut(HWND h, Window xw) {
    std::lock_guard<std::mutex> g(m_);
    if (XWin* w = Find(h); w && w->ic) XUnsetICFocus(w->ic);
    if (focusX_ != xw) return;
    focusX_ = 0;
    lostFocus_ = h;  // unless another window of ours takes the focus in the same breath
  }

  void Protocol(HWND h, const XClientMessageEvent& c) {
    if (c.message_type != atoms_.wmProtocols || c.format != 32) return;
    const Atom what = Atom(c.data.l[0]);
    if (what == atoms_.wmDeleteWindow) {
      DisplayCloseRequest(h);
    } else if (what == atoms_.wmTakeFocus) {
      // The window manager offers the keyboard: a window that a modal dialog disables hands it
      // to the dialog.
      HWND target = h;
      if (!IsWindowEnabled(h)) {
        HWND popup = GetLastActivePopup(h);
        if (popup && popup != h && IsWindowEnabled(popup)) target = popup;
      }
      {
        std::lock_guard<std::mutex> g(m_);
        XWin* w = Find(target);
        if (w && w->viewable) XSetInputFocus(dpy_, w->xw, RevertToParent, Time(c.data.l[1]));
        XFlush(dpy_);
      }
      DisplayActivatedWindow(h);
    }
  }

  void Key(HWND h, XKeyEvent& k) {
    lastUserTime_ = k.time;
    const bool down = k.type == KeyPress;
    KeySym ks = 0;
    std::u16string text;
    if (down) {
      XIC ic = nullptr;
      {
        std::lock_guard<std::mutex> g(m_);
        if (XWin* w = Find(h)) ic = w->ic;
      }
      char buf[64];
      Status status = 0;
      int n = ic ? Xutf8LookupString(ic, &k, buf, sizeof buf, &ks, &status) : 0;
      std::string utf8;
      if (ic && status == XBufferOverflow) {
        utf8.resize(size_t(n));
        n = Xutf8LookupString(ic, &k, utf8.data(), n, &ks, &status);
        utf8.resize(size_t(std::max(n, 0)));
      } else if (ic && (status == XLookupChars || status == XLookupBoth)) {
        utf8.assign(buf, size_t(std::max(n, 0)));
      }
      if (!ic || status == XLookupNone || status == XLookupKeySym) {
        if (!ic) XLookupString(&k, buf, sizeof buf, &ks, nullptr);
        // Without an input method (or when it gives only the key): the character of the key.
        if (!(k.state & (ControlMask | Mod1Mask))) {
          if (char32_t c = CharFromKeysym(ks)) AppendChar(c, &text);
        }
      } else {
        text = Utf8ToUtf16(utf8);
      }
    } else {
      char buf[8];
      XLookupString(&k, buf, sizeof buf, &ks, nullptr);
    }
    UINT vk = VkFromKeysym(ks);
    // Delete types nothing, as on the systems the program was made for.
    if (!text.empty() && text.back() == 0x7f) text.pop_back();
    if (!vk && text.empty()) return;
    if (!vk) vk = VK_PACKET;
    if (!down) {
      InjectKey(vk, false);
      return;
    }
    InjectKey(vk, true, text.size() == 1 ? text[0] : 0);
    if (text.size() > 1) {
      for (char16_t c : text) InjectChar(c);
    }
  }

  static void AppendChar(char32_t c, std::u16string* out) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(char16_t(0xd800 + (c >> 10)));
      out->push_back(char16_t(0xdc00 + (c & 0x3ff)));
    } else {
      out->push_back(char16_t(c));
    }
  }

  Display* dpy_;
  int screen_ = 0;
  Window root_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 24;
  GC gc_ = nullptr;
  Atoms atoms_{};
  bool hasShape_ = false;
  bool hasShm_ = false;
  XIM im_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex m_;
  WmInfo wm_;
  std::map<HWND, std::unique_ptr<XWin>> wins_;
  std::map<Window, HWND> byX_;
  std::map<unsigned, Cursor> cursors_;
  Window focusX_ = 0;             // the window of ours that has the X focus, 0 for none
  HWND lostFocus_ = nullptr;      // event thread only
  std::atomic<Time> lastUserTime_{0};
  HWND moveSizeTop_ = nullptr;
  std::atomic<bool> moveSizeActive_{false};
  HWND grabTop_ = nullptr;
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

bool X11BackendUsesSharedMemory() { return g_usesShm; }
int X11MoveSizeHandOffs() { return g_moveSizeHandOffs; }

#endif
