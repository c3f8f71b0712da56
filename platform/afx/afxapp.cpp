// The application object, its message loop with pre-translation, and the message box.
#include "platform/afx/afxwin.h"
#include "platform/sync.h"

namespace {
CWinApp*& TheApp() {
  static CWinApp* app = nullptr;
  return app;
}
}  // namespace

CWinApp::CWinApp(const char16_t* appName) : m_pszAppName(appName ? appName : u"") {
  TheApp() = this;
  m_nThreadID = GetCurrentThreadId();
}

CWinApp::~CWinApp() {
  if (TheApp() == this) TheApp() = nullptr;
}

int CWinApp::Run() {
  MSG m;
  for (;;) {
    const BOOL got = GetMessageW(&m, nullptr, 0, 0);
    if (got == 0) {
      m_exitCode = int(m.wParam);
      break;
    }
    if (got < 0) continue;
    if (!AfxPreTranslateMessage(&m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  return ExitInstance();
}

BOOL CWinApp::PreTranslateMessage(MSG*) { return FALSE; }

CWinApp* AfxGetApp() { return TheApp(); }

CWnd* AfxGetMainWnd() {
  CWinApp* app = TheApp();
  return app ? app->m_pMainWnd : nullptr;
}

int AfxRunApp(CWinApp* app) {
  if (!app) return -1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

BOOL AfxPreTranslateMessage(MSG* msg) {
  if (!msg) return FALSE;
  if (CWnd::WalkPreTranslateTree(nullptr, msg)) return TRUE;
  CWinApp* app = TheApp();
  return app && app->PreTranslateMessage(msg);
}

int AfxMessageBox(const CString& text, UINT type, UINT) {
  CWnd* main = AfxGetMainWnd();
  HWND owner = main && main->m_hWnd ? GetLastActivePopup(main->m_hWnd) : nullptr;
  CWinApp* app = TheApp();
  return MessageBoxW(owner, text.GetString(), app ? app->m_pszAppName.GetString() : u"", type);
}
