// Seams of the guarded heap for tests: a replaceable allocator, memory status and usage total.
#pragma once

#include <cstdint>

struct HeapMemoryStatus {
  bool available;       // the status query exists
  uint32_t length;      // the record length after the query; a retry needs 64
  uint64_t totalPhys;   // bytes
  uint64_t availPhys;   // bytes
};

using HeapAllocFn = void* (*)(uint64_t bytes);
using HeapFreeFn = void (*)(void* p);
using HeapStatusFn = HeapMemoryStatus (*)();

// Null restores the defaults (malloc/free, /proc/meminfo).
void SetHeapAllocator(HeapAllocFn alloc, HeapFreeFn free);
void SetHeapMemoryStatusProvider(HeapStatusFn fn);
uint64_t GetHeapUsageTotal();
void SetHeapUsageTotal(uint64_t total);
// Forgets the highest reported GiB and the tags already reported.
void ResetHeapReportsForTest();
// Adds a block length to the usage total, as an allocation does (drives the high-use reports).
void AddMemUseForTest(uint64_t blockLength, unsigned callerTag, uint32_t size);
// The retry rule of a failed allocation of a block of n bytes.
bool HeapRetryOffered(uint64_t blockLength);
