#include "deepscan/mtspackets.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr uint32_t kPhases[3] = {0, 64, 128};
constexpr uint8_t kSync = 0x47;

uint32_t PidOf(const uint8_t* packet) { return uint32_t(packet[5] & 0x1F) << 8 | packet[6]; }
int32_t CounterOf(const uint8_t* packet) { return packet[7] & 0x0F; }
// Adaptation field control 01 or 11: the packet carries payload and advances its counter.
bool HasPayload(const uint8_t* packet) { return (packet[7] & 0x10) != 0; }

void ClearCounters(int32_t (&counters)[4]) { std::fill(std::begin(counters), std::end(counters), -1); }

// One packet inside a fragment; false when it breaks the fragment. A tracked PID met for the
// first time takes the packet's counter as its last one, and as its start one when that is
// still unknown.
bool TrackPacket(const uint8_t* packet, int32_t (&start)[4], int32_t (&last)[4]) {
  if (packet[4] != kSync) return false;
  const int k = MtsPidIndex(PidOf(packet));
  if (k < 0 || !HasPayload(packet)) return true;
  const int32_t cc = CounterOf(packet);
  if (last[k] >= 0 && cc != ((last[k] + 1) & 15)) return false;
  last[k] = cc;
  if (start[k] < 0) start[k] = cc;
  return true;
}

// The first chunk of a stream: a PAT packet with the payload-start flag and counter 0 at
// phase 0, and every tracked PID counting from 0.
bool IsStreamStart(const uint8_t* chunk, int32_t (&last)[4]) {
  if (chunk[0] > 1 || chunk[4] != kSync || chunk[5] != 0x40 || chunk[6] != 0x00 || chunk[7] != 0x10) return false;
  ClearCounters(last);
  for (uint32_t i = 0; i < kMtsChunkPackets; ++i) {
    const uint8_t* packet = chunk + i * kMtsPacketBytes;
    if (packet[4] != kSync) return false;
    const int k = MtsPidIndex(PidOf(packet));
    if (k < 0 || !HasPayload(packet)) continue;
    const int32_t want = last[k] < 0 ? 0 : (last[k] + 1) & 15;
    if (CounterOf(packet) != want) return false;
    last[k] = want;
  }
  return true;
}

// Three packets in a row at a phase of the sector (reads up to 517 bytes from it).
bool PacketRunAt(const uint8_t* sector) {
  for (uint32_t p : kPhases)
    if (sector[p + 4] == kSync && sector[p + 196] == kSync && sector[p + 388] == kSync) return true;
  return false;
}
constexpr uint64_t kPacketRunBytes = 128 + 388 + 1;

// Good bytes of the first packets of a fragment's chunk (count of them present).
uint32_t GoodChunkBytes(const uint8_t* chunk, uint32_t count, MtsTracker& t) {
  if (count >= 1 && chunk[4] != kSync) return 0;
  if (count >= 2 && chunk[196] != kSync) return 0;
  uint32_t i = 0;
  while (i < count && TrackPacket(chunk + i * kMtsPacketBytes, t.startCounters, t.lastCounters)) ++i;
  return i * kMtsPacketBytes;
}

void EndFragment(MtsTracker& t, uint32_t good, std::vector<MtsFragmentInfo>& out) {
  MtsFragmentInfo& s = t.info;
  s.goodBytes = good;
  // The chunk offset already holds the phase of a fragment that began inside a stream, so the
  // end is counted from the start sector's first byte once.
  s.endOffset = t.offset + good;
  s.endLba = s.startLba + s.endOffset / 512 + (s.endOffset % 512 >= kMtsTailSectorBytes ? 1 : 0);
  std::memcpy(reinterpret_cast<uint8_t*>(&s) + offsetof(MtsFragmentInfo, startCounters), t.startCounters, 16);
  std::memcpy(reinterpret_cast<uint8_t*>(&s) + offsetof(MtsFragmentInfo, lastCounters), t.lastCounters, 16);
  out.push_back(s);
  t.start += (t.offset + good) / 512;
  t.offset = 0;
  t.info = MtsFragmentInfo{};
  ClearCounters(t.startCounters);
  ClearCounters(t.lastCounters);
}

