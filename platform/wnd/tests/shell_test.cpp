// The shell's verbs go to the program's opener (recorded here; nothing is started), and the
// desktop folder comes from the user's XDG folders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/process.h"
#include "platform/wnd/shellapi.h"

namespace {

std::vector<CString> g_opened;
bool g_desktopTakes = true;
bool RecordOpen(const CString& target) {
  g_opened.push_back(target);
  return g_desktopTakes;
}

TEST(ShellExecute, VerbsReachTheOpenerAndNothingElseDoes) {
  const std::string folder = ::testing::TempDir() + "shellexec_folder_" + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  const CString dir = FromHostPath(folder);
  const CString file = dir + u"/missing.txt";
  SetShellOpenHandler(&RecordOpen);
  struct Case {
    const char16_t* verb;
    CString target;
    const char16_t* params;
    bool desktopTakes;
    intptr_t result;  // kShellOpenStarted or the error
    bool reached;
  };
  const Case cases[] = {
      {u"open", u"http://127.0.0.1/page", nullptr, true, kShellOpenStarted, true},
      {nullptr, u"http://127.0.0.1/page", u"", true, kShellOpenStarted, true},
      {u"OPEN", file, nullptr, true, kShellOpenStarted, true},  // the desktop decides about a file
      {u"explore", dir, nullptr, true, kShellOpenStarted, true},
      {u"explore", file, nullptr, true, SE_ERR_FNF, false},     // not a folder
      {u"open", u"", nullptr, true, SE_ERR_FNF, false},
      {u"open", u"iexplore.exe", u"http://127.0.0.1/", true, SE_ERR_NOASSOC, false},
      {u"print", file, nullptr, true, SE_ERR_NOASSOC, false},
      {u"runas", u"/bin/sh", nullptr, true, SE_ERR_NOASSOC, false},
      {u"open", u"http://127.0.0.1/refused", nullptr, false, SE_ERR_NOASSOC, true},
  };
  for (const Case& c : cases) {
    g_opened.clear();
    g_desktopTakes = c.desktopTakes;
    const intptr_t r = ShellExecuteW(nullptr, c.verb, c.target.GetString(), c.params, nullptr, 1);
    EXPECT_EQ(r, c.result) << c.target.ToUtf8();
    EXPECT_EQ(g_opened.size(), c.reached ? 1u : 0u) << c.target.ToUtf8();
    if (c.reached && !g_opened.empty()) {
      EXPECT_EQ(g_opened[0], c.target);
    }
  }
  SetShellOpenHandler(nullptr);
  EXPECT_EQ(ShellExecuteW(nullptr, u"open", u"http://127.0.0.1/", nullptr, nullptr, 1), SE_ERR_NOASSOC);
}

// Sets an environment variable for the scope of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ShellFolders, TheDesktopComesFromTheUserDirsFile) {
  const std::string home = ::testing::TempDir() + "shellhome_" + std::to_string(getpid());
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home + "/.config");
  std::filesystem::create_directories(home + "/xdg");
  ScopedEnv h("HOME", home);
  struct Case {
    const char* file;          // user-dirs.dirs in ~/.config; null: none
    const char* xdgConfig;     // XDG_CONFIG_HOME, with its own file "Schreibtisch"
    std::string expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, home + "/Desktop"},
      {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n", nullptr, home + "/Bureau"},
      {"XDG_DESKTOP_DIR=\"/srv/shared desk/\"\n", nullptr, "/srv/shared desk"},
      {"XDG_DESKTOP_DIR=\"$HOME/a \\\"b\\\"\"\n", nullptr, home + "/a \"b\""},
      {"XDG_DESKTOP_DIR=\"relative/desk\"\n", nullptr, home + "/Desktop"},        // neither form
      {"XDG_DESKTOP_DIR=\"$HOMEOTHER/x\"\n", nullptr, home + "/Desktop"},
      {"XDG_DESKTOP_DIR=\"$HOME/open\n", nullptr, home + "/Desktop"},            // unterminated
      {"XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n", nullptr, home + "/Desktop"},
      {"XDG_DESKTOP_DIR=\"$HOME/ignored\"\n", "xdg", home + "/Schreibtisch"},
  };
  std::ofstream(home + "/xdg/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  for (const Case& c : cases) {
    std::filesystem::remove(home + "/.config/user-dirs.dirs");
    if (c.file) std::ofstream(home + "/.config/user-dirs.dirs") << c.file;
    ScopedEnv x("XDG_CONFIG_HOME", c.xdgConfig ? std::optional<std::string>(home + "/" + c.xdgConfig) : std::nullopt);
    char16_t path[MAX_PATH] = u"stale";
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, FALSE)) << (c.file ? c.file : "none");
    EXPECT_EQ(CString(path), FromHostPath(c.expected)) << (c.file ? c.file : "none");
  }
  // Created only when asked.
  std::filesystem::remove(home + "/.config/user-dirs.dirs");
  char16_t path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE));
  EXPECT_FALSE(std::filesystem::exists(home + "/Desktop"));
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, TRUE));
  EXPECT_TRUE(std::filesystem::is_directory(home + "/Desktop"));
  // Other folders, a missing buffer and a path too long for the buffer are refused.
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, 0x0005, FALSE));
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, nullptr, CSIDL_DESKTOP, FALSE));
  std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"/" << std::string(300, 'd') << "\"\n";
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, FALSE));
}

}  // namespace
