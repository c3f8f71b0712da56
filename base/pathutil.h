// File names and paths. '\' and '/' are both separators; host paths are written with '/'.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/cstring.h"

// ext = "" first; false for a null or one-character path, no '.', a last '.' at index 0, or a
// last '.' before the last separator (one at index 0 does not count). Otherwise the lower-cased
// text behind the last '.' (possibly empty).
bool GetFileExtLower(const char16_t* path, CString& ext);
// A guarded-heap copy of n units of the name, NUL-terminated, with * : \ < > ? / | " and every
// character below 0x20 replaced by '_'. Always true.
bool CopyLegalName(char16_t*& out, const char16_t* name, size_t n);
// Repairs the last component of a path before a folder or file is made from a found name:
// every character that a target file system may refuse (" * / : < > ? |, controls, and
// anything from 0x7F up other than the CJK ideographs U+4E00..U+9FA5) becomes a random digit.
// One trailing separator is removed. False for a path under 4 characters or one whose last
// separator is missing or at index 0 or 1; folders higher up are never changed.
bool FixIllegalName(CString& path);
// Makes one name that came from a disk or a saved scan safe to join under a chosen folder:
// '/', '\' and NUL become '_', and an empty name, "." or ".." becomes "_", so the joined
// path can never leave the folder or name a stray directory. True when the name was changed.
bool RepairNameComponent(CString& name);
// True when the folder exists or was made; otherwise tries the repaired name of FixIllegalName
// and, when that folder can be made, the path takes the repaired text.
bool CreateDirFixed(CString& path);
// Appends the components of a path to the list: the path is trimmed of blanks and tabs,
// everything up to its first ':' is dropped, and the rest is cut at the separators (runs of
// separators count as one). False when the text left to split, its leading separator
// included, has at most one character, as for a path ending in a separator; the components
// found so far stay in the list.
bool SplitPath(const CString& path, std::vector<CString>& parts);
// The program folder with its trailing separator; "" when it cannot be had.
CString GetExeDir();
// folder + '/' + name; no separator is added when the folder is empty or already ends in one.
CString JoinPath(const CString& folder, const CString& name);
// True when a file or folder exists at the path.
bool FileExists(const CString& path);
