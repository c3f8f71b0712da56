// The shell's file icons as the result views ask for them: the icon, the index in the system
// image lists and the type name of a drive, a folder (closed or open) or a file, by its name
// or only by its attributes. The icons are drawn by the program itself, the same pixels every
// time: a drive, a folder, an open folder, a plain file, and a file of each family of the
// file-type table (document, photo, image, audio, video, archive, other).
#pragma once

#include "platform/wnd/commctrl.h"

struct SHFILEINFOW {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  char16_t szDisplayName[260];
  char16_t szTypeName[80];
};

constexpr UINT SHGFI_LARGEICON = 0x000;
constexpr UINT SHGFI_SMALLICON = 0x001;
constexpr UINT SHGFI_OPENICON = 0x002;
constexpr UINT SHGFI_USEFILEATTRIBUTES = 0x010;
constexpr UINT SHGFI_ICON = 0x100;
constexpr UINT SHGFI_TYPENAME = 0x400;
constexpr UINT SHGFI_SYSICONINDEX = 0x4000;

// With SHGFI_SYSICONINDEX the system image list (small or large) the index belongs to;
// otherwise nonzero on success. 0 when the path does not exist (without
// SHGFI_USEFILEATTRIBUTES) or `info` is missing or too small. An icon it makes (SHGFI_ICON)
// belongs to the caller, who destroys it.
DWORD_PTR SHGetFileInfoW(const char16_t* path, DWORD fileAttributes, SHFILEINFOW* info, UINT infoSize, UINT flags);

constexpr int SHIL_LARGE = 0;       // 32 by 32
constexpr int SHIL_SMALL = 1;       // 16 by 16
constexpr int SHIL_EXTRALARGE = 2;  // 48 by 48
constexpr int SHIL_SYSSMALL = 3;    // 16 by 16
// The interface the image lists are asked for (our own identifier); SHGetImageList hands out
// the list's handle for it.
inline constexpr GUID IID_IImageList = {0x6B657374, 0x696C, 0x7374, {0x49, 0x6D, 0x61, 0x67, 0x65, 0x4C, 0x73, 0x74}};
// The process-wide system image list of one size, holding the icons in the order of the
// indexes SHGetFileInfoW gives. It belongs to the process: nobody destroys it.
HRESULT SHGetImageList(int which, const GUID& riid, void** out);

// The folder of the system's own programs, which shows as a folder: the length written, or
// the size needed (terminator included) when the buffer is too small.
UINT GetSystemDirectoryW(char16_t* buf, UINT size);

// The family of a file extension (without its dot) as the file-type table knows it: the
// table's category id 6 (document) to 12 (other), or 0 for a plain file. The program installs
// it at start-up; without it every file shows the plain file icon.
using ShellIconFamilyHandler = int (*)(const char16_t* extension);
void SetShellIconFamilyHandler(ShellIconFamilyHandler handler);

// Indexes of the system image lists.
constexpr int kShellIconFile = 0;
constexpr int kShellIconFolder = 1;
constexpr int kShellIconFolderOpen = 2;
constexpr int kShellIconDrive = 3;
constexpr int kShellIconFamilyFirst = 4;  // + category id - 6
constexpr int kShellIconCount = kShellIconFamilyFirst + 7;
// The icon at that index drawn at `size` pixels (16, 32, 48 or any other size), for the
// caller to destroy; null for an index out of range.
HICON CreateShellIcon(int index, int size);

// ---- Opening things with the desktop ----

// Opens a document, folder or address ("open", or a null verb) or shows a folder ("explore")
// through the program's ShellOpen handler (platform/hooks.h), which hands it to the desktop.
// Returns a value above 32 on success, else SE_ERR_FNF for an empty target or a folder to
// explore that does not exist, SE_ERR_NOASSOC for another verb, for parameters (no program is
// started with arguments this way) or when the desktop refused. The owner, folder and show
// state are accepted and not used.
intptr_t ShellExecuteW(HWND owner, const char16_t* verb, const char16_t* file, const char16_t* params,
                       const char16_t* dir, int show);

constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
// The desktop folder (either id): the user's XDG_DESKTOP_DIR from user-dirs.dirs in the XDG
// configuration folder, else "Desktop" in the home folder. With `create` the folder is made
// when missing. FALSE for another id, without a home folder, or when the path does not fit
// into MAX_PATH characters.
BOOL SHGetSpecialFolderPathW(HWND owner, char16_t* path, int csidl, BOOL create);

// ---- The folder picker ----

struct ITEMIDLIST;  // our item: the chosen folder's path (freed with CoTaskMemFree)
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using BFFCALLBACK = int (*)(HWND, UINT, LPARAM, LPARAM);
struct BROWSEINFOW {
  HWND hwndOwner;
  PIDLIST_ABSOLUTE pidlRoot;
  char16_t* pszDisplayName;  // MAX_PATH characters: the chosen folder's own name
  const char16_t* lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
};
constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
constexpr UINT BIF_EDITBOX = 0x0010;
constexpr UINT BIF_NEWDIALOGSTYLE = 0x0040;
constexpr UINT BIF_USENEWUI = BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

// The program's own modal folder picker: the title, the folders of the current folder (with
// ".." to go up; a double click goes in), an editable path (a relative one is taken from the
// current folder), "Make New Folder", OK and Cancel. It starts in the home folder. OK takes
// only an existing folder whose path fits into MAX_PATH characters; anything else is refused
// in the dialog, which stays open. Null when cancelled.
PIDLIST_ABSOLUTE SHBrowseForFolderW(BROWSEINFOW* info);
// The folder's path; FALSE for a null item.
BOOL SHGetPathFromIDListW(PIDLIST_ABSOLUTE item, char16_t* path);
