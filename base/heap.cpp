#include "base/heap.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/heap_testing.h"
#include "base/log.h"
#include "base/sizetext.h"
#include "platform/hooks.h"

namespace {

// The process keeps these for its whole run; they are never destroyed, so a detached thread
// may still allocate while the process exits.
struct HeapUsage {
  std::mutex lock;               // the heap lock
  uint64_t total = 0;            // block lengths (size + 9) of all live blocks
  uint32_t highestReportedGiB = 0;
};
HeapUsage& Usage() {
  static HeapUsage& u = *new HeapUsage;
  return u;
}

struct ReportedFaultTags {
  std::mutex lock;  // the fault-log lock
  std::vector<uint32_t> tags;
};
ReportedFaultTags& FaultTags() {
  static ReportedFaultTags& f = *new ReportedFaultTags;
  return f;
}

// calloc, not malloc and memset: the system hands out large blocks as zero pages that cost
// nothing until they are first written, so a 64 MiB block ring or a 96 MiB carving window is
// paid for only as far as a scan really fills it. Large blocks also ask for huge pages: the
// first write of every page is a fault, and one 2 MiB fault costs far less than 512 small ones.
constexpr uint64_t kHugePageBytes = uint64_t(2) << 20;
void* DefaultAlloc(uint64_t bytes) {
  void* p = std::calloc(1, size_t(bytes));
  if (p != nullptr && bytes >= 2 * kHugePageBytes) {
    const uintptr_t first = (reinterpret_cast<uintptr_t>(p) + kHugePageBytes - 1) & ~uintptr_t(kHugePageBytes - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~uintptr_t(kHugePageBytes - 1);
    if (end > first) (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
  return p;
}
void DefaultFree(void* p) { std::free(p); }

HeapMemoryStatus DefaultMemoryStatus() {
  HeapMemoryStatus st{false, 0, 0, 0};
  FILE* f = fopen("/proc/meminfo", "re");
  if (!f) return st;
  char line[256];
  unsigned long long kb;
  bool haveTotal = false, haveAvail = false;
  while (fgets(line, sizeof line, f)) {
    if (sscanf(line, "MemTotal: %llu kB", &kb) == 1) st.totalPhys = kb * 1024, haveTotal = true;
    else if (sscanf(line, "MemAvailable: %llu kB", &kb) == 1) st.availPhys = kb * 1024, haveAvail = true;
  }
  fclose(f);
  st.available = haveTotal && haveAvail;
  st.length = 64;
  return st;
}

std::atomic<HeapAllocFn> g_alloc{&DefaultAlloc};
std::atomic<HeapFreeFn> g_free{&DefaultFree};
std::atomic<HeapStatusFn> g_status{&DefaultMemoryStatus};
std::atomic<PartSummaryHandler> g_partSummary{nullptr};

GuardedBlock* HeaderOf(const void* data) {
  return reinterpret_cast<GuardedBlock*>(static_cast<uint8_t*>(const_cast<void*>(data)) - sizeof(GuardedBlock));
}

uint16_t ReadHeadMark(const void* data) {
  uint16_t mark;
  memcpy(&mark, static_cast<const uint8_t*>(data) - sizeof(GuardedBlock), sizeof mark);
  return mark;
}

uint32_t ReadSize(const void* data) {
  uint32_t size;
  memcpy(&size, static_cast<const uint8_t*>(data) - 4, sizeof size);
  return size;
}

uint16_t ReadTag(const void* data) {
  uint16_t tag;
  memcpy(&tag, static_cast<const uint8_t*>(data) - 6, sizeof tag);
  return tag;
}

CString PartSummary() {
  PartSummaryHandler h = g_partSummary.load();
  return h ? h() : CString();
}

// Adds a block length to the total and sends the high-use report when the total first reaches
// a new whole GiB from 8 GiB up.
void AddMemUse(uint64_t blockLength, unsigned callerTag, uint32_t size) {
  CString text;
  {
    HeapUsage& u = Usage();
    std::lock_guard<std::mutex> g(u.lock);
    u.total += blockLength;
    uint64_t gib = u.total >> 30;
    if (gib >= 8 && gib > u.highestReportedGiB) {
      text.Format(u"Mem big: %u(MB)", unsigned(u.total >> 20));
      if (gib <= 10) {
        text += u"   ";
        text += PartSummary();
      }
      text.AppendFormat(u"   Line: %u  Size: %s  ", callerTag & 0xFFFF, FormatByteSize(size));
      u.highestReportedGiB = uint32_t(gib);
    }
  }
  if (!text.IsEmpty()) SendEventReport(20, text, true);
}

void LogAllocFailed(uint64_t blockLength, unsigned callerTag) {
  CString text;
  {
    HeapUsage& u = Usage();
    std::lock_guard<std::mutex> g(u.lock);
    text = CString(u"Use: ") + FormatByteSize(u.total) + u"  Alloc: " + FormatByteSize(blockLength) + u"  ";
  }
  HeapMemoryStatus st = g_status.load()();
  if (st.available && st.length == 64) {
    CString head;
    head.Format(u"line: %u  AllMem: %u  Free: %u  ", callerTag & 0xFFFF, unsigned(st.totalPhys >> 20),
                unsigned(st.availPhys >> 20));
    text = head + text;
  }
  WriteLog(text);
  SendEventReport(19, text, true);
}

[[noreturn]] void FatalAllocStop(uint64_t blockLength, unsigned callerTag) {
  LogAllocFailed(blockLength, callerTag);
  ExitOnException(1, u"Alloc mem failed!");
}

}  // namespace

bool HeapRetryOffered(uint64_t n) {
  HeapMemoryStatus st = g_status.load()();
  if (!st.available || st.length != 64) return false;
  uint64_t usage;
  {
    HeapUsage& u = Usage();
    std::lock_guard<std::mutex> g(u.lock);
    usage = u.total;
  }
  const uint64_t totalMiB = st.totalPhys >> 20, availMiB = st.availPhys >> 20, usageMiB = usage >> 20;
  if (totalMiB <= 7168) return false;
  if (2 * availMiB >= totalMiB) return false;
  return (usageMiB < 2048 && n < 0x2000000) || (usageMiB < 1024 && n < 0x8000000);
}

void* AllocMem(uint64_t size, unsigned callerTag) {
  // The header keeps the size in 32 bits, and the whole block length must fit them too: a
  // larger request is a failed allocation, never a truncated header.
  const bool fits = size <= uint64_t(UINT32_MAX) - kHeapBlockExtra;
  const uint64_t n = fits ? size + kHeapBlockExtra : size;
  for (;;) {
    if (fits) {
      const HeapAllocFn alloc = g_alloc.load();
      if (auto* p = static_cast<uint8_t*>(alloc(n))) {
        if (alloc != &DefaultAlloc) memset(p, 0, size_t(n));
        GuardedBlock h{kHeapHeadMark, uint16_t(callerTag), uint32_t(size)};
        memcpy(p, &h, sizeof h);
        p[sizeof h + size] = kHeapEndMark;
        AddMemUse(n, callerTag, uint32_t(size));
        return p + sizeof h;
      }
    }
    CString msg = LookupLangText(u"AllocMemFailed") + u": " + FormatByteSize(n) + u"  ";
    // No lock of the heap is held while the prompt is shown.
    if (fits && HeapRetryOffered(n)) {
      msg += LookupLangText(u"CloseOtherProgram");
      if (ShowMessageBox(msg, LookupLangText(u"Retry"), LookupLangText(u"Exit"))) continue;
    } else {
      ShowMessageBox(msg, CString(), CString());
    }
    FatalAllocStop(n, callerTag);
  }
}

void FreeMem(void* data) {
  if (!data) return;
  if (ReadHeadMark(data) != kHeapHeadMark) {
    // The header cannot be trusted, so the block is left alone.
    LogMemError(16, 999);
    return;
  }
  const uint32_t size = ReadSize(data);
  void* raw = HeaderOf(data);
  if (static_cast<const uint8_t*>(data)[size] != kHeapEndMark) {
    LogMemError(17, ReadTag(data));
    g_free.load()(raw);
    return;
  }
  CString text;
  {
    HeapUsage& u = Usage();
    std::lock_guard<std::mutex> g(u.lock);
    if (u.total >= uint64_t(size) + kHeapBlockExtra) {
      u.total -= uint64_t(size) + kHeapBlockExtra;
    } else {
      text.Format(u"Mem size: %u    free size: %u", unsigned(u.total), size);
    }
  }
  if (!text.IsEmpty()) SendEventReport(19, text, true);
  g_free.load()(raw);
}

void* CopyToMem(void* block, const void* src, uint64_t length, unsigned callerTag) {
  if (!block || !src || length == 0) return nullptr;
  if (ReadHeadMark(block) != kHeapHeadMark) {
    LogMemError(16, callerTag);
    return nullptr;
  }
  const uint32_t size = ReadSize(block);
  if (length > size) {
    LogMemError(18, callerTag);
    length = size;
  }
  memmove(block, src, size_t(length));
  return block;
}

void* CopyToMemAt(void* block, uint32_t offset, const void* src, uint64_t length, unsigned callerTag) {
  if (!block) return nullptr;
  if (ReadHeadMark(block) != kHeapHeadMark) {
    LogMemError(16, callerTag);
    return nullptr;
  }
  const uint32_t size = ReadSize(block);
  uint8_t* dst = static_cast<uint8_t*>(block) + offset;
  if (uint64_t(offset) + length > size) {
    LogMemError(18, callerTag);
    if (offset >= size) return nullptr;
    length = size - offset;
  }
  if (src && length) memmove(dst, src, size_t(length));
  return dst;
}

void LogMemError(int kind, unsigned callerTag) {
  ReportedFaultTags& f = FaultTags();
  CString text;
  {
    std::lock_guard<std::mutex> g(f.lock);
    for (uint32_t t : f.tags) {
      if (t == callerTag) return;
    }
    f.tags.push_back(callerTag);
  }
  switch (kind) {
    case 16: text.Format(u"Mem begin err: %u  ", callerTag); break;
    case 17: text.Format(u"Mem end err: %u  ", callerTag); break;
    case 18: text.Format(u"Mem oper: %u  ", callerTag); break;
    default: text.Format(u"Mem xxx: %u  ", callerTag); break;
  }
  // The report is sent after the fault-log lock is let go: the report allocates its packet,
  // and an allocation that fails must not show its prompt under this lock.
  SendEventReport(unsigned(kind), text, true);
  WriteLog(text);
}

uint32_t GetMemSize(const void* data) { return data ? ReadSize(data) : 0; }

void SetPartSummaryHandler(PartSummaryHandler h) { g_partSummary = h; }

void SetHeapAllocator(HeapAllocFn alloc, HeapFreeFn free) {
  g_alloc = alloc ? alloc : &DefaultAlloc;
  g_free = free ? free : &DefaultFree;
}

void SetHeapMemoryStatusProvider(HeapStatusFn fn) { g_status = fn ? fn : &DefaultMemoryStatus; }

uint64_t GetHeapUsageTotal() {
  std::lock_guard<std::mutex> g(Usage().lock);
  return Usage().total;
}

void SetHeapUsageTotal(uint64_t total) {
  std::lock_guard<std::mutex> g(Usage().lock);
  Usage().total = total;
}

void ResetHeapReportsForTest() {
  {
    std::lock_guard<std::mutex> g(Usage().lock);
    Usage().highestReportedGiB = 0;
  }
  std::lock_guard<std::mutex> g(FaultTags().lock);
  FaultTags().tags.clear();
}

void AddMemUseForTest(uint64_t blockLength, unsigned callerTag, uint32_t size) {
  AddMemUse(blockLength, callerTag, size);
}
