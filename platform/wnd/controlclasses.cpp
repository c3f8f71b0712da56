// Registration of the built-in window classes: the controls and the dialog class.
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/wndobj.h"

void RegisterControlClasses() {
  auto reg = [](const char16_t* name, WNDPROC proc, UINT style, const char16_t* cursor) {
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    wc.hCursor = LoadCursorW(nullptr, cursor);
    RegisterClassW(&wc);
  };
  reg(WC_BUTTON, &ButtonProc, CS_DBLCLKS, IDC_ARROW);
  reg(WC_STATIC, &StaticProc, 0, IDC_ARROW);
  reg(WC_EDIT, &EditProc, CS_DBLCLKS, IDC_IBEAM);
  reg(PROGRESS_CLASS, &ProgressProc, 0, IDC_ARROW);
  reg(TOOLTIPS_CLASS, &ToolTipProc, CS_SAVEBITS, IDC_ARROW);
  reg(WC_HEADER, &HeaderProc, CS_DBLCLKS, IDC_ARROW);
  reg(WC_LISTVIEW, &ListViewProc, CS_DBLCLKS, IDC_ARROW);
  reg(WC_TREEVIEW, &TreeViewProc, CS_DBLCLKS, IDC_ARROW);
  reg(WC_DIALOG, &DefDlgProcW, CS_DBLCLKS | CS_SAVEBITS, IDC_ARROW);
  reg(u"#32768", &MenuPopupProc, CS_SAVEBITS, IDC_ARROW);
  reg(WC_SCROLLBAR, &ScrollBarProc, CS_DBLCLKS, IDC_ARROW);
}
