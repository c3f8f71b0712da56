// The folder picker and the file-open dialog: one modal dialog of the program's own that
// lists a folder (".." to go up, folders first, then files in file mode), keeps an editable
// path, and refuses within the dialog what cannot be taken, so that it stays open for the
// user (and a scripted answer that is refused ends the dialog as cancelled instead of
// waiting for a second one).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/comobj.h"
#include "platform/fileio.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/commdlg.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/shellapi.h"

struct ITEMIDLIST {
  char16_t path[1];  // the path's characters and its zero, allocated to fit
};

namespace {

constexpr int kIdTitle = 100, kIdFolder = 101, kIdList = 102, kIdNameLabel = 103, kIdName = 104, kIdStatus = 105,
              kIdNewFolder = 106;
constexpr UINT kScripted = WM_APP + 0x51;
// A folder with more entries than this shows only the first ones (sorted), so that a huge
// folder cannot stall the dialog.
constexpr size_t kMaxEntries = 20000;

struct Entry {
  std::string name;
  bool folder = false;
};

struct Picker {
  bool fileMode = false;
  bool fileMustExist = false;
  size_t maxChars = MAX_PATH;  // the longest path (without its zero) the caller can take
  std::string folder;          // the folder shown (host path, no trailing slash except "/")
  std::vector<Entry> entries;  // as listed, ".." first when there is a parent
  std::string chosen;          // the result
  std::optional<CString> script;
};

struct Scripts {
  std::mutex m;
  std::deque<std::optional<CString>> answers;
  CString lastRefusal;
  HWND open = nullptr;
};
Scripts& TheScripts() {
  static Scripts& s = *new Scripts;
  return s;
}

std::string Parent(const std::string& folder) {
  const size_t slash = folder.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return folder.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// An absolute path with "." and ".." taken out and slashes single; `text` is taken from
// `folder` when it is relative. Links are not followed: the user sees the path they typed.
std::string Normalise(const std::string& folder, const std::string& text) {
  const std::string whole = !text.empty() && text[0] == '/' ? text : Join(folder, text);
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= whole.size()) {
    const size_t slash = std::min(whole.find('/', i), whole.size());
    const std::string seg = whole.substr(i, slash - i);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    i = slash + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool NoCaseLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

void List(Picker& p) {
  p.entries.clear();
  std::vector<Entry> found;
  if (DIR* d = opendir(p.folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.empty() || name[0] == '.') continue;  // hidden ones, "." and ".." stay out
      const bool folder = IsFolder(Join(p.folder, name));
      if (folder || p.fileMode) found.push_back(Entry{name, folder});
      if (found.size() >= kMaxEntries) break;
    }
    closedir(d);
  }
  std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) {
    if (a.folder != b.folder) return a.folder;
    return NoCaseLess(a.name, b.name);
  });
  if (p.folder != "/") p.entries.push_back(Entry{"..", true});
  p.entries.insert(p.entries.end(), found.begin(), found.end());
}

Picker* PickerOf(HWND dlg) { return reinterpret_cast<Picker*>(GetWindowLongPtrW(dlg, GWLP_USERDATA)); }

void Status(HWND dlg, const char16_t* text) {
  SetDlgItemTextW(dlg, kIdStatus, text);
  std::lock_guard<std::mutex> g(TheScripts().m);
  TheScripts().lastRefusal = text;
}

void Show(HWND dlg, Picker& p) {
  List(p);
  SetDlgItemTextW(dlg, kIdFolder, FromHostPath(p.folder).GetString());
  HWND list = GetDlgItem(dlg, kIdList);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < p.entries.size(); ++i) {
    const Entry& e = p.entries[i];
    CString text = FromHostPath(e.name);
    if (e.folder && e.name != "..") text += u"/";
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    item.iItem = int(i);
    item.iImage = e.folder ? kShellIconFolder : kShellIconFile;
    item.pszText = const_cast<char16_t*>(text.GetString());
    item.lParam = LPARAM(i);
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  if (!p.fileMode) SetDlgItemTextW(dlg, kIdName, FromHostPath(p.folder).GetString());
  SetDlgItemTextW(dlg, kIdStatus, u"");
}

