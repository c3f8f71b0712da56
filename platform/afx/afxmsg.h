// Message-map entries. Each one unpacks its message and calls the named member of the class
// whose map holds it (ThisClass, defined by BEGIN_MESSAGE_MAP), with the class library's
// argument conventions.
#pragma once

#include "platform/afx/afxwin.h"

#define AFX_THIS static_cast<ThisClass*>(self_)
#define AFX_ENTRY(msg, code, id, last, body)                                                              \
  {msg, code, id, last, [](CWnd* self_, UINT msg_, WPARAM wParam_, LPARAM lParam_, LRESULT* result_) -> bool { \
     (void)self_, (void)msg_, (void)wParam_, (void)lParam_, (void)result_;                                 \
     body;                                                                                                 \
     return true;                                                                                          \
   }},

#define AFX_POINT CPoint(GET_X_LPARAM(lParam_), GET_Y_LPARAM(lParam_))

#define ON_WM_CREATE() AFX_ENTRY(WM_CREATE, 0, 0, 0, *result_ = AFX_THIS->OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam_)))
#define ON_WM_DESTROY() AFX_ENTRY(WM_DESTROY, 0, 0, 0, AFX_THIS->OnDestroy())
#define ON_WM_CLOSE() AFX_ENTRY(WM_CLOSE, 0, 0, 0, AFX_THIS->OnClose())
#define ON_WM_PAINT() AFX_ENTRY(WM_PAINT, 0, 0, 0, AFX_THIS->OnPaint())
#define ON_WM_ERASEBKGND() \
  AFX_ENTRY(WM_ERASEBKGND, 0, 0, 0, *result_ = AFX_THIS->OnEraseBkgnd(AfxDcFromHandle(reinterpret_cast<HDC>(wParam_))))
#define ON_WM_SIZE() AFX_ENTRY(WM_SIZE, 0, 0, 0, AFX_THIS->OnSize(UINT(wParam_), GET_X_LPARAM(lParam_), GET_Y_LPARAM(lParam_)))
#define ON_WM_MOVE() AFX_ENTRY(WM_MOVE, 0, 0, 0, AFX_THIS->OnMove(GET_X_LPARAM(lParam_), GET_Y_LPARAM(lParam_)))
#define ON_WM_TIMER() AFX_ENTRY(WM_TIMER, 0, 0, 0, AFX_THIS->OnTimer(UINT_PTR(wParam_)))
#define ON_WM_LBUTTONDOWN() AFX_ENTRY(WM_LBUTTONDOWN, 0, 0, 0, AFX_THIS->OnLButtonDown(UINT(wParam_), AFX_POINT))
#define ON_WM_LBUTTONUP() AFX_ENTRY(WM_LBUTTONUP, 0, 0, 0, AFX_THIS->OnLButtonUp(UINT(wParam_), AFX_POINT))
#define ON_WM_LBUTTONDBLCLK() AFX_ENTRY(WM_LBUTTONDBLCLK, 0, 0, 0, AFX_THIS->OnLButtonDblClk(UINT(wParam_), AFX_POINT))
#define ON_WM_RBUTTONDOWN() AFX_ENTRY(WM_RBUTTONDOWN, 0, 0, 0, AFX_THIS->OnRButtonDown(UINT(wParam_), AFX_POINT))
#define ON_WM_RBUTTONUP() AFX_ENTRY(WM_RBUTTONUP, 0, 0, 0, AFX_THIS->OnRButtonUp(UINT(wParam_), AFX_POINT))
#define ON_WM_MOUSEMOVE() AFX_ENTRY(WM_MOUSEMOVE, 0, 0, 0, AFX_THIS->OnMouseMove(UINT(wParam_), AFX_POINT))
#define ON_WM_MOUSELEAVE() AFX_ENTRY(WM_MOUSELEAVE, 0, 0, 0, AFX_THIS->OnMouseLeave())
#define ON_WM_MOUSEWHEEL() \
  AFX_ENTRY(WM_MOUSEWHEEL, 0, 0, 0, *result_ = AFX_THIS->OnMouseWheel(LOWORD(wParam_), short(HIWORD(wParam_)), AFX_POINT))
#define ON_WM_SETCURSOR()                                                                                   \
  AFX_ENTRY(WM_SETCURSOR, 0, 0, 0,                                                                          \
            *result_ = AFX_THIS->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam_)),             \
                                             UINT(int16_t(LOWORD(uintptr_t(lParam_)))), HIWORD(uintptr_t(lParam_))))
