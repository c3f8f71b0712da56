// The parse of a "moov" box found in raw data: the file offset of every sample of the movie's
// first video track, its creation time and its duration, for the fragment rebuild to match
// against the disk.
//
// A moov found in raw data may be anything, so every read stays inside the box being read: a
// child box is cut at its parent's end, every count is checked in 64 bits against the bytes its
// box holds, and the work a box can cause is bounded by its own bytes.
#include <algorithm>
#include <ctime>

#include "base/heap.h"
#include "base/packedtime.h"
#include "deepscan/fileendrules.h"
#include "deepscan/qtbox.h"

namespace {

constexpr unsigned kMoovInfoTag = 4118;
// Real movies nest their sample tables five boxes deep (moov, trak, mdia, minf, stbl).
constexpr int kMaxBoxDepth = 16;

bool IsContainer(uint32_t type) {
  switch (type) {
    case QtType("moov"): case QtType("trak"): case QtType("mdia"): case QtType("minf"):
    case QtType("udta"): case QtType("tref"): case QtType("gmhd"): case QtType("CNTH"):
      return true;
    default:
      return false;
  }
}

bool IsAlnum(uint8_t b) { return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

void ReadHandler(MoovParseState& st, const uint8_t* p, uint64_t bytes) {
  if (bytes < 20) return;
  switch (FeBe32(p + 16)) {
    case QtType("vide"): st.trackKind = 1; break;
    case QtType("soun"): st.trackKind = 2; break;
    case QtType("subp"): st.trackKind = 3; break;
    // Data handlers inside a media information box describe where the data lives, not what it is.
    case QtType("alis"): case QtType("url "): break;
    default: st.trackKind = 0; break;
  }
}

// mvhd and mdhd of version 0; every one overwrites both values, so the last one walked wins.
void ReadMediaHeader(MoovParseState& st, const uint8_t* p, uint64_t bytes) {
  if (bytes < 28 || p[8] != 0) return;
  st.createTime = uint32_t(FeBe32(p + 12) - kQtEpochTo1970);
  const uint32_t scale = FeBe32(p + 20);
  st.duration = scale != 0 ? FeBe32(p + 24) / scale : 0;
}

// stco (4-byte entries) and co64 (8-byte entries, of which the low 32 bits count).
void ReadChunkOffsets(MoovParseState& st, const uint8_t* p, uint64_t bytes, uint32_t width) {
  if (bytes < 16) return;
  const uint64_t n = FeBe32(p + 12);
  if (n == 0 || bytes < n * width) return;
  const uint64_t fit = std::min(n, (bytes - 16) / width);
  for (uint64_t i = 0; i < fit; ++i) st.chunkOffsets.push_back(FeBe32(p + 16 + i * width + (width - 4)));
}

void AddSizeRun(MoovParseState& st, uint32_t size, uint64_t count) {
  if (count == 0) return;
  if (!st.sizes.empty() && st.sizes.back().size == size)
    st.sizes.back().count += count;
  else
    st.sizes.push_back({size, count});
  st.sizeCount += count;
}

}  // namespace

bool IsKnownQtAtom(uint32_t type) {
  return IsAlnum(uint8_t(type >> 24)) && IsAlnum(uint8_t(type >> 16)) && IsAlnum(uint8_t(type >> 8)) &&
         IsAlnum(uint8_t(type));
}

bool ParseStscAtom(MoovParseState& st, const uint8_t* p, const uint8_t* end) {
  const uint64_t bytes = uint64_t(end - p);
  if (bytes < 16) return false;
  const uint64_t n = FeBe32(p + 12);
  if (n == 0 || bytes - 16 < n * 12) return false;
  // First chunks are numbered from 1 and may not go back: runs that went back would wrap their
  // lengths and visit the same chunks again and again. Checked before anything is kept.
  uint32_t previous = st.stsc.empty() ? 1 : st.stsc.back().firstChunk + 1;
  for (uint64_t i = 0; i < n; ++i) {
    const uint32_t first = FeBe32(p + 16 + i * 12);
    if (first == 0 || first < previous) return false;
    previous = first;
  }
  const size_t from = st.stsc.size();
  for (uint64_t i = 0; i < n; ++i) {
    const uint8_t* e = p + 16 + i * 12;
    st.stsc.push_back({FeBe32(e) - 1, FeBe32(e + 4), 0});
  }
  for (size_t i = from; i + 1 < st.stsc.size(); ++i) st.stsc[i].chunks = st.stsc[i + 1].firstChunk - st.stsc[i].firstChunk;
  return true;
}

bool ParseStszAtom(MoovParseState& st, const uint8_t* p, const uint8_t* end) {
  const uint64_t bytes = uint64_t(end - p);
  if (bytes < 20) return false;
  const uint32_t uniform = FeBe32(p + 12);
  const uint64_t n = FeBe32(p + 16);
  if (uniform != 0) {
    // One run, however many samples it claims: the samples are only placed where chunks and the
    // sample-to-chunk table put them, and never more than the moov's sample limit (qtbox.h).
    AddSizeRun(st, uniform, n);
    return true;
  }
  if (bytes < n * 4) return false;
  const uint64_t fit = std::min(n, (bytes - 20) / 4);
  for (uint64_t i = 0; i < fit; ++i) AddSizeRun(st, FeBe32(p + 20 + i * 4), 1);
  return true;
}

bool BuildVideoSampleOffsets(MoovParseState& st) {
  if (st.trackKind != 1 || st.built || st.stsc.empty() || st.sizeCount == 0 || st.chunkOffsets.empty())
    return false;
  const uint64_t chunks = st.chunkOffsets.size();
  StscEntry& last = st.stsc.back();
  if (last.firstChunk >= chunks) return false;
  last.chunks = uint32_t(chunks - last.firstChunk);

  size_t run = 0;
  uint64_t usedInRun = 0;
  uint64_t sample = 0;
  const uint64_t limit = std::min<uint64_t>(st.sizeCount, std::min<uint64_t>(st.sampleLimit, kMaxMoovSamples));
  for (const StscEntry& e : st.stsc) {
    // A run is clamped at the chunks that exist; runs never overlap (first chunks do not go back).
    const uint64_t stop = std::min<uint64_t>(uint64_t(e.firstChunk) + e.chunks, chunks);
    for (uint64_t k = e.firstChunk; k < stop && sample < limit; ++k) {
      uint32_t offset = st.chunkOffsets[size_t(k)];
      for (uint32_t j = 0; j < e.samplesPerChunk && sample < limit; ++j) {
        st.sampleOffsets.push_back(offset);
        offset += st.sizes[run].size;
        ++sample;
        if (++usedInRun == st.sizes[run].count) {
          ++run;
          usedInRun = 0;
        }
      }
    }
    if (sample >= limit) break;
  }
  st.built = true;
  return true;
}

void WalkMoovAtoms(MoovParseState& st, const uint8_t* p, const uint8_t* end, int depth) {
  while (end - p >= 8) {
    const uint32_t size = FeBe32(p);
    // A box smaller than its own header ends the walk: nothing after it can be trusted.
    if (size < 8) return;
    const uint32_t type = FeBe32(p + 4);
    if (!IsKnownQtAtom(type)) return;
    const uint64_t room = uint64_t(end - p);
    const uint64_t bytes = std::min<uint64_t>(size, room);  // cut at the parent's end
    const uint8_t* boxEnd = p + bytes;
    if (IsContainer(type)) {
      if (depth < kMaxBoxDepth) WalkMoovAtoms(st, p + 8, boxEnd, depth + 1);
    } else {
      switch (type) {
        case QtType("hdlr"): ReadHandler(st, p, bytes); break;
        case QtType("mvhd"): case QtType("mdhd"): ReadMediaHeader(st, p, bytes); break;
        case QtType("stbl"):
          if (!st.built) {
            st.stsc.clear();
            st.sizes.clear();
            st.sizeCount = 0;
            st.chunkOffsets.clear();
            if (depth < kMaxBoxDepth) WalkMoovAtoms(st, p + 8, boxEnd, depth + 1);
          }
          BuildVideoSampleOffsets(st);
          break;
        case QtType("stco"): ReadChunkOffsets(st, p, bytes, 4); break;
        case QtType("co64"): ReadChunkOffsets(st, p, bytes, 8); break;
        case QtType("stsc"): ParseStscAtom(st, p, boxEnd); break;
        case QtType("stsz"): ParseStszAtom(st, p, boxEnd); break;
        default: break;
      }
    }
    if (size >= room) return;
    p += size;
  }
}

uint32_t PackMoovTime(uint64_t seconds) {
  const time_t when = time_t(seconds);
  struct tm t;
  if (uint64_t(when) != seconds || !localtime_r(&when, &t))
    // A time the conversion refuses is packed from nothing; PackTime clamps it.
    return PackTime(0, 0, 0, uint32_t(-1), uint32_t(-1), uint32_t(-1));
  return PackTime(uint32_t(t.tm_year + 1900), uint32_t(t.tm_mon + 1), uint32_t(t.tm_mday), uint32_t(t.tm_hour),
                  uint32_t(t.tm_min), uint32_t(t.tm_sec));
}

MoovInfo* ParseMoovBox(std::span<const uint8_t> box, uint64_t position) {
  MoovParseState st;
  st.sampleLimit = std::min<uint64_t>(kMaxMoovSamples, kMoovSamplesFloor + uint64_t(kMoovSamplesPerByte) * box.size());
  WalkMoovAtoms(st, box.data(), box.data() + box.size());
  if (!st.built || st.sampleOffsets.size() != st.sizeCount || st.sampleOffsets.size() < kMinMoovSamples)
    return nullptr;
  auto* info = static_cast<MoovInfo*>(AllocMem(sizeof(MoovInfo), kMoovInfoTag));
  info->position = position;
  info->boxSize = uint32_t(box.size());
  info->createTime = PackMoovTime(st.createTime);
  info->durationSeconds = st.duration;
  ChunkTableList* list = nullptr;
  AppendChunkTable(list, MakeChunkTable(st.sampleOffsets, kMinMoovSamples));
  info->tables = list;
  return info;
}

namespace {

struct MoovState {
  uint32_t boxSize;  // 0 until the box's size field was read
};

}  // namespace

int32_t ParseMoovAtom(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<MoovState> st(c);
  const uint8_t* view = nullptr;
  uint32_t avail = 0;
  if (st->boxSize == 0) {
    // The size field lies in the block where the box was found, so this succeeds there.
    const int32_t r = ViewWanted(c, b, 4, view, avail);
    if (r != kEndCopied) return r;
    if (avail < 4) return kEndNotValid;
    const uint32_t size = FeBe32(view);
    if (size < 8 || size > kMaxWantedBytes) return kEndNotValid;
    st->boxSize = size;
  }
  const int32_t r = ViewWanted(c, b, st->boxSize, view, avail);
  if (r != kEndCopied) return r;
  // A box cut by the end of the input is no box.
  if (avail < st->boxSize) return kEndNotValid;
  uint64_t position = 0;
  if (c.startLba > (UINT64_MAX >> 9) || __builtin_add_overflow(c.startLba << 9, c.currentOffset, &position))
    return kEndNotValid;
  MoovInfo* info = ParseMoovBox({view, avail}, position);
  if (!info) return kEndNotValid;
  if (c.details) FreeMoovInfo(static_cast<MoovInfo*>(c.details));
  c.details = info;
  return kEndKnown;
}
