// The task allocator, the current time and the interface ids of the COM shapes.
#include "platform/comobj.h"

#include <atomic>
#include <cstdlib>

#include "platform/wintime.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {
std::atomic<int> g_failures{0};
}

void* CoTaskMemAlloc(size_t bytes) {
  int left = g_failures.load();
  while (left > 0)
    if (g_failures.compare_exchange_weak(left, left - 1)) return nullptr;
  return std::malloc(bytes ? bytes : 1);
}

void CoTaskMemFree(void* block) { std::free(block); }

void SetCoTaskMemFailuresForTest(int count) { g_failures.store(count); }

HRESULT CoFileTimeNow(FILETIME* now) {
  if (!now) return E_POINTER;
  GetSystemTimeAsFileTime(now);
  return S_OK;
}
