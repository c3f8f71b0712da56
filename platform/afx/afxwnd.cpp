// CWnd: the handle maps, creation and subclassing, message-map dispatch and reflection, and
// the window device contexts.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/afx/afxmsg.h"
#include "platform/sync.h"
#include "platform/wnd/controls.h"

namespace {

struct HandleMaps {
  std::recursive_mutex m;
  std::map<HWND, CWnd*> permanent;
  std::map<HWND, std::unique_ptr<CWnd>> temporary;
  std::map<HMENU, std::unique_ptr<CMenu>> menus;
};
HandleMaps& Maps() {
  static HandleMaps& h = *new HandleMaps;
  return h;
}

// The messages being handled on this thread, innermost last.
thread_local std::vector<MSG> t_current;

struct TempDc : CDC {
  ~TempDc() override { Detach(); }
};

void AttachOnCreate(HWND h, void* ctx) {
  auto* w = static_cast<CWnd*>(ctx);
  w->Attach(h);
  w->PreSubclassWindow();
  w->m_pfnSuper = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
}

bool EntryMatches(const AFX_MSGMAP_ENTRY& e, UINT msg, WPARAM w, LPARAM l) {
  if (e.nMessage != msg) return false;
  if (msg == WM_COMMAND || msg == WM_REFLECT_BASE + WM_COMMAND) {
    const UINT id = LOWORD(w), code = HIWORD(w);
    return e.nCode == code && id >= e.nID && id <= e.nLastID;
  }
  if (msg == WM_NOTIFY || msg == WM_REFLECT_BASE + WM_NOTIFY) {
    const auto* nm = reinterpret_cast<const NMHDR*>(l);
    if (!nm) return false;
    return e.nCode == nm->code && nm->idFrom >= e.nID && nm->idFrom <= e.nLastID;
  }
  return true;
}

BOOL ReflectTo(HWND child, UINT msg, WPARAM w, LPARAM l, LRESULT* result) {
  CWnd* c = CWnd::FromHandlePermanent(child);
  if (!c) return FALSE;
  LRESULT r = 0;
  BOOL handled = c->OnChildNotify(msg, w, l, &r);
  if (handled && result) *result = r;
  return handled;
}

}  // namespace

CDC* AfxDcFromHandle(HDC dc) {
  // A small ring per thread: a wrapper stays valid for the next few dozen look-ups.
  thread_local TempDc ring[64];
  thread_local unsigned next = 0;
  for (auto& d : ring) {
    if (d.m_hDC == dc) return &d;
  }
  TempDc& d = ring[next++ % 64];
  d.Detach();
  d.Attach(dc);
  return &d;
}

// ---- CMenu ----

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT* rect) {
  return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner ? owner->m_hWnd : nullptr, rect);
}

CMenu::~CMenu() {
  if (!m_temporary) DestroyMenu();
}
BOOL CMenu::Attach(HMENU m) {
  if (!m || m_hMenu) return FALSE;
  m_hMenu = m;
  return TRUE;
}
HMENU CMenu::Detach() {
  HMENU m = m_hMenu;
  m_hMenu = nullptr;
  return m;
}
BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  BOOL ok = ::DestroyMenu(m_hMenu);
  m_hMenu = nullptr;
  return ok;
}
CMenu* CMenu::FromHandle(HMENU m) {
  if (!m) return nullptr;
  std::lock_guard<std::recursive_mutex> g(Maps().m);
  auto& slot = Maps().menus[m];
  if (!slot) {
    slot = std::make_unique<CMenu>();
    slot->m_hMenu = m;
    slot->m_temporary = true;
  }
  return slot.get();
}

// ---- Handle maps ----

CWnd::~CWnd() {
  if (m_hWnd && !m_temporary) {
    HWND h = m_hWnd;
    Detach();
    // A window that outlives its object would call into freed memory: it goes too.
    if (IsWindow(h) && GetWindowLongPtrW(h, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc)) {
      SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper ? m_pfnSuper : &DefWindowProcW));
      if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) ::DestroyWindow(h);
    }
  }
}

