// The thread of a deep scan: it prepares the scan, starts exactly one consumer of the block
// ring, chosen by the edition, and then becomes the reader itself.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"

// The consumers, in the order in which they are chosen.
enum class ScanConsumerKind {
  kVideoFragments,  // MP4/MOV fragment mode
  kMtsFragments,    // MTS fragment mode
  kDiskImage,       // the disk-image writer ("Version" is "VuzuDazuv")
  kCarving,         // normal carving
};
ScanConsumerKind ChooseScanConsumer();

// Every consumer is a thread procedure whose parameter is the address of the scan state word.
// Each registers itself; a kind without a registered procedure falls back to the
// signature-only consumer, which reads and matches every block and keeps nothing, so a scan
// always ends.
void SetScanConsumer(ScanConsumerKind kind, AFX_THREADPROC proc);
AFX_THREADPROC GetScanConsumer(ScanConsumerKind kind);

// Parses the device's partitions before the reading when files are shown while scanning. Set
// by the code that shows them; none: nothing is parsed.
using ScanStateProc = void (*)(std::atomic<uint32_t>* state);
void SetAddRealPartInfoHook(ScanStateProc proc);

// The thread procedure of a scan; param is the std::atomic<uint32_t>* of the scan state.
UINT DiskScanAndViewThread(LPVOID param);
