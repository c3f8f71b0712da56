#include "platform/wndcore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sync.h"

namespace {

struct SentMessage {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  DWORD senderThread = 0;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT period;
  TIMERPROC proc;
  uint64_t due;
};

// One per thread that owns a window or runs a message loop.
struct ThreadQueue {
  DWORD threadId = 0;
  std::mutex m;
  std::condition_variable cv;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quit = false;
  int quitCode = 0;
  bool alive = true;
  int handlingSent = 0;  // depth of sent messages being handled on this thread
};

struct WindowObject {
  HWND handle = nullptr;
  DWORD thread = 0;
  WNDPROC proc = nullptr;
  CString className;
  UINT classStyle = 0;
  void* classBackground = nullptr;
  void* classCursor = nullptr;
  void* classIcon = nullptr;
  CString text;
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  HWND parent = nullptr;
  LONG_PTR userData = 0;
  std::vector<HWND> children;
  std::shared_ptr<WindowData> data;  // the class procedure's state, dropped after WM_NCDESTROY
};

struct ClassEntry {
  UINT style;
  WNDPROC proc;
  CString name;
  void* background = nullptr;
  void* cursor = nullptr;
  void* icon = nullptr;
};

// Process-wide tables; never destroyed, since detached threads may still send at exit.
struct Registry {
  std::mutex m;
  std::map<HWND, std::shared_ptr<WindowObject>> windows;
  std::map<DWORD, std::shared_ptr<ThreadQueue>> queues;
  std::map<std::u16string, ClassEntry> classes;
  uintptr_t nextHandle = 0x10000;
};
Registry& Reg() {
  static Registry& r = *new Registry;
  return r;
}

std::atomic<bool> g_virtualClock{false};

WindowLayerHooks& Hooks() {
  static WindowLayerHooks& h = *new WindowLayerHooks{};
  return h;
}
std::atomic<uint64_t> g_virtualNow{0};

std::u16string ClassKey(const char16_t* name) {
  CString k(name ? name : u"");
  k.MakeLower();
  return k.Str();
}

std::shared_ptr<WindowObject> FindWindowObject(HWND h) {
  std::lock_guard<std::mutex> g(Reg().m);
  auto it = Reg().windows.find(h);
  return it == Reg().windows.end() ? nullptr : it->second;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD tid) {
  std::lock_guard<std::mutex> g(Reg().m);
  auto it = Reg().queues.find(tid);
  return it == Reg().queues.end() ? nullptr : it->second;
}

void RetireQueue(const std::shared_ptr<ThreadQueue>& q);

// Ties a queue to its thread: when the thread ends its windows go and waiting senders are
// released with 0.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> q;
  ~QueueHolder() {
    if (q) RetireQueue(q);
  }
};
thread_local QueueHolder t_queue;

ThreadQueue& MyQueue() {
  if (!t_queue.q) {
    auto q = std::make_shared<ThreadQueue>();
    q->threadId = GetCurrentThreadId();
    std::lock_guard<std::mutex> g(Reg().m);
    Reg().queues[q->threadId] = q;
    t_queue.q = q;
  }
  return *t_queue.q;
}

void FinishSent(const std::shared_ptr<SentMessage>& s, LRESULT result) {
  auto sender = QueueOfThread(s->senderThread);
  if (sender) {
    std::lock_guard<std::mutex> g(sender->m);
    s->result = result;
    s->done = true;
    sender->cv.notify_all();
  } else {
    s->result = result;
    s->done = true;
  }
}

void RetireQueue(const std::shared_ptr<ThreadQueue>& q) {
  std::deque<std::shared_ptr<SentMessage>> pending;
  {
    std::lock_guard<std::mutex> g(q->m);
    q->alive = false;
    pending.swap(q->sent);
  }
  for (auto& s : pending) FinishSent(s, 0);
  std::vector<HWND> gone;
  std::vector<std::shared_ptr<WindowData>> dropped;  // freed outside the registry lock
  {
    std::lock_guard<std::mutex> g(Reg().m);
    for (auto it = Reg().windows.begin(); it != Reg().windows.end();) {
      if (it->second->thread == q->threadId) {
        gone.push_back(it->first);
        dropped.push_back(std::move(it->second->data));
        it = Reg().windows.erase(it);
      } else {
        ++it;
      }
    }
    Reg().queues.erase(q->threadId);
  }
  // The visible-window layer forgets them too, so nothing of theirs is painted or hit again.
  if (Hooks().destroyed) {
    for (HWND h : gone) Hooks().destroyed(h);
  }
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  auto win = FindWindowObject(hwnd);
  if (!win || !win->proc) return 0;
  return win->proc(hwnd, msg, w, l);
}

