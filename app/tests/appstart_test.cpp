#include "app/appstart.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/edition.h"
#include "app/reports.h"
#include "app/runvalues.h"
#include "app/settings.h"
#include "cstring_print.h"
#include "loopback_listener.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/registry.h"

namespace {

const char16_t kVerCfg[] =
    u"Default-Company: Maker\r\nDefault-LocalName: Tool\r\nDefault-SingleRunStr: KestrelStartTest\r\n"
    u"Default-NormalName: Kestrel Tool\r\n";
const char16_t kLang[] = u"SoftRunning: %s is already running.\r\n";

std::vector<CString> g_boxes;
void RecordBox(const CString& text) { g_boxes.push_back(text); }

struct Report {
  unsigned code;
  CString text;
  bool queued;
};
std::vector<Report> g_reports;
void RecordReport(unsigned code, const CString& text, bool queued) { g_reports.push_back({code, text, queued}); }

std::atomic<int> g_pauseCalls{0};
bool PauseRunningScan() {
  ++g_pauseCalls;
  return true;
}
bool NothingToPause() {
  ++g_pauseCalls;
  return false;
}

std::string PacketText(const std::vector<uint8_t>& p) {
  return p.size() > 79 ? std::string(reinterpret_cast<const char*>(p.data() + 79)) : std::string();
}

class AppStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel-appstart-XXXXXX";
    root_ = mkdtemp(tmpl);
    // Lock files go here too, so runs of the suite never meet each other's instances.
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    SetRegistryRootOverride(CString(root_.c_str()));
    LoadSettingsForTest(u"Tesmur", u"Pro", kVerCfg, kLang);
    ASSERT_EQ(RegSetupCreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker\\Tool"), ERROR_SUCCESS);
    g_boxes.clear();
    g_reports.clear();
    g_pauseCalls = 0;
    SetPlainMessageBoxHandler(&RecordBox);
    SetEventReportHandler(&RecordReport);
    SetAppExiting(false);
  }
  void TearDown() override {
    SetPlainMessageBoxHandler(nullptr);
    SetEventReportHandler(nullptr);
    SetPauseScanForExitHandler(nullptr);
    SetExitPauseWaitForTest(300);
    SetRegistryRootOverride(CString());
    SetAppExiting(false);
    SetRunIdText(CString());
    unsetenv("XDG_RUNTIME_DIR");
    ASSERT_EQ(system(("rm -rf '" + root_ + "'").c_str()), 0);
  }
  std::string root_;
};

TEST_F(AppStartTest, ASecondInstanceOfTheSameEditionIsToldAndTheFirstKeepsRunning) {
  NamedMutex first, second;
  ASSERT_FALSE(CheckSingleInstance(first));
  EXPECT_TRUE(first.Held());
  EXPECT_TRUE(g_boxes.empty());

  EXPECT_TRUE(CheckSingleInstance(second));
  EXPECT_FALSE(second.Held());
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], CString(u"Kestrel Tool is already running."));
  EXPECT_TRUE(first.Held());

  // Another version, or another edition's name, runs beside it.
  LoadSettingsForTest(u"Tesmur", u"Home", kVerCfg, kLang);
  NamedMutex otherVersion;
  EXPECT_FALSE(CheckSingleInstance(otherVersion));
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-SingleRunStr: Other\r\n", kLang);
  NamedMutex otherEdition;
  EXPECT_FALSE(CheckSingleInstance(otherEdition));
  EXPECT_EQ(g_boxes.size(), 1u);

  // Once the first lets go, the next start runs.
  first.Close();
  LoadSettingsForTest(u"Tesmur", u"Pro", kVerCfg, kLang);
  NamedMutex third;
  EXPECT_FALSE(CheckSingleInstance(third));
}

TEST_F(AppStartTest, TheLockOfAnInstanceThatDiedIsFreeAtOnce) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    NamedMutex m;
    const bool taken = m.Create(SingleInstanceName()) == NamedMutex::kTaken;
    char c = taken ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    sleep(30);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  NamedMutex whileAlive;
  EXPECT_EQ(whileAlive.Create(SingleInstanceName()), NamedMutex::kHeldElsewhere);
  // Killed without any chance to clean up: the kernel drops the lock with the process.
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  NamedMutex after;
  EXPECT_EQ(after.Create(SingleInstanceName()), NamedMutex::kTaken);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(AppStartTest, LockFileNamesStayInTheRuntimeFolder) {
  EXPECT_EQ(NamedMutexPath(u"../../etc/x y-1.0"), root_ + "/.._.._etc_x_y-1.0.lock");
  setenv("XDG_RUNTIME_DIR", (root_ + "/missing").c_str(), 1);
  NamedMutex m;
  EXPECT_EQ(m.Create(u"a"), NamedMutex::kFailed);
  // Without a lock file the program runs rather than claiming another instance.
  EXPECT_FALSE(CheckSingleInstance(m));
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(AppStartTest, EndOfRunReportsAtOnceResetsRunInfoAndPausesARunningScan) {
  ASSERT_TRUE(WriteRegValue(u"RunInfo", u"3"));
  SetExitPauseWaitForTest(0);
  SetPauseScanForExitHandler(&PauseRunningScan);
  ReportAppExit(u"ID: 17 ");
  EXPECT_TRUE(IsAppExiting());
  CString runInfo;
  ASSERT_TRUE(ReadRegValue(u"RunInfo", runInfo));
  EXPECT_EQ(runInfo, CString(u"0"));
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 1u);
  EXPECT_EQ(g_reports[0].text, CString(u"ID: 17 "));
  EXPECT_FALSE(g_reports[0].queued);
  EXPECT_EQ(g_pauseCalls.load(), 1);
}