uint64_t WindowEnd(const MtsTracker& t) { return t.dataLba * 512 + t.data.size(); }
const uint8_t* At(const MtsTracker& t, uint64_t pos) { return t.data.data() + (pos - t.dataLba * 512); }

void Track(MtsTracker& t, std::vector<MtsFragmentInfo>& out) {
  const uint64_t end = WindowEnd(t);
  MtsFragmentInfo& s = t.info;
  for (;;) {
    if (s.state == kMtsSearching) {
      uint64_t sector = t.start + t.offset / 512;
      t.offset = 0;
      bool found = false;
      for (; sector * 512 + kPacketRunBytes <= end; ++sector)
        if (PacketRunAt(At(t, sector * 512))) {
          found = true;
          break;
        }
      t.start = sector;
      if (!found) return;
    }
    const uint64_t chunkPos = t.start * 512 + t.offset;
    if (chunkPos + kMtsChunkBytes > end) return;
    const uint8_t* chunk = At(t, chunkPos);

    if (s.state == kMtsSearching) {
      if (IsStreamStart(chunk, t.lastCounters)) {
        s.state = kMtsFromStreamStart;
        s.startLba = t.start;
        s.phase = 0;
        std::fill(std::begin(t.startCounters), std::end(t.startCounters), 0);
        t.offset += kMtsChunkBytes;
        continue;
      }
      bool started = false;
      for (uint32_t p : kPhases) {
        if (!CheckMtsPackets(chunk, p, t.startCounters, t.lastCounters)) continue;
        s.state = kMtsInsideStream;
        s.startLba = t.start;
        s.phase = p;
        t.offset += p + kMtsChunkBytes;
        started = true;
        break;
      }
      // A sector is given up after one failed chunk test: the cost per block stays linear.
      if (!started) t.start += 1;
      continue;
    }

    const uint32_t good = GoodChunkBytes(chunk, kMtsChunkPackets, t);
    if (good == kMtsChunkBytes) {
      t.offset += kMtsChunkBytes;
      continue;
    }
    EndFragment(t, good, out);
  }
}

// Drops the data before the sector the tracker stands in.
void Trim(MtsTracker& t) {
  const uint64_t keep = t.start + t.offset / 512;
  if (keep <= t.dataLba) return;
  const uint64_t drop = std::min<uint64_t>((keep - t.dataLba) * 512, t.data.size());
  t.data.erase(t.data.begin(), t.data.begin() + long(drop));
  t.dataLba = keep;
}

}  // namespace

int MtsPidIndex(uint32_t pid) {
  for (int k = 0; k < 4; ++k)
    if (kMtsTrackedPids[k] == pid) return k;
  return -1;
}

bool CheckMtsPackets(const uint8_t* chunk, uint32_t phase, int32_t (&startCounters)[4], int32_t (&lastCounters)[4]) {
  const uint8_t* first = chunk + phase;
  if (first[4] != kSync || first[196] != kSync) return false;
  ClearCounters(startCounters);
  ClearCounters(lastCounters);
  for (uint32_t i = 0; i < kMtsChunkPackets; ++i)
    if (!TrackPacket(first + i * kMtsPacketBytes, startCounters, lastCounters)) return false;
  return true;
}

void FeedMtsTracker(MtsTracker& t, uint64_t lba, const uint8_t* bytes, uint64_t length,
                    std::vector<MtsFragmentInfo>& out) {
  length -= length % 512;
  if (t.open && lba != t.dataLba + t.data.size() / 512) CloseMtsTracker(t, out);
  if (!t.open) {
    t = MtsTracker{};
    t.open = true;
    t.start = t.dataLba = lba;
  }
  t.data.insert(t.data.end(), bytes, bytes + length);
  Track(t, out);
  Trim(t);
}

void CloseMtsTracker(MtsTracker& t, std::vector<MtsFragmentInfo>& out) {
  if (t.open && t.info.state != kMtsSearching) {
    const uint64_t chunkPos = t.start * 512 + t.offset;
    const uint64_t end = WindowEnd(t);
    const uint64_t held = end > chunkPos ? end - chunkPos : 0;
    const uint32_t count = uint32_t(std::min<uint64_t>(held / kMtsPacketBytes, kMtsChunkPackets));
    const uint32_t good = count ? GoodChunkBytes(At(t, chunkPos), count, t) : 0;
    EndFragment(t, good, out);
  }
  t = MtsTracker{};
}