// Handles one waiting sent message of the calling thread; false when there is none.
bool HandleOneSent(ThreadQueue& q) {
  std::shared_ptr<SentMessage> s;
  {
    std::lock_guard<std::mutex> g(q.m);
    if (q.sent.empty()) return false;
    s = q.sent.front();
    q.sent.pop_front();
    ++q.handlingSent;
  }
  LRESULT r = CallProc(s->hwnd, s->msg, s->wParam, s->lParam);
  {
    std::lock_guard<std::mutex> g(q.m);
    --q.handlingSent;
  }
  FinishSent(s, r);
  return true;
}

bool Matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
  if (filter && m.hwnd != filter) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

// Takes (or peeks at) the next posted or timer message; the queue's lock must be held.
bool TakePosted(ThreadQueue& q, MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!Matches(*it, filter, lo, hi)) continue;
    *out = *it;
    if (remove) q.posted.erase(it);
    return true;
  }
  if (q.quit) {  // WM_QUIT ignores the filter
    *out = MSG{nullptr, WM_QUIT, WPARAM(q.quitCode), 0, DWORD(MessageClockNow()), {0, 0}};
    if (remove) q.quit = false;
    return true;
  }
  // Timers rank below posted messages, and one due timer yields one WM_TIMER however many
  // periods went by.
  if (Hooks().pendingPaint) {
    MSG probe{nullptr, WM_PAINT_CORE, 0, 0, 0, {0, 0}};
    if (Matches(probe, nullptr, lo, hi)) {
      if (HWND h = Hooks().pendingPaint(q.threadId, filter)) {
        *out = MSG{h, WM_PAINT_CORE, 0, 0, DWORD(MessageClockNow()), {0, 0}};
        return true;  // stays pending until the window is validated
      }
    }
  }
  const uint64_t now = MessageClockNow();
  Timer* best = nullptr;
  for (auto& t : q.timers) {
    MSG probe{t.hwnd, WM_TIMER, t.id, 0, 0, {0, 0}};
    if (t.due <= now && Matches(probe, filter, lo, hi) && (!best || t.due < best->due)) best = &t;
  }
  if (!best) return false;
  *out = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), DWORD(now), {0, 0}};
  if (remove) best->due = now + best->period;
  return true;
}

// Waits for something to arrive in the queue, up to the due time of the next timer that the
// loop's filter lets through.
void WaitForWork(ThreadQueue& q, std::unique_lock<std::mutex>& lk, HWND filter, UINT lo, UINT hi) {
  if (!q.sent.empty() || q.quit) return;
  if (Hooks().pendingPaint && Hooks().pendingPaint(q.threadId, filter)) return;
  uint64_t next = UINT64_MAX;
  for (const auto& t : q.timers) {
    MSG probe{t.hwnd, WM_TIMER, t.id, 0, 0, {0, 0}};
    if (Matches(probe, filter, lo, hi)) next = std::min(next, t.due);
  }
  if (next == UINT64_MAX || g_virtualClock) {
    q.cv.wait(lk);
    return;
  }
  const uint64_t now = MessageClockNow();
  if (next <= now) return;
  q.cv.wait_for(lk, std::chrono::milliseconds(next - now));
}

void Notify(const std::shared_ptr<ThreadQueue>& q) {
  std::lock_guard<std::mutex> g(q->m);
  q->cv.notify_all();
}