#define ON_WM_KEYDOWN() \
  AFX_ENTRY(WM_KEYDOWN, 0, 0, 0, AFX_THIS->OnKeyDown(UINT(wParam_), LOWORD(uintptr_t(lParam_)), HIWORD(uintptr_t(lParam_))))
#define ON_WM_KEYUP() \
  AFX_ENTRY(WM_KEYUP, 0, 0, 0, AFX_THIS->OnKeyUp(UINT(wParam_), LOWORD(uintptr_t(lParam_)), HIWORD(uintptr_t(lParam_))))
#define ON_WM_CHAR() \
  AFX_ENTRY(WM_CHAR, 0, 0, 0, AFX_THIS->OnChar(UINT(wParam_), LOWORD(uintptr_t(lParam_)), HIWORD(uintptr_t(lParam_))))
#define ON_WM_SYSCOMMAND() AFX_ENTRY(WM_SYSCOMMAND, 0, 0, 0, AFX_THIS->OnSysCommand(UINT(wParam_), lParam_))
#define ON_WM_GETMINMAXINFO() AFX_ENTRY(WM_GETMINMAXINFO, 0, 0, 0, AFX_THIS->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam_)))
#define ON_WM_SETFOCUS() AFX_ENTRY(WM_SETFOCUS, 0, 0, 0, AFX_THIS->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam_))))
#define ON_WM_KILLFOCUS() AFX_ENTRY(WM_KILLFOCUS, 0, 0, 0, AFX_THIS->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam_))))
#define ON_WM_SHOWWINDOW() AFX_ENTRY(WM_SHOWWINDOW, 0, 0, 0, AFX_THIS->OnShowWindow(BOOL(wParam_), UINT(lParam_)))
#define ON_WM_ENABLE() AFX_ENTRY(WM_ENABLE, 0, 0, 0, AFX_THIS->OnEnable(BOOL(wParam_)))
#define ON_WM_WINDOWPOSCHANGED() \
  AFX_ENTRY(WM_WINDOWPOSCHANGED, 0, 0, 0, AFX_THIS->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lParam_)))
#define ON_WM_NCLBUTTONDOWN() AFX_ENTRY(WM_NCLBUTTONDOWN, 0, 0, 0, AFX_THIS->OnNcLButtonDown(UINT(wParam_), AFX_POINT))
#define ON_WM_NCHITTEST() AFX_ENTRY(WM_NCHITTEST, 0, 0, 0, *result_ = AFX_THIS->OnNcHitTest(AFX_POINT))
#define ON_WM_CAPTURECHANGED() \
  AFX_ENTRY(WM_CAPTURECHANGED, 0, 0, 0, AFX_THIS->OnCaptureChanged(CWnd::FromHandle(reinterpret_cast<HWND>(lParam_))))
#define ON_WM_DEVICECHANGE() AFX_ENTRY(WM_DEVICECHANGE, 0, 0, 0, *result_ = AFX_THIS->OnDeviceChange(UINT(wParam_), DWORD_PTR(lParam_)))
#define ON_WM_QUERYDRAGICON() AFX_ENTRY(WM_QUERYDRAGICON, 0, 0, 0, *result_ = reinterpret_cast<LRESULT>(AFX_THIS->OnQueryDragIcon()))
#define ON_WM_DRAWITEM() \
  AFX_ENTRY(WM_DRAWITEM, 0, 0, 0, AFX_THIS->OnDrawItem(int(wParam_), reinterpret_cast<DRAWITEMSTRUCT*>(lParam_)); *result_ = TRUE)
#define ON_WM_MEASUREITEM() \
  AFX_ENTRY(WM_MEASUREITEM, 0, 0, 0, AFX_THIS->OnMeasureItem(int(wParam_), reinterpret_cast<MEASUREITEMSTRUCT*>(lParam_)); *result_ = TRUE)
// Every WM_CTLCOLOR* message, told apart by the CTLCOLOR_ code.
#define AFX_CTLCOLOR_ENTRY(m)                                                                            \
  AFX_ENTRY(m, 0, 0, 0,                                                                                  \
            *result_ = reinterpret_cast<LRESULT>(AFX_THIS->OnCtlColor(AfxDcFromHandle(reinterpret_cast<HDC>(wParam_)), \
                                                                      CWnd::FromHandle(reinterpret_cast<HWND>(lParam_)), \
                                                                      UINT(msg_ - WM_CTLCOLORMSGBOX))))
