// The web-page dialog: a page of the maker's (the About page) shown inside the program in a web
// view of the web-view library, which the program loads by name at start. The page can copy a
// text to the clipboard, open a web address in the user's browser and close itself through
// functions the dialog binds by name.
#pragma once

#include "platform/afx/afxdlg.h"
#include "platform/process.h"
#include "platform/webview.h"

constexpr UINT IDD_WEB_PAGE = 417;

// The library's functions, resolved by name when it was loaded.
struct WebViewLibrary {
  HMODULE module = nullptr;
  wkeInitializeExFn initializeEx = nullptr;
  wkeFinalizeFn finalize = nullptr;
  wkeCreateWebWindowFn createWebWindow = nullptr;
  wkeDestroyWebWindowFn destroyWebWindow = nullptr;
  wkeShowWindowFn showWindow = nullptr;
  wkeMoveWindowFn moveWindow = nullptr;
  wkeLoadURLFn loadUrl = nullptr;
  wkeOnLoadingFinishFn onLoadingFinish = nullptr;
  wkeGetContentSizeFn contentWidth = nullptr;
  wkeGetContentSizeFn contentHeight = nullptr;
  wkeJsBindFunctionFn wkeBind = nullptr;
  jsBindFunctionFn jsBind = nullptr;
  jsArgFn arg = nullptr;
  jsToIntFn toInt = nullptr;
  jsToStringWFn toTempStringW = nullptr;
  jsGetWebViewFn getWebView = nullptr;
  jsUndefinedFn undefined = nullptr;
  // True when every function the dialog calls was found.
  bool Usable() const;
};
WebViewLibrary& WebView();

// Loads "node.dll" by name, initialises it with default settings and resolves its functions;
// the main window's embedded view record is emptied. False (the dialog then shows nothing)
// when the library is missing or lacks a function.
bool LoadWebViewLibrary();
// "wkeFinalize" when the library was loaded.
void FinalizeWebViewLibrary();

class CWebDlg : public CDialogEx {
 public:
  CWebDlg(const CString& address, int width, int height);
  ~CWebDlg() override;
  BOOL OnInitDialog() override;
  BOOL DestroyWindow() override;
  // Loads another address; the size follows when the page has loaded.
  void Navigate(const CString& address, int width, int height);

  wkeWebView m_view = nullptr;
  CString m_address;
  int m_width, m_height;

 protected:
  void OnSize(UINT type, int cx, int cy);
  void OnDestroy();
  LRESULT OnCloseWeb(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void ReleaseView();
};

// The open web dialog, or null.
extern CWebDlg* CurrentWebDlg;

// Shows the address: an open web dialog loads it and the call returns at once; otherwise a
// web dialog of that size runs modally. User-interface thread.
void ShowWebDlg(const CString& address, int width, int height);
void onLoadingFinishCallback(wkeWebView view, void* param, const void* url, int result, const void* failedReason);

// The main window's embedded web view (none unless a panel made one) and its page address.
struct MainWebViewRecord {
  wkeWebView view = nullptr;
  CString address;
};
MainWebViewRecord& MainWebView();
// Destroys the embedded view when there is one and clears its address.
void CloseMainWebView();

void RegisterWebTemplate();
