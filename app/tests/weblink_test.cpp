// Addresses from outside go to the desktop only when they are web addresses, and the desktop's
// opener is found along PATH; a recorder stands in for starting it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/weblink.h"
#include "platform/fileio.h"
#include "platform/hooks.h"

namespace {

std::vector<std::pair<CString, CString>> g_started;
bool RecordStart(const CString& opener, const CString& target) {
  g_started.emplace_back(opener, target);
  return true;
}

class DesktopOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* p = std::getenv("PATH")) path_ = p;
    SetDesktopOpenRunner(&RecordStart);
    g_started.clear();
  }
  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    SetDesktopOpenRunner(nullptr);
    SetShellOpenHandler(nullptr);
  }
  std::string path_;
};

TEST_F(DesktopOpenTest, TheOpenerIsTheFirstRunnableOneAlongPath) {
  const std::string base = ::testing::TempDir() + "weblink_path_" + std::to_string(getpid());
  std::filesystem::remove_all(base);
  for (const char* d : {"/a", "/b", "/c"}) std::filesystem::create_directories(base + d);
  std::ofstream(base + "/a/xdg-open") << "#!/bin/sh\n";  // not runnable: passed over
  std::ofstream(base + "/b/xdg-open") << "#!/bin/sh\n";
  chmod((base + "/b/xdg-open").c_str(), 0755);
  std::ofstream(base + "/c/xdg-open") << "#!/bin/sh\n";
  chmod((base + "/c/xdg-open").c_str(), 0755);
  setenv("PATH", (base + "/a::" + base + "/b:" + base + "/c").c_str(), 1);
  EXPECT_TRUE(DesktopOpen(u"/home/user/Recovered"));
  ASSERT_EQ(g_started.size(), 1u);
  EXPECT_EQ(g_started[0].first, FromHostPath(base + "/b/xdg-open"));
  EXPECT_EQ(g_started[0].second, CString(u"/home/user/Recovered"));
  // Nothing to open, or no opener anywhere: nothing starts.
  EXPECT_FALSE(DesktopOpen(u""));
  setenv("PATH", (base + "/a").c_str(), 1);
  EXPECT_FALSE(DesktopOpen(u"http://127.0.0.1/"));
  EXPECT_EQ(g_started.size(), 1u);
}

TEST_F(DesktopOpenTest, OnlyWebAddressesAreOpenedForOthers) {
  InstallDesktopOpener();
  const std::string base = ::testing::TempDir() + "weblink_path2_" + std::to_string(getpid());
  std::filesystem::create_directories(base);
  std::ofstream(base + "/xdg-open") << "#!/bin/sh\n";
  chmod((base + "/xdg-open").c_str(), 0755);
  setenv("PATH", base.c_str(), 1);
  struct Case {
    const char16_t* address;
    int opened;
  };
  for (const Case& c : {Case{u"http://127.0.0.1/buy", 1}, Case{u"HTTPS://127.0.0.1/", 1}, Case{u"http://", 0},
                        Case{u"file:///etc/passwd", 0}, Case{u"/usr/bin/xterm", 0}, Case{u"javascript:alert(1)", 0},
                        Case{u"http://127.0.0.1/\nrm", 0}, Case{u"", 0}}) {
    g_started.clear();
    EXPECT_EQ(OpenUrl(c.address), c.opened) << CString(c.address).ToUtf8();
    EXPECT_EQ(int(g_started.size()), c.opened);
  }
}

}  // namespace
