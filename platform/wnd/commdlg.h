// The file-open dialog: the program's own modal dialog, sharing the folder picker's layout.
#pragma once

#include "platform/wnd/wnd.h"

struct OPENFILENAMEW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  const char16_t* lpstrFilter;  // not used: every file shows
  char16_t* lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  char16_t* lpstrFile;  // in: a starting name (may be empty); out: the chosen path
  DWORD nMaxFile;
  char16_t* lpstrFileTitle;  // out, optional: the chosen file's own name
  DWORD nMaxFileTitle;
  const char16_t* lpstrInitialDir;
  const char16_t* lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  const char16_t* lpstrDefExt;
  LPARAM lCustData;
  void* lpfnHook;
  const char16_t* lpTemplateName;
};

constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// Runs the dialog: the folders and files of the current folder (the initial folder, else the
// working folder), a name field (relative names are taken from the current folder; a folder's
// name goes into it), OK and Cancel. OK takes a file whose folder exists (and, with
// OFN_FILEMUSTEXIST, the file itself); a path longer than the buffer is refused. TRUE with the
// path in lpstrFile (and offsets of its name and extension), FALSE when cancelled.
BOOL GetOpenFileNameW(OPENFILENAMEW* ofn);

// ---- For tests ----
// The answer the next picker (folder or file) gives, one per picker shown: the text is typed
// into its path field and OK pressed; no text presses Cancel. When the dialog refuses the
// typed text it ends as cancelled, since the script has no second answer, and the refusal is
// kept for LastPickerRefusalForTest.
void PushPickerAnswerForTest(const CString* answer);
CString LastPickerRefusalForTest();
// The dialog of the picker that is open now (null when none), for tests that drive it.
HWND OpenPickerForTest();
