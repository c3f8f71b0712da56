#include "deepscan/sigscanconsumer.h"

#include "deepscan/blockqueue.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/sectorsignature.h"
#include "scanbase/scanrun.h"

namespace {

std::atomic<SignatureHitSink> g_sink{nullptr};
std::atomic<void*> g_sinkContext{nullptr};
std::atomic<uint64_t> g_blocks{0}, g_failed{0}, g_hits{0};

}  // namespace

void SetSignatureHitSink(SignatureHitSink sink, void* context) {
  g_sinkContext.store(context);
  g_sink.store(sink);
}

SignatureScanCounts GetSignatureScanCounts() { return {g_blocks.load(), g_failed.load(), g_hits.load()}; }

uint64_t MatchBlockSectors(const uint8_t* data, uint64_t firstLba, SignatureHitSink sink, void* context) {
  uint64_t hits = 0;
  for (uint32_t i = 0; i < kScanBlockSectors; ++i) {
    uint32_t type = 0;
    if (!MatchSectorSignature(data + size_t(i) * kSectorBytes, type, firstLba + i)) continue;
    ++hits;
    if (sink != nullptr) sink(context, firstLba + i, type);
  }
  return hits;
}

UINT SignatureScanThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"SignatureScanThread");
  g_blocks.store(0);
  g_failed.store(0);
  g_hits.store(0);
  SignatureHitSink sink = g_sink.load();
  void* context = g_sinkContext.load();
  ConsumeScanBlocks(state, [&](const uint8_t* block) {
    const uint64_t lba = ScanBlockLba(block);
    if (ScanBlockReadResult(block) != 0) {
      g_hits.fetch_add(MatchBlockSectors(block, lba, sink, context));
    } else {
      g_failed.fetch_add(1);
    }
    g_blocks.fetch_add(1);
    SetBlockState(lba / kScanBlockSectors, kBlockHandled);
  });
  EndDeepScan();
  ReleaseScanAllocMap();
  OnThreadEnd(u"SignatureScanThread");
  return 0;
}
