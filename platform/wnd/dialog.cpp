// Dialog creation from templates, the dialog procedure's default handling, modal loops and the
// dialog manager's keyboard handling.
#include "platform/wnd/dialog.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/wndobj.h"

namespace {

// A dialog's own data. EndDialog and IsDialogEnded may come from any thread; the rest is only
// touched by the dialog's thread.
struct DialogData : WindowData {
  ~DialogData() override {
    if (font) DeleteObject(font);
  }
  DLGPROC proc = nullptr;
  LRESULT msgResult = 0;
  std::atomic<LRESULT> result{0};
  std::atomic<bool> ended{false};  // set after `result`
  HFONT font = nullptr;  // owned
  SIZE base{6, 13};
  HWND savedFocus = nullptr;
  int defId = IDOK;
};

std::map<UINT, DlgTemplate>& Templates() {
  static auto& m = *new std::map<UINT, DlgTemplate>;
  return m;
}

// The data of a dialog being created on this thread, attached at WM_NCCREATE.
thread_local std::shared_ptr<DialogData> t_creating;

std::shared_ptr<DialogData> Data(HWND h) { return WindowDataOf<DialogData>(h); }

SIZE BaseUnitsOf(HFONT font) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SIZE sz{0, 0};
  const char16_t* abc = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32W(dc, abc, 52, &sz);
  SelectObject(dc, old);
  DeleteDC(dc);
  SIZE base{(sz.cx / 26 + 1) / 2, tm.tmHeight};
  if (base.cx <= 0) base.cx = 6;
  if (base.cy <= 0) base.cy = 13;
  return base;
}

RECT MapWith(SIZE base, int x, int y, int cx, int cy) {
  return RECT{x * base.cx / 4, y * base.cy / 8, (x + cx) * base.cx / 4, (y + cy) * base.cy / 8};
}

bool Tabbable(HWND h) {
  const DWORD s = StyleOf(h);
  return (s & WS_TABSTOP) && (s & WS_VISIBLE) && !(s & WS_DISABLED);
}

std::vector<HWND> Controls(HWND dlg) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(dlg, GW_CHILD); c && out.size() < 100000; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

