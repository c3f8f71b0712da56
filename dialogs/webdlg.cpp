#include "dialogs/webdlg.h"

#include <cstring>

#include "app/weblink.h"
#include "base/log.h"
#include "platform/afx/afxmsg.h"
#include "platform/process.h"
#include "platform/textconv.h"
#include "platform/webview/webviewlib.h"
#include "skin/wndhelpers.h"

CWebDlg* CurrentWebDlg = nullptr;

namespace {

constexpr UINT kCloseWeb = 0x48A;

template <typename Fn>
void Resolve(HMODULE m, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(GetProcAddress(m, name));
}

// The close request goes to the open web dialog, else to the main window; posted, so the
// page's function returns to the page before anything closes.
void PostCloseWeb() {
  HWND target = CurrentWebDlg ? CurrentWebDlg->m_hWnd : nullptr;
  if (!target) {
    CWnd* main = AfxGetMainWnd();
    target = main ? main->m_hWnd : nullptr;
  }
  if (target) PostMessageW(target, kCloseWeb, 0, 0);
}

CString ArgText(jsExecState es, int index) {
  const WebViewLibrary& w = WebView();
  const char16_t* s = w.toTempStringW(es, w.arg(es, index));
  return s ? CString(s) : CString();
}

jsValue JsCopyTextData(jsExecState es) {
  WriteLog(u"jsCopyTextData");
  const CString text = ArgText(es, 0);
  if (OpenClipboard(nullptr)) {
    if (EmptyClipboard()) {
      const size_t bytes = 2 * (size_t(text.GetLength()) + 1);
      if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = GlobalLock(mem)) {
          std::memset(p, 0, bytes);
          std::memcpy(p, text.GetString(), 2 * size_t(text.GetLength()));
          GlobalUnlock(mem);
          // From here on the clipboard owns the memory; it is ours again only when refused.
          if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
        } else {
          GlobalFree(mem);
        }
      }
    }
    CloseClipboard();
  }
  return WebView().undefined();
}

jsValue JsAboutDlgNotify(jsExecState es, void*) {
  const WebViewLibrary& w = WebView();
  const int what = w.toInt(es, w.arg(es, 0));
  if (what == -1) PostCloseWeb();
  else if (what == 2) OpenWebAddress(ArgText(es, 1));
  return w.undefined();
}

jsValue WcOpenUrl(jsExecState es, void*) {
  OpenWebAddress(ArgText(es, 0));
  return WebView().undefined();
}

jsValue WcClose(jsExecState, void*) {
  WriteLog(u"wc_Close");
  PostCloseWeb();
  return WebView().undefined();
}

}  // namespace

bool WebViewLibrary::Usable() const {
  return module && createWebWindow && destroyWebWindow && showWindow && moveWindow && loadUrl && onLoadingFinish &&
         contentWidth && contentHeight && wkeBind && jsBind && arg && toInt && toTempStringW && undefined;
}

WebViewLibrary& WebView() {
  static WebViewLibrary& w = *new WebViewLibrary;
  return w;
}

MainWebViewRecord& MainWebView() {
  static MainWebViewRecord& r = *new MainWebViewRecord;
  return r;
}

bool LoadWebViewLibrary() {
  WebViewLibrary& w = WebView();
  if (!w.module) w.module = LoadLibraryW(kWebViewLibraryName);
  if (!w.module) {
    WriteLog(CString(u"No web view: ") + GetLoadLibraryError());
    return false;
  }
  Resolve(w.module, "wkeInitializeEx", w.initializeEx);
  Resolve(w.module, "wkeFinalize", w.finalize);
  if (w.initializeEx) w.initializeEx(nullptr);
  Resolve(w.module, "wkeCreateWebWindow", w.createWebWindow);
  Resolve(w.module, "wkeDestroyWebWindow", w.destroyWebWindow);
  Resolve(w.module, "wkeShowWindow", w.showWindow);
  Resolve(w.module, "wkeMoveWindow", w.moveWindow);
  Resolve(w.module, "wkeLoadURL", w.loadUrl);
  Resolve(w.module, "wkeOnLoadingFinish", w.onLoadingFinish);
  Resolve(w.module, "wkeGetContentWidth", w.contentWidth);
  Resolve(w.module, "wkeGetContentHeight", w.contentHeight);
  Resolve(w.module, "wkeJsBindFunction", w.wkeBind);
  Resolve(w.module, "jsBindFunction", w.jsBind);
  Resolve(w.module, "jsArg", w.arg);
  Resolve(w.module, "jsToInt", w.toInt);
  Resolve(w.module, "jsToTempStringW", w.toTempStringW);
  Resolve(w.module, "jsGetWebView", w.getWebView);
  Resolve(w.module, "jsUndefined", w.undefined);
  MainWebView() = MainWebViewRecord{};
  WriteLog(u"App Init qp dll");
  return w.Usable();
}