void GoInto(HWND dlg, Picker& p, const std::string& folder) {
  p.folder = folder;
  Show(dlg, p);
}

// OK: the typed path is taken, gone into (a folder in file mode), or refused with a word why.
bool Accept(HWND dlg, Picker& p) {
  const std::string text = HostPath(GetWindowTextString(GetDlgItem(dlg, kIdName)));
  if (text.empty()) {
    Status(dlg, p.fileMode ? u"Type or choose a file." : u"Type or choose a folder.");
    return false;
  }
  const std::string path = Normalise(p.folder, text);
  if (p.fileMode && IsFolder(path)) {
    GoInto(dlg, p, path);
    SetDlgItemTextW(dlg, kIdName, u"");
    return false;
  }
  if (FromHostPath(path).GetLength() > int(p.maxChars)) {
    Status(dlg, u"The path is too long.");
    return false;
  }
  if (!p.fileMode && !IsFolder(path)) {
    Status(dlg, u"The folder does not exist.");
    return false;
  }
  if (p.fileMode && !IsFolder(Parent(path))) {
    Status(dlg, u"The folder does not exist.");
    return false;
  }
  if (p.fileMode && p.fileMustExist && !IsFile(path)) {
    Status(dlg, u"The file does not exist.");
    return false;
  }
  p.chosen = path;
  EndDialog(dlg, IDOK);
  return true;
}

void MakeNewFolder(HWND dlg, Picker& p) {
  std::string path = Join(p.folder, "New Folder");
  for (int n = 2; n < 1000 && ::access(path.c_str(), F_OK) == 0; ++n) {
    path = Join(p.folder, "New Folder (" + std::to_string(n) + ")");
  }
  if (::mkdir(path.c_str(), 0755) != 0) {
    Status(dlg, u"A folder cannot be made here.");
    return;
  }
  Show(dlg, p);
  SetDlgItemTextW(dlg, kIdName, FromHostPath(path).GetString());
  const std::string name = path.substr(path.rfind('/') + 1);
  for (size_t i = 0; i < p.entries.size(); ++i) {
    if (p.entries[i].name != name) continue;
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dlg, kIdList, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
    SendDlgItemMessageW(dlg, kIdList, LVM_ENSUREVISIBLE, i, FALSE);
  }
}

