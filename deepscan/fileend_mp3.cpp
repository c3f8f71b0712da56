// MP3: an ID3v2 tag (with the artist and title kept as details), then a walk over the audio
// frames and the APE and ID3v1 tags behind them. Every unit is read in place and must have
// 64 KiB of data behind it, so a file near a block's end waits for the next block.
#include "core/carvedname.h"
#include "deepscan/fileendrules.h"
#include "deepscan/mp3frames.h"

namespace {

constexpr uint32_t kMp3Step = 0x10000;
constexpr uint32_t kMaxTagSize = 0xA00000;
constexpr uint32_t kMinUnits = 11;
constexpr uint64_t kFrameRoom = 1034;  // a text frame is read only this far before the data's end

enum : uint32_t { kPhaseTag = 0, kPhaseFrames = 1, kPhaseApeSeen = 2 };

struct Mp3State {
  uint32_t phase;
  uint32_t units;
};

// The ID3v2 tag at p: 6 unless it is one of versions 2 to 4 with a synchsafe size of at most
// 10 MiB; otherwise the artist and title from its text frames and the tag's size.
bool ReadId3Tag(const uint8_t* p, uint32_t avail, uint64_t& tagSize, CString& artist, CString& title) {
  if (avail < 10 || std::memcmp(p, "ID3", 3) != 0 || p[3] < 2 || p[3] > 4) return false;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return false;
  const uint32_t size = (uint32_t(p[6]) << 21) | (uint32_t(p[7]) << 14) | (uint32_t(p[8]) << 7) | p[9];
  if (size > kMaxTagSize) return false;
  tagSize = size;
  // Frame sizes come from the file: the walk moves forward in 64 bits, so a huge size ends it
  // instead of wrapping around to a frame already read.
  for (uint64_t at = 10; at + kFrameRoom <= avail && at < 10 + uint64_t(size);) {
    const uint32_t length = FeBe32(p + at + 4);
    if (length == 0) break;
    if (std::memcmp(p + at, "TPE1", 4) == 0) DecodeId3Text(p + at + 10, length, artist);
    if (std::memcmp(p + at, "TIT2", 4) == 0) DecodeId3Text(p + at + 10, length, title);
    const uint64_t next = at + uint64_t(length) + 10;
    if (next <= at) break;
    at = next;
  }
  return true;
}

}  // namespace

int32_t DetectMp3End(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<Mp3State> st(c);
  // Every unit but an APE tag header moves the offset forward (a zero-length frame ends the
  // walk), and the header comes once; a unit without its 64 KiB returns. So the walk ends
  // within the buffer's length.
  for (;;) {
    const uint8_t* p = nullptr;
    uint32_t avail = 0;
    const int32_t got = ViewWanted(c, b, kMp3Step, p, avail);
    if (got != kEndCopied) return got;
    if (st->phase == kPhaseTag) {
      uint64_t tagSize = 0;
      CString artist, title;
      if (!ReadId3Tag(p, avail, tagSize, artist, title)) return kEndNotValid;
      if (!artist.IsEmpty() || !title.IsEmpty())
        ReplaceCandidateDetails(c, PackDocumentMetadata(artist, CString(), title, CString()));
      st->phase = kPhaseFrames;
      c.currentOffset += tagSize + 10;
      continue;
    }
    uint64_t step = 0;
    if (avail >= 16 && std::memcmp(p, "APETAGEX", 8) == 0) {
      // The header's size reaches the footer; the footer is then stepped over whole.
      if (st->phase == kPhaseFrames) {
        step = FeLe32(p + 12);
        st->phase = kPhaseApeSeen;
      } else {
        step = 32;
      }
    } else if (avail >= 3 && std::memcmp(p, "TAG", 3) == 0) {
      step = 128;
    } else {
      uint32_t length = 0;
      if (avail < 4 || !ReadMp3FrameHeader(p, length) || length == 0) break;
      step = length;
    }
    ++st->units;
    c.currentOffset += step;
  }
  if (st->units < kMinUnits) return kEndNotValid;
  c.size = c.currentOffset;
  return kEndKnown;
}
