#include "app/servicedll.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/cmdlineparse.h"
#include "app/runvalues.h"
#include "app/tests/cstring_print.h"
#include "platform/fileio.h"
#include "platform/hooks.h"

namespace fs = std::filesystem;

namespace {

std::vector<CString> g_boxes;
bool g_answer = false;
bool ScriptedBox(const CString& text, const CString&, const CString&) {
  g_boxes.push_back(text);
  return g_answer;
}

std::vector<std::string> ReadLines(const fs::path& p) {
  std::vector<std::string> lines;
  std::ifstream in(p);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteFile(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

// A scratch folder per test with the stand-ins' answer and record files named in the
// environment; the program folder is the build's, where the stand-ins are.
class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrel-service-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    answers_ = dir_ / "answers.txt";
    serviceRecord_ = dir_ / "service.log";
    updaterRecord_ = dir_ / "updater.log";
    setenv("KESTREL_SERVICE_ANSWERS", answers_.c_str(), 1);
    setenv("KESTREL_SERVICE_RECORD", serviceRecord_.c_str(), 1);
    setenv("KESTREL_UPDATER_RECORD", updaterRecord_.c_str(), 1);
    SetProgramDirOverride(CString(KESTREL_TEST_BIN_DIR));
    SetMessageBoxHandler(&ScriptedBox);
    g_boxes.clear();
    g_answer = false;
    SetExitWithoutAsking(false);
  }
  void TearDown() override {
    StopServiceDlls();
    SetMessageBoxHandler(nullptr);
    SetProgramDirOverride(CString());
    SetExitWithoutAsking(false);
    unsetenv("KESTREL_SERVICE_ANSWERS");
    unsetenv("KESTREL_SERVICE_RECORD");
    unsetenv("KESTREL_UPDATER_RECORD");
    fs::remove_all(dir_);
  }

  // The updater's record once it is complete; empty when it never ran.
  std::vector<std::string> WaitForUpdater() {
    for (int i = 0; i < 500; ++i) {
      auto lines = ReadLines(updaterRecord_);
      if (!lines.empty() && lines.back() == "end") {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        return lines;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
  }

  fs::path dir_, answers_, serviceRecord_, updaterRecord_;
};

TEST_F(ServiceTest, StartAndShutdownCallsInOrder) {
  StartServiceDlls();
  ASSERT_NE(GetServiceInterface(), nullptr);
  EXPECT_EQ(GetServiceInterface(), GetServiceInterface());
  StopServiceDlls();
  EXPECT_EQ(ServiceDll.module, nullptr);
  EXPECT_EQ(GetServiceInterface(), nullptr);
  const std::string bin = CString(KESTREL_TEST_BIN_DIR).ToUtf8();
  const std::string slash = bin.back() == '/' ? "" : "/";
  EXPECT_EQ(ReadLines(serviceRecord_),
            (std::vector<std::string>{"Start", "SetConfigPath " + bin + slash + "ProgramData/QuendaleCoop/config.ini",
                                      "SetProduct 905|001|106|Kx7Q2mLp9Vd4Rt8Wn3Ys|http://127.0.0.1/", "Pages",
                                      "Pages.Select 0", "SetSecondAddress http://127.0.0.1/ 0", "Release"}));
}

TEST_F(ServiceTest, MissingLibraryStopsTheProgram) {
  // A folder without the library, then one where the file is no library at all.
  // The plain message box (no handler) writes its text where the death test reads it.
  SetMessageBoxHandler(nullptr);
  SetProgramDirOverride(CString(dir_.c_str()));
  EXPECT_EXIT(StartServiceDlls(), ::testing::ExitedWithCode(255), "can't load vod");
  WriteFile(dir_ / "libvod.so", "not a library");
  EXPECT_EXIT(StartServiceDlls(), ::testing::ExitedWithCode(255), "can't load vod");
}

TEST(ServiceVersions, CompareAsNumbersWhereTheyAreNumbers) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int want;
  };
  const Case cases[] = {
      {u"9.0.5", u"9.0.5", 0},
      {u"9.0.10", u"9.0.5", 1},
      {u"9.0.5", u"9.0.10", -1},
      {u"10.0", u"9.9.9", 1},
      {u"9.0", u"9.0.0", 0},
      {u"9.0.1", u"9.0", 1},
      {u"9.00.5", u"9.0.5", 0},
      {u"123456789012345678901234567890", u"123456789012345678901234567889", 1},
      // Texts that are not all numbers compare as text.
      {u"9.0.5b", u"9.0.10", 1},
      {u"9.0.10-rc", u"9.0.5", -1},
      {u"", u"9.0.5", -1},
      {u"9..5", u"9.0.5", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareVersionTexts(c.a, c.b), c.want) << CString(c.a).ToUtf8() << " vs " << CString(c.b).ToUtf8();
}

TEST_F(ServiceTest, EqualVersionsDoNothing) {
  WriteFile(answers_, "latest.version=9.0.5\ninstalled.version=9.0.5\nlatest.ForceUpdate=1\n");
  StartServiceDlls();
  int closed = 0;
  EXPECT_FALSE(CheckForUpdate([&] { ++closed; }));
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(closed, 0);
  EXPECT_FALSE(IsExitWithoutAsking());
  // Without an answers file both records carry the product version: no update either.
  fs::remove(answers_);
  EXPECT_FALSE(CheckForUpdate([&] { ++closed; }));
  EXPECT_FALSE(fs::exists(updaterRecord_));
}

TEST_F(ServiceTest, ForcedUpdateStartsTheUpdaterAndCloses) {
  WriteFile(answers_,
            "latest.version=9.0.10\nlatest.ForceUpdate=2\ninstalled.version=9.0.5\n"
            "installed.info=from=9.0.5;to=9.0.10\n");
  StartServiceDlls();
  int closed = 0;
  EXPECT_TRUE(CheckForUpdate([&] { ++closed; }));
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(IsExitWithoutAsking());

  const auto record = WaitForUpdater();
  ASSERT_EQ(record.size(), 4u);
  EXPECT_EQ(record[0], "argc=2");
  EXPECT_EQ(record[2], "ppid=" + std::to_string(getpid()));
  CCmdLineParse got;
  ASSERT_TRUE(got.Parse(CString(record[1].substr(4).c_str())));
  const CString exe = FromHostPath(fs::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(got.Options(), (std::map<CString, CString>{{u"/appfile", u"\"" + exe + u"\""},
                                                       {u"/ppid", FormatCString(u"\"%d\"", int(getpid()))},
                                                       {u"/verinfo", u"\"from=9.0.5;to=9.0.10\""}}));
  // The options come in name order.
  EXPECT_EQ(record[1].rfind("arg=/appfile=", 0), 0u);
}

TEST_F(ServiceTest, UnforcedUpdateAsksTheUser) {
  for (const char* force : {"0", "", "abc", "-3"}) {
    WriteFile(answers_, std::string("latest.version=9.1\ninstalled.version=9.0.5\nlatest.ForceUpdate=") + force + "\n");
    StartServiceDlls();
    g_boxes.clear();
    g_answer = false;
    int closed = 0;
    // No: the program goes on, and its exit question stays.
    EXPECT_TRUE(CheckForUpdate([&] { ++closed; })) << force;
    ASSERT_EQ(g_boxes.size(), 1u) << force;
    EXPECT_EQ(g_boxes[0], CString(u"本软件已经发布新版本，是否立即更新？"));
    EXPECT_EQ(closed, 0);
    EXPECT_FALSE(IsExitWithoutAsking());
    EXPECT_FALSE(fs::exists(updaterRecord_));
    StopServiceDlls();
  }

  // Yes: the updater starts and the window closes without asking.
  WriteFile(answers_, "latest.version=9.1\ninstalled.version=9.0.5\n");
  StartServiceDlls();
  g_answer = true;
  int closed = 0;
  EXPECT_TRUE(CheckForUpdate([&] { ++closed; }));
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(IsExitWithoutAsking());
  EXPECT_FALSE(WaitForUpdater().empty());
}

TEST_F(ServiceTest, AnUpdaterThatCannotStartIsReported) {
  WriteFile(answers_, "latest.version=9.1\ninstalled.version=9.0.5\n");
  StartServiceDlls();
  // The library stays loaded; the updater is looked for in a folder without it.
  SetProgramDirOverride(CString(dir_.c_str()));
  g_answer = true;
  int closed = 0;
  EXPECT_TRUE(CheckForUpdate([&] { ++closed; }));
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1], CString(u"Error:无法启动更新器,2"));
  // The user chose to update, it could not start: the session stays open.
  EXPECT_EQ(closed, 0);
  EXPECT_FALSE(IsExitWithoutAsking());

  // A forced update still ends the program, after saying why.
  WriteFile(answers_, "latest.version=9.1\ninstalled.version=9.0.5\nlatest.ForceUpdate=1\n");
  g_boxes.clear();
  EXPECT_TRUE(CheckForUpdate([&] { ++closed; }));
  EXPECT_EQ(g_boxes, (std::vector<CString>{u"Error:无法启动更新器,2"}));
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(IsExitWithoutAsking());

  // A file that may not be run.
  WriteFile(dir_ / "ReVo", "#!/bin/sh\n");
  g_boxes.clear();
  EXPECT_TRUE(CheckForUpdate([&] { ++closed; }));
  EXPECT_EQ(g_boxes, (std::vector<CString>{u"Error:无法启动更新器,5"}));
  EXPECT_FALSE(fs::exists(updaterRecord_));
}

}  // namespace