LRESULT Proc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  Picker* p = PickerOf(dlg);
  switch (msg) {
    case WM_INITDIALOG: {
      p = reinterpret_cast<Picker*>(lParam);
      SetWindowLongPtrW(dlg, GWLP_USERDATA, lParam);
      HWND list = GetDlgItem(dlg, kIdList);
      RECT rc{};
      GetClientRect(list, &rc);
      LVCOLUMNW col{};
      col.mask = LVCF_WIDTH | LVCF_TEXT;
      col.cx = rc.right - 4;
      col.pszText = const_cast<char16_t*>(u"Name");
      SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&col));
      void* icons = nullptr;
      if (SHGetImageList(SHIL_SMALL, IID_IImageList, &icons) == S_OK) {
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons));
      }
      Show(dlg, *p);
      {
        std::lock_guard<std::mutex> g(TheScripts().m);
        TheScripts().open = dlg;
        if (!TheScripts().answers.empty()) {
          p->script = TheScripts().answers.front();
          TheScripts().answers.pop_front();
          PostMessageW(dlg, kScripted, p->script ? 1 : 0, 0);
        }
      }
      SetFocus(GetDlgItem(dlg, kIdName));
      return FALSE;
    }
    case kScripted:
      if (!p) return TRUE;
      if (wParam) {
        SetDlgItemTextW(dlg, kIdName, p->script->GetString());
        if (!Accept(dlg, *p) && !IsDialogEnded(dlg)) EndDialog(dlg, IDCANCEL);
      } else {
        EndDialog(dlg, IDCANCEL);
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
      if (!p || hdr->idFrom != UINT_PTR(kIdList)) return FALSE;
      if (hdr->code == LVN_ITEMCHANGED) {
        const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if (nm->iItem < 0 || size_t(nm->iItem) >= p->entries.size() || !(nm->uNewState & LVIS_SELECTED)) return FALSE;
        const Entry& e = p->entries[size_t(nm->iItem)];
        if (e.name == "..") return FALSE;
        if (!p->fileMode) SetDlgItemTextW(dlg, kIdName, FromHostPath(Join(p->folder, e.name)).GetString());
        else if (!e.folder) SetDlgItemTextW(dlg, kIdName, FromHostPath(e.name).GetString());
      } else if (hdr->code == NM_DBLCLK) {
        const auto* nm = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        if (nm->iItem < 0 || size_t(nm->iItem) >= p->entries.size()) return FALSE;
        const Entry e = p->entries[size_t(nm->iItem)];
        if (e.name == "..") GoInto(dlg, *p, Parent(p->folder));
        else if (e.folder) GoInto(dlg, *p, Join(p->folder, e.name));
        else Accept(dlg, *p);
      }
      return FALSE;
    }
    case WM_COMMAND:
      if (!p) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK:
          Accept(dlg, *p);
          return TRUE;
        case IDCANCEL:
          EndDialog(dlg, IDCANCEL);
          return TRUE;
        case kIdNewFolder:
          MakeNewFolder(dlg, *p);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY: {
      std::lock_guard<std::mutex> g(TheScripts().m);
      if (TheScripts().open == dlg) TheScripts().open = nullptr;
      return FALSE;
    }
    default:
      return FALSE;
  }
}

DlgTemplate MakeTemplate(const CString& title, const CString& text, bool fileMode) {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
  t.cx = 260;
  t.cy = 214;
  t.title = title;
  auto add = [&t](int id, const char16_t* cls, DWORD style, const CString& s, int x, int y, int cx, int cy,
                  DWORD ex = 0) { t.items.push_back(DlgItemTemplate{id, cls, style | WS_VISIBLE, ex, s, x, y, cx, cy}); };
  add(kIdTitle, u"Static", SS_LEFT, text, 7, 6, 246, 16);
  add(kIdFolder, u"Static", SS_LEFTNOWORDWRAP, u"", 7, 24, 246, 9);
  add(kIdList, WC_LISTVIEW,
      WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER | LVS_SHAREIMAGELISTS,
      u"", 7, 36, 246,
      112);
  add(kIdNameLabel, u"Static", SS_LEFT, fileMode ? u"File name:" : u"Folder:", 7, 154, 40, 9);
  add(kIdName, WC_EDIT, WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, u"", 48, 152, 205, 13);
  add(kIdStatus, u"Static", SS_LEFTNOWORDWRAP, u"", 48, 168, 205, 9);
  if (!fileMode) add(kIdNewFolder, u"Button", WS_TABSTOP | BS_PUSHBUTTON, u"Make New Folder", 7, 190, 80, 16);
  add(IDOK, u"Button", WS_TABSTOP | BS_DEFPUSHBUTTON, u"OK", 145, 190, 50, 16);
  add(IDCANCEL, u"Button", WS_TABSTOP | BS_PUSHBUTTON, u"Cancel", 203, 190, 50, 16);
  return t;
}

std::string StartFolder(const char16_t* initial) {
  if (initial && *initial) {
    char cwd[4096];
    const std::string base = getcwd(cwd, sizeof cwd) ? cwd : "/";
    const std::string f = Normalise(base, HostPath(CString(initial)));
    if (IsFolder(f)) return f;
  }
  if (const char* home = std::getenv("HOME"); home && *home == '/' && IsFolder(home)) return Normalise("/", home);
  return "/";
}

}  // namespace

