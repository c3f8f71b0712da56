#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "platform/paint/gdi.h"
#include "platform/process.h"
#include "platform/textconv.h"
#include "platform/webview/htmlcanvas.h"
#include "platform/webview/pagesource.h"
#include "platform/webview/webviewlib.h"
#include "platform/wnd/wnd.h"

struct wkeWebViewObject {
  HWND hwnd = nullptr;
  std::string url;  // as the program handed it over (ANSI)
  wkeLoadingFinishCallback onFinish = nullptr;
  void* finishParam = nullptr;
  std::unique_ptr<HtmlCanvas> page;
  bool message = false;  // a message page shows in place of the asked one
  int scrollY = 0;
  unsigned loads = 0;      // loads started; a finish message of an older one does nothing
  bool relayout = false;   // inside a layout that shows or hides the scroll bar
};

struct jsExecStateObject {
  wkeWebView view = nullptr;
  std::vector<WebViewArg> args;
  std::vector<std::unique_ptr<CString>> texts;  // texts handed out during the call
};

namespace {

constexpr UINT kLoadFinished = WM_USER + 1;
constexpr UINT kFollowLink = WM_USER + 2;
constexpr char16_t kClassName[] = u"KestrelWebView";
constexpr size_t kMaxPage = size_t(8) << 20;
constexpr int kPageTimeoutMs = 5000;
constexpr int kLineStep = 40;

struct Binding {
  wkeJsNativeFunction wkeFn = nullptr;
  void* param = nullptr;
  jsNativeFunction jsFn = nullptr;
};

// The library's state; the program uses it on its user-interface thread only, as the library
// demands, but the lock keeps tests that read it from elsewhere honest.
struct Library {
  std::mutex m;
  std::set<wkeWebView> views;
  std::map<std::string, Binding> bindings;
  std::vector<std::string> loads;
  std::optional<SIZE> contentForTest;
};
Library& State() {
  static Library& s = *new Library;
  return s;
}

bool Live(wkeWebView v) {
  std::lock_guard<std::mutex> g(State().m);
  return v && State().views.count(v) != 0;
}

wkeWebView ViewOf(HWND hwnd) {
  auto v = reinterpret_cast<wkeWebView>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return Live(v) ? v : nullptr;
}

std::string EscapeHtml(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string MessagePage(const char* text, const std::string& url) {
  return "<html><head><title>" + std::string(text) +
         "</title></head><body style=\"margin:0\"><div style=\"padding:48px 16px 8px 16px;text-align:center;"
         "color:#404040;font-size:15px\">" +
         text + "</div><div style=\"text-align:center;color:#808080;font-size:12px\">" + EscapeHtml(url) +
         "</div></body></html>";
}

RECT Client(HWND hwnd) {
  RECT rc{};
  GetClientRect(hwnd, &rc);
  return rc;
}

// The scroll bar follows the page's height; showing or hiding it changes the width, which
// lays the page out again (once: the second layout keeps the bar as it is).
void UpdateScrollBar(wkeWebView v) {
  const RECT rc = Client(v->hwnd);
  const int height = v->page ? v->page->ContentHeight() : 0;
  v->scrollY = std::clamp(v->scrollY, 0, std::max(0, height - int(rc.bottom)));
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = std::max(0, height - 1);
  si.nPage = UINT(std::max<LONG>(0, rc.bottom));
  si.nPos = v->scrollY;
  SetScrollInfo(v->hwnd, SB_VERT, &si, TRUE);
}

void Layout(wkeWebView v) {
  if (!v->page || v->relayout) return;
  v->relayout = true;
  RECT rc = Client(v->hwnd);
  v->page->Relayout(rc.right, rc.bottom);
  UpdateScrollBar(v);
  const RECT now = Client(v->hwnd);
  if (now.right != rc.right) {
    v->page->Relayout(now.right, now.bottom);
    UpdateScrollBar(v);
  }
  v->relayout = false;
  InvalidateRect(v->hwnd, nullptr, FALSE);
}

void ScrollTo(wkeWebView v, int y) {
  const int before = v->scrollY;
  v->scrollY = y;
  UpdateScrollBar(v);
  if (v->scrollY != before) InvalidateRect(v->hwnd, nullptr, FALSE);
}

void Load(wkeWebView v) {
  const std::string url = Utf16ToUtf8(AnsiToUtf16(v->url));
  std::string html, why;
  const PageAddress a = ClassifyAddress(url);
  v->message = true;
  if (a.scheme != PageScheme::kFile && a.scheme != PageScheme::kLoopbackHttp) {
    html = MessagePage("This page is not available offline.", url);
  } else if (!FetchAddress(url, kMaxPage, kPageTimeoutMs, &html, &why)) {
    html = MessagePage("This page could not be loaded.", url);
  } else {
    v->message = false;
  }
  v->page = std::make_unique<HtmlCanvas>(url);
  const RECT rc = Client(v->hwnd);
  v->page->Load(html, rc.right, rc.bottom);
  v->scrollY = 0;
  Layout(v);
}

bool CallBinding(wkeWebView view, const std::string& name, const std::vector<WebViewArg>& args) {
  Binding b;
  {
    std::lock_guard<std::mutex> g(State().m);
    auto it = State().bindings.find(name);
    if (it == State().bindings.end()) return false;
    b = it->second;
  }
  jsExecStateObject es;
  es.view = view;
  es.args = args;
  if (b.wkeFn) b.wkeFn(&es, b.param);
  else if (b.jsFn) b.jsFn(&es);
  return true;
}

void LoadURL(wkeWebView v, const char* url);

// A link the page followed: a call into the program, or the next page in this view.
void Follow(wkeWebView v) {
  if (!v->page) return;
  const std::string target = v->page->TakeFollowedLink();
  if (target.empty()) return;
  const PageAddress a = ClassifyAddress(target);
  if (a.scheme == PageScheme::kProgramCall) {
    std::string name;
    std::vector<std::string> texts;
    if (!ParseProgramCall(a.path, &name, &texts)) return;
    std::vector<WebViewArg> args;
    for (const std::string& t : texts) args.emplace_back(CString(Utf8ToUtf16(t)));
    CallBinding(v, name, args);
    return;
  }
  LoadURL(v, Utf16ToAnsi(Utf8ToUtf16(target)).c_str());
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hwnd, &ps);
  const RECT rc = Client(hwnd);
  wkeWebView v = ViewOf(hwnd);
  if (v && v->page) v->page->Draw(dc, rc, 0, v->scrollY);
  else FillSolidRectDc(dc, &rc, RGB(255, 255, 255));
  EndPaint(hwnd, &ps);
}

void Mouse(wkeWebView v, UINT msg, LPARAM lParam) {
  if (!v->page || !v->page->Document()) return;
  const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
  litehtml::position::vector redraw;
  bool changed = false;
  const auto& doc = v->page->Document();
  if (msg == WM_MOUSEMOVE) changed = doc->on_mouse_over(x, y + v->scrollY, x, y, redraw);
  else if (msg == WM_LBUTTONDOWN) changed = doc->on_lbutton_down(x, y + v->scrollY, x, y, redraw);
  else if (msg == WM_LBUTTONUP) changed = doc->on_lbutton_up(x, y + v->scrollY, x, y, redraw);
  else if (msg == WM_MOUSELEAVE) changed = doc->on_mouse_leave(redraw);
  if (changed) InvalidateRect(v->hwnd, nullptr, FALSE);
  if (msg == WM_MOUSEMOVE) {
    SetCursor(LoadCursorW(nullptr, v->page->Cursor() == "pointer" ? IDC_HAND : IDC_ARROW));
    TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, v->hwnd, 0};
    TrackMouseEvent(&t);
  }
  // The new page loads after this message, not in the middle of the old page's handling.
  if (msg == WM_LBUTTONUP) PostMessageW(v->hwnd, kFollowLink, 0, 0);
}

