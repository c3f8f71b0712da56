// The crash handler: fatal signals wake a crash thread that was started beforehand, which
// writes a dump and whatever else the application asks for, while the faulting thread waits
// a bounded time and then lets the process die of its signal.
//
// Why a thread started in advance: a signal handler may only use async-signal-safe calls, so
// it merely records the fault (signal, address, registers, a backtrace taken on the faulting
// thread) in a static record and writes one byte into a pipe. The crash thread, blocked on
// that pipe, does the real work with ordinary calls and answers through a second pipe. When
// it hangs (a lock held by the faulting thread, say) the handler stops waiting after the
// given time.
//
// Dump file format (text, UTF-8, LF line ends), written by WriteCrashDump:
//   KESTREL CRASH DUMP 1
//   signal <number> <name> code <si_code>
//   address 0x<16 hex digits>          the faulting address (si_addr)
//   process <pid> thread <tid>
//   registers <count>
//   <name> 0x<16 hex digits>           one line per register (x86-64 general registers)
//   backtrace <count>
//   0x<16 hex digits>                  one return address per line, innermost first
//   maps
//   <the lines of /proc/self/maps at the time of writing>
//   end
// The maps section is cut (with a line "(cut)") so that the whole file stays below
// kCrashDumpMaxBytes, which keeps every dump small enough to be uploaded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cstring.h"

constexpr size_t kCrashRegisterSlots = 23;
constexpr size_t kCrashFrameSlots = 64;
constexpr size_t kCrashDumpMaxBytes = 0x3C000;

struct CrashInfo {
  int signal;
  int code;
  uint64_t faultAddress;
  int processId;
  int threadId;
  size_t registerCount;
  uint64_t registers[kCrashRegisterSlots];
  size_t frameCount;
  void* frames[kCrashFrameSlots];
};

// Runs on the crash thread once per process, for the first fault.
using CrashCallback = void (*)(const CrashInfo& info);

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT (on an alternate
// stack for the calling thread, so a stack overflow there still reaches it) and starts the
// crash thread. The handler waits at most waitMs for the callback. Only the first call
// installs; later calls change nothing and return the first call's result.
bool InstallCrashHandler(CrashCallback callback, unsigned waitMs = 10000);

// Writes a dump of the fault in the format above; false when the file cannot be written.
bool WriteCrashDump(const CString& path, const CrashInfo& info);

// "SIGSEGV" and the like; "SIG?" for others.
const char* CrashSignalName(int signal);
