// Dialogs: templates written in code, creation, modal loops on any thread, the dialog manager
// (Tab, Enter, Esc, arrow keys in groups) and the plain message box.
#pragma once

#include <vector>

#include "platform/wnd/wnd.h"

using DLGPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

// One control of a template; the rectangle is in dialog units.
struct DlgItemTemplate {
  int id = 0;
  CString className;  // "Button", "Static", "Edit", "msctls_progress32" or a registered class
  DWORD style = 0;    // WS_CHILD is implied
  DWORD exStyle = 0;
  CString text;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct DlgTemplate {
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units; the position is relative to the owner
  CString title;
  CString fontFace = u"MS Shell Dlg";
  int fontPoints = 8;
  std::vector<DlgItemTemplate> items;
};

// A store of templates by resource id, as the program's resources give them.
void RegisterDialogTemplate(UINT id, const DlgTemplate& t);
const DlgTemplate* FindDialogTemplate(UINT id);

HWND CreateDialogIndirectParamW(HINSTANCE inst, const DlgTemplate* t, HWND parent, DLGPROC proc, LPARAM param);
// Creates, runs modally on the calling thread with the owner disabled, destroys; the value
// given to EndDialog, or -1 when the dialog could not be made.
LRESULT DialogBoxIndirectParamW(HINSTANCE inst, const DlgTemplate* t, HWND owner, DLGPROC proc, LPARAM param);
// The modal loop of a dialog that exists: disables the owner (which may belong to another
// thread), shows the dialog and runs until EndDialog; `pre` sees each message first and
// returns true when it handled it. Returns the EndDialog value.
LRESULT RunModalDialogLoop(HWND dlg, HWND owner, bool (*pre)(MSG*, void*), void* ctx);
BOOL EndDialog(HWND dlg, LRESULT result);
// True when EndDialog was called for the dialog.
bool IsDialogEnded(HWND dlg);
LRESULT DefDlgProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The value a dialog procedure returns for a message through DWLP_MSGRESULT.
void SetDlgMsgResult(HWND dlg, LRESULT value);

BOOL MapDialogRect(HWND dlg, RECT* r);
// The dialog's base units (average character width, height) of its font.
SIZE GetDialogBaseUnitsOf(HWND dlg);
BOOL IsDialogMessageW(HWND dlg, MSG* msg);
HWND GetDlgItem(HWND dlg, int id);
HWND GetNextDlgTabItem(HWND dlg, HWND ctl, BOOL previous);
HWND GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous);
BOOL SetDlgItemTextW(HWND dlg, int id, const char16_t* text);
UINT GetDlgItemTextW(HWND dlg, int id, char16_t* buf, int max);
LRESULT SendDlgItemMessageW(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL CheckDlgButton(HWND dlg, int id, UINT check);
UINT IsDlgButtonChecked(HWND dlg, int id);
BOOL CheckRadioButton(HWND dlg, int first, int last, int check);

// A plain modal message box on the calling thread; IDOK, IDCANCEL, IDYES or IDNO.
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type);