CWnd* CWnd::FromHandlePermanent(HWND h) {
  if (!h) return nullptr;
  std::lock_guard<std::recursive_mutex> g(Maps().m);
  auto it = Maps().permanent.find(h);
  return it == Maps().permanent.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND h) {
  if (!h || !IsWindow(h)) return nullptr;
  std::lock_guard<std::recursive_mutex> g(Maps().m);
  if (CWnd* w = FromHandlePermanent(h)) return w;
  auto& t = Maps().temporary;
  for (auto it = t.begin(); it != t.end();) {
    if (!IsWindow(it->first)) it = t.erase(it);  // handles are never reused
    else ++it;
  }
  auto& slot = t[h];
  if (!slot) {
    slot = std::make_unique<CWnd>();
    slot->m_hWnd = h;
    slot->m_temporary = true;
  }
  return slot.get();
}

BOOL CWnd::Attach(HWND h) {
  if (!h || m_hWnd) return FALSE;
  std::lock_guard<std::recursive_mutex> g(Maps().m);
  if (Maps().permanent.count(h)) return FALSE;
  Maps().permanent[h] = this;
  Maps().temporary.erase(h);
  m_hWnd = h;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h) {
    std::lock_guard<std::recursive_mutex> g(Maps().m);
    auto it = Maps().permanent.find(h);
    if (it != Maps().permanent.end() && it->second == this) Maps().permanent.erase(it);
  }
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::SubclassWindow(HWND h) {
  if (!IsWindow(h) || !Attach(h)) return FALSE;
  PreSubclassWindow();
  m_pfnSuper = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, int(id)));
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd) return nullptr;
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper ? m_pfnSuper : &DefWindowProcW));
  m_pfnSuper = nullptr;
  return Detach();
}

// ---- Creation ----

BOOL CWnd::PreCreateWindow(CREATESTRUCTW&) { return TRUE; }
void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}

BOOL CWnd::Create(const char16_t* className, const char16_t* windowName, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id, void*) {
  return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, nullptr);
}

BOOL CWnd::CreateEx(DWORD exStyle, const char16_t* className, const char16_t* windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, LPVOID param) {
  InitWindowLayer();
  if (!className) className = AfxRegisterWndClass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
  CREATESTRUCTW cs{param, nullptr, reinterpret_cast<void*>(uintptr_t(id)), parent ? parent->m_hWnd : nullptr,
                   rect.bottom - rect.top, rect.right - rect.left, rect.top, rect.left, LONG(style), windowName,
                   className, exStyle};
  if (!PreCreateWindow(cs)) return FALSE;
  HookNextWindowCreation(&AttachOnCreate, this);
  HWND h = CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, DWORD(cs.style), cs.x, cs.y, cs.cx, cs.cy,
                           cs.hwndParent, cs.hMenu, nullptr, cs.lpCreateParams);
  HookNextWindowCreation(nullptr, nullptr);
  if (!h) {
    if (m_hWnd) Detach();
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

// ---- Dispatch ----

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {
      {WM_DRAWITEM, 0, 0, 0,
       [](CWnd* w, UINT, WPARAM wp, LPARAM lp, LRESULT* r) {
         w->OnDrawItem(int(wp), reinterpret_cast<DRAWITEMSTRUCT*>(lp));
         *r = TRUE;
         return true;
       }},
      {WM_MEASUREITEM, 0, 0, 0,
       [](CWnd* w, UINT, WPARAM wp, LPARAM lp, LRESULT* r) {
         w->OnMeasureItem(int(wp), reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
         *r = TRUE;
         return true;
       }},
      {0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}
const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

bool CWnd::FindAndCall(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->thunk; ++e) {
      if (EntryMatches(*e, msg, wParam, lParam) && e->thunk(this, msg, wParam, lParam, result)) return true;
    }
  }
  // Every WM_CTLCOLOR* message reaches the control it concerns unless a map took it.
  if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
    HBRUSH b = OnCtlColor(AfxDcFromHandle(reinterpret_cast<HDC>(wParam)), FromHandle(reinterpret_cast<HWND>(lParam)),
                          msg - WM_CTLCOLORMSGBOX);
    *result = reinterpret_cast<LRESULT>(b);
    return true;
  }
  return false;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (!OnWndMsg(msg, wParam, lParam, &r)) r = DefWindowProc(msg, wParam, lParam);
  return r;
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *result = 1;
    return TRUE;
  }
  if (msg == WM_NOTIFY) {
    LRESULT r = 0;
    if (!OnNotify(wParam, lParam, &r)) return FALSE;
    *result = r;
    return TRUE;
  }
  return FindAndCall(msg, wParam, lParam, result) ? TRUE : FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  auto ctl = reinterpret_cast<HWND>(lParam);
  if (ctl && ReflectTo(ctl, WM_COMMAND, wParam, lParam, nullptr)) return TRUE;
  LRESULT r = 0;
  return FindAndCall(WM_COMMAND, wParam, lParam, &r) ? TRUE : FALSE;
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  const auto* nm = reinterpret_cast<const NMHDR*>(lParam);
  if (!nm) return FALSE;
  if (nm->hwndFrom && ReflectTo(nm->hwndFrom, WM_NOTIFY, wParam, lParam, result)) return TRUE;
  return FindAndCall(WM_NOTIFY, wParam, lParam, result) ? TRUE : FALSE;
}

