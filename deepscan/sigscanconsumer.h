// The first half of the deep scan on its own: a consumer of the block ring that tests every
// sector of every block with the signature matcher and hands each find to a sink. It keeps
// nothing itself. kscan and the benchmarks drive it, and a scan whose real consumer is not
// available uses it so that the scan still ends.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"

// Called on the consumer thread for every sector that starts a known type or kind, in LBA
// order within a block and in ring order between blocks.
using SignatureHitSink = void (*)(void* context, uint64_t lba, uint32_t type);
// Set before the scan starts; null: finds are dropped.
void SetSignatureHitSink(SignatureHitSink sink, void* context);

// Blocks handled and blocks that came through the ring marked failed, since the last start.
struct SignatureScanCounts {
  uint64_t blocks;
  uint64_t failedBlocks;
  uint64_t hits;
};
SignatureScanCounts GetSignatureScanCounts();

// Runs the sector matcher over one block's data; the sink hears every find.
uint64_t MatchBlockSectors(const uint8_t* data, uint64_t firstLba, SignatureHitSink sink, void* context);

// The consumer's thread procedure; param is the std::atomic<uint32_t>* of the scan state. It
// ends on a stop (2), or when the input is complete (3) and the ring is empty, and then closes
// the scan with EndDeepScan.
UINT SignatureScanThread(LPVOID param);