void FocusControl(HWND dlg, HWND ctl) {
  if (!ctl) return;
  SetFocus(ctl);
  if (SendMessageW(ctl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(ctl, EM_SETSEL, 0, -1);
  if (auto d = Data(dlg)) d->savedFocus = ctl;
}

bool ReturnsValueDirectly(UINT msg) {
  return (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == WM_INITDIALOG || msg == WM_QUERYDRAGICON;
}

}  // namespace

void RegisterDialogTemplate(UINT id, const DlgTemplate& t) {
  LayerLock g(Layer().m);
  Templates()[id] = t;
}

const DlgTemplate* FindDialogTemplate(UINT id) {
  LayerLock g(Layer().m);
  auto it = Templates().find(id);
  return it == Templates().end() ? nullptr : &it->second;  // map nodes never move
}

LRESULT DefDlgProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE && t_creating) SetWindowData(hwnd, std::move(t_creating));
  const std::shared_ptr<DialogData> d = Data(hwnd);
  if (d && d->proc) {
    d->msgResult = 0;
    LRESULT r = d->proc(hwnd, msg, wParam, lParam);
    if (r) return ReturnsValueDirectly(msg) ? r : d->msgResult;
  }
  switch (msg) {
    case WM_ERASEBKGND: {
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
      RECT r{};
      GetClientRect(hwnd, &r);
      if (brush) FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hwnd, IDCANCEL);
      if (!cancel || IsWindowEnabled(cancel)) {
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        HWND f = d ? d->savedFocus : nullptr;
        if (!f || !IsWindow(f) || !IsChild(hwnd, f)) f = GetNextDlgTabItem(hwnd, nullptr, FALSE);
        if (f) SetFocus(f);
        else SetFocus(hwnd);
      } else {
        HWND f = GetFocus();
        if (d && f && IsChild(hwnd, f)) d->savedFocus = f;
      }
      return 0;
    case WM_SETFOCUS: {
      HWND f = d ? d->savedFocus : nullptr;
      if (!f || !IsWindow(f)) f = GetNextDlgTabItem(hwnd, nullptr, FALSE);
      if (f) SetFocus(f);
      return 0;
    }
    case WM_NEXTDLGCTL: {
      HWND target = lParam ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
      FocusControl(hwnd, target);
      return 0;
    }
    case DM_GETDEFID: return d ? MAKELRESULT(d->defId, DC_HASDEFID) : 0;
    case DM_SETDEFID: {
      if (!d) return FALSE;
      const int old = d->defId;
      d->defId = int(wParam);
      if (HWND b = GetDlgItem(hwnd, old)) {
        if ((StyleOf(b) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) SendMessageW(b, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      }
      if (HWND b = GetDlgItem(hwnd, int(wParam))) {
        if ((StyleOf(b) & BS_TYPEMASK) == BS_PUSHBUTTON) SendMessageW(b, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      }
      return TRUE;
    }
    case WM_GETFONT: return d ? reinterpret_cast<LRESULT>(d->font) : 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void SetDlgMsgResult(HWND dlg, LRESULT value) {
  if (auto d = Data(dlg)) d->msgResult = value;
}

HWND CreateDialogIndirectParamW(HINSTANCE inst, const DlgTemplate* t, HWND parent, DLGPROC proc, LPARAM param) {
  InitWindowLayer();
  if (!t) return nullptr;
  LOGFONTW lf{};
  lf.lfHeight = -((t->fontPoints > 0 ? t->fontPoints : 8) * 96 + 36) / 72;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  const int n = std::min(t->fontFace.GetLength(), LF_FACESIZE - 1);
  std::copy(t->fontFace.GetString(), t->fontFace.GetString() + n, lf.lfFaceName);
  auto data = std::make_shared<DialogData>();
  data->font = CreateFontIndirectW(&lf);
  data->base = BaseUnitsOf(data->font);
  HFONT font = data->font;
  const SIZE base = data->base;

  RECT client = MapWith(base, t->x, t->y, t->cx, t->cy);
  const bool child = (t->style & WS_CHILD) != 0;
  RECT in = NonClientInsets(t->style, t->exStyle);
  int x = client.left, y = client.top;
  const int w = client.right - client.left + in.left + in.right;
  const int h = client.bottom - client.top + in.top + in.bottom;
  if (!child) {
    POINT o{0, 0};
    if (parent) ClientToScreen(parent, &o);
    x += o.x, y += o.y;
  }
  // The procedure is given its dialog once the window exists, as it hears nothing of creation.
  t_creating = data;
  HWND dlg = CreateWindowExW(t->exStyle, WC_DIALOG, t->title.GetString(), t->style & ~WS_VISIBLE, x, y, w, h, parent,
                             nullptr, inst, reinterpret_cast<LPVOID>(param));
  t_creating = nullptr;
  if (!dlg) return nullptr;
  if (!child && (t->style & DS_CENTER)) CenterWindowOver(dlg, parent);
  data->proc = proc;
  SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  int defId = 0;
  for (const auto& it : t->items) {
    RECT r = MapWith(base, it.x, it.y, it.cx, it.cy);
    HWND c = CreateWindowExW(it.exStyle, it.className.GetString(), it.text.GetString(), it.style | WS_CHILD, r.left,
                             r.top, r.right - r.left, r.bottom - r.top, dlg,
                             reinterpret_cast<void*>(intptr_t(it.id)), inst, nullptr);
    if (!c) {
      DestroyWindow(dlg);
      return nullptr;
    }
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (it.className.CompareNoCase(WC_BUTTON) == 0 && (it.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && !defId) defId = it.id;
  }
  if (defId) data->defId = defId;
  HWND first = GetNextDlgTabItem(dlg, nullptr, FALSE);
  const LRESULT r = SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (!IsWindow(dlg)) return nullptr;
  if (r && first) data->savedFocus = first;
  if ((t->style & WS_VISIBLE) && !IsDialogEnded(dlg)) ShowWindow(dlg, child ? SW_SHOWNA : SW_SHOWNORMAL);
  return dlg;
}

LRESULT RunModalDialogLoop(HWND dlg, HWND owner, bool (*pre)(MSG*, void*), void* ctx) {
  if (!IsWindow(dlg)) return -1;
  if (owner) owner = GetAncestor(owner, GA_ROOT);
  const bool disableOwner = owner && owner != dlg && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  if (!IsDialogEnded(dlg)) ShowWindow(dlg, SW_SHOWNORMAL);
  bool quit = false;
  int quitCode = 0;
  while (IsWindow(dlg) && !IsDialogEnded(dlg)) {
    MSG m;
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      quit = true;
      quitCode = int(m.wParam);
      break;
    }
    if (pre && pre(&m, ctx)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  LRESULT result = IDCANCEL;
  if (auto d = Data(dlg); d && d->ended) result = d->result;
  // The owner comes back before the dialog goes, so that it takes the activation.
  if (disableOwner) EnableWindow(owner, TRUE);
  if (IsWindow(dlg)) ShowWindow(dlg, SW_HIDE);
  if (quit) PostQuitMessage(quitCode);
  return result;
}

LRESULT DialogBoxIndirectParamW(HINSTANCE inst, const DlgTemplate* t, HWND owner, DLGPROC proc, LPARAM param) {
  if (!t) return -1;
  DlgTemplate hidden = *t;
  hidden.style &= ~WS_VISIBLE;
  if (owner) owner = GetAncestor(owner, GA_ROOT);
  HWND dlg = CreateDialogIndirectParamW(inst, &hidden, owner, proc, param);
  if (!dlg) return -1;
  LRESULT r = RunModalDialogLoop(
      dlg, owner, [](MSG* m, void* d) { return IsDialogMessageW(static_cast<HWND>(d), m) != FALSE; }, dlg);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  return r;
}

BOOL EndDialog(HWND dlg, LRESULT result) {
  auto d = Data(dlg);
  if (!d) return FALSE;
  d->result = result;
  d->ended = true;
  PostMessageW(dlg, WM_NULL, 0, 0);  // wakes the modal loop
  return TRUE;
}

bool IsDialogEnded(HWND dlg) {
  auto d = Data(dlg);
  return d && d->ended;
}

BOOL MapDialogRect(HWND dlg, RECT* r) {
  if (!r) return FALSE;
  SIZE b = GetDialogBaseUnitsOf(dlg);
  *r = MapWith(b, r->left, r->top, r->right - r->left, r->bottom - r->top);
  return TRUE;
}

SIZE GetDialogBaseUnitsOf(HWND dlg) {
  if (auto d = Data(dlg)) return d->base;
  return BaseUnitsOf(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
}

HWND GetDlgItem(HWND dlg, int id) {
  for (HWND c : Controls(dlg)) {
    if (GetDlgCtrlID(c) == id) return c;
  }
  return nullptr;
}

HWND GetNextDlgTabItem(HWND dlg, HWND ctl, BOOL previous) {
  std::vector<HWND> list = Controls(dlg);
  if (list.empty()) return nullptr;
  if (previous) std::reverse(list.begin(), list.end());
  size_t start = 0;
  if (ctl) {
    // A focused window inside a control counts as that control.
    while (ctl && GetParent(ctl) != dlg && IsChild(dlg, ctl)) ctl = GetParent(ctl);
    auto it = std::find(list.begin(), list.end(), ctl);
    if (it != list.end()) start = size_t(it - list.begin()) + 1;
  }
  for (size_t i = 0; i < list.size(); ++i) {
    HWND c = list[(start + i) % list.size()];
    if (Tabbable(c)) return c;
  }
  return ctl;
}

HWND GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous) {
  std::vector<HWND> list = Controls(dlg);
  if (list.empty()) return nullptr;
  auto it = std::find(list.begin(), list.end(), ctl);
  if (it == list.end()) return GetNextDlgTabItem(dlg, nullptr, previous);
  // The group runs from the nearest WS_GROUP at or before the control to the next WS_GROUP.
  size_t i = size_t(it - list.begin());
  size_t first = i;
  while (first > 0 && !(StyleOf(list[first]) & WS_GROUP)) --first;
  size_t end = i + 1;
  while (end < list.size() && !(StyleOf(list[end]) & WS_GROUP)) ++end;
  const size_t n = end - first;
  for (size_t k = 1; k < n; ++k) {
    size_t j = previous ? first + (i - first + n - k) % n : first + (i - first + k) % n;
    const DWORD s = StyleOf(list[j]);
    if ((s & WS_VISIBLE) && !(s & WS_DISABLED)) return list[j];
  }
  return ctl;
}

BOOL IsDialogMessageW(HWND dlg, MSG* m) {
  if (!m || !IsWindow(dlg)) return FALSE;
  if (m->hwnd != dlg && !IsChild(dlg, m->hwnd)) return FALSE;
  if (m->message == WM_KEYDOWN || m->message == WM_CHAR) {
    const LRESULT code = SendMessageW(m->hwnd, WM_GETDLGCODE, m->wParam, reinterpret_cast<LPARAM>(m));
    if (!(code & DLGC_WANTALLKEYS)) {
      const UINT key = UINT(m->wParam);
      if (m->message == WM_CHAR) {
        // The characters of the keys the dialog takes never reach a control.
        if (key == u'\t' || key == u'\r' || key == 0x1B) return TRUE;
      } else if (key == VK_TAB && !(code & DLGC_WANTTAB)) {
        SendMessageW(dlg, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
        return TRUE;
      } else if ((key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN) && !(code & DLGC_WANTARROWS)) {
        HWND next = GetNextDlgGroupItem(dlg, GetFocus(), key == VK_LEFT || key == VK_UP);
        if (next && next != GetFocus()) {
          FocusControl(dlg, next);
          if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) SendMessageW(next, BM_CLICK, 0, 0);
        }
        return TRUE;
      } else if (key == VK_RETURN) {
        HWND f = GetFocus();
        int id = 0;
        if (f && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
          id = GetDlgCtrlID(f);
        } else {
          LRESULT def = SendMessageW(dlg, DM_GETDEFID, 0, 0);
          id = HIWORD(uintptr_t(def)) == DC_HASDEFID ? LOWORD(uintptr_t(def)) : IDOK;
        }
        HWND b = GetDlgItem(dlg, id);
        if (!b || IsWindowEnabled(b)) {
          SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
        }
        return TRUE;
      } else if (key == VK_ESCAPE) {
        HWND b = GetDlgItem(dlg, IDCANCEL);
        if (!b || IsWindowEnabled(b)) {
          SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(b));
        }
        return TRUE;
      }
    }
  }
  TranslateMessage(m);
  DispatchMessageW(m);
  return TRUE;
}

BOOL SetDlgItemTextW(HWND dlg, int id, const char16_t* text) {
  HWND c = GetDlgItem(dlg, id);
  return c ? SetWindowTextW(c, CString(text)) : FALSE;
}

UINT GetDlgItemTextW(HWND dlg, int id, char16_t* buf, int max) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) {
    if (buf && max > 0) buf[0] = 0;
    return 0;
  }
  return UINT(GetWindowTextW(c, buf, max));
}

LRESULT SendDlgItemMessageW(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND c = GetDlgItem(dlg, id);
  return c ? SendMessageW(c, msg, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dlg, int id, UINT check) {
  HWND c = GetDlgItem(dlg, id);
  if (!c) return FALSE;
  SendMessageW(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dlg, int id) { return UINT(SendDlgItemMessageW(dlg, id, BM_GETCHECK, 0, 0)); }

BOOL CheckRadioButton(HWND dlg, int first, int last, int check) {
  for (int id = first; id <= last; ++id) CheckDlgButton(dlg, id, id == check ? BST_CHECKED : BST_UNCHECKED);
  return TRUE;
}