void DestroyTree(HWND hwnd, int depth) {
  auto win = FindWindowObject(hwnd);
  if (!win || depth > 256) return;
  if (Hooks().destroying) Hooks().destroying(hwnd);
  CallProc(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> kids;
  {
    std::lock_guard<std::mutex> g(Reg().m);
    kids = win->children;
  }
  for (HWND k : kids) DestroyTree(k, depth + 1);
  CallProc(hwnd, WM_NCDESTROY, 0, 0);
  std::shared_ptr<WindowData> data;  // freed below, outside the registry lock
  {
    std::lock_guard<std::mutex> g(Reg().m);
    data = std::move(win->data);
    Reg().windows.erase(hwnd);
    if (win->parent) {
      auto p = Reg().windows.find(win->parent);
      if (p != Reg().windows.end()) {
        auto& c = p->second->children;
        c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
      }
    }
  }
  auto q = QueueOfThread(win->thread);
  if (q) {
    std::lock_guard<std::mutex> g(q->m);
    auto& t = q->timers;
    t.erase(std::remove_if(t.begin(), t.end(), [hwnd](const Timer& x) { return x.hwnd == hwnd; }), t.end());
    auto& p = q->posted;
    p.erase(std::remove_if(p.begin(), p.end(),
                           [hwnd](const MSG& m) { return m.hwnd == hwnd && m.message == WM_KESTREL_RAWINPUT; }),
            p.end());
  }
  if (Hooks().destroyed) Hooks().destroyed(hwnd);
}

// Cooks raw input that a loop took; false when it was dropped.
bool Cook(MSG* msg) {
  if (msg->message != WM_KESTREL_RAWINPUT) return true;
  return Hooks().cookInput && Hooks().cookInput(msg);
}

}  // namespace

BOOL RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return FALSE;
  std::lock_guard<std::mutex> g(Reg().m);
  auto key = ClassKey(wc->lpszClassName);
  if (Reg().classes.count(key)) return FALSE;
  Reg().classes[key] =
      ClassEntry{wc->style, wc->lpfnWndProc, CString(wc->lpszClassName), wc->hbrBackground, wc->hCursor, wc->hIcon};
  return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, const char16_t* className, const char16_t* windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, void* menuOrId, void* instance, LPVOID param) {
  MyQueue();
  auto win = std::make_shared<WindowObject>();
  {
    std::lock_guard<std::mutex> g(Reg().m);
    auto c = Reg().classes.find(ClassKey(className));
    if (c == Reg().classes.end()) return nullptr;
    win->proc = c->second.proc;
    win->className = c->second.name;
    win->classStyle = c->second.style;
    win->classBackground = c->second.background;
    win->classCursor = c->second.cursor;
    win->classIcon = c->second.icon;
    win->handle = reinterpret_cast<HWND>(Reg().nextHandle);
    Reg().nextHandle += 4;  // handles are never reused
    win->thread = GetCurrentThreadId();
    win->text = CString(windowName ? windowName : u"");
    win->style = style;
    win->exStyle = exStyle;
    win->id = int(reinterpret_cast<intptr_t>(menuOrId));
    if (parent && parent != HWND_MESSAGE) {
      auto p = Reg().windows.find(parent);
      if (p == Reg().windows.end()) return nullptr;
      win->parent = parent;
      p->second->children.push_back(win->handle);
    }
    Reg().windows[win->handle] = win;
  }
  CREATESTRUCTW cs{param,          instance,        menuOrId, win->parent, height, width, y, x, LONG(style),
                   windowName,     className,       exStyle};
  HWND h = win->handle;
  if (Hooks().created) Hooks().created(h, &cs);
  if (!CallProc(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      CallProc(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyTree(h, 0);
    return nullptr;
  }
  return h;
}

BOOL DestroyWindow(HWND hwnd) {
  auto win = FindWindowObject(hwnd);
  if (!win || win->thread != GetCurrentThreadId()) return FALSE;
  DestroyTree(hwnd, 0);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return FindWindowObject(hwnd) != nullptr; }

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  auto win = FindWindowObject(hwnd);
  if (processId) *processId = win ? GetCurrentProcessId() : 0;
  return win ? win->thread : 0;
}

HWND GetParent(HWND hwnd) {
  auto win = FindWindowObject(hwnd);
  return win ? win->parent : nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  auto win = FindWindowObject(hwnd);
  return win ? win->id : 0;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  auto win = FindWindowObject(hwnd);
  if (!win) return 0;
  std::lock_guard<std::mutex> g(Reg().m);
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(win->proc);
    case GWLP_ID: return win->id;
    case GWL_STYLE: return LONG_PTR(win->style);
    case GWL_EXSTYLE: return LONG_PTR(win->exStyle);
    case GWLP_USERDATA: return win->userData;
    default: return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  auto win = FindWindowObject(hwnd);
  if (!win) return 0;
  std::lock_guard<std::mutex> g(Reg().m);
  LONG_PTR old = 0;
  switch (index) {
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(win->proc);
      win->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_ID: old = win->id, win->id = int(value); break;
    case GWL_STYLE: old = LONG_PTR(win->style), win->style = DWORD(value); break;
    case GWL_EXSTYLE: old = LONG_PTR(win->exStyle), win->exStyle = DWORD(value); break;
    case GWLP_USERDATA: old = win->userData, win->userData = value; break;
    default: break;
  }
  return old;
}

void SetWindowData(HWND hwnd, std::shared_ptr<WindowData> data) {
  auto win = FindWindowObject(hwnd);
  if (!win) return;
  std::shared_ptr<WindowData> old;
  {
    std::lock_guard<std::mutex> g(Reg().m);
    // A window past WM_NCDESTROY takes nothing new: it is already out of the table.
    if (Reg().windows.count(hwnd) == 0) return;
    old = std::move(win->data);
    win->data = std::move(data);
  }
}

std::shared_ptr<WindowData> GetWindowData(HWND hwnd) {
  std::lock_guard<std::mutex> g(Reg().m);
  auto it = Reg().windows.find(hwnd);
  return it == Reg().windows.end() ? nullptr : it->second->data;
}

BOOL SetWindowTextW(HWND hwnd, const CString& text) {
  if (!IsWindow(hwnd)) return FALSE;
  return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.GetString())) ? TRUE : FALSE;
}

