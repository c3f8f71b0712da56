// Helpers of the x11 tests: a private Xvfb server, optionally with the openbox window manager,
// the X window of a top-level window, and running the desktop tools (xdotool, wmctrl) on it.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/wnd/backend.h"
#include "platform/wnd/tests/wnd_test_util.h"

#undef None

namespace x11test {

// The program's full path when it is on PATH, else empty.
inline std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    std::string cand = p.substr(start, end - start) + "/" + name;
    if (access(cand.c_str(), X_OK) == 0) return cand;
    start = end + 1;
  }
  return {};
}

// Starts a program with its output thrown away; its process id, or -1. `passFd`, when given,
// reaches the program as its descriptor 3.
inline pid_t Spawn(const std::vector<std::string>& argv, int passFd = -1) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (passFd == 3) fcntl(3, F_SETFD, 0);
    else if (passFd >= 0) dup2(passFd, 3);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

inline void StopProcess(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

// Runs a desktop tool to its end on the test's display; its exit status.
inline int Run(const std::vector<std::string>& argv) {
  std::vector<std::string> full = argv;
  full[0] = FindProgram(argv[0].c_str());
  if (full[0].empty()) return -1;
  pid_t pid = Spawn(full);
  if (pid < 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Pumps the calling (user-interface) thread for a while.
inline void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Pumps until the condition holds or the time is up; whether it held.
inline bool PumpUntil(const std::function<bool()>& cond, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Pump();
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Pump();
  return cond();
}

// The display number a server writes to `fd` (a line of digits), or "" when it ends first or
// nothing arrives within `ms`.
inline std::string ReadDisplayNumber(int fd, int ms) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[16];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return {};
    text.append(buf, size_t(n));
    size_t nl = text.find('\n');
    if (nl != std::string::npos) {
      text.resize(nl);
      return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos ? text : std::string();
    }
  }
  return {};
}

class XServer {
 public:
  // A server of its own with `wm` ("" for none, "openbox") running on it.
  bool Start(const std::string& wm = "") {
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) return false;
    // The server picks a free display number itself and writes it to descriptor 3 once it
    // accepts connections, so parallel tests never race for a number. A server may take many
    // seconds to come up on a loaded machine (it compiles its keyboard map first): wait long,
    // and start over only when it died.
    for (int attempt = 0; attempt < 3 && !dpy_; ++attempt) {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) return false;
      pid_ = Spawn({xvfb, "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-br", "-noreset"},
                   fds[1]);
      close(fds[1]);
      std::string number = ReadDisplayNumber(fds[0], 120000);
      close(fds[0]);
      if (pid_ > 0 && !number.empty()) {
        display_ = ":" + number;
        for (int i = 0; i < 400 && !dpy_; ++i) {
          dpy_ = XOpenDisplay(display_.c_str());
          if (!dpy_) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
      }
      if (!dpy_) Stop();
    }
    if (!dpy_) return false;
    setenv("DISPLAY", display_.c_str(), 1);
    if (wm.empty()) return true;
    const std::string prog = FindProgram(wm.c_str());
    if (prog.empty()) return false;
    wmPid_ = Spawn({prog, "--sm-disable"});
    // The window manager names its check window on the root early; it is ready once it has
    // taken a window of ours into its care (mapped it, in a frame of its own).
    Window probe = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 10, 10, 0, 0, 0);
    bool ready = false;
    for (int i = 0; i < 2400 && !ready; ++i) {
      if (WindowManagerRunning()) {
        XMapWindow(dpy_, probe);
        XSync(dpy_, False);
        XWindowAttributes a{};
        ready = XGetWindowAttributes(dpy_, probe, &a) && a.map_state == IsViewable;
      }
      if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    XDestroyWindow(dpy_, probe);
    XSync(dpy_, False);
    return ready;
  }
  void Stop() {
    StopProcess(wmPid_);
    if (dpy_) XCloseDisplay(dpy_), dpy_ = nullptr;
    StopProcess(pid_);
  }
  ~XServer() { Stop(); }
  Display* dpy() const { return dpy_; }
  const std::string& name() const { return display_; }

  bool WindowManagerRunning() {
    Atom check = XInternAtom(dpy_, "_NET_SUPPORTING_WM_CHECK", False);
    return !Property(DefaultRootWindow(dpy_), check, XA_WINDOW).empty();
  }

  // A 32-bit property as longs, or 8-bit text as bytes in the same vector.
  std::vector<long> Property(Window w, Atom prop, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(dpy_, w, prop, 0, 1 << 16, False, type, &actual, &format, &n, &after, &data) == Success &&
        data) {
      if (format == 32) out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
      else if (format == 8) out.assign(data, data + n);
    }
    if (data) XFree(data);
    return out;
  }
  std::string TextProperty(Window w, const char* prop, const char* type) {
    std::vector<long> v = Property(w, XInternAtom(dpy_, prop, False), XInternAtom(dpy_, type, False));
    return std::string(v.begin(), v.end());
  }
  std::vector<long> Cardinals(Window w, const char* prop) {
    return Property(w, XInternAtom(dpy_, prop, False), XA_CARDINAL);
  }
  std::vector<std::string> AtomNames(Window w, const char* prop) {
    std::vector<std::string> out;
    for (long a : Property(w, XInternAtom(dpy_, prop, False), XA_ATOM)) {
      char* n = XGetAtomName(dpy_, Atom(a));
      if (n) out.push_back(n), XFree(n);
    }
    return out;
  }

  // The X window whose _NET_WM_NAME is `title` (searched through the whole tree, since a
  // window manager puts clients into frames of its own), or 0.
  Window FindByTitle(const std::string& title) {
    XSync(dpy_, False);
    return Search(DefaultRootWindow(dpy_), title, 0);
  }

  // Where the window's top-left corner is on the screen, and its size.
  RECT Geometry(Window w) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(dpy_, w, &a)) return RECT{};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(dpy_, w, DefaultRootWindow(dpy_), 0, 0, &x, &y, &child);
    return RECT{x, y, x + a.width, y + a.height};
  }

  Window Focus() {
    Window f = 0;
    int revert = 0;
    XGetInputFocus(dpy_, &f, &revert);
    return f;
  }

  // Binds each keysym to a key that has none, as a keyboard whose layout has these characters
  // would; false when there are too few free keys.
  bool BindKeysyms(const std::vector<KeySym>& syms) {
    int lo = 0, hi = 0, per = 0;
    XDisplayKeycodes(dpy_, &lo, &hi);
    KeySym* map = XGetKeyboardMapping(dpy_, KeyCode(lo), hi - lo + 1, &per);
    if (!map) return false;
    size_t next = 0;
    for (int kc = hi; kc >= lo && next < syms.size(); --kc) {
      bool free = true;
      for (int i = 0; i < per; ++i) free &= map[(kc - lo) * per + i] == NoSymbol;
      if (!free) continue;
      KeySym both[2] = {syms[next], syms[next]};
      XChangeKeyboardMapping(dpy_, kc, 2, both, 1);
      ++next;
    }
    XFree(map);
    XSync(dpy_, False);
    return next == syms.size();
  }

  // Sends a client message as a window manager would to its client.
  void SendProtocol(Window w, const char* protocol) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(dpy_, protocol, False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy_, w, False, NoEventMask, &e);
    XFlush(dpy_);
  }

  // The screen's colour at a point.
  COLORREF PixelAt(int x, int y) {
    XImage* img = XGetImage(dpy_, DefaultRootWindow(dpy_), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img) return CLR_INVALID;
    const unsigned long px = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
  }

  // Writes the screen as a PNG file.
  bool SaveScreen(const std::string& path) {
    const int w = DisplayWidth(dpy_, DefaultScreen(dpy_)), h = DisplayHeight(dpy_, DefaultScreen(dpy_));
    XImage* img = XGetImage(dpy_, DefaultRootWindow(dpy_), 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (!img) return false;
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateCompatibleBitmap(mem, w, h);
    HGDIOBJ old = SelectObject(mem, bm);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const unsigned long px = XGetPixel(img, x, y);
        SetPixel(mem, x, y, RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF));
      }
    }
    SelectObject(mem, old);
    DeleteDC(mem);
    XDestroyImage(img);
    const bool ok = WriteBitmapPng(bm, path);
    DeleteObject(bm);
    return ok;
  }

 private:
  Window Search(Window w, const std::string& title, int depth) {
    if (depth > 8) return 0;
    if (TextProperty(w, "_NET_WM_NAME", "UTF8_STRING") == title) return w;
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    Window found = 0;
    if (XQueryTree(dpy_, w, &root, &parent, &kids, &n)) {
      for (unsigned i = 0; i < n && !found; ++i) found = Search(kids[i], title, depth + 1);
    }
    if (kids) XFree(kids);
    return found;
  }

  pid_t pid_ = -1;
  pid_t wmPid_ = -1;
  Display* dpy_ = nullptr;
  std::string display_;
};

}  // namespace x11test