void FinalizeWebViewLibrary() {
  WebViewLibrary& w = WebView();
  if (w.module && w.finalize) w.finalize();
}

void CloseMainWebView() {
  MainWebViewRecord& r = MainWebView();
  if (r.view && WebView().destroyWebWindow) WebView().destroyWebWindow(r.view);
  r.view = nullptr;
  r.address.Empty();
}

BEGIN_MESSAGE_MAP(CWebDlg, CDialogEx)
ON_WM_SIZE()
ON_WM_DESTROY()
ON_MESSAGE(kCloseWeb, OnCloseWeb)
END_MESSAGE_MAP()

CWebDlg::CWebDlg(const CString& address, int width, int height)
    : CDialogEx(IDD_WEB_PAGE), m_address(address), m_width(width), m_height(height) {}

CWebDlg::~CWebDlg() {
  if (CurrentWebDlg == this) CurrentWebDlg = nullptr;
}

BOOL CWebDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();
  WebViewLibrary& w = WebView();
  RECT rc{};
  GetClientRect(&rc);
  m_view = w.createWebWindow(WKE_WINDOW_TYPE_CONTROL, m_hWnd, 0, 0, rc.right, rc.bottom);
  if (m_view) {
    w.onLoadingFinish(m_view, &onLoadingFinishCallback, m_view);
    // The bindings belong to the library, not to a view: made again for every dialog.
    w.jsBind("jsCopyTextData", &JsCopyTextData, 2);
    w.wkeBind("jsAboutDlgNotify", &JsAboutDlgNotify, nullptr, 1);
    w.wkeBind("wc_OpenUrl", &WcOpenUrl, nullptr, 1);
    w.wkeBind("wc_close", &WcClose, nullptr, 1);
    w.loadUrl(m_view, Utf16ToAnsi(m_address.View()).c_str());
    w.showWindow(m_view, true);
  }
  CurrentWebDlg = this;
  CenterOnMainWnd(this, m_width, m_height);
  return TRUE;
}

void CWebDlg::Navigate(const CString& address, int width, int height) {
  m_address = address;
  m_width = width;
  m_height = height;
  if (m_view) WebView().loadUrl(m_view, Utf16ToAnsi(m_address.View()).c_str());
}

void CWebDlg::OnSize(UINT, int cx, int cy) {
  WriteLog(u"CWebDlg::OnSize");
  Default();
  if (m_view) WebView().moveWindow(m_view, 0, 0, cx, cy);
}

void CWebDlg::ReleaseView() {
  if (CurrentWebDlg == this) CurrentWebDlg = nullptr;
  if (m_view && WebView().destroyWebWindow) WebView().destroyWebWindow(m_view);
  m_view = nullptr;
}

BOOL CWebDlg::DestroyWindow() {
  ReleaseView();
  return CDialogEx::DestroyWindow();
}

// The modal loop destroys the window itself, past DestroyWindow: the view goes here as well.
void CWebDlg::OnDestroy() {
  ReleaseView();
  Default();
}

LRESULT CWebDlg::OnCloseWeb(WPARAM, LPARAM) {
  OnOK();
  return 0;
}

void onLoadingFinishCallback(wkeWebView view, void*, const void*, int, const void*) {
  WriteLog(u"onLoadingFinishCallback");
  CWebDlg* dlg = CurrentWebDlg;
  if (!dlg) return;
  const WebViewLibrary& w = WebView();
  const int width = w.contentWidth(view);
  const int height = w.contentHeight(view);
  CenterOnMainWnd(dlg, width > 0 ? width : 0, height > 0 ? height : 0);
  WriteLogFmt(u"0X%X  %u  %u", unsigned(reinterpret_cast<uintptr_t>(dlg)), unsigned(width), unsigned(height));
}

void ShowWebDlg(const CString& address, int width, int height) {
  WriteLog(address);
  if (CurrentWebDlg) {
    CurrentWebDlg->Navigate(address, width, height);
    return;
  }
  if (!WebView().Usable()) {
    WriteLog(u"The web view is missing: the page is not shown");
    return;
  }
  CWebDlg dlg(address, width, height);
  dlg.DoModal();
}

void RegisterWebTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_SYSMENU;
  t.cx = 615;
  t.cy = 354;
  RegisterDialogTemplate(IDD_WEB_PAGE, t);
}