#define ON_WM_CTLCOLOR()                                                                                  \
  AFX_CTLCOLOR_ENTRY(WM_CTLCOLORMSGBOX) AFX_CTLCOLOR_ENTRY(WM_CTLCOLOREDIT) AFX_CTLCOLOR_ENTRY(WM_CTLCOLORLISTBOX) \
  AFX_CTLCOLOR_ENTRY(WM_CTLCOLORBTN) AFX_CTLCOLOR_ENTRY(WM_CTLCOLORDLG) AFX_CTLCOLOR_ENTRY(WM_CTLCOLORSCROLLBAR)   \
  AFX_CTLCOLOR_ENTRY(WM_CTLCOLORSTATIC)

// Any message: LRESULT member(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) AFX_ENTRY(message, 0, 0, 0, *result_ = AFX_THIS->memberFxn(wParam_, lParam_))
// WM_COMMAND with notification code 0: menus, accelerators and button clicks.
#define ON_COMMAND(id, memberFxn) AFX_ENTRY(WM_COMMAND, 0, id, id, AFX_THIS->memberFxn())
#define ON_COMMAND_RANGE(id, idLast, memberFxn) AFX_ENTRY(WM_COMMAND, 0, id, idLast, AFX_THIS->memberFxn(UINT(LOWORD(wParam_))))
#define ON_CONTROL(code, id, memberFxn) AFX_ENTRY(WM_COMMAND, code, id, id, AFX_THIS->memberFxn())
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_UPDATE(id, memberFxn) ON_CONTROL(EN_UPDATE, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
// WM_NOTIFY: void member(NMHDR*, LRESULT*).
#define ON_NOTIFY(code, id, memberFxn) \
  AFX_ENTRY(WM_NOTIFY, UINT(code), id, id, AFX_THIS->memberFxn(reinterpret_cast<NMHDR*>(lParam_), result_))
// Reflected notifications, handled by the control itself.
#define ON_CONTROL_REFLECT(code, memberFxn) AFX_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0xFFFF, AFX_THIS->memberFxn())
#define ON_EN_UPDATE_REFLECT(memberFxn) ON_CONTROL_REFLECT(EN_UPDATE, memberFxn)
#define ON_EN_CHANGE_REFLECT(memberFxn) ON_CONTROL_REFLECT(EN_CHANGE, memberFxn)
#define ON_BN_CLICKED_REFLECT(memberFxn) ON_CONTROL_REFLECT(BN_CLICKED, memberFxn)
#define ON_NOTIFY_REFLECT(code, memberFxn) \
  AFX_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, UINT(code), 0, 0xFFFF, AFX_THIS->memberFxn(reinterpret_cast<NMHDR*>(lParam_), result_))
// HBRUSH CtlColor(CDC*, UINT ctlColor); a null brush leaves the message to the parent.
#define ON_WM_CTLCOLOR_REFLECT()                                                                   \
  AFX_ENTRY(AFX_WM_REFLECT_CTLCOLOR, 0, 0, 0, {                                                    \
    HBRUSH b_ = AFX_THIS->CtlColor(AfxDcFromHandle(reinterpret_cast<HDC>(wParam_)), UINT(lParam_)); \
    if (!b_) return false;                                                                         \
    *result_ = reinterpret_cast<LRESULT>(b_);                                                      \
  })
// void DrawItem-like member(DRAWITEMSTRUCT*) for a reflected WM_DRAWITEM.
#define ON_WM_DRAWITEM_REFLECT() \
  AFX_ENTRY(WM_REFLECT_BASE + WM_DRAWITEM, 0, 0, 0, AFX_THIS->DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam_)); *result_ = TRUE)
// void MeasureItem-like member(MEASUREITEMSTRUCT*) for a reflected WM_MEASUREITEM (owner-drawn
// lists answer their row height here).
#define ON_WM_MEASUREITEM_REFLECT() \
  AFX_ENTRY(WM_REFLECT_BASE + WM_MEASUREITEM, 0, 0, 0, AFX_THIS->MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam_)); *result_ = TRUE)