LRESULT ViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  wkeWebView v = ViewOf(hwnd);
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      if (v) Layout(v);
      return 0;
    case kLoadFinished:
      if (v && wParam == v->loads) {
        Load(v);
        if (v->onFinish) v->onFinish(v, v->finishParam, v->url.c_str(), 0, nullptr);
      }
      return 0;
    case kFollowLink:
      if (v) Follow(v);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSELEAVE:
      if (v) {
        if (msg == WM_LBUTTONDOWN) SetFocus(hwnd);
        Mouse(v, msg, lParam);
      }
      return 0;
    case WM_SETCURSOR:
      return TRUE;  // set by the pointer's moves
    case WM_MOUSEWHEEL:
      if (v) ScrollTo(v, v->scrollY - short(HIWORD(wParam)) / WHEEL_DELTA * 3 * kLineStep);
      return 0;
    case WM_VSCROLL:
      if (v) {
        const int page = std::max<int>(kLineStep, Client(hwnd).bottom - kLineStep);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(hwnd, SB_VERT, &si);
        switch (LOWORD(wParam)) {
          case SB_LINEUP: ScrollTo(v, v->scrollY - kLineStep); break;
          case SB_LINEDOWN: ScrollTo(v, v->scrollY + kLineStep); break;
          case SB_PAGEUP: ScrollTo(v, v->scrollY - page); break;
          case SB_PAGEDOWN: ScrollTo(v, v->scrollY + page); break;
          case SB_THUMBTRACK:
          case SB_THUMBPOSITION: ScrollTo(v, si.nTrackPos); break;
          case SB_TOP: ScrollTo(v, 0); break;
          case SB_BOTTOM: ScrollTo(v, 1 << 30); break;
          default: break;
        }
      }
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      if (v) {
        const int page = std::max<int>(kLineStep, Client(hwnd).bottom - kLineStep);
        switch (wParam) {
          case VK_UP: ScrollTo(v, v->scrollY - kLineStep); return 0;
          case VK_DOWN: ScrollTo(v, v->scrollY + kLineStep); return 0;
          case VK_PRIOR: ScrollTo(v, v->scrollY - page); return 0;
          case VK_NEXT:
          case VK_SPACE: ScrollTo(v, v->scrollY + page); return 0;
          case VK_HOME: ScrollTo(v, 0); return 0;
          case VK_END: ScrollTo(v, 1 << 30); return 0;
          default: break;
        }
      }
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

