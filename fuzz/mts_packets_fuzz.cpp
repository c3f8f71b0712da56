// MTS packet tracking and the chaining of its fragments. A short input cannot reach a whole chunk
// of packets, so the input edits a valid stream of three chunks instead:
//   u16 block sectors, u8 phase (0 … 191), u8 flags (bit 0: a block is fed out of order),
//   then (u16 packet, u8 header byte 4 … 7, u8 value) edits.
// The fragments found are chained on a device just large enough; then the input's bytes, read as
// fragment details of a saved scan, are chained on the same device.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/filetree.h"
#include "deepscan/mtspackets.h"
#include "deepscan/mtsrebuild.h"
#include "fuzz/fuzzimage.h"

namespace {

constexpr uint32_t kPackets = kMtsChunkPackets * 3 + 100;

std::vector<uint8_t> MakeStream() {
  std::vector<uint8_t> out(kPackets * kMtsPacketBytes, 0);
  int cc[4] = {};
  for (uint32_t i = 0; i < kPackets; ++i) {
    uint8_t* p = out.data() + i * kMtsPacketBytes;
    const int k = int(i % 5 == 4 ? 1 : i % 5 % 4);
    const uint32_t pid = kMtsTrackedPids[k];
    p[4] = 0x47;
    p[5] = uint8_t(pid >> 8 | (i == 0 ? 0x40 : 0));
    p[6] = uint8_t(pid);
    p[7] = uint8_t(0x10 | cc[k]);
    cc[k] = (cc[k] + 1) & 15;
  }
  return out;
}

void Check(const std::vector<MtsFragmentInfo>& found, uint64_t sectors) {
  for (const MtsFragmentInfo& f : found)
    if (f.endLba < f.startLba || f.endLba > sectors || (f.state != kMtsFromStreamStart && f.state != kMtsInsideStream))
      abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> stream = MakeStream();
  FuzzEngineInit();
  const std::vector<uint8_t> head = FuzzFixedBytes(data, size, 4);
  const uint64_t blockSectors = 1 + (uint64_t(head[0]) | uint64_t(head[1]) << 8) % 4096;
  const uint32_t phase = head[2] % 192;
  const bool jump = head[3] & 1;

  std::vector<uint8_t> disk(phase + stream.size() + 3 * 512, 0xA5);
  std::memcpy(disk.data() + 512 + phase, stream.data(), stream.size());
  for (size_t at = 4; at + 4 <= size; at += 4) {
    const uint32_t packet = (uint32_t(data[at]) | uint32_t(data[at + 1]) << 8) % kPackets;
    disk[512 + phase + packet * kMtsPacketBytes + 4 + data[at + 2] % 4] = data[at + 3];
  }
  disk.resize(disk.size() - disk.size() % 512);
  const uint64_t sectors = disk.size() / 512;
  const uint64_t blocks = (sectors + blockSectors - 1) / blockSectors;
  std::vector<uint64_t> order;
  for (uint64_t b = 0; b < blocks; ++b) order.push_back(b);
  if (jump && blocks > 2) std::swap(order[1], order[blocks - 1]);

  MtsTracker t;
  std::vector<MtsFragmentInfo> found;
  for (uint64_t b : order) {
    const uint64_t lba = b * blockSectors;
    const uint64_t n = std::min(blockSectors, sectors - lba);
    FeedMtsTracker(t, lba, disk.data() + lba * 512, n * 512, found);
  }
  CloseMtsTracker(t, found);
  Check(found, sectors);

  VolumeContext volume = MakeVideoFileView(CString(u"fuzz"));
  ChainMtsFragments(found, volume, sectors);
  std::vector<MtsFragmentInfo> saved(size / sizeof(MtsFragmentInfo));
  if (!saved.empty()) std::memcpy(saved.data(), data, saved.size() * sizeof(MtsFragmentInfo));
  ChainMtsFragments(saved, volume, sectors);
  FreeAllFileRecords(volume);
  return 0;
}
