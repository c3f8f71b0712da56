// Camera RAW files built on TIFF: the file ends where the last of its directories, value
// areas, strips or tiles ends, over the directory chain, its sub-directories and the Exif
// directory. The camera maker refines the type. Read in place in the window.
#include <algorithm>

#include "core/carvedname.h"
#include "deepscan/fileendrules.h"
#include "deepscan/tiffwalk.h"

namespace {

constexpr uint32_t kRawWanted = 0x5800000;
// A RAW file is at least 2 MiB; smaller TIFFs are pictures of their own, not carved as RAW.
constexpr uint64_t kRawMinimum = 0x200000;
constexpr uint32_t kMaxEntries = 512;
constexpr uint32_t kMaxSubIfds = 512;

constexpr uint16_t kTagMake = 271, kTagModel = 272, kTagDateTime = 306, kTagDateOriginal = 36867;
constexpr uint16_t kTagStripOffsets = 273, kTagStripCounts = 279, kTagJpegOffset = 513, kTagJpegLength = 514;
constexpr uint16_t kTagTileOffsets = 324, kTagTileCounts = 325, kTagSubIfds = 330, kTagExifIfd = 34665;

struct RawState {
  uint8_t bigEndian;
};

struct RawWalk {
  TiffBytes t;
  TiffWalkGuard guard;
  uint64_t end = 0;  // the largest end offset seen
  CString maker, model, date;

  void See(uint64_t at) { end = std::max(end, at); }
  void WalkChain(uint64_t offset, uint32_t depth);
  void WalkEntries(uint64_t first, uint32_t count, uint32_t depth);
};

// An offset array's last element and its index, waiting for the matching byte counts.
struct PendingArray {
  bool set = false;
  uint32_t offset = 0;
  uint32_t index = 0;
};

void RawWalk::WalkChain(uint64_t offset, uint32_t depth) {
  // Next links go forward only, and every directory is walked once per file.
  while (t.length >= 2 && offset <= t.length - 2) {
    if (!guard.Enter(offset)) return;
    uint16_t n = 0;
    t.U16(offset, n);
    if (n < 1 || n > kMaxEntries) return;
    const uint64_t tableEnd = offset + 2 + 12ull * n;
    See(tableEnd);
    if (tableEnd > t.length) return;
    WalkEntries(offset + 2, n, depth);
    uint32_t next = 0;
    if (!t.U32(tableEnd, next) || next == 0 || next <= tableEnd) return;
    offset = next;
  }
}

void RawWalk::WalkEntries(uint64_t first, uint32_t count, uint32_t depth) {
  PendingArray strips, tiles;
  for (uint32_t i = 0; i < count; ++i) {
    TiffEntry e;
    if (!ReadTiffEntry(t, first + 12ull * i, e)) return;
    if (!e.Inline()) {
      // A value area that runs past the data at hand ends this directory's walk.
      const uint64_t areaEnd = uint64_t(e.value) + e.bytes;
      if (areaEnd > t.length) return;
      See(areaEnd);
    }
    switch (e.tag) {
      case kTagMake: maker = TiffText(t, e); break;
      case kTagModel: model = TiffText(t, e); break;
      case kTagDateTime:
      case kTagDateOriginal: date = TiffText(t, e); break;
      case kTagStripOffsets:
      case kTagJpegOffset:
      case kTagTileOffsets: {
        PendingArray& a = e.tag == kTagTileOffsets ? tiles : strips;
        a.set = e.count > 0 && ReadTiffArrayAt(t, e, e.count - 1, a.offset);
        a.index = e.count - 1;
        break;
      }
      case kTagStripCounts:
      case kTagJpegLength:
      case kTagTileCounts: {
        const PendingArray& a = e.tag == kTagTileCounts ? tiles : strips;
        uint32_t bytes = 0;
        if (a.set && ReadTiffArrayAt(t, e, a.index, bytes)) See(uint64_t(a.offset) + bytes);
        break;
      }
      case kTagSubIfds:
      case kTagExifIfd: {
        if (depth + 1 >= TiffWalkGuard::kMaxDepth) break;
        if (e.Inline()) {
          WalkChain(e.value, depth + 1);
          break;
        }
        const uint32_t n = std::min(e.count, kMaxSubIfds);
        for (uint32_t k = 0; k < n; ++k) {
          uint32_t sub = 0;
          if (!ReadTiffArrayAt(t, e, k, sub) || sub == 0 || sub >= t.length) continue;
          WalkChain(sub, depth + 1);
        }
        break;
      }
      default: break;
    }
  }
}

}  // namespace

int32_t GetRawMaker(const CString& maker) {
  static const struct {
    const char16_t* name;
    int32_t type;
  } kMakers[] = {{u"Canon", 49},     {u"NIKON", 92},      {u"PENTAX", 98},  {u"SONY", 101},   {u"OLYMPUS", 104},
                 {u"Panasonic", 50}, {u"Hasselblad", 50}, {u"SAMSUNG", 52}, {u"Mamiya", 102}};
  for (const auto& m : kMakers)
    if (maker.Find(m.name) >= 0) return m.type;
  return 50;
}

int32_t DetectCameraRawEnd(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<RawState> st(c);
  const uint8_t* p = nullptr;
  uint32_t avail = 0;
  const int32_t r = ViewWanted(c, b, kRawWanted, p, avail);
  if (r != kEndCopied) return r;
  if (c.currentOffset == 0 && avail >= 2) st->bigEndian = (p[0] == 'M' && p[1] == 'M') ? 1 : 0;
  RawWalk w;
  w.t = TiffBytes{p, avail, st->bigEndian != 0};
  uint32_t first = 0;
  if (w.t.U32(4, first)) w.WalkChain(first, 0);
  if (w.end < kRawMinimum) return kEndNotValid;
  c.size = w.end;
  c.typeId = GetRawMaker(w.maker);
  ReplaceCandidateDetails(c, PackDocumentMetadata(w.maker, w.model, CString(), w.date));
  return kEndKnown;
}
