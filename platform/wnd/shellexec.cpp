// The shell's verbs and the desktop folder.
#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/process.h"
#include "platform/wnd/shellapi.h"

namespace {

bool SameNoCase(const char16_t* a, const char16_t* b) {
  for (; *a && *b; ++a, ++b) {
    char16_t x = *a, y = *b;
    if (x >= u'A' && x <= u'Z') x = char16_t(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = char16_t(y - u'A' + u'a');
    if (x != y) return false;
  }
  return *a == *b;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir == '/') return pw->pw_dir;
  return {};
}

// The value of XDG_DESKTOP_DIR in user-dirs.dirs: a quoted "$HOME/..." or absolute path, with
// backslash escapes. Empty when absent or in another form.
std::string DesktopFromUserDirs(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file =
      (config && *config == '/' ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
  FILE* f = std::fopen(file.c_str(), "re");
  if (!f) return {};
  std::string found;
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t i = s.find_first_not_of(" \t");
    if (i == std::string::npos || s.compare(i, 16, "XDG_DESKTOP_DIR=") != 0) continue;
    i += 16;
    if (i >= s.size() || s[i] != '"') continue;
    std::string value;
    bool closed = false;
    for (++i; i < s.size(); ++i) {
      if (s[i] == '\\' && i + 1 < s.size()) {
        value += s[++i];
      } else if (s[i] == '"') {
        closed = true;
        break;
      } else {
        value += s[i];
      }
    }
    if (!closed) continue;
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) value = home + value.substr(5);
    if (value.empty() || value[0] != '/') continue;
    found = value;  // the last valid line counts, as when the file is read by the shell
  }
  std::fclose(f);
  while (found.size() > 1 && found.back() == '/') found.pop_back();
  return found;
}

}  // namespace

intptr_t ShellExecuteW(HWND, const char16_t* verb, const char16_t* file, const char16_t* params, const char16_t*,
                       int) {
  const bool open = !verb || !*verb || SameNoCase(verb, u"open");
  const bool explore = verb && SameNoCase(verb, u"explore");
  if (!open && !explore) return SE_ERR_NOASSOC;
  if (!file || !*file) return SE_ERR_FNF;
  if (params && *params) return SE_ERR_NOASSOC;
  const CString target(file);
  if (explore) {
    struct stat st{};
    if (::stat(HostPath(target).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return SE_ERR_FNF;
  }
  return ShellOpen(target) ? kShellOpenStarted : SE_ERR_NOASSOC;
}

BOOL SHGetSpecialFolderPathW(HWND, char16_t* path, int csidl, BOOL create) {
  if (!path || (csidl != CSIDL_DESKTOP && csidl != CSIDL_DESKTOPDIRECTORY)) return FALSE;
  path[0] = 0;
  const std::string home = HomeFolder();
  if (home.empty()) return FALSE;
  std::string desktop = DesktopFromUserDirs(home);
  if (desktop.empty()) desktop = home + "/Desktop";
  const CString text = FromHostPath(desktop);
  if (text.GetLength() >= MAX_PATH) return FALSE;
  if (create) ::mkdir(desktop.c_str(), 0755);
  for (int i = 0; i < text.GetLength(); ++i) path[i] = text[i];
  path[text.GetLength()] = 0;
  return TRUE;
}