TEST_F(AppStartTest, EndOfRunWaitsOnlyWhenItPausedAScan) {
  SetExitPauseWaitForTest(2000);
  SetPauseScanForExitHandler(&NothingToPause);
  const DWORD start = GetTickCount();
  ReportAppExit(u"x");
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(g_pauseCalls.load(), 1);

  SetExitPauseWaitForTest(300);
  SetPauseScanForExitHandler(&PauseRunningScan);
  const DWORD start2 = GetTickCount();
  ReportAppExit(u"x");
  EXPECT_GE(GetTickCount() - start2, 290u);
}

TEST_F(AppStartTest, TheStartReportNamesTheRunAndKeepsItsIdentifier) {
  SetAppOsText(u"6.1.64");
  ReportStartInfo();
  const CString id = GetRunIdText();
  ASSERT_GE(id.GetLength(), 6);
  EXPECT_TRUE(id.Left(4) == CString(u"ID: "));
  EXPECT_EQ(id[id.GetLength() - 1], u' ');
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 0u);
  EXPECT_TRUE(g_reports[0].queued);
  const CString expectedHead = CString(u"1 ") + GetEditionTag() + u" ver: 9.0.5   Svn: 6648   OS: 6.1.64   " + id;
  EXPECT_EQ(g_reports[0].text.Left(expectedHead.GetLength()), expectedHead);
  EXPECT_EQ(g_reports[0].text.Mid(expectedHead.GetLength()).Left(11), CString(u"   AllMem: "));
  // The run number counts on.
  ReportStartInfo();
  EXPECT_TRUE(g_reports[1].text.Left(2) == CString(u"2 "));
}

TEST_F(AppStartTest, TheInterfaceLanguageIsChineseOnlyForZh) {
  struct Case {
    const char* all;
    const char* messages;
    const char* lang;
    bool zh;
  } cases[] = {
      {nullptr, nullptr, "zh_CN.UTF-8", true}, {nullptr, nullptr, "zh_TW", true}, {nullptr, nullptr, "en_US", false},
      {nullptr, "zh_CN", "en_US", true},       {"en_GB", "zh_CN", "zh_CN", false}, {nullptr, nullptr, nullptr, false},
  };
  for (const Case& c : cases) {
    const auto put = [](const char* name, const char* v) { v ? setenv(name, v, 1) : unsetenv(name); };
    put("LC_ALL", c.all);
    put("LC_MESSAGES", c.messages);
    put("LANG", c.lang);
    EXPECT_EQ(IsChineseUiLanguage(), c.zh) << (c.lang ? c.lang : "-");
  }
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
}

class AppStartDeathTest : public AppStartTest {};

TEST_F(AppStartDeathTest, AFatalStopFromAWorkerSendsItsReportAndEndsWithItsCode) {
  LoopbackListener listener;
  SetEventReportHandler(nullptr);
  SetAppMachineId(u"0123456789ABCDEF-_-WD");
  SetReportServerOverride("127.0.0.1", listener.Port());
  ReportSentOnce = true;  // the start report of this run reached the server
  EXPECT_EXIT(
      {
        InstallEventReportHandler();
        InstallFatalStopReport();
        SetRunIdText(u"ID: 4711 ");
        std::thread([] { ExitOnException(7, u"Dev size failed!"); }).join();
      },
      ::testing::ExitedWithCode(7), "Exception: Dev size failed!");
  const auto got = listener.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(PacketText(got[0]), "ID: 4711 Exception: Dev size failed! --9.0.5");
  SetReportServerOverride("", 0);
  SetAppMachineId(CString());
  ReportSentOnce = false;
}

TEST_F(AppStartDeathTest, ABrokenInstallationIsShownAndStopsBeforeAnyWindow) {
  SetProgramDirOverride(CString(root_.c_str()));  // no Base.dat, no Recovery.dat
  setenv("LANG", "en_US.UTF-8", 1);
  SetPlainMessageBoxHandler(nullptr);  // the box text goes to stderr
  EXPECT_EXIT(InitAppEnv(), ::testing::ExitedWithCode(0),
              "Get software configuration failed. Please setup software again!(.|\n)*Exception: Get config "
              "failed! Ver: 9.0.5 Svn: 6648 OS: ");
  SetProgramDirOverride(CString());
  unsetenv("LANG");
}

}  // namespace