// ---- The library's functions ----

void InitializeEx(const void*) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &ViewProc;
  wc.lpszClassName = kClassName;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&wc);
}

void Finalize() {}

wkeWebView CreateWebWindow(int type, HWND__* parent, int x, int y, int width, int height) {
  if (type != WKE_WINDOW_TYPE_CONTROL || !parent) return nullptr;
  InitializeEx(nullptr);
  HWND h = CreateWindowExW(0, kClassName, u"", WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP, x, y, width, height, parent,
                           nullptr, nullptr, nullptr);
  if (!h) return nullptr;
  auto* v = new wkeWebViewObject;
  v->hwnd = h;
  {
    std::lock_guard<std::mutex> g(State().m);
    State().views.insert(v);
  }
  SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
  return v;
}

void DestroyWebWindow(wkeWebView v) {
  if (!Live(v)) return;
  {
    std::lock_guard<std::mutex> g(State().m);
    State().views.erase(v);
  }
  if (IsWindow(v->hwnd)) DestroyWindow(v->hwnd);
  delete v;
}

void ShowWebWindow(wkeWebView v, bool show) {
  if (Live(v)) ShowWindow(v->hwnd, show ? SW_SHOW : SW_HIDE);
}

void MoveWebWindow(wkeWebView v, int x, int y, int w, int h) {
  if (Live(v)) MoveWindow(v->hwnd, x, y, w, h, TRUE);
}

void LoadURL(wkeWebView v, const char* url) {
  if (!Live(v)) return;
  v->url = url ? url : "";
  {
    std::lock_guard<std::mutex> g(State().m);
    State().loads.push_back(v->url);
  }
  PostMessageW(v->hwnd, kLoadFinished, ++v->loads, 0);
}

