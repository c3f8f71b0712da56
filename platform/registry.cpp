#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/fileio.h"
#include "platform/textconv.h"

struct RegKeyObject {
  std::string folder;  // host path with a trailing '/'
  REGSAM access;
};

namespace {

// One lock for handles and value files: a value change is a read, modify and rename of one
// small file, and no caller holds it long.
std::mutex& RegLock() {
  static std::mutex& m = *new std::mutex;
  return m;
}
std::set<HKEY>& LiveKeys() {
  static std::set<HKEY>& s = *new std::set<HKEY>;
  return s;
}
CString& RootOverride() {
  static CString& s = *new CString;
  return s;
}

const char* RootKeyFolder(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "hkey_local_machine";
  if (root == HKEY_CURRENT_USER) return "hkey_current_user";
  return nullptr;
}

// The host folder of a key, or empty when the path is not a plain key path (an empty
// component, ".", "..", or a '/' that would step outside the store).
std::string KeyFolder(HKEY root, const char16_t* subKey) {
  const char* top = RootKeyFolder(root);
  if (!top) return std::string();
  std::string folder = HostPath(GetRegistryRoot()) + top + "/";
  CString path(subKey ? subKey : u"");
  int start = 0;
  while (start < path.GetLength()) {
    int end = path.Find(u'\\', start);
    if (end < 0) end = path.GetLength();
    CString part = path.Mid(start, end - start);
    start = end + 1;
    if (part.IsEmpty() && end == path.GetLength()) break;  // a trailing '\'
    if (part.IsEmpty() || part == u"." || part == u".." || part.Find(u'/') >= 0 || part.Find(u'\0') >= 0)
      return std::string();
    part.MakeLower();
    folder += Utf16ToUtf8(part.Str()) + "/";
  }
  return folder;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsLiveKey(HKEY key) { return key && LiveKeys().count(key) != 0; }

std::string Escape(std::u16string_view text) {
  std::string utf8 = Utf16ToUtf8(text);
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '=': out += "\\="; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string Unescape(std::string_view text) {
  std::string raw;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      char n = text[++i];
      raw += n == 'n' ? '\n' : n == 'r' ? '\r' : n == '0' ? '\0' : n;
    } else {
      raw += c;
    }
  }
  return Utf8ToUtf16(raw);
}

// The first '=' that no backslash escapes.
size_t FindSeparator(const std::string& line) {
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\') ++i;
    else if (line[i] == '=') return i;
  }
  return std::string::npos;
}

using ValueList = std::vector<std::pair<std::u16string, std::u16string>>;

ValueList ReadValues(const std::string& folder) {
  ValueList values;
  FILE* f = fopen((folder + "values.txt").c_str(), "rbe");
  if (!f) return values;
  std::string line;
  int c;
  auto flush = [&] {
    size_t eq = FindSeparator(line);
    if (eq != std::string::npos)
      values.emplace_back(Unescape(std::string_view(line).substr(0, eq)),
                          Unescape(std::string_view(line).substr(eq + 1)));
    line.clear();
  };
  while ((c = fgetc(f)) != EOF) {
    if (c == '\n') flush();
    else line += char(c);
  }
  if (!line.empty()) flush();
  fclose(f);
  return values;
}

bool WriteValues(const std::string& folder, const ValueList& values) {
  std::string text;
  for (const auto& [name, data] : values) text += Escape(name) + "=" + Escape(data) + "\n";
  // Written beside and renamed over, so a crash never leaves half a file.
  std::string tmp = folder + "values.txt.new";
  FILE* f = fopen(tmp.c_str(), "wbe");
  if (!f) return false;
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (fclose(f) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), (folder + "values.txt").c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

bool SameName(const std::u16string& a, const char16_t* b) {
  return CString(a).CompareNoCase(b ? b : u"") == 0;
}

}  // namespace

CString GetRegistryRoot() {
  CString dir;
  {
    std::lock_guard<std::mutex> g(RegLock());
    dir = RootOverride();
  }
  if (dir.IsEmpty()) {
    if (const char* env = getenv("KESTREL_REGISTRY_DIR"); env && *env) dir = FromHostPath(env);
    else dir = GetProgramDir() + u"Registry/";
  }
  if (dir[dir.GetLength() - 1] != u'/' && dir[dir.GetLength() - 1] != u'\\') dir += u'/';
  return dir;
}

void SetRegistryRootOverride(const CString& dir) {
  std::lock_guard<std::mutex> g(RegLock());
  RootOverride() = dir;
}

LONG RegOpenKeyExW(HKEY root, const char16_t* subKey, DWORD, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string folder = KeyFolder(root, subKey);
  if (folder.empty()) return ERROR_INVALID_PARAMETER;
  if (!IsFolder(folder)) return ERROR_FILE_NOT_FOUND;
  if ((access & KEY_SET_VALUE) && ::access(folder.c_str(), W_OK) != 0) return ERROR_ACCESS_DENIED;
  HKEY key = new RegKeyObject{folder, access};
  std::lock_guard<std::mutex> g(RegLock());
  LiveKeys().insert(key);
  *result = key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataBytes) {
  std::lock_guard<std::mutex> g(RegLock());
  if (!IsLiveKey(key)) return ERROR_INVALID_HANDLE;
  if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (data && !dataBytes) return ERROR_INVALID_PARAMETER;
  for (const auto& [name, text] : ReadValues(key->folder)) {
    if (!SameName(name, valueName)) continue;
    if (type) *type = REG_SZ;
    const DWORD need = DWORD(text.size() * sizeof(char16_t));
    if (!data) {
      if (dataBytes) *dataBytes = need;
      return ERROR_SUCCESS;
    }
    if (*dataBytes < need) {
      *dataBytes = need;
      return ERROR_MORE_DATA;
    }
    for (size_t i = 0; i < text.size(); ++i) {
      data[2 * i] = BYTE(text[i] & 0xFF);
      data[2 * i + 1] = BYTE(text[i] >> 8);
    }
    *dataBytes = need;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD, DWORD type, const BYTE* data, DWORD dataBytes) {
  std::lock_guard<std::mutex> g(RegLock());
  if (!IsLiveKey(key)) return ERROR_INVALID_HANDLE;
  if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (type != REG_SZ || (dataBytes % 2) != 0 || (!data && dataBytes)) return ERROR_INVALID_PARAMETER;
  std::u16string text(dataBytes / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
  std::u16string name(valueName ? valueName : u"");
  ValueList values = ReadValues(key->folder);
  bool replaced = false;
  for (auto& [n, t] : values) {
    if (SameName(n, name.c_str())) {
      t = text;
      replaced = true;
      break;
    }
  }
  if (!replaced) values.emplace_back(name, text);
  return WriteValues(key->folder, values) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> g(RegLock());
  if (!IsLiveKey(key)) return ERROR_INVALID_HANDLE;
  LiveKeys().erase(key);
  delete key;
  return ERROR_SUCCESS;
}

LONG RegSetupCreateKey(HKEY root, const char16_t* subKey) {
  std::string folder = KeyFolder(root, subKey);
  if (folder.empty()) return ERROR_INVALID_PARAMETER;
  // Every folder from the registry root down.
  for (size_t pos = 1; pos < folder.size(); ++pos) {
    if (folder[pos] != '/') continue;
    std::string part = folder.substr(0, pos);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return ERROR_ACCESS_DENIED;
  }
  return IsFolder(folder) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
