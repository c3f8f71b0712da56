// The class library's window classes: CWnd with message maps and reflection, the window
// device contexts, CMenu and the application object. Message-map entry macros are in
// afxmsg.h, dialogs in afxdlg.h, controls in afxctrls.h.
//
// A CWnd is attached to its window when the window is created through it (or subclassed);
// its procedure then runs the message maps of the class and its bases, most derived first,
// and hands what none handles to the window's original procedure.
#pragma once

#include "platform/afx/afxtypes.h"
#include "platform/paint/afxgdi.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/wnd.h"

class CWnd;

// One message-map entry: the message, the notification code and control id range that
// WM_COMMAND and WM_NOTIFY entries match, and the call that unpacks the message.
using AFX_THUNK = bool (*)(CWnd* self, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  AFX_THUNK thunk;
};
struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
 protected:                                       \
  static const AFX_MSGMAP* GetThisMessageMap();   \
  const AFX_MSGMAP* GetMessageMap() const override; \
                                                  \
 public:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                   \
    using ThisClass = theClass;                                                       \
    using TheBaseClass = baseClass;                                                   \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                             \
  { 0, 0, 0, 0, nullptr }                                                             \
  };                                                                                  \
  (void)sizeof(ThisClass*);                                                           \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                 \
  }

// Run-time class information comes from the language: DYNAMIC_DOWNCAST is a dynamic_cast.
#define DECLARE_DYNAMIC(theClass)
#define IMPLEMENT_DYNAMIC(theClass, baseClass)
#define DECLARE_DYNCREATE(theClass)
#define IMPLEMENT_DYNCREATE(theClass, baseClass)
#define DYNAMIC_DOWNCAST(theClass, object) dynamic_cast<theClass*>(object)

// Every WM_CTLCOLOR* message comes back to its control as this one, with the CTLCOLOR_ code
// in lParam.
constexpr UINT AFX_WM_REFLECT_CTLCOLOR = WM_REFLECT_BASE + 0x0019;

// A CDC over a context the caller does not own, valid while the current message is handled.
CDC* AfxDcFromHandle(HDC dc);

constexpr UINT CTLCOLOR_MSGBOX = 0;
constexpr UINT CTLCOLOR_EDIT = 1;
constexpr UINT CTLCOLOR_LISTBOX = 2;
constexpr UINT CTLCOLOR_BTN = 3;
constexpr UINT CTLCOLOR_DLG = 4;
constexpr UINT CTLCOLOR_SCROLLBAR = 5;
constexpr UINT CTLCOLOR_STATIC = 6;

