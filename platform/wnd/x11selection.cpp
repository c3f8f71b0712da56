// The display's CLIPBOARD and PRIMARY selections on a connection of their own, served by a
// thread that answers other programs' requests for the program's text and receives the text
// of theirs (also in increments, for large texts). Nothing here takes the window layer's
// lock, so a program that asks for our text while we wait for theirs never deadlocks us.
#include "platform/wnd/selection.h"

#include <memory>
#include <mutex>
#include <vector>


namespace {
struct BridgeChoice {
  std::mutex m;
  SelectionBridge* current = nullptr;
  std::vector<std::unique_ptr<SelectionBridge>> made;  // kept for the program's life
};
BridgeChoice& Choice() {
  static BridgeChoice& c = *new BridgeChoice;
  return c;
}
}  // namespace

void SetSelectionBridge(SelectionBridge* bridge) {
  SelectionBridge* old = nullptr;
  {
    std::lock_guard<std::mutex> g(Choice().m);
    old = Choice().current;
    Choice().current = bridge;
    bool known = !bridge;
    for (auto& b : Choice().made) known |= b.get() == bridge;
    if (!known) Choice().made.emplace_back(bridge);
  }
  if (old && old != bridge) old->Shutdown();
}

SelectionBridge* CurrentSelectionBridge() {
  std::lock_guard<std::mutex> g(Choice().m);
  return Choice().current;
}

#ifndef KESTREL_HAVE_X11
SelectionBridge* CreateX11SelectionBridge(const char*) { return nullptr; }
#else

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <string>
#include <thread>

#include "platform/textconv.h"

