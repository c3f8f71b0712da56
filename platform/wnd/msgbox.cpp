// The plain message box: a dialog made in code around the text, with OK, OK and Cancel, or
// Yes and No.
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"

namespace {

LRESULT BoxProc(HWND dlg, UINT msg, WPARAM w, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
    const int id = LOWORD(w);
    // Esc and the close box mean "no" in a box without a Cancel button.
    if (id == IDCANCEL && !GetDlgItem(dlg, IDCANCEL)) EndDialog(dlg, GetDlgItem(dlg, IDNO) ? IDNO : IDOK);
    else EndDialog(dlg, id);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
  InitWindowLayer();
  CString body(text ? text : u"");
  // Size the text in dialog units of the box's font (about 4 by 8 per base unit).
  int lines = 1, longest = 0, run = 0;
  for (int i = 0; i < body.GetLength(); ++i) {
    if (body[i] == u'\n') ++lines, run = 0;
    else longest = std::max(longest, ++run);
  }
  const int textCx = std::clamp(longest * 4 + 8, 120, 400);
  const int textLines = lines + (longest * 4 + 8) / 400;
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
  t.title = CString(caption ? caption : u"");
  t.cx = textCx + 14;
  const int textCy = textLines * 9 + 2;
  t.cy = 7 + textCy + 8 + 14 + 7;
  t.items.push_back(DlgItemTemplate{0xFFFF, WC_STATIC, WS_VISIBLE | SS_NOPREFIX, 0, body, 7, 7, textCx, textCy});
  const UINT kind = type & 0xF;
  std::vector<std::pair<int, const char16_t*>> buttons;
  if (kind == MB_OKCANCEL) buttons = {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
  else if (kind == MB_YESNO) buttons = {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
  else buttons = {{IDOK, u"OK"}};
  const int bw = 50, gap = 6;
  const int total = int(buttons.size()) * bw + int(buttons.size() - 1) * gap;
  int x = (t.cx - total) / 2;
  bool first = true;
  for (auto& b : buttons) {
    DWORD style = WS_VISIBLE | WS_TABSTOP | (first ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
    t.items.push_back(DlgItemTemplate{b.first, WC_BUTTON, style, 0, CString(b.second), x, 7 + textCy + 8, bw, 14});
    x += bw + gap;
    first = false;
  }
  LRESULT r = DialogBoxIndirectParamW(nullptr, &t, owner, &BoxProc, 0);
  return r < 0 ? 0 : int(r);
}