void OnLoadingFinish(wkeWebView v, wkeLoadingFinishCallback cb, void* param) {
  if (!Live(v)) return;
  v->onFinish = cb;
  v->finishParam = param;
}

// A message page has no size of its own: the program keeps the size it asked for.
int ContentWidth(wkeWebView v) {
  if (!Live(v)) return 0;
  {
    std::lock_guard<std::mutex> g(State().m);
    if (State().contentForTest) return State().contentForTest->cx;
  }
  return v->page && !v->message ? v->page->ContentWidth() : 0;
}

int ContentHeight(wkeWebView v) {
  if (!Live(v)) return 0;
  {
    std::lock_guard<std::mutex> g(State().m);
    if (State().contentForTest) return State().contentForTest->cy;
  }
  return v->page && !v->message ? v->page->ContentHeight() : 0;
}

void WkeJsBindFunction(const char* name, wkeJsNativeFunction fn, void* param, unsigned) {
  if (!name) return;
  std::lock_guard<std::mutex> g(State().m);
  State().bindings[name] = Binding{fn, param, nullptr};
}

void JsBindFunction(const char* name, jsNativeFunction fn, unsigned) {
  if (!name) return;
  std::lock_guard<std::mutex> g(State().m);
  State().bindings[name] = Binding{nullptr, nullptr, fn};
}

// A script value is the argument's position + 1; 0 is undefined.
jsValue JsArg(jsExecState es, int index) {
  if (!es || index < 0 || size_t(index) >= es->args.size()) return 0;
  return jsValue(index) + 1;
}

const WebViewArg* ArgOf(jsExecState es, jsValue v) {
  if (!es || v <= 0 || size_t(v) > es->args.size()) return nullptr;
  return &es->args[size_t(v - 1)];
}

// A text argument counts by its leading decimal number (0 without one), clamped to 32 bits.
int JsToInt(jsExecState es, jsValue v) {
  const WebViewArg* a = ArgOf(es, v);
  if (!a) return 0;
  if (const int* i = std::get_if<int>(a)) return *i;
  const CString& s = std::get<CString>(*a);
  long long n = 0;
  int i = 0;
  const bool neg = s.GetLength() > 0 && s[0] == u'-';
  for (i = neg ? 1 : 0; i < s.GetLength() && s[i] >= u'0' && s[i] <= u'9' && n < (1LL << 31); ++i) n = n * 10 + (s[i] - u'0');
  n = std::min<long long>(n, neg ? (1LL << 31) : (1LL << 31) - 1);
  return int(neg ? -n : n);
}

const char16_t* JsToStringW(jsExecState es, jsValue v) {
  if (!es) return u"";
  const WebViewArg* a = ArgOf(es, v);
  CString text;
  if (!a) text = u"undefined";
  else if (const int* i = std::get_if<int>(a)) text = CString(std::string_view(std::to_string(*i)));
  else text = std::get<CString>(*a);
  es->texts.push_back(std::make_unique<CString>(text));
  return es->texts.back()->GetString();
}

wkeWebView JsGetWebView(jsExecState es) { return es ? es->view : nullptr; }
jsValue JsUndefined() { return 0; }