CString GetWindowTextString(HWND hwnd) {
  auto win = FindWindowObject(hwnd);
  if (!win) return CString();
  std::lock_guard<std::mutex> g(Reg().m);
  return win->text;
}

CString GetWindowClassName(HWND hwnd) {
  auto win = FindWindowObject(hwnd);
  return win ? win->className : CString();
}

ULONG_PTR GetClassLongPtrW(HWND hwnd, int index) {
  auto win = FindWindowObject(hwnd);
  if (!win) return 0;
  switch (index) {
    case GCL_STYLE: return win->classStyle;
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(win->classBackground);
    case GCLP_HCURSOR: return reinterpret_cast<ULONG_PTR>(win->classCursor);
    case GCLP_HICON: return reinterpret_cast<ULONG_PTR>(win->classIcon);
    default: return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto win = FindWindowObject(hwnd);
  if (!win) return 0;
  const DWORD me = GetCurrentThreadId();
  if (win->thread == me) return win->proc ? win->proc(hwnd, msg, wParam, lParam) : 0;

  auto target = QueueOfThread(win->thread);
  if (!target) return 0;
  ThreadQueue& mine = MyQueue();
  auto s = std::make_shared<SentMessage>();
  *s = SentMessage{hwnd, msg, wParam, lParam, 0, false, me};
  {
    std::lock_guard<std::mutex> g(target->m);
    if (!target->alive) return 0;
    target->sent.push_back(s);
    target->cv.notify_all();
  }
  // Wait for the answer, handling what other threads send to us meanwhile.
  for (;;) {
    while (HandleOneSent(mine)) {
    }
    std::unique_lock<std::mutex> lk(mine.m);
    if (s->done) return s->result;
    if (!mine.sent.empty()) continue;
    mine.cv.wait(lk, [&] { return s->done || !mine.sent.empty(); });
    if (s->done) return s->result;
  }
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!hwnd) return PostThreadMessageW(GetCurrentThreadId(), msg, wParam, lParam);
  auto win = FindWindowObject(hwnd);
  if (!win) return FALSE;
  auto q = QueueOfThread(win->thread);
  if (!q) return FALSE;
  std::lock_guard<std::mutex> g(q->m);
  if (!q->alive) return FALSE;
  q->posted.push_back(MSG{hwnd, msg, wParam, lParam, DWORD(MessageClockNow()), {0, 0}});
  q->cv.notify_all();
  return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto q = threadId == GetCurrentThreadId() ? t_queue.q : QueueOfThread(threadId);
  if (!q && threadId == GetCurrentThreadId()) {
    MyQueue();
    q = t_queue.q;
  }
  if (!q) return FALSE;
  std::lock_guard<std::mutex> g(q->m);
  if (!q->alive) return FALSE;
  q->posted.push_back(MSG{nullptr, msg, wParam, lParam, DWORD(MessageClockNow()), {0, 0}});
  q->cv.notify_all();
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  ThreadQueue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  q.quit = true;
  q.quitCode = exitCode;
  q.cv.notify_all();
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT) {
    auto win = FindWindowObject(hwnd);
    if (!win) return FALSE;
    const auto* text = reinterpret_cast<const char16_t*>(lParam);
    std::lock_guard<std::mutex> g(Reg().m);
    win->text = CString(text ? text : u"");
  }
  LRESULT r = 0;
  if (Hooks().defProc && Hooks().defProc(hwnd, msg, wParam, lParam, &r)) return r;
  switch (msg) {
    case WM_NCCREATE: return TRUE;
    case WM_SETTEXT: return TRUE;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    default: return 0;
  }
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT lo, UINT hi) {
  if (!msg) return -1;
  if (hwnd && !IsWindow(hwnd)) return -1;
  ThreadQueue& q = MyQueue();
  for (;;) {
    while (HandleOneSent(q)) {
    }
    std::unique_lock<std::mutex> lk(q.m);
    if (!q.sent.empty()) continue;
    if (TakePosted(q, msg, hwnd, lo, hi, true)) {
      lk.unlock();
      if (!Cook(msg)) continue;
      return msg->message == WM_QUIT ? 0 : 1;
    }
    WaitForWork(q, lk, hwnd, lo, hi);
  }
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT lo, UINT hi, UINT removeFlags) {
  if (!msg) return FALSE;
  ThreadQueue& q = MyQueue();
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  for (;;) {
    while (HandleOneSent(q)) {
    }
    std::unique_lock<std::mutex> lk(q.m);
    if (!TakePosted(q, msg, hwnd, lo, hi, remove)) return FALSE;
    if (msg->message != WM_KESTREL_RAWINPUT) return TRUE;
    // Raw input is cooked once; a peek that keeps the message keeps the cooked one.
    if (!remove) TakePosted(q, msg, hwnd, lo, hi, true);
    lk.unlock();
    if (!Cook(msg)) continue;
    if (!remove) PostMessageFront(*msg);
    return TRUE;
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, UINT_PTR(msg->wParam), msg->time);
    return 0;
  }
  return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessage() {
  ThreadQueue& q = MyQueue();
  for (;;) {
    while (HandleOneSent(q)) {
    }
    std::unique_lock<std::mutex> lk(q.m);
    if (!q.sent.empty()) continue;
    MSG probe;
    if (TakePosted(q, &probe, nullptr, 0, 0, false)) return TRUE;
    WaitForWork(q, lk, nullptr, 0, 0);
  }
}

