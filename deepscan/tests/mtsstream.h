// A synthetic MTS packet stream for the tracker and rebuild tests: 192-byte packets cycling over
// the PAT, video, audio, subtitle and one untracked PID, with a video packet without payload now
// and then (it repeats its counter), and a disk image to place pieces of it on.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace mtsgen {

using Bytes = std::vector<uint8_t>;

struct StreamOptions {
  bool subtitles = true;     // packets of PID 0x1200
  bool adaptationOnly = true;  // an adaptation-only video packet every 16 packets
};

// PID of packet i of the cycle; the 16-packet cycle holds every kind of packet.
inline uint32_t PidAt(size_t i, const StreamOptions& o) {
  switch (i % 16) {
    case 0: return 0x0000;
    case 5: return 0x1100;
    case 9: return o.subtitles ? 0x1200 : 0x1011;
    case 13: return 0x0100;
    default: return 0x1011;
  }
}

// packets packets of a stream that starts with counter 0 on every PID (the first packet is the
// PAT with the payload-start flag, as at a stream start).
inline Bytes MakeStream(size_t packets, const StreamOptions& o = {}) {
  Bytes out(packets * 192);
  int cc[0x2000] = {};
  for (size_t i = 0; i < packets; ++i) {
    uint8_t* p = out.data() + i * 192;
    const uint32_t pid = PidAt(i, o);
    // The time code's first byte stays below 2, as the copy-permission bits of camcorders leave it.
    p[0] = 0;
    p[1] = uint8_t(i >> 16);
    p[2] = uint8_t(i >> 8);
    p[3] = uint8_t(i);
    p[4] = 0x47;
    p[5] = uint8_t((pid >> 8) | (i % 16 == 0 ? 0x40 : 0));
    p[6] = uint8_t(pid);
    const bool noPayload = o.adaptationOnly && i % 16 == 11;
    if (noPayload) {
      // Adaptation field only: the counter stays at the last payload packet's value.
      p[7] = uint8_t(0x20 | ((cc[pid] + 15) & 15));
    } else {
      p[7] = uint8_t(0x10 | cc[pid]);
      cc[pid] = (cc[pid] + 1) & 15;
    }
    for (int b = 8; b < 192; ++b) p[b] = uint8_t(i * 7 + b);
  }
  return out;
}

// A disk of sectors filled with a byte pattern that holds no sync bytes.
inline Bytes MakeDisk(uint64_t sectors) { return Bytes(sectors * 512, 0xA5); }

inline void Place(Bytes& disk, uint64_t byteOffset, const uint8_t* data, size_t size) {
  std::memcpy(disk.data() + byteOffset, data, size);
}

}  // namespace mtsgen
