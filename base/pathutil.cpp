#include "base/pathutil.h"

#include <cstring>

#include "base/heap.h"
#include "base/textutil.h"
#include "platform/fileio.h"
#include "platform/thread.h"

namespace {

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }

int LastSep(const CString& s) {
  for (int i = s.GetLength() - 1; i >= 0; --i) {
    if (IsSep(s[i])) return i;
  }
  return -1;
}

int FirstSep(const CString& s) {
  for (int i = 0; i < s.GetLength(); ++i) {
    if (IsSep(s[i])) return i;
  }
  return -1;
}

}  // namespace

bool GetFileExtLower(const char16_t* path, CString& ext) {
  ext.Empty();
  if (!path) return false;
  const CString p(path);
  if (p.GetLength() < 2) return false;
  const int dot = p.ReverseFind(u'.');
  if (dot <= 0) return false;
  const int sep = LastSep(p);
  if (sep > 0 && dot < sep) return false;
  ext = p.Mid(dot + 1);
  ext.MakeLower();
  return true;
}

bool CopyLegalName(char16_t*& out, const char16_t* name, size_t n) {
  if (!name) n = 0;
  out = static_cast<char16_t*>(AllocMem((uint64_t(n) + 1) * sizeof(char16_t), 578));
  for (size_t i = 0; i < n; ++i) {
    char16_t c = name[i];
    if (c < 0x20 || c == u'*' || c == u':' || c == u'\\' || c == u'<' || c == u'>' || c == u'?' || c == u'/' ||
        c == u'|' || c == u'"')
      c = u'_';
    out[i] = c;
  }
  out[n] = 0;
  return true;
}

bool FixIllegalName(CString& path) {
  if (path.GetLength() < 4) return false;
  if (IsSep(path[path.GetLength() - 1])) path.Truncate(path.GetLength() - 1);
  const int sep = LastSep(path);
  if (sep <= 1) return false;
  for (int i = sep + 1; i < path.GetLength(); ++i) {
    const char16_t c = path[i];
    const bool bad = c < 0x20 || c == u'"' || c == u'*' || c == u'/' || c == u':' || c == u'<' || c == u'>' ||
                     c == u'?' || c == u'|' || (c >= 0x7F && !(c >= 0x4E00 && c <= 0x9FA5));
    if (bad) path.SetAt(i, char16_t(u'0' + CrtRand() % 10));
  }
  return true;
}

bool RepairNameComponent(CString& name) {
  if (name.IsEmpty() || name == u"." || name == u"..") {
    name = u"_";
    return true;
  }
  bool changed = false;
  for (int i = 0; i < name.GetLength(); ++i) {
    const char16_t c = name[i];
    if (c == u'/' || c == u'\\' || c == 0) {
      name.SetAt(i, u'_');
      changed = true;
    }
  }
  return changed;
}

bool CreateDirFixed(CString& path) {
  if (FileExists(path) || CreateDirectoryW(path)) return true;
  CString fixed = path;
  if (FixIllegalName(fixed) && CreateDirectoryW(fixed)) {
    path = fixed;
    return true;
  }
  return false;
}

bool SplitPath(const CString& path, std::vector<CString>& parts) {
  CString rest = path;
  TrimBlanks(rest);
  const int colon = rest.Find(u':');
  if (colon >= 0) rest = rest.Mid(colon + 1);
  // Every round removes at least one character, so the loop ends.
  for (;;) {
    if (rest.GetLength() <= 1) return false;
    if (IsSep(rest[0])) rest = rest.Mid(1);
    const int sep = FirstSep(rest);
    if (sep < 0) break;
    if (sep == 0) continue;
    parts.push_back(rest.Left(sep));
    rest = rest.Mid(sep);
  }
  parts.push_back(rest);
  return true;
}

CString GetExeDir() { return GetProgramDir(); }

CString JoinPath(const CString& folder, const CString& name) {
  if (folder.IsEmpty()) return name;
  if (IsSep(folder[folder.GetLength() - 1])) return folder + name;
  return folder + u"/" + name;
}

bool FileExists(const CString& path) { return !path.IsEmpty() && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }
