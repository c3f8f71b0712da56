#include "app/crashdump.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

#include "app/reports.h"
#include "app/runvalues.h"
#include "app/settings.h"
#include "loopback_listener.h"
#include "platform/fileio.h"

namespace {

TEST(CrashDump, NameIsCutTo54CharactersBeforeTheTimeSuffix) {
  struct Case {
    const char16_t* brand;
    bool house, readError;
    const char16_t* id;
    unsigned hour, minute;
    const char16_t* name;
  } cases[] = {
      {u"Tesmur", true, false, u"ABCD-_-", 9, 5, u"6648T6_0_ABCD-_-_0905.dmp"},
      {u"Pelmar", false, true, u"ABCD-_-", 23, 59, u"6648Pelmar6_1_ABCD-_-_2359.dmp"},
      {u"Ostrel", false, false,
       u"BFEBFBFF000906EA-_-WD-WCC4N7XYZ123456789012345678901234567890", 0, 0,
       u"6648Ostrel6_0_BFEBFBFF000906EA-_-WD-WCC4N7XYZ123456789_0000.dmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CString(c.name).ToUtf8());
    CString name = BuildDumpName(c.brand, c.house, c.readError, c.id, c.hour, c.minute);
    EXPECT_EQ(name.ToUtf8(), CString(c.name).ToUtf8());
    EXPECT_LE(name.GetLength(), 63);
  }
  EXPECT_EQ(BuildDumpName(u"Ostrel", false, false, CString(u'X', 63), 1, 2).GetLength(), 63);
  // A serial that looks like a path never leads the dump out of the program folder.
  EXPECT_EQ(BuildDumpName(u"A/B", false, false, u"CPU-_-../..\\x", 1, 2).ToUtf8(), "6648A-B6_0_CPU-_-..-..-x_0102.dmp");
}

bool ReadErrorSeen() { return true; }

class CrashDumpEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel-crash-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }

  // A child process set up as a running program that then faults; returns its wait status.
  int CrashChild(bool exiting) {
    pid_t pid = fork();
    if (pid == 0) {
      rlimit none{0, 0};
      setrlimit(RLIMIT_CORE, &none);
      LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"");
      SetAppMachineId(u"ABCDEF0123456789-_-SER");
      SetImproveJoined(true);
      SetAppExiting(exiting);
      SetReportServerOverride("127.0.0.1", listener_.Port());
      SetProgramDirOverride(CString(dir_.c_str()));
      SetReadErrorQuery(&ReadErrorSeen);
      InstallEventReportHandler();
      InstallCrashFilter();
      // A page that may not be touched: a real fault, which no sanitizer reports first.
      void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      *static_cast<volatile int*>(page) = 1;
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
  int DumpFilesLeft() {
    int n = 0;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d)) n += std::string(e->d_name).find(".dmp") != std::string::npos;
      closedir(d);
    }
    return n;
  }

  LoopbackListener listener_;
  std::string dir_;
};

TEST_F(CrashDumpEndToEnd, ACrashLeavesANamedDumpThatIsUploadedThenDeleted) {
  int status = CrashChild(false);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  auto got = listener_.WaitFor(2);
  ASSERT_EQ(got.size(), 2u);

  const auto& dump = got[0];
  ASSERT_GT(dump.size(), 74u);
  EXPECT_EQ(std::string(dump.begin(), dump.begin() + 4), "RVK ");
  EXPECT_EQ(dump[8] | dump[9] << 8, kReportKindDump);
  EXPECT_EQ(size_t(dump[4] | dump[5] << 8 | dump[6] << 16 | dump[7] << 24), dump.size());
  std::string name(reinterpret_cast<const char*>(dump.data() + 10), strnlen(reinterpret_cast<const char*>(dump.data() + 10), 64));
  EXPECT_TRUE(std::regex_match(name, std::regex("6648T6_1_ABCDEF0123456789-_-SER_[0-2][0-9][0-5][0-9]\\.dmp"))) << name;
  std::string body(dump.begin() + 74, dump.end());
  EXPECT_EQ(body.rfind("KESTREL CRASH DUMP 1\nsignal 11 SIGSEGV", 0), 0u) << body.substr(0, 100);
  EXPECT_NE(body.find("\nmaps\n"), std::string::npos);

  const auto& report = got[1];
  ASSERT_EQ(report.size(), 1104u);
  EXPECT_EQ(report[10], 28);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(report.data() + 79)), "Exit exception --9.0.5");
  EXPECT_EQ(DumpFilesLeft(), 0);
}

TEST_F(CrashDumpEndToEnd, ACrashWhileTheRunEndsLeavesNoDump) {
  int status = CrashChild(true);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(listener_.Count(), 0u);
  EXPECT_EQ(DumpFilesLeft(), 0);
}

}  // namespace