BOOL CWnd::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  return ReflectChildNotify(msg, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  LRESULT r = 0;
  bool handled = false;
  if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
    handled = FindAndCall(AFX_WM_REFLECT_CTLCOLOR, wParam, LPARAM(msg - WM_CTLCOLORMSGBOX), &r);
  } else if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_DRAWITEM || msg == WM_MEASUREITEM) {
    handled = FindAndCall(WM_REFLECT_BASE + msg, wParam, lParam, &r);
  }
  if (handled && result) *result = r;
  return handled ? TRUE : FALSE;
}

BOOL CWnd::ReflectLastMsg(HWND child, LRESULT* result) {
  const MSG* m = GetCurrentMessage();
  if (!m) return FALSE;
  return ReflectTo(child, m->message, m->wParam, m->lParam, result);
}

const MSG* CWnd::GetCurrentMessage() { return t_current.empty() ? nullptr : &t_current.back(); }

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(m_pfnSuper ? m_pfnSuper : &DefWindowProcW, m_hWnd, msg, wParam, lParam);
}

LRESULT CWnd::Default() {
  const MSG* m = GetCurrentMessage();
  if (!m || m->hwnd != m_hWnd) return 0;
  const MSG copy = *m;
  return DefWindowProc(copy.message, copy.wParam, copy.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::WalkPreTranslateTree(HWND stop, MSG* msg) {
  for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
    CWnd* w = FromHandlePermanent(h);
    if (w && w->PreTranslateMessage(msg)) return TRUE;
    if (h == stop || !(GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) break;
  }
  return FALSE;
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT) {
  LRESULT r = 0;
  if (wnd && ReflectLastMsg(wnd->m_hWnd, &r)) return reinterpret_cast<HBRUSH>(r);
  return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int, DRAWITEMSTRUCT* dis) {
  if (dis && dis->CtlType != ODT_MENU && ReflectLastMsg(dis->hwndItem)) return;
  Default();
}

void CWnd::OnMeasureItem(int id, MEASUREITEMSTRUCT*) {
  if (HWND c = ::GetDlgItem(m_hWnd, id); c && ReflectLastMsg(c)) return;
  Default();
}

LRESULT AfxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWnd* w = CWnd::FromHandlePermanent(hwnd);
  if (!w) return DefWindowProcW(hwnd, msg, wParam, lParam);
  t_current.push_back(MSG{hwnd, msg, wParam, lParam, 0, {0, 0}});
  LRESULT r = w->WindowProc(msg, wParam, lParam);
  t_current.pop_back();
  if (msg == WM_NCDESTROY && CWnd::FromHandlePermanent(hwnd) == w) {
    w->Detach();
    w->m_pfnSuper = nullptr;
    w->PostNcDestroy();  // may delete the object
  }
  return r;
}

// ---- Helpers of CWnd ----

void CWnd::ScreenToClient(RECT* r) const {
  ::ScreenToClient(m_hWnd, reinterpret_cast<POINT*>(&r->left));
  ::ScreenToClient(m_hWnd, reinterpret_cast<POINT*>(&r->right));
}

void CWnd::ClientToScreen(RECT* r) const {
  ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(&r->left));
  ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(&r->right));
}

