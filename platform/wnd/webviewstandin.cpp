#include "platform/wnd/webviewstandin.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/paint/gdi.h"
#include "platform/process.h"
#include "platform/textconv.h"
#include "platform/wnd/wnd.h"

struct wkeWebViewObject {
  HWND hwnd = nullptr;
  std::string url;
  wkeLoadingFinishCallback onFinish = nullptr;
  void* finishParam = nullptr;
};

struct jsExecStateObject {
  wkeWebView view = nullptr;
  std::vector<WebViewArg> args;
  std::vector<std::unique_ptr<CString>> texts;  // texts handed out during the call
};

namespace {

constexpr UINT kLoadFinished = WM_USER + 1;
constexpr char16_t kClassName[] = u"KestrelWebViewStandIn";

struct Binding {
  wkeJsNativeFunction wkeFn = nullptr;
  void* param = nullptr;
  jsNativeFunction jsFn = nullptr;
};

// The library's state; the program uses it on its user-interface thread only, as the real
// library demands, but the lock keeps tests that read it from elsewhere honest.
struct StandIn {
  std::mutex m;
  std::set<wkeWebView> views;
  std::map<std::string, Binding> bindings;
  std::vector<std::string> loads;
  int contentW = 0, contentH = 0;
};
StandIn& State() {
  static StandIn& s = *new StandIn;
  return s;
}

wkeWebView ViewOf(HWND hwnd) { return reinterpret_cast<wkeWebView>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void Paint(HWND hwnd) {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hwnd, &ps);
  RECT rc{};
  GetClientRect(hwnd, &rc);
  FillSolidRectDc(dc, &rc, RGB(255, 255, 255));
  wkeWebView v = ViewOf(hwnd);
  const CString url = v ? CString(AnsiToUtf16(v->url)) : CString();
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(64, 64, 64));
  RECT text{rc.left + 16, rc.top + 16, rc.right - 16, rc.bottom - 16};
  const CString shown = CString(u"Web page\n") + url;
  DrawTextW(dc, shown.GetString(), shown.GetLength(), &text, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  EndPaint(hwnd, &ps);
}

LRESULT ViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case kLoadFinished: {
      wkeWebView v = ViewOf(hwnd);
      if (v && v->onFinish) v->onFinish(v, v->finishParam, v->url.c_str(), 0, nullptr);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

bool Live(wkeWebView v) {
  std::lock_guard<std::mutex> g(State().m);
  return v && State().views.count(v) != 0;
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
  HWND h = CreateWindowExW(0, kClassName, u"", WS_CHILD | WS_CLIPSIBLINGS, x, y, width, height, parent, nullptr,
                           nullptr, nullptr);
  if (!h) return nullptr;
  auto* v = new wkeWebViewObject;
  v->hwnd = h;
  SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
  std::lock_guard<std::mutex> g(State().m);
  State().views.insert(v);
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
  InvalidateRect(v->hwnd, nullptr, TRUE);
  PostMessageW(v->hwnd, kLoadFinished, 0, 0);
}

void OnLoadingFinish(wkeWebView v, wkeLoadingFinishCallback cb, void* param) {
  if (!Live(v)) return;
  v->onFinish = cb;
  v->finishParam = param;
}

int ContentWidth(wkeWebView v) {
  std::lock_guard<std::mutex> g(State().m);
  return State().views.count(v) ? State().contentW : 0;
}

int ContentHeight(wkeWebView v) {
  std::lock_guard<std::mutex> g(State().m);
  return State().views.count(v) ? State().contentH : 0;
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

int JsToInt(jsExecState es, jsValue v) {
  const WebViewArg* a = ArgOf(es, v);
  if (!a) return 0;
  if (const int* i = std::get_if<int>(a)) return *i;
  const CString& s = std::get<CString>(*a);
  long long n = 0;
  int i = 0;
  const bool neg = s.GetLength() > 0 && s[0] == u'-';
  for (i = neg ? 1 : 0; i < s.GetLength() && s[i] >= u'0' && s[i] <= u'9' && n < (1LL << 31); ++i) n = n * 10 + (s[i] - u'0');
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

}  // namespace

void RegisterWebViewStandIn() { RegisterBuiltinLibrary(kWebViewLibraryName, &Lookup); }

void SetWebViewContentSizeForTest(int width, int height) {
  std::lock_guard<std::mutex> g(State().m);
  State().contentW = width;
  State().contentH = height;
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

HWND__* WebViewWindowForTest(wkeWebView view) { return Live(view) ? view->hwnd : nullptr; }

void ResetWebViewStandInForTest() {
  std::lock_guard<std::mutex> g(State().m);
  State().bindings.clear();
  State().loads.clear();
  State().contentW = State().contentH = 0;
}
