// Candidates that wait for later blocks, and the window of consecutive blocks in which they
// are tried again. Everything here is touched by the scan's consumer thread only.
#pragma once

#include <cstdint>
#include <list>

#include "scanbase/carvecandidate.h"

constexpr uint32_t kCarveWindowBlocks = 12;
constexpr uint64_t kCarveBlockBytes = 0x800000;
constexpr uint64_t kCarveBlockSectors = 16384;

// Pending candidates ordered by first needed LBA; equal keys keep their insertion order.
std::list<CarveCandidate>& PendingCandidateList();

// Up to 12 consecutive blocks copied from the ring (the ring slot is reused at once).
struct CarveWindowT {
  uint8_t* buffer = nullptr;  // the window's first block, inside `base`
  uint64_t firstLba = 0;      // a block start
  uint64_t lastLba = 0;       // firstLba + blockCount * 16384 - 1
  uint32_t blockCount = 0;    // 0 … 12
  // The allocation (from the guarded heap) holds a few blocks more than the window, so that
  // the window slides by moving its start and is copied back to the front only once every few
  // blocks instead of moving 88 MiB for every 8 MiB block.
  uint8_t* base = nullptr;
  uint32_t startBlock = 0;    // buffer == base + startBlock * kCarveBlockBytes
};
CarveWindowT& CarveWindow();

// At the start of a deep scan: an empty list and an empty window with its buffer.
void BeginPendingWindow();
// At the end of a deep scan: candidates still pending give their hits status 0 (sized
// open-ended, not lost), the list is emptied and the window buffer freed.
void EndPendingWindow();

// At the end of the scan's input, which ends just before inputEndLba: every pending file
// candidate whose data the window holds up to that end is decided with the data present (a
// RAW file in the last 88 MiB, an MP3 whose last frames lack 64 KiB behind them), and so is
// every sample-chain candidate of the video mode. Files that stay undecided are kept
// open-ended by EndPendingWindow.
void ResolvePendingAtInputEnd(uint64_t inputEndLba);

// The first sector of the earliest file still waiting for later blocks; UINT64_MAX when none
// waits. Consumer thread, or while it waits for a save of the scan's state.
uint64_t EarliestPendingStartLba();

// Keeps a copy of a candidate whose status is 3. False (the candidate dropped) when its needed
// range is reversed or spans more than 0x8000000 sectors; the caller then records its hit with
// status 0.
bool AddPendingCandidate(const CarveCandidate& c);

// Called with every newly handled block (0x800000 bytes at blockLba), before the block is marked
// handled: drops candidates whose range can no longer come (it lies below the block and its last
// block was already handled), and retries the others once the block is one they need.
void AdvancePendingWindow(const uint8_t* block, uint64_t blockLba);
// Places the block in the window and resolves the candidates whose range it now holds.
void RetryPendingCandidates(const uint8_t* block, uint64_t blockLba);