BOOL CWnd::SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags) {
  HWND a = after ? after->m_hWnd : HWND_TOP;
  return ::SetWindowPos(m_hWnd, a, x, y, cx, cy, flags);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
  const DWORD old = GetStyle();
  const DWORD now = (old & ~remove) | add;
  if (now == old) return FALSE;
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, LONG_PTR(now));
  if (swpFlags) ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
  const DWORD old = GetExStyle();
  const DWORD now = (old & ~remove) | add;
  if (now == old) return FALSE;
  SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, LONG_PTR(now));
  if (swpFlags) ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  return TRUE;
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
  SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font->m_hObject : nullptr), redraw);
}

CFont* CWnd::GetFont() const {
  auto f = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  return f ? CFont::FromHandle(f) : nullptr;
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  return reinterpret_cast<HICON>(SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL big) const {
  return reinterpret_cast<HICON>(SendMessageW(m_hWnd, WM_GETICON, big ? ICON_BIG : ICON_SMALL, 0));
}

namespace {
struct OwnedDc : CDC {
  HWND wnd = nullptr;
};
}  // namespace

CDC* CWnd::GetDC() {
  HDC h = ::GetDC(m_hWnd);
  if (!h) return nullptr;
  auto* dc = new OwnedDc;
  dc->Attach(h);
  dc->wnd = m_hWnd;
  return dc;
}

CDC* CWnd::GetWindowDC() {
  HDC h = ::GetWindowDC(m_hWnd);
  if (!h) return nullptr;
  auto* dc = new OwnedDc;
  dc->Attach(h);
  dc->wnd = m_hWnd;
  return dc;
}

int CWnd::ReleaseDC(CDC* dc) {
  if (!dc) return 0;
  HDC h = dc->Detach();
  ::ReleaseDC(m_hWnd, h);
  delete dc;
  return 1;
}

const char16_t* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
  InitWindowLayer();
  static std::mutex m;
  static auto& names = *new std::map<std::u16string, std::u16string>;
  std::string k = "Afx:" + std::to_string(classStyle) + ":" + std::to_string(reinterpret_cast<uintptr_t>(cursor)) +
                  ":" + std::to_string(reinterpret_cast<uintptr_t>(background)) + ":" +
                  std::to_string(reinterpret_cast<uintptr_t>(icon));
  CString key{std::string_view(k)};
  std::lock_guard<std::mutex> g(m);
  auto it = names.find(key.Str());
  if (it != names.end()) return it->second.c_str();
  WNDCLASSW wc{};
  wc.style = classStyle;
  wc.lpfnWndProc = &DefWindowProcW;
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.hIcon = icon;
  auto& stored = names[key.Str()] = key.Str();
  wc.lpszClassName = stored.c_str();
  RegisterClassW(&wc);
  return stored.c_str();
}

// ---- Window device contexts ----

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { Attach(::GetDC(m_hWnd)); }
CClientDC::~CClientDC() {
  if (m_hDC) ::ReleaseDC(m_hWnd, Detach());
}
CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { Attach(::GetWindowDC(m_hWnd)); }
CWindowDC::~CWindowDC() {
  if (m_hDC) ::ReleaseDC(m_hWnd, Detach());
}
CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { Attach(::BeginPaint(m_hWnd, &m_ps)); }
CPaintDC::~CPaintDC() {
  if (m_hDC) {
    Detach();
    ::EndPaint(m_hWnd, &m_ps);
  }
}
