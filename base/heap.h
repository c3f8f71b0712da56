// The guarded heap: every engine buffer comes from here.
//
// Each block carries an 8-byte header (mark 0x4B43, the caller's tag, the size) in front of
// the data and the byte 'K' behind it, and is zero-filled. A running total of the bytes in
// use is kept for the high-use reports; damaged blocks and clipped copies are reported once
// per caller tag. An allocation that cannot be had prompts (Retry/Exit where a retry can
// help) and then stops the process: AllocMem never returns null.
//
// The caller tag names the call site (by convention its source line).
#pragma once

#include <cstdint>

#include "platform/cstring.h"

#pragma pack(push, 1)
struct GuardedBlock {
  uint16_t headMark;  // 0x4B43, the bytes 'C' 'K'
  uint16_t callerTag;
  uint32_t size;      // bytes the caller asked for
  // size data bytes follow, then the end mark 'K'
};
#pragma pack(pop)
static_assert(sizeof(GuardedBlock) == 8);

constexpr uint16_t kHeapHeadMark = 0x4B43;
constexpr uint8_t kHeapEndMark = 'K';
// Header plus end mark: the usage total counts size + kHeapBlockExtra per block.
constexpr uint64_t kHeapBlockExtra = sizeof(GuardedBlock) + 1;

// Returns size zero bytes. A size of 0 gives a valid empty block (header and end mark) that
// FreeMem accepts. A size whose block would not fit the 32-bit header is a failed allocation.
void* AllocMem(uint64_t size, unsigned callerTag);
void FreeMem(void* data);
// Copies into the start of the block, clipped to its size. Null for a null block, source or
// length (no report) or a block without the head mark (fault 16).
void* CopyToMem(void* block, const void* src, uint64_t length, unsigned callerTag);
// Copies to data + offset, clipped to the block. Null for a null block, a wrong head mark
// (fault 16) or an offset at or past the size (fault 18).
void* CopyToMemAt(void* block, uint32_t offset, const void* src, uint64_t length, unsigned callerTag);
// Reports one heap fault (16 head mark, 17 end mark, 18 clipped copy), once per caller tag.
void LogMemError(int kind, unsigned callerTag);

// The size field of a live block (its header lies directly in front of the data).
uint32_t GetMemSize(const void* data);

// The summary of scanned volumes appended to the first high-use reports. The record model
// installs it; without one the summary is empty.
using PartSummaryHandler = CString (*)();
void SetPartSummaryHandler(PartSummaryHandler h);
