#include "platform/crashhandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/fileio.h"

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Process-lifetime state shared by the handler and the crash thread. Plain statics: the
// handler must not construct anything.
int g_wakePipe[2] = {-1, -1};
int g_replyPipe[2] = {-1, -1};
unsigned g_waitMs = 10000;
CrashCallback g_callback = nullptr;
std::atomic<int> g_crashThreadId{0};
std::atomic<int> g_faultingThreadId{0};
CrashInfo g_info;
alignas(16) char g_altStack[64 * 1024];

int CurrentTid() { return int(syscall(SYS_gettid)); }

int64_t MonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Lets the process die of the signal it got (so the parent sees the real cause).
[[noreturn]] void DieOf(int sig) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void SleepMs(int64_t ms) {
  int64_t end = MonotonicMs() + ms;
  for (int64_t left = ms; left > 0; left = end - MonotonicMs()) poll(nullptr, 0, int(left));
}

void RecordRegisters(CrashInfo& info, void* context) {
  info.registerCount = 0;
#if defined(__x86_64__)
  if (!context) return;
  const ucontext_t* uc = static_cast<const ucontext_t*>(context);
  static_assert(NGREG == kCrashRegisterSlots);
  for (size_t i = 0; i < kCrashRegisterSlots; ++i) info.registers[i] = uint64_t(uc->uc_mcontext.gregs[i]);
  info.registerCount = kCrashRegisterSlots;
#else
  (void)context;
#endif
}

void CrashSignalHandler(int sig, siginfo_t* si, void* context) {
  const int saved = errno;
  const int tid = CurrentTid();
  int expected = 0;
  if (!g_faultingThreadId.compare_exchange_strong(expected, tid)) {
    // A fault in the crash thread itself, or again on the faulting thread: nobody is left to
    // finish the dump. Another thread faulting meanwhile waits for the first to end things.
    if (tid == g_crashThreadId.load() || expected == tid) DieOf(sig);
    SleepMs(int64_t(g_waitMs) + 1000);
    DieOf(sig);
  }
  g_info.signal = sig;
  g_info.code = si ? si->si_code : 0;
  g_info.faultAddress = si ? uint64_t(reinterpret_cast<uintptr_t>(si->si_addr)) : 0;
  g_info.processId = int(getpid());
  g_info.threadId = tid;
  RecordRegisters(g_info, context);
  // backtrace() is safe here once its unwinder was loaded, which the installer made sure of.
  int n = backtrace(g_info.frames, int(kCrashFrameSlots));
  g_info.frameCount = n > 0 ? size_t(n) : 0;

  char byte = 1;
  bool woke = false;
  for (;;) {
    ssize_t w = write(g_wakePipe[1], &byte, 1);
    if (w == 1) woke = true;
    if (w == 1 || errno != EINTR) break;
  }
  if (woke) {
    const int64_t end = MonotonicMs() + g_waitMs;
    pollfd p{g_replyPipe[0], POLLIN, 0};
    for (int64_t left = g_waitMs; left > 0; left = end - MonotonicMs()) {
      int r = poll(&p, 1, int(left));
      if (r != 0 && !(r < 0 && errno == EINTR)) break;
    }
  }
  errno = saved;
  DieOf(sig);
}

void CrashThreadMain() {
  g_crashThreadId = CurrentTid();
  for (;;) {
    char byte;
    ssize_t r = read(g_wakePipe[0], &byte, 1);
    if (r == 1) break;
    if (r < 0 && errno == EINTR) continue;
    return;  // the pipe is gone; nothing will ever wake us
  }
  if (g_callback) g_callback(g_info);
  char done = 1;
  while (write(g_replyPipe[1], &done, 1) < 0 && errno == EINTR) {
  }
}

bool InstallOnce(CrashCallback callback, unsigned waitMs) {
  if (pipe2(g_wakePipe, O_CLOEXEC) != 0) return false;
  if (pipe2(g_replyPipe, O_CLOEXEC) != 0) return false;
  g_callback = callback;
  g_waitMs = waitMs;
  // The first backtrace() loads the unwinder, which allocates; do it now, not in the handler.
  void* warm[4];
  (void)backtrace(warm, 4);

  stack_t ss{};
  ss.ss_sp = g_altStack;
  ss.ss_size = sizeof(g_altStack);
  sigaltstack(&ss, nullptr);

  std::thread(CrashThreadMain).detach();
  for (int i = 0; i < 2000 && g_crashThreadId.load() == 0; ++i) usleep(1000);

  struct sigaction sa {};
  sa.sa_sigaction = CrashSignalHandler;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kFatalSignals) sigaction(sig, &sa, nullptr);
  return true;
}

std::string Hex16(uint64_t v) {
  char buf[24];
  snprintf(buf, sizeof(buf), "0x%016llx", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

bool InstallCrashHandler(CrashCallback callback, unsigned waitMs) {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [&] { installed = InstallOnce(callback, waitMs); });
  return installed;
}

const char* CrashSignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "SIG?";
  }
}

bool WriteCrashDump(const CString& path, const CrashInfo& info) {
#if defined(__x86_64__)
  static const char* const kRegNames[kCrashRegisterSlots] = {
      "r8",  "r9",  "r10", "r11", "r12", "r13", "r14",    "r15",    "rdi",    "rsi",    "rbp",    "rbx",
      "rdx", "rax", "rcx", "rsp", "rip", "eflags", "csgsfs", "err", "trapno", "oldmask", "cr2"};
#endif
  std::string text = "KESTREL CRASH DUMP 1\n";
  text += "signal " + std::to_string(info.signal) + " " + CrashSignalName(info.signal) + " code " +
          std::to_string(info.code) + "\n";
  text += "address " + Hex16(info.faultAddress) + "\n";
  text += "process " + std::to_string(info.processId) + " thread " + std::to_string(info.threadId) + "\n";
  const size_t regs = info.registerCount <= kCrashRegisterSlots ? info.registerCount : 0;
  text += "registers " + std::to_string(regs) + "\n";
  for (size_t i = 0; i < regs; ++i) {
#if defined(__x86_64__)
    text += std::string(kRegNames[i]) + " " + Hex16(info.registers[i]) + "\n";
#endif
  }
  const size_t frames = info.frameCount <= kCrashFrameSlots ? info.frameCount : 0;
  text += "backtrace " + std::to_string(frames) + "\n";
  for (size_t i = 0; i < frames; ++i) text += Hex16(uint64_t(reinterpret_cast<uintptr_t>(info.frames[i]))) + "\n";
  text += "maps\n";
  const std::string tail = "end\n";
  const std::string cut = "(cut)\n";
  if (FILE* f = fopen("/proc/self/maps", "re")) {
    char line[1024];
    while (fgets(line, sizeof(line), f)) {
      if (text.size() + strlen(line) + cut.size() + tail.size() > kCrashDumpMaxBytes) {
        text += cut;
        break;
      }
      text += line;
    }
    fclose(f);
  }
  text += tail;

  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone)) return false;
  bool ok = file.Write(text.data(), UINT(text.size()));
  ok = file.Flush() && ok;
  file.Close();
  return ok;
}