#undef None
namespace {

constexpr unsigned long kNone = 0L;
// Another program's text is refused beyond this size; its increments are not read further.
constexpr size_t kMaxFetchBytes = size_t(64) << 20;

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

std::string Latin1FromUtf16(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (char16_t c : s) out += c < 0x100 ? char(c) : '?';
  return out;
}

std::u16string Utf16FromLatin1(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (unsigned char c : s) out += char16_t(c);
  return out;
}

class X11Selection final : public SelectionBridge {
 public:
  explicit X11Selection(Display* d) : dpy_(d) {
    // A requestor may go away before we answer it: X errors never end the program. (The x11
    // backend, made after the bridge, puts its own handler in place, which ignores them too.)
    XSetErrorHandler(&IgnoreXError);
    win_ = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), -10, -10, 1, 1, 0, 0, 0);
    XSelectInput(dpy_, win_, PropertyChangeMask);
    auto a = [this](const char* n) { return XInternAtom(dpy_, n, False); };
    clipboard_ = a("CLIPBOARD");
    targets_ = a("TARGETS");
    utf8_ = a("UTF8_STRING");
    text_ = a("TEXT");
    mimeUtf8_ = a("text/plain;charset=utf-8");
    incr_ = a("INCR");
    prop_ = a("KESTREL_SELECTION");
    long req = XExtendedMaxRequestSize(dpy_);
    if (req <= 0) req = XMaxRequestSize(dpy_);
    maxSendBytes_ = size_t(req) * 4 > 1024 ? size_t(req) * 4 - 1024 : 0;
    XFlush(dpy_);
    thread_ = std::thread([this] { Loop(); });
  }

  void Own(const std::u16string& text) override {
    std::lock_guard<std::mutex> g(m_);
    if (!dpy_) return;
    ownText_ = text;
    ownUtf8_ = Utf16ToUtf8(text);
    XSetSelectionOwner(dpy_, clipboard_, win_, CurrentTime);
    XSetSelectionOwner(dpy_, XA_PRIMARY, win_, CurrentTime);
    XFlush(dpy_);
  }

  void Disown() override {
    std::lock_guard<std::mutex> g(m_);
    if (!dpy_) return;
    for (Atom sel : {clipboard_, Atom(XA_PRIMARY)}) {
      if (XGetSelectionOwner(dpy_, sel) == win_) XSetSelectionOwner(dpy_, sel, kNone, CurrentTime);
    }
    ownText_.clear();
    ownUtf8_.clear();
    XFlush(dpy_);
  }

  bool Owned() override {
    std::lock_guard<std::mutex> g(m_);
    return dpy_ && XGetSelectionOwner(dpy_, clipboard_) == win_;
  }

  Fetched Fetch(std::u16string* text, int timeoutMs) override {
    std::unique_lock<std::mutex> g(m_);
    if (!dpy_) return Fetched::kNoOwner;
    const Window owner = XGetSelectionOwner(dpy_, clipboard_);
    if (owner == kNone) return Fetched::kNoOwner;
    if (owner == win_) {
      *text = ownText_;
      return Fetched::kText;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (Atom target : {utf8_, Atom(XA_STRING)}) {
      fetch_ = FetchState{};
      fetch_.active = true;
      fetch_.target = target;
      XDeleteProperty(dpy_, win_, prop_);
      XConvertSelection(dpy_, clipboard_, target, prop_, win_, CurrentTime);
      XFlush(dpy_);
      const bool answered = cv_.wait_until(g, deadline, [this] { return fetch_.done || !dpy_; });
      fetch_.active = false;
      if (!answered || !dpy_) break;
      if (!fetch_.ok) continue;  // that form refused: try the next
      *text = target == utf8_ ? Utf8ToUtf16(fetch_.data) : Utf16FromLatin1(fetch_.data);
      return Fetched::kText;
    }
    return Fetched::kNoText;
  }

  void Shutdown() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> g(m_);
    if (!dpy_) return;
    XDestroyWindow(dpy_, win_);
    XCloseDisplay(dpy_);
    dpy_ = nullptr;
    cv_.notify_all();
  }

 private:
  struct FetchState {
    bool active = false, done = false, ok = false, incr = false;
    Atom target = 0;
    std::string data;
  };

  void Loop() {
    const int fd = ConnectionNumber(dpy_);
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 50);
      std::lock_guard<std::mutex> g(m_);
      while (XPending(dpy_)) {
        XEvent e{};
        XNextEvent(dpy_, &e);
        Handle(e);
      }
    }
  }

  void Handle(XEvent& e) {
    switch (e.type) {
      case SelectionRequest:
        Answer(e.xselectionrequest);
        break;
      case SelectionNotify:
        if (fetch_.active && !fetch_.done && e.xselection.requestor == win_ && e.xselection.selection == clipboard_) {
          if (e.xselection.property == kNone) Finish(false);
          else ReadReply(true);
        }
        break;
      case PropertyNotify:
        if (fetch_.active && fetch_.incr && !fetch_.done && e.xproperty.window == win_ && e.xproperty.atom == prop_ &&
            e.xproperty.state == PropertyNewValue) {
          ReadReply(false);
        }
        break;
      default:
        break;
    }
  }

  void Finish(bool ok) {
    fetch_.done = true;
    fetch_.ok = ok;
    cv_.notify_all();
  }

  // Reads (and deletes) the reply property: the whole text, the start of an incremental
  // transfer, or one of its increments (an empty one ends it).
  void ReadReply(bool first) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const long maxLongs = long(kMaxFetchBytes / 4);
    if (XGetWindowProperty(dpy_, win_, prop_, 0, maxLongs, True, AnyPropertyType, &type, &format, &count, &after,
                           &data) != Success) {
      Finish(false);
      return;
    }
    std::unique_ptr<unsigned char, int (*)(void*)> hold(data, &XFree);
    if (first && type == incr_) {
      fetch_.incr = true;  // deleting the property asked for the first increment
      return;
    }
    if (after > 0 || format != 8 || (type != fetch_.target && !(fetch_.target == utf8_ && type == XA_STRING))) {
      Finish(false);
      return;
    }
    if (fetch_.data.size() + count > kMaxFetchBytes) {
      Finish(false);
      return;
    }
    fetch_.data.append(reinterpret_cast<const char*>(data), count);
    if (!fetch_.incr || count == 0) Finish(true);
  }

  void Answer(const XSelectionRequestEvent& r) {
    XEvent reply{};
    XSelectionEvent& ev = reply.xselection;
    ev.type = SelectionNotify;
    ev.display = r.display;
    ev.requestor = r.requestor;
    ev.selection = r.selection;
    ev.target = r.target;
    ev.time = r.time;
    // A requestor of the old kind names no property: the target's name serves.
    const Atom prop = r.property != kNone ? r.property : r.target;
    ev.property = kNone;
    const bool ours = r.owner == win_ && (r.selection == clipboard_ || r.selection == XA_PRIMARY);
    if (ours && r.target == targets_) {
      const Atom list[] = {targets_, utf8_, text_, mimeUtf8_, XA_STRING};
      XChangeProperty(dpy_, r.requestor, prop, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(list), int(std::size(list)));
      ev.property = prop;
    } else if (ours && (r.target == utf8_ || r.target == text_ || r.target == mimeUtf8_ || r.target == XA_STRING)) {
      const std::string bytes = r.target == XA_STRING ? Latin1FromUtf16(ownText_) : ownUtf8_;
      // Texts beyond one request are refused rather than sent in pieces.
      if (bytes.size() <= maxSendBytes_) {
        const Atom type = r.target == XA_STRING ? Atom(XA_STRING) : r.target == mimeUtf8_ ? mimeUtf8_ : utf8_;
        XChangeProperty(dpy_, r.requestor, prop, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
        ev.property = prop;
      }
    }
    XSendEvent(dpy_, r.requestor, False, NoEventMask, &reply);
    XFlush(dpy_);
  }

  std::mutex m_;
  std::condition_variable cv_;
  Display* dpy_ = nullptr;
  Window win_ = 0;
  Atom clipboard_ = 0, targets_ = 0, utf8_ = 0, text_ = 0, mimeUtf8_ = 0, incr_ = 0, prop_ = 0;
  size_t maxSendBytes_ = 0;
  std::u16string ownText_;
  std::string ownUtf8_;
  FetchState fetch_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

SelectionBridge* CreateX11SelectionBridge(const char* name) {
  Display* d = XOpenDisplay(name);
  return d ? new X11Selection(d) : nullptr;
}

#endif
