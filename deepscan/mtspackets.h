// MTS (M2TS) packet tracking: camcorder video is a stream of 192-byte packets (a 4-byte time
// code, then a 188-byte transport-stream packet starting with the sync byte 0x47). A tracker
// walks the scanned data in chunks of 2048 packets and records every stretch whose continuity
// counters run unbroken as a fragment; the rebuild later chains fragments whose counters
// continue one another.
//
// Only four packet ids are followed: 0x0000 (program association table), 0x1011, 0x1100 and
// 0x1200. Of a packet: sync byte = byte 4, PID = low 13 bits of bytes 5-6 (big-endian),
// continuity counter = low 4 bits of byte 7. A packet without payload (adaptation field control
// 00 or 10) does not advance its counter and is not checked.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint32_t kMtsPacketBytes = 192;
constexpr uint32_t kMtsChunkPackets = 2048;
constexpr uint32_t kMtsChunkBytes = kMtsPacketBytes * kMtsChunkPackets;  // 0x60000, 768 sectors
constexpr uint32_t kMtsTrackedPids[4] = {0x0000, 0x1011, 0x1100, 0x1200};
// A fragment's last sector counts when at least this many of its bytes are data.
constexpr uint32_t kMtsTailSectorBytes = 320;

// Tracking states.
enum : uint32_t { kMtsSearching = 0, kMtsFromStreamStart = 1, kMtsInsideStream = 2 };

// The detail of an MTS fragment hit (kinds 207 and 208), stored byte for byte in scan-state
// files.
#pragma pack(push, 1)
struct MtsFragmentInfo {
  uint32_t state;            // kMtsFromStreamStart or kMtsInsideStream for a finished fragment
  uint64_t startLba;         // sector in which the first packet begins
  uint32_t phase;            // offset of the first packet inside that sector: 0, 64 or 128
  uint64_t endOffset;        // bytes from the start LBA's first byte to the end of the good packets
  int32_t startCounters[4];  // per tracked PID, -1 while it has not appeared
  uint64_t endLba;           // start LBA + endOffset / 512, + 1 when endOffset % 512 >= 320
  uint32_t goodBytes;        // good packet bytes of the last chunk
  int32_t lastCounters[4];   // per tracked PID, -1 while it has not appeared
};
#pragma pack(pop)
static_assert(sizeof(MtsFragmentInfo) == 68);

// Index of a tracked PID (0 … 3), or -1.
int MtsPidIndex(uint32_t pid);

// Tests the 2048 packets at phase, phase + 192, … of a chunk (0x60000 bytes; only the first
// eight bytes of each packet are read): each needs its sync byte, and each tracked PID's
// counters must run on by one. Fills the first and the last counter of each tracked PID (-1 for
// a PID that did not appear). False at the first broken packet, or when the first two packets
// lack their sync bytes.
bool CheckMtsPackets(const uint8_t* chunk, uint32_t phase, int32_t (&startCounters)[4], int32_t (&lastCounters)[4]);

// The one tracker of an MTS scan. It holds the unread tail of the data fed so far, so a chunk
// may span two blocks.
struct MtsTracker {
  MtsFragmentInfo info{};      // the open fragment (state 0 while searching)
  int32_t startCounters[4] = {-1, -1, -1, -1};  // working copies of the fragment's counters
  int32_t lastCounters[4] = {-1, -1, -1, -1};
  uint64_t start = 0;          // LBA the search or the open fragment starts at
  uint64_t offset = 0;         // bytes from start to the next chunk
  bool open = false;           // fed at least once
  uint64_t dataLba = 0;        // LBA of data[0]
  std::vector<uint8_t> data;   // a whole number of sectors
};

// Feeds the sectors at lba (length a multiple of 512) and appends every fragment that ends to
// out. A tracker that is fed data not directly following what it holds (the reading order
// jumped: probe blocks, a priority range, a resumed scan) first closes its open fragment with
// the packets it holds, then starts afresh at lba.
void FeedMtsTracker(MtsTracker& t, uint64_t lba, const uint8_t* bytes, uint64_t length,
                    std::vector<MtsFragmentInfo>& out);
// At the end of the input: the open fragment is closed with the packets that pass among those
// held (a video running to the end keeps its last partial chunk). The tracker is emptied.
void CloseMtsTracker(MtsTracker& t, std::vector<MtsFragmentInfo>& out);