void* Lookup(const char* name) {
  static const std::map<std::string, void*> table = {
      {"wkeInitializeEx", reinterpret_cast<void*>(&InitializeEx)},
      {"wkeFinalize", reinterpret_cast<void*>(&Finalize)},
      {"wkeCreateWebWindow", reinterpret_cast<void*>(&CreateWebWindow)},
      {"wkeDestroyWebWindow", reinterpret_cast<void*>(&DestroyWebWindow)},
      {"wkeShowWindow", reinterpret_cast<void*>(&ShowWebWindow)},
      {"wkeMoveWindow", reinterpret_cast<void*>(&MoveWebWindow)},
      {"wkeLoadURL", reinterpret_cast<void*>(&LoadURL)},
      {"wkeOnLoadingFinish", reinterpret_cast<void*>(&OnLoadingFinish)},
      {"wkeGetContentWidth", reinterpret_cast<void*>(&ContentWidth)},
      {"wkeGetContentHeight", reinterpret_cast<void*>(&ContentHeight)},
      {"wkeJsBindFunction", reinterpret_cast<void*>(&WkeJsBindFunction)},
      {"jsBindFunction", reinterpret_cast<void*>(&JsBindFunction)},
      {"jsArg", reinterpret_cast<void*>(&JsArg)},
      {"jsToInt", reinterpret_cast<void*>(&JsToInt)},
      {"jsToStringW", reinterpret_cast<void*>(&JsToStringW)},
      {"jsToTempStringW", reinterpret_cast<void*>(&JsToStringW)},
      {"jsGetWebView", reinterpret_cast<void*>(&JsGetWebView)},
      {"jsUndefined", reinterpret_cast<void*>(&JsUndefined)},
  };
  auto it = name ? table.find(name) : table.end();
  return it == table.end() ? nullptr : it->second;
}

void CollectText(const litehtml::element::ptr& el, std::string* out) {
  if (!el) return;
  litehtml::tstring t;
  el->get_text(t);
  *out += t;
}

}  // namespace

void RegisterWebViewStandIn() { RegisterBuiltinLibrary(kWebViewLibraryName, &Lookup); }

void SetWebViewContentSizeForTest(int width, int height) {
  std::lock_guard<std::mutex> g(State().m);
  State().contentForTest = SIZE{width, height};
}

std::string WebViewUrlForTest(wkeWebView view) { return Live(view) ? view->url : std::string(); }

std::vector<std::string> WebViewLoadsForTest() {
  std::lock_guard<std::mutex> g(State().m);
  return State().loads;
}

int LiveWebViewsForTest() {
  std::lock_guard<std::mutex> g(State().m);
  return int(State().views.size());
}

bool CallBoundWebFunctionForTest(wkeWebView view, const char* name, const std::vector<WebViewArg>& args) {
  return name && CallBinding(view, name, args);
}

HWND__* WebViewWindowForTest(wkeWebView view) { return Live(view) ? view->hwnd : nullptr; }

std::string WebViewTitleForTest(wkeWebView view) {
  return Live(view) && view->page ? view->page->Title() : std::string();
}

std::string WebViewTextForTest(wkeWebView view) {
  std::string out;
  if (Live(view) && view->page && view->page->Document()) {
    for (const auto& body : view->page->Document()->root()->select_all("body")) CollectText(body, &out);
  }
  return out;
}

bool WebViewShowsMessageForTest(wkeWebView view) { return Live(view) && view->message; }

int WebViewScrollForTest(wkeWebView view) { return Live(view) ? view->scrollY : 0; }

bool WebViewLinkPointForTest(wkeWebView view, const std::string& text, POINT* at) {
  if (!Live(view) || !view->page || !view->page->Document()) return false;
  const RECT rc = Client(view->hwnd);
  for (const auto& a : view->page->Document()->root()->select_all("a")) {
    litehtml::tstring t;
    a->get_text(t);
    if (t.find(text) == std::string::npos) continue;
    // An inline link's boxes lie relative to its block; the first one is clicked a little
    // inside its left end.
    litehtml::position::vector boxes;
    a->get_inline_boxes(boxes);
    litehtml::position p = a->get_placement();
    if (!boxes.empty() && a->parent()) {
      const litehtml::position block = a->parent()->get_placement();
      p = litehtml::position(block.x + boxes[0].x, block.y + boxes[0].y, boxes[0].width, boxes[0].height);
    }
    const POINT c{p.x + std::min(p.width / 2, 4), p.y + p.height / 2 - view->scrollY};
    if (c.x < rc.left || c.x >= rc.right || c.y < rc.top || c.y >= rc.bottom) return false;
    *at = c;
    return true;
  }
  return false;
}

void ResetWebViewStandInForTest() {
  std::lock_guard<std::mutex> g(State().m);
  State().bindings.clear();
  State().loads.clear();
  State().contentForTest.reset();
}
