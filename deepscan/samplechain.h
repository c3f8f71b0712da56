// Chains of length-prefixed video samples in raw data: camera video stores each frame as one or
// more units of a 4-byte big-endian length and that many bytes, back to back, so a run of
// plausible lengths that each point at the next is very likely a run of frames. The video mode
// opens one chain candidate (kind 203) per 8 MiB block; its end rule (FindSampleChains) searches
// the 32 MiB from the block's start once they are all read.
#pragma once

#include <cstdint>
#include <vector>

// One unit of a chain: the LBA and the offset in that sector of its length field, and the
// unit's whole length (the prefix value + 4).
struct ChainUnit {
  uint64_t lba;
  uint32_t offset;
  uint32_t length;
};
static_assert(sizeof(ChainUnit) == 16);

// Unit lengths a frame of interest may have: more than 8 KiB, less than 2 MiB.
constexpr uint32_t kMinChainUnit = 8193;
constexpr uint32_t kMaxChainUnit = 0x1FFFFF;
// The bytes a chain candidate wants from its block's first LBA, and the part of them in which
// chains may start.
constexpr uint32_t kChainWindowBytes = 0x1FFFE00;
constexpr uint32_t kChainStartBytes = 0x1000000;
// A chain gives a table only with at least this many units.
constexpr uint32_t kMinChainUnits = 5;

// From the unit at position (a byte offset from windowLba × 512; the window holds windowBytes):
// while the unit there and the two that follow it all have their length fields inside the
// window and lengths in [kMinChainUnit, kMaxChainUnit], the unit is recorded and the walk moves
// to the next one. So k consecutive valid units record k - 2. True when at least one was.
bool FollowSampleChain(uint64_t windowLba, const uint8_t* window, uint64_t windowBytes, uint64_t position,
                       std::vector<ChainUnit>& units);
// The same for streams that pad every unit to a multiple of 8 bytes: a unit of length L occupies
// L + 4 rounded up to a multiple of 8, counted from the unit's own position.
bool FollowPaddedSampleChain(uint64_t windowLba, const uint8_t* window, uint64_t windowBytes, uint64_t position,
                             std::vector<ChainUnit>& units);