class CMenu {
 public:
  CMenu() = default;
  ~CMenu();
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;
  operator HMENU() const { return m_hMenu; }
  HMENU GetSafeHmenu() const { return m_hMenu; }
  BOOL CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
  BOOL Attach(HMENU m);
  HMENU Detach();
  BOOL DestroyMenu();
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char16_t* text = nullptr) { return AppendMenuW(m_hMenu, flags, id, text); }
  UINT GetMenuItemCount() const { return UINT(::GetMenuItemCount(m_hMenu)); }
  UINT GetMenuItemID(int pos) const { return ::GetMenuItemID(m_hMenu, pos); }
  UINT EnableMenuItem(UINT item, UINT flags) { return UINT(::EnableMenuItem(m_hMenu, item, flags)); }
  UINT CheckMenuItem(UINT item, UINT flags) { return UINT(::CheckMenuItem(m_hMenu, item, flags)); }
  UINT GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
  BOOL SetMenuItemBitmaps(UINT item, UINT flags, const CBitmap* unchecked, const CBitmap* checked) {
    return ::SetMenuItemBitmaps(m_hMenu, item, flags, unchecked ? HBITMAP(*unchecked) : nullptr,
                                checked ? HBITMAP(*checked) : nullptr);
  }
  BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT* rect = nullptr);
  // A wrapper that lives as long as the program; it never destroys the menu.
  static CMenu* FromHandle(HMENU m);

  HMENU m_hMenu = nullptr;
  bool m_temporary = false;
};

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  operator HWND() const { return m_hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }
  static CWnd* FromHandle(HWND h);
  static CWnd* FromHandlePermanent(HWND h);
  BOOL Attach(HWND h);
  HWND Detach();
  BOOL SubclassWindow(HWND h);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();

  // ---- Creation and destruction ----
  virtual BOOL Create(const char16_t* className, const char16_t* windowName, DWORD style, const RECT& rect,
                      CWnd* parent, UINT id, void* context = nullptr);
  virtual BOOL CreateEx(DWORD exStyle, const char16_t* className, const char16_t* windowName, DWORD style,
                        const RECT& rect, CWnd* parent, UINT id, LPVOID param = nullptr);
  virtual BOOL DestroyWindow();
  virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
  virtual void PreSubclassWindow();
  virtual void PostNcDestroy();

  // ---- Message handling ----
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // A message the parent hands back to this control (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM,
  // WM_MEASUREITEM, WM_CTLCOLOR*); true when the control handled it.
  virtual BOOL OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  BOOL ReflectChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Sends the message being handled to the child's OnChildNotify.
  static BOOL ReflectLastMsg(HWND child, LRESULT* result = nullptr);
  // The default handling of the message being handled.
  LRESULT Default();
  static const MSG* GetCurrentMessage();

  // ---- Placement and state ----
  void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
  void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
  void ScreenToClient(POINT* p) const { ::ScreenToClient(m_hWnd, p); }
  void ScreenToClient(RECT* r) const;
  void ClientToScreen(POINT* p) const { ::ClientToScreen(m_hWnd, p); }
  void ClientToScreen(RECT* r) const;
  void MapWindowPoints(CWnd* to, RECT* r) const { ::MapWindowPoints(m_hWnd, to ? to->m_hWnd : nullptr, reinterpret_cast<POINT*>(r), 2); }
  void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
  void MoveWindow(const RECT* r, BOOL repaint = TRUE) { MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, repaint); }
  BOOL SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags);
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void CenterWindow(CWnd* over = nullptr) { CenterWindowOver(m_hWnd, over ? over->m_hWnd : nullptr); }
  void BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
  BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
  DWORD GetStyle() const { return DWORD(GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return DWORD(GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
  BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);
  int SetWindowRgn(HRGN rgn, BOOL redraw) { return ::SetWindowRgn(m_hWnd, rgn, redraw); }

  // ---- Tree ----
  CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
  CWnd* SetParent(CWnd* parent) { return FromHandle(::SetParent(m_hWnd, parent ? parent->m_hWnd : nullptr)); }
  CWnd* GetOwner() const { return FromHandle(::GetOwner(m_hWnd)); }
  CWnd* GetTopLevelParent() const { return FromHandle(GetAncestor(m_hWnd, GA_ROOT)); }
  CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  CWnd* GetNextDlgGroupItem(CWnd* ctl, BOOL previous = FALSE) const {
    return FromHandle(::GetNextDlgGroupItem(m_hWnd, ctl ? ctl->m_hWnd : nullptr, previous));
  }
  CWnd* GetNextDlgTabItem(CWnd* ctl, BOOL previous = FALSE) const {
    return FromHandle(::GetNextDlgTabItem(m_hWnd, ctl ? ctl->m_hWnd : nullptr, previous));
  }
  CWnd* GetWindow(UINT cmd) const { return FromHandle(::GetWindow(m_hWnd, cmd)); }
  BOOL IsChild(const CWnd* w) const { return w && ::IsChild(m_hWnd, w->m_hWnd); }

  // ---- Text, fonts, icons, menus ----
  void SetWindowText(const CString& s) { SetWindowTextW(m_hWnd, s); }
  void GetWindowText(CString& s) const { s = GetWindowTextString(m_hWnd); }
  int GetWindowTextLength() const { return GetWindowTextLengthW(m_hWnd); }
  void SetDlgItemText(int id, const CString& s) { SetDlgItemTextW(m_hWnd, id, s.GetString()); }
  void SetFont(CFont* font, BOOL redraw = TRUE);
  CFont* GetFont() const;
  HICON SetIcon(HICON icon, BOOL big);
  HICON GetIcon(BOOL big) const;
  CMenu* GetSystemMenu(BOOL revert) const { return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert)); }

  // ---- Painting ----
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void InvalidateRect(const RECT* r, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, r, erase); }
  void ValidateRect(const RECT* r) { ::ValidateRect(m_hWnd, r); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL RedrawWindow(const RECT* r = nullptr, CRgn* rgn = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
    return ::RedrawWindow(m_hWnd, r, rgn ? HRGN(*rgn) : nullptr, flags);
  }
  CDC* GetDC();
  CDC* GetWindowDC();
  int ReleaseDC(CDC* dc);

  // ---- Messages, timers, input ----
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const { return SendMessageW(m_hWnd, msg, wParam, lParam); }
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const { return PostMessageW(m_hWnd, msg, wParam, lParam); }
  LRESULT SendDlgItemMessage(int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendDlgItemMessageW(m_hWnd, id, msg, wParam, lParam);
  }
  UINT_PTR SetTimer(UINT_PTR id, UINT ms, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, ms, proc); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
  static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
  CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
  static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
  static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
  static CWnd* GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
  // Walks the pre-translation from the message's window up through its parents.
  static BOOL WalkPreTranslateTree(HWND stop, MSG* msg);

  // ---- Default handlers that message maps name through the base class ----
  void OnPaint() { Default(); }
  BOOL OnEraseBkgnd(CDC*) { return BOOL(Default()); }
  void OnSize(UINT, int, int) { Default(); }
  void OnMove(int, int) { Default(); }
  void OnTimer(UINT_PTR) { Default(); }
  void OnClose() { Default(); }
  void OnDestroy() { Default(); }
  int OnCreate(CREATESTRUCTW*) { return int(Default()); }
  void OnLButtonDown(UINT, CPoint) { Default(); }
  void OnLButtonUp(UINT, CPoint) { Default(); }
  void OnLButtonDblClk(UINT, CPoint) { Default(); }
  void OnRButtonDown(UINT, CPoint) { Default(); }
  void OnRButtonUp(UINT, CPoint) { Default(); }
  void OnMouseMove(UINT, CPoint) { Default(); }
  void OnMouseLeave() { Default(); }
  BOOL OnMouseWheel(UINT, short, CPoint) { return BOOL(Default()); }
  BOOL OnSetCursor(CWnd*, UINT, UINT) { return BOOL(Default()); }
  void OnKeyDown(UINT, UINT, UINT) { Default(); }
  void OnKeyUp(UINT, UINT, UINT) { Default(); }
  void OnChar(UINT, UINT, UINT) { Default(); }
  void OnSysCommand(UINT, LPARAM) { Default(); }
  void OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
  void OnSetFocus(CWnd*) { Default(); }
  void OnKillFocus(CWnd*) { Default(); }
  void OnShowWindow(BOOL, UINT) { Default(); }
  void OnWindowPosChanged(WINDOWPOS*) { Default(); }
  void OnNcLButtonDown(UINT, CPoint) { Default(); }
  LRESULT OnNcHitTest(CPoint) { return Default(); }
  void OnCaptureChanged(CWnd*) { Default(); }
  BOOL OnDeviceChange(UINT, DWORD_PTR) { return BOOL(Default()); }
  HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
  void OnEnable(BOOL) { Default(); }
  // These hand the message to the control it concerns first.
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
  void OnDrawItem(int id, DRAWITEMSTRUCT* dis);
  void OnMeasureItem(int id, MEASUREITEMSTRUCT* mis);

  HWND m_hWnd = nullptr;
  WNDPROC m_pfnSuper = nullptr;  // the procedure the window had before this object took it
  bool m_temporary = false;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

 private:
  bool FindAndCall(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// The window procedure of every window a CWnd is attached to.
LRESULT AfxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A window class with the given looks (registered once per combination); its name.
const char16_t* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                                    HICON icon = nullptr);

// Device contexts of a window, released (or painted) when they go.
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* wnd);
  ~CClientDC() override;

 protected:
  HWND m_hWnd;
};
class CWindowDC : public CDC {
 public:
  explicit CWindowDC(CWnd* wnd);
  ~CWindowDC() override;

 protected:
  HWND m_hWnd;
};
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd;
};

// ---- The application ----
class CWinApp {
 public:
  explicit CWinApp(const char16_t* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return m_exitCode; }
  // The message loop of the user-interface thread, until WM_QUIT.
  virtual int Run();
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual BOOL OnIdle(LONG) { return FALSE; }
  CWnd* GetMainWnd() const { return m_pMainWnd; }

  CWnd* m_pMainWnd = nullptr;
  CString m_pszAppName;
  int m_exitCode = 0;
  DWORD m_nThreadID = 0;
};
class CWinAppEx : public CWinApp {
 public:
  using CWinApp::CWinApp;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// InitInstance, then Run when it succeeded; ExitInstance's value.
int AfxRunApp(CWinApp* app);
// Routes a message through the pre-translation of its windows and the application.
BOOL AfxPreTranslateMessage(MSG* msg);
int AfxMessageBox(const CString& text, UINT type = MB_OK, UINT helpId = 0);
