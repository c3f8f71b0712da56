// The consumer of the MTS fragment mode: instead of carving files by their signatures, one
// packet tracker walks the whole input and records every stretch of MTS packets whose
// continuity counters run unbroken as a fragment hit (kind 207 when it began at a stream start,
// 208 otherwise; the detail is the fragment's MtsFragmentInfo). When the input has been read to
// its end the same thread chains the fragments into videos and publishes them.
#pragma once

#include <cstdint>

#include "platform/thread.h"
#include "scanbase/scanprogress.h"

// The scan's consumer when the edition's MTS fragment mode is on. The program calls it once at
// start; kscan and tests too.
void InstallMtsScanConsumer();

// The thread procedure; param is the std::atomic<uint32_t>* of the scan state.
UINT MtsFragmentScanHandThread(LPVOID param);

// Starts a scan's tracking afresh (the thread does it at its start).
void BeginMtsScan();
// One block (kScanBlockDataBytes, of which the sectors before inputEndLba are data): its
// fragments are stored, its progress posted. Returns 1.
int ScanMtsBlock(const uint8_t* block, uint64_t inputEndLba, ScanProgress& progress);
// At the end of the reading (input done or stopped): the open fragment is closed with the
// packets that pass and stored.
void EndMtsScan(ScanProgress& progress);