int PumpSentMessages() {
  ThreadQueue& q = MyQueue();
  int n = 0;
  while (HandleOneSent(q)) ++n;
  return n;
}

BOOL InSendMessage() {
  if (!t_queue.q) return FALSE;
  std::lock_guard<std::mutex> g(t_queue.q->m);
  return t_queue.q->handlingSent > 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  auto win = FindWindowObject(hwnd);
  if (!win) return 0;
  auto q = QueueOfThread(win->thread);
  if (!q) return 0;
  if (elapseMs < 10) elapseMs = 10;  // the shortest period Windows grants
  std::lock_guard<std::mutex> g(q->m);
  const uint64_t due = MessageClockNow() + elapseMs;
  for (auto& t : q->timers) {
    if (t.hwnd == hwnd && t.id == id) {
      t.period = elapseMs, t.proc = proc, t.due = due;
      q->cv.notify_all();
      return id;
    }
  }
  q->timers.push_back(Timer{hwnd, id, elapseMs, proc, due});
  q->cv.notify_all();
  return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto win = FindWindowObject(hwnd);
  if (!win) return FALSE;
  auto q = QueueOfThread(win->thread);
  if (!q) return FALSE;
  std::lock_guard<std::mutex> g(q->m);
  auto& t = q->timers;
  auto it = std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
  bool found = it != t.end();
  t.erase(it, t.end());
  return found;
}

uint64_t MessageClockNow() { return g_virtualClock ? g_virtualNow.load() : GetTickCount64(); }

void UseVirtualMessageClock(bool on) {
  if (on && !g_virtualClock) g_virtualNow = GetTickCount64();
  g_virtualClock = on;
}

void AdvanceVirtualMessageClock(uint64_t ms) {
  g_virtualNow += ms;
  std::vector<std::shared_ptr<ThreadQueue>> all;
  {
    std::lock_guard<std::mutex> g(Reg().m);
    for (auto& kv : Reg().queues) all.push_back(kv.second);
  }
  for (auto& q : all) Notify(q);
}

void InstallWindowLayer(const WindowLayerHooks& hooks) { Hooks() = hooks; }

void WakeMessageThread(DWORD threadId) {
  if (auto q = QueueOfThread(threadId)) Notify(q);
}

void PostMessageFront(const MSG& msg) {
  ThreadQueue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  q.posted.push_front(msg);
  q.cv.notify_all();
}