PIDLIST_ABSOLUTE SHBrowseForFolderW(BROWSEINFOW* info) {
  if (!info) return nullptr;
  InitWindowLayer();
  Picker p;
  p.folder = StartFolder(nullptr);
  const DlgTemplate t = MakeTemplate(u"Browse For Folder", info->lpszTitle ? info->lpszTitle : u"", false);
  if (DialogBoxIndirectParamW(nullptr, &t, info->hwndOwner, &Proc, reinterpret_cast<LPARAM>(&p)) != IDOK) return nullptr;
  const CString path = FromHostPath(p.chosen);
  auto* item = static_cast<ITEMIDLIST*>(CoTaskMemAlloc((size_t(path.GetLength()) + 1) * sizeof(char16_t)));
  if (!item) return nullptr;
  std::memcpy(item->path, path.GetString(), (size_t(path.GetLength()) + 1) * sizeof(char16_t));
  if (info->pszDisplayName) {
    const int slash = path.ReverseFind(u'/');
    const CString name = slash >= 0 && path.GetLength() > 1 ? path.Mid(slash + 1) : path;
    const int n = std::min(name.GetLength(), MAX_PATH - 1);
    std::memcpy(info->pszDisplayName, name.GetString(), size_t(n) * sizeof(char16_t));
    info->pszDisplayName[n] = 0;
  }
  return item;
}

BOOL SHGetPathFromIDListW(PIDLIST_ABSOLUTE item, char16_t* path) {
  if (!item || !path) return FALSE;
  size_t n = 0;
  while (item->path[n] && n < size_t(MAX_PATH) - 1) ++n;
  if (item->path[n]) return FALSE;  // longer than a caller's buffer
  std::memcpy(path, item->path, (n + 1) * sizeof(char16_t));
  return TRUE;
}

BOOL GetOpenFileNameW(OPENFILENAMEW* ofn) {
  if (!ofn || !ofn->lpstrFile || ofn->nMaxFile < 2) return FALSE;
  InitWindowLayer();
  Picker p;
  p.fileMode = true;
  p.fileMustExist = (ofn->Flags & OFN_FILEMUSTEXIST) != 0;
  p.maxChars = ofn->nMaxFile - 1;
  p.folder = StartFolder(ofn->lpstrInitialDir);
  const CString title = ofn->lpstrTitle && *ofn->lpstrTitle ? CString(ofn->lpstrTitle) : CString(u"Open");
  const DlgTemplate t = MakeTemplate(title, u"", true);
  if (DialogBoxIndirectParamW(nullptr, &t, ofn->hwndOwner, &Proc, reinterpret_cast<LPARAM>(&p)) != IDOK) return FALSE;
  const CString path = FromHostPath(p.chosen);
  std::memcpy(ofn->lpstrFile, path.GetString(), (size_t(path.GetLength()) + 1) * sizeof(char16_t));
  const int slash = path.ReverseFind(u'/');
  const CString name = path.Mid(slash + 1);
  ofn->nFileOffset = WORD(slash + 1);
  const int dot = name.ReverseFind(u'.');
  ofn->nFileExtension = WORD(dot > 0 ? slash + 1 + dot + 1 : 0);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
    const int n = std::min<int>(name.GetLength(), int(ofn->nMaxFileTitle) - 1);
    std::memcpy(ofn->lpstrFileTitle, name.GetString(), size_t(n) * sizeof(char16_t));
    ofn->lpstrFileTitle[n] = 0;
  }
  return TRUE;
}

void PushPickerAnswerForTest(const CString* answer) {
  std::lock_guard<std::mutex> g(TheScripts().m);
  TheScripts().answers.push_back(answer ? std::optional<CString>(*answer) : std::nullopt);
}

CString LastPickerRefusalForTest() {
  std::lock_guard<std::mutex> g(TheScripts().m);
  return TheScripts().lastRefusal;
}

HWND OpenPickerForTest() {
  std::lock_guard<std::mutex> g(TheScripts().m);
  return TheScripts().open;
}
