// QuickTime boxes (MOV, MP4 and their kin): each box starts with a big-endian 32-bit size and a
// four-letter type; a size of 1 means a 64-bit size follows the type; container boxes hold
// further boxes. Here: the box types the deep scan tests, and the parse of a "moov" box into the
// sample positions of its first video track.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scanbase/videodetail.h"

constexpr uint32_t QtType(const char (&t)[5]) {
  return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
         uint32_t(uint8_t(t[3]));
}
constexpr uint32_t kQtFtyp = QtType("ftyp");
constexpr uint32_t kQtMoov = QtType("moov");
constexpr uint32_t kQtMdat = QtType("mdat");

// True when each of the four bytes is an ASCII letter or digit.
bool IsKnownQtAtom(uint32_t type);

// Seconds from the box's epoch to 1970 as the program has always taken them: 8 hours less than
// the true 1904 → 1970 offset. Video names depend on it, so it stays.
constexpr uint32_t kQtEpochTo1970 = 2082873600u;

// A video track has at least this many samples, or its moov is of no use.
constexpr uint32_t kMinMoovSamples = 5;
// The most sample offsets one moov may give: 8 million samples (about 77 hours at 30 frames a
// second) is more than the largest moov box the scan accepts can list one by one. A table of
// equal sample sizes lists no sample on its own, so a small box may claim billions of them; a
// moov therefore gives at most 64 Ki samples and 16 more per byte of its box: real movies list
// their chunks (4 bytes each), and no camera puts hundreds of frames in one chunk.
constexpr uint32_t kMaxMoovSamples = 0x800000;
constexpr uint32_t kMoovSamplesFloor = 0x10000;
constexpr uint32_t kMoovSamplesPerByte = 16;

// One run of the sample-to-chunk table: chunks firstChunk (0-based) … firstChunk + chunks - 1
// hold samplesPerChunk samples each.
struct StscEntry {
  uint32_t firstChunk;
  uint32_t samplesPerChunk;
  uint32_t chunks;
};
static_assert(sizeof(StscEntry) == 12);

// A run of equal sample sizes: explicit size tables give runs of one, a uniform size one run.
struct SampleSizeRun {
  uint32_t size;
  uint64_t count;
};

// The state of one moov parse. Each sample table box starts with empty lists until the table of
// the first video track was built.
struct MoovParseState {
  uint32_t trackKind = 0;  // of the last handler box: 0 other, 1 video, 2 sound, 3 subtitle
  bool built = false;      // the video sample table was built
  uint64_t createTime = 0; // seconds since 1970, from the last mvhd or mdhd walked
  uint32_t duration = 0;   // whole seconds, likewise
  std::vector<StscEntry> stsc;
  std::vector<SampleSizeRun> sizes;
  uint64_t sizeCount = 0;  // samples the size runs describe
  std::vector<uint32_t> chunkOffsets;
  std::vector<uint32_t> sampleOffsets;
  uint64_t sampleLimit = kMaxMoovSamples;  // the most offsets the build may place
};

// Walks the boxes of [p, end) into the state (containers recursively, at most a few levels).
void WalkMoovAtoms(MoovParseState& st, const uint8_t* p, const uint8_t* end, int depth = 0);
// The sample-to-chunk box [p, end): false, adding nothing, when its count does not fit the box or
// its first-chunk numbers are not 1-based and non-decreasing.
bool ParseStscAtom(MoovParseState& st, const uint8_t* p, const uint8_t* end);
// The sample-size box [p, end): false when its count does not fit the box.
bool ParseStszAtom(MoovParseState& st, const uint8_t* p, const uint8_t* end);
// Places every sample of the video track: the first sample of each chunk at the chunk's offset,
// each further one after the one before it. False unless the last handler was video, the table
// was not built yet and all three lists hold something.
bool BuildVideoSampleOffsets(MoovParseState& st);

// The whole parse of a moov box's bytes: the new MoovInfo (position and size filled in, list
// owned), or null when the box yields no video track of at least kMinMoovSamples samples whose
// offsets and sizes agree.
MoovInfo* ParseMoovBox(std::span<const uint8_t> box, uint64_t position);

// The packed local time of a movie's creation time (seconds since 1970).
uint32_t PackMoovTime(uint64_t seconds);
