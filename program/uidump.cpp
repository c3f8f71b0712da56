#include "program/uidump.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialogs/devpanel.h"
#include "dialogs/messagedlg.h"
#include "platform/afx/afxwin.h"
#include "platform/textconv.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/wnd.h"
#include "platform/wndcore.h"

namespace {

// One field: tabs and line breaks would split the line, so they become blanks.
std::string Field(const CString& text) {
  std::string s = text.ToUtf8();
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

std::string Rect(const RECT& r) {
  char b[96];
  snprintf(b, sizeof b, "%d\t%d\t%d\t%d", int(r.left), int(r.top), int(r.right), int(r.bottom));
  return b;
}

RECT ClientToScreenRect(HWND h, RECT r) {
  POINT a{r.left, r.top}, b{r.right, r.bottom};
  ClientToScreen(h, &a);
  ClientToScreen(h, &b);
  return RECT{a.x, a.y, b.x, b.y};
}

CString Text(HWND h) {
  char16_t buf[512] = {};
  GetWindowTextW(h, buf, 511);
  return CString(buf);
}

std::string Handle(HWND h) {
  char b[32];
  snprintf(b, sizeof b, "%p", static_cast<void*>(h));
  return b;
}

// Rows of a list view: "row" lines with the first column's text.
void DumpListRows(HWND list, std::string& out) {
  const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count && i < 2000; ++i) {
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (!SendMessageW(list, LVM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r))) continue;
    char16_t buf[512] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buf;
    item.cchTextMax = 511;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(&item));
    out += "row\t" + Handle(list) + "\t" + std::to_string(i) + "\t" + Rect(ClientToScreenRect(list, r)) + "\t" +
           Field(CString(buf)) + "\n";
  }
}

// The visible items of a tree view: "item" lines.
void DumpTreeItems(HWND tree, std::string& out) {
  HTREEITEM it = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0));
  for (int n = 0; it != nullptr && n < 2000; ++n) {
    // The item goes in where the rectangle comes back, as the message asks.
    RECT r{};
    std::memcpy(&r, &it, sizeof it);
    if (SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r))) {
      char16_t buf[512] = {};
      TVITEMW item{};
      item.mask = TVIF_TEXT;
      item.hItem = it;
      item.pszText = buf;
      item.cchTextMax = 511;
      SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
      out += "item\t" + Handle(tree) + "\t" + std::to_string(n) + "\t" + Rect(ClientToScreenRect(tree, r)) + "\t" +
             Field(CString(buf)) + "\n";
    }
    it = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(it)));
  }
}

// The drawn elements of the device panel: "element" lines with their names.
void DumpPanelElements(HWND host, const CCtrlBase& e, int depth, std::string& out) {
  if (!e.m_visible) return;
  out += "element\t" + Handle(host) + "\t" + std::to_string(depth) + "\t" + std::to_string(e.m_tag) + "\t" +
         Rect(ClientToScreenRect(host, e.m_rect)) +
         "\t" + Field(e.m_name) + "\n";
  for (const auto& c : e.m_children)
    if (c) DumpPanelElements(host, *c, depth + 1, out);
}

void DumpWindow(HWND h, int depth, std::string& out) {
  if (!IsWindowVisible(h)) return;
  RECT r{};
  GetWindowRect(h, &r);
  const CString cls = GetWindowClassName(h);
  out += "window\t" + Handle(h) + "\t" + std::to_string(depth) + "\t" + Field(cls) + "\t" +
         std::to_string(GetDlgCtrlID(h)) + "\t" + (IsWindowEnabled(h) ? "1" : "0") + "\t" + Rect(r) + "\t" +
         Field(Text(h)) + "\n";
  if (cls.CompareNoCase(WC_LISTVIEW) == 0) DumpListRows(h, out);
  else if (cls.CompareNoCase(WC_TREEVIEW) == 0) DumpTreeItems(h, out);
  CWnd* object = CWnd::FromHandlePermanent(h);
  if (auto* panel = dynamic_cast<CDevWnd*>(object)) DumpPanelElements(h, panel->m_root, 0, out);
  // A message box draws its text: the text is told apart.
  if (auto* box = dynamic_cast<CMessageDlg*>(object))
    out += "message\t" + Handle(h) + "\t0\t" + Rect(r) + "\t" + Field(box->m_text) + "\n";
  for (HWND c = GetTopWindow(h); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) DumpWindow(c, depth + 1, out);
}

std::string& DumpPath() {
  static std::string path;
  return path;
}

void OnDumpTimer(HWND, UINT, UINT_PTR, DWORD) {
  const std::string text = DumpShownWindows();
  const std::string temporary = DumpPath() + ".part";
  FILE* f = fopen(temporary.c_str(), "wb");
  if (f == nullptr) return;
  const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  if (fclose(f) == 0 && ok) rename(temporary.c_str(), DumpPath().c_str());
}

}  // namespace

std::string DumpShownWindows() {
  std::string out;
  for (HWND h = GetTopWindow(nullptr); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) DumpWindow(h, 0, out);
  return out;
}

void StartUiDump() {
  const char* path = getenv("KESTREL_UI_DUMP");
  if (path == nullptr || *path == 0) return;
  DumpPath() = path;
  // Timers belong to windows: a hidden window of its own carries the dump's.
  WNDCLASSW wc{};
  wc.lpfnWndProc = &DefWindowProcW;
  wc.lpszClassName = u"KestrelUiDump";
  RegisterClassW(&wc);
  HWND timerWindow = CreateWindowExW(0, u"KestrelUiDump", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (timerWindow != nullptr) SetTimer(timerWindow, 1, 250, &OnDumpTimer);
}
