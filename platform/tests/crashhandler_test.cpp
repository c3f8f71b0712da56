#include "platform/crashhandler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string g_dumpPath;
// A page that may not be touched: writing to it is a real fault that no sanitizer reports
// first. Mapped before the fork, so the parent knows the faulting address.
void* g_faultPage = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);

void WriteDumpCallback(const CrashInfo& info) { WriteCrashDump(CString(g_dumpPath.c_str()), info); }
void HangingCallback(const CrashInfo&) {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// Runs body in a child process and returns its wait status.
template <typename F>
int InChild(F body) {
  pid_t pid = fork();
  if (pid == 0) {
    // No core files from the crashes on purpose.
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void CrashBy(int sig) {
  if (sig == SIGSEGV) {
    *static_cast<volatile int*>(g_faultPage) = 1;
  } else if (sig == SIGABRT) {
    abort();
  } else {
    raise(sig);
  }
}

TEST(CrashHandler, FatalSignalsWriteADumpAndTheProcessDiesOfThem) {
  for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE}) {
    SCOPED_TRACE(CrashSignalName(sig));
    g_dumpPath = "/tmp/kestrel-crash-" + std::to_string(getpid()) + "-" + std::to_string(sig) + ".dmp";
    unlink(g_dumpPath.c_str());
    int status = InChild([sig] {
      InstallCrashHandler(&WriteDumpCallback, 10000);
      CrashBy(sig);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    std::string dump = ReadAll(g_dumpPath);
    unlink(g_dumpPath.c_str());
    EXPECT_EQ(dump.rfind("KESTREL CRASH DUMP 1\nsignal " + std::to_string(sig) + " " + CrashSignalName(sig), 0), 0u)
        << dump.substr(0, 200);
    if (sig == SIGSEGV) {
      char line[64];
      snprintf(line, sizeof(line), "address 0x%016llx\n",
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(g_faultPage)));
      EXPECT_NE(dump.find(line), std::string::npos);
    }
#if defined(__x86_64__)
    EXPECT_NE(dump.find("\nrip 0x"), std::string::npos);
#endif
    EXPECT_NE(dump.find("\nbacktrace "), std::string::npos);
    EXPECT_NE(dump.find("\nmaps\n"), std::string::npos);
    EXPECT_EQ(dump.substr(dump.size() - 4), "end\n");
    EXPECT_LT(dump.size(), kCrashDumpMaxBytes);
  }
}

TEST(CrashHandler, AHangingCrashThreadIsGivenUpAfterTheWait) {
  auto start = std::chrono::steady_clock::now();
  int status = InChild([] {
    InstallCrashHandler(&HangingCallback, 300);
    raise(SIGSEGV);
  });
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  EXPECT_GE(ms, 290);
  EXPECT_LT(ms, 5000);
}

}  // namespace
